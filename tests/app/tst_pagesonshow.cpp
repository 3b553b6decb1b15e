// The window's pages are made when first shown: a station list made later has the columns the
// other lists were given meanwhile (the lists keep their columns in step); the settings page made
// later still changes the window's desktop behaviour.

#undef QT_NO_CAST_FROM_ASCII

#include "desktopsettings.h"
#include "treeradiowidget.h"
#include "treestationwidget.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QStackedWidget>
#include <QSystemTrayIcon>

class TestPagesOnShow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TunoraTest::prepareWindowSuite(nullptr);
        QSettings().setValue("ShowWelcomePage", false);
    }

    void settingsMadeOnShow()
    {
        QSettings().setValue(DesktopSettings::trayIconKey(), false);
        const auto window = TunoraTest::newWindow();
        QVERIFY(!window->findChild<QSystemTrayIcon *>("trayIcon"));
        window->swStations->setCurrentIndex(TunoraDE::PageSettings);
        auto *tray = window->swStations->currentWidget()->findChild<QCheckBox *>("cbTrayIcon");
        QVERIFY(tray);
        tray->setChecked(true);
        QVERIFY(window->findChild<QSystemTrayIcon *>("trayIcon"));
    }

    void stationListMadeOnShow_data()
    {
        QTest::addColumn<int>("section");
        QTest::addRow("regions") << int(TreeRadioWidget::Regions);
        QTest::addRow("search results") << int(TreeRadioWidget::SearchResults);
    }

    void stationListMadeOnShow()
    {
        QFETCH(int, section);
        const auto window = TunoraTest::newWindow();
        TreeStationWidget *favorites = window->stationList(TreeRadioWidget::Favorites);
        QVERIFY(favorites);
        favorites->header()->resizeSection(TreeStationWidget::ColumnName, 321);

        window->swStations->setCurrentIndex(section - 1);
        TreeStationWidget *list = window->currentStationList();
        QVERIFY(list);
        QCOMPARE(list->objectName(), QString("twStations%1").arg(section));
        QCOMPARE(list->columnWidth(TreeStationWidget::ColumnName), 321);
    }
};

TUNORA_TEST_MAIN(TestPagesOnShow)

#include "tst_pagesonshow.moc"
