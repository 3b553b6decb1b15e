#pragma once

#include <QFrame>

// The frame behind the now-playing display; it reports the mouse entering and leaving it.
class Dashboard : public QFrame
{
    Q_OBJECT
public:
    explicit Dashboard(QWidget *parent = nullptr);

signals:
    void signal_mouseEnter(QWidget *widget);
    void signal_mouseLeave(QWidget *widget);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
};
