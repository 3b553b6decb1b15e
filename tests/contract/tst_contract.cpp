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
using namespace Qt::StringLiterals;
using TunoraTest::DirectoryService;
using TunoraTest::HttpResponse;
using TunoraTest::HttpResult;
using TunoraTest::HttpServer;
using TunoraTest::IcecastServer;
using TunoraTest::PostgresCluster;

using Command = std::function<int(TunoraAPI &)>;
Q_DECLARE_METATYPE(Command)

namespace {

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

// Stream addresses of catalogue stations that nobody plays: a closed port on this machine, so
// that the poller's visits fail at once and nothing leaves it.
QString deadStream(const QString &path)
{
    return u"http://127.0.0.1:1/"_s + path;
}

// One catalogue station from "name|genre|country|region|homepage|codec|bitrate", followed by
// "file|codec|bitrate" of each further stream.
QJsonObject catalogueStation(const QString &fields, const QString &url)
{
    const QStringList f = fields.split(QLatin1Char('|'));
    QJsonObject alternatives;
    for (qsizetype i = 7; i + 2 < f.size(); i += 3)
        alternatives.insert(f[i], QJsonObject{{u"StreamUri"_s, deadStream(f[i])},
                                              {u"Codec"_s, f[i + 1]},
                                              {u"Bitrate"_s, f[i + 2].toInt()}});
    return QJsonObject{{u"Name"_s, f[0]},
                       {u"Genre"_s, QJsonArray{f[1]}},
                       {u"Country"_s, f[2]},
                       {u"Region"_s, f[3]},
                       {u"Homepage"_s, f[4]},
                       {u"Codec"_s, f[5]},
                       {u"Bitrate"_s, f[6].toInt()},
                       {u"StreamUri"_s, url},
                       {u"alternativeStreams"_s, alternatives}};
}

const char *LiveMount = "/contract.mp3";
const int PagingStations = 30;
// Failed sign-ins an account may have before it is locked for a while.
const int FailureLimit = 4;

} // namespace

class TestContract : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::newRow("SQLite") << u"SQLite"_s;
        QTest::newRow("PostgreSQL") << u"PostgreSQL"_s;
    }

    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        const QString folder = TunoraTest::IsolatedHome::path() + u"/app"_s;
        QVERIFY(QDir().mkpath(folder));
        AppSettings::setApplicationFolderOverride(folder);
        AppSettings::instance();

        // A live station for the poller, when Icecast is installed.
        QString liveUrl = deadStream(u"live"_s);
        if (IcecastServer::available()) {
            m_icecast = std::make_unique<IcecastServer>();
            QString error;
            QVERIFY2(m_icecast->start(&error), qPrintable(error));
            IcecastServer::Source source;
            source.mount = QLatin1String(LiveMount);
            source.name = u"Contract Live Radio"_s;
            QVERIFY2(m_icecast->startSource(source, &error), qPrintable(error));
            QVERIFY2(m_icecast->setTitle(source.mount, u"Opening Artist - Opening Tune"_s, &error),
                     qPrintable(error));
            liveUrl = m_icecast->mountUrl(source.mount).toString();
        }
        // A small catalogue: texts that need escaping, several streams, a country with a
        // subsection, genres under a top-level genre with an ampersand, and enough look-alike
        // stations for two pages of results.
        QList<std::pair<QString, QString>> rows{
            {u"amp"_s,
             u"Rock & Roll \"Live\" Ärzte|Classic Rock|Germany|Bayern|http://rock.example/live|MP3|128"_s},
            {u"markup"_s, u"Tom <b>Jones</b> FM|Oldies|United Kingdom||https://tom.example/|MP3|128"_s},
            {u"entity"_s, u"Fish &amp; Chips &lt;3 Radio|Talk|United Kingdom|||MP3|64"_s},
            {u"cyrillic"_s, u"Радио Ёлка 日本 ♫|Hip-Hop|Russia||http://yolka.example/|AAC|64"_s},
            {u"rnb"_s, u"Smooth Groove R&B|R'n'B|France|||MP3|192"_s},
            {u"multi-128.mp3"_s, u"Multistream Radio|Jazz|Germany|Berlin|www.multi.example|MP3|128|"
                                 "multi-48.aac|AAC|48|multi-96.ogg|OGG|96"_s},
            {u"live"_s, u"Contract Live Radio|Smooth Jazz|France||https://live.example/|MP3|128"_s}};
        for (int i = 1; i <= PagingStations; ++i)
            rows.append({u"paging%1"_s.arg(i),
                         u"Pagingword Station %1|Pop|Austria|||MP3|128"_s.arg(i, 2, 10, QLatin1Char('0'))});
        QJsonObject stations;
        for (const auto &[key, fields] : rows)
            stations.insert(key, catalogueStation(fields, key == u"live"_s ? liveUrl : deadStream(key)));
        const QString catalogue = m_files.filePath(u"contract.json"_s);
        QFile file(catalogue);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(QJsonObject{{u"webradios"_s, stations}}).toJson(QJsonDocument::Compact));
        file.close();

        m_options.importCatalogue = false;
        m_options.extraCatalogues << catalogue;
        m_options.poller = m_icecast != nullptr;
        m_options.pollIntervalSeconds = 1;
        // The account limit is low enough for one test to reach it and above the three failed
        // sign-ins the listener spends elsewhere; the limits per address, on creations and on mails
        // must not get in the way.
        m_options.settings = {
            {u"accounts/account_failure_limit"_s, QString::number(FailureLimit)},
            {u"accounts/address_failure_limit"_s, u"1000"_s},
            {u"accounts/creation_limit"_s, u"1000"_s},
            {u"accounts/mail_limit"_s, u"1000"_s},
            {u"software/version"_s, u"1.03"_s},
            {u"software/comment"_s, u"Faster search. Fewer stalls."_s},
            {u"software/comment_version"_s, u"1.03 beta"_s},
            {u"software/file_location"_s, u"https://downloads.example/TunoraDE-1.03.tar.xz"_s},
            {u"software/file_size"_s, u"4242424"_s},
            {u"software/file_mime"_s, u"application/x-xz"_s}};
        // Search results may be reused for this long; a song that ended has to leave them after it.
        m_options.settings.insert(u"service/search_cache_seconds"_s, u"2"_s);
        // A stand-in for the upstream song search: one result built from the search term, with a
        // field the service must not pass on.
        m_upstream.setHandler([](const TunoraTest::HttpRequest &request) {
            const QJsonObject result{
                {u"artistName"_s, u"Upstream Artist"_s},
                {u"trackName"_s, request.query().queryItemValue(u"term"_s, QUrl::FullyDecoded)},
                {u"injected"_s, u"<script>"_s}};
            return HttpResponse::ok(
                QJsonDocument(QJsonObject{{u"resultCount"_s, 1}, {u"results"_s, QJsonArray{result}}})
                    .toJson(),
                "application/json");
        });
        QVERIFY(m_upstream.listen());
        m_options.settings.insert(u"covers/upstream"_s, m_upstream.url(u"/search?term={term}&entity=song"_s));
        QFile covers(m_files.filePath(u"covers.json"_s));
        QVERIFY(covers.open(QIODevice::WriteOnly));
        const QJsonObject song{{u"artistName"_s, u"Local Artist"_s},
                               {u"trackName"_s, u"Local Song"_s},
                               {u"collectionCensoredName"_s, u"Local Album"_s},
                               {u"artworkUrl170"_s, u"http://c.invalid/170.jpg"_s}};
        covers.write(QJsonDocument(QJsonObject{{u"results"_s, QJsonArray{song}}}).toJson());
        covers.close();

        QHttpExt::settings().messageHook = [this](MessageKind, const QString &, const QString &text,
                                                  QMessageBox::StandardButtons) {
            m_boxes << text;
            return int(QMessageBox::Ok);
        };

        QString error;
        QVERIFY2(startBackend(u"SQLite"_s, DirectoryService::Backend::SQLite, &error), qPrintable(error));
        if (PostgresCluster::available()) {
            m_postgres = std::make_unique<PostgresCluster>();
            QVERIFY2(m_postgres->start(&error), qPrintable(error));
            m_options.postgres = m_postgres.get();
            QVERIFY2(startBackend(u"PostgreSQL"_s, DirectoryService::Backend::PostgreSQL, &error),
                     qPrintable(error));
        }
    }

    void cleanupTestCase()
    {
        QHttpExt::settings().messageHook = nullptr;
        for (auto &[name, service] : m_services) {
            if (service && service->isRunning()) {
                // Passwords travel in request addresses; the service must never write them down.
                QVERIFY2(!service->output().contains(m_password), qPrintable(service->output()));
                QVERIFY2(service->stop(), qPrintable(service->errorString()));
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
        m_service = m_services[backend].get();
        if (!m_service)
            QSKIP("PostgreSQL is not installed");
        useService();
        useListener();
        AppSettings::instance().setMinBitrate(0);
        AppSettings::instance().setMaxBitrate(0);
        m_boxes.clear();
    }

    void cleanup() { setLanguage(QString(), QString()); }

    void accountLifecycle()
    {
        AppSettings::instance().setCredentials(QString(), QString());
        const QString user = u"Neuling_7"_s;
        const QString password = u"Zebra & Kaffee ☕"_s;
        const QString mail = u"neuling@example.org"_s;
        TunoraAPI api;

        const qsizetype before = service().mails().size();
        QVERIFY(api.createAccount(user, password, mail));
        QVERIFY2(api.lastStatus() < 1, qPrintable(api.lastMessage())); // "below 1" means created
        QVERIFY(!api.lastMessage().isEmpty());
        QCOMPARE(service().mails().size(), before + 1);
        QVERIFY(service().mails().last().contains(u"To: "_s + mail));
        QVERIFY(!service().mails().last().contains(password));
        const QUrl firstLink = service().linkFromLastMail(u"/account/activate"_s);

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
        QCOMPARE(api.lastMessage(), u"Email sent"_s);
        QCOMPARE(service().mails().size(), before + 2);

        // The first link stays good until one of them is used; then neither works again.
        const QUrl link = service().linkFromLastMail(u"/account/activate"_s);
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
        QVERIFY(api.createAccount(user.toLower(), u"another password"_s, u"other@example.org"_s));
        QCOMPARE(api.lastStatus(), 2);
        QVERIFY2(api.lastMessage().contains(u"already"_s), qPrintable(api.lastMessage()));
        QVERIFY(api.resendValidation(user, password));
        QCOMPARE(api.lastStatus(), 2);
        QCOMPARE(service().mails().size(), before + 2);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(u"\n"_s)));
    }

    void accountRefused_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("mail");
        QTest::addColumn<QString>("message");

        const QString badName = u"Member names have 3 to 32 letters or digits, and may also contain . - _"_s;
        QTest::newRow("name too long")
            << QString(33, QLatin1Char('n')) << u"secret123"_s << u"n@example.org"_s << badName;
        QTest::newRow("password too short") << u"Short_Pass"_s << u"12345"_s << u"s@example.org"_s
                                            << u"Passwords have at least 6 characters"_s;
        QTest::newRow("mail without a domain")
            << u"No_Domain"_s << u"secret123"_s << u"not-a-mail"_s << u"The e-mail address is not valid"_s;
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
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(u"\n"_s)));
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
            return api.resendValidation(AppSettings::instance().memberName(), u"not the password"_s) ? 1 : 0;
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
        for (const QString &user : {m_user, u"nobody_has_this_name"_s}) {
            AppSettings::instance().setCredentials(user, u"not the password"_s);
            TunoraAPI api;
            QCOMPARE(command(api), 1);
            answers.append({api.lastStatus(), api.lastMessage()});
        }
        QCOMPARE(answers[0].first, expectedStatus);
        QVERIFY(!answers[0].second.isEmpty());
        QCOMPARE(answers[1], answers[0]);
        // Sign-in answers are the dialog's to show.
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(u"\n"_s)));
    }

    void rateLimitLooksAlike()
    {
        const QString password = u"right password 1"_s;
        QString why;
        QVERIFY2(signUp(u"locked_out"_s, password, &why), qPrintable(why));

        // The same sequence for an account and for a name nobody has: wrong passwords until the
        // limit, then the right one (for the account) and a command that needs the account.
        QList<QStringList> answers;
        for (const QString &user : {u"locked_out"_s, u"nobody_locked_out"_s}) {
            QStringList seen;
            TunoraAPI api;
            for (int i = 0; i < FailureLimit; ++i) {
                QCOMPARE(run(api, [&](TunoraAPI &a) { return a.signIn(user, u"wrong %1"_s.arg(i)); }).error,
                         0);
                seen << u"%1 %2"_s.arg(api.lastStatus()).arg(api.lastMessage());
            }
            QCOMPARE(run(api, [&](TunoraAPI &a) { return a.signIn(user, password); }).error, 0);
            seen << u"%1 %2"_s.arg(api.lastStatus()).arg(api.lastMessage());
            AppSettings::instance().setCredentials(user, password);
            m_boxes.clear();
            const Outcome favorites = run(api, [](TunoraAPI &a) { return a.requestFavorites(); });
            QCOMPARE(favorites.error, 0);
            QCOMPARE(favorites.stations.size(), 0);
            QTRY_COMPARE(m_boxes.size(), 1);
            seen << m_boxes;
            answers << seen;
        }
        const QString invalid = u"0 Invalid member name or password"_s;
        const QString limited = u"Too many failed attempts, please try again in a few minutes"_s;
        QStringList expected(FailureLimit, invalid);
        expected << u"0 "_s + limited << limited;
        QCOMPARE(answers[0], expected);
        QCOMPARE(answers[1], answers[0]);
    }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("total");         // -1: no more than the page shows
        QTest::addColumn<QStringList>("names"); // found among them

        QTest::newRow("last page") << u"pagingword"_s << 1 << PagingStations << QStringList();
        QTest::newRow("prefixes of two words") << u"PAGINGW stat"_s << 0 << PagingStations << QStringList();
        QTest::newRow("every word required")
            << u"pagingword 17"_s << 0 << 1 << QStringList{u"Pagingword Station 17"_s};
        // What listeners type reaches the full-text search as words, never as its query syntax.
        QTest::newRow("ampersand inside a word")
            << u"R&B"_s << 0 << -1 << QStringList{u"Smooth Groove R&B"_s};
        QTest::newRow("capital umlaut")
            << u"ÄRZTE"_s << 0 << -1 << QStringList{u"Rock & Roll \"Live\" Ärzte"_s};
        QTest::newRow("unbalanced quote")
            << u"\"live"_s << 0 << -1
            << QStringList{u"Contract Live Radio"_s, u"Rock & Roll \"Live\" Ärzte"_s};
        QTest::newRow("star") << u"multi*"_s << 0 << -1 << QStringList{u"Multistream Radio"_s};
        QTest::newRow("operator words") << u"multistream OR AND NOT NEAR"_s << 0 << 0 << QStringList();
        QTest::newRow("column filter") << u"name:multistream"_s << 0 << 0 << QStringList();
        QTest::newRow("SQL") << u"'; DROP TABLE stations; --"_s << 0 << 0 << QStringList();
        QTest::newRow("LIKE wildcards") << u"%_%"_s << 0 << 0 << QStringList();
        QTest::newRow("country term with a quote") << u"country:\"D"_s << 0 << 0 << QStringList();
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
            QVERIFY2(found.contains(name), qPrintable(found.join(u" | "_s)));
        QTest::qWait(0);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(u"\n"_s)));
        // The catalogue is still whole.
        int all = 0;
        QCOMPARE(namesFound(u"pagingword"_s, &all).size(), TunoraAPI::PageSize);
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
            << u"ärzte"_s << u"Rock & Roll \"Live\" Ärzte"_s
            << u"rock.example/live|Germany|Bayern, Germany|Classic Rock"_s << QList<quint32>{FormatMP3, 128};
        QTest::newRow("angle brackets") << u"jones"_s << u"Tom ‹b›Jones‹/b› FM"_s
                                        << u"https://tom.example/|United Kingdom|United Kingdom|Oldies"_s
                                        << QList<quint32>{FormatMP3, 128};
        QTest::newRow("three streams in catalogue order")
            << u"multistream"_s << u"Multistream Radio"_s
            << u"www.multi.example|Germany|Berlin, Germany|Jazz"_s
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
            QCOMPARE(url.scheme(), u"https"_s);
            QCOMPARE(url.port(), int(service().port()));
            QCOMPARE(QUrlQuery(url).queryItemValue(u"station_id"_s), s.id);
            QCOMPARE(QUrlQuery(url).queryItemValue(u"apitid"_s), u"781"_s);
            QVERIFY(!stream.url.contains(u"wörd"_s) && !stream.url.contains(u"w%C3%B6rd"_s));
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
        static const QRegularExpression letterCode(u"^[A-Z]{2}(-[A-Z]+)?$"_s);
        for (const WorldRegion &r : std::as_const(regions)) {
            for (const Country *c : r.countries()) {
                // A letter code, never a database key.
                QVERIFY2(letterCode.match(c->code()).hasMatch(), qPrintable(c->code()));
                add(c->name(), c->search(), QString(), &inCountries);
                for (const Country *sub : c->subsections()) {
                    QVERIFY2(letterCode.match(sub->code()).hasMatch(), qPrintable(sub->code()));
                    add(c->name() + u"/"_s + sub->name(), sub->search(), c->name(), nullptr);
                }
            }
        }
        for (const Genre &g : std::as_const(genres)) {
            add(g.name(), g.search(), QString(), &inGenres);
            for (const Genre *sub : g.subgenres() ? g.subgenres()->values() : QList<Genre *>())
                add(g.name() + u"/"_s + sub->name(), sub->search(), g.name(), nullptr);
        }
        // Each station is in one country and under one top-level genre, which takes in the stations
        // of its sub-genres; the catalogue's tags are sub-genres.
        const int stations = PagingStations + 7; // the look-alikes and the seven named ones
        QCOMPARE(inCountries, stations);
        QCOMPARE(inGenres, stations);
        const QString rock = u"Rock & Roll \"Live\" Ärzte"_s, rnb = u"Smooth Groove R&B"_s;
        QCOMPARE(entries.value(u"Germany/Bayern"_s).first, QStringList{rock});
        QCOMPARE(entries.value(u"Rock/Classic Rock"_s).first, QStringList{rock});
        QCOMPARE(entries.value(u"Hip-Hop & R&B"_s).first, (QStringList{rnb, u"Радио Ёлка 日本 ♫"_s}));
        QCOMPARE(entries.value(u"Hip-Hop & R&B/R'n'B"_s).first, QStringList{rnb});
        QCOMPARE(entries.value(u"Austria"_s).second, PagingStations);
        QVERIFY(m_boxes.isEmpty());
    }

    void favoritesRoundTrip()
    {
        const QString first = stationNamed(u"ärzte"_s, u"Rock & Roll \"Live\" Ärzte"_s).id;
        const QString second = stationNamed(u"multistream"_s, u"Multistream Radio"_s).id;
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        TunoraAPI api;
        QSignalSpy started(&api, &BaseRadioAPI::signal_requestStarted);

        for (const QString &id : {first, second, second}) {
            const Outcome added = run(api, [&](TunoraAPI &a) { return a.addFavorite(id); });
            QCOMPARE(added.error, 0);
            QCOMPARE(api.lastStatus(), 0);
            QCOMPARE(api.lastMessage(), u"Favorite added"_s);
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
        AppSettings::instance().setCredentials(u"Neuling_7"_s, u"Zebra & Kaffee ☕"_s);
        QCOMPARE(run(api, [](TunoraAPI &a) { return a.requestFavorites(); }).stations.size(), 0);
        useListener();
        // Searches mark favourites too.
        QVERIFY(stationNamed(u"multistream"_s, u"Multistream Radio"_s).favorite);
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
        QVERIFY(!stationNamed(u"ärzte"_s, u"Rock & Roll \"Live\" Ärzte"_s).favorite);
        run(api, [&](TunoraAPI &a) { return a.removeFavorite(second); });
        QCOMPARE(started.size(), 9);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(u"\n"_s)));
    }

    void listenAddressRecordsHistory()
    {
        const StationSeen multi = stationNamed(u"multistream"_s, u"Multistream Radio"_s);
        const StationSeen rock = stationNamed(u"ärzte"_s, u"Rock & Roll \"Live\" Ärzte"_s);
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
        QCOMPARE(addresses, (std::vector<std::string>{deadStream(u"multi-48.aac"_s).toStdString(),
                                                      deadStream(u"multi-128.mp3"_s).toStdString(),
                                                      deadStream(u"multi-96.ogg"_s).toStdString()}));
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
        const StationSeen anonymous = stationNamed(u"ärzte"_s, u"Rock & Roll \"Live\" Ärzte"_s);
        QVERIFY(!anonymous.streams.value(0).url.contains(u"&t="_s));
        QCOMPARE(fetch(anonymous.streams.value(0).url).status, 200);
        QCOMPARE(fetch(anonymous.streams.value(0).url + u"&t=0123456789abcdef0123456789abcdef"_s).status,
                 200);
        useListener();
        history = run(api, [](TunoraAPI &a) { return a.requestHistory(); });
        QCOMPARE(history.stations.value(0).id, multi.id);

        QVERIFY(m_boxes.isEmpty());
    }

    void errorReplies_data()
    {
        // Who sends: "listener", "listener in German" or "anonymous" (a name nobody has:
        // rateLimitLooksAlike).
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
        const QString invalid = u"Invalid request"_s;
        const QString listener = u"listener"_s;
        const Command addUnknown = [](TunoraAPI &api) { return api.addFavorite(u"999999999"_s); };

        QTest::newRow("favourites without an account")
            << u"anonymous"_s << Command([](TunoraAPI &api) { return api.requestFavorites(); }) << true
            << u"Please sign in first"_s;
        QTest::newRow("unknown station") << listener << addUnknown << true << u"Station not found"_s;
        QTest::newRow("in the listener's language")
            << u"listener in German"_s << addUnknown << true << u"Sender nicht gefunden"_s;
        QTest::newRow("wrong API key")
            << listener
            << bent(&TunoraAPI::favoritesAddress, BaseRadioAPI::TypeFavorites, key, u"Zz"_s + key.mid(2))
            << true << u"Invalid API key"_s;
        QTest::newRow("search text too long") << listener << searchFor(QString(300, QLatin1Char('x'))) << true
                                              << u"The search text is too long"_s;
        QTest::newRow("control character in the search text")
            << listener << searchFor(u"paging\x01word"_s) << true << invalid;
        QTest::newRow("unknown directory")
            << listener
            << bent(&TunoraAPI::regionsAddress, BaseRadioAPI::TypeRegions, u"dir=geo"_s, u"dir=planets"_s)
            << true << u"Unknown command"_s;
        // The caller of "playing now" deals with its failures: no message box.
        QTest::newRow("playing now with a hostile id") << listener << Command([](TunoraAPI &api) {
            return api.playingNow({u"1"_s, u"2 UNION SELECT password"_s});
        }) << false << invalid;
    }

    void errorReplies()
    {
        QFETCH(QString, who);
        QFETCH(Command, command);
        QFETCH(bool, shown);
        QFETCH(QString, message);
        if (who == u"anonymous"_s)
            AppSettings::instance().setCredentials(QString(), QString());
        else if (who == u"listener in German"_s)
            setLanguage(u"de"_s, u"Deutsch"_s);

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
        TunoraTest::TestCa otherCa(u"Another Test CA"_s);
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
        QVERIFY2(m_boxes.constFirst().contains(text), qPrintable(m_boxes.join(u"\n"_s)));
    }

    void homeLocationNames()
    {
        TunoraAPI api;
        const AccountDetails &details = TunoraAPI::accountDetails();
        // A country the catalogue does not know is kept as typed, without a country; read back with
        // the modal command.
        QVERIFY(api.setHomeLocation(u"Atlantis"_s));
        QCOMPARE(api.lastStatus(), 0);
        QCOMPARE(api.lastMessage(), u"Home location saved"_s);
        QVERIFY(api.requestAccountInfoModal());
        QCOMPARE((QStringList{details.username, details.mail, details.location_string, details.country_code,
                              details.country_name}),
                 (QStringList{m_user, m_mail, u"Atlantis"_s, QString(), QString()}));
        // Angle brackets come back as look-alikes; the background command announces the new details.
        QVERIFY(api.setHomeLocation(u"<b>Smith & Sons</b>, United Kingdom"_s));
        QSignalSpy changed(TunoraAPI::activity(), &DirectoryActivity::accountDetailsChanged);
        QCOMPARE(run(api, [](TunoraAPI &a) { return a.requestAccountInfo(); }).error, 0);
        QCOMPARE(changed.size(), 1);
        QCOMPARE((QStringList{details.location_string, details.country_code, details.country_name}),
                 (QStringList{u"‹b›Smith & Sons‹/b›, United Kingdom"_s, u"GB"_s, u"United Kingdom"_s}));
        QVERIFY(m_boxes.isEmpty());
    }

    void languages()
    {
        TunoraAPI api;
        QSignalSpy changed(TunoraAPI::activity(), &DirectoryActivity::languagesChanged);
        QCOMPARE(run(api, [](TunoraAPI &a) { return a.requestLanguages(); }).error, 0);
        QCOMPARE(changed.size(), 1);
        const QList<Language> languages{{u"en"_s, u"English"_s},
                                        {u"de"_s, u"Deutsch"_s},
                                        {u"es"_s, u"Español"_s},
                                        {u"fr"_s, u"Français"_s}};
        QCOMPARE(TunoraAPI::languages(), languages);
        QVERIFY(api.requestLanguagesModal());
        QCOMPARE(TunoraAPI::languages().size(), languages.size());

        // A language the service does not offer: nothing is written, and the service's answer is
        // the client's last status (a language it offers: tests/lang, through the language manager).
        const QString file = m_files.filePath(u"Klingon.xml"_s);
        QVERIFY(!api.requestTranslation(u"Klingon"_s, u"tlh"_s, file));
        QVERIFY(!QFile::exists(file));
        QCOMPARE(api.lastStatus(), 2);
        QCOMPARE(api.lastMessage(), u"Language not found"_s);
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
                     (QStringList{u"TunoraDE"_s, u"1.03"_s, u"Faster search. Fewer stalls."_s, u"1.03 beta"_s,
                                  u"https://downloads.example/TunoraDE-1.03.tar.xz"_s, u"4242424"_s,
                                  u"application/x-xz"_s}));
        QCOMPARE((QList<bool>{found[0].report, found[1].report}), (QList<bool>{false, true}));
    }

    void newsFeed_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("first");

        QTest::newRow("German") << u"de"_s << u"Willkommen im Tunora-Verzeichnis."_s;
        QTest::newRow("a language without news: English") << u"fr"_s << u"Contract & news: 2 < 3"_s;
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
            QVERIFY2(QUrl(item.link).isValid() && item.link.startsWith(u"http"_s), qPrintable(item.link));
        if (first.startsWith(u"Contract"_s))
            QCOMPARE(api.news().first().link, u"https://news.example/item?a=1&b=2"_s);
    }

    void songSearch()
    {
        QFETCH_GLOBAL(QString, backend);
        // The address the cover lookup of the playing station asks, filled as the lookup fills it.
        TunoraAPI api;
        BASS::CoverArt lookup;
        lookup.SetCustomSearchAddress(api.songSearchLink(u"12"_s));
        auto firstResult = [&](const QString &artist, const QString &title) {
            const QJsonObject o =
                QJsonDocument::fromJson(
                    fetch(lookup.BuildLookupUrl(BASS::CoverArt::SourceCustom, artist, title)).body)
                    .object();
            return o.value(u"resultCount"_s).toInt() == 1 ? o.value(u"results"_s)[0].toObject()
                                                          : QJsonObject();
        };
        const int asked = m_upstream.requestCount();
        const QJsonObject local = firstResult(u"Local Artist"_s, u"Local Song (Live)"_s);
        QCOMPARE(local.value(u"artworkUrl170"_s).toString(), u"http://c.invalid/170.jpg"_s);
        QCOMPARE(local.value(u"collectionCensoredName"_s).toString(), u"Local Album"_s);
        QCOMPARE(m_upstream.requestCount(), asked);
        // Unknown locally: asked upstream once, then answered from the cache in the database.
        for (int i = 0; i < 2; ++i) {
            const QJsonObject far = firstResult(u"Far Away's "_s + backend, u"Distant Tune"_s);
            QCOMPARE(far.value(u"trackName"_s).toString(), u"Far Aways %1 - Distant Tune"_s.arg(backend));
            QVERIFY(!far.contains(u"injected"_s));
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
        const QString live = stationNamed(u"contract live"_s, u"Contract Live Radio"_s).id;
        const QString other = stationNamed(u"multistream"_s, u"Multistream Radio"_s).id;
        const QString unknown = u"987654321"_s;
        QVERIFY(!live.isEmpty() && !other.isEmpty());

        TunoraAPI api;
        auto playing = [&]() {
            const Outcome o = run(api, [&](TunoraAPI &a) { return a.playingNow({other, unknown, live}); });
            const StationSeen *s = o.find(live);
            return s ? s->artist + u" - "_s + s->song : QString();
        };
        QString error;
        const QString opening = u"Opening Artist - Opening Tune "_s + backend;
        QVERIFY2(m_icecast->setTitle(QLatin1String(LiveMount), opening, &error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(playing(), opening, 60000);
        // Searched now, so that a cached result could outlive the title.
        int total = 0;
        QTRY_COMPARE_WITH_TIMEOUT(namesFound(u"opening tune "_s + backend, &total),
                                  QStringList{u"Contract Live Radio"_s}, 10000);

        // A new title on the mount reaches "playing now" and the search.
        const QString song = u"Xylophone Daybreak "_s + backend;
        QVERIFY2(m_icecast->setTitle(QLatin1String(LiveMount), u"Quimby Zorn - "_s + song, &error),
                 qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(playing(), u"Quimby Zorn - "_s + song, 60000);

        const Outcome both = run(api, [&](TunoraAPI &a) { return a.playingNow({other, unknown, live}); });
        QCOMPARE(both.error, 0);
        QCOMPARE(both.ids(), (QStringList{other, live}));
        QCOMPARE(both.find(other)->song, QString());

        for (const QString &text : {u"xylophone"_s, u"quimby daybreak"_s}) {
            const Outcome found = run(api, [&](TunoraAPI &a) { return a.searchStations(text, 0); });
            QCOMPARE(found.error, 0);
            QCOMPARE(found.ids(), QStringList{live});
            QCOMPARE(found.stations[0].artist, u"Quimby Zorn"_s);
            QCOMPARE(found.stations[0].song, song);
        }
        // The old title leaves the search once cached results expire.
        QTRY_COMPARE_WITH_TIMEOUT(namesFound(u"opening tune "_s + backend, &total), QStringList(), 10000);
        QVERIFY(m_boxes.isEmpty());
    }

private:
    bool startBackend(const QString &name, DirectoryService::Backend kind, QString *error)
    {
        m_service = (m_services[name] = std::make_unique<DirectoryService>()).get();
        m_options.backend = kind;
        if (!service().start(m_options)) {
            *error = name + u": "_s + service().errorString();
            return false;
        }
        useService();
        if (!signUp(m_user, m_password, error)) {
            error->prepend(name + u": "_s);
            return false;
        }
        // An English news item, and a song the cover search knows without asking upstream.
        if (service().runTool({u"news-add"_s, u"en"_s, u"Contract & news: 2 < 3"_s,
                               u"https://news.example/item?a=1&b=2"_s}) != 0 ||
            service().runTool({u"import-covers"_s, m_files.filePath(u"covers.json"_s)}) != 0) {
            *error = name + u": news or covers not added"_s;
            return false;
        }
        return true;
    }

    // Points the player's settings (service root, news host, CA file) at the service under test.
    void useService()
    {
        AppSettings &settings = AppSettings::instance();
        settings.setEndpoint(AppSettings::DirectoryRoot, service().root().toString());
        settings.setEndpoint(AppSettings::NewsFeedHost, service().root().toString());
        settings.setCaFile(service().caFile());
        settings.setCredentials(QString(), QString());
        // The process-wide trust follows the CA file of the settings; plain fetches use it too.
        TunoraAPI::configureHttp();
    }

    DirectoryService &service() { return *m_service; }
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
    // The service of each database, none when the database is not installed.
    std::map<QString, std::unique_ptr<DirectoryService>> m_services;
    DirectoryService *m_service = nullptr;
    DirectoryService::Options m_options;
    QTemporaryDir m_files;
    QStringList m_boxes;

    const QString m_user = u"listener"_s;
    const QString m_password = u"p4ss wörd &=+?"_s;
    const QString m_mail = u"listener@example.org"_s;
};

TUNORA_TEST_MAIN(TestContract)
#include "tst_contract.moc"
