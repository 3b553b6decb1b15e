// The engine wrapper: pause and reset of a playing channel, calls without a channel, a recording
// whose writes fail, start-up options, and against scripted servers on 127.0.0.1 the order in which
// the stream creators are tried and what each address form reaches, the pre-buffer, desktop
// now-playing.

#include "audioengine.h"
#include "bassinit.h"
#include "cbasstest.h"
#include "media.h"
#include "mpris.h"
#include "net.h"
#include "scriptedserver.h"
#include "testmain.h"

#include <QFile>
#include <QScopeGuard>

using namespace BASS;
using TunoraTest::Media;
using TunoraTest::ScriptedServer;
using TunoraTest::TestBass;
using Handler = ScriptedServer::Handler;
using Script = ScriptedServer::Script;
using UIntList = QList<uint>;

Q_DECLARE_METATYPE(Handler)

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray media(Media::Format format, double seconds, const QStringList &extra = {})
{
    Media::Recipe recipe;
    recipe.format = format;
    recipe.seconds = seconds;
    recipe.rate = Media::defaultRate(format);
    recipe.right = QStringLiteral("0.5*sin(2*PI*660*t)");
    recipe.extra = extra;
    QString error;
    const QByteArray bytes = readFile(Media::make(recipe, &error));
    if (bytes.isEmpty())
        qWarning() << "cannot make test audio:" << error;
    return bytes;
}

QByteArray icyHeader(const QList<QByteArray> &extra = {})
{
    QList<QByteArray> lines{"Content-Type: audio/mpeg", "icy-name: Test Radio", "icy-genre: Tests",
                            "icy-br: 128"};
    return ScriptedServer::header("ICY 200 OK", lines + extra);
}

// Every connection gets the header and the body at once, then a silent open connection (so that
// the engine does not reconnect when the body ends).
Handler serve(const QByteArray &header, const QByteArray &body)
{
    return [header, body](int, const QByteArray &) {
        return Script{ScriptedServer::send(header + body), ScriptedServer::hold()};
    };
}

Handler serveAudio(const QByteArray &contentType, const QByteArray &body)
{
    return serve(ScriptedServer::header("HTTP/1.0 200 OK", {"Content-Type: " + contentType}), body);
}

Handler notFound()
{
    return [](int, const QByteArray &) {
        return Script{ScriptedServer::send(ScriptedServer::header("HTTP/1.0 404 Not Found")),
                      ScriptedServer::close()};
    };
}

Handler silent()
{
    return [](int, const QByteArray &) { return Script{ScriptedServer::hold()}; };
}

// A stream that never fills its buffer: the header, a little audio, then 1000 bytes a second.
Handler trickle(const QByteArray &audio)
{
    return [audio](int, const QByteArray &) {
        return Script{ScriptedServer::send(icyHeader() + audio.left(4000)),
                      ScriptedServer::stream(audio.mid(4000), 100, 100)};
    };
}

// Audio with ICY metadata every `metaint` bytes: blocks[i] follows interval i; later intervals
// carry an empty block.
QByteArray withMetadata(const QByteArray &audio, int metaint, const QList<QByteArray> &blocks)
{
    QByteArray out;
    int interval = 0;
    for (qsizetype at = 0; at + metaint <= audio.size(); at += metaint, ++interval) {
        out += audio.mid(at, metaint);
        const QByteArray block = interval < blocks.size() ? blocks[interval] : QByteArray();
        const int length = int((block.size() + 15) / 16);
        out += char(length);
        out += block + QByteArray(length * 16 - block.size(), '\0');
    }
    return out;
}

QByteArray requestPath(const QByteArray &request)
{
    const QList<QByteArray> words = request.left(request.indexOf('\r')).split(' ');
    return words.size() >= 2 ? words[1] : QByteArray();
}

} // namespace

class TestCBass : public QObject
{
    Q_OBJECT

    QByteArray m_mp3; // 10 s, 128 kbit/s, no tags
    QByteArray m_wma;
    QByteArray m_flac;
    ScriptedServer m_server;

    QString address(const QString &pattern) const
    {
        return QString(pattern).replace(QLatin1String("%1"),
                                        QStringLiteral("127.0.0.1:%1").arg(m_server.port()));
    }

    // The channel plays: it announced itself, the engine says so, a stop releases it.
    void checkPlayingThenStop(TestBass &bass)
    {
        QCOMPARE(bass.count(EventPlaying), 1);
        QVERIFY(bass.HasChannel());
        QVERIFY(bass.IsPlaying() || bass.IsStalled());
        // Every creator announcement came before the channel started.
        const QList<uint> messages = bass.messages();
        QVERIFY(messages.lastIndexOf(EventConnecting) < messages.indexOf(EventPlaying));
        QVERIFY(bass.Stop(0));
        QCOMPARE(bass.messages().last(), uint(EventStopped));
    }

private slots:
    void initTestCase()
    {
        m_mp3 = media(Media::Mp3, 10,
                      {QStringLiteral("-write_xing"), QStringLiteral("0"), QStringLiteral("-id3v2_version"),
                       QStringLiteral("0")});
        m_wma = media(Media::Wma, 3);
        m_flac = media(Media::Flac, 2);
        for (const QByteArray *bytes : {&m_mp3, &m_wma, &m_flac})
            QVERIFY(!bytes->isEmpty());
        // The no-sound output; a 1 s time-out and a 1 s network buffer keep the tests short.
        QString error;
        QVERIFY2(InitAudioEngine(&error, 1, true, 1000, "Tunora/1.02", nullptr, 0), qPrintable(error));
    }

    void cleanupTestCase() { BASS_Free(); }

    void cleanup() { m_server.stop(); }

    void creators_data()
    {
        QTest::addColumn<Handler>("handler");
        QTest::addColumn<QString>("url");
        QTest::addColumn<UIntList>("creators");
        QTest::addColumn<int>("error"); // 0: opens
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("connections");

        const Handler mp3 = serveAudio("audio/mpeg", m_mp3);
        const UIntList all{CreatorPlain, CreatorAac, CreatorMp4, CreatorWma, CreatorFlac};
        // clang-format off
        QTest::newRow("flac last") << serveAudio("audio/flac", m_flac) << "http://%1/live" << all << 0 << QByteArray("/live") << 1;
        QTest::newRow("not found: every creator, one request") << notFound() << "http://%1/live" << all << BASS_ERROR_FILEOPEN << QByteArray("/live") << 1;
        QTest::newRow("time-out ends the pass") << silent() << "http://%1/live" << UIntList{CreatorPlain} << BASS_ERROR_TIMEOUT << QByteArray("/live") << 1;
        QTest::newRow(".wma only to the wma creator") << serveAudio("video/x-ms-asf", m_wma) << "http://%1/radio.wma" << UIntList{CreatorWma} << 0 << QByteArray("/radio.wma") << 1;
        QTest::newRow(".wma that is no wma: no second try") << mp3 << "http://%1/radio.WMA" << UIntList{CreatorWma} << BASS_ERROR_FILEFORM << QByteArray("/radio.WMA") << 1;
        QTest::newRow(".wma not found: tried twice") << notFound() << "http://%1/radio.wma" << UIntList{CreatorWma, CreatorWma} << BASS_ERROR_FILEOPEN << QByteArray("/radio.wma") << 1;
        // The first try speaks RTSP to the server (which answers in HTTP), the second HTTP.
        QTest::newRow("rtsp as wma, then over http") << serveAudio("video/x-ms-asf", m_wma) << "rtsp://%1/live" << UIntList{CreatorWma, CreatorWma} << 0 << QByteArray("/live") << 2;
        QTest::newRow("icyx is http") << mp3 << "icyx://%1/live" << UIntList{CreatorPlain} << 0 << QByteArray("/live") << 1;
        QTest::newRow("backslashes become slashes") << mp3 << "http://%1\\radio\\live" << UIntList{CreatorPlain} << 0 << QByteArray("/radio/live") << 1;
        QTest::newRow("address beyond ASCII") << mp3 << QStringLiteral("http://%1/радио?q=é") << UIntList{CreatorPlain} << 0 << QByteArray("/%D1%80%D0%B0%D0%B4%D0%B8%D0%BE?q=%C3%A9") << 1;
        // clang-format on
    }

    void creators()
    {
        QFETCH(Handler, handler);
        QFETCH(QString, url);
        QFETCH(UIntList, creators);
        QFETCH(int, error);
        QFETCH(QByteArray, path);
        QFETCH(int, connections);
        QVERIFY(m_server.start(handler));
        TestBass bass;
        bass.SetFadeTimes(0, 0);
        const QString opened = address(url);
        QCOMPARE(bass.OpenURL(opened, 0), error == 0);
        QCOMPARE(bass.params(EventConnecting), creators);
        QVERIFY(!bass.IsLocalFile());
        QCOMPARE(m_server.connections(), connections);
        if (url.startsWith(QLatin1String("rtsp"), Qt::CaseInsensitive))
            QVERIFY(m_server.requests().value(0).contains(" RTSP/1.0\r\n"));
        // The request the channel was made from.
        if (connections > 0)
            QCOMPARE(requestPath(m_server.requests().value(connections - 1)), path);
        if (error != 0) {
            QCOMPARE(bass.Handle(), HSTREAM(0));
            QCOMPARE(bass.GetLastErrorCode(), error);
            QCOMPARE(bass.GetErrorText(), BassErrorText(error));
            QCOMPARE(bass.count(EventPlaying), 0);
            QCOMPARE(bass.count(EventConnectAborted), 0);
            return;
        }
        QVERIFY(bass.GetErrorText().isEmpty());
        if (url.startsWith(QLatin1String("icyx")))
            QCOMPARE(bass.CurrentUrlText(), address(QStringLiteral("http://%1/live")));
        checkPlayingThenStop(bass);
    }

    void mmsNeverReachesTheOtherCreators()
    {
        const quint16 closed = TunoraTest::freeTcpPort();
        TestBass bass;
        QVERIFY(!bass.OpenURL(QStringLiteral("mms://127.0.0.1:%1/live").arg(closed), 0));
        QCOMPARE(bass.params(EventConnecting), (UIntList{CreatorWma, CreatorWma}));
        QVERIFY(bass.GetLastErrorCode() != 0);
        QVERIFY(!bass.GetErrorText().isEmpty());
    }

    void preBuffer_data()
    {
        QTest::addColumn<Handler>("handler");
        QTest::addColumn<bool>("filled");
        QTest::addColumn<int>("atLeastMs");

        QTest::newRow("burst fills it") << serve(icyHeader(), m_mp3) << true << 0;
        QTest::newRow("a trickle gives up after the rounds")
            << trickle(m_mp3) << false << (CBass::PreBufferRounds - 8) * CBass::PreBufferRoundMs;
    }

    void preBuffer()
    {
        QFETCH(Handler, handler);
        QFETCH(bool, filled);
        QFETCH(int, atLeastMs);
        QVERIFY(m_server.start(handler));
        TestBass bass;
        bass.SetFadeTimes(0, 0);
        QVERIFY(bass.OpenURL(QString::fromLatin1(m_server.url("/live")), 0));
        QCOMPARE(bass.preBuffered(), filled);
        if (filled)
            QVERIFY2(bass.fillAfterPreBuffer() > CBass::PreBufferPercent,
                     qPrintable(QString::number(bass.fillAfterPreBuffer())));
        else
            QVERIFY(bass.fillAfterPreBuffer() <= CBass::PreBufferPercent);
        const qint64 waited = bass.timeOf(EventPlaying) - bass.timeOf(EventConnecting);
        QVERIFY2(waited >= atLeastMs, qPrintable(QString::number(waited)));
        checkPlayingThenStop(bass);
    }

    // A title heard on the channel reaches the desktop's now-playing through the publisher, in the
    // listener's template; a pause and a stop reach it too.
    void nowPlaying()
    {
        MprisPlayer player;
        CBass::SetNowPlayingPublisher(&player);
        const auto unset = qScopeGuard([] { CBass::SetNowPlayingPublisher(nullptr); });
        const int metaint = 4000;
        QVERIFY(m_server.start(
            serve(icyHeader({"icy-metaint: " + QByteArray::number(metaint)}),
                  withMetadata(m_mp3, metaint, {"StreamTitle='Artist &amp; Co - Song';StreamUrl='';"}))));
        TestBass bass;
        bass.SetFadeTimes(0, 0);
        Station station;
        station.setName(QStringLiteral("Радио <Test>"));
        bass.SetStation(station);
        bass.SetMessengerTemplate(QStringLiteral("%station% | %track% | %url%"));
        bass.SetMessengerEnabled(true);
        const QString url = QString::fromLatin1(m_server.url("/live"));
        QVERIFY(bass.OpenURL(url, 0));
        QVERIFY(bass.waitFor(EventTitleChanged));
        QTRY_VERIFY(!player.metadata().isEmpty());
        const QVariantMap published = player.metadata();
        QCOMPARE(published.value(QStringLiteral("xesam:title")).toString(),
                 QStringLiteral("Радио <Test> | Artist & Co - Song | ") + url);
        QCOMPARE(published.value(QStringLiteral("xesam:artist")).toStringList(),
                 QStringList{QStringLiteral("Artist & Co")});
        QCOMPARE(published.value(QStringLiteral("xesam:album")).toString(), QStringLiteral("Радио <Test>"));
        QCOMPARE(player.playbackStatusText(), QStringLiteral("Playing"));
        QVERIFY(bass.Pause());
        QTRY_COMPARE(player.playbackStatusText(), QStringLiteral("Paused"));
        QVERIFY(bass.Stop(0));
        QTRY_VERIFY(player.metadata().isEmpty());
        QTRY_COMPARE(player.playbackStatusText(), QStringLiteral("Stopped"));
    }

    void pauseAndResume()
    {
        TestBass bass;
        bass.SetFadeTimes(0, 0);
        QVERIFY(bass.OpenFile(Media::tone(Media::Wav, 5.0), 0, true));
        QVERIFY(bass.Pause());
        QVERIFY(bass.IsPaused());
        QVERIFY(bass.Resume());
        QVERIFY(bass.IsPlaying());
        QVERIFY(bass.Stop(0));
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
        QCOMPARE(bass.ChannelGetLevel(), DWORD(0));
        QCOMPARE(bass.ChannelGetTags(BASS_TAG_ICY), nullptr);
        QVERIFY(!bass.SetDsp(0));
        bass.UpdateMeasuredBitrate();
        QVERIFY(bass.messages().isEmpty());
    }

    void resetClearsTheChannelState()
    {
        TestBass bass;
        Station record;
        record.setLocation(QStringLiteral("Sofia, Bulgaria"));
        bass.SetStation(record);
        bass.SetRetries(3);
        bass.SetMessengerEnabled(true);
        QVERIFY(bass.OpenFile(Media::tone(Media::Mp3, 2.0), 0, false));
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

    // Last, as it starts the engine again with other options. The network options reach the
    // engine, also on a second start (which reports itself); a zero time-out and no agent keep the
    // engine's.
    void initAudioEngineOptions()
    {
        QString error;
        QVERIFY(!InitAudioEngine(&error, 7, false, 3000, "Agent/2", "user:pw@127.0.0.1:3128", 0));
        QCOMPARE(error, QStringLiteral("Already initialized/paused/etc"));
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_TIMEOUT), 7000u);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_PLAYLIST), 0u);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_BUFFER), 3000u);
        QCOMPARE(QByteArray(static_cast<const char *>(BASS_GetConfigPtr(BASS_CONFIG_NET_AGENT))), "Agent/2");
        QCOMPARE(QByteArray(static_cast<const char *>(BASS_GetConfigPtr(BASS_CONFIG_NET_PROXY))),
                 "user:pw@127.0.0.1:3128");
        BASS_SetConfigPtr(BASS_CONFIG_NET_PROXY, nullptr);

        BASS_Free();
        BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 75);
        QVERIFY(InitAudioEngine(nullptr, 0, true, 0, nullptr, nullptr, 0));
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_TIMEOUT), 7000u);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_PLAYLIST), 2u);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_NET_PREBUF), 0u);
        QCOMPARE(BASS_GetConfig(BASS_CONFIG_FLOATDSP), 1u);
        QCOMPARE(QByteArray(static_cast<const char *>(BASS_GetConfigPtr(BASS_CONFIG_NET_AGENT))), "Agent/2");
    }
};

TUNORA_TEST_MAIN_CORE(TestCBass)
#include "tst_cbass.moc"
