// The engine wrapper's core: errors, aborts, state, pause and resume, reports, the desktop
// now-playing text and the engine's events. Opening and stopping, the pass-throughs and the
// tags live in cbassopen.cpp, cbasspass.cpp and cbasstags.cpp.

#include "cbass.h"

#include "cbassconstants.h"
#include "codepage.h"
#include "mpris.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <cmath>
#include <limits>

namespace BASS {

namespace {

// The connect error report shows at most this much of the headers received.
constexpr qsizetype MaxReportedTags = 4096;

QMutex g_publisherLock;
MprisPlayer *g_publisher = nullptr;

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

// ---- pause and resume --------------------------------------------------------------------------

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
    if (data != 0) {
        // The engine reconnected to the sound server and the channel plays on.
        m_lastError = 0;
        setErrorText(QString());
        Notify(EventDeviceLost, 1);
        return;
    }
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
