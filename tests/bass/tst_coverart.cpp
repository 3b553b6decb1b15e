// Cover art: the lookup addresses and the readers of the services' replies, then against scripted
// services on 127.0.0.1: sources, candidates without an image or whose images fail, the fall-back
// from source to source, services that answer nothing or cannot be reached, a new song during a
// lookup, and Stop.

#include "coverart.h"
#include "coverfixture.h"
#include "httpserver.h"
#include "net.h"
#include "testca.h"
#include "testmain.h"

#include <QSignalSpy>

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
        out += "<Item><DetailPageURL>http://shop.test/dp/" + item.first.toPercentEncoding() +
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
bool waitFor(const QSignalSpy &spy, int value)
{
    return QTest::qWaitFor([&] { return values(spy).contains(value); }, 10000);
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
        QCOMPARE(m_cover->CurrentAlbumInfo().detailPageUrl, u"http://shop.test/dp/Dark%20Side"_s);
    }

    void nextCandidateWhenImageFails_data()
    {
        QTest::addColumn<HttpResponse>("bad");
        QTest::newRow("more bytes than allowed")
            << HttpResponse::ok(QByteArray(64 * 1024, 'x'), "image/jpeg");
        QTest::newRow("too many pixels") << image(CoverReplies::MaxImageSide + 10, 2);
    }

    // An item without any image is no candidate; one whose image fails gives way to the next.
    void nextCandidateWhenImageFails()
    {
        QFETCH(HttpResponse, bad);
        m_cover->setMaxDownloadSize(32 * 1024);
        m_cover->setSourceOrder({CoverArt::SourceShopUS});
        m_server->setResponse(u"/amazonsearch.aspx"_s,
                              xml(shopReply({{"No image", QString()},
                                             {"First", m_server->url(u"/img/bad.jpg"_s)},
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

    // Image search pages: http and https images, each one candidate whose sizes are one address.
    void googleImages()
    {
        const QString page = u"<a href=\"/imgres?u=1\"><img src=\"http://a.test/one.jpg\"></a>"
                             u"<img src=\"https://b.test/two.jpg?w=300\">"_s;
        QStringList got;
        for (const AlbumInfo &a : CoverReplies::readGoogleImages(page, u"A - B"_s)) {
            QCOMPARE(a.smallImageUrl, a.largeImageUrl);
            QCOMPARE(a.mediumImageUrl, a.largeImageUrl);
            QCOMPARE(a.text, u"A - B"_s);
            got << a.largeImageUrl;
        }
        QCOMPARE(got, (QStringList{u"http://a.test/one.jpg"_s, u"https://b.test/two.jpg?w=300"_s}));
    }

    // Pages read as plain text (the track information's album text).
    void plainText_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        // clang-format off
    QTest::newRow("line breaks") << "one<br>two<BR/>three" << "one\ntwo\nthree";
    QTest::newRow("paragraphs") << "<p>one</p>\n<p>two</p>" << "one\n\ntwo";
    QTest::newRow("scripts and styles go with their content") << "a<script type=\"x\">document.write('<b>')</script>b<style>p{}</style>c" << "abc";
    QTest::newRow("entities") << "&lt;b&gt; &amp; &quot;q&quot; &#233;&#x263A; &nbsp;x" << "<b> & \"q\" \u00e9\u263a x";
    QTest::newRow("'>' inside a quoted attribute") << "<a title=\"x>y\">link</a>" << "link";
    QTest::newRow("many blank lines") << "a<br><br><br><br>b" << "a\n\nb";
        // clang-format on
    }

    void plainText()
    {
        QFETCH(QString, html);
        QTEST(CoverReplies::htmlToPlainText(html), "text");
    }
};

TUNORA_TEST_MAIN(TestCoverArt)
#include "tst_coverart.moc"
