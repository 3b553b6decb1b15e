#include "accessibilitycheck.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QWidget>

#include <algorithm>

namespace TunoraTest {

namespace {

bool isInteractive(QAccessible::Role role)
{
    static const QAccessible::Role roles[] = {
        QAccessible::PushButton, QAccessible::CheckBox,       QAccessible::RadioButton,
        QAccessible::ComboBox,   QAccessible::Slider,         QAccessible::SpinBox,
        QAccessible::Dial,       QAccessible::EditableText,   QAccessible::ButtonDropDown,
        QAccessible::ButtonMenu, QAccessible::ButtonDropGrid, QAccessible::PageTab,
        QAccessible::Link};
    return std::find(std::begin(roles), std::end(roles), role) != std::end(roles);
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
