#pragma once

#include <QCursor>
#include <QLabel>

// A label with links ("next", "previous" page, or web addresses). A link either goes to the main
// window as signal_linkClicked or, with the open-in-browser flag, to the desktop browser.
class NavigateLabel : public QLabel
{
    Q_OBJECT
public:
    explicit NavigateLabel(QWidget *parent = nullptr);

    // Show the pointing hand while the mouse is over the label.
    void setLinkCursor(bool on);
    bool linkCursor() const { return m_linkCursor; }
    // Open activated links in the desktop browser instead of reporting them.
    void setOpenInBrowser(bool on);
    bool openInBrowser() const { return m_openInBrowser; }

signals:
    void signal_linkClicked(QLabel *label, const QString &link);
    void signal_mouseButtonLeft(QWidget *widget, QPoint globalPos);
    void signal_mouseButtonRight(QWidget *widget, QPoint globalPos);

public slots:
    void slot_linkActivated(const QString &link);

protected:
    void enterEvent(QEnterEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void showLinkCursor();

    bool m_linkCursor = false;
    bool m_cursorIsLink = false;
    bool m_openInBrowser = false;
    QCursor m_linkCursorShape{Qt::PointingHandCursor};
    QCursor m_normalCursor;
};
