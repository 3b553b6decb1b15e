// DSP callbacks and the compressor effect, measured on real decoded audio (decoding channels: the
// chain runs exactly as for a playing channel, without real time). The level meter and the mono
// fold-down are measured through the channel wrapper's own suite.

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
};

TUNORA_TEST_MAIN_CORE(TestAudioEffects)
#include "tst_audioeffects.moc"
