// cbass-abort: how long CBass::OpenURL takes to return once another thread calls RequestAbort,
// in each phase of an open: connecting to a server that never answers, waiting for a buffer that
// never fills (the pre-buffer wait), and fading in. Servers run on 127.0.0.1 in this process.
// Goal: at most 200 ms in every phase.
//
//   cbass-abort [--runs N]
//
// Needs ffmpeg (for the MP3 the servers send). Prints "name: value" lines last (milliseconds:
// median and worst of the runs).

#include "bassinit.h"
#include "cbass.h"
#include "loopback.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

enum class Mode
{
    Silent,  // accepts and never answers
    Trickle, // a header, a little audio, then 1000 bytes a second
    Burst    // a header and 10 s of audio at once
};

// A server for one mode; connections are kept open until the process ends.
int startServer(Mode mode, const std::string &mp3)
{
    int port = 0;
    const int fd = bench::listenOnLoopback("cbass-abort", port);
    std::thread([fd, mode, mp3] {
        for (;;) {
            const int client = ::accept(fd, nullptr, nullptr);
            if (client < 0)
                return;
            std::thread([client, mode, mp3] {
                std::string request;
                char buffer[1024];
                while (request.find("\r\n\r\n") == std::string::npos) {
                    const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
                    if (got <= 0)
                        return;
                    request.append(buffer, std::size_t(got));
                }
                if (mode == Mode::Silent)
                    return; // the descriptor stays open: a connection that never answers
                const std::string header = "ICY 200 OK\r\nContent-Type: audio/mpeg\r\nicy-br: 128\r\n\r\n";
                const std::string first = header + (mode == Mode::Burst ? mp3 : mp3.substr(0, 4000));
                if (::send(client, first.data(), first.size(), MSG_NOSIGNAL) < 0)
                    return;
                for (std::size_t at = 4000; mode == Mode::Trickle && at < mp3.size(); at += 100) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    if (::send(client, mp3.data() + at, 100, MSG_NOSIGNAL) < 0)
                        return;
                }
            }).detach();
        }
    }).detach();
    return port;
}

class Channel : public BASS::CBass
{
public:
    ~Channel() override { Stop(0); }
    void Notify(uint msg, uint) override
    {
        if (msg == BASS::EventPlaying) {
            playingAt = Clock::now();
            playing = true; // publishes playingAt
        }
    }
    std::atomic<bool> playing{false};
    Clock::time_point playingAt;
};

double milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// One open, aborted 300 ms into the phase; the time from the request to OpenURL's return, or
// nothing when the open never reached the phase (it failed or ended first).
std::optional<double> abortOnce(Mode mode, int port)
{
    Channel channel;
    channel.SetFadeTimes(5000, 0);
    std::atomic<bool> done{false};
    Clock::time_point returned;
    const QString url = QStringLiteral("http://127.0.0.1:%1/live").arg(port);
    std::thread open([&] {
        channel.OpenURL(url, 0);
        returned = Clock::now();
        done = true;
    });
    const auto started = Clock::now();
    auto inPhase = [&] {
        switch (mode) {
        case Mode::Silent:
            return Clock::now() - started > std::chrono::milliseconds(300);
        case Mode::Trickle:
            return channel.HasChannel() && Clock::now() - started > std::chrono::milliseconds(600);
        case Mode::Burst:
            return channel.playing.load() &&
                   Clock::now() - channel.playingAt > std::chrono::milliseconds(300);
        }
        return true;
    };
    while (!inPhase() && !done && Clock::now() - started < std::chrono::seconds(15))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    // Judged before the abort: the abort itself ends the phase (it stops the channel).
    const bool reached = inPhase() && !done;
    const auto requested = Clock::now();
    channel.RequestAbort();
    open.join();
    if (!reached)
        return std::nullopt;
    return milliseconds(returned - requested);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    int runs = 10;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[++i]));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tone.mp3"));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("sine=frequency=440:duration=10"), QStringLiteral("-c:a"),
                  QStringLiteral("libmp3lame"), QStringLiteral("-b:a"), QStringLiteral("128k"),
                  QStringLiteral("-write_xing"), QStringLiteral("0"), path});
    QFile file(path);
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0 || !file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cbass-abort: ffmpeg could not make the test audio\n");
        return 1;
    }
    const QByteArray bytes = file.readAll();
    const std::string mp3(bytes.constData(), std::size_t(bytes.size()));

    QString error;
    if (!BASS::InitAudioEngine(&error, 20, true, 1000, "cbass-abort", nullptr, 0)) {
        std::fprintf(stderr, "cbass-abort: %s\n", qPrintable(error));
        return 1;
    }
    const struct
    {
        Mode mode;
        const char *name;
    } phases[] = {{Mode::Silent, "connecting"}, {Mode::Trickle, "prebuffer"}, {Mode::Burst, "fadein"}};
    std::vector<std::pair<std::string, double>> figures;
    for (const auto &phase : phases) {
        const int port = startServer(phase.mode, mp3);
        std::vector<double> times;
        for (int run = 0; run < runs; ++run)
            if (const std::optional<double> time = abortOnce(phase.mode, port))
                times.push_back(*time);
        if (times.empty()) {
            std::fprintf(stderr, "cbass-abort: no open reached the %s phase\n", phase.name);
            return 1;
        }
        if (int(times.size()) < runs)
            std::fprintf(stderr, "cbass-abort: %d of %d opens did not reach the %s phase\n",
                         runs - int(times.size()), runs, phase.name);
        std::sort(times.begin(), times.end());
        figures.emplace_back(std::string("abort_") + phase.name + "_median_ms", times[times.size() / 2]);
        figures.emplace_back(std::string("abort_") + phase.name + "_worst_ms", times.back());
    }
    BASS_Free();
    for (const auto &[name, value] : figures)
        std::printf("%s: %.1f\n", name.c_str(), value);
    return 0;
}
