#pragma once

// Text and address helpers shared by the cover lookup (coverart.cpp) and the readers of the
// services' replies (coverreplies.cpp). Internal to the library.

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcCover)

namespace BASS::CoverText {

// An address from a reply, when it is a usable http or https address; fully encoded.
QString safeUrl(const QString &text);
// Percent-encoded (every reserved character).
QString encode(const QString &text);
// Percent-encoded with blanks written as '+', as query values of search forms are.
QString encodePlus(const QString &text);
// A reply body as text, at most the readers' size cap.
QString bodyText(const QByteArray &body);

} // namespace BASS::CoverText
