// Title templates walked over titles: the input is the template, a zero byte, then the text.

#include "fuzzmeta.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzMeta::quietLog();
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype zero = input.indexOf('\0');
    const QString tmpl = QString::fromUtf8(zero < 0 ? input : input.left(zero));
    const QString text = zero < 0 ? QString() : QString::fromUtf8(input.mid(zero + 1));
    QString artist, song;
    BASS::MatchTitleTemplate(tmpl, text, &artist, &song);
    // Captures are pieces of the (bounded) text.
    const QString bounded = text.left(BASS::MaxMetaBlockBytes);
    FuzzMeta::require(bounded.contains(artist), "artist is not part of the text");
    FuzzMeta::require(bounded.contains(song), "song is not part of the text");
    return 0;
}
