// The connect thread: an HLS station behind a PLS, address lists, aborts in each state, effects
// changed while it connects, the reverse order for one run only. Notifications are watched as a
// GUI receiver gets them.

// The test tables spell their texts as plain UTF-8 literals.
#undef QT_NO_CAST_FROM_ASCII

#include "bassinit.h"
#include "hls.h"
#include "httpserver.h"
#include "media.h"
#include "scriptedserver.h"
#include "stream.h"
#include "testmain.h"
#include "threads.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>

using namespace BASS;
using TunoraTest::Hls;
using TunoraTest::HlsStream;
using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;
using TunoraTest::Media;
using TunoraTest::ScriptedServer;
using Script = ScriptedServer::Script;

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

} // namespace

class TestBassQtConnect : public QObject
{
    Q_OBJECT

    QByteArray m_mp3;
    ScriptedServer m_server;

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
        QVERIFY2(InitAudioEngine(&error, 2, true, 1000, "Tunora/1.02", nullptr, 0), qPrintable(error));
        QVERIFY(m_server.start(handler()));
    }

    void cleanupTestCase()
    {
        m_server.stop();
        BASS_Free();
    }

    // A station whose address is a PLS naming an HLS playlist plays through the channel: the
    // resolution hands the HLS playlist's own address to the engine instead of reading it as a list.
    void hlsStation()
    {
        Media::Recipe recipe;
        recipe.format = Media::Aac;
        recipe.seconds = 8.0;
        QString error;
        const QString aac = Media::make(recipe, &error);
        QVERIFY2(!aac.isEmpty(), qPrintable(error));
        HlsStream hls;
        QVERIFY2(Hls::packedAudio(aac, 2, "seg", hls, &error), qPrintable(error));
        HttpServer web;
        QVERIFY(web.listen());
        const QByteArray hlsType = "application/vnd.apple.mpegurl";
        for (const auto &segment : hls.segments)
            web.setResponse(QStringLiteral("/hls/") + QString::fromLatin1(segment.first),
                            HttpResponse::ok(segment.second, "audio/aac"));
        web.setResponse("/hls/media.m3u8",
                        HttpResponse::ok(hls.playlist(0, int(hls.segments.size()), true), hlsType));
        web.setResponse("/station.pls", HttpResponse::ok("[playlist]\nNumberOfEntries=1\nFile1=" +
                                                             web.url("/hls/media.m3u8").toUtf8() + "\n",
                                                         "audio/x-scpls"));

        Stream channel;
        channel.SetFadeTimes(0, 0);
        QtBassConnectThread thread(&channel);
        QSignalSpy resolved(&channel, &Stream::sig_StreamResolved);
        QSignalSpy failed(&channel, &Stream::sig_StreamError);
        QVERIFY(channel.ResolveStation(web.url("/station.pls")));
        QVERIFY(resolved.wait(10000));
        QCOMPARE(failed.count(), 0);
        QCOMPARE(channel.Urls(), QStringList{web.url("/hls/media.m3u8")});
        QVERIFY(runOnce(thread, 30000));
        QVERIFY2(channel.HasChannel(), qPrintable(channel.GetErrorText()));
        BASS_CHANNELINFO info{};
        QVERIFY(channel.ChannelGetInfo(&info));
        QCOMPARE(info.ctype, DWORD(BASS_CTYPE_STREAM_AAC));
        QTRY_VERIFY_WITH_TIMEOUT(channel.ChannelGetPosition() > 0, 15000);
        QVERIFY(channel.Stop(0));
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

    void reverseOnceThenForward()
    {
        ScriptedServer server;
        QVERIFY(server.start(handler()));
        auto at = [&](const char *path) { return QString::fromLatin1(server.url(path)); };
        Stream channel;
        QtBassConnectThread thread(&channel);
        // In reverse every entry is tried, the advertising relay too.
        channel.SetUrls({at("/a"), at("/b-adinjector"), at("/c")});
        thread.SetReverse(true);
        QVERIFY(runOnce(thread));
        QVERIFY(!thread.IsReverse());
        QCOMPARE(firstRequests(server), (QStringList{"/c", "/b-adinjector", "/a"}));

        ScriptedServer forward;
        QVERIFY(forward.start(handler()));
        auto again = [&](const char *path) { return QString::fromLatin1(forward.url(path)); };
        channel.SetUrls({again("/a"), again("/b-adinjector"), again("/c")});
        QVERIFY(runOnce(thread));
        QCOMPARE(firstRequests(forward), (QStringList{"/a", "/c"}));
    }
};

TUNORA_TEST_MAIN_CORE(TestBassQtConnect)
#include "tst_bassqt_connect.moc"
