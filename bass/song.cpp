#include "song.h"

namespace BASS {

Song::Song(QObject *parent)
    : QObject(parent)
{}

Song::Song(const Song &other)
    : QObject(nullptr)
{
    copyFields(other);
}

Song &Song::operator=(const Song &other)
{
    if (this != &other)
        copyFields(other);
    return *this;
}

Song::~Song() = default;

void Song::copyFields(const Song &other)
{
    m_artist = other.m_artist;
    m_title = other.m_title;
    m_stationName = other.m_stationName;
    m_streamUrl = other.m_streamUrl;
    m_album = other.m_album;
    m_genre = other.m_genre;
    m_comment = other.m_comment;
    m_fileName = other.m_fileName;
    m_duration = other.m_duration;
    m_coverArtSource = other.m_coverArtSource;
    m_status = other.m_status;
    m_timeStamp = other.m_timeStamp;
    m_recordedSeconds = other.m_recordedSeconds;
    m_waitedSeconds = other.m_waitedSeconds;
    m_bytes = other.m_bytes;
    m_flags = other.m_flags;
}

void Song::Clear()
{
    *this = Song();
}

QString Song::DisplayText(bool forLabel) const
{
    QString text = m_title.isEmpty() ? m_artist : m_artist + QLatin1String(" - ") + m_title;
    if (forLabel)
        text.replace(QLatin1Char('&'), QLatin1String("&&"));
    return text;
}

QString Song::StatusKey(qint32 status)
{
    switch (status) {
    case SongBassError:
        return QStringLiteral("L_STATUS_SONG_BASS_ERROR");
    case SongTimedOut:
        return QStringLiteral("L_STATUS_SONG_TIMED_OUT");
    case SongStopped:
        return QStringLiteral("L_STATUS_SONG_STOPPED");
    case SongStalled:
        return QStringLiteral("L_STATUS_SONG_STALLED");
    case SongPlaying:
        return QStringLiteral("L_STATUS_SONG_PLAYING");
    case SongPaused:
        return QStringLiteral("L_STATUS_PAUSED");
    case SongFinished:
    case SongCompleted:
        return QStringLiteral("L_STATUS_SONG_FINISHED");
    case SongRecording:
        return QStringLiteral("L_STATUS_SONG_RECORDING");
    case SongRecorded:
        return QStringLiteral("L_STATUS_SONG_RECORDED");
    case SongSkipped:
        return QStringLiteral("L_STATUS_SONG_SKIPPED");
    default:
        return QString();
    }
}

void Song::SetRecording(bool on)
{
    m_status = on ? SongRecording : SongNoStatus;
    if (!on)
        m_recordedSeconds = 0;
}

} // namespace BASS
