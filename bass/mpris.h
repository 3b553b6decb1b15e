#pragma once

// The playing title, published to the desktop as a media player on the session bus (the MPRIS2
// interfaces org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player), so that the desktop's
// media controls show it and can play, pause, stop and set the volume.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace BASS {

class Song;

// What a now-playing text is built from.
struct NowPlaying
{
    QString station; // the station name as published (see StationName)
    QString artist;  // the song's artist; empty without a song
    QString song;    // the song's title
    QString track;   // the song's display text ("artist - title"); empty without a song
    QString url;     // the stream address

    // Builds the record from the channel's state; song may be null.
    static NowPlaying From(const QString &stationName, const Song *song, const QString &url);
    // The station name as published: the given name, or the translated "Unknown Station" when it
    // is empty; at most 50 characters; trimmed.
    static QString StationName(const QString &stationName);
};

// Replaces "%station%", "%track%" and "%url%" in a now-playing template.
QString ExpandNowPlayingTemplate(const QString &nowPlayingTemplate, const NowPlaying &nowPlaying);

// The desktop media-player entry of the program. Lives on the GUI thread; the post… operations
// may be called from any thread (the engine's sync thread among them) and take effect in order
// on the publisher's thread. Without a session bus the publisher keeps its state and publishes
// nothing; no operation fails. The owner keeps the publisher alive for as long as any channel
// may post to it.
class MprisPlayer : public QObject
{
    Q_OBJECT
public:
    enum class Status
    {
        Stopped,
        Playing,
        Paused
    };

    static constexpr const char *ServiceName = "org.mpris.MediaPlayer2.tunora";
    static constexpr const char *ObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char *Identity = "Tunora Player";
    // Used when the caller's template is empty.
    static constexpr const char *DefaultTemplate = "%track%";

    // On the session bus, under ServiceName (or ServiceName + ".instance<pid>" when another
    // player of this program holds the name).
    explicit MprisPlayer(QObject *parent = nullptr);
    MprisPlayer(const QDBusConnection &bus, const QString &serviceName, QObject *parent = nullptr);
    ~MprisPlayer() override;

    bool isRegistered() const { return !m_registeredName.isEmpty(); }
    // The name held on the bus; empty when not registered.
    QString registeredName() const { return m_registeredName; }

    // Publishes a new title: xesam:title is the expanded template (the station name when that is
    // empty), xesam:artist the song's artist (else the station), xesam:album the station,
    // xesam:url the stream address, mpris:trackid a new track path. Playback becomes Playing
    // unless it is Paused.
    void setNowPlaying(const QString &nowPlayingTemplate, const NowPlaying &nowPlaying);
    // Empties the metadata; playback becomes Stopped.
    void clearNowPlaying();
    void setPlaybackStatus(Status status);
    // 0..100.
    void setVolume(int percent);

    void postNowPlaying(const QString &nowPlayingTemplate, const NowPlaying &nowPlaying);
    void postClear();
    void postPlaybackStatus(Status status);
    void postVolume(int percent);

    QVariantMap metadata() const { return m_metadata; }
    Status playbackStatus() const { return m_status; }
    QString playbackStatusText() const;
    int volume() const { return m_volume; }

    // Called by the bus adaptors.
    void requestVolume(double volume);

signals:
    // The desktop asked for these; the main window acts on them.
    void sig_playRequested();
    void sig_pauseRequested();
    void sig_playPauseRequested();
    void sig_stopRequested();
    void sig_volumeRequested(int percent);

private:
    void registerOnBus(const QString &serviceName);
    void notifyChanged(const QVariantMap &changed);

    QDBusConnection m_bus;
    QString m_registeredName;
    bool m_objectRegistered = false;
    QVariantMap m_metadata;
    Status m_status = Status::Stopped;
    int m_volume = 100;
    quint64 m_trackNumber = 0;
};

} // namespace BASS
