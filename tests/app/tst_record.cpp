// The record control of the window against a local Icecast: the toggle records the playing
// station into the folder of the settings, in their format, while the clock runs; the recording
// ends with the toggle, with playback or with the next station, and its file decodes; a folder
// that cannot be made is named in the status line. And the settings group edits the keys.

#undef QT_NO_CAST_FROM_ASCII

#include "appsettings.h"
#include "icecast.h"
#include "recordingsettings.h"
#include "settingspanel.h"
#include "testmain.h"
#include "tunorade.h"
#include "tunorastream.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>

using TunoraTest::IcecastServer;

namespace {

BASS::Station stationAt(const QUrl &url, const QString &name)
{
    BASS::Station station;
    station.setName(name);
    BASS::StationStream entry;
    entry.url = url.toString();
    station.addStream(entry, true);
    return station;
}

// The codec ffprobe names and the seconds ffmpeg decodes (to 8 kHz mono 16-bit); -1 on failure.
std::pair<QString, double> decode(const QString &file)
{
    QProcess info;
    info.start("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries", "stream=codec_name",
                           "-of", "csv=p=0", file});
    if (!info.waitForFinished(30000) || info.exitCode() != 0)
        return {QString(), -1};
    QProcess pcm;
    pcm.start("ffmpeg",
              {"-nostdin", "-v", "quiet", "-i", file, "-f", "s16le", "-ac", "1", "-ar", "8000", "-"});
    if (!pcm.waitForFinished(60000) || pcm.exitCode() != 0)
        return {QString(), -1};
    return {QString::fromUtf8(info.readAllStandardOutput()).trimmed(),
            pcm.readAllStandardOutput().size() / 16000.0};
}

} // namespace

class TestRecord : public QObject
{
    Q_OBJECT

    IcecastServer m_icecast;
    QTemporaryDir m_dir;
    QStringList m_boxes;
    std::unique_ptr<TunoraDE> m_window;

    QToolButton *recordButton() { return m_window->findChild<QToolButton *>("btRecord"); }
    QLabel *recordTime() { return m_window->findChild<QLabel *>("lblRecordTime"); }
    QString status() { return m_window->lblTrackHistory->text(); }
    // The boxes about recordings (the directory, unreachable here, has boxes of its own).
    QStringList recordingBoxes() { return m_boxes.filter("Recording"); }

private slots:
    void initTestCase()
    {
        AppSettings::setApplicationFolderOverride(TunoraTest::IsolatedHome::path());
        TunoraDE::setStartDialogsEnabled(false);
        AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, "https://127.0.0.1:9/");
        TunoraDE::setMessageHook(
            [this](BASS::MessageKind, const QString &, const QString &text, QMessageBox::StandardButtons) {
                m_boxes.append(text);
                return int(QMessageBox::Ok);
            });
        if (!IcecastServer::available())
            QSKIP("icecast2 or ffmpeg is not installed");
        QString error;
        QVERIFY2(m_icecast.start(&error), qPrintable(error));
        IcecastServer::Source mp3;
        QVERIFY2(m_icecast.startSource(mp3, &error), qPrintable(error));
        IcecastServer::Source other = mp3;
        other.mount = "/other.mp3";
        QVERIFY2(m_icecast.startSource(other, &error), qPrintable(error));
    }

    void init()
    {
        m_boxes.clear();
        m_window = std::make_unique<TunoraDE>(nullptr, 0);
        m_window->channel()->SetFadeTimes(0, 0);
    }

    void cleanup() { m_window.reset(); }

    void records_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("split");
        QTest::addColumn<QString>("folder"); // under the test's folder; "blocked" is a file there
        QTest::addColumn<QString>("end");    // "toggle", "stop" (playback), "station" (another one)
        QTest::addColumn<QString>("codec");  // empty: nothing may be written

        QTest::newRow("own bytes, toggled off") << 0 << false << "own"
                                                << "toggle"
                                                << "mp3";
        QTest::newRow("Ogg Vorbis, playback stops") << 4 << true << "nested/ogg"
                                                    << "stop"
                                                    << "vorbis";
        QTest::newRow("AAC, another station") << 3 << false << "aac"
                                              << "station"
                                              << "aac";
        QTest::newRow("folder is a file") << 0 << false << "blocked/inside"
                                          << "toggle"
                                          << "";
    }

    void records()
    {
        QFETCH(int, format);
        QFETCH(bool, split);
        QFETCH(QString, folder);
        QFETCH(QString, end);
        QFETCH(QString, codec);
        const QString path = m_dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + '/' + folder);
        if (folder.startsWith("blocked")) {
            const QString blocked = QFileInfo(path).absolutePath();
            QDir().mkpath(QFileInfo(blocked).absolutePath());
            QFile blocker(blocked);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        RecordingSettings::setFolder(path);
        RecordingSettings::setFormat(format);
        RecordingSettings::setSplit(split);

        QToolButton *button = recordButton();
        QVERIFY(button && recordTime());
        QVERIFY(button->isCheckable());
        QVERIFY(!button->accessibleName().isEmpty() && !button->toolTip().isEmpty());
        QVERIFY(!button->isEnabled()); // nothing plays yet

        m_window->playStation(stationAt(m_icecast.mountUrl("/test.mp3"), "Record Radio"));
        QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 30000);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->width() / 4, button->height() / 2));

        if (codec.isEmpty()) {
            QVERIFY(!button->isChecked());
            QVERIFY(!m_window->channel()->IsRecording());
            QTRY_VERIFY(status().startsWith("Recording failed: Unable to create output file"));
            QCOMPARE(recordingBoxes().size(), 1);
            QVERIFY(m_window->channel()->IsPlaying()); // playback goes on
            return;
        }
        QVERIFY(button->isChecked());
        QTRY_VERIFY(status().startsWith("Recording: "));
        // "mm:ss" from the channel's one-second tick.
        QTRY_VERIFY_WITH_TIMEOUT(recordTime()->text().size() == 5 && recordTime()->text() >= "00:04", 20000);

        if (end == "toggle") {
            QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->width() / 4, button->height() / 2));
        } else if (end == "stop") {
            QTest::mouseClick(m_window->btPlay, Qt::LeftButton);
            QVERIFY(!button->isEnabled());
        } else {
            m_window->playStation(stationAt(m_icecast.mountUrl("/other.mp3"), "Other Radio"));
        }
        QVERIFY(!m_window->channel()->IsRecording());
        QVERIFY(!button->isChecked());
        QVERIFY(recordTime()->text().isEmpty());
        const QStringList files = QDir(path).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        if (end == "toggle")
            QTRY_COMPARE(status(), "Recording saved: " + files[0]);
        const auto [decodedCodec, seconds] = decode(QDir(path).filePath(files[0]));
        QCOMPARE(decodedCodec, codec);
        QVERIFY2(seconds >= 3.0 && seconds <= 10.0, qPrintable(QString::number(seconds)));
        QVERIFY2(recordingBoxes().isEmpty(), qPrintable(recordingBoxes().join('\n')));
    }

    // Defaults, a stored value out of range, and the settings page's group writing the keys.
    void settingsGroup()
    {
        QSettings().remove("RecordingsFolder");
        QSettings().remove("RecordingFormat");
        QVERIFY(RecordingSettings::folder().endsWith("/Tunora Recordings"));
        QCOMPARE(RecordingSettings::format(), 0);
        QSettings().setValue("RecordingFormat", 9);
        QCOMPARE(RecordingSettings::format(), 0);

        Settings page;
        auto *format = page.findChild<QComboBox *>("cbRecordingFormat");
        auto *folder = page.findChild<QLineEdit *>("leRecordingsFolder");
        auto *split = page.findChild<QCheckBox *>("chkRecordingSplit");
        QVERIFY(format && folder && split);
        QCOMPARE(folder->text(), RecordingSettings::folder());
        format->setFocus();
        QTest::keyClick(format, Qt::Key_Down);
        QCOMPARE(QSettings().value("RecordingFormat").toInt(), 1);
        folder->clear();
        QTest::keyClicks(folder, "Rec");
        QTest::keyClick(folder, Qt::Key_Return);
        QCOMPARE(RecordingSettings::folder(), QDir::home().filePath("Rec"));
        split->setChecked(!RecordingSettings::split());
        QCOMPARE(QSettings().value("RecordingSplit").toBool(), split->isChecked());
    }
};

TUNORA_TEST_MAIN(TestRecord)
#include "tst_record.moc"
