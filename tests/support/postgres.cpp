#include "postgres.h"

#include "net.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TunoraTest {

bool dropRootTo(QProcess *process, const QString &user, QString *error)
{
    if (::geteuid() != 0)
        return true;
    const struct passwd *pw = ::getpwnam(user.toLocal8Bit().constData());
    if (!pw) {
        if (error)
            *error = QStringLiteral("no user %1 on this machine").arg(user);
        return false;
    }
    const uid_t uid = pw->pw_uid;
    const gid_t gid = pw->pw_gid;
    process->setChildProcessModifier([uid, gid] {
        // Runs in the child between fork and exec: only plain system calls here.
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(127);
    });
    return true;
}

bool giveFolderTo(const QString &folder, const QString &user)
{
    if (::geteuid() != 0)
        return true;
    const struct passwd *pw = ::getpwnam(user.toLocal8Bit().constData());
    if (!pw)
        return false;
    bool ok = ::chown(QFile::encodeName(folder).constData(), pw->pw_uid, pw->pw_gid) == 0;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ok = ::chown(QFile::encodeName(it.next()).constData(), pw->pw_uid, pw->pw_gid) == 0 && ok;
    return ok;
}

PostgresCluster::PostgresCluster() = default;

PostgresCluster::~PostgresCluster()
{
    stop();
}

QString PostgresCluster::binary(const QString &name)
{
    // Debian keeps the server programs out of PATH, under a versioned folder.
    QDir lib(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
    for (const QString &v : std::as_const(versions)) {
        const QString path = lib.filePath(v + QStringLiteral("/bin/") + name);
        if (QFile::exists(path))
            return path;
    }
    return findProgram(name);
}

bool PostgresCluster::available()
{
    return !binary(QStringLiteral("initdb")).isEmpty() && !binary(QStringLiteral("postgres")).isEmpty() &&
           !binary(QStringLiteral("psql")).isEmpty();
}

QString PostgresCluster::runAs() const
{
    return ::getpwnam("postgres") ? QStringLiteral("postgres") : QStringLiteral("nobody");
}

bool PostgresCluster::isRunning() const
{
    return m_server && m_server->state() == QProcess::Running;
}

bool PostgresCluster::start(QString *error)
{
    QString dummy;
    if (!error)
        error = &dummy;
    if (isRunning())
        return true;
    if (!available()) {
        *error = QStringLiteral("PostgreSQL is not installed");
        return false;
    }
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tunora-pg-XXXXXX"));
    if (!m_dir->isValid()) {
        *error = QStringLiteral("cannot create a temporary folder");
        return false;
    }
    const QString base = m_dir->path();
    QDir(base).mkpath(QStringLiteral("sockets"));
    m_password = QString::number(QRandomGenerator::system()->generate64(), 36);
    {
        QFile pw(base + QStringLiteral("/pwfile"));
        if (!pw.open(QIODevice::WriteOnly) || pw.write(m_password.toUtf8() + '\n') <= 0) {
            *error = QStringLiteral("cannot write the password file");
            return false;
        }
    }
    ::chmod(QFile::encodeName(base).constData(), 0700);
    giveFolderTo(base, runAs());

    QProcess initdb;
    if (!dropRootTo(&initdb, runAs(), error))
        return false;
    initdb.setProcessChannelMode(QProcess::MergedChannels);
    initdb.start(binary(QStringLiteral("initdb")),
                 {QStringLiteral("-D"), base + QStringLiteral("/data"), QStringLiteral("-U"), user(),
                  QStringLiteral("--pwfile=") + base + QStringLiteral("/pwfile"), QStringLiteral("-A"),
                  QStringLiteral("scram-sha-256"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                  QStringLiteral("--locale=C"), QStringLiteral("--no-sync"),
                  QStringLiteral("--no-instructions")});
    if (!initdb.waitForFinished(120000) || initdb.exitStatus() != QProcess::NormalExit ||
        initdb.exitCode() != 0) {
        *error =
            QStringLiteral("initdb failed: %1").arg(QString::fromLocal8Bit(initdb.readAll()).right(2000));
        return false;
    }

    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freeTcpPort();
        m_server = std::make_unique<QProcess>();
        if (!dropRootTo(m_server.get(), runAs(), error))
            return false;
        m_server->setProcessChannelMode(QProcess::MergedChannels);
        m_server->setStandardOutputFile(base + QStringLiteral("/server.log"), QIODevice::Append);
        m_server->start(binary(QStringLiteral("postgres")),
                        {QStringLiteral("-D"), base + QStringLiteral("/data"), QStringLiteral("-p"),
                         QString::number(m_port), QStringLiteral("-k"), base + QStringLiteral("/sockets"),
                         QStringLiteral("-c"), QStringLiteral("listen_addresses=127.0.0.1"),
                         QStringLiteral("-c"), QStringLiteral("fsync=off"), QStringLiteral("-c"),
                         QStringLiteral("synchronous_commit=off"), QStringLiteral("-c"),
                         QStringLiteral("full_page_writes=off"), QStringLiteral("-c"),
                         QStringLiteral("max_connections=40"), QStringLiteral("-c"),
                         QStringLiteral("shared_buffers=32MB")});
        if (!m_server->waitForStarted(10000)) {
            *error = QStringLiteral("the PostgreSQL server did not start");
            return false;
        }
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && m_server->state() == QProcess::Running) {
            if (psql(QStringLiteral("postgres"), QStringLiteral("SELECT 1")))
                return true;
            QThread::msleep(100);
        }
        stop();
    }
    *error = QStringLiteral("the PostgreSQL server did not accept connections: %1").arg(log().right(2000));
    return false;
}

void PostgresCluster::stop()
{
    if (m_server && m_server->state() != QProcess::NotRunning) {
        // SIGINT is PostgreSQL's fast shutdown: clients are disconnected, nothing waits.
        ::kill(pid_t(m_server->processId()), SIGINT);
        if (!m_server->waitForFinished(15000)) {
            m_server->kill();
            m_server->waitForFinished(5000);
        }
    }
    m_server.reset();
}

bool PostgresCluster::psql(const QString &database, const QString &sql, QString *output, QString *error)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PGPASSWORD"), m_password);
    env.insert(QStringLiteral("PGCONNECT_TIMEOUT"), QStringLiteral("5"));
    p.setProcessEnvironment(env);
    p.start(binary(QStringLiteral("psql")),
            {QStringLiteral("-h"), host(), QStringLiteral("-p"), QString::number(m_port),
             QStringLiteral("-U"), user(), QStringLiteral("-d"), database, QStringLiteral("-v"),
             QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-X"), QStringLiteral("-q"),
             QStringLiteral("-A"), QStringLiteral("-t"), QStringLiteral("-c"), sql});
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (error)
            *error = QString::fromLocal8Bit(p.readAllStandardError());
        return false;
    }
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    return true;
}

bool PostgresCluster::createDatabase(const QString &name, QString *error)
{
    static const QRegularExpression valid(QStringLiteral("^[a-z_][a-z0-9_]{0,62}$"));
    if (!valid.match(name).hasMatch()) {
        if (error)
            *error = QStringLiteral("not a plain database name: %1").arg(name);
        return false;
    }
    return psql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE ") + name, nullptr, error);
}

QString PostgresCluster::log() const
{
    if (!m_dir)
        return QString();
    QFile f(m_dir->path() + QStringLiteral("/server.log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

} // namespace TunoraTest
