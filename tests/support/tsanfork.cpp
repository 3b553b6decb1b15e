// ThreadSanitizer builds only. QProcess starts a child with clone(CLONE_VM | CLONE_VFORK): the
// child runs on the parent's memory until it execs and leaves the checker's shared state as in the
// child of a multi-threaded fork, after which the test process reports no race at all. Such clones
// become an ordinary fork here (which the checker handles); the child only runs Qt's exec step.
#include <dlfcn.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>

extern "C" int clone(int (*fn)(void *), void *stack, int flags, void *arg, ...)
{
    va_list rest;
    va_start(rest, arg);
    auto *parentTid = va_arg(rest, pid_t *);
    auto *tls = va_arg(rest, void *);
    auto *childTid = va_arg(rest, pid_t *);
    va_end(rest);
    if ((flags & CLONE_VM) && (flags & CLONE_VFORK)) {
        const pid_t pid = fork();
        if (pid == 0)
            _exit(fn(arg));
        if (pid > 0 && (flags & 0x1000)) // CLONE_PIDFD: the parent gets the child's descriptor
            *parentTid = pid_t(syscall(SYS_pidfd_open, pid, 0));
        return pid;
    }
    using Clone = int (*)(int (*)(void *), void *, int, void *, ...);
    static const auto next = reinterpret_cast<Clone>(dlsym(RTLD_NEXT, "clone"));
    return next(fn, stack, flags, arg, parentTid, tls, childTid);
}
