#include "proxysetting.h"

#include "bassinit.h"

#include <QCoreApplication>
#include <QNetworkProxyFactory>
#include <QSettings>
#include <QUrl>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ProxySetting", text);
}

const char *const KindKeys[] = {"none", "system", "http", "socks"};

} // namespace

QString ProxySetting::kindKey(Kind kind)
{
    return QLatin1String(KindKeys[kind]);
}

ProxySetting::Kind ProxySetting::kindFromKey(const QString &key)
{
    for (int k = None; k <= Socks; ++k) {
        if (key.compare(QLatin1String(KindKeys[k]), Qt::CaseInsensitive) == 0)
            return Kind(k);
    }
    return None;
}

ProxySetting ProxySetting::load()
{
    QSettings settings;
    ProxySetting setting;
    setting.kind = kindFromKey(settings.value(QStringLiteral("proxy/kind")).toString());
    setting.host = settings.value(QStringLiteral("proxy/host")).toString().trimmed();
    setting.port = settings.value(QStringLiteral("proxy/port"), 0).toInt();
    return setting;
}

void ProxySetting::save() const
{
    QSettings settings;
    settings.setValue(QStringLiteral("proxy/kind"), kindKey(kind));
    settings.setValue(QStringLiteral("proxy/host"), host);
    settings.setValue(QStringLiteral("proxy/port"), port);
}

bool ProxySetting::isValid(QString *error) const
{
    if (kind == None || kind == System)
        return true;
    QString message;
    // The host goes into "host:port" texts and request lines: nothing but a host may pass.
    const QUrl url(QStringLiteral("http://") +
                       (host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host) +
                       QLatin1Char('/'),
                   QUrl::StrictMode);
    if (host.isEmpty())
        message = tr("Enter the proxy's host name or address");
    else if (!url.isValid() || url.host().isEmpty() || url.path() != QLatin1String("/") ||
             !url.userInfo().isEmpty() || host.contains(QLatin1Char('@')) ||
             host.contains(QLatin1Char('/')) || host.contains(QLatin1Char(' ')))
        message = tr("The proxy host is not a host name or address");
    else if (port < 1 || port > 65535)
        message = tr("The proxy port must be between 1 and 65535");
    if (error)
        *error = message;
    return message.isEmpty();
}

QNetworkProxy ProxySetting::qtProxy() const
{
    switch (kind) {
    case Http:
        return QNetworkProxy(QNetworkProxy::HttpProxy, host, quint16(port));
    case Socks:
        return QNetworkProxy(QNetworkProxy::Socks5Proxy, host, quint16(port));
    case System:
        return QNetworkProxy(QNetworkProxy::DefaultProxy);
    case None:
        break;
    }
    return QNetworkProxy(QNetworkProxy::NoProxy);
}

QString ProxySetting::engineProxy() const
{
    QString proxyHost;
    int proxyPort = 0;
    if (kind == Http) {
        proxyHost = host;
        proxyPort = port;
    } else if (kind == System) {
        // The system's choice for a plain web address (on Linux: http_proxy and no_proxy).
        const QList<QNetworkProxy> system = QNetworkProxyFactory::systemProxyForQuery(
            QNetworkProxyQuery(QUrl(QStringLiteral("http://stream.invalid/"))));
        if (!system.isEmpty() && system.first().type() == QNetworkProxy::HttpProxy) {
            proxyHost = system.first().hostName();
            proxyPort = system.first().port();
        }
    }
    if (proxyHost.isEmpty() || proxyPort <= 0)
        return QString();
    if (proxyHost.contains(QLatin1Char(':')))
        proxyHost = QLatin1Char('[') + proxyHost + QLatin1Char(']');
    return proxyHost + QLatin1Char(':') + QString::number(proxyPort);
}

ProxyApplied applyProxy(const ProxySetting &setting)
{
    ProxyApplied result;
    if (!setting.isValid(&result.error))
        return result;
    if (setting.kind == ProxySetting::System) {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
    } else {
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        QNetworkProxy::setApplicationProxy(setting.qtProxy());
    }
    const QByteArray engine = setting.engineProxy().toLatin1();
    BASS::SetEngineOption(BASS_CONFIG_NET_PROXY, 0, engine.isEmpty() ? nullptr : engine.constData());
    result.ok = true;
    result.engineUsesProxy = !engine.isEmpty();
    return result;
}
