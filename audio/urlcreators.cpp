// The URL creators and the common path of every creator that is handed a network address.
//
// The channel wrapper tries several creators on the same address, one after the other (plain,
// AAC, MP4, WMA, FLAC), each accepting only its own format family. Opening a new connection for
// each would multiply the time to first audio of every AAC station, so a creator whose format
// check refuses the data parks the open connection (with everything read so far, unconsumed)
// for a few seconds; the next creator called on the same thread for the same address takes it
// over. A playlist document is parked the same way (as its list of entries), and so is a
// connection failure, so that the remaining creators fail at once instead of trying again.

#include "engine.h"
#include "hlssource.h"
#include "netsource.h"
#include "playlist.h"
#include "rtspsource.h"

#include <algorithm>
#include <set>

namespace tunora::audio {

namespace {

constexpr auto ParkTime = std::chrono::seconds(3);
// A failure is remembered only for the creators tried right after: a new attempt by the user
// a moment later must connect again.
constexpr auto FailureTime = std::chrono::seconds(1);
constexpr std::size_t MaxParked = 8;
constexpr int MaxPlaylistDepth = 5;
constexpr int MaxEntriesTried = 16;
constexpr std::int64_t MaxKeptFile = 64 * 1024 * 1024; // a file held whole to allow seeking

// ---- parking --------------------------------------------------------------------------------------

struct Parked
{
    std::thread::id thread;
    std::string url;
    Clock::time_point until;
    std::unique_ptr<BufferedSource> source;                  // a connection refused by a format check
    std::shared_ptr<const HttpResponse> response;            // its reply, for the tags
    std::shared_ptr<const std::vector<std::string>> entries; // or a playlist's entries
    int error = 0;                                           // or a connection failure
};

// Never destroyed: its janitor thread may outlive static destruction.
struct ParkingLot
{
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Parked> parked;
    bool janitor = false;
};

ParkingLot &lot()
{
    static ParkingLot *instance = new ParkingLot;
    return *instance;
}

// Closes parked connections nobody claimed, so that they do not linger at the servers.
void janitor()
{
    ParkingLot &p = lot();
    std::unique_lock<std::mutex> lock(p.lock);
    for (;;) {
        std::vector<Parked> expired;
        auto next = Clock::time_point::max();
        const auto now = Clock::now();
        for (auto it = p.parked.begin(); it != p.parked.end();) {
            if (it->until <= now) {
                expired.push_back(std::move(*it));
                it = p.parked.erase(it);
            } else {
                next = std::min(next, it->until);
                ++it;
            }
        }
        if (!expired.empty()) {
            lock.unlock();
            expired.clear(); // closes the connections (joins their readers) without the lock
            lock.lock();
            continue;
        }
        if (next == Clock::time_point::max())
            p.changed.wait(lock);
        else
            p.changed.wait_until(lock, next);
    }
}

// What a thread parked is dropped when the thread ends. Entries are matched by thread id, and a
// thread started later may get the same id (the connect thread runs anew for every connection):
// it must not inherit the failures or the connections of an earlier run for the same address.
struct ThreadParkings
{
    bool used = false;
    ~ThreadParkings()
    {
        if (!used)
            return;
        ParkingLot &p = lot();
        std::vector<Parked> dropped; // closed after the lock is released (joins their readers)
        const auto self = std::this_thread::get_id();
        std::lock_guard<std::mutex> guard(p.lock);
        for (auto it = p.parked.begin(); it != p.parked.end();) {
            if (it->thread == self) {
                dropped.push_back(std::move(*it));
                it = p.parked.erase(it);
            } else {
                ++it;
            }
        }
    }
};
thread_local ThreadParkings t_parkings;

void park(Parked entry)
{
    t_parkings.used = true;
    ParkingLot &p = lot();
    std::vector<Parked> dropped;
    {
        std::lock_guard<std::mutex> guard(p.lock);
        entry.thread = std::this_thread::get_id();
        entry.until = Clock::now() + (entry.error != 0 ? FailureTime : ParkTime);
        for (auto it = p.parked.begin(); it != p.parked.end();) {
            if (it->thread == entry.thread && it->url == entry.url) {
                dropped.push_back(std::move(*it));
                it = p.parked.erase(it);
            } else {
                ++it;
            }
        }
        while (p.parked.size() >= MaxParked) {
            dropped.push_back(std::move(p.parked.front()));
            p.parked.erase(p.parked.begin());
        }
        p.parked.push_back(std::move(entry));
        if (!p.janitor) {
            p.janitor = true;
            std::thread(janitor).detach();
        }
    }
    p.changed.notify_all();
}

bool claim(const std::string &url, Parked &out)
{
    ParkingLot &p = lot();
    std::lock_guard<std::mutex> guard(p.lock);
    const auto self = std::this_thread::get_id();
    for (auto it = p.parked.begin(); it != p.parked.end(); ++it) {
        if (it->thread == self && it->url == url && it->until > Clock::now()) {
            if (it->error != 0) { // stays for the next creator, too
                out.error = it->error;
                return true;
            }
            out = std::move(*it);
            p.parked.erase(it);
            return true;
        }
    }
    return false;
}

// ---- what a reply holds ---------------------------------------------------------------------------

bool isPlaylistType(const std::string &type)
{
    static const char *const types[] = {"audio/x-scpls",
                                        "application/pls+xml",
                                        "audio/x-mpegurl",
                                        "audio/mpegurl",
                                        "application/x-mpegurl",
                                        "application/vnd.apple.mpegurl",
                                        "video/x-ms-asx",
                                        "audio/x-ms-wax",
                                        "video/x-ms-wvx",
                                        "video/x-ms-asf",
                                        "application/vnd.apple.mpegurl.audio"};
    return std::find(std::begin(types), std::end(types), type) != std::end(types);
}

// True when the reply is a document (a playlist, an HLS playlist) rather than audio.
bool isDocument(BufferedSource &source, const HttpResponse &response, Deadline deadline,
                const Interrupt &interrupt)
{
    source.waitForBuffered(64, deadline, interrupt);
    std::uint8_t head[64];
    const std::int64_t available =
        std::min<std::int64_t>(source.downloaded() - source.position(), sizeof head);
    const int got = available > 0 ? source.peek(0, head, int(available)) : 0;
    if (got <= 0)
        return false;
    const std::string_view start(reinterpret_cast<const char *>(head), std::size_t(got));
    if (looksLikePlaylist(start))
        return true;
    // A playlist type whose body reads as text (servers also label audio that way).
    const bool text = std::none_of(start.begin(), start.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b < 0x20 && b != '\t' && b != '\r' && b != '\n') || b == 0xFF;
    });
    return text && isPlaylistType(response.contentType);
}

std::string trimmed(const std::string &text)
{
    const std::size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos)
        return std::string();
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

// ---- opening ------------------------------------------------------------------------------------------

class Opener
{
public:
    Opener(Family family, DWORD flags, DOWNLOADPROC *proc, void *user, const OpenContext &context)
        : m_family(family)
        , m_flags(flags)
        , m_proc(proc)
        , m_user(user)
        , m_context(context)
        , m_interrupt{context.abortFlag, nullptr}
    {}

    HSTREAM open(const std::string &address, std::uint64_t offset, int depth);

private:
    HSTREAM openEntries(const std::vector<std::string> &entries, int depth);
    std::unique_ptr<BufferedSource> openMms(const Url &url, int &error);
    std::unique_ptr<BufferedSource> openRtsp(const Url &url, int &error);
    // The address of `url` with its host looked up (FFmpeg's clients would look it up beyond a
    // cancel's reach), in the given scheme and port.
    bool numericAddress(const Url &url, const std::string &scheme, int port, std::string &out, int &error);
    HSTREAM makeChannel(const std::string &key, std::unique_ptr<BufferedSource> source,
                        std::shared_ptr<const HttpResponse> response);

    Family m_family;
    DWORD m_flags;
    DOWNLOADPROC *m_proc;
    void *m_user;
    const OpenContext &m_context;
    Interrupt m_interrupt;
    std::set<std::string> m_visited;
};

HSTREAM Opener::open(const std::string &address, std::uint64_t offset, int depth)
{
    if (m_context.aborted())
        return fail(BASS_ERROR_ABORTED);
    Url url;
    if (!Url::parse(address, url))
        return fail(BASS_ERROR_FILEOPEN);
    if (url.scheme == "icyx")
        url.scheme = "http";
    const std::string key = address;
    m_visited.insert(key);

    Parked parked;
    if (claim(key, parked)) {
        if (parked.error != 0)
            return fail(parked.error);
        if (parked.entries)
            return openEntries(*parked.entries, depth);
        if (parked.source)
            return makeChannel(key, std::move(parked.source), parked.response);
    }

    int error = 0;
    // A connection that failed is remembered for the creators tried next (not a cancel).
    auto failed = [&] {
        if (error != BASS_ERROR_ABORTED)
            park({{}, key, {}, nullptr, nullptr, nullptr, error});
        return fail(error);
    };
    if (url.scheme == "mms" || url.scheme == "mmsh" || url.scheme == "mmst" || url.scheme == "rtsp") {
        std::unique_ptr<BufferedSource> source =
            url.scheme == "rtsp" ? openRtsp(url, error) : openMms(url, error);
        return source ? makeChannel(key, std::move(source), nullptr) : failed();
    }
    if (url.scheme != "http" && url.scheme != "https")
        return fail(BASS_ERROR_FILEOPEN);

    std::unique_ptr<HttpSource> source = HttpSource::open(url, std::int64_t(offset), m_interrupt, error);
    if (!source)
        return failed();
    auto response = std::make_shared<const HttpResponse>(source->response());
    const Deadline deadline = deadlineAfter(netTimeoutMs());
    if (!isDocument(*source, *response, deadline, m_interrupt)) {
        if (m_context.aborted())
            return fail(BASS_ERROR_ABORTED);
        return makeChannel(key, std::move(source), response);
    }

    std::string text;
    if (!source->readWhole(MaxPlaylistBytes, deadline, m_interrupt, text, error))
        return fail(error);
    source.reset();
    if (isLiveStreamPlaylist(text)) {
        std::unique_ptr<HlsSource> hls = HlsSource::open(response->url, text, m_interrupt, error);
        if (!hls)
            return fail(error);
        return makeChannel(key, std::move(hls), response);
    }
    auto entries = std::make_shared<std::vector<std::string>>();
    ReadPlaylist(text, *entries);
    if (entries->empty() && trimmed(text).find_first_of("\r\n") == std::string::npos)
        entries->push_back(trimmed(text)); // a document that is one address
    // Only absolute addresses are followed (see openEntries): a relative entry is a path.
    for (std::string &entry : *entries)
        entry = trimmed(entry);
    const HSTREAM handle = openEntries(*entries, depth);
    if (!handle && BASS_ErrorGetCode() != BASS_ERROR_ABORTED)
        park({{}, key, {}, nullptr, nullptr, entries, 0});
    return handle;
}

HSTREAM Opener::openEntries(const std::vector<std::string> &entries, int depth)
{
    if (config().netPlaylist.load() < 2 || depth >= MaxPlaylistDepth)
        return fail(BASS_ERROR_FILEFORM);
    int error = BASS_ERROR_FILEFORM;
    int tried = 0;
    for (const std::string &entry : entries) {
        // A remote document may only lead to other streams: never to files or other schemes.
        if (!isAcceptableStreamAddress(entry) || m_visited.count(entry))
            continue;
        if (++tried > MaxEntriesTried)
            break;
        if (const HSTREAM handle = open(entry, 0, depth + 1))
            return handle;
        error = BASS_ErrorGetCode();
        if (error == BASS_ERROR_ABORTED)
            break;
    }
    return fail(error);
}

bool Opener::numericAddress(const Url &url, const std::string &scheme, int port, std::string &out, int &error)
{
    std::vector<std::string> addresses;
    error = resolveHost(url.host, deadlineAfter(netTimeoutMs()), m_interrupt, addresses);
    if (error != 0)
        return false;
    const std::string host =
        addresses.front().find(':') != std::string::npos ? "[" + addresses.front() + "]" : addresses.front();
    out = scheme + "://" + host + ":" + std::to_string(port) + url.target;
    return true;
}

std::unique_ptr<BufferedSource> Opener::openMms(const Url &url, int &error)
{
    const bool portGiven = url.port != defaultPort(url.scheme);
    const std::vector<std::string> schemes =
        url.scheme == "mms" ? std::vector<std::string>{"mmsh", "mmst"} : std::vector<std::string>{url.scheme};
    for (const std::string &scheme : schemes) {
        std::string address;
        if (!numericAddress(url, scheme, portGiven ? url.port : defaultPort(scheme), address, error))
            return nullptr;
        std::unique_ptr<AvioSource> source = AvioSource::open(address, m_interrupt, error);
        if (source)
            return source;
        if (error == BASS_ERROR_ABORTED)
            break;
    }
    return nullptr;
}

std::unique_ptr<BufferedSource> Opener::openRtsp(const Url &url, int &error)
{
    std::string address;
    if (!numericAddress(url, "rtsp", url.port, address, error))
        return nullptr;
    if (!url.user.empty()) // FFmpeg's client takes the credentials from the address
        address.insert(7, url.user + ":" + url.password + "@");
    return RtspSource::open(address, m_interrupt, error);
}

HSTREAM Opener::makeChannel(const std::string &key, std::unique_ptr<BufferedSource> source,
                            std::shared_ptr<const HttpResponse> response)
{
    BufferedSource *net = source.get();
    if (m_proc) {
        if (response && (m_flags & BASS_STREAM_STATUS)) {
            // The header block as received, with its blank line, as one zero-terminated text.
            const std::string block = response->rawHeader + "\r\n";
            m_proc(block.c_str(), 0, m_user);
        }
        net->setDownloadProc(m_proc, m_user);
    }
    const std::int64_t length = net->size();
    if (!(m_flags & BASS_STREAM_BLOCK) && length >= 0 && length <= MaxKeptFile)
        net->keepEverything();

    std::unique_ptr<ByteSource> base = std::move(source);
    const HSTREAM handle = Engine::instance().createChannelOrReturn(base, m_family, m_flags, key, m_context);
    if (!handle) {
        if (base) { // the format check refused it: the next creator may want it
            net->setDownloadProc(nullptr, nullptr);
            park({{},
                  key,
                  {},
                  std::unique_ptr<BufferedSource>(static_cast<BufferedSource *>(base.release())),
                  response,
                  nullptr,
                  0});
        }
        return 0;
    }
    const std::shared_ptr<Channel> channel = Engine::instance().channel(handle);
    if (!channel)
        return fail(BASS_ERROR_HANDLE);
    if (response)
        channel->setTags(response->icy ? BASS_TAG_ICY : BASS_TAG_HTTP, response->lines);
    net->setFirstTagSink([handle](DWORD tagType, const std::vector<std::string> &tag) {
        if (const std::shared_ptr<Channel> target = Engine::instance().channel(handle))
            target->setTags(tagType, tag, tagType == BASS_TAG_META);
    });
    if (const std::int64_t rate = channel->decoder().bitRate(); rate > 0)
        net->setByteRate(rate / 8);
    net->setResumable();
    net->activateDownloadProc();

    // The creator's own pre-buffering (BASS_CONFIG_NET_PREBUF, a share of the download buffer).
    const DWORD prebuf = config().netPrebufPercent.load();
    if (prebuf > 0 && !net->ended()) {
        const std::int64_t wanted =
            std::min<std::int64_t>(net->bufferSize(), net->bufferSize() * prebuf / 100);
        if (!net->waitForBuffered(wanted, deadlineAfter(netTimeoutMs()), m_interrupt)) {
            Engine::instance().freeChannel(handle);
            return fail(BASS_ERROR_ABORTED);
        }
    }
    succeed();
    return handle;
}

HSTREAM createFromText(Family family, const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc,
                       void *user)
{
    if (!url)
        return fail(BASS_ERROR_ILLPARAM);
    std::string address;
    if (flags & BASS_UNICODE) {
        if (!utf8FromWide(reinterpret_cast<const wchar_t *>(url), address))
            return fail(BASS_ERROR_FILEOPEN);
    } else {
        address = url;
    }
    return createFromNetwork(family, address, offset, flags, proc, user);
}

} // namespace

HSTREAM createFromNetwork(Family family, const std::string &url, std::uint64_t offset, DWORD flags,
                          DOWNLOADPROC *proc, void *user)
{
    if (!Engine::instance().session())
        return fail(BASS_ERROR_INIT);
    const OpenContext context{currentAbortFlag()};
    if (context.aborted())
        return fail(BASS_ERROR_ABORTED);
    Opener opener(family, flags, proc, user, context);
    return opener.open(url, offset, 0);
}

void dropParkedSources()
{
    std::vector<Parked> dropped;
    {
        std::lock_guard<std::mutex> guard(lot().lock);
        dropped.swap(lot().parked);
    }
}

} // namespace tunora::audio

using namespace tunora::audio;

HSTREAM BASS_StreamCreateURL(const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc, void *user)
{
    return createFromText(Family::Plain, url, offset, flags, proc, user);
}

HSTREAM BASS_AAC_StreamCreateURL(const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc, void *user)
{
    return createFromText(Family::Aac, url, offset, flags, proc, user);
}

HSTREAM BASS_FLAC_StreamCreateURL(const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc, void *user)
{
    return createFromText(Family::Flac, url, offset, flags, proc, user);
}
