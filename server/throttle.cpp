#include "throttle.h"

#include "database.h"

#include <QSqlQuery>

namespace {

// Rows older than this are gone for every rule (the longest window is a day).
constexpr qint64 KeepMs = 24 * 3600 * 1000LL;
constexpr qint64 PruneEveryMs = 10 * 60 * 1000LL;

struct Row
{
    bool found = false;
    int hits = 0;
    qint64 firstAt = 0;
    qint64 lastAt = 0;
};

bool expired(const Row &row, const Throttle::Rule &rule, qint64 nowMs)
{
    // A key with delays forgets once quiet for a whole window; a plain one when its window ends.
    const qint64 from = rule.delayMs > 0 ? row.lastAt : row.firstAt;
    return from <= nowMs - rule.windowMs;
}

} // namespace

Throttle::Take Throttle::take(const QString &key, const Rule &rule, qint64 nowMs)
{
    prune(nowMs);
    Take out;
    Transaction tx(m_db);
    if (!tx.active())
        return out;
    if (m_db.isPostgres()) {
        // Instances taking the same key one after the other; the lock ends with the transaction.
        QSqlQuery &lock = m_db.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?))"));
        lock.addBindValue(key);
        if (!m_db.exec(lock))
            return out;
        lock.finish();
    }
    QSqlQuery &q = m_db.prepare(QStringLiteral("SELECT hits, first_at, last_at FROM throttle WHERE key = ?"));
    q.addBindValue(key);
    if (!m_db.exec(q))
        return out;
    Row row;
    if (q.next()) {
        row.found = true;
        row.hits = q.value(0).toInt();
        row.firstAt = q.value(1).toLongLong();
        row.lastAt = q.value(2).toLongLong();
    }
    q.finish();
    if (row.found && expired(row, rule, nowMs))
        row = Row();

    bool allowed = row.hits < rule.limit;
    if (!allowed && rule.delayMs > 0) {
        const int over = qMin(row.hits - rule.limit, 30);
        const qint64 delay = qMin(rule.delayMs << over, rule.windowMs);
        allowed = nowMs - row.lastAt >= delay;
    }
    if (!allowed) {
        out.result = Result::Limited;
        out.hits = row.hits;
        return out;
    }
    QSqlQuery &u = m_db.prepare(QStringLiteral(
        "INSERT INTO throttle (key, hits, first_at, last_at) VALUES (?, ?, ?, ?) ON CONFLICT (key) DO UPDATE "
        "SET hits = excluded.hits, first_at = excluded.first_at, last_at = excluded.last_at"));
    u.addBindValue(key);
    u.addBindValue(row.hits + 1);
    u.addBindValue(row.hits > 0 ? row.firstAt : nowMs);
    u.addBindValue(nowMs);
    if (!m_db.exec(u) || !tx.commit())
        return out;
    out.result = Result::Allowed;
    out.hits = row.hits + 1;
    return out;
}

bool Throttle::give(const QString &key)
{
    QSqlQuery &q =
        m_db.prepare(QStringLiteral("UPDATE throttle SET hits = hits - 1 WHERE key = ? AND hits > 0"));
    q.addBindValue(key);
    return m_db.exec(q);
}

bool Throttle::clear(const QString &key)
{
    QSqlQuery &q = m_db.prepare(QStringLiteral("DELETE FROM throttle WHERE key = ?"));
    q.addBindValue(key);
    return m_db.exec(q);
}

void Throttle::prune(qint64 nowMs)
{
    if (nowMs - m_lastPruneMs < PruneEveryMs)
        return;
    m_lastPruneMs = nowMs;
    QSqlQuery &q = m_db.prepare(QStringLiteral("DELETE FROM throttle WHERE last_at < ?"));
    q.addBindValue(nowMs - KeepMs);
    m_db.exec(q);
}
