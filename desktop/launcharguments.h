#pragma once

// What the program does with the playlist files and stream addresses it is started with (the
// desktop hands them over from a downloaded .pls/.m3u or a link): each becomes a station record
// whose streams go through the normal resolution path when played.

#include "records.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace LaunchArguments {

// Playlist files larger than this are refused (a playlist is a few hundred bytes).
constexpr qint64 MaxPlaylistBytes = 1024 * 1024;

struct Refusal
{
    QString argument;
    QString reason; // translated, for the status line
};

// Whether the text is an address the engine may open: http, https, mms, mmsh, mmst or rtsp with a
// host and no control characters.
bool isStreamAddress(const QString &text);

// One argument as a station: a stream address becomes a station with that one stream named after
// its host; a playlist file (path or file: URL) a station with the addresses the file lists,
// named after its first title or else the file. False with a reason for anything else.
bool toStation(const QString &argument, BASS::Station &station, QString *reason);

// Every argument in order; the refused ones are listed in `refused` when given.
QList<BASS::Station> stations(const QStringList &arguments, QList<Refusal> *refused = nullptr);

// Relative file paths made absolute against `workingFolder`, so that another process (with another
// working folder) finds the same files. Addresses and absolute paths stay as they are.
QStringList absolute(const QStringList &arguments, const QString &workingFolder);

} // namespace LaunchArguments
