#include "desktopsettings.h"

#include "desktopnotifier.h"
#include "proxysetting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>

QString DesktopSettings::notificationsKey()
{
    return DesktopNotifier::settingsKey();
}

bool DesktopSettings::notificationsEnabled()
{
    return QSettings().value(notificationsKey(), false).toBool();
}

bool DesktopSettings::trayIconEnabled()
{
    return QSettings().value(trayIconKey(), false).toBool();
}

bool DesktopSettings::closeToTrayEnabled()
{
    return QSettings().value(closeToTrayKey(), false).toBool();
}

DesktopSettings::DesktopSettings(QWidget *parent)
    : QGroupBox(tr("Desktop"), parent)
    , m_cbNotifications(new QCheckBox(tr("Show a notification for each new song"), this))
    , m_cbTray(new QCheckBox(tr("Show an icon in the system tray"), this))
    , m_cbCloseToTray(new QCheckBox(tr("Closing the window keeps the player in the tray"), this))
    , m_cbProxyKind(new QComboBox(this))
    , m_leProxyHost(new QLineEdit(this))
    , m_sbProxyPort(new QSpinBox(this))
    , m_lblProxyMessage(new QLabel(this))
{
    setObjectName(QStringLiteral("grpDesktop"));
    m_cbNotifications->setObjectName(QStringLiteral("cbNotifications"));
    m_cbTray->setObjectName(QStringLiteral("cbTrayIcon"));
    m_cbCloseToTray->setObjectName(QStringLiteral("cbCloseToTray"));
    m_cbProxyKind->setObjectName(QStringLiteral("cbProxyKind"));
    m_leProxyHost->setObjectName(QStringLiteral("leProxyHost"));
    m_sbProxyPort->setObjectName(QStringLiteral("sbProxyPort"));
    m_lblProxyMessage->setObjectName(QStringLiteral("lblProxyMessage"));

    m_cbProxyKind->addItem(tr("No proxy"), int(ProxySetting::None));
    m_cbProxyKind->addItem(tr("The system's proxy"), int(ProxySetting::System));
    m_cbProxyKind->addItem(tr("HTTP proxy"), int(ProxySetting::Http));
    m_cbProxyKind->addItem(tr("SOCKS proxy"), int(ProxySetting::Socks));
    m_leProxyHost->setPlaceholderText(tr("Host"));
    m_leProxyHost->setAccessibleName(tr("Proxy host"));
    m_sbProxyPort->setRange(0, 65535);
    m_sbProxyPort->setSpecialValueText(tr("Port"));
    m_sbProxyPort->setAccessibleName(tr("Proxy port"));
    m_lblProxyMessage->setWordWrap(true);
    m_lblProxyMessage->setTextFormat(Qt::PlainText);
    auto *proxyLabel = new QLabel(tr("Proxy:"), this);
    proxyLabel->setBuddy(m_cbProxyKind);

    auto *grid = new QGridLayout(this);
    int row = 0;
    grid->addWidget(m_cbNotifications, row++, 0, 1, 4);
    grid->addWidget(m_cbTray, row++, 0, 1, 4);
    grid->addWidget(m_cbCloseToTray, row++, 0, 1, 4);
    grid->addWidget(proxyLabel, row, 0);
    grid->addWidget(m_cbProxyKind, row, 1);
    grid->addWidget(m_leProxyHost, row, 2);
    grid->addWidget(m_sbProxyPort, row++, 3);
    grid->addWidget(m_lblProxyMessage, row++, 0, 1, 4);
    grid->setColumnStretch(2, 1);

    m_loading = true;
    m_cbNotifications->setChecked(notificationsEnabled());
    m_cbTray->setChecked(trayIconEnabled());
    m_cbCloseToTray->setChecked(closeToTrayEnabled());
    const ProxySetting proxy = ProxySetting::load();
    m_cbProxyKind->setCurrentIndex(m_cbProxyKind->findData(int(proxy.kind)));
    m_leProxyHost->setText(proxy.host);
    m_sbProxyPort->setValue(proxy.port);
    m_loading = false;
    updateProxyFields();

    for (QCheckBox *box : {m_cbNotifications, m_cbTray, m_cbCloseToTray})
        connect(box, &QCheckBox::toggled, this, &DesktopSettings::saveChecks);
    connect(m_cbProxyKind, &QComboBox::currentIndexChanged, this, [this] {
        updateProxyFields();
        saveProxy();
    });
    connect(m_leProxyHost, &QLineEdit::editingFinished, this, &DesktopSettings::saveProxy);
    connect(m_sbProxyPort, &QSpinBox::editingFinished, this, &DesktopSettings::saveProxy);
}

QString DesktopSettings::proxyMessage() const
{
    return m_lblProxyMessage->text();
}

void DesktopSettings::updateProxyFields()
{
    const auto kind = ProxySetting::Kind(m_cbProxyKind->currentData().toInt());
    const bool hostAndPort = kind == ProxySetting::Http || kind == ProxySetting::Socks;
    m_leProxyHost->setEnabled(hostAndPort);
    m_sbProxyPort->setEnabled(hostAndPort);
    m_cbCloseToTray->setEnabled(m_cbTray->isChecked());
}

void DesktopSettings::saveChecks()
{
    updateProxyFields();
    if (m_loading)
        return;
    QSettings settings;
    settings.setValue(notificationsKey(), m_cbNotifications->isChecked());
    settings.setValue(trayIconKey(), m_cbTray->isChecked());
    settings.setValue(closeToTrayKey(), m_cbCloseToTray->isChecked());
    emit signal_changed();
}

void DesktopSettings::saveProxy()
{
    if (m_loading)
        return;
    ProxySetting proxy;
    proxy.kind = ProxySetting::Kind(m_cbProxyKind->currentData().toInt());
    proxy.host = m_leProxyHost->text().trimmed();
    proxy.port = m_sbProxyPort->value();
    // An entry that cannot be used yet (host typed, port still to come) is not stored.
    QString error;
    if (!proxy.isValid(&error)) {
        m_lblProxyMessage->setText(error);
        return;
    }
    proxy.save();
    const ProxyApplied applied = applyProxy(proxy);
    if (!applied.ok)
        m_lblProxyMessage->setText(applied.error);
    else if (proxy.kind == ProxySetting::Socks && !applied.engineUsesProxy)
        m_lblProxyMessage->setText(tr("Streams connect directly: the player sends them only through HTTP "
                                      "proxies."));
    else
        m_lblProxyMessage->clear();
    emit signal_changed();
}
