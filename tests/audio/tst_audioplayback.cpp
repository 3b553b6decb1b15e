// Playback on the no-sound output, in real time: positions, pause, the end, fades, levels,
// syncs and the callback thread. What the output "plays" is captured through its test tap.

#include "audiotest.h"
#include "bytesource.h"
#include "engine.h"
#include "media.h"
#include "output.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QFile>

#include <atomic>
#include <mutex>
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
    Position,
    Slide,
    Free,
    Meta,
    MetaMixTime
};

// A memory source that announces a metadata block at one byte offset, as the network reader
// does for the ICY blocks it takes out of a stream.
class AnnouncingSource final : public tunora::audio::ByteSource
{
public:
    AnnouncingSource(QByteArray data, std::int64_t offset, DWORD value)
        : m_data(std::move(data))
        , m_memory(reinterpret_cast<const std::uint8_t *>(m_data.constData()), std::size_t(m_data.size()))
        , m_offset(offset)
        , m_value(value)
    {}
    int read(std::uint8_t *buffer, int size) override { return m_memory.read(buffer, size); }
    int peek(std::int64_t offset, std::uint8_t *buffer, int size) override
    {
        return m_memory.peek(offset, buffer, size);
    }
    std::int64_t seek(std::int64_t position, int whence) override { return m_memory.seek(position, whence); }
    bool seekable() const override { return false; }
    std::int64_t size() const override { return -1; }
    std::int64_t position() const override { return m_memory.position(); }
    std::int64_t downloaded() const override { return m_memory.size(); }
    bool isLocal() const override { return false; }
    void interrupt() override { m_memory.interrupt(); }
    void takeEvents(std::int64_t upTo, std::vector<tunora::audio::SourceEvent> &out) override
    {
        if (!m_sent && upTo >= m_offset) {
            m_sent = true;
            out.push_back({m_offset, BASS_SYNC_META, m_value});
        }
    }

private:
    QByteArray m_data;
    tunora::audio::MemorySource m_memory;
    std::int64_t m_offset;
    DWORD m_value;
    bool m_sent = false;
};

QString sineWav(double seconds, const QString &amplitude = QStringLiteral("0.5"))
{
    Media::Recipe recipe;
    recipe.seconds = seconds;
    recipe.left = recipe.right = amplitude + QStringLiteral("*sin(2*PI*1000*t)");
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

    void playsInRealTimeAndEnds()
    {
        const HSTREAM stream = openFile(sineWav(1.0));
        QVERIFY(stream);
        SyncLog log;
        QVERIFY(BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, SyncLog::record, log.user(End)));
        QVERIFY(BASS_ChannelSetSync(stream, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, SyncLog::record,
                                    log.user(EndMixTime)));
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_STOPPED));
        log.start();
        QElapsedTimer playing;
        playing.start();
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_PLAYING));
        QTest::qWait(500);
        // The position follows the clock, measured against the time that really passed (the
        // wait may last longer on a busy machine).
        const double middle = positionSeconds(stream);
        const double passed = qMin(playing.elapsed(), qint64(1000)) / 1000.0;
        QVERIFY2(std::fabs(middle - passed) < 0.12,
                 qPrintable(QStringLiteral("%1 s after %2 s").arg(middle).arg(passed)));
        QVERIFY(log.waitFor(End, 1, 3000));
        const SyncRecord end = log.records(End)[0];
        QVERIFY2(end.atMs > 900 && end.atMs < 1250, qPrintable(QString::number(end.atMs)));
        // The end sync ran on the callback thread: neither the caller's nor the output's.
        QVERIFY(end.thread != std::this_thread::get_id());
        QVERIFY(end.thread != g_capture.outputThread.load());
        // The mixing-time end came from the decode thread, long before it was heard.
        QVERIFY(log.waitFor(EndMixTime, 1, 0));
        const SyncRecord decoded = log.records(EndMixTime)[0];
        QVERIFY(decoded.atMs < end.atMs - 300);
        QVERIFY(decoded.thread != end.thread && decoded.thread != g_capture.outputThread.load());
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_STOPPED));
        QVERIFY(std::fabs(positionSeconds(stream) - 1.0) < 0.01);
        QVERIFY(BASS_StreamFree(stream));
    }

    void pauseFreezesAndResumeContinues()
    {
        const HSTREAM stream = openFile(sineWav(1.0));
        QVERIFY(!BASS_ChannelPause(stream));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_NOPLAY);
        SyncLog log;
        BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, SyncLog::record, log.user(End));
        log.start();
        QElapsedTimer playing;
        playing.start();
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QTest::qWait(300);
        QVERIFY(BASS_ChannelPause(stream));
        const double played = qMin(playing.elapsed(), qint64(1000)) / 1000.0;
        QElapsedTimer held;
        held.start();
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_PAUSED));
        QVERIFY(!BASS_ChannelPause(stream));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
        // Held where the clock had taken it (the wait may overrun on a busy machine).
        const double paused = positionSeconds(stream);
        QVERIFY2(std::fabs(paused - played) < 0.12,
                 qPrintable(QStringLiteral("%1 s after %2 s").arg(paused).arg(played)));
        QCOMPARE(BASS_ChannelGetLevel(stream), DWORD(0));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_NOPLAY);
        QTest::qWait(300);
        QCOMPARE(positionSeconds(stream), paused);
        const qint64 heldMs = held.elapsed();
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_PLAYING));
        QVERIFY(log.waitFor(End, 1, 5000));
        const SyncRecord end = log.records(End)[0];
        // One second of audio plus the pause, as long as it really lasted.
        QVERIFY2(end.atMs > 900 + heldMs && end.atMs < 1250 + heldMs,
                 qPrintable(QStringLiteral("end at %1 ms, paused %2 ms").arg(end.atMs).arg(heldMs)));
        QVERIFY(BASS_StreamFree(stream));
    }

    void seekWhilePlaying()
    {
        const HSTREAM stream = openFile(sineWav(1.0));
        SyncLog log;
        BASS_ChannelSetSync(stream, BASS_SYNC_END, 0, SyncLog::record, log.user(End));
        BASS_ChannelPlay(stream, FALSE);
        QTest::qWait(200);
        log.start();
        QVERIFY(BASS_ChannelSetPosition(stream, BASS_ChannelSeconds2Bytes(stream, 0.7), BASS_POS_BYTE));
        // The new position counts from the moment of the seek; what was buffered is dropped.
        QVERIFY2(std::fabs(positionSeconds(stream) - 0.7) < 0.02,
                 qPrintable(QString::number(positionSeconds(stream))));
        QVERIFY(log.waitFor(End, 1, 2000));
        const SyncRecord end = log.records(End)[0];
        QVERIFY2(end.atMs > 200 && end.atMs < 480, qPrintable(QString::number(end.atMs)));
        BASS_StreamFree(stream);
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
            QTest::qWait(200);
        QVERIFY(BASS_ChannelSlideAttribute(stream, BASS_ATTRIB_VOL, fadeIn ? 1.0f : 0.0f, DWORD(fadeMs)));
        QVERIFY(BASS_ChannelIsSliding(stream, BASS_ATTRIB_VOL));
        // The level meter follows the fade (sampled as a player's meter would).
        std::vector<int> meter;
        QElapsedTimer sliding;
        sliding.start();
        while (sliding.elapsed() < fadeMs + 250) { // the fade is heard up to one period later
            meter.push_back(int(BASS_ChannelGetLevel(stream) & 0xFFFF));
            QTest::qWait(40);
        }
        const std::vector<float> heard = g_capture.stop();
        QVERIFY(!BASS_ChannelIsSliding(stream, BASS_ATTRIB_VOL));
        QVERIFY(log.waitFor(Slide, 1, 500));
        float volume = -1;
        QVERIFY(BASS_ChannelGetAttribute(stream, BASS_ATTRIB_VOL, &volume));
        QCOMPARE(volume, fadeIn ? 1.0f : 0.0f);
        BASS_StreamFree(stream);

        // A fade only ever goes one way. The meter reads what is heard "now" from the output's
        // latency estimate, which a busy machine updates late, so a reading may lag the one before
        // by a few percent; the sample-exact check below is the strict one.
        for (std::size_t i = 1; i < meter.size(); ++i)
            QVERIFY2(fadeIn ? meter[i] >= meter[i - 1] - 1000 : meter[i] <= meter[i - 1] + 1000,
                     qPrintable(QStringLiteral("%1 then %2").arg(meter[i - 1]).arg(meter[i])));
        QVERIFY2(fadeIn ? meter.back() > 16000 : meter.back() < 200,
                 qPrintable(QString::number(meter.back())));

        // Sample-exact view of what was played: 2 ms windows of the left side.
        const std::vector<float> envelope = envelopeOf(channelOf(heard, 2, 0), 88);
        QVERIFY(envelope.size() > std::size_t(fadeMs / 2));
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

    void globalVolumeScalesEverything()
    {
        const HSTREAM stream = openFile(sineWav(0.6));
        QVERIFY(BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, 2500));
        g_capture.start();
        BASS_ChannelPlay(stream, FALSE);
        QTest::qWait(400);
        const std::vector<float> heard = g_capture.stop();
        QVERIFY(BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, 10000));
        BASS_StreamFree(stream);
        QVERIFY(heard.size() > 44100 / 2);
        // 0.5 at a quarter of the volume, once the 20 ms ramp to it is over.
        const float steady = peakOf(std::vector<float>(heard.begin() + 44100 / 10, heard.end()));
        QVERIFY2(std::fabs(steady - 0.125f) < 0.002f, qPrintable(QString::number(steady)));
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
        // A channel without the flag stays after its end.
        stream = openFile(sineWav(0.2));
        BASS_ChannelPlay(stream, FALSE);
        QTest::qWait(450);
        QVERIFY(BASS_ChannelGetInfo(stream, &info));
        QVERIFY(BASS_StreamFree(stream));
    }

    void positionSyncsAndOneTimeSyncs()
    {
        const HSTREAM stream = openFile(sineWav(0.6));
        SyncLog log;
        const QWORD quarter = BASS_ChannelSeconds2Bytes(stream, 0.25);
        QVERIFY(BASS_ChannelSetSync(stream, BASS_SYNC_POS, quarter, SyncLog::record, log.user(Position)));
        const HSYNC once =
            BASS_ChannelSetSync(stream, BASS_SYNC_END | BASS_SYNC_ONETIME, 0, SyncLog::record, log.user(End));
        QCOMPARE(BASS_ChannelSetSync(stream, 77, 0, SyncLog::record, nullptr), HSYNC(0));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
        log.start();
        BASS_ChannelPlay(stream, FALSE);
        QVERIFY(log.waitFor(Position, 1, 2000));
        const qint64 atMs = log.records(Position)[0].atMs;
        QVERIFY2(atMs > 200 && atMs < 380, qPrintable(QString::number(atMs)));
        QVERIFY(log.waitFor(End, 1, 2000));
        QVERIFY(!BASS_ChannelRemoveSync(stream, once)); // gone after firing once
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        // Played again from the start: the position sync fires again, the one-time end does not.
        log.start();
        QVERIFY(BASS_ChannelPlay(stream, TRUE));
        QTest::qWait(800);
        QCOMPARE(log.records(Position).size(), std::size_t(2));
        QCOMPARE(log.records(End).size(), std::size_t(1));
        BASS_StreamFree(stream);
    }

    void sourceEventsFireWhenHeard()
    {
        // The way the network reader reports a title change: an event at the byte offset where
        // the block arrived; the sync fires when the audio decoded from there is heard.
        QFile file(sineWav(1.0));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray wav = file.readAll();
        // 0.75 s in: beyond what the decode thread buffers before playback starts, so the
        // MIXTIME sync registered below cannot be too late for it.
        const std::int64_t half = wav.size() - 44100 * 4 / 4;
        const tunora::audio::OpenContext context;
        const HSTREAM stream = tunora::audio::Engine::instance().createChannel(
            std::make_unique<AnnouncingSource>(wav, half, 42), tunora::audio::Family::Plain, 0, std::string(),
            context);
        QVERIFY(stream);
        QCOMPARE(BASS_ChannelGetLength(stream, BASS_POS_BYTE), QWORD(-1)); // a live stream: no length
        QCOMPARE(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_END), QWORD(-1));
        QVERIFY(!BASS_ChannelSetPosition(stream, 0, BASS_POS_BYTE));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_NOTFILE);
        SyncLog log;
        BASS_ChannelSetSync(stream, BASS_SYNC_META, 0, SyncLog::record, log.user(Meta));
        BASS_ChannelSetSync(stream, BASS_SYNC_META | BASS_SYNC_MIXTIME, 0, SyncLog::record,
                            log.user(MetaMixTime));
        log.start();
        BASS_ChannelPlay(stream, FALSE);
        QVERIFY(log.waitFor(Meta, 1, 2000));
        const SyncRecord meta = log.records(Meta)[0];
        QVERIFY2(meta.atMs > 650 && meta.atMs < 930, qPrintable(QString::number(meta.atMs)));
        QCOMPARE(meta.data, DWORD(42));
        QVERIFY(log.waitFor(MetaMixTime, 1, 0));
        QVERIFY(log.records(MetaMixTime)[0].atMs < meta.atMs - 150); // decoded well before it was heard
        BASS_StreamFree(stream);
    }

    void outputHiccupKeepsRealTime()
    {
        // The output thread stops for 300 ms, as a starved thread would, and then catches up.
        BASS_Free();
        tunora::audio::NullOutputBehaviour behaviour;
        behaviour.hiccupAfterMs = 200;
        behaviour.hiccupMs = 300;
        QVERIFY(initEngine(behaviour));
        const HSTREAM stream = openFile(sineWav(1.5));
        BASS_ChannelPlay(stream, FALSE);
        QTest::qWait(1000);
        const double position = positionSeconds(stream);
        BASS_Free();
        QVERIFY(initEngine());
        QVERIFY2(std::fabs(position - 1.0) < 0.15, qPrintable(QString::number(position)));
    }

    void failingOutputFailsInit()
    {
        BASS_Free();
        tunora::audio::NullOutputBehaviour behaviour;
        behaviour.failWith = BASS_ERROR_DRIVER;
        QVERIFY(!initEngine(behaviour));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_DRIVER);
        QVERIFY(initEngine());
    }

    void measuredBitRateFromFilePositions()
    {
        // The channel wrapper's bit rate: bytes consumed * 8 / seconds decoded, where decoded is
        // the position plus what is buffered.
        const HSTREAM stream = openFile(Media::tone(Media::Mp3, 2.0));
        BASS_ChannelPlay(stream, FALSE);
        QTest::qWait(700);
        const QWORD bytes = BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CURRENT);
        const DWORD buffered = BASS_ChannelGetData(stream, nullptr, BASS_DATA_AVAILABLE);
        QVERIFY(buffered > 0);
        const double seconds =
            BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE) + buffered);
        const double rate = double(bytes) * 8 / seconds;
        QVERIFY2(std::fabs(rate - 128000) < 128000 * 0.15, qPrintable(QString::number(rate)));
        BASS_StreamFree(stream);
    }

    void levelMeterFollowsWhatIsHeard()
    {
        Media::Recipe recipe;
        recipe.seconds = 0.8;
        recipe.left = QStringLiteral("0.5*sin(2*PI*1000*t)");
        recipe.right = QStringLiteral("0.25*sin(2*PI*1000*t)");
        const HSTREAM stream = openFile(Media::make(recipe));
        BASS_ChannelPlay(stream, FALSE);
        QTest::qWait(250);
        const DWORD level = BASS_ChannelGetLevel(stream);
        QVERIFY2(std::abs(int(level & 0xFFFF) - 16384) < 400, qPrintable(QString::number(level & 0xFFFF)));
        QVERIFY2(std::abs(int(level >> 16) - 8192) < 200, qPrintable(QString::number(level >> 16)));
        BASS_ChannelSetAttribute(stream, BASS_ATTRIB_VOL, 0.5f);
        QTest::qWait(250);
        QVERIFY(std::abs(int(BASS_ChannelGetLevel(stream) & 0xFFFF) - 8192) < 300);
        BASS_StreamFree(stream);
    }

    void outputPauseHoldsEveryChannel()
    {
        const HSTREAM stream = openFile(sineWav(1.0));
        BASS_ChannelPlay(stream, FALSE);
        QTest::qWait(200);
        QVERIFY(BASS_Pause());
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_PAUSED_DEVICE));
        const double held = positionSeconds(stream);
        QTest::qWait(200);
        QCOMPARE(positionSeconds(stream), held);
        const HSTREAM other = openFile(sineWav(0.2));
        QVERIFY(!BASS_ChannelPlay(other, FALSE));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_START);
        QVERIFY(BASS_Start());
        QTest::qWait(200);
        QVERIFY(positionSeconds(stream) > held + 0.1);
        BASS_StreamFree(other);
        BASS_StreamFree(stream);
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
        QTest::qWait(100);
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
