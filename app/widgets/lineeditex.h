#pragma once

#include <QLineEdit>

// A line edit that shows a grey hint while it is empty and does not have the focus
// (the search field: "Search Stations or What's Playing").
class LineEditEx : public QLineEdit
{
    Q_OBJECT
public:
    explicit LineEditEx(QWidget *parent = nullptr);

    // The hint also becomes the tooltip.
    void setHint(const QString &hint);
    QString hint() const { return m_hint; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QString m_hint;
    bool m_hasFocus = false;
};
