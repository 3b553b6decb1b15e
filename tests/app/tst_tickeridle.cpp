// The news ticker stops waking the program while nobody can see it or the pointer holds it, and
// goes on afterwards.
// It draws its text laid out once; what it shows is what a plain label with the same text shows.
#include "testmain.h"
#include "tickerlabel.h"

#include <QScrollBar>

#include <functional>

using Toggle = std::function<void(QWidget *window, TickerLabel *ticker, bool hide)>;
Q_DECLARE_METATYPE(Toggle)

class TstTickerIdle : public QObject
{
    Q_OBJECT
private slots:
    void pausesWhileHidden_data()
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
        QTest::newRow("pointer over it") << Toggle([](QWidget *, TickerLabel *ticker, bool over) {
            if (over) {
                const QPointF at(5, 5);
                QEnterEvent enter(at, ticker->mapToGlobal(at), ticker->mapToGlobal(at));
                QCoreApplication::sendEvent(ticker, &enter);
            } else {
                QEvent leave(QEvent::Leave);
                QCoreApplication::sendEvent(ticker, &leave);
            }
        });
    }

    void pausesWhileHidden()
    {
        QFETCH(Toggle, toggle);
        QWidget window;
        window.resize(220, 30);
        auto *ticker = new TickerLabel(&window);
        ticker->setGeometry(50, 4, 150, 20); // away from the pointer
        ticker->setText(QStringLiteral("News | The longest headline of the day, scrolling past"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(ticker->isRunning());

        toggle(&window, ticker, true);
        QTRY_VERIFY(!ticker->isRunning());
        // A new text meanwhile waits too.
        ticker->setText(QStringLiteral("News | Another headline that is long enough to scroll"));
        QVERIFY(!ticker->isRunning());
        toggle(&window, ticker, false);
        QTRY_VERIFY(ticker->isRunning());
    }

    void looksLikeALabel_data()
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
    void looksLikeALabel()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, pointSize);
        QWidget window;
        window.resize(260, 30);
        auto *ticker = new TickerLabel(&window);
        ticker->setGeometry(50, 4, 200, 22); // away from the pointer, which would hold it
        ticker->setText(first);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(shown(ticker), drawnByALabel(ticker));
        QScrollBar *bar = ticker->scrollArea()->horizontalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 20000);

        if (pointSize) {
            QFont font = ticker->font();
            font.setPointSize(pointSize);
            ticker->setFont(font);
            QCOMPARE(shown(ticker), drawnByALabel(ticker));
        }
        ticker->setText(second);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(shown(ticker), drawnByALabel(ticker));
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 20000);
    }

private:
    static QImage shown(TickerLabel *ticker) { return ticker->grab().toImage(); }

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
};

TUNORA_TEST_MAIN(TstTickerIdle)
#include "tst_tickeridle.moc"
