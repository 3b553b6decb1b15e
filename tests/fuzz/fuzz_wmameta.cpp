// Windows Media script commands and attributes carrying a title.

#include "fuzzmeta.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzMeta::quietLog();
    const FuzzMeta::Input in(data, size);
    BASS::MetaTitle title;
    const bool recognised = BASS::ParseWmaMeta(in.rest, in.codePage, title);
    FuzzMeta::require(title.rawBlock.size() <= BASS::MaxMetaBlockBytes, "raw block over the bound");
    // A title is made of at most two pieces of the block (percent-decoding only shrinks them)
    // joined by " - ".
    FuzzMeta::require(title.title.size() <= 2 * title.rawBlock.size() + 3, "title longer than two blocks");
    FuzzMeta::require(title.duration >= 0, "negative duration");
    FuzzMeta::require(recognised || (title.title.isEmpty() && title.streamUrl.isEmpty()),
                      "fields from an unrecognised block");
    return 0;
}
