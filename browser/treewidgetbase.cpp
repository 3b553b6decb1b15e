#include "treewidgetbase.h"

#include "appsettings.h"

#include <QAction>
#include <QApplication>
#include <QCollator>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>

bool TreeStationWidgetItem::operator<(const QTreeWidgetItem &other) const
{
    if (isMoreRow)
        return false;
    const auto *o = dynamic_cast<const TreeStationWidgetItem *>(&other);
    if (o && o->isMoreRow)
        return true;
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    if (column == 1)
        return text(1).toLongLong() < other.text(1).toLongLong();
    static const QCollator collator;
    return collator.compare(text(column), other.text(column)) < 0;
}

// --- HeaderViewEx --------------------------------------------------------------------------------

HeaderViewEx::HeaderViewEx(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent)
    , m_button(new NavigateLabel(this))
{
    m_button->setPixmap(QPixmap(QStringLiteral(":/TunoraDE/Resources/menusymbol.png")));
    m_button->setAlignment(Qt::AlignCenter);
    m_button->setLinkCursor(true);
    m_button->setAccessibleName(tr("Columns"));
    m_button->setToolTip(tr("Choose the columns to show"));
    m_button->setStyleSheet(
        QStringLiteral("QLabel { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #616161, "
                       "stop:0.5 #505050, stop:0.6 #434343, stop:1 #656565); color: White; "
                       "padding-left: 4px;border: 1px solid #6c6c6c; }"));
    m_button->setGeometry(-2, 0, 18, height());
    connect(m_button, &NavigateLabel::signal_mouseButtonLeft, this, [this](QWidget *, QPoint globalPos) {
        emit signal_mouseButtonLeft(this, mapFromGlobal(globalPos));
    });
}

void HeaderViewEx::resizeEvent(QResizeEvent *event)
{
    QHeaderView::resizeEvent(event);
    if (m_resizedOnce)
        m_button->setGeometry(-2, 0, 18, height());
    m_resizedOnce = true;
}

void HeaderViewEx::mousePressEvent(QMouseEvent *event)
{
    // The star column is neither sorted nor dragged.
    if (event->button() == Qt::LeftButton && logicalIndexAt(event->position().toPoint()) == 0)
        return;
    QHeaderView::mousePressEvent(event);
}

// --- TreeWidgetBase ------------------------------------------------------------------------------

QString TreeWidgetBase::headerStyleSheet()
{
    return QStringLiteral("QHeaderView::section { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
                          "stop:0 #616161, stop:0.5 #505050, stop:0.6 #434343, stop:1 #656565); "
                          "color: White;padding-left: 4px;border: 1px solid #6c6c6c; }");
}

TreeWidgetBase::TreeWidgetBase(QWidget *parent)
    : QTreeWidget(parent)
{
    setHeaderMenuEnabled(true);
    setStyleSheet(headerStyleSheet() + QStringLiteral("QTreeWidget { background-color: #F5F5F5; }"));
    connect(header(), &QHeaderView::sectionResized, this, &TreeWidgetBase::slot_sectionResized);
    connect(header(), &QHeaderView::sectionMoved, this, &TreeWidgetBase::slot_sectionMoved);
}

TreeWidgetBase::~TreeWidgetBase()
{
    if (m_saveOnDestroy && !objectName().isEmpty())
        saveLayout();
    // Rows go before their payloads so that nothing can look a payload up half-destroyed.
    QTreeWidget::clear();
}

void TreeWidgetBase::installHeaderEx()
{
    auto *h = new HeaderViewEx(Qt::Horizontal, this);
    setHeader(h);
    m_header = h;
    connect(h, &HeaderViewEx::signal_mouseButtonLeft, this,
            [this](QWidget *w, const QPoint &p) { slot_mouseButtonLeft(w, p); });
    connect(h, &QHeaderView::sectionResized, this, &TreeWidgetBase::slot_sectionResized);
    connect(h, &QHeaderView::sectionMoved, this, &TreeWidgetBase::slot_sectionMoved);
    if (m_headerMenu) {
        m_headerMenu = false;
        setHeaderMenuEnabled(true);
    }
}

QTreeWidgetItem *TreeWidgetBase::addTextRow(const QString &text)
{
    auto *row = new QTreeWidgetItem(this);
    row->setText(0, text);
    return row;
}

QTreeWidgetItem *TreeWidgetBase::addRow(QTreeWidgetItem *parent, int column, const QString &text,
                                        quint64 payload, const QString &iconPath, bool placeholderChild)
{
    auto *row = parent ? new TreeStationWidgetItem(parent) : new TreeStationWidgetItem(this);
    row->setText(column, text);
    if (!iconPath.isEmpty())
        row->setIcon(column, QIcon(iconPath));
    if (payload != 0) {
        row->setData(0, Qt::UserRole, QVariant::fromValue<quint64>(payload));
        if (TreeItem *item = this->payload(payload))
            item->setRow(row);
    }
    if (placeholderChild)
        new QTreeWidgetItem(row);
    return row;
}

void TreeWidgetBase::clearTree()
{
    QTreeWidget::clear();
}

void TreeWidgetBase::showStatus(const QString &text)
{
    emit signal_statusText(text);
}

quint64 TreeWidgetBase::itemPayload(const QTreeWidgetItem *row) const
{
    return row ? row->data(0, Qt::UserRole).toULongLong() : 0;
}

TreeItem *TreeWidgetBase::itemTreeItem(const QTreeWidgetItem *row) const
{
    const quint64 key = itemPayload(row);
    TreeItem *item = key ? payload(key) : nullptr;
    // A key copied onto another row (or a row that outlived a reload) must not resolve.
    return item && item->row() == row ? item : nullptr;
}

quint64 TreeWidgetBase::adoptPayload(std::unique_ptr<TreeItem> payload)
{
    const quint64 key = m_nextKey++;
    m_payloads.emplace(key, std::move(payload));
    return key;
}

TreeItem *TreeWidgetBase::payload(quint64 key) const
{
    const auto it = m_payloads.find(key);
    return it == m_payloads.end() ? nullptr : it->second.get();
}

void TreeWidgetBase::releasePayload(quint64 key)
{
    m_payloads.erase(key);
}

void TreeWidgetBase::releaseAllPayloads()
{
    m_payloads.clear();
}

QTreeWidgetItem *TreeWidgetBase::rowOf(quint64 key) const
{
    TreeItem *item = payload(key);
    return item ? item->row() : nullptr;
}

bool TreeWidgetBase::canToggleColumn(int) const
{
    return true;
}

void TreeWidgetBase::setHeaderMenuEnabled(bool enabled)
{
    if (enabled == m_headerMenu)
        return;
    m_headerMenu = enabled;
    disconnect(m_headerMenuConnection);
    if (enabled) {
        header()->setContextMenuPolicy(Qt::CustomContextMenu);
        m_headerMenuConnection = connect(header(), &QWidget::customContextMenuRequested, this,
                                         &TreeWidgetBase::slot_HeaderContextMenuRequested);
    }
}

void TreeWidgetBase::setColumnHidden(int column, bool hidden)
{
    if (isColumnHidden(column) == hidden)
        return;
    QTreeWidget::setColumnHidden(column, hidden);
    saveLayout();
}

int TreeWidgetBase::addColumn(const QString &text, Qt::Alignment alignment)
{
    const int column = columnCount();
    setColumnCount(column + 1);
    QTreeWidgetItem *h = headerItem();
    h->setText(column, text);
    h->setTextAlignment(column, alignment);
    return column;
}

bool TreeWidgetBase::setColumnText(int column, const QString &text)
{
    if (column < 0 || column >= columnCount())
        return false;
    headerItem()->setText(column, text);
    return true;
}

void TreeWidgetBase::applyColumnWidth(int column, int width)
{
    if (column < 0 || column >= columnCount() || isColumnHidden(column))
        return;
    const bool was = m_signalsEnabled;
    m_signalsEnabled = false;
    setColumnWidth(column, width);
    m_signalsEnabled = was;
}

void TreeWidgetBase::applyColumnMove(int from, int to)
{
    QHeaderView *h = header();
    if (from < 0 || to < 0 || from >= h->count() || to >= h->count())
        return;
    const bool was = m_signalsEnabled;
    m_signalsEnabled = false;
    const int logical = h->logicalIndex(from);
    if (h->isSectionHidden(logical))
        h->showSection(logical);
    h->moveSection(from, to);
    m_signalsEnabled = was;
}

void TreeWidgetBase::saveLayout()
{
    if (!objectName().isEmpty())
        AppSettings::instance().saveTreeLayout(objectName(), header()->saveState());
}

bool TreeWidgetBase::restoreLayout(const QByteArray &state)
{
    if (state.isEmpty())
        return false;
    QHeaderView *h = header();
    const bool clickable = h->sectionsClickable();
    const bool movable = h->sectionsMovable();
    const bool stretch = h->stretchLastSection();
    const bool indicator = h->isSortIndicatorShown();
    const Qt::Alignment alignment = h->defaultAlignment();
    const int minimum = h->minimumSectionSize();
    const bool cascading = h->cascadingSectionResizes();
    const int count = h->count();
    QList<int> sizes;
    const bool was = m_signalsEnabled;
    m_signalsEnabled = false;
    for (int i = 0; i < count; ++i) {
        sizes << h->sectionSize(i);
        h->resizeSection(i, 10);
    }
    const bool ok = h->restoreState(state) && h->count() == count;
    if (!ok) {
        for (int i = 0; i < count && i < h->count(); ++i)
            h->resizeSection(i, sizes[i]);
    } else {
        h->setSectionsClickable(clickable);
        h->setSectionsMovable(movable);
        h->setSortIndicatorShown(indicator);
        h->setDefaultAlignment(alignment);
        h->setMinimumSectionSize(minimum);
        h->setCascadingSectionResizes(cascading);
        h->setStretchLastSection(stretch);
    }
    m_signalsEnabled = was;
    return ok;
}

bool TreeWidgetBase::buildHeaderMenu(QMenu *menu)
{
    if (!m_headerMenu || !headerItem() || columnCount() == 0)
        return false;
    for (int column = 1; column < columnCount(); ++column) {
        if (!canToggleColumn(column))
            continue;
        QAction *action = menu->addAction(headerItem()->text(column));
        action->setCheckable(true);
        action->setChecked(!isColumnHidden(column));
        action->setData(column);
        connect(action, &QAction::triggered, this, &TreeWidgetBase::slot_ToggleColumnActionTriggered);
    }
    if (QApplication::keyboardModifiers() & Qt::ControlModifier) {
        menu->addSeparator();
        QAction *reset = menu->addAction(tr("&Reset column layout"));
        reset->setToolTip(tr("Reset all columns to their default size and layout"));
        connect(reset, &QAction::triggered, this, &TreeWidgetBase::slot_columnsReset);
    }
    return true;
}

void TreeWidgetBase::showHeaderMenu(int x, int y)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (!buildHeaderMenu(menu)) {
        delete menu;
        return;
    }
    m_lastHeaderMenu = menu;
    menu->popup(QPoint(x, y));
}

void TreeWidgetBase::slot_HeaderContextMenuRequested(QPoint clickPoint)
{
    const QPoint global = header()->mapToGlobal(clickPoint);
    showHeaderMenu(global.x(), global.y());
}

void TreeWidgetBase::slot_mouseButtonLeft(QWidget *widget, QPoint pos)
{
    if (!widget || widget != m_header)
        return;
    const QPoint global = m_header->mapToGlobal(pos);
    showHeaderMenu(global.x(), global.y());
}

void TreeWidgetBase::slot_ToggleColumnActionTriggered(bool checked)
{
    auto *action = qobject_cast<QAction *>(sender());
    if (!action)
        return;
    bool ok = false;
    const int column = action->data().toInt(&ok);
    if (!ok || column < 0 || column >= columnCount())
        return;
    setColumnHidden(column, !checked);
    if (m_columnsReady && m_signalsEnabled) {
        m_signalsEnabled = false;
        if (checked)
            emit signal_columnShown(this, column);
        else
            emit signal_columnHidden(this, column);
        m_signalsEnabled = true;
    }
    horizontalScrollBar()->setValue(horizontalScrollBar()->maximum());
}

void TreeWidgetBase::slot_columnsReset()
{
    AppSettings::instance().clearStationListLayouts();
    emit signal_columnsResetRequested();
}

void TreeWidgetBase::slot_columnsSave()
{
    AppSettings::instance().saveStationListLayouts(header()->saveState());
}

void TreeWidgetBase::slot_sectionMoved(int logicalIndex, int oldVisualIndex, int newVisualIndex)
{
    if (m_columnsReady && m_signalsEnabled)
        emit signal_columnMoved(this, logicalIndex, oldVisualIndex, newVisualIndex);
}

void TreeWidgetBase::slot_sectionResized(int logicalIndex, int oldSize, int newSize)
{
    if (m_columnsReady && m_signalsEnabled)
        emit signal_columnResized(this, logicalIndex, oldSize, newSize);
}

void QTreeWidgetEx::changeEvent(QEvent *event)
{
    TreeWidgetBase::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        createFonts();
}
