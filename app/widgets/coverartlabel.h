#pragma once

#include <QLabel>
#include <QPixmap>

// The album cover of the dashboard and its large pop-up. It reports the mouse as signals, opens the
// shop link of the shown album on a left click and, while an overlay text is set, paints the overlay
// image over the cover with the text in a strip at the bottom ("Buy song/album").
class CoverArtLabel : public QLabel
{
    Q_OBJECT
public:
    explicit CoverArtLabel(QWidget *parent = nullptr);

    // Sets the shop link and remembers it as the saved link; the pointing hand shows while a link is set.
    void setShopLink(const QString &link);
    QString shopLink() const { return m_shopLink; }
    // Returns to the link last given to setShopLink() after reset() cleared it.
    void restoreShopLink();

    // Whether the label shows only the default image (no cover); setting it clears the overlay text.
    void setDefaultShown(bool shown);
    bool isDefaultShown() const { return m_defaultShown; }

    // An empty text switches the overlay off.
    void setOverlayText(const QString &text);
    QString overlayText() const { return m_overlayText; }
    // Loads the image painted over the cover while an overlay text is set; false if it cannot be read.
    bool loadOverlayImage(const QString &path);

    // Arrow cursor, no shop link, nothing shown.
    void reset();

signals:
    void signal_mouseEnter(QWidget *widget);
    void signal_mouseLeave(QWidget *widget);
    void signal_mouseButtonLeft(QWidget *widget, QPoint globalPos);
    void signal_mouseButtonRight(QWidget *widget, QPoint globalPos);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void updateCursor();

    bool m_defaultShown = false;
    QString m_shopLink;
    QString m_savedShopLink;
    QString m_overlayText;
    QPixmap m_overlayImage;
};
