#pragma once

// One channel made by a creator. A playing channel (no BASS_STREAM_DECODE) owns a decode thread
// that reads the source, decodes, runs the DSP/effect chain at the channel's own rate, converts
// to the output rate and fills a ring of about BASS_CONFIG_BUFFER milliseconds; the mixer on the
// output thread takes from that ring. The thread starts with the first play: DSPs and effects
// set between the creation and the play then apply from the first sample heard (audio decoded
// ahead would already be in the ring, unprocessed). A decoding channel has no thread:
// BASS_ChannelGetData decodes and processes on the caller's thread.
//
// Locks (always taken in this order, never the other way round):
//   Engine::m_lock  ->  Channel::m_control  ->  Mixer::lock  ->  CallbackThread queue
// Channel::m_chain (recursive) is held while DSP callbacks run and is never held while taking
// the mixer lock. Fields under "mixer state" belong to Mixer::lock.

#include "decoder.h"
#include "effects.h"
#include "ring.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SwrContext;

namespace tunora::audio {

class Session;

enum class PlayState
{
    Stopped,
    Playing,
    Stalled,
    Paused
};

struct SyncEntry
{
    HSYNC id = 0;
    DWORD type = 0;  // BASS_SYNC_* without the MIXTIME/ONETIME bits
    DWORD flags = 0; // BASS_SYNC_MIXTIME, BASS_SYNC_ONETIME
    QWORD param = 0;
    SYNCPROC *proc = nullptr;
    void *user = nullptr;
};

struct ChainEntry
{
    DWORD id = 0;
    int priority = 0;
    std::uint64_t order = 0;
    DSPPROC *proc = nullptr;
    void *user = nullptr;
    std::unique_ptr<Compressor> effect; // set for an effect, null for a DSP callback
    bool removed = false;
};

// A position in the ring (frames written since the last reset) at which a source event is due.
struct RingMark
{
    std::uint64_t at = 0;
    SourceEvent event;
};

// Peak of the audio heard in one level window (about 10 ms), after the channel volume.
struct LevelWindow
{
    std::uint64_t end = 0; // consumed-frame count at the end of the window
    float left = 0;
    float right = 0;
};

class Channel : public std::enable_shared_from_this<Channel>
{
public:
    Channel(std::shared_ptr<Session> session, HSTREAM handle, DWORD flags, std::unique_ptr<Decoder> decoder,
            std::string filename);
    ~Channel();

    const HSTREAM handle;
    const DWORD flags;
    Session &session() { return *m_session; }
    Decoder &decoder() { return *m_decoder; }
    const std::string &filename() const { return m_filename; }
    int rate() const { return m_rate; }
    int channels() const { return m_channels; }
    bool isDecodingChannel() const { return flags & BASS_STREAM_DECODE; }
    // Bytes of one sample in the channel's own format (8-bit, 16-bit or float).
    int sampleBytes() const { return (flags & BASS_SAMPLE_FLOAT) ? 4 : (flags & BASS_SAMPLE_8BITS) ? 1 : 2; }
    int frameBytes() const { return sampleBytes() * m_channels; }

    // Sets up the ring and the rate conversion of a playing channel (at its creation).
    void prepare();
    // Starts the decode thread of a playing channel unless it runs already (or was shut down).
    void startDecoding();
    // Stops and joins the decode thread and interrupts the source. Idempotent.
    void shutdown();
    bool isShutDown() const { return m_shutDown.load(std::memory_order_acquire); }
    std::thread::id decodeThreadId() const { return m_threadId.load(std::memory_order_acquire); }

    // Moves to `frame`; playing channels wait for their decode thread. False if not seekable.
    bool seek(std::int64_t frame);
    // Decoding channels: reads up to `bytes` of processed audio, as float or in the channel's
    // format. Returns the byte count; -1 with BASS_ERROR_ENDED once nothing is left.
    DWORD readDecoded(void *buffer, DWORD bytes, bool asFloat);
    // Decoding channels: frames delivered so far (the position).
    std::int64_t decodedPosition();
    // Decoding channels: frames decoded and held back (BASS_DATA_AVAILABLE).
    std::int64_t decodedAvailable();
    bool decodingEnded();

    // DSP callbacks and effects, sorted by priority (higher first).
    DWORD addProcessor(int priority, DSPPROC *proc, void *user, std::unique_ptr<Compressor> effect);
    bool removeProcessor(DWORD id, bool effect);
    bool hasEffect(DWORD id);
    bool setEffectParameters(DWORD id, const BASS_DX8_COMPRESSOR &parameters);
    bool effectParameters(DWORD id, BASS_DX8_COMPRESSOR &parameters);
    void resetEffects(DWORD id); // 0: all
    std::vector<DWORD> effectIds();

    // Syncs. fire() with mixTime runs the MIXTIME syncs of `type` at once on the calling thread
    // (a decode thread, or the reader of a decoding channel); without, it posts the other syncs
    // to the callback thread, due after `delayFrames` output frames. The output thread only
    // ever posts.
    HSYNC addSync(DWORD type, QWORD param, SYNCPROC *proc, void *user);
    bool removeSync(HSYNC id);
    bool lookupSync(HSYNC id, SyncEntry &entry);
    void fire(DWORD type, DWORD data, bool mixTime, std::int64_t delayFrames = 0);
    // A source event: as fire(), and a tag that comes with the event changes together with the
    // syncs (heard: in the same callback-thread task, just before them; MIXTIME: just before
    // the MIXTIME syncs, when there are any).
    void fireEvent(const SourceEvent &event, bool mixTime, std::int64_t delayFrames = 0);
    std::vector<SyncEntry> takeSyncs(DWORD type);
    // POS syncs crossed between two channel frames ([from, to)).
    void firePositionSyncs(std::int64_t from, std::int64_t to, bool mixTime, std::int64_t delayFrames);

    // Tags (BASS_ChannelGetTags): lists of zero-terminated strings ended by an empty one, or a
    // single string for BASS_TAG_META. The pointer stays valid until the tag is replaced.
    void setTags(DWORD type, const std::vector<std::string> &items, bool singleString = false);
    const char *tags(DWORD type);

    // ---- mixer state (Mixer::lock) --------------------------------------------------------
    FrameRing ring; // at the output rate, channels() wide
    PlayState state = PlayState::Stopped;
    bool inMix = false;
    bool hadData = false; // gave audio since it last started or resumed (a stall can follow)
    Ramp volume;
    Ramp pan{0.0f, 0.0f, 0.0f, 0};
    std::uint64_t consumed = 0; // output frames taken since the last reset
    std::int64_t baseFrame = 0; // channel frame at consumed == 0
    // Frames still unheard when the channel left the mix; they drain with the clock unless the
    // output was corked for this channel (pause).
    std::int64_t latencyAtLeave = 0;
    std::chrono::steady_clock::time_point leftAt;
    bool leaveFrozen = false;
    std::vector<RingMark> marks;
    LevelWindow levels[256];
    std::uint32_t levelCount = 0;
    LevelWindow levelOpen; // the window being filled
    std::uint64_t levelOpenFrames = 0;

    // Shared with the decode thread without a lock.
    std::atomic<bool> decodeEnded{false}; // everything is in the ring
    std::atomic<bool> decoderWaiting{false};
    std::atomic<std::uint32_t> wakeEpoch{0}; // bumped to wake the decode thread
    // Orders the decoder's waiting mark against the mixer's reads of the ring: each side does one
    // read-modify-write here between its store and its load, so at least one of them sees the
    // other's store (the decoder the freed room, or the mixer the mark) and no wake-up is lost.
    // (A standalone fence would do the same, but the thread checker does not follow fences.)
    std::atomic<std::uint32_t> waitHandshake{0};

    // Output frames <-> channel frames.
    std::int64_t toChannelFrames(std::uint64_t outputFrames) const;
    std::uint64_t toOutputFrames(std::int64_t channelFrames) const;

private:
    void decodeLoop();
    void process(float *samples, std::int64_t frames);
    bool produce(DecodedBlock &block, std::vector<float> &out);
    void wakeDecoder();

    std::shared_ptr<Session> m_session;
    std::unique_ptr<Decoder> m_decoder;
    std::string m_filename;
    int m_rate;
    int m_channels;
    int m_outputRate;

    // Decode thread control.
    std::mutex m_control;
    std::condition_variable m_seekDone;
    std::thread m_thread; // started and read under m_control; joined once m_stop is set
    std::atomic<std::thread::id> m_threadId{};
    bool m_started = false;
    std::int64_t m_startFrame = 0; // where a seek before the start put the decoder
    bool m_stop = false;
    bool m_seekRequested = false;
    bool m_seekOk = false;
    std::int64_t m_seekTarget = 0;
    std::atomic<bool> m_shutDown{false};
    SwrContext *m_toOutput = nullptr;

    // Decoding channels (no thread): what was decoded but not delivered yet.
    std::mutex m_readLock;
    DecodedBlock m_block;
    std::int64_t m_blockOffset = 0; // frames of m_block already delivered
    std::int64_t m_delivered = 0;
    bool m_endFired = false;

    std::recursive_mutex m_chain;
    std::vector<std::shared_ptr<ChainEntry>> m_processors;
    std::vector<std::shared_ptr<ChainEntry>> m_snapshot;
    std::vector<std::int16_t> m_shorts;
    std::vector<std::uint8_t> m_bytes;
    std::uint64_t m_processorOrder = 0;

    std::mutex m_syncLock;
    std::vector<SyncEntry> m_syncs;

    std::mutex m_tagLock;
    struct TagSlot
    {
        std::unique_ptr<std::string> current;
        std::unique_ptr<std::string> previous; // kept so a reader of the last value stays valid
    };
    std::vector<std::pair<DWORD, TagSlot>> m_tags;
};

} // namespace tunora::audio
