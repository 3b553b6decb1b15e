#include "welcomeview.h"

#include "htmlfolder.h"

#include <QEvent>
#include <QPainter>

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
    font.setPointSizeF(15);
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
