#include "hls.h"

#include "net.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>

namespace TunoraTest {

namespace {

const int AdtsRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                         22050, 16000, 12000, 11025, 8000,  7350};

// The four 7-bit bytes of an ID3v2 size.
QByteArray syncsafe(int size)
{
    QByteArray out;
    for (int shift = 21; shift >= 0; shift -= 7)
        out += char((size >> shift) & 0x7F);
    return out;
}

// An ID3v2.4 tag with the PRIV frame that packed-audio segments carry (a 33-bit timestamp).
QByteArray timestampTag(qint64 ticks90k)
{
    QByteArray frame = QByteArray("com.apple.streaming.transportStreamTimestamp") + '\0';
    for (int shift = 56; shift >= 0; shift -= 8)
        frame += char((ticks90k >> shift) & 0xFF);
    const QByteArray body = "PRIV" + syncsafe(int(frame.size())) + QByteArray(2, '\0') + frame;
    return "ID3\x04" + QByteArray(2, '\0') + syncsafe(int(body.size())) + body;
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

QByteArray HlsStream::playlist() const
{
    const double longest = durations.isEmpty() ? 1 : *std::max_element(durations.begin(), durations.end());
    QByteArray text =
        "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:" + QByteArray::number(int(std::ceil(longest))) +
        "\n#EXT-X-MEDIA-SEQUENCE:0\n";
    for (int i = 0; i < segments.size(); ++i)
        text += "#EXTINF:" + QByteArray::number(durations[i], 'f', 3) + ",\n" + segments[i].first + "\n";
    return text + "#EXT-X-ENDLIST\n";
}

bool Hls::packedAudio(const QString &adtsFile, double seconds, const QByteArray &prefix, HlsStream &out,
                      QString *error)
{
    QFile file(adtsFile);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("cannot read %1").arg(adtsFile));
    const QByteArray data = file.readAll();
    out = HlsStream();
    QByteArray segment;
    qint64 samples = 0, segmentStart = 0;
    int rate = 0;
    for (qsizetype at = 0; at + 7 <= data.size();) {
        const auto *p = reinterpret_cast<const unsigned char *>(data.constData() + at);
        if (p[0] != 0xFF || (p[1] & 0xF6) != 0xF0)
            return fail(error, QStringLiteral("not ADTS at byte %1").arg(at));
        const int length = ((p[3] & 3) << 11) | (p[4] << 3) | (p[5] >> 5);
        const int rateIndex = (p[2] >> 2) & 15;
        if (length < 7 || rateIndex >= 13 || at + length > data.size())
            break;
        rate = AdtsRates[rateIndex];
        if (segment.isEmpty())
            segment = timestampTag(samples * 90000 / rate);
        segment += data.mid(at, length);
        samples += 1024;
        at += length;
        const bool last = at + 7 > data.size();
        if (double(samples - segmentStart) / rate >= seconds || last) {
            out.segments.append({prefix + QByteArray::number(out.segments.size()) + ".aac", segment});
            out.durations.append(double(samples - segmentStart) / rate);
            segment.clear();
            segmentStart = samples;
        }
    }
    if (out.segments.isEmpty())
        return fail(error, QStringLiteral("no ADTS frames in %1").arg(adtsFile));
    return true;
}

bool Hls::transportStream(const QString &file, double seconds, const QByteArray &prefix, HlsStream &out,
                          QString *error)
{
    QTemporaryDir dir;
    const QString ffmpeg = findProgram(QStringLiteral("ffmpeg"));
    if (!dir.isValid() || ffmpeg.isEmpty())
        return fail(error, QStringLiteral("ffmpeg or a temporary folder is missing"));
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments = QStringLiteral("-nostdin -loglevel error -i").split(QLatin1Char(' '));
    arguments << file << QStringLiteral("-c:a copy -f hls -hls_list_size 0 -hls_time").split(QLatin1Char(' '))
              << QString::number(seconds) << QStringLiteral("-hls_segment_filename")
              << dir.filePath(QStringLiteral("s%d.ts")) << dir.filePath(QStringLiteral("index.m3u8"));
    process.start(ffmpeg, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return fail(error, QStringLiteral("ffmpeg: %1").arg(QString::fromLocal8Bit(process.readAll())));
    QFile index(dir.filePath(QStringLiteral("index.m3u8")));
    if (!index.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("ffmpeg wrote no playlist"));
    out = HlsStream();
    double duration = 0;
    const QList<QByteArray> lines = index.readAll().split('\n');
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith("#EXTINF:")) {
            duration = line.mid(8, line.indexOf(',') - 8).toDouble();
        } else if (!line.isEmpty() && !line.startsWith('#')) {
            QFile segment(dir.filePath(QString::fromLatin1(line)));
            if (!segment.open(QIODevice::ReadOnly))
                return fail(error, QStringLiteral("missing segment %1").arg(QString::fromLatin1(line)));
            out.segments.append(
                {prefix + QByteArray::number(out.segments.size()) + ".ts", segment.readAll()});
            out.durations.append(duration);
        }
    }
    if (out.segments.isEmpty())
        return fail(error, QStringLiteral("ffmpeg made no segments"));
    return true;
}

} // namespace TunoraTest
