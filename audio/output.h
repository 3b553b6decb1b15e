#pragma once

// The output side of the engine: one small interface with a PulseAudio backend and a no-sound
// backend. The model is pull: the backend's own thread (PulseAudio's mainloop thread, or the
// no-sound clock thread) asks the mixer for audio whenever the device wants more, so the mixer
// always runs on exactly one thread, and that thread never waits for a decoder or a callback.
//
// Contract for backends
//   start()  connects and starts the backend's thread. The output starts idle: it pulls nothing
//            until wake() is called. Returns 0 or a BASS_ERROR_* code.
//   stop()   stops and joins the thread; afterwards every other call is a harmless no-op.
//   wake()   something started to play: leave the idle state and pull again. While the mixer
//            reports that nothing plays, the backend writes silence until what it had buffered
//            has been heard, then goes idle again (PulseAudio: corks; no-sound: sleeps).
//   pause()  pause(true) freezes playback and keeps what is buffered (PulseAudio: cork);
//            pause(false) continues with it.
//   flush()  drops what is buffered and not yet heard (stop without a tail).
//   latencyFrames()  frames pulled from the mixer that have not been heard yet, at this moment.
//   A backend whose device goes away while running (the sound server quit) calls the loss
//   handler once, on its own thread, and pulls nothing more; the next wake() connects again.
//   The handler must not call back into the output.
//   restore()  after a loss: tries to connect again now (to the server that was lost); true when
//            the output is usable again (or was never lost). It starts idle, like after start().
// All calls but the render callback come from API threads; backends must never call the mixer
// while holding a lock that an API thread takes before calling them.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace tunora::audio {

class RenderSource
{
public:
    virtual ~RenderSource() = default;
    // Fills `frames` interleaved stereo float frames (silence where nothing plays). Called on the
    // output thread only; never blocks. Returns false when no channel is playing.
    virtual bool render(float *out, std::size_t frames) = 0;
};

struct OutputFormat
{
    int rate = 44100;
    int channels = 2;
    int bufferMs = 300; // how much the device buffers ahead
    int periodMs = 100; // how much it asks for at a time
};

class AudioOutput
{
public:
    virtual ~AudioOutput() = default;
    virtual int start(const OutputFormat &format, RenderSource *source) = 0;
    virtual void stop() = 0;
    virtual void wake() = 0;
    virtual void pause(bool paused) = 0;
    virtual void flush() = 0;
    virtual std::int64_t latencyFrames() const = 0;
    virtual const char *name() const = 0;
    virtual bool restore() { return true; }

    // Set before start().
    void setLossHandler(std::function<void()> handler) { m_lossHandler = std::move(handler); }

protected:
    void reportLoss()
    {
        if (m_lossHandler)
            m_lossHandler();
    }

private:
    std::function<void()> m_lossHandler;
};

std::unique_ptr<AudioOutput> createNullOutput();
std::unique_ptr<AudioOutput> createPulseOutput();

// Test controls of the no-sound output: it can be made to fail, to stall once as a starved
// thread would, and it can hand everything it "plays" to a tap. Set before BASS_Init; the tap
// runs on the output thread and must not block.
struct NullOutputBehaviour
{
    int failWith = 0;       // start() fails with this BASS_ERROR_* code
    int hiccupAfterMs = -1; // once, this long after playback started ...
    int hiccupMs = 0;       // ... the thread stops for this long, then catches up
    void (*tap)(const float *frames, std::size_t count, void *user) = nullptr;
    void *tapUser = nullptr;
};
void setNullOutputBehaviour(const NullOutputBehaviour &behaviour);

// Frames rendered but not yet heard, extrapolated between the backend's updates: the backend
// stamps the value whenever it learns it; while running it shrinks with the clock.
class LatencyClock
{
public:
    void stamp(std::int64_t frames, bool running)
    {
        m_frames.store(frames, std::memory_order_relaxed);
        m_stampNs.store(nowNs(), std::memory_order_relaxed);
        m_running.store(running, std::memory_order_release);
    }
    void setRate(int rate) { m_rate = rate; }
    std::int64_t now() const
    {
        const std::int64_t frames = m_frames.load(std::memory_order_relaxed);
        if (!m_running.load(std::memory_order_acquire))
            return frames;
        const std::int64_t gone = (nowNs() - m_stampNs.load(std::memory_order_relaxed)) * m_rate / 1000000000;
        return frames > gone ? frames - gone : 0;
    }

private:
    static std::int64_t nowNs()
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    std::atomic<std::int64_t> m_frames{0};
    std::atomic<std::int64_t> m_stampNs{0};
    std::atomic<bool> m_running{false};
    int m_rate = 44100;
};

} // namespace tunora::audio
