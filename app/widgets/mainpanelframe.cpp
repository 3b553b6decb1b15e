#include "mainpanelframe.h"

MainPanelHeader::MainPanelHeader(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setStyleSheet(QStringLiteral("QLabel {"
                                 " background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,"
                                 " stop: 0 #616161, stop: 0.5 #505050, stop: 0.6 #434343, stop: 1 #656565);"
                                 " color: white; padding-left: 4px; border: 1px solid #6c6c6c; }"));
}

MainPanelFrame::MainPanelFrame(QWidget *parent)
    : QFrame(parent)
    , m_header(new MainPanelHeader(this))
{
    layoutChildren();
}

void MainPanelFrame::setContentWidget(QWidget *widget)
{
    if (m_content == widget)
        return;
    m_content = widget;
    if (widget) {
        if (widget->parentWidget() != this)
            widget->setParent(this);
        widget->show();
    }
    layoutChildren();
}

void MainPanelFrame::setHeaderHeight(int height)
{
    m_headerHeight = qMax(0, height);
    layoutChildren();
}

void MainPanelFrame::setHeaderText(const QString &text, int height)
{
    m_header->setText(text);
    if (height > 0)
        setHeaderHeight(height);
}

void MainPanelFrame::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    layoutChildren();
}

void MainPanelFrame::layoutChildren()
{
    const QRect area = contentsRect();
    const int headerHeight = qMin(m_headerHeight, area.height());
    m_header->setGeometry(area.x(), area.y(), area.width(), headerHeight);
    if (m_content)
        m_content->setGeometry(area.x(), area.y() + headerHeight, area.width(), area.height() - headerHeight);
}
