#pragma once

// The engine's calls as one table, shared by the engine module (which fills it) and the program's
// loader (which forwards every call through it). One row per call: return type, name, parameters,
// the argument list, and what the call returns while the engine module cannot be loaded (the
// value the engine itself gives for a failed call).

#include "audioengine.h"

#define TUNORA_ENGINE_FUNCTIONS(X)                                                                           \
    X(DWORD, BASS_GetVersion, (), (), 0)                                                                     \
    X(int, BASS_ErrorGetCode, (), (), BASS_ERROR_INIT)                                                       \
    X(BOOL, BASS_Init, (int device, DWORD freq, DWORD flags, void *win, const void *dsguid),                 \
      (device, freq, flags, win, dsguid), FALSE)                                                             \
    X(BOOL, BASS_Free, (), (), FALSE)                                                                        \
    X(BOOL, BASS_SetDevice, (DWORD device), (device), FALSE)                                                 \
    X(DWORD, BASS_GetDevice, (), (), DWORD(-1))                                                              \
    X(BOOL, BASS_GetDeviceInfo, (DWORD device, BASS_DEVICEINFO * info), (device, info), FALSE)               \
    X(BOOL, BASS_GetInfo, (BASS_INFO * info), (info), FALSE)                                                 \
    X(BOOL, BASS_Start, (), (), FALSE)                                                                       \
    X(BOOL, BASS_Stop, (), (), FALSE)                                                                        \
    X(BOOL, BASS_Pause, (), (), FALSE)                                                                       \
    X(BOOL, BASS_Update, (DWORD length), (length), FALSE)                                                    \
    X(float, BASS_GetCPU, (), (), 0.0f)                                                                      \
    X(BOOL, BASS_SetConfig, (DWORD option, DWORD value), (option, value), FALSE)                             \
    X(DWORD, BASS_GetConfig, (DWORD option), (option), DWORD(-1))                                            \
    X(BOOL, BASS_SetConfigPtr, (DWORD option, const void *value), (option, value), FALSE)                    \
    X(const void *, BASS_GetConfigPtr, (DWORD option), (option), nullptr)                                    \
    X(HPLUGIN, BASS_PluginLoad, (const char *file, DWORD flags), (file, flags), 0)                           \
    X(BOOL, BASS_PluginFree, (HPLUGIN handle), (handle), FALSE)                                              \
    X(BOOL, BASS_SetAbortFlag, (const std::atomic<bool> *flag), (flag), FALSE)                               \
    X(HSTREAM, BASS_StreamCreateFile, (BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags), \
      (mem, file, offset, length, flags), 0)                                                                 \
    X(HSTREAM, BASS_StreamCreateURL,                                                                         \
      (const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc, void *user),                          \
      (url, offset, flags, proc, user), 0)                                                                   \
    X(HSTREAM, BASS_WMA_StreamCreateFile,                                                                    \
      (BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags),                                 \
      (mem, file, offset, length, flags), 0)                                                                 \
    X(HSTREAM, BASS_AAC_StreamCreateFile,                                                                    \
      (BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags),                                 \
      (mem, file, offset, length, flags), 0)                                                                 \
    X(HSTREAM, BASS_AAC_StreamCreateURL,                                                                     \
      (const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc, void *user),                          \
      (url, offset, flags, proc, user), 0)                                                                   \
    X(HSTREAM, BASS_MP4_StreamCreateFile,                                                                    \
      (BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags),                                 \
      (mem, file, offset, length, flags), 0)                                                                 \
    X(HSTREAM, BASS_FLAC_StreamCreateFile,                                                                   \
      (BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags),                                 \
      (mem, file, offset, length, flags), 0)                                                                 \
    X(HSTREAM, BASS_FLAC_StreamCreateURL,                                                                    \
      (const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc, void *user),                          \
      (url, offset, flags, proc, user), 0)                                                                   \
    X(BOOL, BASS_StreamFree, (HSTREAM handle), (handle), FALSE)                                              \
    X(QWORD, BASS_StreamGetFilePosition, (HSTREAM handle, DWORD mode), (handle, mode), QWORD(-1))            \
    X(DWORD, BASS_ChannelIsActive, (DWORD handle), (handle), BASS_ACTIVE_STOPPED)                            \
    X(BOOL, BASS_ChannelGetInfo, (DWORD handle, BASS_CHANNELINFO * info), (handle, info), FALSE)             \
    X(const char *, BASS_ChannelGetTags, (DWORD handle, DWORD tags), (handle, tags), nullptr)                \
    X(BOOL, BASS_ChannelPlay, (DWORD handle, BOOL restart), (handle, restart), FALSE)                        \
    X(BOOL, BASS_ChannelStop, (DWORD handle), (handle), FALSE)                                               \
    X(BOOL, BASS_ChannelPause, (DWORD handle), (handle), FALSE)                                              \
    X(BOOL, BASS_ChannelSetAttribute, (DWORD handle, DWORD attrib, float value), (handle, attrib, value),    \
      FALSE)                                                                                                 \
    X(BOOL, BASS_ChannelGetAttribute, (DWORD handle, DWORD attrib, float *value), (handle, attrib, value),   \
      FALSE)                                                                                                 \
    X(BOOL, BASS_ChannelSlideAttribute, (DWORD handle, DWORD attrib, float value, DWORD time),               \
      (handle, attrib, value, time), FALSE)                                                                  \
    X(BOOL, BASS_ChannelIsSliding, (DWORD handle, DWORD attrib), (handle, attrib), FALSE)                    \
    X(QWORD, BASS_ChannelGetLength, (DWORD handle, DWORD mode), (handle, mode), QWORD(-1))                   \
    X(QWORD, BASS_ChannelGetPosition, (DWORD handle, DWORD mode), (handle, mode), QWORD(-1))                 \
    X(BOOL, BASS_ChannelSetPosition, (DWORD handle, QWORD pos, DWORD mode), (handle, pos, mode), FALSE)      \
    X(double, BASS_ChannelBytes2Seconds, (DWORD handle, QWORD pos), (handle, pos), -1.0)                     \
    X(QWORD, BASS_ChannelSeconds2Bytes, (DWORD handle, double pos), (handle, pos), QWORD(-1))                \
    X(DWORD, BASS_ChannelGetLevel, (DWORD handle), (handle), DWORD(-1))                                      \
    X(DWORD, BASS_ChannelGetData, (DWORD handle, void *buffer, DWORD length), (handle, buffer, length),      \
      DWORD(-1))                                                                                             \
    X(DWORD, BASS_ChannelGetDevice, (DWORD handle), (handle), DWORD(-1))                                     \
    X(BOOL, BASS_ChannelSetDevice, (DWORD handle, DWORD device), (handle, device), FALSE)                    \
    X(HSYNC, BASS_ChannelSetSync, (DWORD handle, DWORD type, QWORD param, SYNCPROC * proc, void *user),      \
      (handle, type, param, proc, user), 0)                                                                  \
    X(BOOL, BASS_ChannelRemoveSync, (DWORD handle, HSYNC sync), (handle, sync), FALSE)                       \
    X(HDSP, BASS_ChannelSetDSP, (DWORD handle, DSPPROC * proc, void *user, int priority),                    \
      (handle, proc, user, priority), 0)                                                                     \
    X(BOOL, BASS_ChannelRemoveDSP, (DWORD handle, HDSP dsp), (handle, dsp), FALSE)                           \
    X(HFX, BASS_ChannelSetFX, (DWORD handle, DWORD type, int priority), (handle, type, priority), 0)         \
    X(BOOL, BASS_ChannelRemoveFX, (DWORD handle, HFX fx), (handle, fx), FALSE)                               \
    X(BOOL, BASS_FXSetParameters, (HFX handle, const void *params), (handle, params), FALSE)                 \
    X(BOOL, BASS_FXGetParameters, (HFX handle, void *params), (handle, params), FALSE)                       \
    X(BOOL, BASS_FXReset, (DWORD handle), (handle), FALSE)                                                   \
    X(BOOL, BASS_Encode_CodecAvailable, (const char *encoder), (encoder), FALSE)                             \
    X(HENCODE, BASS_Encode_StartFile,                                                                        \
      (DWORD channel, const char *encoder, DWORD bitrateKbps, const char *file, ENCODENOTIFYPROC *notify,    \
       void *user),                                                                                          \
      (channel, encoder, bitrateKbps, file, notify, user), 0)                                                \
    X(BOOL, BASS_Encode_SetFile, (HENCODE handle, const char *file), (handle, file), FALSE)                  \
    X(DWORD, BASS_Encode_IsActive, (HENCODE handle), (handle), BASS_ENCODE_ACTIVE_STOPPED)                   \
    X(QWORD, BASS_Encode_GetCount, (HENCODE handle, DWORD count), (handle, count), QWORD(-1))                \
    X(BOOL, BASS_Encode_Stop, (HENCODE handle), (handle), FALSE)

// Filled by the module; `count` tells a loader built from another table apart.
struct TunoraEngineTable
{
    unsigned count;
#define TUNORA_ENGINE_MEMBER(ret, name, params, args, failed) ret(*name) params;
    TUNORA_ENGINE_FUNCTIONS(TUNORA_ENGINE_MEMBER)
#undef TUNORA_ENGINE_MEMBER
};

#define TUNORA_ENGINE_COUNT_ONE(ret, name, params, args, failed) +1
inline constexpr unsigned TunoraEngineFunctionCount = 0 TUNORA_ENGINE_FUNCTIONS(TUNORA_ENGINE_COUNT_ONE);
#undef TUNORA_ENGINE_COUNT_ONE

// The module's one exported symbol, and the file name of the module (without ".so").
#define TUNORA_ENGINE_ENTRY "tunora_engine_table"
#define TUNORA_ENGINE_MODULE "tunora-engine"
extern "C" const TunoraEngineTable *tunora_engine_table();
