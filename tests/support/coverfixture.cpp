#include "coverfixture.h"

#include <QBuffer>
#include <QImage>

namespace TunoraTest {

QByteArray coverPng(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace TunoraTest
