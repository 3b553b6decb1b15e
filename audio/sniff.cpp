#include "sniff.h"

#include "bytesource.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cstring>
#include <vector>

namespace tunora::audio {

namespace {

constexpr std::size_t ScanWindow = 64 * 1024;
constexpr std::size_t MaxTagSkip = 16 * 1024 * 1024;

bool startsWith(const std::uint8_t *p, std::size_t size, const char *magic, std::size_t n)
{
    return size >= n && std::memcmp(p, magic, n) == 0;
}

const std::uint8_t AsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                        0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

bool isAsf(const std::uint8_t *p, std::size_t size)
{
    return size >= 16 && std::memcmp(p, AsfHeaderGuid, 16) == 0;
}

bool isRiffWave(const std::uint8_t *p, std::size_t size)
{
    return size >= 12 && (std::memcmp(p, "RIFF", 4) == 0 || std::memcmp(p, "RF64", 4) == 0) &&
           std::memcmp(p + 8, "WAVE", 4) == 0;
}

bool isMp4(const std::uint8_t *p, std::size_t size)
{
    if (size < 8)
        return false;
    static const char *const boxes[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "pnot"};
    for (const char *box : boxes)
        if (std::memcmp(p + 4, box, 4) == 0)
            return true;
    return false;
}

enum class OggCodec
{
    None,
    Vorbis,
    Opus,
    Flac,
    Other
};

// The codec of the first logical stream of an Ogg file, from its first packet.
OggCodec oggCodec(const std::uint8_t *p, std::size_t size)
{
    if (!startsWith(p, size, "OggS", 4) || size < 27 || p[4] != 0)
        return OggCodec::None;
    const std::size_t segments = p[26];
    const std::size_t start = 27 + segments;
    if (size < start + 8)
        return OggCodec::Other;
    const std::uint8_t *packet = p + start;
    if (std::memcmp(packet, "\x01vorbis", 7) == 0)
        return OggCodec::Vorbis;
    if (std::memcmp(packet, "OpusHead", 8) == 0)
        return OggCodec::Opus;
    if (std::memcmp(packet,
                    "\x7F"
                    "FLAC",
                    5) == 0)
        return OggCodec::Flac;
    return OggCodec::Other;
}

// Signatures of the container formats: data that carries one of them belongs to that family and
// is never scanned for MPEG or ADTS frame headers (FLAC frames, for one, look much like ADTS).
bool hasContainerSignature(const std::uint8_t *p, std::size_t size)
{
    return startsWith(p, size, "fLaC", 4) || startsWith(p, size, "OggS", 4) || isRiffWave(p, size) ||
           isAsf(p, size) || isMp4(p, size) || startsWith(p, size, "#EXTM3U", 7) ||
           startsWith(p, size, "ADIF", 4);
}

const int Mpeg1Rates[3] = {44100, 48000, 32000};
const short BitratesV1[3][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // layer III
};
const short BitratesV2[3][15] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
const int AdtsRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                           22050, 16000, 12000, 11025, 8000,  7350};

} // namespace

std::size_t id3v2Length(const std::uint8_t *p, std::size_t size)
{
    if (size < 10 || std::memcmp(p, "ID3", 3) != 0 || p[3] == 0xFF || p[4] == 0xFF)
        return 0;
    if ((p[6] | p[7] | p[8] | p[9]) & 0x80)
        return 0;
    const std::size_t body =
        (std::size_t(p[6]) << 21) | (std::size_t(p[7]) << 14) | (std::size_t(p[8]) << 7) | p[9];
    return 10 + body + ((p[5] & 0x10) ? 10 : 0);
}

int mpegAudioFrameLength(const std::uint8_t *p, std::size_t size, std::uint32_t &key, int &layer)
{
    if (size < 4)
        return 0;
    const std::uint32_t h =
        (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
    if ((h & 0xFFE00000u) != 0xFFE00000u)
        return 0;
    const int version = int((h >> 19) & 3);   // 0: 2.5, 1: reserved, 2: 2, 3: 1
    const int layerBits = int((h >> 17) & 3); // 1: III, 2: II, 3: I, 0: reserved
    const int bitrateIndex = int((h >> 12) & 15);
    const int rateIndex = int((h >> 10) & 3);
    if (version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return 0;
    if ((h & 3) == 2) // reserved emphasis
        return 0;
    layer = 4 - layerBits;
    const int shift = version == 3 ? 0 : (version == 2 ? 1 : 2);
    const int rate = Mpeg1Rates[rateIndex] >> shift;
    const int kbps = (version == 3 ? BitratesV1 : BitratesV2)[layer - 1][bitrateIndex];
    const int padding = int((h >> 9) & 1);
    int length;
    if (layer == 1)
        length = (12 * kbps * 1000 / rate + padding) * 4;
    else if (layer == 3 && version != 3)
        length = 72 * kbps * 1000 / rate + padding;
    else
        length = 144 * kbps * 1000 / rate + padding;
    key = h & 0xFFFE0C00u;
    return length >= 4 ? length : 0;
}

int adtsFrameLength(const std::uint8_t *p, std::size_t size, std::uint32_t &key)
{
    if (size < 7 || p[0] != 0xFF || (p[1] & 0xF6) != 0xF0)
        return 0;
    const int rateIndex = (p[2] >> 2) & 15;
    if (rateIndex >= 13)
        return 0;
    const int channelConfig = ((p[2] & 1) << 2) | (p[3] >> 6);
    const int length = ((p[3] & 3) << 11) | (p[4] << 3) | (p[5] >> 5);
    const int headerLength = (p[1] & 1) ? 7 : 9;
    if (length <= headerLength)
        return 0;
    (void)AdtsRates;
    key =
        (std::uint32_t(p[1] & 0xF8) << 16) | (std::uint32_t(p[2] & 0xFC) << 8) | std::uint32_t(channelConfig);
    return length;
}

long findFrameRun(const std::uint8_t *p, std::size_t size, bool adts, bool dataEndsHere, int *layer)
{
    for (std::size_t at = 0; at + 4 <= size; ++at) {
        if (p[at] != 0xFF)
            continue;
        std::uint32_t firstKey = 0;
        int firstLayer = 0;
        int length = adts ? adtsFrameLength(p + at, size - at, firstKey)
                          : mpegAudioFrameLength(p + at, size - at, firstKey, firstLayer);
        if (length == 0)
            continue;
        std::size_t next = at + std::size_t(length);
        int found = 1;
        while (found < 3) {
            if (next == size && dataEndsHere && found >= 2)
                break; // a short file: two frames that end exactly at the end
            if (next + 4 > size)
                break;
            std::uint32_t key = 0;
            int nextLayer = 0;
            length = adts ? adtsFrameLength(p + next, size - next, key)
                          : mpegAudioFrameLength(p + next, size - next, key, nextLayer);
            if (length == 0 || key != firstKey)
                break;
            next += std::size_t(length);
            ++found;
        }
        if (found >= 3 || (found == 2 && dataEndsHere && next == size)) {
            if (layer)
                *layer = firstLayer;
            return long(at);
        }
    }
    return -1;
}

namespace {

constexpr int Undecided = -1;

bool isTransportStream(const std::uint8_t *p, std::size_t size)
{
    return size >= 189 && p[0] == 0x47 && p[188] == 0x47 && (size < 377 || p[376] == 0x47);
}

// The decision on the first `size` bytes (after ID3 tags). `final`: no more data will come (the
// whole scan window, or the end of the data); otherwise a decision that more data could change
// is left open.
int decide(Family family, bool segmented, bool atStart, const std::uint8_t *p, std::size_t size,
           bool endsHere, bool final, Sniffed &out)
{
    const OggCodec ogg = oggCodec(p, size);
    const bool container = hasContainerSignature(p, size);
    auto mpegRun = [&](int *layer) { return container ? -1 : findFrameRun(p, size, false, endsHere, layer); };
    auto adtsRun = [&] { return container ? -1 : findFrameRun(p, size, true, endsHere); };

    switch (family) {
    case Family::Plain: {
        if (ogg == OggCodec::Vorbis) {
            out = {"ogg", BASS_CTYPE_STREAM_OGG};
            return 0;
        }
        if (ogg == OggCodec::Opus) {
            out = {"ogg", BASS_CTYPE_STREAM_OPUS};
            return 0;
        }
        if (isRiffWave(p, size)) {
            out = {"wav", BASS_CTYPE_STREAM_WAV_PCM};
            return 0;
        }
        int layer = 0;
        const long mpeg = mpegRun(&layer);
        const long adts = segmented || !final ? adtsRun() : -1;
        if (segmented) {
            // A live stream's segments: whatever audio they carry (the first frame run wins).
            if (isTransportStream(p, size)) {
                out = {"mpegts", 0};
                return 0;
            }
            if (adts >= 0 && (mpeg < 0 || adts <= mpeg)) {
                out = {"aac", BASS_CTYPE_STREAM_AAC};
                return 0;
            }
        }
        if (mpeg >= 0) {
            const DWORD ctypes[] = {BASS_CTYPE_STREAM_MP1, BASS_CTYPE_STREAM_MP2, BASS_CTYPE_STREAM_MP3};
            out = {"mp3", ctypes[layer - 1]};
            return 0;
        }
        if (container || adts >= 0)
            return BASS_ERROR_FILEFORM; // another family's data: no need to wait for more
        return final ? BASS_ERROR_FILEFORM : Undecided;
    }
    case Family::Aac: {
        if (adtsRun() >= 0) {
            out = {"aac", BASS_CTYPE_STREAM_AAC};
            return 0;
        }
        if (container || (!final && mpegRun(nullptr) >= 0))
            return BASS_ERROR_FILEFORM;
        return final ? BASS_ERROR_FILEFORM : Undecided;
    }
    case Family::Mp4:
        if (atStart && isMp4(p, size)) {
            out = {"mov", BASS_CTYPE_STREAM_MP4};
            return 0;
        }
        return size >= 8 || final ? BASS_ERROR_FILEFORM : Undecided;
    case Family::Wma:
        if (atStart && isAsf(p, size)) {
            out = {"asf", BASS_CTYPE_STREAM_WMA};
            return 0;
        }
        return size >= 16 || final ? BASS_ERROR_FILEFORM : Undecided;
    case Family::Flac:
        if (startsWith(p, size, "fLaC", 4)) {
            out = {"flac", BASS_CTYPE_STREAM_FLAC};
            return 0;
        }
        if (ogg == OggCodec::Flac) {
            out = {"ogg", BASS_CTYPE_STREAM_FLAC_OGG};
            return 0;
        }
        return size >= 64 || final ? BASS_ERROR_FILEFORM : Undecided;
    }
    return BASS_ERROR_FILEFORM;
}

} // namespace

int sniffFamily(Family family, ByteSource &source, Sniffed &out)
{
    // Skip ID3v2 tags (several may follow each other), then look at the data behind them.
    std::int64_t start = 0;
    std::uint8_t header[10];
    auto failed = [](int got) { return got == AVERROR(ETIMEDOUT) ? BASS_ERROR_TIMEOUT : BASS_ERROR_ABORTED; };
    for (int tags = 0; tags < 8; ++tags) {
        const int got = source.peek(start, header, sizeof header);
        if (got < 0)
            return failed(got);
        const std::size_t tag = id3v2Length(header, std::size_t(got));
        if (tag == 0)
            break;
        start += std::int64_t(tag);
        if (start > std::int64_t(MaxTagSkip))
            return BASS_ERROR_FILEFORM;
    }
    // Growing windows: a network stream need not deliver 64 KiB before the usual formats are
    // recognised (three frame headers, or a container signature, sit in the first kilobytes).
    std::vector<std::uint8_t> data;
    for (const std::size_t window : {std::size_t(2048), std::size_t(16384), ScanWindow}) {
        data.resize(window);
        const int got = source.peek(start, data.data(), int(data.size()));
        if (got < 0)
            return failed(got);
        data.resize(std::size_t(got));
        const bool endsHere = data.size() < window;
        const bool final = endsHere || window == ScanWindow;
        const int result =
            decide(family, source.isSegmented(), start == 0, data.data(), data.size(), endsHere, final, out);
        if (result != Undecided)
            return result;
    }
    return BASS_ERROR_FILEFORM;
}

} // namespace tunora::audio
