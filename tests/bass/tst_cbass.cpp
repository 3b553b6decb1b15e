// The engine wrapper without a network: start-up options, pause and reset of a playing channel,
// calls without a channel, and a recording whose writes fail.

#include "audioengine.h"
#include "bassinit.h"
#include "cbasstest.h"
#include "media.h"
#include "testmain.h"

using namespace BASS;
using TunoraTest::Media;
using TunoraTest::TestBass;

using UIntList = QList<uint>;

namespace {

QString makeMedia(Media::Format format, double seconds = 2.0)
{
    QString error;
    const QString path = Media::tone(format, seconds, 440, 660, 0.5, &error);
    if (path.isEmpty())
        qWarning() << "cannot make test audio:" << error;
    return path;
}

} // namespace

class TestCBass : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(InitAudioEngine(nullptr, 2, true, 1000, "Tunora/1.02", nullptr, 0)); }
    void cleanupTestCase() { BASS_Free(); }

    // The network options reach the engine, also on a second start (which reports itself); a
    // zero time-out and no agent keep the engine's.
    void initAudioEngineOptions()
    {
        QString error;
        QVERIFY(!InitAudioEngine(&error, 7, false, 3000, "Agent/2", "user:pw@127.0.0.1:3128", 0));
        QCOMPARE(error, QStringLiteral("Already initialized/paused/etc"));
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_TIMEOUT), 7000u);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_PLAYLIST), 0u);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_BUFFER), 3000u);
        QCOMPARE(QByteArray(static_cast<const char *>(BASS_GetConfigPtr(BASS_CONFIG_NET_AGENT))), "Agent/2");
        QCOMPARE(QByteArray(static_cast<const char *>(BASS_GetConfigPtr(BASS_CONFIG_NET_PROXY))),
                 "user:pw@127.0.0.1:3128");
        BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, nullptr);

        BASS_Free();
        BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 75);
        QVERIFY(InitAudioEngine(nullptr, 0, true, 0, nullptr, nullptr, 0));
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_TIMEOUT), 7000u);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_PLAYLIST), 2u);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_PREBUF), 0u);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_FLOATDSP), 1u);
        QCOMPARE(QByteArray(static_cast<const char *>(BASS_GetConfigPtr(BASS_CONFIG_NET_AGENT))), "Agent/2");
    }

    void pauseAndResume()
    {
        TestBass bass;
        bass.SetFadeTimes(0, 0);
        QVERIFY(bass.OpenFile(makeMedia(Media::Wav, 5.0), 0, true));
        QVERIFY(bass.Pause());
        QVERIFY(bass.IsPaused());
        QVERIFY(bass.IsPausedByUser());
        QVERIFY(!bass.IsMuteMarked());
        QVERIFY(bass.Resume());
        QVERIFY(bass.IsPlaying());
        QVERIFY(!bass.IsPausedByUser());
        QVERIFY(bass.IsMuteMarked());
        QVERIFY(bass.Stop(0));
        QVERIFY(!bass.IsMuteMarked());
        QVERIFY(!bass.Pause());
        QVERIFY(!bass.Resume());
    }

    void withoutChannelNothingIsCalled()
    {
        TestBass bass;
        QVERIFY(!bass.Play(100));
        QVERIFY(!bass.Stop(100));
        QVERIFY(!bass.WaitForPreBuffer());
        QCOMPARE(bass.BufferFillPercent(), -1);
        QCOMPARE(bass.ChannelGetPosition(), QWORD(0));
        QCOMPARE(bass.ChannelGetLevel(), DWORD(0));
        QVERIFY(!bass.ChannelSetAttribute(BASS_ATTRIB_VOL, 0.5f));
        QCOMPARE(bass.ChannelGetTags(BASS_TAG_ICY), nullptr);
        QVERIFY(!bass.SetDsp(0));
        bass.UpdateMeasuredBitrate();
        QCOMPARE(bass.StationBitrate(), 0u);
        QVERIFY(bass.messages().isEmpty());
    }

    void resetClearsTheChannelState()
    {
        TestBass bass;
        Station record;
        record.setLocation(QStringLiteral("Sofia, Bulgaria"));
        bass.SetStation(record);
        bass.SetRetries(3);
        bass.SetMessengerEnabled(true);
        QVERIFY(bass.OpenFile(makeMedia(Media::Mp3), 0, false));
        bass.setRecording(false, true);
        bass.RequestAbort();
        QCOMPARE(QByteArray(bass.GetCodePageName()), QByteArray("Windows-1251"));

        bass.Reset();
        QCOMPARE(bass.Handle(), HSTREAM(0));
        QCOMPARE(bass.count(EventStopped), 1);
        QCOMPARE(bass.GetCodePageName(), nullptr);
        QCOMPARE(bass.Retries(), 0);
        QVERIFY(!bass.IsAborting());
        QVERIFY(!bass.IsLocalFile());
        QVERIFY(!bass.IsRecordingArmed());
        QVERIFY(bass.CurrentUrlText().isEmpty());
        QVERIFY(bass.IsMessengerEnabled()); // a setting, not channel state
    }

    void writeFailures_data()
    {
        QTest::addColumn<qint32>("format");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<UIntList>("events");
        QTest::addColumn<int>("writes");

        const UIntList failed{EventRecordingFailed, EventRecordingStopped};
        QTest::newRow("three failures in a row")
            << qint32(RecordStreamData) << QByteArray("fff") << 3 << failed << 3;
        QTest::newRow("a success resets the count")
            << qint32(RecordStreamData) << QByteArray("fftfft") << 6 << UIntList() << 6;
        QTest::newRow("nothing written after the stop")
            << qint32(RecordStreamData) << QByteArray("ffff") << 5 << failed << 3;
        QTest::newRow("encoders take decoded audio, not bytes")
            << qint32(RecordMp3) << QByteArray("fff") << 3 << UIntList() << 0;
    }

    void writeFailures()
    {
        QFETCH(qint32, format);
        QFETCH(QByteArray, answers);
        QFETCH(int, blocks);
        QFETCH(UIntList, events);
        QFETCH(int, writes);
        TestBass bass;
        bass.setRecording(true, false, format);
        bass.scriptWrites(answers);
        const char data[16] = {};
        for (int i = 0; i < blocks; ++i)
            bass.OnStreamData(data, sizeof data);
        QCOMPARE(bass.messages(), events);
        QCOMPARE(bass.writes(), writes);
    }
};

TUNORA_TEST_MAIN(TestCBass)
#include "tst_cbass.moc"
