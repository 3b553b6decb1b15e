#include "helpview.h"

#include <QKeySequence>

HelpView::HelpView(QWidget *parent)
    : WebBrowser(parent)
{
    setHtml(pageHtml());
}

QString HelpView::pageHtml()
{
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                          "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                          "style-src 'unsafe-inline'\">"
                          "<style>body { background: #55A3B7; color: white; font-family: Arial, sans-serif; "
                          "font-size: 15pt; }</style></head><body>%1</body></html>")
        .arg(tr("God helps those that help themselves.").toHtmlEscaped() + shortcutsHtml());
}

QString HelpView::shortcutsHtml()
{
    const std::pair<const char *, QString> keys[] = {
        {"Space", tr("Play or stop (outside text fields)")},
        {"Ctrl+F", tr("Go to the search box")},
        {"Ctrl+M", tr("Mute or unmute")},
        {"Ctrl+Up", tr("Louder")},
        {"Ctrl+Down", tr("Softer")},
        {"Ctrl+D", tr("Add the selected station to the favorites")},
        {"Ctrl+L", tr("Open a stream or playlist address")},
        {"F1", tr("This help")},
        {"Ctrl+Q", tr("Quit")},
    };
    QString rows;
    for (const auto &[key, what] : keys)
        rows += QStringLiteral("<tr><td><kbd>%1</kbd></td><td>%2</td></tr>")
                    .arg(QKeySequence(QLatin1String(key)).toString(QKeySequence::NativeText).toHtmlEscaped(),
                         what.toHtmlEscaped());
    return QStringLiteral("<h2>%1</h2><table>%2</table>").arg(tr("Keyboard").toHtmlEscaped(), rows);
}
