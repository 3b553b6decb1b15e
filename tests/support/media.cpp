#include "media.h"

#include "net.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>

namespace TunoraTest {

namespace {

struct Codec
{
    const char *name;
    const char *extension;
    const char *arguments; // ffmpeg output arguments, separated by blanks
};

Codec codecFor(Media::Format format)
{
    switch (format) {
    case Media::Mp3:
        return {"MP3", "mp3", "-c:a libmp3lame -b:a 128k"};
    case Media::Mp2:
        return {"MP2", "mp2", "-c:a mp2 -b:a 192k"};
    case Media::Aac:
        return {"AAC", "aac", "-c:a aac -b:a 96k -flags +bitexact -f adts"};
    case Media::HeAac:
        return {"HE-AAC", "aac", "-c:a aac -b:a 96k -flags +bitexact -f adts"};
    case Media::Vorbis:
        return {"Vorbis", "ogg", "-c:a libvorbis -q:a 4"};
    case Media::Opus:
        return {"Opus", "opus", "-c:a libopus -b:a 96k"};
    case Media::Flac:
        return {"FLAC", "flac", "-c:a flac"};
    case Media::OggFlac:
        return {"Ogg FLAC", "oga", "-c:a flac -f ogg"};
    case Media::Wma:
        return {"WMA", "wma", "-c:a wmav2 -b:a 128k"};
    case Media::Wav:
        return {"WAV", "wav", "-c:a pcm_s16le"};
    case Media::M4a:
        return {"MP4 AAC", "m4a", "-c:a aac -b:a 96k"};
    }
    return {"?", "bin", ""};
}

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

// Reads `count` bits at bit offset `at` of `data` (most significant first).
quint32 bits(const QByteArray &data, qsizetype at, int count)
{
    quint32 value = 0;
    for (int i = 0; i < count; ++i, ++at)
        value = (value << 1) | ((quint8(data[at / 8]) >> (7 - at % 8)) & 1);
    return value;
}

class BitWriter
{
public:
    void put(quint32 value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            if (m_bit % 8 == 0)
                m_bytes.append('\0');
            if ((value >> i) & 1)
                m_bytes[m_bytes.size() - 1] = char(quint8(m_bytes.back()) | (0x80 >> (m_bit % 8)));
            ++m_bit;
        }
    }
    void copyBits(const QByteArray &from, qsizetype start, qsizetype count)
    {
        for (qsizetype i = 0; i < count; ++i)
            put(bits(from, start + i, 1), 1);
    }
    QByteArray bytes() const { return m_bytes; }
    qsizetype bitCount() const { return m_bit; }

private:
    QByteArray m_bytes;
    qsizetype m_bit = 0;
};

} // namespace

QString Media::formatName(Format format)
{
    return QString::fromLatin1(codecFor(format).name);
}

int Media::defaultRate(Format format)
{
    return format == Opus ? 48000 : 44100;
}

QByteArray Media::addSbrSignalling(const QByteArray &adts, QString *error)
{
    QByteArray out;
    qsizetype at = 0;
    while (at + 7 <= adts.size()) {
        const auto *p = reinterpret_cast<const quint8 *>(adts.constData() + at);
        if (p[0] != 0xFF || (p[1] & 0xF6) != 0xF0) {
            if (error)
                *error = QStringLiteral("not an ADTS frame at %1").arg(at);
            return {};
        }
        const int headerLength = (p[1] & 1) ? 7 : 9;
        const int frameLength = ((p[3] & 3) << 11) | (p[4] << 3) | (p[5] >> 5);
        if (frameLength <= headerLength || at + frameLength > adts.size())
            break;
        const QByteArray payload = adts.mid(at + headerLength, frameLength - headerLength);
        // The raw data block ends with the END element (111) followed by zero bits up to the
        // byte boundary: its last bit is the last 1 bit of the payload.
        qsizetype last = payload.size() * 8 - 1;
        while (last >= 0 && bits(payload, last, 1) == 0)
            --last;
        if (last < 2 || bits(payload, last - 2, 3) != 7) {
            if (error)
                *error = QStringLiteral("no END element in the frame at %1").arg(at);
            return {};
        }
        BitWriter body;
        body.copyBits(payload, 0, last - 2);
        body.put(6, 3);  // FIL element
        body.put(1, 4);  // count: one byte of extension payload
        body.put(13, 4); // EXT_SBR_DATA
        body.put(0, 1);  // bs_header_flag: no SBR header
        body.put(0, 3);  // fill
        body.put(7, 3);  // END
        QByteArray header = adts.mid(at, headerLength);
        const QByteArray data = body.bytes();
        const int newLength = headerLength + int(data.size());
        header[3] = char((quint8(header[3]) & ~3) | ((newLength >> 11) & 3));
        header[4] = char((newLength >> 3) & 0xFF);
        header[5] = char((quint8(header[5]) & 0x1F) | ((newLength & 7) << 5));
        out += header + data;
        at += frameLength;
    }
    if (out.isEmpty() && error)
        *error = QStringLiteral("no ADTS frames");
    return out;
}

QString Media::make(const Recipe &recipe, QString *error)
{
    static QMutex lock;
    static QHash<QString, QString> made;
    const Codec codec = codecFor(recipe.format);
    const QString key = QStringLiteral("%1|%2|%3|%4|%5|%6")
                            .arg(int(recipe.format))
                            .arg(recipe.seconds)
                            .arg(recipe.rate)
                            .arg(recipe.left, recipe.right, recipe.extra.join(QLatin1Char(' ')));
    QMutexLocker locker(&lock);
    if (const auto it = made.constFind(key); it != made.constEnd())
        return it.value();
    const QString ffmpeg = findProgram(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty() || !folder().isValid()) {
        if (error)
            *error = QStringLiteral("ffmpeg is not installed");
        return {};
    }
    const QString name = QString::fromLatin1(
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    const QString path = folder().filePath(name + QLatin1Char('.') + QString::fromLatin1(codec.extension));
    // HE-AAC: an AAC-LC core at half the rate; the SBR signalling doubles it again.
    const int rate = recipe.format == HeAac ? recipe.rate / 2 : recipe.rate;
    QString exprs = recipe.right.isEmpty() ? recipe.left : recipe.left + QLatin1Char('|') + recipe.right;
    exprs.replace(QLatin1Char(','), QStringLiteral("\\,")); // commas would separate filters
    QStringList arguments =
        QStringLiteral("-nostdin -hide_banner -loglevel error -y -f lavfi -i").split(QLatin1Char(' '));
    arguments << QStringLiteral("aevalsrc=exprs=%1:s=%2:d=%3").arg(exprs).arg(rate).arg(recipe.seconds);
    arguments += QString::fromLatin1(codec.arguments).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    arguments += recipe.extra;
    arguments += path;
    QProcess process;
    process.start(ffmpeg, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        if (error)
            *error =
                QStringLiteral("ffmpeg failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
        return {};
    }
    if (recipe.format == HeAac) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray he = addSbrSignalling(file.readAll(), error);
        file.close();
        if (he.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(he) != he.size())
            return {};
    }
    made.insert(key, path);
    return path;
}

QString Media::tone(Format format, double seconds, int leftHz, int rightHz, double amplitude, QString *error)
{
    Recipe recipe;
    recipe.format = format;
    recipe.seconds = seconds;
    recipe.rate = defaultRate(format);
    recipe.left = QStringLiteral("%1*sin(2*PI*%2*t)").arg(amplitude).arg(leftHz);
    recipe.right = QStringLiteral("%1*sin(2*PI*%2*t)").arg(amplitude).arg(rightHz);
    return make(recipe, error);
}

} // namespace TunoraTest
