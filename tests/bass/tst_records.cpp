// The directory's records: the texts made from stream fields, the station's location without its
// stream credentials, deep copies of stations, genre trees and regions, songs, and the plain tag
// scanner (literal tags, case-insensitive names, positions and remembered searches).

#include "records.h"
#include "song.h"
#include "tagscanner.h"
#include "testmain.h"

#include <functional>

using namespace BASS;

using Conversion = std::function<QString(const QString &)>;
Q_DECLARE_METATYPE(Conversion)

namespace {
QStringList sl(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}

QString s(const char *text)
{
    return QString::fromUtf8(text);
}
} // namespace

class TestRecords : public QObject
{
    Q_OBJECT
private slots:

    void texts_data()
    {
        QTest::addColumn<Conversion>("convert");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");

        const Conversion bitrate = [](const QString &in) -> QString {
            StationStream st;
            st.bitrate = in.toUInt();
            return st.bitrateText();
        };
        // A number gives the text of that code; any other text is parsed to a code.
        const Conversion format = [](const QString &in) -> QString {
            bool isCode = false;
            const uint code = in.toUInt(&isCode);
            return isCode ? FormatText(code, false) : QString::number(FormatFromText(in));
        };
        const Conversion website = [](const QString &in) -> QString {
            Station st;
            st.setWebsite(in);
            return st.website();
        };
        // The place shown without the stream credentials that may follow it.
        const Conversion location = [](const QString &in) -> QString {
            Station st;
            st.setLocation(in);
            return st.location();
        };
        const Conversion display = [](const QString &in) -> QString {
            const QStringList parts = in.split(QLatin1Char('|'));
            Song song;
            song.setArtist(parts.value(0));
            song.setTitle(parts.value(1));
            return song.DisplayText(parts.value(2) == QLatin1String("label"));
        };
        auto row = [](const char *name, const Conversion &convert, const char *in, const char *out) {
            QTest::newRow(name) << convert << s(in) << s(out);
        };
        row("1000 stays", bitrate, "1000", "1000 kbps");
        row("1001 divided", bitrate, "1001", "1 kbps");
        row("mp3", format, "1", "MP3");
        row("unused 9", format, "9", "Unknown");
        row("mp3 pro any case", format, "mp3 pro", "7");
        row("contains aac", format, "HE-AAC+", "3");
        row("format not known", format, "opus", "0");
        row("website with scheme", website, "http://www.radio.example/", "www.radio.example/");
        row("capital scheme kept", website, "HTTP://www.radio.example", "HTTP://www.radio.example");
        row("text before scheme", website, "see http://a.example", "a.example");
        row("https untouched", website, "https://a.example", "https://a.example");
        row("credentials", location, "Berlin|Username=bob|Password=s3cret", "Berlin");
        row("empty place", location, "|Username=a|Password=b", "");
        row("artist and title", display, "A|B", "A - B");
        row("label doubles ampersand", display, "Simon & Garfunkel|Boxer|label",
            "Simon && Garfunkel - Boxer");
        row("plain keeps ampersand", display, "Simon & Garfunkel", "Simon & Garfunkel");
        row("title only", display, "|B", " - B");
    }

    void texts()
    {
        QFETCH(Conversion, convert);
        QFETCH(QString, input);
        QTEST(convert(input), "output");
    }

    void stationCopyIsDeep()
    {
        Station a;
        a.setId(QStringLiteral("42"));
        a.nowPlaying().setArtist(QStringLiteral("Artist"));
        StationStream st;
        st.url = QStringLiteral("http://a/1");
        a.addStream(st, true);
        st.url = QStringLiteral("http://a/2");
        a.addStream(st, false);

        Station b(a);
        QCOMPARE(b.streams().size(), 2);
        QCOMPARE(b.currentStream().url, QStringLiteral("http://a/1"));
        b.streams().at(0)->url = QStringLiteral("changed");
        QCOMPARE(a.streams().at(0)->url, QStringLiteral("http://a/1"));
        QCOMPARE(b.nowPlaying().artist(), QStringLiteral("Artist"));

        Station c;
        c.addStream(st, true);
        c = a;
        QCOMPARE(c.streams().size(), 2);
        QCOMPARE(c.id(), QStringLiteral("42"));
        QCOMPARE(c.currentStream().url, QStringLiteral("http://a/1"));
    }

    void genreSubgenres()
    {
        Genre rock(QStringLiteral("Rock"));
        QCOMPARE(rock.search(), QStringLiteral("gen:\"Rock\""));
        rock.addSubgenre(new Genre(QStringLiteral("Punk")));
        auto *second = new Genre(QStringLiteral("Punk"));
        second->setDescription(QStringLiteral("later"));
        rock.addSubgenre(second);
        QCOMPARE(rock.subgenres()->size(), 1);
        QCOMPARE(rock.subgenres()->value(QStringLiteral("Punk"))->description(), QStringLiteral("later"));
    }

    void genreDeepCopy()
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
        QCOMPARE(copiedPunk->subgenres()->value(QStringLiteral("Hardcore"))->parent(), copiedPunk);

        // Assigning a genre from one of its own descendants must not read freed memory.
        Genre tree(rock);
        tree = *tree.subgenres()->value(QStringLiteral("Punk"));
        QCOMPARE(tree.name(), QStringLiteral("Punk"));
        QVERIFY(tree.subgenres()->value(QStringLiteral("Hardcore")));
    }

    void countryAndRegionCopies()
    {
        Country usa;
        usa.setName(QStringLiteral("USA"));
        Country texas;
        texas.setName(QStringLiteral("Texas"));
        texas.setSubsection(true);
        usa.addSubsection(texas);

        WorldRegion america;
        america.addCountry(usa);
        WorldRegion copy(america);
        QVERIFY(copy.countries().at(0) != america.countries().at(0));
        QVERIFY(copy.countries().at(0)->subsections().at(0)->isSubsection());

        // A country assigned from its own subsection keeps a valid copy.
        Country c(usa);
        c = *c.subsections().at(0);
        QCOMPARE(c.name(), QStringLiteral("Texas"));
        QVERIFY(c.subsections().isEmpty());

        america.reset();
        QCOMPARE(copy.countries().size(), 1);
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

    // Each operation is "find:tag", "raw:tag", "rewind" or "pos:n"; its result is the found text
    // ("" for the others). The position after the last operation is checked too.
    void operations_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("ops");
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<int>("position");

        QTest::newRow("simple") << "<a>1</a>" << sl({"find:a"}) << sl({"1"}) << 8;
        QTest::newRow("names ignore case")
            << "<Station>x</STATION>" << sl({"find:station"}) << sl({"x"}) << 20;
        QTest::newRow("attributes are not the tag")
            << "<station id=\"7\">x</station>" << sl({"find:station"}) << sl({""}) << 0;
        QTest::newRow("prefix of a longer name")
            << "<stations>x</stations>" << sl({"find:station"}) << sl({""}) << 0;
        QTest::newRow("nested same name ends at first end")
            << "<a><a>1</a>2</a>" << sl({"raw:a"}) << sl({"<a>1"}) << 11;
        QTest::newRow("missing end tag keeps position") << "xx<a>1" << sl({"find:a"}) << sl({""}) << 0;
        QTest::newRow("successive finds advance")
            << "<a>1</a><a>2</a>" << sl({"find:a", "find:a", "find:a"}) << sl({"1", "2", ""}) << 16;
        QTest::newRow("find decodes, raw does not")
            << "<a>&lt;b&gt;</a><a>&lt;b&gt;</a>" << sl({"find:a", "raw:a"}) << sl({"<b>", "&lt;b&gt;"})
            << 32;
        // Searches remember misses and hits; these sequences cross the remembered results.
        QTest::newRow("remembered hit behind the position")
            << "<b>1</b><a>2</a><b>3</b>" << sl({"find:b", "rewind", "find:a", "find:b", "rewind", "find:b"})
            << sl({"1", "", "2", "3", "", "1"}) << 8;
        QTest::newRow("remembered miss then earlier search")
            << "<b>1</b><a>2</a>" << sl({"find:a", "find:b", "rewind", "find:b"}) << sl({"2", "", "", "1"})
            << 8;
    }

    void operations()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, ops);
        QFETCH(QStringList, results);
        QFETCH(int, position);

        // Long texts remember earlier searches; filler behind the content makes the same row long.
        for (const bool padded : {false, true}) {
            TagScanner scanner(padded ? text + QString(5000, QLatin1Char('.')) : text);
            QStringList got;
            for (const QString &op : ops) {
                if (op.startsWith(QLatin1String("find:"))) {
                    got << scanner.find(op.mid(5));
                } else if (op.startsWith(QLatin1String("raw:"))) {
                    got << scanner.findRaw(op.mid(4));
                } else if (op == QLatin1String("rewind")) {
                    scanner.rewind();
                    got << QString();
                } else if (op.startsWith(QLatin1String("pos:"))) {
                    scanner.setPosition(op.mid(4).toInt());
                    got << QString();
                }
            }
            QCOMPARE(got, results);
            QCOMPARE(scanner.position(), qsizetype(position));
        }
    }

    void nextTag_data()
    {
        QTest::addColumn<QString>("text");
        // "tag" for nextTag, "=text" for textUntilTag (the expected text follows '=').
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("document order")
            << "<?xml version=\"1.0\"?><a>x</a>" << sl({"?xml version=\"1.0\"?", "a", "/a", ""});
        QTest::newRow("description text") << "<description>Rock &amp; Roll</description><x>"
                                          << sl({"description", "=Rock &amp; Roll", "x", ""});
        QTest::newRow("text to the end") << "<d>tail" << sl({"d", "=tail", ""});
    }

    void nextTag()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        TagScanner scanner(text);
        QStringList got;
        for (const QString &e : expected) {
            if (e.startsWith(QLatin1Char('=')))
                got << QLatin1Char('=') + scanner.textUntilTag();
            else
                got << scanner.nextTag();
        }
        QCOMPARE(got, expected);
    }
};

TUNORA_TEST_MAIN(TestRecords)
#include "tst_records.moc"
