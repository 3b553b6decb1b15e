#include "bytesource.h"

extern "C" {
#include <libavutil/error.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tunora::audio {

namespace {
constexpr int PollSliceMs = 20; // how quickly a waiting pipe read notices an abort
constexpr std::size_t PipeChunk = 16384;

#if defined(__SANITIZE_THREAD__)
#define TUNORA_THREAD_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TUNORA_THREAD_CHECKED 1
#endif
#endif
#ifndef TUNORA_THREAD_CHECKED
#define TUNORA_THREAD_CHECKED 0
#endif
constexpr bool ThreadChecked = TUNORA_THREAD_CHECKED;

// Under ThreadSanitizer only: keeps a duplicate instead of what open() returned. Once a QProcess
// has started a child in the process (test fixtures run ffmpeg and servers), the checker no
// longer orders a thread's open() before a close() on another thread, even through a mutex: Qt
// starts children with clone(CLONE_VM | CLONE_VFORK), which runs the checker's interceptors of
// the child's libc calls on the parent thread's state, unseen as a fork. It does order a
// duplicate, so a channel freed on the callback thread is not reported as a race with the test
// that opened its file. Other builds keep the descriptor as it is.
int checkerSafeDescriptor(int fd)
{
    if (!ThreadChecked || fd < 0)
        return fd;
    const int kept = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (kept < 0)
        return fd;
    ::close(fd);
    return kept;
}
} // namespace

std::int64_t moveTo(std::atomic<std::int64_t> &current, std::int64_t position, int whence, std::int64_t size)
{
    std::int64_t target = position;
    if (whence == SEEK_CUR)
        target += current.load(std::memory_order_relaxed);
    else if (whence == SEEK_END)
        target += size;
    if (target < 0)
        return AVERROR(EINVAL);
    current.store(std::min(target, size), std::memory_order_relaxed);
    return current.load(std::memory_order_relaxed);
}

std::unique_ptr<FileSource> FileSource::open(const std::string &path, std::uint64_t offset,
                                             std::uint64_t length, int &error)
{
    std::unique_ptr<FileSource> source(new FileSource);
    // Non-blocking so that opening a pipe without a writer cannot hang the creator.
    source->m_fd = checkerSafeDescriptor(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (source->m_fd < 0) {
        error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    struct stat info
    {
    };
    if (fstat(source->m_fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    source->m_seekable = S_ISREG(info.st_mode);
    if (source->m_seekable) {
        const auto fileSize = std::int64_t(info.st_size);
        if (std::int64_t(offset) > fileSize) {
            error = BASS_ERROR_FILEOPEN;
            return nullptr;
        }
        source->m_base = std::int64_t(offset);
        source->m_size = fileSize - source->m_base;
        if (length > 0 && std::int64_t(length) < source->m_size)
            source->m_size = std::int64_t(length);
    } else {
        if (offset > 0) {
            error = BASS_ERROR_NOTAVAIL; // a pipe cannot start in the middle
            return nullptr;
        }
        source->m_size = length > 0 ? std::int64_t(length) : -1;
    }
    return source;
}

FileSource::~FileSource()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int FileSource::waitReadable()
{
    for (;;) {
        if (m_interrupted.load(std::memory_order_relaxed) || openAborted())
            return AVERROR_EXIT;
        pollfd fd{m_fd, POLLIN, 0};
        const int ready = ::poll(&fd, 1, PollSliceMs);
        if (ready > 0)
            return 0;
        if (ready < 0 && errno != EINTR)
            return AVERROR(errno);
    }
}

int FileSource::fill(std::size_t wanted)
{
    while (m_ahead.size() < wanted && !m_pipeEnded) {
        if (m_size >= 0 && std::int64_t(m_ahead.size()) + position() >= m_size) {
            m_pipeEnded = true;
            break;
        }
        std::uint8_t chunk[PipeChunk];
        const ssize_t got = ::read(m_fd, chunk, sizeof chunk);
        if (got > 0) {
            m_ahead.insert(m_ahead.end(), chunk, chunk + got);
        } else if (got == 0) {
            m_pipeEnded = true;
        } else if (errno == EAGAIN || errno == EINTR) {
            if (const int waited = waitReadable(); waited < 0)
                return waited;
        } else {
            return AVERROR(errno);
        }
    }
    return 0;
}

int FileSource::read(std::uint8_t *buffer, int size)
{
    if (m_interrupted.load(std::memory_order_relaxed) || openAborted())
        return AVERROR_EXIT;
    if (size <= 0)
        return 0;
    const std::int64_t at = position();
    if (m_seekable) {
        const std::int64_t left = m_size - at;
        if (left <= 0)
            return 0;
        const auto want = std::size_t(std::min<std::int64_t>(size, left));
        ssize_t got;
        do {
            got = ::pread(m_fd, buffer, want, m_base + at);
        } while (got < 0 && errno == EINTR);
        if (got < 0)
            return AVERROR(errno);
        m_position.store(at + got, std::memory_order_relaxed);
        return int(got);
    }
    if (const int filled = fill(1); filled < 0)
        return filled;
    std::size_t count = std::min(m_ahead.size(), std::size_t(size));
    if (m_size >= 0)
        count = std::size_t(std::min<std::int64_t>(std::int64_t(count), m_size - at));
    std::copy_n(m_ahead.begin(), count, buffer);
    m_ahead.erase(m_ahead.begin(), m_ahead.begin() + std::ptrdiff_t(count));
    m_position.store(at + std::int64_t(count), std::memory_order_relaxed);
    return int(count);
}

int FileSource::peek(std::int64_t offset, std::uint8_t *buffer, int size)
{
    if (m_interrupted.load(std::memory_order_relaxed) || openAborted())
        return AVERROR_EXIT;
    if (offset < 0 || size <= 0)
        return 0;
    const std::int64_t at = position() + offset;
    if (m_seekable) {
        const std::int64_t left = m_size - at;
        if (left <= 0)
            return 0;
        ssize_t got;
        do {
            got = ::pread(m_fd, buffer, std::size_t(std::min<std::int64_t>(size, left)), m_base + at);
        } while (got < 0 && errno == EINTR);
        return got < 0 ? AVERROR(errno) : int(got);
    }
    if (const int filled = fill(std::size_t(offset) + std::size_t(size)); filled < 0)
        return filled;
    if (std::int64_t(m_ahead.size()) <= offset)
        return 0;
    const auto count = std::min<std::size_t>(std::size_t(size), m_ahead.size() - std::size_t(offset));
    std::copy_n(m_ahead.begin() + std::ptrdiff_t(offset), count, buffer);
    return int(count);
}

std::int64_t FileSource::seek(std::int64_t position, int whence)
{
    if (!m_seekable)
        return AVERROR(ENOSYS);
    return moveTo(m_position, position, whence, m_size);
}

int MemorySource::read(std::uint8_t *buffer, int size)
{
    if (m_interrupted.load(std::memory_order_relaxed) || openAborted())
        return AVERROR_EXIT;
    const std::int64_t at = position();
    const auto count = std::max<std::int64_t>(0, std::min<std::int64_t>(size, m_size - at));
    std::memcpy(buffer, m_data + at, std::size_t(count));
    m_position.store(at + count, std::memory_order_relaxed);
    return int(count);
}

int MemorySource::peek(std::int64_t offset, std::uint8_t *buffer, int size)
{
    if (offset < 0)
        return 0;
    const std::int64_t at = position() + offset;
    const auto count = std::max<std::int64_t>(0, std::min<std::int64_t>(size, m_size - at));
    std::memcpy(buffer, m_data + at, std::size_t(count));
    return int(count);
}

std::int64_t MemorySource::seek(std::int64_t position, int whence)
{
    return moveTo(m_position, position, whence, m_size);
}

bool isNetworkAddress(const std::string &location)
{
    static const char *const schemes[] = {"http://", "https://", "mms://", "mmsh://", "mmst://", "rtsp://"};
    for (const char *scheme : schemes) {
        const std::size_t n = std::strlen(scheme);
        if (location.size() >= n && strncasecmp(location.c_str(), scheme, n) == 0)
            return true;
    }
    return false;
}

std::unique_ptr<ByteSource> openLocation(const std::string &location, std::uint64_t offset,
                                         std::uint64_t length, const OpenContext &context, int &error)
{
    (void)context; // files open at once; the network reader will watch the abort flag here
    if (isNetworkAddress(location)) {
        // The network reader plugs in here (it returns a source that fills its own buffer).
        error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    return FileSource::open(location, offset, length, error);
}

} // namespace tunora::audio
