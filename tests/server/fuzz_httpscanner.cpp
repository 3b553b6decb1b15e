// Fuzz target: the HTTP request scanner that guards the service's connections. The input is
// split into pieces at the positions its first byte chooses, as network reads would split it.

#include "httpscanner.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    HttpRequestScanner::Limits limits;
    limits.maxHeaderBytes = 4096;
    limits.maxHeaderLines = 20;
    limits.maxBodyBytes = 1024;
    HttpRequestScanner scanner(limits);
    const std::size_t step = 1 + data[0] % 64;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const std::size_t n = size - 1;
    for (std::size_t i = 0; i < n; i += step) {
        const std::size_t len = i + step <= n ? step : n - i;
        if (!scanner.feed(bytes + i, qsizetype(len)))
            break;
    }
    while (scanner.hasRequest()) {
        const HttpRequestScanner::Request r = scanner.takeRequest();
        // Every request the scanner lets through has a plain path and a known version.
        if (r.target.isEmpty() || r.target[0] != '/' || (r.minorVersion != 0 && r.minorVersion != 1))
            __builtin_trap();
    }
    return 0;
}
