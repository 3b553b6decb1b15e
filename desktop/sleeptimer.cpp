#include "sleeptimer.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

SleepTimer::SleepTimer(QObject *parent, Clock clock)
    : QObject(parent)
    , m_clock(std::move(clock))
    , m_timer(new QTimer(this))
{
    if (!m_clock) {
        auto elapsed = std::make_shared<QElapsedTimer>();
        elapsed->start();
        m_clock = [elapsed] { return elapsed->elapsed(); };
    }
    connect(m_timer, &QTimer::timeout, this, &SleepTimer::tick);
}

void SleepTimer::startMinutes(int minutes)
{
    if (minutes <= 0) {
        cancel();
        return;
    }
    arm(Minutes, m_clock() + qint64(minutes) * 60 * 1000, FadeMs);
}

void SleepTimer::startEndOfSong(qint64 remainingMs)
{
    arm(EndOfSong, remainingMs >= 0 ? m_clock() + remainingMs : -1, FadeMs);
}

void SleepTimer::arm(Mode mode, qint64 deadline, qint64 fadeMs)
{
    const bool wasActive = isActive();
    m_mode = mode;
    m_deadline = deadline;
    m_fadeMs = fadeMs;
    setFade(100);
    m_timer->start(TickMs);
    if (!wasActive)
        emit signal_activeChanged(true);
    tick();
}

void SleepTimer::cancel()
{
    if (!isActive())
        return;
    finish(false);
}

void SleepTimer::songChanged()
{
    // Only a song without a known end waits for the next title; a timed stop ignores titles.
    if (m_mode == EndOfSong && m_deadline < 0) {
        m_deadline = m_clock() + TitleChangeFadeMs;
        m_fadeMs = TitleChangeFadeMs;
        tick();
    }
}

qint64 SleepTimer::remainingMs() const
{
    if (!isActive() || m_deadline < 0)
        return -1;
    return std::max<qint64>(0, m_deadline - m_clock());
}

void SleepTimer::tick()
{
    if (!isActive() || m_deadline < 0)
        return;
    const qint64 left = m_deadline - m_clock();
    if (left <= 0) {
        finish(true);
        return;
    }
    if (left <= m_fadeMs) {
        setFade(int((left * 100 + m_fadeMs - 1) / m_fadeMs));
        if (m_timer->interval() != FadeTickMs)
            m_timer->start(FadeTickMs);
    }
}

void SleepTimer::setFade(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (percent == m_fadePercent)
        return;
    m_fadePercent = percent;
    emit signal_fade(percent);
}

void SleepTimer::finish(bool expired)
{
    m_timer->stop();
    m_mode = Off;
    m_deadline = -1;
    if (expired) {
        setFade(0);
        emit signal_expired();
    }
    // The listener's volume comes back for the next station (after the owner stopped playback).
    setFade(100);
    emit signal_activeChanged(false);
}
