// Network streams from a real Icecast server on 127.0.0.1, fed by ffmpeg: the pre-buffer and file
// positions on a live mount, and restarts of the server under a playing channel. Playing the mounts and their
// title changes is the channel wrapper's Icecast suite.

#include "audiotest.h"
#include "engine.h"
#include "icecast.h"
#include "testmain.h"

#include <QElapsedTimer>

using TunoraTest::IcecastServer;
using namespace AudioTest;

class TestAudioNetIcecast : public QObject
{
    Q_OBJECT

    IcecastServer m_icecast;
    // Outlive the channels of a test: cleanup() frees the channels before they are replaced.
    std::unique_ptr<SyncLog> m_log;

    QByteArray url(const char *mount) const
    {
        return m_icecast.mountUrl(QString::fromLatin1(mount)).toEncoded();
    }

private slots:
    void initTestCase()
    {
        if (!IcecastServer::available())
            QSKIP("icecast2 or ffmpeg is not installed");
        QString error;
        QVERIFY2(m_icecast.start(&error), qPrintable(error));
        IcecastServer::Source mp3;
        QVERIFY2(m_icecast.startSource(mp3, &error), qPrintable(error));
        QVERIFY(BASS_Init(0, 44100, 0, nullptr, nullptr));
    }

    void init()
    {
        BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 5000);
        BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 5000);
        BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 0);
        m_log = std::make_unique<SyncLog>();
    }

    void cleanup()
    {
        BASS_Free();
        QVERIFY(BASS_Init(0, 44100, 0, nullptr, nullptr));
    }

    void cleanupTestCase()
    {
        BASS_Free();
        m_icecast.stop();
    }

    void liveMountPositions()
    {
        // With the creator's pre-buffer at 60 %, the share of the download buffer that is filled
        // when it returns; then the wrapper's own wait for 80 % fills up as the stream goes on.
        BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 60);
        const QByteArray address = url("/test.mp3");
        const HSTREAM stream =
            BASS_StreamCreateURL(address.constData(), 0, BASS_STREAM_BLOCK, nullptr, nullptr);
        QVERIFY(stream);
        const QWORD end = BASS_StreamGetFilePosition(stream, BASS_FILEPOS_END);
        QCOMPARE(end, QWORD(5 * 16000)); // five seconds of 128 kbit/s
        auto buffered = [&] {
            return qint64(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_DOWNLOAD)) -
                   qint64(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CURRENT));
        };
        QVERIFY2(buffered() >= qint64(end) * 60 / 100, qPrintable(QString::number(buffered())));
        QCOMPARE(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CONNECTED), QWORD(1));
        QTRY_VERIFY2_WITH_TIMEOUT(buffered() * 100 / qint64(end) > 80,
                                  qPrintable(QString::number(buffered())), 4000);

        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        const QWORD before = BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CURRENT);
        QElapsedTimer playing;
        playing.start();
        QTRY_VERIFY_WITH_TIMEOUT(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CURRENT) > before + 20000,
                                 10000);
        const QWORD current = BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CURRENT);
        const qint64 playedMs = playing.elapsed();
        const QWORD downloaded = BASS_StreamGetFilePosition(stream, BASS_FILEPOS_DOWNLOAD);
        // Playing consumes about 16000 bytes a second, never faster than the time it had (plus
        // what the decoder holds); the download stays ahead by the buffer.
        QVERIFY2(current < before + QWORD(playedMs) * 16 + 28000,
                 qPrintable(QStringLiteral("%1 bytes in %2 ms").arg(current - before).arg(playedMs)));
        QVERIFY(downloaded >= current);
        QVERIFY(downloaded - current <= end + 32768);
        BASS_StreamFree(stream);
    }

    // The station's Icecast is killed under a playing channel and comes back on the same port;
    // its source reconnects a moment later, so the mount answers 404 in between. The channel
    // goes on downloading after every restart, without anyone opening it again. Last of the
    // suite: it leaves only the MP3 mount.
    void serverRestartUnderPlayingChannel()
    {
        tunora::audio::config().reconnectWindowMs = 20000;
        const QByteArray address = url("/test.mp3");
        const HSTREAM stream =
            BASS_StreamCreateURL(address.constData(), 0, BASS_STREAM_BLOCK, nullptr, nullptr);
        QVERIFY2(stream, qPrintable(QString::number(BASS_ErrorGetCode())));
        SyncLog &log = *m_log;
        QVERIFY(BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, SyncLog::record, log.user(1)));
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        auto downloaded = [stream] {
            return qint64(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_DOWNLOAD));
        };
        QString error;
        for (int restart = 0; restart < 6; ++restart) {
            const qint64 before = downloaded();
            m_icecast.stop();
            QTest::qWait(1000); // the outage: reconnects are refused meanwhile
            QVERIFY2(m_icecast.startAgain(&error), qPrintable(error));
            QTest::qWait(300); // the server is up, the mount is not
            QVERIFY2(m_icecast.startSource(IcecastServer::Source(), &error), qPrintable(error));
            // Three seconds of new audio after the restart: the connection was made again.
            QTRY_VERIFY2_WITH_TIMEOUT(downloaded() > before + 3 * 16000,
                                      qPrintable(QStringLiteral("restart %1: %2 bytes, %3 before")
                                                     .arg(restart)
                                                     .arg(downloaded())
                                                     .arg(before)),
                                      20000);
            QVERIFY(log.records(1).empty());
        }
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_PLAYING));
        BASS_StreamFree(stream);
        tunora::audio::config().reconnectWindowMs = 10000;
    }
};

TUNORA_TEST_MAIN_CORE(TestAudioNetIcecast)
#include "tst_audionet_icecast.moc"
