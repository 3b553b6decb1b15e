#include "exportfiles.h"

#include "launcharguments.h"
#include "stream.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace ExportFiles {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ExportFiles", text);
}

// Names end up on one line of an M3U file: line breaks would start a new entry.
QString oneLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    }
    return line.trimmed();
}

QString addressKey(const QString &address)
{
    QString key = BASS::PlaylistResolution::visitKey(address.trimmed());
    while (key.endsWith(QLatin1Char('/')))
        key.chop(1);
    return key;
}

void addEntry(QList<StationEntry> &entries, const QString &name, const QString &url, int *skipped)
{
    const QString address = url.trimmed();
    if (!LaunchArguments::isStreamAddress(address) || entries.size() >= MaxEntries) {
        ++*skipped;
        return;
    }
    entries.append({oneLine(name).left(500), address});
}

bool readXspf(const QByteArray &data, QList<StationEntry> &entries, int *skipped, QString *error)
{
    QXmlStreamReader xml(data);
    QString name;
    QString location;
    bool inTrack = false;
    int depth = 0;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++depth > 32) {
                *error = tr("The playlist is nested too deeply");
                return false;
            }
            const QStringView tag = xml.name();
            if (tag == QLatin1String("track")) {
                inTrack = true;
                name.clear();
                location.clear();
            } else if (inTrack && tag == QLatin1String("title")) {
                name = xml.readElementText(QXmlStreamReader::SkipChildElements);
                --depth;
            } else if (inTrack && tag == QLatin1String("location") && location.isEmpty()) {
                location = xml.readElementText(QXmlStreamReader::SkipChildElements);
                --depth;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
            if (xml.name() == QLatin1String("track")) {
                inTrack = false;
                addEntry(entries, name, location, skipped);
            }
        }
    }
    if (xml.hasError()) {
        *error = tr("The playlist is not well-formed XML: %1").arg(xml.errorString());
        return false;
    }
    return true;
}

bool readPls(const QString &text, QList<StationEntry> &entries, int *skipped)
{
    static const QRegularExpression line(QStringLiteral("^\\s*(File|Title)(\\d{1,5})\\s*=(.*)$"),
                                         QRegularExpression::CaseInsensitiveOption |
                                             QRegularExpression::MultilineOption);
    QMap<int, QPair<QString, QString>> byNumber; // number -> (title, file)
    auto it = line.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        auto &pair = byNumber[m.captured(2).toInt()];
        if (m.captured(1).compare(QLatin1String("File"), Qt::CaseInsensitive) == 0)
            pair.second = m.captured(3).trimmed();
        else
            pair.first = m.captured(3).trimmed();
        if (byNumber.size() > MaxEntries)
            break;
    }
    for (const auto &pair : std::as_const(byNumber))
        addEntry(entries, pair.first, pair.second, skipped);
    return true;
}

void readM3u(const QString &text, QList<StationEntry> &entries, int *skipped)
{
    QString name;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1String("#EXTINF:"), Qt::CaseInsensitive)) {
            const int comma = line.indexOf(QLatin1Char(','));
            name = comma >= 0 ? line.mid(comma + 1) : QString();
            continue;
        }
        if (line.startsWith(QLatin1Char('#')))
            continue;
        addEntry(entries, name, line, skipped);
        name.clear();
    }
}

// ---- CSV ----------------------------------------------------------------------------------

QString defused(const QString &field)
{
    static const QString risky = QStringLiteral("=+-@\t\r");
    if (!field.isEmpty() && risky.contains(field.at(0)))
        return QLatin1Char('\'') + field;
    return field;
}

QString restored(const QString &field)
{
    static const QString risky = QStringLiteral("=+-@\t\r");
    if (field.size() >= 2 && field.at(0) == QLatin1Char('\'') && risky.contains(field.at(1)))
        return field.mid(1);
    return field;
}

QString csvField(const QString &text)
{
    const QString field = defused(text);
    if (field.contains(QLatin1Char('"')) || field.contains(QLatin1Char(',')) ||
        field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r')) ||
        field.startsWith(QLatin1Char(' ')) || field.endsWith(QLatin1Char(' ')))
        return QLatin1Char('"') + QString(field).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
               QLatin1Char('"');
    return field;
}

// Control characters become blanks; unlike oneLine() the text keeps its own blanks.
QString withoutControls(const QString &text)
{
    QString clean = text;
    for (QChar &c : clean) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    }
    return clean;
}

// Splits RFC 4180 text into records of fields; records past the limit are only counted in
// `overflow`. False for an unterminated quoted field.
bool parseCsv(const QString &text, QList<QStringList> &records, int &overflow)
{
    overflow = 0;
    QStringList record;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == QLatin1Char('"') && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
            fieldStarted = false;
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            record << field;
            if (!(record.size() == 1 && record.first().isEmpty())) {
                if (records.size() <= MaxEntries)
                    records << record;
                else
                    ++overflow;
            }
            record.clear();
            field.clear();
            fieldStarted = false;
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    if (quoted)
        return false;
    if (fieldStarted || !record.isEmpty()) {
        record << field;
        if (records.size() <= MaxEntries)
            records << record;
        else
            ++overflow;
    }
    return true;
}

const QStringList WishHeader = {QStringLiteral("Track"), QStringLiteral("Station"), QStringLiteral("Time"),
                                QStringLiteral("Link")};

} // namespace

QList<StationEntry> entriesOf(const QList<BASS::Station> &stations)
{
    QList<StationEntry> entries;
    for (const BASS::Station &station : stations) {
        const QString url = station.firstStreamUrl();
        if (!url.isEmpty())
            entries.append({station.name(), url});
    }
    return entries;
}

QByteArray writeStations(const QList<StationEntry> &entries, Format format)
{
    if (format == Format::M3U) {
        QByteArray out = "#EXTM3U\n";
        for (const StationEntry &e : entries) {
            out += "#EXTINF:-1," + oneLine(e.name).toUtf8() + '\n';
            out += oneLine(e.url).toUtf8() + '\n';
        }
        return out;
    }
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("playlist"));
    xml.writeDefaultNamespace(QStringLiteral("http://xspf.org/ns/0/"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1"));
    xml.writeTextElement(QStringLiteral("title"), tr("Favourite stations"));
    xml.writeStartElement(QStringLiteral("trackList"));
    for (const StationEntry &e : entries) {
        xml.writeStartElement(QStringLiteral("track"));
        xml.writeTextElement(QStringLiteral("location"), e.url);
        xml.writeTextElement(QStringLiteral("title"), oneLine(e.name));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

bool readStations(const QByteArray &data, QList<StationEntry> &entries, int *skipped, QString *error)
{
    int skippedHere = 0;
    QString errorHere;
    if (!skipped)
        skipped = &skippedHere;
    if (!error)
        error = &errorHere;
    entries.clear();
    *skipped = 0;
    if (data.size() > MaxFileBytes) {
        *error = tr("The file is too large");
        return false;
    }
    const QByteArray head = data.left(512).trimmed();
    if (head.startsWith("<?xml") || head.startsWith("<playlist"))
        return readXspf(data, entries, skipped, error);
    const QString text = QString::fromUtf8(data).remove(QLatin1Char('\r'));
    if (text.contains(QLatin1String("[playlist]"), Qt::CaseInsensitive))
        return readPls(text, entries, skipped);
    readM3u(text, entries, skipped);
    return true;
}

MatchReport matchStations(const QList<StationEntry> &entries, const QList<BASS::Station> &candidates)
{
    QHash<QString, QString> idByAddress;
    for (const BASS::Station &station : candidates) {
        for (const BASS::StationStream *stream : station.streams())
            idByAddress.insert(addressKey(stream->url), station.id());
        if (station.streams().isEmpty() && !station.currentStream().url.isEmpty())
            idByAddress.insert(addressKey(station.currentStream().url), station.id());
    }
    MatchReport report;
    QSet<QString> seen;
    for (const StationEntry &entry : entries) {
        const QString id = idByAddress.value(addressKey(entry.url));
        if (id.isEmpty()) {
            report.unmatched.append(entry);
        } else if (!seen.contains(id)) {
            seen.insert(id);
            report.stationIds.append(id);
        }
    }
    return report;
}

QByteArray writeWishList(const QList<WishRow> &rows)
{
    QString out = WishHeader.join(QLatin1Char(',')) + QLatin1String("\r\n");
    for (const WishRow &row : rows) {
        out += csvField(row.artistAndTitle) + QLatin1Char(',') + csvField(row.station) + QLatin1Char(',') +
               csvField(row.time.isValid() ? row.time.toUTC().toString(Qt::ISODate) : QString()) +
               QLatin1Char(',') + csvField(row.link) + QLatin1String("\r\n");
    }
    return out.toUtf8();
}

bool readWishList(const QByteArray &data, QList<WishRow> &rows, int *skipped, QString *error)
{
    int skippedHere = 0;
    QString errorHere;
    if (!skipped)
        skipped = &skippedHere;
    if (!error)
        error = &errorHere;
    rows.clear();
    *skipped = 0;
    if (data.size() > MaxFileBytes) {
        *error = tr("The file is too large");
        return false;
    }
    QString text = QString::fromUtf8(data);
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    QList<QStringList> records;
    int overflow = 0;
    if (!parseCsv(text, records, overflow)) {
        *error = tr("A quoted field is not closed");
        return false;
    }
    if (records.isEmpty()) {
        *error = tr("Not a wish list: the first line must name the columns");
        return false;
    }
    *skipped = overflow;
    // Columns are found by name, so that a file with reordered or extra columns reads too.
    const QStringList header = records.takeFirst();
    auto column = [&header](int which) {
        for (int i = 0; i < header.size(); ++i) {
            if (header[i].trimmed().compare(WishHeader[which], Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    };
    const int track = column(0), station = column(1), time = column(2), link = column(3);
    if (track < 0) {
        *error = tr("Not a wish list: the first line must name the columns");
        return false;
    }
    for (const QStringList &record : std::as_const(records)) {
        if (rows.size() >= MaxEntries) {
            ++*skipped;
            continue;
        }
        WishRow row;
        row.artistAndTitle = withoutControls(restored(record.value(track))).left(1000);
        if (row.artistAndTitle.trimmed().isEmpty()) {
            ++*skipped;
            continue;
        }
        if (station >= 0)
            row.station = withoutControls(restored(record.value(station))).left(500);
        if (time >= 0)
            row.time = QDateTime::fromString(record.value(time).trimmed(), Qt::ISODate);
        if (link >= 0) {
            const QUrl url(restored(record.value(link)).trimmed(), QUrl::StrictMode);
            const QString scheme = url.scheme().toLower();
            // Links end up in pages and the browser: only web addresses are kept.
            if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
                row.link = url.toString();
        }
        rows.append(row);
    }
    return true;
}

bool saveFile(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(data) != data.size()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool loadFile(const QString &path, QByteArray &data, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    data = file.read(MaxFileBytes + 1);
    if (data.size() > MaxFileBytes) {
        data.clear();
        if (error)
            *error = tr("The file is too large");
        return false;
    }
    return true;
}

} // namespace ExportFiles
