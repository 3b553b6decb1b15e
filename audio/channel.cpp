#include "channel.h"

#include "engine.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tunora::audio {

namespace {

std::int16_t toShort(float v)
{
    const float scaled = std::nearbyint(v * 32768.0f);
    return std::int16_t(std::clamp(scaled, -32768.0f, 32767.0f));
}

std::uint8_t toByte(float v)
{
    const float scaled = std::nearbyint(v * 128.0f);
    return std::uint8_t(std::clamp(scaled, -128.0f, 127.0f) + 128.0f);
}

// Copies float samples into the channel's own sample format.
void exportSamples(const float *in, std::size_t count, void *out, int sampleBytes)
{
    if (sampleBytes == 4) {
        std::memcpy(out, in, count * sizeof(float));
    } else if (sampleBytes == 2) {
        auto *shorts = static_cast<std::int16_t *>(out);
        for (std::size_t i = 0; i < count; ++i)
            shorts[i] = toShort(in[i]);
    } else {
        auto *bytes = static_cast<std::uint8_t *>(out);
        for (std::size_t i = 0; i < count; ++i)
            bytes[i] = toByte(in[i]);
    }
}

// Runs on the callback thread: calls the sync unless it or its channel went away meanwhile.
void deliverSync(HSTREAM channelHandle, HSYNC id, DWORD data)
{
    const std::shared_ptr<Channel> channel = Engine::instance().channel(channelHandle);
    SyncEntry entry;
    if (!channel || !channel->lookupSync(id, entry))
        return;
    if (entry.flags & BASS_SYNC_ONETIME)
        channel->removeSync(id);
    entry.proc(id, channelHandle, data, entry.user);
}

} // namespace

Channel::Channel(std::shared_ptr<Session> session, HSTREAM handle_, DWORD flags_,
                 std::unique_ptr<Decoder> decoder, std::string filename)
    : handle(handle_)
    , flags(flags_)
    , m_session(std::move(session))
    , m_decoder(std::move(decoder))
    , m_filename(std::move(filename))
    , m_rate(m_decoder->rate())
    , m_channels(m_decoder->channels())
    , m_outputRate(m_session->rate)
{
    std::vector<std::string> comments = m_decoder->comments();
    if (!comments.empty())
        setTags(BASS_TAG_OGG, comments);
    if (!m_decoder->headerAttributes().empty())
        setTags(BASS_TAG_WMA, m_decoder->headerAttributes());
}

Channel::~Channel()
{
    shutdown();
    swr_free(&m_toOutput);
}

std::int64_t Channel::toChannelFrames(std::uint64_t outputFrames) const
{
    if (m_rate == m_outputRate)
        return std::int64_t(outputFrames);
    return std::int64_t(outputFrames * std::uint64_t(m_rate) / std::uint64_t(m_outputRate));
}

std::uint64_t Channel::toOutputFrames(std::int64_t channelFrames) const
{
    if (channelFrames <= 0)
        return 0;
    if (m_rate == m_outputRate)
        return std::uint64_t(channelFrames);
    return std::uint64_t(channelFrames) * std::uint64_t(m_outputRate) / std::uint64_t(m_rate);
}

void Channel::prepare()
{
    const DWORD bufferMs = std::clamp<DWORD>(config().bufferMs.load(), 100, 5000);
    ring.allocate(std::size_t(m_outputRate) * bufferMs / 1000, m_channels);
    if (m_rate != m_outputRate) {
        AVChannelLayout layout;
        av_channel_layout_default(&layout, m_channels);
        if (swr_alloc_set_opts2(&m_toOutput, &layout, AV_SAMPLE_FMT_FLT, m_outputRate, &layout,
                                AV_SAMPLE_FMT_FLT, m_rate, 0, nullptr) < 0 ||
            swr_init(m_toOutput) < 0)
            swr_free(&m_toOutput);
    }
}

void Channel::startDecoding()
{
    if (isDecodingChannel())
        return;
    std::lock_guard<std::mutex> guard(m_control);
    if (m_started || m_stop)
        return;
    m_started = true;
    m_thread = std::thread([this] { decodeLoop(); });
    m_threadId.store(m_thread.get_id(), std::memory_order_release);
}

void Channel::wakeDecoder()
{
    wakeEpoch.fetch_add(1, std::memory_order_release);
    wakeEpoch.notify_all();
}

void Channel::shutdown()
{
    if (m_shutDown.exchange(true))
        return;
    {
        std::lock_guard<std::mutex> guard(m_control);
        m_stop = true;
    }
    m_decoder->interrupt();
    wakeDecoder();
    m_seekDone.notify_all();
    // m_stop is set: no start can follow, and one that came before is seen through m_control.
    if (m_thread.joinable()) {
        if (std::this_thread::get_id() == m_thread.get_id())
            m_thread.detach(); // never reached: frees on the decode thread are handed over
        else
            m_thread.join();
    }
}

bool Channel::produce(DecodedBlock &block, std::vector<float> &out)
{
    if (!m_decoder->next(block)) {
        out.clear();
        if (m_toOutput) { // what the resampler still holds
            const int room = swr_get_out_samples(m_toOutput, 0);
            if (room > 0) {
                out.resize(std::size_t(room) * std::size_t(m_channels));
                auto *dst = reinterpret_cast<std::uint8_t *>(out.data());
                const int got = swr_convert(m_toOutput, &dst, room, nullptr, 0);
                out.resize(std::size_t(std::max(got, 0)) * std::size_t(m_channels));
            }
        }
        return false;
    }
    process(block.samples.data(), block.frames);
    if (!m_toOutput) {
        out.assign(block.samples.begin(), block.samples.begin() + std::ptrdiff_t(block.frames * m_channels));
        return true;
    }
    const int room = swr_get_out_samples(m_toOutput, int(block.frames));
    out.resize(std::size_t(std::max(room, 0)) * std::size_t(m_channels));
    auto *dst = reinterpret_cast<std::uint8_t *>(out.data());
    const auto *src = reinterpret_cast<const std::uint8_t *>(block.samples.data());
    const int got = swr_convert(m_toOutput, &dst, room, &src, int(block.frames));
    out.resize(std::size_t(std::max(got, 0)) * std::size_t(m_channels));
    return true;
}

void Channel::decodeLoop()
{
    DecodedBlock block;
    std::vector<float> pending;
    std::size_t pendingOffset = 0;               // frames of `pending` already in the ring
    std::int64_t channelPosition = m_startFrame; // channel frame of the next decoded frame
    bool ended = false;
    for (;;) {
        const std::uint32_t epoch = wakeEpoch.load(std::memory_order_acquire);
        {
            std::unique_lock<std::mutex> lock(m_control);
            if (m_stop)
                break;
            if (m_seekRequested) {
                const std::int64_t target = m_seekTarget;
                lock.unlock();
                const bool ok = m_decoder->seek(target);
                if (ok) {
                    std::lock_guard<std::mutex> mix(m_session->mixer.lock);
                    ring.reset();
                    consumed = 0;
                    baseFrame = target;
                    marks.clear();
                    levelCount = 0;
                    levelOpen = {};
                    levelOpenFrames = 0;
                    decodeEnded.store(false, std::memory_order_release);
                    pending.clear();
                    pendingOffset = 0;
                    channelPosition = target;
                    ended = false;
                    if (m_toOutput)
                        swr_init(m_toOutput);
                }
                lock.lock();
                m_seekRequested = false;
                m_seekOk = ok;
                lock.unlock();
                m_seekDone.notify_all();
                continue;
            }
        }
        if (pendingOffset * std::size_t(m_channels) >= pending.size()) {
            if (ended) {
                wakeEpoch.wait(epoch, std::memory_order_acquire); // until a seek or the end
                continue;
            }
            BusyTimer busy(*m_session);
            const bool more = produce(block, pending);
            pendingOffset = 0;
            if (more) {
                const std::int64_t from = channelPosition;
                channelPosition += block.frames;
                firePositionSyncs(from, channelPosition, true, 0);
                for (const SourceEvent &event : block.events)
                    fireEvent(event, true); // MIXTIME syncs: when decoded
                if (!block.events.empty()) {
                    const std::uint64_t at = ring.written();
                    std::lock_guard<std::mutex> mix(m_session->mixer.lock);
                    for (const SourceEvent &event : block.events)
                        marks.push_back({at, event});
                }
            } else {
                ended = true;
                if (pending.empty()) {
                    decodeEnded.store(true, std::memory_order_release);
                    fire(BASS_SYNC_END, 0, true);
                }
                continue;
            }
        }
        const std::size_t frames = pending.size() / std::size_t(m_channels);
        pendingOffset +=
            ring.write(pending.data() + pendingOffset * std::size_t(m_channels), frames - pendingOffset);
        if (pendingOffset < frames) {
            // Full: sleep until the mixer has freed half of the ring (or a seek/stop).
            decoderWaiting.store(true, std::memory_order_seq_cst);
            waitHandshake.fetch_add(1, std::memory_order_acq_rel);
            if (ring.writable() < ring.capacity() / 2)
                wakeEpoch.wait(epoch, std::memory_order_acquire);
            decoderWaiting.store(false, std::memory_order_relaxed);
        } else if (ended) {
            decodeEnded.store(true, std::memory_order_release);
            fire(BASS_SYNC_END, 0, true);
        }
    }
}

bool Channel::seek(std::int64_t frame)
{
    if (!m_decoder->seekable() || frame < 0)
        return false;
    const std::int64_t length = m_decoder->lengthFrames();
    if (length >= 0 && frame > length)
        return false;
    if (isDecodingChannel()) {
        std::lock_guard<std::mutex> guard(m_readLock);
        if (!m_decoder->seek(frame))
            return false;
        m_block.frames = 0;
        m_blockOffset = 0;
        m_delivered = frame;
        m_endFired = false;
        return true;
    }
    std::unique_lock<std::mutex> lock(m_control);
    if (m_stop)
        return false;
    if (!m_started) {
        // Not played yet: nothing decoded, the decoder moves here (a start waits for m_control).
        if (!m_decoder->seek(frame))
            return false;
        m_startFrame = frame;
        std::lock_guard<std::mutex> mix(m_session->mixer.lock);
        baseFrame = frame;
        return true;
    }
    m_seekTarget = frame;
    m_seekRequested = true;
    lock.unlock();
    wakeDecoder();
    lock.lock();
    m_seekDone.wait(lock, [&] { return !m_seekRequested || m_stop; });
    return m_seekOk && !m_stop;
}

DWORD Channel::readDecoded(void *buffer, DWORD bytes, bool asFloat)
{
    std::lock_guard<std::mutex> guard(m_readLock);
    BusyTimer busy(*m_session);
    const int sample = asFloat ? 4 : sampleBytes();
    const std::int64_t wanted = std::int64_t(bytes) / (sample * m_channels);
    auto *out = static_cast<std::uint8_t *>(buffer);
    std::int64_t done = 0;
    while (done < wanted) {
        if (m_blockOffset >= m_block.frames) {
            m_blockOffset = 0;
            if (!m_decoder->next(m_block)) {
                m_block.frames = 0;
                break;
            }
            for (const SourceEvent &event : m_block.events) {
                fireEvent(event, true);
                fireEvent(event, false);
            }
        }
        const std::int64_t count = std::min(wanted - done, m_block.frames - m_blockOffset);
        // The chain runs on exactly what is delivered, so a change to it applies from the next read.
        process(m_block.samples.data() + m_blockOffset * m_channels, count);
        exportSamples(m_block.samples.data() + m_blockOffset * m_channels, std::size_t(count * m_channels),
                      out + done * sample * m_channels, sample);
        m_blockOffset += count;
        done += count;
    }
    const std::int64_t from = m_delivered;
    m_delivered += done;
    firePositionSyncs(from, m_delivered, true, 0);
    firePositionSyncs(from, m_delivered, false, 0);
    if (done < wanted && m_decoder->ended() && !m_endFired) {
        m_endFired = true;
        fire(BASS_SYNC_END, 0, true);
        fire(BASS_SYNC_END, 0, false);
    }
    if (done == 0 && wanted > 0) {
        fail(BASS_ERROR_ENDED);
        return DWORD(-1);
    }
    succeed();
    return DWORD(done * sample * m_channels);
}

std::int64_t Channel::decodedPosition()
{
    std::lock_guard<std::mutex> guard(m_readLock);
    return m_delivered;
}

std::int64_t Channel::decodedAvailable()
{
    std::lock_guard<std::mutex> guard(m_readLock);
    return std::max<std::int64_t>(m_block.frames - m_blockOffset, 0);
}

bool Channel::decodingEnded()
{
    std::lock_guard<std::mutex> guard(m_readLock);
    return m_decoder->ended() && m_blockOffset >= m_block.frames;
}

// ---- processing chain ------------------------------------------------------------------------

void Channel::process(float *samples, std::int64_t frames)
{
    std::lock_guard<std::recursive_mutex> guard(m_chain);
    if (m_processors.empty() || frames <= 0)
        return;
    m_snapshot = m_processors;
    const bool floatDsp = config().floatDsp.load(std::memory_order_relaxed) || (flags & BASS_SAMPLE_FLOAT);
    const std::size_t count = std::size_t(frames) * std::size_t(m_channels);
    for (const std::shared_ptr<ChainEntry> &entry : m_snapshot) {
        if (entry->removed)
            continue;
        if (entry->effect) {
            entry->effect->process(samples, frames, m_channels, m_rate);
        } else if (floatDsp) {
            entry->proc(entry->id, handle, samples, DWORD(count * sizeof(float)), entry->user);
        } else if (sampleBytes() == 1) {
            m_bytes.resize(count);
            exportSamples(samples, count, m_bytes.data(), 1);
            entry->proc(entry->id, handle, m_bytes.data(), DWORD(count), entry->user);
            for (std::size_t i = 0; i < count; ++i)
                samples[i] = (float(m_bytes[i]) - 128.0f) / 128.0f;
        } else {
            m_shorts.resize(count);
            exportSamples(samples, count, m_shorts.data(), 2);
            entry->proc(entry->id, handle, m_shorts.data(), DWORD(count * 2), entry->user);
            for (std::size_t i = 0; i < count; ++i)
                samples[i] = float(m_shorts[i]) / 32768.0f;
        }
    }
    m_snapshot.clear();
}

DWORD Channel::addProcessor(int priority, DSPPROC *proc, void *user, std::unique_ptr<Compressor> effect)
{
    auto entry = std::make_shared<ChainEntry>();
    entry->id = Engine::instance().newHandle();
    entry->priority = priority;
    entry->proc = proc;
    entry->user = user;
    entry->effect = std::move(effect);
    std::lock_guard<std::recursive_mutex> guard(m_chain);
    entry->order = ++m_processorOrder;
    const auto at =
        std::find_if(m_processors.begin(), m_processors.end(),
                     [&](const std::shared_ptr<ChainEntry> &e) { return e->priority < priority; });
    m_processors.insert(at, entry);
    return entry->id;
}

bool Channel::removeProcessor(DWORD id, bool effect)
{
    std::lock_guard<std::recursive_mutex> guard(m_chain); // waits for a DSP call in progress
    const auto it =
        std::find_if(m_processors.begin(), m_processors.end(), [&](const std::shared_ptr<ChainEntry> &e) {
            return e->id == id && bool(e->effect) == effect;
        });
    if (it == m_processors.end())
        return false;
    (*it)->removed = true;
    m_processors.erase(it);
    return true;
}

bool Channel::hasEffect(DWORD id)
{
    std::lock_guard<std::recursive_mutex> guard(m_chain);
    return std::any_of(m_processors.begin(), m_processors.end(),
                       [&](const std::shared_ptr<ChainEntry> &e) { return e->id == id && e->effect; });
}

bool Channel::setEffectParameters(DWORD id, const BASS_DX8_COMPRESSOR &parameters)
{
    std::lock_guard<std::recursive_mutex> guard(m_chain);
    for (const std::shared_ptr<ChainEntry> &e : m_processors)
        if (e->id == id && e->effect)
            return e->effect->setParameters(parameters);
    return false;
}

bool Channel::effectParameters(DWORD id, BASS_DX8_COMPRESSOR &parameters)
{
    std::lock_guard<std::recursive_mutex> guard(m_chain);
    for (const std::shared_ptr<ChainEntry> &e : m_processors)
        if (e->id == id && e->effect) {
            parameters = e->effect->parameters();
            return true;
        }
    return false;
}

void Channel::resetEffects(DWORD id)
{
    std::lock_guard<std::recursive_mutex> guard(m_chain);
    for (const std::shared_ptr<ChainEntry> &e : m_processors)
        if (e->effect && (id == 0 || e->id == id))
            e->effect->reset();
}

std::vector<DWORD> Channel::effectIds()
{
    std::lock_guard<std::recursive_mutex> guard(m_chain);
    std::vector<DWORD> ids;
    for (const std::shared_ptr<ChainEntry> &e : m_processors)
        if (e->effect)
            ids.push_back(e->id);
    return ids;
}

// ---- syncs -------------------------------------------------------------------------------------

HSYNC Channel::addSync(DWORD type, QWORD param, SYNCPROC *proc, void *user)
{
    SyncEntry entry;
    entry.id = Engine::instance().newHandle();
    entry.type = type & ~DWORD(BASS_SYNC_MIXTIME | BASS_SYNC_ONETIME);
    entry.flags = type & DWORD(BASS_SYNC_MIXTIME | BASS_SYNC_ONETIME);
    entry.param = param;
    entry.proc = proc;
    entry.user = user;
    std::lock_guard<std::mutex> guard(m_syncLock);
    m_syncs.push_back(entry);
    return entry.id;
}

bool Channel::removeSync(HSYNC id)
{
    std::lock_guard<std::mutex> guard(m_syncLock);
    const auto it =
        std::find_if(m_syncs.begin(), m_syncs.end(), [&](const SyncEntry &e) { return e.id == id; });
    if (it == m_syncs.end())
        return false;
    m_syncs.erase(it);
    return true;
}

bool Channel::lookupSync(HSYNC id, SyncEntry &entry)
{
    std::lock_guard<std::mutex> guard(m_syncLock);
    for (const SyncEntry &e : m_syncs)
        if (e.id == id) {
            entry = e;
            return true;
        }
    return false;
}

std::vector<SyncEntry> Channel::takeSyncs(DWORD type)
{
    std::lock_guard<std::mutex> guard(m_syncLock);
    std::vector<SyncEntry> taken;
    for (const SyncEntry &e : m_syncs)
        if (e.type == type)
            taken.push_back(e);
    return taken;
}

void Channel::fire(DWORD type, DWORD data, bool mixTime, std::int64_t delayFrames)
{
    std::vector<SyncEntry> now;
    std::vector<HSYNC> later;
    {
        std::lock_guard<std::mutex> guard(m_syncLock);
        for (auto it = m_syncs.begin(); it != m_syncs.end();) {
            if (it->type != type || bool(it->flags & BASS_SYNC_MIXTIME) != mixTime) {
                ++it;
                continue;
            }
            if (mixTime)
                now.push_back(*it);
            else
                later.push_back(it->id);
            if (it->flags & BASS_SYNC_ONETIME && mixTime)
                it = m_syncs.erase(it);
            else
                ++it;
        }
    }
    for (const SyncEntry &e : now)
        e.proc(e.id, handle, data, e.user);
    if (later.empty())
        return;
    const auto due = m_session->dueAfter(delayFrames);
    const HSTREAM channelHandle = handle;
    for (HSYNC id : later)
        m_session->callbacks.post(due, [channelHandle, id, data] { deliverSync(channelHandle, id, data); });
}

void Channel::fireEvent(const SourceEvent &event, bool mixTime, std::int64_t delayFrames)
{
    if (!event.tag) {
        fire(event.type, event.data, mixTime, delayFrames);
        return;
    }
    const bool single = event.tagType == BASS_TAG_META;
    if (mixTime) {
        bool any = false;
        {
            std::lock_guard<std::mutex> guard(m_syncLock);
            for (const SyncEntry &e : m_syncs)
                any = any || (e.type == event.type && (e.flags & BASS_SYNC_MIXTIME));
        }
        if (any)
            setTags(event.tagType, *event.tag, single);
        fire(event.type, event.data, true);
        return;
    }
    std::vector<HSYNC> later;
    {
        std::lock_guard<std::mutex> guard(m_syncLock);
        for (const SyncEntry &e : m_syncs)
            if (e.type == event.type && !(e.flags & BASS_SYNC_MIXTIME))
                later.push_back(e.id);
    }
    const HSTREAM channelHandle = handle;
    m_session->callbacks.post(m_session->dueAfter(delayFrames), [channelHandle, later, event, single] {
        const std::shared_ptr<Channel> channel = Engine::instance().channel(channelHandle);
        if (!channel)
            return;
        channel->setTags(event.tagType, *event.tag, single);
        for (HSYNC id : later)
            deliverSync(channelHandle, id, event.data);
    });
}

void Channel::firePositionSyncs(std::int64_t from, std::int64_t to, bool mixTime, std::int64_t delayFrames)
{
    if (to <= from)
        return;
    std::vector<std::pair<HSYNC, std::int64_t>> crossed;
    {
        std::lock_guard<std::mutex> guard(m_syncLock);
        for (const SyncEntry &e : m_syncs) {
            if (e.type != BASS_SYNC_POS || bool(e.flags & BASS_SYNC_MIXTIME) != mixTime)
                continue;
            const auto frame = std::int64_t(e.param / QWORD(frameBytes()));
            if (frame >= from && frame < to)
                crossed.emplace_back(e.id, frame);
        }
    }
    for (const auto &crossing : crossed) {
        const HSYNC id = crossing.first;
        const std::int64_t frame = crossing.second;
        SyncEntry entry;
        if (!lookupSync(id, entry))
            continue;
        if (mixTime) {
            if (entry.flags & BASS_SYNC_ONETIME)
                removeSync(id);
            entry.proc(id, handle, 0, entry.user);
            continue;
        }
        const std::int64_t offset = std::int64_t(toOutputFrames(frame)) - std::int64_t(toOutputFrames(from));
        const HSTREAM channelHandle = handle;
        m_session->callbacks.post(m_session->dueAfter(delayFrames + offset),
                                  [channelHandle, id] { deliverSync(channelHandle, id, 0); });
    }
}

// ---- tags ----------------------------------------------------------------------------------------

void Channel::setTags(DWORD type, const std::vector<std::string> &items, bool singleString)
{
    auto text = std::make_unique<std::string>();
    for (const std::string &item : items) {
        text->append(item);
        text->push_back('\0');
    }
    if (!singleString)
        text->push_back('\0');
    std::lock_guard<std::mutex> guard(m_tagLock);
    for (auto &[kind, slot] : m_tags)
        if (kind == type) {
            slot.previous = std::move(slot.current);
            slot.current = std::move(text);
            return;
        }
    m_tags.emplace_back(type, TagSlot{std::move(text), nullptr});
}

const char *Channel::tags(DWORD type)
{
    std::lock_guard<std::mutex> guard(m_tagLock);
    for (const auto &[kind, slot] : m_tags)
        if (kind == type && slot.current)
            return slot.current->c_str();
    return nullptr;
}

} // namespace tunora::audio
