#include "searchindex.h"

#include "database.h"
#include "textnorm.h"

#include <QSqlQuery>

bool SearchIndex::put(qint64 stationId, const Document &doc)
{
    const QString name = TextNorm::fold(doc.name);
    const QString genres = TextNorm::fold(doc.genres);
    const QString location = TextNorm::fold(doc.location);
    const QString playing = TextNorm::fold(doc.playing);
    if (m_db.isPostgres()) {
        QSqlQuery &q = m_db.prepare(QStringLiteral(
            "INSERT INTO station_search (station_id, doc) VALUES (?, setweight(to_tsvector('simple', ?), "
            "'A') || "
            "setweight(to_tsvector('simple', ?), 'B') || setweight(to_tsvector('simple', ?), 'C') || "
            "setweight(to_tsvector('simple', ?), 'B')) ON CONFLICT (station_id) DO UPDATE SET doc = "
            "excluded.doc"));
        q.addBindValue(stationId);
        q.addBindValue(name);
        q.addBindValue(genres);
        q.addBindValue(location);
        q.addBindValue(playing);
        return m_db.exec(q);
    }
    QSqlQuery &del = m_db.prepare(QStringLiteral("DELETE FROM station_fts WHERE rowid = ?"));
    del.addBindValue(stationId);
    if (!m_db.exec(del))
        return false;
    QSqlQuery &ins = m_db.prepare(QStringLiteral(
        "INSERT INTO station_fts (rowid, name, genres, location, playing) VALUES (?, ?, ?, ?, ?)"));
    ins.addBindValue(stationId);
    ins.addBindValue(name);
    ins.addBindValue(genres);
    ins.addBindValue(location);
    ins.addBindValue(playing);
    return m_db.exec(ins);
}

bool SearchIndex::loadDocument(qint64 stationId, Document *doc)
{
    QSqlQuery &q = m_db.prepare(QStringLiteral(
        "SELECT s.name, s.location, COALESCE(c.name, '') FROM stations s LEFT JOIN countries c ON c.code = "
        "s.country_code WHERE s.id = ?"));
    q.addBindValue(stationId);
    if (!m_db.exec(q) || !q.next())
        return false;
    doc->name = q.value(0).toString();
    doc->location = q.value(1).toString() + QLatin1Char(' ') + q.value(2).toString();
    q.finish();
    QSqlQuery &g = m_db.prepare(QStringLiteral(
        "SELECT g.name, COALESCE(p.name, '') FROM station_genres sg JOIN genres g ON g.id = sg.genre_id LEFT "
        "JOIN genres p ON p.id = g.parent_id WHERE sg.station_id = ? ORDER BY sg.position"));
    g.addBindValue(stationId);
    if (!m_db.exec(g))
        return false;
    QStringList parts;
    while (g.next())
        parts << g.value(0).toString() << g.value(1).toString();
    doc->genres = parts.join(QLatin1Char(' '));
    return true;
}

bool SearchIndex::putPlaying(qint64 stationId, const QString &playing)
{
    Document doc;
    if (!loadDocument(stationId, &doc))
        return false;
    doc.playing = playing;
    return put(stationId, doc);
}

QString SearchIndex::joinClause() const
{
    return m_db.isPostgres() ? QStringLiteral(" JOIN station_search ss ON ss.station_id = s.id")
                             : QStringLiteral(" JOIN station_fts ON station_fts.rowid = s.id");
}

QString SearchIndex::matchCondition() const
{
    return m_db.isPostgres() ? QStringLiteral("ss.doc @@ to_tsquery('simple', ?)")
                             : QStringLiteral("station_fts MATCH ?");
}

QString SearchIndex::rankOrder() const
{
    // The PostgreSQL rank needs the query again: the caller binds matchArgument twice.
    return m_db.isPostgres() ? QStringLiteral("ts_rank(ss.doc, to_tsquery('simple', ?)) DESC")
                             : QStringLiteral("bm25(station_fts, 10.0, 4.0, 2.0, 3.0)");
}

QString SearchIndex::matchArgument(const QStringList &tokens) const
{
    QStringList parts;
    for (const QString &t : tokens) {
        // Tokens hold only letters and digits, so quoting them is enough for both syntaxes.
        if (m_db.isPostgres())
            parts << QLatin1Char('\'') + t + QLatin1String("':*");
        else
            parts << QLatin1Char('"') + t + QLatin1String("\"*");
    }
    return parts.join(m_db.isPostgres() ? QStringLiteral(" & ") : QStringLiteral(" "));
}
