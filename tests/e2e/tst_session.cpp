// One listening session on the real program: the TunoraDE executable of this build runs under a
// virtual X server with a home of its own, talks to a directory service and an Icecast station
// started here, plays into a private PulseAudio, and is driven through its widgets and keys by a
// driver plugin loaded into it (driver/driver.cpp). The steps run in order as the rows of one
// table; a failed step names itself and what the program showed, and the steps after it are
// skipped.
#include "directoryservice.h"
#include "httpserver.h"
#include "icecast.h"
#include "net.h"
#include "pulse.h"
#include "testmain.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>

#include <memory>

#include <signal.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using TunoraTest::DirectoryService;
using TunoraTest::IcecastServer;

namespace {

const QString Station = u"E2E Demo Radio"_s;
const QString Mount = u"/e2e.mp3"_s;
const QString FirstSong = u"Harbour Lights - Morning Tide"_s;
const QString SecondSong = u"Paper Boats - Evening Drift"_s;
// The cover of the second song: one colour the player's cover label must show.
const QString CoverColour = u"#c81ea0"_s;
const QString Member = u"e2e-listener"_s;
const QString Password = u"long enough secret"_s;
const QString Window = u"TunoraDEClass"_s;

using Step = QJsonObject;

// A widget of the main window by its path below it.
QString at(const QString &path)
{
    return Window + u'/' + path;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty())
            QSKIP("Xvfb is not installed");
        if (!IcecastServer::available())
            QSKIP("icecast2 or ffmpeg is not installed");
        QString error;
        QVERIFY2(m_pulse.start(&error), qPrintable(error));
        QVERIFY2(m_icecast.start(&error), qPrintable(error));
        IcecastServer::Source source;
        source.mount = Mount;
        source.name = Station;
        source.genre = u"Electronic"_s;
        source.input = u"sine=frequency=330"_s;
        QVERIFY2(m_icecast.startSource(source, &error), qPrintable(error));
        QVERIFY2(m_icecast.setTitle(Mount, FirstSong, &error), qPrintable(error));

        // The directory knows one station, in a sub-genre, and the covers of both songs.
        QImage cover(120, 120, QImage::Format_RGB32);
        cover.fill(QColor(CoverColour));
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && cover.save(&buffer, "JPG", 95));
        m_covers.setResponse(u"/cover.jpg"_s, TunoraTest::HttpResponse::ok(jpeg, "image/jpeg"));
        QVERIFY(m_covers.listen());
        QVERIFY(m_home.isValid());
        const QString catalogue = m_home.filePath(u"station.json"_s);
        const QString json =
            QStringLiteral(R"({"webradios": {"e2e-demo": {"Name": "%1", "Genre": ["Electronic"],
            "Country": "Germany", "Region": "", "Languages": [], "Homepage": "", "Codec": "MP3", "Bitrate": 128,
            "Description": "A station of the session test", "StreamUri": "%2", "alternativeStreams": {}}}})");
        QVERIFY(writeFile(catalogue, json.arg(Station, m_icecast.mountUrl(Mount).toString()).toUtf8()));
        DirectoryService::Options options;
        options.importCatalogue = false;
        options.extraCatalogues << catalogue;
        QVERIFY2(m_service.start(options), qPrintable(m_service.errorString()));
        QJsonArray covers;
        for (const QString &song : {FirstSong, SecondSong})
            covers.append(QJsonObject{{u"artistName"_s, song.section(u" - "_s, 0, 0)},
                                      {u"trackName"_s, song.section(u" - "_s, 1)},
                                      {u"collectionCensoredName"_s, u"Session Tapes"_s},
                                      {u"artworkUrl100"_s, m_covers.url(u"/cover.jpg"_s)},
                                      {u"primaryGenreName"_s, u"Electronic"_s}});
        const QString coverFile = m_home.filePath(u"covers.json"_s);
        QVERIFY(writeFile(coverFile, QJsonDocument(QJsonObject{{u"results"_s, covers}}).toJson()));
        QString output;
        QVERIFY2(m_service.runTool({u"import-covers"_s, coverFile}, &output) == 0, qPrintable(output));

        QVERIFY2(startXvfb(&error), qPrintable(error));
        QVERIFY2(prepareProgram(&error), qPrintable(error));
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        QVERIFY(m_server.listen(m_home.filePath(u"driver.socket"_s)));
    }

    void cleanupTestCase()
    {
        stopProgram();
        TunoraTest::endProcess(m_xvfb, 10000);
        m_icecast.stop();
        if (m_service.isRunning())
            QVERIFY2(m_service.stop(), qPrintable(m_service.errorString()));
    }

    void session_data()
    {
        QTest::addColumn<Step>("step");
        auto add = [](const char *name, Step step) { QTest::newRow(name) << step; };
        auto op = [](const QString &name, const QString &path = {}) {
            return Step{{u"op"_s, name}, {u"path"_s, path}};
        };
        auto with = [](Step step, const QString &key, const QJsonValue &value) {
            step.insert(key, value);
            return step;
        };
        auto wait = [&](const QString &path, const QString &match, int timeout = 30000) {
            return with(with(op(u"wait"_s, path), u"match"_s, match), u"timeout"_s, timeout);
        };
        auto type = [&](const QString &path, const QString &text) {
            return with(op(u"type"_s, path), u"text"_s, text);
        };
        // A row of a tree by its text: clicked, or with `action` "present" or "return".
        auto row = [&](const QString &tree, const QString &text, int column,
                       const QString &action = u"click"_s) {
            Step step = with(with(op(u"item"_s, at(tree)), u"text"_s, text), u"column"_s, column);
            return with(with(step, u"action"_s, action), u"timeout"_s, 60000);
        };
        // A section or genre of the menu, clicked until the station list it brings is shown.
        auto section = [&](const QString &text, const QString &list) {
            return with(row(u"twRadio"_s, text, 0), u"expect"_s, at(list));
        };
        auto listed = [&](const QString &list) { return row(list, Station, 2, u"present"_s); };
        auto page = [&](const QString &frame, const QString &match) {
            return with(with(op(u"page"_s, at(frame)), u"match"_s, match), u"timeout"_s, 60000);
        };
        auto language = [&] {
            return with(wait(u"LanguageDlgClass/cbLanguages"_s, u"^English$"_s), u"property"_s,
                        u"currentText"_s);
        };
        const QString firstTitle = QRegularExpression::escape(FirstSong.section(u" - "_s, 1));
        const QString secondTitle = QRegularExpression::escape(SecondSong.section(u" - "_s, 1));
        const QString email = Member + u"@example.org"_s;

        add("first start", op(u"test:launch"_s));
        add("languages offered", language());
        add("language question answered", op(u"click"_s, u"LanguageDlgClass/btNext"_s));
        add("sign-up form opened", op(u"link"_s, u"login/lblNotAMember"_s));
        add("member name typed", type(u"login/Signup/leUsername"_s, Member));
        add("password typed", type(u"login/Signup/lePassword"_s, Password));
        add("password retyped", type(u"login/Signup/leRetypePassword"_s, Password));
        add("e-mail typed", type(u"login/Signup/leEmail"_s, email));
        add("e-mail retyped", type(u"login/Signup/leRetypeEmail"_s, email));
        add("sign-up sent", op(u"click"_s, u"login/Signup/btSignUp"_s));
        add("activation link in the mail followed", op(u"test:activate"_s));
        // Once activated the dialog may sign in by itself before the click.
        add("signed in", with(op(u"click"_s, u"login/btSignIn"_s), u"ifPresent"_s, true));
        add("main window shown", wait(Window, u".*"_s, 60000));
        add("genres opened", row(u"twRadio"_s, u"GENRES"_s, 0));
        add("genre opened", section(u"Electronic & Dance"_s, u"twStations4"_s));
        add("station listed in the genre", listed(u"twStations4"_s));
        add("station played with Return", row(u"twStations4"_s, Station, 2, u"return"_s));
        add("first title shown", wait(at(u"lblNowPlaying"_s), firstTitle, 60000));
        add("title changed at the station", with(op(u"test:title"_s), u"text"_s, SecondSong));
        add("second title shown", wait(at(u"lblNowPlaying"_s), secondTitle, 60000));
        add("first title moved to last played", wait(at(u"lblLastPlaying"_s), firstTitle));
        add("cover shown",
            with(with(op(u"colour"_s, at(u"lblCoverArt"_s)), u"rgb"_s, CoverColour), u"timeout"_s, 60000));
        add("song in the track history", wait(at(u"lblTrackHistory"_s), u".+"_s, 60000));
        add("track history opened", op(u"click"_s, at(u"lblTrackHistory"_s)));
        add("song put on the wish list",
            with(page(u"TrackHistoryFrame"_s, secondTitle), u"click"_s, u"a[href*=add_to_wishlist]"_s));
        add("genre list shown again", section(u"Electronic & Dance"_s, u"twStations4"_s));
        add("station made a favourite", with(row(u"twStations4"_s, Station, 2), u"clickColumn"_s, 0));
        add("favourites opened", section(u"FAVORITES"_s, u"twStations1"_s));
        add("favourite listed", listed(u"twStations1"_s));
        add("quit with Ctrl+Q", with(op(u"key"_s, Window), u"keys"_s, u"Ctrl+Q"_s));
        add("program ended", op(u"test:exit"_s));

        add("second start", op(u"test:launch"_s));
        add("main window shown again", wait(Window, u".*"_s, 60000));
        add("favourite kept", section(u"FAVORITES"_s, u"twStations1"_s));
        add("favourite listed again", listed(u"twStations1"_s));
        add("history opened", section(u"HISTORY"_s, u"twStations5"_s));
        add("station in the history", listed(u"twStations5"_s));
        add("wish list opened", section(u"WISH LIST"_s, u"TrackWishListFrame"_s));
        add("song on the wish list", page(u"TrackWishListFrame"_s, firstTitle + u'|' + secondTitle));
        add("signed out from the menu",
            with(with(op(u"menu"_s, Window), u"menu"_s, u"menuFile"_s), u"action"_s, u"actionSign_out"_s));
        add("program restarted signed out", op(u"test:restarted"_s));
        add("languages offered again", language());
        add("language question answered again", op(u"click"_s, u"LanguageDlgClass/btNext"_s));
        add("sign-in asked", wait(u"login"_s, u".*"_s, 60000));
        add("sign-in cancelled", with(op(u"key"_s, u"login"_s), u"keys"_s, u"Escape"_s));
        add("program ended without an account", op(u"test:exit"_s));
        add("account gone from the settings", op(u"test:signedout"_s));
    }

    void session()
    {
        QFETCH(Step, step);
        if (m_broken)
            QSKIP("an earlier step failed");
        const QString op = step.value(u"op"_s).toString();
        QString detail;
        bool ok = false;
        if (op == u"test:launch"_s) {
            ok = launch(false, &detail);
        } else if (op == u"test:restarted"_s) {
            // The program starts itself again and ends the signed-in run.
            m_restarted = true;
            ok = launch(true, &detail) &&
                 (m_player.state() == QProcess::NotRunning || m_player.waitForFinished(60000)) &&
                 m_player.exitStatus() == QProcess::NormalExit && m_player.exitCode() == 0;
            if (!ok && detail.isEmpty())
                detail = u"the signed-in program did not end cleanly (code %1)"_s.arg(m_player.exitCode());
        } else if (op == u"test:activate"_s) {
            ok = activate(&detail);
        } else if (op == u"test:title"_s) {
            ok = m_icecast.setTitle(Mount, step.value(u"text"_s).toString(), &detail);
        } else if (op == u"test:exit"_s) {
            ok = waitForExit(&detail);
        } else if (op == u"test:signedout"_s) {
            ok = checkSignedOut(&detail);
        } else {
            ok = runDriverStep(step, &detail);
        }
        if (!ok) {
            m_broken = true;
            stopProgram();
        }
        QVERIFY2(ok, qPrintable(detail));
    }

private:
    bool startXvfb(QString *error)
    {
        // The server picks a free display and writes its number to the descriptor given.
        m_xvfb.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x1024x24"_s,
                                 u"-nolisten"_s, u"tcp"_s});
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (!out.contains('\n') && clock.elapsed() < 30000 && m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.waitForReadyRead(500);
            out += m_xvfb.readAllStandardOutput();
        }
        bool ok = false;
        const int display = out.trimmed().toInt(&ok);
        if (!ok)
            *error = u"Xvfb did not start: "_s + QString::fromLocal8Bit(m_xvfb.readAllStandardError());
        m_display = u":%1"_s.arg(display);
        return ok;
    }

    // The program runs from a folder of its own (a link to, or copy of, this build's executable with
    // its pages beside it), so its portable settings file is this test's alone.
    bool prepareProgram(QString *error)
    {
        const QString built = QStringLiteral(TUNORA_E2E_PLAYER);
        m_program = std::make_unique<QTemporaryDir>(QStringLiteral(TUNORA_E2E_WORK "/program-XXXXXX"));
        m_executable = m_program->filePath(u"TunoraDE"_s);
        const QString html = QFileInfo(built).dir().filePath(u"Html"_s);
        if (!m_program->isValid() ||
            (::link(QFile::encodeName(built).constData(), QFile::encodeName(m_executable).constData()) != 0 &&
             !QFile::copy(built, m_executable)) ||
            (QFileInfo::exists(html) && !QFile::link(html, m_program->filePath(u"Html"_s)))) {
            *error = u"cannot place %1 and its pages in a folder under %2"_s.arg(
                built, QStringLiteral(TUNORA_E2E_WORK));
            return false;
        }
        QSettings ini(settingsFile(), QSettings::IniFormat);
        for (const QString &key : {u"directory"_s, u"news"_s, u"website"_s})
            ini.setValue(u"endpoints/"_s + key, m_service.root().toString());
        ini.setValue(u"endpoints/ca_file"_s, m_service.caFile());
        // Nothing else is asked: the covers come from the directory's song search.
        for (const QString &key : {u"cover_shop"_s, u"image_search"_s, u"track_info"_s, u"lyrics"_s,
                                   u"artist_wiki"_s, u"artist_info"_s, u"web_search"_s})
            ini.setValue(u"endpoints/"_s + key, QString());
        ini.sync();
        if (ini.status() != QSettings::NoError)
            *error = u"cannot write the settings file"_s;
        return ini.status() == QSettings::NoError;
    }

    bool launch(bool restarted, QString *error)
    {
        if (!restarted) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"DISPLAY"_s, m_display);
            env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
            // The driver comes with every start, also the one the program makes itself on sign-out.
            env.insert(u"QT_QPA_GENERIC_PLUGINS"_s, u"tunorae2edriver"_s);
            env.insert(u"QT_PLUGIN_PATH"_s, QStringLiteral(TUNORA_E2E_PLUGINS));
            env.insert(u"TUNORA_E2E_SOCKET"_s, m_server.fullServerName());
            env.insert(u"QTWEBENGINE_DISABLE_SANDBOX"_s, u"1"_s);
            // Under the sanitizers: the web engine's known exemption, as in the web-view tests; no
            // strict string checks (the X keyboard library copies names of a given length that have no
            // terminating zero, which that check reports as an overflow); and no leak check at exit:
            // the X and GL libraries unloaded by then leave allocations that the leak checker can
            // neither name nor be told to ignore. The window's own leaks are checked in process by
            // the window tests; every other error still ends the program with a failure here.
            if (env.contains(u"ASAN_OPTIONS"_s))
                env.insert(u"ASAN_OPTIONS"_s,
                           env.value(u"ASAN_OPTIONS"_s) +
                               u":new_delete_type_mismatch=0:strict_string_checks=0:detect_leaks=0"_s);
            m_player.setProcessEnvironment(env);
            m_player.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            m_player.setStandardOutputFile(QProcess::nullDevice());
            m_player.start(m_executable, {});
            if (!m_player.waitForStarted(30000)) {
                *error = u"the program did not start: "_s + m_player.errorString();
                return false;
            }
        }
        if (m_driver)
            m_driver->deleteLater();
        m_driver = nullptr;
        m_buffer.clear();
        QElapsedTimer waited;
        waited.start();
        while (!m_server.hasPendingConnections() && !m_server.waitForNewConnection(200)) {
            if (!restarted && m_player.state() == QProcess::NotRunning) {
                *error = u"the program ended at start (code %1)"_s.arg(m_player.exitCode());
                return false;
            }
            if (waited.elapsed() > 90000) {
                *error = u"the program's driver did not call within 90 s"_s;
                return false;
            }
        }
        m_driver = m_server.nextPendingConnection();
        QJsonObject hello;
        m_pid = nextAnswer(30000, &hello) ? hello.value(u"hello"_s).toInteger() : 0;
        if (m_pid <= 0)
            *error = u"the driver did not say hello"_s;
        return m_pid > 0;
    }

    // The driver's next line; this test's own servers (the covers) keep answering meanwhile.
    bool nextAnswer(int timeoutMs, QJsonObject *answer)
    {
        QElapsedTimer clock;
        clock.start();
        while (!m_buffer.contains('\n')) {
            if (clock.elapsed() > timeoutMs || !m_driver || m_driver->state() != QLocalSocket::ConnectedState)
                return false;
            QTest::qWait(20);
            m_buffer += m_driver->readAll();
        }
        const qsizetype end = m_buffer.indexOf('\n');
        *answer = QJsonDocument::fromJson(m_buffer.left(end)).object();
        m_buffer.remove(0, end + 1);
        return true;
    }

    bool runDriverStep(const Step &step, QString *detail)
    {
        if (!m_driver || m_driver->state() != QLocalSocket::ConnectedState) {
            *detail = u"the program is not running"_s;
            return false;
        }
        m_driver->write(QJsonDocument(step).toJson(QJsonDocument::Compact) + '\n');
        QJsonObject reply;
        if (!nextAnswer(step.value(u"timeout"_s).toInt(30000) + 30000, &reply)) {
            *detail = u"the program stopped answering"_s;
            if (m_player.state() == QProcess::NotRunning && !m_restarted)
                *detail += m_player.exitStatus() == QProcess::CrashExit
                               ? u": it crashed"_s
                               : u": it ended with code %1"_s.arg(m_player.exitCode());
            return false;
        }
        const bool ok = reply.value(u"ok"_s).toBool();
        *detail = reply.value(ok ? u"detail"_s : u"error"_s).toString();
        return ok;
    }

    bool waitForExit(QString *error)
    {
        if (m_player.state() != QProcess::NotRunning && m_player.processId() == m_pid) {
            if (!m_player.waitForFinished(60000))
                *error = u"the program did not end within 60 s"_s;
            else if (m_player.exitStatus() != QProcess::NormalExit || m_player.exitCode() != 0)
                *error = u"the program ended with code %1"_s.arg(m_player.exitCode());
            return error->isEmpty();
        }
        // The program started by the program itself is not our child: its end is the end of its
        // process (and of the driver's connection).
        const auto gone = [this] {
            QFile stat(u"/proc/%1/stat"_s.arg(m_pid));
            return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
        };
        if (!QTest::qWaitFor(gone, 60000))
            *error = u"the restarted program did not end within 60 s"_s;
        return error->isEmpty();
    }

    bool activate(QString *error)
    {
        QUrl link;
        if (!QTest::qWaitFor(
                [&] { return !(link = m_service.linkFromLastMail(u"/account/activate"_s)).isEmpty(); },
                30000)) {
            *error = u"no activation mail in %1"_s.arg(m_service.maildir());
            return false;
        }
        QNetworkAccessManager manager;
        QNetworkRequest request(link);
        request.setSslConfiguration(m_service.sslConfiguration());
        request.setTransferTimeout(30000);
        std::unique_ptr<QNetworkReply> reply(manager.get(request));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (!finished.wait(40000) || reply->error() != QNetworkReply::NoError)
            *error = u"the activation link failed: "_s + reply->errorString();
        return error->isEmpty();
    }

    bool checkSignedOut(QString *error)
    {
        QSettings ini(settingsFile(), QSettings::IniFormat);
        if (!ini.value(u"username"_s).toString().isEmpty() ||
            !ini.value(u"password"_s).toString().isEmpty() || !ini.value(u"SignedOut"_s).toBool())
            *error = u"the settings still hold the account or do not say signed out"_s;
        return error->isEmpty();
    }

    void stopProgram()
    {
        TunoraTest::endProcess(m_player, 15000);
        // A program the program restarted itself is ended by its recorded id.
        if (m_pid > 0 && m_pid != m_player.processId() && QFileInfo::exists(u"/proc/%1"_s.arg(m_pid)))
            ::kill(pid_t(m_pid), SIGTERM);
    }

    QString settingsFile() const { return m_program->filePath(u"Corvella/TunoraDE.ini"_s); }

    TunoraTest::PulseServer m_pulse;
    IcecastServer m_icecast;
    DirectoryService m_service;
    TunoraTest::HttpServer m_covers;
    QProcess m_xvfb;
    QString m_display;
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_program;
    QString m_executable;
    QLocalServer m_server;
    QPointer<QLocalSocket> m_driver;
    QByteArray m_buffer;
    QProcess m_player;
    qint64 m_pid = 0;
    bool m_broken = false;
    // The program runs as started by itself (after signing out), not as this test's child.
    bool m_restarted = false;
};

TUNORA_TEST_MAIN(TestSession)
#include "tst_session.moc"
