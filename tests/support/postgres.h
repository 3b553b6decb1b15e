#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace TunoraTest {

// Makes a child process give up root for the named user (setgid, setgroups, setuid before
// exec), for servers that refuse to run as root; does nothing when the test is not root.
// Returns false when the user does not exist.
bool dropRootTo(QProcess *process, const QString &user, QString *error = nullptr);
// A fresh temporary folder for a server fixture, or null with the reason in error.
std::unique_ptr<QTemporaryDir> makeServerFolder(const QString &prefix, QString *error);
// Hands a folder (recursively) to the user a child process will run as; no-op unless root.
bool giveFolderTo(const QString &folder, const QString &user);

// A private PostgreSQL cluster for one test run: initdb into a temporary folder, the server on
// 127.0.0.1 at a free port with password authentication, stopped by its recorded PID (fast
// shutdown) and deleted afterwards. Runs as the "postgres" user (or "nobody") when the test
// runs as root. Durability is switched off: the data is thrown away anyway.
class PostgresCluster
{
public:
    PostgresCluster();
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster &) = delete;
    PostgresCluster &operator=(const PostgresCluster &) = delete;

    // True when the PostgreSQL server programs are installed.
    static bool available();

    bool start(QString *error = nullptr);
    void stop();
    bool isRunning() const;

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    QString user() const { return QStringLiteral("tunora"); }
    QString password() const { return m_password; }

    // CREATE DATABASE <name> (letters, digits and _ only), owned by user().
    bool createDatabase(const QString &name, QString *error = nullptr);
    // Runs SQL through psql and returns its unaligned, tuples-only output.
    bool psql(const QString &database, const QString &sql, QString *output = nullptr,
              QString *error = nullptr);
    QString log() const;

private:
    QString runAs() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_server;
    quint16 m_port = 0;
    QString m_password;
};

} // namespace TunoraTest
