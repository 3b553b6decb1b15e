// The player's directory client (TunoraAPI) against the real directory service: what the client
// makes of each reply (records, signals, paging numbers, status fields, message boxes). Every test
// runs once per database (SQLite, private PostgreSQL cluster), both services started once with
// the small catalogue written here; a local Icecast mount in it gives the pollers a live title.

#include "appsettings.h"
#include "coverart.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "httpserver.h"
#include "icecast.h"
#include "playlist.h"
#include "postgres.h"
#include "rawapi.h"
#include "testca.h"
#include "testmain.h"
#include "tunoraapi.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QUrlQuery>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using namespace BASS;
using TunoraTest::DirectoryService;
using TunoraTest::HttpResponse;
using TunoraTest::HttpResult;
using TunoraTest::HttpServer;
using TunoraTest::IcecastServer;
using TunoraTest::PostgresCluster;

using Command = std::function<int(TunoraAPI &)>;
Q_DECLARE_METATYPE(Command)

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

// What the client announced for one station, copied while the signal ran.
struct StationSeen
{
    QString id, name;
    QString details; // web site|country|location|genres
    bool favorite = false;
    QString artist, song, currentUrl;
    QList<StationStream> streams;
};

StationSeen copyStation(const Station &s)
{
    StationSeen seen{s.id(),
                     s.name(),
                     QStringList{s.website(), s.country(), s.location(), s.genres()}.join(u'|'),
                     s.favorite(),
                     s.nowPlaying().artist(),
                     s.nowPlaying().title(),
                     s.currentStream().url,
                     {}};
    for (const StationStream *stream : s.streams())
        seen.streams.append(*stream);
    return seen;
}

// The end of one background request: its error flag (-1 while it has not ended) and every
// station it announced.
struct Outcome
{
    int id = 0;
    int error = -1;
    QList<StationSeen> stations;

    const StationSeen *find(const QString &id) const
    {
        for (const StationSeen &s : stations)
            if (s.id == id)
                return &s;
        return nullptr;
    }
    QStringList ids() const
    {
        QStringList out;
        for (const StationSeen &s : stations)
            out << s.id;
        return out;
    }
};

// Sends a background command and waits for its signal_requestFinished. A command that returns
// SentId stands for the id of the request it started (commands that answer with a flag).
constexpr int SentId = -1;

Outcome run(TunoraAPI &api, const Command &send)
{
    Outcome outcome;
    QObject guard;
    QObject::connect(&api, &BaseRadioAPI::signal_stationFound, &guard,
                     [&](const Station *station) { outcome.stations.append(copyStation(*station)); });
    int started = 0;
    QObject::connect(&api, &BaseRadioAPI::signal_requestStarted, &guard, [&](int id) { started = id; });
    QEventLoop loop;
    QObject::connect(&api, &BaseRadioAPI::signal_requestFinished, &guard, [&](int id, bool error) {
        if (id != 0 && id == outcome.id) {
            outcome.error = error ? 1 : 0;
            loop.quit();
        }
    });
    outcome.id = send(api);
    if (outcome.id == SentId)
        outcome.id = started;
    if (outcome.id == 0)
        return outcome;
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (outcome.error < 0)
        loop.exec();
    return outcome;
}

// One catalogue station from "name|genre|country|region|homepage|codec|bitrate".
QJsonObject catalogueStation(const QString &fields, const QString &url, const QJsonObject &alternatives)
{
    const QStringList f = fields.split(QLatin1Char('|'));
    return QJsonObject{{u("Name"), f[0]},
                       {u("Genre"), QJsonArray{f[1]}},
                       {u("Country"), f[2]},
                       {u("Region"), f[3]},
                       {u("Homepage"), f[4]},
                       {u("Codec"), f[5]},
                       {u("Bitrate"), f[6].toInt()},
                       {u("StreamUri"), url},
                       {u("alternativeStreams"), alternatives}};
}

// Stream addresses of catalogue stations that nobody plays: a closed port on this machine, so
// that the poller's visits fail at once and nothing leaves it.
QString deadStream(const QString &path)
{
    return u("http://127.0.0.1:1/") + path;
}

const char *LiveMount = "/contract.mp3";
const int PagingStations = 30;
// Failed sign-ins an account may have before it is locked for a while.
const int FailureLimit = 4;

} // namespace

// One database under test: its running service and what earlier tests learned from it.
struct Backend
{
    std::unique_ptr<DirectoryService> service;
    QString skipReason;
};

class TestContract : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::newRow("SQLite") << u("SQLite");
        QTest::newRow("PostgreSQL") << u("PostgreSQL");
    }

    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        const QString folder = TunoraTest::IsolatedHome::path() + u("/app");
        QVERIFY(QDir().mkpath(folder));
        AppSettings::setApplicationFolderOverride(folder);
        AppSettings::instance();

        // A live station for the poller, when Icecast is installed.
        QString liveUrl = deadStream(u("live"));
        if (IcecastServer::available()) {
            m_icecast = std::make_unique<IcecastServer>();
            QString error;
            QVERIFY2(m_icecast->start(&error), qPrintable(error));
            IcecastServer::Source source;
            source.mount = QLatin1String(LiveMount);
            source.name = u("Contract Live Radio");
            QVERIFY2(m_icecast->startSource(source, &error), qPrintable(error));
            QVERIFY2(m_icecast->setTitle(source.mount, u("Opening Artist - Opening Tune"), &error),
                     qPrintable(error));
            liveUrl = m_icecast->mountUrl(source.mount).toString();
        }
        // A small catalogue: texts that need escaping, several streams, a country with a
        // subsection, genres under a top-level genre with an ampersand, and enough look-alike
        // stations for two pages of results.
        QList<std::pair<QString, QString>> rows{
            {u("amp"),
             u("Rock & Roll \"Live\" Ärzte|Classic Rock|Germany|Bayern|http://rock.example/live|MP3|128")},
            {u("markup"), u("Tom <b>Jones</b> FM|Oldies|United Kingdom||https://tom.example/|MP3|128")},
            {u("entity"), u("Fish &amp; Chips &lt;3 Radio|Talk|United Kingdom|||MP3|64")},
            {u("cyrillic"), u("Радио Ёлка 日本 ♫|Hip-Hop|Russia||http://yolka.example/|AAC|64")},
            {u("rnb"), u("Smooth Groove R&B|R'n'B|France|||MP3|192")},
            {u("multi-128.mp3"), u("Multistream Radio|Jazz|Germany|Berlin|www.multi.example|MP3|128")},
            {u("live"), u("Contract Live Radio|Smooth Jazz|France||https://live.example/|MP3|128")}};
        for (int i = 1; i <= PagingStations; ++i)
            rows.append({u("paging%1").arg(i),
                         u("Pagingword Station %1|Pop|Austria|||MP3|128").arg(i, 2, 10, QLatin1Char('0'))});
        auto alternative = [](const char *file, const char *codec, int bitrate) {
            return QJsonObject{
                {u("StreamUri"), deadStream(u(file))}, {u("Codec"), u(codec)}, {u("Bitrate"), bitrate}};
        };
        QJsonObject stations;
        for (const auto &[key, fields] : rows) {
            const bool multi = key.startsWith(u("multi"));
            stations.insert(
                key, catalogueStation(fields, key == u("live") ? liveUrl : deadStream(key),
                                      multi ? QJsonObject{{u("a"), alternative("multi-48.aac", "AAC", 48)},
                                                          {u("b"), alternative("multi-96.ogg", "OGG", 96)}}
                                            : QJsonObject()));
        }
        const QString catalogue = m_files.filePath(u("contract.json"));
        QFile file(catalogue);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(QJsonObject{{u("webradios"), stations}}).toJson(QJsonDocument::Compact));
        file.close();

        m_options.importCatalogue = false;
        m_options.extraCatalogues << catalogue;
        m_options.poller = m_icecast != nullptr;
        m_options.pollIntervalSeconds = 1;
        // The account limit is low enough for one test to reach it and above the three failed
        // sign-ins the listener spends elsewhere; the limits per address, on creations and on mails
        // must not get in the way.
        m_options.settings = {
            {u("accounts/account_failure_limit"), QString::number(FailureLimit)},
            {u("accounts/address_failure_limit"), u("1000")},
            {u("accounts/creation_limit"), u("1000")},
            {u("accounts/mail_limit"), u("1000")},
            {u("software/version"), u("1.03")},
            {u("software/comment"), u("Faster search. Fewer stalls.")},
            {u("software/comment_version"), u("1.03 beta")},
            {u("software/file_location"), u("https://downloads.example/TunoraDE-1.03.tar.xz")},
            {u("software/file_size"), u("4242424")},
            {u("software/file_mime"), u("application/x-xz")}};
        // Search results may be reused for this long; a song that ended has to leave them after it.
        m_options.settings.insert(u("service/search_cache_seconds"), u("2"));
        // A stand-in for the upstream song search: one result built from the search term, with a
        // field the service must not pass on.
        m_upstream.setHandler([](const TunoraTest::HttpRequest &request) {
            const QJsonObject result{
                {u("artistName"), u("Upstream Artist")},
                {u("trackName"), request.query().queryItemValue(u("term"), QUrl::FullyDecoded)},
                {u("injected"), u("<script>")}};
            return HttpResponse::ok(
                QJsonDocument(QJsonObject{{u("resultCount"), 1}, {u("results"), QJsonArray{result}}})
                    .toJson(),
                "application/json");
        });
        QVERIFY(m_upstream.listen());
        m_options.settings.insert(u("covers/upstream"), m_upstream.url(u("/search?term={term}&entity=song")));
        QFile covers(m_files.filePath(u("covers.json")));
        QVERIFY(covers.open(QIODevice::WriteOnly));
        const QJsonObject song{{u("artistName"), u("Local Artist")},
                               {u("trackName"), u("Local Song")},
                               {u("collectionCensoredName"), u("Local Album")},
                               {u("artworkUrl100"), u("http://c.invalid/100.jpg")},
                               {u("artworkUrl170"), u("http://c.invalid/170.jpg")},
                               {u("primaryGenreName"), u("Pop")}};
        covers.write(QJsonDocument(QJsonObject{{u("results"), QJsonArray{song}}}).toJson());
        covers.close();

        QHttpExt::settings().messageHook = [this](MessageKind, const QString &, const QString &text,
                                                  QMessageBox::StandardButtons) {
            m_boxes << text;
            return int(QMessageBox::Ok);
        };

        QString error;
        QVERIFY2(startBackend(u("SQLite"), DirectoryService::Backend::SQLite, &error), qPrintable(error));
        if (PostgresCluster::available()) {
            m_postgres = std::make_unique<PostgresCluster>();
            QVERIFY2(m_postgres->start(&error), qPrintable(error));
            m_options.postgres = m_postgres.get();
            QVERIFY2(startBackend(u("PostgreSQL"), DirectoryService::Backend::PostgreSQL, &error),
                     qPrintable(error));
        } else {
            m_backends[u("PostgreSQL")].skipReason = u("PostgreSQL is not installed");
        }
        m_backend = nullptr;
    }

    void cleanupTestCase()
    {
        QHttpExt::settings().messageHook = nullptr;
        for (auto &[name, backend] : m_backends) {
            if (!backend.service)
                continue;
            if (backend.service->isRunning()) {
                // Passwords travel in request addresses; the service must never write them down.
                const QString output = backend.service->output();
                QVERIFY2(!output.contains(m_password), qPrintable(output));
                QVERIFY2(backend.service->stop(), qPrintable(backend.service->errorString()));
            }
        }
        if (m_icecast)
            m_icecast->stop();
        if (m_postgres)
            m_postgres->stop();
    }

    void init()
    {
        QFETCH_GLOBAL(QString, backend);
        m_backend = &m_backends[backend];
        if (!m_backend->service)
            QSKIP(qPrintable(m_backend->skipReason));
        useBackend(*m_backend);
        useListener();
        AppSettings::instance().setMinBitrate(0);
        AppSettings::instance().setMaxBitrate(0);
        m_boxes.clear();
    }

    void cleanup() { setLanguage(QString(), QString()); }

    void accountLifecycle()
    {
        AppSettings::instance().setCredentials(QString(), QString());
        const QString user = u("Neuling_7");
        const QString password = u("Zebra & Kaffee ☕");
        const QString mail = u("neuling@example.org");
        TunoraAPI api;

        const qsizetype before = service().mails().size();
        QVERIFY(api.createAccount(user, password, mail));
        QVERIFY2(api.lastStatus() < 1, qPrintable(api.lastMessage())); // "below 1" means created
        QVERIFY(!api.lastMessage().isEmpty());
        QCOMPARE(service().mails().size(), before + 1);
        QVERIFY(service().mails().last().contains(u("To: ") + mail));
        QVERIFY(!service().mails().last().contains(password));
        const QUrl firstLink = service().linkFromLastMail(u("/account/activate"));

        // Not activated yet: the sign-in says 2 with the member's name and shows no box of its own.
        const Outcome early = run(api, [&](TunoraAPI &a) { return a.signIn(user, password); });
        QCOMPARE(early.error, 0);
        QCOMPARE(api.lastStatus(), 2);
        QVERIFY2(api.lastMessage().contains(user), qPrintable(api.lastMessage()));
        AppSettings::instance().setCredentials(user, password);
        QVERIFY(api.checkAccount());
        QCOMPARE(api.lastStatus(), 2);

        QVERIFY(api.resendValidation(user, password));
        QCOMPARE(api.lastStatus(), 0);
        QCOMPARE(api.lastMessage(), u("Email sent"));
        QCOMPARE(service().mails().size(), before + 2);

        // The first link stays good until one of them is used; then neither works again.
        const QUrl link = service().linkFromLastMail(u("/account/activate"));
        QCOMPARE(firstLink.host(), u("127.0.0.1"));
        QCOMPARE(firstLink.port(), int(service().port()));
        QCOMPARE(fetch(firstLink.toString(QUrl::FullyEncoded)).status, 200);
        QCOMPARE(fetch(firstLink.toString(QUrl::FullyEncoded)).status, 404);
        QCOMPARE(fetch(link.toString(QUrl::FullyEncoded)).status, 404);

        // Member names are the same in any letter case.
        const Outcome signedIn = run(api, [&](TunoraAPI &a) { return a.signIn(user.toUpper(), password); });
        QCOMPARE(signedIn.error, 0);
        QCOMPARE(api.lastStatus(), 1);
        QVERIFY(api.checkAccount());
        QCOMPARE(api.lastStatus(), 1);
        const Outcome favorites = run(api, [](TunoraAPI &a) { return a.requestFavorites(); });
        QCOMPARE(favorites.error, 0);
        QCOMPARE(favorites.stations.size(), 0);

        // The name is taken now (in any letter case), and the account needs no second activation.
        QVERIFY(api.createAccount(user.toLower(), u("another password"), u("other@example.org")));
        QCOMPARE(api.lastStatus(), 2);
        QVERIFY2(api.lastMessage().contains(u("already")), qPrintable(api.lastMessage()));
        QVERIFY(api.resendValidation(user, password));
        QCOMPARE(api.lastStatus(), 2);
        QCOMPARE(service().mails().size(), before + 2);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(u("\n"))));
    }

    void accountRefused_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("mail");
        QTest::addColumn<QString>("message");

        const QString badName = u("Member names have 3 to 32 letters or digits, and may also contain . - _");
        QTest::newRow("name too long")
            << QString(33, QLatin1Char('n')) << u("secret123") << u("n@example.org") << badName;
        QTest::newRow("password too short") << u("Short_Pass") << u("12345") << u("s@example.org")
                                            << u("Passwords have at least 6 characters");
        QTest::newRow("mail without a domain")
            << u("No_Domain") << u("secret123") << u("not-a-mail") << u("The e-mail address is not valid");
    }

    void accountRefused()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, mail);
        QFETCH(QString, message);
        AppSettings::instance().setCredentials(QString(), QString());
        TunoraAPI api;
        const qsizetype before = service().mails().size();
        QVERIFY(api.createAccount(user, password, mail));
        QCOMPARE(api.lastStatus(), 2);
        QCOMPARE(api.lastMessage(), message);
        // Nothing was created: every account creation sends its activation mail.
        QCOMPARE(service().mails().size(), before);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(u("\n"))));
    }

    void failedSignInsLookAlike_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<int>("expectedStatus");

        // Each command is sent for the listener with a wrong password and for a name nobody has
        // (signing in: rateLimitLooksAlike).
        QTest::newRow("check account")
            << Command([](TunoraAPI &api) { return api.checkAccount() ? 1 : 0; }) << 0;
        QTest::newRow("resend validation") << Command([](TunoraAPI &api) {
            return api.resendValidation(AppSettings::instance().memberName(), u("not the password")) ? 1 : 0;
        }) << 2;
        // The mail goes to the member only (the service suite follows the reset link).
        QTest::newRow("lost password") << Command([](TunoraAPI &api) {
            return api.lostPassword(AppSettings::instance().memberName()) ? 1 : 0;
        }) << 0;
    }

    void failedSignInsLookAlike()
    {
        QFETCH(Command, command);
        QFETCH(int, expectedStatus);

        QList<QPair<int, QString>> answers;
        for (const QString &user : {m_user, u("nobody_has_this_name")}) {
            AppSettings::instance().setCredentials(user, u("not the password"));
            TunoraAPI api;
            QCOMPARE(command(api), 1);
            answers.append({api.lastStatus(), api.lastMessage()});
        }
        QCOMPARE(answers[0].first, expectedStatus);
        QVERIFY(!answers[0].second.isEmpty());
        QCOMPARE(answers[1], answers[0]);
        // Sign-in answers are the dialog's to show.
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(u("\n"))));
    }

    void rateLimitLooksAlike()
    {
        const QString password = u("right password 1");
        QString why;
        QVERIFY2(signUp(u("locked_out"), password, &why), qPrintable(why));

        // The same sequence for an account and for a name nobody has: wrong passwords until the
        // limit, then the right one (for the account) and a command that needs the account.
        QList<QStringList> answers;
        for (const QString &user : {u("locked_out"), u("nobody_locked_out")}) {
            QStringList seen;
            TunoraAPI api;
            for (int i = 0; i < FailureLimit; ++i) {
                QCOMPARE(run(api, [&](TunoraAPI &a) { return a.signIn(user, u("wrong %1").arg(i)); }).error,
                         0);
                seen << u("%1 %2").arg(api.lastStatus()).arg(api.lastMessage());
            }
            QCOMPARE(run(api, [&](TunoraAPI &a) { return a.signIn(user, password); }).error, 0);
            seen << u("%1 %2").arg(api.lastStatus()).arg(api.lastMessage());
            AppSettings::instance().setCredentials(user, password);
            m_boxes.clear();
            const Outcome favorites = run(api, [](TunoraAPI &a) { return a.requestFavorites(); });
            QCOMPARE(favorites.error, 0);
            QCOMPARE(favorites.stations.size(), 0);
            QTRY_COMPARE(m_boxes.size(), 1);
            seen << m_boxes;
            answers << seen;
        }
        const QString invalid = u("0 Invalid member name or password");
        const QString limited = u("Too many failed attempts, please try again in a few minutes");
        QStringList expected(FailureLimit, invalid);
        expected << u("0 ") + limited << limited;
        QCOMPARE(answers[0], expected);
        QCOMPARE(answers[1], answers[0]);
    }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("total");         // -1: no more than the page shows
        QTest::addColumn<QStringList>("names"); // found among them

        QTest::newRow("last page") << u("pagingword") << 1 << PagingStations << QStringList();
        QTest::newRow("prefixes of two words") << u("PAGINGW stat") << 0 << PagingStations << QStringList();
        QTest::newRow("every word required")
            << u("pagingword 17") << 0 << 1 << QStringList{u("Pagingword Station 17")};
        // What listeners type reaches the full-text search as words, never as its query syntax.
        QTest::newRow("ampersand inside a word")
            << u("R&B") << 0 << -1 << QStringList{u("Smooth Groove R&B")};
        QTest::newRow("capital umlaut")
            << u("ÄRZTE") << 0 << -1 << QStringList{u("Rock & Roll \"Live\" Ärzte")};
        QTest::newRow("unbalanced quote")
            << u("\"live") << 0 << -1
            << QStringList{u("Contract Live Radio"), u("Rock & Roll \"Live\" Ärzte")};
        QTest::newRow("star") << u("multi*") << 0 << -1 << QStringList{u("Multistream Radio")};
        QTest::newRow("operator words") << u("multistream OR AND NOT NEAR") << 0 << 0 << QStringList();
        QTest::newRow("column filter") << u("name:multistream") << 0 << 0 << QStringList();
        QTest::newRow("SQL") << u("'; DROP TABLE stations; --") << 0 << 0 << QStringList();
        QTest::newRow("LIKE wildcards") << u("%_%") << 0 << 0 << QStringList();
        QTest::newRow("country term with a quote") << u("country:\"D") << 0 << 0 << QStringList();
    }

    void search()
    {
        QFETCH(QString, text);
        QFETCH(int, page);
        QFETCH(int, total);
        QFETCH(QStringList, names);
        TunoraAPI api;
        const Outcome o = run(api, [&](TunoraAPI &a) { return a.search(text, page) ? SentId : 0; });
        QCOMPARE(o.error, 0);
        if (total < 0)
            total = int(o.stations.size());
        QCOMPARE(api.resultsTotal(), total);
        QCOMPARE(int(o.stations.size()), qMin(TunoraAPI::PageSize, total - page * TunoraAPI::PageSize));
        QStringList found;
        for (const StationSeen &s : o.stations)
            found << s.name;
        for (const QString &name : std::as_const(names))
            QVERIFY2(found.contains(name), qPrintable(found.join(u(" | "))));
        QTest::qWait(0);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(u("\n"))));
        // The catalogue is still whole.
        int all = 0;
        QCOMPARE(namesFound(u("pagingword"), &all).size(), TunoraAPI::PageSize);
        QCOMPARE(all, PagingStations);
    }

    void stationRecord_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("details");        // web site|country|location|genres
        QTest::addColumn<QList<quint32>>("streams"); // format and bit rate of each, in order

        // Names as the listener sees them: an ampersand stays an ampersand, quotes and letters of
        // any script pass unchanged; angle brackets and entity-looking text arrive as look-alike
        // characters so that no text can ever be read as markup.
        QTest::newRow("ampersand, quotes, umlaut")
            << u("ärzte") << u("Rock & Roll \"Live\" Ärzte")
            << u("rock.example/live|Germany|Bayern, Germany|Classic Rock") << QList<quint32>{FormatMP3, 128};
        QTest::newRow("angle brackets") << u("jones") << u("Tom ‹b›Jones‹/b› FM")
                                        << u("https://tom.example/|United Kingdom|United Kingdom|Oldies")
                                        << QList<quint32>{FormatMP3, 128};
        QTest::newRow("three streams in catalogue order")
            << u("multistream") << u("Multistream Radio")
            << u("www.multi.example|Germany|Berlin, Germany|Jazz")
            << QList<quint32>{FormatMP3, 128, FormatAAC, 48, FormatOGG, 96};
    }

    void stationRecord()
    {
        QFETCH(QString, search);
        QFETCH(QString, name);

        const StationSeen s = stationNamed(search, name);
        QVERIFY(!s.id.isEmpty());
        QTEST(s.details, "details");
        QVERIFY(!s.favorite);
        QList<quint32> streams;
        for (const StationStream &stream : s.streams) {
            streams << stream.format << stream.bitrate;
            // Every entry is the service's listen address of this station, never the stream itself.
            const QUrl url(stream.url);
            QCOMPARE(url.scheme(), u("https"));
            QCOMPARE(url.port(), int(service().port()));
            QCOMPARE(QUrlQuery(url).queryItemValue(u("station_id")), s.id);
            QCOMPARE(QUrlQuery(url).queryItemValue(u("apitid")), u("781"));
            QVERIFY(!stream.url.contains(u("wörd")) && !stream.url.contains(u("w%C3%B6rd")));
        }
        QTEST(streams, "streams");
        QCOMPARE(s.currentUrl, s.streams.value(0).url);
    }

    void browseLists()
    {
        TunoraAPI api;
        QList<WorldRegion> regions;
        QList<Genre> genres;
        connect(&api, &BaseRadioAPI::signal_regionFound, this,
                [&](const WorldRegion *r) { regions.append(*r); });
        connect(&api, &BaseRadioAPI::signal_genreFound, this, [&](const Genre *g) { genres.append(*g); });
        QCOMPARE(run(api, [](TunoraAPI &a) { return a.requestRegions(); }).error, 0);
        QCOMPARE(run(api, [](TunoraAPI &a) { return a.requestGenres(); }).error, 0);
        // What each entry's search term finds (the first page of names, and the total), by path.
        QMap<QString, std::pair<QStringList, int>> entries;
        int inCountries = 0, inGenres = 0;
        auto add = [&](const QString &path, const QString &term, const QString &parent, int *sum) {
            int total = 0;
            const QStringList names = namesFound(term, &total);
            entries.insert(path, {names, total});
            // Only entries with stations are listed, and a part never holds more than its whole.
            QVERIFY2(total > 0 && (parent.isEmpty() || total <= entries.value(parent).second),
                     qPrintable(path));
            if (sum)
                *sum += total;
        };
        static const QRegularExpression letterCode(u("^[A-Z]{2}(-[A-Z]+)?$"));
        for (const WorldRegion &r : std::as_const(regions)) {
            for (const Country *c : r.countries()) {
                QVERIFY2(letterCode.match(c->code()).hasMatch(),
                         qPrintable(c->code())); // never a database key
                add(c->name(), c->search(), QString(), &inCountries);
                for (const Country *sub : c->subsections()) {
                    QVERIFY2(letterCode.match(sub->code()).hasMatch(), qPrintable(sub->code()));
                    add(c->name() + u("/") + sub->name(), sub->search(), c->name(), nullptr);
                }
            }
        }
        for (const Genre &g : std::as_const(genres)) {
            add(g.name(), g.search(), QString(), &inGenres);
            for (const Genre *sub : g.subgenres() ? g.subgenres()->values() : QList<Genre *>())
                add(g.name() + u("/") + sub->name(), sub->search(), g.name(), nullptr);
        }
        // Each station is in one country and under one top-level genre, which takes in the stations
        // of its sub-genres; the catalogue's tags are sub-genres.
        const int stations = PagingStations + 7; // the look-alikes and the seven named ones
        QCOMPARE(inCountries, stations);
        QCOMPARE(inGenres, stations);
        const QString rock = u("Rock & Roll \"Live\" Ärzte"), rnb = u("Smooth Groove R&B");
        QCOMPARE(entries.value(u("Germany/Bayern")).first, QStringList{rock});
        QCOMPARE(entries.value(u("Rock/Classic Rock")).first, QStringList{rock});
        QCOMPARE(entries.value(u("Hip-Hop & R&B")).first, (QStringList{rnb, u("Радио Ёлка 日本 ♫")}));
        QCOMPARE(entries.value(u("Hip-Hop & R&B/R'n'B")).first, QStringList{rnb});
        QCOMPARE(entries.value(u("Austria")).second, PagingStations);
        QVERIFY(m_boxes.isEmpty());
    }

    void favoritesRoundTrip()
    {
        const QString first = stationNamed(u("ärzte"), u("Rock & Roll \"Live\" Ärzte")).id;
        const QString second = stationNamed(u("multistream"), u("Multistream Radio")).id;
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        TunoraAPI api;
        QSignalSpy started(&api, &BaseRadioAPI::signal_requestStarted);

        for (const QString &id : {first, second, second}) {
            const Outcome added = run(api, [&](TunoraAPI &a) { return a.addFavorite(id); });
            QCOMPARE(added.error, 0);
            QCOMPARE(api.lastStatus(), 0);
            QCOMPARE(api.lastMessage(), u("Favorite added"));
        }
        Outcome favorites = run(api, [](TunoraAPI &a) { return a.requestFavorites(); });
        QCOMPARE(favorites.error, 0);
        QCOMPARE(favorites.stations.size(), 2); // adding twice keeps one entry
        for (const QString &id : {first, second}) {
            QVERIFY(favorites.find(id));
            QVERIFY(favorites.find(id)->favorite);
            QVERIFY(!favorites.find(id)->streams.isEmpty());
        }
        // Another member (accountLifecycle's) sees none of them.
        AppSettings::instance().setCredentials(u("Neuling_7"), u("Zebra & Kaffee ☕"));
        QCOMPARE(run(api, [](TunoraAPI &a) { return a.requestFavorites(); }).stations.size(), 0);
        useListener();
        // Searches mark favourites too.
        QVERIFY(stationNamed(u("multistream"), u("Multistream Radio")).favorite);
        // The bitrate limits of the settings thin out the streams but never hide one of the
        // listener's favourites.
        AppSettings::instance().setMinBitrate(64);
        AppSettings::instance().setMaxBitrate(100);
        favorites = run(api, [](TunoraAPI &a) { return a.requestFavorites(); });
        AppSettings::instance().setMinBitrate(0);
        AppSettings::instance().setMaxBitrate(0);
        QCOMPARE(favorites.stations.size(), 2);
        QVERIFY(favorites.find(first) && favorites.find(second));
        QCOMPARE(favorites.find(first)->streams.size(), 0);
        QCOMPARE(favorites.find(second)->streams.size(), 1);
        QCOMPARE(favorites.find(second)->streams[0].bitrate, 96u);

        const Outcome removed = run(api, [&](TunoraAPI &a) { return a.removeFavorite(first); });
        QCOMPARE(removed.error, 0);
        QCOMPARE(api.lastStatus(), 0);
        favorites = run(api, [](TunoraAPI &a) { return a.requestFavorites(); });
        QCOMPARE(favorites.ids(), QStringList{second});
        QVERIFY(!stationNamed(u("ärzte"), u("Rock & Roll \"Live\" Ärzte")).favorite);
        run(api, [&](TunoraAPI &a) { return a.removeFavorite(second); });
        QCOMPARE(started.size(), 9);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(u("\n"))));
    }

    void listenAddressRecordsHistory()
    {
        const StationSeen multi = stationNamed(u("multistream"), u("Multistream Radio"));
        const StationSeen rock = stationNamed(u("ärzte"), u("Rock & Roll \"Live\" Ärzte"));
        QCOMPARE(multi.streams.size(), 3);
        QVERIFY(!rock.streams.isEmpty());

        // The second entry of a station: a playlist of its real streams, the chosen one first.
        const HttpResult pls = fetch(multi.streams[1].url);
        QCOMPARE(pls.status, 200);
        // Read as the player's engine reads what a station address answers.
        const std::string_view text(pls.body.constData(), size_t(pls.body.size()));
        QVERIFY2(tunora::audio::looksLikePlaylist(text), pls.body.constData());
        std::vector<std::string> addresses;
        QCOMPARE(tunora::audio::ReadPlaylist(text, addresses), size_t(3));
        QCOMPARE(addresses, (std::vector<std::string>{deadStream(u("multi-48.aac")).toStdString(),
                                                      deadStream(u("multi-128.mp3")).toStdString(),
                                                      deadStream(u("multi-96.ogg")).toStdString()}));
        QCOMPARE(fetch(rock.streams[0].url).status, 200);

        TunoraAPI api;
        Outcome history = run(api, [](TunoraAPI &a) { return a.requestHistory(); });
        QCOMPARE(history.error, 0);
        QVERIFY(history.stations.size() >= 2);
        QCOMPARE(history.stations[0].id, rock.id); // newest first
        QCOMPARE(history.stations[1].id, multi.id);

        // The modal variant reads the same list.
        QList<QString> modalIds;
        connect(&api, &BaseRadioAPI::signal_stationFound, this,
                [&](const Station *s) { modalIds << s->id(); });
        QVERIFY(api.requestHistoryModal());
        QCOMPARE(modalIds, history.ids());

        // Listening again moves the station to the front without a second entry.
        QCOMPARE(fetch(multi.streams[0].url).status, 200);
        history = run(api, [](TunoraAPI &a) { return a.requestHistory(true); });
        QCOMPARE(history.stations.value(0).id, multi.id);
        QCOMPARE(history.ids().count(multi.id), 1);

        // A listener without an account gets addresses without a token; listening there records
        // nothing in anybody's history.
        AppSettings::instance().setCredentials(QString(), QString());
        const StationSeen anonymous = stationNamed(u("ärzte"), u("Rock & Roll \"Live\" Ärzte"));
        QVERIFY(!anonymous.streams.value(0).url.contains(u("&t=")));
        QCOMPARE(fetch(anonymous.streams.value(0).url).status, 200);
        QCOMPARE(fetch(anonymous.streams.value(0).url + u("&t=0123456789abcdef0123456789abcdef")).status,
                 200);
        useListener();
        history = run(api, [](TunoraAPI &a) { return a.requestHistory(); });
        QCOMPARE(history.stations.value(0).id, multi.id);

        QVERIFY(m_boxes.isEmpty());
    }

    void errorReplies_data()
    {
        // Who sends: "listener", "listener in German", "anonymous" or "stranger" (a name nobody has;
        // the listener's own failed sign-ins would count towards the rate limit).
        QTest::addColumn<QString>("who");
        QTest::addColumn<Command>("command");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("message");

        // Addresses the player builds, bent where the player itself never would.
        using Build = std::function<QString(TunoraAPI &)>;
        auto bent = [](Build build, quint32 type, const QString &from, const QString &to) {
            return Command([=](TunoraAPI &api) {
                QString address = build(api);
                if (!address.contains(from))
                    return 0; // the address no longer has that part: nothing to bend
                return api.send(address.replace(from, to), type);
            });
        };
        auto searchFor = [](const QString &text) {
            return Command([=](TunoraAPI &api) { return api.searchStations(text, 0); });
        };
        const QString key = QLatin1String(TunoraAPI::ApiKey);
        const QString invalid = u("Invalid request");
        const QString listener = u("listener");
        const Command addUnknown = [](TunoraAPI &api) { return api.addFavorite(u("999999999")); };

        QTest::newRow("favourites without an account")
            << u("anonymous") << Command([](TunoraAPI &api) { return api.requestFavorites(); }) << true
            << u("Please sign in first");
        QTest::newRow("history for a name nobody has")
            << u("stranger") << Command([](TunoraAPI &api) { return api.requestHistory(); }) << true
            << u("Invalid member name or password");
        QTest::newRow("unknown station") << listener << addUnknown << true << u("Station not found");
        QTest::newRow("in the listener's language")
            << u("listener in German") << addUnknown << true << u("Sender nicht gefunden");
        QTest::newRow("wrong API key")
            << listener
            << bent(&TunoraAPI::favoritesAddress, BaseRadioAPI::TypeFavorites, key, u("Zz") + key.mid(2))
            << true << u("Invalid API key");
        QTest::newRow("search text too long") << listener << searchFor(QString(300, QLatin1Char('x'))) << true
                                              << u("The search text is too long");
        QTest::newRow("control character in the search text")
            << listener << searchFor(u("paging\x01word")) << true << invalid;
        QTest::newRow("unknown directory")
            << listener
            << bent(&TunoraAPI::regionsAddress, BaseRadioAPI::TypeRegions, u("dir=geo"), u("dir=planets"))
            << true << u("Unknown command");
        // The caller of "playing now" deals with its failures: no message box.
        QTest::newRow("playing now with a hostile id") << listener << Command([](TunoraAPI &api) {
            return api.playingNow({u("1"), u("2 UNION SELECT password")});
        }) << false << invalid;
    }

    void errorReplies()
    {
        QFETCH(QString, who);
        QFETCH(Command, command);
        QFETCH(bool, shown);
        QFETCH(QString, message);
        if (who == u("anonymous"))
            AppSettings::instance().setCredentials(QString(), QString());
        else if (who == u("stranger"))
            AppSettings::instance().setCredentials(u("nobody_has_this_name"), u("wrong"));
        else if (who == u("listener in German"))
            setLanguage(u("de"), u("Deutsch"));

        TunoraAPI api;
        const Outcome o = run(api, command);
        QVERIFY(o.id != 0);
        // An error reply is a complete reply: the request ends normally, with the service's message
        // shown to the listener once, as plain text.
        QCOMPARE(o.error, 0);
        QCOMPARE(o.stations.size(), 0);
        QCOMPARE(api.lastError(), message.toHtmlEscaped());
        if (shown)
            QTRY_COMPARE(m_boxes, QStringList{message.toHtmlEscaped()});
        QTest::qWait(0);
        QCOMPARE(m_boxes.size(), shown ? 1 : 0);
        QCOMPARE(api.resultsTotal(), 0);
    }

    void certificateOfAnotherAuthority()
    {
        TunoraTest::TestCa otherCa(u("Another Test CA"));
        QVERIFY2(otherCa.isValid(), qPrintable(otherCa.error()));
        AppSettings::instance().setCaFile(otherCa.caFile());
        TunoraAPI api;

        // A transfer that fails ends the request with its error flag and the client's text for it.
        const Outcome o = run(api, [](TunoraAPI &a) { return a.requestGenres(); });
        QCOMPARE(o.error, 1);
        const QString text =
            QHttpExt::networkErrorText(QNetworkReply::SslHandshakeFailedError).toHtmlEscaped();
        QCOMPARE(api.lastError(), text);
        QTRY_COMPARE(m_boxes, QStringList{text});

        // A modal command says no and shows the same text.
        m_boxes.clear();
        QVERIFY(!api.requestLanguagesModal());
        QTRY_VERIFY(!m_boxes.isEmpty());
        QVERIFY2(m_boxes.constFirst().contains(text), qPrintable(m_boxes.join(u("\n"))));
    }

    void homeLocationNames()
    {
        TunoraAPI api;
        const AccountDetails &details = TunoraAPI::accountDetails();
        // A country the catalogue does not know is kept as typed, without a country; read back with
        // the modal command.
        QVERIFY(api.setHomeLocation(u("Atlantis")));
        QCOMPARE(api.lastStatus(), 0);
        QCOMPARE(api.lastMessage(), u("Home location saved"));
        QVERIFY(api.requestAccountInfoModal());
        QCOMPARE((QStringList{details.username, details.mail, details.location_string, details.country_code,
                              details.country_name}),
                 (QStringList{m_user, m_mail, u("Atlantis"), QString(), QString()}));
        // Angle brackets come back as look-alikes; the background command announces the new details.
        QVERIFY(api.setHomeLocation(u("<b>Smith & Sons</b>, United Kingdom")));
        QSignalSpy changed(TunoraAPI::activity(), &DirectoryActivity::accountDetailsChanged);
        QCOMPARE(run(api, [](TunoraAPI &a) { return a.requestAccountInfo(); }).error, 0);
        QCOMPARE(changed.size(), 1);
        QCOMPARE((QStringList{details.location_string, details.country_code, details.country_name}),
                 (QStringList{u("‹b›Smith & Sons‹/b›, United Kingdom"), u("GB"), u("United Kingdom")}));
        QVERIFY(m_boxes.isEmpty());
    }

    void languages()
    {
        TunoraAPI api;
        QSignalSpy changed(TunoraAPI::activity(), &DirectoryActivity::languagesChanged);
        QCOMPARE(run(api, [](TunoraAPI &a) { return a.requestLanguages(); }).error, 0);
        QCOMPARE(changed.size(), 1);
        const QList<Language> languages{{u("en"), u("English")},
                                        {u("de"), u("Deutsch")},
                                        {u("es"), u("Español")},
                                        {u("fr"), u("Français")}};
        QCOMPARE(TunoraAPI::languages(), languages);
        QVERIFY(api.requestLanguagesModal());
        QCOMPARE(TunoraAPI::languages().size(), languages.size());

        // A language the service does not offer: nothing is written, and the service's answer is
        // the client's last status (a language it offers: tests/lang, through the language manager).
        const QString file = m_files.filePath(u("Klingon.xml"));
        QVERIFY(!api.requestTranslation(u("Klingon"), u("tlh"), file));
        QVERIFY(!QFile::exists(file));
        QCOMPARE(api.lastStatus(), 2);
        QCOMPARE(api.lastMessage(), u("Language not found"));
        QVERIFY(m_boxes.isEmpty());
    }

    void softwareVersion()
    {
        // The background check, then the one the listener asks for (announced with its report flag).
        TunoraAPI api;
        QList<SoftwareVersion> found;
        connect(&api, &BaseRadioAPI::signal_versionFound, this,
                [&](const SoftwareVersion *version) { found.append(*version); });
        QCOMPARE(run(api, [](TunoraAPI &a) { return a.requestSoftwareVersion(); }).error, 0);
        QVERIFY(api.requestSoftwareVersionModal());
        QCOMPARE(found.size(), 2);
        for (const SoftwareVersion &v : std::as_const(found))
            QCOMPARE((QStringList{v.name, v.version, v.comment, v.comment_version, v.file_location,
                                  v.file_size, v.file_mime}),
                     (QStringList{u("TunoraDE"), u("1.03"), u("Faster search. Fewer stalls."), u("1.03 beta"),
                                  u("https://downloads.example/TunoraDE-1.03.tar.xz"), u("4242424"),
                                  u("application/x-xz")}));
        QCOMPARE((QList<bool>{found[0].report, found[1].report}), (QList<bool>{false, true}));
    }

    void newsFeed_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("first");

        QTest::newRow("German") << u("de") << u("Willkommen im Tunora-Verzeichnis.");
        QTest::newRow("a language without news: English") << u("fr") << u("Contract & news: 2 < 3");
    }

    void newsFeed()
    {
        QFETCH(QString, language);
        QFETCH(QString, first);
        setLanguage(language, language);
        TunoraAPI api;
        QCOMPARE(run(api, [](TunoraAPI &a) { return a.requestNewsFeed(); }).error, 0);
        QVERIFY(!api.news().isEmpty());
        QCOMPARE(api.news().first().title, first);
        for (const NewsItem &item : api.news())
            QVERIFY2(QUrl(item.link).isValid() && item.link.startsWith(u("http")), qPrintable(item.link));
        if (first.startsWith(u("Contract")))
            QCOMPARE(api.news().first().link, u("https://news.example/item?a=1&b=2"));
    }

    void songSearch()
    {
        QFETCH_GLOBAL(QString, backend);
        // The address the cover lookup of the playing station asks, filled as the lookup fills it.
        TunoraAPI api;
        BASS::CoverArt lookup;
        lookup.SetCustomSearchAddress(api.songSearchLink(u("12")));
        auto firstResult = [&](const QString &artist, const QString &title) {
            const QJsonObject o =
                QJsonDocument::fromJson(
                    fetch(lookup.BuildLookupUrl(BASS::CoverArt::SourceCustom, artist, title)).body)
                    .object();
            return o.value(u("resultCount")).toInt() == 1 ? o.value(u("results"))[0].toObject()
                                                          : QJsonObject();
        };
        const int asked = m_upstream.requestCount();
        const QJsonObject local = firstResult(u("Local Artist"), u("Local Song (Live)"));
        QCOMPARE(local.value(u("artworkUrl170")).toString(), u("http://c.invalid/170.jpg"));
        QCOMPARE(local.value(u("collectionCensoredName")).toString(), u("Local Album"));
        QCOMPARE(m_upstream.requestCount(), asked);
        // Unknown locally: asked upstream once, then answered from the cache in the database.
        for (int i = 0; i < 2; ++i) {
            const QJsonObject far = firstResult(u("Far Away's ") + backend, u("Distant Tune"));
            QCOMPARE(far.value(u("trackName")).toString(), u("Far Aways %1 - Distant Tune").arg(backend));
            QVERIFY(!far.contains(u("injected")));
        }
        QCOMPARE(m_upstream.requestCount(), asked + 1);
    }

    void playingNowFollowsTheStream()
    {
        if (!m_icecast)
            QSKIP("Icecast is not installed");
        // Both services follow the same mount: the titles carry the database's name, so that each
        // run waits for titles of its own.
        QFETCH_GLOBAL(QString, backend);
        const QString live = stationNamed(u("contract live"), u("Contract Live Radio")).id;
        const QString other = stationNamed(u("multistream"), u("Multistream Radio")).id;
        const QString unknown = u("987654321");
        QVERIFY(!live.isEmpty() && !other.isEmpty());

        TunoraAPI api;
        auto playing = [&]() {
            const Outcome o = run(api, [&](TunoraAPI &a) { return a.playingNow({other, unknown, live}); });
            const StationSeen *s = o.find(live);
            return s ? s->artist + u(" - ") + s->song : QString();
        };
        QString error;
        const QString opening = u("Opening Artist - Opening Tune ") + backend;
        QVERIFY2(m_icecast->setTitle(QLatin1String(LiveMount), opening, &error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(playing(), opening, 60000);
        // Searched now, so that a cached result could outlive the title.
        int total = 0;
        QTRY_COMPARE_WITH_TIMEOUT(namesFound(u("opening tune ") + backend, &total),
                                  QStringList{u("Contract Live Radio")}, 10000);

        // A new title on the mount reaches "playing now" and the search.
        const QString song = u("Xylophone Daybreak ") + backend;
        QVERIFY2(m_icecast->setTitle(QLatin1String(LiveMount), u("Quimby Zorn - ") + song, &error),
                 qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(playing(), u("Quimby Zorn - ") + song, 60000);

        const Outcome both = run(api, [&](TunoraAPI &a) { return a.playingNow({other, unknown, live}); });
        QCOMPARE(both.error, 0);
        QCOMPARE(both.ids(), (QStringList{other, live}));
        QCOMPARE(both.find(other)->song, QString());

        for (const QString &text : {u("xylophone"), u("quimby daybreak")}) {
            const Outcome found = run(api, [&](TunoraAPI &a) { return a.searchStations(text, 0); });
            QCOMPARE(found.error, 0);
            QCOMPARE(found.ids(), QStringList{live});
            QCOMPARE(found.stations[0].artist, u("Quimby Zorn"));
            QCOMPARE(found.stations[0].song, song);
        }
        // The old title leaves the search once cached results expire.
        QTRY_COMPARE_WITH_TIMEOUT(namesFound(u("opening tune ") + backend, &total), QStringList(), 10000);
        QVERIFY(m_boxes.isEmpty());
    }

private:
    bool startBackend(const QString &name, DirectoryService::Backend kind, QString *error)
    {
        Backend &backend = m_backends[name];
        backend.service = std::make_unique<DirectoryService>();
        m_options.backend = kind;
        if (!backend.service->start(m_options)) {
            *error = name + u(": ") + backend.service->errorString();
            return false;
        }
        useBackend(backend);
        m_backend = &backend;
        if (!signUp(m_user, m_password, error)) {
            error->prepend(name + u(": "));
            return false;
        }
        // An English news item, and a song the cover search knows without asking upstream.
        if (service().runTool({u("news-add"), u("en"), u("Contract & news: 2 < 3"),
                               u("https://news.example/item?a=1&b=2")}) != 0 ||
            service().runTool({u("import-covers"), m_files.filePath(u("covers.json"))}) != 0) {
            *error = name + u(": news or covers not added");
            return false;
        }
        return true;
    }

    // Points the player's settings (service root, news host, CA file) at one backend's service.
    void useBackend(Backend &backend)
    {
        AppSettings &settings = AppSettings::instance();
        settings.setEndpoint(AppSettings::DirectoryRoot, backend.service->root().toString());
        settings.setEndpoint(AppSettings::NewsFeedHost, backend.service->root().toString());
        settings.setCaFile(backend.service->caFile());
        settings.setCredentials(QString(), QString());
        // The process-wide trust follows the CA file of the settings; plain fetches use it too.
        TunoraAPI::configureHttp();
    }

    DirectoryService &service() { return *m_backend->service; }
    bool signUp(const QString &user, const QString &password, QString *why)
    {
        TunoraTest::HttpsClient http(service().sslConfiguration());
        return TunoraTest::signUpAndActivate(http, service(), user, password, why);
    }
    // Mailed links, listen addresses and the song search, fetched over the service's TLS.
    HttpResult fetch(const QString &address)
    {
        return TunoraTest::HttpsClient(service().sslConfiguration()).get(address);
    }

    StationSeen stationNamed(const QString &searchText, const QString &name)
    {
        TunoraAPI api;
        for (const StationSeen &s :
             run(api, [&](TunoraAPI &a) { return a.searchStations(searchText, 0); }).stations)
            if (s.name == name)
                return s;
        return StationSeen();
    }

    // Sorted names of the stations on the first page of a search; total gets its result total
    // (-1 when the request failed).
    QStringList namesFound(const QString &searchText, int *total)
    {
        TunoraAPI api;
        const Outcome o = run(api, [&](TunoraAPI &a) { return a.searchStations(searchText, 0); });
        QStringList names;
        for (const StationSeen &s : o.stations)
            names << s.name;
        names.sort();
        *total = o.error == 0 ? api.resultsTotal() : -1;
        return names;
    }

    void useListener() { AppSettings::instance().setCredentials(m_user, m_password); }

    void setLanguage(const QString &code, const QString &name)
    {
        const QString member = AppSettings::instance().memberName();
        if (!member.isEmpty())
            AppSettings::instance().writeLanguage(Language{code, name}, member);
    }

    std::unique_ptr<PostgresCluster> m_postgres;
    std::unique_ptr<IcecastServer> m_icecast;
    HttpServer m_upstream;
    std::map<QString, Backend> m_backends;
    Backend *m_backend = nullptr;
    DirectoryService::Options m_options;
    QTemporaryDir m_files;
    QStringList m_boxes;

    const QString m_user = u("listener");
    const QString m_password = u("p4ss wörd &=+?");
    const QString m_mail = u("listener@example.org");
};

TUNORA_TEST_MAIN(TestContract)
#include "tst_contract.moc"
