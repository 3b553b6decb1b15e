// The account dialogs and the settings page against the real directory service: the sign-up
// form's checks, a refused sign-in, lost passwords, the dialog cancelled from the menu, and the
// settings page's auto-save, language change and home location. The version check's downloads;
// the settings file's privacy and names. (That no password reaches a log: the client's and the
// service's tests.)
#include "accountsession.h"
#include "appsettings.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "httpserver.h"
#include "logindlg.h"
#include "settingspanel.h"
#include "signup.h"
#include "testca.h"
#include "testmain.h"
#include "tunoraapi.h"
#include "versioncheck.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>

using namespace BASS;
using TunoraTest::DirectoryService;
using O = VersionCheck::Outcome;

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
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
    void initTestCase()
    {
        DirectoryService::Options options;
        options.importCatalogue = true;
        options.settings = {{u("accounts/creation_limit"), u("1000")},
                            {u("accounts/mail_limit"), u("1000")},
                            {u("accounts/address_failure_limit"), u("1000")},
                            {u("accounts/account_failure_limit"), u("1000")}};
        QVERIFY2(m_service.start(options), qPrintable(m_service.errorString()));

        const QString folder = TunoraTest::IsolatedHome::path() + u("/app");
        QVERIFY(QDir().mkpath(folder));
        AppSettings::setApplicationFolderOverride(folder);
        AppSettings &settings = AppSettings::instance();
        settings.setEndpoint(AppSettings::DirectoryRoot, m_service.root().toString());
        settings.setCaFile(m_service.caFile());
        TunoraAPI::configureHttp();
        QHttpExt::settings().messageHook = [this](MessageKind kind, const QString &, const QString &text,
                                                  QMessageBox::StandardButtons) {
            m_boxes << text;
            m_kinds << kind;
            return m_answer;
        };
        // The version check's downloads: an https server of a test authority, and plain http.
        m_ca = std::make_unique<TunoraTest::TestCa>();
        QVERIFY2(m_ca->isValid(), qPrintable(m_ca->error()));
        QVERIFY(m_https.listenTls(m_ca->serverCertificate(), m_ca->serverKey()));
        QVERIFY(m_http.listen());
        QHttpExt::settings().extraCaCertificates << m_ca->caCertificate();
        const QByteArray body = QByteArray(70000, 'x') + "end of the package";
        const char *deb = "/tunora_1.03_amd64.deb";
        m_https.setResponse(u(deb),
                            TunoraTest::HttpResponse::ok(body, "application/vnd.debian.binary-package"));
        m_https.setResponse(u("/to-http"), TunoraTest::HttpResponse::redirect(m_http.url(u(deb)).toUtf8()));
        m_https.setResponse(u("/gone"), TunoraTest::HttpResponse::error(404, "gone"));
        m_http.setResponse(u(deb), TunoraTest::HttpResponse::ok(body));
        AccountSession::setRestartHook([this] { ++m_restarts; });
        TunoraAPI api;
        QVERIFY(api.createAccount(m_member, m_password, u("listener@example.org")));
        QNetworkAccessManager manager;
        QNetworkRequest request(m_service.linkFromLastMail(u("/account/activate")));
        request.setSslConfiguration(m_service.sslConfiguration());
        std::unique_ptr<QNetworkReply> reply(manager.get(request));
        QSignalSpy done(reply.get(), &QNetworkReply::finished);
        QVERIFY(done.wait(20000) && reply->error() == QNetworkReply::NoError);
    }

    void init()
    {
        m_boxes.clear();
        m_kinds.clear();
        m_answer = QMessageBox::No;
        m_restarts = 0;
        AccountSession::storeSignedIn(m_member, m_password);
        AppSettings::instance().writeLanguage({u("en"), u("English")}, m_member);
    }

    void cleanupTestCase()
    {
        AccountSession::setRestartHook({});
        QHttpExt::settings().messageHook = nullptr;
        QVERIFY2(m_service.stop(), qPrintable(m_service.errorString()));
    }

    void signUpChecks_data()
    {
        QTest::addColumn<QString>("fields"); // name, password, retyped, e-mail, retyped
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");

        const QString all = u("All boxes must be filled in");
        QTest::newRow("all empty") << u("||||") << all << u("leUsername");
        QTest::newRow("e-mails compared first") << u("ann|pw1234|other|a@example.org|b@example.org")
                                                << u("Emails are not the same") << u("leEmail");
        QTest::newRow("passwords differ") << u("ann|pw1234|pw12345|a@example.org|a@example.org")
                                          << u("Passwords are not the same") << u("lePassword");
    }

    void signUpChecks()
    {
        QFETCH(QString, fields);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        const qsizetype mails = m_service.mails().size();
        Signup panel;
        panel.show();
        const char *names[] = {"leUsername", "lePassword", "leRetypePassword", "leEmail", "leRetypeEmail"};
        for (int i = 0; i < 5; ++i)
            child<QLineEdit>(&panel, names[i])->setText(fields.split(QLatin1Char('|')).at(i));
        QTest::mouseClick(child<QPushButton>(&panel, "btSignUp"), Qt::LeftButton);
        QCOMPARE(panel.message(), message);
        QCOMPARE(panel.focusWidget()->objectName(), focus);
        QCOMPARE(m_service.mails().size(), mails); // checked locally: nothing reached the service
    }

    // A wrong password is refused and nothing is stored (signing in: the window's start-up test).
    void signInRefused()
    {
        AppSettings &settings = AppSettings::instance();
        settings.setCredentials(QString(), QString());
        LoginDlg dialog;
        dialog.show();
        dialog.setCredentials(m_member, u("wrong password"));
        QTest::mouseClick(child<QPushButton>(&dialog, "btSignIn"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.message(), u("Invalid member name or password"));
        QCOMPARE(dialog.focusWidget()->objectName(), u("leUsername"));
        QVERIFY(settings.memberName().isEmpty() && !dialog.activationPanel());
    }

    // A lost password asked for by e-mail address: the service mails the reset link.
    void lostPassword()
    {
        LoginDlg dialog;
        dialog.show();
        dialog.slot_ForgotPassword(QString());
        QCOMPARE(dialog.mode(), LoginDlg::PasswordRequestMode);
        dialog.setCredentials(u("listener@example.org"), QString());
        const qsizetype before = m_service.mails().size();
        QTest::mouseClick(child<QPushButton>(&dialog, "btSignIn"), Qt::LeftButton);
        QCOMPARE(dialog.message(), u("Password sent"));
        QCOMPARE(m_service.mails().size(), before + 1);
        QVERIFY(m_service.mails().last().contains(u("/account/reset")));
    }

    // Cancelled when opened from the menu while signed in, the dialog leaves the account and the
    // program as they were (after signing out it ends the program: the session test).
    void cancelFromMenu()
    {
        // The listener closes the dialog.
        QTimer::singleShot(0, this, [] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        bool endProgram = false;
        QVERIFY(!LoginDlg::run(nullptr, &endProgram));
        QVERIFY(!endProgram);
        QCOMPARE(AppSettings::instance().memberName(), m_member);
    }

    void autoSaveAndRestart()
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
            // The auto-save stores them within its two seconds, without any question.
            QTRY_COMPARE_WITH_TIMEOUT(settings.maxBitrate(), 320, 6000);
            QCOMPARE(settings.minBitrate(), 64);
            QCOMPARE(settings.startupStationType(), 1);
            QVERIFY(!panel.isChanged());
            QVERIFY(m_boxes.isEmpty());
        }
        // After a restart the page shows what was saved.
        Settings again;
        QCOMPARE(child<QSlider>(&again, "sldMinBitrate")->value(), 64);
        QCOMPARE(child<QLabel>(&again, "lblMinBitrateValue")->text(), u("64"));
        QCOMPARE(child<QComboBox>(&again, "cbStartUp")->currentData().toInt(), 1);
    }

    void languageChange_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("restarts");
        QTest::newRow("restart later") << int(QMessageBox::No) << 0;
        QTest::newRow("restart now") << int(QMessageBox::Yes) << 1;
    }

    void languageChange()
    {
        QFETCH(int, answer);
        m_answer = answer;
        AppSettings &settings = AppSettings::instance();
        settings.writeLanguage({u("en"), u("English")}, m_member);
        Settings panel;
        panel.setSaveInterval(50);
        panel.setLanguages({{u("en"), u("English")}, {u("de"), u("Deutsch")}, {u("de"), u("Deutsch")}},
                           u("en"));
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

    void homeLocation_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("box");
        QTest::newRow("recorded") << u("  Berlin,   Germany ") << u("Berlin, Germany") << QString();
        QTest::newRow("refused") << QString(200, QLatin1Char('x')) << QString(200, QLatin1Char('x'))
                                 << u("Invalid request");
    }

    void homeLocation()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, box);
        TunoraAPI api;
        QVERIFY(api.requestAccountInfoModal());
        Settings panel;
        panel.setAccount(TunoraAPI::accountDetails());
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

    // The version check: which announcements lead to a question, and which downloads are refused
    // before anything reaches the desktop (wrong size or hash, not https, redirected to http).
    void check_data()
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
        const int info = int(MessageKind::Information), question = int(MessageKind::Question),
                  warning = int(MessageKind::Warning);
        const int yes = QMessageBox::Yes;

        QTest::newRow("equal, report")
            << u("1.02") << true << yes << deb << n << hash << true << O::UpToDate << info;
        QTest::newRow("declined") << u("1.03") << false << int(QMessageBox::No) << deb << n << hash << true
                                  << O::Declined << question;
        QTest::newRow("size and hash match")
            << u("1.03") << false << yes << deb << n << hash << true << O::Opened << question;
        QTest::newRow("no handler starts")
            << u("1.03") << false << yes << deb << n << hash << false << O::Saved << info;
        QTest::newRow("shorter than announced")
            << u("1.03") << false << yes << deb << n + 1 << QString() << true << O::Failed << warning;
        QTest::newRow("wrong hash") << u("1.03") << false << yes << deb << n << wrongHash << true << O::Failed
                                    << warning;
        QTest::newRow("no size") << u("1.03") << false << yes << deb << qint64(0) << hash << true << O::Failed
                                 << warning;
        QTest::newRow("http address") << u("1.03") << false << yes << m_http.url(u("/tunora_1.03_amd64.deb"))
                                      << n << hash << true << O::Failed << warning;
        QTest::newRow("redirect to http") << u("1.03") << false << yes << m_https.url(u("/to-http")) << n
                                          << hash << true << O::Failed << warning;
        QTest::newRow("not found") << u("1.03") << false << yes << m_https.url(u("/gone")) << n << QString()
                                   << true << O::Failed << warning;
    }

    void check()
    {
        QFETCH(QString, address);
        QFETCH(qint64, size);
        QFETCH(bool, handlerStarts);
        QFETCH(O, outcome);
        QFETCH(int, box);
        QFETCH(int, answer);
        m_answer = answer;
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
        QCOMPARE(m_kinds.isEmpty() ? -1 : int(m_kinds.last()), box);
        if (!m_boxes.isEmpty() && outcome != O::Opened && outcome != O::Saved)
            QVERIFY2(m_boxes.last().contains(u("Current Version: <b>1.02</b>")) ||
                         m_boxes.last().contains(check.error().toHtmlEscaped()),
                     qPrintable(m_boxes.last()));
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
        QCOMPARE(saved.permissions() &
                     (QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther),
                 QFileDevice::Permissions());
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(saved.fileName())});
        QCOMPARE(quit.size(), outcome == O::Opened ? 1 : 0);
    }

    void changeNotes_data()
    {
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("notes");
        QTest::newRow("two sentences")
            << u("Faster search. Fewer stalls.") << u("Faster search<br> Fewer stalls<br>");
        QTest::newRow("markup stays text")
            << u("<b>bold</b> & more") << u("&lt;b&gt;bold&lt;/b&gt; &amp; more");
    }

    void changeNotes()
    {
        QFETCH(QString, comment);
        QTEST(VersionCheck::changeNotes(comment), "notes");
    }

    void checkedFromTheEventLoop()
    {
        VersionCheck check(nullptr);
        auto *v = new SoftwareVersion;
        v->comment_version = u("1.02");
        v->report = true;
        check.slot_versionFound(v);
        delete v; // the record lives only as long as the signal
        QVERIFY(m_boxes.isEmpty());
        QTRY_COMPARE(m_boxes.size(), 1);
        QVERIFY(m_boxes.first().contains(u("Latest Version: <b>1.02</b>")));
    }

    void wishListName_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("file");
        QTest::newRow("all ten") << u("<>:\"/\\|?*%") << u("----------_track_wishlist.xml");
        QTest::newRow("line breaks and tabs removed") << u("a\nb\r\tc") << u("abc_track_wishlist.xml");
        QTest::newRow("dots kept, slash replaced") << u("../x") << u("..-x_track_wishlist.xml");
    }

    void wishListName()
    {
        QFETCH(QString, member);
        QTEST(AppSettings::cleanWishListFileName(member), "file");
    }

    void passwordFileIsPrivate()
    {
        AppSettings &settings = AppSettings::instance();
        const QByteArray path = QFile::encodeName(settings.settingsFile());
        const auto mode = [&path] {
            struct stat st;
            return ::stat(path.constData(), &st) == 0 ? st.st_mode & 0777 : 0u;
        };
        settings.setCredentials(m_member, u("s3cret"));
        QCOMPARE(mode(), 0600u);
        // A file widened by hand is tightened again before the password is written.
        QVERIFY(::chmod(path.constData(), 0644) == 0);
        settings.setCredentials(m_member, m_password);
        QCOMPARE(mode(), 0600u);
        // Other writes replace the file but keep its permissions.
        settings.setVolume(12);
        QCOMPARE(mode(), 0600u);
    }

    // A test build's addresses all point at this machine.
    void endpointsStayLocal()
    {
        for (int e = 0; e < AppSettings::EndpointCount; ++e) {
            const auto which = static_cast<AppSettings::Endpoint>(e);
            const QUrl url(AppSettings::instance().endpoint(which));
            QVERIFY2(url.isValid() && url.host() == u("127.0.0.1"),
                     qPrintable(AppSettings::endpointKey(which)));
        }
    }

private:
    DirectoryService m_service;
    std::unique_ptr<TunoraTest::TestCa> m_ca;
    TunoraTest::HttpServer m_https;
    TunoraTest::HttpServer m_http;
    QStringList m_boxes;
    QList<MessageKind> m_kinds;
    int m_answer = QMessageBox::No;
    int m_restarts = 0;
    const QString m_member = u("listener");
    const QString m_password = u("s3cret pass&word=");
};

TUNORA_TEST_MAIN(TestAccount)
#include "tst_account.moc"
