// Addresses of the HTTP client: parsing, resolving references, the request target.

#include "http.h"

#include "httptext.h"

#include <algorithm>
#include <cctype>

namespace tunora::audio {

namespace httptext {

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

std::string base64(std::string_view in)
{
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const std::uint32_t v = (std::uint32_t(std::uint8_t(in[i])) << 16) |
                                (std::uint32_t(std::uint8_t(in[i + 1])) << 8) | std::uint8_t(in[i + 2]);
        out += {table[v >> 18], table[(v >> 12) & 63], table[(v >> 6) & 63], table[v & 63]};
    }
    if (i + 1 == in.size()) {
        const std::uint32_t v = std::uint32_t(std::uint8_t(in[i])) << 16;
        out += {table[v >> 18], table[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == in.size()) {
        const std::uint32_t v =
            (std::uint32_t(std::uint8_t(in[i])) << 16) | (std::uint32_t(std::uint8_t(in[i + 1])) << 8);
        out += {table[v >> 18], table[(v >> 12) & 63], table[(v >> 6) & 63], '='};
    }
    return out;
}

} // namespace httptext

using namespace httptext;

namespace {

bool hasControlCharacters(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// Percent-encodes what may not stand in a request line (blanks, bytes outside ASCII).
std::string encodeTarget(std::string_view target)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : target) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
            c == '`' || c == '{' || c == '|' || c == '}') {
            out.push_back('%');
            out.push_back(hex[byte >> 4]);
            out.push_back(hex[byte & 15]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out.push_back(char(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// Removes "." and ".." segments of a path.
std::string normalisedPath(std::string_view path)
{
    std::vector<std::string_view> segments;
    std::size_t at = 0;
    while (at <= path.size()) {
        const std::size_t slash = path.find('/', at);
        const std::string_view segment =
            path.substr(at, slash == std::string_view::npos ? std::string_view::npos : slash - at);
        const bool last = slash == std::string_view::npos;
        if (segment == "..") {
            if (segments.size() > 1)
                segments.pop_back();
            if (last)
                segments.push_back("");
        } else if (segment == ".") {
            if (last)
                segments.push_back("");
        } else {
            segments.push_back(segment);
        }
        if (last)
            break;
        at = slash + 1;
    }
    std::string out;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0)
            out.push_back('/');
        out.append(segments[i]);
    }
    if (out.empty() || out[0] != '/')
        out.insert(out.begin(), '/');
    return out;
}

} // namespace

// ---- addresses -----------------------------------------------------------------------------------

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

int defaultPort(std::string_view scheme)
{
    if (scheme == "https")
        return 443;
    if (scheme == "mmst")
        return 1755;
    if (scheme == "rtsp")
        return 554;
    return 80;
}

bool Url::parse(std::string_view text, Url &out)
{
    if (text.empty() || text.size() > 4096 || hasControlCharacters(text))
        return false;
    const std::size_t schemeEnd = text.find("://");
    if (schemeEnd == std::string_view::npos || schemeEnd == 0)
        return false;
    Url url;
    url.scheme = lowered(text.substr(0, schemeEnd));
    if (!std::all_of(url.scheme.begin(), url.scheme.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        }))
        return false;
    std::string_view rest = text.substr(schemeEnd + 3);
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos)
        rest = rest.substr(0, hash);
    const std::size_t authorityEnd = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, authorityEnd);
    std::string_view target =
        authorityEnd == std::string_view::npos ? std::string_view("/") : rest.substr(authorityEnd);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view info = authority.substr(0, at);
        const std::size_t colon = info.find(':');
        url.user = percentDecoded(info.substr(0, colon));
        if (colon != std::string_view::npos)
            url.password = percentDecoded(info.substr(colon + 1));
        authority.remove_prefix(at + 1);
    }
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return false;
        url.host = std::string(authority.substr(1, close - 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return false;
            port = after.substr(1);
        }
    } else {
        const std::size_t colon = authority.rfind(':');
        url.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos)
            port = authority.substr(colon + 1);
    }
    if (url.host.empty() || url.host.find_first_of(" \t/\\@[]") != std::string::npos)
        return false;
    url.port = defaultPort(url.scheme);
    if (!port.empty()) {
        if (port.size() > 5 ||
            !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        url.port = std::stoi(std::string(port));
        if (url.port < 1 || url.port > 65535)
            return false;
    }
    if (target.front() == '?')
        url.target = "/" + encodeTarget(target);
    else
        url.target = encodeTarget(target);
    out = std::move(url);
    return true;
}

bool Url::resolve(std::string_view reference, Url &out) const
{
    reference = trimBlanks(reference);
    if (reference.empty() || reference.size() > 4096 || hasControlCharacters(reference))
        return false;
    const std::size_t colon = reference.find("://");
    const std::size_t firstSlash = reference.find('/');
    if (colon != std::string_view::npos && (firstSlash == std::string_view::npos || colon < firstSlash))
        return parse(reference, out);
    if (reference.substr(0, 2) == "//")
        return parse(scheme + ":" + std::string(reference), out);
    Url url = *this;
    std::string path = target.substr(0, target.find('?'));
    std::string joined;
    if (reference.front() == '/') {
        joined = std::string(reference);
    } else if (reference.front() == '?') {
        joined = path + std::string(reference);
    } else {
        joined = path.substr(0, path.rfind('/') + 1) + std::string(reference);
    }
    if (const std::size_t hash = joined.find('#'); hash != std::string::npos)
        joined.resize(hash);
    const std::size_t query = joined.find('?');
    url.target = encodeTarget(normalisedPath(std::string_view(joined).substr(0, query)) +
                              (query == std::string::npos ? std::string() : joined.substr(query)));
    // Already-encoded escapes must not be encoded twice: encodeTarget leaves '%' alone.
    out = std::move(url);
    return true;
}

std::string Url::hostPort() const
{
    std::string out = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    if (port != defaultPort(scheme))
        out += ":" + std::to_string(port);
    return out;
}

std::string Url::toString() const
{
    return scheme + "://" + hostPort() + target;
}

} // namespace tunora::audio
