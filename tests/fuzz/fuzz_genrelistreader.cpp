// Genre-list replies: the tag walk that builds the genre tree.

#include "directoryreader.h"

#include <cstddef>
#include <cstdint>

namespace {

int depthOf(const BASS::Genre &g)
{
    int depth = 0;
    if (g.subgenres())
        for (const BASS::Genre *sub : *g.subgenres()) {
            if (sub->parent() != &g)
                __builtin_trap();
            depth = qMax(depth, depthOf(*sub) + 1);
        }
    return depth;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    DirectoryReader reader;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    reader.readGenreList(text, [](const BASS::Genre &genre) {
        if (genre.parent() || depthOf(genre) >= DirectoryReader::MaxGenreDepth)
            __builtin_trap();
        const BASS::Genre copy(genre);
        if (copy.name() != genre.name())
            __builtin_trap();
    });
    return 0;
}
