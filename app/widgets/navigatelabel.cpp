#include "navigatelabel.h"

#include "desktoplinks.h"

#include <QMouseEvent>

NavigateLabel::NavigateLabel(QWidget *parent)
    : QLabel(parent)
    , m_normalCursor(cursor())
{
    setMouseTracking(true);
    connect(this, &QLabel::linkActivated, this, &NavigateLabel::slot_linkActivated);
}

void NavigateLabel::setLinkCursor(bool on)
{
    m_linkCursor = on;
    if (!on && m_cursorIsLink) {
        setCursor(m_normalCursor);
        m_cursorIsLink = false;
    }
}

void NavigateLabel::setOpenInBrowser(bool on)
{
    m_openInBrowser = on;
}

void NavigateLabel::slot_linkActivated(const QString &link)
{
    if (m_openInBrowser)
        DesktopLinks::announceAndOpen(link);
    else
        emit signal_linkClicked(this, link);
}

void NavigateLabel::showLinkCursor()
{
    if (m_linkCursor && !m_cursorIsLink) {
        setCursor(m_linkCursorShape);
        m_cursorIsLink = true;
    }
}

void NavigateLabel::enterEvent(QEnterEvent *event)
{
    QLabel::enterEvent(event);
    showLinkCursor();
}

void NavigateLabel::mouseMoveEvent(QMouseEvent *event)
{
    QLabel::mouseMoveEvent(event);
    showLinkCursor();
}

void NavigateLabel::leaveEvent(QEvent *event)
{
    QLabel::leaveEvent(event);
    setCursor(m_normalCursor);
    m_cursorIsLink = false;
}

void NavigateLabel::mousePressEvent(QMouseEvent *event)
{
    const QPoint global = event->globalPosition().toPoint();
    if (event->button() == Qt::LeftButton)
        emit signal_mouseButtonLeft(this, global);
    else if (event->button() == Qt::RightButton)
        emit signal_mouseButtonRight(this, global);
    // The label still handles the press so that its links activate on release.
    QLabel::mousePressEvent(event);
}
