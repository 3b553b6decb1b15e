#include "engine.h"

#include "netsource.h"
#include "sniff.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <cmath>

namespace tunora::audio {

// ---- configuration ---------------------------------------------------------------------------

Config &config()
{
    static Config instance;
    return instance;
}

std::string Config::agent() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_agent;
}

bool Config::proxy(std::string &out) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    out = m_proxy;
    return m_hasProxy;
}

std::string Config::caFile() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    // The connection reads one trust-store name: an extra file follows the store after a line
    // break (no path holds one, setExtraCaFile refuses them).
    return m_extraCaFile.empty() ? m_caFile : m_caFile + '\n' + m_extraCaFile;
}

void Config::setExtraCaFile(const char *path)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const std::string value = path ? path : "";
    m_extraCaFile = value.find('\n') == std::string::npos ? value : std::string();
}

void Config::setCaFile(const std::string &path)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_caFile = path;
}

void Config::setAgent(const char *text)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_agent = text ? text : "";
}

void Config::setProxy(const char *text)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_hasProxy = text != nullptr;
    m_proxy = text ? text : "";
}

const void *configPointer(DWORD option)
{
    Config &c = config();
    std::lock_guard<std::mutex> guard(c.m_lock);
    if (option == BASS_CONFIG_NET_PROXY && !c.m_hasProxy)
        return nullptr;
    if (option != BASS_CONFIG_NET_AGENT && option != BASS_CONFIG_NET_PROXY)
        return nullptr;
    const std::string &value = option == BASS_CONFIG_NET_AGENT ? c.m_agent : c.m_proxy;
    for (const auto &kept : c.m_handedOut)
        if (*kept == value)
            return kept->c_str();
    c.m_handedOut.push_back(std::make_unique<std::string>(value));
    return c.m_handedOut.back()->c_str();
}

// ---- per-thread state --------------------------------------------------------------------------

namespace {
thread_local int t_lastError = BASS_OK;
thread_local const std::atomic<bool> *t_abortFlag = nullptr;
} // namespace

bool fail(int code)
{
    t_lastError = code;
    return false;
}

void succeed()
{
    t_lastError = BASS_OK;
}

int lastError()
{
    return t_lastError;
}

const std::atomic<bool> *currentAbortFlag()
{
    return t_abortFlag;
}

void setCurrentAbortFlag(const std::atomic<bool> *flag)
{
    t_abortFlag = flag;
}

// ---- callback thread ---------------------------------------------------------------------------

void CallbackThread::start()
{
    m_quit = false;
    m_thread = std::thread([this] { run(); });
    m_threadId = m_thread.get_id();
}

void CallbackThread::stop()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_quit = true;
        m_tasks.clear();
    }
    m_wakeup.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CallbackThread::post(Clock::time_point due, std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_quit)
            return;
        m_tasks.emplace(std::make_pair(due, ++m_sequence), std::move(task));
    }
    m_wakeup.notify_one();
}

void CallbackThread::run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_quit) {
        if (m_tasks.empty()) {
            m_wakeup.wait(lock);
            continue;
        }
        const auto due = m_tasks.begin()->first.first;
        if (Clock::now() < due) {
            m_wakeup.wait_until(lock, due);
            continue;
        }
        std::function<void()> task = std::move(m_tasks.begin()->second);
        m_tasks.erase(m_tasks.begin());
        lock.unlock();
        {
            std::lock_guard<std::recursive_mutex> delivering(m_delivery);
            task();
        }
        task = nullptr;
        lock.lock();
    }
}

// ---- mixer -------------------------------------------------------------------------------------

bool Mixer::render(float *out, std::size_t frames)
{
    BusyTimer busy(m_session);
    std::fill(out, out + frames * 2, 0.0f);
    std::vector<Channel *> finished;
    std::lock_guard<std::mutex> guard(lock);
    const bool any = !playing.empty();
    if (m_scratch.size() < frames * 2)
        m_scratch.resize(frames * 2);
    for (Channel *channel : playing)
        mixChannel(*channel, out, frames, finished);
    for (Channel *channel : finished)
        playing.erase(std::find(playing.begin(), playing.end(), channel));

    const float target = float(std::min<DWORD>(config().globalStreamVolume.load(), 10000)) / 10000.0f;
    if (target != m_globalVolume.target)
        m_globalVolume.slideTo(target, m_session.rate / 50); // 20 ms: no click when the slider moves
    if (m_globalVolume.sliding() || m_globalVolume.value != 1.0f) {
        for (std::size_t i = 0; i < frames; ++i) {
            const float gain = m_globalVolume.advance();
            out[2 * i] *= gain;
            out[2 * i + 1] *= gain;
        }
    }
    return any;
}

void Mixer::mixChannel(Channel &channel, float *out, std::size_t frames, std::vector<Channel *> &finished)
{
    const std::int64_t latency = m_session.output->latencyFrames();
    const bool ended = channel.decodeEnded.load(std::memory_order_acquire);
    const std::size_t available = channel.ring.readable();
    if (channel.state == PlayState::Stalled) {
        if (!ended && available < channel.ring.capacity() / 2) {
            channel.volume.skip(std::int64_t(frames));
            channel.pan.skip(std::int64_t(frames));
            return;
        }
        channel.state = PlayState::Playing;
        channel.fire(BASS_SYNC_STALL, 1, false, latency);
    }
    const bool wasSliding = channel.volume.sliding();
    const std::size_t count = channel.ring.read(m_scratch.data(), std::min(available, frames));
    const bool mono = channel.channels() == 1;
    const float *in = m_scratch.data();
    const std::uint64_t window = std::uint64_t(std::max(m_session.rate / 100, 1));
    LevelWindow &open = channel.levelOpen;
    for (std::size_t i = 0; i < count; ++i) {
        const float volume = channel.volume.advance();
        const float pan = channel.pan.advance();
        const float left = (mono ? in[i] : in[2 * i]) * volume * (pan > 0 ? 1.0f - pan : 1.0f);
        const float right = (mono ? in[i] : in[2 * i + 1]) * volume * (pan < 0 ? 1.0f + pan : 1.0f);
        out[2 * i] += left;
        out[2 * i + 1] += right;
        open.left = std::max(open.left, std::fabs(left));
        open.right = std::max(open.right, std::fabs(right));
        if (++channel.levelOpenFrames == window) {
            open.end = channel.consumed + i + 1;
            channel.levels[channel.levelCount++ % std::size(channel.levels)] = open;
            open = {};
            channel.levelOpenFrames = 0;
        }
    }
    const std::uint64_t before = channel.consumed;
    channel.consumed += count;
    if (count > 0)
        channel.hadData = true;

    if (count < frames) {
        if (channel.hadData) { // time passes in an underrun; before the first audio it has not begun
            channel.volume.skip(std::int64_t(frames - count));
            channel.pan.skip(std::int64_t(frames - count));
        }
        if (ended && channel.ring.readable() == 0) {
            channel.state = PlayState::Stopped;
            channel.inMix = false;
            channel.latencyAtLeave = latency + std::int64_t(count);
            channel.leftAt = std::chrono::steady_clock::now();
            channel.leaveFrozen = false;
            finished.push_back(&channel);
            channel.fire(BASS_SYNC_END, 0, false, latency + std::int64_t(count));
            if (channel.flags & BASS_STREAM_AUTOFREE) {
                const HSTREAM handle = channel.handle;
                m_session.callbacks.post(m_session.dueAfter(latency + std::int64_t(count)),
                                         [handle] { Engine::instance().freeChannel(handle); });
            }
        } else if (channel.hadData && !ended) {
            channel.state = PlayState::Stalled; // the decoder (or the network) fell behind
            channel.hadData = false;
            channel.fire(BASS_SYNC_STALL, 0, false, latency + std::int64_t(count));
        }
    }
    if (count > 0) {
        channel.firePositionSyncs(channel.baseFrame + channel.toChannelFrames(before),
                                  channel.baseFrame + channel.toChannelFrames(channel.consumed), false,
                                  latency);
        for (auto it = channel.marks.begin(); it != channel.marks.end();) {
            if (it->at > channel.consumed) {
                ++it;
                continue;
            }
            channel.fireEvent(it->event, false, latency + std::int64_t(it->at - before));
            it = channel.marks.erase(it);
        }
    }
    if (wasSliding && !channel.volume.sliding())
        channel.fire(BASS_SYNC_SLIDE, 0, false, latency);

    channel.waitHandshake.fetch_add(1, std::memory_order_acq_rel);
    if (channel.decoderWaiting.load(std::memory_order_relaxed) &&
        channel.ring.writable() >= channel.ring.capacity() / 2) {
        channel.wakeEpoch.fetch_add(1, std::memory_order_release);
        channel.wakeEpoch.notify_all();
    }
}

// ---- session -------------------------------------------------------------------------------------

Session::Session(int device_, int rate_)
    : device(device_)
    , rate(rate_)
    , mixer(*this)
{}

Session::~Session()
{
    stop();
}

int Session::start()
{
    output = device == 0 ? createNullOutput() : createPulseOutput();
    // Reported on the output's thread; handled on the callback thread, where syncs run.
    output->setLossHandler([this] {
        callbacks.post(CallbackThread::Clock::now(), [this] { Engine::instance().outputLost(*this); });
    });
    const int period = int(std::clamp<DWORD>(config().updatePeriodMs.load(), 5, 500));
    format.rate = rate;
    format.channels = 2;
    format.periodMs = period;
    format.bufferMs = std::clamp(period * 3, 30, 1500);
    const int result = output->start(format, &mixer);
    if (result != 0) {
        output.reset();
        return result;
    }
    callbacks.start();
    cpuSince = std::chrono::steady_clock::now();
    return 0;
}

void Session::stop()
{
    // The callback thread first: its loss handling and reconnect attempts use the output, which
    // must not be torn down under them. What the output reports meanwhile is dropped.
    callbacks.stop();
    if (output)
        output->stop();
}

CallbackThread::Clock::time_point Session::dueAfter(std::int64_t frames) const
{
    return CallbackThread::Clock::now() +
           std::chrono::nanoseconds(std::max<std::int64_t>(frames, 0) * 1000000000 / rate);
}

// ---- engine --------------------------------------------------------------------------------------

Engine &Engine::instance()
{
    static Engine engine;
    return engine;
}

std::shared_ptr<Session> Engine::session()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_session;
}

bool Engine::init(int device, DWORD freq)
{
    if (device == BASS_DEVICE_DEFAULT)
        device = 1;
    if (device != 0 && device != 1)
        return fail(BASS_ERROR_DEVICE);
    if (freq == 0)
        freq = 44100;
    if (freq < 8000 || freq > 192000)
        return fail(BASS_ERROR_ILLPARAM);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_session)
            return fail(BASS_ERROR_ALREADY);
    }
    static std::once_flag quietFfmpeg;
    std::call_once(quietFfmpeg, [] {
        if (av_log_get_level() == AV_LOG_INFO) // untouched by the application
            av_log_set_level(AV_LOG_ERROR);
    });
    auto session = std::make_shared<Session>(device, int(freq));
    if (const int result = session->start(); result != 0)
        return fail(result);
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_session) {
        session->stop();
        return fail(BASS_ERROR_ALREADY);
    }
    m_session = std::move(session);
    succeed();
    return true;
}

bool Engine::free()
{
    std::shared_ptr<Session> session;
    std::map<DWORD, std::shared_ptr<Channel>> channels;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_session)
            return fail(BASS_ERROR_INIT);
        if (m_session->callbacks.isCurrentThread())
            return fail(BASS_ERROR_NOTAVAIL); // the callback thread cannot join itself
        session = std::move(m_session);
        channels.swap(m_channels);
        m_effects.clear();
    }
    {
        std::lock_guard<std::mutex> mix(session->mixer.lock);
        for (Channel *channel : session->mixer.playing) {
            channel->inMix = false;
            channel->state = PlayState::Stopped;
        }
        session->mixer.playing.clear();
    }
    session->stop();
    for (auto &[handle, channel] : channels)
        channel->shutdown();
    channels.clear();
    dropParkedSources();
    succeed();
    return true;
}

HSTREAM Engine::createChannel(std::unique_ptr<ByteSource> source, Family family, DWORD flags,
                              std::string filename, const OpenContext &context)
{
    return createChannelOrReturn(source, family, flags, std::move(filename), context);
}

HSTREAM Engine::createChannelOrReturn(std::unique_ptr<ByteSource> &source, Family family, DWORD flags,
                                      std::string filename, const OpenContext &context)
{
    std::shared_ptr<Session> session = this->session();
    if (!session)
        return fail(BASS_ERROR_INIT);
    source->watchOpen(&context);
    Sniffed format;
    int error = sniffFamily(family, *source, format);
    source->watchOpen(nullptr);
    if (error != 0) {
        if (context.aborted())
            error = BASS_ERROR_ABORTED;
        if (error != BASS_ERROR_FILEFORM)
            source.reset();
        return fail(error);
    }
    std::unique_ptr<Decoder> decoder = Decoder::open(std::move(source), format, flags & BASS_SAMPLE_MONO,
                                                     flags & BASS_STREAM_PRESCAN, context, error);
    if (!decoder)
        return fail(error);
    const HSTREAM handle = newHandle();
    auto channel = std::make_shared<Channel>(session, handle, flags, std::move(decoder), std::move(filename));
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_session != session)
            return fail(BASS_ERROR_INIT); // the engine was freed while this creator worked
        m_channels.emplace(handle, channel);
    }
    if (!channel->isDecodingChannel())
        channel->prepare(); // decoding starts with the first play
    succeed();
    return handle;
}

std::shared_ptr<Channel> Engine::channel(DWORD handle)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto it = m_channels.find(handle);
    return it == m_channels.end() ? nullptr : it->second;
}

void Engine::registerEffect(HFX effect, DWORD channel)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_effects[effect] = channel;
}

void Engine::unregisterEffect(HFX effect)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_effects.erase(effect);
}

std::shared_ptr<Channel> Engine::effectOwner(HFX effect)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto it = m_effects.find(effect);
    if (it == m_effects.end())
        return nullptr;
    const auto channel = m_channels.find(it->second);
    return channel == m_channels.end() ? nullptr : channel->second;
}

namespace {

// Takes the channel out of the mix. Returns whether it was the last one playing while it was
// still audible (its buffered audio should then be dropped rather than heard out).
bool leaveMix(Channel &channel, PlayState newState, bool &wasInMix)
{
    Session &session = channel.session();
    std::lock_guard<std::mutex> mix(session.mixer.lock);
    wasInMix = channel.inMix;
    if (channel.inMix) {
        auto &playing = session.mixer.playing;
        playing.erase(std::find(playing.begin(), playing.end(), &channel));
        channel.inMix = false;
        channel.latencyAtLeave = session.output->latencyFrames();
        channel.leftAt = std::chrono::steady_clock::now();
        channel.leaveFrozen = newState == PlayState::Paused;
    }
    channel.state = newState;
    return wasInMix && session.mixer.playing.empty() && channel.volume.value > 0.001f;
}

// Stops a playing or paused channel. Its unheard audio is dropped when it was the last one
// audible, or when the output was corked for its pause; a faded-out tail is silent and is
// heard out.
void stopInMix(Channel &channel)
{
    Session &session = channel.session();
    bool wasInMix = false;
    const bool audibleTail = leaveMix(channel, PlayState::Stopped, wasInMix);
    bool wasCorked = false;
    {
        std::lock_guard<std::mutex> guard(session.outputLock);
        if (session.corkedFor == channel.handle) {
            session.corkedFor = 0;
            wasCorked = true;
        }
    }
    if (wasCorked || audibleTail)
        session.output->flush();
    if (wasCorked)
        session.output->pause(false);
}

// The listener decided about this channel after the output was lost: it is not resumed.
void forgetLoss(Session &session, DWORD handle)
{
    std::lock_guard<std::mutex> guard(session.outputLock);
    std::erase(session.resumeAfterLoss, handle);
}

constexpr auto RestoreRetry = std::chrono::seconds(1);

} // namespace

bool Engine::playChannel(const std::shared_ptr<Channel> &channel, bool restart)
{
    if (channel->isDecodingChannel())
        return fail(BASS_ERROR_DECODE);
    Session &session = channel->session();
    {
        std::lock_guard<std::mutex> guard(session.outputLock);
        if (session.devicePaused)
            return fail(BASS_ERROR_START);
    }
    if (restart && channel->decoder().seekable())
        channel->seek(0);
    channel->startDecoding();
    // Start with at least one output period buffered, so playback does not begin with an
    // underrun while the decode thread is still starting (bounded: a slow source just starts late).
    const std::size_t wanted = std::min<std::size_t>(
        std::size_t(session.rate) * session.format.periodMs / 1000, channel->ring.capacity() / 2);
    for (int waited = 0; waited < 250 && channel->ring.readable() < wanted &&
                         !channel->decodeEnded.load(std::memory_order_acquire);
         ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    {
        std::lock_guard<std::mutex> mix(session.mixer.lock);
        if (channel->state != PlayState::Playing && channel->state != PlayState::Stalled) {
            channel->state = PlayState::Playing;
            channel->hadData = false;
        }
        if (!channel->inMix) {
            session.mixer.playing.push_back(channel.get());
            channel->inMix = true;
        }
    }
    bool uncork = false, drop = false;
    {
        std::lock_guard<std::mutex> guard(session.outputLock);
        if (session.corkedFor != 0) {
            uncork = true;
            drop = session.corkedFor != channel->handle; // another channel's paused audio
            session.corkedFor = 0;
        }
    }
    if (drop)
        session.output->flush();
    if (uncork)
        session.output->pause(false);
    session.output->wake();
    succeed();
    return true;
}

bool Engine::pauseChannel(const std::shared_ptr<Channel> &channel)
{
    if (channel->isDecodingChannel())
        return fail(BASS_ERROR_DECODE);
    Session &session = channel->session();
    forgetLoss(session, channel->handle);
    {
        std::lock_guard<std::mutex> mix(session.mixer.lock);
        if (channel->state == PlayState::Paused)
            return fail(BASS_ERROR_ALREADY);
        if (channel->state == PlayState::Stopped)
            return fail(BASS_ERROR_NOPLAY);
    }
    bool wasInMix = false;
    leaveMix(*channel, PlayState::Paused, wasInMix);
    bool sole;
    {
        std::lock_guard<std::mutex> mix(session.mixer.lock);
        sole = session.mixer.playing.empty();
    }
    if (sole && wasInMix) {
        {
            std::lock_guard<std::mutex> guard(session.outputLock);
            session.corkedFor = channel->handle;
        }
        session.output->pause(true); // keeps the buffered audio: resume continues seamlessly
    }
    succeed();
    return true;
}

void Engine::outputLost(Session &session)
{
    std::vector<DWORD> handles;
    {
        std::lock_guard<std::mutex> mix(session.mixer.lock);
        for (const Channel *playing : session.mixer.playing)
            handles.push_back(playing->handle);
    }
    {
        std::lock_guard<std::mutex> guard(session.outputLock);
        session.resumeAfterLoss.insert(session.resumeAfterLoss.end(), handles.begin(), handles.end());
    }
    for (const DWORD handle : handles) {
        const std::shared_ptr<Channel> lost = channel(handle);
        if (!lost)
            continue;
        stopInMix(*lost);
        lost->fire(BASS_SYNC_DEV_FAIL, 0, false);
    }
    if (!handles.empty())
        session.callbacks.post(CallbackThread::Clock::now() + RestoreRetry,
                               [&session] { Engine::instance().restoreOutput(session); });
}

void Engine::restoreOutput(Session &session)
{
    {
        std::lock_guard<std::mutex> guard(session.outputLock);
        if (session.resumeAfterLoss.empty())
            return;
    }
    if (!session.output->restore()) {
        session.callbacks.post(CallbackThread::Clock::now() + RestoreRetry,
                               [&session] { Engine::instance().restoreOutput(session); });
        return;
    }
    std::vector<DWORD> handles;
    {
        std::lock_guard<std::mutex> guard(session.outputLock);
        handles.swap(session.resumeAfterLoss);
    }
    for (const DWORD handle : handles) {
        const std::shared_ptr<Channel> lost = channel(handle);
        if (lost && playChannel(lost, false))
            lost->fire(BASS_SYNC_DEV_BACK, 1, false);
    }
}

bool Engine::stopChannel(const std::shared_ptr<Channel> &channel)
{
    if (!channel->isDecodingChannel()) {
        forgetLoss(channel->session(), channel->handle);
        stopInMix(*channel);
        if (channel->flags & BASS_STREAM_AUTOFREE)
            return freeChannel(channel->handle);
    }
    succeed();
    return true;
}

bool Engine::freeChannel(DWORD handle)
{
    std::shared_ptr<Channel> channel = this->channel(handle);
    if (!channel)
        return fail(BASS_ERROR_HANDLE);
    Session &session = channel->session();
    if (std::this_thread::get_id() == channel->decodeThreadId()) {
        // Asked from the channel's own DSP or MIXTIME callback: finish on the callback thread.
        session.callbacks.post(CallbackThread::Clock::now(),
                               [handle] { Engine::instance().freeChannel(handle); });
        succeed();
        return true;
    }
    {
        std::lock_guard<std::recursive_mutex> delivering(session.callbacks.deliveryLock());
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_channels.erase(handle) == 0)
            return fail(BASS_ERROR_HANDLE);
        for (auto it = m_effects.begin(); it != m_effects.end();)
            it = it->second == handle ? m_effects.erase(it) : std::next(it);
    }
    if (!channel->isDecodingChannel()) {
        forgetLoss(session, handle);
        stopInMix(*channel);
    }
    channel->shutdown();
    for (const SyncEntry &entry : channel->takeSyncs(BASS_SYNC_FREE))
        session.callbacks.post(CallbackThread::Clock::now(),
                               [entry, handle] { entry.proc(entry.id, handle, 0, entry.user); });
    succeed();
    return true;
}

} // namespace tunora::audio
