#pragma once

#include "httpserver.h"

#include <QDateTime>
#include <QHash>
#include <QObject>

class Accounts;
class StationStore;
struct StationPage;

// The product web site the player's embedded browser shows: home page (what the service is,
// how many stations, a search form), sign-in at "/user" (form fields 'edit-name' and
// 'edit-pass', a session cookie that is HttpOnly, Secure and SameSite), the account page with
// favourites and history, "/play/<station id>" pages and a help page. Plain server-made HTML;
// every catalogue text is escaped and every page carries a Content-Security-Policy.
class WebSite : public QObject
{
    Q_OBJECT
public:
    WebSite(StationStore &stations, Accounts &accounts, QObject *parent = nullptr);

    // Whether the request is one of the site's pages. The API keeps "/" with any query except a
    // lone "q" (the site's own search field).
    static bool handles(const HttpRequest &request);
    void handle(const HttpRequest &request, const ReplyHandle &reply);

    static constexpr char SessionCookie[] = "tunora_session";
    static constexpr int SessionSeconds = 24 * 3600;
    static constexpr int MaxSessions = 10000;

private:
    void home(const HttpRequest &request, const ReplyHandle &reply);
    void userPage(const HttpRequest &request, const ReplyHandle &reply);
    void signIn(const HttpRequest &request, const ReplyHandle &reply);
    void signOut(const HttpRequest &request, const ReplyHandle &reply);
    void playPage(const ReplyHandle &reply, const QString &id);
    void helpPage(const ReplyHandle &reply);

    qint64 sessionAccount(const HttpRequest &request);
    QString newSession(qint64 accountId);
    static HttpReply page(const QString &title, const QString &body, int status = 200);
    static QString stationList(const StationPage &page);
    static QString loginForm(const QString &user, const QString &error);

    struct Session
    {
        qint64 accountId = 0;
        QDateTime expires;
    };
    StationStore &m_stations;
    Accounts &m_accounts;
    QHash<QString, Session> m_sessions;
};
