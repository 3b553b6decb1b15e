#pragma once

#include <QString>
#include <QStringList>

// Text folding shared by the search index, the search queries and the catalogue, so that both
// database engines see the same tokens: case-folded, accents removed, everything that is not a
// letter or digit turned into a blank.
namespace TextNorm {

// "Rádio UFSCar 95.3" -> "radio ufscar 95 3"
QString fold(const QString &text);
// The words of fold(text).
QStringList tokens(const QString &text);
// Case-folded, accent-free text for ordering names.
QString sortKey(const QString &text);
// Upper-case ASCII letters and digits joined by "-": "São Paulo" -> "SAO-PAULO".
QString slug(const QString &text);
// True when the text holds a character below U+0020 (other than tab) or U+007F.
bool hasControlCharacters(const QString &text);

} // namespace TextNorm
