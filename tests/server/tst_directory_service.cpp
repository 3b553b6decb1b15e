// The directory service end to end on its shipped catalogue: the tunora-directory executable
// over HTTPS with a test CA, driven with requests built as the player builds them, its replies
// read with a strict XML reader and with the player's own tag scanner. What the player's client
// makes of the replies is tested in tests/contract. Built twice: against SQLite and (with
// TUNORA_TEST_POSTGRES) against a private PostgreSQL cluster.

#include "testmain.h"

#include "directoryservice.h"
#include "httpserver.h"
#include "net.h"
#include "postgres.h"
#include "rawapi.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUrlQuery>

using namespace TunoraTest;

namespace {

// A stand-in for an upstream song search: one result built from the search term, with a field
// the service must not pass on.
HttpResponse upstreamSearch(const HttpRequest &request)
{
    QJsonObject r;
    r.insert(QStringLiteral("artistName"), QStringLiteral("Upstream Artist"));
    r.insert(QStringLiteral("trackName"),
             request.query().queryItemValue(QStringLiteral("term"), QUrl::FullyDecoded));
    r.insert(QStringLiteral("artworkUrl100"), QStringLiteral("http://covers.invalid/100.jpg"));
    r.insert(QStringLiteral("injected"), QStringLiteral("<script>"));
    QJsonObject o;
    o.insert(QStringLiteral("resultCount"), 1);
    o.insert(QStringLiteral("results"), QJsonArray{r});
    return HttpResponse::ok(QJsonDocument(o).toJson(QJsonDocument::Compact), "application/json");
}

} // namespace

class TestDirectoryService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void replyFormat_data();
    void replyFormat();
    void accountLifecycle();
    void signInAnswers_data();
    void signInAnswers();
    void songSearch();

private:
    HttpResult get(const QString &address) { return m_http->get(address); }
    bool xml(const QString &address, XmlNode *root, QString *why);
    StatusReply status(const QString &address) { return readStatus(get(address).body); }
    PlayerAddresses addresses(const QString &user = QString(), const QString &password = QString()) const;

    std::unique_ptr<PostgresCluster> m_postgres;
    DirectoryService m_service;
    std::unique_ptr<HttpsClient> m_http;
    HttpServer m_upstream;
    QTemporaryDir m_files;
    const QString m_user = QStringLiteral("listener1");
    const QString m_password = QStringLiteral("p4ss word ÄÖ&=+");
};

PlayerAddresses TestDirectoryService::addresses(const QString &user, const QString &password) const
{
    PlayerAddresses a(m_service.root(), DirectoryService::apiKey());
    a.setCredentials(user, password);
    return a;
}

bool TestDirectoryService::xml(const QString &address, XmlNode *root, QString *why)
{
    const HttpResult r = get(address);
    if (r.status != 200) {
        *why = QStringLiteral("HTTP %1 %2").arg(r.status).arg(r.errorString);
        return false;
    }
    if (!r.contentType.startsWith("text/xml")) {
        *why = QStringLiteral("content type %1").arg(QString::fromLatin1(r.contentType));
        return false;
    }
    if (!parseStrict(r.body, root, why)) {
        *why += QStringLiteral(" in ") + QString::fromUtf8(r.body.left(500));
        return false;
    }
    return true;
}

void TestDirectoryService::initTestCase()
{
    DirectoryService::Options options;
#ifdef TUNORA_TEST_POSTGRES
    if (!PostgresCluster::available())
        QSKIP("PostgreSQL is not installed");
    m_postgres = std::make_unique<PostgresCluster>();
    QString error;
    QVERIFY2(m_postgres->start(&error), qPrintable(error));
    options.backend = DirectoryService::Backend::PostgreSQL;
    options.postgres = m_postgres.get();
#endif
    m_upstream.setHandler(upstreamSearch);
    QVERIFY(m_upstream.listen());
    options.settings.insert(QStringLiteral("covers/upstream"),
                            m_upstream.url(QStringLiteral("/search?term={term}&entity=song")));
    options.settings.insert(QStringLiteral("accounts/creation_limit"), QStringLiteral("100"));
    options.settings.insert(QStringLiteral("service/news_http_port"), QString::number(freeTcpPort()));
    options.settings.insert(QStringLiteral("accounts/mail_limit"), QStringLiteral("100"));
    QVERIFY2(m_service.start(options), qPrintable(m_service.errorString()));
    m_http = std::make_unique<HttpsClient>(m_service.sslConfiguration());
    QString why;
    QVERIFY2(signUpAndActivate(*m_http, m_service, m_user, m_password, &why), qPrintable(why));
}

void TestDirectoryService::cleanupTestCase()
{
    m_http.reset();
    const QString output = m_service.output();
    // Passwords travel in every request address; none may reach the log.
    QVERIFY2(!output.contains(QStringLiteral("p4ss")), qPrintable(output));
    QVERIFY2(m_service.stop(), qPrintable(m_service.errorString()));
}

// Every command's reply is well-formed, attribute-free XML with the expected first elements.
void TestDirectoryService::replyFormat_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("path"); // element names from the root down to one that must exist
    const PlayerAddresses a = addresses(m_user, m_password);
    auto row = [](const char *name, const QString &address, std::initializer_list<const char *> path) {
        QStringList names;
        for (const char *n : path)
            names << QString::fromLatin1(n);
        QTest::newRow(name) << address << names;
    };
    row("search", a.search(QStringLiteral("radio"), 0), {"results_total"});
    row("regions", a.regions(), {"regions", "region"});
    row("genres", a.genres(), {"genres", "genre"});
    row("favorites", a.favorites(), {"stations"});
    row("history", a.history(), {"stations"});
    row("languages", a.languages(), {"languages", "en"});
    row("software", a.softwareVersion(), {"software", "version"});
    row("account info", a.accountInfo(), {"account", "username"});
    row("check account", a.account(), {"code"});
    row("playing now", a.playingNow({QStringLiteral("1"), QStringLiteral("2")}), {"stations"});
    row("status", a.removeFavorite(QStringLiteral("1")), {"message"});
}

void TestDirectoryService::replyFormat()
{
    QFETCH(QString, address);
    QFETCH(QStringList, path);
    XmlNode root;
    QString why;
    QVERIFY2(xml(address, &root, &why), qPrintable(why));
    const XmlNode *node = &root;
    for (const QString &name : path) {
        node = node->child(name);
        QVERIFY2(node, qPrintable(QStringLiteral("no <%1>").arg(name)));
    }
}

// The client-side account round trip is in tests/contract; here what the client cannot see:
// where the links point, that account commands wait for the activation, and that links work once.
void TestDirectoryService::accountLifecycle()
{
    const QString user = QStringLiteral("Lifecycle.User");
    const QString password = QStringLiteral("secret-lifecycle");
    const PlayerAddresses anon = addresses();
    QCOMPARE(status(anon.createAccount(user, password, QStringLiteral("life@example.org"))).code, 0);
    const QUrl firstLink = m_service.linkFromLastMail(QStringLiteral("/account/activate"));
    QCOMPARE(firstLink.host(), QStringLiteral("127.0.0.1"));
    QCOMPARE(firstLink.port(), int(m_service.port()));
    QCOMPARE(status(addresses(user, password).favorites()).code, 2);

    // A second activation mail; the first link stays good until one of them is used.
    QCOMPARE(status(anon.resendValidation(user, password)).code, 0);
    const HttpResult page = get(firstLink.toString(QUrl::FullyEncoded));
    QCOMPARE(page.status, 200);
    QVERIFY(page.contentType.startsWith("text/html"));
    QCOMPARE(status(addresses(user, password).account()).code, 1);
    QCOMPARE(get(firstLink.toString(QUrl::FullyEncoded)).status, 404);
    QCOMPARE(get(m_service.linkFromLastMail(QStringLiteral("/account/activate")).toString(QUrl::FullyEncoded))
                 .status,
             404);
}

void TestDirectoryService::signInAnswers_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("code");
    QTest::newRow("name in other case") << "LISTENER1"
                                        << "p4ss word ÄÖ&=+" << 1;
    QTest::newRow("empty password") << "listener1"
                                    << "" << 0;
}

void TestDirectoryService::signInAnswers()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    const HttpResult r = get(addresses().signIn(user, password));
    QCOMPARE(r.status, 200);
    QTEST(readStatus(r.body).code, "code");
}

void TestDirectoryService::songSearch()
{
    QFile covers(m_files.filePath(QStringLiteral("covers.json")));
    QVERIFY(covers.open(QIODevice::WriteOnly));
    covers.write(R"({"results": [{"artistName": "Local Artist", "trackName": "Local Song",
        "collectionCensoredName": "Local Album", "artworkUrl60": "http://c.invalid/60.jpg",
        "artworkUrl100": "http://c.invalid/100.jpg", "artworkUrl170": "http://c.invalid/170.jpg",
        "trackViewUrl": "http://c.invalid/view", "previewUrl": "http://c.invalid/p.m4a", "primaryGenreName": "Pop"}]})");
    covers.close();
    QString out;
    QCOMPARE(m_service.runTool({QStringLiteral("import-covers"), covers.fileName()}, &out), 0);

    const PlayerAddresses a = addresses(m_user, m_password);
    HttpResult r =
        get(a.songSearch(QStringLiteral("12"), QStringLiteral("Local Artist"), QStringLiteral("Local Song")));
    QCOMPARE(r.status, 200);
    QVERIFY(r.contentType.startsWith("application/json"));
    QJsonObject o = QJsonDocument::fromJson(r.body).object();
    QCOMPARE(o.value(QLatin1String("resultCount")).toInt(), 1);
    QJsonObject first = o.value(QLatin1String("results")).toArray().first().toObject();
    QCOMPARE(first.value(QLatin1String("artworkUrl170")).toString(),
             QStringLiteral("http://c.invalid/170.jpg"));
    QCOMPARE(first.value(QLatin1String("collectionCensoredName")).toString(), QStringLiteral("Local Album"));
    QCOMPARE(m_upstream.requestCount(), 0);

    // Unknown locally: asked upstream once, then answered from the cache.
    for (int i = 0; i < 2; ++i) {
        r = get(
            a.songSearch(QStringLiteral("12"), QStringLiteral("Far Away"), QStringLiteral("Distant Tune")));
        o = QJsonDocument::fromJson(r.body).object();
        QCOMPARE(o.value(QLatin1String("resultCount")).toInt(), 1);
        first = o.value(QLatin1String("results")).toArray().first().toObject();
        QCOMPARE(first.value(QLatin1String("trackName")).toString(),
                 QStringLiteral("Far Away - Distant Tune"));
        QVERIFY(!first.contains(QLatin1String("injected")));
    }
    QCOMPARE(m_upstream.requestCount(), 1);
}

TUNORA_TEST_MAIN_CORE(TestDirectoryService)
#include "tst_directory_service.moc"
