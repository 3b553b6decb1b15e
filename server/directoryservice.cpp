#include "directoryservice.h"
#include "website.h"

#include "covers.h"
#include "database.h"
#include "mailer.h"
#include "passwordhash.h"
#include "poller.h"
#include "stationstore.h"
#include "textnorm.h"
#include "xmlwriter.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSslCertificate>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslKey>
#include <QXmlStreamWriter>

namespace {

constexpr int MaxQueryItems = 64;
constexpr int MaxValueLength = 4096;
constexpr int MaxSearchLength = 256;
constexpr int MaxPlayingNowIds = 200;
constexpr int DefaultPageSize = 25;
constexpr int MaxPageSize = 100;
constexpr int MaxPage = 100000;

bool parseNumber(const QString &text, qint64 min, qint64 max, qint64 *out)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    const qint64 n = text.toLongLong();
    if (n < min || n > max)
        return false;
    *out = n;
    return true;
}

HttpReply htmlPage(const QString &title, const QString &bodyHtml, int status = 200)
{
    const QString page =
        QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title><style>"
                       "body{font-family:sans-serif;background:#55A3B7;color:#fff;margin:3em}"
                       "input{font-size:1em;margin:.3em 0}</style></head><body><h1>%1</h1>%2"
                       "</body></html>")
            .arg(title.toHtmlEscaped(), bodyHtml);
    HttpReply r = HttpReply::html(page.toUtf8(), status);
    r.headers = {
        {"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"}};
    return r;
}

const QRegularExpression &newsPath()
{
    static const QRegularExpression re(
        QStringLiteral("^/services/newsfeed/desktop/([A-Za-z0-9_-]{0,16})/rss\\.xml$"));
    return re;
}

// The plain-HTTP listener answers the news feed and nothing else: no credentials travel there.
class NewsOnly : public HttpHandler
{
public:
    explicit NewsOnly(HttpHandler *service)
        : m_service(service)
    {}
    void handle(const HttpRequest &request, const ReplyHandle &reply) override
    {
        if (newsPath().match(request.path).hasMatch())
            m_service->handle(request, reply);
        else
            reply.send(HttpReply::error(404, QByteArray()));
    }

private:
    HttpHandler *m_service;
};

// Forward-secret AEAD suites only: TLS 1.3's, and ECDHE with AES-GCM or ChaCha20-Poly1305 for
// TLS 1.2 clients (no CBC, no SHA-1 MACs, no static RSA key exchange).
QList<QSslCipher> strongCiphers()
{
    QList<QSslCipher> out;
    for (const QSslCipher &c : QSslConfiguration::supportedCiphers()) {
        const QString name = c.name();
        const bool tls13 = c.protocol() == QSsl::TlsV1_3;
        const bool aead = name.contains(QLatin1String("GCM")) || name.contains(QLatin1String("CHACHA20"));
        const bool ecdhe = name.startsWith(QLatin1String("ECDHE-"));
        if (tls13 || (c.protocol() == QSsl::TlsV1_2 && aead && ecdhe))
            out << c;
    }
    return out;
}

// A storage failure: HTTP 503 with the status reply, so that both the HTTP layer and the reader
// of the reply see an error of the service.
void markUnavailable(HttpReply &reply)
{
    reply.status = 503;
    reply.headers.append({QByteArrayLiteral("Retry-After"), QByteArrayLiteral("30")});
}

// Only absolute http and https addresses are handed out as links.
bool isWebLink(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

} // namespace

// One API call on its way through authentication.
struct DirectoryService::Call
{
    HttpRequest request;
    ReplyHandle reply;
    QString lang;
};

DirectoryService::DirectoryService(const ServiceConfig &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
{}

DirectoryService::~DirectoryService()
{
    // Stop accepting before the parts the handlers use go away.
    m_server.reset();
    m_newsServer.reset();
    m_poller.reset();
    m_accounts.reset();
    m_covers.reset();
}

bool DirectoryService::openStorage(QString *error)
{
    m_db = std::make_unique<Database>(m_config);
    if (!m_db->open(error) || !m_db->migrate(error))
        return false;
    if (!m_mappings.load(error))
        return false;
    m_stations = std::make_unique<StationStore>(*m_db);
    m_stations->setSearchCacheSeconds(m_config.searchCacheSeconds);
    m_importer = std::make_unique<CatalogueImporter>(*m_db, m_mappings);
    if (!m_importer->ensureReferenceData(error))
        return false;
    m_covers = std::make_unique<CoverSearch>(*m_db, m_config);
    return true;
}

bool DirectoryService::start(QString *error)
{
    if (!openStorage(error))
        return false;
    if (m_config.importWhenEmpty && m_stations->stationCount() == 0) {
        for (const QString &file : std::as_const(m_config.catalogueFiles)) {
            CatalogueImporter::Result result;
            if (!m_importer->importFile(file, &result, error))
                return false;
            qInfo().noquote() << QStringLiteral("tunora-directory: imported %1 stations from %2 (%3 skipped)")
                                     .arg(result.stations)
                                     .arg(file)
                                     .arg(result.skipped);
        }
    }
    if (!m_languages.load(m_config.languagesFolder, error))
        return false;
    seedNews();

    QFile certFile(m_config.certificateFile);
    QFile keyFile(m_config.keyFile);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read the TLS certificate %1 or key %2")
                         .arg(m_config.certificateFile, m_config.keyFile);
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    const QByteArray keyPem = keyFile.readAll();
    QSslKey key(keyPem, QSsl::Ec, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyPem, QSsl::Rsa, QSsl::Pem);
    if (chain.isEmpty() || key.isNull()) {
        if (error)
            *error = QStringLiteral("the TLS certificate or key is not valid PEM");
        return false;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    tls.setCiphers(strongCiphers());

    HttpLimits limits;
    limits.maxConnections = m_config.maxConnections;
    limits.maxConnectionsPerAddress = m_config.maxConnectionsPerAddress;
    limits.trustedProxies = m_config.trustedProxies;
    limits.idleTimeoutMs = m_config.idleTimeoutSeconds * 1000;
    limits.requestTimeoutMs = m_config.requestTimeoutSeconds * 1000;
    limits.scanner.maxHeaderBytes = m_config.maxHeaderBytes;
    limits.scanner.maxBodyBytes = m_config.maxBodyBytes;
    m_server = std::make_unique<DirectoryHttpServer>(this, limits);
    m_port = m_server->listenTls(m_config.listenAddress, m_config.port, tls);
    if (!m_port) {
        if (error)
            *error = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(m_config.listenAddress.toString())
                         .arg(m_config.port)
                         .arg(m_server->errorString());
        return false;
    }
    if (m_config.newsHttpPort) {
        m_newsOnly = std::make_unique<NewsOnly>(this);
        m_newsServer = std::make_unique<DirectoryHttpServer>(m_newsOnly.get(), limits);
        m_newsPort = m_newsServer->listenPlain(m_config.listenAddress, m_config.newsHttpPort);
        if (!m_newsPort) {
            if (error)
                *error =
                    QStringLiteral("cannot listen for the news feed on port %1").arg(m_config.newsHttpPort);
            return false;
        }
    }
    m_publicUrl = m_config.effectivePublicUrl(m_port);

    m_mailer = std::make_unique<Mailer>(m_config.maildir, m_config.sendmailCommand, m_config.mailFrom);
    m_accounts = std::make_unique<Accounts>(*m_db, *m_mailer, m_config);
    m_accounts->setPublicUrl(m_publicUrl);
    if (m_config.pollerEnabled) {
        m_poller = std::make_unique<NowPlayingPoller>(*m_db, *m_stations, m_config);
        connect(m_poller.get(), &NowPlayingPoller::pollingChanged, this, [](bool polling) {
            qInfo().noquote() << (polling ? QStringLiteral("tunora-directory: polling playing-now titles")
                                          : QStringLiteral("tunora-directory: another instance polls"));
        });
        m_poller->start();
    }
    return true;
}

bool DirectoryService::addNews(const QString &language, const QString &title, const QString &link,
                               const QString &description, QString *error)
{
    if (language.isEmpty() || language.size() > 16 || title.isEmpty() || title.size() > 300 ||
        link.size() > 2048 || TextNorm::hasControlCharacters(title) || TextNorm::hasControlCharacters(link)) {
        if (error)
            *error =
                QStringLiteral("a news item needs a language, a title of at most 300 characters and a link");
        return false;
    }
    if (!link.isEmpty() && !isWebLink(link)) {
        if (error)
            *error = QStringLiteral("a news link must be an http or https address");
        return false;
    }
    QSqlQuery &q = m_db->prepare(QStringLiteral(
        "INSERT INTO news (language, title, link, description, published_at) VALUES (?, ?, ?, ?, ?)"));
    q.addBindValue(language.toLower());
    q.addBindValue(title);
    q.addBindValue(link);
    q.addBindValue(description.left(2000));
    q.addBindValue(QDateTime::currentSecsSinceEpoch());
    if (!m_db->exec(q)) {
        if (error)
            *error = m_db->lastError();
        return false;
    }
    return true;
}

void DirectoryService::seedNews()
{
    QSqlQuery &q = m_db->prepare(QStringLiteral("SELECT count(*) FROM news"));
    if (!m_db->exec(q) || !q.next() || q.value(0).toLongLong() > 0)
        return;
    q.finish();
    // An empty link stands for the service's own address.
    addNews(QStringLiteral("en"), QStringLiteral("Welcome to the Tunora directory."), QString(), QString(),
            nullptr);
    addNews(QStringLiteral("de"), QStringLiteral("Willkommen im Tunora-Verzeichnis."), QString(), QString(),
            nullptr);
}

QString DirectoryService::tr(const QString &language, const QString &text, const QString &arg) const
{
    QString t = m_languages.translate(language, text);
    if (t.contains(QLatin1String("%1")))
        t = t.arg(arg);
    return t;
}

// ---------------------------------------------------------------------------------------------
// Routing

void DirectoryService::handle(const HttpRequest &request, const ReplyHandle &reply)
{
    if (WebSite::handles(request)) {
        auto *site = findChild<WebSite *>(QString(), Qt::FindDirectChildrenOnly);
        if (!site)
            site = new WebSite(*m_stations, *m_accounts, this);
        return site->handle(request, reply);
    }
    const QString &path = request.path;
    const bool get = request.method == "GET" || request.method == "HEAD";
    if (path.isEmpty() || path == QLatin1String("/")) {
        if (!get)
            return reply.send(HttpReply::error(405, QByteArray()));
        return api(request, reply);
    }
    static const QRegularExpression listenPath(QStringLiteral("^/stream/listen/([0-9]{1,18})$"));
    const QRegularExpressionMatch listenMatch = listenPath.match(path);
    if (listenMatch.hasMatch()) {
        if (!get)
            return reply.send(HttpReply::error(405, QByteArray()));
        return listen(request, reply, listenMatch.captured(1));
    }
    const QRegularExpressionMatch newsMatch = newsPath().match(path);
    if (newsMatch.hasMatch()) {
        if (!get)
            return reply.send(HttpReply::error(405, QByteArray()));
        return newsFeed(request, reply, newsMatch.captured(1));
    }
    if (path == QLatin1String("/account/activate")) {
        if (!get)
            return reply.send(HttpReply::error(405, QByteArray()));
        return activatePage(request, reply);
    }
    if (path == QLatin1String("/account/reset"))
        return resetPage(request, reply);
    reply.send(HttpReply::error(404, QByteArray()));
}

// ---------------------------------------------------------------------------------------------
// Replies

QByteArray DirectoryService::statusReply(int code, const QString &message, const QString &link)
{
    XmlWriter w;
    w.start("tunora");
    w.element("code", code);
    w.element("message", message);
    w.element("link", link);
    return w.finish();
}

QString DirectoryService::listenAddress(qint64 stationId, int stream, const QString &token) const
{
    QString a =
        m_publicUrl.toString() + QStringLiteral("stream/listen/%1?apitid=781&station_id=%1").arg(stationId);
    if (stream > 0)
        a += QStringLiteral("&stream=%1").arg(stream);
    if (!token.isEmpty())
        a += QLatin1String("&t=") + token;
    return a;
}

QByteArray DirectoryService::stationListReply(const StationPage &page, const QString &listenToken) const
{
    XmlWriter w;
    w.start("tunora");
    w.element("results_total", page.total);
    w.element("limit", page.limit);
    w.element("page", page.page);
    w.start("stations");
    for (const StationRow &s : page.stations) {
        // The station's own elements come before the nested ones that share their names.
        w.start("station");
        w.element("id", s.id);
        w.element("name", s.name);
        w.element("url_website", s.website);
        w.element("country_name", s.countryName);
        w.element("location", s.location);
        if (s.networkId > 0) {
            w.start("network");
            w.element("id", s.networkId);
            w.element("name", s.networkName);
            w.element("url_website", s.networkWebsite);
            w.end();
        }
        w.element("favorite", s.favorite ? QStringLiteral("true") : QStringLiteral("false"));
        w.start("whatsplaying");
        w.element("artist", s.artist);
        w.element("song", s.song);
        w.end();
        w.start("genres");
        for (const QString &g : s.genres) {
            w.start("genre");
            w.element("name", g);
            w.end();
        }
        w.end();
        w.start("streams");
        for (const StreamRow &st : s.streams) {
            w.start("stream");
            w.element("url_listen", listenAddress(s.id, st.position, listenToken));
            w.element("bitrate", st.bitrate);
            w.element("type", st.type);
            w.end();
        }
        w.end();
        w.end();
    }
    return w.finish();
}

QByteArray DirectoryService::languagesReply() const
{
    XmlWriter w;
    w.start("tunora");
    w.start("languages");
    for (const LanguageCatalog::Language &l : m_languages.languages())
        w.element(l.code, l.name);
    return w.finish();
}

QByteArray DirectoryService::softwareReply() const
{
    XmlWriter w;
    w.start("tunora");
    w.start("software");
    w.element("name", m_config.softwareName);
    w.element("version", m_config.softwareVersion);
    w.element("comment", m_config.softwareComment);
    w.element("comment_version", m_config.softwareCommentVersion);
    w.element("file_location", m_config.softwareFileLocation);
    w.element("file_size", m_config.softwareFileSize);
    w.element("file_mime", m_config.softwareFileMime);
    w.element("file_sha256", m_config.softwareFileSha256);
    return w.finish();
}

QByteArray DirectoryService::accountInfoReply(const Account &a) const
{
    XmlWriter w;
    w.start("tunora");
    w.start("account");
    w.element("username", a.username);
    w.element("location_string", a.location);
    w.element("mail", a.email);
    w.element("country_code", a.countryCode);
    w.element("country_name", a.countryName);
    return w.finish();
}

QByteArray DirectoryService::playingNowReply(const QList<qint64> &ids)
{
    QList<StationRow> rows;
    if (!m_stations->playingNow(ids, &rows))
        return QByteArray();
    XmlWriter w;
    w.start("tunora");
    w.start("stations");
    for (const StationRow &s : std::as_const(rows)) {
        w.start("station");
        w.element("station_id", s.id);
        w.element("name", s.name);
        w.start("whatsplaying");
        w.element("artist", s.artist);
        w.element("song", s.song);
        w.end();
        w.end();
    }
    return w.finish();
}

// ---------------------------------------------------------------------------------------------
// The command interface at the root address

void DirectoryService::api(const HttpRequest &request, const ReplyHandle &reply)
{
    const auto items = request.query.queryItems(QUrl::FullyDecoded);
    const QString lang = request.item(QStringLiteral("lang")).left(16);
    auto fail = [&](const char *message) {
        reply.send(HttpReply::xml(statusReply(2, tr(lang, QLatin1String(message)))));
    };
    if (items.size() > MaxQueryItems)
        return fail("Invalid request");
    for (const auto &item : items) {
        if (item.first.size() > 32 || item.second.size() > MaxValueLength ||
            TextNorm::hasControlCharacters(item.first) || TextNorm::hasControlCharacters(item.second))
            return fail("Invalid request");
    }
    const QByteArray key = request.item(QStringLiteral("key")).toUtf8();
    bool keyOk = false;
    for (const QString &k : std::as_const(m_config.apiKeys))
        keyOk = Secrets::equalConstantTime(key, k.toUtf8()) || keyOk;
    if (!keyOk)
        return fail("Invalid API key");

    auto call = std::make_shared<Call>(Call{request, reply, lang});
    const QString account = request.item(QStringLiteral("account"));
    const QString user = request.item(QStringLiteral("user"));
    const QString pass = request.item(QStringLiteral("pass"));
    const QHostAddress from = request.remoteAddress;
    auto sendOutcome = [this, call](const Accounts::Outcome &o) {
        HttpReply r = HttpReply::xml(statusReply(o.code, tr(call->lang, o.message, o.arg)));
        if (o.unavailable)
            markUnavailable(r);
        call->reply.send(std::move(r));
    };

    if (request.item(QStringLiteral("info")) == QLatin1String("languages"))
        return reply.send(HttpReply::xml(languagesReply()));
    if (request.has(QStringLiteral("translation")))
        return translation(call);
    if (account == QLatin1String("new"))
        return m_accounts->create(user, pass, request.item(QStringLiteral("email")).trimmed(), from,
                                  sendOutcome);
    if (account == QLatin1String("resendvalidation"))
        return m_accounts->resendValidation(user, pass, from, sendOutcome);
    if (account == QLatin1String("lostpassword"))
        return m_accounts->lostPassword(request.item(QStringLiteral("member")), from, sendOutcome);
    if (request.item(QStringLiteral("software")) == QLatin1String("version"))
        return reply.send(HttpReply::xml(softwareReply()));

    if (user.isEmpty() && pass.isEmpty())
        return accountCommand(call, Accounts::Auth::Invalid, Account());
    m_accounts->authenticate(user, pass, from, [this, call](Accounts::Auth auth, const Account &a) {
        accountCommand(call, auth, a);
    });
}

void DirectoryService::accountCommand(const std::shared_ptr<Call> &call, Accounts::Auth auth,
                                      const Account &account)
{
    const HttpRequest &request = call->request;
    const ReplyHandle &reply = call->reply;
    const QString &lang = call->lang;
    auto status = [&](int code, const char *message, const QString &arg = QString()) {
        reply.send(HttpReply::xml(statusReply(code, tr(lang, QLatin1String(message), arg))));
    };
    auto internal = [&] { status(2, "Internal error, please try again later"); };
    // The database failed while checking the credentials: an error of the service, never a
    // wrong password.
    auto unavailable = [&] {
        HttpReply r = HttpReply::xml(
            statusReply(2, tr(lang, QLatin1String("The service is unavailable, please try again later"))));
        markUnavailable(r);
        reply.send(std::move(r));
    };
    const bool credentials =
        !request.item(QStringLiteral("user")).isEmpty() || !request.item(QStringLiteral("pass")).isEmpty();
    const bool signedIn = auth == Accounts::Auth::Ok;
    const qint64 accountId = signedIn ? account.id : 0;
    const QString token = signedIn ? account.listenToken : QString();
    const QString command = request.item(QStringLiteral("account"));

    // Commands that need a signed-in, activated account.
    auto requireAccount = [&]() -> bool {
        if (signedIn)
            return true;
        switch (auth) {
        case Accounts::Auth::NotActivated:
            status(2, "Account %1 is not activated yet", account.username);
            break;
        case Accounts::Auth::Limited:
            status(2, "Too many failed attempts, please try again in a few minutes");
            break;
        case Accounts::Auth::Busy:
            status(2, "The service is busy, please try again in a moment");
            break;
        case Accounts::Auth::Failed:
            unavailable();
            break;
        case Accounts::Auth::Invalid:
        case Accounts::Auth::Ok:
            status(2, credentials ? "Invalid member name or password" : "Please sign in first");
            break;
        }
        return false;
    };

    bool ok = false;
    const int minKbps =
        int(qBound<qint64>(0, request.item(QStringLiteral("kbps_min")).toLongLong(), 100000LL));
    const int maxKbps =
        int(qBound<qint64>(0, request.item(QStringLiteral("kbps_max")).toLongLong(), 100000LL));
    const StreamFilter filter =
        StreamFilter::fromRequest(minKbps, maxKbps, request.item(QStringLiteral("formats")));

    if (command == QLatin1String("authenticate") ||
        (command.isEmpty() && !request.has(QStringLiteral("search")) && !request.has(QStringLiteral("dir")) &&
         !request.has(QStringLiteral("playingnow")) && !request.has(QStringLiteral("search_itunes")))) {
        // Sign-in, and the bare account address that checks stored credentials.
        switch (auth) {
        case Accounts::Auth::Ok:
            return status(1, "Signed in");
        case Accounts::Auth::NotActivated:
            return status(2, "Account %1 is not activated yet, please follow instructions in your email",
                          account.username);
        case Accounts::Auth::Limited:
            return status(0, "Too many failed attempts, please try again in a few minutes");
        case Accounts::Auth::Busy:
            return status(0, "The service is busy, please try again in a moment");
        case Accounts::Auth::Failed:
            return unavailable();
        case Accounts::Auth::Invalid:
            return status(0, credentials ? "Invalid member name or password"
                                         : "Member name or password is missing");
        }
    }

    if (request.has(QStringLiteral("search"))) {
        const QString text = request.item(QStringLiteral("search"));
        if (text.size() > MaxSearchLength)
            return status(2, "The search text is too long");
        qint64 limit = DefaultPageSize, page = 0;
        const QString limitText = request.item(QStringLiteral("limit"));
        const QString pageText = request.item(QStringLiteral("page"));
        if ((!limitText.isEmpty() && !parseNumber(limitText, 1, MaxPageSize, &limit)) ||
            (!pageText.isEmpty() && !parseNumber(pageText, 0, MaxPage, &page)))
            return status(2, "Invalid request");
        StationPage result;
        if (!m_stations->search(SearchQuery::parse(text), filter, int(page), int(limit), accountId, &result))
            return internal();
        return reply.send(HttpReply::xml(stationListReply(result, token)));
    }
    const QString dir = request.item(QStringLiteral("dir"));
    if (dir == QLatin1String("geo")) {
        const QByteArray body = m_stations->regionList();
        return body.isEmpty() ? internal() : reply.send(HttpReply::xml(body));
    }
    if (dir == QLatin1String("genres")) {
        const QByteArray body = m_stations->genreList();
        return body.isEmpty() ? internal() : reply.send(HttpReply::xml(body));
    }
    if (!dir.isEmpty())
        return status(2, "Unknown command");

    if (request.has(QStringLiteral("playingnow"))) {
        const QStringList parts =
            request.item(QStringLiteral("playingnow")).split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (parts.size() > MaxPlayingNowIds)
            return status(2, "Invalid request");
        QList<qint64> ids;
        for (const QString &p : parts) {
            qint64 id = 0;
            if (!parseNumber(p.trimmed(), 1, Q_INT64_C(999999999999999999), &id))
                return status(2, "Invalid request");
            if (!ids.contains(id))
                ids << id;
        }
        const QByteArray body = playingNowReply(ids);
        return body.isEmpty() ? internal() : reply.send(HttpReply::xml(body));
    }
    if (request.has(QStringLiteral("search_itunes"))) {
        const QString term = request.item(QStringLiteral("search_itunes"));
        if (term.size() > MaxSearchLength)
            return status(2, "The search text is too long");
        const ReplyHandle r = reply;
        m_covers->search(term, [r](const QByteArray &json) { r.send(HttpReply::json(json)); });
        return;
    }

    if (command == QLatin1String("favorites")) {
        if (!requireAccount())
            return;
        const QString add = request.item(QStringLiteral("add"));
        const QString remove = request.item(QStringLiteral("remove"));
        if (!add.isEmpty() || !remove.isEmpty()) {
            qint64 id = 0;
            if (!parseNumber(add.isEmpty() ? remove : add, 1, Q_INT64_C(999999999999999999), &id))
                return status(2, "Station not found");
            if (!add.isEmpty()) {
                bool full = false;
                if (!m_stations->addFavorite(accountId, id, m_config.favoritesLimit, &full))
                    return m_stations->stationExists(id) ? internal() : status(2, "Station not found");
                if (full)
                    return status(2, "You have reached the maximum number of favorites");
                return status(0, "Favorite added");
            }
            return m_stations->removeFavorite(accountId, id) ? status(0, "Favorite removed") : internal();
        }
        StationPage result;
        ok = m_stations->favorites(accountId, m_config.favoritesLimit, filter, &result);
        return ok ? reply.send(HttpReply::xml(stationListReply(result, token))) : internal();
    }
    if (command == QLatin1String("history")) {
        if (!requireAccount())
            return;
        StationPage result;
        ok = m_stations->history(accountId, m_config.historyLength, filter, &result);
        return ok ? reply.send(HttpReply::xml(stationListReply(result, token))) : internal();
    }
    if (command == QLatin1String("info")) {
        if (!requireAccount())
            return;
        return reply.send(HttpReply::xml(accountInfoReply(account)));
    }
    if (command == QLatin1String("setlocation")) {
        if (!requireAccount())
            return;
        const QString name = request.item(QStringLiteral("name")).simplified();
        if (name.size() > 128)
            return status(2, "Invalid request");
        // "City, Country" or a country alone names the country too.
        QString code = m_stations->countryCode(name.section(QLatin1Char(','), -1).trimmed());
        if (code.isEmpty())
            code = m_stations->countryCode(name);
        QString countryName;
        if (!code.isEmpty()) {
            QSqlQuery &q = m_db->prepare(QStringLiteral("SELECT name FROM countries WHERE code = ?"));
            q.addBindValue(code);
            if (m_db->exec(q) && q.next())
                countryName = q.value(0).toString();
            q.finish();
        }
        return m_accounts->setLocation(accountId, name, code, countryName) ? status(0, "Home location saved")
                                                                           : internal();
    }
    status(2, "Unknown command");
}

void DirectoryService::translation(const std::shared_ptr<Call> &call)
{
    const HttpRequest &request = call->request;
    // The player sends the language name and a "lang" with the language itself; either may
    // identify the file.
    // The interface language may come first in the address; the last "lang" is the one asked for.
    const QStringList candidates{request.item(QStringLiteral("translation")),
                                 request.item(QStringLiteral("lang"))};
    for (const QString &c : std::as_const(candidates)) {
        if (const LanguageCatalog::Language *l = m_languages.find(c)) {
            HttpReply r = HttpReply::xml(l->content);
            return call->reply.send(r);
        }
    }
    call->reply.send(HttpReply::xml(statusReply(2, tr(call->lang, QStringLiteral("Language not found")))));
}

// ---------------------------------------------------------------------------------------------
// Listen addresses, news, pages

void DirectoryService::listen(const HttpRequest &request, const ReplyHandle &reply, const QString &id)
{
    qint64 stationId = 0;
    if (!parseNumber(id, 1, Q_INT64_C(999999999999999999), &stationId))
        return reply.send(HttpReply::error(404, QByteArray()));
    QString name;
    QList<StreamRow> streams = m_stations->streamsOf(stationId, &name);
    if (streams.isEmpty())
        return reply.send(HttpReply::error(404, "no such station"));
    // The chosen stream first, the others after it as fall-backs.
    qint64 chosen = 0;
    if (parseNumber(request.item(QStringLiteral("stream")), 0, 1000, &chosen)) {
        for (qsizetype i = 0; i < streams.size(); ++i) {
            if (streams[i].position == chosen) {
                streams.move(i, 0);
                break;
            }
        }
    }
    if (request.method == "GET") {
        Account a;
        const QString token = request.item(QStringLiteral("t"));
        const qint64 accountId = !token.isEmpty() && m_accounts->accountByListenToken(token, &a) ? a.id : 0;
        m_stations->recordListen(accountId, stationId, m_config.historyLength);
    }
    QString title = name;
    title.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    QByteArray pls = "[playlist]\nNumberOfEntries=" + QByteArray::number(streams.size()) + '\n';
    for (qsizetype i = 0; i < streams.size(); ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        pls += "File" + n + '=' + streams[i].url.toUtf8() + '\n';
        pls += "Title" + n + '=' + title.toUtf8() + '\n';
        pls += "Length" + n + "=-1\n";
    }
    pls += "Version=2\n";
    reply.send({200, "audio/x-scpls; charset=utf-8", pls, {}, false});
}

void DirectoryService::newsFeed(const HttpRequest &, const ReplyHandle &reply, const QString &language)
{
    auto items = [this](const QString &lang) {
        QList<QStringList> out;
        QSqlQuery &q = m_db->prepare(QStringLiteral("SELECT title, link, description, published_at FROM news "
                                                    "WHERE language = ? ORDER BY published_at DESC, "
                                                    "id DESC LIMIT 20"));
        q.addBindValue(lang);
        if (!m_db->exec(q))
            return out;
        while (q.next()) {
            const QDateTime when = QDateTime::fromSecsSinceEpoch(q.value(3).toLongLong(), Qt::UTC);
            out.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                        QLocale::c().toString(when, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss")) +
                            QLatin1String(" +0000")});
        }
        q.finish();
        return out;
    };
    QString lang = language.toLower();
    QList<QStringList> list = items(lang);
    if (list.isEmpty() && lang != m_config.defaultLanguage) {
        lang = m_config.defaultLanguage;
        list = items(lang);
    }
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("rss"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    w.writeStartElement(QStringLiteral("channel"));
    w.writeTextElement(QStringLiteral("title"), QStringLiteral("Tunora News"));
    w.writeTextElement(QStringLiteral("link"), m_publicUrl.toString());
    w.writeTextElement(QStringLiteral("description"), QStringLiteral("News from the Tunora directory"));
    w.writeTextElement(QStringLiteral("language"), lang);
    for (const QStringList &i : std::as_const(list)) {
        w.writeStartElement(QStringLiteral("item"));
        // Items are plain text. Titles are read as text (the XML writer escapes them); feed
        // readers render descriptions as HTML, so markup in them is escaped once more and shows
        // as the characters it is made of.
        w.writeTextElement(QStringLiteral("title"), i[0]);
        w.writeTextElement(QStringLiteral("link"), isWebLink(i[1]) ? i[1] : m_publicUrl.toString());
        w.writeTextElement(QStringLiteral("description"), i[2].toHtmlEscaped());
        w.writeTextElement(QStringLiteral("pubDate"), i[3]);
        w.writeEndElement();
    }
    w.writeEndDocument();
    reply.send({200, "application/rss+xml; charset=utf-8", out, {}, false});
}

void DirectoryService::activatePage(const HttpRequest &request, const ReplyHandle &reply)
{
    if (m_accounts->activate(request.item(QStringLiteral("token"))))
        return reply.send(
            htmlPage(QStringLiteral("Account activated"),
                     QStringLiteral("<p>Your account is active. You can now sign in with the player.</p>")));
    reply.send(
        htmlPage(QStringLiteral("Link not valid"),
                 QStringLiteral("<p>This activation link is not valid: it may have expired or been used "
                                "already. Sign in with the player to ask for a new one.</p>"),
                 404));
}

void DirectoryService::resetPage(const HttpRequest &request, const ReplyHandle &reply)
{
    if (request.method == "GET" || request.method == "HEAD") {
        const QString token = request.item(QStringLiteral("token"));
        if (!m_accounts->resetTokenValid(token))
            return reply.send(htmlPage(
                QStringLiteral("Link not valid"),
                QStringLiteral("<p>This link is no longer valid; please ask for a new one.</p>"), 404));
        return reply.send(htmlPage(
            QStringLiteral("Choose a new password"),
            QStringLiteral(
                "<form method=\"post\" action=\"/account/reset\"><input type=\"hidden\" name=\"token\" "
                "value=\"%1\"><p>New password<br><input type=\"password\" name=\"password\" "
                "autocomplete=\"new-password\"></p><p>Repeat it<br><input type=\"password\" "
                "name=\"password2\" autocomplete=\"new-password\"></p><p><input type=\"submit\" "
                "value=\"Save\"></p></form>")
                .arg(token.toHtmlEscaped())));
    }
    if (request.method != "POST")
        return reply.send(HttpReply::error(405, QByteArray()));
    // Form fields: '+' stands for a blank in this encoding.
    QByteArray body = request.body;
    body.replace('+', "%20");
    const QUrlQuery form(QString::fromLatin1(body));
    const QString token = form.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded);
    const QString password = form.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded);
    if (password != form.queryItemValue(QStringLiteral("password2"), QUrl::FullyDecoded))
        return reply.send(htmlPage(
            QStringLiteral("Passwords differ"),
            QStringLiteral("<p>The two passwords are not the same; go back and try again.</p>"), 400));
    const ReplyHandle r = reply;
    m_accounts->resetPassword(token, password, [r](const Accounts::Outcome &o) {
        r.send(htmlPage(o.code == 0 ? QStringLiteral("Password changed")
                                    : QStringLiteral("Password not changed"),
                        QStringLiteral("<p>%1</p>").arg(o.message.toHtmlEscaped()), o.code == 0 ? 200 : 400));
    });
}
