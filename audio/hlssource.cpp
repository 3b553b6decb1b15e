#include "hlssource.h"

#include "engine.h"
#include "playlist.h"
#include "sniff.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tunora::audio {

namespace {

constexpr std::int64_t MaxSegmentBytes = 16 * 1024 * 1024;
constexpr int FirstRetryMs = 250;
constexpr int MaxRetryMs = 4000;

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// The value of `name` in an attribute list (NAME=value,NAME="quoted, value",...).
std::string attribute(std::string_view list, std::string_view name)
{
    std::size_t at = 0;
    while (at < list.size()) {
        const std::size_t equals = list.find('=', at);
        if (equals == std::string_view::npos)
            break;
        const std::string_view key = trimBlanks(list.substr(at, equals - at));
        std::size_t end;
        std::string_view value;
        if (equals + 1 < list.size() && list[equals + 1] == '"') {
            const std::size_t close = list.find('"', equals + 2);
            end = close == std::string_view::npos ? list.size() : close + 1;
            value =
                list.substr(equals + 2, (close == std::string_view::npos ? list.size() : close) - equals - 2);
            end = list.find(',', end);
        } else {
            end = list.find(',', equals + 1);
            value = trimBlanks(
                list.substr(equals + 1, (end == std::string_view::npos ? list.size() : end) - equals - 1));
        }
        if (key == name)
            return std::string(value);
        if (end == std::string_view::npos)
            break;
        at = end + 1;
    }
    return std::string();
}

std::int64_t integer(std::string_view text)
{
    std::int64_t value = 0;
    std::size_t digits = 0;
    for (const char c : trimBlanks(text)) {
        if (c < '0' || c > '9' || ++digits > 15)
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool hasVideoCodec(std::string_view codecs)
{
    for (const char *video : {"avc", "hvc", "hev", "vp0", "vp8", "vp9", "av01", "mp4v"})
        if (codecs.find(video) != std::string_view::npos)
            return true;
    return false;
}

// Downloads a playlist (at most MaxPlaylistBytes); `url` becomes where it came from.
bool fetchText(Url &url, const Interrupt &interrupt, std::string &text, int &error)
{
    std::unique_ptr<HttpStream> stream = HttpStream::open(configuredRequest(url), interrupt, error);
    if (!stream)
        return false;
    url = stream->response().url;
    text.clear();
    std::uint8_t chunk[8192];
    const Deadline deadline = deadlineAfter(netTimeoutMs());
    for (;;) {
        const int got = stream->read(chunk, int(sizeof chunk), deadline, interrupt, error);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (text.size() + std::size_t(got) > MaxPlaylistBytes) {
            error = BASS_ERROR_FILEFORM;
            return false;
        }
        text.append(reinterpret_cast<const char *>(chunk), std::size_t(got));
    }
}

} // namespace

bool parseHlsPlaylist(std::string_view text, HlsPlaylist &out)
{
    HlsPlaylist playlist;
    if (startsWith(text, "\xEF\xBB\xBF"))
        text.remove_prefix(3);
    if (!startsWith(trimBlanks(text.substr(0, text.find('\n'))), "#EXTM3U"))
        return false;
    double duration = 0;
    bool variantPending = false;
    HlsVariant variant;
    std::int64_t sequence = -1;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = trimBlanks(text.substr(at, end - at));
        at = end + 1;
        if (line.empty())
            continue;
        if (line[0] == '#') {
            if (startsWith(line, "#EXT-X-TARGETDURATION:")) {
                playlist.targetDuration = double(integer(line.substr(22)));
            } else if (startsWith(line, "#EXT-X-MEDIA-SEQUENCE:")) {
                playlist.mediaSequence = integer(line.substr(22));
            } else if (startsWith(line, "#EXTINF:")) {
                duration = std::strtod(std::string(line.substr(8, 32)).c_str(), nullptr);
                if (!(duration >= 0 && duration < 86400))
                    duration = 0;
            } else if (startsWith(line, "#EXT-X-ENDLIST")) {
                playlist.endList = true;
            } else if (startsWith(line, "#EXT-X-KEY:")) {
                const std::string method = attribute(line.substr(11), "METHOD");
                playlist.encrypted = playlist.encrypted || (!method.empty() && method != "NONE");
            } else if (startsWith(line, "#EXT-X-MAP:")) {
                playlist.initSection = true;
            } else if (startsWith(line, "#EXT-X-STREAM-INF:")) {
                playlist.master = true;
                variant = HlsVariant();
                variant.bandwidth = integer(attribute(line.substr(18), "BANDWIDTH"));
                variant.codecs = attribute(line.substr(18), "CODECS");
                variantPending = true;
            } else if (startsWith(line, "#EXT-X-MEDIA:")) {
                const std::string_view list = line.substr(13);
                const std::string uri = attribute(list, "URI");
                if (attribute(list, "TYPE") == "AUDIO" && !uri.empty() &&
                    (playlist.audioRendition.empty() || attribute(list, "DEFAULT") == "YES"))
                    playlist.audioRendition = uri;
                playlist.master = true;
            }
            continue;
        }
        if (variantPending) {
            variantPending = false;
            if (playlist.variants.size() < MaxHlsVariants) {
                variant.uri = std::string(line);
                playlist.variants.push_back(variant);
            }
            continue;
        }
        if (playlist.segments.size() >= MaxHlsSegments)
            playlist.segments.erase(playlist.segments.begin()); // a live window: keep the newest
        if (sequence < 0)
            sequence = playlist.mediaSequence;
        playlist.segments.push_back({std::string(line), duration, sequence++});
        duration = 0;
    }
    if (playlist.master ? playlist.variants.empty() && playlist.audioRendition.empty()
                        : playlist.segments.empty() && !playlist.endList && playlist.targetDuration <= 0)
        return false;
    out = std::move(playlist);
    return true;
}

std::string chooseHlsRendition(const HlsPlaylist &master)
{
    if (!master.audioRendition.empty())
        return master.audioRendition;
    const HlsVariant *best = nullptr;
    for (const bool audioOnly : {true, false}) {
        for (const HlsVariant &variant : master.variants)
            if ((!audioOnly || !hasVideoCodec(variant.codecs)) &&
                (!best || variant.bandwidth > best->bandwidth))
                best = &variant;
        if (best)
            break;
    }
    return best ? best->uri : std::string();
}

std::unique_ptr<HlsSource> HlsSource::open(const Url &url, const std::string &text,
                                           const Interrupt &interrupt, int &error)
{
    HlsPlaylist playlist;
    if (!parseHlsPlaylist(text, playlist)) {
        error = BASS_ERROR_FILEFORM;
        return nullptr;
    }
    Url mediaUrl = url;
    std::int64_t bandwidth = 0;
    if (playlist.master) {
        const std::string rendition = chooseHlsRendition(playlist);
        for (const HlsVariant &variant : playlist.variants)
            if (variant.uri == rendition)
                bandwidth = variant.bandwidth;
        std::string media;
        if (rendition.empty() || !url.resolve(rendition, mediaUrl) ||
            (mediaUrl.scheme != "http" && mediaUrl.scheme != "https")) {
            error = BASS_ERROR_FILEFORM;
            return nullptr;
        }
        if (!fetchText(mediaUrl, interrupt, media, error))
            return nullptr;
        if (!parseHlsPlaylist(media, playlist) || playlist.master) {
            error = BASS_ERROR_FILEFORM;
            return nullptr;
        }
    }
    if (playlist.encrypted || playlist.initSection || playlist.segments.empty()) {
        error = BASS_ERROR_FILEFORM;
        return nullptr;
    }
    std::unique_ptr<HlsSource> source(new HlsSource);
    source->m_url = mediaUrl;
    // A live stream starts three segments from its end, as players do; a recording at its start.
    const std::size_t count = playlist.segments.size();
    source->m_next = playlist.endList ? playlist.segments.front().sequence
                                      : playlist.segments[count > 3 ? count - 3 : 0].sequence;
    source->m_playlist = std::move(playlist);
    source->setByteRate(bandwidth > 0 ? bandwidth / 8 : 16000);
    source->startReader();
    error = 0;
    return source;
}

HlsSource::~HlsSource()
{
    stopReader();
}

bool HlsSource::fetchSegment(const HlsSegment &segment, int &error)
{
    Url url;
    if (!m_url.resolve(segment.uri, url) || (url.scheme != "http" && url.scheme != "https")) {
        error = BASS_ERROR_FILEFORM;
        return false;
    }
    const Interrupt interrupt{nullptr, stopFlag()};
    std::unique_ptr<HttpStream> stream = HttpStream::open(configuredRequest(url), interrupt, error);
    if (!stream)
        return false;
    std::vector<std::uint8_t> chunk(16384);
    std::string head;       // the first bytes, until it is known whether an ID3 tag leads
    std::int64_t skip = -1; // bytes of the leading tag still to drop; -1: not known yet
    std::int64_t total = 0;
    for (;;) {
        if (!waitForRoom()) {
            error = BASS_ERROR_ABORTED;
            return false;
        }
        const int got =
            stream->read(chunk.data(), int(chunk.size()), deadlineAfter(netTimeoutMs()), interrupt, error);
        if (got < 0)
            return false;
        total += got;
        if (total > MaxSegmentBytes) {
            error = BASS_ERROR_FILEFORM;
            return false;
        }
        const std::uint8_t *data = chunk.data();
        std::size_t size = std::size_t(got);
        if (skip < 0) {
            head.append(reinterpret_cast<const char *>(data), size);
            if (got > 0 && head.size() < 10)
                continue;
            skip =
                std::int64_t(id3v2Length(reinterpret_cast<const std::uint8_t *>(head.data()), head.size()));
            const std::size_t dropped = std::size_t(std::min<std::int64_t>(skip, std::int64_t(head.size())));
            skip -= std::int64_t(dropped);
            append(reinterpret_cast<const std::uint8_t *>(head.data()) + dropped, head.size() - dropped);
            head.clear();
        } else {
            const std::size_t dropped = std::size_t(std::min<std::int64_t>(skip, std::int64_t(size)));
            skip -= std::int64_t(dropped);
            append(data + dropped, size - dropped);
        }
        if (got == 0)
            return true;
    }
}

bool HlsSource::reloadPlaylist(int &error)
{
    std::string text;
    Url url = m_url;
    HlsPlaylist playlist;
    if (!fetchText(url, Interrupt{nullptr, stopFlag()}, text, error))
        return false;
    if (!parseHlsPlaylist(text, playlist) || playlist.master) {
        error = BASS_ERROR_FILEFORM;
        return false;
    }
    m_playlist = std::move(playlist);
    return true;
}

void HlsSource::run()
{
    int retryMs = 0;
    auto failingSince = Clock::time_point::max();
    const auto window = std::chrono::milliseconds(config().reconnectWindowMs.load());
    // Waits after a failure; false when the stream is to be given up.
    auto retry = [&](int error) {
        if (error == BASS_ERROR_ABORTED || stopping())
            return false;
        if (failingSince == Clock::time_point::max())
            failingSince = Clock::now();
        retryMs = retryMs == 0 ? FirstRetryMs : std::min(retryMs * 2, MaxRetryMs);
        return sleepFor(std::chrono::milliseconds(retryMs)) && Clock::now() - failingSince <= window;
    };
    auto loaded = Clock::now(); // when the playlist in hand was fetched
    bool grew = true;           // whether that fetch brought new segments
    auto grewAt = loaded;       // a live playlist that stops growing is a stream that ended
    for (;;) {
        const std::vector<HlsSegment> segments = m_playlist.segments;
        if (!segments.empty() && m_next < segments.front().sequence)
            m_next = segments.front().sequence; // fell behind the live window: jump ahead
        for (const HlsSegment &segment : segments) {
            if (segment.sequence < m_next)
                continue;
            int error = 0;
            while (!fetchSegment(segment, error)) {
                if (!retry(error))
                    return;
            }
            retryMs = 0;
            failingSince = Clock::time_point::max();
            m_next = segment.sequence + 1;
        }
        if (m_playlist.endList)
            return;
        // Reload a target duration after the last load, or half of one when it brought nothing.
        const double target = std::clamp(m_playlist.targetDuration, 1.0, 60.0);
        const auto due = loaded + std::chrono::milliseconds(int(target * (grew ? 1000 : 500)));
        if (due > Clock::now() &&
            !sleepFor(std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now())))
            return;
        const std::int64_t before = m_playlist.segments.empty() ? -1 : m_playlist.segments.back().sequence;
        int error = 0;
        while (!reloadPlaylist(error)) {
            if (!retry(error))
                return;
        }
        loaded = Clock::now();
        grew = !m_playlist.segments.empty() && m_playlist.segments.back().sequence > before;
        if (grew)
            grewAt = loaded;
        else if (loaded - grewAt >
                 std::max<std::chrono::milliseconds>(window, std::chrono::milliseconds(int(3000 * target))))
            return;
        retryMs = 0;
        failingSince = Clock::time_point::max();
    }
}

} // namespace tunora::audio
