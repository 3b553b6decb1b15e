#pragma once

// A single-producer single-consumer ring of interleaved float frames between a channel's decode
// thread (writer) and the output thread (reader). Neither side ever blocks or allocates; reset()
// is only allowed while neither side is inside read() or write().

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

namespace tunora::audio {

class FrameRing
{
public:
    void allocate(std::size_t frames, int channels)
    {
        m_channels = channels;
        m_capacity = std::max<std::size_t>(frames, 1);
        m_data.assign(m_capacity * std::size_t(channels), 0.0f);
        reset();
    }
    void reset()
    {
        m_read.store(0, std::memory_order_relaxed);
        m_write.store(0, std::memory_order_release);
    }
    std::size_t capacity() const { return m_capacity; }
    std::size_t readable() const
    {
        return std::size_t(m_write.load(std::memory_order_acquire) - m_read.load(std::memory_order_relaxed));
    }
    std::size_t writable() const
    {
        return m_capacity -
               std::size_t(m_write.load(std::memory_order_relaxed) - m_read.load(std::memory_order_acquire));
    }
    // Frames written since the last reset (the writer's position).
    std::uint64_t written() const { return m_write.load(std::memory_order_acquire); }

    std::size_t write(const float *frames, std::size_t count)
    {
        count = std::min(count, writable());
        const std::uint64_t at = m_write.load(std::memory_order_relaxed);
        copyIn(frames, at, count);
        m_write.store(at + count, std::memory_order_release);
        return count;
    }
    // Copies up to `count` frames out without consuming them.
    std::size_t peek(float *out, std::size_t count) const
    {
        count = std::min(count, readable());
        copyOut(out, m_read.load(std::memory_order_relaxed), count);
        return count;
    }
    std::size_t read(float *out, std::size_t count)
    {
        count = peek(out, count);
        m_read.store(m_read.load(std::memory_order_relaxed) + count, std::memory_order_release);
        return count;
    }

private:
    // Runs of the ring that hold frames [at, at + count), passed to visit(ringPointer, offset, run).
    template<typename Visit>
    void forRuns(std::uint64_t at, std::size_t count, Visit visit) const
    {
        std::size_t start = std::size_t(at % m_capacity);
        for (std::size_t done = 0; done < count;) {
            const std::size_t run = std::min(count - done, m_capacity - start);
            visit(start * std::size_t(m_channels), done * std::size_t(m_channels),
                  run * std::size_t(m_channels));
            done += run;
            start = 0;
        }
    }
    void copyIn(const float *in, std::uint64_t at, std::size_t count)
    {
        forRuns(at, count, [&](std::size_t ring, std::size_t off, std::size_t n) {
            std::copy_n(in + off, n, m_data.data() + ring);
        });
    }
    void copyOut(float *out, std::uint64_t at, std::size_t count) const
    {
        forRuns(at, count, [&](std::size_t ring, std::size_t off, std::size_t n) {
            std::copy_n(m_data.data() + ring, n, out + off);
        });
    }

    std::vector<float> m_data;
    std::size_t m_capacity = 1;
    int m_channels = 1;
    std::atomic<std::uint64_t> m_read{0};
    std::atomic<std::uint64_t> m_write{0};
};

} // namespace tunora::audio
