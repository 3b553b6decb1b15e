// The news ticker stops waking the program while nobody can see it, and goes on when shown again.
#include "testmain.h"
#include "tickerlabel.h"

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
    }

    void pausesWhileHidden()
    {
        QFETCH(Toggle, toggle);
        QWidget window;
        window.resize(220, 30);
        auto *ticker = new TickerLabel(&window);
        ticker->setGeometry(0, 0, 150, 20);
        ticker->setText(QStringLiteral("News | The longest headline of the day, scrolling past"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(ticker->isRunning());

        toggle(&window, ticker, true);
        QTRY_VERIFY(!ticker->isRunning());
        // A new text while hidden waits for the ticker to be seen.
        ticker->setText(QStringLiteral("News | Another headline that is long enough to scroll"));
        QVERIFY(!ticker->isRunning());
        toggle(&window, ticker, false);
        QTRY_VERIFY(ticker->isRunning());
    }
};

TUNORA_TEST_MAIN(TstTickerIdle)
#include "tst_tickeridle.moc"
