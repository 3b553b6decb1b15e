// tunora-play: plays a file or a network stream through the audio engine without any user
// interface and prints what the engine reports (the opened format, tags, syncs, levels). Used by
// the benchmarks and by hand.
//
//   tunora-play [options] FILE-OR-URL
//     --device N        0 = no sound (default), -1 = the default output (PulseAudio)
//     --seconds S       stop after S seconds (default: play to the end)
//     --levels          print the level meter once a second
//     --creator NAME    plain, wma, aac, mp4 or flac; default: each in the channel wrapper's order
//     --fade-in MS      start silent and slide the volume up over MS milliseconds
//     --tags            print the tags when the stream opens and the title at each metadata sync
//     --net-timeout MS  network time-out (BASS_CONFIG_NET_TIMEOUT)
//     --net-buffer MS   download buffer (BASS_CONFIG_NET_BUFFER)
//     --prebuf PCT      share of the buffer the creator waits for (BASS_CONFIG_NET_PREBUF; 0)
//     --playlists       follow playlists (BASS_CONFIG_NET_PLAYLIST 2)
//     --agent TEXT      User-Agent (BASS_CONFIG_NET_AGENT)
//     --proxy HOST:PORT proxy (BASS_CONFIG_NET_PROXY)
// Addresses (anything with "://") go to the URL creators, as the channel wrapper hands them.
// With --device 0 the time from the creator call to the first audio handed to the output is
// printed as "first_audio_ms".

#include "audioengine.h"
#include "output.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_lock;
std::condition_variable g_changed;
bool g_ended = false;
HSTREAM g_stream = 0;
std::atomic<std::uint64_t> g_downloaded{0};
std::atomic<bool> g_firstAudio{false};
Clock::time_point g_firstAudioAt;

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

void printList(const char *name, const char *list)
{
    if (!list)
        return;
    for (const char *item = list; *item; item += std::strlen(item) + 1)
        std::printf("tag %s: %s\n", name, item);
}

void CALLBACK onMeta(HSYNC, DWORD, DWORD, void *)
{
    if (const char *meta = BASS_ChannelGetTags(g_stream, BASS_TAG_META))
        std::printf("sync: meta %s\n", meta);
    else if (const char *ogg = BASS_ChannelGetTags(g_stream, BASS_TAG_OGG)) {
        std::printf("sync: meta (ogg)\n");
        printList("ogg", ogg);
    } else
        std::printf("sync: meta\n");
    std::fflush(stdout);
}

void CALLBACK onDownload(const void *buffer, DWORD length, void *)
{
    if (buffer && length > 0)
        g_downloaded.fetch_add(length, std::memory_order_relaxed);
}

// The no-sound output's tap: the first non-silent frame handed to the output.
void tap(const float *frames, std::size_t count, void *)
{
    if (g_firstAudio.load(std::memory_order_relaxed))
        return;
    for (std::size_t i = 0; i < count * 2; ++i)
        if (frames[i] != 0.0f) {
            g_firstAudioAt = Clock::now();
            g_firstAudio.store(true, std::memory_order_release);
            return;
        }
}

struct Creator
{
    const char *name;
    HSTREAM (*file)(BOOL, const void *, QWORD, QWORD, DWORD);
    HSTREAM (*url)(const char *, DWORD, DWORD, DOWNLOADPROC *, void *);
};

// The channel wrapper's order for addresses: plain, AAC, MP4, WMA, FLAC.
const Creator Creators[] = {
    {"plain", BASS_StreamCreateFile, BASS_StreamCreateURL},
    {"aac", BASS_AAC_StreamCreateFile, BASS_AAC_StreamCreateURL},
    {"mp4", BASS_MP4_StreamCreateFile, nullptr},
    {"wma", BASS_WMA_StreamCreateFile, nullptr},
    {"flac", BASS_FLAC_StreamCreateFile, BASS_FLAC_StreamCreateURL},
};

int usage()
{
    std::fprintf(stderr, "usage: tunora-play [--device N] [--seconds S] [--levels] [--creator NAME] "
                         "[--fade-in MS] [--tags] [--net-timeout MS] [--net-buffer MS] [--prebuf PCT] "
                         "[--playlists] [--agent TEXT] [--proxy HOST:PORT] FILE-OR-URL\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    int device = 0;
    double seconds = -1;
    bool levels = false, tags = false;
    const char *creatorName = nullptr;
    long fadeInMs = 0;
    const char *file = nullptr;
    const char *agent = nullptr;
    const char *proxy = nullptr;
    long netTimeout = -1, netBuffer = -1, prebuf = 0;
    bool playlists = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--device" && hasValue)
            device = std::atoi(argv[++i]);
        else if (arg == "--seconds" && hasValue)
            seconds = std::atof(argv[++i]);
        else if (arg == "--levels")
            levels = true;
        else if (arg == "--tags")
            tags = true;
        else if (arg == "--creator" && hasValue)
            creatorName = argv[++i];
        else if (arg == "--fade-in" && hasValue)
            fadeInMs = std::atol(argv[++i]);
        else if (arg == "--net-timeout" && hasValue)
            netTimeout = std::atol(argv[++i]);
        else if (arg == "--net-buffer" && hasValue)
            netBuffer = std::atol(argv[++i]);
        else if (arg == "--prebuf" && hasValue)
            prebuf = std::atol(argv[++i]);
        else if (arg == "--playlists")
            playlists = true;
        else if (arg == "--agent" && hasValue)
            agent = argv[++i];
        else if (arg == "--proxy" && hasValue)
            proxy = argv[++i];
        else if (!arg.empty() && arg[0] != '-' && !file)
            file = argv[i];
        else
            return usage();
    }
    if (!file)
        return usage();
    const bool isUrl = std::strstr(file, "://") != nullptr;

    BASS_SetConfig(BASS_CONFIG_FLOATDSP, 1);
    if (netTimeout >= 0)
        BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, DWORD(netTimeout));
    if (netBuffer >= 0)
        BASS_SetConfig(BASS_CONFIG_NET_BUFFER, DWORD(netBuffer));
    BASS_SetConfig(BASS_CONFIG_NET_PREBUF, DWORD(prebuf));
    BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, playlists ? 2 : 0);
    if (agent)
        BASS_SetConfigPtr(BASS_CONFIG_NET_AGENT, agent);
    if (proxy)
        BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, proxy);
    if (device == 0) {
        tunora::audio::NullOutputBehaviour behaviour;
        behaviour.tap = tap;
        tunora::audio::setNullOutputBehaviour(behaviour);
    }
    if (!BASS_Init(device, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "tunora-play: the output did not start (error %d)\n", BASS_ErrorGetCode());
        return 1;
    }
    const auto opening = Clock::now();
    const char *used = nullptr;
    for (const Creator &creator : Creators) {
        if (creatorName && std::strcmp(creatorName, creator.name) != 0)
            continue;
        if (isUrl && creator.url)
            g_stream = creator.url(file, 0, BASS_STREAM_BLOCK | BASS_STREAM_STATUS, onDownload, nullptr);
        else
            g_stream = creator.file(FALSE, file, 0, 0, 0);
        if (g_stream) {
            used = creator.name;
            break;
        }
        if (isUrl && BASS_ErrorGetCode() == BASS_ERROR_TIMEOUT)
            break; // as the wrapper: a time-out ends the attempt
    }
    if (!g_stream) {
        std::fprintf(stderr, "tunora-play: cannot open %s (error %d)\n", file, BASS_ErrorGetCode());
        BASS_Free();
        return 1;
    }
    const double openMs = std::chrono::duration<double, std::milli>(Clock::now() - opening).count();
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(g_stream, &info);
    const QWORD length = BASS_ChannelGetLength(g_stream, BASS_POS_BYTE);
    std::printf("open: creator=%s ctype=0x%x rate=%u chans=%u length=%.3fs open_ms=%.1f\n", used, info.ctype,
                info.freq, info.chans,
                length == QWORD(-1) ? -1.0 : BASS_ChannelBytes2Seconds(g_stream, length), openMs);
    if (tags) {
        printList("http", BASS_ChannelGetTags(g_stream, BASS_TAG_HTTP));
        printList("icy", BASS_ChannelGetTags(g_stream, BASS_TAG_ICY));
        printList("ogg", BASS_ChannelGetTags(g_stream, BASS_TAG_OGG));
        printList("wma", BASS_ChannelGetTags(g_stream, BASS_TAG_WMA));
        if (const char *meta = BASS_ChannelGetTags(g_stream, BASS_TAG_META))
            std::printf("tag meta: %s\n", meta);
    }
    std::fflush(stdout);
    BASS_ChannelSetSync(g_stream, BASS_SYNC_END, 0, onEnd, nullptr);
    BASS_ChannelSetSync(g_stream, BASS_SYNC_STALL, 0, onStall, nullptr);
    BASS_ChannelSetSync(g_stream, BASS_SYNC_META, 0, onMeta, nullptr);
    if (fadeInMs > 0)
        BASS_ChannelSetAttribute(g_stream, BASS_ATTRIB_VOL, 0);
    BASS_ChannelPlay(g_stream, FALSE);
    if (fadeInMs > 0)
        BASS_ChannelSlideAttribute(g_stream, BASS_ATTRIB_VOL, 1, DWORD(fadeInMs));

    const auto start = Clock::now();
    const auto deadline =
        seconds >= 0 ? start + std::chrono::milliseconds(long(seconds * 1000)) : Clock::time_point::max();
    bool firstAudioPrinted = false;
    {
        std::unique_lock<std::mutex> lock(g_lock);
        while (!g_ended && Clock::now() < deadline) {
            auto next = levels ? std::min(deadline, Clock::now() + std::chrono::seconds(1)) : deadline;
            if (device == 0 && !firstAudioPrinted)
                next = std::min(next, Clock::now() + std::chrono::milliseconds(10));
            g_changed.wait_until(lock, next, [] { return g_ended; });
            if (device == 0 && !firstAudioPrinted && g_firstAudio.load(std::memory_order_acquire)) {
                firstAudioPrinted = true;
                std::printf("first_audio_ms: %.1f\n",
                            std::chrono::duration<double, std::milli>(g_firstAudioAt - opening).count());
                std::fflush(stdout);
            }
            if (levels && !g_ended && Clock::now() >= next) {
                const DWORD level = BASS_ChannelGetLevel(g_stream);
                std::printf("level: %u %u\n", (level & 0xFFFF) * 100 / 32768, (level >> 16) * 100 / 32768);
                std::fflush(stdout);
            }
        }
    }
    const QWORD position = BASS_ChannelGetPosition(g_stream, BASS_POS_BYTE);
    std::printf("position: %.3fs\n", BASS_ChannelBytes2Seconds(g_stream, position));
    if (isUrl)
        std::printf("downloaded_bytes: %llu\n", static_cast<unsigned long long>(g_downloaded.load()));
    std::printf("engine_cpu_percent: %.3f\n", double(BASS_GetCPU()));
    BASS_StreamFree(g_stream);
    BASS_Free();
    return 0;
}
