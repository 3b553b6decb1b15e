#pragma once

#include <QList>
#include <QMap>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

namespace TunoraTest {

class PostgresCluster;

// The directory service (the real tunora-directory executable) for one test: a temporary data
// folder with a fresh test CA and server certificate, a random port on 127.0.0.1, a temporary
// SQLite file or a fresh database in a PostgreSQL cluster the test started, and the mail drop
// (Maildir) the test reads activation and password mails from. Stopped by its recorded process
// (SIGTERM, then a clean exit is expected).
//
//     TunoraTest::DirectoryService service;
//     QVERIFY2(service.start(), qPrintable(service.errorString()));
//     api.setRoot(service.root());                 // https://127.0.0.1:<port>/
//     sslConfiguration.setCaCertificates(service.caCertificates());
class DirectoryService
{
public:
    enum class Backend
    {
        SQLite,
        PostgreSQL
    };

    struct Options
    {
        Backend backend = Backend::SQLite;
        // Required for PostgreSQL: a running cluster; each start gets a database of its own.
        PostgresCluster *postgres = nullptr;
        // Import the shipped catalogue (data/webradios.json) on first start.
        bool importCatalogue = true;
        // Further catalogue files of the same shape to import at start.
        QStringList extraCatalogues;
        // The playing-now poller, off unless a test needs it.
        bool poller = false;
        int pollIntervalSeconds = 2;
        // Extra INI settings, "group/key" -> value (e.g. "covers/upstream").
        QMap<QString, QString> settings;
    };

    DirectoryService();
    ~DirectoryService();
    DirectoryService(const DirectoryService &) = delete;
    DirectoryService &operator=(const DirectoryService &) = delete;

    // The tunora-directory executable this build made (TUNORA_DIRECTORY_EXECUTABLE overrides).
    static QString executable();

    bool start();
    bool start(const Options &options);
    // Stops the service; true when it shut down cleanly (exit code 0, so no leak report either).
    bool stop();
    // Ends the service at once (SIGKILL), as a crash or a power cut would.
    void kill();
    bool isRunning() const;
    QString errorString() const { return m_error; }

    QUrl root() const { return m_root; }
    quint16 port() const { return m_port; }
    static QString apiKey() { return QStringLiteral("Xq7LmP2vR9tKw4ZbN8cYh3JdF6sQaE1uGoV5iTnB"); }
    QString caFile() const { return dataFolder() + QStringLiteral("/tls/ca.pem"); }
    QList<QSslCertificate> caCertificates() const { return QSslCertificate::fromPath(caFile()); }
    // The default configuration with the test CA as the only trusted authority.
    QSslConfiguration sslConfiguration() const;
    QString dataFolder() const { return m_dir ? m_dir->path() + QStringLiteral("/data") : QString(); }
    QString configFile() const { return dataFolder() + QStringLiteral("/directory.ini"); }
    QString maildir() const { return dataFolder() + QStringLiteral("/mail"); }
    // Messages delivered to the mail drop so far, oldest first (full text with headers).
    QStringList mails() const;
    // The first address in the newest mail whose path starts with the given one
    // (e.g. "/account/activate"); empty when none.
    QUrl linkFromLastMail(const QString &pathPrefix) const;
    // What the service wrote to stdout and stderr.
    QString output() const;
    int exitCode() const { return m_exitCode; }

    // Runs "tunora-directory --config <this service's file> <arguments>" (import, news-add,
    // import-covers) and returns its exit code; output gets stdout and stderr.
    int runTool(const QStringList &arguments, QString *output = nullptr) const;

private:
    bool writeConfig(const Options &options);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_process;
    QUrl m_root;
    quint16 m_port = 0;
    QString m_error;
    QString m_output;
    int m_exitCode = -1;
    static int s_databaseCounter;
};

} // namespace TunoraTest
