// The readers of whole directory replies: station lists with paging and network maps,
// "playing now", regions with subsections, the genre tree, news and the account.

#include "directoryreader.h"
#include "testmain.h"

using namespace BASS;

namespace {

QStringList sl(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

// One station in one line: id|name|country|location|genres|website|network|favourite|song|streams
QString describe(const Station &s)
{
    QStringList streams;
    for (const StationStream *st : s.streams())
        streams << QStringLiteral("%1,%2,%3").arg(st->url).arg(st->bitrate).arg(st->format);
    return QStringList{s.id(),
                       s.name(),
                       s.country(),
                       s.location(),
                       s.genres(),
                       s.website(),
                       s.network(),
                       s.favorite() ? QStringLiteral("fav") : QString(),
                       s.nowPlaying().IsEmpty() ? QString()
                                                : s.nowPlaying().artist() + u(" - ") + s.nowPlaying().title(),
                       streams.join(QLatin1Char(';'))}
        .join(QLatin1Char('|'));
}

QString describe(const Country &c)
{
    QString text = c.name() + u("(") + c.code() + u(",") + c.search() + u(")");
    if (!c.subsections().isEmpty()) {
        QStringList subs;
        for (const Country *sub : c.subsections())
            subs << describe(*sub) + (sub->isSubsection() ? QString() : u("!not-marked"));
        text += u("[") + subs.join(QLatin1Char(',')) + u("]");
    }
    return text;
}

QString describe(const Genre &g)
{
    QString text = g.name();
    if (!g.description().isEmpty())
        text += u("{") + g.description() + u("}");
    if (g.search() != Genre::SearchTerm(g.name()))
        text += u("!search");
    if (g.subgenres()) {
        QStringList subs;
        for (const Genre *sub : *g.subgenres())
            subs << describe(*sub) + (sub->parent() == &g ? QString() : u("!parent"));
        text += u("[") + subs.join(QLatin1Char(',')) + u("]");
    }
    return text;
}

const char *FullStation = "<station>"
                          "<id>17</id><name>Rock &amp; Roll FM</name>"
                          "<streams>"
                          "<stream><url_listen>http://s.example/rock.mp3</url_listen><bitrate>128</bitrate>"
                          "<type>mp3</type></stream>"
                          "<stream><url_listen>http://s.example/rock.aac?x=1&amp;y=2</url_listen>"
                          "<bitrate>64</bitrate><type>mp4</type></stream>"
                          "</streams>"
                          "<genres><genre><name>Rock</name></genre><genre><name>Pop</name></genre></genres>"
                          "<url_website>http://www.rock.example/</url_website>"
                          "<country_name>Germany</country_name><location>Berlin</location>"
                          "<whatsplaying><artist>The Band</artist><song>A &lt;Song&gt;</song></whatsplaying>"
                          "<favorite>true</favorite>"
                          "</station>";

} // namespace

class TestDirectoryReader : public QObject
{
    Q_OBJECT

private slots:
    void stationList_data();
    void stationList();
    void networksAreRememberedAcrossReplies();
    void playingNow_data();
    void playingNow();
    void regions_data();
    void regions();
    void genres_data();
    void genres();
    void news_data();
    void news();
    void accountInfo_data();
    void accountInfo();
};

void TestDirectoryReader::stationList_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("stations");
    QTest::addColumn<QList<quint32>>("paging"); // total, limit, page count, remainder

    QTest::newRow("full station, 101 of 25")
        << u("<r><results_total>101</results_total><limit>25</limit>") + u(FullStation) + u("</r>")
        << QStringList{u(
               "17|Rock & Roll FM|Germany|Berlin|Rock, Pop|www.rock.example/||fav|The Band - A <Song>|"
               "http://s.example/rock.mp3,128,1;http://s.example/rock.aac?x=1&y=2,64,3")}
        << QList<quint32>{101, 25, 5, 1};
    QTest::newRow("100 of 25") << u("<r><results_total>100</results_total><limit>25</limit></r>")
                               << QStringList() << QList<quint32>{100, 25, 4, 0};
    QTest::newRow("no limit leaves pages at 0")
        << u("<r><results_total>7</results_total><station><id>1</id></station></r>")
        << QStringList{u("1|||||||||")} << QList<quint32>{7, 0, 0, 0};
    QTest::newRow("numbers not numeric") << u("<r><results_total>many</results_total><limit>x</limit></r>")
                                         << QStringList() << QList<quint32>{0, 0, 0, 0};
    QTest::newRow("tags in any case")
        << u("<R><Station><ID>1</ID></Station><STATION><Name>Two</Name></STATION></R>")
        << QStringList{u("1|||||||||"), u("|Two||||||||")} << QList<quint32>{0, 0, 0, 0};
    QTest::newRow("a station tag with attributes is not a station")
        << u("<r><station id=\"7\"><id>7</id></station><station><id>8</id></station></r>")
        << QStringList{u("8|||||||||")} << QList<quint32>{0, 0, 0, 0};
    QTest::newRow("stream types are exact")
        << u("<station><streams>"
             "<stream><url_listen>a</url_listen><type>MP3</type></stream>"
             "<stream><url_listen>b</url_listen><type>wm</type></stream>"
             "<stream><url_listen>c</url_listen><type>real</type></stream>"
             "<stream><url_listen>d</url_listen><type>ogg</type></stream>"
             "<stream><url_listen>e</url_listen><type>flac</type></stream>"
             "<stream><url_listen>f</url_listen><bitrate>128000</bitrate></stream>"
             "</streams></station>")
        << QStringList{u("|||||||||a,0,0;b,0,2;c,0,5;d,0,4;e,0,0;f,128000,0")} << QList<quint32>{0, 0, 0, 0};
    QTest::newRow("website prefix in capitals stays")
        << u("<station><url_website>HTTP://Loud.example</url_website></station>")
        << QStringList{u("|||||HTTP://Loud.example||||")} << QList<quint32>{0, 0, 0, 0};
    QTest::newRow("favourite only when exactly true")
        << u("<station><favorite>True</favorite></station><station><favorite>true</favorite></station>")
        << QStringList{u("|||||||||"), u("|||||||fav||")} << QList<quint32>{0, 0, 0, 0};
    QTest::newRow("location with stream credentials")
        << u("<station><location>Paris|Username=bob|Password=pw</location></station>")
        << QStringList{u("|||Paris||||||")} << QList<quint32>{0, 0, 0, 0};
    // Stations write their own (possibly empty) name and web site before the network block.
    QTest::newRow("networks by id within a reply")
        << u("<r><station><id>1</id><name>One</name><url_website></url_website><network><id>5</id>"
             "<name>Net Five</name><url_website>http://net5.example</url_website></network></station>"
             "<station><id>2</id><network_id>5</network_id></station>"
             "<station><id>3</id><url_website>http://own.example</url_website><network_id>5</network_id></"
             "station>"
             "<station><id>4</id><network_id>9</network_id></station></r>")
        << QStringList{u("1|One||||net5.example|Net Five|||"), u("2|||||net5.example|Net Five|||"),
                       u("3|||||own.example|Net Five|||"), u("4|||||||||")}
        << QList<quint32>{0, 0, 0, 0};
    QTest::newRow("a network's own web site read first is not learned")
        << u("<station><network><id>6</id><name>Six</name><url_website>http://six.example</url_website>"
             "</network></station><station><network_id>6</network_id></station>")
        << QStringList{u("6|Six||||six.example|Six|||"), u("||||||Six|||")} << QList<quint32>{0, 0, 0, 0};
    // Escaped markup inside a value stays text: it can never become an element of the station.
    QTest::newRow("escaped markup cannot inject fields")
        << u("<station><name>&lt;id&gt;666&lt;/id&gt;&lt;favorite&gt;true&lt;/favorite&gt;</name><id>7</id>"
             "</station>")
        << QStringList{u("7|<id>666</id><favorite>true</favorite>||||||||")} << QList<quint32>{0, 0, 0, 0};
    QTest::newRow("unfinished station is not read")
        << u("<r><station><id>1</id></station><station><id>2</id>") << QStringList{u("1|||||||||")}
        << QList<quint32>{0, 0, 0, 0};
    QTest::newRow("empty reply") << QString() << QStringList() << QList<quint32>{0, 0, 0, 0};
}

void TestDirectoryReader::stationList()
{
    QFETCH(QString, reply);
    QFETCH(QStringList, stations);
    QFETCH(QList<quint32>, paging);

    DirectoryReader reader;
    Station working;
    QStringList got;
    const StationPaging p = reader.readStationList(reply, working, [&] { got << describe(working); });
    QCOMPARE(got, stations);
    QCOMPARE((QList<quint32>{p.total, p.limit, p.pageCount, p.remainder}), paging);
    // The working station is left empty for the next reply.
    QVERIFY(working.id().isEmpty() && working.streams().isEmpty());
}

void TestDirectoryReader::networksAreRememberedAcrossReplies()
{
    DirectoryReader reader;
    Station working;
    QStringList networks;
    auto announce = [&] { networks << working.network(); };
    reader.readStationList(u("<station><network_id>5</network_id></station>"), working, announce);
    reader.readStationList(u("<station><network><id>5</id><name>Net Five</name></network></station>"),
                           working, announce);
    reader.readStationList(u("<station><network_id>5</network_id></station>"), working, announce);
    QCOMPARE(networks, sl({"", "Net Five", "Net Five"}));
    QCOMPARE(reader.networkName(u("5")), u("Net Five"));
}

void TestDirectoryReader::playingNow_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("stations");
    QTest::newRow("three stations")
        << u("<stations><station><station_id>5</station_id><whatsplaying><artist>A</artist><song>S</song>"
             "</whatsplaying></station><station><station_id>6</station_id></station>"
             "<station><station_id>7</station_id><whatsplaying><song>Only &amp; song</song></whatsplaying>"
             "</station></stations>")
        << sl({"5|A - S", "6|", "7| - Only & song"});
    QTest::newRow("empty") << QString() << QStringList();
}

void TestDirectoryReader::playingNow()
{
    QFETCH(QString, reply);
    QFETCH(QStringList, stations);
    DirectoryReader reader;
    Station working;
    QStringList got;
    reader.readPlayingNow(reply, working, [&] {
        got << working.id() + u("|") +
                   (working.nowPlaying().IsEmpty()
                        ? QString()
                        : working.nowPlaying().artist() + u(" - ") + working.nowPlaying().title());
    });
    QCOMPARE(got, stations);
}

void TestDirectoryReader::regions_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("regions");
    QTest::newRow("regions with subsections")
        << u("<regions><region><name>Europe</name><countries>"
             "<country><name>Germany</name><code>DE</code><search>country:DE</search></country>"
             "<country><name>United Kingdom</name><code>GB</code><search>country:GB</search><subsections>"
             "<subsection><name>Scotland</name><code>GB-SCT</code><search>state:SCT</search></subsection>"
             "<subsection><name>Wales</name><code>GB-WLS</code><search>state:WLS</search></subsection>"
             "</subsections></country></countries></region>"
             "<region><name>Oceania</name><countries><country><name>Fiji</name><code>FJ</code>"
             "<search>country:FJ</search></country></countries></region></regions>")
        << sl({"Europe: Germany(DE,country:DE); United Kingdom(GB,country:GB)[Scotland(GB-SCT,state:SCT),"
               "Wales(GB-WLS,state:WLS)]",
               "Oceania: Fiji(FJ,country:FJ)"});
    QTest::newRow("fields are read in order, without rewind")
        << u("<region><name>R</name><countries><country><code>XX</code><name>Late</name></country>"
             "</countries></region>")
        << sl({"R: Late(,)"});
    QTest::newRow("region without countries") << u("<region><name>Empty</name></region>") << sl({"Empty: "});
    QTest::newRow("entities in names")
        << u("<REGION><Name>Caf&amp;eacute; &amp; Co</Name></REGION>") << sl({"Caf&eacute; & Co: "});
    QTest::newRow("empty") << QString() << QStringList();
}

void TestDirectoryReader::regions()
{
    QFETCH(QString, reply);
    QFETCH(QStringList, regions);
    DirectoryReader reader;
    QStringList got;
    reader.readRegionList(reply, [&](const WorldRegion &region) {
        QStringList countries;
        for (const Country *c : region.countries())
            countries << describe(*c);
        got << region.name() + u(": ") + countries.join(u("; "));
    });
    QCOMPARE(got, regions);
}

void TestDirectoryReader::genres_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("genres");
    QTest::newRow("tree")
        << u("<?xml version=\"1.0\"?><genres>"
             "<genre><name>Rock</name><description>Loud &amp;amp; proud</description></genre>"
             "<genres><genre><name>Indie</name></genre><genres><genre><name>Shoegaze</name></genre></genres>"
             "<genre><name>Hard Rock</name></genre></genres>"
             "<genre><name>Jazz</name></genre><genres><genre><name>Bebop</name></genre></genres>"
             "<genre><name>Lonely</name></genre>"
             "</genres>")
        << sl({"Rock{Loud &amp; proud}[Hard Rock,Indie[Shoegaze]]", "Jazz[Bebop]"});
    QTest::newRow("genre without a name is skipped")
        << u("<genres><genre><name></name></genre><genres><genre><name>Orphan</name></genre></genres>"
             "<genre><name>Top</name></genre><genres><genre><name>Sub</name></genre></genres></genres>")
        << sl({"Top[Sub]"});
    QTest::newRow("same sub-genre twice is one entry")
        << u("<genres><genre><name>A</name></genre><genres><genre><name>X</name></genre>"
             "<genre><name>X</name></genre></genres></genres>")
        << sl({"A[X]"});
    QString deep = u("<genres><genre><name>Top</name></genre>");
    for (int i = 0; i < 5000; ++i)
        deep += u("<genres><genre><name>g</name></genre>");
    // Lists nested deeper than the limit are skipped; their genres land one level up.
    QString chain = u("g");
    for (int i = 0; i < DirectoryReader::MaxGenreDepth - 3; ++i)
        chain = u("g[") + chain + u("]");
    QTest::newRow("5000 nested lists") << deep << QStringList{u("Top[") + chain + u("]")};
    QTest::newRow("empty") << QString() << QStringList();
}

void TestDirectoryReader::genres()
{
    QFETCH(QString, reply);
    QFETCH(QStringList, genres);
    DirectoryReader reader;
    QStringList got;
    reader.readGenreList(reply, [&](const Genre &genre) {
        QVERIFY(!genre.parent());
        got << describe(genre);
    });
    QCOMPARE(got, genres);
}

void TestDirectoryReader::news_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("items"); // title, link, title, link ...
    QTest::newRow("rss")
        << u("<rss><channel><title>Feed</title><item><title>First.\nSecond!\r\nThird\nend</title>"
             "<link>https://news.example/\r\n1</link></item>"
             "<item><link>https://news.example/2</link><title>Link &amp;amp; "
             "title</title></item></channel></rss>")
        << sl({"First. Second! Third\nend", "https://news.example/1", "Link &amp; title",
               "https://news.example/2"});
    QTest::newRow("item without fields") << u("<item><x/></item>") << sl({"", ""});
    QTest::newRow("empty") << QString() << QStringList();
}

void TestDirectoryReader::news()
{
    QFETCH(QString, reply);
    QFETCH(QStringList, items);
    QStringList got;
    for (const NewsItem &item : DirectoryReader::readNews(reply))
        got << item.title << item.link;
    QCOMPARE(got, items);
}

void TestDirectoryReader::accountInfo_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("all fields")
        << u("<account><username>bob</username><mail>bob@example.org</mail><location_string>Paris, FR"
             "</location_string><country_code>FR</country_code><country_name>France</country_name></account>")
        << sl({"bob", "Paris, FR", "bob@example.org", "FR", "France"});
    QTest::newRow("first of each name")
        << u("<a><username>first</username><username>second</username><Mail>m&amp;m</Mail></a>")
        << sl({"first", "", "m&m", "", ""});
    QTest::newRow("empty") << QString() << sl({"", "", "", "", ""});
}

void TestDirectoryReader::accountInfo()
{
    QFETCH(QString, reply);
    QFETCH(QStringList, fields);
    const AccountDetails d = DirectoryReader::readAccountInfo(reply);
    QCOMPARE((QStringList{d.username, d.location_string, d.mail, d.country_code, d.country_name}), fields);
    QCOMPARE(d.isEmpty(), reply.isEmpty());
}

TUNORA_TEST_MAIN_CORE(TestDirectoryReader)
#include "tst_directoryreader.moc"
