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
#include <QScrollBar>

#include <memory>

// Stands in for the desktop browser: every scheme a widget could hand over ends up in `opened`.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void open(const QUrl &url) { opened << url.toString(); }
};

namespace {
const char *const Schemes[] = {"http", "https", "file", "javascript", "ftp"};
const QString Shop = QStringLiteral("https://shop.example/album?id=7");

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

// Logs the signals a widget has: the widget must be the sender and click positions global.
template<typename W>
W *watched(W *w, QStringList &log, QPoint pos)
{
    auto click = [&log, w, pos](const char *name) {
        return [&log, w, pos, name](QWidget *from, QPoint global) {
            log << QLatin1String(from == w && global == w->mapToGlobal(pos) ? name
                                                                            : "wrong sender or position");
        };
    };
    auto hover = [&log, w](const char *name) {
        return [&log, w, name](QWidget *from) { log << QLatin1String(from == w ? name : "wrong sender"); };
    };
    if constexpr (requires { &W::signal_mouseButtonLeft; }) {
        QObject::connect(w, &W::signal_mouseButtonLeft, click("left"));
        QObject::connect(w, &W::signal_mouseButtonRight, click("right"));
    }
    if constexpr (requires { &W::signal_mouseEnter; }) {
        QObject::connect(w, &W::signal_mouseEnter, hover("enter"));
        QObject::connect(w, &W::signal_mouseLeave, hover("leave"));
    }
    if constexpr (requires { &W::signal_linkClicked; })
        QObject::connect(w, &W::signal_linkClicked, [&log, w](QLabel *from, const QString &link) {
            log << (from == w ? QLatin1String("link:") + link : QStringLiteral("wrong sender"));
        });
    return w;
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
    void mouse_data();
    void mouse();
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
    void aboutTextStartsScrolling();
    void tickerTakesTheLabelsPlace();

private:
    QTemporaryDir m_dir;
    UrlRecorder m_browser;
    QStringList m_log; // signals and status texts, in order
    std::unique_ptr<QWidget> m_host;
};

void TestWidgets::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (const char *scheme : Schemes)
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &m_browser, "open");
    QVERIFY(solid({16, 16}, Qt::red).save(m_dir.filePath(QStringLiteral("red.png"))));
    QVERIFY(solid({16, 16}, Qt::blue).save(m_dir.filePath(QStringLiteral("blue.png"))));
    QVERIFY(solid({8, 8}, QColor(0, 255, 0, 128)).save(m_dir.filePath(QStringLiteral("overlay.png"))));
}

void TestWidgets::cleanupTestCase()
{
    for (const char *scheme : Schemes)
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
}

void TestWidgets::init()
{
    m_browser.opened.clear();
    m_log.clear();
    DesktopLinks::setStatusHook([this](const QString &text) { m_log << QLatin1String("status:") + text; });
    m_host = std::make_unique<QWidget>();
    m_host->resize(400, 300);
    m_host->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    // The widgets of a test sit in the top-left corner; the pointer stays away from them.
    QTest::mouseMove(m_host.get(), {395, 295});
}

void TestWidgets::cleanup()
{
    DesktopLinks::setStatusHook({});
    m_host.reset();
}

void TestWidgets::mouse_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("link"); // shop link, ticker link, or the target of the label's link
    QTest::addColumn<int>("button");   // clicked between entering and leaving
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("hoverCursor");
    QTest::addColumn<QString>("opened");

    const int left = Qt::LeftButton, right = Qt::RightButton, none = Qt::NoButton;
    const int hand = Qt::PointingHandCursor, arrow = Qt::ArrowCursor;
    const QString next = QStringLiteral("next"), browsing = QStringLiteral("status:Starting browser...");
    QTest::newRow("cover without link: left click only signals")
        << "cover" << QString() << left << "enter,left,leave" << arrow << QString();
    QTest::newRow("cover opens its shop link")
        << "cover" << Shop << left << "enter,left,leave" << hand << Shop;
    QTest::newRow("cover right click")
        << "cover" << Shop << right << "enter,right,leave" << hand << QString();
    QTest::newRow("cover refuses a file link")
        << "cover"
        << "file:///etc/passwd" << left << "enter,left,leave" << hand << QString();
    QTest::newRow("dashboard") << "dashboard" << QString() << none << "enter,leave" << arrow << QString();
    QTest::newRow("navigate link goes to the window")
        << "navigate" << next << left << "left,link:next" << hand << QString();
    QTest::newRow("navigate link to the browser")
        << "browser" << Shop << left << QStringLiteral("left,") + browsing << hand << Shop;
    QTest::newRow("navigate refuses a script link")
        << "browser"
        << "javascript:alert(1)" << left << "left" << hand << QString();
    QTest::newRow("navigate without link cursor") << "plain" << next << none << "" << arrow << QString();
    QTest::newRow("ticker opens its link") << "ticker" << Shop << left << browsing << hand << Shop;
    QTest::newRow("ticker without link signals")
        << "ticker" << QString() << left << "left" << arrow << QString();
    QTest::newRow("ticker right click") << "ticker" << Shop << right << "right" << hand << QString();
}

void TestWidgets::mouse()
{
    QFETCH(QString, kind);
    QFETCH(QString, link);
    QFETCH(int, button);
    QFETCH(QString, log);
    QFETCH(int, hoverCursor);
    QFETCH(QString, opened);

    const QPoint pos(6, 20);
    QWidget *w = nullptr;
    if (kind == QLatin1String("cover")) {
        auto *cover = watched(new CoverArtLabel(m_host.get()), m_log, pos);
        cover->setShopLink(link);
        w = cover;
    } else if (kind == QLatin1String("dashboard")) {
        w = watched(new Dashboard(m_host.get()), m_log, pos);
    } else if (kind == QLatin1String("ticker")) {
        auto *ticker = watched(new TickerLabel(m_host.get()), m_log, pos);
        ticker->setText(QStringLiteral("News | Something happened"));
        ticker->setLink(link);
        w = ticker;
    } else {
        auto *label = watched(new NavigateLabel(m_host.get()), m_log, pos);
        label->setText(QStringLiteral("<a href=\"%1\">Next page of stations</a>").arg(link));
        label->setLinkCursor(kind != QLatin1String("plain"));
        label->setOpenInBrowser(kind == QLatin1String("browser"));
        w = label;
    }
    w->setGeometry(0, 0, 200, 40);
    w->show();

    enter(w);
    QCOMPARE(int(w->cursor().shape()), hoverCursor);
    if (button != Qt::NoButton)
        QTest::mouseClick(w, Qt::MouseButton(button), {}, pos);
    leave(w);
    if (!qobject_cast<CoverArtLabel *>(w)) // the cover's cursor follows its link, not the mouse
        QCOMPARE(int(w->cursor().shape()), int(Qt::ArrowCursor));
    QCOMPARE(m_log.join(QLatin1Char(',')), log);
    QCOMPARE(m_browser.opened, opened.isEmpty() ? QStringList() : QStringList{opened});
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
    QPalette palette = edit->palette(); // typed text and caret in red: only the hint can be grey
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
    int grey = 0, leftmost = width, rightmost = -1;
    for (int y = 3; y < image.height() - 3; ++y)
        for (int x = 3; x < image.width() - 3; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - c.green()) <= 2 && qAbs(c.green() - c.blue()) <= 2 &&
                qAbs(c.red() - 141) <= 3) {
                ++grey;
                leftmost = qMin(leftmost, x);
                rightmost = qMax(rightmost, x);
            }
        }
    QCOMPARE(grey > 5, hintShown);
    if (hintShown) {
        QVERIFY2(leftmost >= 10 && leftmost <= 14, qPrintable(QString::number(leftmost)));
        QVERIFY2(rightmost < width - 3, qPrintable(QString::number(rightmost))); // elided, not clipped
    }
}

void TestWidgets::coverOverlay_data()
{
    QTest::addColumn<QString>("overlayText");
    QTest::addColumn<bool>("overlayImage");
    QTest::addColumn<bool>("thenDefaultShown");
    QTest::addColumn<bool>("tinted");

    const QString buy = QStringLiteral("Buy song/album");
    QTest::newRow("no overlay text: the cover alone") << QString() << true << false << false;
    QTest::newRow("overlay over the cover") << buy << true << false << true;
    QTest::newRow("long text stays in the strip") << buy.repeated(6) << true << false << true;
    QTest::newRow("unreadable overlay image: text only") << buy << false << false << false;
    QTest::newRow("default image shown clears the overlay") << buy << true << true << false;
}

void TestWidgets::coverOverlay()
{
    QFETCH(QString, overlayText);
    QFETCH(bool, overlayImage);
    QFETCH(bool, thenDefaultShown);
    QFETCH(bool, tinted);

    auto *cover = new CoverArtLabel(m_host.get());
    cover->setGeometry(0, 0, 200, 200);
    cover->setScaledContents(true);
    cover->setPixmap(QPixmap::fromImage(solid({4, 4}, Qt::blue)));
    QCOMPARE(
        cover->loadOverlayImage(m_dir.filePath(QLatin1String(overlayImage ? "overlay.png" : "none.png"))),
        overlayImage);
    cover->setOverlayText(overlayText);
    if (thenDefaultShown)
        cover->setDefaultShown(true);
    cover->show();

    const QImage image = cover->grab().toImage();
    const QColor corner = image.pixelColor(2, 2); // the overlay covers all of the cover
    QCOMPARE(corner.green() > 100, tinted);
    QVERIFY(corner.blue() > 100);
    // White text only in the bottom line, from 10 px on the left to 32 px before the right edge.
    const int line = cover->fontMetrics().height();
    int inStrip = 0, elsewhere = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qMin(c.red(), qMin(c.green(), c.blue())) >= 200)
                ++(y >= image.height() - line && x >= 10 && x < image.width() - 32 ? inStrip : elsewhere);
        }
    QCOMPARE(elsewhere, 0);
    QCOMPARE(inStrip > 5, !overlayText.isEmpty() && !thenDefaultShown);
}

void TestWidgets::panelGeometry_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("headerHeight"); // 0: not set
    QTest::addColumn<int>("textHeight");   // -1: no header text set
    QTest::addColumn<QSize>("resizedTo");
    QTest::addColumn<QRect>("header");
    QTest::addColumn<QRect>("content");

    QTest::newRow("default header") << QSize(300, 200) << 0 << -1 << QSize() << QRect(0, 0, 300, 19)
                                    << QRect(0, 19, 300, 181);
    QTest::newRow("header height") << QSize(300, 200) << 30 << -1 << QSize() << QRect(0, 0, 300, 30)
                                   << QRect(0, 30, 300, 170);
    QTest::newRow("text keeps the height")
        << QSize(300, 200) << 30 << 0 << QSize() << QRect(0, 0, 300, 30) << QRect(0, 30, 300, 170);
    QTest::newRow("text with a height")
        << QSize(300, 200) << 0 << 24 << QSize() << QRect(0, 0, 300, 24) << QRect(0, 24, 300, 176);
    QTest::newRow("resized") << QSize(300, 200) << 0 << -1 << QSize(350, 100) << QRect(0, 0, 350, 19)
                             << QRect(0, 19, 350, 81);
    QTest::newRow("lower than its header")
        << QSize(120, 10) << 0 << -1 << QSize() << QRect(0, 0, 120, 10) << QRect(0, 10, 120, 0);
}

void TestWidgets::panelGeometry()
{
    QFETCH(QSize, size);
    QFETCH(int, headerHeight);
    QFETCH(int, textHeight);
    QFETCH(QSize, resizedTo);
    QFETCH(QRect, header);
    QFETCH(QRect, content);

    auto *frame = new MainPanelFrame(m_host.get());
    frame->resize(size);
    frame->show();
    auto *page = new QWidget(m_host.get()); // adopted by the frame
    frame->setContentWidget(page);
    if (headerHeight)
        frame->setHeaderHeight(headerHeight);
    if (textHeight >= 0)
        frame->setHeaderText(QStringLiteral("Recently Played"), textHeight);
    if (resizedTo.isValid())
        frame->resize(resizedTo);
    QCOMPARE(page->parentWidget(), frame);
    QCOMPARE(frame->header()->geometry(), header);
    QCOMPARE(page->geometry(), content);

    // The info panel's description follows it the same way, other children stay where they are.
    auto *info = new InfoPanel(frame);
    auto *description = new QWidget(info);
    description->setObjectName(QStringLiteral("tbDescription"));
    auto *other = new QWidget(info);
    other->setGeometry(1, 2, 3, 4);
    info->resize(size);
    info->show();
    QCOMPARE(description->geometry(), QRect(QPoint(0, 0), size));
    QCOMPARE(other->geometry(), QRect(1, 2, 3, 4));
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

    auto *button = new PushButtonOver(m_host.get());
    button->show();
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
    QTest::addColumn<int>("start"); // below 0: that far before the maximum
    QTest::addColumn<bool>("hovered");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("expected"); // below 0: that far before the maximum; 1000000: the maximum

    const int end = 1000000;
    QTest::newRow("text advances one pixel a tick") << false << 0 << false << 5 << 5;
    QTest::newRow("text reaches the end") << false << -3 << false << 3 << end;
    QTest::newRow("text wraps to the top") << false << -1 << false << 2 << 0;
    QTest::newRow("text holds under the mouse") << false << -10 << true << 4 << -10;
    QTest::newRow("ticker advances three pixels a tick") << true << 0 << false << 4 << 12;
    QTest::newRow("ticker wraps to the start") << true << -1 << false << 2 << 0;
    QTest::newRow("ticker holds under the mouse") << true << 0 << true << 6 << 0;
}

void TestWidgets::scrolling()
{
    QFETCH(bool, ticker);
    QFETCH(int, start);
    QFETCH(bool, hovered);
    QFETCH(int, ticks);
    QFETCH(int, expected);

    QWidget *w = nullptr;
    QScrollBar *bar = nullptr;
    if (ticker) {
        auto *label = new TickerLabel(m_host.get());
        label->setGeometry(0, 0, 150, 20);
        label->setText(QStringLiteral("News | The longest headline of the day, scrolling past"));
        w = label;
        bar = label->scrollArea()->horizontalScrollBar();
    } else {
        auto *browser = new AutoScrollTextBrowser(m_host.get());
        browser->setGeometry(0, 0, 200, 100);
        browser->setPlainText(QStringLiteral("line\n").repeated(200));
        w = browser;
        bar = browser->verticalScrollBar();
    }
    w->show();
    QTRY_VERIFY(bar->maximum() > 20);
    auto tick = [w] { QMetaObject::invokeMethod(w, "slot_scrollTick"); };
    auto value = [bar](int v) { return v == 1000000 ? bar->maximum() : v < 0 ? bar->maximum() + v : v; };
    bar->setValue(value(start));
    if (hovered)
        enter(w);
    for (int i = 0; i < ticks; ++i)
        tick();
    QCOMPARE(bar->value(), value(expected));
    if (hovered) { // moves on once the mouse has left
        leave(w);
        tick();
        QVERIFY(bar->value() > value(expected));
    }
}

void TestWidgets::aboutTextStartsScrolling()
{
    auto *browser = new AutoScrollTextBrowser(m_host.get());
    browser->setGeometry(0, 0, 200, 100);
    browser->setPlainText(QStringLiteral("line\n").repeated(100));
    browser->show();
    QTRY_VERIFY_WITH_TIMEOUT(browser->verticalScrollBar()->value() > 0, 20000);
}

void TestWidgets::tickerTakesTheLabelsPlace()
{
    // As in a form: nested layouts, and the first text arrives before the window is shown.
    auto *row = new QWidget(m_host.get());
    auto *layout = new QHBoxLayout;
    (new QVBoxLayout(row))->addLayout(layout); // a row inside the page's layout
    auto *before = new QLabel(QStringLiteral("before"), row);
    auto *ticker = new TickerLabel(row);
    auto *after = new QLabel(QStringLiteral("after"), row);
    ticker->setStyleSheet(QStringLiteral("color: #1F8A9E;"));
    layout->addWidget(before);
    layout->addWidget(ticker);
    layout->addWidget(after);
    // Markup in a title is text: the label is as wide as the literal text.
    const QString text = QStringLiteral("News | <img src=\"http://example.invalid/x.png\"> <b>bold</b>");
    ticker->setText(text);
    row->resize(380, 30);
    row->show();

    QScrollArea *area = ticker->scrollArea();
    QVERIFY(area);
    QCOMPARE(layout->indexOf(area), 1);
    QTRY_VERIFY(area->isVisible() && area->x() > before->geometry().right() &&
                area->geometry().right() < after->x());
    QCOMPARE(area->styleSheet(), ticker->styleSheet());
    QCOMPARE(ticker->parentWidget(), area->viewport());
    QVERIFY(!area->horizontalScrollBar()->isVisible() && !area->verticalScrollBar()->isVisible());
    // The text enters from the right (one visible width of space first) and runs by itself.
    const int visible = area->viewport()->width();
    QCOMPARE(ticker->width(), visible + qMax(visible, ticker->fontMetrics().horizontalAdvance(text)));
    QTRY_VERIFY_WITH_TIMEOUT(area->horizontalScrollBar()->value() > 0, 20000);

    // A later text starts from the right again, in the same scroll area.
    ticker->setText(QStringLiteral("News | short"));
    QCOMPARE(ticker->scrollArea(), area);
    QCOMPARE(area->horizontalScrollBar()->value(), 0);
    QCOMPARE(ticker->width(), 2 * visible);
}

TUNORA_TEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
