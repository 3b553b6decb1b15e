// The version check: which announcements lead to a question, and which downloads are refused
// before anything is handed to the desktop (wrong size, wrong hash, not https, redirected to http).
#include "appsettings.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "httpserver.h"
#include "testca.h"
#include "testmain.h"
#include "tunoraapi.h"
#include "versioncheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace BASS;
using TunoraTest::HttpResponse;

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

SoftwareVersion announced(const QString &version, bool report)
{
    SoftwareVersion v;
    v.comment_version = version;
    v.comment = u("Faster search. Fewer stalls.");
    v.report = report;
    return v;
}

} // namespace

class TestVersionCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void announcement_data();
    void announcement();
    void download_data();
    void download();
    void changeNotes_data();
    void changeNotes();
    void announcedByTheService();

private:
    std::unique_ptr<TunoraTest::TestCa> m_ca;
    TunoraTest::HttpServer m_https;
    TunoraTest::HttpServer m_http;
    QTemporaryDir m_downloads;
    struct Box
    {
        MessageKind kind;
        QString text;
    };
    QList<Box> m_boxes;
    int m_answer = QMessageBox::Yes;
    QList<QUrl> m_opened;
    bool m_handlerStarts = true;
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
}

void TestVersionCheck::cleanupTestCase()
{
    QHttpExt::settings().messageHook = nullptr;
}

void TestVersionCheck::init()
{
    m_boxes.clear();
    m_opened.clear();
    m_answer = QMessageBox::Yes;
    m_handlerStarts = true;
    m_https.clearRequests();
    m_http.clearRequests();
    QDir(m_downloads.path()).removeRecursively();
    QDir().mkpath(m_downloads.path());
}

void TestVersionCheck::announcement_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("report");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("kind"); // the one box shown, -1 for none
    QTest::addColumn<VersionCheck::Outcome>("outcome");

    const int none = -1;
    const int info = int(MessageKind::Information);
    const int question = int(MessageKind::Question);
    using O = VersionCheck::Outcome;
    QTest::newRow("equal, silent") << u("1.02") << false << 0 << none << O::UpToDate;
    QTest::newRow("equal, report") << u("1.02") << true << 0 << info << O::UpToDate;
    QTest::newRow("empty, silent") << QString() << false << 0 << none << O::UpToDate;
    QTest::newRow("empty, report") << QString() << true << 0 << info << O::UpToDate;
    QTest::newRow("newer, declined") << u("1.03") << false << int(QMessageBox::No) << question << O::Declined;
    QTest::newRow("older, cancelled")
        << u("1.01") << true << int(QMessageBox::Cancel) << question << O::Declined;
}

void TestVersionCheck::announcement()
{
    QFETCH(QString, version);
    QFETCH(bool, report);
    QFETCH(int, answer);
    QFETCH(int, kind);
    QFETCH(VersionCheck::Outcome, outcome);
    m_answer = answer;
    VersionCheck check(nullptr);
    check.setDownloadFolder(m_downloads.path());
    check.setOpenHook([this](const QUrl &url) {
        m_opened << url;
        return true;
    });
    SoftwareVersion v = announced(version, report);
    v.file_location = m_https.url(u("/never-asked"));
    v.file_size = u("10");
    check.slot_versionFound(&v);
    QCOMPARE(check.lastOutcome(), outcome);
    QCOMPARE(m_boxes.size(), kind < 0 ? 0 : 1);
    if (kind >= 0) {
        QCOMPARE(int(m_boxes.first().kind), kind);
        QVERIFY2(m_boxes.first().text.contains(u("Current Version: <b>1.02</b>")),
                 qPrintable(m_boxes.first().text));
    }
    QCOMPARE(m_https.requestCount(), 0);
    QVERIFY(m_opened.isEmpty());
}

void TestVersionCheck::download_data()
{
    QTest::addColumn<QString>("path");   // asked of the https server
    QTest::addColumn<QString>("size");   // announced
    QTest::addColumn<QString>("sha256"); // announced
    QTest::addColumn<bool>("plainHttp"); // the address itself is http
    QTest::addColumn<bool>("handlerStarts");
    QTest::addColumn<VersionCheck::Outcome>("outcome");

    const QByteArray body = QByteArray(70000, 'x') + "end of the package";
    const QString size = QString::number(body.size());
    const QString hash =
        QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex());
    QString wrongHash = hash;
    wrongHash[0] = wrongHash[0] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    m_https.setResponse(u("/tunora_1.03_amd64.deb"),
                        HttpResponse::ok(body, "application/vnd.debian.binary-package"));
    m_https.setResponse(u("/moved"),
                        HttpResponse::redirect(m_https.url(u("/tunora_1.03_amd64.deb")).toUtf8()));
    m_https.setResponse(u("/to-http"),
                        HttpResponse::redirect(m_http.url(u("/tunora_1.03_amd64.deb")).toUtf8()));
    m_https.setResponse(u("/gone"), HttpResponse::error(404, "gone"));
    m_http.setResponse(u("/tunora_1.03_amd64.deb"), HttpResponse::ok(body));

    using O = VersionCheck::Outcome;
    const QString file = u("/tunora_1.03_amd64.deb");
    QTest::newRow("size matches") << file << size << QString() << false << true << O::Opened;
    QTest::newRow("size and hash match") << file << size << hash << false << true << O::Opened;
    QTest::newRow("no handler starts") << file << size << hash << false << false << O::Saved;
    QTest::newRow("https redirect followed") << u("/moved") << size << hash << false << true << O::Opened;
    QTest::newRow("shorter than announced")
        << file << QString::number(body.size() + 1) << QString() << false << true << O::Failed;
    QTest::newRow("longer than announced")
        << file << QString::number(body.size() - 1) << QString() << false << true << O::Failed;
    QTest::newRow("wrong hash") << file << size << wrongHash << false << true << O::Failed;
    QTest::newRow("hash not sha-256") << file << size << u("abcd") << false << true << O::Failed;
    QTest::newRow("no size") << file << QString() << hash << false << true << O::Failed;
    QTest::newRow("http address") << file << size << hash << true << true << O::Failed;
    QTest::newRow("redirect to http") << u("/to-http") << size << hash << false << true << O::Failed;
    QTest::newRow("not found") << u("/gone") << size << QString() << false << true << O::Failed;
}

void TestVersionCheck::download()
{
    QFETCH(QString, path);
    QFETCH(QString, size);
    QFETCH(QString, sha256);
    QFETCH(bool, plainHttp);
    QFETCH(bool, handlerStarts);
    QFETCH(VersionCheck::Outcome, outcome);

    VersionCheck check(nullptr);
    check.setProgressShown(false);
    check.setDownloadFolder(m_downloads.path());
    check.setOpenHook([&](const QUrl &url) {
        m_opened << url;
        return handlerStarts;
    });
    QSignalSpy quit(&check, &VersionCheck::signal_quitRequested);
    SoftwareVersion v = announced(u("1.03"), false);
    v.file_location = plainHttp ? m_http.url(path) : m_https.url(path);
    v.file_size = size;
    v.file_sha256 = sha256;
    check.slot_versionFound(&v);

    QCOMPARE(check.lastOutcome(), outcome);
    const QStringList files = QDir(m_downloads.path()).entryList(QDir::Files | QDir::Hidden);
    if (outcome == VersionCheck::Outcome::Failed) {
        // Said why, and nothing is left behind or opened.
        QVERIFY(!check.error().isEmpty());
        QVERIFY2(m_boxes.last().text.contains(check.error().toHtmlEscaped()),
                 qPrintable(m_boxes.last().text));
        QVERIFY2(files.isEmpty(), qPrintable(files.join(u", ")));
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(m_http.requestCount(), 0);
        return;
    }
    // Named after the announced address, whatever it redirects to.
    QCOMPARE(files, QStringList{path.mid(1)});
    const QString saved = QDir(m_downloads.path()).filePath(files.first());
    QCOMPARE(check.savedFile(), saved);
    QFile f(saved);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.size(), size.toLongLong());
    QCOMPARE(f.permissions() & (QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther),
             QFileDevice::Permissions());
    QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(saved)});
    QCOMPARE(quit.size(), outcome == VersionCheck::Outcome::Opened ? 1 : 0);
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

void TestVersionCheck::announcedByTheService()
{
    // The directory's reply carries the hash when it is configured; the client reads it.
    TunoraTest::DirectoryService service;
    TunoraTest::DirectoryService::Options options;
    options.importCatalogue = false;
    const QString hash = QString(64, QLatin1Char('a'));
    options.settings = {{u("software/comment_version"), u("1.03")},
                        {u("software/file_location"), u("https://downloads.example/tunora_1.03_amd64.deb")},
                        {u("software/file_size"), u("123")},
                        {u("software/file_sha256"), hash}};
    QVERIFY2(service.start(options), qPrintable(service.errorString()));
    const QString folder = TunoraTest::IsolatedHome::path() + u("/app");
    QVERIFY(QDir().mkpath(folder));
    AppSettings::setApplicationFolderOverride(folder);
    AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, service.root().toString());
    AppSettings::instance().setCaFile(service.caFile());
    TunoraAPI::configureHttp();
    QHttpExt::settings().extraCaCertificates << m_ca->caCertificate();

    TunoraAPI api;
    SoftwareVersion seen;
    connect(&api, &TunoraAPI::signal_versionFound, this, [&](const SoftwareVersion *v) { seen = *v; });
    QVERIFY(api.requestSoftwareVersionModal());
    QCOMPARE(seen.comment_version, u("1.03"));
    QCOMPARE(seen.file_size, u("123"));
    QCOMPARE(seen.file_sha256, hash);
    QVERIFY(seen.report);
    QVERIFY(VersionCheck::isOtherVersion(seen));
    QVERIFY(service.stop());
}

TUNORA_TEST_MAIN(TestVersionCheck)
#include "tst_versioncheck.moc"
