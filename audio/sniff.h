#pragma once

// The format check of the creators. Each creator accepts one family of formats and names the
// demuxer for it explicitly, so that no costly probing is needed and the order in which the
// wrapper tries the creators stays meaningful. The check looks only at the first bytes (after
// any ID3v2 tags) and, for the frame-based formats, wants three consecutive valid frame headers
// within the first 64 KiB, so that a stream joined in the middle of a frame is still found.

#include "audioengine.h"

#include <cstddef>
#include <cstdint>

namespace tunora::audio {

class ByteSource;

enum class Family
{
    Plain,
    Wma,
    Aac,
    Mp4,
    Flac
};

struct Sniffed
{
    const char *demuxer = nullptr; // FFmpeg demuxer name
    DWORD ctype = 0;               // BASS_CTYPE_* announced by the container
};

// Looks at the source's first bytes (without consuming them). Returns 0 and fills `out` when the
// data belongs to `family`; BASS_ERROR_FILEFORM when it does not; BASS_ERROR_ABORTED when the
// source was interrupted or the open aborted while waiting for data; BASS_ERROR_TIMEOUT when a
// network source delivered nothing for the net time-out.
int sniffFamily(Family family, ByteSource &source, Sniffed &out);

// Frame-header checks, exposed for the tests and the fuzz target. `size` is what `p` holds.
// Both return the frame length in bytes, or 0 when `p` does not start a valid frame header.
// `key` receives the header bits that stay equal from frame to frame.
int mpegAudioFrameLength(const std::uint8_t *p, std::size_t size, std::uint32_t &key, int &layer);
int adtsFrameLength(const std::uint8_t *p, std::size_t size, std::uint32_t &key);

// Finds the first of three consecutive frames (or of two that end exactly at the end of the
// data) in `p`; returns its offset or -1. `adts` selects ADTS AAC instead of MPEG audio.
long findFrameRun(const std::uint8_t *p, std::size_t size, bool adts, bool dataEndsHere,
                  int *layer = nullptr);

// Length of the ID3v2 tag at `p` (header, body and footer), 0 when there is none.
std::size_t id3v2Length(const std::uint8_t *p, std::size_t size);

} // namespace tunora::audio
