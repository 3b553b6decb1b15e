#include "treeradiowidget.h"

#include "tunoraapi.h"

#include <QAction>
#include <QDataStream>
#include <QDebug>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

using BASS::Country;
using BASS::Genre;
using BASS::WorldRegion;

namespace {

int s_liveItems = 0;

const char *const IconFamilies[] = {nullptr,   "favorites", "wishlist", "locate", "explore",
                                    "history", "search",    "settings", "browser"};

QIcon resourceIcon(const char *family, const char *ending)
{
    return QIcon(
        QStringLiteral(":/TunoraDE/Resources/%1%2.png").arg(QLatin1String(family), QLatin1String(ending)));
}

} // namespace

const char *const StationIdMime = "mime/station_id";

TreeRadioWidget::TreeRadioItem::TreeRadioItem()
{
    qDebug().noquote() << "TreeRadioItem() " << ++s_liveItems;
}

TreeRadioWidget::TreeRadioItem::~TreeRadioItem()
{
    qDebug().noquote() << "~TreeRadioItem() " << --s_liveItems;
}

int TreeRadioWidget::TreeRadioItem::liveCount()
{
    return s_liveItems;
}

TreeRadioWidget::TreeRadioWidget(QWidget *parent)
    : QTreeWidgetEx(parent)
    , m_api(new TunoraAPI(this))
    , m_refreshAction(new QAction(tr("&Refresh"), this))
    , m_singleClickAction(new QAction(tr("&Single click collapses navigation menu"), this))
{
    setHeaderMenuEnabled(false);
    createFonts();
    for (int id = 1; id <= Browser; ++id) {
        m_icons[id][Normal] = resourceIcon(IconFamilies[id], "");
        m_icons[id][MouseOver] = resourceIcon(IconFamilies[id], "_mouseover");
        m_icons[id][Active] = resourceIcon(IconFamilies[id], "_active");
    }
    setHeaderLabels({QString()});
    m_refreshAction->setStatusTip(tr("Refresh the current contents"));
    connect(m_refreshAction, &QAction::triggered, this, &TreeRadioWidget::slot_refreshAction);
    m_singleClickAction->setCheckable(true);
    m_singleClickAction->setChecked(true);

    setIconSize(QSize(20, 20));
    setIndentation(2);
    setAnimated(true);
    setExpandsOnDoubleClick(true);
    setMouseTracking(true);
    setAutoScroll(true);
    setSortingEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDefaultDropAction(Qt::CopyAction);
    setAccessibleName(tr("Navigation menu"));
    setStyleSheet(QStringLiteral("QTreeView { background: #E6E6E6; }") + headerStyleSheet());

    connect(m_api, &BASS::BaseRadioAPI::signal_requestStarted, this, &TreeRadioWidget::slot_tnAPIStarted);
    connect(m_api, &BASS::BaseRadioAPI::signal_requestFinished, this, &TreeRadioWidget::slot_tnAPIFinished);
    connect(m_api, &BASS::BaseRadioAPI::signal_genreFound, this, &TreeRadioWidget::slot_genreFound);
    connect(m_api, &BASS::BaseRadioAPI::signal_regionFound, this, &TreeRadioWidget::slot_regionFound);
    connect(this, &QTreeWidget::itemExpanded, this, &TreeRadioWidget::slot_radioExpanded);
    connect(this, &QTreeWidget::itemDoubleClicked, this, &TreeRadioWidget::slot_radioDoubleClicked);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &TreeRadioWidget::slot_radioSelectionChanged);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &TreeRadioWidget::slot_ContextMenu);

    createSections();
}

TreeRadioWidget::~TreeRadioWidget()
{
    disconnect(this, nullptr, this, nullptr);
    qDeleteAll(m_parked);
    m_parked.clear();
    QTreeWidget::clear();
    releaseAllPayloads();
}

void TreeRadioWidget::createFonts()
{
    const QFont base = font();
    m_sectionFont = base;
    m_sectionFont.setBold(true);
    m_sectionFont.setWeight(QFont::Weight(400));
    m_sectionFont.setBold(true);
    if (base.pointSize() > 0)
        m_sectionFont.setPointSize(base.pointSize() + 1);
    m_childFont = base;
    m_childFont.setPixelSize(10);
    m_childBoldFont = m_childFont;
    m_childBoldFont.setBold(true);
    m_headerFont = base;
    m_headerFont.setPointSize(10);
    header()->setFont(m_headerFont);
    qDebug().noquote() << "TreeRadioWidget::createFonts() " << base.family() << base.pointSize();
}

QTreeWidgetItem *TreeRadioWidget::addMenuRow(QTreeWidgetItem *parent, const QString &text, int id, int kind,
                                             int level, QT_BASS::Object *object, const QIcon &icon)
{
    auto item = std::make_unique<TreeRadioItem>();
    item->setId(quint64(id));
    item->kind = kind;
    item->level = level;
    item->object = object;
    const quint64 key = adoptPayload(std::move(item));
    QTreeWidgetItem *row = addRow(parent, 0, text, key);
    if (!icon.isNull())
        row->setIcon(0, icon);
    row->setToolTip(0, text);
    return row;
}

void TreeRadioWidget::createSections()
{
    const QString titles[] = {QString(),    tr("FAVORITES"), tr("WISH LIST"),      tr("REGIONS"),
                              tr("GENRES"), tr("HISTORY"),   tr("SEARCH RESULTS"), tr("SETTINGS")};
    for (int id = Favorites; id <= Settings; ++id) {
        const int kind = (id == Regions || id == Genres) ? KindExpandable : KindLeaf;
        QTreeWidgetItem *row = addMenuRow(nullptr, titles[id], id, kind, 0, nullptr, m_icons[id][Normal]);
        radioItem(row)->isHeader = true;
        row->setSizeHint(0, QSize(iconSize().width(), 24));
        row->setFlags(row->flags() | Qt::ItemIsDropEnabled);
        m_sections[id] = keyOf(row);
    }
}

TreeRadioWidget::TreeRadioItem *TreeRadioWidget::radioItem(const QTreeWidgetItem *row) const
{
    return dynamic_cast<TreeRadioItem *>(itemTreeItem(row));
}

QT_BASS::Object *TreeRadioWidget::itemObject(const QTreeWidgetItem *row) const
{
    TreeRadioItem *item = radioItem(row);
    return item ? item->object : nullptr;
}

QTreeWidgetItem *TreeRadioWidget::sectionRow(int id) const
{
    return id >= 1 && id <= Settings ? rowOf(m_sections[id]) : nullptr;
}

QList<QTreeWidgetItem *> TreeRadioWidget::pathRows() const
{
    QList<QTreeWidgetItem *> rows;
    for (quint64 key : m_path)
        if (QTreeWidgetItem *row = rowOf(key))
            rows << row;
    return rows;
}

void TreeRadioWidget::clearTree()
{
    // Every row below the sections and every cached record goes; the sections stay.
    m_pendingSelect = m_pendingExpand = m_pressedWhileCurrent = m_hover = 0;
    for (int id = Favorites; id <= Settings; ++id)
        if (QTreeWidgetItem *section = sectionRow(id))
            parkChildren(section);
    flushParked();
    m_path.clear();
    m_countryParent.clear();
    m_countryRegion.clear();
    m_regions.clear();
    m_genres.clear();
    m_lastGenre = m_lastDrilledCountry = m_lastCountry = 0;
}

void TreeRadioWidget::parkChildren(QTreeWidgetItem *parent)
{
    const QList<QTreeWidgetItem *> children = parent->takeChildren();
    if (children.isEmpty())
        return;
    const bool first = m_parked.isEmpty();
    m_parked << children;
    // Handlers further up the stack may still hold these rows; they go at the next turn.
    if (first)
        QTimer::singleShot(0, this, &TreeRadioWidget::flushParked);
}

void TreeRadioWidget::flushParked()
{
    const QList<QTreeWidgetItem *> rows = std::exchange(m_parked, {});
    std::function<void(QTreeWidgetItem *)> release = [&](QTreeWidgetItem *row) {
        for (int i = 0; i < row->childCount(); ++i)
            release(row->child(i));
        if (radioItem(row))
            releasePayload(keyOf(row));
    };
    for (QTreeWidgetItem *row : rows) {
        release(row);
        delete row;
    }
}

void TreeRadioWidget::selectSection(int id)
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = topLevelItem(i);
        TreeRadioItem *item = radioItem(row);
        if (item && item->id() == quint64(id)) {
            setCurrentItem(row);
            row->setSelected(true);
            return;
        }
    }
}

void TreeRadioWidget::clearMenuSelection()
{
    {
        const QSignalBlocker blocker(this);
        setCurrentItem(nullptr);
        clearSelection();
    }
    m_current = 0;
    m_mode = 0;
    for (int id = Favorites; id <= Settings; ++id)
        setSectionIcon(id, Normal);
    viewport()->update();
}

const Genre *TreeRadioWidget::currentGenre() const
{
    return dynamic_cast<const Genre *>(itemObject(rowOf(m_lastGenre)));
}

const Country *TreeRadioWidget::currentCountry() const
{
    return dynamic_cast<const Country *>(itemObject(rowOf(m_lastCountry)));
}

void TreeRadioWidget::setSectionIcon(int id, IconState state)
{
    if (QTreeWidgetItem *row = sectionRow(id))
        row->setIcon(0, m_icons[id][state]);
}

QTreeWidgetItem *TreeRadioWidget::sectionOf(QTreeWidgetItem *row) const
{
    while (row && row->parent())
        row = row->parent();
    return row;
}

// --- Loading -------------------------------------------------------------------------------------

void TreeRadioWidget::loadRegions()
{
    QTreeWidgetItem *section = sectionRow(Regions);
    if (!section)
        return;
    if (!m_regions.empty()) {
        fillRegionsFromCache();
        return;
    }
    if (m_api->busy())
        return;
    parkChildren(section);
    showStatus(tr("Getting Countries") + tr("..."));
    m_regionRequest = m_api->requestRegions();
}

void TreeRadioWidget::loadGenres()
{
    QTreeWidgetItem *section = sectionRow(Genres);
    if (!section)
        return;
    if (!m_genres.empty()) {
        fillGenresFromCache();
        return;
    }
    if (m_api->busy())
        return;
    parkChildren(section);
    showStatus(tr("Getting Genres") + tr("..."));
    m_genreRequest = m_api->requestGenres();
}

void TreeRadioWidget::fillRegionsFromCache()
{
    QTreeWidgetItem *section = sectionRow(Regions);
    parkChildren(section);
    m_path.clear();
    for (const auto &region : m_regions)
        addMenuRow(section, region->name(), Regions, KindExpandable, 0, region.get());
    section->sortChildren(0, Qt::AscendingOrder);
    section->setExpanded(true);
}

void TreeRadioWidget::fillGenresFromCache()
{
    QTreeWidgetItem *section = sectionRow(Genres);
    parkChildren(section);
    m_path.clear();
    for (const auto &genre : m_genres)
        addMenuRow(section, genre->name(), Genres, KindExpandable, 0, genre.get());
    section->sortChildren(0, Qt::AscendingOrder);
    section->setExpanded(true);
}

void TreeRadioWidget::slot_regionFound(const WorldRegion *region)
{
    if (!region || region->name().trimmed().isEmpty())
        return;
    auto copy = std::make_unique<WorldRegion>(*region);
    for (Country *country : copy->countries()) {
        m_countryRegion.insert(country, copy.get());
        for (Country *sub : country->subsections())
            m_countryParent.insert(sub, country);
    }
    if (QTreeWidgetItem *section = sectionRow(Regions))
        addMenuRow(section, copy->name(), Regions, KindExpandable, 0, copy.get());
    m_regions.push_back(std::move(copy));
}

void TreeRadioWidget::slot_genreFound(const Genre *genre)
{
    if (!genre || genre->name().trimmed().isEmpty())
        return;
    auto copy = std::make_unique<Genre>(*genre);
    if (QTreeWidgetItem *section = sectionRow(Genres))
        addMenuRow(section, copy->name(), Genres, KindExpandable, 0, copy.get());
    m_genres.push_back(std::move(copy));
}

void TreeRadioWidget::slot_tnAPIFinished(int id, bool error)
{
    if (m_favoriteRequests.contains(id)) {
        const QString station = m_favoriteRequests.take(id);
        if (!error)
            emit signal_FavoriteChanged(true, station);
        else
            showStatus(m_api->lastError());
        return;
    }
    showStatus(QString());
    if (QTreeWidgetItem *row = rowOf(m_current))
        row->setExpanded(true);
    if (error) {
        if (BASS::BaseRadioXmlRequest *request = m_api->findRequest(id);
            request && !request->errorText().isEmpty())
            showStatus(request->errorText());
        else if (!m_api->lastError().isEmpty())
            showStatus(m_api->lastError());
    }
    if (id != 0 && id == m_genreRequest) {
        if (QTreeWidgetItem *section = sectionRow(Genres))
            section->sortChildren(0, Qt::AscendingOrder);
        m_genreRequest = 0;
    } else if (id != 0 && id == m_regionRequest) {
        if (QTreeWidgetItem *section = sectionRow(Regions))
            section->sortChildren(0, Qt::AscendingOrder);
        m_regionRequest = 0;
    }
}

// --- Clicks --------------------------------------------------------------------------------------

void TreeRadioWidget::schedule(int ms)
{
    QTimer::singleShot(ms, this, &TreeRadioWidget::slot_toggleExpand);
}

void TreeRadioWidget::mousePressEvent(QMouseEvent *event)
{
    QTreeWidgetItem *row = event->button() == Qt::LeftButton ? itemAt(event->position().toPoint()) : nullptr;
    TreeRadioItem *item = radioItem(row);
    if (!item) {
        QTreeWidgetEx::mousePressEvent(event);
        return;
    }
    const quint64 key = keyOf(row);
    const bool wasCurrent = key == m_current;
    m_pressedWhileCurrent = wasCurrent ? key : 0;
    if (key == m_sections[Favorites] && wasCurrent) {
        m_pendingSelect = key;
        schedule(ClickDelay);
    } else if (row->childCount() > 0 || item->kind == KindExpandable) {
        if (!wasCurrent) {
            if (m_singleClickAction->isChecked()) {
                m_pendingExpand = key;
                schedule(ClickDelay);
            }
        } else {
            QTreeWidgetEx::mousePressEvent(event);
            slot_radioSelectionChanged();
            return;
        }
    }
    QTreeWidgetEx::mousePressEvent(event);
}

void TreeRadioWidget::slot_toggleExpand()
{
    const quint64 select = std::exchange(m_pendingSelect, 0);
    const quint64 expand = std::exchange(m_pendingExpand, 0);
    // Either row may have gone in the meantime (a reload, a drill-down): then nothing happens.
    if (QTreeWidgetItem *row = rowOf(select)) {
        {
            const QSignalBlocker blocker(this);
            setCurrentItem(row);
            row->setSelected(true);
        }
        slot_radioSelectionChanged();
    }
    if (QTreeWidgetItem *row = rowOf(expand))
        row->setExpanded(true);
}

void TreeRadioWidget::slot_radioExpanded(QTreeWidgetItem *row)
{
    if (!row || row->parent())
        return;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i) != row)
            topLevelItem(i)->setExpanded(false);
}

void TreeRadioWidget::slot_refreshAction()
{
    if (TreeRadioItem *item = radioItem(contextRow()))
        emit signal_SelectionChanged(int(item->id()), QString(), true);
}

// --- Selection -----------------------------------------------------------------------------------

void TreeRadioWidget::slot_radioSelectionChanged()
{
    if (m_suppressed) {
        const QSignalBlocker blocker(this);
        if (QTreeWidgetItem *previous = rowOf(m_current))
            setCurrentItem(previous);
        return;
    }
    const QList<QTreeWidgetItem *> selected = selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem *row = selected.first();
    TreeRadioItem *item = radioItem(row);
    if (!item)
        return;
    TreeRadioItem *old = radioItem(rowOf(m_current));
    m_previous = m_current;
    m_current = keyOf(row);
    m_lastGenre = 0;
    m_lastDrilledCountry = 0;
    QTreeWidgetItem *section = sectionOf(row);
    for (int id = Favorites; id <= Settings; ++id)
        if (sectionRow(id) != section)
            setSectionIcon(id, Normal);
    if (old && old != item && old->object && item->object && old->level != 0 && old->level == item->level)
        old->onPath = false;
    if ((item->kind == KindLeaf || item->kind == KindExpandable) && item->object && row->parent()) {
        for (int i = 0; i < row->parent()->childCount(); ++i)
            if (TreeRadioItem *sibling = radioItem(row->parent()->child(i)))
                sibling->onPath = false;
        item->onPath = true;
    }
    if (item->isHeader)
        setSectionIcon(int(item->id()), Active);

    const int id = int(item->id());
    const QString none;
    if (item->kind == KindLeaf) {
        if (auto *country = dynamic_cast<Country *>(item->object)) {
            setSectionIcon(Regions, Active);
            m_mode = Regions;
            const bool refresh = m_lastCountry != m_current;
            m_lastCountry = m_current;
            emit signal_SelectionChanged(Regions, country->code(), refresh);
        } else if (auto *genre = dynamic_cast<Genre *>(item->object)) {
            setSectionIcon(Genres, Active);
            m_mode = Genres;
            m_lastGenre = m_current;
            emit signal_SelectionChanged(Genres, genre->search(), true);
        } else if (id == Favorites) {
            m_mode = Favorites;
            m_lastFavorites = m_current;
            emit signal_SelectionChanged(Favorites, none, m_current == m_previous);
        } else if (id == WishList || id == History || id == SearchResults || id == Settings) {
            m_mode = id;
            if (id == History)
                m_lastHistory = m_current;
            emit signal_SelectionChanged(id, none, false);
        }
        viewport()->update();
        return;
    }
    if (item->kind != KindExpandable && item->kind != KindPath && item->kind != KindReserved) {
        viewport()->update();
        return;
    }
    if (!item->object && (id == Regions || id == Genres) && item->isHeader) {
        const bool pressedCurrent = m_pressedWhileCurrent == m_current;
        m_pressedWhileCurrent = 0;
        if (!pressedCurrent && m_mode != id && row->childCount() > 0) {
            if (item->kind != KindReserved) {
                m_mode = id;
                emit signal_SelectionChanged(id, none, true);
            }
        } else {
            if (id == Regions)
                loadRegions();
            else
                loadGenres();
            m_pendingExpand = m_current;
            schedule(100);
        }
    } else if (auto *region = dynamic_cast<WorldRegion *>(item->object)) {
        drillRegion(row, region);
    } else if (auto *country = dynamic_cast<Country *>(item->object)) {
        drillCountry(row, item, country);
    } else if (auto *genre = dynamic_cast<Genre *>(item->object)) {
        drillGenre(row, item, genre);
    }
    viewport()->update();
}

void TreeRadioWidget::drillRegion(QTreeWidgetItem *row, WorldRegion *region)
{
    QTreeWidgetItem *section = sectionRow(Regions);
    if (!section)
        return;
    Q_UNUSED(row);
    parkChildren(section);
    for (Country *country : region->countries()) {
        if (country->name().trimmed().isEmpty())
            continue;
        const int kind = country->subsections().isEmpty() ? KindLeaf : KindExpandable;
        addMenuRow(section, country->name(), Regions, kind, 2, country);
    }
    section->setExpanded(true);
    section->sortChildren(0, Qt::AscendingOrder);
    insertPath(section, region);
    setSectionIcon(Regions, Active);
    m_mode = Regions;
    if (region->countries().isEmpty()) {
        const QSignalBlocker blocker(this);
        setCurrentItem(section);
        m_current = m_sections[Regions];
    }
}

void TreeRadioWidget::drillCountry(QTreeWidgetItem *row, TreeRadioItem *item, Country *country)
{
    QTreeWidgetItem *section = sectionOf(row);
    if (!section)
        return;
    const int kind = item->kind;
    parkChildren(section);
    for (Country *sub : country->subsections())
        if (!sub->name().trimmed().isEmpty())
            addMenuRow(section, sub->name(), Regions, KindLeaf, 2, sub);
    section->setExpanded(true);
    section->sortChildren(0, Qt::AscendingOrder);
    insertPath(section, country);
    // The path row that stands for the chosen country is the drilled-country row from now on.
    const bool refresh = true;
    m_lastDrilledCountry = m_path.isEmpty() ? 0 : m_path.last();
    setSectionIcon(Regions, Active);
    if (kind == KindExpandable) {
        m_mode = Regions;
        m_lastCountry = m_lastDrilledCountry;
        emit signal_SelectionChanged(Regions, country->code(), refresh);
    }
}

void TreeRadioWidget::drillGenre(QTreeWidgetItem *row, TreeRadioItem *item, Genre *genre)
{
    QTreeWidgetItem *section = sectionOf(row);
    if (!section)
        return;
    const int kind = item->kind;
    quint64 genreRow = m_current;
    if (genre->subgenres() && !genre->subgenres()->isEmpty()) {
        parkChildren(section);
        for (Genre *sub : *genre->subgenres()) {
            qDebug().noquote() << "Adding Sub Genre: " << sub->name();
            addMenuRow(section, sub->name(), Genres, KindExpandable, 1, sub);
        }
        section->setExpanded(true);
        section->sortChildren(0, Qt::AscendingOrder);
        insertPath(section, genre);
        genreRow = m_path.isEmpty() ? 0 : m_path.last();
    }
    m_lastGenre = genreRow;
    setSectionIcon(Genres, Active);
    if (kind == KindExpandable || kind == KindPath) {
        m_mode = Genres;
        emit signal_SelectionChanged(Genres, genre->search(), true);
    }
}

void TreeRadioWidget::insertPath(QTreeWidgetItem *section, QT_BASS::Object *object)
{
    struct PathRow
    {
        QString text;
        int id;
        int kind;
        QT_BASS::Object *object;
        bool onPath;
    };
    QList<PathRow> built;
    if (auto *region = dynamic_cast<WorldRegion *>(object)) {
        built.append({region->name(), Regions, KindRegionPathRoot, nullptr, false});
    } else if (auto *country = dynamic_cast<Country *>(object)) {
        Country *top = country;
        for (Country *c = country; c; c = m_countryParent.value(c)) {
            built.append({c->name(), Regions, c->subsections().isEmpty() ? KindPath : KindLeaf, c, true});
            top = c;
        }
        if (WorldRegion *region = m_countryRegion.value(top))
            built.append({region->name(), 0, KindPath, region, false});
    } else if (auto *genre = dynamic_cast<Genre *>(object)) {
        for (Genre *g = genre; g; g = g->parent())
            built.append({g->name(), Genres, KindPath, g, true});
    }
    m_path.clear();
    QTreeWidgetItem *last = nullptr;
    // Root first: the rows go in at the top in the reverse order of building.
    for (qsizetype i = built.size() - 1; i >= 0; --i) {
        const PathRow &p = built[i];
        QTreeWidgetItem *row = addMenuRow(nullptr, p.text, p.id, p.kind, 0, p.object);
        takeTopLevelItem(indexOfTopLevelItem(row));
        section->insertChild(int(built.size() - 1 - i), row);
        m_path.append(keyOf(row));
        last = row;
    }
    if (TreeRadioItem *item = radioItem(last))
        item->isHeader = false;
    if (QTreeWidgetItem *root = rowOf(m_path.isEmpty() ? 0 : m_path.first())) {
        const QSignalBlocker blocker(this);
        setCurrentItem(root);
        radioItem(root)->onPath = true;
        m_current = keyOf(root);
    }
}

// --- Hover, drop, painting -----------------------------------------------------------------------

void TreeRadioWidget::mouseMoveEvent(QMouseEvent *event)
{
    QTreeWidgetEx::mouseMoveEvent(event);
    QTreeWidgetItem *row = itemAt(event->position().toPoint());
    TreeRadioItem *item = radioItem(row);
    if (!item || keyOf(row) == m_hover)
        return;
    QTreeWidgetItem *current = rowOf(m_current);
    auto apply = [&](QTreeWidgetItem *r, IconState state) {
        TreeRadioItem *it = radioItem(r);
        if (!it || !it->isHeader || r == current || (current && sectionOf(current) == r))
            return;
        setSectionIcon(int(it->id()), state);
    };
    apply(rowOf(m_hover), Normal);
    m_hover = keyOf(row);
    apply(row, MouseOver);
}

void TreeRadioWidget::leaveEvent(QEvent *event)
{
    qDebug() << "TreeRadioWidget::leaveEvent";
    QTreeWidgetItem *row = rowOf(m_hover);
    QTreeWidgetItem *current = rowOf(m_current);
    if (TreeRadioItem *item = radioItem(row);
        item && item->isHeader && row != current && !(current && sectionOf(current) == row))
        setSectionIcon(int(item->id()), Normal);
    m_hover = 0;
    QTreeWidgetEx::leaveEvent(event);
}

void TreeRadioWidget::dragEnterEvent(QDragEnterEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TreeRadioWidget::dragMoveEvent(QDragMoveEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TreeRadioWidget::dropEvent(QDropEvent *event)
{
    QTreeWidgetItem *row = itemAt(event->position().toPoint());
    const QString format = QLatin1String(StationIdMime);
    if (!row || keyOf(row) != m_sections[Favorites] || !event->mimeData()->hasFormat(format)) {
        event->ignore();
        return;
    }
    QByteArray bytes = event->mimeData()->data(format);
    QDataStream stream(&bytes, QIODevice::ReadOnly);
    int taken = 0;
    while (!stream.atEnd() && taken < 100) {
        QString id;
        stream >> id;
        if (stream.status() != QDataStream::Ok)
            break;
        ++taken;
        if (id.isEmpty())
            continue;
        if (const int request = m_api->addFavorite(id))
            m_favoriteRequests.insert(request, id);
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

bool TreeRadioWidget::isHighlighted(const QTreeWidgetItem *row, const TreeRadioItem *item) const
{
    if (m_mode != Regions && m_mode != Genres)
        return false;
    if (item->kind == KindPath && !item->onPath)
        return false;
    return (m_lastDrilledCountry && keyOf(row) == m_lastDrilledCountry) ||
           (item->onPath && item->kind != KindRegionPathRoot);
}

int TreeRadioWidget::textIndent(const TreeRadioItem *item) const
{
    int indent = 0;
    if (auto *genre = dynamic_cast<const Genre *>(item->object)) {
        for (const Genre *g = genre->parent(); g; g = g->parent())
            indent += 6;
    } else if (auto *country = dynamic_cast<const Country *>(item->object)) {
        indent += 6;
        if (country->isSubsection())
            indent += 6;
    }
    return indent;
}

void TreeRadioWidget::drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    const QTreeWidgetItem *row = itemFromIndex(index);
    const TreeRadioItem *item = radioItem(row);
    if (!row || !item) {
        QTreeWidgetEx::drawRow(painter, option, index);
        return;
    }
    painter->save();
    const QRect r = option.rect;
    const bool top = row->parent() == nullptr;
    QFont font = m_childFont;
    QColor pen(0, 0, 0);
    if (top) {
        painter->fillRect(r, row->isExpanded() ? QBrush(QColor(0xF5, 0xF5, 0xF5)) : m_brush);
        font = m_sectionFont;
    } else {
        painter->fillRect(r, m_brush);
        if (isHighlighted(row, item)) {
            painter->fillRect(r, hasFocus() ? QColor(0x5D, 0xBB, 0xD7) : QColor(0x99, 0xD4, 0xE6));
            font = m_childBoldFont;
            pen = QColor(0x33, 0x33, 0x33);
        } else {
            painter->fillRect(r, QColor(0xF5, 0xF5, 0xF5));
        }
    }
    const QIcon icon = row->icon(0);
    int x = r.left() + indentation() + 2;
    if (!icon.isNull()) {
        icon.paint(painter, QRect(x, r.top() + (r.height() - 20) / 2, 20, 20));
        x += iconSize().width() + 4;
    } else {
        x += 4;
    }
    x += textIndent(item);
    painter->setFont(font);
    painter->setPen(pen);
    const QRect textRect(x, r.top(), r.right() - x, r.height());
    painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                      QFontMetrics(font).elidedText(row->text(0), Qt::ElideRight, textRect.width()));
    if (top && row->isExpanded() && row->childCount() > 0) {
        painter->setPen(QColor(Qt::gray));
        painter->drawLine(0, r.top(), r.width() + 4, r.top());
    }
    painter->restore();
}
