#include "config.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

const char *const ServiceConfig::DefaultApiKey = "Xq7LmP2vR9tKw4ZbN8cYh3JdF6sQaE1uGoV5iTnB";

namespace {

QString text(const QSettings &s, const char *key, const QString &fallback)
{
    const QVariant v = s.value(QLatin1String(key));
    if (!v.isValid())
        return fallback;
    // QSettings splits unquoted values at commas into lists; join them back.
    if (v.metaType().id() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

QStringList list(const QSettings &s, const char *key, const QStringList &fallback)
{
    const QVariant v = s.value(QLatin1String(key));
    if (!v.isValid())
        return fallback;
    QStringList out;
    const QStringList parts = v.metaType().id() == QMetaType::QStringList
                                  ? v.toStringList()
                                  : v.toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &p : parts) {
        if (!p.trimmed().isEmpty())
            out << p.trimmed();
    }
    return out;
}

bool integer(const QSettings &s, const char *key, int &value, int min, int max, QString *error)
{
    const QVariant v = s.value(QLatin1String(key));
    if (!v.isValid())
        return true;
    bool ok = false;
    const int n = v.toString().trimmed().toInt(&ok);
    if (!ok || n < min || n > max) {
        *error = QStringLiteral("%1 must be a whole number from %2 to %3")
                     .arg(QLatin1String(key))
                     .arg(min)
                     .arg(max);
        return false;
    }
    value = n;
    return true;
}

bool boolean(const QSettings &s, const char *key, bool &value, QString *error)
{
    const QVariant v = s.value(QLatin1String(key));
    if (!v.isValid())
        return true;
    const QString t = v.toString().trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1") || t == QLatin1String("yes"))
        value = true;
    else if (t == QLatin1String("false") || t == QLatin1String("0") || t == QLatin1String("no"))
        value = false;
    else {
        *error = QStringLiteral("%1 must be true or false").arg(QLatin1String(key));
        return false;
    }
    return true;
}

} // namespace

QString ServiceConfig::resolve(const QString &path) const
{
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    return QDir(dataFolder).absoluteFilePath(path);
}

bool ServiceConfig::load(const QString &file, QString *error)
{
    QString dummy;
    if (!error)
        error = &dummy;
    const QFileInfo info(file);
    if (!info.isFile() || !info.isReadable()) {
        *error = QStringLiteral("cannot read the configuration file %1").arg(file);
        return false;
    }
    configFile = info.absoluteFilePath();
    QSettings s(configFile, QSettings::IniFormat);
    if (s.status() != QSettings::NoError) {
        *error = QStringLiteral("the configuration file %1 is not a valid INI file").arg(file);
        return false;
    }

    s.beginGroup(QStringLiteral("service"));
    dataFolder = text(s, "data_folder", info.absolutePath());
    if (!QDir::isAbsolutePath(dataFolder))
        dataFolder = QDir(info.absolutePath()).absoluteFilePath(dataFolder);
    const QString address = text(s, "listen_address", QStringLiteral("127.0.0.1"));
    if (!listenAddress.setAddress(address)) {
        *error = QStringLiteral("listen_address %1 is not an IP address").arg(address);
        return false;
    }
    int p = port;
    if (!integer(s, "port", p, 0, 65535, error))
        return false;
    port = quint16(p);
    int np = 0;
    if (!integer(s, "news_http_port", np, 0, 65535, error))
        return false;
    newsHttpPort = quint16(np);
    const QString pub = text(s, "public_url", QString());
    if (!pub.isEmpty()) {
        publicUrl = QUrl(pub.endsWith(QLatin1Char('/')) ? pub : pub + QLatin1Char('/'), QUrl::StrictMode);
        if (!publicUrl.isValid() ||
            (publicUrl.scheme() != QLatin1String("https") && publicUrl.scheme() != QLatin1String("http"))) {
            *error = QStringLiteral("public_url %1 is not an http(s) address").arg(pub);
            return false;
        }
    }
    certificateFile = resolve(text(s, "tls_certificate", QStringLiteral("tls/server.pem")));
    keyFile = resolve(text(s, "tls_key", QStringLiteral("tls/server.key")));
    apiKeys = list(s, "api_keys", {QLatin1String(DefaultApiKey)});
    if (!integer(s, "max_connections", maxConnections, 1, 100000, error) ||
        !integer(s, "idle_timeout", idleTimeoutSeconds, 1, 3600, error) ||
        !integer(s, "request_timeout", requestTimeoutSeconds, 1, 3600, error) ||
        !integer(s, "max_header_bytes", maxHeaderBytes, 1024, 1024 * 1024, error) ||
        !integer(s, "max_body_bytes", maxBodyBytes, 0, 1024 * 1024, error) ||
        !integer(s, "search_cache_seconds", searchCacheSeconds, 0, 3600, error))
        return false;
    s.endGroup();

    s.beginGroup(QStringLiteral("database"));
    databaseDriver = text(s, "driver", databaseDriver).toLower();
    if (databaseDriver != QLatin1String("sqlite") && databaseDriver != QLatin1String("postgresql")) {
        *error = QStringLiteral("database driver must be sqlite or postgresql, not %1").arg(databaseDriver);
        return false;
    }
    sqliteFile = resolve(text(s, "sqlite_file", QStringLiteral("directory.sqlite")));
    pgHost = text(s, "host", pgHost);
    pgDatabase = text(s, "name", pgDatabase);
    pgUser = text(s, "user", pgUser);
    pgPassword = text(s, "password", pgPassword);
    pgOptions = text(s, "options", pgOptions);
    if (!integer(s, "port", pgPort, 1, 65535, error))
        return false;
    s.endGroup();

    s.beginGroup(QStringLiteral("catalogue"));
    if (!boolean(s, "import_when_empty", importWhenEmpty, error))
        return false;
    catalogueFiles.clear();
    for (const QString &f : list(s, "files", {}))
        catalogueFiles << resolve(f);
    s.endGroup();

    s.beginGroup(QStringLiteral("accounts"));
    // The floor keeps a configuration typo from weakening every stored password.
    if (!integer(s, "password_iterations", passwordIterations, 600000, 100000000, error) ||
        !integer(s, "verify_cache_seconds", verifyCacheSeconds, 0, 86400, error) ||
        !integer(s, "verify_cache_entries", verifyCacheEntries, 0, 10000000, error) ||
        !integer(s, "account_failure_limit", accountFailureLimit, 1, 1000, error) ||
        !integer(s, "address_failure_limit", addressFailureLimit, 1, 100000, error) ||
        !integer(s, "failure_window", failureWindowSeconds, 1, 86400, error) ||
        !integer(s, "creation_limit", creationLimit, 1, 100000, error) ||
        !integer(s, "mail_limit", mailLimit, 1, 100000, error) ||
        !integer(s, "activation_hours", activationHours, 1, 24 * 365, error) ||
        !integer(s, "reset_minutes", resetMinutes, 1, 24 * 60, error) ||
        !integer(s, "hash_threads", hashThreads, 1, 64, error) ||
        !integer(s, "hash_queue", hashQueueLimit, 1, 100000, error) ||
        !integer(s, "history_length", historyLength, 1, 1000, error) ||
        !integer(s, "favorites_limit", favoritesLimit, 1, 100000, error))
        return false;
    s.endGroup();

    s.beginGroup(QStringLiteral("mail"));
    maildir = resolve(text(s, "maildir", QStringLiteral("mail")));
    sendmailCommand = text(s, "sendmail", QString());
    mailFrom = text(s, "from", mailFrom);
    s.endGroup();

    s.beginGroup(QStringLiteral("software"));
    softwareName = text(s, "name", softwareName);
    softwareVersion = text(s, "version", softwareVersion);
    softwareComment = text(s, "comment", softwareComment);
    softwareCommentVersion = text(s, "comment_version", softwareCommentVersion);
    softwareFileLocation = text(s, "file_location", softwareFileLocation);
    softwareFileSize = text(s, "file_size", softwareFileSize);
    softwareFileMime = text(s, "file_mime", softwareFileMime);
    softwareFileSha256 = text(s, "file_sha256", softwareFileSha256);
    s.endGroup();

    s.beginGroup(QStringLiteral("covers"));
    coverUpstream = text(s, "upstream", QString());
    coverUpstreamCaFile = resolve(text(s, "upstream_ca_file", QString()));
    if (!integer(s, "cache_hours", coverCacheHours, 0, 24 * 365, error) ||
        !integer(s, "upstream_timeout", coverUpstreamTimeoutSeconds, 1, 120, error) ||
        !integer(s, "upstream_max_bytes", coverUpstreamMaxBytes, 1024, 64 * 1024 * 1024, error))
        return false;
    if (!coverUpstream.isEmpty()) {
        const QUrl u(QString(coverUpstream).replace(QLatin1String("{term}"), QLatin1String("x")));
        if (!u.isValid() || (u.scheme() != QLatin1String("http") && u.scheme() != QLatin1String("https"))) {
            *error = QStringLiteral("covers upstream %1 is not an http(s) address").arg(coverUpstream);
            return false;
        }
    }
    s.endGroup();

    s.beginGroup(QStringLiteral("poller"));
    if (!boolean(s, "enabled", pollerEnabled, error) ||
        !integer(s, "interval", pollIntervalSeconds, 1, 86400, error) ||
        !integer(s, "concurrency", pollConcurrency, 1, 1024, error) ||
        !integer(s, "timeout", pollTimeoutSeconds, 1, 600, error) ||
        !integer(s, "max_backoff", pollMaxBackoffSeconds, 1, 7 * 86400, error) ||
        !integer(s, "start_delay", pollStartDelaySeconds, 0, 3600, error))
        return false;
    s.endGroup();

    s.beginGroup(QStringLiteral("languages"));
    languagesFolder = resolve(text(s, "folder", QStringLiteral("languages")));
    defaultLanguage = text(s, "default", defaultLanguage);
    s.endGroup();

    return true;
}

QUrl ServiceConfig::effectivePublicUrl(quint16 actualPort) const
{
    if (!publicUrl.isEmpty())
        return publicUrl;
    QUrl url;
    const bool any = listenAddress == QHostAddress::AnyIPv4 || listenAddress == QHostAddress::Any ||
                     listenAddress == QHostAddress::AnyIPv6;
    url.setScheme(QStringLiteral("https"));
    url.setHost(any ? QStringLiteral("127.0.0.1") : listenAddress.toString());
    url.setPort(actualPort);
    url.setPath(QStringLiteral("/"));
    return url;
}
