#include "webbrowser.h"

#include "webprofile.h"

#include <QApplication>
#include <QChildEvent>
#include <QContextMenuEvent>
#include <QDebug>
#include <QMenu>
#include <QWebEngineCertificateError>
#include <QWebEngineSettings>
#include <QWheelEvent>

WebPage::WebPage(WebBrowser *view)
    : QWebEnginePage(WebProfile::shared(), view)
    , m_view(view)
{
    connect(this, &QWebEnginePage::urlChanged, this,
            [](const QUrl &url) { qDebug() << "WebPage::urlChanged()" << url.toString(); });
    // The bundled service's certificate comes from the CA configured for the program's
    // services; the engine does not know it, so accept exactly what that CA signed.
    connect(this, &QWebEnginePage::certificateError, this, [](QWebEngineCertificateError error) {
        if (error.type() == QWebEngineCertificateError::CertificateAuthorityInvalid &&
            WebProfile::signedByTrustedCa(error.certificateChain()))
            error.acceptCertificate();
        else
            error.rejectCertificate();
    });
}

bool WebPage::showsTrustedPage() const
{
    return !m_trustedBase.isEmpty() && url() == m_trustedBase;
}

bool WebPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    if (m_view && !m_view->navigationRequested(url, type, isMainFrame))
        return false;
    if (url.scheme() == QLatin1String(WebProfile::CommandScheme)) {
        // Only our own generated page, in its main frame, may give commands.
        if (isMainFrame && showsTrustedPage())
            emit linkClicked(url);
        else
            qWarning() << "WebPage: command link refused from" << this->url().toString();
        return false;
    }
    if (m_delegate && type == NavigationTypeLinkClicked && isMainFrame) {
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
            emit linkClicked(url);
        return false;
    }
    return true;
}

QWebEnginePage *WebPage::createWindow(WebWindowType)
{
    QWebEngineView *view = m_view ? m_view->newWindowView() : nullptr;
    return view ? view->page() : nullptr;
}

WebBrowser::WebBrowser(QWidget *parent)
    : QWebEngineView(parent)
{
    m_page = new WebPage(this);
    setPage(m_page);
    WebProfile::applyGlobalSettings(m_page->settings());
    connect(this, &QWebEngineView::loadStarted, this, &WebBrowser::slot_LoadStarted);
    connect(this, &QWebEngineView::loadFinished, this, &WebBrowser::slot_LoadFinished);
    connect(m_page, &WebPage::linkClicked, this, &WebBrowser::slot_LinkClicked);
    connect(m_page, &QWebEnginePage::linkHovered, this,
            [this](const QString &link) { slot_linkHovered(link, QString(), QString()); });
}

WebBrowser::~WebBrowser()
{
    setBusy(false);
    // The page must go before the profile it uses; it is ours, so delete it with the view.
    setPage(nullptr);
    delete m_page;
}

void WebBrowser::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

void WebBrowser::setUrlText(const QString &text)
{
    m_urlText = text;
    load(QUrl::fromUserInput(text));
}

void WebBrowser::setLinkDelegation(bool on)
{
    m_linkDelegation = on;
    m_page->setLinkDelegation(on);
}

void WebBrowser::setGeneratedHtml(const QString &html, const QUrl &base)
{
    m_page->setTrustedBase(base);
    setHtml(html, base);
}

void WebBrowser::stopLoading()
{
    triggerPageAction(QWebEnginePage::Stop);
}

void WebBrowser::blurFocusedLink()
{
    runScript(QStringLiteral("var a = document.querySelector('a:focus'); if (a) a.blur();"));
    setFocus();
}

bool WebBrowser::runScript(const QString &script)
{
    if (!m_loaded || url().isEmpty())
        return false;
    m_page->runJavaScript(script);
    return true;
}

void WebBrowser::zoomByWheel(int delta)
{
    const int steps = delta / 8 / 15;
    if (steps != 0)
        setZoomFactor(qBound(0.25, zoomFactor() + steps * 0.1, 5.0));
}

void WebBrowser::slot_LoadStarted()
{
    setBusy(true);
    if (!m_quiet)
        emit signal_PageLoadStarted(this);
    m_loading = true;
    m_loaded = false;
    onLoadStarted();
}

void WebBrowser::slot_LoadFinished(bool ok)
{
    setBusy(false);
    m_quiet = false;
    emit signal_PageLoadFinished(this);
    m_page->setLinkDelegation(m_linkDelegation);
    m_loaded = true;
    m_loading = false;
    onLoadFinished(ok);
}

void WebBrowser::slot_LinkClicked(const QUrl &url)
{
    if (!handleLink(url))
        emit signal_linkClicked(url);
}

void WebBrowser::slot_Cancel()
{
    stopLoading();
}

void WebBrowser::slot_StatusBarMessage(const QString &mess)
{
    showStatus(mess);
}

void WebBrowser::slot_linkHovered(const QString &, const QString &, const QString &) {}

void WebBrowser::activate()
{
    m_activated = true;
}

void WebBrowser::onLoadStarted()
{
    qDebug() << "WebBrowser::onLoadStarted()" << url().toString();
}

void WebBrowser::onLoadFinished(bool) {}

bool WebBrowser::handleLink(const QUrl &)
{
    return false;
}

void WebBrowser::showStatus(const QString &) {}

void WebBrowser::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.addAction(pageAction(QWebEnginePage::Copy));
    menu.exec(event->globalPos());
}

// The engine delivers input to a child widget it creates once the page renders: watch it.
bool WebBrowser::event(QEvent *event)
{
    if (event->type() == QEvent::ChildPolished) {
        auto *child = qobject_cast<QWidget *>(static_cast<QChildEvent *>(event)->child());
        if (child && child != m_filtered) {
            child->installEventFilter(this);
            m_filtered = child;
        }
    }
    return QWebEngineView::event(event);
}

bool WebBrowser::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            zoomByWheel(wheel->angleDelta().y());
            return true;
        }
    }
    return QWebEngineView::eventFilter(watched, event);
}
