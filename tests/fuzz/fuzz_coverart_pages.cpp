// The HTML pages of the lookups (image search results, lyrics, artist pages) and the text
// extraction under them: plain text, bounded, and only web addresses come out.

#include "fuzz_coverart.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString page = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    const QList<BASS::AlbumInfo> images = BASS::CoverReplies::readGoogleImages(page, QStringLiteral("A - B"));
    FuzzCover::require(images.size() <= 4);
    FuzzCover::requireCandidates(images);

    FuzzCover::requireText(BASS::CoverReplies::readLyrics(page));
    FuzzCover::requireText(BASS::CoverReplies::htmlToPlainText(page));

    const BASS::CoverReplies::ArtistPage artist = BASS::CoverReplies::readArtistPage(page);
    FuzzCover::requireText(artist.text);
    FuzzCover::require(artist.redirect.size() <= 2048);
    return 0;
}
