// The main window measured and photographed from outside its own code.
//
//   window-probe startup [--runs N]     time from process start to the window mapped and first
//                                        painted, median of N runs, with a cold configuration
//                                        (no INI file) and a warm one (the INI of the run before)
//   window-probe memory [--seconds S]   RSS and PSS idle, then after S s playing a local Icecast
//                                        mount (started here, like the demo station)
//   window-probe stop [--runs N]        how long stop() holds the window while the connect thread
//                                        waits on a server that accepts and never answers, by the
//                                        Play button and by a second play (median and worst)
//   window-probe shot --out FILE --ini INI [--dark] [--url URL]
//                                        plays the INI's last station (or URL), waits for a title
//                                        and a cover, and writes the window to FILE
//
// The child modes ("child-startup", "child-memory") are started by the modes above.
// Sound goes to the engine's no-sound output unless TUNORA_PROBE_DEVICE says otherwise.

#include "appsettings.h"
#include "icecast.h"
#include "threads.h"
#include "tunorade.h"
#include "tunorastream.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPalette>
#include <QProcess>
#include <QStyleFactory>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

QTextStream out(stdout);

int audioDevice()
{
    return qEnvironmentVariableIsSet("TUNORA_PROBE_DEVICE")
               ? qEnvironmentVariableIntValue("TUNORA_PROBE_DEVICE")
               : 0;
}

QString option(const QStringList &args, const QString &name, const QString &fallback = QString())
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
}

// "rss_kib pss_kib" of this process.
QString memoryLine()
{
    QFile file(QStringLiteral("/proc/self/smaps_rollup"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("? ?");
    qint64 rss = 0, pss = 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 2 && words[0] == "Rss:")
            rss = words[1].toLongLong();
        else if (words.size() >= 2 && words[0] == "Pss:")
            pss = words[1].toLongLong();
    }
    return QStringLiteral("%1 %2").arg(rss).arg(pss);
}

// Reports the first paint of the shown window.
class PaintWatch : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            out << "painted" << Qt::endl;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

void quietWindow()
{
    // Message boxes would wait for a click; they are printed instead.
    TunoraDE::setMessageHook(
        [](BASS::MessageKind, const QString &, const QString &text, QMessageBox::StandardButtons) {
            fprintf(stderr, "message: %s\n", qPrintable(text));
            return int(QMessageBox::Ok);
        });
}

int childStartup()
{
    quietWindow();
    TunoraDE window(nullptr, audioDevice());
    PaintWatch watch;
    window.installEventFilter(&watch);
    return qApp->exec();
}

int childMemory(const QStringList &args)
{
    quietWindow();
    TunoraDE window(nullptr, audioDevice());
    const int seconds = option(args, QStringLiteral("--seconds"), QStringLiteral("60")).toInt();
    QTimer::singleShot(3000, &window, [&] {
        out << "idle " << memoryLine() << Qt::endl;
        window.openAddress(option(args, QStringLiteral("--url")));
    });
    QTimer::singleShot(3000 + seconds * 1000, &window, [&] {
        out << "state " << window.channel()->State() << Qt::endl;
        out << "playing " << memoryLine() << Qt::endl;
        qApp->quit();
    });
    return qApp->exec();
}

int shot(const QStringList &args)
{
    if (args.contains(QStringLiteral("--dark"))) {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x2B, 0x2F, 0x33));
        dark.setColor(QPalette::WindowText, QColor(0xE6, 0xEB, 0xED));
        dark.setColor(QPalette::Base, QColor(0x22, 0x25, 0x28));
        dark.setColor(QPalette::AlternateBase, QColor(0x2B, 0x2F, 0x33));
        dark.setColor(QPalette::Text, QColor(0xE6, 0xEB, 0xED));
        dark.setColor(QPalette::Button, QColor(0x33, 0x38, 0x3C));
        dark.setColor(QPalette::ButtonText, QColor(0xE6, 0xEB, 0xED));
        dark.setColor(QPalette::Highlight, QColor(0x1F, 0x8A, 0x9E));
        dark.setColor(QPalette::HighlightedText, Qt::white);
        dark.setColor(QPalette::ToolTipBase, QColor(0x2B, 0x2F, 0x33));
        dark.setColor(QPalette::ToolTipText, QColor(0xE6, 0xEB, 0xED));
        QApplication::setPalette(dark);
    }
    quietWindow();
    TunoraDE window(nullptr, audioDevice());
    const QString url = option(args, QStringLiteral("--url"));
    if (url.isEmpty())
        window.slot_connectStation();
    else
        window.openAddress(url);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60000 && (window.currentTrack().isEmpty() ||
                                        !window.currentTrack().hasCover() || window.lastTrack().isEmpty()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    QCoreApplication::processEvents();
    const QString file = option(args, QStringLiteral("--out"));
    const bool saved = window.grab().save(file);
    out << (saved ? "wrote " : "could not write ") << file << " after " << waited.elapsed() << " ms"
        << Qt::endl;
    return saved ? 0 : 1;
}

double median(QList<double> values);

int stopLatency(const QStringList &args)
{
    // Accepts every connection and never answers.
    QTcpServer silent;
    QList<QTcpSocket *> held;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *socket = silent.nextPendingConnection())
            held.append(socket);
    });
    if (!silent.listen(QHostAddress::LocalHost, 0))
        return 1;
    const QString url = QStringLiteral("http://127.0.0.1:%1/silent.mp3").arg(silent.serverPort());
    quietWindow();
    TunoraDE window(nullptr, audioDevice());
    const int runs = option(args, QStringLiteral("--runs"), QStringLiteral("10")).toInt();
    for (const bool secondPlay : {false, true}) {
        QList<double> times;
        for (int run = 0; run < runs; ++run) {
            window.openAddress(url + QStringLiteral("?run=%1").arg(run));
            QElapsedTimer wait;
            wait.start();
            while (!window.connectThread()->isRunning() && wait.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QElapsedTimer held;
            held.start();
            if (secondPlay)
                window.openAddress(url + QStringLiteral("?again=%1").arg(run));
            else
                window.slot_connectStation();
            times.append(held.nsecsElapsed() / 1e6);
            window.stop(true);
            wait.restart();
            while (window.connectThread()->isRunning() && wait.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        out << (secondPlay ? "stop_by_second_play" : "stop_by_button")
            << "_median_ms: " << QString::number(median(times), 'f', 1)
            << "  max_ms: " << QString::number(*std::max_element(times.begin(), times.end()), 'f', 1)
            << Qt::endl;
    }
    qDeleteAll(held);
    return 0;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Starts this program in a child mode with the INI in `folder`; the child's stdout.
QProcess *startChild(const QStringList &args, const QString &folder)
{
    auto *child = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TUNORA_PROBE_FOLDER"), folder);
    child->setProcessEnvironment(env);
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start(QCoreApplication::applicationFilePath(), args);
    return child;
}

int startup(const QStringList &args)
{
    const int runs = option(args, QStringLiteral("--runs"), QStringLiteral("10")).toInt();
    for (const bool warm : {false, true}) {
        QList<double> times;
        QTemporaryDir folder;
        for (int run = 0; run < runs + (warm ? 1 : 0); ++run) {
            if (!warm)
                QDir(folder.path() + QStringLiteral("/Corvella")).removeRecursively();
            QElapsedTimer timer;
            timer.start();
            std::unique_ptr<QProcess> child(startChild({QStringLiteral("child-startup")}, folder.path()));
            double seconds = -1;
            while (child->waitForReadyRead(30000)) {
                if (child->readAll().contains("painted")) {
                    seconds = timer.nsecsElapsed() / 1e9;
                    break;
                }
            }
            child->waitForFinished(30000);
            if (seconds < 0) {
                out << "run failed" << Qt::endl;
                return 1;
            }
            if (!warm || run > 0) // the first warm run only writes the INI
                times.append(seconds);
        }
        out << (warm ? "startup_warm_median_s: " : "startup_cold_median_s: ")
            << QString::number(median(times), 'f', 3) << "  (runs:";
        for (const double t : times)
            out << ' ' << QString::number(t, 'f', 3);
        out << ")" << Qt::endl;
    }
    return 0;
}

int memory(const QStringList &args)
{
    TunoraTest::IcecastServer icecast;
    QString error;
    TunoraTest::IcecastServer::Source source;
    source.mount = QStringLiteral("/demo.mp3");
    source.name = QStringLiteral("Tunora Demo Radio");
    if (!icecast.start(&error) || !icecast.startSource(source, &error)) {
        out << "icecast: " << error << Qt::endl;
        return 1;
    }
    QTemporaryDir folder;
    const QString seconds = option(args, QStringLiteral("--seconds"), QStringLiteral("60"));
    std::unique_ptr<QProcess> child(
        startChild({QStringLiteral("child-memory"), QStringLiteral("--seconds"), seconds,
                    QStringLiteral("--url"), icecast.mountUrl(source.mount).toString()},
                   folder.path()));
    child->waitForFinished(int(seconds.toInt() + 60) * 1000);
    QString state;
    for (const QString &line : QString::fromUtf8(child->readAll()).split(QLatin1Char('\n'))) {
        const QStringList words = line.split(QLatin1Char(' '));
        if (words.size() == 3 && (words[0] == QLatin1String("idle") || words[0] == QLatin1String("playing")))
            out << words[0] << "_rss_mib: " << QString::number(words[1].toDouble() / 1024, 'f', 1) << "  "
                << words[0] << "_pss_mib: " << QString::number(words[2].toDouble() / 1024, 'f', 1)
                << Qt::endl;
        else if (words.size() == 2 && words[0] == QLatin1String("state"))
            state = words[1];
    }
    out << "channel_state_after_playing: " << state << "  (1 = playing)" << Qt::endl;
    return state == QLatin1String("1") ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int n = 1; n < argc; ++n)
        args << QString::fromLocal8Bit(argv[n]);
    const QString mode = args.value(0);
    const bool parentOnly = mode == QLatin1String("startup") || mode == QLatin1String("memory");
    if (mode == QLatin1String("shot")) {
        // The INI lies in "<folder>/Corvella/TunoraDE.ini".
        QDir folder = QFileInfo(option(args, QStringLiteral("--ini"))).absoluteDir();
        folder.cdUp();
        AppSettings::setApplicationFolderOverride(folder.path());
    } else if (qEnvironmentVariableIsSet("TUNORA_PROBE_FOLDER")) {
        AppSettings::setApplicationFolderOverride(qEnvironmentVariable("TUNORA_PROBE_FOLDER"));
    }
    if (parentOnly) {
        QCoreApplication app(argc, argv);
        return mode == QLatin1String("startup") ? startup(args) : memory(args);
    }
    QApplication app(argc, argv);
    // Measured and photographed without the first-run language choice and sign-in dialogs.
    TunoraDE::setStartDialogsEnabled(false);
    if (mode == QLatin1String("child-startup"))
        return childStartup();
    if (mode == QLatin1String("child-memory"))
        return childMemory(args);
    if (mode == QLatin1String("shot"))
        return shot(args);
    if (mode == QLatin1String("stop"))
        return stopLatency(args);
    fprintf(stderr, "usage: window-probe startup [--runs N] | memory [--seconds S] | stop [--runs N] | "
                    "shot --out FILE --ini INI [--dark] [--url URL]\n");
    return 2;
}
