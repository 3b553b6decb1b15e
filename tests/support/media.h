#pragma once

// Test audio made with ffmpeg at test time. Files are cached per set of parameters in a folder
// that lives until the test program ends. The signal is given as ffmpeg aevalsrc expressions,
// one per channel (t is the time in seconds), so tests know exactly what the decoder must give.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace TunoraTest {

class Media
{
public:
    enum Format
    {
        Mp3,
        Mp2,
        Aac,
        HeAac,
        Vorbis,
        Opus,
        Flac,
        OggFlac,
        Wma,
        Wav,
        M4a
    };

    struct Recipe
    {
        Format format = Wav;
        double seconds = 1.0;
        int rate = 44100;
        QString left = QStringLiteral("0.5*sin(2*PI*440*t)");
        QString right;     // empty: a mono file
        QStringList extra; // more ffmpeg output arguments (e.g. -metadata)
    };

    // Path of a file with that content, made on first use; empty (with `error`) on failure.
    static QString make(const Recipe &recipe, QString *error = nullptr);
    // A stereo tone: `leftHz` left and `rightHz` right, amplitude `amplitude`, in `format`.
    static QString tone(Format format, double seconds = 1.0, int leftHz = 440, int rightHz = 660,
                        double amplitude = 0.5, QString *error = nullptr);
    // The rate a format is made at by default (Opus only knows 48 kHz).
    static int defaultRate(Format format);

    // Turns an ADTS AAC-LC stream into HE-AAC with implicit signalling: each frame gets an SBR
    // extension element after its channel element, so a decoder runs SBR and doubles the rate.
    // The extension carries no SBR header, so the upper band stays empty: the point is a stream
    // that decoders treat as HE-AAC, whose container announces half the rate it plays at.
    static QByteArray addSbrSignalling(const QByteArray &adts, QString *error = nullptr);
};

} // namespace TunoraTest
