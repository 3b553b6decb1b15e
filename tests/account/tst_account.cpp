// The account dialogs and the settings page against the real directory service: sign-up with its
// activation mail and link, sign-in answers, the activation check, lost passwords, sign-out and
// the settings page's auto-save, language change and home location.
#include "accountsession.h"
#include "appsettings.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "logindlg.h"
#include "resendemail.h"
#include "settingspanel.h"
#include "signup.h"
#include "testmain.h"
#include "tunoraapi.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>

using namespace BASS;
using TunoraTest::DirectoryService;

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

// Every debug, warning and critical line of the process, to prove no password is ever written.
QStringList &logLines()
{
    static QStringList lines;
    return lines;
}

QtMessageHandler previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    logLines() << message;
    if (previousHandler)
        previousHandler(type, context, message);
}

QStringList fields(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list << QString::fromUtf8(text);
    return list;
}

template<typename T>
T *child(QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qWarning("no child %s", name);
    return found;
}

} // namespace

class TestAccount : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void signUpChecks_data();
    void signUpChecks();
    void signIn_data();
    void signIn();
    void activation_data();
    void activation();
    void lostPassword_data();
    void lostPassword();
    void cancelAndSignOut_data();
    void cancelAndSignOut();

    void maxBitrateLabel_data();
    void maxBitrateLabel();
    void autoSaveAndRestart();
    void languageChange_data();
    void languageChange();
    void homeLocation_data();
    void homeLocation();
    void refreshLanguages();
    void versionAnnouncement();

private:
    bool visit(const QUrl &url);
    bool createAccount(const QString &member, const QString &password, const QString &mail);

    DirectoryService m_service;
    QStringList m_boxes;
    int m_answer = QMessageBox::No;
    int m_restarts = 0;
    QStringList m_passwords;
    const QString m_member = u("listener");
    const QString m_password = u("s3cret pass&word=");
};

void TestAccount::initTestCase()
{
    previousHandler = qInstallMessageHandler(recordMessage);
    DirectoryService::Options options;
    options.importCatalogue = true;
    options.settings = {{u("accounts/creation_limit"), u("1000")},
                        {u("accounts/mail_limit"), u("1000")},
                        {u("accounts/address_failure_limit"), u("1000")},
                        {u("accounts/account_failure_limit"), u("1000")},
                        {u("software/file_sha256"), QString(64, u'a')}};
    QVERIFY2(m_service.start(options), qPrintable(m_service.errorString()));

    const QString folder = TunoraTest::IsolatedHome::path() + u("/app");
    QVERIFY(QDir().mkpath(folder));
    AppSettings::setApplicationFolderOverride(folder);
    AppSettings &settings = AppSettings::instance();
    settings.setEndpoint(AppSettings::DirectoryRoot, m_service.root().toString());
    settings.setCaFile(m_service.caFile());
    TunoraAPI::configureHttp();
    QHttpExt::settings().messageHook = [this](MessageKind, const QString &, const QString &text,
                                              QMessageBox::StandardButtons) {
        m_boxes << text;
        return m_answer;
    };
    AccountSession::setRestartHook([this] { ++m_restarts; });
    m_passwords << m_password;
    QVERIFY(createAccount(m_member, m_password, u("listener@example.org")));
    QVERIFY(visit(m_service.linkFromLastMail(u("/account/activate"))));
}

void TestAccount::cleanupTestCase()
{
    qInstallMessageHandler(previousHandler);
    AccountSession::setRestartHook({});
    QHttpExt::settings().messageHook = nullptr;
    // Passwords travel in request addresses: neither the program nor the service may log them.
    const QString output = m_service.output();
    for (const QString &password : std::as_const(m_passwords)) {
        QVERIFY2(!output.contains(password), qPrintable(password));
        for (const QString &line : std::as_const(logLines()))
            QVERIFY2(!line.contains(password) && !line.contains(TunoraAPI::encode(password)),
                     qPrintable(line));
    }
    QVERIFY2(m_service.stop(), qPrintable(m_service.errorString()));
}

void TestAccount::init()
{
    m_boxes.clear();
    m_answer = QMessageBox::No;
    m_restarts = 0;
    AccountSession::storeSignedIn(m_member, m_password);
    AppSettings::instance().writeLanguage({u("en"), u("English")}, m_member);
}

bool TestAccount::visit(const QUrl &url)
{
    if (!url.isValid())
        return false;
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setSslConfiguration(m_service.sslConfiguration());
    QNetworkReply *reply = manager.get(request);
    QSignalSpy done(reply, &QNetworkReply::finished);
    const bool ok = done.wait(20000) && reply->error() == QNetworkReply::NoError;
    delete reply;
    return ok;
}

bool TestAccount::createAccount(const QString &member, const QString &password, const QString &mail)
{
    TunoraAPI api;
    const qsizetype before = m_service.mails().size();
    return api.createAccount(member, password, mail) && api.lastStatus() < 1 &&
           m_service.mails().size() == before + 1;
}

// ---------------------------------------------------------------------------------------------
// Sign-in dialog

void TestAccount::signUpChecks_data()
{
    QTest::addColumn<QStringList>("fields"); // name, password, retyped, e-mail, retyped
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");

    const QString all = u("All boxes must be filled in");
    QTest::newRow("all empty") << fields({"", "", "", "", ""}) << all << u("leUsername");
    QTest::newRow("e-mail before its retype") << fields({"ann", "pw1234", "", "", ""}) << all << u("leEmail");
    QTest::newRow("retyped e-mail before retyped password")
        << fields({"ann", "pw1234", "", "a@example.org", ""}) << all << u("leRetypeEmail");
    QTest::newRow("retyped password last")
        << fields({"ann", "pw1234", "", "a@example.org", "a@example.org"}) << all << u("leRetypePassword");
    QTest::newRow("e-mails compared first")
        << fields({"ann", "pw1234", "other", "a@example.org", "b@example.org"})
        << u("Emails are not the same") << u("leEmail");
    QTest::newRow("passwords differ")
        << fields({"ann", "pw1234", "pw12345", "a@example.org", "a@example.org"})
        << u("Passwords are not the same") << u("lePassword");
}

void TestAccount::signUpChecks()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    const qsizetype mails = m_service.mails().size();
    Signup panel;
    panel.show();
    const char *names[] = {"leUsername", "lePassword", "leRetypePassword", "leEmail", "leRetypeEmail"};
    for (int i = 0; i < 5; ++i)
        child<QLineEdit>(&panel, names[i])->setText(fields.at(i));
    QTest::mouseClick(child<QPushButton>(&panel, "btSignUp"), Qt::LeftButton);
    QCOMPARE(panel.message(), message);
    QCOMPARE(panel.focusWidget()->objectName(), focus);
    QCOMPARE(m_service.mails().size(), mails); // checked locally: nothing reached the service
}

void TestAccount::signIn_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");

    QTest::newRow("no member name") << QString() << u("x") << false << u("Member name is missing!")
                                    << u("leUsername");
    QTest::newRow("no password") << u("listener") << QString() << false << u("Password is missing!")
                                 << u("lePassword");
    QTest::newRow("wrong password") << u("listener") << u("wrong password") << false
                                    << u("Invalid member name or password") << u("leUsername");
    QTest::newRow("unknown member") << u("nobody_here") << u("whatever1") << false
                                    << u("Invalid member name or password") << u("leUsername");
    QTest::newRow("accepted") << u("listener") << u("s3cret pass&word=") << true << QString() << QString();
}

void TestAccount::signIn()
{
    QFETCH(QString, member);
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    AppSettings &settings = AppSettings::instance();
    settings.setCredentials(QString(), QString());
    settings.setSignedOut(true);

    LoginDlg dialog;
    dialog.show();
    dialog.setCredentials(member, password);
    QTest::mouseClick(child<QPushButton>(&dialog, "btSignIn"), Qt::LeftButton);
    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QString storedMember, storedPassword;
    settings.credentials(storedMember, storedPassword);
    if (accepted) {
        QCOMPARE(storedMember, member);
        QCOMPARE(storedPassword, password);
        QVERIFY(!settings.signedOut());
        // The INI holds the password: owner only.
        QCOMPARE(QFile::permissions(settings.settingsFile()) &
                     ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return;
    }
    QCOMPARE(dialog.message(), message);
    QCOMPARE(dialog.focusWidget()->objectName(), focus);
    QVERIFY(storedMember.isEmpty());
    QVERIFY(!dialog.activationPanel());
}

void TestAccount::activation_data()
{
    QTest::addColumn<bool>("signUp"); // signed up in the dialog, else made elsewhere and signed in
    QTest::newRow("signed up in the dialog") << true;
    QTest::newRow("signed in before activation") << false;
}

void TestAccount::activation()
{
    QFETCH(bool, signUp);
    const QString member = signUp ? u("newcomer") : u("latecomer");
    const QString password = member + u(" pw 123");
    m_passwords << password;
    AppSettings::instance().setCredentials(QString(), QString());
    const qsizetype mails = m_service.mails().size();
    LoginDlg dialog;
    dialog.setActivationCheckInterval(50);
    dialog.show();
    if (signUp) {
        dialog.slot_NotAMember(QString());
        QCOMPARE(dialog.mode(), LoginDlg::SignUpMode);
        const QStringList texts{member, password, password, member + u("@example.org"),
                                member + u("@example.org")};
        const char *names[] = {"leUsername", "lePassword", "leRetypePassword", "leEmail", "leRetypeEmail"};
        for (int i = 0; i < 5; ++i)
            child<QLineEdit>(dialog.signupPanel(), names[i])->setText(texts.at(i));
        QTest::mouseClick(child<QPushButton>(dialog.signupPanel(), "btSignUp"), Qt::LeftButton);
        QVERIFY2(!dialog.signupPanel()->isVisible(), qPrintable(dialog.signupPanel()->message()));
    } else {
        QVERIFY(createAccount(member, password, member + u("@example.org")));
        dialog.setCredentials(member, password);
        QTest::mouseClick(child<QPushButton>(&dialog, "btSignIn"), Qt::LeftButton);
        QVERIFY(dialog.message().startsWith(u("Account %1 is not activated yet").arg(member)));
    }
    // The activation panel waits and checks; the mail is in the service's Maildir.
    ResendEmail *activation = dialog.activationPanel();
    QVERIFY(activation && activation->isVisible() && activation->isChecking());
    QCOMPARE(dialog.member(), member);
    QCOMPARE(m_service.mails().size(), mails + 1);
    QSignalSpy checked(activation, &ResendEmail::signal_checked);
    QTRY_VERIFY_WITH_TIMEOUT(checked.size() >= 2, 20000);
    QCOMPARE(checked.first().first().toBool(), false);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    activation->slot_resendEmail(QString());
    QCOMPARE(child<QLabel>(activation, "lblMessage")->text(), u("Email sent"));
    QCOMPARE(m_service.mails().size(), mails + 2);

    // The link activates; the next check signs in and the dialog is accepted.
    QVERIFY(visit(m_service.linkFromLastMail(u("/account/activate"))));
    QTRY_COMPARE_WITH_TIMEOUT(dialog.result(), int(QDialog::Accepted), 20000);
    QVERIFY(!activation->isChecking());
    QString storedMember, storedPassword;
    AppSettings::instance().credentials(storedMember, storedPassword);
    QCOMPARE(storedMember, member);
    QCOMPARE(storedPassword, password);
}

void TestAccount::lostPassword_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("mails");
    QTest::newRow("by name") << u("listener") << u("Password sent") << 1;
    QTest::newRow("by e-mail") << u("listener@example.org") << u("Password sent") << 1;
    QTest::newRow("empty") << QString() << u("Please enter your member name or e-mail address") << 0;
}

void TestAccount::lostPassword()
{
    QFETCH(QString, member);
    QFETCH(int, mails);
    LoginDlg dialog;
    dialog.show();
    dialog.slot_ForgotPassword(QString());
    QCOMPARE(dialog.mode(), LoginDlg::PasswordRequestMode);
    QCOMPARE(child<QPushButton>(&dialog, "btSignIn")->text(), u("Send"));
    QCOMPARE(child<QLabel>(&dialog, "lblUsername")->text(), u("Member name or e-mail address"));
    dialog.setCredentials(member, QString());
    const qsizetype before = m_service.mails().size();
    QTest::mouseClick(child<QPushButton>(&dialog, "btSignIn"), Qt::LeftButton);
    QTEST(dialog.message(), "message");
    QCOMPARE(m_service.mails().size(), before + mails);
    if (mails)
        QVERIFY(m_service.mails().last().contains(u("/account/reset")));
}

void TestAccount::cancelAndSignOut_data()
{
    QTest::addColumn<bool>("signOutFirst");
    QTest::addColumn<bool>("endsProgram");
    QTest::newRow("opened from the menu while signed in") << false << false;
    QTest::newRow("after signing out") << true << true;
}

void TestAccount::cancelAndSignOut()
{
    QFETCH(bool, signOutFirst);
    QFETCH(bool, endsProgram);
    if (signOutFirst) {
        int cleared = 0;
        AccountSession::signOut([&] { ++cleared; });
        QCOMPARE(cleared, 1);
        QCOMPARE(m_restarts, 1);
        QVERIFY(AppSettings::instance().signedOut());
        QVERIFY(AppSettings::instance().memberName().isEmpty());
    }
    // The listener closes the dialog.
    QTimer::singleShot(0, this, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    bool endProgram = false;
    QVERIFY(!LoginDlg::run(nullptr, &endProgram));
    QCOMPARE(endProgram, endsProgram);
    QCOMPARE(AppSettings::instance().memberName(), signOutFirst ? QString() : m_member);
}

// ---------------------------------------------------------------------------------------------
// Settings page

void TestAccount::maxBitrateLabel_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("slider");
    QTest::addColumn<QString>("label");
    QTest::newRow("none stored") << 0 << 784 << u("Unlimited");
    QTest::newRow("768 is unlimited") << 768 << 768 << u("Unlimited");
    QTest::newRow("below 768") << 752 << 752 << u("752");
}

void TestAccount::maxBitrateLabel()
{
    QFETCH(int, stored);
    AppSettings::instance().setMaxBitrate(stored);
    Settings panel;
    QTEST(child<QSlider>(&panel, "sldMaxBitrate")->value(), "slider");
    QTEST(child<QLabel>(&panel, "lblMaxBitrateValue")->text(), "label");
}

void TestAccount::autoSaveAndRestart()
{
    AppSettings &settings = AppSettings::instance();
    settings.setMinBitrate(0);
    settings.setMaxBitrate(0);
    settings.setStartupStationType(0);
    {
        Settings panel;
        panel.setLanguages({{u("en"), u("English")}, {u("de"), u("Deutsch")}}, u("en"));
        QVERIFY(panel.isFilled());
        child<QSlider>(&panel, "sldMinBitrate")->setValue(64);
        child<QSlider>(&panel, "sldMaxBitrate")->setValue(320);
        child<QComboBox>(&panel, "cbStartUp")->setCurrentIndex(1);
        QVERIFY(panel.isChanged());
        // The auto-save stores them within its two seconds, without any question.
        QTRY_COMPARE_WITH_TIMEOUT(settings.maxBitrate(), 320, 6000);
        QCOMPARE(settings.minBitrate(), 64);
        QCOMPARE(settings.startupStationType(), 1);
        QVERIFY(!panel.isChanged());
        QVERIFY(m_boxes.isEmpty());

        // A change still pending when the window closes is saved then.
        child<QSlider>(&panel, "sldMinBitrate")->setValue(128);
        panel.saveNow();
        QCOMPARE(settings.minBitrate(), 128);
    }
    // After a restart the page shows what was saved.
    Settings again;
    QCOMPARE(child<QSlider>(&again, "sldMinBitrate")->value(), 128);
    QCOMPARE(child<QLabel>(&again, "lblMinBitrateValue")->text(), u("128"));
    QCOMPARE(child<QSlider>(&again, "sldMaxBitrate")->value(), 320);
    QCOMPARE(child<QComboBox>(&again, "cbStartUp")->currentData().toInt(), 1);
    QCOMPARE(m_restarts, 0);
}

void TestAccount::languageChange_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("restarts");
    QTest::newRow("restart later") << int(QMessageBox::No) << 0;
    QTest::newRow("restart now") << int(QMessageBox::Yes) << 1;
}

void TestAccount::languageChange()
{
    QFETCH(int, answer);
    m_answer = answer;
    AppSettings &settings = AppSettings::instance();
    settings.writeLanguage({u("en"), u("English")}, m_member);
    Settings panel;
    panel.setSaveInterval(50);
    panel.setLanguages({{u("en"), u("English")}, {u("de"), u("Deutsch")}, {u("de"), u("Deutsch")}}, u("en"));
    QComboBox *languages = child<QComboBox>(&panel, "cbLanguages");
    QCOMPARE(languages->count(), 2);
    QCOMPARE(languages->currentText(), u("English"));
    QVERIFY(!panel.isChanged());
    languages->setCurrentIndex(languages->findText(u("Deutsch")));
    QTRY_COMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first(), u("Your new settings will be applied when Tunora restarts, restart now?"));
    QTEST(m_restarts, "restarts");
    Language stored;
    settings.readLanguage(stored, m_member);
    QCOMPARE(stored.code, u("de"));
    QCOMPARE(stored.name, u("Deutsch"));
    // Asked once: the saved language is the current one from now on.
    QTRY_VERIFY(!panel.isChanged());
    QCOMPARE(m_boxes.size(), 1);
}

void TestAccount::homeLocation_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("box");
    QTest::newRow("recorded") << u("  Berlin,   Germany ") << u("Berlin, Germany") << QString();
    QTest::newRow("refused") << QString(200, QLatin1Char('x')) << QString(200, QLatin1Char('x'))
                             << u("Invalid request");
}

void TestAccount::homeLocation()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, box);
    TunoraAPI api;
    QVERIFY(api.requestAccountInfoModal());
    Settings panel;
    panel.setAccount(TunoraAPI::accountDetails());
    QCOMPARE(child<QLineEdit>(&panel, "leUsername")->text(), m_member);
    QCOMPARE(child<QLineEdit>(&panel, "leEmail")->text(), u("listener@example.org"));
    QPushButton *set = child<QPushButton>(&panel, "btSetLocation");
    QVERIFY(!set->isEnabled());
    QLineEdit *location = child<QLineEdit>(&panel, "leHomeLocation");
    location->setText(typed);
    QVERIFY(set->isEnabled());
    QTest::mouseClick(set, Qt::LeftButton);
    QCOMPARE(location->text(), shown);
    QCOMPARE(m_boxes, box.isEmpty() ? QStringList() : QStringList{box});
    if (box.isEmpty()) {
        QVERIFY(api.requestAccountInfoModal());
        QCOMPARE(TunoraAPI::accountDetails().location_string, shown);
        QCOMPARE(TunoraAPI::accountDetails().country_code, u("DE"));
    }
}

void TestAccount::refreshLanguages()
{
    Settings panel;
    panel.setLanguages({{u("en"), u("English")}, {u("de"), u("Deutsch")}}, u("de"));
    QComboBox *languages = child<QComboBox>(&panel, "cbLanguages");
    QCOMPARE(languages->currentText(), u("Deutsch"));
    QTest::mouseClick(child<QPushButton>(&panel, "btRefreshLangs"), Qt::LeftButton);
    // The directory's list, the choice kept, nothing to save or ask.
    QCOMPARE(languages->count(), 4);
    QCOMPARE(languages->currentText(), u("Deutsch"));
    QVERIFY(!panel.isChanged());
    QVERIFY(m_boxes.isEmpty());
}

void TestAccount::versionAnnouncement()
{
    // Our own version with the configured hash: nothing to offer, the hash read by the client.
    TunoraAPI api;
    SoftwareVersion seen;
    connect(&api, &TunoraAPI::signal_versionFound, this, [&](const SoftwareVersion *v) { seen = *v; });
    QVERIFY(api.requestSoftwareVersionModal());
    QCOMPARE(seen.comment_version, u("1.02"));
    QCOMPARE(seen.file_sha256, QString(64, u'a'));
    QVERIFY(seen.report);
}

TUNORA_TEST_MAIN(TestAccount)
#include "tst_account.moc"
