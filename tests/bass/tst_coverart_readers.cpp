// The cover lookup's address building and the readers of the services' replies.

#include "coverart.h"
#include "testmain.h"

using namespace BASS;
using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray shopItem(const QByteArray &title, const QByteArray &large, const QByteArray &extra = QByteArray())
{
    return "<Item><ASIN>B0001</ASIN><DetailPageURL>http://shop.test/dp/B0001</DetailPageURL>"
           "<SmallImage><URL>http://img.test/s.jpg</URL><Height Units=\"pixels\">75</Height></SmallImage>"
           "<LargeImage><URL>" +
           large + "</URL></LargeImage><ItemAttributes><Artist>Pink Floyd</Artist><Title>" + title +
           "</Title><ReleaseDate>1973-03-01</ReleaseDate></ItemAttributes><OfferSummary><LowestNewPrice>"
           "<FormattedPrice>$9.99</FormattedPrice></LowestNewPrice></OfferSummary>" +
           extra + "</Item>";
}

QByteArray shopReply(const QByteArray &items)
{
    return "<?xml version=\"1.0\"?><ItemSearchResponse><Items><TotalResults>2</TotalResults>" + items +
           "</Items></ItemSearchResponse>";
}

} // namespace

class TestCoverArtReaders : public QObject
{
    Q_OBJECT

private slots:
    void buildLookupUrl_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");

        const QString shop = QStringLiteral("http://shop.test/amazonsearch.aspx?");
        const QString google = QStringLiteral("http://img.test/images?q=");
        const QString safeOn = QStringLiteral("&hl=en&lr=&start=&sa=N&safe=on&filter=0&imgw=300&imgh=300");
        const QString safeOff = QStringLiteral("&hl=en&lr=&start=&sa=N&safe=off&filter=0");
        const QString ws = QStringLiteral(
            "http://ws.test/2.0/?method=track.getinfo&api_key=7d41c0e9a2b85f63d19e0c4a7b2f58e1&");
        const QString custom = QStringLiteral("https://dir.test/?key=K&user=u&search_itunes=");

        // clang-format off
    QTest::newRow("shop US") << 1 << "Pink Floyd" << "Time" << shop + u"artist=Pink%20Floyd&title=Time&dest=US"_s;
    QTest::newRow("live and remastered cut") << 1 << "A" << "Song (Live) [Remastered]" << shop + u"artist=A&title=Song&dest=US"_s;
    QTest::newRow("ampersand becomes and") << 2 << "Simon & Garfunkel" << "Mrs. Robinson" << shop + u"artist=Simon%20and%20Garfunkel&title=Mrs.%20Robinson&dest=UK"_s;
    QTest::newRow("characters that would break the address") << 10 << "A#B" << "x=1&y=2+3" << ws + u"artist=A%23B&track=x%3D1andy%3D2%2B3"_s;
    QTest::newRow("image search quotes the title") << 8 << "Pink Floyd" << "Time" << google + u"Pink+Floyd+%22Time%22"_s + safeOn;
    QTest::newRow("image search without safe search") << 9 << "Pink Floyd" << "Time" << google + u"Pink+Floyd+Time"_s + safeOff;
    QTest::newRow("song search fills artist and title") << 11 << "Pink Floyd" << "Wish You Were Here" << custom + u"Pink+Floyd+-+Wish+You+Were+Here&sid=7"_s;
    QTest::newRow("unknown source") << 7 << "A" << "B" << "";
        // clang-format on
    }

    void buildLookupUrl()
    {
        QFETCH(int, source);
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(QString, expected);

        CoverArt cover;
        cover.setShopSearchRoot(QStringLiteral("http://shop.test/"));
        cover.setImageSearchRoot(QStringLiteral("http://img.test"));
        cover.setTrackInfoRoot(QStringLiteral("http://ws.test//"));
        cover.SetCustomSearchAddress(
            QStringLiteral("https://dir.test/?key=K&user=u&search_itunes={1}+-+{2}&sid=7"));
        QCOMPARE(cover.BuildLookupUrl(source, artist, title), expected);

        // A service without a root is never asked.
        CoverArt unconfigured;
        QCOMPARE(unconfigured.BuildLookupUrl(source, artist, title), QString());
    }

    void amazonService_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("firstLarge");
        QTest::addColumn<QString>("firstDetail");
        QTest::addColumn<QStringList>("firstTracks"); // "disc.track title"

        const QByteArray tracks = "<Tracks><Disc Number=\"1\"><Track Number=\"1\">Speak to Me</Track>"
                                  "<Track Number=\"2\">Breathe</Track></Disc><Disc Number=\"2\">"
                                  "<Track Number=\"1\">Time</Track></Disc></Tracks>";
        const QString dp = u"http://shop.test/dp/B0001"_s;
        // clang-format off
    QTest::newRow("items with discs and tracks") << shopReply(shopItem("Dark Side", "http://img.test/l.jpg", tracks) + shopItem("Wall", "http://img.test/w.jpg"))
        << QStringList{u"Dark Side"_s, u"Wall"_s} << "http://img.test/l.jpg" << dp << QStringList{u"1.1 Speak to Me"_s, u"1.2 Breathe"_s, u"2.1 Time"_s};
    QTest::newRow("disc and track numbers that are not numbers are skipped")
        << shopReply(shopItem("A", "http://img.test/a.jpg", "<Tracks><Disc Number=\"x\"><Track Number=\"1\">T</Track></Disc>"
                              "<Disc Number=\"1\"><Track Number=\"-3\">U</Track><Track Number=\"4\">V</Track></Disc></Tracks>"))
        << QStringList{u"A"_s} << "http://img.test/a.jpg" << dp << QStringList{u"1.4 V"_s};
    QTest::newRow("an item without any image is no candidate") << shopReply("<Item><ItemAttributes><Title>None</Title></ItemAttributes></Item>" + shopItem("B", "http://img.test/b.jpg"))
        << QStringList{u"B"_s} << "http://img.test/b.jpg" << dp << QStringList();
        // clang-format on
    }

    void amazonService()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QStringList, titles);
        QFETCH(QString, firstLarge);
        QFETCH(QString, firstDetail);
        QFETCH(QStringList, firstTracks);

        const QList<AlbumInfo> found = CoverReplies::readAmazonService(xml);
        QStringList gotTitles;
        for (const AlbumInfo &a : found)
            gotTitles << a.title;
        QCOMPARE(gotTitles, titles);
        if (found.isEmpty())
            return;
        const AlbumInfo &first = found.first();
        QCOMPARE(first.largeImageUrl, firstLarge);
        QCOMPARE(first.detailPageUrl, firstDetail);
        QVERIFY(!first.imageUrl().isEmpty());
        QStringList gotTracks;
        for (auto d = first.tracks.cbegin(); d != first.tracks.cend(); ++d)
            for (auto t = d.value().cbegin(); t != d.value().cend(); ++t)
                gotTracks << QStringLiteral("%1.%2 %3").arg(d.key()).arg(t.key()).arg(t.value());
        QCOMPARE(gotTracks, firstTracks);
    }

    void googleImages_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QStringList>("urls");

        // clang-format off
    QTest::newRow("http and https") << "<a href=\"/imgres?u=1\"><img src=\"http://a.test/one.jpg\"></a><img src=\"https://b.test/two.jpg?w=300\">"
                                    << QStringList{u"http://a.test/one.jpg"_s, u"https://b.test/two.jpg?w=300"_s};
        // clang-format on
    }

    void googleImages()
    {
        QFETCH(QString, html);
        QFETCH(QStringList, urls);
        QStringList got;
        for (const AlbumInfo &a : CoverReplies::readGoogleImages(html, QStringLiteral("A - B"))) {
            QCOMPARE(a.smallImageUrl, a.largeImageUrl);
            QCOMPARE(a.mediumImageUrl, a.largeImageUrl);
            QCOMPARE(a.text, QStringLiteral("A - B"));
            got << a.largeImageUrl;
        }
        QCOMPARE(got, urls);
    }

    // Pages read as text. reader: 't' plain text of any page, 'l' lyrics, 'a' artist page (its
    // redirect follows a '>' in the expected text).
    void pages_data()
    {
        QTest::addColumn<char>("reader");
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        // clang-format off
    QTest::newRow("line breaks") << 't' << "one<br>two<BR/>three" << "one\ntwo\nthree";
    QTest::newRow("paragraphs") << 't' << "<p>one</p>\n<p>two</p>" << "one\n\ntwo";
    QTest::newRow("scripts and styles go with their content") << 't' << "a<script type=\"x\">document.write('<b>')</script>b<style>p{}</style>c" << "abc";
    QTest::newRow("entities") << 't' << "&lt;b&gt; &amp; &quot;q&quot; &#233;&#x263A; &nbsp;x" << "<b> & \"q\" \u00e9\u263a x";
    QTest::newRow("'>' inside a quoted attribute") << 't' << "<a title=\"x>y\">link</a>" << "link";
    QTest::newRow("many blank lines") << 't' << "a<br><br><br><br>b" << "a\n\nb";
    QTest::newRow("lyrics found") << 'l' << "<html><table><tr><td class=\"td2\">menu</td><td class=\"td1\">Line one<br>"
                              "Line &amp; two<br><br>Verse <i>two</i></td></tr></table><p>footer</p></html>" << "Line one\nLine & two\n\nVerse two";
    QTest::newRow("markup and script never pass") << 'l' << "<td class=td1><img src=x onerror=alert(1)>Hi<script>alert(2)</script>&lt;b&gt;</td></table>" << "Hi<b>";
    QTest::newRow("no lyrics cell") << 'l' << "<html><td class=\"td12\">x</td></html>" << "";
    QTest::newRow("wiki") << 'a' << "<div id=\"header\">x</div><div id=\"wiki\"><b>Pink Floyd</b> were a band.<p>Formed "
           "1965.</p></div><div>more</div>" << "Pink Floyd were a band.\n\nFormed 1965.>";
    QTest::newRow("side bar up to the hidden part") << 'a' << "<div id=\"staticSideBarContents\"><p>Biography</p><span>Born</span><p>1946</p>"
           "<div style=\"display: none\">hidden</div></div>" << "Biography\n\nBorn\n\n1946>";
    QTest::newRow("meta refresh") << 'a' << "<html><head><META HTTP-EQUIV=\"Refresh\" CONTENT=\"0; URL='/music/X/+wiki'\">"
           "</head></html>" << ">/music/X/+wiki";
        // clang-format on
    }

    void pages()
    {
        QFETCH(char, reader);
        QFETCH(QString, html);
        QString got;
        if (reader == 't') {
            got = CoverReplies::htmlToPlainText(html);
        } else if (reader == 'l') {
            got = CoverReplies::readLyrics(html);
        } else {
            const CoverReplies::ArtistPage page = CoverReplies::readArtistPage(html);
            got = page.text + QLatin1Char('>') + page.redirect;
        }
        QTEST(got, "text");
    }
};

TUNORA_TEST_MAIN_CORE(TestCoverArtReaders)
#include "tst_coverart_readers.moc"
