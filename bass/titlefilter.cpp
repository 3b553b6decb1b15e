#include "titlefilter.h"

#include <QDebug>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>

namespace BASS {

namespace {

// The list keeps plain entries of its own (not the caller's QObjects), with each expression
// compiled once when it is added.
struct Entry
{
    QString pattern;
    QString kind;
    QRegularExpression expression;
};

struct FilterList
{
    QMutex mutex;
    QList<Entry> entries;
};

FilterList &filterList()
{
    static FilterList list;
    return list;
}

bool entryMatches(const QString &pattern, const QString &kind, const QRegularExpression *expression,
                  const QString &title)
{
    if (pattern.isEmpty())
        return false;
    if (kind.isEmpty())
        return title.contains(pattern, Qt::CaseInsensitive);
    if (kind == QLatin1String("Chars")) {
        for (const QChar c : pattern) {
            if (title.contains(c))
                return true;
        }
        return false;
    }
    if (kind == QLatin1String("Abs"))
        return title == pattern;
    if (kind == QLatin1String("RegEx")) {
        QRegularExpression local;
        if (!expression) {
            local.setPattern(pattern);
            expression = &local;
        }
        return expression->isValid() && expression->match(title).hasMatch();
    }
    return false;
}

} // namespace

MetaDataListItem::MetaDataListItem(QObject *parent)
    : QObject(parent)
{}

MetaDataListItem::MetaDataListItem(const QString &pattern, const QString &kind, QObject *parent)
    : QObject(parent)
    , m_pattern(pattern)
    , m_kind(kind)
{}

bool MetaDataListItem::matches(const QString &title) const
{
    return entryMatches(m_pattern, m_kind, nullptr, title);
}

namespace TitleFilter {

void Add(const MetaDataListItem &item)
{
    Entry entry{item.pattern(), item.kind(), QRegularExpression()};
    if (entry.kind == QLatin1String("RegEx")) {
        entry.expression.setPattern(entry.pattern);
        if (!entry.expression.isValid())
            qDebug().noquote() << "TitleFilter::Add invalid expression" << entry.pattern
                               << entry.expression.errorString();
        entry.expression.optimize();
    }
    FilterList &list = filterList();
    QMutexLocker lock(&list.mutex);
    list.entries.append(entry);
}

void Clear()
{
    FilterList &list = filterList();
    QMutexLocker lock(&list.mutex);
    list.entries.clear();
}

int Count()
{
    FilterList &list = filterList();
    QMutexLocker lock(&list.mutex);
    return int(list.entries.size());
}

} // namespace TitleFilter

bool IsTitleFiltered(const QString &title)
{
    FilterList &list = filterList();
    QMutexLocker lock(&list.mutex);
    for (const Entry &entry : std::as_const(list.entries)) {
        if (entryMatches(entry.pattern, entry.kind, &entry.expression, title))
            return true;
    }
    return false;
}

} // namespace BASS
