#include "welcomeview.h"

#include "htmlfolder.h"

#include <QEvent>
#include <QHash>
#include <QPainter>
#include <QRegularExpression>
#include <QUrl>

WelcomeView::WelcomeView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("WelcomeView"));
    setAutoFillBackground(false);
    loadImages();
}

void WelcomeView::loadImages()
{
    const QString folder = HtmlFolder::path() + QLatin1Char('/');
    m_map.load(folder + QStringLiteral("world_map.png"));
    m_man.load(folder + QStringLiteral("tn_man.png"));
    m_logo.load(folder + QStringLiteral("tn_com_logo.png"));
    m_star.load(folder + QStringLiteral("star_large.png"));
    m_search.load(folder + QStringLiteral("search_large.png"));
}

QStringList WelcomeView::texts() const
{
    return {tr("Welcome to the world of Live Internet Radio!"), tr("Add your favorite stations"),
            tr("Make a wish list of songs"), tr("Find your favorite station"),
            tr("Search what's playing now")};
}

namespace {

// Positions and type as in paintEvent(); no script, no links, nothing from outside the program.
const char PageTemplate[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Strict//EN" "http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd">
<html xmlns="http://www.w3.org/1999/xhtml">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=utf-8"/>
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; img-src file:; style-src 'unsafe-inline'"/>
<title>TunoraDE Startup Page</title>
<style type="text/css">
body { margin: 0; background: #55A3B7 url('{HTML_PATH}/world_map.png') no-repeat; }
img, div { position: absolute; }
div { color: white; font-family: Arial, 'Nimbus Sans', 'Liberation Sans', sans-serif; font-size: 15pt; white-space: nowrap; }
</style>
</head>
<body>
<img src="{HTML_PATH}/tn_man.png" style="left: 50px; top: 36px;" alt=""/>
<img src="{HTML_PATH}/tn_com_logo.png" style="left: 140px; top: 60px;" alt=""/>
<img src="{HTML_PATH}/star_large.png" style="left: 130px; top: 150px;" alt=""/>
<img src="{HTML_PATH}/search_large.png" style="left: 140px; top: 240px;" alt=""/>
<div style="left: 140px; top: 95px;">{TEXT_WELCOME}</div>
<div style="left: 220px; top: 160px;">{TEXT1}<br/>{TEXT2}</div>
<div style="left: 220px; top: 240px;">{TEXT3}<br/>{TEXT4}</div>
</body>
</html>
)";

} // namespace

QString WelcomeView::pageHtml() const
{
    const QStringList t = texts();
    const QHash<QString, QString> values{
        {QStringLiteral("HTML_PATH"),
         QUrl::fromLocalFile(HtmlFolder::path()).toString(QUrl::FullyEncoded).toHtmlEscaped()},
        {QStringLiteral("TEXT_WELCOME"), t[0].toHtmlEscaped()},
        {QStringLiteral("TEXT1"), t[1].toHtmlEscaped()},
        {QStringLiteral("TEXT2"), t[2].toHtmlEscaped()},
        {QStringLiteral("TEXT3"), t[3].toHtmlEscaped()},
        {QStringLiteral("TEXT4"), t[4].toHtmlEscaped()},
    };
    // One pass, so that a translated text holding a placeholder's name stays text.
    static const QRegularExpression placeholder(QStringLiteral("\\{([A-Z0-9_]+)\\}"));
    const QString page = QString::fromUtf8(PageTemplate);
    QString html;
    qsizetype from = 0;
    for (const QRegularExpressionMatch &m : placeholder.globalMatch(page)) {
        html += QStringView(page).mid(from, m.capturedStart() - from);
        html += values.value(m.captured(1), m.captured(0));
        from = m.capturedEnd();
    }
    html += QStringView(page).mid(from);
    return html;
}

void WelcomeView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        update();
    QWidget::changeEvent(event);
}

void WelcomeView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0x55, 0xA3, 0xB7));
    p.drawPixmap(0, 0, m_map);
    p.drawPixmap(50, 36, m_man);
    p.drawPixmap(140, 60, m_logo);
    p.drawPixmap(130, 150, m_star);
    p.drawPixmap(140, 240, m_search);

    QFont font(QStringLiteral("Arial"));
    // 15 pt as a page sets it: 20 CSS pixels, whatever the screen's dots per inch.
    font.setPixelSize(20);
    p.setFont(font);
    p.setPen(Qt::white);
    const QStringList t = texts();
    const int line = QFontMetrics(font).lineSpacing();
    const int ascent = QFontMetrics(font).ascent();
    // Positions are the top-left corners of the text blocks, as in the page template.
    p.drawText(140, 95 + ascent, t[0]);
    p.drawText(220, 160 + ascent, t[1]);
    p.drawText(220, 160 + line + ascent, t[2]);
    p.drawText(220, 240 + ascent, t[3]);
    p.drawText(220, 240 + line + ascent, t[4]);
}
