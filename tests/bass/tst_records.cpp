#include "records.h"
#include "testmain.h"

using namespace BASS;

namespace {
QString s(const char *text)
{
    return QString::fromUtf8(text);
}
} // namespace

class TestRecords : public QObject
{
    Q_OBJECT
private slots:
    void bitrateTexts_data();
    void bitrateTexts();
    void bitrateFromText_data();
    void bitrateFromText();
    void formatTexts_data();
    void formatTexts();
    void addressTests_data();
    void addressTests();
    void streamKey_data();
    void streamKey();
    void website_data();
    void website();
    void location_data();
    void location();
    void locationSetterKeepsCredentials();
    void stationCopyIsDeep();
    void stationStreams();
    void stationReset();
    void timeStampText();
    void genreSubgenres();
    void genreDeepCopy();
    void genreOrder();
    void countryAndRegionCopies();
};

void TestRecords::bitrateTexts_data()
{
    QTest::addColumn<quint32>("bitrate");
    QTest::addColumn<QString>("kbps");
    QTest::addColumn<QString>("number");
    auto row = [](const char *name, quint32 bitrate, const char *kbps, const char *number) {
        QTest::newRow(name) << bitrate << s(kbps) << s(number);
    };
    row("kbit/s", 128, "128 kbps", "128");
    row("bit/s", 128000, "128 kbps", "");
    row("zero", 0, "", "");
    row("last with number", 32786, "32 kbps", "32786");
    row("first without number", 32787, "32 kbps", "");
    row("1000 stays", 1000, "1000 kbps", "1000");
    row("1001 divided", 1001, "1 kbps", "1001");
}

void TestRecords::bitrateTexts()
{
    QFETCH(quint32, bitrate);
    StationStream st;
    st.bitrate = bitrate;
    QTEST(st.bitrateText(), "kbps");
    QTEST(st.bitrateNumberText(), "number");
}

void TestRecords::bitrateFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("bitrate");
    QTest::newRow("with unit") << "128 kbps" << 128u;
    QTest::newRow("plain") << "96" << 96u;
    QTest::newRow("not a number") << "fast" << 0u;
    QTest::newRow("leading blank") << " 128" << 0u;
    QTest::newRow("number after unit") << "kbps 128" << 0u;
}

void TestRecords::bitrateFromText()
{
    QFETCH(QString, text);
    QTEST(StationStream::bitrateFromText(text), "bitrate");
}

void TestRecords::formatTexts_data()
{
    QTest::addColumn<int>("code"); // -1: the text is only parsed
    QTest::addColumn<bool>("emptyFallback");
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("parsed");
    auto row = [](const char *name, int code, bool emptyFallback, const char *text, quint32 parsed) {
        QTest::newRow(name) << code << emptyFallback << s(text) << parsed;
    };
    row("mp3", 1, false, "MP3", 1);
    row("mp3pro", 7, false, "MP3 Pro", 7);
    row("website", 10, false, "Website", 10);
    row("unset", 0, false, "Unknown", 0);
    row("unused 9", 9, false, "Unknown", 0);
    row("unused 9 empty", 9, true, "", 0);
    row("known ignores fallback", 1, true, "MP3", 1);
    row("mp3 pro any case", -1, false, "mp3 pro", 7);
    row("contains aac", -1, false, "HE-AAC+", 3);
    row("ogg vorbis", -1, false, "Ogg Vorbis", 4);
    row("not known", -1, false, "opus", 0);
}

void TestRecords::formatTexts()
{
    QFETCH(int, code);
    QFETCH(bool, emptyFallback);
    QFETCH(QString, text);
    if (code >= 0)
        QCOMPARE(FormatText(quint32(code), emptyFallback), text);
    QTEST(FormatFromText(text), "parsed");
}

void TestRecords::addressTests_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("kinds"); // letters: w wmv, m mms, a asx, p pls, l wpl, u m3u, r real
    auto row = [](const char *name, const char *url, const char *kinds) {
        QTest::newRow(name) << s(url) << s(kinds);
    };
    row("plain http", "http://host/stream", "");
    row("pls any case", "http://host/LIST.PLS", "p");
    row("m3u", "http://host/a.m3u?x=1", "u");
    row("asx", "http://host/a.asx", "a");
    row("wpl", "http://host/a.wpl", "l");
    row("wmv", "http://host/v.WMV", "w");
    row("mms", "MMS://host/live", "m");
    row("rtsp", "rtsp://host/live", "r");
    row("smil", "http://host/live.smil", "r");
    row("ram", "http://host/live.ram", "r");
    row("rm", "http://host/live.rm", "r");
    row("RAM is case-sensitive", "http://host/live.RAM", "");
    row("rm only as last extension", "http://host/live.rm.mp3", "");
    row("no dot", "localhost", "");
}

void TestRecords::addressTests()
{
    QFETCH(QString, url);
    QFETCH(QString, kinds);
    StationStream st;
    st.url = url;
    QCOMPARE(st.isWindowsMediaFile(), kinds.contains(QLatin1Char('w')));
    QCOMPARE(st.isMmsAddress(), kinds.contains(QLatin1Char('m')));
    QCOMPARE(st.isAsx(), kinds.contains(QLatin1Char('a')));
    QCOMPARE(st.isPls(), kinds.contains(QLatin1Char('p')));
    QCOMPARE(st.isWpl(), kinds.contains(QLatin1Char('l')));
    QCOMPARE(st.isM3u(), kinds.contains(QLatin1Char('u')));
    QCOMPARE(st.isRealPlayer(), kinds.contains(QLatin1Char('r')));
}

void TestRecords::streamKey_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("key");
    QTest::newRow("one char") << s("a") << s("61");
    QTest::newRow("two chars") << s("ab") << s("26A7");
    QTest::newRow("wraps at 32 bits") << s("http://127.0.0.1:8000/live.mp3") << s("E6CD91B0");
    QTest::newRow("no address keeps the key") << QString() << s("KEEP");
}

void TestRecords::streamKey()
{
    QFETCH(QString, url);
    StationStream st;
    st.url = url;
    st.key = QStringLiteral("KEEP");
    st.makeKey();
    QTEST(st.key, "key");
}

void TestRecords::website_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("stored");
    QTest::newRow("with scheme") << s("http://www.radio.example/") << s("www.radio.example/");
    QTest::newRow("without scheme") << s("www.radio.example") << s("www.radio.example");
    QTest::newRow("capital scheme kept") << s("HTTP://www.radio.example") << s("HTTP://www.radio.example");
    QTest::newRow("text before scheme") << s("see http://a.example") << s("a.example");
    QTest::newRow("https untouched") << s("https://a.example") << s("https://a.example");
}

void TestRecords::website()
{
    QFETCH(QString, given);
    Station st;
    st.setWebsite(given);
    QTEST(st.website(), "stored");
}

void TestRecords::location_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    auto row = [](const char *name, const char *raw, const char *place, const char *user, const char *pw) {
        QTest::newRow(name) << s(raw) << s(place) << s(user) << s(pw);
    };
    row("plain place", "Berlin, Germany", "Berlin, Germany", "", "");
    row("credentials", "Berlin|Username=bob|Password=s3cret", "Berlin", "bob", "s3cret");
    row("password first", "Oslo|Password=pw|Username=u", "Oslo", "u", "pw");
    row("user only", "Rome|Username=only", "Rome", "only", "");
    row("empty place", "|Username=a|Password=b", "", "a", "b");
}

void TestRecords::location()
{
    QFETCH(QString, raw);
    Station st;
    st.setLocation(raw);
    QTEST(st.streamUserName(), "user"); // parses on demand before the place is read
    QTEST(st.location(), "place");
    QTEST(st.streamPassword(), "password");
}

void TestRecords::locationSetterKeepsCredentials()
{
    Station s;
    s.setLocation(QStringLiteral("Paris|Username=u|Password=p"));
    s.setLocation(QStringLiteral("Lyon"));
    QCOMPARE(s.location(), QStringLiteral("Paris"));
    QCOMPARE(s.streamUserName(), QStringLiteral("u"));

    Station plain;
    plain.setLocation(QStringLiteral("Paris"));
    plain.setLocation(QStringLiteral("Lyon"));
    QCOMPARE(plain.location(), QStringLiteral("Lyon"));
}

void TestRecords::stationCopyIsDeep()
{
    Station a;
    a.setId(QStringLiteral("42"));
    a.setName(QStringLiteral("Radio"));
    a.nowPlaying().setArtist(QStringLiteral("Artist"));
    StationStream st;
    st.url = QStringLiteral("http://a/1");
    st.bitrate = 128;
    a.addStream(st, true);
    st.url = QStringLiteral("http://a/2");
    a.addStream(st, false);

    Station b(a);
    QCOMPARE(b.streams().size(), 2);
    QVERIFY(b.streams().at(0) != a.streams().at(0));
    b.streams().at(0)->url = QStringLiteral("changed");
    QCOMPARE(a.streams().at(0)->url, QStringLiteral("http://a/1"));
    QCOMPARE(b.nowPlaying().artist(), QStringLiteral("Artist"));
    QCOMPARE(b.currentStream().url, QStringLiteral("http://a/1"));

    Station c;
    c.addStream(st, true);
    c = a;
    QCOMPARE(c.streams().size(), 2);
    QCOMPARE(c.id(), QStringLiteral("42"));
}

void TestRecords::stationStreams()
{
    Station s;
    StationStream st;
    st.url = QStringLiteral("http://one");
    s.addStream(st, false);
    QVERIFY(s.currentStream().url.isEmpty());
    st.url = QStringLiteral("http://two");
    s.addStream(st, true);
    QCOMPARE(s.currentStream().url, QStringLiteral("http://two"));
    QCOMPARE(s.firstStreamUrl(), QStringLiteral("http://one"));
    QVERIFY(s.findStream(QStringLiteral("http://two")));
    QCOMPARE(s.findStream(QStringLiteral("http://two"))->url, QStringLiteral("http://two"));
    QVERIFY(!s.findStream(QStringLiteral("http://three")));
}

void TestRecords::stationReset()
{
    Station s;
    s.setName(QStringLiteral("x"));
    s.setFavorite(true);
    s.setDateFormat(QStringLiteral("yyyy"));
    s.setTimeStamp(Station::Added, QDateTime::currentDateTime());
    StationStream st;
    st.url = QStringLiteral("http://one");
    s.addStream(st, true);
    s.reset();
    QVERIFY(s.name().isEmpty());
    QVERIFY(!s.favorite());
    QVERIFY(s.streams().isEmpty());
    QVERIFY(s.currentStream().url.isEmpty());
    QVERIFY(!s.timeStamp(Station::Added).isValid());
    QCOMPARE(s.dateFormat(), QStringLiteral("ddd d MMM yyyy hh:mm"));
}

void TestRecords::timeStampText()
{
    Station s;
    s.setTimeStamp(Station::Modified, QDateTime(QDate(2026, 3, 7), QTime(15, 4, 5)));
    QCOMPARE(s.timeStampText(Station::Modified, true), QStringLiteral("3/7/2026 3:04:05 PM"));
    QVERIFY(s.timeStampText(Station::Added, true).isEmpty());
    s.setDateFormat(QStringLiteral("yyyy-MM-dd"));
    QCOMPARE(s.timeStampText(Station::Modified, false), QStringLiteral("2026-03-07"));
}

void TestRecords::genreSubgenres()
{
    Genre rock(QStringLiteral("Rock"));
    QCOMPARE(rock.search(), QStringLiteral("gen:\"Rock\""));
    QVERIFY(!rock.subgenres());
    rock.addSubgenre(new Genre(QStringLiteral("Punk")));
    auto *second = new Genre(QStringLiteral("Punk"));
    second->setDescription(QStringLiteral("later"));
    rock.addSubgenre(second);
    QVERIFY(rock.subgenres());
    QCOMPARE(rock.subgenres()->size(), 1);
    QCOMPARE(rock.subgenres()->value(QStringLiteral("Punk"))->description(), QStringLiteral("later"));
}

void TestRecords::genreDeepCopy()
{
    Genre rock(QStringLiteral("Rock"));
    auto *punk = new Genre(QStringLiteral("Punk"));
    punk->setParent(&rock);
    punk->addSubgenre(new Genre(QStringLiteral("Hardcore")));
    rock.addSubgenre(punk);

    Genre copy(rock);
    const Genre *copiedPunk = copy.subgenres()->value(QStringLiteral("Punk"));
    QVERIFY(copiedPunk && copiedPunk != punk);
    QCOMPARE(copiedPunk->parent(), &copy);
    QVERIFY(copiedPunk->subgenres()->value(QStringLiteral("Hardcore")));
    QCOMPARE(copiedPunk->subgenres()->value(QStringLiteral("Hardcore"))->parent(), copiedPunk);

    // Assigning a genre from one of its own descendants must not read freed memory.
    Genre tree(rock);
    tree = *tree.subgenres()->value(QStringLiteral("Punk"));
    QCOMPARE(tree.name(), QStringLiteral("Punk"));
    QVERIFY(tree.subgenres()->value(QStringLiteral("Hardcore")));
}

void TestRecords::genreOrder()
{
    QList<Genre> genres{Genre(QStringLiteral("jazz")), Genre(QStringLiteral("Blues")),
                        Genre(QStringLiteral("ambient"))};
    std::sort(genres.begin(), genres.end());
    QCOMPARE(genres.at(0).name(), QStringLiteral("ambient"));
    QCOMPARE(genres.at(1).name(), QStringLiteral("Blues"));
    QCOMPARE(genres.at(2).name(), QStringLiteral("jazz"));
}

void TestRecords::countryAndRegionCopies()
{
    Country usa;
    usa.setName(QStringLiteral("USA"));
    Country texas;
    texas.setName(QStringLiteral("Texas"));
    texas.setSubsection(true);
    usa.addSubsection(texas);

    WorldRegion america;
    america.setName(QStringLiteral("America"));
    america.addCountry(usa);
    WorldRegion copy(america);
    QCOMPARE(copy.countries().size(), 1);
    QVERIFY(copy.countries().at(0) != america.countries().at(0));
    QCOMPARE(copy.countries().at(0)->subsections().at(0)->name(), QStringLiteral("Texas"));
    QVERIFY(copy.countries().at(0)->subsections().at(0)->isSubsection());

    // A country assigned from its own subsection keeps a valid copy.
    Country c(usa);
    c = *c.subsections().at(0);
    QCOMPARE(c.name(), QStringLiteral("Texas"));
    QVERIFY(c.subsections().isEmpty());

    america.reset();
    QVERIFY(america.countries().isEmpty());
    QCOMPARE(copy.countries().size(), 1);
}

TUNORA_TEST_MAIN(TestRecords)
#include "tst_records.moc"
