// The modal transfer dialog: it runs without user input and closes by itself on success and on
// failure; sizes are shown in the dialog's units; Cancel ends the transfer without a message.

#include "httpdlg.h"
#include "httpserver.h"
#include "testca.h"
#include "testmain.h"

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

    std::unique_ptr<TunoraTest::TestCa> m_ca;
    QStringList m_boxes;

private slots:
    void initTestCase()
    {
        m_ca = std::make_unique<TunoraTest::TestCa>();
        QVERIFY2(m_ca->isValid(), qPrintable(m_ca->error()));
    }

    void init()
    {
        m_boxes.clear();
        HttpSettings &s = QHttpExt::settings();
        s = HttpSettings();
        s.extraCaCertificates = {m_ca->caCertificate()};
        s.messageHook = [this](MessageKind, const QString &, const QString &text,
                               QMessageBox::StandardButtons) {
            m_boxes << text;
            return int(QMessageBox::Ok);
        };
    }

    void cleanup() { QHttpExt::settings() = HttpSettings(); }

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

    void failureClosesWithBox()
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

TUNORA_TEST_MAIN(TestHttpDlg)
#include "tst_httpdlg.moc"
