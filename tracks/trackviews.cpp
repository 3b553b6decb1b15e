#include "trackviews.h"

#include "htmlfolder.h"

#include <QVBoxLayout>
#include <QWebEngineSettings>

WebViewHistory::WebViewHistory(QWidget *parent)
    : WebViewHistory(std::make_unique<TrackPageBuilder>(HtmlFolder::htmlPath()), parent)
{}

WebViewHistory::WebViewHistory(std::unique_ptr<TrackPageBuilder> builder, QWidget *parent)
    : WebBrowser(parent)
    , m_builder(std::move(builder))
{
    // The pages are local documents (their own images come from the Html folder) showing covers
    // from the cover service's http(s) addresses; their policy still allows no remote script.
    page()->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    setToolTip(m_builder->emptyPage());
    showPage(QStringLiteral("<html><body></body></html>"));
}

void WebViewHistory::showPage(const QString &html)
{
    m_lastHtml = html;
    setGeneratedHtml(html, HtmlFolder::baseUrl());
}

void WebViewHistory::renderHistory(const BASS::TrackList &list)
{
    showPage(m_builder->renderHistory(list));
}

void WebViewHistory::renderWishList(const BASS::TrackMap &map)
{
    showPage(m_builder->renderWishList(map));
}

TrackWishListView::TrackWishListView(QWidget *parent)
    : WebViewHistory(std::make_unique<WishListPageBuilder>(HtmlFolder::htmlPath()), parent)
{}

TrackHistoryFrame::TrackHistoryFrame(QWidget *parent)
    : TrackHistoryFrame(QStringLiteral("TrackHistoryFrame"), tr("Recently Played"), nullptr, parent)
{}

TrackHistoryFrame::TrackHistoryFrame(const QString &objectName, const QString &title, WebViewHistory *view,
                                     QWidget *parent)
    : QFrame(parent)
{
    setObjectName(objectName);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new TrackHistoryHeader(title, this));
    m_view = view ? view : new WebViewHistory(this);
    m_view->setParent(this);
    layout->addWidget(m_view, 1);
}

TrackWishListFrame::TrackWishListFrame(QWidget *parent)
    : TrackHistoryFrame(QStringLiteral("TrackWishListFrame"), tr("Wish List"), new TrackWishListView, parent)
{}
