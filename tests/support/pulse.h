#pragma once

// A private PulseAudio daemon for tests: its own runtime folder, one null sink (which consumes
// audio in real time) and a recorder on the sink's monitor, so a test can check that sound
// really arrived. start() points this process's PulseAudio clients (PULSE_SERVER) at it;
// stop() (also run by the destructor) ends the daemon by its recorded process id.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace TunoraTest {

class PulseServer
{
public:
    ~PulseServer();
    bool start(QString *error);
    void stop();
    QString serverAddress() const; // "unix:<folder>/native"
    static QString sinkName() { return QStringLiteral("tunora_test"); }

    // Records the sink's monitor (signed 16-bit, stereo, 44.1 kHz) until stopRecording().
    bool startRecording(QString *error);
    QByteArray stopRecording();

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QProcess m_recorder;
    QByteArray m_oldServer;
    bool m_hadServer = false;
    bool m_running = false;
};

} // namespace TunoraTest
