#include "song.h"
#include "testmain.h"

using namespace BASS;

class TestSong : public QObject
{
    Q_OBJECT
private slots:

    void displayText_data()
    {
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("forLabel");
        QTest::addColumn<QString>("text");
        auto row = [](const char *name, const char *artist, const char *title, bool forLabel,
                      const char *text) {
            QTest::newRow(name) << QString::fromUtf8(artist) << QString::fromUtf8(title) << forLabel
                                << QString::fromUtf8(text);
        };
        row("artist and title", "A", "B", false, "A - B");
        row("label doubles ampersand", "Simon & Garfunkel", "Boxer", true, "Simon && Garfunkel - Boxer");
        row("plain keeps ampersand", "Simon & Garfunkel", "", false, "Simon & Garfunkel");
        row("title only", "", "B", false, " - B");
    }

    void displayText()
    {
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(bool, forLabel);
        Song s;
        s.setArtist(artist);
        s.setTitle(title);
        QTEST(s.DisplayText(forLabel), "text");
    }

    void clearAndCopy()
    {
        Song s;
        s.setArtist(QStringLiteral("A"));
        s.setTitle(QStringLiteral("T"));
        s.setStreamUrl(QStringLiteral("http://x"));
        s.setDuration(180);
        s.setTimeStamp(QDateTime::currentDateTime());
        s.SetPlaying(true);

        Song copy(s);
        QCOMPARE(copy.DisplayText(), QStringLiteral("A - T"));
        QCOMPARE(copy.streamUrl(), QStringLiteral("http://x"));
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
};

TUNORA_TEST_MAIN_CORE(TestSong)
#include "tst_song.moc"
