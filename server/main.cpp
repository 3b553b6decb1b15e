// tunora-directory: runs the directory service, or one of its maintenance commands.

#include "catalogue.h"
#include "config.h"
#include "covers.h"
#include "directoryservice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSettings>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &c, 1);
}

// SIGTERM and SIGINT end the event loop, so the service shuts down in order.
void installSignalHandlers(QCoreApplication *app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [notifier] {
        notifier->setEnabled(false);
        char c;
        [[maybe_unused]] const auto n = ::read(g_signalPipe[0], &c, 1);
        QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

int usage(QTextStream &err)
{
    err << "usage: tunora-directory [--config FILE]                      run the service\n"
           "       tunora-directory [--config FILE] import FILE...       import station catalogues\n"
           "       tunora-directory [--config FILE] import-covers FILE... import cover entries\n"
           "       tunora-directory [--config FILE] news-add LANG TITLE LINK [DESCRIPTION]\n"
           "       tunora-directory set-ini FILE KEY VALUE               write one key of an INI file\n"
           "The default configuration file is <data location>/tunora-directory/directory.ini.\n";
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tunora-directory"));
    // Request addresses carry passwords: the HTTP server's own request logging stays off.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.httpserver*=false"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList args = app.arguments().mid(1);
    QString configFile = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/tunora-directory/directory.ini");
    if (args.size() >= 2 && args[0] == QLatin1String("--config")) {
        configFile = args[1];
        args = args.mid(2);
    }
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h"))
        return usage(out), 0;

    if (command == QLatin1String("set-ini")) {
        // Lets scripts write settings of the player's INI file the way the player reads them.
        if (args.size() != 3)
            return usage(err);
        QSettings ini(args[0], QSettings::IniFormat);
        ini.setValue(args[1], args[2]);
        ini.sync();
        if (ini.status() != QSettings::NoError) {
            err << "tunora-directory: cannot write " << args[0] << "\n";
            return 1;
        }
        QFile::setPermissions(args[0], QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return 0;
    }

    if (!QFile::exists(configFile)) {
        // A missing default file is created empty: every key has a default.
        QDir().mkpath(QFileInfo(configFile).absolutePath());
        QFile f(configFile);
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            err << "tunora-directory: cannot create " << configFile << "\n";
            return 1;
        }
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    ServiceConfig config;
    QString error;
    if (!config.load(configFile, &error)) {
        err << "tunora-directory: " << error << "\n";
        return 1;
    }
    DirectoryService service(config);

    if (command == QLatin1String("import") || command == QLatin1String("import-covers") ||
        command == QLatin1String("news-add")) {
        if (!service.openStorage(&error)) {
            err << "tunora-directory: " << error << "\n";
            return 1;
        }
        if (command == QLatin1String("news-add")) {
            if (args.size() < 3 || args.size() > 4)
                return usage(err);
            if (!service.addNews(args[0], args[1], args[2], args.value(3), &error)) {
                err << "tunora-directory: " << error << "\n";
                return 1;
            }
            return 0;
        }
        if (args.isEmpty())
            return usage(err);
        for (const QString &file : std::as_const(args)) {
            if (command == QLatin1String("import")) {
                CatalogueImporter::Result result;
                if (!service.importer().importFile(file, &result, &error)) {
                    err << "tunora-directory: " << error << "\n";
                    return 1;
                }
                out << file << ": " << result.stations << " stations, " << result.streams << " streams, "
                    << result.skipped << " skipped\n";
            } else {
                int count = 0;
                if (!service.covers().importFile(file, &count, &error)) {
                    err << "tunora-directory: " << error << "\n";
                    return 1;
                }
                out << file << ": " << count << " covers\n";
            }
        }
        return 0;
    }
    if (!command.isEmpty())
        return usage(err);

    installSignalHandlers(&app);
    if (!service.start(&error)) {
        err << "tunora-directory: " << error << "\n";
        return 1;
    }
    out << "tunora-directory: listening on " << service.publicUrl().toString() << " port " << service.port();
    if (service.newsPort())
        out << " news-port " << service.newsPort();
    out << "\n";
    out.flush();
    return app.exec();
}
