#include "bassinit.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <atomic>

namespace BASS {

namespace {

#define BASS_ERROR_ROW(code, message)                                                                        \
    {                                                                                                        \
        code, #code, message                                                                                 \
    }

// Searched from the top; the row of code 0 ends the search.
constexpr BassErrorEntry ErrorRows[] = {
    BASS_ERROR_ROW(BASS_ERROR_MEM, QT_TRANSLATE_NOOP("CBass", "Memory error")),
    BASS_ERROR_ROW(BASS_ERROR_FILEOPEN, QT_TRANSLATE_NOOP("CBass", "Can't open the file")),
    BASS_ERROR_ROW(BASS_ERROR_DRIVER, QT_TRANSLATE_NOOP("CBass", "Can't find a free/valid driver")),
    BASS_ERROR_ROW(BASS_ERROR_BUFLOST, QT_TRANSLATE_NOOP("CBass", "The sample buffer was lost")),
    BASS_ERROR_ROW(BASS_ERROR_HANDLE, QT_TRANSLATE_NOOP("CBass", "Invalid handle")),
    BASS_ERROR_ROW(BASS_ERROR_FORMAT, QT_TRANSLATE_NOOP("CBass", "Unsupported sample format")),
    BASS_ERROR_ROW(BASS_ERROR_POSITION, QT_TRANSLATE_NOOP("CBass", "Invalid playback position")),
    BASS_ERROR_ROW(BASS_ERROR_INIT, QT_TRANSLATE_NOOP("CBass", "BASS_Init was not successfully called")),
    BASS_ERROR_ROW(BASS_ERROR_START, QT_TRANSLATE_NOOP("CBass", "BASS_Start was not successfully called")),
    BASS_ERROR_ROW(BASS_ERROR_ALREADY, QT_TRANSLATE_NOOP("CBass", "Already initialized/paused/etc")),
    BASS_ERROR_ROW(BASS_ERROR_NOCHAN, QT_TRANSLATE_NOOP("CBass", "Can't get a free channel")),
    BASS_ERROR_ROW(BASS_ERROR_ILLTYPE, QT_TRANSLATE_NOOP("CBass", "An illegal type was specified")),
    BASS_ERROR_ROW(BASS_ERROR_ILLPARAM, QT_TRANSLATE_NOOP("CBass", "An illegal parameter was specified")),
    BASS_ERROR_ROW(BASS_ERROR_NO3D, QT_TRANSLATE_NOOP("CBass", "No 3D support")),
    BASS_ERROR_ROW(BASS_ERROR_NOEAX, QT_TRANSLATE_NOOP("CBass", "No EAX support")),
    BASS_ERROR_ROW(BASS_ERROR_DEVICE, QT_TRANSLATE_NOOP("CBass", "Illegal device number")),
    BASS_ERROR_ROW(BASS_ERROR_NOPLAY, QT_TRANSLATE_NOOP("CBass", "Not playing")),
    BASS_ERROR_ROW(BASS_ERROR_FREQ, QT_TRANSLATE_NOOP("CBass", "Illegal sample rate")),
    BASS_ERROR_ROW(BASS_ERROR_NOTFILE, QT_TRANSLATE_NOOP("CBass", "The stream is not a file stream")),
    BASS_ERROR_ROW(BASS_ERROR_NOHW, QT_TRANSLATE_NOOP("CBass", "No hardware voices available")),
    BASS_ERROR_ROW(BASS_ERROR_EMPTY, QT_TRANSLATE_NOOP("CBass", "The MOD music has no sequence data")),
    BASS_ERROR_ROW(BASS_ERROR_NONET, QT_TRANSLATE_NOOP("CBass", "No internet connection could be opened")),
    BASS_ERROR_ROW(BASS_ERROR_CREATE, QT_TRANSLATE_NOOP("CBass", "Couldn't create the file")),
    BASS_ERROR_ROW(BASS_ERROR_NOFX, QT_TRANSLATE_NOOP("CBass", "Effects are not available")),
    BASS_ERROR_ROW(BASS_ERROR_NOTAVAIL, QT_TRANSLATE_NOOP("CBass", "Requested data is not available")),
    BASS_ERROR_ROW(BASS_ERROR_DECODE, QT_TRANSLATE_NOOP("CBass", "The channel is a decoding channel")),
    BASS_ERROR_ROW(BASS_ERROR_DX, QT_TRANSLATE_NOOP("CBass", "Sufficient DirectX version is not installed")),
    BASS_ERROR_ROW(BASS_ERROR_TIMEOUT, QT_TRANSLATE_NOOP("CBass", "Connection timed out")),
    BASS_ERROR_ROW(BASS_ERROR_FILEFORM, QT_TRANSLATE_NOOP("CBass", "Unsupported file format")),
    BASS_ERROR_ROW(BASS_ERROR_SPEAKER, QT_TRANSLATE_NOOP("CBass", "Unavailable speaker")),
    BASS_ERROR_ROW(BASS_ERROR_VERSION, QT_TRANSLATE_NOOP("CBass", "Invalid BASS version (used by add-ons)")),
    BASS_ERROR_ROW(BASS_ERROR_CODEC, QT_TRANSLATE_NOOP("CBass", "Codec is not available/supported")),
    BASS_ERROR_ROW(BASS_ERROR_WMA,
                   QT_TRANSLATE_NOOP("CBass", "The Windows Media modules (v9 or above) are not installed.")),
    BASS_ERROR_ROW(BASS_ERROR_NOCD, QT_TRANSLATE_NOOP("CBass", "No CD fouind in the drive")),
    BASS_ERROR_ROW(BASS_ERROR_UNKNOWN, QT_TRANSLATE_NOOP("CBass", "Unknown Library Error")),
    {0, nullptr, nullptr},
};

#undef BASS_ERROR_ROW

constexpr std::span<const BassErrorEntry> Rows(ErrorRows, std::size(ErrorRows) - 1);

std::atomic<bool> g_muted{false};

} // namespace

bool SetEngineOption(DWORD option, DWORD value, const void *pointer)
{
    if (option == BASS_CONFIG_NET_AGENT || option == BASS_CONFIG_NET_PROXY)
        return BASS_SetConfigPtr(option, pointer);
    return BASS_SetConfig(option, value);
}

bool InitAudioEngine(QString *errorText, uint timeoutSeconds, bool playlists, uint netBuffer,
                     const char *agent, const char *proxy, int device)
{
    SetEngineOption(BASS_CONFIG_FLOATDSP, 1);
    const bool started = BASS_Init(device, 44100, 0, nullptr, nullptr);
    if (!started && errorText) {
        // The program loads the engine as a module: without it, say what the loader found.
        const char *missing = TunoraEngineLoadError();
        *errorText = missing
                         ? QCoreApplication::translate("CBass", "The audio engine could not be loaded: %1")
                               .arg(QString::fromLocal8Bit(missing))
                         : BassErrorText(BASS_ErrorGetCode());
    }
    // The add-ons are part of this engine; loading them by name only checks that they are.
    BASS_PluginLoad("basswma.dll", 0);
    BASS_PluginLoad("bass_aac.dll", 0);
    if (proxy)
        SetEngineOption(BASS_CONFIG_NET_PROXY, 0, proxy);
    if (netBuffer)
        SetEngineOption(BASS_CONFIG_NET_BUFFER, netBuffer);
    if (timeoutSeconds)
        SetEngineOption(BASS_CONFIG_NET_TIMEOUT, timeoutSeconds * 1000);
    if (agent)
        SetEngineOption(BASS_CONFIG_NET_AGENT, 0, agent);
    SetEngineOption(BASS_CONFIG_NET_PREBUF, 0);
    SetEngineOption(BASS_CONFIG_WMA_PREBUF, 1);
    SetEngineOption(BASS_CONFIG_NET_PLAYLIST, playlists ? 2 : 0);
    return started;
}

int GetMasterVolume()
{
    DWORD volume = BASS_GetConfig(BASS_CONFIG_GVOL_STREAM);
    if (volume == DWORD(-1))
        return 0;
    volume = qMin<DWORD>(volume, 10000);
    if (volume % 100 != 0) {
        volume = (volume / 100 + 1) * 100;
        BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, volume);
    }
    return int(volume / 100);
}

void SetMasterVolume(int percent)
{
    percent = qBound(0, percent, 100);
    BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, DWORD(percent) * 100);
    g_muted = percent == 0;
}

bool IsMasterMuted()
{
    return g_muted;
}

std::span<const BassErrorEntry> BassErrorTable()
{
    return Rows;
}

QString BassErrorText(int code)
{
    if (code == 0)
        code = BASS_ErrorGetCode();
    const char *unknown = nullptr;
    for (const BassErrorEntry *row = ErrorRows; row->code != 0; ++row) {
        if (row->code == code)
            return QLatin1String(row->message);
        if (row->code == BASS_ERROR_UNKNOWN)
            unknown = row->message;
    }
    return QLatin1String(unknown);
}

} // namespace BASS
