#pragma once

#include <QFrame>

// A frame whose child "tbDescription" always fills it (the description text of a page).
class InfoPanel : public QFrame
{
    Q_OBJECT
public:
    explicit InfoPanel(QWidget *parent = nullptr);

protected:
    void resizeEvent(QResizeEvent *event) override;
};
