#include "database.h"

#include <QAtomicInt>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlRecord>
#include <QTimer>

namespace {

QAtomicInt g_connectionCounter;

// The schema, one list of statements per version. "%ID%" becomes the dialect's auto-numbered
// primary key; everything else is the same text for both databases.
const char *const SchemaV1[] = {
    "CREATE TABLE regions (id %ID%, name TEXT NOT NULL UNIQUE, position INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE countries (code TEXT PRIMARY KEY, name TEXT NOT NULL, region_id BIGINT REFERENCES "
    "regions(id))",
    "CREATE TABLE subsections (id %ID%, country_code TEXT NOT NULL REFERENCES countries(code), code TEXT NOT "
    "NULL UNIQUE, name TEXT NOT NULL)",
    "CREATE TABLE genres (id %ID%, name TEXT NOT NULL, name_key TEXT NOT NULL UNIQUE, parent_id BIGINT "
    "REFERENCES genres(id), description TEXT NOT NULL DEFAULT '', position INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX genres_parent ON genres(parent_id)",
    "CREATE TABLE stations (id %ID%, source_key TEXT NOT NULL UNIQUE, name TEXT NOT NULL, sort_name TEXT NOT "
    "NULL, website TEXT NOT NULL DEFAULT '', description TEXT NOT NULL DEFAULT '', country_code TEXT "
    "REFERENCES countries(code), subsection_id BIGINT REFERENCES subsections(id), location TEXT NOT NULL "
    "DEFAULT '', languages TEXT NOT NULL DEFAULT '', added_at BIGINT NOT NULL DEFAULT 0, modified_at BIGINT "
    "NOT NULL DEFAULT 0, listen_count BIGINT NOT NULL DEFAULT 0)",
    "CREATE INDEX stations_sort ON stations(sort_name, id)",
    "CREATE INDEX stations_country ON stations(country_code, sort_name)",
    "CREATE INDEX stations_subsection ON stations(subsection_id, sort_name)",
    "CREATE TABLE streams (id %ID%, station_id BIGINT NOT NULL REFERENCES stations(id) ON DELETE CASCADE, "
    "position INTEGER NOT NULL, url TEXT NOT NULL, type TEXT NOT NULL, bitrate INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX streams_station ON streams(station_id, position)",
    "CREATE TABLE station_genres (station_id BIGINT NOT NULL REFERENCES stations(id) ON DELETE CASCADE, "
    "genre_id BIGINT NOT NULL REFERENCES genres(id), position INTEGER NOT NULL, PRIMARY KEY (station_id, "
    "genre_id))",
    "CREATE INDEX station_genres_genre ON station_genres(genre_id, station_id)",
    "CREATE TABLE now_playing (station_id BIGINT PRIMARY KEY REFERENCES stations(id) ON DELETE CASCADE, "
    "artist TEXT NOT NULL, song TEXT NOT NULL, title TEXT NOT NULL, updated_at BIGINT NOT NULL)",
    "CREATE TABLE accounts (id %ID%, username TEXT NOT NULL, username_key TEXT NOT NULL UNIQUE, email TEXT "
    "NOT NULL, email_key TEXT NOT NULL, password_hash TEXT NOT NULL, activated INTEGER NOT NULL DEFAULT 0, "
    "created_at BIGINT NOT NULL, listen_token TEXT NOT NULL UNIQUE, location TEXT NOT NULL DEFAULT '', "
    "country_code TEXT NOT NULL DEFAULT '', country_name TEXT NOT NULL DEFAULT '', language TEXT NOT NULL "
    "DEFAULT '')",
    "CREATE INDEX accounts_email ON accounts(email_key)",
    "CREATE TABLE account_tokens (token_hash TEXT PRIMARY KEY, account_id BIGINT NOT NULL REFERENCES "
    "accounts(id) ON DELETE CASCADE, purpose TEXT NOT NULL, expires_at BIGINT NOT NULL)",
    "CREATE INDEX account_tokens_account ON account_tokens(account_id, purpose)",
    "CREATE TABLE favorites (account_id BIGINT NOT NULL REFERENCES accounts(id) ON DELETE CASCADE, "
    "station_id "
    "BIGINT NOT NULL REFERENCES stations(id) ON DELETE CASCADE, added_at BIGINT NOT NULL, PRIMARY KEY "
    "(account_id, station_id))",
    "CREATE TABLE history (account_id BIGINT NOT NULL REFERENCES accounts(id) ON DELETE CASCADE, station_id "
    "BIGINT NOT NULL REFERENCES stations(id) ON DELETE CASCADE, listened_at BIGINT NOT NULL, PRIMARY KEY "
    "(account_id, station_id))",
    "CREATE INDEX history_recent ON history(account_id, listened_at)",
    "CREATE TABLE news (id %ID%, language TEXT NOT NULL, title TEXT NOT NULL, link TEXT NOT NULL, "
    "description "
    "TEXT NOT NULL DEFAULT '', published_at BIGINT NOT NULL)",
    "CREATE INDEX news_language ON news(language, published_at)",
    "CREATE TABLE covers (id %ID%, match_key TEXT NOT NULL UNIQUE, search_text TEXT NOT NULL, artist TEXT "
    "NOT "
    "NULL, title TEXT NOT NULL, album TEXT NOT NULL DEFAULT '', artwork60 TEXT NOT NULL DEFAULT '', "
    "artwork100 "
    "TEXT NOT NULL DEFAULT '', artwork170 TEXT NOT NULL DEFAULT '', track_view_url TEXT NOT NULL DEFAULT '', "
    "preview_url TEXT NOT NULL DEFAULT '', genre TEXT NOT NULL DEFAULT '')",
    "CREATE TABLE cover_cache (term_key TEXT PRIMARY KEY, reply TEXT NOT NULL, fetched_at BIGINT NOT NULL)",
};

// The full-text index differs by engine: an FTS5 table keyed by station id, or a tsvector
// column with a GIN index.
const char *const SearchSQLite[] = {
    "CREATE VIRTUAL TABLE station_fts USING fts5(name, genres, location, playing, tokenize = 'unicode61 "
    "remove_diacritics 2')",
};
const char *const SearchPostgres[] = {
    "CREATE TABLE station_search (station_id BIGINT PRIMARY KEY REFERENCES stations(id) ON DELETE CASCADE, "
    "doc "
    "TSVECTOR NOT NULL)",
    "CREATE INDEX station_search_doc ON station_search USING GIN (doc)",
};

// Counters of attempts (sign-ins, sign-ups, name checks, mails) shared by every instance on the
// database, so that limits hold however requests are spread over instances.
const char *const SchemaV2[] = {
    "CREATE TABLE throttle (key TEXT PRIMARY KEY, hits INTEGER NOT NULL, first_at BIGINT NOT NULL, "
    "last_at BIGINT NOT NULL)",
};

// Networks: stations that an operator runs under one web site. Existing stations keep no network
// until the catalogue is imported again.
const char *const SchemaV3[] = {
    "CREATE TABLE networks (id %ID%, host TEXT NOT NULL UNIQUE, name TEXT NOT NULL, website TEXT NOT NULL "
    "DEFAULT '')",
    "ALTER TABLE stations ADD COLUMN network_id BIGINT REFERENCES networks(id)",
    "CREATE INDEX stations_network ON stations(network_id, sort_name)",
};

// When each stream address was last polled for its title, in the database's clock, so that
// instances taking the poller over from one another never poll an address twice in an interval.
const char *const SchemaV4[] = {
    "CREATE TABLE poll_claims (url TEXT PRIMARY KEY, polled_at BIGINT NOT NULL)",
};

} // namespace

Database::Database(const ServiceConfig &config)
    : m_config(config)
    , m_dialect(config.databaseDriver == QLatin1String("postgresql") ? Dialect::PostgreSQL : Dialect::SQLite)
    , m_connectionName(QStringLiteral("tunora-directory-%1").arg(g_connectionCounter.fetchAndAddRelaxed(1)))
{}

Database::~Database()
{
    qDeleteAll(m_statements);
    m_statements.clear();
    m_failed = QSqlQuery();
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

int Database::latestSchemaVersion()
{
    return 4;
}

bool Database::open(QString *error)
{
    if (isPostgres()) {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        m_db.setHostName(m_config.pgHost);
        m_db.setPort(m_config.pgPort);
        m_db.setDatabaseName(m_config.pgDatabase);
        m_db.setUserName(m_config.pgUser);
        m_db.setPassword(m_config.pgPassword);
        m_db.setConnectOptions(m_config.pgOptions);
    } else {
        const QFileInfo file(m_config.sqliteFile);
        QDir().mkpath(file.absolutePath());
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        m_db.setDatabaseName(file.absoluteFilePath());
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!m_db.isValid()) {
        if (error)
            *error = QStringLiteral("the Qt SQL driver for %1 is not installed").arg(m_config.databaseDriver);
        return false;
    }
    if (!m_db.open()) {
        if (error)
            *error = QStringLiteral("cannot open the database: %1").arg(m_db.lastError().text());
        return false;
    }
    if (!isPostgres()) {
        QFile::setPermissions(m_config.sqliteFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (!run(QStringLiteral("PRAGMA journal_mode=WAL"), error) ||
            !run(QStringLiteral("PRAGMA synchronous=NORMAL"), error) ||
            !run(QStringLiteral("PRAGMA foreign_keys=ON"), error))
            return false;
    } else {
        run(QStringLiteral("SET client_min_messages TO WARNING"));
    }
    return true;
}

bool Database::reconnect()
{
    qDeleteAll(m_statements);
    m_statements.clear();
    m_db.close();
    if (!m_db.open())
        return false;
    if (!isPostgres())
        run(QStringLiteral("PRAGMA foreign_keys=ON"));
    m_broken = false;
    return true;
}

bool Database::run(const QString &sql, QString *error)
{
    QSqlQuery q(m_db);
    if (!q.exec(sql)) {
        m_lastError = q.lastError().text();
        if (error)
            *error = QStringLiteral("%1: %2").arg(sql.left(80), m_lastError);
        return false;
    }
    return true;
}

int Database::schemaVersion()
{
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'schema_version'")) || !q.next())
        return 0;
    return q.value(0).toInt();
}

bool Database::migrate(QString *error)
{
    if (!run(QStringLiteral("CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL)"),
             error))
        return false;
    Transaction tx(*this);
    // Instances that start together on one PostgreSQL migrate one after the other.
    if (isPostgres() && !run(QStringLiteral("SELECT pg_advisory_xact_lock(7415000001)"), error))
        return false;
    const int current = schemaVersion();
    if (current > latestSchemaVersion()) {
        if (error)
            *error = QStringLiteral("the database has schema version %1, newer than this program's %2")
                         .arg(current)
                         .arg(latestSchemaVersion());
        return false;
    }
    if (current >= latestSchemaVersion())
        return true;

    const QString id = isPostgres() ? QStringLiteral("BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                                    : QStringLiteral("INTEGER PRIMARY KEY");
    if (current < 1) {
        for (const char *statement : SchemaV1) {
            if (!run(QString::fromLatin1(statement).replace(QLatin1String("%ID%"), id), error))
                return false;
        }
        if (isPostgres()) {
            for (const char *statement : SearchPostgres) {
                if (!run(QLatin1String(statement), error))
                    return false;
            }
        } else {
            for (const char *statement : SearchSQLite) {
                if (!run(QLatin1String(statement), error))
                    return false;
            }
        }
    }
    if (current < 2) {
        for (const char *statement : SchemaV2) {
            if (!run(QLatin1String(statement), error))
                return false;
        }
    }
    if (current < 3) {
        for (const char *statement : SchemaV3) {
            if (!run(QString::fromLatin1(statement).replace(QLatin1String("%ID%"), id), error))
                return false;
        }
    }
    if (current < 4) {
        for (const char *statement : SchemaV4) {
            if (!run(QLatin1String(statement), error))
                return false;
        }
    }
    QSqlQuery &d = prepare(QStringLiteral("DELETE FROM meta WHERE key = 'schema_version'"));
    QSqlQuery &q = prepare(QStringLiteral("INSERT INTO meta (key, value) VALUES ('schema_version', ?)"));
    q.addBindValue(QString::number(latestSchemaVersion()));
    if (!exec(d) || !exec(q)) {
        if (error)
            *error = m_lastError;
        return false;
    }
    if (!tx.commit()) {
        if (error)
            *error = QStringLiteral("cannot commit the schema: %1").arg(m_lastError);
        return false;
    }
    return true;
}

QSqlQuery &Database::prepare(const QString &sql)
{
    if (m_broken)
        reconnect();
    auto it = m_statements.find(sql);
    if (it != m_statements.end()) {
        (*it)->finish();
        return **it;
    }
    auto *q = new QSqlQuery(m_db);
    if (!q->prepare(sql)) {
        m_lastError = q->lastError().text();
        qWarning().noquote() << "Database::prepare failed:" << sql.left(120) << m_lastError;
        // A failed statement is not cached; the caller's exec reports the error.
        m_failed = std::move(*q);
        delete q;
        return m_failed;
    }
    m_statements.insert(sql, q);
    return *q;
}

bool Database::exec(QSqlQuery &query)
{
    // A null QString means "no text" here, not SQL NULL: NULL is bound with an invalid QVariant.
    const QVariantList values = query.boundValues();
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (values[i].metaType().id() == QMetaType::QString && values[i].toString().isNull())
            query.bindValue(int(i), QStringLiteral(""));
    }
    scheduleRelease();
    if (query.exec())
        return true;
    const QSqlError e = query.lastError();
    m_lastError = e.text();
    qWarning().noquote() << "Database::exec failed:" << query.lastQuery().left(120) << m_lastError;
    if (e.type() == QSqlError::ConnectionError || !m_db.isOpen() || !alive())
        m_broken = true;
    return false;
}

bool Database::alive()
{
    // A PostgreSQL connection cut by a server restart or an administrator reports its errors
    // as statement errors and stays "open": ask the server. (Inside a failed transaction this
    // fails too, and the connection is made anew, which ends that transaction as well.)
    if (!isPostgres())
        return true;
    QSqlQuery q(m_db);
    return q.exec(QStringLiteral("SELECT 1"));
}

bool Database::transaction()
{
    if (m_broken)
        reconnect();
    if (!m_db.transaction()) {
        m_lastError = m_db.lastError().text();
        if (!alive())
            m_broken = true;
        return false;
    }
    return true;
}

void Database::releaseStatements()
{
    m_releaseScheduled = false;
    for (QSqlQuery *q : std::as_const(m_statements))
        q->finish();
}

void Database::scheduleRelease()
{
    if (m_releaseScheduled)
        return;
    m_releaseScheduled = true;
    QTimer::singleShot(0, &m_context, [this] { releaseStatements(); });
}

bool Database::commit()
{
    // A statement whose rows were not all read would keep SQLite from committing.
    releaseStatements();
    if (!m_db.commit()) {
        m_lastError = m_db.lastError().text();
        return false;
    }
    return true;
}

void Database::rollback()
{
    releaseStatements();
    m_db.rollback();
}
