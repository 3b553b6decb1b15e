#pragma once

// A forward cursor over a text, with the small scanning vocabulary the title parsers share.
// Word matches ignore case; blanks are spaces and tabs. Internal to the metadata code.

#include <QString>
#include <QStringView>

namespace BASS::MetaScan {

class Cursor
{
public:
    explicit Cursor(QStringView text, qsizetype pos = 0)
        : m_text(text)
        , m_pos(qBound(qsizetype(0), pos, text.size()))
    {}

    bool atEnd() const { return m_pos >= m_text.size(); }
    qsizetype pos() const { return m_pos; }
    void setPos(qsizetype pos) { m_pos = qBound(qsizetype(0), pos, m_text.size()); }
    QStringView rest() const { return m_text.mid(m_pos); }
    QChar current() const { return atEnd() ? QChar() : m_text[m_pos]; }
    void advance(qsizetype n = 1) { setPos(m_pos + n); }

    // Index of the next occurrence of word at or after the cursor, or -1.
    qsizetype find(QStringView word) const { return m_text.indexOf(word, m_pos, Qt::CaseInsensitive); }
    bool has(QStringView word) const { return find(word) >= 0; }
    bool startsWith(QStringView word) const { return rest().startsWith(word, Qt::CaseInsensitive); }

    // Copies up to (not including) the next occurrence of word, or to the end; the cursor stays
    // on the word.
    QString readTo(QStringView word)
    {
        const qsizetype at = find(word);
        const qsizetype end = at < 0 ? m_text.size() : at;
        const QString out = m_text.mid(m_pos, end - m_pos).toString();
        m_pos = end;
        return out;
    }
    // Copies up to the next character that is any of chars, or to the end.
    QString readToAny(QStringView chars)
    {
        qsizetype end = m_pos;
        while (end < m_text.size() && !chars.contains(m_text[end]))
            ++end;
        const QString out = m_text.mid(m_pos, end - m_pos).toString();
        m_pos = end;
        return out;
    }
    // Moves behind the next occurrence of word and behind copies of it that directly follow.
    // Without an occurrence the cursor goes to the end and the result is false.
    bool skipPast(QStringView word)
    {
        const qsizetype at = find(word);
        if (at < 0 || word.isEmpty()) {
            m_pos = m_text.size();
            return false;
        }
        m_pos = at + word.size();
        while (startsWith(word))
            m_pos += word.size();
        return true;
    }
    // Skips word once when the cursor is on it.
    bool skipOne(QStringView word)
    {
        if (word.isEmpty() || !startsWith(word))
            return false;
        m_pos += word.size();
        return true;
    }
    void skipBlanks()
    {
        while (!atEnd() && isBlank(m_text[m_pos]))
            ++m_pos;
    }
    void skipAny(QStringView chars)
    {
        while (!atEnd() && chars.contains(m_text[m_pos]))
            ++m_pos;
    }

    static bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

private:
    QStringView m_text;
    qsizetype m_pos;
};

// Value of a hexadecimal digit, or -1.
int hexValue(QChar c);

// Decodes %XX escapes: each run of escaped bytes is read as UTF-8 when it is valid UTF-8 and as
// Windows-1252 otherwise; every other character is kept as it stands.
QString PercentDecode(QStringView text);

} // namespace BASS::MetaScan
