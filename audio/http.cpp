// The HTTP client's framing: reading reply headers, connecting directly or through a proxy,
// writing the request, following redirects, and reading plain and chunked bodies.

#include "http.h"

#include "httptext.h"
#include "icy.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tunora::audio {

using namespace httptext;

// ---- replies ---------------------------------------------------------------------------------------

std::string HttpResponse::header(std::string_view name) const
{
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && equalsNoCase(trimBlanks(line.substr(0, colon)), name))
            return std::string(trimBlanks(line.substr(colon + 1)));
    }
    return std::string();
}

bool parseResponseHeader(std::string_view block, HttpResponse &out)
{
    if (block.size() > MaxHeaderBytes)
        return false;
    HttpResponse response;
    response.rawHeader = std::string(block);
    std::size_t at = 0;
    while (at < block.size()) {
        std::size_t end = block.find('\n', at);
        if (end == std::string_view::npos)
            end = block.size();
        std::string_view line = block.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        at = end + 1;
        if (line.empty())
            continue;
        if (response.lines.size() >= MaxHeaderLines)
            return false;
        response.lines.emplace_back(line);
    }
    if (response.lines.empty())
        return false;
    // "HTTP/1.1 200 OK", "ICY 200 OK"
    const std::string_view status = response.lines.front();
    std::string_view rest;
    if (status.size() >= 8 && status.substr(0, 5) == "HTTP/") {
        rest = status.substr(5);
        const std::size_t space = rest.find(' ');
        if (space == std::string_view::npos)
            return false;
        rest.remove_prefix(space + 1);
    } else if (status.size() >= 4 && equalsNoCase(status.substr(0, 4), "ICY ")) {
        response.icy = true;
        rest = status.substr(4);
    } else {
        return false;
    }
    rest = trimBlanks(rest);
    if (rest.size() < 3 ||
        !std::all_of(rest.begin(), rest.begin() + 3, [](char c) { return c >= '0' && c <= '9'; }) ||
        (rest.size() > 3 && rest[3] != ' '))
        return false;
    response.status = (rest[0] - '0') * 100 + (rest[1] - '0') * 10 + (rest[2] - '0');

    std::string type = lowered(response.header("Content-Type"));
    type = std::string(trimBlanks(std::string_view(type).substr(0, type.find(';'))));
    response.contentType = type;
    const std::string length = response.header("Content-Length");
    if (!length.empty() && length.size() <= 18 &&
        std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; }))
        response.contentLength = std::stoll(length);
    response.chunked = lowered(response.header("Transfer-Encoding")).find("chunked") != std::string::npos;
    if (response.chunked)
        response.contentLength = -1;
    response.metaint = parseIcyMetaint(response.header("icy-metaint"));
    out = std::move(response);
    return true;
}

namespace {

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool isSuccess(int status)
{
    return status == 200 || status == 203 || status == 206;
}

// Connects to where the request must go: the server itself, or the proxy (a plain request with
// the full address for http, a CONNECT tunnel for https).
std::unique_ptr<Connection> connectFor(const HttpRequest &request, const Url &url, bool &viaProxy,
                                       Deadline deadline, const Interrupt &interrupt, int &error)
{
    std::string host = url.host;
    int port = url.port;
    std::string proxyAuth;
    viaProxy = false;
    if (request.hasProxy && !request.proxy.empty()) {
        Url proxy;
        if (!Url::parse("http://" + request.proxy, proxy)) {
            error = BASS_ERROR_ILLPARAM;
            return nullptr;
        }
        host = proxy.host;
        port = proxy.port;
        if (!proxy.user.empty())
            proxyAuth = "Proxy-Authorization: Basic " + base64(proxy.user + ":" + proxy.password) + "\r\n";
        viaProxy = true;
    }
    std::vector<std::string> addresses;
    error = resolveHost(host, deadline, interrupt, addresses);
    if (error != 0)
        return nullptr;
    std::unique_ptr<Connection> connection = Connection::open(addresses, port, deadline, interrupt, error);
    if (!connection)
        return nullptr;
    if (viaProxy && url.isTls()) {
        const std::string target = url.hostPort().find(':') != std::string::npos
                                       ? url.hostPort()
                                       : url.hostPort() + ":" + std::to_string(url.port);
        const std::string connect =
            "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n" + proxyAuth + "\r\n";
        if (!connection->writeAll(connect, deadline, interrupt, error))
            return nullptr;
        // The proxy's answer, byte by byte so that nothing of the tunnel is read.
        std::string reply;
        while (reply.find("\r\n\r\n") == std::string::npos && reply.find("\n\n") == std::string::npos) {
            std::uint8_t byte;
            const int got = connection->read(&byte, 1, deadline, interrupt, error);
            if (got <= 0 || reply.size() >= MaxHeaderBytes) {
                if (got == 0 || reply.size() >= MaxHeaderBytes)
                    error = BASS_ERROR_FILEOPEN;
                return nullptr;
            }
            reply.push_back(char(byte));
        }
        HttpResponse answer;
        if (!parseResponseHeader(reply, answer) || answer.status / 100 != 2) {
            error = BASS_ERROR_FILEOPEN;
            return nullptr;
        }
        viaProxy = false; // inside the tunnel the request is an ordinary one
    } else if (viaProxy) {
        error = 0;
        return connection;
    }
    if (url.isTls() && !connection->startTls(url.host, request.caFile, deadline, interrupt, error))
        return nullptr;
    return connection;
}

std::string requestText(const HttpRequest &request, const Url &url, bool viaProxy)
{
    std::string text = "GET " + (viaProxy ? url.scheme + "://" + url.hostPort() + url.target : url.target) +
                       " HTTP/1.0\r\nHost: " + url.hostPort() + "\r\n";
    text += "User-Agent: " + (request.agent.empty() ? std::string("Tunora") : request.agent) + "\r\n";
    text += "Accept: */*\r\n";
    if (request.icyMetadata)
        text += "Icy-MetaData: 1\r\n";
    if (request.rangeFrom > 0)
        text += "Range: bytes=" + std::to_string(request.rangeFrom) + "-\r\n";
    if (!url.user.empty())
        text += "Authorization: Basic " + base64(url.user + ":" + url.password) + "\r\n";
    if (viaProxy && request.hasProxy) {
        const std::size_t at = request.proxy.rfind('@');
        if (at != std::string::npos) {
            Url proxy;
            if (Url::parse("http://" + request.proxy, proxy))
                text += "Proxy-Authorization: Basic " + base64(proxy.user + ":" + proxy.password) + "\r\n";
        }
    }
    text += "Connection: close\r\n\r\n";
    return text;
}

} // namespace

std::unique_ptr<HttpStream> HttpStream::open(const HttpRequest &request, const Interrupt &interrupt,
                                             int &error, int *answered)
{
    if (answered)
        *answered = 0;
    Url url = request.url;
    for (int hop = 0; hop <= request.maxRedirects; ++hop) {
        if (url.scheme != "http" && url.scheme != "https") {
            error = BASS_ERROR_FILEOPEN;
            return nullptr;
        }
        const Deadline deadline = deadlineAfter(request.timeoutMs);
        bool viaProxy = false;
        std::unique_ptr<Connection> connection =
            connectFor(request, url, viaProxy, deadline, interrupt, error);
        if (!connection)
            return nullptr;
        if (!connection->writeAll(requestText(request, url, viaProxy), deadline, interrupt, error))
            return nullptr;

        // The header block: up to the first blank line, at most MaxHeaderBytes.
        std::string received;
        std::size_t headerEnd = std::string::npos, bodyStart = 0;
        std::uint8_t chunk[4096];
        while (headerEnd == std::string::npos) {
            const int got = connection->read(chunk, int(sizeof chunk), deadline, interrupt, error);
            if (got < 0)
                return nullptr;
            if (got == 0) {
                error = BASS_ERROR_FILEOPEN; // closed before the header was complete
                return nullptr;
            }
            const std::size_t searchFrom = received.size() > 3 ? received.size() - 3 : 0;
            received.append(reinterpret_cast<const char *>(chunk), std::size_t(got));
            for (std::size_t i = searchFrom; i < received.size(); ++i) {
                if (received[i] != '\n')
                    continue;
                if (i + 1 < received.size() && received[i + 1] == '\n') {
                    headerEnd = i + 1;
                    bodyStart = i + 2;
                    break;
                }
                if (i + 2 < received.size() && received[i + 1] == '\r' && received[i + 2] == '\n') {
                    headerEnd = i + 1;
                    bodyStart = i + 3;
                    break;
                }
            }
            if (headerEnd == std::string::npos && received.size() > MaxHeaderBytes) {
                error = BASS_ERROR_FILEOPEN;
                return nullptr;
            }
        }
        std::unique_ptr<HttpStream> stream(new HttpStream);
        if (headerEnd > MaxHeaderBytes ||
            !parseResponseHeader(std::string_view(received).substr(0, headerEnd), stream->m_response)) {
            error = BASS_ERROR_FILEOPEN;
            return nullptr;
        }
        HttpResponse &response = stream->m_response;
        response.url = url;
        if (isRedirect(response.status)) {
            Url next;
            if (!url.resolve(response.header("Location"), next)) {
                error = BASS_ERROR_FILEOPEN;
                return nullptr;
            }
            url = std::move(next);
            continue;
        }
        if (!isSuccess(response.status) || response.contentType == "text/html") {
            if (answered)
                *answered = response.status;
            error = BASS_ERROR_FILEOPEN;
            return nullptr;
        }
        if (!request.icyMetadata)
            response.metaint = 0;
        stream->m_connection = std::move(connection);
        stream->m_pending = received.substr(bodyStart);
        stream->m_bodyLeft = response.contentLength;
        error = 0;
        return stream;
    }
    error = BASS_ERROR_FILEOPEN; // too many redirects
    return nullptr;
}

int HttpStream::readRaw(std::uint8_t *buffer, int size, Deadline deadline, const Interrupt &interrupt,
                        int &error)
{
    if (m_pendingAt < m_pending.size()) {
        const std::size_t n = std::min<std::size_t>(std::size_t(size), m_pending.size() - m_pendingAt);
        std::memcpy(buffer, m_pending.data() + m_pendingAt, n);
        m_pendingAt += n;
        if (m_pendingAt == m_pending.size()) {
            m_pending.clear();
            m_pending.shrink_to_fit();
            m_pendingAt = 0;
        }
        return int(n);
    }
    return m_connection->read(buffer, size, deadline, interrupt, error);
}

int HttpStream::read(std::uint8_t *buffer, int size, Deadline deadline, const Interrupt &interrupt,
                     int &error)
{
    if (size <= 0)
        return 0;
    if (m_response.chunked)
        return readChunked(buffer, size, deadline, interrupt, error);
    if (m_bodyLeft == 0)
        return 0;
    if (m_bodyLeft > 0)
        size = int(std::min<std::int64_t>(size, m_bodyLeft));
    const int got = readRaw(buffer, size, deadline, interrupt, error);
    if (got > 0 && m_bodyLeft > 0)
        m_bodyLeft -= got;
    return got;
}

int HttpStream::readChunked(std::uint8_t *buffer, int size, Deadline deadline, const Interrupt &interrupt,
                            int &error)
{
    for (;;) {
        switch (m_chunk) {
        case Chunk::Done:
            return 0;
        case Chunk::Data: {
            const int want = int(std::min<std::int64_t>(size, m_chunkLeft));
            const int got = readRaw(buffer, want, deadline, interrupt, error);
            if (got <= 0) {
                if (got == 0)
                    error = BASS_ERROR_FILEOPEN;
                return -1;
            }
            m_chunkLeft -= got;
            if (m_chunkLeft == 0)
                m_chunk = Chunk::DataEnd;
            return got;
        }
        case Chunk::Size:
        case Chunk::DataEnd:
        case Chunk::Trailer: {
            // One line at a time; chunk-size lines and trailers are short.
            std::uint8_t byte;
            const int got = readRaw(&byte, 1, deadline, interrupt, error);
            if (got <= 0) {
                if (got == 0)
                    error = BASS_ERROR_FILEOPEN;
                return -1;
            }
            if (byte != '\n') {
                if (m_line.size() >= 1024) {
                    error = BASS_ERROR_FILEOPEN;
                    return -1;
                }
                m_line.push_back(char(byte));
                continue;
            }
            std::string line;
            line.swap(m_line);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (m_chunk == Chunk::DataEnd) {
                m_chunk = Chunk::Size;
            } else if (m_chunk == Chunk::Trailer) {
                if (line.empty())
                    m_chunk = Chunk::Done;
            } else {
                const std::string digits = line.substr(0, line.find(';'));
                std::int64_t length = 0;
                if (digits.empty() || digits.size() > 15) {
                    error = BASS_ERROR_FILEOPEN;
                    return -1;
                }
                for (const char c : digits) {
                    const int v = std::isxdigit(static_cast<unsigned char>(c))
                                      ? (c <= '9' ? c - '0' : (lower(c) - 'a' + 10))
                                      : -1;
                    if (v < 0) {
                        error = BASS_ERROR_FILEOPEN;
                        return -1;
                    }
                    length = length * 16 + v;
                }
                m_chunkLeft = length;
                m_chunk = length == 0 ? Chunk::Trailer : Chunk::Data;
            }
            continue;
        }
        }
    }
}

} // namespace tunora::audio
