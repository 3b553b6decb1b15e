#include "lineeditex.h"

#include <QPainter>

namespace {
constexpr int HintLeft = 10;
const QColor HintColour(141, 141, 141);
} // namespace

LineEditEx::LineEditEx(QWidget *parent)
    : QLineEdit(parent)
{
    setTextMargins(4, 0, 0, 0);
}

void LineEditEx::setHint(const QString &hint)
{
    m_hint = hint;
    setToolTip(hint);
    setAccessibleDescription(hint);
    update();
}

void LineEditEx::paintEvent(QPaintEvent *event)
{
    QLineEdit::paintEvent(event);
    if (!text().isEmpty() || m_hint.isEmpty() || m_hasFocus)
        return;
    QPainter painter(this);
    painter.setPen(HintColour);
    const QRect area = rect().adjusted(HintLeft, 0, -HintLeft / 2, 0);
    const QString shown = fontMetrics().elidedText(m_hint, Qt::ElideRight, area.width());
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void LineEditEx::focusInEvent(QFocusEvent *event)
{
    m_hasFocus = true;
    QLineEdit::focusInEvent(event);
    update();
}

void LineEditEx::focusOutEvent(QFocusEvent *event)
{
    m_hasFocus = false;
    QLineEdit::focusOutEvent(event);
    update();
}
