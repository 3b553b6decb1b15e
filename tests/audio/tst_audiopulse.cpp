// Playback through a real PulseAudio daemon that the test starts (null sink, private runtime
// folder): the sound must arrive at the sink, pause must cork it and the end must still come.

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
std::atomic<int> g_deviceFailures{0};

void CALLBACK onEnd(HSYNC, DWORD, DWORD, void *)
{
    ++g_ends;
}

void CALLBACK onDeviceFail(HSYNC, DWORD, DWORD, void *)
{
    ++g_deviceFailures;
}

// Stereo 16-bit samples recorded from the sink's monitor, as floats of the left side.
std::vector<float> leftOf(const QByteArray &pcm)
{
    std::vector<float> left;
    const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
    for (qsizetype i = 0; i + 1 < pcm.size() / 2; i += 2)
        left.push_back(samples[i] / 32768.0f);
    return left;
}

// One second of a 1 kHz tone at half scale, as a playing channel.
HSTREAM openTone()
{
    Media::Recipe recipe;
    recipe.seconds = 1.0;
    recipe.left = recipe.right = QStringLiteral("0.5*sin(2*PI*1000*t)");
    const QByteArray path = Media::make(recipe).toLocal8Bit();
    return BASS_StreamCreateFile(FALSE, path.constData(), 0, 0, 0);
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
        Media::Recipe silence;
        silence.seconds = 0.3;
        silence.left = QStringLiteral("0");
        const QByteArray path = Media::make(silence).toLocal8Bit();
        const HSTREAM warmUp = BASS_StreamCreateFile(FALSE, path.constData(), 0, 0, 0);
        BASS_ChannelSetSync(warmUp, BASS_SYNC_END, 0, onEnd, nullptr);
        QVERIFY(BASS_ChannelPlay(warmUp, FALSE));
        QTRY_COMPARE_WITH_TIMEOUT(g_ends.load(), 1, 5000);
        BASS_StreamFree(warmUp);
        g_ends = 0;
    }
    void cleanupTestCase()
    {
        BASS_Free();
        BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 100);
        m_server.stop();
    }

    void soundArrivesAtTheSink()
    {
        const HSTREAM stream = openTone();
        QVERIFY(stream);
        BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, onEnd, nullptr);
        QString error;
        QVERIFY2(m_server.startRecording(&error), qPrintable(error));
        QTest::qWait(200);
        QElapsedTimer played;
        played.start();
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QTRY_COMPARE_WITH_TIMEOUT(g_ends.load(), 1, 3000);
        const qint64 endMs = played.elapsed();
        QTest::qWait(200);
        const std::vector<float> left = leftOf(m_server.stopRecording());
        BASS_StreamFree(stream);
        // The end comes when the second of audio has been played out, not when it was decoded.
        QVERIFY2(endMs > 900 && endMs < 1500, qPrintable(QString::number(endMs)));
        const std::vector<float> envelope = envelopeOf(left, 441);
        const int loud = longestRun(envelope, true, 0.4f);
        QVERIFY2(loud >= 900 && loud <= 1100, qPrintable(QString::number(loud)));
        // It is our tone: 1 kHz at the level it was made with.
        const auto start =
            std::find_if(left.begin(), left.end(), [](float v) { return std::fabs(v) > 0.4f; });
        QVERIFY(left.end() - start > 44100 / 2);
        const std::vector<float> tone(start + 4410, start + 4410 + 22050);
        QVERIFY2(std::fabs(frequencyOf(tone, 44100) - 1000) < 5,
                 qPrintable(QString::number(frequencyOf(tone, 44100))));
        QVERIFY2(std::fabs(peakOf(tone) - 0.5f) < 0.02f, qPrintable(QString::number(peakOf(tone))));
    }

    void pauseCorksTheStream()
    {
        const HSTREAM stream = openTone();
        g_ends = 0;
        BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, onEnd, nullptr);
        QString error;
        QVERIFY2(m_server.startRecording(&error), qPrintable(error));
        QTest::qWait(200);
        BASS_ChannelPlay(stream, FALSE);
        QTest::qWait(400);
        QVERIFY(BASS_ChannelPause(stream));
        const double held = BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
        QTest::qWait(500);
        QCOMPARE(BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE)), held);
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QTRY_COMPARE_WITH_TIMEOUT(g_ends.load(), 1, 3000);
        QTest::qWait(200);
        const std::vector<float> envelope = envelopeOf(leftOf(m_server.stopRecording()), 441);
        BASS_StreamFree(stream);
        // Sound, then the pause as silence, then the rest: nothing lost, nothing repeated.
        const auto first = std::find_if(envelope.begin(), envelope.end(), [](float v) { return v > 0.4f; });
        const auto last = std::find_if(envelope.rbegin(), envelope.rend(), [](float v) { return v > 0.4f; });
        QVERIFY(first != envelope.end());
        const std::vector<float> span(first, last.base());
        const int silent = longestRun(span, false, 0.05f);
        QVERIFY2(silent >= 400 && silent <= 600, qPrintable(QString::number(silent)));
        int loudMs = 0;
        for (float v : span)
            loudMs += v > 0.4f ? 10 : 0;
        QVERIFY2(loudMs >= 950 && loudMs <= 1050, qPrintable(QString::number(loudMs)));
    }

    // The sound server goes away under a playing channel: the channel stops and says so through
    // its DEV_FAIL sync. Once a server is back, the next play connects to it and is heard there.
    // Last of the suite: it replaces the server.
    void serverLossThenNextPlayReconnects()
    {
        Media::Recipe recipe;
        recipe.seconds = 20.0;
        recipe.left = recipe.right = QStringLiteral("0.5*sin(2*PI*1000*t)");
        const QByteArray path = Media::make(recipe).toLocal8Bit();
        const HSTREAM stream = BASS_StreamCreateFile(FALSE, path.constData(), 0, 0, 0);
        QVERIFY(stream);
        QVERIFY(BASS_ChannelSetSync(stream, BASS_SYNC_DEV_FAIL, 0, onDeviceFail, nullptr));
        auto position = [stream] {
            return BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
        };
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QTRY_VERIFY_WITH_TIMEOUT(position() > 0.3, 5000);

        m_server.stop();
        QTRY_COMPARE_WITH_TIMEOUT(g_deviceFailures.load(), 1, 10000);
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_STOPPED));
        const double stoppedAt = position();

        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        QVERIFY2(m_server.startRecording(&error), qPrintable(error));
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_PLAYING));
        QTRY_VERIFY_WITH_TIMEOUT(position() > stoppedAt + 1.5, 10000);
        const std::vector<float> envelope = envelopeOf(leftOf(m_server.stopRecording()), 441);
        BASS_StreamFree(stream);
        // The new server heard the tone: a second of it at least (the start may be cut by the
        // recorder's own start).
        QVERIFY2(longestRun(envelope, true, 0.4f) >= 1000,
                 qPrintable(QString::number(longestRun(envelope, true, 0.4f))));
        QCOMPARE(g_deviceFailures.load(), 1);
    }

private:
    TunoraTest::PulseServer m_server;
};

TUNORA_TEST_MAIN_CORE(TestAudioPulse)
#include "tst_audiopulse.moc"
