#pragma once

#include <QPixmap>
#include <QWidget>

// The welcome page, drawn without the web engine: the same picture as its page template (map
// background, man, logo, star and search images, four lines of white text), so that showing it
// at start costs no helper processes. It has no script and no links.
class WelcomeView : public QWidget
{
    Q_OBJECT
public:
    explicit WelcomeView(QWidget *parent = nullptr);

    // The texts in the order they appear: welcome line, then the four feature lines.
    QStringList texts() const;
    // The same page as XHTML ("TunoraDE Startup Page"): the template with its image folder and
    // escaped texts filled in, for a web view that shows it with the Html folder as base.
    QString pageHtml() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void loadImages();

    QPixmap m_map;
    QPixmap m_man;
    QPixmap m_logo;
    QPixmap m_star;
    QPixmap m_search;
};
