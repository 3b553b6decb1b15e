#include "cookiejar.h"

#include "appsettings.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMetaEnum>
#include <QNetworkCookie>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

std::atomic<bool> CookieJar::s_privateBrowsing{false};

namespace {

bool containsHost(const QStringList &sorted, const QString &host)
{
    return std::binary_search(sorted.cbegin(), sorted.cend(), host);
}

template<typename E>
E enumFromKey(const QString &key, E fallback)
{
    bool ok = false;
    const int v = QMetaEnum::fromType<E>().keyToValue(key.toLatin1().constData(), &ok);
    return ok ? E(v) : fallback;
}

template<typename E>
QString keyOf(E value)
{
    return QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(int(value)));
}

} // namespace

bool CookieGate::accepts(const QString &host, bool thirdParty) const
{
    QMutexLocker lock(&m_lock);
    if (!m_jar)
        return false;
    if (thirdParty && m_jar->acceptPolicy() != CookieJar::AcceptAlways)
        return false;
    return m_jar->acceptsCookiesFrom(host);
}

CookieJar::CookieJar(QObject *parent)
    : QNetworkCookieJar(parent)
{
    m_gate->m_jar = this;
}

CookieJar::~CookieJar()
{
    {
        // A filter call running now finishes first; later ones are refused.
        QMutexLocker lock(&m_gate->m_lock);
        m_gate->m_jar = nullptr;
    }
    if (!m_loaded)
        return;
    save();
    if (m_keepPolicy == KeepUntilExit)
        setAllCookies({});
}

QString CookieJar::cookieFile()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty())
        folder = QDir::homePath() + QStringLiteral("/.") + QCoreApplication::applicationName();
    return folder + QStringLiteral("/cookies.ini");
}

QByteArray CookieJar::serialize(const QList<QNetworkCookie> &cookies)
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out << StreamVersion << quint32(cookies.size());
    for (const QNetworkCookie &c : cookies)
        out << c.toRawForm(QNetworkCookie::Full);
    return data;
}

QList<QNetworkCookie> CookieJar::deserialize(const QByteArray &data)
{
    QList<QNetworkCookie> cookies;
    QDataStream in(data);
    quint32 version = 0;
    quint32 count = 0;
    in >> version >> count;
    if (in.status() != QDataStream::Ok || version != StreamVersion)
        return cookies;
    // The count comes from the file: never reserve by it, stop at the end of the data.
    for (quint32 i = 0; i < count && !in.atEnd(); ++i) {
        QByteArray raw;
        in >> raw;
        if (in.status() != QDataStream::Ok)
            break;
        const QList<QNetworkCookie> parsed = QNetworkCookie::parseCookies(raw);
        if (parsed.isEmpty() && !raw.isEmpty())
            qWarning() << "CookieJar: Unable to parse saved cookie:" << raw;
        cookies += parsed;
    }
    return cookies;
}

void CookieJar::ensureLoaded() const
{
    if (!m_loaded)
        const_cast<CookieJar *>(this)->load();
}

void CookieJar::load()
{
    if (m_loaded)
        return;
    qRegisterMetaType<QList<QNetworkCookie>>();
    const QString file = cookieFile();
    QSettings settings(file, QSettings::IniFormat);
    setAllCookies(deserialize(settings.value(QStringLiteral("cookies")).toByteArray()));
    {
        QMutexLocker lock(&m_policyLock);
        setSortedList(m_blocked, settings.value(QStringLiteral("Exceptions/block")).toStringList());
        setSortedList(m_allowed, settings.value(QStringLiteral("Exceptions/allow")).toStringList());
        setSortedList(m_allowedForSession,
                      settings.value(QStringLiteral("Exceptions/allowForSession")).toStringList());
    }
    loadSettings();
}

void CookieJar::loadSettings()
{
    const AppSettings &app = AppSettings::instance();
    {
        QMutexLocker lock(&m_policyLock);
        m_acceptPolicy = enumFromKey(app.acceptCookies(), AcceptOnlyFromSitesNavigatedTo);
        m_keepPolicy = enumFromKey(app.keepCookiesUntil(), KeepUntilExpire);
    }
    if (m_keepPolicy == KeepUntilExit)
        setAllCookies({});
    m_loaded = true;
    emit cookiesChanged();
}

void CookieJar::purgeOldCookies()
{
    const QList<QNetworkCookie> cookies = allCookies();
    if (cookies.isEmpty())
        return;
    const QDateTime now = QDateTime::currentDateTime();
    QList<QNetworkCookie> kept;
    for (const QNetworkCookie &c : cookies)
        if (c.isSessionCookie() || c.expirationDate() >= now)
            kept << c;
    if (kept.size() != cookies.size()) {
        setAllCookies(kept);
        emit cookiesChanged();
    }
}

bool CookieJar::save()
{
    if (!m_loaded)
        return true;
    purgeOldCookies();
    QList<QNetworkCookie> persistent;
    for (const QNetworkCookie &c : allCookies())
        if (!c.isSessionCookie())
            persistent << c;

    const QString file = cookieFile();
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        m_error = QStringLiteral("cannot create the folder of %1").arg(file);
        return false;
    }
    // QSettings writes through a save file of its own, so a failed write keeps the old file.
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue(QStringLiteral("cookies"), serialize(persistent));
        QMutexLocker lock(&m_policyLock);
        settings.setValue(QStringLiteral("Exceptions/block"), m_blocked);
        settings.setValue(QStringLiteral("Exceptions/allow"), m_allowed);
        settings.setValue(QStringLiteral("Exceptions/allowForSession"), m_allowedForSession);
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            m_error = QStringLiteral("cannot write %1").arg(file);
            qWarning() << "CookieJar::save()" << m_error;
            return false;
        }
    }
    // Cookies can be secrets (session tokens): only the owner reads them.
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    AppSettings &app = AppSettings::instance();
    app.setAcceptCookies(keyOf(acceptPolicy()));
    app.setKeepCookiesUntil(keyOf(keepPolicy()));
    m_error.clear();
    return true;
}

void CookieJar::clear()
{
    setAllCookies({});
    emit cookiesChanged();
}

QList<QNetworkCookie> CookieJar::cookiesForUrl(const QUrl &url) const
{
    ensureLoaded();
    if (s_privateBrowsing)
        return {};
    return QNetworkCookieJar::cookiesForUrl(url);
}

bool CookieJar::acceptsCookiesFrom(const QString &host) const
{
    if (s_privateBrowsing)
        return false;
    QMutexLocker lock(&m_policyLock);
    if (m_acceptPolicy == AcceptNever)
        return containsHost(m_allowed, host) || containsHost(m_allowedForSession, host);
    return !containsHost(m_blocked, host);
}

QNetworkCookie CookieJar::limitedCookie(const QNetworkCookie &cookie) const
{
    QNetworkCookie c = cookie;
    if (keepPolicy() == KeepUntilTimeLimit && !c.isSessionCookie()) {
        const QDateTime limit = QDateTime::currentDateTime().addDays(TimeLimitDays);
        if (c.expirationDate() > limit)
            c.setExpirationDate(limit);
    }
    return c;
}

bool CookieJar::setCookiesFromUrl(const QList<QNetworkCookie> &cookieList, const QUrl &url)
{
    ensureLoaded();
    if (s_privateBrowsing || !acceptsCookiesFrom(url.host()))
        return false;
    const AcceptPolicy policy = acceptPolicy();
    QList<QNetworkCookie> added;
    for (const QNetworkCookie &original : cookieList) {
        qDebug() << "Network Cookie domain " << original.domain();
        qDebug() << "Network Cookie value " << original.value();
        QNetworkCookie cookie = limitedCookie(original);
        cookie.normalize(url);
        if (QNetworkCookieJar::setCookiesFromUrl({cookie}, url)) {
            added << cookie;
        } else if (policy == AcceptAlways) {
            QList<QNetworkCookie> all = allCookies();
            all << cookie;
            setAllCookies(all);
            added << cookie;
        }
    }
    if (added.isEmpty())
        return false;
    emit cookiesChanged();
    emit cookiesAdded(added, url);
    return true;
}

bool CookieJar::addWebCookie(const QNetworkCookie &cookie)
{
    ensureLoaded();
    QNetworkCookie c = limitedCookie(cookie);
    if (c.domain().isEmpty())
        return false;
    if (!insertCookie(c))
        return false;
    emit cookiesChanged();
    return true;
}

bool CookieJar::removeWebCookie(const QNetworkCookie &cookie)
{
    if (!deleteCookie(cookie))
        return false;
    emit cookiesChanged();
    return true;
}

void CookieJar::setSortedList(QStringList &list, const QStringList &hosts)
{
    list = hosts;
    list.sort();
}

CookieJar::AcceptPolicy CookieJar::acceptPolicy() const
{
    ensureLoaded();
    QMutexLocker lock(&m_policyLock);
    return m_acceptPolicy;
}

void CookieJar::setAcceptPolicy(AcceptPolicy policy)
{
    ensureLoaded();
    QMutexLocker lock(&m_policyLock);
    m_acceptPolicy = policy;
}

CookieJar::KeepPolicy CookieJar::keepPolicy() const
{
    ensureLoaded();
    QMutexLocker lock(&m_policyLock);
    return m_keepPolicy;
}

void CookieJar::setKeepPolicy(KeepPolicy policy)
{
    ensureLoaded();
    QMutexLocker lock(&m_policyLock);
    m_keepPolicy = policy;
}

QStringList CookieJar::blockedCookies() const
{
    ensureLoaded();
    QMutexLocker lock(&m_policyLock);
    return m_blocked;
}

void CookieJar::setBlockedCookies(const QStringList &hosts)
{
    ensureLoaded();
    QMutexLocker lock(&m_policyLock);
    setSortedList(m_blocked, hosts);
}

QStringList CookieJar::allowedCookies() const
{
    ensureLoaded();
    QMutexLocker lock(&m_policyLock);
    return m_allowed;
}

void CookieJar::setAllowedCookies(const QStringList &hosts)
{
    ensureLoaded();
    QMutexLocker lock(&m_policyLock);
    setSortedList(m_allowed, hosts);
}

QStringList CookieJar::allowForSessionCookies() const
{
    ensureLoaded();
    QMutexLocker lock(&m_policyLock);
    return m_allowedForSession;
}

void CookieJar::setAllowForSessionCookies(const QStringList &hosts)
{
    ensureLoaded();
    QMutexLocker lock(&m_policyLock);
    setSortedList(m_allowedForSession, hosts);
}
