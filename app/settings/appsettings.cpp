#include "appsettings.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QMenu>
#include <QSettings>
#include <QSplitter>
#include <QWidget>

namespace {

const char *const OrganizationName = "Corvella";
const char *const OrganizationDomain = "tunora.local";
const char *const ApplicationName = "TunoraDE";
// Where the bundled directory service listens when the player is started with scripts/run.
const char *const LocalServiceRoot = "https://127.0.0.1:47443";

QString g_applicationFolderOverride;

QString joinPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

} // namespace

bool AppSettings::isInstalledLocation(const QString &folder)
{
    static const char *const prefixes[] = {"/usr/", "/opt/"};
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    const QString path = (canonical.isEmpty() ? folder : canonical) + QLatin1Char('/');
    for (const char *prefix : prefixes) {
        if (path.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

AppSettings &AppSettings::instance()
{
    static AppSettings store;
    return store;
}

void AppSettings::setApplicationFolderOverride(const QString &folder)
{
    g_applicationFolderOverride = folder;
}

AppSettings::AppSettings()
{
    QCoreApplication::setOrganizationName(QLatin1String(OrganizationName));
    QCoreApplication::setOrganizationDomain(QLatin1String(OrganizationDomain));
    QCoreApplication::setApplicationName(QLatin1String(ApplicationName));

    QDir().mkpath(dataFolder());
    QDir().mkpath(languagesFolder());

    QSettings::setDefaultFormat(QSettings::IniFormat);

    m_portable = !isInstalledLocation(applicationFolder());
    if (m_portable)
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, applicationFolder());

    secureSettingsFile();
}

// The INI file holds the account password as typed, so only its owner may read it. QSettings
// replaces the file through QSaveFile, which keeps the permissions of the file it replaces: a file
// created here with 0600 stays 0600.
void AppSettings::secureSettingsFile() const
{
    const QString path = settingsFile();
    QFile file(path);
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!file.exists()) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
        file.close();
    }
    const QFileDevice::Permissions current = file.permissions();
    const QFileDevice::Permissions wider = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                           QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                           QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (current & wider)
        file.setPermissions(ownerOnly);
}

QString AppSettings::settingsFile() const
{
    return QSettings().fileName();
}

// ---------------------------------------------------------------------------------------------
// Folders and files

QString AppSettings::dataFolder() const
{
    return joinPath(QDir::homePath(), QLatin1String(ApplicationName));
}

QString AppSettings::languagesFolder() const
{
    return joinPath(dataFolder(), QStringLiteral("Languages"));
}

QString AppSettings::dataFile(const QString &name) const
{
    return joinPath(dataFolder(), name);
}

QString AppSettings::applicationFolder() const
{
    if (!g_applicationFolderOverride.isEmpty())
        return g_applicationFolderOverride;
    return QCoreApplication::applicationDirPath();
}

QString AppSettings::applicationFile(const QString &name) const
{
    return joinPath(applicationFolder(), name);
}

QString AppSettings::sharedDataFolderFor(const QString &applicationFolder)
{
    if (!isInstalledLocation(applicationFolder))
        return applicationFolder;
    return QDir::cleanPath(applicationFolder + QLatin1String("/../share/") + QLatin1String(ApplicationName));
}

QString AppSettings::sharedDataFolder() const
{
    return sharedDataFolderFor(applicationFolder());
}

QString AppSettings::htmlFolder() const
{
    return joinPath(sharedDataFolder(), QStringLiteral("Html"));
}

QString AppSettings::htmlFile(const QString &name) const
{
    return joinPath(htmlFolder(), name);
}

QString AppSettings::languageFile(const QString &name) const
{
    return joinPath(languagesFolder(), name);
}

QString AppSettings::cleanWishListFileName(const QString &memberName)
{
    QString name = memberName + QLatin1String("_track_wishlist.xml");
    name.remove(QLatin1Char('\n'));
    name.remove(QLatin1Char('\r'));
    name.remove(QLatin1Char('\t'));
    for (QChar c : QStringLiteral("<>:\"/\\|?*%"))
        name.replace(c, QLatin1Char('-'));
    return name;
}

QString AppSettings::wishListFile() const
{
    const QString name = cleanWishListFileName(memberName());
    return m_portable ? applicationFile(name) : dataFile(name);
}

// ---------------------------------------------------------------------------------------------
// Plain values

int AppSettings::volume() const
{
    return QSettings().value(QStringLiteral("Volume"), 50).toInt();
}

void AppSettings::setVolume(int volume)
{
    QSettings().setValue(QStringLiteral("Volume"), volume);
}

int AppSettings::minBitrate() const
{
    return QSettings().value(QStringLiteral("MinBitrate"), 0).toInt();
}

void AppSettings::setMinBitrate(int kbps)
{
    QSettings().setValue(QStringLiteral("MinBitrate"), kbps);
}

int AppSettings::maxBitrate() const
{
    return QSettings().value(QStringLiteral("MaxBitrate"), 0).toInt();
}

void AppSettings::setMaxBitrate(int kbps)
{
    QSettings().setValue(QStringLiteral("MaxBitrate"), kbps);
}

bool AppSettings::loadAppFont(QFont &font) const
{
    const QVariant value = QSettings().value(QStringLiteral("AppFont"));
    if (value.isNull())
        return false;
    QFont loaded;
    if (!loaded.fromString(value.toString()))
        return false;
    font = loaded;
    return true;
}

void AppSettings::saveAppFont(const QFont &font)
{
    QSettings().setValue(QStringLiteral("AppFont"), font.toString());
}

int AppSettings::startupStationType() const
{
    return QSettings().value(QStringLiteral("StartupStationType"), 0).toInt();
}

void AppSettings::setStartupStationType(int type)
{
    QSettings().setValue(QStringLiteral("StartupStationType"), type);
}

void AppSettings::saveStartupStation(const BASS::Station &station)
{
    QSettings settings;
    settings.setValue(QStringLiteral("StartupStationID"), station.id());
    settings.setValue(QStringLiteral("StartupStationName"), station.name());
    settings.setValue(QStringLiteral("StartupStationCountry"), station.country());
    settings.setValue(QStringLiteral("StartupStationNetwork"), station.network());
    settings.setValue(QStringLiteral("StartupStationURL"), station.firstStreamUrl());
}

void AppSettings::credentials(QString &member, QString &password) const
{
    QSettings settings;
    member = settings.value(QStringLiteral("username")).toString();
    password = settings.value(QStringLiteral("password")).toString();
}

void AppSettings::setCredentials(const QString &member, const QString &password)
{
    secureSettingsFile();
    {
        QSettings settings;
        settings.setValue(QStringLiteral("username"), member);
        settings.setValue(QStringLiteral("password"), password);
    }
    // The file may have been replaced by hand since start-up; the password must stay private.
    secureSettingsFile();
}

QString AppSettings::memberName() const
{
    return QSettings().value(QStringLiteral("username")).toString();
}

void AppSettings::readLanguage(BASS::Language &language, const QString &member) const
{
    if (member.isEmpty())
        return;
    QSettings settings;
    language.name = settings.value(QLatin1String("lang_name_") + member).toString();
    language.code = settings.value(QLatin1String("lang_code_") + member).toString();
}

void AppSettings::writeLanguage(const BASS::Language &language, const QString &member)
{
    if (member.isEmpty())
        return;
    QSettings settings;
    settings.setValue(QLatin1String("lang_name_") + member, language.name);
    settings.setValue(QLatin1String("lang_code_") + member, language.code);
}

// ---------------------------------------------------------------------------------------------
// Search history

void AppSettings::loadSearchHistory(SearchHistory &history, QObject *actionParent, QMenu *menu) const
{
    history.clear();
    QSettings settings;
    for (int n = 1; n <= 10; ++n) {
        const QVariant value = settings.value(QLatin1String("search_") + QString::number(n));
        if (!value.isValid())
            continue;
        SearchHistoryEntry entry;
        entry.text = value.toString();
        if (actionParent) {
            entry.action = new QAction(entry.text, actionParent);
            if (menu)
                menu->addAction(entry.action);
        }
        history.insert(entry.text, entry);
    }
}

void AppSettings::saveSearchHistory(const SearchHistory &history)
{
    QSettings settings;
    int n = 1;
    for (auto it = history.cbegin(); it != history.cend() && n <= 10; ++it, ++n)
        settings.setValue(QLatin1String("search_") + QString::number(n), it->text);
}

// ---------------------------------------------------------------------------------------------
// Flags, geometry and layouts

bool AppSettings::showWelcomePage() const
{
    return QSettings().value(QStringLiteral("ShowWelcomePage"), true).toBool();
}

bool AppSettings::signedOut() const
{
    return QSettings().value(QStringLiteral("SignedOut"), true).toBool();
}

void AppSettings::setSignedOut(bool signedOut)
{
    QSettings().setValue(QStringLiteral("SignedOut"), signedOut);
}

void AppSettings::restoreWindowGeometry(QWidget *window) const
{
    const QByteArray state = QSettings().value(window->objectName() + QLatin1String("_window")).toByteArray();
    if (!state.isEmpty())
        window->restoreGeometry(state);
}

void AppSettings::saveWindowGeometry(const QWidget *window)
{
    QSettings().setValue(window->objectName() + QLatin1String("_window"), window->saveGeometry());
}

void AppSettings::restoreSplitterSizes(QSplitter *splitter) const
{
    QSettings settings;
    QList<int> sizes = splitter->sizes();
    for (int n = 0; n < sizes.size(); ++n) {
        const QString key = splitter->objectName() + QLatin1String("_splitter") + QString::number(n + 1);
        const int stored = settings.value(key, sizes[n]).toInt();
        if (stored != 0)
            sizes[n] = stored;
    }
    splitter->setSizes(sizes);
}

void AppSettings::saveSplitterSizes(const QSplitter *splitter, const QList<int> &sizes)
{
    QSettings settings;
    for (int n = 0; n < sizes.size(); ++n) {
        const QString key = splitter->objectName() + QLatin1String("_splitter") + QString::number(n + 1);
        settings.setValue(key, sizes[n]);
    }
}

QByteArray AppSettings::treeLayout(const QString &treeName) const
{
    return QSettings().value(treeName + QLatin1String("_tree")).toByteArray();
}

void AppSettings::saveTreeLayout(const QString &treeName, const QByteArray &state)
{
    QSettings().setValue(treeName + QLatin1String("_tree"), state);
}

void AppSettings::clearStationListLayouts()
{
    saveStationListLayouts(QByteArray());
}

void AppSettings::saveStationListLayouts(const QByteArray &state)
{
    QSettings settings;
    for (int n = 1; n <= StationListCount; ++n)
        settings.setValue(QLatin1String("twStations") + QString::number(n) + QLatin1String("_tree"), state);
}

QString AppSettings::acceptCookies() const
{
    return QSettings()
        .value(QStringLiteral("cookies/acceptCookies"), QStringLiteral("AcceptOnlyFromSitesNavigatedTo"))
        .toString();
}

void AppSettings::setAcceptCookies(const QString &policy)
{
    QSettings().setValue(QStringLiteral("cookies/acceptCookies"), policy);
}

QString AppSettings::keepCookiesUntil() const
{
    return QSettings().value(QStringLiteral("cookies/keepCookiesUntil"), QStringLiteral("Expire")).toString();
}

void AppSettings::setKeepCookiesUntil(const QString &policy)
{
    QSettings().setValue(QStringLiteral("cookies/keepCookiesUntil"), policy);
}

// ---------------------------------------------------------------------------------------------
// Endpoints

QString AppSettings::endpointKey(Endpoint which)
{
    static const char *const keys[EndpointCount] = {
        "directory",  "news",   "website",     "cover_shop",  "image_search",
        "track_info", "lyrics", "artist_wiki", "artist_info", "web_search",
    };
    if (which < 0 || which >= EndpointCount)
        return QString();
    return QLatin1String("endpoints/") + QLatin1String(keys[which]);
}

QString AppSettings::endpointDefault(Endpoint which)
{
    switch (which) {
    case DirectoryRoot:
        return QLatin1String(LocalServiceRoot) + QLatin1Char('/');
    case EndpointCount:
        return QString();
    default:
        // Every other service defaults to the bundled directory service, which answers what it
        // knows and "not found" for the rest, so nothing leaves the machine unless configured.
        return QLatin1String(LocalServiceRoot);
    }
}

QString AppSettings::endpoint(Endpoint which) const
{
    return QSettings().value(endpointKey(which), endpointDefault(which)).toString();
}

void AppSettings::setEndpoint(Endpoint which, const QString &value)
{
    QSettings().setValue(endpointKey(which), value);
}

QString AppSettings::caFile() const
{
    return QSettings().value(QStringLiteral("endpoints/ca_file")).toString();
}

void AppSettings::setCaFile(const QString &path)
{
    QSettings().setValue(QStringLiteral("endpoints/ca_file"), path);
}
