#include "effects.h"

#include <algorithm>
#include <cmath>

namespace tunora::audio {

namespace {
float clampTo(float v, float low, float high)
{
    return std::min(std::max(v, low), high);
}
} // namespace

Compressor::Compressor()
{
    // The defaults of the effect: a gentle 3:1 above -20 dB.
    m_params = {0.0f, 10.0f, 200.0f, -20.0f, 3.0f, 4.0f};
}

bool Compressor::setParameters(const BASS_DX8_COMPRESSOR &p)
{
    for (float v : {p.fGain, p.fAttack, p.fRelease, p.fThreshold, p.fRatio, p.fPredelay})
        if (!std::isfinite(v))
            return false;
    m_params.fGain = clampTo(p.fGain, -60.0f, 60.0f);
    m_params.fAttack = clampTo(p.fAttack, 0.01f, 500.0f);
    m_params.fRelease = clampTo(p.fRelease, 50.0f, 3000.0f);
    m_params.fThreshold = clampTo(p.fThreshold, -60.0f, 0.0f);
    m_params.fRatio = clampTo(p.fRatio, 1.0f, 100.0f);
    m_params.fPredelay = clampTo(p.fPredelay, 0.0f, 4.0f);
    m_rate = 0; // recompute the coefficients on the next block
    return true;
}

void Compressor::reset()
{
    m_envelope = 0;
    m_reductionDb = 0;
    std::fill(m_delay.begin(), m_delay.end(), 0.0f);
    m_delayPos = 0;
}

void Compressor::prepare(int channels, int rate)
{
    m_attackCoef = std::exp(-1.0f / (m_params.fAttack * 0.001f * float(rate)));
    m_releaseCoef = std::exp(-1.0f / (m_params.fRelease * 0.001f * float(rate)));
    const auto delayFrames = std::size_t(std::lround(m_params.fPredelay * 0.001f * float(rate)));
    if (delayFrames != m_delayFrames || channels != m_channels) {
        m_delayFrames = delayFrames;
        m_delay.assign(delayFrames * std::size_t(channels), 0.0f);
        m_delayPos = 0;
    }
    m_rate = rate;
    m_channels = channels;
}

void Compressor::process(float *samples, std::int64_t frames, int channels, int rate)
{
    if (rate != m_rate || channels != m_channels)
        prepare(channels, rate);
    const float threshold = m_params.fThreshold;
    const float slope = 1.0f - 1.0f / m_params.fRatio;
    const float makeup = m_params.fGain;
    for (std::int64_t i = 0; i < frames; ++i) {
        float *frame = samples + i * channels;
        float peak = 0;
        for (int c = 0; c < channels; ++c)
            peak = std::max(peak, std::fabs(frame[c]));
        // The detector holds peaks and lets them fall with the release time.
        m_envelope = std::max(peak, m_envelope * m_releaseCoef);
        float targetDb = 0;
        if (m_envelope > 1e-6f) {
            const float levelDb = 20.0f * std::log10(m_envelope);
            if (levelDb > threshold)
                targetDb = (threshold - levelDb) * slope;
        }
        // The gain moves towards its target with the attack time when it has to come down and
        // with the release time when it may go up again.
        const float coef = targetDb < m_reductionDb ? m_attackCoef : m_releaseCoef;
        m_reductionDb = coef * m_reductionDb + (1.0f - coef) * targetDb;
        const float gainDb = m_reductionDb + makeup;
        const float gain = std::pow(10.0f, gainDb / 20.0f);
        if (m_delayFrames > 0) {
            float *delayed = m_delay.data() + m_delayPos * std::size_t(channels);
            for (int c = 0; c < channels; ++c) {
                const float in = frame[c];
                frame[c] = delayed[c] * gain;
                delayed[c] = in;
            }
            m_delayPos = (m_delayPos + 1) % m_delayFrames;
        } else {
            for (int c = 0; c < channels; ++c)
                frame[c] *= gain;
        }
    }
}

} // namespace tunora::audio
