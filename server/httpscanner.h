#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// Reads the bytes of one HTTP/1.x connection into requests, so that every request the service
// handles is small and well-formed, and every request that is not gets a definite HTTP error
// instead of a silent hang: the request line and header block are
// bounded, control bytes and unknown methods are refused, and request bodies are bounded and
// skipped by their Content-Length. It records, per request, what the reply needs to know (HTTP
// version, keep-alive) in the order the requests arrived.
class HttpRequestScanner
{
public:
    struct Limits
    {
        int maxHeaderBytes = 64 * 1024; // request line + header lines
        int maxHeaderLines = 100;
        qint64 maxBodyBytes = 16 * 1024;
    };

    struct Request
    {
        QByteArray method;
        QByteArray target;
        int minorVersion = 1;
        bool keepAlive = true;
        qint64 contentLength = 0;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
    };

    HttpRequestScanner();
    explicit HttpRequestScanner(const Limits &limits)
        : m_limits(limits)
    {}

    // Feeds the next bytes. Returns false once the stream broke a rule; status() then gives
    // the HTTP status to answer with and no later byte is accepted.
    bool feed(const char *data, qsizetype size);
    bool feed(const QByteArray &data) { return feed(data.constData(), data.size()); }

    // Complete requests (header block and body), oldest first.
    bool hasRequest() const { return !m_done.isEmpty(); }
    Request takeRequest() { return m_done.takeFirst(); }
    qsizetype pendingCount() const { return m_done.size(); }

    int status() const { return m_status; }
    bool failed() const { return m_status != 0; }
    // True while a request has begun but its header block or body is not complete.
    bool midRequest() const { return m_state == State::Body || m_headerBytes > 0; }

private:
    enum class State
    {
        RequestLine,
        Headers,
        Body
    };

    bool fail(int status);
    bool endOfLine();
    bool requestLine(const QByteArray &line);
    bool headerLine(const QByteArray &line);
    bool endOfHeaders();

    Limits m_limits;
    State m_state = State::RequestLine;
    QByteArray m_line;
    qint64 m_headerBytes = 0;
    int m_headerLines = 0;
    qint64 m_bodyLeft = 0;
    bool m_sawContentLength = false;
    bool m_connectionClose = false;
    bool m_connectionKeepAlive = false;
    Request m_current;
    QList<Request> m_done;
    int m_status = 0;
};
