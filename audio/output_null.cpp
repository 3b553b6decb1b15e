// The no-sound output: consumes audio at the real-time rate of its clock, one period ahead, as
// an ideal sound card with a one-period buffer would. When its thread is late it catches up (at
// most two seconds' worth), so positions, fades and syncs keep wall-clock time.

#include "output.h"

#include "audioengine.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tunora::audio {

namespace {

std::mutex g_behaviourLock;
NullOutputBehaviour g_behaviour;

using Clock = std::chrono::steady_clock;

class NullOutput final : public AudioOutput
{
public:
    ~NullOutput() override { stop(); }

    int start(const OutputFormat &format, RenderSource *source) override
    {
        {
            std::lock_guard<std::mutex> guard(g_behaviourLock);
            m_behaviour = g_behaviour;
        }
        if (m_behaviour.failWith)
            return m_behaviour.failWith;
        m_format = format;
        m_source = source;
        m_latency.setRate(format.rate);
        m_thread = std::thread([this] { run(); });
        return 0;
    }

    void stop() override
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_quit = true;
        }
        m_wakeup.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void wake() override
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_active = true;
            ++m_wakes;
        }
        m_wakeup.notify_all();
    }

    void pause(bool paused) override
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_paused = paused;
            if (paused) // what is buffered stays unheard from this moment
                m_latency.stamp(m_latency.now(), false);
        }
        m_wakeup.notify_all();
    }

    void flush() override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_flush = true;
        m_latency.stamp(0, false);
    }

    std::int64_t latencyFrames() const override { return m_latency.now(); }
    const char *name() const override { return "no sound"; }

private:
    void run()
    {
        const auto rate = std::int64_t(m_format.rate);
        const std::int64_t period = std::max<std::int64_t>(rate * m_format.periodMs / 1000, 64);
        const std::int64_t maxCatchUp = rate * 2;
        std::vector<float> buffer(std::size_t(period) * 2);
        std::unique_lock<std::mutex> lock(m_lock);
        bool hiccupDone = false;
        while (!m_quit) {
            m_wakeup.wait(lock, [&] { return m_quit || (m_active && !m_paused); });
            if (m_quit)
                break;
            // (Re)start the clock; what was buffered before a pause is heard first.
            std::int64_t buffered = m_flush ? 0 : m_latency.now();
            m_flush = false;
            const Clock::time_point start = Clock::now();
            std::int64_t rendered = buffered;
            std::int64_t audibleUntil = buffered; // end of the last block in which something played
            bool idle = false;
            while (!m_quit && m_active && !m_paused) {
                if (m_flush) {
                    m_flush = false;
                    rendered = elapsedFrames(start, rate); // drop the look-ahead
                }
                const std::uint64_t wakes = m_wakes;
                lock.unlock();
                const std::int64_t elapsed = elapsedFrames(start, rate);
                if (rendered < elapsed - maxCatchUp)
                    rendered = elapsed - maxCatchUp; // the thread was stopped for long: give up the gap
                bool playing = true;
                const std::int64_t target = elapsed + period;
                while (rendered < target) {
                    const std::int64_t count = std::min(target - rendered, period);
                    playing = m_source->render(buffer.data(), std::size_t(count));
                    if (m_behaviour.tap)
                        m_behaviour.tap(buffer.data(), std::size_t(count), m_behaviour.tapUser);
                    rendered += count;
                    if (playing)
                        audibleUntil = rendered;
                }
                m_latency.stamp(rendered - elapsedFrames(start, rate), true);
                if (!hiccupDone && m_behaviour.hiccupAfterMs >= 0 &&
                    Clock::now() - start >= std::chrono::milliseconds(m_behaviour.hiccupAfterMs)) {
                    hiccupDone = true;
                    std::this_thread::sleep_for(std::chrono::milliseconds(m_behaviour.hiccupMs));
                }
                lock.lock();
                if (!playing && wakes == m_wakes && elapsedFrames(start, rate) >= audibleUntil) {
                    m_active = false; // nothing plays and everything was heard: sleep until woken
                    idle = true;
                    break;
                }
                const auto next =
                    start + std::chrono::nanoseconds((rendered - period / 2) * 1000000000 / rate);
                m_wakeup.wait_until(lock, next, [&] { return m_quit || m_paused || m_flush; });
            }
            m_latency.stamp(idle || m_flush ? 0 : m_latency.now(), false);
        }
    }

    static std::int64_t elapsedFrames(Clock::time_point start, std::int64_t rate)
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count() * rate /
               1000000000;
    }

    OutputFormat m_format;
    RenderSource *m_source = nullptr;
    NullOutputBehaviour m_behaviour;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_wakeup;
    bool m_quit = false;
    bool m_active = false;
    bool m_paused = false;
    bool m_flush = false;
    std::uint64_t m_wakes = 0;
    LatencyClock m_latency;
};

} // namespace

void setNullOutputBehaviour(const NullOutputBehaviour &behaviour)
{
    std::lock_guard<std::mutex> guard(g_behaviourLock);
    g_behaviour = behaviour;
}

std::unique_ptr<AudioOutput> createNullOutput()
{
    return std::make_unique<NullOutput>();
}

} // namespace tunora::audio
