#pragma once

#include "object.h"
#include "records.h"

#include <QString>

#include <memory>

class QTreeWidgetItem;

// Payload of a tree row. Rows never hold the payload's address: they hold a key that the tree
// resolves through its table of live payloads, so a row whose payload is gone (the list was
// reloaded, the menu cleared) resolves to nothing instead of to freed memory.
class TreeItem : public QT_BASS::Object
{
public:
    TreeItem() = default;
    ~TreeItem() override = default;

    quint64 id() const { return (quint64(m_idHigh) << 32) | m_idLow; }
    void setId(quint64 id)
    {
        m_idHigh = quint32(id >> 32);
        m_idLow = quint32(id);
    }

    // The row that shows this payload; set by the tree, valid while the payload is registered.
    QTreeWidgetItem *row() const { return m_row; }
    void setRow(QTreeWidgetItem *row) { m_row = row; }

private:
    quint32 m_idHigh = 0;
    quint32 m_idLow = 0;
    QTreeWidgetItem *m_row = nullptr;
};

// Payload of a station row: an owned copy of the station and the row's own state.
class TreeStation : public TreeItem
{
public:
    BASS::Station station;
    // Play state of the station's row: 0 stopped, 1 playing.
    int status = 0;
    bool isMoreRow = false;
    bool hover = false;
    QString extraText;
};

// Payload of a browsing row of a station list: an owned copy of a region, country or genre whose
// rows open into its countries, sub-genres and stations.
class TreeBrowseItem : public TreeStation
{
public:
    std::unique_ptr<QT_BASS::Object> object;
    bool loaded = false;
};
