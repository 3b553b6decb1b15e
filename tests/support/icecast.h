#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

namespace TunoraTest {

// A private Icecast server on 127.0.0.1 at a free port, with ffmpeg sources feeding its mounts
// and the admin interface for changing titles. Its configuration, logs and PID file live in a
// temporary folder; it runs as "nobody" when the test runs as root; everything it started is
// stopped by recorded process, never by name.
class IcecastServer
{
public:
    // One ffmpeg source sending MP3. The input is a lavfi filter graph ("sine=frequency=440" by default).
    struct Source
    {
        QString mount = QStringLiteral("/test.mp3");
        QString name = QStringLiteral("Test Stream");
        QString genre;
        QString input = QStringLiteral("sine=frequency=440");
    };

    IcecastServer();
    ~IcecastServer();
    IcecastServer(const IcecastServer &) = delete;
    IcecastServer &operator=(const IcecastServer &) = delete;

    static bool available();

    bool start(QString *error = nullptr);
    void stop();
    bool isRunning() const;

    // http://127.0.0.1:<port><mount>
    QUrl mountUrl(const QString &mount) const;

    // Starts ffmpeg on the mount and waits until the mount answers listeners.
    bool startSource(const Source &source, QString *error = nullptr, int timeoutMs = 20000);
    void stopSource(const QString &mount);
    // Sets the stream title through the admin metadata call ("Artist - Title").
    bool setTitle(const QString &mount, const QString &title, QString *error = nullptr);

private:
    bool waitForMount(const QString &mount, int timeoutMs);
    // A log file in the server's folder ("log/error.log", "source_test.mp3.log").
    QString log(const QString &name) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_server;
    QMap<QString, QProcess *> m_sources;
    quint16 m_port = 0;
    QString m_sourcePassword;
    QString m_adminPassword;
};

} // namespace TunoraTest
