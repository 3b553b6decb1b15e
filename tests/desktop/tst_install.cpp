#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace {

const QString Prefix = QStringLiteral("/usr/local");
const QString AppId = QStringLiteral("local.tunora.TunoraDE");

struct Run
{
    int exitCode = -1;
    QString output;
};

Run run(const QString &program, const QStringList &arguments, const QProcessEnvironment &env = {})
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(180000) || process.exitStatus() != QProcess::NormalExit) {
        result.output = program + QLatin1String(": did not run: ") + process.errorString();
        return result;
    }
    result.exitCode = process.exitCode();
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

// "<prefix part><application id><suffix>", an installed file named after the application id.
QString appPath(const char *prefix, const char *suffix)
{
    return QLatin1String(prefix) + AppId + QLatin1String(suffix);
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void files_data();
    void files();
    void validators_data();
    void validators();
    void icons();
    void desktopEntry();

private:
    QString installed(const QString &relative) const { return m_root + Prefix + QLatin1Char('/') + relative; }
    QTemporaryDir m_dir;
    QString m_root;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_root = m_dir.path() + QLatin1String("/root");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), m_root);
    const Run install = run(
        QStringLiteral(TUNORA_CMAKE_COMMAND),
        {QStringLiteral("--install"), QStringLiteral(TUNORA_BINARY_DIR), QStringLiteral("--prefix"), Prefix},
        env);
    QVERIFY2(install.exitCode == 0, qPrintable(install.output));
}

void TestInstall::files_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    QTest::newRow("player") << "bin/TunoraDE" << true;
    QTest::newRow("directory service") << "bin/tunora-directory" << true;
    QTest::newRow("audio tool") << "bin/tunora-play" << true;
    QTest::newRow("launcher") << appPath("share/applications/", ".desktop") << false;
    QTest::newRow("metainfo") << appPath("share/metainfo/", ".metainfo.xml") << false;
    QTest::newRow("scalable icon") << appPath("share/icons/hicolor/scalable/apps/", ".svg") << false;
    QTest::newRow("man TunoraDE") << "share/man/man1/TunoraDE.1" << false;
    QTest::newRow("man tunora-directory") << "share/man/man1/tunora-directory.1" << false;
    QTest::newRow("man tunora-play") << "share/man/man1/tunora-play.1" << false;
    QTest::newRow("catalogue") << "share/tunora-directory/webradios.json" << false;
}

void TestInstall::files()
{
    QFETCH(QString, path);
    const QFileInfo info(installed(path));
    QVERIFY2(info.isFile(), qPrintable(path));
    QVERIFY(info.size() > 0);
    QTEST(info.isExecutable(), "executable");
}

void TestInstall::validators_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file");
    QTest::newRow("desktop-file-validate")
        << "desktop-file-validate" << QStringList() << appPath("share/applications/", ".desktop");
    QTest::newRow("appstreamcli") << "appstreamcli"
                                  << QStringList{QStringLiteral("validate"), QStringLiteral("--no-net")}
                                  << appPath("share/metainfo/", ".metainfo.xml");
    // man reports troff mistakes on its error output only with --warnings.
    for (const char *page : {"TunoraDE", "tunora-directory", "tunora-play"}) {
        QTest::newRow(page) << "man"
                            << QStringList{QStringLiteral("--warnings"), QStringLiteral("-E"),
                                           QStringLiteral("UTF-8"), QStringLiteral("-l")}
                            << QString(QLatin1String("share/man/man1/") + QLatin1String(page) +
                                       QLatin1String(".1"));
    }
}

void TestInstall::validators()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
    env.insert(QStringLiteral("MAN_KEEP_STDERR"), QStringLiteral("1"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments << installed(file));
    QVERIFY2(process.waitForFinished(120000), qPrintable(program + QLatin1String(" did not run")));
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
    QVERIFY2(process.exitCode() == 0, qPrintable(output + errors));
    if (program == QLatin1String("man")) {
        QVERIFY2(errors.isEmpty(), qPrintable(errors));
        QVERIFY(output.contains(QLatin1String("NAME")));
    }
}

void TestInstall::icons()
{
    const QDir hicolor(installed(QStringLiteral("share/icons/hicolor")));
    int bitmaps = 0;
    for (const QString &folder : hicolor.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (folder == QLatin1String("scalable"))
            continue;
        const QString path =
            hicolor.filePath(folder + QLatin1String("/apps/") + AppId + QLatin1String(".png"));
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        // The folder name is the size a desktop takes the image for.
        QCOMPARE(QStringLiteral("%1x%2").arg(image.width()).arg(image.height()), folder);
        ++bitmaps;
    }
    QVERIFY2(bitmaps > 0, "no bitmap icon installed");
    QFile svg(installed(QStringLiteral("share/icons/hicolor/scalable/apps/")) + AppId +
              QLatin1String(".svg"));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QVERIFY(svg.readAll().contains("<svg"));
}

void TestInstall::desktopEntry()
{
    QFile file(installed(QStringLiteral("share/applications/")) + AppId + QLatin1String(".desktop"));
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QMap<QString, QString> entry;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            entry.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    // The launcher starts the installed player with the files or links it was given.
    const QString exec = entry.value(QStringLiteral("Exec"));
    QCOMPARE(exec, QStringLiteral("TunoraDE %U"));
    QVERIFY(
        QFileInfo(installed(QStringLiteral("bin/") + exec.section(QLatin1Char(' '), 0, 0))).isExecutable());
    QVERIFY(QFileInfo::exists(installed(QStringLiteral("share/icons/hicolor/scalable/apps/")) +
                              entry.value(QStringLiteral("Icon")) + QLatin1String(".svg")));
    QCOMPARE(entry.value(QStringLiteral("GenericName")), QStringLiteral("Internet Radio"));
    const QStringList mime =
        entry.value(QStringLiteral("MimeType")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const char *type : {"audio/x-scpls", "audio/x-mpegurl", "audio/mpegurl", "video/x-ms-asf"})
        QVERIFY2(mime.contains(QLatin1String(type)), type);
    const QStringList categories = entry.value(QStringLiteral("Categories")).split(QLatin1Char(';'));
    QVERIFY(categories.contains(QStringLiteral("Audio")) && categories.contains(QStringLiteral("Player")));
}

TUNORA_TEST_MAIN_CORE(TestInstall)
#include "tst_install.moc"
