// The request engine: the guarded element walk, and requests against scripted HTTP servers.

#include "baseradioapi.h"
#include "httpblocking.h"
#include "httpserver.h"
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

    using BaseRadioAPI::BaseRadioAPI;

protected:
    void errorHandler(const QString &text, BaseRadioXmlRequest *request) override
    {
        errors << text;
        errorKinds << (request ? int(request->kind()) : -1);
    }
    void requestFinishedHook(int id, bool error, BaseRadioXmlRequest *request) override
    {
        finishes.append({id, error, request != nullptr, request ? request->text() : QString()});
    }
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
    void init()
    {
        HttpSettings &s = QHttpExt::settings();
        s = HttpSettings();
        s.userAgent = QStringLiteral("TunoraTest/2.0 (Linux)");
        s.addressMode = 1;
        s.messageHook = [](MessageKind, const QString &, const QString &, QMessageBox::StandardButtons) {
            return int(QMessageBox::Ok);
        };
    }

    void cleanup() { QHttpExt::settings() = HttpSettings(); }

    // --- The walk and its guards ----------------------------------------------------------------

    void walkGuards_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("chunk"); // bytes per addData, 0 for all at once
        QTest::addColumn<BaseRadioXmlParser::WalkResult>("result");
        QTest::addColumn<QString>("error"); // part of the error text

        const QByteArray doc = "<?xml version=\"1.0\"?><r><a x=\"1\">t</a><!-- c --><![CDATA[<x>]]></r>";
        QTest::newRow("well-formed, byte by byte") << doc << 1 << BaseRadioXmlParser::Finished << "";
        QTest::newRow("truncated waits for more")
            << QByteArray("<r><a>t") << 0 << BaseRadioXmlParser::NeedMoreData << "";
        QTest::newRow("not well-formed") << QByteArray("<r><a></r>") << 0 << BaseRadioXmlParser::Failed << "";
        QTest::newRow("64 levels") << nested(64) << 0 << BaseRadioXmlParser::Finished << "";
        QTest::newRow("65 levels") << nested(65) << 0 << BaseRadioXmlParser::Failed << "nested";
        QTest::newRow("256 attributes") << withAttributes(256) << 0 << BaseRadioXmlParser::Finished << "";
        QTest::newRow("257 attributes")
            << withAttributes(257) << 0 << BaseRadioXmlParser::Failed << "attributes";
        QTest::newRow("'>' and '=' inside values")
            << withAttributes(300, "\">=\"") << 7 << BaseRadioXmlParser::Failed << "attributes";
        QTest::newRow("'=' in a quoted value")
            << "<a b=\"" + QByteArray(5000, '=') + "\"/>" << 3 << BaseRadioXmlParser::Finished << "";
        QTest::newRow("'=' in CDATA")
            << "<a><![CDATA[" + QByteArray(5000, '=') + "]]></a>" << 5 << BaseRadioXmlParser::Finished << "";
        QTest::newRow("comment then an attribute flood, byte by byte")
            << "<r><!-- \" -->" + withAttributes(300) + "</r>" << 1 << BaseRadioXmlParser::Failed
            << "attributes";
        QTest::newRow("over 16 MiB") << "<r>" + QByteArray(BaseRadioXmlParser::MaxReplyBytes, 'x') + "</r>"
                                     << (1 << 20) << BaseRadioXmlParser::Failed << "larger";
    }

    void walkGuards()
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

    void utf8AcrossChunks()
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

    // --- Requests against servers ---------------------------------------------------------------

    void sameAddressSameId()
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

    void invalidAddress()
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

    void malformedReplyIsGivenUp_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("reason");
        QTest::newRow("mismatched tags") << QByteArray("<r><station><name>x</station></r>") << "";
        // The reason quotes the reply's markup; the message box shows rich text.
        QTest::newRow("markup in the reason is escaped") << QByteArray("<r><<x/></r>") << "&lt;";
    }

    void malformedReplyIsGivenUp()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, reason);
        HttpServer server;
        QVERIFY(server.listen());
        server.setResponse(QStringLiteral("/"), HttpResponse::ok(body));
        Engine engine;
        QSignalSpy finished(&engine, &BaseRadioAPI::signal_requestFinished);
        BaseRadioXmlRequest *request =
            engine.request(server.url(QStringLiteral("/")), BaseRadioAPI::TypeSearch);
        const int id = request->id();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
        // Listeners of the id hear of the failure; the aborted transfer then ends as id 0.
        QCOMPARE(finished.at(0).at(0).toInt(), id);
        QCOMPARE(finished.at(0).at(1).toBool(), true);
        QCOMPARE(finished.at(1).at(0).toInt(), 0);
        QCOMPARE(engine.errors.size(), 1);
        QVERIFY2(engine.errors[0].startsWith(QLatin1String(
                     "The data returned from the server was not in the correct format.<br><b>")),
                 qPrintable(engine.errors[0]));
        QVERIFY2(engine.errors[0].contains(reason), qPrintable(engine.errors[0]));
        QCOMPARE(engine.lastError(), engine.errors[0]);
        QCOMPARE(request->status(), 2);
        QVERIFY(request->isGivenUp());
        QVERIFY(request->isDone());
        QCOMPARE(request->id(), 0);
        QVERIFY(!engine.busy());
    }

    void stopReportsEndTwice()
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
};

TUNORA_TEST_MAIN(TestBaseRadioAPI)
#include "tst_baseradioapi.moc"
