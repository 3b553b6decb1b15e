// Cover art, lyrics and artist information against scripted services on 127.0.0.1: sources,
// candidates whose images fail, the fall-back from source to source, services that answer
// nothing or cannot be reached, a new song during a lookup, and Stop.

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

    // tls: 0 plain http, 1 https with a trusted certificate, 2 with an untrusted one (not found).
    void sourceFound_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("searchPath");
        QTest::addColumn<QStringList>("query"); // name=value pairs the search must carry
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("title"); // of the album information delivered
        QTest::addColumn<int>("tls");
        QTest::addColumn<int>("requests");

        auto shop = [](HttpServer &s, CoverArt &) {
            s.setResponse(u"/amazonsearch.aspx"_s,
                          xml(shopReply({{"Dark Side", s.url(u"/img/shop.png"_s)}})));
            s.setResponse(u"/img/shop.png"_s, image());
        };
        auto trackInfo = [](HttpServer &s, CoverArt &) {
            s.setResponse(u"/2.0/"_s, xml(trackInfoReply(s.url(u"/img/xl.png"_s), QString())));
            s.setResponse(u"/img/xl.png"_s, image());
        };
        auto songSearch = [](HttpServer &s, CoverArt &) {
            s.setResponse(u"/api"_s, json(songSearchReply({{"Dark Side", s.url(u"/img/170.jpg"_s)}})));
            s.setResponse(u"/img/170.jpg"_s, image());
        };
        // clang-format off
    QTest::newRow("shop search over https") << 2 << "/amazonsearch.aspx" << QStringList{u"dest=UK"_s} << Setup(shop) << "Dark Side" << 1 << 2;
    QTest::newRow("track information") << 10 << "/2.0/" << QStringList{u"method=track.getinfo"_s, u"artist=Pink%20Floyd"_s, u"track=Time"_s} << Setup(trackInfo) << "Track Info Album" << 0 << 2;
    QTest::newRow("untrusted certificate") << 11 << "" << QStringList() << Setup(songSearch) << "" << 2 << 0;
        // clang-format on
    }

    void sourceFound()
    {
        QFETCH(int, source);
        QFETCH(QString, searchPath);
        QFETCH(QStringList, query);
        QFETCH(Setup, setup);
        QFETCH(QString, title);
        QFETCH(int, tls);
        QFETCH(int, requests);

        if (tls)
            useTls(tls == 1 ? *m_ca : *m_otherCa);
        setup(*m_server, *m_cover);
        m_cover->setSourceOrder({source});
        QSignalSpy status(m_cover.get(), &CoverArt::sig_statusChanged);
        const QList<int> process = lookUp(u"Time (2011 Remaster)"_s);
        QVERIFY(!m_cover->IsLookingUp());
        QCOMPARE(m_server->requestCount(), requests);
        if (tls == 2) {
            QCOMPARE(process, notFoundSignals);
            return;
        }
        QCOMPARE(process, foundSignals);
        QCOMPARE(values(status).constLast(), int(CoverArt::StatusCoverFound));
        QCOMPARE(m_cover->Image().size(), QSize(40, 30));
        QCOMPARE(m_cover->Pixmap().size(), QSize(40, 30));
        QVERIFY(m_cover->CurrentAlbumInfo().hasImage());
        QCOMPARE(m_cover->CurrentAlbumInfo().title, title);
        const HttpRequest search = m_server->requests().first();
        QCOMPARE(search.path(), searchPath);
        for (const QString &item : query)
            QVERIFY2(search.target.contains(item.toLatin1()), search.target.constData());
    }

    void nextCandidateWhenImageFails_data()
    {
        QTest::addColumn<HttpResponse>("bad");
        QTest::newRow("more bytes than allowed")
            << HttpResponse::ok(QByteArray(64 * 1024, 'x'), "image/jpeg");
        QTest::newRow("too many pixels") << image(CoverReplies::MaxImageSide + 10, 2);
        QTest::newRow("redirect nowhere") << HttpResponse::redirect("file:///etc/passwd");
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
};

TUNORA_TEST_MAIN(TestCoverArt)
#include "tst_coverart.moc"
