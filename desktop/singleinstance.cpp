#include "singleinstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>
#include <QEventLoop>
#include <QTimer>

SingleInstance::SingleInstance(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{}

SingleInstance::~SingleInstance()
{
    if (m_role == Primary) {
        m_bus.unregisterObject(QLatin1String(ObjectPath));
        m_bus.unregisterService(QLatin1String(ServiceName));
    }
}

SingleInstance::Role SingleInstance::claim()
{
    if (m_role != Unclaimed)
        return m_role;
    QDBusConnectionInterface *bus = m_bus.isConnected() ? m_bus.interface() : nullptr;
    if (!bus) {
        m_role = NoBus;
        return m_role;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus->registerService(QLatin1String(ServiceName), QDBusConnectionInterface::DontQueueService,
                             QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        m_role = NoBus;
        return m_role;
    }
    if (reply.value() == QDBusConnectionInterface::ServiceNotRegistered) {
        m_role = Secondary;
        return m_role;
    }
    if (!m_bus.registerObject(QLatin1String(ObjectPath), this, QDBusConnection::ExportScriptableSlots)) {
        // Owning the name without answering on it would swallow every later start.
        bus->unregisterService(QLatin1String(ServiceName));
        m_role = NoBus;
        return m_role;
    }
    m_role = Primary;
    return m_role;
}

bool SingleInstance::forward(const QStringList &arguments, int timeoutMs)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(ServiceName), QLatin1String(ObjectPath),
                                       QLatin1String(InterfaceName), QStringLiteral("Activate"));
    call << QVariant(arguments.mid(0, MaxArguments));
    QDBusPendingCallWatcher watcher(m_bus.asyncCall(call, timeoutMs));
    QEventLoop loop;
    connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs + 500, &loop, &QEventLoop::quit);
    if (!watcher.isFinished())
        loop.exec();
    if (watcher.isFinished() && watcher.isError())
        qDebug().noquote() << "SingleInstance::forward" << watcher.error().name()
                           << watcher.error().message();
    return watcher.isFinished() && !watcher.isError();
}

void SingleInstance::Activate(const QStringList &arguments)
{
    emit signal_activated(arguments.mid(0, MaxArguments));
}
