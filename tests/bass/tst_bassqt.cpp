// The Qt channel on its own: the readers through the Qt layer, notifications and messages reaching
// the GUI thread, the cover-art relays, and the one-second clock.

// The test tables spell their texts as plain UTF-8 literals.
#undef QT_NO_CAST_FROM_ASCII

#include "bassinit.h"
#include "bassqt.h"
#include "httpblocking.h"
#include "httpserver.h"
#include "media.h"
#include "scriptedserver.h"
#include "testmain.h"

#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QThread>

#include <functional>
#include <memory>

using namespace BASS;
using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;
using TunoraTest::Media;
using TunoraTest::ScriptedServer;
// Calls one reader in both forms: the list it fills (after clearing it) and the count, and the
// companion's list.
using ReaderCall = std::function<int(const BassQt &, const QString &, QStringList &, QStringList &)>;

Q_DECLARE_METATYPE(ReaderCall)
Q_DECLARE_METATYPE(TunoraTest::HttpResponse)

namespace {

// A channel whose recording state a test may set.
class TestChannel : public BassQt
{
public:
    ~TestChannel() override { Stop(0); }
    void setRecording(bool active, bool armed)
    {
        QMutexLocker lock(&m_recordLock);
        m_record.active = active;
        m_record.armed = armed;
    }
    CRecord record() const
    {
        QMutexLocker lock(&m_recordLock);
        return m_record;
    }
    QTimer *secondsTimer() const { return m_secondsTimer; }
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
        connect(channel, &BassQt::sig_coverArtStatusChanged, this,
                [this, channel](BassQt *from, CoverArt::status st) {
                    if (from == channel)
                        statuses.append(st);
                });
    }
    QList<CoverArt::coverArtType> types;
    QList<CoverArt::status> statuses;
};

enum ChannelState
{
    Stopped,
    Playing,
    Paused,
    Stalled
};

enum Recording
{
    NoRecording,
    Active,
    Armed
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestBassQt : public QObject
{
    Q_OBJECT

    QString m_wav;
    QByteArray m_mp3;

private slots:
    void initTestCase()
    {
        QString error;
        m_wav = Media::tone(Media::Wav, 5.0, 440, 660, 0.5, &error);
        QVERIFY2(!m_wav.isEmpty(), qPrintable(error));
        Media::Recipe recipe;
        recipe.format = Media::Mp3;
        recipe.seconds = 2.0;
        recipe.right = QStringLiteral("0.5*sin(2*PI*660*t)");
        recipe.extra = QStringList{QStringLiteral("-write_xing"), QStringLiteral("0"),
                                   QStringLiteral("-id3v2_version"), QStringLiteral("0")};
        m_mp3 = readFile(Media::make(recipe, &error));
        QVERIFY2(!m_mp3.isEmpty(), qPrintable(error));
        QVERIFY2(InitAudioEngine(&error, 2, true, 1000, "Tunora/1.02", nullptr, 0), qPrintable(error));
    }

    void cleanupTestCase() { BASS_Free(); }

    void readers_data()
    {
        QTest::addColumn<ReaderCall>("read");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");

        const ReaderCall m3u = [](const BassQt &b, const QString &t, QStringList &l, QStringList &c) {
            c = b.ReadM3U(t);
            return b.ReadM3U(t, l);
        };
        const ReaderCall asx = [](const BassQt &b, const QString &t, QStringList &l, QStringList &c) {
            c = b.ReadASX(t);
            return b.ReadASX(t, l);
        };
        const ReaderCall pls = [](const BassQt &b, const QString &t, QStringList &l, QStringList &c) {
            c = b.ReadPLS(t);
            return b.ReadPLS(t, l);
        };
        const ReaderCall media = [](const BassQt &b, const QString &t, QStringList &l, QStringList &c) {
            c = b.ReadMediaSrc(t);
            return b.ReadMediaSrc(t, l);
        };

        // clang-format off
        QTest::newRow("m3u keeps non-ASCII text") << m3u << "#EXTINF:-1,Станция\nhttp://h/Радио?ä=1\n" << QStringList{"http://h/Радио?ä=1"};
        QTest::newRow("pls keeps non-ASCII text") << pls << "[playlist]\nFile1=http://h/Ströme\nTitle1=Радио\n" << QStringList{"http://h/Ströme"};
        QTest::newRow("asx keeps non-ASCII text") << asx << "<asx><entry><ref href=\"http://h/日本\"/></entry></asx>" << QStringList{"http://h/日本"};
        QTest::newRow("media src") << media << "<embed media src=\"http://h/é\" />" << QStringList{"http://h/é"};

        // Documents over the size cap give nothing, counted in characters and in UTF-8 bytes.
        QString million;
        million.reserve(11 * 1000 * 1000);
        for (int i = 0; i < 1000 * 1000; ++i)
            million += QStringLiteral("http://x\n");
        QTest::newRow("a million lines") << m3u << million << QStringList{};
        QTest::newRow("one character over the cap") << asx << "<entry><ref href=\"http://a\"/></entry>" + QString(1024 * 1024, QLatin1Char(' ')) << QStringList{};
        QTest::newRow("multi-byte text over the byte cap") << media << "media src=\"http://a\"" + QString(600 * 1024, QChar(0x0416)) << QStringList{};
        // clang-format on
    }

    void readers()
    {
        QFETCH(ReaderCall, read);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        BassQt channel;
        QStringList list{QStringLiteral("stale")};
        QStringList companion;
        const int count = read(channel, text, list, companion);
        QCOMPARE(list, expected);
        QCOMPARE(count, int(expected.size()));
        QCOMPARE(companion, expected);
    }

    // Raised on another thread (as the connect thread and the engine's threads do), they reach
    // a receiver on the GUI thread through its event loop, with the channel as sender.
    void eventsAreQueued()
    {
        BassQt channel;
        QObject receiver;
        QList<std::tuple<BassQt *, uint, uint, bool>> seen;
        connect(&channel, &BassQt::sig_bassEvent, &receiver, [&](BassQt *stream, uint msg, uint param) {
            seen.append({stream, msg, param, QThread::currentThread() == qApp->thread()});
        });
        std::unique_ptr<QThread> thread(QThread::create([&] {
            QVERIFY(channel.OpenFileForDecoding(m_wav)); // EventConnecting, EventPlaying
            channel.PostNotify(EventStallChanged, 7);
            QVERIFY(channel.Stop(0)); // EventStopped
        }));
        thread->start();
        QVERIFY(thread->wait(10000));
        QVERIFY(seen.isEmpty()); // nothing delivered on the raising thread
        QTRY_COMPARE(seen.size(), 4);
        using Seen = std::tuple<BassQt *, uint, uint, bool>;
        QCOMPARE(seen[0], Seen(&channel, EventConnecting, CreatorPlain, true));
        QCOMPARE(seen[1], Seen(&channel, EventPlaying, 0, true));
        QCOMPARE(seen[2], Seen(&channel, EventStallChanged, 7, true));
        QCOMPARE(seen[3], Seen(&channel, EventStopped, 0, true));
    }

    void messages_data()
    {
        QTest::addColumn<quint32>("quiet");
        QTest::addColumn<bool>("fromThread");
        QTest::addColumn<bool>("shown");
        QTest::newRow("shown") << 0u << false << true;
        QTest::newRow("shown on the GUI thread when raised elsewhere") << 0u << true << true;
        QTest::newRow("quiet station") << 1u << false << false;
    }

    void messages()
    {
        QFETCH(quint32, quiet);
        QFETCH(bool, fromThread);
        QFETCH(bool, shown);
        QList<QPair<QString, bool>> boxes;
        HttpSettings &settings = QHttpExt::settings();
        settings.messageHook = [&](MessageKind kind, const QString &, const QString &text,
                                   QMessageBox::StandardButtons) {
            if (kind == MessageKind::Warning)
                boxes.append({text, QThread::currentThread() == qApp->thread()});
            return int(QMessageBox::Ok);
        };
        BassQt channel;
        Station station;
        station.setQuietErrors(quiet);
        channel.SetStation(station);
        const QString detail = QStringLiteral("<b>disk</b> & more");
        if (fromThread) {
            std::unique_ptr<QThread> thread(
                QThread::create([&] { channel.ReportRecordingError(1, detail); }));
            thread->start();
            QVERIFY(thread->wait(5000));
        } else {
            channel.ReportRecordingError(1, detail);
        }
        // A quiet station's report is dropped on the raising thread; a shown one raised elsewhere
        // arrives queued.
        QTRY_COMPARE(boxes.size(), shown ? 1 : 0);
        settings.messageHook = nullptr;
        if (shown) {
            QVERIFY(boxes[0].second);
            QVERIFY2(boxes[0].first.contains(QStringLiteral("&lt;b&gt;disk&lt;/b&gt; &amp; more")),
                     qPrintable(boxes[0].first));
        }
    }

    // The lookup's signals reach the channel's receivers with the channel as sender.
    void coverArtRelays_data()
    {
        QTest::addColumn<HttpResponse>("page");
        QTest::addColumn<CoverArt::status>("outcome");
        // clang-format off
        QTest::newRow("lyrics found") << HttpResponse::ok("<table><tr><td class=\"td1\">Line one<br>Line two</td>"
                                "</tr></table>",
                                "text/html") << CoverArt::StatusLyricsFound;
        QTest::newRow("lyrics not found") << HttpResponse::error(404) << CoverArt::StatusLyricsNotFound;
        // clang-format on
    }

    void coverArtRelays()
    {
        QFETCH(HttpResponse, page);
        QFETCH(CoverArt::status, outcome);
        HttpServer server;
        QVERIFY(server.listen());
        server.setHandler([page](const TunoraTest::HttpRequest &) { return page; });
        TestChannel channel;
        CoverLog log(&channel);
        channel.CoverArtObject()->setLyricsRoot(server.baseUrl());
        channel.setSong("Some Artist", "Some Song");
        channel.DownloadLyrics();
        QTRY_VERIFY(log.types.contains(CoverArt::LyricsReady));
        QCOMPARE(log.types, (QList<CoverArt::coverArtType>{CoverArt::LyricsStarted, CoverArt::LyricsReady}));
        QCOMPARE(log.statuses, (QList<CoverArt::status>{CoverArt::StatusSearchingLyrics, outcome}));
        QCOMPARE(server.lastRequest().path(), QStringLiteral("/Some%20Artist/Some%20Song-Lyrics.html"));
    }

    // Stopping the channel ends the lookup of its song, on whatever thread it was stopped.
    void stopEndsCoverLookup_data()
    {
        QTest::addColumn<bool>("fromThread");
        QTest::newRow("stopped on the GUI thread") << false;
        QTest::newRow("stopped on another thread") << true;
    }

    void stopEndsCoverLookup()
    {
        QFETCH(bool, fromThread);
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
        channel.setSong("Some Artist", "Some Song");
        channel.DownloadLyrics();
        QTRY_COMPARE(server.requestCount(), 1);
        QVERIFY(channel.CoverArtObject()->IsDownloading(DownloadInfo::LyricsPage, channel.CurrentSong()));
        // The stop gives the lookup a fresh HTTP client; the old one, gone, can report nothing more.
        const QPointer<QHttpExt> client = channel.CoverArtObject()->findChild<QHttpExt *>();
        QVERIFY(client);
        if (fromThread) {
            std::unique_ptr<QThread> thread(QThread::create([&] { channel.Stop(0); }));
            thread->start();
            QVERIFY(thread->wait(5000));
        } else {
            QVERIFY(channel.Stop(0));
        }
        QTRY_VERIFY(
            !channel.CoverArtObject()->IsDownloading(DownloadInfo::LyricsPage, channel.CurrentSong()));
        QTRY_VERIFY(client.isNull());
        QVERIFY(!log.types.contains(CoverArt::LyricsReady));
        server.closeAllConnections();
    }

    void secondsTick_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("recording");
        QTest::addColumn<int>("played");   // seconds added to the play counter
        QTest::addColumn<int>("recorded"); // to the recording's time
        QTest::addColumn<int>("waited");   // to an armed recording's wait

        QTest::newRow("stopped") << int(Stopped) << int(Active) << 0 << 0 << 0;
        QTest::newRow("playing") << int(Playing) << int(NoRecording) << 1 << 0 << 0;
        QTest::newRow("playing, recording") << int(Playing) << int(Active) << 1 << 1 << 0;
        QTest::newRow("playing, recording armed") << int(Playing) << int(Armed) << 1 << 0 << 1;
        QTest::newRow("paused") << int(Paused) << int(Active) << 0 << 0 << 0;
        QTest::newRow("stalled") << int(Stalled) << int(Armed) << 0 << 0 << 0;
    }

    void secondsTick()
    {
        QFETCH(int, state);
        QFETCH(int, recording);
        QFETCH(int, played);
        QFETCH(int, recorded);
        QFETCH(int, waited);
        ScriptedServer server;
        TestChannel channel;
        channel.secondsTimer()->stop(); // the test ticks by hand
        channel.SetFadeTimes(0, 0);
        switch (state) {
        case Playing:
            QVERIFY(channel.OpenFile(m_wav, 0, true));
            QVERIFY(channel.IsPlaying());
            break;
        case Paused:
            QVERIFY(channel.OpenFile(m_wav, 0, true));
            QVERIFY(channel.Pause());
            QVERIFY(channel.IsPaused());
            break;
        case Stalled: {
            // Two seconds of audio at once, then silence from the server: the buffer runs dry.
            const QByteArray header = ScriptedServer::header("ICY 200 OK", {"Content-Type: audio/mpeg"});
            const QByteArray body = m_mp3;
            QVERIFY(server.start([header, body](int, const QByteArray &) {
                return ScriptedServer::Script{ScriptedServer::send(header + body), ScriptedServer::hold()};
            }));
            QVERIFY(channel.OpenURL(QString::fromLatin1(server.url("/live")), 0));
            QTRY_VERIFY_WITH_TIMEOUT(channel.IsStalled(), 10000);
            break;
        }
        default:
            break;
        }
        channel.setRecording(recording == Active, recording == Armed);
        const quint64 before = channel.SecondsPlayed();
        channel.slot_secondsTimerUpdate();
        channel.slot_secondsTimerUpdate();
        QCOMPARE(channel.SecondsPlayed(), before + 2 * played);
        QCOMPARE(channel.record().recordedSeconds, 2 * recorded);
        QCOMPARE(channel.record().waitedSeconds, 2 * waited);
    }

    // The clock is running from construction on and ticks by itself.
    void secondsTimerRuns()
    {
        TestChannel channel;
        channel.SetFadeTimes(0, 0);
        QVERIFY(channel.OpenFile(m_wav, 0, true));
        QTRY_VERIFY_WITH_TIMEOUT(channel.SecondsPlayed() >= 1, 2500);
        // Stopping also ends a recording and forgets the address list.
        channel.setRecording(true, false);
        channel.SetUrls({QStringLiteral("http://h/1")});
        QVERIFY(channel.Stop(0));
        QVERIFY(!channel.IsRecording());
        channel.Reset();
        QVERIFY(channel.Urls().isEmpty());
    }
};

TUNORA_TEST_MAIN(TestBassQt)
#include "tst_bassqt.moc"
