#include "directoryservice.h"

#include "net.h"
#include "postgres.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace TunoraTest {

int DirectoryService::s_databaseCounter = 0;

namespace {

// Both folders are compiled in by the build; the environment may point elsewhere.
QString sourceDir()
{
    return qEnvironmentVariable("TUNORA_SOURCE_DIR", QStringLiteral(TUNORA_SOURCE_DIR_FALLBACK));
}

} // namespace

DirectoryService::DirectoryService() = default;

DirectoryService::~DirectoryService()
{
    stop();
}

QString DirectoryService::executable()
{
    return qEnvironmentVariable("TUNORA_DIRECTORY_EXECUTABLE", QStringLiteral(TUNORA_DIRECTORY_EXECUTABLE));
}

QSslConfiguration DirectoryService::sslConfiguration() const
{
    QSslConfiguration c = QSslConfiguration::defaultConfiguration();
    c.setCaCertificates(caCertificates());
    return c;
}

bool DirectoryService::writeConfig(const Options &options)
{
    QSettings ini(configFile(), QSettings::IniFormat);
    ini.setValue(u"service/port"_s, 0);
    ini.setValue(u"service/listen_address"_s, u"127.0.0.1"_s);
    QStringList catalogues;
    if (options.importCatalogue)
        catalogues << sourceDir() + u"/data/webradios.json"_s;
    catalogues << options.extraCatalogues;
    ini.setValue(u"catalogue/files"_s, catalogues.join(QLatin1Char(',')));
    ini.setValue(u"poller/enabled"_s, options.poller);
    ini.setValue(u"poller/interval"_s, options.pollIntervalSeconds);
    ini.setValue(u"poller/start_delay"_s, 0);
    ini.setValue(u"poller/timeout"_s, 5);
    if (options.backend == Backend::PostgreSQL) {
        if (!options.postgres || !options.postgres->isRunning()) {
            m_error = u"the PostgreSQL backend needs a running cluster"_s;
            return false;
        }
        const QString name =
            u"tunora_%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(++s_databaseCounter);
        if (!options.postgres->createDatabase(name, &m_error))
            return false;
        ini.setValue(u"database/driver"_s, u"postgresql"_s);
        ini.setValue(u"database/host"_s, options.postgres->host());
        ini.setValue(u"database/port"_s, options.postgres->port());
        ini.setValue(u"database/name"_s, name);
        ini.setValue(u"database/user"_s, options.postgres->user());
        ini.setValue(u"database/password"_s, options.postgres->password());
        ini.setValue(u"database/options"_s, u"connect_timeout=5"_s);
    }
    for (auto it = options.settings.constBegin(); it != options.settings.constEnd(); ++it)
        ini.setValue(it.key(), it.value());
    ini.sync();
    if (ini.status() != QSettings::NoError) {
        m_error = u"cannot write %1"_s.arg(configFile());
        return false;
    }
    return true;
}

bool DirectoryService::start()
{
    return start(Options());
}

bool DirectoryService::start(const Options &options)
{
    stop();
    m_error.clear();
    m_output.clear();
    m_exitCode = -1;
    const QString program = executable();
    if (program.isEmpty() || !QFile::exists(program)) {
        m_error = u"tunora-directory was not built (%1)"_s.arg(program);
        return false;
    }
    m_dir = makeServerFolder(u"tunora-directory"_s, &m_error);
    if (!m_dir || !QDir().mkpath(dataFolder())) {
        m_error = u"cannot create a temporary folder"_s;
        return false;
    }

    QProcess certs;
    certs.setProcessChannelMode(QProcess::MergedChannels);
    certs.start(sourceDir() + u"/scripts/directory-certs"_s, {dataFolder() + u"/tls"_s});
    if (!certs.waitForFinished(60000) || certs.exitCode() != 0 || !QFile::exists(caFile())) {
        m_error = u"cannot create the test certificates: %1"_s.arg(QString::fromLocal8Bit(certs.readAll()));
        return false;
    }
    if (!writeConfig(options))
        return false;

    const QString log = m_dir->path() + u"/service.log"_s;
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(log);
    m_process->start(program, {u"--config"_s, configFile()});
    if (!m_process->waitForStarted(10000)) {
        m_error = u"tunora-directory did not start"_s;
        return false;
    }
    // The service prints its address once it listens; importing the catalogue under a
    // sanitizer can take a while.
    static const QRegularExpression listening(u"listening on (\\S+) port (\\d+)"_s);
    QDeadlineTimer deadline(180000);
    while (!deadline.hasExpired()) {
        const QRegularExpressionMatch m = listening.match(readTextFile(log));
        if (m.hasMatch()) {
            m_root = QUrl(m.captured(1));
            m_port = quint16(m.captured(2).toUInt());
            return true;
        }
        if (m_process->state() == QProcess::NotRunning || m_process->waitForFinished(50)) {
            m_output = readTextFile(log);
            m_error = u"tunora-directory ended before listening: %1"_s.arg(m_output.right(3000));
            m_exitCode = m_process->exitCode();
            m_process.reset();
            return false;
        }
    }
    m_error = u"tunora-directory did not listen within the time limit"_s;
    stop();
    return false;
}

bool DirectoryService::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

bool DirectoryService::stop()
{
    if (!m_process)
        return m_exitCode == 0;
    bool clean = endProcess(*m_process, 60000);
    m_exitCode = m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
    clean = clean && m_exitCode == 0;
    m_output = readTextFile(m_dir->path() + u"/service.log"_s);
    if (!clean)
        m_error = u"tunora-directory did not shut down cleanly (exit code %1): %2"_s.arg(m_exitCode)
                      .arg(m_output.right(4000));
    // The test's failure message is cut short; a sanitizer's report stands at the log's end.
    if (!clean)
        qWarning().noquote() << "tunora-directory log (end):\n" << m_output.right(8000);
    m_process.reset();
    return clean;
}

void DirectoryService::kill()
{
    if (!m_process)
        return;
    endProcess(*m_process, 10000, SIGKILL);
    m_exitCode = -1;
    m_output = readTextFile(m_dir->path() + u"/service.log"_s);
    m_process.reset();
}

QString DirectoryService::output() const
{
    return m_process ? readTextFile(m_dir->path() + u"/service.log"_s) : m_output;
}

QStringList DirectoryService::mails() const
{
    QDir dir(maildir() + u"/new"_s);
    QFileInfoList files = dir.entryInfoList(QDir::Files);
    // Names carry a per-process counter ("Q<n>") that gives the delivery order.
    static const QRegularExpression counter(u"Q(\\d+)"_s);
    std::sort(files.begin(), files.end(), [](const QFileInfo &a, const QFileInfo &b) {
        const qint64 ta = a.fileName().section(QLatin1Char('.'), 0, 0).toLongLong();
        const qint64 tb = b.fileName().section(QLatin1Char('.'), 0, 0).toLongLong();
        if (ta != tb)
            return ta < tb;
        return counter.match(a.fileName()).captured(1).toInt() <
               counter.match(b.fileName()).captured(1).toInt();
    });
    QStringList out;
    for (const QFileInfo &f : std::as_const(files))
        out << readTextFile(f.absoluteFilePath());
    return out;
}

QUrl DirectoryService::linkFromLastMail(const QString &pathPrefix) const
{
    const QStringList all = mails();
    static const QRegularExpression link(u"https?://\\S+"_s);
    for (auto it = all.crbegin(); it != all.crend(); ++it) {
        auto matches = link.globalMatch(*it);
        while (matches.hasNext()) {
            const QUrl url(matches.next().captured(0));
            if (url.path().startsWith(pathPrefix))
                return url;
        }
    }
    return QUrl();
}

int DirectoryService::runTool(const QStringList &arguments, QString *output) const
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(executable(), QStringList{u"--config"_s, configFile()} + arguments);
    if (!p.waitForFinished(180000))
        return -1;
    if (output)
        *output = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace TunoraTest
