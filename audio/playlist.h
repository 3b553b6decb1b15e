#pragma once

// Readers for the playlist documents that stations publish instead of (or in front of) their
// streams: PLS, M3U (also player configurations that carry a "file" entry), ASX and pages with
// a "media src=" attribute. Plain C++ on UTF-8 or 8-bit text, so that the engine (which follows
// playlists that a URL creator receives) and the channel controller share one implementation.
//
// Each reader clears `out`, appends the addresses it finds in document order and returns how
// many it appended. Matching of key words ignores ASCII case. The readers never fail: text they
// do not recognise gives no address. Addresses come out as they stand in the document (trimmed
// where the format says so); whether an address may be opened is the caller's decision (see
// isAcceptableStreamAddress).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tunora::audio {

// Documents larger than this are not read at all; readers stop after this many addresses.
constexpr std::size_t MaxPlaylistBytes = 1024 * 1024;
constexpr std::size_t MaxPlaylistEntries = 1000;

// "<entry" blocks: the "ref href" value of each (entries marked clientskip="yes" are left out
// unless they carry an "mms://" address), or the rest of the line from an "mms://" address.
std::size_t ReadASX(std::string_view text, std::vector<std::string> &out);
// "[playlist]": the values of File1, File2, ... in that order, at most 10.
std::size_t ReadPLS(std::string_view text, std::vector<std::string> &out);
// The line after each "#EXTINF:" marker (or else after each "#EXTM3U"); else the values of a
// player configuration's "file" entries; else every line that ends with a line break.
std::size_t ReadM3U(std::string_view text, std::vector<std::string> &out);
// The first "media src=" value.
std::size_t ReadMediaSrc(std::string_view text, std::vector<std::string> &out);

// The readers in the order a station address is resolved: ASX, then PLS, then M3U; the first
// that finds an address wins.
std::size_t ReadPlaylist(std::string_view text, std::vector<std::string> &out);

// True when `url` names a playlist document: ".pls", ".m3u", ".asx" or ".php" occurs (ignoring
// case) anywhere after its first character.
bool IsPlaylistAddress(std::string_view url);

// True when an address taken from a remote document may be opened by the engine: an http,
// https, mms, mmsh, mmst or rtsp address with a host, at most 4096 bytes, without control
// characters. Paths, "file:" and every other scheme are refused.
bool isAcceptableStreamAddress(std::string_view url);

// True when the start of `data` (after a byte-order mark and white space) looks like a playlist
// document rather than audio: "[playlist]", "#EXTM3U", "#EXTINF" or "<asx".
bool looksLikePlaylist(std::string_view data);

// True when an M3U document is an HTTP live stream (a media or a master playlist) rather than
// a list of stations.
bool isLiveStreamPlaylist(std::string_view text);

} // namespace tunora::audio
