// The engine wrapper without a network: start-up options, volume, error texts, bit rate, the
// compressor, the connect error report, local files, decoding channels and the recording hooks.

#include "audioengine.h"
#include "bassinit.h"
#include "cbasstest.h"
#include "compressor.h"
#include "media.h"
#include "testmain.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <functional>
#include <memory>

using namespace BASS;
using namespace Qt::Literals::StringLiterals;
using TunoraTest::Media;
using TunoraTest::TestBass;

using CompressorFactory = std::function<std::unique_ptr<CBassCompressor>()>;
Q_DECLARE_METATYPE(CompressorFactory)
using Action = std::function<void()>;
Q_DECLARE_METATYPE(Action)
using UIntList = QList<uint>;

namespace {

float peakOfChannel(HSTREAM stream)
{
    float peak = 0;
    float block[4096];
    for (;;) {
        const DWORD got = BASS_ChannelGetData(stream, block, sizeof block | BASS_DATA_FLOAT);
        if (got == DWORD(-1) || got == 0)
            break;
        for (DWORD i = 0; i < got / sizeof(float); ++i)
            peak = std::max(peak, std::fabs(block[i]));
    }
    return peak;
}

QString makeMedia(Media::Format format, double seconds = 2.0)
{
    QString error;
    const QString path = Media::tone(format, seconds, 440, 660, 0.5, &error);
    if (path.isEmpty())
        qWarning() << "cannot make test audio:" << error;
    return path;
}

} // namespace

class TestCBass : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    void startEngine() { QVERIFY(InitAudioEngine(nullptr, 2, true, 1000, "Tunora/1.02", nullptr, 0)); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        startEngine();
    }
    void cleanupTestCase() { BASS_Free(); }

    void initAudioEngine_data()
    {
        QTest::addColumn<uint>("timeoutSeconds");
        QTest::addColumn<bool>("playlists");
        QTest::addColumn<uint>("netBuffer");
        QTest::addColumn<QByteArray>("agent");
        QTest::addColumn<QByteArray>("proxy");
        QTest::addColumn<uint>("expectedTimeoutMs");
        QTest::addColumn<uint>("expectedPlaylist");
        QTest::addColumn<uint>("expectedBuffer");

        // clang-format off
        // The options set before each row: 4321 ms time-out, 2500 ms buffer, agent "before".
        QTest::newRow("start-up") << 30u << true << 0u << QByteArray("Tunora/1.02") << QByteArray() << 30000u << 2u << 2500u;
        QTest::newRow("no playlists, own buffer") << 5u << false << 3000u << QByteArray("Agent/2") << QByteArray() << 5000u << 0u << 3000u;
        QTest::newRow("zero time-out keeps the engine's") << 0u << true << 0u << QByteArray("A") << QByteArray() << 4321u << 2u << 2500u;
        QTest::newRow("with proxy") << 1u << true << 0u << QByteArray("A") << QByteArray("user:pw@127.0.0.1:3128") << 1000u << 2u << 2500u;
        QTest::newRow("no agent keeps the engine's") << 1u << true << 0u << QByteArray() << QByteArray() << 1000u << 2u << 2500u;
        // clang-format on
    }

    void initAudioEngine()
    {
        QFETCH(uint, timeoutSeconds);
        QFETCH(bool, playlists);
        QFETCH(uint, netBuffer);
        QFETCH(QByteArray, agent);
        QFETCH(QByteArray, proxy);
        QFETCH(uint, expectedTimeoutMs);
        QFETCH(uint, expectedPlaylist);
        QFETCH(uint, expectedBuffer);

        BASS_Free();
        BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 4321);
        BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 2500);
        BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 75);
        BASS_SetConfig(BASS_CONFIG_FLOATDSP, 0);
        BASS_SetConfig(BASS_CONFIG_WMA_PREBUF, 0);
        BASS_SetConfigPtr(BASS_CONFIG_NET_AGENT, "before");
        BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, nullptr);

        QString error = QStringLiteral("untouched");
        const bool started = InitAudioEngine(&error, timeoutSeconds, playlists, netBuffer,
                                             agent.isNull() ? nullptr : agent.constData(),
                                             proxy.isNull() ? nullptr : proxy.constData(), 0);
        QVERIFY(started);
        QCOMPARE(error, QStringLiteral("untouched"));
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_TIMEOUT), expectedTimeoutMs);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_PLAYLIST), expectedPlaylist);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_BUFFER), expectedBuffer);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_PREBUF), 0u);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_FLOATDSP), 1u);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_WMA_PREBUF), 1u);
        const char *setAgent = static_cast<const char *>(BASS_GetConfigPtr(BASS_CONFIG_NET_AGENT));
        QCOMPARE(QByteArray(setAgent), agent.isNull() ? QByteArray("before") : agent);
        const char *setProxy = static_cast<const char *>(BASS_GetConfigPtr(BASS_CONFIG_NET_PROXY));
        QCOMPARE(QByteArray(setProxy), proxy);
        BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, nullptr);
    }

    void initAudioEngineTwiceReportsAndStillSetsOptions()
    {
        BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 4321);
        QString error;
        QVERIFY(!InitAudioEngine(&error, 7, false, 0, nullptr, nullptr, 0));
        QCOMPARE(error, QStringLiteral("Already initialized/paused/etc"));
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_TIMEOUT), 7000u);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_PLAYLIST), 0u);
        // Without a place for the text the failure is only the result.
        QVERIFY(!InitAudioEngine(nullptr, 2, true, 1000, nullptr, nullptr, 0));
    }

    void masterVolume_data()
    {
        QTest::addColumn<uint>("stored");
        QTest::addColumn<int>("percent");
        QTest::addColumn<uint>("writtenBack");

        QTest::newRow("between percents rounds up") << 4150u << 42 << 4200u;
        QTest::newRow("whole percent") << 4200u << 42 << 4200u;
        QTest::newRow("a trace") << 1u << 1 << 100u;
        QTest::newRow("near full") << 9901u << 100 << 10000u;
    }

    void masterVolume()
    {
        QFETCH(uint, stored);
        QFETCH(int, percent);
        QFETCH(uint, writtenBack);
        QVERIFY(BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, stored));
        QCOMPARE(GetMasterVolume(), percent);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_GVOL_STREAM), writtenBack);
        QCOMPARE(GetMasterVolume(), percent); // reading again changes nothing
    }

    void setMasterVolume_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<uint>("stored");
        QTest::addColumn<bool>("muted");

        QTest::newRow("mute") << 0 << 0u << true;
        QTest::newRow("half") << 50 << 5000u << false;
        QTest::newRow("above full") << 150 << 10000u << false;
        QTest::newRow("below zero") << -5 << 0u << true;
    }

    void setMasterVolume()
    {
        QFETCH(int, percent);
        QFETCH(uint, stored);
        QFETCH(bool, muted);
        SetMasterVolume(muted ? 70 : 0); // the flag must follow each call
        SetMasterVolume(percent);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_GVOL_STREAM), stored);
        QCOMPARE(IsMasterMuted(), muted);
        SetMasterVolume(100);
    }

    void errorText_data()
    {
        QTest::addColumn<Action>("failingCall"); // empty: the code is passed as it is
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");

        // clang-format off
        QTest::newRow("memory") << Action() << int(BASS_ERROR_MEM) << "Memory error";
        QTest::newRow("-1 has a row") << Action() << -1 << "Unknown Library Error";
        QTest::newRow("ended has none") << Action() << int(BASS_ERROR_ENDED) << "Unknown Library Error";
        QTest::newRow("out of range") << Action() << 9999 << "Unknown Library Error";
        // Code 0 reads the engine's last error.
        QTest::newRow("last: bad handle") << Action([] { BASS_ChannelPlay(0x7777, FALSE); }) << 0 << "Invalid handle";
        QTest::newRow("last: bad option") << Action([] { BASS_SetConfig(0x9999, 1); }) << 0 << "An illegal type was specified";
        QTest::newRow("last: missing file") << Action([] { BASS_StreamCreateFile(FALSE, "/nonexistent/tunora.mp3", 0, 0, 0); }) << 0 << "Can't open the file";
        QTest::newRow("last: no error") << Action([] { BASS_GetVersion(), BASS_GetCPU(); }) << 0 << "Unknown Library Error";
        // clang-format on
    }

    void errorText()
    {
        QFETCH(Action, failingCall);
        QFETCH(int, code);
        QFETCH(QString, message);
        if (failingCall)
            failingCall();
        QCOMPARE(BassErrorText(code), message);
    }

    void measuredBitrate_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<uint>("kbps");

        QTest::newRow("128000 bit/s") << quint64(16000) << 1.0 << 128u;
        QTest::newRow("below 1000 stays") << quint64(225) << 2.0 << 900u;
        QTest::newRow("truncated, not rounded") << quint64(16124) << 1.0 << 128u; // 128992
        QTest::newRow("nothing decoded yet") << quint64(16000) << 0.0 << 0u;
        QTest::newRow("nothing received") << quint64(0) << 1.0 << 0u;
        QTest::newRow("engine error") << quint64(16000) << -1.0 << 0u;
        QTest::newRow("not a number") << quint64(16000) << std::nan("") << 0u;
        QTest::newRow("infinite") << quint64(16000) << std::numeric_limits<double>::infinity() << 0u;
        QTest::newRow("absurd") << (quint64(1) << 62) << 1e-6 << 4294967295u;
    }

    void measuredBitrate()
    {
        QFETCH(quint64, bytes);
        QFETCH(double, seconds);
        QFETCH(uint, kbps);
        QCOMPARE(CBass::MeasuredBitrate(bytes, seconds), kbps);
    }

    // A preset reaches the engine as it is (a ratio below 1 means no compression); a second
    // preset changes the one effect instead of stacking another; a stop releases it.
    void compressorPresets_data()
    {
        QTest::addColumn<CompressorFactory>("make");
        QTest::newRow("low") << CompressorFactory([] { return std::make_unique<CBassCompressorLow>(); });
        QTest::newRow("medium") << CompressorFactory(
            [] { return std::make_unique<CBassCompressorMedium>(); });
        QTest::newRow("own, gain only") << CompressorFactory([] {
            auto c = std::make_unique<CCompressor>();
            c->SetGain(3.5f);
            return c;
        });
    }

    void compressorPresets()
    {
        QFETCH(CompressorFactory, make);
        const std::unique_ptr<CBassCompressor> compressor = make();
        const BASS_DX8_COMPRESSOR p = compressor->Parameters();
        TestBass bass;
        QVERIFY(!bass.SetCompressor(*compressor)); // no channel yet
        QVERIFY(bass.OpenFileForDecoding(makeMedia(Media::Wav, 0.5)));
        QVERIFY(bass.SetCompressor(*compressor));
        const HFX effect = bass.CompressorHandle();
        QVERIFY(effect != 0);
        BASS_DX8_COMPRESSOR held{};
        QVERIFY(bass.FXGetParameters(&held));
        QCOMPARE(held.fGain, p.fGain);
        if (p.fRatio >= 1) {
            QCOMPARE(
                (QList<float>{held.fAttack, held.fRelease, held.fThreshold, held.fRatio, held.fPredelay}),
                (QList<float>{p.fAttack, p.fRelease, p.fThreshold, p.fRatio, p.fPredelay}));
        } else {
            QCOMPARE(held.fRatio, 1.0f);
        }
        CBassCompressorHigh high;
        QVERIFY(bass.SetCompressor(high));
        QCOMPARE(bass.CompressorHandle(), effect);
        QVERIFY(bass.FXGetParameters(&held));
        QCOMPARE(held.fGain, high.Parameters().fGain);
        QVERIFY(bass.Stop(0));
        QCOMPARE(bass.CompressorHandle(), HFX(0));
        QVERIFY(!bass.FXGetParameters(&held));
    }

    void compressorGainIsHeard()
    {
        QString error;
        Media::Recipe quiet;
        quiet.format = Media::Wav;
        quiet.seconds = 0.5;
        quiet.left = QStringLiteral("0.25*sin(2*PI*440*t)");
        const QString path = Media::make(quiet, &error);
        QVERIFY2(!path.isEmpty(), qPrintable(error));

        TestBass plain;
        QVERIFY(plain.OpenFileForDecoding(path));
        const float before = peakOfChannel(plain.Handle());
        QVERIFY(std::abs(before - 0.25f) < 0.01f);

        TestBass boosted;
        QVERIFY(boosted.OpenFileForDecoding(path));
        CCompressor sixDb;
        sixDb.SetGain(6.0206f);
        QVERIFY(boosted.SetCompressor(sixDb));
        const float after = peakOfChannel(boosted.Handle());
        QVERIFY2(std::abs(after - 0.5f) < 0.02f, qPrintable(QString::number(after)));
    }

    void connectErrorText_data()
    {
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("tags");
        QTest::addColumn<bool>("ask");
        QTest::addColumn<QStringList>("contains");
        QTest::addColumn<QStringList>("absent");

        const QString x4096(4096, QLatin1Char('x'));
        // clang-format off
        QTest::newRow("plain") << "Radio One" << "http://r1.example/live" << "ICY 404 Not Found\nicy-name: R1\n" << false
            << QStringList{u"<b>Station</b>: Radio One<br>"_s, u"<b>URL</b>: http://r1.example/live<br>"_s,
                           u"<b>Tags</b>: ICY 404 Not Found<br>icy-name: R1<br>"_s, u"<b>Reason</b>: Connection timed out<br>"_s}
            << QStringList{u"report it"_s};
        QTest::newRow("asks") << "R" << "http://x/" << "" << true << QStringList{u"<br><br>Would you like to report it?</html>"_s} << QStringList();
        QTest::newRow("markup in the station name") << "<b>Rock</b> & <i>Roll</i>" << "http://x/" << "" << false
            << QStringList{u"&lt;b&gt;Rock&lt;/b&gt; &amp; &lt;i&gt;Roll&lt;/i&gt;"_s} << QStringList{u"<i>"_s};
        QTest::newRow("script in the headers") << "R" << "http://x/" << "icy-name: <img src=x onerror=alert(1)>\nicy-url: \"a\"&'b'\n" << false
            << QStringList{u"&lt;img src=x onerror=alert(1)&gt;"_s, u"&quot;a&quot;&amp;'b'"_s} << QStringList{u"<img"_s};
        QTest::newRow("markup in the address") << "R" << "http://x/<script>alert(1)</script>?a=1&b=2" << "" << false
            << QStringList{u"http://x/&lt;script&gt;alert(1)&lt;/script&gt;?a=1&amp;b=2"_s} << QStringList{u"<script"_s};
        QTest::newRow("huge headers are cut") << "R" << "http://x/" << QString(100000, QLatin1Char('x')) << false
            << QStringList{x4096 + u"…<br>"_s} << QStringList{x4096 + u"x"_s};
        // clang-format on
    }

    void connectErrorText()
    {
        QFETCH(QString, station);
        QFETCH(QString, url);
        QFETCH(QString, tags);
        QFETCH(bool, ask);
        QFETCH(QStringList, contains);
        QFETCH(QStringList, absent);
        TestBass bass;
        Station record;
        record.setName(station);
        bass.SetStation(record);
        bass.setReportState(BassErrorText(BASS_ERROR_TIMEOUT), url, tags);
        const QString text = bass.ConnectErrorText(ask);
        QVERIFY(text.startsWith(QLatin1String("<html><b>Error</b>: Failed to connect at this time<br>")));
        QVERIFY(text.endsWith(QLatin1String("</html>")));
        for (const QString &part : contains)
            QVERIFY2(text.contains(part), qPrintable(text.left(500)));
        for (const QString &part : absent)
            QVERIFY2(!text.contains(part), qPrintable(text.left(500)));
    }

    void reportConnectErrorAsks_data()
    {
        QTest::addColumn<bool>("ask");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("answer");

        QTest::newRow("yes") << true << int(QMessageBox::Yes) << true;
        QTest::newRow("no") << true << int(QMessageBox::No) << false;
        QTest::newRow("warning only") << false << int(QMessageBox::Ok) << false;
    }

    void reportConnectErrorAsks()
    {
        QFETCH(bool, ask);
        QFETCH(int, button);
        QFETCH(bool, answer);
        TestBass bass;
        Station record;
        record.setName(QStringLiteral("<Radio>"));
        bass.SetStation(record);
        QString shown;
        bool shownAsQuestion = false;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            shown = box->text();
            shownAsQuestion = box->button(QMessageBox::Yes) != nullptr;
            box->button(QMessageBox::StandardButton(button))->click();
        });
        QCOMPARE(bass.ReportConnectError(ask), answer);
        QCOMPARE(shown, bass.ConnectErrorText(ask));
        QVERIFY(shown.contains(QLatin1String("&lt;Radio&gt;")));
        QCOMPARE(shownAsQuestion, ask);
    }

    void openFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<UIntList>("creators");
        QTest::addColumn<int>("error");

        QTest::newRow("mp3") << makeMedia(Media::Mp3) << UIntList{CreatorPlain} << 0;
        QTest::newRow("ogg vorbis") << makeMedia(Media::Vorbis) << UIntList{CreatorPlain} << 0;
        QTest::newRow("wma") << makeMedia(Media::Wma) << UIntList{CreatorPlain, CreatorWma} << 0;
        QTest::newRow("aac") << makeMedia(Media::Aac) << UIntList{CreatorPlain, CreatorWma, CreatorAac} << 0;
        QTest::newRow("mp4") << makeMedia(Media::M4a)
                             << UIntList{CreatorPlain, CreatorWma, CreatorAac, CreatorMp4} << 0;
        QTest::newRow("flac") << makeMedia(Media::Flac)
                              << UIntList{CreatorPlain, CreatorWma, CreatorAac, CreatorMp4, CreatorFlac} << 0;
        const UIntList all{CreatorPlain, CreatorWma, CreatorAac, CreatorMp4, CreatorFlac};
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("missing.mp3")) << all
                                 << BASS_ERROR_FILEOPEN;
        QFile text(m_dir.filePath(QStringLiteral("notes.mp3")));
        if (text.open(QIODevice::WriteOnly))
            text.write(QByteArray(20000, 'n'));
        text.close();
        QTest::newRow("not audio") << text.fileName() << all << BASS_ERROR_FILEFORM;
        const QString unicode = m_dir.filePath(QStringLiteral("Müsli ☕ – 'Лето'.mp3"));
        QFile::copy(makeMedia(Media::Mp3), unicode);
        QTest::newRow("name beyond ASCII") << unicode << UIntList{CreatorPlain} << 0;
    }

    void openFile()
    {
        QFETCH(QString, path);
        QFETCH(UIntList, creators);
        QFETCH(int, error);
        TestBass bass;
        bass.SetFadeTimes(0, 0);
        const bool opened = bass.OpenFile(path, 0, true);
        QCOMPARE(opened, error == 0);
        QCOMPARE(bass.params(EventConnecting), creators);
        QCOMPARE(bass.CurrentUrlText(), path);
        QVERIFY(bass.IsLocalFile());
        if (!opened) {
            QCOMPARE(bass.Handle(), HSTREAM(0));
            QCOMPARE(bass.GetLastErrorCode(), error);
            QCOMPARE(bass.GetErrorText(), BassErrorText(error));
            QCOMPARE(bass.count(EventPlaying), 0);
            return;
        }
        QCOMPARE(bass.GetLastErrorCode(), 0);
        QVERIFY(bass.GetErrorText().isEmpty());
        QCOMPARE(bass.count(EventPlaying), 1);
        QVERIFY(bass.IsPlaying());
        QVERIFY(bass.preBuffered());

        // A stop releases the channel, also one made without AUTOFREE.
        const HSTREAM handle = bass.Handle();
        QVERIFY(bass.Stop(0));
        QCOMPARE(bass.Handle(), HSTREAM(0));
        QCOMPARE(bass.messages().last(), uint(EventStopped));
        QCOMPARE(BASS_ChannelIsActive(handle), DWORD(BASS_ACTIVE_STOPPED));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        QVERIFY(!bass.Stop(0)); // nothing left to stop
        QCOMPARE(bass.count(EventStopped), 1);
    }

    void openFileWithoutPlaying()
    {
        TestBass bass;
        QVERIFY(bass.OpenFile(makeMedia(Media::Mp3), 0, false));
        QVERIFY(bass.HasChannel());
        QCOMPARE(bass.count(EventPlaying), 0);
        QVERIFY(!bass.IsPlaying());
        // A second open replaces the channel: the first one is stopped and released.
        const HSTREAM first = bass.Handle();
        QVERIFY(bass.OpenFile(makeMedia(Media::Wav), 0, false));
        QVERIFY(bass.Handle() != first);
        QCOMPARE(bass.count(EventStopped), 1);
        QCOMPARE(BASS_ChannelIsActive(first), DWORD(BASS_ACTIVE_STOPPED));
        QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    }

    void openFileForDecoding_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<uint>("notification");

        QTest::newRow("flac") << makeMedia(Media::Flac) << true << uint(EventPlaying);
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("none.wav")) << false << uint(EventStopped);
    }

    void openFileForDecoding()
    {
        QFETCH(QString, path);
        QFETCH(bool, opened);
        QFETCH(uint, notification);
        TestBass bass;
        QCOMPARE(bass.OpenFileForDecoding(path), opened);
        QCOMPARE(bass.messages().last(), notification);
        if (!opened)
            return;
        BASS_CHANNELINFO info{};
        QVERIFY(bass.ChannelGetInfo(&info));
        QVERIFY(info.flags & BASS_STREAM_DECODE);
        QVERIFY(info.flags & BASS_SAMPLE_FLOAT);
        QCOMPARE(bass.count(EventConnecting), bass.params(EventConnecting).size());
        QVERIFY(peakOfChannel(bass.Handle()) > 0.4f); // decoded, not played
        QVERIFY(!bass.IsPlaying());
    }

    // The waits of Play and Stop keep the GUI thread serving its events: a timer sampling the
    // volume runs throughout and sees it rise, then fall.
    void fadeInAndOut()
    {
        TestBass bass;
        QVERIFY(bass.OpenFile(makeMedia(Media::Wav, 5.0), 0, false));
        QList<float> volumes;
        QTimer sampler;
        sampler.setInterval(40);
        connect(&sampler, &QTimer::timeout, this, [&] {
            float v = -1;
            if (bass.ChannelGetAttribute(BASS_ATTRIB_VOL, &v))
                volumes.append(v);
        });
        sampler.start();
        // Where the samples fall depends on how busy the machine is; what must hold is the shape:
        // the volume only rises during the fade-in, from below where it ends, and ends near full;
        // it only falls during the fade-out.
        QVERIFY(bass.Play(800));
        const QList<float> rising = volumes;
        float now = 0;
        QVERIFY(bass.ChannelGetAttribute(BASS_ATTRIB_VOL, &now));
        QVERIFY2(now > 0.85f, qPrintable(QString::number(now)));
        QVERIFY2(rising.size() >= 2, qPrintable(QString::number(rising.size())));
        QVERIFY(rising.first() < now);
        for (qsizetype i = 1; i < rising.size(); ++i)
            QVERIFY(rising[i] >= rising[i - 1]);
        QVERIFY(bass.IsPlaying());

        volumes.clear();
        QVERIFY(bass.Stop(800));
        sampler.stop();
        QVERIFY2(volumes.size() >= 2, qPrintable(QString::number(volumes.size())));
        QVERIFY(volumes.last() < volumes.first());
        for (qsizetype i = 1; i < volumes.size(); ++i)
            QVERIFY(volumes[i] <= volumes[i - 1]);
        QCOMPARE(bass.Handle(), HSTREAM(0));
        QCOMPARE(bass.messages(), (UIntList{EventConnecting, EventStopped}));
    }

    void pauseAndResume()
    {
        TestBass bass;
        bass.SetFadeTimes(0, 0);
        QVERIFY(bass.OpenFile(makeMedia(Media::Wav, 5.0), 0, true));
        QVERIFY(bass.Pause());
        QVERIFY(bass.IsPaused());
        QVERIFY(bass.IsPausedByUser());
        QVERIFY(!bass.IsMuteMarked());
        QVERIFY(bass.Resume());
        QVERIFY(bass.IsPlaying());
        QVERIFY(!bass.IsPausedByUser());
        QVERIFY(bass.IsMuteMarked());
        QVERIFY(bass.Stop(0));
        QVERIFY(!bass.IsMuteMarked());
        QVERIFY(!bass.Pause());
        QVERIFY(!bass.Resume());
    }

    void withoutChannelNothingIsCalled()
    {
        TestBass bass;
        QVERIFY(!bass.Play(100));
        QVERIFY(!bass.Stop(100));
        QVERIFY(!bass.WaitForPreBuffer());
        QCOMPARE(bass.BufferFillPercent(), -1);
        QCOMPARE(bass.ChannelGetPosition(), QWORD(0));
        QCOMPARE(bass.ChannelGetLevel(), DWORD(0));
        QVERIFY(!bass.ChannelSetAttribute(BASS_ATTRIB_VOL, 0.5f));
        QCOMPARE(bass.ChannelGetTags(BASS_TAG_ICY), nullptr);
        QVERIFY(!bass.SetDsp(0));
        bass.UpdateMeasuredBitrate();
        QCOMPARE(bass.StationBitrate(), 0u);
        QVERIFY(bass.events().isEmpty());
    }

    void resetClearsTheChannelState()
    {
        TestBass bass;
        Station record;
        record.setLocation(QStringLiteral("Sofia, Bulgaria"));
        bass.SetStation(record);
        bass.SetRetries(3);
        bass.SetMessengerEnabled(true);
        QVERIFY(bass.OpenFile(makeMedia(Media::Mp3), 0, false));
        bass.setRecording(false, true);
        bass.RequestAbort();
        QCOMPARE(QByteArray(bass.GetCodePageName()), QByteArray("Windows-1251"));

        bass.Reset();
        QCOMPARE(bass.Handle(), HSTREAM(0));
        QCOMPARE(bass.count(EventStopped), 1);
        QCOMPARE(bass.GetCodePageName(), nullptr);
        QCOMPARE(bass.Retries(), 0);
        QVERIFY(!bass.IsAborting());
        QVERIFY(!bass.IsLocalFile());
        QVERIFY(!bass.IsRecordingArmed());
        QVERIFY(bass.CurrentUrlText().isEmpty());
        QVERIFY(bass.IsMessengerEnabled()); // a setting, not channel state
    }

    void stopRecording_data()
    {
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("armed");
        QTest::addColumn<bool>("raised");

        QTest::newRow("nothing recorded") << false << false << false;
        QTest::newRow("armed") << false << true << true;
        QTest::newRow("active") << true << false << true;
    }

    void stopRecording()
    {
        QFETCH(bool, active);
        QFETCH(bool, armed);
        QFETCH(bool, raised);
        TestBass bass;
        bass.setRecording(active, armed);
        bass.StopRecording();
        QCOMPARE(bass.count(EventRecordingStopped), raised ? 1 : 0);
        QVERIFY(!bass.IsRecording());
        QVERIFY(!bass.IsRecordingArmed());
        QVERIFY(!bass.IsEncoding());
    }

    void writeFailures_data()
    {
        QTest::addColumn<qint32>("format");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<UIntList>("events");
        QTest::addColumn<int>("writes");

        const UIntList failed{EventRecordingFailed, EventRecordingStopped};
        QTest::newRow("three failures in a row")
            << qint32(RecordStreamData) << QByteArray("fff") << 3 << failed << 3;
        QTest::newRow("two are tolerated")
            << qint32(RecordStreamData) << QByteArray("fft") << 3 << UIntList() << 3;
        QTest::newRow("a success resets the count")
            << qint32(RecordStreamData) << QByteArray("fftfft") << 6 << UIntList() << 6;
        QTest::newRow("nothing written after the stop")
            << qint32(RecordStreamData) << QByteArray("ffff") << 5 << failed << 3;
        QTest::newRow("encoders take decoded audio, not bytes")
            << qint32(RecordMp3) << QByteArray("fff") << 3 << UIntList() << 0;
    }

    void writeFailures()
    {
        QFETCH(qint32, format);
        QFETCH(QByteArray, answers);
        QFETCH(int, blocks);
        QFETCH(UIntList, events);
        QFETCH(int, writes);
        TestBass bass;
        bass.setRecording(true, false, format);
        bass.scriptWrites(answers);
        const char data[16] = {};
        for (int i = 0; i < blocks; ++i)
            bass.OnStreamData(data, sizeof data);
        QCOMPARE(bass.messages(), events);
        QCOMPARE(bass.writes(), writes);
    }

    void reportRecordingError_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<quint32>("quiet");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("shown");

        // clang-format off
        QTest::newRow("internal") << 0 << QString() << 0u << "Internal Error" << true;
        QTest::newRow("engine: its last error") << 1 << QString() << 0u << "Can't open the file" << true;
        QTest::newRow("encoder") << 2 << "/opt/lame" << 0u << "Recording failed: Missing encoder \n/opt/lame" << true;
        QTest::newRow("create") << 3 << "/tmp/a.mp3" << 0u << "Recording failed: Unable to create output file\n/tmp/a.mp3" << true;
        QTest::newRow("other") << 9 << QString() << 0u << "Unknown Error" << true;
        QTest::newRow("quiet station") << 4 << QString() << 1u << "Recording failed: Unable to write to disk" << false;
        // clang-format on
    }

    void reportRecordingError()
    {
        QFETCH(int, code);
        QFETCH(QString, detail);
        QFETCH(quint32, quiet);
        QFETCH(QString, text);
        QFETCH(bool, shown);
        TestBass bass;
        Station record;
        record.setQuietErrors(quiet);
        bass.SetStation(record);
        bass.OpenFile(m_dir.filePath(QStringLiteral("absent.mp3")), 0, false); // error 2 for code 1
        bass.ReportRecordingError(code, detail);
        const auto messages = bass.shownMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].first, text);
        QCOMPARE(messages[0].second, shown);
    }
};

TUNORA_TEST_MAIN(TestCBass)
#include "tst_cbass.moc"
