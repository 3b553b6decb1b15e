#include "autoscrolltextbrowser.h"

#include <QScrollBar>

AutoScrollTextBrowser::AutoScrollTextBrowser(QWidget *parent)
    : QTextBrowser(parent)
{
    m_scrollTimer.setInterval(TickMs);
    connect(&m_scrollTimer, &QTimer::timeout, this, &AutoScrollTextBrowser::slot_scrollTick);
    QTimer::singleShot(StartDelayMs, this, [this] { m_scrollTimer.start(); });
}

void AutoScrollTextBrowser::slot_scrollTick()
{
    if (m_mouseOver)
        return;
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->value() >= bar->maximum() ? 0 : bar->value() + 1);
}

void AutoScrollTextBrowser::enterEvent(QEnterEvent *event)
{
    QTextBrowser::enterEvent(event);
    m_mouseOver = true;
}

void AutoScrollTextBrowser::leaveEvent(QEvent *event)
{
    QTextBrowser::leaveEvent(event);
    m_mouseOver = false;
}
