#pragma once

// Sample processing of a channel: the compressor effect and the volume ramp. Both work on
// interleaved 32-bit float frames and keep their state between blocks.

#include "audioengine.h"

#include <cstdint>
#include <vector>

namespace tunora::audio {

// A feed-forward compressor with a peak detector and a hard knee:
//   the detector holds the largest absolute sample of a frame and lets it fall with the
//   release time;
//   above the threshold the level is to be reduced so that every `ratio` dB of input above it
//   give 1 dB of output above it; the reduction (in dB) follows that target with the attack
//   time when it grows and with the release time when it shrinks; the gain (dB) is then added;
//   the audio is delayed by the pre-delay, so the detector sees peaks before they are heard.
// Values outside the ranges documented on BASS_DX8_COMPRESSOR are clamped into them (a ratio
// of 0 becomes 1: no compression), so a caller that sets only the gain gets a plain boost.
class Compressor
{
public:
    Compressor();
    // Returns false (and changes nothing) for values that are not numbers.
    bool setParameters(const BASS_DX8_COMPRESSOR &parameters);
    BASS_DX8_COMPRESSOR parameters() const { return m_params; }
    // Forgets the detector level and the delayed audio.
    void reset();
    void process(float *samples, std::int64_t frames, int channels, int rate);

private:
    void prepare(int channels, int rate);

    BASS_DX8_COMPRESSOR m_params;
    int m_rate = 0;
    int m_channels = 0;
    float m_attackCoef = 0;
    float m_releaseCoef = 0;
    float m_envelope = 0;       // detected level (linear)
    float m_reductionDb = 0;    // smoothed gain reduction
    std::vector<float> m_delay; // ring of pre-delay frames
    std::size_t m_delayFrames = 0;
    std::size_t m_delayPos = 0;
};

// A linear volume ramp, advanced sample by sample so that a slide never steps (no clicks).
struct Ramp
{
    float value = 1.0f;
    float target = 1.0f;
    float step = 0.0f;          // change per frame
    std::int64_t remaining = 0; // frames until the target is reached

    void set(float v)
    {
        value = target = v;
        step = 0;
        remaining = 0;
    }
    void slideTo(float to, std::int64_t frames)
    {
        if (frames <= 0) {
            set(to);
            return;
        }
        target = to;
        remaining = frames;
        step = (to - value) / float(frames);
    }
    bool sliding() const { return remaining > 0; }
    // Moves `frames` frames on without using the values (time passes while no audio is there).
    void skip(std::int64_t frames)
    {
        if (remaining <= 0 || frames <= 0)
            return;
        if (frames >= remaining) {
            value = target;
            remaining = 0;
        } else {
            value += step * float(frames);
            remaining -= frames;
        }
    }
    // Value for the next frame.
    float advance()
    {
        if (remaining > 0) {
            value += step;
            if (--remaining == 0)
                value = target;
        }
        return value;
    }
};

} // namespace tunora::audio
