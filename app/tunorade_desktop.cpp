// The window's desktop side (see tunorade_desktop.h): everything here reaches the window through
// its public members and its signals, so that the window's own code stays as it is.

#include "tunorade_desktop.h"

#include "appsettings.h"
#include "bassinit.h"
#include "desktopnotifier.h"
#include "desktopsettings.h"
#include "httpblocking.h"
#include "launcharguments.h"
#include "proxysetting.h"
#include "settingspanel.h"
#include "stream.h"
#include "trackinfo.h"
#include "tracklists.h"
#include "treestationwidget.h"
#include "tunorade.h"
#include "tunorastream.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace {

SleepTimer::Clock &sleepClock()
{
    static SleepTimer::Clock clock;
    return clock;
}

WindowDesktop::FileHook &fileHook()
{
    static WindowDesktop::FileHook hook;
    return hook;
}

const int VolumeStep = 5;
// Search results per imported entry that are resolved when none carries its name.
const int CandidatesPerEntry = 5;
const int ResolveTimeoutMs = 15000;

// Whether typing goes to the widget: there the space key types a space instead of playing.
bool takesText(const QWidget *widget)
{
    if (!widget)
        return false;
    if (const auto *edit = qobject_cast<const QLineEdit *>(widget))
        return !edit->isReadOnly();
    if (const auto *edit = qobject_cast<const QTextEdit *>(widget))
        return !edit->isReadOnly();
    if (const auto *edit = qobject_cast<const QPlainTextEdit *>(widget))
        return !edit->isReadOnly();
    if (const auto *box = qobject_cast<const QComboBox *>(widget))
        return box->isEditable();
    return qobject_cast<const QAbstractSpinBox *>(widget) != nullptr;
}

// Whether the widget acts on the space key itself (typing, pressing a button, opening a box); in
// lists and everywhere else the key plays or stops.
bool keepsSpace(const QWidget *widget)
{
    return takesText(widget) || qobject_cast<const QAbstractButton *>(widget) ||
           qobject_cast<const QComboBox *>(widget);
}

ExportFiles::Format formatOf(const QString &path)
{
    return path.endsWith(QLatin1String(".xspf"), Qt::CaseInsensitive) ? ExportFiles::Format::XSPF
                                                                      : ExportFiles::Format::M3U;
}

} // namespace

// ---- the window's part ----------------------------------------------------------------------------

void TunoraDE::setupDesktop()
{
    m_desktop = new WindowDesktop(this);
}

// ---- set-up ---------------------------------------------------------------------------------------

void WindowDesktop::setSleepTimerClock(SleepTimer::Clock clock)
{
    sleepClock() = std::move(clock);
}

void WindowDesktop::setFileHook(FileHook hook)
{
    fileHook() = std::move(hook);
}

WindowDesktop::WindowDesktop(TunoraDE *window)
    : QObject(window)
    , m_window(window)
    , m_notifier(new DesktopNotifier(QDBusConnection::sessionBus(), this))
    , m_sleepTimer(new SleepTimer(this, sleepClock()))
{
    setObjectName(QStringLiteral("windowDesktop"));
    setupActions();
    setupSleepTimer();
    setupAccessibility();

    // Connected after the window's own handlers: the window has taken the new song in already.
    connect(window->channel(), &BASS::BassQt::sig_bassEvent, this, [this](BASS::BassQt *, uint msg, uint) {
        if (msg == BASS::EventTitleChanged)
            songAccepted(true);
    });
    connect(window->channel(), &BASS::BassQt::sig_coverArtReady, this,
            [this](BASS::BassQt *, BASS::CoverArt::coverArtType type) {
                if (type == BASS::CoverArt::ImageReady || type == BASS::CoverArt::LookupEnded)
                    coverArrived();
            });
    // The first song of a station arrives with the connection, not as a change of title.
    connect(window, &TunoraDE::signal_stateChanged, this, [this](int state) {
        if (state == BASS::Stream::StatePlaying)
            songAccepted(false);
        updateTray();
    });

    // The settings page is made when first shown: its desktop group is followed from then on.
    const auto followSettings = [this](Settings *panel) {
        if (auto *group = panel ? panel->findChild<DesktopSettings *>() : nullptr)
            connect(group, &DesktopSettings::signal_changed, this, &WindowDesktop::applySettings);
    };
    if (!window->m_pendingPages.contains(TunoraDE::PageSettings))
        followSettings(window->m_settingsPage);
    connect(window, &TunoraDE::signal_pageMade, this, [this, followSettings](int position) {
        if (position == TunoraDE::PageSettings)
            followSettings(m_window->m_settingsPage);
    });
    // The window's close and the key-override events of its controls (see eventFilter).
    qApp->installEventFilter(this);
    applyProxy(ProxySetting::load());
    applySettings();
}

void WindowDesktop::setupActions()
{
    TunoraDE *w = m_window;
    const auto makeAction = [w](const char *name, const QString &text, const QKeySequence &key,
                                const QString &tip) {
        auto *action = new QAction(text, w);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        action->setToolTip(tip);
        action->setStatusTip(tip);
        w->addAction(action);
        return action;
    };
    m_playAction = makeAction("actionPlayStop", tr("Play/Stop"), QKeySequence(Qt::Key_Space),
                              tr("Plays the current station or stops it"));
    QAction *search = makeAction("actionFindStation", tr("Search"), QKeySequence(Qt::CTRL | Qt::Key_F),
                                 tr("Moves to the search box"));
    QAction *mute = makeAction("actionMute", tr("Mute"), QKeySequence(Qt::CTRL | Qt::Key_M),
                               tr("Turns the sound off or on again"));
    QAction *louder = makeAction("actionVolumeUp", tr("Louder"), QKeySequence(Qt::CTRL | Qt::Key_Up),
                                 tr("Raises the volume"));
    QAction *softer = makeAction("actionVolumeDown", tr("Softer"), QKeySequence(Qt::CTRL | Qt::Key_Down),
                                 tr("Lowers the volume"));
    QAction *favorite =
        makeAction("actionFavoriteStation", tr("Add to Favorites"), QKeySequence(Qt::CTRL | Qt::Key_D),
                   tr("Adds the selected station to the favorites"));
    connect(m_playAction, &QAction::triggered, this, &WindowDesktop::togglePlay);
    connect(search, &QAction::triggered, w, [w] {
        w->teSearch->setFocus(Qt::ShortcutFocusReason);
        w->teSearch->selectAll();
    });
    connect(mute, &QAction::triggered, w, &TunoraDE::slot_muteVolume);
    connect(louder, &QAction::triggered, this, [this] { changeVolume(VolumeStep); });
    connect(softer, &QAction::triggered, this, [this] { changeVolume(-VolumeStep); });
    connect(favorite, &QAction::triggered, this, &WindowDesktop::favoriteSelected);

    // Help (F1) from the Help menu; the window's form keeps the action outside any menu.
    w->menuHelp->insertAction(w->menuHelp->actions().value(0), w->action_Help);
    w->addAction(w->action_Help);

    QMenuBar *bar = static_cast<QMainWindow *>(w)->menuBar();
    auto *playback = new QMenu(tr("&Playback"), bar);
    playback->setObjectName(QStringLiteral("menuPlayback"));
    playback->addActions({m_playAction, mute, louder, softer, favorite});
    m_sleepMenu = new QMenu(tr("Sleep Timer"), playback);
    m_sleepMenu->setObjectName(QStringLiteral("menuSleepTimer"));
    playback->addSeparator();
    playback->addMenu(m_sleepMenu);
    bar->insertMenu(w->menuHelp->menuAction(), playback);

    // Files of favourites and of the wish list, above "Exit".
    QAction *exportFavorites = new QAction(tr("Export Favorites..."), w);
    exportFavorites->setObjectName(QStringLiteral("actionExportFavorites"));
    QAction *importFavorites = new QAction(tr("Import Favorites..."), w);
    importFavorites->setObjectName(QStringLiteral("actionImportFavorites"));
    QAction *exportWishes = new QAction(tr("Export Wish List..."), w);
    exportWishes->setObjectName(QStringLiteral("actionExportWishList"));
    QAction *importWishes = new QAction(tr("Import Wish List..."), w);
    importWishes->setObjectName(QStringLiteral("actionImportWishList"));
    w->menuFile->insertActions(w->actionExit, {exportFavorites, importFavorites, exportWishes, importWishes});
    w->menuFile->insertSeparator(w->actionExit);
    connect(exportFavorites, &QAction::triggered, this, &WindowDesktop::askExportFavorites);
    connect(importFavorites, &QAction::triggered, this, &WindowDesktop::askImportFavorites);
    connect(exportWishes, &QAction::triggered, this, &WindowDesktop::askExportWishList);
    connect(importWishes, &QAction::triggered, this, &WindowDesktop::askImportWishList);

    // Quitting closes the window for good, also when closing would only hide it in the tray.
    disconnect(w->actionExit, &QAction::triggered, qApp, nullptr);
    connect(w->actionExit, &QAction::triggered, this, [this] {
        m_quitting = true;
        QCoreApplication::quit();
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { m_quitting = true; });
}

void WindowDesktop::setupSleepTimer()
{
    m_sleepGroup = new QActionGroup(this);
    const auto add = [this](const QString &text, const std::function<void()> &start) {
        QAction *action = m_sleepMenu->addAction(text);
        action->setCheckable(true);
        m_sleepGroup->addAction(action);
        connect(action, &QAction::triggered, this, start);
        return action;
    };
    for (const int minutes : SleepTimer::offeredMinutes())
        add(tr("%1 minutes").arg(minutes), [this, minutes] {
            m_sleepTimer->startMinutes(minutes);
            m_window->showStatus(tr("Playback stops in %1 minutes").arg(minutes));
        });
    add(tr("At the end of this song"), [this] {
        m_sleepTimer->startEndOfSong();
        m_window->showStatus(tr("Playback stops at the end of this song"));
    });
    m_sleepMenu->addSeparator();
    m_sleepOff = add(tr("Off"), [this] { m_sleepTimer->cancel(); });
    m_sleepOff->setChecked(true);

    connect(m_sleepTimer, &SleepTimer::signal_fade, this, [this](int percent) {
        // A listener who muted before the fade, or changed the volume during it, keeps that.
        const int current = BASS::GetMasterVolume();
        if (m_fadeLevel < 0 ? BASS::IsMasterMuted() : current != m_fadeLevel) {
            m_fadeLevel = -1;
            return;
        }
        const int level = m_window->sldVolume->value() * percent / 100;
        BASS::SetMasterVolume(level);
        m_fadeLevel = percent < 100 ? level : -1;
    });
    connect(m_sleepTimer, &SleepTimer::signal_expired, this, [this] {
        m_window->stop(true);
        m_window->showStatus(tr("Sleep timer: playback stopped"));
    });
    connect(m_sleepTimer, &SleepTimer::signal_activeChanged, this, [this](bool active) {
        if (!active)
            m_sleepOff->setChecked(true);
    });
}

void WindowDesktop::setupAccessibility()
{
    TunoraDE *w = m_window;
    w->btPlay->setAccessibleName(tr("Play"));
    w->btPlay->setAccessibleDescription(tr("Plays the current station or stops it (Space)"));
    w->sldVolume->setAccessibleName(tr("Volume"));
    w->sldVolume->setAccessibleDescription(tr("Volume of the player (Ctrl+Up, Ctrl+Down)"));
    w->lblCoverArt->setAccessibleName(tr("Album cover"));
    w->lblCoverArt->setAccessibleDescription(tr("The cover of the song playing; click it to enlarge"));
    w->teSearch->setAccessibleName(tr("Search"));
    w->teSearch->setAccessibleDescription(tr("Searches stations or what they play (Ctrl+F)"));
    w->btSearch->setAccessibleName(tr("Search options"));
    w->twRadio->setAccessibleName(tr("Sections"));
    w->twRadio->setAccessibleDescription(tr("Favorites, wish list, regions, genres, history and more"));
    w->swStations->setAccessibleName(tr("Stations"));
    w->lblInfo->setAccessibleName(tr("News"));
    for (int n : {1, 3, 4, 5, 6}) {
        if (QWidget *list = w->madeStationList(n); list && list->accessibleName().isEmpty())
            list->setAccessibleName(tr("Stations"));
    }
    // The play button's name follows what it does now.
    connect(w, &TunoraDE::signal_stateChanged, this, [w](int state) {
        const bool stops = state == BASS::Stream::StatePlaying || state == BASS::Stream::StateConnecting;
        w->btPlay->setAccessibleName(stops ? tr("Stop") : tr("Play"));
    });

    // Reading order: the player controls, then search, sections and the page. Set once the
    // constructor is through, so that controls other parts add to the window are in place.
    QMetaObject::invokeMethod(
        this,
        [w] {
            QList<QWidget *> order{w->btPlay};
            if (auto *record = w->findChild<QWidget *>(QStringLiteral("btRecord")))
                order << record;
            order << w->sldVolume << w->teSearch << w->btSearch << w->twRadio;
            for (int i = 1; i < order.size(); ++i)
                QWidget::setTabOrder(order.at(i - 1), order.at(i));
        },
        Qt::QueuedConnection);
}

void WindowDesktop::applySettings()
{
    m_notifier->setEnabled(DesktopSettings::notificationsEnabled());
    const bool tray = DesktopSettings::trayIconEnabled() && m_window;
    if (tray && !m_trayIcon) {
        m_trayIcon = new QSystemTrayIcon(QApplication::windowIcon(), this);
        m_trayIcon->setObjectName(QStringLiteral("trayIcon"));
        if (m_trayIcon->icon().isNull())
            m_trayIcon->setIcon(QIcon(QStringLiteral(":/TunoraDE/Resources/tn_icon32.png")));
        m_trayMenu = new QMenu(m_window);
        m_trayMenu->setObjectName(QStringLiteral("menuTray"));
        m_trayShow = m_trayMenu->addAction(tr("Show Tunora Player"), this, &WindowDesktop::showWindow);
        m_trayMenu->addAction(m_playAction);
        m_trayMenu->addMenu(m_sleepMenu);
        m_trayMenu->addSeparator();
        m_trayMenu->addAction(m_window->actionExit);
        m_trayIcon->setContextMenu(m_trayMenu);
        connect(m_trayIcon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason != QSystemTrayIcon::Trigger)
                        return;
                    if (m_window->isVisible() && !m_window->isMinimized()) {
                        m_window->hide();
                        m_hiddenInTray = true;
                    } else {
                        showWindow();
                    }
                });
    }
    if (m_trayIcon) {
        m_trayIcon->setVisible(tray);
        updateTray();
    }
    // Without a tray icon a window hidden in the tray could not come back.
    if (!tray && m_hiddenInTray)
        showWindow();
}

// ---- arguments --------------------------------------------------------------------------------------

bool WindowDesktop::openArguments(const QStringList &arguments)
{
    showWindow();
    QList<LaunchArguments::Refusal> refused;
    const QList<BASS::Station> stations = LaunchArguments::stations(arguments, &refused);
    if (!refused.isEmpty()) {
        const LaunchArguments::Refusal &first = refused.first();
        m_window->showStatus(tr("Not played: %1 (%2)").arg(first.argument.left(80), first.reason));
    }
    if (stations.isEmpty())
        return false;
    // What was asked for now replaces the station the start-up would play.
    m_window->m_argumentsPlayed = true;
    m_window->playStation(stations.first());
    return true;
}

void WindowDesktop::showWindow()
{
    m_hiddenInTray = false;
    m_window->show();
    m_window->setWindowState((m_window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m_window->raise();
    m_window->activateWindow();
}

bool WindowDesktop::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // Accepted here, the space key goes to the control with the focus instead of playing.
        const auto *key = static_cast<QKeyEvent *>(event);
        auto *widget = qobject_cast<QWidget *>(watched);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier && widget &&
            widget != m_window->btPlay && widget->window() == m_window && keepsSpace(widget)) {
            event->accept();
            return true;
        }
        return false;
    }
    if (watched == m_window && event->type() == QEvent::Close && !m_quitting && m_trayIcon &&
        m_trayIcon->isVisible() && DesktopSettings::closeToTrayEnabled()) {
        event->ignore();
        m_window->hide();
        m_hiddenInTray = true;
        return true;
    }
    return QObject::eventFilter(watched, event);
}

// ---- songs --------------------------------------------------------------------------------------

void WindowDesktop::songAccepted(bool titleChanged)
{
    // A sleep timer waiting for the end of the song hears of a new title, not of a connection.
    if (titleChanged)
        m_sleepTimer->songChanged();
    const TunoraDE::Track &track = m_window->currentTrack();
    if (!track.isEmpty()) {
        m_notifier->songAccepted(track.song.artist(), track.song.title(), m_window->station().name(),
                                 track.cover);
    }
    updateTray();
}

void WindowDesktop::coverArrived()
{
    const TunoraDE::Track &track = m_window->currentTrack();
    if (!track.isEmpty() && track.hasCover())
        m_notifier->coverArrived(track.song.artist(), track.song.title(), track.cover);
}

void WindowDesktop::updateTray()
{
    const int state = m_window->channel()->State();
    const bool playing = state == BASS::Stream::StatePlaying || state == BASS::Stream::StateConnecting ||
                         state == BASS::Stream::StateDownloading;
    m_playAction->setText(playing ? tr("Stop") : tr("Play"));
    if (!m_trayIcon)
        return;
    QString tip = tr("Tunora Player");
    const TunoraDE::Track &track = m_window->currentTrack();
    if (playing && !m_window->station().name().isEmpty())
        tip += QLatin1Char('\n') + m_window->station().name();
    if (playing && !track.isEmpty())
        tip += QLatin1Char('\n') + track.description();
    m_trayIcon->setToolTip(tip);
}

// ---- keyboard -----------------------------------------------------------------------------------

void WindowDesktop::togglePlay()
{
    // A text field takes its keys before the shortcut sees them; this is the guard for fields that
    // let the key through.
    if (takesText(QApplication::focusWidget()))
        return;
    m_window->slot_connectStation();
}

void WindowDesktop::changeVolume(int step)
{
    QSlider *slider = m_window->sldVolume;
    slider->setValue(qBound(slider->minimum(), slider->value() + step, slider->maximum()));
}

void WindowDesktop::favoriteSelected()
{
    TreeStationWidget *list = m_window->currentStationList();
    if (!list || !list->currentItem() || !list->stationOf(list->currentItem())) {
        m_window->showStatus(tr("Select a station first"));
        return;
    }
    QTreeWidgetItem *before = list->contextRow();
    list->setContextRow(list->currentItem());
    list->slot_addFavorite();
    list->setContextRow(before);
}

// ---- files --------------------------------------------------------------------------------------

QString WindowDesktop::askFile(bool save, const QString &filter)
{
    if (fileHook())
        return fileHook()(save, filter);
    const QString folder = QDir::homePath();
    return save ? QFileDialog::getSaveFileName(m_window, tr("Export"), folder, filter)
                : QFileDialog::getOpenFileName(m_window, tr("Import"), folder, filter);
}

void WindowDesktop::askExportFavorites()
{
    QString path = askFile(true, tr("Playlists (*.m3u *.xspf)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1String(".m3u");
    exportFavorites(path);
}

void WindowDesktop::askImportFavorites()
{
    const QString path = askFile(false, tr("Playlists (*.m3u *.m3u8 *.xspf *.pls)"));
    if (!path.isEmpty())
        importFavorites(path);
}

void WindowDesktop::askExportWishList()
{
    QString path = askFile(true, tr("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1String(".csv");
    QString error;
    if (exportWishList(path, &error))
        m_window->showStatus(tr("Wish list exported to %1").arg(path));
    else
        TunoraDE::warning(error);
}

void WindowDesktop::askImportWishList()
{
    const QString path = askFile(false, tr("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString report;
    if (importWishList(path, &report))
        TunoraDE::information(report);
    else
        TunoraDE::warning(report);
}

bool WindowDesktop::exportWishList(const QString &path, QString *error)
{
    QList<ExportFiles::WishRow> rows;
    for (const BASS::TrackPtr &track : m_window->trackLists()->wishList()) {
        if (track && !track->isEmpty())
            rows.append(
                {track->trackName(), track->trackStation(), track->trackDateTime(), track->trackURL()});
    }
    return ExportFiles::saveFile(path, ExportFiles::writeWishList(rows), error);
}

bool WindowDesktop::importWishList(const QString &path, QString *report)
{
    TrackLists *lists = m_window->trackLists();
    if (lists->wishListPath().isEmpty()) {
        *report = tr("Sign in first: the wish list belongs to your account.");
        return false;
    }
    QByteArray data;
    QList<ExportFiles::WishRow> rows;
    int skipped = 0;
    QString error;
    if (!ExportFiles::loadFile(path, data, &error) ||
        !ExportFiles::readWishList(data, rows, &skipped, &error)) {
        *report = error;
        return false;
    }
    BASS::TrackMap map = lists->wishList();
    int added = 0;
    for (const ExportFiles::WishRow &row : std::as_const(rows)) {
        const bool known = std::any_of(map.cbegin(), map.cend(), [&row](const BASS::TrackPtr &track) {
            return track && track->trackName() == row.artistAndTitle && track->trackStation() == row.station;
        });
        if (known)
            continue;
        auto track = BASS::TrackPtr::create();
        track->setTrackName(row.artistAndTitle);
        track->setTrackStation(row.station);
        track->setTrackDateTime(row.time);
        track->setTrackURL(row.link);
        track->setWishListed(true);
        const quint32 id = BASS::uniqueId(
            BASS::TrackInfo::hashId(row.artistAndTitle + row.time.toString(Qt::ISODate)), {}, map);
        track->setTrackId(id);
        map.insert(id, track);
        ++added;
    }
    if (added > 0) {
        if (!BASS::saveWishList(lists->wishListPath(), map, &error)) {
            *report = error;
            return false;
        }
        lists->loadWishList(lists->wishListPath());
    }
    *report = tr("Songs added to the wish list: %1.").arg(added);
    if (skipped > 0)
        *report += QLatin1Char(' ') + tr("Lines that could not be read: %1.").arg(skipped);
    return true;
}

TunoraAPI *WindowDesktop::transferApi()
{
    if (!m_transferApi) {
        m_transferApi = new TunoraAPI(this);
        connect(m_transferApi, &BASS::BaseRadioAPI::signal_stationFound, this, &WindowDesktop::stationFound);
        connect(m_transferApi, &BASS::BaseRadioAPI::signal_requestFinished, this, [this](int id, bool error) {
            if (id == 0 || id != m_transferRequest)
                return;
            m_transferRequest = 0;
            switch (m_transfer) {
            case Transfer::Export:
                if (error)
                    finishFavorites(false, tr("The favorites could not be read from the directory."));
                else
                    startResolving();
                return;
            case Transfer::ImportSearch:
                nextImportSearch();
                return;
            case Transfer::ImportAdd:
                if (!error)
                    ++m_added;
                nextFavoriteAdd();
                return;
            case Transfer::Resolve:
            case Transfer::None:
                return;
            }
        });
    }
    QString member, password;
    AppSettings::instance().credentials(member, password);
    m_transferApi->setCredentials(member, password);
    return m_transferApi;
}

void WindowDesktop::stationFound(const BASS::Station *station)
{
    if (!station || station->streams().isEmpty() || m_found.size() >= ExportFiles::MaxEntries)
        return;
    if (m_transfer == Transfer::Export) {
        m_found.append(*station);
        return;
    }
    if (m_transfer != Transfer::ImportSearch || m_entryIndex < 1)
        return;
    // Of the search results for one entry only a few are worth resolving: those with the entry's
    // name, else the first ones.
    const QString name = m_entries.at(m_entryIndex - 1).name.trimmed();
    const bool sameName =
        !name.isEmpty() && station->name().trimmed().compare(name, Qt::CaseInsensitive) == 0;
    const bool known = std::any_of(m_found.cbegin(), m_found.cend(),
                                   [station](const BASS::Station &s) { return s.id() == station->id(); });
    if (known)
        return;
    if (sameName || m_searchResults < CandidatesPerEntry)
        m_found.append(*station);
    ++m_searchResults;
}

bool WindowDesktop::isDirectoryLink(const QString &address) const
{
    // The directory hands out its own listen links; they answer with a playlist of the station's
    // real stream addresses.
    const QUrl url(address);
    const QUrl root(m_transferApi ? m_transferApi->serviceRoot() : QString());
    return url.isValid() && root.isValid() && url.scheme().compare(root.scheme(), Qt::CaseInsensitive) == 0 &&
           url.host().compare(root.host(), Qt::CaseInsensitive) == 0 && url.port(443) == root.port(443) &&
           url.path().startsWith(root.path() + QLatin1String("stream/listen/"));
}

void WindowDesktop::startResolving()
{
    m_resumeAfterResolve = m_transfer;
    m_transfer = Transfer::Resolve;
    m_resolved.clear();
    if (!m_http) {
        m_http = new BASS::QHttpExt(this);
        m_http->setMaxSize(LaunchArguments::MaxPlaylistBytes);
        m_http->setTimeout(ResolveTimeoutMs);
        connect(m_http, &BASS::QHttpExt::sig_Ready, this, [this](const BASS::QHttpExt::httpInfo *info) {
            if (m_transfer != Transfer::Resolve || !info || info->id != m_httpId)
                return;
            m_httpId = 0;
            m_resolved.append(info->failed ? QStringList()
                                           : BASS::PlaylistResolution::streamAddresses(info->text));
            nextResolve();
        });
    }
    nextResolve();
}

void WindowDesktop::nextResolve()
{
    while (m_resolved.size() < m_found.size()) {
        const QString address = m_found.at(m_resolved.size()).firstStreamUrl();
        if (!isDirectoryLink(address)) {
            m_resolved.append(QStringList{address});
            continue;
        }
        // The listener's listen token stays out of the request: resolving is not listening.
        QUrl url(address);
        QUrlQuery query(url);
        query.removeAllQueryItems(QStringLiteral("t"));
        url.setQuery(query);
        m_httpId = m_http->get(url.toString(QUrl::FullyEncoded));
        if (m_httpId != 0)
            return;
        m_resolved.append(QStringList());
    }
    // Each station with the addresses its link lists.
    QList<BASS::Station> stations;
    for (int i = 0; i < m_found.size(); ++i) {
        BASS::Station station;
        station.setId(m_found.at(i).id());
        station.setName(m_found.at(i).name());
        for (const QString &address : m_resolved.at(i)) {
            BASS::StationStream stream;
            stream.url = address;
            station.addStream(stream, station.streams().isEmpty());
        }
        stations.append(station);
    }
    m_transfer = m_resumeAfterResolve;
    if (m_transfer == Transfer::Export) {
        const QList<ExportFiles::StationEntry> entries = ExportFiles::entriesOf(stations);
        QString saveError;
        if (ExportFiles::saveFile(m_transferPath,
                                  ExportFiles::writeStations(entries, formatOf(m_transferPath)), &saveError))
            finishFavorites(true, tr("Favorites exported to %1: %2").arg(m_transferPath).arg(entries.size()));
        else
            finishFavorites(false, saveError);
        return;
    }
    m_match = ExportFiles::matchStations(m_entries, stations);
    m_transfer = Transfer::ImportAdd;
    m_entryIndex = 0;
    nextFavoriteAdd();
}

void WindowDesktop::exportFavorites(const QString &path)
{
    if (m_transfer != Transfer::None) {
        emit signal_favoritesDone(false, tr("Another transfer of favorites is under way."));
        return;
    }
    m_transfer = Transfer::Export;
    m_transferPath = path;
    m_found.clear();
    m_transferRequest = transferApi()->requestFavorites();
    if (m_transferRequest == 0)
        finishFavorites(false, tr("The favorites could not be read from the directory."));
}

void WindowDesktop::importFavorites(const QString &path)
{
    if (m_transfer != Transfer::None) {
        emit signal_favoritesDone(false, tr("Another transfer of favorites is under way."));
        return;
    }
    QByteArray data;
    QString error;
    m_entries.clear();
    m_skipped = 0;
    if (!ExportFiles::loadFile(path, data, &error) ||
        !ExportFiles::readStations(data, m_entries, &m_skipped, &error)) {
        emit signal_favoritesDone(false, error);
        return;
    }
    m_transfer = Transfer::ImportSearch;
    m_transferPath = path;
    m_found.clear();
    m_entryIndex = 0;
    m_added = 0;
    nextImportSearch();
}

void WindowDesktop::nextImportSearch()
{
    // Each entry is looked up by its name (by its host when it has none); the stations found are
    // matched by stream address once every entry was looked up.
    while (m_entryIndex < m_entries.size()) {
        const ExportFiles::StationEntry &entry = m_entries.at(m_entryIndex++);
        const QString text = entry.name.trimmed().isEmpty() ? QUrl(entry.url).host() : entry.name;
        m_searchResults = 0;
        m_transferRequest = transferApi()->searchStations(text, 0);
        if (m_transferRequest != 0)
            return;
    }
    startResolving();
}

void WindowDesktop::nextFavoriteAdd()
{
    while (m_entryIndex < m_match.stationIds.size()) {
        m_transferRequest = transferApi()->addFavorite(m_match.stationIds.at(m_entryIndex++));
        if (m_transferRequest != 0)
            return;
    }
    QString report = tr("Stations added to the favorites: %1.").arg(m_added);
    if (!m_match.unmatched.isEmpty()) {
        QStringList names;
        for (const ExportFiles::StationEntry &entry : std::as_const(m_match.unmatched))
            names << (entry.name.isEmpty()
                          ? entry.url
                          : entry.name + QStringLiteral(" (") + entry.url + QLatin1Char(')'));
        report +=
            QLatin1Char('\n') + tr("Not found in the directory: %1").arg(names.join(QStringLiteral(", ")));
    }
    if (m_skipped > 0)
        report += QLatin1Char('\n') + tr("Entries left out for want of a usable address: %1.").arg(m_skipped);
    // The favourites list shows the account's new state when it is shown next.
    if (TreeStationWidget *favorites = m_window->madeStationList(1))
        favorites->clearTree();
    finishFavorites(true, report);
}

void WindowDesktop::finishFavorites(bool ok, const QString &report)
{
    // What an import could not match is worth a box; an export's success fits the status line.
    const bool box = !ok || m_transfer != Transfer::Export;
    m_transfer = Transfer::None;
    m_transferRequest = 0;
    m_found.clear();
    m_window->showStatus(report.section(QLatin1Char('\n'), 0, 0));
    if (box)
        TunoraDE::message(ok ? BASS::MessageKind::Information : BASS::MessageKind::Warning, report);
    emit signal_favoritesDone(ok, report);
}
