#pragma once

// Stops playback after a while (15, 30, 60 or 90 minutes) or when the song playing now ends,
// fading the volume out first. The owner scales its volume by signal_fade's percentage and stops
// on signal_expired; time comes from an injectable clock so that tests need not wait.

#include <QObject>

#include <functional>

class QTimer;

class SleepTimer : public QObject
{
    Q_OBJECT

public:
    // Monotonic milliseconds.
    using Clock = std::function<qint64()>;

    enum Mode
    {
        Off,
        Minutes,  // a fixed time from start()
        EndOfSong // when the song playing at start ends
    };

    static constexpr qint64 FadeMs = 30 * 1000;
    // A live stream rarely says how long a song lasts: then the next title ends it, with this
    // short fade so that the new song is not cut off hard.
    static constexpr qint64 TitleChangeFadeMs = 3 * 1000;
    static constexpr int TickMs = 1000;
    static constexpr int FadeTickMs = 250;

    explicit SleepTimer(QObject *parent = nullptr, Clock clock = {});

    // The times offered to the listener.
    static QList<int> offeredMinutes() { return {15, 30, 60, 90}; }

    void startMinutes(int minutes);
    // Ends with the current song: its known remaining time (ms, < 0 when unknown, as for most
    // live streams) sets the end; without it the next new song ends it.
    void startEndOfSong(qint64 remainingMs = -1);
    // Stops counting and gives the full volume back.
    void cancel();

    // The owner reports each new song that it accepted.
    void songChanged();

    Mode mode() const { return m_mode; }
    bool isActive() const { return m_mode != Off; }
    // Time left until the stop; -1 when unknown (end of song without a length) or off.
    qint64 remainingMs() const;
    // Current volume share, 0..100.
    int fadePercent() const { return m_fadePercent; }

public slots:
    // Re-evaluates against the clock; the internal timer calls it, tests call it directly.
    void tick();

signals:
    void signal_fade(int percent);
    void signal_expired();
    void signal_activeChanged(bool active);

private:
    void arm(Mode mode, qint64 deadline, qint64 fadeMs);
    void setFade(int percent);
    void finish(bool expired);

    Clock m_clock;
    QTimer *m_timer;
    Mode m_mode = Off;
    qint64 m_deadline = -1; // clock time of the stop; -1 while waiting for the next song
    qint64 m_fadeMs = FadeMs;
    int m_fadePercent = 100;
};
