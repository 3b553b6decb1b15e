// Code pages for stations, decoding of tag text and the title filter list.

#include "codepage.h"
#include "metadata.h"
#include "testmain.h"
#include "titlefilter.h"

#include <QStringDecoder>
#include <QThread>

#include <atomic>

using namespace BASS;

class TestMetadataText : public QObject
{
    Q_OBJECT
private slots:

    void codePageForLocation_data()
    {
        // clang-format off
        QTest::addColumn<QString>("location");
        QTest::addColumn<QByteArray>("codePage");

        // Each entry of the table maps to itself (everyCodePageIsKnown); these rows are about matching.
        QTest::newRow("country inside a location") << "Moscow, Russia" << QByteArray("Windows-1251");
        QTest::newRow("Roman is not Oman") << "Roman Radio, Italy" << QByteArray();
        QTest::newRow("search is case-sensitive") << "moscow, russia" << QByteArray();
        QTest::newRow("no code page") << "Berlin, Germany" << QByteArray();
        // clang-format on
    }

    void codePageForLocation()
    {
        QFETCH(QString, location);
        QFETCH(QByteArray, codePage);
        const char *found = CodePageForLocation(location);
        QCOMPARE(QByteArray(found), codePage);
    }

    void everyCodePageIsKnown()
    {
        // A name the decoder does not know would silently fall back to Windows-1252.
        for (const CodePageEntry &entry : CodePageTable()) {
            QVERIFY2(entry.codePage && QStringDecoder(entry.codePage).isValid(), entry.country);
            QCOMPARE(CodePageForLocation(QLatin1String(entry.country)), entry.codePage);
        }
    }

    void decode_data()
    {
        // clang-format off
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("codePage");
        QTest::addColumn<QString>("text");

        QTest::newRow("utf-8 wins over the code page") << QByteArray("Привет, мир") << QByteArray("Windows-1251") << QStringLiteral("Привет, мир");
        QTest::newRow("windows-1251") << QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2\x2c\x20\xec\xe8\xf0") << QByteArray("Windows-1251") << QStringLiteral("Привет, мир");
        QTest::newRow("shift-jis") << QByteArray("\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x89\xcc") << QByteArray("Shift-JIS") << QStringLiteral("日本語の歌");
        QTest::newRow("no code page: windows-1252") << QByteArray("\x43\x61\x66\xe9\x20\x96\x20\x93\x44\xe9\x6a\xe0\x20\x76\x75\x94") << QByteArray() << QStringLiteral("Café – “Déjà vu”");
        QTest::newRow("unknown code page: windows-1252") << QByteArray("Caf\xe9") << QByteArray("x-no-such-page") << QStringLiteral("Café");
        QTest::newRow("truncated utf-8 is 8-bit") << QByteArray("Caf\xc3") << QByteArray() << QStringLiteral("CafÃ");
        // clang-format on
    }

    void decode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, codePage);
        QTEST(DecodeTagText(bytes, codePage.isEmpty() ? nullptr : codePage.constData()), "text");
    }

    void plainBytesNeverBecomeReplacementCharacters()
    {
        // Every byte of an 8-bit title without a code page decodes to a character of its own, also
        // the five that Windows-1252 leaves unassigned.
        for (int byte = 0x80; byte <= 0xff; ++byte) {
            const QByteArray bytes = QByteArray("Title ") + char(byte);
            const QString text = DecodeTagText(bytes, nullptr);
            QCOMPARE(text.size(), 7);
            QVERIFY2(text.at(6) != QChar::ReplacementCharacter, QByteArray::number(byte, 16).constData());
        }
    }

    void titleFilter_data()
    {
        // clang-format off
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("filtered");

        QTest::newRow("contains, ignoring case") << "" << "advert" << "StreamTitle='ADVERT break';" << true;
        QTest::newRow("does not contain") << "" << "advert" << "Artist - Song" << false;
        QTest::newRow("regex found") << "RegEx" << "^\\d+$" << "12345" << true;
        QTest::newRow("regex is case-sensitive") << "RegEx" << "Jingle" << "jingle" << false;
        QTest::newRow("invalid regex") << "RegEx" << "(" << "(" << false;
        QTest::newRow("chars: one of them") << "Chars" << "#@" << "Song #1" << true;
        QTest::newRow("abs: equal") << "Abs" << "Advert" << "Advert" << true;
        QTest::newRow("abs: other case") << "Abs" << "Advert" << "advert" << false;
        QTest::newRow("empty pattern matches nothing") << "" << "" << "Artist - Song" << false;
        // clang-format on
    }

    void titleFilter()
    {
        QFETCH(QString, kind);
        QFETCH(QString, pattern);
        QFETCH(QString, title);
        QFETCH(bool, filtered);

        TitleFilter::Clear();
        QVERIFY(!IsTitleFiltered(title));
        {
            const MetaDataListItem item(pattern, kind);
            QCOMPARE(item.matches(title), filtered);
            TitleFilter::Add(item);
        }
        // The list keeps an entry of its own: the item may go away.
        QCOMPARE(IsTitleFiltered(title), filtered);
        TitleFilter::Clear();
        QVERIFY(!IsTitleFiltered(title));
    }

    void titleFilterAcrossThreads()
    {
        // Sync threads read the list while the GUI thread changes it.
        TitleFilter::Clear();
        std::atomic<bool> stop{false};
        std::atomic<int> reads{0};
        QList<QThread *> readers;
        for (int i = 0; i < 2; ++i) {
            readers.append(QThread::create([&] {
                while (!stop) {
                    IsTitleFiltered(QStringLiteral("Artist - Advert 42"));
                    ++reads;
                }
            }));
            readers.last()->start();
        }
        for (int round = 0; round < 300; ++round) {
            TitleFilter::Add(MetaDataListItem(QStringLiteral("Advert \\d+"), QStringLiteral("RegEx")));
            TitleFilter::Add(MetaDataListItem(QStringLiteral("advert"), QString()));
            if (round % 3 == 0)
                TitleFilter::Clear();
        }
        QTRY_VERIFY(reads > 100);
        stop = true;
        for (QThread *t : readers) {
            QVERIFY(t->wait(10000));
            delete t;
        }
        QVERIFY(IsTitleFiltered(QStringLiteral("Artist - Advert 42")));
        TitleFilter::Clear();
    }
};

TUNORA_TEST_MAIN_CORE(TestMetadataText)
#include "tst_metadatatext.moc"
