#pragma once

// HTTP live streams made at test time from an audio file: the segments and their playlists,
// ready to be served by a test server.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace TunoraTest {

struct HlsStream
{
    QList<QPair<QByteArray, QByteArray>> segments; // path (relative to the playlist), content
    QList<double> durations;                       // seconds, one per segment

    // The media playlist of the whole stream, ended (EXT-X-ENDLIST).
    QByteArray playlist() const;
};

class Hls
{
public:
    // Cuts an ADTS AAC file into segments of about `seconds` at frame boundaries, each led by an
    // ID3 tag with a timestamp, as packed-audio streams carry them. Paths: `prefix`N.aac.
    static bool packedAudio(const QString &adtsFile, double seconds, const QByteArray &prefix, HlsStream &out,
                            QString *error = nullptr);
    // MPEG-TS segments made by ffmpeg's HLS muxer from an audio file. Paths: `prefix`N.ts.
    static bool transportStream(const QString &file, double seconds, const QByteArray &prefix, HlsStream &out,
                                QString *error = nullptr);
};

} // namespace TunoraTest
