#include "coverart.h"

#include "baseradioapi.h"

#include <QBuffer>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTimer>
#include <QXmlStreamReader>

#include <algorithm>

Q_LOGGING_CATEGORY(lcCover, "tunora.coverart")

namespace BASS {

namespace {

constexpr qsizetype MaxFieldChars = 1024;
constexpr qsizetype MaxAddressChars = 2048;
constexpr int MaxTagAttributes = 64;
constexpr int MaxDiscs = 20;
constexpr int MaxTracksPerDisc = 200;
constexpr const char *TrackInfoKey = "7d41c0e9a2b85f63d19e0c4a7b2f58e1";

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
// AlbumInfo, DownloadInfo

QString AlbumInfo::imageUrl() const
{
    if (!largeImageUrl.isEmpty())
        return largeImageUrl;
    if (!mediumImageUrl.isEmpty())
        return mediumImageUrl;
    return smallImageUrl;
}

DownloadInfo::DownloadInfo(const Song &s, int k)
    : song(s)
    , kind(k)
{}

DownloadInfo::~DownloadInfo()
{
    if (deadline) {
        deadline->stop();
        deadline->deleteLater();
    }
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

// ---------------------------------------------------------------------------------------------
// CoverArt

CoverArt::CoverArt(QObject *parent)
    : QObject(parent)
    , m_sourceOrder(defaultSourceOrder())
{
    createClient();
}

CoverArt::~CoverArt()
{
    // Nothing may be reported from the destructor: the client goes with its replies unheard.
    if (m_http)
        m_http->disconnect(this);
    m_downloads.clear();
}

QList<int> CoverArt::defaultSourceOrder()
{
    return {SourceCustom, SourceShopUS, SourceTrackInfo, SourceImageSearchSafe};
}

void CoverArt::setSourceOrder(const QList<int> &sources)
{
    m_sourceOrder.clear();
    for (const int s : sources) {
        const bool known =
            (s >= SourceShopUS && s <= SourceShopCA) || (s >= SourceImageSearchSafe && s <= SourceCustom);
        if (known && !m_sourceOrder.contains(s))
            m_sourceOrder.append(s);
    }
}

void CoverArt::setLookupTimeout(int ms)
{
    m_lookupTimeoutMs = qMax(50, ms);
    m_http->setTimeout(m_lookupTimeoutMs);
}

void CoverArt::setMaxDownloadSize(qint64 bytes)
{
    m_maxDownloadBytes = qBound<qint64>(1024, bytes, CoverReplies::MaxReplyBytes);
    m_http->setMaxSize(m_maxDownloadBytes);
}

QString CoverArt::trimRoot(const QString &root)
{
    QString r = root.trimmed();
    while (r.endsWith(QLatin1Char('/')))
        r.chop(1);
    return r;
}

void CoverArt::createClient()
{
    m_http = new QHttpExt(this);
    m_http->setRaw(true);
    m_http->setFollowRedirects(true);
    m_http->setMaxRedirects(5);
    m_http->setMaxSize(m_maxDownloadBytes);
    m_http->setTimeout(m_lookupTimeoutMs);
    connect(m_http, &QHttpExt::sig_Finished, this, &CoverArt::slot_coverArtFinished);
    connect(m_http, &QHttpExt::sig_Redirect, this, &CoverArt::slot_redirect);
}

QString CoverArt::StatusText(status st)
{
    switch (st) {
    case StatusSearchingCover:
        return tr("Searching for cover art...");
    case StatusCoverFound:
        return tr("Cover art found");
    case StatusCoverNotFound:
        return tr("Cover art not found");
    case StatusSearchingLyrics:
        return tr("Searching for lyrics...");
    case StatusLyricsFound:
        return tr("Lyrics Found");
    case StatusLyricsNotFound:
        return tr("Lyrics not found");
    default:
        return QString();
    }
}

QString CoverArt::SourceNameKey(int source)
{
    switch (source) {
    case SourceShopUS:
        return QStringLiteral("L_COUNTRY_USA");
    case SourceShopUK:
        return QStringLiteral("L_COUNTRY_UK");
    case SourceShopDE:
        return QStringLiteral("L_COUNTRY_GERMANY");
    case SourceShopFR:
        return QStringLiteral("L_COUNTRY_FRANCE");
    case SourceShopJP:
        return QStringLiteral("L_COUNTRY_JAPAN");
    case SourceShopCA:
        return QStringLiteral("L_COUNTRY_CANADA");
    case SourceImageSearchSafe:
    case SourceImageSearch:
        return QStringLiteral("Google");
    default:
        return QString();
    }
}

QPixmap CoverArt::Pixmap() const
{
    return QPixmap::fromImage(m_image);
}

bool CoverArt::IsLookingUp() const
{
    for (const auto &entry : m_downloads)
        if (entry.second->kind == DownloadInfo::AlbumSearch ||
            entry.second->kind == DownloadInfo::ImageDownload)
            return true;
    return false;
}

void CoverArt::emitProcess(coverArtType type)
{
    emit sig_coverArtProcess(type);
}

void CoverArt::emitStatus(status st)
{
    emit sig_statusChanged(st);
}

// ---------------------------------------------------------------------------------------------
// Addresses

QString CoverArt::BuildLookupUrl(int source, const QString &artist, const QString &title) const
{
    // "Song (Live) [Remastered]" is searched as "Song".
    QString t = title;
    if (const qsizetype at = t.indexOf(QLatin1Char('[')); at > 0)
        t.truncate(at);
    if (const qsizetype at = t.indexOf(QLatin1Char('(')); at > 0)
        t.truncate(at);
    QString a = artist;
    for (QString *s : {&a, &t}) {
        s->replace(QLatin1Char('`'), QLatin1Char('\''));
        s->remove(QLatin1Char('\''));
        *s = s->trimmed();
    }
    const bool imageSearch = source == SourceImageSearchSafe || source == SourceImageSearch;
    auto clean = [imageSearch](QString s) {
        s.replace(QLatin1Char('_'), QLatin1Char(' '));
        s.remove(QLatin1String("&#"));
        if (!imageSearch)
            s.replace(QLatin1Char('&'), QLatin1String("and"));
        s.remove(QLatin1Char('?'));
        s.remove(QLatin1Char('/'));
        s.remove(QLatin1Char('\''));
        return s.simplified();
    };

    switch (source) {
    case SourceShopUS:
    case SourceShopUK:
    case SourceShopDE:
    case SourceShopFR:
    case SourceShopJP:
    case SourceShopCA: {
        static const char *const countries[] = {"US", "UK", "DE", "FR", "JP", "CA"};
        if (m_shopRoot.isEmpty())
            return QString();
        return m_shopRoot + QLatin1String("/amazonsearch.aspx?artist=") + encode(clean(a)) +
               QLatin1String("&title=") + encode(clean(t)) + QLatin1String("&dest=") +
               QLatin1String(countries[source - SourceShopUS]);
    }
    case SourceImageSearchSafe:
    case SourceImageSearch: {
        if (m_imageRoot.isEmpty())
            return QString();
        QString query = a;
        if (!t.isEmpty()) {
            query += QLatin1Char(' ');
            query += source == SourceImageSearchSafe ? QLatin1Char('"') + t + QLatin1Char('"') : t;
        }
        return m_imageRoot + QLatin1String("/images?q=") + encodePlus(clean(query)) +
               (source == SourceImageSearchSafe
                    ? QLatin1String("&hl=en&lr=&start=&sa=N&safe=on&filter=0&imgw=300&imgh=300")
                    : QLatin1String("&hl=en&lr=&start=&sa=N&safe=off&filter=0"));
    }
    case SourceTrackInfo:
        if (m_trackInfoRoot.isEmpty())
            return QString();
        return m_trackInfoRoot + QLatin1String("/2.0/?method=track.getinfo&api_key=") +
               QLatin1String(TrackInfoKey) + QLatin1String("&artist=") + encode(clean(a)) +
               QLatin1String("&track=") + encode(clean(t));
    case SourceCustom: {
        if (m_customAddress.isEmpty())
            return QString();
        QString address = m_customAddress;
        address.replace(QLatin1String("{1}"), encodePlus(clean(a)));
        address.replace(QLatin1String("{2}"), encodePlus(clean(t)));
        return address;
    }
    default:
        return QString();
    }
}

QString CoverArt::NormalizeName(const QString &text) const
{
    QString s = text.simplified();
    s.replace(QLatin1Char('&'), QLatin1String(" and "));
    s = s.simplified();
    // A page is about the first artist of a collaboration.
    for (const char *marker : {" with ", " feat. ", " featuring ", " ft. "}) {
        const qsizetype at = s.indexOf(QLatin1String(marker), 0, Qt::CaseInsensitive);
        if (at > 0)
            s.truncate(at);
    }
    // Station lists often file "The Name" as "Name, The".
    if (s.size() > 5 && s.endsWith(QLatin1String(", the"), Qt::CaseInsensitive))
        s = QLatin1String("The ") + s.left(s.size() - 5).trimmed();
    return s.trimmed();
}

// ---------------------------------------------------------------------------------------------
// Downloads

bool CoverArt::IsDownloading(int kind, const Song &song) const
{
    for (const auto &entry : m_downloads) {
        const DownloadInfo &d = *entry.second;
        if (d.kind == kind && d.song.artist() == song.artist() && d.song.title() == song.title())
            return true;
    }
    return false;
}

DownloadInfo *CoverArt::FindDownload(int id) const
{
    const auto it = m_downloads.find(id);
    return it == m_downloads.end() ? nullptr : it->second.get();
}

void CoverArt::RemoveDownload(int id)
{
    m_downloads.erase(id);
}

int CoverArt::startDownload(const QString &address, int kind, const Song &song, int redirects)
{
    // Request ids are hashes of the address: one address is fetched once at a time, and never
    // while the report of an abandoned transfer of it is still on its way.
    const int expected = addressHash(address);
    if (m_downloads.count(expected) || m_abandoned.contains(expected)) {
        qCDebug(lcCover).noquote() << "CoverArt::startDownload already fetching" << maskedAddress(address);
        return 0;
    }
    const int id = m_http->get(address);
    if (id == 0) {
        qCDebug(lcCover).noquote() << "CoverArt::startDownload" << m_http->errorText();
        return 0;
    }
    auto download = std::make_unique<DownloadInfo>(song, kind);
    download->redirects = redirects;
    download->deadline = new QTimer(this);
    download->deadline->setSingleShot(true);
    download->deadline->setInterval(m_lookupTimeoutMs);
    DownloadInfo *raw = download.get();
    // The id changes when the transfer is redirected: look the record up when the time is over.
    connect(download->deadline, &QTimer::timeout, this, [this, raw] {
        for (const auto &entry : m_downloads)
            if (entry.second.get() == raw) {
                deadlineReached(entry.first);
                return;
            }
    });
    download->deadline->start();
    m_downloads[id] = std::move(download);
    return id;
}

void CoverArt::abandon(std::initializer_list<int> kinds)
{
    for (auto it = m_downloads.begin(); it != m_downloads.end();) {
        const int kind = it->second->kind;
        if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) {
            ++it;
            continue;
        }
        m_abandoned.append(it->first);
        m_http->abort(it->first);
        it = m_downloads.erase(it);
    }
    for (const int kind : kinds) {
        if (kind == DownloadInfo::AlbumSearch || kind == DownloadInfo::ImageDownload)
            ++m_coverGen;
        else if (kind == DownloadInfo::LyricsPage)
            ++m_lyricsGen;
        else
            ++m_artistGen;
    }
}

void CoverArt::Stop()
{
    qCDebug(lcCover) << "CoverArt::Stop";
    ++m_coverGen;
    ++m_lyricsGen;
    ++m_artistGen;
    m_downloads.clear();
    m_abandoned.clear();
    m_artistPages.clear();
    // A fresh client: whatever the old one still has on its way is never heard of.
    QHttpExt *old = m_http;
    old->disconnect(this);
    old->abortAll();
    old->deleteLater();
    createClient();
}

void CoverArt::slot_redirect(int oldId, int newId)
{
    const auto it = m_downloads.find(oldId);
    if (it == m_downloads.end())
        return;
    std::unique_ptr<DownloadInfo> download = std::move(it->second);
    m_downloads.erase(it);
    if (m_downloads.count(newId)) {
        // Redirected to an address that is already being fetched: that download answers for both.
        qCDebug(lcCover) << "CoverArt::slot_redirect to an address already fetched";
        downloadEnded(std::move(download), true, QByteArray(), QUrl());
        return;
    }
    m_downloads[newId] = std::move(download);
}

void CoverArt::deadlineReached(int id)
{
    const auto it = m_downloads.find(id);
    if (it == m_downloads.end())
        return;
    std::unique_ptr<DownloadInfo> download = std::move(it->second);
    m_downloads.erase(it);
    qCDebug(lcCover) << "CoverArt: no answer within" << m_lookupTimeoutMs << "ms, http id" << id;
    m_abandoned.append(id);
    m_http->abort(id);
    downloadEnded(std::move(download), true, QByteArray(), QUrl());
}

void CoverArt::slot_coverArtFinished(const QHttpExt::httpInfo *info)
{
    qCDebug(lcCover) << "slot_coverArtFinished http id " << info->id;
    const auto it = m_downloads.find(info->id);
    if (it == m_downloads.end()) {
        // The report of a download that was abandoned (another song, a deadline): its lookup has
        // already gone on without it.
        m_abandoned.removeOne(info->id);
        qCDebug(lcCover) << "DownloadInfo not found for http id " << info->id;
        return;
    }
    if (m_abandoned.removeOne(info->id)) {
        // An abandoned transfer of the same address reports before the one now remembered.
        qCDebug(lcCover) << "CoverArt: report of an abandoned transfer, http id" << info->id;
        return;
    }
    std::unique_ptr<DownloadInfo> download = std::move(it->second);
    m_downloads.erase(it);
    if (info->failed)
        qCDebug(lcCover).noquote() << "slot_coverArtFinished Error: " << download->kind << info->error;
    downloadEnded(std::move(download), info->failed, info->failed ? QByteArray() : info->data, info->url);
}

void CoverArt::downloadEnded(std::unique_ptr<DownloadInfo> download, bool failed, const QByteArray &body,
                             const QUrl &url)
{
    if (download->deadline)
        download->deadline->stop();
    switch (download->kind) {
    case DownloadInfo::AlbumSearch: {
        const quint64 gen = m_coverGen;
        m_candidates.clear();
        m_candidateIndex = 0;
        ParseAlbumReply(*download, body);
        if (gen != m_coverGen)
            return;
        if (DownloadNextImage() || gen != m_coverGen)
            return;
        lookupNextSource();
        break;
    }
    case DownloadInfo::ImageDownload: {
        QString error = QStringLiteral("download failed");
        const QImage image = failed ? QImage() : CoverReplies::decodeImage(body, &error);
        if (!image.isNull() && m_candidateIndex < m_candidates.size()) {
            m_candidates[m_candidateIndex].image = image;
            m_current = m_candidates.at(m_candidateIndex);
            m_image = image;
            finishCover(true);
            return;
        }
        qCDebug(lcCover).noquote() << "CoverArt: candidate" << m_candidateIndex << "unusable:" << error;
        const quint64 gen = m_coverGen;
        ++m_candidateIndex;
        if (DownloadNextImage() || gen != m_coverGen)
            return;
        lookupNextSource();
        break;
    }
    case DownloadInfo::LyricsPage:
        ParseLyrics(*download, body);
        break;
    case DownloadInfo::ArtistInfoPage:
        ParseArtistInfo(*download, body, url);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Cover lookup

void CoverArt::DownloadAlbumInfo(const Song &song)
{
    if (!m_http || song.IsEmpty())
        return;
    if (IsDownloading(DownloadInfo::AlbumSearch, song) || IsDownloading(DownloadInfo::ImageDownload, song)) {
        qCDebug(lcCover).noquote() << "CoverArt::DownloadAlbumInfo already looking up" << song.DisplayText();
        return;
    }
    abandon({DownloadInfo::AlbumSearch, DownloadInfo::ImageDownload});
    const quint64 gen = m_coverGen;
    m_lookupSong = song;
    m_sourcePos = 0;
    m_candidates.clear();
    m_candidateIndex = 0;
    m_current = AlbumInfo();
    m_image = QImage();

    emitProcess(LookupStarted);
    if (gen != m_coverGen)
        return;
    qCDebug(lcCover) << "Start DownloadAlbumInfo\n";
    emitStatus(StatusSearchingCover);
    if (gen != m_coverGen)
        return;
    lookupNextSource();
}

void CoverArt::lookupNextSource()
{
    while (m_sourcePos < m_sourceOrder.size()) {
        const int source = m_sourceOrder.at(m_sourcePos++);
        const QString address = BuildLookupUrl(source, m_lookupSong.artist(), m_lookupSong.title());
        if (address.isEmpty())
            continue;
        m_candidates.clear();
        m_candidateIndex = 0;
        Song song(m_lookupSong);
        song.setCoverArtSource(source);
        qCDebug(lcCover).noquote() << "CoverArt::lookupNextSource" << source << maskedAddress(address);
        if (startDownload(address, DownloadInfo::AlbumSearch, song))
            return;
    }
    finishCover(false);
}

void CoverArt::finishCover(bool found)
{
    const quint64 gen = m_coverGen;
    if (!found) {
        m_current = AlbumInfo();
        m_image = QImage();
    }
    emitStatus(found ? StatusCoverFound : StatusCoverNotFound);
    if (gen != m_coverGen)
        return;
    emitProcess(found ? ImageReady : CoverNotFound);
    if (gen != m_coverGen)
        return;
    emitProcess(LookupEnded);
}

bool CoverArt::DownloadNextImage()
{
    const quint64 gen = m_coverGen;
    for (; m_candidateIndex < m_candidates.size(); ++m_candidateIndex) {
        const QString address = m_candidates.at(m_candidateIndex).imageUrl();
        if (address.isEmpty())
            continue;
        emitProcess(ImageRequested);
        if (gen != m_coverGen)
            return false;
        if (startDownload(address, DownloadInfo::ImageDownload, m_lookupSong))
            return true;
    }
    return false;
}

void CoverArt::AddCandidate(const AlbumInfo &candidate)
{
    if (m_candidates.size() < CoverReplies::MaxCandidates)
        m_candidates.append(candidate);
}

void CoverArt::ParseAlbumReply(const DownloadInfo &download, const QByteArray &body)
{
    const QString songText = download.song.DisplayText();
    switch (download.song.coverArtSource()) {
    case SourceShopUS:
    case SourceShopUK:
    case SourceShopDE:
    case SourceShopFR:
    case SourceShopJP:
    case SourceShopCA:
        ParseAmazonService(body);
        break;
    case SourceImageSearchSafe:
    case SourceImageSearch:
        ParseGoogleImages(body, songText);
        break;
    case SourceTrackInfo:
        ParseLastFMImages(body);
        break;
    case SourceCustom:
        ParseCustomImages(body, songText);
        break;
    default:
        break;
    }
}

void CoverArt::ParseAmazonService(const QByteArray &body)
{
    qCDebug(lcCover) << "Start ParseAmazonService\n";
    for (const AlbumInfo &candidate : CoverReplies::readAmazonService(body)) {
        qCDebug(lcCover) << "ParseAmazonService Found!";
        for (auto disc = candidate.tracks.cbegin(); disc != candidate.tracks.cend(); ++disc)
            qCDebug(lcCover) << "Track Found!" << disc.key() << disc.value().size();
        AddCandidate(candidate);
    }
    qCDebug(lcCover) << "End ParseAmazonService";
}

void CoverArt::ParseGoogleImages(const QByteArray &body, const QString &songText)
{
    qCDebug(lcCover) << "Start ParseGoogleImages";
    const QList<AlbumInfo> found = CoverReplies::readGoogleImages(bodyText(body), songText);
    for (const AlbumInfo &candidate : found)
        AddCandidate(candidate);
    qCDebug(lcCover).noquote() << "End ParseGoogleImages URL="
                               << (found.isEmpty() ? QString() : found.constLast().largeImageUrl);
}

void CoverArt::ParseLastFMImages(const QByteArray &body)
{
    qCDebug(lcCover) << "Start ParseLastFMImages";
    const QList<AlbumInfo> found = CoverReplies::readLastFMImages(body);
    if (found.isEmpty())
        qCDebug(lcCover) << "ParseLastFM Failed";
    for (const AlbumInfo &candidate : found)
        AddCandidate(candidate);
}

void CoverArt::ParseCustomImages(const QByteArray &body, const QString &songText)
{
    qCDebug(lcCover) << "Start ParseCustomImages";
    const QList<AlbumInfo> found = CoverReplies::readCustomImages(body, songText);
    if (found.isEmpty())
        qCDebug(lcCover) << "ParseCustomImages Failed";
    for (const AlbumInfo &candidate : found)
        AddCandidate(candidate);
    qCDebug(lcCover) << "End ParseCustomImages";
}

// ---------------------------------------------------------------------------------------------
// Lyrics

void CoverArt::DownloadLyrics(const Song &song)
{
    if (!m_http || song.IsEmpty() || IsDownloading(DownloadInfo::LyricsPage, song))
        return;
    abandon({DownloadInfo::LyricsPage});
    const quint64 gen = m_lyricsGen;
    m_lyrics.clear();

    // "&" is spelled "and" in the site's page names.
    auto part = [](QString s) {
        s.remove(QLatin1String("&#"));
        s.replace(QLatin1Char('&'), QLatin1String("and"));
        return s.simplified();
    };
    const QString artist = part(song.artist());
    const QString title = part(song.title());
    QString address;
    if (!m_lyricsRoot.isEmpty() && !artist.isEmpty() && !title.isEmpty())
        address = m_lyricsRoot + QLatin1Char('/') + encode(artist) + QLatin1Char('/') + encode(title) +
                  QLatin1String("-Lyrics.html");

    emitStatus(StatusSearchingLyrics);
    if (gen != m_lyricsGen)
        return;
    emitProcess(LyricsStarted);
    if (gen != m_lyricsGen)
        return;
    qCDebug(lcCover).noquote() << "Start Download Lyrics " << address;
    if (!address.isEmpty() && startDownload(address, DownloadInfo::LyricsPage, song))
        return;
    emitStatus(StatusLyricsNotFound);
    if (gen != m_lyricsGen)
        return;
    emitProcess(LyricsReady);
}

void CoverArt::ParseLyrics(const DownloadInfo &, const QByteArray &body)
{
    qCDebug(lcCover) << "Start Parse Lyrics";
    const quint64 gen = m_lyricsGen;
    m_lyrics = CoverReplies::readLyrics(bodyText(body));
    if (!m_lyrics.isEmpty())
        qCDebug(lcCover) << "Lyrics Found";
    emitStatus(m_lyrics.isEmpty() ? StatusLyricsNotFound : StatusLyricsFound);
    if (gen != m_lyricsGen)
        return;
    emitProcess(LyricsReady);
    qCDebug(lcCover) << "End Parse Lyrics";
}

// ---------------------------------------------------------------------------------------------
// Artist information

void CoverArt::DownloadArtistInfoFor(const Song &song)
{
    if (!m_http || song.artist().trimmed().isEmpty() || IsDownloading(DownloadInfo::ArtistInfoPage, song))
        return;
    const QString name = NormalizeName(song.artist());
    QStringList pages;
    if (!m_artistWikiRoot.isEmpty())
        pages << m_artistWikiRoot + QLatin1String("/music/") + encodePlus(name) + QLatin1String("/+wiki");
    if (!m_artistInfoRoot.isEmpty())
        pages << m_artistInfoRoot + QLatin1String("/artist/") + encode(name);
    beginArtist(song, pages);
}

void CoverArt::DownloadArtistInfo(const Song &song, const QString &address)
{
    if (!m_http || IsDownloading(DownloadInfo::ArtistInfoPage, song))
        return;
    beginArtist(song, {address});
}

void CoverArt::beginArtist(const Song &song, const QStringList &pages)
{
    abandon({DownloadInfo::ArtistInfoPage});
    const quint64 gen = m_artistGen;
    m_artistSong = song;
    m_artistPages = pages;
    m_artistText.clear();
    m_artistHtml.clear();
    emitStatus(StatusSearchingArtist);
    if (gen != m_artistGen)
        return;
    emitProcess(ArtistInfoStarted);
    if (gen != m_artistGen)
        return;
    startArtistPage();
}

void CoverArt::startArtistPage()
{
    while (!m_artistPages.isEmpty()) {
        const QString address = m_artistPages.takeFirst();
        qCDebug(lcCover).noquote() << "Start Download Artist Info " << maskedAddress(address);
        if (startDownload(address, DownloadInfo::ArtistInfoPage, m_artistSong))
            return;
    }
    finishArtist();
}

void CoverArt::ParseArtistInfo(const DownloadInfo &download, const QByteArray &body, const QUrl &pageUrl)
{
    qCDebug(lcCover) << "Start Parse Artist Info";
    const CoverReplies::ArtistPage page = CoverReplies::readArtistPage(bodyText(body));
    if (!page.redirect.isEmpty()) {
        qCDebug(lcCover) << "Artist Info Redirecting...";
        const QString target = safeUrl(pageUrl.resolved(QUrl(page.redirect, QUrl::TolerantMode)).toString());
        if (!target.isEmpty() && download.redirects < MaxPageRedirects) {
            qCDebug(lcCover).noquote() << "Artist info redirecting to" << maskedAddress(target);
            if (startDownload(target, DownloadInfo::ArtistInfoPage, download.song, download.redirects + 1))
                return;
        }
    }
    if (!page.text.isEmpty()) {
        qCDebug(lcCover) << "Artist Info Found";
        m_artistText = page.text;
        finishArtist();
        return;
    }
    startArtistPage();
}

QString CoverArt::notFoundPage(const QString &artist) const
{
    QString html = QLatin1String("<html><b>") + tr("Nothing found about") + QLatin1Char(' ') +
                   artist.toHtmlEscaped() + QLatin1String("</b><br>");
    if (!m_webSearchRoot.isEmpty()) {
        const QString href = m_webSearchRoot + QLatin1String("/search?q=") + encodePlus(artist);
        html += QLatin1String("<a href=\"") + href.toHtmlEscaped() + QLatin1String("\">") +
                tr("Click here to search Google in your default browser") + QLatin1String("</a>");
    }
    return html + QLatin1String("</html>");
}

void CoverArt::finishArtist()
{
    const quint64 gen = m_artistGen;
    if (m_artistText.isEmpty()) {
        qCDebug(lcCover) << "Artist Info Not Found";
        m_artistHtml = notFoundPage(m_artistSong.artist().simplified());
    } else {
        m_artistHtml = QLatin1String("<html>") + plainToHtml(m_artistText) + QLatin1String("</html>");
    }
    emitStatus(StatusArtistFinished);
    if (gen != m_artistGen)
        return;
    emitProcess(ArtistInfoReady);
    qCDebug(lcCover) << "End Parse Artist Info";
}

} // namespace BASS
