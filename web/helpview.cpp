#include "helpview.h"

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
        .arg(tr("God helps those that help themselves.").toHtmlEscaped());
}
