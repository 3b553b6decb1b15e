// The cover lookup's address building and the readers of the services' replies, with hostile
// replies (huge, truncated, malformed, deeply nested, markup in texts, non-web addresses).

#include "coverart.h"
#include "coverfixture.h"
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

QByteArray lastfmReply(const QByteArray &images, const QByteArray &wiki = QByteArray())
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><lfm status=\"ok\"><track><name>Time</name>"
           "<url>http://ws.test/music/Pink+Floyd/_/Time</url><artist><name>Pink Floyd</name></artist>"
           "<album position=\"4\"><artist>Pink Floyd</artist><title>The Dark Side of the Moon</title>" +
           images + "</album><wiki>" + wiki + "</wiki></track></lfm>";
}

QByteArray nested(int depth)
{
    return QByteArray("<Item>").repeated(depth) + QByteArray("</Item>").repeated(depth);
}

QByteArray manyAttributes(int count)
{
    QByteArray tag = "<Items><Item";
    for (int i = 0; i < count; ++i)
        tag += " a" + QByteArray::number(i) + "=\"\"";
    return tag + "/></Items>";
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
    QTest::newRow("shop country codes") << 3 << "A" << "B" << shop + u"artist=A&title=B&dest=DE"_s;
    QTest::newRow("live and remastered cut") << 1 << "A" << "Song (Live) [Remastered]" << shop + u"artist=A&title=Song&dest=US"_s;
    QTest::newRow("bracket first, then parenthesis") << 1 << "A" << "Song [Mix (2)]" << shop + u"artist=A&title=Song&dest=US"_s;
    QTest::newRow("leading parenthesis kept") << 1 << "A" << "(Intro) Song" << shop + u"artist=A&title=%28Intro%29%20Song&dest=US"_s;
    QTest::newRow("ampersand becomes and") << 2 << "Simon & Garfunkel" << "Mrs. Robinson" << shop + u"artist=Simon%20and%20Garfunkel&title=Mrs.%20Robinson&dest=UK"_s;
    QTest::newRow("apostrophes, backticks, underscores, ? and /") << 10 << "Guns_N` Roses" << "Don't Cry?/" << ws + u"artist=Guns%20N%20Roses&track=Dont%20Cry"_s;
    QTest::newRow("non-ASCII encoded as UTF-8") << 1 << "Bj\u00f6rk" << "J\u00f3ga" << shop + u"artist=Bj%C3%B6rk&title=J%C3%B3ga&dest=US"_s;
    QTest::newRow("characters that would break the address") << 10 << "A#B" << "x=1&y=2+3" << ws + u"artist=A%23B&track=x%3D1andy%3D2%2B3"_s;
    QTest::newRow("image search quotes the title") << 8 << "Pink Floyd" << "Time" << google + u"Pink+Floyd+%22Time%22"_s + safeOn;
    QTest::newRow("image search keeps the ampersand") << 8 << "Simon & Garfunkel" << "The Boxer (Live)" << google + u"Simon+%26+Garfunkel+%22The+Boxer%22"_s + safeOn;
    QTest::newRow("image search without safe search") << 9 << "Pink Floyd" << "Time" << google + u"Pink+Floyd+Time"_s + safeOff;
    QTest::newRow("image search, title only") << 9 << "" << "Time" << google + u"Time"_s + safeOff;
    QTest::newRow("song search fills artist and title") << 11 << "Pink Floyd" << "Wish You Were Here" << custom + u"Pink+Floyd+-+Wish+You+Were+Here&sid=7"_s;
    QTest::newRow("song search cleans like the others") << 11 << "Earth, Wind & Fire" << "September (Live)" << custom + u"Earth%2C+Wind+and+Fire+-+September&sid=7"_s;
    QTest::newRow("song search without artist") << 11 << "" << "Song" << custom + u"+-+Song&sid=7"_s;
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

    void normalizeName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        // clang-format off
    QTest::newRow("plain") << "  Pink   Floyd " << "Pink Floyd";
    QTest::newRow("ampersand") << "Simon&Garfunkel" << "Simon and Garfunkel";
    QTest::newRow("with") << "Frank Sinatra with Count Basie" << "Frank Sinatra";
    QTest::newRow("featuring") << "Artist feat. Guest" << "Artist";
    QTest::newRow("with at the start kept") << "With Honor" << "With Honor";
    QTest::newRow("the at the end") << "Beatles, The" << "The Beatles";
    QTest::newRow("the alone") << ", The" << ", The";
        // clang-format on
    }

    void normalizeName()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(CoverArt().NormalizeName(name), expected);
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
    QTest::newRow("addresses that are not web addresses are dropped")
        << shopReply("<Item><DetailPageURL>javascript:alert(1)</DetailPageURL><LargeImage><URL>file:///etc/passwd</URL></LargeImage>"
                     "<MediumImage><URL>https://img.test/m.jpg</URL></MediumImage><ItemAttributes><Title>T</Title></ItemAttributes></Item>")
        << QStringList{u"T"_s} << "" << "" << QStringList();
    QTest::newRow("markup in a title stays text") << shopReply(shopItem("&lt;b&gt;Bold&lt;/b&gt; <![CDATA[<i>x</i>]]>", "http://img.test/x.jpg"))
        << QStringList{u"<b>Bold</b> <i>x</i>"_s} << "http://img.test/x.jpg" << dp << QStringList();
    QTest::newRow("no items") << shopReply("") << QStringList() << "" << "" << QStringList();
    QTest::newRow("error reply") << QByteArray("<ItemSearchErrorResponse><Error><Code>x</Code></Error></ItemSearchErrorResponse>") << QStringList() << "" << "" << QStringList();
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
    QTest::newRow("the same address twice gives one candidate") << "\"http://a.test/x.jpg\" \"http://a.test/x.jpg\" \"http://a.test/y.jpg\""
                                                                << QStringList{u"http://a.test/x.jpg"_s, u"http://a.test/y.jpg"_s};
    QTest::newRow("a backslash ends the address") << "[\"https://a.test/p.jpg\\u003d\"]" << QStringList{u"https://a.test/p.jpg"_s};
    QTest::newRow("at most four") << "'http://a.test/1.jpg\" 'http://a.test/2.jpg\" 'http://a.test/3.jpg\" 'http://a.test/4.jpg\" 'http://a.test/5.jpg\""
                                  << QStringList{u"http://a.test/1.jpg"_s, u"http://a.test/2.jpg"_s, u"http://a.test/3.jpg"_s, u"http://a.test/4.jpg"_s};
    QTest::newRow(".jpg without an address before it") << "<b>holiday.jpg</b> \"http://a.test/z.jpg\"" << QStringList{u"http://a.test/z.jpg"_s};
    QTest::newRow("no image") << "<html><body>No results</body></html>" << QStringList();
    QTest::newRow("address with blanks is no address") << "\"http://a.test/a b.jpg\"" << QStringList();
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

    void lastFMImages_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("small");
        QTest::addColumn<QString>("medium");
        QTest::addColumn<QString>("large");
        QTest::addColumn<QString>("text");

        const QByteArray images = "<image size=\"small\">http://img.test/34s.png</image>"
                                  "<image size=\"medium\">http://img.test/64s.png</image>"
                                  "<image size=\"large\">http://img.test/126.png</image>";
        // clang-format off
    QTest::newRow("sizes") << lastfmReply(images + "<image size=\"extralarge\">http://img.test/300x300.png</image>")
                           << true << "http://img.test/34s.png" << "http://img.test/64s.png" << "http://img.test/300x300.png" << "";
    QTest::newRow("placeholder large image gives no large address") << lastfmReply(images + "<image size=\"extralarge\">http://cdn.test/default_album_medium.png</image>")
                           << true << "http://img.test/34s.png" << "http://img.test/64s.png" << "" << "";
    QTest::newRow("only placeholders: no candidate")
        << lastfmReply("<image size=\"small\">http://cdn.test/default_album_small.png</image><image size=\"extralarge\">http://cdn.test/default_album_large.png</image>")
        << false << "" << "" << "" << "";
    QTest::newRow("description as plain text")
        << lastfmReply("<image size=\"extralarge\">http://img.test/xl.png</image>",
                       "<content><![CDATA[<a href=\"http://ws.test/x\">Time</a> is a <b>song</b>.<br><script>alert(1)</script>Released &amp; loved.]]></content>")
        << true << "" << "" << "http://img.test/xl.png" << "Time is a song.\nReleased & loved.";
    QTest::newRow("failed reply") << QByteArray("<lfm status=\"failed\"><error code=\"6\">Track not found</error></lfm>") << false << "" << "" << "" << "";
        // clang-format on
    }

    void lastFMImages()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, found);
        QFETCH(QString, small);
        QFETCH(QString, medium);
        QFETCH(QString, large);
        QFETCH(QString, text);

        const QList<AlbumInfo> got = CoverReplies::readLastFMImages(xml);
        QCOMPARE(got.size(), found ? 1 : 0);
        if (!found)
            return;
        QCOMPARE(got[0].smallImageUrl, small);
        QCOMPARE(got[0].mediumImageUrl, medium);
        QCOMPARE(got[0].largeImageUrl, large);
        QCOMPARE(got[0].text, text);
        QCOMPARE(got[0].title, QStringLiteral("The Dark Side of the Moon"));
        QCOMPARE(got[0].artist, QStringLiteral("Pink Floyd"));
        QCOMPARE(got[0].detailPageUrl, QStringLiteral("http://ws.test/music/Pink+Floyd/_/Time"));
    }

    void customImages_data(); // outside the class: moc misreads its raw strings
    void customImages()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, count);
        QFETCH(QString, image);
        QFETCH(QString, title);
        QFETCH(QString, genre);
        QFETCH(QString, preview);

        const QList<AlbumInfo> got =
            CoverReplies::readCustomImages(json, QStringLiteral("Pink Floyd - Time"));
        QCOMPARE(got.size(), count);
        if (!count)
            return;
        QCOMPARE(got[0].imageUrl(), image);
        QCOMPARE(got[0].title, title);
        QCOMPARE(got[0].genre, genre);
        QCOMPARE(got[0].previewUrl, preview);
        QCOMPARE(got[0].text, QStringLiteral("Pink Floyd - Time"));
    }

    void hostileXml_data()
    {
        QTest::addColumn<QByteArray>("xml");
        const QByteArray good = shopReply(shopItem("A", "http://img.test/a.jpg"));
        QTest::newRow("truncated") << good.left(good.size() - 30);
        QTest::newRow("deep nesting") << nested(100000);
        QTest::newRow("many attributes") << manyAttributes(200000);
        QTest::newRow("over the size cap")
            << shopReply(shopItem(QByteArray(CoverReplies::MaxReplyBytes, 'x'), "http://a.test/a.jpg"));
        QTest::newRow("entity expansion")
            << QByteArray("<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;"
                          "&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                          "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
                          "<Items><Item><LargeImage><URL>http://a.test/&d;&d;&d;&d;</URL>"
                          "</LargeImage></Item></Items>");
        QTest::newRow("binary") << QByteArray("\x00\xff<\x01Item>\xfe", 9);
        QTest::newRow("empty") << QByteArray();
    }

    void hostileXml()
    {
        QFETCH(QByteArray, xml);
        QVERIFY(CoverReplies::readAmazonService(xml).isEmpty());
        QVERIFY(CoverReplies::readLastFMImages(xml).isEmpty());
    }

    void htmlToPlainText_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        // clang-format off
    QTest::newRow("line breaks") << "one<br>two<BR/>three" << "one\ntwo\nthree";
    QTest::newRow("paragraphs") << "<p>one</p>\n<p>two</p>" << "one\n\ntwo";
    QTest::newRow("source line breaks are blanks") << "a\nb\r\n  c" << "a b c";
    QTest::newRow("scripts and styles go with their content") << "a<script type=\"x\">document.write('<b>')</script>b<style>p{}</style>c" << "abc";
    QTest::newRow("comments") << "a<!-- <br> -->b" << "ab";
    QTest::newRow("entities") << "&lt;b&gt; &amp; &quot;q&quot; &#233;&#x263A; &nbsp;x" << "<b> & \"q\" \u00e9\u263a x";
    QTest::newRow("control characters as entities") << "a&#0;&#1;&#x7f;b&#55296;c&#99999999;" << "abc";
    QTest::newRow("unknown entity stays") << "AT&T &bogus; &" << "AT&T &bogus; &";
    QTest::newRow("a lone '<' is text") << "1 < 2 <3" << "1 < 2 <3";
    QTest::newRow("'>' inside a quoted attribute") << "<a title=\"x>y\">link</a>" << "link";
    QTest::newRow("unclosed tag at the end") << "text<div class=\"x" << "text";
    QTest::newRow("many blank lines") << "a<br><br><br><br>b" << "a\n\nb";
        // clang-format on
    }

    void htmlToPlainText()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);
        QCOMPARE(CoverReplies::htmlToPlainText(html), text);
    }

    void lyrics_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("lyrics");
        // clang-format off
    QTest::newRow("found") << "<html><table><tr><td class=\"td2\">menu</td><td class=\"td1\">Line one<br>"
                              "Line &amp; two<br><br>Verse <i>two</i></td></tr></table><p>footer</p></html>" << "Line one\nLine & two\n\nVerse two";
    QTest::newRow("class among others, unquoted") << "<td class=x><td class='big td1'>words</table>" << "words";
    QTest::newRow("markup and script never pass") << "<td class=td1><img src=x onerror=alert(1)>Hi<script>alert(2)</script>&lt;b&gt;</td></table>" << "Hi<b>";
    QTest::newRow("page cut before the end of the table") << "<td class=\"td1\">Half a song" << "Half a song";
    QTest::newRow("no lyrics cell") << "<html><td class=\"td12\">x</td></html>" << "";
    QTest::newRow("empty lyrics cell") << "<td class=\"td1\"> <br> </td></table>" << "";
        // clang-format on
    }

    void lyrics()
    {
        QFETCH(QString, html);
        QFETCH(QString, lyrics);
        QCOMPARE(CoverReplies::readLyrics(html), lyrics);
    }

    void artistPage_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("redirect");
        // clang-format off
    QTest::newRow("wiki") << "<div id=\"header\">x</div><div id=\"wiki\"><b>Pink Floyd</b> were a band.<p>Formed "
           "1965.</p></div><div>more</div>" << "Pink Floyd were a band.\n\nFormed 1965." << "";
    QTest::newRow("side bar up to the hidden part") << "<div id=\"staticSideBarContents\"><p>Biography</p><span>Born</span><p>1946</p>"
           "<div style=\"display: none\">hidden</div></div>" << "Biography\n\nBorn\n\n1946" << "";
    QTest::newRow("empty wiki, side bar used") << "<div id='wiki'> </div><td id=staticSideBarContents>Bio" << "Bio" << "";
    QTest::newRow("meta refresh") << "<html><head><META HTTP-EQUIV=\"Refresh\" CONTENT=\"0; URL='/music/X/+wiki'\">"
           "</head></html>" << "" << "/music/X/+wiki";
    QTest::newRow("meta refresh unquoted") << "<meta http-equiv=refresh content=\"5;url=http://a.test/b\">" << "" << "http://a.test/b";
    QTest::newRow("nothing") << "<html><body>Page not found</body></html>" << "" << "";
        // clang-format on
    }

    void artistPage()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);
        QFETCH(QString, redirect);
        const CoverReplies::ArtistPage page = CoverReplies::readArtistPage(html);
        QCOMPARE(page.text, text);
        QCOMPARE(page.redirect, redirect);
    }

    void decodeImage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size"); // invalid: refused
        QTest::newRow("png") << TunoraTest::coverPng(40, 30) << QSize(40, 30);
        QTest::newRow("too wide") << TunoraTest::coverPng(CoverReplies::MaxImageSide + 1, 1) << QSize();
        QTest::newRow("an HTML page") << QByteArray("<html><body>Not found</body></html>") << QSize();
        QTest::newRow("cut short") << TunoraTest::coverPng(40, 30).left(60) << QSize();
        QTest::newRow("empty") << QByteArray() << QSize();
    }

    void decodeImage()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QString error;
        const QImage image = CoverReplies::decodeImage(bytes, &error);
        QCOMPARE(image.size(), size.isValid() ? size : QSize(0, 0));
        QCOMPARE(error.isEmpty(), size.isValid());
    }
};

void TestCoverArtReaders::customImages_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("image");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("genre");
    QTest::addColumn<QString>("preview");

    // The shape the directory service answers with.
    const QByteArray one =
        R"({"wrapperType":"track","kind":"song","artistName":"Pink Floyd","trackName":"Time",)"
        R"j("collectionName":"The Dark Side of the Moon","collectionCensoredName":"Dark Side (Remaster)",)j"
        R"("artworkUrl60":"https://img.test/60x60bb.jpg","artworkUrl100":"https://img.test/100x100bb.jpg",)"
        R"("artworkUrl170":"https://img.test/170x170bb.jpg","trackViewUrl":"https://shop.test/album/1",)"
        R"("previewUrl":"https://audio.test/p.m4a","primaryGenreName":"Rock"})";
    QByteArray many = R"({"results":[)";
    for (int i = 0; i < 80; ++i)
        many += (i ? "," : "") + QByteArray(R"({"artworkUrl60":"http://img.test/)") + QByteArray::number(i) +
                ".jpg\"}";
    // clang-format off
QTest::newRow("directory reply") << QByteArray(R"({"resultCount":1,"results":[)" + one + "]}") << 1
                                 << "https://img.test/170x170bb.jpg" << "Dark Side (Remaster)" << "Rock" << "https://audio.test/p.m4a";
QTest::newRow("smaller artwork when the large one is missing") << QByteArray(R"({"results":[{"artworkUrl100":"http://img.test/100.jpg","collectionName":"C"}]})")
                                 << 1 << "http://img.test/100.jpg" << "C" << "" << "";
QTest::newRow("texts with control characters")
    << QByteArray(R"({"results":[{"artworkUrl170":"http://img.test/a.jpg","collectionCensoredName":"A\u0000\nB","primaryGenreName":"<b>Pop</b>","previewUrl":"javascript:x"}]})")
    << 1 << "http://img.test/a.jpg" << "A B" << "<b>Pop</b>" << "";
QTest::newRow("at most 50 candidates") << many + "]}" << 50 << "http://img.test/0.jpg" << "" << "" << "";
// Nothing usable.
QTest::newRow("non-web addresses are dropped")
    << QByteArray(R"j({"results":[{"artworkUrl170":"javascript:alert(1)","artworkUrl60":"data:image/png;base64,AA","previewUrl":"file:///x","collectionCensoredName":"X"}]})j")
    << 0 << "" << "" << "" << "";
QTest::newRow("empty results") << QByteArray(R"({"resultCount":0,"results":[]})") << 0 << "" << "" << "" << "";
QTest::newRow("results not a list") << QByteArray(R"({"results":{"a":1}})") << 0 << "" << "" << "" << "";
QTest::newRow("not JSON") << QByteArray("<html>502 Bad Gateway</html>") << 0 << "" << "" << "" << "";
QTest::newRow("truncated") << QByteArray(R"({"results":[{"artworkUrl170":"http://img.test/a.jpg")") << 0 << "" << "" << "" << "";
    // clang-format on
}

TUNORA_TEST_MAIN_CORE(TestCoverArtReaders)
#include "tst_coverart_readers.moc"
