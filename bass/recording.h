#pragma once

// Recording the playing station to files: the encoder settings (CEncoderParams), the writer of
// one recording (CRecording: the stream's own bytes, or the engine's encoder fed with the
// channel's decoded audio) and the rules for the files' names. CBass keeps one CRecording next to
// its CRecord and drives it (StartRecording, OpenRecording, StopRecording, the title changes).

#include "audioengine.h"
#include "record.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QString>

#include <atomic>
#include <deque>
#include <utility>

namespace BASS {

// A notification beside those of BassEvent: a recording failed to start or to go on. Its param is
// the failure code (as RecordingErrorText takes it); raised before the failure's text is shown, so
// that a window can put that text where the listener looks (its status line).
constexpr uint EventRecordingError = 0x806D;

// How a recording encodes: the format and, for the encoded formats, the bit rate and the encoder.
struct CEncoderParams
{
    qint32 format = RecordStreamData; // RecordFormat
    quint32 bitrateKbps = 0;          // 0: the format's usual rate
    QString encoder;                  // FFmpeg encoder name; empty: the format's usual one

    // "libmp3lame", "wmav2", "aac", "libvorbis"; empty for the stream's own data.
    static QString DefaultEncoder(qint32 format);
    QString Encoder(qint32 format) const;
    // kbit/s handed to the encoder; 0 leaves it to the encoder (Ogg Vorbis: quality 5). An MP3
    // rate outside 32..320 becomes 128.
    quint32 Bitrate(qint32 format) const;
};

// Follows an Ogg stream page by page as its bytes arrive: where pages begin, and the header pages
// of the logical stream that plays (a recording of the stream's own bytes must begin with them).
// Streams that do not begin with an Ogg page are left alone.
class OggPages
{
public:
    // Header pages kept at most; a stream whose headers are larger is not treated as Ogg.
    static constexpr qsizetype MaxHeaderBytes = 256 * 1024;

    void Reset() { *this = OggPages(); }
    // Follows the next bytes of the stream. Answers the offset of the first page that begins
    // within them, -1 when none does.
    qint64 Feed(const uchar *data, qint64 length);
    bool IsOgg() const { return m_state == State::Ogg; }
    // The header pages of the current logical stream, once they are complete.
    QByteArray Headers() const { return m_headersDone ? m_headers : QByteArray(); }

private:
    enum class State
    {
        Unknown,
        Ogg,
        Other
    };
    void pageDone();

    State m_state = State::Unknown;
    QByteArray m_pageHead;  // the fixed header and segment table of the page being read
    qint64 m_bodyLeft = -1; // bytes of the page body still to come; -1 while reading its header
    QByteArray m_page;      // the page being read, while headers are being collected
    bool m_collecting = false;
    bool m_headersDone = false;
    QByteArray m_headers;
};

class CRecording
{
public:
    // A name cut to fit one file-system name: at most this many UTF-8 bytes, leaving room for a
    // "(n)" suffix and an extension within the 255 bytes of a name.
    static constexpr int MaxBaseNameBytes = 255 - 16 - 8;
    // A title change this soon after a file was begun renames that file instead of splitting.
    static constexpr int MinFileSeconds = 5;

    CRecording() = default;
    ~CRecording();
    CRecording(const CRecording &) = delete;
    CRecording &operator=(const CRecording &) = delete;

    // The extension of a format; for the stream's own data that of the channel's type (`ctype`).
    // Unknown values give "mp3".
    static QString Extension(qint32 format, DWORD ctype);
    // The format whose encoding the channel's type already is (RecordStreamData when none).
    static qint32 OwnFormat(DWORD ctype);
    // `name` made safe as one file name: "/", "\\" and control characters become "_", leading
    // dots and blanks go, and it is cut (at a character) to MaxBaseNameBytes of UTF-8.
    static QString SafeFileName(const QString &name);
    // base + "." + extension, or the first of base + "(1)", "(2)", ... + "." + extension that does
    // not exist yet; empty when none is free.
    static QString UniquePath(const QString &base, const QString &extension);

    // Starts writing the stream's own bytes to a new file. False with a recording failure code.
    // With `adts` (an ADTS AAC stream) the file begins at a frame header, confirmed by the next.
    bool OpenRaw(const QString &file, int *code, bool adts = false);
    // Follows every downloaded block, recorded or not (call before WriteRaw).
    void Observe(const void *buffer, qint64 length);
    // A new stream begins.
    void BeginStream();
    // Writes downloaded bytes; false when not all of them reached the file. An Ogg stream's file
    // begins with the stream's header pages and then at a page boundary.
    bool WriteRaw(const void *buffer, qint64 length);
    // Starts the engine's encoder on the channel. False with a recording failure code.
    bool OpenEncoder(HSTREAM channel, const QString &encoder, quint32 kbps, const QString &file,
                     ENCODENOTIFYPROC *notify, void *user, int *code);
    // Continues in a new file without losing anything: what came before ends the current file.
    bool SwitchFile(const QString &file, int *code);
    // Gives the file being written another name (it goes on being written).
    bool Rename(const QString &file);

    // Where titles begin in the stream's own bytes. The download runs seconds ahead of what is
    // heard, so a title change, which comes when the title is heard, is late for the bytes: the
    // next song's first seconds would end the previous file. Watching the channel notes, as the
    // decoder reaches each title, the offset of the title among the observed bytes.
    void WatchTitles(HSTREAM channel);
    void UnwatchTitles();
    // The offset at which the title whose ICY block reads `meta` began; -1 when it is not known.
    // That title and every older one are forgotten.
    qint64 TakeTitleOffset(const QByteArray &meta);
    // Like SwitchFile, but what the current file holds from stream offset `at` on moves to the
    // new file (when it can: a known offset within the file's last MaxCarryBytes, not Ogg).
    bool SwitchFileAt(const QString &file, qint64 at, int *code);
    // Ends the current file at stream offset `at` (same conditions); false when it stays as is.
    bool TruncateAt(qint64 at);
    // Bytes of the stream observed since it began.
    qint64 ObservedBytes() const { return m_observed.load(std::memory_order_relaxed); }
    static constexpr qint64 MaxCarryBytes = 4 * 1024 * 1024;
    // Finishes and closes the file (the encoder encodes what it holds first).
    void Close();
    // Hands the encoder over to the caller (to be stopped with BASS_Encode_Stop) and forgets it.
    HENCODE TakeEncoder();

    bool IsOpen() const { return m_raw.isOpen() || m_encoder != 0; }
    HENCODE Encoder() const { return m_encoder; }
    QString FileName() const { return m_fileName; }
    // Milliseconds since the current file was begun.
    qint64 FileAgeMs() const { return m_since.isValid() ? m_since.elapsed() : 0; }

private:
    // The bytes of the current file from stream offset `at` on, taken off its end.
    bool cutAt(qint64 at, QByteArray *carry);
    static void CALLBACK titleDecodedProc(HSYNC handle, DWORD channel, DWORD data, void *user);

    QFile m_raw;
    OggPages m_ogg;
    std::atomic<qint64> m_observed{0}; // bytes observed since the stream began
    qint64 m_contiguous = 0;           // the file's last bytes that are the stream's last ones
    QMutex m_titlesLock;
    std::deque<std::pair<QByteArray, qint64>> m_titles; // m_titlesLock: ICY block, offset
    HSTREAM m_titleChannel = 0;
    HSYNC m_titleSync = 0;
    qint64 m_pageStart = -1;    // where the first page of the last observed block begins
    bool m_waitForPage = false; // an Ogg file that has not reached a page boundary yet
    bool m_adts = false;        // the stream is ADTS AAC
    QByteArray m_frameSearch;   // an ADTS file's first bytes, until a frame begins in them
    HENCODE m_encoder = 0;
    QString m_fileName;
    QElapsedTimer m_since;
};

} // namespace BASS
