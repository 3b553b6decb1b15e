#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

namespace BASS {

// What happened to a song; the display text of each comes from the language files.
enum SongStatus : qint32
{
    SongNoStatus = 1,
    SongBassError = 2,
    SongTimedOut = 4,
    SongStopped = 5,
    SongStalled = 6,
    SongPlaying = 7,
    SongPaused = 8,
    SongFinished = 9,
    SongRecording = 10,
    SongRecorded = 11,
    SongSkipped = 12,
    SongCompleted = 13,
};

// One song heard on a station: who and what it is, where and when it was heard, and its status.
// Copyable like a value (the QObject base is never copied, only the fields).
class Song : public QObject
{
    Q_OBJECT
public:
    explicit Song(QObject *parent = nullptr);
    Song(const Song &other);
    Song &operator=(const Song &other);
    ~Song() override;

    void Clear();
    bool IsEmpty() const { return m_artist.isEmpty() && m_title.isEmpty(); }
    // "artist - title", or the artist alone without a title; forLabel doubles every '&' so that a
    // label does not take it for a mnemonic.
    QString DisplayText(bool forLabel = false) const;
    static QString StatusKey(qint32 status);
    QString StatusKey() const { return StatusKey(m_status); }

    void SetPlaying(bool on) { m_status = on ? SongPlaying : SongNoStatus; }
    void SetRecording(bool on);
    void SetStopped(bool on) { m_status = on ? SongStopped : SongNoStatus; }
    void ResetStatus() { m_status = SongNoStatus; }

    QString artist() const { return m_artist; }
    void setArtist(const QString &v) { m_artist = v; }
    QString title() const { return m_title; }
    void setTitle(const QString &v) { m_title = v; }
    QString stationName() const { return m_stationName; }
    void setStationName(const QString &v) { m_stationName = v; }
    QString streamUrl() const { return m_streamUrl; }
    void setStreamUrl(const QString &v) { m_streamUrl = v; }
    QString album() const { return m_album; }
    void setAlbum(const QString &v) { m_album = v; }
    QString genre() const { return m_genre; }
    void setGenre(const QString &v) { m_genre = v; }
    QString comment() const { return m_comment; }
    void setComment(const QString &v) { m_comment = v; }
    QString fileName() const { return m_fileName; }
    void setFileName(const QString &v) { m_fileName = v; }

    qint32 duration() const { return m_duration; }
    void setDuration(qint32 seconds) { m_duration = seconds; }
    qint32 coverArtSource() const { return m_coverArtSource; }
    void setCoverArtSource(qint32 source) { m_coverArtSource = source; }
    qint32 status() const { return m_status; }
    void setStatus(qint32 status) { m_status = status; }
    QDateTime timeStamp() const { return m_timeStamp; }
    void setTimeStamp(const QDateTime &t) { m_timeStamp = t; }

    // Seconds written to a recording of this song.
    qint32 recordedSeconds() const { return m_recordedSeconds; }
    void addRecordedSeconds(qint32 seconds) { m_recordedSeconds += seconds; }
    // Seconds an armed recording has been waiting for this song to begin.
    qint32 waitedSeconds() const { return m_waitedSeconds; }
    void addWaitedSeconds(qint32 seconds) { m_waitedSeconds += seconds; }
    qint64 bytes() const { return m_bytes; }
    void setBytes(qint64 bytes) { m_bytes = bytes; }
    quint32 flags() const { return m_flags; }
    void setFlags(quint32 flags) { m_flags = flags; }

private:
    void copyFields(const Song &other);

    QString m_artist;
    QString m_title;
    QString m_stationName;
    QString m_streamUrl;
    QString m_album;
    QString m_genre;
    QString m_comment;
    QString m_fileName;
    qint32 m_duration = 0;
    qint32 m_coverArtSource = 0;
    qint32 m_status = SongNoStatus;
    QDateTime m_timeStamp;
    qint32 m_recordedSeconds = 0;
    qint32 m_waitedSeconds = 0;
    qint64 m_bytes = 0;
    quint32 m_flags = 0;
};

} // namespace BASS
