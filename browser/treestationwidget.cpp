#include "treestationwidget.h"

#include "tunoraapi.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDataStream>
#include <QDebug>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>

using BASS::Station;
using BASS::StationStream;

namespace {

const char *const StationIdFormat = "mime/station_id";

QString res(const char *name)
{
    return QStringLiteral(":/TunoraDE/Resources/") + QLatin1String(name);
}

// Tool tips render rich text when the text looks like markup; directory texts must stay literal.
QString plainTip(const QString &text)
{
    return text.isEmpty() ? QString() : QStringLiteral("<span>%1</span>").arg(text.toHtmlEscaped());
}

QIcon formatIcon(BASS::StreamFormat format)
{
    switch (format) {
    case BASS::FormatWMA:
        return QIcon(res("wmp.ico"));
    case BASS::FormatAAC:
        return QIcon(res("aacplus.ico"));
    case BASS::FormatOGG:
        return QIcon(res("Ogg.ico"));
    default:
        return QIcon(res("mp3.ico"));
    }
}

} // namespace

TreeStationWidget::TreeStationWidget(QWidget *parent)
    : QTreeWidgetEx(parent)
    , m_api(new TunoraAPI(this))
    , m_playingApi(new TunoraAPI(this))
    , m_copyAction(new QAction(QIcon(res("copy.ico")), tr("&Copy"), this))
    , m_addFavoriteAction(new QAction(QIcon(res("favorites_active.png")), tr("&Add To Favorites"), this))
    , m_removeFavoriteAction(new QAction(QIcon(res("failed.ico")), tr("&Remove From Favorites"), this))
    , m_playAction(new QAction(QIcon(res("playing.ico")), tr("&Play"), this))
    , m_stopAction(new QAction(QIcon(res("stop_norm.png")), tr("&Stop"), this))
{
    installHeaderEx();
    setColumnCount(0);
    addColumn(QString());
    addColumn(tr("#"), Qt::AlignRight | Qt::AlignVCenter);
    addColumn(tr("Stations"));
    addColumn(tr("Playing Now"));
    addColumn(tr("Genres"));
    addColumn(tr("Location"));
    addColumn(tr("Network"));
    addColumn(tr("Website"));

    QHeaderView *h = header();
    h->setSectionsMovable(true);
    h->setSectionsClickable(true);
    h->setSortIndicatorShown(true);
    h->setStretchLastSection(true);
    setSortingEnabled(true);
    sortByColumn(ColumnNumber, Qt::AscendingOrder);
    setAlternatingRowColors(true);
    setIndentation(0);
    setIconSize(QSize(16, 20));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setMouseTracking(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setAccessibleName(tr("Stations"));
    createFonts();
    applyDefaultLayout();

    m_starActive =
        QPixmap(res("star_acitve.png")).scaled(12, 11, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    m_star = QPixmap(res("star.png")).scaled(12, 11, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    m_copyAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+C")));
    m_copyAction->setShortcutContext(Qt::WidgetShortcut);
    m_copyAction->setStatusTip(tr("Copy the current contents to the clipboard"));
    m_addFavoriteAction->setStatusTip(tr("Add the selected station to your favorites"));
    m_removeFavoriteAction->setStatusTip(tr("Remove the selected station from your favorites"));
    m_playAction->setStatusTip(tr("Play the selected station"));
    m_stopAction->setStatusTip(tr("Stop playing the selected station"));
    addAction(m_copyAction);
    connect(m_copyAction, &QAction::triggered, this, &TreeStationWidget::slot_copyToClipboard);
    connect(m_addFavoriteAction, &QAction::triggered, this, &TreeStationWidget::slot_addFavorite);
    connect(m_removeFavoriteAction, &QAction::triggered, this, &TreeStationWidget::slot_removeFavorite);
    connect(m_playAction, &QAction::triggered, this, &TreeStationWidget::slot_playStation);
    connect(m_stopAction, &QAction::triggered, this, &TreeStationWidget::slot_stopStation);

    connect(m_api, &BASS::BaseRadioAPI::signal_stationFound, this, &TreeStationWidget::slot_stationFound);
    connect(m_api, &BASS::BaseRadioAPI::signal_requestStarted, this, &TreeStationWidget::slot_tnAPIStarted);
    connect(m_api, &BASS::BaseRadioAPI::signal_requestFinished, this, &TreeStationWidget::slot_tnAPIFinished);
    connect(m_playingApi, &BASS::BaseRadioAPI::signal_stationFound, this,
            &TreeStationWidget::slot_stationFoundPlayingNow);
    connect(this, &TreeStationWidget::signal_FavoriteChanged, this, &TreeStationWidget::slot_FavoriteChanged);
    connect(this, &QTreeWidget::itemActivated, this, &TreeStationWidget::slot_stationActivated);
    connect(this, &QTreeWidget::itemExpanded, this, &TreeStationWidget::slot_stationExpanded);
    connect(this, &QWidget::customContextMenuRequested, this, &TreeStationWidget::slot_ContextMenu);

    m_sliceTimer.setSingleShot(true);
    m_sliceTimer.setInterval(0);
    connect(&m_sliceTimer, &QTimer::timeout, this, &TreeStationWidget::insertSlice);
    setColumnsReady(true);
}

TreeStationWidget::~TreeStationWidget()
{
    m_sliceTimer.stop();
    disconnect(this, nullptr, this, nullptr);
}

void TreeStationWidget::createFonts()
{
    m_listFont = font();
    m_boldFont = m_listFont;
    m_boldFont.setBold(true);
    QFont headerFont = m_listFont;
    headerFont.setPointSize(10);
    header()->setFont(headerFont);
}

void TreeStationWidget::applyDefaultLayout()
{
    const bool ready = columnsReady();
    setColumnsReady(false);
    QHeaderView *h = header();
    for (int visual = 0; visual < ColumnCount; ++visual)
        if (h->logicalIndex(visual) != visual)
            h->moveSection(h->visualIndex(visual), visual);
    h->setSectionResizeMode(ColumnStar, QHeaderView::Fixed);
    h->setSectionResizeMode(ColumnNumber, QHeaderView::Fixed);
    setColumnWidth(ColumnStar, 16);
    setColumnWidth(ColumnNumber, QFontMetrics(m_listFont).horizontalAdvance(QStringLiteral("999")) + 10);
    setColumnWidth(ColumnName, 200);
    setColumnWidth(ColumnPlaying, 200);
    setColumnWidth(ColumnGenres, 200);
    setColumnWidth(ColumnLocation, 250);
    QTreeWidget::setColumnHidden(ColumnStar, false);
    QTreeWidget::setColumnHidden(ColumnNumber, !m_showNumbers);
    for (int c : {ColumnName, ColumnPlaying, ColumnGenres, ColumnLocation})
        QTreeWidget::setColumnHidden(c, false);
    QTreeWidget::setColumnHidden(ColumnNetwork, true);
    QTreeWidget::setColumnHidden(ColumnWebsite, true);
    setColumnsReady(ready);
}

void TreeStationWidget::setShowNumbers(bool on)
{
    m_showNumbers = on;
    QTreeWidget::setColumnHidden(ColumnNumber, !on);
}

QList<QAction *> TreeStationWidget::stationActions() const
{
    return {m_copyAction, m_addFavoriteAction, m_removeFavoriteAction, m_playAction, m_stopAction};
}

TreeStation *TreeStationWidget::stationItem(const QTreeWidgetItem *row) const
{
    return dynamic_cast<TreeStation *>(itemTreeItem(row));
}

const Station *TreeStationWidget::stationOf(const QTreeWidgetItem *row) const
{
    const TreeStation *item = stationItem(row);
    return item && !item->isMoreRow && !item->station.id().isEmpty() ? &item->station : nullptr;
}

QTreeWidgetItem *TreeStationWidget::rowOfStation(const QString &stationId) const
{
    return rowOf(m_rows.value(stationId));
}

// --- Loading -------------------------------------------------------------------------------------

void TreeStationWidget::clearTree()
{
    m_sliceTimer.stop();
    m_queue.clear();
    m_queued.clear();
    setCurrentItem(nullptr);
    QTreeWidgetEx::clearTree();
    m_rows.clear();
    releaseAllPayloads();
    m_playingIds.clear();
    m_moreRow = 0;
    m_hoverRow = 0;
    setContextRow(nullptr);
}

void TreeStationWidget::beginLoad()
{
    if (m_requestId != 0 && m_api->contains(m_requestId))
        m_api->stop(m_requestId);
    m_requestId = 0;
}

void TreeStationWidget::loadFavorites(bool nowPlayingOnly)
{
    m_mode = ModeFavorites;
    if (nowPlayingOnly) {
        refreshNowPlaying();
        return;
    }
    beginLoad();
    clearTree();
    showStatus(tr("Getting Favorites") + tr("..."));
    m_favoritesFlag = true;
    m_replyDone = false;
    m_queryParent = 0;
    m_requestId = m_api->requestFavorites();
}

void TreeStationWidget::loadHistory(bool nowPlayingOnly)
{
    m_mode = ModeHistory;
    if (nowPlayingOnly) {
        refreshNowPlaying();
        return;
    }
    beginLoad();
    clearTree();
    showStatus(tr("Getting History") + tr("..."));
    m_replyDone = false;
    m_queryParent = 0;
    m_requestId = m_api->requestHistory();
}

void TreeStationWidget::queryStations(const QString &text, QTreeWidgetItem *parent, bool nextPage,
                                      bool nowPlayingOnly)
{
    if (text.isEmpty())
        return;
    m_mode = ModeQuery;
    m_queryText = text;
    if (nowPlayingOnly) {
        refreshNowPlaying();
        return;
    }
    beginLoad();
    // Stations for a browsing row go below it; the rest of the list stays.
    if (!nextPage && !parent)
        clearTree();
    showStatus(tr("Getting Stations") + tr("..."));
    m_pageIndex = nextPage ? m_pageIndex + 1 : 0;
    m_queryParent = itemPayload(parent);
    m_replyDone = false;
    sendSearch();
}

void TreeStationWidget::nextPage()
{
    if (m_mode != ModeQuery || m_queryText.isEmpty())
        return;
    if (QTreeWidgetItem *more = rowOf(m_moreRow)) {
        releasePayload(m_moreRow);
        delete more;
    }
    m_moreRow = 0;
    m_hoverRow = 0;
    queryStations(m_queryText, nullptr, true);
}

void TreeStationWidget::previousPage()
{
    if (m_mode != ModeQuery || m_queryText.isEmpty() || m_pageIndex == 0)
        return;
    const int page = m_pageIndex - 1;
    beginLoad();
    clearTree();
    showStatus(tr("Getting Stations") + tr("..."));
    m_pageIndex = page;
    m_queryParent = 0;
    m_replyDone = false;
    sendSearch();
}

void TreeStationWidget::sendSearch()
{
    // The client keeps the page for its paging numbers only when asked through search(); the
    // request's id arrives with its start notice, which is sent before search() returns.
    m_lastStartedId = 0;
    m_requestId = m_api->search(m_queryText, m_pageIndex) ? m_lastStartedId : 0;
}

void TreeStationWidget::refresh()
{
    switch (m_mode) {
    case ModeFavorites:
        loadFavorites(true);
        break;
    case ModeHistory:
        loadHistory(true);
        break;
    case ModeQuery:
        queryStations(m_queryText, nullptr, false, true);
        break;
    default:
        break;
    }
}

void TreeStationWidget::refreshNowPlaying()
{
    if (m_playingIds.isEmpty()) {
        for (auto it = m_rows.cbegin(); it != m_rows.cend() && m_playingIds.size() < MaxPlayingNowIds; ++it) {
            const auto *item = dynamic_cast<TreeStation *>(payload(it.value()));
            if (item && !item->station.nowPlaying().IsEmpty())
                m_playingIds << it.key();
        }
    }
    if (!m_playingIds.isEmpty())
        m_playingApi->playingNow(m_playingIds);
}

void TreeStationWidget::slot_stationFound(const Station *station)
{
    if (!station || station->streams().isEmpty())
        return;
    if (m_favoritesFlag) {
        m_firstStreamText = station->streams().first()->url;
        m_favoritesFlag = false;
    }
    const QString id = station->id();
    if (rowOf(m_rows.value(id)) || m_queued.contains(id))
        return;
    m_queued.insert(id, true);
    m_queue.push_back({std::make_unique<Station>(*station), m_queryParent});
    if (!m_sliceTimer.isActive())
        m_sliceTimer.start();
}

void TreeStationWidget::insertSlice()
{
    QElapsedTimer clock;
    clock.start();
    const bool sorting = isSortingEnabled();
    setSortingEnabled(false);
    setUpdatesEnabled(false);
    QList<QTreeWidgetItem *> batch;
    int done = 0;
    while (!m_queue.empty() && done < SliceRows && clock.elapsed() < SliceMilliseconds) {
        Pending p = std::move(m_queue.front());
        m_queue.pop_front();
        m_queued.remove(p.station->id());
        QTreeWidgetItem *parent = p.parent ? rowOf(p.parent) : nullptr;
        // The parent row may have gone with a reload: its stations are no longer wanted.
        if (p.parent && !parent)
            continue;
        addStationRow(std::move(p.station), parent);
        ++done;
    }
    setUpdatesEnabled(true);
    if (!m_queue.empty()) {
        // Sorting is switched back on only once the whole reply is in: re-sorting per slice
        // would cost more than the slice itself.
        m_sliceTimer.start();
        return;
    }
    setSortingEnabled(sorting);
    if (m_replyDone)
        finishFill();
}

void TreeStationWidget::addStationRow(std::unique_ptr<Station> station, QTreeWidgetItem *parent)
{
    auto item = std::make_unique<TreeStation>();
    item->station = *station;
    const QString id = item->station.id();
    const quint64 key = adoptPayload(std::move(item));
    auto *p = static_cast<TreeStation *>(payload(key));
    m_rows.insert(id, key);
    auto *row = new TreeStationWidgetItem();
    const Station &s = p->station;
    row->setText(ColumnName, s.name());
    row->setToolTip(ColumnName, plainTip(s.name()));
    row->setText(ColumnGenres, s.genres());
    row->setToolTip(ColumnGenres, plainTip(s.genres()));
    row->setText(ColumnNetwork, s.network());
    row->setText(ColumnWebsite, s.website());
    row->setText(ColumnLocation, s.location());
    row->setToolTip(ColumnLocation, plainTip(s.location()));
    const int number = parent ? parent->childCount() + 1 : topLevelItemCount() + 1;
    row->setText(ColumnNumber, QString::number(number));
    row->setTextAlignment(ColumnNumber, Qt::AlignRight | Qt::AlignVCenter);
    if (!s.nowPlaying().IsEmpty()) {
        const QString playing = s.nowPlaying().DisplayText();
        row->setText(ColumnPlaying, playing);
        row->setToolTip(ColumnPlaying, plainTip(playing));
    }
    const StationStream *first = s.streams().isEmpty() ? nullptr : s.streams().first();
    row->setIcon(ColumnName, formatIcon(first ? first->format : BASS::FormatMP3));
    row->setData(0, Qt::UserRole, QVariant::fromValue<quint64>(key));
    row->setFlags(row->flags() | Qt::ItemIsDragEnabled);
    p->setRow(row);
    if (parent)
        parent->addChild(row);
    else
        addTopLevelItem(row);
}

void TreeStationWidget::updateMoreRow()
{
    if (m_mode != ModeQuery || m_moreRow != 0 || m_queryParent != 0)
        return;
    const int pageCount = m_api->pageCount();
    const int page = m_api->page();
    if (pageCount < 1 || page >= pageCount - 1)
        return;
    auto item = std::make_unique<TreeStation>();
    item->isMoreRow = true;
    item->extraText = QStringLiteral("%1 %2 (%3 %4)")
                          .arg(m_api->resultsOnPage())
                          .arg(tr("more") + tr("..."))
                          .arg(m_api->resultsTotal())
                          .arg(tr("total"));
    const QString extra = item->extraText;
    const quint64 key = adoptPayload(std::move(item));
    auto *row = new TreeStationWidgetItem();
    row->isMoreRow = true;
    row->setText(ColumnName, tr("More stations") + tr("..."));
    row->setToolTip(ColumnName, plainTip(extra));
    row->setData(0, Qt::UserRole, QVariant::fromValue<quint64>(key));
    row->setFlags(Qt::ItemIsEnabled);
    payload(key)->setRow(row);
    addTopLevelItem(row);
    m_moreRow = key;
}

void TreeStationWidget::finishFill()
{
    updateMoreRow();
    emit signal_filled(this);
}

void TreeStationWidget::slot_tnAPIStarted(int id)
{
    m_lastStartedId = id;
    BASS::BaseRadioXmlRequest *request = m_api->findRequest(id);
    if (request && request->type() == BASS::BaseRadioAPI::TypeFavorites)
        m_favoritesFlag = true;
    emit signal_apiStarted(this, request);
}

void TreeStationWidget::slot_tnAPIFinished(int id, bool error)
{
    if (m_favoriteRequests.contains(id)) {
        const auto [added, station] = m_favoriteRequests.take(id);
        if (error) {
            showStatus(m_api->lastError());
            return;
        }
        setStationFavorite(station, added);
        emit signal_FavoriteChanged(added, station);
        return;
    }
    // Replies of requests the list has moved on from fill nothing.
    if (id == 0 || id != m_requestId)
        return;
    m_requestId = 0;
    showStatus(QString());
    BASS::BaseRadioXmlRequest *request = m_api->findRequest(id);
    if (error) {
        m_queue.clear();
        m_queued.clear();
        m_replyDone = true;
        const QString text =
            request && !request->errorText().isEmpty() ? request->errorText() : m_api->lastError();
        if (!text.isEmpty())
            showStatus(text);
        emit signal_filled(this);
        return;
    }
    if (request && request->type() == BASS::BaseRadioAPI::TypeFavorites)
        m_favoritesFlag = false;
    m_replyDone = true;
    if (m_queue.empty())
        finishFill();
    emit signal_apiFinished(this, request);
}

void TreeStationWidget::slot_stationFoundPlayingNow(const Station *station)
{
    if (!station)
        return;
    QTreeWidgetItem *row = rowOfStation(station->id());
    TreeStation *item = stationItem(row);
    if (!item)
        return;
    item->station.nowPlaying() = station->nowPlaying();
    const QString text = station->nowPlaying().IsEmpty() ? QString() : station->nowPlaying().DisplayText();
    row->setText(ColumnPlaying, text);
    row->setToolTip(ColumnPlaying, plainTip(text));
}

// --- Station actions -----------------------------------------------------------------------------

void TreeStationWidget::setStationFavorite(const QString &stationId, bool favorite)
{
    QTreeWidgetItem *row = rowOfStation(stationId);
    TreeStation *item = stationItem(row);
    if (!item)
        return;
    item->hover = false;
    item->station.setFavorite(favorite);
    viewport()->update(visualItemRect(row));
}

void TreeStationWidget::UpdateValidTreeItems(const QString &stationId, int state)
{
    QTreeWidgetItem *row = rowOfStation(stationId);
    TreeStation *item = stationItem(row);
    if (!item)
        return;
    qDebug().noquote() << "TreeStationWidget::UpdateValidTreeItems status " << stationId << state;
    item->status = state;
    row->setFont(ColumnName, state == 1 ? m_boldFont : m_listFont);
}

void TreeStationWidget::sendFavorite(bool add)
{
    const Station *station = stationOf(contextRow());
    if (!station)
        return;
    const int id = add ? m_api->addFavorite(station->id()) : m_api->removeFavorite(station->id());
    if (id != 0)
        m_favoriteRequests.insert(id, {add, station->id()});
}

void TreeStationWidget::slot_addFavorite()
{
    sendFavorite(true);
}

void TreeStationWidget::slot_removeFavorite()
{
    sendFavorite(false);
}

void TreeStationWidget::slot_copyToClipboard()
{
    QTreeWidgetItem *row = contextRow() ? contextRow() : currentItem();
    const Station *station = stationOf(row);
    if (!station)
        return;
    QString text = station->name();
    const QString address = station->firstStreamUrl();
    if (!address.isEmpty())
        text += QLatin1Char('\n') + address;
    QApplication::clipboard()->setText(text);
}

void TreeStationWidget::startPlaying(QTreeWidgetItem *row, int streamIndex)
{
    if (row && row->childCount() > 0 && !stationOf(row))
        row = row->child(0);
    const Station *station = stationOf(row);
    if (!station)
        return;
    emit signal_playStation(this, *station, streamIndex);
}

void TreeStationWidget::slot_playStation()
{
    startPlaying(contextRow() ? contextRow() : currentItem(), -1);
}

void TreeStationWidget::slot_stopStation()
{
    emit signal_stopStation(this);
}

void TreeStationWidget::slot_stationActivated(QTreeWidgetItem *row, int)
{
    TreeStation *item = stationItem(row);
    if (!item)
        return;
    if (item->isMoreRow) {
        nextPage();
        return;
    }
    setContextRow(row);
    startPlaying(row, -1);
}

QTreeWidgetItem *TreeStationWidget::addBrowseRow(std::unique_ptr<QT_BASS::Object> object, const QString &name,
                                                 QTreeWidgetItem *parent)
{
    if (name.trimmed().isEmpty())
        return nullptr;
    auto item = std::make_unique<TreeBrowseItem>();
    item->object = std::move(object);
    const quint64 key = adoptPayload(std::move(item));
    auto *row = new TreeStationWidgetItem();
    row->setText(ColumnName, name);
    row->setToolTip(ColumnName, plainTip(name));
    row->setData(0, Qt::UserRole, QVariant::fromValue<quint64>(key));
    payload(key)->setRow(row);
    // A placeholder child gives the row its expand arrow until it is opened.
    new QTreeWidgetItem(row);
    if (parent)
        parent->addChild(row);
    else
        addTopLevelItem(row);
    setRootIsDecorated(true);
    return row;
}

QTreeWidgetItem *TreeStationWidget::addBrowseRow(const BASS::WorldRegion &region, QTreeWidgetItem *parent)
{
    return addBrowseRow(std::make_unique<BASS::WorldRegion>(region), region.name(), parent);
}

QTreeWidgetItem *TreeStationWidget::addBrowseRow(const BASS::Country &country, QTreeWidgetItem *parent)
{
    return addBrowseRow(std::make_unique<BASS::Country>(country), country.name(), parent);
}

QTreeWidgetItem *TreeStationWidget::addBrowseRow(const BASS::Genre &genre, QTreeWidgetItem *parent)
{
    return addBrowseRow(std::make_unique<BASS::Genre>(genre), genre.name(), parent);
}

void TreeStationWidget::slot_stationExpanded(QTreeWidgetItem *row)
{
    auto *item = dynamic_cast<TreeBrowseItem *>(itemTreeItem(row));
    if (!item || !item->object || item->loaded)
        return;
    if (m_api->busy()) {
        row->setExpanded(false);
        return;
    }
    // The children go with their payloads (the placeholder has none).
    std::function<void(QTreeWidgetItem *)> release = [&](QTreeWidgetItem *r) {
        for (int i = 0; i < r->childCount(); ++i)
            release(r->child(i));
        if (itemTreeItem(r))
            releasePayload(itemPayload(r));
    };
    for (QTreeWidgetItem *child : row->takeChildren()) {
        release(child);
        delete child;
    }
    if (auto *country = dynamic_cast<BASS::Country *>(item->object.get())) {
        queryStations(country->code(), row);
    } else if (auto *region = dynamic_cast<BASS::WorldRegion *>(item->object.get())) {
        for (const BASS::Country *c : region->countries())
            addBrowseRow(*c, row);
        item->loaded = true;
    } else if (auto *genre = dynamic_cast<BASS::Genre *>(item->object.get())) {
        if (genre->subgenres())
            for (const BASS::Genre *sub : *genre->subgenres())
                addBrowseRow(*sub, row);
        item->loaded = true;
        queryStations(genre->search(), row);
    }
}

QMenu *TreeStationWidget::createContextMenu(QTreeWidgetItem *row)
{
    setContextRow(row);
    const Station *station = stationOf(row);
    auto *menu = new QMenu(this);
    if (station && station->streams().size() > 1) {
        for (qsizetype i = 0; i < station->streams().size(); ++i) {
            const StationStream *s = station->streams()[i];
            QAction *a =
                menu->addAction(formatIcon(s->format), s->formatText() + QLatin1Char(' ') + s->bitrateText());
            a->setData(int(i));
        }
        menu->addSeparator();
        connect(menu, &QMenu::triggered, this, &TreeStationWidget::slot_contextMenuTriggered);
    }
    m_addFavoriteAction->setEnabled(station && !station->favorite());
    m_removeFavoriteAction->setEnabled(station && station->favorite());
    m_copyAction->setEnabled(station != nullptr);
    m_playAction->setEnabled(station != nullptr);
    menu->addActions(stationActions());
    return menu;
}

void TreeStationWidget::slot_ContextMenu(QPoint pos)
{
    QTreeWidgetItem *row = itemAt(pos);
    if (!stationOf(row))
        return;
    QMenu *menu = createContextMenu(row);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(viewport()->mapToGlobal(pos));
}

void TreeStationWidget::slot_contextMenuTriggered(QAction *action)
{
    if (!action || stationActions().contains(action) || !action->data().isValid())
        return;
    const Station *station = stationOf(contextRow());
    const int index = action->data().toInt();
    if (station && index >= 0 && index < station->streams().size())
        startPlaying(contextRow(), index);
}

QStringList TreeStationWidget::mimeTypes() const
{
    return {QLatin1String(StationIdFormat)};
}

QMimeData *TreeStationWidget::stationMimeData() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    const Station *station = selected.isEmpty() ? nullptr : stationOf(selected.first());
    if (!station || station->favorite())
        return nullptr;
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << station->id();
    auto *data = new QMimeData;
    data->setData(QLatin1String(StationIdFormat), bytes);
    return data;
}

QMimeData *TreeStationWidget::mimeData(const QList<QTreeWidgetItem *> &) const
{
    return stationMimeData();
}

// --- Mouse and painting --------------------------------------------------------------------------

void TreeStationWidget::mousePressEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    QTreeWidgetItem *row = event->button() == Qt::LeftButton ? itemAt(pos) : nullptr;
    TreeStation *item = stationItem(row);
    if (item) {
        if (item->isMoreRow) {
            nextPage();
            return;
        }
        const int column = columnAt(pos.x());
        if (column == ColumnStar) {
            setContextRow(row);
            if (item->station.favorite())
                slot_removeFavorite();
            else
                slot_addFavorite();
            return;
        }
        if (column == ColumnWebsite && !item->station.website().isEmpty()) {
            const QUrl url(QStringLiteral("http://") + item->station.website());
            if (url.isValid() && !url.host().isEmpty()) {
                showStatus(tr("Starting browser") + tr("..."));
                emit signal_openWebsite(url);
            }
        }
    }
    QTreeWidgetEx::mousePressEvent(event);
}

void TreeStationWidget::clearHint()
{
    if (TreeStation *old = dynamic_cast<TreeStation *>(payload(m_hoverRow))) {
        old->hover = false;
        if (old->row())
            viewport()->update(visualItemRect(old->row()));
    }
}

void TreeStationWidget::mouseMoveEvent(QMouseEvent *event)
{
    QTreeWidgetEx::mouseMoveEvent(event);
    const QPoint pos = event->position().toPoint();
    QTreeWidgetItem *row = itemAt(pos);
    TreeStation *item = stationItem(row);
    if (!item) {
        clearHint();
        m_hoverRow = 0;
        m_hoverColumn = -1;
        viewport()->unsetCursor();
        return;
    }
    const quint64 key = itemPayload(row);
    const int column = columnAt(pos.x());
    if (key == m_hoverRow && column == m_hoverColumn)
        return;
    if (key != m_hoverRow)
        clearHint();
    viewport()->unsetCursor();
    item->hover = column == ColumnStar && !item->isMoreRow;
    if (column == ColumnStar || item->isMoreRow ||
        (column == ColumnWebsite && !item->station.website().isEmpty()))
        viewport()->setCursor(Qt::PointingHandCursor);
    m_hoverRow = key;
    m_hoverColumn = column;
    viewport()->update(visualItemRect(row));
}

void TreeStationWidget::leaveEvent(QEvent *event)
{
    clearHint();
    m_hoverRow = 0;
    m_hoverColumn = -1;
    viewport()->unsetCursor();
    QTreeWidgetEx::leaveEvent(event);
}

void TreeStationWidget::drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const
{
    QTreeWidgetEx::drawRow(painter, option, index);
    const QTreeWidgetItem *row = itemFromIndex(index);
    const TreeStation *item = stationItem(row);
    if (!item)
        return;
    const int scroll = horizontalScrollBar()->value();
    const QRect r = option.rect;
    if (item->isMoreRow) {
        painter->save();
        painter->setFont(m_listFont);
        painter->setPen(QColor(Qt::blue));
        const int x = r.left() + 4 - scroll + columnViewportPosition(ColumnName) + columnWidth(ColumnName);
        painter->drawText(QRect(x, r.top(), r.right() - x, r.height()), Qt::AlignVCenter | Qt::TextSingleLine,
                          item->extraText);
        painter->restore();
        return;
    }
    if (isColumnHidden(ColumnStar))
        return;
    const int x = columnViewportPosition(ColumnStar) + 2;
    const int y = r.top() + (r.height() - 12) / 2;
    if (item->station.favorite())
        painter->drawPixmap(x, y, m_starActive);
    if (item->hover)
        painter->drawPixmap(x, y, m_star);
}
