#pragma once

#include <QByteArray>

namespace TunoraTest {

// A cover image as a service would send it: a PNG of one colour, width x height pixels.
QByteArray coverPng(int width, int height);

} // namespace TunoraTest
