#pragma once

// The engine's process-wide state behind the BASS_* calls: the configuration (which exists
// before BASS_Init and survives BASS_Free), the per-thread last error and abort flag, and one
// Session per BASS_Init: the output, the mixer that runs on the output's thread, and the
// callback thread that runs syncs.
//
// How network streams plug in (netsource.h, urlcreators.cpp):
// - A URL creator (and a file creator handed a network address) opens a BufferedSource: a
//   reader thread per channel fills the source's own buffer from the connection. read() blocks
//   until data or interrupt(); peek() reaches as far as the format check asks; size() is the
//   length or -1 for a live stream; downloaded() counts received bytes; bufferSize() is the
//   download buffer. The creator watches currentAbortFlag() while connecting and fails with
//   BASS_ERROR_ABORTED when it is set; the options it needs are in config().
//   Then it calls Engine::createChannel(source, family, flags, url, context): the format check,
//   decoder, decode thread, positions, mixer and syncs are those of the file creators. When the
//   format check refuses the data, the source is handed back, so that the next creator tried
//   on the same address can take over the connection instead of opening another.
// - BASS_FILEPOS_CURRENT is what the decoder consumed (end of the last packet), DOWNLOAD is
//   source.downloaded(), END is the length, or for a network stream streamed in blocks
//   (BASS_STREAM_BLOCK, always for a live stream) the download buffer; BUFFER is downloaded
//   minus the source's read position, CONNECTED answers 1 for a non-local source.
// - Events at a byte offset (a metadata block): returned by ByteSource::takeEvents with the tag
//   that comes with them; the MIXTIME syncs run when that offset is decoded, the others when its
//   audio is heard, and the tag changes with them (Channel::fireEvent).
// - Tags: Channel::setTags(BASS_TAG_HTTP / BASS_TAG_ICY, header lines) at creation.
// - Stalls: while read() blocks, the ring runs dry and the mixer raises BASS_SYNC_STALL 0 (after
//   the channel had played); it raises STALL 1 when half the ring is filled again. A reconnect
//   keeps read() blocking; read() returning 0 ends the channel (END when heard).
// - HLS: the source says isSegmented(); the plain family's check then accepts the segments' audio.

#include "channel.h"
#include "effects.h"
#include "output.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tunora::audio {

// ---- configuration ------------------------------------------------------------------------------
struct Config
{
    std::atomic<DWORD> bufferMs{500};       // BASS_CONFIG_BUFFER: a playing channel's decoded buffer
    std::atomic<DWORD> updatePeriodMs{100}; // BASS_CONFIG_UPDATEPERIOD: the output's period
    std::atomic<DWORD> globalStreamVolume{10000};
    std::atomic<DWORD> floatDsp{0};
    std::atomic<DWORD> netTimeoutMs{5000};
    std::atomic<DWORD> netBufferMs{5000};
    std::atomic<DWORD> netPrebufPercent{75};
    std::atomic<DWORD> netPlaylist{0};
    std::atomic<DWORD> wmaPrebuf{1};
    // Not options of the interface: the trust store for https, and how long a dropped live stream
    // is retried before it ends (tests shorten both the net timeout and this).
    std::atomic<DWORD> reconnectWindowMs{10000};
    std::string caFile() const;
    void setCaFile(const std::string &path);
    // A PEM file trusted on top of the store (a private service's own CA); empty = none.
    void setExtraCaFile(const char *path);

    // Pointer options: copies of the caller's texts; empty optional = not set.
    std::string agent() const;
    bool proxy(std::string &out) const; // false: direct connection
    void setAgent(const char *text);
    void setProxy(const char *text);

private:
    mutable std::mutex m_lock;
    std::string m_agent;
    std::string m_proxy;
    bool m_hasProxy = false;
    std::string m_caFile = "/etc/ssl/certs/ca-certificates.crt";
    std::string m_extraCaFile;
    // BASS_GetConfigPtr hands out pointers: the texts of earlier values stay allocated.
    std::vector<std::unique_ptr<std::string>> m_handedOut;
    friend const void *configPointer(DWORD option);
};

Config &config();
const void *configPointer(DWORD option);

// A path or address handed over with BASS_UNICODE is a wchar_t string (UTF-32 here); files and
// networks want UTF-8. Returns false for code points that no UTF-8 text can hold.
bool utf8FromWide(const wchar_t *wide, std::string &out);

// ---- per-thread state ---------------------------------------------------------------------------
// Sets the calling thread's last error; returns false so that `return fail(CODE);` reads well.
bool fail(int code);
void succeed();
int lastError();
// The abort flag the calling thread registered with BASS_SetAbortFlag (null when none).
const std::atomic<bool> *currentAbortFlag();
void setCurrentAbortFlag(const std::atomic<bool> *flag);

// ---- callback thread ----------------------------------------------------------------------------
// Runs queued tasks (syncs, the freeing of AUTOFREE channels at their end) in due-time order on
// its own thread. Tasks run while deliveryLock() is held, so that removing a sync or freeing a
// channel from another thread waits for a callback already running.
class CallbackThread
{
public:
    using Clock = std::chrono::steady_clock;
    void start();
    // Discards pending tasks and joins the thread (not from the thread itself).
    void stop();
    void post(Clock::time_point due, std::function<void()> task);
    bool isCurrentThread() const { return std::this_thread::get_id() == m_threadId; }
    std::recursive_mutex &deliveryLock() { return m_delivery; }

private:
    void run();
    std::mutex m_lock;
    std::condition_variable m_wakeup;
    std::multimap<std::pair<Clock::time_point, std::uint64_t>, std::function<void()>> m_tasks;
    std::uint64_t m_sequence = 0;
    bool m_quit = false;
    std::thread m_thread;
    std::thread::id m_threadId;
    std::recursive_mutex m_delivery;
};

// ---- mixer ---------------------------------------------------------------------------------------
class Session;

class Mixer final : public RenderSource
{
public:
    explicit Mixer(Session &session)
        : m_session(session)
    {}
    bool render(float *out, std::size_t frames) override;

    std::mutex lock;
    std::vector<Channel *> playing; // channels in the mix (Playing or Stalled)

private:
    void mixChannel(Channel &channel, float *out, std::size_t frames, std::vector<Channel *> &finished);

    Session &m_session;
    std::vector<float> m_scratch;
    Ramp m_globalVolume;
};

// ---- session -------------------------------------------------------------------------------------
class Session
{
public:
    Session(int device, int rate);
    ~Session();
    int start(); // opens the output and starts the callback thread; 0 or BASS_ERROR_*
    void stop(); // joins the threads

    const int device;
    const int rate;
    std::unique_ptr<AudioOutput> output;
    Mixer mixer;
    CallbackThread callbacks;
    OutputFormat format;

    // Output-level pause (BASS_Pause/BASS_Stop) and the cork taken for a sole paused channel.
    std::mutex outputLock;
    bool devicePaused = false;
    HSTREAM corkedFor = 0; // the channel whose pause corked the output, 0 when none
    // Channels that were playing when the output was lost, played again once it is back. A pause,
    // stop or free of one of them takes it off the list (a play keeps it: the play's own
    // reconnect may come too early).
    std::vector<DWORD> resumeAfterLoss;

    // Time spent rendering and decoding, for BASS_GetCPU.
    std::atomic<std::uint64_t> busyNs{0};
    std::chrono::steady_clock::time_point cpuSince;
    std::uint64_t cpuBusyAtSince = 0;
    std::mutex cpuLock;

    // Due time of something `frames` output frames after what is being heard now.
    CallbackThread::Clock::time_point dueAfter(std::int64_t frames) const;
};

// Adds the time since construction to Session::busyNs.
class BusyTimer
{
public:
    explicit BusyTimer(Session &session)
        : m_session(session)
        , m_start(std::chrono::steady_clock::now())
    {}
    ~BusyTimer()
    {
        m_session.busyNs.fetch_add(std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                     std::chrono::steady_clock::now() - m_start)
                                                     .count()),
                                   std::memory_order_relaxed);
    }

private:
    Session &m_session;
    std::chrono::steady_clock::time_point m_start;
};

// ---- engine --------------------------------------------------------------------------------------
class Engine
{
public:
    static Engine &instance();

    bool init(int device, DWORD freq);
    bool free();
    std::shared_ptr<Session> session();

    // The common end of every creator: checks the family, opens the decoder, registers the
    // channel and, unless it is a decoding channel, starts its decode thread. Returns the handle,
    // or 0 with the thread's last error set.
    HSTREAM createChannel(std::unique_ptr<ByteSource> source, Family family, DWORD flags,
                          std::string filename, const OpenContext &context);
    // The same, except that when the format check refuses the data (BASS_ERROR_FILEFORM) the
    // source is left to the caller, unread, for another creator to try.
    HSTREAM createChannelOrReturn(std::unique_ptr<ByteSource> &source, Family family, DWORD flags,
                                  std::string filename, const OpenContext &context);

    std::shared_ptr<Channel> channel(DWORD handle);
    // Frees a channel: out of the mix, decode thread joined, FREE syncs posted. A free asked for
    // on the channel's own decode thread is handed to the callback thread.
    bool freeChannel(DWORD handle);
    // Removes the channel from the mix (BASS_ChannelStop); frees it when it is AUTOFREE.
    bool stopChannel(const std::shared_ptr<Channel> &channel);
    bool playChannel(const std::shared_ptr<Channel> &channel, bool restart);
    bool pauseChannel(const std::shared_ptr<Channel> &channel);
    // The session's output device went away: every channel that plays is stopped, its DEV_FAIL
    // syncs run (data 0) and a reconnect is tried every second (restoreOutput). On the callback
    // thread.
    void outputLost(Session &session);
    // One reconnect attempt after a loss. Once the output is back, the channels it stopped play on
    // where they were and their DEV_BACK syncs run. Retries while any of them is
    // left to resume; gives up when the listener paused, stopped or freed them all.
    void restoreOutput(Session &session);

    DWORD newHandle() { return m_nextHandle.fetch_add(1, std::memory_order_relaxed); }
    void registerEffect(HFX effect, DWORD channel);
    void unregisterEffect(HFX effect);
    std::shared_ptr<Channel> effectOwner(HFX effect);

private:
    std::mutex m_lock;
    std::shared_ptr<Session> m_session;
    std::map<DWORD, std::shared_ptr<Channel>> m_channels;
    std::map<HFX, DWORD> m_effects;
    std::atomic<DWORD> m_nextHandle{0x10001};
};

} // namespace tunora::audio
