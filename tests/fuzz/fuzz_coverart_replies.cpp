// The cover search replies (the shop search's XML, the web service's XML, the song search's
// JSON): the same bytes go to all three readers, whose candidates must keep their promises.

#include "fuzz_coverart.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    FuzzCover::requireCandidates(BASS::CoverReplies::readAmazonService(bytes));
    FuzzCover::requireCandidates(BASS::CoverReplies::readLastFMImages(bytes));
    FuzzCover::requireCandidates(BASS::CoverReplies::readCustomImages(bytes, QStringLiteral("A - B")));
    return 0;
}
