#pragma once

#include "records.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>

class QAction;
class QFont;
class QMenu;
class QObject;
class QSplitter;
class QWidget;

// One earlier search text, with the menu action that repeats it when the menu shows one.
struct SearchHistoryEntry
{
    QString text;
    QPointer<QAction> action;
};
using SearchHistory = QMap<QString, SearchHistoryEntry>;

// The process-wide settings store and the program's folders. Every accessor opens its own
// QSettings, so nothing is cached and every write reaches the INI file at once.
class AppSettings
{
public:
    // Remote services the program talks to; each has a key in the "endpoints" group.
    enum Endpoint
    {
        DirectoryRoot, // the directory service, "https://host:port/"
        NewsFeedHost,  // "host[:port]" of the news feed
        WebSite,       // root address of the product web site
        CoverShop,     // root address of the shop-search proxy for album covers
        ImageSearch,   // root address of the image search
        TrackInfo,     // root address of the music web service's track information
        Lyrics,        // root address of the lyrics site
        ArtistWiki,    // root address of the artist wiki
        ArtistInfo,    // root address of the music-information site
        WebSearch,     // root address of the web search used by "search in the browser" links
        EndpointCount
    };

    static AppSettings &instance();

    // The folder that counts as the executable's folder. Tests and packagers call this before the
    // first instance() to keep the portable INI file out of the build tree.
    static void setApplicationFolderOverride(const QString &folder);

    bool isPortable() const { return m_portable; }
    // An executable under /usr or /opt was installed by a package; anywhere else the program runs
    // portable and keeps its INI file in "<application folder>/Corvella/TunoraDE.ini".
    static bool isInstalledLocation(const QString &folder);

    // Folders and files.
    QString dataFolder() const;
    QString languagesFolder() const;
    QString dataFile(const QString &name) const;
    QString applicationFolder() const;
    QString applicationFile(const QString &name) const;
    // Files shipped with the program: "<prefix>/share/TunoraDE" for an installed executable in
    // "<prefix>/bin", the application folder for a portable one.
    QString sharedDataFolder() const;
    static QString sharedDataFolderFor(const QString &applicationFolder);
    QString htmlFolder() const;
    QString htmlFile(const QString &name) const;
    QString languageFile(const QString &name) const;
    QString wishListFile() const;
    static QString cleanWishListFileName(const QString &memberName);
    // The INI file every accessor reads and writes.
    QString settingsFile() const;

    int volume() const;
    void setVolume(int volume);
    int minBitrate() const;
    void setMinBitrate(int kbps);
    int maxBitrate() const;
    void setMaxBitrate(int kbps);

    bool loadAppFont(QFont &font) const;
    void saveAppFont(const QFont &font);

    int startupStationType() const;
    void setStartupStationType(int type);
    void saveStartupStation(const BASS::Station &station);

    void credentials(QString &member, QString &password) const;
    void setCredentials(const QString &member, const QString &password);
    QString memberName() const;

    // Per-account interface language; nothing is read or written without a member name.
    void readLanguage(BASS::Language &language, const QString &member) const;
    void writeLanguage(const BASS::Language &language, const QString &member);

    void loadSearchHistory(SearchHistory &history, QObject *actionParent, QMenu *menu) const;
    void saveSearchHistory(const SearchHistory &history);

    bool showWelcomePage() const;
    bool signedOut() const;
    void setSignedOut(bool signedOut);

    void restoreWindowGeometry(QWidget *window) const;
    void saveWindowGeometry(const QWidget *window);
    void restoreSplitterSizes(QSplitter *splitter) const;
    void saveSplitterSizes(const QSplitter *splitter, const QList<int> &sizes);

    // Header layouts of trees, stored under objectName + "_tree".
    QByteArray treeLayout(const QString &treeName) const;
    void saveTreeLayout(const QString &treeName, const QByteArray &state);
    static constexpr int StationListCount = 7;
    void clearStationListLayouts();
    void saveStationListLayouts(const QByteArray &state);

    // Cookie jar policies, as the key names of the jar's policy enumerations.
    QString acceptCookies() const;
    void setAcceptCookies(const QString &policy);
    QString keepCookiesUntil() const;
    void setKeepCookiesUntil(const QString &policy);

    QString endpoint(Endpoint which) const;
    void setEndpoint(Endpoint which, const QString &value);
    static QString endpointKey(Endpoint which);
    static QString endpointDefault(Endpoint which);
    // An extra CA certificate file (PEM) trusted for the directory service; "" for none.
    QString caFile() const;
    void setCaFile(const QString &path);

private:
    AppSettings();
    void secureSettingsFile() const;

    bool m_portable = false;
};
