// The main window end to end: a station on a local Icecast mount played through the window, titles
// on the dashboard, stop and the stream's end; the record control (the playing station recorded into
// the folder and format of the settings, ended by the toggle, by playback or by the next station, its
// file decoding); the start-up station from the account's history; attempts on a silent server given
// up without holding the window; the play button, status line and track history; typed addresses; the
// desktop's controls, keyboard commands and tab order, accessible names, the tray icon and closing to
// it, the sleep timer on a test clock, the favourites and wish-list files, what a later start hands
// over. Against a local directory service: the settings page saved, the product web site opened in
// the window and playing a station, the search box and remembered searches, paging, the column layout
// mirrored among the lists and kept across a restart, "Languages..." (fetched, shown at once, stored
// per account; the dialogs name every control), "Check for new version...". Without a window: the
// account dialogs, the settings page, the settings file's privacy and names, the version check's
// downloads, the station browser (also against a scripted directory for replies the service never
// sends), a station list read piece by piece; the product site's own pages.

#undef QT_NO_CAST_FROM_ASCII

#include "accessibilitycheck.h"
#include "accountsession.h"
#include "bassinit.h"
#include "desktopsettings.h"
#include "exportfiles.h"
#include "httpserver.h"
#include "icecast.h"
#include "languagedlg.h"
#include "languagesetup.h"
#include "logindlg.h"
#include "mpris.h"
#include "navigatelabel.h"
#include "net.h"
#include "rawapi.h"
#include "recordingsettings.h"
#include "scriptedserver.h"
#include "settingspanel.h"
#include "signup.h"
#include "sitebrowser.h"
#include "sleeptimer.h"
#include "testca.h"
#include "threads.h"
#include "tracklists.h"
#include "treeradiowidget.h"
#include "treestationwidget.h"
#include "tunorade_desktop.h"
#include "versioncheck.h"
#include "webtestmain.h"
#include "welcomeview.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>

using TunoraTest::HttpResponse;
using TunoraTest::IcecastServer;
using TunoraTest::ScriptedServer;
using TunoraTest::stationAt;
using O = VersionCheck::Outcome;

namespace {

qint64 s_now = 0; // the sleep timer's clock

// The codec ffprobe names and the seconds ffmpeg decodes (to 8 kHz mono 16-bit); -1 on failure.
std::pair<QString, double> decode(const QString &file)
{
    QProcess info, pcm;
    info.start("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries", "stream=codec_name",
                           "-of", "csv=p=0", file});
    pcm.start("ffmpeg",
              {"-nostdin", "-v", "quiet", "-i", file, "-f", "s16le", "-ac", "1", "-ar", "8000", "-"});
    if (!info.waitForFinished(30000) || info.exitCode() != 0 || !pcm.waitForFinished(60000) ||
        pcm.exitCode() != 0)
        return {QString(), -1};
    return {QString::fromUtf8(info.readAllStandardOutput()).trimmed(),
            pcm.readAllStandardOutput().size() / 16000.0};
}

const QString Member = QStringLiteral("pages");
const QString Password = QStringLiteral("pages&pass=<secret>");

QStringList names(const TreeStationWidget *list)
{
    QStringList out;
    for (int i = 0; list && i < list->topLevelItemCount(); ++i)
        if (list->stationOf(list->topLevelItem(i)))
            out << list->topLevelItem(i)->text(TreeStationWidget::ColumnName);
    return out;
}

bool filled(TreeStationWidget *list)
{
    QSignalSpy spy(list, &TreeStationWidget::signal_filled);
    return spy.wait(60000) || !spy.isEmpty();
}

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
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

class TestTunoraDE : public QObject
{
    Q_OBJECT

    TunoraTest::DirectoryService m_service;
    ScriptedServer m_silent;
    // Two mounts, "/test.mp3" and "/other.mp3"; why it did not come up otherwise (only the cases
    // that play fail then).
    std::unique_ptr<IcecastServer> m_icecast;
    QString m_icecastError;
    QTemporaryDir m_dir;
    std::unique_ptr<TunoraDE> m_window;
    QStringList m_boxes; // the texts of the message boxes shown, and their kinds
    QList<BASS::MessageKind> m_kinds;
    int m_answer = QMessageBox::No; // to a question
    int m_restarts = 0;             // asked for by the settings page
    QStringList m_languagesOffered;
    // The version check's downloads: an https server of a test authority, and plain http; a
    // directory that answers every search with `m_scriptedReply`.
    std::unique_ptr<TunoraTest::TestCa> m_ca;
    TunoraTest::HttpServer m_https;
    TunoraTest::HttpServer m_http;
    TunoraTest::HttpServer m_scripted;
    QByteArray m_scriptedReply;

    // Made on first use, so that a case may set up what the window's start-up reads first; active,
    // as the keyboard cases need it.
    TunoraDE &window()
    {
        if (!m_window) {
            m_window = TunoraTest::newWindow();
            QApplication::setActiveWindow(m_window.get());
            if (!QTest::qWaitForWindowActive(m_window.get()))
                qWarning("the window did not become active");
        }
        return *m_window;
    }
    WindowDesktop &desktop() { return *window().desktop(); }
    bool attemptRunning() { return window().m_connectThread->isRunning(); }
    QString mount(const char *path) { return m_icecast->mountUrl(QString::fromLatin1(path)).toString(); }
    QString status() { return window().lblTrackHistory->text(); }
    QString silentUrl(const char *path = "/silent.mp3") { return QString::fromLatin1(m_silent.url(path)); }
    // Starts the suite's Icecast when a case first needs it (the cases without it run first, without
    // its encoders running beside them); false, with the reason, when it did not come up.
    bool icecastUp()
    {
        if (!m_icecast) {
            m_icecast = std::make_unique<IcecastServer>();
            IcecastServer::Source source, other;
            other.mount = "/other.mp3";
            if (!m_icecast->start(&m_icecastError) || !m_icecast->startSource(source, &m_icecastError) ||
                !m_icecast->startSource(other, &m_icecastError))
                m_icecast.reset();
        }
        return bool(m_icecast);
    }
    void addTrack(const QString &artist, const QString &title)
    {
        window().m_currentTrack.clear();
        window().m_currentTrack.song.setArtist(artist);
        window().m_currentTrack.song.setTitle(title);
        window().m_currentTrack.cover = QImage(8, 8, QImage::Format_RGB32);
        window().newTrackToHistory();
    }

    int recordBox(BASS::MessageKind kind, const QString &text)
    {
        m_boxes << text;
        m_kinds << kind;
        return kind == BASS::MessageKind::Question ? m_answer : int(QMessageBox::Ok);
    }
    // Boxes of the directory client while no window is up (a window routes them to its own hook).
    void catchClientBoxes()
    {
        BASS::QHttpExt::settings().messageHook = [this](BASS::MessageKind kind, const QString &,
                                                        const QString &text, QMessageBox::StandardButtons) {
            return recordBox(kind, text);
        };
    }
    // Answers the language dialog once it is up: picks name and goes on, or cancels (empty name).
    void answerLanguageDialog(const QString &name)
    {
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this, poll, name] {
            auto *dialog = qobject_cast<LanguageDlg *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll->deleteLater();
            QComboBox *box = dialog->languages();
            // The language in use is offered first.
            m_languagesOffered << box->currentText();
            for (int i = 0; i < box->count(); ++i)
                m_languagesOffered << box->itemText(i);
            if (name.isEmpty()) {
                dialog->findChild<QPushButton *>("btCancel")->click();
                return;
            }
            box->setCurrentIndex(box->findText(name));
            dialog->findChild<QPushButton *>("btNext")->click();
        });
        poll->start(20);
    }
    TreeRadioWidget *menu() { return static_cast<TreeRadioWidget *>(window().twRadio); }
    TreeStationWidget *list(int n) { return window().stationList(n); }
    // One request to the service on a connection of its own; a body is sent as a form.
    QByteArray rawRequest(const QByteArray &method, const QByteArray &path, const QByteArray &form = {},
                          const QByteArray &header = {})
    {
        QByteArray request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
        if (!header.isEmpty())
            request += header + "\r\n";
        if (!form.isEmpty())
            request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                       QByteArray::number(form.size()) + "\r\n";
        return TunoraTest::rawExchange(m_service.port(), m_service.sslConfiguration(),
                                       request + "\r\n" + form)
            .raw;
    }

private slots:
    void initTestCase()
    {
        TunoraTest::prepareWindowSuite(nullptr);
        TunoraDE::setMessageHook([this](BASS::MessageKind kind, const QString &, const QString &text,
                                        QMessageBox::StandardButtons) { return recordBox(kind, text); });
        catchClientBoxes();
        WindowDesktop::setSleepTimerClock([] { return s_now; });
        QVERIFY(m_silent.start(
            [](int, const QByteArray &) { return ScriptedServer::Script{ScriptedServer::hold()}; }));
        // Every window of this suite signs in from the same address, and a window closed by one case
        // may still have its password check running at the service when the next one starts; the
        // account cases sign up, sign in wrongly and ask for mails from it too: room for more than
        // a public service allows.
        TunoraTest::DirectoryService::Options options;
        options.settings = {{"accounts/hashes_per_address", "64"},
                            {"accounts/creation_limit", "1000"},
                            {"accounts/mail_limit", "1000"},
                            {"accounts/address_failure_limit", "1000"},
                            {"accounts/account_failure_limit", "1000"}};
        // Beside the shipped catalogue, a station whose address the favourites' import must recognise.
        QVERIFY2(
            TunoraTest::startDirectory(m_service, "Desk Test Radio", "http://127.0.0.1:9/desk.mp3", options),
            qPrintable(m_service.errorString()));
        // The site view loads the service's own pages; nothing else is reached.
        AppSettings::instance().setEndpoint(AppSettings::WebSite, m_service.root().toString());
        QVERIFY(TunoraTest::createListener(m_service, Member, Password));

        m_ca = std::make_unique<TunoraTest::TestCa>();
        QVERIFY2(m_ca->isValid(), qPrintable(m_ca->error()));
        QVERIFY(m_https.listenTls(m_ca->serverCertificate(), m_ca->serverKey()));
        QVERIFY(m_http.listen());
        BASS::QHttpExt::settings().extraCaCertificates << m_ca->caCertificate();
        const QByteArray body = QByteArray(70000, 'x') + "end of the package";
        const char *deb = "/tunora_1.03_amd64.deb";
        m_https.setResponse(deb, HttpResponse::ok(body, "application/vnd.debian.binary-package"));
        m_https.setResponse("/to-http", HttpResponse::redirect(m_http.url(deb).toUtf8()));
        m_http.setResponse(deb, HttpResponse::ok(body));
        QVERIFY(m_scripted.listenTls(m_ca->serverCertificate(), m_ca->serverKey()));
        m_scripted.setHandler(
            [this](const TunoraTest::HttpRequest &) { return HttpResponse::ok(m_scriptedReply); });
        AccountSession::setRestartHook([this] { ++m_restarts; });
    }

    void cleanupTestCase()
    {
        m_window.reset();
        AccountSession::setRestartHook({});
        BASS::QHttpExt::settings().messageHook = nullptr;
        QVERIFY2(m_service.stop(), qPrintable(m_service.errorString()));
    }

    void init()
    {
        AppSettings &settings = AppSettings::instance();
        settings.setEndpoint(AppSettings::DirectoryRoot, m_service.root().toString());
        settings.setCaFile(m_service.caFile());
        TunoraAPI::configureHttp();
        AccountSession::storeSignedIn(Member, Password);
        settings.setStartupStationType(0);
        settings.setMaxBitrate(0);
        // Every case starts in English with nothing asked yet.
        QVERIFY(LanguageSetup::apply({"en", "English"}));
        settings.writeLanguage({"en", "English"}, Member);
        for (int n = 1; n <= 10; ++n)
            QSettings().remove(QString("search_%1").arg(n));
        m_boxes.clear();
        m_kinds.clear();
        m_answer = QMessageBox::No;
        m_restarts = 0;
        m_languagesOffered.clear();
        QSettings().remove(DesktopSettings::trayIconKey());
        QSettings().remove(DesktopSettings::closeToTrayKey());
    }

    void cleanup()
    {
        m_window.reset();
        catchClientBoxes();
        QSettings().setValue("ShowWelcomePage", false); // the later windows open on their lists
    }

    // The settings page is filled when first shown; what was changed there is stored by its
    // auto-save within two seconds, without a question, or when the window closes before its save
    // timer came round; a page made later shows what was saved. (First: no web page was made yet.)
    void settingsSaved()
    {
        AppSettings &settings = AppSettings::instance();
        settings.setMinBitrate(0);
        // The start page is the welcome page, drawn without the web engine: nothing started it.
        QVERIFY(window().swStations->currentWidget()->findChild<WelcomeView *>());
        QVERIFY(!WebProfile::exists());
        Settings *page = window().settingsPage();
        QVERIFY(!page->isFilled());
        window().swStations->setCurrentIndex(TunoraDE::PageSettings);
        QVERIFY(page->isFilled());
        page->findChild<QSlider *>("sldMaxBitrate")->setValue(320);
        page->findChild<QComboBox *>("cbStartUp")->setCurrentIndex(1);
        QTRY_COMPARE_WITH_TIMEOUT(settings.maxBitrate(), 320, 6000);
        QCOMPARE(settings.startupStationType(), 1);
        QVERIFY(!page->isChanged() && m_boxes.isEmpty());

        page->setSaveInterval(3600 * 1000);
        page->findChild<QSlider *>("sldMinBitrate")->setValue(96);
        QVERIFY(page->isChanged());
        m_window.reset();
        QCOMPARE(settings.minBitrate(), 96);
        Settings again;
        QCOMPARE(again.findChild<QSlider *>("sldMinBitrate")->value(), 96);
        QCOMPARE(again.findChild<QLabel *>("lblMinBitrateValue")->text(), "96");
        QCOMPARE(again.findChild<QComboBox *>("cbStartUp")->currentData().toInt(), 1);
    }

    // The status bar's site link opens the product web site in the window, at the next free stack
    // position; the Help menu's entry shows the same view again, and a play link of the site starts
    // that station. (How the view fills the site's sign-in form is the web views' test.)
    void siteView()
    {
        auto *siteLink = window().Ui::TunoraDEClass::statusBar->findChild<NavigateLabel *>("lblWebSite");
        QVERIFY(siteLink);
        const int pages = window().swStations->count();
        emit siteLink->linkActivated(m_service.root().toString());
        TreeBrowser *site = window().siteView();
        QVERIFY(site);
        QCOMPARE(window().swStations->currentIndex(), pages);

        window().swStations->setCurrentIndex(TunoraDE::PageFavorites);
        auto *siteAction = window().findChild<QAction *>("actionWebSite");
        QVERIFY(siteAction && window().menuHelp->actions().contains(siteAction));
        siteAction->trigger();
        QCOMPARE(window().siteView(), site);
        QCOMPARE(window().swStations->count(), pages + 1);
        QCOMPARE(window().swStations->currentWidget(), site->parentWidget());

        BASS::Station station = TunoraTest::stationAt("http://127.0.0.1:9/listen/4711", "Site Radio");
        station.setId("4711");
        emit window().siteView()->signal_playStation(&station);
        QCOMPARE(window().station().id(), "4711");
        QCOMPARE(window().lblStationName->text(), "Site Radio");
        window().stop(true);
    }

    // The product site's own pages: markup escaped, a session cookie only for a good password.
    void productSitePages()
    {
        const QByteArray home = rawRequest("GET", "/?q=%3Cscript%3Ealert(1)%3C%2Fscript%3E");
        QVERIFY2(home.startsWith("HTTP/1.1 200"), home.left(200).constData());
        QVERIFY(home.contains("Content-Security-Policy: default-src 'none'"));
        QVERIFY(home.contains("&lt;script&gt;alert(1)&lt;/script&gt;"));
        QVERIFY(!home.contains("<script"));
        const QRegularExpression count("lists ([0-9]+) radio stations");
        const QRegularExpressionMatch m = count.match(QString::fromUtf8(home));
        QVERIFY(m.hasMatch());
        QVERIFY(m.captured(1).toInt() > 0);

        // Signing in sets a session cookie scripts cannot read and other sites cannot send.
        const QByteArray form =
            "name=" + QUrl::toPercentEncoding(Member) + "&pass=" + QUrl::toPercentEncoding(Password);
        const QByteArray ok = rawRequest("POST", "/user", form);
        QVERIFY2(ok.startsWith("HTTP/1.1 303"), ok.left(300).constData());
        const QRegularExpression setCookie("Set-Cookie: (tunora_session=[0-9a-f]{64});([^\r\n]*)");
        const QRegularExpressionMatch c = setCookie.match(QString::fromLatin1(ok));
        QVERIFY(c.hasMatch());
        for (const char *attribute : {"HttpOnly", "Secure", "SameSite=Strict"})
            QVERIFY2(c.captured(2).contains(attribute), attribute);
        const QByteArray account = rawRequest("GET", "/user", {}, "Cookie: " + c.captured(1).toLatin1());
        QVERIFY(account.contains(QByteArray("Hello, " + Member.toUtf8())));
        QVERIFY(account.contains("Favourite stations"));

        const QByteArray refused = rawRequest("POST", "/user", "name=" + Member.toUtf8() + "&pass=wrong");
        QVERIFY(refused.startsWith("HTTP/1.1 403"));
        QVERIFY(!refused.contains("Set-Cookie"));
        QVERIFY(rawRequest("GET", "/play/999999999").startsWith("HTTP/1.1 404"));
    }

    // Twelve searches, one typed twice: ten remembered, alphabetical, each once; the menu lists
    // them after its own entry, and one of them runs again from the menu.
    void searchHistory()
    {
        const QStringList texts{"m", "b", "k", "a", "l", "c", "j", "d", "i", "e", "h", "b"};
        for (const QString &text : texts) {
            window().teSearch->setText(text);
            window().slot_searchReturnPressed();
        }
        QStringList stored;
        for (int n = 1; n <= 10; ++n)
            stored << QSettings().value(QString("search_%1").arg(n)).toString();
        QCOMPARE(stored, (QStringList{"a", "b", "c", "d", "e", "h", "i", "j", "k", "l"}));

        window().teSearch->setText("genre:Rock");
        window().slot_searchOnline();
        QMenu *searchMenu = window().searchMenu();
        const QList<QAction *> actions = searchMenu->actions();
        QCOMPARE(actions.first(), window().searchAction());
        QCOMPARE(actions.first()->text(), QString("Rock"));
        QVERIFY(actions.at(1)->isSeparator());
        QStringList shown;
        for (QAction *a : actions.mid(2))
            shown << a->text();
        QCOMPARE(shown, stored);
        searchMenu->hide();

        window().slot_searchMenuTriggered(actions.at(3)); // "b"
        QCOMPARE(window().currentStationList(), list(6));
        QCOMPARE(list(6)->queryText(), QString("b"));
        QVERIFY(filled(list(6)));
        window().teSearch->clear();
        window().slot_searchOnline();
        QVERIFY(!window().searchMenu()->actions().contains(window().searchAction()));
        window().searchMenu()->hide();
    }

    // The reply to a search given up for another is dropped. A page of results ends in a row that
    // names the total; paging links act on the list in view: "next" appends the next page, anything
    // else goes back; the status bar offers the links that apply.
    void paging()
    {
        auto *links = window().findChild<NavigateLabel *>("lblPaging");
        QVERIFY(links);
        for (const char *search : {"Life Radio", "FR"}) {
            window().teSearch->setText(search);
            window().slot_searchReturnPressed();
        }
        QVERIFY(filled(list(6)));
        QTest::qWait(200);
        const QStringList first = names(list(6));
        QCOMPARE(first.size(), TunoraAPI::PageSize);
        QVERIFY2(!first.contains("Life Radio"), qPrintable(first.join(", ")));
        QTreeWidgetItem *more = list(6)->moreRow();
        QVERIFY(more);
        QCOMPARE(list(6)->indexOfTopLevelItem(more), list(6)->topLevelItemCount() - 1);
        const int total = list(6)->api()->resultsTotal();
        QVERIFY(more->toolTip(TreeStationWidget::ColumnName).contains(QString::number(total)));
        QVERIFY(links->text().contains("href=\"next\"") && !links->text().contains("previous"));
        emit links->signal_linkClicked(links, "next");
        QVERIFY(filled(list(6)));
        QCOMPARE(list(6)->pageIndex(), 1);
        QCOMPARE(names(list(6)).size(), total);
        QVERIFY(!list(6)->moreRow());
        QCOMPARE(list(6)->topLevelItem(total - 1)->text(TreeStationWidget::ColumnNumber),
                 QString::number(total));
        QVERIFY(links->text().contains("href=\"previous\"") && !links->text().contains("next"));
        emit links->signal_linkClicked(links, "previous");
        QVERIFY(filled(list(6)));
        QCOMPARE(list(6)->pageIndex(), 0);
        QCOMPARE(names(list(6)), first);
        menu()->selectSection(TreeRadioWidget::Favorites);
        QVERIFY(links->isHidden());
    }

    // A change in one list shows in the others (also in those made after it, when first asked
    // for), survives a restart, and "Clear Column Settings" brings the defaults back.
    void columns()
    {
        window().slot_CheckForNewVersion();
        const auto layout = [](TreeStationWidget *l) {
            QStringList out;
            for (int c = 0; c < TreeStationWidget::ColumnCount; ++c)
                out << QString("%1:%2:%3:%4")
                           .arg(c)
                           .arg(l->header()->visualIndex(c))
                           .arg(l->isColumnHidden(c))
                           .arg(l->isColumnHidden(c) ? 0 : l->columnWidth(c));
            return out.join(' ');
        };
        TreeStationWidget *source = list(3);
        const QString defaults = layout(source);
        // Through the menu of the header's corner button, as the listener does: it offers the columns
        // that may be hidden.
        NavigateLabel *corner = source->headerEx()->cornerButton();
        emit corner->signal_mouseButtonLeft(corner, corner->mapToGlobal(QPoint(4, 4)));
        QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
        QWidget *headerMenu = QApplication::activePopupWidget();
        QCOMPARE(headerMenu->actions().size(), TreeStationWidget::ColumnCount - 2);
        const QString title = source->headerItem()->text(TreeStationWidget::ColumnLocation);
        for (QAction *a : headerMenu->actions())
            if (a->text().remove('&') == title)
                a->trigger();
        headerMenu->close();
        const QString changed = layout(source);
        QVERIFY(changed != defaults);
        for (int n : {1, 4, 5, 6})
            QCOMPARE(layout(list(n)), changed);

        m_window.reset();
        m_window = TunoraTest::newWindow();
        m_boxes.clear();
        for (int n : {1, 3, 4, 5, 6})
            QCOMPARE(layout(list(n)), changed);

        window().slot_CheckForNewVersion();
        window().slot_CheckForNewVersion();
        for (int n : {1, 3, 4, 5, 6})
            QCOMPARE(layout(list(n)), defaults);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first(), "A restart is required for this option.");
        QVERIFY(QSettings().value("twStations4_tree").toByteArray().isEmpty());
        const int genres = list(3)->columnWidth(TreeStationWidget::ColumnGenres);
        QVERIFY(!list(3)->restoreLayout("not a header state")); // a corrupt layout changes nothing
        QCOMPARE(list(3)->columnWidth(TreeStationWidget::ColumnGenres), genres);
    }
    // German picked: fetched from the service, shown at once; cancelled: the language stays.
    void languages_data()
    {
        QTest::addColumn<QString>("before"); // the language in use when the dialog opens
        QTest::addColumn<QString>("pick");   // empty: cancelled
        QTest::newRow("German") << QString("English") << QString("Deutsch");
        QTest::newRow("cancelled") << QString("Deutsch") << QString();
    }

    void languages()
    {
        QFETCH(QString, before);
        QFETCH(QString, pick);
        AppSettings &settings = AppSettings::instance();
        if (before != "English") // started in another language: the way the window's start-up finds it
            settings.writeLanguage({"de", before}, Member);
        m_window = TunoraTest::newWindow();
        TunoraDE &window = *m_window;
        QVERIFY(window.menuFile->actions().contains(window.actionLanguages));
        QVERIFY(window.menuHelp->actions().contains(window.checkVersionAction()));

        answerLanguageDialog(pick);
        window.actionLanguages->trigger();
        QVERIFY(!m_languagesOffered.isEmpty());
        QCOMPARE(m_languagesOffered.first(), before);
        for (const char *name : {"English", "Deutsch", "Français", "Español"})
            QVERIFY2(m_languagesOffered.contains(QString::fromUtf8(name)), name);

        // Shown at once, without a restart.
        QTRY_COMPARE(window.menuFile->title(), "&Datei");
        QCOMPARE(window.checkVersionAction()->text(), "Nach &neuer Version suchen...");
        QCOMPARE(window.settingsPage()->findChild<QLabel *>("lblMaxBitrateValue")->text(), "Unbegrenzt");
        QCOMPARE(LanguageSetup::current().code, "de");
        BASS::Language stored;
        settings.readLanguage(stored, Member);
        QCOMPARE(stored.code, "de");
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.value(0)));

        // A screen reader can name every control: the help frame (its close button is an image), the
        // sign-up panel, the language question.
        LoginDlg login;
        LanguageDlg dialog;
        login.show();
        login.slot_Help();
        QCOMPARE(TunoraTest::unnamedControls(&login), QStringList());
        login.slot_NotAMember(QString());
        QCOMPARE(TunoraTest::unnamedControls(&login), QStringList());
        dialog.show();
        QCOMPARE(TunoraTest::unnamedControls(&dialog), QStringList());
    }

    void checkVersionNow_data()
    {
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<int>("kind"); // of the one box shown
        QTest::addColumn<QStringList>("parts");

        QTest::newRow("same version")
            << true << int(BASS::MessageKind::Information)
            << QStringList{"No new version was found.", "Latest Version: <b>1.02</b>"};
        QTest::newRow("directory unreachable")
            << false << int(BASS::MessageKind::Critical) << QStringList{"refused"};
    }

    void checkVersionNow()
    {
        QFETCH(bool, reachable);
        QFETCH(int, kind);
        QFETCH(QStringList, parts);
        // What the window asked for at start (news, languages, account) has been answered.
        QTRY_VERIFY_WITH_TIMEOUT(!window().api().busy(), 30000);
        QCoreApplication::processEvents();
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.value(0)));

        if (!reachable) // a port nothing listens on
            AppSettings::instance().setEndpoint(
                AppSettings::DirectoryRoot, QString("https://127.0.0.1:%1/").arg(TunoraTest::freeTcpPort()));
        window().checkVersionAction()->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, 30000);
        QCOMPARE(int(m_kinds.first()), kind);
        for (const QString &part : parts)
            QVERIFY2(m_boxes.first().contains(part), qPrintable(m_boxes.first()));
        // Asked for by hand, the check also counts as the run's automatic one: nothing is sent.
        emit window().signal_versionCheckDue();
        QVERIFY(!window().api().busy());
    }

    void signUpChecks_data()
    {
        QTest::addColumn<QString>("fields"); // name, password, retyped, e-mail, retyped
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");

        const QString all = "All boxes must be filled in";
        QTest::newRow("all empty") << "||||" << all << "leUsername";
        QTest::newRow("e-mails compared first") << "ann|pw1234|other|a@example.org|b@example.org"
                                                << "Emails are not the same"
                                                << "leEmail";
        QTest::newRow("passwords differ") << "ann|pw1234|pw12345|a@example.org|a@example.org"
                                          << "Passwords are not the same"
                                          << "lePassword";
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
            panel.findChild<QLineEdit *>(names[i])->setText(fields.split(QLatin1Char('|')).at(i));
        QTest::mouseClick(panel.findChild<QPushButton *>("btSignUp"), Qt::LeftButton);
        QCOMPARE(panel.message(), message);
        QCOMPARE(panel.focusWidget()->objectName(), focus);
        QCOMPARE(m_service.mails().size(), mails); // checked locally: nothing reached the service
    }

    // A wrong password is refused and nothing is stored (signing in: the session test).
    void signInRefused()
    {
        AppSettings &settings = AppSettings::instance();
        settings.setCredentials(QString(), QString());
        LoginDlg dialog;
        dialog.show();
        dialog.setCredentials(Member, "wrong password");
        QTest::mouseClick(dialog.findChild<QPushButton *>("btSignIn"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.message(), "Invalid member name or password");
        QCOMPARE(dialog.focusWidget()->objectName(), "leUsername");
        QVERIFY(settings.memberName().isEmpty() && !dialog.activationPanel());
    }

    // A lost password asked for by e-mail address: the service mails the reset link.
    void lostPassword()
    {
        LoginDlg dialog;
        dialog.show();
        dialog.slot_ForgotPassword(QString());
        QCOMPARE(dialog.mode(), LoginDlg::PasswordRequestMode);
        dialog.setCredentials(Member + "@example.org", QString());
        const qsizetype before = m_service.mails().size();
        QTest::mouseClick(dialog.findChild<QPushButton *>("btSignIn"), Qt::LeftButton);
        QCOMPARE(dialog.message(), "Password sent");
        QCOMPARE(m_service.mails().size(), before + 1);
        QVERIFY(m_service.mails().last().contains("/account/reset"));
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
        QCOMPARE(AppSettings::instance().memberName(), Member);
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
        settings.writeLanguage({"en", "English"}, Member);
        Settings panel;
        panel.setSaveInterval(50);
        panel.setLanguages({{"en", "English"}, {"de", "Deutsch"}, {"de", "Deutsch"}}, "en");
        QComboBox *languages = panel.findChild<QComboBox *>("cbLanguages");
        QCOMPARE(languages->count(), 2);
        QCOMPARE(languages->currentText(), "English");
        QVERIFY(!panel.isChanged());
        languages->setCurrentIndex(languages->findText("Deutsch"));
        QTRY_COMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first(), "Your new settings will be applied when Tunora restarts, restart now?");
        QTEST(m_restarts, "restarts");
        BASS::Language stored;
        settings.readLanguage(stored, Member);
        QCOMPARE(stored.code, "de");
        QCOMPARE(stored.name, "Deutsch");
        // Asked once: the saved language is the current one from now on.
        QTRY_VERIFY(!panel.isChanged());
        QCOMPARE(m_boxes.size(), 1);
    }

    void homeLocation_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("box");
        QTest::newRow("recorded") << "  Berlin,   Germany "
                                  << "Berlin, Germany" << QString();
        QTest::newRow("refused") << QString(200, QLatin1Char('x')) << QString(200, QLatin1Char('x'))
                                 << "Invalid request";
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
        QPushButton *set = panel.findChild<QPushButton *>("btSetLocation");
        QVERIFY(!set->isEnabled());
        QLineEdit *location = panel.findChild<QLineEdit *>("leHomeLocation");
        location->setText(typed);
        QVERIFY(set->isEnabled());
        QTest::mouseClick(set, Qt::LeftButton);
        QCOMPARE(location->text(), shown);
        // (What the service stores for a name: the contract suite's home-location table.)
        QCOMPARE(m_boxes, box.isEmpty() ? QStringList() : QStringList{box});
    }

    // The version check: a newer version leads to a question with its changes, and downloads are
    // refused before anything reaches the desktop (wrong size or hash, not https, redirected to http).
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
        const QString wrongHash = QString(hash).replace(0, 1, hash[0] == u'0' ? "1" : "0");
        const QString deb = m_https.url("/tunora_1.03_amd64.deb");
        const int info = int(BASS::MessageKind::Information), question = int(BASS::MessageKind::Question),
                  warning = int(BASS::MessageKind::Warning);
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
            << yes << m_http.url("/tunora_1.03_amd64.deb") << n << hash << true << O::Failed << warning;
        QTest::newRow("redirect to http")
            << yes << m_https.url("/to-http") << n << hash << true << O::Failed << warning;
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
        BASS::SoftwareVersion v;
        QFETCH(QString, sha256);
        v.comment_version = "1.03";
        v.comment = "<b>Faster</b> & more. Fewer stalls.";
        v.file_location = address;
        v.file_size = size ? QString::number(size) : QString();
        v.file_sha256 = sha256;
        check.check(v);

        QCOMPARE(check.lastOutcome(), outcome);
        QCOMPARE(m_kinds.isEmpty() ? -1 : int(m_kinds.last()), box);
        // The question lists the changes sentence by sentence, as text.
        QVERIFY2(m_boxes.value(0).contains("&lt;b&gt;Faster&lt;/b&gt; &amp; more<br> Fewer stalls<br>"),
                 qPrintable(m_boxes.value(0)));
        if (!m_boxes.isEmpty() && outcome != O::Opened && outcome != O::Saved)
            QVERIFY2(m_boxes.last().contains("Current Version: <b>1.02</b>") ||
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

    void checkedFromTheEventLoop()
    {
        VersionCheck check(nullptr);
        auto *v = new BASS::SoftwareVersion;
        v->comment_version = "1.02";
        v->report = true;
        check.slot_versionFound(v);
        delete v; // the record lives only as long as the signal
        QVERIFY(m_boxes.isEmpty());
        QTRY_COMPARE(m_boxes.size(), 1);
        QVERIFY(m_boxes.first().contains("Latest Version: <b>1.02</b>"));
    }

    void wishListName_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("file");
        QTest::newRow("all ten") << "<>:\"/\\|?*%"
                                 << "----------_track_wishlist.xml";
        QTest::newRow("line breaks and tabs removed") << "a\nb\r\tc"
                                                      << "abc_track_wishlist.xml";
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
        settings.setCredentials(Member, "s3cret");
        QCOMPARE(mode(), 0600u);
        // A file widened by hand is tightened again before the password is written.
        QVERIFY(::chmod(path.constData(), 0644) == 0);
        settings.setCredentials(Member, Password);
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
            QVERIFY2(url.isValid() && url.host() == "127.0.0.1", qPrintable(AppSettings::endpointKey(which)));
        }
    }

    void drillRegions()
    {
        // Region, country and part of a country each replace the rows above them in the menu.
        TreeRadioWidget menu;
        TreeStationWidget list;
        QTreeWidgetItem *regions = openSection(menu, TreeRadioWidget::Regions);
        QTreeWidgetItem *europe = childNamed(regions, "Europe");
        QVERIFY(europe);
        menu.setCurrentItem(europe);
        QTreeWidgetItem *austria = childNamed(regions, "Austria");
        QVERIFY2(austria, "countries of the region replace the regions");
        QCOMPARE(regions->child(0)->text(0), "Europe"); // the path row leads
        QCOMPARE(menu.radioItem(austria)->kind, TreeRadioWidget::KindExpandable);

        QSignalSpy chosen(&menu, &TreeRadioWidget::signal_SelectionChanged);
        choose(menu, austria, list);
        QCOMPARE(chosen.first().at(0).toInt(), int(TreeRadioWidget::Regions));
        QCOMPARE(chosen.first().at(1).toString(), "AT");
        QCOMPARE(menu.currentCountry() ? menu.currentCountry()->code() : QString(), "AT");
        QVERIFY2(names(&list).contains("Life Radio"), qPrintable(names(&list).join(", ")));
        // The parts of the country replaced the countries; the path names region and country.
        const QList<QTreeWidgetItem *> path = menu.pathRows();
        QCOMPARE(path.size(), 2);
        QCOMPARE(path.at(1)->text(0), "Austria");
        QTreeWidgetItem *part = regions->child(int(path.size()));
        QVERIFY(part);
        choose(menu, part, list);
        QVERIFY(names(&list).contains("Life Radio"));
    }

    void browseRows()
    {
        // Region rows of a station list open into their countries, country rows into their stations.
        TreeRadioWidget menu;
        QTreeWidgetItem *regions = openSection(menu, TreeRadioWidget::Regions);
        auto *europe = dynamic_cast<BASS::WorldRegion *>(menu.itemObject(childNamed(regions, "Europe")));
        QVERIFY(europe);
        TreeStationWidget list;
        QTreeWidgetItem *region = list.addBrowseRow(*europe);
        QCOMPARE(region->childCount(), 1); // the placeholder
        region->setExpanded(true);
        QVERIFY(region->childCount() > 10);
        QTreeWidgetItem *swiss = nullptr;
        for (int i = 0; i < region->childCount(); ++i)
            if (region->child(i)->text(TreeStationWidget::ColumnName) == "Switzerland")
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
        QVERIFY(filled(&list));
        const QStringList first = stations();
        QVERIFY2(first.contains("SwissGroove"), qPrintable(first.join(", ")));
        QCOMPARE(list.topLevelItemCount(), 1); // the rest of the list stays

        // Opening it again after it closed lists its stations again, not as duplicates of gone rows.
        swiss->setExpanded(false);
        swiss->setExpanded(true);
        QVERIFY(filled(&list));
        QCOMPARE(stations().size(), first.size());
    }

    void favoriteDropped()
    {
        // A station dropped on FAVORITES is added; on any other row the drop is refused.
        TreeStationWidget list;
        list.queryStations("PL");
        QVERIFY(filled(&list));
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
        QVERIFY(filled(&favorites));
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

    void scriptedReplies_data()
    {
        // Hostile, truncated and malformed replies are the fuzz targets' part; here what a list shows.
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("markup in names")
            << stationsReply(stationXml("1", "&lt;b&gt;x&lt;/b&gt;"), 1) << QStringList{"<b>x</b>"};
        QTest::newRow("station twice")
            << stationsReply(stationXml("7", "Twice") + stationXml("7", "Twice"), 2) << QStringList{"Twice"};
        QTest::newRow("no streams") << stationsReply("<station><id>3</id><name>Silent</name></station>", 1)
                                    << QStringList{};
        // Several times the amount read per turn of the event loop: every station, in order.
        QByteArray large;
        QStringList largeNames;
        for (int i = 0; i < 1500; ++i) {
            large += stationXml("L" + QByteArray::number(i), "Large " + QByteArray::number(i));
            largeNames << "Large " + QString::number(i);
        }
        QTest::newRow("large reply") << stationsReply(large, 1500, 1500) << largeNames;
    }

    void scriptedReplies()
    {
        QFETCH(QByteArray, reply);
        TreeStationWidget list;
        fillScripted(list, reply);
        QTEST(names(&list), "expected");
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
        QCOMPARE(names(&list).mid(0, 3), (QStringList{"S12", "S11", "S10"}));
        list.sortItems(TreeStationWidget::ColumnName, Qt::AscendingOrder);
        QCOMPARE(names(&list).mid(0, 3), (QStringList{"S0", "S1", "S10"}));
        QCOMPARE(list.indexOfTopLevelItem(list.moreRow()), list.topLevelItemCount() - 1);

        QSignalSpy play(&list, &TreeStationWidget::signal_playStation);
        QTreeWidgetItem *alpha = list.rowOfStation("a");
        QVERIFY(alpha);
        emit list.itemActivated(alpha, TreeStationWidget::ColumnName);
        QCOMPARE(play.size(), 1);
        QCOMPARE(play.first().at(1).value<BASS::Station>().id(), "a");
        QCOMPARE(play.first().at(2).toInt(), -1);
        // A station with two streams offers each stream ahead of the five actions.
        std::unique_ptr<QMenu> menu(list.createContextMenu(alpha));
        QCOMPARE(menu->actions().size(), 2 + 1 + 5);
        menu->actions().at(1)->trigger();
        QCOMPARE(play.size(), 2);
        QCOMPARE(play.last().at(2).toInt(), 1);
        // The station playing is marked.
        list.UpdateValidTreeItems("a", 1);
        QVERIFY(alpha->font(TreeStationWidget::ColumnName).bold());
        list.UpdateValidTreeItems("a", 0);
        QVERIFY(!alpha->font(TreeStationWidget::ColumnName).bold());
    }

    void piecewiseReading_data()
    {
        QTest::addColumn<QByteArray>("reply");
        const QString corpus = QFINDTESTDATA("../fuzz/corpus/directoryreplies");
        const QStringList files = QDir(corpus).entryList({"stationlistreader_*"}, QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString &file : files) {
            QFile f(corpus + "/" + file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QTest::newRow(qPrintable("corpus " + file)) << f.readAll();
        }
        // (The corpus has a network named by id after its block, and lists without a limit.)
        QTest::newRow("empty station ends the list")
            << stationsReply(stationXml("1", "One") + "<station></station>" + stationXml("2", "Two"), 2);
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
                           .join("|");
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

    // An attempt on a server that never answers is given up by the button or by the next play
    // without waiting for it (bench/window-probe stop measures how long that takes); the
    // abandoned run leaves nothing behind.
    void abandonsSilentServer_data()
    {
        QTest::addColumn<int>("stations");
        QTest::newRow("play button") << 1;
        QTest::newRow("second play") << 2;
        // A third station asked for while the second connects (that run was not given up, and
        // the third never started).
        QTest::newRow("third play") << 3;
    }

    void abandonsSilentServer()
    {
        QFETCH(int, stations);
        window().playStation(stationAt(silentUrl()));
        QTRY_VERIFY_WITH_TIMEOUT(attemptRunning(), 10000);
        if (stations == 1) {
            QTest::mouseClick(window().btPlay, Qt::LeftButton);
            QCOMPARE(window().btPlay->toolTip(), "Play");
        }
        for (int n = 2; n <= stations; ++n) {
            // Each station runs once the run before it has ended, and is itself abandoned.
            const QByteArray path = "/silent.mp3?" + QByteArray::number(n);
            const QString name = QStringLiteral("Radio %1").arg(n);
            window().playStation(stationAt(silentUrl(path.constData()), name));
            QCOMPARE(window().btPlay->toolTip(), "Stop");
            // The run given up is counted until it ends, or its end would pass for the new
            // station's and leave it waiting (when the new one is resolved first).
            QVERIFY(!attemptRunning() || window().m_abandonedRuns == 1);
            QTRY_VERIFY_WITH_TIMEOUT(
                !window().m_connectPending && window().m_abandonedRuns == 0 && attemptRunning(), 10000);
            QCOMPARE(window().lblStationName->text(), name);
        }
        if (stations > 1)
            window().stop(true);
        QTRY_VERIFY_WITH_TIMEOUT(!attemptRunning(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(window().m_abandonedRuns, 0, 10000);
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QVERIFY(!window().channel()->HasChannel());
    }

    // Rules of the button, the status line and the track history.
    void windowRules()
    {
        QSettings().remove("StartupStationURL");
        m_window = TunoraTest::newWindow();
        QTest::mouseClick(window().btPlay, Qt::LeftButton); // nothing played and no row: nothing starts
        QVERIFY(!window().channel()->IsResolving() && !attemptRunning());
        QCOMPARE(window().btPlay->toolTip(), "Play");
        window().showStatus("Transient"); // shown for five ticks
        for (int tick = 0; tick < 4; ++tick)
            window().slot_displayTimerUpdate();
        QCOMPARE(status(), "Transient");
        window().slot_displayTimerUpdate();
        QVERIFY(status().isEmpty());
        addTrack("A", "1");
        window().slot_bassEvent(window().channel(), BASS::EventStallChanged, 0);
        QCOMPARE(status(), "Buffering");
        window().slot_bassEvent(window().channel(), BASS::EventStallChanged, 1);
        QCOMPARE(status(), "Track History");
        for (int n = 2; n <= 21; ++n) // the 21st song drops the oldest
            addTrack("A", QString::number(n));
        QCOMPARE(window().trackHistory().size(), 20);
        QCOMPARE(window().trackHistory().first().song.title(), "2");
        window().slot_TNStreamReady(window().channel(), 1, "\x01\x02 not a list");
        QCOMPARE(window().channel()->State(), int(BASS::Stream::StateFailed));
    }

    // Typed addresses: only web addresses play; the last ten are kept, newest first, once each.
    void openAddress_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<int>("played");
        QTest::addColumn<QString>("newest");
        QTest::addColumn<int>("kept");
        QTest::newRow("http") << QStringList{"  http://127.0.0.1:9/a.mp3 "} << 1 << "http://127.0.0.1:9/a.mp3"
                              << 1;
        QTest::newRow("file refused") << QStringList{"file:///etc/passwd"} << 0 << "" << 0;
        QStringList many;
        for (int n = 0; n < 12; ++n)
            many << QStringLiteral("https://127.0.0.1:9/%1.mp3").arg(n % 11);
        QTest::newRow("eleven kept as ten") << many << 12 << "https://127.0.0.1:9/0.mp3" << 10;
    }

    void openAddress()
    {
        QFETCH(QStringList, typed);
        QFETCH(QString, newest);
        QSettings().remove("RecentURLs");
        int accepted = 0;
        for (const QString &text : typed)
            accepted += window().openAddress(text) ? 1 : 0;
        QTEST(accepted, "played");
        const QStringList recent = QSettings().value("RecentURLs").toStringList();
        QCOMPARE(recent.value(0), newest);
        QTEST(int(recent.size()), "kept");
        if (accepted > 0)
            QCOMPARE(window().station().firstStreamUrl(), newest);
        window().stop(true);
        QTRY_VERIFY_WITH_TIMEOUT(!attemptRunning(), 10000);
    }

    // The desktop's controls act as the button and the slider do, and hear the slider.
    void desktopControls()
    {
        BASS::MprisPlayer *mpris = window().mpris();
        emit mpris->sig_volumeRequested(30);
        QCOMPARE(window().sldVolume->value(), 30);
        QCOMPARE(BASS::GetMasterVolume(), 30);
        window().sldVolume->setValue(70);
        QCOMPARE(mpris->volume(), 70);

        window().m_station = stationAt(silentUrl());
        emit mpris->sig_playPauseRequested();
        QCOMPARE(window().btPlay->toolTip(), "Stop");
        emit mpris->sig_playRequested(); // already under way: stays
        QCOMPARE(window().btPlay->toolTip(), "Stop");
        emit mpris->sig_stopRequested();
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QTRY_VERIFY_WITH_TIMEOUT(!attemptRunning(), 10000);
    }

    // Every key acts on what it names; Space types into a text field instead of playing.
    void shortcuts_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("shown"); // what the window shows afterwards: "what=value;..."
        QTest::newRow("space plays") << "twRadio" << QKeySequence(Qt::Key_Space) << "play=Stop";
        QTest::newRow("space in the search box")
            << "teSearch" << QKeySequence(Qt::Key_Space) << "play=Play;search= ";
        QTest::newRow("ctrl+f") << "btPlay" << QKeySequence(Qt::CTRL | Qt::Key_F) << "focus=teSearch";
        QTest::newRow("ctrl+m") << "btPlay" << QKeySequence(Qt::CTRL | Qt::Key_M) << "muted=1";
        QTest::newRow("ctrl+up") << "twRadio" << QKeySequence(Qt::CTRL | Qt::Key_Up) << "volume=55";
        QTest::newRow("ctrl+d without a station")
            << "twRadio" << QKeySequence(Qt::CTRL | Qt::Key_D) << "status=Select a station first";
    }

    void shortcuts()
    {
        QFETCH(QString, focus);
        QFETCH(QKeySequence, key);
        QFETCH(QString, shown);
        BASS::SetMasterVolume(50);
        window().sldVolume->setValue(50);
        window().playStation(stationAt(silentUrl()));
        window().stop(true);
        QTRY_VERIFY_WITH_TIMEOUT(!attemptRunning(), 10000);
        auto *target = window().findChild<QWidget *>(focus);
        target->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), target);
        QTest::keySequence(QApplication::focusWidget(), key);
        const QMap<QString, QString> now{{"play", window().btPlay->toolTip()},
                                         {"search", window().teSearch->text()},
                                         {"focus", QApplication::focusWidget()->objectName()},
                                         {"muted", QString::number(BASS::IsMasterMuted())},
                                         {"volume", QString::number(window().sldVolume->value())},
                                         {"status", window().lblTrackHistory->text()}};
        BASS::SetMasterVolume(50);
        for (const QString &pair : shown.split(';'))
            QCOMPARE(pair.section('=', 0, 0) + "=" + now.value(pair.section('=', 0, 0)), pair);
    }

    // Tab walks the player controls, then the search and the sections; no control goes unnamed.
    void keyboardAndScreenReader()
    {
        window().btPlay->setFocus();
        QStringList walked{QApplication::focusWidget()->objectName()};
        for (int n = 0; n < 4; ++n) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walked << QApplication::focusWidget()->objectName();
        }
        QStringList expected{"btPlay", "sldVolume", "teSearch", "btSearch", "twRadio"};
        // The record toggle takes the focus only while it can be used (a station plays).
        if (auto *record = window().findChild<QWidget *>("btRecord"); record && record->isEnabled())
            expected.insert(1, "btRecord");
        QCOMPARE(walked, expected.mid(0, 5));

        // The first page, then the settings page with the desktop group.
        QStringList unnamed = TunoraTest::unnamedControls(&window());
        window().swStations->setCurrentIndex(TunoraDE::PageSettings);
        unnamed += TunoraTest::unnamedControls(&window());
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join('\n')));
        QCOMPARE(window().btPlay->accessibleName(), "Play");
        window().playStation(stationAt(silentUrl()));
        QCOMPARE(window().btPlay->accessibleName(), "Stop");
    }

    // The tray icon follows the setting; closing only hides the window when there is an icon to
    // bring it back, and turning the icon off brings a hidden window back.
    void tray_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addColumn<bool>("closeToTray");
        QTest::addColumn<bool>("closes");
        QTest::newRow("close to tray without an icon") << false << true << true;
        QTest::newRow("icon, closing closes") << true << false << true;
        QTest::newRow("icon, closing hides") << true << true << false;
    }

    void tray()
    {
        QFETCH(bool, tray);
        QFETCH(bool, closeToTray);
        QFETCH(bool, closes);
        QVERIFY(!window().findChild<QSystemTrayIcon *>("trayIcon"));
        QSettings().setValue(DesktopSettings::closeToTrayKey(), closeToTray);
        desktop().applySettings();
        // The icon through the settings page, which is made when first shown and must still reach
        // the window's desktop side then.
        window().swStations->setCurrentIndex(TunoraDE::PageSettings);
        window().swStations->currentWidget()->findChild<QCheckBox *>("cbTrayIcon")->setChecked(tray);
        auto *icon = window().findChild<QSystemTrayIcon *>("trayIcon");
        QCOMPARE(icon && icon->isVisible(), tray);
        if (icon) {
            QVERIFY(icon->contextMenu()->actions().contains(desktop().sleepTimerMenu()->menuAction()));
            // A click on the icon hides the window and shows it again.
            emit icon->activated(QSystemTrayIcon::Trigger);
            QVERIFY(!window().isVisible());
            emit icon->activated(QSystemTrayIcon::Trigger);
            QVERIFY(window().isVisible());
        }
        QCOMPARE(window().close(), closes);
        QVERIFY(!window().isVisible());
        QSettings().setValue(DesktopSettings::trayIconKey(), false);
        desktop().applySettings();
        QCOMPARE(window().isVisible(), !closes);
        if (icon)
            QVERIFY(!icon->isVisible());
    }

    // From the menu: the volume fades over the last 30 s, playback stops at the end and the
    // listener's volume comes back (the end-of-song choice and its short fade: the timer's test).
    void sleepTimer()
    {
        window().sldVolume->setValue(80);
        window().playStation(stationAt(silentUrl()));
        SleepTimer *timer = desktop().sleepTimer();
        s_now = 1000;
        desktop().sleepTimerMenu()->actions().at(0)->trigger(); // 15 minutes
        QVERIFY(timer->isActive());
        s_now += 15 * 60000 - 15000;
        timer->tick();
        QCOMPARE(window().btPlay->toolTip(), "Stop");
        QVERIFY2(qAbs(BASS::GetMasterVolume() - 40) <= 2,
                 qPrintable(QString::number(BASS::GetMasterVolume())));
        s_now = 1000 + 15 * 60000;
        timer->tick();
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QCOMPARE(BASS::GetMasterVolume(), 80);
        QVERIFY(!timer->isActive());
        QVERIFY(desktop().sleepTimerMenu()->actions().last()->isChecked());
    }

    // Favourites go to the account by stream address and come back as a playlist; the wish list
    // comes in from CSV without doubles and goes out again the same.
    void filesRoundTrip()
    {
        QVERIFY(TunoraTest::createListener(m_service, "desk", "secret word"));

        // Import: one station of the directory (its address written differently), one unknown.
        QTemporaryDir folder;
        QString error;
        const QString m3u = folder.filePath("in.m3u");
        QVERIFY(ExportFiles::saveFile(m3u,
                                      "#EXTM3U\n#EXTINF:-1,Desk Test Radio\nHTTP://127.0.0.1:9/desk.mp3\n"
                                      "#EXTINF:-1,Nowhere FM\nhttp://127.0.0.1:9/nowhere.mp3\n",
                                      &error));
        QSignalSpy done(&desktop(), &WindowDesktop::signal_favoritesDone);
        desktop().importFavorites(m3u);
        QVERIFY(done.wait(30000));
        const QString report = done.at(0).at(1).toString();
        QVERIFY2(done.at(0).at(0).toBool() && report.startsWith("Stations added to the favorites: 1.") &&
                     report.contains("Nowhere FM") && !report.contains("Desk Test Radio"),
                 qPrintable(report));
        QCOMPARE(m_boxes.value(0), report);

        const QString xspf = folder.filePath("out.xspf");
        desktop().exportFavorites(xspf);
        QVERIFY(done.wait(30000));
        QVERIFY(done.at(1).at(0).toBool());
        QByteArray data;
        QList<ExportFiles::StationEntry> entries;
        QVERIFY(ExportFiles::loadFile(xspf, data, &error));
        QVERIFY(data.contains("<playlist") && ExportFiles::readStations(data, entries, nullptr, &error));
        QCOMPARE(entries,
                 (QList<ExportFiles::StationEntry>{{"Desk Test Radio", "http://127.0.0.1:9/desk.mp3"}}));

        const QList<ExportFiles::WishRow> rows{{"Artist - Song", "Desk Test Radio",
                                                QDateTime({2026, 12, 1}, {20, 0}, Qt::UTC),
                                                "https://example.org/a"}};
        const QString csv = folder.filePath("wishes.csv");
        QVERIFY(ExportFiles::saveFile(csv, ExportFiles::writeWishList(rows), &error));
        QString wishReport;
        for (int n = 0; n < 2; ++n)
            QVERIFY2(desktop().importWishList(csv, &wishReport), qPrintable(wishReport));
        QCOMPARE(wishReport, "Songs added to the wish list: 0.");
        QCOMPARE(window().trackLists()->wishList().size(), 1);
        QVERIFY2(desktop().exportWishList(csv, &error), qPrintable(error));
        QList<ExportFiles::WishRow> back;
        QVERIFY(ExportFiles::loadFile(csv, data, &error) &&
                ExportFiles::readWishList(data, back, nullptr, &error));
        QCOMPARE(back, rows);
    }

    // What a later start hands over (the hand-over itself: the desktop suite's single-instance case)
    // brings the window back, which plays it or says why not.
    void secondStart_data()
    {
        QTest::addColumn<QString>("argument"); // "@silent": the silent server's address
        QTest::addColumn<QString>("status");
        QTest::newRow("address") << "@silent"
                                 << "Connecting";
        QTest::newRow("refused") << "ftp://127.0.0.1/x.mp3"
                                 << "Not played: ftp://127.0.0.1/x.mp3";
    }

    void secondStart()
    {
        QFETCH(QString, argument);
        QFETCH(QString, status);
        argument.replace("@silent", silentUrl());
        window().showMinimized();
        desktop().openArguments({argument});
        QVERIFY(window().isVisible() && !window().isMinimized());
        const bool plays = status == "Connecting";
        QCOMPARE(window().btPlay->toolTip(), plays ? "Stop" : "Play");
        QCOMPARE(window().station().firstStreamUrl() == argument, plays);
        QVERIFY2(window().lblTrackHistory->text().startsWith(status),
                 qPrintable(window().lblTrackHistory->text()));
    }

    // Played from a station record: 6 -> 3 -> 1, titles move from "Playing" to "Last played",
    // a title with markup shows as it stands, the button stops, the server's end times out.
    void playsIcecastMount()
    {
        if (!IcecastServer::available())
            QSKIP("icecast2 or ffmpeg is not installed");
        QVERIFY2(icecastUp(), qPrintable(m_icecastError));
        IcecastServer &icecast = *m_icecast;
        QString error;
        IcecastServer::Source source;
        source.mount = "/ends.mp3";
        QVERIFY2(icecast.startSource(source, &error), qPrintable(error));
        const QString mount = this->mount("/ends.mp3");

        QSignalSpy stateSpy(&window(), &TunoraDE::signal_stateChanged);
        window().playStation(stationAt(mount, "Icecast Radio"));
        QCOMPARE(window().btPlay->toolTip(), "Stop");
        QCOMPARE(window().lblTrackHistory->text(), "Connecting...");
        QTRY_COMPARE_WITH_TIMEOUT(window().channel()->State(), 1, 30000);
        QCOMPARE(stateSpy.value(1).value(0).toInt(), 6);
        QCOMPARE(stateSpy.value(2).value(0).toInt(), 3);
        QCOMPARE(window().lblStationName->text(), "Icecast Radio");
        QCOMPARE(window().lblNetwork->text(), "Test Network");
        QTRY_COMPARE(QSettings().value("StartupStationURL").toString(), mount);

        for (const QString title : {"Artist One - Song One", "Artist Two - <img src=x>"}) {
            QVERIFY2(icecast.setTitle(source.mount, title, &error), qPrintable(error));
            QTRY_COMPARE_WITH_TIMEOUT(window().lblNowPlaying->text(), "Playing: " + title, 20000);
        }
        QCOMPARE(window().lblLastPlaying->text(), "Last played: Artist One - Song One");
        QCOMPARE(window().lblNowPlaying->textFormat(), Qt::PlainText);

        QTest::mouseClick(window().btPlay, Qt::LeftButton);
        QVERIFY(!window().channel()->HasChannel());
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QVERIFY(window().lblNowPlaying->text().isEmpty() && window().lblLastPlaying->text().isEmpty());

        // Play again replays the last station; the source going away ends it.
        QTest::mouseClick(window().btPlay, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(window().channel()->State(), 1, 30000);
        icecast.stopSource(source.mount);
        QTRY_COMPARE_WITH_TIMEOUT(window().lblTrackHistory->text(), "Station Timed Out!", 60000);
        QCOMPARE(window().btPlay->toolTip(), "Play");
        QVERIFY(!window().channel()->HasChannel());

        // A new window told to play before its first frame (an address given at start) plays; the
        // window closes while a stream plays (cleanup() destroys it).
        QVERIFY2(icecast.startSource(source, &error), qPrintable(error));
        m_window = TunoraTest::newWindow();
        window().playStation(stationAt(mount, "Icecast Radio"));
        QTRY_COMPARE_WITH_TIMEOUT(window().channel()->State(), 1, 30000);
    }

    // With "StartupStationType" 1, once the account listened to a station of the directory, the
    // next start-up plays it.
    void startsFromAccountHistory()
    {
        if (!IcecastServer::available())
            QSKIP("icecast2 or ffmpeg is not installed");
        QVERIFY2(icecastUp(), qPrintable(m_icecastError));
        TunoraTest::DirectoryService service;
        TunoraTest::DirectoryService::Options alone;
        alone.importCatalogue = false;
        QVERIFY2(TunoraTest::startDirectory(service, "Window Test Radio", mount("/other.mp3"), alone),
                 qPrintable(service.errorString()));
        AppSettings &settings = AppSettings::instance();
        QVERIFY(TunoraTest::createListener(service, "listener", "secret word"));
        settings.setStartupStationType(1);
        QSettings().remove("StartupStationURL");

        m_window = TunoraTest::newWindow();
        // Fetching the listen address the directory gives this account records the listen.
        QString listen;
        connect(&window().api(), &BASS::BaseRadioAPI::signal_stationFound, this,
                [&listen](const BASS::Station *station) { listen = station->firstStreamUrl(); });
        QVERIFY(window().api().searchStations("Window Test Radio", 0) != 0);
        QTRY_VERIFY_WITH_TIMEOUT(!listen.isEmpty(), 30000);
        {
            BASS::QHttpExt http;
            QSignalSpy fetched(&http, &BASS::QHttpExt::sig_Ready);
            QVERIFY(http.get(listen) != 0);
            QVERIFY(fetched.wait(30000));
        }

        m_window = TunoraTest::newWindow();
        QSignalSpy stateSpy(&window(), &TunoraDE::signal_stateChanged);
        window().slot_startUp();
        QTRY_COMPARE_WITH_TIMEOUT(window().station().name(), "Window Test Radio", 30000);
        QCOMPARE(window().station().firstStreamUrl(), listen);
        QVERIFY(std::any_of(stateSpy.cbegin(), stateSpy.cend(), [](const QList<QVariant> &state) {
            return state.at(0).toInt() == BASS::Stream::StateDownloading;
        }));
    }

    // Encoded formats, ended by playback or by the next station; a folder that cannot be made
    // (the toggled recording of the stream's own bytes: the session test).
    void records_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("folder"); // under the test's folder; "blocked" is a file there
        QTest::addColumn<bool>("byStop");    // else another station ends it
        QTest::addColumn<QString>("codec");  // empty: nothing may be written
        QTest::newRow("Ogg Vorbis, playback stops") << 4 << QString("nested/ogg") << true << "vorbis";
        QTest::newRow("AAC, another station") << 3 << QString("aac") << false << "aac";
        QTest::newRow("folder is a file") << 0 << QString("blocked/inside") << true << "";
    }

    void records()
    {
        QFETCH(int, format);
        QFETCH(QString, folder);
        QFETCH(bool, byStop);
        QFETCH(QString, codec);
        if (!IcecastServer::available())
            QSKIP("icecast2 or ffmpeg is not installed");
        QVERIFY2(icecastUp(), qPrintable(m_icecastError));
        const QString path = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + '/' + folder);
        if (folder.startsWith("blocked")) {
            QDir().mkpath(m_dir.filePath(QTest::currentDataTag()));
            QFile blocker(QFileInfo(path).absolutePath());
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        RecordingSettings::setFolder(path);
        RecordingSettings::setFormat(format);
        RecordingSettings::setSplit(format == 4);

        auto *button = window().findChild<QToolButton *>("btRecord");
        auto *recordTime = window().findChild<QLabel *>("lblRecordTime");
        const QPoint inside(button->width() / 4, button->height() / 2);
        QVERIFY(!button->isEnabled()); // nothing plays yet
        window().playStation(stationAt(mount("/test.mp3")));
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 30000);
        QTest::mouseClick(button, Qt::LeftButton, {}, inside);
        if (codec.isEmpty()) {
            QVERIFY(!button->isChecked() && !window().channel()->IsRecording());
            QTRY_VERIFY(status().startsWith("Recording failed: Unable to create output file"));
            QCOMPARE(m_boxes.filter("Recording").size(), 1);
            QVERIFY(window().channel()->IsPlaying()); // playback goes on
            return;
        }
        QVERIFY(button->isChecked());
        QTRY_VERIFY(status().startsWith("Recording: "));
        // "mm:ss" from the channel's one-second tick.
        QTRY_VERIFY_WITH_TIMEOUT(recordTime->text().size() == 5 && recordTime->text() >= "00:04", 20000);
        if (byStop) {
            QTest::mouseClick(window().btPlay, Qt::LeftButton);
            QVERIFY(!button->isEnabled());
        } else {
            window().playStation(stationAt(mount("/other.mp3")));
        }
        QVERIFY(!window().channel()->IsRecording() && !button->isChecked());
        QVERIFY(recordTime->text().isEmpty());
        const QStringList files = QDir(path).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        const auto [decodedCodec, seconds] = decode(QDir(path).filePath(files[0]));
        QCOMPARE(decodedCodec, codec);
        QVERIFY2(seconds >= 3.0 && seconds <= 10.0, qPrintable(QString::number(seconds)));
        QVERIFY2(m_boxes.filter("Recording").isEmpty(), qPrintable(m_boxes.join('\n')));
    }

private:
    // A list filled with what the scripted directory answers to any search.
    void fillScripted(TreeStationWidget &list, const QByteArray &reply)
    {
        m_scriptedReply = reply;
        AppSettings &settings = AppSettings::instance();
        settings.setEndpoint(AppSettings::DirectoryRoot, m_scripted.url("/"));
        settings.setCaFile(m_ca->caFile());
        TunoraAPI::configureHttp();
        list.queryStations("anything");
        QVERIFY(filled(&list));
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
        QVERIFY(filled(&list));
    }
};

TUNORA_WEB_TEST_MAIN(TestTunoraDE)

#include "tst_tunorade.moc"
