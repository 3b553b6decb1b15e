#include "appsettings.h"
#include "testmain.h"

#include <QFont>
#include <QMenu>
#include <QSettings>
#include <QSplitter>

#include <sys/stat.h>

#include <functional>

using Reader = std::function<QVariant(AppSettings &)>;
Q_DECLARE_METATYPE(Reader)

template<typename T>
Reader reader(T (AppSettings::*get)() const)
{
    return [get](AppSettings &s) { return QVariant::fromValue((s.*get)()); };
}

class TestAppSettings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void portableLayout();
    void installedLocation_data();
    void installedLocation();
    void folders();
    void defaults_data();
    void defaults();
    void appFont();
    void wishListName_data();
    void wishListName();
    void passwordFileIsPrivate();
    void startupStation();
    void languagePerAccount();
    void searchHistoryKeepsFirstTenAlphabetically();
    void searchHistorySaveLeavesLaterKeys();
    void searchHistoryActions();
    void splitterSizes();
    void treeLayouts();
    void endpoints();

private:
    AppSettings *m_settings = nullptr;
    QString m_appFolder;
};

void TestAppSettings::initTestCase()
{
    m_appFolder = TunoraTest::IsolatedHome::path() + QLatin1String("/portable-app");
    QDir().mkpath(m_appFolder);
    AppSettings::setApplicationFolderOverride(m_appFolder);
    m_settings = &AppSettings::instance();
}

void TestAppSettings::init()
{
    QSettings().clear();
}

void TestAppSettings::portableLayout()
{
    QVERIFY(m_settings->isPortable());
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Corvella"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("TunoraDE"));
    QCOMPARE(m_settings->settingsFile(), m_appFolder + QLatin1String("/Corvella/TunoraDE.ini"));
    m_settings->setVolume(33);
    QVERIFY(QFile::exists(m_appFolder + QLatin1String("/Corvella/TunoraDE.ini")));
}

void TestAppSettings::installedLocation_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("installed");
    // Where files shipped with the program are looked for: the share folder of the prefix when
    // installed, the program's own folder otherwise.
    QTest::addColumn<QString>("shared");
    QTest::newRow("usr/bin") << "/usr/bin" << true << "/usr/share/TunoraDE";
    QTest::newRow("usr/local/bin") << "/usr/local/bin" << true << "/usr/local/share/TunoraDE";
    QTest::newRow("opt") << "/opt/tunora/bin" << true << "/opt/tunora/share/TunoraDE";
    QTest::newRow("home") << "/home/user/TunoraDE" << false << "/home/user/TunoraDE";
    QTest::newRow("usb stick") << "/media/stick/TunoraDE" << false << "/media/stick/TunoraDE";
    QTest::newRow("usr lookalike") << "/usrdata/bin" << false << "/usrdata/bin";
    QTest::newRow("opt lookalike") << "/optical/tunora" << false << "/optical/tunora";
}

void TestAppSettings::installedLocation()
{
    QFETCH(QString, folder);
    QTEST(AppSettings::isInstalledLocation(folder), "installed");
    QTEST(AppSettings::sharedDataFolderFor(folder), "shared");
}

void TestAppSettings::folders()
{
    const QString home = QDir::homePath();
    QCOMPARE(m_settings->dataFolder(), home + QLatin1String("/TunoraDE"));
    QCOMPARE(m_settings->languagesFolder(), home + QLatin1String("/TunoraDE/Languages"));
    QVERIFY(QFileInfo(m_settings->languagesFolder()).isDir());
    QCOMPARE(m_settings->dataFile(QStringLiteral("x.txt")), home + QLatin1String("/TunoraDE/x.txt"));
    QCOMPARE(m_settings->applicationFile(QStringLiteral("a")), m_appFolder + QLatin1String("/a"));
    QCOMPARE(m_settings->htmlFile(QStringLiteral("p.html")), m_appFolder + QLatin1String("/Html/p.html"));
    QCOMPARE(m_settings->languageFile(QStringLiteral("de.xml")),
             home + QLatin1String("/TunoraDE/Languages/de.xml"));
    // Portable: the wish list lives beside the program, named after the member.
    m_settings->setCredentials(QStringLiteral("anna"), QStringLiteral("pw"));
    QCOMPARE(m_settings->wishListFile(), m_appFolder + QLatin1String("/anna_track_wishlist.xml"));
}

void TestAppSettings::defaults_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<Reader>("read");
    QTest::addColumn<QVariant>("fallback");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("readBack");
    auto row = [](const char *name, const char *key, Reader read, QVariant fallback, QVariant stored,
                  QVariant readBack) {
        QTest::newRow(name) << QString::fromLatin1(key) << read << fallback << stored << readBack;
    };
    row("Volume", "Volume", reader(&AppSettings::volume), 50, 80, 80);
    row("Volume not a number", "Volume", reader(&AppSettings::volume), 50, QStringLiteral("loud"), 0);
    row("MinBitrate", "MinBitrate", reader(&AppSettings::minBitrate), 0, 64, 64);
    row("MaxBitrate", "MaxBitrate", reader(&AppSettings::maxBitrate), 0, 320, 320);
    row("StartupStationType", "StartupStationType", reader(&AppSettings::startupStationType), 0, 2, 2);
    row("username", "username", reader(&AppSettings::memberName), QString(), QStringLiteral("bob"),
        QStringLiteral("bob"));
    row("ShowWelcomePage", "ShowWelcomePage", reader(&AppSettings::showWelcomePage), true, false, false);
    row("SignedOut", "SignedOut", reader(&AppSettings::signedOut), true, false, false);
    row("acceptCookies", "cookies/acceptCookies", reader(&AppSettings::acceptCookies),
        QStringLiteral("AcceptOnlyFromSitesNavigatedTo"), QStringLiteral("AcceptAll"),
        QStringLiteral("AcceptAll"));
    row("keepCookiesUntil", "cookies/keepCookiesUntil", reader(&AppSettings::keepCookiesUntil),
        QStringLiteral("Expire"), QStringLiteral("Session"), QStringLiteral("Session"));
    const Reader tree = [](AppSettings &s) { return QVariant(s.treeLayout(QStringLiteral("twMenu"))); };
    row("tree layout", "twMenu_tree", tree, QByteArray(), QByteArray("state"), QByteArray("state"));
}

void TestAppSettings::defaults()
{
    QFETCH(QString, key);
    QFETCH(Reader, read);
    QFETCH(QVariant, stored);
    QTEST(read(*m_settings), "fallback");
    QSettings().setValue(key, stored);
    QTEST(read(*m_settings), "readBack");
}

void TestAppSettings::appFont()
{
    QFont font(QStringLiteral("Tahoma"), 9);
    QVERIFY(!m_settings->loadAppFont(font));
    QCOMPARE(font.family(), QStringLiteral("Tahoma"));
    QCOMPARE(font.pointSize(), 9);

    QFont chosen(QStringLiteral("DejaVu Sans"), 13);
    chosen.setBold(true);
    m_settings->saveAppFont(chosen);
    QFont loaded;
    QVERIFY(m_settings->loadAppFont(loaded));
    QCOMPARE(loaded.family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(loaded.pointSize(), 13);
    QVERIFY(loaded.bold());
}

void TestAppSettings::wishListName_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("file");
    auto row = [](const char *name, const char *member, const char *file) {
        QTest::newRow(name) << QString::fromUtf8(member) << QString::fromUtf8(file);
    };
    row("plain", "anna", "anna_track_wishlist.xml");
    row("slash colon question", "a/b:c?", "a-b-c-_track_wishlist.xml");
    row("all ten", "<>:\"/\\|?*%", "----------_track_wishlist.xml");
    row("line breaks and tabs removed", "a\nb\r\tc", "abc_track_wishlist.xml");
    row("dots kept", "../x", "..-x_track_wishlist.xml");
    row("empty", "", "_track_wishlist.xml");
}

void TestAppSettings::wishListName()
{
    QFETCH(QString, member);
    QTEST(AppSettings::cleanWishListFileName(member), "file");
}

void TestAppSettings::passwordFileIsPrivate()
{
    const QString path = m_settings->settingsFile();
    m_settings->setCredentials(QStringLiteral("bob"), QStringLiteral("s3cret"));
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);

    // A file widened by hand is tightened again before the password is written.
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
    m_settings->setCredentials(QStringLiteral("bob"), QStringLiteral("other"));
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);

    // Other writes replace the file but keep its permissions.
    m_settings->setVolume(12);
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);

    QString member, password;
    m_settings->credentials(member, password);
    QCOMPARE(member, QStringLiteral("bob"));
    QCOMPARE(password, QStringLiteral("other"));
}

void TestAppSettings::startupStation()
{
    BASS::Station station;
    station.setId(QStringLiteral("77"));
    station.setName(QStringLiteral("Radio 77"));
    station.setCountry(QStringLiteral("Norway"));
    station.setNetwork(QStringLiteral("NRK"));
    BASS::StationStream s;
    s.url = QStringLiteral("http://first");
    station.addStream(s, false);
    s.url = QStringLiteral("http://second");
    station.addStream(s, true);
    m_settings->saveStartupStation(station);
    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("StartupStationID")).toString(), QStringLiteral("77"));
    QCOMPARE(settings.value(QStringLiteral("StartupStationName")).toString(), QStringLiteral("Radio 77"));
    QCOMPARE(settings.value(QStringLiteral("StartupStationCountry")).toString(), QStringLiteral("Norway"));
    QCOMPARE(settings.value(QStringLiteral("StartupStationNetwork")).toString(), QStringLiteral("NRK"));
    QCOMPARE(settings.value(QStringLiteral("StartupStationURL")).toString(), QStringLiteral("http://first"));
}

void TestAppSettings::languagePerAccount()
{
    const BASS::Language german{QStringLiteral("de"), QStringLiteral("Deutsch")};
    m_settings->writeLanguage(german, QStringLiteral("anna"));
    m_settings->writeLanguage(german, QString()); // no member: nothing is written
    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("lang_code_anna")).toString(), QStringLiteral("de"));
    QCOMPARE(settings.value(QStringLiteral("lang_name_anna")).toString(), QStringLiteral("Deutsch"));
    QCOMPARE(settings.allKeys().filter(QStringLiteral("lang_")).size(), 2);

    BASS::Language read;
    m_settings->readLanguage(read, QStringLiteral("anna"));
    QCOMPARE(read, german);
    BASS::Language untouched{QStringLiteral("fr"), QStringLiteral("Français")};
    m_settings->readLanguage(untouched, QString());
    QCOMPARE(untouched.code, QStringLiteral("fr"));
    m_settings->readLanguage(untouched, QStringLiteral("nobody"));
    QVERIFY(untouched.code.isEmpty());
}

void TestAppSettings::searchHistoryKeepsFirstTenAlphabetically()
{
    SearchHistory history;
    const QStringList texts =
        QStringLiteral("kilo alpha juliet bravo india charlie hotel delta golf echo foxtrot")
            .split(QLatin1Char(' '));
    for (const QString &t : texts)
        history.insert(t, SearchHistoryEntry{t, nullptr});
    m_settings->saveSearchHistory(history);
    SearchHistory loaded;
    m_settings->loadSearchHistory(loaded, nullptr, nullptr);
    QCOMPARE(loaded.size(), 10);
    QVERIFY(!loaded.contains(QStringLiteral("kilo")));
    QCOMPARE(loaded.firstKey(), QStringLiteral("alpha"));
    QCOMPARE(QSettings().value(QStringLiteral("search_10")).toString(), QStringLiteral("juliet"));
}

void TestAppSettings::searchHistorySaveLeavesLaterKeys()
{
    QSettings().setValue(QStringLiteral("search_3"), QStringLiteral("older"));
    SearchHistory history;
    history.insert(QStringLiteral("b"), SearchHistoryEntry{QStringLiteral("b"), nullptr});
    history.insert(QStringLiteral("a"), SearchHistoryEntry{QStringLiteral("a"), nullptr});
    m_settings->saveSearchHistory(history);
    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("search_1")).toString(), QStringLiteral("a"));
    QCOMPARE(settings.value(QStringLiteral("search_2")).toString(), QStringLiteral("b"));
    QCOMPARE(settings.value(QStringLiteral("search_3")).toString(), QStringLiteral("older"));
    QVERIFY(!settings.contains(QStringLiteral("search_4")));
}

void TestAppSettings::searchHistoryActions()
{
    QSettings settings;
    settings.setValue(QStringLiteral("search_2"), QStringLiteral("zulu"));
    settings.setValue(QStringLiteral("search_5"), QStringLiteral("alpha"));
    settings.sync();
    QObject parent;
    QMenu menu;
    SearchHistory history;
    history.insert(QStringLiteral("stale"), SearchHistoryEntry{QStringLiteral("stale"), nullptr});
    m_settings->loadSearchHistory(history, &parent, &menu);
    QCOMPARE(history.keys(), (QStringList{QStringLiteral("alpha"), QStringLiteral("zulu")}));
    // The menu keeps the order in which the keys were read.
    QCOMPARE(menu.actions().size(), 2);
    QCOMPARE(menu.actions().at(0)->text(), QStringLiteral("zulu"));
    QCOMPARE(history.value(QStringLiteral("alpha")).action.data(), menu.actions().at(1));
    QCOMPARE(menu.actions().at(1)->parent(), &parent);
}

void TestAppSettings::splitterSizes()
{
    QSplitter splitter;
    splitter.setObjectName(QStringLiteral("splitterTree"));
    splitter.addWidget(new QWidget);
    splitter.addWidget(new QWidget);
    splitter.resize(600, 400);
    splitter.setSizes({200, 400});
    m_settings->saveSplitterSizes(&splitter, {250, 350});
    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("splitterTree_splitter1")).toInt(), 250);
    QCOMPARE(settings.value(QStringLiteral("splitterTree_splitter2")).toInt(), 350);

    settings.setValue(QStringLiteral("splitterTree_splitter1"), 0); // 0 keeps the pane as it is
    settings.sync();
    splitter.setSizes({300, 300});
    m_settings->restoreSplitterSizes(&splitter);
    const QList<int> sizes = splitter.sizes();
    QCOMPARE(sizes.size(), 2);
    QVERIFY2(sizes.at(1) > sizes.at(0), "the stored 350 should outweigh the kept 300");
}

void TestAppSettings::treeLayouts()
{
    m_settings->saveStationListLayouts(QByteArray("state"));
    for (int n = 1; n <= 7; ++n)
        QCOMPARE(m_settings->treeLayout(QStringLiteral("twStations%1").arg(n)), QByteArray("state"));
    m_settings->clearStationListLayouts();
    QSettings settings;
    for (int n = 1; n <= 7; ++n) {
        const QString key = QStringLiteral("twStations%1_tree").arg(n);
        QVERIFY(settings.contains(key));
        QVERIFY(settings.value(key).toByteArray().isEmpty());
    }
    QVERIFY(!settings.contains(QStringLiteral("twStations8_tree")));
}

void TestAppSettings::endpoints()
{
    for (int e = 0; e < AppSettings::EndpointCount; ++e) {
        const auto which = static_cast<AppSettings::Endpoint>(e);
        const QUrl url(m_settings->endpoint(which));
        QVERIFY2(url.isValid() && url.host() == QLatin1String("127.0.0.1"),
                 qPrintable(AppSettings::endpointKey(which)));
    }
    QVERIFY(m_settings->endpoint(AppSettings::DirectoryRoot).endsWith(QLatin1Char('/')));
    m_settings->setEndpoint(AppSettings::Lyrics, QStringLiteral("https://lyrics.example"));
    QCOMPARE(QSettings().value(QStringLiteral("endpoints/lyrics")).toString(),
             QStringLiteral("https://lyrics.example"));
    QVERIFY(m_settings->caFile().isEmpty());
}

TUNORA_TEST_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
