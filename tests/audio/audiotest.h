#pragma once

// Measuring helpers shared by the audio engine tests: decoding a whole channel, and the level,
// frequency and envelope of interleaved float audio.

#include "audioengine.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
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
    float peak = 0;
    for (float v : samples)
        peak = std::max(peak, std::fabs(v));
    return peak;
}

inline double rmsOf(const std::vector<float> &samples)
{
    double sum = 0;
    for (float v : samples)
        sum += double(v) * v;
    return samples.empty() ? 0 : std::sqrt(sum / double(samples.size()));
}

inline double decibels(double amplitude)
{
    return 20.0 * std::log10(std::max(amplitude, 1e-9));
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

} // namespace AudioTest
