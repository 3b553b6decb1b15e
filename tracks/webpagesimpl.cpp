#include "webpagesimpl.h"

#include "helpview.h"
#include "records.h"
#include "sitebrowser.h"
#include "tracklists.h"
#include "trackviews.h"
#include "webprofile.h"

#include <QApplication>

namespace {

void connectHovered(QWebEnginePage *page, const WebPages::Hooks &hooks)
{
    if (hooks.linkHovered)
        QObject::connect(page, &QWebEnginePage::linkHovered, hooks.context, hooks.linkHovered);
}

void connectTrackView(WebViewHistory *view, const WebPages::Hooks &hooks)
{
    if (hooks.linkClicked)
        QObject::connect(view, &WebBrowser::signal_linkClicked, hooks.context, hooks.linkClicked);
    connectHovered(view->page(), hooks);
}

} // namespace

void WebPagesImpl::useCookieJar(CookieJar *jar)
{
    WebProfile::setCookieJar(jar);
}

TrackHistoryFrame *WebPagesImpl::createHistoryPage(TrackLists *lists, const Hooks &hooks)
{
    auto *page = new TrackHistoryFrame;
    page->setFont(QApplication::font());
    lists->setHistoryView(page->view());
    connectTrackView(page->view(), hooks);
    return page;
}

TrackWishListFrame *WebPagesImpl::createWishListPage(TrackLists *lists, const Hooks &hooks)
{
    auto *page = new TrackWishListFrame;
    page->setFont(QApplication::font());
    lists->setWishListView(page->view());
    connectTrackView(page->view(), hooks);
    return page;
}

HelpView *WebPagesImpl::createHelpView()
{
    return new HelpView;
}

TreeBrowser *WebPagesImpl::createSiteView(const Hooks &hooks)
{
    auto *view = new TreeBrowser;
    view->setObjectName(QStringLiteral("wvWebSite"));
    connectHovered(view->page(), hooks);
    if (hooks.playStation) {
        QObject::connect(view, &TreeBrowser::signal_playStation, hooks.context,
                         [play = hooks.playStation](const BASS::Station *station) {
                             if (station)
                                 play(*station);
                         });
    }
    return view;
}

void WebPagesImpl::activate(TreeBrowser *view)
{
    view->activate();
}

QWidget *WebPagesImpl::widget(TrackHistoryFrame *page)
{
    return page;
}

QWidget *WebPagesImpl::widget(TrackWishListFrame *page)
{
    return page;
}

QWidget *WebPagesImpl::widget(HelpView *page)
{
    return page;
}

QWidget *WebPagesImpl::widget(TreeBrowser *page)
{
    return page;
}
