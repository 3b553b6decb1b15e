#include "rawapi.h"

#include "appsettings.h"
#include "directoryservice.h"
#include "tagscanner.h"
#include "tunoraapi.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSslSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace TunoraTest {

TunoraAPI &player(const DirectoryService &service, const QString &user, const QString &password)
{
    // Owned by the application, so that it goes before the event loop's objects do.
    static QPointer<TunoraAPI> api;
    if (!api)
        api = new TunoraAPI(QCoreApplication::instance());
    AppSettings &settings = AppSettings::instance();
    settings.setEndpoint(AppSettings::DirectoryRoot, service.root().toString());
    settings.setCredentials(user, password);
    api->setCredentials(user, password);
    return *api;
}

QNetworkRequest HttpsClient::request(const QString &address) const
{
    QNetworkRequest request(QUrl::fromEncoded(address.toUtf8()));
    request.setSslConfiguration(m_tls);
    return request;
}

HttpResult HttpsClient::wait(QNetworkReply *reply, const QDeadlineTimer &deadline)
{
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(qMax<qint64>(1, deadline.remainingTime()), &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    HttpResult r;
    if (reply->isFinished())
        r = {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
    else
        reply->abort();
    delete reply;
    return r;
}

QList<HttpResult> HttpsClient::getAll(const QStringList &addresses,
                                      const QList<QPair<QByteArray, QByteArray>> &headers)
{
    QList<QNetworkReply *> replies;
    for (const QString &address : addresses) {
        QNetworkRequest r = request(address);
        for (const auto &h : headers)
            r.setRawHeader(h.first, h.second);
        replies << m_manager.get(r);
    }
    const QDeadlineTimer deadline(120000);
    QList<HttpResult> out;
    for (QNetworkReply *reply : std::as_const(replies))
        out << wait(reply, deadline);
    return out;
}

HttpResult HttpsClient::post(const QString &address, const QByteArray &body, const QByteArray &contentType)
{
    QNetworkRequest r = request(address);
    r.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    return wait(m_manager.post(r, body), QDeadlineTimer(60000));
}

quint32 resultsTotal(const QByteArray &body)
{
    return BASS::TagScanner(QString::fromUtf8(body)).find(u"results_total").toUInt();
}

StatusReply readStatus(const QByteArray &body)
{
    BASS::BaseRadioXmlParser parser;
    StatusReply s{-1, {}, {}};
    parser.addData(body);
    parser.endOfData();
    parser.walk([&](const BASS::BaseRadioXmlParser &p) { BASS::StreamReaders::readStatus(p, s); });
    return s;
}

namespace {

// Splits complete responses off the front of the buffer.
void takeResponses(QByteArray &buffer, RawExchange &out, const QList<int> &headReplies)
{
    for (;;) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer.left(end);
        qsizetype length = 0;
        // A reply to HEAD has the headers of a GET reply and no body.
        const bool toHead = headReplies.contains(int(out.statuses.size()));
        for (const QByteArray &line : head.split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = toHead ? 0 : line.mid(15).trimmed().toLongLong();
        }
        if (buffer.size() < end + 4 + length)
            return;
        out.statuses << head.mid(9, 3).toInt();
        out.bodies << buffer.mid(end + 4, length);
        buffer.remove(0, end + 4 + length);
    }
}

} // namespace

RawExchange rawExchange(quint16 port, const QSslConfiguration &tls, const QByteArray &request, int responses,
                        int timeoutMs, const QList<int> &headReplies)
{
    RawExchange out;
    QSslSocket socket;
    socket.setSslConfiguration(tls);
    QEventLoop loop;
    QByteArray buffer;
    QObject::connect(&socket, &QSslSocket::encrypted, &loop, [&] {
        out.connected = true;
        socket.write(request);
    });
    QObject::connect(&socket, &QIODevice::readyRead, &loop, [&] {
        const QByteArray data = socket.readAll();
        out.raw += data;
        buffer += data;
        takeResponses(buffer, out, headReplies);
        if (out.statuses.size() >= responses)
            loop.quit();
    });
    QObject::connect(&socket, &QAbstractSocket::disconnected, &loop, [&] {
        out.closedByServer = true;
        loop.quit();
    });
    QObject::connect(&socket, &QAbstractSocket::errorOccurred, &loop, [&](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::RemoteHostClosedError)
            out.closedByServer = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    socket.connectToHostEncrypted(u"127.0.0.1"_s, port);
    loop.exec();
    socket.abort();
    return out;
}

bool signUpAndActivate(HttpsClient &http, const DirectoryService &service, const QString &user,
                       const QString &password, QString *why)
{
    const qsizetype before = service.mails().size();
    const StatusReply created = readStatus(
        http.get(player(service).createAccountAddress(user, password, user + u"@example.org"_s)).body);
    if (created.status != 0) {
        *why = u"create: %1 %2"_s.arg(created.status).arg(created.message);
        return false;
    }
    if (service.mails().size() != before + 1) {
        *why = u"no activation mail"_s;
        return false;
    }
    const int status =
        http.get(service.linkFromLastMail(u"/account/activate"_s).toString(QUrl::FullyEncoded)).status;
    if (status != 200) {
        *why = u"activation page: HTTP %1"_s.arg(status);
        return false;
    }
    return true;
}

ScriptedStations::ScriptedStations(QHash<QByteArray, ScriptedServer::Script> scripts)
    : m_scripts(std::move(scripts))
{
    m_clock.start();
    m_server.start([this](int, const QByteArray &request) {
        const QByteArray path = request.split(' ').value(1);
        {
            QMutexLocker locked(&m_lock);
            m_visits[path] << m_clock.elapsed();
        }
        if (!request.contains("Icy-MetaData: 1") || !m_scripts.contains(path))
            return ScriptedServer::Script{ScriptedServer::hold()};
        ScriptedServer::Script script = m_scripts.value(path);
        for (ScriptedServer::Step &step : script)
            step.data.replace("{root}", m_server.url(""));
        return script;
    });
}

QList<qint64> ScriptedStations::visits(const QByteArray &path) const
{
    QMutexLocker locked(&m_lock);
    return m_visits.value(path);
}

QByteArray icyReply(const QByteArray &title)
{
    const QByteArray text = "StreamTitle='" + title + "';";
    const qsizetype padded = (text.size() + 15) / 16 * 16;
    return "ICY 200 OK\r\nicy-name: scripted\r\nicy-metaint: 64\r\n\r\n" + QByteArray(64, 'x') +
           char(padded / 16) + text + QByteArray(padded - text.size(), '\0') + QByteArray(64, 'x');
}

QByteArray catalogueJson(const QList<std::pair<QString, QString>> &stations)
{
    QJsonObject radios;
    for (const auto &[name, url] : stations)
        radios.insert(u"k%1"_s.arg(radios.size()), QJsonObject{{u"Name"_s, name},
                                                               {u"StreamUri"_s, url},
                                                               {u"Country"_s, u"Germany"_s},
                                                               {u"Genre"_s, QJsonArray{u"Pop"_s}},
                                                               {u"Codec"_s, u"MP3"_s},
                                                               {u"Bitrate"_s, 128}});
    return QJsonDocument(QJsonObject{{u"webradios"_s, radios}}).toJson();
}

} // namespace TunoraTest
