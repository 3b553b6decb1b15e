// Cover art, lyrics and artist information against scripted services on 127.0.0.1: every source
// with the reply shapes it reads, candidates whose images fail, the fall-back from source to
// source, services that answer nothing or cannot be reached, repeated lookups and Stop.

#include "coverart.h"
#include "httpserver.h"
#include "net.h"
#include "testca.h"
#include "testmain.h"

#include <QBuffer>
#include <QSignalSpy>

#include <functional>

using namespace BASS;
using namespace Qt::Literals::StringLiterals;
using TunoraTest::HttpRequest;
using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;

namespace {

using Setup = std::function<void(HttpServer &server, CoverArt &cover)>;

QByteArray png(int width, int height, QColor color = Qt::darkCyan)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

HttpResponse image(int width = 40, int height = 30)
{
    return HttpResponse::ok(png(width, height), "image/png");
}

HttpResponse xml(const QByteArray &body)
{
    return HttpResponse::ok(body, "text/xml; charset=utf-8");
}

HttpResponse html(const QByteArray &body)
{
    return HttpResponse::ok(body, "text/html; charset=utf-8");
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

QByteArray imagePage(const QStringList &urls)
{
    QByteArray out = "<html><body><table>";
    for (const QString &u : urls)
        out += "<td><a href=\"/imgres?imgurl=x\"><img src=\"" + u.toUtf8() + "\" width=120></a></td>";
    return out + "</table></body></html>";
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
    QByteArray out = R"({"resultCount":)" + QByteArray::number(items.size()) + R"(,"results":[)";
    for (qsizetype i = 0; i < items.size(); ++i)
        out += (i ? "," : "") +
               QByteArray(R"({"wrapperType":"track","kind":"song","artistName":"Pink Floyd",)") +
               R"("trackName":"Time","collectionCensoredName":")" + items[i].first + R"(","artworkUrl60":")" +
               items[i].second.toUtf8() + R"(","artworkUrl100":")" + items[i].second.toUtf8() +
               R"(","artworkUrl170":")" + items[i].second.toUtf8() +
               R"(","trackViewUrl":"https://shop.test/album/1","previewUrl":"https://audio.test/p.m4a",)"
               R"("primaryGenreName":"Rock"})";
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

// Every service of the lookup on one scripted server.
void configure(CoverArt &cover, const HttpServer &server)
{
    const QString root = server.baseUrl();
    cover.setShopSearchRoot(root);
    cover.setImageSearchRoot(root);
    cover.setTrackInfoRoot(root);
    cover.setLyricsRoot(root + QLatin1String("/lyrics"));
    cover.setArtistWikiRoot(root + QLatin1String("/wiki"));
    cover.setArtistInfoRoot(root + QLatin1String("/info"));
    cover.setWebSearchRoot(QStringLiteral("https://search.test"));
    cover.SetCustomSearchAddress(server.url(QStringLiteral("/api?key=K&search_itunes={1}+-+{2}&sid=7")));
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

QStringList paths(const HttpServer &server)
{
    QStringList out;
    for (const HttpRequest &r : server.requests())
        out << r.path();
    return out;
}

const QList<int> foundSignals = {CoverArt::LookupStarted, CoverArt::ImageRequested, CoverArt::ImageReady,
                                 CoverArt::LookupEnded};
const QList<int> notFoundSignals = {CoverArt::LookupStarted, CoverArt::CoverNotFound, CoverArt::LookupEnded};

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(TunoraTest::HttpResponse)

class TestCoverArt : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sourceFound_data();
    void sourceFound();
    void nextCandidateWhenImageFails_data();
    void nextCandidateWhenImageFails();
    void imageBehindRedirect();
    void untrustedCertificateIsNotFound();
    void fallsBackToNextSource();
    void notFound_data();
    void notFound();
    void repeatedLookupForSameSong();
    void newSongAbandonsTheOldLookup();
    void stop_data();
    void stop();

    void lyrics_data();
    void lyrics();
    void artistInfo_data();
    void artistInfo();

private:
    // Replaces the plain server by one that speaks TLS with a certificate of this authority.
    void useTls(const TunoraTest::TestCa &ca);

    std::unique_ptr<TunoraTest::TestCa> m_ca;
    std::unique_ptr<TunoraTest::TestCa> m_otherCa;
    QStringList m_messages; // message boxes the lookups tried to show
    std::unique_ptr<HttpServer> m_server;
    std::unique_ptr<CoverArt> m_cover;
};

void TestCoverArt::initTestCase()
{
    m_ca = std::make_unique<TunoraTest::TestCa>();
    QVERIFY2(m_ca->isValid(), qPrintable(m_ca->error()));
    m_otherCa = std::make_unique<TunoraTest::TestCa>(QStringLiteral("Another CA"));
    QVERIFY2(m_otherCa->isValid(), qPrintable(m_otherCa->error()));
}

void TestCoverArt::init()
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

void TestCoverArt::cleanup()
{
    m_cover.reset();
    m_server.reset();
    QHttpExt::settings() = HttpSettings();
    // Lookups run in the background: they never put a message box in front of the listener.
    QCOMPARE(m_messages, QStringList());
}

void TestCoverArt::useTls(const TunoraTest::TestCa &ca)
{
    m_server = std::make_unique<HttpServer>();
    QVERIFY(m_server->listenTls(ca.serverCertificate(), ca.serverKey()));
    configure(*m_cover, *m_server);
}

// ---------------------------------------------------------------------------------------------

void TestCoverArt::sourceFound_data()
{
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("searchPath");
    QTest::addColumn<QStringList>("query"); // name=value pairs the search must carry
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("title"); // of the album information delivered
    QTest::addColumn<bool>("tls");

    auto shop = [](HttpServer &s, CoverArt &) {
        s.setResponse(QStringLiteral("/amazonsearch.aspx"),
                      xml(shopReply({{"Dark Side", s.url(QStringLiteral("/img/shop.png"))}})));
        s.setResponse(QStringLiteral("/img/shop.png"), image());
    };
    auto google = [](HttpServer &s, CoverArt &) {
        s.setResponse(QStringLiteral("/images"), html(imagePage({s.url(QStringLiteral("/img/cover.jpg"))})));
        s.setResponse(QStringLiteral("/img/cover.jpg"), image());
    };
    QTest::newRow("shop search US") << 1 << "/amazonsearch.aspx"
                                    << QStringList{u"artist=Pink%20Floyd"_s, u"title=Time"_s, u"dest=US"_s}
                                    << Setup(shop) << "Dark Side" << false;
    QTest::newRow("shop search Japan")
        << 5 << "/amazonsearch.aspx" << QStringList{u"dest=JP"_s} << Setup(shop) << "Dark Side" << false;
    QTest::newRow("image search, safe")
        << 8 << "/images" << QStringList{u"q=Pink+Floyd+%22Time%22"_s, u"safe=on"_s} << Setup(google) << ""
        << false;
    QTest::newRow("image search") << 9 << "/images" << QStringList{u"q=Pink+Floyd+Time"_s, u"safe=off"_s}
                                  << Setup(google) << "" << false;
    QTest::newRow("track information")
        << 10 << "/2.0/" << QStringList{u"method=track.getinfo"_s, u"artist=Pink%20Floyd"_s, u"track=Time"_s}
        << Setup([](HttpServer &s, CoverArt &) {
               s.setResponse(QStringLiteral("/2.0/"),
                             xml(trackInfoReply(s.url(QStringLiteral("/img/xl.png")), QString())));
               s.setResponse(QStringLiteral("/img/xl.png"), image());
           })
        << "Track Info Album" << false;
    auto songSearch = [](HttpServer &s, CoverArt &) {
        s.setResponse(
            QStringLiteral("/api"),
            HttpResponse::ok(songSearchReply({{"Dark Side", s.url(QStringLiteral("/img/170.jpg"))}}),
                             "application/json"));
        s.setResponse(QStringLiteral("/img/170.jpg"), image());
    };
    QTest::newRow("directory song search")
        << 11 << "/api" << QStringList{u"search_itunes=Pink+Floyd+-+Time"_s, u"sid=7"_s} << Setup(songSearch)
        << "Dark Side" << false;
    QTest::newRow("directory song search over https")
        << 11 << "/api" << QStringList{u"sid=7"_s} << Setup(songSearch) << "Dark Side" << true;
    QTest::newRow("shop search over https")
        << 2 << "/amazonsearch.aspx" << QStringList{u"dest=UK"_s} << Setup(shop) << "Dark Side" << true;
}

void TestCoverArt::sourceFound()
{
    QFETCH(int, source);
    QFETCH(QString, searchPath);
    QFETCH(QStringList, query);
    QFETCH(Setup, setup);
    QFETCH(QString, title);
    QFETCH(bool, tls);

    if (tls)
        useTls(*m_ca);
    QCOMPARE(m_server->baseUrl().startsWith(QLatin1String("https:")), tls);
    setup(*m_server, *m_cover);
    m_cover->setSourceOrder({source});
    QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
    QSignalSpy status(m_cover.get(), &CoverArt::sig_statusChanged);
    m_cover->DownloadAlbumInfo(song(QStringLiteral("Pink Floyd"), QStringLiteral("Time (2011 Remaster)")));
    QVERIFY(m_cover->IsLookingUp());
    QVERIFY(waitFor(process, CoverArt::LookupEnded));

    QCOMPARE(values(process), foundSignals);
    QCOMPARE(values(status).constLast(), int(CoverArt::StatusCoverFound));
    QVERIFY(!m_cover->IsLookingUp());
    QCOMPARE(m_cover->Image().size(), QSize(40, 30));
    QCOMPARE(m_cover->Pixmap().size(), QSize(40, 30));
    const AlbumInfo album = m_cover->CurrentAlbumInfo();
    QVERIFY(album.hasImage());
    QCOMPARE(album.title, title);

    const QList<HttpRequest> requests = m_server->requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].path(), searchPath);
    const QString target = QString::fromLatin1(requests[0].target);
    for (const QString &item : query)
        QVERIFY2(target.contains(item), qPrintable(target));
}

void TestCoverArt::nextCandidateWhenImageFails_data()
{
    QTest::addColumn<HttpResponse>("bad");
    HttpResponse cut = image();
    cut.cutAfter = 40;
    QTest::newRow("404") << HttpResponse::error(404, "<html>Not found</html>");
    QTest::newRow("not an image") << html("<html><body>Image moved</body></html>");
    QTest::newRow("more bytes than allowed") << HttpResponse::ok(QByteArray(64 * 1024, 'x'), "image/jpeg");
    QTest::newRow("too many pixels") << image(CoverReplies::MaxImageSide + 10, 2);
    QTest::newRow("connection cut") << cut;
    QTest::newRow("redirect nowhere") << HttpResponse::redirect("file:///etc/passwd");
}

void TestCoverArt::nextCandidateWhenImageFails()
{
    QFETCH(HttpResponse, bad);
    m_cover->setMaxDownloadSize(32 * 1024);
    m_cover->setSourceOrder({CoverArt::SourceShopUS});
    m_server->setResponse(QStringLiteral("/amazonsearch.aspx"),
                          xml(shopReply({{"First", m_server->url(QStringLiteral("/img/bad.jpg"))},
                                         {"Second", m_server->url(QStringLiteral("/img/good.jpg"))}})));
    m_server->setResponse(QStringLiteral("/img/bad.jpg"), bad);
    m_server->setResponse(QStringLiteral("/img/good.jpg"), image(20, 10));

    QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
    m_cover->DownloadAlbumInfo(song(QStringLiteral("Pink Floyd"), QStringLiteral("Time")));
    QVERIFY(waitFor(process, CoverArt::LookupEnded));

    QCOMPARE(values(process),
             (QList<int>{CoverArt::LookupStarted, CoverArt::ImageRequested, CoverArt::ImageRequested,
                         CoverArt::ImageReady, CoverArt::LookupEnded}));
    QCOMPARE(m_cover->CurrentAlbumInfo().title, QStringLiteral("Second"));
    QCOMPARE(m_cover->CandidateIndex(), 1);
    QCOMPARE(m_cover->Image().size(), QSize(20, 10));
    QCOMPARE(paths(*m_server), (QStringList{u"/amazonsearch.aspx"_s, u"/img/bad.jpg"_s, u"/img/good.jpg"_s}));
}

void TestCoverArt::imageBehindRedirect()
{
    m_cover->setSourceOrder({CoverArt::SourceCustom});
    m_server->setResponse(
        QStringLiteral("/api"),
        HttpResponse::ok(songSearchReply({{"Moved", m_server->url(QStringLiteral("/img/old.jpg"))}}),
                         "application/json"));
    m_server->setResponse(QStringLiteral("/img/old.jpg"), HttpResponse::redirect("/img/new.png", 301));
    m_server->setResponse(QStringLiteral("/img/new.png"), image(8, 8));

    QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
    m_cover->DownloadAlbumInfo(song(QStringLiteral("Pink Floyd"), QStringLiteral("Time")));
    QVERIFY(waitFor(process, CoverArt::LookupEnded));
    QCOMPARE(values(process), foundSignals);
    QCOMPARE(m_cover->Image().size(), QSize(8, 8));
    QCOMPARE(m_cover->CurrentAlbumInfo().title, QStringLiteral("Moved"));
}

void TestCoverArt::untrustedCertificateIsNotFound()
{
    useTls(*m_otherCa);
    m_cover->setSourceOrder({CoverArt::SourceCustom});
    m_server->setResponse(
        QStringLiteral("/api"),
        HttpResponse::ok(songSearchReply({{"A", m_server->url(QStringLiteral("/img/a.png"))}}),
                         "application/json"));
    m_server->setResponse(QStringLiteral("/img/a.png"), image());

    QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
    m_cover->DownloadAlbumInfo(song(QStringLiteral("Pink Floyd"), QStringLiteral("Time")));
    QVERIFY(waitFor(process, CoverArt::LookupEnded));
    QCOMPARE(values(process), notFoundSignals);
    QCOMPARE(m_server->requestCount(), 0);
}

void TestCoverArt::fallsBackToNextSource()
{
    // The song search knows nothing, the shop's only image is gone, the web service has a
    // placeholder for the large image and a real medium one.
    m_server->setResponse(QStringLiteral("/api"), HttpResponse::ok(songSearchReply({}), "application/json"));
    m_server->setResponse(QStringLiteral("/amazonsearch.aspx"),
                          xml(shopReply({{"Gone", m_server->url(QStringLiteral("/img/gone.jpg"))}})));
    m_server->setResponse(QStringLiteral("/2.0/"),
                          xml(trackInfoReply(m_server->url(QStringLiteral("/img/default_album_300.png")),
                                             m_server->url(QStringLiteral("/img/medium.png")))));
    m_server->setResponse(QStringLiteral("/img/medium.png"), image(64, 64));

    QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
    QSignalSpy status(m_cover.get(), &CoverArt::sig_statusChanged);
    m_cover->DownloadAlbumInfo(song(QStringLiteral("Pink Floyd"), QStringLiteral("Time")));
    QVERIFY(waitFor(process, CoverArt::LookupEnded));

    QCOMPARE(paths(*m_server), (QStringList{u"/api"_s, u"/amazonsearch.aspx"_s, u"/img/gone.jpg"_s,
                                            u"/2.0/"_s, u"/img/medium.png"_s}));
    QCOMPARE(values(process),
             (QList<int>{CoverArt::LookupStarted, CoverArt::ImageRequested, CoverArt::ImageRequested,
                         CoverArt::ImageReady, CoverArt::LookupEnded}));
    QCOMPARE(values(status), (QList<int>{CoverArt::StatusSearchingCover, CoverArt::StatusCoverFound}));
    QCOMPARE(m_cover->CurrentAlbumInfo().title, QStringLiteral("Track Info Album"));
    QCOMPARE(m_cover->CurrentAlbumInfo().largeImageUrl, QString());
    QCOMPARE(m_cover->Image().size(), QSize(64, 64));
}

void TestCoverArt::notFound_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<int>("searches"); // requests that reach the server

    QTest::newRow("nothing found anywhere") << Setup([](HttpServer &s, CoverArt &) {
        s.setResponse(QStringLiteral("/api"), HttpResponse::ok(songSearchReply({}), "application/json"));
        s.setResponse(QStringLiteral("/amazonsearch.aspx"), xml(shopReply({})));
        s.setResponse(QStringLiteral("/2.0/"),
                      xml("<lfm status=\"failed\"><error code=\"6\">Track not found</error></lfm>"));
        s.setResponse(QStringLiteral("/images"), html("<html>Your search did not match any images.</html>"));
    }) << 4;
    QTest::newRow("server errors") << Setup([](HttpServer &s, CoverArt &) {
        s.setHandler([](const HttpRequest &) { return HttpResponse::error(503, "<html>busy</html>"); });
    }) << 4;
    QTest::newRow("malformed replies") << Setup([](HttpServer &s, CoverArt &) {
        s.setResponse(QStringLiteral("/api"),
                      HttpResponse::ok("{\"results\":[{\"artworkUrl170\":", "application/json"));
        s.setResponse(QStringLiteral("/amazonsearch.aspx"),
                      xml("<Items><Item><LargeImage><URL>http://x.test/a.jpg"));
        s.setResponse(QStringLiteral("/2.0/"), xml(QByteArray(5000, '<')));
        s.setResponse(QStringLiteral("/images"), html(QByteArray("\x00\xff.jpg\"", 7)));
    }) << 4;
    QTest::newRow("every candidate image fails") << Setup([](HttpServer &s, CoverArt &c) {
        c.setSourceOrder({CoverArt::SourceShopUS});
        s.setResponse(QStringLiteral("/amazonsearch.aspx"),
                      xml(shopReply({{"A", s.url(QStringLiteral("/img/a.jpg"))},
                                     {"B", s.url(QStringLiteral("/img/b.jpg"))}})));
    }) << 3;
    QTest::newRow("connection refused") << Setup([](HttpServer &, CoverArt &c) {
        const QString closed = QStringLiteral("http://127.0.0.1:%1").arg(TunoraTest::freeTcpPort());
        c.setShopSearchRoot(closed);
        c.setImageSearchRoot(closed);
        c.setTrackInfoRoot(closed);
        c.SetCustomSearchAddress(closed + QLatin1String("/api?search_itunes={1}+-+{2}"));
    }) << 0;
    QTest::newRow("services that never answer") << Setup([](HttpServer &s, CoverArt &c) {
        c.setLookupTimeout(300);
        s.setHandler([](const HttpRequest &) { return held(); });
    }) << 4;
    QTest::newRow("no service configured") << Setup([](HttpServer &, CoverArt &c) {
        c.setShopSearchRoot(QString());
        c.setImageSearchRoot(QString());
        c.setTrackInfoRoot(QString());
        c.SetCustomSearchAddress(QString());
    }) << 0;
}

void TestCoverArt::notFound()
{
    QFETCH(Setup, setup);
    QFETCH(int, searches);
    setup(*m_server, *m_cover);

    QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
    QSignalSpy status(m_cover.get(), &CoverArt::sig_statusChanged);
    m_cover->DownloadAlbumInfo(song(QStringLiteral("Nobody"), QStringLiteral("Nothing")));
    QVERIFY(waitFor(process, CoverArt::LookupEnded));

    QList<int> seen = values(process);
    seen.removeAll(CoverArt::ImageRequested);
    QCOMPARE(seen, notFoundSignals);
    QCOMPARE(values(status).constLast(), int(CoverArt::StatusCoverNotFound));
    QVERIFY(m_cover->Image().isNull());
    QVERIFY(!m_cover->CurrentAlbumInfo().hasImage());
    QVERIFY(!m_cover->IsLookingUp());
    QCOMPARE(m_server->requestCount(), searches);
}

void TestCoverArt::repeatedLookupForSameSong()
{
    m_cover->setSourceOrder({CoverArt::SourceCustom});
    HttpResponse slow = HttpResponse::ok(
        songSearchReply({{"Slow", m_server->url(QStringLiteral("/img/s.png"))}}), "application/json");
    slow.chunkSize = 64;
    slow.chunkDelayMs = 40;
    m_server->setResponse(QStringLiteral("/api"), slow);
    HttpResponse slowImage = image();
    slowImage.chunkSize = 16;
    slowImage.chunkDelayMs = 40;
    m_server->setResponse(QStringLiteral("/img/s.png"), slowImage);

    QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
    const Song s = song(QStringLiteral("Pink Floyd"), QStringLiteral("Time"));
    m_cover->DownloadAlbumInfo(s);
    QVERIFY(m_cover->IsDownloading(DownloadInfo::AlbumSearch, s));
    m_cover->DownloadAlbumInfo(s);
    QVERIFY(waitFor(process, CoverArt::ImageRequested));
    m_cover->DownloadAlbumInfo(s); // while its image is on its way
    QVERIFY(waitFor(process, CoverArt::LookupEnded));
    QTest::qWait(100);

    QCOMPARE(values(process), foundSignals);
    QCOMPARE(paths(*m_server), (QStringList{u"/api"_s, u"/img/s.png"_s}));
}

void TestCoverArt::newSongAbandonsTheOldLookup()
{
    m_cover->setSourceOrder({CoverArt::SourceCustom});
    m_server->setHandler([this](const HttpRequest &request) {
        if (request.path() == QLatin1String("/api") && request.target.contains("Old"))
            return held();
        if (request.path() == QLatin1String("/api"))
            return HttpResponse::ok(songSearchReply({{"New", m_server->url(QStringLiteral("/img/new.png"))}}),
                                    "application/json");
        return image();
    });

    QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
    m_cover->DownloadAlbumInfo(song(QStringLiteral("Old"), QStringLiteral("Song")));
    QTRY_COMPARE(m_server->requestCount(), 1);
    m_cover->DownloadAlbumInfo(song(QStringLiteral("New"), QStringLiteral("Song")));
    QVERIFY(waitFor(process, CoverArt::LookupEnded));
    m_server->closeAllConnections();
    QTest::qWait(100);

    QCOMPARE(values(process),
             (QList<int>{CoverArt::LookupStarted, CoverArt::LookupStarted, CoverArt::ImageRequested,
                         CoverArt::ImageReady, CoverArt::LookupEnded}));
    QCOMPARE(m_cover->CurrentAlbumInfo().title, QStringLiteral("New"));
}

void TestCoverArt::stop_data()
{
    QTest::addColumn<int>("stopOn"); // a signal whose receiver stops the lookup; -1: stopped while waiting
    QTest::newRow("while every download waits") << -1;
    QTest::newRow("from the start of the lookup") << int(CoverArt::LookupStarted);
    QTest::newRow("when the image is asked for") << int(CoverArt::ImageRequested);
    QTest::newRow("when lyrics are asked for") << int(CoverArt::LyricsStarted);
}

void TestCoverArt::stop()
{
    QFETCH(int, stopOn);
    bool holding = true;
    m_server->setHandler([&](const HttpRequest &request) {
        if (holding && (stopOn == -1 || request.path().startsWith(QLatin1String("/img"))))
            return held();
        if (request.path() == QLatin1String("/api"))
            return HttpResponse::ok(songSearchReply({{"A", m_server->url(QStringLiteral("/img/a.png"))}}),
                                    "application/json");
        if (request.path().startsWith(QLatin1String("/lyrics")))
            return html("<td class=td1>la la</td></table>");
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
        else if (type == stopOn) {
            stopped = true;
            m_cover->Stop();
        }
    });
    connect(m_cover.get(), &CoverArt::sig_statusChanged, this, [&](CoverArt::status st) {
        if (stopped)
            afterStop << 100 + st;
    });

    // The call whose signal stops everything comes last: the test itself calls nothing afterwards.
    const Song s = song(QStringLiteral("Pink Floyd"), QStringLiteral("Time"));
    m_cover->DownloadArtistInfoFor(s);
    if (stopOn == CoverArt::LyricsStarted) {
        m_cover->DownloadAlbumInfo(s);
        m_cover->DownloadLyrics(s);
    } else {
        m_cover->DownloadLyrics(s);
        m_cover->DownloadAlbumInfo(s);
    }
    if (stopOn == -1) {
        QTRY_COMPARE(m_server->requestCount(), 3);
        stopped = true;
        m_cover->Stop();
    }
    QTRY_VERIFY(stopped);
    QVERIFY(!m_cover->IsLookingUp());
    m_server->closeAllConnections();
    QTest::qWait(300);
    QCOMPARE(afterStop, QList<int>());

    // The object works on after Stop.
    holding = false;
    stopOn = -2;
    stopped = false;
    QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
    m_cover->DownloadAlbumInfo(s);
    QVERIFY(waitFor(process, CoverArt::LookupEnded));
    QCOMPARE(values(process), foundSignals);
}

// ---------------------------------------------------------------------------------------------

void TestCoverArt::lyrics_data()
{
    QTest::addColumn<HttpResponse>("page");
    QTest::addColumn<bool>("configured");
    QTest::addColumn<QString>("lyrics");
    QTest::addColumn<int>("finalStatus");

    QTest::newRow("found")
        << html("<html><table><tr><td class=\"td1\">Hello darkness<br>my old friend<script>x()"
                "</script></td></tr></table></html>")
        << true << "Hello darkness\nmy old friend" << int(CoverArt::StatusLyricsFound);
    QTest::newRow("page without lyrics") << html("<html><p>We do not have these lyrics yet.</p></html>")
                                         << true << "" << int(CoverArt::StatusLyricsNotFound);
    QTest::newRow("missing page") << HttpResponse::error(404, "<td class=\"td1\">error page</td>") << true
                                  << "" << int(CoverArt::StatusLyricsNotFound);
    QTest::newRow("no lyrics site configured")
        << html("") << false << "" << int(CoverArt::StatusLyricsNotFound);
}

void TestCoverArt::lyrics()
{
    QFETCH(HttpResponse, page);
    QFETCH(bool, configured);
    QFETCH(QString, lyrics);
    QFETCH(int, finalStatus);

    if (!configured)
        m_cover->setLyricsRoot(QString());
    m_server->setResponse(
        QStringLiteral("/lyrics/Simon%20and%20Garfunkel/The%20Sound%20of%20Silence-Lyrics.html"), page);
    QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
    QSignalSpy status(m_cover.get(), &CoverArt::sig_statusChanged);
    m_cover->DownloadLyrics(
        song(QStringLiteral("Simon & Garfunkel"), QStringLiteral("The Sound of Silence")));
    QVERIFY(waitFor(process, CoverArt::LyricsReady));

    QCOMPARE(values(process), (QList<int>{CoverArt::LyricsStarted, CoverArt::LyricsReady}));
    QCOMPARE(values(status), (QList<int>{CoverArt::StatusSearchingLyrics, finalStatus}));
    QCOMPARE(m_cover->LyricsText(), lyrics);
    QCOMPARE(m_cover->LyricsFound(), !lyrics.isEmpty());
    QCOMPARE(m_server->requestCount(), configured ? 1 : 0);
}

void TestCoverArt::artistInfo_data()
{
    QTest::addColumn<QString>("artist");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("text");         // "" when nothing is found
    QTest::addColumn<QStringList>("htmlHas");  // pieces ArtistInfoHtml() must hold
    QTest::addColumn<QStringList>("requests"); // paths asked for, in order

    QTest::newRow("wiki page") << "Pink Floyd" << Setup([](HttpServer &s, CoverArt &) {
        s.setResponse(QStringLiteral("/wiki/music/Pink+Floyd/+wiki"),
                      html("<div id=\"wiki\"><b>Pink Floyd</b> were an English band.<p>&lt;img src=x "
                           "onerror=alert(1)&gt;</p></div>"));
    }) << "Pink Floyd were an English band.\n\n<img src=x onerror=alert(1)>"
                               << QStringList{u"English band.<br><br>&lt;img src=x"_s}
                               << QStringList{u"/wiki/music/Pink+Floyd/+wiki"_s};
    QTest::newRow("no wiki, the information page")
        << "Beatles, The" << Setup([](HttpServer &s, CoverArt &) {
               s.setResponse(QStringLiteral("/info/artist/The%20Beatles"),
                             html("<div id=\"staticSideBarContents\"><p>Liverpool</p><p>1960</p>"
                                  "<div style=\"display:none\">hidden</div></div>"));
           })
        << "Liverpool\n\n1960" << QStringList{u"Liverpool<br><br>1960"_s}
        << QStringList{u"/wiki/music/The+Beatles/+wiki"_s, u"/info/artist/The%20Beatles"_s};
    QTest::newRow("redirecting page") << "Cher" << Setup([](HttpServer &s, CoverArt &) {
        s.setResponse(QStringLiteral("/wiki/music/Cher/+wiki"),
                      html("<html><head><meta http-equiv=\"refresh\" content=\"0;url=/wiki/moved/Cher\">"
                           "</head></html>"));
        s.setResponse(QStringLiteral("/wiki/moved/Cher"), html("<div id=wiki>Singer.</div>"));
    }) << "Singer." << QStringList{u"Singer."_s}
                                      << QStringList{u"/wiki/music/Cher/+wiki"_s, u"/wiki/moved/Cher"_s};
    QTest::newRow("redirect loop is cut")
        << "Loop" << Setup([](HttpServer &s, CoverArt &) {
               s.setResponse(QStringLiteral("/wiki/music/Loop/+wiki"),
                             html("<meta http-equiv=\"refresh\" content=\"0;url=/wiki/music/Loop/+wiki\">"));
           })
        << "" << QStringList{u"Nothing found about Loop"_s}
        << QStringList{u"/wiki/music/Loop/+wiki"_s, u"/wiki/music/Loop/+wiki"_s, u"/wiki/music/Loop/+wiki"_s,
                       u"/wiki/music/Loop/+wiki"_s, u"/info/artist/Loop"_s};
    QTest::newRow("redirect to another scheme is not followed")
        << "Files" << Setup([](HttpServer &s, CoverArt &) {
               s.setResponse(QStringLiteral("/wiki/music/Files/+wiki"),
                             html("<meta http-equiv=\"refresh\" content=\"0;url=file:///etc/passwd\">"));
           })
        << "" << QStringList{u"Nothing found about Files"_s}
        << QStringList{u"/wiki/music/Files/+wiki"_s, u"/info/artist/Files"_s};
    QTest::newRow("not found: the name is escaped, the link encoded")
        << "<script>alert(1)</script> & Co" << Setup([](HttpServer &, CoverArt &) {}) << ""
        << QStringList{u"Nothing found about &lt;script&gt;alert(1)&lt;/script&gt; &amp; Co</b>"_s,
                       u"<a href=\"https://search.test/search?q=%3Cscript%3Ealert%281%29%3C%2Fscript%3E+%26+Co\">"_s}
        << QStringList{u"/wiki/music/%3Cscript%3Ealert%281%29%3C%2Fscript%3E+and+Co/+wiki"_s,
                       u"/info/artist/%3Cscript%3Ealert%281%29%3C%2Fscript%3E%20and%20Co"_s};
}

void TestCoverArt::artistInfo()
{
    QFETCH(QString, artist);
    QFETCH(Setup, setup);
    QFETCH(QString, text);
    QFETCH(QStringList, htmlHas);
    QFETCH(QStringList, requests);
    setup(*m_server, *m_cover);

    QSignalSpy process(m_cover.get(), &CoverArt::sig_coverArtProcess);
    QSignalSpy status(m_cover.get(), &CoverArt::sig_statusChanged);
    m_cover->DownloadArtistInfoFor(song(artist, QStringLiteral("Song")));
    QVERIFY(waitFor(process, CoverArt::ArtistInfoReady));

    QCOMPARE(values(process), (QList<int>{CoverArt::ArtistInfoStarted, CoverArt::ArtistInfoReady}));
    QCOMPARE(values(status), (QList<int>{CoverArt::StatusSearchingArtist, CoverArt::StatusArtistFinished}));
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

TUNORA_TEST_MAIN(TestCoverArt)
#include "tst_coverart.moc"
