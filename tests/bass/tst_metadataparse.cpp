// The tag parsers: ICY metadata blocks, Windows Media script commands, Ogg comments, the
// engine's tag memory and the stream-header lists.

#include "codepage.h"
#include "metadata.h"
#include "streaminfo.h"
#include "testmain.h"

using namespace BASS;

using StringMap = QMap<QString, QString>;

namespace {

// A tag list as the engine lays it out: zero-terminated strings and an empty one at the end.
QByteArray tagMemory(const QByteArrayList &lines)
{
    QByteArray memory;
    for (const QByteArray &line : lines)
        memory += line + '\0';
    memory += '\0';
    return memory;
}

// The filled fields of a StreamInfo, apart from the raw texts.
StringMap filled(const StreamInfo &info)
{
    const std::pair<const char *, QString> fields[] = {
        {"name", info.name},           {"genre", info.genre},         {"url", info.url},
        {"bitrate", info.bitrate},     {"title", info.title},         {"duration", info.duration},
        {"copyright", info.copyright}, {"author", info.author},       {"seekable", info.seekable},
        {"stridable", info.stridable}, {"broadcast", info.broadcast}, {"isProtected", info.isProtected},
        {"isTrusted", info.isTrusted},
    };
    StringMap map;
    for (const auto &[key, value] : fields) {
        if (!value.isEmpty())
            map.insert(QString::fromLatin1(key), value);
    }
    return map;
}

// Bytes of a literal, zero bytes included.
template<std::size_t N>
QByteArray bytes(const char (&literal)[N])
{
    return QByteArray(literal, qsizetype(N - 1));
}

StringMap fields(std::initializer_list<std::pair<const char *, const char *>> pairs)
{
    StringMap map;
    for (const auto &[key, value] : pairs)
        map.insert(QString::fromUtf8(key), QString::fromUtf8(value));
    return map;
}

} // namespace

class TestMetadataParse : public QObject
{
    Q_OBJECT
private slots:

    void titleBlocks_data()
    {
        // clang-format off
        // parser: 'i' ICY, 'w' Windows Media, 'o' Ogg comments (one a line), 'm' whichever fits.
        QTest::addColumn<char>("parser");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<bool>("recognised");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("streamUrl");
        QTest::addColumn<int>("duration");

        QTest::newRow("icy artist - song") << 'i' << QByteArray("StreamTitle='Artist - Song';StreamUrl='';") << true << "Artist - Song" << "" << 0;
        QTest::newRow("icy StreamURL spelling") << 'i' << QByteArray("StreamTitle='A - B';StreamURL='http://u';") << true << "A - B" << "http://u" << 0;
        QTest::newRow("icy semicolon inside title") << 'i' << QByteArray("StreamTitle='Rock; Roll - Song';StreamUrl='';") << true << "Rock; Roll - Song" << "" << 0;
        QTest::newRow("icy entity keeps its semicolon") << 'i' << QByteArray("StreamTitle='Simon &amp; Garfunkel - The Boxer';StreamUrl='';") << true << "Simon &amp; Garfunkel - The Boxer" << "" << 0;
        QTest::newRow("icy quote-semicolon inside title") << 'i' << QByteArray("StreamTitle='Wait';Go - Song';StreamUrl='';") << true << "Wait';Go - Song" << "" << 0;
        QTest::newRow("icy unquoted value keeps its last letter") << 'i' << QByteArray("StreamTitle=Artist - Song;") << true << "Artist - Song" << "" << 0;
        QTest::newRow("icy no terminator") << 'i' << QByteArray("StreamTitle='Artist - Song'") << true << "Artist - Song" << "" << 0;
        QTest::newRow("icy zero padding") << 'i' << bytes("StreamTitle='A - B';\0\0\0\0\0") << true << "A - B" << "" << 0;
        QTest::newRow("icy utf-8") << 'i' << QByteArray("StreamTitle='Мумий Тролль - Утекай';") << true << "Мумий Тролль - Утекай" << "" << 0;
        QTest::newRow("icy 8-bit falls back to Windows-1252") << 'i' << QByteArray("StreamTitle='Caf\xe9 del Mar - Sunset';") << true << "Café del Mar - Sunset" << "" << 0;
        QTest::newRow("icy empty") << 'i' << QByteArray() << false << "" << "" << 0;
        QTest::newRow("wma caption") << 'w' << QByteArray("CAPTION=Artist - Song") << true << "Artist - Song" << "" << 0;
        QTest::newRow("wma caption ends at line break") << 'w' << QByteArray("caption=Artist - Song\r\nnext line") << true << "Artist - Song" << "" << 0;
        QTest::newRow("wma caption with address") << 'w' << QByteArray("CAPTION=http://ads.example/x") << true << "" << "" << 0;
        QTest::newRow("wma artist title duration") << 'w' << QByteArray("artist=Queen&title=Bohemian Rhapsody&duration=354&") << true << "Queen - Bohemian Rhapsody" << "" << 354;
        QTest::newRow("wma data with artist, escaped") << 'w' << QByteArray("data=artist=AC%2FDC&title=Back%20In%20Black&") << true << "AC/DC - Back In Black" << "" << 0;
        QTest::newRow("wma data first item and title") << 'w' << QByteArray("data=Queen&title=Bohemian%20Rhapsody&x") << true << "Queen - Bohemian Rhapsody" << "" << 0;
        QTest::newRow("wma data up to encoded bracket") << 'w' << QByteArray("data=Queen%20-%20Innuendo%28Live%29") << true << "Queen - Innuendo" << "" << 0;
        QTest::newRow("wma tuner") << 'w' << QByteArray("TUNER=FM|Artist%20Name|Song%20Title|x") << true << "Artist Name - Song Title" << "" << 0;
        QTest::newRow("wma igimptext") << 'w' << QByteArray("igimptext : Artist~Song~x") << true << "Artist - Song" << "" << 0;
        QTest::newRow("wma text : current artist and song") << 'w' << QByteArray("text : Now&currentArtist=Queen&currentSong=Innuendo&") << true << "Queen - Innuendo" << "" << 0;
        QTest::newRow("wma escaped value") << 'w' << QByteArray("TEXT=Caf%C3%A9 - Song") << true << "Café - Song" << "" << 0;
        QTest::newRow("wma url command") << 'w' << QByteArray("URL=http://station.example/") << true << "" << "http://station.example/" << 0;
        QTest::newRow("wma empty") << 'w' << QByteArray() << false << "" << "" << 0;
        QTest::newRow("ogg artist and title") << 'o' << QByteArray("TITLE=Song\nARTIST=Artist") << true << "Artist - Song" << "" << 0;
        QTest::newRow("ogg programme after ::") << 'o' << QByteArray("TITLE=Song :: Morning Show") << true << "Song" << "" << 0;
        QTest::newRow("ogg 8-bit comment") << 'o' << QByteArray("TITLE=Caf\xe9") << true << "Café" << "" << 0;
        QTest::newRow("ogg unrelated comments") << 'o' << QByteArray("ENCODER=Lavf59\nGENRE=Rock") << false << "" << "" << 0;
        QTest::newRow("any: icy") << 'm' << QByteArray("StreamTitle='A - B';") << true << "A - B" << "" << 0;
        QTest::newRow("any: wma caption") << 'm' << QByteArray("CAPTION=C - D") << true << "C - D" << "" << 0;
        QTest::newRow("any: nothing known") << 'm' << QByteArray("<songtitle>x</songtitle>") << false << "" << "" << 0;
        // clang-format on
    }

    void titleBlocks()
    {
        QFETCH(char, parser);
        QFETCH(QByteArray, block);
        MetaTitle title;
        bool recognised = false;
        if (parser == 'i')
            recognised = ParseIcyMeta(block, nullptr, title);
        else if (parser == 'w')
            recognised = ParseWmaMeta(block, nullptr, title);
        else if (parser == 'o')
            recognised = ParseOggTitle(block.split('\n'), nullptr, title);
        else
            recognised = ParseMetaBlock(block, nullptr, title);
        QTEST(recognised, "recognised");
        QTEST(title.title, "title");
        QTEST(title.streamUrl, "streamUrl");
        QTEST(int(title.duration), "duration");
        // Whatever the parser decided, the raw block is there for the template rules.
        if (parser != 'i')
            QCOMPARE(title.rawBlock, DecodeTagText(block, nullptr));
    }

    void icyRawBlock()
    {
        // The raw block is the decoded text without the block's zero padding; the code page of the
        // station applies to blocks that are not UTF-8.
        MetaTitle title;
        QVERIFY(ParseIcyMeta(bytes("StreamTitle='\xca\xe8\xed\xee - \xc3\xf0\xf3\xef\xef\xe0';\0\0"),
                             "Windows-1251", title));
        QCOMPARE(title.rawBlock, QStringLiteral("StreamTitle='Кино - Группа';"));
        QCOMPARE(title.title, QStringLiteral("Кино - Группа"));
    }

    void parsersStartAfresh()
    {
        MetaTitle title;
        QVERIFY(ParseWmaMeta("artist=A&title=B&duration=90&", nullptr, title));
        QVERIFY(ParseIcyMeta("StreamTitle='C - D';", nullptr, title));
        QCOMPARE(title.duration, 0);
        QVERIFY(ParseIcyMeta("StreamTitle='E';StreamUrl='http://u';", nullptr, title));
        QVERIFY(!ParseIcyMeta("nothing", nullptr, title));
        QCOMPARE(title.title, QString());
        QCOMPARE(title.streamUrl, QString());
        QCOMPARE(title.rawBlock, QStringLiteral("nothing"));
    }

    void tagString_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("memory");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("short") << bytes("abc\0def") << QByteArray("abc");
        QTest::newRow("empty") << bytes("\0") << QByteArray();
        QTest::newRow("over the bound") << QByteArray(5000, 'a') + '\0' << QByteArray(4096, 'a');
        // A two-byte character across the bound is left out whole.
        QTest::newRow("utf-8 across the bound") << QByteArray(4095, 'a') + "\xc3\xa9xyz" + '\0' << QByteArray(4095, 'a');
        QTest::newRow("8-bit bytes cut where asked") << QByteArray(4095, 'a') + "\xe9\xe9\xe9" + '\0' << QByteArray(4095, 'a') + "\xe9";
        // clang-format on
    }

    void tagString()
    {
        QFETCH(QByteArray, memory);
        QTEST(TagString(memory.constData()), "expected");
        QCOMPARE(TagString(nullptr), QByteArray());
    }

    void tagList()
    {
        QCOMPARE(TagList(nullptr), QByteArrayList());
        QCOMPARE(TagList(bytes("\0\0").constData()), QByteArrayList());
        QCOMPARE(TagList(tagMemory({"a", "bc", "d"}).constData()), (QByteArrayList{"a", "bc", "d"}));

        // A line far over the bound (a picture comment) is cut, and the lines after it still come.
        const QByteArray memory = tagMemory({"METADATA_BLOCK_PICTURE=" + QByteArray(200000, 'Q'), "TITLE=x"});
        const QByteArrayList lines = TagList(memory.constData());
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0].size(), MaxMetaBlockBytes);
        QCOMPARE(lines[1], QByteArray("TITLE=x"));

        // The number of lines is bounded.
        QByteArrayList many;
        for (int i = 0; i < 1000; ++i)
            many.append("k=" + QByteArray::number(i));
        QCOMPARE(TagList(tagMemory(many).constData()).size(), MaxTagListItems);
    }

    void hugeBlocksAreBounded_data()
    {
        // clang-format off
        // Only the first 4096 bytes of a block are read; the title is what they hold.
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<int>("titleLength");
        QTest::newRow("icy") << "StreamTitle='" + QByteArray(100000, 'A') + " - B';" << 4096 - 13;
        QTest::newRow("icy many closers") << "StreamTitle='" + QByteArray("';").repeated(50000) << 0;
        QTest::newRow("wma") << "artist=" + QByteArray(100000, 'A') + "&title=B&" << 4096 - 7;
        // clang-format on
    }

    void hugeBlocksAreBounded()
    {
        QFETCH(QByteArray, block);
        MetaTitle title;
        QVERIFY(ParseMetaBlock(block, nullptr, title));
        QCOMPARE(title.rawBlock.size(), MaxMetaBlockBytes);
        QTEST(int(title.title.size()), "titleLength");
    }

    void headers_data()
    {
        // clang-format off
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<QByteArray>("codePage");
        QTest::addColumn<StringMap>("fields");

        QTest::newRow("icy headers") << "http" << QByteArrayList{"ICY 200 OK", "icy-name:Radio One", "icy-genre: Rock ", "icy-url: http://r1.example:8000/", "icy-br:128", "icy-metaint:16000"} << QByteArray() << fields({{"name", "Radio One"}, {"genre", "Rock"}, {"url", "http://r1.example:8000/"}, {"bitrate", "128"}});
        QTest::newRow("audio info bitrate") << "http" << QByteArrayList{"ice-audio-info: ice-samplerate=44100;ice-bitrate=192;ice-channels=2"} << QByteArray() << fields({{"bitrate", "192"}});
        QTest::newRow("8-bit name in the station's code page") << "http" << QByteArrayList{"icy-name: \xd0\xe0\xe4\xe8\xee"} << QByteArray("Windows-1251") << fields({{"name", "Радио"}});

        QTest::newRow("wma header") << "wma" << QByteArrayList{"title=Station", "WM/Genre=Jazz", "Bitrate=128000", "WMA_Duration=0", "copyright=C", "author=A", "Seekable=false", "Stridable=false", "Broadcast=true", "Is_Protected=false", "Is_Trusted=true"} << QByteArray() << fields({{"name", "Station"}, {"title", "Station"}, {"genre", "Jazz"}, {"bitrate", "128"}, {"duration", "0"}, {"copyright", "C"}, {"author", "A"}, {"seekable", "false"}, {"stridable", "false"}, {"broadcast", "true"}, {"isProtected", "false"}, {"isTrusted", "true"}});

        QTest::newRow("ogg comments") << "ogg" << QByteArrayList{"ARTIST=x", "title=Song", "ENCODER=y"} << QByteArray() << fields({{"name", "Song"}, {"title", "Song"}});
        // clang-format on
    }

    void headers()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArrayList, lines);
        QFETCH(QByteArray, codePage);
        StreamInfo info;
        const char *page = codePage.isEmpty() ? nullptr : codePage.constData();
        bool found = false;
        if (kind == QLatin1String("http"))
            found = ParseHttpHeaders(lines, page, info);
        else if (kind == QLatin1String("wma"))
            found = ParseWmaHeader(lines, page, info);
        else
            found = ParseOggInfo(lines, page, info);
        QVERIFY(found);
        QTEST(filled(info), "fields");
        QCOMPARE(info.tagsText.count(QLatin1Char('\n')), lines.size());

        // Without a list there is nothing to read.
        StreamInfo none;
        QVERIFY(!ParseHttpHeaders({}, nullptr, none));
        QVERIFY(!ParseWmaHeader({}, nullptr, none));
        QVERIFY(!ParseOggInfo({}, nullptr, none));
    }

    void tagsTextIsReplacedNotAccumulated()
    {
        // Headers are read again on every title change; the report text must not grow with them.
        StreamInfo info;
        const QByteArrayList lines{"ICY 200 OK", "icy-name:One"};
        QVERIFY(ParseHttpHeaders(lines, nullptr, info));
        QVERIFY(ParseHttpHeaders(lines, nullptr, info));
        QCOMPARE(info.tagsText, QStringLiteral("ICY 200 OK\nicy-name:One\n"));
    }
};

TUNORA_TEST_MAIN_CORE(TestMetadataParse)
#include "tst_metadataparse.moc"
