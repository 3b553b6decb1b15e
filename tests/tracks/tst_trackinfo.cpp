// Test tables are easier to read with plain string literals.
#undef QT_NO_CAST_FROM_ASCII

#include "testmain.h"
#include "trackinfo.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

using namespace BASS;

namespace {

// A save file on a disk that fills up: accepts only the first `room` bytes and reports no error,
// which is what a full disk does to a single large write.
class FullDiskSaveFile : public QSaveFile
{
public:
    FullDiskSaveFile(const QString &name, qint64 room)
        : QSaveFile(name)
        , m_room(room)
    {}

protected:
    qint64 writeData(const char *data, qint64 len) override
    {
        const qint64 n = qMin(len, m_room);
        m_room -= n;
        return n > 0 ? QSaveFile::writeData(data, n) : 0;
    }

private:
    qint64 m_room;
};

TrackPtr makeTrack(quint32 id, const QString &name, bool wished = true)
{
    auto t = TrackPtr::create();
    t->setTrackId(id);
    t->setTrackName(name);
    t->setWishListed(wished);
    return t;
}

QByteArray trackXml(const QString &id, const QString &name, const QString &wish)
{
    return QStringLiteral(
               "<track><trackId>%1</trackId><trackName>%2</trackName><WishList>%3</WishList></track>")
        .arg(id, name, wish)
        .toUtf8();
}

} // namespace

class TstTrackInfo : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void hashId_data();
    void hashId();
    void roundTrip_data();
    void roundTrip();
    void readFile_data();
    void readFile();
    void malformedKeepsRecordsAndBackup();
    void fullDiskKeepsOldFile();
    void unwritableFolderReportsError();
    void uniqueIdNeverCollides();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TstTrackInfo::hashId_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("id");
    QTest::newRow("empty") << QString() << 0u;
    QTest::newRow("one char") << QStringLiteral("A") << 65u;
    QTest::newRow("two chars") << QStringLiteral("AB") << quint32(65 * 101 + 66);
    // Characters above 0x7f count as signed bytes: 0xE9 is -23.
    QTest::newRow("latin-1 is signed") << QStringLiteral("\u00e9") << quint32(-23);
    QTest::newRow("wraps") << QStringLiteral("Sun Dec 6 20:36:12 2026") << [] {
        quint32 h = 0;
        for (char c : QByteArray("Sun Dec 6 20:36:12 2026"))
            h = h * 101u + quint32(qint32(c));
        return h;
    }();
}

void TstTrackInfo::hashId()
{
    QFETCH(QString, text);
    QFETCH(quint32, id);
    QCOMPARE(TrackInfo::hashId(text), id);
}

void TstTrackInfo::roundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("url");
    QTest::newRow("plain") << QStringLiteral("Artist - Title")
                           << QStringLiteral("http://shop.example/a?b=1&c=2");
    QTest::newRow("markup and entities")
        << QStringLiteral("<b>AC&DC</b> - \"Back\" 'n' &amp;") << QStringLiteral("https://x/?q=<>&amp;");
    QTest::newRow("cyrillic") << QStringLiteral("Кино - Группа крови") << QString();
    QTest::newRow("cjk and arabic") << QStringLiteral("久石譲 - 風のとおり道 / فيروز") << QString();
    QTest::newRow("emoji") << QStringLiteral("Band 🎸 - Song") << QString();
    QTest::newRow("whitespace kept") << QStringLiteral("  two  spaces  ") << QString();
}

void TstTrackInfo::roundTrip()
{
    QFETCH(QString, name);
    QFETCH(QString, url);
    TrackMap map;
    auto t = makeTrack(4000000000u, name);
    t->setTrackURL(url);
    t->setTrackStation(QStringLiteral("Station & Co"));
    t->setTrackFile(QStringLiteral("http://img/1.jpg"));
    t->setTrackGenre(QStringLiteral("Jazz"));
    t->setTrackPreview(QStringLiteral("http://p/1.mp3"));
    t->setTrackDateTime(QDateTime(QDate(2026, 12, 6), QTime(20, 1, 2)));
    map.insert(t->trackId(), t);
    map.insert(7, makeTrack(7, QStringLiteral("not wished"), false)); // dropped from the file
    map.insert(8, makeTrack(8, QString(), true));                     // empty: never written

    QString error;
    QVERIFY2(saveWishList(path(QStringLiteral("m_track_wishlist.xml")), map, &error), qPrintable(error));
    TrackMap back;
    WishListLoad outcome;
    QVERIFY(loadWishList(path(QStringLiteral("m_track_wishlist.xml")), back, &outcome));
    QVERIFY(!outcome.malformed);
    QCOMPARE(back.keys(), QList<quint32>{4000000000u});
    const TrackPtr r = back.value(4000000000u);
    QCOMPARE(r->trackName(), name);
    QCOMPARE(r->trackURL(), url);
    QCOMPARE(r->trackStation(), QStringLiteral("Station & Co"));
    QCOMPARE(r->trackFile(), QStringLiteral("http://img/1.jpg"));
    QCOMPARE(r->trackGenre(), QStringLiteral("Jazz"));
    QCOMPARE(r->trackPreview(), QStringLiteral("http://p/1.mp3"));
    QCOMPARE(r->trackDateTime(), t->trackDateTime());
    QVERIFY(r->isWishListed());

    // The file carries the fields in the documented order and is UTF-8.
    QFile f(path(QStringLiteral("m_track_wishlist.xml")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.contains(name.toHtmlEscaped().toUtf8()) || bytes.contains(name.toUtf8()));
    QStringList order;
    QXmlStreamReader reader(bytes);
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("tracks") || reader.name() == QLatin1String("track"))
            continue;
        order << reader.name().toString();
        reader.skipCurrentElement();
    }
    QCOMPARE(order, (QStringList{"trackId", "trackName", "trackURL", "trackStation", "trackFile",
                                 "trackGenre", "trackDateTime", "trackPreview", "WishList"}));
}

void TstTrackInfo::readFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<quint32>>("ids");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<bool>>("wished");

    QTest::newRow("letter case of yes") << QByteArray("<tracks>" + trackXml("1", "a", "Yes") + "</tracks>")
                                        << QList<quint32>{1} << QStringList{"a"} << QList<bool>{false};
    QTest::newRow("later duplicate wins") << QByteArray("<tracks>" + trackXml("5", "first", "yes") +
                                                        trackXml("5", "second", "yes") + "</tracks>")
                                          << QList<quint32>{5} << QStringList{"second"} << QList<bool>{true};
    QTest::newRow("unknown elements skipped")
        << QByteArray("<tracks><track><trackId>3</trackId><extra>x</extra><trackName>n</trackName>"
                      "<WishList>yes</WishList></track></tracks>")
        << QList<quint32>{3} << QStringList{"n"} << QList<bool>{true};
    QTest::newRow("entities and numeric references")
        << QByteArray("<tracks>" + trackXml("9", "Tom &amp; Jerry &#x41A;&lt;", "yes") + "</tracks>")
        << QList<quint32>{9} << QStringList{QStringLiteral("Tom & Jerry К<")} << QList<bool>{true};
    // An id that overflows 32 bits must not wrap onto another track's id.
    QTest::newRow("overflowing id gets its own")
        << QByteArray("<tracks>" + trackXml("4294967297", "big", "yes") + trackXml("1", "one", "yes") +
                      "</tracks>")
        << QList<quint32>{1, TrackInfo::hashId(QStringLiteral("big"))} << QStringList{"one", "big"}
        << QList<bool>{true, true};
}

void TstTrackInfo::readFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QList<quint32>, ids);
    QFETCH(QStringList, names);
    QFETCH(QList<bool>, wished);
    QFile f(path(QStringLiteral("in.xml")));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + content);
    f.close();
    TrackMap map;
    WishListLoad outcome;
    QVERIFY(loadWishList(f.fileName(), map, &outcome));
    QVERIFY2(!outcome.malformed, qPrintable(outcome.errorText));
    QCOMPARE(map.size(), ids.size());
    for (int i = 0; i < ids.size(); ++i) {
        QVERIFY2(map.contains(ids[i]), qPrintable(QString::number(ids[i])));
        QCOMPARE(map[ids[i]]->trackName(), names[i]);
        QCOMPARE(map[ids[i]]->isWishListed(), wished[i]);
    }
}

void TstTrackInfo::malformedKeepsRecordsAndBackup()
{
    const QString file = path(QStringLiteral("bad.xml"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<tracks>" + trackXml("1", "kept", "yes") + "<track><trackId>2</trackId><trackName>cut");
    f.close();
    TrackMap map;
    map.insert(50, makeTrack(50, QStringLiteral("already there")));
    WishListLoad outcome;
    QVERIFY(loadWishList(file, map, &outcome));
    QVERIFY(outcome.malformed);
    QCOMPARE(map.keys(), (QList<quint32>{1, 50}));
    QVERIFY(!outcome.backupPath.isEmpty());
    QFile backup(outcome.backupPath);
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QVERIFY(backup.readAll().endsWith("<trackName>cut"));

    TrackMap none;
    QVERIFY(!loadWishList(path(QStringLiteral("missing.xml")), none, &outcome));
    QVERIFY(!outcome.opened);
    QVERIFY(none.isEmpty());
}

void TstTrackInfo::fullDiskKeepsOldFile()
{
    const QString file = path(QStringLiteral("full.xml"));
    TrackMap old;
    old.insert(1, makeTrack(1, QStringLiteral("old song")));
    QVERIFY(saveWishList(file, old));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    TrackMap bigger;
    for (quint32 i = 1; i <= 200; ++i)
        bigger.insert(i, makeTrack(i, QStringLiteral("song %1").arg(i)));
    FullDiskSaveFile full(file, 512);
    QString error;
    QVERIFY(!saveWishList(full, bigger, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    QCOMPARE(QDir(m_dir.path()).entryList({"full.xml*"}, QDir::Files),
             QStringList{"full.xml"}); // no temp file left
}

void TstTrackInfo::unwritableFolderReportsError()
{
    QString error;
    TrackMap map;
    map.insert(1, makeTrack(1, QStringLiteral("x")));
    QVERIFY(!saveWishList(path(QStringLiteral("no/such/folder/w.xml")), map, &error));
    QVERIFY(!error.isEmpty());
}

void TstTrackInfo::uniqueIdNeverCollides()
{
    TrackList list{makeTrack(10, QStringLiteral("a")), makeTrack(11, QStringLiteral("b"))};
    TrackMap map;
    map.insert(12, makeTrack(12, QStringLiteral("c")));
    map.insert(0xffffffffu, makeTrack(0xffffffffu, QStringLiteral("d")));
    QCOMPARE(uniqueId(10, list, map), 13u);
    QCOMPARE(uniqueId(20, list, map), 20u);
    QCOMPARE(uniqueId(0xffffffffu, list, map), 1u); // wraps past the top and skips 0
    QCOMPARE(uniqueId(0, list, map), 1u);
    QVERIFY(!findTrack(list, 0));
}

TUNORA_TEST_MAIN_CORE(TstTrackInfo)
#include "tst_trackinfo.moc"
