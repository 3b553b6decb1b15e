#pragma once

// HTTP live streaming: a playlist of short segments that the server keeps extending. Many
// stations broadcast only this way. The source reads the media playlist, downloads the segments
// one after the other into its buffer (dropping the ID3 tag at the head of each packed-audio
// segment), and reloads the playlist as the stream goes on. Concatenated, the segments are one
// ordinary ADTS, MPEG audio or MPEG-TS stream, which the plain creator's decoder reads as such.
// Encrypted streams and fragmented-MP4 segments are not offered (FILEFORM).

#include "netsource.h"

#include <string>
#include <string_view>
#include <vector>

namespace tunora::audio {

struct HlsSegment
{
    std::string uri;
    double duration = 0;
    std::int64_t sequence = 0;
};

struct HlsVariant
{
    std::string uri;
    std::int64_t bandwidth = 0; // bits per second
    std::string codecs;
};

struct HlsPlaylist
{
    bool master = false;
    std::vector<HlsVariant> variants;
    std::string audioRendition; // URI of the default audio rendition of a master playlist
    double targetDuration = 0;
    std::int64_t mediaSequence = 0;
    bool endList = false;
    bool encrypted = false;   // EXT-X-KEY with a method other than NONE
    bool initSection = false; // EXT-X-MAP: fragmented MP4 segments
    std::vector<HlsSegment> segments;
};

constexpr std::size_t MaxHlsSegments = 10000;
constexpr std::size_t MaxHlsVariants = 100;

// Reads a master or media playlist. False when the text does not start with "#EXTM3U" or
// describes neither variants nor segments.
bool parseHlsPlaylist(std::string_view text, HlsPlaylist &out);
// The playlist to follow from a master playlist: the default audio rendition when there is one,
// else the variant with the highest bandwidth among those without video (or among all).
std::string chooseHlsRendition(const HlsPlaylist &master);

class HlsSource final : public BufferedSource
{
public:
    // Starts from an already downloaded playlist `text` that came from `url`. A master playlist
    // is followed to its media playlist (on the calling thread, watching `interrupt`).
    static std::unique_ptr<HlsSource> open(const Url &url, const std::string &text,
                                           const Interrupt &interrupt, int &error);
    ~HlsSource() override;
    bool isSegmented() const override { return true; }

private:
    HlsSource() = default;
    void run() override;
    // Downloads one segment into the buffer; false with `error` set.
    bool fetchSegment(const HlsSegment &segment, int &error);
    bool reloadPlaylist(int &error);

    Url m_url; // of the media playlist
    HlsPlaylist m_playlist;
    std::int64_t m_next = 0; // sequence number of the next segment
};

} // namespace tunora::audio
