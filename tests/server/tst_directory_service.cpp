// The directory service's song search for cover art end to end: the tunora-directory executable
// over HTTPS with a test CA, its local cover table and its cache of upstream answers, both in the
// database. (What the player's client makes of the other replies is tested in tests/contract.)
// Built twice: against SQLite and (with TUNORA_TEST_POSTGRES) a private PostgreSQL cluster.

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

using namespace Qt::StringLiterals;

using namespace TunoraTest;

namespace {

// A stand-in for an upstream song search: one result built from the search term, with a field
// the service must not pass on.
HttpResponse upstreamSearch(const HttpRequest &request)
{
    QJsonObject r;
    r.insert(u"artistName"_s, u"Upstream Artist"_s);
    r.insert(u"trackName"_s, request.query().queryItemValue(u"term"_s, QUrl::FullyDecoded));
    r.insert(u"artworkUrl100"_s, u"http://covers.invalid/100.jpg"_s);
    r.insert(u"injected"_s, u"<script>"_s);
    QJsonObject o;
    o.insert(u"resultCount"_s, 1);
    o.insert(u"results"_s, QJsonArray{r});
    return HttpResponse::ok(QJsonDocument(o).toJson(QJsonDocument::Compact), "application/json");
}

} // namespace

class TestDirectoryService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void songSearch();

private:
    HttpResult get(const QString &address) { return m_http->get(address); }

    std::unique_ptr<PostgresCluster> m_postgres;
    DirectoryService m_service;
    std::unique_ptr<HttpsClient> m_http;
    HttpServer m_upstream;
    QTemporaryDir m_files;
    const QString m_user = u"listener1"_s;
    const QString m_password = u"p4ss word ÄÖ&=+"_s;
};

void TestDirectoryService::initTestCase()
{
    DirectoryService::Options options;
    options.importCatalogue = false;
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
    options.settings.insert(u"covers/upstream"_s, m_upstream.url(u"/search?term={term}&entity=song"_s));
    options.settings.insert(u"service/news_http_port"_s, QString::number(freeTcpPort()));
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
    QVERIFY2(!output.contains(u"p4ss"_s), qPrintable(output));
    QVERIFY2(m_service.stop(), qPrintable(m_service.errorString()));
}

void TestDirectoryService::songSearch()
{
    QFile covers(m_files.filePath(u"covers.json"_s));
    QVERIFY(covers.open(QIODevice::WriteOnly));
    covers.write(R"({"results": [{"artistName": "Local Artist", "trackName": "Local Song",
        "collectionCensoredName": "Local Album", "artworkUrl60": "http://c.invalid/60.jpg",
        "artworkUrl100": "http://c.invalid/100.jpg", "artworkUrl170": "http://c.invalid/170.jpg",
        "trackViewUrl": "http://c.invalid/view", "previewUrl": "http://c.invalid/p.m4a", "primaryGenreName": "Pop"}]})");
    covers.close();
    QString out;
    QCOMPARE(m_service.runTool({u"import-covers"_s, covers.fileName()}, &out), 0);

    PlayerAddresses a(m_service.root(), DirectoryService::apiKey());
    a.setCredentials(m_user, m_password);
    HttpResult r = get(a.songSearch(u"12"_s, u"Local Artist"_s, u"Local Song"_s));
    QCOMPARE(r.status, 200);
    QVERIFY(r.contentType.startsWith("application/json"));
    QJsonObject o = QJsonDocument::fromJson(r.body).object();
    QCOMPARE(o.value(QLatin1String("resultCount")).toInt(), 1);
    QJsonObject first = o.value(QLatin1String("results")).toArray().first().toObject();
    QCOMPARE(first.value(QLatin1String("artworkUrl170")).toString(), u"http://c.invalid/170.jpg"_s);
    QCOMPARE(first.value(QLatin1String("collectionCensoredName")).toString(), u"Local Album"_s);
    QCOMPARE(m_upstream.requestCount(), 0);

    // Unknown locally: asked upstream once, then answered from the cache.
    for (int i = 0; i < 2; ++i) {
        r = get(a.songSearch(u"12"_s, u"Far Away"_s, u"Distant Tune"_s));
        o = QJsonDocument::fromJson(r.body).object();
        QCOMPARE(o.value(QLatin1String("resultCount")).toInt(), 1);
        first = o.value(QLatin1String("results")).toArray().first().toObject();
        QCOMPARE(first.value(QLatin1String("trackName")).toString(), u"Far Away - Distant Tune"_s);
        QVERIFY(!first.contains(QLatin1String("injected")));
    }
    QCOMPARE(m_upstream.requestCount(), 1);
}

TUNORA_TEST_MAIN_CORE(TestDirectoryService)
#include "tst_directory_service.moc"
