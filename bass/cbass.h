#pragma once

// CBass: the player's single point of contact with the audio engine (audioengine.h). One object
// owns at most one channel at a time. It opens a station stream or a local file by trying the
// engine's creators in a fixed order, waits for the network buffer to fill, installs the
// engine's syncs, reads the stream's tags through the metadata module, keeps a measured bit
// rate, plays with a fade-in, stops with a fade-out, and turns engine error codes into texts.
// It draws nothing: everything the user must learn is raised through Notify (msg, param), which
// the Qt channel class turns into a signal.
//
// Threads (docs/threads.md has the whole table). An open (OpenURL, OpenURLList, OpenFile) runs on
// the connect thread, including the pre-buffer wait and the fade-in. The channel handle is
// visible from the moment a creator returns, so the GUI thread may meanwhile call RequestAbort,
// the effect operations (SetDsp/RemoveDsp, SetCompressor/RemoveCompressor, FXGetParameters,
// FXReset), the attribute pass-throughs, Pause/Resume and the readers; it must not start another
// open or Stop/Reset the channel. The DSP and effect handles are owned together with the channel
// handle by m_effectLock: installing or removing one and freeing the channel are serialised, so
// an effect set while the open is still pre-buffering stays on the channel and is removed once.
// Syncs (OnMetaSync, OnStallSync, OnEndSync) run on the engine's callback thread, the download
// callback (OnStreamData) on the network reader's thread. The title, stream information and songs
// are guarded by mutexes; read them through the accessors (TitleInfo, GetStreamInfo, CurrentSong
// ...) from other threads. Notify is called on any of these threads.

#include "audioengine.h"
#include "metadata.h"
#include "record.h"
#include "recording.h"
#include "records.h"
#include "song.h"
#include "streaminfo.h"

#include <QCoreApplication>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace BASS {

class CBassCompressor;
class MprisPlayer;

// The `msg` values of Notify.
enum BassEvent : uint
{
    EventStallChanged = 0x8065,     // param 0: playback stalled, non-zero: resumed
    EventTitleChanged = 0x8066,     // a new title was accepted into the current song
    EventRecordingStopped = 0x806C, // a recording was stopped
    EventStreamEnded = 0x8070,      // param: the sync's data
    EventRecordingFailed = 0x8075,  // three writes of recorded data in a row failed
    EventDeviceLost = 0x8076,       // param 0: the sound server went away, playback stopped and
                                    // GetErrorText says so; 1: it is back and the channel plays on
    EventConnectAborted = 0x8080,   // an open was abandoned on request
    EventConnecting = 0x8081,       // param: the CreatorKind about to be called
    EventPlaying = 0x8082,          // the stream opened, pre-buffered and started
    EventStopped = 0x8085,          // the channel was stopped and released
    // A recording began writing its first file.
    EventRecordingStarted = 0x806A,
    // A split recording went on in the next song's file (or renamed its file for a title
    // that came right after the file began).
    EventRecordingNextFile = 0x806B,
};

// Which creator a EventConnecting notification announces.
enum CreatorKind : uint
{
    CreatorPlain = 1, // plain stream, from a URL or a file
    CreatorWma = 2,
    CreatorAac = 3,
    CreatorFlac = 5,
    CreatorMp4 = 6,
};

class CBass
{
    Q_DECLARE_TR_FUNCTIONS(CBass)

public:
    static constexpr int DefaultFadeInMs = 2000;
    static constexpr int DefaultFadeOutMs = 1000;
    // WaitForPreBuffer: rounds of 50 ms, and the share of the buffer that ends the wait.
    static constexpr int PreBufferRounds = 80;
    static constexpr int PreBufferRoundMs = 50;
    static constexpr int PreBufferPercent = 80;

    CBass();
    CBass(const CBass &) = delete;
    CBass &operator=(const CBass &) = delete;
    // Stops the channel and frees everything. Engine threads may call the virtual hooks until the
    // channel is stopped: a derived class whose hooks use its own members calls Stop(0) in its
    // own destructor.
    virtual ~CBass();

    // Stops a channel that is open and clears every field to its start value. The now-playing
    // publishing settings (SetMessengerEnabled/Format/Template) are settings, not channel state,
    // and are kept.
    virtual void Reset();

    // ---- errors ----------------------------------------------------------------------------
    // The engine error of the last failed open; 0 when none.
    virtual int GetLastErrorCode() const;
    // The message of that error, translated; empty when there is none.
    virtual QString GetErrorText() const;
    // The same, untranslated.
    virtual QString RawErrorText() const;
    // The station's name as given by the directory record.
    virtual QString StationName() const;

    // ---- aborting an open ------------------------------------------------------------------
    // RequestAbort may be called from any thread while an open runs on another: the open gives
    // up within one engine call (a creator blocked in connecting is cancelled), stops the
    // channel and raises EventConnectAborted.
    virtual bool IsAborting() const;
    virtual void ClearAbort();
    virtual void RequestAbort();

    // Shows a text to the user when `show` is true. Nothing here; the Qt channel shows a box.
    virtual void ShowMessage(const QString &text, bool show);
    // Builds the text of a recording failure (code as RecordingErrorText), with `detail` on a
    // line of its own, and hands it to ShowMessage; shown unless the station is marked quiet.
    virtual void ReportRecordingError(int code, const QString &detail = QString());

    // ---- opening ---------------------------------------------------------------------------
    // Opens a local file. With `play` the channel is then pre-buffered, its syncs installed and
    // playback started (OnConnected).
    virtual bool OpenFile(const QString &path, DWORD flags, bool play);
    // Opens a network stream: creators tried in the fixed order, retries and time-out rules,
    // then OnConnected (or OnConnectFailed, or EventConnectAborted).
    virtual bool OpenURL(const QString &url, DWORD flags);
    // Tries a list of addresses, the first that opens wins. Forwards, entries that carry
    // "adinjector" after their first character are skipped; from the last, every entry is tried.
    // An abort ends the list.
    virtual bool OpenURLList(const QStringList &urls, bool fromLast, DWORD flags);
    // Opens a file as a decoding channel of float samples (nothing is played); raises
    // EventPlaying on success and EventStopped on failure.
    virtual bool OpenFileForDecoding(const QString &path);

    // ---- state -----------------------------------------------------------------------------
    HSTREAM Handle() const { return m_handle.load(); }
    bool HasChannel() const { return Handle() != 0; }
    virtual bool IsPausedByUser() const;
    virtual bool IsMuteMarked() const;
    virtual bool IsLocalFile() const;
    // BASS_ChannelIsActive compared with one state; false without a channel.
    virtual bool IsPlaying() const;
    virtual bool IsStalled() const;
    virtual bool IsPaused() const;
    virtual bool IsStopped() const;

    // ---- engine (device-level) pass-throughs -----------------------------------------------
    virtual DWORD GetVersion() const;
    virtual bool SetDevice(DWORD device);
    virtual DWORD GetDevice() const;
    virtual bool GetInfo(BASS_INFO *info) const;
    virtual bool Update(DWORD length);
    virtual float GetCPU() const;
    virtual bool StartOutput();
    virtual bool StopOutput();
    virtual bool FreeEngine();
    virtual HPLUGIN PluginLoad(const QString &path);
    virtual bool PluginFree(HPLUGIN plugin);

    // Whether an encoder of the recording runs.
    virtual bool IsEncoding() const;

    // ---- file positions --------------------------------------------------------------------
    // BASS_StreamGetFilePosition of the channel; QWORD(-1) without a channel or value.
    virtual QWORD FilePosition(DWORD mode) const;
    // Bytes received from the network.
    virtual QWORD DownloadedBytes() const;
    // Received but not yet decoded, in percent of the download buffer (of the file length for a
    // file); -1 when that length is not known or there is no channel.
    virtual int BufferFillPercent() const;

    // ---- channel pass-throughs (each answers 0 / false without a channel) ------------------
    virtual double Bytes2Seconds(QWORD bytes) const;
    virtual QWORD Seconds2Bytes(double seconds) const;
    virtual DWORD ChannelGetDevice() const;
    virtual bool ChannelSetDevice(DWORD device);
    virtual bool ChannelGetInfo(BASS_CHANNELINFO *info) const;
    virtual const char *ChannelGetTags(DWORD tags) const;
    virtual bool ChannelSetAttribute(DWORD attrib, float value);
    virtual bool ChannelGetAttribute(DWORD attrib, float *value) const;
    virtual bool ChannelSlideAttribute(DWORD attrib, float value, DWORD timeMs);
    virtual bool ChannelIsSliding(DWORD attrib) const;
    virtual bool ChannelPlay(bool restart);
    // Pauses playback at the user's request (IsPausedByUser) and tells the desktop.
    virtual bool Pause();
    // Resumes after Pause; marks the resume (IsMuteMarked).
    virtual bool Resume();
    virtual QWORD ChannelGetLength() const;
    virtual QWORD ChannelGetPosition() const;
    virtual bool ChannelSetPosition(QWORD bytes);
    virtual DWORD ChannelGetLevel() const;
    virtual DWORD ChannelGetData(void *buffer, DWORD length);
    virtual HSYNC ChannelSetSync(DWORD type, QWORD param, SYNCPROC *proc, void *user);
    virtual bool ChannelRemoveSync(HSYNC sync);
    // Installs OnDsp as the channel's DSP callback (one at a time; removed by Stop).
    virtual bool SetDsp(int priority);
    virtual bool RemoveDsp();

    // ---- compressor ------------------------------------------------------------------------
    // Installs the compressor effect on the channel (once) and sets the preset's parameters.
    virtual bool SetCompressor(const CBassCompressor &compressor);
    virtual bool RemoveCompressor();
    virtual bool FXGetParameters(BASS_DX8_COMPRESSOR *parameters) const;
    virtual bool FXReset();
    HFX CompressorHandle() const { return m_fxHandle.load(); }

    // ---- formatting ------------------------------------------------------------------------
    // The station's name for reports and file names: "Unknown Station" (translated) when it has
    // none, at most maxLength characters, trimmed.
    virtual QString StationNameText(int maxLength = 50) const;
    // "128 kbps".
    static QString BitrateText(int kbps);
    // The measured bit rate in kbit/s from bytes received over seconds of audio: bit/s above 1000
    // become kbit/s; 0 when nothing can be said.
    static quint32 MeasuredBitrate(quint64 bytes, double seconds);

    // ---- connect error report --------------------------------------------------------------
    // The rich text of the report: reason, station, address and the headers received, every
    // one of them escaped; with `ask` it ends in the question whether to report it.
    virtual QString ConnectErrorText(bool ask) const;
    // Shows the report (a question with `ask`, else a warning) and returns the answer.
    virtual bool ReportConnectError(bool ask);

    // ---- tags ------------------------------------------------------------------------------
    // The tag readers work on m_titleInfo and m_streamInfo: call them with m_metaLock held
    // (OnMetaSync does). Each Parse* takes an engine tag (null: not there) and answers whether
    // it recognised it; each Read* fetches its tag from the channel first.
    virtual void ReadAllTags();
    virtual void InstallMetaSyncs();
    virtual void ReadTitleTags();
    // A single-string title block of unknown kind; null reads the channel's title tags instead.
    virtual bool ParseMetaBlock(const char *block);
    virtual void ReadStreamInfo();
    virtual bool ParseOggInfo(const char *comments);
    virtual bool ReadOggInfo();
    virtual bool ParseHttpHeaders(const char *headers);
    virtual bool ReadHttpHeaders();
    virtual bool ParseWmaHeader(const char *attributes);
    virtual bool ReadWmaHeader();
    virtual bool ParseWmaMeta(const char *block);
    virtual bool ParseIcyMeta(const char *block);
    virtual bool ParseOggTitle(const char *comments);

    // ---- notifications ---------------------------------------------------------------------
    // Both do nothing here; the Qt channel emits its signal. Called on any thread.
    virtual void PostNotify(uint msg, uint param);
    virtual void Notify(uint msg, uint param);

    // ---- recording (the writers come with the recording feature) ---------------------------
    virtual bool IsRecording() const;
    virtual bool IsRecordingArmed() const;
    // Ends a recording that is active or armed: the file is finished and closed (an encoder
    // encodes what it holds first), the state is cleared, the write failures are forgotten, and
    // EventRecordingStopped is raised. Without one it changes nothing.
    virtual void StopRecording();

    // ---- recording to files (recording.cpp) ------------------------------------------------
    // Records the playing channel into `directory` (made when missing), in the format of
    // EncoderParams(). The file is named after the station, or, when not splitting, after the
    // current song. Without `split` the recording ends with the song; with it every accepted
    // title change goes on in a new file named after the new song. Failures are reported
    // (ReportRecordingError) and answered with false.
    virtual bool StartRecording(const QString &directory, bool split);
    // Starts writing path + "." + FileExtension(), or path + "(n)." + extension with the first n
    // from 1 whose file does not exist. A format equal to the stream's own is written as the
    // stream's own data.
    virtual bool OpenRecording(const QString &path, bool split, qint32 format);
    // The extension of the recording's format (the requested one while none runs).
    virtual QString FileExtension() const;
    // Whether the FFmpeg in use has an encoder of that name.
    virtual bool EncoderExists(const QString &encoder) const;
    void SetEncoderParams(const CEncoderParams &params);
    CEncoderParams EncoderParams() const;
    // The file being written; empty when none.
    QString RecordingFileName() const;
    // Seconds of playback recorded since the recording began (the channel's one-second clock).
    qint32 RecordingSeconds() const;
    // Every file the current or last recording wrote, oldest first.
    QStringList RecordedFiles() const;

    // ---- working texts ---------------------------------------------------------------------
    // The address being opened or played.
    virtual QString CurrentUrlText() const;

    // ---- desktop now-playing ---------------------------------------------------------------
    // Publishes the current title (or, with `clear`, that nothing plays) through the process-wide
    // publisher. Titles are published only while enabled; clearing always goes through.
    virtual void SendMessengerNowPlaying(bool clear);
    // Switching it on publishes the current title at once, switching it off clears it.
    virtual void SetMessengerEnabled(bool on);
    bool IsMessengerEnabled() const { return m_messengerEnabled; }
    // The format of the publishing target (kept for the settings; the desktop entry has none).
    virtual void SetMessengerFormat(const QString &format);
    // The published text: "%station%", "%track%" and "%url%" are replaced; empty publishes the
    // track.
    virtual void SetMessengerTemplate(const QString &nowPlayingTemplate);
    QString MessengerFormat() const;
    QString MessengerTemplate() const;
    // The publisher every channel of the process posts to; null publishes nothing. Its owner
    // sets it back to null before destroying it.
    static void SetNowPlayingPublisher(MprisPlayer *publisher);
    static MprisPlayer *NowPlayingPublisher();

    // ---- playback --------------------------------------------------------------------------
    // Starts playback; with ms > 0 the volume slides up from 0 over ms, and the call returns
    // once the slide is done (or an abort was requested).
    virtual bool Play(int ms);
    // Stops with a fade-out of ms, frees the channel, raises EventStopped. False without one.
    virtual bool Stop(int ms);
    // Slides the volume to 0 over ms and waits for it.
    virtual void FadeOut(int ms);

    // The code page of the station's metadata that is not UTF-8, from its location; null when
    // the location names none.
    virtual const char *GetCodePageName() const;
    // The message of a recording failure code.
    virtual QString RecordingErrorText(int code) const;

    // ---- what the channel saw (thread-safe copies) -----------------------------------------
    MetaTitle TitleInfo() const;
    StreamInfo GetStreamInfo() const;
    Song CurrentSong() const;
    Song PreviousSong() const;
    BASS::Station GetStation() const;
    // Copies the directory record of the station about to be played.
    virtual void SetStation(const BASS::Station &station);
    // The bit rate of the station record, as last measured (kbit/s).
    quint32 StationBitrate() const;
    quint64 BytesDownloaded() const;
    quint64 SecondsPlayed() const { return m_secondsPlayed; }
    // One second of playback passed (the channel's timer calls this while the channel plays):
    // both play counters advance and the measured bit rate is refreshed.
    void AdvancePlaybackClock();

    int FadeInMs() const { return m_fadeInMs; }
    int FadeOutMs() const { return m_fadeOutMs; }
    void SetFadeTimes(int fadeInMs, int fadeOutMs);
    int Retries() const { return m_retries.load(); }
    void SetRetries(int retries);

    // ---- engine events ---------------------------------------------------------------------
    // After a successful open: pre-buffer, syncs, channel information, first title, bit rate,
    // EventPlaying, now-playing, fade-in. Returns early when an abort is requested meanwhile.
    virtual void OnConnected();
    // Downloaded bytes, on the network reader's thread: to a recording of the stream's own data.
    // Calls no engine function (see AdvancePlaybackClock for the bit rate).
    virtual void OnStreamData(const void *buffer, DWORD length);
    // A title may have changed: read the tags, judge the title, raise EventTitleChanged when a
    // new one was accepted.
    virtual void OnMetaSync(HSYNC handle, DWORD channel, DWORD data);
    virtual void OnStallSync(HSYNC handle, DWORD channel, DWORD data);
    virtual void OnEndSync(HSYNC handle, DWORD channel, DWORD data);
    // The device syncs. DEV_FAIL (data 0): the sound server went away (the engine stopped the
    // channel): the error text is set and EventDeviceLost raised with 0. The engine reconnects by
    // itself (so does the next Play); DEV_BACK (data 1): it did and the channel plays on: the
    // error text is cleared, EventDeviceLost raised with 1.
    virtual void OnDeviceFailSync(HSYNC handle, DWORD channel, DWORD data);
    // The channel's DSP callback (SetDsp); nothing here.
    virtual void OnDsp(HDSP handle, DWORD channel, void *buffer, DWORD length);
    // Judges one title block and stores an accepted artist and song in m_song (which the caller
    // guards with m_songLock). The metadata module's rules with the station's template here.
    virtual bool ProcessMetaData(const MetaTitle &title);
    virtual void OnConnectAborted();
    // At most once per second of playback: bytes decoded over seconds decoded, into the
    // station record.
    virtual void UpdateMeasuredBitrate();
    // Stores the calling thread's last engine error and its message.
    virtual void OnConnectFailed();
    // Waits, up to 80 rounds of 50 ms, until more than 80 % of the download buffer is filled.
    // True when it was (at once for a local file); false without a channel, for a stream of
    // unknown length, on abort or when the time ran out.
    virtual bool WaitForPreBuffer();

protected:
    // Hooks around playback. The after-stop hook clears the desktop now-playing entry.
    virtual void OnBeforeStop();
    virtual void OnAfterStop();
    virtual void OnAfterPlay();
    // An accepted title while a recording is active or armed (the recording closes the previous
    // song's file or restarts its wait).
    virtual void OnRecordingTitleChanged();
    // Writes downloaded bytes to the recording; false when the write failed. Nothing is written
    // here.
    virtual bool WriteRecordedData(const void *buffer, DWORD length);

    // The name of a recording's file without folder and extension: the station's name, with
    // `fromSong` the current song's artist and title; a short one gets the date and time.
    virtual QString RecordingName(bool fromSong) const;
    // A failure reported by the engine's encoder of the recording.
    virtual void OnEncoderNotify(HENCODE handle, DWORD status);
    static void CALLBACK EncodeNotifyProc(HENCODE handle, DWORD status, void *user);

    // Processes pending GUI events, but only on the GUI thread (other threads have no event loop
    // of theirs to pump, and must not pump the GUI's).
    static void ProcessEvents();
    // Waits ms; with stopOnAbort an abort request ends the wait at once.
    void Sleep(int ms, bool stopOnAbort);

    // Engine callbacks; the user data is the CBass.
    static void CALLBACK DownloadProc(const void *buffer, DWORD length, void *user);
    static void CALLBACK MetaSyncProc(HSYNC handle, DWORD channel, DWORD data, void *user);
    static void CALLBACK StallSyncProc(HSYNC handle, DWORD channel, DWORD data, void *user);
    static void CALLBACK EndSyncProc(HSYNC handle, DWORD channel, DWORD data, void *user);
    static void CALLBACK DeviceFailSyncProc(HSYNC handle, DWORD channel, DWORD data, void *user);
    static void CALLBACK DspProc(HDSP handle, DWORD channel, void *buffer, DWORD length, void *user);

    MetaTitle m_titleInfo;            // m_metaLock
    BASS_CHANNELINFO m_channelInfo{}; // the open channel's format, read once connected
    StreamInfo m_streamInfo;          // m_metaLock
    CRecord m_record;                 // m_recordLock
    CRecording m_recording;           // m_recordLock: the writer
    CEncoderParams m_encoderParams;   // m_recordLock
    QString m_recordDirectory;        // m_recordLock
    QStringList m_recordedFiles;      // m_recordLock
    Song m_song;                      // m_songLock
    Song m_previousSong;              // m_songLock
    mutable QMutex m_metaLock;        // title and stream information; taken before the others
    mutable QMutex m_byteLock;        // the byte counter and the download path
    mutable QMutex m_recordLock;      // m_record, m_writeFailures
    mutable QMutex m_songLock;        // m_song, m_previousSong
    mutable QMutex m_stationLock;     // m_station
    mutable QMutex m_textLock;        // the working texts
    QString m_currentUrl;             // m_textLock
    QString m_errorText;              // m_textLock, untranslated
    QString m_messengerFormat;        // m_textLock
    QString m_messengerTemplate;      // m_textLock
    BASS::Station m_station;          // m_stationLock
    std::atomic<bool> m_aborting{false};
    // Set by Pause/Resume on the GUI thread, cleared by Stop on whichever thread stops.
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_muteMark{false};
    // Written by the open on the connect thread, read by the GUI thread.
    std::atomic<bool> m_isLocalFile{false};
    std::atomic<bool> m_messengerEnabled{false};
    std::atomic<qint32> m_fadeInMs{DefaultFadeInMs};
    std::atomic<qint32> m_fadeOutMs{DefaultFadeOutMs};
    std::atomic<qint32> m_retries{0}; // set on the GUI thread, read by the open
    std::atomic<HSTREAM> m_handle{0};
    // Guards installing and removing the DSP and the effect against freeing the channel (Stop):
    // hold it from reading Handle() to storing the new DSP/effect handle. Recursive because
    // SetDsp removes the previous DSP. Never held while GUI events are processed.
    mutable std::recursive_mutex m_effectLock;
    std::atomic<HDSP> m_dspHandle{0}; // m_effectLock for changes
    std::atomic<HFX> m_fxHandle{0};   // m_effectLock for changes
    std::atomic<qint32> m_lastError{0};
    quint32 m_writeFailures = 0;   // m_recordLock
    quint64 m_bytesDownloaded = 0; // m_byteLock
    std::atomic<quint64> m_secondsPlayed{0};
    std::atomic<quint64> m_secondsTick{0};
    std::atomic<quint64> m_tickAtLastRate{0};

private:
    enum class Nested
    {
        No,
        InsideOpenURL
    };
    bool openFile(const QString &path, DWORD flags, bool play, Nested nested);
    // Forgets what the previous stream announced.
    void beginStream();
    void installSyncs();
    void setCurrentUrl(const QString &url);
    void setErrorText(const QString &text);
    QString stationTemplate() const;

    // The creators: each raises EventConnecting with its kind and stores the handle, unless a
    // handle is already there.
    HSTREAM create(CreatorKind kind, const QString &address, DWORD flags, bool fileCreator);

    std::mutex m_sleepLock;
    std::condition_variable m_sleepWake;
    // One Stop at a time: a second one (from events processed inside the first, or from another
    // thread) finds the work being done.
    std::atomic<bool> m_stopping{false};
};

} // namespace BASS
