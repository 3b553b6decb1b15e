#pragma once

#include "webpages.h"

// The window's web pages on the shared web-engine profile: the plug-in's content, also linked
// directly into tests and benchmarks.
class WebPagesImpl : public WebPages
{
public:
    void useCookieJar(CookieJar *jar) override;
    TrackHistoryFrame *createHistoryPage(TrackLists *lists, const Hooks &hooks) override;
    TrackWishListFrame *createWishListPage(TrackLists *lists, const Hooks &hooks) override;
    HelpView *createHelpView() override;
    TreeBrowser *createSiteView(const Hooks &hooks) override;
    void activate(TreeBrowser *view) override;
    QWidget *widget(TrackHistoryFrame *page) override;
    QWidget *widget(TrackWishListFrame *page) override;
    QWidget *widget(HelpView *page) override;
    QWidget *widget(TreeBrowser *page) override;
};
