#pragma once

#include "navigatelabel.h"
#include "treeitem.h"

#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <memory>
#include <unordered_map>

class QMenu;

// A row of the station lists and the menu. The running number (column 1) sorts as a number and
// the paging row is never ordered before a station.
class TreeStationWidgetItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem &other) const override;

    // Set on the paging row so that ordering needs no payload lookup.
    bool isMoreRow = false;
};

// The menu button in the first header section of the station lists.
class HeaderViewEx : public QHeaderView
{
    Q_OBJECT
public:
    explicit HeaderViewEx(Qt::Orientation orientation, QWidget *parent = nullptr);
    NavigateLabel *cornerButton() const { return m_button; }

signals:
    void signal_mouseButtonLeft(QWidget *widget, const QPoint &pos);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    NavigateLabel *m_button;
    bool m_resizedOnce = false;
};

// Base of every tree of the window: rows with payloads, a header menu to hide and show columns,
// the header layout kept in the settings under "<objectName>_tree", signals that let the window
// mirror one list's column changes onto the others, and a status-text hook.
class TreeWidgetBase : public QTreeWidget
{
    Q_OBJECT
public:
    explicit TreeWidgetBase(QWidget *parent = nullptr);
    ~TreeWidgetBase() override;

    virtual QTreeWidgetItem *addTextRow(const QString &text);
    // A row under parent (top level when null) with text in column; payload is a key returned by
    // adoptPayload (0 for none); placeholderChild adds an empty child so the row can be expanded.
    virtual QTreeWidgetItem *addRow(QTreeWidgetItem *parent, int column, const QString &text, quint64 payload,
                                    const QString &iconPath = QString(), bool placeholderChild = false);
    virtual void clearTree();
    virtual void showStatus(const QString &text);
    virtual bool restoreLayout(const QByteArray &state);
    virtual bool buildHeaderMenu(QMenu *menu);
    // The payload key stored in the row (0 for none).
    virtual quint64 itemPayload(const QTreeWidgetItem *row) const;
    virtual bool canToggleColumn(int column) const;
    // The live payload of the row, or null when the row has none or it is gone.
    virtual TreeItem *itemTreeItem(const QTreeWidgetItem *row) const;
    virtual void showHeaderMenu(int x, int y);

    // Takes ownership of a payload and returns the key that rows store. Keys are never reused.
    quint64 adoptPayload(std::unique_ptr<TreeItem> payload);
    // Frees a payload; rows that still carry its key resolve to nothing from now on.
    void releasePayload(quint64 key);
    void releaseAllPayloads();
    TreeItem *payload(quint64 key) const;
    // The row of a live payload, or null.
    QTreeWidgetItem *rowOf(quint64 key) const;
    int payloadCount() const { return int(m_payloads.size()); }

    void setHeaderMenuEnabled(bool enabled);
    void setColumnHidden(int column, bool hidden);
    bool isColumnHidden(int column) const { return QTreeWidget::isColumnHidden(column); }
    void toggleColumn(int column) { setColumnHidden(column, !isColumnHidden(column)); }
    int addColumn(const QString &text, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
    bool setColumnText(int column, const QString &text);
    void applyColumnWidth(int column, int width);
    void applyColumnMove(int from, int to);
    void setSaveOnDestroy(bool on) { m_saveOnDestroy = on; }
    void setColumnsReady(bool ready) { m_columnsReady = ready; }
    bool columnsReady() const { return m_columnsReady; }
    void saveLayout();
    QTreeWidgetItem *contextRow() const { return m_contextRow; }
    void setContextRow(QTreeWidgetItem *row) { m_contextRow = row; }
    HeaderViewEx *headerEx() const { return m_header; }

    // The header rule shared by every tree.
    static QString headerStyleSheet();

signals:
    void signal_columnResized(QTreeWidget *widget, int logicalIndex, int oldSize, int newSize);
    void signal_columnMoved(QTreeWidget *widget, int logicalIndex, int oldVisualIndex, int newVisualIndex);
    void signal_columnHidden(QTreeWidget *widget, int logicalIndex);
    void signal_columnShown(QTreeWidget *widget, int logicalIndex);
    // A status text for the window's status line (empty clears it).
    void signal_statusText(const QString &text);
    // The stored station-list layouts were cleared: the window re-applies the default layout.
    void signal_columnsResetRequested();

public slots:
    void slot_mouseButtonLeft(QWidget *widget, QPoint pos);
    void slot_HeaderContextMenuRequested(QPoint clickPoint);
    void slot_ToggleColumnActionTriggered(bool checked);
    void slot_columnsReset();
    void slot_columnsSave();
    void slot_sectionMoved(int logicalIndex, int oldVisualIndex, int newVisualIndex);
    void slot_sectionResized(int logicalIndex, int oldSize, int newSize);

protected:
    // Installs a header with the corner menu button.
    void installHeaderEx();
    // The menu the header shows last (for tests and for closing it).
    QPointer<QMenu> m_lastHeaderMenu;

private:
    QTreeWidgetItem *m_contextRow = nullptr;
    HeaderViewEx *m_header = nullptr;
    bool m_saveOnDestroy = true;
    bool m_headerMenu = false;
    bool m_columnsReady = false;
    bool m_signalsEnabled = true;
    std::unordered_map<quint64, std::unique_ptr<TreeItem>> m_payloads;
    quint64 m_nextKey = 1;
    QMetaObject::Connection m_headerMenuConnection;
};

// The trees' font hook: the fonts are rebuilt whenever the widget's font changes.
class QTreeWidgetEx : public TreeWidgetBase
{
    Q_OBJECT
public:
    using TreeWidgetBase::TreeWidgetBase;
    virtual void createFonts() {}

protected:
    void changeEvent(QEvent *event) override;
};
