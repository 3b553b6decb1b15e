#pragma once
// A listener account for the window suites: made through the player's own client against the
// local directory service, activated through the link the service mailed, and stored as the
// player's credentials.

#include "appsettings.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "tunoraapi.h"

#include <QSignalSpy>
#include <QUrl>

namespace TunoraTest {

// False when the service refused the account or the activation link did not answer.
inline bool createListener(DirectoryService &service, const QString &user, const QString &password)
{
    TunoraAPI api;
    if (!api.createAccount(user, password, user + QStringLiteral("@example.org")))
        return false;
    BASS::QHttpExt http;
    QSignalSpy activated(&http, &BASS::QHttpExt::sig_Ready);
    const QUrl link = service.linkFromLastMail(QStringLiteral("/account/activate"));
    if (http.get(link.toString(QUrl::FullyEncoded)) == 0 || !activated.wait(30000))
        return false;
    AppSettings::instance().setCredentials(user, password);
    return true;
}

} // namespace TunoraTest
