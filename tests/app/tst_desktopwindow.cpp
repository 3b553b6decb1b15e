// The window's desktop side: keyboard commands and tab order, accessible names, the tray icon and
// closing to it, one notification per song (a stand-in notification service on the test's private
// session bus), the sleep timer on a test clock, the favourites and wish-list files through a
// local directory service, and the arguments of a later start.

#undef QT_NO_CAST_FROM_ASCII

#include "accessibilitycheck.h"
#include "appsettings.h"
#include "bassinit.h"
#include "desktopnotifier.h"
#include "desktopsettings.h"
#include "directoryservice.h"
#include "exportfiles.h"
#include "httpblocking.h"
#include "icecast.h"
#include "listeneraccount.h"
#include "proxysetting.h"
#include "scriptedserver.h"
#include "settingspanel.h"
#include "singleinstance.h"
#include "sleeptimer.h"
#include "testmain.h"
#include "threads.h"
#include "tracklists.h"
#include "tunorade.h"
#include "tunorade_desktop.h"
#include "tunorastream.h"

#include <QComboBox>
#include <QDBusConnection>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSystemTrayIcon>

#include <functional>

using TunoraTest::IcecastServer;
using TunoraTest::ScriptedServer;
using Script = ScriptedServer::Script;

namespace {

qint64 s_now = 0;

// Stands in for the desktop's notification service: counts what it is asked to show.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList summaries;

public slots:
    Q_SCRIPTABLE QStringList GetCapabilities() { return {}; }
    Q_SCRIPTABLE uint Notify(const QString &, uint replaces, const QString &, const QString &summary,
                             const QString &, const QStringList &, const QVariantMap &, int)
    {
        if (replaces == 0)
            summaries << summary;
        return replaces ? replaces : uint(summaries.size());
    }
};

BASS::Station stationAt(const QString &url, const QString &name = "Test Radio")
{
    BASS::Station station;
    station.setName(name);
    BASS::StationStream entry;
    entry.url = url;
    station.addStream(entry, true);
    return station;
}

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
        m_window = std::make_unique<TunoraDE>(nullptr, 0);
        window().channel()->SetFadeTimes(0, 0);
        QApplication::setActiveWindow(&window());
        QVERIFY(QTest::qWaitForWindowActive(&window()));
    }

private slots:
    void initTestCase()
    {
        AppSettings::setApplicationFolderOverride(TunoraTest::IsolatedHome::path());
        TunoraDE::setStartDialogsEnabled(false);
        AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, "https://127.0.0.1:9/");
        TunoraDE::setMessageHook(
            [this](BASS::MessageKind, const QString &, const QString &text, QMessageBox::StandardButtons) {
                m_boxes.append(text);
                return int(QMessageBox::Ok);
            });
        WindowDesktop::setSleepTimerClock([] { return s_now; });
        QVERIFY(m_silent.start([](int, const QByteArray &) { return Script{ScriptedServer::hold()}; }));
    }

    void init()
    {
        m_boxes.clear();
        QSettings().remove(DesktopSettings::trayIconKey());
        QSettings().remove(DesktopSettings::closeToTrayKey());
        QSettings().remove(DesktopSettings::notificationsKey());
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
        using Check = std::function<void(TunoraDE &)>;
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<Check>("check");
        QTest::newRow("space plays") << "twRadio" << QKeySequence(Qt::Key_Space)
                                     << Check([](TunoraDE &w) { QCOMPARE(w.btPlay->toolTip(), "Stop"); });
        QTest::newRow("space in the search box")
            << "teSearch" << QKeySequence(Qt::Key_Space) << Check([](TunoraDE &w) {
                   QCOMPARE(w.btPlay->toolTip(), "Play");
                   QCOMPARE(w.teSearch->text(), " ");
               });
        QTest::newRow("ctrl+f") << "btPlay" << QKeySequence(Qt::CTRL | Qt::Key_F) << Check([](TunoraDE &w) {
            QCOMPARE(QApplication::focusWidget(), w.teSearch);
        });
        QTest::newRow("ctrl+m") << "btPlay" << QKeySequence(Qt::CTRL | Qt::Key_M)
                                << Check([](TunoraDE &) { QVERIFY(BASS::IsMasterMuted()); });
        QTest::newRow("ctrl+up") << "twRadio" << QKeySequence(Qt::CTRL | Qt::Key_Up)
                                 << Check([](TunoraDE &w) { QCOMPARE(w.sldVolume->value(), 55); });
        QTest::newRow("ctrl+down") << "teSearch" << QKeySequence(Qt::CTRL | Qt::Key_Down)
                                   << Check([](TunoraDE &w) { QCOMPARE(w.sldVolume->value(), 45); });
        QTest::newRow("ctrl+d without a station")
            << "twRadio" << QKeySequence(Qt::CTRL | Qt::Key_D)
            << Check([](TunoraDE &w) { QCOMPARE(w.lblTrackHistory->text(), "Select a station first"); });
        QTest::newRow("f1") << "twRadio" << QKeySequence(Qt::Key_F1) << Check([](TunoraDE &w) {
            QCOMPARE(w.swStations->currentIndex(), int(TunoraDE::PageHelp));
        });
    }

    void shortcuts()
    {
        QFETCH(QString, focus);
        QFETCH(QKeySequence, key);
        QFETCH(std::function<void(TunoraDE &)>, check);
        BASS::SetMasterVolume(50);
        window().sldVolume->setValue(50);
        window().playStation(stationAt(silentUrl()));
        window().stop(true);
        waitIdle();
        // Help shows a web page: here the command only has to arrive.
        disconnect(window().action_Help, nullptr, &window(), nullptr);
        connect(window().action_Help, &QAction::triggered, &window(),
                [this] { window().swStations->setCurrentIndex(TunoraDE::PageHelp); });
        auto *target = window().findChild<QWidget *>(focus);
        QVERIFY(target);
        target->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), target);
        QTest::keySequence(QApplication::focusWidget(), key);
        check(window());
        BASS::SetMasterVolume(50);
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
        QTest::newRow("off") << false << false << true;
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

    // The settings page's proxy row: a usable entry is stored and becomes Qt's proxy (the HTTP client
    // and the web views); an entry without a port is neither stored nor applied and says why.
    void proxyRow_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("appliedPort");
        QTest::addColumn<int>("storedKind");
        QTest::addColumn<QString>("message");
        QTest::newRow("usable") << 3128 << 3128 << int(ProxySetting::Http) << "";
        QTest::newRow("no port") << 0 << 1 << int(ProxySetting::None) << "The proxy port must be between";
    }

    void proxyRow()
    {
        QFETCH(int, port);
        QFETCH(int, appliedPort);
        QFETCH(int, storedKind);
        QFETCH(QString, message);
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "before.example", 1));
        auto *group = window().settingsPage()->findChild<DesktopSettings *>();
        auto *kind = group->findChild<QComboBox *>("cbProxyKind");
        group->findChild<QSpinBox *>("sbProxyPort")->setValue(port);
        group->findChild<QLineEdit *>("leProxyHost")->setText("127.0.0.1");
        kind->setCurrentIndex(ProxySetting::Http);
        QCOMPARE(group->proxyMessage().left(message.size()), message);
        QCOMPARE(QNetworkProxy::applicationProxy().port(), appliedPort);
        QCOMPARE(int(ProxySetting::load().kind), storedKind);
        kind->setCurrentIndex(ProxySetting::None);
        QCOMPARE(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);
    }

    // A song is announced once, however often its title comes again; nothing while turned off.
    void notifications_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("off") << false << QStringList();
        QTest::newRow("on") << true << QStringList{"One", "Two"};
    }

    void notifications()
    {
        QFETCH(bool, enabled);
        QFETCH(QStringList, expected);
        if (!IcecastServer::available())
            QSKIP("icecast2 or ffmpeg is not installed");
        QDBusConnection serviceBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake");
        FakeNotifications fake;
        QVERIFY(serviceBus.registerObject(DesktopNotifier::ObjectPath, &fake,
                                          QDBusConnection::ExportScriptableSlots));
        QVERIFY(serviceBus.registerService(DesktopNotifier::ServiceName));

        IcecastServer icecast;
        QString error;
        QVERIFY2(icecast.start(&error), qPrintable(error));
        IcecastServer::Source source;
        QVERIFY2(icecast.startSource(source, &error), qPrintable(error));
        QSettings().setValue(DesktopSettings::notificationsKey(), enabled);
        QSettings().setValue(DesktopSettings::trayIconKey(), true);
        desktop().applySettings();
        window().playStation(stationAt(icecast.mountUrl(source.mount).toString(), "Note Radio"));
        QTRY_COMPARE_WITH_TIMEOUT(window().channel()->State(), 1, 30000);
        for (const QString title : {"Artist - One", "Artist - One", "Artist - Two"}) {
            QVERIFY2(icecast.setTitle(source.mount, title, &error), qPrintable(error));
            QTRY_COMPARE_WITH_TIMEOUT(window().lblNowPlaying->text(), "Playing: " + title, 20000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!desktop().notifier()->isBusy(), 10000);
        QCOMPARE(fake.summaries, expected);
        QCOMPARE(window().findChild<QSystemTrayIcon *>("trayIcon")->toolTip(),
                 "Tunora Player\nNote Radio\nArtist - Two");
        serviceBus.unregisterService(DesktopNotifier::ServiceName);
        serviceBus.unregisterObject(DesktopNotifier::ObjectPath);
        QDBusConnection::disconnectFromBus("fake");
    }

    // From the menu: the volume fades over the last 30 s (3 s when the next title ends the song),
    // playback stops at the end and the listener's volume comes back.
    void sleepTimer_data()
    {
        QTest::addColumn<int>("item");      // position in the menu
        QTest::addColumn<qint64>("fadeAt"); // ms after the start, where the fade is half way
        QTest::addColumn<qint64>("endAt");  // -1: the next song ends it
        QTest::newRow("15 minutes") << 0 << qint64(15 * 60000 - 15000) << qint64(15 * 60000);
        QTest::newRow("90 minutes") << 3 << qint64(90 * 60000 - 15000) << qint64(90 * 60000);
        QTest::newRow("end of song") << 4 << qint64(-1) << qint64(-1);
    }

    void sleepTimer()
    {
        QFETCH(int, item);
        QFETCH(qint64, fadeAt);
        QFETCH(qint64, endAt);
        window().sldVolume->setValue(80);
        window().playStation(stationAt(silentUrl()));
        SleepTimer *timer = desktop().sleepTimer();
        s_now = 1000;
        desktop().sleepTimerMenu()->actions().at(item)->trigger();
        QVERIFY(timer->isActive());
        if (endAt < 0) {
            timer->songChanged();
            s_now += SleepTimer::TitleChangeFadeMs / 2;
        } else {
            s_now += fadeAt;
        }
        timer->tick();
        QCOMPARE(window().btPlay->toolTip(), "Stop");
        QVERIFY2(qAbs(BASS::GetMasterVolume() - 40) <= 2,
                 qPrintable(QString::number(BASS::GetMasterVolume())));
        s_now = endAt < 0 ? s_now + SleepTimer::TitleChangeFadeMs : 1000 + endAt;
        timer->tick();
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QCOMPARE(BASS::GetMasterVolume(), 80);
        QVERIFY(!timer->isActive());
        QVERIFY(desktop().sleepTimerMenu()->actions().last()->isChecked());
    }

    // Favourites go to the account by stream address and come back as a playlist; the wish list
    // goes out as CSV and comes back without doubles.
    void filesRoundTrip()
    {
        QTemporaryDir folder;
        QFile catalogue(folder.filePath("stations.json"));
        QVERIFY(catalogue.open(QIODevice::WriteOnly));
        // One station of the directory (built without a raw string literal: moc reads "//" in
        // one as the start of a comment).
        QJsonObject radio{{"Name", "Desk Test Radio"},
                          {"Genre", QJsonArray{"Jazz"}},
                          {"Country", "Germany"},
                          {"Region", ""},
                          {"Languages", QJsonArray()},
                          {"Homepage", ""},
                          {"Description", ""},
                          {"Codec", "MP3"},
                          {"Bitrate", 128},
                          {"StreamUri", "http://127.0.0.1:9/desk.mp3"},
                          {"alternativeStreams", QJsonObject()}};
        catalogue.write(
            QJsonDocument(QJsonObject{{"webradios", QJsonObject{{"desk-test", radio}}}}).toJson());
        catalogue.close();
        TunoraTest::DirectoryService service;
        TunoraTest::DirectoryService::Options options;
        options.importCatalogue = false;
        options.extraCatalogues << catalogue.fileName();
        QVERIFY2(service.start(options), qPrintable(service.errorString()));
        AppSettings &settings = AppSettings::instance();
        settings.setEndpoint(AppSettings::DirectoryRoot, service.root().toString());
        settings.setCaFile(service.caFile());
        m_window.reset();
        QVERIFY(TunoraTest::createListener(service, "desk", "secret word"));
        newWindow();

        // Import: one station of the directory (its address written differently), one unknown.
        QFile m3u(folder.filePath("in.m3u"));
        QVERIFY(m3u.open(QIODevice::WriteOnly));
        m3u.write("#EXTM3U\n#EXTINF:-1,Desk Test Radio\nHTTP://127.0.0.1:9/desk.mp3\n"
                  "#EXTINF:-1,Nowhere FM\nhttp://127.0.0.1:9/nowhere.mp3\n");
        m3u.close();
        QSignalSpy done(&desktop(), &WindowDesktop::signal_favoritesDone);
        desktop().importFavorites(m3u.fileName());
        QVERIFY(done.wait(30000));
        QVERIFY(done.at(0).at(0).toBool());
        const QString report = done.at(0).at(1).toString();
        QVERIFY2(report.startsWith("Stations added to the favorites: 1.") && report.contains("Nowhere FM") &&
                     !report.contains("Desk Test Radio"),
                 qPrintable(report));
        QCOMPARE(m_boxes.value(0), report);

        const QString xspf = folder.filePath("out.xspf");
        desktop().exportFavorites(xspf);
        QVERIFY(done.wait(30000));
        QVERIFY(done.at(1).at(0).toBool());
        QByteArray data;
        QList<ExportFiles::StationEntry> entries;
        QString error;
        QVERIFY(ExportFiles::loadFile(xspf, data, &error));
        QVERIFY(data.contains("<playlist"));
        QVERIFY(ExportFiles::readStations(data, entries, nullptr, &error));
        QCOMPARE(entries,
                 (QList<ExportFiles::StationEntry>{{"Desk Test Radio", "http://127.0.0.1:9/desk.mp3"}}));

        // The wish list: imported twice, kept once; exported, it reads back the same.
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
        const QString out = folder.filePath("out.csv");
        QVERIFY2(desktop().exportWishList(out, &error), qPrintable(error));
        QList<ExportFiles::WishRow> back;
        QVERIFY(ExportFiles::loadFile(out, data, &error));
        QVERIFY(ExportFiles::readWishList(data, back, nullptr, &error));
        std::sort(back.begin(), back.end(), [](const auto &a, const auto &b) { return a.time < b.time; });
        QCOMPARE(back, rows);
        settings.setCredentials(QString(), QString());
    }

    // A later start hands its arguments over: the running window plays them or says why not.
    void secondStart_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("playing"); // "" nothing new
        QTest::addColumn<QString>("status");
        QTest::newRow("address") << QStringList{"@silent"} << "@silent"
                                 << "Connecting";
        QTest::newRow("none") << QStringList() << ""
                              << "";
        QTest::newRow("refused") << QStringList{"ftp://127.0.0.1/x.mp3"} << ""
                                 << "Not played: ftp://127.0.0.1/x.mp3";
    }

    void secondStart()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, playing);
        QFETCH(QString, status);
        arguments.replaceInStrings("@silent", silentUrl());
        playing.replace("@silent", silentUrl());

        SingleInstance primary;
        QCOMPARE(primary.claim(), SingleInstance::Primary);
        connect(&primary, &SingleInstance::signal_activated, &desktop(), &WindowDesktop::openArguments);
        window().showMinimized();
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "later");
        {
            SingleInstance later(bus);
            QCOMPARE(later.claim(), SingleInstance::Secondary);
            QVERIFY(later.forward(arguments));
        }
        QDBusConnection::disconnectFromBus("later");
        QVERIFY(window().isVisible() && !window().isMinimized());
        QCOMPARE(window().btPlay->toolTip(), playing.isEmpty() ? "Play" : "Stop");
        if (!playing.isEmpty())
            QCOMPARE(window().station().firstStreamUrl(), playing);
        const QString shown = window().lblTrackHistory->text();
        QVERIFY2(status.isEmpty() ? shown.isEmpty() : shown.startsWith(status), qPrintable(shown));
    }
};

TUNORA_TEST_MAIN(TestDesktopWindow)
#include "tst_desktopwindow.moc"
