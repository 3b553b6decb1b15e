// The account dialogs and the settings page against the real directory service: the sign-up
// form's checks, a refused sign-in, lost passwords, the dialog cancelled from the menu, and the
// settings page's auto-save, language change and home location. The version check's downloads;
// the settings file's privacy and names. (That no password reaches a log: the client's and the
// service's tests.) The station browser against the same service (regions, paging, browse rows,
// favourites dropped on the menu) and against a scripted directory for replies the service never
// sends (duplicates, markup in names, large lists); the column layout stored and its header menu;
// a station list read piece by piece as it arrives.
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
#include "treeradiowidget.h"
#include "treestationwidget.h"
#include "tunoraapi.h"
#include "versioncheck.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
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
using TunoraTest::HttpResponse;
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

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

QStringList names(const TreeStationWidget &list)
{
    QStringList out;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        if (list.stationOf(list.topLevelItem(i)))
            out << list.topLevelItem(i)->text(TreeStationWidget::ColumnName);
    return out;
}

bool waitFilled(TreeStationWidget &list)
{
    QSignalSpy filled(&list, &TreeStationWidget::signal_filled);
    return filled.wait(60000) || !filled.isEmpty();
}

QByteArray stationXml(const QByteArray &id, const QByteArray &name, int streams = 1)
{
    QByteArray xml = "<station><id>" + id + "</id><name>" + name + "</name><streams>";
    for (int i = 0; i < streams; ++i)
        xml += "<stream><url_listen>http://127.0.0.1:9/" + id + "/" + QByteArray::number(i) +
               "</url_listen><bitrate>128</bitrate><type>mp3</type></stream>";
    return xml + "</streams></station>";
}

QByteArray stationsReply(const QByteArray &body, int total = 0, int limit = 25)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><stations><results_total>" + QByteArray::number(total) +
           "</results_total><limit>" + QByteArray::number(limit) + "</limit>" + body + "</stations>";
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
        m_http.setResponse(u(deb), TunoraTest::HttpResponse::ok(body));
        // A directory that answers every search with `m_scriptedReply`.
        QVERIFY(m_scripted.listenTls(m_ca->serverCertificate(), m_ca->serverKey()));
        m_scripted.setHandler(
            [this](const TunoraTest::HttpRequest &) { return HttpResponse::ok(m_scriptedReply); });
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
        AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, m_service.root().toString());
        AppSettings::instance().setCaFile(m_service.caFile());
        TunoraAPI::configureHttp();
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
        // (What the service stores for a name: the contract suite's home-location table.)
        QCOMPARE(m_boxes, box.isEmpty() ? QStringList() : QStringList{box});
    }

    // The version check: which announcements lead to a question, and which downloads are refused
    // before anything reaches the desktop (wrong size or hash, not https, redirected to http).
    void check_data()
    {
        QTest::addColumn<int>("answer"); // to "download the newer version 1.03?"
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

        QTest::newRow("declined") << int(QMessageBox::No) << deb << n << hash << true << O::Declined
                                  << question;
        QTest::newRow("size and hash match") << yes << deb << n << hash << true << O::Opened << question;
        QTest::newRow("no handler starts") << yes << deb << n << hash << false << O::Saved << info;
        QTest::newRow("shorter than announced")
            << yes << deb << n + 1 << QString() << true << O::Failed << warning;
        QTest::newRow("wrong hash") << yes << deb << n << wrongHash << true << O::Failed << warning;
        QTest::newRow("no size") << yes << deb << qint64(0) << hash << true << O::Failed << warning;
        QTest::newRow("http address")
            << yes << m_http.url(u("/tunora_1.03_amd64.deb")) << n << hash << true << O::Failed << warning;
        QTest::newRow("redirect to http")
            << yes << m_https.url(u("/to-http")) << n << hash << true << O::Failed << warning;
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
        QFETCH(QString, sha256);
        v.comment_version = u("1.03");
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

    void drillRegions()
    {
        // Region, country and part of a country each replace the rows above them in the menu.
        TreeRadioWidget menu;
        TreeStationWidget list;
        QTreeWidgetItem *regions = openSection(menu, TreeRadioWidget::Regions);
        QTreeWidgetItem *europe = childNamed(regions, u("Europe"));
        QVERIFY(europe);
        menu.setCurrentItem(europe);
        QTreeWidgetItem *austria = childNamed(regions, u("Austria"));
        QVERIFY2(austria, "countries of the region replace the regions");
        QCOMPARE(regions->child(0)->text(0), u("Europe")); // the path row leads
        QCOMPARE(menu.radioItem(austria)->kind, TreeRadioWidget::KindExpandable);

        QSignalSpy chosen(&menu, &TreeRadioWidget::signal_SelectionChanged);
        choose(menu, austria, list);
        QCOMPARE(chosen.first().at(0).toInt(), int(TreeRadioWidget::Regions));
        QCOMPARE(chosen.first().at(1).toString(), u("AT"));
        QCOMPARE(menu.currentCountry() ? menu.currentCountry()->code() : QString(), u("AT"));
        QVERIFY2(names(list).contains(u("Life Radio")), qPrintable(names(list).join(u(", "))));
        // The parts of the country replaced the countries; the path names region and country.
        const QList<QTreeWidgetItem *> path = menu.pathRows();
        QCOMPARE(path.size(), 2);
        QCOMPARE(path.at(1)->text(0), u("Austria"));
        QTreeWidgetItem *part = regions->child(int(path.size()));
        QVERIFY(part);
        choose(menu, part, list);
        QVERIFY(names(list).contains(u("Life Radio")));
    }

    void paging()
    {
        // The reply to a search given up for another is dropped.
        TreeStationWidget list;
        list.queryStations(u("Life Radio"));
        list.queryStations(u("FR"));
        QVERIFY(waitFilled(list));
        QTest::qWait(200);
        const QStringList first = names(list);
        QCOMPARE(first.size(), TunoraAPI::PageSize);
        QVERIFY2(!first.contains(u("Life Radio")), qPrintable(first.join(u(", "))));
        QTreeWidgetItem *more = list.moreRow();
        QVERIFY(more);
        QCOMPARE(list.indexOfTopLevelItem(more), list.topLevelItemCount() - 1);
        const int total = list.api()->resultsTotal();
        QVERIFY(total > TunoraAPI::PageSize);
        QVERIFY(more->toolTip(TreeStationWidget::ColumnName).contains(QString::number(total)));

        // The paging row brings the next page below the first; on the last page there is none.
        QSignalSpy filled(&list, &TreeStationWidget::signal_filled);
        emit list.itemActivated(more, TreeStationWidget::ColumnName);
        QVERIFY(filled.wait(60000));
        QCOMPARE(list.pageIndex(), 1);
        QCOMPARE(names(list).size(), total);
        QVERIFY(!list.moreRow());
        // (Back to the first page: the window's paging case.)
        QCOMPARE(list.topLevelItem(total - 1)->text(TreeStationWidget::ColumnNumber), QString::number(total));
    }

    void browseRows()
    {
        // Region rows of a station list open into their countries, country rows into their stations.
        TreeRadioWidget menu;
        QTreeWidgetItem *regions = openSection(menu, TreeRadioWidget::Regions);
        auto *europe = dynamic_cast<BASS::WorldRegion *>(menu.itemObject(childNamed(regions, u("Europe"))));
        QVERIFY(europe);
        TreeStationWidget list;
        QTreeWidgetItem *region = list.addBrowseRow(*europe);
        QCOMPARE(region->childCount(), 1); // the placeholder
        region->setExpanded(true);
        QVERIFY(region->childCount() > 10);
        QTreeWidgetItem *swiss = nullptr;
        for (int i = 0; i < region->childCount(); ++i)
            if (region->child(i)->text(TreeStationWidget::ColumnName) == u("Switzerland"))
                swiss = region->child(i);
        QVERIFY(swiss);
        const auto stations = [&] {
            QStringList out;
            for (int i = 0; i < swiss->childCount(); ++i)
                if (list.stationOf(swiss->child(i)))
                    out << swiss->child(i)->text(TreeStationWidget::ColumnName);
            return out;
        };
        swiss->setExpanded(true);
        QVERIFY(waitFilled(list));
        const QStringList first = stations();
        QVERIFY2(first.contains(u("SwissGroove")), qPrintable(first.join(u(", "))));
        QCOMPARE(list.topLevelItemCount(), 1); // the rest of the list stays

        // Opening it again after it closed lists its stations again, not as duplicates of gone rows.
        swiss->setExpanded(false);
        swiss->setExpanded(true);
        QVERIFY(waitFilled(list));
        QCOMPARE(stations().size(), first.size());
    }

    void favoriteDropped()
    {
        // A station dropped on FAVORITES is added; on any other row the drop is refused.
        TreeStationWidget list;
        list.queryStations(u("PL"));
        QVERIFY(waitFilled(list));
        QVERIFY(list.topLevelItemCount() >= 1);
        const QString droppedId = list.stationOf(list.topLevelItem(0))->id();
        list.setCurrentItem(list.topLevelItem(0));
        std::unique_ptr<QMimeData> data(list.stationMimeData());
        QVERIFY(data);
        TreeRadioWidget menu;
        menu.resize(300, 400);
        menu.show();
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        QSignalSpy dropped(&menu, &TreeRadioWidget::signal_FavoriteChanged);
        auto dropOn = [&](QTreeWidgetItem *row) {
            const QPoint at = menu.visualItemRect(row).center();
            QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(menu.viewport(), &enter);
            QDropEvent drop(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(menu.viewport(), &drop);
            return drop.isAccepted();
        };
        QVERIFY(!dropOn(menu.sectionRow(TreeRadioWidget::History)));
        QVERIFY(dropOn(menu.sectionRow(TreeRadioWidget::Favorites)));
        QVERIFY(dropped.wait(30000));
        QCOMPARE(dropped.first().at(1).toString(), droppedId);

        TreeStationWidget favorites;
        favorites.loadFavorites();
        QVERIFY(waitFilled(favorites));
        QTreeWidgetItem *row = favorites.rowOfStation(droppedId);
        QVERIFY(row);
        QVERIFY(favorites.stationOf(row)->favorite());
        // A favourite gives no drag data: it is one already.
        favorites.setCurrentItem(row);
        QVERIFY(!std::unique_ptr<QMimeData>(favorites.stationMimeData()));
    }

    void delayedClickAfterReload()
    {
        TreeRadioWidget menu;
        menu.resize(300, 500);
        menu.show();
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        QTreeWidgetItem *regions = openSection(menu, TreeRadioWidget::Regions);
        QTreeWidgetItem *region = regions->child(0);
        const int live = TreeRadioWidget::TreeRadioItem::liveCount();
        QSignalSpy chosen(&menu, &TreeRadioWidget::signal_SelectionChanged);
        // A press on a row that is not current schedules its opening; the menu is cleared first.
        QTest::mousePress(menu.viewport(), Qt::LeftButton, {}, menu.visualItemRect(region).center());
        menu.clearTree();
        QTRY_VERIFY(TreeRadioWidget::TreeRadioItem::liveCount() < live);
        QTest::qWait(TreeRadioWidget::ClickDelay * 2);
        QCOMPARE(regions->childCount(), 0);
        QVERIFY(!menu.currentCountry());
        // The sections still answer.
        menu.setCurrentItem(menu.sectionRow(TreeRadioWidget::History));
        QCOMPARE(chosen.last().at(0).toInt(), int(TreeRadioWidget::History));
    }

    void layoutAndHeaderMenu()
    {
        // A corrupt stored layout changes nothing. (Stored and restored: the window's column case.)
        TreeStationWidget restored;
        restored.setSaveOnDestroy(false);
        restored.header()->resizeSection(TreeStationWidget::ColumnGenres, 77);
        QVERIFY(!restored.restoreLayout(QByteArray("not a header state")));
        QCOMPARE(restored.columnWidth(TreeStationWidget::ColumnGenres), 77);
        // The corner button opens the header menu of the columns a listener may hide.
        restored.show();
        QVERIFY(QTest::qWaitForWindowExposed(&restored));
        QTest::mousePress(restored.headerEx()->cornerButton(), Qt::LeftButton);
        QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
        QCOMPARE(QApplication::activePopupWidget()->actions().size(), TreeStationWidget::ColumnCount - 2);
        QApplication::activePopupWidget()->close();
    }

    void scriptedReplies_data()
    {
        // Hostile, truncated and malformed replies are the fuzz targets' part; here what a list shows.
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("markup in names")
            << stationsReply(stationXml("1", "&lt;b&gt;x&lt;/b&gt;"), 1) << QStringList{u("<b>x</b>")};
        QTest::newRow("station twice")
            << stationsReply(stationXml("7", "Twice") + stationXml("7", "Twice"), 2)
            << QStringList{u("Twice")};
        QTest::newRow("no streams") << stationsReply("<station><id>3</id><name>Silent</name></station>", 1)
                                    << QStringList{};
        // Several times the amount read per turn of the event loop: every station, in order.
        QByteArray large;
        QStringList largeNames;
        for (int i = 0; i < 1500; ++i) {
            large += stationXml("L" + QByteArray::number(i), "Large " + QByteArray::number(i));
            largeNames << u("Large ") + QString::number(i);
        }
        QTest::newRow("large reply") << stationsReply(large, 1500, 1500) << largeNames;
    }

    void scriptedReplies()
    {
        QFETCH(QByteArray, reply);
        TreeStationWidget list;
        fillScripted(list, reply);
        QTEST(names(list), "expected");
        for (int i = 0; i < list.topLevelItemCount(); ++i) {
            // Texts show literally; tool tips carry them escaped.
            QTreeWidgetItem *row = list.topLevelItem(i);
            if (list.stationOf(row))
                QVERIFY(row->toolTip(TreeStationWidget::ColumnName)
                            .contains(row->text(TreeStationWidget::ColumnName).toHtmlEscaped()));
        }
    }

    void orderPlayAndMarker()
    {
        QByteArray body = stationXml("a", "S0", 2);
        for (int i = 1; i <= 12; ++i)
            body += stationXml("s" + QByteArray::number(i), "S" + QByteArray::number(i));
        TreeStationWidget list;
        fillScripted(list, stationsReply(body, 40, 13));
        QVERIFY(list.moreRow());
        list.sortItems(TreeStationWidget::ColumnNumber, Qt::DescendingOrder);
        QCOMPARE(names(list).mid(0, 3), (QStringList{u("S12"), u("S11"), u("S10")}));
        list.sortItems(TreeStationWidget::ColumnName, Qt::AscendingOrder);
        QCOMPARE(names(list).mid(0, 3), (QStringList{u("S0"), u("S1"), u("S10")}));
        QCOMPARE(list.indexOfTopLevelItem(list.moreRow()), list.topLevelItemCount() - 1);

        QSignalSpy play(&list, &TreeStationWidget::signal_playStation);
        QTreeWidgetItem *alpha = list.rowOfStation(u("a"));
        QVERIFY(alpha);
        emit list.itemActivated(alpha, TreeStationWidget::ColumnName);
        QCOMPARE(play.size(), 1);
        QCOMPARE(play.first().at(1).value<BASS::Station>().id(), u("a"));
        QCOMPARE(play.first().at(2).toInt(), -1);
        // A station with two streams offers each stream ahead of the five actions.
        std::unique_ptr<QMenu> menu(list.createContextMenu(alpha));
        QCOMPARE(menu->actions().size(), 2 + 1 + 5);
        menu->actions().at(1)->trigger();
        QCOMPARE(play.size(), 2);
        QCOMPARE(play.last().at(2).toInt(), 1);
        // The station playing is marked.
        list.UpdateValidTreeItems(u("a"), 1);
        QVERIFY(alpha->font(TreeStationWidget::ColumnName).bold());
        list.UpdateValidTreeItems(u("a"), 0);
        QVERIFY(!alpha->font(TreeStationWidget::ColumnName).bold());
    }

    void piecewiseReading_data()
    {
        QTest::addColumn<QByteArray>("reply");
        const QString corpus = QFINDTESTDATA("../fuzz/corpus/directoryreplies");
        const QStringList files = QDir(corpus).entryList({u("stationlistreader_*")}, QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString &file : files) {
            QFile f(corpus + u("/") + file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QTest::newRow(qPrintable(u("corpus ") + file)) << f.readAll();
        }
        const QByteArray network =
            "<network><id>9</id><name>Net</name><url_website>http://net.example</url_website>"
            "</network>";
        QTest::newRow("network by id after its block") << stationsReply(
            stationXml("1", "One").replace("</station>", QByteArray(network + "</station>")) +
                stationXml("2", "Two").replace("</station>", "<network_id>9</network_id></station>"),
            2);
        QTest::newRow("empty station ends the list")
            << stationsReply(stationXml("1", "One") + "<station></station>" + stationXml("2", "Two"), 2);
        QTest::newRow("no limit") << "<stations>" + stationXml("1", "One") + stationXml("2", "Two") +
                                         "</stations>";
        QTest::newRow("limit after a station") << "<stations>" + stationXml("1", "One") + "<limit>5</limit>" +
                                                      stationXml("2", "Two") + "</stations>";
        QTest::newRow("end tag cut")
            << stationsReply(stationXml("1", "One") + stationXml("2", "Two")).chopped(30);
    }

    void piecewiseReading()
    {
        // Reading a station list piece by piece as it arrives gives what reading it whole gives,
        // wherever the pieces end.
        QFETCH(QByteArray, reply);
        const QString text = QString::fromUtf8(reply);
        BASS::Station station;
        const auto collect = [&station](QStringList &out) {
            return [&] {
                out << QStringList{station.id(),
                                   station.name(),
                                   station.website(),
                                   station.network(),
                                   QString::number(station.streams().size()),
                                   station.nowPlaying().DisplayText()}
                           .join(u("|"));
            };
        };
        const auto paging = [](const StationPaging &p) {
            return QStringLiteral("paging %1 %2 %3").arg(p.total).arg(p.pageCount).arg(p.remainder);
        };
        QStringList whole;
        whole << paging(DirectoryReader().readStationList(text, station, collect(whole)));
        for (const int step : {1, 7, 64}) {
            DirectoryReader reader;
            StationListProgress progress;
            for (qsizetype n = step; n < text.size(); n += step)
                reader.readStationsSoFar(text.left(n), progress);
            station = BASS::Station();
            QStringList got;
            got << paging(reader.finishStationList(text, progress, station, collect(got)));
            QCOMPARE(got, whole);
        }
    }

private:
    // A list filled with what the scripted directory answers to any search.
    void fillScripted(TreeStationWidget &list, const QByteArray &reply)
    {
        m_scriptedReply = reply;
        AppSettings &settings = AppSettings::instance();
        settings.setEndpoint(AppSettings::DirectoryRoot, m_scripted.url(u("/")));
        settings.setCaFile(m_ca->caFile());
        TunoraAPI::configureHttp();
        list.queryStations(u("anything"));
        QVERIFY(waitFilled(list));
    }

    // Opens a section of the menu and waits for its first-level rows.
    QTreeWidgetItem *openSection(TreeRadioWidget &menu, int section)
    {
        QTreeWidgetItem *row = menu.sectionRow(section);
        menu.setCurrentItem(row);
        [&] { QTRY_VERIFY_WITH_TIMEOUT(row->childCount() > 0 && !menu.api()->busy(), 60000); }();
        return row;
    }

    // Chooses a row of the menu; when it asks for stations, the list loads them (as the window does).
    void choose(TreeRadioWidget &menu, QTreeWidgetItem *row, TreeStationWidget &list)
    {
        QSignalSpy chosen(&menu, &TreeRadioWidget::signal_SelectionChanged);
        menu.setCurrentItem(row);
        QVERIFY(!chosen.isEmpty());
        const QString search = chosen.last().at(1).toString();
        QVERIFY(!search.isEmpty());
        list.queryStations(search);
        QVERIFY(waitFilled(list));
    }

    DirectoryService m_service;
    std::unique_ptr<TunoraTest::TestCa> m_ca;
    TunoraTest::HttpServer m_https;
    TunoraTest::HttpServer m_http;
    TunoraTest::HttpServer m_scripted;
    QByteArray m_scriptedReply;
    QStringList m_boxes;
    QList<MessageKind> m_kinds;
    int m_answer = QMessageBox::No;
    int m_restarts = 0;
    const QString m_member = u("listener");
    const QString m_password = u("s3cret pass&word=");
};

TUNORA_TEST_MAIN(TestAccount)
#include "tst_account.moc"
