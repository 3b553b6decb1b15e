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
    void icyMeta_data();
    void icyMeta();
    void icyRawBlock();
    void wmaMeta_data();
    void wmaMeta();
    void oggTitle_data();
    void oggTitle();
    void metaBlock_data();
    void metaBlock();
    void parsersStartAfresh();
    void tagString_data();
    void tagString();
    void tagList();
    void hugeBlocksAreBounded_data();
    void hugeBlocksAreBounded();
    void headers_data();
    void headers();
    void tagsTextIsReplacedNotAccumulated();
};

void TestMetadataParse::icyMeta_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("recognised");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("streamUrl");

    QTest::newRow("artist - song, empty url") << QByteArray("StreamTitle='Artist - Song';StreamUrl='';") << true << "Artist - Song" << "";
    QTest::newRow("StreamURL spelling") << QByteArray("StreamTitle='A - B';StreamURL='http://u';") << true << "A - B" << "http://u";
    QTest::newRow("keys in lower case") << QByteArray("streamtitle='A - B';streamurl='http://u';") << true << "A - B" << "http://u";
    QTest::newRow("semicolon inside title") << QByteArray("StreamTitle='Rock; Roll - Song';StreamUrl='';") << true << "Rock; Roll - Song" << "";
    QTest::newRow("entity keeps its semicolon") << QByteArray("StreamTitle='Simon &amp; Garfunkel - The Boxer';StreamUrl='';") << true << "Simon &amp; Garfunkel - The Boxer" << "";
    QTest::newRow("numeric references") << QByteArray("StreamTitle='&#1055;&#1088;&#1080; - &#x41F;';StreamUrl='';") << true << "&#1055;&#1088;&#1080; - &#x41F;" << "";
    QTest::newRow("quote-semicolon inside title") << QByteArray("StreamTitle='Wait';Go - Song';StreamUrl='';") << true << "Wait';Go - Song" << "";
    QTest::newRow("apostrophe inside title") << QByteArray("StreamTitle='Guns N' Roses - Patience';") << true << "Guns N' Roses - Patience" << "";
    QTest::newRow("empty title") << QByteArray("StreamTitle='';StreamUrl='';") << true << "" << "";
    QTest::newRow("unquoted value keeps its last letter") << QByteArray("StreamTitle=Artist - Song;") << true << "Artist - Song" << "";
    QTest::newRow("no terminator") << QByteArray("StreamTitle='Artist - Song'") << true << "Artist - Song" << "";
    QTest::newRow("no closing quote") << QByteArray("StreamTitle='Artist - Song") << true << "Artist - Song" << "";
    QTest::newRow("zero padding") << bytes("StreamTitle='A - B';\0\0\0\0\0") << true << "A - B" << "";
    QTest::newRow("utf-8") << QByteArray("StreamTitle='Мумий Тролль - Утекай';") << true << "Мумий Тролль - Утекай" << "";
    QTest::newRow("8-bit falls back to Windows-1252") << QByteArray("StreamTitle='Caf\xe9 del Mar - Sunset';") << true << "Café del Mar - Sunset" << "";
    QTest::newRow("url only") << QByteArray("StreamUrl='http://u';") << false << "" << "";
    QTest::newRow("empty") << QByteArray() << false << "" << "";
    QTest::newRow("other text") << QByteArray("Artist - Song") << false << "" << "";
    // clang-format on
}

void TestMetadataParse::icyMeta()
{
    QFETCH(QByteArray, block);
    MetaTitle title;
    QTEST(ParseIcyMeta(block, nullptr, title), "recognised");
    QTEST(title.title, "title");
    QTEST(title.streamUrl, "streamUrl");
    QCOMPARE(title.duration, 0);
}

void TestMetadataParse::icyRawBlock()
{
    // The raw block is the decoded text without the block's zero padding; the code page of the
    // station applies to blocks that are not UTF-8.
    MetaTitle title;
    QVERIFY(ParseIcyMeta(bytes("StreamTitle='\xca\xe8\xed\xee - \xc3\xf0\xf3\xef\xef\xe0';\0\0"),
                         "Windows-1251", title));
    QCOMPARE(title.rawBlock, QStringLiteral("StreamTitle='Кино - Группа';"));
    QCOMPARE(title.title, QStringLiteral("Кино - Группа"));
}

void TestMetadataParse::wmaMeta_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("recognised");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("streamUrl");
    QTest::addColumn<int>("duration");

    QTest::newRow("caption=") << QByteArray("CAPTION=Artist - Song") << true << "Artist - Song" << "" << 0;
    QTest::newRow("caption :") << QByteArray("CAPTION : Artist - Song (Live)") << true << "Artist - Song" << "" << 0;
    QTest::newRow("caption ends at line break") << QByteArray("caption=Artist - Song\r\nnext line") << true << "Artist - Song" << "" << 0;
    QTest::newRow("caption after a prefix") << QByteArray("cmd CAPTION=A - B") << true << "A - B" << "" << 0;
    QTest::newRow("caption with address") << QByteArray("CAPTION=http://ads.example/x") << true << "" << "" << 0;
    QTest::newRow("caption with secure address") << QByteArray("CAPTION=Visit https://ads.example") << true << "" << "" << 0;

    QTest::newRow("artist title duration") << QByteArray("artist=Queen&title=Bohemian Rhapsody&duration=354&") << true << "Queen - Bohemian Rhapsody" << "" << 354;
    QTest::newRow("data with artist, escaped") << QByteArray("data=artist=AC%2FDC&title=Back%20In%20Black&") << true << "AC/DC - Back In Black" << "" << 0;
    QTest::newRow("empty artist gives no dash") << QByteArray("artist=&title=Song&") << true << "Song" << "" << 0;
    QTest::newRow("duration not a number") << QByteArray("artist=A&title=B&duration=abc&") << true << "A - B" << "" << 0;
    QTest::newRow("data first item and title") << QByteArray("data=Queen&title=Bohemian%20Rhapsody&x") << true << "Queen - Bohemian Rhapsody" << "" << 0;
    QTest::newRow("data first item only") << QByteArray("data : Queen%20Live&x=1") << true << "Queen Live" << "" << 0;
    QTest::newRow("data up to encoded bracket") << QByteArray("data=Queen%20-%20Innuendo%28Live%29") << true << "Queen - Innuendo" << "" << 0;

    QTest::newRow("tuner") << QByteArray("TUNER=FM|Artist%20Name|Song%20Title|x") << true << "Artist Name - Song Title" << "" << 0;
    QTest::newRow("tuner without artist") << QByteArray("TUNER=FM||Song") << true << "Song" << "" << 0;
    QTest::newRow("tuner without fields") << QByteArray("TUNER=nothing") << true << "" << "" << 0;

    QTest::newRow("xml") << QByteArray("XML=<item/>") << true << "" << "" << 0;

    QTest::newRow("igimptext") << QByteArray("igimptext : Artist~Song~x") << true << "Artist - Song" << "" << 0;
    QTest::newRow("igimptext empty field") << QByteArray("igimptext : Artist~~x") << true << "" << "" << 0;
    QTest::newRow("igimptext no artist") << QByteArray("igimptext : ~Song~") << true << "Song" << "" << 0;

    QTest::newRow("text : current artist and song") << QByteArray("text : Now&currentArtist=Queen&currentSong=Innuendo&") << true << "Queen - Innuendo" << "" << 0;
    QTest::newRow("text : two ampersands") << QByteArray("text : Now&&currentArtist=Queen&") << true << "" << "" << 0;
    QTest::newRow("text : song only") << QByteArray("text : x&currentSong=Solo&") << true << "Solo" << "" << 0;

    QTest::newRow("key=value") << QByteArray("TEXT=Artist - Song") << true << "Artist - Song" << "" << 0;
    QTest::newRow("first separator wins") << QByteArray("TEXT=News at 12:30") << true << "News at 12:30" << "" << 0;
    QTest::newRow("escaped value") << QByteArray("TEXT=Caf%C3%A9 - Song") << true << "Café - Song" << "" << 0;
    QTest::newRow("XML: is decoded") << QByteArray("XML: Artist%20-%20Song") << true << "Artist - Song" << "" << 0;
    QTest::newRow("url command") << QByteArray("URL=http://station.example/") << true << "" << "http://station.example/" << 0;
    QTest::newRow("bare address") << QByteArray("TEXT=https://station.example/") << true << "" << "https://station.example/" << 0;
    QTest::newRow("no separator") << QByteArray("plain words") << false << "" << "" << 0;
    QTest::newRow("empty") << QByteArray() << false << "" << "" << 0;
    // clang-format on
}

void TestMetadataParse::wmaMeta()
{
    QFETCH(QByteArray, block);
    MetaTitle title;
    QTEST(ParseWmaMeta(block, nullptr, title), "recognised");
    QTEST(title.title, "title");
    QTEST(title.streamUrl, "streamUrl");
    QTEST(int(title.duration), "duration");
    QCOMPARE(title.rawBlock, QString::fromUtf8(block));
}

void TestMetadataParse::oggTitle_data()
{
    // clang-format off
    QTest::addColumn<QByteArrayList>("comments");
    QTest::addColumn<bool>("recognised");
    QTest::addColumn<QString>("title");

    QTest::newRow("artist and title") << QByteArrayList{"TITLE=Song", "ARTIST=Artist"} << true << "Artist - Song";
    QTest::newRow("keys in any case") << QByteArrayList{"title=Song", "Artist=Artist"} << true << "Artist - Song";
    QTest::newRow("title only") << QByteArrayList{"TITLE=Song"} << true << "Song";
    QTest::newRow("empty artist") << QByteArrayList{"ARTIST=", "TITLE=Song"} << true << "Song";
    QTest::newRow("programme after ::") << QByteArrayList{"TITLE=Song :: Morning Show"} << true << "Song";
    QTest::newRow(":: and line feed") << QByteArrayList{"TITLE=Song\nmore::x"} << true << "Song";
    QTest::newRow("value keeps later =") << QByteArrayList{"TITLE=E=mc2"} << true << "E=mc2";
    QTest::newRow("8-bit comment") << QByteArrayList{"TITLE=Caf\xe9"} << true << "Café";
    QTest::newRow("unrelated comments") << QByteArrayList{"ENCODER=Lavf59", "GENRE=Rock"} << false << "";
    QTest::newRow("no separator") << QByteArrayList{"TITLE"} << false << "";
    QTest::newRow("none") << QByteArrayList{} << false << "";
    // clang-format on
}

void TestMetadataParse::oggTitle()
{
    QFETCH(QByteArrayList, comments);
    MetaTitle title;
    QTEST(ParseOggTitle(comments, nullptr, title), "recognised");
    QTEST(title.title, "title");
    // The comments, one a line, are the raw block that the template rules look at.
    QCOMPARE(title.rawBlock, DecodeTagText(comments.join('\n'), nullptr));
}

void TestMetadataParse::metaBlock_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("recognised");
    QTest::addColumn<QString>("title");

    QTest::newRow("icy") << QByteArray("StreamTitle='A - B';") << true << "A - B";
    QTest::newRow("wma caption") << QByteArray("CAPTION=C - D") << true << "C - D";
    QTest::newRow("wma key value") << QByteArray("TITLE=E - F") << true << "E - F";
    QTest::newRow("nothing known") << QByteArray("<songtitle>x</songtitle>") << false << "";
    // clang-format on
}

void TestMetadataParse::metaBlock()
{
    QFETCH(QByteArray, block);
    MetaTitle title;
    QTEST(ParseMetaBlock(block, nullptr, title), "recognised");
    QTEST(title.title, "title");
    // Whatever parser decided, the raw block is there for the template rules.
    QCOMPARE(title.rawBlock, QString::fromUtf8(block));
}

void TestMetadataParse::parsersStartAfresh()
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

void TestMetadataParse::tagString_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("memory");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("short") << bytes("abc\0def") << QByteArray("abc");
    QTest::newRow("empty") << bytes("\0") << QByteArray();
    QTest::newRow("over the bound") << QByteArray(5000, 'a') + '\0' << QByteArray(4096, 'a');
    // A two-byte character across the bound is left out whole.
    QTest::newRow("utf-8 across the bound") << QByteArray(4095, 'a') + "\xc3\xa9xyz" + '\0' << QByteArray(4095, 'a');
    QTest::newRow("three-byte character across the bound") << QByteArray(4094, 'a') + "\xe2\x82\xac!" + '\0' << QByteArray(4094, 'a');
    QTest::newRow("8-bit bytes cut where asked") << QByteArray(4095, 'a') + "\xe9\xe9\xe9" + '\0' << QByteArray(4095, 'a') + "\xe9";
    // clang-format on
}

void TestMetadataParse::tagString()
{
    QFETCH(QByteArray, memory);
    QTEST(TagString(memory.constData()), "expected");
    QCOMPARE(TagString(nullptr), QByteArray());
}

void TestMetadataParse::tagList()
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

void TestMetadataParse::hugeBlocksAreBounded_data()
{
    // clang-format off
    // Only the first 4096 bytes of a block are read; the title is what they hold.
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("titleLength");
    QTest::newRow("icy") << "StreamTitle='" + QByteArray(100000, 'A') + " - B';" << 4096 - 13;
    QTest::newRow("icy many quotes") << "StreamTitle='" + QByteArray(100000, '\'') + "';" << 4096 - 14;
    QTest::newRow("icy many closers") << "StreamTitle='" + QByteArray("';").repeated(50000) << 0;
    QTest::newRow("wma") << "artist=" + QByteArray(100000, 'A') + "&title=B&" << 4096 - 7;
    QTest::newRow("wma escapes") << "TEXT=" + QByteArray("%41").repeated(50000) << (4096 - 5) / 3 + 2;
    // clang-format on
}

void TestMetadataParse::hugeBlocksAreBounded()
{
    QFETCH(QByteArray, block);
    MetaTitle title;
    QVERIFY(ParseMetaBlock(block, nullptr, title));
    QCOMPARE(title.rawBlock.size(), MaxMetaBlockBytes);
    QTEST(int(title.title.size()), "titleLength");
}

void TestMetadataParse::headers_data()
{
    // clang-format off
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QByteArray>("codePage");
    QTest::addColumn<StringMap>("fields");

    QTest::newRow("icy headers") << "http" << QByteArrayList{"ICY 200 OK", "icy-name:Radio One", "icy-genre: Rock ", "icy-url: http://r1.example:8000/", "icy-br:128", "icy-metaint:16000"} << QByteArray() << fields({{"name", "Radio One"}, {"genre", "Rock"}, {"url", "http://r1.example:8000/"}, {"bitrate", "128"}});
    QTest::newRow("ice headers, keys in any case") << "http" << QByteArrayList{"HTTP/1.0 200 OK", "Ice-Name: Two", "ICE-GENRE: Jazz", "ice-url: u", "ice-br: 64"} << QByteArray() << fields({{"name", "Two"}, {"genre", "Jazz"}, {"url", "u"}, {"bitrate", "64"}});
    QTest::newRow("audio info bitrate") << "http" << QByteArrayList{"ice-audio-info: ice-samplerate=44100;ice-bitrate=192;ice-channels=2"} << QByteArray() << fields({{"bitrate", "192"}});
    QTest::newRow("audio info bitrate last") << "http" << QByteArrayList{"icy-audio-info: channels=2;bitrate=96"} << QByteArray() << fields({{"bitrate", "96"}});
    QTest::newRow("audio info without bitrate") << "http" << QByteArrayList{"icy-audio-info: channels=2"} << QByteArray() << fields({});
    QTest::newRow("8-bit name in the station's code page") << "http" << QByteArrayList{"icy-name: \xd0\xe0\xe4\xe8\xee"} << QByteArray("Windows-1251") << fields({{"name", "Радио"}});
    QTest::newRow("utf-8 name") << "http" << QByteArrayList{"icy-name: Радио"} << QByteArray("Windows-1251") << fields({{"name", "Радио"}});

    QTest::newRow("wma header") << "wma" << QByteArrayList{"title=Station", "WM/Genre=Jazz", "Bitrate=128000", "WMA_Duration=0", "copyright=C", "author=A", "Seekable=false", "Stridable=false", "Broadcast=true", "Is_Protected=false", "Is_Trusted=true"} << QByteArray() << fields({{"name", "Station"}, {"title", "Station"}, {"genre", "Jazz"}, {"bitrate", "128"}, {"duration", "0"}, {"copyright", "C"}, {"author", "A"}, {"seekable", "false"}, {"stridable", "false"}, {"broadcast", "true"}, {"isProtected", "false"}, {"isTrusted", "true"}});
    QTest::newRow("wma bitrate rounds down") << "wma" << QByteArrayList{"Bitrate=64999"} << QByteArray() << fields({{"bitrate", "64"}});
    QTest::newRow("wma bitrate not a number") << "wma" << QByteArrayList{"Bitrate=fast", "bitrate=-5"} << QByteArray() << fields({});

    QTest::newRow("ogg comments") << "ogg" << QByteArrayList{"ARTIST=x", "title=Song", "ENCODER=y"} << QByteArray() << fields({{"name", "Song"}, {"title", "Song"}});
    // clang-format on
}

void TestMetadataParse::headers()
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

void TestMetadataParse::tagsTextIsReplacedNotAccumulated()
{
    // Headers are read again on every title change; the report text must not grow with them.
    StreamInfo info;
    const QByteArrayList lines{"ICY 200 OK", "icy-name:One"};
    QVERIFY(ParseHttpHeaders(lines, nullptr, info));
    QVERIFY(ParseHttpHeaders(lines, nullptr, info));
    QCOMPARE(info.tagsText, QStringLiteral("ICY 200 OK\nicy-name:One\n"));
}

TUNORA_TEST_MAIN_CORE(TestMetadataParse)
#include "tst_metadataparse.moc"
