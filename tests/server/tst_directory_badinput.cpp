// Hostile and broken input against the running directory service: parameters built to break
// SQL or the search syntax, oversized and malformed HTTP, slow and idle connections, more
// connections than allowed, and password guessing. Every case gets a definite answer (an error
// reply or an HTTP error), never a crash, a hang or internals.

#include "testmain.h"

#include "appsettings.h"
#include "directoryservice.h"
#include "rawapi.h"
#include "tagscanner.h"
#include "tunoraapi.h"

#include <QElapsedTimer>
#include <QSslCipher>
#include <QSslSocket>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

using namespace TunoraTest;

namespace {

// Tries the check until it holds, for up to 20 s of wall time.
template<class Check>
bool eventually(Check check)
{
    QElapsedTimer clock;
    clock.start();
    while (!check()) {
        if (clock.elapsed() > 20000)
            return false;
        QTest::qWait(100);
    }
    return true;
}

const char *const Internals[] = {"SQL", "sqlite", "QPSQL", "syntax error", "Database", "QUERY", "fts5"};

} // namespace

class TestDirectoryBadInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        AppSettings::setApplicationFolderOverride(IsolatedHome::path());
        DirectoryService::Options options;
        options.settings.insert(u"service/max_connections"_s, u"8"_s);
        options.settings.insert(u"service/idle_timeout"_s, u"3"_s);
        options.settings.insert(u"service/request_timeout"_s, u"2"_s);
        QVERIFY2(m_service.start(options), qPrintable(m_service.errorString()));
        m_http = std::make_unique<HttpsClient>(m_service.sslConfiguration());
        QString why;
        QVERIFY2(signUpAndActivate(*m_http, m_service, m_user, m_password, &why), qPrintable(why));
        m_jazzTotal = resultsTotal(m_http->get(player(m_service).searchAddress(u"jazz"_s, 0)).body);
        QVERIFY(m_jazzTotal > 0);
    }

    void cleanupTestCase()
    {
        m_http.reset();
        const QString output = m_service.output();
        QVERIFY2(!output.contains(m_password), "a password reached the service's log");
        QVERIFY2(!output.contains(u"Wrong-Guess"_s), "a password reached the service's log");
        QVERIFY2(m_service.stop(), qPrintable(m_service.errorString()));
    }

    void hostileParameters_data()
    {
        QTest::addColumn<QString>("suffix"); // appended to the account address (signed in)
        QTest::addColumn<int>("code");       // the status code expected; -1 for a station list
        const QString many = u"&x=1"_s.repeated(70);
        QStringList ids;
        for (int i = 1; i <= 300; ++i)
            ids << QString::number(i);
        QTest::newRow("sql in genre term")
            << "&limit=25&page=0&search=gen%3A%22x%27%20OR%20%271%27%3D%271%22" << -1;
        QTest::newRow("invalid utf-8") << "&limit=25&page=0&search=%FF%FE%C3" << -1;
        // (SQL and search syntax in the search text, hostile ids, control characters, long texts and
        // unknown commands: tests/contract, on both databases; a home location too long: tests/account.)
        QTest::newRow("too many parameters") << many << 2;
        QTest::newRow("page overflow") << "&limit=25&page=99999999999999999999&search=jazz" << 2;
        QTest::newRow("playing now too many")
            << QLatin1String("&playingnow=") + ids.join(QLatin1Char(',')) << 2;
        QTest::newRow("cover search too long")
            << QLatin1String("&search_itunes=") + QString(400, QLatin1Char('d')) << 2;
    }

    void hostileParameters()
    {
        QFETCH(QString, suffix);
        QFETCH(int, code);
        const HttpResult r = m_http->get(listener().accountAddress() + suffix);
        QCOMPARE(r.status, 200);
        QXmlStreamReader xml(r.body);
        while (!xml.atEnd())
            xml.readNext();
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        for (const char *word : Internals)
            QVERIFY2(!r.body.contains(word), r.body.constData());
        if (code < 0)
            QVERIFY2(r.body.contains("<results_total>"), r.body.constData());
        else
            QCOMPARE(readStatus(r.body).status, code);
    }

    void catalogueIntact()
    {
        QCOMPARE(resultsTotal(m_http->get(listener().searchAddress(u"jazz"_s, 0)).body), m_jazzTotal);
        // Without a key nothing is answered but the error (a wrong key: tests/contract).
        QCOMPARE(readStatus(m_http->get(m_service.root().toString() + u"?search=jazz"_s).body).status, 2);
        // An empty password is a wrong one.
        QCOMPARE(readStatus(m_http->get(player(m_service, m_user, QString()).signInAddress()).body).status,
                 0);
        // A signed-in name with SQL in it is just a wrong name.
        QCOMPARE(readStatus(
                     m_http->get(player(m_service, u"x' OR '1'='1"_s, u"Wrong-Guess"_s).signInAddress()).body)
                     .status,
                 0);
    }

    void newsItemsArePlainText()
    {
        // Only http and https links are taken.
        for (const QString &link : {u"javascript:alert(1)"_s, u"/account/reset"_s})
            QVERIFY(m_service.runTool({u"news-add"_s, u"en"_s, u"refused"_s, link}) != 0);
        const QString markup = u"<b>Bold</b> <script>alert(1)</script>"_s;
        QCOMPARE(m_service.runTool({u"news-add"_s, u"en"_s, u"Markup"_s, u"https://example.org/n"_s, markup}),
                 0);
        const HttpResult feed =
            m_http->get(m_service.root().toString() + u"services/newsfeed/desktop/en/rss.xml"_s);
        QCOMPARE(feed.status, 200);
        QVERIFY(!feed.body.contains("refused") && !feed.body.contains("javascript:"));
        // Read as HTML, the newest item's description shows its markup as text.
        QXmlStreamReader xml(feed.body);
        QString description;
        bool inItem = false;
        while (!xml.atEnd() && description.isEmpty()) {
            if (xml.readNext() == QXmlStreamReader::StartElement) {
                inItem = inItem || xml.name() == QLatin1String("item");
                if (inItem && xml.name() == QLatin1String("description"))
                    description = xml.readElementText();
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(description, markup.toHtmlEscaped());
    }

    void rawRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        const QByteArray key = DirectoryService::apiKey().toLatin1();
        QTest::newRow("10 MB query string")
            << "GET /?key=" + key + "&search=" + QByteArray(10 * 1024 * 1024, 'q') +
                   " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
            << 414;
        QTest::newRow("large upload")
            << QByteArray("POST /account/reset HTTP/1.1\r\nContent-Length: 5000000\r\n\r\n") +
                   QByteArray(5000000, 'u')
            << 413;
        QTest::newRow("post to the commands")
            << "POST /?key=" + key + " HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc" << 405;
        QTest::newRow("news path traversal")
            << QByteArray("GET /services/newsfeed/desktop/..%2F..%2Fetc/rss.xml HTTP/1.1\r\n\r\n") << 404;
        QTest::newRow("listen id not a number")
            << QByteArray("GET /stream/listen/1%20OR%201=1 HTTP/1.1\r\n\r\n") << 404;
        // Half a request line and then nothing: answered after the request time-out (2 s).
        QTest::newRow("half a request line") << QByteArray("GET /?key=") << 408;
        // Nothing at all: closed after the idle time-out (3 s) without a reply.
        QTest::newRow("nothing sent") << QByteArray() << 0;
    }

    void rawRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        const RawExchange r = rawExchange(m_service.port(), m_service.sslConfiguration(), request);
        QVERIFY(r.connected);
        if (status == 0) {
            QVERIFY(r.closedByServer);
            QCOMPARE(r.raw, QByteArray());
            return;
        }
        QVERIFY2(!r.statuses.isEmpty(), r.raw.left(200).constData());
        QCOMPARE(r.statuses.first(), status);
        for (const char *word : Internals)
            QVERIFY2(!r.bodies.first().contains(word), r.bodies.first().constData());
        // The service is still there.
        QCOMPARE(m_http->get(player(m_service).softwareVersionAddress()).status, 200);
    }

    void pipelinedBodiesStayInStep_data()
    {
        QTest::addColumn<QByteArrayList>("methods"); // one request each, all sent in one write
        const QByteArray get("GET"), head("HEAD");
        // "SLOW": a fresh account's favourites; its first password check runs on the hashing pool,
        // so that reply is ready after those behind it.
        QTest::newRow("behind a slow reply, HEAD between")
            << QByteArrayList{"SLOW", get, head, get, head, get};
        QByteArrayList many;
        for (int i = 0; i < 60; ++i) // about 6 KB of requests
            many << (i % 7 == 3 ? head : get);
        QTest::newRow("6 KB mixed") << many;
    }

    void pipelinedBodiesStayInStep()
    {
        QFETCH(QByteArrayList, methods);
        QUrl slow;
        if (methods.contains("SLOW")) {
            QString why;
            QVERIFY2(signUpAndActivate(*m_http, m_service, u"piper"_s, u"piper-pass"_s, &why),
                     qPrintable(why));
            slow =
                QUrl::fromEncoded(player(m_service, u"piper"_s, u"piper-pass"_s).favoritesAddress().toUtf8());
        }
        const QByteArray version = "/?key=" + DirectoryService::apiKey().toLatin1() + "&software=version";
        QByteArray request;
        QList<int> heads;
        for (qsizetype i = 0; i < methods.size(); ++i) {
            const QByteArray target =
                methods[i] == "SLOW"
                    ? QByteArray("GET " + slow.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority))
                    : QByteArray(methods[i] + ' ' + version);
            request += target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
            if (methods[i] == "HEAD")
                heads << int(i);
        }
        const RawExchange r = rawExchange(m_service.port(), m_service.sslConfiguration(), request,
                                          int(methods.size()), 60000, heads);
        QCOMPARE(r.statuses, QList<int>(methods.size(), 200));
        for (qsizetype i = 0; i < methods.size(); ++i) {
            const QByteArray expected = methods[i] == "SLOW" ? "<stations>" : "<software>";
            QCOMPARE(r.bodies[i].contains(expected), !heads.contains(int(i)));
        }
        // Nothing follows the last reply: no stray body is left on the connection.
        QVERIFY(r.raw.endsWith(r.bodies.last()));
        QVERIFY(!r.raw.contains("Connection: close"));
    }

    void connectionCaps_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<int>("cap");
        QTest::newRow("whole service") << u"service/max_connections"_s << 8;
        QTest::newRow("one address") << u"service/max_connections_per_address"_s << 3;
    }

    void connectionCaps()
    {
        QFETCH(QString, setting);
        QFETCH(int, cap);
        DirectoryService service;
        QVERIFY2(startOwn(service, {{setting, QString::number(cap)}}), qPrintable(service.errorString()));
        auto open = [&] {
            auto s = std::make_unique<QSslSocket>();
            s->setSslConfiguration(service.sslConfiguration());
            s->connectToHostEncrypted(u"127.0.0.1"_s, service.port());
            const bool ok = s->waitForEncrypted(5000);
            return std::make_pair(ok, std::move(s));
        };
        // Up to the cap connections are held; the next one is closed at once.
        std::vector<std::unique_ptr<QSslSocket>> held;
        for (int i = 0; i < cap; ++i) {
            auto [ok, s] = open();
            QVERIFY(ok);
            held.push_back(std::move(s));
        }
        QVERIFY(!open().first);
        held.pop_back();
        // A place freed is a place again (the server sees the close a little later).
        QVERIFY(eventually([&] { return open().first; }));
    }

    void abortedHandshakesKeepListening()
    {
        // Handshakes that never finish (closed at once, or silent and then closed) must not use up
        // the listener: a normal request is answered afterwards.
        for (int i = 0; i < 100; ++i) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, m_service.port());
            QVERIFY(s.waitForConnected(5000));
            s.abort();
        }
        std::vector<std::unique_ptr<QTcpSocket>> silent;
        for (int i = 0; i < 40; ++i) {
            silent.push_back(std::make_unique<QTcpSocket>());
            silent.back()->connectToHost(QHostAddress::LocalHost, m_service.port());
        }
        for (auto &s : silent)
            s->waitForConnected(5000);
        silent.clear();
        // Answered as soon as the service has seen those connections go (at once when idle; a
        // loaded machine gets a generous ceiling).
        const QByteArray version =
            "GET /?key=" + DirectoryService::apiKey().toLatin1() + "&software=version HTTP/1.1\r\n\r\n";
        QTRY_COMPARE_WITH_TIMEOUT(
            rawExchange(m_service.port(), m_service.sslConfiguration(), version, 1, 2000).statuses.value(0),
            200, 20000);
    }

    void tlsSuites_data()
    {
        QTest::addColumn<QString>("cipher");
        QTest::addColumn<QSsl::SslProtocol>("protocol");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("1.2 AES-GCM") << "ECDHE-ECDSA-AES128-GCM-SHA256" << QSsl::TlsV1_2 << true;
        QTest::newRow("1.2 CBC SHA-1") << "ECDHE-ECDSA-AES128-SHA" << QSsl::TlsV1_2 << false;
        QTest::newRow("1.2 RSA key exchange") << "AES128-GCM-SHA256" << QSsl::TlsV1_2 << false;
        QTest::newRow("1.3") << "TLS_AES_128_GCM_SHA256" << QSsl::TlsV1_3 << true;
    }

    void tlsSuites()
    {
        QFETCH(QString, cipher);
        QFETCH(QSsl::SslProtocol, protocol);
        QFETCH(bool, accepted);
        QSslConfiguration tls = m_service.sslConfiguration();
        const QSslCipher c(cipher);
        if (c.isNull())
            QSKIP("this OpenSSL does not offer the suite");
        tls.setProtocol(protocol);
        tls.setCiphers({c});
        QSslSocket s;
        s.setSslConfiguration(tls);
        s.connectToHostEncrypted(u"127.0.0.1"_s, m_service.port());
        QCOMPARE(s.waitForEncrypted(10000), accepted);
    }

    // Per-account limits and their look-alike answers are in tests/contract; here what the limits
    // per account and per client address leave to everybody else. Behind a trusted proxy the client
    // addresses come from X-Forwarded-For.
    void guessingLocksOnlyTheGuesser()
    {
        DirectoryService service;
        QVERIFY2(startOwn(service, {{u"accounts/account_failure_limit"_s, u"3"_s},
                                    {u"accounts/address_failure_limit"_s, u"8"_s},
                                    {u"service/trusted_proxies"_s, u"127.0.0.1"_s}}),
                 qPrintable(service.errorString()));
        HttpsClient http(service.sslConfiguration());
        for (const QString &user : {u"owner"_s, u"other"_s, u"third"_s}) {
            QString why;
            QVERIFY2(signUpAndActivate(http, service, user, user + u"-pass"_s, &why), qPrintable(why));
        }
        auto signIn = [&](const QByteArray &from, const QString &user, const QString &password) {
            const QString address = player(service, user, password).signInAddress();
            return readStatus(http.getAll({address}, {{"X-Forwarded-For", from}}).value(0).body);
        };
        // Guesses at one account lock it for the guessing address only, even with the right password.
        for (int i = 0; i < 3; ++i)
            QCOMPARE(signIn("192.0.2.1", u"owner"_s, u"Wrong-Guess"_s).message,
                     u"Invalid member name or password"_s);
        QVERIFY(signIn("192.0.2.1", u"owner"_s, u"owner-pass"_s).message.contains(u"Too many"_s));
        QCOMPARE(signIn("198.51.100.7", u"owner"_s, u"owner-pass"_s).status, 1);
        // "other" signs in before an attack from its own address and stays signed in (its check is
        // remembered); eight failures on names below the account limit lock the address for new checks.
        QCOMPARE(signIn("192.0.2.9", u"other"_s, u"other-pass"_s).status, 1);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(signIn("192.0.2.9", u"x%1"_s.arg(i % 4), u"Wrong-Guess"_s).status, 0);
        QVERIFY(signIn("192.0.2.9", u"third"_s, u"third-pass"_s).message.contains(u"Too many"_s));
        QCOMPARE(signIn("192.0.2.9", u"other"_s, u"other-pass"_s).status, 1);
        QVERIFY2(service.stop(), qPrintable(service.errorString()));
    }

    // With a limit of 3, as many sign-ups sent at once get through as would one after the other
    // (a burst of sign-in guesses: tst_directory_outage, spread over two instances).
    void burstsLimitedLikeSequences()
    {
        DirectoryService service;
        QVERIFY2(startOwn(service, {{u"accounts/creation_limit"_s, u"3"_s}}),
                 qPrintable(service.errorString()));
        HttpsClient http(service.sslConfiguration());
        QStringList burst;
        for (int i = 0; i < 8; ++i)
            burst << player(service).createAccountAddress(u"burst%1"_s.arg(i), u"burst-pass"_s,
                                                          u"burst%1@example.org"_s.arg(i));
        int through = 0;
        for (const HttpResult &r : http.getAll(burst)) {
            QCOMPARE(r.status, 200);
            through += readStatus(r.body).message.contains(u"Too many"_s) ? 0 : 1;
        }
        QCOMPARE(through, 3);
        QCOMPARE(service.mails().size(), 3);
        QVERIFY2(service.stop(), qPrintable(service.errorString()));
    }

    void passwordResetRotatesListenToken()
    {
        QString why;
        QVERIFY2(signUpAndActivate(*m_http, m_service, u"resetter"_s, u"old-pass-1"_s, &why),
                 qPrintable(why));
        auto listenToken = [&](const QString &password) {
            const QString address = player(m_service, u"resetter"_s, password).searchAddress(u"jazz"_s, 0);
            const QString reply = QString::fromUtf8(m_http->get(address).body);
            const QString listen = BASS::TagScanner(reply).find(u"url_listen");
            return QUrlQuery(QUrl(listen)).queryItemValue(u"t"_s);
        };
        const QString before = listenToken(u"old-pass-1"_s);
        QCOMPARE(before.size(), 32);
        QCOMPARE(readStatus(m_http->get(player(m_service).lostPasswordAddress(u"resetter"_s)).body).status,
                 0);
        const QUrl link = m_service.linkFromLastMail(u"/account/reset"_s);
        const QString token = QUrlQuery(link).queryItemValue(u"token"_s);
        QCOMPARE(token.size(), 64);
        // The page's form, as a browser sends it: both passwords must agree.
        auto post = [&](const QByteArray &again) {
            return m_http
                ->post(m_service.root().toString() + u"account/reset"_s,
                       "token=" + token.toLatin1() + "&password=new-pass-2&password2=" + again,
                       "application/x-www-form-urlencoded")
                .status;
        };
        QCOMPARE(post("new-pass-3"), 400);
        QCOMPARE(post("new-pass-2"), 200);
        QCOMPARE(m_http->get(link.toString(QUrl::FullyEncoded)).status, 404); // the link is spent
        QCOMPARE(
            readStatus(m_http->get(player(m_service, u"resetter"_s, u"old-pass-1"_s).signInAddress()).body)
                .status,
            0);
        const QString after = listenToken(u"new-pass-2"_s);
        QCOMPARE(after.size(), 32);
        QVERIFY(after != before);
    }

    void oneAddressCannotHoldTheHashing()
    {
        DirectoryService service;
        QVERIFY2(startOwn(service, {{u"accounts/hashes_per_address"_s, u"1"_s},
                                    {u"service/trusted_proxies"_s, u"127.0.0.1"_s}}),
                 qPrintable(service.errorString()));
        HttpsClient http(service.sslConfiguration());
        QString why;
        QVERIFY2(signUpAndActivate(http, service, u"patient"_s, u"patient-pass"_s, &why), qPrintable(why));
        // Six checks at once from one address: one hashes, the others are turned away at once
        // instead of queueing ahead of everybody else.
        QStringList burst;
        for (int i = 0; i < 6; ++i)
            burst << player(service, u"name%1"_s.arg(i), u"Wrong-Guess"_s).signInAddress();
        int busy = 0;
        for (const HttpResult &r : http.getAll(burst, {{"X-Forwarded-For", "192.0.2.50"}}))
            busy += readStatus(r.body).message.contains(u"busy"_s) ? 1 : 0;
        QVERIFY2(busy >= 1, "every check from one address was queued");
        QVERIFY(busy < 6);
        // Another address is served.
        const QString patient = player(service, u"patient"_s, u"patient-pass"_s).signInAddress();
        QCOMPARE(
            readStatus(http.getAll({patient}, {{"X-Forwarded-For", "198.51.100.1"}}).value(0).body).status,
            1);
        QVERIFY2(service.stop(), qPrintable(service.errorString()));
    }

private:
    TunoraAPI &listener() const { return player(m_service, m_user, m_password); }
    // A service of its own with an empty catalogue, for limits that would lock this test's
    // address out of the shared one.
    static bool startOwn(DirectoryService &service, const QMap<QString, QString> &settings)
    {
        DirectoryService::Options options;
        options.importCatalogue = false;
        options.settings = settings;
        return service.start(options);
    }

    DirectoryService m_service;
    std::unique_ptr<HttpsClient> m_http;
    quint32 m_jazzTotal = 0;
    const QString m_user = u"tester"_s;
    const QString m_password = u"Secret-Tester-Pass"_s;
};

TUNORA_TEST_MAIN_CORE(TestDirectoryBadInput)
#include "tst_directory_badinput.moc"
