// The file creators: which one takes each format, what every format decodes to, its length and
// the end of the data, and what is no audio at all; the encoder's start; the compressor effect on
// real decoded audio (the chain runs exactly as for a playing channel). Decoding channels only
// (nothing here waits for real time); hostile files are the fuzz target's work. DSP callbacks and
// the level meter are measured through the channel wrapper's own suite.

#include "audiotest.h"
#include "media.h"
#include "testmain.h"

#include <QFile>
#include <QTemporaryDir>

using TunoraTest::Media;
using namespace AudioTest;

namespace {

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

QString toneFile(Media::Format format)
{
    QString error;
    const QString path = Media::tone(format, 1.0, 440, 660, 0.5, &error);
    if (path.isEmpty())
        qWarning("%s", qPrintable(error));
    return path;
}

HSTREAM open(CreatorIndex creator, const QString &path, DWORD flags = BASS_STREAM_DECODE)
{
    const QByteArray local = path.toLocal8Bit();
    return Creators[creator](FALSE, local.constData(), 0, 0, flags);
}

// Decodes a WAV of a 1 kHz sine on both sides at `amplitude` through the compressor.
std::vector<float> compressedSine(double amplitude, const BASS_DX8_COMPRESSOR &parameters)
{
    Media::Recipe recipe;
    recipe.left = recipe.right = QStringLiteral("%1*sin(2*PI*1000*t)").arg(amplitude);
    const HSTREAM stream = open(Plain, Media::make(recipe), BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    const HFX fx = BASS_ChannelSetFX(stream, BASS_FX_DX8_COMPRESSOR, 0);
    if (!fx || !BASS_FXSetParameters(fx, &parameters))
        return {};
    std::vector<float> samples = decodeAll(stream);
    BASS_StreamFree(stream);
    return samples;
}

} // namespace

Q_DECLARE_METATYPE(BASS_DX8_COMPRESSOR)

class TestAudioFormats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(BASS_Init(0, 44100, 0, nullptr, nullptr)); }
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
        const QString path = toneFile(Media::Format(format));
        QVERIFY(!path.isEmpty());
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
        QCOMPARE(QByteArray(info.filename), path.toLocal8Bit());

        const std::vector<float> samples = decodeAll(stream);
        const double seconds = double(samples.size()) / 2 / rate;
        QVERIFY2(std::fabs(seconds - 1.0) <= durationTolerance + 1e-9, qPrintable(QString::number(seconds)));
        // The tones come out where they went in: 440 Hz left, 660 Hz right, amplitude 0.5.
        const std::size_t from = std::size_t(rate) / 10, to = std::size_t(rate) * 8 / 10;
        const std::vector<float> left = channelOf(samples, 2, 0, from, to);
        const std::vector<float> right = channelOf(samples, 2, 1, from, to);
        QVERIFY2(std::fabs(frequencyOf(left, rate) - 440) < 2,
                 qPrintable(QString::number(frequencyOf(left, rate))));
        QVERIFY2(std::fabs(frequencyOf(right, rate) - 660) < 2,
                 qPrintable(QString::number(frequencyOf(right, rate))));
        // Level as RMS: lossy encoders overshoot peaks (ffmpeg's AAC by 2-3 dB on these tones).
        QVERIFY2(std::fabs(rmsOf(left) - 0.3536) < 0.03, qPrintable(QString::number(rmsOf(left))));
        // Once the end was decoded, the length is what was decoded.
        QCOMPARE(BASS_ChannelGetLength(stream, BASS_POS_BYTE), QWORD(samples.size() * sizeof(float)));
        QCOMPARE(BASS_ChannelIsActive(stream), DWORD(BASS_ACTIVE_STOPPED));
        float more[16];
        QCOMPARE(BASS_ChannelGetData(stream, more, sizeof more | BASS_DATA_FLOAT), DWORD(-1));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
        QCOMPARE(BASS_ChannelGetData(stream, nullptr, 16), DWORD(-1));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
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
        quint32 seed = 12345;
        for (char &c : noise) {
            seed = seed * 1103515245u + 12345u;
            c = char(seed >> 24);
        }
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
        const std::vector<float> out = compressedSine(std::pow(10.0, inputDb / 20.0), parameters);
        QVERIFY(out.size() > 44100);
        // The peak of the last 0.3 s, once the compressor settled.
        const double measured = 20 * std::log10(peakOf(std::vector<float>(out.end() - 26460, out.end())));
        QVERIFY2(std::fabs(measured - outputDb) < 0.6, qPrintable(QString::number(measured)));
    }
};

TUNORA_TEST_MAIN_CORE(TestAudioFormats)
#include "tst_audioformats.moc"
