#include "scriptedserver.h"
#include "handoff.h"
#include "net.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace TunoraTest {

namespace {

struct Session
{
    QTcpSocket *socket = nullptr;
    QByteArray incoming; // what the client sent and no request has taken yet
    bool answered = false;
    ScriptedServer::Script script;
    qsizetype step = 0;
    qsizetype streamAt = 0;
    int index = 0;
};

} // namespace

class ScriptedServerWorker : public QObject
{
public:
    ScriptedServerWorker(ScriptedServer *owner, ScriptedServer::Handler handler)
        : m_owner(owner)
        , m_handler(std::move(handler))
    {}

    quint16 listen(const QSslCertificate &certificate, const QSslKey &key)
    {
        if (!certificate.isNull()) {
            m_server = newTlsServer(certificate, key, this);
        } else {
            m_server = new QTcpServer(this);
        }
        QObject::connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] { accept(); });
        if (!m_server->listen(QHostAddress::LocalHost, 0))
            return 0;
        return m_server->serverPort();
    }

    void shutDown()
    {
        if (m_server)
            m_server->close();
        const QList<QTcpSocket *> sockets = findChildren<QTcpSocket *>();
        for (QTcpSocket *socket : sockets)
            socket->abort();
    }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            socket->setParent(this);
            auto session = std::make_shared<Session>();
            session->socket = socket;
            session->index = m_next++;
            ++m_owner->m_connections;
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, session] { readRequest(session); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            readRequest(session);
        }
    }

    void readRequest(const std::shared_ptr<Session> &session)
    {
        session->incoming += session->socket->readAll();
        if (session->answered)
            return;
        const qsizetype end = session->incoming.indexOf("\r\n\r\n");
        if (end < 0) {
            if (session->incoming.size() > 65536)
                session->socket->abort();
            return;
        }
        const QByteArray request = session->incoming.left(end + 4);
        session->incoming.remove(0, end + 4);
        session->answered = true;
        {
            std::lock_guard guard(m_owner->m_lock);
            m_owner->m_requests.append(request);
        }
        session->script = m_handler(session->index, request);
        session->step = 0;
        run(session);
    }

    void run(const std::shared_ptr<Session> &session)
    {
        QTcpSocket *socket = session->socket;
        while (session->step < session->script.size()) {
            const ScriptedServer::Step &step = session->script[session->step];
            switch (step.kind) {
            case ScriptedServer::Step::Send:
                socket->write(step.data);
                ++session->step;
                continue;
            case ScriptedServer::Step::Pause:
                ++session->step;
                QTimer::singleShot(step.ms, socket, [this, session] { run(session); });
                return;
            case ScriptedServer::Step::Stream: {
                const qsizetype n =
                    std::min<qsizetype>(step.chunkBytes, step.data.size() - session->streamAt);
                socket->write(step.data.constData() + session->streamAt, n);
                session->streamAt += n;
                if (session->streamAt >= step.data.size()) {
                    session->streamAt = 0;
                    ++session->step;
                    continue;
                }
                QTimer::singleShot(step.ms, socket, [this, session] { run(session); });
                return;
            }
            case ScriptedServer::Step::Close:
                socket->disconnectFromHost();
                session->step = session->script.size() + 1;
                return;
            case ScriptedServer::Step::Hold:
                return;
            }
        }
        if (session->step == session->script.size())
            socket->disconnectFromHost();
    }

    ScriptedServer *m_owner;
    ScriptedServer::Handler m_handler;
    QTcpServer *m_server = nullptr;
    int m_next = 0;
};

QByteArray ScriptedServer::header(const QByteArray &status, const QList<QByteArray> &lines)
{
    QByteArray out = status + "\r\n";
    for (const QByteArray &line : lines)
        out += line + "\r\n";
    return out + "\r\n";
}

ScriptedServer::ScriptedServer() = default;

ScriptedServer::~ScriptedServer()
{
    stop();
}

bool ScriptedServer::start(Handler handler, const QSslCertificate &certificate, const QSslKey &key)
{
    stop();
    m_connections = 0;
    m_requests.clear(); // the server thread is not running yet
    m_tls = !certificate.isNull();
    m_thread = std::make_unique<QThread>();
    m_worker = new ScriptedServerWorker(this, std::move(handler));
    m_worker->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
    runOnServerThread([&] { m_port = m_worker->listen(certificate, key); });
    return m_port != 0;
}

void ScriptedServer::runOnServerThread(const std::function<void()> &work)
{
    // Passed beside the queued call, not in it: the server thread must not read anything this
    // thread wrote before it took the hand-off (the call's own captures would be such). One call at
    // a time: the caller waits for it.
    static const std::function<void()> *pending = nullptr;
    pending = &work;
    TUNORA_HANDOFF_SEND(&pending);
    QMetaObject::invokeMethod(
        m_worker,
        [] {
            TUNORA_HANDOFF_TAKE(&pending);
            (*pending)();
            TUNORA_HANDOFF_SEND(&pending);
        },
        Qt::BlockingQueuedConnection);
    TUNORA_HANDOFF_TAKE(&pending);
}

void ScriptedServer::stop()
{
    if (!m_thread)
        return;
    runOnServerThread([this] { m_worker->shutDown(); });
    m_thread->quit();
    m_thread->wait();
    m_thread.reset();
    m_worker = nullptr;
    m_port = 0;
}

QByteArray ScriptedServer::url(const QByteArray &path) const
{
    return (m_tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + QByteArray::number(m_port) + path;
}

QList<QByteArray> ScriptedServer::requests() const
{
    std::lock_guard guard(m_lock);
    return m_requests;
}

} // namespace TunoraTest
