#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Reading the stream title of an ICY/Icecast/Shoutcast stream: the response head, the
// interleaved metadata blocks ("StreamTitle='Artist - Title';" padded to a multiple of 16
// bytes, after every icy-metaint bytes of audio) and playlists that point to the stream.
namespace Icy {

struct ResponseHead
{
    int status = 0;
    qint64 metaint = 0;
    QByteArray contentType;
    QByteArray location;
};

// Parses "HTTP/1.x 200 ..." or "ICY 200 OK" and its header lines (without the blank line).
bool parseHead(const QByteArray &head, ResponseHead *out);

// Picks the metadata blocks out of the bytes that follow the head.
class MetadataReader
{
public:
    explicit MetadataReader(qint64 metaint)
        : m_metaint(metaint)
        , m_audioLeft(metaint)
    {}
    // Feeds body bytes; returns true once a non-empty metadata block is complete, or once
    // `maxEmptyBlocks` empty blocks went by (the station then announces no title).
    bool feed(const char *data, qsizetype size);
    bool done() const { return m_done; }
    QByteArray block() const { return m_block; }
    int emptyBlocks() const { return m_empty; }
    static constexpr int MaxEmptyBlocks = 2;

private:
    qint64 m_metaint;
    qint64 m_audioLeft;
    int m_blockLeft = -1; // -1: expecting the length byte
    QByteArray m_block;
    int m_empty = 0;
    bool m_done = false;
};

// The StreamTitle value of a metadata block, decoded as UTF-8 when valid, else as Windows-1252;
// a null string when the block has no StreamTitle.
QString streamTitle(const QByteArray &block);
// "Artist - Title" -> ("Artist", "Title"); without the separator the whole text is the song.
void splitTitle(const QString &title, QString *artist, QString *song);
// The first stream address in a PLS or M3U playlist, resolved against the playlist's address.
QUrl playlistEntry(const QByteArray &text, const QUrl &base);
bool looksLikePlaylist(const QByteArray &contentType, const QByteArray &start);

} // namespace Icy
