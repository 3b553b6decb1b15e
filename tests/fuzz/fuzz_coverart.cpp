// Cover art, lyrics and artist information: the same bytes go to the search replies' readers
// (the shop search's XML, the web service's XML, the song search's JSON) and to the HTML pages of
// the lookups (image search results, lyrics, artist pages) and the text extraction under them.
// What every reader promises about its results is checked whatever it was given; a broken
// promise stops the run with a trap, so that the fuzzer keeps the input.

#include "coverart.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool hasControl(const QString &text, bool linesAllowed)
{
    return std::any_of(text.begin(), text.end(), [linesAllowed](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && !(linesAllowed && u == u'\n')) || (u >= 0x7f && u < 0xa0);
    });
}

// "" or an http/https address without blanks or control characters.
void requireAddress(const QString &address)
{
    if (address.isEmpty())
        return;
    require(address.startsWith(QLatin1String("http://")) || address.startsWith(QLatin1String("https://")));
    for (const QChar c : address)
        require(!c.isSpace() && c.unicode() >= 0x21 && c.unicode() != 0x7f);
}

// A one-line field: no control characters, bounded.
void requireField(const QString &text)
{
    require(!hasControl(text, false));
    require(text.size() <= 1024);
}

// Plain text of several lines: bounded, no control characters but line feeds.
void requireText(const QString &text)
{
    require(text.size() <= BASS::CoverReplies::MaxTextChars);
    require(!hasControl(text, true));
}

void requireCandidates(const QList<BASS::AlbumInfo> &found)
{
    require(found.size() <= BASS::CoverReplies::MaxCandidates);
    for (const BASS::AlbumInfo &a : found) {
        require(!a.imageUrl().isEmpty()); // a candidate always has an image to try
        for (const QString *u :
             {&a.smallImageUrl, &a.mediumImageUrl, &a.largeImageUrl, &a.detailPageUrl, &a.previewUrl})
            requireAddress(*u);
        for (const QString *f : {&a.artist, &a.title, &a.releaseDate, &a.formattedPrice, &a.genre})
            requireField(*f);
        requireText(a.text);
        for (const auto &disc : a.tracks)
            for (const QString &track : disc)
                requireField(track);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The readers log what they find; millions of inputs would drown the output.
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("tunora.coverart.debug=false"));
        return true;
    }();
    (void)quiet;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    requireCandidates(BASS::CoverReplies::readAmazonService(bytes));
    requireCandidates(BASS::CoverReplies::readLastFMImages(bytes));
    requireCandidates(BASS::CoverReplies::readCustomImages(bytes, QStringLiteral("A - B")));

    const QString page = QString::fromUtf8(bytes);
    const QList<BASS::AlbumInfo> images = BASS::CoverReplies::readGoogleImages(page, QStringLiteral("A - B"));
    require(images.size() <= 4);
    requireCandidates(images);
    requireText(BASS::CoverReplies::readLyrics(page));
    requireText(BASS::CoverReplies::htmlToPlainText(page));
    const BASS::CoverReplies::ArtistPage artist = BASS::CoverReplies::readArtistPage(page);
    requireText(artist.text);
    require(artist.redirect.size() <= 2048);
    return 0;
}
