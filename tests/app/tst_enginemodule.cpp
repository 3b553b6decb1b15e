// The program's audio engine comes as a module loaded by its first call: it is looked for in the
// places given and the engine plays; a module that is missing, broken
// or not the engine leaves a start error that says why, never a crash. Each start runs in a
// process of its own (this program, started again), since a process loads its engine once.

#undef QT_NO_CAST_FROM_ASCII

#include "bassinit.h"
#include "engineloader.h"
#include "media.h"
#include "testmain.h"

#include <QProcess>
#include <QTemporaryDir>

#include <thread>

namespace {

// One start: loads the engine from the files in TUNORA_TEST_ENGINE_FILES (separated by '|'),
// starts it without sound and plays `TUNORA_TEST_MEDIA` until the position moves.
int startEngine()
{
    std::vector<std::string> files;
    for (const QString &file : qEnvironmentVariable("TUNORA_TEST_ENGINE_FILES").split('|'))
        files.push_back(file.toStdString());
    tunora::audio::setEngineFiles(files);
    QString error;
    if (!BASS::InitAudioEngine(&error, 5, false, 0, "test", nullptr, BASS_DEVICE_NOSOUND)) {
        fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QByteArray media = qgetenv("TUNORA_TEST_MEDIA");
    const HSTREAM stream = BASS_StreamCreateFile(FALSE, media.constData(), 0, 0, 0);
    if (!stream || !BASS_ChannelPlay(stream, FALSE))
        return 2;
    for (int i = 0; i < 2000 && BASS_ChannelGetPosition(stream, BASS_POS_BYTE) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool played = BASS_ChannelGetPosition(stream, BASS_POS_BYTE) > 0;
    BASS_Free();
    return played ? 0 : 3;
}

} // namespace

class TestEngineModule : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void start_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        const QString missing = m_dir.filePath("none/tunora-engine.so");
        const QString broken = m_dir.filePath("tunora-engine.so");
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'x')) == 4096);
        file.close();
        QTest::addRow("plays, after a place without it")
            << QStringList{missing, TUNORA_ENGINE_FILE} << 0 << "";
        QTest::addRow("missing") << QStringList{missing} << 1
                                 << "The audio engine could not be loaded: tunora-engine.so not found: " +
                                        missing;
        QTest::addRow("broken") << QStringList{broken} << 1 << broken + ": invalid ELF header";
        QTest::addRow("not the engine") << QStringList{QString(TUNORA_OTHER_LIBRARY)} << 1
                                        << QString(TUNORA_OTHER_LIBRARY) + ": not the audio engine";
    }

    void start()
    {
        QFETCH(QStringList, files);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        QString mediaError;
        const QString media =
            TunoraTest::Media::tone(TunoraTest::Media::Mp3, 2.0, 440, 660, 0.5, &mediaError);
        QVERIFY2(!media.isEmpty(), qPrintable(mediaError));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TUNORA_TEST_ENGINE_FILES", files.join('|'));
        env.insert("TUNORA_TEST_MEDIA", media);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(120000));
        const QString output = QString::fromLocal8Bit(child.readAllStandardError());
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QVERIFY2(child.exitCode() == exitCode, qPrintable(output));
        QVERIFY2(output.contains(error), qPrintable(output));
    }
};

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("TUNORA_TEST_ENGINE_FILES"))
        return startEngine();
    TunoraTest::IsolatedHome home;
    QCoreApplication app(argc, argv);
    TestEngineModule test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_enginemodule.moc"
