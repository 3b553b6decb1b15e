// The main window's pages against the local directory service: the navigation menu drilled to a
// sub-genre fills the genre list, the search box with its prefixes and remembered searches, the
// column layout mirrored among the lists and kept across a restart, favourites read again after
// a change, and a row played from the search results marked and listed in the history.

#undef QT_NO_CAST_FROM_ASCII

#include "appsettings.h"
#include "directoryservice.h"
#include "httpblocking.h"
#include "icecast.h"
#include "listeneraccount.h"
#include "navigatelabel.h"
#include "pulse.h"
#include "testmain.h"
#include "tickerlabel.h"
#include "treeradiowidget.h"
#include "treestationwidget.h"
#include "tunorade.h"
#include "tunorastream.h"

#include <QHeaderView>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>

using TunoraTest::DirectoryService;
using TunoraTest::IcecastServer;

namespace {

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; parent && i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

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

    std::unique_ptr<IcecastServer> m_icecast;
    IcecastServer::Source m_source;
    TunoraTest::PulseServer m_pulse;
    QString m_pulseError; // empty once the sound server runs
    DirectoryService m_service;
    QTemporaryDir m_folder;
    std::unique_ptr<TunoraDE> m_window;
    QStringList m_boxes;

    TunoraDE &window() { return *m_window; }
    TreeRadioWidget *menu() { return static_cast<TreeRadioWidget *>(window().twRadio); }
    TreeStationWidget *list(int n) { return window().stationList(n); }

    QTreeWidgetItem *openSection(int section)
    {
        QTreeWidgetItem *row = menu()->sectionRow(section);
        menu()->setCurrentItem(row);
        [&] { QTRY_VERIFY_WITH_TIMEOUT(row->childCount() > 0 && !menu()->api()->busy(), 60000); }();
        return row;
    }

private slots:
    void initTestCase()
    {
        AppSettings::setApplicationFolderOverride(TunoraTest::IsolatedHome::path());
        // The language question and the sign-in dialog of a first start would wait for a click.
        TunoraDE::setStartDialogsEnabled(false);
        TunoraDE::setMessageHook(
            [this](BASS::MessageKind, const QString &, const QString &text, QMessageBox::StandardButtons) {
                m_boxes.append(text);
                return int(QMessageBox::Ok);
            });
        DirectoryService::Options options;
        if (IcecastServer::available()) {
            // Played through a private sound server, started before the window initialises audio.
            if (!m_pulse.start(&m_pulseError) && m_pulseError.isEmpty())
                m_pulseError = "the sound server did not start";
            // One station of the catalogue plays from a local mount.
            m_icecast = std::make_unique<IcecastServer>();
            QString error;
            QVERIFY2(m_icecast->start(&error), qPrintable(error));
            QVERIFY2(m_icecast->startSource(m_source, &error), qPrintable(error));
            QFile catalogue(m_folder.filePath("station.json"));
            QVERIFY(catalogue.open(QIODevice::WriteOnly));
            catalogue.write(R"({"webradios": {"pages-test": {"Name": "Pages Test Radio", "Genre": ["Jazz"],
                "Country": "Germany", "Region": "", "Languages": [], "Homepage": "", "Description": "",
                "Codec": "MP3", "Bitrate": 128, "StreamUri": ")" +
                            m_icecast->mountUrl(m_source.mount).toEncoded() +
                            R"(", "alternativeStreams": {}}}})");
            catalogue.close();
            options.extraCatalogues << catalogue.fileName();
        }
        QVERIFY2(m_service.start(options), qPrintable(m_service.errorString()));
        AppSettings &settings = AppSettings::instance();
        settings.setEndpoint(AppSettings::DirectoryRoot, m_service.root().toString());
        settings.setEndpoint(AppSettings::NewsFeedHost, m_service.root().toString());
        QCOMPARE(m_service.runTool({"news-add", "en", "First <b>news</b>", "https://news.example.org/1"}), 0);
        QCOMPARE(m_service.runTool({"news-add", "en", "Second news", "https://news.example.org/2"}), 0);
        settings.setCaFile(m_service.caFile());
        TunoraAPI::configureHttp();
        QVERIFY(TunoraTest::createListener(m_service, "pages", "pages secret"));
        QSettings().setValue("ShowWelcomePage", false);
    }

    void cleanupTestCase()
    {
        m_window.reset();
        QVERIFY2(m_service.stop(), qPrintable(m_service.errorString()));
    }

    void init()
    {
        m_boxes.clear();
        for (int n = 1; n <= 10; ++n)
            QSettings().remove(QString("search_%1").arg(n));
        m_window = std::make_unique<TunoraDE>(nullptr, 0);
        window().channel()->SetFadeTimes(0, 0);
    }

    void cleanup() { m_window.reset(); }

    // The stack holds the five station lists where the menu's sections expect them.
    void pages()
    {
        for (int n : {1, 3, 4, 5, 6}) {
            QVERIFY2(list(n), qPrintable(QString::number(n)));
            QCOMPARE(window().swStations->indexOf(list(n)), n - 1);
        }
        QCOMPARE(window().swStations->currentIndex(), int(TunoraDE::PageWishList));
        QVERIFY(!window().currentStationList());
    }

    // Genres drilled to a sub-genre: the genre list shows its stations, the menu's path leads.
    void drillGenres()
    {
        QTreeWidgetItem *genres = openSection(TreeRadioWidget::Genres);
        QTreeWidgetItem *pop = childNamed(genres, "Pop");
        QVERIFY(pop);
        menu()->setCurrentItem(pop);
        QCOMPARE(window().currentStationList(), list(4));
        QVERIFY(filled(list(4)));
        QVERIFY(!names(list(4)).isEmpty());
        QTreeWidgetItem *sub = childNamed(genres, "Adult CHR");
        QVERIFY2(sub, "sub-genres replace the genres");
        menu()->setCurrentItem(sub);
        QVERIFY(filled(list(4)));
        QVERIFY2(names(list(4)).contains("RMF FM"), qPrintable(names(list(4)).join(", ")));
        QCOMPARE(menu()->currentGenre()->name(), QString("Adult CHR"));
        QCOMPARE(window().swStations->currentWidget(), list(4));
    }

    void searchLabel_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("label");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("plain") << "jazz radio"
                               << "Search for jazz radio";
        QTest::newRow("prefix") << "genre: jazz "
                                << "jazz";
        QTest::newRow("colon first") << ":jazz"
                                     << "Search for :jazz";
        QTest::newRow("two colons") << "a:b:c"
                                    << "b:c";
    }

    void searchLabel()
    {
        QFETCH(QString, text);
        QFETCH(QString, label);
        QCOMPARE(TunoraDE::searchLabel(text), label);
    }

    // Typed searches: what reaches the results list, and what the search menu remembers.
    void searchBox_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("runs");
        QTest::newRow("name") << "Life Radio" << true;
        QTest::newRow("prefix kept in the query") << "country:PL" << true;
        QTest::newRow("prefix without text") << "country:  " << false;
        QTest::newRow("empty") << "" << false;
    }

    void searchBox()
    {
        QFETCH(QString, text);
        QFETCH(bool, runs);
        window().teSearch->setText(text);
        QTest::keyClick(window().teSearch, Qt::Key_Return);
        QCOMPARE(window().searchHistory().contains(text), runs);
        if (!runs) {
            QCOMPARE(window().swStations->currentIndex(), int(TunoraDE::PageWishList));
            return;
        }
        QCOMPARE(window().currentStationList(), list(6));
        QCOMPARE(list(6)->queryText(), text);
        QVERIFY(filled(list(6)));
        QVERIFY(!names(list(6)).isEmpty());
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

    // Clicking the now-playing or last-played line shows that track's cover and highlights the
    // line; the large pop-up shows over a real cover only and goes when the mouse leaves it.
    void dashboardClicks_data()
    {
        QTest::addColumn<bool>("lastHasCover");
        QTest::addColumn<bool>("lastShown");
        QTest::newRow("last played with cover") << true << true;
        QTest::newRow("last played without cover") << false << true;
        QTest::newRow("no last-played line") << true << false;
    }

    void dashboardClicks()
    {
        QFETCH(bool, lastHasCover);
        QFETCH(bool, lastShown);
        QImage red(64, 64, QImage::Format_RGB32);
        red.fill(Qt::red);
        window().m_lastTrack.song.setTitle("Earlier");
        if (lastHasCover)
            window().m_lastTrack.cover = red;
        window().m_currentTrack.song.setTitle("Now");
        window().lblLastPlaying->setText(lastShown ? "Last played: Earlier" : QString());
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));

        QTest::mouseClick(window().lblLastPlaying, Qt::LeftButton);
        const bool taken = lastShown;
        QCOMPARE(window().lblLastPlaying->styleSheet() == window().m_highlightStyle, taken);
        QCOMPARE(window().lblCoverArt->isDefaultShown(), !(taken && lastHasCover));

        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(window().lblCoverArt, &enter);
        QCOMPARE(window().coverPopup()->isVisible(), taken && lastHasCover);
        if (window().coverPopup()->isVisible()) {
            QCOMPARE(window().coverPopup()->overlayText(), QString("Buy song/album"));
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(window().coverPopup(), &leave);
            QVERIFY(!window().coverPopup()->isVisible());
        }

        // The now-playing line has no cover yet: the default image returns.
        QTest::mouseClick(window().lblNowPlaying, Qt::LeftButton);
        QCOMPARE(window().lblNowPlaying->styleSheet(), window().m_highlightStyle);
        QCOMPARE(window().lblLastPlaying->styleSheet(), window().m_normalStyle);
        QVERIFY(window().lblCoverArt->isDefaultShown());
    }

    // The directory's news run through the ticker: one item once the feed arrived, the next every
    // eleven display ticks, back to the first after the last; titles stay plain text.
    void newsTicker()
    {
        auto *ticker = static_cast<TickerLabel *>(window().lblInfo);
        QTRY_VERIFY_WITH_TIMEOUT(!ticker->text().isEmpty(), 30000);
        QStringList shown;
        QMap<QString, QString> links;
        for (int step = 0; step < 8; ++step) {
            shown << ticker->text();
            links.insert(ticker->text(), ticker->link());
            QCOMPARE(ticker->textFormat(), Qt::PlainText);
            for (int tick = 0; tick < 11; ++tick)
                window().slot_displayTimerUpdate();
        }
        QCOMPARE(links.value("News | First <b>news</b>"), QString("https://news.example.org/1"));
        QCOMPARE(links.value("News | Second news"), QString("https://news.example.org/2"));
        const int items = int(links.size());
        QVERIFY(items >= 2 && items < shown.size());
        for (int i = 0; i + items < shown.size(); ++i)
            QCOMPARE(shown.at(i + items), shown.at(i));
        QVERIFY(ticker->isRunning());
    }

    // A change in one list shows in the others, survives a restart, and "Clear Column Settings"
    // brings the defaults back.
    void columns_data()
    {
        QTest::addColumn<int>("change");
        QTest::newRow("resize") << 0;
        QTest::newRow("hide") << 1;
        QTest::newRow("show") << 2;
        QTest::newRow("move") << 3;
    }

    void columns()
    {
        QFETCH(int, change);
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
        const QString defaults = layout(list(3));
        TreeStationWidget *source = list(3);
        switch (change) {
        case 0:
            source->header()->resizeSection(TreeStationWidget::ColumnGenres, 123);
            break;
        case 1:
        case 2: {
            // Through the header menu, as the listener does.
            QMenu headerMenu;
            QVERIFY(source->buildHeaderMenu(&headerMenu));
            const int column =
                change == 1 ? TreeStationWidget::ColumnLocation : TreeStationWidget::ColumnNetwork;
            const QString title = source->headerItem()->text(column);
            QAction *toggle = nullptr;
            for (QAction *a : headerMenu.actions())
                if (a->text().remove('&') == title)
                    toggle = a;
            QVERIFY2(toggle, qPrintable(title));
            toggle->trigger();
            break;
        }
        case 3:
            source->header()->moveSection(3, 5);
            break;
        }
        const QString changed = layout(source);
        QVERIFY(changed != defaults);
        for (int n : {1, 4, 5, 6})
            QCOMPARE(layout(list(n)), changed);

        m_window.reset();
        m_window = std::make_unique<TunoraDE>(nullptr, 0);
        m_boxes.clear();
        for (int n : {1, 3, 4, 5, 6})
            QCOMPARE(layout(list(n)), changed);

        window().slot_CheckForNewVersion();
        window().slot_CheckForNewVersion();
        for (int n : {1, 3, 4, 5, 6})
            QCOMPARE(layout(list(n)), defaults);
        QCOMPARE(m_boxes, QStringList{"A restart is required for this option."});
        QVERIFY(QSettings().value("twStations4_tree").toByteArray().isEmpty());
    }

    // A favourite added from the search results shows at once in the favourites in view.
    void favoriteReloadsFavorites()
    {
        menu()->selectSection(TreeRadioWidget::Favorites);
        QCOMPARE(window().currentStationList(), list(1));
        list(6)->queryStations("PL");
        QVERIFY(filled(list(6)));
        QTreeWidgetItem *row = list(6)->topLevelItem(0);
        const QString id = list(6)->stationOf(row)->id();
        QSignalSpy reloaded(list(1), &TreeStationWidget::signal_filled);
        list(6)->setContextRow(row);
        list(6)->slot_addFavorite();
        QTRY_VERIFY_WITH_TIMEOUT(list(1)->rowOfStation(id), 60000);
        QVERIFY(list(1)->stationOf(list(1)->rowOfStation(id))->favorite());
        QVERIFY(list(6)->stationOf(row)->favorite());
    }

    // A row of the search results played: the window takes its station and asks the directory for
    // it (which records the listen); while it plays the row is marked in every list, also in the
    // history read afterwards, and the mark goes with the stop.
    void playRowAndHistory()
    {
        if (!m_icecast)
            QSKIP("icecast2 or ffmpeg is not installed");
        window().teSearch->setText("Pages Test Radio");
        window().slot_searchReturnPressed();
        QVERIFY(filled(list(6)));
        QTreeWidgetItem *row = list(6)->topLevelItem(0);
        QVERIFY(list(6)->stationOf(row));
        const QString id = list(6)->stationOf(row)->id();
        QSignalSpy states(&window(), &TunoraDE::signal_stateChanged);
        emit list(6)->itemActivated(row, TreeStationWidget::ColumnName);
        QCOMPARE(window().station().id(), id);
        QCOMPARE(window().station().name(), QString("Pages Test Radio"));
        QTRY_VERIFY_WITH_TIMEOUT(!window().channel()->IsResolving(), 30000);
        QList<int> seen;
        for (const QList<QVariant> &args : states)
            seen << args.at(0).toInt();
        QVERIFY(seen.contains(BASS::Stream::StateDownloading));

        // The engine opens the listen address itself (trusting the directory's authority from the
        // settings), which records the listen; the row is marked once the channel plays.
        if (!m_pulseError.isEmpty())
            QSKIP(qPrintable("no sound server: " + m_pulseError));
        QTRY_VERIFY_WITH_TIMEOUT(window().channel()->IsPlaying(), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(row->font(TreeStationWidget::ColumnName).bold(), 30000);
        menu()->selectSection(TreeRadioWidget::History);
        QCOMPARE(window().currentStationList(), list(5));
        QTRY_VERIFY_WITH_TIMEOUT(list(5)->rowOfStation(id), 60000);
        QVERIFY(list(5)->rowOfStation(id)->font(TreeStationWidget::ColumnName).bold());

        window().stop(true);
        QVERIFY(!row->font(TreeStationWidget::ColumnName).bold());
        QVERIFY(!list(5)->rowOfStation(id)->font(TreeStationWidget::ColumnName).bold());
    }
};

TUNORA_TEST_MAIN(TestTunoraPages)
#include "tst_tunorade_pages.moc"
