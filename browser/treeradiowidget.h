#pragma once

#include "treewidgetbase.h"

#include <QBrush>
#include <QFont>
#include <QHash>
#include <QIcon>

#include <array>
#include <memory>
#include <vector>

class QAction;
class TunoraAPI;

// The navigation menu: seven fixed sections (favourites, wish list, regions, genres, history,
// search results, settings) with drill-down of regions into countries and sub-countries and of
// genres into sub-genres. One signal tells the window what the right-hand side is to show.
class TreeRadioWidget : public QTreeWidgetEx
{
    Q_OBJECT
public:
    enum Section
    {
        Favorites = 1,
        WishList = 2,
        Regions = 3,
        Genres = 4,
        History = 5,
        SearchResults = 6,
        Settings = 7,
        Browser = 8
    };
    enum Kind
    {
        KindLeaf = 1,
        KindExpandable = 2,
        KindPath = 3,
        KindReserved = 4,
        KindRegionPathRoot = 5
    };

    class TreeRadioItem : public TreeStation
    {
    public:
        TreeRadioItem();
        ~TreeRadioItem() override;
        static int liveCount();

        qint32 level = 0;
        qint32 kind = 0;
        QT_BASS::Object *object = nullptr; // a Genre, Country or WorldRegion of the menu's caches
        bool isHeader = false;
        bool onPath = false;
    };

    explicit TreeRadioWidget(QWidget *parent = nullptr);
    ~TreeRadioWidget() override;

    void createFonts() override;
    void clearTree() override;

    void selectSection(int id);
    void clearMenuSelection();
    const BASS::Genre *currentGenre() const;
    const BASS::Country *currentCountry() const;
    void setSelectionSuppressed(bool on) { m_suppressed = on; }
    QT_BASS::Object *itemObject(const QTreeWidgetItem *row) const;
    TreeRadioItem *radioItem(const QTreeWidgetItem *row) const;

    QTreeWidgetItem *sectionRow(int id) const;
    int browseMode() const { return m_mode; }
    TunoraAPI *api() const { return m_api; }
    QAction *refreshAction() const { return m_refreshAction; }
    // "&Single click collapses navigation menu": with it off a press only selects; rows open
    // on double click.
    QAction *singleClickAction() const { return m_singleClickAction; }
    // The current drill-down path, root first.
    QList<QTreeWidgetItem *> pathRows() const;
    // Delay of the single-click handling, in milliseconds.
    static constexpr int ClickDelay = 200;

signals:
    void signal_SelectionChanged(int index, QString search, bool refresh);
    void signal_FavoriteChanged(bool added, QString id);

public slots:
    void slot_radioExpanded(QTreeWidgetItem *row);
    void slot_radioDoubleClicked(QTreeWidgetItem *, int) {}
    void slot_radioSelectionChanged();
    void slot_ContextMenu(QPoint) {}
    void slot_refreshAction();
    void slot_regionFound(const BASS::WorldRegion *region);
    void slot_genreFound(const BASS::Genre *genre);
    void slot_tnAPIStarted(int) {}
    void slot_tnAPIFinished(int id, bool error);
    void slot_toggleExpand();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                 const QModelIndex &index) const override;
    void drawBranches(QPainter *, const QRect &, const QModelIndex &) const override {}

private:
    enum IconState
    {
        Normal,
        MouseOver,
        Active
    };
    quint64 keyOf(const QTreeWidgetItem *row) const { return itemPayload(row); }
    QTreeWidgetItem *addMenuRow(QTreeWidgetItem *parent, const QString &text, int id, int kind, int level,
                                QT_BASS::Object *object, const QIcon &icon = QIcon());
    void createSections();
    void setSectionIcon(int id, IconState state);
    void parkChildren(QTreeWidgetItem *parent);
    void flushParked();
    void loadRegions();
    void loadGenres();
    void fillRegionsFromCache();
    void fillGenresFromCache();
    void insertPath(QTreeWidgetItem *section, QT_BASS::Object *object);
    void drillRegion(QTreeWidgetItem *row, BASS::WorldRegion *region);
    void drillCountry(QTreeWidgetItem *row, TreeRadioItem *item, BASS::Country *country);
    void drillGenre(QTreeWidgetItem *row, TreeRadioItem *item, BASS::Genre *genre);
    QTreeWidgetItem *sectionOf(QTreeWidgetItem *row) const;
    bool isHighlighted(const QTreeWidgetItem *row, const TreeRadioItem *item) const;
    int textIndent(const TreeRadioItem *item) const;
    void schedule(int ms);

    TunoraAPI *m_api;
    std::array<quint64, 9> m_sections{};
    std::array<std::array<QIcon, 3>, 9> m_icons;
    quint64 m_current = 0;
    quint64 m_previous = 0;
    quint64 m_lastGenre = 0;
    quint64 m_lastDrilledCountry = 0;
    quint64 m_lastCountry = 0;
    quint64 m_lastFavorites = 0;
    quint64 m_lastHistory = 0;
    int m_mode = 0;
    quint64 m_hover = 0;
    quint64 m_pendingSelect = 0;
    quint64 m_pendingExpand = 0;
    quint64 m_pressedWhileCurrent = 0;
    std::vector<std::unique_ptr<BASS::WorldRegion>> m_regions;
    std::vector<std::unique_ptr<BASS::Genre>> m_genres;
    int m_genreRequest = 0;
    int m_regionRequest = 0;
    QHash<const BASS::Country *, BASS::Country *> m_countryParent;
    QHash<const BASS::Country *, BASS::WorldRegion *> m_countryRegion;
    QList<quint64> m_path;
    QList<QTreeWidgetItem *> m_parked;
    QHash<int, QString> m_favoriteRequests; // add-favourite request -> station id
    bool m_suppressed = false;
    QAction *m_refreshAction;
    QAction *m_singleClickAction;
    QFont m_sectionFont;
    QFont m_childFont;
    QFont m_childBoldFont;
    QFont m_headerFont;
    QBrush m_brush{QColor(0xE6, 0xE6, 0xE6)};
};
