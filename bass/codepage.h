#pragma once

#include <QByteArrayView>
#include <QString>

#include <span>

namespace BASS {

// One row of the code-page table: a country name as it appears in a station's location text
// and the 8-bit code page its stations use for metadata that is not UTF-8. A null code page
// means "recognised, but no code page of its own".
struct CodePageEntry
{
    const char *country;
    const char *codePage;
};

// The table in search order; the first country name contained in the location wins.
std::span<const CodePageEntry> CodePageTable();

// Code page for a station's location text (case-sensitive search of the table), or nullptr when
// the location names none. The returned text is static.
const char *CodePageForLocation(const QString &location);

// Decodes the text of one tag: valid UTF-8 as UTF-8; anything else as 8-bit text in the given
// code page, or in Windows-1252 when the code page is null, empty or unknown. Uses a decoder of
// its own, so it is safe on any thread and never touches process-wide codec state.
QString DecodeTagText(QByteArrayView bytes, const char *codePage);

} // namespace BASS
