#include "stationstore.h"

#include "database.h"
#include "searchindex.h"
#include "textnorm.h"
#include "xmlwriter.h"

#include <QDateTime>
#include <QHash>
#include <QSqlQuery>
#include <QVariant>

// ---------------------------------------------------------------------------------------------
// Stream filter

namespace {

// Format names a request may carry, and the stream type each stands for.
struct FormatName
{
    const char *name;
    const char *type;
};
const FormatName FormatNames[] = {
    {"mp3", "mp3"}, {"aac", "mp4"}, {"mp4", "mp4"},   {"ogg", "ogg"},
    {"wm", "wm"},   {"wma", "wm"},  {"real", "real"},
};
const char *const KnownTypes[] = {"mp3", "mp4", "ogg", "wm", "real"};

void bindAll(QSqlQuery &q, const QVariantList &values)
{
    for (const QVariant &v : values)
        q.addBindValue(v);
}

} // namespace

StreamFilter StreamFilter::fromRequest(int minKbps, int maxKbps, const QString &formats)
{
    StreamFilter f;
    f.minKbps = qMax(0, minKbps);
    // The player sends no upper bound above 768; larger numbers mean none.
    f.maxKbps = maxKbps > 0 && maxKbps < 769 ? maxKbps : 0;
    const QStringList names = formats.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &n : names) {
        for (const FormatName &fn : FormatNames) {
            if (n.trimmed().compare(QLatin1String(fn.name), Qt::CaseInsensitive) == 0)
                f.types.insert(QLatin1String(fn.type));
        }
    }
    return f;
}

QStringList StreamFilter::excludedTypes() const
{
    QStringList out;
    if (types.isEmpty())
        return out;
    for (const char *t : KnownTypes) {
        if (!types.contains(QLatin1String(t)))
            out << QLatin1String(t);
    }
    return out;
}

bool StreamFilter::accepts(const QString &type, int bitrate) const
{
    if (!types.isEmpty() && !types.contains(type)) {
        for (const char *known : KnownTypes) {
            if (type == QLatin1String(known))
                return false;
        }
    }
    if (bitrate == 0)
        return true;
    if (minKbps > 0 && bitrate < minKbps)
        return false;
    if (maxKbps > 0 && bitrate > maxKbps)
        return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Loading stations by id

QString StationStore::placeholders(int count) const
{
    QString s;
    s.reserve(count * 3);
    for (int i = 0; i < count; ++i)
        s += i ? QLatin1String(", ?") : QLatin1String("?");
    return s;
}

bool StationStore::load(const QList<qint64> &ids, qint64 accountId, const StreamFilter &filter,
                        QList<StationRow> *out)
{
    out->clear();
    if (ids.isEmpty())
        return true;
    QHash<qint64, StationRow> rows;
    // Id lists are padded to a few fixed sizes so that a handful of prepared statements serve
    // every page.
    static const int Buckets[] = {8, 32, 128};
    for (qsizetype from = 0; from < ids.size(); from += 128) {
        const QList<qint64> chunk = ids.mid(from, 128);
        int size = 128;
        for (int b : Buckets) {
            if (chunk.size() <= b) {
                size = b;
                break;
            }
        }
        QVariantList binds;
        for (int i = 0; i < size; ++i)
            binds << (i < chunk.size() ? chunk.at(i) : qint64(-1));
        const QString in = placeholders(size);

        QSqlQuery &q = m_db.prepare(
            QStringLiteral(
                "SELECT s.id, s.name, s.website, COALESCE(c.name, ''), s.location, COALESCE(np.artist, ''), "
                "COALESCE(np.song, '') FROM stations s LEFT JOIN countries c ON c.code = s.country_code LEFT "
                "JOIN "
                "now_playing np ON np.station_id = s.id WHERE s.id IN (%1)")
                .arg(in));
        bindAll(q, binds);
        if (!m_db.exec(q))
            return false;
        while (q.next()) {
            StationRow r;
            r.id = q.value(0).toLongLong();
            r.name = q.value(1).toString();
            r.website = q.value(2).toString();
            r.countryName = q.value(3).toString();
            r.location = q.value(4).toString();
            r.artist = q.value(5).toString();
            r.song = q.value(6).toString();
            rows.insert(r.id, r);
        }
        q.finish();

        QSqlQuery &n = m_db.prepare(
            QStringLiteral("SELECT s.id, n.id, n.name, n.website FROM stations s JOIN networks n ON n.id = "
                           "s.network_id WHERE s.id IN (%1)")
                .arg(in));
        bindAll(n, binds);
        if (!m_db.exec(n))
            return false;
        while (n.next()) {
            auto it = rows.find(n.value(0).toLongLong());
            if (it == rows.end())
                continue;
            it->networkId = n.value(1).toLongLong();
            it->networkName = n.value(2).toString();
            it->networkWebsite = n.value(3).toString();
        }
        n.finish();

        QSqlQuery &st = m_db.prepare(
            QStringLiteral(
                "SELECT station_id, url, type, bitrate, position FROM streams WHERE station_id IN (%1) "
                "ORDER BY station_id, position")
                .arg(in));
        bindAll(st, binds);
        if (!m_db.exec(st))
            return false;
        while (st.next()) {
            auto it = rows.find(st.value(0).toLongLong());
            if (it == rows.end())
                continue;
            const QString type = st.value(2).toString();
            const int bitrate = st.value(3).toInt();
            if (filter.accepts(type, bitrate))
                it->streams.append({st.value(1).toString(), type, bitrate, st.value(4).toInt()});
        }
        st.finish();

        QSqlQuery &g =
            m_db.prepare(QStringLiteral("SELECT sg.station_id, g.name FROM station_genres sg JOIN genres g "
                                        "ON g.id = sg.genre_id WHERE "
                                        "sg.station_id IN (%1) ORDER BY sg.station_id, sg.position")
                             .arg(in));
        bindAll(g, binds);
        if (!m_db.exec(g))
            return false;
        while (g.next()) {
            auto it = rows.find(g.value(0).toLongLong());
            if (it != rows.end())
                it->genres << g.value(1).toString();
        }
        g.finish();

        if (accountId > 0) {
            QSqlQuery &f = m_db.prepare(
                QStringLiteral("SELECT station_id FROM favorites WHERE account_id = ? AND station_id IN (%1)")
                    .arg(in));
            f.addBindValue(accountId);
            bindAll(f, binds);
            if (!m_db.exec(f))
                return false;
            while (f.next()) {
                auto it = rows.find(f.value(0).toLongLong());
                if (it != rows.end())
                    it->favorite = true;
            }
            f.finish();
        }
    }
    for (qint64 id : ids) {
        auto it = rows.constFind(id);
        if (it != rows.constEnd())
            out->append(*it);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Search

QString StationStore::countryCode(const QString &nameOrCode)
{
    QSqlQuery &q = m_db.prepare(QStringLiteral("SELECT code, name FROM countries WHERE code = ?"));
    q.addBindValue(nameOrCode.trimmed().toUpper());
    if (m_db.exec(q) && q.next())
        return q.value(0).toString();
    q.finish();
    const QString key = TextNorm::sortKey(nameOrCode);
    QSqlQuery &all = m_db.prepare(QStringLiteral("SELECT code, name FROM countries"));
    if (!m_db.exec(all))
        return QString();
    while (all.next()) {
        if (TextNorm::sortKey(all.value(1).toString()) == key)
            return all.value(0).toString();
    }
    return QString();
}

qint64 StationStore::subsectionId(const QString &codeOrName, const QString &countryCode)
{
    QSqlQuery &q = m_db.prepare(QStringLiteral("SELECT id FROM subsections WHERE code = ?"));
    q.addBindValue(codeOrName.trimmed().toUpper());
    if (m_db.exec(q) && q.next())
        return q.value(0).toLongLong();
    q.finish();
    if (countryCode.isEmpty())
        return 0;
    QSqlQuery &byName = m_db.prepare(QStringLiteral("SELECT id FROM subsections WHERE code = ?"));
    byName.addBindValue(QString(countryCode + QLatin1Char('-') + TextNorm::slug(codeOrName)));
    if (m_db.exec(byName) && byName.next())
        return byName.value(0).toLongLong();
    return 0;
}

bool StationStore::search(const SearchQuery &query, const StreamFilter &filter, int page, int limit,
                          qint64 accountId, StationPage *out)
{
    out->total = 0;
    out->limit = limit;
    out->page = page;
    out->stations.clear();

    SearchQuery q = query;
    if (!q.bareCode.isEmpty() && q.genres.isEmpty() && q.countries.isEmpty() && q.states.isEmpty()) {
        const QString code = countryCode(q.bareCode);
        if (!code.isEmpty()) {
            q.countries << code;
            q.words.clear();
        } else if (subsectionId(q.bareCode, QString())) {
            q.states << q.bareCode;
            q.words.clear();
        }
    }
    if (q.words.isEmpty() && q.genres.isEmpty() && q.countries.isEmpty() && q.states.isEmpty())
        return true;

    SearchIndex index(m_db);
    QString from = QStringLiteral(" FROM stations s");
    QString where = QStringLiteral(" WHERE 1 = 1");
    QVariantList binds;
    QString matchArg;
    if (!q.words.isEmpty()) {
        matchArg = index.matchArgument(q.words);
        from += index.joinClause();
        where += QLatin1String(" AND ") + index.matchCondition();
        binds << matchArg;
    }
    QString firstCountry;
    for (const QString &c : std::as_const(q.countries)) {
        const QString code = countryCode(c);
        if (code.isEmpty())
            return true; // an unknown country selects nothing
        if (firstCountry.isEmpty())
            firstCountry = code;
        where += QLatin1String(" AND s.country_code = ?");
        binds << code;
    }
    for (const QString &st : std::as_const(q.states)) {
        const qint64 id = subsectionId(st, firstCountry);
        if (!id)
            return true;
        where += QLatin1String(" AND s.subsection_id = ?");
        binds << id;
    }
    for (const QString &g : std::as_const(q.genres)) {
        QSqlQuery &gq = m_db.prepare(QStringLiteral("SELECT id FROM genres WHERE name_key = ?"));
        gq.addBindValue(TextNorm::sortKey(g));
        if (!m_db.exec(gq))
            return false;
        if (!gq.next())
            return true;
        const qint64 gid = gq.value(0).toLongLong();
        gq.finish();
        where +=
            QLatin1String(" AND EXISTS (SELECT 1 FROM station_genres sg JOIN genres g ON g.id = sg.genre_id "
                          "WHERE sg.station_id = s.id AND (g.id = ? OR g.parent_id = ?))");
        binds << gid << gid;
    }
    if (filter.restricts()) {
        where += QLatin1String(
            " AND EXISTS (SELECT 1 FROM streams st WHERE st.station_id = s.id AND (st.bitrate = "
            "0 OR (st.bitrate >= ? AND st.bitrate <= ?))");
        binds << filter.minKbps << (filter.maxKbps > 0 ? filter.maxKbps : 1000000);
        const QStringList excluded = filter.excludedTypes();
        if (!excluded.isEmpty()) {
            where += QLatin1String(" AND st.type NOT IN (") + placeholders(int(excluded.size())) +
                     QLatin1Char(')');
            for (const QString &t : excluded)
                binds << t;
        }
        where += QLatin1Char(')');
    }

    // The same search with the same filter shares one ranked list while it is fresh.
    QString key = q.words.join(QLatin1Char(' ')) + QLatin1Char('\x1f') + q.genres.join(QLatin1Char('\x1e')) +
                  QLatin1Char('\x1f') + q.countries.join(QLatin1Char('\x1e')) + QLatin1Char('\x1f') +
                  q.states.join(QLatin1Char('\x1e')) + QLatin1Char('\x1f') +
                  QStringLiteral("%1-%2-").arg(filter.minKbps).arg(filter.maxKbps) +
                  filter.excludedTypes().join(QLatin1Char(','));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 first = qint64(page) * limit;
    auto cached = m_searches.constFind(key);
    if (cached != m_searches.constEnd() && cached->expiresMs > now &&
        (first + limit <= cached->ids.size() || cached->ids.size() == cached->total)) {
        out->total = cached->total;
        return load(cached->ids.mid(first, limit), accountId, filter, &out->stations);
    }

    QSqlQuery &count = m_db.prepare(QLatin1String("SELECT count(*)") + from + where);
    bindAll(count, binds);
    if (!m_db.exec(count) || !count.next())
        return false;
    out->total = count.value(0).toLongLong();
    count.finish();
    if (out->total == 0 || first >= out->total)
        return true;

    // Pages within the first CachedResults results come from one ranked list of them.
    const bool cache = m_searchCacheMs > 0 && first + limit <= CachedResults;
    QString order = QStringLiteral(" ORDER BY ");
    if (!matchArg.isEmpty())
        order += index.rankOrder() + QLatin1String(", ");
    order += QLatin1String("s.sort_name, s.id LIMIT ? OFFSET ?");
    QSqlQuery &sel = m_db.prepare(QLatin1String("SELECT s.id") + from + where + order);
    bindAll(sel, binds);
    if (!matchArg.isEmpty() && m_db.isPostgres())
        sel.addBindValue(matchArg);
    sel.addBindValue(cache ? CachedResults : limit);
    sel.addBindValue(cache ? 0 : first);
    if (!m_db.exec(sel))
        return false;
    QList<qint64> ids;
    while (sel.next())
        ids << sel.value(0).toLongLong();
    sel.finish();
    if (cache) {
        if (m_searches.size() >= CachedSearches) {
            for (auto it = m_searches.begin(); it != m_searches.end();)
                it = it->expiresMs <= now ? m_searches.erase(it) : std::next(it);
            if (m_searches.size() >= CachedSearches)
                m_searches.clear();
        }
        m_searches.insert(key, {ids, out->total, now + m_searchCacheMs});
        ids = ids.mid(first, limit);
    }
    return load(ids, accountId, filter, &out->stations);
}

// ---------------------------------------------------------------------------------------------
// Favourites, history, playing now

bool StationStore::listed(const QString &sql, qint64 accountId, int max, const StreamFilter &filter,
                          StationPage *out)
{
    QSqlQuery &q = m_db.prepare(sql);
    q.addBindValue(accountId);
    q.addBindValue(max);
    if (!m_db.exec(q))
        return false;
    QList<qint64> ids;
    while (q.next())
        ids << q.value(0).toLongLong();
    q.finish();
    if (!load(ids, accountId, filter, &out->stations))
        return false;
    // One page holding everything.
    out->total = out->stations.size();
    out->limit = int(out->total);
    out->page = 0;
    return true;
}

bool StationStore::favorites(qint64 accountId, int max, const StreamFilter &filter, StationPage *out)
{
    return listed(
        QStringLiteral("SELECT f.station_id FROM favorites f JOIN stations s ON s.id = f.station_id WHERE "
                       "f.account_id = ? ORDER BY s.sort_name, s.id LIMIT ?"),
        accountId, max, filter, out);
}

bool StationStore::history(qint64 accountId, int max, const StreamFilter &filter, StationPage *out)
{
    return listed(
        QStringLiteral("SELECT station_id FROM history WHERE account_id = ? ORDER BY listened_at DESC, "
                       "station_id LIMIT ?"),
        accountId, max, filter, out);
}

bool StationStore::playingNow(const QList<qint64> &ids, QList<StationRow> *out)
{
    return load(ids, 0, StreamFilter(), out);
}

bool StationStore::stationExists(qint64 id)
{
    QSqlQuery &q = m_db.prepare(QStringLiteral("SELECT 1 FROM stations WHERE id = ?"));
    q.addBindValue(id);
    const bool found = m_db.exec(q) && q.next();
    q.finish();
    return found;
}

QList<StreamRow> StationStore::streamsOf(qint64 id, QString *name)
{
    QList<StreamRow> out;
    QSqlQuery &n = m_db.prepare(QStringLiteral("SELECT name FROM stations WHERE id = ?"));
    n.addBindValue(id);
    if (!m_db.exec(n) || !n.next())
        return out;
    if (name)
        *name = n.value(0).toString();
    n.finish();
    QSqlQuery &q = m_db.prepare(
        QStringLiteral("SELECT url, type, bitrate, position FROM streams WHERE station_id = ? ORDER BY "
                       "position"));
    q.addBindValue(id);
    if (!m_db.exec(q))
        return out;
    while (q.next())
        out.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toInt(), q.value(3).toInt()});
    q.finish();
    return out;
}

bool StationStore::addFavorite(qint64 accountId, qint64 stationId, int limit, bool *limitReached)
{
    *limitReached = false;
    if (!stationExists(stationId))
        return false;
    QSqlQuery &c = m_db.prepare(QStringLiteral("SELECT count(*) FROM favorites WHERE account_id = ?"));
    c.addBindValue(accountId);
    if (!m_db.exec(c) || !c.next())
        return false;
    const qint64 count = c.value(0).toLongLong();
    c.finish();
    QSqlQuery &has =
        m_db.prepare(QStringLiteral("SELECT 1 FROM favorites WHERE account_id = ? AND station_id = ?"));
    has.addBindValue(accountId);
    has.addBindValue(stationId);
    const bool already = m_db.exec(has) && has.next();
    has.finish();
    if (already)
        return true;
    if (count >= limit) {
        *limitReached = true;
        return true;
    }
    QSqlQuery &q = m_db.prepare(QStringLiteral(
        "INSERT INTO favorites (account_id, station_id, added_at) VALUES (?, ?, ?) ON CONFLICT (account_id, "
        "station_id) DO NOTHING"));
    q.addBindValue(accountId);
    q.addBindValue(stationId);
    q.addBindValue(QDateTime::currentSecsSinceEpoch());
    return m_db.exec(q);
}

bool StationStore::removeFavorite(qint64 accountId, qint64 stationId)
{
    QSqlQuery &q =
        m_db.prepare(QStringLiteral("DELETE FROM favorites WHERE account_id = ? AND station_id = ?"));
    q.addBindValue(accountId);
    q.addBindValue(stationId);
    return m_db.exec(q);
}

bool StationStore::recordListen(qint64 accountId, qint64 stationId, int historyLength)
{
    Transaction tx(m_db);
    QSqlQuery &count =
        m_db.prepare(QStringLiteral("UPDATE stations SET listen_count = listen_count + 1 WHERE id = ?"));
    count.addBindValue(stationId);
    if (!m_db.exec(count))
        return false;
    if (accountId > 0) {
        QSqlQuery &h =
            m_db.prepare(QStringLiteral("INSERT INTO history (account_id, station_id, listened_at) VALUES "
                                        "(?, ?, ?) ON CONFLICT (account_id, "
                                        "station_id) DO UPDATE SET listened_at = excluded.listened_at"));
        h.addBindValue(accountId);
        h.addBindValue(stationId);
        // Milliseconds keep two listens within one second in order.
        h.addBindValue(QDateTime::currentMSecsSinceEpoch());
        if (!m_db.exec(h))
            return false;
        QSqlQuery &trim =
            m_db.prepare(QStringLiteral("DELETE FROM history WHERE account_id = ? AND station_id NOT IN "
                                        "(SELECT station_id FROM history WHERE "
                                        "account_id = ? ORDER BY listened_at DESC LIMIT ?)"));
        trim.addBindValue(accountId);
        trim.addBindValue(accountId);
        trim.addBindValue(historyLength);
        if (!m_db.exec(trim))
            return false;
    }
    return tx.commit();
}

bool StationStore::setNowPlaying(qint64 stationId, const QString &artist, const QString &song,
                                 const QString &title)
{
    QSqlQuery &q = m_db.prepare(QStringLiteral(
        "INSERT INTO now_playing (station_id, artist, song, title, updated_at) VALUES (?, ?, ?, ?, ?) ON "
        "CONFLICT "
        "(station_id) DO UPDATE SET artist = excluded.artist, song = excluded.song, title = excluded.title, "
        "updated_at = excluded.updated_at"));
    q.addBindValue(stationId);
    q.addBindValue(artist);
    q.addBindValue(song);
    q.addBindValue(title);
    q.addBindValue(QDateTime::currentSecsSinceEpoch());
    if (!m_db.exec(q))
        return false;
    return SearchIndex(m_db).putPlaying(stationId, title);
}

qint64 StationStore::stationCount()
{
    QSqlQuery &q = m_db.prepare(QStringLiteral("SELECT count(*) FROM stations"));
    if (!m_db.exec(q) || !q.next())
        return -1;
    const qint64 n = q.value(0).toLongLong();
    q.finish();
    return n;
}

// ---------------------------------------------------------------------------------------------
// Genre and region lists

void StationStore::invalidateLists()
{
    m_genreList.clear();
    m_regionList.clear();
    m_searches.clear();
}

QByteArray StationStore::genreList()
{
    if (!m_genreList.isEmpty())
        return m_genreList;
    struct G
    {
        qint64 id;
        QString name, description;
        qint64 stations = 0;
        QList<int> subs;
    };
    QList<G> all;
    QHash<qint64, int> index;
    QSqlQuery &q = m_db.prepare(QStringLiteral(
        "SELECT g.id, g.name, g.description, g.parent_id, (SELECT count(*) FROM station_genres sg WHERE "
        "sg.genre_id = g.id) FROM genres g ORDER BY g.position, g.name"));
    if (!m_db.exec(q))
        return QByteArray();
    QList<QPair<int, qint64>> parentOf;
    while (q.next()) {
        index.insert(q.value(0).toLongLong(), int(all.size()));
        all.append({q.value(0).toLongLong(),
                    q.value(1).toString(),
                    q.value(2).toString(),
                    q.value(4).toLongLong(),
                    {}});
        parentOf.append({int(all.size() - 1), q.value(3).isNull() ? 0 : q.value(3).toLongLong()});
    }
    q.finish();
    QList<int> top;
    for (const auto &[i, parent] : std::as_const(parentOf)) {
        if (parent == 0)
            top << i;
        else if (index.contains(parent) && all[i].stations > 0)
            all[index.value(parent)].subs << i;
    }
    XmlWriter w;
    w.start("tunora");
    w.start("genres");
    for (int t : std::as_const(top)) {
        const G &g = all[t];
        if (g.stations == 0 && g.subs.isEmpty())
            continue;
        w.start("genre");
        w.element("name", g.name);
        w.element("description", g.description);
        w.end();
        // Every top-level genre is followed by its (possibly empty) list of sub-genres: the
        // player announces a genre when that list ends.
        w.start("genres");
        QList<int> subs = g.subs;
        std::sort(subs.begin(), subs.end(), [&](int a, int b) {
            return TextNorm::sortKey(all[a].name) < TextNorm::sortKey(all[b].name);
        });
        for (int s : std::as_const(subs)) {
            w.start("genre");
            w.element("name", all[s].name);
            w.element("description", all[s].description);
            w.end();
        }
        w.end();
    }
    m_genreList = w.finish();
    return m_genreList;
}

QByteArray StationStore::regionList()
{
    if (!m_regionList.isEmpty())
        return m_regionList;
    QSqlQuery &c = m_db.prepare(
        QStringLiteral("SELECT r.name, c.code, c.name FROM countries c JOIN regions r ON r.id = c.region_id "
                       "WHERE EXISTS (SELECT 1 "
                       "FROM stations s WHERE s.country_code = c.code) ORDER BY r.position, c.name"));
    if (!m_db.exec(c))
        return QByteArray();
    struct C
    {
        QString region, code, name;
    };
    QList<C> countries;
    while (c.next())
        countries.append({c.value(0).toString(), c.value(1).toString(), c.value(2).toString()});
    c.finish();
    QSqlQuery &s = m_db.prepare(QStringLiteral("SELECT ss.country_code, ss.code, ss.name FROM subsections ss "
                                               "WHERE EXISTS (SELECT 1 FROM stations st WHERE "
                                               "st.subsection_id = ss.id) ORDER BY ss.name"));
    if (!m_db.exec(s))
        return QByteArray();
    QHash<QString, QList<QPair<QString, QString>>> subs;
    while (s.next())
        subs[s.value(0).toString()].append({s.value(1).toString(), s.value(2).toString()});
    s.finish();

    XmlWriter w;
    w.start("tunora");
    w.start("regions");
    QString current;
    for (const C &country : std::as_const(countries)) {
        if (country.region != current) {
            if (!current.isEmpty()) {
                w.end(); // countries
                w.end(); // region
            }
            current = country.region;
            w.start("region");
            w.element("name", current);
            w.start("countries");
        }
        w.start("country");
        w.element("name", country.name);
        w.element("code", country.code);
        w.element("search", QStringLiteral("country:\"%1\"").arg(country.code));
        const auto it = subs.constFind(country.code);
        if (it != subs.constEnd()) {
            w.start("subsections");
            for (const auto &[code, name] : *it) {
                w.start("subsection");
                w.element("name", name);
                w.element("code", code);
                w.element("search", QStringLiteral("country:\"%1\" state:\"%2\"").arg(country.code, code));
                w.end();
            }
            w.end();
        }
        w.end();
    }
    m_regionList = w.finish();
    return m_regionList;
}
