#include "streaminfo.h"

#include "codepage.h"
#include "metadata.h"

#include <span>

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

// Where the value of a known key goes (one or two fields).
struct KeyField
{
    const char *key;
    QString StreamInfo::*field;
    QString StreamInfo::*also = nullptr;
};

constexpr KeyField HttpKeys[] = {
    {"icy-name", &StreamInfo::name},   {"ice-name", &StreamInfo::name},  {"icy-genre", &StreamInfo::genre},
    {"ice-genre", &StreamInfo::genre}, {"icy-url", &StreamInfo::url},    {"ice-url", &StreamInfo::url},
    {"icy-br", &StreamInfo::bitrate},  {"ice-br", &StreamInfo::bitrate},
};

constexpr KeyField WmaKeys[] = {
    {"title", &StreamInfo::name, &StreamInfo::title},
    {"WM/Genre", &StreamInfo::genre},
    {"WMA_Duration", &StreamInfo::duration},
    {"copyright", &StreamInfo::copyright},
    {"author", &StreamInfo::author},
    {"Seekable", &StreamInfo::seekable},
    {"Stridable", &StreamInfo::stridable},
    {"Broadcast", &StreamInfo::broadcast},
    {"Is_Protected", &StreamInfo::isProtected},
    {"Is_Trusted", &StreamInfo::isTrusted},
};

constexpr KeyField OggKeys[] = {
    {"TITLE", &StreamInfo::name, &StreamInfo::title},
};

// Stores the value when the key is one of the table's; false when it is not.
bool store(const KeyValue &kv, std::span<const KeyField> keys, StreamInfo &info)
{
    for (const KeyField &k : keys) {
        if (is(kv.key, k.key)) {
            info.*k.field = kv.value;
            if (k.also)
                info.*k.also = kv.value;
            return true;
        }
    }
    return false;
}

} // namespace

bool ParseHttpHeaders(const QList<QByteArray> &lines, const char *codePage, StreamInfo &info)
{
    if (lines.isEmpty())
        return false;
    for (const KeyValue &kv : readLines(lines, codePage, QLatin1Char(':'), info)) {
        if (store(kv, HttpKeys, info) || !(is(kv.key, "icy-audio-info") || is(kv.key, "ice-audio-info")))
            continue;
        // "ice-samplerate=44100;ice-bitrate=128;ice-channels=2"
        const QStringView marker = u"bitrate=";
        const qsizetype at = kv.value.indexOf(marker, 0, Qt::CaseInsensitive);
        if (at >= 0) {
            const qsizetype from = at + marker.size();
            const qsizetype end = kv.value.indexOf(QLatin1Char(';'), from);
            info.bitrate = kv.value.mid(from, end < 0 ? -1 : end - from).trimmed();
        }
    }
    return true;
}

bool ParseWmaHeader(const QList<QByteArray> &lines, const char *codePage, StreamInfo &info)
{
    if (lines.isEmpty())
        return false;
    for (const KeyValue &kv : readLines(lines, codePage, QLatin1Char('='), info)) {
        if (is(kv.key, "Bitrate")) {
            // Bits per second; shown in kbit/s. A value that is not a number is left out.
            bool ok = false;
            const quint64 bitsPerSecond = kv.value.toULongLong(&ok);
            if (ok)
                info.bitrate = QString::number(bitsPerSecond / 1000);
        } else {
            store(kv, WmaKeys, info);
        }
    }
    return true;
}

bool ParseOggInfo(const QList<QByteArray> &lines, const char *codePage, StreamInfo &info)
{
    if (lines.isEmpty())
        return false;
    for (const KeyValue &kv : readLines(lines, codePage, QLatin1Char('='), info))
        store(kv, OggKeys, info);
    return true;
}

} // namespace BASS
