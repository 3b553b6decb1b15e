// Station stream resolution (the rules from a station's address through playlist documents to
// the stream addresses, and over a local HTTP server), the Qt channel and its connect thread:
// messages reaching the GUI thread, the end of a cover-art lookup with the channel, address lists,
// aborts in each state, effects changed while it connects, the advertising relay skipped, and
// the mono fold-down set before a channel exists. Notifications are watched as a GUI receiver
// gets them.

// The test tables spell their texts as plain UTF-8 literals.
#undef QT_NO_CAST_FROM_ASCII

#include "bassinit.h"
#include "bassqt.h"
#include "httpblocking.h"
#include "httpserver.h"
#include "media.h"
#include "scriptedserver.h"
#include "stream.h"
#include "testmain.h"
#include "threads.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QThread>

#include <memory>

using namespace BASS;
using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;
using TunoraTest::Media;
using TunoraTest::ScriptedServer;
using Script = ScriptedServer::Script;
using Documents = QMap<QString, QString>;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What a receiver on the GUI thread hears of a channel.
class EventLog : public QObject
{
public:
    explicit EventLog(BassQt *channel)
    {
        connect(channel, &BassQt::sig_bassEvent, this, [this, channel](BassQt *stream, uint msg, uint) {
            if (stream == channel && QThread::currentThread() == thread())
                m_messages.append(msg);
        });
    }
    int count(uint msg) const { return int(m_messages.count(msg)); }

private:
    QList<uint> m_messages;
};

// The paths of the requests in the order they first came.
QStringList firstRequests(const ScriptedServer &server)
{
    QStringList paths;
    for (const QByteArray &request : server.requests()) {
        const QList<QByteArray> words = request.split(' ');
        const QString path = words.size() > 1 ? QString::fromLatin1(words[1]) : QString();
        if (!paths.contains(path))
            paths.append(path);
    }
    return paths;
}

// A channel whose song a test may set.
class TestChannel : public BassQt
{
public:
    ~TestChannel() override { Stop(0); }
    void setSong(const QString &artist, const QString &title)
    {
        QMutexLocker lock(&m_songLock);
        m_song.setArtist(artist);
        m_song.setTitle(title);
    }
};

// What a receiver on the GUI thread hears of the cover-art relays of one channel.
class CoverLog : public QObject
{
public:
    explicit CoverLog(BassQt *channel)
    {
        connect(channel, &BassQt::sig_coverArtReady, this,
                [this, channel](BassQt *from, CoverArt::coverArtType t) {
                    if (from == channel)
                        types.append(t);
                });
    }
    QList<CoverArt::coverArtType> types;
};

// A chain of `levels` playlists on host h, each pointing at the next, the last at a stream.
Documents chain(int levels)
{
    Documents docs;
    for (int i = 1; i <= levels; ++i) {
        const QString next =
            i == levels ? QStringLiteral("http://h/live") : QStringLiteral("http://h/l%1.pls").arg(i + 1);
        docs.insert(QStringLiteral("http://h/l%1.pls").arg(i),
                    QStringLiteral("[playlist]\nFile1=%1\n").arg(next));
    }
    return docs;
}

} // namespace

Q_DECLARE_METATYPE(PlaylistResolution::Step::Kind)

class TestBassQt : public QObject
{
    Q_OBJECT

    QByteArray m_mp3;
    QString m_wav;
    ScriptedServer m_server;
    HttpServer m_web; // playlists and documents

    QString webUrl(const QString &path) const { return m_web.url(path); }

    // /live* serve the MP3 stream, /silent* accept and never answer, everything else is 404.
    ScriptedServer::Handler handler() const
    {
        const QByteArray audio =
            ScriptedServer::header("ICY 200 OK", {"Content-Type: audio/mpeg", "icy-name: Test"}) + m_mp3;
        return [audio](int, const QByteArray &request) {
            if (request.startsWith("GET /live"))
                return Script{ScriptedServer::send(audio), ScriptedServer::hold()};
            if (request.startsWith("GET /silent"))
                return Script{ScriptedServer::hold()};
            return Script{ScriptedServer::send(ScriptedServer::header("HTTP/1.0 404 Not Found")),
                          ScriptedServer::close()};
        };
    }

    QString url(const QByteArray &path) const { return QString::fromLatin1(m_server.url(path)); }

    // Runs the thread once and waits for its end as the main window hears of it.
    static bool runOnce(QtBassConnectThread &thread, int timeoutMs = 15000)
    {
        QSignalSpy finished(&thread, &QtBassConnectThread::signal_Finished);
        thread.start();
        return finished.wait(timeoutMs) && finished.first().at(0).value<BassQt *>() == thread.Stream();
    }

private slots:
    void initTestCase()
    {
        Media::Recipe recipe;
        recipe.format = Media::Mp3;
        recipe.seconds = 6.0;
        recipe.extra = QStringList{QStringLiteral("-write_xing"), QStringLiteral("0"),
                                   QStringLiteral("-id3v2_version"), QStringLiteral("0")};
        QString error;
        m_mp3 = readFile(Media::make(recipe, &error));
        QVERIFY2(!m_mp3.isEmpty(), qPrintable(error));
        m_wav = Media::tone(Media::Wav, 5.0, 440, 660, 0.5, &error);
        QVERIFY2(!m_wav.isEmpty(), qPrintable(error));
        QVERIFY2(InitAudioEngine(&error, 2, true, 1000, "Tunora/1.02", nullptr, 0), qPrintable(error));
        QVERIFY(m_server.start(handler()));
        QVERIFY(m_web.listen());
    }

    void init() { m_web.clearRequests(); }

    void cleanupTestCase()
    {
        m_server.stop();
        BASS_Free();
    }

    // paths: the list to open ("" entries: none, the station's own address is opened);
    // opened: the path of the channel, "" when nothing opened.
    void run_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("firstAsked");

        // clang-format off
        QTest::newRow("first fails, second opens") << QStringList{"/missing-1", "/live-2"} << "/live-2" << "/missing-1";
        QTest::newRow("all fail") << QStringList{"/missing-1", "/missing-2"} << "" << "/missing-1";
        QTest::newRow("no list: the station's address") << QStringList() << "/live-station" << "/live-station";
        // clang-format on
    }

    void run()
    {
        QFETCH(QStringList, paths);
        QFETCH(QString, opened);
        QFETCH(QString, firstAsked);
        Stream channel;
        channel.SetFadeTimes(0, 0);
        EventLog log(&channel);
        Station station;
        StationStream entry;
        entry.url = url("/live-station");
        station.addStream(entry, true);
        channel.SetStation(station);
        QStringList urls;
        for (const QString &path : paths)
            urls << url(path.toLatin1());
        channel.SetUrls(urls);
        QtBassConnectThread thread(&channel);
        const qsizetype before = m_server.requests().size();
        QVERIFY(runOnce(thread));
        QVERIFY(!thread.WasAborted());
        // The server logs a request when it has read it all: under load two connections opened one
        // after the other may be logged in either order, so the first address is looked for among
        // the run's requests.
        QList<QByteArray> asked;
        for (const QByteArray &request : m_server.requests().mid(before))
            asked << request.split(' ').value(1);
        // A run right after another's failure on the same address connects again (a new thread
        // may get the ended one's id and must not inherit what that one remembered).
        if (!firstAsked.isEmpty())
            QVERIFY2(asked.contains(firstAsked.toLatin1()), asked.join(", ").constData());
        QCOMPARE(channel.HasChannel(), !opened.isEmpty());
        if (opened.isEmpty()) {
            QVERIFY(channel.GetLastErrorCode() != 0);
            QVERIFY(!channel.GetErrorText().isEmpty());
            return;
        }
        QCOMPARE(channel.CurrentUrlText(), url(opened.toLatin1()));
        QCOMPARE(channel.GetLastErrorCode(), 0);
        QTRY_COMPARE(log.count(EventPlaying), 1);
        QVERIFY(channel.Stop(0));
    }

    // A server that accepts and never answers: the abort ends the run at once with 0x8080 and
    // the rest of the list is not tried.
    void abortWhileConnecting()
    {
        Stream channel;
        EventLog log(&channel);
        QtBassConnectThread thread(&channel);
        channel.SetUrls({url("/silent-1"), url("/live-after-abort")});
        QSignalSpy finished(&thread, &QtBassConnectThread::signal_Finished);
        const int before = int(m_server.requests().size());
        thread.start();
        QTRY_VERIFY_WITH_TIMEOUT(m_server.requests().size() > before, 10000);
        QVERIFY(thread.isRunning()); // waiting for an answer that never comes
        thread.Abort();
        QVERIFY(finished.wait(5000));
        QVERIFY(thread.WasAborted());
        QVERIFY(!channel.HasChannel());
        QCOMPARE(channel.GetLastErrorCode(), 0);
        QTRY_COMPARE(log.count(EventConnectAborted), 1);
        QCOMPARE(log.count(EventPlaying), 0);
        for (const QByteArray &request : m_server.requests().mid(before))
            QVERIFY(!request.contains("live-after-abort"));

        // The next run is not aborted any more, even when it is started through the base class.
        channel.SetUrls({url("/live-3")});
        channel.SetFadeTimes(0, 0);
        QSignalSpy again(&thread, &QtBassConnectThread::signal_Finished);
        static_cast<QThread &>(thread).start();
        QVERIFY(again.wait(15000));
        QVERIFY(!thread.WasAborted());
        QVERIFY(channel.HasChannel());
        QVERIFY(channel.Stop(0));
    }

    // An abort that comes right after the start is not lost, however the two threads interleave.
    void abortRightAfterStart()
    {
        Stream channel;
        EventLog log(&channel);
        QtBassConnectThread thread(&channel);
        channel.SetUrls({url("/live-4")});
        QSignalSpy finished(&thread, &QtBassConnectThread::signal_Finished);
        thread.start();
        thread.Abort();
        QVERIFY(finished.wait(10000));
        QVERIFY(thread.WasAborted());
        QVERIFY(!channel.HasChannel());
        QTRY_COMPARE(log.count(EventConnectAborted), 1);
        QCOMPARE(log.count(EventPlaying), 0);
    }

    // The window changes the gain and mono on the GUI thread while the connect thread opens,
    // pre-buffers and fades in, and aborts at some moment of it: every run ends with the
    // compressor on the playing channel, set as last asked, or gone together with the channel.
    void effectsWhileConnecting_data()
    {
        QTest::addColumn<int>("abortAfterMs");
        QTest::newRow("abort at once") << 0;
        QTest::newRow("abort while fading in") << 250;
        QTest::newRow("no abort") << -1;
    }
    void effectsWhileConnecting()
    {
        QFETCH(int, abortAfterMs);
        Stream channel;
        channel.SetFadeTimes(500, 0);
        QtBassConnectThread thread(&channel);
        for (int run = 0; run < 4; ++run) {
            channel.SetUrls({url("/live-fx")});
            QSignalSpy finished(&thread, &QtBassConnectThread::signal_Finished);
            QElapsedTimer clock;
            clock.start();
            thread.start();
            bool abortSent = false;
            for (int step = 0; finished.isEmpty(); ++step) {
                QVERIFY2(clock.elapsed() < 20000, "the run did not end");
                channel.ApplyGain(2 + step % 5);
                channel.SetMono(step % 2 == 0);
                if (!abortSent && abortAfterMs >= 0 && clock.elapsed() >= abortAfterMs) {
                    thread.Abort();
                    abortSent = true;
                }
                QTest::qWait(2);
            }
            if (abortAfterMs < 0)
                QVERIFY(channel.HasChannel());
            if (channel.HasChannel()) {
                channel.ApplyGain(4);
                BASS_DX8_COMPRESSOR parameters{};
                QVERIFY(channel.FXGetParameters(&parameters));
                QCOMPARE(parameters.fGain, 4.0f);
                QVERIFY(channel.Stop(0));
            }
            QCOMPARE(channel.CompressorHandle(), HFX(0));
            QVERIFY(!channel.FXGetParameters(nullptr));
        }
    }

    // Forwards, the advertising relay of a list is skipped.
    void advertisingRelaySkipped()
    {
        ScriptedServer server;
        QVERIFY(server.start(handler()));
        auto at = [&](const char *path) { return QString::fromLatin1(server.url(path)); };
        Stream channel;
        QtBassConnectThread thread(&channel);
        channel.SetUrls({at("/a"), at("/b-adinjector"), at("/c")});
        QVERIFY(runOnce(thread));
        QCOMPARE(firstRequests(server), (QStringList{"/a", "/c"}));
    }

    // A recording error raised on another thread is shown on the GUI thread, escaped.
    void messages()
    {
        QStringList boxes;
        HttpSettings &settings = QHttpExt::settings();
        settings.messageHook = [&](MessageKind kind, const QString &, const QString &text,
                                   QMessageBox::StandardButtons) {
            if (kind == MessageKind::Warning && QThread::currentThread() == qApp->thread())
                boxes.append(text);
            return int(QMessageBox::Ok);
        };
        BassQt channel;
        std::unique_ptr<QThread> thread(
            QThread::create([&] { channel.ReportRecordingError(1, QStringLiteral("<b>disk</b> & more")); }));
        thread->start();
        QVERIFY(thread->wait(5000));
        QTRY_COMPARE(boxes.size(), 1);
        settings.messageHook = nullptr;
        QVERIFY2(boxes[0].contains(QStringLiteral("&lt;b&gt;disk&lt;/b&gt; &amp; more")),
                 qPrintable(boxes[0]));
    }

    // Stopping the channel ends the lookup of its song, also when it is stopped on another thread.
    void stopEndsCoverLookup()
    {
        HttpServer server;
        QVERIFY(server.listen());
        HttpResponse never = HttpResponse::ok(QByteArray(100, 'x'), "text/html");
        never.cutAfter = 0;
        never.hold = true; // the page never comes
        server.setHandler([never](const TunoraTest::HttpRequest &) { return never; });
        TestChannel channel;
        channel.SetFadeTimes(0, 0);
        CoverLog log(&channel);
        channel.CoverArtObject()->setLyricsRoot(server.baseUrl());
        channel.CoverArtObject()->setLookupTimeout(60000);
        QVERIFY(channel.OpenFile(m_wav, 0, true));
        channel.setSong(QStringLiteral("Some Artist"), QStringLiteral("Some Song"));
        channel.DownloadLyrics();
        QTRY_COMPARE(server.requestCount(), 1);
        QVERIFY(channel.CoverArtObject()->IsDownloading(DownloadInfo::LyricsPage, channel.CurrentSong()));
        // The stop gives the lookup a fresh HTTP client; the old one, gone, can report nothing more.
        const QPointer<QHttpExt> client = channel.CoverArtObject()->findChild<QHttpExt *>();
        QVERIFY(client);
        std::unique_ptr<QThread> thread(QThread::create([&] { channel.Stop(0); }));
        thread->start();
        QVERIFY(thread->wait(5000));
        QTRY_VERIFY(
            !channel.CoverArtObject()->IsDownloading(DownloadInfo::LyricsPage, channel.CurrentSong()));
        QTRY_VERIFY(client.isNull());
        QVERIFY(!log.types.contains(CoverArt::LyricsReady));
        server.closeAllConnections();
        QCoreApplication::processEvents(); // the server frees a connection its client ended later
    }

    // The switch outlives the channel: a channel opened later is folded before it is heard.
    void monoForLaterChannels()
    {
        Media::Recipe recipe;
        recipe.format = Media::Wav;
        recipe.seconds = 10.0;
        recipe.left = "0.6*sin(2*PI*440*t)";
        recipe.right = "0";
        const QString path = Media::make(recipe);
        QVERIFY(!path.isEmpty());
        Stream stream;
        stream.SetFadeTimes(0, 0);
        stream.SetMono(true); // no channel yet
        QVERIFY(stream.OpenFile(path, 0, true));
        QVERIFY(stream.IsPlaying());
        // The level is 0 until the output has played the first block, however long that takes.
        int left = 0, right = 0;
        QTRY_VERIFY_WITH_TIMEOUT((stream.ReadLevels(&left, &right), left > 0), 8000);
        // Unfolded audio reads 60/0 and never passes; folded, each side is near half of it.
        int sumLeft = 0, sumRight = 0;
        for (int i = 0; i < 5; ++i) {
            stream.ReadLevels(&left, &right);
            sumLeft += left;
            sumRight += right;
        }
        QVERIFY2(
            qAbs(sumLeft / 5 - 30) <= 2 && qAbs(sumRight / 5 - 30) <= 2,
            qPrintable(QStringLiteral("levels %1 %2, expected 30 30").arg(sumLeft / 5).arg(sumRight / 5)));
        QVERIFY(stream.Stop(0));
    }

    void resolution_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<Documents>("documents");
        QTest::addColumn<PlaylistResolution::Step::Kind>("kind");
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<QStringList>("downloads");

        using Step = PlaylistResolution::Step;
        const QStringList fiveLevels{"http://h/l1.pls", "http://h/l2.pls", "http://h/l3.pls",
                                     "http://h/l4.pls", "http://h/l5.pls"};
        const QString live = QStringLiteral("http://h/live");

        // clang-format off
        QTest::newRow("a stream address is opened as it is") << live << Documents{} << Step::Open << QStringList{live} << QStringList{};
        QTest::newRow("a station address with a control character is refused") << QStringLiteral("http://h/a\x01.pls") << Documents{} << Step::Fail << QStringList{} << QStringList{};

        QTest::newRow("m3u to pls to stream") << "http://h/a.m3u" << Documents{{"http://h/a.m3u", "#EXTM3U\n#EXTINF:-1,x\nhttp://h/b.pls\n"},
                         {"http://h/b.pls", "[playlist]\nFile1=http://h/live\nFile2=http://h/backup\n"}} << Step::Open << QStringList{live, "http://h/backup"} << QStringList{"http://h/a.m3u", "http://h/b.pls"};
        QTest::newRow("asx entries, clientskip advertising left out") << "http://h/a.asx" << Documents{{"http://h/a.asx",
                          "<asx><entry clientskip=\"yes\"><ref href=\"http://ad/x\"/></entry>"
                          "<entry><ref href=\"mms://h/live\"/></entry></asx>"}} << Step::Open << QStringList{"mms://h/live"} << QStringList{"http://h/a.asx"};
        QTest::newRow("a page with a media source") << "http://h/player.php" << Documents{{"http://h/player.php", "<html>\n<embed media src=\"http://h/live\">\n</html>\n"}} << Step::Open << QStringList{live} << QStringList{"http://h/player.php"};
        QTest::newRow("mms, mmsh, mmst and rtsp entries are kept") << "http://h/a.m3u" << Documents{{"http://h/a.m3u", "mms://h/1\nmmsh://h/2\nmmst://h/3\nrtsp://h/4\n"}} << Step::Open << QStringList{"mms://h/1", "mmsh://h/2", "mmst://h/3", "rtsp://h/4"} << QStringList{"http://h/a.m3u"};

        // Hostile documents.
        QTest::newRow("files, file: and other schemes are never taken") << "http://h/a.m3u" << Documents{{"http://h/a.m3u",
                          "file:///etc/passwd\n/etc/passwd\nC:\\x.mp3\nftp://h/x\nsmb://h/x\n"
                          "javascript:alert(1)\nhttp://h/live\n"}} << Step::Open << QStringList{live} << QStringList{"http://h/a.m3u"};
        QTest::newRow("a playlist that lists itself fails") << "http://h/a.pls" << Documents{{"http://h/a.pls", "[playlist]\nFile1=http://h/a.pls\n"}} << Step::Fail << QStringList{} << QStringList{"http://h/a.pls"};
        QTest::newRow("itself in another spelling") << "http://h/a.pls" << Documents{{"http://h/a.pls", "[playlist]\nFile1=HTTP://H/./a.pls#x\n"}} << Step::Fail << QStringList{} << QStringList{"http://h/a.pls"};
        QTest::newRow("two playlists that point at each other") << "http://h/a.pls" << Documents{{"http://h/a.pls", "[playlist]\nFile1=http://h/b.m3u\n"},
                         {"http://h/b.m3u", "http://h/a.pls\n"}} << Step::Fail << QStringList{} << QStringList{"http://h/a.pls", "http://h/b.m3u"};
        // An HLS playlist is the stream itself: the engine gets its own address, not its segments.
        QTest::newRow("pls naming an HLS playlist") << "http://h/a.pls" << Documents{{"http://h/a.pls", "[playlist]\nFile1=http://h/media.m3u8\n"},
                         {"http://h/media.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\nseg0.aac\n"}} << Step::Open << QStringList{"http://h/media.m3u8"} << QStringList{"http://h/a.pls", "http://h/media.m3u8"};
        QTest::newRow("five levels are followed") << "http://h/l1.pls" << chain(5) << Step::Open << QStringList{live} << fiveLevels;
        QTest::newRow("a sixth level is not") << "http://h/l1.pls" << chain(6) << Step::Fail << QStringList{} << fiveLevels;
        QTest::newRow("a page without any address fails") << "http://h/a.php" << Documents{{"http://h/a.php", "<html><body>Not found</body></html>\n"}} << Step::Fail << QStringList{} << QStringList{"http://h/a.php"};

        QString million;
        million.reserve(15 * 1000 * 1000);
        for (int i = 0; i < 1000 * 1000; ++i)
            million += QStringLiteral("http://h/x\n");
        QTest::newRow("a million lines are over the size cap") << "http://h/a.m3u" << Documents{{"http://h/a.m3u", million}} << Step::Fail << QStringList{} << QStringList{"http://h/a.m3u"};
        QString many;
        QStringList first1000;
        for (int i = 0; i < 3000; ++i) {
            many += QStringLiteral("http://h/%1\n").arg(i);
            if (i < 1000)
                first1000 << QStringLiteral("http://h/%1").arg(i);
        }
        QTest::newRow("at most 1000 entries") << "http://h/a.m3u" << Documents{{"http://h/a.m3u", many}} << Step::Open << first1000 << QStringList{"http://h/a.m3u"};
        // clang-format on
    }

    void resolution()
    {
        QFETCH(QString, address);
        QFETCH(Documents, documents);
        QFETCH(PlaylistResolution::Step::Kind, kind);
        QFETCH(QStringList, urls);
        QFETCH(QStringList, downloads);

        PlaylistResolution resolution;
        QStringList fetched;
        PlaylistResolution::Step step = resolution.start(address);
        while (step.kind == PlaylistResolution::Step::Download && fetched.size() < 20) {
            fetched << step.address;
            QCOMPARE(resolution.pending(), step.address);
            step = resolution.documentArrived(documents.value(step.address));
        }
        QCOMPARE(fetched, downloads);
        QCOMPARE(resolution.depth(), int(downloads.size()));
        QCOMPARE(step.kind, kind);
        QCOMPARE(step.urls, urls);
        QCOMPARE(step.error.isEmpty(), kind != PlaylistResolution::Step::Fail);
    }

    // Over HTTP: a list through a list, a document over the size cap (an error that says so), and
    // a playlist address that answers with audio (the stream itself: its body is not waited for).
    void resolveOverHttp_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("urls"); // none: the resolution fails; "/..." on this server
        QTest::addColumn<int>("requests");
        QTest::newRow("m3u to pls") << "/a.m3u"
                                    << QStringList{"http://127.0.0.1:1/live", "http://127.0.0.1:1/b"} << 2;
        QTest::newRow("over the size cap") << "/big.pls" << QStringList() << 1;
        QTest::newRow("audio answer") << "/listen.php" << QStringList{"/listen.php"} << 1;
    }

    void resolveOverHttp()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, urls);
        m_web.setResponse("/a.m3u",
                          HttpResponse::ok("#EXTM3U\n#EXTINF:-1,x\n" + webUrl("/b.pls").toUtf8() + "\n",
                                           "audio/x-mpegurl"));
        m_web.setResponse("/b.pls", HttpResponse::ok("[playlist]\nFile1=http://127.0.0.1:1/live\n"
                                                     "File2=file:///etc/passwd\nFile3=http://127.0.0.1:1/b\n",
                                                     "audio/x-scpls"));
        m_web.setResponse("/big.pls",
                          HttpResponse::ok(QByteArray(int(1024 * 1024 + 10), '\n'), "text/plain"));
        HttpResponse audio = HttpResponse::ok(QByteArray(64 * 1024, '\xFF'), "audio/mpeg");
        audio.chunkSize = 1024;
        audio.chunkDelayMs = 200; // a body that would take 12 s
        m_web.setResponse("/listen.php", audio);
        for (QString &url : urls)
            url = url.startsWith('/') ? webUrl(url) : url;

        Stream stream;
        QSignalSpy resolved(&stream, &Stream::sig_StreamResolved);
        QSignalSpy ready(&stream, &Stream::sig_StreamReady);
        QSignalSpy failed(&stream, &Stream::sig_StreamError);
        QVERIFY(stream.ResolveStation(webUrl(path)));
        QVERIFY(stream.IsResolving());
        QVERIFY((urls.isEmpty() ? failed : resolved).wait(8000)); // well before the audio body ends
        QVERIFY(!stream.IsResolving());
        QCOMPARE(ready.size(), 0); // documents read on the way are not reported
        QTEST(m_web.requestCount(), "requests");
        if (urls.isEmpty()) {
            QVERIFY2(failed.first().at(2).toString().contains("larger"),
                     qPrintable(failed.first().at(2).toString()));
            QCOMPARE(resolved.size(), 0);
            return;
        }
        QCOMPARE(failed.size(), 0);
        QCOMPARE(resolved.first().at(1).toStringList(), urls);
        QCOMPARE(stream.Urls(), urls);
    }

    // A new station (or AbortRequests) abandons the resolution under way: nothing more from it.
    void resolveAbandoned()
    {
        HttpResponse slow = HttpResponse::ok("[playlist]\nFile1=http://h/old\n");
        slow.chunkSize = 4;
        slow.chunkDelayMs = 100;
        m_web.setResponse("/old.pls", slow);
        m_web.setResponse("/new.pls", HttpResponse::ok("[playlist]\nFile1=http://h/new\n"));
        Stream stream;
        QSignalSpy resolved(&stream, &Stream::sig_StreamResolved);
        QSignalSpy failed(&stream, &Stream::sig_StreamError);
        QVERIFY(stream.ResolveStation(webUrl("/old.pls")));
        QTRY_VERIFY(m_web.requestCount() == 1);
        QVERIFY(stream.ResolveStation(webUrl("/new.pls")));
        QVERIFY(resolved.wait(5000));
        // The abandoned document would have arrived by now (30 bytes, 4 every 100 ms).
        QVERIFY(!resolved.wait(1200));
        QCOMPARE(resolved.first().at(1).toStringList(), QStringList{"http://h/new"});
        QCOMPARE(failed.size(), 0);

        // The same address again: the dropped download and the new one share their id.
        QVERIFY(stream.ResolveStation(webUrl("/old.pls")));
        QTRY_VERIFY(m_web.requestCount() == 3);
        QVERIFY(stream.ResolveStation(webUrl("/old.pls")));
        QVERIFY(resolved.wait(5000));
        QVERIFY(!resolved.wait(1200));
        QCOMPARE(resolved.size(), 2);
        QCOMPARE(resolved.last().at(1).toStringList(), QStringList{"http://h/old"});

        QVERIFY(stream.ResolveStation(QStringLiteral("http://h/direct"))); // no download: posted
        stream.AbortRequests();
        QCoreApplication::processEvents(); // delivers what was posted
        QCOMPARE(resolved.size(), 2);
        QVERIFY(!stream.IsResolving());
    }
};

TUNORA_TEST_MAIN(TestBassQt)
#include "tst_bassqt.moc"
