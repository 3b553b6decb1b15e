#include "httpserver.h"

#include "ratelimiter.h"

#include <QHttpServerRequest>
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
    GuardedServer(const HttpLimits &limits, std::shared_ptr<ConnectionCounter> counter,
                  std::optional<QSslConfiguration> tls)
        : m_limits(limits)
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
        new ConnectionGuard(socket, m_limits, m_counter);
        if (!m_tls) {
            addPendingConnection(socket);
            return;
        }
        auto *ssl = static_cast<QSslSocket *>(socket);
        ssl->setSslConfiguration(*m_tls);
        auto *deadline = new QTimer(ssl);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, ssl, [ssl] { ssl->abort(); });
        connect(ssl, &QSslSocket::encrypted, this, [this, ssl, deadline] {
            deadline->stop();
            deadline->deleteLater();
            addPendingConnection(ssl);
        });
        // Until it is handed on, this server owns the socket and removes it when it ends.
        auto drop = [ssl] {
            if (!ssl->isEncrypted())
                ssl->deleteLater();
        };
        connect(ssl, &QAbstractSocket::disconnected, this, drop);
        connect(ssl, &QAbstractSocket::errorOccurred, this, [ssl, drop] {
            if (!ssl->isEncrypted()) {
                ssl->abort();
                drop();
            }
        });
        deadline->start(m_limits.requestTimeoutMs);
        ssl->startServerEncryption();
    }

private:
    HttpLimits m_limits;
    std::shared_ptr<ConnectionCounter> m_counter;
    std::optional<QSslConfiguration> m_tls;
};

QByteArray methodName(QHttpServerRequest::Method m)
{
    switch (m) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    case QHttpServerRequest::Method::Trace:
        return "TRACE";
    default:
        return "UNKNOWN";
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Connection guard

QString ConnectionCounter::addressKey(const QHostAddress &address)
{
    return RateLimiter::addressKey(address);
}

ConnectionGuard::ConnectionGuard(QTcpSocket *socket, const HttpLimits &limits,
                                 std::shared_ptr<ConnectionCounter> counter)
    : QObject(socket)
    , m_socket(socket)
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
    connect(m_socket, &QIODevice::readyRead, this, &ConnectionGuard::onReadyRead);
    connect(m_socket, &QIODevice::bytesWritten, this, &ConnectionGuard::touch);
    m_idle.start(m_limits.idleTimeoutMs);
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

void ConnectionGuard::onReadyRead()
{
    touch();
    const qint64 available = m_socket->bytesAvailable();
    if (available <= 0)
        return;
    if (!m_scanner.feed(m_socket->peek(available))) {
        refuse(m_scanner.status());
        return;
    }
    if (m_scanner.midRequest()) {
        if (!m_request.isActive())
            m_request.start(m_limits.requestTimeoutMs);
    } else {
        m_request.stop();
    }
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

quint64 ConnectionGuard::beginRequest(bool *keepAlive, bool *head)
{
    Pending p;
    if (m_scanner.hasRequest()) {
        const HttpRequestScanner::Request r = m_scanner.takeRequest();
        p.keepAlive = r.keepAlive;
        p.head = r.method == "HEAD";
    } else {
        // The parsers disagree about request boundaries: answer and close.
        p.keepAlive = false;
    }
    if (keepAlive)
        *keepAlive = p.keepAlive;
    if (head)
        *head = p.head;
    const quint64 sequence = m_nextSequence++;
    m_pending.insert(sequence, std::move(p));
    return sequence;
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
    : QAbstractHttpServer(parent)
    , m_handler(handler)
    , m_limits(limits)
    , m_counter(std::make_shared<ConnectionCounter>())
{}

quint16 DirectoryHttpServer::listenTls(const QHostAddress &address, quint16 port,
                                       const QSslConfiguration &tls)
{
    auto server = std::make_unique<GuardedServer>(m_limits, m_counter, tls);
    if (!server->listen(address, port)) {
        m_error = server->errorString();
        return 0;
    }
    const quint16 actual = server->serverPort();
    bind(server.release());
    return actual;
}

quint16 DirectoryHttpServer::listenPlain(const QHostAddress &address, quint16 port)
{
    auto server = std::make_unique<GuardedServer>(m_limits, m_counter, std::nullopt);
    if (!server->listen(address, port)) {
        m_error = server->errorString();
        return 0;
    }
    const quint16 actual = server->serverPort();
    bind(server.release());
    return actual;
}

bool DirectoryHttpServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    ConnectionGuard *guard = ConnectionGuard::of(socket);
    if (!guard)
        guard = new ConnectionGuard(socket, m_limits, m_counter);
    bool head = false;
    const quint64 sequence = guard->beginRequest(nullptr, &head);

    HttpRequest r;
    r.method = methodName(request.method());
    const QUrl url = request.url();
    r.path = url.path(QUrl::FullyDecoded);
    r.query = QUrlQuery(url);
    r.remoteAddress = request.remoteAddress();
    r.headers = request.headers();
    if (m_limits.trustedProxies.contains(r.remoteAddress)) {
        // The proxy appends the address it saw; earlier entries come from the client.
        const QList<QByteArray> chain = r.header("X-Forwarded-For").split(',');
        const QHostAddress client(QString::fromLatin1(chain.last().trimmed()));
        if (!client.isNull())
            r.remoteAddress = client;
    }
    r.body = request.body();
    m_handler->handle(r, ReplyHandle(guard, sequence));
    return true;
}

void DirectoryHttpServer::missingHandler(const QHttpServerRequest &, QTcpSocket *socket)
{
    // handleRequest answers everything; this only runs if the parser hands over a request it
    // did not route, and then the connection is closed.
    socket->disconnectFromHost();
}
