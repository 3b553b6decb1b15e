// The HTTP client against scripted HTTP and HTTPS servers on 127.0.0.1: transfers started from
// reports, trust, caps and failures, downloads that never leave a broken file behind; and the modal
// transfer dialog, which runs without user input, closes by itself on success and on failure, shows
// sizes in its units, and whose Cancel ends the transfer without a message.

#include "httpblocking.h"
#include "httpdlg.h"
#include "httpserver.h"
#include "net.h"
#include "testca.h"
#include "testmain.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <memory>

using namespace BASS;
using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TunoraTest::HttpResponse)

namespace {

// What sig_Ready reported, copied while the record was valid.
struct Outcome
{
    bool arrived = false;
    int id = 0;
    bool failed = false;
    QString error;
    QString text;
    QByteArray data;
};

Outcome waitReady(QHttpExt &http, int timeoutMs = 15000)
{
    Outcome out;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    auto ready = QObject::connect(&http, &QHttpExt::sig_Ready, &loop, [&](const QHttpExt::httpInfo *info) {
        out.arrived = true;
        out.id = info->id;
        out.failed = info->failed;
        out.error = info->error;
        out.text = info->text;
        out.data = info->data;
    });
    auto finished = QObject::connect(&http, &QHttpExt::sig_Finished, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    loop.exec();
    QObject::disconnect(ready);
    QObject::disconnect(finished);
    return out;
}

QByteArray pattern(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char('a' + (i * 7 + i / 26) % 26);
    return data;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

} // namespace

class TestHttpExt : public QObject
{
    Q_OBJECT

    std::unique_ptr<TunoraTest::TestCa> m_ca;
    std::unique_ptr<TunoraTest::TestCa> m_otherCa;
    QStringList m_boxes; // texts of the message boxes shown
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        m_ca = std::make_unique<TunoraTest::TestCa>();
        QVERIFY2(m_ca->isValid(), qPrintable(m_ca->error()));
        m_otherCa = std::make_unique<TunoraTest::TestCa>(QStringLiteral("Another CA"));
        QVERIFY2(m_otherCa->isValid(), qPrintable(m_otherCa->error()));
        QVERIFY(m_dir.isValid());
    }

    void init()
    {
        m_boxes.clear();
        HttpSettings &s = QHttpExt::settings();
        s = HttpSettings();
        s.userAgent = QStringLiteral("TunoraTest/1.0");
        s.extraCaCertificates = {m_ca->caCertificate()};
        s.messageHook = [this](MessageKind, const QString &, const QString &text,
                               QMessageBox::StandardButtons) {
            m_boxes << text;
            return int(QMessageBox::Ok);
        };
    }

    void cleanup()
    {
        QHttpExt::settings() = HttpSettings();
        QDir dir(m_dir.path());
        for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
            dir.remove(name);
    }

    void invalidAddressShowsBox()
    {
        QHttpExt http;
        QCOMPARE(http.get(QStringLiteral("http://h/a b?pass=secret"), true), 0);
        QCOMPARE(http.errorText(), QStringLiteral("Invalid URL: http://h/a b?pass=***"));
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(http.get(QStringLiteral("nonsense"), false), 0);
        QCOMPARE(m_boxes.size(), 1);
    }

    void trustChangeIsNotBypassedByKeepAlive()
    {
        HttpServer server;
        QVERIFY(server.listenTls(m_ca->serverCertificate(), m_ca->serverKey()));
        server.setResponse(QStringLiteral("/k"), HttpResponse::ok("data"));
        QHttpExt http;
        http.get(server.url(QStringLiteral("/k")));
        QVERIFY(!waitReady(http).failed);
        // The same client, the same server, a kept-alive connection, but the CA is no longer trusted.
        QHttpExt::settings().extraCaCertificates = {m_otherCa->caCertificate()};
        http.get(server.url(QStringLiteral("/k?again")));
        const Outcome out = waitReady(http);
        QVERIFY(out.failed);
        QCOMPARE(server.requestCount(), 1);
    }

    // The store is read from the distribution's bundle alone: it must hold every certificate of
    // the hashed folder that Qt's own reading also parses.
    void systemStoreFromBundle()
    {
        const QList<QSslCertificate> bundle = HttpSettings::readSystemStore();
        QSet<QByteArray> read;
        for (const QSslCertificate &certificate : bundle)
            read.insert(certificate.digest(QCryptographicHash::Sha256));
        const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
        QVERIFY(!system.isEmpty());
        for (const QSslCertificate &certificate : system)
            QVERIFY2(read.contains(certificate.digest(QCryptographicHash::Sha256)),
                     qPrintable(certificate.subjectDisplayName()));
    }

    void failures_data()
    {
        QTest::addColumn<int>("mode"); // 0 none listening, 1 plain, 2 TLS with a certificate from another CA
        QTest::addColumn<HttpResponse>("response");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("requests");
        HttpResponse big = HttpResponse::ok(pattern(50000));
        big.chunkSize = 4096;
        const HttpResponse data = HttpResponse::ok("data");
        QTest::newRow("larger than the cap") << 1 << big << u"larger than 10000"_s << 1;
        QTest::newRow("redirect loop is bounded")
            << 1 << HttpResponse::redirect("/x") << u"Too many redirects"_s << 5;
        QTest::newRow("redirect to another scheme")
            << 1 << HttpResponse::redirect("file:///etc/passwd") << u"Invalid URL"_s << 1;
        QTest::newRow("connection refused")
            << 0 << data << QHttpExt::networkErrorText(QNetworkReply::ConnectionRefusedError) << 0;
        QTest::newRow("certificate from another CA")
            << 2 << data << QHttpExt::networkErrorText(QNetworkReply::SslHandshakeFailedError) << 0;
    }

    void failures()
    {
        QFETCH(int, mode);
        QFETCH(HttpResponse, response);
        QFETCH(QString, error);
        HttpServer server;
        if (mode == 1)
            QVERIFY(server.listen());
        if (mode == 2)
            QVERIFY(server.listenTls(m_otherCa->serverCertificate(), m_otherCa->serverKey()));
        server.setResponse(QStringLiteral("/x"), response);
        const QString address = mode ? server.url(QStringLiteral("/x"))
                                     : QStringLiteral("http://127.0.0.1:%1/x").arg(TunoraTest::freeTcpPort());
        QHttpExt http;
        http.setMaxSize(10000);
        http.setMaxRedirects(4);
        http.get(address);
        const Outcome out = waitReady(http);
        QVERIFY(out.failed);
        QVERIFY2(out.error.contains(error), qPrintable(out.error));
        QCOMPARE(http.errorText(), out.error);
        QVERIFY(out.text.isEmpty());
        if (!error.startsWith(QLatin1String("larger")))
            QVERIFY(out.data.isEmpty()); // the capped transfer may keep what arrived before the cap
        QTEST(server.requestCount(), "requests");
    }

    void download_data()
    {
        QTest::addColumn<bool>("oldFile");    // a file is already under the target name
        QTest::addColumn<QString>("failure"); // "", "cut", "redirect", "unfollowed"
        QTest::newRow("replaces old file") << true << "";
        QTest::newRow("through a redirect") << false << "redirect";
        QTest::newRow("cut short, no old file") << false << "cut";
        QTest::newRow("cut short keeps old file") << true << "cut";
        // A 3xx answer that is not followed is no file: the old one stays (it was once replaced by
        // the empty body).
        QTest::newRow("redirect not followed keeps old file") << true << "unfollowed";
    }

    void download()
    {
        QFETCH(bool, oldFile);
        QFETCH(QString, failure);
        const QByteArray content = pattern(300000);
        const QByteArray old = "old, complete file";
        const QString target = m_dir.filePath(QStringLiteral("setup.bin"));
        if (oldFile)
            QVERIFY(writeFile(target, old));

        HttpServer server;
        QVERIFY(server.listen());
        HttpResponse response = HttpResponse::ok(content, "application/octet-stream");
        response.chunkSize = 65536;
        if (failure == QLatin1String("cut"))
            response.cutAfter = 100000;
        server.setResponse(QStringLiteral("/file"), response);
        server.setResponse(QStringLiteral("/moved"), HttpResponse::redirect("/file", 302));

        QHttpExt http;
        http.setFollowRedirects(failure != QLatin1String("unfollowed"));
        const bool viaRedirect =
            failure == QLatin1String("redirect") || failure == QLatin1String("unfollowed");
        const QString path = viaRedirect ? QStringLiteral("/moved") : QStringLiteral("/file");
        QVERIFY(http.download(server.url(path), target, false, false) != 0);
        const Outcome out = waitReady(http);
        QVERIFY(out.arrived);
        const bool shouldFail = !failure.isEmpty() && failure != QLatin1String("redirect");
        QCOMPARE(out.failed, shouldFail);
        if (shouldFail)
            QCOMPARE(readFile(target), oldFile ? old : QByteArray("<missing>"));
        else
            QCOMPARE(readFile(target), content);
        // Nothing else is left in the folder: no temporary file, no partial copy.
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(),
                 (oldFile || !shouldFail) ? 1 : 0);
    }

    void sizeText_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("below 1 KiB") << qint64(1023) << "1023";
        QTest::newRow("1536 is whole KiB") << qint64(1536) << "1 kb";
        QTest::newRow("1.5 MiB") << qint64(1572864) << "1.5 mb";
        QTest::newRow("2.25 GiB") << qint64(9) * 256 * 1024 * 1024 << "2.25 gb";
        QTest::newRow("1 TiB") << (qint64(1) << 40) << "1.000 tb";
    }

    void sizeText()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(HttpDownloadDlg::sizeText(bytes), text);
    }

    void getSucceedsThroughRedirect()
    {
        HttpServer server;
        QVERIFY(server.listenTls(m_ca->serverCertificate(), m_ca->serverKey()));
        HttpResponse body = HttpResponse::ok(QByteArray("<ok>fine</ok>").repeated(2000));
        body.chunkSize = 4000;
        server.setResponse(QStringLiteral("/doc"), body);
        server.setResponse(QStringLiteral("/old"), HttpResponse::redirect("/doc"));

        HttpDownloadDlg dialog;
        dialog.prepareGet(server.url(QStringLiteral("/old")));
        dialog.setHeadingText(QStringLiteral("Checking..."));
        QVERIFY(dialog.run());
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.resultText(), QStringLiteral("<ok>fine</ok>").repeated(2000));
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lblHeading"))->text(),
                 QStringLiteral("Checking..."));
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lblStatus"))->text(), QStringLiteral("25 kb"));
        QCOMPARE(dialog.findChild<QProgressBar *>(QStringLiteral("progressBar"))->maximum(), 26000);
        QVERIFY(m_boxes.isEmpty());
    }

    void cancelAbortsQuietly()
    {
        HttpServer server;
        QVERIFY(server.listen());
        HttpResponse held = HttpResponse::ok(QByteArray(50000, 'h'));
        held.cutAfter = 1000;
        held.hold = true;
        server.setResponse(QStringLiteral("/held"), held);

        HttpDownloadDlg dialog;
        dialog.prepareGet(server.url(QStringLiteral("/held")));
        // Pressing Cancel once the transfer has started.
        connect(&dialog.http(), &QHttpExt::sig_Started, &dialog, [&dialog] {
            QTimer::singleShot(50, &dialog, [&dialog] {
                dialog.findChild<QPushButton *>(QStringLiteral("btAbort"))->click();
            });
        });
        QVERIFY(!dialog.run());
        QVERIFY(!dialog.isVisible());
        QVERIFY(m_boxes.isEmpty());
        QCOMPARE(dialog.errorText(), QHttpExt::networkErrorText(QNetworkReply::OperationCanceledError));
    }
};

TUNORA_TEST_MAIN(TestHttpExt)
#include "tst_httpext.moc"
