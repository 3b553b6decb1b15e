// The window's "Languages..." and "Check for new version..." against the directory service: the
// language picked is fetched from the service, shows at once in the window's menus and is stored
// for the signed-in account; the version check asked for by hand always answers, also when the
// directory cannot be reached.
#include "accessibilitycheck.h"
#include "appsettings.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "languagedlg.h"
#include "languagesetup.h"
#include "logindlg.h"
#include "settingspanel.h"
#include "testmain.h"
#include "tunoraapi.h"
#include "tunorade.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

using TunoraTest::DirectoryService;

namespace {

const QString Member = QStringLiteral("polyglot");
const QString Password = QStringLiteral("many tongues");

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

} // namespace

class TestAccountWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void languages_data();
    void languages();
    void checkVersionNow_data();
    void checkVersionNow();

private:
    // Answers the language dialog once it is up: picks name and goes on, or cancels (empty name).
    void answerLanguageDialog(const QString &name);
    int recordBox(BASS::MessageKind kind, const QString &title, const QString &text,
                  QMessageBox::StandardButtons buttons);
    void catchClientBoxes();

    DirectoryService m_service;
    // Announces version 1.03.
    DirectoryService m_newerService;
    QTemporaryDir m_dir;
    std::unique_ptr<TunoraDE> m_window;
    QList<QPair<BASS::MessageKind, QString>> m_boxes;
    QStringList m_languagesOffered;
};

void TestAccountWindow::initTestCase()
{
    TunoraDE::setStartDialogsEnabled(false);
    // Every window of this suite signs in from the same address, and a window closed by one case
    // may still have its password check running at the service when the next one starts: room for
    // more than the few checks per address a public service allows.
    DirectoryService::Options usual;
    usual.settings.insert(u("accounts/hashes_per_address"), u("64"));
    QVERIFY2(m_service.start(usual), qPrintable(m_service.errorString()));
    DirectoryService::Options options = usual;
    options.importCatalogue = false;
    options.settings.insert(u("software/comment_version"), u("1.03"));
    options.settings.insert(u("software/comment"), u("Faster start. Fewer stalls."));
    QVERIFY2(m_newerService.start(options), qPrintable(m_newerService.errorString()));
    AppSettings::setApplicationFolderOverride(TunoraTest::IsolatedHome::path());
    // One window trusts both services.
    QFile cas(m_dir.filePath(u("cas.pem")));
    QVERIFY(cas.open(QIODevice::WriteOnly));
    for (const DirectoryService *service : {&m_service, &m_newerService})
        for (const QSslCertificate &ca : service->caCertificates())
            QVERIFY(cas.write(ca.toPem()) > 0);
    cas.close();
    AppSettings::instance().setCaFile(cas.fileName());
    AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, m_service.root().toString());
    TunoraDE::setMessageHook(
        [this](BASS::MessageKind kind, const QString &title, const QString &text,
               QMessageBox::StandardButtons buttons) { return recordBox(kind, title, text, buttons); });
    // Boxes of the directory client while no window is up (a window routes them to the hook above).
    catchClientBoxes();
    TunoraAPI api;
    QVERIFY(api.createAccount(Member, Password, u("polyglot@example.org")));
    BASS::QHttpExt http;
    QSignalSpy activated(&http, &BASS::QHttpExt::sig_Ready);
    QVERIFY(http.get(m_service.linkFromLastMail(u("/account/activate")).toString(QUrl::FullyEncoded)) != 0);
    QVERIFY(activated.wait(30000));
    AppSettings::instance().setCredentials(Member, Password);
}

void TestAccountWindow::init()
{
    AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, m_service.root().toString());
    // Every case starts in English with nothing asked yet.
    QVERIFY(LanguageSetup::apply({u("en"), u("English")}));
    AppSettings::instance().writeLanguage({u("en"), u("English")}, Member);
    AppSettings::instance().setMaxBitrate(0);
    m_boxes.clear();
    m_languagesOffered.clear();
}

void TestAccountWindow::cleanup()
{
    m_window.reset();
    catchClientBoxes();
}

int TestAccountWindow::recordBox(BASS::MessageKind kind, const QString &, const QString &text,
                                 QMessageBox::StandardButtons)
{
    m_boxes.append({kind, text});
    return int(kind == BASS::MessageKind::Question ? QMessageBox::No : QMessageBox::Ok);
}

void TestAccountWindow::catchClientBoxes()
{
    BASS::QHttpExt::settings().messageHook =
        [this](BASS::MessageKind kind, const QString &title, const QString &text,
               QMessageBox::StandardButtons buttons) { return recordBox(kind, title, text, buttons); };
}

void TestAccountWindow::answerLanguageDialog(const QString &name)
{
    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this, poll, name] {
        auto *dialog = qobject_cast<LanguageDlg *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->deleteLater();
        QComboBox *box = dialog->languages();
        for (int i = 0; i < box->count(); ++i)
            m_languagesOffered << box->itemText(i);
        // The language in use is offered first.
        m_languagesOffered.prepend(box->currentText());
        if (name.isEmpty()) {
            dialog->findChild<QPushButton *>(u("btCancel"))->click();
            return;
        }
        box->setCurrentIndex(box->findText(name));
        dialog->findChild<QPushButton *>(u("btNext"))->click();
    });
    poll->start(20);
}

void TestAccountWindow::languages_data()
{
    QTest::addColumn<QString>("before"); // the language in use when the dialog opens
    QTest::addColumn<QString>("pick");   // empty: cancelled
    QTest::addColumn<QString>("code");   // stored for the account afterwards
    QTest::addColumn<QString>("fileMenu");
    QTest::addColumn<QString>("checkVersion");
    QTest::addColumn<QString>("unlimited"); // the settings page's highest bitrate

    QTest::newRow("German") << u("English") << u("Deutsch") << u("de") << u("&Datei")
                            << u("Nach &neuer Version suchen...") << u("Unbegrenzt");
    QTest::newRow("Spanish") << u("English") << u("Español") << u("es") << u("&Archivo")
                             << u("Buscar una &nueva versión...") << u("Sin límite");
    QTest::newRow("French, then back to English") << u("Français") << u("English") << u("en") << u("&File")
                                                  << u("Check for &new version...") << u("Unlimited");
    QTest::newRow("cancelled") << u("Deutsch") << QString() << u("de") << u("&Datei")
                               << u("Nach &neuer Version suchen...") << u("Unbegrenzt");
}

void TestAccountWindow::languages()
{
    QFETCH(QString, before);
    QFETCH(QString, pick);
    QFETCH(QString, code);
    QFETCH(QString, fileMenu);
    QFETCH(QString, checkVersion);
    QFETCH(QString, unlimited);
    AppSettings &settings = AppSettings::instance();
    if (before != u("English")) {
        // Started in another language: the way the window's start-up finds it.
        const BASS::Language start{before == u("Deutsch") ? u("de") : u("fr"), before};
        settings.writeLanguage(start, Member);
    }
    m_window = std::make_unique<TunoraDE>(nullptr, 0);
    TunoraDE &window = *m_window;
    QVERIFY(window.menuFile->actions().contains(window.actionLanguages));
    QVERIFY(window.menuHelp->actions().contains(window.checkVersionAction()));

    answerLanguageDialog(pick);
    window.actionLanguages->trigger();
    QVERIFY(!m_languagesOffered.isEmpty());
    QCOMPARE(m_languagesOffered.first(), before);
    for (const char *name : {"English", "Deutsch", "Français", "Español"})
        QVERIFY2(m_languagesOffered.contains(u(name)), name);

    // Shown at once, without a restart.
    QTRY_COMPARE(window.menuFile->title(), fileMenu);
    QCOMPARE(window.checkVersionAction()->text(), checkVersion);
    QCOMPARE(window.settingsPage()->findChild<QLabel *>(u("lblMaxBitrateValue"))->text(), unlimited);
    QCOMPARE(LanguageSetup::current().code, code);
    BASS::Language stored;
    settings.readLanguage(stored, Member);
    QCOMPARE(stored.code, code);
    QVERIFY(m_boxes.isEmpty());

    // The dialogs' own images are there: the language question's background, the help frame's
    // close button.
    LanguageDlg dialog;
    QCOMPARE(QPixmap(u(":/TunoraDE/Resources/background_language.png")).size(), dialog.size());
    LoginDlg login;
    QVERIFY(!login.findChild<QPushButton *>(u("btCloseHelp"))->icon().pixmap(16).isNull());
    // A screen reader can name every control: the help frame (its close button is an image), the
    // sign-up panel, the language question.
    login.show();
    login.slot_Help();
    QCOMPARE(TunoraTest::unnamedControls(&login), QStringList());
    login.slot_NotAMember(QString());
    QCOMPARE(TunoraTest::unnamedControls(&login), QStringList());
    dialog.show();
    QCOMPARE(TunoraTest::unnamedControls(&dialog), QStringList());
    // Screenshots for the documentation, when asked for.
    const QString shots = qEnvironmentVariable("TUNORA_SCREENSHOT_DIR");
    if (!shots.isEmpty() && code != u("en")) {
        dialog.setHelpText(tr("Please select your language"));
        dialog.selectLanguage(LanguageSetup::current());
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.grab().save(shots + u("/language-%1.png").arg(code)));
    }
}

void TestAccountWindow::checkVersionNow_data()
{
    QTest::addColumn<int>("service"); // 0 the usual one, 1 one that announces 1.03, 2 none listening
    QTest::addColumn<int>("kind");    // of the one box shown
    QTest::addColumn<QStringList>("parts");

    QTest::newRow("same version") << 0 << int(BASS::MessageKind::Information)
                                  << QStringList{u("No new version was found."),
                                                 u("Latest Version: <b>1.02</b>")};
    QTest::newRow("newer version, declined")
        << 1 << int(BASS::MessageKind::Question)
        << QStringList{u("Latest Version: <b>1.03</b>"), u("Faster start<br> Fewer stalls<br>")};
    QTest::newRow("directory unreachable")
        << 2 << int(BASS::MessageKind::Critical) << QStringList{u("refused")};
}

void TestAccountWindow::checkVersionNow()
{
    QFETCH(int, service);
    QFETCH(int, kind);
    QFETCH(QStringList, parts);
    m_window = std::make_unique<TunoraDE>(nullptr, 0);
    // What the window asked for at start (news, languages, account) has been answered.
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->api().busy(), 30000);
    QCoreApplication::processEvents();
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.value(0).second));

    QString root = m_newerService.root().toString();
    QTcpServer closed;
    if (service == 2) {
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        root = u("https://127.0.0.1:%1/").arg(closed.serverPort());
        closed.close();
    }
    if (service != 0)
        AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, root);
    m_window->checkVersionAction()->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, 30000);
    QCOMPARE(int(m_boxes.first().first), kind);
    for (const QString &part : parts)
        QVERIFY2(m_boxes.first().second.contains(part), qPrintable(m_boxes.first().second));
    // Asked for by hand, the check also counts as the run's automatic one: nothing is sent.
    emit m_window->signal_versionCheckDue();
    QVERIFY(!m_window->api().busy());
}

TUNORA_TEST_MAIN(TestAccountWindow)
#include "tst_accountwindow.moc"
