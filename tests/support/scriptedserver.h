#pragma once

// A byte-level HTTP/ICY server on 127.0.0.1 for what a real server cannot be made to do: replies
// cut at chosen bytes, pauses, dropped connections, connections that are accepted and never
// answered, broken status lines. It runs on a thread of its own, so that a test may block in a
// creator call while the server answers.
//
// Each connection reads the request header (up to the blank line), then asks the handler for a
// script: a list of steps (send bytes, pause, stream bytes at a pace, close, hold the connection
// silent). The handler runs on the server's thread; it gets the connection's number (0 first) and
// the request.

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslKey>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

namespace TunoraTest {

class ScriptedServerWorker;

class ScriptedServer
{
public:
    struct Step
    {
        enum Kind
        {
            Send,
            Pause,
            Stream,
            Close,
            Hold
        };
        Kind kind = Send;
        QByteArray data;
        int ms = 0;
        int chunkBytes = 0;
    };
    using Script = QList<Step>;
    using Handler = std::function<Script(int index, const QByteArray &request)>;

    static Step send(const QByteArray &bytes) { return {Step::Send, bytes, 0, 0}; }
    static Step pause(int ms) { return {Step::Pause, {}, ms, 0}; }
    // `bytes` in pieces of `chunkBytes`, one piece every `everyMs` milliseconds.
    static Step stream(const QByteArray &bytes, int chunkBytes, int everyMs)
    {
        return {Step::Stream, bytes, everyMs, chunkBytes};
    }
    static Step close() { return {Step::Close, {}, 0, 0}; }
    // Keeps the connection open and silent until the server stops.
    static Step hold() { return {Step::Hold, {}, 0, 0}; }

    // A complete reply header: status line, header lines, blank line.
    static QByteArray header(const QByteArray &status, const QList<QByteArray> &lines = {});

    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer &) = delete;
    ScriptedServer &operator=(const ScriptedServer &) = delete;

    // Listens on 127.0.0.1 at a free port; with a certificate and key it speaks TLS.
    bool start(Handler handler, const QSslCertificate &certificate = QSslCertificate(),
               const QSslKey &key = QSslKey());
    void stop();
    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port><path>" ("https://" with TLS).
    QByteArray url(const QByteArray &path) const;

    int connections() const { return m_connections; }
    QList<QByteArray> requests() const;

private:
    friend class ScriptedServerWorker;
    void runOnServerThread(const std::function<void()> &work);
    std::unique_ptr<QThread> m_thread;
    ScriptedServerWorker *m_worker = nullptr;
    quint16 m_port = 0;
    bool m_tls = false;
    // A standard lock rather than Qt's: the thread checker sees it take and free the lock even when
    // the other thread holds it (Qt then waits inside its library, which the checker does not see).
    mutable std::mutex m_lock;
    std::atomic<int> m_connections = 0;
    QList<QByteArray> m_requests;
};

} // namespace TunoraTest
