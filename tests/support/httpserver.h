#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QUrlQuery>

#include <functional>

class QTcpServer;
class QTcpSocket;

namespace TunoraTest {

// One request as the test server received it.
struct HttpRequest
{
    QByteArray method;
    QByteArray target; // path and query as sent
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // Value of a header (name compared case-insensitively), empty when absent.
    QByteArray header(const QByteArray &name) const;
    QString path() const;
    QUrlQuery query() const;
};

// What the server answers, and how: all at once, or slowly in pieces, cut short, or held open.
struct HttpResponse
{
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    int chunkSize = 0;    // > 0: the body is written in pieces of this size ...
    int chunkDelayMs = 0; // ... with this pause between pieces
    int cutAfter = -1;    // >= 0: the connection is closed after this many body bytes
    bool hold = false;    // after the body (or cutAfter bytes) the connection stays open, unfinished

    HttpResponse &header(const QByteArray &name, const QByteArray &value)
    {
        headers.append({name, value});
        return *this;
    }
    static HttpResponse ok(const QByteArray &body, const QByteArray &contentType = "text/xml; charset=utf-8");
    static HttpResponse redirect(const QByteArray &location, int status = 302);
    static HttpResponse error(int status, const QByteArray &body = QByteArray());
};

// A small scripted HTTP/1.1 server on 127.0.0.1 (plain or TLS), run by the test's own event loop.
// Answers come from fixed responses per path or from a handler; every request is recorded.
class HttpServer : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;

    explicit HttpServer(QObject *parent = nullptr);
    ~HttpServer() override;

    // Plain HTTP on a free port.
    bool listen();
    // HTTPS with this server certificate and key on a free port.
    bool listenTls(const QSslCertificate &certificate, const QSslKey &key);

    quint16 port() const;
    // "http://127.0.0.1:PORT" or "https://..." without a trailing slash.
    QString baseUrl() const;
    // baseUrl() + pathAndQuery (which starts with "/").
    QString url(const QString &pathAndQuery) const { return baseUrl() + pathAndQuery; }

    // Handler for requests without a fixed response; the default answers 404.
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Fixed response for a path (without query).
    void setResponse(const QString &path, const HttpResponse &response) { m_fixed.insert(path, response); }

    QList<HttpRequest> requests() const { return m_requests; }
    int requestCount() const { return int(m_requests.size()); }
    HttpRequest lastRequest() const { return m_requests.value(m_requests.size() - 1); }
    void clearRequests() { m_requests.clear(); }
    // Closes every open connection, held ones included.
    void closeAllConnections();

private:
    struct Connection
    {
        QPointer<QTcpSocket> socket;
        QByteArray buffer;
        bool busy = false;
    };

    bool listen(QTcpServer *server, bool tls);
    void accept();
    void readFrom(Connection *connection);
    void respond(Connection *connection, const HttpRequest &request, const HttpResponse &response);
    void writeBody(Connection *connection, QByteArray body, HttpResponse response, bool close);

    QTcpServer *m_server = nullptr;
    bool m_tls = false;
    Handler m_handler;
    QHash<QString, HttpResponse> m_fixed;
    QList<HttpRequest> m_requests;
    QList<Connection *> m_connections;
    QList<Connection *> m_retired;
};

} // namespace TunoraTest
