// Playback through a real PulseAudio daemon that the test starts (null sink, private runtime
// folder): the sound must arrive at the sink, pause must cork it and the end must still come.
// Losing the daemon and getting it back is the channel wrapper's PulseAudio suite.

#include "audiotest.h"
#include "media.h"
#include "pulse.h"
#include "testmain.h"

#include <QElapsedTimer>

#include <atomic>

using TunoraTest::Media;
using namespace AudioTest;

namespace {

std::atomic<int> g_ends{0};

void CALLBACK onEnd(HSYNC, DWORD, DWORD, void *)
{
    ++g_ends;
}

// A playing channel of `left` (an expression of t) on both sides, whose end counts in g_ends.
HSTREAM openChannel(double seconds, const QString &left)
{
    Media::Recipe recipe;
    recipe.seconds = seconds;
    recipe.left = recipe.right = left;
    const QByteArray path = Media::make(recipe).toLocal8Bit();
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.constData(), 0, 0, 0);
    BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, onEnd, nullptr);
    return stream;
}

// Longest run of 10 ms windows whose peak is above / below `threshold`, in milliseconds.
int longestRun(const std::vector<float> &envelope, bool loud, float threshold)
{
    int best = 0, run = 0;
    for (float v : envelope) {
        run = ((v > threshold) == loud) ? run + 10 : 0;
        best = std::max(best, run);
    }
    return best;
}

} // namespace

class TestAudioPulse : public QObject
{
    Q_OBJECT

    TunoraTest::PulseServer m_server;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        // A small device buffer: the null sink would otherwise buffer about two seconds.
        BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 20);
        QVERIFY2(BASS_Init(BASS_DEVICE_DEFAULT, 44100, 0, nullptr, nullptr),
                 qPrintable(QString::number(BASS_ErrorGetCode())));
        QCOMPARE(BASS_GetDevice(), DWORD(1));
        // A fresh null sink still runs with its two-second blocks; the first stream shrinks
        // them. Play a little silence first so the timing checks below see the small buffer.
        const HSTREAM warmUp = openChannel(0.3, QStringLiteral("0"));
        QVERIFY(BASS_ChannelPlay(warmUp, FALSE));
        QTRY_COMPARE_WITH_TIMEOUT(g_ends.load(), 1, 5000);
        BASS_StreamFree(warmUp);
    }
    void cleanupTestCase()
    {
        BASS_Free();
        BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 100);
        m_server.stop();
    }

    void soundArrivesAndPauseCorksIt()
    {
        g_ends = 0;
        const HSTREAM stream = openChannel(1.0, QStringLiteral("0.5*sin(2*PI*1000*t)"));
        QVERIFY(stream);
        QString error;
        QVERIFY2(m_server.startRecording(&error), qPrintable(error));
        QTest::qWait(200); // the recorder starts up
        QElapsedTimer played;
        played.start();
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QTRY_VERIFY(BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE)) > 0.4);
        QVERIFY(BASS_ChannelPause(stream));
        QElapsedTimer held;
        held.start();
        QTest::qWait(500); // the listener's pause
        const qint64 heldMs = held.elapsed();
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QTRY_COMPARE_WITH_TIMEOUT(g_ends.load(), 1, 3000);
        // The end comes when the second of audio has been played out, not when it was decoded.
        const qint64 endMs = played.elapsed() - heldMs;
        QVERIFY2(endMs > 900 && endMs < 1500, qPrintable(QString::number(endMs)));
        QTest::qWait(200); // the monitor's recorder runs behind the sink; it gives no progress to wait on
        const QByteArray pcm = m_server.stopRecording();
        BASS_StreamFree(stream);
        std::vector<float> left; // stereo 16-bit samples from the sink's monitor
        const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
        for (qsizetype i = 0; i + 1 < pcm.size() / 2; i += 2)
            left.push_back(samples[i] / 32768.0f);
        // Sound, then the pause as silence, then the rest: nothing lost, nothing repeated.
        const std::vector<float> envelope = envelopeOf(left, 441);
        const auto first = std::find_if(envelope.begin(), envelope.end(), [](float v) { return v > 0.4f; });
        const auto last = std::find_if(envelope.rbegin(), envelope.rend(), [](float v) { return v > 0.4f; });
        QVERIFY(first != envelope.end());
        const std::vector<float> span(first, last.base());
        const int silent = longestRun(span, false, 0.05f);
        QVERIFY2(std::abs(silent - heldMs) <= 100,
                 qPrintable(QStringLiteral("%1 of %2 ms").arg(silent).arg(heldMs)));
        const int loudMs =
            int(std::count_if(span.begin(), span.end(), [](float v) { return v > 0.4f; })) * 10;
        QVERIFY2(loudMs >= 950 && loudMs <= 1050, qPrintable(QString::number(loudMs)));
        // It is our tone: 1 kHz at the level it was made with.
        const auto start =
            std::find_if(left.begin(), left.end(), [](float v) { return std::fabs(v) > 0.4f; });
        const std::vector<float> tone(start + 4410, start + 4410 + 8820);
        QVERIFY2(std::fabs(frequencyOf(tone, 44100) - 1000) < 5,
                 qPrintable(QString::number(frequencyOf(tone, 44100))));
        QVERIFY2(std::fabs(peakOf(tone) - 0.5f) < 0.02f, qPrintable(QString::number(peakOf(tone))));
    }
};

TUNORA_TEST_MAIN_CORE(TestAudioPulse)
#include "tst_audiopulse.moc"
