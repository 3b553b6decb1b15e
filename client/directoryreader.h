#pragma once

#include "records.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

// The paging numbers of a station-list reply.
struct StationPaging
{
    quint32 total = 0;     // "results_total"
    quint32 limit = 0;     // "limit" of the reply
    quint32 pageCount = 0; // total / limit, one more for a remainder; 0 without a limit
    quint32 remainder = 0; // total mod limit: the number of results on the last page
};

// One item of the news feed. Both texts come from the feed as they stand: show the title as
// plain text and check the link before opening it.
struct NewsItem
{
    QString title;
    QString link;
    bool operator==(const NewsItem &o) const { return title == o.title && link == o.link; }
};

// The signed-in member's account as the directory describes it.
struct AccountDetails
{
    QString username;
    QString location_string;
    QString mail;
    QString country_code;
    QString country_name;
    bool isEmpty() const
    {
        return username.isEmpty() && location_string.isEmpty() && mail.isEmpty() && country_code.isEmpty() &&
               country_name.isEmpty();
    }
    bool operator==(const AccountDetails &o) const = default;
};

// What a station reply says about the station's network; turned into the station's network name
// and website when the station is announced, in reply order, with what earlier stations taught.
struct StationNetworkRef
{
    QString website;   // the station's own "url_website"
    QString networkId; // "network_id"
    bool hasBlock = false;
    QString blockId;      // inside "network": "id"
    QString blockName;    // "name"
    QString blockWebsite; // "url_website"
};

// A station list read piece by piece while its reply arrives: the stations whose end tags are in
// are read at once and kept until the reply has ended, so that a long list costs the event loop
// a little per chunk instead of everything at the end, and a reply that fails later still
// announces nothing.
struct StationListProgress
{
    qsizetype position = -1; // where the station scan goes on; -1 until "limit" has arrived
    bool ended = false;      // an empty station element ended the list
    struct Pending
    {
        BASS::Station station;
        StationNetworkRef network;
    };
    std::vector<Pending> stations;
};

// Reads the directory replies that are scanned as a whole once they have arrived: station lists,
// "playing now", regions, genres, the news feed and the account information. Readers never fail:
// a missing element gives an empty text, a missing or non-numeric number gives 0, and whatever
// cannot be read is skipped. The reader keeps what station replies teach about networks (id to
// name and to web site) for later stations that name their network only by id.
class DirectoryReader
{
public:
    // Genre lists nested deeper than this are skipped.
    static constexpr int MaxGenreDepth = 32;

    // Reads every station into station (reset before each one) and calls announce for each.
    StationPaging readStationList(const QString &text, BASS::Station &station,
                                  const std::function<void()> &announce);
    // The same in pieces: readStationsSoFar reads the stations complete in text (the reply so
    // far), finishStationList reads the rest of the whole text and announces every station.
    void readStationsSoFar(const QString &text, StationListProgress &progress);
    StationPaging finishStationList(const QString &text, StationListProgress &progress,
                                    BASS::Station &station, const std::function<void()> &announce);
    // The "playing now" reply: station ids with what each one plays.
    void readPlayingNow(const QString &text, BASS::Station &station, const std::function<void()> &announce);
    // Calls found once per region, with its countries (and their subsections).
    void readRegionList(const QString &text, const std::function<void(const BASS::WorldRegion &)> &found);
    // Calls found for every top-level genre whose sub-genre list has ended.
    void readGenreList(const QString &text, const std::function<void(const BASS::Genre &)> &found);
    static QList<NewsItem> readNews(const QString &text);
    static AccountDetails readAccountInfo(const QString &text);

    // A stream's "type": "mp3", "wm", "real", "mp4", "ogg" (exact) as format codes, else 0.
    static BASS::StreamFormat streamFormat(const QString &type);

    QString networkName(const QString &id) const { return m_networkNames.value(id); }
    QString networkWebsite(const QString &id) const { return m_networkWebsites.value(id); }

private:
    // Reads the station's own fields; the network is resolved when it is announced.
    static void readStation(const QString &text, BASS::Station &station, StationNetworkRef &network);
    void resolveNetwork(const StationNetworkRef &network, BASS::Station &station);
    void scanStations(const QString &text, StationListProgress &progress, bool last);

    QHash<QString, QString> m_networkNames;
    QHash<QString, QString> m_networkWebsites;
    BASS::WorldRegion m_region;
    BASS::Country m_country;
};
