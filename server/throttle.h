#pragma once

#include <QString>

class Database;

// Attempt counters kept in the database, shared by every instance that uses it. An attempt is
// counted before the work it guards (a password hash, an account, a mail), in one transaction
// per key, so that parallel requests get the same answers as the same requests one after the
// other, on one instance or spread over several. A success gives its attempt back.
class Throttle
{
public:
    struct Rule
    {
        // Attempts allowed within the window.
        int limit = 5;
        qint64 windowMs = 900000;
        // With a delay, attempts beyond the limit are not refused for the whole window: each
        // one is let through once the time since the last attempt reaches the delay, which
        // doubles with every attempt over the limit (and never exceeds the window).
        qint64 delayMs = 0;
    };
    enum class Result
    {
        Allowed,
        Limited,
        // The database could not be read or written: nothing was counted.
        Failed
    };
    struct Take
    {
        Result result = Result::Failed;
        // Attempts counted under the key within the window, this one included when allowed.
        int hits = 0;
    };

    explicit Throttle(Database &db)
        : m_db(db)
    {}

    Take take(const QString &key, const Rule &rule, qint64 nowMs);
    // Gives back one counted attempt (the attempt succeeded).
    bool give(const QString &key);
    bool clear(const QString &key);

private:
    void prune(qint64 nowMs);

    Database &m_db;
    qint64 m_lastPruneMs = 0;
};
