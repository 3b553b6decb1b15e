#pragma once

#include "httpscanner.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QPair>
#include <QPointer>
#include <QQueue>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <memory>

class QTcpServer;
class QTcpSocket;
class ConnectionGuard;
class HttpHandler;

// One request as the handler sees it: copied out of the HTTP server's request object, so that a
// handler may answer later, after that object is gone.
struct HttpRequest
{
    QByteArray method;
    QString path;
    QUrlQuery query;
    QHostAddress remoteAddress;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray header(const QByteArray &name) const;
    // The value of a query item, fully decoded; the last one wins when the key repeats.
    QString item(const QString &key) const;
    bool has(const QString &key) const { return query.hasQueryItem(key); }
};

struct HttpReply
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    // Close the connection after this reply.
    bool close = false;

    static HttpReply xml(const QByteArray &body) { return {200, "text/xml; charset=utf-8", body, {}, false}; }
    static HttpReply html(const QByteArray &body, int status = 200)
    {
        return {status, "text/html; charset=utf-8", body, {}, false};
    }
    static HttpReply json(const QByteArray &body)
    {
        return {200, "application/json; charset=utf-8", body, {}, false};
    }
    // A bare HTTP error with a short plain-text body.
    static HttpReply error(int status, const QByteArray &text);
    static QByteArray reasonPhrase(int status);
};

// Where a handler sends its answer. Cheap to copy; answering after the client went away does
// nothing. Each request must be answered exactly once; replies leave in request order.
class ReplyHandle
{
public:
    ReplyHandle() = default;
    ReplyHandle(ConnectionGuard *guard, quint64 sequence)
        : m_guard(guard)
        , m_sequence(sequence)
    {}
    void send(HttpReply reply) const;
    bool connected() const { return !m_guard.isNull(); }

private:
    QPointer<ConnectionGuard> m_guard;
    quint64 m_sequence = 0;
};

// The one-method interface the server hands each well-formed request to.
class HttpHandler
{
public:
    virtual ~HttpHandler() = default;
    virtual void handle(const HttpRequest &request, const ReplyHandle &reply) = 0;
};

struct HttpLimits
{
    HttpRequestScanner::Limits scanner;
    int maxConnections = 512;
    // Open connections from one client address (IPv6 per /64), so that one client cannot take
    // every connection.
    int maxConnectionsPerAddress = 64;
    // Reverse proxies in front of the service: their connections are not capped per address,
    // and the last address of their X-Forwarded-For header is the client's.
    QList<QHostAddress> trustedProxies;
    int idleTimeoutMs = 30000;
    // Time allowed from the first byte of a request to the end of its header block and body.
    int requestTimeoutMs = 10000;
    // Bytes and time spent reading and discarding input after an error reply, so that the
    // client sees the reply instead of a reset.
    qint64 drainBytes = 32 * 1024 * 1024;
    int drainTimeoutMs = 5000;
};

// Shared count of open connections of one server.
struct ConnectionCounter
{
    int open = 0;
    int refused = 0;
    QHash<QString, int> perAddress;

    static QString addressKey(const QHostAddress &address);
};

// Sits on every accepted socket: reads it through the request scanner, hands each complete
// request to the handler (pipelined ones too, a bounded number at a time), answers broken or
// oversized requests itself, times out idle and slow connections, and writes the handler's
// replies in request order.
class ConnectionGuard : public QObject
{
    Q_OBJECT
public:
    ConnectionGuard(QTcpSocket *socket, HttpHandler *handler, const HttpLimits &limits,
                    std::shared_ptr<ConnectionCounter> counter);
    ~ConnectionGuard() override;

    static ConnectionGuard *of(QTcpSocket *socket);

    void deliver(quint64 sequence, HttpReply reply);
    // Starts reading (once the connection is ready, after the TLS handshake).
    void start();

private:
    void onReadyRead();
    void dispatch();
    // Continues with requests that waited for room, from the event loop.
    void resume();
    void onDrain();
    void refuse(int status);
    void flush();
    void closeWhenWritten();
    void touch();

    QTcpSocket *m_socket;
    HttpHandler *m_handler;
    QString m_address;
    HttpLimits m_limits;
    std::shared_ptr<ConnectionCounter> m_counter;
    HttpRequestScanner m_scanner;
    QTimer m_idle;
    QTimer m_request;
    struct Pending
    {
        bool keepAlive = true;
        bool head = false;
        bool ready = false;
        HttpReply reply;
    };
    QMap<quint64, Pending> m_pending;
    quint64 m_nextSequence = 1;
    quint64 m_nextToWrite = 1;
    bool m_closing = false;
    // A request asked to close the connection: later ones are not handled.
    bool m_lastRequest = false;
    bool m_dispatching = false;
    bool m_started = false;
    bool m_draining = false;
    qint64 m_drained = 0;
};

// The HTTP(S) front of the directory service: TLS, connection caps, time-outs and request bounds,
// then one HttpHandler for everything.
class DirectoryHttpServer : public QObject
{
    Q_OBJECT
public:
    DirectoryHttpServer(HttpHandler *handler, const HttpLimits &limits, QObject *parent = nullptr);
    ~DirectoryHttpServer() override;

    // Listens with TLS; returns the port (0 on failure).
    quint16 listenTls(const QHostAddress &address, quint16 port, const QSslConfiguration &tls);
    quint16 listenPlain(const QHostAddress &address, quint16 port);
    QString errorString() const { return m_error; }
    int openConnections() const { return m_counter->open; }
    int refusedConnections() const { return m_counter->refused; }

private:
    HttpHandler *m_handler;
    HttpLimits m_limits;
    std::shared_ptr<ConnectionCounter> m_counter;
    QString m_error;
};
