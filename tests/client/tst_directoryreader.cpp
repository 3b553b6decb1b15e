// The readers of whole directory replies: station lists with paging and network maps, and the
// genre tree with its depth limit.

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

    void stationList_data()
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
        // Stations write their own (possibly empty) name and web site before the network block.
        QTest::newRow("networks by id within a reply")
            << u("<r><station><id>1</id><name>One</name><url_website></url_website><network><id>5</id>"
                 "<name>Net Five</name><url_website>http://net5.example</url_website></network></station>"
                 "<station><id>2</id><network_id>5</network_id></station>"
                 "<station><id>3</id><url_website>http://own.example</url_website><network_id>5</"
                 "network_id></"
                 "station>"
                 "<station><id>4</id><network_id>9</network_id></station></r>")
            << QStringList{u("1|One||||net5.example|Net Five|||"), u("2|||||net5.example|Net Five|||"),
                           u("3|||||own.example|Net Five|||"), u("4|||||||||")}
            << QList<quint32>{0, 0, 0, 0};
        // Escaped markup inside a value stays text: it can never become an element of the station.
        QTest::newRow("escaped markup cannot inject fields")
            << u("<station><name>&lt;id&gt;666&lt;/id&gt;&lt;favorite&gt;true&lt;/favorite&gt;</name><id>7</"
                 "id>"
                 "</station>")
            << QStringList{u("7|<id>666</id><favorite>true</favorite>||||||||")}
            << QList<quint32>{0, 0, 0, 0};
    }

    void stationList()
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

    void networksAreRememberedAcrossReplies()
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

    void genres_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("genres");
        QTest::newRow("tree")
            << u("<?xml version=\"1.0\"?><genres>"
                 "<genre><name>Rock</name><description>Loud &amp;amp; proud</description></genre>"
                 "<genres><genre><name>Indie</name></genre><genres><genre><name>Shoegaze</name></genre></"
                 "genres>"
                 "<genre><name>Hard Rock</name></genre></genres>"
                 "<genre><name>Jazz</name></genre><genres><genre><name>Bebop</name></genre></genres>"
                 "<genre><name>Lonely</name></genre>"
                 "</genres>")
            << sl({"Rock{Loud &amp; proud}[Hard Rock,Indie[Shoegaze]]", "Jazz[Bebop]"});
        QString deep = u("<genres><genre><name>Top</name></genre>");
        for (int i = 0; i < 5000; ++i)
            deep += u("<genres><genre><name>g</name></genre>");
        // Lists nested deeper than the limit are skipped; their genres land one level up.
        QString chain = u("g");
        for (int i = 0; i < DirectoryReader::MaxGenreDepth - 3; ++i)
            chain = u("g[") + chain + u("]");
        QTest::newRow("5000 nested lists") << deep << QStringList{u("Top[") + chain + u("]")};
    }

    void genres()
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
};

TUNORA_TEST_MAIN_CORE(TestDirectoryReader)
#include "tst_directoryreader.moc"
