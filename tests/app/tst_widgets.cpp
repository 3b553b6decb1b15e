#include "autoscrolltextbrowser.h"
#include "coverartlabel.h"
#include "dashboard.h"
#include "desktoplinks.h"
#include "infopanel.h"
#include "lineeditex.h"
#include "mainpanelframe.h"
#include "navigatelabel.h"
#include "pushbuttonover.h"
#include "testmain.h"
#include "tickerlabel.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>

#include <climits>
#include <functional>
#include <memory>

// What the widgets did that a user or the main window can see: links handed to the desktop, status
// texts, and the widgets' own signals in the order they came.
struct Seen
{
    QStringList opened;
    QStringList statuses;
    QStringList signalsSeen;
};

// Stands in for the desktop browser: every scheme a widget might hand over ends up here.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    Seen *seen = nullptr;
public slots:
    void open(const QUrl &url) { seen->opened << url.toString(); }
};

using Scenario = std::function<void(QWidget *host, Seen &seen)>;
Q_DECLARE_METATYPE(Scenario)

namespace {

QString at(QWidget *w, QPoint p)
{
    const QPoint g = w->mapToGlobal(p);
    return QStringLiteral("@%1,%2").arg(g.x()).arg(g.y());
}

template<typename W>
void recordMouseSignals(W *w, Seen &seen)
{
    QObject::connect(w, &W::signal_mouseButtonLeft, [&seen](QWidget *from, QPoint g) {
        seen.signalsSeen << QStringLiteral("left:%1@%2,%3").arg(from->objectName()).arg(g.x()).arg(g.y());
    });
    QObject::connect(w, &W::signal_mouseButtonRight, [&seen](QWidget *from, QPoint g) {
        seen.signalsSeen << QStringLiteral("right:%1@%2,%3").arg(from->objectName()).arg(g.x()).arg(g.y());
    });
}

template<typename W>
W *make(QWidget *host, const char *name)
{
    auto *w = new W(host);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(0, 0, 200, 40);
    w->show();
    return w;
}

void enter(QWidget *w)
{
    QEnterEvent event(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), w->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(w, &event);
}

void leave(QWidget *w)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(w, &event);
}

QImage solid(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// Pixels of the hint's grey in the given area of an image.
int hintPixels(const QImage &image, const QRect &area, int *leftmost = nullptr, int *rightmost = nullptr)
{
    int count = 0;
    int left = INT_MAX, right = -1;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - c.green()) <= 2 && qAbs(c.green() - c.blue()) <= 2 &&
                qAbs(c.red() - 141) <= 3) {
                ++count;
                left = qMin(left, x);
                right = qMax(right, x);
            }
        }
    if (leftmost)
        *leftmost = left;
    if (rightmost)
        *rightmost = right;
    return count;
}

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void clicksAndLinks_data();
    void clicksAndLinks();
    void cursor_data();
    void cursor();
    void enterAndLeave_data();
    void enterAndLeave();
    void searchHint_data();
    void searchHint();
    void coverOverlay_data();
    void coverOverlay();
    void panelGeometry_data();
    void panelGeometry();
    void hoverIcon_data();
    void hoverIcon();
    void scrolling_data();
    void scrolling();
    void scrollingStartsByItself();
    void tickerTakesTheLabelsPlace();

private:
    QTemporaryDir m_dir;
    UrlRecorder m_recorder;
    Seen m_seen;
    std::unique_ptr<QWidget> m_host;
};

void TestWidgets::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_recorder.seen = &m_seen;
    for (const char *scheme : {"http", "https", "file", "javascript", "ftp", "mailto"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &m_recorder, "open");
    QVERIFY(solid({16, 16}, Qt::red).save(m_dir.filePath(QStringLiteral("red.png"))));
    QVERIFY(solid({16, 16}, Qt::blue).save(m_dir.filePath(QStringLiteral("blue.png"))));
    QVERIFY(solid({8, 8}, QColor(0, 255, 0, 128)).save(m_dir.filePath(QStringLiteral("overlay.png"))));
}

void TestWidgets::cleanupTestCase()
{
    for (const char *scheme : {"http", "https", "file", "javascript", "ftp", "mailto"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
}

void TestWidgets::init()
{
    m_seen = {};
    DesktopLinks::setStatusHook([this](const QString &text) { m_seen.statuses << text; });
    m_host = std::make_unique<QWidget>();
    m_host->resize(400, 300);
    m_host->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    // The widgets of a test sit in the top-left corner; the pointer starts away from them.
    QTest::mouseMove(m_host.get(), {395, 295});
}

void TestWidgets::cleanup()
{
    DesktopLinks::setStatusHook({});
    m_host.reset();
}

void TestWidgets::clicksAndLinks_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<QStringList>("signalsSeen");
    QTest::addColumn<QStringList>("opened");
    QTest::addColumn<QStringList>("statuses");

    const QString shop = QStringLiteral("https://shop.example/album?id=7");
    const QStringList starting{QStringLiteral("Starting browser...")};

    QTest::newRow("cover without link: left click only signals") << Scenario([](QWidget *host, Seen &seen) {
        auto *w = make<CoverArtLabel>(host, "cover");
        recordMouseSignals(w, seen);
        QTest::mouseClick(w, Qt::LeftButton, {}, {7, 9});
        seen.signalsSeen.replaceInStrings(at(w, {7, 9}), QStringLiteral("@p"));
    }) << QStringList{QStringLiteral("left:cover@p")} << QStringList()
                                                                 << QStringList();
    QTest::newRow("cover with shop link opens it") << Scenario([shop](QWidget *host, Seen &seen) {
        auto *w = make<CoverArtLabel>(host, "cover");
        recordMouseSignals(w, seen);
        w->setShopLink(shop);
        QTest::mouseClick(w, Qt::LeftButton, {}, {7, 9});
        seen.signalsSeen.replaceInStrings(at(w, {7, 9}), QStringLiteral("@p"));
    }) << QStringList{QStringLiteral("left:cover@p")}
                                                   << QStringList{shop} << QStringList();
    QTest::newRow("cover right click never opens") << Scenario([shop](QWidget *host, Seen &seen) {
        auto *w = make<CoverArtLabel>(host, "cover");
        recordMouseSignals(w, seen);
        w->setShopLink(shop);
        QTest::mouseClick(w, Qt::RightButton, {}, {3, 4});
        seen.signalsSeen.replaceInStrings(at(w, {3, 4}), QStringLiteral("@p"));
    }) << QStringList{QStringLiteral("right:cover@p")}
                                                   << QStringList() << QStringList();
    QTest::newRow("cover reset drops the link, restore brings it back")
        << Scenario([shop](QWidget *host, Seen &) {
               auto *w = make<CoverArtLabel>(host, "cover");
               w->setShopLink(shop);
               w->reset();
               QTest::mouseClick(w, Qt::LeftButton);
               w->restoreShopLink();
               QTest::mouseClick(w, Qt::LeftButton);
           })
        << QStringList() << QStringList{shop} << QStringList();
    QTest::newRow("cover refuses a file link") << Scenario([](QWidget *host, Seen &) {
        auto *w = make<CoverArtLabel>(host, "cover");
        w->setShopLink(QStringLiteral("file:///etc/passwd"));
        QTest::mouseClick(w, Qt::LeftButton);
    }) << QStringList() << QStringList() << QStringList();
    QTest::newRow("navigate link goes to the window") << Scenario([](QWidget *host, Seen &seen) {
        auto *w = make<NavigateLabel>(host, "pager");
        w->setText(QStringLiteral("<a href=\"next\">Next page of stations</a>"));
        QObject::connect(w, &NavigateLabel::signal_linkClicked,
                         [&seen, w](QLabel *from, const QString &link) {
                             seen.signalsSeen << QStringLiteral("link:%1:%2").arg(from == w).arg(link);
                         });
        QTest::mouseClick(w, Qt::LeftButton, {}, {6, 20});
    }) << QStringList{QStringLiteral("link:1:next")} << QStringList()
                                                      << QStringList();
    QTest::newRow("navigate link opened in the browser") << Scenario([shop](QWidget *host, Seen &seen) {
        auto *w = make<NavigateLabel>(host, "pager");
        w->setOpenInBrowser(true);
        w->setText(QStringLiteral("<a href=\"%1\">Shop for this album</a>").arg(shop));
        QObject::connect(w, &NavigateLabel::signal_linkClicked,
                         [&seen](QLabel *, const QString &link) { seen.signalsSeen << link; });
        QTest::mouseClick(w, Qt::LeftButton, {}, {6, 20});
    }) << QStringList() << QStringList{shop} << starting;
    QTest::newRow("navigate refuses a script link") << Scenario([](QWidget *host, Seen &) {
        auto *w = make<NavigateLabel>(host, "pager");
        w->setOpenInBrowser(true);
        w->slot_linkActivated(QStringLiteral("javascript:alert(1)"));
    }) << QStringList() << QStringList() << QStringList();
    QTest::newRow("navigate clicks without a link") << Scenario([](QWidget *host, Seen &seen) {
        auto *w = make<NavigateLabel>(host, "pager");
        w->setText(QStringLiteral("plain"));
        recordMouseSignals(w, seen);
        QTest::mouseClick(w, Qt::LeftButton, {}, {2, 2});
        QTest::mouseClick(w, Qt::RightButton, {}, {5, 6});
        seen.signalsSeen.replaceInStrings(at(w, {2, 2}), QStringLiteral("@a"));
        seen.signalsSeen.replaceInStrings(at(w, {5, 6}), QStringLiteral("@b"));
    }) << QStringList{QStringLiteral("left:pager@a"), QStringLiteral("right:pager@b")}
                                                    << QStringList() << QStringList();
    QTest::newRow("ticker with link opens it instead of signalling")
        << Scenario([shop](QWidget *host, Seen &seen) {
               auto *w = make<TickerLabel>(host, "ticker");
               recordMouseSignals(w, seen);
               w->setText(QStringLiteral("News | Something happened"));
               w->setLink(shop);
               QTest::mouseClick(w, Qt::LeftButton, {}, {4, 4});
           })
        << QStringList() << QStringList{shop} << starting;
    QTest::newRow("ticker without link signals") << Scenario([](QWidget *host, Seen &seen) {
        auto *w = make<TickerLabel>(host, "ticker");
        recordMouseSignals(w, seen);
        w->setText(QStringLiteral("News | Something happened"));
        QTest::mouseClick(w, Qt::LeftButton, {}, {4, 4});
        QTest::mouseClick(w, Qt::RightButton, {}, {4, 4});
        seen.signalsSeen.replaceInStrings(at(w, {4, 4}), QStringLiteral("@p"));
    }) << QStringList{QStringLiteral("left:ticker@p"), QStringLiteral("right:ticker@p")}
                                                 << QStringList() << QStringList();
}

void TestWidgets::clicksAndLinks()
{
    QFETCH(Scenario, scenario);
    QFETCH(QStringList, signalsSeen);
    QFETCH(QStringList, opened);
    QFETCH(QStringList, statuses);

    scenario(m_host.get(), m_seen);
    QCOMPARE(m_seen.signalsSeen, signalsSeen);
    QCOMPARE(m_seen.opened, opened);
    QCOMPARE(m_seen.statuses, statuses);
}

void TestWidgets::cursor_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<QString>("widgetName");
    QTest::addColumn<int>("shape");

    const QString shop = QStringLiteral("https://shop.example/a");
    QTest::newRow("cover with link") << Scenario([shop](QWidget *h, Seen &) {
        make<CoverArtLabel>(h, "w")->setShopLink(shop);
    }) << "w" << int(Qt::PointingHandCursor);
    QTest::newRow("cover link cleared by an empty link") << Scenario([shop](QWidget *h, Seen &) {
        auto *w = make<CoverArtLabel>(h, "w");
        w->setShopLink(shop);
        w->setShopLink({});
    }) << "w" << int(Qt::ArrowCursor);
    QTest::newRow("cover reset") << Scenario([shop](QWidget *h, Seen &) {
        auto *w = make<CoverArtLabel>(h, "w");
        w->setShopLink(shop);
        w->reset();
    }) << "w" << int(Qt::ArrowCursor);
    QTest::newRow("navigate hovered with link cursor") << Scenario([](QWidget *h, Seen &) {
        auto *w = make<NavigateLabel>(h, "w");
        w->setLinkCursor(true);
        enter(w);
    }) << "w" << int(Qt::PointingHandCursor);
    QTest::newRow("navigate left again") << Scenario([](QWidget *h, Seen &) {
        auto *w = make<NavigateLabel>(h, "w");
        w->setLinkCursor(true);
        enter(w);
        leave(w);
    }) << "w" << int(Qt::ArrowCursor);
    QTest::newRow("navigate hovered without link cursor")
        << Scenario([](QWidget *h, Seen &) { enter(make<NavigateLabel>(h, "w")); }) << "w"
        << int(Qt::ArrowCursor);
    QTest::newRow("ticker hovered with link") << Scenario([shop](QWidget *h, Seen &) {
        auto *w = make<TickerLabel>(h, "w");
        w->setText(QStringLiteral("News | x"));
        w->setLink(shop);
        enter(w);
    }) << "w" << int(Qt::PointingHandCursor);
    QTest::newRow("ticker left") << Scenario([shop](QWidget *h, Seen &) {
        auto *w = make<TickerLabel>(h, "w");
        w->setText(QStringLiteral("News | x"));
        w->setLink(shop);
        enter(w);
        leave(w);
    }) << "w" << int(Qt::ArrowCursor);
    QTest::newRow("ticker hovered without link") << Scenario([](QWidget *h, Seen &) {
        auto *w = make<TickerLabel>(h, "w");
        w->setText(QStringLiteral("News | x"));
        enter(w);
    }) << "w" << int(Qt::ArrowCursor);
}

void TestWidgets::cursor()
{
    QFETCH(Scenario, scenario);
    QFETCH(QString, widgetName);
    QFETCH(int, shape);

    scenario(m_host.get(), m_seen);
    auto *w = m_host->findChild<QWidget *>(widgetName);
    QVERIFY(w);
    QCOMPARE(int(w->cursor().shape()), shape);
}

void TestWidgets::enterAndLeave_data()
{
    QTest::addColumn<bool>("dashboard");
    QTest::newRow("cover") << false;
    QTest::newRow("dashboard") << true;
}

void TestWidgets::enterAndLeave()
{
    QFETCH(bool, dashboard);
    QWidget *w = dashboard ? static_cast<QWidget *>(make<Dashboard>(m_host.get(), "w"))
                           : make<CoverArtLabel>(m_host.get(), "w");
    QSignalSpy entered(w, SIGNAL(signal_mouseEnter(QWidget *)));
    QSignalSpy left(w, SIGNAL(signal_mouseLeave(QWidget *)));
    enter(w);
    QCOMPARE(entered.count(), 1);
    QCOMPARE(left.count(), 0);
    QCOMPARE(entered.at(0).at(0).value<QWidget *>(), w);
    leave(w);
    QCOMPARE(left.count(), 1);
    QCOMPARE(left.at(0).at(0).value<QWidget *>(), w);
}

void TestWidgets::searchHint_data()
{
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("hintShown");

    const QString search = QStringLiteral("Search Stations or What's Playing");
    QTest::newRow("empty, not focused") << search << QString() << false << 260 << true;
    QTest::newRow("empty, focused") << search << QString() << true << 260 << false;
    QTest::newRow("text typed") << search << QStringLiteral("jazz") << false << 260 << false;
    QTest::newRow("no hint set") << QString() << QString() << false << 260 << false;
    QTest::newRow("hint longer than the field") << search.repeated(4) << QString() << false << 120 << true;
}

void TestWidgets::searchHint()
{
    QFETCH(QString, hint);
    QFETCH(QString, text);
    QFETCH(bool, focused);
    QFETCH(int, width);
    QFETCH(bool, hintShown);

    auto *edit = new LineEditEx(m_host.get());
    // Typed text and the caret in red, so that only the hint can be grey.
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Text, Qt::red);
    palette.setColor(QPalette::Base, Qt::white);
    edit->setPalette(palette);
    edit->setGeometry(0, 0, width, 28);
    edit->setHint(hint);
    edit->setText(text);
    auto *other = new QLineEdit(m_host.get());
    other->setGeometry(0, 40, 50, 28);
    edit->show();
    other->show();
    m_host->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_host.get()));
    (focused ? edit : other)->setFocus();
    QTRY_COMPARE(edit->hasFocus(), focused);

    const QImage image = edit->grab().toImage();
    const QRect inside = QRect(QPoint(0, 0), edit->size()).adjusted(3, 3, -3, -3);
    int leftmost = 0, rightmost = 0;
    const int grey = hintPixels(image, inside, &leftmost, &rightmost);
    if (!hintShown) {
        QCOMPARE(grey, 0);
        return;
    }
    QVERIFY2(grey > 5, qPrintable(QString::number(grey)));
    QVERIFY2(leftmost >= 10 && leftmost <= 14, qPrintable(QString::number(leftmost)));
    QVERIFY2(rightmost < width - 3, qPrintable(QString::number(rightmost)));
}

void TestWidgets::coverOverlay_data()
{
    QTest::addColumn<QString>("overlayText");
    QTest::addColumn<bool>("overlayImage");
    QTest::addColumn<bool>("thenDefaultShown");
    QTest::addColumn<bool>("tinted");
    QTest::addColumn<bool>("textShown");

    QTest::newRow("no overlay text: the cover alone") << QString() << true << false << false << false;
    QTest::newRow("overlay over the cover")
        << QStringLiteral("Buy song/album") << true << false << true << true;
    QTest::newRow("unreadable overlay image: text only")
        << QStringLiteral("Buy song/album") << false << false << false << true;
    QTest::newRow("default image shown clears the overlay")
        << QStringLiteral("Buy song/album") << true << true << false << false;
    QTest::newRow("markup is painted as text, never as a picture")
        << QStringLiteral("<img src=\"x\">") << true << false << true << true;
}

void TestWidgets::coverOverlay()
{
    QFETCH(QString, overlayText);
    QFETCH(bool, overlayImage);
    QFETCH(bool, thenDefaultShown);
    QFETCH(bool, tinted);
    QFETCH(bool, textShown);

    auto *cover = new CoverArtLabel(m_host.get());
    cover->setGeometry(0, 0, 200, 200);
    cover->setScaledContents(true);
    cover->setPixmap(QPixmap::fromImage(solid({4, 4}, Qt::blue)));
    const QString overlay =
        m_dir.filePath(overlayImage ? QStringLiteral("overlay.png") : QStringLiteral("none.png"));
    QCOMPARE(cover->loadOverlayImage(overlay), overlayImage);
    cover->setOverlayText(overlayText);
    if (thenDefaultShown)
        cover->setDefaultShown(true);
    cover->show();

    const QImage image = cover->grab().toImage();
    // The overlay covers the whole area, not only the strip at the bottom.
    const QColor topLeft = image.pixelColor(2, 2);
    QCOMPARE(topLeft.green() > 100, tinted);
    QVERIFY(topLeft.blue() > 100);

    // White text lies in the bottom line, between 10 px from the left and 32 px from the right.
    const int line = cover->fontMetrics().height();
    int white = 0, misplaced = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() < 200 || c.green() < 200 || c.blue() < 200)
                continue;
            const bool inStrip = y >= image.height() - line && x >= 10 && x < image.width() - 32;
            ++(inStrip ? white : misplaced);
        }
    QCOMPARE(misplaced, 0);
    QCOMPARE(white > 5, textShown);
}

void TestWidgets::panelGeometry_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<QRect>("header");
    QTest::addColumn<QRect>("content");

    // Each row builds a "panel" with a "content" child; InfoPanel rows have no header.
    auto panel = [](QWidget *host, QSize size) {
        auto *frame = new MainPanelFrame(host);
        frame->setObjectName(QStringLiteral("panel"));
        auto *content = new QWidget;
        content->setObjectName(QStringLiteral("content"));
        frame->setContentWidget(content);
        frame->resize(size);
        frame->show();
        return frame;
    };
    QTest::newRow("default header height") << Scenario([panel](QWidget *h, Seen &) {
        panel(h, {300, 200});
    }) << QRect(0, 0, 300, 19) << QRect(0, 19, 300, 181);
    QTest::newRow("header height changed") << Scenario([panel](QWidget *h, Seen &) {
        panel(h, {300, 200})->setHeaderHeight(30);
    }) << QRect(0, 0, 300, 30) << QRect(0, 30, 300, 170);
    QTest::newRow("header text with height 0 keeps the height") << Scenario([panel](QWidget *h, Seen &) {
        panel(h, {300, 200})->setHeaderText(QStringLiteral("Recently Played"), 0);
    }) << QRect(0, 0, 300, 19) << QRect(0, 19, 300, 181);
    QTest::newRow("header text with a height") << Scenario([panel](QWidget *h, Seen &) {
        panel(h, {300, 200})->setHeaderText(QStringLiteral("Wish List"), 24);
    }) << QRect(0, 0, 300, 24) << QRect(0, 24, 300, 176);
    QTest::newRow("resized later") << Scenario([panel](QWidget *h, Seen &) {
        panel(h, {300, 200})->resize(350, 100);
    }) << QRect(0, 0, 350, 19) << QRect(0, 19, 350, 81);
    QTest::newRow("content set after the resize") << Scenario([](QWidget *h, Seen &) {
        auto *frame = new MainPanelFrame(h);
        frame->setObjectName(QStringLiteral("panel"));
        frame->resize(250, 120);
        frame->show();
        auto *content = new QWidget(h);
        content->setObjectName(QStringLiteral("content"));
        frame->setContentWidget(content);
    }) << QRect(0, 0, 250, 19) << QRect(0, 19, 250, 101);
    QTest::newRow("frame lower than its header") << Scenario([panel](QWidget *h, Seen &) {
        panel(h, {120, 10});
    }) << QRect(0, 0, 120, 10) << QRect(0, 10, 120, 0);
    QTest::newRow("info panel description fills it") << Scenario([](QWidget *h, Seen &) {
        auto *info = new InfoPanel(h);
        info->setObjectName(QStringLiteral("panel"));
        auto *description = new QWidget(info);
        description->setObjectName(QStringLiteral("tbDescription"));
        description->setGeometry(5, 5, 10, 10);
        auto *other = new QWidget(info);
        other->setObjectName(QStringLiteral("content"));
        other->setGeometry(1, 2, 3, 4);
        info->resize(220, 90);
        info->show();
    }) << QRect(0, 0, 220, 90) << QRect(1, 2, 3, 4);
}

void TestWidgets::panelGeometry()
{
    QFETCH(Scenario, scenario);
    QFETCH(QRect, header);
    QFETCH(QRect, content);

    scenario(m_host.get(), m_seen);
    auto *panel = m_host->findChild<QWidget *>(QStringLiteral("panel"));
    QVERIFY(panel);
    auto *contentWidget = panel->findChild<QWidget *>(QStringLiteral("content"));
    QVERIFY(contentWidget);
    QCOMPARE(contentWidget->parentWidget(), panel);
    QCOMPARE(contentWidget->geometry(), content);
    if (auto *frame = qobject_cast<MainPanelFrame *>(panel))
        QCOMPARE(frame->header()->geometry(), header);
    else
        QCOMPARE(panel->findChild<QWidget *>(QStringLiteral("tbDescription"))->geometry(), header);
}

void TestWidgets::hoverIcon_data()
{
    QTest::addColumn<QString>("hoverFile");
    QTest::addColumn<QColor>("hovered");

    QTest::newRow("hover icon") << QStringLiteral("blue.png") << QColor(Qt::blue);
    QTest::newRow("no hover icon keeps the normal one") << QString() << QColor(Qt::red);
    QTest::newRow("unreadable hover icon keeps the normal one")
        << QStringLiteral("missing.png") << QColor(Qt::red);
}

void TestWidgets::hoverIcon()
{
    QFETCH(QString, hoverFile);
    QFETCH(QColor, hovered);

    auto *button = make<PushButtonOver>(m_host.get(), "button");
    button->setIcons(m_dir.filePath(QStringLiteral("red.png")),
                     hoverFile.isEmpty() ? QString() : m_dir.filePath(hoverFile));
    auto shown = [button] { return button->icon().pixmap(16, 16).toImage().pixelColor(8, 8); };
    QCOMPARE(shown(), QColor(Qt::red));
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), button->mapToGlobal(QPointF(10, 10)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(button, &move);
    QCOMPARE(shown(), hovered);
    leave(button);
    QCOMPARE(shown(), QColor(Qt::red));
}

void TestWidgets::scrolling_data()
{
    QTest::addColumn<bool>("ticker");
    QTest::addColumn<int>("fromEnd"); // start this far before the maximum; -1 starts at 0
    QTest::addColumn<bool>("hovered");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("expected"); // -1: the maximum; below -1: that far before the maximum

    QTest::newRow("text advances one pixel a tick") << false << -1 << false << 5 << 5;
    QTest::newRow("text reaches the end") << false << 3 << false << 3 << -1;
    QTest::newRow("text wraps to the top") << false << 1 << false << 2 << 0;
    QTest::newRow("text holds under the mouse") << false << 10 << true << 4 << -10;
    QTest::newRow("ticker advances three pixels a tick") << true << -1 << false << 4 << 12;
    QTest::newRow("ticker wraps to the start") << true << 0 << false << 1 << 0;
    QTest::newRow("ticker holds under the mouse") << true << -1 << true << 6 << 0;
}

void TestWidgets::scrolling()
{
    QFETCH(bool, ticker);
    QFETCH(int, fromEnd);
    QFETCH(bool, hovered);
    QFETCH(int, ticks);
    QFETCH(int, expected);

    QWidget *mouseTarget = nullptr;
    QScrollBar *bar = nullptr;
    std::function<void()> tick;
    if (ticker) {
        auto *label = new TickerLabel(m_host.get());
        label->setGeometry(0, 0, 150, 20);
        label->show();
        label->setText(QStringLiteral("News | The longest headline of the day, scrolling past"));
        mouseTarget = label;
        bar = label->scrollArea()->horizontalScrollBar();
        tick = [label] { label->slot_scrollTick(); };
    } else {
        auto *browser = new AutoScrollTextBrowser(m_host.get());
        browser->setGeometry(0, 0, 200, 100);
        browser->setPlainText(QStringLiteral("line\n").repeated(200));
        browser->show();
        mouseTarget = browser;
        bar = browser->verticalScrollBar();
        tick = [browser] { browser->slot_scrollTick(); };
    }
    QTRY_VERIFY(bar->maximum() > 20);
    bar->setValue(fromEnd < 0 ? 0 : bar->maximum() - fromEnd);
    if (hovered)
        enter(mouseTarget);
    for (int i = 0; i < ticks; ++i)
        tick();
    const int want = expected == -1 ? bar->maximum() : expected < -1 ? bar->maximum() + expected : expected;
    QCOMPARE(bar->value(), want);
    if (hovered) {
        leave(mouseTarget);
        tick();
        QVERIFY(bar->value() != want);
    }
}

void TestWidgets::scrollingStartsByItself()
{
    auto *browser = new AutoScrollTextBrowser(m_host.get());
    browser->setGeometry(0, 0, 200, 100);
    browser->setPlainText(QStringLiteral("line\n").repeated(100));
    browser->show();
    auto *ticker = new TickerLabel(m_host.get());
    ticker->setGeometry(0, 120, 150, 20);
    ticker->show();
    QVERIFY(!browser->isScrolling());
    QVERIFY(!ticker->isRunning());
    ticker->setText(QStringLiteral("News | Runs on its own"));
    QVERIFY(ticker->isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(browser->verticalScrollBar()->value() > 0, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(ticker->scrollArea()->horizontalScrollBar()->value() > 0, 20000);
}

void TestWidgets::tickerTakesTheLabelsPlace()
{
    auto *row = new QWidget(m_host.get());
    auto *layout = new QHBoxLayout(row);
    auto *before = new QLabel(QStringLiteral("before"), row);
    auto *ticker = new TickerLabel(row);
    ticker->setObjectName(QStringLiteral("lblInfo"));
    ticker->setStyleSheet(QStringLiteral("color: #1F8A9E;"));
    auto *after = new QLabel(QStringLiteral("after"), row);
    layout->addWidget(before);
    layout->addWidget(ticker);
    layout->addWidget(after);
    row->resize(380, 30);
    row->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    const QRect place = ticker->geometry();

    // A title with markup is shown literally, so its width is the width of the literal text.
    const QString text = QStringLiteral("News | <img src=\"http://example.invalid/x.png\"> <b>bold</b>");
    ticker->setText(text);
    QScrollArea *area = ticker->scrollArea();
    QVERIFY(area);
    QCOMPARE(layout->indexOf(area), 1);
    QCOMPARE(layout->indexOf(ticker), -1);
    QCOMPARE(area->geometry(), place);
    QCOMPARE(area->styleSheet(), ticker->styleSheet());
    QCOMPARE(area->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(area->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(ticker->parentWidget(), area->viewport());

    // The text enters from the right: one visible width of space first, then the text.
    const int visible = area->viewport()->width();
    const int textWidth = ticker->fontMetrics().horizontalAdvance(text);
    QCOMPARE(ticker->width(), visible + qMax(visible, textWidth));
    QCOMPARE(area->horizontalScrollBar()->maximum(), qMax(visible, textWidth));

    // A later text starts again from the right and keeps the same scroll area.
    for (int i = 0; i < 5; ++i)
        ticker->slot_scrollTick();
    ticker->setText(QStringLiteral("News | short"));
    QCOMPARE(ticker->scrollArea(), area);
    QCOMPARE(area->horizontalScrollBar()->value(), 0);
    QCOMPARE(ticker->width(), 2 * visible);
}

TUNORA_TEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
