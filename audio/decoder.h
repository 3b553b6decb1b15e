#pragma once

// FFmpeg side of a channel: demuxes the source with the demuxer the creator named, decodes the
// one audio stream and converts every frame to interleaved 32-bit float samples in the
// channel's format, which is fixed by the first decoded frame (so HE-AAC, whose container says
// half the real rate, is reported as it sounds). Later frames in another format (a chained Ogg
// stream, a rate change) are converted to the channel's format.
//
// Not thread-safe: one reader at a time (see ByteSource). interrupt() and the atomic counters
// may be used from any thread.

#include "bytesource.h"
#include "sniff.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVIOContext;
struct SwrContext;

namespace tunora::audio {

// One decoded block: interleaved float frames plus the source events that arrived with it.
struct DecodedBlock
{
    std::vector<float> samples; // frames * channels
    std::int64_t frames = 0;
    std::vector<SourceEvent> events;
};

class Decoder
{
public:
    // Opens `source` as `family` (the caller already checked the family with sniffFamily) and
    // decodes the first frame. `mono` folds the channel down to one channel. `prescan` reads
    // the whole file once to count its exact length. On failure returns null and sets `error`.
    static std::unique_ptr<Decoder> open(std::unique_ptr<ByteSource> source, const Sniffed &format, bool mono,
                                         bool prescan, const OpenContext &context, int &error);
    ~Decoder();
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    // Decodes the next block into `block` (replacing its contents). Returns true with at least one
    // frame, false at the end of the data (or after interrupt(), or on an unrecoverable error).
    bool next(DecodedBlock &block);
    // Moves to `frame` (channel frames from the start); the next block starts exactly there when
    // the container gives timestamps. Returns false when the source cannot seek.
    bool seek(std::int64_t frame);
    bool seekable() const;
    bool ended() const { return m_ended; }

    int rate() const { return m_rate; }
    int channels() const { return m_channels; }
    DWORD ctype() const { return m_ctype; }
    DWORD originalResolution() const { return m_origres; }
    // Length in channel frames, -1 while unknown. Exact once the end was decoded.
    std::int64_t lengthFrames() const { return m_lengthFrames.load(std::memory_order_relaxed); }
    // Bytes of the source the demuxer has consumed (BASS_FILEPOS_CURRENT).
    std::int64_t consumedBytes() const { return m_consumed.load(std::memory_order_relaxed); }
    // Offset of the first audio packet (BASS_FILEPOS_START).
    std::int64_t dataStart() const { return m_dataStart; }
    ByteSource &source() { return *m_source; }
    // "KEY=value" comments of Ogg and FLAC files, as the container carries them.
    const std::vector<std::string> &comments() const { return m_comments; }
    // "Name=value" attributes of an ASF (WMA) header, with the header's own names.
    const std::vector<std::string> &headerAttributes() const { return m_headerAttributes; }
    // Bits per second: announced by the stream, else measured over the packets read; 0 unknown.
    std::int64_t bitRate() const;

    // Makes a blocked next() return false soon (any thread).
    void interrupt();

private:
    Decoder() = default;
    int openStream(const Sniffed &format, bool mono, bool prescan);
    // Reads and decodes until a frame is there; returns 1, 0 at the end, negative on failure.
    int decodeFrame();
    bool convert(DecodedBlock &block);
    void takeCommentUpdate();
    static std::vector<std::string> asfAttributes(const AVFormatContext *format, const AVStream *stream);
    std::int64_t scanLength();
    static int readPacket(void *opaque, std::uint8_t *buffer, int size);
    static std::int64_t seekPacket(void *opaque, std::int64_t offset, int whence);
    static int interruptCallback(void *opaque);

    std::unique_ptr<ByteSource> m_source;
    AVIOContext *m_io = nullptr;
    AVFormatContext *m_format = nullptr;
    AVCodecContext *m_codec = nullptr;
    AVPacket *m_packet = nullptr;
    AVFrame *m_frame = nullptr;
    SwrContext *m_swr = nullptr;
    int m_stream = -1;
    int m_rate = 0;
    int m_channels = 0;
    DWORD m_ctype = 0;
    DWORD m_origres = 0;
    // Format of the frames the resampler was set up for.
    int m_inRate = 0;
    int m_inFormat = -1;
    int m_inChannels = 0;
    std::uint64_t m_inMask = 0;
    bool m_frameReady = false; // m_frame holds a decoded frame not yet converted
    bool m_draining = false;
    bool m_ended = false;
    std::int64_t m_skipTo = -1;   // after a seek: drop frames before this channel frame
    std::int64_t m_nextFrame = 0; // channel frame of the next sample delivered
    std::int64_t m_dataStart = 0;
    std::int64_t m_lastPacketPos = 0;
    int m_errorsInRow = 0;
    std::int64_t m_packetBytes = 0; // sums over the packets read, for a bit-rate estimate
    std::int64_t m_packetTime = 0;
    std::atomic<std::int64_t> m_lengthFrames{-1};
    std::atomic<std::int64_t> m_consumed{0};
    std::atomic<bool> m_interrupted{false};
    std::atomic<const OpenContext *> m_opening{nullptr}; // while open() runs
    std::vector<std::string> m_comments;
    std::vector<std::string> m_headerAttributes;
    std::vector<SourceEvent> m_pendingEvents;
};

} // namespace tunora::audio
