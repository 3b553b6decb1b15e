// The main window's account and web side against the real directory service: the sign-in dialog
// at start-up without an account (and the program's end when it is cancelled), sign-out, the
// settings page saved when the window closes, songs reaching the track-history page, a wish-list
// entry made through a page's command link surviving a restart of the window, and the product web
// site opened in the window signing the listener in.
#include "accountsession.h"
#include "appsettings.h"
#include "cookiejar.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "languagedlg.h"
#include "logindlg.h"
#include "navigatelabel.h"
#include "settingspanel.h"
#include "sitebrowser.h"
#include "testmain.h"
#include "trackinfo.h"
#include "tracklists.h"
#include "trackviews.h"
#include "tunoraapi.h"
#include "tunorade.h"
#include "webprofile.h"
#include "welcomeview.h"

#include <QAction>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

using TunoraTest::DirectoryService;

namespace {

const QString Member = QStringLiteral("listener");
const QString Password = QStringLiteral("secret word");

// Answers the modal dialogs of the window's start-up: the language choice is taken as offered;
// the sign-in dialog is filled in and sent, or cancelled.
class DialogDriver : public QObject
{
public:
    DialogDriver(const QString &member, const QString &password, bool cancel)
        : m_member(member)
        , m_password(password)
        , m_cancel(cancel)
    {
        connect(&m_timer, &QTimer::timeout, this, &DialogDriver::answer);
        m_timer.start(20);
    }

    int signInDialogs = 0;

private:
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *language = qobject_cast<LanguageDlg *>(modal)) {
            language->accept();
            return;
        }
        auto *login = qobject_cast<LoginDlg *>(modal);
        if (!login || login == m_handled)
            return;
        m_handled = login;
        ++signInDialogs;
        if (m_cancel) {
            login->reject();
            return;
        }
        login->setCredentials(m_member, m_password);
        login->findChild<QPushButton *>(QStringLiteral("btSignIn"))->click();
    }

    QTimer m_timer;
    QPointer<LoginDlg> m_handled;
    QString m_member;
    QString m_password;
    bool m_cancel;
};

// Runs a script in the view's page and waits for its result, as text.
QString evaluate(QWebEngineView *view, const char *script)
{
    QString result;
    bool done = false;
    view->page()->runJavaScript(QString::fromLatin1(script), [&](const QVariant &v) {
        result = v.toString();
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 30000))
        qWarning() << "script did not finish:" << script;
    return result;
}

} // namespace

class TestTunoraDE : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_service.start(), qPrintable(m_service.errorString()));
        AppSettings::setApplicationFolderOverride(TunoraTest::IsolatedHome::path());
        AppSettings &settings = AppSettings::instance();
        settings.setEndpoint(AppSettings::DirectoryRoot, m_service.root().toString());
        // The site view loads the service's own pages; nothing else is reached.
        settings.setEndpoint(AppSettings::WebSite, m_service.root().toString());
        settings.setCaFile(m_service.caFile());
        TunoraDE::setMessageHook(
            [this](BASS::MessageKind, const QString &, const QString &text, QMessageBox::StandardButtons) {
                m_boxes.append(text);
                return int(QMessageBox::No);
            });
        AccountSession::setRestartHook([this] { ++m_restarts; });
        TunoraAPI api;
        QVERIFY(api.createAccount(Member, Password, QStringLiteral("listener@example.org")));
        BASS::QHttpExt http;
        QSignalSpy activated(&http, &BASS::QHttpExt::sig_Ready);
        QVERIFY(http.get(m_service.linkFromLastMail(QStringLiteral("/account/activate"))
                             .toString(QUrl::FullyEncoded)) != 0);
        QVERIFY(activated.wait(30000));
        settings.setCredentials(Member, Password);
        settings.writeLanguage(BASS::Language{QStringLiteral("en"), QStringLiteral("English")}, Member);
    }

    void init()
    {
        m_boxes.clear();
        m_restarts = 0;
    }

    void cleanup()
    {
        m_window.reset();
        AppSettings::instance().setCredentials(Member, Password);
        AppSettings::instance().setSignedOut(false);
    }

    // The settings page is filled when first shown; what was changed there is stored when the
    // window closes, before its own save timer came round.
    void settingsSavedOnShutDown_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("value");

        QTest::newRow("minimum bitrate") << "sldMinBitrate" << 96;
        QTest::newRow("maximum bitrate") << "sldMaxBitrate" << 256;
        QTest::newRow("start-up action") << "cbStartUp" << 1;
    }

    void settingsSavedOnShutDown()
    {
        QFETCH(QString, control);
        QFETCH(int, value);
        AppSettings &settings = AppSettings::instance();
        settings.setMinBitrate(0);
        settings.setMaxBitrate(Settings::MaxBitrateTop);
        settings.setStartupStationType(0);

        m_window = std::make_unique<TunoraDE>(nullptr, 0);
        // The start page is the welcome page, drawn without the web engine: nothing started it.
        QVERIFY(m_window->swStations->currentWidget()->findChild<WelcomeView *>());
        QVERIFY(!WebProfile::exists());
        Settings *page = m_window->settingsPage();
        QVERIFY(page);
        QCOMPARE(m_window->swStations->indexOf(page), int(TunoraDE::PageSettings));
        QVERIFY(!page->isFilled());
        page->setSaveInterval(3600 * 1000);
        m_window->swStations->setCurrentIndex(TunoraDE::PageSettings);
        QVERIFY(page->isFilled());
        if (auto *slider = page->findChild<QSlider *>(control))
            slider->setValue(value);
        else
            page->findChild<QComboBox *>(control)->setCurrentIndex(value);
        QVERIFY(page->isChanged());
        m_window.reset();

        const int stored = control == QLatin1String("sldMinBitrate")   ? settings.minBitrate()
                           : control == QLatin1String("sldMaxBitrate") ? settings.maxBitrate()
                                                                       : settings.startupStationType();
        QCOMPARE(stored, value);
        settings.setStartupStationType(0);
    }

    // A song shown with its cover reaches the track-history page (opened by clicking the status
    // line); its command link puts it on the wish list, which the next window reads back; signing
    // out then stops and empties both lists and restarts the program signed out.
    void trackHistoryWishListSignOut_data()
    {
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");

        QTest::newRow("plain") << "Night Owls"
                               << "Slow River";
        QTest::newRow("markup and Cyrillic") << "<b>Кино</b>"
                                             << "Звезда & \"Солнце\"";
    }

    void trackHistoryWishListSignOut()
    {
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFile::remove(AppSettings::instance().wishListFile());

        m_window = std::make_unique<TunoraDE>(nullptr, 0);
        TunoraDE &window = *m_window;
        QVERIFY(window.trackLists()->wishList().isEmpty());
        QVERIFY(window.lblTrackHistory->text().isEmpty());
        QVERIFY(!window.trackHistoryPage());
        // The wish list's page is not made with the window (no web engine at start).
        QVERIFY(!window.wishListPage());

        window.m_currentTrack.clear();
        window.m_currentTrack.song.setArtist(artist);
        window.m_currentTrack.song.setTitle(title);
        window.m_currentTrack.cover = QImage(16, 16, QImage::Format_RGB32);
        window.m_currentTrack.cover.fill(Qt::darkCyan);
        window.m_currentTrack.album.smallImageUrl = QStringLiteral("http://127.0.0.1:9/covers/small.jpg");
        window.newTrackToHistory();
        QCOMPARE(window.trackLists()->history().size(), 1);
        const BASS::TrackInfo &kept = *window.trackLists()->history().first();
        QCOMPARE(kept.trackName(), window.m_currentTrack.description());
        QVERIFY(kept.hasCover());
        QCOMPARE(window.lblTrackHistory->text(), QStringLiteral("Track History"));

        QTest::mouseClick(window.lblTrackHistory, Qt::LeftButton);
        QVERIFY(window.trackHistoryPage());
        QCOMPARE(window.swStations->currentWidget(), window.trackHistoryPage());
        const QString html = window.trackHistoryPage()->view()->lastHtml();
        QVERIFY2(html.contains(title.toHtmlEscaped()), qPrintable(html.left(400)));
        QVERIFY(html.contains(QStringLiteral("src=\"http://127.0.0.1:9/covers/small.jpg\"")));

        const quint32 id = kept.trackId();
        const QString name = kept.trackName();
        const TunoraDE::Track song = window.m_currentTrack;
        window.slot_webViewLinkClicked(QUrl(QStringLiteral("tunora://cmd?add_to_wishlist_track_%1").arg(id)));
        QCOMPARE(window.trackLists()->wishList().size(), 1);

        // A new window of the same account reads the wish list back.
        m_window = std::make_unique<TunoraDE>(nullptr, 0);
        TunoraDE &next = *m_window;
        QCOMPARE(next.trackLists()->wishList().size(), 1);
        QCOMPARE(next.trackLists()->wishList().first()->trackName(), name);
        next.showWishListPage();
        QVERIFY(next.wishListPage());
        QCOMPARE(next.swStations->indexOf(next.wishListPage()), int(TunoraDE::PageWishList));
        QVERIFY(next.wishListPage()->view()->lastHtml().contains(title.toHtmlEscaped()));

        // The status bar's site link opens the product web site in the window, at the next free
        // stack position; its account page is filled with the stored account and signs in.
        auto *siteLink =
            next.Ui::TunoraDEClass::statusBar->findChild<NavigateLabel *>(QStringLiteral("lblWebSite"));
        QVERIFY(siteLink);
        const int pages = next.swStations->count();
        emit siteLink->linkActivated(m_service.root().toString());
        TreeBrowser *site = next.siteView();
        QVERIFY(site);
        QCOMPARE(next.swStations->currentIndex(), pages);
        QCOMPARE(next.swStations->currentWidget(), site->parentWidget());
        QTRY_VERIFY_WITH_TIMEOUT(
            evaluate(site, "document.body.innerText").contains(QStringLiteral("radio stations")), 60000);
        // Signed out of the site (an earlier row signed in on the shared profile).
        WebProfile::shared()->cookieStore()->deleteAllCookies();
        QTRY_VERIFY_WITH_TIMEOUT(next.m_cookieJar->cookiesForUrl(m_service.root()).isEmpty(), 30000);
        site->load(m_service.root().resolved(QUrl(QStringLiteral("/user"))));
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(site, "document.getElementById('edit-pass').value"), Password,
                                  60000);
        QCOMPARE(evaluate(site, "document.getElementById('edit-name').value"), Member);
        evaluate(site, "document.getElementById('edit-submit').click()");
        QTRY_VERIFY_WITH_TIMEOUT(
            evaluate(site, "document.body.innerText").contains(QStringLiteral("Hello, ") + Member), 60000);
        // The Help menu's entry shows the same view again.
        next.swStations->setCurrentIndex(TunoraDE::PageFavorites);
        auto *siteAction = next.findChild<QAction *>(QStringLiteral("actionWebSite"));
        QVERIFY(siteAction && next.menuHelp->actions().contains(siteAction));
        siteAction->trigger();
        QCOMPARE(next.siteView(), site);
        QCOMPARE(next.swStations->count(), pages + 1);
        QCOMPARE(next.swStations->currentWidget(), site->parentWidget());

        // A play link of the site view starts that station in the window.
        {
            BASS::Station station;
            station.setId(QStringLiteral("4711"));
            station.setName(title);
            BASS::StationStream stream;
            stream.url = QStringLiteral("http://127.0.0.1:9/listen/4711");
            station.addStream(stream, true);
            emit next.siteView()->signal_playStation(&station);
        }
        QCOMPARE(next.station().id(), QStringLiteral("4711"));
        QCOMPARE(next.lblStationName->text(), title);
        next.stop(true);

        next.m_currentTrack = song;
        next.newTrackToHistory();
        QCOMPARE(next.trackLists()->history().size(), 1);
        next.slot_SignOut();
        QCOMPARE(m_restarts, 1);
        QVERIFY(next.trackHistory().isEmpty());
        QVERIFY(next.trackLists()->history().isEmpty());
        QVERIFY(next.trackLists()->wishList().isEmpty());
        QVERIFY(next.lblTrackHistory->text().isEmpty());
        QString member, password;
        AppSettings::instance().credentials(member, password);
        QVERIFY(member.isEmpty() && password.isEmpty());
        QVERIFY(AppSettings::instance().signedOut());
    }

    // Last: the program's end is seen as the application loop's exit code.
    // Without stored credentials the window opens the sign-in dialog once it is up. Signing in
    // stores the account; cancelling ends the program (exit code 0), since there is no account
    // to go on with, whether the listener signed out or never signed in.
    void startUpSignIn_data()
    {
        QTest::addColumn<bool>("signedOut");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("exitCode"); // 7: the program goes on
        QTest::addColumn<QString>("storedMember");

        QTest::newRow("first run, signs in") << false << Password << false << 7 << Member;
        QTest::newRow("signed out, signs in again") << true << Password << false << 7 << Member;
        QTest::newRow("signed out, cancels") << true << Password << true << 0 << QString();
        QTest::newRow("first run, cancels") << false << Password << true << 0 << QString();
    }

    void startUpSignIn()
    {
        QFETCH(bool, signedOut);
        QFETCH(QString, password);
        QFETCH(bool, cancel);
        QFETCH(int, exitCode);
        QFETCH(QString, storedMember);
        AppSettings &settings = AppSettings::instance();
        settings.setCredentials(QString(), QString());
        settings.setSignedOut(signedOut);

        DialogDriver driver(Member, password, cancel);
        QTimer done;
        // The program went on: the sign-in dialog was answered and closed, nothing ended the loop.
        connect(&done, &QTimer::timeout, this, [&] {
            if (driver.signInDialogs > 0 && !QApplication::activeModalWidget())
                QCoreApplication::exit(7);
        });
        done.start(50);
        QTimer::singleShot(0, this, [this] { m_window = std::make_unique<TunoraDE>(nullptr, 0); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, this, [] { QCoreApplication::exit(99); });
        watchdog.start(120000);
        // The application's own loop: the window ends the program through it.
        QCOMPARE(QCoreApplication::exec(), exitCode);
        done.stop();
        QCOMPARE(driver.signInDialogs, 1);

        QString member, stored;
        settings.credentials(member, stored);
        QCOMPARE(member, storedMember);
        QCOMPARE(stored, storedMember.isEmpty() ? QString() : password);
        QCOMPARE(settings.signedOut(), storedMember.isEmpty() && signedOut);
    }

private:
    DirectoryService m_service;
    std::unique_ptr<TunoraDE> m_window;
    QStringList m_boxes;
    int m_restarts = 0;
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
