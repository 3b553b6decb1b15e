#pragma once
// What the window suites share: the window's start-up settings for a test, a station record for a
// stream address, a local directory service (optionally with one station of its own) as the
// player's directory, and a listener account made and activated through the player's own client.

#include "appsettings.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "testmain.h"
#include "tunoraapi.h"
#include "tunorade.h"
#include "tunorastream.h"

#include <QSignalSpy>
#include <QUrl>

#include <memory>

namespace TunoraTest {

// The program folder in the isolated home, no start-up dialogs (language, sign-in), the directory
// at a closed port, and every message box recorded in `boxes` (when given) and answered with Ok.
inline void prepareWindowSuite(QStringList *boxes)
{
    AppSettings::setApplicationFolderOverride(IsolatedHome::path());
    TunoraDE::setStartDialogsEnabled(false);
    AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, QStringLiteral("https://127.0.0.1:9/"));
    if (boxes)
        TunoraDE::setMessageHook(
            [boxes](BASS::MessageKind, const QString &, const QString &text, QMessageBox::StandardButtons) {
                boxes->append(text);
                return int(QMessageBox::Ok);
            });
}

// A window as the suites use it: no fades, so stops and changes take effect at once.
inline std::unique_ptr<TunoraDE> newWindow()
{
    auto window = std::make_unique<TunoraDE>(nullptr, 0);
    window->channel()->SetFadeTimes(0, 0);
    return window;
}

inline BASS::Station stationAt(const QString &url, const QString &name = QStringLiteral("Test Radio"))
{
    BASS::Station station;
    station.setName(name);
    station.setNetwork(QStringLiteral("Test Network"));
    BASS::StationStream entry;
    entry.url = url;
    station.addStream(entry, true);
    return station;
}

// Starts the service, with one Jazz station of its own when `station` is given (beside the shipped
// catalogue unless the options leave it out), and makes it the player's directory. False when the
// service did not start.
inline bool startDirectory(DirectoryService &service, const QString &station = {},
                           const QString &streamUri = {}, DirectoryService::Options options = {})
{
    if (!station.isEmpty()) {
        const QByteArray json =
            QStringLiteral(R"({"webradios": {"test": {"Name": "%1", "Genre": ["Jazz"], "Country": "Germany",
                "Region": "", "Languages": [], "Homepage": "", "Description": "", "Codec": "MP3",
                "Bitrate": 128, "StreamUri": "%2", "alternativeStreams": {}}}})")
                .arg(station, streamUri)
                .toUtf8();
        QFile file(IsolatedHome::path() + QStringLiteral("/catalogue-%1.json").arg(qHash(streamUri)));
        if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size())
            return false;
        options.extraCatalogues << file.fileName();
    }
    if (!service.start(options))
        return false;
    AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, service.root().toString());
    AppSettings::instance().setCaFile(service.caFile());
    TunoraAPI::configureHttp();
    return true;
}

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
