#pragma once

// The main window's desktop side: arguments of this and of later starts, a notification for each
// new song, the tray icon, the sleep timer, the keyboard commands and accessible names, the
// favourites and wish-list files, and the proxy. TunoraDE creates one in its constructor.

#include "exportfiles.h"
#include "records.h"
#include "sleeptimer.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class DesktopNotifier;
namespace BASS {
class QHttpExt;
}
class QAction;
class QActionGroup;
class QMenu;
class QSystemTrayIcon;
class TunoraAPI;
class TunoraDE;

class WindowDesktop : public QObject
{
    Q_OBJECT
public:
    // Tests give the sleep timer their own clock before the window is made.
    static void setSleepTimerClock(SleepTimer::Clock clock);
    // Tests answer the file dialogs of the export and import commands (empty: cancelled).
    using FileHook = std::function<QString(bool save, const QString &filter)>;
    static void setFileHook(FileHook hook);

    explicit WindowDesktop(TunoraDE *window);

    // Start-up arguments or those of a later start: the first playable one plays through the
    // window's normal path, refused ones are named in the status line, and the window comes to the
    // front. False when nothing could be played.
    bool openArguments(const QStringList &arguments);
    // Reads the notification, tray and proxy settings again.
    void applySettings();

    SleepTimer *sleepTimer() const { return m_sleepTimer; }
    DesktopNotifier *notifier() const { return m_notifier; }
    QSystemTrayIcon *trayIcon() const { return m_trayIcon; }
    QMenu *sleepTimerMenu() const { return m_sleepMenu; }

    // The account's favourites written as M3U or XSPF (by the file's suffix); the result comes
    // with signal_favoritesDone.
    void exportFavorites(const QString &path);
    // Stations of a playlist file found in the directory by stream address join the account's
    // favourites; the report names those that could not be matched.
    void importFavorites(const QString &path);
    bool exportWishList(const QString &path, QString *error);
    // Songs of a CSV file that the wish list does not hold yet are added to it.
    bool importWishList(const QString &path, QString *report);

signals:
    void signal_favoritesDone(bool ok, const QString &report);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupActions();
    void setupSleepTimer();
    void setupAccessibility();
    void songAccepted(bool titleChanged);
    void coverArrived();
    void updateTray();
    void showWindow();
    void togglePlay();
    void changeVolume(int step);
    void favoriteSelected();
    void askExportFavorites();
    void askImportFavorites();
    void askExportWishList();
    void askImportWishList();
    QString askFile(bool save, const QString &filter);
    void finishFavorites(bool ok, const QString &report);
    void nextImportSearch();
    void stationFound(const BASS::Station *station);
    bool isDirectoryLink(const QString &address) const;
    void startResolving();
    void nextResolve();
    void nextFavoriteAdd();
    TunoraAPI *transferApi();

    TunoraDE *m_window;
    DesktopNotifier *m_notifier;
    SleepTimer *m_sleepTimer;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QMenu *m_trayMenu = nullptr;
    QMenu *m_sleepMenu = nullptr;
    QActionGroup *m_sleepGroup = nullptr;
    QAction *m_sleepOff = nullptr;
    QAction *m_playAction = nullptr;
    QAction *m_trayShow = nullptr;
    bool m_quitting = false;
    bool m_hiddenInTray = false;
    // The volume the sleep timer's fade set last; -1 while it is not fading.
    int m_fadeLevel = -1;

    // One favourites transfer at a time, through a directory client of its own.
    enum class Transfer
    {
        None,
        Export,
        ImportSearch,
        Resolve, // the stations' directory links are read for their stream addresses
        ImportAdd
    };
    Transfer m_transfer = Transfer::None;
    TunoraAPI *m_transferApi = nullptr;
    int m_transferRequest = 0;
    QString m_transferPath;
    QList<BASS::Station> m_found;
    QList<ExportFiles::StationEntry> m_entries;
    int m_entryIndex = 0;
    int m_skipped = 0;
    ExportFiles::MatchReport m_match;
    int m_added = 0;
    int m_searchResults = 0;
    Transfer m_resumeAfterResolve = Transfer::None;
    BASS::QHttpExt *m_http = nullptr;
    int m_httpId = 0;
    QList<QStringList> m_resolved; // per station of m_found
};
