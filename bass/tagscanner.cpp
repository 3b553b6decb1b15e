#include "tagscanner.h"

namespace BASS {

void TagScanner::setText(const QString &text)
{
    m_text = text;
    m_pos = 0;
    m_memo.clear();
}

namespace {

bool sameIgnoringCase(QChar a, QChar b)
{
    if (a == b)
        return true;
    const char16_t x = a.unicode(), y = b.unicode();
    if (x < 128 && y < 128)
        return (x | 0x20) == (y | 0x20) && (x | 0x20) >= 'a' && (x | 0x20) <= 'z';
    return a.toCaseFolded() == b.toCaseFolded();
}

// Tags always begin with '<': the scan jumps from one '<' to the next and compares only there.
qsizetype findTag(QStringView text, QStringView tag, qsizetype from)
{
    const qsizetype last = text.size() - tag.size();
    while (from <= last) {
        const qsizetype at = text.indexOf(u'<', from);
        if (at < 0 || at > last)
            return -1;
        qsizetype i = 1;
        while (i < tag.size() && sameIgnoringCase(text[at + i], tag[i]))
            ++i;
        if (i == tag.size())
            return at;
        from = at + 1;
    }
    return -1;
}

} // namespace

qsizetype TagScanner::indexOf(const QString &needle, qsizetype from)
{
    // Short texts (one station, one stream) are cheaper to scan again than to remember.
    if (m_text.size() < MemoThreshold)
        return findTag(m_text, needle, from);
    Memo &memo = m_memo[needle];
    // A search from an earlier offset answers this one too when its hit lies at or after from,
    // or when it found nothing at all.
    if (memo.searchedFrom >= 0 && memo.searchedFrom <= from && (memo.foundAt < 0 || memo.foundAt >= from))
        return memo.foundAt;
    const qsizetype at = findTag(m_text, needle, from);
    memo.searchedFrom = from;
    memo.foundAt = at;
    return at;
}

QString TagScanner::findRaw(QStringView tag)
{
    if (tag.isEmpty())
        return QString();
    const QString open = QLatin1Char('<') + tag + QLatin1Char('>');
    const QString close = QLatin1String("</") + tag + QLatin1Char('>');
    const qsizetype start = indexOf(open, m_pos);
    if (start < 0)
        return QString();
    const qsizetype contentStart = start + open.size();
    const qsizetype end = indexOf(close, contentStart);
    if (end < 0)
        return QString();
    m_pos = end + close.size();
    return m_text.mid(contentStart, end - contentStart);
}

QString TagScanner::find(QStringView tag)
{
    return decodeEntities(findRaw(tag));
}

QString TagScanner::nextTag()
{
    const qsizetype open = m_text.indexOf(QLatin1Char('<'), m_pos);
    if (open < 0)
        return QString();
    const qsizetype close = m_text.indexOf(QLatin1Char('>'), open + 1);
    if (close < 0) {
        m_pos = m_text.size();
        return QString();
    }
    m_pos = close + 1;
    return m_text.mid(open + 1, close - open - 1);
}

QString TagScanner::textUntilTag()
{
    qsizetype open = m_text.indexOf(QLatin1Char('<'), m_pos);
    if (open < 0)
        open = m_text.size();
    const QString text = m_text.mid(m_pos, open - m_pos);
    const qsizetype close = m_text.indexOf(QLatin1Char('>'), open);
    m_pos = close < 0 ? m_text.size() : close + 1;
    return text;
}

QString TagScanner::decodeEntities(QString text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    text.replace(QLatin1String("&apos;"), QLatin1String("'"));
    return text;
}

QString TagScanner::decodeXmlEntities(QString text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&apos;"), QLatin1String("'"));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text;
}

} // namespace BASS
