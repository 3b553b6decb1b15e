#include "tickerlabel.h"

#include "desktoplinks.h"

#include <QLayout>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

TickerLabel::TickerLabel(QWidget *parent)
    : QLabel(parent)
    , m_normalCursor(cursor())
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_scrollTimer.setInterval(TickMs);
    connect(&m_scrollTimer, &QTimer::timeout, this, &TickerLabel::slot_scrollTick);
}

void TickerLabel::embedInScrollArea()
{
    QWidget *host = parentWidget();
    auto *area = new QScrollArea(host);
    area->setObjectName(objectName() + QLatin1String("ScrollArea"));
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidgetResizable(false);
    area->setStyleSheet(styleSheet());
    area->setGeometry(geometry());
    area->setSizePolicy(sizePolicy());
    area->setMinimumSize(minimumSize());
    area->setMaximumSize(maximumSize());
    if (host && host->layout())
        delete host->layout()->replaceWidget(this, area);
    // A label hidden on purpose keeps the ticker hidden; otherwise the area shows with its parent.
    const bool hiddenOnPurpose = isHidden() && testAttribute(Qt::WA_WState_ExplicitShowHide);
    area->setWidget(this);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    area->setVisible(!hiddenOnPurpose);
    setVisible(true);
    m_scrollArea = area;
    area->viewport()->installEventFilter(this);
}

void TickerLabel::setText(const QString &text)
{
    if (!m_scrollArea)
        embedInScrollArea();
    setTextFormat(Qt::PlainText); // whatever a form set: feed titles are never markup
    QLabel::setText(text);
    m_layoutStale = true;
    fitToViewport();
    m_scrollArea->horizontalScrollBar()->setValue(0);
    m_hasText = true;
    updateTimer();
}

void TickerLabel::updateTimer()
{
    const bool run = m_hasText && !m_hidden && !m_mouseOver;
    if (run && !m_scrollTimer.isActive())
        m_scrollTimer.start();
    else if (!run && m_scrollTimer.isActive())
        m_scrollTimer.stop();
}

void TickerLabel::hideEvent(QHideEvent *event)
{
    QLabel::hideEvent(event);
    m_hidden = true;
    updateTimer();
}

void TickerLabel::showEvent(QShowEvent *event)
{
    QLabel::showEvent(event);
    m_hidden = false;
    updateTimer();
}

void TickerLabel::fitToViewport()
{
    const QSize visible = m_scrollArea->viewport()->size();
    const int textWidth = fontMetrics().horizontalAdvance(text());
    setIndent(visible.width());
    resize(visible.width() + qMax(textWidth, visible.width()), visible.height());
}

bool TickerLabel::eventFilter(QObject *watched, QEvent *event)
{
    // The area gets its real size from the layout (or a window resize) after the first text.
    if (m_scrollArea && watched == m_scrollArea->viewport() && event->type() == QEvent::Resize)
        fitToViewport();
    return QLabel::eventFilter(watched, event);
}

void TickerLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        m_layoutStale = true;
}

void TickerLabel::paintEvent(QPaintEvent *event)
{
    if (text().isEmpty()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    if (m_layoutStale) {
        m_laidOut.setTextFormat(Qt::PlainText);
        m_laidOut.setText(text());
        m_laidOut.prepare(QTransform(), font());
        m_layoutStale = false;
    }
    // Where the label itself puts a left-aligned, vertically centred line: after the indent, in
    // the contents rectangle.
    const QRect contents = contentsRect();
    const QSizeF size = m_laidOut.size();
    const QPointF at(contents.x() + indent(), contents.y() + (contents.height() - size.height()) / 2);
    if (!event->rect().intersects(QRectF(at, size).toAlignedRect()))
        return;
    painter.setFont(font());
    painter.drawStaticText(at, m_laidOut);
}

void TickerLabel::setLink(const QString &link)
{
    m_link = link;
    if (m_mouseOver)
        setCursor(m_link.isEmpty() ? m_normalCursor : QCursor(Qt::PointingHandCursor));
}

void TickerLabel::slot_scrollTick()
{
    if (m_mouseOver || !m_scrollArea)
        return;
    QScrollBar *bar = m_scrollArea->horizontalScrollBar();
    bar->setValue(bar->value() >= bar->maximum() ? 0 : bar->value() + StepPixels);
}

void TickerLabel::enterEvent(QEnterEvent *event)
{
    QLabel::enterEvent(event);
    m_mouseOver = true;
    updateTimer();
    if (!m_link.isEmpty())
        setCursor(Qt::PointingHandCursor);
}

void TickerLabel::leaveEvent(QEvent *event)
{
    QLabel::leaveEvent(event);
    m_mouseOver = false;
    updateTimer();
    setCursor(m_normalCursor);
}

void TickerLabel::mousePressEvent(QMouseEvent *event)
{
    const QPoint global = event->globalPosition().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (!m_link.isEmpty())
            DesktopLinks::announceAndOpen(m_link);
        else
            emit signal_mouseButtonLeft(this, global);
    } else if (event->button() == Qt::RightButton) {
        emit signal_mouseButtonRight(this, global);
    }
    event->accept();
}
