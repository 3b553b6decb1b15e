#pragma once

#include "trackheader.h"
#include "trackinfo.h"
#include "tracklists.h"
#include "trackpage.h"
#include "webbrowser.h"

#include <QFrame>

#include <memory>

// The track-history page: generated HTML in an embedded view. Command links from the page reach
// signal_linkClicked (connect it to TrackLists::command); other links are http/https only.
class WebViewHistory : public WebBrowser, public TrackPageView
{
    Q_OBJECT
public:
    explicit WebViewHistory(QWidget *parent = nullptr);

    void renderHistory(const BASS::TrackList &list) override;
    void renderWishList(const BASS::TrackMap &map) override;
    void setContentsChanged(bool on) override { m_builder->setContentsChanged(on); }
    bool contentsChanged() const { return m_builder->contentsChanged(); }
    bool isPageVisible() const override { return isVisible(); }
    QObject *pageObject() override { return this; }
    // The HTML last generated.
    QString lastHtml() const { return m_lastHtml; }

protected:
    WebViewHistory(std::unique_ptr<TrackPageBuilder> builder, QWidget *parent);
    void showPage(const QString &html);

private:
    std::unique_ptr<TrackPageBuilder> m_builder;
    QString m_lastHtml;
};

// The wish-list page, with the "contents changed" banner after a change while it is visible.
class TrackWishListView : public WebViewHistory
{
    Q_OBJECT
public:
    explicit TrackWishListView(QWidget *parent = nullptr);
};

// A panel with a header and one view; "TrackHistoryFrame" and "TrackWishListFrame".
class TrackHistoryFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TrackHistoryFrame(QWidget *parent = nullptr);
    WebViewHistory *view() const { return m_view; }

protected:
    TrackHistoryFrame(const QString &objectName, const QString &title, WebViewHistory *view, QWidget *parent);

private:
    WebViewHistory *m_view = nullptr;
};

class TrackWishListFrame : public TrackHistoryFrame
{
    Q_OBJECT
public:
    explicit TrackWishListFrame(QWidget *parent = nullptr);
    TrackWishListView *view() const { return static_cast<TrackWishListView *>(TrackHistoryFrame::view()); }
};
