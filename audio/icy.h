#pragma once

// ICY metadata interleaving. A server that answers a request carrying "Icy-MetaData: 1" with an
// "icy-metaint: N" header sends N bytes of audio, then one length byte L, then L * 16 bytes of
// metadata ("StreamTitle='...';StreamUrl='...';" padded with zero bytes), then N bytes of audio
// again, and so on. The de-interleaver takes the received bytes in whatever pieces the network
// delivers and separates them: the audio goes on to the decoder and the recorder, and every
// non-empty metadata block is reported raw, exactly as sent (only the zero padding is dropped),
// with the audio offset at which it arrived.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tunora::audio {

struct IcyBlock
{
    std::int64_t offset = 0; // audio bytes (over the whole stream) before the block
    std::string bytes;       // the block without its zero padding; never empty
};

// The metadata interval announced by an "icy-metaint" header value: decimal digits only (white
// space around them allowed), 1 .. MaxIcyMetaint. 0 for anything else (no interleaving).
constexpr std::uint32_t MaxIcyMetaint = 4 * 1024 * 1024;
std::uint32_t parseIcyMetaint(std::string_view value);

class IcyDeinterleaver
{
public:
    // Starts over (a new connection) with interval `metaint` (0: the data is all audio). Audio
    // offsets continue from `audioOffset`.
    void reset(std::uint32_t metaint, std::int64_t audioOffset);

    // Separates `size` received bytes in place: the audio bytes are moved to the front of
    // `data` and their count is returned; complete non-empty metadata blocks are appended to
    // `blocks`. A block may span any number of calls.
    std::size_t feed(std::uint8_t *data, std::size_t size, std::vector<IcyBlock> &blocks);

    std::int64_t audioOffset() const { return m_audioOffset; }

private:
    enum class State
    {
        Audio,
        Length,
        Block
    };
    std::uint32_t m_metaint = 0;
    std::uint32_t m_untilBlock = 0;
    State m_state = State::Audio;
    std::size_t m_blockLength = 0;
    std::string m_block; // at most 255 * 16 bytes
    std::int64_t m_audioOffset = 0;
};

} // namespace tunora::audio
