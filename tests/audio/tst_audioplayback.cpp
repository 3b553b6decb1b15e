// Local files. Decoding channels (nothing waits for real time): which creator takes each format,
// what every format decodes to, its length and the end of the data, what is no audio at all; the
// encoder's start; the compressor effect on real decoded audio (the chain runs exactly as for a
// playing channel). Then playback on the no-sound output, in real time: positions, pause, the
// end, fades, freeing, and the threads syncs run on; what the output "plays" is captured through
// its test tap. Hostile files are the fuzz target's work; DSP callbacks and the level meter are
// measured through the channel wrapper's own suite.

#include "audiotest.h"
#include "engine.h"
#include "media.h"
#include "output.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

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

// A WAV of a 1 kHz sine on both sides.
QString sineWav(double seconds, double amplitude = 0.5)
{
    Media::Recipe recipe;
    recipe.seconds = seconds;
    recipe.left = recipe.right = QStringLiteral("%1*sin(2*PI*1000*t)").arg(amplitude);
    return Media::make(recipe);
}

using Creator = HSTREAM (*)(BOOL, const void *, QWORD, QWORD, DWORD);
// The file creators, in the order the channel wrapper tries them.
const Creator Creators[] = {BASS_StreamCreateFile, BASS_WMA_StreamCreateFile, BASS_AAC_StreamCreateFile,
                            BASS_MP4_StreamCreateFile, BASS_FLAC_StreamCreateFile};
enum CreatorIndex
{
    Plain,
    Wma,
    Aac,
    Mp4,
    Flac
};

HSTREAM open(CreatorIndex creator, const QString &path, DWORD flags = BASS_STREAM_DECODE)
{
    const QByteArray local = path.toLocal8Bit();
    return Creators[creator](FALSE, local.constData(), 0, 0, flags);
}

HSTREAM openFile(const QString &path, DWORD flags = 0)
{
    return open(Plain, path, flags);
}

double positionSeconds(HSTREAM stream)
{
    return BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
}

} // namespace

Q_DECLARE_METATYPE(BASS_DX8_COMPRESSOR)

class TestAudioPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        tunora::audio::NullOutputBehaviour behaviour;
        behaviour.tap = captureTap;
        tunora::audio::setNullOutputBehaviour(behaviour);
        QVERIFY(BASS_Init(0, 44100, 0, nullptr, nullptr));
    }
    void cleanupTestCase() { BASS_Free(); }

    void decodesEveryFormat_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("owner"); // the creator that takes the format
        QTest::addColumn<uint>("ctype");
        QTest::addColumn<int>("rate");
        QTest::addColumn<double>("durationTolerance"); // seconds the decoded length may differ
        QTest::newRow("MP3") << int(Media::Mp3) << int(Plain) << uint(BASS_CTYPE_STREAM_MP3) << 44100 << 0.03;
        QTest::newRow("MP2") << int(Media::Mp2) << int(Plain) << uint(BASS_CTYPE_STREAM_MP2) << 44100 << 0.03;
        QTest::newRow("AAC") << int(Media::Aac) << int(Aac) << uint(BASS_CTYPE_STREAM_AAC) << 44100 << 0.05;
        // Announced at 22.05 kHz by its ADTS headers, heard at 44.1 kHz.
        QTest::newRow("HE-AAC") << int(Media::HeAac) << int(Aac) << uint(BASS_CTYPE_STREAM_AAC) << 44100
                                << 0.1;
        QTest::newRow("Vorbis") << int(Media::Vorbis) << int(Plain) << uint(BASS_CTYPE_STREAM_OGG) << 44100
                                << 0.005;
        QTest::newRow("Opus") << int(Media::Opus) << int(Plain) << uint(BASS_CTYPE_STREAM_OPUS) << 48000
                              << 0.005;
        QTest::newRow("FLAC") << int(Media::Flac) << int(Flac) << uint(BASS_CTYPE_STREAM_FLAC) << 44100
                              << 0.0;
        QTest::newRow("Ogg FLAC") << int(Media::OggFlac) << int(Flac) << uint(BASS_CTYPE_STREAM_FLAC_OGG)
                                  << 44100 << 0.0;
        QTest::newRow("WMA") << int(Media::Wma) << int(Wma) << uint(BASS_CTYPE_STREAM_WMA) << 44100 << 0.1;
        QTest::newRow("WAV") << int(Media::Wav) << int(Plain) << uint(BASS_CTYPE_STREAM_WAV_PCM) << 44100
                             << 0.0;
        QTest::newRow("MP4") << int(Media::M4a) << int(Mp4) << uint(BASS_CTYPE_STREAM_MP4) << 44100 << 0.03;
    }
    void decodesEveryFormat()
    {
        QFETCH(int, format);
        QFETCH(int, owner);
        QFETCH(uint, ctype);
        QFETCH(int, rate);
        QFETCH(double, durationTolerance);
        QString error;
        const QString path = Media::tone(Media::Format(format), 1.0, 440, 660, 0.5, &error);
        QVERIFY2(!path.isEmpty(), qPrintable(error));
        // The wrapper's order: the first creator that accepts the file is the format's own.
        HSTREAM stream = 0;
        int used = -1;
        for (int i = 0; i < int(std::size(Creators)) && !stream; ++i) {
            stream = open(CreatorIndex(i), path, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
            used = i;
        }
        QVERIFY2(stream, qPrintable(QString::number(BASS_ErrorGetCode())));
        QCOMPARE(used, owner);
        BASS_CHANNELINFO info{};
        QVERIFY(BASS_ChannelGetInfo(stream, &info));
        QCOMPARE(info.ctype, DWORD(ctype));
        QCOMPARE(int(info.freq), rate);
        QCOMPARE(info.chans, DWORD(2));

        const std::vector<float> samples = decodeAll(stream);
        const double seconds = double(samples.size()) / 2 / rate;
        QVERIFY2(std::fabs(seconds - 1.0) <= durationTolerance + 1e-9, qPrintable(QString::number(seconds)));
        // The tones come out where they went in: 440 Hz left, 660 Hz right, amplitude 0.5.
        const std::size_t from = std::size_t(rate) / 10, to = std::size_t(rate) * 8 / 10;
        const std::vector<float> left = channelOf(samples, 2, 0, from, to);
        const double leftHz = frequencyOf(left, rate),
                     rightHz = frequencyOf(channelOf(samples, 2, 1, from, to), rate);
        QVERIFY2(std::fabs(leftHz - 440) < 2 && std::fabs(rightHz - 660) < 2,
                 qPrintable(QStringLiteral("%1 Hz, %2 Hz").arg(leftHz).arg(rightHz)));
        // Level as RMS: lossy encoders overshoot peaks (ffmpeg's AAC by 2-3 dB on these tones).
        QVERIFY2(std::fabs(rmsOf(left) - 0.3536) < 0.03, qPrintable(QString::number(rmsOf(left))));
        // Once the end was decoded, the length is what was decoded.
        QCOMPARE(BASS_ChannelGetLength(stream, BASS_POS_BYTE), QWORD(samples.size() * sizeof(float)));
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_STOPPED));
        float more[16];
        QCOMPARE(BASS_ChannelGetData(stream, more, sizeof more | BASS_DATA_FLOAT), DWORD(-1));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
        QVERIFY(BASS_StreamFree(stream));
        // The creators after the owner refuse it as well: each takes only its own family.
        for (int i = used + 1; i < int(std::size(Creators)); ++i) {
            QCOMPARE(open(CreatorIndex(i), path), HSTREAM(0));
            QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
        }
    }

    void rejectsWhatIsNoAudio_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("huge ID3 size") << QByteArray::fromHex("494433030000 7f7f7f7f") + QByteArray(64, 'x');
        QTest::newRow("Ogg page of Speex") << QByteArray("OggS\0\x02", 6) + QByteArray(20, '\0') +
                                                  QByteArray("\x01\x50", 2) + QByteArray("Speex   ") +
                                                  QByteArray(72, '\0');
        QByteArray noise(65536, '\0');
        QRandomGenerator(12345).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        QTest::newRow("noise") << noise;
    }
    void rejectsWhatIsNoAudio()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.bin"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
        file.close();
        for (int c = 0; c < int(std::size(Creators)); ++c) {
            QCOMPARE(open(CreatorIndex(c), path), HSTREAM(0));
            QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
        }
    }

    // An encoder that refuses its settings fails the start and leaves no file (it crashed
    // writing the end of a container whose header was never written).
    void encoderSettings_data()
    {
        QTest::addColumn<bool>("stereo");
        QTest::addColumn<DWORD>("kbps");
        QTest::addColumn<bool>("starts");
        QTest::newRow("stereo at 128") << true << DWORD(128) << true;
        QTest::newRow("mono at 320, refused") << false << DWORD(320) << false;
    }
    void encoderSettings()
    {
        QFETCH(bool, stereo);
        QFETCH(DWORD, kbps);
        QFETCH(bool, starts);
        Media::Recipe recipe;
        recipe.right = stereo ? recipe.left : QString();
        const QByteArray source = Media::make(recipe).toLocal8Bit();
        const HSTREAM stream = BASS_StreamCreateFile(FALSE, source.constData(), 0, 0, BASS_STREAM_DECODE);
        QVERIFY(stream);
        QTemporaryDir dir;
        const QByteArray target = dir.filePath(QStringLiteral("out.ogg")).toLocal8Bit();
        const HENCODE encoder =
            BASS_Encode_StartFile(stream, "libvorbis", kbps, target.constData(), nullptr, nullptr);
        QCOMPARE(encoder != 0, starts);
        if (encoder)
            QVERIFY(BASS_Encode_Stop(encoder));
        else
            QVERIFY(!QFile::exists(QString::fromLocal8Bit(target)));
        BASS_StreamFree(stream);
    }

    void compressorLevels_data()
    {
        QTest::addColumn<double>("inputDb");
        QTest::addColumn<BASS_DX8_COMPRESSOR>("parameters");
        QTest::addColumn<double>("outputDb");
        // gain, attack, release, threshold, ratio, pre-delay
        QTest::newRow("below threshold") << -30.0 << BASS_DX8_COMPRESSOR{0, 10, 200, -20, 4, 0} << -30.0;
        QTest::newRow("above, 4:1") << -6.0 << BASS_DX8_COMPRESSOR{0, 10, 200, -20, 4, 0} << -16.5;
        QTest::newRow("make-up gain") << -30.0 << BASS_DX8_COMPRESSOR{5, 10, 200, -20, 4, 0} << -25.0;
        QTest::newRow("high preset") << -6.0 << BASS_DX8_COMPRESSOR{10, 1.2f, 400, -20, 10, 2} << -8.6;
        // The wrapper's loudness boost sets the gain alone: a plain boost.
        QTest::newRow("gain only") << -20.0 << BASS_DX8_COMPRESSOR{6, 0, 0, 0, 0, 0} << -14.0;
    }
    void compressorLevels()
    {
        QFETCH(double, inputDb);
        QFETCH(BASS_DX8_COMPRESSOR, parameters);
        QFETCH(double, outputDb);
        // A second of the sine decoded through the compressor.
        const HSTREAM stream =
            openFile(sineWav(1.0, std::pow(10.0, inputDb / 20.0)), BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
        const HFX fx = BASS_ChannelSetFX(stream, BASS_FX_DX8_COMPRESSOR, 0);
        QVERIFY(fx && BASS_FXSetParameters(fx, &parameters));
        const std::vector<float> out = decodeAll(stream);
        BASS_StreamFree(stream);
        QVERIFY(out.size() > 44100);
        const std::ptrdiff_t tail = 44100 * 3 / 10 * 2; // the last 0.3 s, once the compressor settled
        const double measured = 20 * std::log10(peakOf(std::vector<float>(out.end() - tail, out.end())));
        QVERIFY2(std::fabs(measured - outputDb) < 0.6, qPrintable(QString::number(measured)));
    }

    void playPauseAndEnd()
    {
        const HSTREAM stream = openFile(sineWav(1.0));
        QVERIFY(stream);
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
                     qPrintable(QStringLiteral("jump at %1 ms").arg(i * 2)));
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
};

TUNORA_TEST_MAIN_CORE(TestAudioPlayback)
#include "tst_audioplayback.moc"
