#include "htmlfolder.h"

#include "appsettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
QString g_override;
}

namespace HtmlFolder {

void setOverride(const QString &folder)
{
    g_override = folder;
}

QString path()
{
    if (!g_override.isEmpty())
        return g_override;
    const QString beside = AppSettings::instance().htmlFolder();
    if (QFileInfo(beside).isDir())
        return beside;
    const QString installed =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/TunoraDE/Html"));
    if (QFileInfo(installed).isDir())
        return installed;
#ifdef TUNORA_HTML_BUILD_FOLDER
    return QStringLiteral(TUNORA_HTML_BUILD_FOLDER);
#else
    return beside;
#endif
}

QString htmlPath()
{
    QString url = QUrl::fromLocalFile(path()).toString();
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

QUrl baseUrl()
{
    return QUrl::fromLocalFile(path() + QLatin1Char('/'));
}

} // namespace HtmlFolder
