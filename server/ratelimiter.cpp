#include "ratelimiter.h"

void RateLimiter::prune(QList<qint64> &times, qint64 nowMs) const
{
    while (!times.isEmpty() && times.first() <= nowMs - m_windowMs)
        times.removeFirst();
}

bool RateLimiter::blocked(const QString &key, qint64 nowMs)
{
    auto it = m_failures.find(key);
    if (it == m_failures.end())
        return false;
    prune(*it, nowMs);
    if (it->isEmpty()) {
        m_failures.erase(it);
        return false;
    }
    return it->size() >= m_limit;
}

void RateLimiter::fail(const QString &key, qint64 nowMs)
{
    if (m_failures.size() >= m_maxKeys && !m_failures.contains(key)) {
        // Drop keys whose failures have all expired; if none have, forget the whole table
        // rather than grow without bound.
        for (auto it = m_failures.begin(); it != m_failures.end();) {
            prune(*it, nowMs);
            it = it->isEmpty() ? m_failures.erase(it) : std::next(it);
        }
        if (m_failures.size() >= m_maxKeys)
            m_failures.clear();
    }
    QList<qint64> &times = m_failures[key];
    prune(times, nowMs);
    times.append(nowMs);
    while (times.size() > m_limit)
        times.removeFirst();
}

QString RateLimiter::addressKey(const QHostAddress &address)
{
    bool v4 = false;
    const quint32 ip4 = address.toIPv4Address(&v4);
    if (v4)
        return QHostAddress(ip4).toString();
    Q_IPV6ADDR ip6 = address.toIPv6Address();
    for (int i = 8; i < 16; ++i)
        ip6[i] = 0;
    return QHostAddress(ip6).toString() + QLatin1String("/64");
}
