// One listening session on the real program: the TunoraDE executable of this build runs under a
// virtual X server with a home of its own, talks to a directory service and an Icecast station
// started here, plays into a private PulseAudio, and is driven through its widgets and keys by a
// driver plugin loaded into it (driver/driver.cpp). The steps run in order as the rows of one
// table; a failed step names itself and what the program showed, and the steps after it are
// skipped.
#include "directoryservice.h"
#include "httpserver.h"
#include "icecast.h"
#include "pulse.h"
#include "testmain.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
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
#include <QTemporaryDir>

#include <memory>

#include <signal.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using TunoraTest::DirectoryService;
using TunoraTest::IcecastServer;

namespace {

const QString Station = QStringLiteral("E2E Demo Radio");
const QString Mount = QStringLiteral("/e2e.mp3");
const QString FirstSong = QStringLiteral("Harbour Lights - Morning Tide");
const QString SecondSong = QStringLiteral("Paper Boats - Evening Drift");
// The cover of the second song: one colour the player's cover label must show.
const QString CoverColour = QStringLiteral("#c81ea0");
const QString Member = QStringLiteral("e2e-listener");
const QString Password = QStringLiteral("long enough secret");
const QString Window = QStringLiteral("TunoraDEClass");

using Step = QJsonObject;

// A widget of the main window by its path below it.
QString at(const QString &path)
{
    return Window + QLatin1Char('/') + path;
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void session_data();
    void session();

private:
    bool startXvfb(QString *error);
    bool prepareProgram(QString *error);
    bool launch(bool restarted, QString *error);
    bool runDriverStep(const Step &step, QString *detail);
    bool waitForExit(QString *error);
    bool activate(QString *error);
    bool checkRecording(QString *error);
    bool checkSignedOut(QString *error);
    QString recordingsFolder() const { return m_home.filePath(QStringLiteral("recordings")); }
    void stopProgram();

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
    bool m_noRecordControl = false;
    // The program runs as started by itself (after signing out), not as this test's child.
    bool m_restarted = false;
};

void TestSession::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is not installed");
    if (!IcecastServer::available())
        QSKIP("icecast2 or ffmpeg is not installed");
    QString error;
    QVERIFY2(m_pulse.start(&error), qPrintable(error));
    QVERIFY2(m_icecast.start(&error), qPrintable(error));
    IcecastServer::Source source;
    source.mount = Mount;
    source.name = Station;
    source.genre = QStringLiteral("Electronic");
    source.input = QStringLiteral("sine=frequency=330");
    QVERIFY2(m_icecast.startSource(source, &error), qPrintable(error));
    QVERIFY2(m_icecast.setTitle(Mount, FirstSong, &error), qPrintable(error));

    // The directory knows one station, in a sub-genre, and the covers of both songs.
    QImage cover(120, 120, QImage::Format_RGB32);
    cover.fill(QColor(CoverColour));
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(cover.save(&buffer, "JPG", 95));
    }
    m_covers.setResponse(QStringLiteral("/cover.jpg"), TunoraTest::HttpResponse::ok(jpeg, "image/jpeg"));
    QVERIFY(m_covers.listen());
    QVERIFY(m_home.isValid());
    const QString catalogue = m_home.filePath(QStringLiteral("station.json"));
    QJsonObject entry{{u"Name"_s, Station},
                      {u"Genre"_s, QJsonArray{u"Electronic"_s}},
                      {u"Country"_s, u"Germany"_s},
                      {u"Region"_s, u""_s},
                      {u"Languages"_s, QJsonArray{}},
                      {u"Homepage"_s, u""_s},
                      {u"Description"_s, u"A station of the session test"_s},
                      {u"Codec"_s, u"MP3"_s},
                      {u"Bitrate"_s, 128},
                      {u"StreamUri"_s, m_icecast.mountUrl(Mount).toString()},
                      {u"alternativeStreams"_s, QJsonObject{}}};
    QFile file(catalogue);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(
                QJsonDocument(QJsonObject{{u"webradios"_s, QJsonObject{{u"e2e-demo"_s, entry}}}}).toJson()) >
            0);
    file.close();
    DirectoryService::Options options;
    options.importCatalogue = false;
    options.extraCatalogues << catalogue;
    QVERIFY2(m_service.start(options), qPrintable(m_service.errorString()));
    QJsonArray covers;
    for (const QString &song : {FirstSong, SecondSong})
        covers.append(QJsonObject{{u"artistName"_s, song.section(QStringLiteral(" - "), 0, 0)},
                                  {u"trackName"_s, song.section(QStringLiteral(" - "), 1)},
                                  {u"collectionCensoredName"_s, u"Session Tapes"_s},
                                  {u"artworkUrl100"_s, m_covers.url(QStringLiteral("/cover.jpg"))},
                                  {u"primaryGenreName"_s, u"Electronic"_s}});
    const QString coverFile = m_home.filePath(QStringLiteral("covers.json"));
    QFile coverList(coverFile);
    QVERIFY(coverList.open(QIODevice::WriteOnly));
    QVERIFY(coverList.write(QJsonDocument(QJsonObject{{u"results"_s, covers}}).toJson()) > 0);
    coverList.close();
    QString output;
    QVERIFY2(m_service.runTool({QStringLiteral("import-covers"), coverFile}, &output) == 0,
             qPrintable(output));

    QVERIFY2(startXvfb(&error), qPrintable(error));
    QVERIFY2(prepareProgram(&error), qPrintable(error));
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    QVERIFY(m_server.listen(m_home.filePath(QStringLiteral("driver.socket"))));
}

void TestSession::cleanupTestCase()
{
    stopProgram();
    if (m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.terminate();
        if (!m_xvfb.waitForFinished(10000))
            m_xvfb.kill();
        m_xvfb.waitForFinished(5000);
    }
    m_icecast.stop();
    if (m_service.isRunning())
        QVERIFY2(m_service.stop(), qPrintable(m_service.errorString()));
}

bool TestSession::startXvfb(QString *error)
{
    // The server picks a free display and writes its number to the descriptor given.
    m_xvfb.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp")});
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (!out.contains('\n') && clock.elapsed() < 30000 && m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.waitForReadyRead(500);
        out += m_xvfb.readAllStandardOutput();
    }
    bool ok = false;
    const int display = out.trimmed().toInt(&ok);
    if (!ok) {
        *error =
            QStringLiteral("Xvfb did not start: ") + QString::fromLocal8Bit(m_xvfb.readAllStandardError());
        return false;
    }
    m_display = QStringLiteral(":%1").arg(display);
    return true;
}

// The program runs from a folder of its own (a link to, or copy of, this build's executable with
// its pages beside it), so its portable settings file is this test's alone.
bool TestSession::prepareProgram(QString *error)
{
    const QString built = QStringLiteral(TUNORA_E2E_PLAYER);
    m_program = std::make_unique<QTemporaryDir>(QStringLiteral(TUNORA_E2E_WORK "/program-XXXXXX"));
    if (!m_program->isValid()) {
        *error = QStringLiteral("no program folder under ") + QStringLiteral(TUNORA_E2E_WORK);
        return false;
    }
    m_executable = m_program->filePath(QStringLiteral("TunoraDE"));
    if (::link(QFile::encodeName(built).constData(), QFile::encodeName(m_executable).constData()) != 0 &&
        !QFile::copy(built, m_executable)) {
        *error = QStringLiteral("cannot place %1 in %2").arg(built, m_program->path());
        return false;
    }
    const QString html = QFileInfo(built).dir().filePath(QStringLiteral("Html"));
    if (QFileInfo::exists(html) && !QFile::link(html, m_program->filePath(QStringLiteral("Html")))) {
        *error = QStringLiteral("cannot link the pages folder");
        return false;
    }
    QDir().mkpath(recordingsFolder());
    QSettings ini(m_program->filePath(QStringLiteral("Corvella/TunoraDE.ini")), QSettings::IniFormat);
    ini.setValue(QStringLiteral("endpoints/directory"), m_service.root().toString());
    ini.setValue(QStringLiteral("endpoints/ca_file"), m_service.caFile());
    ini.setValue(QStringLiteral("endpoints/news"), m_service.root().toString());
    ini.setValue(QStringLiteral("endpoints/website"), m_service.root().toString());
    // Nothing else is asked: the covers come from the directory's song search.
    for (const QString &key : {u"cover_shop"_s, u"image_search"_s, u"track_info"_s, u"lyrics"_s,
                               u"artist_wiki"_s, u"artist_info"_s, u"web_search"_s})
        ini.setValue(QStringLiteral("endpoints/") + key, QString());
    ini.setValue(QStringLiteral("RecordingsFolder"), recordingsFolder());
    ini.sync();
    if (ini.status() != QSettings::NoError) {
        *error = QStringLiteral("cannot write the settings file");
        return false;
    }
    return true;
}

bool TestSession::launch(bool restarted, QString *error)
{
    if (!restarted) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // The driver comes with every start, also the one the program makes itself on sign-out.
        env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("tunorae2edriver"));
        env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(TUNORA_E2E_PLUGINS));
        env.insert(QStringLiteral("TUNORA_E2E_SOCKET"), m_server.fullServerName());
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        // Under the sanitizers: the web engine's known exemption, as in the web-view tests; no
        // strict string checks (the X keyboard library copies names of a given length that have no
        // terminating zero, which that check reports as an overflow); and no leak check at exit:
        // the X and GL libraries unloaded by then leave allocations that the leak checker can
        // neither name nor be told to ignore. The window's own leaks are checked in process by
        // the window tests; every other error still ends the program with a failure here.
        if (env.contains(QStringLiteral("ASAN_OPTIONS")))
            env.insert(
                QStringLiteral("ASAN_OPTIONS"),
                env.value(QStringLiteral("ASAN_OPTIONS")) +
                    QStringLiteral(":new_delete_type_mismatch=0:strict_string_checks=0:detect_leaks=0"));
        m_player.setProcessEnvironment(env);
        m_player.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_player.setStandardOutputFile(QProcess::nullDevice());
        m_player.start(m_executable, {});
        if (!m_player.waitForStarted(30000)) {
            *error = QStringLiteral("the program did not start: ") + m_player.errorString();
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
            *error = QStringLiteral("the program ended at start (code %1)").arg(m_player.exitCode());
            return false;
        }
        if (waited.elapsed() > 90000) {
            *error = QStringLiteral("the program's driver did not call within 90 s");
            return false;
        }
    }
    m_driver = m_server.nextPendingConnection();
    QElapsedTimer clock;
    clock.start();
    while (!m_buffer.contains('\n') && clock.elapsed() < 30000 && m_driver->waitForReadyRead(1000))
        m_buffer += m_driver->readAll();
    const qsizetype end = m_buffer.indexOf('\n');
    m_pid = end < 0 ? 0 : QJsonDocument::fromJson(m_buffer.left(end)).object().value(u"hello"_s).toInteger();
    m_buffer.remove(0, end + 1);
    if (m_pid <= 0) {
        *error = QStringLiteral("the driver did not say hello");
        return false;
    }
    return true;
}

bool TestSession::runDriverStep(const Step &step, QString *detail)
{
    if (!m_driver || m_driver->state() != QLocalSocket::ConnectedState) {
        *detail = QStringLiteral("the program is not running");
        return false;
    }
    m_driver->write(QJsonDocument(step).toJson(QJsonDocument::Compact) + '\n');
    const int limit = step.value(QStringLiteral("timeout")).toInt(30000) + 30000;
    QElapsedTimer clock;
    clock.start();
    while (!m_buffer.contains('\n')) {
        if (clock.elapsed() > limit || m_driver->state() != QLocalSocket::ConnectedState) {
            *detail = QStringLiteral("the program stopped answering");
            if (m_player.state() == QProcess::NotRunning && !m_restarted)
                *detail += m_player.exitStatus() == QProcess::CrashExit
                               ? QStringLiteral(": it crashed")
                               : QStringLiteral(": it ended with code %1").arg(m_player.exitCode());
            return false;
        }
        // The test's own servers (the covers) answer while the step runs.
        QTest::qWait(20);
        m_buffer += m_driver->readAll();
    }
    const qsizetype end = m_buffer.indexOf('\n');
    const QJsonObject reply = QJsonDocument::fromJson(m_buffer.left(end)).object();
    m_buffer.remove(0, end + 1);
    *detail = reply.value(reply.value(u"ok"_s).toBool() ? u"detail"_s : u"error"_s).toString();
    return reply.value(u"ok"_s).toBool();
}

bool TestSession::waitForExit(QString *error)
{
    if (m_player.state() != QProcess::NotRunning && m_player.processId() == m_pid) {
        if (!m_player.waitForFinished(60000)) {
            *error = QStringLiteral("the program did not end within 60 s");
            return false;
        }
        if (m_player.exitStatus() != QProcess::NormalExit || m_player.exitCode() != 0) {
            *error = QStringLiteral("the program ended with code %1").arg(m_player.exitCode());
            return false;
        }
        return true;
    }
    // The program started by the program itself is not our child: its end is the end of its
    // process (and of the driver's connection).
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(m_pid));
        const bool gone = !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
        if (gone)
            return true;
        QTest::qWait(100);
    }
    *error = QStringLiteral("the restarted program did not end within 60 s");
    return false;
}

bool TestSession::activate(QString *error)
{
    QUrl link;
    QElapsedTimer clock;
    clock.start();
    while ((link = m_service.linkFromLastMail(QStringLiteral("/account/activate"))).isEmpty()) {
        if (clock.elapsed() > 30000) {
            *error = QStringLiteral("no activation mail in %1").arg(m_service.maildir());
            return false;
        }
        QTest::qWait(100);
    }
    QNetworkAccessManager manager;
    QNetworkRequest request(link);
    request.setSslConfiguration(m_service.sslConfiguration());
    request.setTransferTimeout(30000);
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!finished.wait(40000) || reply->error() != QNetworkReply::NoError) {
        *error = QStringLiteral("the activation link failed: ") + reply->errorString();
        return false;
    }
    return true;
}

bool TestSession::checkRecording(QString *error)
{
    QDirIterator files(recordingsFolder(), QDir::Files, QDirIterator::Subdirectories);
    QStringList found;
    while (files.hasNext())
        found << files.next();
    if (found.isEmpty()) {
        *error = QStringLiteral("no recording in ") + recordingsFolder();
        return false;
    }
    for (const QString &path : found) {
        QProcess probe;
        probe.start(QStringLiteral("ffprobe"),
                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                     QStringLiteral("format=duration"), QStringLiteral("-of"), QStringLiteral("csv=p=0"),
                     path});
        if (!probe.waitForFinished(30000))
            continue;
        const double seconds = probe.readAllStandardOutput().trimmed().toDouble();
        // Ten seconds on the record clock; the file may hold a little more or less.
        if (seconds >= 8.0 && seconds <= 20.0)
            return true;
        *error += QStringLiteral("%1 holds %2 s; ").arg(QFileInfo(path).fileName()).arg(seconds);
    }
    *error = QStringLiteral("no recording of about 10 s: ") + *error;
    return false;
}

bool TestSession::checkSignedOut(QString *error)
{
    QSettings ini(m_program->filePath(QStringLiteral("Corvella/TunoraDE.ini")), QSettings::IniFormat);
    if (!ini.value(QStringLiteral("username")).toString().isEmpty() ||
        !ini.value(QStringLiteral("password")).toString().isEmpty() ||
        !ini.value(QStringLiteral("SignedOut")).toBool()) {
        *error = QStringLiteral("the settings still hold the account or do not say signed out");
        return false;
    }
    return true;
}

void TestSession::stopProgram()
{
    if (m_player.state() != QProcess::NotRunning) {
        m_player.terminate();
        if (!m_player.waitForFinished(15000))
            m_player.kill();
        m_player.waitForFinished(5000);
    }
    // A program the program restarted itself is ended by its recorded id.
    if (m_pid > 0 && m_pid != m_player.processId() &&
        QFileInfo::exists(QStringLiteral("/proc/%1").arg(m_pid)))
        ::kill(pid_t(m_pid), SIGTERM);
}

void TestSession::session_data()
{
    QTest::addColumn<Step>("step");
    auto add = [](const char *name, Step step) { QTest::newRow(name) << step; };
    auto wait = [](const QString &path, const QString &match, int timeout = 30000) {
        return Step{{u"op"_s, u"wait"_s}, {u"path"_s, path}, {u"match"_s, match}, {u"timeout"_s, timeout}};
    };
    auto click = [](const QString &path) { return Step{{u"op"_s, u"click"_s}, {u"path"_s, path}}; };
    auto type = [](const QString &path, const QString &text) {
        return Step{{u"op"_s, u"type"_s}, {u"path"_s, path}, {u"text"_s, text}};
    };
    auto row = [](const QString &tree, const QString &text, int column = 0, int timeout = 60000) {
        return Step{{u"op"_s, u"item"_s},
                    {u"path"_s, at(tree)},
                    {u"text"_s, text},
                    {u"column"_s, column},
                    {u"timeout"_s, timeout}};
    };
    auto with = [](Step step, const QString &key, const QJsonValue &value) {
        step.insert(key, value);
        return step;
    };
    const QString menu = QStringLiteral("twRadio");
    const QString firstTitle = QRegularExpression::escape(FirstSong.section(u" - "_s, 1));
    const QString secondTitle = QRegularExpression::escape(SecondSong.section(u" - "_s, 1));

    add("first start", Step{{u"op"_s, u"test:launch"_s}});
    add("languages offered",
        with(wait(u"LanguageDlgClass/cbLanguages"_s, u"^English$"_s), u"property"_s, u"currentText"_s));
    add("language question answered", click(u"LanguageDlgClass/btNext"_s));
    add("sign-up form opened", Step{{u"op"_s, u"link"_s}, {u"path"_s, u"login/lblNotAMember"_s}});
    add("member name typed", type(u"login/Signup/leUsername"_s, Member));
    add("password typed", type(u"login/Signup/lePassword"_s, Password));
    add("password retyped", type(u"login/Signup/leRetypePassword"_s, Password));
    add("e-mail typed", type(u"login/Signup/leEmail"_s, Member + u"@example.org"_s));
    add("e-mail retyped", type(u"login/Signup/leRetypeEmail"_s, Member + u"@example.org"_s));
    add("sign-up sent", click(u"login/Signup/btSignUp"_s));
    add("activation link in the mail followed", Step{{u"op"_s, u"test:activate"_s}});
    // Once activated the dialog may sign in by itself before the click.
    add("signed in", with(click(u"login/btSignIn"_s), u"ifPresent"_s, true));
    add("main window shown", with(wait(Window, u".*"_s), u"timeout"_s, 60000));
    add("genres opened", row(menu, u"GENRES"_s, 0, 30000));
    add("genre opened", with(row(menu, u"Electronic & Dance"_s), u"expect"_s, at(u"twStations4"_s)));
    add("station listed in the genre", with(row(u"twStations4"_s, Station, 2), u"action"_s, u"present"_s));
    add("station played with Return", with(row(u"twStations4"_s, Station, 2), u"action"_s, u"return"_s));
    add("first title shown", wait(at(u"lblNowPlaying"_s), firstTitle, 60000));
    add("title changed at the station", Step{{u"op"_s, u"test:title"_s}, {u"text"_s, SecondSong}});
    add("second title shown", wait(at(u"lblNowPlaying"_s), secondTitle, 60000));
    add("first title moved to last played", wait(at(u"lblLastPlaying"_s), firstTitle));
    add("cover shown", Step{{u"op"_s, u"colour"_s},
                            {u"path"_s, at(u"lblCoverArt"_s)},
                            {u"rgb"_s, CoverColour},
                            {u"timeout"_s, 60000}});
    add("song in the track history", wait(at(u"lblTrackHistory"_s), u".+"_s, 60000));
    add("track history opened", click(at(u"lblTrackHistory"_s)));
    add("song put on the wish list", Step{{u"op"_s, u"page"_s},
                                          {u"path"_s, at(u"TrackHistoryFrame"_s)},
                                          {u"match"_s, secondTitle},
                                          {u"click"_s, u"a[href*=add_to_wishlist]"_s},
                                          {u"timeout"_s, 60000}});
    add("genre list shown again",
        with(row(menu, u"Electronic & Dance"_s), u"expect"_s, at(u"twStations4"_s)));
    add("station made a favourite", with(row(u"twStations4"_s, Station, 2), u"clickColumn"_s, 0));
    add("favourites opened", with(row(menu, u"FAVORITES"_s, 0, 30000), u"expect"_s, at(u"twStations1"_s)));
    add("favourite listed", with(row(u"twStations1"_s, Station, 2), u"action"_s, u"present"_s));
    add("recording started", Step{{u"op"_s, u"test:record"_s}, {u"path"_s, at(u"btRecord"_s)}});
    add("ten seconds recorded", Step{{u"op"_s, u"test:record"_s},
                                     {u"path"_s, at(u"lblRecordTime"_s)},
                                     {u"match"_s, u"^00:(1[0-9]|[2-5][0-9])$"_s},
                                     {u"timeout"_s, 60000}});
    add("recording stopped", Step{{u"op"_s, u"test:record"_s}, {u"path"_s, at(u"btRecord"_s)}});
    add("quit with Ctrl+Q", Step{{u"op"_s, u"key"_s}, {u"path"_s, Window}, {u"keys"_s, u"Ctrl+Q"_s}});
    add("program ended", Step{{u"op"_s, u"test:exit"_s}});

    add("second start", Step{{u"op"_s, u"test:launch"_s}});
    add("main window shown again", with(wait(Window, u".*"_s), u"timeout"_s, 60000));
    add("favourite kept", with(row(menu, u"FAVORITES"_s, 0, 30000), u"expect"_s, at(u"twStations1"_s)));
    add("favourite listed again", with(row(u"twStations1"_s, Station, 2), u"action"_s, u"present"_s));
    add("history opened", with(row(menu, u"HISTORY"_s, 0, 30000), u"expect"_s, at(u"twStations5"_s)));
    add("station in the history", with(row(u"twStations5"_s, Station, 2), u"action"_s, u"present"_s));
    add("wish list opened",
        with(row(menu, u"WISH LIST"_s, 0, 30000), u"expect"_s, at(u"TrackWishListFrame"_s)));
    add("song on the wish list", Step{{u"op"_s, u"page"_s},
                                      {u"path"_s, at(u"TrackWishListFrame"_s)},
                                      {u"match"_s, QString(firstTitle + u"|"_s + secondTitle)},
                                      {u"timeout"_s, 60000}});
    add("recording on disk", Step{{u"op"_s, u"test:recording"_s}});
    add("signed out from the menu", Step{{u"op"_s, u"menu"_s},
                                         {u"path"_s, Window},
                                         {u"menu"_s, u"menuFile"_s},
                                         {u"action"_s, u"actionSign_out"_s}});
    add("program restarted signed out", Step{{u"op"_s, u"test:restarted"_s}});
    add("languages offered again",
        with(wait(u"LanguageDlgClass/cbLanguages"_s, u"^English$"_s), u"property"_s, u"currentText"_s));
    add("language question answered again", click(u"LanguageDlgClass/btNext"_s));
    add("sign-in asked", wait(u"login"_s, u".*"_s, 60000));
    add("sign-in cancelled", Step{{u"op"_s, u"key"_s}, {u"path"_s, u"login"_s}, {u"keys"_s, u"Escape"_s}});
    add("program ended without an account", Step{{u"op"_s, u"test:exit"_s}});
    add("account gone from the settings", Step{{u"op"_s, u"test:signedout"_s}});
}

void TestSession::session()
{
    QFETCH(Step, step);
    if (m_broken)
        QSKIP("an earlier step failed");
    const QString op = step.value(u"op"_s).toString();
    QString detail;
    bool ok = false;
    if (op == QLatin1String("test:launch")) {
        ok = launch(false, &detail);
    } else if (op == QLatin1String("test:restarted")) {
        // The program starts itself again and ends the signed-in run.
        m_restarted = true;
        ok = launch(true, &detail) &&
             (m_player.state() == QProcess::NotRunning || m_player.waitForFinished(60000)) &&
             m_player.exitStatus() == QProcess::NormalExit && m_player.exitCode() == 0;
        if (!ok && detail.isEmpty())
            detail = QStringLiteral("the signed-in program did not end cleanly (code %1)")
                         .arg(m_player.exitCode());
    } else if (op == QLatin1String("test:activate")) {
        ok = activate(&detail);
    } else if (op == QLatin1String("test:title")) {
        ok = m_icecast.setTitle(Mount, step.value(u"text"_s).toString(), &detail);
    } else if (op == QLatin1String("test:exit")) {
        ok = waitForExit(&detail);
    } else if (op == QLatin1String("test:signedout")) {
        ok = checkSignedOut(&detail);
    } else if (op == QLatin1String("test:recording")) {
        if (m_noRecordControl)
            QSKIP("skipped: no record control");
        ok = checkRecording(&detail);
    } else if (op == QLatin1String("test:record")) {
        // The record control is a part of its own; without it the session goes on.
        if (!m_noRecordControl) {
            Step probe{{u"op"_s, u"wait"_s},
                       {u"path"_s, at(u"btRecord"_s)},
                       {u"match"_s, u".*"_s},
                       {u"timeout"_s, 5000}};
            m_noRecordControl = !runDriverStep(probe, &detail);
        }
        if (m_noRecordControl)
            QSKIP("skipped: no record control");
        step.insert(u"op"_s, step.contains(u"match"_s) ? u"wait"_s : u"click"_s);
        ok = runDriverStep(step, &detail);
    } else {
        ok = runDriverStep(step, &detail);
    }
    if (!ok) {
        m_broken = true;
        stopProgram();
    }
    QVERIFY2(ok, qPrintable(detail));
}

TUNORA_TEST_MAIN(TestSession)
#include "tst_session.moc"
