// The HTTP client against scripted HTTP and HTTPS servers on 127.0.0.1: memory transfers, trust,
// redirects, downloads that never leave a broken file behind, resume, caps and failures.

#include "baseradioapi.h"
#include "httpblocking.h"
#include "httpserver.h"
#include "net.h"
#include "testca.h"
#include "testmain.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <csignal>
#include <memory>
#include <sys/resource.h>

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
    int httpStatus = 0;
    int readyCount = 0;
    int finishedCount = 0;
    QList<QPair<int, int>> redirects;
};

Outcome waitReady(QHttpExt &http, int timeoutMs = 15000)
{
    Outcome out;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    auto ready = QObject::connect(&http, &QHttpExt::sig_Ready, &loop, [&](const QHttpExt::httpInfo *info) {
        ++out.readyCount;
        out.arrived = true;
        out.id = info->id;
        out.failed = info->failed;
        out.error = info->error;
        out.text = info->text;
        out.data = info->data;
        out.httpStatus = info->httpStatus;
    });
    auto finished = QObject::connect(&http, &QHttpExt::sig_Finished, &loop, [&](const QHttpExt::httpInfo *) {
        ++out.finishedCount;
        // Let a second, unexpected report show up before returning.
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
    });
    auto redirect = QObject::connect(&http, &QHttpExt::sig_Redirect, &loop, [&](int oldId, int newId) {
        out.redirects.append({oldId, newId});
    });
    timer.start(timeoutMs);
    loop.exec();
    QObject::disconnect(ready);
    QObject::disconnect(finished);
    QObject::disconnect(redirect);
    return out;
}

struct Message
{
    MessageKind kind;
    QString title;
    QString text;
};

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

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void maskedAddress_data();
    void maskedAddress();
    void addressHash_data();
    void addressHash();
    void parseAddress_data();
    void parseAddress();

    void memoryTransfers_data();
    void memoryTransfers();
    void rangeIsSentOnce();
    void newRequestFromReadySignals();
    void invalidAddressShowsBox();
    void trustChangeIsNotBypassedByKeepAlive();
    void redirects_data();
    void redirects();
    void failures_data();
    void failures();

    void download_data();
    void download();
    void resume_data();
    void resume();
    void downloadCanceledLeavesNothing();
    void shortWriteFailsDownload();
    void downloadMessages_data();
    void downloadMessages();
    void modalRequestWithoutGui();

private:
    std::unique_ptr<TunoraTest::TestCa> m_ca;
    std::unique_ptr<TunoraTest::TestCa> m_otherCa;
    QList<Message> m_messages;
    int m_answer = QMessageBox::Ok;
    QTemporaryDir m_dir;
};

void TestHttpExt::initTestCase()
{
    m_ca = std::make_unique<TunoraTest::TestCa>();
    QVERIFY2(m_ca->isValid(), qPrintable(m_ca->error()));
    m_otherCa = std::make_unique<TunoraTest::TestCa>(QStringLiteral("Another CA"));
    QVERIFY2(m_otherCa->isValid(), qPrintable(m_otherCa->error()));
    QVERIFY(m_dir.isValid());
}

void TestHttpExt::init()
{
    m_messages.clear();
    m_answer = QMessageBox::Ok;
    HttpSettings &s = QHttpExt::settings();
    s = HttpSettings();
    s.userAgent = QStringLiteral("TunoraTest/1.0");
    s.extraCaCertificates = {m_ca->caCertificate()};
    s.messageHook = [this](MessageKind kind, const QString &title, const QString &text,
                           QMessageBox::StandardButtons) {
        m_messages.append({kind, title, text});
        return m_answer;
    };
}

void TestHttpExt::cleanup()
{
    QHttpExt::settings() = HttpSettings();
    QDir dir(m_dir.path());
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
}

// --- Address helpers ------------------------------------------------------------------------

void TestHttpExt::maskedAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("masked");
    auto row = [](const char *name, const char *address, const char *masked) {
        QTest::newRow(name) << QString::fromUtf8(address) << QString::fromUtf8(masked);
    };
    row("pass in the middle", "https://h/?key=K&user=u&pass=s3cr%26t&load_network=1",
        "https://h/?key=K&user=u&pass=***&load_network=1");
    row("pass at the end", "https://h/?user=u&pass=secret", "https://h/?user=u&pass=***");
    row("password", "http://h/x?password=abc&a=b", "http://h/x?password=***&a=b");
    row("empty value", "https://h/?pass=&a=1", "https://h/?pass=***&a=1");
    row("before a fragment", "https://h/?pass=abc#top", "https://h/?pass=***#top");
    row("similar names stay", "https://h/?passenger=1&xpass=2", "https://h/?passenger=1&xpass=2");
    row("pass-like text in a value", "https://h/?search=pass=1", "https://h/?search=pass=1");
    row("user info", "http://user:pw@h:80/p?q=1", "http://user:***@h:80/p?q=1");
    row("user without password", "http://user@h/p", "http://user@h/p");
    row("no query", "https://h/path", "https://h/path");
}

void TestHttpExt::maskedAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, masked);
    QCOMPARE(BASS::maskedAddress(address), masked);
}

void TestHttpExt::addressHash_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("id");
    // Values computed independently: h = h * 33 + UTF-16 unit, last unit first, 32-bit wrap.
    QTest::newRow("two letters") << "ab" << 3331;
    QTest::newRow("order matters") << "ba" << 3299;
    QTest::newRow("directory address")
        << "https://127.0.0.1:47443/?key=Xq7LmP2vR9tKw4ZbN8cYh3JdF6sQaE1uGoV5iTnB" << 1309428635;
    QTest::newRow("non-ASCII") << QString::fromUtf8("https://h/?q=Grüße") << 2089482600;
    QTest::newRow("negative after wrapping") << "https://directory.example/?search=a" << -770249892;
    QTest::newRow("surrogate pair") << QString::fromUtf8("http://127.0.0.1/€😀") << -1322188635;
    QTest::newRow("empty is never 0") << "" << 1;
}

void TestHttpExt::addressHash()
{
    QFETCH(QString, address);
    QFETCH(int, id);
    QCOMPARE(BASS::addressHash(address), id);
}

void TestHttpExt::parseAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("plain");
    QTest::addColumn<QString>("encoded"); // "" when invalid
    QTest::newRow("encoded stays") << "https://h/?q=Gr%C3%BC%C3%9Fe" << false
                                   << "https://h/?q=Gr%C3%BC%C3%9Fe";
    QTest::newRow("strict refuses a blank") << "http://h/a b" << false << "";
    QTest::newRow("plain text is encoded") << "http://h/a b" << true << "http://h/a%20b";
    QTest::newRow("ftp refused") << "ftp://h/x" << false << "";
    QTest::newRow("file refused") << "file:///etc/passwd" << true << "";
    QTest::newRow("no host") << "http:///x" << false << "";
    QTest::newRow("not an address") << "station list" << true << "";
}

void TestHttpExt::parseAddress()
{
    QFETCH(QString, address);
    QFETCH(bool, plain);
    QFETCH(QString, encoded);
    const QUrl url = parseHttpAddress(address, plain);
    QCOMPARE(url.isValid() ? QString::fromUtf8(url.toEncoded()) : QString(), encoded);
}

// --- Memory transfers -----------------------------------------------------------------------

void TestHttpExt::memoryTransfers_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("post"); // 0 GET, 1 form, 2 XML
    QTest::addColumn<QByteArray>("contentType");
    const QString text = QString::fromUtf8("Grüße");
    const QByteArray utf8 = text.toUtf8();
    QTest::newRow("http utf-8") << false << true << utf8 << text << 0 << QByteArray();
    QTest::newRow("https utf-8") << true << true << utf8 << text << 0 << QByteArray();
    QTest::newRow("latin-1") << false << false << text.toLatin1() << text << 0 << QByteArray();
    QTest::newRow("empty body") << true << true << QByteArray() << QString() << 0 << QByteArray();
    QTest::newRow("post a form") << false << true << utf8 << text << 1
                                 << QByteArray("application/x-www-form-urlencoded;charset=utf-8");
    QTest::newRow("post XML") << true << true << utf8 << text << 2 << QByteArray("text/xml;charset=utf-8");
}

void TestHttpExt::memoryTransfers()
{
    QFETCH(bool, tls);
    QFETCH(bool, utf8);
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    QFETCH(int, post);

    HttpServer server;
    QVERIFY(tls ? server.listenTls(m_ca->serverCertificate(), m_ca->serverKey()) : server.listen());
    server.setResponse(QStringLiteral("/doc"), HttpResponse::ok(body));

    QHttpExt http;
    http.setUtf8(utf8);
    QList<qint64> progress;
    connect(&http, &QHttpExt::sig_ReadProgress, this, [&](qint64 received, qint64) { progress << received; });
    const QString address = server.url(QStringLiteral("/doc"));
    const QByteArray form("a=1&b=%C3%A9");
    const int id = post ? http.post(address, form, post == 2) : http.get(address);
    QVERIFY(id != 0);
    if (!post)
        QCOMPARE(id, BASS::addressHash(address));
    const Outcome out = waitReady(http);
    QVERIFY(out.arrived);
    QVERIFY2(!out.failed, qPrintable(out.error));
    QCOMPARE(out.id, id);
    QCOMPARE(out.data, body);
    QCOMPARE(out.text, text);
    QCOMPARE(out.readyCount, 1);
    QCOMPARE(out.finishedCount, 1);
    const TunoraTest::HttpRequest request = server.lastRequest();
    QCOMPARE(request.method, QByteArray(post ? "POST" : "GET"));
    QCOMPARE(request.body, post ? form : QByteArray());
    if (post)
        QTEST(request.header("Content-Type"), "contentType");
    QCOMPARE(request.header("User-Agent"), QByteArray("TunoraTest/1.0"));
    QVERIFY(request.header("Range").isEmpty());
    if (!body.isEmpty())
        QCOMPARE(progress.last(), qint64(body.size()));
}

void TestHttpExt::rangeIsSentOnce()
{
    HttpServer server;
    QVERIFY(server.listen());
    server.setResponse(QStringLiteral("/r"), HttpResponse::ok("x"));
    QHttpExt http;
    http.setRange(QStringLiteral("bytes=5-"));
    http.get(server.url(QStringLiteral("/r")));
    QVERIFY(waitReady(http).arrived);
    http.get(server.url(QStringLiteral("/r?2")));
    QVERIFY(waitReady(http).arrived);
    QCOMPARE(server.requestCount(), 2);
    QCOMPARE(server.requests().at(0).header("Range"), QByteArray("bytes=5-"));
    QVERIFY(server.requests().at(1).header("Range").isEmpty());
    QVERIFY(http.range().isEmpty());
}

void TestHttpExt::newRequestFromReadySignals()
{
    // A playlist pointing to another playlist starts a transfer from inside the last one's reports.
    HttpServer server;
    QVERIFY(server.listen());
    server.setResponse(QStringLiteral("/a"), HttpResponse::ok("one"));
    server.setResponse(QStringLiteral("/b"), HttpResponse::ok("two"));
    server.setResponse(QStringLiteral("/c"), HttpResponse::ok("three"));
    QHttpExt http;
    QStringList ready, finished;
    connect(&http, &QHttpExt::sig_Ready, this, [&](const QHttpExt::httpInfo *info) {
        ready << info->text;
        if (ready.size() == 1)
            http.get(server.url(QStringLiteral("/b")));
    });
    connect(&http, &QHttpExt::sig_Finished, this, [&](const QHttpExt::httpInfo *info) {
        finished << info->text;
        if (finished.size() == 2)
            http.get(server.url(QStringLiteral("/c")));
    });
    http.get(server.url(QStringLiteral("/a")));
    QTRY_COMPARE(finished.size(), 3);
    QCOMPARE(ready, (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}));
    QCOMPARE(finished, ready);
}

void TestHttpExt::invalidAddressShowsBox()
{
    QHttpExt http;
    QCOMPARE(http.get(QStringLiteral("http://h/a b?pass=secret"), true), 0);
    QCOMPARE(http.errorText(), QStringLiteral("Invalid URL: http://h/a b?pass=***"));
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(http.get(QStringLiteral("nonsense"), false), 0);
    QCOMPARE(m_messages.size(), 1);
}

void TestHttpExt::trustChangeIsNotBypassedByKeepAlive()
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

void TestHttpExt::redirects_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("follow");
    QTest::newRow("301") << 301 << true;
    QTest::newRow("302") << 302 << true;
    QTest::newRow("303") << 303 << true;
    QTest::newRow("307") << 307 << true;
    QTest::newRow("302 not followed") << 302 << false;
}

void TestHttpExt::redirects()
{
    QFETCH(int, status);
    QFETCH(bool, follow);
    HttpServer server;
    QVERIFY(server.listen());
    server.setResponse(QStringLiteral("/old"), HttpResponse::redirect("/new?x=1", status));
    server.setResponse(QStringLiteral("/new"), HttpResponse::ok("moved here"));
    QHttpExt http;
    http.setFollowRedirects(follow);
    const int oldId = http.get(server.url(QStringLiteral("/old")));
    const Outcome out = waitReady(http);
    QVERIFY(!out.failed);
    QCOMPARE(out.readyCount, 1);
    QCOMPARE(out.finishedCount, 1);
    if (follow) {
        const int newId = BASS::addressHash(server.url(QStringLiteral("/new?x=1")));
        QCOMPARE(out.redirects, (QList<QPair<int, int>>{{oldId, newId}}));
        QCOMPARE(out.id, newId);
        QCOMPARE(out.text, QStringLiteral("moved here"));
        QVERIFY(!http.info(oldId));
    } else {
        QVERIFY(out.redirects.isEmpty());
        QCOMPARE(out.id, oldId);
        QCOMPARE(out.httpStatus, status);
        QCOMPARE(server.requestCount(), 1);
    }
}

void TestHttpExt::failures_data()
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

void TestHttpExt::failures()
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

// --- Downloads ------------------------------------------------------------------------------

void TestHttpExt::download_data()
{
    QTest::addColumn<bool>("oldFile");    // a file is already under the target name
    QTest::addColumn<QString>("failure"); // "", "cut", "404", "redirect", "unfollowed", "no location"
    QTest::newRow("new file") << false << "";
    QTest::newRow("replaces old file") << true << "";
    QTest::newRow("through a redirect") << false << "redirect";
    QTest::newRow("cut short, no old file") << false << "cut";
    QTest::newRow("cut short keeps old file") << true << "cut";
    QTest::newRow("not found keeps old file") << true << "404";
    QTest::newRow("redirect not followed keeps old file") << true << "unfollowed";
    QTest::newRow("redirect not followed, no old file") << false << "unfollowed";
    QTest::newRow("redirect without a location keeps old file") << true << "no location";
}

void TestHttpExt::download()
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
    if (failure == QLatin1String("404"))
        response = HttpResponse::error(404, "<html>not here</html>");
    if (failure == QLatin1String("no location"))
        response = HttpResponse::error(302, "<html>somewhere else</html>");
    server.setResponse(QStringLiteral("/file"), response);
    server.setResponse(QStringLiteral("/moved"), HttpResponse::redirect("/file", 302));

    QHttpExt http;
    http.setFollowRedirects(failure != QLatin1String("unfollowed"));
    const bool viaRedirect = failure == QLatin1String("redirect") || failure == QLatin1String("unfollowed");
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

void TestHttpExt::resume_data()
{
    QTest::addColumn<bool>("honourRange");
    QTest::addColumn<bool>("cut");
    QTest::newRow("server sends the rest") << true << false;
    QTest::newRow("server ignores the range") << false << false;
    QTest::newRow("cut short keeps the partial file") << true << true;
}

void TestHttpExt::resume()
{
    QFETCH(bool, honourRange);
    QFETCH(bool, cut);
    const QByteArray content = pattern(5000);
    const QString target = m_dir.filePath(QStringLiteral("partial.bin"));
    QVERIFY(writeFile(target, content.left(1000)));

    HttpServer server;
    QVERIFY(server.listen());
    server.setHandler([&](const TunoraTest::HttpRequest &request) {
        const QByteArray range = request.header("Range");
        HttpResponse r;
        if (honourRange && range.startsWith("bytes=")) {
            const int from = range.mid(6, range.size() - 7).toInt();
            r = HttpResponse::ok(content.mid(from), "application/octet-stream");
            r.status = 206;
            r.header("Content-Range",
                     "bytes " + QByteArray::number(from) + '-' + QByteArray::number(4999) + "/5000");
        } else {
            r = HttpResponse::ok(content, "application/octet-stream");
        }
        if (cut)
            r.cutAfter = 1500;
        return r;
    });

    QHttpExt http;
    QVERIFY(http.download(server.url(QStringLiteral("/file")), target, true, true) != 0);
    const Outcome out = waitReady(http);
    QCOMPARE(server.lastRequest().header("Range"), QByteArray("bytes=1000-"));
    QVERIFY(m_messages.isEmpty()); // resuming never asks to overwrite
    QCOMPARE(out.failed, cut);
    if (cut)
        QCOMPARE(readFile(target), content.left(2500)); // the partial file grew by what arrived
    else
        QCOMPARE(readFile(target), content);
}

void TestHttpExt::downloadCanceledLeavesNothing()
{
    HttpServer server;
    QVERIFY(server.listen());
    // Three pieces, then silence: progress is reported at most every 100 ms.
    HttpResponse held = HttpResponse::ok(pattern(100000), "application/octet-stream");
    held.chunkSize = 10000;
    held.chunkDelayMs = 150;
    held.cutAfter = 30000;
    held.hold = true;
    server.setResponse(QStringLiteral("/slow"), held);
    const QString target = m_dir.filePath(QStringLiteral("slow.bin"));

    QHttpExt http;
    QList<qint64> progress;
    connect(&http, &QHttpExt::sig_ReadProgress, this, [&](qint64 received, qint64) { progress << received; });
    const int id = http.download(server.url(QStringLiteral("/slow")), target, false, false);
    QVERIFY(id != 0);
    QTRY_VERIFY(!progress.isEmpty() && progress.last() >= 20000);
    http.abort(id);
    const Outcome out = waitReady(http);
    QVERIFY(out.failed);
    QCOMPARE(out.error, QHttpExt::networkErrorText(QNetworkReply::OperationCanceledError));
    QVERIFY(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestHttpExt::shortWriteFailsDownload()
{
    const QString target = m_dir.filePath(QStringLiteral("big.bin"));
    HttpServer server;
    QVERIFY(server.listen());
    HttpResponse big = HttpResponse::ok(pattern(256 * 1024), "application/octet-stream");
    big.chunkSize = 32 * 1024;
    server.setResponse(QStringLiteral("/big"), big);
    QHttpExt http;
    Outcome out;
    {
        // A file-size limit makes the kernel refuse writes past 64 KiB, as a full disk would.
        struct rlimit old;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 64 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const auto restore = qScopeGuard([&] {
            setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
        });
        QVERIFY(http.download(server.url(QStringLiteral("/big")), target, false, false) != 0);
        out = waitReady(http);
    }
    QVERIFY(out.failed);
    QVERIFY2(out.error.startsWith(QLatin1String("Unable to write to file")), qPrintable(out.error));
    QVERIFY(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestHttpExt::downloadMessages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("downloads");
    const QString exists = QStringLiteral("exists.bin");
    QTest::newRow("overwrite cancelled") << exists << int(QMessageBox::Cancel) << u"Download"_s << false;
    QTest::newRow("overwrite confirmed") << exists << int(QMessageBox::Ok) << u"Download"_s << true;
    QTest::newRow("unwritable") << u"no/such/folder/file.bin"_s << int(QMessageBox::Ok) << u"Error"_s
                                << false;
}

void TestHttpExt::downloadMessages()
{
    QFETCH(QString, file);
    QFETCH(int, answer);
    QFETCH(bool, downloads);
    const QString target = m_dir.filePath(file);
    const bool exists = !file.contains(QLatin1Char('/'));
    if (exists)
        QVERIFY(writeFile(target, "keep me"));
    HttpServer server;
    QVERIFY(server.listen());
    server.setResponse(QStringLiteral("/file"), HttpResponse::ok("new content"));
    m_answer = answer;
    QHttpExt http;
    const int id = http.download(server.url(QStringLiteral("/file")), target, false, exists);
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages[0].kind == MessageKind::Question, exists);
    QTEST(m_messages[0].title, "title");
    QCOMPARE(id != 0, downloads);
    if (downloads) {
        QVERIFY(!waitReady(http).failed);
    } else {
        QTest::qWait(50);
        QCOMPARE(server.requestCount(), 0);
    }
    if (exists) {
        QCOMPARE(readFile(target), downloads ? QByteArray("new content") : QByteArray("keep me"));
    } else {
        QVERIFY(m_messages[0].text.startsWith(QLatin1String("Unable to save file.<br><br>")));
        QVERIFY(m_messages[0].text.contains(target));
    }
}

void TestHttpExt::modalRequestWithoutGui()
{
    // Without QApplication a modal request waits in a plain event loop instead of its dialog.
    HttpServer server;
    QVERIFY(server.listenTls(m_ca->serverCertificate(), m_ca->serverKey()));
    server.setResponse(QStringLiteral("/ok"),
                       HttpResponse::ok("<r><code>1</code><message>fine</message></r>"));
    BaseRadioAPI engine;
    QVERIFY(engine.modalRequest(server.url(QStringLiteral("/ok")), BaseRadioAPI::TypeCheckAccount));
    QCOMPARE(engine.lastStatus(), 1);
    QCOMPARE(engine.lastMessage(), QStringLiteral("fine"));
    QVERIFY(!engine.modalRequest(server.url(QStringLiteral("/missing")), BaseRadioAPI::TypeCheckAccount));
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages[0].text,
             plainToHtml(QHttpExt::networkErrorText(QNetworkReply::ContentNotFoundError)));
}

TUNORA_TEST_MAIN_CORE(TestHttpExt)
#include "tst_httpext.moc"
