// Thin pass-throughs to the engine for the channel that plays, its DSP and its compressor.

#include "cbass.h"

#include "cbassconstants.h"
#include "compressor.h"

namespace BASS {

// ---- engine pass-throughs ----------------------------------------------------------------------

DWORD CBass::GetVersion() const
{
    return BASS_GetVersion();
}

bool CBass::SetDevice(DWORD device)
{
    return BASS_SetDevice(device);
}

DWORD CBass::GetDevice() const
{
    return BASS_GetDevice();
}

bool CBass::GetInfo(BASS_INFO *info) const
{
    return BASS_GetInfo(info);
}

bool CBass::Update(DWORD length)
{
    return BASS_Update(length);
}

float CBass::GetCPU() const
{
    return BASS_GetCPU();
}

bool CBass::StartOutput()
{
    return BASS_Start();
}

bool CBass::StopOutput()
{
    return BASS_Stop();
}

bool CBass::FreeEngine()
{
    Stop(0);
    return BASS_Free();
}

HPLUGIN CBass::PluginLoad(const QString &path)
{
    return BASS_PluginLoad(path.toUtf8().constData(), 0);
}

bool CBass::PluginFree(HPLUGIN plugin)
{
    return BASS_PluginFree(plugin);
}

// ---- file positions ----------------------------------------------------------------------------

QWORD CBass::FilePosition(DWORD mode) const
{
    return Handle() ? BASS_StreamGetFilePosition(Handle(), mode) : QwordError;
}

QWORD CBass::DownloadedBytes() const
{
    return FilePosition(BASS_FILEPOS_DOWNLOAD);
}

int CBass::BufferFillPercent() const
{
    const QWORD end = FilePosition(BASS_FILEPOS_END);
    if (end == QwordError || end == 0)
        return -1;
    const QWORD downloaded = FilePosition(BASS_FILEPOS_DOWNLOAD);
    const QWORD decoded = FilePosition(BASS_FILEPOS_CURRENT);
    if (downloaded == QwordError || decoded == QwordError)
        return -1;
    if (downloaded <= decoded)
        return 0;
    return int(qMin<QWORD>((downloaded - decoded) * 100 / end, 1000));
}

// ---- channel pass-throughs ---------------------------------------------------------------------

double CBass::Bytes2Seconds(QWORD bytes) const
{
    return Handle() ? BASS_ChannelBytes2Seconds(Handle(), bytes) : 0;
}

QWORD CBass::Seconds2Bytes(double seconds) const
{
    return Handle() ? BASS_ChannelSeconds2Bytes(Handle(), seconds) : 0;
}

DWORD CBass::ChannelGetDevice() const
{
    return Handle() ? BASS_ChannelGetDevice(Handle()) : 0;
}

bool CBass::ChannelSetDevice(DWORD device)
{
    return Handle() && BASS_ChannelSetDevice(Handle(), device);
}

bool CBass::ChannelGetInfo(BASS_CHANNELINFO *info) const
{
    return Handle() && BASS_ChannelGetInfo(Handle(), info);
}

const char *CBass::ChannelGetTags(DWORD tags) const
{
    return Handle() ? BASS_ChannelGetTags(Handle(), tags) : nullptr;
}

bool CBass::ChannelSetAttribute(DWORD attrib, float value)
{
    return Handle() && BASS_ChannelSetAttribute(Handle(), attrib, value);
}

bool CBass::ChannelGetAttribute(DWORD attrib, float *value) const
{
    return Handle() && BASS_ChannelGetAttribute(Handle(), attrib, value);
}

bool CBass::ChannelSlideAttribute(DWORD attrib, float value, DWORD timeMs)
{
    return Handle() && BASS_ChannelSlideAttribute(Handle(), attrib, value, timeMs);
}

bool CBass::ChannelIsSliding(DWORD attrib) const
{
    return Handle() && BASS_ChannelIsSliding(Handle(), attrib);
}

bool CBass::ChannelPlay(bool restart)
{
    return Handle() && BASS_ChannelPlay(Handle(), restart);
}

QWORD CBass::ChannelGetLength() const
{
    return Handle() ? BASS_ChannelGetLength(Handle(), BASS_POS_BYTE) : 0;
}

QWORD CBass::ChannelGetPosition() const
{
    return Handle() ? BASS_ChannelGetPosition(Handle(), BASS_POS_BYTE) : 0;
}

bool CBass::ChannelSetPosition(QWORD bytes)
{
    return Handle() && BASS_ChannelSetPosition(Handle(), bytes, BASS_POS_BYTE);
}

DWORD CBass::ChannelGetLevel() const
{
    return Handle() ? BASS_ChannelGetLevel(Handle()) : 0;
}

DWORD CBass::ChannelGetData(void *buffer, DWORD length)
{
    return Handle() ? BASS_ChannelGetData(Handle(), buffer, length) : 0;
}

HSYNC CBass::ChannelSetSync(DWORD type, QWORD param, SYNCPROC *proc, void *user)
{
    return Handle() ? BASS_ChannelSetSync(Handle(), type, param, proc, user) : 0;
}

bool CBass::ChannelRemoveSync(HSYNC sync)
{
    return Handle() && BASS_ChannelRemoveSync(Handle(), sync);
}

bool CBass::SetDsp(int priority)
{
    std::lock_guard<std::recursive_mutex> effects(m_effectLock);
    const HSTREAM handle = Handle();
    if (!handle)
        return false;
    RemoveDsp();
    m_dspHandle = BASS_ChannelSetDSP(handle, &DspProc, this, priority);
    return m_dspHandle != 0;
}

bool CBass::RemoveDsp()
{
    std::lock_guard<std::recursive_mutex> effects(m_effectLock);
    const HDSP dsp = m_dspHandle.exchange(0);
    const HSTREAM handle = Handle();
    return dsp && handle && BASS_ChannelRemoveDSP(handle, dsp);
}

// ---- compressor --------------------------------------------------------------------------------

bool CBass::SetCompressor(const CBassCompressor &compressor)
{
    std::lock_guard<std::recursive_mutex> effects(m_effectLock);
    const HSTREAM handle = Handle();
    if (!handle)
        return false;
    if (!m_fxHandle) {
        m_fxHandle = BASS_ChannelSetFX(handle, BASS_FX_DX8_COMPRESSOR, 0);
        if (!m_fxHandle)
            return false;
    }
    const BASS_DX8_COMPRESSOR parameters = compressor.Parameters();
    return BASS_FXSetParameters(m_fxHandle, &parameters);
}

bool CBass::RemoveCompressor()
{
    std::lock_guard<std::recursive_mutex> effects(m_effectLock);
    const HFX fx = m_fxHandle.exchange(0);
    const HSTREAM handle = Handle();
    return fx && handle && BASS_ChannelRemoveFX(handle, fx);
}

bool CBass::FXGetParameters(BASS_DX8_COMPRESSOR *parameters) const
{
    std::lock_guard<std::recursive_mutex> effects(m_effectLock);
    return m_fxHandle && BASS_FXGetParameters(m_fxHandle, parameters);
}

bool CBass::FXReset()
{
    std::lock_guard<std::recursive_mutex> effects(m_effectLock);
    return m_fxHandle && BASS_FXReset(m_fxHandle);
}

} // namespace BASS
