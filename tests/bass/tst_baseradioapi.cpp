// The request engine: the guarded element walk, the stream readers, and requests against
// scripted HTTP and HTTPS servers.

#include "baseradioapi.h"
#include "httpblocking.h"
#include "httpserver.h"
#include "testca.h"
#include "testmain.h"

#include <QSignalSpy>

using namespace BASS;
using TunoraTest::HttpResponse;
using TunoraTest::HttpServer;

namespace {

// An engine that records what reaches its hooks.
class Engine : public BaseRadioAPI
{
public:
    struct Finish
    {
        int id;
        bool error;
        bool withRequest;
        QString text;
    };
    QStringList errors;
    QList<int> errorKinds; // the kind of the request the handler was given, -1 for none
    QList<Finish> finishes;
    QList<int> started;
    QStringList modalTexts;

    using BaseRadioAPI::BaseRadioAPI;

protected:
    void errorHandler(const QString &text, BaseRadioXmlRequest *request) override
    {
        errors << text;
        errorKinds << (request ? int(request->kind()) : -1);
    }
    void requestStartedHook(int id, BaseRadioXmlRequest *) override { started << id; }
    void requestFinishedHook(int id, bool error, BaseRadioXmlRequest *request) override
    {
        finishes.append({id, error, request != nullptr, request ? request->text() : QString()});
    }
    void modalReplyRead(BaseRadioXmlRequest *request) override { modalTexts << request->text(); }
};

QByteArray nested(int depth)
{
    return QByteArray("<a>").repeated(depth) + QByteArray("</a>").repeated(depth);
}

QByteArray withAttributes(int count, const QByteArray &value = "\"\"")
{
    QByteArray tag = "<a";
    for (int i = 0; i < count; ++i)
        tag += " a" + QByteArray::number(i) + '=' + value;
    return tag + "/>";
}

QStringList sl(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}

} // namespace

Q_DECLARE_METATYPE(BaseRadioXmlParser::WalkResult)

class TestBaseRadioAPI : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void walkGuards_data();
    void walkGuards();
    void utf8AcrossChunks();
    void streamReaders_data();
    void streamReaders();
    void scanStatus_data();
    void scanStatus();

    void requestReadsReply_data();
    void requestReadsReply();
    void sameAddressSameId();
    void invalidAddress();
    void progress_data();
    void progress();
    void errorReplies_data();
    void errorReplies();
    void malformedReplyIsGivenUp_data();
    void malformedReplyIsGivenUp();
    void stopReportsEndTwice();
    void modalRequest_data();
    void modalRequest();
    void modalPostMarker();

private:
    std::unique_ptr<TunoraTest::TestCa> m_ca;
    QStringList m_boxes;
};

void TestBaseRadioAPI::initTestCase()
{
    m_ca = std::make_unique<TunoraTest::TestCa>();
    QVERIFY2(m_ca->isValid(), qPrintable(m_ca->error()));
}

void TestBaseRadioAPI::init()
{
    m_boxes.clear();
    HttpSettings &s = QHttpExt::settings();
    s = HttpSettings();
    s.userAgent = QStringLiteral("TunoraTest/2.0 (Linux)");
    s.addressMode = 1;
    s.extraCaCertificates = {m_ca->caCertificate()};
    s.messageHook = [this](MessageKind, const QString &, const QString &text, QMessageBox::StandardButtons) {
        m_boxes << text;
        return int(QMessageBox::Ok);
    };
}

void TestBaseRadioAPI::cleanup()
{
    QHttpExt::settings() = HttpSettings();
}

// --- The walk and its guards ----------------------------------------------------------------

void TestBaseRadioAPI::walkGuards_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<int>("chunk"); // bytes per addData, 0 for all at once
    QTest::addColumn<BaseRadioXmlParser::WalkResult>("result");
    QTest::addColumn<QString>("error"); // part of the error text

    const QByteArray doc = "<?xml version=\"1.0\"?><r><a x=\"1\">t</a><!-- c --><![CDATA[<x>]]></r>";
    QTest::newRow("well-formed") << doc << 0 << BaseRadioXmlParser::Finished << "";
    QTest::newRow("well-formed, byte by byte") << doc << 1 << BaseRadioXmlParser::Finished << "";
    QTest::newRow("truncated waits for more")
        << QByteArray("<r><a>t") << 0 << BaseRadioXmlParser::NeedMoreData << "";
    QTest::newRow("empty waits for more") << QByteArray() << 0 << BaseRadioXmlParser::NeedMoreData << "";
    QTest::newRow("not well-formed") << QByteArray("<r><a></r>") << 0 << BaseRadioXmlParser::Failed << "";
    QTest::newRow("64 levels") << nested(64) << 0 << BaseRadioXmlParser::Finished << "";
    QTest::newRow("65 levels") << nested(65) << 0 << BaseRadioXmlParser::Failed << "nested";
    QTest::newRow("100000 levels") << nested(100000) << 0 << BaseRadioXmlParser::Failed << "nested";
    QTest::newRow("256 attributes") << withAttributes(256) << 0 << BaseRadioXmlParser::Finished << "";
    QTest::newRow("257 attributes") << withAttributes(257) << 0 << BaseRadioXmlParser::Failed << "attributes";
    QTest::newRow("200000 attributes, byte by byte")
        << withAttributes(200000) << 4096 << BaseRadioXmlParser::Failed << "attributes";
    QTest::newRow("'>' and '=' inside values")
        << withAttributes(300, "\">=\"") << 7 << BaseRadioXmlParser::Failed << "attributes";
    QTest::newRow("'=' in a quoted value")
        << "<a b=\"" + QByteArray(5000, '=') + "\"/>" << 3 << BaseRadioXmlParser::Finished << "";
    QTest::newRow("'=' in a comment")
        << "<a><!--" + QByteArray(5000, '=') + "--></a>" << 2 << BaseRadioXmlParser::Finished << "";
    QTest::newRow("'=' in CDATA") << "<a><![CDATA[" + QByteArray(5000, '=') + "]]></a>" << 5
                                  << BaseRadioXmlParser::Finished << "";
    QTest::newRow("'=' in an instruction")
        << "<?pi " + QByteArray(5000, '=') + "?><a/>" << 1 << BaseRadioXmlParser::Finished << "";
    QTest::newRow("comment then an attribute flood, byte by byte")
        << "<r><!-- \" -->" + withAttributes(300) + "</r>" << 1 << BaseRadioXmlParser::Failed << "attributes";
    QTest::newRow("over 16 MiB") << "<r>" + QByteArray(BaseRadioXmlParser::MaxReplyBytes, 'x') + "</r>"
                                 << (1 << 20) << BaseRadioXmlParser::Failed << "larger";
}

void TestBaseRadioAPI::walkGuards()
{
    QFETCH(QByteArray, document);
    QFETCH(int, chunk);
    QFETCH(BaseRadioXmlParser::WalkResult, result);
    QFETCH(QString, error);

    BaseRadioXmlParser parser;
    int tokens = 0;
    auto visit = [&](const BaseRadioXmlParser &) { ++tokens; };
    BaseRadioXmlParser::WalkResult got = BaseRadioXmlParser::NeedMoreData;
    const qsizetype step = chunk > 0 ? chunk : qMax<qsizetype>(1, document.size());
    for (qsizetype at = 0; at < document.size() && got == BaseRadioXmlParser::NeedMoreData; at += step) {
        if (!parser.addData(QByteArrayView(document).sliced(at, qMin(step, document.size() - at)))) {
            got = BaseRadioXmlParser::Failed;
            break;
        }
        got = parser.walk(visit);
    }
    if (document.isEmpty())
        got = parser.walk(visit);
    QCOMPARE(got, result);
    QCOMPARE(parser.failed(), result == BaseRadioXmlParser::Failed);
    if (!error.isEmpty())
        QVERIFY2(parser.errorString().contains(error), qPrintable(parser.errorString()));
    if (result == BaseRadioXmlParser::Finished)
        QVERIFY(tokens > 0);
}

void TestBaseRadioAPI::utf8AcrossChunks()
{
    const QByteArray doc = QString::fromUtf8("<n>Grüße 😀</n>").toUtf8();
    BaseRadioXmlParser parser;
    QString text;
    for (char c : doc) {
        QVERIFY(parser.addData(QByteArrayView(&c, 1)));
        parser.walk([&](const BaseRadioXmlParser &p) {
            if (p.tokenType() == QXmlStreamReader::EndElement)
                text = p.elementText();
        });
    }
    parser.endOfData();
    QCOMPARE(text, QString::fromUtf8("Grüße 😀"));
    QCOMPARE(parser.text(), QString::fromUtf8(doc));
}

void TestBaseRadioAPI::streamReaders_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("status") << "status"
                            << QByteArray("<r><code>2</code><message>Wrong &amp;lt;password&gt;</message>"
                                          "<link>https://x/y?a=1&amp;b=2</link></r>")
                            << sl({"2", "Wrong <password>", "https://x/y?a=1&b=2"});
    QTest::newRow("ok is a message") << "status" << QByteArray("<r><code> 1 </code><ok>Signed in</ok></r>")
                                     << sl({"1", "Signed in", ""});
    QTest::newRow("negative code") << "status" << QByteArray("<r><code>-1</code><message>m</message></r>")
                                   << sl({"-1", "m", ""});
    QTest::newRow("code not a number")
        << "status" << QByteArray("<r><code>two</code></r>") << sl({"0", "", ""});
    QTest::newRow("languages") << "languages"
                               << QByteArray("<r><languages><en>English</en><de>Deutsch</de><fr></fr>"
                                             "<x><y>deeper</y></x></languages><es>outside</es></r>")
                               << sl({"en=English", "de=Deutsch"});
    QTest::newRow("language names with entities")
        << "languages" << QByteArray("<languages><pt>Portugu\xc3\xaas &amp; more</pt></languages>")
        << QStringList{QString::fromUtf8("pt=Português & more")};
    QTest::newRow("version") << "version"
                             << QByteArray("<r><name>outside</name><software><name>TunoraDE</name>"
                                           "<version>1.03</version><comment>Fixes. More.</comment>"
                                           "<comment_version>1.03 beta</comment_version>"
                                           "<file_location>https://h/setup.exe</file_location>"
                                           "<file_size>123456</file_size><file_mime>application/x</file_mime>"
                                           "<extra>ignored</extra></software></r>")
                             << sl({"TunoraDE", "1.03", "Fixes. More.", "1.03 beta", "https://h/setup.exe",
                                    "123456", "application/x"});
}

void TestBaseRadioAPI::streamReaders()
{
    QFETCH(QString, reader);
    QFETCH(QByteArray, document);
    QFETCH(QStringList, expected);

    BaseRadioXmlParser parser;
    StatusReply status;
    QList<Language> languages;
    SoftwareVersion version;
    QVERIFY(parser.addData(document));
    parser.endOfData();
    parser.walk([&](const BaseRadioXmlParser &p) {
        if (reader == QLatin1String("status"))
            StreamReaders::readStatus(p, status);
        else if (reader == QLatin1String("languages"))
            StreamReaders::readLanguage(p, languages);
        else
            StreamReaders::readVersion(p, version);
    });
    QStringList got;
    if (reader == QLatin1String("status")) {
        got << QString::number(status.status) << status.message << status.link;
    } else if (reader == QLatin1String("languages")) {
        for (const Language &l : languages)
            got << l.code + QLatin1Char('=') + l.name;
    } else {
        got << version.name << version.version << version.comment << version.comment_version
            << version.file_location << version.file_size << version.file_mime;
    }
    QCOMPARE(got, expected);
}

void TestBaseRadioAPI::scanStatus_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("code and message")
        << "<r><code>2</code><message>No such user</message></r>" << 2 << "No such user";
    QTest::newRow("upper-case tags") << "<R><CODE>3</CODE><Message>x</Message></R>" << 3 << "x";
    QTest::newRow("status error") << "<r><status>error</status><message>m</message></r>" << 1 << "m";
    QTest::newRow("status ok") << "<r><status>ok</status></r>" << 0 << "";
    QTest::newRow("status Error is not error") << "<r><status>Error</status></r>" << 0 << "";
    QTest::newRow("code wins over status") << "<r><status>error</status><code>0</code></r>" << 0 << "";
    QTest::newRow("code not a number") << "<r><code>DE</code></r>" << 0 << "";
    QTest::newRow("message decoded") << "<r><message>a &amp;lt; b</message></r>" << 0 << "a < b";
    QTest::newRow("nothing") << "" << 0 << "";
}

void TestBaseRadioAPI::scanStatus()
{
    QFETCH(QString, text);
    QFETCH(int, status);
    QFETCH(QString, message);
    StatusReply reply;
    BASS::scanStatus(text, reply);
    QCOMPARE(reply.status, status);
    QCOMPARE(reply.message, message);
}

// --- Requests against servers ---------------------------------------------------------------

void TestBaseRadioAPI::requestReadsReply_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<int>("chunk");
    QTest::newRow("http, one piece") << false << 0;
    QTest::newRow("https, small pieces") << true << 7;
}

void TestBaseRadioAPI::requestReadsReply()
{
    QFETCH(bool, tls);
    QFETCH(int, chunk);
    HttpServer server;
    QVERIFY(tls ? server.listenTls(m_ca->serverCertificate(), m_ca->serverKey()) : server.listen());
    HttpResponse reply =
        HttpResponse::ok("<r><code>1</code><message>Welcome &amp; hello</message><link>l</link></r>");
    reply.chunkSize = chunk;
    server.setResponse(QStringLiteral("/"), reply);

    Engine engine;
    QSignalSpy started(&engine, &BaseRadioAPI::signal_requestStarted);
    QSignalSpy finished(&engine, &BaseRadioAPI::signal_requestFinished);
    const QString address = server.url(QStringLiteral("/?key=k&user=u&pass=p%20w"));
    BaseRadioXmlRequest *request = engine.request(address, BaseRadioAPI::TypeCheckAccount);
    QVERIFY(request);
    const int id = request->id();
    QCOMPARE(id, addressHash(address));
    QCOMPARE(started.size(), 1);
    QCOMPARE(started.at(0).at(0).toInt(), id);
    QVERIFY(engine.busy());
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toInt(), id);
    QCOMPARE(finished.at(0).at(1).toBool(), false);
    QVERIFY(!engine.busy());
    QCOMPARE(request->status(), 1);
    QCOMPARE(request->message(), QStringLiteral("Welcome & hello"));
    QCOMPARE(engine.lastStatus(), 1);
    QCOMPARE(engine.lastLink(), QStringLiteral("l"));
    QVERIFY(engine.errors.isEmpty());
    QCOMPARE(engine.finishes.size(), 1);
    QVERIFY(engine.finishes[0].withRequest);
    QCOMPARE(server.lastRequest().header("User-Agent"), QByteArray("TunoraTest/2.0 (Linux)"));
    QCOMPARE(server.lastRequest().query().queryItemValue(QStringLiteral("pass")), QStringLiteral("p w"));
}

void TestBaseRadioAPI::sameAddressSameId()
{
    HttpServer server;
    QVERIFY(server.listen());
    int served = 0;
    server.setHandler([&](const TunoraTest::HttpRequest &) {
        ++served;
        return HttpResponse::ok("<r><message>reply " + QByteArray::number(served) + "</message></r>");
    });
    Engine engine;
    QSignalSpy finished(&engine, &BaseRadioAPI::signal_requestFinished);
    const QString address = server.url(QStringLiteral("/?same"));
    BaseRadioXmlRequest *first = engine.request(address, BaseRadioAPI::TypeRaw);
    BaseRadioXmlRequest *second = engine.request(address, BaseRadioAPI::TypeRaw);
    QVERIFY(first && second && first != second);
    QCOMPARE(first->id(), second->id());
    QCOMPARE(engine.findRequest(first->id()), second);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
    QCOMPARE(finished.at(0).at(0).toInt(), second->id());
    QCOMPARE(finished.at(1).at(0).toInt(), second->id());
    // Each finish reads its own reply, not the other one's.
    QStringList texts;
    for (const auto &f : engine.finishes)
        texts << f.text;
    texts.sort();
    QCOMPARE(texts, (sl({"<r><message>reply 1</message></r>", "<r><message>reply 2</message></r>"})));
}

void TestBaseRadioAPI::invalidAddress()
{
    Engine engine;
    QSignalSpy started(&engine, &BaseRadioAPI::signal_requestStarted);
    QVERIFY(!engine.request(QStringLiteral("https://h/a b"), BaseRadioAPI::TypeRaw));
    QVERIFY(!engine.request(QStringLiteral("file:///etc/passwd"), BaseRadioAPI::TypeCustom, 2));
    QCOMPARE(engine.errors, (sl({"Invalid URL specified", "Invalid URL specified"})));
    // The handler is told which request failed, so that it can keep a quiet one quiet.
    QCOMPARE(engine.errorKinds, (QList<int>{0, 2}));
    QCOMPARE(engine.send(QString(), BaseRadioAPI::TypeRaw), 0);
    QCOMPARE(engine.errors.size(), 2);
    QCOMPARE(started.size(), 0);
}

void TestBaseRadioAPI::progress_data()
{
    QTest::addColumn<bool>("knownLength");
    QTest::newRow("known total") << true;
    QTest::newRow("unknown total") << false;
}

void TestBaseRadioAPI::progress()
{
    QFETCH(bool, knownLength);
    HttpServer server;
    QVERIFY(server.listen());
    HttpResponse reply = HttpResponse::ok("<r>" + QByteArray(300000, 'x') + "</r>");
    reply.contentLength = knownLength;
    reply.chunkSize = 60000;
    reply.chunkDelayMs = 120;
    server.setResponse(QStringLiteral("/big"), reply);
    Engine engine;
    QSignalSpy progress(&engine, &BaseRadioAPI::signal_networkProgress);
    QSignalSpy finished(&engine, &BaseRadioAPI::signal_requestFinished);
    QVERIFY(engine.request(server.url(QStringLiteral("/big")), BaseRadioAPI::TypeRaw));
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(1).toBool(), false);
    if (!knownLength) {
        QCOMPARE(progress.size(), 0);
        return;
    }
    QVERIFY(!progress.isEmpty());
    const auto last = progress.last();
    QCOMPARE(last.at(0).toLongLong(), qint64(300007));
    QCOMPARE(last.at(1).toLongLong(), qint64(300007));
    QCOMPARE(last.at(2).toInt(), 100);
    for (const auto &p : progress)
        QCOMPARE(p.at(2).toInt(), int(p.at(0).toLongLong() * 100 / p.at(1).toLongLong()));
}

void TestBaseRadioAPI::errorReplies_data()
{
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("transferError");
    QTest::addColumn<QString>("reported");
    QTest::newRow("status 2 reply")
        << 200
        << QByteArray("<r><code>2</code><message>Member <b> exists</message></r>").replace("<b>", "&lt;b&gt;")
        << false << "Member &lt;b&gt; exists";
    QTest::newRow("status 2 behind an HTTP error")
        << 403 << QByteArray("<r><code>2</code><message>Denied</message></r>") << true << "Denied";
    QTest::newRow("HTML error page") << 404 << QByteArray("<html><body>Not found<br></body></html>") << true
                                     << QHttpExt::networkErrorText(QNetworkReply::ContentNotFoundError);
    QTest::newRow("cut short") << -1 << QByteArray("<r><station>1</station><station>2</station></r>") << true
                               << QHttpExt::networkErrorText(QNetworkReply::RemoteHostClosedError);
}

void TestBaseRadioAPI::errorReplies()
{
    QFETCH(int, httpStatus);
    QFETCH(QByteArray, body);
    QFETCH(bool, transferError);
    QFETCH(QString, reported);
    HttpServer server;
    QVERIFY(server.listen());
    HttpResponse reply = HttpResponse::ok(body);
    if (httpStatus > 0)
        reply.status = httpStatus;
    else
        reply.cutAfter = 20;
    reply.chunkSize = 9;
    server.setResponse(QStringLiteral("/"), reply);
    Engine engine;
    QSignalSpy finished(&engine, &BaseRadioAPI::signal_requestFinished);
    BaseRadioXmlRequest *request =
        engine.request(server.url(QStringLiteral("/")), BaseRadioAPI::TypeAccountAction);
    QVERIFY(request);
    const int id = request->id();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), id);
    QCOMPARE(finished.at(0).at(1).toBool(), transferError);
    // Reported once, whatever the number of pieces the reply came in.
    QCOMPARE(engine.errors, QStringList{reported});
    QVERIFY(!request->isGivenUp());
}

void TestBaseRadioAPI::malformedReplyIsGivenUp_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("reason");
    QTest::newRow("mismatched tags") << QByteArray("<r><station><name>x</station></r>") << "";
    QTest::newRow("over 16 MiB") << "<r>" + QByteArray(BaseRadioXmlParser::MaxReplyBytes + 10, 'x') + "</r>"
                                 << "larger";
}

void TestBaseRadioAPI::malformedReplyIsGivenUp()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, reason);
    HttpServer server;
    QVERIFY(server.listen());
    HttpResponse reply = HttpResponse::ok(body);
    reply.chunkSize = 1 << 20;
    server.setResponse(QStringLiteral("/"), reply);
    Engine engine;
    QSignalSpy finished(&engine, &BaseRadioAPI::signal_requestFinished);
    BaseRadioXmlRequest *request = engine.request(server.url(QStringLiteral("/")), BaseRadioAPI::TypeSearch);
    const int id = request->id();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 20000);
    // Listeners of the id hear of the failure; the aborted transfer then ends as id 0.
    QCOMPARE(finished.at(0).at(0).toInt(), id);
    QCOMPARE(finished.at(0).at(1).toBool(), true);
    QCOMPARE(finished.at(1).at(0).toInt(), 0);
    QCOMPARE(engine.errors.size(), 1);
    QVERIFY2(engine.errors[0].startsWith(
                 QLatin1String("The data returned from the server was not in the correct format.<br><b>")),
             qPrintable(engine.errors[0]));
    QVERIFY2(engine.errors[0].contains(reason), qPrintable(engine.errors[0]));
    QCOMPARE(engine.lastError(), engine.errors[0]);
    QCOMPARE(request->status(), 2);
    QVERIFY(request->isGivenUp());
    QVERIFY(request->isDone());
    QCOMPARE(request->id(), 0);
    QVERIFY(!engine.busy());
}

void TestBaseRadioAPI::stopReportsEndTwice()
{
    HttpServer server;
    QVERIFY(server.listen());
    HttpResponse held = HttpResponse::ok("<r><station>one</station><station>two</station></r>");
    held.cutAfter = 30;
    held.hold = true;
    server.setResponse(QStringLiteral("/held"), held);
    Engine engine;
    QList<QPair<int, bool>> ends;
    connect(&engine, &BaseRadioAPI::signal_requestFinished, this, [&](int id, bool error) {
        ends.append({id, error});
    });
    BaseRadioXmlRequest *request =
        engine.request(server.url(QStringLiteral("/held")), BaseRadioAPI::TypeSearch);
    const int id = request->id();
    QTRY_VERIFY(!request->text().isEmpty());
    engine.stop(id);
    QCOMPARE(ends, (QList<QPair<int, bool>>{{id, false}}));
    QVERIFY(request->isCanceled());
    QCOMPARE(request->id(), 0);
    QVERIFY(!engine.busy());
    QTRY_COMPARE(ends.size(), 2);
    QCOMPARE(ends[1].first, 0);
    QCOMPARE(ends[1].second, true);
    QVERIFY(engine.errors.isEmpty());
    // Stopping again, or stopping an unknown id, changes nothing.
    engine.stop(id);
    engine.stopAll();
    QTest::qWait(50);
    QCOMPARE(ends.size(), 2);
}

void TestBaseRadioAPI::modalRequest_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("boxes");
    QTest::addColumn<int>("errors");
    QTest::newRow("status reply") << "/ok" << true << 1 << 0 << 0;
    QTest::newRow("error reply is read, not reported") << "/refused" << true << 2 << 0 << 0;
    QTest::newRow("not found") << "/missing" << false << 0 << 1 << 0;
    QTest::newRow("malformed") << "/bad" << false << 2 << 0 << 1;
}

void TestBaseRadioAPI::modalRequest()
{
    QFETCH(QString, path);
    QFETCH(bool, ok);
    QFETCH(int, status);
    QFETCH(int, boxes);
    QFETCH(int, errors);
    HttpServer server;
    QVERIFY(server.listenTls(m_ca->serverCertificate(), m_ca->serverKey()));
    server.setResponse(QStringLiteral("/ok"),
                       HttpResponse::ok("<r><code>1</code><message>fine</message></r>"));
    server.setResponse(QStringLiteral("/refused"),
                       HttpResponse::ok("<r><code>2</code><message>no</message></r>"));
    server.setResponse(QStringLiteral("/bad"), HttpResponse::ok("<r><code>1</code></x>"));
    Engine engine;
    QSignalSpy started(&engine, &BaseRadioAPI::signal_requestStarted);
    QSignalSpy finished(&engine, &BaseRadioAPI::signal_requestFinished);
    engine.setStatusText(QStringLiteral("Checking..."));
    QCOMPARE(engine.modalRequest(server.url(path), BaseRadioAPI::TypeCheckAccount), ok);
    QCOMPARE(engine.modalState().status(), status);
    QCOMPARE(engine.modalId(), 0);
    QVERIFY(engine.statusText().isEmpty());
    QCOMPARE(m_boxes.size(), boxes);
    QCOMPARE(engine.errors.size(), errors);
    QCOMPARE(engine.modalTexts.size(), ok ? 1 : 0);
    if (ok)
        QCOMPARE(engine.lastStatus(), status);
    // Modal requests announce neither start nor end.
    QCOMPARE(started.size(), 0);
    QCOMPARE(finished.size(), 0);
}

void TestBaseRadioAPI::modalPostMarker()
{
    // An address that carries the process-wide post marker is sent as a form.
    HttpServer server;
    QVERIFY(server.listen());
    server.setResponse(QStringLiteral("/form"), HttpResponse::ok("<r><code>1</code></r>"));
    QHttpExt::settings().postMarker = QStringLiteral("&post=1");
    Engine engine;
    QVERIFY(engine.modalRequest(server.url(QStringLiteral("/form?a=%C3%A9&post=1")),
                                BaseRadioAPI::TypeCheckAccount));
    QCOMPARE(server.lastRequest().method, QByteArray("POST"));
    QCOMPARE(server.lastRequest().path(), QStringLiteral("/form"));
    QCOMPARE(server.lastRequest().body, QByteArray("a=%C3%A9&post=1"));
    QVERIFY(engine.modalRequest(server.url(QStringLiteral("/form?a=1")), BaseRadioAPI::TypeCheckAccount));
    QCOMPARE(server.lastRequest().method, QByteArray("GET"));
    QCOMPARE(engine.lastStatus(), 1);
}

TUNORA_TEST_MAIN(TestBaseRadioAPI)
#include "tst_baseradioapi.moc"
