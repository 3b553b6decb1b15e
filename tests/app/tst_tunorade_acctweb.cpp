// The main window's account and web side against the real directory service: the settings page
// saved when the window closes, and the product web site opened in the window and playing a
// station from its link. (The sign-in dialog at start-up and the program's end when it is
// cancelled are steps of the session test.)
#include "navigatelabel.h"
#include "settingspanel.h"
#include "sitebrowser.h"
#include "webprofile.h"
#include "welcomeview.h"
#include "windowfixture.h"

#include <QAction>
#include <QSlider>
#include <QWebEngineView>

using TunoraTest::DirectoryService;

class TestTunoraDE : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TunoraTest::prepareWindowSuite(&m_boxes);
        QVERIFY2(TunoraTest::startDirectory(m_service), qPrintable(m_service.errorString()));
        // The site view loads the service's own pages; nothing else is reached.
        AppSettings::instance().setEndpoint(AppSettings::WebSite, m_service.root().toString());
        QVERIFY(
            TunoraTest::createListener(m_service, QStringLiteral("listener"), QStringLiteral("secret word")));
    }

    void cleanup() { m_window.reset(); }

    // The settings page is filled when first shown; what was changed there is stored when the
    // window closes, before its own save timer came round.
    void settingsSavedOnShutDown()
    {
        AppSettings &settings = AppSettings::instance();
        settings.setMinBitrate(0);
        m_window = std::make_unique<TunoraDE>(nullptr, 0);
        // The start page is the welcome page, drawn without the web engine: nothing started it.
        QVERIFY(m_window->swStations->currentWidget()->findChild<WelcomeView *>());
        QVERIFY(!WebProfile::exists());
        Settings *page = m_window->settingsPage();
        QVERIFY(!page->isFilled());
        page->setSaveInterval(3600 * 1000);
        m_window->swStations->setCurrentIndex(TunoraDE::PageSettings);
        QVERIFY(page->isFilled());
        page->findChild<QSlider *>(QStringLiteral("sldMinBitrate"))->setValue(96);
        QVERIFY(page->isChanged());
        m_window.reset();
        QCOMPARE(settings.minBitrate(), 96);
    }

    // The status bar's site link opens the product web site in the window, at the next free stack
    // position; the Help menu's entry shows the same view again, and a play link of the site starts
    // that station. (How the view fills the site's sign-in form is the web views' test.)
    void siteView()
    {
        m_window = std::make_unique<TunoraDE>(nullptr, 0);
        TunoraDE &next = *m_window;
        auto *siteLink =
            next.Ui::TunoraDEClass::statusBar->findChild<NavigateLabel *>(QStringLiteral("lblWebSite"));
        QVERIFY(siteLink);
        const int pages = next.swStations->count();
        emit siteLink->linkActivated(m_service.root().toString());
        TreeBrowser *site = next.siteView();
        QVERIFY(site);
        QCOMPARE(next.swStations->currentIndex(), pages);

        next.swStations->setCurrentIndex(TunoraDE::PageFavorites);
        auto *siteAction = next.findChild<QAction *>(QStringLiteral("actionWebSite"));
        QVERIFY(siteAction && next.menuHelp->actions().contains(siteAction));
        siteAction->trigger();
        QCOMPARE(next.siteView(), site);
        QCOMPARE(next.swStations->count(), pages + 1);
        QCOMPARE(next.swStations->currentWidget(), site->parentWidget());

        BASS::Station station = TunoraTest::stationAt(QStringLiteral("http://127.0.0.1:9/listen/4711"),
                                                      QStringLiteral("Site Radio"));
        station.setId(QStringLiteral("4711"));
        emit next.siteView()->signal_playStation(&station);
        QCOMPARE(next.station().id(), QStringLiteral("4711"));
        QCOMPARE(next.lblStationName->text(), QStringLiteral("Site Radio"));
        next.stop(true);
    }

private:
    DirectoryService m_service;
    std::unique_ptr<TunoraDE> m_window;
    QStringList m_boxes;
};

// The pages run inside the web engine: the same two exemptions as the web-view tests, for this
// executable only (the engine frees some objects through a base of another size, and keeps some
// allocations of its browser process until exit).
extern "C" const char *__asan_default_options()
{
    return "new_delete_type_mismatch=0";
}

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libQt6WebEngineCore.so\nleak:libudev.so\n";
}

int main(int argc, char *argv[])
{
    TunoraTest::IsolatedHome home;
    // As root the engine's sandbox cannot start; the pages are our own generated ones.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    WebProfile::prepareEngine();
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    QStandardPaths::setTestModeEnabled(true);
    TestTunoraDE tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_tunorade_acctweb.moc"
