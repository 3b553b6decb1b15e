// Reading the channel's tags (stream headers, title blocks, Ogg and WMA comments) and what the
// channel saw: titles, stream information, songs, station, byte counts.

#include "cbass.h"

#include "codepage.h"

namespace BASS {

// ---- tags --------------------------------------------------------------------------------------

void CBass::ReadAllTags()
{
    if (!Handle())
        return;
    ReadTitleTags();
    ReadStreamInfo();
}

void CBass::InstallMetaSyncs()
{
    const HSTREAM handle = Handle();
    if (!handle)
        return;
    for (DWORD kind : {DWORD(BASS_SYNC_META), DWORD(BASS_SYNC_WMA_CHANGE), DWORD(BASS_SYNC_WMA_META)})
        BASS_ChannelSetSync(handle, kind, 0, &MetaSyncProc, this);
}

void CBass::installSyncs()
{
    InstallMetaSyncs();
    if (const HSTREAM handle = Handle()) {
        BASS_ChannelSetSync(handle, BASS_SYNC_STALL, 0, &StallSyncProc, this);
        BASS_ChannelSetSync(handle, BASS_SYNC_END, 0, &EndSyncProc, this);
        BASS_ChannelSetSync(handle, BASS_SYNC_DEV_FAIL, 0, &DeviceFailSyncProc, this);
        BASS_ChannelSetSync(handle, BASS_SYNC_DEV_BACK, 0, &DeviceFailSyncProc, this);
    }
}

void CBass::ReadTitleTags()
{
    const HSTREAM handle = Handle();
    if (const char *meta = BASS_ChannelGetTags(handle, BASS_TAG_META)) {
        ParseMetaBlock(meta);
        return;
    }
    if (const char *wma = BASS_ChannelGetTags(handle, BASS_TAG_WMA_META)) {
        ParseWmaMeta(wma);
        return;
    }
    ParseOggTitle(BASS_ChannelGetTags(handle, BASS_TAG_OGG));
}

bool CBass::ParseMetaBlock(const char *block)
{
    if (!block) {
        ReadTitleTags();
        return !m_titleInfo.rawBlock.isEmpty();
    }
    return ::BASS::ParseMetaBlock(TagString(block), GetCodePageName(), m_titleInfo);
}

void CBass::ReadStreamInfo()
{
    if (!ReadHttpHeaders() && !ReadWmaHeader())
        ReadOggInfo();
}

bool CBass::ParseOggInfo(const char *comments)
{
    return ::BASS::ParseOggInfo(TagList(comments), GetCodePageName(), m_streamInfo);
}

bool CBass::ReadOggInfo()
{
    return ParseOggInfo(ChannelGetTags(BASS_TAG_OGG));
}

bool CBass::ParseHttpHeaders(const char *headers)
{
    return ::BASS::ParseHttpHeaders(TagList(headers), GetCodePageName(), m_streamInfo);
}

bool CBass::ReadHttpHeaders()
{
    const char *headers = ChannelGetTags(BASS_TAG_ICY);
    if (!headers)
        headers = ChannelGetTags(BASS_TAG_HTTP);
    return ParseHttpHeaders(headers);
}

bool CBass::ParseWmaHeader(const char *attributes)
{
    return ::BASS::ParseWmaHeader(TagList(attributes), GetCodePageName(), m_streamInfo);
}

bool CBass::ReadWmaHeader()
{
    return ParseWmaHeader(ChannelGetTags(BASS_TAG_WMA));
}

bool CBass::ParseWmaMeta(const char *block)
{
    return ::BASS::ParseWmaMeta(TagString(block), GetCodePageName(), m_titleInfo);
}

bool CBass::ParseIcyMeta(const char *block)
{
    return ::BASS::ParseIcyMeta(TagString(block), GetCodePageName(), m_titleInfo);
}

bool CBass::ParseOggTitle(const char *comments)
{
    return ::BASS::ParseOggTitle(TagList(comments), GetCodePageName(), m_titleInfo);
}

const char *CBass::GetCodePageName() const
{
    QMutexLocker station(&m_stationLock);
    return CodePageForLocation(m_station.rawLocation());
}

// ---- what the channel saw ----------------------------------------------------------------------

MetaTitle CBass::TitleInfo() const
{
    QMutexLocker meta(&m_metaLock);
    return m_titleInfo;
}

StreamInfo CBass::GetStreamInfo() const
{
    QMutexLocker meta(&m_metaLock);
    return m_streamInfo;
}

Song CBass::CurrentSong() const
{
    QMutexLocker songs(&m_songLock);
    return m_song;
}

Song CBass::PreviousSong() const
{
    QMutexLocker songs(&m_songLock);
    return m_previousSong;
}

BASS::Station CBass::GetStation() const
{
    QMutexLocker station(&m_stationLock);
    return m_station;
}

void CBass::SetStation(const BASS::Station &station)
{
    QMutexLocker lock(&m_stationLock);
    m_station = station;
}

QString CBass::stationTemplate() const
{
    QMutexLocker station(&m_stationLock);
    return m_station.metaTemplate();
}

quint32 CBass::StationBitrate() const
{
    QMutexLocker station(&m_stationLock);
    return m_station.currentStream().bitrate;
}

quint64 CBass::BytesDownloaded() const
{
    QMutexLocker bytes(&m_byteLock);
    return m_bytesDownloaded;
}

void CBass::AdvancePlaybackClock()
{
    ++m_secondsPlayed;
    ++m_secondsTick;
    UpdateMeasuredBitrate();
}

void CBass::SetFadeTimes(int fadeInMs, int fadeOutMs)
{
    m_fadeInMs = qMax(fadeInMs, 0);
    m_fadeOutMs = qMax(fadeOutMs, 0);
}

void CBass::SetRetries(int retries)
{
    m_retries = qMax(retries, 0);
}

} // namespace BASS
