// The directory client: address building with its value encoding, paging numbers, and requests against
// a scripted directory on 127.0.0.1 over HTTPS with a test CA named in the settings; the readers of
// whole directory replies (station lists with paging and network maps, the genre tree with its depth
// limit); and the application's channel, which takes line breaks out of an address before it is
// downloaded.

#include "appsettings.h"
#include "directoryreader.h"
#include "httpblocking.h"
#include "httpserver.h"
#include "testca.h"
#include "testmain.h"
#include "tunoraapi.h"
#include "tunorastream.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QUrlQuery>

#include <functional>

using namespace BASS;
using TunoraTest::HttpRequest;
using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;

using Command = std::function<QString(TunoraAPI &)>;
Q_DECLARE_METATYPE(Command)

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QStringList sl(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}

// One station in one line: id|name|country|location|genres|website|network|favourite|song|streams
QString describe(const Station &s)
{
    QStringList streams;
    for (const StationStream *st : s.streams())
        streams << QStringLiteral("%1,%2,%3").arg(st->url).arg(st->bitrate).arg(st->format);
    return QStringList{s.id(),
                       s.name(),
                       s.country(),
                       s.location(),
                       s.genres(),
                       s.website(),
                       s.network(),
                       s.favorite() ? QStringLiteral("fav") : QString(),
                       s.nowPlaying().IsEmpty() ? QString()
                                                : s.nowPlaying().artist() + u(" - ") + s.nowPlaying().title(),
                       streams.join(QLatin1Char(';'))}
        .join(QLatin1Char('|'));
}

QString describe(const Genre &g)
{
    QString text = g.name();
    if (!g.description().isEmpty())
        text += u("{") + g.description() + u("}");
    if (g.search() != Genre::SearchTerm(g.name()))
        text += u("!search");
    if (g.subgenres()) {
        QStringList subs;
        for (const Genre *sub : *g.subgenres())
            subs << describe(*sub) + (sub->parent() == &g ? QString() : u("!parent"));
        text += u("[") + subs.join(QLatin1Char(',')) + u("]");
    }
    return text;
}

const char *FullStation = "<station>"
                          "<id>17</id><name>Rock &amp; Roll FM</name>"
                          "<streams>"
                          "<stream><url_listen>http://s.example/rock.mp3</url_listen><bitrate>128</bitrate>"
                          "<type>mp3</type></stream>"
                          "<stream><url_listen>http://s.example/rock.aac?x=1&amp;y=2</url_listen>"
                          "<bitrate>64</bitrate><type>mp4</type></stream>"
                          "</streams>"
                          "<genres><genre><name>Rock</name></genre><genre><name>Pop</name></genre></genres>"
                          "<url_website>http://www.rock.example/</url_website>"
                          "<country_name>Germany</country_name><location>Berlin</location>"
                          "<whatsplaying><artist>The Band</artist><song>A &lt;Song&gt;</song></whatsplaying>"
                          "<favorite>true</favorite>"
                          "</station>";

const char *Root = "https://dir.example:8443/";
const char *Key = "?key=Xq7LmP2vR9tKw4ZbN8cYh3JdF6sQaE1uGoV5iTnB";

QByteArray stationReply(int total, int limit, int count)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><stations><results_total>" +
                     QByteArray::number(total) + "</results_total><limit>" + QByteArray::number(limit) +
                     "</limit>";
    for (int i = 1; i <= count; ++i)
        xml += "<station><id>" + QByteArray::number(i) + "</id><name>Station " + QByteArray::number(i) +
               "</name><streams><stream><url_listen>http://s.example/" + QByteArray::number(i) +
               ".mp3</url_listen><bitrate>128</bitrate><type>mp3</type></stream></streams></station>";
    return xml + "</stations>";
}

// A small stand-in for the directory service: it answers by the command in the query.
HttpResponse directory(const HttpRequest &request)
{
    const QUrlQuery q = request.query();
    auto has = [&](const char *key) { return q.hasQueryItem(QString::fromLatin1(key)); };
    auto value = [&](const char *key) {
        return q.queryItemValue(QString::fromLatin1(key), QUrl::FullyDecoded);
    };
    if (value("dir") == QLatin1String("genres"))
        return HttpResponse::ok("<genres><genre><name>Rock</name></genre></genres>");
    if (has("translation"))
        return HttpResponse::ok(
            QString::fromUtf8("<strings><string><text>Play</text><trans>Abspielen ▶</trans>"
                              "</string></strings>")
                .toUtf8());
    if (has("search")) {
        const QStringList parts = value("search").split(QLatin1Char(' '));
        return HttpResponse::ok(
            stationReply(parts.value(0).toInt(), parts.value(1).toInt(), parts.value(2).toInt()));
    }
    if (value("account") == QLatin1String("favorites"))
        return HttpResponse::ok(stationReply(3, 25, 3));
    return HttpResponse::ok("<r><code>1</code><message>ok</message></r>");
}

QStringList *capturedLog = nullptr;
void captureLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (capturedLog)
        capturedLog->append(message);
}
} // namespace

class TestTunoraAPI : public QObject
{
    Q_OBJECT

    std::unique_ptr<TunoraTest::TestCa> m_ca;
    QStringList m_boxes;

    void useServer(HttpServer &server)
    {
        QVERIFY(server.listenTls(m_ca->serverCertificate(), m_ca->serverKey()));
        server.setHandler(directory);
        AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, server.url(u("/")));
    }

    int waitFinished(TunoraAPI &api, int id)
    {
        QSignalSpy finished(&api, &BaseRadioAPI::signal_requestFinished);
        for (int round = 0; round < 100; ++round) {
            for (const auto &args : finished)
                if (args.at(0).toInt() == id)
                    return args.at(1).toBool() ? 1 : 0;
            if (!finished.wait(10000))
                break;
        }
        return -1;
    }

private slots:
    void initTestCase()
    {
        const QString folder = TunoraTest::IsolatedHome::path() + QLatin1String("/app");
        QDir().mkpath(folder);
        AppSettings::setApplicationFolderOverride(folder);
        AppSettings::instance();
        m_ca = std::make_unique<TunoraTest::TestCa>();
        QVERIFY2(m_ca->isValid(), qPrintable(m_ca->error()));
    }

    void init()
    {
        // One settings object, so that the file is written once per test.
        QSettings settings;
        settings.clear();
        settings.setValue(AppSettings::endpointKey(AppSettings::DirectoryRoot), u(Root));
        settings.setValue(u("endpoints/ca_file"), m_ca->caFile());
        m_boxes.clear();
        QHttpExt::settings().messageHook = [this](MessageKind, const QString &, const QString &text,
                                                  QMessageBox::StandardButtons) {
            m_boxes << text;
            return int(QMessageBox::Ok);
        };
    }

    void cleanup() { QHttpExt::settings().messageHook = nullptr; }

    void addresses_data()
    {
        QTest::addColumn<bool>("credentials");
        QTest::addColumn<QStringList>("language"); // code, name
        QTest::addColumn<int>("minBitrate");
        QTest::addColumn<int>("maxBitrate");
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("expected"); // "R" stands for the root and key

        const QString account =
            u("R&user=bob&pass=p%26ss%20w%C3%B6rd&load_network=1&apiv=1.0&lang=de&kbps_min=64"
              "&kbps_max=320&formats=wm,mp3,aac,ac3,ogg");
        const QStringList de = sl({"de", "Deutsch"});
        // 'A': the account part when signed in, 'P': the language when there is one.
        struct Row
        {
            const char *name;
            Command command;
            char kind;
            QString rest;
        };
        const QList<Row> rows = {
            {"search", [](TunoraAPI &a) { return a.searchAddress(u("Café del Mar & más"), 2); }, 'A',
             u("&limit=25&page=2&search=Caf%C3%A9%20del%20Mar%20%26%20m%C3%A1s")},
            {"sign in",
             [](TunoraAPI &a) {
                 a.setCredentials(u("ann"), u("sec ret"));
                 return a.signInAddress();
             },
             'P', u("&account=authenticate&user=ann&pass=sec%20ret")},
            {"song search link", [](TunoraAPI &a) { return a.songSearchLink(u("77")); }, 'A',
             u("&search_itunes={1}+-+{2}&sid=77")},
        };
        for (const Row &row : rows) {
            const QString with = (row.kind == 'A' ? account : u("R&apiv=1.0&lang=de")) + row.rest;
            const QString without = (row.kind == 'A' ? u("R") : u("R&apiv=1.0")) + row.rest;
            QTest::addRow("%s, signed in", row.name) << true << de << 64 << 320 << row.command << with;
            QTest::addRow("%s, no credentials", row.name)
                << false << QStringList() << 0 << 0 << row.command << without;
        }

        auto account_ = [](TunoraAPI &a) { return a.accountAddress(); };
        const QString base = u("R&user=bob&pass=p%26ss%20w%C3%B6rd&load_network=1&apiv=1.0");
        QTest::newRow("max 768 is sent") << true << QStringList() << 0 << 768 << Command(account_)
                                         << base + u("&kbps_max=768&formats=wm,mp3,aac,ac3,ogg");
        QTest::newRow("max 769 is not") << true << QStringList() << 0 << 769 << Command(account_)
                                        << base + u("&formats=wm,mp3,aac,ac3,ogg");
        QTest::newRow("language name without code sends it empty")
            << true << sl({"", "Deutsch"}) << 0 << 0 << Command(account_)
            << base + u("&lang=&formats=wm,mp3,aac,ac3,ogg");
    }

    void addresses()
    {
        QFETCH(bool, credentials);
        QFETCH(QStringList, language);
        QFETCH(int, minBitrate);
        QFETCH(int, maxBitrate);
        QFETCH(Command, command);
        QFETCH(QString, expected);

        {
            // The keys the client reads, written in one go.
            QSettings settings;
            if (credentials) {
                settings.setValue(u("username"), u("bob"));
                settings.setValue(u("password"), u("p&ss wörd"));
            }
            if (!language.isEmpty()) {
                settings.setValue(u("lang_code_bob"), language[0]);
                settings.setValue(u("lang_name_bob"), language[1]);
            }
            settings.setValue(u("MinBitrate"), minBitrate);
            settings.setValue(u("MaxBitrate"), maxBitrate);
        }

        TunoraAPI api;
        const QString root = u(Root) + u(Key);
        QCOMPARE(command(api), root + expected.mid(1));
    }

    void paging_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("replyLimit");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("pageCount");
        QTest::addColumn<int>("lastPageCount");
        QTest::addColumn<int>("onPage");
        QTest::newRow("101, fourth page") << 101 << 25 << 3 << 5 << 1 << 1;
        QTest::newRow("100, fourth page") << 100 << 25 << 3 << 4 << 0 << 25;
        QTest::newRow("10 on one page") << 10 << 25 << 0 << 1 << 10 << 10;
        QTest::newRow("reply without a limit") << 40 << 0 << 0 << 0 << 0 << 25;
    }

    void paging()
    {
        QFETCH(int, total);
        QFETCH(int, replyLimit);
        QFETCH(int, page);
        QFETCH(int, pageCount);
        QFETCH(int, lastPageCount);
        QFETCH(int, onPage);
        HttpServer server;
        useServer(server);
        TunoraAPI api;
        QVERIFY(api.search(QStringLiteral("%1 %2 0").arg(total).arg(replyLimit), page));
        QCOMPARE(api.page(), page);
        QCOMPARE(api.limit(), 25);
        const int id =
            addressHash(api.searchAddress(QStringLiteral("%1 %2 0").arg(total).arg(replyLimit), page));
        QCOMPARE(waitFinished(api, id), 0);
        const QString query = QString::fromUtf8(server.lastRequest().target);
        QVERIFY2(query.contains(QStringLiteral("&limit=25&page=%1&search=").arg(page)), qPrintable(query));
        QCOMPARE(api.resultsTotal(), total);
        QCOMPARE(api.pageCount(), pageCount);
        QCOMPARE(api.lastPageCount(), lastPageCount);
        QCOMPARE(api.resultsOnPage(), onPage);
        // Every command starts with fresh paging numbers.
        api.regionsAddress();
        QCOMPARE(api.resultsTotal(), 0);
        QCOMPARE(api.pageCount(), 0);
    }

    void searchIsAnnouncedUnlessQuiet()
    {
        HttpServer server;
        useServer(server);
        AppSettings::instance().setCredentials(u("bob"), u("secret"));
        TunoraAPI api;
        QSignalSpy started(TunoraAPI::activity(), &DirectoryActivity::requestStarted);
        QSignalSpy ended(TunoraAPI::activity(), &DirectoryActivity::requestEnded);
        api.setQuiet(true);
        QCOMPARE(waitFinished(api, api.requestGenres()), 0);
        QCOMPARE(started.size() + ended.size(), 0);
        QVERIFY(!api.quiet());

        QStringList urls;
        connect(&api, &BaseRadioAPI::signal_stationFound, this,
                [&](const Station *s) { urls << s->currentStream().url; });
        const int id = api.searchStations(u("30 25 12"), 1);
        QCOMPARE(started.size(), 1);
        QCOMPARE(waitFinished(api, id), 0);
        QCOMPARE(urls.size(), 12);
        QCOMPARE(urls.last(), u("http://s.example/12.mp3"));
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.at(0).at(1).toInt(), id);
        QVERIFY(m_boxes.isEmpty());
        const HttpRequest request = server.lastRequest();
        QCOMPARE(request.query().queryItemValue(u("user")), u("bob"));
        QVERIFY(request.header("User-Agent").startsWith("TunoraDE/1.02 (Linux"));
    }

    void translationIsWrittenWhole()
    {
        HttpServer server;
        useServer(server);
        QTemporaryDir dir;
        const QString file = dir.filePath(u("German.xml"));
        TunoraAPI api;
        QVERIFY(api.requestTranslation(u("German.xml"), u("de"), file));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()),
                 u("<strings><string><text>Play</text><trans>Abspielen ▶</trans></string></strings>"));
        // A failed download leaves no file behind.
        server.setHandler([](const HttpRequest &) { return HttpResponse::error(500, "oops"); });
        const QString missing = dir.filePath(u("French.xml"));
        QVERIFY(!api.requestTranslation(u("French.xml"), u("fr"), missing));
        QVERIFY(!QFile::exists(missing));
        QCOMPARE(m_boxes.size(), 1);
    }

    void passwordNeverLogged()
    {
        HttpServer server;
        useServer(server);
        AppSettings::instance().setCredentials(u("bob"), u("Zebra-Secret-42"));
        QStringList log;
        capturedLog = &log;
        const QtMessageHandler previous = qInstallMessageHandler(captureLog);
        {
            TunoraAPI api;
            QCOMPARE(waitFinished(api, api.requestFavorites()), 0);
            QVERIFY(api.checkAccount());
            server.setHandler([](const HttpRequest &) { return HttpResponse::ok("<r><x></r>"); });
            QCOMPARE(waitFinished(api, api.requestFavorites()), 1);
        }
        qInstallMessageHandler(previous);
        capturedLog = nullptr;
        QVERIFY(!log.isEmpty());
        for (const QString &line : std::as_const(log))
            QVERIFY2(!line.contains(u("Zebra-Secret-42")), qPrintable(line));
        QVERIFY(log.join(u("\n")).contains(u("pass=***")));
    }

    void stationList_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("stations");
        QTest::addColumn<QList<quint32>>("paging"); // total, limit, page count, remainder

        QTest::newRow("full station, 101 of 25")
            << u("<r><results_total>101</results_total><limit>25</limit>") + u(FullStation) + u("</r>")
            << QStringList{u(
                   "17|Rock & Roll FM|Germany|Berlin|Rock, Pop|www.rock.example/||fav|The Band - A <Song>|"
                   "http://s.example/rock.mp3,128,1;http://s.example/rock.aac?x=1&y=2,64,3")}
            << QList<quint32>{101, 25, 5, 1};
        QTest::newRow("100 of 25") << u("<r><results_total>100</results_total><limit>25</limit></r>")
                                   << QStringList() << QList<quint32>{100, 25, 4, 0};
        // Stations write their own (possibly empty) name and web site before the network block.
        QTest::newRow("networks by id within a reply")
            << u("<r><station><id>1</id><name>One</name><url_website></url_website><network><id>5</id>"
                 "<name>Net Five</name><url_website>http://net5.example</url_website></network></station>"
                 "<station><id>2</id><network_id>5</network_id></station>"
                 "<station><id>3</id><url_website>http://own.example</url_website><network_id>5</"
                 "network_id></"
                 "station>"
                 "<station><id>4</id><network_id>9</network_id></station></r>")
            << QStringList{u("1|One||||net5.example|Net Five|||"), u("2|||||net5.example|Net Five|||"),
                           u("3|||||own.example|Net Five|||"), u("4|||||||||")}
            << QList<quint32>{0, 0, 0, 0};
        // Escaped markup inside a value stays text: it can never become an element of the station.
        QTest::newRow("escaped markup cannot inject fields")
            << u("<station><name>&lt;id&gt;666&lt;/id&gt;&lt;favorite&gt;true&lt;/favorite&gt;</name><id>7</"
                 "id>"
                 "</station>")
            << QStringList{u("7|<id>666</id><favorite>true</favorite>||||||||")}
            << QList<quint32>{0, 0, 0, 0};
    }

    void stationList()
    {
        QFETCH(QString, reply);
        QFETCH(QStringList, stations);
        QFETCH(QList<quint32>, paging);

        DirectoryReader reader;
        Station working;
        QStringList got;
        const StationPaging p = reader.readStationList(reply, working, [&] { got << describe(working); });
        QCOMPARE(got, stations);
        QCOMPARE((QList<quint32>{p.total, p.limit, p.pageCount, p.remainder}), paging);
        // The working station is left empty for the next reply.
        QVERIFY(working.id().isEmpty() && working.streams().isEmpty());
    }

    void networksAreRememberedAcrossReplies()
    {
        DirectoryReader reader;
        Station working;
        QStringList networks;
        auto announce = [&] { networks << working.network(); };
        reader.readStationList(u("<station><network_id>5</network_id></station>"), working, announce);
        reader.readStationList(u("<station><network><id>5</id><name>Net Five</name></network></station>"),
                               working, announce);
        reader.readStationList(u("<station><network_id>5</network_id></station>"), working, announce);
        QCOMPARE(networks, sl({"", "Net Five", "Net Five"}));
        QCOMPARE(reader.networkName(u("5")), u("Net Five"));
    }

    void genres_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("genres");
        QTest::newRow("tree")
            << u("<?xml version=\"1.0\"?><genres>"
                 "<genre><name>Rock</name><description>Loud &amp;amp; proud</description></genre>"
                 "<genres><genre><name>Indie</name></genre><genres><genre><name>Shoegaze</name></genre></"
                 "genres>"
                 "<genre><name>Hard Rock</name></genre></genres>"
                 "<genre><name>Jazz</name></genre><genres><genre><name>Bebop</name></genre></genres>"
                 "<genre><name>Lonely</name></genre>"
                 "</genres>")
            << sl({"Rock{Loud &amp; proud}[Hard Rock,Indie[Shoegaze]]", "Jazz[Bebop]"});
        QString deep = u("<genres><genre><name>Top</name></genre>");
        for (int i = 0; i < 5000; ++i)
            deep += u("<genres><genre><name>g</name></genre>");
        // Lists nested deeper than the limit are skipped; their genres land one level up.
        QString chain = u("g");
        for (int i = 0; i < DirectoryReader::MaxGenreDepth - 3; ++i)
            chain = u("g[") + chain + u("]");
        QTest::newRow("5000 nested lists") << deep << QStringList{u("Top[") + chain + u("]")};
    }

    void genres()
    {
        QFETCH(QString, reply);
        QFETCH(QStringList, genres);
        DirectoryReader reader;
        QStringList got;
        reader.readGenreList(reply, [&](const Genre &genre) {
            QVERIFY(!genre.parent());
            got << describe(genre);
        });
        QCOMPARE(got, genres);
    }

    void cleanedAddress_data()
    {
        QTest::addColumn<QString>("suffix"); // appended to the server's address
        QTest::addColumn<bool>("resolve");   // through ResolveStation instead of RequestPlaylist

        QTest::newRow("bare CRs and a line feed") << u("/\ra.p\rl\ns") << false;
        QTest::newRow("resolution, CR LF at the end") << u("/a.pls\r\n") << true;
    }

    void cleanedAddress()
    {
        QFETCH(QString, suffix);
        QFETCH(bool, resolve);
        HttpServer server;
        QVERIFY(server.listen());
        server.setResponse(u("/a.pls"),
                           HttpResponse::ok("[playlist]\nFile1=http://h/live\n", "audio/x-scpls"));
        const QString raw = server.baseUrl() + suffix;
        TunoraStream stream;
        QSignalSpy ready(&stream, &BASS::Stream::sig_StreamReady);
        QSignalSpy resolved(&stream, &BASS::Stream::sig_StreamResolved);
        QSignalSpy failed(&stream, &BASS::Stream::sig_StreamError);
        if (resolve) {
            QVERIFY(stream.ResolveStation(raw));
            QVERIFY(resolved.wait(5000));
            QCOMPARE(resolved.first().at(1).toStringList(), QStringList{u("http://h/live")});
        } else {
            QVERIFY(stream.RequestPlaylist(raw));
            QVERIFY(ready.wait(5000));
            QCOMPARE(ready.first().at(2).toString(), QStringLiteral("[playlist]\nFile1=http://h/live\n"));
        }
        QCOMPARE(failed.size(), 0);
        QCOMPARE(server.requestCount(), 1);
        QCOMPARE(server.lastRequest().path(), QStringLiteral("/a.pls"));
    }
};

TUNORA_TEST_MAIN(TestTunoraAPI)
#include "tst_tunoraapi.moc"
