// The window's web side: the cookie jar, the track history and wish list with their pages, the
// welcome page, the help page and the product web site's view. The welcome page is drawn without the web
// engine; the other web pages come from the web-pages plug-in, loaded when the first of them is shown,
// so a listener who opens none never loads the engine.

#include "tunorade.h"

#include "appsettings.h"
#include "cookiejar.h"
#include "httpblocking.h"
#include "navigatelabel.h"
#include "trackheader.h"
#include "trackinfo.h"
#include "tracklists.h"
#include "webpages.h"
#include "welcomeview.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

// Left clicks on a label run an action (the status line opens the track-history page).
class ClickFilter : public QObject
{
public:
    ClickFilter(QObject *parent, std::function<void()> action)
        : QObject(parent)
        , m_action(std::move(action))
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonRelease) {
            m_action();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_action;
};

BASS::TrackInfo trackInfoOf(const TunoraDE::Track &track, const QString &station)
{
    BASS::TrackInfo info;
    info.setTrackName(track.description());
    info.setTrackStation(station);
    info.setTrackURL(track.album.detailPageUrl);
    // The page shows the cover from its address: the small image, else the one the cover came from.
    info.setTrackFile(track.album.smallImageUrl.isEmpty() ? track.album.imageUrl()
                                                          : track.album.smallImageUrl);
    info.setTrackPreview(track.album.previewUrl);
    info.setTrackGenre(track.album.genre);
    info.setTrackDateTime(QDateTime::currentDateTime());
    info.setCover(QPixmap::fromImage(track.cover));
    return info;
}

// A page of the stack: a header line above one widget.
QWidget *framedPage(const QString &objectName, const QString &title, QWidget *content)
{
    auto *frame = new QFrame;
    frame->setObjectName(objectName);
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new TrackHistoryHeader(title, frame));
    content->setParent(frame);
    layout->addWidget(content, 1);
    return frame;
}

// Shows the busy cursor while a page is made: the first one loads the web engine.
class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

// The pages from the plug-in; null (said once, in a message box) when it cannot be loaded.
WebPages *webPages(QWidget *window)
{
    WebPages *pages = WebPages::load();
    static bool told = false;
    if (!pages && !told) {
        told = true;
        QMessageBox::warning(window, TunoraDE::tr("Web pages"),
                             TunoraDE::tr("The web pages cannot be shown: %1").arg(WebPages::loadError()));
    }
    return pages;
}

WebPages::Hooks webHooks(TunoraDE *window)
{
    WebPages::Hooks hooks;
    hooks.context = window;
    hooks.linkClicked = [window](const QUrl &url) { window->slot_webViewLinkClicked(url); };
    // The engine has no status texts of its own; a hovered link shows its address.
    hooks.linkHovered = [window](const QString &text) { window->slot_webViewStatusBarMessage(text); };
    hooks.playStation = [window](const BASS::Station &station) {
        // The station lives only while the page's signal is delivered: played from a copy.
        const BASS::Station copy(station);
        window->playStation(copy);
    };
    return hooks;
}

} // namespace

void TunoraDE::setupWeb()
{
    // The jar governs the pages' cookies; the profile itself is created only with the first page.
    m_cookieJar = new CookieJar(this);
    WebPages::setCookieJar(m_cookieJar);
    // The same jar for the directory clients and every other HTTP transfer: one policy, one file.
    BASS::QHttpExt::settings().cookieJar = m_cookieJar;

    m_trackLists = new TrackLists(this);
    QString member, password;
    AppSettings::instance().credentials(member, password);
    if (!member.isEmpty())
        m_trackLists->loadWishList(AppSettings::instance().wishListFile());
    // The window's history and the lists' history take the same songs; the pages show the lists'.
    connect(this, &TunoraDE::signal_trackHistoryChanged, this, [this] {
        if (!m_trackHistory.isEmpty())
            m_trackLists->addToHistory(trackInfoOf(m_trackHistory.last(), m_station.name()));
    });

    setPageFactory(PageWelcome, [](TunoraDE *window) { return window->createWelcomePage(); });
    lblTrackHistory->installEventFilter(new ClickFilter(lblTrackHistory, [this] {
        if (!m_trackLists->history().isEmpty() && !lblTrackHistory->text().isEmpty())
            showTrackHistoryPage();
    }));
    connect(action_Help, &QAction::triggered, this, &TunoraDE::showHelpPage);

    // The product web site inside the window (its view is made when first opened).
    auto *site = new QAction(tr("Tunora &Web Site"), this);
    site->setObjectName(QStringLiteral("actionWebSite"));
    site->setStatusTip(tr("Browse the Tunora web site, sign in there and play its stations here"));
    site->setEnabled(!AppSettings::instance().endpoint(AppSettings::WebSite).isEmpty());
    menuHelp->insertAction(actionAbout, site);
    connect(site, &QAction::triggered, this, &TunoraDE::showSiteView);
}

void TunoraDE::setupSiteLink()
{
    // The status bar's web-site link opens the site here rather than in the desktop browser: only
    // here are its pages trusted with the service's own certificate and signed in for the listener.
    auto *link = Ui::TunoraDEClass::statusBar->findChild<NavigateLabel *>(QStringLiteral("lblWebSite"));
    if (!link)
        return;
    link->setOpenInBrowser(false);
    connect(link, &NavigateLabel::signal_linkClicked, this, &TunoraDE::showSiteView);
}

void TunoraDE::replacePage(int position, QWidget *page)
{
    QWidget *placeholder = swStations->widget(position);
    const bool current = swStations->currentIndex() == position;
    swStations->insertWidget(position, page);
    // The new page comes to the top before the placeholder goes, so that the stack never shows
    // (nor reports as shown) a neighbouring page in between.
    if (current)
        swStations->setCurrentIndex(position);
    if (placeholder) {
        swStations->removeWidget(placeholder);
        delete placeholder;
    }
}

void TunoraDE::showWishListPage()
{
    if (!m_wishListPage) {
        // A web view starts the engine: the page is made when it is first asked for, not with the
        // window (whose start page it is when the welcome page is off).
        BusyCursor busy;
        WebPages *pages = webPages(this);
        if (!pages)
            return;
        m_wishListPage = pages->createWishListPage(m_trackLists, webHooks(this));
        replacePage(PageWishList, pages->widget(m_wishListPage));
    }
    swStations->setCurrentIndex(PageWishList);
}

QWidget *TunoraDE::createWelcomePage()
{
    return framedPage(QStringLiteral("frmWelcome"), tr("Welcome"), new WelcomeView);
}

void TunoraDE::showTrackHistoryPage()
{
    if (!m_trackHistoryPage) {
        BusyCursor busy;
        WebPages *pages = webPages(this);
        if (!pages)
            return;
        m_trackHistoryPage = pages->createHistoryPage(m_trackLists, webHooks(this));
        swStations->addWidget(pages->widget(m_trackHistoryPage));
    }
    twRadio->clearSelection();
    swStations->setCurrentWidget(WebPages::load()->widget(m_trackHistoryPage));
}

void TunoraDE::showHelpPage()
{
    if (!m_helpPage) {
        BusyCursor busy;
        WebPages *pages = webPages(this);
        if (!pages)
            return;
        m_helpPage = pages->createHelpView();
        replacePage(PageHelp, framedPage(QStringLiteral("frmHelp"), tr("Help"), pages->widget(m_helpPage)));
    }
    twRadio->clearSelection();
    swStations->setCurrentIndex(PageHelp);
}

void TunoraDE::showSiteView()
{
    if (!m_siteView) {
        // Like the track-history page it takes the next free stack position after the fixed pages.
        BusyCursor busy;
        WebPages *pages = webPages(this);
        if (!pages)
            return;
        m_siteView = pages->createSiteView(webHooks(this));
        swStations->addWidget(
            framedPage(QStringLiteral("frmWebSite"), tr("Web Site"), pages->widget(m_siteView)));
        pages->activate(m_siteView);
    }
    twRadio->clearSelection();
    swStations->setCurrentWidget(WebPages::load()->widget(m_siteView)->parentWidget());
}

void TunoraDE::slot_webViewLinkClicked(const QUrl &url)
{
    if (m_trackLists->command(url))
        return;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    showStatus(tr("Starting browser") + tr("..."));
    QDesktopServices::openUrl(url);
    QGuiApplication::restoreOverrideCursor();
}

void TunoraDE::slot_webViewStatusBarMessage(const QString &text)
{
    if (!text.isEmpty())
        showStatus(text);
}
