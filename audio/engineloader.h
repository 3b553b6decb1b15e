#pragma once

// The program's side of the engine module: every engine call (audioengine.h) is defined here as a
// forwarder that waits until the module is loaded and calls the module's function. The module is
// loaded once, on a worker thread started by startLoading(), so that the many libraries the
// engine needs are not mapped before the program's main(). A module that cannot be loaded leaves
// every call failing (as with an engine that did not start) and TunoraEngineLoadError() saying why.

#include <string>
#include <vector>

namespace tunora::audio {

// Starts loading the first of `files` that loads, on a worker thread, and returns at once. Only
// the first call counts. An engine call made before this loads with no file (and fails).
void startLoadingEngine(std::vector<std::string> files);

// Waits for the load; whether the engine is there.
bool engineLoaded();

} // namespace tunora::audio
