// The engine wrapper against scripted servers on 127.0.0.1: creator order, address lists, aborts,
// the pre-buffer, the measured bit rate, titles in the station's code page, desktop now-playing.

#include "bassinit.h"
#include "cbasstest.h"
#include "media.h"
#include "mpris.h"
#include "net.h"
#include "scriptedserver.h"
#include "testmain.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

using namespace BASS;
using TunoraTest::Media;
using TunoraTest::ScriptedServer;
using TunoraTest::TestBass;
using Handler = ScriptedServer::Handler;
using Script = ScriptedServer::Script;
using UIntList = QList<uint>;
using AbortWhen = std::function<bool(const TestBass &)>;

Q_DECLARE_METATYPE(Handler)
Q_DECLARE_METATYPE(AbortWhen)

namespace {

constexpr int BytesPerSecond = 16000; // the 128 kbit/s test stream

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

QByteArray encoded(const char *codePage, const QString &text)
{
    QStringEncoder encoder(codePage);
    return encoder.encode(text);
}

QByteArray titleBlock(const QByteArray &title)
{
    return "StreamTitle='" + title + "';StreamUrl='';";
}

// How much of the stream the channel has played, in milliseconds.
int playedMs(const TestBass &bass)
{
    return int(bass.Bytes2Seconds(bass.ChannelGetPosition()) * 1000);
}

QByteArray requestPath(const QByteArray &request)
{
    const QList<QByteArray> words = request.left(request.indexOf('\r')).split(' ');
    return words.size() >= 2 ? words[1] : QByteArray();
}

// A variant as it arrives from the bus, with maps and string lists unpacked.
QVariant unpack(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return unpack(value.value<QDBusVariant>().variant());
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentType() == QDBusArgument::MapType) {
            QVariantMap map = qdbus_cast<QVariantMap>(argument);
            for (auto it = map.begin(); it != map.end(); ++it)
                it.value() = unpack(it.value());
            return map;
        }
        if (argument.currentSignature() == QLatin1String("as"))
            return qdbus_cast<QStringList>(argument);
    }
    return value;
}

} // namespace

class TestCBassOpen : public QObject
{
    Q_OBJECT

    QByteArray m_mp3; // 10 s, 128 kbit/s, no tags
    QByteArray m_aac;
    QByteArray m_m4a;
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
        m_aac = media(Media::Aac, 10);
        m_m4a = media(Media::M4a, 3, {QStringLiteral("-movflags"), QStringLiteral("+faststart")});
        m_wma = media(Media::Wma, 3);
        m_flac = media(Media::Flac, 2);
        for (const QByteArray *bytes : {&m_mp3, &m_aac, &m_m4a, &m_wma, &m_flac})
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
        QTest::newRow("mp3") << mp3 << "http://%1/live" << UIntList{CreatorPlain} << 0 << QByteArray("/live") << 1;
        QTest::newRow("aac after the plain creator") << serveAudio("audio/aac", m_aac) << "http://%1/live" << UIntList{CreatorPlain, CreatorAac} << 0 << QByteArray("/live") << 1;
        QTest::newRow("mp4 after aac") << serveAudio("audio/mp4", m_m4a) << "http://%1/live" << UIntList{CreatorPlain, CreatorAac, CreatorMp4} << 0 << QByteArray("/live") << 1;
        QTest::newRow("wma after mp4") << serveAudio("video/x-ms-asf", m_wma) << "http://%1/live" << UIntList{CreatorPlain, CreatorAac, CreatorMp4, CreatorWma} << 0 << QByteArray("/live") << 1;
        QTest::newRow("flac last") << serveAudio("audio/flac", m_flac) << "http://%1/live" << all << 0 << QByteArray("/live") << 1;
        QTest::newRow("not found: every creator, one request") << notFound() << "http://%1/live" << all << BASS_ERROR_FILEOPEN << QByteArray("/live") << 1;
        QTest::newRow("time-out ends the pass") << silent() << "http://%1/live" << UIntList{CreatorPlain} << BASS_ERROR_TIMEOUT << QByteArray("/live") << 1;
        QTest::newRow(".wma only to the wma creator") << serveAudio("video/x-ms-asf", m_wma) << "http://%1/radio.wma" << UIntList{CreatorWma} << 0 << QByteArray("/radio.wma") << 1;
        QTest::newRow(".wma that is no wma: no second try") << mp3 << "http://%1/radio.WMA" << UIntList{CreatorWma} << BASS_ERROR_FILEFORM << QByteArray("/radio.WMA") << 1;
        QTest::newRow(".wma not found: tried twice") << notFound() << "http://%1/radio.wma" << UIntList{CreatorWma, CreatorWma} << BASS_ERROR_FILEOPEN << QByteArray("/radio.wma") << 1;
        // The first try speaks RTSP to the server (which answers in HTTP), the second HTTP.
        QTest::newRow("rtsp as wma, then over http") << serveAudio("video/x-ms-asf", m_wma) << "rtsp://%1/live" << UIntList{CreatorWma, CreatorWma} << 0 << QByteArray("/live") << 2;
        QTest::newRow("rtsp that is no wma") << mp3 << "RTSP://%1/live" << UIntList{CreatorWma, CreatorWma, CreatorPlain} << 0 << QByteArray("/live") << 2;
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

    void streamInfoFromTheHeaders()
    {
        QVERIFY(m_server.start(serve(icyHeader({"icy-url: http://radio.example/"}), m_mp3)));
        TestBass bass;
        bass.SetFadeTimes(0, 0);
        QVERIFY(bass.OpenURL(QString::fromLatin1(m_server.url("/live")), 0));
        const StreamInfo info = bass.GetStreamInfo();
        QCOMPARE(info.name, QStringLiteral("Test Radio"));
        QCOMPARE(info.genre, QStringLiteral("Tests"));
        QCOMPARE(info.bitrate, QStringLiteral("128"));
        QCOMPARE(info.url, QStringLiteral("http://radio.example/"));
        QVERIFY(info.tagsText.contains(QLatin1String("icy-br: 128\n")));
        QVERIFY2(info.headerText.startsWith(QLatin1String("ICY 200 OK")), qPrintable(info.headerText));
        QVERIFY(info.headerText.contains(QLatin1String("icy-name: Test Radio")));
        // A new stream starts from nothing: nothing of this one is left after the next open.
        m_server.stop();
        QVERIFY(m_server.start(serveAudio("audio/mpeg", m_mp3)));
        QVERIFY(bass.OpenURL(QString::fromLatin1(m_server.url("/other")), 0));
        QVERIFY(bass.GetStreamInfo().name.isEmpty());
        QVERIFY(bass.GetStreamInfo().headerText.startsWith(QLatin1String("HTTP/1.0 200 OK")));
    }

    void urlList_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<bool>("fromLast");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QByteArrayList>("requested");

        // Paths under /ok/ play, all others are not found.
        const QStringList withAds{QStringLiteral("/gone1"), QStringLiteral("/ok/adinjector/ad"),
                                  QStringLiteral("/gone2")};
        // clang-format off
        QTest::newRow("forwards skips the advertising relay") << withAds << false << false << QByteArrayList{"/gone1", "/gone2"};
        QTest::newRow("from the last it is tried") << withAds << true << true << QByteArrayList{"/gone2", "/ok/adinjector/ad"};
        QTest::newRow("the first that plays wins") << QStringList{QStringLiteral("/gone1"), QStringLiteral("/ok/a"), QStringLiteral("/ok/b")} << false << true << QByteArrayList{"/gone1", "/ok/a"};
        QTest::newRow("the match is case-sensitive") << QStringList{QStringLiteral("/ok/AdInjector")} << false << true << QByteArrayList{"/ok/AdInjector"};
        QTest::newRow("nothing plays") << QStringList{QStringLiteral("/gone1"), QStringLiteral("/gone2")} << true << false << QByteArrayList{"/gone2", "/gone1"};
        QTest::newRow("empty list") << QStringList() << false << false << QByteArrayList();
        // clang-format on
    }

    void urlList()
    {
        QFETCH(QStringList, paths);
        QFETCH(bool, fromLast);
        QFETCH(bool, opened);
        QFETCH(QByteArrayList, requested);
        const QByteArray mp3 = m_mp3;
        QVERIFY(m_server.start([mp3](int index, const QByteArray &request) {
            if (requestPath(request).startsWith("/ok/"))
                return serveAudio("audio/mpeg", mp3)(index, request);
            return notFound()(index, request);
        }));
        QStringList urls;
        for (const QString &path : paths)
            urls.append(QString::fromLatin1(m_server.url(path.toLatin1())));
        TestBass bass;
        bass.SetFadeTimes(0, 0);
        QCOMPARE(bass.OpenURLList(urls, fromLast, 0), opened);
        QByteArrayList seen;
        for (const QByteArray &request : m_server.requests())
            seen.append(requestPath(request));
        QCOMPARE(seen, requested);
        QCOMPARE(bass.count(EventPlaying), opened ? 1 : 0);
        if (opened)
            QCOMPARE(bass.CurrentUrlText(), QString::fromLatin1(m_server.url(requested.last())));
    }

    void abort_data()
    {
        QTest::addColumn<Handler>("handler");
        QTest::addColumn<AbortWhen>("abortWhen");
        QTest::addColumn<int>("urls");
        QTest::addColumn<bool>("hadChannel");
        QTest::addColumn<int>("playing");

        // 300 ms after the phase began.
        auto after = [](uint event) {
            return AbortWhen([event](const TestBass &b) {
                return b.timeOf(event) >= 0 && b.elapsed() > b.timeOf(event) + 300;
            });
        };
        // clang-format off
        QTest::newRow("connecting to a silent server") << silent() << after(EventConnecting) << 1 << false << 0;
        QTest::newRow("in a list, the rest is not tried") << silent() << after(EventConnecting) << 3 << false << 0;
        QTest::newRow("waiting for the buffer") << trickle(m_mp3) << AbortWhen([](const TestBass &b) { return b.HasChannel() && b.elapsed() > 600; }) << 1 << true << 0;
        QTest::newRow("fading in") << serve(icyHeader(), m_mp3) << after(EventPlaying) << 1 << true << 1;
        // clang-format on
    }

    void abort()
    {
        QFETCH(Handler, handler);
        QFETCH(AbortWhen, abortWhen);
        QFETCH(int, urls);
        QFETCH(bool, hadChannel);
        QFETCH(int, playing);
        BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 20000); // only the abort may end it
        QVERIFY(m_server.start(handler));
        TestBass bass;
        bass.SetFadeTimes(5000, 0);
        QStringList list;
        for (int i = 0; i < urls; ++i)
            list.append(QString::fromLatin1(m_server.url("/live" + QByteArray::number(i))));
        // The open runs on a thread of its own, as the connect thread does.
        std::atomic<bool> opened{true};
        std::unique_ptr<QThread> thread(QThread::create([&] {
            opened = list.size() == 1 ? bass.OpenURL(list[0], 0) : bass.OpenURLList(list, false, 0);
        }));
        thread->start();
        QTRY_VERIFY_WITH_TIMEOUT(abortWhen(bass), 10000);
        const qint64 requested = bass.elapsed();
        bass.RequestAbort();
        QVERIFY(thread->wait(5000));
        BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 1000);
        QVERIFY(!opened);
        QCOMPARE(bass.count(EventConnectAborted), 1);
        // The abort ended the open, not the time-out, the pre-buffer wait or the end of the fade
        // (each seconds away). How fast it does so is measured by bench/cbass-abort.
        const qint64 took = bass.timeOf(EventConnectAborted) - requested;
        QVERIFY2(took < 2000, qPrintable(QString::number(took)));
        QCOMPARE(bass.count(EventConnecting), 1); // nothing else tried after the abort
        QCOMPARE(bass.count(EventPlaying), playing);
        QCOMPARE(bass.count(EventStopped), hadChannel ? 1 : 0);
        QCOMPARE(bass.Handle(), HSTREAM(0));
        QCOMPARE(bass.GetLastErrorCode(), 0); // an abort is not a failure to report
        QCOMPARE(m_server.connections(), 1);
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

    void downloadAndBitrate_data()
    {
        QTest::addColumn<Handler>("handler");
        QTest::addColumn<int>("kbps");

        QTest::newRow("mp3 128") << serve(icyHeader(), m_mp3) << 128;
        QTest::newRow("aac 96 (through the aac creator)")
            << serve(
                   ScriptedServer::header("ICY 200 OK", {"Content-Type: audio/aacp", "icy-name: AAC Radio"}),
                   m_aac)
            << 96;
    }

    void downloadAndBitrate()
    {
        QFETCH(Handler, handler);
        QFETCH(int, kbps);
        QVERIFY(m_server.start(handler));
        TestBass bass;
        bass.SetFadeTimes(0, 0);
        QVERIFY(bass.OpenURL(QString::fromLatin1(m_server.url("/live")), 0));
        QVERIFY(bass.GetStreamInfo().headerText.contains(QLatin1String("icy-name:")));
        // Two seconds of playback, ticking the play clock as the channel's timer does.
        for (int second = 1; second <= 2; ++second) {
            QTRY_VERIFY_WITH_TIMEOUT(playedMs(bass) >= second * 1000, 20000);
            bass.AdvancePlaybackClock();
        }
        QTRY_VERIFY(bass.BytesDownloaded() > quint64(kbps) * 125);
        const quint64 counted = bass.BytesDownloaded();
        QVERIFY(counted <= bass.DownloadedBytes());
        const int measured = int(bass.StationBitrate());
        QVERIFY2(std::abs(measured - kbps) <= kbps / 10, qPrintable(QString::number(measured)));
        QCOMPARE(bass.SecondsPlayed(), quint64(2));
        QVERIFY(bass.Stop(0));
    }

    void titles_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("metaTemplate");
        QTest::addColumn<QByteArrayList>("blocks");
        QTest::addColumn<int>("accepted");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("song");
        QTest::addColumn<QString>("previousArtist");

        // After the stream, the previous song is the one judged last before the end: a repeat of
        // the current title (the first title is read at the start and heard again) copies it.
        const QByteArray cyrillic1251 = encoded("windows-1251", QStringLiteral("Кино - Группа крови"));
        const QByteArray czech1250 = encoded("windows-1250", QStringLiteral("Čechomor - Proměny"));
        const QByteArray one = titleBlock("A - One");
        // clang-format off
        QTest::newRow("windows-1251 for a station in Russia") << "Moscow, Russia" << "" << QByteArrayList{titleBlock(cyrillic1251)} << 1 << "Кино" << "Группа крови" << "Кино";
        QTest::newRow("no code page: windows-1252") << "" << "" << QByteArrayList{titleBlock(cyrillic1251)} << 1 << "Êèíî" << "Ãðóïïà êðîâè" << "Êèíî";
        QTest::newRow("utf-8 whatever the location") << "Moscow, Russia" << "" << QByteArrayList{titleBlock(QStringLiteral("Кино - Звезда").toUtf8())} << 1 << "Кино" << "Звезда" << "Кино";
        QTest::newRow("windows-1250 for a station in the Czech Republic") << "Praha, Czech Republic" << "" << QByteArrayList{titleBlock(czech1250)} << 1 << "Čechomor" << "Proměny" << "Čechomor";
        QTest::newRow("entities") << "" << "" << QByteArrayList{titleBlock("Simon &amp; Garfunkel - The Boxer")} << 1 << "Simon & Garfunkel" << "The Boxer" << "Simon & Garfunkel";
        QTest::newRow("the station's template") << "" << "<Artist>|<Song>" << QByteArrayList{titleBlock("Queen|Innuendo")} << 1 << "Queen" << "Innuendo" << "Queen";
        QTest::newRow("a new title") << "" << "" << QByteArrayList{one, one, titleBlock("B - Two")} << 2 << "B" << "Two" << "A";
        QTest::newRow("a repeat is not news") << "" << "" << QByteArrayList{one, one, one} << 1 << "A" << "One" << "A";
        QTest::newRow("an empty title is not news") << "" << "" << QByteArrayList{titleBlock("")} << 0 << "" << "" << "";
        // clang-format on
    }

    void titles()
    {
        QFETCH(QString, location);
        QFETCH(QString, metaTemplate);
        QFETCH(QByteArrayList, blocks);
        QFETCH(int, accepted);
        QFETCH(QString, artist);
        QFETCH(QString, song);
        QFETCH(QString, previousArtist);
        const int metaint = 4000; // a block every quarter of a second
        QVERIFY(m_server.start(serve(icyHeader({"icy-metaint: " + QByteArray::number(metaint)}),
                                     withMetadata(m_mp3, metaint, blocks))));
        TestBass bass;
        bass.SetFadeTimes(0, 0);
        Station station;
        station.setName(QStringLiteral("Test"));
        station.setLocation(location);
        station.setMetaTemplate(metaTemplate);
        bass.SetStation(station);
        QVERIFY(bass.OpenURL(QString::fromLatin1(m_server.url("/live")), 0));
        // Until the audio after the last block was heard.
        const int hearMs = (int(blocks.size()) + 1) * metaint * 1000 / BytesPerSecond + 400;
        if (accepted > 0)
            QVERIFY(bass.waitFor(EventTitleChanged, accepted, hearMs + 3000));
        QTRY_VERIFY_WITH_TIMEOUT(playedMs(bass) >= hearMs, hearMs + 20000);
        QCOMPARE(bass.count(EventTitleChanged), accepted);
        const Song current = bass.CurrentSong();
        QCOMPARE(current.artist(), artist);
        QCOMPARE(current.title(), song);
        QCOMPARE(bass.PreviousSong().artist(), previousArtist);
        if (accepted > 0)
            QVERIFY(bass.TitleInfo().rawBlock.startsWith(QLatin1String("StreamTitle='")));
        QVERIFY(bass.Stop(0));
    }

    void nowPlaying_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("nowPlayingTemplate");
        QTest::addColumn<QString>("title");

        QTest::newRow("template") << true << "%station% | %track% | %url%"
                                  << "Радио <Test> | Artist & Co - Song | %2";
        QTest::newRow("empty template publishes the track") << true << ""
                                                            << "Artist & Co - Song";
        QTest::newRow("disabled") << false << "%track%"
                                  << "";
    }

    void nowPlaying()
    {
        QFETCH(bool, enabled);
        QFETCH(QString, nowPlayingTemplate);
        QFETCH(QString, title);
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "runs inside dbus-run-session");
        QDBusConnection probe =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("probe"));
        MprisPlayer player;
        QVERIFY(player.isRegistered());
        CBass::SetNowPlayingPublisher(&player);
        const auto unset = qScopeGuard([] { CBass::SetNowPlayingPublisher(nullptr); });
        auto property = [&](const QString &name) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                player.registeredName(), QLatin1String(MprisPlayer::ObjectPath),
                QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
            call.setArguments({QStringLiteral("org.mpris.MediaPlayer2.Player"), name});
            QDBusPendingCall pending = probe.asyncCall(call, 5000);
            QDBusPendingCallWatcher watcher(pending);
            if (!watcher.isFinished())
                QSignalSpy(&watcher, &QDBusPendingCallWatcher::finished).wait(5000);
            const QDBusMessage reply = pending.reply();
            return reply.arguments().isEmpty() ? QVariant() : unpack(reply.arguments().first());
        };

        const int metaint = 4000;
        QVERIFY(m_server.start(serve(icyHeader({"icy-metaint: " + QByteArray::number(metaint)}),
                                     withMetadata(m_mp3, metaint, {titleBlock("Artist &amp; Co - Song")}))));
        TestBass bass;
        bass.SetFadeTimes(0, 0);
        Station station;
        station.setName(QStringLiteral("Радио <Test>"));
        bass.SetStation(station);
        bass.SetMessengerTemplate(nowPlayingTemplate);
        bass.SetMessengerEnabled(enabled);
        const QString url = QString::fromLatin1(m_server.url("/live"));
        QVERIFY(bass.OpenURL(url, 0));
        QVERIFY(bass.waitFor(EventTitleChanged));
        if (enabled) // the publisher's queued posts
            QTRY_VERIFY(!property(QStringLiteral("Metadata")).toMap().isEmpty());
        const QVariantMap published = property(QStringLiteral("Metadata")).toMap();
        if (enabled) {
            QCOMPARE(published.value(QStringLiteral("xesam:title")).toString(),
                     QString(title).replace(QLatin1String("%2"), url));
            QCOMPARE(published.value(QStringLiteral("xesam:artist")).toStringList(),
                     QStringList{QStringLiteral("Artist & Co")});
            QCOMPARE(published.value(QStringLiteral("xesam:album")).toString(),
                     QStringLiteral("Радио <Test>"));
            QCOMPARE(published.value(QStringLiteral("xesam:url")).toString(), url);
            QCOMPARE(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));
            QVERIFY(bass.Pause());
            QTRY_COMPARE(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Paused"));
        } else {
            QVERIFY(published.isEmpty());
        }
        QVERIFY(bass.Stop(0));
        QTRY_VERIFY(property(QStringLiteral("Metadata")).toMap().isEmpty());
        QTRY_COMPARE(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
        QDBusConnection::disconnectFromBus(QStringLiteral("probe"));
    }
};

TUNORA_TEST_MAIN_CORE(TestCBassOpen)
#include "tst_cbass_open.moc"
