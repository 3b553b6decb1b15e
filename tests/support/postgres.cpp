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

using namespace Qt::StringLiterals;

namespace TunoraTest {

bool dropRootTo(QProcess *process, const QString &user, QString *error)
{
    if (::geteuid() != 0)
        return true;
    const struct passwd *pw = ::getpwnam(user.toLocal8Bit().constData());
    if (!pw) {
        if (error)
            *error = u"no user %1 on this machine"_s.arg(user);
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

std::unique_ptr<QTemporaryDir> makeServerFolder(const QString &prefix, QString *error)
{
    auto dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QLatin1Char('/') + prefix + u"-XXXXXX"_s);
    if (!dir->isValid()) {
        if (error)
            *error = u"cannot create a temporary folder"_s;
        return nullptr;
    }
    return dir;
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

bool PostgresCluster::available()
{
    return !findProgram(u"initdb"_s).isEmpty() && !findProgram(u"postgres"_s).isEmpty() &&
           !findProgram(u"psql"_s).isEmpty();
}

QString PostgresCluster::runAs() const
{
    return ::getpwnam("postgres") ? u"postgres"_s : u"nobody"_s;
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
        *error = u"PostgreSQL is not installed"_s;
        return false;
    }
    m_dir = makeServerFolder(u"tunora-pg"_s, error);
    if (!m_dir)
        return false;
    const QString base = m_dir->path();
    QDir(base).mkpath(u"sockets"_s);
    m_password = QString::number(QRandomGenerator::system()->generate64(), 36);
    {
        QFile pw(base + u"/pwfile"_s);
        if (!pw.open(QIODevice::WriteOnly) || pw.write(m_password.toUtf8() + '\n') <= 0) {
            *error = u"cannot write the password file"_s;
            return false;
        }
    }
    ::chmod(QFile::encodeName(base).constData(), 0700);
    giveFolderTo(base, runAs());

    QProcess initdb;
    if (!dropRootTo(&initdb, runAs(), error))
        return false;
    initdb.setProcessChannelMode(QProcess::MergedChannels);
    initdb.start(findProgram(u"initdb"_s),
                 {u"-D"_s, base + u"/data"_s, u"-U"_s, user(), u"--pwfile="_s + base + u"/pwfile"_s, u"-A"_s,
                  u"scram-sha-256"_s, u"-E"_s, u"UTF8"_s, u"--locale=C"_s, u"--no-sync"_s,
                  u"--no-instructions"_s});
    if (!initdb.waitForFinished(120000) || initdb.exitStatus() != QProcess::NormalExit ||
        initdb.exitCode() != 0) {
        *error = u"initdb failed: %1"_s.arg(QString::fromLocal8Bit(initdb.readAll()).right(2000));
        return false;
    }

    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freeTcpPort();
        m_server = std::make_unique<QProcess>();
        if (!dropRootTo(m_server.get(), runAs(), error))
            return false;
        m_server->setProcessChannelMode(QProcess::MergedChannels);
        m_server->setStandardOutputFile(base + u"/server.log"_s, QIODevice::Append);
        m_server->start(
            findProgram(u"postgres"_s),
            QStringList{u"-D"_s, base + u"/data"_s, u"-p"_s, QString::number(m_port), u"-k"_s,
                        base + u"/sockets"_s} +
                u"-c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off "
                "-c full_page_writes=off -c max_connections=40 -c shared_buffers=32MB"_s.split(u' '));
        if (!m_server->waitForStarted(10000)) {
            *error = u"the PostgreSQL server did not start"_s;
            return false;
        }
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && m_server->state() == QProcess::Running) {
            if (psql(u"postgres"_s, u"SELECT 1"_s))
                return true;
            QThread::msleep(100);
        }
        stop();
    }
    *error = u"the PostgreSQL server did not accept connections: %1"_s.arg(log().right(2000));
    return false;
}

void PostgresCluster::stop()
{
    // SIGINT is PostgreSQL's fast shutdown: clients are disconnected, nothing waits.
    if (m_server)
        endProcess(*m_server, 15000, SIGINT);
    m_server.reset();
}

bool PostgresCluster::psql(const QString &database, const QString &sql, QString *output, QString *error)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"PGPASSWORD"_s, m_password);
    env.insert(u"PGCONNECT_TIMEOUT"_s, u"5"_s);
    p.setProcessEnvironment(env);
    p.start(findProgram(u"psql"_s), QStringList{u"-h"_s, host(), u"-p"_s, QString::number(m_port), u"-U"_s,
                                                user(), u"-d"_s, database, u"-c"_s, sql} +
                                        u"-v ON_ERROR_STOP=1 -X -q -A -t"_s.split(u' '));
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
    static const QRegularExpression valid(u"^[a-z_][a-z0-9_]{0,62}$"_s);
    if (!valid.match(name).hasMatch()) {
        if (error)
            *error = u"not a plain database name: %1"_s.arg(name);
        return false;
    }
    return psql(u"postgres"_s, u"CREATE DATABASE "_s + name, nullptr, error);
}

QString PostgresCluster::log() const
{
    return m_dir ? readTextFile(m_dir->path() + u"/server.log"_s) : QString();
}

} // namespace TunoraTest
