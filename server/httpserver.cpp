#include "httpserver.h"

#include "ratelimiter.h"

#include <QPointer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>

#include <optional>

#include <unistd.h>

// ---------------------------------------------------------------------------------------------
// Requests and replies

QByteArray HttpRequest::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return QByteArray();
}

QString HttpRequest::item(const QString &key) const
{
    const QStringList all = query.allQueryItemValues(key, QUrl::FullyDecoded);
    return all.isEmpty() ? QString() : all.last();
}

QByteArray HttpReply::reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 303:
        return "See Other";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Status";
    }
}

HttpReply HttpReply::error(int status, const QByteArray &text)
{
    HttpReply r;
    r.status = status;
    r.contentType = "text/plain; charset=utf-8";
    r.body = QByteArray::number(status) + ' ' + reasonPhrase(status);
    if (!text.isEmpty())
        r.body += ": " + text;
    r.body += '\n';
    return r;
}

void ReplyHandle::send(HttpReply reply) const
{
    if (m_guard)
        m_guard->deliver(m_sequence, std::move(reply));
}

// ---------------------------------------------------------------------------------------------
// Listening sockets that refuse connections above the cap and put a guard on every socket.

namespace {

// The listening socket with the caps and the guard added. With a TLS configuration it runs the
// handshake itself and hands the socket on only once encrypted: Qt's own TLS server counts
// sockets still in the handshake against its pending-connection limit and, after handshakes that
// fail, stops accepting for good. Here a connection in the handshake is an ordinary guarded
// connection: it counts towards the caps and is dropped on error, close or time-out.
class GuardedServer : public QTcpServer
{
public:
    GuardedServer(HttpHandler *handler, const HttpLimits &limits, std::shared_ptr<ConnectionCounter> counter,
                  std::optional<QSslConfiguration> tls)
        : m_handler(handler)
        , m_limits(limits)
        , m_counter(std::move(counter))
        , m_tls(std::move(tls))
    {}

protected:
    void incomingConnection(qintptr handle) override
    {
        if (m_counter->open >= m_limits.maxConnections) {
            ++m_counter->refused;
            ::close(int(handle));
            return;
        }
        QTcpSocket *socket = m_tls ? new QSslSocket(this) : new QTcpSocket(this);
        if (!socket->setSocketDescriptor(handle)) {
            delete socket;
            ::close(int(handle));
            return;
        }
        const QString address = ConnectionCounter::addressKey(socket->peerAddress());
        if (!m_limits.trustedProxies.contains(socket->peerAddress()) &&
            m_counter->perAddress.value(address) >= m_limits.maxConnectionsPerAddress) {
            ++m_counter->refused;
            socket->abort();
            delete socket;
            return;
        }
        auto *guard = new ConnectionGuard(socket, m_handler, m_limits, m_counter);
        if (!m_tls) {
            guard->start();
            return;
        }
        auto *ssl = static_cast<QSslSocket *>(socket);
        ssl->setSslConfiguration(*m_tls);
        auto *deadline = new QTimer(ssl);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, ssl, [ssl] {
            ssl->abort();
            ssl->deleteLater();
        });
        connect(ssl, &QSslSocket::encrypted, guard, [guard, deadline] {
            deadline->stop();
            deadline->deleteLater();
            guard->start();
        });
        connect(ssl, &QAbstractSocket::errorOccurred, ssl, [ssl] {
            if (!ssl->isEncrypted()) {
                ssl->abort();
                ssl->deleteLater();
            }
        });
        deadline->start(m_limits.requestTimeoutMs);
        ssl->startServerEncryption();
    }

private:
    HttpHandler *m_handler;
    HttpLimits m_limits;
    std::shared_ptr<ConnectionCounter> m_counter;
    std::optional<QSslConfiguration> m_tls;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Connection guard

QString ConnectionCounter::addressKey(const QHostAddress &address)
{
    return RateLimiter::addressKey(address);
}

ConnectionGuard::ConnectionGuard(QTcpSocket *socket, HttpHandler *handler, const HttpLimits &limits,
                                 std::shared_ptr<ConnectionCounter> counter)
    : QObject(socket)
    , m_socket(socket)
    , m_handler(handler)
    , m_limits(limits)
    , m_counter(std::move(counter))
    , m_scanner(limits.scanner)
{
    ++m_counter->open;
    m_address = ConnectionCounter::addressKey(socket->peerAddress());
    ++m_counter->perAddress[m_address];
    m_idle.setSingleShot(true);
    m_request.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        if (m_draining) {
            m_socket->abort();
            return;
        }
        if (m_scanner.midRequest()) {
            refuse(408);
            return;
        }
        // A request still being answered keeps its connection.
        if (!m_pending.isEmpty()) {
            m_idle.start(m_limits.idleTimeoutMs);
            return;
        }
        m_socket->disconnectFromHost();
    });
    connect(&m_request, &QTimer::timeout, this, [this] { refuse(408); });
    connect(m_socket, &QIODevice::bytesWritten, this, &ConnectionGuard::touch);
    // The socket goes with its connection, also when it ends in the TLS handshake.
    connect(m_socket, &QAbstractSocket::disconnected, m_socket, &QObject::deleteLater);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this] {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            m_socket->deleteLater();
    });
    // Pipelined requests beyond what is handled at once wait in the socket, so that the
    // client, not this process, holds them.
    m_socket->setReadBufferSize(256 * 1024);
    m_idle.start(m_limits.idleTimeoutMs);
}

void ConnectionGuard::start()
{
    if (m_started)
        return;
    m_started = true;
    connect(m_socket, &QIODevice::readyRead, this, &ConnectionGuard::onReadyRead);
    onReadyRead();
}

ConnectionGuard::~ConnectionGuard()
{
    --m_counter->open;
    auto it = m_counter->perAddress.find(m_address);
    if (it != m_counter->perAddress.end() && --*it <= 0)
        m_counter->perAddress.erase(it);
}

ConnectionGuard *ConnectionGuard::of(QTcpSocket *socket)
{
    return socket ? socket->findChild<ConnectionGuard *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void ConnectionGuard::touch()
{
    if (!m_draining)
        m_idle.start(m_limits.idleTimeoutMs);
}

namespace {

// Requests of one connection handled at the same time; later pipelined ones wait.
constexpr int MaxInFlight = 16;

} // namespace

void ConnectionGuard::onReadyRead()
{
    touch();
    while (!m_draining && !m_lastRequest && m_scanner.pendingCount() < MaxInFlight &&
           m_socket->bytesAvailable() > 0) {
        if (!m_scanner.feed(m_socket->read(qMin<qint64>(m_socket->bytesAvailable(), 64 * 1024)))) {
            // Requests complete before the broken one are still answered, in order.
            dispatch();
            refuse(m_scanner.status());
            return;
        }
    }
    if (m_scanner.midRequest()) {
        if (!m_request.isActive())
            m_request.start(m_limits.requestTimeoutMs);
    } else {
        m_request.stop();
    }
    dispatch();
}

void ConnectionGuard::dispatch()
{
    if (m_dispatching)
        return;
    m_dispatching = true;
    while (!m_closing && !m_lastRequest && m_scanner.hasRequest() && m_pending.size() < MaxInFlight) {
        HttpRequestScanner::Request r = m_scanner.takeRequest();
        Pending p;
        p.keepAlive = r.keepAlive;
        p.head = r.method == "HEAD";
        m_lastRequest = !r.keepAlive;
        const quint64 sequence = m_nextSequence++;
        m_pending.insert(sequence, std::move(p));

        HttpRequest request;
        request.method = r.method;
        // The target is a checked origin form ("/path?query" in printable ASCII).
        const QUrl url = QUrl::fromEncoded("http://localhost" + r.target);
        request.path = url.path(QUrl::FullyDecoded);
        request.query = QUrlQuery(url);
        request.remoteAddress = m_socket->peerAddress();
        request.headers = std::move(r.headers);
        request.body = std::move(r.body);
        if (m_limits.trustedProxies.contains(request.remoteAddress)) {
            // The proxy appends the address it saw; earlier entries come from the client.
            const QList<QByteArray> chain = request.header("X-Forwarded-For").split(',');
            const QHostAddress client(QString::fromLatin1(chain.last().trimmed()));
            if (!client.isNull())
                request.remoteAddress = client;
        }
        QPointer<ConnectionGuard> alive(this);
        m_handler->handle(request, ReplyHandle(this, sequence));
        if (!alive)
            return;
    }
    m_dispatching = false;
    resume();
}

void ConnectionGuard::resume()
{
    if (m_closing || m_draining || !m_started || m_lastRequest || m_pending.size() >= MaxInFlight)
        return;
    if (m_scanner.hasRequest() || m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &ConnectionGuard::onReadyRead, Qt::QueuedConnection);
}

void ConnectionGuard::refuse(int status)
{
    if (m_draining || m_closing)
        return;
    m_request.stop();
    // Take the socket away from the HTTP parser (whose handler would otherwise run right after
    // this one) and read the rest of the input into the void.
    QObject::disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
    if (m_socket->isTransactionStarted())
        m_socket->commitTransaction();
    m_draining = true;
    m_drained = 0;
    connect(m_socket, &QIODevice::readyRead, this, &ConnectionGuard::onDrain);
    m_idle.start(m_limits.drainTimeoutMs);

    HttpReply reply = HttpReply::error(status, QByteArray());
    reply.close = true;
    Pending p;
    p.keepAlive = false;
    p.ready = true;
    p.reply = std::move(reply);
    m_pending.insert(m_nextSequence++, std::move(p));
    flush();
    onDrain();
}

void ConnectionGuard::onDrain()
{
    m_drained += m_socket->readAll().size();
    if (m_drained > m_limits.drainBytes)
        m_socket->abort();
}

void ConnectionGuard::deliver(quint64 sequence, HttpReply reply)
{
    auto it = m_pending.find(sequence);
    if (it == m_pending.end() || it->ready)
        return;
    it->reply = std::move(reply);
    it->ready = true;
    flush();
}

void ConnectionGuard::flush()
{
    while (!m_closing) {
        auto it = m_pending.find(m_nextToWrite);
        if (it == m_pending.end() || !it->ready)
            break;
        const Pending p = std::move(*it);
        m_pending.erase(it);
        ++m_nextToWrite;

        const bool close = !p.keepAlive || p.reply.close;
        QByteArray out;
        out.reserve(256 + p.reply.body.size());
        out += "HTTP/1.1 " + QByteArray::number(p.reply.status) + ' ' +
               HttpReply::reasonPhrase(p.reply.status) + "\r\n";
        if (!p.reply.contentType.isEmpty())
            out += "Content-Type: " + p.reply.contentType + "\r\n";
        out += "Content-Length: " + QByteArray::number(p.reply.body.size()) + "\r\n";
        out += close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
        out += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
        for (const auto &h : p.reply.headers)
            out += h.first + ": " + h.second + "\r\n";
        out += "\r\n";
        if (!p.head)
            out += p.reply.body;
        m_socket->write(out);
        touch();
        if (close) {
            m_closing = true;
            closeWhenWritten();
        }
    }
    // Room again for requests that waited.
    if (!m_dispatching)
        resume();
}

void ConnectionGuard::closeWhenWritten()
{
    // While draining, the connection stays until the client closes or the drain timer ends,
    // so that the reply is not lost to a reset.
    if (m_draining)
        return;
    // Closes once everything written so far has left.
    m_socket->disconnectFromHost();
}

// ---------------------------------------------------------------------------------------------
// Server

DirectoryHttpServer::DirectoryHttpServer(HttpHandler *handler, const HttpLimits &limits, QObject *parent)
    : QObject(parent)
    , m_handler(handler)
    , m_limits(limits)
    , m_counter(std::make_shared<ConnectionCounter>())
{}

DirectoryHttpServer::~DirectoryHttpServer() = default;

quint16 DirectoryHttpServer::listenTls(const QHostAddress &address, quint16 port,
                                       const QSslConfiguration &tls)
{
    auto *server = new GuardedServer(m_handler, m_limits, m_counter, tls);
    server->setParent(this);
    if (!server->listen(address, port)) {
        m_error = server->errorString();
        delete server;
        return 0;
    }
    return server->serverPort();
}

quint16 DirectoryHttpServer::listenPlain(const QHostAddress &address, quint16 port)
{
    auto *server = new GuardedServer(m_handler, m_limits, m_counter, std::nullopt);
    server->setParent(this);
    if (!server->listen(address, port)) {
        m_error = server->errorString();
        delete server;
        return 0;
    }
    return server->serverPort();
}
