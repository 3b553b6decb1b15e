#include "desktopnotifier.h"
#include "exportfiles.h"
#include "launcharguments.h"
#include "proxysetting.h"
#include "singleinstance.h"
#include "sleeptimer.h"
#include "testmain.h"

#include "accessibilitycheck.h"
#include "audioengine.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkProxyFactory>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>

static QStringList sl(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}

// Stands in for the desktop's notification service: records what it is asked to show.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown
    {
        uint replaces;
        QString summary;
        QString body;
        QSize image;
    };
    QList<Shown> shown;
    QStringList capabilities;
    uint nextId = 41;

public slots:
    Q_SCRIPTABLE QStringList GetCapabilities() { return capabilities; }
    Q_SCRIPTABLE uint Notify(const QString &, uint replaces, const QString &, const QString &summary,
                             const QString &body, const QStringList &, const QVariantMap &hints, int)
    {
        QSize size(0, 0);
        if (hints.contains(QStringLiteral("image-data"))) {
            const QDBusArgument image = hints.value(QStringLiteral("image-data")).value<QDBusArgument>();
            int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
            bool alpha = false;
            QByteArray data;
            image.beginStructure();
            image >> width >> height >> stride >> alpha >> bits >> channels >> data;
            image.endStructure();
            if (data.size() == stride * height && bits == 8 && channels == 4)
                size = QSize(width, height);
        }
        shown.append({replaces, summary, body, size});
        return replaces ? replaces : ++nextId;
    }
};

class TestDesktop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void arguments_data();
    void arguments();
    void absolutePaths();
    void secondStartHandsOver();
    void nameFreedWhenPrimaryEnds();
    void sleepTimer_data();
    void sleepTimer();
    void sleepTimerCancelRestoresVolume();
    void notifications_data();
    void notifications();
    void stationFilesRoundTrip_data();
    void stationFilesRoundTrip();
    void readStations_data();
    void readStations();
    void importMatching();
    void wishListCsv_data();
    void wishListCsv();
    void wishListCsvHostile_data();
    void wishListCsvHostile();
    void proxy_data();
    void proxy();
    void accessibleNames_data();
    void accessibleNames();

private:
    QString write(const QString &name, const QByteArray &content);
    QTemporaryDir m_dir;
};

void TestDesktop::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString TestDesktop::write(const QString &name, const QByteArray &content)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

void TestDesktop::arguments_data()
{
    QTest::addColumn<QString>("argument"); // "@name" is a file written from `content`
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("streams");

    const QStringList none;
    QTest::newRow("http address") << "http://radio.example:8000/live" << QByteArray() << true
                                  << "radio.example" << sl({"http://radio.example:8000/live"});
    QTest::newRow("https address, blanks around") << "  https://a.example/x.mp3 " << QByteArray() << true
                                                  << "a.example" << sl({"https://a.example/x.mp3"});
    QTest::newRow("mms") << "mms://wm.example/s" << QByteArray() << true << "wm.example"
                         << sl({"mms://wm.example/s"});
    QTest::newRow("rtsp") << "rtsp://r.example/s" << QByteArray() << true << "r.example"
                          << sl({"rtsp://r.example/s"});
    QTest::newRow("ftp refused") << "ftp://f.example/a.mp3" << QByteArray() << false << QString() << none;
    QTest::newRow("javascript refused")
        << "javascript:alert(1)" << QByteArray() << false << QString() << none;
    QTest::newRow("no host refused") << "http:///x" << QByteArray() << false << QString() << none;
    QTest::newRow("missing file") << "/nonexistent/list.pls" << QByteArray() << false << QString() << none;
    QTest::newRow("folder refused") << "/" << QByteArray() << false << QString() << none;
    QTest::newRow("empty") << "" << QByteArray() << false << QString() << none;

    QTest::newRow("pls file with title")
        << "@a.pls"
        << QByteArray("[playlist]\nNumberOfEntries=2\nFile1=http://s1.example/a\n"
                      "Title1=Night Jazz\nFile2=http://s2.example/b\n")
        << true << "Night Jazz" << sl({"http://s1.example/a", "http://s2.example/b"});
    QTest::newRow("m3u file, EXTINF name")
        << "@b.m3u" << QByteArray("#EXTM3U\n#EXTINF:-1,Café Radio\nhttp://c.example/s\n") << true
        << QString::fromUtf8("Café Radio") << sl({"http://c.example/s"});
    QTest::newRow("file: URL, untitled bare list, named after the file")
        << "file:@Bare List.m3u" << QByteArray("http://d.example/1\n") << true << "Bare List"
        << sl({"http://d.example/1"});
    // Playlist entries that point at local files or other schemes are never opened.
    QTest::newRow("only file entries refused")
        << "@local.m3u" << QByteArray("/etc/passwd\nfile:///etc/shadow\nftp://x.example/a\n") << false
        << QString() << none;
    QTest::newRow("file entries skipped") << "@mixed.pls"
                                          << QByteArray("[playlist]\nFile1=file:///etc/passwd\n"
                                                        "File2=http://ok.example/s\n")
                                          << true << "mixed" << sl({"http://ok.example/s"});
    QTest::newRow("binary file") << "@bin.m3u" << QByteArray(4096, '\xff') << false << QString() << none;
    QTest::newRow("over the size limit")
        << "@big.m3u"
        << (QByteArray("http://big.example/s\n") + QByteArray(LaunchArguments::MaxPlaylistBytes, '#'))
        << false << QString() << none;
    QTest::newRow("control characters in the address")
        << "@ctl.m3u" << QByteArray("http://x.example/a\x01b\n") << false << QString() << none;
    QTest::newRow("title with control characters: named after the file")
        << "@ctl2.m3u" << QByteArray("#EXTM3U\n#EXTINF:-1,Bad\x07Name\nhttp://y.example/s\n") << true
        << "ctl2" << sl({"http://y.example/s"});
}

void TestDesktop::arguments()
{
    QFETCH(QString, argument);
    QFETCH(QByteArray, content);
    const int at = argument.indexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString path = write(argument.mid(at + 1), content);
        QVERIFY(!path.isEmpty());
        argument = argument.left(at) == QLatin1String("file:") ? QUrl::fromLocalFile(path).toString() : path;
    }
    BASS::Station station;
    QString reason;
    const bool accepted = LaunchArguments::toStation(argument, station, &reason);
    QTEST(accepted, "accepted");
    if (!accepted) {
        QVERIFY2(!reason.isEmpty(), "a refusal says why");
        return;
    }
    QTEST(station.name(), "name");
    QStringList streams;
    for (const BASS::StationStream *s : station.streams())
        streams << s->url;
    QTEST(streams, "streams");
    QCOMPARE(station.firstStreamUrl(), streams.first());
}

void TestDesktop::absolutePaths()
{
    const QStringList given = {QStringLiteral("list.pls"), QStringLiteral("../up/x.m3u"),
                               QStringLiteral("/abs/y.pls"), QStringLiteral("http://h.example/s"),
                               QStringLiteral("file:///abs/z.m3u")};
    const QStringList expected = {QStringLiteral("/work/dir/list.pls"), QStringLiteral("/work/up/x.m3u"),
                                  QStringLiteral("/abs/y.pls"), QStringLiteral("http://h.example/s"),
                                  QStringLiteral("file:///abs/z.m3u")};
    QCOMPARE(LaunchArguments::absolute(given, QStringLiteral("/work/dir")), expected);

    QList<LaunchArguments::Refusal> refused;
    const QList<BASS::Station> list = LaunchArguments::stations({QStringLiteral("http://a.example/1"),
                                                                 QStringLiteral("gopher://b.example/"),
                                                                 QStringLiteral("rtsp://c.example/")},
                                                                &refused);
    QCOMPARE(list.size(), 2);
    QCOMPARE(list[1].name(), QStringLiteral("c.example"));
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused[0].argument, QStringLiteral("gopher://b.example/"));
}

// Two processes of the player are two bus connections; each start gets its own.
static QDBusConnection newConnection(const QString &name)
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

void TestDesktop::secondStartHandsOver()
{
    QDBusConnection first = newConnection(QStringLiteral("first"));
    QDBusConnection second = newConnection(QStringLiteral("second"));
    QVERIFY(first.isConnected() && second.isConnected());
    {
        SingleInstance primary(first);
        QCOMPARE(primary.claim(), SingleInstance::Primary);
        QSignalSpy activated(&primary, &SingleInstance::signal_activated);

        SingleInstance later(second);
        QCOMPARE(later.claim(), SingleInstance::Secondary);
        const QStringList args = {QStringLiteral("http://x.example/s"), QString::fromUtf8("/tmp/ü b.pls")};
        QVERIFY(later.forward(args));
        QTRY_COMPARE_WITH_TIMEOUT(activated.size(), 1, 10000);
        QCOMPARE(activated.at(0).at(0).toStringList(), args);

        // A start without arguments still reaches the running one (it raises its window).
        QVERIFY(later.forward({}));
        QTRY_COMPARE_WITH_TIMEOUT(activated.size(), 2, 10000);
        QVERIFY(activated.at(1).at(0).toStringList().isEmpty());

        // The list is bounded.
        QStringList many;
        for (int i = 0; i < SingleInstance::MaxArguments + 50; ++i)
            many << QStringLiteral("http://h.example/%1").arg(i);
        QVERIFY(later.forward(many));
        QTRY_COMPARE_WITH_TIMEOUT(activated.size(), 3, 10000);
        QCOMPARE(activated.at(2).at(0).toStringList().size(), SingleInstance::MaxArguments);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("first"));
    QDBusConnection::disconnectFromBus(QStringLiteral("second"));
}

void TestDesktop::nameFreedWhenPrimaryEnds()
{
    QDBusConnection a = newConnection(QStringLiteral("a"));
    QDBusConnection b = newConnection(QStringLiteral("b"));
    auto primary = std::make_unique<SingleInstance>(a);
    QCOMPARE(primary->claim(), SingleInstance::Primary);
    primary.reset();
    // The next start becomes the running player.
    {
        SingleInstance next(b);
        QCOMPARE(next.claim(), SingleInstance::Primary);
    }
    // With nobody serving, forwarding fails (and the caller runs on its own).
    SingleInstance orphan(a);
    QVERIFY(!orphan.forward({QStringLiteral("http://x.example/")}, 2000));
    QDBusConnection::disconnectFromBus(QStringLiteral("b"));
    QDBusConnection::disconnectFromBus(QStringLiteral("a"));
}

struct SleepStep
{
    qint64 atMs;     // clock time of a tick
    bool songChange; // a new song was accepted just before the tick
    int fadePercent; // volume share after the tick
    bool expired;    // signal_expired has been emitted by then
};
Q_DECLARE_METATYPE(QList<SleepStep>)

void TestDesktop::sleepTimer_data()
{
    QTest::addColumn<int>("minutes");       // 0: end of song
    QTest::addColumn<qint64>("songLeftMs"); // end of song: the known remaining time, -1 unknown
    QTest::addColumn<QList<SleepStep>>("steps");
    const qint64 min = 60 * 1000;
    QTest::newRow("15 min, fade over the last 30 s")
        << 15 << qint64(-1)
        << QList<SleepStep>{{14 * min, false, 100, false},
                            {15 * min - 30000, false, 100, false},
                            {15 * min - 15000, false, 50, false},
                            {15 * min - 3000, false, 10, false},
                            {15 * min, false, 100, true}};
    QTest::newRow("90 min ignores title changes")
        << 90 << qint64(-1)
        << QList<SleepStep>{
               {min, true, 100, false}, {90 * min - 1, false, 1, false}, {90 * min + 5000, false, 100, true}};
    QTest::newRow("end of a song of known length")
        << 0 << qint64(200000)
        << QList<SleepStep>{
               {170000, false, 100, false}, {185000, false, 50, false}, {200000, false, 100, true}};
    QTest::newRow("end of song, unknown length: the next title ends it")
        << 0 << qint64(-1)
        << QList<SleepStep>{{10 * min, false, 100, false},
                            {10 * min + 1, true, 100, false},
                            {10 * min + 1501, false, 50, false},
                            {10 * min + 3001, false, 100, true}};
}

void TestDesktop::sleepTimer()
{
    QFETCH(int, minutes);
    QFETCH(qint64, songLeftMs);
    QFETCH(QList<SleepStep>, steps);
    qint64 now = 0;
    SleepTimer timer(nullptr, [&now] { return now; });
    QSignalSpy expired(&timer, &SleepTimer::signal_expired);
    QSignalSpy fades(&timer, &SleepTimer::signal_fade);
    if (minutes > 0)
        timer.startMinutes(minutes);
    else
        timer.startEndOfSong(songLeftMs);
    QVERIFY(timer.isActive());
    for (const SleepStep &step : steps) {
        now = step.atMs;
        if (step.songChange)
            timer.songChanged();
        timer.tick();
        const QByteArray where = QByteArray("at ") + QByteArray::number(step.atMs) + " ms fade " +
                                 QByteArray::number(timer.fadePercent());
        QVERIFY2(timer.fadePercent() == step.fadePercent, where.constData());
        QVERIFY2(expired.size() == (step.expired ? 1 : 0), where.constData());
    }
    QVERIFY(!timer.isActive());
    // The volume went down to silence before it came back for the next station.
    QVERIFY(fades.size() >= 2);
    QCOMPARE(fades.at(fades.size() - 2).at(0).toInt(), 0);
    QCOMPARE(fades.last().at(0).toInt(), 100);
}

void TestDesktop::sleepTimerCancelRestoresVolume()
{
    qint64 now = 0;
    SleepTimer timer(nullptr, [&now] { return now; });
    QSignalSpy expired(&timer, &SleepTimer::signal_expired);
    timer.startMinutes(15);
    QCOMPARE(timer.remainingMs(), qint64(15 * 60 * 1000));
    now = 15 * 60 * 1000 - 10000;
    timer.tick();
    QVERIFY(timer.fadePercent() < 100);
    timer.cancel();
    QCOMPARE(timer.fadePercent(), 100);
    QVERIFY(!timer.isActive());
    now += 60000;
    timer.tick();
    QCOMPARE(expired.size(), 0);
    QCOMPARE(timer.remainingMs(), qint64(-1));
}

// One event for the notifier: a song ("song"), or a cover for the last song ("cover").
struct NoteEvent
{
    const char *kind;
    const char *artist;
    const char *title;
    const char *station;
    int coverSide; // 0: no cover
};
Q_DECLARE_METATYPE(QList<NoteEvent>)

void TestDesktop::notifications_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("capabilities");
    QTest::addColumn<QList<NoteEvent>>("events");
    // What the service shows, one "summary|body|replaced|cover size" per call; "new" or "update".
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("off by default shows nothing")
        << false << QStringList() << QList<NoteEvent>{{"song", "A", "T", "S", 0}} << QStringList();
    QTest::newRow("one per song, repeats ignored")
        << true << QStringList()
        << QList<NoteEvent>{{"song", "Ann", "One", "Radio", 0},
                            {"song", "Ann", "One", "Radio", 0},
                            {"song", "Bob", "Two", "Radio", 0}}
        << sl({"new|One|Ann\nRadio|0x0", "new|Two|Bob\nRadio|0x0"});
    QTest::newRow("late cover updates the same notification, scaled down")
        << true << QStringList()
        << QList<NoteEvent>{{"song", "Ann", "One", "Radio", 0}, {"cover", "Ann", "One", "", 600}}
        << sl({"new|One|Ann\nRadio|0x0", "update|One|Ann\nRadio|256x256"});
    QTest::newRow("cover of an older song is not shown")
        << true << QStringList()
        << QList<NoteEvent>{{"song", "Ann", "One", "Radio", 0}, {"cover", "Old", "Song", "", 64}}
        << sl({"new|One|Ann\nRadio|0x0"});
    QTest::newRow("cover with the song")
        << true << QStringList() << QList<NoteEvent>{{"song", "Ann", "One", "Radio", 100}}
        << sl({"new|One|Ann\nRadio|100x100"});
    QTest::newRow("markup service gets escaped stream text")
        << true << sl({"body-markup"}) << QList<NoteEvent>{{"song", "<b>A&B</b>", "<i>x", "R", 0}}
        << sl({"new|<i>x|&lt;b&gt;A&amp;B&lt;/b&gt;\nR|0x0"});
    QTest::newRow("plain service gets the text as it is")
        << true << QStringList() << QList<NoteEvent>{{"song", "<b>A&B</b>", "<i>x", "R", 0}}
        << sl({"new|<i>x|<b>A&B</b>\nR|0x0"});
}

void TestDesktop::notifications()
{
    QFETCH(bool, enabled);
    QFETCH(QStringList, capabilities);
    QFETCH(QList<NoteEvent>, events);
    QFETCH(QStringList, expected);

    QDBusConnection serviceBus = newConnection(QStringLiteral("notifications"));
    FakeNotifications fake;
    fake.capabilities = capabilities;
    QVERIFY(serviceBus.registerObject(QLatin1String(DesktopNotifier::ObjectPath), &fake,
                                      QDBusConnection::ExportScriptableSlots));
    QVERIFY(serviceBus.registerService(QLatin1String(DesktopNotifier::ServiceName)));

    DesktopNotifier notifier(QDBusConnection::sessionBus());
    if (enabled)
        notifier.setEnabled(true);
    for (const NoteEvent &e : events) {
        QImage cover;
        if (e.coverSide > 0) {
            cover = QImage(e.coverSide, e.coverSide, QImage::Format_RGB32);
            cover.fill(Qt::red);
        }
        if (qstrcmp(e.kind, "song") == 0)
            notifier.songAccepted(QString::fromUtf8(e.artist), QString::fromUtf8(e.title),
                                  QString::fromUtf8(e.station), cover);
        else
            notifier.coverArrived(QString::fromUtf8(e.artist), QString::fromUtf8(e.title), cover);
        QTRY_VERIFY_WITH_TIMEOUT(!notifier.isBusy(), 10000);
    }
    QStringList got;
    for (const FakeNotifications::Shown &n : std::as_const(fake.shown))
        got << QStringLiteral("%1|%2|%3|%4x%5")
                   .arg(n.replaces ? QStringLiteral("update") : QStringLiteral("new"), n.summary, n.body)
                   .arg(n.image.width())
                   .arg(n.image.height());
    QCOMPARE(got, expected);
    // An update names the notification the service gave for the song.
    for (const FakeNotifications::Shown &n : std::as_const(fake.shown)) {
        if (n.replaces)
            QCOMPARE(n.replaces, fake.nextId);
    }
    serviceBus.unregisterService(QLatin1String(DesktopNotifier::ServiceName));
    serviceBus.unregisterObject(QLatin1String(DesktopNotifier::ObjectPath));
    QDBusConnection::disconnectFromBus(QStringLiteral("notifications"));
}

using Entries = QList<ExportFiles::StationEntry>;

void TestDesktop::stationFilesRoundTrip_data()
{
    QTest::addColumn<int>("format");
    QTest::newRow("m3u") << int(ExportFiles::Format::M3U);
    QTest::newRow("xspf") << int(ExportFiles::Format::XSPF);
}

void TestDesktop::stationFilesRoundTrip()
{
    QFETCH(int, format);
    // Names as stations carry them: markup, quotes, commas, non-Latin script, "#" lookalikes.
    const Entries entries = {
        {QStringLiteral("Jazz & <Blues>"), QStringLiteral("http://a.example:8000/live")},
        {QStringLiteral("\"Quoted\", with comma"), QStringLiteral("https://b.example/s?x=1&y=2")},
        {QString::fromUtf8("Радио Ночь"), QStringLiteral("http://c.example/stream")},
        {QStringLiteral("#EXTINF:-1,fake"), QStringLiteral("mms://d.example/x")}};
    const QByteArray data = ExportFiles::writeStations(entries, ExportFiles::Format(format));
    const QString path = m_dir.filePath(QStringLiteral("fav.") + QString::number(format));
    QString error;
    QVERIFY2(ExportFiles::saveFile(path, data, &error), qPrintable(error));
    QByteArray loaded;
    QVERIFY(ExportFiles::loadFile(path, loaded, &error));
    Entries back;
    int skipped = -1;
    QVERIFY2(ExportFiles::readStations(loaded, back, &skipped, &error), qPrintable(error));
    QCOMPARE(skipped, 0);
    QCOMPARE(back, entries);

    // A name with a line break cannot start an entry of its own.
    const Entries broken = {
        {QStringLiteral("Two\nhttp://evil.example/"), QStringLiteral("http://ok.example/")}};
    QVERIFY(ExportFiles::readStations(ExportFiles::writeStations(broken, ExportFiles::Format(format)), back,
                                      &skipped, &error));
    QCOMPARE(back.size(), 1);
    QCOMPARE(back[0].url, QStringLiteral("http://ok.example/"));
}

void TestDesktop::readStations_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<int>("skipped");
    QTest::newRow("pls with titles") << QByteArray("[playlist]\r\nFile1=http://p.example/1\r\nTitle1=One\r\n"
                                                   "File2=file:///etc/passwd\r\n")
                                     << true << sl({"http://p.example/1"}) << 1;
    QTest::newRow("bare m3u, local paths skipped")
        << QByteArray("http://m.example/a\n/home/u/x.mp3\nrtsp://m.example/b\n") << true
        << sl({"http://m.example/a", "rtsp://m.example/b"}) << 1;
    QTest::newRow("xspf, javascript location skipped")
        << QByteArray(
               "<?xml version=\"1.0\"?><playlist xmlns=\"http://xspf.org/ns/0/\"><trackList>"
               "<track><location>javascript:alert(1)</location></track>"
               "<track><title>T</title><location>http://x.example/</location></track></trackList></playlist>")
        << true << sl({"http://x.example/"}) << 1;
    QTest::newRow("truncated xspf") << QByteArray("<?xml version=\"1.0\"?><playlist><trackList><track><loc")
                                    << false << QStringList() << 0;
    QByteArray deep = "<?xml version=\"1.0\"?>";
    for (int i = 0; i < 100; ++i)
        deep += "<a>";
    QTest::newRow("deeply nested xspf") << deep << false << QStringList() << 0;
    QTest::newRow("too large") << QByteArray(ExportFiles::MaxFileBytes + 1, 'a') << false << QStringList()
                               << 0;
    QTest::newRow("binary") << QByteArray(1000, '\0') << true << QStringList() << 1;
}

void TestDesktop::readStations()
{
    QFETCH(QByteArray, data);
    Entries entries;
    int skipped = -1;
    QString error;
    const bool ok = ExportFiles::readStations(data, entries, &skipped, &error);
    QTEST(ok, "ok");
    QCOMPARE(error.isEmpty(), ok);
    QStringList urls;
    for (const ExportFiles::StationEntry &e : entries)
        urls << e.url;
    QTEST(urls, "urls");
    if (ok)
        QTEST(skipped, "skipped");
}

void TestDesktop::importMatching()
{
    auto station = [](const char *id, std::initializer_list<const char *> urls) {
        BASS::Station s;
        s.setId(QString::fromLatin1(id));
        bool first = true;
        for (const char *url : urls) {
            BASS::StationStream stream;
            stream.url = QString::fromLatin1(url);
            s.addStream(stream, first);
            first = false;
        }
        return s;
    };
    const QList<BASS::Station> directory = {
        station("7", {"http://one.example/live", "http://one.example/aac"}),
        station("9", {"https://Two.Example/s/"})};
    const Entries imported = {
        {QStringLiteral("One (second stream)"), QStringLiteral("http://one.example/aac")},
        {QStringLiteral("Two, other case"), QStringLiteral("HTTPS://two.example/s")},
        {QStringLiteral("One again"), QStringLiteral("http://one.example/live")},
        {QStringLiteral("Gone"), QStringLiteral("http://gone.example/")},
        {QStringLiteral("Path case differs"), QStringLiteral("http://one.example/LIVE")}};
    const ExportFiles::MatchReport report = ExportFiles::matchStations(imported, directory);
    QCOMPARE(report.stationIds, sl({"7", "9"}));
    QCOMPARE(report.unmatched.size(), 2);
    QCOMPARE(report.unmatched[0].name, QStringLiteral("Gone"));
    QCOMPARE(report.unmatched[1].name, QStringLiteral("Path case differs"));
}

Q_DECLARE_METATYPE(QList<ExportFiles::WishRow>)

void TestDesktop::wishListCsv_data()
{
    QTest::addColumn<QList<ExportFiles::WishRow>>("rows");
    const QDateTime t(QDate(2026, 12, 6), QTime(21, 30, 5), Qt::UTC);
    QTest::newRow("plain") << QList<ExportFiles::WishRow>{
        {QStringLiteral("Ann - One"), QStringLiteral("Radio"), t, QStringLiteral("https://shop.example/1")}};
    QTest::newRow("quotes, commas and blanks") << QList<ExportFiles::WishRow>{
        {QStringLiteral("Say \"Hi\", Now"), QStringLiteral("A, B"), t, QString()},
        {QString::fromUtf8("Björk - Jóga"), QStringLiteral(" padded "), QDateTime(),
         QStringLiteral("http://x.example/?a=1,2")}};
    QTest::newRow("formula-looking names survive the defusing") << QList<ExportFiles::WishRow>{
        {QStringLiteral("=HYPERLINK(\"http://evil\")"), QStringLiteral("+Radio"), t, QString()},
        {QStringLiteral("-M- - Qui de nous deux"), QStringLiteral("@home"), t, QString()}};
}

void TestDesktop::wishListCsv()
{
    QFETCH(QList<ExportFiles::WishRow>, rows);
    const QByteArray csv = ExportFiles::writeWishList(rows);
    // Nothing a spreadsheet would evaluate starts a cell.
    for (const QByteArray &line : csv.split('\n')) {
        for (const QByteArray &cell : line.split(',')) {
            const QByteArray c = cell.startsWith('"') ? cell.mid(1) : cell;
            QVERIFY2(c.isEmpty() || !QByteArray("=+-@").contains(c.at(0)), cell.constData());
        }
    }
    QList<ExportFiles::WishRow> back;
    int skipped = -1;
    QString error;
    QVERIFY2(ExportFiles::readWishList(csv, back, &skipped, &error), qPrintable(error));
    QCOMPARE(skipped, 0);
    QCOMPARE(back, rows);
}

void TestDesktop::wishListCsvHostile_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("skipped");
    QTest::newRow("unclosed quote") << QByteArray("Track,Station\r\n\"never closed,x\r\n") << false << 0 << 0;
    QTest::newRow("no header") << QByteArray("a,b,c\r\n") << false << 0 << 0;
    QTest::newRow("empty") << QByteArray() << false << 0 << 0;
    QTest::newRow("reordered columns, BOM, LF only, empty track skipped")
        << QByteArray("\xef\xbb\xbfStation,Track\nR,A - B\nR2,\n") << true << 1 << 1;
    QTest::newRow("script link dropped, row kept")
        << QByteArray("Track,Link\r\nA - B,javascript:alert(1)\r\n") << true << 1 << 0;
    QByteArray many = "Track\n";
    for (int i = 0; i < ExportFiles::MaxEntries + 5; ++i)
        many += "x\n";
    QTest::newRow("row limit") << many << true << ExportFiles::MaxEntries << 5;
}

void TestDesktop::wishListCsvHostile()
{
    QFETCH(QByteArray, data);
    QList<ExportFiles::WishRow> rows;
    int skipped = -1;
    QString error;
    const bool ok = ExportFiles::readWishList(data, rows, &skipped, &error);
    QTEST(ok, "ok");
    QCOMPARE(error.isEmpty(), ok);
    QTEST(int(rows.size()), "rows");
    if (ok)
        QTEST(skipped, "skipped");
    for (const ExportFiles::WishRow &row : std::as_const(rows))
        QVERIFY(row.link.isEmpty() || row.link.startsWith(QLatin1String("http")));
}

void TestDesktop::proxy_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("qtType");     // QNetworkProxy::ProxyType Qt ends up with
    QTest::addColumn<QString>("engine"); // what the engine is given; "" direct
    QTest::newRow("none") << int(ProxySetting::None) << QString() << 0 << true << int(QNetworkProxy::NoProxy)
                          << QString();
    QTest::newRow("http") << int(ProxySetting::Http) << "proxy.example" << 3128 << true
                          << int(QNetworkProxy::HttpProxy) << "proxy.example:3128";
    QTest::newRow("http ipv6") << int(ProxySetting::Http) << "::1" << 8080 << true
                               << int(QNetworkProxy::HttpProxy) << "[::1]:8080";
    // The engine cannot tunnel through SOCKS: it connects directly and says so.
    QTest::newRow("socks") << int(ProxySetting::Socks) << "127.0.0.1" << 1080 << true
                           << int(QNetworkProxy::Socks5Proxy) << QString();
    QTest::newRow("system takes http_proxy") << int(ProxySetting::System) << QString() << 0 << true
                                             << int(QNetworkProxy::HttpProxy) << "127.0.0.1:3129";
    QTest::newRow("no host") << int(ProxySetting::Http) << QString() << 80 << false << -1 << QString();
    QTest::newRow("port 0") << int(ProxySetting::Http) << "p.example" << 0 << false << -1 << QString();
    QTest::newRow("port too big") << int(ProxySetting::Socks) << "p.example" << 70000 << false << -1
                                  << QString();
    QTest::newRow("credentials smuggled in host")
        << int(ProxySetting::Http) << "u:p@evil.example" << 80 << false << -1 << QString();
    QTest::newRow("path in host") << int(ProxySetting::Http) << "a.example/x" << 80 << false << -1
                                  << QString();
    QTest::newRow("line break in host")
        << int(ProxySetting::Http) << "a.example\r\nX: y" << 80 << false << -1 << QString();
}

void TestDesktop::proxy()
{
    QFETCH(int, kind);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, valid);
    QFETCH(int, qtType);
    QFETCH(QString, engine);
    qputenv("http_proxy", "http://127.0.0.1:3129");
    // Start from a known state that an invalid setting must leave alone.
    QVERIFY(applyProxy(ProxySetting()).ok);
    ProxySetting setting;
    setting.kind = ProxySetting::Kind(kind);
    setting.host = host;
    setting.port = port;
    setting.save();
    const ProxySetting loaded = ProxySetting::load();
    QCOMPARE(int(loaded.kind), kind);
    QCOMPARE(loaded.port, port);

    const ProxyApplied applied = applyProxy(loaded);
    QCOMPARE(applied.ok, valid);
    QCOMPARE(applied.error.isEmpty(), valid);
    const auto *enginePointer = static_cast<const char *>(BASS_GetConfigPtr(BASS_CONFIG_NET_PROXY));
    const QString engineNow = enginePointer ? QString::fromLatin1(enginePointer) : QString();
    if (!valid) {
        QCOMPARE(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);
        QVERIFY(engineNow.isEmpty());
        return;
    }
    QCOMPARE(engineNow, engine);
    QCOMPARE(applied.engineUsesProxy, !engine.isEmpty());
    // What a request of the HTTP client to a stream or the directory would go through.
    const QList<QNetworkProxy> used = QNetworkProxyFactory::proxyForQuery(
        QNetworkProxyQuery(QUrl(QStringLiteral("http://directory.example/"))));
    QVERIFY(!used.isEmpty());
    QCOMPARE(int(used.first().type()), qtType);
    if (kind == ProxySetting::Http || kind == ProxySetting::Socks) {
        QCOMPARE(used.first().hostName(), host);
        QCOMPARE(int(used.first().port()), port);
    }
    QVERIFY(applyProxy(ProxySetting()).ok);
}

using WidgetMaker = std::function<QWidget *(QWidget *parent)>;
Q_DECLARE_METATYPE(WidgetMaker)

void TestDesktop::accessibleNames_data()
{
    QTest::addColumn<WidgetMaker>("make");
    QTest::addColumn<bool>("named"); // a screen reader can name the control
    auto row = [](const char *name, WidgetMaker make, bool named) { QTest::newRow(name) << make << named; };
    row(
        "button with text", [](QWidget *p) { return new QPushButton(QStringLiteral("Play"), p); }, true);
    row(
        "icon-only tool button",
        [](QWidget *p) {
            auto *b = new QToolButton(p);
            b->setObjectName(QStringLiteral("btRecord"));
            b->setIcon(QIcon(QPixmap(16, 16)));
            return b;
        },
        false);
    row(
        "icon-only button with an accessible name",
        [](QWidget *p) {
            auto *b = new QToolButton(p);
            b->setAccessibleName(QStringLiteral("Record"));
            return b;
        },
        true);
    row(
        "slider without a name", [](QWidget *p) { return new QSlider(Qt::Horizontal, p); }, false);
    row(
        "text field with a buddy label",
        [](QWidget *p) {
            auto *box = new QWidget(p);
            auto *form = new QFormLayout(box);
            form->addRow(QStringLiteral("&Search:"), new QLineEdit(box));
            return box;
        },
        true);
    row(
        "bare text field", [](QWidget *p) { return new QLineEdit(p); }, false);
    row(
        "nested unnamed button",
        [](QWidget *p) {
            auto *outer = new QWidget(p);
            auto *inner = new QWidget(outer);
            (new QVBoxLayout(outer))->addWidget(inner);
            (new QVBoxLayout(inner))->addWidget(new QToolButton(inner));
            return outer;
        },
        false);
    row(
        "hidden unnamed button is not reachable",
        [](QWidget *p) {
            auto *b = new QToolButton(p);
            b->hide();
            return b;
        },
        true);
    row(
        "label is not a control", [](QWidget *p) { return new QLabel(QString(), p); }, true);
}

void TestDesktop::accessibleNames()
{
    QFETCH(WidgetMaker, make);
    QFETCH(bool, named);
    QWidget window;
    window.setObjectName(QStringLiteral("window"));
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QPushButton(QStringLiteral("OK"), &window));
    QWidget *subject = make(&window);
    const bool hidden = subject->isHidden();
    layout->addWidget(subject);
    if (hidden)
        subject->hide();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QStringList problems = TunoraTest::unnamedControls(&window);
    QCOMPARE(problems.isEmpty(), named);
    if (!named) {
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems.first().startsWith(QLatin1String("window/")), qPrintable(problems.first()));
    }
}

TUNORA_TEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
