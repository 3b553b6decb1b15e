#pragma once

// Hand-offs through Qt's event queue, declared to the thread checker. Qt is not built with it, so it
// cannot see that a queued call, or the wait of a blocking one, orders the two threads. Elsewhere
// these do nothing.
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#define TUNORA_HANDOFF_SEND(tag) __tsan_release(tag)
#define TUNORA_HANDOFF_TAKE(tag) __tsan_acquire(tag)
#else
#define TUNORA_HANDOFF_SEND(tag) static_cast<void>(tag)
#define TUNORA_HANDOFF_TAKE(tag) static_cast<void>(tag)
#endif
