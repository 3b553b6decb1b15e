// The web side of the player. The track-history and wish-list pages: hostile texts stay text, their
// command links and lists, the wish-list file on disk (hostile, broken and full-disk cases); the lists
// drive whatever page view they are given (and let go of one that is destroyed), and the page loader
// hands the cookie jar to the pages whenever they arrive. The same pages, the help page and the
// product site in the web engine, against local servers (the engine runs with its sandbox off, see
// main()). The cookie jar: its policies for the pages and for the HTTP clients, time limits, its file.
// Test tables are easier to read with plain string literals.
#undef QT_NO_CAST_FROM_ASCII

#include "appsettings.h"
#include "cookiejar.h"
#include "coverfixture.h"
#include "helpview.h"
#include "httpblocking.h"
#include "httpserver.h"
#include "net.h"
#include "sitebrowser.h"
#include "testca.h"
#include "trackinfo.h"
#include "tracklists.h"
#include "trackpage.h"
#include "trackviews.h"
#include "webpagesimpl.h"
#include "webtestmain.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEngineProfile>

using namespace BASS;
using namespace TunoraTest;

namespace {

// Runs a script in the view's page and waits for its result.
QVariant evaluate(QWebEngineView *view, const QString &script)
{
    QVariant result;
    bool done = false;
    view->page()->runJavaScript(script, [&](const QVariant &v) {
        result = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 30000))
        qWarning() << "script did not finish:" << script;
    return result;
}

bool loadAndWait(WebBrowser *view, const std::function<void()> &load)
{
    QSignalSpy finished(view, &WebBrowser::signal_PageLoadFinished);
    load();
    return finished.wait(60000);
}

HttpResponse html(const QByteArray &body)
{
    return HttpResponse::ok(body, "text/html; charset=utf-8");
}

const QByteArray LoginPage = "<html><body><form><input id='edit-name'><input id='edit-pass' type='password'>"
                             "</form></body></html>";

TrackPtr track(quint32 id, const QString &name, bool wished = false)
{
    auto t = TrackPtr::create();
    t->setTrackId(id);
    t->setTrackName(name);
    t->setWishListed(wished);
    t->setTrackDateTime(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(id));
    return t;
}

// A song heard, as the window adds it to the history.
void addSong(TrackLists &lists, quint32 id, const QString &name = {})
{
    TrackInfo t;
    t.setTrackName(name.isEmpty() ? QString("song %1").arg(id) : name);
    QPixmap cover(4, 4);
    cover.fill(Qt::red);
    t.setCover(cover);
    t.setTrackId(id);
    lists.addToHistory(t);
}

// Records what the lists render into it.
class RecordingView : public QObject, public TrackPageView
{
public:
    void renderHistory(const TrackList &list) override { historySizes << int(list.size()); }
    void renderWishList(const TrackMap &map) override { wishSizes << int(map.size()); }
    void setContentsChanged(bool on) override { changed = on; }
    bool isPageVisible() const override { return visible; }
    QObject *pageObject() override { return this; }

    QList<int> historySizes;
    QList<int> wishSizes;
    bool changed = false;
    bool visible = false;
};

// Every attribute value of every tag, as the markup gives it.
QStringList attributeValues(const QString &html, const QString &attribute)
{
    QStringList out;
    const QRegularExpression re(QStringLiteral("\\s%1\\s*=\\s*\"([^\"]*)\"").arg(attribute),
                                QRegularExpression::CaseInsensitiveOption);
    for (auto it = re.globalMatch(html); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

// A save file on a disk that fills up: accepts only the first `room` bytes and reports no error,
// which is what a full disk does to a single large write.
class FullDiskSaveFile : public QSaveFile
{
public:
    FullDiskSaveFile(const QString &name, qint64 room)
        : QSaveFile(name)
        , m_room(room)
    {}

protected:
    qint64 writeData(const char *data, qint64 len) override
    {
        const qint64 n = qMin(len, m_room);
        m_room -= n;
        return n > 0 ? QSaveFile::writeData(data, n) : 0;
    }

private:
    qint64 m_room;
};

QByteArray trackXml(const QString &id, const QString &name, const QString &wish)
{
    return QStringLiteral(
               "<track><trackId>%1</trackId><trackName>%2</trackName><WishList>%3</WishList></track>")
        .arg(id, name, wish)
        .toUtf8();
}

QNetworkCookie cookie(const QByteArray &name, const QString &domain, int expiresInDays = 0)
{
    QNetworkCookie c(name, "v-" + name);
    c.setDomain(domain);
    c.setPath("/");
    if (expiresInDays != 0)
        c.setExpirationDate(QDateTime::currentDateTime().addDays(expiresInDays));
    return c;
}

} // namespace

class TstWebViews : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_ca.isValid(), qPrintable(m_ca.error()));
        m_jar = new CookieJar(this);
        WebProfile::setCookieJar(m_jar);
        WebProfile::setTrustedCaCertificates({m_ca.caCertificate()});
    }

    void init()
    {
        QFile::remove(CookieJar::cookieFile());
        AppSettings::instance().setAcceptCookies("AcceptOnlyFromSitesNavigatedTo");
        AppSettings::instance().setKeepCookiesUntil("KeepUntilExpire");
        CookieJar::setPrivateBrowsing(false);
    }

    void noProfileUntilFirstView()
    {
        // Nothing so far made a web page: the engine has not started.
        QVERIFY(!WebProfile::exists());
        HelpView help;
        QVERIFY(WebProfile::exists());
        QVERIFY(help.page()->profile()->isOffTheRecord());
        QVERIFY(HelpView::pageHtml().contains("God helps those that help themselves."));
    }

    void hostileTrackTextsRunNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("url");
        QTest::newRow("script element") << "\"><script>window.__pwned=1</script>"
                                        << "http://shop.test/";
        QTest::newRow("error handler") << "<img src=x onerror=\"window.__pwned=1\">"
                                       << "http://shop.test/";
        QTest::newRow("javascript link") << "A - B"
                                         << "javascript:window.__pwned=1";
    }

    void hostileTrackTextsRunNothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, url);
        auto t = track(1, name);
        t->setTrackURL(url);
        t->setTrackGenre(name);
        WebViewHistory view;
        view.resize(600, 400);
        view.show();
        QVERIFY(loadAndWait(&view, [&] { view.renderHistory({t}); }));
        QCOMPARE(evaluate(&view, "typeof window.__pwned").toString(), QString("undefined"));
        QCOMPARE(evaluate(&view, "document.scripts.length").toInt(), 1);
        // The text shows as text.
        QVERIFY(evaluate(&view, "document.body.innerText").toString().contains(name.left(10)));
        const QString hrefs =
            evaluate(&view, "Array.from(document.links).map(a => a.protocol).join(',')").toString();
        for (const QString &p : hrefs.split(','))
            QVERIFY2(p == "http:" || p == "https:" || p == "tunora:", qPrintable(hrefs));
    }

    void commandLinksOnlyFromOwnPage()
    {
        HttpServer remote;
        QVERIFY(remote.listen());
        remote.setResponse("/evil", html("<html><body><a id='cmd' href='tunora://cmd?refresh_wish_list'>x</a>"
                                         "<a id='web' href='http://127.0.0.1/after'>y</a></body></html>"));

        remote.setResponse("/cover.png", HttpResponse::ok(coverPng(7, 5), "image/png"));
        auto t = track(42, "Song");
        t->setTrackFile(remote.url("/cover.png"));
        WebViewHistory view;
        view.resize(600, 400);
        view.show();
        QVERIFY(loadAndWait(&view, [&] { view.renderHistory({t}); }));
        // The cover comes from its http address into our local page.
        QTRY_COMPARE_WITH_TIMEOUT(
            evaluate(&view, "document.querySelector('img.clsCoverArt').naturalWidth").toInt(), 7, 30000);
        // The same view on a remote page: its command link is refused, its web link still reported.
        QSignalSpy links(&view, &WebBrowser::signal_linkClicked);
        QVERIFY(loadAndWait(&view, [&] { view.load(QUrl(remote.url("/evil"))); }));
        evaluate(&view, "document.getElementById('cmd').click()");
        evaluate(&view, "document.getElementById('web').click()");
        QTRY_COMPARE_WITH_TIMEOUT(links.count(), 1, 30000);
        QCOMPARE(links.first().first().toUrl().toString(), QString("http://127.0.0.1/after"));
    }

    void cookiesFollowTheJarPolicy()
    {
        HttpServer server;
        QVERIFY(server.listen());
        server.setResponse(
            "/set",
            html("<html><body>set</body></html>").header("Set-Cookie", "web=1; Max-Age=100000; Path=/"));
        server.setResponse("/check", html("<html><body>check</body></html>"));
        const QUrl check(server.url("/check"));

        m_jar->setAcceptPolicy(CookieJar::AcceptNever);
        WebBrowser view;
        view.resize(400, 300);
        view.show();
        QVERIFY(loadAndWait(&view, [&] { view.load(QUrl(server.url("/set"))); }));
        QVERIFY(loadAndWait(&view, [&] { view.load(check); }));
        QCOMPARE(server.lastRequest().header("Cookie"), QByteArray());
        QVERIFY(m_jar->cookiesForUrl(check).isEmpty());
        // Scripts cannot set one either.
        evaluate(&view, "document.cookie = 'script=1; max-age=1000'");
        QVERIFY(loadAndWait(&view, [&] { view.load(check); }));
        QCOMPARE(server.lastRequest().header("Cookie"), QByteArray());

        // (How long a kept cookie lives: the jar's own time-limit table.)
        m_jar->setAcceptPolicy(CookieJar::AcceptAlways);
        QVERIFY(loadAndWait(&view, [&] { view.load(QUrl(server.url("/set"))); }));
        QTRY_COMPARE_WITH_TIMEOUT(m_jar->cookiesForUrl(check).size(), 1, 30000);
        QVERIFY(loadAndWait(&view, [&] { view.load(check); }));
        QCOMPARE(server.lastRequest().header("Cookie"), QByteArray("web=1"));

        // A cookie the HTTP client took in reaches the pages too: one store.
        QNetworkCookie fromClient("client", "2");
        fromClient.setExpirationDate(QDateTime::currentDateTime().addDays(1));
        QVERIFY(m_jar->setCookiesFromUrl({fromClient}, check));
        QTRY_VERIFY_WITH_TIMEOUT((loadAndWait(&view, [&] { view.load(check); }),
                                  server.lastRequest().header("Cookie").contains("client=2")),
                                 30000);
    }

    void siteView()
    {
        HttpServer site;
        QVERIFY(site.listenTls(m_ca.serverCertificate(), m_ca.serverKey()));
        site.setResponse("/", html("<html><body><a id='p1' target='_blank' href='/play/123'>1</a>"
                                   "<a id='p2' target='_blank' href='/play/456'>2</a></body></html>"));
        site.setResponse("/user", html(LoginPage));
        site.setHandler([](const HttpRequest &) { return html("<html><body>player</body></html>"); });
        HttpServer other;
        QVERIFY(other.listenTls(m_ca.serverCertificate(), m_ca.serverKey()));
        other.setResponse("/user", html(LoginPage));
        const QString user = "name\"');</script><script>window.__pwned=1</script>";
        const QString password = "p\\a\"ss'\u2028word";
        AppSettings::instance().setCredentials(user, password);

        TreeBrowser browser;
        browser.setSiteUrl(QUrl(site.baseUrl() + "/"));
        browser.resize(600, 400);
        browser.show();
        QVERIFY(loadAndWait(&browser, [&] { browser.activate(); }));
        QCOMPARE(site.lastRequest().path(), QString("/"));

        // A play link of the site starts its station once; another one starts.
        QStringList started;
        connect(&browser, &TreeBrowser::signal_playStation, this, [&](const BASS::Station *station) {
            started << station->id() + " " + station->firstStreamUrl();
        });
        evaluate(&browser, "document.getElementById('p1').click()");
        QTRY_COMPARE_WITH_TIMEOUT(started.size(), 1, 30000);
        QCOMPARE(started.first(), "123 " + site.baseUrl() + "/stream/listen/123?apitid=781");
        evaluate(&browser, "document.getElementById('p1').click()");
        evaluate(&browser, "document.getElementById('p2').click()");
        QTRY_COMPARE_WITH_TIMEOUT(started.size(), 2, 30000);
        QVERIFY(started.last().startsWith("456 "));
        QVERIFY(browser.newWindow()->isHidden());

        // The site's account page gets the stored account, as text, not as script.
        QVERIFY(loadAndWait(&browser, [&] { browser.load(QUrl(site.url("/user"))); }));
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(&browser, "document.getElementById('edit-name').value").toString(),
                                  user, 30000);
        QCOMPARE(evaluate(&browser, "document.getElementById('edit-pass').value").toString(), password);
        QCOMPARE(evaluate(&browser, "typeof window.__pwned").toString(), QString("undefined"));
        // The same page on another origin (another port) stays empty.
        QVERIFY(loadAndWait(&browser, [&] { browser.load(QUrl(other.url("/user"))); }));
        QCOMPARE(browser.url().port(), other.port());
        QCOMPARE(evaluate(&browser, "document.getElementById('edit-name').value").toString(), QString());
    }

    void hostileTextsStayText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("genre");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("cover");
        QTest::addColumn<bool>("shopLink"); // the shop link is kept as a link

        // clang-format off
        QTest::newRow("script in name") << "\"><script>alert(1)</script>" << "Pop" << "http://shop/x" << "http://img/x.jpg" << true;
        QTest::newRow("quote breaks attribute") << "A" << "" << "http://x/\" onmouseover=\"alert(1)" << "" << false;
        QTest::newRow("command link as shop link") << "A" << "" << "tunora://cmd?refresh_wish_list" << "" << false;
        // clang-format on
    }

    void hostileTextsStayText()
    {
        QFETCH(QString, name);
        QFETCH(QString, genre);
        QFETCH(QString, url);
        QFETCH(QString, cover);
        QFETCH(bool, shopLink);
        auto t = track(7, name);
        t->setTrackGenre(genre);
        t->setTrackURL(url);
        t->setTrackFile(cover);
        TrackPageBuilder builder("file:///opt/Html");
        const QString html = builder.renderHistory({t});

        QCOMPARE(html.count("<script", Qt::CaseInsensitive), 1); // our own block in the head only
        QCOMPARE(html.count("<img", Qt::CaseInsensitive), 2);    // the cover and the wish-list button
        QCOMPARE(html.count("<a ", Qt::CaseInsensitive), shopLink ? 3 : 2);
        for (const char *a : {"href", "src"})
            for (const QString &v : attributeValues(html, a))
                QVERIFY2(v.startsWith("http://") || v.startsWith("https://") ||
                             v.startsWith("file:///opt/Html/") || v.startsWith("tunora://cmd?") ||
                             v.isEmpty(),
                         qPrintable(QString(a) + "=" + v));
        // Only the page's own handlers, and no placeholder smuggled in by a text.
        const QStringList handlers = attributeValues(html, "on[a-z]+");
        for (const QString &h : handlers)
            QVERIFY2(QRegularExpression("^(Init|on[A-Za-z]+)\\(this\\)$|^Init\\(\\)$").match(h).hasMatch(),
                     qPrintable(h));
        QVERIFY(!html.contains(QRegularExpression("\\{[A-Z_]+\\}")));
        QVERIFY(html.contains(TrackPageBuilder::htmlText(name)));
        QVERIFY(!html.contains("tunora://cmd?refresh_wish_list"));
        QVERIFY(html.contains("Content-Security-Policy"));
        QVERIFY(html.contains("default-src 'none'"));
    }

    void historyOrderAndRows()
    {
        TrackPageBuilder builder("file:///h");
        const QString html =
            builder.renderHistory({track(1, "oldest"), track(2, "middle", true), track(3, "newest")});
        QVERIFY(html.indexOf("newest") < html.indexOf("middle"));
        QVERIFY(html.indexOf("middle") < html.indexOf("oldest"));
        QVERIFY(html.contains("tunora://cmd?add_to_wishlist_track_3"));
        QVERIFY(html.contains("tunora://cmd?remove_from_wishlist_track_2"));
        QVERIFY(html.contains("Remove from wish list"));
    }

    void wishListOrderAndBanner()
    {
        WishListPageBuilder builder("file:///h");
        TrackMap map;
        map.insert(1, track(1, "b song", true));
        map.insert(2, track(2, "A song", false));
        map.insert(3, track(3, "a song", true));
        QString html = builder.renderWishList(map);
        QVERIFY(html.indexOf("A song") < html.indexOf("a song")); // plain, case-sensitive order
        QVERIFY(html.indexOf("a song") < html.indexOf("b song"));
        QVERIFY(html.contains("title=\"Remove from your wish list\""));
        QVERIFY(!html.contains("refresh_wish_list"));
        builder.setContentsChanged(true);
        html = builder.renderWishList(map);
        QVERIFY(html.contains(
            "<a href=\"tunora://cmd?refresh_wish_list\">Contents changed, click here to refresh</a>"));
    }

    // The pages' command links: adding, and removing (the entry stays, unflagged, until the list is
    // refreshed); ids that overflow or carry trailing text select nothing. The file keeps the list.
    void commands_data()
    {
        QTest::addColumn<QStringList>("links"); // after "tunora://cmd?"
        QTest::addColumn<QList<quint32>>("wished");
        QTest::newRow("refresh drops removed")
            << QStringList{"add_to_wishlist_track_100", "add_to_wishlist_track_101",
                           "remove_from_wishlist_track_100", "refresh_wish_list"}
            << QList<quint32>{101};
        // 4294967397 wraps to 101 in 32 bits: it must not select track 101.
        QTest::newRow("overflowing id selects nothing")
            << QStringList{"add_to_wishlist_track_4294967397"} << QList<quint32>{};
        QTest::newRow("trailing text selects nothing")
            << QStringList{"add_to_wishlist_track_101x"} << QList<quint32>{};
    }

    void commands()
    {
        QFETCH(QStringList, links);
        QFETCH(QList<quint32>, wished);
        QTemporaryDir dir;
        TrackLists lists;
        lists.setShowErrors(false);
        QSignalSpy errors(&lists, &TrackLists::signal_error);
        lists.loadWishList(dir.filePath("m_track_wishlist.xml"));
        for (quint32 id : {100u, 101u})
            addSong(lists, id);
        for (const QString &link : links)
            lists.command(QUrl("tunora://cmd?" + link));
        QCOMPARE(lists.wishList().keys(), wished);
        for (const TrackPtr &t : lists.history())
            QCOMPARE(t->isWishListed(), wished.contains(t->trackId()));
        QCOMPARE(errors.count(), 0);
        TrackMap saved;
        loadWishList(dir.filePath("m_track_wishlist.xml"), saved);
        QCOMPARE(saved.keys(), wished);
    }

    void sameSecondTracksStayApart()
    {
        TrackLists lists;
        lists.setShowErrors(false);
        QTemporaryDir dir;
        lists.loadWishList(dir.filePath("w.xml"));
        for (int i = 0; i < 3; ++i)
            addSong(lists, TrackInfo::hashId("Sun Dec 6 20:00:00 2026"), QString("same second %1").arg(i));
        QSet<quint32> ids;
        for (const TrackPtr &t : lists.history())
            ids.insert(t->trackId());
        QCOMPARE(ids.size(), 3);
        const quint32 second = lists.history()[1]->trackId();
        lists.command(QUrl(QString("tunora://cmd?add_to_wishlist_track_%1").arg(second)));
        QCOMPARE(lists.wishList().size(), 1);
        QCOMPARE(lists.wishList().first()->trackName(), QString("same second 1"));
    }

    void saveFailureIsReported()
    {
        TrackLists lists;
        lists.setShowErrors(false);
        QSignalSpy errors(&lists, &TrackLists::signal_error);
        QTemporaryDir dir;
        lists.loadWishList(dir.filePath("missing-folder/w.xml"));
        addSong(lists, 5);
        lists.command(QUrl("tunora://cmd?add_to_wishlist_track_5"));
        QCOMPARE(errors.count(), 1);
        QVERIFY(errors.first().first().toString().startsWith(dir.filePath("missing-folder/w.xml") + "\n\n"));
        QCOMPARE(lists.wishList().size(), 1); // the list in memory is unchanged by the failed save
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("url");
        QTest::newRow("markup and entities")
            << QStringLiteral("<b>AC&DC</b> - \"Back\" 'n' &amp;") << QStringLiteral("https://x/?q=<>&amp;");
        QTest::newRow("cjk and arabic") << QStringLiteral("久石譲 - 風のとおり道 / فيروز") << QString();
    }

    void roundTrip()
    {
        QFETCH(QString, name);
        QFETCH(QString, url);
        TrackMap map;
        auto t = track(4000000000u, name, true);
        t->setTrackURL(url);
        t->setTrackStation(QStringLiteral("Station & Co"));
        t->setTrackFile(QStringLiteral("http://img/1.jpg"));
        t->setTrackGenre(QStringLiteral("Jazz"));
        t->setTrackPreview(QStringLiteral("http://p/1.mp3"));
        t->setTrackDateTime(QDateTime(QDate(2026, 12, 6), QTime(20, 1, 2)));
        map.insert(t->trackId(), t);
        map.insert(7, track(7, QStringLiteral("not wished"))); // dropped from the file
        map.insert(8, track(8, QString(), true));              // empty: never written

        QString error;
        QVERIFY2(saveWishList(path(QStringLiteral("m_track_wishlist.xml")), map, &error), qPrintable(error));
        TrackMap back;
        WishListLoad outcome;
        QVERIFY(loadWishList(path(QStringLiteral("m_track_wishlist.xml")), back, &outcome));
        QVERIFY(!outcome.malformed);
        QCOMPARE(back.keys(), QList<quint32>{4000000000u});
        const auto fields = [](const TrackPtr &x) {
            return QStringList() << x->trackName() << x->trackURL() << x->trackStation() << x->trackFile()
                                 << x->trackGenre() << x->trackPreview()
                                 << x->trackDateTime().toString(Qt::ISODate);
        };
        const TrackPtr r = back.value(4000000000u);
        QCOMPARE(fields(r), fields(t));
        QVERIFY(r->isWishListed());
    }

    void readFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<quint32>>("ids");
        QTest::addColumn<QStringList>("names"); // every one wished

        QTest::newRow("later duplicate wins") << QByteArray("<tracks>" + trackXml("5", "first", "yes") +
                                                            trackXml("5", "second", "yes") + "</tracks>")
                                              << QList<quint32>{5} << QStringList{"second"};
        QTest::newRow("entities and numeric references")
            << QByteArray("<tracks>" + trackXml("9", "Tom &amp; Jerry &#x41A;&lt;", "yes") + "</tracks>")
            << QList<quint32>{9} << QStringList{QStringLiteral("Tom & Jerry К<")};
        // An id that overflows 32 bits must not wrap onto another track's id.
        QTest::newRow("overflowing id gets its own")
            << QByteArray("<tracks>" + trackXml("4294967297", "big", "yes") + trackXml("1", "one", "yes") +
                          "</tracks>")
            << QList<quint32>{1, TrackInfo::hashId(QStringLiteral("big"))} << QStringList{"one", "big"};
    }

    void readFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QList<quint32>, ids);
        QFETCH(QStringList, names);
        QFile f(path(QStringLiteral("in.xml")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + content);
        f.close();
        TrackMap map;
        WishListLoad outcome;
        QVERIFY(loadWishList(f.fileName(), map, &outcome));
        QVERIFY2(!outcome.malformed, qPrintable(outcome.errorText));
        QCOMPARE(map.size(), ids.size());
        for (int i = 0; i < ids.size(); ++i) {
            QVERIFY2(map.contains(ids[i]), qPrintable(QString::number(ids[i])));
            QCOMPARE(map[ids[i]]->trackName(), names[i]);
            QVERIFY(map[ids[i]]->isWishListed());
        }
    }

    void malformedKeepsRecordsAndBackup()
    {
        const QString file = path(QStringLiteral("bad.xml"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<tracks>" + trackXml("1", "kept", "yes") + "<track><trackId>2</trackId><trackName>cut");
        f.close();
        TrackMap map;
        map.insert(50, track(50, QStringLiteral("already there"), true));
        WishListLoad outcome;
        QVERIFY(loadWishList(file, map, &outcome));
        QVERIFY(outcome.malformed);
        QCOMPARE(map.keys(), (QList<quint32>{1, 50}));
        QVERIFY(!outcome.backupPath.isEmpty());
        QVERIFY(readTextFile(outcome.backupPath).endsWith("<trackName>cut"));

        TrackMap none;
        QVERIFY(!loadWishList(path(QStringLiteral("missing.xml")), none, &outcome));
        QVERIFY(!outcome.opened);
        QVERIFY(none.isEmpty());
    }

    void fullDiskKeepsOldFile()
    {
        const QString file = path(QStringLiteral("full.xml"));
        TrackMap old;
        old.insert(1, track(1, QStringLiteral("old song"), true));
        QVERIFY(saveWishList(file, old));
        const QString before = readTextFile(file);
        QVERIFY(before.contains("old song"));

        TrackMap bigger;
        for (quint32 i = 1; i <= 200; ++i)
            bigger.insert(i, track(i, QStringLiteral("song %1").arg(i), true));
        FullDiskSaveFile full(file, 512);
        QString error;
        QVERIFY(!saveWishList(full, bigger, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(readTextFile(file), before);
        QCOMPARE(QDir(m_dir.path()).entryList({"full.xml*"}, QDir::Files),
                 QStringList{"full.xml"}); // no temp file left
    }

    // A view given later shows what the lists hold; a removal from the shown wish list keeps the
    // row (with a banner) until the listener refreshes; destroyed views are let go of.
    void listsDriveTheirViews_data()
    {
        QTest::addColumn<bool>("visible");
        QTest::newRow("wish list shown: banner") << true;
        QTest::newRow("wish list hidden: no banner") << false;
    }

    void listsDriveTheirViews()
    {
        QFETCH(bool, visible);
        TrackLists lists;
        lists.setShowErrors(false);
        QTemporaryDir dir;
        lists.loadWishList(dir.filePath("w.xml"));
        addSong(lists, 1);
        auto history = std::make_unique<RecordingView>();
        auto wishes = std::make_unique<RecordingView>();
        wishes->visible = visible;
        lists.setHistoryView(history.get());
        lists.setWishListView(wishes.get());
        QCOMPARE(history->historySizes, QList<int>{1});
        QCOMPARE(wishes->wishSizes, QList<int>{0});
        addSong(lists, 2);
        QVERIFY(lists.command(QUrl("tunora://cmd?add_to_wishlist_track_2")));
        QCOMPARE(history->historySizes.last(), 2);
        QCOMPARE(wishes->wishSizes.last(), 1);
        QVERIFY(!wishes->changed);
        QVERIFY(lists.command(QUrl("tunora://cmd?remove_from_wishlist_track_2")));
        QCOMPARE(wishes->changed, visible);
        QVERIFY(lists.command(QUrl("tunora://cmd?refresh_wish_list")));
        QVERIFY(!wishes->changed);
        QCOMPARE(wishes->wishSizes.last(), 0);

        history.reset();
        wishes.reset();
        addSong(lists, 3);
        QVERIFY(lists.command(QUrl("tunora://cmd?add_to_wishlist_track_3")));
        QVERIFY(lists.command(QUrl("tunora://cmd?refresh_wish_list")));
        QCOMPARE(lists.wishList().size(), 1);
    }

    // Pages that arrive after the jar was set get it when they arrive, later jars at once.
    void cookieJarReachesThePages()
    {
        CookieJar first, second;
        WebPages::setCookieJar(&first);
        WebPagesImpl pages;
        WebPages::registerInProcess(&pages);
        QCOMPARE(WebPages::load(), &pages);
        QCOMPARE(WebProfile::cookieJar(), &first);
        WebPages::setCookieJar(&second);
        QCOMPARE(WebProfile::cookieJar(), &second);
        WebPages::registerInProcess(nullptr);
        WebProfile::setCookieJar(m_jar);
    }

    void acceptance_data()
    {
        // Cookies of the host "a.test" set for `cookieDomain`.
        QTest::addColumn<int>("policy");
        QTest::addColumn<QStringList>("blocked");
        QTest::addColumn<QStringList>("allowed");
        QTest::addColumn<QStringList>("session");
        QTest::addColumn<QString>("cookieDomain");
        QTest::addColumn<bool>("stored");
        const QStringList none;
        const int always = CookieJar::AcceptAlways, never = CookieJar::AcceptNever,
                  navigated = CookieJar::AcceptOnlyFromSitesNavigatedTo;
        QTest::newRow("always, blocked host")
            << always << QStringList{"z.test", "a.test"} << none << none << "a.test" << false;
        QTest::newRow("never") << never << none << none << none << "a.test" << false;
        QTest::newRow("never, allowed host")
            << never << none << QStringList{"b.test", "a.test"} << none << "a.test" << true;
        QTest::newRow("never, session-allowed host")
            << never << none << none << QStringList{"a.test"} << "a.test" << true;
        QTest::newRow("never, allowed only by the parent domain")
            << never << none << QStringList{"test"} << none << "a.test" << false;
        QTest::newRow("navigated-to") << navigated << none << none << none << "a.test" << true;
        // The base jar refuses a cookie for another domain; only "always" forces it in.
        QTest::newRow("always forces a foreign domain")
            << always << none << none << none << "other.test" << true;
        QTest::newRow("navigated-to refuses a foreign domain")
            << navigated << none << none << none << "other.test" << false;
    }

    void acceptance()
    {
        QFETCH(int, policy);
        QFETCH(QStringList, blocked);
        QFETCH(QStringList, allowed);
        QFETCH(QStringList, session);
        QFETCH(QString, cookieDomain);
        QFETCH(bool, stored);
        const QString host = "a.test";

        CookieJar jar;
        jar.setAcceptPolicy(CookieJar::AcceptPolicy(policy));
        jar.setBlockedCookies(blocked);
        jar.setAllowedCookies(allowed);
        jar.setAllowForSessionCookies(session);
        QSignalSpy changed(&jar, &CookieJar::cookiesChanged);
        const QUrl url("https://" + host + "/page");
        QCOMPARE(jar.setCookiesFromUrl({cookie("c", cookieDomain, 10)}, url), stored);
        QCOMPARE(jar.cookies().size(), stored ? 1 : 0);
        QCOMPARE(changed.count(), stored ? 1 : 0);
        QCOMPARE(jar.acceptsCookiesFrom(host), stored || cookieDomain != host);

        // The program's HTTP clients hand their cookies to the same jar: the rows hold for a cookie a
        // local server sets (its address stands in for the host), and another client sends it back.
        const auto local = [](QStringList hosts) { return hosts.replaceInStrings("a.test", "127.0.0.1"); };
        jar.clear();
        jar.setBlockedCookies(local(blocked));
        jar.setAllowedCookies(local(allowed));
        jar.setAllowForSessionCookies(local(session));
        TunoraTest::HttpServer server;
        QVERIFY(server.listen());
        QByteArray setCookie = "c=1; Max-Age=100000; Path=/";
        if (cookieDomain != host)
            setCookie += "; Domain=" + cookieDomain.toLatin1();
        server.setResponse("/set",
                           TunoraTest::HttpResponse::ok("set", "text/plain").header("Set-Cookie", setCookie));
        server.setResponse("/check", TunoraTest::HttpResponse::ok("check", "text/plain"));
        BASS::QHttpExt::settings().cookieJar = &jar;
        for (const QString &path : {QStringLiteral("/set"), QStringLiteral("/check")}) {
            BASS::QHttpExt http;
            QSignalSpy ready(&http, &BASS::QHttpExt::sig_Ready);
            QVERIFY(http.get(server.url(path)) != 0);
            QVERIFY(ready.wait(30000));
        }
        BASS::QHttpExt::settings().cookieJar = nullptr;
        QCOMPARE(jar.cookies().size(), stored ? 1 : 0);
        QCOMPARE(server.lastRequest().header("Cookie"),
                 QByteArray(stored && cookieDomain == host ? "c=1" : ""));
    }

    void timeLimit_data()
    {
        QTest::addColumn<int>("keep");
        QTest::addColumn<int>("expiresInDays");
        QTest::addColumn<int>("storedDays"); // -1: a session cookie
        QTest::newRow("a year is cut to 90 days") << int(CookieJar::KeepUntilTimeLimit) << 365 << 90;
        QTest::newRow("session cookie stays one") << int(CookieJar::KeepUntilTimeLimit) << 0 << -1;
        QTest::newRow("until expire keeps a year") << int(CookieJar::KeepUntilExpire) << 365 << 365;
    }

    void timeLimit()
    {
        QFETCH(int, keep);
        QFETCH(int, expiresInDays);
        QFETCH(int, storedDays);
        CookieJar jar;
        jar.setAcceptPolicy(CookieJar::AcceptAlways);
        jar.setKeepPolicy(CookieJar::KeepPolicy(keep));
        QVERIFY(jar.setCookiesFromUrl({cookie("c", "a.test", expiresInDays)}, QUrl("https://a.test/")));
        const QNetworkCookie c = jar.cookies().value(0);
        if (storedDays < 0) {
            QVERIFY(c.isSessionCookie());
        } else {
            const qint64 days = QDateTime::currentDateTime().daysTo(c.expirationDate());
            QVERIFY2(qAbs(days - storedDays) <= 1, qPrintable(QString::number(days)));
        }
    }

    void persistence()
    {
        {
            CookieJar jar;
            jar.setAcceptPolicy(CookieJar::AcceptAlways);
            jar.setKeepPolicy(CookieJar::KeepUntilTimeLimit);
            jar.setBlockedCookies({"z.test", "b.test"});
            jar.setAllowedCookies({"c.test"});
            jar.setCookiesFromUrl({cookie("persistent", "a.test", 5), cookie("session", "a.test")},
                                  QUrl("https://a.test/"));
            jar.setCookiesFromUrl({cookie("expired", "a.test", -2)}, QUrl("https://a.test/"));
            QVERIFY(jar.save());
        } // the destructor saves again, as at exit
        QCOMPARE(QFile::permissions(CookieJar::cookieFile()) &
                     (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                 QFileDevice::Permissions());
        CookieJar jar;
        QCOMPARE(jar.acceptPolicy(), CookieJar::AcceptAlways);
        QCOMPARE(jar.keepPolicy(), CookieJar::KeepUntilTimeLimit);
        QCOMPARE(jar.blockedCookies(), (QStringList{"b.test", "z.test"}));
        QCOMPARE(jar.allowedCookies(), QStringList{"c.test"});
        QCOMPARE(jar.cookies().size(), 1);
        QCOMPARE(jar.cookies().first().name(), QByteArray("persistent"));
        QCOMPARE(jar.cookiesForUrl(QUrl("https://a.test/x")).size(), 1);
        QCOMPARE(AppSettings::instance().acceptCookies(), QString("AcceptAlways"));

        // Kept until exit: nothing is left for the next start.
        jar.setKeepPolicy(CookieJar::KeepUntilExit);
        QVERIFY(jar.save());
        QCOMPARE(CookieJar().cookies().size(), 0);
    }

    void policyNamesFallBack()
    {
        // Unknown names and numbers in the settings give the defaults.
        for (const auto &[accept, keep] : {std::pair{"Sometimes", "Expire"}, std::pair{"1", "2"}}) {
            AppSettings::instance().setAcceptCookies(accept);
            AppSettings::instance().setKeepCookiesUntil(keep);
            CookieJar jar;
            QCOMPARE(jar.acceptPolicy(), CookieJar::AcceptOnlyFromSitesNavigatedTo);
            QCOMPARE(jar.keepPolicy(), CookieJar::KeepUntilExpire);
        }
    }

    void storedList_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("count");
        auto stream = [](quint32 version, quint32 count, const QList<QByteArray> &raws) {
            QByteArray d;
            QDataStream out(&d, QIODevice::WriteOnly);
            out << version << count;
            for (const QByteArray &r : raws)
                out << r;
            return d;
        };
        // (A list the jar wrote itself: the persistence case.)
        QTest::newRow("version 22 loads empty") << stream(22, 1, {"a=1; domain=a.test"}) << 0;
        QTest::newRow("count larger than the data") << stream(23, 4000000000u, {"a=1; domain=a.test"}) << 1;
        QTest::newRow("truncated") << stream(23, 2, {"a=1; domain=a.test"}).left(12) << 0;
        QTest::newRow("empty") << QByteArray() << 0;
    }

    void storedList()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, count);
        QCOMPARE(CookieJar::deserialize(data).size(), count);
    }

    void privateBrowsing()
    {
        CookieJar jar;
        jar.setAcceptPolicy(CookieJar::AcceptAlways);
        QVERIFY(jar.setCookiesFromUrl({cookie("c", "a.test", 5)}, QUrl("https://a.test/")));
        CookieJar::setPrivateBrowsing(true);
        QVERIFY(jar.cookiesForUrl(QUrl("https://a.test/")).isEmpty());
        QVERIFY(!jar.setCookiesFromUrl({cookie("d", "a.test", 5)}, QUrl("https://a.test/")));
        QVERIFY(!jar.acceptsCookiesFrom("a.test"));
        CookieJar::setPrivateBrowsing(false);
        QCOMPARE(jar.cookiesForUrl(QUrl("https://a.test/")).size(), 1);
    }

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    CookieJar *m_jar = nullptr;
    TestCa m_ca;
    QTemporaryDir m_dir;
};

TUNORA_WEB_TEST_MAIN(TstWebViews)

#include "tst_webviews.moc"
