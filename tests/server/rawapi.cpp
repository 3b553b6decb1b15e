#include "rawapi.h"

#include "directoryservice.h"
#include "tagscanner.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QSslSocket>
#include <QTimer>
#include <QXmlStreamReader>

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
    return m_root + QStringLiteral("?key=%1&apiv=1.0").arg(m_key);
}

QString PlayerAddresses::account() const
{
    if (m_user.isEmpty() || m_password.isEmpty())
        return m_root + QStringLiteral("?key=%1").arg(m_key);
    return m_root +
           QStringLiteral("?key=%1&user=%2&pass=%3&load_network=1&apiv=1.0&formats=wm,mp3,aac,ac3,ogg")
               .arg(m_key, encode(m_user), encode(m_password));
}

QString PlayerAddresses::search(const QString &text, int page, int limit) const
{
    return account() + QStringLiteral("&limit=%1&page=%2&search=").arg(limit).arg(page) + encode(text);
}

QString PlayerAddresses::regions() const
{
    return account() + QStringLiteral("&dir=geo&regions=1");
}

QString PlayerAddresses::genres() const
{
    return account() + QStringLiteral("&dir=genres&descriptions=1");
}

QString PlayerAddresses::favorites() const
{
    return account() + QStringLiteral("&account=favorites");
}

QString PlayerAddresses::history() const
{
    return account() + QStringLiteral("&account=history");
}

QString PlayerAddresses::removeFavorite(const QString &id) const
{
    return account() + QStringLiteral("&account=favorites&remove=%1").arg(encode(id));
}

QString PlayerAddresses::languages() const
{
    return m_root + QStringLiteral("?key=%1&apiv=1.0&info=languages").arg(m_key);
}

QString PlayerAddresses::softwareVersion() const
{
    return account() + QStringLiteral("&software=version");
}

QString PlayerAddresses::accountInfo() const
{
    return account() + QStringLiteral("&account=info");
}

QString PlayerAddresses::createAccount(const QString &user, const QString &password,
                                       const QString &email) const
{
    return directory() + QStringLiteral("&account=new&user=%1&pass=%2&email=%3")
                             .arg(encode(user), encode(password), encode(email));
}

QString PlayerAddresses::resendValidation(const QString &user, const QString &password) const
{
    return directory() +
           QStringLiteral("&account=resendvalidation&user=%1&pass=%2").arg(encode(user), encode(password));
}

QString PlayerAddresses::signIn(const QString &user, const QString &password) const
{
    return directory() +
           QStringLiteral("&account=authenticate&user=%1&pass=%2").arg(encode(user), encode(password));
}

QString PlayerAddresses::playingNow(const QStringList &ids) const
{
    return account() + QStringLiteral("&playingnow=") + ids.join(QLatin1Char(','));
}

QString PlayerAddresses::songSearch(const QString &stationId, const QString &artist,
                                    const QString &title) const
{
    QString link = account() + QStringLiteral("&search_itunes={1}+-+{2}&sid={3}");
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
        r.errorString = QStringLiteral("time-out");
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
// Strict XML

const XmlNode *XmlNode::child(const QString &n) const
{
    for (const XmlNode &c : children) {
        if (c.name == n)
            return &c;
    }
    return nullptr;
}

QString XmlNode::childText(const QString &n) const
{
    const XmlNode *c = child(n);
    return c ? c->text : QString();
}

QList<const XmlNode *> XmlNode::childrenNamed(const QString &n) const
{
    QList<const XmlNode *> out;
    for (const XmlNode &c : children) {
        if (c.name == n)
            out << &c;
    }
    return out;
}

bool parseStrict(const QByteArray &body, XmlNode *root, QString *error)
{
    QXmlStreamReader r(body);
    QList<XmlNode> stack;
    bool haveRoot = false;
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartElement:
            if (!r.attributes().isEmpty()) {
                *error = QStringLiteral("element <%1> carries attributes").arg(r.name());
                return false;
            }
            if (stack.isEmpty() && haveRoot) {
                *error = QStringLiteral("more than one root element");
                return false;
            }
            if (!stack.isEmpty() && !stack.last().text.isEmpty()) {
                *error = QStringLiteral("<%1> has both text and child elements").arg(stack.last().name);
                return false;
            }
            stack.append(XmlNode{r.name().toString(), QString(), {}});
            break;
        case QXmlStreamReader::Characters:
            if (stack.isEmpty())
                break;
            if (!stack.last().children.isEmpty()) {
                *error = QStringLiteral("text between the child elements of <%1>").arg(stack.last().name);
                return false;
            }
            stack.last().text += r.text();
            break;
        case QXmlStreamReader::EndElement: {
            XmlNode done = stack.takeLast();
            if (stack.isEmpty()) {
                *root = done;
                haveRoot = true;
            } else {
                stack.last().children.append(done);
            }
            break;
        }
        default:
            break;
        }
    }
    if (r.hasError()) {
        *error = r.errorString();
        return false;
    }
    if (!haveRoot) {
        *error = QStringLiteral("no root element");
        return false;
    }
    return true;
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
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    loop.exec();
    socket.abort();
    return out;
}

bool signUpAndActivate(HttpsClient &http, const DirectoryService &service, const QString &user,
                       const QString &password, QString *why)
{
    const PlayerAddresses anonymous(service.root(), DirectoryService::apiKey());
    const qsizetype before = service.mails().size();
    const StatusReply created = readStatus(
        http.get(anonymous.createAccount(user, password, user + QStringLiteral("@example.org"))).body);
    if (created.code != 0) {
        *why = QStringLiteral("create: %1 %2").arg(created.code).arg(created.message);
        return false;
    }
    if (service.mails().size() != before + 1) {
        *why = QStringLiteral("no activation mail");
        return false;
    }
    const int status =
        http.get(service.linkFromLastMail(QStringLiteral("/account/activate")).toString(QUrl::FullyEncoded))
            .status;
    if (status != 200) {
        *why = QStringLiteral("activation page: HTTP %1").arg(status);
        return false;
    }
    return true;
}

} // namespace TunoraTest
