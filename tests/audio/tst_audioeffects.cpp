// The compressor effect, measured on real decoded audio (decoding channels: the chain runs exactly
// as for a playing channel, without real time). DSP callbacks (the mono fold-down, their sample
// format and removal) and the level meter are measured through the channel wrapper's own suite.

#include "audiotest.h"
#include "media.h"
#include "testmain.h"

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
};

TUNORA_TEST_MAIN_CORE(TestAudioEffects)
#include "tst_audioeffects.moc"
