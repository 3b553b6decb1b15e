// Linked into tests and benchmarks that embed the window: its web pages come from here instead
// of the plug-in (the caller runs WebProfile::prepareEngine() before its application object).

#include "webpagesimpl.h"

namespace {

const bool registered = [] {
    static WebPagesImpl pages;
    WebPages::registerInProcess(&pages);
    return true;
}();

} // namespace
