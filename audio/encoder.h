#pragma once

// The encoders behind BASS_Encode_*: a channel's processed audio, encoded in process with
// libavcodec and written with libavformat.
//
// Threads. The channel's decode thread hands each processed block to Encoder::feed (a DSP
// callback of the lowest priority, so it hears what the listener hears), which copies it into a
// bounded queue and returns at once; the encoder's own thread converts, encodes and writes. The
// caller's thread makes files (start and BASS_Encode_SetFile) so that a failure to create one is
// known when the call returns; the encoder thread only takes over a file once it is complete.

#include "audioengine.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct AVAudioFifo;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;

namespace tunora::audio {

// One output file with its encoder. Made complete (codec open, header written) by open(); then
// used by one thread at a time.
class EncodedFile
{
public:
    ~EncodedFile();
    EncodedFile(const EncodedFile &) = delete;
    EncodedFile &operator=(const EncodedFile &) = delete;

    // Null with `error` set to a BASS_ERROR_* code when the encoder is missing or refuses the
    // format (BASS_ERROR_CODEC) or the file cannot be made (BASS_ERROR_CREATE). A file that was
    // made but could not be started is removed again.
    static std::unique_ptr<EncodedFile> open(const std::string &encoder, DWORD bitrateKbps, int inputRate,
                                             int inputChannels, const std::string &path, int &error);

    // Encodes interleaved float frames of the input layout. False once encoding or writing failed
    // (failure() says which); the file is then finished as far as it goes.
    bool write(const float *samples, std::int64_t frames);
    // Encodes what the encoder holds back, writes the container's end and closes the file.
    // False when a write failed on the way (the file is closed all the same).
    bool finish();
    // Closes the file after a failure: what was written stays, a trailer is attempted.
    void abandon();

    // BASS_ENCODE_NOTIFY_WRITE or BASS_ENCODE_NOTIFY_ENCODER after a failure, else 0.
    DWORD failure() const { return m_failure; }
    std::uint64_t bytesWritten() const;
    const std::string &path() const { return m_path; }

private:
    EncodedFile() = default;
    bool encodeFrames(int frames);
    bool sendFrame(AVFrame *frame);
    bool fail(DWORD kind);
    void close();

    std::string m_path;
    AVFormatContext *m_format = nullptr;
    AVCodecContext *m_codec = nullptr;
    AVStream *m_stream = nullptr;
    SwrContext *m_resampler = nullptr;
    AVAudioFifo *m_fifo = nullptr;
    AVFrame *m_frame = nullptr;
    AVPacket *m_packet = nullptr;
    std::uint8_t **m_converted = nullptr;
    int m_convertedCapacity = 0;
    int m_inputChannels = 0;
    int m_frameSize = 0;
    bool m_variableFrames = false;
    std::int64_t m_pts = 0;
    std::atomic<std::uint64_t> m_bytes{0}; // written so far, readable from any thread
    bool m_closed = true;                  // until the container's header is written: nothing to end before
    DWORD m_failure = 0;
};

class Encoder : public std::enable_shared_from_this<Encoder>
{
public:
    // Seconds of audio the queue holds before new audio is dropped.
    static constexpr int QueueSeconds = 10;

    Encoder(HENCODE handle, DWORD channel, const std::string &encoderName, DWORD bitrateKbps, int rate,
            int channels, int sampleKind, ENCODENOTIFYPROC *notify, void *user,
            std::unique_ptr<EncodedFile> file);
    ~Encoder();

    // Sample layout of what the DSP callback delivers.
    enum SampleKind
    {
        Float = 0,
        Int16 = 1,
        UInt8 = 2
    };

    const HENCODE handle;
    const DWORD channel;
    const std::string encoderName;
    const DWORD bitrateKbps;
    const int rate;
    const int channels;
    HDSP dsp = 0;

    // Starts the encoder thread.
    void start();
    // The decode thread's block: queued, or dropped when the queue is full.
    void feed(const void *buffer, DWORD length);
    // Queues the switch to `next` behind the audio taken so far.
    void queueFile(std::unique_ptr<EncodedFile> next);
    // Ends the thread once the queue is encoded; joins it unless called on it.
    void stop();
    bool running() const { return m_running.load(); }
    QWORD count(DWORD which);

    static void CALLBACK dspProc(HDSP handle, DWORD channel, void *buffer, DWORD length, void *user);

private:
    struct Item
    {
        std::vector<float> samples;
        std::unique_ptr<EncodedFile> next;
    };
    void run();
    void report(DWORD status);

    const int m_sampleKind;
    ENCODENOTIFYPROC *const m_notify;
    void *const m_user;
    const std::size_t m_maxFrames;

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Item> m_queue; // m_lock
    std::size_t m_queuedFrames = 0;
    bool m_stopping = false;
    std::shared_ptr<EncodedFile> m_file; // the encoder thread's; shared for the byte count
    std::mutex m_fileLock;               // m_file as a pointer

    std::atomic<bool> m_running{true};
    std::atomic<std::uint64_t> m_framesIn{0};
    std::atomic<std::uint64_t> m_dropped{0};
    std::thread m_thread;
    std::atomic<std::thread::id> m_threadId{};
};

} // namespace tunora::audio
