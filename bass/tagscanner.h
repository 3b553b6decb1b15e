#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

namespace BASS {

// The plain tag scanner of the directory's reply format and of the language files: it finds
// elements by their literal start and end tags, without an XML parser, in a text and from a
// current position. Start tags carry no attributes ("<station id='7'>" is not "<station>"), names
// compare case-insensitively, and an element nested inside another of the same name ends at the
// first matching end tag.
//
// Every search is linear in the text it crosses; a search that found nothing remembers so, so that
// repeating it further on costs nothing (readers that look for a missing element once per record
// stay linear on hostile input).
class TagScanner
{
public:
    TagScanner() = default;
    explicit TagScanner(const QString &text)
        : m_text(text)
    {}

    const QString &text() const { return m_text; }
    void setText(const QString &text);
    qsizetype position() const { return m_pos; }
    void setPosition(qsizetype pos) { m_pos = qBound<qsizetype>(0, pos, m_text.size()); }
    void rewind() { m_pos = 0; }
    bool atEnd() const { return m_pos >= m_text.size(); }

    // Content of the next element "<tag>...</tag>" at or after the position, with its entities
    // decoded (decodeEntities). Moves the position past the end tag. When the start tag or an end
    // tag after it is missing, the result is empty and the position stays.
    QString find(QStringView tag);
    // The first element of that name anywhere in the text: rewind() and find().
    QString findFirst(QStringView tag)
    {
        rewind();
        return find(tag);
    }
    // The same without decoding: for container elements whose content is scanned again, so that
    // escaped markup inside a value can never turn into elements of the container.
    QString findRaw(QStringView tag);

    // Name of the next tag: moves past the next '<' and returns the text up to the next '>' (an
    // end tag's name begins with '/'), leaving the position behind the '>'. Empty when no '<'
    // follows or its '>' is missing (the position then moves to the end).
    QString nextTag();
    // Text from the position up to the next '<' (or the end); the position moves past the '>'
    // that follows that '<'.
    QString textUntilTag();

    // "&amp;", "&quot;", "&lt;", "&gt;", "&nbsp;", "&apos;" replaced in this order, each over the
    // whole text: "&amp;lt;" therefore comes out as "<".
    static QString decodeEntities(QString text);
    // The order of the element-by-element reader: "&lt;", "&gt;", "&quot;", "&apos;", "&amp;".
    static QString decodeXmlEntities(QString text);

private:
    // Offset of needle at or after from (case-insensitive), -1 when absent; uses the memo.
    qsizetype indexOf(const QString &needle, qsizetype from);

    static constexpr qsizetype MemoThreshold = 4096;

    struct Memo
    {
        qsizetype searchedFrom = -1; // a search started here ...
        qsizetype foundAt = -1;      // ... found this offset (-1: nothing up to the end)
    };

    QString m_text;
    qsizetype m_pos = 0;
    QHash<QString, Memo> m_memo;
};

} // namespace BASS
