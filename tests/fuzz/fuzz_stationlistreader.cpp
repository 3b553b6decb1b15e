// Station-list and "playing now" replies, read by one reader that keeps its network maps across
// inputs, as a client does across replies.

#include "directoryreader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static DirectoryReader reader;
    static BASS::Station working;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    qsizetype seen = 0;
    auto announce = [&] {
        seen += working.name().size() + working.streams().size() + working.nowPlaying().title().size();
        if (working.favorite() && working.id().isNull() && !working.streams().isEmpty())
            seen += working.currentStream().url.size();
    };
    const StationPaging paging = reader.readStationList(text, working, announce);
    if (paging.limit > 0 &&
        (paging.pageCount < paging.total / paging.limit || paging.remainder >= paging.limit))
        __builtin_trap();
    reader.readPlayingNow(text, working, announce);
    return seen < 0;
}
