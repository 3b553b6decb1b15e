#include "website.h"

#include "accounts.h"
#include "stationstore.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrlQuery>

namespace {

const QByteArray ContentSecurityPolicy =
    "default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self'; "
    "frame-ancestors 'none'; base-uri 'none'";

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

void addHeader(HttpReply &r, const QByteArray &name, const QByteArray &value)
{
    r.headers.append(qMakePair(name, value));
}

QByteArray cookieValue(const HttpRequest &request, const QByteArray &name)
{
    for (const QByteArray &part : request.header("Cookie").split(';')) {
        const QByteArray item = part.trimmed();
        if (item.startsWith(name) && item.size() > name.size() && item.at(name.size()) == '=')
            return item.mid(name.size() + 1);
    }
    return {};
}

} // namespace

WebSite::WebSite(StationStore &stations, Accounts &accounts, QObject *parent)
    : QObject(parent)
    , m_stations(stations)
    , m_accounts(accounts)
{}

bool WebSite::handles(const HttpRequest &request)
{
    const QString &p = request.path;
    if (p.isEmpty() || p == QLatin1String("/"))
        return request.query.isEmpty() ||
               (request.query.hasQueryItem(QStringLiteral("q")) && request.query.queryItems().size() == 1);
    return p == QLatin1String("/user") || p == QLatin1String("/user/logout") || p == QLatin1String("/help") ||
           p == QLatin1String("/site.css") || p.startsWith(QLatin1String("/play/"));
}

void WebSite::handle(const HttpRequest &request, const ReplyHandle &reply)
{
    const QString &p = request.path;
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";
    if (p == QLatin1String("/site.css") && get) {
        QFile css(QStringLiteral(":/tunora-directory/site/site.css"));
        css.open(QIODevice::ReadOnly);
        HttpReply r{200, "text/css; charset=utf-8", css.readAll(), {}, false};
        addHeader(r, "Cache-Control", "max-age=3600");
        return reply.send(r);
    }
    if ((p.isEmpty() || p == QLatin1String("/")) && get)
        return home(request, reply);
    if (p == QLatin1String("/user") && get)
        return userPage(request, reply);
    if (p == QLatin1String("/user") && post)
        return signIn(request, reply);
    if (p == QLatin1String("/user/logout") && post)
        return signOut(request, reply);
    if (p == QLatin1String("/help") && get)
        return helpPage(reply);
    static const QRegularExpression play(QStringLiteral("^/play/([0-9]{1,18})/?$"));
    const QRegularExpressionMatch m = play.match(p);
    if (m.hasMatch() && get)
        return playPage(reply, m.captured(1));
    reply.send(HttpReply::error(get || post ? 404 : 405, QByteArray()));
}

HttpReply WebSite::page(const QString &title, const QString &body, int status)
{
    const QString html =
        QStringLiteral(
            "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width\"><title>%1 - Tunora</title>"
            "<link rel=\"stylesheet\" href=\"/site.css\"></head><body>"
            "<header><a href=\"/\">Tunora</a><a href=\"/user\">My account</a><a href=\"/help\">Help</a>"
            "</header><main>%2</main></body></html>\n")
            .arg(esc(title), body);
    HttpReply r = HttpReply::html(html.toUtf8(), status);
    addHeader(r, "Content-Security-Policy", ContentSecurityPolicy);
    addHeader(r, "X-Content-Type-Options", "nosniff");
    addHeader(r, "Referrer-Policy", "same-origin");
    addHeader(r, "Cache-Control", "no-store");
    return r;
}

QString WebSite::stationList(const StationPage &page)
{
    if (page.stations.isEmpty())
        return QStringLiteral("<p class=\"muted\">None yet.</p>");
    QString out = QStringLiteral("<ul class=\"stations\">");
    for (const StationRow &s : page.stations) {
        out += QStringLiteral("<li><a href=\"/play/%1\" target=\"_blank\">%2</a>").arg(s.id).arg(esc(s.name));
        if (!s.genres.isEmpty())
            out += QStringLiteral(" <span class=\"muted\">%1</span>")
                       .arg(esc(s.genres.join(QStringLiteral(", "))));
        if (!s.artist.isEmpty() || !s.song.isEmpty())
            out += QStringLiteral("<br><small>%1 - %2</small>").arg(esc(s.artist), esc(s.song));
        out += QStringLiteral("</li>");
    }
    return out + QStringLiteral("</ul>");
}

void WebSite::home(const HttpRequest &request, const ReplyHandle &reply)
{
    const QString text = request.item(QStringLiteral("q")).left(200);
    QString body =
        QStringLiteral("<h1>Live internet radio</h1>"
                       "<p>Tunora lists %1 radio stations from all over the world. Search them here, or "
                       "listen in the Tunora Player.</p>"
                       "<form method=\"get\" action=\"/\"><input type=\"search\" name=\"q\" "
                       "value=\"%2\" maxlength=\"200\"> <button type=\"submit\">Search</button></form>")
            .arg(m_stations.stationCount())
            .arg(esc(text));
    if (!text.trimmed().isEmpty()) {
        StationPage result;
        if (m_stations.search(SearchQuery::parse(text), StreamFilter(), 0, 25, 0, &result))
            body += QStringLiteral("<h2>Stations</h2>") + stationList(result);
    }
    reply.send(page(QStringLiteral("Home"), body));
}

QString WebSite::loginForm(const QString &user, const QString &error)
{
    QString body = QStringLiteral("<h1>Sign in</h1>");
    if (!error.isEmpty())
        body += QStringLiteral("<p class=\"error\">%1</p>").arg(esc(error));
    body +=
        QStringLiteral("<form method=\"post\" action=\"/user\">"
                       "<label for=\"edit-name\">Member name</label>"
                       "<input type=\"text\" id=\"edit-name\" name=\"name\" maxlength=\"60\" value=\"%1\" "
                       "autocomplete=\"username\">"
                       "<label for=\"edit-pass\">Password</label>"
                       "<input type=\"password\" id=\"edit-pass\" name=\"pass\" maxlength=\"128\" "
                       "autocomplete=\"current-password\">"
                       "<button type=\"submit\" id=\"edit-submit\">Sign in</button></form>")
            .arg(esc(user));
    return body;
}

qint64 WebSite::sessionAccount(const HttpRequest &request)
{
    const QString token = QString::fromLatin1(cookieValue(request, SessionCookie));
    if (token.isEmpty())
        return 0;
    auto it = m_sessions.find(token);
    if (it == m_sessions.end())
        return 0;
    if (it->expires < QDateTime::currentDateTimeUtc()) {
        m_sessions.erase(it);
        return 0;
    }
    return it->accountId;
}

QString WebSite::newSession(qint64 accountId)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (m_sessions.size() >= MaxSessions) {
        for (auto it = m_sessions.begin(); it != m_sessions.end();)
            it = it->expires < now ? m_sessions.erase(it) : std::next(it);
        if (m_sessions.size() >= MaxSessions)
            m_sessions.erase(m_sessions.begin());
    }
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    const QString token = QString::fromLatin1(bytes.toHex());
    m_sessions.insert(token, {accountId, now.addSecs(SessionSeconds)});
    return token;
}

void WebSite::userPage(const HttpRequest &request, const ReplyHandle &reply)
{
    const qint64 id = sessionAccount(request);
    Account account;
    if (id == 0 || !m_accounts.accountById(id, &account))
        return reply.send(page(QStringLiteral("Sign in"), loginForm(QString(), QString())));
    StationPage favourites;
    StationPage history;
    m_stations.favorites(id, 100, StreamFilter(), &favourites);
    m_stations.history(id, 50, StreamFilter(), &history);
    const QString body =
        QStringLiteral("<h1>Hello, %1</h1>"
                       "<form method=\"post\" action=\"/user/logout\"><button type=\"submit\">"
                       "Sign out</button></form>"
                       "<h2>Favourite stations</h2>%2<h2>Recently played</h2>%3")
            .arg(esc(account.username), stationList(favourites), stationList(history));
    reply.send(page(QStringLiteral("My account"), body));
}

void WebSite::signIn(const HttpRequest &request, const ReplyHandle &reply)
{
    if (request.body.size() > 4096)
        return reply.send(HttpReply::error(413, QByteArray()));
    const QUrlQuery form(QString::fromUtf8(request.body));
    // Browsers encode blanks as '+'; the decoded percent escapes come after that.
    auto decoded = [&](const QString &key) {
        QString raw = form.queryItemValue(key, QUrl::FullyEncoded);
        raw.replace(QLatin1Char('+'), QLatin1Char(' '));
        return QUrl::fromPercentEncoding(raw.toUtf8());
    };
    const QString user = decoded(QStringLiteral("name"));
    const QString password = decoded(QStringLiteral("pass"));
    QPointer<WebSite> self = this;
    m_accounts.authenticate(
        user, password, request.remoteAddress,
        [self, reply, user](Accounts::Auth auth, const Account &account) {
            if (!self)
                return;
            if (auth != Accounts::Auth::Ok) {
                const QString why = auth == Accounts::Auth::NotActivated
                                        ? QStringLiteral("This account is not activated yet.")
                                    : auth == Accounts::Auth::Limited
                                        ? QStringLiteral("Too many attempts; try again later.")
                                        : QStringLiteral("Wrong member name or password.");
                return reply.send(page(QStringLiteral("Sign in"), loginForm(user, why), 403));
            }
            const QString token = self->newSession(account.id);
            HttpReply r{303, "text/plain; charset=utf-8", "See /user\n", {}, false};
            addHeader(r, "Location", "/user");
            addHeader(r, "Set-Cookie",
                      QByteArray(SessionCookie) + '=' + token.toLatin1() + "; Path=/; Max-Age=" +
                          QByteArray::number(SessionSeconds) + "; HttpOnly; Secure; SameSite=Strict");
            addHeader(r, "Cache-Control", "no-store");
            reply.send(r);
        });
}

void WebSite::signOut(const HttpRequest &request, const ReplyHandle &reply)
{
    m_sessions.remove(QString::fromLatin1(cookieValue(request, SessionCookie)));
    HttpReply r{303, "text/plain; charset=utf-8", "See /\n", {}, false};
    addHeader(r, "Location", "/");
    addHeader(r, "Set-Cookie",
              QByteArray(SessionCookie) + "=; Path=/; Max-Age=0; HttpOnly; Secure; "
                                          "SameSite=Strict");
    reply.send(r);
}

void WebSite::playPage(const ReplyHandle &reply, const QString &id)
{
    bool ok = false;
    const qint64 stationId = id.toLongLong(&ok);
    QString name;
    if (!ok || !m_stations.stationExists(stationId) || m_stations.streamsOf(stationId, &name).isEmpty())
        return reply.send(page(QStringLiteral("Not found"), QStringLiteral("<h1>No such station</h1>"), 404));
    const QString body =
        QStringLiteral("<h1>%1</h1><p>This page opens the station in the Tunora Player. "
                       "Without the player, use the <a href=\"/stream/listen/%2\">playlist</a>."
                       "</p>")
            .arg(esc(name))
            .arg(stationId);
    reply.send(page(name, body));
}

void WebSite::helpPage(const ReplyHandle &reply)
{
    reply.send(
        page(QStringLiteral("Help"),
             QStringLiteral("<h1>Help</h1><p>Find a station by genre, region or search, press play, and "
                            "put the songs you like on your wish list. Sign in to keep favourite stations "
                            "and your listening history on every computer.</p>")));
}
