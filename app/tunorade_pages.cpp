// The main window's content pages: the station lists in the page stack, switching pages when the
// navigation menu changes, the search box with its menu and remembered searches, the news ticker,
// the dashboard's clickable labels and cover pop-up, column synchronisation among the lists and
// the font change.

#include "tunorade.h"

#include "coverartlabel.h"
#include "navigatelabel.h"
#include "stream.h"
#include "tickerlabel.h"
#include "treeradiowidget.h"
#include "treestationwidget.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFontDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QStatusBar>

namespace {

// Menu section n shows the stack page n - 1; station list "twStations<n>" belongs to section n.
constexpr int StationListSections[] = {1, 3, 4, 5, 6};
constexpr int CoverPopupSize = 300;

// Watches the dashboard's plain labels for left clicks.
class ClickFilter : public QObject
{
public:
    ClickFilter(TunoraDE *window)
        : QObject(window)
        , m_window(window)
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton)
                m_window->slot_mouseMouseButtonLeft(static_cast<QWidget *>(watched),
                                                    mouse->globalPosition().toPoint());
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TunoraDE *m_window;
};

} // namespace

QWidget *TunoraDE::createStationPage(int position)
{
    const int section = position + 1;
    if (std::find(std::begin(StationListSections), std::end(StationListSections), section) ==
        std::end(StationListSections))
        return nullptr;
    auto *list = new TreeStationWidget;
    const QString name = QStringLiteral("twStations%1").arg(section);
    list->setObjectName(name);
    // The lists keep their columns in step (see forEachOtherList): one made later takes the
    // columns of one already there, as it would have followed them had it been there.
    TreeStationWidget *made = nullptr;
    for (int n : StationListSections)
        if (!made)
            made = madeStationList(n);
    list->restoreLayout(made ? made->header()->saveState() : AppSettings::instance().treeLayout(name));
    connect(list, &TreeStationWidget::signal_apiStarted, this,
            [this](TreeStationWidget *tree) { slot_treeStationAPIStarted(tree); });
    connect(list, &TreeStationWidget::signal_apiFinished, this,
            [this](TreeStationWidget *tree) { slot_treeStationAPIFinished(tree); });
    connect(list, &TreeStationWidget::signal_FavoriteChanged, this, &TunoraDE::slot_FavoriteChanged);
    connect(list, &TreeWidgetBase::signal_columnResized, this, &TunoraDE::slot_treeStationsColumnResized);
    connect(list, &TreeWidgetBase::signal_columnMoved, this, &TunoraDE::slot_treeStationsColumnMoved);
    connect(list, &TreeWidgetBase::signal_columnHidden, this, &TunoraDE::slot_treeStationsColumnHidden);
    connect(list, &TreeWidgetBase::signal_columnShown, this, &TunoraDE::slot_treeStationsColumnShown);
    connect(list, &TreeWidgetBase::signal_columnsResetRequested, this, [this] {
        for (int n : StationListSections)
            if (TreeStationWidget *other = madeStationList(n))
                other->applyDefaultLayout();
    });
    // Rows that arrive while their station plays are marked too.
    connect(list, &TreeStationWidget::signal_filled, this, [this](TreeStationWidget *tree) {
        if (!m_markedStationId.isEmpty())
            tree->UpdateValidTreeItems(m_markedStationId, 1);
        updatePagingLinks();
    });
    connect(list, &TreeStationWidget::signal_playStation, this, &TunoraDE::slot_treeStationPlay);
    connect(list, &TreeStationWidget::signal_stopStation, this, [this] { stop(true); });
    connect(list, &TreeStationWidget::signal_openWebsite, this, [](const QUrl &url) {
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
            QDesktopServices::openUrl(url);
    });
    connect(list, &TreeWidgetBase::signal_statusText, this, [this](const QString &text) {
        if (!text.isEmpty())
            showStatus(text);
    });
    return list;
}

void TunoraDE::setupNavigation()
{
    auto *menu = static_cast<TreeRadioWidget *>(twRadio);
    connect(menu, &TreeRadioWidget::signal_SelectionChanged, this, &TunoraDE::slot_treeRadioSelectionChanged);
    connect(menu, &TreeRadioWidget::signal_FavoriteChanged, this, &TunoraDE::slot_FavoriteChanged);
    connect(menu, &TreeWidgetBase::signal_statusText, this, [this](const QString &text) {
        if (!text.isEmpty())
            showStatus(text);
    });
    QAction *single = action_Single_click_expands_collapses_navigation_menu;
    single->setChecked(menu->singleClickAction()->isChecked());
    connect(single, &QAction::toggled, menu->singleClickAction(), &QAction::setChecked);
    connect(menu->singleClickAction(), &QAction::toggled, single, &QAction::setChecked);

    // The search box and its menu.
    m_searchMenu = new QMenu(this);
    m_searchAction =
        new QAction(QIcon(QStringLiteral(":/TunoraDE/Resources/search_active.png")), tr("Search"), this);
    connect(btSearch, &QPushButton::clicked, this, &TunoraDE::slot_searchOnline);
    connect(teSearch, &QLineEdit::returnPressed, this, &TunoraDE::slot_searchReturnPressed);
    connect(m_searchMenu, &QMenu::triggered, this, &TunoraDE::slot_searchMenuTriggered);
    AppSettings::instance().loadSearchHistory(m_searchHistory, this, nullptr);

    // The news ticker.
    connect(this, &TunoraDE::signal_nextNews, this, &TunoraDE::slot_showNextNews);

    // Links to the previous and next result page of the list in view.
    m_pagingLinks = new NavigateLabel(Ui::TunoraDEClass::statusBar);
    m_pagingLinks->setObjectName(QStringLiteral("lblPaging"));
    m_pagingLinks->setTextFormat(Qt::RichText);
    m_pagingLinks->setLinkCursor(true);
    m_pagingLinks->hide();
    connect(m_pagingLinks, &NavigateLabel::signal_linkClicked, this, &TunoraDE::slot_navigateLinkClicked);
    connect(swStations, &QStackedWidget::currentChanged, this, [this] { updatePagingLinks(); });
    Ui::TunoraDEClass::statusBar->addPermanentWidget(m_pagingLinks);

    // The product web site, always at the right of the status bar.
    const QString site = AppSettings::instance().endpoint(AppSettings::WebSite);
    if (!site.isEmpty()) {
        auto *siteLink = new NavigateLabel(Ui::TunoraDEClass::statusBar);
        siteLink->setObjectName(QStringLiteral("lblWebSite"));
        siteLink->setTextFormat(Qt::RichText);
        siteLink->setOpenInBrowser(true);
        siteLink->setLinkCursor(true);
        siteLink->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(site.toHtmlEscaped()));
        Ui::TunoraDEClass::statusBar->addPermanentWidget(siteLink);
    }

    // The dashboard: clickable labels and the cover pop-up.
    auto *clicks = new ClickFilter(this);
    for (QLabel *label : {lblNowPlaying, lblLastPlaying, lblTrackHistory})
        label->installEventFilter(clicks);
    m_coverPopup = new CoverArtLabel(this);
    m_coverPopup->setObjectName(QStringLiteral("lblCoverPopup"));
    m_coverPopup->setAlignment(Qt::AlignCenter);
    m_coverPopup->loadOverlayImage(QStringLiteral(":/TunoraDE/Resources/cover_overlay.png"));
    m_coverPopup->setFixedSize(CoverPopupSize, CoverPopupSize);
    m_coverPopup->setStyleSheet(QStringLiteral("background: white; border: 1px solid #808080;"));
    m_coverPopup->hide();
    connect(lblCoverArt, &CoverArtLabel::signal_mouseEnter, this, &TunoraDE::slot_mouseEnter);
    connect(m_coverPopup, &CoverArtLabel::signal_mouseLeave, this, &TunoraDE::slot_mouseLeave);

    connect(actionChange_font, &QAction::triggered, this, &TunoraDE::slot_changeAppFont);
    connect(actionCheck_for_new_version, &QAction::triggered, this, &TunoraDE::slot_CheckForNewVersion);
}

TreeStationWidget *TunoraDE::stationList(int n) const
{
    return qobject_cast<TreeStationWidget *>(stationPage(n));
}

TreeStationWidget *TunoraDE::madeStationList(int n) const
{
    if (m_pendingPages.contains(n - 1))
        return nullptr;
    return stationList(n);
}

TreeStationWidget *TunoraDE::currentStationList() const
{
    return qobject_cast<TreeStationWidget *>(swStations->currentWidget());
}

void TunoraDE::updatePlayingMarkers(int state)
{
    const bool playing = state == BASS::Stream::StatePlaying;
    for (int n : StationListSections) {
        TreeStationWidget *list = madeStationList(n); // one made later marks its rows when filled
        if (!list)
            continue;
        if (!m_markedStationId.isEmpty())
            list->UpdateValidTreeItems(m_markedStationId, 0);
        if (playing && !m_station.id().isEmpty())
            list->UpdateValidTreeItems(m_station.id(), 1);
    }
    m_markedStationId = playing ? m_station.id() : QString();
}

// ---- page switching -------------------------------------------------------------------------------

void TunoraDE::slot_treeRadioSelectionChanged(int index, const QString &search, bool refresh)
{
    if (index < 1 || index > swStations->count())
        return;
    swStations->setCurrentIndex(index - 1);
    TreeStationWidget *list = currentStationList();
    if (!list)
        return; // the wish list and the settings fill themselves
    if (!refresh)
        refresh = list->topLevelItemCount() == 0;
    switch (index) {
    case TreeRadioWidget::Regions:
    case TreeRadioWidget::Genres:
        if (refresh)
            list->queryStations(search);
        break;
    case TreeRadioWidget::Favorites:
        if (refresh)
            list->loadFavorites();
        break;
    case TreeRadioWidget::History:
        if (refresh)
            list->loadHistory();
        break;
    default:
        break; // search results: the search fills the list
    }
}

void TunoraDE::slot_treeStationPlay(TreeStationWidget *, const BASS::Station &station, int streamIndex)
{
    // A copy: the list may drop its row (and the station with it) while the stream opens.
    const BASS::Station copy(station);
    const BASS::StationStream *entry = nullptr;
    if (streamIndex >= 0 && streamIndex < copy.streams().size())
        entry = copy.streams().at(streamIndex);
    playStation(copy, entry);
}

void TunoraDE::slot_FavoriteChanged(bool added, const QString &id)
{
    // Lists not made yet read the favourites when they are filled.
    TreeStationWidget *favorites = madeStationList(1);
    for (int n : StationListSections)
        if (TreeStationWidget *list = madeStationList(n))
            list->setStationFavorite(id, added);
    if (!favorites)
        return;
    // The favourites come from the directory: read again now when in view, else when shown next.
    if (swStations->currentWidget() == favorites)
        favorites->loadFavorites();
    else
        favorites->clearTree();
}

void TunoraDE::slot_treeStationAPIStarted(TreeStationWidget *)
{
    twRadio->setCursor(Qt::BusyCursor);
}

void TunoraDE::slot_treeStationAPIFinished(TreeStationWidget *)
{
    twRadio->unsetCursor();
}

// ---- search ---------------------------------------------------------------------------------------

QString TunoraDE::searchLabel(const QString &text)
{
    if (text.isEmpty())
        return QString();
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon > 0)
        return text.mid(colon + 1).trimmed();
    return tr("Search") + QLatin1Char(' ') + tr("for") + QLatin1Char(' ') + text;
}

void TunoraDE::slot_searchOnline()
{
    const QString text = teSearch->text();
    m_searchAction->setEnabled(!text.isEmpty());
    const QString label = searchLabel(text);
    m_searchMenu->clear();
    if (!label.isEmpty()) {
        m_searchAction->setText(label);
        m_searchMenu->addAction(m_searchAction);
        m_searchMenu->addSeparator();
    }
    // The remembered searches as stored; the actions of the last showing go.
    for (const SearchHistoryEntry &entry : std::as_const(m_searchHistory))
        delete entry.action.data();
    AppSettings::instance().loadSearchHistory(m_searchHistory, this, m_searchMenu);
    m_searchMenu->popup(btSearch->mapToGlobal(btSearch->rect().bottomLeft()));
    swStations->setFocus();
}

void TunoraDE::slot_searchReturnPressed()
{
    runTypedSearch();
}

void TunoraDE::runTypedSearch()
{
    const QString text = teSearch->text();
    if (text.isEmpty())
        return;
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon > 0 && text.mid(colon + 1).trimmed().isEmpty())
        return;
    static_cast<TreeRadioWidget *>(twRadio)->selectSection(TreeRadioWidget::SearchResults);
    slot_treeRadioSelectionChanged(TreeRadioWidget::SearchResults, QString(), false);
    if (!m_searchHistory.contains(text)) {
        SearchHistoryEntry entry;
        entry.text = text;
        entry.action = new QAction(text, this);
        m_searchMenu->addAction(entry.action);
        m_searchHistory.insert(text, entry);
        AppSettings::instance().saveSearchHistory(m_searchHistory);
        // Only the first ten in alphabetical order are kept.
        while (m_searchHistory.size() > 10) {
            delete m_searchHistory.last().action.data();
            m_searchHistory.erase(std::prev(m_searchHistory.end()));
        }
    }
    if (TreeStationWidget *results = stationList(6))
        results->queryStations(text);
}

void TunoraDE::slot_searchMenuTriggered(QAction *action)
{
    TreeStationWidget *results = stationList(6);
    if (!action || !results)
        return;
    static_cast<TreeRadioWidget *>(twRadio)->selectSection(TreeRadioWidget::SearchResults);
    slot_treeRadioSelectionChanged(TreeRadioWidget::SearchResults, QString(), false);
    if (action == m_searchAction)
        runTypedSearch();
    else
        results->queryStations(action->text());
}

void TunoraDE::slot_navigateLinkClicked(QLabel *, const QString &link)
{
    TreeStationWidget *list = currentStationList();
    if (!list)
        return;
    if (link.contains(QLatin1String("next")))
        list->nextPage();
    else
        list->previousPage();
    list->setFocus();
}

void TunoraDE::updatePagingLinks()
{
    if (!m_pagingLinks)
        return;
    TreeStationWidget *list = currentStationList();
    QStringList links;
    if (list && list->mode() == TreeStationWidget::ModeQuery) {
        if (list->pageIndex() > 0)
            links << QStringLiteral("<a href=\"previous\">%1</a>").arg(tr("Previous page").toHtmlEscaped());
        if (list->moreRow())
            links << QStringLiteral("<a href=\"next\">%1</a>").arg(tr("Next page").toHtmlEscaped());
    }
    m_pagingLinks->setText(links.join(QStringLiteral(" | ")));
    m_pagingLinks->setVisible(!links.isEmpty());
}

// ---- news -----------------------------------------------------------------------------------------

void TunoraDE::slot_showNextNews()
{
    const QList<NewsItem> &news = m_api.news();
    if (news.isEmpty())
        return;
    if (m_newsIndex >= news.size() || m_newsIndex < 0)
        m_newsIndex = 0;
    const NewsItem &item = news.at(m_newsIndex);
    auto *ticker = static_cast<TickerLabel *>(lblInfo);
    ticker->setText(tr("News") + QStringLiteral(" | ") + item.title);
    ticker->setLink(item.link);
    ++m_newsIndex;
}

// ---- dashboard ------------------------------------------------------------------------------------

void TunoraDE::showTrackCover(const Track &track)
{
    if (track.hasCover()) {
        showCover(track.cover);
        lblCoverArt->setShopLink(track.album.detailPageUrl);
    } else {
        resetCover();
    }
}

void TunoraDE::slot_mouseMouseButtonLeft(QWidget *widget, QPoint)
{
    QLabel *clicked = nullptr;
    if (widget == lblNowPlaying) {
        clicked = lblNowPlaying;
        showTrackCover(m_currentTrack);
        refreshTrackHistoryLabel();
    } else if (widget == lblLastPlaying && !m_lastTrack.isEmpty() && !lblLastPlaying->text().isEmpty()) {
        clicked = lblLastPlaying;
        showTrackCover(m_lastTrack);
        refreshTrackHistoryLabel();
    }
    if (!clicked)
        return;
    for (QLabel *label : {lblNowPlaying, lblLastPlaying, lblTrackHistory})
        label->setStyleSheet(label == clicked ? m_highlightStyle : m_normalStyle);
}

void TunoraDE::slot_mouseEnter(QWidget *widget)
{
    if (widget != lblCoverArt || lblCoverArt->isDefaultShown() || m_coverPopup->isVisible() ||
        m_shownCover.isNull())
        return;
    const qreal ratio = devicePixelRatioF();
    QPixmap cover = QPixmap::fromImage(m_shownCover)
                        .scaled(m_coverPopup->size() * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    cover.setDevicePixelRatio(ratio);
    m_coverPopup->setPixmap(cover);
    m_coverPopup->setShopLink(lblCoverArt->shopLink());
    m_coverPopup->setOverlayText(tr("Buy song/album"));
    // Over the small cover, its top-left corner on the small cover's.
    m_coverPopup->move(lblCoverArt->mapTo(this, QPoint(0, 0)));
    m_coverPopup->raise();
    m_coverPopup->show();
}

void TunoraDE::slot_mouseLeave(QWidget *widget)
{
    if (widget != m_coverPopup)
        return;
    m_coverPopup->hide();
    if (m_coverAwaited)
        slot_clearCoverArt();
}

void TunoraDE::slot_clearCoverArt()
{
    if (lblCoverArt->movie())
        resetCover();
}

// ---- columns and fonts ----------------------------------------------------------------------------

void TunoraDE::forEachOtherList(QTreeWidget *from, const std::function<void(TreeStationWidget *)> &apply)
{
    if (m_columnSync)
        return;
    m_columnSync = true;
    for (int n = 0; n < swStations->count(); ++n) {
        auto *list = qobject_cast<TreeStationWidget *>(swStations->widget(n));
        if (list && list != from && list->objectName().contains(QLatin1String("twStations")))
            apply(list);
    }
    m_columnSync = false;
}

void TunoraDE::slot_treeStationsColumnResized(QTreeWidget *tree, int column, int, int newSize)
{
    if (column != TreeStationWidget::ColumnNumber)
        forEachOtherList(tree, [&](TreeStationWidget *list) { list->applyColumnWidth(column, newSize); });
}

void TunoraDE::slot_treeStationsColumnMoved(QTreeWidget *tree, int column, int oldVisual, int newVisual)
{
    if (column != TreeStationWidget::ColumnNumber)
        forEachOtherList(tree, [&](TreeStationWidget *list) { list->applyColumnMove(oldVisual, newVisual); });
}

void TunoraDE::slot_treeStationsColumnHidden(QTreeWidget *tree, int column)
{
    if (column != TreeStationWidget::ColumnNumber)
        forEachOtherList(tree, [&](TreeStationWidget *list) { list->setColumnHidden(column, true); });
}

void TunoraDE::slot_treeStationsColumnShown(QTreeWidget *tree, int column)
{
    if (column != TreeStationWidget::ColumnNumber)
        forEachOtherList(tree, [&](TreeStationWidget *list) { list->setColumnHidden(column, false); });
}

void TunoraDE::slot_CheckForNewVersion()
{
    AppSettings::instance().clearStationListLayouts();
    for (int n = 0; n < swStations->count(); ++n) {
        auto *list = qobject_cast<TreeStationWidget *>(swStations->widget(n));
        if (list && list->objectName().contains(QLatin1String("twStations")))
            list->applyDefaultLayout();
    }
    if (!m_clearColumnsNoticeShown) {
        m_clearColumnsNoticeShown = true;
        information(tr("A restart is required for this option."));
    }
}

void TunoraDE::slot_changeAppFont()
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, QApplication::font(), this);
    if (!ok)
        return;
    QApplication::setFont(font);
    AppSettings::instance().saveAppFont(font);
    applyAppFont(font);
}
