#pragma once

#include "config.h"

#include <QByteArray>
#include <QJsonArray>
#include <QObject>
#include <QString>

#include <functional>

class Database;
class QNetworkAccessManager;

// The song search the player uses for cover art. Answers in the JSON shape the player reads
// ({"resultCount": n, "results": [{"artistName", "trackName", "collectionCensoredName",
// "artworkUrl60", "artworkUrl100", "artworkUrl170", "trackViewUrl", "previewUrl",
// "primaryGenreName", ...}]}), first from the service's own cover table and, when an upstream
// search of the same shape is configured, from that upstream through a cache in the database.
class CoverSearch : public QObject
{
    Q_OBJECT
public:
    CoverSearch(Database &db, const ServiceConfig &config, QObject *parent = nullptr);
    ~CoverSearch() override;

    // done runs now or, after an upstream request, later on this thread.
    void search(const QString &term, std::function<void(const QByteArray &json)> done);

    // Loads a file of the reply shape into the cover table; entries are keyed by artist, title
    // and album, so a second import updates them.
    bool importFile(const QString &path, int *count, QString *error);
    bool importJson(const QByteArray &json, int *count, QString *error);

    // The text the player sends ("Artist+-+Title", "{1}" and "{2}" placeholders left in) as plain
    // words.
    static QString cleanTerm(const QString &raw);
    // Keeps only the known string fields of each result, at most 50 results.
    static QJsonArray sanitize(const QJsonArray &results);
    static QByteArray reply(const QJsonArray &results);

private:
    QJsonArray local(const QStringList &tokens);
    void upstream(const QString &term, const QString &key, std::function<void(const QByteArray &)> done);

    Database &m_db;
    ServiceConfig m_config;
    QNetworkAccessManager *m_network = nullptr;
    int m_upstreamInFlight = 0;
};
