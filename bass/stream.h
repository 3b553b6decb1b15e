#pragma once

// Stream: the channel that knows stations. It downloads the playlist documents a station's
// address may lead to and reports their text (sig_StreamReady / sig_StreamError), resolves a
// station's address into the stream addresses the connect thread opens (ResolveStation, bounded
// by PlaylistResolution), and carries two audio extras for the playing channel: a stereo-to-mono
// fold-down and an automatic loudness boost driven by the channel's level.
//
// Everything but the DSP callback runs on the GUI thread. The DSP callback runs on the thread
// that decodes and reads only the mono switch and the samples.

#include "bassqt.h"
#include "httpblocking.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <vector>

namespace BASS {

// The rules that take a station's address to the list of stream addresses to open, without any
// I/O: the owner downloads what it is told to and hands back what arrived.
//
// - A station address that names no playlist document (IsPlaylistAddress) is opened as it is:
//   it is the stream itself, and the engine follows a playlist it may turn out to be.
// - A document that is an HLS playlist ("#EXTM3U" with HLS tags) is the stream: its own address
//   is opened.
// - A document is read by the ASX, PLS, M3U and "media src=" readers, in that order; the first
//   reader that yields an address that may be opened wins. A document in which no reader finds
//   one is taken as a single address when its whole text is one.
// - Only http, https, mms, mmsh, mmst and rtsp addresses are taken from a document (never files
//   or "file:"), none with control characters, none already visited.
// - When the first address left is itself a playlist document it is downloaded in turn, at most
//   MaxNesting levels deep; otherwise the list is handed to the connect thread.
class PlaylistResolution
{
public:
    static constexpr int MaxNesting = 5;

    struct Step
    {
        enum Kind
        {
            Download, // fetch `address` and call documentArrived with its text
            Open,     // hand `urls` to the connect thread
            Fail      // `error` says why
        };
        Kind kind = Fail;
        QString address;
        QStringList urls;
        QString error;
    };

    // Starts afresh with a station's address.
    Step start(const QString &address);
    // The document downloaded for the last Download step.
    Step documentArrived(const QString &text);
    // The last Download step's address answered with audio: it is the stream.
    Step isStream();

    // Documents downloaded so far in this resolution.
    int depth() const { return m_depth; }
    // The address of the last Download step; empty when none is pending.
    QString pending() const { return m_pending; }

    // The addresses a document lists that may be opened, in order, without repeats: the first
    // reader (ASX, PLS, M3U, "media src=") that yields one wins; else the text itself.
    static QStringList streamAddresses(const QString &text);
    // The key an address is remembered by: scheme and host in lower case, the rest as it stands.
    static QString visitKey(const QString &address);

private:
    Step download(const QString &address);
    static Step fail(const QString &error);

    QSet<QString> m_visited;
    QString m_pending;
    int m_depth = 0;
};

class Stream : public BassQt
{
    Q_OBJECT

public:
    // Channel state numbers the main window keeps here.
    enum State : qint32
    {
        StateStopped = 0,
        StatePlaying = 1,
        StateConnecting = 3,
        StateDownloading = 6,
        StateFailed = 9
    };
    static constexpr int LevelReadings = 10;
    static constexpr int MaxGainSteps = 5;
    static constexpr int MaxGainDb = 10;
    static constexpr int GainStepDb = 2;
    // An average level (percent) below which the boost grows.
    static constexpr int QuietLevelPercent = 60;

    explicit Stream(QObject *parent = nullptr);
    ~Stream() override;

    // ---- downloads -------------------------------------------------------------------------
    // GETs `url` on the stop-event client; the request id (0 when none was made).
    virtual int sendStopEvent(const QString &url);
    // Downloads the station's playlist; false for an empty address or when no request was made.
    virtual bool RequestPlaylist(const QString &url);
    // Downloads a further document; `flag` is kept for the caller.
    virtual bool RequestURLs(const QString &url, bool flag);
    // Abandons every download of both clients, and a resolution under way.
    virtual void AbortRequests();
    virtual bool IsRequestPending() const;
    virtual bool IsBusy() const;
    // GETs `url` on the playlist client; the request id (0 when none was made).
    virtual int GetURLs(const QString &url);
    // GETs `url` (trimmed) on the given client; the request id.
    virtual int HttpGet(QHttpExt *http, const QString &url);

    // ---- resolution ------------------------------------------------------------------------
    // Resolves a station's address (PlaylistResolution) by downloading what it asks for. Ends
    // with sig_StreamResolved (the list is also stored with SetUrls) or sig_StreamError. The
    // documents read on the way are not reported through sig_StreamReady. False when the
    // address is empty or a download could not be started (sig_StreamError tells why).
    virtual bool ResolveStation(const QString &address);
    bool IsResolving() const { return m_resolveRequestId != 0 || m_resolvePosted; }

    static bool IsPlaylistAddress(const QString &url);
    // The value of "station_id=" up to the next "&"; empty when there is none.
    static QString StationIdFromUrl(const QString &url);

    void SetState(qint32 state) { m_state = state; }
    qint32 State() const { return m_state; }
    int PlaylistRequestId() const { return m_playlistRequestId; }
    int NestedRequestId() const { return m_nestedRequestId; }
    bool NestedFlag() const { return m_nestedFlag; }
    QString PlaylistUrl() const { return m_playlistUrl; }

    // ---- levels, loudness boost, mono ------------------------------------------------------
    // The channel's level now, in percent per side (0 without a channel); also kept among the
    // last LevelReadings readings.
    virtual void ReadLevels(int *left, int *right);
    // Raises the boost by GainStepDb while the kept readings average below QuietLevelPercent,
    // at most MaxGainSteps times per channel.
    virtual void AdjustGain();
    // Folds the channel down to mono (both sides become their mean), now and for every channel
    // opened later, or stops doing so.
    virtual void SetMono(bool mono);
    bool IsMono() const { return m_mono; }
    // A plain gain of `gain` dB on the channel (the compressor effect with nothing else set).
    virtual void ApplyGain(int gain);
    int Gain() const { return m_gain; }
    int GainSteps() const { return m_gainSteps; }
    QList<int> LevelsLeft() const { return QList<int>(m_levelsLeft.begin(), m_levelsLeft.end()); }
    QList<int> LevelsRight() const { return QList<int>(m_levelsRight.begin(), m_levelsRight.end()); }

    // ---- CBass hooks -----------------------------------------------------------------------
    // Also clears the status text and code.
    void Reset() override;
    // Installs the mono fold-down on the new channel before it is heard.
    void OnConnected() override;
    void OnDsp(HDSP handle, DWORD channel, void *buffer, DWORD length) override;

signals:
    void sig_StreamReady(BASS::Stream *stream, int id, QString urls);
    void sig_StreamError(BASS::Stream *stream, int id, QString errorMess);
    // ResolveStation is done: the addresses to open (also in Urls()).
    void sig_StreamResolved(BASS::Stream *stream, QStringList urls);

public slots:
    void slot_Ready(const QHttpExt::httpInfo *info);

protected:
    QHttpExt m_playlistHttp;
    QHttpExt m_eventHttp;
    QString m_statusText;
    qint32 m_statusCode = 0;
    QString m_playlistUrl;
    qint32 m_state = StateStopped;
    int m_playlistRequestId = 0;
    int m_nestedRequestId = 0;
    bool m_nestedFlag = true;
    std::vector<qint32> m_levelsLeft;
    std::vector<qint32> m_levelsRight;
    qint32 m_levelIndex = 0;
    qint32 m_gain = 0;
    qint32 m_gainSteps = 0;
    std::atomic<bool> m_mono{false};

private:
    void installMonoDsp();
    void followRedirect(int oldId, int newId);
    void replyStarted(const QHttpExt::httpInfo *info);
    void resolveStep(const PlaylistResolution::Step &step);
    void resolveFailed(int id, const QString &error);
    void dropResolverDownload(int id);

    PlaylistResolution m_resolution;
    int m_resolveRequestId = 0;
    QSet<int> m_resolverIds; // every download the resolution started that has not ended
    // Downloads the resolution dropped whose reports are still to come, by id (equal addresses
    // share an id, so a dropped download and a new one of the same address are told apart by
    // order: the dropped one reports first).
    QHash<int, int> m_droppedIds;
    bool m_resolvePosted = false; // a result waits in the event queue
    quint64 m_resolveGeneration = 0;
    // Channel layout of the DSP's channel, read when it is installed.
    std::atomic<int> m_dspChannels{0};
    std::atomic<bool> m_dspFloat{true};
};

} // namespace BASS
