#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class Database;
class SearchIndex;

// The curated tables that turn a catalogue's free-form genre tags and country names into the
// directory's genre tree and world regions. Loaded from the service's resources.
class CatalogueMappings
{
public:
    struct GenreGroup
    {
        QString name;
        QString description;
        QStringList keywords;
    };
    struct CountryInfo
    {
        QString code;
        QString name;
        QString region;
    };
    struct Placement
    {
        QString code;
        QString subsection; // set when the name itself stands for a part of the country
    };

    bool load(QString *error);
    bool loadFrom(const QByteArray &genresJson, const QByteArray &countriesJson, QString *error);

    const QList<GenreGroup> &groups() const { return m_groups; }
    const QStringList &regions() const { return m_regions; }
    const QList<CountryInfo> &countries() const { return m_countries; }
    // The group a tag belongs to, or "" for a tag to drop.
    QString groupOf(const QString &tag) const;
    // The country a name stands for; an empty code when unknown.
    Placement placeCountry(const QString &name) const;

private:
    QList<GenreGroup> m_groups;
    QHash<QString, QString> m_memberOf; // folded tag -> group name
    QStringList m_ignored;
    QString m_fallback;
    QStringList m_regions;
    QList<CountryInfo> m_countries;
    QHash<QString, Placement> m_countryByName; // folded name -> placement
};

// Loads catalogues of the shape of the shipped station list (an object "webradios" mapping a
// key to a station with Name, Genre, Country, Region, Homepage, Codec, Bitrate, StreamUri and
// alternativeStreams) into the database. Stations are matched by key, so importing a file again
// updates its stations instead of adding copies.
class CatalogueImporter
{
public:
    struct Result
    {
        int stations = 0;
        int streams = 0;
        int skipped = 0;
        QStringList warnings;
    };

    CatalogueImporter(Database &db, const CatalogueMappings &mappings);

    // Regions, countries and top-level genres; safe to run on every start.
    bool ensureReferenceData(QString *error);
    bool importFile(const QString &path, Result *result, QString *error);
    bool importJson(const QByteArray &json, Result *result, QString *error);

    // The host of a station's web site, without "www.": stations that share it form a network.
    static QString websiteHost(const QString &website);
    // A network's name: the words every member's name begins with (a single word only when the
    // host contains it), else the host.
    static QString networkName(const QStringList &stationNames, const QString &host);

    // Largest catalogue file the importer reads.
    static constexpr qint64 MaxFileBytes = 512LL * 1024 * 1024;

private:
    qint64 genreId(const QString &tag);
    qint64 subsectionId(const QString &countryCode, const QString &name);
    qint64 networkId(const QString &host, const QString &name);
    static QString streamType(const QString &codec, const QString &url);

    Database &m_db;
    const CatalogueMappings &m_map;
    QHash<QString, qint64> m_genreIds;      // folded name -> id
    QHash<QString, qint64> m_subsectionIds; // code -> id
    QHash<QString, qint64> m_networkIds;    // host -> id
};
