// The track-history and wish-list pages, their command links and lists, the wish-list file on disk
// (hostile, broken and full-disk cases); the lists drive whatever page view they are given (and let
// go of one that is destroyed), and the page loader hands the cookie jar to the pages whenever they
// arrive. No web engine runs here.
// Test tables are easier to read with plain string literals.
#undef QT_NO_CAST_FROM_ASCII

#include "cookiejar.h"
#include "testmain.h"
#include "trackinfo.h"
#include "tracklists.h"
#include "trackpage.h"
#include "webpages.h"

#include <QDir>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTemporaryDir>

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

// A song heard, as the window adds it to the history.
void addSong(TrackLists &lists, quint32 id, const QString &name = {})
{
    TrackInfo t;
    t.setTrackName(name.isEmpty() ? QString("song %1").arg(id) : name);
    QPixmap cover(4, 4);
    cover.fill(Qt::red);
    t.setCover(cover);
    t.setTrackId(id);
    lists.addToHistory(t);
}

// Records what the lists render into it.
class RecordingView : public QObject, public TrackPageView
{
public:
    void renderHistory(const TrackList &list) override { historySizes << int(list.size()); }
    void renderWishList(const TrackMap &map) override { wishSizes << int(map.size()); }
    void setContentsChanged(bool on) override { changed = on; }
    bool isPageVisible() const override { return visible; }
    QObject *pageObject() override { return this; }

    QList<int> historySizes;
    QList<int> wishSizes;
    bool changed = false;
    bool visible = false;
};

// Pages that only remember the jar they were handed.
class JarPages : public WebPages
{
public:
    void useCookieJar(CookieJar *jar) override { handed = jar; }
    TrackHistoryFrame *createHistoryPage(TrackLists *, const Hooks &) override { return nullptr; }
    TrackWishListFrame *createWishListPage(TrackLists *, const Hooks &) override { return nullptr; }
    HelpView *createHelpView() override { return nullptr; }
    TreeBrowser *createSiteView(const Hooks &) override { return nullptr; }
    void activate(TreeBrowser *) override {}
    QWidget *widget(TrackHistoryFrame *) override { return nullptr; }
    QWidget *widget(TrackWishListFrame *) override { return nullptr; }
    QWidget *widget(HelpView *) override { return nullptr; }
    QWidget *widget(TreeBrowser *) override { return nullptr; }

    QPointer<CookieJar> handed;
};

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

// A save file on a disk that fills up: accepts only the first `room` bytes and reports no error,
// which is what a full disk does to a single large write.
class FullDiskSaveFile : public QSaveFile
{
public:
    FullDiskSaveFile(const QString &name, qint64 room)
        : QSaveFile(name)
        , m_room(room)
    {}

protected:
    qint64 writeData(const char *data, qint64 len) override
    {
        const qint64 n = qMin(len, m_room);
        m_room -= n;
        return n > 0 ? QSaveFile::writeData(data, n) : 0;
    }

private:
    qint64 m_room;
};

QByteArray trackXml(const QString &id, const QString &name, const QString &wish)
{
    return QStringLiteral(
               "<track><trackId>%1</trackId><trackName>%2</trackName><WishList>%3</WishList></track>")
        .arg(id, name, wish)
        .toUtf8();
}

} // namespace

class TstTrackPages : public QObject
{
    Q_OBJECT

private slots:
    void hostileTextsStayText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("genre");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("cover");
        QTest::addColumn<bool>("shopLink"); // the shop link is kept as a link

        // clang-format off
        QTest::newRow("script in name") << "\"><script>alert(1)</script>" << "Pop" << "http://shop/x" << "http://img/x.jpg" << true;
        QTest::newRow("quote breaks attribute") << "A" << "" << "http://x/\" onmouseover=\"alert(1)" << "" << false;
        QTest::newRow("command link as shop link") << "A" << "" << "tunora://cmd?refresh_wish_list" << "" << false;
        // clang-format on
    }

    void hostileTextsStayText()
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
                             v.startsWith("file:///opt/Html/") || v.startsWith("tunora://cmd?") ||
                             v.isEmpty(),
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

    void historyOrderAndRows()
    {
        TrackPageBuilder builder("file:///h");
        const QString html =
            builder.renderHistory({track(1, "oldest"), track(2, "middle", true), track(3, "newest")});
        QVERIFY(html.indexOf("newest") < html.indexOf("middle"));
        QVERIFY(html.indexOf("middle") < html.indexOf("oldest"));
        QVERIFY(html.contains("tunora://cmd?add_to_wishlist_track_3"));
        QVERIFY(html.contains("tunora://cmd?remove_from_wishlist_track_2"));
        QVERIFY(html.contains("Remove from wish list"));
    }

    void wishListOrderAndBanner()
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

    // The pages' command links: adding, and removing (the entry stays, unflagged, until the list is
    // refreshed); ids that overflow or carry trailing text select nothing. The file keeps the list.
    void commands_data()
    {
        QTest::addColumn<QStringList>("links"); // after "tunora://cmd?"
        QTest::addColumn<QList<quint32>>("wished");
        QTest::newRow("refresh drops removed")
            << QStringList{"add_to_wishlist_track_100", "add_to_wishlist_track_101",
                           "remove_from_wishlist_track_100", "refresh_wish_list"}
            << QList<quint32>{101};
        // 4294967397 wraps to 101 in 32 bits: it must not select track 101.
        QTest::newRow("overflowing id selects nothing")
            << QStringList{"add_to_wishlist_track_4294967397"} << QList<quint32>{};
        QTest::newRow("trailing text selects nothing")
            << QStringList{"add_to_wishlist_track_101x"} << QList<quint32>{};
    }

    void commands()
    {
        QFETCH(QStringList, links);
        QFETCH(QList<quint32>, wished);
        QTemporaryDir dir;
        TrackLists lists;
        lists.setShowErrors(false);
        QSignalSpy errors(&lists, &TrackLists::signal_error);
        lists.loadWishList(dir.filePath("m_track_wishlist.xml"));
        for (quint32 id : {100u, 101u})
            addSong(lists, id);
        for (const QString &link : links)
            lists.command(QUrl("tunora://cmd?" + link));
        QCOMPARE(lists.wishList().keys(), wished);
        for (const TrackPtr &t : lists.history())
            QCOMPARE(t->isWishListed(), wished.contains(t->trackId()));
        QCOMPARE(errors.count(), 0);
        TrackMap saved;
        loadWishList(dir.filePath("m_track_wishlist.xml"), saved);
        QCOMPARE(saved.keys(), wished);
    }

    void sameSecondTracksStayApart()
    {
        TrackLists lists;
        lists.setShowErrors(false);
        QTemporaryDir dir;
        lists.loadWishList(dir.filePath("w.xml"));
        for (int i = 0; i < 3; ++i)
            addSong(lists, TrackInfo::hashId("Sun Dec 6 20:00:00 2026"), QString("same second %1").arg(i));
        QSet<quint32> ids;
        for (const TrackPtr &t : lists.history())
            ids.insert(t->trackId());
        QCOMPARE(ids.size(), 3);
        const quint32 second = lists.history()[1]->trackId();
        lists.command(QUrl(QString("tunora://cmd?add_to_wishlist_track_%1").arg(second)));
        QCOMPARE(lists.wishList().size(), 1);
        QCOMPARE(lists.wishList().first()->trackName(), QString("same second 1"));
    }

    void saveFailureIsReported()
    {
        TrackLists lists;
        lists.setShowErrors(false);
        QSignalSpy errors(&lists, &TrackLists::signal_error);
        QTemporaryDir dir;
        lists.loadWishList(dir.filePath("missing-folder/w.xml"));
        addSong(lists, 5);
        lists.command(QUrl("tunora://cmd?add_to_wishlist_track_5"));
        QCOMPARE(errors.count(), 1);
        QVERIFY(errors.first().first().toString().startsWith(dir.filePath("missing-folder/w.xml") + "\n\n"));
        QCOMPARE(lists.wishList().size(), 1); // the list in memory is unchanged by the failed save
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("url");
        QTest::newRow("markup and entities")
            << QStringLiteral("<b>AC&DC</b> - \"Back\" 'n' &amp;") << QStringLiteral("https://x/?q=<>&amp;");
        QTest::newRow("cjk and arabic") << QStringLiteral("久石譲 - 風のとおり道 / فيروز") << QString();
    }

    void roundTrip()
    {
        QFETCH(QString, name);
        QFETCH(QString, url);
        TrackMap map;
        auto t = track(4000000000u, name, true);
        t->setTrackURL(url);
        t->setTrackStation(QStringLiteral("Station & Co"));
        t->setTrackFile(QStringLiteral("http://img/1.jpg"));
        t->setTrackGenre(QStringLiteral("Jazz"));
        t->setTrackPreview(QStringLiteral("http://p/1.mp3"));
        t->setTrackDateTime(QDateTime(QDate(2026, 12, 6), QTime(20, 1, 2)));
        map.insert(t->trackId(), t);
        map.insert(7, track(7, QStringLiteral("not wished"))); // dropped from the file
        map.insert(8, track(8, QString(), true));              // empty: never written

        QString error;
        QVERIFY2(saveWishList(path(QStringLiteral("m_track_wishlist.xml")), map, &error), qPrintable(error));
        TrackMap back;
        WishListLoad outcome;
        QVERIFY(loadWishList(path(QStringLiteral("m_track_wishlist.xml")), back, &outcome));
        QVERIFY(!outcome.malformed);
        QCOMPARE(back.keys(), QList<quint32>{4000000000u});
        const auto fields = [](const TrackPtr &x) {
            return QStringList() << x->trackName() << x->trackURL() << x->trackStation() << x->trackFile()
                                 << x->trackGenre() << x->trackPreview()
                                 << x->trackDateTime().toString(Qt::ISODate);
        };
        const TrackPtr r = back.value(4000000000u);
        QCOMPARE(fields(r), fields(t));
        QVERIFY(r->isWishListed());
    }

    void readFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<quint32>>("ids");
        QTest::addColumn<QStringList>("names"); // every one wished

        QTest::newRow("later duplicate wins") << QByteArray("<tracks>" + trackXml("5", "first", "yes") +
                                                            trackXml("5", "second", "yes") + "</tracks>")
                                              << QList<quint32>{5} << QStringList{"second"};
        QTest::newRow("entities and numeric references")
            << QByteArray("<tracks>" + trackXml("9", "Tom &amp; Jerry &#x41A;&lt;", "yes") + "</tracks>")
            << QList<quint32>{9} << QStringList{QStringLiteral("Tom & Jerry К<")};
        // An id that overflows 32 bits must not wrap onto another track's id.
        QTest::newRow("overflowing id gets its own")
            << QByteArray("<tracks>" + trackXml("4294967297", "big", "yes") + trackXml("1", "one", "yes") +
                          "</tracks>")
            << QList<quint32>{1, TrackInfo::hashId(QStringLiteral("big"))} << QStringList{"one", "big"};
    }

    void readFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QList<quint32>, ids);
        QFETCH(QStringList, names);
        QFile f(path(QStringLiteral("in.xml")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + content);
        f.close();
        TrackMap map;
        WishListLoad outcome;
        QVERIFY(loadWishList(f.fileName(), map, &outcome));
        QVERIFY2(!outcome.malformed, qPrintable(outcome.errorText));
        QCOMPARE(map.size(), ids.size());
        for (int i = 0; i < ids.size(); ++i) {
            QVERIFY2(map.contains(ids[i]), qPrintable(QString::number(ids[i])));
            QCOMPARE(map[ids[i]]->trackName(), names[i]);
            QVERIFY(map[ids[i]]->isWishListed());
        }
    }

    void malformedKeepsRecordsAndBackup()
    {
        const QString file = path(QStringLiteral("bad.xml"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<tracks>" + trackXml("1", "kept", "yes") + "<track><trackId>2</trackId><trackName>cut");
        f.close();
        TrackMap map;
        map.insert(50, track(50, QStringLiteral("already there"), true));
        WishListLoad outcome;
        QVERIFY(loadWishList(file, map, &outcome));
        QVERIFY(outcome.malformed);
        QCOMPARE(map.keys(), (QList<quint32>{1, 50}));
        QVERIFY(!outcome.backupPath.isEmpty());
        QFile backup(outcome.backupPath);
        QVERIFY(backup.open(QIODevice::ReadOnly));
        QVERIFY(backup.readAll().endsWith("<trackName>cut"));

        TrackMap none;
        QVERIFY(!loadWishList(path(QStringLiteral("missing.xml")), none, &outcome));
        QVERIFY(!outcome.opened);
        QVERIFY(none.isEmpty());
    }

    void fullDiskKeepsOldFile()
    {
        const QString file = path(QStringLiteral("full.xml"));
        TrackMap old;
        old.insert(1, track(1, QStringLiteral("old song"), true));
        QVERIFY(saveWishList(file, old));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();

        TrackMap bigger;
        for (quint32 i = 1; i <= 200; ++i)
            bigger.insert(i, track(i, QStringLiteral("song %1").arg(i), true));
        FullDiskSaveFile full(file, 512);
        QString error;
        QVERIFY(!saveWishList(full, bigger, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        QCOMPARE(QDir(m_dir.path()).entryList({"full.xml*"}, QDir::Files),
                 QStringList{"full.xml"}); // no temp file left
    }

    // A view given later shows what the lists hold; a removal from the shown wish list keeps the
    // row (with a banner) until the listener refreshes; destroyed views are let go of.
    void listsDriveTheirViews_data()
    {
        QTest::addColumn<bool>("visible");
        QTest::newRow("wish list shown: banner") << true;
        QTest::newRow("wish list hidden: no banner") << false;
    }

    void listsDriveTheirViews()
    {
        QFETCH(bool, visible);
        TrackLists lists;
        lists.setShowErrors(false);
        QTemporaryDir dir;
        lists.loadWishList(dir.filePath("w.xml"));
        addSong(lists, 1);
        auto history = std::make_unique<RecordingView>();
        auto wishes = std::make_unique<RecordingView>();
        wishes->visible = visible;
        lists.setHistoryView(history.get());
        lists.setWishListView(wishes.get());
        QCOMPARE(history->historySizes, QList<int>{1});
        QCOMPARE(wishes->wishSizes, QList<int>{0});
        addSong(lists, 2);
        QVERIFY(lists.command(QUrl("tunora://cmd?add_to_wishlist_track_2")));
        QCOMPARE(history->historySizes.last(), 2);
        QCOMPARE(wishes->wishSizes.last(), 1);
        QVERIFY(!wishes->changed);
        QVERIFY(lists.command(QUrl("tunora://cmd?remove_from_wishlist_track_2")));
        QCOMPARE(wishes->changed, visible);
        QVERIFY(lists.command(QUrl("tunora://cmd?refresh_wish_list")));
        QVERIFY(!wishes->changed);
        QCOMPARE(wishes->wishSizes.last(), 0);

        history.reset();
        wishes.reset();
        addSong(lists, 3);
        QVERIFY(lists.command(QUrl("tunora://cmd?add_to_wishlist_track_3")));
        QVERIFY(lists.command(QUrl("tunora://cmd?refresh_wish_list")));
        QCOMPARE(lists.wishList().size(), 1);
    }

    // Pages that arrive after the jar was set get it when they arrive, later jars at once.
    void cookieJarReachesThePages()
    {
        CookieJar first;
        WebPages::setCookieJar(&first);
        JarPages pages;
        WebPages::registerInProcess(&pages);
        QCOMPARE(WebPages::load(), &pages);
        QCOMPARE(pages.handed.data(), &first);
        CookieJar second;
        WebPages::setCookieJar(&second);
        QCOMPARE(pages.handed.data(), &second);
        WebPages::registerInProcess(nullptr);
    }

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

TUNORA_TEST_MAIN(TstTrackPages)
#include "tst_trackpages.moc"
