#include "trackheader.h"

TrackHistoryHeader::TrackHistoryHeader(const QString &title, QWidget *parent)
    : QLabel(title, parent)
{
    setFixedHeight(Height);
    setTextFormat(Qt::PlainText);
    setIndent(4);
}
