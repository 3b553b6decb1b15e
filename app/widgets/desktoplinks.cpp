#include "desktoplinks.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QUrl>

namespace DesktopLinks {

namespace {
StatusHook &hook()
{
    static StatusHook h;
    return h;
}
} // namespace

void setStatusHook(StatusHook h)
{
    hook() = std::move(h);
}

void showStatus(const QString &text)
{
    if (hook())
        hook()(text);
}

bool isWebLink(const QString &link)
{
    const QUrl url(link.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

bool open(const QString &link)
{
    if (!isWebLink(link)) {
        qDebug() << "DesktopLinks::open refused" << link.left(200);
        return false;
    }
    return QDesktopServices::openUrl(QUrl(link.trimmed(), QUrl::StrictMode));
}

bool announceAndOpen(const QString &link)
{
    if (!isWebLink(link))
        return open(link);
    showStatus(QCoreApplication::translate("DesktopLinks", "Starting browser") + QLatin1String("..."));
    return open(link);
}

} // namespace DesktopLinks
