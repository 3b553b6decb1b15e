// Fuzz target: a whole reply (status line, header, body) from a server on 127.0.0.1, through
// the URL creators as the channel wrapper calls them: the reply header, ICY metadata, playlist
// and HLS detection, the format check and the decoder, the download callback and the tags.

#include "audioengine.h"
#include "engine.h"
#include "netsource.h"

extern "C" {
#include <libavutil/log.h>
}

#include <arpa/inet.h>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Answers every connection with the current input, then closes it.
class Server
{
public:
    Server()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::listen(m_fd, 16) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            std::abort();
        port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
        m_thread.detach(); // lives as long as the process
    }
    void setReply(std::string reply)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_reply = std::move(reply);
    }
    int port = 0;

private:
    void serve()
    {
        for (;;) {
            const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            // The request: until its blank line, or a moment.
            std::string request;
            char chunk[2048];
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
                pollfd p{client, POLLIN, 0};
                if (::poll(&p, 1, 200) <= 0)
                    break;
                const ssize_t got = ::recv(client, chunk, sizeof chunk, 0);
                if (got <= 0)
                    break;
                request.append(chunk, std::size_t(got));
            }
            std::string reply;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                reply = m_reply;
            }
            ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
            ::shutdown(client, SHUT_RDWR);
            ::close(client);
        }
    }

    int m_fd = -1;
    std::thread m_thread;
    std::mutex m_lock;
    std::string m_reply;
};

void CALLBACK download(const void *buffer, DWORD length, void *)
{
    if (buffer && length == 0 && std::strlen(static_cast<const char *>(buffer)) > 70000)
        __builtin_trap(); // the header block is capped
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static Server *server = [] {
        av_log_set_level(AV_LOG_QUIET);
        BASS_Init(0, 44100, 0, nullptr, nullptr);
        BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 300);
        BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 0);
        BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 2);
        tunora::audio::config().reconnectWindowMs = 0; // a dropped connection ends the data
        return new Server;
    }();
    tunora::audio::dropParkedSources(); // every input meets a fresh connection
    server->setReply(std::string(reinterpret_cast<const char *>(data), size));
    const std::string url = "http://127.0.0.1:" + std::to_string(server->port) + "/stream";
    using Creator = HSTREAM (*)(const char *, DWORD, DWORD, DOWNLOADPROC *, void *);
    for (Creator create : {Creator(BASS_StreamCreateURL), Creator(BASS_AAC_StreamCreateURL)}) {
        const HSTREAM stream = create(
            url.c_str(), 0, BASS_STREAM_DECODE | BASS_STREAM_BLOCK | BASS_STREAM_STATUS, download, nullptr);
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
