// Ogg comments: the input is split at zero bytes into comment lines.

#include "fuzzmeta.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzMeta::quietLog();
    const FuzzMeta::Input in(data, size);
    const QByteArrayList comments = in.rest.toByteArray().split('\0');
    BASS::MetaTitle title;
    const bool recognised = BASS::ParseOggTitle(comments, in.codePage, title);
    FuzzMeta::require(title.rawBlock.size() <= BASS::MaxMetaBlockBytes, "raw block over the bound");
    FuzzMeta::require(recognised || title.title.isEmpty(), "title from unrelated comments");
    if (recognised) {
        bool keyed = false;
        for (const QByteArray &c : comments)
            keyed = keyed || c.contains('=');
        FuzzMeta::require(keyed, "recognised without a KEY=value comment");
    }
    return 0;
}
