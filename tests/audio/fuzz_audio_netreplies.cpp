// Fuzz target: a whole reply (status line, header, body) from a server on 127.0.0.1, through
// the URL creators as the channel wrapper calls them: the reply header, ICY metadata, playlist
// and HLS detection, the format check and the decoder, the download callback and the tags.

#include "audioengine.h"
#include "engine.h"
#include "netsource.h"
#include "scriptedserver.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QCoreApplication>
#include <QMutex>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

using TunoraTest::ScriptedServer;

void CALLBACK download(const void *buffer, DWORD length, void *)
{
    if (buffer && length == 0 && std::strlen(static_cast<const char *>(buffer)) > 70000)
        __builtin_trap(); // the header block is capped
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Answers every connection with the current input, then closes it.
    static QMutex lock;
    static QByteArray reply;
    static ScriptedServer *server = [] {
        static int argc = 1;
        static char name[] = "fuzz_audio_netreplies", *argv[] = {name, nullptr};
        new QCoreApplication(argc, argv); // the server's thread runs an event loop
        av_log_set_level(AV_LOG_QUIET);
        BASS_Init(0, 44100, 0, nullptr, nullptr);
        BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 300);
        BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 0);
        BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 2);
        tunora::audio::config().reconnectWindowMs = 0; // a dropped connection ends the data
        auto *s = new ScriptedServer;
        if (!s->start([](int, const QByteArray &) {
                const QMutexLocker guard(&lock);
                return ScriptedServer::Script{ScriptedServer::send(reply), ScriptedServer::close()};
            }))
            std::abort();
        return s;
    }();
    tunora::audio::dropParkedSources(); // every input meets a fresh connection
    {
        const QMutexLocker guard(&lock);
        reply = QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
    }
    const QByteArray url = server->url("/stream");
    using Creator = HSTREAM (*)(const char *, DWORD, DWORD, DOWNLOADPROC *, void *);
    for (Creator create : {Creator(BASS_StreamCreateURL), Creator(BASS_AAC_StreamCreateURL)}) {
        const HSTREAM stream =
            create(url.constData(), 0, BASS_STREAM_DECODE | BASS_STREAM_BLOCK | BASS_STREAM_STATUS, download,
                   nullptr);
        if (!stream)
            continue;
        float block[4096];
        for (int i = 0; i < 32; ++i)
            if (BASS_ChannelGetData(stream, block, sizeof block | BASS_DATA_FLOAT) == DWORD(-1))
                break;
        for (DWORD tag : {BASS_TAG_HTTP, BASS_TAG_ICY, BASS_TAG_META, BASS_TAG_OGG})
            BASS_ChannelGetTags(stream, tag);
        BASS_StreamGetFilePosition(stream, BASS_FILEPOS_END);
        BASS_StreamFree(stream);
        break;
    }
    return 0;
}
