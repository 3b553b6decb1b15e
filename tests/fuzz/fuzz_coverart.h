// Checks shared by the cover reply fuzz targets: what every reader promises about its results,
// whatever it was given. A broken promise stops the run with a trap, so that the fuzzer keeps
// the input.

#pragma once

#include "coverart.h"

namespace FuzzCover {

inline void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

inline bool hasControl(const QString &text, bool linesAllowed)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (linesAllowed && u == u'\n')
            continue;
        if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            return true;
    }
    return false;
}

// "" or an http/https address without blanks or control characters.
inline void requireAddress(const QString &address)
{
    if (address.isEmpty())
        return;
    require(address.startsWith(QLatin1String("http://")) || address.startsWith(QLatin1String("https://")));
    for (const QChar c : address)
        require(!c.isSpace() && c.unicode() >= 0x21 && c.unicode() != 0x7f);
}

// A one-line field: no control characters, bounded.
inline void requireField(const QString &text)
{
    require(!hasControl(text, false));
    require(text.size() <= 1024);
}

// Plain text of several lines: bounded, no control characters but line feeds.
inline void requireText(const QString &text)
{
    require(text.size() <= BASS::CoverReplies::MaxTextChars);
    require(!hasControl(text, true));
}

inline void requireCandidates(const QList<BASS::AlbumInfo> &found)
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

} // namespace FuzzCover
