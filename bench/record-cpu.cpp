// record-cpu: what recording costs, against a local Icecast MP3 mount at 128 kbit/s.
//
// 1. CPU, in alternating rounds so that the machine's load hits every side alike:
//      play     - the player's channel playing the mount (no-sound output that keeps real time);
//      record   - the same, recording to MP3 at 128 kbit/s (decoded, re-encoded, written);
//      ffmpeg   - `ffmpeg -i <mount> -c:a libmp3lame -b:a 128k` doing the same recording.
//    CPU time (user + system) over the same number of seconds, in % of one core; the median of
//    the rounds.
// 2. Output under encoding load: one channel playing while four encoders take its audio, the
//    output buffer sampled every 10 ms: stalls (the buffer ran dry), the lowest fill, and audio
//    the encoders had to drop.
//
//   record-cpu [--seconds N] [--rounds N] [--device N]
//
// Prints "name: value" lines last.

#include "bassinit.h"
#include "cbass.h"
#include "icecast.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

namespace {

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void wait(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

class Channel : public BASS::CBass
{
public:
    ~Channel() override { Stop(0); }
    std::atomic<int> stalls{0};
    void Notify(uint msg, uint param) override
    {
        if (msg == BASS::EventStallChanged && param == 0)
            ++stalls;
    }
};

// CPU % of one core for playing (and recording) the mount for `seconds`.
double ourRound(const QString &url, const QString &folder, bool record, int seconds)
{
    Channel channel;
    channel.SetFadeTimes(0, 0);
    if (!channel.OpenURL(url, 0))
        return -1;
    wait(2000); // settled past the connection and the burst
    const double before = cpuSeconds(RUSAGE_SELF);
    // Through the engine's encoder directly: through the channel wrapper a recording of an MP3
    // stream to MP3 keeps the stream's own bytes and encodes nothing.
    HENCODE encoder = 0;
    if (record) {
        const QByteArray file = QFile::encodeName(folder + QStringLiteral(".mp3"));
        encoder =
            BASS_Encode_StartFile(channel.Handle(), "libmp3lame", 128, file.constData(), nullptr, nullptr);
        if (!encoder)
            return -1;
    }
    wait(seconds * 1000);
    if (encoder)
        BASS_Encode_Stop(encoder);
    const double used = cpuSeconds(RUSAGE_SELF) - before;
    return used * 100.0 / seconds;
}

double ffmpegRound(const QString &url, const QString &file, int seconds)
{
    const double before = cpuSeconds(RUSAGE_CHILDREN);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                  QStringLiteral("-y"), QStringLiteral("-i"), url, QStringLiteral("-t"),
                  QString::number(seconds + 2), QStringLiteral("-c:a"), QStringLiteral("libmp3lame"),
                  QStringLiteral("-b:a"), QStringLiteral("128k"), file});
    if (!ffmpeg.waitForFinished((seconds + 30) * 1000))
        return -1;
    // ffmpeg first takes Icecast's burst (a few seconds at once), then real time; the CPU is
    // spread over the seconds of audio it encoded.
    return (cpuSeconds(RUSAGE_CHILDREN) - before) * 100.0 / (seconds + 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int seconds = 30;
    int rounds = 3;
    int device = 0;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--seconds"))
            seconds = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--rounds"))
            rounds = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--device"))
            device = args[i + 1].toInt();
    }

    TunoraTest::IcecastServer icecast;
    QString error;
    if (!TunoraTest::IcecastServer::available() || !icecast.start(&error)) {
        std::fprintf(stderr, "record-cpu: no Icecast: %s\n", qPrintable(error));
        return 1;
    }
    TunoraTest::IcecastServer::Source source;
    source.name = QStringLiteral("Bench");
    // Music-like: a chord over pink noise, harder on an encoder than a pure tone.
    source.input = QStringLiteral("aevalsrc=0.2*sin(2*PI*220*t)+0.15*sin(2*PI*277*t)+0.1*sin(2*PI*330*t)"
                                  "+0.05*random(0)-0.025:s=44100:c=stereo");
    if (!icecast.startSource(source, &error)) {
        std::fprintf(stderr, "record-cpu: no source: %s\n", qPrintable(error));
        return 1;
    }
    if (!BASS::InitAudioEngine(&error, 5, true, 0, "Tunora/1.02", nullptr, device)) {
        std::fprintf(stderr, "record-cpu: engine: %s\n", qPrintable(error));
        return 1;
    }
    const QString url = icecast.mountUrl(QStringLiteral("/test.mp3")).toString();
    QTemporaryDir dir;

    std::vector<double> play, record, ffmpeg;
    for (int round = 0; round < rounds; ++round) {
        play.push_back(ourRound(url, dir.filePath(QStringLiteral("play")), false, seconds));
        record.push_back(ourRound(url, dir.filePath(QStringLiteral("ours%1").arg(round)), true, seconds));
        ffmpeg.push_back(ffmpegRound(url, dir.filePath(QStringLiteral("ffmpeg%1.mp3").arg(round)), seconds));
        std::fprintf(stderr, "round %d: play %.2f %%, play+record %.2f %%, ffmpeg %.2f %%\n", round + 1,
                     play.back(), record.back(), ffmpeg.back());
    }

    // Four encoders on one playing channel.
    Channel channel;
    channel.SetFadeTimes(0, 0);
    if (!channel.OpenURL(url, 0)) {
        std::fprintf(stderr, "record-cpu: cannot open the mount\n");
        return 1;
    }
    wait(2000);
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(channel.Handle(), &info);
    const double bytesPerMs = info.freq * info.chans * 2 / 1000.0;
    // The lowest fill of the output buffer over `seconds`, in ms.
    const auto lowestFill = [&] {
        DWORD lowest = ~DWORD(0);
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < seconds * 1000) {
            lowest = std::min(lowest, BASS_ChannelGetData(channel.Handle(), nullptr, BASS_DATA_AVAILABLE));
            QThread::msleep(10);
        }
        return lowest == ~DWORD(0) ? 0.0 : lowest / bytesPerMs;
    };
    const double alone = lowestFill();
    const int stallsAlone = channel.stalls;
    std::vector<HENCODE> encoders;
    for (int i = 0; i < 4; ++i) {
        const QByteArray file = QFile::encodeName(dir.filePath(QStringLiteral("load%1.mp3").arg(i)));
        encoders.push_back(
            BASS_Encode_StartFile(channel.Handle(), "libmp3lame", 128, file.constData(), nullptr, nullptr));
    }
    const double before = cpuSeconds(RUSAGE_SELF);
    const double loaded = lowestFill();
    const double loadCpu = (cpuSeconds(RUSAGE_SELF) - before) * 100.0 / seconds;
    QWORD dropped = 0;
    for (HENCODE e : encoders) {
        dropped += BASS_Encode_GetCount(e, BASS_ENCODE_COUNT_DROPPED);
        BASS_Encode_Stop(e);
    }
    const int stalls = channel.stalls - stallsAlone;
    channel.Stop(0);
    BASS_Free();

    std::printf("record-cpu seconds per round: %d, rounds: %d\n", seconds, rounds);
    std::printf("play cpu %%: %.2f\n", median(play));
    std::printf("play+record mp3 cpu %%: %.2f\n", median(record));
    std::printf("ffmpeg record mp3 cpu %%: %.2f\n", median(ffmpeg));
    std::printf("four encoders cpu %%: %.2f\n", loadCpu);
    std::printf("four encoders stalls: %d\n", stalls);
    std::printf("playing alone lowest buffer ms: %.0f\n", alone);
    std::printf("four encoders lowest buffer ms: %.0f\n", loaded);
    std::printf("four encoders dropped frames: %llu\n", static_cast<unsigned long long>(dropped));
    return 0;
}
