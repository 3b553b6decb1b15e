#pragma once

// Files a listener keeps and shares: favourite stations as M3U or XSPF playlists with the station
// names, the wish list as CSV (RFC 4180). Readers take hostile input: sizes and counts are capped,
// only stream addresses the engine may open are kept.

#include "records.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace ExportFiles {

constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;
constexpr int MaxEntries = 10000;

// One favourite station in a playlist file.
struct StationEntry
{
    QString name;
    QString url;
    bool operator==(const StationEntry &o) const { return name == o.name && url == o.url; }
};

enum class Format
{
    M3U,
    XSPF
};

// The station's name and its first stream address; stations without one are left out.
QList<StationEntry> entriesOf(const QList<BASS::Station> &stations);
QByteArray writeStations(const QList<StationEntry> &entries, Format format);
// Reads M3U (with or without #EXTINF names), XSPF or PLS, by content. `skipped` counts entries
// left out (no usable address, over the limit). False with an error for an unreadable file.
bool readStations(const QByteArray &data, QList<StationEntry> &entries, int *skipped, QString *error);

// The result of matching imported entries to directory stations by stream address.
struct MatchReport
{
    QStringList stationIds;        // to add to the account's favourites, without repeats
    QList<StationEntry> unmatched; // no directory station streams from this address
};
// `candidates` are the directory's stations (for example the results of searching each entry's
// name); an entry matches a station with a stream of the same address (scheme and host compared
// without case, a trailing "/" ignored).
MatchReport matchStations(const QList<StationEntry> &entries, const QList<BASS::Station> &candidates);

// One song of the wish list.
struct WishRow
{
    QString artistAndTitle; // the track's name as the lists show it, "Artist - Title"
    QString station;
    QDateTime time; // when it was heard (UTC in the file)
    QString link;   // shop or information link
    bool operator==(const WishRow &o) const
    {
        return artistAndTitle == o.artistAndTitle && station == o.station && time == o.time && link == o.link;
    }
};

// Header line then one line per song, CRLF line ends, fields quoted when they need it. A field a
// spreadsheet would run as a formula (starting with = + - @ or a tab) gets a leading "'".
QByteArray writeWishList(const QList<WishRow> &rows);
// Reads what writeWishList wrote (and other programs' CSV with the same header), quoted fields
// with commas, quotes and line breaks included. Rows without a track name are skipped.
bool readWishList(const QByteArray &data, QList<WishRow> &rows, int *skipped, QString *error);

// Writes through QSaveFile: the old file stays whole when anything fails.
bool saveFile(const QString &path, const QByteArray &data, QString *error);
// Reads at most MaxFileBytes; false (with error) for a larger or unreadable file.
bool loadFile(const QString &path, QByteArray &data, QString *error);

} // namespace ExportFiles
