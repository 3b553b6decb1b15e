// Fuzz target: untrusted documents through the playlist readers and the address checks.

#include "playlist.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> out;
    using Reader = std::size_t (*)(std::string_view, std::vector<std::string> &);
    for (Reader read :
         {Reader(tunora::audio::ReadASX), Reader(tunora::audio::ReadPLS), Reader(tunora::audio::ReadM3U),
          Reader(tunora::audio::ReadMediaSrc), Reader(tunora::audio::ReadPlaylist)}) {
        const std::size_t count = read(text, out);
        if (count != out.size() || count > tunora::audio::MaxPlaylistEntries)
            __builtin_trap();
        for (const std::string &entry : out) {
            tunora::audio::isAcceptableStreamAddress(entry);
            tunora::audio::IsPlaylistAddress(entry);
        }
    }
    tunora::audio::looksLikePlaylist(text);
    tunora::audio::isLiveStreamPlaylist(text);
    return 0;
}
