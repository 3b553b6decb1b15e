#pragma once

#include <QObject>
#include <QString>

namespace BASS {

// One entry of the title filter list: a pattern and how it is matched against a title.
//   "RegEx"  the regular expression is found in the title
//   ""       the title contains the pattern, ignoring case
//   "Chars"  the title contains any one character of the pattern
//   "Abs"    the title equals the pattern
// An empty pattern matches nothing, and neither does an unknown kind or an invalid expression.
class MetaDataListItem : public QObject
{
    Q_OBJECT
public:
    explicit MetaDataListItem(QObject *parent = nullptr);
    MetaDataListItem(const QString &pattern, const QString &kind, QObject *parent = nullptr);

    QString pattern() const { return m_pattern; }
    void setPattern(const QString &v) { m_pattern = v; }
    QString kind() const { return m_kind; }
    void setKind(const QString &v) { m_kind = v; }

    bool matches(const QString &title) const;

private:
    QString m_pattern;
    QString m_kind;
};

// The process-wide title filter list, shared by every channel. It is read on the audio engine's
// sync threads and changed from the GUI thread; every operation is thread-safe. It starts empty.
namespace TitleFilter {
// Appends an entry built from the given item.
void Add(const MetaDataListItem &item);
void Clear();
int Count();
} // namespace TitleFilter

// True when any entry of the title filter list matches the title.
bool IsTitleFiltered(const QString &title);

} // namespace BASS
