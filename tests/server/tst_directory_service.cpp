// The directory service end to end on its shipped catalogue: the tunora-directory executable
// over HTTPS with a test CA, driven with requests built as the player builds them, its replies
// read with a strict XML reader and with the player's own tag scanner. What the player's client
// makes of the replies is tested in tests/contract. Built twice: against SQLite and (with
// TUNORA_TEST_POSTGRES) against a private PostgreSQL cluster.

#include "testmain.h"

#include "directoryservice.h"
#include "net.h"
#include "postgres.h"
#include "rawapi.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QXmlStreamReader>

using namespace TunoraTest;

namespace {

// A stand-in for an upstream song search: answers every request with one result built from
// the search term and counts the requests.
class UpstreamSearch : public QObject
{
public:
    UpstreamSearch()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] {
                    m_buffer[s] += s->readAll();
                    if (!m_buffer[s].contains("\r\n\r\n"))
                        return;
                    const QByteArray line = m_buffer[s].left(m_buffer[s].indexOf('\r'));
                    const QString target = QString::fromLatin1(line.split(' ').value(1));
                    const QString term = QUrlQuery(QUrl(target).query())
                                             .queryItemValue(QStringLiteral("term"), QUrl::FullyDecoded);
                    ++requests;
                    QJsonObject r;
                    r.insert(QStringLiteral("artistName"), QStringLiteral("Upstream Artist"));
                    r.insert(QStringLiteral("trackName"), term);
                    r.insert(QStringLiteral("artworkUrl100"),
                             QStringLiteral("http://covers.invalid/100.jpg"));
                    r.insert(QStringLiteral("injected"), QStringLiteral("<script>"));
                    QJsonObject o;
                    o.insert(QStringLiteral("resultCount"), 1);
                    o.insert(QStringLiteral("results"), QJsonArray{r});
                    const QByteArray body = QJsonDocument(o).toJson(QJsonDocument::Compact);
                    s->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: "
                             "close\r\nContent-Length: " +
                             QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    s->disconnectFromHost();
                    m_buffer.remove(s);
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    ~UpstreamSearch() override
    {
        const QList<QTcpSocket *> sockets = m_server.findChildren<QTcpSocket *>();
        for (QTcpSocket *s : sockets)
            s->disconnect(this);
    }
    quint16 port() const { return m_server.serverPort(); }
    int requests = 0;

private:
    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffer;
};

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
    void searchPaging_data();
    void searchPaging();
    void genreTree();
    void regionTree();
    void songSearch();

private:
    HttpResult get(const QString &address) { return m_http->get(address); }
    bool xml(const QString &address, XmlNode *root, QString *why);
    StatusReply status(const QString &address) { return readStatus(get(address).body); }
    ScannedStationList find(const QString &text, int limit)
    {
        return scanStationList(get(addresses().search(text, 0, limit)).body);
    }
    PlayerAddresses addresses(const QString &user = QString(), const QString &password = QString()) const;

    std::unique_ptr<PostgresCluster> m_postgres;
    DirectoryService m_service;
    std::unique_ptr<HttpsClient> m_http;
    UpstreamSearch m_upstream;
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
    options.settings.insert(
        QStringLiteral("covers/upstream"),
        QStringLiteral("http://127.0.0.1:%1/search?term={term}&entity=song").arg(m_upstream.port()));
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
    QTest::newRow("wrong password") << "listener1"
                                    << "p4ss word ÄÖ&=" << 0;
    QTest::newRow("unknown name") << "nobody-here"
                                  << "p4ss word ÄÖ&=+" << 0;
    QTest::newRow("empty password") << "listener1"
                                    << "" << 0;
}

void TestDirectoryService::signInAnswers()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(int, code);
    const HttpResult r = get(addresses().signIn(user, password));
    QCOMPARE(r.status, 200);
    QTEST(readStatus(r.body).code, "code");
    // A wrong password and an unknown name get the very same answer.
    if (code == 0 && !password.isEmpty()) {
        static QByteArray firstFailure;
        if (firstFailure.isEmpty())
            firstFailure = r.body;
        QCOMPARE(r.body, firstFailure);
    }
}

void TestDirectoryService::searchPaging_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("some");
    QTest::newRow("word") << "radio" << true;
    QTest::newRow("accent-free") << "Radio Universitaria" << true;
    QTest::newRow("group genre term") << "gen:\"Electronic & Dance\"" << true;
    QTest::newRow("country code") << "DE" << true;
    QTest::newRow("country term") << "country:\"BR\"" << true;
    QTest::newRow("unknown genre") << "gen:\"No Such Genre\"" << false;
    QTest::newRow("empty") << "" << false;
}

void TestDirectoryService::searchPaging()
{
    QFETCH(QString, text);
    QFETCH(bool, some);
    const PlayerAddresses a = addresses();
    const int limit = 10;
    XmlNode first;
    QString why;
    QVERIFY2(xml(a.search(text, 0, limit), &first, &why), qPrintable(why));
    const ScannedStationList page0 = scanStationList(get(a.search(text, 0, limit)).body);
    QCOMPARE(page0.total, first.childText(QStringLiteral("results_total")).toUInt());
    QCOMPARE(some, page0.total > 0);
    if (!some) {
        QCOMPARE(page0.stations.size(), 0);
        return;
    }
    QCOMPARE(page0.limit, quint32(limit));
    // The scanner reads what a real XML parser reads.
    const QList<const XmlNode *> parsed =
        first.child(QStringLiteral("stations"))->childrenNamed(QStringLiteral("station"));
    QCOMPARE(parsed.size(), page0.stations.size());
    for (qsizetype i = 0; i < parsed.size(); ++i) {
        QCOMPARE(page0.stations[i].id, parsed[i]->childText(QStringLiteral("id")));
        QCOMPARE(page0.stations[i].name, parsed[i]->childText(QStringLiteral("name")));
        QCOMPARE(page0.stations[i].location, parsed[i]->childText(QStringLiteral("location")));
        QCOMPARE(page0.stations[i].streams.size(),
                 parsed[i]->child(QStringLiteral("streams"))->childrenNamed(QStringLiteral("stream")).size());
        QCOMPARE(stationIdFromUrl(page0.stations[i].streams.value(0).url), page0.stations[i].id);
    }
    // All pages together hold every result once.
    const quint32 pages = (page0.total + limit - 1) / limit;
    QSet<QString> seen;
    for (quint32 p = 0; p < qMin(pages, 8u); ++p) {
        const ScannedStationList page = scanStationList(get(a.search(text, int(p), limit)).body);
        QCOMPARE(page.total, page0.total);
        const quint32 expected = p + 1 < pages ? quint32(limit) : page0.total - p * limit;
        QCOMPARE(quint32(page.stations.size()), expected);
        for (const ScannedStation &s : page.stations) {
            QVERIFY2(!seen.contains(s.id), qPrintable(s.id));
            seen.insert(s.id);
        }
    }
    // Past the end: the total, no stations.
    const ScannedStationList beyond = scanStationList(get(a.search(text, int(pages) + 1, limit)).body);
    QCOMPARE(beyond.total, page0.total);
    QCOMPARE(beyond.stations.size(), 0);
}

// The shipped catalogue as the lists offer it: every top-level genre has a description and
// stations, and a sub-genre's stations are among its genre's.
void TestDirectoryService::genreTree()
{
    XmlNode root;
    QString why;
    QVERIFY2(xml(addresses().genres(), &root, &why), qPrintable(why));
    const QList<const XmlNode *> tops =
        root.child(QStringLiteral("genres"))->childrenNamed(QStringLiteral("genre"));
    QVERIFY(tops.size() >= 10);
    for (const XmlNode *top : tops) {
        const QString name = top->childText(QStringLiteral("name"));
        QVERIFY2(!top->childText(QStringLiteral("description")).isEmpty(), qPrintable(name));
        const quint32 all = find(QStringLiteral("gen:\"%1\"").arg(name), 1).total;
        QVERIFY2(all > 0, qPrintable(name));
        const XmlNode *subs = top->child(QStringLiteral("genres"));
        if (!subs || subs->children.isEmpty())
            continue;
        const QString sub = subs->children.first().childText(QStringLiteral("name"));
        const quint32 inSub = find(QStringLiteral("gen:\"%1\"").arg(sub), 1).total;
        QVERIFY2(inSub > 0 && inSub <= all, qPrintable(sub));
    }
}

// A country's search term and its bare code select its stations; a subsection's term selects
// some of them.
void TestDirectoryService::regionTree()
{
    XmlNode root;
    QString why;
    QVERIFY2(xml(addresses().regions(), &root, &why), qPrintable(why));
    const QList<const XmlNode *> regions =
        root.child(QStringLiteral("regions"))->childrenNamed(QStringLiteral("region"));
    QVERIFY(regions.size() >= 5);
    int countries = 0, checked = 0;
    for (const XmlNode *region : regions) {
        QVERIFY(!region->childText(QStringLiteral("name")).isEmpty());
        const XmlNode *list = region->child(QStringLiteral("countries"));
        QVERIFY(list);
        for (const XmlNode *country : list->childrenNamed(QStringLiteral("country"))) {
            ++countries;
            const QString name = country->childText(QStringLiteral("name"));
            const QString code = country->childText(QStringLiteral("code"));
            QCOMPARE(code.size(), 2);
            if (checked >= 3 && name != QLatin1String("Germany"))
                continue;
            ++checked;
            const ScannedStationList bySearch = find(country->childText(QStringLiteral("search")), 5);
            QVERIFY2(bySearch.total > 0, qPrintable(name));
            for (const ScannedStation &s : bySearch.stations)
                QCOMPARE(s.country, name);
            QCOMPARE(find(code, 1).total, bySearch.total);
            const XmlNode *subs = country->child(QStringLiteral("subsections"));
            if (!subs || subs->children.isEmpty())
                continue;
            const XmlNode &sub = subs->children.first();
            const ScannedStationList inSub = find(sub.childText(QStringLiteral("search")), 5);
            QVERIFY(inSub.total > 0 && inSub.total <= bySearch.total);
            for (const ScannedStation &s : inSub.stations)
                QVERIFY2(s.location.startsWith(sub.childText(QStringLiteral("name"))),
                         qPrintable(s.location));
        }
    }
    QVERIFY(countries >= 40);
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
    QCOMPARE(m_upstream.requests, 0);

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
    QCOMPARE(m_upstream.requests, 1);
}

TUNORA_TEST_MAIN_CORE(TestDirectoryService)
#include "tst_directory_service.moc"
