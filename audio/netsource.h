#pragma once

// Network sources. Each has its own reader thread that fills the source's buffer from the
// network while the decoder takes from it, so that the file positions are real: DOWNLOAD is what
// arrived, CURRENT what the decoder consumed, and the buffer between them is bounded by the
// net-buffer option (BASS_CONFIG_NET_BUFFER, in milliseconds of audio at the stream's bit rate).
//
// - HttpSource: HTTP and ICY streams (http://, https://). The reply's header block is kept for
//   the tags and the download callback; ICY metadata blocks are taken out of the audio and
//   become events at the byte where they arrived. Once the channel exists, a dropped connection
//   is resumed: the decoder waits (the mixer raises the stall syncs), the reader reconnects with
//   a growing, jittered back-off, and the data ends only when the server answers with an error
//   or no connection worth the name came for the reconnect window (10 s).
// - AvioSource: what FFmpeg's own protocols read (mmsh://, mmst://).
// - HlsSource (hlssource.h): HTTP live streams, segment after segment.
//
// The creators' common path (urlcreators.cpp) decides which source an address needs.

#include "bytesource.h"
#include "http.h"
#include "icy.h"
#include "sniff.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <thread>

struct AVIOContext;

namespace tunora::audio {

class BufferedSource : public ByteSource
{
public:
    ~BufferedSource() override;

    int read(std::uint8_t *buffer, int size) override;
    int peek(std::int64_t offset, std::uint8_t *buffer, int size) override;
    std::int64_t seek(std::int64_t position, int whence) override;
    bool seekable() const override;
    std::int64_t size() const override { return m_length.load(std::memory_order_relaxed); }
    std::int64_t position() const override { return m_position.load(std::memory_order_relaxed); }
    std::int64_t downloaded() const override { return m_received.load(std::memory_order_relaxed); }
    bool isLocal() const override { return false; }
    std::int64_t bufferSize() const override { return m_capacity.load(std::memory_order_relaxed); }
    void interrupt() override;
    void takeEvents(std::int64_t upTo, std::vector<SourceEvent> &out) override;

    // The download buffer in bytes (at least 4 KiB, at most 16 MiB), or from a byte rate.
    void setCapacity(std::int64_t bytes);
    void setByteRate(std::int64_t bytesPerSecond);
    // Keeps every byte (a file of known length, not streamed in blocks): then it can seek.
    void keepEverything();
    // The creator's download callback. Bytes are held back from the moment it is set, and
    // delivered (on the reader thread) once it is activated, when the channel exists.
    void setDownloadProc(DOWNLOADPROC *proc, void *user);
    void activateDownloadProc();
    // Once the channel exists, an interrupted connection is resumed instead of ending the data.
    void setResumable();
    // Waits until `bytes` are buffered ahead of the read position, the data ended, the
    // deadline passed or the interrupt fired. Returns false only for the interrupt.
    bool waitForBuffered(std::int64_t bytes, Deadline deadline, const Interrupt &interrupt);
    // Waits until the data ended and returns all of it; false (with `error`) when it is larger
    // than `maxBytes`, did not end before the deadline, or the interrupt fired.
    bool readWhole(std::size_t maxBytes, Deadline deadline, const Interrupt &interrupt, std::string &out,
                   int &error);
    // The first tag of each kind (a new channel's first title) is handed to `sink` as soon as it
    // arrives (or at once, when it already did), without waiting for its audio to be heard;
    // later ones travel as events. The sink runs on the reader thread.
    using TagSink = std::function<void(DWORD tagType, const std::vector<std::string> &tag)>;
    void setFirstTagSink(TagSink sink);
    bool ended() const;

protected:
    BufferedSource();
    // Derived classes start the reader once their members are set, and stop it in their
    // destructor (before those members go away).
    void startReader();
    void stopReader();
    virtual void run() = 0;

    // For run(): waits while the buffer is full; false once the source is shut down.
    bool waitForRoom();
    void append(const std::uint8_t *data, std::size_t size);
    void addEvent(std::int64_t offset, DWORD type, DWORD tagType,
                  std::shared_ptr<const std::vector<std::string>> tag);
    // The data ended (completely, or for good): readers get 0 once they consumed it.
    void finish();
    bool stopping() const { return m_stop.load(std::memory_order_relaxed); }
    // Sleeps, waking early when the source is shut down; false in that case.
    bool sleepFor(std::chrono::milliseconds time);
    const std::atomic<bool> *stopFlag() const { return &m_stop; }
    void setLength(std::int64_t length) { m_length.store(length, std::memory_order_relaxed); }
    bool resumable() const { return m_resumable.load(std::memory_order_relaxed); }
    // For run(), when the connection dropped: waits until the channel exists (the creator calls
    // setResumable); until then readers see the data end. False once the source is shut down.
    bool waitUntilResumable();

private:
    struct Block
    {
        std::int64_t start = 0;
        std::vector<std::uint8_t> data; // full blocks hold BlockSize bytes
    };
    static constexpr std::size_t BlockSize = 16384;

    // With m_lock held.
    bool endedForReaders() const;
    struct Progress
    {
        std::int64_t received = -1;
        Clock::time_point since;
    };
    // True when, during an open, nothing arrived for the net time-out.
    bool openStalled(Progress &progress) const;
    std::size_t copyOut(std::int64_t from, std::uint8_t *buffer, std::size_t size) const;
    void discardConsumed();
    std::int64_t fillLimit() const;
    void deliverPending();

    mutable std::mutex m_lock;
    std::condition_variable m_dataReady;
    std::condition_variable m_roomReady;
    std::deque<Block> m_blocks;
    std::atomic<std::int64_t> m_received{0};
    std::atomic<std::int64_t> m_position{0};
    std::atomic<std::int64_t> m_length{-1};
    std::atomic<std::int64_t> m_capacity{64 * 1024};
    std::int64_t m_peekDemand = 0;
    bool m_keepAll = false;
    bool m_ended = false;
    bool m_dropped = false; // the connection dropped and is not resumed (yet)
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_interrupted{false};
    std::atomic<bool> m_resumable{false};
    std::deque<SourceEvent> m_events;
    std::vector<std::pair<DWORD, std::shared_ptr<const std::vector<std::string>>>> m_firstTags;
    TagSink m_tagSink;
    std::vector<DWORD> m_tagsHandedOver;

    // Download callback: bytes [m_delivered, m_received) are held until delivered.
    DOWNLOADPROC *m_proc = nullptr;
    void *m_procUser = nullptr;
    bool m_procActive = false;
    bool m_procEndSent = false;
    std::int64_t m_delivered = 0;
    std::mutex m_deliveryLock; // one delivery at a time, in order

    std::thread m_reader;
};

// The net time-out in milliseconds (BASS_CONFIG_NET_TIMEOUT; 0 stands for 5 s).
int netTimeoutMs();
// A GET of `url` with the configured agent, proxy, trust store and time-out.
HttpRequest configuredRequest(const Url &url);

// An HTTP or ICY stream.
class HttpSource final : public BufferedSource
{
public:
    // Connects and reads the reply's header on the calling thread (watching `interrupt`), then
    // starts the reader. `offset`: ask the server to start there (a Range request).
    static std::unique_ptr<HttpSource> open(const Url &url, std::int64_t offset, const Interrupt &interrupt,
                                            int &error);
    ~HttpSource() override;
    const HttpResponse &response() const { return m_response; }

private:
    HttpSource() = default;
    void run() override;
    // Reconnects after a drop; false when the stream is gone (or the source shut down).
    bool reconnect();

    HttpRequest m_request;
    HttpResponse m_response;
    std::unique_ptr<HttpStream> m_stream;
    IcyDeinterleaver m_icy;
    std::int64_t m_offset = 0;    // where the first request started
    std::int64_t m_skip = 0;      // body bytes to drop (a resumed file whose server ignored Range)
    std::int64_t m_goodBytes = 0; // a connection that delivered this much was a real one
    Clock::time_point m_connectedAt;
    std::int64_t m_connectionBytes = 0;
    bool m_everDropped = false;
    Clock::time_point m_failingSince;
    int m_backoffMs = 0;
};

// A stream read through one of FFmpeg's protocols (mmsh, mmst).
class AvioSource final : public BufferedSource
{
public:
    // Opens `url` (its host already numeric) on the calling thread, watching `interrupt` and
    // the net timeout.
    static std::unique_ptr<AvioSource> open(const std::string &url, const Interrupt &interrupt, int &error);
    ~AvioSource() override;

private:
    AvioSource() = default;
    void run() override;
    static int interruptCallback(void *opaque);

    AVIOContext *m_io = nullptr;
    const Interrupt *m_opening = nullptr; // while open() runs
    Deadline m_deadline;
};

// The common path of the URL creators (and of the WMA and MP4 file creators when they are
// handed a network address): connects, follows playlists (BASS_CONFIG_NET_PLAYLIST 2), turns
// HLS playlists into a segment stream, checks the format family and makes the channel.
HSTREAM createFromNetwork(Family family, const std::string &url, std::uint64_t offset, DWORD flags,
                          DOWNLOADPROC *proc, void *user);
// Closes the connections creators left for each other (BASS_Free).
void dropParkedSources();

} // namespace tunora::audio
