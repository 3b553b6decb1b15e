// The window's account side: the interface language at start-up, signing in and out, the settings
// page and the once-per-run version check.

#include "tunorade.h"

#include "accountsession.h"
#include "appsettings.h"
#include "languagesetup.h"
#include "logindlg.h"
#include "settingspanel.h"
#include "tracklists.h"
#include "versioncheck.h"

#include <QCoreApplication>
#include <QStackedWidget>
#include <QTimer>

namespace {

bool &startDialogsEnabled()
{
    static bool enabled = true;
    return enabled;
}

} // namespace

void TunoraDE::setStartDialogsEnabled(bool on)
{
    startDialogsEnabled() = on;
}

void TunoraDE::startLanguage()
{
    // Before the form is built, so that its texts come out in the listener's language.
    LanguageSetup::start(AppSettings::instance().memberName(), startDialogsEnabled(), this);
}

void TunoraDE::setupAccount()
{
    // Without an account the sign-in dialog opens once the window is up. Queued from here, after
    // the language dialog, so that it never runs inside that dialog before the window is built.
    QString member, password;
    AppSettings::instance().credentials(member, password);
    if (member.isEmpty() && password.isEmpty())
        QTimer::singleShot(0, this, &TunoraDE::slot_startUpLogin);
    setPageFactory(PageSettings, [](TunoraDE *window) { return window->createSettingsPage(); });
    connect(this, &TunoraDE::signal_versionCheckDue, this, &TunoraDE::slot_versionCheckDue);
    connect(swStations, &QStackedWidget::currentChanged, this, &TunoraDE::slot_pageShown);
    // Once the settings page shows what the directory sent, later answers refresh it.
    connect(TunoraAPI::activity(), &DirectoryActivity::languagesChanged, this, [this] {
        if (m_settingsPage && m_settingsFilled)
            m_settingsPage->setLanguages(TunoraAPI::languages(), LanguageSetup::current().code);
    });
    connect(TunoraAPI::activity(), &DirectoryActivity::accountDetailsChanged, this, [this] {
        if (m_settingsPage && m_settingsFilled)
            m_settingsPage->setAccount(TunoraAPI::accountDetails());
    });
}

QWidget *TunoraDE::createSettingsPage()
{
    m_settingsPage = new Settings;
    m_settingsFilled = false;
    m_settingsPage->setSignOutHook([this] { stopAndClearForAccount(); });
    return m_settingsPage;
}

void TunoraDE::slot_pageShown(int index)
{
    // Moving to the wish list once the window is up (not its start page during construction).
    if (index == PageWishList && isVisible() && !m_wishListPage) {
        showWishListPage();
        return;
    }
    if (index != PageSettings || !m_settingsPage || m_settingsFilled)
        return;
    m_settingsFilled = true;
    m_settingsPage->setLanguages(TunoraAPI::languages(), LanguageSetup::current().code);
    m_settingsPage->setAccount(TunoraAPI::accountDetails());
}

void TunoraDE::saveAccount()
{
    if (m_settingsPage)
        m_settingsPage->saveNow();
}

void TunoraDE::stopAndClearForAccount()
{
    stop(true);
    m_currentTrack.clear();
    m_lastTrack.clear();
    m_trackHistory.clear();
    m_trackLists->clear();
    refreshTrackHistoryLabel();
    emit signal_trackHistoryChanged();
}

void TunoraDE::slot_startUpLogin()
{
    if (startDialogsEnabled())
        slot_Login();
}

void TunoraDE::slot_Login()
{
    emit signal_loginRequested();
    bool endProgram = false;
    if (LoginDlg::run(this, &endProgram)) {
        // Another account: what played and what was kept belonged to the previous one.
        stopAndClearForAccount();
        QString member, password;
        AppSettings::instance().credentials(member, password);
        m_api.setCredentials(member, password);
        m_api.requestAccountInfo();
        m_trackLists->loadWishList(AppSettings::instance().wishListFile());
        m_settingsFilled = false;
        setWindowTitle(tr("Tunora Player"));
    } else if (endProgram) {
        // Cancelled after a sign-out: there is no account to go on with.
        QCoreApplication::exit(0);
    }
}

void TunoraDE::slot_SignOut()
{
    // Stores the signed-out state and empty credentials, then restarts the program.
    AccountSession::signOut([this] {
        stopAndClearForAccount();
        m_api.setCredentials(QString(), QString());
    });
    emit signal_signedOut();
}

void TunoraDE::slot_versionCheckDue()
{
    if (m_versionCheck)
        return;
    m_versionCheck = new VersionCheck(this, this);
    // Direct: the announcement lives only while the signal is delivered; the check copies it and
    // runs from the event loop.
    connect(&m_api, &BASS::BaseRadioAPI::signal_versionFound, m_versionCheck,
            &VersionCheck::slot_versionFound, Qt::DirectConnection);
    connect(m_versionCheck, &VersionCheck::signal_quitRequested, qApp, &QCoreApplication::quit);
    m_api.requestSoftwareVersion();
}
