#include "recordingsettings.h"

#include "audioengine.h"
#include "recording.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QStandardPaths>

namespace {

const QString FolderKey = QStringLiteral("RecordingsFolder");
const QString FormatKey = QStringLiteral("RecordingFormat");
const QString SplitKey = QStringLiteral("RecordingSplit");

} // namespace

RecordingSettings::RecordingSettings(QWidget *parent)
    : QGroupBox(parent)
    , m_lblFolder(new QLabel(this))
    , m_leFolder(new QLineEdit(this))
    , m_btFolder(new QPushButton(this))
    , m_lblFormat(new QLabel(this))
    , m_cbFormat(new QComboBox(this))
    , m_chkSplit(new QCheckBox(this))
{
    setObjectName(QStringLiteral("grpRecording"));
    m_leFolder->setObjectName(QStringLiteral("leRecordingsFolder"));
    m_btFolder->setObjectName(QStringLiteral("btRecordingsFolder"));
    m_cbFormat->setObjectName(QStringLiteral("cbRecordingFormat"));
    m_chkSplit->setObjectName(QStringLiteral("chkRecordingSplit"));

    setTitle(tr("Recording"));
    m_lblFolder->setText(tr("Recordings folder:"));
    m_lblFolder->setBuddy(m_leFolder);
    m_btFolder->setText(tr("Choose..."));
    m_btFolder->setAccessibleName(tr("Choose the recordings folder"));
    m_lblFormat->setText(tr("Recording format:"));
    m_lblFormat->setBuddy(m_cbFormat);
    m_chkSplit->setText(tr("Split by song"));
    m_chkSplit->setToolTip(tr("Begin a new file, named after the song, whenever the title changes"));

    // A format whose encoder the installed FFmpeg lacks is shown but cannot be chosen.
    auto *model = new QStandardItemModel(m_cbFormat);
    for (int format = BASS::RecordStreamData; format <= BASS::RecordOgg; ++format) {
        auto *item = new QStandardItem(formatName(format));
        item->setData(format, Qt::UserRole);
        const QString encoder = BASS::CEncoderParams::DefaultEncoder(format);
        if (!encoder.isEmpty() && !BASS_Encode_CodecAvailable(encoder.toUtf8().constData())) {
            item->setEnabled(false);
            item->setToolTip(tr("Not available: the encoder is missing"));
        }
        model->appendRow(item);
    }
    m_cbFormat->setModel(model);

    auto *grid = new QGridLayout(this);
    grid->addWidget(m_lblFolder, 0, 0);
    grid->addWidget(m_leFolder, 0, 1);
    grid->addWidget(m_btFolder, 0, 2);
    grid->addWidget(m_lblFormat, 1, 0);
    grid->addWidget(m_cbFormat, 1, 1, 1, 2);
    grid->addWidget(m_chkSplit, 2, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    load();

    connect(m_leFolder, &QLineEdit::editingFinished, this, [this] {
        setFolder(m_leFolder->text());
        m_leFolder->setText(folder());
    });
    connect(m_btFolder, &QPushButton::clicked, this, &RecordingSettings::chooseFolder);
    connect(m_cbFormat, &QComboBox::activated, this,
            [this](int index) { setFormat(m_cbFormat->itemData(index).toInt()); });
    connect(m_chkSplit, &QCheckBox::toggled, this, &RecordingSettings::setSplit);
}

QString RecordingSettings::defaultFolder()
{
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty())
        music = QDir::homePath();
    return QDir(music).filePath(QStringLiteral("Tunora Recordings"));
}

QString RecordingSettings::folder()
{
    const QString stored = QSettings().value(FolderKey).toString().trimmed();
    if (stored.isEmpty())
        return defaultFolder();
    return QDir::cleanPath(QDir::home().absoluteFilePath(stored));
}

void RecordingSettings::setFolder(const QString &folder)
{
    QSettings().setValue(FolderKey, folder.trimmed());
}

int RecordingSettings::format()
{
    bool ok = false;
    const int format = QSettings().value(FormatKey, 0).toInt(&ok);
    return ok && format >= BASS::RecordStreamData && format <= BASS::RecordOgg ? format : 0;
}

void RecordingSettings::setFormat(int format)
{
    QSettings().setValue(FormatKey, format);
}

bool RecordingSettings::split()
{
    return QSettings().value(SplitKey, false).toBool();
}

void RecordingSettings::setSplit(bool on)
{
    QSettings().setValue(SplitKey, on);
}

QString RecordingSettings::formatName(int format)
{
    switch (format) {
    case BASS::RecordMp3:
        return tr("MP3");
    case BASS::RecordWma:
        return tr("WMA");
    case BASS::RecordAac:
        return tr("AAC");
    case BASS::RecordOgg:
        return tr("Ogg Vorbis");
    default:
        return tr("The stream's own format");
    }
}

void RecordingSettings::showEvent(QShowEvent *event)
{
    load();
    QGroupBox::showEvent(event);
}

void RecordingSettings::load()
{
    const QSignalBlocker blockFolder(m_leFolder);
    const QSignalBlocker blockFormat(m_cbFormat);
    const QSignalBlocker blockSplit(m_chkSplit);
    m_leFolder->setText(folder());
    m_cbFormat->setCurrentIndex(qMax(m_cbFormat->findData(format()), 0));
    m_chkSplit->setChecked(split());
}

void RecordingSettings::chooseFolder()
{
    const QString chosen = QFileDialog::getExistingDirectory(this, tr("Recordings folder"), folder());
    if (chosen.isEmpty())
        return;
    setFolder(chosen);
    m_leFolder->setText(folder());
}
