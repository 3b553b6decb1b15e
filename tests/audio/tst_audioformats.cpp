// Creators, decoding of every format, lengths, positions and the engine's bookkeeping, all on
// decoding channels (no playback, so nothing here waits for real time).

#include "audiotest.h"
#include "media.h"
#include "testmain.h"

#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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
    }

    void creatorsAcceptOnlyTheirFamily_data()
    {
        QTest::addColumn<int>("creator");
        QTest::addColumn<int>("format");
        for (int c = 0; c < int(std::size(Creators)); ++c)
            for (Media::Format format : AllFormats)
                QTest::addRow("%s creator, %s", Creators[c].name, qPrintable(Media::formatName(format)))
                    << c << int(format);
    }
    void creatorsAcceptOnlyTheirFamily()
    {
        QFETCH(int, creator);
        QFETCH(int, format);
        const QString path = toneFile(Media::Format(format));
        QVERIFY(!path.isEmpty());
        const HSTREAM stream = open(CreatorIndex(creator), path);
        if (creator == ownerOf(Media::Format(format))) {
            QVERIFY2(stream, qPrintable(QString::number(BASS_ErrorGetCode())));
            QVERIFY(BASS_StreamFree(stream));
        } else {
            QCOMPARE(stream, HSTREAM(0));
            QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
        }
    }

    void rejectsWhatIsNoAudio_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("error");
        QTest::newRow("empty") << QByteArray() << BASS_ERROR_FILEFORM;
        QTest::newRow("text") << QByteArray("Hello, this is not music at all.\n").repeated(50)
                              << BASS_ERROR_FILEFORM;
        QTest::newRow("html") << QByteArray("<html><body>404 Not Found</body></html>") << BASS_ERROR_FILEFORM;
        QTest::newRow("one MPEG header")
            << QByteArray::fromHex("fffb9064") + QByteArray(30, '\0') << BASS_ERROR_FILEFORM;
        QTest::newRow("ID3 tag only")
            << QByteArray::fromHex("49443303000000000010") + QByteArray(16, '\0') << BASS_ERROR_FILEFORM;
        QTest::newRow("huge ID3 size")
            << QByteArray::fromHex("494433030000 7f7f7f7f") + QByteArray(64, 'x') << BASS_ERROR_FILEFORM;
        QTest::newRow("Ogg page of Speex")
            << QByteArray("OggS\0\x02", 6) + QByteArray(20, '\0') + QByteArray("\x01\x50", 2) +
                   QByteArray("Speex   ") + QByteArray(72, '\0')
            << BASS_ERROR_FILEFORM;
        QTest::newRow("RIFF but AVI")
            << QByteArray("RIFF\x10\0\0\0AVI LIST", 16) + QByteArray(64, '\0') << BASS_ERROR_FILEFORM;
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

    void failsOnFilesThatCannotBeOpened()
    {
        QTemporaryDir dir;
        QCOMPARE(open(Plain, dir.filePath(QStringLiteral("missing.mp3"))), HSTREAM(0));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
        QCOMPARE(open(Plain, dir.path()), HSTREAM(0));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
        // An address goes to the network reader, which the file path does not reach.
        QCOMPARE(BASS_MP4_StreamCreateFile(FALSE, "http://127.0.0.1:1/x.m4a", 0, 0, BASS_STREAM_DECODE),
                 HSTREAM(0));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
        QCOMPARE(BASS_StreamCreateFile(FALSE, nullptr, 0, 0, 0), HSTREAM(0));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
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

    void sampleFormatsAndConversions_data()
    {
        QTest::addColumn<uint>("flags");
        QTest::addColumn<int>("frameBytes");
        QTest::newRow("16-bit") << 0u << 4;
        QTest::newRow("float") << uint(BASS_SAMPLE_FLOAT) << 8;
        QTest::newRow("8-bit") << uint(BASS_SAMPLE_8BITS) << 2;
        QTest::newRow("mono 16-bit") << uint(BASS_SAMPLE_MONO) << 2;
        QTest::newRow("mono float") << uint(BASS_SAMPLE_MONO | BASS_SAMPLE_FLOAT) << 4;
    }
    void sampleFormatsAndConversions()
    {
        QFETCH(uint, flags);
        QFETCH(int, frameBytes);
        const HSTREAM stream = open(Plain, toneFile(Media::Wav), BASS_STREAM_DECODE | flags);
        QVERIFY(stream);
        QCOMPARE(BASS_ChannelGetLength(stream, BASS_POS_BYTE), QWORD(44100 * frameBytes));
        QCOMPARE(BASS_ChannelBytes2Seconds(stream, QWORD(44100 * frameBytes / 2)), 0.5);
        QCOMPARE(BASS_ChannelSeconds2Bytes(stream, 0.25), QWORD(11025 * frameBytes));
        QCOMPARE(BASS_ChannelSeconds2Bytes(stream, 1.0), QWORD(44100 * frameBytes));
        QCOMPARE(BASS_ChannelSeconds2Bytes(stream, -1), QWORD(-1));
        // Reads are whole frames, and the position counts the bytes delivered.
        std::vector<char> buffer(1001);
        const DWORD got = BASS_ChannelGetData(stream, buffer.data(), DWORD(buffer.size()));
        QCOMPARE(got, DWORD(1001 / frameBytes * frameBytes));
        QCOMPARE(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), QWORD(got));
        // The samples are the tone's, in that format: the peak of 0.5 is half of full scale.
        std::vector<char> more(size_t(frameBytes) * 2000);
        QCOMPARE(BASS_ChannelGetData(stream, more.data(), DWORD(more.size())), DWORD(more.size()));
        const std::size_t size = (flags & BASS_SAMPLE_FLOAT) ? 4 : (flags & BASS_SAMPLE_8BITS) ? 1 : 2;
        double peak = 0;
        for (std::size_t i = 0; i < more.size() / size; ++i) {
            const char *at = more.data() + i * size;
            const double v = size == 4   ? *reinterpret_cast<const float *>(at)
                             : size == 2 ? *reinterpret_cast<const qint16 *>(at) / 32768.0
                                         : (quint8(*at) - 128) / 128.0;
            peak = std::max(peak, std::fabs(v));
        }
        // Mono is the average of 440 Hz and 660 Hz at 0.5: its peak stays at or under 0.5.
        QVERIFY2(peak > 0.4 && peak < 0.502, qPrintable(QString::number(peak)));
        QVERIFY(BASS_StreamFree(stream));
    }

    void exactLengthWithPrescan_data()
    {
        QTest::addColumn<int>("format");
        for (Media::Format format :
             {Media::Mp3, Media::Aac, Media::Vorbis, Media::Opus, Media::Flac, Media::Wav})
            QTest::newRow(qPrintable(Media::formatName(format))) << int(format);
    }
    void exactLengthWithPrescan()
    {
        QFETCH(int, format);
        const QString path = toneFile(Media::Format(format));
        const CreatorIndex creator = ownerOf(Media::Format(format));
        const HSTREAM stream =
            open(creator, path, BASS_STREAM_DECODE | BASS_STREAM_PRESCAN | BASS_SAMPLE_FLOAT);
        QVERIFY(stream);
        const QWORD announced = BASS_ChannelGetLength(stream, BASS_POS_BYTE);
        const std::vector<float> samples = decodeAll(stream);
        // Exact, but for FFmpeg's Vorbis decoder, which drops one short block more than the
        // container's length says.
        const qint64 slack = format == Media::Vorbis ? 128 * 8 : 0;
        QVERIFY2(qAbs(qint64(announced) - qint64(samples.size() * sizeof(float))) <= slack,
                 qPrintable(QStringLiteral("%1 vs %2").arg(announced).arg(samples.size() * sizeof(float))));
        QVERIFY(BASS_StreamFree(stream));
    }

    void filePositions()
    {
        const QString path = toneFile(Media::Mp3);
        const auto size = QWORD(QFileInfo(path).size());
        const HSTREAM stream = open(Plain, path);
        QVERIFY(stream);
        QCOMPARE(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_END), size);
        QCOMPARE(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_DOWNLOAD), size);
        // ffmpeg puts an ID3v2 tag in front of the audio.
        QVERIFY(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_START) >= 10);
        const QWORD early = BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CURRENT);
        QVERIFY(early < size / 2);
        char half[44100 * 2];
        QVERIFY(BASS_ChannelGetData(stream, half, sizeof half) != DWORD(-1));
        const QWORD middle = BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CURRENT);
        QVERIFY2(middle > size / 4 && middle < size * 3 / 4, qPrintable(QString::number(middle)));
        decodeAll(stream);
        QCOMPARE(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CURRENT), size);
        QCOMPARE(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CONNECTED), QWORD(-1));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_NOTFILE);
        QVERIFY(BASS_StreamFree(stream));
        QCOMPARE(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_END), QWORD(-1));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    }

    void seeking_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("toleranceFrames");
        QTest::newRow("WAV") << int(Media::Wav) << 0;
        QTest::newRow("FLAC") << int(Media::Flac) << 0;
        QTest::newRow("Vorbis") << int(Media::Vorbis) << 1024;
        QTest::newRow("MP3") << int(Media::Mp3) << 1152;
    }
    void seeking()
    {
        QFETCH(int, format);
        QFETCH(int, toleranceFrames);
        const QString path = toneFile(Media::Format(format));
        const CreatorIndex creator = ownerOf(Media::Format(format));
        const HSTREAM whole = open(creator, path, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
        const std::vector<float> reference = decodeAll(whole);
        BASS_StreamFree(whole);
        const HSTREAM stream = open(creator, path, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
        QVERIFY(stream);
        const QWORD target = BASS_ChannelSeconds2Bytes(stream, 0.6);
        QVERIFY(BASS_ChannelSetPosition(stream, target, BASS_POS_BYTE));
        QCOMPARE(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), target);
        const std::vector<float> rest = decodeAll(stream);
        const std::size_t frame = std::size_t(target / 8);
        const qint64 restFrames = qint64(rest.size() / 2), expected = qint64(reference.size() / 2 - frame);
        QVERIFY2(qAbs(restFrames - expected) <= toleranceFrames,
                 qPrintable(QString::number(restFrames - expected)));
        if (toleranceFrames == 0) // lossless or sample-exact: the very same samples follow
            for (std::size_t i = 0; i < 2000; ++i)
                QCOMPARE(rest[i], reference[frame * 2 + i]);
        QVERIFY(!BASS_ChannelSetPosition(stream, BASS_ChannelSeconds2Bytes(stream, 5.0), BASS_POS_BYTE));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_POSITION);
        BASS_StreamFree(stream);
    }

    void memoryOffsetAndUnicodePaths()
    {
        QFile file(toneFile(Media::Wav));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray wav = file.readAll();
        // From memory.
        HSTREAM stream =
            BASS_StreamCreateFile(TRUE, wav.constData(), 0, QWORD(wav.size()), BASS_STREAM_DECODE);
        QVERIFY(stream);
        QCOMPARE(BASS_ChannelGetLength(stream, BASS_POS_BYTE), QWORD(44100 * 4));
        BASS_StreamFree(stream);
        QCOMPARE(BASS_StreamCreateFile(TRUE, wav.constData(), 0, 0, BASS_STREAM_DECODE), HSTREAM(0));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
        // A window of a file: the WAV behind 1000 bytes of something else.
        QTemporaryDir dir;
        const QString wrapped = dir.filePath(QStringLiteral("wrapped.bin"));
        QFile out(wrapped);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(1000, 'x') + wav);
        out.close();
        QCOMPARE(open(Plain, wrapped), HSTREAM(0));
        const QByteArray local = wrapped.toLocal8Bit();
        stream = BASS_StreamCreateFile(FALSE, local.constData(), 1000, QWORD(wav.size()), BASS_STREAM_DECODE);
        QVERIFY(stream);
        QCOMPARE(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_END), QWORD(wav.size()));
        BASS_StreamFree(stream);
        // A wide-character path with BASS_UNICODE.
        const QString unicode = dir.filePath(QStringLiteral("Töne ♪ 音.wav"));
        QVERIFY(QFile::copy(file.fileName(), unicode));
        const std::wstring wide = unicode.toStdWString();
        stream = BASS_StreamCreateFile(FALSE, wide.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_UNICODE);
        QVERIFY2(stream, qPrintable(QString::number(BASS_ErrorGetCode())));
        BASS_CHANNELINFO info{};
        BASS_ChannelGetInfo(stream, &info);
        QCOMPARE(QString::fromUtf8(info.filename), unicode);
        BASS_StreamFree(stream);
        const wchar_t invalid[] = {L'a', wchar_t(0xD800), 0};
        QCOMPARE(BASS_StreamCreateFile(FALSE, invalid, 0, 0, BASS_UNICODE), HSTREAM(0));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    }

    void oggCommentsBecomeTags()
    {
        Media::Recipe recipe;
        recipe.format = Media::Vorbis;
        recipe.seconds = 0.3;
        recipe.extra = {QStringLiteral("-metadata"), QStringLiteral("title=Ünïcode Title"),
                        QStringLiteral("-metadata"), QStringLiteral("artist=Somebody")};
        const QString path = Media::make(recipe);
        const HSTREAM stream = open(Plain, path);
        QVERIFY(stream);
        const char *tags = BASS_ChannelGetTags(stream, BASS_TAG_OGG);
        QVERIFY(tags);
        QStringList items;
        for (const char *p = tags; *p; p += strlen(p) + 1)
            items << QString::fromUtf8(p);
        // Comment names are case-insensitive; the values come through as UTF-8.
        QVERIFY2(items.contains(QStringLiteral("TITLE=Ünïcode Title"), Qt::CaseInsensitive),
                 qPrintable(items.join(QLatin1Char('|'))));
        QVERIFY(items.contains(QStringLiteral("ARTIST=Somebody"), Qt::CaseInsensitive));
        QCOMPARE(BASS_ChannelGetTags(stream, BASS_TAG_ICY), nullptr);
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
        BASS_StreamFree(stream);
    }

    void abortFlagCancelsABlockedCreator()
    {
        // A pipe whose writer sent the first bytes of an MP3 and then goes quiet.
        QTemporaryDir dir;
        const QByteArray fifo = dir.filePath(QStringLiteral("stream.mp3")).toLocal8Bit();
        QCOMPARE(mkfifo(fifo.constData(), 0600), 0);
        const int writer = ::open(fifo.constData(), O_RDWR | O_NONBLOCK); // keeps the pipe open
        QVERIFY(writer >= 0);
        QFile mp3(toneFile(Media::Mp3));
        QVERIFY(mp3.open(QIODevice::ReadOnly));
        const QByteArray start = mp3.read(300);
        QCOMPARE(::write(writer, start.constData(), size_t(start.size())), ssize_t(start.size()));

        std::atomic<bool> abort{false};
        std::atomic<bool> done{false};
        HSTREAM result = 1;
        int error = 0;
        std::thread opener([&] {
            BASS_SetAbortFlag(&abort);
            result = BASS_StreamCreateFile(FALSE, fifo.constData(), 0, 0, BASS_STREAM_DECODE);
            error = BASS_ErrorGetCode();
            BASS_SetAbortFlag(nullptr);
            done = true;
        });
        QTest::qWait(300);
        QVERIFY(!done); // still waiting for the writer
        const auto asked = std::chrono::steady_clock::now();
        abort = true;
        while (!done && std::chrono::steady_clock::now() - asked < std::chrono::seconds(5))
            QTest::qWait(5);
        const auto took = std::chrono::steady_clock::now() - asked;
        opener.join();
        ::close(writer);
        QCOMPARE(result, HSTREAM(0));
        QCOMPARE(error, BASS_ERROR_ABORTED);
        QVERIFY(took < std::chrono::milliseconds(200));
        // A flag that is already set stops the next creator at once.
        BASS_SetAbortFlag(&abort);
        QCOMPARE(open(Plain, toneFile(Media::Wav)), HSTREAM(0));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_ABORTED);
        BASS_SetAbortFlag(nullptr);
        QVERIFY(open(Plain, toneFile(Media::Wav)) != 0);
    }

    void errorsBelongToTheirThread()
    {
        QVERIFY(!BASS_ChannelPlay(0x7FFFFFF0, FALSE));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        int before = -2, after = -2;
        std::thread other([&] {
            before = BASS_ErrorGetCode();
            BASS_SetConfig(0xDEAD, 1);
            after = BASS_ErrorGetCode();
        });
        other.join();
        QCOMPARE(before, BASS_OK);
        QCOMPARE(after, BASS_ERROR_ILLTYPE);
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    }

    void configuration_data()
    {
        QTest::addColumn<uint>("option");
        QTest::addColumn<uint>("value");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<uint>("readBack");
        QTest::newRow("volume") << uint(BASS_CONFIG_GVOL_STREAM) << 4150u << true << 4150u;
        QTest::newRow("volume too high") << uint(BASS_CONFIG_GVOL_STREAM) << 10001u << false << 4150u;
        QTest::newRow("float DSP") << uint(BASS_CONFIG_FLOATDSP) << 7u << true << 1u;
        QTest::newRow("pre-buffer") << uint(BASS_CONFIG_NET_PREBUF) << 0u << true << 0u;
        QTest::newRow("pre-buffer clamped") << uint(BASS_CONFIG_NET_PREBUF) << 250u << true << 100u;
        QTest::newRow("playlists") << uint(BASS_CONFIG_NET_PLAYLIST) << 2u << true << 2u;
        QTest::newRow("playlists invalid") << uint(BASS_CONFIG_NET_PLAYLIST) << 3u << false << 2u;
        QTest::newRow("unknown") << 0xBEEFu << 1u << false << 0xFFFFFFFFu;
    }
    void configuration()
    {
        QFETCH(uint, option);
        QFETCH(uint, value);
        QFETCH(bool, accepted);
        QFETCH(uint, readBack);
        QCOMPARE(bool(BASS_SetConfig(option, value)), accepted);
        if (!accepted)
            QVERIFY(BASS_ErrorGetCode() == BASS_ERROR_ILLPARAM || BASS_ErrorGetCode() == BASS_ERROR_ILLTYPE);
        QCOMPARE(uint(BASS_GetConfig(option)), readBack);
    }

    void pointerOptionsKeepTheirText()
    {
        {
            std::string agent = "Tunora/1.02";
            QVERIFY(BASS_SetConfigPtr(BASS_CONFIG_NET_AGENT, agent.c_str()));
            agent.assign("overwritten");
        }
        QCOMPARE(QByteArray(static_cast<const char *>(BASS_GetConfigPtr(BASS_CONFIG_NET_AGENT))),
                 QByteArray("Tunora/1.02"));
        QVERIFY(BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, "user:pw@127.0.0.1:3128"));
        QCOMPARE(QByteArray(static_cast<const char *>(BASS_GetConfigPtr(BASS_CONFIG_NET_PROXY))),
                 QByteArray("user:pw@127.0.0.1:3128"));
        QVERIFY(BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, nullptr));
        QCOMPARE(BASS_GetConfigPtr(BASS_CONFIG_NET_PROXY), nullptr);
        QVERIFY(!BASS_SetConfig(BASS_CONFIG_NET_AGENT, 1));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_ILLTYPE);
    }

    void pluginsAreBuiltIn_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("known");
        QTest::newRow("aac with folder") << QByteArray("C:\\Program Files\\Tunora\\bass_aac.dll") << true;
        QTest::newRow("unknown") << QByteArray("bassmidi.dll") << false;
    }
    void pluginsAreBuiltIn()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, known);
        const HPLUGIN plugin = BASS_PluginLoad(name.constData(), 0);
        QCOMPARE(plugin != 0, known);
        if (known)
            QVERIFY(BASS_PluginFree(plugin));
        else
            QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
    }

    void engineLifecycle()
    {
        QVERIFY(!BASS_Init(0, 44100, 0, nullptr, nullptr));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
        QCOMPARE(BASS_GetDevice(), DWORD(0));
        const HSTREAM kept = open(Plain, toneFile(Media::Wav));
        QVERIFY(kept);
        QVERIFY(BASS_Free());
        QVERIFY(!BASS_ChannelGetInfo(kept, nullptr)); // freed with the engine
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        QCOMPARE(open(Plain, toneFile(Media::Wav)), HSTREAM(0));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_INIT);
        QVERIFY(!BASS_Free());
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_INIT);
        QVERIFY(!BASS_Init(7, 44100, 0, nullptr, nullptr));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
        QVERIFY(!BASS_Init(0, 1000, 0, nullptr, nullptr));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
        QVERIFY(BASS_Init(0, 48000, 0, nullptr, nullptr));
        BASS_INFO info{};
        QVERIFY(BASS_GetInfo(&info));
        QCOMPARE(info.freq, DWORD(48000));
    }
};

TUNORA_TEST_MAIN_CORE(TestAudioFormats)
#include "tst_audioformats.moc"
