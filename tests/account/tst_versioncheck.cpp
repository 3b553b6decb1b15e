// The version check: which announcements lead to a question, and which downloads are refused
// before anything reaches the desktop (wrong size or hash, not https, redirected to http).
#include "httpblocking.h"
#include "httpserver.h"
#include "testca.h"
#include "testmain.h"
#include "versioncheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace BASS;
using O = VersionCheck::Outcome;

namespace {
QString u(const char *text)
{
    return QString::fromUtf8(text);
}
} // namespace

class TestVersionCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void check_data();
    void check();
    void changeNotes_data();
    void changeNotes();
    void checkedFromTheEventLoop();

private:
    std::unique_ptr<TunoraTest::TestCa> m_ca;
    TunoraTest::HttpServer m_https;
    TunoraTest::HttpServer m_http;
    QList<QPair<MessageKind, QString>> m_boxes;
    int m_answer = QMessageBox::Yes;
};

void TestVersionCheck::initTestCase()
{
    m_ca = std::make_unique<TunoraTest::TestCa>();
    QVERIFY2(m_ca->isValid(), qPrintable(m_ca->error()));
    QVERIFY(m_https.listenTls(m_ca->serverCertificate(), m_ca->serverKey()));
    QVERIFY(m_http.listen());
    QHttpExt::settings().extraCaCertificates = {m_ca->caCertificate()};
    QHttpExt::settings().messageHook = [this](MessageKind kind, const QString &, const QString &text,
                                              QMessageBox::StandardButtons) {
        m_boxes.append({kind, text});
        return kind == MessageKind::Question ? m_answer : int(QMessageBox::Ok);
    };
    const QByteArray body = QByteArray(70000, 'x') + "end of the package";
    const char *deb = "/tunora_1.03_amd64.deb";
    m_https.setResponse(u(deb), TunoraTest::HttpResponse::ok(body, "application/vnd.debian.binary-package"));
    m_https.setResponse(u("/moved"), TunoraTest::HttpResponse::redirect(m_https.url(u(deb)).toUtf8()));
    m_https.setResponse(u("/to-http"), TunoraTest::HttpResponse::redirect(m_http.url(u(deb)).toUtf8()));
    m_https.setResponse(u("/gone"), TunoraTest::HttpResponse::error(404, "gone"));
    m_http.setResponse(u(deb), TunoraTest::HttpResponse::ok(body));
}

void TestVersionCheck::check_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("report");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("address");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("sha256");
    QTest::addColumn<bool>("handlerStarts");
    QTest::addColumn<O>("outcome");
    QTest::addColumn<int>("box"); // kind of the last box, -1 for none

    const QByteArray body = QByteArray(70000, 'x') + "end of the package";
    const qint64 n = body.size();
    const QString hash =
        QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex());
    const QString wrongHash = QString(hash).replace(0, 1, hash[0] == u'0' ? u("1") : u("0"));
    const QString deb = m_https.url(u("/tunora_1.03_amd64.deb"));
    const int none = -1, info = int(MessageKind::Information), question = int(MessageKind::Question),
              warning = int(MessageKind::Warning);
    const int yes = QMessageBox::Yes;

    QTest::newRow("equal, silent") << u("1.02") << false << yes << deb << n << hash << true << O::UpToDate
                                   << none;
    QTest::newRow("equal, report") << u("1.02") << true << yes << deb << n << hash << true << O::UpToDate
                                   << info;
    QTest::newRow("empty, silent") << QString() << false << yes << deb << n << hash << true << O::UpToDate
                                   << none;
    QTest::newRow("empty, report") << QString() << true << yes << deb << n << hash << true << O::UpToDate
                                   << info;
    QTest::newRow("declined") << u("1.03") << false << int(QMessageBox::No) << deb << n << hash << true
                              << O::Declined << question;
    QTest::newRow("older offered too") << u("1.01") << false << int(QMessageBox::Cancel) << deb << n << hash
                                       << true << O::Declined << question;
    QTest::newRow("size matches") << u("1.03") << false << yes << deb << n << QString() << true << O::Opened
                                  << question;
    QTest::newRow("size and hash match")
        << u("1.03") << false << yes << deb << n << hash << true << O::Opened << question;
    QTest::newRow("no handler starts")
        << u("1.03") << false << yes << deb << n << hash << false << O::Saved << info;
    QTest::newRow("https redirect") << u("1.03") << false << yes << m_https.url(u("/moved")) << n << hash
                                    << true << O::Opened << question;
    QTest::newRow("shorter than announced")
        << u("1.03") << false << yes << deb << n + 1 << QString() << true << O::Failed << warning;
    QTest::newRow("longer than announced")
        << u("1.03") << false << yes << deb << n - 1 << QString() << true << O::Failed << warning;
    QTest::newRow("wrong hash") << u("1.03") << false << yes << deb << n << wrongHash << true << O::Failed
                                << warning;
    QTest::newRow("hash not sha-256")
        << u("1.03") << false << yes << deb << n << u("abcd") << true << O::Failed << warning;
    QTest::newRow("no size") << u("1.03") << false << yes << deb << qint64(0) << hash << true << O::Failed
                             << warning;
    QTest::newRow("http address") << u("1.03") << false << yes << m_http.url(u("/tunora_1.03_amd64.deb")) << n
                                  << hash << true << O::Failed << warning;
    QTest::newRow("redirect to http") << u("1.03") << false << yes << m_https.url(u("/to-http")) << n << hash
                                      << true << O::Failed << warning;
    QTest::newRow("not found") << u("1.03") << false << yes << m_https.url(u("/gone")) << n << QString()
                               << true << O::Failed << warning;
}

void TestVersionCheck::check()
{
    QFETCH(QString, address);
    QFETCH(qint64, size);
    QFETCH(bool, handlerStarts);
    QFETCH(O, outcome);
    QFETCH(int, box);
    QFETCH(int, answer);
    m_answer = answer;
    m_boxes.clear();
    m_http.clearRequests();
    QTemporaryDir downloads;
    QList<QUrl> opened;
    VersionCheck check(nullptr);
    check.setProgressShown(false);
    check.setDownloadFolder(downloads.path());
    check.setOpenHook([&](const QUrl &url) {
        opened << url;
        return handlerStarts;
    });
    QSignalSpy quit(&check, &VersionCheck::signal_quitRequested);
    SoftwareVersion v;
    QFETCH(QString, version);
    QFETCH(bool, report);
    QFETCH(QString, sha256);
    v.comment_version = version;
    v.report = report;
    v.file_location = address;
    v.file_size = size ? QString::number(size) : QString();
    v.file_sha256 = sha256;
    check.check(v);

    QCOMPARE(check.lastOutcome(), outcome);
    QCOMPARE(m_boxes.isEmpty() ? -1 : int(m_boxes.last().first), box);
    if (!m_boxes.isEmpty() && outcome != O::Opened && outcome != O::Saved)
        QVERIFY2(m_boxes.last().second.contains(u("Current Version: <b>1.02</b>")) ||
                     m_boxes.last().second.contains(check.error().toHtmlEscaped()),
                 qPrintable(m_boxes.last().second));
    QCOMPARE(m_http.requestCount(), 0);
    const QStringList files = QDir(downloads.path()).entryList(QDir::Files | QDir::Hidden);
    if (outcome != O::Opened && outcome != O::Saved) {
        // Nothing left behind, nothing opened.
        QVERIFY2(files.isEmpty(), qPrintable(files.join(u", ")));
        QVERIFY(opened.isEmpty());
        return;
    }
    // Named after the announced address, never executable, handed to the desktop.
    QCOMPARE(files, QStringList{QUrl(address).fileName()});
    QFile saved(downloads.filePath(files.first()));
    QCOMPARE(saved.size(), size);
    QCOMPARE(saved.permissions() & (QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther),
             QFileDevice::Permissions());
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(saved.fileName())});
    QCOMPARE(quit.size(), outcome == O::Opened ? 1 : 0);
}

void TestVersionCheck::changeNotes_data()
{
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("notes");
    QTest::newRow("two sentences") << u("Faster search. Fewer stalls.")
                                   << u("Faster search<br> Fewer stalls<br>");
    QTest::newRow("markup stays text") << u("<b>bold</b> & more") << u("&lt;b&gt;bold&lt;/b&gt; &amp; more");
}

void TestVersionCheck::changeNotes()
{
    QFETCH(QString, comment);
    QTEST(VersionCheck::changeNotes(comment), "notes");
}

void TestVersionCheck::checkedFromTheEventLoop()
{
    m_boxes.clear();
    VersionCheck check(nullptr);
    auto *v = new SoftwareVersion;
    v->comment_version = u("1.02");
    v->report = true;
    check.slot_versionFound(v);
    delete v; // the record lives only as long as the signal
    QVERIFY(m_boxes.isEmpty());
    QTRY_COMPARE(m_boxes.size(), 1);
    QVERIFY(m_boxes.first().second.contains(u("Latest Version: <b>1.02</b>")));
}

TUNORA_TEST_MAIN(TestVersionCheck)
#include "tst_versioncheck.moc"
