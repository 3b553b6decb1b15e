#pragma once

// Where a channel's encoded bytes come from. The demuxer reads through an AVIOContext whose
// callbacks call one ByteSource, so that a file, a block of memory and (later) a network reader
// with its own buffer all look the same to the decoder, and so that the file positions the
// wrapper asks for (consumed, received, total) are the source's own figures.
//
// Threads: a source is created on the creator's thread and then used by exactly one reader at a
// time (the creator while it opens, afterwards the channel's decode thread, or the caller of
// BASS_ChannelGetData for a decoding channel). interrupt(), size(), downloaded() and position()
// may be called from any thread.

#include "audioengine.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tunora::audio {

// What a creator watches while it opens: the abort flag the calling thread registered with
// BASS_SetAbortFlag. The flag is only watched during the open; afterwards the pointer is dropped.
struct OpenContext
{
    const std::atomic<bool> *abortFlag = nullptr;
    bool aborted() const { return abortFlag && abortFlag->load(std::memory_order_relaxed); }
};

// An event a source attaches to a byte offset of its data (a network reader's metadata block,
// new comments of a chained Ogg stream). The decode path turns it into a sync that fires when
// playback reaches the audio decoded from that offset. `type` is a BASS_SYNC_* kind. When `tag`
// is set, the channel's tag `tagType` takes that value as the syncs fire (a BASS_TAG_META block
// is one string, the other kinds are lists).
struct SourceEvent
{
    SourceEvent() = default;
    SourceEvent(std::int64_t offset_, DWORD type_, DWORD data_, DWORD tagType_ = 0,
                std::shared_ptr<const std::vector<std::string>> tag_ = nullptr)
        : offset(offset_)
        , type(type_)
        , data(data_)
        , tagType(tagType_)
        , tag(std::move(tag_))
    {}

    std::int64_t offset = 0;
    DWORD type = 0;
    DWORD data = 0;
    DWORD tagType = 0;
    std::shared_ptr<const std::vector<std::string>> tag;
};

class ByteSource
{
public:
    virtual ~ByteSource() = default;

    // Reads up to `size` bytes at the read position and advances it. Blocks until at least one
    // byte is there, the data ends or the source is interrupted. Returns the count, 0 at the
    // end, or a negative AVERROR (AVERROR_EXIT once interrupted or once the open was aborted).
    virtual int read(std::uint8_t *buffer, int size) = 0;
    // Copies up to `size` bytes that start `offset` bytes after the read position, without
    // consuming them. Blocks like read() until all of them are there or the data ends; returns
    // the count (short only at the end) or a negative AVERROR. Used by the format check.
    virtual int peek(std::int64_t offset, std::uint8_t *buffer, int size) = 0;
    // Moves the read position (SEEK_SET, SEEK_CUR, SEEK_END); returns the new position or a
    // negative AVERROR; AVERROR(ENOSYS) when the source cannot seek.
    virtual std::int64_t seek(std::int64_t position, int whence) = 0;
    virtual bool seekable() const = 0;
    // Total length in bytes, -1 while unknown (a live stream).
    virtual std::int64_t size() const = 0;
    // Bytes read so far through read() (the read position).
    virtual std::int64_t position() const = 0;
    // Bytes received so far (BASS_FILEPOS_DOWNLOAD); a local file counts as fully received.
    virtual std::int64_t downloaded() const = 0;
    // True for local files and memory; false for network streams.
    virtual bool isLocal() const = 0;
    // Network sources: how many bytes the reader buffers ahead of the read position (the
    // download buffer); -1 for sources without one.
    virtual std::int64_t bufferSize() const { return -1; }
    // True for a stream assembled from segments (HTTP live streaming): the plain creator then
    // accepts whatever audio format the segments carry.
    virtual bool isSegmented() const { return false; }

    // Wakes a blocked read() or peek(); from then on both fail with AVERROR_EXIT. Any thread.
    virtual void interrupt() = 0;
    // While a creator opens the source it also watches the creator's abort flag; null after.
    void watchOpen(const OpenContext *context) { m_open.store(context, std::memory_order_release); }

    // Moves the events whose offset is at or before `upTo` into `out` (network sources).
    virtual void takeEvents(std::int64_t upTo, std::vector<SourceEvent> &out)
    {
        (void)upTo;
        (void)out;
    }

protected:
    // True while a creator opens the source.
    bool opening() const { return m_open.load(std::memory_order_acquire) != nullptr; }
    bool openAborted() const
    {
        const OpenContext *context = m_open.load(std::memory_order_acquire);
        return context && context->aborted();
    }

private:
    std::atomic<const OpenContext *> m_open{nullptr};
};

// A local file (or pipe), optionally a window of it: `offset` bytes in, `length` bytes long
// (0 = to the end). Regular files are read with pread and never block; pipes are polled so
// that an abort or interrupt ends a read that waits for a writer.
class FileSource final : public ByteSource
{
public:
    // Opens the file; on failure returns null and sets `error` to a BASS_ERROR_* code.
    static std::unique_ptr<FileSource> open(const std::string &path, std::uint64_t offset,
                                            std::uint64_t length, int &error);
    ~FileSource() override;

    int read(std::uint8_t *buffer, int size) override;
    int peek(std::int64_t offset, std::uint8_t *buffer, int size) override;
    std::int64_t seek(std::int64_t position, int whence) override;
    bool seekable() const override { return m_seekable; }
    std::int64_t size() const override { return m_size; }
    std::int64_t position() const override { return m_position.load(std::memory_order_relaxed); }
    std::int64_t downloaded() const override { return m_seekable ? m_size : position(); }
    bool isLocal() const override { return true; }
    void interrupt() override { m_interrupted.store(true, std::memory_order_relaxed); }

private:
    FileSource() = default;
    // Pipes: reads more bytes into the look-ahead buffer; returns false at the end or on error.
    int fill(std::size_t wanted);
    int waitReadable();

    int m_fd = -1;
    bool m_seekable = false;
    std::int64_t m_base = 0; // offset of the window in the file
    std::int64_t m_size = -1;
    std::atomic<std::int64_t> m_position{0};
    std::atomic<bool> m_interrupted{false};
    std::vector<std::uint8_t> m_ahead; // pipes: bytes peeked but not yet read
    bool m_pipeEnded = false;
};

// A block of memory that the caller keeps alive for the life of the channel.
class MemorySource final : public ByteSource
{
public:
    MemorySource(const std::uint8_t *data, std::size_t size)
        : m_data(data)
        , m_size(std::int64_t(size))
    {}

    int read(std::uint8_t *buffer, int size) override;
    int peek(std::int64_t offset, std::uint8_t *buffer, int size) override;
    std::int64_t seek(std::int64_t position, int whence) override;
    bool seekable() const override { return true; }
    std::int64_t size() const override { return m_size; }
    std::int64_t position() const override { return m_position.load(std::memory_order_relaxed); }
    std::int64_t downloaded() const override { return m_size; }
    bool isLocal() const override { return true; }
    void interrupt() override { m_interrupted.store(true, std::memory_order_relaxed); }

private:
    const std::uint8_t *m_data;
    std::int64_t m_size;
    std::atomic<std::int64_t> m_position{0};
    std::atomic<bool> m_interrupted{false};
};

// Opens what a file creator was given: a local path (UTF-8). Returns null and sets `error` on
// failure. Network addresses are not opened here: the file creators hand them to the URL
// creators' path (createFromNetwork in urlcreators.cpp), which also follows playlists.
std::unique_ptr<ByteSource> openLocation(const std::string &location, std::uint64_t offset,
                                         std::uint64_t length, const OpenContext &context, int &error);

// The seek of a source with a known size: moves `current` (SEEK_SET, SEEK_CUR, SEEK_END) within
// [0, size] and returns the new position, or AVERROR(EINVAL) before the start.
std::int64_t moveTo(std::atomic<std::int64_t> &current, std::int64_t position, int whence, std::int64_t size);

// True when `location` starts with a URL scheme the network reader handles.
bool isNetworkAddress(const std::string &location);

} // namespace tunora::audio
