#pragma once

#include "config.h"

#include <QHash>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

// The service's one database connection (SQLite or PostgreSQL through Qt SQL), its schema and
// its prepared statements. Every statement is prepared once with placeholders and reused; no
// value is ever spliced into SQL text. Lives on the thread that created it.
class Database
{
public:
    enum class Dialect
    {
        SQLite,
        PostgreSQL
    };

    explicit Database(const ServiceConfig &config);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    bool open(QString *error);
    bool isOpen() const { return m_db.isOpen(); }
    // Closes the connection; the next statement opens it again.
    void close()
    {
        m_db.close();
        m_broken = true;
    }
    // Creates the schema in an empty database and applies every later migration.
    bool migrate(QString *error);
    int schemaVersion();
    static int latestSchemaVersion();

    Dialect dialect() const { return m_dialect; }
    bool isPostgres() const { return m_dialect == Dialect::PostgreSQL; }

    // The cached statement for the SQL text, prepared on first use; reset and ready for binding.
    // The caller reads its rows before preparing the same text again.
    QSqlQuery &prepare(const QString &sql);
    // Runs the prepared statement; a failure is logged with the SQL text (never the values). A null
    // QString is bound as an empty text; SQL NULL is bound with an invalid QVariant.
    bool exec(QSqlQuery &query);
    // Runs a statement without values (schema, pragmas).
    bool run(const QString &sql, QString *error = nullptr);

    bool transaction();
    bool commit();
    void rollback();

    QString lastError() const { return m_lastError; }

    // Resets every cached statement. A statement left open keeps an SQLite read transaction
    // open, and with it an old view of the file that misses what other processes (the import
    // tools) wrote; this runs by itself whenever control returns to the event loop.
    void releaseStatements();

private:
    bool reconnect();
    bool alive();
    void scheduleRelease();

    ServiceConfig m_config;
    Dialect m_dialect = Dialect::SQLite;
    QString m_connectionName;
    QSqlDatabase m_db;
    QHash<QString, QSqlQuery *> m_statements;
    QSqlQuery m_failed;
    QString m_lastError;
    bool m_broken = false;
    bool m_releaseScheduled = false;
    QObject m_context;
};

// Commits on commit(), rolls back when it goes out of scope before that.
class Transaction
{
public:
    explicit Transaction(Database &db)
        : m_db(db)
        , m_active(db.transaction())
    {}
    ~Transaction()
    {
        if (m_active)
            m_db.rollback();
    }
    bool active() const { return m_active; }
    bool commit()
    {
        if (!m_active)
            return false;
        m_active = false;
        return m_db.commit();
    }

private:
    Database &m_db;
    bool m_active;
};
