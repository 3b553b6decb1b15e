#include "netsource.h"

#include "engine.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

#include <algorithm>
#include <cstring>
#include <random>

namespace tunora::audio {

namespace {

constexpr std::int64_t MinCapacity = 4 * 1024;
constexpr std::int64_t MaxCapacity = 16 * 1024 * 1024;
constexpr std::int64_t MaxPeek = 2 * 1024 * 1024; // what the format check may look ahead
constexpr std::size_t MaxPendingEvents = 64;
constexpr auto WaitSlice = std::chrono::milliseconds(20);
constexpr int FirstBackoffMs = 250;
constexpr int MaxBackoffMs = 4000;
constexpr auto StableConnection = std::chrono::seconds(10); // resets the back-off

// Answers a station's server gives while it comes back from a restart: the mount is missing
// until its source reconnects (404), or the server or a proxy in front of it is not ready yet
// (500, 502, 503, 504). Any other answer means the stream is gone.
bool isPassingAnswer(int status)
{
    return status == 404 || status == 500 || status == 502 || status == 503 || status == 504;
}

// A delay of about `ms`, spread by a quarter either way so that listeners dropped together do
// not all come back at the same moment.
int jittered(int ms)
{
    thread_local std::minstd_rand random(std::random_device{}());
    std::uniform_int_distribution<int> spread(-ms / 4, ms / 4);
    return std::max(ms + spread(random), 1);
}

// The bit rate a station announces ("icy-br: 128", "ice-audio-info: ...bitrate=128..."), in
// bytes per second; 0 when it announces none that makes sense.
std::int64_t announcedByteRate(const HttpResponse &response)
{
    std::string value = response.header("icy-br");
    if (value.empty())
        value = response.header("ice-br");
    if (value.empty()) {
        const std::string info = response.header("ice-audio-info").empty()
                                     ? response.header("icy-audio-info")
                                     : response.header("ice-audio-info");
        const std::size_t at = info.find("bitrate=");
        if (at != std::string::npos)
            value = info.substr(at + 8);
    }
    std::int64_t kbps = 0;
    std::size_t digits = 0;
    for (const char c : value) {
        if (c < '0' || c > '9' || ++digits > 6)
            break;
        kbps = kbps * 10 + (c - '0');
    }
    return kbps >= 8 && kbps <= 2000 ? kbps * 125 : 0;
}

} // namespace

int netTimeoutMs()
{
    const DWORD ms = config().netTimeoutMs.load();
    return ms == 0 ? 5000 : int(std::clamp<DWORD>(ms, 50, 600000));
}

HttpRequest configuredRequest(const Url &url)
{
    HttpRequest request;
    request.url = url;
    request.agent = config().agent();
    request.hasProxy = config().proxy(request.proxy);
    request.caFile = config().caFile();
    request.timeoutMs = netTimeoutMs();
    return request;
}

// ---- the buffer -----------------------------------------------------------------------------------

BufferedSource::BufferedSource() = default;

BufferedSource::~BufferedSource()
{
    stopReader();
}

void BufferedSource::startReader()
{
    m_reader = std::thread([this] {
        run();
        finish();
    });
}

void BufferedSource::stopReader()
{
    m_stop.store(true, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> guard(m_lock); // no waiter can miss the flag
    }
    m_dataReady.notify_all();
    m_roomReady.notify_all();
    if (m_reader.joinable())
        m_reader.join();
}

void BufferedSource::interrupt()
{
    m_interrupted.store(true, std::memory_order_relaxed);
    m_stop.store(true, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> guard(m_lock);
    }
    m_dataReady.notify_all();
    m_roomReady.notify_all();
}

void BufferedSource::setCapacity(std::int64_t bytes)
{
    m_capacity.store(std::clamp(bytes, MinCapacity, MaxCapacity), std::memory_order_relaxed);
    m_roomReady.notify_all();
}

void BufferedSource::setByteRate(std::int64_t bytesPerSecond)
{
    if (bytesPerSecond > 0)
        setCapacity(bytesPerSecond * std::int64_t(config().netBufferMs.load()) / 1000);
}

void BufferedSource::keepEverything()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_keepAll = true;
}

bool BufferedSource::seekable() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_keepAll && m_length.load(std::memory_order_relaxed) >= 0;
}

std::int64_t BufferedSource::fillLimit() const
{
    return std::max(m_capacity.load(std::memory_order_relaxed), m_peekDemand);
}

std::size_t BufferedSource::copyOut(std::int64_t from, std::uint8_t *buffer, std::size_t size) const
{
    if (m_blocks.empty() || from < m_blocks.front().start)
        return 0;
    std::size_t index = std::size_t((from - m_blocks.front().start) / std::int64_t(BlockSize));
    std::size_t done = 0;
    while (done < size && index < m_blocks.size()) {
        const Block &block = m_blocks[index];
        const std::int64_t inBlock = from + std::int64_t(done) - block.start;
        if (inBlock < 0 || inBlock >= std::int64_t(block.data.size()))
            break;
        const std::size_t n = std::min(size - done, block.data.size() - std::size_t(inBlock));
        std::memcpy(buffer + done, block.data.data() + inBlock, n);
        done += n;
        ++index;
    }
    return done;
}

void BufferedSource::discardConsumed()
{
    if (m_keepAll)
        return;
    std::int64_t keepFrom = m_position.load(std::memory_order_relaxed);
    if (m_proc)
        keepFrom = std::min(keepFrom, m_delivered);
    while (!m_blocks.empty() && m_blocks.front().data.size() == BlockSize &&
           m_blocks.front().start + std::int64_t(BlockSize) <= keepFrom)
        m_blocks.pop_front();
}

int BufferedSource::read(std::uint8_t *buffer, int size)
{
    if (size <= 0)
        return 0;
    std::unique_lock<std::mutex> lock(m_lock);
    Progress progress;
    for (;;) {
        if (m_interrupted.load(std::memory_order_relaxed) || openAborted())
            return AVERROR_EXIT;
        const std::int64_t at = m_position.load(std::memory_order_relaxed);
        const std::int64_t available = m_received.load(std::memory_order_relaxed) - at;
        if (available > 0) {
            const std::size_t n = copyOut(at, buffer, std::size_t(std::min<std::int64_t>(size, available)));
            m_position.store(at + std::int64_t(n), std::memory_order_relaxed);
            m_peekDemand = 0;
            discardConsumed();
            lock.unlock();
            m_roomReady.notify_all();
            return int(n);
        }
        if (endedForReaders())
            return 0;
        if (openStalled(progress))
            return AVERROR(ETIMEDOUT);
        m_dataReady.wait_for(lock, WaitSlice); // slices: the creator's abort flag does not notify
    }
}

bool BufferedSource::openStalled(Progress &progress) const
{
    // A creator must not wait for ever on a server that answered and then sends nothing.
    if (!opening())
        return false;
    const std::int64_t received = m_received.load(std::memory_order_relaxed);
    const auto now = Clock::now();
    if (received != progress.received || progress.since == Clock::time_point()) {
        progress.received = received;
        progress.since = now;
        return false;
    }
    return now - progress.since >= std::chrono::milliseconds(netTimeoutMs());
}

int BufferedSource::peek(std::int64_t offset, std::uint8_t *buffer, int size)
{
    if (offset < 0 || size <= 0)
        return 0;
    std::unique_lock<std::mutex> lock(m_lock);
    Progress progress;
    const std::int64_t wanted = std::min<std::int64_t>(offset + size, MaxPeek);
    if (wanted > m_peekDemand) {
        m_peekDemand = wanted;
        m_roomReady.notify_all();
    }
    for (;;) {
        if (m_interrupted.load(std::memory_order_relaxed) || openAborted())
            return AVERROR_EXIT;
        const std::int64_t at = m_position.load(std::memory_order_relaxed);
        const std::int64_t received = m_received.load(std::memory_order_relaxed);
        if (received >= at + wanted || endedForReaders()) {
            const std::int64_t available = received - (at + offset);
            if (available <= 0)
                return 0;
            return int(copyOut(at + offset, buffer, std::size_t(std::min<std::int64_t>(size, available))));
        }
        if (openStalled(progress))
            return AVERROR(ETIMEDOUT);
        m_dataReady.wait_for(lock, WaitSlice);
    }
}

std::int64_t BufferedSource::seek(std::int64_t position, int whence)
{
    std::unique_lock<std::mutex> lock(m_lock);
    const std::int64_t length = m_length.load(std::memory_order_relaxed);
    if (!m_keepAll || length < 0)
        return AVERROR(ENOSYS);
    return moveTo(m_position, position, whence, length);
}

void BufferedSource::takeEvents(std::int64_t upTo, std::vector<SourceEvent> &out)
{
    std::lock_guard<std::mutex> guard(m_lock);
    while (!m_events.empty() && m_events.front().offset <= upTo) {
        out.push_back(std::move(m_events.front()));
        m_events.pop_front();
    }
}

bool BufferedSource::ended() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return endedForReaders();
}

bool BufferedSource::endedForReaders() const
{
    return m_ended || (m_dropped && !resumable());
}

void BufferedSource::setResumable()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_resumable.store(true, std::memory_order_relaxed);
    }
    m_roomReady.notify_all();
}

bool BufferedSource::waitUntilResumable()
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_dropped = true;
    m_dataReady.notify_all(); // a creator still looking at the data sees its end
    while (!resumable() && !m_stop.load(std::memory_order_relaxed))
        m_roomReady.wait_for(lock, std::chrono::milliseconds(100));
    return !m_stop.load(std::memory_order_relaxed);
}

bool BufferedSource::waitForRoom()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_lock);
            for (;;) {
                if (m_stop.load(std::memory_order_relaxed))
                    return false;
                if (m_procActive && m_delivered < m_received.load(std::memory_order_relaxed))
                    break; // held-back bytes to deliver first
                if (m_keepAll ||
                    m_received.load(std::memory_order_relaxed) - m_position.load(std::memory_order_relaxed) <
                        fillLimit())
                    return true;
                m_roomReady.wait_for(lock, std::chrono::milliseconds(100));
            }
        }
        deliverPending();
    }
}

void BufferedSource::append(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::int64_t received = m_received.load(std::memory_order_relaxed);
        while (size > 0) {
            if (m_blocks.empty() || m_blocks.back().data.size() == BlockSize) {
                m_blocks.emplace_back();
                m_blocks.back().start = received;
                m_blocks.back().data.reserve(BlockSize); // never grows past: pointers into it stay valid
            }
            std::vector<std::uint8_t> &block = m_blocks.back().data;
            const std::size_t n = std::min(size, BlockSize - block.size());
            block.insert(block.end(), data, data + n);
            data += n;
            size -= n;
            received += std::int64_t(n);
        }
        m_received.store(received, std::memory_order_relaxed);
    }
    m_dataReady.notify_all();
    deliverPending();
}

void BufferedSource::addEvent(std::int64_t offset, DWORD type, DWORD tagType,
                              std::shared_ptr<const std::vector<std::string>> tag)
{
    TagSink sink;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (tag) {
            const bool first = std::none_of(m_firstTags.begin(), m_firstTags.end(),
                                            [&](const auto &entry) { return entry.first == tagType; });
            if (first) {
                m_firstTags.emplace_back(tagType, tag);
                if (m_tagSink) {
                    m_tagsHandedOver.push_back(tagType);
                    sink = m_tagSink;
                }
            }
        }
        m_events.push_back({offset, type, 0, tagType, tag});
        // A server that sends blocks faster than anyone can hear them loses the older ones.
        while (m_events.size() > MaxPendingEvents)
            m_events.pop_front();
    }
    if (sink)
        sink(tagType, *tag);
}

void BufferedSource::setFirstTagSink(TagSink sink)
{
    std::vector<std::pair<DWORD, std::shared_ptr<const std::vector<std::string>>>> arrived;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_tagSink = sink;
        for (const auto &entry : m_firstTags)
            if (std::find(m_tagsHandedOver.begin(), m_tagsHandedOver.end(), entry.first) ==
                m_tagsHandedOver.end()) {
                m_tagsHandedOver.push_back(entry.first);
                arrived.push_back(entry);
            }
    }
    if (sink)
        for (const auto &entry : arrived)
            sink(entry.first, *entry.second);
}

void BufferedSource::finish()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_ended = true;
    }
    m_dataReady.notify_all();
    deliverPending();
    std::lock_guard<std::mutex> delivery(m_deliveryLock);
    DOWNLOADPROC *proc = nullptr;
    void *user = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_procActive && !m_procEndSent && m_delivered >= m_received.load(std::memory_order_relaxed)) {
            m_procEndSent = true;
            proc = m_proc;
            user = m_procUser;
        }
    }
    if (proc)
        proc(nullptr, 0, user); // the download is over
}

bool BufferedSource::sleepFor(std::chrono::milliseconds time)
{
    std::unique_lock<std::mutex> lock(m_lock);
    const auto until = Clock::now() + time;
    while (!m_stop.load(std::memory_order_relaxed)) {
        if (m_roomReady.wait_until(lock, until) == std::cv_status::timeout)
            return !m_stop.load(std::memory_order_relaxed);
    }
    return false;
}

void BufferedSource::setDownloadProc(DOWNLOADPROC *proc, void *user)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_proc = proc;
    m_procUser = user;
    m_procActive = false;
    m_delivered = m_position.load(std::memory_order_relaxed);
    if (!m_blocks.empty())
        m_delivered = std::min(m_delivered, m_blocks.front().start);
}

void BufferedSource::activateDownloadProc()
{
    bool ended;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_proc)
            return;
        m_procActive = true;
        ended = m_ended;
    }
    m_roomReady.notify_all();
    if (ended)
        finish(); // the reader is gone: deliver what is held and the end here
}

void BufferedSource::deliverPending()
{
    std::lock_guard<std::mutex> delivery(m_deliveryLock);
    for (;;) {
        const std::uint8_t *data = nullptr;
        std::size_t length = 0;
        DOWNLOADPROC *proc;
        void *user;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (!m_procActive || m_blocks.empty())
                return;
            const std::int64_t received = m_received.load(std::memory_order_relaxed);
            if (m_delivered < m_blocks.front().start)
                m_delivered = m_blocks.front().start; // older bytes were never held
            if (m_delivered >= received)
                return;
            const std::size_t index =
                std::size_t((m_delivered - m_blocks.front().start) / std::int64_t(BlockSize));
            const Block &block = m_blocks[index];
            const std::size_t inBlock = std::size_t(m_delivered - block.start);
            data = block.data.data() + inBlock;
            length = block.data.size() - inBlock;
            proc = m_proc;
            user = m_procUser;
        }
        // The block stays put until m_delivered moves past it (see discardConsumed).
        proc(data, DWORD(length), user);
        std::lock_guard<std::mutex> guard(m_lock);
        m_delivered += std::int64_t(length);
        discardConsumed();
    }
}

bool BufferedSource::waitForBuffered(std::int64_t bytes, Deadline deadline, const Interrupt &interrupt)
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (interrupt.triggered() || m_interrupted.load(std::memory_order_relaxed))
            return false;
        if (m_received.load(std::memory_order_relaxed) - m_position.load(std::memory_order_relaxed) >=
                bytes ||
            endedForReaders() || Clock::now() >= deadline)
            return true;
        m_dataReady.wait_for(lock, WaitSlice);
    }
}

bool BufferedSource::readWhole(std::size_t maxBytes, Deadline deadline, const Interrupt &interrupt,
                               std::string &out, int &error)
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_peekDemand = std::max<std::int64_t>(m_peekDemand, std::int64_t(maxBytes) + 1);
    m_roomReady.notify_all();
    for (;;) {
        if (interrupt.triggered() || m_interrupted.load(std::memory_order_relaxed)) {
            error = BASS_ERROR_ABORTED;
            return false;
        }
        const std::int64_t at = m_position.load(std::memory_order_relaxed);
        const std::int64_t available = m_received.load(std::memory_order_relaxed) - at;
        if (available > std::int64_t(maxBytes)) {
            error = BASS_ERROR_FILEFORM; // no playlist is that large
            return false;
        }
        if (endedForReaders()) {
            out.resize(std::size_t(available));
            out.resize(copyOut(at, reinterpret_cast<std::uint8_t *>(out.data()), out.size()));
            return true;
        }
        if (Clock::now() >= deadline) {
            error = BASS_ERROR_TIMEOUT;
            return false;
        }
        m_dataReady.wait_for(lock, WaitSlice);
    }
}

// ---- HTTP and ICY ---------------------------------------------------------------------------------

std::unique_ptr<HttpSource> HttpSource::open(const Url &url, std::int64_t offset, const Interrupt &interrupt,
                                             int &error)
{
    HttpRequest request = configuredRequest(url);
    request.icyMetadata = true;
    request.rangeFrom = offset;
    std::unique_ptr<HttpStream> stream = HttpStream::open(request, interrupt, error);
    if (!stream)
        return nullptr;
    std::unique_ptr<HttpSource> source(new HttpSource);
    source->m_request = request;
    source->m_response = stream->response();
    source->m_stream = std::move(stream);
    source->m_offset = offset > 0 && source->m_response.status == 206 ? offset : 0;
    source->setLength(source->m_response.contentLength);
    source->m_icy.reset(source->m_response.metaint, 0);
    const std::int64_t rate = announcedByteRate(source->m_response);
    source->setByteRate(rate > 0 ? rate : 16000); // until the decoder knows better: 128 kbit/s
    source->m_goodBytes = std::max<std::int64_t>(16 * 1024, 2 * (rate > 0 ? rate : 16000));
    source->m_connectedAt = Clock::now();
    source->startReader();
    error = 0;
    return source;
}

HttpSource::~HttpSource()
{
    stopReader();
}

void HttpSource::run()
{
    std::vector<std::uint8_t> chunk(16384);
    std::vector<IcyBlock> blocks;
    const Interrupt interrupt{nullptr, stopFlag()};
    for (;;) {
        if (!waitForRoom())
            return;
        int error = 0;
        const int got =
            m_stream->read(chunk.data(), int(chunk.size()), deadlineAfter(netTimeoutMs()), interrupt, error);
        if (got > 0) {
            blocks.clear();
            std::size_t audio = m_icy.feed(chunk.data(), std::size_t(got), blocks);
            std::size_t from = 0;
            if (m_skip > 0) {
                from = std::size_t(std::min<std::int64_t>(m_skip, std::int64_t(audio)));
                m_skip -= std::int64_t(from);
            }
            for (IcyBlock &block : blocks)
                addEvent(block.offset, BASS_SYNC_META, BASS_TAG_META,
                         std::make_shared<const std::vector<std::string>>(1, std::move(block.bytes)));
            append(chunk.data() + from, audio - from);
            m_connectionBytes += std::int64_t(audio);
            continue;
        }
        if (stopping() || error == BASS_ERROR_ABORTED)
            return;
        const std::int64_t length = size();
        if ((length >= 0 && downloaded() >= length) || (got == 0 && m_stream->complete()))
            return; // complete
        // Dropped while the creator still works on it: the data ends for the creator, and the
        // connection is resumed once the channel exists (or never, for one the creators refuse).
        if (!waitUntilResumable() || !reconnect())
            return;
    }
}

bool HttpSource::reconnect()
{
    const auto now = Clock::now();
    // A connection that answered and closed at once does not restart the clock of the window
    // nor reset the back-off: such a server must not be hammered.
    if (!m_everDropped || m_connectionBytes >= m_goodBytes)
        m_failingSince = now;
    if (now - m_connectedAt >= StableConnection)
        m_backoffMs = 0;
    m_everDropped = true;
    m_stream.reset();
    const auto window = std::chrono::milliseconds(config().reconnectWindowMs.load());
    for (;;) {
        m_backoffMs = m_backoffMs == 0 ? FirstBackoffMs : std::min(m_backoffMs * 2, MaxBackoffMs);
        // The last attempt comes as the window closes.
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(m_failingSince + window - Clock::now());
        if (left.count() <= 0)
            return false;
        if (!sleepFor(std::min(std::chrono::milliseconds(jittered(m_backoffMs)), left)))
            return false;
        HttpRequest request = m_request;
        request.rangeFrom = size() >= 0 ? m_offset + downloaded() : 0;
        int error = 0, answered = 0;
        std::unique_ptr<HttpStream> stream =
            HttpStream::open(request, Interrupt{nullptr, stopFlag()}, error, &answered);
        if (stream) {
            m_skip = request.rangeFrom > 0 && stream->response().status != 206 ? request.rangeFrom : 0;
            m_icy.reset(stream->response().metaint, downloaded());
            m_stream = std::move(stream);
            m_connectedAt = Clock::now();
            m_connectionBytes = 0;
            return true;
        }
        if (error == BASS_ERROR_ABORTED || stopping())
            return false;
        if (answered != 0 && !isPassingAnswer(answered))
            return false; // the server says the stream is gone for good
        // Refused, or answered while the station's server comes back (its mount not there yet,
        // the server not ready): tried again with the back-off until the window closes.
    }
}

// ---- FFmpeg's protocols ---------------------------------------------------------------------------

int AvioSource::interruptCallback(void *opaque)
{
    auto *self = static_cast<AvioSource *>(opaque);
    if (self->stopping() || Clock::now() >= self->m_deadline)
        return 1;
    const Interrupt *opening = self->m_opening;
    return opening && opening->triggered() ? 1 : 0;
}

std::unique_ptr<AvioSource> AvioSource::open(const std::string &url, const Interrupt &interrupt, int &error)
{
    std::unique_ptr<AvioSource> source(new AvioSource);
    source->m_opening = &interrupt;
    source->m_deadline = deadlineAfter(netTimeoutMs());
    const AVIOInterruptCB callback{&AvioSource::interruptCallback, source.get()};
    AVDictionary *options = nullptr;
    av_dict_set_int(&options, "timeout", std::int64_t(netTimeoutMs()) * 1000, 0);
    const std::string agent = config().agent();
    if (!agent.empty())
        av_dict_set(&options, "user_agent", agent.c_str(), 0);
    const int result = avio_open2(&source->m_io, url.c_str(), AVIO_FLAG_READ, &callback, &options);
    av_dict_free(&options);
    source->m_opening = nullptr;
    if (result < 0) {
        source->m_io = nullptr;
        if (interrupt.triggered())
            error = BASS_ERROR_ABORTED;
        else if (Clock::now() >= source->m_deadline || result == AVERROR(ETIMEDOUT))
            error = BASS_ERROR_TIMEOUT;
        else
            error = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    source->m_deadline = Clock::time_point::max();
    const std::int64_t length = avio_size(source->m_io);
    source->setLength(length > 0 ? length : -1);
    source->setByteRate(16000);
    source->startReader();
    error = 0;
    return source;
}

AvioSource::~AvioSource()
{
    stopReader();
    avio_closep(&m_io);
}

void AvioSource::run()
{
    std::vector<std::uint8_t> chunk(16384);
    for (;;) {
        if (!waitForRoom())
            return;
        const int got = avio_read_partial(m_io, chunk.data(), int(chunk.size()));
        if (got <= 0)
            return; // the end, an error or the shut-down: FFmpeg's protocols do not resume
        append(chunk.data(), std::size_t(got));
    }
}

} // namespace tunora::audio
