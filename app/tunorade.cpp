#include "tunorade.h"

#include "appsettings.h"

#include <QFont>
#include <QGuiApplication>

TunoraDE *TunoraDE::s_instance = nullptr;

TunoraDE::TunoraDE(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{
    setInstance(this);
    setObjectName(QStringLiteral("TunoraDEClass"));
    setWindowTitle(tr("Tunora Player"));

    AppSettings &settings = AppSettings::instance();
    QFont font(QStringLiteral("Tahoma"), 9);
    settings.loadAppFont(font);
    QGuiApplication::setFont(font);

    resize(1000, 700);
    settings.restoreWindowGeometry(this);
    show();
}

TunoraDE::~TunoraDE()
{
    AppSettings::instance().saveWindowGeometry(this);
    if (s_instance == this)
        s_instance = nullptr;
}
