#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QUrl>

// Everything the directory service reads from its INI file. Relative paths are taken relative to
// the data folder; every value has a default, so an empty file gives a working local service.
struct ServiceConfig
{
    // [service]
    QString configFile;
    QString dataFolder;
    QHostAddress listenAddress = QHostAddress::LocalHost;
    quint16 port = 47443;
    // Root address the service hands out in links (listen addresses, mails, covers).
    QUrl publicUrl;
    QString certificateFile;
    QString keyFile;
    QStringList apiKeys;
    // Optional second listener without TLS that serves only the news feed; 0 = off.
    quint16 newsHttpPort = 0;
    int maxConnections = 512;
    int idleTimeoutSeconds = 30;
    int requestTimeoutSeconds = 10;
    int maxHeaderBytes = 64 * 1024;
    int maxBodyBytes = 16 * 1024;
    // How long a ranked search result list is reused (0 = never).
    int searchCacheSeconds = 30;

    // [database]
    QString databaseDriver = QStringLiteral("sqlite"); // "sqlite" or "postgresql"
    QString sqliteFile;
    QString pgHost = QStringLiteral("127.0.0.1");
    int pgPort = 5432;
    QString pgDatabase = QStringLiteral("tunora");
    QString pgUser = QStringLiteral("tunora");
    QString pgPassword;
    QString pgOptions;

    // [catalogue]
    bool importWhenEmpty = true;
    QStringList catalogueFiles;

    // [accounts]
    int passwordIterations = 600000;
    int verifyCacheSeconds = 600;
    int verifyCacheEntries = 10000;
    int accountFailureLimit = 5;
    int addressFailureLimit = 20;
    int failureWindowSeconds = 900;
    // Accounts created per client address per hour; mails per account or address per hour.
    int creationLimit = 10;
    int mailLimit = 5;
    int activationHours = 168;
    int resetMinutes = 60;
    int hashThreads = 2;
    int hashQueueLimit = 64;
    int historyLength = 50;
    int favoritesLimit = 500;

    // [mail]
    QString maildir;
    QString sendmailCommand;
    QString mailFrom = QStringLiteral("Tunora Directory <noreply@localhost>");

    // [software]
    QString softwareName = QStringLiteral("TunoraDE");
    QString softwareVersion = QStringLiteral("1.02");
    QString softwareComment;
    QString softwareCommentVersion = QStringLiteral("1.02");
    QString softwareFileLocation;
    QString softwareFileSize;
    QString softwareFileMime;
    QString softwareFileSha256;

    // [covers]
    // Address template of an upstream song search answering in the same JSON shape; "{term}" is
    // replaced by the percent-encoded search text. Empty = local cover table only.
    QString coverUpstream;
    int coverCacheHours = 168;
    int coverUpstreamTimeoutSeconds = 5;
    int coverUpstreamMaxBytes = 1024 * 1024;
    QString coverUpstreamCaFile;

    // [poller]
    bool pollerEnabled = true;
    int pollIntervalSeconds = 120;
    int pollConcurrency = 8;
    int pollTimeoutSeconds = 10;
    int pollMaxBackoffSeconds = 6 * 3600;
    int pollStartDelaySeconds = 2;

    // [languages]
    QString languagesFolder;
    QString defaultLanguage = QStringLiteral("en");

    // Reads the file; missing keys keep their defaults. Returns false with a message on a value
    // that cannot be used (unknown driver, bad address, unreadable file).
    bool load(const QString &file, QString *error);
    // The configured public_url, or https://<listen address>:<actual port>/ when none is set.
    QUrl effectivePublicUrl(quint16 actualPort) const;
    // Resolves a path from the file against the data folder.
    QString resolve(const QString &path) const;

    static const char *const DefaultApiKey;
};
