// DSP callbacks, the compressor effect and the level meter, measured on real decoded audio
// (decoding channels: the chain runs exactly as for a playing channel, without real time).

#include "audiotest.h"
#include "media.h"
#include "testmain.h"

#include <atomic>

using TunoraTest::Media;
using namespace AudioTest;

namespace {

// A WAV of a 1 kHz sine on both sides whose amplitude follows `amplitude` (an aevalsrc
// expression of t).
QString sineWav(const QString &amplitude, double seconds = 1.0)
{
    Media::Recipe recipe;
    recipe.format = Media::Wav;
    recipe.seconds = seconds;
    recipe.left = recipe.right = QStringLiteral("(%1)*sin(2*PI*1000*t)").arg(amplitude);
    return Media::make(recipe);
}

HSTREAM openDecoding(const QString &path, DWORD flags = BASS_SAMPLE_FLOAT)
{
    const QByteArray local = path.toLocal8Bit();
    return BASS_StreamCreateFile(FALSE, local.constData(), 0, 0, BASS_STREAM_DECODE | flags);
}

struct Tap
{
    int calls = 0;
    DWORD bytes = 0;
    float peak = 0;  // of the samples as given, in their own scale
    float scale = 1; // multiply the samples by this (in their own format)
};

template<typename Sample>
void CALLBACK tapOf(HDSP, DWORD, void *buffer, DWORD length, void *user)
{
    auto *tap = static_cast<Tap *>(user);
    ++tap->calls;
    tap->bytes += length;
    auto *samples = static_cast<Sample *>(buffer);
    for (DWORD i = 0; i < length / sizeof(Sample); ++i) {
        tap->peak = std::max(tap->peak, std::abs(float(samples[i])));
        samples[i] = Sample(samples[i] * tap->scale);
    }
}
const auto tapFloat = tapOf<float>;
const auto tapShort = tapOf<qint16>;

// The mono fold-down of the channel wrapper: both sides become their average.
void CALLBACK foldToMono(HDSP, DWORD, void *buffer, DWORD length, void *)
{
    auto *samples = static_cast<float *>(buffer);
    for (DWORD i = 0; i + 1 < length / 4; i += 2)
        samples[i] = samples[i + 1] = (samples[i] + samples[i + 1]) / 2;
}

struct SelfRemoving
{
    HSTREAM stream = 0;
    HDSP dsp = 0;
    int calls = 0;
};

void CALLBACK removeItself(HDSP handle, DWORD channel, void *, DWORD, void *user)
{
    auto *state = static_cast<SelfRemoving *>(user);
    ++state->calls;
    QVERIFY(BASS_ChannelRemoveDSP(channel, handle));
}

// Peak in dB of the last `seconds` of both channels.
double tailPeakDb(const std::vector<float> &samples, double seconds, int rate = 44100)
{
    const std::size_t take = std::size_t(seconds * rate) * 2;
    return decibels(peakOf(
        std::vector<float>(samples.end() - std::ptrdiff_t(std::min(take, samples.size())), samples.end())));
}

std::vector<float> decodeWithCompressor(const QString &path, const BASS_DX8_COMPRESSOR &parameters)
{
    const HSTREAM stream = openDecoding(path);
    const HFX fx = BASS_ChannelSetFX(stream, BASS_FX_DX8_COMPRESSOR, 0);
    if (!fx || !BASS_FXSetParameters(fx, &parameters))
        return {};
    std::vector<float> samples = decodeAll(stream);
    BASS_StreamFree(stream);
    return samples;
}

} // namespace

Q_DECLARE_METATYPE(BASS_DX8_COMPRESSOR)

class TestAudioEffects : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(BASS_Init(0, 44100, 0, nullptr, nullptr)); }
    void cleanupTestCase() { BASS_Free(); }
    void cleanup() { BASS_SetConfig(BASS_CONFIG_FLOATDSP, 0); }

    void dspGetsTheConfiguredSampleFormat_data()
    {
        QTest::addColumn<bool>("floatDsp");
        QTest::addColumn<uint>("flags");
        QTest::addColumn<bool>("expectFloat");
        QTest::newRow("16-bit channel") << false << 0u << false;
        QTest::newRow("16-bit channel, float DSP") << true << 0u << true;
        QTest::newRow("float channel") << false << uint(BASS_SAMPLE_FLOAT) << true;
    }
    void dspGetsTheConfiguredSampleFormat()
    {
        QFETCH(bool, floatDsp);
        QFETCH(uint, flags);
        QFETCH(bool, expectFloat);
        BASS_SetConfig(BASS_CONFIG_FLOATDSP, floatDsp);
        const HSTREAM stream = openDecoding(sineWav(QStringLiteral("0.5")), flags);
        QVERIFY(stream);
        Tap tap;
        tap.scale = 0.5f;
        QVERIFY(BASS_ChannelSetDSP(stream, expectFloat ? tapFloat : tapShort, &tap, 0));
        const std::vector<float> out = decodeAll(stream);
        // The callback saw the whole second (stereo) in its format, and its change is heard.
        QCOMPARE(tap.bytes, DWORD(44100 * 2 * (expectFloat ? 4 : 2)));
        if (expectFloat)
            QVERIFY(std::fabs(tap.peak - 0.5f) < 0.001f);
        else
            QVERIFY(std::fabs(tap.peak - 16384.0f) < 2.0f);
        QVERIFY2(std::fabs(peakOf(out) - 0.25f) < 0.001f, qPrintable(QString::number(peakOf(out))));
        BASS_StreamFree(stream);
    }

    void monoFoldDownMakesBothSidesEqual()
    {
        BASS_SetConfig(BASS_CONFIG_FLOATDSP, 1);
        const HSTREAM stream = openDecoding(Media::tone(Media::Mp3), 0);
        QVERIFY(BASS_ChannelSetDSP(stream, foldToMono, nullptr, 0));
        std::vector<qint16> pcm(44100 * 2);
        const DWORD got = BASS_ChannelGetData(stream, pcm.data(), DWORD(pcm.size() * 2));
        QVERIFY(got > 40000 * 4);
        double differing = 0, level = 0;
        for (DWORD i = 0; i + 1 < got / 2; i += 2) {
            differing += std::abs(pcm[i] - pcm[i + 1]);
            level += std::abs(pcm[i]);
        }
        QCOMPARE(differing, 0.0);
        QVERIFY(level > 1000.0 * got / 4); // and it is not silence
        BASS_StreamFree(stream);
    }

    void dspsRunInPriorityOrder_data()
    {
        QTest::addColumn<int>("halvingPriority");
        QTest::addColumn<int>("measuringPriority");
        QTest::addColumn<float>("measured");
        QTest::newRow("halve, then measure") << 2 << 1 << 0.25f;
        QTest::newRow("measure, then halve") << 1 << 2 << 0.5f;
        QTest::newRow("same priority: in order added") << 0 << 0 << 0.25f;
    }
    void dspsRunInPriorityOrder()
    {
        QFETCH(int, halvingPriority);
        QFETCH(int, measuringPriority);
        QFETCH(float, measured);
        const HSTREAM stream = openDecoding(sineWav(QStringLiteral("0.5")));
        Tap halving, measuring;
        halving.scale = 0.5f;
        QVERIFY(BASS_ChannelSetDSP(stream, tapFloat, &halving, halvingPriority));
        QVERIFY(BASS_ChannelSetDSP(stream, tapFloat, &measuring, measuringPriority));
        decodeAll(stream);
        QVERIFY2(std::fabs(measuring.peak - measured) < 0.001f, qPrintable(QString::number(measuring.peak)));
        BASS_StreamFree(stream);
    }

    void removedDspsAreNotCalledAgain()
    {
        const HSTREAM stream = openDecoding(sineWav(QStringLiteral("0.5")));
        Tap tap;
        const HDSP dsp = BASS_ChannelSetDSP(stream, tapFloat, &tap, 0);
        SelfRemoving self;
        QVERIFY(BASS_ChannelSetDSP(stream, removeItself, &self, 5));
        float block[2048];
        QVERIFY(BASS_ChannelGetData(stream, block, sizeof block | BASS_DATA_FLOAT) != DWORD(-1));
        const int calls = tap.calls;
        QVERIFY(calls > 0);
        QVERIFY(BASS_ChannelRemoveDSP(stream, dsp));
        QVERIFY(!BASS_ChannelRemoveDSP(stream, dsp));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        decodeAll(stream);
        QCOMPARE(tap.calls, calls);
        QCOMPARE(self.calls, 1); // it removed itself from inside its first call
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
        QTest::newRow("above, 10:1") << -6.0 << BASS_DX8_COMPRESSOR{0, 10, 200, -20, 10, 0} << -18.6;
        QTest::newRow("make-up gain") << -30.0 << BASS_DX8_COMPRESSOR{5, 10, 200, -20, 4, 0} << -25.0;
        QTest::newRow("low preset") << -6.0 << BASS_DX8_COMPRESSOR{2, 2.2f, 800, -16, 4, 4} << -11.5;
        QTest::newRow("high preset") << -6.0 << BASS_DX8_COMPRESSOR{10, 1.2f, 400, -20, 10, 2} << -8.6;
        // The wrapper's loudness boost sets the gain alone: a plain boost.
        QTest::newRow("gain only") << -20.0 << BASS_DX8_COMPRESSOR{6, 0, 0, 0, 0, 0} << -14.0;
    }
    void compressorLevels()
    {
        QFETCH(double, inputDb);
        QFETCH(BASS_DX8_COMPRESSOR, parameters);
        QFETCH(double, outputDb);
        const QString path = sineWav(QString::number(std::pow(10.0, inputDb / 20.0)));
        const std::vector<float> out = decodeWithCompressor(path, parameters);
        QVERIFY(!out.empty());
        const double measured = tailPeakDb(out, 0.3);
        QVERIFY2(std::fabs(measured - outputDb) < 0.6, qPrintable(QString::number(measured)));
    }

    void compressorAttackTime_data()
    {
        QTest::addColumn<float>("attackMs");
        QTest::addColumn<int>("minSettleMs");
        QTest::addColumn<int>("maxSettleMs");
        QTest::newRow("fast") << 5.0f << 0 << 40;
        QTest::newRow("slow") << 100.0f << 120 << 400;
    }
    void compressorAttackTime()
    {
        QFETCH(float, attackMs);
        QFETCH(int, minSettleMs);
        QFETCH(int, maxSettleMs);
        // Quiet for half a second, then 24 dB louder: the gain comes down within the attack.
        const std::vector<float> out =
            decodeWithCompressor(sineWav(QStringLiteral("if(lt(t,0.5),0.03,0.5)")),
                                 BASS_DX8_COMPRESSOR{0, attackMs, 200, -20, 10, 0});
        QVERIFY(!out.empty());
        const std::vector<float> envelope = envelopeOf(channelOf(out, 2, 0), 44); // 1 ms windows
        const double settled = decibels(envelope.back());
        int settleMs = -1;
        for (int ms = 500; ms < int(envelope.size()); ++ms)
            if (std::fabs(decibels(envelope[std::size_t(ms)]) - settled) < 1.0) {
                settleMs = ms - 500;
                break;
            }
        QVERIFY2(settleMs >= minSettleMs && settleMs <= maxSettleMs, qPrintable(QString::number(settleMs)));
    }

    void compressorPreDelayShiftsTheAudio()
    {
        // No compression at all (ratio 1), only the 4 ms look-ahead: the onset moves by 4 ms.
        const QString path = sineWav(QStringLiteral("if(lt(t,0.1),0,0.5)"), 0.3);
        const std::vector<float> dry = channelOf(decodeAll(openDecoding(path)), 2, 0);
        const std::vector<float> wet = channelOf(decodeWithCompressor(path, {0, 10, 200, 0, 1, 4}), 2, 0);
        auto onset = [](const std::vector<float> &s) {
            return std::find_if(s.begin(), s.end(), [](float v) { return std::fabs(v) > 0.01f; }) - s.begin();
        };
        QCOMPARE(onset(wet) - onset(dry), std::ptrdiff_t(176)); // 4 ms at 44.1 kHz
    }

    void effectParameters_data()
    {
        QTest::addColumn<BASS_DX8_COMPRESSOR>("given");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<BASS_DX8_COMPRESSOR>("stored");
        QTest::newRow("in range") << BASS_DX8_COMPRESSOR{5, 1.6f, 600, -20, 6, 3} << true
                                  << BASS_DX8_COMPRESSOR{5, 1.6f, 600, -20, 6, 3};
        QTest::newRow("zeros are clamped")
            << BASS_DX8_COMPRESSOR{4, 0, 0, 0, 0, 0} << true << BASS_DX8_COMPRESSOR{4, 0.01f, 50, 0, 1, 0};
        QTest::newRow("too large") << BASS_DX8_COMPRESSOR{100, 900, 9000, 10, 500, 10} << true
                                   << BASS_DX8_COMPRESSOR{60, 500, 3000, 0, 100, 4};
        QTest::newRow("not a number") << BASS_DX8_COMPRESSOR{std::nanf(""), 10, 200, -20, 3, 4} << false
                                      << BASS_DX8_COMPRESSOR{0, 10, 200, -20, 3, 4};
    }
    void effectParameters()
    {
        QFETCH(BASS_DX8_COMPRESSOR, given);
        QFETCH(bool, accepted);
        QFETCH(BASS_DX8_COMPRESSOR, stored);
        const HSTREAM stream = openDecoding(sineWav(QStringLiteral("0.5")));
        const HFX fx = BASS_ChannelSetFX(stream, BASS_FX_DX8_COMPRESSOR, 0);
        QVERIFY(fx);
        QCOMPARE(bool(BASS_FXSetParameters(fx, &given)), accepted);
        BASS_DX8_COMPRESSOR read{};
        QVERIFY(BASS_FXGetParameters(fx, &read));
        auto fields = [](const BASS_DX8_COMPRESSOR &c) {
            return QList<float>{c.fGain, c.fAttack, c.fRelease, c.fThreshold, c.fRatio, c.fPredelay};
        };
        QCOMPARE(fields(read), fields(stored));
        BASS_StreamFree(stream);
        QVERIFY(!BASS_FXGetParameters(fx, &read));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    }

    void removingTheEffectRestoresTheAudio()
    {
        const HSTREAM stream = openDecoding(sineWav(QStringLiteral("0.5")));
        QCOMPARE(BASS_ChannelSetFX(stream, 99, 0), HFX(0));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
        const HFX fx = BASS_ChannelSetFX(stream, BASS_FX_DX8_COMPRESSOR, 0);
        const BASS_DX8_COMPRESSOR boost{6, 10, 200, 0, 1, 0};
        QVERIFY(BASS_FXSetParameters(fx, &boost));
        float block[8820];
        QVERIFY(BASS_ChannelGetData(stream, block, sizeof block | BASS_DATA_FLOAT) != DWORD(-1));
        QVERIFY(decibels(peakOf(std::vector<float>(std::begin(block), std::end(block)))) > -0.5);
        QVERIFY(BASS_FXReset(fx));
        QVERIFY(BASS_FXReset(stream));
        QVERIFY(BASS_ChannelRemoveFX(stream, fx));
        QVERIFY(!BASS_FXSetParameters(fx, &boost));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        QVERIFY(BASS_ChannelGetData(stream, block, sizeof block | BASS_DATA_FLOAT) != DWORD(-1));
        QVERIFY(std::fabs(peakOf(std::vector<float>(std::begin(block), std::end(block))) - 0.5f) < 0.001f);
        BASS_StreamFree(stream);
    }

    void levelOfADecodingChannel_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<int>("leftLevel");
        QTest::addColumn<int>("rightLevel");
        QTest::newRow("equal") << QStringLiteral("0.5") << QStringLiteral("0.5") << 16384 << 16384;
        QTest::newRow("right quieter") << QStringLiteral("0.5") << QStringLiteral("0.25") << 16384 << 8192;
        QTest::newRow("silent") << QStringLiteral("0") << QStringLiteral("0") << 0 << 0;
        QTest::newRow("full scale") << QStringLiteral("1") << QStringLiteral("1") << 32768 << 32768;
    }
    void levelOfADecodingChannel()
    {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(int, leftLevel);
        QFETCH(int, rightLevel);
        Media::Recipe recipe;
        recipe.seconds = 0.2;
        recipe.left = left + QStringLiteral("*sin(2*PI*1000*t)");
        recipe.right = right + QStringLiteral("*sin(2*PI*1000*t)");
        const HSTREAM stream = openDecoding(Media::make(recipe));
        const DWORD level = BASS_ChannelGetLevel(stream);
        QVERIFY2(std::abs(int(level & 0xFFFF) - leftLevel) <= leftLevel / 50 + 2,
                 qPrintable(QString::number(level & 0xFFFF)));
        QVERIFY2(std::abs(int(level >> 16) - rightLevel) <= rightLevel / 50 + 2,
                 qPrintable(QString::number(level >> 16)));
        BASS_StreamFree(stream);
    }
};

TUNORA_TEST_MAIN_CORE(TestAudioEffects)
#include "tst_audioeffects.moc"
