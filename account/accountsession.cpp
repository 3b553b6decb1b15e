#include "accountsession.h"

#include "appsettings.h"
#include "tunoraapi.h"

#include <QCoreApplication>
#include <QDebug>
#include <QProcess>

namespace {

std::function<void()> &restartHook()
{
    static std::function<void()> hook;
    return hook;
}

} // namespace

bool AccountSession::authenticate(TunoraAPI &api, const QString &member, const QString &password,
                                  const QString &statusText)
{
    api.setCredentials(member, password);
    api.setStatusText(statusText);
    return api.modalRequest(api.signInAddress(), BASS::BaseRadioAPI::TypeCheckAccount);
}

void AccountSession::storeSignedIn(const QString &member, const QString &password)
{
    AppSettings &settings = AppSettings::instance();
    settings.setCredentials(member, password);
    settings.setSignedOut(false);
}

void AccountSession::signOut(const std::function<void()> &stopAndClear)
{
    if (stopAndClear)
        stopAndClear();
    AppSettings &settings = AppSettings::instance();
    settings.setSignedOut(true);
    settings.setCredentials(QString(), QString());
    restart();
}

bool AccountSession::cancelEndsProgram()
{
    const AppSettings &settings = AppSettings::instance();
    QString member, password;
    settings.credentials(member, password);
    return settings.signedOut() || member.isEmpty() || password.isEmpty();
}

void AccountSession::restart()
{
    if (restartHook()) {
        restartHook()();
        return;
    }
    const QString program = QCoreApplication::applicationFilePath();
    if (!QProcess::startDetached(program, {}))
        qWarning().noquote() << "AccountSession::restart cannot start" << program;
    QCoreApplication::exit(0);
}

void AccountSession::setRestartHook(std::function<void()> hook)
{
    restartHook() = std::move(hook);
}
