#include "engineloader.h"

#include "engineapi.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <dlfcn.h>
#include <unistd.h>

namespace {

std::mutex g_mutex;
std::condition_variable g_finishedChanged;
bool g_started = false;
bool g_finished = false;
// Set once, before g_finished; the fast path of every call reads only this.
std::atomic<const TunoraEngineTable *> g_table{nullptr};
std::string g_error;

std::string joined(const std::vector<std::string> &parts, const char *separator)
{
    std::string text;
    for (const std::string &part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

// The module stays loaded for the life of the program: the engine's threads run its code.
void load(const std::vector<std::string> &files)
{
    const TunoraEngineTable *table = nullptr;
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
        if (candidate && candidate->count == TunoraEngineFunctionCount) {
            table = candidate;
            break;
        }
        failures.push_back(file +
                           (entry ? ": made for another version of the program" : ": not the audio engine"));
        dlclose(handle);
    }
    std::lock_guard lock(g_mutex);
    if (!table) {
        g_error = !failures.empty() ? joined(failures, "; ")
                  : files.empty()   ? std::string("no place to look for " TUNORA_ENGINE_MODULE ".so")
                                    : TUNORA_ENGINE_MODULE ".so not found: " + joined(files, ", ");
    }
    g_table.store(table, std::memory_order_release);
    g_finished = true;
    g_finishedChanged.notify_all();
}

const TunoraEngineTable *engine()
{
    if (const TunoraEngineTable *table = g_table.load(std::memory_order_acquire))
        return table;
    std::unique_lock lock(g_mutex);
    if (!g_started) {
        g_started = true;
        lock.unlock();
        load({});
        lock.lock();
    }
    g_finishedChanged.wait(lock, [] { return g_finished; });
    return g_table.load(std::memory_order_acquire);
}

} // namespace

void tunora::audio::startLoadingEngine(std::vector<std::string> files)
{
    std::lock_guard lock(g_mutex);
    if (g_started)
        return;
    g_started = true;
    std::thread([files = std::move(files)] { load(files); }).detach();
}

bool tunora::audio::engineLoaded()
{
    return engine() != nullptr;
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
