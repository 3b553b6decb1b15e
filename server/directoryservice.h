#pragma once

#include "accounts.h"
#include "catalogue.h"
#include "config.h"
#include "httpserver.h"
#include "languages.h"

#include <QObject>
#include <QUrl>

#include <memory>

class CoverSearch;
class Database;
class Mailer;
class NowPlayingPoller;
class StationStore;
struct StationPage;
struct StreamFilter;

// The directory service: answers the player's commands (query-string commands with an API key
// at the root address, XML replies), the station listen addresses (PLS), the news feed, the
// account activation and password pages, and keeps the playing-now titles fresh.
class DirectoryService : public QObject, public HttpHandler
{
    Q_OBJECT
public:
    explicit DirectoryService(const ServiceConfig &config, QObject *parent = nullptr);
    ~DirectoryService() override;

    // Opens and migrates the database, imports the catalogue into an empty one, reads the
    // languages and starts listening (and polling). Returns false with a message on failure.
    bool start(QString *error);
    // Only the storage side: database, schema, reference data (for the command-line tools).
    bool openStorage(QString *error);

    quint16 port() const { return m_port; }
    quint16 newsPort() const { return m_newsPort; }
    QUrl publicUrl() const { return m_publicUrl; }

    void handle(const HttpRequest &request, const ReplyHandle &reply) override;

    Database &database() { return *m_db; }
    StationStore &stations() { return *m_stations; }
    CoverSearch &covers() { return *m_covers; }
    CatalogueImporter &importer() { return *m_importer; }
    bool addNews(const QString &language, const QString &title, const QString &link,
                 const QString &description, QString *error);

    // Builders for the reply bodies, public for the tests of the format.
    static QByteArray statusReply(int code, const QString &message, const QString &link = QString());
    QByteArray stationListReply(const StationPage &page, const QString &listenToken) const;
    QString listenAddress(qint64 stationId, int stream, const QString &token) const;

private:
    struct Call;
    void api(const HttpRequest &request, const ReplyHandle &reply);
    void accountCommand(const std::shared_ptr<Call> &call, Accounts::Auth auth, const Account &account);
    void listen(const HttpRequest &request, const ReplyHandle &reply, const QString &id);
    void newsFeed(const HttpRequest &request, const ReplyHandle &reply, const QString &language);
    void activatePage(const HttpRequest &request, const ReplyHandle &reply);
    void resetPage(const HttpRequest &request, const ReplyHandle &reply);
    void translation(const std::shared_ptr<Call> &call);
    QByteArray languagesReply() const;
    QByteArray softwareReply() const;
    QByteArray accountInfoReply(const Account &account) const;
    QByteArray playingNowReply(const QList<qint64> &ids);
    QString tr(const QString &language, const QString &text, const QString &arg = QString()) const;
    void seedNews();

    ServiceConfig m_config;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<StationStore> m_stations;
    CatalogueMappings m_mappings;
    std::unique_ptr<CatalogueImporter> m_importer;
    std::unique_ptr<Mailer> m_mailer;
    std::unique_ptr<Accounts> m_accounts;
    std::unique_ptr<CoverSearch> m_covers;
    std::unique_ptr<NowPlayingPoller> m_poller;
    LanguageCatalog m_languages;
    std::unique_ptr<DirectoryHttpServer> m_server;
    std::unique_ptr<HttpHandler> m_newsOnly;
    std::unique_ptr<DirectoryHttpServer> m_newsServer;
    quint16 m_port = 0;
    quint16 m_newsPort = 0;
    QUrl m_publicUrl;
};
