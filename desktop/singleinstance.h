#pragma once

// One player per desktop session: the first start owns a name on the D-Bus session bus; a second
// start hands its arguments to it (the running player plays them and raises its window) and exits.
//
//   SingleInstance instance;
//   if (instance.claim() == SingleInstance::Secondary &&
//       instance.forward(LaunchArguments::absolute(args, QDir::currentPath())))
//       return 0;
//   connect(&instance, &SingleInstance::signal_activated, window, ...);

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

class SingleInstance : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "local.tunora.TunoraDE.Instance")

public:
    static constexpr const char *ServiceName = "local.tunora.TunoraDE";
    static constexpr const char *ObjectPath = "/local/tunora/TunoraDE";
    static constexpr const char *InterfaceName = "local.tunora.TunoraDE.Instance";
    // More arguments than this are not forwarded (a desktop hands over a handful).
    static constexpr int MaxArguments = 100;

    enum Role
    {
        Unclaimed, // claim() not called yet
        Primary,   // this process owns the name and receives the arguments of later starts
        Secondary, // another process owns it: forward() and exit
        NoBus      // no session bus: run on its own
    };

    explicit SingleInstance(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    Role claim();
    Role role() const { return m_role; }

    // Hands the arguments to the primary instance and waits for its answer (the second process has
    // no window yet, so a short wait in a local event loop is harmless). False when nobody answered.
    bool forward(const QStringList &arguments, int timeoutMs = 5000);

public slots:
    // Called over the bus by a later start.
    Q_SCRIPTABLE void Activate(const QStringList &arguments);

signals:
    // A later start was made, with these arguments (possibly none): raise the window, play them.
    void signal_activated(const QStringList &arguments);

private:
    QDBusConnection m_bus;
    Role m_role = Unclaimed;
};
