#include "streaminfo.h"

#include "codepage.h"
#include "metadata.h"

namespace BASS {

namespace {

struct KeyValue
{
    QString key;
    QString value;
};

// Decodes the lines, replaces tagsText with them and splits each at its first separator.
QList<KeyValue> readLines(const QList<QByteArray> &lines, const char *codePage, QChar separator,
                          StreamInfo &info)
{
    QList<KeyValue> pairs;
    info.tagsText.clear();
    for (qsizetype i = 0; i < lines.size() && i < MaxTagListItems; ++i) {
        const QString line = DecodeTagText(BoundedBytes(lines[i]), codePage);
        info.tagsText += line + QLatin1Char('\n');
        const qsizetype at = line.indexOf(separator);
        if (at > 0)
            pairs.append({line.left(at).trimmed(), line.mid(at + 1).trimmed()});
    }
    return pairs;
}

bool is(const QString &key, const char *name)
{
    return key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

} // namespace

bool ParseHttpHeaders(const QList<QByteArray> &lines, const char *codePage, StreamInfo &info)
{
    if (lines.isEmpty())
        return false;
    for (const KeyValue &kv : readLines(lines, codePage, QLatin1Char(':'), info)) {
        if (is(kv.key, "icy-name") || is(kv.key, "ice-name")) {
            info.name = kv.value;
        } else if (is(kv.key, "icy-genre") || is(kv.key, "ice-genre")) {
            info.genre = kv.value;
        } else if (is(kv.key, "icy-url") || is(kv.key, "ice-url")) {
            info.url = kv.value;
        } else if (is(kv.key, "icy-br") || is(kv.key, "ice-br")) {
            info.bitrate = kv.value;
        } else if (is(kv.key, "icy-audio-info") || is(kv.key, "ice-audio-info")) {
            // "ice-samplerate=44100;ice-bitrate=128;ice-channels=2"
            const QStringView marker = u"bitrate=";
            const qsizetype at = kv.value.indexOf(marker, 0, Qt::CaseInsensitive);
            if (at >= 0) {
                const qsizetype from = at + marker.size();
                const qsizetype end = kv.value.indexOf(QLatin1Char(';'), from);
                info.bitrate = kv.value.mid(from, end < 0 ? -1 : end - from).trimmed();
            }
        }
    }
    return true;
}

bool ParseWmaHeader(const QList<QByteArray> &lines, const char *codePage, StreamInfo &info)
{
    if (lines.isEmpty())
        return false;
    for (const KeyValue &kv : readLines(lines, codePage, QLatin1Char('='), info)) {
        if (is(kv.key, "title")) {
            info.name = kv.value;
            info.title = kv.value;
        } else if (is(kv.key, "WM/Genre")) {
            info.genre = kv.value;
        } else if (is(kv.key, "Bitrate")) {
            // Bits per second; shown in kbit/s. A value that is not a number is left out.
            bool ok = false;
            const quint64 bitsPerSecond = kv.value.toULongLong(&ok);
            if (ok)
                info.bitrate = QString::number(bitsPerSecond / 1000);
        } else if (is(kv.key, "WMA_Duration")) {
            info.duration = kv.value;
        } else if (is(kv.key, "copyright")) {
            info.copyright = kv.value;
        } else if (is(kv.key, "author")) {
            info.author = kv.value;
        } else if (is(kv.key, "Seekable")) {
            info.seekable = kv.value;
        } else if (is(kv.key, "Stridable")) {
            info.stridable = kv.value;
        } else if (is(kv.key, "Broadcast")) {
            info.broadcast = kv.value;
        } else if (is(kv.key, "Is_Protected")) {
            info.isProtected = kv.value;
        } else if (is(kv.key, "Is_Trusted")) {
            info.isTrusted = kv.value;
        }
    }
    return true;
}

bool ParseOggInfo(const QList<QByteArray> &lines, const char *codePage, StreamInfo &info)
{
    if (lines.isEmpty())
        return false;
    for (const KeyValue &kv : readLines(lines, codePage, QLatin1Char('='), info)) {
        if (is(kv.key, "TITLE")) {
            info.name = kv.value;
            info.title = kv.value;
        }
    }
    return true;
}

QString HeaderBlockText(const char *block, const char *codePage)
{
    QString text;
    for (const QByteArray &line : TagList(block))
        text += DecodeTagText(line, codePage) + QLatin1Char('\n');
    return text;
}

} // namespace BASS
