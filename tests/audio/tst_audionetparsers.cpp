// The network reader's parsers on their own: playlist readers, ICY de-interleaving, addresses,
// reply headers, HLS playlists and the mapping of socket failures to error codes.

#include "hlssource.h"
#include "http.h"
#include "icy.h"
#include "playlist.h"
#include "testmain.h"

#include <netdb.h>

using namespace tunora::audio;

namespace {

QByteArrayList toList(const std::vector<std::string> &items)
{
    QByteArrayList out;
    for (const std::string &item : items)
        out << QByteArray::fromStdString(item);
    return out;
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

} // namespace

class TestAudioNetParsers : public QObject
{
    Q_OBJECT

private slots:
    void playlistReaders_data()
    {
        QTest::addColumn<int>("reader");
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QByteArrayList>("expected");

        QTest::newRow("pls two entries with a title")
            << int(Pls)
            << QByteArray("[playlist]\nFile1=http://a/1\nTitle1=One\nFile2=http://b/2\nNumberOfEntries=2\n")
            << QByteArrayList{"http://a/1", "http://b/2"};
        QTest::newRow("pls crlf, blanks around =, any case")
            << int(Pls)
            << QByteArray("[Playlist]\r\nfile1 = http://a/1 \r\nLength1=-1\r\nFILE2=http://b/2\r\n")
            << QByteArrayList{"http://a/1", "http://b/2"};
        QTest::newRow("pls must start at File1")
            << int(Pls) << QByteArray("[playlist]\nFile2=http://b/2\nFile3=http://c/3\n") << QByteArrayList{};
        QTest::newRow("pls out of order stops counting")
            << int(Pls) << QByteArray("[playlist]\nFile1=http://a/1\nFile3=http://c/3\nFile2=http://b/2\n")
            << QByteArrayList{"http://a/1", "http://b/2"};
        QTest::newRow("pls at most ten")
            << int(Pls)
            << QByteArray("[playlist]\nFile1=h1\nFile2=h2\nFile3=h3\nFile4=h4\nFile5=h5\nFile6=h6\nFile7=h7\n"
                          "File8=h8\nFile9=h9\nFile10=h10\nFile11=h11\n")
            << QByteArrayList{"h1", "h2", "h3", "h4", "h5", "h6", "h7", "h8", "h9", "h10"};
        QTest::newRow("pls without the section")
            << int(Pls) << QByteArray("File1=http://a/1\n") << QByteArrayList{};
        QTest::newRow("pls truncated after =")
            << int(Pls) << QByteArray("[playlist]\nFile1=") << QByteArrayList{""};

        QTest::newRow("m3u extinf lines only")
            << int(M3u)
            << QByteArray("#EXTM3U\n#EXTINF:-1,One\nhttp://a/1\nhttp://stray\n#EXTINF:-1,Two\nhttp://b/2\n")
            << QByteArrayList{"http://a/1", "http://b/2"};
        QTest::newRow("m3u extinf crlf")
            << int(M3u) << QByteArray("#EXTINF:10,x\r\nhttp://a/1\r\n") << QByteArrayList{"http://a/1"};
        QTest::newRow("m3u extm3u marker takes one line")
            << int(M3u) << QByteArray("#EXTM3U\nhttp://a/1\nhttp://b/2\n") << QByteArrayList{"http://a/1"};
        QTest::newRow("m3u plain list needs line ends")
            << int(M3u) << QByteArray("http://a/1\n\nhttp://b/2\r\nhttp://c/3")
            << QByteArrayList{"http://a/1", "http://b/2"};
        QTest::newRow("m3u player configuration")
            << int(M3u)
            << QByteArray("player.setup({\"file\": \"http://a/1\", \"x\": 1, \"FILE\" : \"http://b/2\"})")
            << QByteArrayList{"http://a/1", "http://b/2"};
        QTest::newRow("m3u empty") << int(M3u) << QByteArray() << QByteArrayList{};

        QTest::newRow("asx ref href")
            << int(Asx)
            << QByteArray("<asx version=\"3.0\"><entry><title>T</title><ref href=\"http://a/1\"/></entry>"
                          "<Entry><REF HREF = \" http://b/2 \" /></Entry></asx>")
            << QByteArrayList{"http://a/1", "http://b/2"};
        QTest::newRow("asx clientskip http skipped, mms kept")
            << int(Asx)
            << QByteArray("<asx><entry clientskip=\"yes\"><ref href=\"http://ad/1\"/></entry>"
                          "<entry clientskip=\"yes\"><ref href=\"mms://a/1\"/></entry>"
                          "<entry><ref href=\"http://b/2\"/></entry></asx>")
            << QByteArrayList{"mms://a/1", "http://b/2"};
        QTest::newRow("asx bare mms line")
            << int(Asx) << QByteArray("<asx><entry>\n mms://a/1 \n</entry></asx>")
            << QByteArrayList{"mms://a/1"};
        QTest::newRow("asx unterminated entry")
            << int(Asx) << QByteArray("<asx><entry><ref href=\"http://a/1\"") << QByteArrayList{"http://a/1"};
        QTest::newRow("asx empty entry stops")
            << int(Asx) << QByteArray("<entry</entry><entry><ref href=\"http://a\"/></entry>")
            << QByteArrayList{};

        QTest::newRow("media src") << int(MediaSrc)
                                   << QByteArray(
                                          "<embed media src= \" http://a/1 \" /><x media src=\"http://b\">")
                                   << QByteArrayList{"http://a/1"};
        QTest::newRow("media src absent")
            << int(MediaSrc) << QByteArray("<embed src=\"x\">") << QByteArrayList{};

        QTest::newRow("order: asx before pls")
            << int(Any)
            << QByteArray("[playlist]\nFile1=http://p/1\n<entry><ref href=\"http://a/1\"/></entry>")
            << QByteArrayList{"http://a/1"};
        QTest::newRow("order: pls before m3u")
            << int(Any) << QByteArray("#EXTINF:1,x\nhttp://m/1\n[playlist]\nFile1=http://p/1\n")
            << QByteArrayList{"http://p/1"};

        // Hostile documents: no crash, no runaway, capped output.
        QByteArray many;
        for (int i = 0; i < 5000; ++i)
            many += "#EXTINF:-1,x\nhttp://h/" + QByteArray::number(i) + "\n";
        QByteArrayList capped;
        for (std::size_t i = 0; i < MaxPlaylistEntries; ++i)
            capped << "http://h/" + QByteArray::number(qulonglong(i));
        QTest::newRow("m3u capped at the entry limit") << int(M3u) << many << capped;
        QByteArray millionLines;
        millionLines.reserve(12 * 1000 * 1000);
        for (int i = 0; i < 1000 * 1000; ++i)
            millionLines += "http://h/x\n";
        QTest::newRow("a million lines are over the size cap")
            << int(Any) << millionLines << QByteArrayList{};
        QByteArray atCap = "[playlist]\nFile1=http://a/1\n";
        atCap += QByteArray(qsizetype(MaxPlaylistBytes) - atCap.size(), '\n');
        QTest::newRow("pls at exactly the size cap") << int(Pls) << atCap << QByteArrayList{"http://a/1"};
        QTest::newRow("asx one byte over the size cap")
            << int(Asx)
            << "<entry><ref href=\"http://a/1\"/></entry>" + QByteArray(qsizetype(MaxPlaylistBytes), ' ')
            << QByteArrayList{};
        QTest::newRow("asx clientskip with blanks around =")
            << int(Asx)
            << QByteArray("<entry ClientSkip = \"YES\"><ref href=\"http://ad/1\"/></entry>"
                          "<entry clientskip=\"no\"><ref href=\"http://b/2\"/></entry>")
            << QByteArrayList{"http://b/2"};
        QTest::newRow("nul bytes and junk")
            << int(Any) << QByteArray("\0\0#EXTINF:\0\n\0\n", 14) << QByteArrayList{QByteArray("\0", 1)};
        QTest::newRow("markers only") << int(Any) << QByteArray("<entry</entry<entry") << QByteArrayList{};
        QTest::newRow("repeated markers")
            << int(M3u) << QByteArray("#EXTINF:#EXTINF:#EXTINF:\nhttp://a\n") << QByteArrayList{"http://a"};
    }

    void playlistReaders()
    {
        QFETCH(int, reader);
        QFETCH(QByteArray, document);
        QFETCH(QByteArrayList, expected);
        std::vector<std::string> out{"stale"};
        const std::string text = bytes(document);
        std::size_t count = 0;
        switch (reader) {
        case Asx:
            count = ReadASX(text, out);
            break;
        case Pls:
            count = ReadPLS(text, out);
            break;
        case M3u:
            count = ReadM3U(text, out);
            break;
        case MediaSrc:
            count = ReadMediaSrc(text, out);
            break;
        default:
            count = ReadPlaylist(text, out);
        }
        QCOMPARE(toList(out), expected);
        QCOMPARE(count, out.size());
    }

    void playlistAddresses_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<bool>("isPlaylist");
        QTest::addColumn<bool>("acceptable");
        QTest::newRow("pls after host") << QByteArray("http://host/radio.pls") << true << true;
        QTest::newRow("begins with .pls") << QByteArray(".pls") << false << false;
        QTest::newRow("php query") << QByteArray("https://h/listen.PHP?id=3") << true << true;
        QTest::newRow("m3u8") << QByteArray("http://h/live.m3u8") << true << true;
        QTest::newRow("stream") << QByteArray("http://h:8000/stream") << false << true;
        QTest::newRow("mms") << QByteArray("mms://h/x") << false << true;
        QTest::newRow("mmsh, mmst, rtsp") << QByteArray("RTSP://h/x") << false << true;
        QTest::newRow("file scheme") << QByteArray("file:///etc/passwd") << false << false;
        QTest::newRow("path") << QByteArray("/home/u/song.mp3") << false << false;
        QTest::newRow("ftp") << QByteArray("ftp://h/x.mp3") << false << false;
        QTest::newRow("no host") << QByteArray("http:///x") << false << false;
        QTest::newRow("control character") << QByteArray("http://h/x\x01y") << false << false;
        QTest::newRow("delete character") << QByteArray("http://h/x\x7f") << false << false;
        QTest::newRow("line break") << QByteArray("http://h/x\nGET /") << false << false;
        QTest::newRow("too long") << QByteArray("http://h/" + QByteArray(5000, 'a')) << false << false;
    }

    void playlistAddresses()
    {
        QFETCH(QByteArray, address);
        QFETCH(bool, isPlaylist);
        QFETCH(bool, acceptable);
        QCOMPARE(IsPlaylistAddress(bytes(address)), isPlaylist);
        QCOMPARE(isAcceptableStreamAddress(bytes(address)), acceptable);
    }

    void documentKinds_data()
    {
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<bool>("playlist");
        QTest::addColumn<bool>("live");
        QTest::newRow("pls with bom") << QByteArray("\xEF\xBB\xBF\r\n[playlist]\nFile1=x") << true << false;
        QTest::newRow("m3u") << QByteArray("#EXTM3U\n#EXTINF:-1,x\nhttp://a\n") << true << false;
        QTest::newRow("hls media") << QByteArray("#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXTINF:6,\na.ts\n")
                                   << true << true;
        QTest::newRow("hls master") << QByteArray("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nx.m3u8\n") << true
                                    << true;
        QTest::newRow("asx") << QByteArray("  <ASX version=3>") << true << false;
        QTest::newRow("mp3 frame") << QByteArray("\xFF\xFB\x90\x64") << false << false;
        QTest::newRow("id3") << QByteArray("ID3\x04") << false << false;
    }

    void documentKinds()
    {
        QFETCH(QByteArray, start);
        QFETCH(bool, playlist);
        QFETCH(bool, live);
        QCOMPARE(looksLikePlaylist(bytes(start)), playlist);
        QCOMPARE(isLiveStreamPlaylist(bytes(start)), live);
    }

    void icyMetaint_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<uint>("expected");
        QTest::newRow("usual") << QByteArray("16000") << 16000u;
        QTest::newRow("blanks") << QByteArray(" 8192 ") << 8192u;
        QTest::newRow("zero") << QByteArray("0") << 0u;
        QTest::newRow("empty") << QByteArray("") << 0u;
        QTest::newRow("negative") << QByteArray("-1") << 0u;
        QTest::newRow("hex") << QByteArray("0x4000") << 0u;
        QTest::newRow("trailing junk") << QByteArray("16000abc") << 0u;
        QTest::newRow("absurd") << QByteArray("99999999999999999999") << 0u;
        QTest::newRow("above the cap") << QByteArray("4194305") << 0u;
        QTest::newRow("at the cap") << QByteArray("4194304") << 4194304u;
    }

    void icyMetaint()
    {
        QFETCH(QByteArray, value);
        QFETCH(uint, expected);
        QCOMPARE(parseIcyMetaint(bytes(value)), expected);
    }

    void icyDeinterleaving_data()
    {
        QTest::addColumn<int>("piece");
        for (int piece : {1, 2, 3, 7, 16, 17, 100, 4096, 1 << 20})
            QTest::newRow(qPrintable(QStringLiteral("pieces of %1").arg(piece))) << piece;
    }

    void icyDeinterleaving()
    {
        // 40 bytes of audio between blocks; blocks: a title with "';" inside, an empty block,
        // a repeat of the title, bytes that are not UTF-8, and a block of padding only.
        QFETCH(int, piece);
        const int metaint = 40;
        const QList<QByteArray> blocks{"StreamTitle='It's';here';StreamUrl='';", QByteArray(),
                                       "StreamTitle='It's';here';StreamUrl='';",
                                       "StreamTitle='Caf\xe9 \xff';", QByteArray(16, '\0')};
        QByteArray wire, audio;
        int value = 0;
        for (const QByteArray &block : blocks) {
            for (int i = 0; i < metaint; ++i) {
                wire += char(value);
                audio += char(value);
                value = (value + 1) % 251;
            }
            const int length = int((block.size() + 15) / 16);
            wire += char(length);
            wire += block + QByteArray(length * 16 - block.size(), '\0');
        }
        wire += "tail";
        audio += "tail";

        IcyDeinterleaver icy;
        icy.reset(metaint, 1000);
        std::vector<IcyBlock> found;
        QByteArray out;
        for (qsizetype at = 0; at < wire.size(); at += piece) {
            QByteArray part = wire.mid(at, piece);
            const std::size_t n =
                icy.feed(reinterpret_cast<std::uint8_t *>(part.data()), std::size_t(part.size()), found);
            out += part.left(qsizetype(n));
        }
        QCOMPARE(out, audio);
        QCOMPARE(found.size(), std::size_t(3)); // the empty and the padding-only blocks are no titles
        QCOMPARE(QByteArray::fromStdString(found[0].bytes), blocks[0]);
        QCOMPARE(found[0].offset, 1000 + metaint);
        QCOMPARE(QByteArray::fromStdString(found[1].bytes), blocks[2]);
        QCOMPARE(found[1].offset, 1000 + 3 * metaint);
        QCOMPARE(QByteArray::fromStdString(found[2].bytes), blocks[3]);
        QCOMPARE(icy.audioOffset(), 1000 + audio.size());
    }

    void icyWithoutInterval()
    {
        IcyDeinterleaver icy;
        icy.reset(0, 0);
        QByteArray data("\x00\x05StreamTitle='x';", 18);
        std::vector<IcyBlock> found;
        QCOMPARE(icy.feed(reinterpret_cast<std::uint8_t *>(data.data()), std::size_t(data.size()), found),
                 std::size_t(data.size()));
        QVERIFY(found.empty());
    }

    void urls_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("parsed"); // "user host port target"; empty: invalid
        QTest::newRow("plain") << QByteArray("http://Radio.example:8000/live?x=1#frag")
                               << QByteArray(" Radio.example 8000 /live?x=1");
        QTest::newRow("https default") << QByteArray("HTTPS://h") << QByteArray(" h 443 /");
        QTest::newRow("query only") << QByteArray("http://h?a=b") << QByteArray(" h 80 /?a=b");
        QTest::newRow("ipv6") << QByteArray("http://[::1]:81/x") << QByteArray(" ::1 81 /x");
        QTest::newRow("credentials") << QByteArray("http://us%40er:p:w@h/") << QByteArray("us@er h 80 /");
        QTest::newRow("blanks and non-ascii encoded")
            << QByteArray("http://h/a b/\xc3\xa9") << QByteArray(" h 80 /a%20b/%C3%A9");
        QTest::newRow("mmst default port") << QByteArray("mmst://h/x") << QByteArray(" h 1755 /x");
        QTest::newRow("no scheme") << QByteArray("h/x") << QByteArray();
        QTest::newRow("no host") << QByteArray("http:///x") << QByteArray();
        QTest::newRow("bad port") << QByteArray("http://h:99999/") << QByteArray();
        QTest::newRow("port junk") << QByteArray("http://h:8o/") << QByteArray();
        QTest::newRow("header injection") << QByteArray("http://h/x\r\nHost: evil") << QByteArray();
        QTest::newRow("unclosed ipv6") << QByteArray("http://[::1/x") << QByteArray();
    }

    void urls()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, parsed);
        Url url;
        QCOMPARE(Url::parse(bytes(text), url), !parsed.isEmpty());
        if (!parsed.isEmpty())
            QCOMPARE(QByteArray::fromStdString(url.user + ' ' + url.host + ' ' + std::to_string(url.port) +
                                               ' ' + url.target),
                     parsed);
    }

    void urlResolution_data()
    {
        QTest::addColumn<QByteArray>("reference");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("absolute") << QByteArray("https://o:9/y") << QByteArray("https://o:9/y");
        QTest::newRow("scheme relative") << QByteArray("//o/y") << QByteArray("http://o/y");
        QTest::newRow("root") << QByteArray("/y/z?q") << QByteArray("http://h:8000/y/z?q");
        QTest::newRow("sibling") << QByteArray("seg1.ts") << QByteArray("http://h:8000/a/b/seg1.ts");
        QTest::newRow("dot dot") << QByteArray("../../../c.aac") << QByteArray("http://h:8000/c.aac");
        QTest::newRow("query") << QByteArray("?n=2") << QByteArray("http://h:8000/a/b/list.m3u8?n=2");
    }

    void urlResolution()
    {
        QFETCH(QByteArray, reference);
        QFETCH(QByteArray, expected);
        Url base, out;
        QVERIFY(Url::parse("http://h:8000/a/b/list.m3u8?token=1", base));
        QVERIFY(base.resolve(bytes(reference), out));
        QCOMPARE(QByteArray::fromStdString(out.toString()), expected);
    }

    void responseHeaders_data()
    {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QByteArray>("parsed"); // "status icy type length metaint"; empty: invalid
        QTest::newRow("icy")
            << QByteArray("ICY 200 OK\r\nicy-name:X\r\nicy-metaint:8192\r\nContent-Type: audio/mpeg\r\n")
            << QByteArray("200 icy audio/mpeg -1 8192");
        QTest::newRow("http with parameters")
            << QByteArray("HTTP/1.1 200 OK\nContent-Type: Audio/AAC; charset=x\nContent-Length: 1234\n")
            << QByteArray("200 http audio/aac 1234 0");
        QTest::newRow("icy 404 html")
            << QByteArray("ICY 404 Resource Not Found\r\nContent-Type: text/html\r\n")
            << QByteArray("404 icy text/html -1 0");
        QTest::newRow("chunked ignores length")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n")
            << QByteArray("200 http  -1 0");
        QTest::newRow("bad length") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: -5\r\n")
                                    << QByteArray("200 http  -1 0");
        QTest::newRow("not http") << QByteArray("SSH-2.0-OpenSSH\r\n") << QByteArray();
        QTest::newRow("no status") << QByteArray("HTTP/1.0 OK\r\n") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("too many lines")
            << "HTTP/1.0 200 OK\r\n" + QByteArray("X: y\r\n").repeated(300) << QByteArray();
    }

    void responseHeaders()
    {
        QFETCH(QByteArray, block);
        QFETCH(QByteArray, parsed);
        HttpResponse response;
        QCOMPARE(parseResponseHeader(bytes(block), response), !parsed.isEmpty());
        if (parsed.isEmpty())
            return;
        QCOMPARE(QByteArray::fromStdString(std::to_string(response.status) +
                                           (response.icy ? " icy " : " http ") + response.contentType + ' ' +
                                           std::to_string(response.contentLength) + ' ' +
                                           std::to_string(response.metaint)),
                 parsed);
        QCOMPARE(QByteArray::fromStdString(response.rawHeader), block);
    }

    void hlsPlaylists_data()
    {
        QTest::addColumn<QByteArray>("text");
        // Segments | first sequence, "ended", "locked" (encrypted or fragmented MP4), and a
        // master's chosen rendition; empty: not a playlist.
        QTest::addColumn<QByteArray>("parsed");
        QTest::newRow("media")
            << QByteArray("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:41\n#EXTINF:2.0,\na.aac\n"
                          "#EXTINF:2,\r\nb.aac\r\n#EXT-X-ENDLIST\n")
            << QByteArray("a.aac b.aac | 41 ended");
        QTest::newRow("master by bandwidth, audio only first")
            << QByteArray("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=64000,CODECS=\"mp4a.40.5\"\nlo.m3u8\n"
                          "#EXT-X-STREAM-INF:BANDWIDTH=900000,CODECS=\"avc1.4d401f,mp4a.40.2\"\nvideo.m3u8\n"
                          "#EXT-X-STREAM-INF:CODECS=\"mp4a.40.2\",BANDWIDTH=128000\nhi.m3u8\n")
            << QByteArray("master -> hi.m3u8");
        QTest::newRow("master with audio rendition")
            << QByteArray("#EXTM3U\n#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"en\",DEFAULT=YES,URI="
                          "\"audio.m3u8\"\n#EXT-X-STREAM-INF:BANDWIDTH=900000,AUDIO=\"a\"\nvideo.m3u8\n")
            << QByteArray("master -> audio.m3u8");
        QTest::newRow("encrypted") << QByteArray("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-KEY:METHOD=AES-"
                                                 "128,URI=\"k\"\n#EXTINF:2,\na.ts\n")
                                   << QByteArray("a.ts | 0 locked");
        QTest::newRow("fragmented mp4")
            << QByteArray("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MAP:URI=\"i.mp4\"\n#EXTINF:2,\na.m4s\n")
            << QByteArray("a.m4s | 0 locked");
        QTest::newRow("not hls") << QByteArray("[playlist]\nFile1=x\n") << QByteArray();
        QTest::newRow("header only") << QByteArray("#EXTM3U\n") << QByteArray();
        QTest::newRow("junk durations")
            << QByteArray("#EXTM3U\n#EXT-X-TARGETDURATION:x\n#EXTINF:nan,\na\n#EXTINF:-5\nb\n")
            << QByteArray("a b | 0");
    }

    void hlsPlaylists()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, parsed);
        HlsPlaylist playlist;
        QCOMPARE(parseHlsPlaylist(bytes(text), playlist), !parsed.isEmpty());
        if (parsed.isEmpty())
            return;
        std::string summary = playlist.master ? "master" : "";
        for (const HlsSegment &segment : playlist.segments) {
            summary += (summary.empty() ? "" : " ") + segment.uri;
            QVERIFY(segment.duration >= 0 && segment.duration < 86400);
        }
        if (!playlist.segments.empty())
            summary += " | " + std::to_string(playlist.segments.front().sequence);
        if (playlist.endList)
            summary += " ended";
        if (playlist.encrypted || !!playlist.initSection)
            summary += " locked";
        if (playlist.master)
            summary += " -> " + chooseHlsRendition(playlist);
        QCOMPARE(QByteArray::fromStdString(summary), parsed);
    }

    void hlsLiveWindowIsCapped()
    {
        QByteArray text("#EXTM3U\n#EXT-X-TARGETDURATION:1\n");
        for (std::size_t i = 0; i < MaxHlsSegments + 50; ++i)
            text += "#EXTINF:1,\ns" + QByteArray::number(qulonglong(i)) + ".ts\n";
        HlsPlaylist playlist;
        QVERIFY(parseHlsPlaylist(bytes(text), playlist));
        QCOMPARE(playlist.segments.size(), MaxHlsSegments);
        QCOMPARE(QByteArray::fromStdString(playlist.segments.back().uri),
                 "s" + QByteArray::number(qulonglong(MaxHlsSegments + 49)) + ".ts");
    }

    void failureCodes_data()
    {
        QTest::addColumn<bool>("lookup");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("expected");
        QTest::newRow("refused") << false << ECONNREFUSED << BASS_ERROR_FILEOPEN;
        QTest::newRow("reset") << false << ECONNRESET << BASS_ERROR_FILEOPEN;
        QTest::newRow("timed out") << false << ETIMEDOUT << BASS_ERROR_TIMEOUT;
        QTest::newRow("network unreachable") << false << ENETUNREACH << BASS_ERROR_NONET;
        QTest::newRow("host unreachable") << false << EHOSTUNREACH << BASS_ERROR_NONET;
        QTest::newRow("network down") << false << ENETDOWN << BASS_ERROR_NONET;
        QTest::newRow("no such host") << true << EAI_NONAME << BASS_ERROR_FILEOPEN;
        QTest::newRow("name server unreachable") << true << EAI_AGAIN << BASS_ERROR_NONET;
        QTest::newRow("name server failure") << true << EAI_FAIL << BASS_ERROR_NONET;
    }

    void failureCodes()
    {
        QFETCH(bool, lookup);
        QFETCH(int, code);
        QFETCH(int, expected);
        QCOMPARE(lookup ? errorFromLookup(code, 0) : errorFromErrno(code), expected);
    }
};

TUNORA_TEST_MAIN_CORE(TestAudioNetParsers)
#include "tst_audionetparsers.moc"
