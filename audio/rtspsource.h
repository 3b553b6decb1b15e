#pragma once

// RTSP streams, as FFmpeg offers them: its RTSP client receives the audio packets (over an
// interleaved TCP connection) and they are written, as they come, into an ASF container in the
// source's buffer. The channel wrapper hands rtsp:// addresses to the WMA
// creator, so the ASF form lets that creator play whatever audio the stream carries (WMA, MP3,
// AAC), with the same decoder, positions and syncs as any other network stream.

#include "netsource.h"

struct AVFormatContext;
struct AVIOContext;

namespace tunora::audio {

class RtspSource final : public BufferedSource
{
public:
    // Opens `url` (its host already numeric) on the calling thread, watching `interrupt` and
    // the net time-out, and writes the container's header.
    static std::unique_ptr<RtspSource> open(const std::string &url, const Interrupt &interrupt, int &error);
    ~RtspSource() override;

private:
    RtspSource() = default;
    void run() override;
    static int interruptCallback(void *opaque);
    static int writePacket(void *opaque, std::uint8_t *buffer, int size);

    AVFormatContext *m_in = nullptr;
    AVFormatContext *m_out = nullptr;
    AVIOContext *m_io = nullptr;
    int m_stream = -1;
    const Interrupt *m_opening = nullptr;      // while open() runs
    std::atomic<std::int64_t> m_deadlineNs{0}; // 0: none
};

} // namespace tunora::audio
