// Stream header lists as the engine lays them out (zero-terminated lines, an empty line last).

#include "fuzzmeta.h"

#include "streaminfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzMeta::quietLog();
    const FuzzMeta::Input in(data, size);
    // Terminated the way the engine guarantees, so the list walkers may rely on it.
    const QByteArray memory = in.rest.toByteArray() + QByteArray(2, '\0');

    const QByteArray single = BASS::TagString(memory.constData());
    FuzzMeta::require(single.size() <= BASS::MaxMetaBlockBytes && memory.startsWith(single), "tag string");

    const QByteArrayList lines = BASS::TagList(memory.constData());
    FuzzMeta::require(lines.size() <= BASS::MaxTagListItems, "too many lines");
    for (const QByteArray &line : lines)
        FuzzMeta::require(!line.isEmpty() && line.size() <= BASS::MaxMetaBlockBytes && !line.contains('\0'),
                          "line over the bound");

    BASS::StreamInfo info;
    const bool http = BASS::ParseHttpHeaders(lines, in.codePage, info);
    const bool wma = BASS::ParseWmaHeader(lines, in.codePage, info);
    const bool ogg = BASS::ParseOggInfo(lines, in.codePage, info);
    FuzzMeta::require(http == !lines.isEmpty() && wma == http && ogg == http, "found without lines");
    FuzzMeta::require(info.tagsText.count(QLatin1Char('\n')) >= lines.size(), "tagsText lost lines");
    return 0;
}
