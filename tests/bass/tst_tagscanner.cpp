// The plain tag scanner: literal tags, case-insensitive names, positions and remembered searches.

#include "tagscanner.h"
#include "testmain.h"

using BASS::TagScanner;

static QStringList sl(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}

class TestTagScanner : public QObject
{
    Q_OBJECT

private slots:

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

TUNORA_TEST_MAIN_CORE(TestTagScanner)
#include "tst_tagscanner.moc"
