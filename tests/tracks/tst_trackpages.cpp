// Test tables are easier to read with plain string literals.
#undef QT_NO_CAST_FROM_ASCII

#include "htmlfolder.h"
#include "testmain.h"
#include "tracklists.h"
#include "trackpage.h"
#include "welcomeview.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QXmlStreamReader>

using namespace BASS;

namespace {

TrackPtr track(quint32 id, const QString &name, bool wished = false)
{
    auto t = TrackPtr::create();
    t->setTrackId(id);
    t->setTrackName(name);
    t->setWishListed(wished);
    t->setTrackDateTime(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(id));
    return t;
}

QPixmap someCover()
{
    QPixmap p(4, 4);
    p.fill(Qt::red);
    return p;
}

// Every attribute value of every tag, as the markup gives it.
QStringList attributeValues(const QString &html, const QString &attribute)
{
    QStringList out;
    const QRegularExpression re(QStringLiteral("\\s%1\\s*=\\s*\"([^\"]*)\"").arg(attribute),
                                QRegularExpression::CaseInsensitiveOption);
    for (auto it = re.globalMatch(html); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

} // namespace

class TstTrackPages : public QObject
{
    Q_OBJECT
private slots:
    void hostileTextsStayText_data();
    void hostileTextsStayText();
    void historyOrderAndRows();
    void wishListOrderAndBanner();
    void emptyListsGiveEmptyPage();

    void commands_data();
    void commands();
    void historyKeepsTwentyWithCovers();
    void sameSecondTracksStayApart();
    void saveFailureIsReported();
    void htmlFolderHasEveryImage();
    void welcomeViewDrawsTheTemplate();
};

void TstTrackPages::htmlFolderHasEveryImage()
{
    // A program outside the installed layout without "Html" beside it still finds the images.
    for (const char *image : {"add_wishlist.png", "add_wishlist_selected.png", "add_wishlist_mouseover.png",
                              "play_history.png", "play_history_selected.png", "world_map.png", "tn_man.png",
                              "tn_com_logo.png", "star_large.png", "search_large.png"}) {
        const QString file = HtmlFolder::path() + "/" + image;
        QVERIFY2(!QImage(file).isNull(), qPrintable(file));
    }
    QVERIFY(HtmlFolder::htmlPath().startsWith("file:///"));
    QVERIFY(!HtmlFolder::htmlPath().endsWith("/"));
}

void TstTrackPages::welcomeViewDrawsTheTemplate()
{
    WelcomeView view;
    view.resize(720, 384);
    const QImage shot = view.grab().toImage();
    const QImage map(HtmlFolder::path() + "/world_map.png");
    const QImage star(HtmlFolder::path() + "/star_large.png");
    QVERIFY(!map.isNull() && !star.isNull());
    // The map fills the background and the star sits at (130, 150).
    QCOMPARE(shot.pixelColor(700, 370), map.pixelColor(700, 370));
    QCOMPARE(shot.pixelColor(130 + 24, 150 + 24).rgb(), star.pixelColor(24, 24).rgb());
    // White text is drawn where the welcome line starts.
    bool white = false;
    for (int x = 140; x < 400 && !white; ++x)
        for (int y = 95; y < 120 && !white; ++y)
            white = shot.pixelColor(x, y) == QColor(Qt::white);
    QVERIFY(white);

    // Its page twin: well-formed XHTML with every placeholder filled, the four images from the
    // Html folder, the five texts, and nothing that runs or leads anywhere.
    const QString html = view.pageHtml();
    QXmlStreamReader xml(html);
    QStringList images;
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
        if (!xml.isStartElement())
            continue;
        QVERIFY2(xml.name() != u"script" && xml.name() != u"a", qPrintable(xml.name().toString()));
        if (xml.name() == u"img")
            images << xml.attributes().value("src").toString();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(images.size(), 4);
    for (const QString &image : images)
        QVERIFY2(QFileInfo::exists(QUrl(image).toLocalFile()), qPrintable(image));
    for (const QString &text : view.texts())
        QVERIFY2(html.contains(text.toHtmlEscaped()), qPrintable(text));
    QVERIFY(!html.contains(QRegularExpression("\\{[A-Z0-9_]+\\}")));
}

void TstTrackPages::hostileTextsStayText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("genre");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("cover");
    QTest::addColumn<bool>("shopLink"); // the shop link is kept as a link

    // clang-format off
    QTest::newRow("script in name") << "\"><script>alert(1)</script>" << "Pop" << "http://shop/x" << "http://img/x.jpg" << true;
    QTest::newRow("event handler in genre") << "A - B" << "<img src=x onerror=alert(1)>" << "" << "" << false;
    QTest::newRow("javascript link") << "A" << "" << "javascript:alert(1)" << "javascript:alert(2)" << false;
    QTest::newRow("data and file links") << "A" << "" << "data:text/html,<script>x</script>" << "file:///etc/passwd" << false;
    QTest::newRow("quote breaks attribute") << "A" << "" << "http://x/\" onmouseover=\"alert(1)" << "" << false;
    QTest::newRow("placeholder in text") << "{ON_ADD_TO_WISHLIST_OVER}{HTML_PATH}" << "{REFRESH}" << "" << "" << false;
    QTest::newRow("single quotes") << "' onclick='alert(1)" << "" << "" << "" << false;
    QTest::newRow("command link as shop link") << "A" << "" << "tunora://cmd?refresh_wish_list" << "" << false;
    // clang-format on
}

void TstTrackPages::hostileTextsStayText()
{
    QFETCH(QString, name);
    QFETCH(QString, genre);
    QFETCH(QString, url);
    QFETCH(QString, cover);
    QFETCH(bool, shopLink);
    auto t = track(7, name);
    t->setTrackGenre(genre);
    t->setTrackURL(url);
    t->setTrackFile(cover);
    TrackPageBuilder builder("file:///opt/Html");
    const QString html = builder.renderHistory({t});

    QCOMPARE(html.count("<script", Qt::CaseInsensitive), 1); // our own block in the head only
    QCOMPARE(html.count("<img", Qt::CaseInsensitive), 2);    // the cover and the wish-list button
    QCOMPARE(html.count("<a ", Qt::CaseInsensitive), shopLink ? 3 : 2);
    for (const char *a : {"href", "src"})
        for (const QString &v : attributeValues(html, a))
            QVERIFY2(v.startsWith("http://") || v.startsWith("https://") ||
                         v.startsWith("file:///opt/Html/") || v.startsWith("tunora://cmd?") || v.isEmpty(),
                     qPrintable(QString(a) + "=" + v));
    // Only the page's own handlers, and no placeholder smuggled in by a text.
    const QStringList handlers = attributeValues(html, "on[a-z]+");
    for (const QString &h : handlers)
        QVERIFY2(QRegularExpression("^(Init|on[A-Za-z]+)\\(this\\)$|^Init\\(\\)$").match(h).hasMatch(),
                 qPrintable(h));
    QVERIFY(!html.contains(QRegularExpression("\\{[A-Z_]+\\}")));
    QVERIFY(html.contains(TrackPageBuilder::htmlText(name)));
    QVERIFY(!html.contains("tunora://cmd?refresh_wish_list"));
    QVERIFY(html.contains("Content-Security-Policy"));
    QVERIFY(html.contains("default-src 'none'"));
}

void TstTrackPages::historyOrderAndRows()
{
    TrackPageBuilder builder("file:///h");
    const QString html =
        builder.renderHistory({track(1, "oldest"), track(2, "middle", true), track(3, "newest")});
    QVERIFY(html.indexOf("newest") < html.indexOf("middle"));
    QVERIFY(html.indexOf("middle") < html.indexOf("oldest"));
    // The newest row is row 1 and odd.
    const QString firstRows =
        html.mid(html.indexOf("<table"), html.indexOf("newest") - html.indexOf("<table"));
    QVERIFY(firstRows.contains("clsRowOdd"));
    QVERIFY(!firstRows.contains("clsRowEven"));
    QVERIFY(html.contains("tunora://cmd?add_to_wishlist_track_3"));
    QVERIFY(html.contains("tunora://cmd?remove_from_wishlist_track_2"));
    QVERIFY(html.contains("id=\"divAddToWishList_2\""));
    QVERIFY(html.contains("file:///h/add_wishlist_selected.png"));
    QVERIFY(html.contains("Remove from wish list"));
}

void TstTrackPages::wishListOrderAndBanner()
{
    WishListPageBuilder builder("file:///h");
    TrackMap map;
    map.insert(1, track(1, "b song", true));
    map.insert(2, track(2, "A song", false));
    map.insert(3, track(3, "a song", true));
    QString html = builder.renderWishList(map);
    QVERIFY(html.indexOf("A song") < html.indexOf("a song")); // plain, case-sensitive order
    QVERIFY(html.indexOf("a song") < html.indexOf("b song"));
    QVERIFY(html.contains("title=\"Remove from your wish list\""));
    QVERIFY(!html.contains("refresh_wish_list"));
    builder.setContentsChanged(true);
    html = builder.renderWishList(map);
    QVERIFY(html.contains(
        "<a href=\"tunora://cmd?refresh_wish_list\">Contents changed, click here to refresh</a>"));
}

void TstTrackPages::emptyListsGiveEmptyPage()
{
    WishListPageBuilder builder("file:///h");
    QCOMPARE(builder.renderHistory({}), QString());
    QCOMPARE(builder.renderWishList({}), QString());
}

using Setup = std::function<void(TrackLists &)>;

void TstTrackPages::commands_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QList<quint32>>("wishIds");
    QTest::addColumn<QList<bool>>("wishFlags");
    QTest::addColumn<QList<bool>>("historyFlags");

    const Setup twoInHistory = [](TrackLists &l) {
        for (int i = 0; i < 2; ++i) {
            TrackInfo t;
            t.setTrackName(QString("song %1").arg(i));
            t.setCover(someCover());
            t.setTrackId(100 + i);
            l.addToHistory(t);
        }
    };
    QTest::newRow("add from history") << twoInHistory << QStringList{"tunora://cmd?add_to_wishlist_track_101"}
                                      << QList<quint32>{101} << QList<bool>{true} << QList<bool>{false, true};
    QTest::newRow("add twice keeps one entry")
        << twoInHistory
        << QStringList{"tunora://cmd?add_to_wishlist_track_101", "tunora://cmd?add_to_wishlist_track_101"}
        << QList<quint32>{101} << QList<bool>{true} << QList<bool>{false, true};
    QTest::newRow("remove keeps entry until refresh")
        << twoInHistory
        << QStringList{"tunora://cmd?add_to_wishlist_track_100",
                       "tunora://cmd?remove_from_wishlist_track_100"}
        << QList<quint32>{100} << QList<bool>{false} << QList<bool>{false, false};
    QTest::newRow("refresh drops removed")
        << twoInHistory
        << QStringList{"tunora://cmd?add_to_wishlist_track_100", "tunora://cmd?add_to_wishlist_track_101",
                       "tunora://cmd?remove_from_wishlist_track_100", "tunora://cmd?refresh_wish_list"}
        << QList<quint32>{101} << QList<bool>{true} << QList<bool>{false, true};
    QTest::newRow("no track id changes nothing")
        << twoInHistory << QStringList{"tunora://cmd?add_to_wishlist", "tunora://cmd?add_to_wishlist_track_"}
        << QList<quint32>{} << QList<bool>{} << QList<bool>{false, false};
    // 4294967397 wraps to 101 in 32 bits: it must not select track 101.
    QTest::newRow("overflowing id selects nothing")
        << twoInHistory << QStringList{"tunora://cmd?add_to_wishlist_track_4294967397"} << QList<quint32>{}
        << QList<bool>{} << QList<bool>{false, false};
    QTest::newRow("trailing text selects nothing")
        << twoInHistory << QStringList{"tunora://cmd?add_to_wishlist_track_101x"} << QList<quint32>{}
        << QList<bool>{} << QList<bool>{false, false};
    QTest::newRow("not a command") << twoInHistory << QStringList{"https://shop/add_to_wishlist_track_101"}
                                   << QList<quint32>{} << QList<bool>{} << QList<bool>{false, false};
}

void TstTrackPages::commands()
{
    QFETCH(Setup, setup);
    QFETCH(QStringList, links);
    QFETCH(QList<quint32>, wishIds);
    QFETCH(QList<bool>, wishFlags);
    QFETCH(QList<bool>, historyFlags);
    QTemporaryDir dir;
    TrackLists lists;
    lists.setShowErrors(false);
    QSignalSpy errors(&lists, &TrackLists::signal_error);
    lists.loadWishList(dir.filePath("m_track_wishlist.xml"));
    setup(lists);
    for (const QString &l : links)
        lists.command(QUrl(l));
    QCOMPARE(lists.wishList().keys(), wishIds);
    for (int i = 0; i < wishIds.size(); ++i)
        QCOMPARE(lists.wishList().value(wishIds[i])->isWishListed(), wishFlags[i]);
    QCOMPARE(lists.history().size(), historyFlags.size());
    for (int i = 0; i < historyFlags.size(); ++i)
        QCOMPARE(lists.history()[i]->isWishListed(), historyFlags[i]);
    QCOMPARE(errors.count(), 0);

    // What was saved is exactly the flagged part of the list.
    TrackMap saved;
    loadWishList(dir.filePath("m_track_wishlist.xml"), saved);
    QList<quint32> flagged;
    for (int i = 0; i < wishIds.size(); ++i)
        if (wishFlags[i])
            flagged << wishIds[i];
    if (!links.isEmpty() && !wishIds.isEmpty())
        QCOMPARE(saved.keys(), flagged);
}

void TstTrackPages::historyKeepsTwentyWithCovers()
{
    TrackLists lists;
    for (int i = 0; i < 25; ++i) {
        TrackInfo t;
        t.setTrackName(QString("song %1").arg(i));
        t.setTrackId(quint32(i + 1));
        if (i != 22)
            t.setCover(someCover());
        lists.addToHistory(t);
    }
    QCOMPARE(lists.history().size(), 20);
    QCOMPARE(lists.history().last()->trackName(), QString("song 24"));
    QCOMPARE(lists.history().first()->trackName(), QString("song 4")); // the coverless 22 still dropped one
    for (const TrackPtr &t : lists.history())
        QVERIFY(t->trackName() != "song 22");
}

void TstTrackPages::sameSecondTracksStayApart()
{
    TrackLists lists;
    lists.setShowErrors(false);
    QTemporaryDir dir;
    lists.loadWishList(dir.filePath("w.xml"));
    for (int i = 0; i < 3; ++i) {
        TrackInfo t;
        t.setTrackName(QString("same second %1").arg(i));
        t.setCover(someCover());
        t.setTrackId(TrackInfo::hashId("Sun Dec 6 20:00:00 2026"));
        lists.addToHistory(t);
    }
    QSet<quint32> ids;
    for (const TrackPtr &t : lists.history())
        ids.insert(t->trackId());
    QCOMPARE(ids.size(), 3);
    const quint32 second = lists.history()[1]->trackId();
    lists.command(QUrl(QString("tunora://cmd?add_to_wishlist_track_%1").arg(second)));
    QCOMPARE(lists.wishList().size(), 1);
    QCOMPARE(lists.wishList().first()->trackName(), QString("same second 1"));
}

void TstTrackPages::saveFailureIsReported()
{
    TrackLists lists;
    lists.setShowErrors(false);
    QSignalSpy errors(&lists, &TrackLists::signal_error);
    QTemporaryDir dir;
    lists.loadWishList(dir.filePath("missing-folder/w.xml"));
    TrackInfo t;
    t.setTrackName("x");
    t.setCover(someCover());
    t.setTrackId(5);
    lists.addToHistory(t);
    lists.command(QUrl("tunora://cmd?add_to_wishlist_track_5"));
    QCOMPARE(errors.count(), 1);
    QVERIFY(errors.first().first().toString().startsWith(dir.filePath("missing-folder/w.xml") + "\n\n"));
    QCOMPARE(lists.wishList().size(), 1); // the list in memory is unchanged by the failed save
}

TUNORA_TEST_MAIN(TstTrackPages)
#include "tst_trackpages.moc"
