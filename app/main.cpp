#include "tunorade.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    int result = 0;
    {
        TunoraDE window;
        TunoraDE::setInstance(&window);
        result = app.exec();
    }
    return result;
}
