#pragma once

#include "webbrowser.h"

// The help page: a fixed page, no script, nothing loaded from anywhere.
class HelpView : public WebBrowser
{
    Q_OBJECT
public:
    explicit HelpView(QWidget *parent = nullptr);
    static QString pageHtml();
    // The keyboard commands, as a heading and a table.
    static QString shortcutsHtml();
};
