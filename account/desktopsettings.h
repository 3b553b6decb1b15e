#pragma once

// The settings panel's desktop group: a notification for each new song, the tray icon and closing
// to it, and the proxy (none, the system's, HTTP or SOCKS at host:port). Each change is saved at
// once; a valid proxy is applied process-wide when it is saved.

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

class DesktopSettings : public QGroupBox
{
    Q_OBJECT
public:
    // The keys of the listener's choices; all off when absent.
    static QString notificationsKey();
    static QString trayIconKey() { return QStringLiteral("TrayIcon"); }
    static QString closeToTrayKey() { return QStringLiteral("CloseToTray"); }

    static bool notificationsEnabled();
    static bool trayIconEnabled();
    static bool closeToTrayEnabled();

    explicit DesktopSettings(QWidget *parent = nullptr);

    // What the proxy row says: empty, why the entry cannot be used, or that streams go direct.
    QString proxyMessage() const;

signals:
    // A choice was saved (the window applies notifications and the tray icon).
    void signal_changed();

private:
    void saveChecks();
    void saveProxy();
    void updateProxyFields();

    QCheckBox *m_cbNotifications;
    QCheckBox *m_cbTray;
    QCheckBox *m_cbCloseToTray;
    QComboBox *m_cbProxyKind;
    QLineEdit *m_leProxyHost;
    QSpinBox *m_sbProxyPort;
    QLabel *m_lblProxyMessage;
    bool m_loading = false;
};
