// The window's desktop side: keyboard commands and tab order, accessible names, the tray icon and
// closing to it, the sleep timer on a test clock, the favourites and wish-list files through a
// local directory service, and the arguments of a later start.

#undef QT_NO_CAST_FROM_ASCII

#include "accessibilitycheck.h"
#include "bassinit.h"
#include "desktopsettings.h"
#include "exportfiles.h"
#include "scriptedserver.h"
#include "singleinstance.h"
#include "sleeptimer.h"
#include "threads.h"
#include "tracklists.h"
#include "tunorade_desktop.h"
#include "windowfixture.h"

#include <QDBusConnection>
#include <QMenu>
#include <QSettings>
#include <QSystemTrayIcon>

using TunoraTest::ScriptedServer;
using TunoraTest::stationAt;

namespace {

qint64 s_now = 0;
} // namespace

Q_DECLARE_METATYPE(std::function<void(TunoraDE &)>)

class TestDesktopWindow : public QObject
{
    Q_OBJECT

    ScriptedServer m_silent;
    QStringList m_boxes;
    std::unique_ptr<TunoraDE> m_window;

    TunoraDE &window() { return *m_window; }
    WindowDesktop &desktop() { return *m_window->desktop(); }
    QString silentUrl() { return QString::fromLatin1(m_silent.url("/silent.mp3")); }
    void waitIdle() { QTRY_VERIFY_WITH_TIMEOUT(!window().connectThread()->isRunning(), 10000); }
    void newWindow()
    {
        m_window = TunoraTest::newWindow();
        QApplication::setActiveWindow(&window());
        QVERIFY(QTest::qWaitForWindowActive(&window()));
    }

private slots:
    void initTestCase()
    {
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

    void cleanup()
    {
        if (m_window)
            window().stop(true);
        m_window.reset();
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

        const QList<ExportFiles::WishRow> rows{
            {"Artist - Song, \"live\"", "Desk Test Radio", QDateTime({2026, 12, 1}, {20, 0}, Qt::UTC),
             "https://example.org/a"},
            {"=cmd - x", "Other", QDateTime({2026, 12, 2}, {8, 30}, Qt::UTC), ""}};
        const QString csv = folder.filePath("wishes.csv");
        QVERIFY(ExportFiles::saveFile(csv, ExportFiles::writeWishList(rows), &error));
        QString wishReport;
        for (int n = 0; n < 2; ++n)
            QVERIFY2(desktop().importWishList(csv, &wishReport), qPrintable(wishReport));
        QCOMPARE(wishReport, "Songs added to the wish list: 0.");
        QCOMPARE(window().trackLists()->wishList().size(), 2);
        QVERIFY2(desktop().exportWishList(csv, &error), qPrintable(error));
        QList<ExportFiles::WishRow> back;
        QVERIFY(ExportFiles::loadFile(csv, data, &error) &&
                ExportFiles::readWishList(data, back, nullptr, &error));
        std::sort(back.begin(), back.end(), [](const auto &a, const auto &b) { return a.time < b.time; });
        QCOMPARE(back, rows);
        AppSettings::instance().setCredentials(QString(), QString());
    }

    // A later start hands its arguments over: the running window plays them or says why not.
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

        SingleInstance primary;
        QCOMPARE(primary.claim(), SingleInstance::Primary);
        connect(&primary, &SingleInstance::signal_activated, &desktop(), &WindowDesktop::openArguments);
        window().showMinimized();
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "later");
        {
            SingleInstance later(bus);
            QCOMPARE(later.claim(), SingleInstance::Secondary);
            QVERIFY(later.forward({argument}));
        }
        QDBusConnection::disconnectFromBus("later");
        QVERIFY(window().isVisible() && !window().isMinimized());
        const bool plays = status == "Connecting";
        QCOMPARE(window().btPlay->toolTip(), plays ? "Stop" : "Play");
        QCOMPARE(window().station().firstStreamUrl() == argument, plays);
        QVERIFY2(window().lblTrackHistory->text().startsWith(status),
                 qPrintable(window().lblTrackHistory->text()));
    }
};

TUNORA_TEST_MAIN(TestDesktopWindow)
#include "tst_desktopwindow.moc"
