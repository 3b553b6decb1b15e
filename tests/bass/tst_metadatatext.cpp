// Code pages for stations, decoding of tag text and the title filter list.

#include "codepage.h"
#include "metadata.h"
#include "records.h"
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
    void codePageForLocation_data();
    void codePageForLocation();
    void everyCodePageIsKnown();
    void stationTitleInItsCodePage();
    void decode_data();
    void decode();
    void plainBytesNeverBecomeReplacementCharacters();
    void titleFilter_data();
    void titleFilter();
    void titleFilterAcrossThreads();
};

void TestMetadataText::codePageForLocation_data()
{
    // clang-format off
    QTest::addColumn<QString>("location");
    QTest::addColumn<QByteArray>("codePage");

    // Each entry of the table maps to itself (everyCodePageIsKnown); these rows are about matching.
    QTest::newRow("country inside a location") << "Moscow, Russia" << QByteArray("Windows-1251");
    QTest::newRow("first match wins") << "Serbia and Greece" << QByteArray("Windows-1251");
    QTest::newRow("Roman is not Oman") << "Roman Radio, Italy" << QByteArray();
    QTest::newRow("Tirana is not Iran") << "Tirana" << QByteArray();
    QTest::newRow("search is case-sensitive") << "moscow, russia" << QByteArray();
    QTest::newRow("no code page") << "Berlin, Germany" << QByteArray();
    QTest::newRow("empty") << "" << QByteArray();
    // clang-format on
}

void TestMetadataText::codePageForLocation()
{
    QFETCH(QString, location);
    QFETCH(QByteArray, codePage);
    const char *found = CodePageForLocation(location);
    QCOMPARE(QByteArray(found), codePage);
}

void TestMetadataText::everyCodePageIsKnown()
{
    // A name the decoder does not know would silently fall back to Windows-1252.
    for (const CodePageEntry &entry : CodePageTable()) {
        QVERIFY2(entry.codePage && QStringDecoder(entry.codePage).isValid(), entry.country);
        QCOMPARE(CodePageForLocation(QLatin1String(entry.country)), entry.codePage);
    }
}

void TestMetadataText::stationTitleInItsCodePage()
{
    // A station in Russia whose server sends Windows-1251 titles; its location also carries the
    // stream credentials, which are not part of the place.
    Station station;
    station.setLocation(QStringLiteral("Moscow, Russia|Username=listener|Password=secret"));
    MetaTitle title;
    QVERIFY(ParseIcyMeta("StreamTitle='\xca\xe8\xed\xee - \xc3\xf0\xf3\xef\xef\xe0 \xea\xf0\xee\xe2\xe8';",
                         CodePageForLocation(station.location()), title));
    QCOMPARE(title.title, QStringLiteral("Кино - Группа крови"));

    // The same bytes for a station without a code page stay 8-bit Latin text, never U+FFFD.
    station.reset();
    station.setLocation(QStringLiteral("Berlin, Germany"));
    QVERIFY(ParseIcyMeta("StreamTitle='\xca\xe8\xed\xee';", CodePageForLocation(station.location()), title));
    QCOMPARE(title.title, QStringLiteral("Êèíî"));
}

void TestMetadataText::decode_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("codePage");
    QTest::addColumn<QString>("text");

    QTest::newRow("utf-8 wins over the code page") << QByteArray("Привет, мир") << QByteArray("Windows-1251") << QStringLiteral("Привет, мир");
    QTest::newRow("windows-1251") << QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2\x2c\x20\xec\xe8\xf0") << QByteArray("Windows-1251") << QStringLiteral("Привет, мир");
    QTest::newRow("windows-1250") << QByteArray("\x50\xf8\xed\x6c\x69\x9a\x20\x9e\x6c\x75\x9d\x6f\x75\xe8\x6b\xfd\x20\x6b\xf9\xf2") << QByteArray("Windows-1250") << QStringLiteral("Příliš žluťoučký kůň");
    QTest::newRow("shift-jis") << QByteArray("\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x89\xcc") << QByteArray("Shift-JIS") << QStringLiteral("日本語の歌");
    QTest::newRow("euc-kr") << QByteArray("\xc7\xd1\xb1\xb9\xbe\xee\x20\xb3\xeb\xb7\xa1") << QByteArray("EUC-KR") << QStringLiteral("한국어 노래");
    QTest::newRow("big5") << QByteArray("\xa4\xa4\xa4\xe5\xba\x71\xa6\xb1") << QByteArray("big5") << QStringLiteral("中文歌曲");
    QTest::newRow("windows-1253") << QByteArray("\xca\xe1\xeb\xe7\xec\xdd\xf1\xe1") << QByteArray("Windows-1253") << QStringLiteral("Καλημέρα");
    QTest::newRow("windows-1256") << QByteArray("\xe3\xd1\xcd\xc8\xc7") << QByteArray("Windows-1256") << QStringLiteral("مرحبا");
    QTest::newRow("windows-874") << QByteArray("\xca\xc7\xd1\xca\xb4\xd5") << QByteArray("Windows-874") << QStringLiteral("สวัสดี");
    QTest::newRow("no code page: windows-1252") << QByteArray("\x43\x61\x66\xe9\x20\x96\x20\x93\x44\xe9\x6a\xe0\x20\x76\x75\x94") << QByteArray() << QStringLiteral("Café – “Déjà vu”");
    QTest::newRow("unknown code page: windows-1252") << QByteArray("Caf\xe9") << QByteArray("x-no-such-page") << QStringLiteral("Café");
    QTest::newRow("overlong utf-8 is 8-bit") << QByteArray("\xc0\xaf") << QByteArray() << QStringLiteral("À¯");
    QTest::newRow("truncated utf-8 is 8-bit") << QByteArray("Caf\xc3") << QByteArray() << QStringLiteral("CafÃ");
    QTest::newRow("ascii") << QByteArray("Artist - Song") << QByteArray("Shift-JIS") << QStringLiteral("Artist - Song");
    QTest::newRow("empty") << QByteArray() << QByteArray("Windows-1251") << QString();
    // clang-format on
}

void TestMetadataText::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, codePage);
    QTEST(DecodeTagText(bytes, codePage.isEmpty() ? nullptr : codePage.constData()), "text");
}

void TestMetadataText::plainBytesNeverBecomeReplacementCharacters()
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

void TestMetadataText::titleFilter_data()
{
    // clang-format off
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("filtered");

    QTest::newRow("contains, ignoring case") << "" << "advert" << "StreamTitle='ADVERT break';" << true;
    QTest::newRow("does not contain") << "" << "advert" << "Artist - Song" << false;
    QTest::newRow("regex found") << "RegEx" << "^\\d+$" << "12345" << true;
    QTest::newRow("regex not found") << "RegEx" << "^\\d+$" << "12a45" << false;
    QTest::newRow("regex is case-sensitive") << "RegEx" << "Jingle" << "jingle" << false;
    QTest::newRow("invalid regex") << "RegEx" << "(" << "(" << false;
    QTest::newRow("chars: one of them") << "Chars" << "#@" << "Song #1" << true;
    QTest::newRow("chars: none") << "Chars" << "#@" << "Song 1" << false;
    QTest::newRow("abs: equal") << "Abs" << "Advert" << "Advert" << true;
    QTest::newRow("abs: longer") << "Abs" << "Advert" << "Advert - x" << false;
    QTest::newRow("abs: other case") << "Abs" << "Advert" << "advert" << false;
    QTest::newRow("empty pattern matches nothing") << "" << "" << "Artist - Song" << false;
    QTest::newRow("empty abs pattern and title") << "Abs" << "" << "" << false;
    QTest::newRow("unknown kind") << "Sometimes" << "a" << "a" << false;
    // clang-format on
}

void TestMetadataText::titleFilter()
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

void TestMetadataText::titleFilterAcrossThreads()
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

TUNORA_TEST_MAIN_CORE(TestMetadataText)
#include "tst_metadatatext.moc"
