#pragma once

// Settings of the audio engine's compressor effect (BASS_FX_DX8_COMPRESSOR) and the three
// presets the player offers. A channel applies one with CBass::SetCompressor.

#include "audioengine.h"

namespace BASS {

// The six parameters of the compressor, in the engine's order.
class CBassCompressor
{
public:
    virtual ~CBassCompressor() = default;

    float gain = 0;      // output gain after compression, dB
    float attack = 0;    // ms
    float release = 0;   // ms
    float threshold = 0; // dB
    float ratio = 0;     // input dB above the threshold per output dB
    float predelay = 0;  // look-ahead, ms

    BASS_DX8_COMPRESSOR Parameters() const { return {gain, attack, release, threshold, ratio, predelay}; }

protected:
    CBassCompressor() = default;
    CBassCompressor(float gain_, float attack_, float release_, float threshold_, float ratio_,
                    float predelay_)
        : gain(gain_)
        , attack(attack_)
        , release(release_)
        , threshold(threshold_)
        , ratio(ratio_)
        , predelay(predelay_)
    {}
};

class CBassCompressorLow : public CBassCompressor
{
public:
    CBassCompressorLow()
        : CBassCompressor(2.0f, 2.2f, 800.0f, -16.0f, 4.0f, 4.0f)
    {}
};

class CBassCompressorMedium : public CBassCompressor
{
public:
    CBassCompressorMedium()
        : CBassCompressor(5.0f, 1.6f, 600.0f, -20.0f, 6.0f, 3.0f)
    {}
};

class CBassCompressorHigh : public CBassCompressor
{
public:
    CBassCompressorHigh()
        : CBassCompressor(10.0f, 1.2f, 400.0f, -20.0f, 10.0f, 2.0f)
    {}
};

// The application's own setting: everything 0 except the gain the caller sets. The engine takes
// a ratio of 0 as no compression, so this is a plain gain.
class CCompressor : public CBassCompressor
{
public:
    CCompressor() = default;
    void SetGain(float dB) { gain = dB; }
};

} // namespace BASS
