#pragma once

// The recording state of one channel, as far as the channel wrapper needs it: whether a file is
// being written or a recording waits for the next title, and what it writes. The writers (the
// stream's own bytes, the encoders) fill it in; the wrapper only asks it and clears it.

#include "audioengine.h"

#include <QString>

namespace BASS {

// What a recording writes; the file extension of each is the recording's business.
enum RecordFormat : qint32
{
    RecordStreamData = 0, // the downloaded bytes unchanged
    RecordMp3 = 1,
    RecordWma = 2,
    RecordAac = 3,
    RecordOgg = 4,
};

struct CRecord
{
    bool active = false; // a file is being written
    bool armed = false;  // a recording waits for the next title to begin
    bool split = false;  // a new file at every title change
    qint32 format = RecordStreamData;
    quint32 mp3Bitrate = 0; // kbit/s; 0 = the encoder's default
    DWORD encoder = 0;      // the engine's encoder handle; 0 when none runs
    QString fileName;       // the file being written
    qint64 bytesWritten = 0;
    qint32 recordedSeconds = 0; // seconds written to the current file
    qint32 waitedSeconds = 0;   // seconds an armed recording has waited

    void Clear() { *this = CRecord(); }
    bool IsActive() const { return active; }
    bool IsArmed() const { return armed && !active; }
    bool WritesStreamData() const { return active && format == RecordStreamData; }
};

} // namespace BASS
