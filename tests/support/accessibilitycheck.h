#pragma once

// Checks a widget tree as a screen reader sees it: every visible control a listener can operate
// (buttons, sliders, boxes, text fields, tabs, links) must have an accessible name, taken from its
// text, its buddy label or setAccessibleName().

#include <QString>
#include <QStringList>

class QWidget;

namespace TunoraTest {

// One line per visible interactive control without a name: its path of object names (class names
// where a widget has none) and its accessible role. Empty when every control is named.
QStringList unnamedControls(QWidget *root);

} // namespace TunoraTest
