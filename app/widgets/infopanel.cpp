#include "infopanel.h"

#include <QResizeEvent>

InfoPanel::InfoPanel(QWidget *parent)
    : QFrame(parent)
{}

void InfoPanel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    if (auto *description = findChild<QWidget *>(QStringLiteral("tbDescription"), Qt::FindDirectChildrenOnly))
        description->setGeometry(0, 0, event->size().width(), event->size().height());
}
