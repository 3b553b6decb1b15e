#pragma once

// BassQt: the Qt face of one audio channel. It turns every engine notification into the signal
// sig_bassEvent, keeps the play counters and the recording clock going with a one-second timer,
// owns the cover-art lookup of the playing song and relays its signals with itself as sender,
// keeps the list of stream addresses the connect thread will try, and offers the playlist
// readers that turn a downloaded document into stream addresses.
//
// Threads. The object lives on the GUI thread. Notify and PostNotify are called on the connect
// thread and on the engine's callback threads as well: receivers connected with the automatic
// connection type get sig_bassEvent queued on their own thread. The address list is read by the
// connect thread while it runs; set it only while no open runs (it is guarded all the same).

#include "cbass.h"
#include "coverart.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <memory>

class QTimer;

namespace BASS {

class BassQt : public QObject, public CBass
{
    Q_OBJECT

public:
    static constexpr int SecondsTimerMs = 1000;

    explicit BassQt(QObject *parent = nullptr);
    // Stops the channel first: engine threads call the hooks below until it is gone.
    ~BassQt() override;

    // ---- playlist readers ------------------------------------------------------------------
    // Each clears `urls`, appends the addresses it finds in document order and returns how many.
    // Documents over 1 MiB give nothing; at most 1000 addresses are taken (10 from a PLS).
    // Addresses come out as they stand: whether one may be opened is the caller's decision
    // (see PlaylistResolution).
    // "#EXTINF:" / "#EXTM3U" lines, a player configuration's "file" values, or a bare list.
    virtual int ReadM3U(const QString &text, QStringList &urls) const;
    virtual QStringList ReadM3U(const QString &text) const;
    // The "ref href" value of each "<entry" (clientskip="yes" entries only with mms://).
    virtual int ReadASX(const QString &text, QStringList &urls) const;
    virtual QStringList ReadASX(const QString &text) const;
    // File1, File2, ... after "[playlist]", at most 10.
    virtual int ReadPLS(const QString &text, QStringList &urls) const;
    virtual QStringList ReadPLS(const QString &text) const;
    // The first "media src=" value.
    virtual int ReadMediaSrc(const QString &text, QStringList &urls) const;
    virtual QStringList ReadMediaSrc(const QString &text) const;

    // Captures artist and song from a stream title by the station's title template.
    virtual void MatchTitleTemplate(const QString &titleTemplate, const QString &title, QString *artist,
                                    QString *song) const;

    // ---- cover art of the playing song (m_song) -------------------------------------------
    // A cover lookup for the current song.
    virtual void DownloadAlbumInfo();
    // The lyrics of the current song.
    virtual void DownloadLyrics();
    // A text about the current song's artist.
    virtual void DownloadArtistInfo();
    // Whether a cover lookup for the current song runs.
    virtual bool IsDownloadingAlbumInfo() const;
    // Ends every lookup under way (nothing is reported for it afterwards).
    virtual void StopCoverArt();
    std::shared_ptr<CoverArt> CoverArtObject() const { return m_coverArt; }

    // ---- the addresses the connect thread tries -------------------------------------------
    QStringList Urls() const;
    void SetUrls(const QStringList &urls);

    // ---- CBass hooks -----------------------------------------------------------------------
    void Notify(uint msg, uint param) override;
    void PostNotify(uint msg, uint param) override;
    // Shows the text in an application-modal warning box (through the HTTP settings' message
    // hook) when `show` is true; from another thread the box is shown on the GUI thread.
    void ShowMessage(const QString &text, bool show) override;
    // Also forgets the address list.
    void Reset() override;

signals:
    void sig_coverArtReady(BASS::BassQt *stream, BASS::CoverArt::coverArtType type);
    void sig_coverArtStatusChanged(BASS::BassQt *stream, BASS::CoverArt::status st);
    // Every engine notification (the BassEvent codes), from whatever thread raised it.
    void sig_bassEvent(BASS::BassQt *stream, uint msg, uint param);

public slots:
    // Relays of the cover-art lookup's signals, with this channel as sender.
    void slot_coverArtProcess(BASS::CoverArt::coverArtType type);
    void slot_coverArtStatusChanged(BASS::CoverArt::status st);
    // Once a second: while the channel plays (not stopped, stalled or paused) an active
    // recording gains a second of recorded time (an armed one a second of waiting), and the play
    // counters advance.
    virtual void slot_secondsTimerUpdate();

protected:
    // Also ends a recording and the cover-art lookup (on the GUI thread, whichever thread
    // stopped the channel).
    void OnAfterStop() override;

    // Debug builds stop at an operation that belongs to the thread the object lives on (the GUI
    // thread) when another thread calls it.
    void assertOwnerThread(const char *where) const
    {
        Q_UNUSED(where);
        Q_ASSERT_X(QThread::currentThread() == thread(), where, "called from another thread");
    }

    std::shared_ptr<CoverArt> m_coverArt;
    QTimer *m_secondsTimer = nullptr;

private:
    mutable QMutex m_urlsLock;
    QStringList m_urls; // m_urlsLock
};

} // namespace BASS
