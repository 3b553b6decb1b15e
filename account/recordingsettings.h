#pragma once

// The listener's recording choices, kept in the settings: the folder recordings go to, the
// format they are written in, and whether a new file begins with every song. RecordingSettings
// is also the settings page's group that edits them; every change is stored at once.

#include <QGroupBox>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class RecordingSettings : public QGroupBox
{
    Q_OBJECT
public:
    explicit RecordingSettings(QWidget *parent = nullptr);

    // The user's music folder (the home folder when there is none) + "Tunora Recordings".
    static QString defaultFolder();
    // "RecordingsFolder" as an absolute path (a relative one is taken from the home folder);
    // the default folder when none is stored.
    static QString folder();
    static void setFolder(const QString &folder);
    // "RecordingFormat": 0 the stream's own bytes, 1 MP3, 2 WMA, 3 AAC, 4 Ogg Vorbis; anything
    // else stored reads as 0.
    static int format();
    static void setFormat(int format);
    // "RecordingSplit": a new file at every title change.
    static bool split();
    static void setSplit(bool on);
    // The name of a format as the listener chooses it.
    static QString formatName(int format);

protected:
    // Shown again: the window may have changed the split choice meanwhile.
    void showEvent(QShowEvent *event) override;

private:
    void load();
    void chooseFolder();

    QLabel *m_lblFolder;
    QLineEdit *m_leFolder;
    QPushButton *m_btFolder;
    QLabel *m_lblFormat;
    QComboBox *m_cbFormat;
    QCheckBox *m_chkSplit;
};
