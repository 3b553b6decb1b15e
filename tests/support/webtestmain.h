#pragma once

// Entry point for test executables that open pages in the web engine.

#include "testmain.h"
#include "webprofile.h"

// Chromium inside the web engine frees some of its own objects through a base of another size (it
// is built without sized-deallocation checks), and keeps some allocations of its browser process
// (profile adapter, network and device threads, udev monitor) until exit; every such stack lies
// wholly inside these two libraries. Only these exemptions, only in executables that use this
// entry point; every other check and the leak check stay on. As root the engine's sandbox cannot
// start; the tests load only local pages.
#define TUNORA_WEB_TEST_MAIN(TestObject)                                                                     \
    extern "C" const char *__asan_default_options()                                                          \
    {                                                                                                        \
        return "new_delete_type_mismatch=0";                                                                 \
    }                                                                                                        \
    extern "C" const char *__lsan_default_suppressions()                                                     \
    {                                                                                                        \
        return "leak:libQt6WebEngineCore.so\nleak:libudev.so\n";                                             \
    }                                                                                                        \
    TUNORA_TEST_MAIN_IMPL(QApplication, TestObject, qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");             \
                          WebProfile::prepareEngine())
