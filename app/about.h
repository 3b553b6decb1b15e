#pragma once

#include <QDialog>

class AutoScrollTextBrowser;
class NavigateLabel;
class QLabel;

// The about box: the header image, the program version, a slowly scrolling description and a
// link to the product web site that opens in the desktop browser.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent = nullptr);

    QLabel *headerLabel() const { return m_header; }
    QLabel *versionLabel() const { return m_version; }
    AutoScrollTextBrowser *description() const { return m_description; }
    NavigateLabel *linkLabel() const { return m_link; }

private:
    QLabel *m_header;
    QLabel *m_version;
    AutoScrollTextBrowser *m_description;
    NavigateLabel *m_link;
};
