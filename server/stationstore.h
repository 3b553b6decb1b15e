#pragma once

#include "searchquery.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class Database;

// Which streams a listener wants, from the bitrate and format parameters of a request.
struct StreamFilter
{
    int minKbps = 0;
    int maxKbps = 0;     // 0 = no upper bound
    QSet<QString> types; // stream types the client lists; empty = every type
    bool accepts(const QString &type, int bitrate) const;
    bool restricts() const { return minKbps > 0 || maxKbps > 0 || !excludedTypes().isEmpty(); }
    // Known stream types the client did not list. Types outside the vocabulary the client can
    // name (flac, hls, other) are never excluded, so that such stations stay reachable.
    QStringList excludedTypes() const;
    // Maps the format names of a request ("wm,mp3,aac,ac3,ogg") to stream types.
    static StreamFilter fromRequest(int minKbps, int maxKbps, const QString &formats);
};

struct StreamRow
{
    QString url;
    QString type;
    int bitrate = 0;
    int position = 0;
};

struct StationRow
{
    qint64 id = 0;
    QString name;
    QString website;
    QString countryName;
    QString location;
    QStringList genres;
    QList<StreamRow> streams;
    QString artist;
    QString song;
    bool favorite = false;
    qint64 networkId = 0; // 0: the station belongs to no network
    QString networkName;
    QString networkWebsite;
};

struct StationPage
{
    qint64 total = 0;
    int limit = 0;
    int page = 0;
    QList<StationRow> stations;
};

// Station queries of the directory: search, favourites, history, playing now, and the genre and
// region trees. Every statement is a prepared one with bound values.
class StationStore
{
public:
    explicit StationStore(Database &db)
        : m_db(db)
    {}

    // Ranked result lists of recent searches are kept this long (0 = not at all), so that paging
    // and popular searches do not rank every match again. Favourite marks and what plays now are
    // always read fresh.
    void setSearchCacheSeconds(int seconds) { m_searchCacheMs = qint64(seconds) * 1000; }
    static constexpr int CachedResults = 2000;
    static constexpr int CachedSearches = 256;

    bool search(const SearchQuery &query, const StreamFilter &filter, int page, int limit, qint64 accountId,
                StationPage *out);
    bool favorites(qint64 accountId, int max, const StreamFilter &filter, StationPage *out);
    bool history(qint64 accountId, int max, const StreamFilter &filter, StationPage *out);
    bool playingNow(const QList<qint64> &ids, QList<StationRow> *out);

    bool stationExists(qint64 id);
    QList<StreamRow> streamsOf(qint64 id, QString *name);
    // Returns false when the station does not exist.
    bool addFavorite(qint64 accountId, qint64 stationId, int limit, bool *limitReached);
    bool removeFavorite(qint64 accountId, qint64 stationId);
    bool recordListen(qint64 accountId, qint64 stationId, int historyLength);
    bool setNowPlaying(qint64 stationId, const QString &artist, const QString &song, const QString &title);

    // The cached XML bodies of the genre and region lists (built on first use).
    QByteArray genreList();
    QByteArray regionList();
    void invalidateLists();

    // Resolves a country name or code, and a subsection code or name, to database keys.
    QString countryCode(const QString &nameOrCode);
    qint64 subsectionId(const QString &codeOrName, const QString &countryCode);

    qint64 stationCount();

private:
    bool load(const QList<qint64> &ids, qint64 accountId, const StreamFilter &filter, QList<StationRow> *out);
    // The stations whose ids the SQL (bound: account id, limit) selects, in its order.
    bool listed(const QString &sql, qint64 accountId, int max, const StreamFilter &filter, StationPage *out);
    QString placeholders(int count) const;

    Database &m_db;
    QByteArray m_genreList;
    QByteArray m_regionList;
    struct Ranked
    {
        QList<qint64> ids; // the first CachedResults results, in order
        qint64 total = 0;
        qint64 expiresMs = 0;
    };
    QHash<QString, Ranked> m_searches;
    qint64 m_searchCacheMs = 30000;
};
