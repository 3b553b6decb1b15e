// Turning a stream title into one artist and one song: templates, split rules, cleaning and the
// acceptance into the channel's current song.

#include "metadata.h"

#include "metadatascan.h"
#include "song.h"
#include "titlefilter.h"

#include <QDateTime>
#include <QDebug>

namespace BASS {

using MetaScan::Cursor;

namespace {

QString bounded(const QString &text)
{
    return text.size() > MaxMetaBlockBytes ? text.left(MaxMetaBlockBytes) : text;
}

// Stream titles are untrusted: keep control characters out of the debug output.
QString printable(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    }
    return out;
}

void log(const QString &line)
{
    qDebug().noquote() << line;
}

// A template for blocks whose form is recognisable on its own, or an empty text.
QString chooseTemplate(const QString &rawBlock)
{
    if (rawBlock.contains(u"&artist=", Qt::CaseInsensitive) &&
        rawBlock.contains(u"&title=", Qt::CaseInsensitive) &&
        !rawBlock.contains(u"StreamTitle=", Qt::CaseInsensitive))
        return QStringLiteral("<s>artist=<Artist>&<s>title=<Song>&");
    if (rawBlock.contains(u"<songtitle>", Qt::CaseInsensitive) &&
        rawBlock.contains(u"<artistname>", Qt::CaseInsensitive))
        return QStringLiteral("<s>songtitle><Song></songtitle><s>artistname><Artist></artistname");
    return QString();
}

// The "artist - song" split of one text, with the programme-name and hyphenated-name rules.
void splitAtDash(QStringView text, QString *artist, QString *song)
{
    Cursor c(text);
    QStringView sep = u"-";
    if (text.count(QLatin1Char('-')) > 1 && !text.contains(u"(*") && !text.contains(u" -- ")) {
        // Two " - " mean a leading field such as a programme name: drop it. Otherwise the dash
        // that separates is the one with a blank before it, so that "A-ha" stays one name. The
        // rest after a dropped field is split the same way, for the same reason.
        if (text.count(u" - ") == 2) {
            c.setPos(text.indexOf(u" - ") + 2);
            c.skipBlanks();
        }
        sep = u" -";
    }
    *artist = c.readTo(sep).trimmed();
    c.skipPast(sep);
    c.skipBlanks();
    c.skipOne(u"-");
    c.skipBlanks();
    *song = c.rest().toString().trimmed();
}

// Decodes the named entities and the numeric character references of a title; '&' that starts
// neither is kept, or dropped with dropLoneAmpersands.
QString decodeReferences(const QString &text, bool dropLoneAmpersands)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    static const struct
    {
        QStringView name;
        QChar value;
    } entities[] = {
        {u"&amp;", QLatin1Char('&')}, {u"&quot;", QLatin1Char('"')}, {u"&lt;", QLatin1Char('<')},
        {u"&gt;", QLatin1Char('>')},  {u"&nbsp;", QChar(0x00A0)},    {u"&apos;", QLatin1Char('\'')},
    };
    QString out;
    out.reserve(text.size());
    const QStringView view(text);
    for (qsizetype i = 0; i < view.size(); ++i) {
        if (view[i] != QLatin1Char('&')) {
            out.append(view[i]);
            continue;
        }
        const QStringView at = view.mid(i);
        bool decoded = false;
        for (const auto &entity : entities) {
            if (at.startsWith(entity.name)) {
                out.append(entity.value);
                i += entity.name.size() - 1;
                decoded = true;
                break;
            }
        }
        if (!decoded && at.startsWith(u"&#")) {
            // &#1055; or &#x41F;
            const bool hex = at.size() > 2 && (at[2] == QLatin1Char('x') || at[2] == QLatin1Char('X'));
            const int base = hex ? 16 : 10;
            qsizetype j = hex ? 3 : 2;
            const qsizetype digitsStart = j;
            char32_t value = 0;
            while (j < at.size() && j - digitsStart < 8) {
                const int digit = MetaScan::hexValue(at[j]);
                if (digit < 0 || digit >= base)
                    break;
                value = value * char32_t(base) + char32_t(digit);
                ++j;
            }
            const bool valid = j > digitsStart && j < at.size() && at[j] == QLatin1Char(';') && value > 0 &&
                               value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
            if (valid) {
                out.append(QString::fromUcs4(&value, 1));
                i += j;
                decoded = true;
            }
        }
        if (!decoded && !dropLoneAmpersands)
            out.append(view[i]);
    }
    return out;
}

} // namespace

void MatchTitleTemplate(const QString &titleTemplate, const QString &text, QString *artist, QString *song)
{
    artist->clear();
    song->clear();
    const QString tmpl = bounded(titleTemplate);
    const QString subject = bounded(text);
    Cursor x(subject);
    qsizetype t = 0;
    while (t < tmpl.size()) {
        const QChar ch = tmpl[t];
        if (ch != QLatin1Char('<')) {
            if (Cursor::isBlank(ch)) {
                while (t < tmpl.size() && Cursor::isBlank(tmpl[t]))
                    ++t;
                if (t >= tmpl.size())
                    break;
                if (tmpl[t] == QLatin1Char('<')) {
                    // A blank before a tag only eats the blanks of the text; the tag is read next.
                    x.skipBlanks();
                    continue;
                }
                const qsizetype at = subject.indexOf(tmpl[t], x.pos(), Qt::CaseInsensitive);
                x.setPos(at < 0 ? subject.size() : at + 1);
            } else if (!x.atEnd() && x.current() == ch) {
                x.advance();
                x.skipBlanks();
            }
            x.skipAny(u"\"'");
            ++t;
            continue;
        }

        ++t;
        const qsizetype close = tmpl.indexOf(QLatin1Char('>'), t);
        const QStringView name = QStringView(tmpl).mid(t, (close < 0 ? tmpl.size() : close) - t);
        t = close < 0 ? tmpl.size() : close + 1;
        const QChar follow = t < tmpl.size() ? tmpl[t] : QChar();

        QString *capture = nullptr;
        if (name.compare(u"Artist", Qt::CaseInsensitive) == 0)
            capture = artist;
        else if (name.compare(u"Song", Qt::CaseInsensitive) == 0)
            capture = song;

        if (capture) {
            if (follow.isNull()) {
                *capture = x.rest().toString();
                x.setPos(subject.size());
            } else {
                *capture = x.readTo(QStringView(&follow, 1));
                x.skipOne(QStringView(&follow, 1));
            }
        } else if (name.compare(u"s", Qt::CaseInsensitive) == 0) {
            const qsizetype next = tmpl.indexOf(QLatin1Char('<'), t);
            const QStringView literal = QStringView(tmpl).mid(t, (next < 0 ? tmpl.size() : next) - t);
            t = next < 0 ? tmpl.size() : next;
            const qsizetype at = literal.isEmpty() ? -1 : x.find(literal);
            if (at >= 0)
                x.setPos(at + literal.size());
        } else if (name.compare(u"sc", Qt::CaseInsensitive) == 0) {
            x.advance();
        } else if (!name.isEmpty()) {
            const qsizetype at = x.find(name);
            if (at >= 0)
                x.setPos(at + name.size());
        }
    }
}

void SplitTitle(const QString &title, QString *artist, QString *song)
{
    artist->clear();
    song->clear();
    const QString text = bounded(title);

    if (text.contains(QLatin1Char('~'))) {
        Cursor c(text);
        *artist = c.readTo(u"~");
        c.skipOne(u"~");
        *song = c.readTo(u"~");
    }
    if (!artist->isEmpty() || !song->isEmpty())
        return;

    QStringView part(text);
    // "Now On: Artist - Song Next: Other - Song": the now-playing part alone is split, so that
    // the next title never leaks into the song and the dash rules apply to hyphenated names.
    const qsizetype nowOn = text.indexOf(u"Now On: ", 0, Qt::CaseInsensitive);
    if (nowOn >= 0 && text.contains(u"Next: ", Qt::CaseInsensitive)) {
        const qsizetype begin = nowOn + 8;
        const qsizetype next = text.indexOf(u"Next: ", begin, Qt::CaseInsensitive);
        part = QStringView(text).mid(begin, (next < 0 ? text.size() : next) - begin);
        while (!part.isEmpty() && QStringView(u" \t-|/,;").contains(part.last()))
            part.chop(1);
    }
    splitAtDash(part, artist, song);
}

QString CleanTitleText(const QString &text)
{
    QString out = bounded(text);
    const bool escaped = out.contains(QLatin1Char('%'));
    if (escaped) {
        out = MetaScan::PercentDecode(out);
        out.remove(QLatin1Char('\\'));
    }
    // '+' stands for a blank in query-style titles; a '+' written as a reference is kept.
    out.replace(QLatin1Char('+'), QLatin1Char(' '));
    out = decodeReferences(out, escaped);
    return out.trimmed();
}

bool ProcessMetaData(const MetaTitle &in, const QString &stationTemplate, Song &current)
{
    const QString rawBlock = bounded(in.rawBlock);
    const QString title = bounded(in.title);
    if (IsTitleFiltered(rawBlock))
        return false;

    QString artist, song;
    bool templated = false;
    if (!rawBlock.isEmpty()) {
        log(QLatin1String("ProcessMetaData called with title: ") + printable(title));
        QString tmpl = bounded(stationTemplate);
        if (tmpl.isEmpty())
            tmpl = chooseTemplate(rawBlock);
        if (!tmpl.isEmpty()) {
            const bool useTitle =
                rawBlock.contains(u"StreamTitle=", Qt::CaseInsensitive) && !tmpl.contains(QLatin1Char('\''));
            MatchTitleTemplate(tmpl, useTitle ? title : rawBlock, &artist, &song);
            if (artist == song) {
                log(QStringLiteral("ProcessMetaData called with the same artist and song title!"));
                return false;
            }
            templated = true;
        } else {
            SplitTitle(title, &artist, &song);
        }
    }

    // Checked before cleaning, and again after it: a field made only of blanks, '+' or stray
    // ampersands cleans to nothing.
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            artist = CleanTitleText(artist);
            song = CleanTitleText(song);
        }
        if (pass == 0 && templated)
            continue;
        if (artist.isEmpty() && song.isEmpty()) {
            log(QStringLiteral("ProcessMetaData called with empty artist and song title!"));
            return false;
        }
        if (artist.isEmpty() && !templated) {
            log(QStringLiteral("ProcessMetaData called with empty artist!"));
            return false;
        }
    }

    if (!current.IsEmpty() && current.artist().contains(artist) && current.title().contains(song)) {
        log(QStringLiteral("ProcessMetaData called with same artist and song title!"));
        return false;
    }

    current.Clear();
    current.setArtist(artist);
    current.setTitle(song);
    current.setDuration(in.duration);
    if (!in.streamUrl.isEmpty())
        current.setStreamUrl(bounded(in.streamUrl));
    current.setTimeStamp(QDateTime::currentDateTime());
    return true;
}

} // namespace BASS
