// The directory service's parsers and rules, checked without a running service.

#include "testmain.h"

#include "catalogue.h"
#include "config.h"
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

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

QString s(const char *text)
{
    return QString::fromUtf8(text);
}

} // namespace

class TestDirectoryUnits : public QObject
{
    Q_OBJECT

private slots:
    void throttle_data()
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
        QTest::newRow("growing delays")
            << 2 << qint64(1000) << QList<qint64>{0, 1, 2, 1001, 2000, 3001, 6000, 7001} << -1 << "AALALALA";
        QTest::newRow("delays end after a quiet window")
            << 2 << qint64(1000) << QList<qint64>{0, 1, 2, 10001, 10002} << -1 << "AALAA";
    }

    void throttle()
    {
        QFETCH(int, limit);
        QFETCH(qint64, delay);
        QFETCH(QList<qint64>, times);
        QFETCH(int, giveBackAt);
        QFETCH(QString, answers);
        QTemporaryDir dir;
        ServiceConfig config;
        config.sqliteFile = dir.filePath(u"t.sqlite"_s);
        Database db(config);
        QString error;
        QVERIFY2(db.open(&error) && db.migrate(&error), qPrintable(error));
        Throttle throttle(db);
        const Throttle::Rule rule{limit, 10000, delay};
        const qint64 base = 1'000'000'000'000;
        QString seen;
        for (qsizetype i = 0; i < times.size(); ++i) {
            const Throttle::Take t = throttle.take(u"k"_s, rule, base + times[i]);
            QVERIFY(t.result != Throttle::Result::Failed);
            seen += t.result == Throttle::Result::Allowed ? QLatin1Char('A') : QLatin1Char('L');
            if (i == giveBackAt)
                QVERIFY(throttle.give(u"k"_s));
            // Other keys are counted apart.
            QCOMPARE(throttle.take(u"other%1"_s.arg(i), rule, base + times[i]).result,
                     Throttle::Result::Allowed);
        }
        QCOMPARE(seen, answers);
    }

    // Networks of the catalogue: which stations the importer groups and how it names the group, and
    // the schema step that brings an existing database to networks without losing its stations.
    void networkGrouping_data()
    {
        // Stations as "name|homepage"; the network each one ends in ("" for none), in the same order.
        QTest::addColumn<QStringList>("stations");
        QTest::addColumn<QStringList>("networks");
        QTest::newRow("words all names begin with")
            << QStringList{s("BBC Radio 1|https://www.bbc.co.uk/radio1"), s("BBC World Service|bbc.co.uk")}
            << QStringList{s("BBC"), s("BBC")};
        QTest::newRow("no common words: the host")
            << QStringList{s("Soma FM - Drone Zone|https://somafm.com/dronezone/"),
                           s("cliqhop idm - SomaFM|somafm.com")}
            << QStringList{s("somafm.com"), s("somafm.com")};
        QTest::newRow("one generic word: the host")
            << QStringList{s("Radio Oyasumi|https://zeno.fm/a"), s("Radio Kadicou|https://zeno.fm/b")}
            << QStringList{s("zeno.fm"), s("zeno.fm")};
        QTest::newRow("a site of one station, none, other schemes")
            << QStringList{s("Alone|https://alone.example"), s("Files|ftp://alone.example"),
                           s("Bare|localhost")}
            << QStringList{s(""), s(""), s("")};
    }

    void networkGrouping()
    {
        QFETCH(QStringList, stations);
        QFETCH(QStringList, networks);
        QTemporaryDir dir;
        ServiceConfig config;
        config.sqliteFile = dir.filePath(u"d.sqlite"_s);
        Database db(config);
        QString error;
        QVERIFY2(db.open(&error) && db.migrate(&error), qPrintable(error));
        CatalogueMappings mappings;
        QVERIFY2(mappings.load(&error), qPrintable(error));
        CatalogueImporter importer(db, mappings);
        QVERIFY2(importer.ensureReferenceData(&error), qPrintable(error));
        QJsonObject list;
        for (int i = 0; i < stations.size(); ++i) {
            const QStringList parts = stations.at(i).split(QLatin1Char('|'));
            list.insert(u"k%1"_s.arg(i), QJsonObject{{u"Name"_s, parts.at(0)},
                                                     {u"Homepage"_s, parts.at(1)},
                                                     {u"StreamUri"_s, u"http://127.0.0.1:9/%1"_s.arg(i)}});
        }
        const QByteArray json = QJsonDocument(QJsonObject{{u"webradios"_s, list}}).toJson();
        // Importing twice changes nothing: networks are matched by their host.
        for (int run = 0; run < 2; ++run)
            QVERIFY2(importer.importJson(json, nullptr, &error), qPrintable(error));
        QStringList got;
        QSqlQuery &q = db.prepare(QStringLiteral("SELECT COALESCE(n.name, '') FROM stations s LEFT JOIN "
                                                 "networks n ON n.id = s.network_id ORDER BY s.source_key"));
        QVERIFY(db.exec(q));
        while (q.next())
            got << q.value(0).toString();
        q.finish();
        QCOMPARE(got, networks);
        QSqlQuery &count = db.prepare(u"SELECT COUNT(*) FROM networks"_s);
        QVERIFY(db.exec(count) && count.next());
        QCOMPARE(count.value(0).toInt(), int(QSet<QString>(networks.begin(), networks.end()).size() -
                                             (networks.contains(QString()) ? 1 : 0)));
        count.finish();
    }

    void networksMigration()
    {
        // A database of the schema before networks, with one station.
        QTemporaryDir dir;
        ServiceConfig config;
        config.sqliteFile = dir.filePath(u"d.sqlite"_s);
        {
            Database old(config);
            QString error;
            QVERIFY2(old.open(&error), qPrintable(error));
            for (const char *sql : {"CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL)",
                                    "INSERT INTO meta VALUES ('schema_version', '2')",
                                    "CREATE TABLE stations (id INTEGER PRIMARY KEY, source_key TEXT NOT NULL "
                                    "UNIQUE, name TEXT NOT "
                                    "NULL, "
                                    "sort_name TEXT NOT NULL, website TEXT NOT NULL DEFAULT '', description "
                                    "TEXT NOT NULL DEFAULT "
                                    "'', "
                                    "country_code TEXT, subsection_id BIGINT, location TEXT NOT NULL DEFAULT "
                                    "'', languages TEXT "
                                    "NOT "
                                    "NULL DEFAULT '', added_at BIGINT NOT NULL DEFAULT 0, modified_at BIGINT "
                                    "NOT NULL DEFAULT 0, "
                                    "listen_count BIGINT NOT NULL DEFAULT 0)",
                                    "INSERT INTO stations (id, source_key, name, sort_name) VALUES (7, "
                                    "'kept', 'Kept Radio', 'kept "
                                    "radio')"})
                QVERIFY2(old.run(QString::fromLatin1(sql), &error), qPrintable(error));
        }
        Database db(config);
        QString error;
        QVERIFY2(db.open(&error) && db.migrate(&error), qPrintable(error));
        QCOMPARE(db.schemaVersion(), Database::latestSchemaVersion());
        QSqlQuery &q = db.prepare(u"SELECT name, network_id IS NULL FROM stations WHERE id = 7"_s);
        QVERIFY(db.exec(q) && q.next());
        QCOMPARE(q.value(0).toString(), u"Kept Radio"_s);
        QVERIFY(q.value(1).toBool());
        q.finish();
        QSqlQuery &n = db.prepare(u"INSERT INTO networks (host, name) VALUES ('a.example', 'A')"_s);
        QVERIFY(db.exec(n));
    }

    void scanner_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("chunk"); // bytes per feed; 0 = all at once
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("requests");
        QTest::addColumn<bool>("keepAlive"); // of the last complete request

        const QByteArray get = "GET /?key=1 HTTP/1.1\r\nHost: x\r\n\r\n";
        QTest::newRow("byte by byte") << get << 1 << 0 << 1 << true;
        QTest::newRow("http/1.0 closes") << QByteArray("GET / HTTP/1.0\r\n\r\n") << 0 << 0 << 1 << false;
        QTest::newRow("pipelined") << get + get + QByteArray("GET / HTTP/1.1\r\nConnection: close\r\n\r\n")
                                   << 7 << 0 << 3 << false;
        QTest::newRow("body skipped")
            << QByteArray("POST /a HTTP/1.1\r\nContent-Length: 5\r\n\r\nGET /") + get << 3 << 0 << 2 << true;
        QTest::newRow("long headers")
            << QByteArray("GET / HTTP/1.1\r\nX: ") + QByteArray(70000, 'b') + "\r\n\r\n"
            << 0 << 431 << 0 << false;
        QByteArray many = "GET / HTTP/1.1\r\n";
        for (int i = 0; i < 101; ++i)
            many += "X-" + QByteArray::number(i) + ": 1\r\n";
        QTest::newRow("too many header lines") << many + "\r\n" << 0 << 431 << 0 << false;
        QTest::newRow("nul in target") << "GET /?a=\0b HTTP/1.1\r\n\r\n"_ba << 0 << 400 << 0 << false;
        QTest::newRow("control in header")
            << QByteArray("GET / HTTP/1.1\r\nX: a\x01b\r\n\r\n") << 0 << 400 << 0 << false;
        QTest::newRow("folded header")
            << QByteArray("GET / HTTP/1.1\r\nX: a\r\n b\r\n\r\n") << 0 << 400 << 0 << false;
        QTest::newRow("space before colon")
            << QByteArray("GET / HTTP/1.1\r\nHost : x\r\n\r\n") << 0 << 400 << 0 << false;
        QTest::newRow("unknown method") << QByteArray("BREW / HTTP/1.1\r\n\r\n") << 0 << 501 << 0 << false;
        QTest::newRow("http/2") << QByteArray("GET / HTTP/2.0\r\n\r\n") << 0 << 505 << 0 << false;
        QTest::newRow("absolute target")
            << QByteArray("GET http://x/ HTTP/1.1\r\n\r\n") << 0 << 400 << 0 << false;
        QTest::newRow("chunked body")
            << QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n") << 0 << 501 << 0 << false;
        QTest::newRow("two lengths")
            << QByteArray("POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n") << 0 << 400
            << 0 << false;
    }

    void scanner()
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

    void searchQuery_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("words");     // blank-separated
        QTest::addColumn<QString>("selectors"); // genres|countries|states, each comma-separated
        QTest::addColumn<QString>("bareCode");

        QTest::newRow("words") << s("Jazz  Berlin") << s("jazz berlin") << s("||") << QString();
        QTest::newRow("genre unquoted") << s("genre:Jazz live") << s("live") << s("Jazz||") << QString();
        QTest::newRow("country and state")
            << s("country:\"DE\" state:\"DE-BAYERN\"") << QString() << s("|DE|DE-BAYERN") << QString();
        QTest::newRow("bare country code") << s("DE") << s("de") << s("||") << s("DE");
        QTest::newRow("lower case is no code") << s("de") << s("de") << s("||") << QString();
        QTest::newRow("unknown key is a word") << s("foo:bar") << s("foo bar") << s("||") << QString();
        QTest::newRow("unclosed quote") << s("gen:\"Rock") << QString() << s("Rock||") << QString();
        QTest::newRow("accents folded") << s("Rádio São") << s("radio sao") << s("||") << QString();
        QTest::newRow("fts syntax is words")
            << s("a* OR \"b\" NEAR(c)") << s("a or b near c") << s("||") << QString();
        QTest::newRow("duplicate words once") << s("rock rock") << s("rock") << s("||") << QString();
        QTest::newRow("selectors capped") << s("gen:a gen:b gen:c gen:d gen:e gen:f gen:g gen:h gen:i")
                                          << QString() << s("a,b,c,d,e,f,g,h||") << QString();
        QTest::newRow("words capped") << s("a b c d e f g h i j k l m n o p q")
                                      << s("a b c d e f g h i j k l m n o p") << s("||") << QString();
    }

    void searchQuery()
    {
        QFETCH(QString, text);
        const SearchQuery q = SearchQuery::parse(text);
        QTEST(q.words.join(QLatin1Char(' ')), "words");
        QTEST(QStringList({q.genres.join(QLatin1Char(',')), q.countries.join(QLatin1Char(',')),
                           q.states.join(QLatin1Char(','))})
                  .join(QLatin1Char('|')),
              "selectors");
        QTEST(q.bareCode, "bareCode");
    }

    void fold_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("folded");
        QTest::addColumn<QString>("slug");
        QTest::newRow("accents") << s("Rádio UFSCar 95.3") << s("radio ufscar 95 3")
                                 << s("RADIO-UFSCAR-95-3");
        QTest::newRow("punctuation") << s("R'n'B / Soul!") << s("r n b soul") << s("R-N-B-SOUL");
        QTest::newRow("sharp s folds") << s("Straße") << s("strasse") << s("STRASSE");
        QTest::newRow("cjk kept") << s("音乐 Radio") << s("音乐 radio") << s("RADIO");
    }

    void fold()
    {
        QFETCH(QString, text);
        QTEST(TextNorm::fold(text), "folded");
        QTEST(TextNorm::slug(text), "slug");
    }

    void streamTitle_data()
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
        QTest::newRow("title cut to 500 characters")
            << "StreamTitle='" + QByteArray(600, 'x') + "';" << QString(500, QLatin1Char('x')) << s("")
            << QString(500, QLatin1Char('x'));
        QTest::newRow("control characters")
            << QByteArray("StreamTitle='A\x01\x02 - B\n';") << s("A - B") << s("A") << s("B");
    }

    void streamTitle()
    {
        QFETCH(QByteArray, block);
        QFETCH(QString, title);
        QCOMPARE(Icy::streamTitle(block), title);
        QString artist, song;
        Icy::splitTitle(title, &artist, &song);
        QTEST(artist, "artist");
        QTEST(song, "song");
    }

    void passwordHash_data()
    {
        QTest::addColumn<QString>("tamper"); // what to do to the stored hash before checking
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right password") << s("") << QByteArray("correct horse") << true;
        QTest::newRow("wrong password") << s("") << QByteArray("correct horsE") << false;
        QTest::newRow("changed key") << s("key") << QByteArray("correct horse") << false;
        QTest::newRow("fewer iterations") << s("iterations") << QByteArray("correct horse") << false;
        QTest::newRow("truncated") << s("truncate") << QByteArray("correct horse") << false;
    }

    void passwordHash()
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
        else if (tamper == QLatin1String("iterations"))
            parts[1] = u"599999"_s;
        const QString hash = tamper == QLatin1String("truncate") ? stored.left(stored.size() - 10)
                                                                 : parts.join(QLatin1Char('$'));
        QTEST(PasswordHash::verify(password, hash), "accepted");
    }

    void rateLimiter()
    {
        RateLimiter limiter(3, 60);
        const qint64 t0 = 1000000;
        const QString key = u"u:alice"_s;
        limiter.fail(key, t0);
        limiter.fail(key, t0 + 1000);
        QVERIFY(!limiter.blocked(key, t0 + 2000));
        limiter.fail(key, t0 + 2000);
        QVERIFY(limiter.blocked(key, t0 + 2000));
        QVERIFY(!limiter.blocked(u"u:bob"_s, t0 + 2000));
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
            small.fail(u"k%1"_s.arg(i), t0);
        QVERIFY(small.keyCount() <= 10);
    }

    void addressKey_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("ipv4 differ") << s("192.0.2.1") << s("192.0.2.2") << false;
        QTest::newRow("ipv6 same /64") << s("2001:db8::1") << s("2001:db8::ffff:1") << true;
        QTest::newRow("mapped ipv4") << s("::ffff:192.0.2.1") << s("192.0.2.1") << true;
    }

    void addressKey()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QTEST(RateLimiter::addressKey(QHostAddress(a)) == RateLimiter::addressKey(QHostAddress(b)), "same");
    }

    void streamFilter_data()
    {
        QTest::addColumn<QString>("formats");
        QTest::addColumn<int>("minKbps");
        QTest::addColumn<int>("maxKbps");
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("bitrate");
        QTest::addColumn<bool>("accepted");
        const QString player = u"wm,mp3,aac,ac3,ogg"_s;
        QTest::newRow("aac means mp4") << player << 0 << 0 << s("mp4") << 64 << true;
        QTest::newRow("flac not excludable") << player << 0 << 0 << s("flac") << 900 << true;
        QTest::newRow("real not listed") << player << 0 << 0 << s("real") << 32 << false;
        QTest::newRow("only mp3") << s("mp3") << 0 << 0 << s("mp4") << 128 << false;
        QTest::newRow("at minimum") << player << 96 << 0 << s("mp3") << 96 << true;
        QTest::newRow("maximum 800 means none") << player << 0 << 800 << s("mp3") << 320 << true;
        QTest::newRow("unknown bitrate passes") << player << 96 << 128 << s("mp3") << 0 << true;
    }

    void streamFilter()
    {
        QFETCH(QString, formats);
        QFETCH(int, minKbps);
        QFETCH(int, maxKbps);
        QFETCH(QString, type);
        QFETCH(int, bitrate);
        QTEST(StreamFilter::fromRequest(minKbps, maxKbps, formats).accepts(type, bitrate), "accepted");
    }

    void xmlEscape_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("ampersand") << s("Rock & Roll") << s("Rock &amp; Roll");
        QTest::newRow("tags") << s("</name><b>") << s("‹/name›‹b›");
        QTest::newRow("entity-like any case") << s("&LT;") << s("＆LT;");
        QTest::newRow("control characters") << QString::fromLatin1("a\x01\x0b\tb\nc") << s("a\tb\nc");
        QTest::newRow("lone surrogate") << QString(QChar(0xd800)) + QLatin1String("x") << s("x");
        QTest::newRow("nonchars") << QString(QChar(0xfffe)) + QChar(0xffff) << s("");
    }

    void xmlEscape()
    {
        QFETCH(QString, text);
        QTEST(XmlWriter::escape(text), "escaped");
    }

    // Element names built from data (language codes).
    void xmlName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("code") << s("pt-BR") << true;
        QTest::newRow("digit first") << s("1st") << false;
        QTest::newRow("markup") << s("a><b") << false;
        QTest::newRow("reserved prefix") << s("XMLx") << false;
    }

    void xmlName()
    {
        QFETCH(QString, name);
        QTEST(XmlWriter::isName(name), "valid");
    }

    // Where the importer files a catalogue entry: a genre tag under its top-level genre, a country
    // name under its code (and subsection).
    void catalogueMappings_data()
    {
        QTest::addColumn<bool>("genre");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("placed");
        QTest::newRow("genre member any case") << true << s("hard rock") << s("Rock");
        QTest::newRow("genre keyword") << true << s("Symphonic Black Metal") << s("Metal");
        QTest::newRow("genre decade") << true << s("80's") << s("Oldies & Decades");
        QTest::newRow("genre unknown") << true << s("Zzyzx") << s("Other");
        QTest::newRow("genre ignored") << true << s("Null") << s("");
        QTest::newRow("country alias") << false << s("Brasil") << s("BR/");
        QTest::newRow("country in its script") << false << s("Россия") << s("RU/");
        QTest::newRow("part of a country") << false << s("Wales") << s("GB/Wales");
        QTest::newRow("country unknown") << false << s("Atlantis") << s("/");
    }

    void catalogueMappings()
    {
        QFETCH(bool, genre);
        QFETCH(QString, name);
        CatalogueMappings m;
        QString error;
        QVERIFY2(m.load(&error), qPrintable(error));
        const CatalogueMappings::Placement p = m.placeCountry(name);
        QTEST(genre ? m.groupOf(name) : p.code + u'/' + p.subsection, "placed");
    }

    void mailAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << s("listener@example.org") << true;
        QTest::newRow("header injection") << s("a@example.org\r\nBcc: victim@example.org") << false;
        QTest::newRow("display name") << s("Name <a@example.org>") << false;
        QTest::newRow("too long") << QString(250, QLatin1Char('a')) + QLatin1String("@x.org") << false;
    }

    void mailAddress()
    {
        QFETCH(QString, address);
        QTEST(Mailer::isValidAddress(address), "valid");
    }

    void mailHeaders()
    {
        QTemporaryDir dir;
        Mailer mailer(dir.path(), QString(), u"Tunora <noreply@localhost>"_s);
        const QByteArray m = mailer.compose(u"a@example.org"_s, u"Grüße\r\nBcc: x@y"_s, u"line1\nline2"_s);
        const qsizetype split = m.indexOf("\r\n\r\n");
        QVERIFY(split > 0);
        const QByteArray head = m.left(split);
        // A line break in the subject cannot start a header of its own.
        QVERIFY(!head.contains("\r\nBcc:"));
        QVERIFY(head.contains("Subject: =?UTF-8?B?"));
        QCOMPARE(m.mid(split + 4), QByteArray("line1\r\nline2\r\n"));
        // Delivery lands in new/, never half-written.
        QVERIFY(mailer.send(u"a@example.org"_s, u"s"_s, u"b"_s));
        QCOMPARE(QDir(dir.path() + QLatin1String("/new")).entryList(QDir::Files).size(), 1);
        QCOMPARE(QDir(dir.path() + QLatin1String("/tmp")).entryList(QDir::Files).size(), 0);
        QVERIFY(!mailer.send(u"bad address"_s, u"s"_s, u"b"_s));
    }

    void languageLookup_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("code");
        QTest::newRow("code") << s("de") << s("de");
        QTest::newRow("name") << s("Deutsch") << s("de");
        QTest::newRow("file") << s("Deutsch.xml") << s("de");
        QTest::newRow("unknown") << s("Klingon") << s("");
        QTest::newRow("path") << s("../Deutsch.xml") << s("");
    }

    void languageLookup()
    {
        QTemporaryDir dir;
        LanguageCatalog catalog;
        QString error;
        QVERIFY2(catalog.load(dir.path(), &error), qPrintable(error));
        QCOMPARE(catalog.languages().first().code, u"en"_s);
        QFETCH(QString, key);
        const LanguageCatalog::Language *l = catalog.find(key);
        QTEST(l ? l->code : QString(), "code");
        QCOMPARE(catalog.translate(u"de"_s, u"Sign in"_s), u"Anmelden"_s);
        QCOMPARE(catalog.translate(u"de"_s, u"not in the file"_s), u"not in the file"_s);
    }
};

TUNORA_TEST_MAIN_CORE(TestDirectoryUnits)
#include "tst_directory_units.moc"
