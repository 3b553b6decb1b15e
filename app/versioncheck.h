#pragma once

#include "records.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

// The once-per-run check for a newer program version. The window asks its directory client for
// the software version and connects signal_versionFound (queued) to slot_versionFound. When the
// directory announces another version, the listener is asked; the download must be https, is
// checked against the announced size (and SHA-256 when announced), saved under the user's download
// folder and handed to the desktop's handler for its type. It is never executed by the program.
class VersionCheck : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *CurrentVersion = "1.02";

    enum class Outcome
    {
        UpToDate,  // nothing new (a box only with the report flag)
        Declined,  // the listener said no
        Failed,    // the download or its checks failed (error() says why)
        Cancelled, // the listener cancelled the download
        Opened,    // saved and handed to the desktop handler, which started
        Saved      // saved, but no handler started
    };
    Q_ENUM(Outcome)

    explicit VersionCheck(QWidget *window, QObject *parent = nullptr);

    // True when the announced version text is not empty and differs from ours (text comparison:
    // an older announcement is offered too).
    static bool isOtherVersion(const BASS::SoftwareVersion &version);
    // The change notes as rich text: escaped, every full stop a line break.
    static QString changeNotes(const QString &comment);
    // A plain file name for the download (from the address's last segment), never a path.
    static QString downloadFileName(const QUrl &url);

    // Where downloads go (the user's download folder); tests point it elsewhere.
    void setDownloadFolder(const QString &folder) { m_downloadFolder = folder; }
    QString downloadFolder() const;
    // Opens a saved file; QDesktopServices::openUrl by default. Returns whether a handler started.
    void setOpenHook(std::function<bool(const QUrl &)> hook) { m_openHook = std::move(hook); }
    // Extra CA certificates trusted for the download (tests); the process-wide trust otherwise.
    void setProgressShown(bool shown) { m_showProgress = shown; }

    // Downloads and verifies the announced file into the download folder. True with *path set
    // when the file is complete and its checks passed; nothing is left behind otherwise.
    bool download(const BASS::SoftwareVersion &version, QString *path);
    QString error() const { return m_error; }
    Outcome lastOutcome() const { return m_outcome; }
    QString savedFile() const { return m_saved; }

    // Runs the whole check for an announcement now (question, download, hand-over).
    void check(const BASS::SoftwareVersion &version);

signals:
    void signal_finished(VersionCheck::Outcome outcome);
    // The desktop handler started the update: the window may close.
    void signal_quitRequested();

public slots:
    // Connect directly to TunoraAPI::signal_versionFound: the record is copied at once (its
    // pointer is valid during the signal only) and checked from the event loop, outside the
    // client's reply handling.
    void slot_versionFound(const BASS::SoftwareVersion *version);

private:
    void finish(Outcome outcome);

    QPointer<QWidget> m_window;
    QString m_downloadFolder;
    std::function<bool(const QUrl &)> m_openHook;
    bool m_showProgress = true;
    QString m_error;
    QString m_saved;
    Outcome m_outcome = Outcome::UpToDate;
};
