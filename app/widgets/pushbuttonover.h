#pragma once

#include <QIcon>
#include <QPushButton>

// A push button that swaps to a second icon while the mouse is over it.
class PushButtonOver : public QPushButton
{
    Q_OBJECT
public:
    explicit PushButtonOver(QWidget *parent = nullptr);

    // Loads both icons and shows the normal one at once; an empty or unreadable hover file leaves
    // the normal icon in place while hovering.
    void setIcons(const QString &normalFile, const QString &hoverFile);

protected:
    void enterEvent(QEnterEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void showHoverIcon();

    QIcon m_normalIcon;
    QIcon m_hoverIcon;
    bool m_hovering = false;
};
