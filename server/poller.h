#pragma once

#include "config.h"
#include "icy.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMultiMap>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <memory>

class QTcpSocket;
class Database;
class StationStore;

// One short visit to a stream: connects, asks for ICY metadata, follows redirects and
// playlists (a few hops), reads up to the first metadata block and hangs up. Ends with
// finished() exactly once, at the latest after the time-out.
class IcyProbe : public QObject
{
    Q_OBJECT
public:
    IcyProbe(const QUrl &url, int timeoutMs, QObject *parent = nullptr);
    ~IcyProbe() override;
    void start();

    static constexpr int MaxHops = 4;
    static constexpr qint64 MaxHeadBytes = 16 * 1024;
    static constexpr qint64 MaxMetaint = 256 * 1024;
    static constexpr qint64 MaxPlaylistBytes = 64 * 1024;

Q_SIGNALS:
    // ok: the stream answered and carries ICY metadata; title may be empty (nothing announced).
    void finished(bool ok, const QString &title, const QString &error);

private:
    void open(const QUrl &url);
    void onConnected();
    void onReadyRead();
    void finish(bool ok, const QString &title, const QString &error);

    QUrl m_url;
    int m_hops = 0;
    QTimer m_timeout;
    QTcpSocket *m_socket = nullptr;
    QByteArray m_head;
    bool m_inBody = false;
    Icy::ResponseHead m_response;
    std::unique_ptr<Icy::MetadataReader> m_reader;
    QByteArray m_playlist;
    bool m_done = false;
};

// Keeps what every station plays now: visits each station's first stream in turn, at most one
// connection per stream address and a bounded number at once, and backs off exponentially
// from streams that fail or carry no metadata.
class NowPlayingPoller : public QObject
{
    Q_OBJECT
public:
    NowPlayingPoller(Database &db, StationStore &stations, const ServiceConfig &config,
                     QObject *parent = nullptr);
    ~NowPlayingPoller() override;

    void start();
    void reloadTargets();
    int activeProbes() const { return m_active; }
    // True while this instance is the one that polls (always, on SQLite).
    bool polling() const { return m_polling; }
    int targetCount() const { return int(m_targets.size()); }

Q_SIGNALS:
    void titleChanged(qint64 stationId, const QString &title);
    void pollingChanged(bool polling);

private:
    struct Target
    {
        QUrl url;
        QList<qint64> stations;
        qint64 dueMs = 0;
        int failures = 0;
        QString lastTitle;
        bool busy = false;
        bool known = false;
    };
    void tick();
    // Several instances on one PostgreSQL: the one holding an advisory lock on a connection of
    // its own polls; the others try to take it over at short intervals, and get it as soon as
    // the holder's connection ends (the holder stopped or died).
    void checkLease();
    void setPolling(bool polling);
    // False when another poll of the address, by this or another instance, is less than an
    // interval old; *waitMs is then how long until it may be polled.
    bool claim(const QString &key, qint64 *waitMs);
    void launch(const QString &key);
    void schedule(const QString &key, qint64 dueMs);
    void done(const QString &key, bool ok, const QString &title);

    Database &m_db;
    StationStore &m_stations;
    ServiceConfig m_config;
    QHash<QString, Target> m_targets;
    QMultiMap<qint64, QString> m_due;
    QTimer m_tick;
    QTimer m_reload;
    QTimer m_lease;
    std::unique_ptr<Database> m_leaseDb;
    bool m_leaseOpened = false;
    bool m_polling = false;
    int m_active = 0;
};
