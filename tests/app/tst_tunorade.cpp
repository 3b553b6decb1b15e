// The main window end to end: a station on a local Icecast mount played through the window,
// titles on the dashboard, stop and the stream's end; the record control (the playing station
// recorded into the folder and format of the settings, ended by the toggle, by playback or by the
// next station, its file decoding); the start-up station from the account's history; attempts on
// a silent server given up without holding the window; the play button, status line and track
// history; typed addresses; the desktop's controls. The window's desktop side: keyboard commands
// and tab order, accessible names, the tray icon and closing to it, the sleep timer on a test clock,
// the favourites and wish-list files through a local directory service, and what a later start
// hands over.

#undef QT_NO_CAST_FROM_ASCII

#include "accessibilitycheck.h"
#include "bassinit.h"
#include "desktopsettings.h"
#include "exportfiles.h"
#include "icecast.h"
#include "mpris.h"
#include "recordingsettings.h"
#include "scriptedserver.h"
#include "sleeptimer.h"
#include "threads.h"
#include "tracklists.h"
#include "tunorade_desktop.h"
#include "windowfixture.h"

#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QToolButton>

using TunoraTest::IcecastServer;
using TunoraTest::ScriptedServer;
using TunoraTest::stationAt;

namespace {

qint64 s_now = 0; // the sleep timer's clock

// The codec ffprobe names and the seconds ffmpeg decodes (to 8 kHz mono 16-bit); -1 on failure.
std::pair<QString, double> decode(const QString &file)
{
    QProcess info, pcm;
    info.start("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries", "stream=codec_name",
                           "-of", "csv=p=0", file});
    pcm.start("ffmpeg",
              {"-nostdin", "-v", "quiet", "-i", file, "-f", "s16le", "-ac", "1", "-ar", "8000", "-"});
    if (!info.waitForFinished(30000) || info.exitCode() != 0 || !pcm.waitForFinished(60000) ||
        pcm.exitCode() != 0)
        return {QString(), -1};
    return {QString::fromUtf8(info.readAllStandardOutput()).trimmed(),
            pcm.readAllStandardOutput().size() / 16000.0};
}

QList<int> states(const QSignalSpy &spy)
{
    QList<int> list;
    for (const QList<QVariant> &args : spy)
        list.append(args.at(0).toInt());
    return list;
}

} // namespace

class TestTunoraDE : public QObject
{
    Q_OBJECT

    ScriptedServer m_silent;
    // Two mounts, "/test.mp3" and "/other.mp3"; why it did not come up otherwise (only the cases
    // that play fail then).
    std::unique_ptr<IcecastServer> m_icecast;
    QString m_icecastError;
    QTemporaryDir m_dir;
    QStringList m_boxes;
    std::unique_ptr<TunoraDE> m_window;

    TunoraDE &window() { return *m_window; }
    WindowDesktop &desktop() { return *m_window->desktop(); }
    bool attemptRunning() { return window().m_connectThread->isRunning(); }
    void waitIdle() { QTRY_VERIFY_WITH_TIMEOUT(!attemptRunning(), 10000); }
    // An active window, as the keyboard cases need it.
    void newWindow()
    {
        m_window = TunoraTest::newWindow();
        QApplication::setActiveWindow(&window());
        QVERIFY(QTest::qWaitForWindowActive(&window()));
    }
    QString mount(const char *path) { return m_icecast->mountUrl(QString::fromLatin1(path)).toString(); }
    QString status() { return window().lblTrackHistory->text(); }
    QString silentUrl(const char *path = "/silent.mp3") { return QString::fromLatin1(m_silent.url(path)); }
    // Starts the suite's Icecast when a case first needs it (the cases without it run first, without
    // its encoders running beside them); false, with the reason, when it did not come up.
    bool icecastUp()
    {
        if (!m_icecast) {
            m_icecast = std::make_unique<IcecastServer>();
            IcecastServer::Source source, other;
            other.mount = "/other.mp3";
            if (!m_icecast->start(&m_icecastError) || !m_icecast->startSource(source, &m_icecastError) ||
                !m_icecast->startSource(other, &m_icecastError))
                m_icecast.reset();
        }
        return bool(m_icecast);
    }
    void addTrack(const QString &artist, const QString &title)
    {
        window().m_currentTrack.clear();
        window().m_currentTrack.song.setArtist(artist);
        window().m_currentTrack.song.setTitle(title);
        window().m_currentTrack.cover = QImage(8, 8, QImage::Format_RGB32);
        window().newTrackToHistory();
    }

private slots:
    void initTestCase()
    {
        // Every directory address points at a closed port: the window must work without it. (The
        // language choice and the sign-in dialog at start-up are steps of the session test.)
        TunoraTest::prepareWindowSuite(&m_boxes);
        WindowDesktop::setSleepTimerClock([] { return s_now; });
        QVERIFY(m_silent.start(
            [](int, const QByteArray &) { return ScriptedServer::Script{ScriptedServer::hold()}; }));
    }

    void init()
    {
        m_boxes.clear();
        QSettings().remove(DesktopSettings::trayIconKey());
        QSettings().remove(DesktopSettings::closeToTrayKey());
        newWindow();
    }

    void cleanup() { m_window.reset(); }

    // An attempt on a server that never answers is given up by the button or by the next play
    // without waiting for it (bench/window-probe stop measures how long that takes); the
    // abandoned run leaves nothing behind.
    void abandonsSilentServer_data()
    {
        QTest::addColumn<int>("stations");
        QTest::newRow("play button") << 1;
        QTest::newRow("second play") << 2;
        // A third station asked for while the second connects (that run was not given up, and
        // the third never started).
        QTest::newRow("third play") << 3;
    }

    void abandonsSilentServer()
    {
        QFETCH(int, stations);
        window().playStation(stationAt(silentUrl()));
        QTRY_VERIFY_WITH_TIMEOUT(attemptRunning(), 10000);
        if (stations == 1) {
            QTest::mouseClick(window().btPlay, Qt::LeftButton);
            QCOMPARE(window().btPlay->toolTip(), "Play");
        }
        for (int n = 2; n <= stations; ++n) {
            // Each station runs once the run before it has ended, and is itself abandoned.
            const QByteArray path = "/silent.mp3?" + QByteArray::number(n);
            const QString name = QStringLiteral("Radio %1").arg(n);
            window().playStation(stationAt(silentUrl(path.constData()), name));
            QCOMPARE(window().btPlay->toolTip(), "Stop");
            // The run given up is counted until it ends, or its end would pass for the new
            // station's and leave it waiting (when the new one is resolved first).
            QVERIFY(!attemptRunning() || window().m_abandonedRuns == 1);
            QTRY_VERIFY_WITH_TIMEOUT(
                !window().m_connectPending && window().m_abandonedRuns == 0 && attemptRunning(), 10000);
            QCOMPARE(window().lblStationName->text(), name);
        }
        if (stations > 1)
            window().stop(true);
        QTRY_VERIFY_WITH_TIMEOUT(!attemptRunning(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(window().m_abandonedRuns, 0, 10000);
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QVERIFY(!window().channel()->HasChannel());
    }

    // Rules of the button, the status line and the track history.
    void windowRules()
    {
        QSettings().remove("StartupStationURL");
        m_window = TunoraTest::newWindow();
        QTest::mouseClick(window().btPlay, Qt::LeftButton); // nothing played and no row: nothing starts
        QVERIFY(!window().channel()->IsResolving() && !attemptRunning());
        QCOMPARE(window().btPlay->toolTip(), "Play");
        window().showStatus("Transient"); // shown for five ticks
        for (int tick = 0; tick < 4; ++tick)
            window().slot_displayTimerUpdate();
        QCOMPARE(status(), "Transient");
        window().slot_displayTimerUpdate();
        QVERIFY(status().isEmpty());
        addTrack("A", "1");
        window().slot_bassEvent(window().channel(), BASS::EventStallChanged, 0);
        QCOMPARE(status(), "Buffering");
        window().slot_bassEvent(window().channel(), BASS::EventStallChanged, 1);
        QCOMPARE(status(), "Track History");
        for (int n = 2; n <= 21; ++n) // the 21st song drops the oldest
            addTrack("A", QString::number(n));
        QCOMPARE(window().trackHistory().size(), 20);
        QCOMPARE(window().trackHistory().first().song.title(), "2");
        window().slot_TNStreamReady(window().channel(), 1, "\x01\x02 not a list");
        QCOMPARE(window().channel()->State(), int(BASS::Stream::StateFailed));
    }

    // Typed addresses: only web addresses play; the last ten are kept, newest first, once each.
    void openAddress_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<int>("played");
        QTest::addColumn<QString>("newest");
        QTest::addColumn<int>("kept");
        QTest::newRow("http") << QStringList{"  http://127.0.0.1:9/a.mp3 "} << 1 << "http://127.0.0.1:9/a.mp3"
                              << 1;
        QTest::newRow("file refused") << QStringList{"file:///etc/passwd"} << 0 << "" << 0;
        QStringList many;
        for (int n = 0; n < 12; ++n)
            many << QStringLiteral("https://127.0.0.1:9/%1.mp3").arg(n % 11);
        QTest::newRow("eleven kept as ten") << many << 12 << "https://127.0.0.1:9/0.mp3" << 10;
    }

    void openAddress()
    {
        QFETCH(QStringList, typed);
        QFETCH(QString, newest);
        QSettings().remove("RecentURLs");
        int accepted = 0;
        for (const QString &text : typed)
            accepted += window().openAddress(text) ? 1 : 0;
        QTEST(accepted, "played");
        const QStringList recent = QSettings().value("RecentURLs").toStringList();
        QCOMPARE(recent.value(0), newest);
        QTEST(int(recent.size()), "kept");
        if (accepted > 0)
            QCOMPARE(window().station().firstStreamUrl(), newest);
        window().stop(true);
        QTRY_VERIFY_WITH_TIMEOUT(!attemptRunning(), 10000);
    }

    // The desktop's controls act as the button and the slider do, and hear the slider.
    void desktopControls()
    {
        BASS::MprisPlayer *mpris = window().mpris();
        emit mpris->sig_volumeRequested(30);
        QCOMPARE(window().sldVolume->value(), 30);
        QCOMPARE(BASS::GetMasterVolume(), 30);
        window().sldVolume->setValue(70);
        QCOMPARE(mpris->volume(), 70);

        window().m_station = stationAt(silentUrl());
        emit mpris->sig_playPauseRequested();
        QCOMPARE(window().btPlay->toolTip(), "Stop");
        emit mpris->sig_playRequested(); // already under way: stays
        QCOMPARE(window().btPlay->toolTip(), "Stop");
        emit mpris->sig_stopRequested();
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QTRY_VERIFY_WITH_TIMEOUT(!attemptRunning(), 10000);
    }

    // Every key acts on what it names; Space types into a text field instead of playing.
    void shortcuts_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("shown"); // what the window shows afterwards: "what=value;..."
        QTest::newRow("space plays") << "twRadio" << QKeySequence(Qt::Key_Space) << "play=Stop";
        QTest::newRow("space in the search box")
            << "teSearch" << QKeySequence(Qt::Key_Space) << "play=Play;search= ";
        QTest::newRow("ctrl+f") << "btPlay" << QKeySequence(Qt::CTRL | Qt::Key_F) << "focus=teSearch";
        QTest::newRow("ctrl+m") << "btPlay" << QKeySequence(Qt::CTRL | Qt::Key_M) << "muted=1";
        QTest::newRow("ctrl+up") << "twRadio" << QKeySequence(Qt::CTRL | Qt::Key_Up) << "volume=55";
        QTest::newRow("ctrl+d without a station")
            << "twRadio" << QKeySequence(Qt::CTRL | Qt::Key_D) << "status=Select a station first";
    }

    void shortcuts()
    {
        QFETCH(QString, focus);
        QFETCH(QKeySequence, key);
        QFETCH(QString, shown);
        BASS::SetMasterVolume(50);
        window().sldVolume->setValue(50);
        window().playStation(stationAt(silentUrl()));
        window().stop(true);
        waitIdle();
        auto *target = window().findChild<QWidget *>(focus);
        target->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), target);
        QTest::keySequence(QApplication::focusWidget(), key);
        const QMap<QString, QString> now{{"play", window().btPlay->toolTip()},
                                         {"search", window().teSearch->text()},
                                         {"focus", QApplication::focusWidget()->objectName()},
                                         {"muted", QString::number(BASS::IsMasterMuted())},
                                         {"volume", QString::number(window().sldVolume->value())},
                                         {"status", window().lblTrackHistory->text()}};
        BASS::SetMasterVolume(50);
        for (const QString &pair : shown.split(';'))
            QCOMPARE(pair.section('=', 0, 0) + "=" + now.value(pair.section('=', 0, 0)), pair);
    }

    // Tab walks the player controls, then the search and the sections; no control goes unnamed.
    void keyboardAndScreenReader()
    {
        window().btPlay->setFocus();
        QStringList walked{QApplication::focusWidget()->objectName()};
        for (int n = 0; n < 4; ++n) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walked << QApplication::focusWidget()->objectName();
        }
        QStringList expected{"btPlay", "sldVolume", "teSearch", "btSearch", "twRadio"};
        // The record toggle takes the focus only while it can be used (a station plays).
        if (auto *record = window().findChild<QWidget *>("btRecord"); record && record->isEnabled())
            expected.insert(1, "btRecord");
        QCOMPARE(walked, expected.mid(0, 5));

        // The first page, then the settings page with the desktop group.
        QStringList unnamed = TunoraTest::unnamedControls(&window());
        window().swStations->setCurrentIndex(TunoraDE::PageSettings);
        unnamed += TunoraTest::unnamedControls(&window());
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join('\n')));
        QCOMPARE(window().btPlay->accessibleName(), "Play");
        window().playStation(stationAt(silentUrl()));
        QCOMPARE(window().btPlay->accessibleName(), "Stop");
    }

    // The tray icon follows the setting; closing only hides the window when there is an icon to
    // bring it back, and turning the icon off brings a hidden window back.
    void tray_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addColumn<bool>("closeToTray");
        QTest::addColumn<bool>("closes");
        QTest::newRow("close to tray without an icon") << false << true << true;
        QTest::newRow("icon, closing closes") << true << false << true;
        QTest::newRow("icon, closing hides") << true << true << false;
    }

    void tray()
    {
        QFETCH(bool, tray);
        QFETCH(bool, closeToTray);
        QFETCH(bool, closes);
        QVERIFY(!window().findChild<QSystemTrayIcon *>("trayIcon"));
        QSettings().setValue(DesktopSettings::trayIconKey(), tray);
        QSettings().setValue(DesktopSettings::closeToTrayKey(), closeToTray);
        desktop().applySettings();
        auto *icon = window().findChild<QSystemTrayIcon *>("trayIcon");
        QCOMPARE(icon && icon->isVisible(), tray);
        if (icon) {
            QVERIFY(icon->contextMenu()->actions().contains(desktop().sleepTimerMenu()->menuAction()));
            // A click on the icon hides the window and shows it again.
            emit icon->activated(QSystemTrayIcon::Trigger);
            QVERIFY(!window().isVisible());
            emit icon->activated(QSystemTrayIcon::Trigger);
            QVERIFY(window().isVisible());
        }
        QCOMPARE(window().close(), closes);
        QVERIFY(!window().isVisible());
        QSettings().setValue(DesktopSettings::trayIconKey(), false);
        desktop().applySettings();
        QCOMPARE(window().isVisible(), !closes);
        if (icon)
            QVERIFY(!icon->isVisible());
    }

    // From the menu: the volume fades over the last 30 s, playback stops at the end and the
    // listener's volume comes back (the end-of-song choice and its short fade: the timer's test).
    void sleepTimer()
    {
        window().sldVolume->setValue(80);
        window().playStation(stationAt(silentUrl()));
        SleepTimer *timer = desktop().sleepTimer();
        s_now = 1000;
        desktop().sleepTimerMenu()->actions().at(0)->trigger(); // 15 minutes
        QVERIFY(timer->isActive());
        s_now += 15 * 60000 - 15000;
        timer->tick();
        QCOMPARE(window().btPlay->toolTip(), "Stop");
        QVERIFY2(qAbs(BASS::GetMasterVolume() - 40) <= 2,
                 qPrintable(QString::number(BASS::GetMasterVolume())));
        s_now = 1000 + 15 * 60000;
        timer->tick();
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QCOMPARE(BASS::GetMasterVolume(), 80);
        QVERIFY(!timer->isActive());
        QVERIFY(desktop().sleepTimerMenu()->actions().last()->isChecked());
    }

    // Favourites go to the account by stream address and come back as a playlist; the wish list
    // comes in from CSV without doubles and goes out again the same.
    void filesRoundTrip()
    {
        TunoraTest::DirectoryService service;
        QVERIFY2(TunoraTest::startDirectory(service, "Desk Test Radio", "http://127.0.0.1:9/desk.mp3"),
                 qPrintable(service.errorString()));
        m_window.reset();
        QVERIFY(TunoraTest::createListener(service, "desk", "secret word"));
        newWindow();

        // Import: one station of the directory (its address written differently), one unknown.
        QTemporaryDir folder;
        QString error;
        const QString m3u = folder.filePath("in.m3u");
        QVERIFY(ExportFiles::saveFile(m3u,
                                      "#EXTM3U\n#EXTINF:-1,Desk Test Radio\nHTTP://127.0.0.1:9/desk.mp3\n"
                                      "#EXTINF:-1,Nowhere FM\nhttp://127.0.0.1:9/nowhere.mp3\n",
                                      &error));
        QSignalSpy done(&desktop(), &WindowDesktop::signal_favoritesDone);
        desktop().importFavorites(m3u);
        QVERIFY(done.wait(30000));
        const QString report = done.at(0).at(1).toString();
        QVERIFY2(done.at(0).at(0).toBool() && report.startsWith("Stations added to the favorites: 1.") &&
                     report.contains("Nowhere FM") && !report.contains("Desk Test Radio"),
                 qPrintable(report));
        QCOMPARE(m_boxes.value(0), report);

        const QString xspf = folder.filePath("out.xspf");
        desktop().exportFavorites(xspf);
        QVERIFY(done.wait(30000));
        QVERIFY(done.at(1).at(0).toBool());
        QByteArray data;
        QList<ExportFiles::StationEntry> entries;
        QVERIFY(ExportFiles::loadFile(xspf, data, &error));
        QVERIFY(data.contains("<playlist") && ExportFiles::readStations(data, entries, nullptr, &error));
        QCOMPARE(entries,
                 (QList<ExportFiles::StationEntry>{{"Desk Test Radio", "http://127.0.0.1:9/desk.mp3"}}));

        const QList<ExportFiles::WishRow> rows{{"Artist - Song", "Desk Test Radio",
                                                QDateTime({2026, 12, 1}, {20, 0}, Qt::UTC),
                                                "https://example.org/a"}};
        const QString csv = folder.filePath("wishes.csv");
        QVERIFY(ExportFiles::saveFile(csv, ExportFiles::writeWishList(rows), &error));
        QString wishReport;
        for (int n = 0; n < 2; ++n)
            QVERIFY2(desktop().importWishList(csv, &wishReport), qPrintable(wishReport));
        QCOMPARE(wishReport, "Songs added to the wish list: 0.");
        QCOMPARE(window().trackLists()->wishList().size(), 1);
        QVERIFY2(desktop().exportWishList(csv, &error), qPrintable(error));
        QList<ExportFiles::WishRow> back;
        QVERIFY(ExportFiles::loadFile(csv, data, &error) &&
                ExportFiles::readWishList(data, back, nullptr, &error));
        QCOMPARE(back, rows);
        AppSettings::instance().setCredentials(QString(), QString());
    }

    // What a later start hands over (the hand-over itself: the desktop suite's single-instance case)
    // brings the window back, which plays it or says why not.
    void secondStart_data()
    {
        QTest::addColumn<QString>("argument"); // "@silent": the silent server's address
        QTest::addColumn<QString>("status");
        QTest::newRow("address") << "@silent"
                                 << "Connecting";
        QTest::newRow("refused") << "ftp://127.0.0.1/x.mp3"
                                 << "Not played: ftp://127.0.0.1/x.mp3";
    }

    void secondStart()
    {
        QFETCH(QString, argument);
        QFETCH(QString, status);
        argument.replace("@silent", silentUrl());
        window().showMinimized();
        desktop().openArguments({argument});
        QVERIFY(window().isVisible() && !window().isMinimized());
        const bool plays = status == "Connecting";
        QCOMPARE(window().btPlay->toolTip(), plays ? "Stop" : "Play");
        QCOMPARE(window().station().firstStreamUrl() == argument, plays);
        QVERIFY2(window().lblTrackHistory->text().startsWith(status),
                 qPrintable(window().lblTrackHistory->text()));
    }

    // Played from a station record: 6 -> 3 -> 1, titles move from "Playing" to "Last played",
    // a title with markup shows as it stands, the button stops, the server's end times out.
    void playsIcecastMount()
    {
        if (!IcecastServer::available())
            QSKIP("icecast2 or ffmpeg is not installed");
        QVERIFY2(icecastUp(), qPrintable(m_icecastError));
        IcecastServer &icecast = *m_icecast;
        QString error;
        IcecastServer::Source source;
        source.mount = "/ends.mp3";
        QVERIFY2(icecast.startSource(source, &error), qPrintable(error));
        const QString mount = this->mount("/ends.mp3");

        QSignalSpy stateSpy(&window(), &TunoraDE::signal_stateChanged);
        window().playStation(stationAt(mount, "Icecast Radio"));
        QCOMPARE(window().btPlay->toolTip(), "Stop");
        QCOMPARE(window().lblTrackHistory->text(), "Connecting...");
        QTRY_COMPARE_WITH_TIMEOUT(window().channel()->State(), 1, 30000);
        QCOMPARE(states(stateSpy).mid(1, 2), (QList<int>{6, 3}));
        QCOMPARE(window().lblStationName->text(), "Icecast Radio");
        QCOMPARE(window().lblNetwork->text(), "Test Network");
        QTRY_COMPARE(QSettings().value("StartupStationURL").toString(), mount);

        for (const QString title : {"Artist One - Song One", "Artist Two - <img src=x>"}) {
            QVERIFY2(icecast.setTitle(source.mount, title, &error), qPrintable(error));
            QTRY_COMPARE_WITH_TIMEOUT(window().lblNowPlaying->text(), "Playing: " + title, 20000);
        }
        QCOMPARE(window().lblLastPlaying->text(), "Last played: Artist One - Song One");
        QCOMPARE(window().lblNowPlaying->textFormat(), Qt::PlainText);

        QTest::mouseClick(window().btPlay, Qt::LeftButton);
        QVERIFY(!window().channel()->HasChannel());
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QVERIFY(window().lblNowPlaying->text().isEmpty() && window().lblLastPlaying->text().isEmpty());

        // Play again replays the last station; the source going away ends it.
        QTest::mouseClick(window().btPlay, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(window().channel()->State(), 1, 30000);
        icecast.stopSource(source.mount);
        QTRY_COMPARE_WITH_TIMEOUT(window().lblTrackHistory->text(), "Station Timed Out!", 60000);
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QVERIFY(!window().channel()->HasChannel());

        // The window closes while a stream plays (cleanup() destroys it).
        QVERIFY2(icecast.startSource(source, &error), qPrintable(error));
        QTest::mouseClick(window().btPlay, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(window().channel()->State(), 1, 30000);
    }

    // With "StartupStationType" 1, once the account listened to a station of the directory, the
    // next start-up plays it.
    void startsFromAccountHistory()
    {
        if (!IcecastServer::available())
            QSKIP("icecast2 or ffmpeg is not installed");
        QVERIFY2(icecastUp(), qPrintable(m_icecastError));
        TunoraTest::DirectoryService service;
        QVERIFY2(TunoraTest::startDirectory(service, "Window Test Radio", mount("/other.mp3")),
                 qPrintable(service.errorString()));
        AppSettings &settings = AppSettings::instance();
        m_window.reset();
        QVERIFY(TunoraTest::createListener(service, "listener", "secret word"));
        settings.setStartupStationType(1);
        QSettings().remove("StartupStationURL");

        m_window = TunoraTest::newWindow();
        // Fetching the listen address the directory gives this account records the listen.
        QString listen;
        connect(&window().api(), &BASS::BaseRadioAPI::signal_stationFound, this,
                [&listen](const BASS::Station *station) { listen = station->firstStreamUrl(); });
        QVERIFY(window().api().searchStations("Window Test Radio", 0) != 0);
        QTRY_VERIFY_WITH_TIMEOUT(!listen.isEmpty(), 30000);
        {
            BASS::QHttpExt http;
            QSignalSpy fetched(&http, &BASS::QHttpExt::sig_Ready);
            QVERIFY(http.get(listen) != 0);
            QVERIFY(fetched.wait(30000));
        }

        m_window = TunoraTest::newWindow();
        QSignalSpy stateSpy(&window(), &TunoraDE::signal_stateChanged);
        window().slot_startUp();
        QTRY_COMPARE_WITH_TIMEOUT(window().station().name(), "Window Test Radio", 30000);
        QCOMPARE(window().station().firstStreamUrl(), listen);
        QVERIFY(states(stateSpy).contains(BASS::Stream::StateDownloading));
        m_window.reset();
        settings.setStartupStationType(0);
        settings.setCredentials(QString(), QString());
        settings.setEndpoint(AppSettings::DirectoryRoot, "https://127.0.0.1:9/");
    }

    // Encoded formats, ended by playback or by the next station; a folder that cannot be made
    // (the toggled recording of the stream's own bytes: the session test).
    void records_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("folder"); // under the test's folder; "blocked" is a file there
        QTest::addColumn<bool>("byStop");    // else another station ends it
        QTest::addColumn<QString>("codec");  // empty: nothing may be written
        QTest::newRow("Ogg Vorbis, playback stops") << 4 << QString("nested/ogg") << true << "vorbis";
        QTest::newRow("AAC, another station") << 3 << QString("aac") << false << "aac";
        QTest::newRow("folder is a file") << 0 << QString("blocked/inside") << true << "";
    }

    void records()
    {
        QFETCH(int, format);
        QFETCH(QString, folder);
        QFETCH(bool, byStop);
        QFETCH(QString, codec);
        if (!IcecastServer::available())
            QSKIP("icecast2 or ffmpeg is not installed");
        QVERIFY2(icecastUp(), qPrintable(m_icecastError));
        const QString path = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + '/' + folder);
        if (folder.startsWith("blocked")) {
            QDir().mkpath(m_dir.filePath(QTest::currentDataTag()));
            QFile blocker(QFileInfo(path).absolutePath());
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        RecordingSettings::setFolder(path);
        RecordingSettings::setFormat(format);
        RecordingSettings::setSplit(format == 4);

        auto *button = window().findChild<QToolButton *>("btRecord");
        auto *recordTime = window().findChild<QLabel *>("lblRecordTime");
        const QPoint inside(button->width() / 4, button->height() / 2);
        QVERIFY(!button->isEnabled()); // nothing plays yet
        window().playStation(stationAt(mount("/test.mp3")));
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 30000);
        QTest::mouseClick(button, Qt::LeftButton, {}, inside);
        if (codec.isEmpty()) {
            QVERIFY(!button->isChecked() && !window().channel()->IsRecording());
            QTRY_VERIFY(status().startsWith("Recording failed: Unable to create output file"));
            QCOMPARE(m_boxes.filter("Recording").size(), 1);
            QVERIFY(window().channel()->IsPlaying()); // playback goes on
            return;
        }
        QVERIFY(button->isChecked());
        QTRY_VERIFY(status().startsWith("Recording: "));
        // "mm:ss" from the channel's one-second tick.
        QTRY_VERIFY_WITH_TIMEOUT(recordTime->text().size() == 5 && recordTime->text() >= "00:04", 20000);
        if (byStop) {
            QTest::mouseClick(window().btPlay, Qt::LeftButton);
            QVERIFY(!button->isEnabled());
        } else {
            window().playStation(stationAt(mount("/other.mp3")));
        }
        QVERIFY(!window().channel()->IsRecording() && !button->isChecked());
        QVERIFY(recordTime->text().isEmpty());
        const QStringList files = QDir(path).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        const auto [decodedCodec, seconds] = decode(QDir(path).filePath(files[0]));
        QCOMPARE(decodedCodec, codec);
        QVERIFY2(seconds >= 3.0 && seconds <= 10.0, qPrintable(QString::number(seconds)));
        QVERIFY2(m_boxes.filter("Recording").isEmpty(), qPrintable(m_boxes.join('\n')));
    }
};

TUNORA_TEST_MAIN(TestTunoraDE)
#include "tst_tunorade.moc"
