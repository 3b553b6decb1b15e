#include "pulse.h"

#include "net.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

namespace TunoraTest {

PulseServer::~PulseServer()
{
    stop();
}

QString PulseServer::serverAddress() const
{
    return QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("native"));
}

bool PulseServer::start(QString *error)
{
    const QString daemon = findProgram(QStringLiteral("pulseaudio"));
    if (daemon.isEmpty() || !m_dir.isValid()) {
        *error = QStringLiteral("pulseaudio is not installed");
        return false;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PULSE_RUNTIME_PATH"), m_dir.path());
    environment.insert(QStringLiteral("PULSE_STATE_PATH"), m_dir.path());
    environment.insert(QStringLiteral("HOME"), m_dir.path());
    environment.remove(QStringLiteral("PULSE_SERVER"));
    m_daemon.setProcessEnvironment(environment);
    m_daemon.setProcessChannelMode(QProcess::MergedChannels);
    m_daemon.setStandardOutputFile(m_dir.filePath(QStringLiteral("daemon.log")));
    QStringList arguments = QStringLiteral("-n --daemonize=no --use-pid-file=no --exit-idle-time=-1 "
                                           "--disable-shm=yes --log-target=stderr -L")
                                .split(QLatin1Char(' '));
    arguments << QStringLiteral("module-null-sink sink_name=%1 rate=44100 channels=2").arg(sinkName())
              << QStringLiteral("-L")
              << QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=%1")
                     .arg(m_dir.filePath(QStringLiteral("native")));
    m_daemon.start(daemon, arguments);
    if (!m_daemon.waitForStarted(5000)) {
        *error = QStringLiteral("pulseaudio did not start");
        return false;
    }
    m_running = true;
    QDeadlineTimer deadline(10000);
    while (!QFileInfo::exists(m_dir.filePath(QStringLiteral("native")))) {
        if (deadline.hasExpired() || m_daemon.state() != QProcess::Running) {
            *error = QStringLiteral("pulseaudio did not open its socket");
            stop();
            return false;
        }
        QThread::msleep(20);
    }
    m_hadServer = qEnvironmentVariableIsSet("PULSE_SERVER");
    m_oldServer = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", serverAddress().toLocal8Bit());
    return true;
}

void PulseServer::stop()
{
    stopRecording();
    if (!m_running)
        return;
    m_running = false;
    if (m_hadServer)
        qputenv("PULSE_SERVER", m_oldServer);
    else
        qunsetenv("PULSE_SERVER");
    endProcess(m_daemon, 5000);
}

bool PulseServer::startRecording(QString *error)
{
    const QString parec = findProgram(QStringLiteral("parec"));
    if (parec.isEmpty()) {
        *error = QStringLiteral("parec is not installed");
        return false;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PULSE_SERVER"), serverAddress());
    m_recorder.setProcessEnvironment(environment);
    m_recorder.start(parec,
                     QStringList{QStringLiteral("-d"), sinkName() + QStringLiteral(".monitor")} +
                         QStringLiteral("--format=s16le --rate=44100 --channels=2 --raw --latency-msec=20")
                             .split(QLatin1Char(' ')));
    if (!m_recorder.waitForStarted(5000)) {
        *error = QStringLiteral("parec did not start");
        return false;
    }
    return true;
}

QByteArray PulseServer::stopRecording()
{
    if (m_recorder.state() == QProcess::NotRunning)
        return {};
    endProcess(m_recorder, 5000);
    return m_recorder.readAllStandardOutput();
}

} // namespace TunoraTest
