#pragma once

#include <QCursor>
#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QStaticText>
#include <QTimer>

// The news ticker: a one-line text that enters from the right and runs leftwards inside a scroll
// area of the label's original size, pausing while the mouse is over it. With a link set, a left
// click opens it in the desktop browser. Texts are shown as plain text (they come from a feed).
class TickerLabel : public QLabel
{
    Q_OBJECT
public:
    static constexpr int TickMs = 100;
    static constexpr int StepPixels = 3;

    explicit TickerLabel(QWidget *parent = nullptr);

    // Starts the ticker on a new text. The first text moves the label into a scroll area that takes
    // its place (geometry, style sheet and place in the parent's layout). It hides QLabel::setText:
    // call it through a TickerLabel pointer.
    void setText(const QString &text);

    void setLink(const QString &link);
    QString link() const { return m_link; }

    // The scroll area the label runs in; null until the first text. The window resizes it.
    QScrollArea *scrollArea() const { return m_scrollArea; }
    bool isRunning() const { return m_scrollTimer.isActive(); }

signals:
    void signal_mouseButtonLeft(QWidget *widget, QPoint globalPos);
    void signal_mouseButtonRight(QWidget *widget, QPoint globalPos);

public slots:
    // One step: 3 pixels to the left, back to the start at the end; nothing while the mouse is over it.
    void slot_scrollTick();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    // Hidden (the window minimised, or the ticker's row hidden) or held under the pointer it stops,
    // so that it no longer wakes the program ten times a second; it goes on from where it was.
    void hideEvent(QHideEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Draws the text laid out once (glyphs and positions kept) at its place: a step of the scroll
    // repaints the strip without shaping the text again.
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void embedInScrollArea();
    // Runs while it has a text, is shown and is not under the pointer.
    void updateTimer();
    // Leading space of one visible width, so that the text enters from the right edge.
    void fitToViewport();

    QPointer<QScrollArea> m_scrollArea;
    QStaticText m_laidOut;
    bool m_layoutStale = true;
    QTimer m_scrollTimer;
    QString m_link;
    bool m_mouseOver = false;
    bool m_hidden = false;
    bool m_hasText = false;
    QCursor m_normalCursor;
};
