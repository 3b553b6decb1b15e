#include "rawapi.h"

#include "directoryservice.h"
#include "tagscanner.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QSslSocket>
#include <QTimer>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace TunoraTest {

// ---------------------------------------------------------------------------------------------
// Addresses

PlayerAddresses::PlayerAddresses(const QUrl &root, const QString &key)
    : m_root(root.toString())
    , m_key(key)
{
    if (!m_root.endsWith(QLatin1Char('/')))
        m_root += QLatin1Char('/');
}

void PlayerAddresses::setCredentials(const QString &user, const QString &password)
{
    m_user = user;
    m_password = password;
}

QString PlayerAddresses::encode(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value, "-._~"));
}

QString PlayerAddresses::directory() const
{
    return m_root + u"?key=%1&apiv=1.0"_s.arg(m_key);
}

QString PlayerAddresses::account() const
{
    if (m_user.isEmpty() || m_password.isEmpty())
        return m_root + u"?key=%1"_s.arg(m_key);
    return m_root + u"?key=%1&user=%2&pass=%3&load_network=1&apiv=1.0&formats=wm,mp3,aac,ac3,ogg"_s.arg(
                        m_key, encode(m_user), encode(m_password));
}

QString PlayerAddresses::search(const QString &text, int page, int limit) const
{
    return account() + u"&limit=%1&page=%2&search="_s.arg(limit).arg(page) + encode(text);
}

QString PlayerAddresses::favorites() const
{
    return account() + u"&account=favorites"_s;
}

QString PlayerAddresses::languages() const
{
    return m_root + u"?key=%1&apiv=1.0&info=languages"_s.arg(m_key);
}

QString PlayerAddresses::softwareVersion() const
{
    return account() + u"&software=version"_s;
}

QString PlayerAddresses::createAccount(const QString &user, const QString &password,
                                       const QString &email) const
{
    return directory() +
           u"&account=new&user=%1&pass=%2&email=%3"_s.arg(encode(user), encode(password), encode(email));
}

QString PlayerAddresses::resendValidation(const QString &user, const QString &password) const
{
    return directory() + u"&account=resendvalidation&user=%1&pass=%2"_s.arg(encode(user), encode(password));
}

QString PlayerAddresses::signIn(const QString &user, const QString &password) const
{
    return directory() + u"&account=authenticate&user=%1&pass=%2"_s.arg(encode(user), encode(password));
}

QString PlayerAddresses::songSearch(const QString &stationId, const QString &artist,
                                    const QString &title) const
{
    QString link = account() + u"&search_itunes={1}+-+{2}&sid={3}"_s;
    link.replace(QLatin1String("{3}"), stationId);
    // The cover lookup puts blanks as "+" and drops apostrophes.
    auto fill = [](QString s) {
        return s.remove(QLatin1Char('\'')).replace(QLatin1Char(' '), QLatin1Char('+'));
    };
    link.replace(QLatin1String("{1}"), fill(artist));
    link.replace(QLatin1String("{2}"), fill(title));
    return link;
}

// ---------------------------------------------------------------------------------------------
// HTTPS

HttpsClient::HttpsClient(const QSslConfiguration &tls)
    : m_manager(new QNetworkAccessManager)
    , m_tls(tls)
{}

HttpsClient::~HttpsClient()
{
    delete m_manager;
}

HttpResult HttpsClient::run(QNetworkReply *reply, int timeoutMs)
{
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    HttpResult r;
    if (!reply->isFinished()) {
        reply->abort();
        r.error = QNetworkReply::TimeoutError;
        r.errorString = u"time-out"_s;
    } else {
        r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        r.body = reply->readAll();
        r.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        r.error = reply->error();
        r.errorString = reply->errorString();
    }
    delete reply;
    return r;
}

QList<HttpResult> HttpsClient::getAll(const QStringList &addresses,
                                      const QList<QPair<QByteArray, QByteArray>> &headers, int timeoutMs)
{
    QList<QNetworkReply *> replies;
    for (const QString &address : addresses) {
        QNetworkRequest request(QUrl::fromEncoded(address.toUtf8()));
        request.setSslConfiguration(m_tls);
        for (const auto &h : headers)
            request.setRawHeader(h.first, h.second);
        replies << m_manager->get(request);
    }
    QList<HttpResult> out;
    QElapsedTimer clock;
    clock.start();
    for (QNetworkReply *reply : std::as_const(replies))
        out << run(reply, int(qMax<qint64>(1, timeoutMs - clock.elapsed())));
    return out;
}

HttpResult HttpsClient::get(const QString &address, int timeoutMs)
{
    QNetworkRequest request(QUrl::fromEncoded(address.toUtf8()));
    request.setSslConfiguration(m_tls);
    return run(m_manager->get(request), timeoutMs);
}

HttpResult HttpsClient::post(const QString &address, const QByteArray &body, const QByteArray &contentType,
                             int timeoutMs)
{
    QNetworkRequest request(QUrl::fromEncoded(address.toUtf8()));
    request.setSslConfiguration(m_tls);
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    return run(m_manager->post(request, body), timeoutMs);
}

// ---------------------------------------------------------------------------------------------
// The player's readers

quint32 resultsTotal(const QByteArray &body)
{
    return BASS::TagScanner(QString::fromUtf8(body)).find(u"results_total").toUInt();
}

StatusReply readStatus(const QByteArray &body)
{
    StatusReply s;
    QXmlStreamReader r(body);
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (r.name() == QLatin1String("code"))
            s.code = r.readElementText().toInt();
        else if (r.name() == QLatin1String("message") || r.name() == QLatin1String("ok"))
            s.message = r.readElementText();
    }
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
    const PlayerAddresses anonymous(service.root(), DirectoryService::apiKey());
    const qsizetype before = service.mails().size();
    const StatusReply created =
        readStatus(http.get(anonymous.createAccount(user, password, user + u"@example.org"_s)).body);
    if (created.code != 0) {
        *why = u"create: %1 %2"_s.arg(created.code).arg(created.message);
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

} // namespace TunoraTest
