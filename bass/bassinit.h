#pragma once

// Process-wide audio engine functions: start-up with the player's network options, the master
// volume, and the texts of the engine's error codes.

#include "audioengine.h"

#include <QString>

#include <span>

namespace BASS {

// Starts the engine on `device` (the default output unless told otherwise; 0 is the no-sound
// output) at 44 100 Hz and sets the network options: a time-out (seconds, 0 = the engine's),
// whether URL creators follow playlists, the network buffer (ms, 0 = the engine's), the agent
// text and a proxy ("[user:pass@]host:port", null = direct). The engine does not wait for its
// own pre-buffer: CBass::WaitForPreBuffer does. When the start fails, `errorText` (if given)
// receives the engine's message; the options are set either way. Returns whether it started.
bool InitAudioEngine(QString *errorText, uint timeoutSeconds, bool playlists, uint netBuffer,
                     const char *agent, const char *proxy, int device = BASS_DEVICE_DEFAULT);

// Sets one engine option: the agent and proxy texts take `pointer`, every other option `value`.
bool SetEngineOption(DWORD option, DWORD value, const void *pointer = nullptr);

// The volume of every stream, 0..100. Reading a level that is not a whole percent rounds it up to
// the next one and writes that back.
int GetMasterVolume();
// Sets the volume of every stream; 0 also marks the player as muted.
void SetMasterVolume(int percent);
bool IsMasterMuted();

// One row of the error table.
struct BassErrorEntry
{
    int code;
    const char *name;    // the engine's symbolic name
    const char *message; // English; translated when shown
};

// The rows in search order, ending with the row of code -1 (an unknown error).
std::span<const BassErrorEntry> BassErrorTable();

// The (untranslated) message of an engine error code; 0 asks the engine for the calling thread's
// last error first. Codes not in the table give "Unknown Library Error".
QString BassErrorText(int code);

} // namespace BASS
