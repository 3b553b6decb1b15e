#pragma once

// The audio engine's C-style interface: handles, flags, callbacks with user data, and a last
// error code per thread. The channel wrapper in bass/ is written against exactly these calls.
// The engine decodes with FFmpeg and plays through PulseAudio, or through a no-sound output that
// keeps real time (device 0). It knows nothing of Qt or of the directory.
//
// Values follow the published constants of the audio library whose calls the wrapper was designed
// around; values that library does not define are this engine's own.

#include <atomic>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
using BOOL = int;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define CALLBACK

using HSTREAM = DWORD; // a channel made by one of the creators
using HSYNC = DWORD;
using HDSP = DWORD;
using HFX = DWORD;
using HPLUGIN = DWORD;
using HRECORD = DWORD;

// ---- error codes (BASS_ErrorGetCode) ---------------------------------------------------------
#define BASS_OK 0
#define BASS_ERROR_MEM 1
#define BASS_ERROR_FILEOPEN 2
#define BASS_ERROR_DRIVER 3
#define BASS_ERROR_BUFLOST 4
#define BASS_ERROR_HANDLE 5
#define BASS_ERROR_FORMAT 6
#define BASS_ERROR_POSITION 7
#define BASS_ERROR_INIT 8
#define BASS_ERROR_START 9
#define BASS_ERROR_NOCD 12
#define BASS_ERROR_ALREADY 14
#define BASS_ERROR_NOCHAN 18
#define BASS_ERROR_ILLTYPE 19
#define BASS_ERROR_ILLPARAM 20
#define BASS_ERROR_NO3D 21
#define BASS_ERROR_NOEAX 22
#define BASS_ERROR_DEVICE 23
#define BASS_ERROR_NOPLAY 24
#define BASS_ERROR_FREQ 25
#define BASS_ERROR_NOTFILE 27
#define BASS_ERROR_NOHW 29
#define BASS_ERROR_EMPTY 31
#define BASS_ERROR_NONET 32
#define BASS_ERROR_CREATE 33
#define BASS_ERROR_NOFX 34
#define BASS_ERROR_NOTAVAIL 37
#define BASS_ERROR_DECODE 38
#define BASS_ERROR_DX 39
#define BASS_ERROR_TIMEOUT 40
#define BASS_ERROR_FILEFORM 41
#define BASS_ERROR_SPEAKER 42
#define BASS_ERROR_VERSION 43
#define BASS_ERROR_CODEC 44
#define BASS_ERROR_ENDED 45
#define BASS_ERROR_ABORTED 46 // this engine's own: an open was cancelled through BASS_SetAbortFlag
#define BASS_ERROR_WMA 1001
#define BASS_ERROR_UNKNOWN -1

// ---- configuration options (BASS_SetConfig / BASS_SetConfigPtr) -------------------------------
#define BASS_CONFIG_BUFFER 0             // playback buffer length, ms
#define BASS_CONFIG_UPDATEPERIOD 1       // how often the output is fed, ms
#define BASS_CONFIG_GVOL_STREAM 5        // global stream volume 0..10000
#define BASS_CONFIG_FLOATDSP 9           // DSP callbacks receive 32-bit float samples
#define BASS_CONFIG_NET_TIMEOUT 11       // connect/answer timeout, ms
#define BASS_CONFIG_NET_BUFFER 12        // network buffer length, ms of audio
#define BASS_CONFIG_NET_PREBUF 15        // % of the net buffer the creator waits for (0 = none)
#define BASS_CONFIG_NET_AGENT 16         // pointer: User-Agent text
#define BASS_CONFIG_NET_PROXY 17         // pointer: "[user:pass@]host:port", null = direct
#define BASS_CONFIG_NET_PLAYLIST 21      // 0 never, 1 file creators only, 2 also URL creators
#define BASS_CONFIG_NET_CA_EXTRA 0x10F01 // pointer: PEM file trusted for https beside the system store
#define BASS_CONFIG_WMA_PREBUF 0x10101

// ---- init flags, channel flags -------------------------------------------------------------------
#define BASS_DEVICE_DEFAULT -1
#define BASS_DEVICE_NOSOUND 0
#define BASS_NODEVICE 0x20000 // BASS_ChannelGetDevice of a decoding channel

// BASS_DEVICEINFO::flags
#define BASS_DEVICE_ENABLED 1
#define BASS_DEVICE_IS_DEFAULT 2
#define BASS_DEVICE_INIT 4

#define BASS_SAMPLE_8BITS 1
#define BASS_SAMPLE_MONO 2
#define BASS_SAMPLE_FLOAT 0x100
#define BASS_STREAM_PRESCAN 0x20000
#define BASS_STREAM_AUTOFREE 0x40000
#define BASS_STREAM_RESTRATE 0x80000
#define BASS_STREAM_BLOCK 0x100000
#define BASS_STREAM_DECODE 0x200000
#define BASS_STREAM_STATUS 0x800000
#define BASS_UNICODE 0x80000000

// ---- channel states (BASS_ChannelIsActive) -----------------------------------------------------
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3
#define BASS_ACTIVE_PAUSED_DEVICE 4 // playing, but the output is paused (BASS_Pause/BASS_Stop)

// ---- channel types (BASS_CHANNELINFO::ctype) -------------------------------------------------
#define BASS_CTYPE_STREAM 0x10000
#define BASS_CTYPE_STREAM_WAV_PCM 0x10001
#define BASS_CTYPE_STREAM_OGG 0x10002
#define BASS_CTYPE_STREAM_MP1 0x10003
#define BASS_CTYPE_STREAM_MP2 0x10004
#define BASS_CTYPE_STREAM_MP3 0x10005
#define BASS_CTYPE_STREAM_WMA 0x10300
#define BASS_CTYPE_STREAM_WMA_MP3 0x10301
#define BASS_CTYPE_STREAM_FLAC 0x10900
#define BASS_CTYPE_STREAM_FLAC_OGG 0x10901
#define BASS_CTYPE_STREAM_AAC 0x10b00
#define BASS_CTYPE_STREAM_MP4 0x10b01
#define BASS_CTYPE_STREAM_OPUS 0x11200

// ---- tags (BASS_ChannelGetTags) ----------------------------------------------------------------
// Lists are series of zero-terminated strings ended by an empty string; META is one string.
#define BASS_TAG_OGG 2       // Ogg/FLAC comments "KEY=value" (latest value of each key)
#define BASS_TAG_HTTP 3      // HTTP status line and headers
#define BASS_TAG_ICY 4       // ICY status line and headers
#define BASS_TAG_META 5      // the last ICY metadata block, raw bytes as sent
#define BASS_TAG_WMA 8       // ASF header attributes "Key=value"
#define BASS_TAG_WMA_META 11 // the last ASF script command "type=value"

// ---- syncs (BASS_ChannelSetSync) ---------------------------------------------------------------
#define BASS_SYNC_POS 0
#define BASS_SYNC_END 2
#define BASS_SYNC_META 4
#define BASS_SYNC_SLIDE 5
#define BASS_SYNC_STALL 6 // data 0: playback stalled, 1: resumed
#define BASS_SYNC_DOWNLOAD 7
#define BASS_SYNC_DEV_FAIL 14 // the output device (the sound server) went away; the channel stopped
// The device is back (the engine reconnects by itself after a loss) and the channel that the
// loss stopped plays on; data 1.
#define BASS_SYNC_DEV_BACK 16
#define BASS_SYNC_FREE 8
#define BASS_SYNC_WMA_CHANGE 0x10100
#define BASS_SYNC_WMA_META 0x10101
#define BASS_SYNC_MIXTIME 0x40000000
#define BASS_SYNC_ONETIME 0x80000000

// ---- positions ---------------------------------------------------------------------------------
#define BASS_POS_BYTE 0
#define BASS_FILEPOS_CURRENT 0  // bytes consumed by the decoder
#define BASS_FILEPOS_DOWNLOAD 1 // bytes received
#define BASS_FILEPOS_END 2      // total length; -1 when unknown (live stream)
#define BASS_FILEPOS_START 3
#define BASS_FILEPOS_CONNECTED 4
#define BASS_FILEPOS_BUFFER 5 // bytes received but not yet consumed

// ---- attributes, data, effects -----------------------------------------------------------------
#define BASS_ATTRIB_FREQ 1
#define BASS_ATTRIB_VOL 2
#define BASS_ATTRIB_PAN 3

#define BASS_DATA_AVAILABLE 0       // get-data: number of decoded bytes buffered
#define BASS_DATA_FLOAT 0x40000000  // get-data: deliver 32-bit float samples
#define BASS_DATA_FIXED 0x20000000  // get-data: 8.24 fixed point (not offered: BASS_ERROR_ILLPARAM)
#define BASS_DATA_FFT256 0x80000000 // get-data: spectra (not offered: BASS_ERROR_NOTAVAIL)

#define BASS_FX_DX8_COMPRESSOR 1

struct BASS_DX8_COMPRESSOR
{
    float fGain;      // output gain after compression, dB (-60..60)
    float fAttack;    // ms (0.01..500)
    float fRelease;   // ms (50..3000)
    float fThreshold; // dB (-60..0)
    float fRatio;     // 1..100
    float fPredelay;  // look-ahead, ms (0..4)
};

struct BASS_CHANNELINFO
{
    DWORD freq;
    DWORD chans;
    DWORD flags;
    DWORD ctype;
    DWORD origres;
    HPLUGIN plugin;
    DWORD sample;
    const char *filename;
};

struct BASS_INFO
{
    DWORD flags;
    DWORD latency; // ms
    DWORD freq;    // output rate
    DWORD speakers;
};

struct BASS_DEVICEINFO
{
    const char *name;
    const char *driver;
    DWORD flags;
};

// ---- callbacks -----------------------------------------------------------------------------------
// Download callback of the URL creators: first, with BASS_STREAM_STATUS, the HTTP/ICY header
// block as received (one zero-terminated text with its CRLFs; buffer set, length 0) on the
// creator's thread; then, once the channel exists, every block of raw stream bytes in order
// (without ICY metadata, from the first byte on) on the network reader's thread; last buffer null.
typedef void(CALLBACK DOWNLOADPROC)(const void *buffer, DWORD length, void *user);
// Runs on the engine's callback thread (never the output thread), unless BASS_SYNC_MIXTIME.
typedef void(CALLBACK SYNCPROC)(HSYNC handle, DWORD channel, DWORD data, void *user);
// Runs on the thread that decodes; with BASS_CONFIG_FLOATDSP the buffer holds float samples.
typedef void(CALLBACK DSPPROC)(HDSP handle, DWORD channel, void *buffer, DWORD length, void *user);

// ---- engine ------------------------------------------------------------------------------------
// Why the engine is not there (the program loads it as a module), or null when it is: always null
// where the engine is linked in.
const char *TunoraEngineLoadError();
DWORD BASS_GetVersion();
int BASS_ErrorGetCode(); // last error of the calling thread
BOOL BASS_Init(int device, DWORD freq, DWORD flags, void *win, const void *dsguid);
BOOL BASS_Free();
BOOL BASS_SetDevice(DWORD device);
DWORD BASS_GetDevice();
BOOL BASS_GetDeviceInfo(DWORD device, BASS_DEVICEINFO *info);
BOOL BASS_GetInfo(BASS_INFO *info);
BOOL BASS_Start();
BOOL BASS_Stop();
BOOL BASS_Pause();
BOOL BASS_Update(DWORD length);
float BASS_GetCPU();
BOOL BASS_SetConfig(DWORD option, DWORD value);
DWORD BASS_GetConfig(DWORD option);
BOOL BASS_SetConfigPtr(DWORD option, const void *value);
const void *BASS_GetConfigPtr(DWORD option);
// Add-ons are built in; loading one by name succeeds for the formats this engine decodes.
HPLUGIN BASS_PluginLoad(const char *file, DWORD flags);
BOOL BASS_PluginFree(HPLUGIN handle);

// Creators called afterwards on the calling thread watch this flag: once another thread sets it,
// a creator blocked in connecting, in a DNS lookup or in waiting for an answer gives up within a
// few milliseconds and fails with BASS_ERROR_ABORTED. Pass null to stop watching. The flag must
// outlive the creators that watch it.
BOOL BASS_SetAbortFlag(const std::atomic<bool> *flag);

// ---- creators ------------------------------------------------------------------------------------
// Each creator accepts its own format family only and fails with BASS_ERROR_FILEFORM otherwise:
//   plain: MP3/MP2/MP1, Ogg (Vorbis, Opus), WAV, and HLS playlists of those or of AAC;
//   AAC: ADTS AAC and HE-AAC;  MP4: MP4/M4A;  WMA: ASF/WMA (files, http and mms);  FLAC: FLAC.
// File creators take a path (UTF-8, or with BASS_UNICODE a wchar_t* path); the WMA and MP4 file
// creators also take an http(s):// or mms:// address, as the wrapper hands them URLs.
HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags);
HSTREAM BASS_StreamCreateURL(const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc, void *user);
HSTREAM BASS_WMA_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags);
HSTREAM BASS_AAC_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags);
HSTREAM BASS_AAC_StreamCreateURL(const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc, void *user);
HSTREAM BASS_MP4_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags);
HSTREAM BASS_FLAC_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags);
HSTREAM BASS_FLAC_StreamCreateURL(const char *url, DWORD offset, DWORD flags, DOWNLOADPROC *proc, void *user);
BOOL BASS_StreamFree(HSTREAM handle);
QWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode);

// ---- channels ------------------------------------------------------------------------------------
DWORD BASS_ChannelIsActive(DWORD handle);
BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO *info);
const char *BASS_ChannelGetTags(DWORD handle, DWORD tags);
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelStop(DWORD handle); // frees a BASS_STREAM_AUTOFREE channel
BOOL BASS_ChannelPause(DWORD handle);
BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);
BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float *value);
BOOL BASS_ChannelSlideAttribute(DWORD handle, DWORD attrib, float value, DWORD time);
BOOL BASS_ChannelIsSliding(DWORD handle, DWORD attrib);
QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);
QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode);
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);
double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos);
DWORD BASS_ChannelGetLevel(DWORD handle); // left in the low word, right in the high word, 0..32768
DWORD BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length);
DWORD BASS_ChannelGetDevice(DWORD handle);
BOOL BASS_ChannelSetDevice(DWORD handle, DWORD device);
HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC *proc, void *user);
BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync);
HDSP BASS_ChannelSetDSP(DWORD handle, DSPPROC *proc, void *user, int priority);
BOOL BASS_ChannelRemoveDSP(DWORD handle, HDSP dsp);
HFX BASS_ChannelSetFX(DWORD handle, DWORD type, int priority);
BOOL BASS_ChannelRemoveFX(DWORD handle, HFX fx);
BOOL BASS_FXSetParameters(HFX handle, const void *params);
BOOL BASS_FXGetParameters(HFX handle, void *params);
BOOL BASS_FXReset(DWORD handle);

// ---- encoders ------------------------------------------------------------------------------------
// An encoder takes a channel's decoded audio (after its DSP chain and effects) and writes it to a
// file, encoded in process. The samples are copied on the channel's decode thread into a bounded
// queue and encoded on the encoder's own thread: a slow disk or encoder never holds playback up;
// when the queue is full the newest audio is dropped and counted instead.
using HENCODE = DWORD;

// The encoder names and containers an encoder can be started with (BASS_Encode_StartFile):
//   "libmp3lame" -> MP3, "aac" -> ADTS AAC, "libvorbis" / "vorbis" -> Ogg Vorbis, "wmav2" -> ASF.
// Any other name the FFmpeg in use knows is written into the container the file's extension
// names.

// BASS_Encode_IsActive
#define BASS_ENCODE_ACTIVE_STOPPED 0 // stopped, or failed (see the notification)
#define BASS_ENCODE_ACTIVE_RUNNING 1

// Statuses of ENCODENOTIFYPROC. The encoder has already finished its file (what was written stays
// readable) and stopped taking audio when it reports a failure.
#define BASS_ENCODE_NOTIFY_ENCODER 1      // the encoder failed
#define BASS_ENCODE_NOTIFY_WRITE 0x10001  // writing the file failed (a full disk, an I/O error)
#define BASS_ENCODE_NOTIFY_CREATE 0x10002 // the next file of BASS_Encode_SetFile could not be made

// BASS_Encode_GetCount
#define BASS_ENCODE_COUNT_IN 0      // frames taken from the channel
#define BASS_ENCODE_COUNT_OUT 1     // bytes written to the current file
#define BASS_ENCODE_COUNT_DROPPED 2 // frames dropped because the queue was full
#define BASS_ENCODE_COUNT_QUEUE 3   // frames waiting in the queue

// Runs on the encoder's own thread; may call BASS_Encode_Stop on the same handle.
typedef void(CALLBACK ENCODENOTIFYPROC)(HENCODE handle, DWORD status, void *user);

// Whether the FFmpeg in use has an encoder of that name (BASS_ERROR_CODEC when not).
BOOL BASS_Encode_CodecAvailable(const char *encoder);
// Starts encoding `channel` into `file` (UTF-8 path; created or truncated) with the named encoder
// at `bitrateKbps` (0: the encoder's usual setting, a quality of 5 for Vorbis). The file and the
// encoder are set up before it returns: BASS_ERROR_HANDLE (no such channel), BASS_ERROR_CODEC
// (no such encoder, or it refuses the channel's format), BASS_ERROR_CREATE (the file cannot be
// made), BASS_ERROR_ILLPARAM.
HENCODE BASS_Encode_StartFile(DWORD channel, const char *encoder, DWORD bitrateKbps, const char *file,
                              ENCODENOTIFYPROC *notify, void *user);
// Moves the encoder to a new file without losing audio: what was taken before this call ends the
// current file (flushed and finished), what comes after begins the new one. The new file is made
// before it returns (BASS_ERROR_CREATE).
BOOL BASS_Encode_SetFile(HENCODE handle, const char *file);
DWORD BASS_Encode_IsActive(HENCODE handle);
QWORD BASS_Encode_GetCount(HENCODE handle, DWORD count);
// Stops taking audio, encodes what is queued, finishes and closes the file and frees the handle.
// Waits for that, except when called from the encoder's own notification.
BOOL BASS_Encode_Stop(HENCODE handle);
