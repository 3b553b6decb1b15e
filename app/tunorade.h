#pragma once

// TunoraDE: the program's one main window. It owns the directory client, the playback channel
// with its connect thread, the dashboard labels and the stack of content pages, and turns a
// station handed to playStation() into sound: the station's address is resolved (playlists
// followed), the connect thread opens the stream, and the channel's notifications keep the
// now-playing display, the status line and the play button current.
//
// Everything here runs on the GUI thread; the stream opens on the connect thread, whose end is
// seen through its signal_Finished.

#include "ui_tunorade.h"

#include "appsettings.h"
#include "coverart.h"
#include "httpblocking.h"
#include "records.h"
#include "song.h"
#include "tunoraapi.h"

#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>

class CoverArtLabel;
class NavigateLabel;
class QAction;
class QMenu;
class QMovie;
class QOverrideCursorGuard;
class QTimer;
class QTreeWidget;
class TreeStationWidget;
class CookieJar;
class HelpView;
class Settings;
class TrackHistoryFrame;
class TrackLists;
class TrackWishListFrame;
class TreeBrowser;
class VersionCheck;
class WindowDesktop;
class TunoraStream;

namespace BASS {
class BassQt;
class MprisPlayer;
class QtBassConnectThread;
class Stream;
} // namespace BASS

class TunoraDE : public QMainWindow, public Ui::TunoraDEClass
{
    Q_OBJECT

public:
    static constexpr const char *ProgramVersion = "1.02";
    static constexpr int TrackHistoryLimit = 20;
    static constexpr int StatusSeconds = 5;
    static constexpr int VersionCheckSeconds = 10;
    static constexpr int NewsSeconds = 10;
    static constexpr int DisplayTimerMs = 1000;
    static constexpr int RefreshTimerMs = 30000;
    static constexpr int StartUpDelayMs = 1000;
    static constexpr int RecentAddressLimit = 10;
    // Fade-out of a stopped stream; short, so that stopping never holds the window up.
    static constexpr int StopFadeMs = 150;

    // Stack positions of the content pages of "swStations".
    enum PagePosition
    {
        PageFavorites = 0,
        PageWishList = 1,
        PageRegions = 2,
        PageGenres = 3,
        PageHistory = 4,
        PageSearch = 5,
        PageSettings = 6,
        PageHelp = 7,
        PageWelcome = 8,
        PageCount = 8 // without the welcome page
    };

    // One song the window shows or keeps in its track history: what the stream announced, the
    // album information found for it and its cover.
    struct Track
    {
        BASS::Song song;
        BASS::AlbumInfo album;
        QImage cover;
        bool wished = false;

        bool isEmpty() const { return song.IsEmpty(); }
        bool hasCover() const { return !cover.isNull(); }
        QString description() const { return song.DisplayText(false); }
        void clear() { *this = Track(); }
    };

    // Builds the content page at one stack position; the window owns what it returns. Pages that
    // nobody provides stay empty placeholders.
    using PageFactory = std::function<QWidget *(TunoraDE *window)>;
    static void setPageFactory(PagePosition position, PageFactory factory);

    // Shows one shared message box (title "Tunora Player", application-modal, the main window as
    // parent) and returns the button chosen. Tests replace the box with a hook.
    using MessageHook = BASS::MessageHook;
    static int message(BASS::MessageKind kind, const QString &text,
                       QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    static void information(const QString &text) { message(BASS::MessageKind::Information, text); }
    static void warning(const QString &text) { message(BASS::MessageKind::Warning, text); }
    static void critical(const QString &text) { message(BASS::MessageKind::Critical, text); }
    static bool question(const QString &text);
    static void setMessageHook(MessageHook hook);

    // audioDevice: the engine's output (-1 the default, 0 no sound).
    explicit TunoraDE(QWidget *parent = nullptr, int audioDevice = -1);
    ~TunoraDE() override;

    // The one main window of the process, reachable from every part of the program.
    static TunoraDE *instance() { return s_instance; }
    static void setInstance(TunoraDE *window) { s_instance = window; }

    // ---- what other parts of the program call ---------------------------------------------
    // Stops what plays and plays the station: the given stream entry, else its first one.
    void playStation(const BASS::Station &station, const BASS::StationStream *entry = nullptr);
    // Stops the stream or an attempt under way; with clearDisplay the now-playing labels empty.
    void stop(bool clearDisplay);
    // A transient status text; the status line returns to its saved text after 5 s.
    void showStatus(const QString &text);
    void setState(qint32 state);

    TunoraAPI &api() { return m_api; }
    TunoraStream *channel() const { return m_channel.get(); }
    BASS::QtBassConnectThread *connectThread() const { return m_connectThread; }
    BASS::MprisPlayer *mpris() const { return m_mpris; }
    const BASS::Station &station() const { return m_station; }
    const Track &currentTrack() const { return m_currentTrack; }
    const Track &lastTrack() const { return m_lastTrack; }
    const QList<Track> &trackHistory() const { return m_trackHistory; }
    QString savedStatusText() const { return m_savedStatusText; }
    QStringList recentAddresses() const { return m_recentAddresses; }
    // A stack page by its object name among the first seven pages; null when there is none.
    // Pages are made when first shown; asking for one here makes it.
    QWidget *stationPage(int n) const;
    // The station list "twStations<n>" (1, 3, 4, 5, 6), or null; made when not yet there.
    TreeStationWidget *stationList(int n) const;
    // The station list on top of the stack, or null when another page shows.
    TreeStationWidget *currentStationList() const;
    // What the search menu calls a search text: "Search for <text>", or for a text with a prefix
    // ("genre:jazz") the trimmed part after the first colon; empty for an empty text.
    static QString searchLabel(const QString &text);
    const SearchHistory &searchHistory() const { return m_searchHistory; }
    QMenu *searchMenu() const { return m_searchMenu; }
    QAction *searchAction() const { return m_searchAction; }
    CoverArtLabel *coverPopup() const { return m_coverPopup; }

    // Album information with an image was shown for currentTrack: it joins the history.
    void newTrackToHistory();

    // Plays a typed address as a station with that one stream (remembered among the last ten);
    // false, with a status text, for anything but an http or https address.
    bool openAddress(const QString &text);

signals:
    // The channel state shown by the window changed (0 stopped, 1 playing, 3 connecting,
    // 6 downloading, 9 failed).
    void signal_stateChanged(int state);
    // The track history changed (for the track-history page).
    void signal_trackHistoryChanged();
    // A page of the stack was made (pages are made when first shown or asked for).
    void signal_pageMade(int position, QWidget *page);
    // Ten seconds after start: time to ask for the current software version, once.
    void signal_versionCheckDue();
    // The news ticker shows its next item (every eleven seconds and when the feed arrived).
    void signal_nextNews();
    // "Sign in..." was chosen, or the start-up found no stored account.
    void signal_loginRequested();
    void signal_signedOut();

public slots:
    void slot_playStation();
    void slot_connectStation();
    void slot_volumeChanged(int volume);
    void slot_muteVolume();
    void slot_bassEvent(BASS::BassQt *stream, uint msg, uint param);
    void slot_bassConnectFinished();
    void slot_TNStreamReady(BASS::Stream *stream, int id, const QString &text);
    void slot_TNStreamResolved(BASS::Stream *stream, const QStringList &urls);
    void slot_TNStreamError(BASS::Stream *stream, int id, const QString &message);
    void slot_coverArtReady(BASS::BassQt *stream, BASS::CoverArt::coverArtType type);
    void slot_coverArtStatusChanged(BASS::BassQt *stream, BASS::CoverArt::status st);
    void slot_displayTimerUpdate();
    void slot_refreshTimerUpdate();
    void slot_restoreStatusText();
    void slot_startUp();
    void slot_stationFound(const BASS::Station *station);
    void slot_tnAPIFinished(int id, bool error);
    void slot_openURL();
    void slot_Login();
    void slot_SignOut();
    void slot_About();

    // Pages, search, news and the dashboard's clicks.
    void slot_treeRadioSelectionChanged(int index, const QString &search, bool refresh);
    void slot_searchOnline();
    void slot_searchReturnPressed();
    void slot_searchMenuTriggered(QAction *action);
    void slot_navigateLinkClicked(QLabel *label, const QString &link);
    void slot_showNextNews();
    void slot_mouseEnter(QWidget *widget);
    void slot_mouseLeave(QWidget *widget);
    void slot_mouseMouseButtonLeft(QWidget *widget, QPoint pos);
    void slot_clearCoverArt();
    void slot_changeAppFont();
    void slot_CheckForNewVersion();
    void slot_FavoriteChanged(bool added, const QString &id);
    void slot_treeStationAPIStarted(TreeStationWidget *tree);
    void slot_treeStationAPIFinished(TreeStationWidget *tree);
    void slot_treeStationPlay(TreeStationWidget *tree, const BASS::Station &station, int streamIndex);
    void slot_treeStationsColumnResized(QTreeWidget *tree, int column, int oldSize, int newSize);
    void slot_treeStationsColumnMoved(QTreeWidget *tree, int column, int oldVisual, int newVisual);
    void slot_treeStationsColumnHidden(QTreeWidget *tree, int column);
    void slot_treeStationsColumnShown(QTreeWidget *tree, int column);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    friend class TestTunoraDE;
    friend class TestTunoraPages;

    void setupPages();
    // The station list for a stack position, or null for positions that are not station lists.
    QWidget *createStationPage(int position);
    // Connects the menu, search box, ticker, dashboard and status bar (after setupPages()).
    void setupNavigation();
    void runTypedSearch();
    // Shows the previous/next page links that apply to the list in view.
    void updatePagingLinks();
    void updatePlayingMarkers(int state);
    void showTrackCover(const Track &track);
    // Applies a change to every station list but the one it came from.
    void forEachOtherList(QTreeWidget *from, const std::function<void(TreeStationWidget *)> &apply);
    void setupMpris();
    void connectToUrl(const QString &url);
    void startConnect();
    // Starts the audio engine, once; the engine's libraries are loaded by then.
    void startAudioEngine();
    void endBusy();
    void refreshNowPlaying(bool withTitle);
    void refreshTrackHistoryLabel();
    void resetCover();
    void showAlbumInfo(const BASS::AlbumInfo &info);
    void showCover(const QImage &image);
    void setCoverOverlay(bool on);
    void applyAppFont(const QFont &font);
    void loadStartupStation();
    // News, languages and account details from the directory, asked for once per window.
    void requestStartData();
    // True when no language is chosen yet and the start may ask for one in a dialog.
    bool languageDialogMayOpen() const;
    void saveOnShutDown();
    bool isStreamOpen() const;

    static TunoraDE *s_instance;

    TunoraAPI m_api;
    std::shared_ptr<TunoraStream> m_channel;
    BASS::QtBassConnectThread *m_connectThread = nullptr;
    BASS::MprisPlayer *m_mpris = nullptr;
    BASS::Station m_station;
    Track m_currentTrack;
    Track m_lastTrack;
    QList<Track> m_trackHistory;
    QMovie *m_busyMovie = nullptr;
    QMovie *m_waitMovie = nullptr;
    QPixmap m_defaultCover;
    QTimer *m_displayTimer = nullptr;
    QTimer *m_refreshTimer = nullptr;
    int m_versionCountdown = 0;
    int m_statusCountdown = -1;
    int m_newsTicks = 0;
    int m_newsRequestId = 0;
    bool m_startDataRequested = false;
    int m_historyRequestId = 0;
    bool m_startLastPlayedPending = false;
    bool m_coverAwaited = false;
    QString m_savedStatusText;
    QString m_playStyle;
    QString m_coverStyle;
    QString m_highlightStyle;
    QString m_normalStyle;
    std::unique_ptr<QOverrideCursorGuard> m_busyCursor;
    // Aborted connect runs whose end is still to come, and whether a new run waits for them.
    int m_abandonedRuns = 0;
    bool m_connectPending = false;
    bool m_audioStarted = false;
    int m_audioDevice = 0;
    // Playlist documents followed by slot_TNStreamReady for the current request.
    int m_readyDepth = 0;
    QStringList m_recentAddresses;
    bool m_saved = false;

    QMenu *m_searchMenu = nullptr;
    QAction *m_searchAction = nullptr;
    SearchHistory m_searchHistory;
    int m_newsIndex = 0;
    bool m_columnSync = false;
    CoverArtLabel *m_coverPopup = nullptr;
    NavigateLabel *m_pagingLinks = nullptr;
    // The cover on the dashboard at full size, for the pop-up.
    QImage m_shownCover;
    // The station shown in bold in the lists while it plays.
    QString m_markedStationId;
    bool m_clearColumnsNoticeShown = false;
    // ---- account, languages and version check (tunorade_account.cpp) ----
public:
    // Whether the start-up may open its dialogs (the language choice on a first run, sign-in
    // without stored credentials). Tests about something else turn them off.
    static void setStartDialogsEnabled(bool on);
    // Made when not yet there.
    Settings *settingsPage() const;
    VersionCheck *versionCheck() const { return m_versionCheck; }
    // "Check for new version..." in the Help menu: asks the directory now and always answers.
    QAction *checkVersionAction() const { return m_checkVersionAction; }

public slots:
    // "Languages...": picks another interface language, stores it for the account and shows it.
    void slot_Languages();
    void slot_checkVersionNow();

private:
    void startLanguage();
    // Texts of the window's own form and actions in the current language.
    void retranslateWindow();
    VersionCheck *createVersionCheck();
    void setupAccount();
    void saveAccount();
    QWidget *createSettingsPage();
    void stopAndClearForAccount();

    Settings *m_settingsPage = nullptr;
    bool m_settingsFilled = false;
    VersionCheck *m_versionCheck = nullptr;
    QAction *m_checkVersionAction = nullptr;

private slots:
    void slot_startUpLogin();
    void slot_versionCheckDue();
    void slot_pageShown(int index);

    // ---- track lists and web pages (tunorade_web.cpp) ----
public:
    TrackLists *trackLists() const { return m_trackLists; }
    // The track-history page, created on first use; null before.
    TrackHistoryFrame *trackHistoryPage() const { return m_trackHistoryPage; }
    HelpView *helpPage() const { return m_helpPage; }
    TrackWishListFrame *wishListPage() const { return m_wishListPage; }
    // Each creates its page on first use (a web view starts the web engine) and makes it current.
    void showWishListPage();
    void showTrackHistoryPage();
    // The product web site's view (its play links start stations here), created by showSiteView()
    // in the page "frmWebSite" at the next free stack position; "actionWebSite" in the Help menu
    // and the status bar's site link open it.
    TreeBrowser *siteView() const { return m_siteView; }
    void showSiteView();
    void showHelpPage();

public slots:
    void slot_webViewLinkClicked(const QUrl &url);
    void slot_webViewStatusBarMessage(const QString &text);

private:
    void setupWeb();
    // After the status bar is built: its web-site link opens the site view.
    void setupSiteLink();
    void replacePage(int position, QWidget *page);
    // The page at `position`, made now when it waits for its first showing.
    QWidget *makePendingPage(int position);
    // The station list "twStations<n>" when it is made, else null.
    TreeStationWidget *madeStationList(int n) const;
    // Stack positions whose page is made when first shown (a placeholder stands there until then).
    QSet<int> m_pendingPages;
    QWidget *createWelcomePage();

    CookieJar *m_cookieJar = nullptr;
    TrackLists *m_trackLists = nullptr;
    TrackHistoryFrame *m_trackHistoryPage = nullptr;
    HelpView *m_helpPage = nullptr;
    TrackWishListFrame *m_wishListPage = nullptr;
    TreeBrowser *m_siteView = nullptr;

    // ---- the record control (tunorade_record.cpp) ----
private:
    // The record toggle "btRecord" beside Play and its clock "lblRecordTime".
    void setupRecording();
    // ---- desktop integration (tunorade_desktop.cpp) ----
public:
    // Arguments, notifications, tray icon, sleep timer, keyboard commands, files and proxy.
    WindowDesktop *desktop() const { return m_desktop; }

private:
    friend class WindowDesktop;
    void setupDesktop();

    WindowDesktop *m_desktop = nullptr;
    // Start-up arguments played a station: the start-up does not play the last one over it.
    bool m_argumentsPlayed = false;
};
