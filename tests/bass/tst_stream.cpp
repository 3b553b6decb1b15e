// Station stream resolution: the rules from a station's address through playlist documents to the
// stream addresses, and the channel's downloads against a local HTTP server.

// The test tables spell their texts as plain UTF-8 literals.
#undef QT_NO_CAST_FROM_ASCII

#include "httpserver.h"
#include "stream.h"
#include "testmain.h"

#include <QSignalSpy>

using namespace BASS;
using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;
using Documents = QMap<QString, QString>;

Q_DECLARE_METATYPE(PlaylistResolution::Step::Kind)

namespace {

// A chain of `levels` playlists on host h, each pointing at the next, the last at a stream.
Documents chain(int levels)
{
    Documents docs;
    for (int i = 1; i <= levels; ++i) {
        const QString next =
            i == levels ? QStringLiteral("http://h/live") : QStringLiteral("http://h/l%1.pls").arg(i + 1);
        docs.insert(QStringLiteral("http://h/l%1.pls").arg(i),
                    QStringLiteral("[playlist]\nFile1=%1\n").arg(next));
    }
    return docs;
}

} // namespace

class TestStream : public QObject
{
    Q_OBJECT

    HttpServer *m_server = nullptr;

    QString url(const QString &path) const { return m_server->url(path); }

private slots:
    void initTestCase()
    {
        m_server = new HttpServer(this);
        QVERIFY(m_server->listen());
    }

    void init() { m_server->clearRequests(); }

    void resolution_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<Documents>("documents");
        QTest::addColumn<PlaylistResolution::Step::Kind>("kind");
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<QStringList>("downloads");

        using Step = PlaylistResolution::Step;
        const QStringList fiveLevels{"http://h/l1.pls", "http://h/l2.pls", "http://h/l3.pls",
                                     "http://h/l4.pls", "http://h/l5.pls"};
        const QString live = QStringLiteral("http://h/live");

        // clang-format off
        QTest::newRow("a stream address is opened as it is") << live << Documents{} << Step::Open << QStringList{live} << QStringList{};
        QTest::newRow("a station address with a control character is refused") << QStringLiteral("http://h/a\x01.pls") << Documents{} << Step::Fail << QStringList{} << QStringList{};

        QTest::newRow("m3u to pls to stream") << "http://h/a.m3u" << Documents{{"http://h/a.m3u", "#EXTM3U\n#EXTINF:-1,x\nhttp://h/b.pls\n"},
                         {"http://h/b.pls", "[playlist]\nFile1=http://h/live\nFile2=http://h/backup\n"}} << Step::Open << QStringList{live, "http://h/backup"} << QStringList{"http://h/a.m3u", "http://h/b.pls"};
        QTest::newRow("asx entries, clientskip advertising left out") << "http://h/a.asx" << Documents{{"http://h/a.asx",
                          "<asx><entry clientskip=\"yes\"><ref href=\"http://ad/x\"/></entry>"
                          "<entry><ref href=\"mms://h/live\"/></entry></asx>"}} << Step::Open << QStringList{"mms://h/live"} << QStringList{"http://h/a.asx"};
        QTest::newRow("a page with a media source") << "http://h/player.php" << Documents{{"http://h/player.php", "<html>\n<embed media src=\"http://h/live\">\n</html>\n"}} << Step::Open << QStringList{live} << QStringList{"http://h/player.php"};
        QTest::newRow("mms, mmsh, mmst and rtsp entries are kept") << "http://h/a.m3u" << Documents{{"http://h/a.m3u", "mms://h/1\nmmsh://h/2\nmmst://h/3\nrtsp://h/4\n"}} << Step::Open << QStringList{"mms://h/1", "mmsh://h/2", "mmst://h/3", "rtsp://h/4"} << QStringList{"http://h/a.m3u"};

        // Hostile documents.
        QTest::newRow("files, file: and other schemes are never taken") << "http://h/a.m3u" << Documents{{"http://h/a.m3u",
                          "file:///etc/passwd\n/etc/passwd\nC:\\x.mp3\nftp://h/x\nsmb://h/x\n"
                          "javascript:alert(1)\nhttp://h/live\n"}} << Step::Open << QStringList{live} << QStringList{"http://h/a.m3u"};
        QTest::newRow("a playlist that lists itself fails") << "http://h/a.pls" << Documents{{"http://h/a.pls", "[playlist]\nFile1=http://h/a.pls\n"}} << Step::Fail << QStringList{} << QStringList{"http://h/a.pls"};
        QTest::newRow("itself in another spelling") << "http://h/a.pls" << Documents{{"http://h/a.pls", "[playlist]\nFile1=HTTP://H/./a.pls#x\n"}} << Step::Fail << QStringList{} << QStringList{"http://h/a.pls"};
        QTest::newRow("two playlists that point at each other") << "http://h/a.pls" << Documents{{"http://h/a.pls", "[playlist]\nFile1=http://h/b.m3u\n"},
                         {"http://h/b.m3u", "http://h/a.pls\n"}} << Step::Fail << QStringList{} << QStringList{"http://h/a.pls", "http://h/b.m3u"};
        QTest::newRow("five levels are followed") << "http://h/l1.pls" << chain(5) << Step::Open << QStringList{live} << fiveLevels;
        QTest::newRow("a sixth level is not") << "http://h/l1.pls" << chain(6) << Step::Fail << QStringList{} << fiveLevels;
        QTest::newRow("a page without any address fails") << "http://h/a.php" << Documents{{"http://h/a.php", "<html><body>Not found</body></html>\n"}} << Step::Fail << QStringList{} << QStringList{"http://h/a.php"};

        QString million;
        million.reserve(15 * 1000 * 1000);
        for (int i = 0; i < 1000 * 1000; ++i)
            million += QStringLiteral("http://h/x\n");
        QTest::newRow("a million lines are over the size cap") << "http://h/a.m3u" << Documents{{"http://h/a.m3u", million}} << Step::Fail << QStringList{} << QStringList{"http://h/a.m3u"};
        QString many;
        QStringList first1000;
        for (int i = 0; i < 3000; ++i) {
            many += QStringLiteral("http://h/%1\n").arg(i);
            if (i < 1000)
                first1000 << QStringLiteral("http://h/%1").arg(i);
        }
        QTest::newRow("at most 1000 entries") << "http://h/a.m3u" << Documents{{"http://h/a.m3u", many}} << Step::Open << first1000 << QStringList{"http://h/a.m3u"};
        // clang-format on
    }

    void resolution()
    {
        QFETCH(QString, address);
        QFETCH(Documents, documents);
        QFETCH(PlaylistResolution::Step::Kind, kind);
        QFETCH(QStringList, urls);
        QFETCH(QStringList, downloads);

        PlaylistResolution resolution;
        QStringList fetched;
        PlaylistResolution::Step step = resolution.start(address);
        while (step.kind == PlaylistResolution::Step::Download && fetched.size() < 20) {
            fetched << step.address;
            QCOMPARE(resolution.pending(), step.address);
            step = resolution.documentArrived(documents.value(step.address));
        }
        QCOMPARE(fetched, downloads);
        QCOMPARE(resolution.depth(), int(downloads.size()));
        QCOMPARE(step.kind, kind);
        QCOMPARE(step.urls, urls);
        QCOMPARE(step.error.isEmpty(), kind != PlaylistResolution::Step::Fail);
    }

    void resolveOverHttp()
    {
        m_server->setResponse(
            "/a.m3u",
            HttpResponse::ok("#EXTM3U\n#EXTINF:-1,x\n" + url("/b.pls").toUtf8() + "\n", "audio/x-mpegurl"));
        m_server->setResponse("/b.pls",
                              HttpResponse::ok("[playlist]\nFile1=http://127.0.0.1:1/live\n"
                                               "File2=file:///etc/passwd\nFile3=http://127.0.0.1:1/b\n",
                                               "audio/x-scpls"));
        Stream stream;
        QSignalSpy resolved(&stream, &Stream::sig_StreamResolved);
        QSignalSpy ready(&stream, &Stream::sig_StreamReady);
        QSignalSpy failed(&stream, &Stream::sig_StreamError);
        QVERIFY(stream.ResolveStation(url("/a.m3u")));
        QVERIFY(stream.IsResolving());
        QVERIFY(resolved.wait(5000));
        const QStringList expected{"http://127.0.0.1:1/live", "http://127.0.0.1:1/b"};
        QCOMPARE(resolved.first().at(1).toStringList(), expected);
        QCOMPARE(stream.Urls(), expected);
        QVERIFY(!stream.IsResolving());
        QCOMPARE(ready.size(), 0); // documents read on the way are not reported
        QCOMPARE(failed.size(), 0);
        QCOMPARE(m_server->requestCount(), 2);
    }

    // A document over the size cap ends the resolution with an error that says so.
    void resolveFailures()
    {
        m_server->setResponse("/a.pls",
                              HttpResponse::ok(QByteArray(int(1024 * 1024 + 10), '\n'), "text/plain"));
        Stream stream;
        QSignalSpy resolved(&stream, &Stream::sig_StreamResolved);
        QSignalSpy failed(&stream, &Stream::sig_StreamError);
        QVERIFY(stream.ResolveStation(url("/a.pls")));
        QVERIFY(failed.wait(5000));
        const QString error = failed.first().at(2).toString();
        QVERIFY2(error.contains("larger"), qPrintable(error));
        QCOMPARE(resolved.size(), 0);
        QVERIFY(!stream.IsResolving());
    }

    // A playlist address that answers with audio is the stream: the body is not waited for.
    void resolveAudioAnswer()
    {
        HttpResponse audio = HttpResponse::ok(QByteArray(64 * 1024, '\xFF'), "audio/mpeg");
        audio.chunkSize = 1024;
        audio.chunkDelayMs = 200; // a body that would take 12 s
        m_server->setResponse("/listen.php", audio);
        Stream stream;
        QSignalSpy resolved(&stream, &Stream::sig_StreamResolved);
        QSignalSpy failed(&stream, &Stream::sig_StreamError);
        QVERIFY(stream.ResolveStation(url("/listen.php")));
        QVERIFY(resolved.wait(8000)); // well before the body could have ended
        QCOMPARE(resolved.first().at(1).toStringList(), QStringList{url("/listen.php")});
        QCOMPARE(failed.size(), 0);
    }

    // A new station (or AbortRequests) abandons the resolution under way: nothing more from it.
    void resolveAbandoned()
    {
        HttpResponse slow = HttpResponse::ok("[playlist]\nFile1=http://h/old\n");
        slow.chunkSize = 4;
        slow.chunkDelayMs = 100;
        m_server->setResponse("/old.pls", slow);
        m_server->setResponse("/new.pls", HttpResponse::ok("[playlist]\nFile1=http://h/new\n"));
        Stream stream;
        QSignalSpy resolved(&stream, &Stream::sig_StreamResolved);
        QSignalSpy failed(&stream, &Stream::sig_StreamError);
        QVERIFY(stream.ResolveStation(url("/old.pls")));
        QTRY_VERIFY(m_server->requestCount() == 1);
        QVERIFY(stream.ResolveStation(url("/new.pls")));
        QVERIFY(resolved.wait(5000));
        // The abandoned document would have arrived by now (30 bytes, 4 every 100 ms).
        QVERIFY(!resolved.wait(1200));
        QCOMPARE(resolved.first().at(1).toStringList(), QStringList{"http://h/new"});
        QCOMPARE(failed.size(), 0);

        // The same address again: the dropped download and the new one share their id.
        QVERIFY(stream.ResolveStation(url("/old.pls")));
        QTRY_VERIFY(m_server->requestCount() == 3);
        QVERIFY(stream.ResolveStation(url("/old.pls")));
        QVERIFY(resolved.wait(5000));
        QVERIFY(!resolved.wait(1200));
        QCOMPARE(resolved.size(), 2);
        QCOMPARE(resolved.last().at(1).toStringList(), QStringList{"http://h/old"});

        QVERIFY(stream.ResolveStation(QStringLiteral("http://h/direct"))); // no download: posted
        stream.AbortRequests();
        QCoreApplication::processEvents(); // delivers what was posted
        QCOMPARE(resolved.size(), 2);
        QVERIFY(!stream.IsResolving());
    }

    // A further document the main window asks for arrives as text, with its id right across a
    // redirect.
    void downloads()
    {
        const QString text = QStringLiteral("[playlist]\nFile1=http://h/Радио\n");
        m_server->setResponse("/p.pls", HttpResponse::ok(text.toUtf8(), "audio/x-scpls"));
        m_server->setResponse("/moved.pls", HttpResponse::redirect(url("/p.pls").toUtf8()));
        Stream stream;
        QSignalSpy ready(&stream, &Stream::sig_StreamReady);
        QSignalSpy failed(&stream, &Stream::sig_StreamError);
        QVERIFY(stream.RequestURLs(url("/moved.pls"), false));
        QVERIFY(stream.IsRequestPending());
        QVERIFY(stream.IsBusy());
        QVERIFY(ready.wait(5000));
        QCOMPARE(failed.size(), 0);
        const int id = ready.first().at(1).toInt();
        QVERIFY(id != 0);
        QCOMPARE(ready.first().at(0).value<Stream *>(), &stream);
        QCOMPARE(ready.first().at(2).toString(), text);
        QCOMPARE(stream.NestedRequestId(), id);
        QCOMPARE(m_server->requestCount(), 2);
        QVERIFY(!stream.IsRequestPending());
    }
};

TUNORA_TEST_MAIN_CORE(TestStream)
#include "tst_stream.moc"
