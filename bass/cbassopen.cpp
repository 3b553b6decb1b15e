// Opening a channel (files, network streams, address lists), the pre-buffer wait, playing with a
// fade-in and stopping with a fade-out.

#include "cbass.h"

#include "bassinit.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>

namespace BASS {

namespace {

// The abort flag the calling thread has handed to the engine, so that nested opens on the same
// thread put back what was there before.
thread_local const std::atomic<bool> *t_abortFlag = nullptr;

// Hands an abort flag to the engine for the creators called on this thread while it lives.
class AbortFlagScope
{
public:
    explicit AbortFlagScope(const std::atomic<bool> *flag)
        : m_previous(t_abortFlag)
    {
        t_abortFlag = flag;
        BASS_SetAbortFlag(flag);
    }
    ~AbortFlagScope()
    {
        t_abortFlag = m_previous;
        BASS_SetAbortFlag(m_previous);
    }
    AbortFlagScope(const AbortFlagScope &) = delete;
    AbortFlagScope &operator=(const AbortFlagScope &) = delete;

private:
    const std::atomic<bool> *m_previous;
};

// Stops the channel when an open ends without one (a creator may have left a half-made channel
// behind when an abort came in between).
class StopUnlessConnected
{
public:
    explicit StopUnlessConnected(CBass &bass)
        : m_bass(bass)
    {}
    ~StopUnlessConnected()
    {
        if (m_armed)
            m_bass.Stop(0);
    }
    void disarm() { m_armed = false; }
    StopUnlessConnected(const StopUnlessConnected &) = delete;
    StopUnlessConnected &operator=(const StopUnlessConnected &) = delete;

private:
    CBass &m_bass;
    bool m_armed = true;
};

bool contains(const QString &text, const char *word)
{
    return text.contains(QLatin1String(word), Qt::CaseInsensitive);
}

// Addresses the network creators take; everything else is first tried as a file.
bool isNetworkAddress(const QString &address)
{
    for (const char *scheme : {"http://", "https://", "mms://", "mmsh://", "mmst://"})
        if (contains(address, scheme))
            return true;
    return false;
}

} // namespace

// ---- opening -----------------------------------------------------------------------------------

HSTREAM CBass::create(CreatorKind kind, const QString &address, DWORD flags, bool network)
{
    if (const HSTREAM existing = Handle())
        return existing;
    Notify(EventConnecting, kind);
    // Creators that take a char* address get UTF-8 and no BASS_UNICODE; those that take a
    // void* path get wchar_t text, as BASS_UNICODE declares.
    const QByteArray utf8 = address.toUtf8();
    const std::wstring wide = address.toStdWString();
    const void *path = wide.c_str();
    const DWORD narrowFlags = flags & ~DWORD(BASS_UNICODE);
    // Every URL creator gets the download callback, not only the plain one: an AAC or FLAC
    // station would otherwise have no header text, no byte count and nothing to record.
    HSTREAM handle = 0;
    switch (kind) {
    case CreatorPlain:
        handle = network ? BASS_StreamCreateURL(utf8.constData(), 0, narrowFlags, &DownloadProc, this)
                         : BASS_StreamCreateFile(FALSE, path, 0, 0, flags);
        break;
    case CreatorWma:
        handle = BASS_WMA_StreamCreateFile(FALSE, path, 0, 0, flags);
        break;
    case CreatorAac:
        handle = network ? BASS_AAC_StreamCreateURL(utf8.constData(), 0, narrowFlags, &DownloadProc, this)
                         : BASS_AAC_StreamCreateFile(FALSE, path, 0, 0, flags);
        break;
    case CreatorMp4:
        handle = BASS_MP4_StreamCreateFile(FALSE, path, 0, 0, flags);
        break;
    case CreatorFlac:
        handle = network ? BASS_FLAC_StreamCreateURL(utf8.constData(), 0, narrowFlags, &DownloadProc, this)
                         : BASS_FLAC_StreamCreateFile(FALSE, path, 0, 0, flags);
        break;
    }
    m_handle = handle;
    return handle;
}

void CBass::beginStream()
{
    {
        QMutexLocker meta(&m_metaLock);
        m_titleInfo.clear();
        m_streamInfo.Reset();
        m_channelInfo = BASS_CHANNELINFO{};
    }
    {
        // The song of the previous stream is not playing on this one.
        QMutexLocker songs(&m_songLock);
        m_song.Clear();
    }
    {
        QMutexLocker bytes(&m_byteLock);
        m_bytesDownloaded = 0;
    }
    {
        QMutexLocker record(&m_recordLock);
        m_recording.BeginStream();
    }
    m_lastError = 0;
    setErrorText(QString());
    m_tickAtLastRate = 0;
}

bool CBass::OpenFile(const QString &path, DWORD flags, bool play)
{
    return openFile(path, flags, play, Nested::No);
}

bool CBass::openFile(const QString &path, DWORD flags, bool play, Nested nested)
{
    AbortFlagScope abortScope(&m_aborting);
    m_isLocalFile = true;
    if (nested == Nested::No) {
        ClearAbort();
        Stop(0);
        beginStream();
    }
    StopUnlessConnected guard(*this);
    setCurrentUrl(path);
    const DWORD f = flags | BASS_UNICODE;
    for (CreatorKind kind : {CreatorPlain, CreatorWma, CreatorAac, CreatorMp4, CreatorFlac}) {
        if (Handle())
            break;
        create(kind, path, f, false);
        if (IsAborting()) {
            if (nested == Nested::No) {
                Stop(0);
                OnConnectAborted();
            }
            return false;
        }
    }
    if (!Handle()) {
        if (nested == Nested::No)
            OnConnectFailed();
        else
            m_isLocalFile = false;
        return false;
    }
    guard.disarm();
    if (play)
        OnConnected();
    return true;
}

bool CBass::OpenURL(const QString &url, DWORD flags)
{
    AbortFlagScope abortScope(&m_aborting);
    QString address = url;
    address.replace(QLatin1String("icyx://"), QLatin1String("http://"), Qt::CaseInsensitive);
    m_isLocalFile = false;
    Stop(0);
    beginStream();
    StopUnlessConnected guard(*this);
    const DWORD f = flags | BASS_UNICODE | BASS_STREAM_STATUS | BASS_STREAM_BLOCK | BASS_STREAM_AUTOFREE;

    if (contains(address, "rtsp://")) {
        create(CreatorWma, address, f, true);
        if (!Handle() && !IsAborting()) {
            address.replace(QLatin1String("rtsp://"), QLatin1String("http://"), Qt::CaseInsensitive);
            create(CreatorWma, address, f, true);
        }
    }

    // A local file opened in the loop has already been started by OpenFile.
    bool startedAsFile = false;
    for (int round = 0; !Handle() && !IsAborting() && round <= m_retries; ++round) {
        if (!isNetworkAddress(address) && openFile(address, 0, true, Nested::InsideOpenURL)) {
            startedAsFile = true;
            break;
        }
        if (IsAborting())
            break;
        setCurrentUrl(address);
        address.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (contains(address, "mms://") || contains(address, ".wma")) {
            create(CreatorWma, address, f, true);
            if (IsAborting())
                break;
            if (!Handle() && BASS_ErrorGetCode() != BASS_ERROR_FILEFORM) {
                create(CreatorWma, address, f, true);
                if (IsAborting())
                    break;
            }
        } else {
            create(CreatorPlain, address, f, true);
            if (IsAborting())
                break;
            if (!Handle() && BASS_ErrorGetCode() == BASS_ERROR_TIMEOUT)
                continue; // a server that does not answer will not answer the other creators
            for (CreatorKind kind : {CreatorAac, CreatorMp4, CreatorWma, CreatorFlac}) {
                if (Handle())
                    break;
                create(kind, address, f, true);
                if (IsAborting())
                    break;
            }
        }
    }

    if (IsAborting()) {
        Stop(0);
        OnConnectAborted();
        return false;
    }
    if (!Handle()) {
        OnConnectFailed();
        return false;
    }
    if (!startedAsFile)
        OnConnected();
    if (IsAborting()) { // during the pre-buffer wait or the fade-in
        Stop(0);
        OnConnectAborted();
        return false;
    }
    guard.disarm();
    return true;
}

bool CBass::OpenURLList(const QStringList &urls, bool fromLast, DWORD flags)
{
    Q_UNUSED(flags); // each entry is opened with the plain flags
    if (urls.isEmpty())
        return false;
    const qsizetype count = urls.size();
    for (qsizetype i = 0; i < count; ++i) {
        const QString &entry = fromLast ? urls[count - 1 - i] : urls[i];
        if (!fromLast && entry.indexOf(QLatin1String("adinjector"), 1) >= 0)
            continue; // an advertising relay: only ever the last resort
        if (OpenURL(entry, 0))
            return true;
        if (IsAborting())
            break;
    }
    return false;
}

bool CBass::OpenFileForDecoding(const QString &path)
{
    const bool opened = OpenFile(path, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT, false);
    Notify(opened ? EventPlaying : EventStopped, 0);
    return opened;
}

void CBass::OnConnected()
{
    WaitForPreBuffer();
    if (IsAborting())
        return;
    installSyncs();
    {
        BASS_CHANNELINFO info{};
        BASS_ChannelGetInfo(Handle(), &info);
        info.filename = nullptr; // the engine's text does not outlive the channel
        QMutexLocker meta(&m_metaLock);
        m_channelInfo = info;
    }
    OnMetaSync(0, 0, 0);
    UpdateMeasuredBitrate();
    Notify(EventPlaying, 0);
    SendMessengerNowPlaying(false);
    Play(m_fadeInMs);
}

void CBass::OnConnectAborted()
{
    Notify(EventConnectAborted, 0);
}

void CBass::OnConnectFailed()
{
    setErrorText(QString());
    m_lastError = BASS_ErrorGetCode();
    if (m_lastError != 0)
        setErrorText(BassErrorText(m_lastError));
}

bool CBass::WaitForPreBuffer()
{
    if (!Handle())
        return false;
    if (m_isLocalFile)
        return true; // nothing to download: the whole file is there
    for (int round = 0; round < PreBufferRounds; ++round) {
        if (BufferFillPercent() < 0)
            return false;
        Sleep(PreBufferRoundMs, true);
        ProcessEvents();
        if (IsAborting())
            return false;
        if (BufferFillPercent() > PreBufferPercent)
            return true;
    }
    return false;
}

// ---- playback ----------------------------------------------------------------------------------

bool CBass::Play(int ms)
{
    const HSTREAM handle = Handle();
    if (!handle)
        return false;
    float volume = 1.0f;
    if (ms > 0) {
        BASS_ChannelGetAttribute(handle, BASS_ATTRIB_VOL, &volume);
        BASS_ChannelSetAttribute(handle, BASS_ATTRIB_VOL, 0.0f);
    }
    const bool played = BASS_ChannelPlay(handle, FALSE);
    if (ms > 0) {
        BASS_ChannelSlideAttribute(handle, BASS_ATTRIB_VOL, volume, DWORD(ms));
        for (int waited = 0; waited < ms && !IsAborting(); waited += 100) {
            Sleep(qMin(100, ms - waited), true);
            ProcessEvents();
        }
    }
    if (played)
        OnAfterPlay();
    return played;
}

void CBass::FadeOut(int ms)
{
    const HSTREAM handle = Handle();
    if (!handle || ms <= 0)
        return;
    BASS_ChannelSlideAttribute(handle, BASS_ATTRIB_VOL, 0.0f, DWORD(ms));
    for (int waited = 0; waited < ms; waited += 100) {
        Sleep(qMin(100, ms - waited), false);
        ProcessEvents();
    }
}

bool CBass::Stop(int ms)
{
    const HSTREAM handle = Handle();
    if (!handle)
        return false;
    // A stop asked for from the events processed inside this one, or from another thread at the
    // same time, finds the work being done; so does one that comes after the channel was freed.
    bool idle = false;
    if (!m_stopping.compare_exchange_strong(idle, true))
        return false;
    if (Handle() != handle) {
        m_stopping = false;
        return false;
    }
    OnBeforeStop();
    if (ms > 0)
        FadeOut(ms);
    ProcessEvents();
    {
        // The DSP and the effect go with the channel, each removed once, and none can be added
        // in between to a handle about to be freed.
        std::lock_guard<std::recursive_mutex> effects(m_effectLock);
        if (const HDSP dsp = m_dspHandle.exchange(0))
            BASS_ChannelRemoveDSP(handle, dsp);
        if (const HFX fx = m_fxHandle.exchange(0))
            BASS_ChannelRemoveFX(handle, fx);
        BASS_ChannelStop(handle);
        // A channel made without BASS_STREAM_AUTOFREE (files, decoding channels) outlives the stop.
        BASS_StreamFree(handle);
        m_handle = 0;
    }
    ProcessEvents();
    m_paused = m_muteMark = false;
    ProcessEvents();
    m_stopping = false;
    Notify(EventStopped, 0);
    OnAfterStop();
    return true;
}

void CBass::OnBeforeStop() {}

void CBass::OnAfterStop()
{
    SendMessengerNowPlaying(true);
}

void CBass::OnAfterPlay() {}

void CBass::ProcessEvents()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        QCoreApplication::processEvents();
}

void CBass::Sleep(int ms, bool stopOnAbort)
{
    std::unique_lock<std::mutex> lock(m_sleepLock);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    if (stopOnAbort)
        m_sleepWake.wait_until(lock, until, [this] { return m_aborting.load(); });
    else
        while (m_sleepWake.wait_until(lock, until) != std::cv_status::timeout) {
        }
}

} // namespace BASS
