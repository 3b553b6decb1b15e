#pragma once

#include "object.h"
#include "song.h"

#include <QDateTime>
#include <QIcon>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <memory>

namespace BASS {

// Format code of a stream as the directory and the player know it.
using StreamFormat = quint32;
enum : StreamFormat
{
    FormatNone = 0,
    FormatMP3 = 1,
    FormatWMA = 2,
    FormatAAC = 3,
    FormatOGG = 4,
    FormatRealPlayer = 5,
    FormatFLAC = 6,
    FormatMP3Pro = 7,
    FormatMP4 = 8,
    FormatWebsite = 10,
};

// Display text of a format code; unknown codes give "Unknown", or "" with emptyFallback.
QString FormatText(StreamFormat format, bool emptyFallback = false);
// First format name contained in the text (case-insensitive), tried in an order that keeps
// "MP3 Pro" ahead of "MP3"; 0 when none is contained.
StreamFormat FormatFromText(const QString &text);
// Name of a player kind: 1 Windows Player, 2 Real Player, 3 Flash Player, else "".
QString PlayerName(int kind);

// One listen address of a station; a plain value.
struct StationStream
{
    StreamFormat format = FormatNone;
    QString url;
    QString key;
    quint32 bitrate = 0;
    // Which player the directory suggests for the address (see PlayerName).
    quint32 playerKind = 0;

    void reset() { *this = StationStream(); }

    // Sets key to the upper-case hex form of a hash of the address; an empty address leaves it.
    void makeKey();
    static quint32 keyHash(const QString &url);

    // "128 kbps"; values above 1000 are taken as bit/s and divided by 1000; "" for 0.
    QString bitrateText() const;
    // The plain number for 0 < bitrate < 32787, else "".
    QString bitrateNumberText() const;
    // Reads "128" or "128 kbps" (the part before the first blank).
    static quint32 bitrateFromText(const QString &text);
    QString formatText(bool emptyFallback = false) const { return FormatText(format, emptyFallback); }

    bool isWindowsMediaFile() const;
    bool isMmsAddress() const;
    bool isAsx() const;
    bool isPls() const;
    bool isWpl() const;
    bool isM3u() const;
    bool isRealPlayer() const;
};

// A station of the directory with its listen addresses (owned) and what it plays now.
class Station : public QObject
{
    Q_OBJECT
public:
    // Which of the three time stamps a caller means.
    enum TimeStamp
    {
        Added = 0,
        Modified = 1,
        LastPlayed = 2
    };
    static constexpr const char *DefaultDateFormat = "ddd d MMM yyyy hh:mm";
    static constexpr const char *FixedDateFormat = "M/d/yyyy h:mm:ss AP";

    explicit Station(QObject *parent = nullptr);
    Station(const Station &other);
    Station &operator=(const Station &other);
    ~Station() override;

    void reset();

    // Appends an owned copy; with first it also becomes the current stream.
    void addStream(const StationStream &stream, bool first);
    // First stream whose address equals url, or nullptr.
    StationStream *findStream(const QString &url) const;
    const QList<StationStream *> &streams() const { return m_streams; }
    const StationStream &currentStream() const { return m_currentStream; }
    StationStream &currentStream() { return m_currentStream; }
    void setCurrentStream(const StationStream &s) { m_currentStream = s; }
    // Address of the first stream entry (the current stream when the list is empty).
    QString firstStreamUrl() const;

    QString id() const { return m_id; }
    void setId(const QString &v) { m_id = v; }
    QString name() const { return m_name; }
    void setName(const QString &v) { m_name = v; }
    QString website() const { return m_website; }
    // Stores the address without its scheme: everything up to and including the first
    // "http://" is cut off.
    void setWebsite(const QString &v);
    QString network() const { return m_network; }
    void setNetwork(const QString &v) { m_network = v; }
    QString country() const { return m_country; }
    void setCountry(const QString &v) { m_country = v; }
    QString genres() const { return m_genres; }
    void setGenres(const QString &v) { m_genres = v; }
    bool favorite() const { return m_favorite; }
    void setFavorite(bool v) { m_favorite = v; }
    const Song &nowPlaying() const { return m_nowPlaying; }
    Song &nowPlaying() { return m_nowPlaying; }
    QString metaTemplate() const { return m_metaTemplate; }
    void setMetaTemplate(const QString &v) { m_metaTemplate = v; }
    QString statusText() const { return m_statusText; }
    void setStatusText(const QString &v) { m_statusText = v; }

    // The location may carry stream credentials: "place|Username=user|Password=secret".
    // Reading it gives the place and fills the stream user name and password.
    QString location() const;
    // Setting it while the stored location carries credentials keeps the stored one.
    void setLocation(const QString &v);
    QString rawLocation() const { return m_location; }
    QString streamUserName() const;
    QString streamPassword() const;

    QString dateFormat() const { return m_dateFormat; }
    void setDateFormat(const QString &v) { m_dateFormat = v; }
    QDateTime timeStamp(TimeStamp which) const { return m_times[which]; }
    void setTimeStamp(TimeStamp which, const QDateTime &t) { m_times[which] = t; }
    // The time stamp in the station's date format, or in the fixed locale-independent form.
    QString timeStampText(TimeStamp which, bool fixedFormat) const;

    // Non-zero keeps engine errors of this station out of message boxes.
    quint32 quietErrors() const { return m_quietErrors; }
    void setQuietErrors(quint32 v) { m_quietErrors = v; }

private:
    void copyFrom(const Station &other);
    void clearStreams();
    void parseLocation() const;

    StationStream m_currentStream;
    QList<StationStream *> m_streams;
    QString m_id;
    QString m_name;
    QString m_website;
    QString m_network;
    QString m_country;
    QString m_location;
    QString m_genres;
    bool m_favorite = false;
    Song m_nowPlaying;
    QString m_dateFormat = QLatin1String(DefaultDateFormat);
    QDateTime m_times[3];
    mutable QString m_streamUser;
    mutable QString m_streamPassword;
    QString m_statusText;
    QString m_metaTemplate;
    quint32 m_quietErrors = 0;
};

// A genre of the directory with its sub-genres (owned, keyed by name).
class Genre : public QT_BASS::Object
{
public:
    using Map = QMap<QString, Genre *>;

    Genre() = default;
    explicit Genre(const QString &name);
    Genre(const Genre &other); // deep copy
    Genre &operator=(const Genre &other);
    ~Genre() override;

    QString name() const { return m_name; }
    void setName(const QString &v) { m_name = v; }
    QString search() const { return m_search; }
    void setSearch(const QString &v) { m_search = v; }
    // The directory's search term for a genre: gen:"name".
    static QString SearchTerm(const QString &name);
    QString description() const { return m_description; }
    void setDescription(const QString &v) { m_description = v; }
    // nullptr while the genre has no sub-genres.
    const Map *subgenres() const { return m_subgenres.get(); }
    // Takes ownership; replaces (and deletes) an entry of the same name.
    void addSubgenre(Genre *genre);
    Genre *parent() const { return m_parent; }
    void setParent(Genre *p) { m_parent = p; }

    // Case-insensitive order by name.
    bool operator<(const Genre &other) const;

private:
    void clearSubgenres();

    QString m_name;
    QString m_search;
    QString m_description;
    std::unique_ptr<Map> m_subgenres;
    Genre *m_parent = nullptr;
};

// A country (or a state or province of one) with its own subsections (owned).
class Country : public QT_BASS::Object
{
public:
    Country() = default;
    Country(const Country &other); // deep copy
    Country &operator=(const Country &other);
    ~Country() override;

    void reset();

    QString name() const { return m_name; }
    void setName(const QString &v) { m_name = v; }
    QString code() const { return m_code; }
    void setCode(const QString &v) { m_code = v; }
    QString search() const { return m_search; }
    void setSearch(const QString &v) { m_search = v; }
    QString extra() const { return m_extra; }
    void setExtra(const QString &v) { m_extra = v; }
    bool isSubsection() const { return m_isSubsection; }
    void setSubsection(bool v) { m_isSubsection = v; }
    QIcon flag() const { return m_flag; }
    void setFlag(const QIcon &icon) { m_flag = icon; }
    // Two free words for the navigation menu.
    quintptr menuWord(int i) const { return m_menuWords[i & 1]; }
    void setMenuWord(int i, quintptr v) { m_menuWords[i & 1] = v; }

    const QList<Country *> &subsections() const { return m_subsections; }
    void addSubsection(const Country &c); // owned copy

private:
    void copyFrom(const Country &other);

    QList<Country *> m_subsections;
    QString m_name;
    QString m_code;
    QString m_extra;
    QString m_search;
    quintptr m_menuWords[2] = {0, 0};
    bool m_isSubsection = false;
    QIcon m_flag;
};

// A world region with its countries (owned).
class WorldRegion : public QT_BASS::Object
{
public:
    WorldRegion() = default;
    WorldRegion(const WorldRegion &other); // deep copy
    WorldRegion &operator=(const WorldRegion &other);
    ~WorldRegion() override;

    void reset();
    QString name() const { return m_name; }
    void setName(const QString &v) { m_name = v; }
    const QList<Country *> &countries() const { return m_countries; }
    void addCountry(const Country &c); // owned copy

private:
    QList<Country *> m_countries;
    QString m_name;
};

// A radio network and its stations (owned).
class Network : public QT_BASS::Object
{
public:
    Network() = default;
    Network(const Network &) = delete;
    Network &operator=(const Network &) = delete;
    ~Network() override;

    void reset();
    QString name() const { return m_name; }
    void setName(const QString &v) { m_name = v; }
    const QList<Station *> &entries() const { return m_entries; }
    void addEntry(const Station &s); // owned copy

private:
    QString m_name;
    QList<Station *> m_entries;
};

// The announcement of a program version by the directory.
struct SoftwareVersion
{
    QString name;
    QString version;
    QString comment;
    QString comment_version;
    QString file_location;
    QString file_size;
    QString file_mime;
    // SHA-256 of the download as hexadecimal text, when the directory announces one.
    QString file_sha256;
    // Set by the client when the caller asked to be told also when nothing is new.
    bool report = false;

    void reset() { *this = SoftwareVersion(); }
};

// One interface language the directory offers: its code and display name.
struct Language
{
    QString code;
    QString name;
    bool operator==(const Language &o) const { return code == o.code && name == o.name; }
};

} // namespace BASS
