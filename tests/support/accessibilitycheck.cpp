#include "accessibilitycheck.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QWidget>

namespace TunoraTest {

namespace {

bool isInteractive(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::Slider:
    case QAccessible::SpinBox:
    case QAccessible::Dial:
    case QAccessible::EditableText:
    case QAccessible::ButtonDropDown:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropGrid:
    case QAccessible::PageTab:
    case QAccessible::Link:
        return true;
    default:
        return false;
    }
}

QString label(QAccessibleInterface *iface)
{
    QObject *object = iface->object();
    if (!object)
        return QStringLiteral("(item)");
    return object->objectName().isEmpty() ? QString::fromLatin1(object->metaObject()->className())
                                          : object->objectName();
}

void walk(QAccessibleInterface *iface, const QString &path, QStringList &problems, int depth)
{
    if (!iface || !iface->isValid() || depth > 64)
        return;
    const QAccessible::State state = iface->state();
    if (state.invisible)
        return;
    const QString here = path.isEmpty() ? label(iface) : path + QLatin1Char('/') + label(iface);
    if (isInteractive(iface->role()) && !state.disabled && iface->text(QAccessible::Name).trimmed().isEmpty())
        problems << here + QLatin1String(" [role ") + QString::number(int(iface->role())) + QLatin1Char(']');
    for (int i = 0; i < iface->childCount(); ++i)
        walk(iface->child(i), here, problems, depth + 1);
}

} // namespace

QStringList unnamedControls(QWidget *root)
{
    QStringList problems;
    walk(QAccessible::queryAccessibleInterface(root), QString(), problems, 0);
    return problems;
}

} // namespace TunoraTest
