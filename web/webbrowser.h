#pragma once

#include <QPointer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

class WebBrowser;

// The page of every embedded view, on the shared profile. With link delegation on, links the
// user follows are reported instead of loaded; command links ("tunora://cmd?...") are reported
// only from the page the program generated itself (see setTrustedBase()).
class WebPage : public QWebEnginePage
{
    Q_OBJECT
public:
    explicit WebPage(WebBrowser *view);

    void setLinkDelegation(bool on) { m_delegate = on; }
    bool linkDelegation() const { return m_delegate; }
    // The address generated pages are shown under; command links count only while the page
    // still shows that address. Empty: command links are never acted on.
    void setTrustedBase(const QUrl &base) { m_trustedBase = base; }
    QUrl trustedBase() const { return m_trustedBase; }
    bool showsTrustedPage() const;

signals:
    void linkClicked(const QUrl &url);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    QPointer<WebBrowser> m_view;
    QUrl m_trustedBase;
    bool m_delegate = true;
};

// The base of every embedded web view.
class WebBrowser : public QWebEngineView
{
    Q_OBJECT
public:
    explicit WebBrowser(QWidget *parent = nullptr);
    ~WebBrowser() override;

    WebPage *webPage() const { return m_page; }

    void setUrlText(const QString &text);
    QString urlText() const { return m_urlText; }
    void setLinkDelegation(bool on);
    bool linkDelegation() const { return m_linkDelegation; }
    // The next load start is not announced.
    void setQuiet() { m_quiet = true; }
    bool isLoaded() const { return m_loaded; }
    bool isLoading() const { return m_loading; }
    bool isActivated() const { return m_activated; }

    void stopLoading();
    void blurFocusedLink();
    // Runs the script in the page when it has a document; false when there is none yet.
    bool runScript(const QString &script);
    // Generated HTML under a local base address; command links from it are trusted.
    void setGeneratedHtml(const QString &html, const QUrl &base);
    // Ctrl+wheel: one notch (delta 120) changes the zoom by 0.1.
    void zoomByWheel(int delta);

    // Receives pages the current page opens in a new window; null refuses them.
    virtual QWebEngineView *newWindowView() { return nullptr; }
    // Sees every navigation of the page before the link policy; false stops it.
    virtual bool navigationRequested(const QUrl &, QWebEnginePage::NavigationType, bool) { return true; }

signals:
    void signal_linkClicked(const QUrl &link);
    void signal_PageLoadStarted(WebBrowser *browser);
    void signal_PageLoadFinished(WebBrowser *browser);

public slots:
    void slot_LoadStarted();
    void slot_LoadFinished(bool ok);
    void slot_LinkClicked(const QUrl &url);
    void slot_Cancel();
    void slot_StatusBarMessage(const QString &mess);
    void slot_linkHovered(const QString &link, const QString &title, const QString &textContent);

    virtual void activate();

protected:
    virtual void onLoadStarted();
    virtual void onLoadFinished(bool ok);
    // True when the view dealt with the link itself; otherwise signal_linkClicked is emitted.
    virtual bool handleLink(const QUrl &url);
    virtual void showStatus(const QString &text);

    void contextMenuEvent(QContextMenuEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;

    bool m_activated = false;

private:
    void setBusy(bool busy);

    WebPage *m_page = nullptr;
    QString m_urlText;
    bool m_linkDelegation = true;
    bool m_loaded = false;
    bool m_loading = false;
    bool m_quiet = false;
    bool m_busy = false;
    QPointer<QWidget> m_filtered;
};
