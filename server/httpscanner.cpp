#include "httpscanner.h"

namespace {

bool isTokenChar(char c)
{
    if (c >= 'a' && c <= 'z')
        return true;
    if (c >= 'A' && c <= 'Z')
        return true;
    if (c >= '0' && c <= '9')
        return true;
    switch (c) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '*':
    case '+':
    case '-':
    case '.':
    case '^':
    case '_':
    case '`':
    case '|':
    case '~':
        return true;
    default:
        return false;
    }
}

bool knownMethod(const QByteArray &m)
{
    static const char *const methods[] = {"GET",    "HEAD",    "POST",  "PUT",
                                          "DELETE", "OPTIONS", "PATCH", "TRACE"};
    for (const char *known : methods) {
        if (m == known)
            return true;
    }
    return false;
}

bool hasToken(const QByteArray &value, const char *token)
{
    const QList<QByteArray> parts = value.split(',');
    for (const QByteArray &p : parts) {
        if (p.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

HttpRequestScanner::HttpRequestScanner()
    : m_limits(Limits())
{}

bool HttpRequestScanner::fail(int status)
{
    m_status = status;
    m_line.clear();
    return false;
}

bool HttpRequestScanner::feed(const char *data, qsizetype size)
{
    if (m_status)
        return false;
    qsizetype i = 0;
    while (i < size) {
        if (m_state == State::Body) {
            const qint64 take = qMin<qint64>(m_bodyLeft, size - i);
            m_current.body.append(data + i, take);
            m_bodyLeft -= take;
            i += take;
            if (m_bodyLeft == 0) {
                m_done.append(std::move(m_current));
                m_current = Request();
                m_state = State::RequestLine;
            }
            continue;
        }
        const char *start = data + i;
        const char *nl = static_cast<const char *>(memchr(start, '\n', size_t(size - i)));
        const qsizetype chunk = nl ? (nl - start) : (size - i);
        // Blank lines ahead of a request line are allowed and not counted.
        if (m_state == State::RequestLine && m_line.isEmpty() && m_headerBytes == 0 && nl &&
            (chunk == 0 || (chunk == 1 && start[0] == '\r'))) {
            i += chunk + 1;
            continue;
        }
        m_headerBytes += chunk + (nl ? 1 : 0);
        if (m_headerBytes > m_limits.maxHeaderBytes)
            return fail(m_state == State::RequestLine ? 414 : 431);
        m_line.append(start, chunk);
        i += chunk;
        if (!nl)
            break;
        ++i; // the line feed
        if (!endOfLine())
            return false;
    }
    return true;
}

bool HttpRequestScanner::endOfLine()
{
    QByteArray line;
    line.swap(m_line);
    if (line.endsWith('\r'))
        line.chop(1);
    for (char c : std::as_const(line)) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f)
            return fail(400);
    }
    if (m_state == State::RequestLine)
        return requestLine(line);
    if (line.isEmpty())
        return endOfHeaders();
    return headerLine(line);
}

bool HttpRequestScanner::requestLine(const QByteArray &line)
{
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3)
        return fail(400);
    const QByteArray &method = parts[0];
    const QByteArray &target = parts[1];
    const QByteArray &version = parts[2];
    if (method.isEmpty() || method.size() > 16)
        return fail(400);
    for (char c : method) {
        if (c < 'A' || c > 'Z')
            return fail(400);
    }
    if (!knownMethod(method))
        return fail(501);
    if (!version.startsWith("HTTP/"))
        return fail(400);
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return fail(505);
    if (target.isEmpty() || target[0] != '/')
        return fail(400);
    for (char c : target) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f)
            return fail(400);
    }
    m_current = Request();
    m_current.method = method;
    m_current.target = target;
    m_current.minorVersion = version == "HTTP/1.1" ? 1 : 0;
    m_sawContentLength = false;
    m_connectionClose = false;
    m_connectionKeepAlive = false;
    m_headerLines = 0;
    m_state = State::Headers;
    return true;
}

bool HttpRequestScanner::headerLine(const QByteArray &line)
{
    if (++m_headerLines > m_limits.maxHeaderLines)
        return fail(431);
    // Folded continuation lines are obsolete and a known smuggling vector.
    if (line[0] == ' ' || line[0] == '\t')
        return fail(400);
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return fail(400);
    const QByteArray name = line.left(colon);
    for (char c : name) {
        if (!isTokenChar(c))
            return fail(400);
    }
    const QByteArray value = line.mid(colon + 1).trimmed();
    m_current.headers.append({name, value});
    if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
        if (value.isEmpty() || value.size() > 18)
            return fail(400);
        for (char c : value) {
            if (c < '0' || c > '9')
                return fail(400);
        }
        const qint64 n = value.toLongLong();
        if (m_sawContentLength && n != m_current.contentLength)
            return fail(400);
        m_sawContentLength = true;
        m_current.contentLength = n;
    } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
        // The service takes no streamed request bodies.
        return fail(501);
    } else if (name.compare("Upgrade", Qt::CaseInsensitive) == 0) {
        // No protocol switches: they would take the connection away from the request handler.
        return fail(400);
    } else if (name.compare("Connection", Qt::CaseInsensitive) == 0) {
        if (hasToken(value, "close"))
            m_connectionClose = true;
        if (hasToken(value, "keep-alive"))
            m_connectionKeepAlive = true;
        if (hasToken(value, "upgrade"))
            return fail(400);
    }
    return true;
}

bool HttpRequestScanner::endOfHeaders()
{
    if (m_current.contentLength > m_limits.maxBodyBytes)
        return fail(413);
    m_current.keepAlive =
        m_current.minorVersion == 1 ? !m_connectionClose : (m_connectionKeepAlive && !m_connectionClose);
    m_bodyLeft = m_current.contentLength;
    m_headerBytes = 0;
    if (m_bodyLeft > 0) {
        m_state = State::Body;
        return true;
    }
    m_done.append(std::move(m_current));
    m_current = Request();
    m_state = State::RequestLine;
    return true;
}
