// The BASS_* calls: argument checks, handle look-ups and the last error; the work is done by
// Engine, Channel and the mixer.

#include "audioengine.h"
#include "engine.h"
#include "netsource.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <set>
#include <string>

using namespace tunora::audio;

bool tunora::audio::utf8FromWide(const wchar_t *wide, std::string &out)
{
    out.clear();
    for (; *wide; ++wide) {
        const auto c = std::uint32_t(*wide);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return true;
}

namespace {

std::shared_ptr<Channel> channelOrFail(DWORD handle)
{
    std::shared_ptr<Channel> channel = Engine::instance().channel(handle);
    if (!channel)
        fail(BASS_ERROR_HANDLE);
    return channel;
}

std::shared_ptr<Session> sessionOrFail()
{
    std::shared_ptr<Session> session = Engine::instance().session();
    if (!session)
        fail(BASS_ERROR_INIT);
    return session;
}

HSTREAM createFromFile(Family family, BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags)
{
    if (!Engine::instance().session())
        return fail(BASS_ERROR_INIT);
    const OpenContext context{currentAbortFlag()};
    if (context.aborted())
        return fail(BASS_ERROR_ABORTED);
    if (!file)
        return fail(BASS_ERROR_ILLPARAM);
    std::unique_ptr<ByteSource> source;
    std::string path;
    if (mem) {
        if (length == 0)
            return fail(BASS_ERROR_ILLPARAM);
        source = std::make_unique<MemorySource>(static_cast<const std::uint8_t *>(file) + offset,
                                                std::size_t(length));
    } else {
        if (flags & BASS_UNICODE) {
            if (!utf8FromWide(static_cast<const wchar_t *>(file), path))
                return fail(BASS_ERROR_FILEOPEN);
        } else {
            path = static_cast<const char *>(file);
        }
        if (isNetworkAddress(path))
            return createFromNetwork(family, path, offset, flags, nullptr, nullptr);
        int error = 0;
        source = openLocation(path, offset, length, context, error);
        if (!source)
            return fail(error);
    }
    return Engine::instance().createChannel(std::move(source), family, flags, std::move(path), context);
}

DWORD activeState(Channel &channel)
{
    if (channel.isDecodingChannel())
        return channel.decodingEnded() ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING;
    Session &session = channel.session();
    PlayState state;
    {
        std::lock_guard<std::mutex> mix(session.mixer.lock);
        state = channel.state;
    }
    switch (state) {
    case PlayState::Playing: {
        std::lock_guard<std::mutex> guard(session.outputLock);
        return session.devicePaused ? BASS_ACTIVE_PAUSED_DEVICE : BASS_ACTIVE_PLAYING;
    }
    case PlayState::Stalled:
        return BASS_ACTIVE_STALLED;
    case PlayState::Paused:
        return BASS_ACTIVE_PAUSED;
    case PlayState::Stopped:
        break;
    }
    return BASS_ACTIVE_STOPPED;
}

// Output frames heard so far of a playing channel (mixer lock held).
std::uint64_t heardFrames(Channel &channel)
{
    std::int64_t unheard;
    if (channel.inMix) {
        unheard = channel.session().output->latencyFrames();
    } else if (channel.leaveFrozen) {
        unheard = channel.latencyAtLeave;
    } else {
        const auto gone = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now() - channel.leftAt)
                              .count() *
                          channel.session().rate / 1000000000;
        unheard = std::max<std::int64_t>(channel.latencyAtLeave - gone, 0);
    }
    return channel.consumed > std::uint64_t(unheard) ? channel.consumed - std::uint64_t(unheard) : 0;
}

constexpr QWORD QwordError = QWORD(-1);
constexpr DWORD DwordError = DWORD(-1);

std::mutex g_pluginLock;
std::set<HPLUGIN> g_plugins;

} // namespace

// ---- engine --------------------------------------------------------------------------------------

const char *TunoraEngineLoadError()
{
    return nullptr;
}

DWORD BASS_GetVersion()
{
    return 0x02041100;
}

int BASS_ErrorGetCode()
{
    return lastError();
}

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void *win, const void *dsguid)
{
    (void)flags;
    (void)win;
    (void)dsguid;
    return Engine::instance().init(device, freq);
}

BOOL BASS_Free()
{
    return Engine::instance().free();
}

BOOL BASS_SetDevice(DWORD device)
{
    const std::shared_ptr<Session> session = sessionOrFail();
    if (!session)
        return FALSE;
    if (int(device) != session->device)
        return fail(BASS_ERROR_DEVICE);
    succeed();
    return TRUE;
}

DWORD BASS_GetDevice()
{
    const std::shared_ptr<Session> session = sessionOrFail();
    if (!session)
        return DwordError;
    succeed();
    return DWORD(session->device);
}

BOOL BASS_GetDeviceInfo(DWORD device, BASS_DEVICEINFO *info)
{
    if (!info)
        return fail(BASS_ERROR_ILLPARAM);
    if (device > 1)
        return fail(BASS_ERROR_DEVICE);
    const std::shared_ptr<Session> session = Engine::instance().session();
    const DWORD init = session && session->device == int(device) ? BASS_DEVICE_INIT : 0;
    if (device == 0)
        *info = {"No sound", "", BASS_DEVICE_ENABLED | init};
    else
        *info = {"Default", "pulse", BASS_DEVICE_ENABLED | BASS_DEVICE_IS_DEFAULT | init};
    succeed();
    return TRUE;
}

BOOL BASS_GetInfo(BASS_INFO *info)
{
    if (!info)
        return fail(BASS_ERROR_ILLPARAM);
    const std::shared_ptr<Session> session = sessionOrFail();
    if (!session)
        return FALSE;
    info->flags = 0;
    info->latency = DWORD(session->device == 0 ? session->format.periodMs : session->format.bufferMs);
    info->freq = DWORD(session->rate);
    info->speakers = 2;
    succeed();
    return TRUE;
}

BOOL BASS_Start()
{
    const std::shared_ptr<Session> session = sessionOrFail();
    if (!session)
        return FALSE;
    bool resume;
    {
        std::lock_guard<std::mutex> guard(session->outputLock);
        resume = session->devicePaused && session->corkedFor == 0;
        session->devicePaused = false;
    }
    if (resume)
        session->output->pause(false);
    session->output->wake();
    succeed();
    return TRUE;
}

static BOOL pauseOutput(bool drop)
{
    const std::shared_ptr<Session> session = sessionOrFail();
    if (!session)
        return FALSE;
    {
        std::lock_guard<std::mutex> guard(session->outputLock);
        session->devicePaused = true;
    }
    session->output->pause(true);
    if (drop)
        session->output->flush();
    succeed();
    return TRUE;
}

BOOL BASS_Stop()
{
    return pauseOutput(true);
}

BOOL BASS_Pause()
{
    return pauseOutput(false);
}

BOOL BASS_Update(DWORD length)
{
    (void)length; // decode threads keep their buffers full on their own; this only nudges them
    const std::shared_ptr<Session> session = sessionOrFail();
    if (!session)
        return FALSE;
    std::lock_guard<std::mutex> mix(session->mixer.lock);
    for (Channel *channel : session->mixer.playing) {
        channel->wakeEpoch.fetch_add(1, std::memory_order_release);
        channel->wakeEpoch.notify_all();
    }
    succeed();
    return TRUE;
}

float BASS_GetCPU()
{
    const std::shared_ptr<Session> session = sessionOrFail();
    if (!session)
        return -1.0f;
    static float last = 0.0f;
    std::lock_guard<std::mutex> guard(session->cpuLock);
    const auto now = std::chrono::steady_clock::now();
    const auto wall = std::chrono::duration_cast<std::chrono::nanoseconds>(now - session->cpuSince).count();
    if (wall >= 500000000) { // a fresh figure at most twice a second
        const std::uint64_t busy = session->busyNs.load();
        last = float(double(busy - session->cpuBusyAtSince) * 100.0 / double(wall));
        session->cpuSince = now;
        session->cpuBusyAtSince = busy;
    }
    succeed();
    return last;
}

BOOL BASS_SetConfig(DWORD option, DWORD value)
{
    Config &c = config();
    switch (option) {
    case BASS_CONFIG_BUFFER:
        c.bufferMs = std::clamp<DWORD>(value, 100, 5000);
        break;
    case BASS_CONFIG_UPDATEPERIOD:
        c.updatePeriodMs = std::clamp<DWORD>(value, 5, 500);
        break;
    case BASS_CONFIG_GVOL_STREAM:
        if (value > 10000)
            return fail(BASS_ERROR_ILLPARAM);
        c.globalStreamVolume = value;
        break;
    case BASS_CONFIG_FLOATDSP:
        c.floatDsp = value ? 1 : 0;
        break;
    case BASS_CONFIG_NET_TIMEOUT:
        c.netTimeoutMs = value;
        break;
    case BASS_CONFIG_NET_BUFFER:
        c.netBufferMs = std::clamp<DWORD>(value, 1000, 60000);
        break;
    case BASS_CONFIG_NET_PREBUF:
        c.netPrebufPercent = std::min<DWORD>(value, 100);
        break;
    case BASS_CONFIG_NET_PLAYLIST:
        if (value > 2)
            return fail(BASS_ERROR_ILLPARAM);
        c.netPlaylist = value;
        break;
    case BASS_CONFIG_WMA_PREBUF:
        c.wmaPrebuf = value ? 1 : 0;
        break;
    default:
        return fail(BASS_ERROR_ILLTYPE);
    }
    succeed();
    return TRUE;
}

DWORD BASS_GetConfig(DWORD option)
{
    const Config &c = config();
    DWORD value;
    switch (option) {
    case BASS_CONFIG_BUFFER:
        value = c.bufferMs;
        break;
    case BASS_CONFIG_UPDATEPERIOD:
        value = c.updatePeriodMs;
        break;
    case BASS_CONFIG_GVOL_STREAM:
        value = c.globalStreamVolume;
        break;
    case BASS_CONFIG_FLOATDSP:
        value = c.floatDsp;
        break;
    case BASS_CONFIG_NET_TIMEOUT:
        value = c.netTimeoutMs;
        break;
    case BASS_CONFIG_NET_BUFFER:
        value = c.netBufferMs;
        break;
    case BASS_CONFIG_NET_PREBUF:
        value = c.netPrebufPercent;
        break;
    case BASS_CONFIG_NET_PLAYLIST:
        value = c.netPlaylist;
        break;
    case BASS_CONFIG_WMA_PREBUF:
        value = c.wmaPrebuf;
        break;
    default:
        fail(BASS_ERROR_ILLTYPE);
        return DwordError;
    }
    succeed();
    return value;
}

BOOL BASS_SetConfigPtr(DWORD option, const void *value)
{
    if (option == BASS_CONFIG_NET_AGENT)
        config().setAgent(static_cast<const char *>(value));
    else if (option == BASS_CONFIG_NET_PROXY)
        config().setProxy(static_cast<const char *>(value));
    else if (option == BASS_CONFIG_NET_CA_EXTRA)
        config().setExtraCaFile(static_cast<const char *>(value));
    else
        return fail(BASS_ERROR_ILLTYPE);
    succeed();
    return TRUE;
}

const void *BASS_GetConfigPtr(DWORD option)
{
    if (option != BASS_CONFIG_NET_AGENT && option != BASS_CONFIG_NET_PROXY) {
        fail(BASS_ERROR_ILLTYPE);
        return nullptr;
    }
    succeed();
    return configPointer(option);
}

HPLUGIN BASS_PluginLoad(const char *file, DWORD flags)
{
    if (!file)
        return fail(BASS_ERROR_FILEOPEN);
    std::string name;
    if (flags & BASS_UNICODE) {
        if (!utf8FromWide(reinterpret_cast<const wchar_t *>(file), name))
            return fail(BASS_ERROR_FILEOPEN);
    } else {
        name = file;
    }
    // "dir/basswma.dll", "libbass_aac.so" and "bassflac" all name a built-in add-on.
    if (const auto slash = name.find_last_of("/\\"); slash != std::string::npos)
        name.erase(0, slash + 1);
    if (const auto dot = name.find('.'); dot != std::string::npos)
        name.erase(dot);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char ch) { return char(std::tolower(ch)); });
    if (name.rfind("lib", 0) == 0)
        name.erase(0, 3);
    static const char *const builtIn[] = {"basswma", "bass_aac", "bassflac", "bassopus"};
    for (std::size_t i = 0; i < std::size(builtIn); ++i) {
        if (name == builtIn[i]) {
            const HPLUGIN handle = HPLUGIN(0x7F000001 + i);
            std::lock_guard<std::mutex> guard(g_pluginLock);
            g_plugins.insert(handle);
            succeed();
            return handle;
        }
    }
    return fail(BASS_ERROR_FILEOPEN);
}

BOOL BASS_PluginFree(HPLUGIN handle)
{
    std::lock_guard<std::mutex> guard(g_pluginLock);
    if (handle == 0)
        g_plugins.clear();
    else if (g_plugins.erase(handle) == 0)
        return fail(BASS_ERROR_HANDLE);
    succeed();
    return TRUE;
}

BOOL BASS_SetAbortFlag(const std::atomic<bool> *flag)
{
    setCurrentAbortFlag(flag);
    succeed();
    return TRUE;
}

// ---- creators --------------------------------------------------------------------------------------

HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags)
{
    return createFromFile(Family::Plain, mem, file, offset, length, flags);
}

HSTREAM BASS_WMA_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags)
{
    return createFromFile(Family::Wma, mem, file, offset, length, flags);
}

HSTREAM BASS_AAC_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags)
{
    return createFromFile(Family::Aac, mem, file, offset, length, flags);
}

HSTREAM BASS_MP4_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags)
{
    return createFromFile(Family::Mp4, mem, file, offset, length, flags);
}

HSTREAM BASS_FLAC_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags)
{
    return createFromFile(Family::Flac, mem, file, offset, length, flags);
}

BOOL BASS_StreamFree(HSTREAM handle)
{
    return Engine::instance().freeChannel(handle);
}

QWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return QwordError;
    Decoder &decoder = channel->decoder();
    ByteSource &source = decoder.source();
    std::int64_t value;
    switch (mode) {
    case BASS_FILEPOS_CURRENT:
        value = decoder.consumedBytes();
        break;
    case BASS_FILEPOS_DOWNLOAD:
        value = source.downloaded();
        break;
    case BASS_FILEPOS_END:
        // A network stream read in blocks reports its download buffer, so that the share of it
        // that is filled can be watched before playback starts.
        value = !source.isLocal() && (channel->flags & BASS_STREAM_BLOCK) && source.bufferSize() > 0
                    ? source.bufferSize()
                    : source.size();
        if (value < 0) {
            fail(BASS_ERROR_NOTAVAIL);
            return QwordError;
        }
        break;
    case BASS_FILEPOS_START:
        value = decoder.dataStart();
        break;
    case BASS_FILEPOS_BUFFER:
        value = std::max<std::int64_t>(source.downloaded() - source.position(), 0);
        break;
    case BASS_FILEPOS_CONNECTED:
        if (source.isLocal()) {
            fail(BASS_ERROR_NOTFILE);
            return QwordError;
        }
        value = 1;
        break;
    default:
        fail(BASS_ERROR_ILLTYPE);
        return QwordError;
    }
    succeed();
    return QWORD(value);
}

// ---- channels --------------------------------------------------------------------------------------

DWORD BASS_ChannelIsActive(DWORD handle)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return BASS_ACTIVE_STOPPED;
    succeed();
    return activeState(*channel);
}

BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO *info)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return FALSE;
    if (!info)
        return fail(BASS_ERROR_ILLPARAM);
    info->freq = DWORD(channel->rate());
    info->chans = DWORD(channel->channels());
    info->flags = channel->flags;
    info->ctype = channel->decoder().ctype();
    info->origres = channel->decoder().originalResolution();
    info->plugin = 0;
    info->sample = 0;
    info->filename = channel->filename().empty() ? nullptr : channel->filename().c_str();
    succeed();
    return TRUE;
}

const char *BASS_ChannelGetTags(DWORD handle, DWORD tags)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return nullptr;
    const char *text = channel->tags(tags);
    if (!text)
        fail(BASS_ERROR_NOTAVAIL);
    else
        succeed();
    return text;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    return channel ? Engine::instance().playChannel(channel, restart) : FALSE;
}

BOOL BASS_ChannelStop(DWORD handle)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    return channel ? Engine::instance().stopChannel(channel) : FALSE;
}

BOOL BASS_ChannelPause(DWORD handle)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    return channel ? Engine::instance().pauseChannel(channel) : FALSE;
}

static BOOL slide(DWORD handle, DWORD attrib, float value, DWORD timeMs)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return FALSE;
    if (!std::isfinite(value))
        return fail(BASS_ERROR_ILLPARAM);
    Ramp *ramp;
    if (attrib == BASS_ATTRIB_VOL) {
        if (value < 0)
            return fail(BASS_ERROR_ILLPARAM);
        ramp = &channel->volume;
    } else if (attrib == BASS_ATTRIB_PAN) {
        value = std::clamp(value, -1.0f, 1.0f);
        ramp = &channel->pan;
    } else if (attrib == BASS_ATTRIB_FREQ) {
        if (value != 0 && value != float(channel->rate()))
            return fail(BASS_ERROR_NOTAVAIL); // playback at another rate is not offered
        succeed();
        return TRUE;
    } else {
        return fail(BASS_ERROR_ILLTYPE);
    }
    Session &session = channel->session();
    const auto frames = channel->isDecodingChannel() ? 0 : std::int64_t(timeMs) * session.rate / 1000;
    {
        std::lock_guard<std::mutex> mix(session.mixer.lock);
        ramp->slideTo(value, frames);
    }
    if (frames == 0 && timeMs > 0)
        channel->fire(BASS_SYNC_SLIDE, 0, false);
    succeed();
    return TRUE;
}

BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value)
{
    return slide(handle, attrib, value, 0);
}

BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float *value)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return FALSE;
    if (!value)
        return fail(BASS_ERROR_ILLPARAM);
    std::lock_guard<std::mutex> mix(channel->session().mixer.lock);
    if (attrib == BASS_ATTRIB_VOL)
        *value = channel->volume.value;
    else if (attrib == BASS_ATTRIB_PAN)
        *value = channel->pan.value;
    else if (attrib == BASS_ATTRIB_FREQ)
        *value = float(channel->rate());
    else
        return fail(BASS_ERROR_ILLTYPE);
    succeed();
    return TRUE;
}

BOOL BASS_ChannelSlideAttribute(DWORD handle, DWORD attrib, float value, DWORD time)
{
    return slide(handle, attrib, value, time);
}

BOOL BASS_ChannelIsSliding(DWORD handle, DWORD attrib)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return FALSE;
    succeed();
    std::lock_guard<std::mutex> mix(channel->session().mixer.lock);
    if (attrib == BASS_ATTRIB_VOL)
        return channel->volume.sliding();
    if (attrib == BASS_ATTRIB_PAN)
        return channel->pan.sliding();
    return attrib == 0 && (channel->volume.sliding() || channel->pan.sliding());
}

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return QwordError;
    if (mode != BASS_POS_BYTE) {
        fail(BASS_ERROR_NOTAVAIL);
        return QwordError;
    }
    const std::int64_t frames = channel->decoder().lengthFrames();
    if (frames < 0) {
        fail(BASS_ERROR_NOTAVAIL);
        return QwordError;
    }
    succeed();
    return QWORD(frames) * QWORD(channel->frameBytes());
}

QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return QwordError;
    if (mode != BASS_POS_BYTE) {
        fail(BASS_ERROR_NOTAVAIL);
        return QwordError;
    }
    std::int64_t frame;
    if (channel->isDecodingChannel()) {
        frame = channel->decodedPosition();
    } else {
        std::lock_guard<std::mutex> mix(channel->session().mixer.lock);
        frame = channel->baseFrame + channel->toChannelFrames(heardFrames(*channel));
    }
    succeed();
    return QWORD(frame) * QWORD(channel->frameBytes());
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return FALSE;
    if (mode != BASS_POS_BYTE)
        return fail(BASS_ERROR_NOTAVAIL);
    if (!channel->decoder().seekable())
        return fail(BASS_ERROR_NOTFILE);
    if (!channel->seek(std::int64_t(pos / QWORD(channel->frameBytes()))))
        return fail(BASS_ERROR_POSITION);
    succeed();
    return TRUE;
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return -1.0;
    if (pos == QwordError) {
        fail(BASS_ERROR_ILLPARAM);
        return -1.0;
    }
    succeed();
    return double(pos) / double(channel->frameBytes()) / double(channel->rate());
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return QwordError;
    if (!std::isfinite(pos) || pos < 0 || pos > 1e9) {
        fail(BASS_ERROR_ILLPARAM);
        return QwordError;
    }
    succeed();
    // The small bias keeps 1.0 s from becoming one frame short through rounding.
    return QWORD(std::floor(pos * channel->rate() + 1e-6)) * QWORD(channel->frameBytes());
}

DWORD BASS_ChannelGetLevel(DWORD handle)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return DwordError;
    auto scale = [](float peak) { return DWORD(std::lround(std::min(peak, 1.0f) * 32768.0f)); };
    if (channel->isDecodingChannel()) {
        // A decoding channel has nothing being heard: measure the next 20 ms (and consume them).
        std::vector<float> block(std::size_t(channel->rate() / 50) * std::size_t(channel->channels()));
        const DWORD got = channel->readDecoded(block.data(), DWORD(block.size() * sizeof(float)), true);
        if (got == DwordError)
            return DwordError;
        float left = 0, right = 0;
        const int chans = channel->channels();
        for (std::size_t i = 0; i + std::size_t(chans) <= got / sizeof(float); i += std::size_t(chans)) {
            left = std::max(left, std::fabs(block[i]));
            right = std::max(right, std::fabs(block[i + std::size_t(chans) - 1]));
        }
        succeed();
        return scale(left) | (scale(right) << 16);
    }
    Session &session = channel->session();
    std::lock_guard<std::mutex> mix(session.mixer.lock);
    if (channel->state != PlayState::Playing && channel->state != PlayState::Stalled) {
        fail(BASS_ERROR_NOPLAY);
        return 0; // silence rather than an error value that reads as full scale
    }
    // The windows around what is being heard now: the last 20 ms.
    const std::uint64_t heard = heardFrames(*channel);
    const std::uint64_t window = std::uint64_t(std::max(session.rate / 100, 1));
    float left = 0, right = 0;
    const std::uint32_t count = std::min<std::uint32_t>(channel->levelCount, std::size(channel->levels));
    for (std::uint32_t i = 0; i < count; ++i) {
        const LevelWindow &w = channel->levels[(channel->levelCount - 1 - i) % std::size(channel->levels)];
        if (w.end + 2 * window <= heard)
            break;
        if (w.end <= heard + window) {
            left = std::max(left, w.left);
            right = std::max(right, w.right);
        }
    }
    succeed();
    return scale(left) | (scale(right) << 16);
}

DWORD BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return DwordError;
    if (length == BASS_DATA_AVAILABLE) {
        std::int64_t frames;
        if (channel->isDecodingChannel()) {
            frames = channel->decodedAvailable();
        } else {
            std::lock_guard<std::mutex> mix(channel->session().mixer.lock);
            const std::uint64_t heard = heardFrames(*channel);
            frames =
                channel->toChannelFrames(channel->ring.written() - std::min(heard, channel->ring.written()));
        }
        succeed();
        return DWORD(frames * channel->frameBytes());
    }
    if (length & BASS_DATA_FFT256) {
        fail(BASS_ERROR_NOTAVAIL);
        return DwordError;
    }
    if ((length & BASS_DATA_FIXED) || !buffer) {
        fail(BASS_ERROR_ILLPARAM);
        return DwordError;
    }
    const bool asFloat = length & BASS_DATA_FLOAT;
    const DWORD bytes = length & 0x0FFFFFFF;
    if (channel->isDecodingChannel())
        return channel->readDecoded(buffer, bytes, asFloat);
    // A playing channel: a copy of what is about to be played (at the output rate).
    const int sample = asFloat ? 4 : channel->sampleBytes();
    std::vector<float> frames(std::size_t(bytes / DWORD(sample * channel->channels())) *
                              std::size_t(channel->channels()));
    const std::size_t got =
        channel->ring.peek(frames.data(), frames.size() / std::size_t(channel->channels()));
    const std::size_t samples = got * std::size_t(channel->channels());
    if (sample == 4) {
        std::memcpy(buffer, frames.data(), samples * sizeof(float));
    } else {
        for (std::size_t i = 0; i < samples; ++i) {
            const float v = std::clamp(frames[i], -1.0f, 1.0f);
            if (sample == 2)
                static_cast<std::int16_t *>(buffer)[i] = std::int16_t(std::lround(v * 32767.0f));
            else
                static_cast<std::uint8_t *>(buffer)[i] = std::uint8_t(std::lround(v * 127.0f) + 128);
        }
    }
    succeed();
    return DWORD(samples) * DWORD(sample);
}

DWORD BASS_ChannelGetDevice(DWORD handle)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return DwordError;
    succeed();
    return channel->isDecodingChannel() ? BASS_NODEVICE : DWORD(channel->session().device);
}

BOOL BASS_ChannelSetDevice(DWORD handle, DWORD device)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return FALSE;
    const DWORD current = channel->isDecodingChannel() ? BASS_NODEVICE : DWORD(channel->session().device);
    if (device != current)
        return fail(BASS_ERROR_DEVICE); // one output device at a time
    succeed();
    return TRUE;
}

HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC *proc, void *user)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return 0;
    if (!proc)
        return fail(BASS_ERROR_ILLPARAM);
    switch (type & ~DWORD(BASS_SYNC_MIXTIME | BASS_SYNC_ONETIME)) {
    case BASS_SYNC_POS:
    case BASS_SYNC_END:
    case BASS_SYNC_META:
    case BASS_SYNC_SLIDE:
    case BASS_SYNC_STALL:
    case BASS_SYNC_DOWNLOAD:
    case BASS_SYNC_DEV_FAIL:
    case BASS_SYNC_DEV_BACK:
    case BASS_SYNC_FREE:
    case BASS_SYNC_WMA_CHANGE:
    case BASS_SYNC_WMA_META:
        break;
    default:
        return fail(BASS_ERROR_ILLTYPE);
    }
    succeed();
    return channel->addSync(type, param, proc, user);
}

BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return FALSE;
    // Waits for a sync callback that is running, so the caller may free what it uses.
    std::lock_guard<std::recursive_mutex> delivering(channel->session().callbacks.deliveryLock());
    if (!channel->removeSync(sync))
        return fail(BASS_ERROR_HANDLE);
    succeed();
    return TRUE;
}

HDSP BASS_ChannelSetDSP(DWORD handle, DSPPROC *proc, void *user, int priority)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return 0;
    if (!proc)
        return fail(BASS_ERROR_ILLPARAM);
    succeed();
    return channel->addProcessor(priority, proc, user, nullptr);
}

BOOL BASS_ChannelRemoveDSP(DWORD handle, HDSP dsp)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return FALSE;
    if (!channel->removeProcessor(dsp, false))
        return fail(BASS_ERROR_HANDLE);
    succeed();
    return TRUE;
}

HFX BASS_ChannelSetFX(DWORD handle, DWORD type, int priority)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return 0;
    if (type != BASS_FX_DX8_COMPRESSOR)
        return fail(BASS_ERROR_ILLTYPE);
    const HFX effect = channel->addProcessor(priority, nullptr, nullptr, std::make_unique<Compressor>());
    Engine::instance().registerEffect(effect, handle);
    succeed();
    return effect;
}

BOOL BASS_ChannelRemoveFX(DWORD handle, HFX fx)
{
    const std::shared_ptr<Channel> channel = channelOrFail(handle);
    if (!channel)
        return FALSE;
    if (!channel->removeProcessor(fx, true))
        return fail(BASS_ERROR_HANDLE);
    Engine::instance().unregisterEffect(fx);
    succeed();
    return TRUE;
}

BOOL BASS_FXSetParameters(HFX handle, const void *params)
{
    const std::shared_ptr<Channel> channel = Engine::instance().effectOwner(handle);
    if (!channel)
        return fail(BASS_ERROR_HANDLE);
    if (!params || !channel->setEffectParameters(handle, *static_cast<const BASS_DX8_COMPRESSOR *>(params)))
        return fail(BASS_ERROR_ILLPARAM);
    succeed();
    return TRUE;
}

BOOL BASS_FXGetParameters(HFX handle, void *params)
{
    const std::shared_ptr<Channel> channel = Engine::instance().effectOwner(handle);
    if (!channel)
        return fail(BASS_ERROR_HANDLE);
    if (!params || !channel->effectParameters(handle, *static_cast<BASS_DX8_COMPRESSOR *>(params)))
        return fail(BASS_ERROR_ILLPARAM);
    succeed();
    return TRUE;
}

BOOL BASS_FXReset(DWORD handle)
{
    if (const std::shared_ptr<Channel> owner = Engine::instance().effectOwner(handle)) {
        owner->resetEffects(handle);
    } else if (const std::shared_ptr<Channel> channel = Engine::instance().channel(handle)) {
        channel->resetEffects(0);
    } else {
        return fail(BASS_ERROR_HANDLE);
    }
    succeed();
    return TRUE;
}
