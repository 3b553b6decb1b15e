// Test tables are easier to read with plain string literals.
#undef QT_NO_CAST_FROM_ASCII

#include "appsettings.h"
#include "cookiejar.h"
#include "httpblocking.h"
#include "httpserver.h"
#include "testmain.h"

#include <QDataStream>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>

namespace {

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

class TstCookieJar : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QFile::remove(CookieJar::cookieFile());
        AppSettings::instance().setAcceptCookies("AcceptOnlyFromSitesNavigatedTo");
        AppSettings::instance().setKeepCookiesUntil("KeepUntilExpire");
        CookieJar::setPrivateBrowsing(false);
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
        QTest::newRow("version 23") << stream(23, 2,
                                              {"a=1; domain=a.test; path=/", "b=2; domain=a.test; path=/"})
                                    << 2;
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
};

TUNORA_TEST_MAIN_CORE(TstCookieJar)
#include "tst_cookiejar.moc"
