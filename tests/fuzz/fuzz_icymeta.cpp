// ICY metadata blocks as a station's server sends them: parse, then check what came out.

#include "fuzzmeta.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzMeta::quietLog();
    const FuzzMeta::Input in(data, size);
    BASS::MetaTitle title;
    const bool recognised = BASS::ParseIcyMeta(in.rest, in.codePage, title);
    FuzzMeta::require(title.rawBlock.size() <= BASS::MaxMetaBlockBytes, "raw block over the bound");
    FuzzMeta::require(title.title.size() <= title.rawBlock.size(), "title longer than its block");
    FuzzMeta::require(title.streamUrl.size() <= title.rawBlock.size(), "url longer than its block");
    FuzzMeta::require(!recognised || title.rawBlock.contains(u"StreamTitle=", Qt::CaseInsensitive),
                      "recognised without a StreamTitle");
    FuzzMeta::require(recognised || title.title.isEmpty(), "title from an unrecognised block");
    FuzzMeta::require(title.duration == 0, "duration from an ICY block");
    return 0;
}
