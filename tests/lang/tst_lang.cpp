// Language files: the scanner's rules and entity order, hostile files, a language name that is no
// file name, and the shipped translations kept complete. (A missing language fetched from the
// directory and shown by the window: the window's language test.)
// Test tables are easier to read with plain string literals.
#undef QT_NO_CAST_FROM_ASCII

#include "apptranslator.h"
#include "clangmanager.h"
#include "languagesetup.h"
#include "testmain.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace {

QString entry(const QString &text, const QString &trans)
{
    return "<string><text>" + text + "</text><trans>" + trans + "</trans></string>";
}

using Table = QHash<QString, QString>;

QString sourceDir()
{
    const QString dir = qEnvironmentVariable("TUNORA_SOURCE_DIR");
    return dir.isEmpty() ? QStringLiteral(TUNORA_SOURCE_DIR_FALLBACK) : dir;
}

} // namespace

class TestLang : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        LanguageSetup::installTranslator();
    }

    void init() { CLangManager::instance().clear(); }

    void parse_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<Table>("table");

        QTest::newRow("ampersand decoded first")
            << entry("a &amp;lt; b", "x &amp;quot;y&amp;quot;") << Table{{"a < b", "x \"y\""}};
        QTest::newRow("entities are case-sensitive")
            << entry("&AMP; &Lt;", "ok") << Table{{"&AMP; &Lt;", "ok"}};
        QTest::newRow("later entry wins")
            << entry("Stop", "Halt") + entry("Stop", "Stopp") << Table{{"Stop", "Stopp"}};
        QTest::newRow("empty string element ends the file")
            << entry("One", "Eins") + "<string></string>" + entry("Two", "Zwei") << Table{{"One", "Eins"}};
        QTest::newRow("truncated entry dropped")
            << entry("One", "Eins") + "<string><text>Two</text><tr" << Table{{"One", "Eins"}};
        QTest::newRow("nested string ends at the first end tag")
            << "<string><string><text>In</text><trans>Drin</trans></string></string>" + entry("C", "D")
            << Table{{"In", "Drin"}, {"C", "D"}};
        QTest::newRow("binary") << QString::fromUtf8(QByteArray("\x00\xff\xfe<string>\x01\x02", 9))
                                << Table{};
    }

    void parse()
    {
        QFETCH(QString, content);
        QFETCH(Table, table);
        QCOMPARE(CLangManager::parse(content), table);
    }

    // A load replaces what was loaded before, except for English, which never touches the table;
    // hostile files leave it empty.
    void load_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("entries"); // -1: the table stays as it was
        const QByteArray two = (entry("Play", "Abspielen") + entry("Stop", "Stopp")).toUtf8();
        QTest::newRow("plain") << "Deutsch" << two << true << 2;
        QTest::newRow("English never touches the table") << "eNgLiSh.XmL" << two << true << -1;
        QTest::newRow("deeply nested")
            << "Deep" << QByteArray("<string>").repeated(200000) + QByteArray("</string>").repeated(3) << true
            << 0;
        QTest::newRow("huge") << "Huge" << two + QByteArray(int(CLangManager::MaxFileBytes), ' ') << false
                              << 0;
    }

    void load()
    {
        QFETCH(QString, language);
        QFETCH(QByteArray, content);
        QFETCH(bool, ok);
        QFETCH(int, entries);
        CLangManager &manager = CLangManager::instance();
        QVERIFY(manager.load(writeFile("Before.xml", entry("Old", "Alt").toUtf8()), "Before"));
        const QString file = writeFile(QString::fromUtf8(QTest::currentDataTag()) + ".xml", content);
        QCOMPARE(manager.load(file, language), ok);
        QCOMPARE(manager.size(), entries < 0 ? 1 : entries);
        QCOMPARE(manager.lastError().isEmpty(), ok);
        if (entries == 2)
            QCOMPARE(QCoreApplication::translate("AnyContext", "Stop"), "Stopp");
        // Whatever the table holds, unknown texts come back as they are.
        QCOMPARE(QCoreApplication::translate("AnyContext", "Not in any file"), "Not in any file");
    }

    // A name that would leave the languages folder is refused before anything is fetched; the
    // table and the disk stay as they were.
    void nameWithPath()
    {
        CLangManager &manager = CLangManager::instance();
        QVERIFY(manager.load(writeFile("Before.xml", entry("Old", "Alt").toUtf8()), "Before"));
        QTemporaryDir folder;
        // "../../" from a/b/ would land in the folder itself.
        QVERIFY(QDir(folder.path()).mkpath("a/b"));
        const QString name = "../../escaped";
        QVERIFY(!manager.load(folder.filePath("a/b/" + name + ".xml"), name));
        QCOMPARE(manager.lastError(), "The language name \"../../escaped\" cannot be used as a file name.");
        QCOMPARE(manager.lookup("Old"), "Alt");
        QCOMPARE(QDir(folder.filePath("a/b")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
        QVERIFY(!QFileInfo::exists(folder.filePath("escaped.xml")));
    }

    void translationsComplete()
    {
        // lupdate over today's sources, on copies of the shipped files: every text must be translated.
        QTemporaryDir work;
        const QStringList codes{"de", "fr", "es"};
        for (const QString &code : codes)
            QVERIFY(QFile::copy(sourceDir() + QString("/translations/tunora_%1.ts").arg(code),
                                work.filePath(QString("tunora_%1.ts").arg(code))));
        QProcess lupdate;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TUNORA_TS_DIR", work.path());
        lupdate.setProcessEnvironment(env);
        lupdate.start(sourceDir() + "/scripts/update-translations", {});
        QVERIFY2(lupdate.waitForFinished(120000), "lupdate did not finish");
        QVERIFY2(lupdate.exitCode() == 0, lupdate.readAllStandardError().constData());

        QStringList missing;
        for (const QString &code : codes) {
            QFile file(work.filePath(QString("tunora_%1.ts").arg(code)));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QXmlStreamReader xml(&file);
            QString context, source;
            int messages = 0;
            while (!xml.atEnd()) {
                xml.readNext();
                if (!xml.isStartElement())
                    continue;
                if (xml.name() == QLatin1String("name")) {
                    context = xml.readElementText();
                } else if (xml.name() == QLatin1String("source")) {
                    source = xml.readElementText();
                    ++messages;
                } else if (xml.name() == QLatin1String("translation")) {
                    const bool unfinished =
                        xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
                    if (unfinished || xml.readElementText().isEmpty())
                        missing << QString("%1 [%2] \"%3\"").arg(code, context, source);
                }
            }
            QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
            QVERIFY2(messages > 100, qPrintable(QString::number(messages)));
        }
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QString("texts without a translation (run scripts/update-translations and "
                                    "translate them):\n") +
                            missing.join(QLatin1Char('\n'))));
    }

private:
    QString writeFile(const QString &name, const QByteArray &content)
    {
        const QString path = m_files.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return QString();
        return path;
    }

    QTemporaryDir m_files;
};

TUNORA_TEST_MAIN(TestLang)
#include "tst_lang.moc"
