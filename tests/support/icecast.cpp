#include "icecast.h"

#include "net.h"
#include "postgres.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace TunoraTest {

namespace {

QString xmlEscaped(const QString &s)
{
    return s.toHtmlEscaped();
}

QString randomPassword()
{
    return QString::number(QRandomGenerator::system()->generate64(), 36);
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
    QUrl u;
    u.setScheme(QStringLiteral("http"));
    u.setHost(QStringLiteral("127.0.0.1"));
    u.setPort(m_port);
    u.setPath(mount);
    return u;
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
    m_sourcePassword = randomPassword();
    m_adminPassword = randomPassword();

    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freeTcpPort();
        if (launch(error))
            return true;
        stop();
    }
    *error = QStringLiteral("icecast2 did not listen: %1").arg(errorLog().right(2000));
    return false;
}

bool IcecastServer::startAgain(QString *error)
{
    QString dummy;
    if (!error)
        error = &dummy;
    if (isRunning())
        return true;
    if (!m_dir || m_port == 0) {
        *error = QStringLiteral("Icecast was never started");
        return false;
    }
    if (launch(error))
        return true;
    stop();
    *error = QStringLiteral("icecast2 did not listen again: %1").arg(errorLog().right(2000));
    return false;
}

bool IcecastServer::launch(QString *error)
{
    const QString base = m_dir->path();
    {
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
                .arg(xmlEscaped(m_sourcePassword), xmlEscaped(m_adminPassword))
                .arg(m_port)
                .arg(xmlEscaped(base));
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
        if (!m_server->waitForStarted(10000)) {
            *error = QStringLiteral("icecast2 did not start");
            return false;
        }
        if (waitForTcpPort(m_port, 10000) && isRunning())
            return true;
    }
    return false;
}

void IcecastServer::stop()
{
    const QStringList mounts = m_sources.keys();
    for (const QString &m : mounts)
        stopSource(m);
    if (m_server && m_server->state() != QProcess::NotRunning) {
        m_server->terminate();
        if (!m_server->waitForFinished(10000)) {
            m_server->kill();
            m_server->waitForFinished(5000);
        }
    }
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
    QStringList args{QStringLiteral("-nostdin"),
                     QStringLiteral("-loglevel"),
                     QStringLiteral("error"),
                     QStringLiteral("-re"),
                     QStringLiteral("-f"),
                     QStringLiteral("lavfi"),
                     QStringLiteral("-i"),
                     source.input,
                     QStringLiteral("-ar"),
                     QString::number(source.codec == QLatin1String("opus") ? 48000 : source.sampleRate),
                     QStringLiteral("-ac"),
                     QString::number(source.channels)};
    QString contentType, format;
    if (source.codec == QLatin1String("mp3")) {
        args << QStringLiteral("-c:a") << QStringLiteral("libmp3lame");
        contentType = QStringLiteral("audio/mpeg");
        format = QStringLiteral("mp3");
    } else if (source.codec == QLatin1String("aac")) {
        args << QStringLiteral("-c:a") << QStringLiteral("aac");
        contentType = QStringLiteral("audio/aac");
        format = QStringLiteral("adts");
    } else if (source.codec == QLatin1String("vorbis")) {
        args << QStringLiteral("-c:a") << QStringLiteral("libvorbis");
        contentType = QStringLiteral("application/ogg");
        format = QStringLiteral("ogg");
    } else if (source.codec == QLatin1String("opus")) {
        args << QStringLiteral("-c:a") << QStringLiteral("libopus");
        contentType = QStringLiteral("application/ogg");
        format = QStringLiteral("ogg");
    } else if (source.codec == QLatin1String("flac")) {
        args << QStringLiteral("-c:a") << QStringLiteral("flac");
        contentType = QStringLiteral("application/ogg");
        format = QStringLiteral("ogg");
    } else {
        *error = QStringLiteral("unknown codec %1").arg(source.codec);
        return false;
    }
    if (source.codec != QLatin1String("flac"))
        args << QStringLiteral("-b:a") << QStringLiteral("%1k").arg(source.bitrateKbps);
    args << QStringLiteral("-content_type") << contentType << QStringLiteral("-ice_name") << source.name;
    if (!source.genre.isEmpty())
        args << QStringLiteral("-ice_genre") << source.genre;
    args << source.extraArgs;
    args << QStringLiteral("-f") << format
         << QStringLiteral("icecast://source:%1@127.0.0.1:%2%3")
                .arg(m_sourcePassword)
                .arg(m_port)
                .arg(source.mount);

    auto *p = new QProcess;
    p->setProcessChannelMode(QProcess::MergedChannels);
    p->setStandardOutputFile(m_dir->path() + QStringLiteral("/source") +
                             QString(source.mount).replace(QLatin1Char('/'), QLatin1Char('_')) +
                             QStringLiteral(".log"));
    p->start(findProgram(QStringLiteral("ffmpeg")), args);
    m_sources.insert(source.mount, p);
    if (!p->waitForStarted(10000)) {
        *error = QStringLiteral("ffmpeg did not start");
        return false;
    }
    if (!waitForMount(source.mount, timeoutMs)) {
        *error =
            QStringLiteral("the mount %1 did not come up: %2").arg(source.mount, sourceLog(source.mount));
        return false;
    }
    return true;
}

void IcecastServer::stopSource(const QString &mount)
{
    QProcess *p = m_sources.take(mount);
    if (!p)
        return;
    if (p->state() != QProcess::NotRunning) {
        p->terminate();
        if (!p->waitForFinished(5000)) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
    delete p;
}

bool IcecastServer::waitForMount(const QString &mount, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, m_port);
        if (s.waitForConnected(1000)) {
            s.write("GET " + mount.toUtf8() + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
            QByteArray head;
            QDeadlineTimer lineDeadline(2000);
            while (!head.contains('\n') && !lineDeadline.hasExpired() && s.waitForReadyRead(200))
                head += s.readAll();
            s.abort();
            if (head.startsWith("HTTP/1.0 200") || head.startsWith("HTTP/1.1 200"))
                return true;
        }
        QThread::msleep(200);
    }
    return false;
}

bool IcecastServer::setTitle(const QString &mount, const QString &title, QString *error)
{
    QUrl url = mountUrl(QStringLiteral("/admin/metadata"));
    url.setQuery(QStringLiteral("mount=%1&mode=updinfo&song=%2")
                     .arg(QString::fromLatin1(QUrl::toPercentEncoding(mount)),
                          QString::fromLatin1(QUrl::toPercentEncoding(title))),
                 QUrl::StrictMode);
    QNetworkRequest request(url);
    request.setRawHeader("Authorization",
                         "Basic " + (QStringLiteral("admin:") + m_adminPassword).toUtf8().toBase64());
    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->isFinished() ? reply->readAll() : QByteArray();
    const bool ok = reply->isFinished() && reply->error() == QNetworkReply::NoError &&
                    body.contains("<return>1</return>");
    if (!ok && error)
        *error = reply->isFinished() ? reply->errorString() + QLatin1Char(' ') + QString::fromUtf8(body)
                                     : QStringLiteral("time-out");
    reply->abort();
    delete reply;
    return ok;
}

QString IcecastServer::errorLog() const
{
    if (!m_dir)
        return QString();
    QFile f(m_dir->path() + QStringLiteral("/log/error.log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

QString IcecastServer::sourceLog(const QString &mount) const
{
    if (!m_dir)
        return QString();
    QFile f(m_dir->path() + QStringLiteral("/source") +
            QString(mount).replace(QLatin1Char('/'), QLatin1Char('_')) + QStringLiteral(".log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

} // namespace TunoraTest
