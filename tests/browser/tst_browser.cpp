// The station browser against the real directory service (regions, networks in searches, paging,
// browse rows, favourites dropped on the menu) and against a scripted directory for replies the
// service never sends (duplicates, markup in names, large lists); the column layout stored and its
// header menu; a station list read piece by piece as it arrives.

#include "appsettings.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "httpserver.h"
#include "testca.h"
#include "testmain.h"
#include "treeradiowidget.h"
#include "treestationwidget.h"
#include "tunoraapi.h"

#include <QDir>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>

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

    void drillRegions();
    void paging();
    void browseRows();
    void favoriteDropped();
    void delayedClickAfterReload();
    void layoutAndHeaderMenu();
    void scriptedReplies_data();
    void scriptedReplies();
    void orderPlayAndMarker();
    void piecewiseReading_data();
    void piecewiseReading();

private:
    void useService();
    // A list filled with what the scripted directory answers to any search.
    void fillScripted(TreeStationWidget &list, const QByteArray &reply);
    // Opens a section of the menu and waits for its first-level rows.
    QTreeWidgetItem *openSection(TreeRadioWidget &menu, int section);
    // Chooses a row of the menu; when it asks for stations, the list loads them (as the window does).
    void choose(TreeRadioWidget &menu, QTreeWidgetItem *row, TreeStationWidget &list);

    std::unique_ptr<DirectoryService> m_service;
    std::unique_ptr<TunoraTest::TestCa> m_ca;
    std::unique_ptr<HttpServer> m_scripted;
    QByteArray m_scriptedReply;
    const QString m_user = u("browser_listener");
    const QString m_password = u("listen-2-radio!");
};

void TestBrowser::initTestCase()
{
    const QString folder = TunoraTest::IsolatedHome::path() + QLatin1String("/app");
    QDir().mkpath(folder);
    AppSettings::setApplicationFolderOverride(folder);
    // Failures show as empty lists here, never as a box that waits for a click.
    QHttpExt::settings().messageHook = [](BASS::MessageKind, const QString &, const QString &,
                                          QMessageBox::StandardButtons) { return int(QMessageBox::Ok); };
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

void TestBrowser::fillScripted(TreeStationWidget &list, const QByteArray &reply)
{
    m_scriptedReply = reply;
    AppSettings &settings = AppSettings::instance();
    settings.setEndpoint(AppSettings::DirectoryRoot, m_scripted->url(u("/")));
    settings.setCaFile(m_ca->caFile());
    TunoraAPI::configureHttp();
    list.queryStations(u("anything"));
    QVERIFY(waitFilled(list));
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

void TestBrowser::drillRegions()
{
    // Region, country and part of a country each replace the rows above them in the menu.
    TreeRadioWidget menu;
    TreeStationWidget list;
    QTreeWidgetItem *regions = openSection(menu, TreeRadioWidget::Regions);
    QTreeWidgetItem *europe = childNamed(regions, u("Europe"));
    QVERIFY(europe);
    menu.setCurrentItem(europe);
    QTreeWidgetItem *austria = childNamed(regions, u("Austria"));
    QVERIFY2(austria, "countries of the region replace the regions");
    QCOMPARE(regions->child(0)->text(0), u("Europe")); // the path row leads
    QCOMPARE(menu.radioItem(austria)->kind, TreeRadioWidget::KindExpandable);

    QSignalSpy chosen(&menu, &TreeRadioWidget::signal_SelectionChanged);
    choose(menu, austria, list);
    QCOMPARE(chosen.first().at(0).toInt(), int(TreeRadioWidget::Regions));
    QCOMPARE(chosen.first().at(1).toString(), u("AT"));
    QCOMPARE(menu.currentCountry() ? menu.currentCountry()->code() : QString(), u("AT"));
    QVERIFY2(names(list).contains(u("Life Radio")), qPrintable(names(list).join(u(", "))));
    // The parts of the country replaced the countries; the path names region and country.
    const QList<QTreeWidgetItem *> path = menu.pathRows();
    QCOMPARE(path.size(), 2);
    QCOMPARE(path.at(1)->text(0), u("Austria"));
    QTreeWidgetItem *part = regions->child(int(path.size()));
    QVERIFY(part);
    choose(menu, part, list);
    QVERIFY(names(list).contains(u("Life Radio")));
}

void TestBrowser::paging()
{
    // The reply to a search given up for another is dropped.
    TreeStationWidget list;
    list.queryStations(u("Life Radio"));
    list.queryStations(u("FR"));
    QVERIFY(waitFilled(list));
    QTest::qWait(200);
    const QStringList first = names(list);
    QCOMPARE(first.size(), TunoraAPI::PageSize);
    QVERIFY2(!first.contains(u("Life Radio")), qPrintable(first.join(u(", "))));
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
    QVERIFY(region->childCount() > 10);
    QTreeWidgetItem *swiss = nullptr;
    for (int i = 0; i < region->childCount(); ++i)
        if (region->child(i)->text(TreeStationWidget::ColumnName) == u("Switzerland"))
            swiss = region->child(i);
    QVERIFY(swiss);
    const auto stations = [&] {
        QStringList out;
        for (int i = 0; i < swiss->childCount(); ++i)
            if (list.stationOf(swiss->child(i)))
                out << swiss->child(i)->text(TreeStationWidget::ColumnName);
        return out;
    };
    swiss->setExpanded(true);
    QVERIFY(waitFilled(list));
    const QStringList first = stations();
    QVERIFY2(first.contains(u("SwissGroove")), qPrintable(first.join(u(", "))));
    QCOMPARE(list.topLevelItemCount(), 1); // the rest of the list stays

    // Opening it again after it closed lists its stations again, not as duplicates of gone rows.
    swiss->setExpanded(false);
    swiss->setExpanded(true);
    QVERIFY(waitFilled(list));
    QCOMPARE(stations().size(), first.size());
}

void TestBrowser::favoriteDropped()
{
    // A station dropped on FAVORITES is added; on any other row the drop is refused.
    TreeStationWidget list;
    list.queryStations(u("PL"));
    QVERIFY(waitFilled(list));
    QVERIFY(list.topLevelItemCount() >= 1);
    const QString droppedId = list.stationOf(list.topLevelItem(0))->id();
    list.setCurrentItem(list.topLevelItem(0));
    std::unique_ptr<QMimeData> data(list.stationMimeData());
    QVERIFY(data);
    TreeRadioWidget menu;
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
    QTreeWidgetItem *row = favorites.rowOfStation(droppedId);
    QVERIFY(row);
    QVERIFY(favorites.stationOf(row)->favorite());
    // A favourite gives no drag data: it is one already.
    favorites.setCurrentItem(row);
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

void TestBrowser::layoutAndHeaderMenu()
{
    // A list's layout is stored when it goes and restored by name; a corrupt one changes nothing.
    const QString name = u("twStations4");
    {
        TreeStationWidget list;
        list.setObjectName(name);
        list.header()->resizeSection(TreeStationWidget::ColumnGenres, 77);
    }
    TreeStationWidget restored;
    restored.setObjectName(name);
    restored.setSaveOnDestroy(false);
    QVERIFY(restored.restoreLayout(AppSettings::instance().treeLayout(name)));
    QCOMPARE(restored.columnWidth(TreeStationWidget::ColumnGenres), 77);
    QVERIFY(!restored.restoreLayout(QByteArray("not a header state")));
    QCOMPARE(restored.columnWidth(TreeStationWidget::ColumnGenres), 77);
    // The corner button opens the header menu of the columns a listener may hide.
    restored.show();
    QVERIFY(QTest::qWaitForWindowExposed(&restored));
    QTest::mousePress(restored.headerEx()->cornerButton(), Qt::LeftButton);
    QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
    QCOMPARE(QApplication::activePopupWidget()->actions().size(), TreeStationWidget::ColumnCount - 2);
    QApplication::activePopupWidget()->close();
}

void TestBrowser::scriptedReplies_data()
{
    // Hostile, truncated and malformed replies are the fuzz targets' part; here what a list shows.
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("markup in names") << stationsReply(stationXml("1", "&lt;b&gt;x&lt;/b&gt;"), 1)
                                     << QStringList{u("<b>x</b>")};
    QTest::newRow("station twice") << stationsReply(stationXml("7", "Twice") + stationXml("7", "Twice"), 2)
                                   << QStringList{u("Twice")};
    QTest::newRow("no streams") << stationsReply("<station><id>3</id><name>Silent</name></station>", 1)
                                << QStringList{};
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
    TreeStationWidget list;
    fillScripted(list, reply);
    QTEST(names(list), "expected");
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        // Texts show literally; tool tips carry them escaped.
        QTreeWidgetItem *row = list.topLevelItem(i);
        if (list.stationOf(row))
            QVERIFY(row->toolTip(TreeStationWidget::ColumnName)
                        .contains(row->text(TreeStationWidget::ColumnName).toHtmlEscaped()));
    }
}

void TestBrowser::orderPlayAndMarker()
{
    QByteArray body = stationXml("a", "S0", 2);
    for (int i = 1; i <= 12; ++i)
        body += stationXml("s" + QByteArray::number(i), "S" + QByteArray::number(i));
    TreeStationWidget list;
    fillScripted(list, stationsReply(body, 40, 13));
    QVERIFY(list.moreRow());
    list.sortItems(TreeStationWidget::ColumnNumber, Qt::DescendingOrder);
    QCOMPARE(names(list).mid(0, 3), (QStringList{u("S12"), u("S11"), u("S10")}));
    list.sortItems(TreeStationWidget::ColumnName, Qt::AscendingOrder);
    QCOMPARE(names(list).mid(0, 3), (QStringList{u("S0"), u("S1"), u("S10")}));
    QCOMPARE(list.indexOfTopLevelItem(list.moreRow()), list.topLevelItemCount() - 1);

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
    // The station playing is marked.
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
    BASS::Station station;
    const auto collect = [&station](QStringList &out) {
        return [&] {
            out << QStringList{station.id(),
                               station.name(),
                               station.website(),
                               station.network(),
                               QString::number(station.streams().size()),
                               station.nowPlaying().DisplayText()}
                       .join(u("|"));
        };
    };
    const auto paging = [](const StationPaging &p) {
        return QStringLiteral("paging %1 %2 %3").arg(p.total).arg(p.pageCount).arg(p.remainder);
    };
    QStringList whole;
    whole << paging(DirectoryReader().readStationList(text, station, collect(whole)));
    for (const int step : {1, 7, 64}) {
        DirectoryReader reader;
        StationListProgress progress;
        for (qsizetype n = step; n < text.size(); n += step)
            reader.readStationsSoFar(text.left(n), progress);
        station = BASS::Station();
        QStringList got;
        got << paging(reader.finishStationList(text, progress, station, collect(got)));
        QCOMPARE(got, whole);
    }
}

TUNORA_TEST_MAIN(TestBrowser)
#include "tst_browser.moc"
