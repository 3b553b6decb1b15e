// Cover art, lyrics and artist information: the lookup addresses and the readers of the services'
// replies, then against scripted services on 127.0.0.1: sources, candidates whose images fail, the
// fall-back from source to source, services that answer nothing or cannot be reached, a new song
// during a lookup, and Stop.

#include "coverart.h"
#include "coverfixture.h"
#include "httpserver.h"
#include "net.h"
#include "testca.h"
#include "testmain.h"

#include <QSignalSpy>
#include <QTemporaryFile>

#include <functional>

using namespace BASS;
using namespace Qt::Literals::StringLiterals;
using TunoraTest::HttpRequest;
using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;

namespace {

using Setup = std::function<void(HttpServer &server, CoverArt &cover)>;

HttpResponse image(int width = 40, int height = 30)
{
    return HttpResponse::ok(TunoraTest::coverPng(width, height), "image/png");
}

HttpResponse xml(const QByteArray &body)
{
    return HttpResponse::ok(body, "text/xml; charset=utf-8");
}

HttpResponse html(const QByteArray &body)
{
    return HttpResponse::ok(body, "text/html; charset=utf-8");
}

HttpResponse json(const QByteArray &body)
{
    return HttpResponse::ok(body, "application/json");
}

HttpResponse held()
{
    HttpResponse r = HttpResponse::ok("<never finished>", "text/plain");
    r.cutAfter = 0;
    r.hold = true;
    return r;
}

QByteArray shopReply(const QList<QPair<QByteArray, QString>> &items)
{
    QByteArray out = "<?xml version=\"1.0\"?><ItemSearchResponse><Items>";
    for (const auto &item : items)
        out += "<Item><DetailPageURL>http://shop.test/dp/" + item.first +
               "</DetailPageURL><LargeImage><URL>" + item.second.toUtf8() +
               "</URL></LargeImage><ItemAttributes><Artist>Pink Floyd</Artist><Title>" + item.first +
               "</Title></ItemAttributes><Tracks><Disc Number=\"1\"><Track Number=\"1\">Time</Track></Disc>"
               "</Tracks></Item>";
    return out + "</Items></ItemSearchResponse>";
}

QByteArray shopItem(const QByteArray &title, const QByteArray &large, const QByteArray &extra = QByteArray())
{
    return "<Item><ASIN>B0001</ASIN><DetailPageURL>http://shop.test/dp/B0001</DetailPageURL>"
           "<SmallImage><URL>http://img.test/s.jpg</URL><Height Units=\"pixels\">75</Height></SmallImage>"
           "<LargeImage><URL>" +
           large + "</URL></LargeImage><ItemAttributes><Artist>Pink Floyd</Artist><Title>" + title +
           "</Title><ReleaseDate>1973-03-01</ReleaseDate></ItemAttributes><OfferSummary><LowestNewPrice>"
           "<FormattedPrice>$9.99</FormattedPrice></LowestNewPrice></OfferSummary>" +
           extra + "</Item>";
}

QByteArray shopItems(const QByteArray &items)
{
    return "<?xml version=\"1.0\"?><ItemSearchResponse><Items><TotalResults>2</TotalResults>" + items +
           "</Items></ItemSearchResponse>";
}

QByteArray trackInfoReply(const QString &extralarge, const QString &medium)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><lfm status=\"ok\"><track><name>Time</name>"
           "<artist><name>Pink Floyd</name></artist><album><artist>Pink Floyd</artist><title>Track Info "
           "Album</title>"
           "<image size=\"medium\">" +
           medium.toUtf8() + "</image><image size=\"extralarge\">" + extralarge.toUtf8() +
           "</image></album></track></lfm>";
}

// The reply of the directory service's song search.
QByteArray songSearchReply(const QList<QPair<QByteArray, QString>> &items)
{
    QByteArray out = R"({"results":[)";
    for (qsizetype i = 0; i < items.size(); ++i)
        out += (i ? "," : "") + QByteArray(R"({"collectionCensoredName":")") + items[i].first +
               R"(","artworkUrl170":")" + items[i].second.toUtf8() + R"("})";
    return out + "]}";
}

Song song(const QString &artist, const QString &title)
{
    Song s;
    s.setArtist(artist);
    s.setTitle(title);
    s.setCoverArtSource(1);
    return s;
}

// The roots of the four album searches; an empty root turns a service off.
void setSearchRoots(CoverArt &cover, const QString &root)
{
    cover.setShopSearchRoot(root);
    cover.setImageSearchRoot(root);
    cover.setTrackInfoRoot(root);
    cover.SetCustomSearchAddress(root.isEmpty() ? root
                                                : root + u"/api?key=K&search_itunes={1}+-+{2}&sid=7"_s);
}

// Every service of the lookup on one scripted server.
void configure(CoverArt &cover, const HttpServer &server)
{
    const QString root = server.baseUrl();
    setSearchRoots(cover, root);
    cover.setLyricsRoot(root + QLatin1String("/lyrics"));
    cover.setArtistWikiRoot(root + QLatin1String("/wiki"));
    cover.setArtistInfoRoot(root + QLatin1String("/info"));
    cover.setWebSearchRoot(u"https://search.test"_s);
    cover.setLookupTimeout(3000);
}

QList<int> values(const QSignalSpy &spy)
{
    QList<int> out;
    for (const QList<QVariant> &args : spy)
        out << args.at(0).toInt();
    return out;
}

// Waits until the spy has recorded value (or the time is over).
bool waitFor(QSignalSpy &spy, int value, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!values(spy).contains(value)) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0 || !spy.wait(left))
            return values(spy).contains(value);
    }
    return true;
}

// True once every transfer of the lookup has reported and the HTTP clients Stop() replaced are
// gone: nothing can reach the lookup any more.
bool settled(const CoverArt &cover)
{
    return QTest::qWaitFor([&] {
        const QList<QHttpExt *> clients = cover.findChildren<QHttpExt *>();
        return clients.size() == 1 && !clients.first()->isRunning();
    });
}

QStringList paths(const HttpServer &server)
{
    QStringList out;
    for (const HttpRequest &r : server.requests())
        out << r.path();
    return out;
}

const QList<int> foundSignals = {CoverArt::LookupStarted, CoverArt::ImageRequested, CoverArt::ImageReady,
                                 CoverArt::LookupEnded};
const QList<int> twoCandidatesSignals = {CoverArt::LookupStarted, CoverArt::ImageRequested,
                                         CoverArt::ImageRequested, CoverArt::ImageReady,
                                         CoverArt::LookupEnded};
const QList<int> notFoundSignals = {CoverArt::LookupStarted, CoverArt::CoverNotFound, CoverArt::LookupEnded};

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(TunoraTest::HttpResponse)

class TestCoverArt : public QObject
{
    Q_OBJECT

    std::unique_ptr<TunoraTest::TestCa> m_ca;
    std::unique_ptr<TunoraTest::TestCa> m_otherCa;
    QStringList m_messages; // message boxes the lookups tried to show
    std::unique_ptr<HttpServer> m_server;
    std::unique_ptr<CoverArt> m_cover;

    // Replaces the plain server by one that speaks TLS with a certificate of this authority.
    void useTls(const TunoraTest::TestCa &ca)
    {
        m_server = std::make_unique<HttpServer>();
        QVERIFY(m_server->listenTls(ca.serverCertificate(), ca.serverKey()));
        configure(*m_cover, *m_server);
    }

    // Looks up Pink Floyd - Time and waits for the end of the lookup.
    QList<int> lookUp(const QString &title = u"Time"_s)
    {
        QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
        m_cover->DownloadAlbumInfo(song(u"Pink Floyd"_s, title));
        waitFor(process, CoverArt::LookupEnded);
        return values(process);
    }

private slots:
    void initTestCase()
    {
        m_ca = std::make_unique<TunoraTest::TestCa>();
        QVERIFY2(m_ca->isValid(), qPrintable(m_ca->error()));
        m_otherCa = std::make_unique<TunoraTest::TestCa>(u"Another CA"_s);
        QVERIFY2(m_otherCa->isValid(), qPrintable(m_otherCa->error()));
    }

    void init()
    {
        m_messages.clear();
        HttpSettings &settings = QHttpExt::settings();
        settings = HttpSettings();
        settings.extraCaCertificates = {m_ca->caCertificate()};
        settings.messageHook = [this](MessageKind, const QString &, const QString &text,
                                      QMessageBox::StandardButtons) {
            m_messages << text;
            return int(QMessageBox::Ok);
        };
        m_server = std::make_unique<HttpServer>();
        QVERIFY(m_server->listen());
        m_cover = std::make_unique<CoverArt>();
        configure(*m_cover, *m_server);
    }

    void cleanup()
    {
        m_cover.reset();
        m_server.reset();
        QHttpExt::settings() = HttpSettings();
        // Lookups run in the background: they never put a message box in front of the listener.
        QCOMPARE(m_messages, QStringList());
    }

    // The shop search over https: found with a certificate of a trusted authority, nothing asked
    // with another one. The first test: the run's first lookup also sets up the TLS backend.
    void overTls_data()
    {
        QTest::addColumn<bool>("trusted");
        QTest::newRow("trusted certificate") << true;
        QTest::newRow("untrusted certificate") << false;
    }

    void overTls()
    {
        QFETCH(bool, trusted);
        useTls(trusted ? *m_ca : *m_otherCa);
        m_server->setResponse(u"/amazonsearch.aspx"_s,
                              xml(shopReply({{"Dark Side", m_server->url(u"/img/shop.png"_s)}})));
        m_server->setResponse(u"/img/shop.png"_s, image());
        m_cover->setSourceOrder({CoverArt::SourceShopUK});
        QSignalSpy status(m_cover.get(), &CoverArt::sig_statusChanged);
        const QList<int> process = lookUp();
        QVERIFY(!m_cover->IsLookingUp());
        QCOMPARE(m_server->requestCount(), trusted ? 2 : 0);
        QCOMPARE(process, trusted ? foundSignals : notFoundSignals);
        if (!trusted)
            return;
        QCOMPARE(values(status).constLast(), int(CoverArt::StatusCoverFound));
        QCOMPARE(m_cover->Pixmap().size(), QSize(40, 30));
        QCOMPARE(m_cover->CurrentAlbumInfo().title, u"Dark Side"_s);
    }

    void nextCandidateWhenImageFails_data()
    {
        QTest::addColumn<HttpResponse>("bad");
        QTest::newRow("more bytes than allowed")
            << HttpResponse::ok(QByteArray(64 * 1024, 'x'), "image/jpeg");
        QTest::newRow("too many pixels") << image(CoverReplies::MaxImageSide + 10, 2);
    }

    void nextCandidateWhenImageFails()
    {
        QFETCH(HttpResponse, bad);
        m_cover->setMaxDownloadSize(32 * 1024);
        m_cover->setSourceOrder({CoverArt::SourceShopUS});
        m_server->setResponse(u"/amazonsearch.aspx"_s,
                              xml(shopReply({{"First", m_server->url(u"/img/bad.jpg"_s)},
                                             {"Second", m_server->url(u"/img/good.jpg"_s)}})));
        m_server->setResponse(u"/img/bad.jpg"_s, bad);
        m_server->setResponse(u"/img/good.jpg"_s, image(20, 10));

        QCOMPARE(lookUp(), twoCandidatesSignals);
        QCOMPARE(m_cover->CurrentAlbumInfo().title, u"Second"_s);
        QCOMPARE(m_cover->CandidateIndex(), 1);
        QCOMPARE(m_cover->Image().size(), QSize(20, 10));
        QCOMPARE(paths(*m_server),
                 (QStringList{u"/amazonsearch.aspx"_s, u"/img/bad.jpg"_s, u"/img/good.jpg"_s}));
    }

    void fallsBackToNextSource()
    {
        // The song search knows nothing, the shop's only image is gone, the web service has a
        // placeholder for the large image and a real medium one.
        m_server->setResponse(u"/api"_s, json(songSearchReply({})));
        m_server->setResponse(u"/amazonsearch.aspx"_s,
                              xml(shopReply({{"Gone", m_server->url(u"/img/gone.jpg"_s)}})));
        m_server->setResponse(u"/2.0/"_s, xml(trackInfoReply(m_server->url(u"/img/default_album_300.png"_s),
                                                             m_server->url(u"/img/medium.png"_s))));
        m_server->setResponse(u"/img/medium.png"_s, image(64, 64));

        QSignalSpy status(m_cover.get(), &CoverArt::sig_statusChanged);
        QCOMPARE(lookUp(), twoCandidatesSignals);
        QCOMPARE(paths(*m_server), (QStringList{u"/api"_s, u"/amazonsearch.aspx"_s, u"/img/gone.jpg"_s,
                                                u"/2.0/"_s, u"/img/medium.png"_s}));
        QCOMPARE(values(status), (QList<int>{CoverArt::StatusSearchingCover, CoverArt::StatusCoverFound}));
        QCOMPARE(m_cover->CurrentAlbumInfo().title, u"Track Info Album"_s);
        QCOMPARE(m_cover->CurrentAlbumInfo().largeImageUrl, QString());
        QCOMPARE(m_cover->Image().size(), QSize(64, 64));
    }

    void notFound_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<int>("searches"); // requests that reach the server

        QTest::newRow("nothing found anywhere") << Setup([](HttpServer &s, CoverArt &) {
            s.setResponse(u"/api"_s, json(songSearchReply({})));
            s.setResponse(u"/amazonsearch.aspx"_s, xml(shopReply({})));
            s.setResponse(u"/2.0/"_s,
                          xml("<lfm status=\"failed\"><error code=\"6\">Track not found</error></lfm>"));
            s.setResponse(u"/images"_s, html("<html>Your search did not match any images.</html>"));
        }) << 4;
        QTest::newRow("connection refused") << Setup([](HttpServer &, CoverArt &c) {
            setSearchRoots(c, u"http://127.0.0.1:%1"_s.arg(TunoraTest::freeTcpPort()));
        }) << 0;
        QTest::newRow("services that never answer") << Setup([](HttpServer &s, CoverArt &c) {
            c.setLookupTimeout(300);
            s.setHandler([](const HttpRequest &) { return held(); });
        }) << 4;
    }

    void notFound()
    {
        QFETCH(Setup, setup);
        QFETCH(int, searches);
        setup(*m_server, *m_cover);

        QSignalSpy status(m_cover.get(), &CoverArt::sig_statusChanged);
        QList<int> seen = lookUp();
        seen.removeAll(CoverArt::ImageRequested);
        QCOMPARE(seen, notFoundSignals);
        QCOMPARE(values(status).constLast(), int(CoverArt::StatusCoverNotFound));
        QVERIFY(m_cover->Image().isNull());
        QVERIFY(!m_cover->CurrentAlbumInfo().hasImage());
        QVERIFY(!m_cover->IsLookingUp());
        QCOMPARE(m_server->requestCount(), searches);
    }

    void newSongAbandonsTheOldLookup()
    {
        m_cover->setSourceOrder({CoverArt::SourceCustom});
        m_server->setHandler([this](const HttpRequest &request) {
            if (request.path() == QLatin1String("/api") && request.target.contains("Old"))
                return held();
            if (request.path() == QLatin1String("/api"))
                return json(songSearchReply({{"New", m_server->url(u"/img/new.png"_s)}}));
            return image();
        });

        QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
        m_cover->DownloadAlbumInfo(song(u"Old"_s, u"Song"_s));
        QTRY_COMPARE(m_server->requestCount(), 1);
        m_cover->DownloadAlbumInfo(song(u"New"_s, u"Song"_s));
        QVERIFY(waitFor(process, CoverArt::LookupEnded));
        m_server->closeAllConnections();
        QVERIFY(settled(*m_cover));

        QCOMPARE(values(process),
                 (QList<int>{CoverArt::LookupStarted, CoverArt::LookupStarted, CoverArt::ImageRequested,
                             CoverArt::ImageReady, CoverArt::LookupEnded}));
        QCOMPARE(m_cover->CurrentAlbumInfo().title, u"New"_s);
    }

    // Stop, called from a receiver of the lookup's own signal while every download is on its way.
    void stop()
    {
        bool holding = true;
        m_server->setHandler([&](const HttpRequest &request) {
            if (holding && request.path() != QLatin1String("/api"))
                return held();
            if (request.path() == QLatin1String("/api"))
                return json(songSearchReply({{"A", m_server->url(u"/img/a.png"_s)}}));
            if (request.path().startsWith(QLatin1String("/img")))
                return image();
            return HttpResponse::error(404);
        });
        m_cover->setSourceOrder({CoverArt::SourceCustom});

        QList<int> afterStop;
        bool stopped = false;
        connect(m_cover.get(), &CoverArt::sig_coverArtProcess, this, [&](CoverArt::coverArtType type) {
            if (stopped)
                afterStop << type;
            else if (holding && type == CoverArt::ImageRequested) {
                stopped = true;
                m_cover->Stop();
            }
        });
        connect(m_cover.get(), &CoverArt::sig_statusChanged, this, [&](CoverArt::status st) {
            if (stopped)
                afterStop << 100 + st;
        });

        const Song s = song(u"Pink Floyd"_s, u"Time"_s);
        m_cover->DownloadArtistInfoFor(s);
        m_cover->DownloadLyrics(s);
        m_cover->DownloadAlbumInfo(s);
        QTRY_VERIFY(stopped);
        QVERIFY(!m_cover->IsLookingUp());
        m_server->closeAllConnections();
        QVERIFY(settled(*m_cover));
        QCOMPARE(afterStop, QList<int>());

        // The object works on after Stop.
        holding = false;
        stopped = false;
        QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
        m_cover->DownloadAlbumInfo(s);
        QVERIFY(waitFor(process, CoverArt::LookupEnded));
        QCOMPARE(values(process), foundSignals);
    }

    void artistInfo_data()
    {
        QTest::addColumn<QString>("artist");
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("text");        // "" when nothing is found
        QTest::addColumn<QStringList>("htmlHas"); // pieces ArtistInfoHtml() must hold
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QString>("address"); // a page asked for directly; "" looks the artist up

        auto page = [](const char *path, const QByteArray &body) {
            return Setup(
                [=](HttpServer &s, CoverArt &) { s.setResponse(QString::fromLatin1(path), html(body)); });
        };
        const QString loop = u"/wiki/music/Loop/+wiki"_s;
        // clang-format off
    QTest::newRow("wiki page") << "Pink Floyd" << page("/wiki/music/Pink+Floyd/+wiki", "<div id=\"wiki\"><b>Pink Floyd</b> were an English band.<p>&lt;img src=x onerror=alert(1)&gt;</p></div>")
        << "Pink Floyd were an English band.\n\n<img src=x onerror=alert(1)>" << QStringList{u"English band.<br><br>&lt;img src=x"_s}
        << QStringList{u"/wiki/music/Pink+Floyd/+wiki"_s} << QString();
    QTest::newRow("redirect loop is cut") << "Loop" << page("/wiki/music/Loop/+wiki", "<meta http-equiv=\"refresh\" content=\"0;url=/wiki/music/Loop/+wiki\">")
        << "" << QStringList{u"Nothing found about Loop"_s} << QStringList{loop, loop, loop, loop, u"/info/artist/Loop"_s} << QString();
    QTest::newRow("redirect to another scheme is not followed") << "Files" << page("/wiki/music/Files/+wiki", "<meta http-equiv=\"refresh\" content=\"0;url=file:///etc/passwd\">")
        << "" << QStringList{u"Nothing found about Files"_s} << QStringList{u"/wiki/music/Files/+wiki"_s, u"/info/artist/Files"_s} << QString();
    QTest::newRow("not found: the name is escaped, the link encoded") << "<script>alert(1)</script> & Co" << Setup()
        << "" << QStringList{u"Nothing found about &lt;script&gt;alert(1)&lt;/script&gt; &amp; Co</b>"_s,
                             u"<a href=\"https://search.test/search?q=%3Cscript%3Ealert%281%29%3C%2Fscript%3E+%26+Co\">"_s}
        << QStringList{u"/wiki/music/%3Cscript%3Ealert%281%29%3C%2Fscript%3E+and+Co/+wiki"_s, u"/info/artist/%3Cscript%3Ealert%281%29%3C%2Fscript%3E%20and%20Co"_s} << QString();
    // "file": a local file that would pass for an artist page if it were read.
    QTest::newRow("a page that is not on the web is not asked for") << "Cher" << Setup() << "" << QStringList{u"Nothing found about Cher"_s} << QStringList() << "file";
        // clang-format on
    }

    void artistInfo()
    {
        QFETCH(QString, artist);
        QFETCH(Setup, setup);
        QFETCH(QString, text);
        QFETCH(QStringList, htmlHas);
        QFETCH(QStringList, requests);
        QFETCH(QString, address);
        if (setup)
            setup(*m_server, *m_cover);

        QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
        QSignalSpy status(m_cover.get(), &CoverArt::sig_statusChanged);
        QTemporaryFile local;
        if (address == QLatin1String("file")) {
            QVERIFY(local.open());
            local.write("<div id=wiki>A local file</div>");
            local.flush();
            address = QUrl::fromLocalFile(local.fileName()).toString();
        }
        if (address.isEmpty())
            m_cover->DownloadArtistInfoFor(song(artist, u"Song"_s));
        else
            m_cover->DownloadArtistInfo(song(artist, u"Song"_s), address.startsWith(QLatin1Char('/'))
                                                                     ? m_server->url(address)
                                                                     : address);
        QVERIFY(waitFor(process, CoverArt::ArtistInfoReady));

        QCOMPARE(values(process), (QList<int>{CoverArt::ArtistInfoStarted, CoverArt::ArtistInfoReady}));
        QCOMPARE(values(status),
                 (QList<int>{CoverArt::StatusSearchingArtist, CoverArt::StatusArtistFinished}));
        QCOMPARE(m_cover->ArtistText(), text);
        QCOMPARE(m_cover->ArtistInfoFound(), !text.isEmpty());
        const QString page = m_cover->ArtistInfoHtml();
        for (const QString &piece : htmlHas)
            QVERIFY2(page.contains(piece), qPrintable(page));
        QVERIFY2(!page.contains(QLatin1String("<script")) && !page.contains(QLatin1String("<img")),
                 qPrintable(page));
        QStringList asked;
        for (const HttpRequest &r : m_server->requests())
            asked << QString::fromLatin1(r.target);
        QCOMPARE(asked, requests);
    }

    void buildLookupUrl_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");

        const QString shop = QStringLiteral("http://shop.test/amazonsearch.aspx?");
        const QString google = QStringLiteral("http://img.test/images?q=");
        const QString safeOn = QStringLiteral("&hl=en&lr=&start=&sa=N&safe=on&filter=0&imgw=300&imgh=300");
        const QString safeOff = QStringLiteral("&hl=en&lr=&start=&sa=N&safe=off&filter=0");
        const QString ws = QStringLiteral(
            "http://ws.test/2.0/?method=track.getinfo&api_key=7d41c0e9a2b85f63d19e0c4a7b2f58e1&");
        const QString custom = QStringLiteral("https://dir.test/?key=K&user=u&search_itunes=");

        // clang-format off
    QTest::newRow("shop US") << 1 << "Pink Floyd" << "Time" << shop + u"artist=Pink%20Floyd&title=Time&dest=US"_s;
    QTest::newRow("live and remastered cut") << 1 << "A" << "Song (Live) [Remastered]" << shop + u"artist=A&title=Song&dest=US"_s;
    QTest::newRow("ampersand becomes and") << 2 << "Simon & Garfunkel" << "Mrs. Robinson" << shop + u"artist=Simon%20and%20Garfunkel&title=Mrs.%20Robinson&dest=UK"_s;
    QTest::newRow("characters that would break the address") << 10 << "A#B" << "x=1&y=2+3" << ws + u"artist=A%23B&track=x%3D1andy%3D2%2B3"_s;
    QTest::newRow("image search quotes the title") << 8 << "Pink Floyd" << "Time" << google + u"Pink+Floyd+%22Time%22"_s + safeOn;
    QTest::newRow("image search without safe search") << 9 << "Pink Floyd" << "Time" << google + u"Pink+Floyd+Time"_s + safeOff;
    QTest::newRow("song search fills artist and title") << 11 << "Pink Floyd" << "Wish You Were Here" << custom + u"Pink+Floyd+-+Wish+You+Were+Here&sid=7"_s;
    QTest::newRow("unknown source") << 7 << "A" << "B" << "";
        // clang-format on
    }

    void buildLookupUrl()
    {
        QFETCH(int, source);
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(QString, expected);

        CoverArt cover;
        cover.setShopSearchRoot(QStringLiteral("http://shop.test/"));
        cover.setImageSearchRoot(QStringLiteral("http://img.test"));
        cover.setTrackInfoRoot(QStringLiteral("http://ws.test//"));
        cover.SetCustomSearchAddress(
            QStringLiteral("https://dir.test/?key=K&user=u&search_itunes={1}+-+{2}&sid=7"));
        QCOMPARE(cover.BuildLookupUrl(source, artist, title), expected);

        // A service without a root is never asked.
        CoverArt unconfigured;
        QCOMPARE(unconfigured.BuildLookupUrl(source, artist, title), QString());
    }

    void amazonService_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("firstLarge");
        QTest::addColumn<QString>("firstDetail");
        QTest::addColumn<QStringList>("firstTracks"); // "disc.track title"

        const QByteArray tracks = "<Tracks><Disc Number=\"1\"><Track Number=\"1\">Speak to Me</Track>"
                                  "<Track Number=\"2\">Breathe</Track></Disc><Disc Number=\"2\">"
                                  "<Track Number=\"1\">Time</Track></Disc></Tracks>";
        const QString dp = u"http://shop.test/dp/B0001"_s;
        // clang-format off
    QTest::newRow("items with discs and tracks") << shopItems(shopItem("Dark Side", "http://img.test/l.jpg", tracks) + shopItem("Wall", "http://img.test/w.jpg"))
        << QStringList{u"Dark Side"_s, u"Wall"_s} << "http://img.test/l.jpg" << dp << QStringList{u"1.1 Speak to Me"_s, u"1.2 Breathe"_s, u"2.1 Time"_s};
    QTest::newRow("disc and track numbers that are not numbers are skipped")
        << shopItems(shopItem("A", "http://img.test/a.jpg", "<Tracks><Disc Number=\"x\"><Track Number=\"1\">T</Track></Disc>"
                              "<Disc Number=\"1\"><Track Number=\"-3\">U</Track><Track Number=\"4\">V</Track></Disc></Tracks>"))
        << QStringList{u"A"_s} << "http://img.test/a.jpg" << dp << QStringList{u"1.4 V"_s};
    QTest::newRow("an item without any image is no candidate") << shopItems("<Item><ItemAttributes><Title>None</Title></ItemAttributes></Item>" + shopItem("B", "http://img.test/b.jpg"))
        << QStringList{u"B"_s} << "http://img.test/b.jpg" << dp << QStringList();
        // clang-format on
    }

    void amazonService()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QStringList, titles);
        QFETCH(QString, firstLarge);
        QFETCH(QString, firstDetail);
        QFETCH(QStringList, firstTracks);

        const QList<AlbumInfo> found = CoverReplies::readAmazonService(xml);
        QStringList gotTitles;
        for (const AlbumInfo &a : found)
            gotTitles << a.title;
        QCOMPARE(gotTitles, titles);
        if (found.isEmpty())
            return;
        const AlbumInfo &first = found.first();
        QCOMPARE(first.largeImageUrl, firstLarge);
        QCOMPARE(first.detailPageUrl, firstDetail);
        QVERIFY(!first.imageUrl().isEmpty());
        QStringList gotTracks;
        for (auto d = first.tracks.cbegin(); d != first.tracks.cend(); ++d)
            for (auto t = d.value().cbegin(); t != d.value().cend(); ++t)
                gotTracks << QStringLiteral("%1.%2 %3").arg(d.key()).arg(t.key()).arg(t.value());
        QCOMPARE(gotTracks, firstTracks);
    }

    void googleImages_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QStringList>("urls");

        // clang-format off
    QTest::newRow("http and https") << "<a href=\"/imgres?u=1\"><img src=\"http://a.test/one.jpg\"></a><img src=\"https://b.test/two.jpg?w=300\">"
                                    << QStringList{u"http://a.test/one.jpg"_s, u"https://b.test/two.jpg?w=300"_s};
        // clang-format on
    }

    void googleImages()
    {
        QFETCH(QString, html);
        QFETCH(QStringList, urls);
        QStringList got;
        for (const AlbumInfo &a : CoverReplies::readGoogleImages(html, QStringLiteral("A - B"))) {
            QCOMPARE(a.smallImageUrl, a.largeImageUrl);
            QCOMPARE(a.mediumImageUrl, a.largeImageUrl);
            QCOMPARE(a.text, QStringLiteral("A - B"));
            got << a.largeImageUrl;
        }
        QCOMPARE(got, urls);
    }

    // Pages read as text. reader: 't' plain text of any page, 'l' lyrics, 'a' artist page (its
    // redirect follows a '>' in the expected text).
    void pages_data()
    {
        QTest::addColumn<char>("reader");
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        // clang-format off
    QTest::newRow("line breaks") << 't' << "one<br>two<BR/>three" << "one\ntwo\nthree";
    QTest::newRow("paragraphs") << 't' << "<p>one</p>\n<p>two</p>" << "one\n\ntwo";
    QTest::newRow("scripts and styles go with their content") << 't' << "a<script type=\"x\">document.write('<b>')</script>b<style>p{}</style>c" << "abc";
    QTest::newRow("entities") << 't' << "&lt;b&gt; &amp; &quot;q&quot; &#233;&#x263A; &nbsp;x" << "<b> & \"q\" \u00e9\u263a x";
    QTest::newRow("'>' inside a quoted attribute") << 't' << "<a title=\"x>y\">link</a>" << "link";
    QTest::newRow("many blank lines") << 't' << "a<br><br><br><br>b" << "a\n\nb";
    QTest::newRow("lyrics found") << 'l' << "<html><table><tr><td class=\"td2\">menu</td><td class=\"td1\">Line one<br>"
                              "Line &amp; two<br><br>Verse <i>two</i></td></tr></table><p>footer</p></html>" << "Line one\nLine & two\n\nVerse two";
    QTest::newRow("markup and script never pass") << 'l' << "<td class=td1><img src=x onerror=alert(1)>Hi<script>alert(2)</script>&lt;b&gt;</td></table>" << "Hi<b>";
    QTest::newRow("no lyrics cell") << 'l' << "<html><td class=\"td12\">x</td></html>" << "";
    QTest::newRow("wiki") << 'a' << "<div id=\"header\">x</div><div id=\"wiki\"><b>Pink Floyd</b> were a band.<p>Formed "
           "1965.</p></div><div>more</div>" << "Pink Floyd were a band.\n\nFormed 1965.>";
    QTest::newRow("side bar up to the hidden part") << 'a' << "<div id=\"staticSideBarContents\"><p>Biography</p><span>Born</span><p>1946</p>"
           "<div style=\"display: none\">hidden</div></div>" << "Biography\n\nBorn\n\n1946>";
    QTest::newRow("meta refresh") << 'a' << "<html><head><META HTTP-EQUIV=\"Refresh\" CONTENT=\"0; URL='/music/X/+wiki'\">"
           "</head></html>" << ">/music/X/+wiki";
        // clang-format on
    }

    void pages()
    {
        QFETCH(char, reader);
        QFETCH(QString, html);
        QString got;
        if (reader == 't') {
            got = CoverReplies::htmlToPlainText(html);
        } else if (reader == 'l') {
            got = CoverReplies::readLyrics(html);
        } else {
            const CoverReplies::ArtistPage page = CoverReplies::readArtistPage(html);
            got = page.text + QLatin1Char('>') + page.redirect;
        }
        QTEST(got, "text");
    }
};

TUNORA_TEST_MAIN(TestCoverArt)
#include "tst_coverart.moc"
