// Test tables are easier to read with plain string literals.
#undef QT_NO_CAST_FROM_ASCII

#include "coverartlabel.h"
#include "desktoplinks.h"
#include "desktopnotifier.h"
#include "exportfiles.h"
#include "launcharguments.h"
#include "navigatelabel.h"
#include "proxysetting.h"
#include "singleinstance.h"
#include "sleeptimer.h"
#include "testmain.h"
#include "tickerlabel.h"

#include "accessibilitycheck.h"
#include "audioengine.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkProxyFactory>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>
#include <memory>

using namespace Qt::Literals::StringLiterals;

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
        if (hints.contains(u"image-data"_s)) {
            const QDBusArgument image = hints.value(u"image-data"_s).value<QDBusArgument>();
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

// Two processes of the player are two bus connections; each start gets its own.
static QDBusConnection newConnection(const QString &name)
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
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

using Entries = QList<ExportFiles::StationEntry>;

// Stands in for the desktop browser: every scheme a widget could hand over ends up in `opened`.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QStringList opened;

public slots:
    void open(const QUrl &url) { opened << url.toString(); }
};

namespace {
const char *const Schemes[] = {"http", "https", "file", "javascript", "ftp"};
const QString Shop = QStringLiteral("https://shop.example/album?id=7");

void enter(QWidget *w)
{
    QEnterEvent event(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), w->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(w, &event);
}

void leave(QWidget *w)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(w, &event);
}

// Logs the signals a widget has: the widget must be the sender and click positions global.
template<typename W>
W *watched(W *w, QStringList &log, QPoint pos)
{
    auto click = [&log, w, pos](const char *name) {
        return [&log, w, pos, name](QWidget *from, QPoint global) {
            log << QLatin1String(from == w && global == w->mapToGlobal(pos) ? name
                                                                            : "wrong sender or position");
        };
    };
    auto hover = [&log, w](const char *name) {
        return [&log, w, name](QWidget *from) { log << QLatin1String(from == w ? name : "wrong sender"); };
    };
    if constexpr (requires { &W::signal_mouseButtonLeft; }) {
        QObject::connect(w, &W::signal_mouseButtonLeft, click("left"));
        QObject::connect(w, &W::signal_mouseButtonRight, click("right"));
    }
    if constexpr (requires { &W::signal_mouseEnter; }) {
        QObject::connect(w, &W::signal_mouseEnter, hover("enter"));
        QObject::connect(w, &W::signal_mouseLeave, hover("leave"));
    }
    if constexpr (requires { &W::signal_linkClicked; })
        QObject::connect(w, &W::signal_linkClicked, [&log, w](QLabel *from, const QString &link) {
            log << (from == w ? QLatin1String("link:") + link : QStringLiteral("wrong sender"));
        });
    return w;
}
// Hides the ticker from view (or holds it under the pointer), or undoes that.
using Toggle = std::function<void(QWidget *window, TickerLabel *ticker, bool hide)>;
} // namespace
Q_DECLARE_METATYPE(Toggle)

class TestDesktop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (const char *scheme : Schemes)
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &m_browser, "open");
    }

    void cleanupTestCase()
    {
        for (const char *scheme : Schemes)
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }

    void init()
    {
        m_browser.opened.clear();
        m_log.clear();
        DesktopLinks::setStatusHook(
            [this](const QString &text) { m_log << QLatin1String("status:") + text; });
        m_host = std::make_unique<QWidget>();
        m_host->resize(400, 300);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
        // The widgets of a test sit in the top-left corner; the pointer stays away from them.
        QTest::mouseMove(m_host.get(), {395, 295});
    }

    void cleanup()
    {
        DesktopLinks::setStatusHook({});
        m_host.reset();
    }

    void arguments_data()
    {
        QTest::addColumn<QString>("argument"); // "@name" is a file written from `content`
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("streams");

        const QStringList none;
        // (An http address, and a refusal among several: the window's second-start case.)
        QTest::newRow("rtsp address") << "rtsp://radio.example:8000/live" << QByteArray() << true
                                      << "radio.example" << QStringList{"rtsp://radio.example:8000/live"};
        QTest::newRow("javascript refused")
            << "javascript:alert(1)" << QByteArray() << false << QString() << none;
        QTest::newRow("missing file")
            << "/nonexistent/list.pls" << QByteArray() << false << QString() << none;

        QTest::newRow("pls file with title")
            << "@a.pls"
            << QByteArray("[playlist]\nNumberOfEntries=2\nFile1=http://s1.example/a\n"
                          "Title1=Night Jazz\nFile2=http://s2.example/b\n")
            << true << "Night Jazz" << QStringList{"http://s1.example/a", "http://s2.example/b"};
        QTest::newRow("m3u file, EXTINF name")
            << "@b.m3u" << QByteArray("#EXTM3U\n#EXTINF:-1,Café Radio\nhttp://c.example/s\n") << true
            << QString::fromUtf8("Café Radio") << QStringList{"http://c.example/s"};
        QTest::newRow("file: URL, untitled bare list, named after the file")
            << "file:@Bare List.m3u" << QByteArray("http://d.example/1\n") << true << "Bare List"
            << QStringList{"http://d.example/1"};
        // Playlist entries that point at local files or other schemes are never opened.
        QTest::newRow("only file entries refused")
            << "@local.m3u" << QByteArray("/etc/passwd\nfile:///etc/shadow\nftp://x.example/a\n") << false
            << QString() << none;
        QTest::newRow("file entries skipped") << "@mixed.pls"
                                              << QByteArray("[playlist]\nFile1=file:///etc/passwd\n"
                                                            "File2=http://ok.example/s\n")
                                              << true << "mixed" << QStringList{"http://ok.example/s"};
        QTest::newRow("over the size limit")
            << "@big.m3u"
            << (QByteArray("http://big.example/s\n") + QByteArray(LaunchArguments::MaxPlaylistBytes, '#'))
            << false << QString() << none;
        QTest::newRow("control characters in the address")
            << "@ctl.m3u" << QByteArray("http://x.example/a\x01b\n") << false << QString() << none;
        QTest::newRow("title with control characters: named after the file")
            << "@ctl2.m3u" << QByteArray("#EXTM3U\n#EXTINF:-1,Bad\x07Name\nhttp://y.example/s\n") << true
            << "ctl2" << QStringList{"http://y.example/s"};
    }

    void arguments()
    {
        QFETCH(QString, argument);
        QFETCH(QByteArray, content);
        const int at = argument.indexOf(u'@');
        if (at >= 0) {
            const QString path = m_dir.filePath(argument.mid(at + 1));
            QVERIFY(ExportFiles::saveFile(path, content, nullptr));
            argument = argument.left(at) == u"file:"_s ? QUrl::fromLocalFile(path).toString() : path;
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

    void absolutePaths()
    {
        const QStringList given = {u"list.pls"_s, u"../up/x.m3u"_s, u"/abs/y.pls"_s, u"http://h.example/s"_s,
                                   u"file:///abs/z.m3u"_s};
        const QStringList expected = {u"/work/dir/list.pls"_s, u"/work/up/x.m3u"_s, u"/abs/y.pls"_s,
                                      u"http://h.example/s"_s, u"file:///abs/z.m3u"_s};
        QCOMPARE(LaunchArguments::absolute(given, u"/work/dir"_s), expected);
    }

    void singleInstance()
    {
        QDBusConnection first = newConnection(u"first"_s);
        QDBusConnection second = newConnection(u"second"_s);
        QVERIFY(first.isConnected() && second.isConnected());
        auto primary = std::make_unique<SingleInstance>(first);
        QCOMPARE(primary->claim(), SingleInstance::Primary);
        QSignalSpy activated(primary.get(), &SingleInstance::signal_activated);
        {
            // A second start hands its arguments (bounded in number) to the running one; one
            // without arguments still reaches it (it raises its window).
            SingleInstance later(second);
            QCOMPARE(later.claim(), SingleInstance::Secondary);
            QStringList many = {u"http://x.example/s"_s, QString::fromUtf8("/tmp/ü b.pls")};
            for (int i = 0; i < SingleInstance::MaxArguments + 50; ++i)
                many << u"http://h.example/%1"_s.arg(i);
            QVERIFY(later.forward(many));
            QVERIFY(later.forward({}));
            QTRY_COMPARE_WITH_TIMEOUT(activated.size(), 2, 10000);
            QCOMPARE(activated.at(0).at(0).toStringList(), many.mid(0, SingleInstance::MaxArguments));
            QVERIFY(activated.at(1).at(0).toStringList().isEmpty());
        }
        // When the running one ends, the next start becomes the running player; with nobody serving,
        // forwarding fails (and the caller runs on its own).
        primary.reset();
        {
            SingleInstance next(second);
            QCOMPARE(next.claim(), SingleInstance::Primary);
        }
        SingleInstance orphan(first);
        QVERIFY(!orphan.forward({u"http://x.example/"_s}, 2000));
        QDBusConnection::disconnectFromBus(u"first"_s);
        QDBusConnection::disconnectFromBus(u"second"_s);
    }

    void sleepTimer()
    {
        // A timed stop ignores title changes; a cancel in the fade brings the full volume back and
        // nothing ends.
        qint64 now = 0;
        SleepTimer timer(nullptr, [&now] { return now; });
        QSignalSpy expired(&timer, &SleepTimer::signal_expired);
        timer.startMinutes(15);
        now = 60000;
        timer.songChanged();
        timer.tick();
        QCOMPARE(timer.fadePercent(), 100);
        QCOMPARE(timer.remainingMs(), qint64(14 * 60000));
        now = 15 * 60000 - 15000;
        timer.tick();
        QCOMPARE(timer.fadePercent(), 50);
        timer.cancel();
        QCOMPARE(timer.fadePercent(), 100);
        QVERIFY(!timer.isActive());
        now += 60000;
        timer.tick();
        QCOMPARE(expired.size(), 0);
        // A song of known length fades over its last 30 s and then ends.
        timer.startEndOfSong(30000);
        now += 15000;
        timer.tick();
        QCOMPARE(timer.fadePercent(), 50);
        now += 15000;
        timer.tick();
        QCOMPARE(expired.size(), 1);
    }

    void notifications_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<QList<NoteEvent>>("events");
        // What the service shows, one "summary|body|replaced|cover size" per call; "new" or "update".
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("one per song, repeats ignored, cover with the song")
            << QStringList()
            << QList<NoteEvent>{{"song", "Ann", "One", "Radio", 0},
                                {"song", "Ann", "One", "Radio", 0},
                                {"song", "Bob", "Two", "Radio", 100}}
            << QStringList{"new|One|Ann\nRadio|0x0", "new|Two|Bob\nRadio|100x100"};
        QTest::newRow("late cover updates the same notification, scaled down")
            << QStringList()
            << QList<NoteEvent>{{"song", "Ann", "One", "Radio", 0}, {"cover", "Ann", "One", "", 600}}
            << QStringList{"new|One|Ann\nRadio|0x0", "update|One|Ann\nRadio|256x256"};
        QTest::newRow("cover of an older song is not shown")
            << QStringList()
            << QList<NoteEvent>{{"song", "Ann", "One", "Radio", 0}, {"cover", "Old", "Song", "", 64}}
            << QStringList{"new|One|Ann\nRadio|0x0"};
        QTest::newRow("markup service gets escaped stream text")
            << QStringList{"body-markup"} << QList<NoteEvent>{{"song", "<b>A&B</b>", "<i>x", "R", 0}}
            << QStringList{"new|<i>x|&lt;b&gt;A&amp;B&lt;/b&gt;\nR|0x0"};
        QTest::newRow("plain service gets the text as it is")
            << QStringList() << QList<NoteEvent>{{"song", "<b>A&B</b>", "<i>x", "R", 0}}
            << QStringList{"new|<i>x|<b>A&B</b>\nR|0x0"};
    }

    void notifications()
    {
        QFETCH(QStringList, capabilities);
        QFETCH(QList<NoteEvent>, events);
        QFETCH(QStringList, expected);
        QDBusConnection serviceBus = newConnection(u"notifications"_s);
        FakeNotifications fake;
        fake.capabilities = capabilities;
        QVERIFY(serviceBus.registerObject(QLatin1String(DesktopNotifier::ObjectPath), &fake,
                                          QDBusConnection::ExportScriptableSlots));
        QVERIFY(serviceBus.registerService(QLatin1String(DesktopNotifier::ServiceName)));

        DesktopNotifier notifier(QDBusConnection::sessionBus());
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
            got << u"%1|%2|%3|%4x%5"_s.arg(n.replaces ? u"update"_s : u"new"_s, n.summary, n.body)
                       .arg(n.image.width())
                       .arg(n.image.height());
        QCOMPARE(got, expected);
        // An update names the notification the service gave for the song.
        for (const FakeNotifications::Shown &n : std::as_const(fake.shown))
            QVERIFY(n.replaces == 0 || n.replaces == fake.nextId);
        serviceBus.unregisterService(QLatin1String(DesktopNotifier::ServiceName));
        serviceBus.unregisterObject(QLatin1String(DesktopNotifier::ObjectPath));
        QDBusConnection::disconnectFromBus(u"notifications"_s);
    }

    void stationFilesRoundTrip_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("m3u") << int(ExportFiles::Format::M3U);
        QTest::newRow("xspf") << int(ExportFiles::Format::XSPF);
    }

    void stationFilesRoundTrip()
    {
        QFETCH(int, format);
        // Names as stations carry them: markup, quotes, commas, non-Latin script, "#" lookalikes.
        const Entries entries = {{u"Jazz & <Blues>"_s, u"http://a.example:8000/live"_s},
                                 {u"\"Quoted\", with comma"_s, u"https://b.example/s?x=1&y=2"_s},
                                 {QString::fromUtf8("Радио Ночь"), u"http://c.example/stream"_s},
                                 {u"#EXTINF:-1,fake"_s, u"mms://d.example/x"_s}};
        const QByteArray data = ExportFiles::writeStations(entries, ExportFiles::Format(format));
        const QString path = m_dir.filePath(u"fav."_s + QString::number(format));
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
        const Entries broken = {{u"Two\nhttp://evil.example/"_s, u"http://ok.example/"_s}};
        QVERIFY(ExportFiles::readStations(ExportFiles::writeStations(broken, ExportFiles::Format(format)),
                                          back, &skipped, &error));
        QCOMPARE(back.size(), 1);
        QCOMPARE(back[0].url, u"http://ok.example/"_s);
    }

    void wishListCsv()
    {
        const QDateTime t(QDate(2026, 12, 6), QTime(21, 30, 5), Qt::UTC);
        const QList<ExportFiles::WishRow> rows{
            {u"Say \"Hi\", Now"_s, u" A, B "_s, QDateTime(), u"http://x.example/?a=1,2"_s},
            {u"=HYPERLINK(\"http://evil\")"_s, u"+Radio"_s, t, QString()},
            {u"-M- - Qui de nous deux"_s, u"@home"_s, t, QString()}};
        const QByteArray csv = ExportFiles::writeWishList(rows);
        // Nothing a spreadsheet would evaluate starts a cell, and yet every text reads back as it was.
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

    void hostileFiles_data()
    {
        QTest::addColumn<bool>("wishList"); // a wish list (CSV), else a station list
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("read"); // the addresses (stations) or tracks (wish list) kept
        QTest::addColumn<int>("skipped");
        QTest::newRow("pls, local file skipped")
            << false
            << QByteArray(
                   "[playlist]\r\nFile1=http://p.example/1\r\nTitle1=One\r\nFile2=file:///etc/passwd\r\n")
            << true << QStringList{"http://p.example/1"} << 1;
        QTest::newRow("bare m3u, local paths skipped")
            << false << QByteArray("http://m.example/a\n/home/u/x.mp3\nrtsp://m.example/b\n") << true
            << QStringList{"http://m.example/a", "rtsp://m.example/b"} << 1;
        QTest::newRow("xspf, javascript location skipped")
            << false
            << QByteArray("<?xml version=\"1.0\"?><playlist xmlns=\"http://xspf.org/ns/0/\"><trackList>"
                          "<track><location>javascript:alert(1)</location></track>"
                          "<track><location>http://x.example/</location></track></trackList></playlist>")
            << true << QStringList{"http://x.example/"} << 1;
        QTest::newRow("deeply nested xspf")
            << false << "<?xml version=\"1.0\"?>" + QByteArray("<a>").repeated(100) << false << QStringList()
            << 0;
        QTest::newRow("station list too large")
            << false << QByteArray(ExportFiles::MaxFileBytes + 1, 'a') << false << QStringList() << 0;
        QTest::newRow("csv, unclosed quote")
            << true << QByteArray("Track,Station\r\n\"never closed,x\r\n") << false << QStringList() << 0;
        QTest::newRow("csv without header") << true << QByteArray("a,b,c\r\n") << false << QStringList() << 0;
        QTest::newRow("csv: reordered columns, BOM, LF only, empty track skipped")
            << true << QByteArray("\xef\xbb\xbfStation,Track\nR,A - B\nR2,\n") << true << QStringList{"A - B"}
            << 1;
        QTest::newRow("csv: script link dropped, row kept")
            << true << QByteArray("Track,Link\r\nA - B,javascript:alert(1)\r\n") << true
            << QStringList{"A - B"} << 0;
        const QByteArray many = "Track\n" + QByteArray("x\n").repeated(ExportFiles::MaxEntries + 5);
        QTest::newRow("csv row limit")
            << true << many << true << QStringList(ExportFiles::MaxEntries, u"x"_s) << 5;
    }

    void hostileFiles()
    {
        QFETCH(bool, wishList);
        QFETCH(QByteArray, data);
        QStringList read;
        int skipped = -1;
        QString error;
        bool ok = false;
        if (wishList) {
            QList<ExportFiles::WishRow> rows;
            ok = ExportFiles::readWishList(data, rows, &skipped, &error);
            for (const ExportFiles::WishRow &row : std::as_const(rows)) {
                read << row.artistAndTitle;
                QVERIFY(row.link.isEmpty() || row.link.startsWith(u"http"_s));
            }
        } else {
            Entries entries;
            ok = ExportFiles::readStations(data, entries, &skipped, &error);
            for (const ExportFiles::StationEntry &e : std::as_const(entries))
                read << e.url;
        }
        QTEST(ok, "ok");
        QCOMPARE(error.isEmpty(), ok);
        QTEST(read, "read");
        if (ok)
            QTEST(skipped, "skipped");
    }

    void proxy_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("engine"); // what the stream engine is given: "" direct, "!" refused
        QTest::newRow("http ipv6") << int(ProxySetting::Http) << "::1" << 8080 << "[::1]:8080";
        // The engine cannot tunnel through SOCKS: it connects directly and says so.
        QTest::newRow("socks") << int(ProxySetting::Socks) << "127.0.0.1" << 1080 << QString();
        QTest::newRow("system takes http_proxy")
            << int(ProxySetting::System) << QString() << 0 << "127.0.0.1:3129";
        QTest::newRow("port too big") << int(ProxySetting::Socks) << "p.example" << 70000 << "!";
        QTest::newRow("credentials smuggled in host")
            << int(ProxySetting::Http) << "u:p@evil.example" << 80 << "!";
        QTest::newRow("line break in host") << int(ProxySetting::Http) << "a.example\r\nX: y" << 80 << "!";
    }

    void proxy()
    {
        QFETCH(int, kind);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, engine);
        qputenv("http_proxy", "http://127.0.0.1:3129");
        // From a known state that a refused setting must leave alone.
        QVERIFY(applyProxy(ProxySetting()).ok);
        ProxySetting setting;
        setting.kind = ProxySetting::Kind(kind);
        setting.host = host;
        setting.port = port;
        const ProxyApplied applied = applyProxy(setting);
        QCOMPARE(applied.ok, engine != u"!"_s);
        QCOMPARE(applied.error.isEmpty(), applied.ok);
        QCOMPARE(applied.engineUsesProxy, applied.ok && !engine.isEmpty());
        const auto *given = static_cast<const char *>(BASS_GetConfigPtr(BASS_CONFIG_NET_PROXY));
        QCOMPARE(given ? QString::fromLatin1(given) : QString(), applied.ok ? engine : QString());
        if (!applied.ok)
            QCOMPARE(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);
        QVERIFY(applyProxy(ProxySetting()).ok);
    }

    void accessibleNames()
    {
        // The check the window tests rely on: it names exactly the visible controls a screen reader
        // could not name, also inside nested widgets, and leaves out labels and hidden controls.
        QWidget window;
        window.setObjectName(u"window"_s);
        auto *layout = new QFormLayout(&window);
        layout->addRow(u"&Search:"_s, new QLineEdit(&window));
        layout->addRow(new QPushButton(u"Play"_s, &window));
        auto *named = new QToolButton(&window);
        named->setAccessibleName(u"Record"_s);
        named->setIcon(QIcon(QPixmap(16, 16)));
        layout->addRow(named);
        layout->addRow(new QLabel(QString(), &window));
        auto *inner = new QWidget(&window);
        auto *unnamed = new QToolButton(inner);
        unnamed->setObjectName(u"btBare"_s);
        (new QVBoxLayout(inner))->addWidget(unnamed);
        layout->addRow(inner);
        layout->addRow(new QSlider(Qt::Horizontal, &window));
        auto *hidden = new QToolButton(&window);
        layout->addRow(hidden);
        hidden->hide();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QStringList problems = TunoraTest::unnamedControls(&window);
        QCOMPARE(problems.size(), 2);
        QVERIFY2(problems.filter(u"btBare"_s).size() == 1, qPrintable(problems.join(u';')));
        for (const QString &problem : problems)
            QVERIFY2(problem.startsWith(u"window/"_s), qPrintable(problem));
    }

    // The clickable labels and the news ticker: links open only web addresses and report their widget
    // and the global position; the ticker takes a label's place in a layout, draws what a plain label
    // draws, runs by itself, and stops waking the program while nobody can see it or the pointer holds it.
    void mouse_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("link"); // shop link, ticker link, or the target of the label's link
        QTest::addColumn<int>("button");   // clicked between entering and leaving
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("opened");

        const int left = Qt::LeftButton, right = Qt::RightButton;
        const QString next = QStringLiteral("next"), browsing = QStringLiteral("status:Starting browser...");
        QTest::newRow("cover opens its shop link") << "cover" << Shop << left << "enter,left,leave" << Shop;
        QTest::newRow("cover right click") << "cover" << Shop << right << "enter,right,leave" << QString();
        QTest::newRow("cover refuses a file link")
            << "cover"
            << "file:///etc/passwd" << left << "enter,left,leave" << QString();
        QTest::newRow("navigate link goes to the window")
            << "navigate" << next << left << "left,link:next" << QString();
        QTest::newRow("navigate link to the browser")
            << "browser" << Shop << left << QStringLiteral("left,") + browsing << Shop;
        QTest::newRow("navigate refuses a script link")
            << "browser"
            << "javascript:alert(1)" << left << "left" << QString();
        QTest::newRow("ticker opens its link") << "ticker" << Shop << left << browsing << Shop;
    }

    void mouse()
    {
        QFETCH(QString, kind);
        QFETCH(QString, link);
        QFETCH(int, button);
        QFETCH(QString, log);
        QFETCH(QString, opened);

        const QPoint pos(6, 20);
        QWidget *w = nullptr;
        if (kind == QLatin1String("cover")) {
            auto *cover = watched(new CoverArtLabel(m_host.get()), m_log, pos);
            cover->setShopLink(link);
            w = cover;
        } else if (kind == QLatin1String("ticker")) {
            auto *ticker = watched(new TickerLabel(m_host.get()), m_log, pos);
            ticker->setText(QStringLiteral("News | Something happened"));
            ticker->setLink(link);
            w = ticker;
        } else {
            auto *label = watched(new NavigateLabel(m_host.get()), m_log, pos);
            label->setText(QStringLiteral("<a href=\"%1\">Next page of stations</a>").arg(link));
            label->setLinkCursor(true);
            label->setOpenInBrowser(kind == QLatin1String("browser"));
            w = label;
        }
        w->setGeometry(0, 0, 200, 40);
        w->show();

        enter(w);
        QCOMPARE(w->cursor().shape(), Qt::PointingHandCursor); // every widget here has a link
        QTest::mouseClick(w, Qt::MouseButton(button), {}, pos);
        leave(w);
        if (!qobject_cast<CoverArtLabel *>(w)) // the cover's cursor follows its link, not the mouse
            QCOMPARE(int(w->cursor().shape()), int(Qt::ArrowCursor));
        QCOMPARE(m_log.join(QLatin1Char(',')), log);
        QCOMPARE(m_browser.opened, opened.isEmpty() ? QStringList() : QStringList{opened});
    }

    void tickerTakesTheLabelsPlace()
    {
        // As in a form: nested layouts, and the first text arrives before the window is shown.
        auto *row = new QWidget(m_host.get());
        auto *layout = new QHBoxLayout;
        (new QVBoxLayout(row))->addLayout(layout); // a row inside the page's layout
        auto *before = new QLabel(QStringLiteral("before"), row);
        auto *ticker = new TickerLabel(row);
        auto *after = new QLabel(QStringLiteral("after"), row);
        ticker->setStyleSheet(QStringLiteral("color: #1F8A9E;"));
        layout->addWidget(before);
        layout->addWidget(ticker);
        layout->addWidget(after);
        // Markup in a title is text: the label is as wide as the literal text.
        const QString text = QStringLiteral("News | <img src=\"http://example.invalid/x.png\"> <b>bold</b>");
        ticker->setText(text);
        row->resize(380, 30);
        row->show();

        QScrollArea *area = ticker->scrollArea();
        QVERIFY(area);
        QCOMPARE(layout->indexOf(area), 1);
        QTRY_VERIFY(area->isVisible() && area->x() > before->geometry().right() &&
                    area->geometry().right() < after->x());
        QCOMPARE(area->styleSheet(), ticker->styleSheet());
        QCOMPARE(ticker->parentWidget(), area->viewport());
        QVERIFY(!area->horizontalScrollBar()->isVisible() && !area->verticalScrollBar()->isVisible());
        // The text enters from the right (one visible width of space first) and runs by itself.
        const int visible = area->viewport()->width();
        QCOMPARE(ticker->width(), visible + qMax(visible, ticker->fontMetrics().horizontalAdvance(text)));
        QTRY_VERIFY_WITH_TIMEOUT(area->horizontalScrollBar()->value() > 0, 20000);

        // A later text starts from the right again, in the same scroll area.
        ticker->setText(QStringLiteral("News | short"));
        QCOMPARE(ticker->scrollArea(), area);
        QCOMPARE(area->horizontalScrollBar()->value(), 0);
        QCOMPARE(ticker->width(), 2 * visible);
    }

    void tickerPausesWhileHidden_data()
    {
        QTest::addColumn<Toggle>("toggle");
        QTest::newRow("window minimised") << Toggle([](QWidget *window, TickerLabel *, bool hide) {
            if (hide)
                window->showMinimized();
            else
                window->showNormal();
        });
        QTest::newRow("ticker row hidden") << Toggle(
            [](QWidget *, TickerLabel *ticker, bool hide) { ticker->scrollArea()->setVisible(!hide); });
        QTest::newRow("pointer over it") << Toggle(
            [](QWidget *, TickerLabel *ticker, bool over) { over ? enter(ticker) : leave(ticker); });
    }

    void tickerPausesWhileHidden()
    {
        QFETCH(Toggle, toggle);
        TickerLabel *ticker =
            newTicker(150, QStringLiteral("News | The longest headline of the day, scrolling past"));
        QTRY_VERIFY(ticker->isRunning());
        toggle(m_host.get(), ticker, true);
        QTRY_VERIFY(!ticker->isRunning());
        // A new text meanwhile waits too.
        ticker->setText(QStringLiteral("News | Another headline that is long enough to scroll"));
        QVERIFY(!ticker->isRunning());
        toggle(m_host.get(), ticker, false);
        QTRY_VERIFY(ticker->isRunning());
    }

    void tickerLooksLikeALabel_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("pointSize"); // 0: the font stays
        QTest::newRow("new text") << QStringLiteral("News | Short")
                                  << QStringLiteral("News | A much longer title, wider") << 0;
        QTest::newRow("right-to-left and markup")
            << QStringLiteral("News | \u0623\u062e\u0628\u0627\u0631 <b>x</b>")
            << QStringLiteral("News | <i>y</i> & z") << 11;
    }

    // Every text it is given, and a new font, reach the screen as a label would draw them (the
    // laid-out text is made again), and the scroll keeps moving the text.
    void tickerLooksLikeALabel()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, pointSize);
        TickerLabel *ticker = newTicker(200, first);
        QTRY_COMPARE(ticker->grab().toImage(), drawnByALabel(ticker));
        QScrollBar *bar = ticker->scrollArea()->horizontalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 20000);

        if (pointSize) {
            QFont font = ticker->font();
            font.setPointSize(pointSize);
            ticker->setFont(font);
            QCOMPARE(ticker->grab().toImage(), drawnByALabel(ticker));
        }
        ticker->setText(second);
        QCOMPARE(bar->value(), 0);
        QCOMPARE(ticker->grab().toImage(), drawnByALabel(ticker));
        QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 20000);
    }

private:
    // A ticker in the host window, away from the pointer (which would hold it).
    TickerLabel *newTicker(int width, const QString &text)
    {
        auto *ticker = new TickerLabel(m_host.get());
        ticker->setGeometry(50, 4, width, 22);
        ticker->setText(text);
        ticker->scrollArea()->show();
        return ticker;
    }

    // A plain label of the ticker's size, font, indent and text.
    static QImage drawnByALabel(TickerLabel *ticker)
    {
        QLabel label;
        label.setTextFormat(Qt::PlainText);
        label.setAlignment(ticker->alignment());
        label.setFont(ticker->font());
        label.setIndent(ticker->indent());
        label.resize(ticker->size());
        label.setText(ticker->text());
        return label.grab().toImage();
    }

    QTemporaryDir m_dir;
    UrlRecorder m_browser;
    QStringList m_log; // signals and status texts, in order
    std::unique_ptr<QWidget> m_host;
};

TUNORA_TEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
