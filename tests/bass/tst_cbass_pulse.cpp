// The engine wrapper on a private PulseAudio daemon that goes away under a playing channel and
// comes back: the loss is reported, and the channel plays on by itself once the server is back.

#include "bassinit.h"
#include "cbasstest.h"
#include "media.h"
#include "pulse.h"
#include "testmain.h"

using namespace BASS;
using TunoraTest::Media;
using TunoraTest::TestBass;
using UIntList = QList<uint>;

namespace {

// Milliseconds of the sink's recording (signed 16-bit stereo, 44.1 kHz) whose left side peaks above
// half of the tone's level, in windows of 10 ms.
int loudMs(const QByteArray &pcm)
{
    const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
    const qsizetype frames = pcm.size() / 4;
    int loud = 0;
    for (qsizetype at = 0; at + 441 <= frames; at += 441) {
        int peak = 0;
        for (qsizetype i = at; i < at + 441; ++i)
            peak = std::max(peak, std::abs(int(samples[2 * i])));
        loud += peak > 8192 ? 10 : 0;
    }
    return loud;
}

} // namespace

class TestCBassPulse : public QObject
{
    Q_OBJECT

    TunoraTest::PulseServer m_server;
    QString m_tone;

private slots:
    void initTestCase()
    {
        QString error;
        m_tone = Media::tone(Media::Wav, 30.0, 1000, 1000, 0.5, &error);
        QVERIFY2(!m_tone.isEmpty(), qPrintable(error));
        QVERIFY2(m_server.start(&error), qPrintable(error));
        SetEngineOption(BASS_CONFIG_UPDATEPERIOD, 20); // a small device buffer
        QVERIFY2(InitAudioEngine(&error, 5, true, 1000, "Tunora/1.02", nullptr, 1), qPrintable(error));
    }

    void cleanupTestCase() { BASS_Free(); }

    void resumesWhenTheServerIsBack_data()
    {
        QTest::addColumn<bool>("stoppedWhileAway");
        QTest::newRow("plays on by itself") << false;
        QTest::newRow("stopped while away: the next play reconnects, the engine does not") << true;
    }

    void resumesWhenTheServerIsBack()
    {
        QFETCH(bool, stoppedWhileAway);
        TestBass bass;
        bass.SetFadeTimes(0, 0);
        QVERIFY(bass.OpenFile(m_tone, 0, true));
        const auto played = [&bass] { return bass.Bytes2Seconds(bass.ChannelGetPosition()); };
        QTRY_VERIFY_WITH_TIMEOUT(played() > 0.3, 10000);

        m_server.stop();
        QTRY_COMPARE_WITH_TIMEOUT(bass.params(EventDeviceLost), UIntList{0}, 10000);
        QVERIFY(!bass.IsPlaying());
        QVERIFY(!bass.GetErrorText().isEmpty());
        if (stoppedWhileAway) // the engine's stop, which keeps a file channel
            QVERIFY(BASS_ChannelStop(bass.Handle()));
        const double stoppedAt = played();

        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        QVERIFY2(m_server.startRecording(&error), qPrintable(error));
        if (stoppedWhileAway)
            QVERIFY(bass.ChannelPlay(false));
        else
            QTRY_COMPARE_WITH_TIMEOUT(bass.params(EventDeviceLost), (UIntList{0, 1}), 15000);
        QVERIFY(bass.IsPlaying());
        QVERIFY(bass.GetErrorText().isEmpty() != stoppedWhileAway);
        // Played on from where it stopped, and heard on the server that came back.
        QTRY_VERIFY_WITH_TIMEOUT(played() > stoppedAt + 1.5, 15000);
        QVERIFY2(played() < stoppedAt + 10, qPrintable(QString::number(played() - stoppedAt)));
        const int heard = loudMs(m_server.stopRecording());
        QVERIFY2(heard >= 1000, qPrintable(QString::number(heard)));
        // A channel stopped while the server was away is the listener's: the engine, which tries
        // to reconnect every second, left it alone.
        QCOMPARE(bass.params(EventDeviceLost), stoppedWhileAway ? UIntList{0} : (UIntList{0, 1}));
        QVERIFY(bass.Stop(0));
    }
};

TUNORA_TEST_MAIN_CORE(TestCBassPulse)
#include "tst_cbass_pulse.moc"
