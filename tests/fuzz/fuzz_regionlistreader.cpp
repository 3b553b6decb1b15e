// Region-list replies: regions, countries and their subsections.

#include "directoryreader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    DirectoryReader reader;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    qsizetype seen = 0;
    reader.readRegionList(text, [&](const BASS::WorldRegion &region) {
        // Copies are what receivers keep; they must be deep and complete.
        const BASS::WorldRegion copy(region);
        for (const BASS::Country *c : copy.countries()) {
            seen += c->name().size();
            for (const BASS::Country *sub : c->subsections())
                if (!sub->isSubsection())
                    __builtin_trap();
        }
    });
    return seen < 0;
}
