// Recording the playing station against a real local Icecast: the stream's own bytes and every
// encoded format, split files per title, the names made of hostile titles, and the failures
// (missing encoder, no folder, a full disk). Files are judged by decoding them with ffmpeg.

#include "bassinit.h"
#include "bassqt.h"
#include "icecast.h"
#include "media.h"
#include "scriptedserver.h"
#include "testmain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <future>
#include <map>
#include <memory>

using namespace BASS;
using TunoraTest::IcecastServer;

namespace {

// A channel that keeps its notifications and messages instead of showing them.
class RecordingChannel : public BassQt
{
public:
    ~RecordingChannel() override { Stop(0); }

    void Notify(uint msg, uint param) override
    {
        {
            QMutexLocker lock(&m_lock);
            m_events.append(msg);
        }
        BassQt::Notify(msg, param);
    }
    void ShowMessage(const QString &text, bool) override
    {
        QMutexLocker lock(&m_lock);
        m_messages.append(text);
    }
    int count(uint msg) const
    {
        QMutexLocker lock(&m_lock);
        return int(m_events.count(msg));
    }
    QStringList messages() const
    {
        QMutexLocker lock(&m_lock);
        return m_messages;
    }
    QString nameFor(bool fromSong) const { return RecordingName(fromSong); }
    void setSong(const QString &artist, const QString &title)
    {
        QMutexLocker lock(&m_songLock);
        m_song.setArtist(artist);
        m_song.setTitle(title);
    }

private:
    mutable QMutex m_lock;
    QList<uint> m_events;
    QStringList m_messages;
};

struct Probe
{
    QString codec;
    int channels = 0;
    double seconds = -1; // decoded length
    QString error;
};

// What ffprobe says of the first audio stream, and the length ffmpeg decodes.
Probe probe(const QString &file)
{
    Probe out;
    QProcess info;
    info.start(QStringLiteral("ffprobe"),
               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                QStringLiteral("a:0"), QStringLiteral("-show_entries"),
                QStringLiteral("stream=codec_name,channels"), QStringLiteral("-of"),
                QStringLiteral("default=nw=1"), file});
    if (!info.waitForFinished(30000) || info.exitCode() != 0) {
        out.error = QStringLiteral("ffprobe: ") + QString::fromUtf8(info.readAllStandardError());
        return out;
    }
    for (const QString &line : QString::fromUtf8(info.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("codec_name=")))
            out.codec = line.mid(11).trimmed();
        else if (line.startsWith(QLatin1String("channels=")))
            out.channels = line.mid(9).trimmed().toInt();
    }
    // Decoded to 8 kHz mono 16-bit: the byte count gives the length.
    QProcess decode;
    decode.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("quiet"),
                  QStringLiteral("-i"), file, QStringLiteral("-f"), QStringLiteral("s16le"),
                  QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-ar"), QStringLiteral("8000"),
                  QStringLiteral("-")});
    if (!decode.waitForFinished(60000) || decode.exitStatus() != QProcess::NormalExit) {
        out.error = QStringLiteral("ffmpeg did not finish");
        return out;
    }
    out.seconds = double(decode.readAllStandardOutput().size()) / 16000.0;
    return out;
}

// Where a channel stands: bytes downloaded and taken by the decoder, audio heard and decoded
// ahead of it.
struct Marks
{
    qint64 downloaded = 0;
    qint64 consumed = 0;
    QWORD heard = 0;
    QWORD ahead = 0;
};

Marks marks(RecordingChannel &channel)
{
    return {qint64(channel.FilePosition(BASS_FILEPOS_DOWNLOAD)),
            qint64(channel.FilePosition(BASS_FILEPOS_CURRENT)), channel.ChannelGetPosition(),
            channel.ChannelGetData(nullptr, BASS_DATA_AVAILABLE)};
}

// The seconds a recording between two marks must hold: the audio played meanwhile and what the
// decoder got further ahead; for the stream's own bytes also what the download buffer gained, at
// the file's byte rate (`bytesPerSecond`; 0 for an encoded recording).
double expectedSeconds(RecordingChannel &channel, const Marks &from, const Marks &to, double bytesPerSecond)
{
    double seconds = channel.Bytes2Seconds(to.heard - from.heard) + channel.Bytes2Seconds(to.ahead) -
                     channel.Bytes2Seconds(from.ahead);
    if (bytesPerSecond > 0)
        seconds += double((to.downloaded - to.consumed) - (from.downloaded - from.consumed)) / bytesPerSecond;
    return seconds;
}

bool openOnThread(RecordingChannel &channel, const QUrl &url)
{
    std::atomic<bool> opened{false};
    std::unique_ptr<QThread> thread(
        QThread::create([&] { opened = channel.OpenURL(url.toString(QUrl::FullyEncoded), 0); }));
    thread->start();
    while (!thread->isFinished())
        QTest::qWait(20);
    return opened;
}

Station station(const QString &name)
{
    Station s;
    s.setName(name);
    return s;
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

    IcecastServer m_icecast;
    QTemporaryDir m_dir;
    QString m_tmpfs; // a small file system of its own, when mounting is allowed

    QUrl mount(const QString &name) const { return m_icecast.mountUrl(name); }

private slots:
    void initTestCase()
    {
        if (!IcecastServer::available())
            QSKIP("icecast2 or ffmpeg is not installed");
        QString error;
        QVERIFY2(m_icecast.start(&error), qPrintable(error));
        IcecastServer::Source mp3;
        mp3.name = QStringLiteral("Icecast MP3");
        QVERIFY2(m_icecast.startSource(mp3, &error), qPrintable(error));
        IcecastServer::Source aac;
        aac.mount = QStringLiteral("/test.aac");
        aac.codec = QStringLiteral("aac");
        aac.channels = 1; // a mono station: the encoders keep one channel
        QVERIFY2(m_icecast.startSource(aac, &error), qPrintable(error));
        IcecastServer::Source ogg;
        ogg.mount = QStringLiteral("/test.ogg");
        ogg.codec = QStringLiteral("vorbis");
        ogg.sampleRate = 48000;
        QVERIFY2(m_icecast.startSource(ogg, &error), qPrintable(error));
        IcecastServer::Source split = mp3;
        split.mount = QStringLiteral("/split.mp3");
        QVERIFY2(m_icecast.startSource(split, &error), qPrintable(error));
        QVERIFY2(m_icecast.setTitle(split.mount, QStringLiteral("Opening - Theme"), &error),
                 qPrintable(error));
        QVERIFY2(InitAudioEngine(&error, 5, true, 2000, "Tunora/1.02", nullptr, 0), qPrintable(error));

        const QString point = m_dir.filePath(QStringLiteral("tmpfs"));
        QDir().mkpath(point);
        if (QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=96k"), QStringLiteral("tmpfs"), point}) == 0)
            m_tmpfs = point;
    }

    void cleanupTestCase()
    {
        if (!m_tmpfs.isEmpty())
            QProcess::execute(QStringLiteral("umount"), {m_tmpfs});
        BASS_Free();
        m_icecast.stop();
    }

    // The rules for names: nothing leaves the folder, every name is one valid file name.
    void safeFileName_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected"); // empty: only the invariants are checked

        QTest::newRow("plain") << "Artist - Title"
                               << "Artist - Title";
        QTest::newRow("parent folders") << "../../etc/passwd"
                                        << "_.._etc_passwd";
        QTest::newRow("absolute") << "/tmp/x"
                                  << "_tmp_x";
        QTest::newRow("hidden") << "...hidden - song"
                                << "hidden - song";
        QTest::newRow("controls") << QStringLiteral("A\x01\tB\nC\x7f") << "A__B_C_";
        QTest::newRow("backslash") << "C:\\Windows"
                                   << "C:_Windows";
        QTest::newRow("only dots") << "...."
                                   << "";
        QTest::newRow("unpaired surrogate")
            << QString(QChar(0xd800)) + QStringLiteral("x") << QStringLiteral("?x");
        QTest::newRow("long cyrillic") << QString(300, QChar(0x0416)) << QString(115, QChar(0x0416));
        QTest::newRow("long emoji") << QString::fromUtf8("\xf0\x9f\x8e\xb5").repeated(100)
                                    << QString::fromUtf8("\xf0\x9f\x8e\xb5").repeated(57);
    }

    void safeFileName()
    {
        QFETCH(QString, title);
        QFETCH(QString, expected);
        const QString name = CRecording::SafeFileName(title);
        QCOMPARE(name, expected);
        QVERIFY(name.toUtf8().size() <= CRecording::MaxBaseNameBytes);
        QVERIFY(!name.contains(QLatin1Char('/')) && !name.startsWith(QLatin1Char('.')));
        // The longest name a recording makes still fits one file-system name.
        if (!name.isEmpty()) {
            const QString longest = m_dir.filePath(name + QStringLiteral("(99999).opus"));
            QFile file(longest);
            QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
            file.remove();
        }
    }

    void uniquePath_data()
    {
        QTest::addColumn<int>("existing"); // files there already: base, base(1) .. base(existing-1)
        QTest::addColumn<QString>("expected");

        QTest::newRow("free") << 0 << "Song.mp3";
        QTest::newRow("one") << 1 << "Song(1).mp3";
        QTest::newRow("ten") << 10 << "Song(10).mp3";
        QTest::newRow("past ten") << 13 << "Song(13).mp3";
    }

    void uniquePath()
    {
        QFETCH(int, existing);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString base = dir.filePath(QStringLiteral("Song"));
        for (int i = 0; i < existing; ++i) {
            QFile f(i == 0 ? base + QStringLiteral(".mp3") : QStringLiteral("%1(%2).mp3").arg(base).arg(i));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(CRecording::UniquePath(base, QStringLiteral("mp3")), dir.filePath(expected));
    }

    // A recording of an Ogg stream's own bytes begins with the stream's header pages and then at
    // a page boundary, however the bytes arrive; bytes that are not Ogg are left alone.
    void oggPages_data()
    {
        QTest::addColumn<QString>("input"); // "vorbis", "garbage", "truncated"
        QTest::addColumn<int>("chunk");

        for (int chunk : {1, 7, 4096, 1 << 20})
            QTest::addRow("vorbis in blocks of %d", chunk) << "vorbis" << chunk;
        QTest::newRow("garbage") << "garbage" << 100;
        QTest::newRow("truncated page header") << "truncated" << 3;
    }

    void oggPages()
    {
        QFETCH(QString, input);
        QFETCH(int, chunk);
        QByteArray bytes;
        if (input == QLatin1String("vorbis")) {
            QString error;
            const QString path =
                TunoraTest::Media::tone(TunoraTest::Media::Vorbis, 2.0, 440, 660, 0.5, &error);
            QVERIFY2(!path.isEmpty(), qPrintable(error));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            bytes = file.readAll();
        } else if (input == QLatin1String("garbage")) {
            bytes = QByteArray("ID3\x03garbage that is no Ogg at all ").repeated(50);
        } else {
            bytes = QByteArray("OggS\x00\x02\x00\x00", 8) + QByteArray(12, '\xff');
        }

        OggPages pages;
        QList<qint64> starts;
        for (qint64 at = 0; at < bytes.size(); at += chunk) {
            const qint64 length = qMin<qint64>(chunk, bytes.size() - at);
            const qint64 first = pages.Feed(reinterpret_cast<const uchar *>(bytes.constData() + at), length);
            QVERIFY(first >= -1 && first < length);
            if (first >= 0)
                starts.append(at + first);
        }
        if (input != QLatin1String("vorbis")) {
            QVERIFY(!pages.IsOgg() || input == QLatin1String("truncated"));
            QVERIFY(pages.Headers().isEmpty());
            return;
        }
        QVERIFY(pages.IsOgg());
        // Every page found begins with the capture pattern, and the first is at 0.
        QVERIFY(!starts.isEmpty() && starts.first() == 0);
        for (qint64 start : starts)
            QCOMPARE(bytes.mid(start, 4), QByteArray("OggS"));
        if (chunk == 1)
            QCOMPARE(starts.size(), bytes.count("OggS"));
        // The headers: a prefix of the stream of whole pages, followed by the first audio page.
        const QByteArray headers = pages.Headers();
        QVERIFY(headers.size() > 100);
        QVERIFY(bytes.startsWith(headers));
        QCOMPARE(bytes.mid(headers.size(), 4), QByteArray("OggS"));
        // Headers plus the stream from a later page on decode as Vorbis.
        const qint64 later = starts.size() > 3 ? starts[starts.size() / 2] : headers.size();
        QTemporaryDir dir;
        QFile part(dir.filePath(QStringLiteral("part.ogg")));
        QVERIFY(part.open(QIODevice::WriteOnly));
        part.write(headers + bytes.mid(later));
        part.close();
        const Probe p = probe(part.fileName());
        QVERIFY2(p.error.isEmpty() && p.codec == QLatin1String("vorbis") && p.seconds > 0.3,
                 qPrintable(p.codec + p.error));
    }

    // A file of an ADTS stream's own bytes begins at a real frame, not inside one nor at bytes
    // that only look like a frame header.
    void adtsStart_data()
    {
        QTest::addColumn<QByteArray>("prefix"); // put before the stream, cut in the middle of a frame
        QTest::newRow("mid-frame") << QByteArray();
        // A header-like pattern with a plausible length whose follower is no header.
        QTest::newRow("false sync") << QByteArray("\xff\xf1\x50\x80\x02\x1f\xfc\x01\x02\x03", 10);
    }

    void adtsStart()
    {
        QFETCH(QByteArray, prefix);
        QString error;
        const QString path = TunoraTest::Media::tone(TunoraTest::Media::Aac, 1.0, 440, 660, 0.5, &error);
        QVERIFY2(!path.isEmpty(), qPrintable(error));
        QFile source(path);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray adts = source.readAll();
        // Frame boundaries of the stream, by the frames' own lengths.
        QList<qsizetype> frames;
        for (qsizetype at = 0; at + 7 <= adts.size();) {
            frames.append(at);
            const auto *h = reinterpret_cast<const uchar *>(adts.constData() + at);
            const int length = ((h[3] & 0x03) << 11) | (h[4] << 3) | (h[5] >> 5);
            QVERIFY(length >= 7);
            at += length;
        }
        QVERIFY(frames.size() > 10);
        const qsizetype cut = frames[1] + 5; // inside the second frame
        const QByteArray stream = prefix + adts.mid(cut);

        QTemporaryDir dir;
        CRecording recording;
        int code = 0;
        QVERIFY(recording.OpenRaw(dir.filePath(QStringLiteral("x.aac")), &code, true));
        for (qsizetype at = 0; at < stream.size(); at += 333)
            QVERIFY(recording.WriteRaw(stream.constData() + at, qMin<qsizetype>(333, stream.size() - at)));
        recording.Close();
        QFile written(dir.filePath(QStringLiteral("x.aac")));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), adts.mid(frames[2]));
    }

    void recordingName_data()
    {
        QTest::addColumn<QString>("stationName");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("fromSong");
        QTest::addColumn<QString>("pattern");

        const QString stamp = QStringLiteral(" - \\d\\d\\.\\w{3}\\.\\d{4}_\\d\\d\\.\\d\\d$");
        QTest::newRow("station") << "Radio Example"
                                 << "A"
                                 << "B" << false << "^Radio Example$";
        QTest::newRow("song") << "Radio Example"
                              << "Artist"
                              << "Title" << true << "^Artist - Title$";
        QTest::newRow("artist only") << "Radio Example"
                                     << "Someone Else"
                                     << "" << true << "^Someone Else$";
        QTest::newRow("no song") << "Radio Example"
                                 << ""
                                 << "" << true << "^Radio Example$";
        QTest::newRow("short gets a date") << "Abc"
                                           << ""
                                           << "" << false << QStringLiteral("^Abc") + stamp;
        QTest::newRow("no station") << ""
                                    << ""
                                    << "" << false << "^Unknown Station$";
        QTest::newRow("station cut to 50") << QString(70, QLatin1Char('s')) << ""
                                           << "" << false << QStringLiteral("^s{50}$");
        QTest::newRow("cut to 120") << "Radio" << QString(100, QLatin1Char('a'))
                                    << QString(100, QLatin1Char('t')) << true
                                    << QStringLiteral("^a{100} - t{17}$");
    }

    void recordingName()
    {
        QFETCH(QString, stationName);
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(bool, fromSong);
        QFETCH(QString, pattern);
        RecordingChannel channel;
        channel.SetStation(station(stationName));
        channel.setSong(artist, title);
        const QString name = channel.nameFor(fromSong);
        QVERIFY2(QRegularExpression(pattern).match(name).hasMatch(), qPrintable(name));
    }

    // Every mount in every format at once, and a split recording driven by title changes, over
    // the same 20 seconds.
    void recordMounts()
    {
        struct Case
        {
            QString mount;
            qint32 format;
            QString extension;
            QString codec;
            int channels;
            bool encodes;
            std::unique_ptr<RecordingChannel> channel;
            QString folder;
            QElapsedTimer clock;
            Marks from, to;
            qint32 seconds = 0; // the recording clock when it was stopped
        };
        std::vector<Case> cases;
        const QList<std::tuple<QString, QString, int, qint32>> mounts{
            {QStringLiteral("/test.mp3"), QStringLiteral("mp3"), 2, RecordMp3},
            {QStringLiteral("/test.aac"), QStringLiteral("aac"), 1, RecordAac},
            {QStringLiteral("/test.ogg"), QStringLiteral("vorbis"), 2, RecordOgg}};
        const QList<std::tuple<qint32, QString, QString>> formats{
            {RecordMp3, QStringLiteral("mp3"), QStringLiteral("mp3")},
            {RecordWma, QStringLiteral("wma"), QStringLiteral("wmav2")},
            {RecordAac, QStringLiteral("aac"), QStringLiteral("aac")},
            {RecordOgg, QStringLiteral("ogg"), QStringLiteral("vorbis")}};
        for (const auto &[name, ownCodec, channels, own] : mounts) {
            const QString ownExtension =
                ownCodec == QLatin1String("vorbis") ? QStringLiteral("ogg") : ownCodec;
            cases.push_back(
                {name, RecordStreamData, ownExtension, ownCodec, channels, false, {}, {}, {}, {}, {}, 0});
            for (const auto &[format, extension, codec] : formats) {
                const bool same = format == own; // its own format: the stream's bytes
                cases.push_back({name,
                                 format,
                                 extension,
                                 same ? ownCodec : codec,
                                 channels,
                                 !same,
                                 {},
                                 {},
                                 {},
                                 {},
                                 {},
                                 0});
            }
        }

        // Open everything first, so that each recording starts on a stream past its burst.
        QList<QThread *> openers;
        for (std::size_t i = 0; i < cases.size(); ++i) {
            Case &c = cases[i];
            c.channel = std::make_unique<RecordingChannel>();
            c.channel->SetFadeTimes(0, 0);
            c.channel->SetStation(station(QStringLiteral("Icecast Test")));
            c.folder = m_dir.filePath(QStringLiteral("mounts/%1").arg(i));
            RecordingChannel *channel = c.channel.get();
            const QString url = mount(c.mount).toString(QUrl::FullyEncoded);
            openers.append(QThread::create([channel, url] { channel->OpenURL(url, 0); }));
            openers.last()->start();
        }
        // Two split recordings of the same station: its own bytes, and encoded to Ogg Vorbis.
        RecordingChannel splits[2];
        const qint32 splitFormats[2] = {RecordStreamData, RecordOgg};
        const QString splitExtensions[2] = {QStringLiteral("mp3"), QStringLiteral("ogg")};
        const QString splitCodecs[2] = {QStringLiteral("mp3"), QStringLiteral("vorbis")};
        for (RecordingChannel &split : splits) {
            split.SetFadeTimes(0, 0);
            split.SetStation(station(QStringLiteral("Split Station")));
            QVERIFY(openOnThread(split, mount(QStringLiteral("/split.mp3"))));
        }
        for (QThread *t : openers) {
            while (!t->isFinished())
                QTest::qWait(20);
            delete t;
        }
        for (Case &c : cases)
            QVERIFY2(c.channel->IsPlaying(), qPrintable(c.mount));
        // The "(n)" rule past ten on the first recording's folder.
        QDir().mkpath(cases[0].folder);
        for (int n = 0; n <= 10; ++n) {
            QFile f(cases[0].folder + (n ? QStringLiteral("/Icecast Test(%1).mp3").arg(n)
                                         : QStringLiteral("/Icecast Test.mp3")));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        // The recordings start on whatever the download buffers hold: on a loaded machine the
        // sources may fall behind real time and the buffers drain or fill. What a file must hold is
        // therefore reckoned from each channel's own marks (expectedSeconds), not from the clock.
        // The split recordings begin once the mount's first title is heard: it names no file.
        for (RecordingChannel &split : splits)
            QTRY_COMPARE_WITH_TIMEOUT(split.CurrentSong().artist(), QStringLiteral("Opening"), 30000);
        QString splitFolders[2];
        for (int i = 0; i < 2; ++i) {
            splitFolders[i] = m_dir.filePath(QStringLiteral("split%1").arg(i));
            splits[i].SetEncoderParams({splitFormats[i], 0, {}});
            QVERIFY(splits[i].StartRecording(splitFolders[i], true));
        }
        Marks splitFrom[2] = {marks(splits[0]), marks(splits[1])};
        for (Case &c : cases) {
            c.channel->SetEncoderParams({c.format, 0, {}});
            QVERIFY2(c.channel->StartRecording(c.folder, false),
                     qPrintable(c.channel->messages().join(QLatin1Char('\n'))));
            c.from = marks(*c.channel);
            c.clock.start();
            QCOMPARE(c.channel->IsEncoding(), c.encodes);
            QCOMPARE(c.channel->count(EventRecordingStarted), 1);
        }
        QVERIFY(cases[0].channel->RecordingFileName().endsWith(QLatin1String("/Icecast Test(11).mp3")));

        // Titles on the split mount: each song well past the shortest file, then a title that is
        // replaced a moment later (one file under the second name), and that one is hostile.
        QString error;
        const QString splitMount = QStringLiteral("/split.mp3");
        const auto title = [&](const QString &text, const QString &artist) {
            if (!m_icecast.setTitle(splitMount, text, &error))
                return false;
            const auto arrived = [&] {
                return splits[0].CurrentSong().artist() == artist &&
                       splits[1].CurrentSong().artist() == artist;
            };
            QElapsedTimer waited;
            waited.start();
            while (!arrived() && waited.elapsed() < 15000)
                QTest::qWait(20);
            return arrived();
        };
        QTest::qWait(5500);
        QVERIFY2(title(QStringLiteral("Alpha - One"), QStringLiteral("Alpha")), qPrintable(error));
        QTest::qWait(5500);
        QVERIFY2(title(QStringLiteral("Beta - Two"), QStringLiteral("Beta")), qPrintable(error));
        QTest::qWait(5500);
        QVERIFY2(title(QStringLiteral("Gamma - Three"), QStringLiteral("Gamma")), qPrintable(error));
        QVERIFY2(title(QStringLiteral("../../Delta/x - Four"), QStringLiteral("../../Delta/x")),
                 qPrintable(error));
        while (cases.back().clock.elapsed() < 20000)
            QTest::qWait(100);

        for (Case &c : cases) {
            c.seconds = c.channel->RecordingSeconds();
            c.channel->StopRecording();
            c.to = marks(*c.channel);
            QCOMPARE(c.channel->count(EventRecordingStopped), 1);
            QVERIFY(c.channel->IsPlaying()); // playback goes on
        }
        QTest::qWait(2000);
        Marks splitTo[2];
        for (int i = 0; i < 2; ++i) {
            splits[i].StopRecording();
            splitTo[i] = marks(splits[i]);
        }

        // Every file decoded at once.
        std::map<QString, std::future<Probe>> probes;
        for (Case &c : cases)
            for (const QString &file : c.channel->RecordedFiles())
                probes[file] = std::async(std::launch::async, probe, file);
        for (RecordingChannel &split : splits)
            for (const QString &file : split.RecordedFiles())
                probes[file] = std::async(std::launch::async, probe, file);

        for (Case &c : cases) {
            const QString what = QStringLiteral("%1 as %2").arg(c.mount).arg(c.format);
            const QStringList files = c.channel->RecordedFiles();
            QCOMPARE(files.size(), 1);
            QVERIFY2(files[0].endsWith(QLatin1Char('.') + c.extension), qPrintable(what + files[0]));
            const Probe p = probes[files[0]].get();
            QVERIFY2(p.error.isEmpty(), qPrintable(what + p.error));
            QCOMPARE(p.codec, c.codec);
            QCOMPARE(p.channels, c.channels);
            const double played = expectedSeconds(*c.channel, c.from, c.to, 0);
            QVERIFY2(played > 5, qPrintable(QStringLiteral("%1: only %2 s played").arg(what).arg(played)));
            const double expected = expectedSeconds(*c.channel, c.from, c.to,
                                                    c.encodes ? 0 : QFileInfo(files[0]).size() / p.seconds);
            QVERIFY2(qAbs(p.seconds - expected) <= 1.0,
                     qPrintable(QStringLiteral("%1: %2 s decoded, %3 s recorded")
                                    .arg(what)
                                    .arg(p.seconds)
                                    .arg(expected)));
            // The recording clock runs on the channel's one-second tick.
            QVERIFY2(qAbs(c.seconds - played) <= 2.0, qPrintable(QString::number(c.seconds)));
        }

        // One file per song under the song's name, nothing outside the folder, nothing lost.
        for (int i = 0; i < 2; ++i) {
            const QStringList files = splits[i].RecordedFiles();
            QStringList names;
            double total = 0;
            qint64 bytes = 0;
            for (const QString &file : files) {
                bytes += QFileInfo(file).size();
                names.append(QFileInfo(file).fileName());
                QCOMPARE(QFileInfo(file).absolutePath(), QDir(splitFolders[i]).absolutePath());
                const Probe p = probes[file].get();
                QVERIFY2(p.error.isEmpty(), qPrintable(file + p.error));
                QCOMPARE(p.codec, splitCodecs[i]);
                total += p.seconds;
            }
            QStringList expected;
            for (const char *name : {"Split Station", "Alpha - One", "Beta - Two", "_.._Delta_x - Four"})
                expected.append(QString::fromUtf8(name) + QLatin1Char('.') + splitExtensions[i]);
            QCOMPARE(names, expected);
            QCOMPARE(QDir(splitFolders[i]).entryList(QDir::Files).size(), files.size());
            const double splitSeconds =
                expectedSeconds(splits[i], splitFrom[i], splitTo[i], i == 0 ? bytes / total : 0);
            QVERIFY2(
                qAbs(total - splitSeconds) <= 1.0,
                qPrintable(QStringLiteral("%1 s in the files, %2 s recorded").arg(total).arg(splitSeconds)));
            QCOMPARE(splits[i].count(EventRecordingNextFile), 4);
        }
    }

    // The stream's own bytes split where a title arrived in them, not where it is heard seconds
    // later (the download runs ahead); without splitting, the song's file ends there. A scripted
    // ICY server puts the titles at known bytes, so every file must be an exact, gapless slice of
    // the served audio that ends within a frame of its title.
    void splitAtTitleBytes_data()
    {
        QTest::addColumn<bool>("split");
        QTest::newRow("split") << true;
        QTest::newRow("one song") << false;
    }

    void splitAtTitleBytes()
    {
        QFETCH(bool, split);
        TunoraTest::Media::Recipe recipe;
        recipe.format = TunoraTest::Media::Mp3; // 128 kbit/s
        recipe.seconds = 15.0;
        recipe.left = QStringLiteral("0.5*sin(2*PI*(300+20*t)*t)"); // no two frames alike
        QString error;
        QFile source(TunoraTest::Media::make(recipe, &error));
        QVERIFY2(source.open(QIODevice::ReadOnly), qPrintable(error));
        const QByteArray audio = source.readAll();
        const qint64 metaint = 8000;
        const qint64 alphaAt = 12 * metaint; // 6 s
        const qint64 betaAt = 24 * metaint;  // 12 s
        QByteArray body;
        for (qint64 at = 0; at < audio.size(); at += metaint) {
            body += audio.mid(at, metaint);
            const qint64 next = at + metaint;
            QByteArray meta;
            if (next == alphaAt || next == betaAt)
                meta = next == alphaAt ? "StreamTitle='Alpha - One';" : "StreamTitle='Beta - Two';";
            meta.append(QByteArray((16 - meta.size() % 16) % 16, '\0'));
            body += char(meta.size() / 16) + meta;
        }
        TunoraTest::ScriptedServer server;
        const QByteArray header = TunoraTest::ScriptedServer::header(
            "ICY 200 OK", {"Content-Type: audio/mpeg", "icy-name: Byte Radio", "icy-metaint: 8000"});
        QVERIFY(server.start([&](int, const QByteArray &) {
            return TunoraTest::ScriptedServer::Script{TunoraTest::ScriptedServer::send(header),
                                                      TunoraTest::ScriptedServer::stream(body, 1600, 100),
                                                      TunoraTest::ScriptedServer::close()};
        }));

        RecordingChannel channel;
        channel.SetFadeTimes(0, 0);
        channel.SetStation(station(QStringLiteral("Byte Radio")));
        QVERIFY(openOnThread(channel, QUrl(QString::fromLatin1(server.url("/live")))));
        const QString folder =
            m_dir.filePath(QStringLiteral("bytes/") + QString::fromUtf8(QTest::currentDataTag()));
        QVERIFY(channel.StartRecording(folder, split));
        if (split) {
            QTRY_COMPARE_WITH_TIMEOUT(channel.RecordedFiles().size(), 3, 30000);
            QTRY_VERIFY(QFileInfo(channel.RecordedFiles().last()).size() > 8192);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!channel.IsRecording(), 30000);
            QCOMPARE(channel.count(EventRecordingStopped), 1);
        }
        channel.StopRecording();

        const QStringList files = channel.RecordedFiles();
        QCOMPARE(files.size(), split ? 3 : 1);
        const qint64 ends[] = {alphaAt, betaAt};
        qint64 at = -1;
        for (int i = 0; i < files.size(); ++i) {
            QFile file(files[i]);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY2(bytes.size() > 4096, qPrintable(files[i]));
            if (at < 0)
                at = audio.indexOf(bytes.left(1024));
            QVERIFY2(audio.mid(at, bytes.size()) == bytes,
                     qPrintable(files[i] + QStringLiteral(": not the served bytes from %1").arg(at)));
            at += bytes.size();
            if (i < files.size() - 1 || !split)
                QVERIFY2(at - ends[i] >= -2048 && at - ends[i] <= 2048,
                         qPrintable(QStringLiteral("%1 ends at byte %2, its title at %3")
                                        .arg(files[i])
                                        .arg(at)
                                        .arg(ends[i])));
        }
    }

    // A recording that cannot start or cannot go on says why, stops, and leaves playback alone.
    void failures_data()
    {
        QTest::addColumn<QString>("place"); // "missing", "file", "tmpfs"
        QTest::addColumn<qint32>("format");
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<QString>("message");

        QTest::newRow("missing encoder") << "dir" << qint32(RecordOgg) << "no-such-encoder"
                                         << "Recording failed: Missing encoder \nno-such-encoder";
        QTest::newRow("folder is a file") << "file" << qint32(RecordStreamData) << ""
                                          << "Recording failed: Unable to create output file";
        QTest::newRow("full disk, stream data") << "tmpfs" << qint32(RecordStreamData) << ""
                                                << "Recording failed: Unable to write to disk";
        QTest::newRow("full disk, encoded") << "tmpfs" << qint32(RecordOgg) << ""
                                            << "Recording failed: Unable to write to disk";
    }

    void failures()
    {
        QFETCH(QString, place);
        QFETCH(qint32, format);
        QFETCH(QString, encoder);
        QFETCH(QString, message);

        QString folder =
            m_dir.filePath(QStringLiteral("failures/") + QString::fromUtf8(QTest::currentDataTag()));
        if (place == QLatin1String("tmpfs")) {
            if (m_tmpfs.isEmpty())
                QSKIP("mounting a small tmpfs is not allowed here (needs root)");
            folder = m_tmpfs;
            for (const QString &f : QDir(folder).entryList(QDir::Files))
                QFile::remove(folder + QLatin1Char('/') + f);
        } else if (place == QLatin1String("file")) {
            QDir().mkpath(m_dir.filePath(QStringLiteral("failures")));
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            folder += QStringLiteral("/inside");
        }

        RecordingChannel channel;
        channel.SetFadeTimes(0, 0);
        channel.SetStation(station(QStringLiteral("Failing Station")));
        QVERIFY(openOnThread(channel, mount(QStringLiteral("/test.mp3"))));
        // Past the burst, so the disk fills at the stream's pace.
        channel.SetEncoderParams({format, format == RecordOgg && encoder.isEmpty() ? 320u : 0u, encoder});
        const bool started = channel.StartRecording(folder, false);
        if (place != QLatin1String("tmpfs")) {
            QVERIFY(!started);
            QCOMPARE(channel.count(EventRecordingStarted), 0);
            QVERIFY(!QDir(folder).exists() || QDir(folder).entryList(QDir::Files).isEmpty());
        } else {
            QVERIFY2(started, qPrintable(channel.messages().join(QLatin1Char('\n'))));
            QTRY_COMPARE_WITH_TIMEOUT(channel.count(EventRecordingStopped), 1, 30000);
            QCOMPARE(channel.count(EventRecordingFailed), 1);
            const QStringList files = QDir(folder).entryList(QDir::Files);
            QCOMPARE(files.size(), 1);
            const Probe p = probe(folder + QLatin1Char('/') + files[0]);
            QVERIFY2(p.error.isEmpty() && p.seconds > 1.0,
                     qPrintable(QStringLiteral("%1 s %2").arg(p.seconds).arg(p.error)));
            QTest::qWait(300);
            QVERIFY(channel.IsPlaying());
        }
        QVERIFY(!channel.IsRecording());
        QCOMPARE(channel.messages().size(), 1);
        QVERIFY2(channel.messages()[0].startsWith(message), qPrintable(channel.messages()[0]));
    }
};

TUNORA_TEST_MAIN_CORE(TestRecording)
#include "tst_recording.moc"
