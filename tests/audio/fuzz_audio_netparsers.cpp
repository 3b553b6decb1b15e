// Fuzz target: what a server sends, through the parsers of the network reader: reply headers,
// addresses and references, ICY metadata interleaving (cut into pieces of varying size), HLS
// playlists, the playlist readers and the address checks. The first two bytes steer the ICY
// part; the rest is the text every parser reads.

#include "hlssource.h"
#include "http.h"
#include "icy.h"
#include "playlist.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace tunora::audio;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::string text(reinterpret_cast<const char *>(data) + 2, size - 2);

    HttpResponse response;
    if (parseResponseHeader(text, response)) {
        response.header("Location");
        response.header("icy-metaint");
    }

    Url base, resolved;
    if (Url::parse("http://host:8000/dir/list.m3u8?x=1", base)) {
        base.resolve(text, resolved);
        resolved.toString();
    }
    Url direct;
    if (Url::parse(text, direct))
        direct.hostPort();
    parseIcyMetaint(text);

    // ICY: the first byte picks the interval, the second the size of the pieces.
    IcyDeinterleaver icy;
    icy.reset(std::uint32_t(data[0]) + 1, 0);
    std::vector<std::uint8_t> wire(data + 2, data + size);
    std::vector<IcyBlock> blocks;
    const std::size_t piece = std::size_t(data[1]) + 1;
    std::size_t audio = 0;
    for (std::size_t at = 0; at < wire.size(); at += piece) {
        const std::size_t n = std::min(piece, wire.size() - at);
        audio += icy.feed(wire.data() + at, n, blocks);
    }
    for (const IcyBlock &block : blocks)
        if (block.bytes.empty() || block.bytes.size() > 255 * 16 || block.offset > std::int64_t(audio))
            __builtin_trap();
    if (icy.audioOffset() != std::int64_t(audio))
        __builtin_trap();

    HlsPlaylist playlist;
    if (parseHlsPlaylist(text, playlist)) {
        if (playlist.segments.size() > MaxHlsSegments || playlist.variants.size() > MaxHlsVariants)
            __builtin_trap();
        chooseHlsRendition(playlist);
    }

    std::vector<std::string> entries;
    using Reader = std::size_t (*)(std::string_view, std::vector<std::string> &);
    for (Reader read : {ReadASX, ReadPLS, ReadM3U, ReadMediaSrc, ReadPlaylist}) {
        const std::size_t count = read(text, entries);
        if (count != entries.size() || count > MaxPlaylistEntries)
            __builtin_trap();
        for (const std::string &entry : entries) {
            isAcceptableStreamAddress(entry);
            IsPlaylistAddress(entry);
        }
    }
    looksLikePlaylist(text);
    isLiveStreamPlaylist(text);
    return 0;
}
