// Playback on the no-sound output, in real time: positions, pause, the end, fades, freeing, and
// the threads syncs run on. What the output "plays" is captured through its test tap.

#include "audiotest.h"
#include "engine.h"
#include "media.h"
#include "output.h"
#include "testmain.h"

#include <QElapsedTimer>

#include <atomic>
#include <thread>

using TunoraTest::Media;
using namespace AudioTest;

namespace {

// Everything the output thread renders, kept without locks or allocation on that thread.
struct Capture
{
    std::vector<float> samples = std::vector<float>(44100 * 2 * 8);
    std::atomic<std::size_t> used{0};
    std::atomic<bool> recording{false};
    std::atomic<std::thread::id> outputThread{};

    void start()
    {
        recording = false;
        used = 0;
        recording = true;
    }
    std::vector<float> stop()
    {
        recording = false;
        return std::vector<float>(samples.begin(), samples.begin() + std::ptrdiff_t(used.load()));
    }
};
Capture g_capture;

void captureTap(const float *frames, std::size_t count, void *)
{
    g_capture.outputThread = std::this_thread::get_id();
    if (!g_capture.recording)
        return;
    const std::size_t at = g_capture.used.load(std::memory_order_relaxed);
    const std::size_t n = std::min(count * 2, g_capture.samples.size() - at);
    std::copy_n(frames, n, g_capture.samples.begin() + std::ptrdiff_t(at));
    g_capture.used.store(at + n, std::memory_order_release);
}

enum Kind
{
    End,
    EndMixTime,
    Slide,
    Free
};

QString sineWav(double seconds)
{
    Media::Recipe recipe;
    recipe.seconds = seconds;
    recipe.left = recipe.right = QStringLiteral("0.5*sin(2*PI*1000*t)");
    return Media::make(recipe);
}

HSTREAM openFile(const QString &path, DWORD flags = 0)
{
    const QByteArray local = path.toLocal8Bit();
    return BASS_StreamCreateFile(FALSE, local.constData(), 0, 0, flags);
}

double positionSeconds(HSTREAM stream)
{
    return BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
}

bool initEngine(tunora::audio::NullOutputBehaviour behaviour = {})
{
    behaviour.tap = captureTap;
    tunora::audio::setNullOutputBehaviour(behaviour);
    return BASS_Init(0, 44100, 0, nullptr, nullptr);
}

} // namespace

class TestAudioPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(initEngine()); }
    void cleanupTestCase() { BASS_Free(); }

    void playPauseAndEnd()
    {
        const HSTREAM stream = openFile(sineWav(1.0));
        QVERIFY(stream);
        QVERIFY(!BASS_ChannelPause(stream));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_NOPLAY);
        SyncLog log;
        QVERIFY(BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, SyncLog::record, log.user(End)));
        QVERIFY(BASS_ChannelSetSync(stream, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, SyncLog::record,
                                    log.user(EndMixTime)));
        log.start();
        QElapsedTimer playing;
        playing.start();
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_PLAYING));
        QTRY_VERIFY(positionSeconds(stream) > 0.3);
        QVERIFY(BASS_ChannelPause(stream));
        // The position followed the clock, measured against the time that really passed.
        const double paused = positionSeconds(stream);
        const double passed = qMin(playing.elapsed(), qint64(1000)) / 1000.0;
        QVERIFY2(std::fabs(paused - passed) < 0.12,
                 qPrintable(QStringLiteral("%1 s after %2 s").arg(paused).arg(passed)));
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_PAUSED));
        QVERIFY(!BASS_ChannelPause(stream));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
        QElapsedTimer held;
        held.start();
        QTest::qWait(300); // the listener's pause
        QCOMPARE(positionSeconds(stream), paused);
        const qint64 heldMs = held.elapsed();
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QVERIFY(log.waitFor(End, 1, 5000));
        // One second of audio plus the pause, as long as it really lasted.
        const SyncRecord end = log.records(End)[0];
        QVERIFY2(end.atMs > 900 + heldMs && end.atMs < 1250 + heldMs,
                 qPrintable(QStringLiteral("end at %1 ms, paused %2 ms").arg(end.atMs).arg(heldMs)));
        // The end sync ran on the callback thread: neither the caller's nor the output's.
        QVERIFY(end.thread != std::this_thread::get_id());
        QVERIFY(end.thread != g_capture.outputThread.load());
        // The mixing-time end came from the decode thread, long before it was heard.
        QVERIFY(log.waitFor(EndMixTime, 1, 0));
        const SyncRecord decoded = log.records(EndMixTime)[0];
        // The decoder stays one buffer (half a second) ahead of what is heard, no more.
        QVERIFY2(
            decoded.atMs > 300 && decoded.atMs < end.atMs - 300,
            qPrintable(QStringLiteral("decoded at %1 ms, heard at %2 ms").arg(decoded.atMs).arg(end.atMs)));
        QVERIFY(decoded.thread != end.thread && decoded.thread != g_capture.outputThread.load());
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_STOPPED));
        QVERIFY(std::fabs(positionSeconds(stream) - 1.0) < 0.01);
        QVERIFY(BASS_StreamFree(stream)); // a channel without AUTOFREE stays after its end
    }

    void fadesAreSmooth_data()
    {
        QTest::addColumn<bool>("fadeIn");
        QTest::addColumn<int>("fadeMs");
        QTest::newRow("fade-in over 400 ms") << true << 400;
        QTest::newRow("fade-out over 300 ms") << false << 300;
    }
    void fadesAreSmooth()
    {
        QFETCH(bool, fadeIn);
        QFETCH(int, fadeMs);
        const HSTREAM stream = openFile(sineWav(1.2));
        SyncLog log;
        BASS_ChannelSetSync(stream, BASS_SYNC_SLIDE, 0, SyncLog::record, log.user(Slide));
        QVERIFY(BASS_ChannelSetAttribute(stream, BASS_ATTRIB_VOL, fadeIn ? 0.0f : 1.0f));
        g_capture.start();
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        if (!fadeIn)
            QTRY_VERIFY(positionSeconds(stream) > 0.2);
        QVERIFY(BASS_ChannelSlideAttribute(stream, BASS_ATTRIB_VOL, fadeIn ? 1.0f : 0.0f, DWORD(fadeMs)));
        QVERIFY(BASS_ChannelIsSliding(stream, BASS_ATTRIB_VOL));
        QVERIFY(log.waitFor(Slide, 1, 5000));
        QVERIFY(!BASS_ChannelIsSliding(stream, BASS_ATTRIB_VOL));
        // The fade is heard up to one period after it ended: capture a while beyond it.
        const std::size_t beyond = g_capture.used + 44100 * 2 / 4;
        QTRY_VERIFY(g_capture.used >= beyond);
        const std::vector<float> heard = g_capture.stop();
        float volume = -1;
        QVERIFY(BASS_ChannelGetAttribute(stream, BASS_ATTRIB_VOL, &volume));
        QCOMPARE(volume, fadeIn ? 1.0f : 0.0f);
        BASS_StreamFree(stream);

        // Sample-exact view of what was played: 2 ms windows of the left side.
        const std::vector<float> envelope = envelopeOf(channelOf(heard, 2, 0), 88);
        const float full = 0.5f;
        auto firstAt = [&](std::ptrdiff_t begin, auto predicate) {
            return std::find_if(envelope.begin() + begin, envelope.end(), predicate) - envelope.begin();
        };
        // A fade-out is looked for once the sound was at full level: on a busy machine the
        // capture may begin with silence before playback starts.
        const std::ptrdiff_t loud = fadeIn ? 0 : firstAt(0, [&](float v) { return v > 0.95f * full; });
        QVERIFY(loud < std::ptrdiff_t(envelope.size()));
        const std::ptrdiff_t from = fadeIn ? firstAt(loud, [&](float v) { return v > 0.1f * full; })
                                           : firstAt(loud, [&](float v) { return v < 0.9f * full; });
        const std::ptrdiff_t to = fadeIn ? firstAt(from, [&](float v) { return v > 0.9f * full; })
                                         : firstAt(from, [&](float v) { return v < 0.1f * full; });
        QVERIFY(to < std::ptrdiff_t(envelope.size()));
        // Linear: 10 % to 90 % takes 80 % of the fade.
        const double rampMs = double(to - from) * 2.0;
        QVERIFY2(std::fabs(rampMs - 0.8 * fadeMs) < 20, qPrintable(QString::number(rampMs)));
        // No clicks: from one 2 ms window to the next the level moves by about one step of the
        // ramp, never by a jump.
        const float step = full * 2.0f / float(fadeMs);
        for (std::size_t i = std::size_t(loud) + 1; i < envelope.size(); ++i)
            QVERIFY2(std::fabs(envelope[i] - envelope[i - 1]) < 2.5f * step + 0.002f,
                     qPrintable(QStringLiteral("jump at %1 ms: %2 -> %3")
                                    .arg(i * 2)
                                    .arg(envelope[i - 1])
                                    .arg(envelope[i])));
    }

    // A DSP set between the creation and the first play shapes the first sample heard: nothing
    // may be decoded ahead unprocessed (a new station played in stereo for half a second with
    // the mono fold-down on). A seek before the first play moves the decoder itself.
    void chainAndSeekBeforeFirstPlay()
    {
        Media::Recipe recipe;
        recipe.seconds = 2.0;
        recipe.left = QStringLiteral("0.5*sin(2*PI*1000*t)");
        recipe.right = QStringLiteral("0");
        const HSTREAM stream = openFile(Media::make(recipe), BASS_SAMPLE_FLOAT);
        QVERIFY(stream);
        QTest::qWait(300); // time an engine decoding at creation would use to fill its ring
        QVERIFY(BASS_ChannelSetPosition(stream, BASS_ChannelSeconds2Bytes(stream, 0.5), BASS_POS_BYTE));
        QVERIFY(std::fabs(positionSeconds(stream) - 0.5) < 0.01);
        const auto leftIntoRight = [](HDSP, DWORD, void *buffer, DWORD length, void *) {
            auto *frames = static_cast<float *>(buffer);
            for (DWORD i = 0; i + 1 < length / sizeof(float); i += 2)
                frames[i + 1] = frames[i];
        };
        QVERIFY(BASS_ChannelSetDSP(stream, leftIntoRight, nullptr, 0));
        g_capture.start();
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QTRY_VERIFY(g_capture.used.load() >= 44100 * 2 * 3 / 10);
        const std::vector<float> heard = g_capture.stop();
        QVERIFY(BASS_StreamFree(stream));
        QVERIFY(peakOf(heard) > 0.4f);
        for (std::size_t i = 0; i + 1 < heard.size(); i += 2)
            QVERIFY2(heard[i] == heard[i + 1], qPrintable(QStringLiteral("frame %1 differs").arg(i / 2)));
    }

    void autoFreeChannelsFreeThemselves()
    {
        HSTREAM stream = openFile(sineWav(0.3), BASS_STREAM_AUTOFREE);
        SyncLog log;
        BASS_ChannelSetSync(stream, BASS_SYNC_FREE, 0, SyncLog::record, log.user(Free));
        BASS_ChannelPlay(stream, FALSE);
        QVERIFY(log.waitFor(Free, 1, 2000));
        BASS_CHANNELINFO info;
        QVERIFY(!BASS_ChannelGetInfo(stream, &info));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        // Stopping an AUTOFREE channel frees it at once.
        stream = openFile(sineWav(0.3), BASS_STREAM_AUTOFREE);
        BASS_ChannelPlay(stream, FALSE);
        QVERIFY(BASS_ChannelStop(stream));
        QVERIFY(!BASS_ChannelGetInfo(stream, &info));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    }

    void freeReleasesPlayingChannels()
    {
        const HSTREAM a = openFile(sineWav(1.0));
        const HSTREAM b = openFile(Media::tone(Media::Vorbis));
        const HSTREAM c = openFile(sineWav(1.0), BASS_STREAM_DECODE);
        BASS_ChannelPlay(a, FALSE);
        BASS_ChannelPlay(b, FALSE);
        BASS_ChannelSetDSP(
            b, [](HDSP, DWORD, void *, DWORD, void *) {}, nullptr, 0);
        QTRY_VERIFY(positionSeconds(a) > 0 && positionSeconds(b) > 0);
        QVERIFY(BASS_Free());
        for (HSTREAM stream : {a, b, c}) {
            QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_STOPPED));
            QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        }
        QVERIFY(initEngine());
    }
};

TUNORA_TEST_MAIN_CORE(TestAudioPlayback)
#include "tst_audioplayback.moc"
