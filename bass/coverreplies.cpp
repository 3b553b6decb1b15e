#include "coverart.h"

#include "baseradioapi.h"
#include "covertext.h"

#include <QBuffer>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

#include <algorithm>

namespace BASS {

namespace {

constexpr qsizetype MaxFieldChars = 1024;
constexpr qsizetype MaxAddressChars = 2048;
constexpr int MaxTagAttributes = 64;
constexpr int MaxDiscs = 20;
constexpr int MaxTracksPerDisc = 200;

// ---------------------------------------------------------------------------------------------
// Text and address helpers

bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u < 0xa0);
}

// A field value as plain text on one line: control characters become blanks, blanks collapse.
QString plainField(QString text)
{
    for (QChar &c : text)
        if (isControl(c))
            c = QLatin1Char(' ');
    return text.simplified().left(MaxFieldChars);
}

} // namespace

namespace CoverText {

// An address from a reply, when it is a usable http or https address; fully encoded.
QString safeUrl(const QString &text)
{
    const QString s = text.trimmed();
    if (s.isEmpty() || s.size() > MaxAddressChars)
        return QString();
    for (const QChar c : s)
        if (isControl(c) || c.isSpace())
            return QString();
    const QUrl url(s, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return QString();
    return url.toString(QUrl::FullyEncoded);
}

QString encode(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

// Percent-encoded with blanks written as '+', as query values of search forms are.
QString encodePlus(const QString &text)
{
    return encode(text).replace(QLatin1String("%20"), QLatin1String("+"));
}

QString bodyText(const QByteArray &body)
{
    return QString::fromUtf8(body.left(CoverReplies::MaxReplyBytes));
}

} // namespace CoverText

using namespace CoverText;

namespace {

// Truncates to at most max characters without splitting a surrogate pair.
QString clipText(QString text, qsizetype max)
{
    if (text.size() > max) {
        qsizetype cut = max;
        if (cut > 0 && text.at(cut - 1).isHighSurrogate())
            --cut;
        text.truncate(cut);
    }
    return text;
}

// ---------------------------------------------------------------------------------------------
// A small HTML tag reader for the page scanners: a tag's name and attributes, nothing more.

struct HtmlTag
{
    qsizetype begin = 0;                       // the '<'
    qsizetype end = 0;                         // just after the '>'
    QString name;                              // lower case; "/name" for an end tag
    QList<QPair<QString, QString>> attributes; // names in lower case

    QString attribute(QLatin1String name) const
    {
        for (const auto &a : attributes)
            if (a.first == name)
                return a.second;
        return QString();
    }
    bool hasAttribute(QLatin1String name) const
    {
        for (const auto &a : attributes)
            if (a.first == name)
                return true;
        return false;
    }
};

enum class TagRead
{
    Tag,      // a tag was read
    NotATag,  // a '<' that does not start a tag (text)
    Unclosed, // the tag runs to the end of the text
};

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool isNameChar(QChar c)
{
    return isAsciiLetter(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
           c == QLatin1Char(':') || c == QLatin1Char('_');
}

// Reads the tag whose '<' is at lt. Quoted attribute values may hold '>'.
TagRead readTag(QStringView html, qsizetype lt, HtmlTag &tag)
{
    const qsizetype n = html.size();
    tag = HtmlTag();
    tag.begin = lt;
    qsizetype i = lt + 1;
    const bool closing = i < n && html[i] == QLatin1Char('/');
    if (closing)
        ++i;
    const qsizetype nameStart = i;
    if (i >= n || !isAsciiLetter(html[i]))
        return TagRead::NotATag;
    while (i < n && isNameChar(html[i]))
        ++i;
    tag.name = html.mid(nameStart, qMin<qsizetype>(i - nameStart, 64)).toString().toLower();
    if (closing)
        tag.name.prepend(QLatin1Char('/'));

    while (i < n) {
        const QChar c = html[i];
        if (c == QLatin1Char('>')) {
            tag.end = i + 1;
            return TagRead::Tag;
        }
        if (c.isSpace() || c == QLatin1Char('/')) {
            ++i;
            continue;
        }
        const qsizetype nameAt = i;
        while (i < n && !html[i].isSpace() && html[i] != QLatin1Char('=') && html[i] != QLatin1Char('>') &&
               html[i] != QLatin1Char('/'))
            ++i;
        const QStringView name = html.mid(nameAt, i - nameAt);
        if (name.isEmpty())
            ++i; // a stray '='
        while (i < n && html[i].isSpace())
            ++i;
        QStringView value;
        if (!name.isEmpty() && i < n && html[i] == QLatin1Char('=')) {
            ++i;
            while (i < n && html[i].isSpace())
                ++i;
            if (i < n && (html[i] == QLatin1Char('"') || html[i] == QLatin1Char('\''))) {
                const qsizetype close = html.indexOf(html[i], i + 1);
                if (close < 0)
                    return TagRead::Unclosed;
                value = html.mid(i + 1, close - i - 1);
                i = close + 1;
            } else {
                const qsizetype valueAt = i;
                while (i < n && !html[i].isSpace() && html[i] != QLatin1Char('>'))
                    ++i;
                value = html.mid(valueAt, i - valueAt);
            }
        }
        if (!name.isEmpty() && tag.attributes.size() < MaxTagAttributes)
            tag.attributes.append(
                {name.left(64).toString().toLower(), value.left(MaxAddressChars).toString()});
    }
    return TagRead::Unclosed;
}

// The first tag at or after from that matches; comments are skipped. -1 when none.
template<typename Match>
qsizetype findTag(QStringView html, qsizetype from, HtmlTag &tag, Match match)
{
    while (from < html.size()) {
        const qsizetype lt = html.indexOf(QLatin1Char('<'), from);
        if (lt < 0)
            return -1;
        if (html.mid(lt).startsWith(u"<!--")) {
            const qsizetype end = html.indexOf(u"-->", lt + 4);
            if (end < 0)
                return -1;
            from = end + 3;
            continue;
        }
        switch (readTag(html, lt, tag)) {
        case TagRead::Tag:
            if (match(tag))
                return lt;
            from = tag.end;
            break;
        case TagRead::NotATag:
            from = lt + 1;
            break;
        case TagRead::Unclosed:
            return -1;
        }
    }
    return -1;
}

bool sameText(const QString &a, QLatin1String b)
{
    return a.trimmed().compare(b, Qt::CaseInsensitive) == 0;
}

// The character an entity at html[at] ('&') stands for; *used is its length (1 for a lone '&').
QString decodeEntity(QStringView html, qsizetype at, qsizetype *used)
{
    *used = 1;
    const qsizetype semi = html.mid(at, 12).indexOf(QLatin1Char(';'));
    if (semi < 2)
        return QStringLiteral("&");
    const QStringView name = html.mid(at + 1, semi - 1);
    if (name.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const bool hex = name.size() > 1 && (name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X'));
        const uint cp = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
        if (!ok)
            return QStringLiteral("&");
        *used = semi + 1;
        if (cp == 9 || cp == 10 || cp == 13)
            return QStringLiteral(" ");
        if (cp < 0x20 || (cp >= 0x7f && cp < 0xa0) || (cp >= 0xd800 && cp < 0xe000) || cp > 0x10ffff)
            return QString();
        const char32_t c = cp;
        return QString::fromUcs4(&c, 1);
    }
    static const struct
    {
        const char16_t *name;
        const char16_t *text;
    } named[] = {{u"amp", u"&"},         {u"lt", u"<"},         {u"gt", u">"},        {u"quot", u"\""},
                 {u"apos", u"'"},        {u"nbsp", u" "},       {u"copy", u"\u00a9"}, {u"reg", u"\u00ae"},
                 {u"hellip", u"\u2026"}, {u"mdash", u"\u2014"}, {u"ndash", u"\u2013"}};
    for (const auto &e : named) {
        if (name.compare(QStringView(e.name), Qt::CaseSensitive) == 0) {
            *used = semi + 1;
            return QString::fromUtf16(e.text);
        }
    }
    return QStringLiteral("&");
}

// Blanks collapsed on every line, at most one empty line between paragraphs, none at the ends.
QString tidyLines(const QString &text)
{
    QString out;
    bool gap = false;
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        const QString s = line.toString().simplified();
        if (s.isEmpty()) {
            gap = true;
            continue;
        }
        if (!out.isEmpty())
            out += gap ? QLatin1String("\n\n") : QLatin1String("\n");
        out += s;
        gap = false;
    }
    return out;
}

// The document is well-formed XML within the limits of the directory replies (size, nesting,
// attributes per element): only then is it walked for its values.
bool xmlWithinLimits(const QByteArray &xml)
{
    if (xml.isEmpty() || xml.size() > CoverReplies::MaxReplyBytes)
        return false;
    BaseRadioXmlParser guard;
    if (!guard.addData(xml))
        return false;
    guard.endOfData();
    return guard.walk([](const BaseRadioXmlParser &) {}) == BaseRadioXmlParser::Finished;
}

// Walks a checked XML document and hands each element's own text to the visitor at its end.
class XmlWalk
{
public:
    explicit XmlWalk(const QByteArray &xml)
        : m_xml(xml)
    {}

    // start(name, attributes) at each start tag; end(name, parent, text) at each end tag.
    template<typename Start, typename End>
    void run(Start start, End end)
    {
        while (!m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::StartElement:
                m_stack.append(m_xml.name().toString());
                m_text.clear();
                start(m_stack.constLast(), m_xml.attributes());
                break;
            case QXmlStreamReader::Characters:
                if (m_text.size() < CoverReplies::MaxTextChars)
                    m_text += m_xml.text();
                break;
            case QXmlStreamReader::EndElement: {
                const QString name = m_stack.isEmpty() ? QString() : m_stack.takeLast();
                const QString parent = m_stack.isEmpty() ? QString() : m_stack.constLast();
                if (!end(name, parent, m_text))
                    return;
                m_text.clear();
                break;
            }
            default:
                break;
            }
        }
    }

private:
    QXmlStreamReader m_xml;
    QStringList m_stack;
    QString m_text;
};

int numberAttribute(const QXmlStreamAttributes &attributes, int max)
{
    bool ok = false;
    const int n = attributes.value(QLatin1String("Number")).toInt(&ok);
    return ok && n >= 1 && n <= max ? n : -1;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// AlbumInfo

QString AlbumInfo::imageUrl() const
{
    if (!largeImageUrl.isEmpty())
        return largeImageUrl;
    if (!mediumImageUrl.isEmpty())
        return mediumImageUrl;
    return smallImageUrl;
}

// ---------------------------------------------------------------------------------------------
// Reply readers

namespace CoverReplies {

QList<AlbumInfo> readAmazonService(const QByteArray &xml)
{
    QList<AlbumInfo> out;
    if (!xmlWithinLimits(xml))
        return out;
    AlbumInfo item;
    int itemDepth = 0;
    int depth = 0;
    int disc = -1;
    int track = -1;
    int tracks = 0;
    XmlWalk walk(xml);
    walk.run(
        [&](const QString &name, const QXmlStreamAttributes &attributes) {
            ++depth;
            if (itemDepth == 0) {
                if (name == QLatin1String("Item")) {
                    itemDepth = depth;
                    item = AlbumInfo();
                    tracks = 0;
                }
            } else if (name == QLatin1String("Disc")) {
                disc = numberAttribute(attributes, MaxDiscs);
            } else if (name == QLatin1String("Track")) {
                track = numberAttribute(attributes, MaxTracksPerDisc);
            }
        },
        [&](const QString &name, const QString &parent, const QString &text) {
            const int closing = depth--;
            if (itemDepth == 0)
                return true;
            if (closing == itemDepth) {
                itemDepth = 0;
                if (!item.imageUrl().isEmpty())
                    out.append(item);
                return out.size() < MaxCandidates;
            }
            if (name == QLatin1String("DetailPageURL"))
                item.detailPageUrl = safeUrl(text);
            else if (name == QLatin1String("URL") && parent == QLatin1String("SmallImage"))
                item.smallImageUrl = safeUrl(text);
            else if (name == QLatin1String("URL") && parent == QLatin1String("MediumImage"))
                item.mediumImageUrl = safeUrl(text);
            else if (name == QLatin1String("URL") && parent == QLatin1String("LargeImage"))
                item.largeImageUrl = safeUrl(text);
            else if (name == QLatin1String("Artist") && item.artist.isEmpty())
                item.artist = plainField(text);
            else if (name == QLatin1String("Title") && item.title.isEmpty())
                item.title = plainField(text);
            else if (name == QLatin1String("ReleaseDate") && item.releaseDate.isEmpty())
                item.releaseDate = plainField(text);
            else if (name == QLatin1String("FormattedPrice") && item.formattedPrice.isEmpty())
                item.formattedPrice = plainField(text);
            else if (name == QLatin1String("Disc"))
                disc = -1;
            else if (name == QLatin1String("Track") && parent == QLatin1String("Disc") && disc > 0 &&
                     track > 0 && tracks < MaxDiscs * MaxTracksPerDisc) {
                item.tracks[disc][track] = plainField(text);
                ++tracks;
                track = -1;
            }
            return true;
        });
    return out;
}

QList<AlbumInfo> readGoogleImages(const QString &html, const QString &songText)
{
    QList<AlbumInfo> out;
    const QStringView page = QStringView(html).left(MaxReplyBytes);
    QString previous;
    qsizetype pos = 0;
    for (int round = 0; round < 4; ++round) {
        const qsizetype jpg = page.indexOf(u".jpg", pos);
        if (jpg < 0) {
            qCDebug(lcCover) << "ParseGoogleImages - No Image Found";
            break;
        }
        pos = jpg + 4;
        // Today's image hosts answer on https; older pages still carry http addresses.
        const qsizetype start = qMax(page.lastIndexOf(u"http://", jpg), page.lastIndexOf(u"https://", jpg));
        if (start < 0)
            continue;
        qsizetype end = page.size();
        for (const QChar stop : {QLatin1Char('"'), QLatin1Char('\\')}) {
            const qsizetype at = page.indexOf(stop, start);
            if (at >= 0 && at < end)
                end = at;
        }
        if (end - start > MaxAddressChars)
            continue;
        const QString address = page.mid(start, end - start).toString();
        if (address == previous)
            continue;
        previous = address;
        const QString url = safeUrl(address);
        if (url.isEmpty())
            continue;
        AlbumInfo candidate;
        candidate.smallImageUrl = candidate.mediumImageUrl = candidate.largeImageUrl = url;
        candidate.text = songText;
        out.append(candidate);
    }
    return out;
}

QList<AlbumInfo> readLastFMImages(const QByteArray &xml)
{
    QList<AlbumInfo> out;
    if (!xmlWithinLimits(xml))
        return out;
    AlbumInfo c;
    QString size;
    QString trackName, artistName, albumArtist, albumTitle, trackUrl;
    XmlWalk walk(xml);
    walk.run(
        [&](const QString &name, const QXmlStreamAttributes &attributes) {
            if (name == QLatin1String("image"))
                size = attributes.value(QLatin1String("size")).toString();
        },
        [&](const QString &name, const QString &parent, const QString &text) {
            if (name == QLatin1String("image")) {
                // The service's placeholder stands for "no cover": never shown as one.
                const QString url =
                    text.contains(QLatin1String("default_album_")) ? QString() : safeUrl(text);
                if (size == QLatin1String("small") && c.smallImageUrl.isEmpty())
                    c.smallImageUrl = url;
                else if (size == QLatin1String("medium") && c.mediumImageUrl.isEmpty())
                    c.mediumImageUrl = url;
                else if (size == QLatin1String("extralarge") && c.largeImageUrl.isEmpty())
                    c.largeImageUrl = url;
            } else if (name == QLatin1String("content") && c.text.isEmpty()) {
                c.text = htmlToPlainText(text);
            } else if (name == QLatin1String("name") && parent == QLatin1String("track")) {
                trackName = plainField(text);
            } else if (name == QLatin1String("name") && parent == QLatin1String("artist")) {
                artistName = plainField(text);
            } else if (name == QLatin1String("artist") && parent == QLatin1String("album")) {
                albumArtist = plainField(text);
            } else if (name == QLatin1String("title") && parent == QLatin1String("album")) {
                albumTitle = plainField(text);
            } else if (name == QLatin1String("url") && parent == QLatin1String("track")) {
                trackUrl = safeUrl(text);
            }
            return true;
        });
    c.artist = artistName.isEmpty() ? albumArtist : artistName;
    c.title = albumTitle.isEmpty() ? trackName : albumTitle;
    c.detailPageUrl = trackUrl;
    if (!c.imageUrl().isEmpty())
        out.append(c);
    return out;
}

QList<AlbumInfo> readCustomImages(const QByteArray &json, const QString &songText)
{
    QList<AlbumInfo> out;
    if (json.isEmpty() || json.size() > MaxReplyBytes)
        return out;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return out;
    const QJsonValue results = doc.object().value(QLatin1String("results"));
    if (!results.isArray())
        return out;
    for (const QJsonValue v : results.toArray()) {
        const QJsonObject o = v.toObject();
        auto text = [&o](const char *key) { return plainField(o.value(QLatin1String(key)).toString()); };
        auto link = [&o](const char *key) { return safeUrl(o.value(QLatin1String(key)).toString()); };
        AlbumInfo c;
        c.largeImageUrl = link("artworkUrl170");
        c.mediumImageUrl = link("artworkUrl100");
        c.smallImageUrl = link("artworkUrl60");
        c.title = text("collectionCensoredName");
        if (c.title.isEmpty())
            c.title = text("collectionName");
        c.artist = text("artistName");
        c.detailPageUrl = link("trackViewUrl");
        c.previewUrl = link("previewUrl");
        c.genre = text("primaryGenreName");
        c.text = songText;
        if (c.imageUrl().isEmpty())
            continue;
        out.append(c);
        if (out.size() >= MaxCandidates)
            break;
    }
    return out;
}

QString readLyrics(const QString &html)
{
    const QStringView page = QStringView(html).left(MaxReplyBytes);
    HtmlTag tag;
    const qsizetype at = findTag(page, 0, tag, [](const HtmlTag &t) {
        if (t.name != QLatin1String("td"))
            return false;
        const QString classes = t.attribute(QLatin1String("class"));
        for (const QStringView c : QStringView(classes).split(QLatin1Char(' '), Qt::SkipEmptyParts))
            if (c.compare(QLatin1String("td1"), Qt::CaseInsensitive) == 0)
                return true;
        return false;
    });
    if (at < 0)
        return QString();
    qsizetype end = page.indexOf(u"</table>", tag.end, Qt::CaseInsensitive);
    if (end < 0)
        end = page.size();
    return htmlToPlainText(page.mid(tag.end, end - tag.end));
}

ArtistPage readArtistPage(const QString &html)
{
    ArtistPage result;
    const QStringView page = QStringView(html).left(MaxReplyBytes);
    HtmlTag tag;

    if (findTag(page, 0, tag, [](const HtmlTag &t) {
            return t.name == QLatin1String("meta") &&
                   sameText(t.attribute(QLatin1String("http-equiv")), QLatin1String("refresh"));
        }) >= 0) {
        const QString content = tag.attribute(QLatin1String("content"));
        const qsizetype url = content.indexOf(QLatin1String("url="), 0, Qt::CaseInsensitive);
        if (url >= 0) {
            QString target = content.mid(url + 4).trimmed();
            if (target.size() >= 2 &&
                (target.startsWith(QLatin1Char('\'')) || target.startsWith(QLatin1Char('"'))))
                target = target.mid(1, target.indexOf(target.at(0), 1) - 1);
            result.redirect = target.trimmed();
        }
    }

    if (findTag(page, 0, tag, [](const HtmlTag &t) {
            return t.name == QLatin1String("div") &&
                   t.attribute(QLatin1String("id")) == QLatin1String("wiki");
        }) >= 0) {
        qsizetype end = page.indexOf(u"</div>", tag.end, Qt::CaseInsensitive);
        if (end < 0)
            end = page.size();
        result.text = htmlToPlainText(page.mid(tag.end, end - tag.end));
        if (!result.text.isEmpty())
            return result;
    }

    if (findTag(page, 0, tag, [](const HtmlTag &t) {
            return t.attribute(QLatin1String("id")) == QLatin1String("staticSideBarContents");
        }) >= 0) {
        const qsizetype begin = tag.end;
        HtmlTag hidden;
        qsizetype end = findTag(page, begin, hidden, [](const HtmlTag &t) {
            QString style = t.attribute(QLatin1String("style")).toLower();
            style.remove(QLatin1Char(' '));
            return style.startsWith(QLatin1String("display:none"));
        });
        if (end < 0)
            end = page.size();
        result.text = htmlToPlainText(page.mid(begin, end - begin));
    }
    return result;
}

QString htmlToPlainText(QStringView html)
{
    QString out;
    const qsizetype n = html.size();
    qsizetype i = 0;
    while (i < n && out.size() < MaxTextChars) {
        const QChar c = html[i];
        if (c == QLatin1Char('<')) {
            if (html.mid(i).startsWith(u"<!--")) {
                const qsizetype end = html.indexOf(u"-->", i + 4);
                i = end < 0 ? n : end + 3;
                continue;
            }
            HtmlTag tag;
            const TagRead read = readTag(html, i, tag);
            if (read == TagRead::Unclosed)
                break;
            if (read == TagRead::NotATag) {
                out += c;
                ++i;
                continue;
            }
            i = tag.end;
            const QString &name = tag.name;
            if (name == QLatin1String("br")) {
                out += QLatin1Char('\n');
            } else if (name == QLatin1String("p") || name == QLatin1String("/p")) {
                out += QLatin1String("\n\n");
            } else if (name == QLatin1String("div") || name == QLatin1String("/div") ||
                       name == QLatin1String("tr") || name == QLatin1String("li") ||
                       name == QLatin1String("/table") ||
                       (name.size() == 2 && name.at(0) == QLatin1Char('h') && name.at(1).isDigit()) ||
                       (name.size() == 3 && name.startsWith(QLatin1String("/h")) && name.at(2).isDigit())) {
                out += QLatin1Char('\n');
            } else if (name == QLatin1String("script") || name == QLatin1String("style")) {
                const qsizetype end =
                    html.indexOf(QString(QLatin1String("</") + name), i, Qt::CaseInsensitive);
                const qsizetype gt = end < 0 ? -1 : html.indexOf(QLatin1Char('>'), end);
                i = gt < 0 ? n : gt + 1;
            }
            continue;
        }
        if (c == QLatin1Char('&')) {
            qsizetype used = 1;
            out += decodeEntity(html, i, &used);
            i += used;
            continue;
        }
        // Line breaks of the source are blanks in HTML; control characters never pass.
        out += (c.isSpace() || isControl(c)) ? QLatin1Char(' ') : c;
        ++i;
    }
    return clipText(tidyLines(out), MaxTextChars);
}

QImage decodeImage(const QByteArray &bytes, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return QImage();
    };
    if (bytes.isEmpty())
        return fail(QStringLiteral("empty reply"));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(64); // MiB
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > MaxImageSide || size.height() > MaxImageSide))
        return fail(QStringLiteral("image of %1 x %2 pixels").arg(size.width()).arg(size.height()));
    QImage image;
    if (!reader.read(&image))
        return fail(reader.errorString());
    if (image.width() > MaxImageSide || image.height() > MaxImageSide)
        return fail(QStringLiteral("image of %1 x %2 pixels").arg(image.width()).arg(image.height()));
    return image;
}

} // namespace CoverReplies

} // namespace BASS
