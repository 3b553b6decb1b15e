// The playing-now poller: single stream visits against scripted servers (redirects, playlists,
// silence, missing metadata) and the poller's scheduling (one connection per stream address,
// back-off on failures). The whole path through a real Icecast is in tests/contract.

#include "testmain.h"

#include "catalogue.h"
#include "config.h"
#include "database.h"
#include "poller.h"
#include "rawapi.h"
#include "stationstore.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace TunoraTest;

class TestDirectoryPoller : public QObject
{
    Q_OBJECT

private slots:
    void probe_data()
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

    void probe()
    {
        QFETCH(QByteArray, path);
        QFETCH(bool, ok);
        QFETCH(QString, title);
        using S = ScriptedServer;
        const QByteArray head = "HTTP/1.0 200 OK\r\nContent-Type: ";
        // Stations that keep the connection open: the probe has to hang up by itself.
        ScriptedStations streams(
            {{"/icy", {S::send(icyReply("Artist - Song")), S::hold()}},
             {"/empty", {S::send(icyReply(""))}},
             {"/redirect", {S::send("HTTP/1.1 302 Found\r\nLocation: /icy\r\nContent-Length: 0\r\n\r\n")}},
             {"/list.pls",
              {S::send(head + "audio/x-scpls\r\n\r\n[playlist]\nNumberOfEntries=1\nFile1={root}/icy\n")}},
             {"/list.m3u", {S::send(head + "audio/x-mpegurl\r\n\r\n#EXTM3U\n{root}/icy\n")}},
             {"/plain", {S::send(head + "audio/mpeg\r\n\r\n" + QByteArray(4096, 'a')), S::hold()}},
             {"/hugemeta", {S::send("ICY 200 OK\r\nicy-metaint: 99999999\r\n\r\n"), S::hold()}},
             {"/loop", {S::send("HTTP/1.1 301 Moved\r\nLocation: /loop\r\n\r\n")}}});

        IcyProbe probe(QUrl(QString::fromLatin1(streams.url(path))), 1500);
        QSignalSpy done(&probe, &IcyProbe::finished);
        probe.start();
        QVERIFY(done.wait(5000));
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().at(0).toBool(), ok);
        QCOMPARE(done.first().at(1).toString(), title);
        // The probe hangs up as soon as it has what it came for.
        for (const QTcpSocket *socket : probe.findChildren<QTcpSocket *>())
            QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
    }

    void scheduling()
    {
        using S = ScriptedServer;
        // A slow stream shared by two stations, one without metadata, one that is gone.
        ScriptedStations streams(
            {{"/shared", {S::pause(800), S::send(icyReply("Shared - Title"))}},
             {"/plain",
              {S::send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n" + QByteArray(512, 'a'))}}});
        QTemporaryDir dir;
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
        const QString sharedUrl = QString::fromLatin1(streams.url("/shared"));
        // (Nobody listens on port 1: that stream is gone.)
        QVERIFY2(
            importer.importJson(catalogueJson({{u"Shared One"_s, sharedUrl},
                                               {u"Shared Two"_s, sharedUrl},
                                               {u"No Titles"_s, QString::fromLatin1(streams.url("/plain"))},
                                               {u"Gone"_s, u"http://127.0.0.1:1/gone"_s}}),
                                nullptr, &error),
            qPrintable(error));
        StationStore stations(db);
        NowPlayingPoller poller(db, stations, config);
        QSignalSpy changes(&poller, &NowPlayingPoller::titleChanged);
        poller.start();
        QCOMPARE(poller.targetCount(), 3);
        QTest::qWait(6500);

        // Both stations of the shared address got the title from one connection at a time: each
        // visit waits for the 800 ms answer of the one before.
        const QList<qint64> shared = streams.visits("/shared");
        QVERIFY(shared.size() >= 3);
        for (qsizetype i = 1; i < shared.size(); ++i)
            QVERIFY2(shared[i] - shared[i - 1] >= 750,
                     qPrintable(QString::number(shared[i] - shared[i - 1])));
        QList<StationRow> rows;
        QVERIFY(stations.playingNow({1, 2}, &rows));
        QCOMPARE(rows.size(), 2);
        for (const StationRow &r : std::as_const(rows)) {
            QCOMPARE(r.artist, u"Shared"_s);
            QCOMPARE(r.song, u"Title"_s);
        }
        // An unchanged title is stored once, not on every visit.
        QCOMPARE(changes.size(), 2);
        // Failing streams back off: visits after 0, 2 and 6 s instead of every second.
        const qsizetype plain = streams.visits("/plain").size();
        QVERIFY2(plain >= 2 && plain <= 3, qPrintable(QString::number(plain)));
    }
};

TUNORA_TEST_MAIN_CORE(TestDirectoryPoller)
#include "tst_directory_poller.moc"
