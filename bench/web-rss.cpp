// Memory of the web views: the resident and proportional set size of the program and every
// helper process it started, with no web page opened and with the pages opened (track history,
// wish list, help page and the site view sharing one profile).
//   web-rss none|bare|pages [--low-end] [--single-process] [--no-scheme] [--many-renderers]
// Prints "rss_mib: N", "pss_mib: N", "processes: N" last.

#include "helpview.h"
#include "trackviews.h"
#include "webprofile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>

#include <cstdio>

namespace {

QList<int> descendants(int pid)
{
    QList<int> out{pid};
    for (int i = 0; i < out.size(); ++i) {
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(out[i]));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &c : children.readAll().split(' '))
            if (!c.trimmed().isEmpty())
                out << c.trimmed().toInt();
    }
    return out;
}

qint64 fieldKiB(const QString &file, const QByteArray &field)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').first().toLongLong();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QByteArray flags;
    const QStringList args = [&] {
        QStringList a;
        for (int i = 1; i < argc; ++i)
            a << QString::fromLocal8Bit(argv[i]);
        return a;
    }();
    if (args.contains(QStringLiteral("--low-end")))
        flags += " --enable-low-end-device-mode";
    if (args.contains(QStringLiteral("--single-process")))
        flags += " --single-process";
    if (!flags.isEmpty())
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // --no-scheme: measures what registering the command-link scheme costs on its own.
    // --many-renderers: the engine's default of one renderer process per site.
    if (args.contains(QStringLiteral("--many-renderers")))
        WebProfile::registerSchemes();
    else if (!args.contains(QStringLiteral("--no-scheme")))
        WebProfile::prepareEngine();
    QApplication app(argc, argv);
    const bool pages = args.value(0) == QLatin1String("pages");
    const bool bare = args.value(0) == QLatin1String("bare");

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Tunora Player"), &window));
    window.resize(900, 600);
    window.show();

    if (bare) {
        // The floor: one plain engine view with a three-line page, default profile.
        auto *view = new QWebEngineView(&window);
        layout->addWidget(view);
        QSignalSpy done(view, &QWebEngineView::loadFinished);
        view->setHtml(QStringLiteral("<p>one</p><p>two</p><p>three</p>"));
        done.wait(60000);
    }
    if (pages) {
        auto *history = new WebViewHistory(&window);
        auto *wish = new TrackWishListView(&window);
        auto *help = new HelpView(&window);
        layout->addWidget(history);
        layout->addWidget(wish);
        layout->addWidget(help);
        BASS::TrackList list;
        for (int i = 0; i < 20; ++i) {
            auto t = BASS::TrackPtr::create();
            t->setTrackId(quint32(i + 1));
            t->setTrackName(QStringLiteral("Artist %1 - Title %1").arg(i));
            t->setTrackGenre(QStringLiteral("Jazz"));
            list << t;
        }
        for (WebViewHistory *v : {history, static_cast<WebViewHistory *>(wish)}) {
            QSignalSpy done(v, &WebBrowser::signal_PageLoadFinished);
            v->renderHistory(list);
            done.wait(60000);
        }
    }
    // Let the helpers settle before measuring.
    QTimer::singleShot(3000, &app, &QApplication::quit);
    app.exec();

    qint64 rss = 0;
    qint64 pss = 0;
    const QList<int> pids = descendants(int(QCoreApplication::applicationPid()));
    for (int pid : pids) {
        rss += fieldKiB(QStringLiteral("/proc/%1/status").arg(pid), "VmRSS:");
        pss += fieldKiB(QStringLiteral("/proc/%1/smaps_rollup").arg(pid), "Pss:");
    }
    std::printf("web_profile_started: %s\nrss_mib: %.1f\npss_mib: %.1f\nprocesses: %d\n",
                WebProfile::exists() ? "yes" : "no", rss / 1024.0, pss / 1024.0, int(pids.size()));
    return 0;
}
