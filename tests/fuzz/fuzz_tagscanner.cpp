// The tag scanner on arbitrary text: the first bytes pick the tag names and the order of the
// scanner's operations; the rest is the text.

#include "tagscanner.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    static const char16_t *const tags[] = {u"station", u"name", u"genres", u"genre", u"a", u"STATION", u"id"};
    const std::uint8_t ops = data[0];
    const std::uint8_t tagA = data[1] % 7;
    const std::uint8_t tagB = data[2] % 7;
    const std::uint8_t rounds = data[3];
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + 4), qsizetype(size - 4));

    BASS::TagScanner scanner(text);
    qsizetype total = 0;
    for (int i = 0; i < 64 + rounds; ++i) {
        switch (((ops >> (i % 8)) & 3) ^ (i & 1)) {
        case 0: {
            const QString found = scanner.find(tags[tagA]);
            total += found.size();
            // Scanning a found element's content again, as the readers do.
            BASS::TagScanner inner(scanner.findRaw(tags[tagB]));
            total += inner.find(tags[tagA]).size();
            break;
        }
        case 1:
            total += scanner.nextTag().size();
            break;
        case 2:
            total += scanner.textUntilTag().size();
            break;
        default:
            scanner.setPosition(scanner.position() / 2 + i);
            break;
        }
        if (scanner.position() < 0 || scanner.position() > text.size())
            __builtin_trap();
    }
    total += BASS::TagScanner::decodeEntities(text).size() + BASS::TagScanner::decodeXmlEntities(text).size();
    return total < 0;
}
