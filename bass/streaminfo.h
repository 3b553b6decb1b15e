#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace BASS {

// What the headers of the current stream announce about the station. Every field is text.
struct StreamInfo
{
    QString name;      // icy-name / ice-name; WMA title; Ogg TITLE
    QString genre;     // icy-genre / ice-genre; WMA WM/Genre
    QString url;       // icy-url / ice-url
    QString bitrate;   // icy-br / ice-br; bitrate= of icy-audio-info; WMA Bitrate in kbit/s
    QString title;     // WMA title; Ogg TITLE (an ICY StreamTitle goes to the title, not here)
    QString duration;  // WMA WMA_Duration
    QString copyright; // WMA copyright
    QString author;    // WMA author
    QString seekable, stridable, broadcast, isProtected, isTrusted; // WMA flags as sent
    QString tagsText;   // every header line of the last list read, each ended by a line feed
    QString headerText; // the raw HTTP/ICY header block of the download callback

    void Reset() { *this = StreamInfo(); }
};

// Header-list parsers. Each takes the lines of one engine tag list (see TagList), decodes each
// line (UTF-8 when valid, else the given code page, else Windows-1252), replaces tagsText with
// the lines read, stores the values of the keys it knows (keys compared ignoring case, values
// trimmed) and returns true when the list is there (not empty).

// BASS_TAG_ICY / BASS_TAG_HTTP: "Key: value" lines.
bool ParseHttpHeaders(const QList<QByteArray> &lines, const char *codePage, StreamInfo &info);
// BASS_TAG_WMA: "Key=value" attributes.
bool ParseWmaHeader(const QList<QByteArray> &lines, const char *codePage, StreamInfo &info);
// BASS_TAG_OGG: "KEY=value" comments.
bool ParseOggInfo(const QList<QByteArray> &lines, const char *codePage, StreamInfo &info);

} // namespace BASS
