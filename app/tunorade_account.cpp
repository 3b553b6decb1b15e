// The window's account side: the interface language at start-up, signing in and out, the settings
// page and the once-per-run version check.

#include "tunorade.h"

#include "accountsession.h"
#include "appsettings.h"
#include "languagedlg.h"
#include "languagesetup.h"
#include "logindlg.h"
#include "settingspanel.h"
#include "tracklists.h"
#include "tunorastream.h"
#include "versioncheck.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QMenu>
#include <QStackedWidget>
#include <QTimer>

#include <functional>

namespace {

// Calls back when the interface language changed (after LanguageSetup::announceChange()).
class LanguageChangeWatcher : public QObject
{
public:
    LanguageChangeWatcher(QObject *parent, std::function<void()> changed)
        : QObject(parent)
        , m_changed(std::move(changed))
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == parent() && event->type() == QEvent::LanguageChange)
            m_changed();
        return false;
    }

private:
    std::function<void()> m_changed;
};

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

bool TunoraDE::languageDialogMayOpen() const
{
    return LanguageSetup::willAsk(AppSettings::instance().memberName(), startDialogsEnabled());
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

    // "Languages..." beside the account entries of the File menu, the manual version check above
    // "About..." in the Help menu.
    connect(actionLanguages, &QAction::triggered, this, &TunoraDE::slot_Languages);
    QAction *separator = nullptr;
    for (QAction *action : menuFile->actions()) {
        if (action->isSeparator()) {
            separator = action;
            break;
        }
    }
    menuFile->insertAction(separator, actionLanguages);
    m_checkVersionAction = new QAction(this);
    m_checkVersionAction->setObjectName(QStringLiteral("actionCheckVersion"));
    connect(m_checkVersionAction, &QAction::triggered, this, &TunoraDE::slot_checkVersionNow);
    menuHelp->insertAction(actionAbout, m_checkVersionAction);
    installEventFilter(new LanguageChangeWatcher(this, [this] { retranslateWindow(); }));
    retranslateWindow();
}

void TunoraDE::retranslateWindow()
{
    retranslateUi(this);
    // What the form sets but the window changes while it runs.
    const qint32 state = m_channel ? m_channel->State() : BASS::Stream::StateStopped;
    const bool stopLook = state == BASS::Stream::StatePlaying || state == BASS::Stream::StateConnecting;
    btPlay->setToolTip(stopLook ? tr("Stop") : tr("Play"));
    teSearch->setHint(tr("Search Stations or What's Playing"));
    sldVolume->setToolTip(tr("%1%").arg(sldVolume->value()));
    if (m_checkVersionAction) {
        m_checkVersionAction->setText(tr("Check for &new version..."));
        m_checkVersionAction->setStatusTip(tr("Ask the directory whether a newer version exists"));
    }
}

void TunoraDE::slot_Languages()
{
    if (TunoraAPI::languages().isEmpty())
        m_api.requestLanguagesModal();
    if (TunoraAPI::languages().isEmpty()) {
        information(tr("No Languages Found"));
        return;
    }
    const BASS::Language previous = LanguageSetup::current();
    LanguageDlg dialog(this);
    dialog.setWindowTitle(tr("Select Language"));
    dialog.setHelpText(tr("Please select your language"));
    dialog.selectLanguage(previous);
    dialog.setCancelAllowed(true);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const BASS::Language chosen = dialog.language();
    if (chosen.code == previous.code && chosen.name == previous.name)
        return;
    if (!LanguageSetup::apply(chosen)) {
        const QString error = LanguageSetup::error();
        // Whatever the failed load left in the table, the previous language stays in force.
        LanguageSetup::apply(previous);
        warning(tr("The language %1 could not be loaded.").arg(chosen.name.toHtmlEscaped()) +
                QLatin1String("<br>") + error.toHtmlEscaped());
        return;
    }
    // Directory requests carry the stored language of the account from now on.
    LanguageSetup::storeFor(AppSettings::instance().memberName());
    if (m_settingsPage && m_settingsFilled)
        m_settingsPage->setLanguages(TunoraAPI::languages(), chosen.code);
    LanguageSetup::announceChange();
}

VersionCheck *TunoraDE::createVersionCheck()
{
    if (m_versionCheck)
        return m_versionCheck;
    m_versionCheck = new VersionCheck(this, this);
    // Direct: the announcement lives only while the signal is delivered; the check copies it and
    // runs from the event loop.
    connect(&m_api, &BASS::BaseRadioAPI::signal_versionFound, m_versionCheck,
            &VersionCheck::slot_versionFound, Qt::DirectConnection);
    connect(m_versionCheck, &VersionCheck::signal_quitRequested, qApp, &QCoreApplication::quit);
    return m_versionCheck;
}

void TunoraDE::slot_checkVersionNow()
{
    createVersionCheck();
    // The verbose request: an equal version is reported too. A failed request is reported by
    // the client with the reason.
    m_api.requestSoftwareVersionModal();
}

Settings *TunoraDE::settingsPage() const
{
    const_cast<TunoraDE *>(this)->makePendingPage(PageSettings);
    return m_settingsPage;
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
    // Once per run: a check the listener asked for already counts.
    if (m_versionCheck)
        return;
    createVersionCheck();
    m_api.requestSoftwareVersion();
}
