#pragma once

// Talking to the directory service the way the player does: request addresses from the player's
// own directory client, an HTTPS client that trusts only the test CA, and the player's own tag
// scanner so that the tests see what the player will see.

#include "baseradioapi.h"
#include "scriptedserver.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>
#include <QUrl>

class TunoraAPI;

namespace TunoraTest {

class DirectoryService;

// The player's own directory client for building request addresses exactly as the player does:
// its settings pointed at this service, signed in with these credentials (none: anonymous).
// One client serves the whole process; each call points it anew, so build the address at once.
TunoraAPI &player(const DirectoryService &service, const QString &user = {}, const QString &password = {});

// A reply; status 0 when none came within two minutes.
struct HttpResult
{
    int status = 0;
    QByteArray body;
};

// Addresses are sent as they stand (already encoded), as the player sends them.
class HttpsClient
{
public:
    explicit HttpsClient(const QSslConfiguration &tls)
        : m_tls(tls)
    {}
    HttpResult get(const QString &address) { return getAll({address}).value(0); }
    HttpResult post(const QString &address, const QByteArray &body, const QByteArray &contentType);
    // Sends every request at once (each with the headers given) and returns the results in the
    // order of the addresses.
    QList<HttpResult> getAll(const QStringList &addresses,
                             const QList<QPair<QByteArray, QByteArray>> &headers = {});

private:
    QNetworkRequest request(const QString &address) const;
    static HttpResult wait(QNetworkReply *reply, const QDeadlineTimer &deadline);
    QNetworkAccessManager m_manager;
    QSslConfiguration m_tls;
};

// The result count of a station-list reply, read with the player's own tag scanner.
quint32 resultsTotal(const QByteArray &body);

// A status reply read element by element with the player's streaming reader; status -1 when it
// has no code.
using StatusReply = BASS::StatusReply;
StatusReply readStatus(const QByteArray &body);

// One raw HTTP exchange over TLS: sends the bytes as they are and collects what comes back
// until `responses` complete responses arrived, the server closed, or the time is up. Replies
// whose index is in headReplies answer HEAD requests (no body).
struct RawExchange
{
    bool connected = false;
    bool closedByServer = false;
    QList<int> statuses;
    QList<QByteArray> bodies;
    QByteArray raw;
};
RawExchange rawExchange(quint16 port, const QSslConfiguration &tls, const QByteArray &request,
                        int responses = 1, int timeoutMs = 30000, const QList<int> &headReplies = {});

// Signs a listener up, checks that exactly one mail arrived and opens the activation link in it.
bool signUpAndActivate(HttpsClient &http, const DirectoryService &service, const QString &user,
                       const QString &password, QString *why);

// Radio stations by path on a scripted server ("{root}" in a script stands for the server's
// address). A request without "Icy-MetaData: 1", or for a path without a script, gets no
// answer; every request's path and time are noted.
class ScriptedStations
{
public:
    explicit ScriptedStations(QHash<QByteArray, ScriptedServer::Script> scripts);
    QByteArray url(const QByteArray &path) const { return m_server.url(path); }
    // When each request for the path came in (ms since the start).
    QList<qint64> visits(const QByteArray &path) const;
    qint64 elapsed() const { return m_clock.elapsed(); }

private:
    const QHash<QByteArray, ScriptedServer::Script> m_scripts;
    mutable QMutex m_lock;
    QElapsedTimer m_clock;
    QHash<QByteArray, QList<qint64>> m_visits;
    ScriptedServer m_server;
};

// An ICY reply with a metadata interval of 64 bytes and one title block between audio bytes.
QByteArray icyReply(const QByteArray &title);
// A catalogue file: one German pop station per (name, stream address).
QByteArray catalogueJson(const QList<std::pair<QString, QString>> &stations);

} // namespace TunoraTest
