// The network reader's parsers on their own: playlist readers, ICY de-interleaving, addresses, the
// HLS window and the mapping of socket failures to error codes. Hostile input in general is the
// fuzz targets' work and whole replies the network suite's; the rows here pin down results and caps.

#include "audiotest.h"
#include "hlssource.h"
#include "http.h"
#include "icy.h"
#include "playlist.h"
#include "testmain.h"

#include <netdb.h>

using namespace tunora::audio;

namespace {

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

    void playlistAddresses_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<bool>("isPlaylist");
        QTest::addColumn<bool>("acceptable");
        QTest::newRow("pls after host") << QByteArray("http://host/radio.pls") << true << true;
        QTest::newRow("stream") << QByteArray("http://h:8000/stream") << false << true;
        QTest::newRow("file scheme") << QByteArray("file:///etc/passwd") << false << false;
        QTest::newRow("control character") << QByteArray("http://h/x\x01y") << false << false;
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

    void icyMetaint_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<uint>("expected");
        QTest::newRow("blanks") << QByteArray(" 8192 ") << 8192u;
        QTest::newRow("trailing junk") << QByteArray("16000abc") << 0u;
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
        for (int piece : {1, 2, 7, 17, 1 << 20})
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
        QByteArray audio;
        for (int i = 0; i < 5 * metaint; ++i)
            audio += char(i % 251);
        audio += "tail";
        const QByteArray wire = AudioTest::interleaved(audio, metaint, blocks);

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

    void urls_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("parsed"); // "user host port target"; empty: invalid
        QTest::newRow("plain") << QByteArray("http://Radio.example:8000/live?x=1#frag")
                               << QByteArray(" Radio.example 8000 /live?x=1");
        QTest::newRow("credentials") << QByteArray("http://us%40er:p:w@h/") << QByteArray("us@er h 80 /");
        QTest::newRow("blanks and non-ascii encoded")
            << QByteArray("http://h/a b/\xc3\xa9") << QByteArray(" h 80 /a%20b/%C3%A9");
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
        QTest::newRow("timed out") << false << ETIMEDOUT << BASS_ERROR_TIMEOUT;
        QTest::newRow("host unreachable") << false << EHOSTUNREACH << BASS_ERROR_NONET;
        QTest::newRow("no such host") << true << EAI_NONAME << BASS_ERROR_FILEOPEN;
        QTest::newRow("name server unreachable") << true << EAI_AGAIN << BASS_ERROR_NONET;
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
