#include "pushbuttonover.h"

#include <QImageReader>
#include <QMouseEvent>

namespace {
// QIcon(path) is never null, even for a file that does not exist, so readability is checked first.
QIcon iconFromFile(const QString &file)
{
    if (file.isEmpty() || !QImageReader(file).canRead())
        return {};
    return QIcon(file);
}
} // namespace

PushButtonOver::PushButtonOver(QWidget *parent)
    : QPushButton(parent)
{
    setMouseTracking(true);
}

void PushButtonOver::setIcons(const QString &normalFile, const QString &hoverFile)
{
    m_normalIcon = iconFromFile(normalFile);
    m_hoverIcon = iconFromFile(hoverFile);
    m_hovering = false;
    setIcon(m_normalIcon);
    if (underMouse())
        showHoverIcon();
}

void PushButtonOver::showHoverIcon()
{
    if (m_hovering || m_hoverIcon.isNull())
        return;
    m_hovering = true;
    setIcon(m_hoverIcon);
}

void PushButtonOver::enterEvent(QEnterEvent *event)
{
    QPushButton::enterEvent(event);
    showHoverIcon();
}

void PushButtonOver::mouseMoveEvent(QMouseEvent *event)
{
    QPushButton::mouseMoveEvent(event);
    showHoverIcon();
}

void PushButtonOver::leaveEvent(QEvent *event)
{
    QPushButton::leaveEvent(event);
    m_hovering = false;
    setIcon(m_normalIcon);
}
