// The modal download dialog: it runs without user input and closes by itself on success and on
// failure; sizes are shown in the dialog's units.

#include "httpdlg.h"
#include "httpserver.h"
#include "testca.h"
#include "testmain.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

using namespace BASS;
using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;

class TestHttpDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void sizeText_data();
    void sizeText();
    void getSucceeds_data();
    void getSucceeds();
    void failureClosesWithBox();
    void downloadIntoFile();
    void cancelAbortsQuietly();

private:
    std::unique_ptr<TunoraTest::TestCa> m_ca;
    QStringList m_boxes;
    QTemporaryDir m_dir;
};

void TestHttpDlg::initTestCase()
{
    m_ca = std::make_unique<TunoraTest::TestCa>();
    QVERIFY2(m_ca->isValid(), qPrintable(m_ca->error()));
}

void TestHttpDlg::init()
{
    m_boxes.clear();
    HttpSettings &s = QHttpExt::settings();
    s = HttpSettings();
    s.extraCaCertificates = {m_ca->caCertificate()};
    s.messageHook = [this](MessageKind, const QString &, const QString &text, QMessageBox::StandardButtons) {
        m_boxes << text;
        return int(QMessageBox::Ok);
    };
}

void TestHttpDlg::cleanup()
{
    QHttpExt::settings() = HttpSettings();
}

void TestHttpDlg::sizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << "0";
    QTest::newRow("below 1 KiB") << qint64(1023) << "1023";
    QTest::newRow("1 KiB") << qint64(1024) << "1 kb";
    QTest::newRow("1536 is whole KiB") << qint64(1536) << "1 kb";
    QTest::newRow("just below 1 MiB") << qint64(1048575) << "1023 kb";
    QTest::newRow("1.5 MiB") << qint64(1572864) << "1.5 mb";
    QTest::newRow("1 GiB") << qint64(1) * 1024 * 1024 * 1024 << "1.00 gb";
    QTest::newRow("2.25 GiB") << qint64(9) * 256 * 1024 * 1024 << "2.25 gb";
    QTest::newRow("1 TiB") << (qint64(1) << 40) << "1.000 tb";
}

void TestHttpDlg::sizeText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(HttpDownloadDlg::sizeText(bytes), text);
}

void TestHttpDlg::getSucceeds_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<bool>("redirect");
    QTest::newRow("http") << false << false;
    QTest::newRow("https through a redirect") << true << true;
}

void TestHttpDlg::getSucceeds()
{
    QFETCH(bool, tls);
    QFETCH(bool, redirect);
    HttpServer server;
    QVERIFY(tls ? server.listenTls(m_ca->serverCertificate(), m_ca->serverKey()) : server.listen());
    HttpResponse body = HttpResponse::ok(QByteArray("<ok>fine</ok>").repeated(2000));
    body.chunkSize = 4000;
    server.setResponse(QStringLiteral("/doc"), body);
    server.setResponse(QStringLiteral("/old"), HttpResponse::redirect("/doc"));

    HttpDownloadDlg dialog;
    dialog.prepareGet(server.url(redirect ? QStringLiteral("/old") : QStringLiteral("/doc")));
    dialog.setHeadingText(QStringLiteral("Checking..."));
    QVERIFY(dialog.run());
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.resultText(), QStringLiteral("<ok>fine</ok>").repeated(2000));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Please wait..."));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lblHeading"))->text(), QStringLiteral("Checking..."));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lblStatus"))->text(), QStringLiteral("25 kb"));
    QCOMPARE(dialog.findChild<QProgressBar *>(QStringLiteral("progressBar"))->maximum(), 26000);
    QVERIFY(m_boxes.isEmpty());
}

void TestHttpDlg::failureClosesWithBox()
{
    HttpServer server;
    QVERIFY(server.listen());
    HttpDownloadDlg dialog;
    dialog.prepareGet(server.url(QStringLiteral("/missing")));
    QVERIFY(!dialog.run());
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    const QString error = QHttpExt::networkErrorText(QNetworkReply::ContentNotFoundError);
    QCOMPARE(dialog.errorText(), error);
    QCOMPARE(m_boxes, QStringList{plainToHtml(error)});
    QVERIFY(dialog.resultText().isEmpty());
}

void TestHttpDlg::downloadIntoFile()
{
    HttpServer server;
    QVERIFY(server.listen());
    const QByteArray content(200000, 'z');
    server.setResponse(QStringLiteral("/setup.exe"), HttpResponse::ok(content, "application/octet-stream"));
    const QString target = m_dir.filePath(QStringLiteral("TunoraDE_Setup.exe"));

    HttpDownloadDlg dialog;
    const QString address = server.url(QStringLiteral("/setup.exe?user=me&pass=secret"));
    dialog.prepareDownload(address, target, true, true);
    dialog.setExpectedTotal(content.size());
    QVERIFY(dialog.run());
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
    // The heading names the address, without the password.
    const QString heading = dialog.findChild<QLabel *>(QStringLiteral("lblHeading"))->text();
    QVERIFY2(heading.startsWith(QLatin1String("Downloading:<br><b>")), qPrintable(heading));
    QVERIFY(heading.contains(QLatin1String("pass=***")));
    QVERIFY(!heading.contains(QLatin1String("secret")));
}

void TestHttpDlg::cancelAbortsQuietly()
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
        QTimer::singleShot(
            50, &dialog, [&dialog] { dialog.findChild<QPushButton *>(QStringLiteral("btAbort"))->click(); });
    });
    QVERIFY(!dialog.run());
    QVERIFY(!dialog.isVisible());
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(dialog.errorText(), QHttpExt::networkErrorText(QNetworkReply::OperationCanceledError));
}

TUNORA_TEST_MAIN(TestHttpDlg)
#include "tst_httpdlg.moc"
