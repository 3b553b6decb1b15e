// A network stream from a real Icecast server on 127.0.0.1, fed by ffmpeg, through restarts of
// the server under the playing channel. Playing mounts and their title changes is the channel
// wrapper's and the listening session's part.

#include "audioengine.h"
#include "engine.h"
#include "icecast.h"
#include "testmain.h"

#include <QTest>

using TunoraTest::IcecastServer;

class TestAudioNetIcecast : public QObject
{
    Q_OBJECT

    IcecastServer m_icecast;

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
        BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 5000);
        BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 5000);
        BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 0);
    }

    void cleanupTestCase()
    {
        BASS_Free();
        m_icecast.stop();
    }

    // The station's Icecast is killed under a playing channel and comes back on the same port;
    // its source reconnects a moment later, so the mount answers 404 in between. The channel
    // goes on downloading after every restart, without anyone opening it again.
    void serverRestartUnderPlayingChannel()
    {
        tunora::audio::config().reconnectWindowMs = 20000;
        const QByteArray address = m_icecast.mountUrl(QStringLiteral("/test.mp3")).toEncoded();
        const HSTREAM stream =
            BASS_StreamCreateURL(address.constData(), 0, BASS_STREAM_BLOCK, nullptr, nullptr);
        QVERIFY2(stream, qPrintable(QString::number(BASS_ErrorGetCode())));
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
        }
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_PLAYING)); // it never ended
        BASS_StreamFree(stream);
    }
};

TUNORA_TEST_MAIN_CORE(TestAudioNetIcecast)
#include "tst_audionet_icecast.moc"
