#pragma once

// Helpers shared by the audio engine tests: decoding a whole channel; the level, frequency and
// envelope of interleaved float audio; ICY metadata interleaving; tag lists; recorders for syncs
// and the download callback.

#include "audioengine.h"

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

namespace AudioTest {

// Reads a decoding channel to its end as float samples.
inline std::vector<float> decodeAll(HSTREAM stream, std::size_t maxFrames = 44100 * 30)
{
    std::vector<float> all;
    float block[4096];
    while (all.size() < maxFrames * 2) {
        const DWORD got = BASS_ChannelGetData(stream, block, sizeof block | BASS_DATA_FLOAT);
        if (got == DWORD(-1) || got == 0)
            break;
        all.insert(all.end(), block, block + got / sizeof(float));
    }
    return all;
}

// One channel of interleaved samples, frames [from, to).
inline std::vector<float> channelOf(const std::vector<float> &samples, int channels, int channel,
                                    std::size_t from = 0, std::size_t to = std::size_t(-1))
{
    std::vector<float> out;
    const std::size_t frames = samples.size() / std::size_t(channels);
    for (std::size_t i = from; i < std::min(frames, to); ++i)
        out.push_back(samples[i * std::size_t(channels) + std::size_t(channel)]);
    return out;
}

inline float peakOf(const std::vector<float> &samples)
{
    return std::accumulate(samples.begin(), samples.end(), 0.0f,
                           [](float peak, float v) { return std::max(peak, std::fabs(v)); });
}

inline double rmsOf(const std::vector<float> &samples)
{
    const double sum = std::inner_product(samples.begin(), samples.end(), samples.begin(), 0.0);
    return samples.empty() ? 0 : std::sqrt(sum / double(samples.size()));
}

// Frequency from the rising zero crossings of a steady tone.
inline double frequencyOf(const std::vector<float> &mono, int rate)
{
    std::size_t first = 0, last = 0;
    int crossings = 0;
    for (std::size_t i = 1; i < mono.size(); ++i) {
        if (mono[i - 1] < 0 && mono[i] >= 0) {
            if (crossings == 0)
                first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0;
    return double(crossings - 1) * rate / double(last - first);
}

// Peak of each consecutive window of `window` frames of one channel: the envelope.
inline std::vector<float> envelopeOf(const std::vector<float> &mono, std::size_t window)
{
    std::vector<float> envelope;
    for (std::size_t at = 0; at + window <= mono.size(); at += window)
        envelope.push_back(peakOf(std::vector<float>(mono.begin() + std::ptrdiff_t(at),
                                                     mono.begin() + std::ptrdiff_t(at + window))));
    return envelope;
}

// Audio with ICY metadata interleaved every `metaint` bytes: blocks[i] follows interval i
// (an empty block is sent as a zero length byte).
inline QByteArray interleaved(const QByteArray &audio, int metaint, const QList<QByteArray> &blocks)
{
    QByteArray out;
    int interval = 0;
    for (qsizetype at = 0; at < audio.size(); at += metaint, ++interval) {
        out += audio.mid(at, metaint);
        if (at + metaint > audio.size())
            break;
        const QByteArray block = interval < blocks.size() ? blocks[interval] : QByteArray();
        const int length = int((block.size() + 15) / 16);
        out += char(length);
        out += block + QByteArray(length * 16 - block.size(), '\0');
    }
    return out;
}

// A tag that is a list of zero-terminated strings.
inline QByteArrayList tagList(HSTREAM stream, DWORD type)
{
    QByteArrayList items;
    for (const char *item = BASS_ChannelGetTags(stream, type); item && *item; item += std::strlen(item) + 1)
        items << item;
    return items;
}

struct SyncRecord
{
    int kind;    // the test's own number for the registration
    qint64 atMs; // since the log was made or start()ed
    std::thread::id thread;
    QByteArray tag; // the ICY block current in the call (registrations `withTag`)
};

// Records sync calls; the user data of each registration is the log plus the test's kind number.
class SyncLog
{
public:
    SyncLog() { m_clock.start(); }
    void *user(int kind, bool withTag = false)
    {
        m_entries.push_back(std::make_unique<Entry>(Entry{this, kind, withTag}));
        return m_entries.back().get();
    }
    static void CALLBACK record(HSYNC, DWORD channel, DWORD, void *user)
    {
        auto *entry = static_cast<Entry *>(user);
        const QByteArray tag =
            entry->withTag ? QByteArray(BASS_ChannelGetTags(channel, BASS_TAG_META)) : QByteArray();
        std::lock_guard<std::mutex> guard(entry->log->m_lock);
        entry->log->m_records.push_back(
            {entry->kind, entry->log->m_clock.elapsed(), std::this_thread::get_id(), tag});
    }
    void start() { m_clock.start(); }
    std::vector<SyncRecord> records(int kind)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<SyncRecord> out;
        std::copy_if(m_records.begin(), m_records.end(), std::back_inserter(out),
                     [kind](const SyncRecord &r) { return r.kind == kind; });
        return out;
    }
    // Waits, with the event loop running, until `count` calls of `kind` came.
    bool waitFor(int kind, std::size_t count, int timeoutMs)
    {
        return QTest::qWaitFor([&] { return records(kind).size() >= count; }, timeoutMs);
    }

private:
    struct Entry
    {
        SyncLog *log;
        int kind;
        bool withTag;
    };
    std::mutex m_lock;
    std::vector<SyncRecord> m_records;
    std::vector<std::unique_ptr<Entry>> m_entries;
    QElapsedTimer m_clock;
};

// What the download callback received: header blocks (length 0), stream bytes, and the ends.
struct Downloads
{
    std::mutex lock;
    QByteArrayList headers;
    QByteArray bytes;
    std::atomic<int> ends{0};
    static void CALLBACK proc(const void *buffer, DWORD length, void *user)
    {
        auto *self = static_cast<Downloads *>(user);
        std::lock_guard<std::mutex> guard(self->lock);
        if (!buffer)
            ++self->ends;
        else if (length == 0)
            self->headers << QByteArray(static_cast<const char *>(buffer));
        else
            self->bytes.append(static_cast<const char *>(buffer), qsizetype(length));
    }
};

} // namespace AudioTest
