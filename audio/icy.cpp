#include "icy.h"

#include <algorithm>
#include <cstring>

namespace tunora::audio {

std::uint32_t parseIcyMetaint(std::string_view value)
{
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
        value.remove_suffix(1);
    if (value.empty() || value.size() > 10)
        return 0;
    std::uint64_t n = 0;
    for (const char c : value) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + std::uint64_t(c - '0');
    }
    return n <= MaxIcyMetaint ? std::uint32_t(n) : 0;
}

void IcyDeinterleaver::reset(std::uint32_t metaint, std::int64_t audioOffset)
{
    m_metaint = metaint;
    m_untilBlock = metaint;
    m_state = State::Audio;
    m_blockLength = 0;
    m_block.clear();
    m_audioOffset = audioOffset;
}

std::size_t IcyDeinterleaver::feed(std::uint8_t *data, std::size_t size, std::vector<IcyBlock> &blocks)
{
    if (m_metaint == 0) {
        m_audioOffset += std::int64_t(size);
        return size;
    }
    std::size_t in = 0, out = 0;
    while (in < size) {
        switch (m_state) {
        case State::Audio: {
            const std::size_t n = std::min<std::size_t>(size - in, m_untilBlock);
            if (out != in)
                std::memmove(data + out, data + in, n);
            in += n;
            out += n;
            m_audioOffset += std::int64_t(n);
            m_untilBlock -= std::uint32_t(n);
            if (m_untilBlock == 0)
                m_state = State::Length;
            break;
        }
        case State::Length:
            m_blockLength = std::size_t(data[in++]) * 16;
            m_block.clear();
            if (m_blockLength == 0) {
                m_state = State::Audio;
                m_untilBlock = m_metaint;
            } else {
                m_state = State::Block;
            }
            break;
        case State::Block: {
            const std::size_t n = std::min(size - in, m_blockLength - m_block.size());
            m_block.append(reinterpret_cast<const char *>(data + in), n);
            in += n;
            if (m_block.size() == m_blockLength) {
                // Servers pad the block with zero bytes; what follows the first zero is padding.
                const std::size_t end = m_block.find('\0');
                if (end != std::string::npos)
                    m_block.resize(end);
                if (!m_block.empty())
                    blocks.push_back({m_audioOffset, std::move(m_block)});
                m_block.clear();
                m_state = State::Audio;
                m_untilBlock = m_metaint;
            }
            break;
        }
        }
    }
    return out;
}

} // namespace tunora::audio
