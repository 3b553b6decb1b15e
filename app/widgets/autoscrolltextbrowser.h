#pragma once

#include <QTextBrowser>
#include <QTimer>

// A text browser that scrolls its text slowly upwards and starts over at the end (the about box's
// description); it holds still while the mouse is over it so that the text can be read.
class AutoScrollTextBrowser : public QTextBrowser
{
    Q_OBJECT
public:
    static constexpr int StartDelayMs = 2000;
    static constexpr int TickMs = 200;

    explicit AutoScrollTextBrowser(QWidget *parent = nullptr);

    bool isScrolling() const { return m_scrollTimer.isActive(); }

public slots:
    // One step: 1 pixel down, back to the top at the end; nothing while the mouse is over the text.
    void slot_scrollTick();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    bool m_mouseOver = false;
    QTimer m_scrollTimer;
};
