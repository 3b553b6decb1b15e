// The directory service's parsers and rules, checked without a running service.

#include "testmain.h"

#include "catalogue.h"
#include "covers.h"
#include "database.h"
#include "httpscanner.h"
#include "icy.h"
#include "languages.h"
#include "mailer.h"
#include "passwordhash.h"
#include "ratelimiter.h"
#include "searchquery.h"
#include "stationstore.h"
#include "textnorm.h"
#include "throttle.h"
#include "xmlwriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

// A byte-string literal with every byte, embedded NULs included.
template<qsizetype N>
QByteArray literal(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

QString s(const char *text)
{
    return QString::fromUtf8(text);
}

QStringList sl(std::initializer_list<const char *> items)
{
    QStringList out;
    for (const char *i : items)
        out << QString::fromUtf8(i);
    return out;
}

} // namespace

class TestDirectoryUnits : public QObject
{
    Q_OBJECT

private slots:
    void throttle_data();
    void throttle();
    void scanner_data();
    void scanner();
    void scannerMidRequest();
    void searchQuery_data();
    void searchQuery();
    void fold_data();
    void fold();
    void icyHead_data();
    void icyHead();
    void icyMetadata_data();
    void icyMetadata();
    void streamTitle_data();
    void streamTitle();
    void playlistEntry_data();
    void playlistEntry();
    void passwordHash_data();
    void passwordHash();
    void rateLimiter();
    void addressKey_data();
    void addressKey();
    void streamFilter_data();
    void streamFilter();
    void xmlEscape_data();
    void xmlEscape();
    void genreGroups_data();
    void genreGroups();
    void countries_data();
    void countries();
    void mailAddress_data();
    void mailAddress();
    void mailHeaders();
    void languageLookup_data();
    void languageLookup();
    void coverTerm_data();
    void coverTerm();
    void coverSanitize();
};

// ---------------------------------------------------------------------------------------------
// HTTP request scanner

void TestDirectoryUnits::scanner_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("chunk"); // bytes per feed; 0 = all at once
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("requests");
    QTest::addColumn<bool>("keepAlive"); // of the last complete request

    const QByteArray get = "GET /?key=1 HTTP/1.1\r\nHost: x\r\n\r\n";
    QTest::newRow("simple") << get << 0 << 0 << 1 << true;
    QTest::newRow("byte by byte") << get << 1 << 0 << 1 << true;
    QTest::newRow("http/1.0 closes") << QByteArray("GET / HTTP/1.0\r\n\r\n") << 0 << 0 << 1 << false;
    QTest::newRow("http/1.0 keep-alive")
        << QByteArray("GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n") << 0 << 0 << 1 << true;
    QTest::newRow("1.1 close") << QByteArray("GET / HTTP/1.1\r\nConnection: close\r\n\r\n") << 0 << 0 << 1
                               << false;
    QTest::newRow("pipelined") << get + get + QByteArray("GET / HTTP/1.1\r\nConnection: close\r\n\r\n") << 7
                               << 0 << 3 << false;
    QTest::newRow("bare LF lines") << QByteArray("GET / HTTP/1.1\nHost: x\n\n") << 0 << 0 << 1 << true;
    QTest::newRow("leading blank lines") << QByteArray("\r\n\r\n") + get << 0 << 0 << 1 << true;
    QTest::newRow("body skipped") << QByteArray("POST /a HTTP/1.1\r\nContent-Length: 5\r\n\r\nGET /") + get
                                  << 3 << 0 << 2 << true;
    QTest::newRow("long line") << QByteArray("GET /?q=") + QByteArray(70000, 'a') + " HTTP/1.1\r\n\r\n"
                               << 4096 << 414 << 0 << false;
    QTest::newRow("long headers") << QByteArray("GET / HTTP/1.1\r\nX: ") + QByteArray(70000, 'b') + "\r\n\r\n"
                                  << 0 << 431 << 0 << false;
    QByteArray many = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 101; ++i)
        many += "X-" + QByteArray::number(i) + ": 1\r\n";
    QTest::newRow("too many header lines") << many + "\r\n" << 0 << 431 << 0 << false;
    QTest::newRow("nul in target") << literal("GET /?a=\0b HTTP/1.1\r\n\r\n") << 0 << 400 << 0 << false;
    QTest::newRow("control in header")
        << QByteArray("GET / HTTP/1.1\r\nX: a\x01b\r\n\r\n") << 0 << 400 << 0 << false;
    QTest::newRow("bare CR inside") << QByteArray("GET / HTTP/1.1\r\nX: a\rb\r\n\r\n") << 0 << 400 << 0
                                    << false;
    QTest::newRow("folded header") << QByteArray("GET / HTTP/1.1\r\nX: a\r\n b\r\n\r\n") << 0 << 400 << 0
                                   << false;
    QTest::newRow("header without colon")
        << QByteArray("GET / HTTP/1.1\r\nNoColon\r\n\r\n") << 0 << 400 << 0 << false;
    QTest::newRow("space before colon")
        << QByteArray("GET / HTTP/1.1\r\nHost : x\r\n\r\n") << 0 << 400 << 0 << false;
    QTest::newRow("unknown method") << QByteArray("BREW / HTTP/1.1\r\n\r\n") << 0 << 501 << 0 << false;
    QTest::newRow("lower-case method") << QByteArray("get / HTTP/1.1\r\n\r\n") << 0 << 400 << 0 << false;
    QTest::newRow("http/2") << QByteArray("GET / HTTP/2.0\r\n\r\n") << 0 << 505 << 0 << false;
    QTest::newRow("garbage version") << QByteArray("GET / FTP/1.0\r\n\r\n") << 0 << 400 << 0 << false;
    QTest::newRow("absolute target") << QByteArray("GET http://x/ HTTP/1.1\r\n\r\n") << 0 << 400 << 0
                                     << false;
    QTest::newRow("space in target") << QByteArray("GET /a b HTTP/1.1\r\n\r\n") << 0 << 400 << 0 << false;
    QTest::newRow("raw non-ascii target")
        << QByteArray("GET /\xc3\xa9 HTTP/1.1\r\n\r\n") << 0 << 400 << 0 << false;
    QTest::newRow("chunked body") << QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n") << 0
                                  << 501 << 0 << false;
    QTest::newRow("body too large") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n") << 0
                                    << 413 << 0 << false;
    QTest::newRow("length not a number")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: 1e3\r\n\r\n") << 0 << 400 << 0 << false;
    QTest::newRow("two lengths") << QByteArray(
                                        "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n")
                                 << 0 << 400 << 0 << false;
    QTest::newRow("websocket upgrade")
        << QByteArray("GET / HTTP/1.1\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n\r\n") << 0 << 400 << 0
        << false;
    QTest::newRow("garbage") << QByteArray("GARBAGE\r\n\r\n") << 0 << 400 << 0 << false;
}

void TestDirectoryUnits::scanner()
{
    QFETCH(QByteArray, input);
    QFETCH(int, chunk);
    QFETCH(int, status);
    QFETCH(int, requests);
    QFETCH(bool, keepAlive);
    HttpRequestScanner s;
    const qsizetype step = chunk > 0 ? chunk : input.size();
    bool ok = true;
    for (qsizetype i = 0; i < input.size() && ok; i += step)
        ok = s.feed(input.mid(i, step));
    QCOMPARE(s.status(), status);
    QCOMPARE(ok, status == 0);
    QCOMPARE(int(s.pendingCount()), requests);
    HttpRequestScanner::Request last;
    while (s.hasRequest())
        last = s.takeRequest();
    if (requests > 0) {
        QCOMPARE(last.keepAlive, keepAlive);
        QVERIFY(last.target.startsWith('/'));
    }
    // Nothing is accepted after an error.
    if (status != 0)
        QVERIFY(!s.feed(QByteArray("GET / HTTP/1.1\r\n\r\n")));
}

void TestDirectoryUnits::scannerMidRequest()
{
    HttpRequestScanner s;
    QVERIFY(!s.midRequest());
    QVERIFY(s.feed(QByteArray("GET / HT")));
    QVERIFY(s.midRequest());
    QVERIFY(s.feed(QByteArray("TP/1.1\r\nContent-Length: 3\r\n\r\nab")));
    QVERIFY(s.midRequest()); // one body byte still missing
    QVERIFY(s.feed(QByteArray("c")));
    QVERIFY(!s.midRequest());
    QCOMPARE(s.takeRequest().contentLength, 3);
}

// ---------------------------------------------------------------------------------------------
// Search text

void TestDirectoryUnits::searchQuery_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QStringList>("genres");
    QTest::addColumn<QStringList>("countries");
    QTest::addColumn<QStringList>("states");
    QTest::addColumn<QString>("bareCode");

    QTest::newRow("words") << s("Jazz  Berlin") << sl({"jazz", "berlin"}) << QStringList() << QStringList()
                           << QStringList() << QString();
    QTest::newRow("genre term") << s("gen:\"Hard Rock\"") << QStringList() << sl({"Hard Rock"})
                                << QStringList() << QStringList() << QString();
    QTest::newRow("genre unquoted") << s("genre:Jazz live") << sl({"live"}) << sl({"Jazz"}) << QStringList()
                                    << QStringList() << QString();
    QTest::newRow("country and state") << s("country:\"DE\" state:\"DE-BAYERN\"") << QStringList()
                                       << QStringList() << sl({"DE"}) << sl({"DE-BAYERN"}) << QString();
    QTest::newRow("bare country code")
        << s("DE") << sl({"de"}) << QStringList() << QStringList() << QStringList() << s("DE");
    QTest::newRow("bare subsection code") << s("US-NEW-YORK") << sl({"us", "new", "york"}) << QStringList()
                                          << QStringList() << QStringList() << s("US-NEW-YORK");
    QTest::newRow("lower case is no code")
        << s("de") << sl({"de"}) << QStringList() << QStringList() << QStringList() << QString();
    QTest::newRow("unknown key is a word")
        << s("foo:bar") << sl({"foo", "bar"}) << QStringList() << QStringList() << QStringList() << QString();
    QTest::newRow("unclosed quote") << s("gen:\"Rock") << QStringList() << sl({"Rock"}) << QStringList()
                                    << QStringList() << QString();
    QTest::newRow("accents folded") << s("Rádio São") << sl({"radio", "sao"}) << QStringList()
                                    << QStringList() << QStringList() << QString();
    QTest::newRow("sql text is words") << s("'; DROP TABLE stations; --") << sl({"drop", "table", "stations"})
                                       << QStringList() << QStringList() << QStringList() << QString();
    QTest::newRow("fts syntax is words") << s("a* OR \"b\" NEAR(c)") << sl({"a", "or", "b", "near", "c"})
                                         << QStringList() << QStringList() << QStringList() << QString();
    QTest::newRow("duplicate words once")
        << s("rock rock") << sl({"rock"}) << QStringList() << QStringList() << QStringList() << QString();
}

void TestDirectoryUnits::searchQuery()
{
    QFETCH(QString, text);
    const SearchQuery q = SearchQuery::parse(text);
    QTEST(q.words, "words");
    QTEST(q.genres, "genres");
    QTEST(q.countries, "countries");
    QTEST(q.states, "states");
    QTEST(q.bareCode, "bareCode");
}

void TestDirectoryUnits::fold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("folded");
    QTest::addColumn<QString>("slug");
    QTest::newRow("accents") << s("Rádio UFSCar 95.3") << s("radio ufscar 95 3") << s("RADIO-UFSCAR-95-3");
    QTest::newRow("punctuation") << s("R'n'B / Soul!") << s("r n b soul") << s("R-N-B-SOUL");
    QTest::newRow("sharp s folds") << s("Straße") << s("strasse") << s("STRASSE");
    QTest::newRow("cjk kept") << s("音乐 Radio") << s("音乐 radio") << s("RADIO");
    QTest::newRow("emoji dropped") << s("Chill 🎵 Out") << s("chill out") << s("CHILL-OUT");
    QTest::newRow("empty") << s("") << s("") << s("");
}

void TestDirectoryUnits::fold()
{
    QFETCH(QString, text);
    QTEST(TextNorm::fold(text), "folded");
    QTEST(TextNorm::slug(text), "slug");
}

// ---------------------------------------------------------------------------------------------
// ICY

void TestDirectoryUnits::icyHead_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("status");
    QTest::addColumn<qint64>("metaint");
    QTest::addColumn<QByteArray>("location");
    QTest::newRow("icecast") << QByteArray(
                                    "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-metaint:16000\r\n")
                             << true << 200 << qint64(16000) << QByteArray();
    QTest::newRow("shoutcast v1") << QByteArray("ICY 200 OK\r\nicy-name: x\r\nicy-metaint: 8192") << true
                                  << 200 << qint64(8192) << QByteArray();
    QTest::newRow("redirect") << QByteArray("HTTP/1.1 302 Found\r\nLocation: http://a/b\r\n") << true << 302
                              << qint64(0) << QByteArray("http://a/b");
    QTest::newRow("negative metaint")
        << QByteArray("HTTP/1.0 200 OK\r\nicy-metaint: -5\r\n") << true << 200 << qint64(0) << QByteArray();
    QTest::newRow("no status") << QByteArray("HTTP/1.0\r\n") << false << 0 << qint64(0) << QByteArray();
    QTest::newRow("not http") << QByteArray("SSH-2.0-OpenSSH\r\n") << false << 0 << qint64(0) << QByteArray();
    QTest::newRow("empty") << QByteArray() << false << 0 << qint64(0) << QByteArray();
}

void TestDirectoryUnits::icyHead()
{
    QFETCH(QByteArray, head);
    Icy::ResponseHead h;
    QTEST(Icy::parseHead(head, &h), "ok");
    QTEST(h.status, "status");
    QTEST(h.metaint, "metaint");
    QTEST(h.location, "location");
}

void TestDirectoryUnits::icyMetadata_data()
{
    QTest::addColumn<qint64>("metaint");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("chunk");
    QTest::addColumn<bool>("done");
    QTest::addColumn<QString>("title");

    auto block = [](const QByteArray &text) {
        const qsizetype padded = (text.size() + 15) / 16 * 16;
        QByteArray b(1, char(padded / 16));
        b += text;
        b.append(padded - text.size(), '\0');
        return b;
    };
    const QByteArray audio(32, 'A');
    QTest::newRow("first block") << qint64(32) << audio + block("StreamTitle='Artist - Song';") << 0 << true
                                 << s("Artist - Song");
    QTest::newRow("split feeds") << qint64(32) << audio + block("StreamTitle='A - B';StreamUrl='';") << 5
                                 << true << s("A - B");
    QTest::newRow("empty then title")
        << qint64(32) << audio + QByteArray(1, '\0') + audio + block("StreamTitle='X';") << 0 << true
        << s("X");
    QTest::newRow("two empty blocks end")
        << qint64(32) << audio + QByteArray(1, '\0') + audio + QByteArray(1, '\0') << 0 << true << s("");
    QTest::newRow("incomplete block")
        << qint64(32) << audio + QByteArray(1, '\2') + "StreamTitle" << 0 << false << s("");
    QTest::newRow("audio only") << qint64(1000) << QByteArray(999, 'A') << 0 << false << s("");
}

void TestDirectoryUnits::icyMetadata()
{
    QFETCH(qint64, metaint);
    QFETCH(QByteArray, stream);
    QFETCH(int, chunk);
    Icy::MetadataReader r(metaint);
    const qsizetype step = chunk > 0 ? chunk : stream.size();
    for (qsizetype i = 0; i < stream.size() && !r.done(); i += step)
        r.feed(stream.constData() + i, qMin(step, stream.size() - i));
    QTEST(r.done(), "done");
    QTEST(Icy::streamTitle(r.block()).isNull() ? QString() : Icy::streamTitle(r.block()), "title");
}

void TestDirectoryUnits::streamTitle_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("artist");
    QTest::addColumn<QString>("song");
    QTest::newRow("plain") << QByteArray("StreamTitle='Daft Punk - One More Time';")
                           << s("Daft Punk - One More Time") << s("Daft Punk") << s("One More Time");
    QTest::newRow("apostrophe inside")
        << QByteArray("StreamTitle='Guns N' Roses - Don't Cry';StreamUrl='x';")
        << s("Guns N' Roses - Don't Cry") << s("Guns N' Roses") << s("Don't Cry");
    QTest::newRow("no separator") << QByteArray("StreamTitle='Station jingle';") << s("Station jingle")
                                  << s("") << s("Station jingle");
    QTest::newRow("latin-1 bytes") << QByteArray("StreamTitle='Bj\xf6rk - J\xf3ga';") << s("Björk - Jóga")
                                   << s("Björk") << s("Jóga");
    QTest::newRow("utf-8 bytes") << QByteArray("StreamTitle='Bj\xc3\xb6rk - J\xc3\xb3ga';")
                                 << s("Björk - Jóga") << s("Björk") << s("Jóga");
    QTest::newRow("nul padding") << literal("StreamTitle='A - B';\0\0\0\0") << s("A - B") << s("A") << s("B");
    QTest::newRow("control characters")
        << QByteArray("StreamTitle='A\x01\x02 - B\n';") << s("A - B") << s("A") << s("B");
    QTest::newRow("unterminated") << QByteArray("StreamTitle='A - B") << s("A - B") << s("A") << s("B");
}

void TestDirectoryUnits::streamTitle()
{
    QFETCH(QByteArray, block);
    QFETCH(QString, title);
    QCOMPARE(Icy::streamTitle(block), title);
    QString artist, song;
    Icy::splitTitle(title, &artist, &song);
    QTEST(artist, "artist");
    QTEST(song, "song");
}

void TestDirectoryUnits::playlistEntry_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("url");
    QTest::newRow("pls") << QByteArray("[playlist]\nNumberOfEntries=1\nFile1=http://a:8000/s\nTitle1=x\n")
                         << s("http://a:8000/s");
    QTest::newRow("m3u") << QByteArray("#EXTM3U\n#EXTINF:-1,x\nhttps://b/s.mp3\n") << s("https://b/s.mp3");
    QTest::newRow("relative") << QByteArray("stream.mp3\n") << s("http://host/dir/stream.mp3");
    QTest::newRow("no http") << QByteArray("[playlist]\nFile1=ftp://x/y\n") << s("");
    QTest::newRow("empty") << QByteArray() << s("");
}

void TestDirectoryUnits::playlistEntry()
{
    QFETCH(QByteArray, text);
    QTEST(Icy::playlistEntry(text, QUrl(QStringLiteral("http://host/dir/list.m3u"))).toString(), "url");
}

// ---------------------------------------------------------------------------------------------
// Passwords and limits

void TestDirectoryUnits::passwordHash_data()
{
    QTest::addColumn<QString>("tamper"); // what to do to the stored hash before checking
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("right password") << s("") << QByteArray("correct horse") << true;
    QTest::newRow("wrong password") << s("") << QByteArray("correct horsE") << false;
    QTest::newRow("empty password") << s("") << QByteArray() << false;
    QTest::newRow("changed key") << s("key") << QByteArray("correct horse") << false;
    QTest::newRow("changed salt") << s("salt") << QByteArray("correct horse") << false;
    QTest::newRow("fewer iterations") << s("iterations") << QByteArray("correct horse") << false;
    QTest::newRow("unknown scheme") << s("scheme") << QByteArray("correct horse") << false;
    QTest::newRow("truncated") << s("truncate") << QByteArray("correct horse") << false;
}

void TestDirectoryUnits::passwordHash()
{
    QFETCH(QString, tamper);
    QFETCH(QByteArray, password);
    // One hash for the whole table: each costs the full iteration count.
    static const QString stored = PasswordHash::make("correct horse", 600000);
    QCOMPARE(PasswordHash::iterationsOf(stored), 600000);
    QStringList parts = stored.split(QLatin1Char('$'));
    QCOMPARE(parts.size(), 4);
    auto flip = [](QString b64) {
        QByteArray raw = QByteArray::fromBase64(b64.toLatin1());
        raw[0] = char(raw[0] ^ 1);
        return QString::fromLatin1(raw.toBase64());
    };
    if (tamper == QLatin1String("key"))
        parts[3] = flip(parts[3]);
    else if (tamper == QLatin1String("salt"))
        parts[2] = flip(parts[2]);
    else if (tamper == QLatin1String("iterations"))
        parts[1] = QStringLiteral("599999");
    else if (tamper == QLatin1String("scheme"))
        parts[0] = QStringLiteral("md5");
    const QString hash =
        tamper == QLatin1String("truncate") ? stored.left(stored.size() - 10) : parts.join(QLatin1Char('$'));
    QTEST(PasswordHash::verify(password, hash), "accepted");
}

void TestDirectoryUnits::rateLimiter()
{
    RateLimiter limiter(3, 60);
    const qint64 t0 = 1000000;
    const QString key = QStringLiteral("u:alice");
    limiter.fail(key, t0);
    limiter.fail(key, t0 + 1000);
    QVERIFY(!limiter.blocked(key, t0 + 2000));
    limiter.fail(key, t0 + 2000);
    QVERIFY(limiter.blocked(key, t0 + 2000));
    QVERIFY(!limiter.blocked(QStringLiteral("u:bob"), t0 + 2000));
    // Blocked until the oldest failure leaves the window.
    QVERIFY(limiter.blocked(key, t0 + 59999));
    QVERIFY(!limiter.blocked(key, t0 + 60001));
    limiter.fail(key, t0 + 61000);
    limiter.fail(key, t0 + 61000);
    QVERIFY(limiter.blocked(key, t0 + 61000));
    limiter.clear(key);
    QVERIFY(!limiter.blocked(key, t0 + 61000));

    // The key table stays bounded.
    RateLimiter small(2, 60, 10);
    for (int i = 0; i < 100; ++i)
        small.fail(QStringLiteral("k%1").arg(i), t0);
    QVERIFY(small.keyCount() <= 10);
}

void TestDirectoryUnits::addressKey_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("same");
    QTest::newRow("ipv4 differ") << s("192.0.2.1") << s("192.0.2.2") << false;
    QTest::newRow("ipv6 same /64") << s("2001:db8::1") << s("2001:db8::ffff:1") << true;
    QTest::newRow("ipv6 other /64") << s("2001:db8:0:1::1") << s("2001:db8:0:2::1") << false;
    QTest::newRow("mapped ipv4") << s("::ffff:192.0.2.1") << s("192.0.2.1") << true;
}

void TestDirectoryUnits::addressKey()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QTEST(RateLimiter::addressKey(QHostAddress(a)) == RateLimiter::addressKey(QHostAddress(b)), "same");
}

void TestDirectoryUnits::streamFilter_data()
{
    QTest::addColumn<QString>("formats");
    QTest::addColumn<int>("minKbps");
    QTest::addColumn<int>("maxKbps");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("bitrate");
    QTest::addColumn<bool>("accepted");
    const QString player = QStringLiteral("wm,mp3,aac,ac3,ogg");
    QTest::newRow("mp3 listed") << player << 0 << 0 << s("mp3") << 128 << true;
    QTest::newRow("aac means mp4") << player << 0 << 0 << s("mp4") << 64 << true;
    QTest::newRow("flac not excludable") << player << 0 << 0 << s("flac") << 900 << true;
    QTest::newRow("hls not excludable") << player << 0 << 0 << s("hls") << 0 << true;
    QTest::newRow("real not listed") << player << 0 << 0 << s("real") << 32 << false;
    QTest::newRow("only mp3") << s("mp3") << 0 << 0 << s("mp4") << 128 << false;
    QTest::newRow("below minimum") << player << 96 << 0 << s("mp3") << 64 << false;
    QTest::newRow("at minimum") << player << 96 << 0 << s("mp3") << 96 << true;
    QTest::newRow("above maximum") << player << 0 << 128 << s("mp3") << 192 << false;
    QTest::newRow("maximum 800 means none") << player << 0 << 800 << s("mp3") << 320 << true;
    QTest::newRow("unknown bitrate passes") << player << 96 << 128 << s("mp3") << 0 << true;
    QTest::newRow("no formats") << s("") << 0 << 0 << s("real") << 32 << true;
}

void TestDirectoryUnits::streamFilter()
{
    QFETCH(QString, formats);
    QFETCH(int, minKbps);
    QFETCH(int, maxKbps);
    QFETCH(QString, type);
    QFETCH(int, bitrate);
    QTEST(StreamFilter::fromRequest(minKbps, maxKbps, formats).accepts(type, bitrate), "accepted");
}

void TestDirectoryUnits::xmlEscape_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("ampersand") << s("Rock & Roll") << s("Rock &amp; Roll");
    QTest::newRow("tags") << s("</name><b>") << s("‹/name›‹b›");
    QTest::newRow("entity-like text") << s("a &lt; b &amp;c") << s("a ＆lt; b ＆amp;c");
    QTest::newRow("entity-like any case") << s("&LT;") << s("＆LT;");
    QTest::newRow("control characters") << QString::fromLatin1("a\x01\x0b\tb\nc") << s("a\tb\nc");
    QTest::newRow("lone surrogate") << QString(QChar(0xd800)) + QLatin1String("x") << s("x");
    QTest::newRow("surrogate pair kept") << s("🎵") << s("🎵");
    QTest::newRow("nonchars") << QString(QChar(0xfffe)) + QChar(0xffff) << s("");
}

void TestDirectoryUnits::xmlEscape()
{
    QFETCH(QString, text);
    QTEST(XmlWriter::escape(text), "escaped");
}

// ---------------------------------------------------------------------------------------------
// Catalogue tables

void TestDirectoryUnits::genreGroups_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("group");
    QTest::newRow("group name") << s("Rock") << s("Rock");
    QTest::newRow("member") << s("Hard Rock") << s("Rock");
    QTest::newRow("member any case") << s("hard rock") << s("Rock");
    QTest::newRow("keyword") << s("Symphonic Black Metal") << s("Metal");
    QTest::newRow("decade") << s("80's") << s("Oldies & Decades");
    QTest::newRow("unknown") << s("Zzyzx") << s("Other");
    QTest::newRow("ignored") << s("Null") << s("");
    QTest::newRow("empty") << s("  ") << s("");
}

void TestDirectoryUnits::genreGroups()
{
    CatalogueMappings m;
    QString error;
    QVERIFY2(m.load(&error), qPrintable(error));
    QFETCH(QString, tag);
    QTEST(m.groupOf(tag), "group");
}

void TestDirectoryUnits::countries_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("subsection");
    QTest::newRow("name") << s("Germany") << s("DE") << s("");
    QTest::newRow("alias") << s("Brasil") << s("BR") << s("");
    QTest::newRow("native script") << s("Россия") << s("RU") << s("");
    QTest::newRow("long form") << s("The Russian Federation") << s("RU") << s("");
    QTest::newRow("case") << s("uk") << s("GB") << s("");
    QTest::newRow("part of a country") << s("Wales") << s("GB") << s("Wales");
    QTest::newRow("unknown") << s("Atlantis") << s("") << s("");
}

void TestDirectoryUnits::countries()
{
    CatalogueMappings m;
    QString error;
    QVERIFY2(m.load(&error), qPrintable(error));
    QFETCH(QString, name);
    const CatalogueMappings::Placement p = m.placeCountry(name);
    QTEST(p.code, "code");
    QTEST(p.subsection, "subsection");
}

// ---------------------------------------------------------------------------------------------
// Mail

void TestDirectoryUnits::mailAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << s("listener@example.org") << true;
    QTest::newRow("plus") << s("a+b@mail.example.org") << true;
    QTest::newRow("header injection") << s("a@example.org\r\nBcc: victim@example.org") << false;
    QTest::newRow("display name") << s("Name <a@example.org>") << false;
    QTest::newRow("two at") << s("a@b@c") << false;
    QTest::newRow("no domain") << s("a@") << false;
    QTest::newRow("blank") << s("a b@example.org") << false;
    QTest::newRow("too long") << QString(250, QLatin1Char('a')) + QLatin1String("@x.org") << false;
    QTest::newRow("empty") << s("") << false;
}

void TestDirectoryUnits::mailAddress()
{
    QFETCH(QString, address);
    QTEST(Mailer::isValidAddress(address), "valid");
}

void TestDirectoryUnits::mailHeaders()
{
    QTemporaryDir dir;
    Mailer mailer(dir.path(), QString(), QStringLiteral("Tunora <noreply@localhost>"));
    const QByteArray m = mailer.compose(QStringLiteral("a@example.org"), QStringLiteral("Grüße\r\nBcc: x@y"),
                                        QStringLiteral("line1\nline2"));
    const qsizetype split = m.indexOf("\r\n\r\n");
    QVERIFY(split > 0);
    const QByteArray head = m.left(split);
    // A line break in the subject cannot start a header of its own.
    QVERIFY(!head.contains("\r\nBcc:"));
    QVERIFY(head.contains("Subject: =?UTF-8?B?"));
    QCOMPARE(m.mid(split + 4), QByteArray("line1\r\nline2\r\n"));
    // Delivery lands in new/, never half-written.
    QVERIFY(mailer.send(QStringLiteral("a@example.org"), QStringLiteral("s"), QStringLiteral("b")));
    QCOMPARE(QDir(dir.path() + QLatin1String("/new")).entryList(QDir::Files).size(), 1);
    QCOMPARE(QDir(dir.path() + QLatin1String("/tmp")).entryList(QDir::Files).size(), 0);
    QVERIFY(!mailer.send(QStringLiteral("bad address"), QStringLiteral("s"), QStringLiteral("b")));
}

// ---------------------------------------------------------------------------------------------
// Languages and covers

void TestDirectoryUnits::languageLookup_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("code");
    QTest::newRow("code") << s("de") << s("de");
    QTest::newRow("name") << s("Deutsch") << s("de");
    QTest::newRow("file") << s("Deutsch.xml") << s("de");
    QTest::newRow("file without extension any case") << s("english") << s("en");
    QTest::newRow("unknown") << s("Klingon") << s("");
    QTest::newRow("path") << s("../Deutsch.xml") << s("");
}

void TestDirectoryUnits::languageLookup()
{
    QTemporaryDir dir;
    LanguageCatalog catalog;
    QString error;
    QVERIFY2(catalog.load(dir.path(), &error), qPrintable(error));
    QCOMPARE(catalog.languages().first().code, QStringLiteral("en"));
    QFETCH(QString, key);
    const LanguageCatalog::Language *l = catalog.find(key);
    QTEST(l ? l->code : QString(), "code");
    QCOMPARE(catalog.translate(QStringLiteral("de"), QStringLiteral("Sign in")), QStringLiteral("Anmelden"));
    QCOMPARE(catalog.translate(QStringLiteral("de"), QStringLiteral("not in the file")),
             QStringLiteral("not in the file"));
}

void TestDirectoryUnits::coverTerm_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("clean");
    QTest::newRow("filled") << s("Daft+Punk+-+One+More+Time") << s("Daft Punk - One More Time");
    QTest::newRow("placeholders left") << s("{1}+-+Around+the+World") << s("- Around the World");
    QTest::newRow("both placeholders") << s("{1}+-+{2}") << s("-");
}

void TestDirectoryUnits::coverTerm()
{
    QFETCH(QString, raw);
    QTEST(CoverSearch::cleanTerm(raw), "clean");
}

void TestDirectoryUnits::coverSanitize()
{
    const QJsonArray in = QJsonDocument::fromJson(R"([
        {"artistName": "A", "trackName": "T", "artworkUrl100": "http://x/100.jpg", "secret": "drop me",
         "collectionCensoredName": 5},
        "not an object", {}
    ])")
                              .array();
    const QJsonArray out = CoverSearch::sanitize(in);
    QCOMPARE(out.size(), 1);
    const QJsonObject o = out.first().toObject();
    QCOMPARE(o.value(QLatin1String("artistName")).toString(), QStringLiteral("A"));
    QCOMPARE(o.value(QLatin1String("artworkUrl100")).toString(), QStringLiteral("http://x/100.jpg"));
    QVERIFY(!o.contains(QLatin1String("secret")));
    QVERIFY(!o.contains(QLatin1String("collectionCensoredName"))); // not a string
    const QJsonObject reply = QJsonDocument::fromJson(CoverSearch::reply(out)).object();
    QCOMPARE(reply.value(QLatin1String("resultCount")).toInt(), 1);
}

void TestDirectoryUnits::throttle_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<qint64>("delay");
    QTest::addColumn<QList<qint64>>("times"); // attempt times in ms; the window is 10 s
    QTest::addColumn<int>("giveBackAt");      // index of an attempt that succeeds (-1: none)
    QTest::addColumn<QString>("answers");     // A allowed, L limited
    QTest::newRow("limit within the window")
        << 3 << qint64(0) << QList<qint64>{0, 1, 2, 3, 9999, 10000} << -1 << "AAALLA";
    QTest::newRow("a success gives its attempt back")
        << 2 << qint64(0) << QList<qint64>{0, 1, 2, 3} << 1 << "AAAL";
    // Over the limit, each attempt waits for the doubling delay since the last one.
    QTest::newRow("growing delays") << 2 << qint64(1000)
                                    << QList<qint64>{0, 1, 2, 1001, 2000, 3001, 6000, 7001} << -1
                                    << "AALALALA";
    QTest::newRow("delays end after a quiet window")
        << 2 << qint64(1000) << QList<qint64>{0, 1, 2, 10001, 10002} << -1 << "AALAA";
}

void TestDirectoryUnits::throttle()
{
    QFETCH(int, limit);
    QFETCH(qint64, delay);
    QFETCH(QList<qint64>, times);
    QFETCH(int, giveBackAt);
    QFETCH(QString, answers);
    QTemporaryDir dir;
    ServiceConfig config;
    config.sqliteFile = dir.filePath(QStringLiteral("t.sqlite"));
    Database db(config);
    QString error;
    QVERIFY2(db.open(&error) && db.migrate(&error), qPrintable(error));
    Throttle throttle(db);
    const Throttle::Rule rule{limit, 10000, delay};
    const qint64 base = 1'000'000'000'000;
    QString seen;
    for (qsizetype i = 0; i < times.size(); ++i) {
        const Throttle::Take t = throttle.take(QStringLiteral("k"), rule, base + times[i]);
        QVERIFY(t.result != Throttle::Result::Failed);
        seen += t.result == Throttle::Result::Allowed ? QLatin1Char('A') : QLatin1Char('L');
        if (i == giveBackAt)
            QVERIFY(throttle.give(QStringLiteral("k")));
        // Other keys are counted apart.
        QCOMPARE(throttle.take(QStringLiteral("other%1").arg(i), rule, base + times[i]).result,
                 Throttle::Result::Allowed);
    }
    QCOMPARE(seen, answers);
}

TUNORA_TEST_MAIN_CORE(TestDirectoryUnits)
#include "tst_directory_units.moc"
