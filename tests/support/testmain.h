#pragma once

// Entry points for the test executables. Each test runs with HOME and the XDG folders pointed at
// a fresh temporary folder, so nothing a test writes can reach the real home folder.

#include <QApplication>
#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace TunoraTest {

// Points HOME and the XDG folders at a temporary folder for the life of the object.
class IsolatedHome
{
public:
    IsolatedHome();
    ~IsolatedHome();
    static QString path();

private:
    QTemporaryDir m_dir;
};

} // namespace TunoraTest

// Statements given after TestObject run before the application object is made.
#define TUNORA_TEST_MAIN_IMPL(AppType, TestObject, ...)                                                      \
    int main(int argc, char *argv[])                                                                         \
    {                                                                                                        \
        TunoraTest::IsolatedHome home;                                                                       \
        __VA_ARGS__;                                                                                         \
        AppType app(argc, argv);                                                                             \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        QStandardPaths::setTestModeEnabled(true);                                                            \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }

// Widgets available (offscreen platform unless the environment says otherwise).
#define TUNORA_TEST_MAIN(TestObject) TUNORA_TEST_MAIN_IMPL(QApplication, TestObject)
// No GUI at all.
#define TUNORA_TEST_MAIN_CORE(TestObject) TUNORA_TEST_MAIN_IMPL(QCoreApplication, TestObject)
