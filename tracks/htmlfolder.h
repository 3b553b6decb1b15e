#pragma once

#include <QString>
#include <QUrl>

// The folder of the images the generated pages use. A program in a build tree finds it beside
// its executable ("Html"); an installed one under "<prefix>/share/TunoraDE/Html".
namespace HtmlFolder {

QString path();
// "file:///<folder>", the prefix of every image address in the pages.
QString htmlPath();
// The address generated pages are shown under (the folder itself).
QUrl baseUrl();
// Tests and packagers point it elsewhere.
void setOverride(const QString &folder);

} // namespace HtmlFolder
