#include "poller.h"

#include "database.h"
#include "stationstore.h"

#include <QDateTime>
#include <QDebug>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QSslSocket>
#include <QTcpSocket>

namespace {

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

// ---------------------------------------------------------------------------------------------
// One probe

IcyProbe::IcyProbe(const QUrl &url, int timeoutMs, QObject *parent)
    : QObject(parent)
    , m_url(url)
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(timeoutMs);
    connect(&m_timeout, &QTimer::timeout, this,
            [this] { finish(false, QString(), QStringLiteral("time-out")); });
}

IcyProbe::~IcyProbe()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        delete m_socket;
    }
}

void IcyProbe::start()
{
    m_timeout.start();
    open(m_url);
}

void IcyProbe::open(const QUrl &url)
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    if (++m_hops > MaxHops) {
        finish(false, QString(), QStringLiteral("too many redirects"));
        return;
    }
    const bool tls = url.scheme() == QLatin1String("https");
    if ((!tls && url.scheme() != QLatin1String("http")) || url.host().isEmpty()) {
        finish(false, QString(), QStringLiteral("not an http address"));
        return;
    }
    m_url = url;
    m_head.clear();
    m_inBody = false;
    m_reader.reset();
    m_playlist.clear();
    const quint16 port = quint16(url.port(tls ? 443 : 80));
    if (tls) {
        auto *s = new QSslSocket(this);
        m_socket = s;
        connect(s, &QSslSocket::encrypted, this, &IcyProbe::onConnected);
        s->connectToHostEncrypted(url.host(), port);
    } else {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QTcpSocket::connected, this, &IcyProbe::onConnected);
        m_socket->connectToHost(url.host(), port);
    }
    QTcpSocket *socket = m_socket;
    connect(socket, &QIODevice::readyRead, this, [this, socket] {
        if (socket == m_socket)
            onReadyRead();
    });
    connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError e) {
        if (socket != m_socket || m_done)
            return;
        if (e == QAbstractSocket::RemoteHostClosedError && m_inBody && !m_reader) {
            // A playlist ends with the connection: everything read so far is the whole text.
            m_playlist += socket->readAll();
            const QUrl next = Icy::playlistEntry(m_playlist, m_url);
            if (next.isValid())
                return open(next);
        }
        finish(false, QString(), socket->errorString());
    });
}

void IcyProbe::onConnected()
{
    QByteArray target = m_url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (m_url.hasQuery())
        target += '?' + m_url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = m_url.host(QUrl::FullyEncoded).toLatin1();
    if (m_url.port() > 0)
        host += ':' + QByteArray::number(m_url.port());
    m_socket->write("GET " + target + " HTTP/1.0\r\nHost: " + host +
                    "\r\nUser-Agent: TunoraDirectory/1.0\r\nIcy-MetaData: 1\r\nAccept: */*\r\nConnection: "
                    "close\r\n\r\n");
}

void IcyProbe::onReadyRead()
{
    if (m_done || !m_socket)
        return;
    QByteArray data = m_socket->readAll();
    if (!m_inBody) {
        m_head += data;
        qsizetype end = m_head.indexOf("\r\n\r\n");
        qsizetype sepLen = 4;
        if (end < 0) {
            end = m_head.indexOf("\n\n");
            sepLen = 2;
        }
        if (end < 0) {
            if (m_head.size() > MaxHeadBytes)
                finish(false, QString(), QStringLiteral("response head too long"));
            return;
        }
        data = m_head.mid(end + sepLen);
        if (!Icy::parseHead(m_head.left(end), &m_response)) {
            finish(false, QString(), QStringLiteral("not an HTTP or ICY response"));
            return;
        }
        m_head.clear();
        m_inBody = true;
        if (m_response.status >= 300 && m_response.status < 400 && !m_response.location.isEmpty()) {
            const QUrl next = m_url.resolved(QUrl(QString::fromLatin1(m_response.location)));
            open(next);
            return;
        }
        if (m_response.status != 200) {
            finish(false, QString(), QStringLiteral("status %1").arg(m_response.status));
            return;
        }
        if (m_response.metaint > 0) {
            if (m_response.metaint > MaxMetaint) {
                finish(false, QString(), QStringLiteral("metadata interval too large"));
                return;
            }
            m_reader = std::make_unique<Icy::MetadataReader>(m_response.metaint);
        }
    }
    if (m_reader) {
        if (m_reader->feed(data.constData(), data.size())) {
            finish(true, Icy::streamTitle(m_reader->block()), QString());
        }
        return;
    }
    // No metadata: either a playlist that points to the stream, or a stream without titles.
    m_playlist += data;
    if (m_playlist.isEmpty())
        return;
    if (!Icy::looksLikePlaylist(m_response.contentType, m_playlist.left(64))) {
        finish(false, QString(), QStringLiteral("no ICY metadata"));
        return;
    }
    if (m_playlist.size() > MaxPlaylistBytes) {
        finish(false, QString(), QStringLiteral("playlist too long"));
        return;
    }
    // Only complete lines: an address cut off by the end of a packet is not an address.
    const qsizetype lastLine = m_playlist.lastIndexOf('\n');
    if (lastLine >= 0) {
        const QUrl next = Icy::playlistEntry(m_playlist.left(lastLine + 1), m_url);
        if (next.isValid())
            open(next);
    }
}

void IcyProbe::finish(bool ok, const QString &title, const QString &error)
{
    if (m_done)
        return;
    m_done = true;
    m_timeout.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    Q_EMIT finished(ok, title, error);
}

// ---------------------------------------------------------------------------------------------
// Poller

NowPlayingPoller::NowPlayingPoller(Database &db, StationStore &stations, const ServiceConfig &config,
                                   QObject *parent)
    : QObject(parent)
    , m_db(db)
    , m_stations(stations)
    , m_config(config)
{
    m_tick.setInterval(250);
    connect(&m_tick, &QTimer::timeout, this, &NowPlayingPoller::tick);
    m_reload.setInterval(5 * 60 * 1000);
    connect(&m_reload, &QTimer::timeout, this, &NowPlayingPoller::reloadTargets);
    // Well inside one poll interval, so that a takeover never costs a whole interval.
    m_lease.setInterval(
        int(qBound(qint64(250), qint64(config.pollIntervalSeconds) * 1000 / 4, qint64(5000))));
    connect(&m_lease, &QTimer::timeout, this, &NowPlayingPoller::checkLease);
}

NowPlayingPoller::~NowPlayingPoller() = default;

void NowPlayingPoller::start()
{
    reloadTargets();
    m_tick.start();
    m_reload.start();
    if (!m_db.isPostgres()) {
        setPolling(true);
        return;
    }
    m_leaseDb = std::make_unique<Database>(m_config);
    checkLease();
    if (!m_polling)
        emit pollingChanged(false);
    m_lease.start();
}

void NowPlayingPoller::checkLease()
{
    if (!m_leaseOpened) {
        QString error;
        m_leaseOpened = m_leaseDb->open(&error);
        if (!m_leaseOpened) {
            setPolling(false);
            return;
        }
    }
    // Holding: the lock lives as long as the connection, so a working connection means it is
    // still ours. Not holding: try to take it.
    QSqlQuery &q = m_leaseDb->prepare(m_polling ? QStringLiteral("SELECT true")
                                                : QStringLiteral("SELECT pg_try_advisory_lock(7415000002)"));
    const bool ok = m_leaseDb->exec(q) && q.next() && q.value(0).toBool();
    q.finish();
    if (!ok && m_polling)
        m_leaseDb->close();
    setPolling(ok);
}

void NowPlayingPoller::setPolling(bool polling)
{
    if (polling == m_polling)
        return;
    m_polling = polling;
    if (polling) {
        // What the previous holder may have polled lately is not known here: start afresh,
        // spread over one interval.
        const qint64 now = nowMs();
        const qint64 spread = qint64(m_config.pollIntervalSeconds) * 1000;
        m_due.clear();
        qint64 i = 0;
        const qint64 count = qMax<qint64>(1, m_targets.size());
        for (auto it = m_targets.begin(); it != m_targets.end(); ++it, ++i) {
            it->dueMs = now + spread * i / count;
            m_due.insert(it->dueMs, it.key());
        }
    }
    emit pollingChanged(polling);
}

void NowPlayingPoller::reloadTargets()
{
    QSqlQuery &q = m_db.prepare(QStringLiteral(
        "SELECT st.station_id, st.url FROM streams st WHERE st.position = 0 AND st.type <> 'hls' ORDER BY "
        "st.station_id"));
    if (!m_db.exec(q))
        return;
    QHash<QString, QList<qint64>> fresh;
    while (q.next())
        fresh[q.value(1).toString()].append(q.value(0).toLongLong());
    q.finish();
    const qint64 now = nowMs();
    const qint64 spread = qint64(m_config.pollIntervalSeconds) * 1000;
    for (auto it = fresh.constBegin(); it != fresh.constEnd(); ++it) {
        Target &t = m_targets[it.key()];
        t.stations = it.value();
        if (!t.known) {
            t.known = true;
            t.url = QUrl(it.key());
            // New addresses start spread over the first interval, not all at once.
            schedule(it.key(), now + qint64(m_config.pollStartDelaySeconds) * 1000 +
                                   (spread > 1 ? QRandomGenerator::global()->bounded(spread) / 4 : 0));
        }
    }
    for (auto it = m_targets.begin(); it != m_targets.end();) {
        if (!fresh.contains(it.key()) && !it->busy)
            it = m_targets.erase(it);
        else
            ++it;
    }
}

void NowPlayingPoller::schedule(const QString &key, qint64 dueMs)
{
    Target &t = m_targets[key];
    for (auto it = m_due.find(t.dueMs); it != m_due.end() && it.key() == t.dueMs; ++it) {
        if (it.value() == key) {
            m_due.erase(it);
            break;
        }
    }
    t.dueMs = dueMs;
    m_due.insert(dueMs, key);
}

void NowPlayingPoller::tick()
{
    if (!m_polling)
        return;
    const qint64 now = nowMs();
    while (m_active < m_config.pollConcurrency && !m_due.isEmpty() && m_due.firstKey() <= now) {
        const QString key = m_due.first();
        m_due.erase(m_due.begin());
        auto it = m_targets.find(key);
        if (it == m_targets.end() || it->busy)
            continue;
        qint64 waitMs = 0;
        if (!claim(key, &waitMs)) {
            schedule(key, now + waitMs);
            continue;
        }
        launch(key);
    }
}

bool NowPlayingPoller::claim(const QString &key, qint64 *waitMs)
{
    // One instance polls; but a holder that lost its lock may not know it yet while the next one
    // has started, and the next one does not know when the previous one polled what. The claim
    // is one atomic statement on the shared database: an address is polled only when its last
    // poll by anyone is at least an interval old.
    if (!m_db.isPostgres())
        return true;
    const qint64 interval = qint64(m_config.pollIntervalSeconds) * 1000;
    static const QString dbNow = QStringLiteral("(extract(epoch FROM clock_timestamp()) * 1000)::bigint");
    QSqlQuery &q = m_db.prepare(
        QStringLiteral(
            "INSERT INTO poll_claims (url, polled_at) VALUES (?, %1) ON CONFLICT (url) DO UPDATE "
            "SET polled_at = EXCLUDED.polled_at WHERE poll_claims.polled_at <= EXCLUDED.polled_at - ?")
            .arg(dbNow));
    q.addBindValue(key);
    q.addBindValue(interval);
    if (!m_db.exec(q)) {
        // Without the database nothing polled could be stored either: try again an interval later.
        *waitMs = interval;
        return false;
    }
    const bool claimed = q.numRowsAffected() == 1;
    q.finish();
    if (claimed)
        return true;
    QSqlQuery &left =
        m_db.prepare(QStringLiteral("SELECT polled_at + ? - %1 FROM poll_claims WHERE url = ?").arg(dbNow));
    left.addBindValue(interval);
    left.addBindValue(key);
    *waitMs =
        m_db.exec(left) && left.next() ? qBound<qint64>(1, left.value(0).toLongLong(), interval) : interval;
    left.finish();
    return false;
}

void NowPlayingPoller::launch(const QString &key)
{
    Target &t = m_targets[key];
    t.busy = true;
    ++m_active;
    auto *probe = new IcyProbe(t.url, m_config.pollTimeoutSeconds * 1000, this);
    connect(probe, &IcyProbe::finished, this,
            [this, key, probe](bool ok, const QString &title, const QString &) {
                probe->deleteLater();
                --m_active;
                done(key, ok, title);
            });
    probe->start();
}

void NowPlayingPoller::done(const QString &key, bool ok, const QString &title)
{
    auto it = m_targets.find(key);
    if (it == m_targets.end())
        return;
    it->busy = false;
    const qint64 interval = qint64(m_config.pollIntervalSeconds) * 1000;
    if (!ok) {
        it->failures = qMin(it->failures + 1, 30);
        const qint64 backoff =
            qMin<qint64>(interval << qMin(it->failures, 20), qint64(m_config.pollMaxBackoffSeconds) * 1000);
        schedule(key, nowMs() + qMax(interval, backoff));
        return;
    }
    it->failures = 0;
    schedule(key, nowMs() + interval);
    if (title == it->lastTitle)
        return;
    it->lastTitle = title;
    QString artist, song;
    Icy::splitTitle(title, &artist, &song);
    const QList<qint64> stations = it->stations;
    for (qint64 id : stations) {
        if (m_stations.setNowPlaying(id, artist, song, title))
            Q_EMIT titleChanged(id, title);
    }
}
