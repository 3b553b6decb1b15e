#include "decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>

namespace tunora::audio {

namespace {
constexpr int IoBufferSize = 16384;
constexpr int MaxErrorsInRow = 200; // undecodable packets in a row before the data counts as ended
constexpr int MaxPrimePackets = 2000;

std::int64_t readSkipEnd(const AVPacket *packet)
{
    std::size_t size = 0;
    const std::uint8_t *side = av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (!side || size < 8)
        return 0;
    return std::int64_t(side[0] | (side[1] << 8) | (side[2] << 16) | (std::uint32_t(side[3]) << 24)) +
           std::int64_t(side[4] | (side[5] << 8) | (side[6] << 16) | (std::uint32_t(side[7]) << 24));
}
} // namespace

int Decoder::readPacket(void *opaque, std::uint8_t *buffer, int size)
{
    auto *self = static_cast<Decoder *>(opaque);
    if (self->m_interrupted.load(std::memory_order_relaxed))
        return AVERROR_EXIT;
    const int got = self->m_source->read(buffer, size);
    return got == 0 ? AVERROR_EOF : got;
}

std::int64_t Decoder::seekPacket(void *opaque, std::int64_t offset, int whence)
{
    auto *self = static_cast<Decoder *>(opaque);
    if (whence & AVSEEK_SIZE)
        return self->m_source->size() >= 0 ? self->m_source->size() : AVERROR(ENOSYS);
    return self->m_source->seek(offset, whence & ~AVSEEK_FORCE);
}

int Decoder::interruptCallback(void *opaque)
{
    // FFmpeg asks this while it waits in its own I/O: a shutdown, or the creator's abort flag
    // while the channel is being opened.
    const auto *self = static_cast<Decoder *>(opaque);
    const OpenContext *opening = self->m_opening.load(std::memory_order_acquire);
    return self->m_interrupted.load(std::memory_order_relaxed) || (opening && opening->aborted()) ? 1 : 0;
}

std::unique_ptr<Decoder> Decoder::open(std::unique_ptr<ByteSource> source, const Sniffed &format, bool mono,
                                       bool prescan, const OpenContext &context, int &error)
{
    std::unique_ptr<Decoder> decoder(new Decoder);
    decoder->m_source = std::move(source);
    decoder->m_source->watchOpen(&context);
    decoder->m_opening.store(&context, std::memory_order_release);
    const int result = decoder->openStream(format, mono, prescan);
    decoder->m_opening.store(nullptr, std::memory_order_release);
    decoder->m_source->watchOpen(nullptr);
    if (result != 0) {
        error = context.aborted() ? BASS_ERROR_ABORTED : result;
        return nullptr;
    }
    return decoder;
}

Decoder::~Decoder()
{
    swr_free(&m_swr);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_codec);
    avformat_close_input(&m_format);
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
}

void Decoder::interrupt()
{
    m_interrupted.store(true, std::memory_order_relaxed);
    m_source->interrupt();
}

bool Decoder::seekable() const
{
    return m_source->seekable();
}

int Decoder::openStream(const Sniffed &format, bool mono, bool prescan)
{
    const AVInputFormat *demuxer = av_find_input_format(format.demuxer);
    auto *buffer = static_cast<std::uint8_t *>(av_malloc(IoBufferSize));
    if (!demuxer || !buffer) {
        av_free(buffer);
        return BASS_ERROR_MEM;
    }
    m_io = avio_alloc_context(buffer, IoBufferSize, 0, this, &Decoder::readPacket, nullptr,
                              m_source->seekable() ? &Decoder::seekPacket : nullptr);
    if (!m_io) {
        av_free(buffer);
        return BASS_ERROR_MEM;
    }
    m_io->seekable = m_source->seekable() ? AVIO_SEEKABLE_NORMAL : 0;
    m_format = avformat_alloc_context();
    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    if (!m_format || !m_packet || !m_frame)
        return BASS_ERROR_MEM;
    m_format->pb = m_io;
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    m_format->interrupt_callback = {&Decoder::interruptCallback, this};
    if (avformat_open_input(&m_format, nullptr, demuxer, nullptr) < 0)
        return BASS_ERROR_FILEFORM; // the context is freed by FFmpeg on failure

    // The first audio stream. (av_find_best_stream would skip the streams of raw formats, whose
    // rate and channels are only known once a frame was decoded.)
    for (unsigned i = 0; i < m_format->nb_streams && m_stream < 0; ++i)
        if (m_format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            m_stream = int(i);
    if (m_stream < 0)
        return BASS_ERROR_FILEFORM;
    const AVCodec *codec = avcodec_find_decoder(m_format->streams[m_stream]->codecpar->codec_id);
    if (!codec)
        return BASS_ERROR_CODEC;
    for (unsigned i = 0; i < m_format->nb_streams; ++i)
        if (int(i) != m_stream)
            m_format->streams[i]->discard = AVDISCARD_ALL;
    AVStream *stream = m_format->streams[m_stream];
    m_codec = avcodec_alloc_context3(codec);
    if (!m_codec)
        return BASS_ERROR_MEM;
    if (avcodec_parameters_to_context(m_codec, stream->codecpar) < 0)
        return BASS_ERROR_CODEC;
    m_codec->pkt_timebase = stream->time_base;
    m_codec->thread_count = 1; // one decode thread per channel is ours; FFmpeg needs none
    if (avcodec_open2(m_codec, codec, nullptr) < 0)
        return BASS_ERROR_CODEC;

    m_ctype = format.ctype;
    const AVCodecID id = stream->codecpar->codec_id;
    if (m_ctype == 0) { // a transport stream: the codec inside says what it is
        m_ctype = id == AV_CODEC_ID_AAC   ? BASS_CTYPE_STREAM_AAC
                  : id == AV_CODEC_ID_MP3 ? BASS_CTYPE_STREAM_MP3
                  : id == AV_CODEC_ID_MP2 ? BASS_CTYPE_STREAM_MP2
                  : id == AV_CODEC_ID_MP1 ? BASS_CTYPE_STREAM_MP1
                                          : BASS_CTYPE_STREAM;
    }
    if (m_ctype == BASS_CTYPE_STREAM_WMA && (id == AV_CODEC_ID_MP3 || id == AV_CODEC_ID_MP2))
        m_ctype = BASS_CTYPE_STREAM_WMA_MP3;
    if (m_ctype == BASS_CTYPE_STREAM_WAV_PCM && id == AV_CODEC_ID_MP3)
        m_ctype = BASS_CTYPE_STREAM_MP3;
    const AVCodecDescriptor *descriptor = avcodec_descriptor_get(id);
    if (descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS)) {
        const int bits = stream->codecpar->bits_per_raw_sample ? stream->codecpar->bits_per_raw_sample
                                                               : stream->codecpar->bits_per_coded_sample;
        m_origres = DWORD(std::max(bits, 0));
    }

    // Comments of Ogg streams live on the stream, those of FLAC files on the container.
    const AVDictionary *comments =
        std::strcmp(format.demuxer, "ogg") == 0 ? stream->metadata : m_format->metadata;
    if (std::strcmp(format.demuxer, "ogg") == 0 || std::strcmp(format.demuxer, "flac") == 0) {
        const AVDictionaryEntry *entry = nullptr;
        while ((entry = av_dict_get(comments, "", entry, AV_DICT_IGNORE_SUFFIX)))
            m_comments.push_back(std::string(entry->key) + "=" + entry->value);
    }
    if (std::strcmp(format.demuxer, "asf") == 0)
        m_headerAttributes = asfAttributes(m_format, stream);

    // The exact length, when asked for: frames per packet (constant in these formats, known once
    // the first frame is decoded) times the packets, less what the decoder trims.
    std::int64_t scannedPackets = -1, scannedSkip = 0;
    // Only the frame formats need it: the other containers carry the exact length.
    const bool frameFormat =
        std::strcmp(format.demuxer, "mp3") == 0 || std::strcmp(format.demuxer, "aac") == 0;
    if (prescan && frameFormat && m_source->seekable()) {
        std::int64_t packets = 0;
        while (av_read_frame(m_format, m_packet) >= 0) {
            if (m_packet->stream_index == m_stream) {
                ++packets;
                scannedSkip += readSkipEnd(m_packet);
            }
            av_packet_unref(m_packet);
        }
        if (m_interrupted.load())
            return BASS_ERROR_ABORTED;
        if (avformat_seek_file(m_format, m_stream, INT64_MIN, 0, 0, 0) < 0) {
            // Raw streams without an index: back to the first byte; the parser finds the frames.
            if (avio_seek(m_format->pb, 0, SEEK_SET) < 0)
                return BASS_ERROR_FILEFORM;
            avformat_flush(m_format);
        }
        scannedPackets = packets;
    }

    // The first frame fixes the channel's format.
    int primed = 0;
    for (int attempt = 0; attempt < MaxPrimePackets && primed == 0; ++attempt)
        primed = decodeFrame();
    if (primed <= 0)
        return m_interrupted.load() ? BASS_ERROR_ABORTED : BASS_ERROR_FILEFORM;
    m_frameReady = true;
    m_rate = m_frame->sample_rate;
    const int sourceChannels = m_frame->ch_layout.nb_channels;
    if (m_rate <= 0 || sourceChannels <= 0)
        return BASS_ERROR_FORMAT;
    m_channels = mono ? 1 : std::min(sourceChannels, 2);

    std::int64_t length = -1;
    if (scannedPackets >= 0 && m_codec->frame_size > 0) {
        length = scannedPackets * m_codec->frame_size - scannedSkip;
    } else if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        // Less the codec delay the decoder drops at the start (Opus pre-skip).
        const int codedRate = stream->codecpar->sample_rate > 0 ? stream->codecpar->sample_rate : m_rate;
        length = av_rescale_q(stream->duration, stream->time_base, AVRational{1, m_rate}) -
                 av_rescale(stream->codecpar->initial_padding, m_rate, codedRate);
    } else if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0) {
        length = av_rescale(m_format->duration, m_rate, AV_TIME_BASE);
    } else if (m_source->size() > 0) {
        // No length in the container (ADTS, MP3 without a VBR header): estimate it from the
        // bit rate, as a player does until the end is reached.
        std::int64_t bitRate = stream->codecpar->bit_rate ? stream->codecpar->bit_rate : m_codec->bit_rate;
        if (!bitRate)
            bitRate = m_format->bit_rate;
        if (!bitRate && m_packetTime > 0) // from the packets read so far
            bitRate = av_rescale(m_packetBytes * 8, stream->time_base.den,
                                 std::int64_t(stream->time_base.num) * m_packetTime);
        if (bitRate > 0)
            length = av_rescale(m_source->size() - m_dataStart, std::int64_t(m_rate) * 8, bitRate);
    }
    m_lengthFrames.store(length < 0 ? -1 : length, std::memory_order_relaxed);
    return 0;
}

int Decoder::decodeFrame()
{
    for (;;) {
        if (m_interrupted.load(std::memory_order_relaxed))
            return -1;
        int result = avcodec_receive_frame(m_codec, m_frame);
        if (result == 0) {
            if (m_frame->nb_samples <= 0) {
                av_frame_unref(m_frame);
                continue;
            }
            m_errorsInRow = 0;
            return 1;
        }
        if (result == AVERROR_EOF)
            return 0;
        if (result != AVERROR(EAGAIN)) {
            if (++m_errorsInRow > MaxErrorsInRow)
                return -1;
            continue;
        }
        if (m_draining)
            return 0;
        result = av_read_frame(m_format, m_packet);
        if (result < 0) {
            if (result == AVERROR_EXIT || m_interrupted.load(std::memory_order_relaxed))
                return -1;
            m_draining = true; // end of data or an unreadable rest: decode what is left
            avcodec_send_packet(m_codec, nullptr);
            continue;
        }
        if (m_packet->stream_index != m_stream) {
            av_packet_unref(m_packet);
            continue;
        }
        if (m_packet->pos >= 0) {
            if (m_lastPacketPos == 0 && m_dataStart == 0)
                m_dataStart = m_packet->pos;
            m_lastPacketPos = m_packet->pos;
        }
        if (std::strcmp(m_format->iformat->name, "ogg") == 0)
            takeCommentUpdate();
        m_packetBytes += m_packet->size;
        m_packetTime += std::max<std::int64_t>(m_packet->duration, 0);
        // What the decoder has been given ends with this packet. (The reading position of the
        // demuxer can be far ahead: WAV, for one, reads 128 KiB ahead to probe its contents.)
        const std::int64_t consumed =
            m_packet->pos >= 0
                ? std::max(m_consumed.load(std::memory_order_relaxed), m_packet->pos + m_packet->size)
                : avio_tell(m_format->pb);
        m_consumed.store(consumed, std::memory_order_relaxed);
        m_source->takeEvents(consumed, m_pendingEvents);
        result = avcodec_send_packet(m_codec, m_packet);
        av_packet_unref(m_packet);
        if (result < 0 && result != AVERROR(EAGAIN) && ++m_errorsInRow > MaxErrorsInRow)
            return -1;
    }
}

std::vector<std::string> Decoder::asfAttributes(const AVFormatContext *format, const AVStream *stream)
{
    // FFmpeg gives the header's attributes its own common names; the tag uses the header's.
    static const char *const names[][2] = {{"title", "Title"},         {"artist", "Author"},
                                           {"author", "Author"},       {"copyright", "Copyright"},
                                           {"comment", "Description"}, {"genre", "WM/Genre"},
                                           {"album", "WM/AlbumTitle"}, {"album_artist", "WM/AlbumArtist"},
                                           {"date", "WM/Year"},        {"track", "WM/TrackNumber"}};
    std::vector<std::string> attributes;
    const AVDictionaryEntry *entry = nullptr;
    while ((entry = av_dict_get(format->metadata, "", entry, AV_DICT_IGNORE_SUFFIX))) {
        std::string key = entry->key;
        for (const auto &name : names)
            if (key == name[0])
                key = name[1];
        attributes.push_back(key + "=" + entry->value);
    }
    const std::int64_t bitRate = stream->codecpar->bit_rate ? stream->codecpar->bit_rate : format->bit_rate;
    if (bitRate > 0)
        attributes.push_back("Bitrate=" + std::to_string(bitRate));
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        attributes.push_back("Duration=" + std::to_string(format->duration / 1000)); // milliseconds
    attributes.push_back(std::string("Seekable=") + ((format->pb && format->pb->seekable) ? "1" : "0"));
    attributes.push_back(std::string("Broadcast=") + (format->duration > 0 ? "0" : "1"));
    return attributes;
}

void Decoder::takeCommentUpdate()
{
    // A chained Ogg stream (an Icecast title change) starts with new comments: the tag keeps
    // the latest value of each key and a metadata event marks where they took effect.
    std::size_t size = 0;
    const std::uint8_t *data = av_packet_get_side_data(m_packet, AV_PKT_DATA_METADATA_UPDATE, &size);
    if (!data || size == 0)
        return;
    AVDictionary *update = nullptr;
    if (av_packet_unpack_dictionary(data, size, &update) < 0) {
        av_dict_free(&update);
        return;
    }
    std::vector<std::string> merged = m_comments;
    const AVDictionaryEntry *entry = nullptr;
    while ((entry = av_dict_get(update, "", entry, AV_DICT_IGNORE_SUFFIX))) {
        const std::string key = entry->key;
        const std::string item = key + "=" + entry->value;
        auto same = std::find_if(merged.begin(), merged.end(), [&](const std::string &existing) {
            return existing.size() > key.size() && existing[key.size()] == '=' &&
                   av_strncasecmp(existing.c_str(), key.c_str(), key.size()) == 0;
        });
        if (same == merged.end())
            merged.push_back(item);
        else
            *same = item;
    }
    av_dict_free(&update);
    if (merged == m_comments)
        return;
    m_comments = merged;
    SourceEvent event;
    event.offset = m_packet->pos >= 0 ? m_packet->pos : m_consumed.load(std::memory_order_relaxed);
    event.type = BASS_SYNC_META;
    event.tagType = BASS_TAG_OGG;
    event.tag = std::make_shared<const std::vector<std::string>>(std::move(merged));
    m_pendingEvents.push_back(std::move(event));
}

std::int64_t Decoder::bitRate() const
{
    if (!m_format || m_stream < 0)
        return 0;
    const AVStream *stream = m_format->streams[m_stream];
    if (stream->codecpar->bit_rate > 0)
        return stream->codecpar->bit_rate;
    if (m_codec && m_codec->bit_rate > 0)
        return m_codec->bit_rate;
    if (m_format->bit_rate > 0)
        return m_format->bit_rate;
    if (m_packetTime > 0)
        return av_rescale(m_packetBytes * 8, stream->time_base.den,
                          std::int64_t(stream->time_base.num) * m_packetTime);
    return 0;
}

bool Decoder::convert(DecodedBlock &block)
{
    block.frames = 0;
    if (!m_frameReady) {
        const int result = m_ended ? 0 : decodeFrame();
        if (result <= 0) {
            // Whatever the resampler still holds (only when it changes the rate).
            if (m_swr && !m_ended && result == 0) {
                const int room = swr_get_out_samples(m_swr, 0);
                if (room > 0) {
                    block.samples.resize(std::size_t(room) * std::size_t(m_channels));
                    auto *out = reinterpret_cast<std::uint8_t *>(block.samples.data());
                    const int got = swr_convert(m_swr, &out, room, nullptr, 0);
                    block.frames = std::max(got, 0);
                }
            }
            if (!m_ended) {
                m_ended = true;
                m_lengthFrames.store(m_nextFrame + block.frames, std::memory_order_relaxed);
            }
            m_nextFrame += block.frames;
            return block.frames > 0;
        }
        m_frameReady = true;
    }
    m_frameReady = false;
    const AVFrame *frame = m_frame;
    if (!m_swr || frame->sample_rate != m_inRate || frame->format != m_inFormat ||
        frame->ch_layout.nb_channels != m_inChannels || frame->ch_layout.u.mask != m_inMask) {
        swr_free(&m_swr);
        AVChannelLayout outLayout;
        av_channel_layout_default(&outLayout, m_channels);
        if (swr_alloc_set_opts2(&m_swr, &outLayout, AV_SAMPLE_FMT_FLT, m_rate,
                                const_cast<AVChannelLayout *>(&frame->ch_layout),
                                AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr) < 0) {
            swr_free(&m_swr);
            av_frame_unref(m_frame);
            return false;
        }
        if (m_channels == 1 && frame->ch_layout.nb_channels == 2) {
            const double halves[2] = {0.5, 0.5}; // mono is the average of both sides, never louder
            swr_set_matrix(m_swr, halves, 2);
        }
        if (swr_init(m_swr) < 0) {
            swr_free(&m_swr);
            av_frame_unref(m_frame);
            return false;
        }
        m_inRate = frame->sample_rate;
        m_inFormat = frame->format;
        m_inChannels = frame->ch_layout.nb_channels;
        m_inMask = frame->ch_layout.u.mask;
    }
    const int room = swr_get_out_samples(m_swr, frame->nb_samples);
    block.samples.resize(std::size_t(std::max(room, 0)) * std::size_t(m_channels));
    auto *out = reinterpret_cast<std::uint8_t *>(block.samples.data());
    const int got = swr_convert(m_swr, &out, room, const_cast<const std::uint8_t **>(frame->extended_data),
                                frame->nb_samples);
    std::int64_t position = m_nextFrame;
    if (m_skipTo >= 0 && frame->best_effort_timestamp != AV_NOPTS_VALUE) {
        const AVStream *stream = m_format->streams[m_stream];
        std::int64_t pts = frame->best_effort_timestamp;
        if (stream->start_time != AV_NOPTS_VALUE)
            pts -= stream->start_time;
        position = av_rescale_q(pts, stream->time_base, AVRational{1, m_rate});
    }
    av_frame_unref(m_frame);
    block.frames = std::max(got, 0);
    if (m_skipTo >= 0) {
        const std::int64_t drop = m_skipTo - position;
        if (drop >= block.frames) {
            block.frames = 0;
            return true; // still before the target: the caller asks for more
        }
        if (drop > 0) {
            block.samples.erase(block.samples.begin(),
                                block.samples.begin() + std::ptrdiff_t(drop * m_channels));
            block.frames -= drop;
        }
        m_nextFrame = m_skipTo;
        m_skipTo = -1;
    }
    m_nextFrame += block.frames;
    return true;
}

bool Decoder::next(DecodedBlock &block)
{
    block.events.clear();
    for (;;) {
        if (!convert(block))
            break;
        if (block.frames > 0)
            break;
    }
    block.events.swap(m_pendingEvents);
    m_pendingEvents.clear();
    return block.frames > 0;
}

bool Decoder::seek(std::int64_t frame)
{
    if (!m_source->seekable() || frame < 0)
        return false;
    const AVStream *stream = m_format->streams[m_stream];
    std::int64_t ts = av_rescale_q(frame, AVRational{1, m_rate}, stream->time_base);
    if (stream->start_time != AV_NOPTS_VALUE)
        ts += stream->start_time;
    if (avformat_seek_file(m_format, m_stream, INT64_MIN, ts, ts, 0) < 0 &&
        av_seek_frame(m_format, m_stream, ts, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    avcodec_flush_buffers(m_codec);
    if (m_swr)
        swr_init(m_swr);
    av_frame_unref(m_frame);
    m_frameReady = false;
    m_draining = false;
    m_ended = false;
    m_errorsInRow = 0;
    m_skipTo = frame;
    m_nextFrame = frame;
    m_pendingEvents.clear();
    m_consumed.store(0, std::memory_order_relaxed); // set again by the first packet read
    return true;
}

} // namespace tunora::audio
