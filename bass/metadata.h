#pragma once

// Stream title metadata: reading the title out of the tag blocks that the audio engine hands
// out (ICY metadata, Windows Media script commands, Ogg comments), and turning a title into one
// artist and one song for the channel's current song.
//
// Everything here is free of engine calls and of process-wide state other than the title filter
// list (which is guarded), so it may run on the engine's sync thread.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace BASS {

class Song;

// Upper bound, in bytes, of one tag block or tag line taken from the engine, and, in characters,
// of every text processed from it. An ICY metadata block is at most 4080 bytes long.
inline constexpr qsizetype MaxMetaBlockBytes = 4096;
// Upper bound of the number of lines taken from one tag list.
inline constexpr qsizetype MaxTagListItems = 256;

// The raw title block last read from a stream's tags.
struct MetaTitle
{
    QString title;       // the title text found by a tag parser (for ICY: the StreamTitle value)
    QString rawBlock;    // the whole metadata text as received, decoded
    QString streamUrl;   // the StreamUrl value of an ICY block, or a URL found in a WMA block
    qint32 duration = 0; // seconds, from a WMA "duration=" item; 0 when none

    void clear() { *this = MetaTitle(); }
};

// One zero-terminated tag string as the engine hands it out (BASS_TAG_META, BASS_TAG_WMA_META),
// cut to MaxMetaBlockBytes without splitting a UTF-8 sequence. Null gives an empty array.
QByteArray TagString(const char *tag);
// A tag list (a series of zero-terminated strings ended by an empty string: BASS_TAG_OGG,
// BASS_TAG_HTTP, BASS_TAG_ICY, BASS_TAG_WMA): at most MaxTagListItems lines, each cut like
// TagString. Null gives an empty list.
QList<QByteArray> TagList(const char *tags);
// Cuts bytes to at most max bytes, backing off so that a UTF-8 sequence is not split.
QByteArrayView BoundedBytes(QByteArrayView bytes, qsizetype max = MaxMetaBlockBytes);

// Tag parsers. Each one decodes its block (UTF-8 when valid, else the given code page, else
// Windows-1252; see DecodeTagText), starts `title` afresh with the decoded text as rawBlock,
// fills the fields it finds and returns whether it recognised the block.

// An ICY metadata block: StreamTitle='…';StreamUrl='…'; (keys in any case).
bool ParseIcyMeta(QByteArrayView block, const char *codePage, MetaTitle &title);
// A Windows Media script command or header attribute carrying a title.
bool ParseWmaMeta(QByteArrayView block, const char *codePage, MetaTitle &title);
// Ogg comments "KEY=value": TITLE and ARTIST give "artist - title". rawBlock is the comments
// joined by line feeds.
bool ParseOggTitle(const QList<QByteArray> &comments, const char *codePage, MetaTitle &title);
// A block of unknown kind: ICY, then WMA, then a single Ogg comment; the first that recognises
// it decides.
bool ParseMetaBlock(QByteArrayView block, const char *codePage, MetaTitle &title);

// Walks a title template over a text and captures the artist and the song. Template elements:
// literal characters; a blank (skip to the template's next character in the text); <Artist>
// and <Song> (capture up to the template character that follows the tag); <s>literal (skip past
// the literal if the text contains it); <sc> (skip one character); any other <name> (skip past
// the name in the text). Captures the walk does not reach stay empty.
void MatchTitleTemplate(const QString &titleTemplate, const QString &text, QString *artist, QString *song);

// Splits a stream title without a template: "artist~song~…", "Now On: … Next: …", and the dash
// rules ("Artist - Song", "Show - Artist - Song", "A-ha - Take On Me").
void SplitTitle(const QString &title, QString *artist, QString *song);

// Cleans one captured artist or song: percent-escapes decoded (then stray '&' and '\' removed)
// when the text contains '%'; HTML entities and numeric character references decoded; '+' made
// a blank; trimmed.
QString CleanTitleText(const QString &text);

// Judges one title block and, when it carries a new artist and song, stores them in `current`
// (cleared first; the block's duration and stream URL are copied) and returns true. Rejected
// blocks (filtered, empty, no artist, artist equal to song, a repeat of `current`) return false
// and leave `current` unchanged. stationTemplate is the station's metadata template; when empty
// a template is chosen from the block itself where one fits.
bool ProcessMetaData(const MetaTitle &in, const QString &stationTemplate, Song &current);

} // namespace BASS
