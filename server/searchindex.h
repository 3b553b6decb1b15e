#pragma once

#include <QString>
#include <QStringList>

class Database;

// The full-text index over stations: name, genres, location and what the station plays now.
// SQLite keeps it in an FTS5 table, PostgreSQL in a weighted tsvector; both are fed the same
// folded text and asked with the same tokens, each taken as a word prefix, all required.
class SearchIndex
{
public:
    struct Document
    {
        QString name;
        QString genres;
        QString location;
        QString playing;
    };

    explicit SearchIndex(Database &db)
        : m_db(db)
    {}

    bool put(qint64 stationId, const Document &doc);
    // Replaces only the now-playing part.
    bool putPlaying(qint64 stationId, const QString &playing);

    // The FROM/WHERE fragment and the ORDER BY term for a token search, for the caller's query
    // builder; tokens must come from TextNorm::tokens.
    QString joinClause() const;
    QString matchCondition() const;
    QString rankOrder() const;
    QString matchArgument(const QStringList &tokens) const;

private:
    bool loadDocument(qint64 stationId, Document *doc);
    Database &m_db;
};
