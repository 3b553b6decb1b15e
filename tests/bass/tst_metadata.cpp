// The tag parsers (ICY metadata blocks, Windows Media script commands, Ogg comments, the engine's
// tag memory and the stream-header lists), code pages for stations and the decoding of tag text,
// the title filter list, and the way from a title block to one artist and one song: split rules,
// templates, cleaning, the repeat test and the acceptance into the current song.

#include "codepage.h"
#include "metadata.h"
#include "song.h"
#include "streaminfo.h"
#include "testmain.h"
#include "titlefilter.h"

#include <QStringDecoder>
#include <QThread>

#include <atomic>

using namespace BASS;
using namespace Qt::Literals::StringLiterals;

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

// Bytes of a literal, zero bytes included.
template<std::size_t N>
QByteArray bytes(const char (&literal)[N])
{
    return QByteArray(literal, qsizetype(N - 1));
}

// Collects the lines ProcessMetaData writes to the debug output while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        s_lines = &m_lines;
        m_previous = qInstallMessageHandler(handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_lines = nullptr;
    }
    QStringList lines() const { return m_lines; }

private:
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        if (s_lines && message.startsWith(QLatin1String("ProcessMetaData")))
            s_lines->append(message);
    }
    static inline QStringList *s_lines = nullptr;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

const QString CalledWith = QStringLiteral("ProcessMetaData called with title: ");
const QString EmptyBoth = QStringLiteral("ProcessMetaData called with empty artist and song title!");
const QString EmptyArtist = QStringLiteral("ProcessMetaData called with empty artist!");
const QString Repeat = QStringLiteral("ProcessMetaData called with same artist and song title!");

} // namespace

class TestMetadata : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { TitleFilter::Clear(); }

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
        // name|genre|url|bitrate|title|duration|copyright|author|seekable|stridable|broadcast|isProtected|isTrusted
        QTest::addColumn<QString>("fields");

        QTest::newRow("icy headers") << "http" << QByteArrayList{"ICY 200 OK", "icy-name:Radio One", "icy-genre: Rock ", "icy-url: http://r1.example:8000/", "icy-br:128", "icy-metaint:16000"} << QByteArray() << u"Radio One|Rock|http://r1.example:8000/|128|||||||||"_s;
        QTest::newRow("audio info bitrate") << "http" << QByteArrayList{"ice-audio-info: ice-samplerate=44100;ice-bitrate=192;ice-channels=2"} << QByteArray() << u"|||192|||||||||"_s;
        QTest::newRow("8-bit name in the station's code page") << "http" << QByteArrayList{"icy-name: \xd0\xe0\xe4\xe8\xee"} << QByteArray("Windows-1251") << u"Радио||||||||||||"_s;

        QTest::newRow("wma header") << "wma" << QByteArrayList{"title=Station", "WM/Genre=Jazz", "Bitrate=128000", "WMA_Duration=0", "copyright=C", "author=A", "Seekable=false", "Stridable=false", "Broadcast=true", "Is_Protected=false", "Is_Trusted=true"} << QByteArray() << u"Station|Jazz||128|Station|0|C|A|false|false|true|false|true"_s;

        QTest::newRow("ogg comments") << "ogg" << QByteArrayList{"ARTIST=x", "title=Song", "ENCODER=y"} << QByteArray() << u"Song||||Song||||||||"_s;
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
        const QStringList fields{info.name,     info.genre,     info.url,       info.bitrate,
                                 info.title,    info.duration,  info.copyright, info.author,
                                 info.seekable, info.stridable, info.broadcast, info.isProtected,
                                 info.isTrusted};
        QTEST(fields.join(QLatin1Char('|')), "fields");
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

    // An empty template splits the title at its separators; any other is matched against the text.
    void splitOrMatch_data()
    {
        // clang-format off
        QTest::addColumn<QString>("titleTemplate");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("song");

        QTest::newRow("artist - song") << "" << "Artist - Song" << "Artist" << "Song";
        QTest::newRow("hyphen in the artist") << "" << "A-ha - Take On Me" << "A-ha" << "Take On Me";
        QTest::newRow("programme name dropped") << "" << "Show - Artist - Song" << "Artist" << "Song";
        QTest::newRow("three separators") << "" << "Artist - Song - Remix - Label" << "Artist" << "Song - Remix - Label";
        QTest::newRow("dash without blanks") << "" << "Artist-Song" << "Artist" << "Song";
        QTest::newRow("tilde") << "" << "Artist~Song~x" << "Artist" << "Song";
        QTest::newRow("tilde before dashes") << "" << "A - B~C - D~" << "A - B" << "C - D";
        QTest::newRow("now on, next") << "" << "Now On: Artist - Song Next: Other - Thing" << "Artist" << "Song";
        QTest::newRow("now on, bar, next") << "" << "Now On: Artist - Song | Next: Other - Thing" << "Artist" << "Song";
        QTest::newRow("next before now on") << "" << "Next: X - Y Now On: Artist - Song" << "Artist" << "Song";
        QTest::newRow("now on without next") << "" << "Now On: Artist - Song" << "Now On: Artist" << "Song";
        QTest::newRow("no dash") << "" << "Station Jingle" << "Station Jingle" << "";
        const QString query = QStringLiteral("<s>artist=<Artist>&<s>title=<Song>&");
        const QString xml = QStringLiteral("<s>songtitle><Song></songtitle><s>artistname><Artist></artistname");
        QTest::newRow("query items") << query << "type=song&artist=X&title=Y&" << "X" << "Y";
        QTest::newRow("query, keys in other case") << query << "ARTIST=Queen&TITLE=Innuendo&" << "Queen" << "Innuendo";
        QTest::newRow("query, literal missing") << query << "nothing here" << "nothing here" << "";
        QTest::newRow("xml elements among others") << xml << "<x><songtitle>Innuendo</songtitle><other/><artistname>Queen</artistname></x>" << "Queen" << "Innuendo";
        QTest::newRow("separator character") << "<Artist>|<Song>" << "Queen|Innuendo" << "Queen" << "Innuendo";
        QTest::newRow("blank skips to the next character") << "a =<Artist>" << "a junk=Queen" << "Queen" << "";
        QTest::newRow("sc skips one character") << "<sc><Artist>/<Song>" << "#Queen/Innuendo" << "Queen" << "Innuendo";
        QTest::newRow("unclosed tag") << "<Artist" << "Queen" << "Queen" << "";
        // clang-format on
    }

    void splitOrMatch()
    {
        QFETCH(QString, titleTemplate);
        QFETCH(QString, text);
        QString artist = QStringLiteral("stale"), song = QStringLiteral("stale");
        if (titleTemplate.isEmpty())
            SplitTitle(text, &artist, &song);
        else
            MatchTitleTemplate(titleTemplate, text, &artist, &song);
        QTEST(artist, "artist");
        QTEST(song, "song");
    }

    void cleanTitleText_data()
    {
        // clang-format off
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cleaned");

        QTest::newRow("escaped slash") << "AC%2FDC" << "AC/DC";
        QTest::newRow("plus is a blank") << "Hello+World" << "Hello World";
        QTest::newRow("escaped 8-bit") << "Caf%E9" << "Café";
        QTest::newRow("stray ampersand in escaped text removed") << "Rock%20&Roll" << "Rock Roll";
        QTest::newRow("percent that escapes nothing") << "100% Rock & Roll" << "100% Rock  Roll";
        QTest::newRow("amp") << "Simon &amp; Garfunkel" << "Simon & Garfunkel";
        QTest::newRow("decoded once") << "&amp;lt;" << "&lt;";
        QTest::newRow("decimal references") << "&#1055;&#1088;&#1080;&#1074;&#1077;&#1090;" << "Привет";
        QTest::newRow("reference beyond the BMP") << "&#x1F3B5; Song" << QStringLiteral("\U0001F3B5 Song");
        QTest::newRow("reference to nothing") << "&#0;" << "&#0;";
        QTest::newRow("reference too long") << "&#000000001055;" << "&#000000001055;";
        QTest::newRow("unknown entity") << "&copy; x" << "&copy; x";
        // clang-format on
    }

    void cleanTitleText()
    {
        QFETCH(QString, text);
        QTEST(CleanTitleText(text), "cleaned");
    }

    void processMetaData_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QString>("stationTemplate");
        QTest::addColumn<QStringList>("current"); // artist, title of the song playing before
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("song");
        QTest::addColumn<QStringList>("log");

        const QStringList none;
        const auto called = [](const char *title) -> QString { return CalledWith + QString::fromUtf8(title); };

        QTest::newRow("ampersand entity") << QByteArray("StreamTitle='Simon &amp; Garfunkel - The Boxer';StreamUrl='';") << "" << none << true << "Simon & Garfunkel" << "The Boxer" << QStringList{called("Simon &amp; Garfunkel - The Boxer")};
        QTest::newRow("empty title") << QByteArray("StreamTitle='';StreamUrl='';") << "" << none << false << "" << "" << QStringList{called(""), EmptyBoth};
        QTest::newRow("empty artist") << QByteArray("StreamTitle=' - Song';") << "" << none << false << "" << "" << QStringList{called(" - Song"), EmptyArtist};
        QTest::newRow("query block selects the first template") << QByteArray("type=song&artist=X&title=Y&") << "" << none << true << "X" << "Y" << QStringList{called("song&artist=X&title=Y&")};
        QTest::newRow("xml block selects the second template") << QByteArray("<songtitle>Foo</songtitle><artistname>Bar</artistname>") << "" << none << true << "Bar" << "Foo" << QStringList{called("")};
        QTest::newRow("station template applies to the icy title") << QByteArray("StreamTitle='Queen|Innuendo';") << "<Artist>|<Song>" << none << true << "Queen" << "Innuendo" << QStringList{called("Queen|Innuendo")};
        QTest::newRow("station template with a quote applies to the block") << QByteArray("StreamTitle='Queen|Innuendo';") << "StreamTitle='<Artist>|<Song>'" << none << true << "Queen" << "Innuendo" << QStringList{called("Queen|Innuendo")};
        QTest::newRow("repeat") << QByteArray("StreamTitle='Artist - Song';") << "" << QStringList{u"Artist"_s, u"Song"_s} << false << "Artist" << "Song" << QStringList{called("Artist - Song"), Repeat};
        QTest::newRow("shorter repeat") << QByteArray("StreamTitle='Artist - Song';") << "" << QStringList{u"Artist"_s, u"Song (Radio Edit)"_s} << false << "Artist" << "Song (Radio Edit)" << QStringList{called("Artist - Song"), Repeat};
        QTest::newRow("longer is new") << QByteArray("StreamTitle='Artist - Song (Radio Edit)';") << "" << QStringList{u"Artist"_s, u"Song"_s} << true << "Artist" << "Song (Radio Edit)" << QStringList{called("Artist - Song (Radio Edit)")};
        QTest::newRow("control characters kept out of the log") << QByteArray("StreamTitle='A\x1b[2J - B';") << "" << none << true << "A\x1b[2J" << "B" << QStringList{called("A?[2J - B")};
        // clang-format on
    }

    void processMetaData()
    {
        QFETCH(QByteArray, block);
        QFETCH(QString, stationTemplate);
        QFETCH(QStringList, current);

        MetaTitle in;
        ParseMetaBlock(block, nullptr, in);
        Song song;
        if (!current.isEmpty()) {
            song.setArtist(current.value(0));
            song.setTitle(current.value(1));
        }
        LogCapture log;
        QTEST(ProcessMetaData(in, stationTemplate, song), "accepted");
        QTEST(song.artist(), "artist");
        QTEST(song.title(), "song");
        QTEST(log.lines(), "log");
    }

    void acceptanceFillsTheSong()
    {
        const LogCapture quiet;
        Song song;
        song.setArtist(QStringLiteral("Old"));
        song.setTitle(QStringLiteral("Tune"));
        song.setStatus(SongPlaying);
        song.setAlbum(QStringLiteral("Old album"));
        song.setDuration(5);

        MetaTitle in;
        QVERIFY(ParseWmaMeta("artist=Queen&title=Innuendo&duration=390&", nullptr, in));
        in.streamUrl = QStringLiteral("http://station.example/now");
        QVERIFY(ProcessMetaData(in, QString(), song));
        QCOMPARE(song.artist(), QStringLiteral("Queen"));
        QCOMPARE(song.title(), QStringLiteral("Innuendo"));
        QCOMPARE(song.duration(), 390);
        QCOMPARE(song.streamUrl(), QStringLiteral("http://station.example/now"));
        // The song is a new record: nothing of the old one stays.
        QCOMPARE(song.album(), QString());
        QCOMPARE(song.status(), qint32(SongNoStatus));
        QVERIFY(song.timeStamp().isValid());

        // A block without a stream URL or duration leaves them empty.
        QVERIFY(ParseIcyMeta("StreamTitle='Next - One';", nullptr, in));
        QVERIFY(ProcessMetaData(in, QString(), song));
        QCOMPARE(song.duration(), 0);
        QCOMPARE(song.streamUrl(), QString());
    }

    void filteredBlockIsRejectedSilently()
    {
        TitleFilter::Add(MetaDataListItem(QStringLiteral("advert"), QString()));
        MetaTitle in;
        QVERIFY(ParseIcyMeta("StreamTitle='ADVERT - Buy now';", nullptr, in));
        Song song;
        LogCapture log;
        QVERIFY(!ProcessMetaData(in, QString(), song));
        QVERIFY(song.IsEmpty());
        QCOMPARE(log.lines(), QStringList());

        QVERIFY(ParseIcyMeta("StreamTitle='Artist - Song';", nullptr, in));
        QVERIFY(ProcessMetaData(in, QString(), song));
    }

    void hugeTitlesAreBounded()
    {
        const LogCapture quiet;
        // Titles and templates that do not come from a parser are bounded here too.
        MetaTitle in;
        in.title = QString(100000, QLatin1Char('A')) + QStringLiteral(" - B");
        in.rawBlock = QStringLiteral("StreamTitle='") + in.title + QStringLiteral("';");
        Song song;
        QVERIFY(ProcessMetaData(in, QString(), song));
        QCOMPARE(song.artist().size(), MaxMetaBlockBytes);
        QCOMPARE(song.title(), QString());

        QVERIFY(ProcessMetaData(in, QString(100000, QLatin1Char(' ')) + QStringLiteral("<Artist>"), song) ==
                false);
        QString artist, song2;
        MatchTitleTemplate(QStringLiteral("<Artist>"), QString(100000, QLatin1Char('x')), &artist, &song2);
        QCOMPARE(artist.size(), MaxMetaBlockBytes);
    }

    void codePageForLocation_data()
    {
        // clang-format off
        QTest::addColumn<QString>("location");
        QTest::addColumn<QByteArray>("codePage");

        // Each entry of the table maps to itself (everyCodePageIsKnown); these rows are about matching.
        QTest::newRow("country inside a location") << "Moscow, Russia" << QByteArray("Windows-1251");
        QTest::newRow("Roman is not Oman") << "Roman Radio, Italy" << QByteArray();
        QTest::newRow("search is case-sensitive") << "moscow, russia" << QByteArray();
        // clang-format on
    }

    void codePageForLocation()
    {
        QFETCH(QString, location);
        QFETCH(QByteArray, codePage);
        const char *found = CodePageForLocation(location);
        QCOMPARE(QByteArray(found), codePage);
    }

    void everyCodePageIsKnown()
    {
        // A name the decoder does not know would silently fall back to Windows-1252.
        for (const CodePageEntry &entry : CodePageTable()) {
            QVERIFY2(entry.codePage && QStringDecoder(entry.codePage).isValid(), entry.country);
            QCOMPARE(CodePageForLocation(QLatin1String(entry.country)), entry.codePage);
        }
    }

    void decode_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("codePage");
        QTest::addColumn<QString>("text");

        QTest::newRow("utf-8 wins over the code page") << QByteArray("Привет, мир") << QByteArray("Windows-1251") << QStringLiteral("Привет, мир");
        QTest::newRow("windows-1251") << QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2\x2c\x20\xec\xe8\xf0") << QByteArray("Windows-1251") << QStringLiteral("Привет, мир");
        QTest::newRow("shift-jis") << QByteArray("\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x89\xcc") << QByteArray("Shift-JIS") << QStringLiteral("日本語の歌");
        QTest::newRow("no code page: windows-1252") << QByteArray("\x43\x61\x66\xe9\x20\x96\x20\x93\x44\xe9\x6a\xe0\x20\x76\x75\x94") << QByteArray() << QStringLiteral("Café – “Déjà vu”");
        QTest::newRow("unknown code page: windows-1252") << QByteArray("Caf\xe9") << QByteArray("x-no-such-page") << QStringLiteral("Café");
        QTest::newRow("truncated utf-8 is 8-bit") << QByteArray("Caf\xc3") << QByteArray() << QStringLiteral("CafÃ");
        // clang-format on
    }

    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, codePage);
        QTEST(DecodeTagText(bytes, codePage.isEmpty() ? nullptr : codePage.constData()), "text");
    }

    void plainBytesNeverBecomeReplacementCharacters()
    {
        // Every byte of an 8-bit title without a code page decodes to a character of its own, also
        // the five that Windows-1252 leaves unassigned.
        for (int byte = 0x80; byte <= 0xff; ++byte) {
            const QByteArray bytes = QByteArray("Title ") + char(byte);
            const QString text = DecodeTagText(bytes, nullptr);
            QCOMPARE(text.size(), 7);
            QVERIFY2(text.at(6) != QChar::ReplacementCharacter, QByteArray::number(byte, 16).constData());
        }
    }

    void titleFilter_data()
    {
        // clang-format off
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("filtered");

        QTest::newRow("contains, ignoring case") << "" << "advert" << "StreamTitle='ADVERT break';" << true;
        QTest::newRow("does not contain") << "" << "advert" << "Artist - Song" << false;
        QTest::newRow("regex found") << "RegEx" << "^\\d+$" << "12345" << true;
        QTest::newRow("regex is case-sensitive") << "RegEx" << "Jingle" << "jingle" << false;
        QTest::newRow("invalid regex") << "RegEx" << "(" << "(" << false;
        QTest::newRow("chars: one of them") << "Chars" << "#@" << "Song #1" << true;
        QTest::newRow("abs: equal") << "Abs" << "Advert" << "Advert" << true;
        QTest::newRow("abs: other case") << "Abs" << "Advert" << "advert" << false;
        QTest::newRow("empty pattern matches nothing") << "" << "" << "Artist - Song" << false;
        // clang-format on
    }

    void titleFilter()
    {
        QFETCH(QString, kind);
        QFETCH(QString, pattern);
        QFETCH(QString, title);
        QFETCH(bool, filtered);

        TitleFilter::Clear();
        QVERIFY(!IsTitleFiltered(title));
        {
            const MetaDataListItem item(pattern, kind);
            QCOMPARE(item.matches(title), filtered);
            TitleFilter::Add(item);
        }
        // The list keeps an entry of its own: the item may go away.
        QCOMPARE(IsTitleFiltered(title), filtered);
        TitleFilter::Clear();
        QVERIFY(!IsTitleFiltered(title));
    }

    void titleFilterAcrossThreads()
    {
        // Sync threads read the list while the GUI thread changes it.
        TitleFilter::Clear();
        std::atomic<bool> stop{false};
        std::atomic<int> reads{0};
        QList<QThread *> readers;
        for (int i = 0; i < 2; ++i) {
            readers.append(QThread::create([&] {
                while (!stop) {
                    IsTitleFiltered(QStringLiteral("Artist - Advert 42"));
                    ++reads;
                }
            }));
            readers.last()->start();
        }
        for (int round = 0; round < 300; ++round) {
            TitleFilter::Add(MetaDataListItem(QStringLiteral("Advert \\d+"), QStringLiteral("RegEx")));
            TitleFilter::Add(MetaDataListItem(QStringLiteral("advert"), QString()));
            if (round % 3 == 0)
                TitleFilter::Clear();
        }
        QTRY_VERIFY(reads > 100);
        stop = true;
        for (QThread *t : readers) {
            QVERIFY(t->wait(10000));
            delete t;
        }
        QVERIFY(IsTitleFiltered(QStringLiteral("Artist - Advert 42")));
        TitleFilter::Clear();
    }
};

TUNORA_TEST_MAIN_CORE(TestMetadata)
#include "tst_metadata.moc"
