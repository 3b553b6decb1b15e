#include "song.h"
#include "testmain.h"

using namespace BASS;

class TestSong : public QObject
{
    Q_OBJECT
private slots:
    void displayText_data();
    void displayText();
    void statusKey_data();
    void statusKey();
    void statusSetters();
    void clearAndCopy();
};

void TestSong::displayText_data()
{
    QTest::addColumn<QString>("artist");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("forLabel");
    QTest::addColumn<QString>("text");
    auto row = [](const char *name, const char *artist, const char *title, bool forLabel, const char *text) {
        QTest::newRow(name) << QString::fromUtf8(artist) << QString::fromUtf8(title) << forLabel
                            << QString::fromUtf8(text);
    };
    row("artist only", "A", "", false, "A");
    row("artist and title", "A", "B", false, "A - B");
    row("label doubles ampersand", "Simon & Garfunkel", "Boxer", true, "Simon && Garfunkel - Boxer");
    row("plain keeps ampersand", "Simon & Garfunkel", "", false, "Simon & Garfunkel");
    row("ampersand in title", "A", "R&B", true, "A - R&&B");
    row("empty", "", "", false, "");
    row("title only", "", "B", false, " - B");
}

void TestSong::displayText()
{
    QFETCH(QString, artist);
    QFETCH(QString, title);
    QFETCH(bool, forLabel);
    Song s;
    s.setArtist(artist);
    s.setTitle(title);
    QTEST(s.DisplayText(forLabel), "text");
}

void TestSong::statusKey_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("key");
    QTest::newRow("1 none") << 1 << "";
    QTest::newRow("2") << 2 << "L_STATUS_SONG_BASS_ERROR";
    QTest::newRow("3 unused") << 3 << "";
    QTest::newRow("8") << 8 << "L_STATUS_PAUSED";
    QTest::newRow("12") << 12 << "L_STATUS_SONG_SKIPPED";
    QTest::newRow("13 same as 9") << 13 << "L_STATUS_SONG_FINISHED";
    QTest::newRow("negative") << -1 << "";
    QTest::newRow("14") << 14 << "";
}

void TestSong::statusKey()
{
    QFETCH(int, status);
    QTEST(Song::StatusKey(status), "key");
}

void TestSong::statusSetters()
{
    Song s;
    QCOMPARE(s.status(), 1);
    s.SetPlaying(true);
    QCOMPARE(s.status(), 7);
    s.SetPlaying(false);
    QCOMPARE(s.status(), 1);
    s.SetStopped(true);
    QCOMPARE(s.status(), 5);
    s.SetRecording(true);
    s.addRecordedSeconds(12);
    QCOMPARE(s.status(), 10);
    QCOMPARE(s.recordedSeconds(), 12);
    s.SetRecording(false);
    QCOMPARE(s.status(), 1);
    QCOMPARE(s.recordedSeconds(), 0);
    s.SetStopped(true);
    s.ResetStatus();
    QCOMPARE(s.status(), 1);
}

void TestSong::clearAndCopy()
{
    Song s;
    s.setArtist(QStringLiteral("A"));
    s.setTitle(QStringLiteral("T"));
    s.setStreamUrl(QStringLiteral("http://x"));
    s.setDuration(180);
    s.setCoverArtSource(11);
    s.setTimeStamp(QDateTime::currentDateTime());
    s.SetPlaying(true);

    Song copy(s);
    QCOMPARE(copy.DisplayText(), QStringLiteral("A - T"));
    QCOMPARE(copy.streamUrl(), QStringLiteral("http://x"));
    QCOMPARE(copy.duration(), 180);
    QCOMPARE(copy.coverArtSource(), 11);
    QCOMPARE(copy.status(), 7);
    QVERIFY(copy.parent() == nullptr);

    QObject owner;
    Song owned(&owner);
    owned = s;
    QCOMPARE(owned.parent(), &owner); // assignment copies fields, never the object tree
    QCOMPARE(owned.artist(), QStringLiteral("A"));

    s.Clear();
    QVERIFY(s.IsEmpty());
    QCOMPARE(s.status(), 1);
    QCOMPARE(s.duration(), 0);
    QVERIFY(!s.timeStamp().isValid());
    QCOMPARE(copy.artist(), QStringLiteral("A"));
}

TUNORA_TEST_MAIN_CORE(TestSong)
#include "tst_song.moc"
