#pragma once

// The network reader's HTTP/ICY client. Stations are served by a zoo of servers (HTTP/1.x,
// "ICY 200 OK" servers, servers that answer errors with "ICY 404" and an HTML page), and the
// engine needs things a general HTTP library does not hand out: the header block exactly as
// received (for the download callback and the tags), the ICY metadata blocks raw and at the byte
// where they arrived, name lookups and connects that a cancel from another thread ends at once,
// and hard caps on everything a server sends. So the client is our own, on plain sockets, with
// TLS from GnuTLS (certificates verified against the system store, for the host name asked for).
//
// Every blocking step watches an Interrupt (the creator's abort flag while opening, the source's
// stop flag while streaming) in slices of at most 20 ms, and a deadline (the net timeout).
// Errors are BASS_ERROR_* codes: FILEOPEN for a refused connection, an HTTP error, an error page
// or a broken reply; TIMEOUT when the deadline passed; NONET when the network is unreachable or
// names cannot be looked up at all; ABORTED when interrupted.

#include "audioengine.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tunora::audio {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

inline Deadline deadlineAfter(int ms)
{
    return Clock::now() + std::chrono::milliseconds(ms);
}

// What a blocking network step watches besides its deadline.
struct Interrupt
{
    const std::atomic<bool> *abortFlag = nullptr; // the creator's (BASS_SetAbortFlag), while opening
    const std::atomic<bool> *stopFlag = nullptr;  // the source's own, once it is shut down
    bool triggered() const
    {
        return (abortFlag && abortFlag->load(std::memory_order_relaxed)) ||
               (stopFlag && stopFlag->load(std::memory_order_relaxed));
    }
};

// An absolute address: scheme://[user[:password]@]host[:port][/path][?query]. The fragment is
// dropped; spaces and bytes outside ASCII in the path are percent-encoded when it is parsed.
struct Url
{
    std::string scheme; // lower case
    std::string user;
    std::string password;
    std::string host; // without the brackets of an IPv6 literal
    int port = 0;
    std::string target; // path and query, never empty ("/")

    // False for anything but an absolute address with a host, for control characters and for
    // addresses longer than 4096 bytes.
    static bool parse(std::string_view text, Url &out);
    // Resolves a reference (absolute, "//host/..", "/path", "?query" or a relative path)
    // against this address.
    bool resolve(std::string_view reference, Url &out) const;
    std::string hostPort() const; // the Host header: host, and the port when not the default
    std::string toString() const; // without user and password
    bool isTls() const { return scheme == "https"; }
};

int defaultPort(std::string_view scheme);

// `text` without the blanks, tabs and carriage returns around it.
std::string_view trimBlanks(std::string_view text);

// Looks a host name up on a helper thread, so that the caller can give up at any moment (name
// lookups cannot be interrupted): on abort or time-out the caller returns and the helper is left
// to finish on its own. Numeric addresses are returned as they are. Returns 0 or an error.
int resolveHost(const std::string &host, Deadline deadline, const Interrupt &interrupt,
                std::vector<std::string> &addresses);
// Replaces the system's lookup (for tests: slow or failing name servers). It runs on the helper
// thread and returns 0 or a BASS_ERROR_* code. An empty function restores the system's.
void setResolverForTests(
    std::function<int(const std::string &host, std::vector<std::string> &addresses)> resolver);

// BASS_ERROR_* for a failed socket call (an errno value) and for a failed lookup (EAI_*).
int errorFromErrno(int error);
int errorFromLookup(int eaiError, int savedErrno);

// One TCP connection, optionally with TLS on top.
class Connection
{
public:
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Connects to the first of `addresses` (numeric) that accepts.
    static std::unique_ptr<Connection> open(const std::vector<std::string> &addresses, int port,
                                            Deadline deadline, const Interrupt &interrupt, int &error);
    // Starts TLS: the server must show a certificate for `host` that `caFile` vouches for.
    bool startTls(const std::string &host, const std::string &caFile, Deadline deadline,
                  const Interrupt &interrupt, int &error);
    bool writeAll(std::string_view data, Deadline deadline, const Interrupt &interrupt, int &error);
    // Returns the count read (> 0), 0 when the peer closed, or -1 with `error` set.
    int read(std::uint8_t *buffer, int size, Deadline deadline, const Interrupt &interrupt, int &error);

private:
    Connection() = default;
    // Waits until the socket is ready for `events`; false with `error` set otherwise.
    bool wait(short events, Deadline deadline, const Interrupt &interrupt, int &error);

    int m_fd = -1;
    void *m_tls = nullptr; // gnutls_session_t
};

struct HttpRequest
{
    Url url;
    std::string agent;
    bool hasProxy = false;
    std::string proxy; // "[user:password@]host:port"
    std::string caFile;
    bool icyMetadata = false; // ask for interleaved ICY metadata
    std::int64_t rangeFrom = 0;
    int timeoutMs = 5000;
    int maxRedirects = 5;
};

// Caps on what a server may send before its body.
constexpr std::size_t MaxHeaderBytes = 64 * 1024;
constexpr std::size_t MaxHeaderLines = 256;

struct HttpResponse
{
    std::string rawHeader;          // status line and header lines as received, without the blank line
    std::vector<std::string> lines; // the status line, then each header line (line ends removed)
    int status = 0;
    bool icy = false;        // an "ICY 200 OK" status line rather than "HTTP/1.x 200 OK"
    std::string contentType; // lower case, without parameters
    std::int64_t contentLength = -1;
    bool chunked = false;
    std::uint32_t metaint = 0; // 0: no ICY metadata interleaved
    Url url;                   // the address that answered (after redirects)

    // The value of the first header `name` (ignoring case), trimmed; empty when absent.
    std::string header(std::string_view name) const;
};

// Parses a header block (everything before the blank line). False when the status line is
// neither HTTP/1.x nor ICY, or the block breaks the caps.
bool parseResponseHeader(std::string_view block, HttpResponse &out);

// A GET in progress: the request was answered with a success status and the body follows.
class HttpStream
{
public:
    // Connects (through the proxy when one is set), sends the request, follows up to
    // maxRedirects redirects and reads the reply's header. Fails with FILEOPEN for an error
    // status or an HTML page (also when the status line reads "ICY 404"), TIMEOUT, NONET or
    // ABORTED. When the server did answer, but with an error (or an HTML page), `answered`
    // receives its status code; it stays 0 when no answer came.
    static std::unique_ptr<HttpStream> open(const HttpRequest &request, const Interrupt &interrupt,
                                            int &error, int *answered = nullptr);

    const HttpResponse &response() const { return m_response; }
    // Reads body bytes (without chunk framing). Returns the count (> 0), 0 at the end of the
    // body, or -1 with `error` set.
    int read(std::uint8_t *buffer, int size, Deadline deadline, const Interrupt &interrupt, int &error);
    // True once a body with a length, or a chunked one, arrived completely.
    bool complete() const { return m_chunk == Chunk::Done || m_bodyLeft == 0; }

private:
    HttpStream() = default;
    int readRaw(std::uint8_t *buffer, int size, Deadline deadline, const Interrupt &interrupt, int &error);
    int readChunked(std::uint8_t *buffer, int size, Deadline deadline, const Interrupt &interrupt,
                    int &error);

    std::unique_ptr<Connection> m_connection;
    HttpResponse m_response;
    std::string m_pending; // body bytes that came with the header
    std::size_t m_pendingAt = 0;
    std::int64_t m_bodyLeft = -1; // with a Content-Length
    // Chunked bodies.
    enum class Chunk
    {
        Size,
        Data,
        DataEnd,
        Trailer,
        Done
    };
    Chunk m_chunk = Chunk::Size;
    std::int64_t m_chunkLeft = 0;
    std::string m_line;
};

} // namespace tunora::audio
