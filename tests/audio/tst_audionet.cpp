// The network reader's parsers on their own (playlist readers, addresses, the ICY interval, the
// mapping of socket failures to error codes: the rows pin down results and caps; hostile input is
// the fuzz targets' work), then network streams against a scripted byte-level server on
// 127.0.0.1: failures and their error codes, ICY metadata cut at awkward places, the download
// callback and file positions, dropped connections and a server's restart, playlists, HLS and
// TLS. Playing through the channel wrapper (creator order, the hand-over of a connection to the
// next creator, titles, stalls, pre-buffer, aborts) is the channel suites' part.

#include "audiotest.h"
#include "engine.h"
#include "hls.h"
#include "http.h"
#include "icy.h"
#include "media.h"
#include "playlist.h"
#include "scriptedserver.h"
#include "testca.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QFile>

#include <atomic>

#include <netdb.h>

using TunoraTest::Hls;
using TunoraTest::HlsStream;
using TunoraTest::Media;
using TunoraTest::ScriptedServer;
using namespace AudioTest;
using Handler = ScriptedServer::Handler;
using Script = ScriptedServer::Script;
using namespace tunora::audio;

Q_DECLARE_METATYPE(Handler)

namespace {

constexpr int BytesPerSecond = 16000; // the 128 kbit/s test streams

QByteArray streamHeader(const QList<QByteArray> &extra = {}, const QByteArray &status = "ICY 200 OK")
{
    QList<QByteArray> lines{"Content-Type: audio/mpeg", "icy-name: Test Radio", "icy-br: 128"};
    lines += extra;
    return ScriptedServer::header(status, lines);
}

// A whole reply with one content type, then the connection closes.
Script answer(const QByteArray &status, const QByteArray &type, const QByteArray &body)
{
    return {ScriptedServer::send(ScriptedServer::header(status, {"Content-Type: " + type}) + body),
            ScriptedServer::close()};
}

Script notFound()
{
    return answer("HTTP/1.0 404 Not Found", "text/plain", "gone");
}

// Serves `first` to the first connection and a 404 to every later one (the end of a stream).
Handler once(const Script &first)
{
    return [first](int index, const QByteArray &) { return index == 0 ? first : notFound(); };
}

Handler serve(const QByteArray &reply)
{
    return once({ScriptedServer::send(reply), ScriptedServer::close()});
}

QByteArray requestPath(const QByteArray &request)
{
    const QList<QByteArray> words = request.left(request.indexOf('\r')).split(' ');
    return words.size() >= 2 ? words[1] : QByteArray();
}

std::string bytes(const QByteArray &data)
{
    return std::string(data.constData(), std::size_t(data.size()));
}

enum Reader
{
    Asx,
    Pls,
    M3u,
    MediaSrc,
    Any
};

enum Kind
{
    Meta,
    End
};

enum Parser
{
    Address,
    Parts,
    Metaint,
    Errno,
    Lookup
};

} // namespace

class TestAudioNet : public QObject
{
    Q_OBJECT

    QByteArray m_mp3; // 10 s, 128 kbit/s, 440 Hz left, 660 Hz right, no tags
    QString m_aacFile;
    ScriptedServer m_server;
    // Outlive every channel of a test: cleanup() frees the channels before they are replaced.
    std::unique_ptr<SyncLog> m_log;
    std::unique_ptr<Downloads> m_downloads;

    // The settings every test starts from.
    void defaults()
    {
        BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, 1500);
        BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 1000);
        BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 0);
        BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 2);
        tunora::audio::config().reconnectWindowMs = 2500;
        BASS_SetConfigPtr(BASS_CONFIG_NET_CA_EXTRA, nullptr);
        tunora::audio::setResolverForTests(nullptr);
    }

    HSTREAM openUrl(const QByteArray &path, DWORD flags = BASS_STREAM_DECODE | BASS_STREAM_BLOCK,
                    DOWNLOADPROC *proc = nullptr, void *user = nullptr)
    {
        return BASS_StreamCreateURL(m_server.url(path).constData(), 0, flags, proc, user);
    }

    // Decodes a whole decoding channel: `seconds` of the 440 Hz tone on the left.
    static bool decodes(HSTREAM stream, double seconds, double tolerance = 0.1)
    {
        const std::vector<float> samples = decodeAll(stream, 44100 * 40);
        const std::size_t frames = samples.size() / 2;
        const double hz =
            frames > 44100 ? frequencyOf(channelOf(samples, 2, 0, 22050, frames - 4410), 44100) : 440;
        if (std::abs(double(frames) / 44100.0 - seconds) < tolerance && std::abs(hz - 440) < 3)
            return true;
        qWarning("decoded %.3f s at %.1f Hz", double(frames) / 44100.0, hz);
        return false;
    }

private slots:
    void initTestCase()
    {
        QString error;
        Media::Recipe mp3;
        mp3.format = Media::Mp3;
        mp3.seconds = 10;
        mp3.right = QStringLiteral("0.5*sin(2*PI*660*t)");
        mp3.extra = {QStringLiteral("-write_xing"), QStringLiteral("0"), QStringLiteral("-id3v2_version"),
                     QStringLiteral("0")};
        QFile mp3File(Media::make(mp3, &error));
        QVERIFY2(mp3File.open(QIODevice::ReadOnly), qPrintable(error));
        m_mp3 = mp3File.readAll();
        Media::Recipe aac = mp3;
        aac.format = Media::Aac;
        aac.extra.clear();
        m_aacFile = Media::make(aac, &error);
        QVERIFY2(!m_aacFile.isEmpty(), qPrintable(error));
        QVERIFY(BASS_Init(0, 44100, 0, nullptr, nullptr));
    }

    void cleanupTestCase() { BASS_Free(); }

    void init()
    {
        defaults();
        m_log = std::make_unique<SyncLog>();
        m_downloads = std::make_unique<Downloads>();
    }

    void cleanup()
    {
        // A failed test may leave channels behind: a fresh engine for the next one.
        BASS_Free();
        QVERIFY(BASS_Init(0, 44100, 0, nullptr, nullptr));
        m_server.stop();
    }

    void playlistReaders_data()
    {
        QTest::addColumn<int>("reader");
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QByteArrayList>("expected");

        QTest::newRow("pls crlf, blanks around =, any case")
            << int(Pls)
            << QByteArray("[Playlist]\r\nfile1 = http://a/1 "
                          "\r\nTitle1=One\r\nFILE2=http://b/2\r\nNumberOfEntries=2\r\n")
            << QByteArrayList{"http://a/1", "http://b/2"};
        QTest::newRow("pls out of order stops counting")
            << int(Pls) << QByteArray("[playlist]\nFile1=http://a/1\nFile3=http://c/3\nFile2=http://b/2\n")
            << QByteArrayList{"http://a/1", "http://b/2"};
        QTest::newRow("pls at most ten")
            << int(Pls)
            << QByteArray("[playlist]\nFile1=h1\nFile2=h2\nFile3=h3\nFile4=h4\nFile5=h5\nFile6=h6\nFile7=h7\n"
                          "File8=h8\nFile9=h9\nFile10=h10\nFile11=h11\n")
            << QByteArrayList{"h1", "h2", "h3", "h4", "h5", "h6", "h7", "h8", "h9", "h10"};
        QTest::newRow("m3u extinf lines only")
            << int(M3u)
            << QByteArray("#EXTM3U\n#EXTINF:-1,One\nhttp://a/1\nhttp://stray\n#EXTINF:-1,Two\nhttp://b/2\n")
            << QByteArrayList{"http://a/1", "http://b/2"};
        QTest::newRow("m3u player configuration")
            << int(M3u)
            << QByteArray("player.setup({\"file\": \"http://a/1\", \"x\": 1, \"FILE\" : \"http://b/2\"})")
            << QByteArrayList{"http://a/1", "http://b/2"};

        QTest::newRow("asx ref href")
            << int(Asx)
            << QByteArray("<asx version=\"3.0\"><entry><title>T</title><ref href=\"http://a/1\"/></entry>"
                          "<Entry><REF HREF = \" http://b/2 \" /></Entry></asx>")
            << QByteArrayList{"http://a/1", "http://b/2"};
        // Entries a client may skip are adverts over HTTP; an mms entry is kept all the same.
        QTest::newRow("asx clientskip: http skipped, mms kept")
            << int(Asx)
            << QByteArray("<asx><entry clientskip=\"yes\"><ref href=\"http://ad/1\"/></entry>"
                          "<entry ClientSkip = \"YES\"><ref href=\"http://ad/2\"/></entry>"
                          "<entry clientskip=\"yes\"><ref href=\"mms://a/1\"/></entry>"
                          "<entry clientskip=\"no\"><ref href=\"http://b/2\"/></entry></asx>")
            << QByteArrayList{"mms://a/1", "http://b/2"};
        QTest::newRow("media src") << int(MediaSrc)
                                   << QByteArray(
                                          "<embed media src= \" http://a/1 \" /><x media src=\"http://b\">")
                                   << QByteArrayList{"http://a/1"};

        QTest::newRow("order: asx before pls")
            << int(Any)
            << QByteArray("[playlist]\nFile1=http://p/1\n<entry><ref href=\"http://a/1\"/></entry>")
            << QByteArrayList{"http://a/1"};

        // The caps on entries and on the size of a document.
        QByteArray many;
        for (int i = 0; i < 5000; ++i)
            many += "#EXTINF:-1,x\nhttp://h/" + QByteArray::number(i) + "\n";
        QByteArrayList capped;
        for (std::size_t i = 0; i < MaxPlaylistEntries; ++i)
            capped << "http://h/" + QByteArray::number(qulonglong(i));
        QTest::newRow("m3u capped at the entry limit") << int(M3u) << many << capped;
        QByteArray atCap = "[playlist]\nFile1=http://a/1\n";
        atCap += QByteArray(qsizetype(MaxPlaylistBytes) - atCap.size(), '\n');
        QTest::newRow("pls at exactly the size cap") << int(Pls) << atCap << QByteArrayList{"http://a/1"};
        QTest::newRow("asx one byte over the size cap")
            << int(Asx)
            << "<entry><ref href=\"http://a/1\"/></entry>" + QByteArray(qsizetype(MaxPlaylistBytes), ' ')
            << QByteArrayList{};
    }

    void playlistReaders()
    {
        QFETCH(int, reader);
        QFETCH(QByteArray, document);
        QFETCH(QByteArrayList, expected);
        std::vector<std::string> out{"stale"};
        const std::string text = bytes(document);
        using Read = std::size_t (*)(std::string_view, std::vector<std::string> &);
        const Read readers[] = {ReadASX, ReadPLS, ReadM3U, ReadMediaSrc, ReadPlaylist};
        const std::size_t count = readers[reader](text, out);
        QByteArrayList got;
        for (const std::string &item : out)
            got << QByteArray::fromStdString(item);
        QCOMPARE(got, expected);
        QCOMPARE(count, out.size());
    }

    // The small parsers, each result written out as text.
    void parsers_data()
    {
        QTest::addColumn<int>("parser");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("parsed");
        // A stream address: "<a playlist's?> <may be opened?>".
        QTest::newRow("pls after host")
            << int(Address) << QByteArray("http://host/radio.pls") << QByteArray("1 1");
        QTest::newRow("stream") << int(Address) << QByteArray("http://h:8000/stream") << QByteArray("0 1");
        QTest::newRow("file scheme") << int(Address) << QByteArray("file:///etc/passwd") << QByteArray("0 0");
        QTest::newRow("line break") << int(Address) << QByteArray("http://h/x\nGET /") << QByteArray("0 0");
        QTest::newRow("too long") << int(Address) << QByteArray("http://h/" + QByteArray(5000, 'a'))
                                  << QByteArray("0 0");
        // "user host port target"; empty: invalid.
        QTest::newRow("plain") << int(Parts) << QByteArray("http://Radio.example:8000/live?x=1#frag")
                               << QByteArray(" Radio.example 8000 /live?x=1");
        QTest::newRow("credentials") << int(Parts) << QByteArray("http://us%40er:p:w@h/")
                                     << QByteArray("us@er h 80 /");
        QTest::newRow("blanks and non-ascii encoded")
            << int(Parts) << QByteArray("http://h/a b/\xc3\xa9") << QByteArray(" h 80 /a%20b/%C3%A9");
        QTest::newRow("header injection")
            << int(Parts) << QByteArray("http://h/x\r\nHost: evil") << QByteArray();
        QTest::newRow("unclosed ipv6") << int(Parts) << QByteArray("http://[::1/x") << QByteArray();
        // The ICY metadata interval; 0: refused.
        QTest::newRow("metaint with blanks") << int(Metaint) << QByteArray(" 8192 ") << QByteArray("8192");
        QTest::newRow("metaint trailing junk") << int(Metaint) << QByteArray("16000abc") << QByteArray("0");
        QTest::newRow("metaint above the cap") << int(Metaint) << QByteArray("4194305") << QByteArray("0");
        QTest::newRow("metaint at the cap") << int(Metaint) << QByteArray("4194304") << QByteArray("4194304");
        // What a socket's or a name lookup's failure code becomes.
        const auto code = [](int value) { return QByteArray::number(value); };
        QTest::newRow("refused") << int(Errno) << code(ECONNREFUSED) << code(BASS_ERROR_FILEOPEN);
        QTest::newRow("timed out") << int(Errno) << code(ETIMEDOUT) << code(BASS_ERROR_TIMEOUT);
        QTest::newRow("host unreachable") << int(Errno) << code(EHOSTUNREACH) << code(BASS_ERROR_NONET);
        QTest::newRow("no such host") << int(Lookup) << code(EAI_NONAME) << code(BASS_ERROR_FILEOPEN);
        QTest::newRow("name server unreachable") << int(Lookup) << code(EAI_AGAIN) << code(BASS_ERROR_NONET);
    }

    void parsers()
    {
        QFETCH(int, parser);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, parsed);
        const std::string input = bytes(text);
        Url url;
        if (parser == Address)
            QCOMPARE(QByteArray::number(IsPlaylistAddress(input)) + ' ' +
                         QByteArray::number(isAcceptableStreamAddress(input)),
                     parsed);
        else if (parser == Metaint)
            QCOMPARE(QByteArray::number(parseIcyMetaint(input)), parsed);
        else if (parser != Parts)
            QCOMPARE(QByteArray::number(parser == Errno ? errorFromErrno(text.toInt())
                                                        : errorFromLookup(text.toInt(), 0)),
                     parsed);
        else if (Url::parse(input, url))
            QCOMPARE(QByteArray::fromStdString(url.user + ' ' + url.host + ' ' + std::to_string(url.port) +
                                               ' ' + url.target),
                     parsed);
        else
            QVERIFY(parsed.isEmpty());
    }

    void icyDeinterleaving_data()
    {
        QTest::addColumn<int>("piece");
        for (int piece : {1, 2, 7, 17, 1 << 20})
            QTest::newRow(qPrintable(QStringLiteral("pieces of %1").arg(piece))) << piece;
    }

    // 40 bytes of audio between blocks; blocks: a title with "';" inside, an empty block, a repeat
    // of the title, bytes that are not UTF-8, and a block of padding only (no title, as the empty
    // one). Titles keep their bytes as sent, without the padding.
    void icyDeinterleaving()
    {
        QFETCH(int, piece);
        const int metaint = 40;
        const QList<QByteArray> blocks{"StreamTitle='It's';here';StreamUrl='';", QByteArray(),
                                       "StreamTitle='It's';here';StreamUrl='';",
                                       "StreamTitle='Caf\xe9 \xff';", QByteArray(16, '\0')};
        QByteArray audio;
        for (int i = 0; i < 5 * metaint; ++i)
            audio += char(i % 251);
        audio += "tail";
        const QByteArray wire = interleaved(audio, metaint, blocks);
        IcyDeinterleaver icy;
        icy.reset(metaint, 1000);
        std::vector<IcyBlock> found;
        QByteArray out;
        for (qsizetype at = 0; at < wire.size(); at += piece) {
            QByteArray part = wire.mid(at, piece);
            out += part.left(qsizetype(
                icy.feed(reinterpret_cast<std::uint8_t *>(part.data()), std::size_t(part.size()), found)));
        }
        QCOMPARE(out, audio);
        QCOMPARE(icy.audioOffset(), 1000 + audio.size());
        QByteArrayList titles;
        for (const IcyBlock &block : found)
            titles << QByteArray::number(qlonglong(block.offset)) + ' ' +
                          QByteArray::fromStdString(block.bytes);
        QCOMPARE(titles, QByteArrayList({"1040 " + blocks[0], "1120 " + blocks[2], "1160 " + blocks[3]}));
    }

    void replies_data()
    {
        QTest::addColumn<Handler>("handler");
        QTest::addColumn<int>("error");     // 0: the stream opens
        QTest::addColumn<int>("atLeastMs"); // a time-out must not come early
        QTest::addColumn<bool>("icyTag");   // the header lands in BASS_TAG_ICY rather than BASS_TAG_HTTP
        // Answers that are refused.
        QTest::newRow("ICY 200 with a page")
            << once(answer("ICY 200 OK", "text/html; charset=utf-8", "<html>")) << BASS_ERROR_FILEOPEN << 0
            << false;
        QTest::newRow("redirect loop") << Handler([](int index, const QByteArray &) {
            return Script{ScriptedServer::send(ScriptedServer::header(
                              "HTTP/1.1 302 Found", {"Location: /hop" + QByteArray::number(index)})),
                          ScriptedServer::close()};
        }) << BASS_ERROR_FILEOPEN << 0 << false;
        QTest::newRow("redirect to a file")
            << serve(ScriptedServer::header("HTTP/1.1 301 Moved", {"Location: file:///etc/passwd"}))
            << BASS_ERROR_FILEOPEN << 0 << false;
        QTest::newRow("text that is no audio")
            << once(answer("HTTP/1.0 200 OK", "text/plain", QByteArray(5000, 'a'))) << BASS_ERROR_FILEFORM
            << 0 << false;
        QTest::newRow("header that never ends") << Handler([](int, const QByteArray &) {
            return Script{ScriptedServer::stream("ICY 200 OK\r\n" + QByteArray(200, 'x'), 1, 50)};
        }) << BASS_ERROR_TIMEOUT << 1400 << false;
        // Answers that play.
        const QByteArray mp3 = m_mp3;
        // A file of known length; the connection stays open after it.
        QTest::newRow("HTTP with a length")
            << once({ScriptedServer::send(
                         ScriptedServer::header("HTTP/1.1 200 OK",
                                                {"Content-Type: audio/mpeg",
                                                 "Content-Length: " + QByteArray::number(mp3.size())}) +
                         mp3),
                     ScriptedServer::hold()})
            << 0 << 0 << false;
        QTest::newRow("header and body in small pieces")
            << once({ScriptedServer::stream(streamHeader(), 7, 30), ScriptedServer::stream(mp3, 4096, 1),
                     ScriptedServer::close()})
            << 0 << 0 << true;
        QTest::newRow("redirects, relative and absolute") << Handler([this, mp3](int index,
                                                                                 const QByteArray &request) {
            const QByteArray path = requestPath(request);
            const QByteArray to = path == "/stream" ? "b/../hop" : m_server.url("/live");
            if (path == "/stream" || path == "/hop")
                return Script{
                    ScriptedServer::send(ScriptedServer::header("HTTP/1.1 302 Found", {"Location: " + to})),
                    ScriptedServer::close()};
            if (path == "/live" && index == 2)
                return Script{ScriptedServer::send(streamHeader() + mp3), ScriptedServer::close()};
            return notFound();
        }) << 0 << 0 << true;
        QTest::newRow("chunked")
            << once({ScriptedServer::send(ScriptedServer::header(
                         "HTTP/1.1 200 OK", {"Content-Type: audio/mpeg", "Transfer-Encoding: chunked"})),
                     ScriptedServer::send(QByteArray::number(qlonglong(mp3.size() - 1000), 16) +
                                          ";ext=1\r\n" + mp3.left(mp3.size() - 1000) + "\r\n"),
                     ScriptedServer::send("3e8\r\n" + mp3.right(1000) + "\r\n0\r\nX-Trailer: 1\r\n\r\n"),
                     ScriptedServer::hold()})
            << 0 << 0 << false;
        QTest::newRow("metaint 1") << serve(streamHeader({"icy-metaint: 1"}) + interleaved(mp3, 1, {})) << 0
                                   << 0 << true;
    }

    void replies()
    {
        QFETCH(Handler, handler);
        QFETCH(int, error);
        QFETCH(int, atLeastMs);
        QFETCH(bool, icyTag);
        QVERIFY(m_server.start(handler));
        QElapsedTimer timer;
        timer.start();
        const HSTREAM stream = openUrl("/stream"); // cleanup() frees one that opened
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(stream ? 0 : BASS_ErrorGetCode(), error);
        if (error) {
            QVERIFY2(elapsed >= atLeastMs && elapsed < 10000, qPrintable(QString::number(elapsed)));
            return;
        }
        BASS_CHANNELINFO info{};
        QVERIFY(BASS_ChannelGetInfo(stream, &info));
        QCOMPARE(info.ctype, DWORD(BASS_CTYPE_STREAM_MP3));
        QVERIFY(BASS_ChannelGetTags(stream, icyTag ? BASS_TAG_ICY : BASS_TAG_HTTP));
        QVERIFY(!BASS_ChannelGetTags(stream, icyTag ? BASS_TAG_HTTP : BASS_TAG_ICY));
        QVERIFY(decodes(stream, 10.0));
        BASS_StreamFree(stream);
    }

    void titleChangesWhenHeard()
    {
        // Three titles half a second apart, all downloaded at once; each sync of a playing channel
        // comes when its block is heard and sees that block as the current tag, not the last one
        // downloaded.
        const QList<QByteArray> blocks{"StreamTitle='A';", "StreamTitle='B';", "StreamTitle='C';"};
        QVERIFY(m_server.start(
            once({ScriptedServer::send(streamHeader({"icy-metaint: 8000"}) +
                                       interleaved(m_mp3.left(4 * BytesPerSecond), 8000, blocks)),
                  ScriptedServer::hold()})));
        const HSTREAM stream = openUrl("/", BASS_STREAM_BLOCK);
        QVERIFY(stream);
        SyncLog &log = *m_log;
        BASS_ChannelSetSync(stream, BASS_SYNC_META, 0, SyncLog::record, log.user(Meta, true));
        log.start();
        QVERIFY(BASS_ChannelPlay(stream, FALSE));
        QVERIFY(log.waitFor(Meta, 3, 4000));
        const std::vector<SyncRecord> syncs = log.records(Meta);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(syncs[std::size_t(i)].tag, blocks[i]);
        QVERIFY2(syncs[0].atMs > 300 && syncs[1].atMs - syncs[0].atMs > 300, // heard half a second apart
                 qPrintable(QStringLiteral("%1, %2 ms").arg(syncs[0].atMs).arg(syncs[1].atMs)));
        BASS_StreamFree(stream);
    }

    void icyMetadata()
    {
        // Blocks after 1, 2 and 3 s of audio: a title with "';" in it, the same block again,
        // and a title that is not UTF-8. The server sends everything at once, cut at awkward
        // places (inside a length byte's interval, inside a block).
        const QList<QByteArray> blocks{"StreamTitle='It's';here';StreamUrl='http://x/';",
                                       "StreamTitle='It's';here';StreamUrl='http://x/';",
                                       "StreamTitle='Caf\xe9 \xc0';"};
        const QByteArray header = streamHeader({"icy-metaint: 16000", "icy-genre: Jazz"});
        const QByteArray audio = m_mp3.left(5 * BytesPerSecond);
        const QByteArray body = interleaved(audio, BytesPerSecond, blocks);
        QVERIFY(m_server.start(once(
            {ScriptedServer::send(header), ScriptedServer::send(body.left(16001)), ScriptedServer::pause(30),
             ScriptedServer::send(body.mid(16001, 20)), ScriptedServer::pause(30),
             ScriptedServer::stream(body.mid(16021), 3001, 2), ScriptedServer::close()})));
        Downloads &downloads = *m_downloads;
        const HSTREAM stream = openUrl("/", BASS_STREAM_DECODE | BASS_STREAM_BLOCK | BASS_STREAM_STATUS,
                                       Downloads::proc, &downloads);
        QVERIFY(stream);
        QCOMPARE(tagList(stream, BASS_TAG_ICY),
                 QByteArrayList({"ICY 200 OK", "Content-Type: audio/mpeg", "icy-name: Test Radio",
                                 "icy-br: 128", "icy-metaint: 16000", "icy-genre: Jazz"}));
        // The first block is the title as soon as it arrived, before anything is heard.
        QTRY_COMPARE_WITH_TIMEOUT(QByteArray(BASS_ChannelGetTags(stream, BASS_TAG_META)), blocks[0], 3000);
        QCOMPARE(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_END), QWORD(16000)); // 1 s of 128 kbit/s
        QCOMPARE(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CONNECTED), QWORD(1));
        // The position is read by the test between reads: the sync runs inside the read.
        static std::atomic<qint64> decodedFrames;
        decodedFrames = 0;
        struct At
        {
            static void CALLBACK sync(HSYNC, DWORD channel, DWORD, void *user)
            {
                auto *positions = static_cast<std::vector<std::pair<qint64, QByteArray>> *>(user);
                positions->emplace_back(decodedFrames.load(),
                                        QByteArray(BASS_ChannelGetTags(channel, BASS_TAG_META)));
            }
        };
        std::vector<std::pair<qint64, QByteArray>> positions;
        QVERIFY(BASS_ChannelSetSync(stream, BASS_SYNC_META | BASS_SYNC_MIXTIME, 0, At::sync, &positions));
        float block[1152 * 2];
        for (DWORD got;
             (got = BASS_ChannelGetData(stream, block, sizeof block | BASS_DATA_FLOAT)) != DWORD(-1) && got;)
            decodedFrames += got / 8;
        QCOMPARE(positions.size(), std::size_t(3)); // the repeated block fires as well
        for (std::size_t i = 0; i < 3; ++i) {
            // At the audio that followed the block, not when it was downloaded (all at once).
            const double seconds = double(positions[i].first) / 44100.0;
            QVERIFY2(std::abs(seconds - double(i + 1)) < 0.1, qPrintable(QString::number(seconds)));
            QCOMPARE(positions[i].second, blocks[int(i)]); // raw, not decoded, not cut at "';"
        }
        QCOMPARE(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_DOWNLOAD), QWORD(audio.size()));
        QVERIFY(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CURRENT) <= QWORD(audio.size()));
        QVERIFY(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CURRENT) > QWORD(audio.size() - 2000));
        QTRY_COMPARE_WITH_TIMEOUT(downloads.ends.load(), 1, 3000);
        std::lock_guard<std::mutex> guard(downloads.lock);
        QCOMPARE(downloads.headers, QByteArrayList{header}); // exactly as sent
        QCOMPARE(downloads.bytes, audio);                    // the stream's own bytes, without the metadata
        BASS_StreamFree(stream);
    }

    // After a drop, the station's server answers a few reconnects as it does while it restarts;
    // answers that pass are retried with the back-off and the stream goes on where the server
    // is back, any other answer ends it.
    void reconnectThroughServerRestart_data()
    {
        QTest::addColumn<QByteArray>("answer"); // the status line of the two attempts after the drop
        QTest::addColumn<bool>("resumes");
        QTest::newRow("404: the mount is not back yet") << QByteArray("HTTP/1.0 404 Not Found") << true;
        // Taken as a refused connection: the server is down.
        QTest::newRow("closed without an answer") << QByteArray() << true;
        QTest::newRow("403: the stream is refused") << QByteArray("HTTP/1.0 403 Forbidden") << false;
    }

    void reconnectThroughServerRestart()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, resumes);
        tunora::audio::config().reconnectWindowMs = 8000;
        const QByteArray audio = m_mp3.left(5 * BytesPerSecond);
        QVERIFY(m_server.start([audio, answer](int index, const QByteArray &) {
            if (index == 0)
                return Script{ScriptedServer::send(streamHeader() + audio.left(2 * BytesPerSecond)),
                              ScriptedServer::close()};
            if (index <= 2)
                return answer.isEmpty() ? Script{ScriptedServer::close()} // accepted and closed unanswered
                                        : Script{ScriptedServer::send(ScriptedServer::header(answer)),
                                                 ScriptedServer::close()};
            if (index == 3)
                return Script{ScriptedServer::send(streamHeader() + audio.mid(2 * BytesPerSecond)),
                              ScriptedServer::close()};
            return Script{ScriptedServer::send(ScriptedServer::header("HTTP/1.0 410 Gone")),
                          ScriptedServer::close()};
        }));
        const HSTREAM stream = openUrl("/live");
        QVERIFY(stream);
        // Decoding returns once the data ended for good: all of it, or what came before the drop.
        QVERIFY(decodes(stream, resumes ? 5.0 : 2.0, 0.3));
        QCOMPARE(m_server.connections(), resumes ? 5 : 2);
        const QByteArray again = m_server.requests().value(1);
        QVERIFY(again.startsWith("GET /live HTTP/1.0\r\n"));
        QVERIFY(again.contains("Icy-MetaData: 1\r\n"));
        QVERIFY(!again.contains("Range:")); // a live stream starts where it is
        BASS_StreamFree(stream);
    }

    void playlists_data()
    {
        QTest::addColumn<QList<QByteArrayList>>("documents"); // path, then the document
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QByteArrayList>("requested"); // the paths asked for, in order
        QTest::addColumn<int>("option");

        using Docs = QList<QByteArrayList>;
        QTest::newRow("pls: second entry after a dead one")
            << Docs{{"/list.pls", "[playlist]\nFile1=@/dead\nFile2=@/stream\nNumberOfEntries=2\n"}} << true
            << QByteArrayList{"/list.pls", "/dead", "/stream"} << 2;
        QTest::newRow("nested three deep")
            << Docs{{"/a.pls", "[playlist]\nFile1=@/b.m3u\n"},
                    {"/b.m3u", "#EXTINF:1,b\n@/c.asx\n"},
                    {"/c.asx", "<asx><entry><ref href=\"@/stream\"/></entry></asx>"}}
            << true << QByteArrayList{"/a.pls", "/b.m3u", "/c.asx", "/stream"} << 2;
        QTest::newRow("too deep")
            << Docs{{"/1.m3u", "#EXTINF:1,\n@/2.m3u\n"}, {"/2.m3u", "#EXTINF:1,\n@/3.m3u\n"},
                    {"/3.m3u", "#EXTINF:1,\n@/4.m3u\n"}, {"/4.m3u", "#EXTINF:1,\n@/5.m3u\n"},
                    {"/5.m3u", "#EXTINF:1,\n@/6.m3u\n"}, {"/6.m3u", "#EXTINF:1,\n@/stream\n"}}
            << false << QByteArrayList{"/1.m3u", "/2.m3u", "/3.m3u", "/4.m3u", "/5.m3u", "/6.m3u"} << 2;
        QTest::newRow("files and paths are never opened")
            << Docs{{"/bad.m3u", "#EXTM3U\n#EXTINF:1,\nfile://%LOCAL%\n#EXTINF:1,\n%LOCAL%\n"}} << false
            << QByteArrayList{"/bad.m3u"} << 2;
        QTest::newRow("not followed with the option off")
            << Docs{{"/x.pls", "[playlist]\nFile1=@/stream\n"}} << false << QByteArrayList{"/x.pls"} << 0;
    }

    void playlists()
    {
        QFETCH(QList<QByteArrayList>, documents);
        QFETCH(bool, opens);
        QFETCH(QByteArrayList, requested);
        QFETCH(int, option);
        BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, DWORD(option));
        QMap<QByteArray, QByteArray> served;
        const QByteArray mp3 = m_mp3;
        QVERIFY(m_server.start([&served, mp3](int, const QByteArray &request) {
            const QByteArray path = requestPath(request);
            if (path == "/stream")
                return Script{ScriptedServer::send(streamHeader() + mp3), ScriptedServer::close()};
            if (!served.contains(path))
                return notFound();
            const QByteArray type = path.endsWith(".pls")   ? "audio/x-scpls"
                                    : path.endsWith(".asx") ? "video/x-ms-asf"
                                                            : "audio/x-mpegurl";
            return answer("HTTP/1.0 200 OK", type, served.value(path));
        }));
        const QString local = Media::tone(Media::Mp3, 0.5); // a playable file a playlist points to
        for (const QByteArrayList &document : documents)
            served.insert(
                document[0],
                QByteArray(document[1]).replace("@", m_server.url("")).replace("%LOCAL%", local.toUtf8()));
        const HSTREAM stream = BASS_StreamCreateURL(m_server.url(documents[0][0]).constData(), 0,
                                                    BASS_STREAM_DECODE, nullptr, nullptr);
        const int error = BASS_ErrorGetCode();
        QCOMPARE(stream != 0, opens);
        if (!opens)
            QCOMPARE(error, BASS_ERROR_FILEFORM);
        QByteArrayList paths;
        for (const QByteArray &request : m_server.requests())
            paths << requestPath(request);
        QCOMPARE(paths, requested);
        if (stream)
            BASS_StreamFree(stream);
    }

    void hls_data()
    {
        QTest::addColumn<bool>("master"); // packed AAC through a master playlist, else MPEG-TS segments
        QTest::newRow("MPEG-TS segments") << false;
        QTest::newRow("packed AAC through a master playlist") << true;
    }

    void hls()
    {
        QFETCH(bool, master);
        HlsStream hls;
        QString error;
        QVERIFY2(!master ? Hls::transportStream(m_aacFile, 2, "seg", hls, &error)
                         : Hls::packedAudio(m_aacFile, 2, "seg", hls, &error),
                 qPrintable(error));
        QMap<QByteArray, QByteArray> files;
        for (const auto &segment : hls.segments)
            files.insert("/hls/" + segment.first, segment.second);
        files.insert("/hls/media.m3u8", hls.playlist());
        files.insert("/hls/master.m3u8",
                     "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=800000,CODECS=\"avc1.42e01e,mp4a.40.2\"\n"
                     "video.m3u8\n#EXT-X-STREAM-INF:BANDWIDTH=96000,CODECS=\"mp4a.40.2\"\nmedia.m3u8\n");
        QVERIFY(m_server.start([&files](int, const QByteArray &request) {
            const QByteArray path = requestPath(request);
            if (!files.contains(path))
                return notFound();
            return answer("HTTP/1.1 200 OK",
                          path.endsWith(".m3u8") ? "application/vnd.apple.mpegurl" : "audio/aac",
                          files.value(path));
        }));
        const HSTREAM stream = openUrl(master ? "/hls/master.m3u8" : "/hls/media.m3u8");
        QVERIFY2(stream, qPrintable(QString::number(BASS_ErrorGetCode())));
        BASS_CHANNELINFO info{};
        BASS_ChannelGetInfo(stream, &info);
        QCOMPARE(info.ctype, DWORD(BASS_CTYPE_STREAM_AAC));
        QVERIFY(decodes(stream, 10.0, 0.2));
        QVERIFY(!m_server.requests().join().contains("video.m3u8"));
        BASS_StreamFree(stream);
    }

    void tls_data()
    {
        QTest::addColumn<bool>("rightHost");
        QTest::addColumn<bool>("trusted"); // the test CA beside the system store, as the program sets it
        QTest::newRow("trusted, right host") << true << true;
        QTest::newRow("unknown authority") << true << false;
        QTest::newRow("other host") << false << true;
    }

    void tls()
    {
        QFETCH(bool, rightHost);
        QFETCH(bool, trusted);
        const bool opens = rightHost && trusted;
        static const TunoraTest::TestCa ca; // a certificate for 127.0.0.1 and localhost
        QVERIFY2(ca.isValid(), qPrintable(ca.error()));
        const QByteArray caFile = ca.caFile().toLocal8Bit();
        if (trusted)
            QVERIFY(BASS_SetConfigPtr(BASS_CONFIG_NET_CA_EXTRA, caFile.constData()));
        // Another name for 127.0.0.1, which the certificate does not name.
        tunora::audio::setResolverForTests([](const std::string &, std::vector<std::string> &addresses) {
            addresses.push_back("127.0.0.1");
            return 0;
        });
        QVERIFY(m_server.start(serve(streamHeader() + m_mp3), ca.serverCertificate(), ca.serverKey()));
        const QByteArray url = rightHost
                                   ? m_server.url("/secure")
                                   : "https://other.example:" + QByteArray::number(m_server.port()) + "/";
        const HSTREAM stream = BASS_StreamCreateURL(url.constData(), 0,
                                                    BASS_STREAM_DECODE | BASS_STREAM_BLOCK, nullptr, nullptr);
        QCOMPARE(stream != 0, opens);
        if (!opens) {
            QCOMPARE(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
            return;
        }
        QVERIFY(decodes(stream, 10.0));
        BASS_StreamFree(stream);
    }
};

TUNORA_TEST_MAIN_CORE(TestAudioNet)
#include "tst_audionet.moc"
