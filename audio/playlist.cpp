#include "playlist.h"

#include <algorithm>
#include <cstring>

namespace tunora::audio {

namespace {

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Position of `needle` in `text` at or after `from`, ignoring ASCII case; npos when absent.
std::size_t findNoCase(std::string_view text, std::string_view needle, std::size_t from = 0)
{
    if (needle.empty())
        return from <= text.size() ? from : std::string_view::npos;
    if (needle.size() > text.size())
        return std::string_view::npos;
    const char first = lower(needle[0]);
    for (std::size_t at = from; at + needle.size() <= text.size(); ++at) {
        if (lower(text[at]) != first)
            continue;
        std::size_t i = 1;
        while (i < needle.size() && lower(text[at + i]) == lower(needle[i]))
            ++i;
        if (i == needle.size())
            return at;
    }
    return std::string_view::npos;
}

bool containsNoCase(std::string_view text, std::string_view needle)
{
    return findNoCase(text, needle) != std::string_view::npos;
}

bool isTrimmed(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string trimmed(std::string_view text)
{
    std::size_t begin = 0, end = text.size();
    while (begin < end && isTrimmed(text[begin]))
        ++begin;
    while (end > begin && isTrimmed(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

// The forward cursor the readers share. "Read to X" stops on X (or at the end); "skip past X"
// moves behind the next X and behind copies of X that follow it directly.
class Scanner
{
public:
    explicit Scanner(std::string_view text)
        : m_text(text)
    {}

    bool atEnd() const { return m_at >= m_text.size(); }
    std::size_t find(std::string_view word) const { return findNoCase(m_text, word, m_at); }
    bool startsWith(std::string_view word) const
    {
        return m_text.size() - m_at >= word.size() && findNoCase(m_text.substr(m_at, word.size()), word) == 0;
    }
    void skipBlanks()
    {
        while (!atEnd() && (m_text[m_at] == ' ' || m_text[m_at] == '\t'))
            ++m_at;
    }
    void skipLineBreaks()
    {
        while (!atEnd() && (m_text[m_at] == '\r' || m_text[m_at] == '\n'))
            ++m_at;
    }
    void skipOne(char c)
    {
        if (!atEnd() && m_text[m_at] == c)
            ++m_at;
    }
    // "key = value": blanks, one "=", blanks.
    void skipAssignment()
    {
        skipBlanks();
        skipOne('=');
        skipBlanks();
    }
    void skipPast(std::string_view word)
    {
        const std::size_t at = find(word);
        if (at == std::string_view::npos) {
            m_at = m_text.size();
            return;
        }
        m_at = at + word.size();
        while (startsWith(word))
            m_at += word.size();
    }
    void moveTo(std::string_view word)
    {
        const std::size_t at = find(word);
        m_at = at == std::string_view::npos ? m_text.size() : at;
    }
    std::size_t lineEnd() const
    {
        const std::size_t at = m_text.find_first_of("\r\n", m_at);
        return at == std::string_view::npos ? m_text.size() : at;
    }
    bool lineBreakAhead() const { return m_text.find_first_of("\r\n", m_at) != std::string_view::npos; }
    std::string readTo(std::string_view word)
    {
        const std::size_t at = find(word);
        return take(at == std::string_view::npos ? m_text.size() : at);
    }
    std::string readToLineEnd() { return take(lineEnd()); }
    void moveToLineEnd() { m_at = lineEnd(); }

private:
    std::string take(std::size_t end)
    {
        std::string out(m_text.substr(m_at, end - m_at));
        m_at = end;
        return out;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

// Documents over the size cap are not read at all: the readers never see more than they were
// made for, whatever handed them the text.
bool tooLarge(std::string_view text, std::vector<std::string> &out)
{
    out.clear();
    return text.size() > MaxPlaylistBytes;
}

// Whether an ASX entry carries clientskip="yes" (blanks allowed around the "=").
bool skipsClient(std::string_view body)
{
    for (std::size_t at = findNoCase(body, "clientskip"); at != std::string_view::npos;
         at = findNoCase(body, "clientskip", at + 1)) {
        Scanner s(body.substr(at + std::strlen("clientskip")));
        s.skipAssignment();
        if (s.startsWith("\"yes\""))
            return true;
    }
    return false;
}

// The M3U marker rule: the address on the line that follows each marker line.
std::size_t readAfterMarkers(std::string_view text, std::string_view marker, std::vector<std::string> &out)
{
    Scanner s(text);
    while (out.size() < MaxPlaylistEntries && s.find(marker) != std::string_view::npos) {
        s.skipPast(marker);
        s.moveToLineEnd();
        s.skipOne('\r');
        s.skipOne('\n');
        s.skipBlanks();
        s.skipOne('\r');
        s.skipOne('\n');
        out.push_back(s.readToLineEnd());
        s.skipBlanks();
    }
    return out.size();
}

} // namespace

std::size_t ReadASX(std::string_view text, std::vector<std::string> &out)
{
    if (tooLarge(text, out))
        return 0;
    Scanner s(text);
    while (out.size() < MaxPlaylistEntries) {
        s.skipPast("<entry");
        const std::string body = s.readTo("</entry");
        s.skipPast("</entry");
        if (body.empty())
            break;
        Scanner b(body);
        if (containsNoCase(body, "ref href")) {
            b.skipPast("ref href");
            b.skipAssignment();
            b.skipOne('"');
            std::string address = trimmed(b.readTo("\""));
            if (!skipsClient(body) || containsNoCase(body, "mms://"))
                out.push_back(std::move(address));
        } else if (containsNoCase(body, "mms://")) {
            b.moveTo("mms://");
            out.push_back(trimmed(b.readToLineEnd()));
        }
    }
    return out.size();
}

std::size_t ReadPLS(std::string_view text, std::vector<std::string> &out)
{
    if (tooLarge(text, out))
        return 0;
    if (!containsNoCase(text, "[playlist]"))
        return 0;
    Scanner s(text);
    s.skipPast("[playlist]");
    s.skipLineBreaks();
    int file = 1, title = 1;
    while (!s.atEnd() && out.size() < 10) {
        const std::string fileKey = "File" + std::to_string(file);
        if (!s.startsWith(fileKey)) {
            s.moveToLineEnd();
            s.skipLineBreaks();
            continue;
        }
        ++file;
        s.skipPast(fileKey);
        s.skipAssignment();
        std::string address = trimmed(s.readToLineEnd());
        s.skipLineBreaks();
        const std::string titleKey = "Title" + std::to_string(title);
        if (s.startsWith(titleKey)) {
            ++title;
            s.skipPast(titleKey);
            s.skipAssignment();
            s.readToLineEnd(); // the title is not kept
        }
        s.skipLineBreaks();
        out.push_back(std::move(address));
    }
    return out.size();
}

std::size_t ReadM3U(std::string_view text, std::vector<std::string> &out)
{
    if (tooLarge(text, out))
        return 0;
    if (containsNoCase(text, "#EXTINF:"))
        return readAfterMarkers(text, "#EXTINF:", out);
    if (containsNoCase(text, "#EXTM3U"))
        return readAfterMarkers(text, "#EXTM3U", out);
    Scanner s(text);
    if (containsNoCase(text, "\"file\"")) {
        while (out.size() < MaxPlaylistEntries && s.find("\"file\"") != std::string_view::npos) {
            s.skipPast("\"file\"");
            s.skipBlanks();
            s.skipPast("\"");
            out.push_back(s.readTo("\""));
            s.skipBlanks();
        }
        return out.size();
    }
    while (out.size() < MaxPlaylistEntries && !s.atEnd() && s.lineBreakAhead()) {
        std::string line = s.readToLineEnd();
        s.skipLineBreaks();
        out.push_back(std::move(line));
    }
    return out.size();
}

std::size_t ReadMediaSrc(std::string_view text, std::vector<std::string> &out)
{
    if (tooLarge(text, out))
        return 0;
    if (!containsNoCase(text, "media src="))
        return 0;
    Scanner s(text);
    s.skipPast("media src=");
    s.skipBlanks();
    s.skipOne('"');
    s.skipBlanks();
    out.push_back(trimmed(s.readTo("\"")));
    return out.size();
}

std::size_t ReadPlaylist(std::string_view text, std::vector<std::string> &out)
{
    if (ReadASX(text, out) > 0)
        return out.size();
    if (ReadPLS(text, out) > 0)
        return out.size();
    return ReadM3U(text, out);
}

bool IsPlaylistAddress(std::string_view url)
{
    for (const char *suffix : {".pls", ".m3u", ".asx", ".php"})
        if (findNoCase(url, suffix, 1) != std::string_view::npos)
            return true;
    return false;
}

bool isAcceptableStreamAddress(std::string_view url)
{
    if (url.empty() || url.size() > 4096)
        return false;
    for (const char c : url)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    for (const char *scheme : {"http://", "https://", "mms://", "mmsh://", "mmst://", "rtsp://"}) {
        const std::size_t n = std::strlen(scheme);
        if (url.size() > n && findNoCase(url.substr(0, n), scheme) == 0)
            return url[n] != '/' && url[n] != '?' && url[n] != '#' && url[n] != ' ';
    }
    return false;
}

bool looksLikePlaylist(std::string_view data)
{
    if (data.size() >= 3 && std::memcmp(data.data(), "\xEF\xBB\xBF", 3) == 0)
        data.remove_prefix(3);
    while (!data.empty() && isTrimmed(data.front()))
        data.remove_prefix(1);
    for (const char *marker : {"[playlist]", "#EXTM3U", "#EXTINF", "<asx"}) {
        const std::size_t n = std::strlen(marker);
        if (data.size() >= n && findNoCase(data.substr(0, n), marker) == 0)
            return true;
    }
    return false;
}

bool isLiveStreamPlaylist(std::string_view text)
{
    return containsNoCase(text, "#EXTM3U") &&
           (containsNoCase(text, "#EXT-X-TARGETDURATION") || containsNoCase(text, "#EXT-X-STREAM-INF"));
}

} // namespace tunora::audio
