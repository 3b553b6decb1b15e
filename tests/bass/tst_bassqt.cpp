// The Qt channel on its own: notifications and messages reaching the GUI thread, and the end of a
// cover-art lookup with the channel.

#include "bassinit.h"
#include "bassqt.h"
#include "httpblocking.h"
#include "httpserver.h"
#include "media.h"
#include "testmain.h"

#include <QPointer>
#include <QSignalSpy>
#include <QThread>

#include <memory>

using namespace BASS;
using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;
using TunoraTest::Media;

namespace {

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

} // namespace

class TestBassQt : public QObject
{
    Q_OBJECT

    QString m_wav;

private slots:
    void initTestCase()
    {
        QString error;
        m_wav = Media::tone(Media::Wav, 5.0, 440, 660, 0.5, &error);
        QVERIFY2(!m_wav.isEmpty(), qPrintable(error));
        QVERIFY2(InitAudioEngine(&error, 2, true, 1000, "Tunora/1.02", nullptr, 0), qPrintable(error));
    }

    void cleanupTestCase() { BASS_Free(); }

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

    // A recording error raised on another thread is shown on the GUI thread, escaped; a quiet
    // station's is dropped (raised first, it would arrive first).
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
        BassQt quiet, loud;
        Station station;
        station.setQuietErrors(1);
        quiet.SetStation(station);
        std::unique_ptr<QThread> thread(QThread::create([&] {
            quiet.ReportRecordingError(1, QStringLiteral("quiet"));
            loud.ReportRecordingError(1, QStringLiteral("<b>disk</b> & more"));
        }));
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
};

TUNORA_TEST_MAIN(TestBassQt)
#include "tst_bassqt.moc"
