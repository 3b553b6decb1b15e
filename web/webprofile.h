#pragma once

#include <QList>
#include <QSslCertificate>
#include <QUrl>

class CookieJar;
class QWebEngineProfile;
class QWebEngineSettings;

// The one web-engine profile every embedded view shares. It is created on first use, so a
// listener who opens no web page never starts the engine's helper processes. It keeps nothing
// on disk itself: cookies live in the CookieJar ("cookies.ini"), whose policy decides for both.
namespace WebProfile {

// The scheme of the program's command links ("tunora://cmd?..."). Must run before the
// application object exists.
void registerSchemes();
// registerSchemes() plus the engine's process settings: all pages share one renderer process
// (the pages are few and small; each extra renderer costs some 40-80 MiB). Flags already set
// in QTWEBENGINE_CHROMIUM_FLAGS by the user are kept. Call before the application object.
void prepareEngine();
inline constexpr char CommandScheme[] = "tunora";
inline constexpr char CommandPrefix[] = "tunora://cmd?";

// The jar that governs the pages' cookies. Set it before the first page; a jar set later is
// connected at once.
void setCookieJar(CookieJar *jar);
CookieJar *cookieJar();

// True once shared() has run.
bool exists();
QWebEngineProfile *shared();

// Plug-ins off, scripts may open windows (the site opens its play links in a new window).
void applyGlobalSettings(QWebEngineSettings *settings);

// Both addresses are https with the same host and port: the only origin credentials and play
// links are trusted from.
bool sameOrigin(const QUrl &a, const QUrl &b);

// The extra CA of the program's services ("endpoints/ca_file"); tests may set their own.
void setTrustedCaCertificates(const QList<QSslCertificate> &cas);
// The chain's first certificate carries a valid signature of one of those CAs.
bool signedByTrustedCa(const QList<QSslCertificate> &chain);

} // namespace WebProfile
