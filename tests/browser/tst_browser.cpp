// The station browser against the real directory service (regions, genres, search, paging,
// favourites) and against a scripted directory for replies the service never sends (hostile,
// duplicated, markup in names); column layout mirrored, stored and cleared.

#include "appsettings.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "httpserver.h"
#include "scriptedserver.h"
#include "testca.h"
#include "testmain.h"
#include "treeradiowidget.h"
#include "treestationwidget.h"
#include "tunoraapi.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <functional>
#include <memory>

using BASS::QHttpExt;
using TunoraTest::DirectoryService;
using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

QStringList names(const TreeStationWidget &list)
{
    QStringList out;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        if (list.stationOf(list.topLevelItem(i)))
            out << list.topLevelItem(i)->text(TreeStationWidget::ColumnName);
    return out;
}

bool waitFilled(TreeStationWidget &list)
{
    QSignalSpy filled(&list, &TreeStationWidget::signal_filled);
    return filled.wait(60000) || !filled.isEmpty();
}

QByteArray stationXml(const QByteArray &id, const QByteArray &name, int streams = 1)
{
    QByteArray xml = "<station><id>" + id + "</id><name>" + name + "</name><streams>";
    for (int i = 0; i < streams; ++i)
        xml += "<stream><url_listen>http://127.0.0.1:9/" + id + "/" + QByteArray::number(i) +
               "</url_listen><bitrate>128</bitrate><type>mp3</type></stream>";
    return xml + "</streams></station>";
}

QByteArray stationsReply(const QByteArray &body, int total = 0, int limit = 25)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><stations><results_total>" + QByteArray::number(total) +
           "</results_total><limit>" + QByteArray::number(limit) + "</limit>" + body + "</stations>";
}

} // namespace

class TestBrowser : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void drillRegions_data();
    void drillRegions();
    void drillGenres_data();
    void drillGenres();
    void search_data();
    void search();
    void nowPlayingFromPoller();
    void paging();
    void browseRows();
    void favorites();
    void delayedClickAfterReload();
    void staleReplyDropped();
    void columnsMirrored_data();
    void columnsMirrored();
    void layoutStoredAndCleared();
    void headerMenu_data();
    void headerMenu();
    void scriptedReplies_data();
    void scriptedReplies();
    void ordering_data();
    void ordering();
    void playAndMarker();
    void piecewiseReading_data();
    void piecewiseReading();

private:
    void useService();
    void useScripted(const QByteArray &reply);
    // Opens a section of the menu and waits for its first-level rows.
    QTreeWidgetItem *openSection(TreeRadioWidget &menu, int section);
    // Chooses a row of the menu; when it asks for stations, the list loads them (as the window does).
    void choose(TreeRadioWidget &menu, QTreeWidgetItem *row, TreeStationWidget &list);

    std::unique_ptr<DirectoryService> m_service;
    std::unique_ptr<TunoraTest::TestCa> m_ca;
    std::unique_ptr<HttpServer> m_scripted;
    QByteArray m_scriptedReply;
    QStringList m_boxes;
    const QString m_user = u("browser_listener");
    const QString m_password = u("listen-2-radio!");
};

void TestBrowser::initTestCase()
{
    const QString folder = TunoraTest::IsolatedHome::path() + QLatin1String("/app");
    QDir().mkpath(folder);
    AppSettings::setApplicationFolderOverride(folder);
    QHttpExt::settings().messageHook = [this](BASS::MessageKind, const QString &, const QString &text,
                                              QMessageBox::StandardButtons) {
        m_boxes << text;
        return int(QMessageBox::Ok);
    };
    m_service = std::make_unique<DirectoryService>();
    QVERIFY2(m_service->start(), qPrintable(m_service->errorString()));
    useService();

    TunoraAPI api;
    QVERIFY(api.createAccount(m_user, m_password, u("listener@example.org")));
    QHttpExt http;
    QSignalSpy ready(&http, &QHttpExt::sig_Ready);
    QVERIFY(http.get(m_service->linkFromLastMail(u("/account/activate")).toString(QUrl::FullyEncoded)) != 0);
    QVERIFY(ready.wait(60000));

    m_ca = std::make_unique<TunoraTest::TestCa>();
    QVERIFY2(m_ca->isValid(), qPrintable(m_ca->error()));
    m_scripted = std::make_unique<HttpServer>();
    QVERIFY(m_scripted->listenTls(m_ca->serverCertificate(), m_ca->serverKey()));
    m_scripted->setHandler(
        [this](const TunoraTest::HttpRequest &) { return HttpResponse::ok(m_scriptedReply); });
}

void TestBrowser::cleanupTestCase()
{
    QHttpExt::settings().messageHook = nullptr;
    m_scripted.reset();
    if (m_service)
        QVERIFY2(m_service->stop(), qPrintable(m_service->errorString()));
}

void TestBrowser::init()
{
    useService();
}

void TestBrowser::useService()
{
    AppSettings &settings = AppSettings::instance();
    settings.setEndpoint(AppSettings::DirectoryRoot, m_service->root().toString());
    settings.setCaFile(m_service->caFile());
    settings.setCredentials(m_user, m_password);
    TunoraAPI::configureHttp();
}

void TestBrowser::useScripted(const QByteArray &reply)
{
    m_scriptedReply = reply;
    AppSettings &settings = AppSettings::instance();
    settings.setEndpoint(AppSettings::DirectoryRoot, m_scripted->url(u("/")));
    settings.setCaFile(m_ca->caFile());
    TunoraAPI::configureHttp();
}

QTreeWidgetItem *TestBrowser::openSection(TreeRadioWidget &menu, int section)
{
    QTreeWidgetItem *row = menu.sectionRow(section);
    menu.setCurrentItem(row);
    [&] { QTRY_VERIFY_WITH_TIMEOUT(row->childCount() > 0 && !menu.api()->busy(), 60000); }();
    return row;
}

void TestBrowser::choose(TreeRadioWidget &menu, QTreeWidgetItem *row, TreeStationWidget &list)
{
    QSignalSpy chosen(&menu, &TreeRadioWidget::signal_SelectionChanged);
    menu.setCurrentItem(row);
    QVERIFY(!chosen.isEmpty());
    const QString search = chosen.last().at(1).toString();
    QVERIFY(!search.isEmpty());
    list.queryStations(search);
    QVERIFY(waitFilled(list));
}

void TestBrowser::drillRegions_data()
{
    QTest::addColumn<QString>("region");
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("station");
    QTest::addColumn<bool>("subCountries");
    QTest::newRow("country without parts")
        << u("Europe") << u("France") << u("FR") << u("France Inter") << false;
    QTest::newRow("country with parts") << u("Europe") << u("Austria") << u("AT") << u("Life Radio") << true;
}

void TestBrowser::drillRegions()
{
    QFETCH(QString, region);
    QFETCH(QString, country);
    QFETCH(QString, code);
    QFETCH(QString, station);
    QFETCH(bool, subCountries);
    TreeRadioWidget menu;
    TreeStationWidget list;
    QTreeWidgetItem *regions = openSection(menu, TreeRadioWidget::Regions);
    QTreeWidgetItem *regionRow = childNamed(regions, region);
    QVERIFY(regionRow);
    menu.setCurrentItem(regionRow);
    QTreeWidgetItem *countryRow = childNamed(regions, country);
    QVERIFY2(countryRow, "countries of the region replace the regions");
    QCOMPARE(regions->child(0)->text(0), region); // the path row leads
    QCOMPARE(menu.radioItem(countryRow)->kind == TreeRadioWidget::KindExpandable, subCountries);

    QSignalSpy chosen(&menu, &TreeRadioWidget::signal_SelectionChanged);
    choose(menu, countryRow, list);
    QCOMPARE(chosen.first().at(0).toInt(), int(TreeRadioWidget::Regions));
    QCOMPARE(chosen.first().at(1).toString(), code);
    QCOMPARE(menu.currentCountry() ? menu.currentCountry()->code() : QString(), code);
    QVERIFY2(names(list).contains(station), qPrintable(names(list).join(u(", "))));
    if (subCountries) {
        // The parts of the country replaced the countries; the path names region and country.
        const QList<QTreeWidgetItem *> path = menu.pathRows();
        QCOMPARE(path.size(), 2);
        QCOMPARE(path.at(0)->text(0), region);
        QCOMPARE(path.at(1)->text(0), country);
        QTreeWidgetItem *part = regions->child(int(path.size()));
        QVERIFY(part);
        choose(menu, part, list);
        QVERIFY(names(list).size() > 0);
        QVERIFY(names(list).contains(station));
    }
}

void TestBrowser::drillGenres_data()
{
    QTest::addColumn<QString>("genre");
    QTest::addColumn<QString>("subGenre");
    QTest::addColumn<QString>("station");
    QTest::newRow("pop") << u("Pop") << u("Adult CHR") << u("RMF FM");
    QTest::newRow("rock") << u("Rock") << u("Classic Rock") << QString();
}

void TestBrowser::drillGenres()
{
    QFETCH(QString, genre);
    QFETCH(QString, subGenre);
    QFETCH(QString, station);
    TreeRadioWidget menu;
    TreeStationWidget list;
    QTreeWidgetItem *genres = openSection(menu, TreeRadioWidget::Genres);
    QTreeWidgetItem *genreRow = childNamed(genres, genre);
    QVERIFY(genreRow);
    choose(menu, genreRow, list);
    QVERIFY(names(list).size() > 0);
    QCOMPARE(menu.currentGenre() ? menu.currentGenre()->name() : QString(), genre);
    QTreeWidgetItem *subRow = childNamed(genres, subGenre);
    QVERIFY2(subRow, "sub-genres replace the genres");
    QCOMPARE(menu.pathRows().size(), 1);
    choose(menu, subRow, list);
    QCOMPARE(menu.currentGenre() ? menu.currentGenre()->name() : QString(), subGenre);
    QVERIFY(names(list).size() > 0);
    if (!station.isEmpty())
        QVERIFY2(names(list).contains(station), qPrintable(names(list).join(u(", "))));
}

void TestBrowser::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("station");
    QTest::addColumn<QString>("network"); // stations sharing a web site form one
    QTest::newRow("name") << u("Life Radio") << u("Life Radio") << QString();
    QTest::newRow("country code") << u("PL") << u("RMF FM") << QString();
    QTest::newRow("network named by its stations")
        << u("Radio BOB 80s Rock") << u("Radio BOB! 80s Rock") << u("Radio BOB!");
    QTest::newRow("network named by its site")
        << u("Soma FM Groove Salad") << u("Soma FM - Groove Salad") << u("somafm.com");
}

void TestBrowser::search()
{
    QFETCH(QString, text);
    QFETCH(QString, station);
    QFETCH(QString, network);
    TreeStationWidget list;
    list.queryStations(text);
    QVERIFY(waitFilled(list));
    const int at = int(names(list).indexOf(station));
    QVERIFY2(at >= 0, qPrintable(names(list).join(u(", "))));
    QCOMPARE(list.mode(), int(TreeStationWidget::ModeQuery));
    QCOMPARE(list.topLevelItem(at)->text(TreeStationWidget::ColumnNetwork), network);
}

void TestBrowser::nowPlayingFromPoller()
{
    // A station whose stream names its song: the service's poller picks the title up, and a search
    // for the song finds the station with what it plays.
    using TunoraTest::ScriptedServer;
    const QByteArray song = "Zebrafinch Nocturne";
    QByteArray meta = "StreamTitle='Poller Artist - " + song + "';";
    const qsizetype padded = (meta.size() + 15) / 16 * 16;
    meta = char(padded / 16) + meta.leftJustified(padded, '\0');
    ScriptedServer stream;
    QVERIFY(stream.start([&](int, const QByteArray &) {
        return ScriptedServer::Script{
            ScriptedServer::send(ScriptedServer::header("ICY 200 OK", {"icy-metaint: 64"}) +
                                 QByteArray(64, 'x') + meta + QByteArray(64, 'x')),
            ScriptedServer::close()};
    }));
    QTemporaryDir folder;
    QFile catalogue(folder.filePath(u("poller.json")));
    QVERIFY(catalogue.open(QIODevice::WriteOnly));
    catalogue.write(R"({"webradios": {"poller-test": {"Name": "Scripted Poller Radio", "Genre": ["Pop"],
        "Country": "Germany", "Homepage": "", "Codec": "MP3", "Bitrate": 128, "StreamUri": ")" +
                    stream.url("/live") + R"(", "alternativeStreams": {}}}})");
    catalogue.close();
    DirectoryService service;
    DirectoryService::Options options;
    options.importCatalogue = false; // the shipped stations' addresses are not to be visited
    options.extraCatalogues << catalogue.fileName();
    options.poller = true;
    options.pollIntervalSeconds = 1;
    QVERIFY2(service.start(options), qPrintable(service.errorString()));
    AppSettings &settings = AppSettings::instance();
    settings.setEndpoint(AppSettings::DirectoryRoot, service.root().toString());
    settings.setCaFile(service.caFile());
    settings.setCredentials(QString(), QString());
    TunoraAPI::configureHttp();

    TreeStationWidget list;
    const QString playing = u("Poller Artist - ") + QString::fromLatin1(song);
    auto firstPlaying = [&] {
        QTreeWidgetItem *row = list.topLevelItem(0);
        return row ? row->text(TreeStationWidget::ColumnPlaying) : QString();
    };
    // What plays now is read fresh with every list: ask by name until the poller has been there.
    for (QDeadlineTimer deadline(60000); firstPlaying() != playing && !deadline.hasExpired();) {
        list.queryStations(u("Scripted Poller Radio"));
        QVERIFY(waitFilled(list));
        if (firstPlaying() != playing)
            QTest::qWait(200);
    }
    QCOMPARE(firstPlaying(), playing);
    list.queryStations(QString::fromLatin1(song));
    QVERIFY(waitFilled(list));
    QCOMPARE(names(list), QStringList{u("Scripted Poller Radio")});
    QCOMPARE(firstPlaying(), playing);
    settings.setCredentials(m_user, m_password);
    QVERIFY2(service.stop(), qPrintable(service.errorString()));
}

void TestBrowser::paging()
{
    TreeStationWidget list;
    list.queryStations(u("FR"));
    QVERIFY(waitFilled(list));
    const QStringList first = names(list);
    QCOMPARE(first.size(), TunoraAPI::PageSize);
    QTreeWidgetItem *more = list.moreRow();
    QVERIFY(more);
    QCOMPARE(list.indexOfTopLevelItem(more), list.topLevelItemCount() - 1);
    const int total = list.api()->resultsTotal();
    QVERIFY(total > TunoraAPI::PageSize);
    QVERIFY(more->toolTip(TreeStationWidget::ColumnName).contains(QString::number(total)));

    // The paging row brings the next page below the first; on the last page there is none.
    QSignalSpy filled(&list, &TreeStationWidget::signal_filled);
    emit list.itemActivated(more, TreeStationWidget::ColumnName);
    QVERIFY(filled.wait(60000));
    QCOMPARE(list.pageIndex(), 1);
    QCOMPARE(names(list).size(), total);
    QVERIFY(!list.moreRow());
    QCOMPARE(list.topLevelItem(total - 1)->text(TreeStationWidget::ColumnNumber), QString::number(total));

    list.previousPage();
    QVERIFY(waitFilled(list));
    QCOMPARE(list.pageIndex(), 0);
    QCOMPARE(names(list), first);
}

void TestBrowser::browseRows()
{
    // Region rows of a station list open into their countries, country rows into their stations.
    TreeRadioWidget menu;
    QTreeWidgetItem *regions = openSection(menu, TreeRadioWidget::Regions);
    auto *europe = dynamic_cast<BASS::WorldRegion *>(menu.itemObject(childNamed(regions, u("Europe"))));
    QVERIFY(europe);
    TreeStationWidget list;
    QTreeWidgetItem *region = list.addBrowseRow(*europe);
    QCOMPARE(region->childCount(), 1); // the placeholder
    region->setExpanded(true);
    QTreeWidgetItem *swiss = nullptr;
    for (int i = 0; i < region->childCount(); ++i)
        if (region->child(i)->text(TreeStationWidget::ColumnName) == u("Switzerland"))
            swiss = region->child(i);
    QVERIFY(swiss);
    QVERIFY(region->childCount() > 10);
    swiss->setExpanded(true);
    QVERIFY(waitFilled(list));
    QStringList stations;
    for (int i = 0; i < swiss->childCount(); ++i)
        if (list.stationOf(swiss->child(i)))
            stations << swiss->child(i)->text(TreeStationWidget::ColumnName);
    QVERIFY2(stations.contains(u("SwissGroove")), qPrintable(stations.join(u(", "))));
    QCOMPARE(list.topLevelItemCount(), 1); // the rest of the list stays

    // Opening it again after it closed lists its stations again, not as duplicates of gone rows.
    swiss->setExpanded(false);
    swiss->setExpanded(true);
    QVERIFY(waitFilled(list));
    int again = 0;
    for (int i = 0; i < swiss->childCount(); ++i)
        again += list.stationOf(swiss->child(i)) ? 1 : 0;
    QCOMPARE(again, int(stations.size()));
}

void TestBrowser::favorites()
{
    TreeRadioWidget menu;
    TreeStationWidget list;
    list.queryStations(u("PL"));
    QVERIFY(waitFilled(list));
    QVERIFY(list.topLevelItemCount() >= 2);
    QTreeWidgetItem *starred = list.topLevelItem(0);
    const QString starredId = list.stationOf(starred)->id();

    // A click in the star column adds the favourite without starting playback.
    QSignalSpy changed(&list, &TreeStationWidget::signal_FavoriteChanged);
    QSignalSpy played(&list, &TreeStationWidget::signal_playStation);
    list.resize(900, 400);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const QRect r = list.visualItemRect(starred);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(6, r.center().y()));
    QVERIFY(changed.wait(30000));
    QCOMPARE(changed.first().at(0).toBool(), true);
    QCOMPARE(changed.first().at(1).toString(), starredId);
    QVERIFY(list.stationOf(starred)->favorite());
    QVERIFY(played.isEmpty());

    // A station dropped on FAVORITES is added; on any other row the drop is refused.
    const QString droppedId = list.stationOf(list.topLevelItem(1))->id();
    list.setCurrentItem(list.topLevelItem(1));
    std::unique_ptr<QMimeData> data(list.stationMimeData());
    QVERIFY(data);
    menu.resize(300, 400);
    menu.show();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QSignalSpy dropped(&menu, &TreeRadioWidget::signal_FavoriteChanged);
    auto dropOn = [&](QTreeWidgetItem *row) {
        const QPoint at = menu.visualItemRect(row).center();
        QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(menu.viewport(), &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(menu.viewport(), &drop);
        return drop.isAccepted();
    };
    QVERIFY(!dropOn(menu.sectionRow(TreeRadioWidget::History)));
    QVERIFY(dropOn(menu.sectionRow(TreeRadioWidget::Favorites)));
    QVERIFY(dropped.wait(30000));
    QCOMPARE(dropped.first().at(1).toString(), droppedId);

    TreeStationWidget favorites;
    favorites.loadFavorites();
    QVERIFY(waitFilled(favorites));
    QVERIFY(favorites.rowOfStation(starredId));
    QVERIFY(favorites.rowOfStation(droppedId));
    QVERIFY(favorites.stationOf(favorites.rowOfStation(starredId))->favorite());
    // A favourite gives no drag data: it is one already.
    favorites.setCurrentItem(favorites.rowOfStation(starredId));
    QVERIFY(!std::unique_ptr<QMimeData>(favorites.stationMimeData()));
}

void TestBrowser::delayedClickAfterReload()
{
    TreeRadioWidget menu;
    menu.resize(300, 500);
    menu.show();
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QTreeWidgetItem *regions = openSection(menu, TreeRadioWidget::Regions);
    QTreeWidgetItem *region = regions->child(0);
    const int live = TreeRadioWidget::TreeRadioItem::liveCount();
    QSignalSpy chosen(&menu, &TreeRadioWidget::signal_SelectionChanged);
    // A press on a row that is not current schedules its opening; the menu is cleared first.
    QTest::mousePress(menu.viewport(), Qt::LeftButton, {}, menu.visualItemRect(region).center());
    menu.clearTree();
    QTRY_VERIFY(TreeRadioWidget::TreeRadioItem::liveCount() < live);
    QTest::qWait(TreeRadioWidget::ClickDelay * 2);
    QCOMPARE(regions->childCount(), 0);
    QVERIFY(!menu.currentCountry());
    // The sections still answer.
    menu.setCurrentItem(menu.sectionRow(TreeRadioWidget::History));
    QCOMPARE(chosen.last().at(0).toInt(), int(TreeRadioWidget::History));
}

void TestBrowser::staleReplyDropped()
{
    TreeStationWidget list;
    list.queryStations(u("Life Radio"));
    list.queryStations(u("PL"));
    QVERIFY(waitFilled(list));
    QTest::qWait(200);
    const QStringList found = names(list);
    QVERIFY(found.contains(u("RMF FM")));
    QVERIFY2(!found.contains(u("Life Radio")), qPrintable(found.join(u(", "))));
}

void TestBrowser::columnsMirrored_data()
{
    using Change = std::function<void(TreeStationWidget &)>;
    using Check = std::function<bool(TreeStationWidget &)>;
    QTest::addColumn<Change>("change");
    QTest::addColumn<Check>("check");
    QTest::newRow("resize") << Change([](TreeStationWidget &t) { t.header()->resizeSection(4, 123); })
                            << Check([](TreeStationWidget &t) { return t.columnWidth(4) == 123; });
    QTest::newRow("move") << Change([](TreeStationWidget &t) { t.header()->moveSection(5, 2); })
                          << Check([](TreeStationWidget &t) { return t.header()->visualIndex(5) == 2; });
    QTest::newRow("hide through the menu") << Change([](TreeStationWidget &t) {
        QMenu menu;
        t.buildHeaderMenu(&menu);
        for (QAction *a : menu.actions())
            if (a->data().toInt() == 3)
                a->trigger();
    }) << Check([](TreeStationWidget &t) { return t.isColumnHidden(3); });
}

void TestBrowser::columnsMirrored()
{
    using Change = std::function<void(TreeStationWidget &)>;
    using Check = std::function<bool(TreeStationWidget &)>;
    QFETCH(Change, change);
    QFETCH(Check, check);
    std::vector<std::unique_ptr<TreeStationWidget>> lists;
    for (int i = 1; i <= 3; ++i) {
        lists.push_back(std::make_unique<TreeStationWidget>());
        lists.back()->setObjectName(u("twStations%1").arg(i));
    }
    // What the window does: apply a change of one list to the others.
    QList<int> broadcasts; // columns whose change a list announced
    for (auto &l : lists) {
        TreeStationWidget *source = l.get();
        connect(source, &TreeWidgetBase::signal_columnResized, this,
                [&, source](QTreeWidget *, int c, int, int w) {
                    broadcasts << c;
                    for (auto &o : lists)
                        if (o.get() != source)
                            o->applyColumnWidth(c, w);
                });
        connect(source, &TreeWidgetBase::signal_columnMoved, this,
                [&, source](QTreeWidget *, int c, int from, int to) {
                    broadcasts << c;
                    for (auto &o : lists)
                        if (o.get() != source)
                            o->applyColumnMove(from, to);
                });
        connect(source, &TreeWidgetBase::signal_columnHidden, this, [&, source](QTreeWidget *, int c) {
            broadcasts << c;
            for (auto &o : lists)
                if (o.get() != source)
                    o->setColumnHidden(c, true);
        });
    }
    change(*lists[0]);
    for (auto &l : lists)
        QVERIFY2(check(*l), qPrintable(l->objectName()));
    // The stretched last column may follow a resize; the changed column itself is announced once:
    // mirrored changes do not bounce back.
    QVERIFY(!broadcasts.isEmpty());
    QCOMPARE(broadcasts.count(broadcasts.first()), 1);
}

void TestBrowser::layoutStoredAndCleared()
{
    const QString name = u("twStations4");
    AppSettings::instance().clearStationListLayouts();
    {
        TreeStationWidget list;
        list.setObjectName(name);
        list.header()->resizeSection(TreeStationWidget::ColumnGenres, 77);
        list.header()->moveSection(TreeStationWidget::ColumnLocation, 2);
    } // stored on destruction
    const QByteArray state = AppSettings::instance().treeLayout(name);
    QVERIFY(!state.isEmpty());
    TreeStationWidget restored;
    restored.setObjectName(name);
    QVERIFY(restored.restoreLayout(state));
    QCOMPARE(restored.columnWidth(TreeStationWidget::ColumnGenres), 77);
    QCOMPARE(restored.header()->visualIndex(TreeStationWidget::ColumnLocation), 2);
    QVERIFY(restored.header()->sectionsMovable());

    // A corrupt layout keeps the current sizes.
    QVERIFY(!restored.restoreLayout(QByteArray("not a header state")));
    QCOMPARE(restored.columnWidth(TreeStationWidget::ColumnGenres), 77);

    QSignalSpy reset(&restored, &TreeWidgetBase::signal_columnsResetRequested);
    restored.slot_columnsSave();
    QVERIFY(!AppSettings::instance().treeLayout(u("twStations7")).isEmpty());
    restored.slot_columnsReset();
    QCOMPARE(reset.size(), 1);
    QVERIFY(AppSettings::instance().treeLayout(name).isEmpty());
    QVERIFY(AppSettings::instance().treeLayout(u("twStations7")).isEmpty());
    restored.applyDefaultLayout();
    restored.setSaveOnDestroy(false);
    QCOMPARE(restored.columnWidth(TreeStationWidget::ColumnGenres), 200);
    QCOMPARE(restored.header()->visualIndex(TreeStationWidget::ColumnLocation),
             int(TreeStationWidget::ColumnLocation));
}

void TestBrowser::headerMenu_data()
{
    QTest::addColumn<bool>("stationList");
    QTest::addColumn<QList<int>>("columns");
    QTest::newRow("station list") << true << QList<int>{2, 3, 4, 5, 6, 7};
    QTest::newRow("menu") << false << QList<int>{};
}

void TestBrowser::headerMenu()
{
    QFETCH(bool, stationList);
    QFETCH(QList<int>, columns);
    std::unique_ptr<TreeWidgetBase> tree;
    if (stationList)
        tree = std::make_unique<TreeStationWidget>();
    else
        tree = std::make_unique<TreeRadioWidget>();
    QMenu menu;
    const bool built = tree->buildHeaderMenu(&menu);
    QCOMPARE(built, stationList); // the menu's header has no column menu
    QList<int> listed;
    for (QAction *a : menu.actions()) {
        QVERIFY(!a->isSeparator()); // the reset entry needs the Control key
        listed << a->data().toInt();
        QCOMPARE(a->isChecked(), !tree->isColumnHidden(a->data().toInt()));
    }
    QCOMPARE(listed, columns);

    // The station list's corner button opens the same menu.
    if (auto *list = dynamic_cast<TreeStationWidget *>(tree.get())) {
        list->show();
        QVERIFY(QTest::qWaitForWindowExposed(list));
        QTest::mousePress(list->headerEx()->cornerButton(), Qt::LeftButton);
        QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
        QCOMPARE(QApplication::activePopupWidget()->actions().size(), columns.size());
        QApplication::activePopupWidget()->close();
    }
}

void TestBrowser::scriptedReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("expected");
    const QString corpus = QFINDTESTDATA("../fuzz/corpus/stationlistreader");
    QVERIFY(!corpus.isEmpty());
    for (const QString &file : QDir(corpus).entryList(QDir::Files)) {
        QFile f(corpus + u("/") + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(u("corpus ") + file)) << f.readAll() << QStringList{u("*")};
    }
    QTest::newRow("markup in names") << stationsReply(stationXml("1", "&lt;b&gt;x&lt;/b&gt;"), 1)
                                     << QStringList{u("<b>x</b>")};
    QTest::newRow("station twice") << stationsReply(stationXml("7", "Twice") + stationXml("7", "Twice"), 2)
                                   << QStringList{u("Twice")};
    QTest::newRow("no streams") << stationsReply("<station><id>3</id><name>Silent</name></station>", 1)
                                << QStringList{};
    QTest::newRow("truncated") << stationsReply(stationXml("1", "Whole")).left(140) << QStringList{u("*")};
    QTest::newRow("deep nesting") << stationsReply(QByteArray(5000, '<').replace("<", "<a>"))
                                  << QStringList{u("*")};
    QTest::newRow("not xml") << QByteArray("\x00\xff\xfe garbage", 12) << QStringList{u("*")};
    // Several times the amount read per turn of the event loop: every station, in order.
    QByteArray large;
    QStringList largeNames;
    for (int i = 0; i < 1500; ++i) {
        large += stationXml("L" + QByteArray::number(i), "Large " + QByteArray::number(i));
        largeNames << u("Large ") + QString::number(i);
    }
    QTest::newRow("large reply") << stationsReply(large, 1500, 1500) << largeNames;
}

void TestBrowser::scriptedReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, expected);
    useScripted(reply);
    TreeStationWidget list;
    list.queryStations(u("anything"));
    QVERIFY(waitFilled(list));
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        // Texts show literally; tool tips carry them escaped.
        QTreeWidgetItem *row = list.topLevelItem(i);
        const QString name = row->text(TreeStationWidget::ColumnName);
        if (!name.isEmpty() && list.stationOf(row))
            QVERIFY(row->toolTip(TreeStationWidget::ColumnName).contains(name.toHtmlEscaped()));
    }
    if (expected != QStringList{u("*")})
        QCOMPARE(names(list), expected);
}

void TestBrowser::ordering_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::addColumn<QStringList>("firstNames");
    QTest::newRow("number ascending") << 1 << Qt::AscendingOrder << QStringList{u("S1"), u("S2"), u("S3")};
    QTest::newRow("number descending")
        << 1 << Qt::DescendingOrder << QStringList{u("S12"), u("S11"), u("S10")};
    QTest::newRow("name ascending") << 2 << Qt::AscendingOrder << QStringList{u("S1"), u("S10"), u("S11")};
}

void TestBrowser::ordering()
{
    QFETCH(int, column);
    QFETCH(Qt::SortOrder, order);
    QFETCH(QStringList, firstNames);
    QByteArray body;
    for (int i = 1; i <= 12; ++i)
        body += stationXml("s" + QByteArray::number(i), "S" + QByteArray::number(i));
    useScripted(stationsReply(body, 40, 12));
    TreeStationWidget list;
    list.queryStations(u("anything"));
    QVERIFY(waitFilled(list));
    QVERIFY(list.moreRow());
    list.sortItems(column, order);
    QCOMPARE(names(list).mid(0, 3), firstNames);
    if (order == Qt::AscendingOrder)
        QCOMPARE(list.indexOfTopLevelItem(list.moreRow()), list.topLevelItemCount() - 1);
}

void TestBrowser::playAndMarker()
{
    useScripted(stationsReply(stationXml("a", "Alpha", 2) + stationXml("b", "Beta"), 2));
    TreeStationWidget list;
    list.queryStations(u("anything"));
    QVERIFY(waitFilled(list));
    QSignalSpy play(&list, &TreeStationWidget::signal_playStation);
    QTreeWidgetItem *alpha = list.rowOfStation(u("a"));
    QVERIFY(alpha);
    emit list.itemActivated(alpha, TreeStationWidget::ColumnName);
    QCOMPARE(play.size(), 1);
    QCOMPARE(play.first().at(1).value<BASS::Station>().id(), u("a"));
    QCOMPARE(play.first().at(2).toInt(), -1);

    // A station with two streams offers each stream ahead of the five actions.
    std::unique_ptr<QMenu> menu(list.createContextMenu(alpha));
    QCOMPARE(menu->actions().size(), 2 + 1 + 5);
    menu->actions().at(1)->trigger();
    QCOMPARE(play.size(), 2);
    QCOMPARE(play.last().at(2).toInt(), 1);

    list.UpdateValidTreeItems(u("a"), 1);
    QVERIFY(alpha->font(TreeStationWidget::ColumnName).bold());
    list.UpdateValidTreeItems(u("a"), 0);
    QVERIFY(!alpha->font(TreeStationWidget::ColumnName).bold());
}

void TestBrowser::piecewiseReading_data()
{
    QTest::addColumn<QByteArray>("reply");
    const QString corpus = QFINDTESTDATA("../fuzz/corpus/stationlistreader");
    for (const QString &file : QDir(corpus).entryList(QDir::Files)) {
        QFile f(corpus + u("/") + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(u("corpus ") + file)) << f.readAll();
    }
    const QByteArray network =
        "<network><id>9</id><name>Net</name><url_website>http://net.example</url_website>"
        "</network>";
    QTest::newRow("network by id after its block") << stationsReply(
        stationXml("1", "One").replace("</station>", QByteArray(network + "</station>")) +
            stationXml("2", "Two").replace("</station>", "<network_id>9</network_id></station>"),
        2);
    QTest::newRow("empty station ends the list")
        << stationsReply(stationXml("1", "One") + "<station></station>" + stationXml("2", "Two"), 2);
    QTest::newRow("no limit") << "<stations>" + stationXml("1", "One") + stationXml("2", "Two") +
                                     "</stations>";
    QTest::newRow("limit after a station") << "<stations>" + stationXml("1", "One") + "<limit>5</limit>" +
                                                  stationXml("2", "Two") + "</stations>";
    QTest::newRow("end tag cut")
        << stationsReply(stationXml("1", "One") + stationXml("2", "Two")).chopped(30);
}

void TestBrowser::piecewiseReading()
{
    // Reading a station list piece by piece as it arrives gives what reading it whole gives,
    // wherever the pieces end.
    QFETCH(QByteArray, reply);
    const QString text = QString::fromUtf8(reply);
    auto read = [](const std::function<StationPaging(BASS::Station &, std::function<void()>)> &run) {
        BASS::Station station;
        QStringList out;
        const StationPaging paging = run(station, [&] {
            out << QStringList{station.id(),
                               station.name(),
                               station.website(),
                               station.network(),
                               QString::number(station.streams().size()),
                               station.nowPlaying().DisplayText()}
                       .join(u("|"));
        });
        out << QStringLiteral("paging %1 %2 %3")
                   .arg(paging.total)
                   .arg(paging.pageCount)
                   .arg(paging.remainder);
        return out;
    };
    DirectoryReader whole;
    const QStringList expected =
        read([&](BASS::Station &s, std::function<void()> a) { return whole.readStationList(text, s, a); });
    for (const int step : {1, 7, 64}) {
        DirectoryReader reader;
        StationListProgress progress;
        const QStringList got = read([&](BASS::Station &s, std::function<void()> a) {
            for (qsizetype n = step; n < text.size(); n += step)
                reader.readStationsSoFar(text.left(n), progress);
            return reader.finishStationList(text, progress, s, a);
        });
        QCOMPARE(got, expected);
    }
}

TUNORA_TEST_MAIN(TestBrowser)
#include "tst_browser.moc"
