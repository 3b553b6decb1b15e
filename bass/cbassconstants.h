#pragma once

#include "audioengine.h"

namespace BASS {

// The engine's error answers of its 64-bit and 32-bit queries (positions, lengths, levels).
constexpr QWORD QwordError = QWORD(-1);
constexpr DWORD DwordError = DWORD(-1);

} // namespace BASS
