#pragma once

// The program's side of the engine module: every engine call (audioengine.h) is defined here as a
// forwarder to the module's function. The first call loads the module (calls from other threads
// meanwhile wait for it), so the many libraries the engine needs are mapped only when the program
// first needs the engine. A module that cannot be loaded leaves every call failing (as with an
// engine that did not start) and TunoraEngineLoadError() saying why.

#include <string>
#include <vector>

namespace tunora::audio {

// Where the first engine call looks for the module, in this order.
void setEngineFiles(std::vector<std::string> files);

} // namespace tunora::audio
