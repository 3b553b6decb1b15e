#include "icecast.h"

#include "net.h"
#include "postgres.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QThread>

namespace TunoraTest {

namespace {

// One HTTP/1.0 GET on 127.0.0.1: what came back until the server closed (or, with `headOnly`,
// until the status line was in), "" when nothing came in time.
QByteArray get(quint16 port, const QByteArray &target, const QByteArray &headers, bool headOnly,
               int timeoutMs)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    QByteArray reply;
    if (!s.waitForConnected(1000))
        return reply;
    s.write("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + headers + "\r\n");
    QDeadlineTimer deadline(timeoutMs);
    while (!(headOnly && reply.contains('\n')) && !deadline.hasExpired() &&
           (s.waitForReadyRead(200) || s.state() == QAbstractSocket::ConnectedState))
        reply += s.readAll();
    reply += s.readAll();
    s.abort();
    return reply;
}

} // namespace

IcecastServer::IcecastServer() = default;

IcecastServer::~IcecastServer()
{
    stop();
}

bool IcecastServer::available()
{
    return !findProgram(QStringLiteral("icecast2")).isEmpty() &&
           !findProgram(QStringLiteral("ffmpeg")).isEmpty();
}

bool IcecastServer::isRunning() const
{
    return m_server && m_server->state() == QProcess::Running;
}

QUrl IcecastServer::mountUrl(const QString &mount) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(mount));
}

bool IcecastServer::start(QString *error)
{
    QString dummy;
    if (!error)
        error = &dummy;
    if (isRunning())
        return true;
    if (!available()) {
        *error = QStringLiteral("icecast2 or ffmpeg is not installed");
        return false;
    }
    m_dir = makeServerFolder(QStringLiteral("tunora-icecast"), error);
    if (!m_dir)
        return false;
    const QString base = m_dir->path();
    QDir(base).mkpath(QStringLiteral("log"));
    m_sourcePassword = QString::number(QRandomGenerator::system()->generate64(), 36);
    m_adminPassword = QString::number(QRandomGenerator::system()->generate64(), 36);

    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freeTcpPort();
        const QString config =
            QStringLiteral(
                "<icecast><location>test</location><admin>test@localhost</admin>"
                "<limits><clients>200</clients><sources>32</sources><queue-size>524288</queue-size>"
                "<client-timeout>30</client-timeout><header-timeout>15</header-timeout>"
                "<source-timeout>10</source-timeout><burst-on-connect>1</burst-on-connect>"
                "<burst-size>65535</burst-size></limits>"
                "<authentication><source-password>%1</source-password><relay-password>%1</relay-password>"
                "<admin-user>admin</admin-user><admin-password>%2</admin-password></authentication>"
                "<hostname>127.0.0.1</hostname>"
                "<listen-socket><port>%3</port><bind-address>127.0.0.1</bind-address></listen-socket>"
                "<fileserve>1</fileserve>"
                "<paths><basedir>/usr/share/icecast2</basedir><logdir>%4/log</logdir>"
                "<webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot>"
                "<pidfile>%4/icecast.pid</pidfile></paths>"
                "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>"
                "<loglevel>3</loglevel><logsize>10000</logsize></logging>"
                "<security><chroot>0</chroot></security></icecast>\n")
                .arg(m_sourcePassword.toHtmlEscaped(), m_adminPassword.toHtmlEscaped())
                .arg(m_port)
                .arg(base.toHtmlEscaped());
        QFile f(base + QStringLiteral("/icecast.xml"));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(config.toUtf8()) <= 0) {
            *error = QStringLiteral("cannot write the Icecast configuration");
            return false;
        }
        f.close();
        giveFolderTo(base, QStringLiteral("nobody"));
        m_server = std::make_unique<QProcess>();
        // Icecast refuses to run as root.
        if (!dropRootTo(m_server.get(), QStringLiteral("nobody"), error))
            return false;
        m_server->setProcessChannelMode(QProcess::MergedChannels);
        m_server->setStandardOutputFile(QProcess::nullDevice());
        m_server->start(findProgram(QStringLiteral("icecast2")), {QStringLiteral("-c"), f.fileName()});
        if (m_server->waitForStarted(10000) && waitForTcpPort(m_port, 10000) && isRunning())
            return true;
        stop();
    }
    *error =
        QStringLiteral("icecast2 did not listen: %1").arg(log(QStringLiteral("log/error.log")).right(2000));
    return false;
}

void IcecastServer::stop()
{
    const QStringList mounts = m_sources.keys();
    for (const QString &m : mounts)
        stopSource(m);
    if (m_server)
        endProcess(*m_server, 10000);
    m_server.reset();
}

bool IcecastServer::startSource(const Source &source, QString *error, int timeoutMs)
{
    QString dummy;
    if (!error)
        error = &dummy;
    if (!isRunning()) {
        *error = QStringLiteral("Icecast is not running");
        return false;
    }
    stopSource(source.mount);
    QStringList args = QStringLiteral("-nostdin -loglevel error -re -f lavfi -i").split(QLatin1Char(' '));
    args << source.input
         << QStringLiteral("-ar 44100 -ac 2 -c:a libmp3lame -b:a 128k").split(QLatin1Char(' '))
         << QStringLiteral("-content_type") << QStringLiteral("audio/mpeg") << QStringLiteral("-ice_name")
         << source.name;
    if (!source.genre.isEmpty())
        args << QStringLiteral("-ice_genre") << source.genre;
    args << QStringLiteral("-f") << QStringLiteral("mp3")
         << QStringLiteral("icecast://source:%1@127.0.0.1:%2%3")
                .arg(m_sourcePassword)
                .arg(m_port)
                .arg(source.mount);
    const QString logName =
        QStringLiteral("source%1.log").arg(QString(source.mount).replace(QLatin1Char('/'), QLatin1Char('_')));

    auto *p = new QProcess;
    p->setProcessChannelMode(QProcess::MergedChannels);
    p->setStandardOutputFile(m_dir->filePath(logName));
    p->start(findProgram(QStringLiteral("ffmpeg")), args);
    m_sources.insert(source.mount, p);
    if (!p->waitForStarted(10000)) {
        *error = QStringLiteral("ffmpeg did not start");
        return false;
    }
    if (!waitForMount(source.mount, timeoutMs)) {
        *error = QStringLiteral("the mount %1 did not come up: %2").arg(source.mount, log(logName));
        return false;
    }
    return true;
}

void IcecastServer::stopSource(const QString &mount)
{
    QProcess *p = m_sources.take(mount);
    if (p)
        endProcess(*p, 5000);
    delete p;
}

bool IcecastServer::waitForMount(const QString &mount, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const QByteArray head = get(m_port, mount.toUtf8(), {}, true, 2000);
        if (head.startsWith("HTTP/1.0 200") || head.startsWith("HTTP/1.1 200"))
            return true;
        QThread::msleep(200);
    }
    return false;
}

bool IcecastServer::setTitle(const QString &mount, const QString &title, QString *error)
{
    const QByteArray reply = get(
        m_port,
        "/admin/metadata?mount=" + QUrl::toPercentEncoding(mount) +
            "&mode=updinfo&song=" + QUrl::toPercentEncoding(title),
        "Authorization: Basic " + (QStringLiteral("admin:") + m_adminPassword).toUtf8().toBase64() + "\r\n",
        false, 10000);
    const bool ok = reply.contains("<return>1</return>");
    if (!ok && error)
        *error = reply.isEmpty() ? QStringLiteral("no answer") : QString::fromUtf8(reply);
    return ok;
}

QString IcecastServer::log(const QString &name) const
{
    return m_dir ? readTextFile(m_dir->filePath(name)) : QString();
}

} // namespace TunoraTest
