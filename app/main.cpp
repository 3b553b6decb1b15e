#include "engineapi.h"
#include "engineloader.h"
#include "launcharguments.h"
#include "singleinstance.h"
#include "tunorade.h"
#include "tunorade_desktop.h"
#include "webpages.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Playlist files and stream addresses, as the desktop hands them over.
    const QStringList arguments = QCoreApplication::arguments().mid(1);

    // One player per session: a later start hands its arguments to the running one and ends.
    SingleInstance instance;
    if (instance.claim() == SingleInstance::Secondary &&
        instance.forward(LaunchArguments::absolute(arguments, QDir::currentPath())))
        return 0;

    // The audio engine is a module beside the web pages, loaded by the window's first engine call
    // (after its first frame): the many libraries it needs are not mapped while the window opens.
    std::vector<std::string> engineFiles;
    for (const QString &folder : WebPages::pluginFolders())
        engineFiles.push_back(
            QDir(folder).filePath(QStringLiteral(TUNORA_ENGINE_MODULE ".so")).toStdString());
    tunora::audio::setEngineFiles(std::move(engineFiles));

    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/TunoraDE/Resources/tn_icon%1.png").arg(size));
    QApplication::setWindowIcon(icon);
    int result = 0;
    {
        TunoraDE window;
        QObject::connect(&instance, &SingleInstance::signal_activated, window.desktop(),
                         &WindowDesktop::openArguments);
        if (!arguments.isEmpty())
            window.desktop()->openArguments(arguments);
        result = app.exec();
    }
    return result;
}
