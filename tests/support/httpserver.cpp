#include "httpserver.h"
#include "net.h"

#include <QTcpServer>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace TunoraTest {

QByteArray HttpRequest::header(const QByteArray &name) const
{
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return QByteArray();
}

QString HttpRequest::path() const
{
    const qsizetype q = target.indexOf('?');
    return QString::fromUtf8(q < 0 ? target : target.left(q));
}

QUrlQuery HttpRequest::query() const
{
    const qsizetype q = target.indexOf('?');
    return q < 0 ? QUrlQuery() : QUrlQuery(QString::fromUtf8(target.mid(q + 1)));
}

HttpResponse HttpResponse::ok(const QByteArray &body, const QByteArray &contentType)
{
    HttpResponse r;
    r.body = body;
    return r.header("Content-Type", contentType);
}

HttpResponse HttpResponse::redirect(const QByteArray &location, int status)
{
    HttpResponse r;
    r.status = status;
    return r.header("Location", location);
}

HttpResponse HttpResponse::error(int status, const QByteArray &body)
{
    HttpResponse r = ok(body, "text/html");
    r.status = status;
    return r;
}

namespace {

QByteArray reasonPhrase(int status)
{
    static const QList<QByteArray> phrases =
        QByteArray(
            "200 OK|206 Partial Content|301 Moved Permanently|302 Found|303 See Other|307 Temporary Redirect|"
            "400 Bad Request|401 Unauthorized|403 Forbidden|404 Not Found|416 Range Not Satisfiable|"
            "500 Internal Server Error")
            .split('|');
    for (const QByteArray &phrase : phrases)
        if (phrase.left(3).toInt() == status)
            return phrase.mid(4);
    return "Status";
}

} // namespace

HttpServer::HttpServer(QObject *parent)
    : QObject(parent)
{}

HttpServer::~HttpServer()
{
    closeAllConnections();
}

bool HttpServer::listen(QTcpServer *server, bool tls)
{
    m_server = server;
    m_tls = tls;
    connect(server, &QTcpServer::pendingConnectionAvailable, this, &HttpServer::accept);
    return server->listen(QHostAddress::LocalHost, 0);
}

bool HttpServer::listen()
{
    return listen(new QTcpServer(this), false);
}

// Connections reach accept() once their handshake is done.
bool HttpServer::listenTls(const QSslCertificate &certificate, const QSslKey &key)
{
    return listen(newTlsServer(certificate, key, this), true);
}

quint16 HttpServer::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

QString HttpServer::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(port());
}

void HttpServer::closeAllConnections()
{
    const auto connections = m_connections;
    m_connections.clear();
    for (Connection *c : connections) {
        if (c->socket) {
            c->socket->disconnect(this);
            c->socket->abort();
            c->socket->deleteLater();
        }
        delete c;
    }
    qDeleteAll(std::exchange(m_retired, {}));
}

void HttpServer::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        auto *connection = new Connection;
        connection->socket = socket;
        m_connections.append(connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, connection] { readFrom(connection); });
        // Freed from the event loop: a socket may report its end from inside one of our writes.
        connect(socket, &QTcpSocket::disconnected, this, [this, connection] {
            if (!m_connections.removeOne(connection))
                return;
            if (connection->socket)
                connection->socket->deleteLater();
            // Freed on the next turn, or by the destructor when the loop never turns again.
            m_retired.append(connection);
            QTimer::singleShot(0, this, [this, connection] {
                if (m_retired.removeOne(connection))
                    delete connection;
            });
        });
        readFrom(connection); // what came with the handshake
    }
}

void HttpServer::readFrom(Connection *connection)
{
    if (!connection->socket)
        return;
    connection->buffer += connection->socket->readAll();
    while (!connection->busy) {
        const qsizetype headerEnd = connection->buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QList<QByteArray> lines = connection->buffer.left(headerEnd).split('\n');
        HttpRequest request;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        const qsizetype length = request.header("Content-Length").toLongLong();
        if (connection->buffer.size() < headerEnd + 4 + length)
            return;
        request.body = connection->buffer.mid(headerEnd + 4, length);
        connection->buffer.remove(0, headerEnd + 4 + length);

        m_requests.append(request);
        HttpResponse response;
        const auto fixed = m_fixed.constFind(request.path());
        if (fixed != m_fixed.constEnd())
            response = fixed.value();
        else if (m_handler)
            response = m_handler(request);
        else
            response = HttpResponse::error(404, "not found");
        respond(connection, request, response);
    }
}

void HttpServer::respond(Connection *connection, const HttpRequest &request, const HttpResponse &response)
{
    const bool close =
        request.header("Connection").compare("close", Qt::CaseInsensitive) == 0 || response.cutAfter >= 0;
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    for (const auto &h : response.headers)
        head += h.first + ": " + h.second + "\r\n";
    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    if (close)
        head += "Connection: close\r\n";
    head += "\r\n";
    connection->busy = true;
    connection->socket->write(head);
    QByteArray body = request.method == "HEAD" ? QByteArray() : response.body;
    if (response.cutAfter >= 0)
        body.truncate(response.cutAfter);
    writeBody(connection, body, response, close);
}

void HttpServer::writeBody(Connection *connection, QByteArray body, HttpResponse response, bool close)
{
    if (!m_connections.contains(connection) || !connection->socket)
        return;
    if (response.chunkSize <= 0 || body.size() <= response.chunkSize) {
        connection->socket->write(body);
        if (!m_connections.contains(connection) || !connection->socket)
            return;
        if (close && !response.hold)
            connection->socket->disconnectFromHost();
        if (response.hold)
            return;
        connection->busy = false;
        if (!close && !connection->buffer.isEmpty())
            readFrom(connection);
        return;
    }
    connection->socket->write(body.left(response.chunkSize));
    if (!m_connections.contains(connection))
        return;
    body.remove(0, response.chunkSize);
    QTimer::singleShot(response.chunkDelayMs, this, [this, connection, body, response, close] {
        writeBody(connection, body, response, close);
    });
}

} // namespace TunoraTest
