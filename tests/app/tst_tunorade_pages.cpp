// The main window against the local directory service: the settings page saved when the window
// closes; the product web site opened in the window and playing a station from its link; the search
// box with its prefixes and remembered searches, paging through results, the column layout mirrored
// among the lists and kept across a restart; "Languages..." (the language picked is fetched from
// the service, shows at once in the window's menus and is stored for the signed-in account; the
// language and sign-in dialogs name every control) and "Check for new version..." (always
// answers, also when the directory cannot be reached). The product site's own pages.

#undef QT_NO_CAST_FROM_ASCII

#include "accessibilitycheck.h"
#include "languagedlg.h"
#include "languagesetup.h"
#include "logindlg.h"
#include "navigatelabel.h"
#include "rawapi.h"
#include "settingspanel.h"
#include "sitebrowser.h"
#include "treeradiowidget.h"
#include "treestationwidget.h"
#include "webtestmain.h"
#include "welcomeview.h"
#include "windowfixture.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTcpServer>
#include <QTimer>

namespace {

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

} // namespace

class TestTunoraPages : public QObject
{
    Q_OBJECT

    TunoraTest::DirectoryService m_service;
    std::unique_ptr<TunoraDE> m_window;
    QList<QPair<BASS::MessageKind, QString>> m_boxes;
    QStringList m_languagesOffered;

    // Made on first use, so that a case may set up what the window's start-up reads first.
    TunoraDE &window()
    {
        if (!m_window)
            m_window = TunoraTest::newWindow();
        return *m_window;
    }
    int recordBox(BASS::MessageKind kind, const QString &text)
    {
        m_boxes.append({kind, text});
        return int(kind == BASS::MessageKind::Question ? QMessageBox::No : QMessageBox::Ok);
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
        // Every window of this suite signs in from the same address, and a window closed by one case
        // may still have its password check running at the service when the next one starts: room
        // for more than the few checks per address a public service allows.
        TunoraTest::DirectoryService::Options options;
        options.settings.insert("accounts/hashes_per_address", "64");
        QVERIFY2(TunoraTest::startDirectory(m_service, {}, {}, options), qPrintable(m_service.errorString()));
        // The site view loads the service's own pages; nothing else is reached.
        AppSettings::instance().setEndpoint(AppSettings::WebSite, m_service.root().toString());
        QVERIFY(TunoraTest::createListener(m_service, Member, Password));
    }

    void cleanupTestCase()
    {
        m_window.reset();
        QVERIFY2(m_service.stop(), qPrintable(m_service.errorString()));
    }

    void init()
    {
        AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, m_service.root().toString());
        // Every case starts in English with nothing asked yet.
        QVERIFY(LanguageSetup::apply({"en", "English"}));
        AppSettings::instance().writeLanguage({"en", "English"}, Member);
        for (int n = 1; n <= 10; ++n)
            QSettings().remove(QString("search_%1").arg(n));
        m_boxes.clear();
        m_languagesOffered.clear();
    }

    void cleanup()
    {
        m_window.reset();
        catchClientBoxes();
        QSettings().setValue("ShowWelcomePage", false); // the later windows open on their lists
    }

    // The settings page is filled when first shown; what was changed there is stored when the
    // window closes, before its own save timer came round. (First: no web page was made yet.)
    void settingsSavedOnShutDown()
    {
        AppSettings &settings = AppSettings::instance();
        settings.setMinBitrate(0);
        // The start page is the welcome page, drawn without the web engine: nothing started it.
        QVERIFY(window().swStations->currentWidget()->findChild<WelcomeView *>());
        QVERIFY(!WebProfile::exists());
        Settings *page = window().settingsPage();
        QVERIFY(!page->isFilled());
        page->setSaveInterval(3600 * 1000);
        window().swStations->setCurrentIndex(TunoraDE::PageSettings);
        QVERIFY(page->isFilled());
        page->findChild<QSlider *>("sldMinBitrate")->setValue(96);
        QVERIFY(page->isChanged());
        m_window.reset();
        QCOMPARE(settings.minBitrate(), 96);
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

    // Paging links act on the list in view: "next" appends the next page, anything else goes back;
    // the status bar offers the links that apply.
    void paging()
    {
        auto *links = window().findChild<NavigateLabel *>("lblPaging");
        QVERIFY(links);
        window().teSearch->setText("FR");
        window().slot_searchReturnPressed();
        QVERIFY(filled(list(6)));
        QVERIFY(list(6)->moreRow());
        QVERIFY(links->text().contains("href=\"next\"") && !links->text().contains("previous"));
        const QStringList first = names(list(6));
        emit links->signal_linkClicked(links, "next");
        QVERIFY(filled(list(6)));
        QCOMPARE(list(6)->pageIndex(), 1);
        QVERIFY(names(list(6)).size() > first.size());
        QVERIFY(links->text().contains("href=\"previous\"") && !links->text().contains("next"));
        emit links->signal_linkClicked(links, "previous");
        QVERIFY(filled(list(6)));
        QCOMPARE(list(6)->pageIndex(), 0);
        QCOMPARE(names(list(6)), first);
        menu()->selectSection(TreeRadioWidget::Favorites);
        QVERIFY(links->isHidden());
    }

    // A change in one list shows in the others, survives a restart, and "Clear Column Settings"
    // brings the defaults back.
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
        // Through the header menu, as the listener does.
        QMenu headerMenu;
        QVERIFY(source->buildHeaderMenu(&headerMenu));
        const QString title = source->headerItem()->text(TreeStationWidget::ColumnLocation);
        for (QAction *a : headerMenu.actions())
            if (a->text().remove('&') == title)
                a->trigger();
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
        QCOMPARE(m_boxes.first().second, "A restart is required for this option.");
        QVERIFY(QSettings().value("twStations4_tree").toByteArray().isEmpty());
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
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.value(0).second));

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
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.value(0).second));

        QTcpServer closed;
        if (!reachable) {
            QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
            const QString root = QString("https://127.0.0.1:%1/").arg(closed.serverPort());
            closed.close();
            AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, root);
        }
        window().checkVersionAction()->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, 30000);
        QCOMPARE(int(m_boxes.first().first), kind);
        for (const QString &part : parts)
            QVERIFY2(m_boxes.first().second.contains(part), qPrintable(m_boxes.first().second));
        // Asked for by hand, the check also counts as the run's automatic one: nothing is sent.
        emit window().signal_versionCheckDue();
        QVERIFY(!window().api().busy());
    }
};

TUNORA_WEB_TEST_MAIN(TestTunoraPages)

#include "tst_tunorade_pages.moc"
