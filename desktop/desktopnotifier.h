#pragma once

// A desktop notification for each new song the player accepts (artist, title, station and the
// cover when there is one), through the freedesktop notification service. Off until enabled.
// One notification per song: a cover that arrives later updates that notification in place.

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QString>

class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *ServiceName = "org.freedesktop.Notifications";
    static constexpr const char *ObjectPath = "/org/freedesktop/Notifications";
    // Covers are sent at most this large (the image travels inside the bus message).
    static constexpr int MaxCoverSide = 256;

    explicit DesktopNotifier(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                             QObject *parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }
    // The settings key of the listener's choice (off when absent).
    static QString settingsKey() { return QStringLiteral("DesktopNotifications"); }

    // A new song was accepted. The same song again (repeated titles of one song) shows nothing new.
    void songAccepted(const QString &artist, const QString &title, const QString &station,
                      const QImage &cover = QImage());
    // The cover of the song last announced arrived.
    void coverArrived(const QString &artist, const QString &title, const QImage &cover);

    // Id the service gave the current notification (0 until it answered).
    uint currentId() const { return m_id; }
    // A call to the service is on its way.
    bool isBusy() const { return m_pending; }

signals:
    // A call was answered (id > 0) or failed (id 0); for the owner's diagnostics and the tests.
    void signal_sent(uint id);

private:
    void send();

    QDBusConnection m_bus;
    bool m_enabled = false;
    bool m_markup = false; // the service renders body markup: escape what we send
    bool m_capabilitiesAsked = false;
    QString m_songKey;
    QString m_summary;
    QString m_body;
    QImage m_cover;
    uint m_id = 0;          // replaces_id for the song's updates
    bool m_pending = false; // a Notify call is on its way
    bool m_resend = false;  // something changed while it was
};
