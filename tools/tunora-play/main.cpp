// tunora-play: plays a file through the audio engine without any user interface and prints what
// the engine reports (the opened format, syncs, levels). Used by the benchmarks and by hand.
//
//   tunora-play [--device N] [--seconds S] [--levels] [--creator NAME] [--fade-in MS] FILE
//     --device N      0 = no sound (default), -1 = the default output (PulseAudio)
//     --seconds S     stop after S seconds (default: play to the end)
//     --levels        print the level meter once a second
//     --creator NAME  plain, wma, aac, mp4 or flac; default: each in the channel wrapper's order
//     --fade-in MS    start silent and slide the volume up over MS milliseconds

#include "audioengine.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex g_lock;
std::condition_variable g_changed;
bool g_ended = false;

void CALLBACK onEnd(HSYNC, DWORD, DWORD, void *)
{
    std::printf("sync: end\n");
    std::fflush(stdout);
    std::lock_guard<std::mutex> guard(g_lock);
    g_ended = true;
    g_changed.notify_all();
}

void CALLBACK onStall(HSYNC, DWORD, DWORD data, void *)
{
    std::printf("sync: stall %u\n", data);
    std::fflush(stdout);
}

void CALLBACK onMeta(HSYNC, DWORD, DWORD, void *)
{
    std::printf("sync: meta\n");
    std::fflush(stdout);
}

struct Creator
{
    const char *name;
    HSTREAM (*create)(BOOL, const void *, QWORD, QWORD, DWORD);
};

const Creator Creators[] = {
    {"plain", BASS_StreamCreateFile},     {"wma", BASS_WMA_StreamCreateFile},
    {"aac", BASS_AAC_StreamCreateFile},   {"mp4", BASS_MP4_StreamCreateFile},
    {"flac", BASS_FLAC_StreamCreateFile},
};

int usage()
{
    std::fprintf(stderr, "usage: tunora-play [--device N] [--seconds S] [--levels] [--creator NAME] "
                         "[--fade-in MS] FILE\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    int device = 0;
    double seconds = -1;
    bool levels = false;
    const char *creatorName = nullptr;
    long fadeInMs = 0;
    const char *file = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--device" && hasValue)
            device = std::atoi(argv[++i]);
        else if (arg == "--seconds" && hasValue)
            seconds = std::atof(argv[++i]);
        else if (arg == "--levels")
            levels = true;
        else if (arg == "--creator" && hasValue)
            creatorName = argv[++i];
        else if (arg == "--fade-in" && hasValue)
            fadeInMs = std::atol(argv[++i]);
        else if (!arg.empty() && arg[0] != '-' && !file)
            file = argv[i];
        else
            return usage();
    }
    if (!file)
        return usage();

    BASS_SetConfig(BASS_CONFIG_FLOATDSP, 1);
    if (!BASS_Init(device, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "tunora-play: the output did not start (error %d)\n", BASS_ErrorGetCode());
        return 1;
    }
    HSTREAM stream = 0;
    const char *used = nullptr;
    for (const Creator &creator : Creators) {
        if (creatorName && std::strcmp(creatorName, creator.name) != 0)
            continue;
        stream = creator.create(FALSE, file, 0, 0, 0);
        if (stream) {
            used = creator.name;
            break;
        }
    }
    if (!stream) {
        std::fprintf(stderr, "tunora-play: cannot open %s (error %d)\n", file, BASS_ErrorGetCode());
        BASS_Free();
        return 1;
    }
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(stream, &info);
    const QWORD length = BASS_ChannelGetLength(stream, BASS_POS_BYTE);
    std::printf("open: creator=%s ctype=0x%x rate=%u chans=%u length=%.3fs\n", used, info.ctype, info.freq,
                info.chans, length == QWORD(-1) ? -1.0 : BASS_ChannelBytes2Seconds(stream, length));
    BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, onEnd, nullptr);
    BASS_ChannelSetSync(stream, BASS_SYNC_STALL, 0, onStall, nullptr);
    BASS_ChannelSetSync(stream, BASS_SYNC_META, 0, onMeta, nullptr);
    if (fadeInMs > 0)
        BASS_ChannelSetAttribute(stream, BASS_ATTRIB_VOL, 0);
    BASS_ChannelPlay(stream, FALSE);
    if (fadeInMs > 0)
        BASS_ChannelSlideAttribute(stream, BASS_ATTRIB_VOL, 1, DWORD(fadeInMs));

    const auto start = std::chrono::steady_clock::now();
    const auto deadline = seconds >= 0 ? start + std::chrono::milliseconds(long(seconds * 1000))
                                       : std::chrono::steady_clock::time_point::max();
    {
        std::unique_lock<std::mutex> lock(g_lock);
        while (!g_ended && std::chrono::steady_clock::now() < deadline) {
            const auto next =
                levels ? std::min(deadline, std::chrono::steady_clock::now() + std::chrono::seconds(1))
                       : deadline;
            g_changed.wait_until(lock, next, [] { return g_ended; });
            if (levels && !g_ended) {
                const DWORD level = BASS_ChannelGetLevel(stream);
                std::printf("level: %u %u\n", (level & 0xFFFF) * 100 / 32768, (level >> 16) * 100 / 32768);
                std::fflush(stdout);
            }
        }
    }
    const QWORD position = BASS_ChannelGetPosition(stream, BASS_POS_BYTE);
    std::printf("position: %.3fs\n", BASS_ChannelBytes2Seconds(stream, position));
    std::printf("engine_cpu_percent: %.3f\n", double(BASS_GetCPU()));
    BASS_StreamFree(stream);
    BASS_Free();
    return 0;
}
