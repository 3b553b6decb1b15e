#pragma once

#include "treewidgetbase.h"

#include <QElapsedTimer>
#include <QFont>
#include <QHash>
#include <QPixmap>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <memory>

class QAction;
class TunoraAPI;
namespace BASS {
class BaseRadioXmlRequest;
}

// The station list: favourites, history, or the stations of a country, genre or search, with
// a favourite star per row, a paging row and the five station actions. It fills in slices so
// that thousands of stations never hold the event loop for long. Everything the window does
// for it (play, stop, status line) is asked through signals.
class TreeStationWidget : public QTreeWidgetEx
{
    Q_OBJECT
public:
    enum Column
    {
        ColumnStar = 0,
        ColumnNumber = 1,
        ColumnName = 2,
        ColumnPlaying = 3,
        ColumnGenres = 4,
        ColumnLocation = 5,
        ColumnNetwork = 6,
        ColumnWebsite = 7,
        ColumnCount = 8
    };
    enum Mode
    {
        ModeNone = 0,
        ModeFavorites = 1,
        ModeHistory = 2,
        ModeQuery = 3
    };
    // Rows added per slice of a fill, and the time one slice may take at most.
    static constexpr int SliceRows = 200;
    static constexpr int SliceMilliseconds = 25;
    // Ids asked for in one now-playing refresh at most.
    static constexpr int MaxPlayingNowIds = 200;

    explicit TreeStationWidget(QWidget *parent = nullptr);
    ~TreeStationWidget() override;

    void createFonts() override;
    void clearTree() override;
    bool canToggleColumn(int column) const override { return column != ColumnNumber; }

    // Loading (each first stops a request still outstanding on the list's client).
    void loadFavorites(bool nowPlayingOnly = false);
    void loadHistory(bool nowPlayingOnly = false);
    void queryStations(const QString &text, QTreeWidgetItem *parent = nullptr, bool nextPage = false,
                       bool nowPlayingOnly = false);
    // The 30 s refresh entry point: reloads the current mode's now-playing texts.
    void refresh();
    void nextPage();
    void previousPage();
    void refreshNowPlaying();

    // A browsing row (top level, or under parent) for a copy of a region, country or genre; it
    // opens into the region's countries, or the genre's sub-genres and stations, or the country's
    // stations.
    QTreeWidgetItem *addBrowseRow(const BASS::WorldRegion &region, QTreeWidgetItem *parent = nullptr);
    QTreeWidgetItem *addBrowseRow(const BASS::Country &country, QTreeWidgetItem *parent = nullptr);
    QTreeWidgetItem *addBrowseRow(const BASS::Genre &genre, QTreeWidgetItem *parent = nullptr);

    // The default widths and visibility of the columns.
    void applyDefaultLayout();
    void setShowNumbers(bool on);
    bool showNumbers() const { return m_showNumbers; }

    // The station of the row (its own copy), or null for rows without one and the paging row.
    const BASS::Station *stationOf(const QTreeWidgetItem *row) const;
    QTreeWidgetItem *rowOfStation(const QString &stationId) const;
    void setStationFavorite(const QString &stationId, bool favorite);
    // The channel's state for its station: 1 playing (bold name), 0 stopped.
    void UpdateValidTreeItems(const QString &stationId, int state);

    int mode() const { return m_mode; }
    QString queryText() const { return m_queryText; }
    int pageIndex() const { return m_pageIndex; }
    QTreeWidgetItem *moreRow() const { return rowOf(m_moreRow); }
    // True while stations of a reply are still being put into the list.
    bool isFilling() const { return !m_queue.empty(); }
    QString favoritesFirstStreamText() const { return m_firstStreamText; }
    TunoraAPI *api() const { return m_api; }
    TunoraAPI *playingNowApi() const { return m_playingApi; }
    QList<QAction *> stationActions() const;
    QAction *copyAction() const { return m_copyAction; }
    QAction *addFavoriteAction() const { return m_addFavoriteAction; }
    QAction *removeFavoriteAction() const { return m_removeFavoriteAction; }
    QAction *playAction() const { return m_playAction; }
    QAction *stopAction() const { return m_stopAction; }
    // Builds the menu that a right click shows for a row (the caller owns it).
    QMenu *createContextMenu(QTreeWidgetItem *row);
    // The drag data of the selected station: "mime/station_id" holding its id, or null.
    QMimeData *stationMimeData() const;

signals:
    void signal_FavoriteChanged(bool added, QString id);
    void signal_apiStarted(TreeStationWidget *tree, BASS::BaseRadioXmlRequest *xml_req);
    void signal_apiFinished(TreeStationWidget *tree, BASS::BaseRadioXmlRequest *xml_req);
    // The window plays the station (streamIndex -1: its first stream) or stops playback.
    void signal_playStation(TreeStationWidget *tree, const BASS::Station &station, int streamIndex);
    void signal_stopStation(TreeStationWidget *tree);
    // The window opens the address in the system's browser.
    void signal_openWebsite(const QUrl &url);
    // A reply has been put into the list completely (after its last slice).
    void signal_filled(TreeStationWidget *tree);

public slots:
    void slot_ContextMenu(QPoint pos);
    void slot_copyToClipboard();
    void slot_addFavorite();
    void slot_removeFavorite();
    void slot_playStation();
    void slot_stopStation();
    void slot_stationActivated(QTreeWidgetItem *row, int column);
    void slot_stationExpanded(QTreeWidgetItem *row);
    void slot_tnAPIStarted(int id);
    void slot_tnAPIFinished(int id, bool error);
    void slot_stationFoundPlayingNow(const BASS::Station *station);
    void slot_stationFound(const BASS::Station *station);
    void slot_FavoriteChanged(bool, QString) {}
    void slot_contextMenuTriggered(QAction *action);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                 const QModelIndex &index) const override;
    QMimeData *mimeData(const QList<QTreeWidgetItem *> &items) const override;
    QStringList mimeTypes() const override;

private:
    struct Pending
    {
        std::unique_ptr<BASS::Station> station;
        quint64 parent = 0;
    };
    TreeStation *stationItem(const QTreeWidgetItem *row) const;
    void beginLoad();
    void sendSearch();
    void insertSlice();
    void addStationRow(std::unique_ptr<BASS::Station> station, QTreeWidgetItem *parent);
    void updateMoreRow();
    void finishFill();
    void clearHint();
    void sendFavorite(bool add);
    void startPlaying(QTreeWidgetItem *row, int streamIndex);
    QTreeWidgetItem *addBrowseRow(std::unique_ptr<QT_BASS::Object> object, const QString &name,
                                  QTreeWidgetItem *parent);

    TunoraAPI *m_api;
    TunoraAPI *m_playingApi;
    int m_mode = ModeNone;
    QString m_queryText;
    int m_pageIndex = 0;
    int m_requestId = 0;
    int m_lastStartedId = 0;
    quint64 m_queryParent = 0;
    bool m_favoritesFlag = false;
    bool m_replyDone = true;
    QString m_firstStreamText;
    QStringList m_playingIds;
    quint64 m_moreRow = 0;
    quint64 m_hoverRow = 0;
    int m_hoverColumn = -1;
    QHash<QString, quint64> m_rows; // station id -> payload key
    std::deque<Pending> m_queue;
    QHash<QString, bool> m_queued;                       // ids waiting in the queue
    QHash<int, QPair<bool, QString>> m_favoriteRequests; // request -> (added, station id)
    QTimer m_sliceTimer;
    bool m_showNumbers = true;
    QFont m_listFont;
    QFont m_boldFont;
    QPixmap m_starActive;
    QPixmap m_star;
    QAction *m_copyAction;
    QAction *m_addFavoriteAction;
    QAction *m_removeFavoriteAction;
    QAction *m_playAction;
    QAction *m_stopAction;
};
