// The replies read element by element (status, languages, software version): the bytes arrive in
// two pieces, split where the first byte says, go through the guarded walk and reach all three
// readers; the status is also scanned from the text as it is while a reply streams in.

#include "baseradioapi.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t split = 1 + (data[0] * (size - 1)) / 255;
    BASS::BaseRadioXmlParser parser;
    BASS::StatusReply status;
    QList<BASS::Language> languages;
    BASS::SoftwareVersion version;
    auto visit = [&](const BASS::BaseRadioXmlParser &p) {
        BASS::StreamReaders::readStatus(p, status);
        BASS::StreamReaders::readLanguage(p, languages);
        BASS::StreamReaders::readVersion(p, version);
        if (p.depth() > BASS::BaseRadioXmlParser::MaxDepth)
            __builtin_trap();
    };
    const char *bytes = reinterpret_cast<const char *>(data);
    if (parser.addData(QByteArrayView(bytes + 1, qsizetype(split - 1)))) {
        BASS::scanStatus(parser.text(), status);
        if (parser.walk(visit) != BASS::BaseRadioXmlParser::Failed &&
            parser.addData(QByteArrayView(bytes + split, qsizetype(size - split)))) {
            parser.endOfData();
            parser.walk(visit);
        }
    }
    BASS::scanStatus(parser.text(), status);
    return int(languages.size() + version.name.size()) < 0;
}
