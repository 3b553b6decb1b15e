// The main window end to end: a station on a local Icecast mount played through the window,
// titles on the dashboard, stop and the stream's end; attempts on a silent server given up
// without holding the window; the play button, status line, track history and start-up rules;
// playlist texts and typed addresses; the desktop controls; the about box.

#undef QT_NO_CAST_FROM_ASCII

#include "about.h"
#include "appsettings.h"
#include "autoscrolltextbrowser.h"
#include "bassinit.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "icecast.h"
#include "listeneraccount.h"
#include "mpris.h"
#include "scriptedserver.h"
#include "testmain.h"
#include "threads.h"
#include "tunorade.h"
#include "tunorastream.h"

#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>

using TunoraTest::IcecastServer;
using TunoraTest::ScriptedServer;
using Script = ScriptedServer::Script;

namespace {

BASS::Station stationAt(const QString &url, const QString &name = "Test Radio")
{
    BASS::Station station;
    station.setName(name);
    station.setNetwork("Test Network");
    BASS::StationStream entry;
    entry.url = url;
    station.addStream(entry, true);
    return station;
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
    QStringList m_boxes;
    std::unique_ptr<TunoraDE> m_window;

    TunoraDE &window() { return *m_window; }
    bool attemptRunning() { return window().m_connectThread->isRunning(); }
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
        AppSettings::setApplicationFolderOverride(TunoraTest::IsolatedHome::path());
        // The language choice and the sign-in dialog are tested in tst_tunorade_acctweb.
        TunoraDE::setStartDialogsEnabled(false);
        // Every directory address points at a closed port: the window must work without it.
        AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, "https://127.0.0.1:9/");
        TunoraDE::setMessageHook(
            [this](BASS::MessageKind, const QString &, const QString &text, QMessageBox::StandardButtons) {
                m_boxes.append(text);
                return int(QMessageBox::Ok);
            });
        QVERIFY(m_silent.start([](int, const QByteArray &) { return Script{ScriptedServer::hold()}; }));
    }

    void init()
    {
        m_boxes.clear();
        m_window = std::make_unique<TunoraDE>(nullptr, 0);
        window().m_channel->SetFadeTimes(0, 0);
    }

    void cleanup() { m_window.reset(); }

    // Played from a station record: 6 -> 3 -> 1, titles move from "Playing" to "Last played",
    // a title with markup shows as it stands, the button stops, the server's end times out.
    void playsIcecastMount()
    {
        if (!IcecastServer::available())
            QSKIP("icecast2 or ffmpeg is not installed");
        IcecastServer icecast;
        QString error;
        QVERIFY2(icecast.start(&error), qPrintable(error));
        IcecastServer::Source source;
        QVERIFY2(icecast.startSource(source, &error), qPrintable(error));
        const QString mount = icecast.mountUrl(source.mount).toString();

        QSignalSpy stateSpy(&window(), &TunoraDE::signal_stateChanged);
        window().playStation(stationAt(mount, "Icecast Radio"));
        QCOMPARE(window().btPlay->toolTip(), "Stop");
        QCOMPARE(window().lblTrackHistory->text(), "Connecting...");
        QTRY_COMPARE_WITH_TIMEOUT(window().channel()->State(), 1, 30000);
        QCOMPARE(states(stateSpy).mid(1, 2), (QList<int>{6, 3}));
        QCOMPARE(window().btPlay->toolTip(), "Stop");
        QCOMPARE(window().lblStationName->text(), "Icecast Radio");
        QCOMPARE(window().lblNetwork->text(), "Test Network");
        QTRY_COMPARE(QSettings().value("StartupStationURL").toString(), mount);

        const QStringList titles{"Artist One - Song One", "Artist Two - <img src=x>"};
        for (const QString &title : titles) {
            QVERIFY2(icecast.setTitle(source.mount, title, &error), qPrintable(error));
            QTRY_COMPARE_WITH_TIMEOUT(window().lblNowPlaying->text(), "Playing: " + title, 20000);
        }
        QCOMPARE(window().lblLastPlaying->text(), "Last played: Artist One - Song One");
        QCOMPARE(window().lblNowPlaying->textFormat(), Qt::PlainText);
        QCOMPARE(window().lastTrack().song.title(), "Song One");

        QTest::mouseClick(window().btPlay, Qt::LeftButton);
        QVERIFY(!window().channel()->HasChannel());
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QVERIFY(window().lblNowPlaying->text().isEmpty());
        QVERIFY(window().lblLastPlaying->text().isEmpty());

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

    // Through the directory: with "StartupStationType" 1 an empty account history plays
    // nothing; once the account listened to a station, the next start-up plays it.
    void startsFromAccountHistory()
    {
        if (!IcecastServer::available())
            QSKIP("icecast2 or ffmpeg is not installed");
        IcecastServer icecast;
        QString error;
        QVERIFY2(icecast.start(&error), qPrintable(error));
        IcecastServer::Source source;
        QVERIFY2(icecast.startSource(source, &error), qPrintable(error));
        QTemporaryDir folder;
        QFile catalogue(folder.filePath("station.json"));
        QVERIFY(catalogue.open(QIODevice::WriteOnly));
        catalogue.write(R"({"webradios": {"window-test": {"Name": "Window Test Radio", "Genre": ["Jazz"],
            "Country": "Germany", "Region": "", "Languages": [], "Homepage": "", "Description": "",
            "Codec": "MP3", "Bitrate": 128, "StreamUri": ")" +
                        icecast.mountUrl(source.mount).toEncoded() + R"(", "alternativeStreams": {}}}})");
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
        QVERIFY(TunoraTest::createListener(service, "listener", "secret word"));
        settings.setStartupStationType(1);
        QSettings().remove("StartupStationURL");

        // An empty history: nothing is tried.
        m_window = std::make_unique<TunoraDE>(nullptr, 0);
        QSignalSpy finished(&window().api(), &BASS::BaseRadioAPI::signal_requestFinished);
        window().slot_startUp();
        QVERIFY(finished.wait(30000));
        QCOMPARE(window().channel()->State(), 0);
        QVERIFY(!window().channel()->IsResolving());

        // The station's listen address as the directory lists it for this account; fetching it
        // records the listen in the account's history.
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

        // The next start-up asks the history and plays its first station.
        m_window = std::make_unique<TunoraDE>(nullptr, 0);
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

    // An attempt on a server that never answers is given up by the button or by the next play
    // without waiting for it (bench/window-probe stop measures how long that takes); the
    // abandoned run leaves nothing behind.
    void abandonsSilentServer_data()
    {
        QTest::addColumn<bool>("playAgain");
        QTest::newRow("play button") << false;
        QTest::newRow("second play") << true;
    }

    void abandonsSilentServer()
    {
        QFETCH(bool, playAgain);
        const QString silent = QString::fromLatin1(m_silent.url("/silent.mp3"));
        window().playStation(stationAt(silent));
        QTRY_VERIFY_WITH_TIMEOUT(attemptRunning(), 10000);

        if (playAgain)
            window().playStation(stationAt(silent + "?again", "Second Radio"));
        else
            QTest::mouseClick(window().btPlay, Qt::LeftButton);

        QCOMPARE(window().btPlay->toolTip(), playAgain ? "Stop" : "Play");
        QTRY_VERIFY_WITH_TIMEOUT(!attemptRunning() || playAgain, 10000);
        if (playAgain) {
            // The second attempt runs once the first has ended, and is itself abandoned.
            QTRY_COMPARE_WITH_TIMEOUT(window().m_abandonedRuns, 0, 10000);
            QTRY_VERIFY_WITH_TIMEOUT(attemptRunning(), 10000);
            QCOMPARE(window().lblStationName->text(), "Second Radio");
            window().stop(true);
            QTRY_VERIFY_WITH_TIMEOUT(!attemptRunning(), 10000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(window().m_abandonedRuns, 0, 10000);
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QVERIFY(!window().channel()->HasChannel());
    }

    // Rules of the button, the status line, the history and the start-up, each from a fresh
    // window; `check` gives what went wrong, "" when all is well.
    void windowRules_data()
    {
        QTest::addColumn<std::function<QString(TestTunoraDE *)>>("check");
        const auto row = [](const char *name, std::function<QString(TestTunoraDE *)> check) {
            QTest::newRow(name) << check;
        };
        row("play with nothing played and no row", [](TestTunoraDE *t) {
            QTest::mouseClick(t->window().btPlay, Qt::LeftButton);
            const bool idle = !t->window().channel()->IsResolving() && !t->attemptRunning();
            return idle && t->window().btPlay->toolTip() == "Play" ? QString() : "an attempt started";
        });
        row("stall 0 then non-zero", [](TestTunoraDE *t) {
            TunoraDE &w = t->window();
            t->addTrack("A", "B");
            w.slot_bassEvent(w.channel(), BASS::EventStallChanged, 0);
            const QString stalled = w.lblTrackHistory->text();
            w.slot_bassEvent(w.channel(), BASS::EventStallChanged, 1);
            return stalled == "Buffering" && w.lblTrackHistory->text() == "Track History"
                       ? QString()
                       : stalled + " / " + w.lblTrackHistory->text();
        });
        row("transient status lasts five ticks", [](TestTunoraDE *t) {
            TunoraDE &w = t->window();
            w.showStatus("Transient");
            for (int tick = 0; tick < 4; ++tick)
                w.slot_displayTimerUpdate();
            const QString during = w.lblTrackHistory->text();
            w.slot_displayTimerUpdate();
            return during == "Transient" && w.lblTrackHistory->text().isEmpty() ? QString() : during;
        });
        row("version check due once, at the tenth tick", [](TestTunoraDE *t) {
            QSignalSpy due(&t->window(), &TunoraDE::signal_versionCheckDue);
            for (int tick = 0; tick < 30; ++tick) {
                t->window().slot_displayTimerUpdate();
                if (tick == 8 && !due.isEmpty())
                    return QStringLiteral("too early");
            }
            return due.size() == 1 ? QString() : QString::number(due.size());
        });
        row("21st track drops the oldest", [](TestTunoraDE *t) {
            for (int n = 1; n <= 21; ++n)
                t->addTrack("Artist", QString::number(n));
            const auto &history = t->window().trackHistory();
            return history.size() == 20 && history.first().song.title() == "2" &&
                           history.last().song.title() == "21"
                       ? QString()
                       : QString::number(history.size());
        });
        row("start-up type 1 with no history plays nothing", [](TestTunoraDE *t) {
            AppSettings::instance().setStartupStationType(1);
            t->window().slot_startUp();
            AppSettings::instance().setStartupStationType(0);
            return t->window().channel()->IsResolving() || t->attemptRunning() ? "an attempt started"
                                                                               : QString();
        });
        row("an unreadable document fails", [](TestTunoraDE *t) {
            TunoraDE &w = t->window();
            w.slot_TNStreamReady(w.channel(), 1, "\x01\x02 not a list");
            return w.channel()->State() == BASS::Stream::StateFailed
                       ? QString()
                       : "state " + QString::number(w.channel()->State());
        });
    }

    void windowRules()
    {
        QFETCH(std::function<QString(TestTunoraDE *)>, check);
        QSettings().remove("StartupStationURL");
        m_window.reset();
        m_window = std::make_unique<TunoraDE>(nullptr, 0);
        const QString problem = check(this);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // A downloaded text becomes the list the connect thread opens; a text naming another
    // playlist is downloaded in turn instead.
    void streamReady_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<bool>("nested");
        const QString a = QString::fromLatin1(m_silent.url("/a.mp3"));
        const QString b = QString::fromLatin1(m_silent.url("/b.aac"));
        QTest::newRow("bare address") << a << QStringList{a} << false;
        QTest::newRow("pls") << "[playlist]\nFile1=" + a + "\nFile2=" + b + "\n"
                             << QStringList{a, b} << false;
        QTest::newRow("m3u") << "#EXTM3U\n#EXTINF:-1,x\n" + b + "\n" << QStringList{b} << false;
        QTest::newRow("playlist reference")
            << "#EXTM3U\n" + QString::fromLatin1(m_silent.url("/next.PLS")) << QStringList() << true;
    }

    void streamReady()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, urls);
        QFETCH(bool, nested);
        TunoraStream *channel = window().channel();
        window().slot_TNStreamReady(channel, 1, text);
        QCOMPARE(channel->NestedRequestId() != 0, nested);
        if (!nested) {
            QCOMPARE(channel->Urls(), urls);
            QTRY_VERIFY_WITH_TIMEOUT(attemptRunning(), 10000);
            QCOMPARE(window().btPlay->toolTip(), "Stop");
        }
        window().stop(true);
        QTRY_VERIFY_WITH_TIMEOUT(!attemptRunning(), 10000);
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
        QTest::newRow("script refused") << QStringList{"javascript:alert(1)"} << 0 << "" << 0;
        QStringList many;
        for (int n = 0; n < 12; ++n)
            many << QStringLiteral("https://127.0.0.1:9/%1.mp3").arg(n % 11);
        QTest::newRow("eleven kept as ten") << many << 12 << "https://127.0.0.1:9/0.mp3" << 10;
    }

    void openAddress()
    {
        QFETCH(QStringList, typed);
        QFETCH(int, played);
        QFETCH(QString, newest);
        QFETCH(int, kept);
        QSettings().remove("RecentURLs");
        int accepted = 0;
        for (const QString &text : typed)
            accepted += window().openAddress(text) ? 1 : 0;
        QCOMPARE(accepted, played);
        const QStringList recent = QSettings().value("RecentURLs").toStringList();
        QCOMPARE(recent.value(0), newest);
        QCOMPARE(recent.size(), kept);
        if (played > 0)
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

        window().m_station = stationAt(QString::fromLatin1(m_silent.url("/silent.mp3")));
        emit mpris->sig_playPauseRequested();
        QCOMPARE(window().btPlay->toolTip(), "Stop");
        emit mpris->sig_playRequested(); // already under way: stays
        QCOMPARE(window().btPlay->toolTip(), "Stop");
        emit mpris->sig_stopRequested();
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QTRY_VERIFY_WITH_TIMEOUT(!attemptRunning(), 10000);
    }

    void aboutBox()
    {
        AboutDialog about(&window());
        QCOMPARE(about.windowTitle(), "About");
        QCOMPARE(about.versionLabel()->text(), "Version 1.02");
        QVERIFY(!about.headerLabel()->pixmap().isNull());
        QVERIFY(!about.description()->toPlainText().isEmpty());
        QVERIFY(about.linkLabel()->text().contains("href=\"http"));
    }
};

TUNORA_TEST_MAIN(TestTunoraDE)
#include "tst_tunorade.moc"
