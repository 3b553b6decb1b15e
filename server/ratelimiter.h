#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>

// Counts failures per key within a sliding window; a key with `limit` failures inside the window
// is blocked until the oldest of them leaves it. Keys are account names (folded) and client
// addresses (IPv6 grouped by /64, so one host cannot rotate through its own prefix).
class RateLimiter
{
public:
    RateLimiter(int limit, int windowSeconds, int maxKeys = 100000)
        : m_limit(limit)
        , m_windowMs(qint64(windowSeconds) * 1000)
        , m_maxKeys(maxKeys)
    {}

    bool blocked(const QString &key, qint64 nowMs);
    void fail(const QString &key, qint64 nowMs);
    void clear(const QString &key) { m_failures.remove(key); }
    qsizetype keyCount() const { return m_failures.size(); }

    static QString addressKey(const QHostAddress &address);

private:
    void prune(QList<qint64> &times, qint64 nowMs) const;

    int m_limit;
    qint64 m_windowMs;
    int m_maxKeys;
    QHash<QString, QList<qint64>> m_failures;
};
