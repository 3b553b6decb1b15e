// The directory service end to end: the tunora-directory executable on a random port over
// HTTPS with a test CA, driven with requests built as the player builds them, its replies read
// with a strict XML reader and with the player's own tag scanner. Built twice: against SQLite
// and (with TUNORA_TEST_POSTGRES) against a private PostgreSQL cluster.

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

QByteArray catalogueJson(const QList<QJsonObject> &stations)
{
    QJsonObject radios;
    int i = 0;
    for (const QJsonObject &s : stations)
        radios.insert(QStringLiteral("test-station-%1").arg(++i), s);
    QJsonObject root;
    root.insert(QStringLiteral("webradios"), radios);
    return QJsonDocument(root).toJson();
}

QJsonObject station(const QString &name, const QString &url, const QString &country,
                    const QStringList &genres)
{
    QJsonObject s;
    s.insert(QStringLiteral("Name"), name);
    s.insert(QStringLiteral("StreamUri"), url);
    s.insert(QStringLiteral("Country"), country);
    s.insert(QStringLiteral("Region"), QString());
    s.insert(QStringLiteral("Genre"), QJsonArray::fromStringList(genres));
    s.insert(QStringLiteral("Codec"), QStringLiteral("MP3"));
    s.insert(QStringLiteral("Bitrate"), 128);
    s.insert(QStringLiteral("Homepage"), QStringLiteral("http://example.org/"));
    return s;
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
    void lostPassword();
    void favoritesRoundTrip();
    void listenRecordsHistory();
    void searchPaging_data();
    void searchPaging();
    void genreTree();
    void regionTree();
    void bitrateFilter();
    void languagesAndTranslation();
    void messagesInListenerLanguage();
    void softwareVersion();
    void accountInfoAndLocation();
    void playingNow();
    void newsFeed();
    void songSearch();
    void markupInNames();

private:
    HttpResult get(const QString &address) { return m_http->get(address); }
    bool xml(const QString &address, XmlNode *root, QString *why);
    StatusReply status(const QString &address) { return readStatus(get(address).body); }
    bool createActivatedAccount(const QString &user, const QString &password, QString *why);
    PlayerAddresses addresses(const QString &user = QString(), const QString &password = QString()) const;

    std::unique_ptr<PostgresCluster> m_postgres;
    quint16 m_newsPort = 0;
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

bool TestDirectoryService::createActivatedAccount(const QString &user, const QString &password, QString *why)
{
    return signUpAndActivate(*m_http, m_service, user, password, why);
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
    QVERIFY(m_files.isValid());
    // A station with markup and entity-like text in its name, and one with two streams.
    QFile extra(m_files.filePath(QStringLiteral("extra.json")));
    QVERIFY(extra.open(QIODevice::WriteOnly));
    QJsonObject twoStreams =
        station(QStringLiteral("Twin Stream Radio"), QStringLiteral("http://twin.invalid/low.mp3"),
                QStringLiteral("France"), {QStringLiteral("Jazz")});
    QJsonObject alt;
    alt.insert(QStringLiteral("StreamUri"), QStringLiteral("http://twin.invalid/high.aac"));
    alt.insert(QStringLiteral("Codec"), QStringLiteral("AAC"));
    alt.insert(QStringLiteral("Bitrate"), 256);
    twoStreams.insert(QStringLiteral("alternativeStreams"), QJsonObject{{QStringLiteral("high"), alt}});
    extra.write(catalogueJson(
        {station(QStringLiteral("<b>Bold</b> & Co &lt;3"), QStringLiteral("http://bold.invalid/s"),
                 QStringLiteral("Germany"), {QStringLiteral("Pop")}),
         twoStreams}));
    extra.close();
    options.extraCatalogues << extra.fileName();
    options.settings.insert(QStringLiteral("software/version"), QStringLiteral("1.03"));
    options.settings.insert(QStringLiteral("software/comment"), QStringLiteral("Faster start. Fewer bugs."));
    options.settings.insert(QStringLiteral("software/file_location"),
                            QStringLiteral("https://example.org/setup"));
    options.settings.insert(
        QStringLiteral("covers/upstream"),
        QStringLiteral("http://127.0.0.1:%1/search?term={term}&entity=song").arg(m_upstream.port()));
    options.settings.insert(QStringLiteral("accounts/creation_limit"), QStringLiteral("100"));
    m_newsPort = freeTcpPort();
    options.settings.insert(QStringLiteral("service/news_http_port"), QString::number(m_newsPort));
    options.settings.insert(QStringLiteral("accounts/mail_limit"), QStringLiteral("100"));
    QVERIFY2(m_service.start(options), qPrintable(m_service.errorString()));
    m_http = std::make_unique<HttpsClient>(m_service.sslConfiguration());
    QString why;
    QVERIFY2(createActivatedAccount(m_user, m_password, &why), qPrintable(why));
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
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("path"); // element names from the root down to one that must exist
    QTest::newRow("search") << "search" << QStringList{QStringLiteral("results_total")};
    QTest::newRow("regions") << "regions" << QStringList{QStringLiteral("regions"), QStringLiteral("region")};
    QTest::newRow("genres") << "genres" << QStringList{QStringLiteral("genres"), QStringLiteral("genre")};
    QTest::newRow("favorites") << "favorites" << QStringList{QStringLiteral("stations")};
    QTest::newRow("history") << "history" << QStringList{QStringLiteral("stations")};
    QTest::newRow("languages") << "languages"
                               << QStringList{QStringLiteral("languages"), QStringLiteral("en")};
    QTest::newRow("software") << "software"
                              << QStringList{QStringLiteral("software"), QStringLiteral("version")};
    QTest::newRow("account info") << "info"
                                  << QStringList{QStringLiteral("account"), QStringLiteral("username")};
    QTest::newRow("check account") << "check" << QStringList{QStringLiteral("code")};
    QTest::newRow("playing now") << "playingnow" << QStringList{QStringLiteral("stations")};
    QTest::newRow("status") << "status" << QStringList{QStringLiteral("message")};
}

void TestDirectoryService::replyFormat()
{
    QFETCH(QString, command);
    QFETCH(QStringList, path);
    const PlayerAddresses a = addresses(m_user, m_password);
    const QMap<QString, QString> address{
        {QStringLiteral("search"), a.search(QStringLiteral("radio"), 0)},
        {QStringLiteral("regions"), a.regions()},
        {QStringLiteral("genres"), a.genres()},
        {QStringLiteral("favorites"), a.favorites()},
        {QStringLiteral("history"), a.history()},
        {QStringLiteral("languages"), a.languages()},
        {QStringLiteral("software"), a.softwareVersion()},
        {QStringLiteral("info"), a.accountInfo()},
        {QStringLiteral("check"), a.account()},
        {QStringLiteral("playingnow"), a.playingNow({QStringLiteral("1"), QStringLiteral("2")})},
        {QStringLiteral("status"), a.removeFavorite(QStringLiteral("1"))},
    };
    XmlNode root;
    QString why;
    QVERIFY2(xml(address.value(command), &root, &why), qPrintable(why));
    const XmlNode *node = &root;
    for (const QString &name : path) {
        node = node->child(name);
        QVERIFY2(node, qPrintable(QStringLiteral("no <%1>").arg(name)));
    }
}

void TestDirectoryService::accountLifecycle()
{
    const QString user = QStringLiteral("Lifecycle.User");
    const QString password = QStringLiteral("secret-lifecycle");
    const PlayerAddresses anon = addresses();
    const int before = int(m_service.mails().size());

    const StatusReply created =
        status(anon.createAccount(user, password, QStringLiteral("life@example.org")));
    QCOMPARE(created.code, 0);
    QVERIFY(created.message.contains(QStringLiteral("e-mail")));
    const QStringList mails = m_service.mails();
    QCOMPARE(mails.size(), before + 1);
    QVERIFY(mails.last().contains(QStringLiteral("To: life@example.org")));
    QVERIFY(!mails.last().contains(password));
    const QUrl firstLink = m_service.linkFromLastMail(QStringLiteral("/account/activate"));
    QCOMPARE(firstLink.host(), QStringLiteral("127.0.0.1"));
    QCOMPARE(firstLink.port(), int(m_service.port()));

    // Not activated yet: sign-in answers 2 and the account commands refuse.
    const StatusReply early = status(anon.signIn(user, password));
    QCOMPARE(early.code, 2);
    QVERIFY(early.message.contains(user));
    QCOMPARE(status(addresses(user, password).favorites()).code, 2);

    // The name is taken in any letter case.
    const StatusReply again =
        status(anon.createAccount(user.toUpper(), password, QStringLiteral("x@example.org")));
    QCOMPARE(again.code, 2);
    QVERIFY(again.message.contains(QStringLiteral("taken")));

    // A second activation mail; the first link stays good until one of them is used.
    const StatusReply resent = status(anon.resendValidation(user, password));
    QCOMPARE(resent.code, 0);
    QCOMPARE(m_service.mails().size(), before + 2);
    QCOMPARE(status(anon.resendValidation(user, QStringLiteral("wrong-password"))).code, 2);

    const HttpResult page = get(firstLink.toString(QUrl::FullyEncoded));
    QCOMPARE(page.status, 200);
    QVERIFY(page.contentType.startsWith("text/html"));
    QCOMPARE(status(anon.signIn(user, password)).code, 1);
    QCOMPARE(status(addresses(user, password).account()).code, 1);
    // Links work once.
    QCOMPARE(get(firstLink.toString(QUrl::FullyEncoded)).status, 404);
    QCOMPARE(get(m_service.linkFromLastMail(QStringLiteral("/account/activate")).toString(QUrl::FullyEncoded))
                 .status,
             404);
    QCOMPARE(status(anon.resendValidation(user, password)).code, 2);
}

void TestDirectoryService::signInAnswers_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("code");
    QTest::newRow("right") << "listener1"
                           << "p4ss word ÄÖ&=+" << 1;
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

void TestDirectoryService::lostPassword()
{
    const QString user = QStringLiteral("forgetful");
    QString why;
    QVERIFY2(createActivatedAccount(user, QStringLiteral("old-password"), &why), qPrintable(why));
    const PlayerAddresses anon = addresses();
    // Sign in once, so the old password sits in the verification cache.
    QCOMPARE(status(anon.signIn(user, QStringLiteral("old-password"))).code, 1);

    const int before = int(m_service.mails().size());
    const HttpResult known = get(anon.lostPassword(user));
    const HttpResult unknown = get(anon.lostPassword(QStringLiteral("not-a-member")));
    QCOMPARE(known.body, unknown.body);
    QCOMPARE(readStatus(known.body).code, 0);
    QCOMPARE(m_service.mails().size(), before + 1);
    QVERIFY(!m_service.mails().last().contains(QStringLiteral("old-password")));
    // By e-mail address too.
    QCOMPARE(readStatus(get(anon.lostPassword(user + QStringLiteral("@example.org"))).body).code, 0);
    QCOMPARE(m_service.mails().size(), before + 2);

    const QUrl link = m_service.linkFromLastMail(QStringLiteral("/account/reset"));
    const HttpResult form = get(link.toString(QUrl::FullyEncoded));
    QCOMPARE(form.status, 200);
    QVERIFY(form.body.contains("<form"));
    const QString token = QUrlQuery(link).queryItemValue(QStringLiteral("token"));
    const QString target = m_service.root().toString() + QStringLiteral("account/reset");
    const QByteArray mismatch = "token=" + token.toLatin1() + "&password=new+pass+1&password2=new+pass+2";
    QCOMPARE(m_http->post(target, mismatch, "application/x-www-form-urlencoded").status, 400);
    const QByteArray good =
        "token=" + token.toLatin1() + "&password=new+pass+%C3%A4&password2=new+pass+%C3%A4";
    QCOMPARE(m_http->post(target, good, "application/x-www-form-urlencoded").status, 200);
    // The reset link works once; the old password is gone even from the cache.
    QCOMPARE(m_http->post(target, good, "application/x-www-form-urlencoded").status, 400);
    QCOMPARE(status(anon.signIn(user, QStringLiteral("old-password"))).code, 0);
    QCOMPARE(status(anon.signIn(user, QStringLiteral("new pass ä"))).code, 1);
}

void TestDirectoryService::favoritesRoundTrip()
{
    const PlayerAddresses a = addresses(m_user, m_password);
    const ScannedStationList found = scanStationList(get(a.search(QStringLiteral("jazz"), 0, 3)).body);
    QVERIFY(found.stations.size() >= 2);
    const QString first = found.stations[0].id;
    const QString second = found.stations[1].id;

    QCOMPARE(status(a.addFavorite(first)).code, 0);
    QCOMPARE(status(a.addFavorite(second)).code, 0);
    QCOMPARE(status(a.addFavorite(second)).code, 0); // twice is still one favourite
    ScannedStationList favs = scanStationList(get(a.favorites()).body);
    QStringList ids;
    for (const ScannedStation &s : std::as_const(favs.stations)) {
        ids << s.id;
        QVERIFY(s.favorite);
        QVERIFY(!s.streams.isEmpty());
    }
    QCOMPARE(ids.size(), 2);
    QVERIFY(ids.contains(first) && ids.contains(second));

    // Searches mark them.
    const ScannedStationList marked = scanStationList(get(a.search(QStringLiteral("jazz"), 0, 3)).body);
    QVERIFY(marked.stations[0].favorite && marked.stations[1].favorite);

    QCOMPARE(status(a.removeFavorite(first)).code, 0);
    favs = scanStationList(get(a.favorites()).body);
    QCOMPARE(favs.stations.size(), 1);
    QCOMPARE(favs.stations[0].id, second);

    // Other listeners do not see them; anonymous requests get no list.
    QString why;
    QVERIFY2(createActivatedAccount(QStringLiteral("listener2"), QStringLiteral("other-password"), &why),
             qPrintable(why));
    QCOMPARE(
        scanStationList(
            get(addresses(QStringLiteral("listener2"), QStringLiteral("other-password")).favorites()).body)
            .stations.size(),
        0);
    QCOMPARE(status(addresses().favorites()).code, 2);
    QCOMPARE(status(a.addFavorite(QStringLiteral("999999999"))).code, 2);
    QCOMPARE(status(a.addFavorite(QStringLiteral("1 OR 1=1"))).code, 2);
}

void TestDirectoryService::listenRecordsHistory()
{
    QString why;
    const QString user = QStringLiteral("historian");
    QVERIFY2(createActivatedAccount(user, QStringLiteral("history-pass"), &why), qPrintable(why));
    const PlayerAddresses a = addresses(user, QStringLiteral("history-pass"));
    QCOMPARE(scanStationList(get(a.history()).body).stations.size(), 0);

    const ScannedStation life =
        scanStationList(get(a.search(QStringLiteral("Life Radio"), 0, 1)).body).stations.value(0);
    QCOMPARE(life.name, QStringLiteral("Life Radio"));
    const ScannedStation twin =
        scanStationList(get(a.search(QStringLiteral("Twin Stream"), 0, 1)).body).stations.value(0);
    QCOMPARE(twin.streams.size(), 2);
    const QString listen = life.streams.value(0).url;
    QCOMPARE(stationIdFromUrl(listen), life.id);
    QVERIFY(listen.contains(QStringLiteral("apitid=781")));
    QVERIFY(listen.contains(QStringLiteral("&t=")));
    QVERIFY(!listen.contains(QStringLiteral("history-pass")));

    const HttpResult pls = get(listen);
    QCOMPARE(pls.status, 200);
    QVERIFY(pls.contentType.startsWith("audio/x-scpls"));
    QVERIFY2(pls.body.startsWith("[playlist]"), pls.body.constData());
    QVERIFY(pls.body.contains("File1=http://stream1.liferadio.at\n"));
    QVERIFY(pls.body.contains("Title1=Life Radio\n"));

    // The second stream entry of a station puts its own stream first.
    const HttpResult second = get(twin.streams.value(1).url);
    QVERIFY(second.body.contains("File1=http://twin.invalid/high.aac\nTitle1=Twin Stream "
                                 "Radio\nLength1=-1\nFile2=http://twin.invalid/low.mp3"));

    ScannedStationList history = scanStationList(get(a.history()).body);
    QCOMPARE(history.stations.size(), 2);
    QCOMPARE(history.stations[0].id, twin.id); // newest first
    QCOMPARE(history.stations[1].id, life.id);
    get(listen);
    history = scanStationList(get(a.history()).body);
    QCOMPARE(history.stations[0].id, life.id);
    QCOMPARE(history.stations.size(), 2);

    // Without the listener's token, or with a made-up one, nothing is recorded.
    const QString anonymous = scanStationList(get(addresses().search(QStringLiteral("jazz"), 0, 1)).body)
                                  .stations.value(0)
                                  .streams.value(0)
                                  .url;
    QVERIFY(!anonymous.contains(QStringLiteral("&t=")));
    QCOMPARE(get(anonymous).status, 200);
    QString forged = anonymous + QStringLiteral("&t=0123456789abcdef0123456789abcdef");
    QCOMPARE(get(forged).status, 200);
    QCOMPARE(scanStationList(get(a.history()).body).stations.size(), 2);
    QCOMPARE(scanStationList(get(addresses(m_user, m_password).history()).body).stations.size(), 0);

    // Unknown stations have no playlist.
    QCOMPARE(get(m_service.root().toString() + QStringLiteral("stream/listen/987654321?apitid=781")).status,
             404);
}

void TestDirectoryService::searchPaging_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("some");
    QTest::newRow("word") << "radio" << true;
    QTest::newRow("prefix") << "jaz" << true;
    QTest::newRow("two words") << "jazz radio" << true;
    QTest::newRow("accent-free") << "Radio Universitaria" << true;
    QTest::newRow("genre term") << "gen:\"Jazz\"" << true;
    QTest::newRow("group genre term") << "gen:\"Electronic & Dance\"" << true;
    QTest::newRow("country code") << "DE" << true;
    QTest::newRow("country term") << "country:\"BR\"" << true;
    QTest::newRow("unknown genre") << "gen:\"No Such Genre\"" << false;
    QTest::newRow("nothing") << "zzqxv" << false;
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

void TestDirectoryService::genreTree()
{
    const HttpResult r = get(addresses().genres());
    // Walk the reply as the player does: tags in order, a genre announced when the list of
    // sub-genres that follows it ends.
    TagScanner scan(QString::fromUtf8(r.body));
    struct Top
    {
        QString name;
        QString description;
        QStringList subs;
    };
    QList<Top> tops;
    int depth = 0;
    QString tag;
    while (!(tag = scan.nextTag()).isEmpty()) {
        if (tag == QLatin1String("genres"))
            ++depth;
        else if (tag == QLatin1String("/genres"))
            --depth;
        else if (tag == QLatin1String("genre")) {
            const QString name = scan.find(QStringLiteral("name"));
            if (depth == 1)
                tops.append({name, QString(), {}});
            else if (depth == 2 && !tops.isEmpty())
                tops.last().subs << name;
        } else if (tag == QLatin1String("description") && depth == 1 && !tops.isEmpty()) {
            const QString rest = scan.rest();
            tops.last().description = rest.left(rest.indexOf(QLatin1Char('<')));
        }
    }
    QVERIFY(tops.size() >= 10);
    const PlayerAddresses a = addresses();
    for (const Top &t : std::as_const(tops)) {
        QVERIFY2(!t.description.isEmpty(), qPrintable(t.name));
        const quint32 all =
            scanStationList(get(a.search(QStringLiteral("gen:\"%1\"").arg(t.name), 0, 1)).body).total;
        QVERIFY2(all > 0, qPrintable(t.name));
        if (t.subs.isEmpty())
            continue;
        // A sub-genre's stations are among its top-level genre's.
        const quint32 sub =
            scanStationList(get(a.search(QStringLiteral("gen:\"%1\"").arg(t.subs.first()), 0, 1)).body).total;
        QVERIFY2(sub > 0 && sub <= all, qPrintable(t.subs.first()));
    }
}

void TestDirectoryService::regionTree()
{
    const HttpResult r = get(addresses().regions());
    TagScanner reply(QString::fromUtf8(r.body));
    int regions = 0, countries = 0, checked = 0;
    const PlayerAddresses a = addresses();
    for (;;) {
        const QString region = reply.find(QStringLiteral("region"));
        if (region.isEmpty())
            break;
        ++regions;
        TagScanner rs(region);
        QVERIFY(!rs.find(QStringLiteral("name")).isEmpty());
        TagScanner list(rs.find(QStringLiteral("countries")));
        for (;;) {
            const QString country = list.find(QStringLiteral("country"));
            if (country.isEmpty())
                break;
            ++countries;
            TagScanner cs(country);
            const QString name = cs.find(QStringLiteral("name"));
            const QString code = cs.find(QStringLiteral("code"));
            const QString search = cs.find(QStringLiteral("search"));
            QCOMPARE(code.size(), 2);
            if (checked < 3 || name == QLatin1String("Germany")) {
                ++checked;
                // The country's search term and its bare code both select its stations.
                const ScannedStationList bySearch = scanStationList(get(a.search(search, 0, 5)).body);
                QVERIFY2(bySearch.total > 0, qPrintable(search));
                for (const ScannedStation &s : bySearch.stations)
                    QCOMPARE(s.country, name);
                QCOMPARE(scanStationList(get(a.search(code, 0, 1)).body).total, bySearch.total);
                if (country.contains(QLatin1String("subsections"))) {
                    const QString sub = cs.find(QStringLiteral("subsection"));
                    TagScanner ss(sub);
                    const QString subName = ss.find(QStringLiteral("name"));
                    ss.find(QStringLiteral("code"));
                    const ScannedStationList inSub =
                        scanStationList(get(a.search(ss.find(QStringLiteral("search")), 0, 5)).body);
                    QVERIFY(inSub.total > 0 && inSub.total <= bySearch.total);
                    for (const ScannedStation &s : inSub.stations)
                        QVERIFY2(s.location.startsWith(subName), qPrintable(s.location));
                }
            }
        }
    }
    QVERIFY(regions >= 5);
    QVERIFY(countries >= 40);
}

void TestDirectoryService::bitrateFilter()
{
    PlayerAddresses a = addresses(m_user, m_password);
    const ScannedStationList all = scanStationList(get(a.search(QStringLiteral("Twin Stream"), 0, 5)).body);
    QCOMPARE(all.stations.value(0).streams.size(), 2);
    a.setBitrates(192, 0);
    const ScannedStationList high = scanStationList(get(a.search(QStringLiteral("Twin Stream"), 0, 5)).body);
    QCOMPARE(high.stations.value(0).streams.size(), 1);
    QCOMPARE(high.stations.value(0).streams.value(0).bitrate, 256u);
    QCOMPARE(high.stations.value(0).streams.value(0).type, QStringLiteral("mp4"));
    a.setBitrates(300, 320);
    QCOMPARE(scanStationList(get(a.search(QStringLiteral("Twin Stream"), 0, 5)).body).total, 0u);
}

void TestDirectoryService::languagesAndTranslation()
{
    PlayerAddresses a = addresses();
    // The player adds a language for each character data inside <languages>.
    QXmlStreamReader r(get(a.languages()).body);
    QStringList parents;
    QMap<QString, QString> languages;
    while (!r.atEnd()) {
        const auto t = r.readNext();
        if (t == QXmlStreamReader::StartElement)
            parents << r.name().toString();
        else if (t == QXmlStreamReader::EndElement)
            parents.removeLast();
        else if (t == QXmlStreamReader::Characters && parents.size() >= 2 &&
                 parents[parents.size() - 2] == QLatin1String("languages"))
            languages.insert(parents.last(), r.text().toString());
        else if (t == QXmlStreamReader::Characters && !parents.isEmpty() &&
                 parents.last() == QLatin1String("languages"))
            QFAIL("text directly inside <languages> would become a language");
    }
    QCOMPARE(languages.value(QStringLiteral("en")), QStringLiteral("English"));
    QCOMPARE(languages.value(QStringLiteral("de")), QStringLiteral("Deutsch"));

    a.setLanguage(QStringLiteral("en"), QStringLiteral("English"));
    const QString file =
        QString::fromUtf8(get(a.translation(QStringLiteral("Deutsch"), QStringLiteral("de"))).body);
    QVERIFY(file.contains(QStringLiteral("<string><text>Sign in</text><trans>Anmelden</trans></string>")));
    // Entries the player's scanner reads: text and trans, decoded.
    TagScanner entries(file);
    int count = 0;
    for (;;) {
        const QString e = entries.find(QStringLiteral("string"));
        if (e.isEmpty())
            break;
        TagScanner es(e);
        QVERIFY(!es.find(QStringLiteral("text")).isEmpty());
        QVERIFY(!es.find(QStringLiteral("trans")).isEmpty());
        ++count;
    }
    QVERIFY(count > 100);
    QCOMPARE(readStatus(get(a.translation(QStringLiteral("Klingon"), QStringLiteral("tlh"))).body).code, 2);
}

void TestDirectoryService::messagesInListenerLanguage()
{
    PlayerAddresses a = addresses();
    a.setLanguage(QStringLiteral("de"), QStringLiteral("Deutsch"));
    const StatusReply s =
        status(a.resendValidation(QStringLiteral("nobody-here"), QStringLiteral("whatever")));
    QCOMPARE(s.code, 2);
    QCOMPARE(s.message, QStringLiteral("Ungültiger Mitgliedsname oder ungültiges Passwort"));
}

void TestDirectoryService::softwareVersion()
{
    XmlNode root;
    QString why;
    QVERIFY2(xml(addresses().softwareVersion(), &root, &why), qPrintable(why));
    const XmlNode *s = root.child(QStringLiteral("software"));
    QVERIFY(s);
    const QStringList order{QStringLiteral("name"),          QStringLiteral("version"),
                            QStringLiteral("comment"),       QStringLiteral("comment_version"),
                            QStringLiteral("file_location"), QStringLiteral("file_size"),
                            QStringLiteral("file_mime")};
    QCOMPARE(s->children.size(), order.size());
    for (qsizetype i = 0; i < order.size(); ++i)
        QCOMPARE(s->children[i].name, order[i]);
    QCOMPARE(s->childText(QStringLiteral("version")), QStringLiteral("1.03"));
    QCOMPARE(s->childText(QStringLiteral("comment")), QStringLiteral("Faster start. Fewer bugs."));
    QCOMPARE(s->childText(QStringLiteral("file_location")), QStringLiteral("https://example.org/setup"));
}

void TestDirectoryService::accountInfoAndLocation()
{
    const PlayerAddresses a = addresses(m_user, m_password);
    QCOMPARE(status(a.setLocation(QStringLiteral("München, Germany"))).code, 0);
    TagScanner info(QString::fromUtf8(get(a.accountInfo()).body));
    QCOMPARE(info.find(QStringLiteral("username")), m_user);
    info.rewind();
    QCOMPARE(info.find(QStringLiteral("location_string")), QStringLiteral("München, Germany"));
    info.rewind();
    QCOMPARE(info.find(QStringLiteral("mail")), m_user + QStringLiteral("@example.org"));
    info.rewind();
    QCOMPARE(info.find(QStringLiteral("country_code")), QStringLiteral("DE"));
    info.rewind();
    QCOMPARE(info.find(QStringLiteral("country_name")), QStringLiteral("Germany"));
    QCOMPARE(status(addresses().accountInfo()).code, 2);
}

void TestDirectoryService::playingNow()
{
    const ScannedStationList found =
        scanStationList(get(addresses().search(QStringLiteral("radio"), 0, 3)).body);
    QVERIFY(found.stations.size() == 3);
    const QStringList ids{found.stations[2].id, QStringLiteral("987654321"), found.stations[0].id};
    TagScanner reply(QString::fromUtf8(get(addresses().playingNow(ids)).body));
    QStringList seen;
    for (;;) {
        const QString s = reply.find(QStringLiteral("station"));
        if (s.isEmpty())
            break;
        seen << TagScanner(s).find(QStringLiteral("station_id"));
        QVERIFY(s.contains(QLatin1String("<whatsplaying>")));
    }
    QCOMPARE(seen, (QStringList{found.stations[2].id, found.stations[0].id}));
}

void TestDirectoryService::newsFeed()
{
    QString out;
    QCOMPARE(m_service.runTool({QStringLiteral("news-add"), QStringLiteral("de"),
                                QStringLiteral("Neue Sender & mehr!"),
                                QStringLiteral("https://example.org/news/1")},
                               &out),
             0);
    auto items = [this](const QString &lang) {
        const HttpResult r = get(m_service.root().toString() +
                                 QStringLiteral("services/newsfeed/desktop/%1/rss.xml").arg(lang));
        QStringList titles;
        TagScanner feed(QString::fromUtf8(r.body));
        for (;;) {
            const QString item = feed.find(QStringLiteral("item"));
            if (item.isEmpty())
                break;
            titles << TagScanner(item).find(QStringLiteral("title"));
        }
        return titles;
    };
    const QStringList german = items(QStringLiteral("de"));
    QCOMPARE(german.value(0), QStringLiteral("Neue Sender & mehr!"));
    QVERIFY(german.contains(QStringLiteral("Willkommen im Tunora-Verzeichnis.")));
    // Languages without items fall back to English.
    QCOMPARE(items(QStringLiteral("fr")), QStringList{QStringLiteral("Welcome to the Tunora directory.")});
    QCOMPARE(get(m_service.root().toString() + QStringLiteral("services/newsfeed/desktop/../rss.xml")).status,
             404);
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

void TestDirectoryService::markupInNames()
{
    const ScannedStationList found =
        scanStationList(get(addresses().search(QStringLiteral("Bold Co"), 0, 5)).body);
    QCOMPARE(found.stations.size(), 1);
    // The player's scanner decodes twice and looks for tags inside decoded text; the name
    // reaches it whole, with the brackets and the entity-like text made harmless.
    QCOMPARE(found.stations[0].name, QStringLiteral("‹b›Bold‹/b› & Co ＆lt;3"));
    QCOMPARE(found.stations[0].streams.size(), 1);
}

TUNORA_TEST_MAIN_CORE(TestDirectoryService)
#include "tst_directory_service.moc"
