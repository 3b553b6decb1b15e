// Screenshots of the station browser for the README: the main window against a local directory
// service of its own (the shipped catalogue, a signed-in listener with three favourites), showing
// genres drilled to a sub-genre with its stations, a search result with its paging row, and the
// favourites. Usage: browser-shots --out FOLDER (writes browse-genres.png, browse-search.png,
// browse-favorites.png).

#include "appsettings.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "treeradiowidget.h"
#include "treestationwidget.h"
#include "tunoraapi.h"
#include "tunorade.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

// Serves the event loop until the condition holds or the minute is up.
bool waitFor(const std::function<bool()> &condition)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return condition();
}

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

bool filledList(TunoraDE &window)
{
    TreeStationWidget *list = window.currentStationList();
    return list && list->topLevelItemCount() > 0 && !list->api()->busy();
}

bool save(TunoraDE &window, const QString &folder, const char *name)
{
    // A transient status ("Getting Stations...") lasts five seconds: the shot waits it out.
    QElapsedTimer settle;
    settle.start();
    waitFor([&] { return settle.elapsed() > 6000; });
    const QString file = folder + QLatin1Char('/') + QLatin1String(name);
    const bool saved = window.grab().save(file);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
    return saved;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--out"));
    if (at < 0 || at + 1 >= args.size()) {
        std::fprintf(stderr, "usage: browser-shots --out FOLDER\n");
        return 2;
    }
    const QString folder = QDir(args.at(at + 1)).absolutePath();
    QDir().mkpath(folder);
    AppSettings::setApplicationFolderOverride(home.path());
    TunoraDE::setStartDialogsEnabled(false);
    BASS::QHttpExt::settings().messageHook = [](BASS::MessageKind, const QString &, const QString &text,
                                                QMessageBox::StandardButtons) {
        std::fprintf(stderr, "browser-shots: message: %s\n", qPrintable(text));
        return int(QMessageBox::Ok);
    };

    TunoraTest::DirectoryService service;
    if (!service.start()) {
        std::fprintf(stderr, "browser-shots: %s\n", qPrintable(service.errorString()));
        return 1;
    }
    AppSettings &settings = AppSettings::instance();
    settings.setEndpoint(AppSettings::DirectoryRoot, service.root().toString());
    settings.setEndpoint(AppSettings::NewsFeedHost, service.root().toString());
    settings.setCaFile(service.caFile());
    TunoraAPI::configureHttp();
    {
        // A listener with three favourites.
        TunoraAPI api;
        if (!api.createAccount(QStringLiteral("listener"), QStringLiteral("listen-to-radio"),
                               QStringLiteral("listener@example.org")))
            return 1;
        BASS::QHttpExt http;
        bool activated = false;
        QObject::connect(&http, &BASS::QHttpExt::sig_Ready, [&] { activated = true; });
        http.get(service.linkFromLastMail(QStringLiteral("/account/activate")).toString(QUrl::FullyEncoded));
        if (!waitFor([&] { return activated; }))
            return 1;
        settings.setCredentials(QStringLiteral("listener"), QStringLiteral("listen-to-radio"));
    }
    QSettings().setValue(QStringLiteral("ShowWelcomePage"), false);

    TunoraDE window(nullptr, 0);
    window.resize(1280, 800);
    window.show();
    auto *menu = static_cast<TreeRadioWidget *>(window.twRadio);

    // Favourites: three stations found by name, starred from the search list.
    for (const char *name : {"Life Radio", "RMF FM", "France Inter"}) {
        window.teSearch->setText(QString::fromUtf8(name));
        window.slot_searchReturnPressed();
        if (!waitFor([&] { return filledList(window); }))
            return 1;
        TreeStationWidget *list = window.currentStationList();
        list->setContextRow(list->topLevelItem(0));
        list->slot_addFavorite();
        waitFor([&] { return !list->api()->busy(); });
    }
    window.teSearch->clear();

    // Genres drilled to a sub-genre with its stations.
    QTreeWidgetItem *genres = menu->sectionRow(TreeRadioWidget::Genres);
    menu->setCurrentItem(genres);
    if (!waitFor([&] { return childNamed(genres, QStringLiteral("Rock")); }))
        return 1;
    menu->setCurrentItem(childNamed(genres, QStringLiteral("Rock")));
    if (!waitFor([&] { return childNamed(genres, QStringLiteral("Classic Rock")) && filledList(window); }))
        return 1;
    menu->setCurrentItem(childNamed(genres, QStringLiteral("Classic Rock")));
    waitFor([&] { return filledList(window); });
    bool ok = save(window, folder, "browse-genres.png");

    // A search with more results than a page: the paging row ends the list.
    window.teSearch->setText(QStringLiteral("FR"));
    window.slot_searchReturnPressed();
    waitFor([&] { return filledList(window) && window.currentStationList()->moreRow(); });
    ok = save(window, folder, "browse-search.png") && ok;

    menu->selectSection(TreeRadioWidget::Favorites);
    waitFor([&] { return filledList(window) && window.currentStationList()->topLevelItemCount() >= 3; });
    ok = save(window, folder, "browse-favorites.png") && ok;

    BASS::QHttpExt::settings().messageHook = nullptr;
    return ok && service.stop() ? 0 : 1;
}
