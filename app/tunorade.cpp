#include "tunorade.h"

#include "about.h"
#include "appsettings.h"
#include "bassinit.h"
#include "desktoplinks.h"
#include "mpris.h"
#include "stream.h"
#include "threads.h"
#include "treestationwidget.h"
#include "tunorastream.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QGuiApplication>
#include <QHash>
#include <QInputDialog>
#include <QMovie>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <QWindow>

using BASS::MessageKind;

// While it exists the application shows the busy cursor.
class QOverrideCursorGuard
{
public:
    explicit QOverrideCursorGuard(Qt::CursorShape shape) { QGuiApplication::setOverrideCursor(shape); }
    ~QOverrideCursorGuard() { QGuiApplication::restoreOverrideCursor(); }
    QOverrideCursorGuard(const QOverrideCursorGuard &) = delete;
    QOverrideCursorGuard &operator=(const QOverrideCursorGuard &) = delete;
};

namespace {

const QString ResourceRoot = QStringLiteral(":/TunoraDE/Resources/");
const QString RecentAddressesKey = QStringLiteral("RecentURLs");

TunoraDE::MessageHook &messageHook()
{
    static TunoraDE::MessageHook hook;
    return hook;
}

QHash<int, TunoraDE::PageFactory> &pageFactories()
{
    static QHash<int, TunoraDE::PageFactory> factories;
    return factories;
}

// Calls `then` once, after the first exposure of `window` was handled: after its first frame.
class FirstFrameWatch : public QObject
{
public:
    FirstFrameWatch(QWindow *window, std::function<void()> then)
        : QObject(window)
        , m_then(std::move(then))
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                m_then();
                deleteLater();
            });
        }
        return false;
    }

private:
    std::function<void()> m_then;
};

bool sameAlbum(const BASS::AlbumInfo &a, const BASS::AlbumInfo &b)
{
    return a.imageUrl() == b.imageUrl() && a.title == b.title && a.artist == b.artist && a.text == b.text;
}

} // namespace

TunoraDE *TunoraDE::s_instance = nullptr;

void TunoraDE::setPageFactory(PagePosition position, PageFactory factory)
{
    pageFactories().insert(int(position), std::move(factory));
}

void TunoraDE::setMessageHook(MessageHook hook)
{
    messageHook() = std::move(hook);
}

int TunoraDE::message(MessageKind kind, const QString &text, QMessageBox::StandardButtons buttons)
{
    const QString title = tr("Tunora Player");
    if (messageHook())
        return messageHook()(kind, title, text, buttons);
    return BASS::showMessageBox(s_instance, kind, title, text, buttons, Qt::AutoText);
}

bool TunoraDE::question(const QString &text)
{
    return message(MessageKind::Question, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

TunoraDE::TunoraDE(QWidget *parent, int audioDevice)
    : QMainWindow(parent)
{
    setInstance(this);
    AppSettings &settings = AppSettings::instance();

    QFont appFont(QStringLiteral("Tahoma"), 9);
    settings.loadAppFont(appFont);
    QApplication::setFont(appFont);

    // Account start-up. Without credentials the sign-in dialog is offered; account details are
    // asked for only with credentials (without them the directory can only refuse).
    QString member, password;
    settings.credentials(member, password);
    if (!member.isEmpty() || !password.isEmpty()) {
        m_api.setCredentials(member, password);
        setWindowTitle(tr("Tunora Player"));
    }
    // With the language dialog ahead, the directory's languages are asked for before it opens;
    // otherwise the start-up requests wait until the window is built (below), so that the
    // reading of the system's certificate store they may need runs meanwhile on its worker.
    if (languageDialogMayOpen())
        requestStartData();

    startLanguage();
    setupUi(this);
    teSearch->setHint(tr("Search Stations or What's Playing"));
    DesktopLinks::setStatusHook([](const QString &text) {
        if (s_instance)
            s_instance->showStatus(text);
    });
    m_normalStyle = lblLastPlaying->styleSheet();
    m_highlightStyle = lblNowPlaying->styleSheet();

    // The playback objects.
    m_channel = std::make_shared<TunoraStream>();
    m_connectThread = new BASS::QtBassConnectThread(m_channel.get(), this);
    m_busyMovie = new QMovie(ResourceRoot + QStringLiteral("busy.gif"), QByteArray(), this);
    m_waitMovie = new QMovie(ResourceRoot + QStringLiteral("wait.gif"), QByteArray(), this);
    m_defaultCover = QPixmap(ResourceRoot + QStringLiteral("tn_icon128.png"));
    connect(m_channel.get(), &BASS::BassQt::sig_bassEvent, this, &TunoraDE::slot_bassEvent);
    connect(m_connectThread, &BASS::QtBassConnectThread::signal_Finished, this,
            &TunoraDE::slot_bassConnectFinished);
    connect(m_channel.get(), &BASS::Stream::sig_StreamReady, this, &TunoraDE::slot_TNStreamReady);
    connect(m_channel.get(), &BASS::Stream::sig_StreamResolved, this, &TunoraDE::slot_TNStreamResolved);
    connect(m_channel.get(), &BASS::Stream::sig_StreamError, this, &TunoraDE::slot_TNStreamError);
    connect(m_channel.get(), &BASS::BassQt::sig_coverArtReady, this, &TunoraDE::slot_coverArtReady);
    connect(m_channel.get(), &BASS::BassQt::sig_coverArtStatusChanged, this,
            &TunoraDE::slot_coverArtStatusChanged);

    // The audio engine starts after the window's first frame (startAudioEngine).
    m_audioDevice = audioDevice;
    sldVolume->setRange(0, 100);
    sldVolume->setTracking(true);
    sldVolume->setValue(qBound(0, settings.volume(), 100));
    sldVolume->setToolTip(tr("%1%").arg(sldVolume->value()));

    setupMpris();

    setupAccount();
    setupWeb();
    setupPages();
    setupNavigation();
    setupRecording();
    setupSiteLink();
    applyAppFont(appFont);
    m_displayTimer = new QTimer(this);
    m_displayTimer->start(DisplayTimerMs);
    m_refreshTimer = new QTimer(this);
    m_refreshTimer->start(RefreshTimerMs);
    // The navigation menu keeps its width; the pages take what the window gains.
    splitterTree->setStretchFactor(0, 0);
    splitterTree->setStretchFactor(1, 1);
    splitterTree->setSizes({220, 780});
    settings.restoreSplitterSizes(splitterTree);
    resize(1000, 700);
    settings.restoreWindowGeometry(this);
    m_playStyle = btPlay->styleSheet();
    m_coverStyle = lblCoverArt->styleSheet();
    resetCover();
    setState(BASS::Stream::StateStopped);

    connect(actionOpen_URL, &QAction::triggered, this, &TunoraDE::slot_openURL);
    connect(actionLogin, &QAction::triggered, this, &TunoraDE::slot_Login);
    connect(actionExit, &QAction::triggered, qApp, &QCoreApplication::quit);
    connect(actionAbout, &QAction::triggered, this, &TunoraDE::slot_About);
    connect(actionSign_out, &QAction::triggered, this, &TunoraDE::slot_SignOut);
    connect(btPlay, &QPushButton::clicked, this, &TunoraDE::slot_playStation);
    connect(sldVolume, &QSlider::valueChanged, this, &TunoraDE::slot_volumeChanged);
    connect(m_displayTimer, &QTimer::timeout, this, &TunoraDE::slot_displayTimerUpdate);
    connect(m_refreshTimer, &QTimer::timeout, this, &TunoraDE::slot_refreshTimerUpdate);
    connect(&m_api, &BASS::BaseRadioAPI::signal_stationFound, this, &TunoraDE::slot_stationFound);
    connect(&m_api, &BASS::BaseRadioAPI::signal_requestFinished, this, &TunoraDE::slot_tnAPIFinished);
    // "Open URL..." sits in no menu; its shortcut reaches it.
    addAction(actionOpen_URL);
    setupDesktop();

    m_recentAddresses = QSettings().value(RecentAddressesKey).toStringList().mid(0, RecentAddressLimit);
    loadStartupStation();

    setWindowTitle(tr("Tunora Player"));
    // Boxes of the directory client and the channel are the window's shared boxes.
    BASS::QHttpExt::settings().messageHook = [](MessageKind kind, const QString &, const QString &text,
                                                QMessageBox::StandardButtons buttons) {
        return message(kind, text, buttons);
    };
    requestStartData();
    show();
    new FirstFrameWatch(windowHandle(), [this] { startAudioEngine(); });

    QTimer::singleShot(StartUpDelayMs, this, &TunoraDE::slot_startUp);
}

void TunoraDE::startAudioEngine()
{
    if (m_audioStarted)
        return;
    m_audioStarted = true;
    // The window still works when the engine does not start.
    m_channel->ConfigureEngine();
    QString engineError;
    if (!BASS::InitAudioEngine(&engineError, 30, true, 0, "Tunora/1.02", nullptr, m_audioDevice))
        critical(tr(qPrintable(engineError)));
    BASS::SetMasterVolume(sldVolume->value());
}

TunoraDE::~TunoraDE()
{
    saveOnShutDown();
    BASS::QHttpExt::settings().messageHook = nullptr;
    DesktopLinks::setStatusHook(nullptr);
    // Nothing the channel reports from here on reaches the half-destroyed window.
    m_channel->disconnect(this);
    m_connectThread->disconnect(this);
    // The thread uses the channel: it ends first.
    m_connectThread->Abort();
    m_connectThread->wait();
    delete m_connectThread;
    m_connectThread = nullptr;
    m_channel->Stop(0);
    BASS::CBass::SetNowPlayingPublisher(nullptr);
    m_channel.reset();
    if (m_audioStarted)
        BASS_Free();
    if (s_instance == this)
        s_instance = nullptr;
}

void TunoraDE::closeEvent(QCloseEvent *event)
{
    saveOnShutDown();
    QMainWindow::closeEvent(event);
}

void TunoraDE::saveOnShutDown()
{
    if (m_saved)
        return;
    m_saved = true;
    AppSettings &settings = AppSettings::instance();
    // The slider holds the level the listener chose, also while the engine is muted.
    settings.setVolume(sldVolume->value());
    settings.saveSplitterSizes(splitterTree, splitterTree->sizes());
    settings.saveWindowGeometry(this);
    saveAccount();
}

void TunoraDE::setupPages()
{
    // The form's placeholders go; every stack position gets its page, or an empty one until the
    // part that builds it is there. Only the start page is made now: the others are made when
    // first shown (or asked for), which keeps their building off the way to the first frame.
    while (swStations->count() > 0) {
        QWidget *page = swStations->widget(0);
        swStations->removeWidget(page);
        delete page;
    }
    const bool welcome = AppSettings::instance().showWelcomePage();
    const int count = welcome ? PageWelcome + 1 : PageCount;
    const int start = welcome ? PageWelcome : PageWishList;
    m_pendingPages.clear();
    for (int position = 0; position < count; ++position) {
        m_pendingPages.insert(position);
        QWidget *page = new QWidget;
        page->setObjectName(QStringLiteral("emptyPage%1").arg(position));
        swStations->addWidget(page);
    }
    // A page shown for the first time is made then; it replaces its placeholder on top of the
    // stack, and the stack reports the change again with the page in place.
    connect(swStations, &QStackedWidget::currentChanged, this, &TunoraDE::makePendingPage,
            Qt::UniqueConnection);
    makePendingPage(start);
    swStations->setCurrentIndex(start);
}

QWidget *TunoraDE::makePendingPage(int position)
{
    if (!m_pendingPages.remove(position))
        return swStations->widget(position);
    QWidget *page = nullptr;
    if (const auto factory = pageFactories().value(position))
        page = factory(this);
    if (!page)
        page = createStationPage(position);
    QWidget *placeholder = swStations->widget(position);
    if (!page)
        return placeholder; // nothing builds this position yet: the empty page stays
    // The font the window gave its pages (applyAppFont) carries over.
    if (placeholder->testAttribute(Qt::WA_SetFont))
        page->setFont(placeholder->font());
    replacePage(position, page);
    emit signal_pageMade(position, page);
    return page;
}

void TunoraDE::setupMpris()
{
    m_mpris = new BASS::MprisPlayer(this);
    BASS::CBass::SetNowPlayingPublisher(m_mpris);
    m_channel->SetMessengerEnabled(true);
    m_mpris->setVolume(sldVolume->value());
    const auto busy = [this] {
        return m_channel->HasChannel() || m_connectThread->isRunning() || m_channel->IsResolving();
    };
    connect(m_mpris, &BASS::MprisPlayer::sig_playPauseRequested, this, &TunoraDE::slot_connectStation);
    connect(m_mpris, &BASS::MprisPlayer::sig_playRequested, this, [this, busy] {
        if (!busy())
            slot_connectStation();
    });
    const auto stopPlaying = [this, busy] {
        if (busy())
            stop(true);
    };
    connect(m_mpris, &BASS::MprisPlayer::sig_pauseRequested, this, stopPlaying);
    connect(m_mpris, &BASS::MprisPlayer::sig_stopRequested, this, stopPlaying);
    connect(m_mpris, &BASS::MprisPlayer::sig_volumeRequested, sldVolume, &QSlider::setValue);
}

void TunoraDE::applyAppFont(const QFont &font)
{
    for (int n = 0; n < swStations->count(); ++n)
        swStations->widget(n)->setFont(font);
    twRadio->setFont(font);
}

void TunoraDE::loadStartupStation()
{
    const QSettings settings;
    const QString url = settings.value(QStringLiteral("StartupStationURL")).toString().trimmed();
    if (url.isEmpty())
        return;
    BASS::Station station;
    station.setId(settings.value(QStringLiteral("StartupStationID")).toString());
    station.setName(settings.value(QStringLiteral("StartupStationName")).toString());
    station.setCountry(settings.value(QStringLiteral("StartupStationCountry")).toString());
    station.setNetwork(settings.value(QStringLiteral("StartupStationNetwork")).toString());
    BASS::StationStream entry;
    entry.url = url;
    station.addStream(entry, true);
    m_station = station;
}

QWidget *TunoraDE::stationPage(int n) const
{
    if (n >= 1 && n <= qMin(swStations->count(), 7))
        const_cast<TunoraDE *>(this)->makePendingPage(n - 1);
    const QString name = QStringLiteral("twStations%1").arg(n);
    for (int i = 0; i < qMin(swStations->count(), 7); ++i) {
        if (swStations->widget(i)->objectName() == name)
            return swStations->widget(i);
    }
    return nullptr;
}

bool TunoraDE::isStreamOpen() const
{
    return m_channel && m_channel->HasChannel();
}

// ---- playing ------------------------------------------------------------------------------------

void TunoraDE::slot_playStation()
{
    slot_connectStation();
}

void TunoraDE::slot_connectStation()
{
    if (QWidget *page = swStations->currentWidget())
        page->setFocus();
    const bool busy =
        isStreamOpen() || m_connectThread->isRunning() || m_channel->IsResolving() || m_connectPending;
    if (busy) {
        stop(true);
        return;
    }
    if (!m_station.firstStreamUrl().isEmpty()) {
        playStation(m_station);
        return;
    }
    // The current row of the current station list, when that list offers one.
    if (TreeStationWidget *list = currentStationList())
        list->slot_playStation();
}

void TunoraDE::playStation(const BASS::Station &station, const BASS::StationStream *entry)
{
    stop(true);
    QString url = entry ? entry->url : QString();
    if (!entry) {
        if (station.streams().isEmpty())
            return;
        url = station.streams().first()->url;
    }
    m_station = station;
    m_channel->SetStation(station);
    connectToUrl(url);
}

void TunoraDE::connectToUrl(const QString &url)
{
    if (m_channel->IsResolving() || url.trimmed().isEmpty())
        return;
    m_busyCursor = std::make_unique<QOverrideCursorGuard>(Qt::BusyCursor);
    lblStationName->clear();
    refreshNowPlaying(false);
    m_readyDepth = 0;
    setState(BASS::Stream::StateDownloading);
    if (!m_channel->ResolveStation(url))
        return; // sig_StreamError said why
    setState(BASS::Stream::StateConnecting);
}

void TunoraDE::startConnect()
{
    startAudioEngine();
    setState(BASS::Stream::StateConnecting);
    // The run abandoned by the last stop is still ending: this one starts after it.
    if (m_connectThread->isRunning()) {
        m_connectPending = true;
        return;
    }
    m_connectThread->start();
}

void TunoraDE::slot_TNStreamResolved(BASS::Stream *stream, const QStringList &urls)
{
    if (stream != m_channel.get() || urls.isEmpty())
        return;
    startConnect();
}

void TunoraDE::slot_TNStreamReady(BASS::Stream *stream, int, const QString &text)
{
    if (stream != m_channel.get())
        return;
    if (text.isEmpty()) {
        endBusy();
        setState(BASS::Stream::StateFailed);
        return;
    }
    const QStringList urls = BASS::PlaylistResolution::streamAddresses(text);
    if (urls.isEmpty()) {
        endBusy();
        showStatus(tr("No stream address found"));
        setState(BASS::Stream::StateFailed);
        return;
    }
    // A playlist that names another playlist is downloaded in turn, a bounded number of times.
    static const QStringList references{QStringLiteral(".pls"), QStringLiteral(".m3u"),
                                        QStringLiteral(".asx"), QStringLiteral(".php")};
    const QString first = urls.first();
    const bool reference = std::any_of(references.begin(), references.end(), [&first](const QString &r) {
        return first.indexOf(r, 1, Qt::CaseInsensitive) > 0;
    });
    if (reference && m_readyDepth < BASS::PlaylistResolution::MaxNesting) {
        ++m_readyDepth;
        m_channel->RequestURLs(first, true);
        return;
    }
    m_channel->SetUrls(urls);
    startConnect();
}

void TunoraDE::slot_TNStreamError(BASS::Stream *stream, int, const QString &message)
{
    if (stream != m_channel.get())
        return;
    endBusy();
    // The attempt is over: the button offers Play again.
    setState(BASS::Stream::StateFailed);
    if (!message.isEmpty())
        showStatus(message);
}

void TunoraDE::endBusy()
{
    m_busyCursor.reset();
    lblTrackHistory->clear();
    refreshTrackHistoryLabel();
}

void TunoraDE::slot_bassConnectFinished()
{
    if (m_abandonedRuns > 0) {
        // The end of a run given up by stop(); what was asked for since is under way already.
        --m_abandonedRuns;
        // A run that had already opened its stream when the abort came leaves it open.
        if (isStreamOpen())
            m_channel->Stop(0);
        if (m_abandonedRuns == 0 && m_connectPending) {
            m_connectPending = false;
            m_connectThread->start();
        }
        return;
    }
    endBusy();
    if (isStreamOpen()) {
        refreshNowPlaying(true);
        setState(BASS::Stream::StatePlaying);
        // The history list shows the directory's history: it is read again when shown next
        // (or now, when it is the page in view).
        if (TreeStationWidget *history = madeStationList(5); history && !m_station.id().isEmpty()) {
            if (swStations->currentWidget() == history)
                history->loadHistory();
            else
                history->clearTree();
        }
        AppSettings::instance().saveStartupStation(m_station);
    } else if (m_connectThread->WasAborted()) {
        setState(BASS::Stream::StateStopped);
    } else {
        showStatus(m_channel->GetErrorText());
        setState(BASS::Stream::StateFailed);
    }
}

void TunoraDE::setState(qint32 state)
{
    m_channel->SetState(state);
    emit signal_stateChanged(state);
    if (state == BASS::Stream::StateStopped || state == BASS::Stream::StatePlaying)
        updatePlayingMarkers(state);
    if (state == BASS::Stream::StateConnecting)
        lblTrackHistory->setText(tr("Connecting") + tr("..."));
    else if (state == BASS::Stream::StateDownloading)
        lblTrackHistory->setText(tr("Downloading") + tr("..."));
    const bool stopLook = state == BASS::Stream::StatePlaying || state == BASS::Stream::StateConnecting;
    btPlay->setToolTip(stopLook ? tr("Stop") : tr("Play"));
    QString style = m_playStyle;
    if (stopLook)
        style.replace(QLatin1String("play"), QLatin1String("stop"));
    btPlay->setStyleSheet(style);
    if (state == BASS::Stream::StatePlaying)
        m_mpris->setPlaybackStatus(BASS::MprisPlayer::Status::Playing);
    else if (state != BASS::Stream::StateConnecting && state != BASS::Stream::StateDownloading)
        m_mpris->setPlaybackStatus(BASS::MprisPlayer::Status::Stopped);
}

void TunoraDE::stop(bool clearDisplay)
{
    if (!m_channel)
        return;
    m_busyCursor.reset();
    m_connectPending = false;
    m_channel->AbortRequests();
    if (m_connectThread->isRunning()) {
        // The run gives up within one engine call and frees what it opened; its end is awaited
        // by slot_bassConnectFinished, never here, so the window stays responsive.
        // Counted once per run: a run already given up is not counted again. (The last ended
        // run's outcome says nothing about this one.)
        const QOverrideCursorGuard wait(Qt::WaitCursor);
        if (!m_connectThread->AbortRequested())
            ++m_abandonedRuns;
        m_connectThread->Abort();
    } else if (isStreamOpen()) {
        m_channel->Stop(StopFadeMs);
    }
    setState(BASS::Stream::StateStopped);
    if (clearDisplay) {
        m_currentTrack.clear();
        resetCover();
        lblNowPlaying->clear();
        lblLastPlaying->clear();
        lblTrackHistory->clear();
        // The channel forgets the last title (a run still ending is left to finish first).
        if (!m_connectThread->isRunning())
            m_channel->Reset();
    }
}

// ---- playback events ----------------------------------------------------------------------------

void TunoraDE::slot_bassEvent(BASS::BassQt *stream, uint msg, uint param)
{
    if (stream != m_channel.get())
        return;
    // Notifications of an abandoned run may arrive after the next attempt began.
    const bool attemptUnderWay = m_connectThread->isRunning() || m_channel->IsResolving() || m_connectPending;
    switch (msg) {
    case BASS::EventStallChanged:
        lblTrackHistory->setText(param == 0 ? tr("Buffering") : m_savedStatusText);
        break;
    case BASS::EventTitleChanged:
        if (!m_currentTrack.isEmpty()) {
            m_lastTrack = m_currentTrack;
            lblLastPlaying->setText(tr("Last played") + QStringLiteral(": ") + m_lastTrack.description());
        }
        m_currentTrack.clear();
        resetCover();
        lblNowPlaying->clear();
        refreshNowPlaying(true);
        m_channel->DownloadAlbumInfo();
        m_channel->ReportNowPlaying();
        break;
    case BASS::EventStreamEnded:
        stop(true);
        showStatus(tr("Station Timed Out!"));
        break;
    case BASS::EventDeviceLost:
        // The engine keeps the channel and plays on by itself once the sound server is back.
        showStatus(param == 0 ? tr("The sound output was lost; playback goes on when it is back.")
                              : tr("The sound output is back."));
        break;
    case BASS::EventConnecting:
        if (m_connectThread->isRunning() && m_abandonedRuns == 0)
            setState(BASS::Stream::StateConnecting);
        break;
    case BASS::EventPlaying:
        if (isStreamOpen() && m_abandonedRuns == 0) {
            setState(BASS::Stream::StatePlaying);
            refreshNowPlaying(false);
            refreshTrackHistoryLabel();
        }
        break;
    case BASS::EventStopped:
        if (!attemptUnderWay && !isStreamOpen())
            setState(BASS::Stream::StateStopped);
        break;
    default:
        break;
    }
}

void TunoraDE::refreshNowPlaying(bool withTitle)
{
    if (withTitle && isStreamOpen()) {
        const BASS::Song song = m_channel->CurrentSong();
        if (song.DisplayText() != m_currentTrack.song.DisplayText()) {
            m_currentTrack.clear();
            m_currentTrack.song = song;
        }
        if (!m_currentTrack.isEmpty()) {
            lblNowPlaying->setText(tr("Playing") + QStringLiteral(": ") + m_currentTrack.description());
            lblNowPlaying->setStyleSheet(m_highlightStyle);
            lblLastPlaying->setStyleSheet(m_normalStyle);
            lblTrackHistory->setStyleSheet(m_normalStyle);
        }
    }
    lblStationName->setText(m_channel->StationNameText(40));
    lblNetwork->setText(m_station.network());
    // A record without a place of its own still says which country it comes from.
    const QString location = m_station.location();
    lblLocation->setText(location.isEmpty() ? m_station.country() : location);
}

void TunoraDE::newTrackToHistory()
{
    if (!m_currentTrack.isEmpty() && m_currentTrack.hasCover()) {
        while (m_trackHistory.size() >= TrackHistoryLimit)
            m_trackHistory.removeFirst();
        m_trackHistory.append(m_currentTrack);
        emit signal_trackHistoryChanged();
    }
    refreshTrackHistoryLabel();
}

void TunoraDE::refreshTrackHistoryLabel()
{
    lblTrackHistory->setText(m_trackHistory.isEmpty() ? QString() : tr("Track History"));
    m_savedStatusText = lblTrackHistory->text();
}

void TunoraDE::showStatus(const QString &text)
{
    lblTrackHistory->setText(text);
    m_statusCountdown = 0;
}

void TunoraDE::slot_restoreStatusText()
{
    lblTrackHistory->setText(m_savedStatusText);
    m_statusCountdown = -1;
}

// ---- cover art ----------------------------------------------------------------------------------

void TunoraDE::slot_coverArtReady(BASS::BassQt *stream, BASS::CoverArt::coverArtType type)
{
    if (stream != m_channel.get())
        return;
    switch (type) {
    case BASS::CoverArt::LookupStarted:
        lblCoverArt->setStyleSheet(m_coverStyle);
        if (m_busyMovie->isValid() && !m_currentTrack.hasCover()) {
            lblCoverArt->setMovie(m_busyMovie);
            m_busyMovie->start();
        }
        break;
    case BASS::CoverArt::LookupEnded:
    case BASS::CoverArt::ImageReady: {
        const BASS::AlbumInfo info = m_channel->CoverArtObject()->CurrentAlbumInfo();
        const bool content = info.hasImage() || !info.title.isEmpty() || !info.text.isEmpty();
        if (content) {
            showAlbumInfo(info);
        } else {
            resetCover();
            m_coverAwaited = true;
        }
        break;
    }
    case BASS::CoverArt::CoverNotFound:
        resetCover();
        m_coverAwaited = false;
        break;
    default:
        break;
    }
}

void TunoraDE::slot_coverArtStatusChanged(BASS::BassQt *, BASS::CoverArt::status st)
{
    qDebug().noquote() << "TunoraDE::slot_coverArtStatusChanged" << BASS::CoverArt::StatusText(st);
}

void TunoraDE::resetCover()
{
    m_busyMovie->stop();
    lblCoverArt->setMovie(nullptr);
    lblCoverArt->setStyleSheet(m_coverStyle);
    setCoverOverlay(true);
    const qreal ratio = devicePixelRatioF();
    QPixmap cover =
        m_defaultCover.scaled(lblCoverArt->size() * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    cover.setDevicePixelRatio(ratio);
    lblCoverArt->setPixmap(cover);
    m_currentTrack.cover = QImage();
    m_shownCover = QImage();
}

void TunoraDE::setCoverOverlay(bool on)
{
    lblCoverArt->setDefaultShown(on);
}

void TunoraDE::showAlbumInfo(const BASS::AlbumInfo &info)
{
    if (m_currentTrack.hasCover() && sameAlbum(m_currentTrack.album, info))
        return;
    m_busyMovie->stop();
    lblCoverArt->setMovie(nullptr);
    m_currentTrack.album = info;
    m_coverAwaited = false;
    if (info.hasImage()) {
        m_currentTrack.cover = info.image;
        showCover(info.image);
        newTrackToHistory();
    }
}

void TunoraDE::showCover(const QImage &image)
{
    // Shown from memory: nothing of it is written to disk.
    const qreal ratio = devicePixelRatioF();
    QPixmap cover = QPixmap::fromImage(image).scaled(lblCoverArt->size() * ratio, Qt::KeepAspectRatio,
                                                     Qt::SmoothTransformation);
    cover.setDevicePixelRatio(ratio);
    lblCoverArt->setStyleSheet(m_coverStyle);
    lblCoverArt->setPixmap(cover);
    m_shownCover = image;
    setCoverOverlay(false);
}

// ---- volume -------------------------------------------------------------------------------------

void TunoraDE::slot_volumeChanged(int volume)
{
    BASS::SetMasterVolume(volume);
    sldVolume->setToolTip(tr("%1%").arg(volume));
    m_mpris->setVolume(volume);
}

void TunoraDE::slot_muteVolume()
{
    BASS::SetMasterVolume(BASS::IsMasterMuted() ? sldVolume->value() : 0);
}

// ---- timers -------------------------------------------------------------------------------------

void TunoraDE::slot_displayTimerUpdate()
{
    if (m_versionCountdown >= 0)
        ++m_versionCountdown;
    if (m_statusCountdown >= 0)
        ++m_statusCountdown;
    ++m_newsTicks;
    if (m_versionCountdown >= VersionCheckSeconds) {
        m_versionCountdown = -1;
        emit signal_versionCheckDue();
    }
    if (m_statusCountdown >= StatusSeconds)
        slot_restoreStatusText();
    if (m_newsTicks > NewsSeconds) {
        m_newsTicks = 0;
        emit signal_nextNews();
    }
}

void TunoraDE::requestStartData()
{
    if (m_startDataRequested)
        return;
    m_startDataRequested = true;
    m_newsRequestId = m_api.requestNewsFeed();
    if (TunoraAPI::languages().isEmpty())
        m_api.requestLanguages();
    QString member, password;
    AppSettings::instance().credentials(member, password);
    if (!member.isEmpty() || !password.isEmpty())
        m_api.requestAccountInfo();
}

void TunoraDE::slot_refreshTimerUpdate()
{
    if (TreeStationWidget *list = currentStationList())
        list->refresh();
}

// ---- start-up and the directory -----------------------------------------------------------------

void TunoraDE::slot_startUp()
{
    if (m_argumentsPlayed)
        return;
    if (AppSettings::instance().startupStationType() != 1)
        return;
    QString member, password;
    AppSettings::instance().credentials(member, password);
    if (member.isEmpty() && password.isEmpty()) {
        // No account to ask: the station stored as last played on this machine.
        if (!m_station.firstStreamUrl().isEmpty())
            playStation(m_station);
        return;
    }
    m_startLastPlayedPending = true;
    m_historyRequestId = m_api.requestHistory();
    if (m_historyRequestId == 0)
        m_startLastPlayedPending = false;
}

void TunoraDE::slot_stationFound(const BASS::Station *found)
{
    if (!m_startLastPlayedPending || !found)
        return;
    m_startLastPlayedPending = false;
    if (!found->streams().isEmpty()) {
        const BASS::Station copy(*found);
        playStation(copy, copy.streams().first());
    }
}

void TunoraDE::slot_tnAPIFinished(int id, bool)
{
    if (id != 0 && id == m_newsRequestId) {
        m_newsTicks = 0;
        emit signal_nextNews();
    }
    if (id != 0 && id == m_historyRequestId)
        m_startLastPlayedPending = false; // an empty history plays nothing
}

// ---- actions ------------------------------------------------------------------------------------

void TunoraDE::slot_openURL()
{
    bool ok = false;
    const QString text = QInputDialog::getItem(this, tr("Open URL"), tr("Stream or playlist address:"),
                                               m_recentAddresses, 0, true, &ok);
    if (ok)
        openAddress(text);
}

bool TunoraDE::openAddress(const QString &text)
{
    const QString address = text.trimmed();
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        showStatus(tr("Not a web address: %1").arg(address.left(80)));
        return false;
    }
    m_recentAddresses.removeAll(address);
    m_recentAddresses.prepend(address);
    while (m_recentAddresses.size() > RecentAddressLimit)
        m_recentAddresses.removeLast();
    QSettings().setValue(RecentAddressesKey, m_recentAddresses);

    BASS::Station station;
    station.setName(url.host());
    BASS::StationStream entry;
    entry.url = address;
    station.addStream(entry, true);
    playStation(station);
    return true;
}

void TunoraDE::slot_About()
{
    AboutDialog about(this);
    about.exec();
}
