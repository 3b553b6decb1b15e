#pragma once

// Small text helpers shared by the parts of the HTTP client (addresses, header parsing, proxy
// authorisation). Internal to the library.

#include <string>
#include <string_view>

namespace tunora::audio::httptext {

char lower(char c);
std::string lowered(std::string_view text);
bool equalsNoCase(std::string_view a, std::string_view b);
std::string base64(std::string_view in);

} // namespace tunora::audio::httptext
