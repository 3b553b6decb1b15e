#include "engineloader.h"

#include "engineapi.h"

#include <atomic>
#include <mutex>

#include <dlfcn.h>
#include <unistd.h>

namespace {

std::mutex g_mutex; // held through the load: a call from another thread meanwhile waits for it
bool g_tried = false;
// Set once, at the end of the load; the fast path of every call reads only this.
std::atomic<const TunoraEngineTable *> g_table{nullptr};
std::string g_error;
std::vector<std::string> g_files;

std::string joined(const std::vector<std::string> &parts, const char *separator)
{
    std::string text;
    for (const std::string &part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

// The module stays loaded for the life of the program: the engine's threads run its code.
const TunoraEngineTable *load(const std::vector<std::string> &files, std::string &error)
{
    std::vector<std::string> failures;
    for (const std::string &file : files) {
        // A folder without the module is skipped quietly; one that has it says why it failed.
        if (access(file.c_str(), F_OK) != 0)
            continue;
        void *handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            failures.emplace_back(dlerror());
            continue;
        }
        using Entry = const TunoraEngineTable *(*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(handle, TUNORA_ENGINE_ENTRY));
        const TunoraEngineTable *candidate = entry ? entry() : nullptr;
        if (candidate && candidate->count == TunoraEngineFunctionCount)
            return candidate;
        failures.push_back(file +
                           (entry ? ": made for another version of the program" : ": not the audio engine"));
        dlclose(handle);
    }
    error = !failures.empty() ? joined(failures, "; ")
            : files.empty()   ? std::string("no place to look for " TUNORA_ENGINE_MODULE ".so")
                              : TUNORA_ENGINE_MODULE ".so not found: " + joined(files, ", ");
    return nullptr;
}

const TunoraEngineTable *engine()
{
    if (const TunoraEngineTable *table = g_table.load(std::memory_order_acquire))
        return table;
    std::lock_guard lock(g_mutex);
    if (!g_tried) {
        g_tried = true;
        g_table.store(load(g_files, g_error), std::memory_order_release);
    }
    return g_table.load(std::memory_order_acquire);
}

} // namespace

void tunora::audio::setEngineFiles(std::vector<std::string> files)
{
    std::lock_guard lock(g_mutex);
    g_files = std::move(files);
}

const char *TunoraEngineLoadError()
{
    if (engine())
        return nullptr;
    std::lock_guard lock(g_mutex);
    return g_error.c_str();
}

#define TUNORA_ENGINE_FORWARD(ret, name, params, args, failed)                                               \
    ret name params                                                                                          \
    {                                                                                                        \
        if (const TunoraEngineTable *table = engine())                                                       \
            return table->name args;                                                                         \
        return failed;                                                                                       \
    }
TUNORA_ENGINE_FUNCTIONS(TUNORA_ENGINE_FORWARD)
#undef TUNORA_ENGINE_FORWARD
