// Test tables are easier to read with plain string literals.
#undef QT_NO_CAST_FROM_ASCII

#include "appsettings.h"
#include "cookiejar.h"
#include "helpview.h"
#include "httpserver.h"
#include "sitebrowser.h"
#include "testca.h"
#include "trackviews.h"
#include "webtestmain.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QWebEngineProfile>

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

HttpResponse html(const QByteArray &body, const QByteArray &extraHeader = {}, const QByteArray &value = {})
{
    HttpResponse r = HttpResponse::ok(body, "text/html; charset=utf-8");
    if (!extraHeader.isEmpty())
        r.header(extraHeader, value);
    return r;
}

const QByteArray LoginPage = "<html><body><form><input id='edit-name'><input id='edit-pass' type='password'>"
                             "</form></body></html>";

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
        auto t = BASS::TrackPtr::create();
        t->setTrackId(1);
        t->setTrackName(name);
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

        QImage cover(7, 5, QImage::Format_RGB32);
        cover.fill(Qt::darkCyan);
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && cover.save(&buffer, "PNG"));
        remote.setResponse("/cover.png", HttpResponse::ok(png, "image/png"));

        auto t = BASS::TrackPtr::create();
        t->setTrackId(42);
        t->setTrackName("Song");
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
            "/set", html("<html><body>set</body></html>", "Set-Cookie", "web=1; Max-Age=100000; Path=/"));
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

private:
    CookieJar *m_jar = nullptr;
    TestCa m_ca;
};

TUNORA_WEB_TEST_MAIN(TstWebViews)

#include "tst_webviews.moc"
