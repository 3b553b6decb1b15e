#include "webpages.h"

#include "cookiejar.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPluginLoader>
#include <QPointer>

namespace {

// Constant-initialised, so that registrations from other static initialisers always find it.
WebPages *g_pages = nullptr;
QPointer<CookieJar> g_jar;
QString g_error;

constexpr char PluginName[] = "tunora-webpages";

} // namespace

QStringList WebPages::pluginFolders()
{
    QStringList folders{QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                                        QLatin1String(TUNORA_PLUGIN_RELATIVE_DIR))};
#ifdef TUNORA_PLUGIN_BUILD_DIR
    folders << QStringLiteral(TUNORA_PLUGIN_BUILD_DIR);
#endif
    folders.removeDuplicates();
    return folders;
}

WebPages *WebPages::load()
{
    if (g_pages)
        return g_pages;
    QStringList failures;
    for (const QString &folder : pluginFolders()) {
        const QString file = QDir(folder).filePath(QLatin1String(PluginName));
        // The loader appends the platform's suffix; a folder without the plug-in is skipped quietly.
        if (!QFile::exists(file + QLatin1String(".so")))
            continue;
        // Kept loaded for the life of the program: its classes own the pages.
        QPluginLoader loader(file);
        QObject *instance = loader.instance();
        auto *pages = qobject_cast<WebPages *>(instance);
        if (pages) {
            g_pages = pages;
            break;
        }
        failures << (instance ? QStringLiteral("%1: not the web pages plug-in").arg(loader.fileName())
                              : loader.errorString());
    }
    if (!g_pages) {
        g_error = failures.isEmpty()
                      ? QStringLiteral("%1 not found in %2")
                            .arg(QLatin1String(PluginName), pluginFolders().join(QLatin1String(", ")))
                      : failures.join(QLatin1String("; "));
        return nullptr;
    }
    g_error.clear();
    if (g_jar)
        g_pages->useCookieJar(g_jar);
    return g_pages;
}

QString WebPages::loadError()
{
    return g_error;
}

void WebPages::setCookieJar(CookieJar *jar)
{
    g_jar = jar;
    if (g_pages)
        g_pages->useCookieJar(jar);
}

void WebPages::registerInProcess(WebPages *pages)
{
    g_pages = pages;
    if (g_pages && g_jar)
        g_pages->useCookieJar(g_jar);
}
