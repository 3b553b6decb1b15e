// The clickable labels and the news ticker: links open only web addresses and report their widget
// and the global position; the ticker takes a label's place in a layout, draws what a plain label
// draws, runs by itself, and stops waking the program while nobody can see it or the pointer holds it.
#include "coverartlabel.h"
#include "desktoplinks.h"
#include "navigatelabel.h"
#include "testmain.h"
#include "tickerlabel.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QScrollBar>

#include <functional>
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
// Hides the ticker from view (or holds it under the pointer), or undoes that.
using Toggle = std::function<void(QWidget *window, TickerLabel *ticker, bool hide)>;
} // namespace
Q_DECLARE_METATYPE(Toggle)

class TestWidgets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        for (const char *scheme : Schemes)
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &m_browser, "open");
    }

    void cleanupTestCase()
    {
        for (const char *scheme : Schemes)
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }

    void init()
    {
        m_browser.opened.clear();
        m_log.clear();
        DesktopLinks::setStatusHook(
            [this](const QString &text) { m_log << QLatin1String("status:") + text; });
        m_host = std::make_unique<QWidget>();
        m_host->resize(400, 300);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
        // The widgets of a test sit in the top-left corner; the pointer stays away from them.
        QTest::mouseMove(m_host.get(), {395, 295});
    }

    void cleanup()
    {
        DesktopLinks::setStatusHook({});
        m_host.reset();
    }

    void mouse_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("link"); // shop link, ticker link, or the target of the label's link
        QTest::addColumn<int>("button");   // clicked between entering and leaving
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("opened");

        const int left = Qt::LeftButton, right = Qt::RightButton;
        const QString next = QStringLiteral("next"), browsing = QStringLiteral("status:Starting browser...");
        QTest::newRow("cover opens its shop link") << "cover" << Shop << left << "enter,left,leave" << Shop;
        QTest::newRow("cover right click") << "cover" << Shop << right << "enter,right,leave" << QString();
        QTest::newRow("cover refuses a file link")
            << "cover"
            << "file:///etc/passwd" << left << "enter,left,leave" << QString();
        QTest::newRow("navigate link goes to the window")
            << "navigate" << next << left << "left,link:next" << QString();
        QTest::newRow("navigate link to the browser")
            << "browser" << Shop << left << QStringLiteral("left,") + browsing << Shop;
        QTest::newRow("navigate refuses a script link")
            << "browser"
            << "javascript:alert(1)" << left << "left" << QString();
        QTest::newRow("ticker opens its link") << "ticker" << Shop << left << browsing << Shop;
    }

    void mouse()
    {
        QFETCH(QString, kind);
        QFETCH(QString, link);
        QFETCH(int, button);
        QFETCH(QString, log);
        QFETCH(QString, opened);

        const QPoint pos(6, 20);
        QWidget *w = nullptr;
        if (kind == QLatin1String("cover")) {
            auto *cover = watched(new CoverArtLabel(m_host.get()), m_log, pos);
            cover->setShopLink(link);
            w = cover;
        } else if (kind == QLatin1String("ticker")) {
            auto *ticker = watched(new TickerLabel(m_host.get()), m_log, pos);
            ticker->setText(QStringLiteral("News | Something happened"));
            ticker->setLink(link);
            w = ticker;
        } else {
            auto *label = watched(new NavigateLabel(m_host.get()), m_log, pos);
            label->setText(QStringLiteral("<a href=\"%1\">Next page of stations</a>").arg(link));
            label->setLinkCursor(true);
            label->setOpenInBrowser(kind == QLatin1String("browser"));
            w = label;
        }
        w->setGeometry(0, 0, 200, 40);
        w->show();

        enter(w);
        QCOMPARE(w->cursor().shape(), Qt::PointingHandCursor); // every widget here has a link
        QTest::mouseClick(w, Qt::MouseButton(button), {}, pos);
        leave(w);
        if (!qobject_cast<CoverArtLabel *>(w)) // the cover's cursor follows its link, not the mouse
            QCOMPARE(int(w->cursor().shape()), int(Qt::ArrowCursor));
        QCOMPARE(m_log.join(QLatin1Char(',')), log);
        QCOMPARE(m_browser.opened, opened.isEmpty() ? QStringList() : QStringList{opened});
    }

    void tickerTakesTheLabelsPlace()
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

    void tickerPausesWhileHidden_data()
    {
        QTest::addColumn<Toggle>("toggle");
        QTest::newRow("window minimised") << Toggle([](QWidget *window, TickerLabel *, bool hide) {
            if (hide)
                window->showMinimized();
            else
                window->showNormal();
        });
        QTest::newRow("ticker row hidden") << Toggle(
            [](QWidget *, TickerLabel *ticker, bool hide) { ticker->scrollArea()->setVisible(!hide); });
        QTest::newRow("pointer over it") << Toggle(
            [](QWidget *, TickerLabel *ticker, bool over) { over ? enter(ticker) : leave(ticker); });
    }

    void tickerPausesWhileHidden()
    {
        QFETCH(Toggle, toggle);
        TickerLabel *ticker =
            newTicker(150, QStringLiteral("News | The longest headline of the day, scrolling past"));
        QTRY_VERIFY(ticker->isRunning());
        toggle(m_host.get(), ticker, true);
        QTRY_VERIFY(!ticker->isRunning());
        // A new text meanwhile waits too.
        ticker->setText(QStringLiteral("News | Another headline that is long enough to scroll"));
        QVERIFY(!ticker->isRunning());
        toggle(m_host.get(), ticker, false);
        QTRY_VERIFY(ticker->isRunning());
    }

    void tickerLooksLikeALabel_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("pointSize"); // 0: the font stays
        QTest::newRow("new text") << QStringLiteral("News | Short")
                                  << QStringLiteral("News | A much longer title, wider") << 0;
        QTest::newRow("font grows") << QStringLiteral("News | Same text")
                                    << QStringLiteral("News | Next text") << 16;
        QTest::newRow("right-to-left and markup")
            << QStringLiteral("News | \u0623\u062e\u0628\u0627\u0631 <b>x</b>")
            << QStringLiteral("News | <i>y</i> & z") << 11;
    }

    // Every text it is given, and a new font, reach the screen as a label would draw them (the
    // laid-out text is made again), and the scroll keeps moving the text.
    void tickerLooksLikeALabel()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, pointSize);
        TickerLabel *ticker = newTicker(200, first);
        QTRY_COMPARE(ticker->grab().toImage(), drawnByALabel(ticker));
        QScrollBar *bar = ticker->scrollArea()->horizontalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 20000);

        if (pointSize) {
            QFont font = ticker->font();
            font.setPointSize(pointSize);
            ticker->setFont(font);
            QCOMPARE(ticker->grab().toImage(), drawnByALabel(ticker));
        }
        ticker->setText(second);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(ticker->grab().toImage(), drawnByALabel(ticker));
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 20000);
    }

private:
    // A ticker in the host window, away from the pointer (which would hold it).
    TickerLabel *newTicker(int width, const QString &text)
    {
        auto *ticker = new TickerLabel(m_host.get());
        ticker->setGeometry(50, 4, width, 22);
        ticker->setText(text);
        ticker->scrollArea()->show();
        return ticker;
    }

    // A plain label of the ticker's size, font, indent and text.
    static QImage drawnByALabel(TickerLabel *ticker)
    {
        QLabel label;
        label.setTextFormat(Qt::PlainText);
        label.setAlignment(ticker->alignment());
        label.setFont(ticker->font());
        label.setIndent(ticker->indent());
        label.resize(ticker->size());
        label.setText(ticker->text());
        return label.grab().toImage();
    }

    UrlRecorder m_browser;
    QStringList m_log; // signals and status texts, in order
    std::unique_ptr<QWidget> m_host;
};

TUNORA_TEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
