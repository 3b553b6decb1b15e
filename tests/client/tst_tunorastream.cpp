// The application's channel: line breaks are taken out of an address before it is downloaded,
// and the settings' service addresses and the station's song search reach the cover-art lookup.

// The test tables spell their texts as plain UTF-8 literals.
#undef QT_NO_CAST_FROM_ASCII

#include "appsettings.h"
#include "httpserver.h"
#include "testmain.h"
#include "tunorastream.h"

#include <QDir>
#include <QSignalSpy>

using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;

namespace {

class SongStream : public TunoraStream
{
public:
    void setSong(const QString &artist, const QString &title)
    {
        QMutexLocker lock(&m_songLock);
        m_song.setArtist(artist);
        m_song.setTitle(title);
    }
};

} // namespace

class TestTunoraStream : public QObject
{
    Q_OBJECT

    HttpServer m_server;

private slots:
    void initTestCase()
    {
        const QString folder = TunoraTest::IsolatedHome::path() + QLatin1String("/app");
        QDir().mkpath(folder);
        AppSettings::setApplicationFolderOverride(folder);
        AppSettings::instance();
        QVERIFY(m_server.listen());
        m_server.setResponse("/a.pls",
                             HttpResponse::ok("[playlist]\nFile1=http://h/live\n", "audio/x-scpls"));
    }

    void cleanedAddress_data()
    {
        QTest::addColumn<QString>("suffix"); // appended to the server's address
        QTest::addColumn<bool>("resolve");   // through ResolveStation instead of RequestPlaylist

        QTest::newRow("CR LF at the end") << "/a.pls\r\n" << false;
        QTest::newRow("a line break inside") << "/a\n.pls" << false;
        QTest::newRow("bare CRs") << "/\ra.p\rls" << false;
        QTest::newRow("resolution, CR LF at the end") << "/a.pls\r\n" << true;
        QTest::newRow("resolution, a line break inside") << "/a.\npls" << true;
    }

    void cleanedAddress()
    {
        QFETCH(QString, suffix);
        QFETCH(bool, resolve);
        m_server.clearRequests();
        const QString raw = m_server.baseUrl() + suffix;
        TunoraStream stream;
        QSignalSpy ready(&stream, &BASS::Stream::sig_StreamReady);
        QSignalSpy resolved(&stream, &BASS::Stream::sig_StreamResolved);
        QSignalSpy failed(&stream, &BASS::Stream::sig_StreamError);
        if (resolve) {
            QVERIFY(stream.ResolveStation(raw));
            QVERIFY(resolved.wait(5000));
            QCOMPARE(resolved.first().at(1).toStringList(), QStringList{"http://h/live"});
        } else {
            QVERIFY(stream.RequestPlaylist(raw));
            QVERIFY(ready.wait(5000));
            QCOMPARE(ready.first().at(2).toString(), QStringLiteral("[playlist]\nFile1=http://h/live\n"));
        }
        QCOMPARE(failed.size(), 0);
        QCOMPARE(m_server.requestCount(), 1);
        QCOMPARE(m_server.lastRequest().path(), QStringLiteral("/a.pls"));
        if (!resolve)
            QCOMPARE(stream.LastRequestedUrl(), raw);
    }

    void coverArtServices()
    {
        HttpServer services;
        QVERIFY(services.listen());
        services.setHandler([](const TunoraTest::HttpRequest &) { return HttpResponse::error(404); });
        AppSettings &settings = AppSettings::instance();
        settings.setEndpoint(AppSettings::Lyrics, services.url("/lyrics"));
        settings.setEndpoint(AppSettings::DirectoryRoot, services.url("/directory/"));
        SongStream stream;
        BASS::Station station;
        station.setId("42");
        stream.SetStation(station);
        stream.setSong("Some Artist", "Some Song");

        stream.DownloadLyrics();
        QTRY_COMPARE(services.requestCount(), 1);
        QCOMPARE(services.lastRequest().path(),
                 QStringLiteral("/lyrics/Some%20Artist/Some%20Song-Lyrics.html"));

        // The first source of a cover lookup is the directory's song search for this station.
        stream.DownloadAlbumInfo();
        QTRY_COMPARE(services.requestCount(), 2);
        const TunoraTest::HttpRequest search = services.lastRequest();
        QVERIFY2(search.path().startsWith(QStringLiteral("/directory/")), qPrintable(search.path()));
        QCOMPARE(search.query().queryItemValue("sid"), QStringLiteral("42"));
        QVERIFY(search.query().hasQueryItem("search_itunes"));
    }
};

TUNORA_TEST_MAIN_CORE(TestTunoraStream)
#include "tst_tunorastream.moc"
