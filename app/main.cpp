#include "tunorade.h"
#include "webprofile.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    // The command-link scheme and the engine's process settings must precede the application.
    WebProfile::prepareEngine();
    QApplication app(argc, argv);
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/TunoraDE/Resources/tn_icon%1.png").arg(size));
    QApplication::setWindowIcon(icon);
    int result = 0;
    {
        TunoraDE window;
        result = app.exec();
    }
    return result;
}
