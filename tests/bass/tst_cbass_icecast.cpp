// The engine wrapper end to end against a real Icecast on 127.0.0.1: opening a mount, the fade-in
// heard as a rising level, and title changes made at Icecast reaching the current song.

#include "bassinit.h"
#include "cbasstest.h"
#include "icecast.h"
#include "testmain.h"

#include <QThread>

#include <memory>

using namespace BASS;
using TunoraTest::IcecastServer;
using TunoraTest::TestBass;
using UIntList = QList<uint>;

class TestCBassIcecast : public QObject
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
        mp3.name = QStringLiteral("Icecast Test");
        QVERIFY2(m_icecast.startSource(mp3, &error), qPrintable(error));
        IcecastServer::Source aac;
        aac.mount = QStringLiteral("/test.aac");
        aac.codec = QStringLiteral("aac");
        aac.bitrateKbps = 64;
        aac.name = QStringLiteral("Icecast AAC");
        QVERIFY2(m_icecast.startSource(aac, &error), qPrintable(error));
        QVERIFY2(InitAudioEngine(&error, 5, true, 2000, "Tunora/1.02", nullptr, 0), qPrintable(error));
    }

    void cleanupTestCase()
    {
        BASS_Free();
        m_icecast.stop();
    }

    void playMount_data()
    {
        QTest::addColumn<QString>("mount");
        QTest::addColumn<UIntList>("creators");
        QTest::addColumn<QString>("name");

        QTest::newRow("mp3") << "/test.mp3" << UIntList{CreatorPlain} << "Icecast Test";
        QTest::newRow("aac") << "/test.aac" << UIntList{CreatorPlain, CreatorAac} << "Icecast AAC";
    }

    void playMount()
    {
        QFETCH(QString, mount);
        QFETCH(UIntList, creators);
        QFETCH(QString, name);
        TestBass bass;
        bass.SetFadeTimes(1500, 300);
        Station station;
        station.setName(QStringLiteral("Icecast Test"));
        station.setLocation(QStringLiteral("Moscow, Russia"));
        bass.SetStation(station);

        // The open runs on a thread of its own, as the connect thread does; meanwhile the level
        // of the fade-in is sampled here.
        std::atomic<bool> opened{false};
        std::unique_ptr<QThread> thread(QThread::create(
            [&] { opened = bass.OpenURL(m_icecast.mountUrl(mount).toString(QUrl::FullyEncoded), 0); }));
        thread->start();
        QVERIFY(bass.waitFor(EventPlaying, 1, 20000));
        QList<int> levels;
        while (!thread->isFinished()) {
            const DWORD level = bass.ChannelGetLevel();
            levels.append(int(qMax(level & 0xFFFF, level >> 16)));
            QTest::qWait(50);
        }
        QVERIFY(thread->wait(5000));
        QVERIFY(opened);
        QCOMPARE(bass.params(EventConnecting), creators);
        QCOMPARE(bass.count(EventPlaying), 1);
        QVERIFY(bass.preBuffered());
        QVERIFY(bass.IsPlaying());
        QCOMPARE(bass.GetStreamInfo().name, name);

        // The fade-in: silent at first, then rising step by step (the tone is at -18 dBFS).
        QVERIFY2(levels.size() >= 10, qPrintable(QString::number(levels.size())));
        int rises = 0;
        for (qsizetype i = 1; i < levels.size(); ++i)
            rises += levels[i] >= levels[i - 1] ? 1 : 0;
        const QString seen = QStringLiteral("%1 .. %2, %3 of %4 rising")
                                 .arg(levels.first())
                                 .arg(levels.last())
                                 .arg(rises)
                                 .arg(levels.size() - 1);
        QVERIFY2(levels.first() < levels.last() / 4 && levels.last() > 1500, qPrintable(seen));
        QVERIFY2(rises >= (levels.size() - 1) * 9 / 10, qPrintable(seen));

        // Title changes at the server reach the current song.
        QString error;
        QVERIFY2(m_icecast.setTitle(mount, QStringLiteral("Artist One - Song One"), &error),
                 qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(bass.CurrentSong().artist(), QStringLiteral("Artist One"), 20000);
        QCOMPARE(bass.CurrentSong().title(), QStringLiteral("Song One"));
        const int before = bass.count(EventTitleChanged);
        QVERIFY(before >= 1);
        QVERIFY2(m_icecast.setTitle(mount, QStringLiteral("Кино - Звезда по имени Солнце"), &error),
                 qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(bass.CurrentSong().artist(), QStringLiteral("Кино"), 20000);
        QCOMPARE(bass.CurrentSong().title(), QStringLiteral("Звезда по имени Солнце"));
        QCOMPARE(bass.count(EventTitleChanged), before + 1);

        QVERIFY(bass.Stop(bass.FadeOutMs()));
        QCOMPARE(bass.messages().last(), uint(EventStopped));
        QCOMPARE(bass.count(EventConnectAborted), 0);
    }
};

TUNORA_TEST_MAIN_CORE(TestCBassIcecast)
#include "tst_cbass_icecast.moc"
