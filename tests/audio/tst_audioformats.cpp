// Creators, decoding of every format, lengths, positions and the engine's bookkeeping, all on
// decoding channels (no playback, so nothing here waits for real time).

#include "audiotest.h"
#include "media.h"
#include "testmain.h"

#include <QFile>
#include <QTemporaryDir>

#include <thread>

using TunoraTest::Media;
using namespace AudioTest;

namespace {

using CreatorFn = HSTREAM (*)(BOOL, const void *, QWORD, QWORD, DWORD);
struct Creator
{
    const char *name;
    CreatorFn create;
};
// The file creators, in the order the channel wrapper tries them.
const Creator Creators[] = {{"plain", BASS_StreamCreateFile},
                            {"wma", BASS_WMA_StreamCreateFile},
                            {"aac", BASS_AAC_StreamCreateFile},
                            {"mp4", BASS_MP4_StreamCreateFile},
                            {"flac", BASS_FLAC_StreamCreateFile}};
enum CreatorIndex
{
    Plain,
    Wma,
    Aac,
    Mp4,
    Flac
};

// The creator that owns each format.
CreatorIndex ownerOf(Media::Format format)
{
    switch (format) {
    case Media::Mp3:
    case Media::Mp2:
    case Media::Vorbis:
    case Media::Opus:
    case Media::Wav:
        return Plain;
    case Media::Wma:
        return Wma;
    case Media::Aac:
    case Media::HeAac:
        return Aac;
    case Media::M4a:
        return Mp4;
    case Media::Flac:
    case Media::OggFlac:
        return Flac;
    }
    return Plain;
}

const Media::Format AllFormats[] = {Media::Mp3,    Media::Mp2,  Media::Aac,  Media::HeAac,
                                    Media::Vorbis, Media::Opus, Media::Flac, Media::OggFlac,
                                    Media::Wma,    Media::Wav,  Media::M4a};

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
    return Creators[creator].create(FALSE, local.constData(), 0, 0, flags);
}

} // namespace

class TestAudioFormats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(BASS_Init(0, 44100, 0, nullptr, nullptr)); }
    void cleanupTestCase() { BASS_Free(); }

    void decodesEveryFormat_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<uint>("ctype");
        QTest::addColumn<int>("rate");
        QTest::addColumn<double>("durationTolerance"); // seconds the decoded length may differ
        QTest::newRow("MP3") << int(Media::Mp3) << uint(BASS_CTYPE_STREAM_MP3) << 44100 << 0.03;
        QTest::newRow("MP2") << int(Media::Mp2) << uint(BASS_CTYPE_STREAM_MP2) << 44100 << 0.03;
        QTest::newRow("AAC") << int(Media::Aac) << uint(BASS_CTYPE_STREAM_AAC) << 44100 << 0.05;
        // Announced at 22.05 kHz by its ADTS headers, heard at 44.1 kHz.
        QTest::newRow("HE-AAC") << int(Media::HeAac) << uint(BASS_CTYPE_STREAM_AAC) << 44100 << 0.1;
        QTest::newRow("Vorbis") << int(Media::Vorbis) << uint(BASS_CTYPE_STREAM_OGG) << 44100 << 0.005;
        QTest::newRow("Opus") << int(Media::Opus) << uint(BASS_CTYPE_STREAM_OPUS) << 48000 << 0.005;
        QTest::newRow("FLAC") << int(Media::Flac) << uint(BASS_CTYPE_STREAM_FLAC) << 44100 << 0.0;
        QTest::newRow("Ogg FLAC") << int(Media::OggFlac) << uint(BASS_CTYPE_STREAM_FLAC_OGG) << 44100 << 0.0;
        QTest::newRow("WMA") << int(Media::Wma) << uint(BASS_CTYPE_STREAM_WMA) << 44100 << 0.1;
        QTest::newRow("WAV") << int(Media::Wav) << uint(BASS_CTYPE_STREAM_WAV_PCM) << 44100 << 0.0;
        QTest::newRow("MP4") << int(Media::M4a) << uint(BASS_CTYPE_STREAM_MP4) << 44100 << 0.03;
    }
    void decodesEveryFormat()
    {
        QFETCH(int, format);
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
        QCOMPARE(used, int(ownerOf(Media::Format(format))));
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
        QTest::addColumn<int>("error");
        QTest::newRow("empty") << QByteArray() << BASS_ERROR_FILEFORM;
        QTest::newRow("huge ID3 size")
            << QByteArray::fromHex("494433030000 7f7f7f7f") + QByteArray(64, 'x') << BASS_ERROR_FILEFORM;
        QTest::newRow("Ogg page of Speex")
            << QByteArray("OggS\0\x02", 6) + QByteArray(20, '\0') + QByteArray("\x01\x50", 2) +
                   QByteArray("Speex   ") + QByteArray(72, '\0')
            << BASS_ERROR_FILEFORM;
        QByteArray noise(65536, '\0');
        quint32 seed = 12345;
        for (char &c : noise) {
            seed = seed * 1103515245u + 12345u;
            c = char(seed >> 24);
        }
        QTest::newRow("noise") << noise << BASS_ERROR_FILEFORM;
    }
    void rejectsWhatIsNoAudio()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.bin"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        for (int c = 0; c < int(std::size(Creators)); ++c) {
            QCOMPARE(open(CreatorIndex(c), path), HSTREAM(0));
            QCOMPARE(BASS_ErrorGetCode(), error);
        }
    }

    void truncatedFilesPlayWhatIsThere_data()
    {
        QTest::addColumn<int>("format");
        for (Media::Format format : AllFormats)
            QTest::newRow(qPrintable(Media::formatName(format))) << int(format);
    }
    void truncatedFilesPlayWhatIsThere()
    {
        QFETCH(int, format);
        // Noise makes the audio dominate the file, so the cut lands well behind the headers.
        Media::Recipe recipe;
        recipe.format = Media::Format(format);
        recipe.seconds = 2.0;
        recipe.rate = Media::defaultRate(recipe.format);
        recipe.left = recipe.right = QStringLiteral("0.3*sin(2*PI*440*t)+0.2*(random(0)-0.5)");
        QFile file(Media::make(recipe));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();
        // Cut in the middle of a packet: the beginning still decodes, the cut is just the end.
        const QByteArray half = whole.left(whole.size() * 6 / 10 + 7);
        const CreatorIndex creator = ownerOf(Media::Format(format));
        const HSTREAM stream =
            Creators[creator].create(TRUE, half.constData(), 0, QWORD(half.size()), BASS_STREAM_DECODE);
        if (format == Media::M4a) {
            // MP4 keeps its index at the end (ffmpeg's default): without it nothing is playable.
            if (!stream)
                QVERIFY(BASS_ErrorGetCode() == BASS_ERROR_FILEFORM);
            else
                BASS_StreamFree(stream);
            return;
        }
        QVERIFY2(stream, qPrintable(QString::number(BASS_ErrorGetCode())));
        const std::vector<float> samples = decodeAll(stream);
        BASS_CHANNELINFO info{};
        BASS_ChannelGetInfo(stream, &info);
        const double seconds = double(samples.size()) / info.chans / info.freq;
        QVERIFY2(seconds > 0.6 && seconds < 1.5, qPrintable(QString::number(seconds)));
        QVERIFY(BASS_StreamFree(stream));
    }
};

TUNORA_TEST_MAIN_CORE(TestAudioFormats)
#include "tst_audioformats.moc"
