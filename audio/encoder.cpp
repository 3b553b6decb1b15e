#include "encoder.h"

#include "engine.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace tunora::audio {

namespace {

// The container each usual encoder is written in; other encoders go by the file's extension.
const char *containerFor(const std::string &encoder)
{
    if (encoder == "libmp3lame" || encoder == "libshine")
        return "mp3";
    if (encoder == "aac" || encoder == "libfdk_aac")
        return "adts";
    if (encoder == "libvorbis" || encoder == "vorbis")
        return "ogg";
    if (encoder == "wmav1" || encoder == "wmav2")
        return "asf";
    return nullptr;
}

// kbit/s used when the caller leaves the rate open; 0 = the encoder's own choice.
DWORD defaultBitrate(const std::string &encoder)
{
    if (encoder == "libmp3lame" || encoder == "wmav2" || encoder == "wmav1")
        return 128;
    if (encoder == "aac")
        return 64;
    return 0;
}

bool isVorbis(const std::string &encoder)
{
    return encoder == "libvorbis" || encoder == "vorbis";
}

AVSampleFormat pickSampleFormat(const AVCodec *codec)
{
    if (!codec->sample_fmts)
        return AV_SAMPLE_FMT_FLTP;
    for (const AVSampleFormat *f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
        if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT)
            return *f;
    return codec->sample_fmts[0];
}

int pickRate(const AVCodec *codec, int wanted)
{
    if (!codec->supported_samplerates)
        return wanted;
    int best = 0;
    for (const int *r = codec->supported_samplerates; *r; ++r) {
        if (*r == wanted)
            return wanted;
        if (best == 0 || std::abs(*r - wanted) < std::abs(best - wanted))
            best = *r;
    }
    return best ? best : wanted;
}

std::mutex g_registryLock;
std::map<HENCODE, std::shared_ptr<Encoder>> g_encoders;

std::shared_ptr<Encoder> findEncoder(HENCODE handle)
{
    std::lock_guard<std::mutex> guard(g_registryLock);
    const auto it = g_encoders.find(handle);
    return it == g_encoders.end() ? nullptr : it->second;
}

} // namespace

// ---- EncodedFile -----------------------------------------------------------------------------------

EncodedFile::~EncodedFile()
{
    if (!m_closed)
        abandon();
    if (m_converted) {
        av_freep(&m_converted[0]);
        av_freep(&m_converted);
    }
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    if (m_fifo)
        av_audio_fifo_free(m_fifo);
    swr_free(&m_resampler);
    avcodec_free_context(&m_codec);
    if (m_format) {
        if (m_format->pb)
            avio_closep(&m_format->pb);
        avformat_free_context(m_format);
    }
}

std::unique_ptr<EncodedFile> EncodedFile::open(const std::string &encoder, DWORD bitrateKbps, int inputRate,
                                               int inputChannels, const std::string &path, int &error)
{
    error = BASS_ERROR_CODEC;
    if (inputRate <= 0 || inputChannels <= 0 || path.empty()) {
        error = BASS_ERROR_ILLPARAM;
        return nullptr;
    }
    const AVCodec *codec = avcodec_find_encoder_by_name(encoder.c_str());
    if (!codec || codec->type != AVMEDIA_TYPE_AUDIO)
        return nullptr;

    std::unique_ptr<EncodedFile> file(new EncodedFile);
    file->m_path = path;
    file->m_inputChannels = inputChannels;
    if (avformat_alloc_output_context2(&file->m_format, nullptr, containerFor(encoder), path.c_str()) < 0 ||
        !file->m_format) {
        error = BASS_ERROR_ILLPARAM;
        return nullptr;
    }
    file->m_codec = avcodec_alloc_context3(codec);
    if (!file->m_codec) {
        error = BASS_ERROR_MEM;
        return nullptr;
    }
    AVCodecContext *c = file->m_codec;
    const int outChannels = std::min(inputChannels, 2);
    c->sample_fmt = pickSampleFormat(codec);
    c->sample_rate = pickRate(codec, inputRate);
    av_channel_layout_default(&c->ch_layout, outChannels);
    c->time_base = AVRational{1, c->sample_rate};
    const DWORD kbps = bitrateKbps ? bitrateKbps : defaultBitrate(encoder);
    if (kbps) {
        c->bit_rate = std::int64_t(kbps) * 1000;
    } else if (isVorbis(encoder)) {
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = 5 * FF_QP2LAMBDA;
    }
    if (file->m_format->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(c, codec, nullptr) < 0)
        return nullptr; // the encoder refuses this rate, layout or bit rate
    file->m_variableFrames = (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) || c->frame_size <= 0;
    file->m_frameSize = c->frame_size > 0 ? c->frame_size : 1024;

    file->m_stream = avformat_new_stream(file->m_format, nullptr);
    if (!file->m_stream || avcodec_parameters_from_context(file->m_stream->codecpar, c) < 0) {
        error = BASS_ERROR_MEM;
        return nullptr;
    }
    file->m_stream->time_base = c->time_base;

    AVChannelLayout inLayout;
    av_channel_layout_default(&inLayout, inputChannels);
    const int made = swr_alloc_set_opts2(&file->m_resampler, &c->ch_layout, c->sample_fmt, c->sample_rate,
                                         &inLayout, AV_SAMPLE_FMT_FLT, inputRate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    file->m_fifo = av_audio_fifo_alloc(c->sample_fmt, outChannels, file->m_frameSize * 2);
    file->m_frame = av_frame_alloc();
    file->m_packet = av_packet_alloc();
    if (made < 0 || swr_init(file->m_resampler) < 0 || !file->m_fifo || !file->m_frame || !file->m_packet) {
        error = BASS_ERROR_MEM;
        return nullptr;
    }

    if (avio_open(&file->m_format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) {
        error = BASS_ERROR_CREATE;
        return nullptr;
    }
    if (avformat_write_header(file->m_format, nullptr) < 0 || file->m_format->pb->error < 0) {
        avio_closep(&file->m_format->pb);
        std::remove(path.c_str());
        error = BASS_ERROR_CREATE;
        return nullptr;
    }
    file->m_closed = false;
    error = BASS_OK;
    return file;
}

bool EncodedFile::fail(DWORD kind)
{
    if (!m_failure)
        m_failure = kind;
    return false;
}

bool EncodedFile::sendFrame(AVFrame *frame)
{
    if (avcodec_send_frame(m_codec, frame) < 0)
        return fail(BASS_ENCODE_NOTIFY_ENCODER);
    for (;;) {
        const int got = avcodec_receive_packet(m_codec, m_packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return true;
        if (got < 0)
            return fail(BASS_ENCODE_NOTIFY_ENCODER);
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        const int written = av_interleaved_write_frame(m_format, m_packet);
        av_packet_unref(m_packet);
        if (written < 0 || m_format->pb->error < 0)
            return fail(BASS_ENCODE_NOTIFY_WRITE);
        m_bytes.store(std::uint64_t(std::max<std::int64_t>(avio_tell(m_format->pb), 0)),
                      std::memory_order_relaxed);
    }
}

bool EncodedFile::encodeFrames(int frames)
{
    av_frame_unref(m_frame);
    m_frame->nb_samples = frames;
    m_frame->format = m_codec->sample_fmt;
    m_frame->sample_rate = m_codec->sample_rate;
    if (av_channel_layout_copy(&m_frame->ch_layout, &m_codec->ch_layout) < 0 ||
        av_frame_get_buffer(m_frame, 0) < 0)
        return fail(BASS_ENCODE_NOTIFY_ENCODER);
    const int read = av_audio_fifo_read(m_fifo, reinterpret_cast<void **>(m_frame->data), frames);
    if (read < frames) // the last, short frame of a fixed-size encoder: padded with silence
        av_samples_set_silence(m_frame->data, std::max(read, 0), frames - std::max(read, 0),
                               m_codec->ch_layout.nb_channels, m_codec->sample_fmt);
    m_frame->pts = m_pts;
    m_pts += frames;
    return sendFrame(m_frame);
}

bool EncodedFile::write(const float *samples, std::int64_t frames)
{
    if (m_failure || m_closed)
        return false;
    while (frames > 0) {
        const int chunk = int(std::min<std::int64_t>(frames, 1 << 16));
        const int capacity = swr_get_out_samples(m_resampler, chunk);
        if (capacity > m_convertedCapacity) {
            if (m_converted) {
                av_freep(&m_converted[0]);
                av_freep(&m_converted);
            }
            m_convertedCapacity = 0;
            if (av_samples_alloc_array_and_samples(&m_converted, nullptr, m_codec->ch_layout.nb_channels,
                                                   capacity, m_codec->sample_fmt, 0) < 0)
                return fail(BASS_ENCODE_NOTIFY_ENCODER);
            m_convertedCapacity = capacity;
        }
        const std::uint8_t *in = reinterpret_cast<const std::uint8_t *>(samples);
        const int converted = swr_convert(m_resampler, m_converted, m_convertedCapacity, &in, chunk);
        if (converted < 0 ||
            av_audio_fifo_write(m_fifo, reinterpret_cast<void **>(m_converted), converted) < 0)
            return fail(BASS_ENCODE_NOTIFY_ENCODER);
        while (av_audio_fifo_size(m_fifo) >= m_frameSize)
            if (!encodeFrames(m_frameSize))
                return false;
        samples += std::int64_t(chunk) * m_inputChannels;
        frames -= chunk;
    }
    return true;
}

bool EncodedFile::finish()
{
    if (m_closed)
        return !m_failure;
    bool ok = !m_failure;
    if (ok) {
        // What the resampler holds back, then the fifo, then the encoder's own delay.
        const int capacity = std::max(m_convertedCapacity, 0);
        if (capacity > 0) {
            const int tail = swr_convert(m_resampler, m_converted, capacity, nullptr, 0);
            if (tail > 0)
                av_audio_fifo_write(m_fifo, reinterpret_cast<void **>(m_converted), tail);
        }
        while (ok && av_audio_fifo_size(m_fifo) > 0) {
            const int left = av_audio_fifo_size(m_fifo);
            ok = encodeFrames(m_variableFrames ? std::min(left, m_frameSize) : m_frameSize);
        }
        ok = ok && sendFrame(nullptr);
    }
    if (av_write_trailer(m_format) < 0 || m_format->pb->error < 0)
        ok = fail(BASS_ENCODE_NOTIFY_WRITE);
    close();
    return ok;
}

void EncodedFile::abandon()
{
    if (m_closed)
        return;
    av_write_trailer(m_format); // may fail as well; the frames before it stay readable
    close();
}

void EncodedFile::close()
{
    if (m_format && m_format->pb) {
        avio_flush(m_format->pb);
        if (m_format->pb->error < 0 && !m_failure)
            m_failure = BASS_ENCODE_NOTIFY_WRITE;
        m_bytes.store(std::uint64_t(std::max<std::int64_t>(avio_tell(m_format->pb), 0)),
                      std::memory_order_relaxed);
        avio_closep(&m_format->pb);
    }
    m_closed = true;
}

std::uint64_t EncodedFile::bytesWritten() const
{
    return m_bytes.load(std::memory_order_relaxed);
}

// ---- Encoder ---------------------------------------------------------------------------------------

Encoder::Encoder(HENCODE handle, DWORD channel, const std::string &encoderName, DWORD bitrateKbps, int rate,
                 int channels, int sampleKind, ENCODENOTIFYPROC *notify, void *user,
                 std::unique_ptr<EncodedFile> file)
    : handle(handle)
    , channel(channel)
    , encoderName(encoderName)
    , bitrateKbps(bitrateKbps)
    , rate(rate)
    , channels(channels)
    , m_sampleKind(sampleKind)
    , m_notify(notify)
    , m_user(user)
    , m_maxFrames(std::size_t(rate) * QueueSeconds)
    , m_file(std::move(file))
{}

Encoder::~Encoder()
{
    if (m_thread.joinable()) {
        if (std::this_thread::get_id() == m_thread.get_id())
            m_thread.detach();
        else
            stop();
    }
}

void Encoder::start()
{
    std::shared_ptr<Encoder> self = shared_from_this();
    m_thread = std::thread([self] { self->run(); });
    m_threadId = m_thread.get_id();
}

void Encoder::feed(const void *buffer, DWORD length)
{
    if (!buffer || !m_running.load(std::memory_order_relaxed))
        return;
    const int bytesPerSample = m_sampleKind == Float ? 4 : m_sampleKind == Int16 ? 2 : 1;
    const std::size_t count = length / std::size_t(bytesPerSample);
    const std::size_t frames = count / std::size_t(channels);
    if (frames == 0)
        return;
    m_framesIn.fetch_add(frames, std::memory_order_relaxed);
    Item item;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_stopping)
            return;
        if (m_queuedFrames + frames > m_maxFrames) {
            m_dropped.fetch_add(frames, std::memory_order_relaxed);
            return;
        }
        m_queuedFrames += frames;
    }
    // Copied outside the lock: the encoder thread is never held up by the decode thread.
    item.samples.resize(frames * std::size_t(channels));
    if (m_sampleKind == Float) {
        std::memcpy(item.samples.data(), buffer, item.samples.size() * sizeof(float));
    } else if (m_sampleKind == Int16) {
        const auto *in = static_cast<const std::int16_t *>(buffer);
        for (std::size_t i = 0; i < item.samples.size(); ++i)
            item.samples[i] = float(in[i]) / 32768.0f;
    } else {
        const auto *in = static_cast<const std::uint8_t *>(buffer);
        for (std::size_t i = 0; i < item.samples.size(); ++i)
            item.samples[i] = (float(in[i]) - 128.0f) / 128.0f;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.push_back(std::move(item));
    }
    m_wake.notify_one();
}

void Encoder::queueFile(std::unique_ptr<EncodedFile> next)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        Item item;
        item.next = std::move(next);
        m_queue.push_back(std::move(item));
    }
    m_wake.notify_one();
}

void Encoder::stop()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (!m_thread.joinable())
        return;
    if (std::this_thread::get_id() == m_thread.get_id())
        m_thread.detach(); // called from the notification: the thread ends once it returns
    else
        m_thread.join();
}

QWORD Encoder::count(DWORD which)
{
    switch (which) {
    case BASS_ENCODE_COUNT_IN:
        return m_framesIn.load();
    case BASS_ENCODE_COUNT_DROPPED:
        return m_dropped.load();
    case BASS_ENCODE_COUNT_QUEUE: {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_queuedFrames;
    }
    case BASS_ENCODE_COUNT_OUT: {
        std::lock_guard<std::mutex> guard(m_fileLock);
        return m_file ? m_file->bytesWritten() : 0;
    }
    default:
        return QWORD(-1);
    }
}

void Encoder::report(DWORD status)
{
    m_running = false;
    if (m_notify)
        m_notify(handle, status, m_user);
}

void Encoder::run()
{
    bool failed = false;
    for (;;) {
        Item item;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_wake.wait(guard, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                break; // stopping, and everything taken was encoded
            item = std::move(m_queue.front());
            m_queue.pop_front();
            m_queuedFrames -= item.samples.size() / std::size_t(channels);
        }
        if (failed)
            continue; // drained and dropped: the file is closed
        std::shared_ptr<EncodedFile> file;
        {
            std::lock_guard<std::mutex> guard(m_fileLock);
            file = m_file;
        }
        if (item.next) {
            const bool finished = file->finish();
            {
                std::lock_guard<std::mutex> guard(m_fileLock);
                m_file = std::move(item.next);
            }
            if (!finished) {
                failed = true;
                std::lock_guard<std::mutex> guard(m_fileLock);
                m_file->abandon();
                report(BASS_ENCODE_NOTIFY_WRITE);
            }
            continue;
        }
        if (!file->write(item.samples.data(), std::int64_t(item.samples.size() / std::size_t(channels)))) {
            failed = true;
            const DWORD why = file->failure() ? file->failure() : BASS_ENCODE_NOTIFY_ENCODER;
            file->abandon();
            report(why);
        }
    }
    if (!failed) {
        std::shared_ptr<EncodedFile> file;
        {
            std::lock_guard<std::mutex> guard(m_fileLock);
            file = m_file;
        }
        m_running = false;
        if (file && !file->finish() && m_notify)
            m_notify(handle, file->failure() ? file->failure() : BASS_ENCODE_NOTIFY_WRITE, m_user);
    }
}

void CALLBACK Encoder::dspProc(HDSP, DWORD, void *buffer, DWORD length, void *user)
{
    static_cast<Encoder *>(user)->feed(buffer, length);
}

} // namespace tunora::audio

// ---- the interface ---------------------------------------------------------------------------------

using namespace tunora::audio;

BOOL BASS_Encode_CodecAvailable(const char *encoder)
{
    const AVCodec *codec = encoder ? avcodec_find_encoder_by_name(encoder) : nullptr;
    if (!codec || codec->type != AVMEDIA_TYPE_AUDIO)
        return fail(BASS_ERROR_CODEC);
    succeed();
    return TRUE;
}

HENCODE BASS_Encode_StartFile(DWORD channel, const char *encoder, DWORD bitrateKbps, const char *file,
                              ENCODENOTIFYPROC *notify, void *user)
{
    if (!encoder || !file || !*file)
        return fail(BASS_ERROR_ILLPARAM);
    BASS_CHANNELINFO info{};
    if (!BASS_ChannelGetInfo(channel, &info))
        return 0; // the channel's error stands
    if (!BASS_Encode_CodecAvailable(encoder))
        return 0;
    int error = BASS_OK;
    std::unique_ptr<EncodedFile> output =
        EncodedFile::open(encoder, bitrateKbps, int(info.freq), int(info.chans), file, error);
    if (!output)
        return fail(error);
    const int kind = (BASS_GetConfig(BASS_CONFIG_FLOATDSP) || (info.flags & BASS_SAMPLE_FLOAT))
                         ? Encoder::Float
                     : (info.flags & BASS_SAMPLE_8BITS) ? Encoder::UInt8
                                                        : Encoder::Int16;
    const HENCODE handle = Engine::instance().newHandle();
    auto encoderObject = std::make_shared<Encoder>(handle, channel, encoder, bitrateKbps, int(info.freq),
                                                   int(info.chans), kind, notify, user, std::move(output));
    encoderObject->start();
    // The lowest priority: the encoder hears the channel after every other DSP and effect.
    encoderObject->dsp = BASS_ChannelSetDSP(channel, &Encoder::dspProc, encoderObject.get(), INT_MIN);
    if (!encoderObject->dsp) {
        const int why = BASS_ErrorGetCode();
        encoderObject->stop();
        std::remove(file);
        return fail(why ? why : BASS_ERROR_HANDLE);
    }
    {
        std::lock_guard<std::mutex> guard(g_registryLock);
        g_encoders[handle] = encoderObject;
    }
    succeed();
    return handle;
}

BOOL BASS_Encode_SetFile(HENCODE handle, const char *file)
{
    const std::shared_ptr<Encoder> encoder = findEncoder(handle);
    if (!encoder)
        return fail(BASS_ERROR_HANDLE);
    if (!file || !*file)
        return fail(BASS_ERROR_ILLPARAM);
    if (!encoder->running())
        return fail(BASS_ERROR_NOTAVAIL);
    // The next file is made with the settings of the first.
    int error = BASS_OK;
    std::unique_ptr<EncodedFile> next = EncodedFile::open(encoder->encoderName, encoder->bitrateKbps,
                                                          encoder->rate, encoder->channels, file, error);
    if (!next)
        return fail(error);
    encoder->queueFile(std::move(next));
    succeed();
    return TRUE;
}

DWORD BASS_Encode_IsActive(HENCODE handle)
{
    const std::shared_ptr<Encoder> encoder = findEncoder(handle);
    if (!encoder) {
        fail(BASS_ERROR_HANDLE);
        return BASS_ENCODE_ACTIVE_STOPPED;
    }
    succeed();
    return encoder->running() ? BASS_ENCODE_ACTIVE_RUNNING : BASS_ENCODE_ACTIVE_STOPPED;
}

QWORD BASS_Encode_GetCount(HENCODE handle, DWORD count)
{
    const std::shared_ptr<Encoder> encoder = findEncoder(handle);
    if (!encoder)
        return fail(BASS_ERROR_HANDLE) ? 0 : QWORD(-1);
    const QWORD value = encoder->count(count);
    if (value == QWORD(-1))
        return fail(BASS_ERROR_ILLPARAM) ? 0 : QWORD(-1);
    succeed();
    return value;
}

BOOL BASS_Encode_Stop(HENCODE handle)
{
    std::shared_ptr<Encoder> encoder;
    {
        std::lock_guard<std::mutex> guard(g_registryLock);
        const auto it = g_encoders.find(handle);
        if (it == g_encoders.end())
            return fail(BASS_ERROR_HANDLE);
        encoder = std::move(it->second);
        g_encoders.erase(it);
    }
    // No more audio once this returns (a DSP call under way is waited for); a channel freed
    // meanwhile has taken its DSP callbacks with it.
    BASS_ChannelRemoveDSP(encoder->channel, encoder->dsp);
    encoder->stop();
    succeed();
    return TRUE;
}
