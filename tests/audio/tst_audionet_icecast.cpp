// Network streams from a real Icecast server on 127.0.0.1, fed by ffmpeg: MP3, AAC and Ogg
// Vorbis mounts, title changes through Icecast's admin call, the pre-buffer, file positions and
// the download callback on a live mount.

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
    std::unique_ptr<SyncLog> m_titles;
    std::unique_ptr<Downloads> m_downloads;

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
        IcecastServer::Source aac;
        aac.mount = QStringLiteral("/test.aac");
        aac.codec = QStringLiteral("aac");
        aac.bitrateKbps = 64;
        QVERIFY2(m_icecast.startSource(aac, &error), qPrintable(error));
        IcecastServer::Source vorbis;
        vorbis.mount = QStringLiteral("/test.ogg");
        vorbis.codec = QStringLiteral("vorbis");
        QVERIFY2(m_icecast.startSource(vorbis, &error), qPrintable(error));
        QVERIFY(BASS_Init(0, 44100, 0, nullptr, nullptr));
    }

    void init()
    {
        BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 5000);
        BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 5000);
        BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 0);
        m_titles = std::make_unique<SyncLog>();
        m_downloads = std::make_unique<Downloads>();
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

    void mounts_data()
    {
        QTest::addColumn<QByteArray>("mount");
        QTest::addColumn<DWORD>("ctype");
        QTest::addColumn<bool>("icyMetadata");
        QTest::newRow("MP3") << QByteArray("/test.mp3") << DWORD(BASS_CTYPE_STREAM_MP3) << true;
        QTest::newRow("AAC") << QByteArray("/test.aac") << DWORD(BASS_CTYPE_STREAM_AAC) << true;
        QTest::newRow("Ogg Vorbis") << QByteArray("/test.ogg") << DWORD(BASS_CTYPE_STREAM_OGG) << false;
    }

    void mounts()
    {
        // As the channel wrapper opens an address: the plain creator first, then the AAC one.
        QFETCH(QByteArray, mount);
        QFETCH(DWORD, ctype);
        QFETCH(bool, icyMetadata);
        const QByteArray address = url(mount.constData());
        HSTREAM stream = BASS_StreamCreateURL(address.constData(), 0, BASS_STREAM_BLOCK | BASS_STREAM_STATUS,
                                              Downloads::proc, m_downloads.get());
        if (!stream) {
            QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
            stream = BASS_AAC_StreamCreateURL(address.constData(), 0, BASS_STREAM_BLOCK, nullptr, nullptr);
        }
        QVERIFY2(stream, qPrintable(QString::number(BASS_ErrorGetCode())));
        BASS_CHANNELINFO info{};
        QVERIFY(BASS_ChannelGetInfo(stream, &info));
        QCOMPARE(info.ctype, ctype);
        const QByteArrayList headers = tagList(stream, BASS_TAG_HTTP);
        QVERIFY2(headers.value(0).startsWith("HTTP/1.0 200"), headers.join('|').constData());
        QVERIFY(headers.contains("icy-name:Test Stream"));
        QCOMPARE(std::any_of(headers.begin(), headers.end(),
                             [](const QByteArray &h) { return h.startsWith("icy-metaint:"); }),
                 icyMetadata);
        if (ctype == BASS_CTYPE_STREAM_OGG) {
            const QByteArrayList comments = tagList(stream, BASS_TAG_OGG);
            QVERIFY2(std::any_of(comments.begin(), comments.end(),
                                 [](const QByteArray &c) { return c.toLower().startsWith("encoder="); }),
                     comments.join('|').constData());
        }
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        // A second of it heard, however long a busy machine takes to get there.
        QTRY_VERIFY_WITH_TIMEOUT(
            BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE)) > 1.0, 10000);
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_PLAYING));
        // The source's sine (at an eighth of full scale) is heard.
        QTRY_VERIFY_WITH_TIMEOUT((BASS_ChannelGetLevel(stream) & 0xFFFF) > 1000, 5000);
        BASS_StreamFree(stream);
    }

    void titleChange_data()
    {
        QTest::addColumn<QByteArray>("mount");
        QTest::addColumn<QString>("title");
        QTest::newRow("MP3") << QByteArray("/test.mp3") << QStringLiteral("Artist - It's';odd");
        QTest::newRow("AAC") << QByteArray("/test.aac") << QStringLiteral("Band - Song");
    }

    void titleChange()
    {
        QFETCH(QByteArray, mount);
        QFETCH(QString, title);
        const QByteArray address = url(mount.constData());
        HSTREAM stream = BASS_StreamCreateURL(address.constData(), 0, BASS_STREAM_BLOCK, nullptr, nullptr);
        if (!stream)
            stream = BASS_AAC_StreamCreateURL(address.constData(), 0, BASS_STREAM_BLOCK, nullptr, nullptr);
        QVERIFY(stream);
        QVERIFY(BASS_ChannelSetSync(stream, BASS_SYNC_META, 0, SyncLog::record, m_titles->user(0, true)));
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QString error;
        QVERIFY2(m_icecast.setTitle(QString::fromLatin1(mount), title, &error), qPrintable(error));
        // Raw, as Icecast sends it: the "';" inside the title is not an end.
        const QByteArray block = "StreamTitle='" + title.toUtf8() + "';";
        QTRY_VERIFY2_WITH_TIMEOUT(m_titles->tags(0).contains(block), m_titles->tags(0).join('|').constData(),
                                  12000);
        BASS_StreamFree(stream);
    }

    void liveMountPositions()
    {
        // With the creator's pre-buffer at 60 %, the share of the download buffer that is filled
        // when it returns; then the wrapper's own wait for 80 % fills up as the stream goes on.
        BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 60);
        const QByteArray address = url("/test.mp3");
        const HSTREAM stream =
            BASS_StreamCreateURL(address.constData(), 0, BASS_STREAM_BLOCK | BASS_STREAM_STATUS,
                                 Downloads::proc, m_downloads.get());
        QVERIFY(stream);
        const QWORD end = BASS_StreamGetFilePosition(stream, BASS_FILEPOS_END);
        QCOMPARE(end, QWORD(5 * 16000)); // five seconds of 128 kbit/s
        auto buffered = [&] {
            return qint64(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_DOWNLOAD)) -
                   qint64(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CURRENT));
        };
        QVERIFY2(buffered() >= qint64(end) * 60 / 100, qPrintable(QString::number(buffered())));
        QCOMPARE(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CONNECTED), QWORD(1));
        QElapsedTimer waited;
        waited.start();
        while (buffered() * 100 / qint64(end) <= 80 && waited.elapsed() < 4000)
            QTest::qWait(50);
        QVERIFY2(buffered() * 100 / qint64(end) > 80, qPrintable(QString::number(buffered())));

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
        std::lock_guard<std::mutex> guard(m_downloads->lock);
        QCOMPARE(m_downloads->headers.size(), 1);
        QVERIFY(m_downloads->headers[0].startsWith("HTTP/1.0 200 OK\r\n"));
        QVERIFY(m_downloads->headers[0].contains("\r\nicy-metaint:16000\r\n"));
        QVERIFY(m_downloads->headers[0].endsWith("\r\n\r\n"));
        const qint64 bytes = m_downloads->bytes.size();
        QVERIFY(bytes > qint64(downloaded) - 65536 && bytes <= qint64(downloaded));
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
        SyncLog &log = *m_titles;
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
