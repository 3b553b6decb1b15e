// Name lookups that a cancel ends at once, TCP connections and TLS on top of them.

#include "http.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <algorithm>
#include <arpa/inet.h>
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

} // namespace

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

} // namespace tunora::audio
