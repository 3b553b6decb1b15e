#include "dashboard.h"

Dashboard::Dashboard(QWidget *parent)
    : QFrame(parent)
{}

void Dashboard::enterEvent(QEnterEvent *event)
{
    QFrame::enterEvent(event);
    emit signal_mouseEnter(this);
}

void Dashboard::leaveEvent(QEvent *event)
{
    QFrame::leaveEvent(event);
    emit signal_mouseLeave(this);
}
