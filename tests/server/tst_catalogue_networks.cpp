// Networks of the catalogue: which stations the importer groups and how it names the group, and
// the schema step that brings an existing database to networks without losing its stations.

#include "testmain.h"

#include "catalogue.h"
#include "config.h"
#include "database.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

QStringList texts(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *t : list)
        out << QString::fromUtf8(t);
    return out;
}

struct Fixture
{
    QTemporaryDir dir;
    ServiceConfig config;
    Fixture() { config.sqliteFile = dir.filePath(u"d.sqlite"_s); }
};

} // namespace

class TestCatalogueNetworks : public QObject
{
    Q_OBJECT
private slots:
    void grouping_data();
    void grouping();
    void existingDatabaseMigrates();
};

void TestCatalogueNetworks::grouping_data()
{
    // Stations as "name|homepage"; the network each one ends in ("" for none), in the same order.
    QTest::addColumn<QStringList>("stations");
    QTest::addColumn<QStringList>("networks");
    QTest::newRow("words all names begin with")
        << texts({"BBC Radio 1|https://www.bbc.co.uk/radio1", "BBC World Service|bbc.co.uk"})
        << texts({"BBC", "BBC"});
    QTest::newRow("no common words: the host")
        << texts({"Soma FM - Drone Zone|https://somafm.com/dronezone/", "cliqhop idm - SomaFM|somafm.com"})
        << texts({"somafm.com", "somafm.com"});
    QTest::newRow("one generic word: the host")
        << texts({"Radio Oyasumi|https://zeno.fm/a", "Radio Kadicou|https://zeno.fm/b"})
        << texts({"zeno.fm", "zeno.fm"});
    QTest::newRow("a site of one station, none, other schemes")
        << texts({"Alone|https://alone.example", "Files|ftp://alone.example", "Bare|localhost"})
        << texts({"", "", ""});
}

void TestCatalogueNetworks::grouping()
{
    QFETCH(QStringList, stations);
    QFETCH(QStringList, networks);
    Fixture f;
    Database db(f.config);
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
    for (int i = 0; i < stations.size(); ++i) {
        QSqlQuery &q =
            db.prepare(QStringLiteral("SELECT COALESCE(n.name, '') FROM stations s LEFT JOIN networks n "
                                      "ON n.id = s.network_id WHERE s.source_key = ?"));
        q.addBindValue(u"k%1"_s.arg(i));
        QVERIFY(db.exec(q) && q.next());
        got << q.value(0).toString();
        q.finish();
    }
    QCOMPARE(got, networks);
    QSqlQuery &count = db.prepare(u"SELECT COUNT(*) FROM networks"_s);
    QVERIFY(db.exec(count) && count.next());
    QCOMPARE(count.value(0).toInt(), int(QSet<QString>(networks.begin(), networks.end()).size() -
                                         (networks.contains(QString()) ? 1 : 0)));
    count.finish();
}

void TestCatalogueNetworks::existingDatabaseMigrates()
{
    // A database of the schema before networks, with one station.
    Fixture f;
    {
        Database old(f.config);
        QString error;
        QVERIFY2(old.open(&error), qPrintable(error));
        for (const char *sql :
             {"CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL)",
              "INSERT INTO meta VALUES ('schema_version', '2')",
              "CREATE TABLE stations (id INTEGER PRIMARY KEY, source_key TEXT NOT NULL UNIQUE, name TEXT NOT "
              "NULL, "
              "sort_name TEXT NOT NULL, website TEXT NOT NULL DEFAULT '', description TEXT NOT NULL DEFAULT "
              "'', "
              "country_code TEXT, subsection_id BIGINT, location TEXT NOT NULL DEFAULT '', languages TEXT "
              "NOT "
              "NULL DEFAULT '', added_at BIGINT NOT NULL DEFAULT 0, modified_at BIGINT NOT NULL DEFAULT 0, "
              "listen_count BIGINT NOT NULL DEFAULT 0)",
              "INSERT INTO stations (id, source_key, name, sort_name) VALUES (7, 'kept', 'Kept Radio', 'kept "
              "radio')"})
            QVERIFY2(old.run(QString::fromLatin1(sql), &error), qPrintable(error));
    }
    Database db(f.config);
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

TUNORA_TEST_MAIN_CORE(TestCatalogueNetworks)
#include "tst_catalogue_networks.moc"
