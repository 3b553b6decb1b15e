// PulseAudio output through the asynchronous API: a pa_threaded_mainloop whose thread calls our
// write callback whenever the server wants audio; the callback renders straight into the
// server's buffer. Pause is a cork, stop a flush. While nothing plays, silence is written until
// the audio already sent has been heard, then the stream is corked so the process sleeps.
// When the server goes away the loss is reported once; the next wake() or restore() connects
// again, to the same server.

#include "output.h"

#include "audioengine.h"

#include <pulse/pulseaudio.h>

#include <cstring>
#include <string>

namespace tunora::audio {

namespace {

constexpr int ConnectTimeoutMs = 5000;

class PulseOutput final : public AudioOutput
{
public:
    ~PulseOutput() override { stop(); }

    int start(const OutputFormat &format, RenderSource *source) override
    {
        m_format = format;
        m_source = source;
        m_latency.setRate(format.rate);
        m_frameBytes = sizeof(float) * std::size_t(format.channels);
        m_loop = pa_threaded_mainloop_new();
        if (!m_loop)
            return BASS_ERROR_MEM;
        if (!newContext())
            return fail(BASS_ERROR_DRIVER);
        pa_threaded_mainloop_lock(m_loop);
        if (pa_threaded_mainloop_start(m_loop) < 0) {
            pa_threaded_mainloop_unlock(m_loop);
            return fail(BASS_ERROR_DRIVER);
        }
        m_started = true;
        const bool connected = connectLocked();
        m_running = connected;
        // Later connections go to this server even when the environment that named it has
        // changed meanwhile.
        if (const char *server = connected ? pa_context_get_server(m_context) : nullptr)
            m_server = server;
        pa_threaded_mainloop_unlock(m_loop);
        return connected ? 0 : fail(BASS_ERROR_DRIVER);
    }

    void stop() override
    {
        if (!m_loop)
            return;
        if (m_started) {
            pa_threaded_mainloop_lock(m_loop);
            m_running = false;
            closeLocked();
            pa_threaded_mainloop_unlock(m_loop);
            pa_threaded_mainloop_stop(m_loop);
        } else {
            closeLocked();
        }
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
        m_started = false;
    }

    void wake() override
    {
        Locked lock(this);
        if (m_lost && !reconnectLocked())
            return;
        if (!m_stream)
            return;
        if (m_idleCorked) {
            m_idleCorked = false;
            // Drop the silence written while idle so the new audio starts at once.
            pa_operation_unref_safe(pa_stream_flush(m_stream, nullptr, nullptr));
            m_latency.stamp(0, false);
        }
        m_silentFrames = 0;
        applyCork();
    }

    void pause(bool paused) override
    {
        Locked lock(this);
        if (!m_stream)
            return;
        m_paused = paused;
        applyCork();
    }

    void flush() override
    {
        Locked lock(this);
        if (!m_stream)
            return;
        pa_operation_unref_safe(pa_stream_flush(m_stream, nullptr, nullptr));
        m_latency.stamp(0, false);
    }

    std::int64_t latencyFrames() const override { return m_latency.now(); }
    const char *name() const override { return "PulseAudio"; }

    bool restore() override
    {
        Locked lock(this);
        if (!m_started)
            return false;
        return !m_lost || reconnectLocked();
    }

private:
    struct Locked
    {
        explicit Locked(PulseOutput *output)
            : loop(output->m_started ? output->m_loop : nullptr)
        {
            if (loop)
                pa_threaded_mainloop_lock(loop);
        }
        ~Locked()
        {
            if (loop)
                pa_threaded_mainloop_unlock(loop);
        }
        pa_threaded_mainloop *loop;
    };

    static void pa_operation_unref_safe(pa_operation *operation)
    {
        if (operation)
            pa_operation_unref(operation);
    }

    int fail(int code)
    {
        stop();
        return code;
    }

    // Waits on the mainloop (lock held) until `check` returns non-zero or the connect timer fired.
    template<typename Check>
    int waitFor(Check check)
    {
        for (;;) {
            const int result = check();
            if (result != 0)
                return result;
            if (m_timedOut)
                return -1;
            pa_threaded_mainloop_wait(m_loop);
        }
    }

    // A context that starts connecting to the default server; false when none could be made.
    bool newContext()
    {
        pa_proplist *properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "Tunora Player");
        pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
        m_context =
            pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop), "Tunora Player", properties);
        pa_proplist_free(properties);
        if (!m_context)
            return false;
        pa_context_set_state_callback(m_context, &PulseOutput::contextState, this);
        return pa_context_connect(m_context, m_server.empty() ? nullptr : m_server.c_str(),
                                  PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
    }

    // Lock held, mainloop running, context connecting: waits until it is ready (or the connect
    // time ran out) and opens the playback stream.
    bool connectLocked()
    {
        pa_mainloop_api *api = pa_threaded_mainloop_get_api(m_loop);
        m_timedOut = false;
        pa_time_event *timer = api->time_new(api, nullptr, &PulseOutput::timeout, this); // armed below
        struct timeval deadline;
        pa_gettimeofday(&deadline);
        pa_timeval_add(&deadline, pa_usec_t(ConnectTimeoutMs) * PA_USEC_PER_MSEC);
        api->time_restart(timer, &deadline);
        int result = waitFor([this] {
            const pa_context_state_t state = pa_context_get_state(m_context);
            return state == PA_CONTEXT_READY ? 1 : !PA_CONTEXT_IS_GOOD(state) ? -1 : 0;
        });
        if (result > 0)
            result = openStream();
        api->time_free(timer);
        return result > 0;
    }

    // Lock held: a new connection after the server went away. The playback state starts afresh
    // (idle, not paused); false while the server is not back.
    bool reconnectLocked()
    {
        closeLocked();
        m_paused = false;
        m_corked = true;
        m_silentFrames = 0;
        if (!newContext() || !connectLocked()) {
            closeLocked();
            return false;
        }
        m_lost = false;
        return true;
    }

    // Mainloop thread, lock held: the context or the stream changed state.
    void stateChanged()
    {
        const bool failed = (m_context && !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context))) ||
                            (m_stream && !PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)));
        if (failed && m_running && !m_lost) {
            m_lost = true;
            m_latency.stamp(0, false);
            reportLoss();
        }
        pa_threaded_mainloop_signal(m_loop, 0);
    }

    int openStream()
    {
        pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32LE, std::uint32_t(m_format.rate),
                                  std::uint8_t(m_format.channels)};
        pa_channel_map map;
        pa_channel_map_init_auto(&map, sampleSpec.channels, PA_CHANNEL_MAP_DEFAULT);
        m_stream = pa_stream_new(m_context, "Playback", &sampleSpec, &map);
        if (!m_stream)
            return -1;
        pa_stream_set_state_callback(m_stream, &PulseOutput::streamState, this);
        pa_stream_set_write_callback(m_stream, &PulseOutput::writeRequest, this);
        pa_buffer_attr attributes;
        attributes.maxlength = std::uint32_t(-1);
        attributes.tlength =
            std::uint32_t(pa_usec_to_bytes(pa_usec_t(m_format.bufferMs) * 1000, &sampleSpec));
        attributes.prebuf = std::uint32_t(-1);
        attributes.minreq = std::uint32_t(pa_usec_to_bytes(pa_usec_t(m_format.periodMs) * 1000, &sampleSpec));
        attributes.fragsize = std::uint32_t(-1);
        m_tlengthFrames = std::int64_t(attributes.tlength / m_frameBytes);
        m_idleCorked = true; // starts corked: nothing plays yet
        const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                                             PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_playback(m_stream, nullptr, &attributes, flags, nullptr, nullptr) < 0)
            return -1;
        return waitFor([this] {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            return state == PA_STREAM_READY ? 1 : !PA_STREAM_IS_GOOD(state) ? -1 : 0;
        });
    }

    void closeLocked()
    {
        if (m_stream) {
            pa_stream_set_write_callback(m_stream, nullptr, nullptr);
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
            m_stream = nullptr;
        }
        if (m_context) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
            m_context = nullptr;
        }
    }

    void applyCork()
    {
        const bool cork = m_paused || m_idleCorked;
        if (cork != m_corked) {
            m_corked = cork;
            pa_operation_unref_safe(pa_stream_cork(m_stream, cork ? 1 : 0, nullptr, nullptr));
            if (!cork)
                pa_operation_unref_safe(pa_stream_trigger(m_stream, nullptr, nullptr));
        }
        m_latency.stamp(m_latency.now(), !cork);
    }

    // Mainloop thread, lock held.
    void write(std::size_t bytes)
    {
        bool playing = false;
        while (bytes >= m_frameBytes) {
            void *data = nullptr;
            std::size_t size = bytes;
            if (pa_stream_begin_write(m_stream, &data, &size) < 0 || !data)
                return;
            const std::size_t frames = std::min(size, bytes) / m_frameBytes;
            if (frames == 0) {
                pa_stream_cancel_write(m_stream);
                break;
            }
            if (m_source->render(static_cast<float *>(data), frames))
                playing = true;
            pa_stream_write(m_stream, data, frames * m_frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
            bytes -= frames * m_frameBytes;
            m_silentFrames = playing ? 0 : m_silentFrames + std::int64_t(frames);
        }
        pa_usec_t latency = 0;
        int negative = 0;
        if (pa_stream_get_latency(m_stream, &latency, &negative) == 0)
            m_latency.stamp(negative ? 0 : std::int64_t(latency) * m_format.rate / 1000000, !m_corked);
        if (!playing && m_silentFrames > m_tlengthFrames && !m_paused) {
            m_idleCorked = true; // everything audible was heard: sleep until wake()
            applyCork();
        }
    }

    static void contextState(pa_context *, void *self) { static_cast<PulseOutput *>(self)->stateChanged(); }
    static void streamState(pa_stream *, void *self) { static_cast<PulseOutput *>(self)->stateChanged(); }
    static void writeRequest(pa_stream *, std::size_t bytes, void *self)
    {
        static_cast<PulseOutput *>(self)->write(bytes);
    }
    static void timeout(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self)
    {
        auto *output = static_cast<PulseOutput *>(self);
        output->m_timedOut = true;
        pa_threaded_mainloop_signal(output->m_loop, 0);
    }

    OutputFormat m_format;
    RenderSource *m_source = nullptr;
    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    std::string m_server; // the server of the first connection; "" until then (the default)
    bool m_started = false;
    bool m_running = false; // connected once: a failure from now on is a loss
    bool m_lost = false;    // the server went away; wake() connects again
    bool m_timedOut = false;
    bool m_paused = false;
    bool m_idleCorked = false;
    bool m_corked = true;
    std::size_t m_frameBytes = 8;
    std::int64_t m_tlengthFrames = 0;
    std::int64_t m_silentFrames = 0;
    LatencyClock m_latency;
};

} // namespace

std::unique_ptr<AudioOutput> createPulseOutput()
{
    return std::make_unique<PulseOutput>();
}

} // namespace tunora::audio
