// Fuzz target: untrusted bytes through every creator (format check, demuxer, decoder, the
// engine's conversion) and through the frame-header scanners on their own.

#include "audioengine.h"
#include "sniff.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool ready = [] {
        av_log_set_level(AV_LOG_QUIET);
        BASS_Init(0, 44100, 0, nullptr, nullptr);
        std::atexit([] { BASS_Free(); });
        return true;
    }();
    (void)ready;

    int layer = 0;
    tunora::audio::findFrameRun(data, size, false, true, &layer);
    tunora::audio::findFrameRun(data, size, true, false);
    tunora::audio::id3v2Length(data, size);

    if (size == 0)
        return 0;
    using Creator = HSTREAM (*)(BOOL, const void *, QWORD, QWORD, DWORD);
    static const Creator creators[] = {BASS_StreamCreateFile, BASS_WMA_StreamCreateFile,
                                       BASS_AAC_StreamCreateFile, BASS_MP4_StreamCreateFile,
                                       BASS_FLAC_StreamCreateFile};
    for (Creator create : creators) {
        const HSTREAM stream = create(TRUE, data, 0, size, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN);
        if (!stream)
            continue;
        // Decode a bounded amount, in both sample formats, and look at the bookkeeping.
        float block[4096];
        for (int i = 0; i < 64; ++i) {
            const DWORD flags = (i % 2) ? BASS_DATA_FLOAT : 0;
            if (BASS_ChannelGetData(stream, block, sizeof block | flags) == DWORD(-1))
                break;
        }
        BASS_ChannelGetLength(stream, BASS_POS_BYTE);
        BASS_ChannelGetLevel(stream);
        BASS_ChannelSetPosition(stream, 0, BASS_POS_BYTE);
        BASS_ChannelGetTags(stream, BASS_TAG_OGG);
        BASS_StreamFree(stream);
    }
    return 0;
}
