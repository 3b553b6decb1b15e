// The playing-now poller: single stream visits against scripted servers (redirects, playlists,
// silence, missing metadata) and the poller's scheduling (one connection per stream address,
// back-off on failures). The whole path through a real Icecast is in tests/contract.

#include "testmain.h"

#include "catalogue.h"
#include "config.h"
#include "database.h"
#include "poller.h"
#include "stationstore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QByteArray metadataBlock(const QByteArray &title)
{
    const QByteArray text = "StreamTitle='" + title + "';";
    const qsizetype padded = (text.size() + 15) / 16 * 16;
    QByteArray b(1, char(padded / 16));
    b += text;
    b.append(padded - text.size(), '\0');
    return b;
}

// Answers each request by its path with a scripted response, and counts connections.
class ScriptedStreams : public QObject
{
public:
    struct Script
    {
        QByteArray response; // sent once the request head is in; empty = say nothing
        int delayMs = 0;
        bool close = true;
    };

    ScriptedStreams()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                ++open;
                connect(s, &QTcpSocket::disconnected, this, [this, s] {
                    --open;
                    const QByteArray path = s->property("path").toByteArray();
                    if (!path.isEmpty())
                        --openByPath[path];
                    m_buffers.remove(s);
                    s->deleteLater();
                });
                connect(s, &QTcpSocket::readyRead, this, [this, s] {
                    QByteArray &buffer = m_buffers[s];
                    buffer += s->readAll();
                    if (!buffer.contains("\r\n\r\n") || s->property("answered").toBool())
                        return;
                    s->setProperty("answered", true);
                    const QByteArray path = buffer.split(' ').value(1);
                    hits[path] += 1;
                    s->setProperty("path", path);
                    maxOpenByPath[path] = qMax(maxOpenByPath[path], ++openByPath[path]);
                    if (path.isEmpty() || !buffer.contains("Icy-MetaData: 1"))
                        return;
                    const Script script = scripts.value(path);
                    if (script.response.isEmpty())
                        return;
                    QTimer::singleShot(script.delayMs, s, [s, script] {
                        s->write(script.response);
                        if (script.close)
                            s->disconnectFromHost();
                    });
                });
            }
        });
    }
    ~ScriptedStreams() override
    {
        // The sockets outlive the members their handlers use while the server is torn down.
        const QList<QTcpSocket *> sockets = m_server.findChildren<QTcpSocket *>();
        for (QTcpSocket *s : sockets)
            s->disconnect(this);
    }
    QByteArray url(const QByteArray &path) const
    {
        return "http://127.0.0.1:" + QByteArray::number(m_server.serverPort()) + path;
    }

    QHash<QByteArray, Script> scripts;
    QHash<QByteArray, int> hits;
    QHash<QByteArray, int> openByPath;
    QHash<QByteArray, int> maxOpenByPath;
    int open = 0;

private:
    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

QByteArray icy(const QByteArray &title)
{
    return "ICY 200 OK\r\nicy-name: scripted\r\nicy-metaint: 64\r\n\r\n" + QByteArray(64, 'x') +
           metadataBlock(title) + QByteArray(64, 'x');
}

QJsonObject station(const QString &name, const QString &url)
{
    return QJsonObject{{u"Name"_s, name},
                       {u"StreamUri"_s, url},
                       {u"Country"_s, u"Germany"_s},
                       {u"Genre"_s, QJsonArray{u"Pop"_s}},
                       {u"Codec"_s, u"MP3"_s},
                       {u"Bitrate"_s, 128}};
}

QByteArray catalogue(const QList<QJsonObject> &stations)
{
    QJsonObject radios;
    int i = 0;
    for (const QJsonObject &s : stations)
        radios.insert(u"poll-%1"_s.arg(++i), s);
    return QJsonDocument(QJsonObject{{u"webradios"_s, radios}}).toJson();
}

} // namespace

class TestDirectoryPoller : public QObject
{
    Q_OBJECT

private slots:
    void probe_data();
    void probe();
    void scheduling();
};

void TestDirectoryPoller::probe_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("title");
    QTest::newRow("icy") << QByteArray("/icy") << true << "Artist - Song";
    QTest::newRow("redirect") << QByteArray("/redirect") << true << "Artist - Song";
    QTest::newRow("pls playlist") << QByteArray("/list.pls") << true << "Artist - Song";
    QTest::newRow("m3u playlist") << QByteArray("/list.m3u") << true << "Artist - Song";
    QTest::newRow("empty title") << QByteArray("/empty") << true << "";
    QTest::newRow("no metadata") << QByteArray("/plain") << false << "";
    QTest::newRow("silent") << QByteArray("/silent") << false << "";
    QTest::newRow("metaint too large") << QByteArray("/hugemeta") << false << "";
    QTest::newRow("redirect loop") << QByteArray("/loop") << false << "";
}

void TestDirectoryPoller::probe()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, ok);
    QFETCH(QString, title);
    ScriptedStreams streams;
    streams.scripts.insert("/icy", {icy("Artist - Song")});
    streams.scripts.insert("/empty", {icy("")});
    streams.scripts.insert("/redirect",
                           {"HTTP/1.1 302 Found\r\nLocation: /icy\r\nContent-Length: 0\r\n\r\n"});
    streams.scripts.insert(
        "/list.pls", {"HTTP/1.0 200 OK\r\nContent-Type: audio/x-scpls\r\n\r\n[playlist]\nNumberOfEntries=1\n"
                      "File1=" +
                      streams.url("/icy") + "\nTitle1=x\n"});
    streams.scripts.insert("/list.m3u", {"HTTP/1.0 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n#EXTM3U\n" +
                                         streams.url("/icy") + "\n"});
    streams.scripts.insert("/plain",
                           {"HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n" + QByteArray(4096, 'a')});
    streams.scripts.insert("/hugemeta", {"ICY 200 OK\r\nicy-metaint: 99999999\r\n\r\n"});
    streams.scripts.insert("/loop", {"HTTP/1.1 301 Moved\r\nLocation: /loop\r\n\r\n"});

    IcyProbe probe(QUrl(QString::fromLatin1(streams.url(path))), 1500);
    QSignalSpy done(&probe, &IcyProbe::finished);
    probe.start();
    QVERIFY(done.wait(5000));
    QCOMPARE(done.size(), 1);
    QCOMPARE(done.first().at(0).toBool(), ok);
    QCOMPARE(done.first().at(1).toString(), title);
    // The probe hangs up as soon as it has what it came for.
    QTRY_COMPARE_WITH_TIMEOUT(streams.open, 0, 3000);
}

void TestDirectoryPoller::scheduling()
{
    ScriptedStreams streams;
    // A slow stream shared by two stations, one without metadata, one that is gone.
    streams.scripts.insert("/shared", {icy("Shared - Title"), 800, true});
    streams.scripts.insert("/plain",
                           {"HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n" + QByteArray(512, 'a')});
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const QString deadUrl = u"http://127.0.0.1:%1/gone"_s.arg(closed.serverPort());
    closed.close();

    QTemporaryDir dir;
    QFile file(dir.filePath(u"c.json"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(catalogue({station(u"Shared One"_s, QString::fromLatin1(streams.url("/shared"))),
                          station(u"Shared Two"_s, QString::fromLatin1(streams.url("/shared"))),
                          station(u"No Titles"_s, QString::fromLatin1(streams.url("/plain"))),
                          station(u"Gone"_s, deadUrl)}));
    file.close();
    QFile ini(dir.filePath(u"d.ini"_s));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[poller]\ninterval=1\nstart_delay=0\ntimeout=2\nconcurrency=8\nmax_backoff=60\n");
    ini.close();
    ServiceConfig config;
    QString error;
    QVERIFY2(config.load(ini.fileName(), &error), qPrintable(error));
    Database db(config);
    QVERIFY2(db.open(&error) && db.migrate(&error), qPrintable(error));
    CatalogueMappings mappings;
    QVERIFY2(mappings.load(&error), qPrintable(error));
    CatalogueImporter importer(db, mappings);
    QVERIFY2(importer.ensureReferenceData(&error), qPrintable(error));
    QVERIFY2(importer.importFile(file.fileName(), nullptr, &error), qPrintable(error));
    StationStore stations(db);
    NowPlayingPoller poller(db, stations, config);
    QSignalSpy changes(&poller, &NowPlayingPoller::titleChanged);
    poller.start();
    QCOMPARE(poller.targetCount(), 3);
    QTest::qWait(6500);

    // Both stations of the shared address got the title from one connection at a time.
    QCOMPARE(streams.maxOpenByPath.value("/shared"), 1);
    QList<StationRow> rows;
    QVERIFY(stations.playingNow({1, 2}, &rows));
    QCOMPARE(rows.size(), 2);
    for (const StationRow &r : std::as_const(rows)) {
        QCOMPARE(r.artist, u"Shared"_s);
        QCOMPARE(r.song, u"Title"_s);
    }
    // An unchanged title is stored once, not on every visit.
    QCOMPARE(changes.size(), 2);
    QVERIFY(streams.hits.value("/shared") >= 3);
    // Failing streams back off: visits after 0, 2 and 6 s instead of every second.
    QVERIFY2(streams.hits.value("/plain") <= 3, qPrintable(QString::number(streams.hits.value("/plain"))));
    QVERIFY(streams.hits.value("/plain") >= 2);
}

TUNORA_TEST_MAIN_CORE(TestDirectoryPoller)
#include "tst_directory_poller.moc"
