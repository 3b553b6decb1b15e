#include "cbass.h"

#include "bassinit.h"
#include "codepage.h"
#include "compressor.h"
#include "mpris.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <chrono>
#include <cmath>
#include <limits>

namespace BASS {

namespace {

constexpr QWORD QwordError = QWORD(-1);
constexpr DWORD DwordError = DWORD(-1);
// The connect error report shows at most this much of the headers received.
constexpr qsizetype MaxReportedTags = 4096;

QMutex g_publisherLock;
MprisPlayer *g_publisher = nullptr;

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

CBass::CBass() = default;

CBass::~CBass()
{
    Stop(0);
    StopRecording(); // before the encoder's thread could report to a half-destroyed object
}

void CBass::Reset()
{
    Stop(0);
    StopRecording();
    {
        QMutexLocker meta(&m_metaLock);
        m_titleInfo.clear();
        m_streamInfo.Reset();
        m_channelInfo = BASS_CHANNELINFO{};
    }
    {
        QMutexLocker record(&m_recordLock);
        m_record.Clear();
        m_writeFailures = 0;
    }
    {
        QMutexLocker songs(&m_songLock);
        m_song.Clear();
        m_previousSong.Clear();
    }
    {
        QMutexLocker station(&m_stationLock);
        m_station.reset();
    }
    {
        QMutexLocker texts(&m_textLock);
        m_currentUrl.clear();
        m_errorText.clear();
    }
    {
        QMutexLocker bytes(&m_byteLock);
        m_bytesDownloaded = 0;
    }
    m_aborting = false;
    m_paused = m_muteMark = m_isLocalFile = false;
    m_fadeInMs = DefaultFadeInMs;
    m_fadeOutMs = DefaultFadeOutMs;
    m_retries = 0;
    m_dspHandle = 0;
    m_fxHandle = 0;
    m_lastError = 0;
    m_secondsPlayed = m_secondsTick = m_tickAtLastRate = 0;
}

// ---- errors ------------------------------------------------------------------------------------

int CBass::GetLastErrorCode() const
{
    return m_lastError;
}

QString CBass::GetErrorText() const
{
    const QString text = RawErrorText();
    return text.isEmpty() ? QString() : tr(text.toUtf8().constData());
}

QString CBass::RawErrorText() const
{
    QMutexLocker texts(&m_textLock);
    return m_errorText;
}

QString CBass::StationName() const
{
    QMutexLocker station(&m_stationLock);
    return m_station.name();
}

void CBass::setErrorText(const QString &text)
{
    QMutexLocker texts(&m_textLock);
    m_errorText = text;
}

// ---- aborting ----------------------------------------------------------------------------------

bool CBass::IsAborting() const
{
    return m_aborting;
}

void CBass::ClearAbort()
{
    m_aborting = false;
}

void CBass::RequestAbort()
{
    {
        std::lock_guard<std::mutex> guard(m_sleepLock); // a sleeper cannot miss the flag
        m_aborting = true;
    }
    m_sleepWake.notify_all();
}

void CBass::ShowMessage(const QString &text, bool show)
{
    Q_UNUSED(text);
    Q_UNUSED(show);
}

void CBass::ReportRecordingError(int code, const QString &detail)
{
    QString text = RecordingErrorText(code);
    if (!detail.isEmpty())
        text += QLatin1Char('\n') + detail;
    bool show;
    {
        QMutexLocker station(&m_stationLock);
        show = m_station.quietErrors() == 0;
    }
    ShowMessage(text, show);
}

QString CBass::RecordingErrorText(int code) const
{
    switch (code) {
    case 0:
        return tr("Internal Error");
    case 1:
        return GetErrorText();
    case 2:
        return tr("Recording failed: Missing encoder ");
    case 3:
        return tr("Recording failed: Unable to create output file");
    case 4:
        return tr("Recording failed: Unable to write to disk");
    case 5:
        return tr("Recording failed: Encoder has stopped working.");
    default:
        return tr("Unknown Error");
    }
}

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

// ---- state -------------------------------------------------------------------------------------

bool CBass::IsPausedByUser() const
{
    return m_paused;
}

bool CBass::IsMuteMarked() const
{
    return m_muteMark;
}

bool CBass::IsLocalFile() const
{
    return m_isLocalFile;
}

bool CBass::IsPlaying() const
{
    return Handle() && BASS_ChannelIsActive(Handle()) == BASS_ACTIVE_PLAYING;
}

bool CBass::IsStalled() const
{
    return Handle() && BASS_ChannelIsActive(Handle()) == BASS_ACTIVE_STALLED;
}

bool CBass::IsPaused() const
{
    return Handle() && BASS_ChannelIsActive(Handle()) == BASS_ACTIVE_PAUSED;
}

bool CBass::IsStopped() const
{
    return !Handle() || BASS_ChannelIsActive(Handle()) == BASS_ACTIVE_STOPPED;
}

// ---- engine pass-throughs ----------------------------------------------------------------------

DWORD CBass::GetVersion() const
{
    return BASS_GetVersion();
}

bool CBass::SetDevice(DWORD device)
{
    return BASS_SetDevice(device);
}

DWORD CBass::GetDevice() const
{
    return BASS_GetDevice();
}

bool CBass::GetInfo(BASS_INFO *info) const
{
    return BASS_GetInfo(info);
}

bool CBass::Update(DWORD length)
{
    return BASS_Update(length);
}

float CBass::GetCPU() const
{
    return BASS_GetCPU();
}

bool CBass::StartOutput()
{
    return BASS_Start();
}

bool CBass::StopOutput()
{
    return BASS_Stop();
}

bool CBass::FreeEngine()
{
    Stop(0);
    return BASS_Free();
}

HPLUGIN CBass::PluginLoad(const QString &path)
{
    return BASS_PluginLoad(path.toUtf8().constData(), 0);
}

bool CBass::PluginFree(HPLUGIN plugin)
{
    return BASS_PluginFree(plugin);
}

// ---- file positions ----------------------------------------------------------------------------

QWORD CBass::FilePosition(DWORD mode) const
{
    return Handle() ? BASS_StreamGetFilePosition(Handle(), mode) : QwordError;
}

QWORD CBass::DownloadedBytes() const
{
    return FilePosition(BASS_FILEPOS_DOWNLOAD);
}

int CBass::BufferFillPercent() const
{
    const QWORD end = FilePosition(BASS_FILEPOS_END);
    if (end == QwordError || end == 0)
        return -1;
    const QWORD downloaded = FilePosition(BASS_FILEPOS_DOWNLOAD);
    const QWORD decoded = FilePosition(BASS_FILEPOS_CURRENT);
    if (downloaded == QwordError || decoded == QwordError)
        return -1;
    if (downloaded <= decoded)
        return 0;
    return int(qMin<QWORD>((downloaded - decoded) * 100 / end, 1000));
}

// ---- channel pass-throughs ---------------------------------------------------------------------

double CBass::Bytes2Seconds(QWORD bytes) const
{
    return Handle() ? BASS_ChannelBytes2Seconds(Handle(), bytes) : 0;
}

QWORD CBass::Seconds2Bytes(double seconds) const
{
    return Handle() ? BASS_ChannelSeconds2Bytes(Handle(), seconds) : 0;
}

DWORD CBass::ChannelGetDevice() const
{
    return Handle() ? BASS_ChannelGetDevice(Handle()) : 0;
}

bool CBass::ChannelSetDevice(DWORD device)
{
    return Handle() && BASS_ChannelSetDevice(Handle(), device);
}

bool CBass::ChannelGetInfo(BASS_CHANNELINFO *info) const
{
    return Handle() && BASS_ChannelGetInfo(Handle(), info);
}

const char *CBass::ChannelGetTags(DWORD tags) const
{
    return Handle() ? BASS_ChannelGetTags(Handle(), tags) : nullptr;
}

bool CBass::ChannelSetAttribute(DWORD attrib, float value)
{
    return Handle() && BASS_ChannelSetAttribute(Handle(), attrib, value);
}

bool CBass::ChannelGetAttribute(DWORD attrib, float *value) const
{
    return Handle() && BASS_ChannelGetAttribute(Handle(), attrib, value);
}

bool CBass::ChannelSlideAttribute(DWORD attrib, float value, DWORD timeMs)
{
    return Handle() && BASS_ChannelSlideAttribute(Handle(), attrib, value, timeMs);
}

bool CBass::ChannelIsSliding(DWORD attrib) const
{
    return Handle() && BASS_ChannelIsSliding(Handle(), attrib);
}

bool CBass::ChannelPlay(bool restart)
{
    return Handle() && BASS_ChannelPlay(Handle(), restart);
}

bool CBass::Pause()
{
    if (!Handle() || !BASS_ChannelPause(Handle()))
        return false;
    m_paused = true;
    QMutexLocker lock(&g_publisherLock);
    if (g_publisher)
        g_publisher->postPlaybackStatus(MprisPlayer::Status::Paused);
    return true;
}

bool CBass::Resume()
{
    if (!Handle() || !BASS_ChannelPlay(Handle(), FALSE))
        return false;
    if (m_paused) {
        m_paused = false;
        m_muteMark = true;
    }
    QMutexLocker lock(&g_publisherLock);
    if (g_publisher)
        g_publisher->postPlaybackStatus(MprisPlayer::Status::Playing);
    return true;
}

QWORD CBass::ChannelGetLength() const
{
    return Handle() ? BASS_ChannelGetLength(Handle(), BASS_POS_BYTE) : 0;
}

QWORD CBass::ChannelGetPosition() const
{
    return Handle() ? BASS_ChannelGetPosition(Handle(), BASS_POS_BYTE) : 0;
}

bool CBass::ChannelSetPosition(QWORD bytes)
{
    return Handle() && BASS_ChannelSetPosition(Handle(), bytes, BASS_POS_BYTE);
}

DWORD CBass::ChannelGetLevel() const
{
    return Handle() ? BASS_ChannelGetLevel(Handle()) : 0;
}

DWORD CBass::ChannelGetData(void *buffer, DWORD length)
{
    return Handle() ? BASS_ChannelGetData(Handle(), buffer, length) : 0;
}

HSYNC CBass::ChannelSetSync(DWORD type, QWORD param, SYNCPROC *proc, void *user)
{
    return Handle() ? BASS_ChannelSetSync(Handle(), type, param, proc, user) : 0;
}

bool CBass::ChannelRemoveSync(HSYNC sync)
{
    return Handle() && BASS_ChannelRemoveSync(Handle(), sync);
}

bool CBass::SetDsp(int priority)
{
    std::lock_guard<std::recursive_mutex> effects(m_effectLock);
    const HSTREAM handle = Handle();
    if (!handle)
        return false;
    RemoveDsp();
    m_dspHandle = BASS_ChannelSetDSP(handle, &DspProc, this, priority);
    return m_dspHandle != 0;
}

bool CBass::RemoveDsp()
{
    std::lock_guard<std::recursive_mutex> effects(m_effectLock);
    const HDSP dsp = m_dspHandle.exchange(0);
    const HSTREAM handle = Handle();
    return dsp && handle && BASS_ChannelRemoveDSP(handle, dsp);
}

// ---- compressor --------------------------------------------------------------------------------

bool CBass::SetCompressor(const CBassCompressor &compressor)
{
    std::lock_guard<std::recursive_mutex> effects(m_effectLock);
    const HSTREAM handle = Handle();
    if (!handle)
        return false;
    if (!m_fxHandle) {
        m_fxHandle = BASS_ChannelSetFX(handle, BASS_FX_DX8_COMPRESSOR, 0);
        if (!m_fxHandle)
            return false;
    }
    const BASS_DX8_COMPRESSOR parameters = compressor.Parameters();
    return BASS_FXSetParameters(m_fxHandle, &parameters);
}

bool CBass::RemoveCompressor()
{
    std::lock_guard<std::recursive_mutex> effects(m_effectLock);
    const HFX fx = m_fxHandle.exchange(0);
    const HSTREAM handle = Handle();
    return fx && handle && BASS_ChannelRemoveFX(handle, fx);
}

bool CBass::FXGetParameters(BASS_DX8_COMPRESSOR *parameters) const
{
    std::lock_guard<std::recursive_mutex> effects(m_effectLock);
    return m_fxHandle && BASS_FXGetParameters(m_fxHandle, parameters);
}

bool CBass::FXReset()
{
    std::lock_guard<std::recursive_mutex> effects(m_effectLock);
    return m_fxHandle && BASS_FXReset(m_fxHandle);
}

// ---- formatting --------------------------------------------------------------------------------

QString CBass::StationNameText(int maxLength) const
{
    QString name = StationName();
    if (name.isEmpty())
        name = tr("Unknown Station");
    return name.left(qMax(maxLength, 0)).trimmed();
}

QString CBass::BitrateText(int kbps)
{
    return QStringLiteral("%1 kbps").arg(kbps);
}

quint32 CBass::MeasuredBitrate(quint64 bytes, double seconds)
{
    if (!(seconds > 0) || !std::isfinite(seconds))
        return 0;
    const double rate = double(bytes) * 8.0 / seconds;
    if (!(rate >= 1.0) || !std::isfinite(rate))
        return 0;
    quint64 whole = rate >= double(std::numeric_limits<quint64>::max()) ? std::numeric_limits<quint64>::max()
                                                                        : quint64(rate);
    if (whole > 1000)
        whole /= 1000;
    return quint32(qMin<quint64>(whole, std::numeric_limits<quint32>::max()));
}

// ---- connect error report ----------------------------------------------------------------------

QString CBass::ConnectErrorText(bool ask) const
{
    auto escaped = [](const QString &text) {
        return text.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>"));
    };
    QString tags = GetStreamInfo().tagsText;
    if (tags.size() > MaxReportedTags)
        tags = tags.left(MaxReportedTags) + QStringLiteral("…");
    QString text = QLatin1String("<html><b>") + tr("Error") + QLatin1String("</b>: ") +
                   tr("Failed to connect at this time") + QLatin1String("<br><b>") + tr("Reason") +
                   QLatin1String("</b>: ") + escaped(GetErrorText()) + QLatin1String("<br><b>") +
                   tr("Station") + QLatin1String("</b>: ") + escaped(StationName()) +
                   QLatin1String("<br><b>") + tr("URL") + QLatin1String("</b>: ") +
                   escaped(CurrentUrlText()) + QLatin1String("<br><b>") + tr("Tags") +
                   QLatin1String("</b>: ") + escaped(tags) + QLatin1String("<br>");
    if (ask)
        text += QLatin1String("<br>") + tr("Would you like to report it?");
    return text + QLatin1String("</html>");
}

bool CBass::ReportConnectError(bool ask)
{
    const QString text = ConnectErrorText(ask);
    // Message boxes need the widgets application and its thread.
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread())
        return false;
    const QString title = QStringLiteral("Tunora Player");
    if (ask)
        return QMessageBox::question(nullptr, title, text, QMessageBox::Yes | QMessageBox::No) ==
               QMessageBox::Yes;
    QMessageBox::warning(nullptr, title, text);
    return false;
}

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

// ---- notifications -----------------------------------------------------------------------------

void CBass::PostNotify(uint msg, uint param)
{
    Q_UNUSED(msg);
    Q_UNUSED(param);
}

void CBass::Notify(uint msg, uint param)
{
    Q_UNUSED(msg);
    Q_UNUSED(param);
}

// ---- recording ---------------------------------------------------------------------------------

bool CBass::IsRecording() const
{
    QMutexLocker record(&m_recordLock);
    return m_record.IsActive();
}

bool CBass::IsRecordingArmed() const
{
    QMutexLocker record(&m_recordLock);
    return m_record.IsArmed();
}

// ---- working texts -----------------------------------------------------------------------------

QString CBass::CurrentUrlText() const
{
    QMutexLocker texts(&m_textLock);
    return m_currentUrl;
}

void CBass::setCurrentUrl(const QString &url)
{
    QMutexLocker texts(&m_textLock);
    m_currentUrl = url;
}

// ---- desktop now-playing -----------------------------------------------------------------------

void CBass::SendMessengerNowPlaying(bool clear)
{
    if (clear) {
        QMutexLocker lock(&g_publisherLock);
        if (g_publisher)
            g_publisher->postClear();
        return;
    }
    if (!m_messengerEnabled)
        return;
    const Song song = CurrentSong();
    const NowPlaying nowPlaying = NowPlaying::From(StationName(), &song, CurrentUrlText());
    const QString nowPlayingTemplate = MessengerTemplate();
    QMutexLocker lock(&g_publisherLock);
    if (g_publisher)
        g_publisher->postNowPlaying(nowPlayingTemplate, nowPlaying);
}

void CBass::SetMessengerEnabled(bool on)
{
    m_messengerEnabled = on;
    if (HasChannel())
        SendMessengerNowPlaying(!on);
}

void CBass::SetMessengerFormat(const QString &format)
{
    QMutexLocker texts(&m_textLock);
    m_messengerFormat = format;
}

void CBass::SetMessengerTemplate(const QString &nowPlayingTemplate)
{
    QMutexLocker texts(&m_textLock);
    m_messengerTemplate = nowPlayingTemplate;
}

QString CBass::MessengerFormat() const
{
    QMutexLocker texts(&m_textLock);
    return m_messengerFormat;
}

QString CBass::MessengerTemplate() const
{
    QMutexLocker texts(&m_textLock);
    return m_messengerTemplate;
}

void CBass::SetNowPlayingPublisher(MprisPlayer *publisher)
{
    QMutexLocker lock(&g_publisherLock);
    g_publisher = publisher;
}

MprisPlayer *CBass::NowPlayingPublisher()
{
    QMutexLocker lock(&g_publisherLock);
    return g_publisher;
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

// ---- engine events -----------------------------------------------------------------------------

void CBass::OnStreamData(const void *buffer, DWORD length)
{
    bool stopRecording = false;
    {
        QMutexLocker record(&m_recordLock);
        m_recording.Observe(buffer, length);
        if (m_record.WritesStreamData()) {
            if (WriteRecordedData(buffer, length)) {
                m_writeFailures = 0;
            } else if (++m_writeFailures > 2) {
                m_writeFailures = 0;
                stopRecording = true;
            }
        }
    }
    if (stopRecording) {
        Notify(EventRecordingFailed, 0);
        StopRecording();
    }
    // The measured bit rate is not refreshed from here but by the play clock (at most once a
    // second either way): an engine call on this thread may leave the reader holding the last
    // reference to a channel stopped meanwhile.
}

void CBass::OnMetaSync(HSYNC handle, DWORD channel, DWORD data)
{
    Q_UNUSED(handle);
    Q_UNUSED(channel);
    Q_UNUSED(data);
    bool accepted;
    {
        QMutexLocker meta(&m_metaLock);
        ReadAllTags();
        QMutexLocker songs(&m_songLock);
        m_previousSong = m_song;
        accepted = ProcessMetaData(m_titleInfo);
    }
    if (!accepted)
        return;
    if (IsRecording() || IsRecordingArmed())
        OnRecordingTitleChanged();
    if (m_messengerEnabled)
        SendMessengerNowPlaying(false);
    Notify(EventTitleChanged, 0);
}

void CBass::OnStallSync(HSYNC handle, DWORD channel, DWORD data)
{
    Q_UNUSED(handle);
    Q_UNUSED(channel);
    Notify(EventStallChanged, data);
}

void CBass::OnEndSync(HSYNC handle, DWORD channel, DWORD data)
{
    Q_UNUSED(handle);
    Q_UNUSED(channel);
    Notify(EventStreamEnded, data);
}

void CBass::OnDeviceFailSync(HSYNC handle, DWORD channel, DWORD data)
{
    Q_UNUSED(handle);
    Q_UNUSED(channel);
    Q_UNUSED(data);
    m_lastError = BASS_ERROR_DRIVER;
    setErrorText(QStringLiteral(QT_TR_NOOP("The connection to the sound server was lost.")));
    Notify(EventDeviceLost, 0);
}

void CBass::OnDsp(HDSP handle, DWORD channel, void *buffer, DWORD length)
{
    Q_UNUSED(handle);
    Q_UNUSED(channel);
    Q_UNUSED(buffer);
    Q_UNUSED(length);
}

bool CBass::ProcessMetaData(const MetaTitle &title)
{
    return ::BASS::ProcessMetaData(title, stationTemplate(), m_song);
}

void CBass::UpdateMeasuredBitrate()
{
    const HSTREAM handle = Handle();
    if (!handle)
        return;
    const quint64 tick = m_secondsTick;
    if (m_tickAtLastRate != 0 && m_tickAtLastRate == tick)
        return;
    const QWORD bytes = BASS_StreamGetFilePosition(handle, BASS_FILEPOS_CURRENT);
    const QWORD position = BASS_ChannelGetPosition(handle, BASS_POS_BYTE);
    const DWORD buffered = BASS_ChannelGetData(handle, nullptr, BASS_DATA_AVAILABLE);
    if (bytes == QwordError || position == QwordError || buffered == DwordError)
        return;
    const quint32 rate = MeasuredBitrate(bytes, BASS_ChannelBytes2Seconds(handle, position + buffered));
    if (rate == 0)
        return;
    {
        QMutexLocker station(&m_stationLock);
        m_station.currentStream().bitrate = rate;
    }
    m_tickAtLastRate = tick;
}

// ---- engine callbacks --------------------------------------------------------------------------

void CALLBACK CBass::DownloadProc(const void *buffer, DWORD length, void *user)
{
    auto *self = static_cast<CBass *>(user);
    if (!self || !buffer)
        return;
    if (length == 0) {
        // The reply header, one zero-terminated text.
        const QString header =
            DecodeTagText(TagString(static_cast<const char *>(buffer)), self->GetCodePageName());
        QMutexLocker meta(&self->m_metaLock);
        self->m_streamInfo.headerText = header;
        return;
    }
    QMutexLocker bytes(&self->m_byteLock);
    self->m_bytesDownloaded += length;
    self->OnStreamData(buffer, length);
}

void CALLBACK CBass::MetaSyncProc(HSYNC handle, DWORD channel, DWORD data, void *user)
{
    if (user)
        static_cast<CBass *>(user)->OnMetaSync(handle, channel, data);
}

void CALLBACK CBass::StallSyncProc(HSYNC handle, DWORD channel, DWORD data, void *user)
{
    if (user)
        static_cast<CBass *>(user)->OnStallSync(handle, channel, data);
}

void CALLBACK CBass::EndSyncProc(HSYNC handle, DWORD channel, DWORD data, void *user)
{
    if (user)
        static_cast<CBass *>(user)->OnEndSync(handle, channel, data);
}

void CALLBACK CBass::DeviceFailSyncProc(HSYNC handle, DWORD channel, DWORD data, void *user)
{
    if (user)
        static_cast<CBass *>(user)->OnDeviceFailSync(handle, channel, data);
}

void CALLBACK CBass::DspProc(HDSP handle, DWORD channel, void *buffer, DWORD length, void *user)
{
    if (user)
        static_cast<CBass *>(user)->OnDsp(handle, channel, buffer, length);
}

} // namespace BASS
