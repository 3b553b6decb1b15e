#include "http.h"

#include "icy.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tunora::audio {

namespace {

constexpr int SliceMs = 20; // how often a blocked step looks at its interrupt
constexpr int MaxLookupsInFlight = 16;

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool hasControlCharacters(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// Percent-encodes what may not stand in a request line (blanks, bytes outside ASCII).
std::string encodeTarget(std::string_view target)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : target) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
            c == '`' || c == '{' || c == '|' || c == '}') {
            out.push_back('%');
            out.push_back(hex[byte >> 4]);
            out.push_back(hex[byte & 15]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out.push_back(char(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string base64(std::string_view in)
{
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const std::uint32_t v = (std::uint32_t(std::uint8_t(in[i])) << 16) |
                                (std::uint32_t(std::uint8_t(in[i + 1])) << 8) | std::uint8_t(in[i + 2]);
        out += {table[v >> 18], table[(v >> 12) & 63], table[(v >> 6) & 63], table[v & 63]};
    }
    if (i + 1 == in.size()) {
        const std::uint32_t v = std::uint32_t(std::uint8_t(in[i])) << 16;
        out += {table[v >> 18], table[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == in.size()) {
        const std::uint32_t v =
            (std::uint32_t(std::uint8_t(in[i])) << 16) | (std::uint32_t(std::uint8_t(in[i + 1])) << 8);
        out += {table[v >> 18], table[(v >> 12) & 63], table[(v >> 6) & 63], '='};
    }
    return out;
}

// Removes "." and ".." segments of a path.
std::string normalisedPath(std::string_view path)
{
    std::vector<std::string_view> segments;
    std::size_t at = 0;
    while (at <= path.size()) {
        const std::size_t slash = path.find('/', at);
        const std::string_view segment =
            path.substr(at, slash == std::string_view::npos ? std::string_view::npos : slash - at);
        const bool last = slash == std::string_view::npos;
        if (segment == "..") {
            if (segments.size() > 1)
                segments.pop_back();
            if (last)
                segments.push_back("");
        } else if (segment == ".") {
            if (last)
                segments.push_back("");
        } else {
            segments.push_back(segment);
        }
        if (last)
            break;
        at = slash + 1;
    }
    std::string out;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0)
            out.push_back('/');
        out.append(segments[i]);
    }
    if (out.empty() || out[0] != '/')
        out.insert(out.begin(), '/');
    return out;
}

} // namespace

// ---- addresses -----------------------------------------------------------------------------------

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

int defaultPort(std::string_view scheme)
{
    if (scheme == "https")
        return 443;
    if (scheme == "mmst")
        return 1755;
    if (scheme == "rtsp")
        return 554;
    return 80;
}

bool Url::parse(std::string_view text, Url &out)
{
    if (text.empty() || text.size() > 4096 || hasControlCharacters(text))
        return false;
    const std::size_t schemeEnd = text.find("://");
    if (schemeEnd == std::string_view::npos || schemeEnd == 0)
        return false;
    Url url;
    url.scheme = lowered(text.substr(0, schemeEnd));
    if (!std::all_of(url.scheme.begin(), url.scheme.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        }))
        return false;
    std::string_view rest = text.substr(schemeEnd + 3);
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos)
        rest = rest.substr(0, hash);
    const std::size_t authorityEnd = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, authorityEnd);
    std::string_view target =
        authorityEnd == std::string_view::npos ? std::string_view("/") : rest.substr(authorityEnd);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view info = authority.substr(0, at);
        const std::size_t colon = info.find(':');
        url.user = percentDecoded(info.substr(0, colon));
        if (colon != std::string_view::npos)
            url.password = percentDecoded(info.substr(colon + 1));
        authority.remove_prefix(at + 1);
    }
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return false;
        url.host = std::string(authority.substr(1, close - 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return false;
            port = after.substr(1);
        }
    } else {
        const std::size_t colon = authority.rfind(':');
        url.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos)
            port = authority.substr(colon + 1);
    }
    if (url.host.empty() || url.host.find_first_of(" \t/\\@[]") != std::string::npos)
        return false;
    url.port = defaultPort(url.scheme);
    if (!port.empty()) {
        if (port.size() > 5 ||
            !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        url.port = std::stoi(std::string(port));
        if (url.port < 1 || url.port > 65535)
            return false;
    }
    if (target.front() == '?')
        url.target = "/" + encodeTarget(target);
    else
        url.target = encodeTarget(target);
    out = std::move(url);
    return true;
}

bool Url::resolve(std::string_view reference, Url &out) const
{
    reference = trimBlanks(reference);
    if (reference.empty() || reference.size() > 4096 || hasControlCharacters(reference))
        return false;
    const std::size_t colon = reference.find("://");
    const std::size_t firstSlash = reference.find('/');
    if (colon != std::string_view::npos && (firstSlash == std::string_view::npos || colon < firstSlash))
        return parse(reference, out);
    if (reference.substr(0, 2) == "//")
        return parse(scheme + ":" + std::string(reference), out);
    Url url = *this;
    std::string path = target.substr(0, target.find('?'));
    std::string joined;
    if (reference.front() == '/') {
        joined = std::string(reference);
    } else if (reference.front() == '?') {
        joined = path + std::string(reference);
    } else {
        joined = path.substr(0, path.rfind('/') + 1) + std::string(reference);
    }
    if (const std::size_t hash = joined.find('#'); hash != std::string::npos)
        joined.resize(hash);
    const std::size_t query = joined.find('?');
    url.target = encodeTarget(normalisedPath(std::string_view(joined).substr(0, query)) +
                              (query == std::string::npos ? std::string() : joined.substr(query)));
    // Already-encoded escapes must not be encoded twice: encodeTarget leaves '%' alone.
    out = std::move(url);
    return true;
}

std::string Url::hostPort() const
{
    std::string out = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    if (port != defaultPort(scheme))
        out += ":" + std::to_string(port);
    return out;
}

std::string Url::toString() const
{
    return scheme + "://" + hostPort() + target;
}

// ---- name lookups --------------------------------------------------------------------------------

namespace {

std::mutex g_resolverLock;
std::function<int(const std::string &, std::vector<std::string> &)> g_resolver;
std::atomic<int> g_lookupsInFlight{0};

struct Lookup
{
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    int error = 0;
    std::vector<std::string> addresses;
};

int systemLookup(const std::string &host, std::vector<std::string> &addresses)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    const int savedErrno = errno;
    if (result != 0)
        return errorFromLookup(result, savedErrno);
    for (const addrinfo *ai = found; ai && addresses.size() < 8; ai = ai->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        if (::getnameinfo(ai->ai_addr, ai->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) == 0 &&
            std::find(addresses.begin(), addresses.end(), text) == addresses.end())
            addresses.emplace_back(text);
    }
    ::freeaddrinfo(found);
    return addresses.empty() ? BASS_ERROR_FILEOPEN : 0;
}

bool isNumericAddress(const std::string &host)
{
    in6_addr v6;
    in_addr v4;
    return ::inet_pton(AF_INET, host.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

} // namespace

void setResolverForTests(std::function<int(const std::string &, std::vector<std::string> &)> resolver)
{
    std::lock_guard<std::mutex> guard(g_resolverLock);
    g_resolver = std::move(resolver);
}

int resolveHost(const std::string &host, Deadline deadline, const Interrupt &interrupt,
                std::vector<std::string> &addresses)
{
    addresses.clear();
    if (interrupt.triggered())
        return BASS_ERROR_ABORTED;
    if (isNumericAddress(host)) {
        addresses.push_back(host);
        return 0;
    }
    std::function<int(const std::string &, std::vector<std::string> &)> resolver;
    {
        std::lock_guard<std::mutex> guard(g_resolverLock);
        resolver = g_resolver;
    }
    if (!resolver)
        resolver = systemLookup;
    // Lookups that hang are abandoned, not cancelled: bound how many may pile up.
    if (g_lookupsInFlight.fetch_add(1) >= MaxLookupsInFlight) {
        g_lookupsInFlight.fetch_sub(1);
        return BASS_ERROR_NONET;
    }
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host, resolver] {
            std::vector<std::string> found;
            const int error = resolver(host, found);
            {
                std::lock_guard<std::mutex> guard(lookup->lock);
                lookup->error = error;
                lookup->addresses = std::move(found);
                lookup->finished = true;
            }
            lookup->done.notify_all();
            g_lookupsInFlight.fetch_sub(1);
        }).detach();
    } catch (const std::system_error &) {
        g_lookupsInFlight.fetch_sub(1);
        return BASS_ERROR_MEM;
    }
    std::unique_lock<std::mutex> lock(lookup->lock);
    while (!lookup->finished) {
        if (interrupt.triggered())
            return BASS_ERROR_ABORTED;
        if (Clock::now() >= deadline)
            return BASS_ERROR_TIMEOUT;
        lookup->done.wait_for(lock, std::chrono::milliseconds(SliceMs));
    }
    addresses = lookup->addresses;
    return lookup->error;
}

int errorFromErrno(int error)
{
    switch (error) {
    case ETIMEDOUT:
        return BASS_ERROR_TIMEOUT;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN:
    case EADDRNOTAVAIL:
        return BASS_ERROR_NONET;
    case ENOMEM:
    case ENOBUFS:
        return BASS_ERROR_MEM;
    default:
        return BASS_ERROR_FILEOPEN; // refused, reset, closed, and everything else
    }
}

int errorFromLookup(int eaiError, int savedErrno)
{
    switch (eaiError) {
    case EAI_AGAIN:
    case EAI_FAIL:
        return BASS_ERROR_NONET; // no name server could be asked
    case EAI_MEMORY:
        return BASS_ERROR_MEM;
    case EAI_SYSTEM:
        return errorFromErrno(savedErrno);
    default:
        return BASS_ERROR_FILEOPEN; // no such host
    }
}

// ---- connections ---------------------------------------------------------------------------------

namespace {

// Trust stores are read once per file and kept for the life of the process (connections of
// abandoned threads may still use them while static objects are destroyed).
std::mutex g_credentialsLock;

gnutls_certificate_credentials_t credentialsFor(const std::string &caFile)
{
    static auto *cache = new std::map<std::string, gnutls_certificate_credentials_t>;
    std::lock_guard<std::mutex> guard(g_credentialsLock);
    const auto it = cache->find(caFile);
    if (it != cache->end())
        return it->second;
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) < 0)
        return nullptr;
    // A missing or empty store trusts nothing: every certificate then fails verification.
    // Several stores are separated by line breaks (the system's, then an extra CA file).
    std::size_t start = 0;
    while (start < caFile.size()) {
        std::size_t end = caFile.find('\n', start);
        if (end == std::string::npos)
            end = caFile.size();
        const std::string file = caFile.substr(start, end - start);
        if (!file.empty())
            gnutls_certificate_set_x509_trust_file(credentials, file.c_str(), GNUTLS_X509_FMT_PEM);
        start = end + 1;
    }
    cache->emplace(caFile, credentials);
    return credentials;
}

int sliceUntil(Deadline deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, SliceMs));
}

// Connects a non-blocking socket to one address; false with `error` set.
int connectOne(const std::string &address, int port, Deadline deadline, const Interrupt &interrupt,
               int &error)
{
    sockaddr_storage storage{};
    socklen_t length;
    int family;
    if (auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
        ::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(std::uint16_t(port));
        length = sizeof(sockaddr_in);
        family = AF_INET;
    } else if (auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
               ::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(std::uint16_t(port));
        length = sizeof(sockaddr_in6);
        family = AF_INET6;
    } else {
        error = BASS_ERROR_FILEOPEN;
        return -1;
    }
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errorFromErrno(errno);
        return -1;
    }
    if (::connect(fd, reinterpret_cast<sockaddr *>(&storage), length) == 0)
        return fd;
    if (errno != EINPROGRESS) {
        error = errorFromErrno(errno);
        ::close(fd);
        return -1;
    }
    for (;;) {
        if (interrupt.triggered()) {
            error = BASS_ERROR_ABORTED;
            break;
        }
        if (Clock::now() >= deadline) {
            error = BASS_ERROR_TIMEOUT;
            break;
        }
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, sliceUntil(deadline));
        if (ready < 0 && errno != EINTR) {
            error = errorFromErrno(errno);
            break;
        }
        if (ready > 0) {
            int soError = 0;
            socklen_t size = sizeof soError;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &size);
            if (soError == 0)
                return fd;
            error = errorFromErrno(soError);
            break;
        }
    }
    ::close(fd);
    return -1;
}

} // namespace

Connection::~Connection()
{
    if (m_tls) {
        auto session = static_cast<gnutls_session_t>(m_tls);
        gnutls_bye(session, GNUTLS_SHUT_WR); // non-blocking: a courtesy, not a wait
        gnutls_deinit(session);
    }
    if (m_fd >= 0)
        ::close(m_fd);
}

std::unique_ptr<Connection> Connection::open(const std::vector<std::string> &addresses, int port,
                                             Deadline deadline, const Interrupt &interrupt, int &error)
{
    error = BASS_ERROR_FILEOPEN;
    for (const std::string &address : addresses) {
        const int fd = connectOne(address, port, deadline, interrupt, error);
        if (fd >= 0) {
            std::unique_ptr<Connection> connection(new Connection);
            connection->m_fd = fd;
            return connection;
        }
        if (error == BASS_ERROR_ABORTED || error == BASS_ERROR_TIMEOUT)
            break;
    }
    return nullptr;
}

bool Connection::wait(short events, Deadline deadline, const Interrupt &interrupt, int &error)
{
    for (;;) {
        if (interrupt.triggered()) {
            error = BASS_ERROR_ABORTED;
            return false;
        }
        if (Clock::now() >= deadline) {
            error = BASS_ERROR_TIMEOUT;
            return false;
        }
        pollfd p{m_fd, events, 0};
        const int ready = ::poll(&p, 1, sliceUntil(deadline));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR) {
            error = errorFromErrno(errno);
            return false;
        }
    }
}

bool Connection::startTls(const std::string &host, const std::string &caFile, Deadline deadline,
                          const Interrupt &interrupt, int &error)
{
    gnutls_certificate_credentials_t credentials = credentialsFor(caFile);
    gnutls_session_t session = nullptr;
    if (!credentials || gnutls_init(&session, GNUTLS_CLIENT | GNUTLS_NONBLOCK) < 0) {
        error = BASS_ERROR_MEM;
        return false;
    }
    m_tls = session;
    if (!isNumericAddress(host))
        gnutls_server_name_set(session, GNUTLS_NAME_DNS, host.data(), host.size());
    gnutls_set_default_priority(session);
    gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials);
    // Verified during the handshake: chain to a trusted root, validity, and the host name.
    gnutls_session_set_verify_cert(session, host.c_str(), 0);
    gnutls_transport_set_int(session, m_fd);
    for (;;) {
        const int result = gnutls_handshake(session);
        if (result == GNUTLS_E_SUCCESS)
            return true;
        if (result != GNUTLS_E_AGAIN && result != GNUTLS_E_INTERRUPTED && gnutls_error_is_fatal(result)) {
            error = BASS_ERROR_FILEOPEN; // untrusted certificate, wrong host, or not TLS at all
            return false;
        }
        if (!wait(gnutls_record_get_direction(session) ? POLLOUT : POLLIN, deadline, interrupt, error))
            return false;
    }
}

bool Connection::writeAll(std::string_view data, Deadline deadline, const Interrupt &interrupt, int &error)
{
    while (!data.empty()) {
        ssize_t sent;
        if (m_tls) {
            sent = gnutls_record_send(static_cast<gnutls_session_t>(m_tls), data.data(), data.size());
            if (sent == GNUTLS_E_AGAIN || sent == GNUTLS_E_INTERRUPTED) {
                if (!wait(POLLOUT, deadline, interrupt, error))
                    return false;
                continue;
            }
            if (sent < 0) {
                error = BASS_ERROR_FILEOPEN;
                return false;
            }
        } else {
            sent = ::send(m_fd, data.data(), data.size(), MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno != EAGAIN && errno != EINTR) {
                    error = errorFromErrno(errno);
                    return false;
                }
                if (!wait(POLLOUT, deadline, interrupt, error))
                    return false;
                continue;
            }
        }
        data.remove_prefix(std::size_t(sent));
    }
    return true;
}

int Connection::read(std::uint8_t *buffer, int size, Deadline deadline, const Interrupt &interrupt,
                     int &error)
{
    for (;;) {
        if (interrupt.triggered()) {
            error = BASS_ERROR_ABORTED;
            return -1;
        }
        if (m_tls) {
            auto session = static_cast<gnutls_session_t>(m_tls);
            const ssize_t got = gnutls_record_recv(session, buffer, std::size_t(size));
            if (got >= 0)
                return int(got);
            if (got == GNUTLS_E_PREMATURE_TERMINATION)
                return 0; // closed without a TLS goodbye: common, and for a stream just an end
            if (got == GNUTLS_E_REHANDSHAKE || got == GNUTLS_E_WARNING_ALERT_RECEIVED)
                continue;
            if (got != GNUTLS_E_AGAIN && got != GNUTLS_E_INTERRUPTED) {
                error = BASS_ERROR_FILEOPEN;
                return -1;
            }
        } else {
            const ssize_t got = ::recv(m_fd, buffer, std::size_t(size), 0);
            if (got >= 0)
                return int(got);
            if (errno != EAGAIN && errno != EINTR) {
                error = errorFromErrno(errno);
                return -1;
            }
        }
        if (!wait(POLLIN, deadline, interrupt, error))
            return -1;
    }
}

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
