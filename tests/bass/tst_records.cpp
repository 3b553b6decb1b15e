#include "records.h"
#include "testmain.h"

using namespace BASS;

class TestRecords : public QObject
{
    Q_OBJECT
private slots:
    void bitrateTexts_data();
    void bitrateTexts();
    void bitrateFromText_data();
    void bitrateFromText();
    void formatText_data();
    void formatText();
    void formatFromText_data();
    void formatFromText();
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
    QTest::newRow("kbit/s") << 128u << "128 kbps"
                            << "128";
    QTest::newRow("bit/s") << 128000u << "128 kbps"
                           << "";
    QTest::newRow("zero") << 0u << ""
                          << "";
    QTest::newRow("40000 has no number") << 40000u << "40 kbps"
                                         << "";
    QTest::newRow("last with number") << 32786u << "32 kbps"
                                      << "32786";
    QTest::newRow("first without number") << 32787u << "32 kbps"
                                          << "";
    QTest::newRow("1000 stays") << 1000u << "1000 kbps"
                                << "1000";
    QTest::newRow("1001 divided") << 1001u << "1 kbps"
                                  << "1001";
}

void TestRecords::bitrateTexts()
{
    QFETCH(quint32, bitrate);
    StationStream s;
    s.bitrate = bitrate;
    QTEST(s.bitrateText(), "kbps");
    QTEST(s.bitrateNumberText(), "number");
}

void TestRecords::bitrateFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("bitrate");
    QTest::newRow("with unit") << "128 kbps" << 128u;
    QTest::newRow("plain") << "96" << 96u;
    QTest::newRow("not a number") << "fast" << 0u;
    QTest::newRow("empty") << "" << 0u;
    QTest::newRow("leading blank") << " 128" << 0u;
    QTest::newRow("number after unit") << "kbps 128" << 0u;
}

void TestRecords::bitrateFromText()
{
    QFETCH(QString, text);
    QTEST(StationStream::bitrateFromText(text), "bitrate");
}

void TestRecords::formatText_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<bool>("emptyFallback");
    QTest::addColumn<QString>("text");
    QTest::newRow("mp3") << 1u << false << "MP3";
    QTest::newRow("wma") << 2u << false << "WMA";
    QTest::newRow("aac") << 3u << false << "AAC";
    QTest::newRow("ogg") << 4u << false << "OGG";
    QTest::newRow("real") << 5u << false << "RealPlayer";
    QTest::newRow("flac") << 6u << false << "FLAC";
    QTest::newRow("mp3pro") << 7u << false << "MP3 Pro";
    QTest::newRow("mp4") << 8u << false << "MP4";
    QTest::newRow("website") << 10u << false << "Website";
    QTest::newRow("unset") << 0u << false << "Unknown";
    QTest::newRow("unused 9") << 9u << false << "Unknown";
    QTest::newRow("unused 9 empty") << 9u << true << "";
    QTest::newRow("11 empty") << 11u << true << "";
    QTest::newRow("known ignores fallback") << 1u << true << "MP3";
}

void TestRecords::formatText()
{
    QFETCH(quint32, code);
    QFETCH(bool, emptyFallback);
    QTEST(FormatText(code, emptyFallback), "text");
}

void TestRecords::formatFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("code");
    QTest::newRow("mp3 pro any case") << "mp3 pro" << 7u;
    QTest::newRow("MP3") << "MP3" << 1u;
    QTest::newRow("contains aac") << "HE-AAC+" << 3u;
    QTest::newRow("ogg") << "Ogg Vorbis" << 4u;
    QTest::newRow("wma") << "wma" << 2u;
    QTest::newRow("flac") << "Flac" << 6u;
    QTest::newRow("real") << "RealPlayer" << 5u;
    QTest::newRow("mp4") << "mp4" << 8u;
    QTest::newRow("website") << "website" << 10u;
    QTest::newRow("none") << "opus" << 0u;
    QTest::newRow("empty") << "" << 0u;
    QTest::newRow("Unknown") << "Unknown" << 0u;
}

void TestRecords::formatFromText()
{
    QFETCH(QString, text);
    QTEST(FormatFromText(text), "code");
}

void TestRecords::addressTests_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("kinds"); // letters: w wmv, m mms, a asx, p pls, l wpl, u m3u, r real
    QTest::newRow("plain http") << "http://host/stream"
                                << "";
    QTest::newRow("pls any case") << "http://host/LIST.PLS"
                                  << "p";
    QTest::newRow("m3u") << "http://host/a.m3u?x=1"
                         << "u";
    QTest::newRow("asx") << "http://host/a.asx"
                         << "a";
    QTest::newRow("wpl") << "http://host/a.wpl"
                         << "l";
    QTest::newRow("wmv") << "http://host/v.WMV"
                         << "w";
    QTest::newRow("mms") << "MMS://host/live"
                         << "m";
    QTest::newRow("rtsp") << "rtsp://host/live"
                          << "r";
    QTest::newRow("smil") << "http://host/live.smil"
                          << "r";
    QTest::newRow("ram") << "http://host/live.ram"
                         << "r";
    QTest::newRow("rm") << "http://host/live.rm"
                        << "r";
    QTest::newRow("RAM is case-sensitive") << "http://host/live.RAM"
                                           << "";
    QTest::newRow("rm only as last extension") << "http://host/live.rm.mp3"
                                               << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("no dot") << "localhost"
                            << "";
}

void TestRecords::addressTests()
{
    QFETCH(QString, url);
    QFETCH(QString, kinds);
    StationStream s;
    s.url = url;
    QCOMPARE(s.isWindowsMediaFile(), kinds.contains(QLatin1Char('w')));
    QCOMPARE(s.isMmsAddress(), kinds.contains(QLatin1Char('m')));
    QCOMPARE(s.isAsx(), kinds.contains(QLatin1Char('a')));
    QCOMPARE(s.isPls(), kinds.contains(QLatin1Char('p')));
    QCOMPARE(s.isWpl(), kinds.contains(QLatin1Char('l')));
    QCOMPARE(s.isM3u(), kinds.contains(QLatin1Char('u')));
    QCOMPARE(s.isRealPlayer(), kinds.contains(QLatin1Char('r')));
}

void TestRecords::streamKey_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("key");
    QTest::newRow("one char") << "a"
                              << "61";
    QTest::newRow("two chars") << "ab"
                               << "26A7";
    QTest::newRow("wraps at 32 bits") << "http://127.0.0.1:8000/live.mp3"
                                      << "E6CD91B0";
}

void TestRecords::streamKey()
{
    QFETCH(QString, url);
    StationStream s;
    s.url = url;
    s.makeKey();
    QTEST(s.key, "key");

    StationStream empty;
    empty.key = QStringLiteral("KEEP");
    empty.makeKey();
    QCOMPARE(empty.key, QStringLiteral("KEEP"));
}

void TestRecords::website_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("stored");
    QTest::newRow("with scheme") << "http://www.radio.example/"
                                 << "www.radio.example/";
    QTest::newRow("without scheme") << "www.radio.example"
                                    << "www.radio.example";
    QTest::newRow("capital scheme kept") << "HTTP://www.radio.example"
                                         << "HTTP://www.radio.example";
    QTest::newRow("text before scheme") << "see http://a.example"
                                        << "a.example";
    QTest::newRow("https untouched") << "https://a.example"
                                     << "https://a.example";
}

void TestRecords::website()
{
    QFETCH(QString, given);
    Station s;
    s.setWebsite(given);
    QTEST(s.website(), "stored");
}

void TestRecords::location_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("plain place") << "Berlin, Germany"
                                 << "Berlin, Germany"
                                 << ""
                                 << "";
    QTest::newRow("credentials") << "Berlin|Username=bob|Password=s3cret"
                                 << "Berlin"
                                 << "bob"
                                 << "s3cret";
    QTest::newRow("password first") << "Oslo|Password=pw|Username=u"
                                    << "Oslo"
                                    << "u"
                                    << "pw";
    QTest::newRow("user only") << "Rome|Username=only"
                               << "Rome"
                               << "only"
                               << "";
    QTest::newRow("empty place") << "|Username=a|Password=b"
                                 << ""
                                 << "a"
                                 << "b";
}

void TestRecords::location()
{
    QFETCH(QString, raw);
    Station s;
    s.setLocation(raw);
    QTEST(s.streamUserName(), "user"); // parses on demand before the place is read
    QTEST(s.location(), "place");
    QTEST(s.streamPassword(), "password");
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
