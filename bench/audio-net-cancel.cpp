// audio-net-cancel: how long a URL creator takes to give up once another thread sets its abort
// flag (BASS_SetAbortFlag), against a server on 127.0.0.1 that accepts the connection and never
// answers, and against a name lookup that never returns. Goal: at most 200 ms.
//
//   audio-net-cancel [--runs N] [--after MS]
//
// Prints "name: value" lines last (milliseconds: median and worst of the runs).

#include "audioengine.h"
#include "http.h"
#include "loopback.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Accepts connections and keeps them open without a word.
int silentServer(std::vector<int> &held, std::mutex &lock)
{
    int port = 0;
    const int fd = bench::listenOnLoopback("audio-net-cancel", port);
    std::thread([fd, &held, &lock] {
        for (;;) {
            const int client = ::accept(fd, nullptr, nullptr);
            if (client < 0)
                return;
            std::lock_guard<std::mutex> guard(lock);
            held.push_back(client);
        }
    }).detach();
    return port;
}

// Runs the plain URL creator on `url`, sets the abort flag after `afterMs`; returns the time from
// setting the flag until the creator returned, in milliseconds.
double cancelOnce(const std::string &url, int afterMs)
{
    std::atomic<bool> abort{false};
    std::atomic<bool> returned{false};
    Clock::time_point setAt;
    std::mutex lock;
    std::condition_variable changed;
    std::thread setter([&] {
        std::unique_lock<std::mutex> guard(lock);
        if (changed.wait_for(guard, std::chrono::milliseconds(afterMs), [&] { return returned.load(); }))
            return;
        setAt = Clock::now();
        abort = true;
    });
    BASS_SetAbortFlag(&abort);
    const HSTREAM stream = BASS_StreamCreateURL(url.c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr);
    const auto done = Clock::now();
    const int error = BASS_ErrorGetCode();
    BASS_SetAbortFlag(nullptr);
    {
        std::lock_guard<std::mutex> guard(lock);
        returned = true;
    }
    changed.notify_all();
    setter.join();
    if (stream || error != BASS_ERROR_ABORTED) {
        std::fprintf(stderr, "audio-net-cancel: the creator returned %u with error %d\n", stream, error);
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(done - setAt).count();
}

void report(const char *name, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("%s_median_ms: %.1f\n", name, values[values.size() / 2]);
    std::printf("%s_max_ms: %.1f\n", name, values.back());
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 20, afterMs = 300;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--after")
            afterMs = std::max(0, std::atoi(argv[i + 1]));
        else {
            std::fprintf(stderr, "usage: audio-net-cancel [--runs N] [--after MS]\n");
            return 2;
        }
    }
    if (!BASS_Init(0, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "audio-net-cancel: no engine (error %d)\n", BASS_ErrorGetCode());
        return 1;
    }
    BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 30000);
    std::vector<int> held;
    std::mutex heldLock;
    const int port = silentServer(held, heldLock);
    const std::string silent = "http://127.0.0.1:" + std::to_string(port) + "/stream";

    std::vector<double> connected, lookup;
    for (int i = 0; i < runs; ++i)
        connected.push_back(cancelOnce(silent, afterMs));
    // A name server that never answers: the lookup is abandoned, not waited for.
    tunora::audio::setResolverForTests([](const std::string &, std::vector<std::string> &) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        return int(BASS_ERROR_NONET);
    });
    for (int i = 0; i < runs; ++i)
        lookup.push_back(cancelOnce("http://radio.example:8000/stream", afterMs));
    tunora::audio::setResolverForTests(nullptr);

    std::printf("runs: %d\n", runs);
    report("cancel_silent_server", connected);
    report("cancel_name_lookup", lookup);
    {
        std::lock_guard<std::mutex> guard(heldLock);
        for (int fd : held)
            ::close(fd);
    }
    BASS_Free();
    std::fflush(stdout);
    std::_Exit(0); // abandoned lookups may still sleep
}
