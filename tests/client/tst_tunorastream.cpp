// The application's channel: line breaks are taken out of an address before it is downloaded.

// The test tables spell their texts as plain UTF-8 literals.
#undef QT_NO_CAST_FROM_ASCII

#include "appsettings.h"
#include "httpserver.h"
#include "testmain.h"
#include "tunorastream.h"

#include <QDir>
#include <QSignalSpy>

using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;

class TestTunoraStream : public QObject
{
    Q_OBJECT

    HttpServer m_server;

private slots:
    void initTestCase()
    {
        const QString folder = TunoraTest::IsolatedHome::path() + QLatin1String("/app");
        QDir().mkpath(folder);
        AppSettings::setApplicationFolderOverride(folder);
        AppSettings::instance();
        QVERIFY(m_server.listen());
        m_server.setResponse("/a.pls",
                             HttpResponse::ok("[playlist]\nFile1=http://h/live\n", "audio/x-scpls"));
    }

    void cleanedAddress_data()
    {
        QTest::addColumn<QString>("suffix"); // appended to the server's address
        QTest::addColumn<bool>("resolve");   // through ResolveStation instead of RequestPlaylist

        QTest::newRow("bare CRs and a line feed") << "/\ra.p\rl\ns" << false;
        QTest::newRow("resolution, CR LF at the end") << "/a.pls\r\n" << true;
    }

    void cleanedAddress()
    {
        QFETCH(QString, suffix);
        QFETCH(bool, resolve);
        m_server.clearRequests();
        const QString raw = m_server.baseUrl() + suffix;
        TunoraStream stream;
        QSignalSpy ready(&stream, &BASS::Stream::sig_StreamReady);
        QSignalSpy resolved(&stream, &BASS::Stream::sig_StreamResolved);
        QSignalSpy failed(&stream, &BASS::Stream::sig_StreamError);
        if (resolve) {
            QVERIFY(stream.ResolveStation(raw));
            QVERIFY(resolved.wait(5000));
            QCOMPARE(resolved.first().at(1).toStringList(), QStringList{"http://h/live"});
        } else {
            QVERIFY(stream.RequestPlaylist(raw));
            QVERIFY(ready.wait(5000));
            QCOMPARE(ready.first().at(2).toString(), QStringLiteral("[playlist]\nFile1=http://h/live\n"));
        }
        QCOMPARE(failed.size(), 0);
        QCOMPARE(m_server.requestCount(), 1);
        QCOMPARE(m_server.lastRequest().path(), QStringLiteral("/a.pls"));
        if (!resolve)
            QCOMPARE(stream.LastRequestedUrl(), raw);
    }
};

TUNORA_TEST_MAIN_CORE(TestTunoraStream)
#include "tst_tunorastream.moc"
