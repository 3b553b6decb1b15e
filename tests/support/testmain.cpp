#include "testmain.h"

#include <QDir>

namespace TunoraTest {

namespace {
QString g_home;
}

IsolatedHome::IsolatedHome()
    : m_dir(QDir::tempPath() + QLatin1String("/tunora-test-XXXXXX"))
{
    if (!m_dir.isValid())
        qFatal("cannot create a temporary home folder");
    g_home = m_dir.path();
    const QByteArray home = QFile::encodeName(g_home);
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_DATA_HOME", home + "/.local/share");
    qputenv("XDG_CACHE_HOME", home + "/.cache");
}

IsolatedHome::~IsolatedHome()
{
    g_home.clear();
}

QString IsolatedHome::path()
{
    return g_home;
}

} // namespace TunoraTest
