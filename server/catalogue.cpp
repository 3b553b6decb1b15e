#include "catalogue.h"

#include "database.h"
#include "searchindex.h"
#include "textnorm.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QUrl>

// ---------------------------------------------------------------------------------------------
// Mappings

bool CatalogueMappings::load(QString *error)
{
    QFile genres(QStringLiteral(":/tunora-directory/catalogue/genres.json"));
    QFile countries(QStringLiteral(":/tunora-directory/catalogue/countries.json"));
    if (!genres.open(QIODevice::ReadOnly) || !countries.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("the built-in genre and country tables are missing");
        return false;
    }
    return loadFrom(genres.readAll(), countries.readAll(), error);
}

bool CatalogueMappings::loadFrom(const QByteArray &genresJson, const QByteArray &countriesJson,
                                 QString *error)
{
    QJsonParseError pe;
    const QJsonObject g = QJsonDocument::fromJson(genresJson, &pe).object();
    if (pe.error != QJsonParseError::NoError || g.isEmpty()) {
        if (error)
            *error = QStringLiteral("genre table: %1").arg(pe.errorString());
        return false;
    }
    m_groups.clear();
    m_memberOf.clear();
    m_fallback = g.value(QLatin1String("fallback")).toString();
    m_ignored.clear();
    for (const QJsonValue v : g.value(QLatin1String("ignore")).toArray())
        m_ignored << TextNorm::sortKey(v.toString());
    for (const QJsonValue v : g.value(QLatin1String("groups")).toArray()) {
        const QJsonObject o = v.toObject();
        GenreGroup group;
        group.name = o.value(QLatin1String("name")).toString();
        group.description = o.value(QLatin1String("description")).toString();
        if (group.name.isEmpty())
            continue;
        for (const QJsonValue k : o.value(QLatin1String("keywords")).toArray())
            group.keywords << TextNorm::sortKey(k.toString());
        m_memberOf.insert(TextNorm::sortKey(group.name), group.name);
        for (const QJsonValue m : o.value(QLatin1String("members")).toArray())
            m_memberOf.insert(TextNorm::sortKey(m.toString()), group.name);
        m_groups.append(group);
    }
    if (m_groups.isEmpty()) {
        if (error)
            *error = QStringLiteral("genre table has no groups");
        return false;
    }

    const QJsonObject c = QJsonDocument::fromJson(countriesJson, &pe).object();
    if (pe.error != QJsonParseError::NoError || c.isEmpty()) {
        if (error)
            *error = QStringLiteral("country table: %1").arg(pe.errorString());
        return false;
    }
    m_regions.clear();
    m_countries.clear();
    m_countryByName.clear();
    for (const QJsonValue rv : c.value(QLatin1String("regions")).toArray()) {
        const QJsonObject r = rv.toObject();
        const QString region = r.value(QLatin1String("name")).toString();
        m_regions << region;
        for (const QJsonValue cv : r.value(QLatin1String("countries")).toArray()) {
            const QJsonArray names = cv.toArray();
            if (names.size() < 2)
                continue;
            CountryInfo info{names.at(0).toString(), names.at(1).toString(), region};
            m_countries.append(info);
            for (qsizetype i = 1; i < names.size(); ++i)
                m_countryByName.insert(TextNorm::sortKey(names.at(i).toString()),
                                       Placement{info.code, QString()});
            m_countryByName.insert(TextNorm::sortKey(info.code), Placement{info.code, QString()});
        }
    }
    for (const QJsonValue av : c.value(QLatin1String("subsection_aliases")).toArray()) {
        const QJsonArray a = av.toArray();
        if (a.size() == 3)
            m_countryByName.insert(TextNorm::sortKey(a.at(0).toString()),
                                   Placement{a.at(1).toString(), a.at(2).toString()});
    }
    return true;
}

QString CatalogueMappings::groupOf(const QString &tag) const
{
    const QString key = TextNorm::sortKey(tag);
    if (key.isEmpty() || m_ignored.contains(key))
        return QString();
    const auto it = m_memberOf.constFind(key);
    if (it != m_memberOf.constEnd())
        return *it;
    for (const GenreGroup &g : m_groups) {
        for (const QString &k : g.keywords) {
            if (key.contains(k))
                return g.name;
        }
    }
    return m_fallback.isEmpty() ? m_groups.last().name : m_fallback;
}

CatalogueMappings::Placement CatalogueMappings::placeCountry(const QString &name) const
{
    return m_countryByName.value(TextNorm::sortKey(name));
}

// ---------------------------------------------------------------------------------------------
// Importer

CatalogueImporter::CatalogueImporter(Database &db, const CatalogueMappings &mappings)
    : m_db(db)
    , m_map(mappings)
{}

bool CatalogueImporter::ensureReferenceData(QString *error)
{
    Transaction tx(m_db);
    int position = 0;
    for (const QString &region : m_map.regions()) {
        QSqlQuery &q = m_db.prepare(QStringLiteral(
            "INSERT INTO regions (name, position) VALUES (?, ?) ON CONFLICT (name) DO UPDATE SET position = "
            "excluded.position"));
        q.addBindValue(region);
        q.addBindValue(position++);
        if (!m_db.exec(q))
            return error && (*error = m_db.lastError(), false);
    }
    for (const CatalogueMappings::CountryInfo &c : m_map.countries()) {
        QSqlQuery &q = m_db.prepare(QStringLiteral(
            "INSERT INTO countries (code, name, region_id) VALUES (?, ?, (SELECT id FROM regions WHERE name "
            "= ?)) "
            "ON CONFLICT (code) DO UPDATE SET name = excluded.name, region_id = excluded.region_id"));
        q.addBindValue(c.code);
        q.addBindValue(c.name);
        q.addBindValue(c.region);
        if (!m_db.exec(q))
            return error && (*error = m_db.lastError(), false);
    }
    position = 0;
    for (const CatalogueMappings::GenreGroup &g : m_map.groups()) {
        QSqlQuery &q = m_db.prepare(QStringLiteral(
            "INSERT INTO genres (name, name_key, parent_id, description, position) VALUES (?, ?, NULL, ?, ?) "
            "ON "
            "CONFLICT (name_key) DO UPDATE SET name = excluded.name, parent_id = NULL, description = "
            "excluded.description, position = excluded.position"));
        q.addBindValue(g.name);
        q.addBindValue(TextNorm::sortKey(g.name));
        q.addBindValue(g.description);
        q.addBindValue(position++);
        if (!m_db.exec(q))
            return error && (*error = m_db.lastError(), false);
    }
    if (!tx.commit())
        return error && (*error = m_db.lastError(), false);
    return true;
}

qint64 CatalogueImporter::genreId(const QString &tag)
{
    const QString name = tag.simplified().left(80);
    const QString key = TextNorm::sortKey(name);
    if (key.isEmpty())
        return 0;
    const auto it = m_genreIds.constFind(key);
    if (it != m_genreIds.constEnd())
        return *it;
    const QString group = m_map.groupOf(name);
    if (group.isEmpty())
        return 0;
    const QString groupKey = TextNorm::sortKey(group);
    qint64 id = 0;
    if (groupKey == key) {
        QSqlQuery &q = m_db.prepare(QStringLiteral("SELECT id FROM genres WHERE name_key = ?"));
        q.addBindValue(key);
        if (m_db.exec(q) && q.next())
            id = q.value(0).toLongLong();
    } else {
        // A tag is a sub-genre of its group; its description names the group it belongs to.
        QSqlQuery &q = m_db.prepare(QStringLiteral(
            "INSERT INTO genres (name, name_key, parent_id, description, position) VALUES (?, ?, (SELECT id "
            "FROM "
            "genres WHERE name_key = ?), ?, 0) ON CONFLICT (name_key) DO UPDATE SET parent_id = "
            "excluded.parent_id RETURNING id"));
        q.addBindValue(name);
        q.addBindValue(key);
        q.addBindValue(groupKey);
        q.addBindValue(QStringLiteral("%1 stations, part of %2.").arg(name, group));
        if (m_db.exec(q) && q.next())
            id = q.value(0).toLongLong();
    }
    if (id)
        m_genreIds.insert(key, id);
    return id;
}

qint64 CatalogueImporter::subsectionId(const QString &countryCode, const QString &name)
{
    const QString code = countryCode + QLatin1Char('-') + TextNorm::slug(name);
    if (code.size() <= 3)
        return 0;
    const auto it = m_subsectionIds.constFind(code);
    if (it != m_subsectionIds.constEnd())
        return *it;
    QSqlQuery &q = m_db.prepare(QStringLiteral("INSERT INTO subsections (country_code, code, name) VALUES "
                                               "(?, ?, ?) ON CONFLICT (code) DO UPDATE SET "
                                               "name = excluded.name RETURNING id"));
    q.addBindValue(countryCode);
    q.addBindValue(code);
    q.addBindValue(name.simplified().left(80));
    qint64 id = 0;
    if (m_db.exec(q) && q.next())
        id = q.value(0).toLongLong();
    if (id)
        m_subsectionIds.insert(code, id);
    return id;
}

QString CatalogueImporter::streamType(const QString &codec, const QString &url)
{
    const QString c = codec.trimmed().toUpper();
    if (url.contains(QLatin1String(".m3u8"), Qt::CaseInsensitive) || c == QLatin1String("HLS"))
        return QStringLiteral("hls");
    if (c == QLatin1String("MP3") || c == QLatin1String("MPEG"))
        return QStringLiteral("mp3");
    if (c.contains(QLatin1String("AAC")) || c == QLatin1String("ADTS") || c == QLatin1String("ACC") ||
        c == QLatin1String("MP4"))
        return QStringLiteral("mp4");
    if (c == QLatin1String("OGG") || c == QLatin1String("VORBIS") || c == QLatin1String("OPUS"))
        return QStringLiteral("ogg");
    if (c == QLatin1String("FLAC"))
        return QStringLiteral("flac");
    if (c == QLatin1String("WMA") || c == QLatin1String("WM"))
        return QStringLiteral("wm");
    return QStringLiteral("other");
}

bool CatalogueImporter::importFile(const QString &path, Result *result, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
        return false;
    }
    if (f.size() > MaxFileBytes) {
        if (error)
            *error = QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(MaxFileBytes);
        return false;
    }
    return importJson(f.readAll(), result, error);
}

namespace {

bool validUrl(const QString &url)
{
    if (url.size() > 2048 || TextNorm::hasControlCharacters(url))
        return false;
    const QUrl u(url, QUrl::StrictMode);
    return u.isValid() && (u.scheme() == QLatin1String("http") || u.scheme() == QLatin1String("https")) &&
           !u.host().isEmpty();
}

QString clip(const QString &text, int max)
{
    QString t = text.simplified();
    for (QChar &c : t) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    }
    return t.left(max);
}

} // namespace

QString CatalogueImporter::websiteHost(const QString &website)
{
    const QString text = website.trimmed();
    if (text.isEmpty())
        return QString();
    const QUrl url = text.contains(QLatin1String("://")) ? QUrl(text) : QUrl(QLatin1String("http://") + text);
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return QString();
    QString host = url.host().toLower();
    if (host.startsWith(QLatin1String("www.")))
        host.remove(0, 4);
    return host.contains(QLatin1Char('.')) ? host : QString();
}

QString CatalogueImporter::networkName(const QStringList &stationNames, const QString &host)
{
    if (stationNames.isEmpty())
        return host;
    QStringList common = stationNames.first().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &name : stationNames) {
        const QStringList words = name.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        qsizetype n = 0;
        while (n < common.size() && n < words.size() &&
               common.at(n).compare(words.at(n), Qt::CaseInsensitive) == 0)
            ++n;
        common = common.mid(0, n);
    }
    // "VRT - Radio 2" from "VRT - Radio 2 Unwind", but no dangling separator.
    static const QStringList separators{QStringLiteral("-"), QStringLiteral("–"), QStringLiteral(":"),
                                        QStringLiteral("|"), QStringLiteral("/")};
    while (!common.isEmpty() && separators.contains(common.constLast()))
        common.removeLast();
    QString name = common.join(QLatin1Char(' '));
    while (!name.isEmpty() && separators.contains(name.right(1)))
        name.chop(1);
    name = name.trimmed();
    // One word says little ("Radio") unless the site is named after it ("BBC", "NTS").
    if (name.size() < 2 || (!name.contains(QLatin1Char(' ')) && !host.contains(name, Qt::CaseInsensitive)))
        return host;
    return name;
}

qint64 CatalogueImporter::networkId(const QString &host, const QString &name)
{
    if (const auto it = m_networkIds.constFind(host); it != m_networkIds.constEnd())
        return it.value();
    QSqlQuery &up = m_db.prepare(QStringLiteral(
        "INSERT INTO networks (host, name, website) VALUES (?, ?, ?) ON CONFLICT (host) DO UPDATE "
        "SET name = excluded.name, website = excluded.website RETURNING id"));
    up.addBindValue(host);
    up.addBindValue(name);
    up.addBindValue(QString(QLatin1String("https://") + host));
    qint64 id = 0;
    if (m_db.exec(up) && up.next())
        id = up.value(0).toLongLong();
    up.finish();
    if (id)
        m_networkIds.insert(host, id);
    return id;
}

bool CatalogueImporter::importJson(const QByteArray &json, Result *result, QString *error)
{
    Result local;
    Result &r = result ? *result : local;
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = QStringLiteral("not a catalogue file: %1")
                         .arg(pe.error ? pe.errorString() : QStringLiteral("no JSON object"));
        return false;
    }
    const QJsonObject stations = doc.object().value(QLatin1String("webradios")).toObject();
    if (stations.isEmpty()) {
        if (error)
            *error = QStringLiteral("not a catalogue file: no \"webradios\" object");
        return false;
    }

    // Stations that share their web site's host are one operator's network; a host that only one
    // station of the file names makes none.
    QHash<QString, QStringList> networkMembers; // host -> station names
    for (auto it = stations.constBegin(); it != stations.constEnd(); ++it) {
        const QJsonObject s = it.value().toObject();
        const QString host = websiteHost(clip(s.value(QLatin1String("Homepage")).toString(), 500));
        const QString name = clip(s.value(QLatin1String("Name")).toString(), 200);
        if (!host.isEmpty() && !name.isEmpty() &&
            validUrl(s.value(QLatin1String("StreamUri")).toString().trimmed()))
            networkMembers[host] << name;
    }

    SearchIndex index(m_db);
    Transaction tx(m_db);
    if (!tx.active()) {
        if (error)
            *error = m_db.lastError();
        return false;
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (auto it = stations.constBegin(); it != stations.constEnd(); ++it) {
        const QString key = clip(it.key(), 300);
        const QJsonObject s = it.value().toObject();
        const QString name = clip(s.value(QLatin1String("Name")).toString(), 200);
        const QString mainUrl = s.value(QLatin1String("StreamUri")).toString().trimmed();
        if (key.isEmpty() || name.isEmpty() || !validUrl(mainUrl)) {
            ++r.skipped;
            r.warnings << QStringLiteral("skipped %1: no name or no usable stream address").arg(key.left(80));
            continue;
        }

        // Country and subsection.
        const QString countryText = clip(s.value(QLatin1String("Country")).toString(), 100);
        QString regionText = clip(s.value(QLatin1String("Region")).toString(), 100);
        CatalogueMappings::Placement place = m_map.placeCountry(countryText);
        if (place.code.isEmpty() && !countryText.isEmpty())
            r.warnings << QStringLiteral("%1: unknown country %2").arg(name, countryText);
        if (!place.subsection.isEmpty() && regionText.isEmpty())
            regionText = place.subsection;
        QString countryName;
        for (const CatalogueMappings::CountryInfo &c : m_map.countries()) {
            if (c.code == place.code)
                countryName = c.name;
        }
        qint64 subsection = 0;
        if (!place.code.isEmpty() && !regionText.isEmpty() &&
            TextNorm::sortKey(regionText) != TextNorm::sortKey(countryName))
            subsection = subsectionId(place.code, regionText);
        QString location = countryName.isEmpty() ? countryText : countryName;
        if (!regionText.isEmpty())
            location = location.isEmpty() ? regionText : regionText + QLatin1String(", ") + location;

        QString website = clip(s.value(QLatin1String("Homepage")).toString(), 500);
        if (TextNorm::hasControlCharacters(website))
            website.clear();
        QStringList languages;
        for (const QJsonValue l : s.value(QLatin1String("Languages")).toArray())
            languages << clip(l.toString(), 40);

        QSqlQuery &up = m_db.prepare(QStringLiteral(
            "INSERT INTO stations (source_key, name, sort_name, website, description, country_code, "
            "subsection_id, "
            "location, languages, added_at, modified_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON "
            "CONFLICT "
            "(source_key) DO UPDATE SET name = excluded.name, sort_name = excluded.sort_name, website = "
            "excluded.website, description = excluded.description, country_code = excluded.country_code, "
            "subsection_id = excluded.subsection_id, location = excluded.location, languages = "
            "excluded.languages, "
            "modified_at = excluded.modified_at RETURNING id"));
        up.addBindValue(key);
        up.addBindValue(name);
        up.addBindValue(TextNorm::sortKey(name));
        up.addBindValue(website);
        up.addBindValue(clip(s.value(QLatin1String("Description")).toString(), 1000));
        up.addBindValue(place.code.isEmpty() ? QVariant() : QVariant(place.code));
        up.addBindValue(subsection ? QVariant(subsection) : QVariant());
        up.addBindValue(location);
        up.addBindValue(languages.join(QLatin1String(", ")));
        const qint64 added = s.value(QLatin1String("Added")).toInteger(now);
        up.addBindValue(added > 0 ? added : now);
        up.addBindValue(now);
        if (!m_db.exec(up) || !up.next()) {
            if (error)
                *error = QStringLiteral("cannot store %1: %2").arg(name, m_db.lastError());
            return false;
        }
        const qint64 stationId = up.value(0).toLongLong();
        up.finish();

        const QString host = websiteHost(website);
        const QStringList members = networkMembers.value(host);
        const qint64 network = members.size() >= 2 ? networkId(host, networkName(members, host)) : 0;
        if (members.size() >= 2 && !network) {
            if (error)
                *error = QStringLiteral("cannot store the network %1: %2").arg(host, m_db.lastError());
            return false;
        }
        QSqlQuery &setNetwork =
            m_db.prepare(QStringLiteral("UPDATE stations SET network_id = ? WHERE id = ?"));
        setNetwork.addBindValue(network ? QVariant(network) : QVariant());
        setNetwork.addBindValue(stationId);
        if (!m_db.exec(setNetwork))
            return error && (*error = m_db.lastError(), false);

        // Streams: the main address first, then the alternatives in key order.
        QSqlQuery &clear = m_db.prepare(QStringLiteral("DELETE FROM streams WHERE station_id = ?"));
        clear.addBindValue(stationId);
        if (!m_db.exec(clear))
            return error && (*error = m_db.lastError(), false);
        struct S
        {
            QString url, codec;
            int bitrate;
        };
        QList<S> streams{
            {mainUrl, s.value(QLatin1String("Codec")).toString(), s.value(QLatin1String("Bitrate")).toInt()}};
        const QJsonObject alt = s.value(QLatin1String("alternativeStreams")).toObject();
        for (auto a = alt.constBegin(); a != alt.constEnd(); ++a) {
            const QJsonObject o = a.value().toObject();
            const QString url = o.value(QLatin1String("StreamUri")).toString().trimmed();
            if (validUrl(url) && url != mainUrl)
                streams.append({url, o.value(QLatin1String("Codec")).toString(),
                                o.value(QLatin1String("Bitrate")).toInt()});
        }
        int position = 0;
        for (const S &st : std::as_const(streams)) {
            if (position >= 16)
                break;
            QSqlQuery &ins = m_db.prepare(QStringLiteral(
                "INSERT INTO streams (station_id, position, url, type, bitrate) VALUES (?, ?, ?, ?, ?)"));
            ins.addBindValue(stationId);
            ins.addBindValue(position++);
            ins.addBindValue(st.url);
            ins.addBindValue(streamType(st.codec, st.url));
            ins.addBindValue(qBound(0, st.bitrate, 100000));
            if (!m_db.exec(ins))
                return error && (*error = m_db.lastError(), false);
            ++r.streams;
        }

        // Genres.
        QSqlQuery &clearGenres =
            m_db.prepare(QStringLiteral("DELETE FROM station_genres WHERE station_id = ?"));
        clearGenres.addBindValue(stationId);
        if (!m_db.exec(clearGenres))
            return error && (*error = m_db.lastError(), false);
        QStringList genreNames;
        QList<qint64> seen;
        position = 0;
        for (const QJsonValue gv : s.value(QLatin1String("Genre")).toArray()) {
            if (position >= 16)
                break;
            const QString tag = clip(gv.toString(), 80);
            const qint64 gid = genreId(tag);
            if (!gid || seen.contains(gid))
                continue;
            seen << gid;
            QSqlQuery &ins = m_db.prepare(QStringLiteral(
                "INSERT INTO station_genres (station_id, genre_id, position) VALUES (?, ?, ?)"));
            ins.addBindValue(stationId);
            ins.addBindValue(gid);
            ins.addBindValue(position++);
            if (!m_db.exec(ins))
                return error && (*error = m_db.lastError(), false);
            genreNames << tag << m_map.groupOf(tag);
        }

        QSqlQuery &np = m_db.prepare(QStringLiteral("SELECT title FROM now_playing WHERE station_id = ?"));
        np.addBindValue(stationId);
        QString playing;
        if (m_db.exec(np) && np.next())
            playing = np.value(0).toString();
        np.finish();
        if (!index.put(stationId, {name, genreNames.join(QLatin1Char(' ')), location, playing}))
            return error && (*error = m_db.lastError(), false);
        ++r.stations;
    }
    if (!tx.commit()) {
        if (error)
            *error = QStringLiteral("cannot commit the import: %1").arg(m_db.lastError());
        return false;
    }
    return true;
}
