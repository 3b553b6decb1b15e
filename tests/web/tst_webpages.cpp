// The window's side of the web pages, without the web engine: the track lists drive whatever page
// view they are given (and let go of one that is destroyed), and the loader hands the cookie jar
// to the pages whenever they arrive.
#undef QT_NO_CAST_FROM_ASCII

#include "cookiejar.h"
#include "testmain.h"
#include "tracklists.h"
#include "webpages.h"

#include <QPointer>
#include <QTemporaryDir>

using namespace BASS;

namespace {

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

void addSong(TrackLists &lists, quint32 id)
{
    TrackInfo t;
    t.setTrackName(QString("song %1").arg(id));
    t.setTrackId(id);
    QPixmap cover(2, 2);
    cover.fill(Qt::blue);
    t.setCover(cover);
    lists.addToHistory(t);
}

} // namespace

class TstWebPages : public QObject
{
    Q_OBJECT
private slots:
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
        // A view given later shows what the lists already hold.
        lists.setHistoryView(history.get());
        lists.setWishListView(wishes.get());
        QCOMPARE(history->historySizes, QList<int>{1});
        QCOMPARE(wishes->wishSizes, QList<int>{0});
        addSong(lists, 2);
        QVERIFY(lists.command(QUrl("tunora://cmd?add_to_wishlist_track_2")));
        QCOMPARE(history->historySizes.last(), 2);
        QCOMPARE(wishes->wishSizes.last(), 1);
        QVERIFY(!wishes->changed);
        // A removal from the shown page keeps the row until the listener refreshes it.
        QVERIFY(lists.command(QUrl("tunora://cmd?remove_from_wishlist_track_2")));
        QCOMPARE(wishes->changed, visible);
        QVERIFY(lists.command(QUrl("tunora://cmd?refresh_wish_list")));
        QVERIFY(!wishes->changed);
        QCOMPARE(wishes->wishSizes.last(), 0);

        // Destroyed pages are let go of: later changes reach no dangling view.
        history.reset();
        wishes.reset();
        addSong(lists, 3);
        QVERIFY(lists.command(QUrl("tunora://cmd?add_to_wishlist_track_3")));
        QVERIFY(lists.command(QUrl("tunora://cmd?refresh_wish_list")));
        QCOMPARE(lists.wishList().size(), 1);
    }

    void cookieJarReachesThePages()
    {
        CookieJar first;
        WebPages::setCookieJar(&first);
        JarPages pages;
        WebPages::registerInProcess(&pages);
        QCOMPARE(WebPages::load(), &pages);
        // Pages that arrive after the jar was set get it when they arrive, later jars at once.
        QCOMPARE(pages.handed.data(), &first);
        CookieJar second;
        WebPages::setCookieJar(&second);
        QCOMPARE(pages.handed.data(), &second);
        WebPages::registerInProcess(nullptr);
    }
};

TUNORA_TEST_MAIN(TstWebPages)
#include "tst_webpages.moc"
