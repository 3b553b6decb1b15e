// Recording the playing station where the window's suite cannot look: the names of files, where
// files of the stream's own bytes begin and end, and a disk that fills. Files are judged by their
// bytes or by decoding them with ffmpeg.

#include "bassinit.h"
#include "bassqt.h"
#include "media.h"
#include "scriptedserver.h"
#include "testmain.h"

#include <QDir>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

using namespace BASS;
using TunoraTest::Media;
using TunoraTest::ScriptedServer;

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

// The seconds ffmpeg decodes of a file (-1 when it cannot), at 8 kHz mono 16-bit.
double decodedSeconds(const QString &file)
{
    QProcess decode;
    decode.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("quiet"),
                  QStringLiteral("-i"), file, QStringLiteral("-f"), QStringLiteral("s16le"),
                  QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-ar"), QStringLiteral("8000"),
                  QStringLiteral("-")});
    if (!decode.waitForFinished(60000) || decode.exitStatus() != QProcess::NormalExit)
        return -1;
    return double(decode.readAllStandardOutput().size()) / 16000.0;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A station that sends its header, then `body` at 16000 bytes a second, then ends.
bool serveLive(ScriptedServer &server, const QByteArray &header, const QByteArray &body)
{
    return server.start([header, body](int, const QByteArray &) {
        return ScriptedServer::Script{ScriptedServer::send(header), ScriptedServer::stream(body, 1600, 100),
                                      ScriptedServer::close()};
    });
}

// The open runs on a thread of its own, as the connect thread does.
bool openOnThread(RecordingChannel &channel, const QString &name, const QByteArray &url)
{
    Station station;
    station.setName(name);
    channel.SetStation(station);
    channel.SetFadeTimes(0, 0);
    std::atomic<bool> opened{false};
    std::unique_ptr<QThread> thread(
        QThread::create([&] { opened = channel.OpenURL(QString::fromLatin1(url), 0); }));
    thread->start();
    while (!thread->isFinished())
        QTest::qWait(20);
    return opened;
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_tmpfs;  // a small file system of its own, when mounting is allowed
    QByteArray m_mp3; // 15 s at 128 kbit/s, no two frames alike

private slots:
    void initTestCase()
    {
        Media::Recipe recipe;
        recipe.format = Media::Mp3;
        recipe.seconds = 15.0;
        recipe.left = QStringLiteral("0.5*sin(2*PI*(300+20*t)*t)");
        recipe.right = QStringLiteral("0.3*(2*random(0)-1)"); // noise: the encoded file fills the disk fast
        QString error;
        m_mp3 = readFile(Media::make(recipe, &error));
        QVERIFY2(!m_mp3.isEmpty(), qPrintable(error));
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
    }

    // Nothing leaves the folder, every name is one valid file name.
    void safeFileName_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");

        // clang-format off
        QTest::newRow("parent folders") << "../../etc/passwd" << "_.._etc_passwd";
        QTest::newRow("hidden") << "...hidden - song" << "hidden - song";
        QTest::newRow("controls") << QStringLiteral("A\x01\tB\nC\x7f") << "A__B_C_";
        QTest::newRow("unpaired surrogate") << QString(QChar(0xd800)) + QStringLiteral("x") << QStringLiteral("?x");
        QTest::newRow("long cyrillic") << QString(300, QChar(0x0416)) << QString(115, QChar(0x0416));
        // clang-format on
    }

    void safeFileName()
    {
        QFETCH(QString, title);
        QFETCH(QString, expected);
        const QString name = CRecording::SafeFileName(title);
        QCOMPARE(name, expected);
        QVERIFY(name.toUtf8().size() <= CRecording::MaxBaseNameBytes);
        // The longest name a recording makes still fits one file-system name.
        if (!name.isEmpty()) {
            QFile file(m_dir.filePath(name + QStringLiteral("(99999).opus")));
            QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
            file.remove();
        }
    }

    // A taken name gets the first free "(n)", also past ten.
    void uniquePath()
    {
        QTemporaryDir dir;
        const QString base = dir.filePath(QStringLiteral("Song"));
        QCOMPARE(CRecording::UniquePath(base, QStringLiteral("mp3")), base + QStringLiteral(".mp3"));
        for (int i = 0; i < 13; ++i) {
            QFile f(i == 0 ? base + QStringLiteral(".mp3") : QStringLiteral("%1(%2).mp3").arg(base).arg(i));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(CRecording::UniquePath(base, QStringLiteral("mp3")), base + QStringLiteral("(13).mp3"));
    }

    void recordingName_data()
    {
        QTest::addColumn<QString>("stationName");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("fromSong");
        QTest::addColumn<QString>("pattern");

        const QString stamp = QStringLiteral(" - \\d\\d\\.\\w{3}\\.\\d{4}_\\d\\d\\.\\d\\d$");
        // clang-format off
        QTest::newRow("station") << "Radio Example" << "A" << "B" << false << "^Radio Example$";
        QTest::newRow("no song") << "Radio Example" << "" << "" << true << "^Radio Example$";
        QTest::newRow("short gets a date") << "Abc" << "" << "" << false << QStringLiteral("^Abc") + stamp;
        QTest::newRow("cut to 120") << "Radio" << QString(100, QLatin1Char('a')) << QString(100, QLatin1Char('t')) << true << QStringLiteral("^a{100} - t{17}$");
        // clang-format on
    }

    void recordingName()
    {
        QFETCH(QString, stationName);
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(bool, fromSong);
        QFETCH(QString, pattern);
        RecordingChannel channel;
        Station station;
        station.setName(stationName);
        channel.SetStation(station);
        channel.setSong(artist, title);
        const QString name = channel.nameFor(fromSong);
        QVERIFY2(QRegularExpression(pattern).match(name).hasMatch(), qPrintable(name));
    }

    // A recording of an Ogg stream's own bytes begins with the stream's header pages and then at
    // a page boundary, however the bytes arrive; bytes that are not Ogg are left alone.
    void oggPages_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("chunk");
        QString error;
        const QByteArray vorbis = readFile(Media::tone(Media::Vorbis, 2.0, 440, 660, 0.5, &error));
        QTest::newRow("vorbis a byte at a time") << vorbis << 1;
        QTest::newRow("vorbis in blocks of 7") << vorbis << 7;
        QTest::newRow("truncated page header")
            << QByteArray("OggS\x00\x02\x00\x00", 8) + QByteArray(12, '\xff') << 3;
    }

    void oggPages()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, chunk);
        QVERIFY(!bytes.isEmpty());
        OggPages pages;
        QList<qint64> starts;
        for (qint64 at = 0; at < bytes.size(); at += chunk) {
            const qint64 length = qMin<qint64>(chunk, bytes.size() - at);
            const qint64 first = pages.Feed(reinterpret_cast<const uchar *>(bytes.constData() + at), length);
            QVERIFY(first >= -1 && first < length);
            if (first >= 0)
                starts.append(at + first);
        }
        if (bytes.size() < 100) { // the truncated page: nothing to keep
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
        const qint64 metaint = 8000;
        const qint64 alphaAt = 12 * metaint; // 6 s
        const qint64 betaAt = 24 * metaint;  // 12 s
        QByteArray body;
        for (qint64 at = 0; at < m_mp3.size(); at += metaint) {
            body += m_mp3.mid(at, metaint);
            const qint64 next = at + metaint;
            QByteArray meta;
            if (next == alphaAt || next == betaAt)
                meta = next == alphaAt ? "StreamTitle='Alpha - One';" : "StreamTitle='Beta - Two';";
            meta.append(QByteArray((16 - meta.size() % 16) % 16, '\0'));
            body += char(meta.size() / 16) + meta;
        }
        ScriptedServer server;
        QVERIFY(serveLive(server,
                          ScriptedServer::header("ICY 200 OK", {"Content-Type: audio/mpeg",
                                                                "icy-name: Byte Radio", "icy-metaint: 8000"}),
                          body));

        RecordingChannel channel;
        QVERIFY(openOnThread(channel, QStringLiteral("Byte Radio"), server.url("/live")));
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
        const QStringList names{QStringLiteral("Byte Radio.mp3"), QStringLiteral("Alpha - One.mp3"),
                                QStringLiteral("Beta - Two.mp3")};
        const qint64 ends[] = {alphaAt, betaAt};
        qint64 at = -1;
        for (int i = 0; i < files.size(); ++i) {
            if (split)
                QCOMPARE(QFileInfo(files[i]).fileName(), names[i]);
            const QByteArray bytes = readFile(files[i]);
            QVERIFY2(bytes.size() > 4096, qPrintable(files[i]));
            if (at < 0)
                at = m_mp3.indexOf(bytes.left(1024));
            QVERIFY2(m_mp3.mid(at, bytes.size()) == bytes,
                     qPrintable(files[i] + QStringLiteral(": not the served bytes from %1").arg(at)));
            at += bytes.size();
            if (i < files.size() - 1 || !split)
                QVERIFY2(qAbs(at - ends[i]) <= 2048,
                         qPrintable(QStringLiteral("%1 ends at byte %2, its title at %3")
                                        .arg(files[i])
                                        .arg(at)
                                        .arg(ends[i])));
        }
    }

    // A recording whose disk fills says why, stops, keeps what it wrote, and leaves playback alone.
    void fullDisk_data()
    {
        QTest::addColumn<qint32>("format");
        QTest::newRow("stream data") << qint32(RecordStreamData);
        QTest::newRow("encoded") << qint32(RecordOgg);
    }

    void fullDisk()
    {
        QFETCH(qint32, format);
        if (m_tmpfs.isEmpty())
            QSKIP("mounting a small tmpfs is not allowed here (needs root)");
        const QString folder = m_tmpfs;
        for (const QString &f : QDir(folder).entryList(QDir::Files))
            QVERIFY(QFile::remove(folder + QLatin1Char('/') + f));
        ScriptedServer server;
        QVERIFY(serveLive(server, ScriptedServer::header("ICY 200 OK", {"Content-Type: audio/mpeg"}), m_mp3));
        RecordingChannel channel;
        QVERIFY(openOnThread(channel, QStringLiteral("Failing Station"), server.url("/live")));
        channel.SetEncoderParams({format, format == RecordOgg ? 320u : 0u, {}});
        QVERIFY2(channel.StartRecording(folder, false),
                 qPrintable(channel.messages().join(QLatin1Char('\n'))));
        QTRY_COMPARE_WITH_TIMEOUT(channel.count(EventRecordingStopped), 1, 30000);
        QCOMPARE(channel.count(EventRecordingFailed), 1);
        QVERIFY(!channel.IsRecording());
        QVERIFY(channel.IsPlaying());
        QCOMPARE(channel.messages().size(), 1);
        QVERIFY2(channel.messages()[0].startsWith(QLatin1String("Recording failed: Unable to write to disk")),
                 qPrintable(channel.messages()[0]));
        const QStringList files = QDir(folder).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        const double seconds = decodedSeconds(folder + QLatin1Char('/') + files[0]);
        QVERIFY2(seconds > 1.0, qPrintable(QString::number(seconds)));
    }
};

TUNORA_TEST_MAIN_CORE(TestRecording)
#include "tst_recording.moc"
