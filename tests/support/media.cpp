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

// File extension and ffmpeg output arguments, in the order of Media::Format.
const char *const Codecs[][2] = {{"mp3", "-c:a libmp3lame -b:a 128k"},
                                 {"mp2", "-c:a mp2 -b:a 192k"},
                                 {"aac", "-c:a aac -b:a 96k -flags +bitexact -f adts"},
                                 {"aac", "-c:a aac -b:a 96k -flags +bitexact -f adts"}, // HE-AAC
                                 {"ogg", "-c:a libvorbis -q:a 4"},
                                 {"opus", "-c:a libopus -b:a 96k"},
                                 {"flac", "-c:a flac"},
                                 {"oga", "-c:a flac -f ogg"},
                                 {"wma", "-c:a wmav2 -b:a 128k"},
                                 {"wav", "-c:a pcm_s16le"},
                                 {"m4a", "-c:a aac -b:a 96k"}};

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

// Bytes as a string of '0' and '1' (most significant bit first), and back (padded with zeros).
QByteArray toBits(const QByteArray &bytes)
{
    QByteArray out;
    for (const char c : bytes)
        out += QByteArray::number(quint8(c), 2).rightJustified(8, '0');
    return out;
}

QByteArray fromBits(QByteArray bits)
{
    bits += QByteArray((8 - bits.size() % 8) % 8, '0');
    QByteArray out;
    for (qsizetype i = 0; i < bits.size(); i += 8)
        out += char(bits.mid(i, 8).toUInt(nullptr, 2));
    return out;
}

} // namespace

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
        // The raw data block ends with the END element (111) followed by zero bits up to the
        // byte boundary: its last bit is the last 1 bit of the payload.
        const QByteArray payload = toBits(adts.mid(at + headerLength, frameLength - headerLength));
        const qsizetype last = payload.lastIndexOf('1');
        if (last < 2 || payload.mid(last - 2, 3) != "111") {
            if (error)
                *error = QStringLiteral("no END element in the frame at %1").arg(at);
            return {};
        }
        // Then a FIL element (110) with one byte (0001) of EXT_SBR_DATA (1101) without an SBR
        // header (0), its fill bits (000), and END (111) again.
        const QByteArray data = fromBits(payload.left(last - 2) + "110000111010000111");
        QByteArray header = adts.mid(at, headerLength);
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
    const char *const *codec = Codecs[recipe.format];
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
    const QString path = folder().filePath(name + QLatin1Char('.') + QString::fromLatin1(codec[0]));
    // HE-AAC: an AAC-LC core at half the rate; the SBR signalling doubles it again.
    const int rate = recipe.format == HeAac ? recipe.rate / 2 : recipe.rate;
    QString exprs = recipe.right.isEmpty() ? recipe.left : recipe.left + QLatin1Char('|') + recipe.right;
    exprs.replace(QLatin1Char(','), QStringLiteral("\\,")); // commas would separate filters
    QStringList arguments =
        QStringLiteral("-nostdin -hide_banner -loglevel error -y -f lavfi -i").split(QLatin1Char(' '));
    arguments << QStringLiteral("aevalsrc=exprs=%1:s=%2:d=%3").arg(exprs).arg(rate).arg(recipe.seconds);
    arguments += QString::fromLatin1(codec[1]).split(QLatin1Char(' '), Qt::SkipEmptyParts);
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
