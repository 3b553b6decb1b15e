// Language files: the scanner's rules and entity order, hostile files and names, the download of
// a missing file from the directory, the shipped translations (complete, and shown by the
// widgets once loaded) and the first-run language dialog.
#include "appsettings.h"
#include "apptranslator.h"
#include "clangmanager.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "languagedlg.h"
#include "languagesetup.h"
#include "logindlg.h"
#include "settingspanel.h"
#include "testmain.h"
#include "tunoraapi.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QXmlStreamReader>

using TunoraTest::DirectoryService;

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QString entry(const QString &text, const QString &trans)
{
    return u("<string><text>") + text + u("</text><trans>") + trans + u("</trans></string>");
}

using Table = QMap<QString, QString>;

Table sorted(const QHash<QString, QString> &table)
{
    Table out;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        out.insert(it.key(), it.value());
    return out;
}

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
    void initTestCase();
    void init();
    void cleanupTestCase();

    void parse_data();
    void parse();
    void load_data();
    void load();
    void safeNames_data();
    void safeNames();
    void download_data();
    void download();
    void translationsComplete();
    void shippedLanguages_data();
    void shippedLanguages();
    void languageDialog();
    void languagePerAccount();

private:
    QString writeFile(const QString &name, const QByteArray &content);

    DirectoryService m_service;
    QTemporaryDir m_files;
    QStringList m_boxes;
};

void TestLang::initTestCase()
{
    QVERIFY(m_files.isValid());
    DirectoryService::Options options;
    options.importCatalogue = false;
    QVERIFY2(m_service.start(options), qPrintable(m_service.errorString()));
    const QString folder = TunoraTest::IsolatedHome::path() + u("/app");
    QVERIFY(QDir().mkpath(folder));
    AppSettings::setApplicationFolderOverride(folder);
    AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, m_service.root().toString());
    AppSettings::instance().setCaFile(m_service.caFile());
    TunoraAPI::configureHttp();
    BASS::QHttpExt::settings().messageHook = [this](BASS::MessageKind, const QString &, const QString &text,
                                                    QMessageBox::StandardButtons) {
        m_boxes << text;
        return int(QMessageBox::No);
    };
    LanguageSetup::installTranslator();
}

void TestLang::cleanupTestCase()
{
    CLangManager::instance().clear();
    BASS::QHttpExt::settings().messageHook = nullptr;
    QVERIFY2(m_service.stop(), qPrintable(m_service.errorString()));
}

void TestLang::init()
{
    CLangManager::instance().clear();
    m_boxes.clear();
}

QString TestLang::writeFile(const QString &name, const QByteArray &content)
{
    const QString path = m_files.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        return QString();
    return path;
}

// ---------------------------------------------------------------------------------------------
// The file format

void TestLang::parse_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<Table>("table");

    QTest::newRow("root element ignored")
        << u("<?xml version=\"1.0\"?><language>") + entry(u("Play"), u("Abspielen")) + u("</language>")
        << Table{{u("Play"), u("Abspielen")}};
    QTest::newRow("ampersand decoded first")
        << entry(u("a &amp;lt; b"), u("x &amp;quot;y&amp;quot;")) << Table{{u("a < b"), u("x \"y\"")}};
    QTest::newRow("every entity") << entry(u("&quot;&lt;&gt;&nbsp;&apos;"), u("ok"))
                                  << Table{{u("\"<> '"), u("ok")}};
    QTest::newRow("entities are case-sensitive")
        << entry(u("&AMP; &Lt;"), u("ok")) << Table{{u("&AMP; &Lt;"), u("ok")}};
    QTest::newRow("later entry wins")
        << entry(u("Stop"), u("Halt")) + entry(u("Stop"), u("Stopp")) << Table{{u("Stop"), u("Stopp")}};
    QTest::newRow("empty string element ends the file")
        << entry(u("One"), u("Eins")) + u("<string></string>") + entry(u("Two"), u("Zwei"))
        << Table{{u("One"), u("Eins")}};
    QTest::newRow("empty side skipped")
        << entry(u("One"), QString()) + entry(QString(), u("Zwei")) + entry(u("Three"), u("Drei"))
        << Table{{u("Three"), u("Drei")}};
    QTest::newRow("start tag with attributes is no element")
        << u("<string id=\"1\"><text>A</text><trans>B</trans></string>") + entry(u("C"), u("D"))
        << Table{{u("C"), u("D")}};
    QTest::newRow("truncated entry dropped")
        << entry(u("One"), u("Eins")) + u("<string><text>Two</text><tr") << Table{{u("One"), u("Eins")}};
    QTest::newRow("nested string ends at the first end tag")
        << u("<string><string><text>In</text><trans>Drin</trans></string></string>") + entry(u("C"), u("D"))
        << Table{{u("In"), u("Drin")}, {u("C"), u("D")}};
    QTest::newRow("binary") << QString::fromUtf8(QByteArray("\x00\xff\xfe<string>\x01\x02", 9)) << Table{};
}

void TestLang::parse()
{
    QFETCH(QString, content);
    QFETCH(Table, table);
    QCOMPARE(sorted(CLangManager::parse(content)), table);
}

void TestLang::load_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("pathGiven"); // the path handed to load
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("entries"); // -1: the table stays as it was

    const QByteArray two = (entry(u("Play"), u("Abspielen")) + entry(u("Stop"), u("Stopp"))).toUtf8();
    QTest::newRow("plain") << u("Deutsch.xml") << u("Deutsch.xml") << u("Deutsch") << two << true << 2;
    QTest::newRow("name completed with .xml")
        << u("Deutsch.xml") << u("Deutsch") << u("Deutsch") << two << true << 2;
    QTest::newRow("English never touches the table")
        << u("English.xml") << u("English.xml") << u("eNgLiSh.XmL") << two << true << -1;
    QTest::newRow("truncated") << u("Cut.xml") << u("Cut.xml") << u("Cut") << two.left(two.size() - 12)
                               << true << 1;
    QTest::newRow("binary") << u("Bin.xml") << u("Bin.xml") << u("Bin") << QByteArray(5000, '\xff') << true
                            << 0;
    QTest::newRow("deeply nested") << u("Deep.xml") << u("Deep.xml") << u("Deep")
                                   << QByteArray("<string>").repeated(200000) +
                                          QByteArray("</string>").repeated(3)
                                   << true << 0;
    QByteArray huge = two;
    huge += QByteArray(int(CLangManager::MaxFileBytes), ' ');
    QTest::newRow("huge") << u("Huge.xml") << u("Huge.xml") << u("Huge") << huge << false << 0;
}

void TestLang::load()
{
    QFETCH(QString, fileName);
    QFETCH(QString, pathGiven);
    QFETCH(QString, language);
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    QFETCH(int, entries);
    CLangManager &manager = CLangManager::instance();
    // Something loaded before, to see whether a load replaces it.
    QVERIFY(manager.load(writeFile(u("Before.xml"), entry(u("Old"), u("Alt")).toUtf8()), u("Before")));
    QCOMPARE(manager.size(), 1);
    QVERIFY(!writeFile(fileName, content).isEmpty());

    QCOMPARE(manager.load(m_files.filePath(pathGiven), language), ok);
    QCOMPARE(manager.size(), entries < 0 ? 1 : entries);
    QCOMPARE(manager.lastError().isEmpty(), ok);
    if (entries == 2) {
        QCOMPARE(manager.lookup(u("Play")), u("Abspielen"));
        QCOMPARE(manager.translate("Stop", nullptr, 0), u("Stopp"));
        QCOMPARE(QCoreApplication::translate("AnyContext", "Stop"), u("Stopp"));
    }
    // Whatever the table holds, unknown texts come back as they are.
    QCOMPARE(manager.lookup(u("Not in any file")), u("Not in any file"));
    QCOMPARE(QCoreApplication::translate("AnyContext", "Not in any file"), u("Not in any file"));
}

void TestLang::safeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << u("Deutsch") << true;
    QTest::newRow("letters beyond ASCII") << u("Français") << true;
    QTest::newRow("with extension, blank, dash") << u("Brazilian Portuguese-2.xml") << true;
    QTest::newRow("parent folder") << u("../Deutsch") << false;
    QTest::newRow("slash") << u("a/b") << false;
    QTest::newRow("backslash") << u("a\\b") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("control character") << u("Deutsch\n") << false;
    QTest::newRow("too long") << QString(200, QLatin1Char('a')) << false;
}

void TestLang::safeNames()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(CLangManager::isSafeFileName(name), safe);
    QString error;
    const QString path = CLangManager::languageFilePath(m_files.path(), name, &error);
    QCOMPARE(path.isEmpty(), !safe);
    QCOMPARE(error.isEmpty(), safe);
}

// ---------------------------------------------------------------------------------------------
// Downloads

void TestLang::download_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error");
    QTest::newRow("offered") << u("Deutsch") << QString();
    QTest::newRow("not offered") << u("Klingon")
                                 << u("The language file could not be downloaded.\nLanguage not found");
    QTest::newRow("path in the name")
        << u("../../escaped") << u("The language name \"../../escaped\" cannot be used as a file name.");
}

void TestLang::download()
{
    QFETCH(QString, name);
    QFETCH(QString, error);
    CLangManager &manager = CLangManager::instance();
    QVERIFY(manager.load(writeFile(u("Before.xml"), entry(u("Old"), u("Alt")).toUtf8()), u("Before")));
    QTemporaryDir folder;
    // "../../" from a/b/ would land in the folder itself.
    QVERIFY(QDir(folder.path()).mkpath(u("a/b")));
    const QString path = folder.filePath(u("a/b/") + name + u(".xml"));
    QCOMPARE(manager.load(path, name), error.isEmpty());
    QCOMPARE(manager.lastError(), error);
    if (!error.isEmpty()) {
        // A failed download leaves the table and the disk as they were.
        QCOMPARE(manager.lookup(u("Old")), u("Alt"));
        QCOMPARE(QDir(folder.filePath(u("a/b"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
        QVERIFY(!QFileInfo::exists(folder.filePath(u("escaped.xml"))));
        return;
    }
    QCOMPARE(manager.lookup(u("Sign in")), u("Anmelden"));
    // Fetched once: the next load reads the file on disk.
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(entry(u("Sign in"), u("Local")).toUtf8()) > 0);
    f.close();
    QVERIFY(manager.load(path, name));
    QCOMPARE(manager.lookup(u("Sign in")), u("Local"));
}

// ---------------------------------------------------------------------------------------------
// Shipped translations

void TestLang::translationsComplete()
{
    // lupdate over today's sources, on copies of the shipped files: every text must be translated.
    QTemporaryDir work;
    const QStringList codes{u("de"), u("fr"), u("es")};
    for (const QString &code : codes)
        QVERIFY(QFile::copy(sourceDir() + u("/translations/tunora_%1.ts").arg(code),
                            work.filePath(u("tunora_%1.ts").arg(code))));
    QProcess lupdate;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u("TUNORA_TS_DIR"), work.path());
    lupdate.setProcessEnvironment(env);
    lupdate.start(sourceDir() + u("/scripts/update-translations"), {});
    QVERIFY2(lupdate.waitForFinished(120000), "lupdate did not finish");
    QVERIFY2(lupdate.exitCode() == 0, lupdate.readAllStandardError().constData());

    QStringList missing;
    for (const QString &code : codes) {
        QFile file(work.filePath(u("tunora_%1.ts").arg(code)));
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
                    missing << u("%1 [%2] \"%3\"").arg(code, context, source);
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QVERIFY2(messages > 100, qPrintable(QString::number(messages)));
    }
    QVERIFY2(missing.isEmpty(),
             qPrintable(u("texts without a translation (run scripts/update-translations and "
                          "translate them):\n") +
                        missing.join(QLatin1Char('\n'))));
}

void TestLang::shippedLanguages_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("expected"); // sign-in title, sign-in button, forgot link, unlimited, next
    QTest::newRow("German") << u("de") << u("Deutsch")
                            << QStringList{u("Anmelden"), u("Anmelden"), u("Passwort vergessen?"),
                                           u("Unbegrenzt"), u("Weiter >>")};
    QTest::newRow("French") << u("fr") << u("Français")
                            << QStringList{u("Se connecter"), u("Se connecter"), u("Mot de passe oublié ?"),
                                           u("Illimité"), u("Suivant >>")};
    QTest::newRow("Spanish") << u("es") << u("Español")
                             << QStringList{u("Iniciar sesión"), u("Iniciar sesión"),
                                            u("¿Olvidaste tu contraseña?"), u("Sin límite"),
                                            u("Siguiente >>")};
}

void TestLang::shippedLanguages()
{
    QFETCH(QString, code);
    QFETCH(QString, name);
    QFETCH(QStringList, expected);
    // The file the directory serves (made from the .ts at build time), fetched and loaded as the
    // program does it.
    const BASS::Language language{code, name};
    QFile::remove(LanguageSetup::filePath(language));
    QVERIFY2(LanguageSetup::apply(language), qPrintable(LanguageSetup::error()));
    QVERIFY(QFile::exists(LanguageSetup::filePath(language)));
    QVERIFY2(CLangManager::instance().size() > 150,
             qPrintable(QString::number(CLangManager::instance().size())));

    LoginDlg login;
    QCOMPARE(login.windowTitle(), expected.at(0));
    QCOMPARE(login.findChild<QPushButton *>(u("btSignIn"))->text(), expected.at(1));
    QVERIFY(
        login.findChild<QLabel *>(u("lblForgotPassword"))->text().contains(expected.at(2).toHtmlEscaped()));
    AppSettings::instance().setMaxBitrate(0);
    Settings settings;
    QCOMPARE(settings.findChild<QLabel *>(u("lblMaxBitrateValue"))->text(), expected.at(3));
    LanguageDlg dialog;
    QCOMPARE(dialog.findChild<QPushButton *>(u("btNext"))->text(), expected.at(4));
    // The product name stays as it is.
    QCOMPARE(QCoreApplication::translate("Settings", "Tunora Player"), u("Tunora Player"));

    // Screenshots for the documentation, when asked for.
    const QString shots = qEnvironmentVariable("TUNORA_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        login.show();
        QVERIFY(QTest::qWaitForWindowExposed(&login));
        QVERIFY(login.grab().save(shots + u("/signin-%1.png").arg(code)));
    }
}

void TestLang::languageDialog()
{
    // With no list yet the dialog asks the directory and fills in what arrives.
    LanguageDlg dialog;
    QComboBox *box = dialog.findChild<QComboBox *>(u("cbLanguages"));
    QTRY_VERIFY_WITH_TIMEOUT(box->count() >= 4, 20000);
    QCOMPARE(box->currentText(), u("English"));
    QCOMPARE(box->findText(u("English")),
             box->findText(u("English"), Qt::MatchExactly | Qt::MatchCaseSensitive));
    box->setCurrentIndex(box->findText(u("Español")));
    QTest::mouseClick(dialog.findChild<QPushButton *>(u("btNext")), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.language(), (BASS::Language{u("es"), u("Español")}));
    QVERIFY(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
}

void TestLang::languagePerAccount()
{
    AppSettings &settings = AppSettings::instance();
    settings.writeLanguage({u("fr"), u("Français")}, u("anna"));
    settings.writeLanguage({u("en"), u("English")}, u("bert"));
    QVERIFY(LanguageSetup::start(u("anna"), false));
    QCOMPARE(LanguageSetup::current().code, u("fr"));
    QCOMPARE(QCoreApplication::translate("LoginDlg", "Sign in"), u("Se connecter"));
    QVERIFY(LanguageSetup::start(u("bert"), false));
    QCOMPARE(LanguageSetup::current().code, u("en"));
    QCOMPARE(QCoreApplication::translate("LoginDlg", "Sign in"), u("Sign in"));
    // A member without a stored language keeps the current one and gets it stored.
    QVERIFY(LanguageSetup::start(u("carl"), false));
    BASS::Language carl;
    settings.readLanguage(carl, u("carl"));
    QCOMPARE(carl.code, u("en"));
}

TUNORA_TEST_MAIN(TestLang)
#include "tst_lang.moc"
