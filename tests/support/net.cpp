#include "net.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <signal.h>

namespace TunoraTest {

quint16 freeTcpPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

bool waitForTcpPort(quint16 port, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

QString findProgram(const QString &name)
{
    // Debian keeps the PostgreSQL server programs out of PATH, under a versioned folder; its psql
    // there is the plain client, not the cluster-choosing wrapper on PATH.
    QStringList folders;
    const QDir postgres(QStringLiteral("/usr/lib/postgresql"));
    for (const QString &v :
         postgres.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed))
        folders << postgres.filePath(v + QStringLiteral("/bin"));
    QString path = QStandardPaths::findExecutable(name, folders);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return path;
}

bool endProcess(QProcess &process, int graceMs, int signal)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    ::kill(pid_t(process.processId()), signal);
    if (process.waitForFinished(graceMs))
        return true;
    process.kill();
    process.waitForFinished(5000);
    return false;
}

QString readTextFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QSslServer *newTlsServer(const QSslCertificate &certificate, const QSslKey &key, QObject *parent)
{
    auto *server = new QSslServer(parent);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificate);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    server->setSslConfiguration(configuration);
    return server;
}

} // namespace TunoraTest
