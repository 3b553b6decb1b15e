#include "webprofile.h"

#include "cookiejar.h"

#include "appsettings.h"

#include <openssl/x509.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QNetworkCookie>
#include <QPointer>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace {

// Command links are acted on in the page's navigation check and never load anything.
class CommandSchemeHandler : public QWebEngineUrlSchemeHandler
{
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob *job) override
    {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
    }
};

QPointer<CookieJar> g_jar;
QList<QSslCertificate> g_trustedCas;
bool g_trustedCasSet = false;
QWebEngineProfile *g_profile = nullptr;

// The cookie's own host, without the leading dot of a domain cookie.
QString cookieHost(const QNetworkCookie &cookie)
{
    QString d = cookie.domain();
    if (d.startsWith(QLatin1Char('.')))
        d.remove(0, 1);
    return d;
}

void connectJar()
{
    if (!g_profile || !g_jar)
        return;
    CookieJar *jar = g_jar;
    jar->load();
    QWebEngineCookieStore *store = g_profile->cookieStore();
    // The filter runs on the engine's network thread and may outlive the jar (the profile lives
    // for the whole process, the jar only as long as its window): it asks through the jar's gate.
    store->setCookieFilter([gate = jar->gate()](const QWebEngineCookieStore::FilterRequest &request) {
        return gate->accepts(request.origin.host(), request.thirdParty);
    });
    QObject::connect(store, &QWebEngineCookieStore::cookieAdded, jar,
                     [store, jar](const QNetworkCookie &cookie) {
                         // Cookies set by scripts do not pass the filter: check them here too.
                         if (!jar->acceptsCookiesFrom(cookieHost(cookie))) {
                             store->deleteCookie(cookie);
                             return;
                         }
                         const QNetworkCookie limited = jar->limitedCookie(cookie);
                         if (limited.expirationDate() != cookie.expirationDate()) {
                             store->deleteCookie(cookie);
                             store->setCookie(limited);
                             return;
                         }
                         jar->addWebCookie(cookie);
                     });
    QObject::connect(store, &QWebEngineCookieStore::cookieRemoved, jar,
                     [jar](const QNetworkCookie &cookie) { jar->removeWebCookie(cookie); });
    QObject::connect(jar, &CookieJar::cookiesAdded, store,
                     [store](const QList<QNetworkCookie> &cookies, const QUrl &url) {
                         for (const QNetworkCookie &c : cookies)
                             store->setCookie(c, url);
                     });
    for (const QNetworkCookie &c : jar->cookies())
        store->setCookie(c);
}

} // namespace

namespace WebProfile {

void registerSchemes()
{
    QWebEngineUrlScheme scheme(CommandScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
}

void prepareEngine()
{
    registerSchemes();
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("renderer-process-limit")) {
        flags += flags.isEmpty() ? "" : " ";
        flags += "--renderer-process-limit=1";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    }
}

void setCookieJar(CookieJar *jar)
{
    g_jar = jar;
    connectJar();
}

CookieJar *cookieJar()
{
    return g_jar;
}

bool exists()
{
    return g_profile != nullptr;
}

QWebEngineProfile *shared()
{
    if (g_profile)
        return g_profile;
    // No storage name: an off-the-record profile that writes nothing of its own to disk.
    g_profile = new QWebEngineProfile(QCoreApplication::instance());
    QObject::connect(g_profile, &QObject::destroyed, [] { g_profile = nullptr; });
    g_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    g_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    g_profile->installUrlSchemeHandler(CommandScheme, new CommandSchemeHandler(g_profile));
    applyGlobalSettings(g_profile->settings());
    connectJar();
    return g_profile;
}

void applyGlobalSettings(QWebEngineSettings *settings)
{
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    if (!a.isValid() || !b.isValid() || a.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
        return false;
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && a.port(443) == b.port(443);
}

} // namespace WebProfile

namespace WebProfile {

void setTrustedCaCertificates(const QList<QSslCertificate> &cas)
{
    g_trustedCas = cas;
    g_trustedCasSet = true;
}

bool signedByTrustedCa(const QList<QSslCertificate> &chain)
{
    if (!g_trustedCasSet) {
        const QString file = AppSettings::instance().caFile();
        g_trustedCas = file.isEmpty() ? QList<QSslCertificate>() : QSslCertificate::fromPath(file);
        g_trustedCasSet = true;
    }
    if (chain.isEmpty() || g_trustedCas.isEmpty())
        return false;
    const QByteArray leafDer = chain.first().toDer();
    const unsigned char *p = reinterpret_cast<const unsigned char *>(leafDer.constData());
    X509 *leaf = d2i_X509(nullptr, &p, leafDer.size());
    if (!leaf)
        return false;
    bool ok = false;
    for (const QSslCertificate &ca : std::as_const(g_trustedCas)) {
        const QByteArray caDer = ca.toDer();
        const unsigned char *q = reinterpret_cast<const unsigned char *>(caDer.constData());
        X509 *caCert = d2i_X509(nullptr, &q, caDer.size());
        if (!caCert)
            continue;
        EVP_PKEY *key = X509_get0_pubkey(caCert);
        ok = key && X509_verify(leaf, key) == 1;
        X509_free(caCert);
        if (ok)
            break;
    }
    X509_free(leaf);
    return ok;
}

} // namespace WebProfile
