#include "metadata.h"

#include "codepage.h"
#include "metadatascan.h"

#include <cstring>

namespace BASS {

using MetaScan::Cursor;
using MetaScan::PercentDecode;

// ---------------------------------------------------------------------------------------------
// Tag memory

QByteArrayView BoundedBytes(QByteArrayView bytes, qsizetype max)
{
    if (bytes.size() <= max)
        return bytes;
    // bytes[cut] is the first byte left out; when it continues a UTF-8 sequence, leave out the
    // whole sequence (a lead byte is followed by at most three continuation bytes).
    qsizetype cut = max;
    for (int backed = 0; cut > 0 && backed < 3 && (quint8(bytes[cut]) & 0xC0) == 0x80; ++backed)
        --cut;
    if ((quint8(bytes[cut]) & 0xC0) != 0xC0)
        cut = max; // not UTF-8 after all: cut where asked
    return bytes.first(cut);
}

QByteArray TagString(const char *tag)
{
    if (!tag)
        return QByteArray();
    // strnlen reads no further than the terminator, so this is safe on any terminated string.
    const qsizetype length = qsizetype(strnlen(tag, size_t(MaxMetaBlockBytes) + 4));
    return BoundedBytes(QByteArrayView(tag, length)).toByteArray();
}

QList<QByteArray> TagList(const char *tags)
{
    QList<QByteArray> lines;
    if (!tags)
        return lines;
    for (const char *p = tags; *p && lines.size() < MaxTagListItems;) {
        // A line may be far longer than the bound (an Ogg picture comment): step over all of it.
        const size_t length = std::strlen(p);
        lines.append(BoundedBytes(QByteArrayView(p, qsizetype(length))).toByteArray());
        p += length + 1;
    }
    return lines;
}

namespace {

// One single-string block: up to its first zero byte (ICY blocks are padded with zeros), bounded,
// decoded.
QString decodeBlock(QByteArrayView block, const char *codePage)
{
    const qsizetype zero = block.indexOf('\0');
    if (zero >= 0)
        block = block.first(zero);
    return DecodeTagText(BoundedBytes(block), codePage);
}

bool isKeyChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('-');
}

// True when the text at pos, after blanks, ends or begins with the next "Key=" item.
bool startsNextItem(QStringView text, qsizetype pos)
{
    while (pos < text.size() && (Cursor::isBlank(text[pos]) || text[pos] == QLatin1Char('\0')))
        ++pos;
    if (pos >= text.size())
        return true;
    const qsizetype keyStart = pos;
    while (pos < text.size() && isKeyChar(text[pos]))
        ++pos;
    return pos > keyStart && pos < text.size() && text[pos] == QLatin1Char('=');
}

// Position of the quote that closes a quoted ICY value starting at from: the "';" that ends the
// block or is followed by the next item, else the first "';", else -1.
qsizetype closingQuote(QStringView text, qsizetype from)
{
    const QStringView closer = u"';";
    qsizetype first = -1;
    for (qsizetype at = text.indexOf(closer, from); at >= 0; at = text.indexOf(closer, at + 1)) {
        if (first < 0)
            first = at;
        if (startsNextItem(text, at + closer.size()))
            return at;
    }
    return first;
}

// Reads one ICY value that starts at pos; returns it and moves pos behind its terminator.
QString readIcyValue(QStringView text, qsizetype &pos)
{
    const bool quoted = pos < text.size() && text[pos] == QLatin1Char('\'');
    if (quoted) {
        ++pos;
        const qsizetype close = closingQuote(text, pos);
        if (close >= 0) {
            const QString value = text.mid(pos, close - pos).toString();
            pos = close + 2;
            return value;
        }
        // No terminator: the value runs to the end, without a closing quote.
        QStringView value = text.mid(pos);
        if (value.endsWith(QLatin1Char('\'')))
            value.chop(1);
        pos = text.size();
        return value.toString();
    }
    qsizetype end = text.indexOf(QLatin1Char(';'), pos);
    if (end < 0)
        end = text.size();
    const QString value = text.mid(pos, end - pos).toString();
    pos = qMin(end + 1, text.size());
    return value;
}

bool parseIcyText(const QString &text, MetaTitle &out)
{
    const QStringView titleKey = u"StreamTitle=";
    const qsizetype at = text.indexOf(titleKey, 0, Qt::CaseInsensitive);
    if (at < 0)
        return false;
    qsizetype pos = at + titleKey.size();
    out.title = readIcyValue(text, pos);

    const QStringView urlKey = u"StreamUrl=";
    const qsizetype urlAt = text.indexOf(urlKey, pos, Qt::CaseInsensitive);
    if (urlAt >= 0) {
        pos = urlAt + urlKey.size();
        out.streamUrl = readIcyValue(text, pos);
    }
    return true;
}

bool isUrl(const QString &text)
{
    return text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("mms://"), Qt::CaseInsensitive);
}

// "first - second", without the dash when the first part is empty.
QString joinTitle(const QString &first, const QString &second)
{
    return first.isEmpty() ? second : first + QLatin1String(" - ") + second;
}

// Returns false when the block is not recognised (a plain text without a key).
bool parseWmaText(const QString &block, MetaTitle &out)
{
    Cursor c(block);
    QString title;
    bool recognised = true;

    qsizetype caption = block.indexOf(u"CAPTION :", 0, Qt::CaseInsensitive);
    const qsizetype captionEq = block.indexOf(u"CAPTION=", 0, Qt::CaseInsensitive);
    if (caption < 0 || (captionEq >= 0 && captionEq < caption))
        caption = captionEq;

    if (caption >= 0) {
        c.setPos(caption + 7);
        c.skipBlanks();
        if (!c.skipOne(u"="))
            c.skipOne(u":");
        c.skipBlanks();
        title = c.readToAny(u"(\n\r").trimmed();
        // A caption that is an address is an advertisement link, not a title.
        if (title.contains(u"http://", Qt::CaseInsensitive) ||
            title.contains(u"https://", Qt::CaseInsensitive))
            title.clear();
    } else if (c.startsWith(u"data :") || c.startsWith(u"data=") || c.startsWith(u"artist=")) {
        if (block.contains(u"artist=", Qt::CaseInsensitive)) {
            c.skipPast(u"artist=");
            const QString artist = c.readTo(u"&");
            title = artist;
            if (c.has(u"title=")) {
                c.skipPast(u"title=");
                title = joinTitle(artist, c.readTo(u"&"));
            }
            if (c.has(u"duration=")) {
                c.skipPast(u"duration=");
                c.skipBlanks();
                c.skipOne(u"=");
                bool ok = false;
                const int seconds = c.readTo(u"&").trimmed().toInt(&ok);
                if (ok && seconds > 0)
                    out.duration = seconds;
            }
        } else {
            // The value starts behind the "data" prefix and its separator.
            c.setPos(c.startsWith(u"data :") ? 6 : 5);
            c.skipBlanks();
            if (block.contains(QLatin1Char('&'))) {
                const QString first = PercentDecode(c.readTo(u"&"));
                title = first;
                if (c.has(u"title=")) {
                    c.skipPast(u"title=");
                    title = joinTitle(first, PercentDecode(c.readTo(u"&")));
                }
            } else {
                title = PercentDecode(c.readTo(u"%28"));
            }
        }
    } else if (c.startsWith(u"TUNER=")) {
        const qsizetype bar = block.indexOf(QLatin1Char('|'));
        if (bar >= 0) {
            c.setPos(bar + 1);
            c.skipBlanks();
            const QString first = PercentDecode(c.readTo(u"|"));
            c.skipOne(u"|");
            title = joinTitle(first, PercentDecode(c.readTo(u"|")));
        }
    } else if (c.startsWith(u"XML=")) {
        // Carries no title.
    } else if (c.startsWith(u"igimptext :")) {
        c.advance(11);
        c.skipBlanks();
        const QString artist = c.readTo(u"~");
        if (!c.skipOne(u"~")) {
            title = artist;
        } else {
            // An empty field between two '~' means there is no title.
            const QString song = c.readTo(u"~");
            if (!song.isEmpty())
                title = joinTitle(artist, song);
        }
    } else if (c.startsWith(u"text :")) {
        c.advance(6);
        c.skipBlanks();
        c.readTo(u"&");
        if (!c.startsWith(u"&&")) {
            const qsizetype items = c.pos();
            QString artist, song;
            if (c.skipPast(u"currentArtist="))
                artist = c.readTo(u"&");
            c.setPos(items);
            if (c.skipPast(u"currentSong="))
                song = c.readTo(u"&");
            title = joinTitle(artist, song);
        }
    } else {
        // A key and a value, separated by whichever of ':' and '=' comes first.
        const qsizetype colon = block.indexOf(QLatin1Char(':'));
        const qsizetype equals = block.indexOf(QLatin1Char('='));
        qsizetype sep = colon;
        if (sep < 0 || (equals >= 0 && equals < sep))
            sep = equals;
        if (sep < 0) {
            recognised = false;
        } else {
            const QString key = block.left(sep).trimmed();
            c.setPos(sep + 1);
            c.skipBlanks();
            const QString value = c.rest().toString();
            // An address command (or a bare address) names the stream's page, not a title.
            if (key.compare(QLatin1String("URL"), Qt::CaseInsensitive) == 0 || isUrl(value.trimmed()))
                out.streamUrl = value.trimmed();
            else
                title = value;
        }
    }

    if (block.contains(u"XML:", Qt::CaseInsensitive) || block.contains(QLatin1Char('%')))
        title = PercentDecode(title);
    out.title = title;
    return recognised;
}

bool parseOggComments(const QStringList &comments, MetaTitle &out)
{
    QString title, artist;
    bool found = false;
    for (const QString &comment : comments) {
        const qsizetype eq = comment.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QStringView key = QStringView(comment).first(eq).trimmed();
        const QString value = comment.mid(eq + 1).trimmed();
        if (key.compare(QLatin1String("TITLE"), Qt::CaseInsensitive) == 0) {
            found = true;
            title = value;
            // "Song :: Programme": only the part before the first ':' or line feed.
            if (title.contains(QLatin1String("::"))) {
                Cursor c(title);
                title = c.readToAny(u":\n").trimmed();
            }
        } else if (key.compare(QLatin1String("ARTIST"), Qt::CaseInsensitive) == 0) {
            found = true;
            artist = value;
        }
    }
    out.title = artist.isEmpty() ? title : artist + QLatin1String(" - ") + title;
    return found;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Tag parsers

bool ParseIcyMeta(QByteArrayView block, const char *codePage, MetaTitle &title)
{
    title.clear();
    title.rawBlock = decodeBlock(block, codePage);
    return parseIcyText(title.rawBlock, title);
}

bool ParseWmaMeta(QByteArrayView block, const char *codePage, MetaTitle &title)
{
    title.clear();
    title.rawBlock = decodeBlock(block, codePage);
    return parseWmaText(title.rawBlock, title);
}

bool ParseOggTitle(const QList<QByteArray> &comments, const char *codePage, MetaTitle &title)
{
    title.clear();
    QStringList lines;
    for (const QByteArray &comment : comments) {
        if (lines.size() >= MaxTagListItems)
            break;
        lines.append(decodeBlock(comment, codePage));
    }
    // The raw text is bounded like any other block; the comments themselves are all examined.
    title.rawBlock = lines.join(QLatin1Char('\n')).left(MaxMetaBlockBytes);
    return parseOggComments(lines, title);
}

bool ParseMetaBlock(QByteArrayView block, const char *codePage, MetaTitle &title)
{
    return ParseIcyMeta(block, codePage, title) || ParseWmaMeta(block, codePage, title) ||
           ParseOggTitle({BoundedBytes(block).toByteArray()}, codePage, title);
}

// ---------------------------------------------------------------------------------------------
// Scanning helpers

namespace MetaScan {

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

QString PercentDecode(QStringView text)
{
    if (!text.contains(QLatin1Char('%')))
        return text.toString();
    QString out;
    out.reserve(text.size());
    QByteArray escaped;
    const auto flush = [&] {
        if (!escaped.isEmpty()) {
            out += DecodeTagText(escaped, nullptr);
            escaped.clear();
        }
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('%') && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                escaped.append(char(high * 16 + low));
                i += 2;
                continue;
            }
        }
        flush();
        out.append(text[i]);
    }
    flush();
    return out;
}

} // namespace MetaScan

} // namespace BASS
