#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Prefix = u"/usr/local"_s;
const QString AppId = u"local.tunora.TunoraDE"_s;

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
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.path() + u"/root"_s;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DESTDIR"_s, m_root);
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.setProcessEnvironment(env);
        install.start(QStringLiteral(TUNORA_CMAKE_COMMAND),
                      {u"--install"_s, QStringLiteral(TUNORA_BINARY_DIR), u"--prefix"_s, Prefix});
        QVERIFY2(install.waitForFinished(180000) && install.exitStatus() == QProcess::NormalExit &&
                     install.exitCode() == 0,
                 qPrintable(QString::fromLocal8Bit(install.readAll()) + install.errorString()));
    }

    void files_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("executable");
        // The desktop's own checker of the file, or none.
        QTest::addColumn<QStringList>("validator");
        // man reports troff mistakes on its error output only with --warnings.
        const QStringList man{u"man"_s, u"--warnings"_s, u"-E"_s, u"UTF-8"_s, u"-l"_s};
        QTest::newRow("player") << "bin/TunoraDE" << true << QStringList();
        QTest::newRow("directory service") << "bin/tunora-directory" << true << QStringList();
        QTest::newRow("audio tool") << "bin/tunora-play" << true << QStringList();
        QTest::newRow("audio engine") << "lib/tunora/tunora-engine.so" << false << QStringList();
        QTest::newRow("launcher") << appPath("share/applications/", ".desktop") << false
                                  << QStringList{u"desktop-file-validate"_s};
        QTest::newRow("metainfo") << appPath("share/metainfo/", ".metainfo.xml") << false
                                  << QStringList{u"appstreamcli"_s, u"validate"_s, u"--no-net"_s};
        QTest::newRow("man TunoraDE") << "share/man/man1/TunoraDE.1" << false << man;
        QTest::newRow("man tunora-directory") << "share/man/man1/tunora-directory.1" << false << man;
        QTest::newRow("man tunora-play") << "share/man/man1/tunora-play.1" << false << man;
        QTest::newRow("catalogue") << "share/tunora-directory/webradios.json" << false << QStringList();
    }

    void files()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, validator);
        const QFileInfo info(installed(path));
        QVERIFY2(info.isFile() && info.size() > 0, qPrintable(path));
        QTEST(info.isExecutable(), "executable");
        if (validator.isEmpty())
            return;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"MANWIDTH"_s, u"80"_s);
        env.insert(u"MAN_KEEP_STDERR"_s, u"1"_s);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(validator.first(), validator.mid(1) << info.filePath());
        QVERIFY2(process.waitForFinished(120000), qPrintable(validator.first() + u" did not run"_s));
        const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
        const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                 qPrintable(output + errors));
        if (validator.first() == u"man"_s) {
            QVERIFY2(errors.isEmpty(), qPrintable(errors));
            QVERIFY(output.contains(u"NAME"_s));
        }
    }

    void icons()
    {
        // Every bitmap icon is of the size its folder names; the scalable one is an SVG.
        const QDir hicolor(installed(u"share/icons/hicolor"_s));
        int bitmaps = 0;
        for (const QString &folder : hicolor.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (folder == u"scalable"_s)
                continue;
            const QImage image(hicolor.filePath(folder + u"/apps/"_s + AppId + u".png"_s));
            QCOMPARE(u"%1x%2"_s.arg(image.width()).arg(image.height()), folder);
            ++bitmaps;
        }
        QVERIFY2(bitmaps > 0, "no bitmap icon installed");
        QFile svg(installed(appPath("share/icons/hicolor/scalable/apps/", ".svg")));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QVERIFY(svg.readAll().contains("<svg"));
    }

    void desktopEntry()
    {
        QFile file(installed(appPath("share/applications/", ".desktop")));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QMap<QString, QString> entry;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const int eq = line.indexOf('=');
            if (eq > 0)
                entry.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
        }
        // The launcher starts the installed player with the files or links it was given, and opens
        // the playlist types the player reads.
        QCOMPARE(entry.value(u"Exec"_s), u"TunoraDE %U"_s);
        QVERIFY(QFileInfo::exists(installed(u"share/icons/hicolor/scalable/apps/"_s) +
                                  entry.value(u"Icon"_s) + u".svg"_s));
        const QStringList mime = entry.value(u"MimeType"_s).split(u';');
        for (const char *type : {"audio/x-scpls", "audio/x-mpegurl", "audio/mpegurl", "video/x-ms-asf"})
            QVERIFY2(mime.contains(QLatin1String(type)), type);
    }

private:
    QString installed(const QString &relative) const { return m_root + Prefix + u'/' + relative; }
    QTemporaryDir m_dir;
    QString m_root;
};

TUNORA_TEST_MAIN_CORE(TestInstall)
#include "tst_install.moc"
