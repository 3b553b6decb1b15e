#pragma once

// A channel wrapper for tests: records every notification (from any thread) with the time it
// came, shows no message, keeps the real title processing, and lets a test script what the
// recording writer answers. Header-only: only tests that link tunora_bass include it.

#include "cbass.h"

#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QTest>

#include <atomic>

namespace TunoraTest {

class TestBass : public BASS::CBass
{
public:
    struct Event
    {
        uint msg;
        uint param;
        qint64 atMs; // since construction
    };

    TestBass() { m_clock.start(); }
    // Engine threads may call the hooks until the channel is gone: stop it while this object is
    // still whole.
    ~TestBass() override { Stop(0); }

    void Notify(uint msg, uint param) override
    {
        QMutexLocker lock(&m_eventLock);
        m_events.append({msg, param, m_clock.elapsed()});
    }

    void ShowMessage(const QString &, bool) override {}

    bool WaitForPreBuffer() override
    {
        const bool filled = BASS::CBass::WaitForPreBuffer();
        m_fillAfterPreBuffer = BufferFillPercent();
        m_preBuffered = filled;
        return filled;
    }

    QList<Event> events() const
    {
        QMutexLocker lock(&m_eventLock);
        return m_events;
    }
    // The messages in order.
    QList<uint> messages() const
    {
        QList<uint> out;
        for (const Event &e : events())
            out.append(e.msg);
        return out;
    }
    int count(uint msg) const { return int(messages().count(msg)); }
    // The params of every notification of one kind, in order.
    QList<uint> params(uint msg) const
    {
        QList<uint> out;
        for (const Event &e : events())
            if (e.msg == msg)
                out.append(e.param);
        return out;
    }
    // Time of the first notification of a kind, -1 when none came.
    qint64 timeOf(uint msg) const
    {
        for (const Event &e : events())
            if (e.msg == msg)
                return e.atMs;
        return -1;
    }
    // Waits (serving this thread's events) until `count` notifications of a kind arrived.
    bool waitFor(uint msg, int count = 1, int timeoutMs = 10000) const
    {
        return QTest::qWaitFor([&] { return this->count(msg) >= count; }, timeoutMs);
    }

    bool preBuffered() const { return m_preBuffered; }
    int fillAfterPreBuffer() const { return m_fillAfterPreBuffer; }

    // ---- the recording state, set from the test (the writers are not part of the wrapper) ----
    void setRecording(bool active, bool armed, qint32 format = BASS::RecordStreamData)
    {
        QMutexLocker lock(&m_recordLock);
        m_record.active = active;
        m_record.armed = armed;
        m_record.format = format;
    }
    // What WriteRecordedData answers, one character per block: 't' written, 'f' failed.
    void scriptWrites(const QByteArray &answers)
    {
        QMutexLocker lock(&m_eventLock);
        m_writeAnswers = answers;
        m_writes = 0;
    }
    int writes() const { return m_writes; }

protected:
    bool WriteRecordedData(const void *, DWORD) override
    {
        QMutexLocker lock(&m_eventLock);
        const bool ok = m_writes < m_writeAnswers.size() && m_writeAnswers[m_writes] == 't';
        ++m_writes;
        return ok;
    }

private:
    mutable QMutex m_eventLock;
    QElapsedTimer m_clock;
    QList<Event> m_events;
    std::atomic<bool> m_preBuffered = false;
    std::atomic<int> m_fillAfterPreBuffer = -1;
    QByteArray m_writeAnswers;
    std::atomic<int> m_writes = 0;
};

} // namespace TunoraTest
