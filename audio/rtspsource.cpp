#include "rtspsource.h"

#include "engine.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace tunora::audio {

namespace {

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

} // namespace

int RtspSource::interruptCallback(void *opaque)
{
    auto *self = static_cast<RtspSource *>(opaque);
    if (self->stopping())
        return 1;
    const std::int64_t deadline = self->m_deadlineNs.load(std::memory_order_relaxed);
    if (deadline != 0 && nowNs() >= deadline)
        return 1;
    const Interrupt *opening = self->m_opening;
    return opening && opening->triggered() ? 1 : 0;
}

int RtspSource::writePacket(void *opaque, std::uint8_t *buffer, int size)
{
    static_cast<RtspSource *>(opaque)->append(buffer, std::size_t(size));
    return size;
}

std::unique_ptr<RtspSource> RtspSource::open(const std::string &url, const Interrupt &interrupt, int &error)
{
    std::unique_ptr<RtspSource> source(new RtspSource);
    RtspSource &self = *source;
    self.m_opening = &interrupt;
    self.m_deadlineNs = nowNs() + std::int64_t(netTimeoutMs()) * 1000000;
    auto failWith = [&](int code) {
        error = interrupt.triggered() ? BASS_ERROR_ABORTED : code;
        return nullptr;
    };

    self.m_in = avformat_alloc_context();
    if (!self.m_in)
        return failWith(BASS_ERROR_MEM);
    self.m_in->interrupt_callback = {&RtspSource::interruptCallback, &self};
    AVDictionary *options = nullptr;
    av_dict_set(&options, "rtsp_transport", "tcp", 0);
    av_dict_set_int(&options, "timeout", std::int64_t(netTimeoutMs()) * 1000, 0);
    const std::string agent = config().agent();
    if (!agent.empty())
        av_dict_set(&options, "user_agent", agent.c_str(), 0);
    const int opened = avformat_open_input(&self.m_in, url.c_str(), av_find_input_format("rtsp"), &options);
    av_dict_free(&options);
    if (opened < 0) // FFmpeg freed the context
        return failWith(nowNs() >= self.m_deadlineNs ? BASS_ERROR_TIMEOUT : BASS_ERROR_FILEOPEN);
    for (unsigned i = 0; i < self.m_in->nb_streams && self.m_stream < 0; ++i)
        if (self.m_in->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            self.m_stream = int(i);
    if (self.m_stream < 0)
        return failWith(BASS_ERROR_FILEFORM);
    for (unsigned i = 0; i < self.m_in->nb_streams; ++i)
        if (int(i) != self.m_stream)
            self.m_in->streams[i]->discard = AVDISCARD_ALL;
    AVStream *in = self.m_in->streams[self.m_stream];
    if (in->codecpar->sample_rate <= 0 || in->codecpar->ch_layout.nb_channels <= 0) {
        // The session description left the format open (MPEG audio): read it from the packets.
        self.m_in->probesize = 32768;
        self.m_in->max_analyze_duration = AV_TIME_BASE / 2;
        if (avformat_find_stream_info(self.m_in, nullptr) < 0)
            return failWith(BASS_ERROR_FILEFORM);
    }

    if (avformat_alloc_output_context2(&self.m_out, nullptr, "asf", nullptr) < 0 || !self.m_out)
        return failWith(BASS_ERROR_MEM);
    AVStream *out = avformat_new_stream(self.m_out, nullptr);
    auto *buffer = static_cast<std::uint8_t *>(av_malloc(4096));
    if (!out || !buffer || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0) {
        av_free(buffer);
        return failWith(BASS_ERROR_MEM);
    }
    out->codecpar->codec_tag = 0;
    out->time_base = in->time_base;
    self.m_io = avio_alloc_context(buffer, 4096, 1, &self, nullptr, &RtspSource::writePacket, nullptr);
    if (!self.m_io) {
        av_free(buffer);
        return failWith(BASS_ERROR_MEM);
    }
    self.m_out->pb = self.m_io;
    self.m_out->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_write_header(self.m_out, nullptr) < 0)
        return failWith(BASS_ERROR_FILEFORM); // a codec the container cannot carry
    avio_flush(self.m_io);
    self.m_opening = nullptr;
    self.m_deadlineNs = 0;
    self.setByteRate(in->codecpar->bit_rate > 0 ? in->codecpar->bit_rate / 8 : 16000);
    self.startReader();
    error = 0;
    return source;
}

RtspSource::~RtspSource()
{
    stopReader();
    if (m_out) {
        avformat_free_context(m_out);
        m_out = nullptr;
    }
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    avformat_close_input(&m_in);
}

void RtspSource::run()
{
    AVPacket *packet = av_packet_alloc();
    if (!packet)
        return;
    const AVRational inBase = m_in->streams[m_stream]->time_base;
    const AVRational outBase = m_out->streams[0]->time_base;
    std::int64_t first = AV_NOPTS_VALUE;
    while (waitForRoom()) {
        // A stream that goes silent for the net time-out has ended.
        m_deadlineNs = nowNs() + std::int64_t(netTimeoutMs()) * 1000000;
        if (av_read_frame(m_in, packet) < 0)
            break;
        if (packet->stream_index != m_stream ||
            (packet->pts == AV_NOPTS_VALUE && packet->dts == AV_NOPTS_VALUE)) {
            av_packet_unref(packet);
            continue;
        }
        // Time stamps from the start of the stream (RTP's begin anywhere).
        if (first == AV_NOPTS_VALUE)
            first = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (first != AV_NOPTS_VALUE) {
            if (packet->pts != AV_NOPTS_VALUE)
                packet->pts -= first;
            if (packet->dts != AV_NOPTS_VALUE)
                packet->dts -= first;
        }
        av_packet_rescale_ts(packet, inBase, outBase);
        packet->stream_index = 0;
        packet->pos = -1;
        const int written = av_write_frame(m_out, packet);
        av_packet_unref(packet);
        if (written < 0)
            break;
        avio_flush(m_io);
    }
    av_packet_free(&packet);
}

} // namespace tunora::audio
