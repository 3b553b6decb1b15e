#include "desktopnotifier.h"
#include "launcharguments.h"
#include "singleinstance.h"
#include "sleeptimer.h"
#include "testmain.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

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
    void hostilePlaylistFiles_data();
    void hostilePlaylistFiles();
    void absolutePaths();
    void secondStartHandsOver();
    void nameFreedWhenPrimaryEnds();
    void sleepTimer_data();
    void sleepTimer();
    void sleepTimerCancelRestoresVolume();
    void notifications_data();
    void notifications();

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

void TestDesktop::hostilePlaylistFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("binary") << QByteArray(4096, '\xff') << false;
    QTest::newRow("over the size limit")
        << (QByteArray("http://big.example/s\n") + QByteArray(LaunchArguments::MaxPlaylistBytes, '#'))
        << false;
    QTest::newRow("control characters in address") << QByteArray("http://x.example/a\x01b\n") << false;
    QTest::newRow("title with control characters falls back to the file name")
        << QByteArray("#EXTM3U\n#EXTINF:-1,Bad\x07Name\nhttp://y.example/s\n") << true;
}

void TestDesktop::hostilePlaylistFiles()
{
    QFETCH(QByteArray, content);
    const QString path = write(QStringLiteral("hostile.m3u"), content);
    QVERIFY(!path.isEmpty());
    BASS::Station station;
    QString reason;
    QTEST(LaunchArguments::toStation(path, station, &reason), "accepted");
    if (!station.streams().isEmpty())
        QCOMPARE(station.name(), QStringLiteral("hostile"));
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

TUNORA_TEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
