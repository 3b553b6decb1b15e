// From a title block to one artist and one song: split rules, templates, cleaning, the repeat
// test and the acceptance into the current song.

#include "metadata.h"
#include "song.h"
#include "testmain.h"
#include "titlefilter.h"

using namespace BASS;

namespace {

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

QStringList strings(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list.append(QString::fromUtf8(text));
    return list;
}

const QString CalledWith = QStringLiteral("ProcessMetaData called with title: ");
const QString EmptyBoth = QStringLiteral("ProcessMetaData called with empty artist and song title!");
const QString EmptyArtist = QStringLiteral("ProcessMetaData called with empty artist!");
const QString Repeat = QStringLiteral("ProcessMetaData called with same artist and song title!");

} // namespace

class TestMetadataProcess : public QObject
{
    Q_OBJECT
private slots:

    void cleanup() { TitleFilter::Clear(); }

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

        QTest::newRow("icy artist - song") << QByteArray("StreamTitle='Artist - Song';StreamUrl='';") << "" << none << true << "Artist" << "Song" << QStringList{called("Artist - Song")};
        QTest::newRow("ampersand entity") << QByteArray("StreamTitle='Simon &amp; Garfunkel - The Boxer';StreamUrl='';") << "" << none << true << "Simon & Garfunkel" << "The Boxer" << QStringList{called("Simon &amp; Garfunkel - The Boxer")};
        QTest::newRow("empty title") << QByteArray("StreamTitle='';StreamUrl='';") << "" << none << false << "" << "" << QStringList{called(""), EmptyBoth};
        QTest::newRow("empty artist") << QByteArray("StreamTitle=' - Song';") << "" << none << false << "" << "" << QStringList{called(" - Song"), EmptyArtist};
        QTest::newRow("query block selects the first template") << QByteArray("type=song&artist=X&title=Y&") << "" << none << true << "X" << "Y" << QStringList{called("song&artist=X&title=Y&")};
        QTest::newRow("xml block selects the second template") << QByteArray("<songtitle>Foo</songtitle><artistname>Bar</artistname>") << "" << none << true << "Bar" << "Foo" << QStringList{called("")};
        QTest::newRow("station template applies to the icy title") << QByteArray("StreamTitle='Queen|Innuendo';") << "<Artist>|<Song>" << none << true << "Queen" << "Innuendo" << QStringList{called("Queen|Innuendo")};
        QTest::newRow("station template with a quote applies to the block") << QByteArray("StreamTitle='Queen|Innuendo';") << "StreamTitle='<Artist>|<Song>'" << none << true << "Queen" << "Innuendo" << QStringList{called("Queen|Innuendo")};
        QTest::newRow("repeat") << QByteArray("StreamTitle='Artist - Song';") << "" << strings({"Artist", "Song"}) << false << "Artist" << "Song" << QStringList{called("Artist - Song"), Repeat};
        QTest::newRow("shorter repeat") << QByteArray("StreamTitle='Artist - Song';") << "" << strings({"Artist", "Song (Radio Edit)"}) << false << "Artist" << "Song (Radio Edit)" << QStringList{called("Artist - Song"), Repeat};
        QTest::newRow("longer is new") << QByteArray("StreamTitle='Artist - Song (Radio Edit)';") << "" << strings({"Artist", "Song"}) << true << "Artist" << "Song (Radio Edit)" << QStringList{called("Artist - Song (Radio Edit)")};
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
};

TUNORA_TEST_MAIN_CORE(TestMetadataProcess)
#include "tst_metadataprocess.moc"
