#pragma once

#include <QLabel>
#include <QPointer>

// The dark header strip of a content page.
class MainPanelHeader : public QLabel
{
    Q_OBJECT
public:
    explicit MainPanelHeader(QWidget *parent = nullptr);
};

// A content page: a header strip across the top and one content widget filling the rest.
class MainPanelFrame : public QFrame
{
    Q_OBJECT
public:
    static constexpr int DefaultHeaderHeight = 19;

    explicit MainPanelFrame(QWidget *parent = nullptr);

    // The frame adopts the widget as its child and lays it out below the header.
    void setContentWidget(QWidget *widget);
    QWidget *contentWidget() const { return m_content; }

    void setHeaderHeight(int height);
    int headerHeight() const { return m_headerHeight; }
    // A height of 0 keeps the current one.
    void setHeaderText(const QString &text, int height = 0);
    MainPanelHeader *header() const { return m_header; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutChildren();

    QPointer<QWidget> m_content;
    MainPanelHeader *m_header;
    int m_headerHeight = DefaultHeaderHeight;
};
