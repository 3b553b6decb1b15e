#include "coverartlabel.h"

#include "desktoplinks.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
// Room left of the overlay text, and right of it for the mark the overlay image draws there.
constexpr int OverlayTextLeft = 10;
constexpr int OverlayTextRight = 32;
} // namespace

CoverArtLabel::CoverArtLabel(QWidget *parent)
    : QLabel(parent)
{
    setMouseTracking(true);
    updateCursor();
}

void CoverArtLabel::setShopLink(const QString &link)
{
    m_shopLink = link;
    m_savedShopLink = link;
    updateCursor();
}

void CoverArtLabel::restoreShopLink()
{
    m_shopLink = m_savedShopLink;
    updateCursor();
}

void CoverArtLabel::setDefaultShown(bool shown)
{
    m_defaultShown = shown;
    setOverlayText(QString());
}

void CoverArtLabel::setOverlayText(const QString &text)
{
    if (text == m_overlayText)
        return;
    m_overlayText = text;
    update();
}

bool CoverArtLabel::loadOverlayImage(const QString &path)
{
    const bool loaded = m_overlayImage.load(path);
    update();
    return loaded;
}

void CoverArtLabel::reset()
{
    m_shopLink.clear();
    updateCursor();
    clear();
}

void CoverArtLabel::updateCursor()
{
    setCursor(m_shopLink.isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
}

void CoverArtLabel::enterEvent(QEnterEvent *event)
{
    QLabel::enterEvent(event);
    emit signal_mouseEnter(this);
}

void CoverArtLabel::leaveEvent(QEvent *event)
{
    QLabel::leaveEvent(event);
    emit signal_mouseLeave(this);
}

void CoverArtLabel::mousePressEvent(QMouseEvent *event)
{
    const QPoint global = event->globalPosition().toPoint();
    if (event->button() == Qt::LeftButton) {
        emit signal_mouseButtonLeft(this, global);
        if (!m_shopLink.isEmpty())
            DesktopLinks::open(m_shopLink);
    } else if (event->button() == Qt::RightButton) {
        emit signal_mouseButtonRight(this, global);
    }
    event->accept();
}

void CoverArtLabel::paintEvent(QPaintEvent *event)
{
    // The cover itself (pixmap or style sheet image) is painted first, the overlay on top of it.
    QLabel::paintEvent(event);
    if (m_overlayText.isEmpty())
        return;

    QPainter painter(this);
    const QRect area = rect();
    if (!m_overlayImage.isNull())
        painter.drawPixmap(area, m_overlayImage);

    // One line at the bottom; a text too long for it (a long translation) is elided rather than
    // wrapped out of the strip over the cover.
    const int lineHeight = fontMetrics().height();
    const QRect strip(OverlayTextLeft, area.height() - lineHeight,
                      qMax(0, area.width() - OverlayTextLeft - OverlayTextRight), lineHeight);
    painter.setPen(QColor(255, 255, 255));
    painter.setFont(font());
    painter.drawText(strip, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(m_overlayText, Qt::ElideRight, strip.width()));
}
