#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class CookieJar;
class HelpView;
class QWidget;
class TrackHistoryFrame;
class TrackLists;
class TrackWishListFrame;
class TreeBrowser;

namespace BASS {
class Station;
}

// The window's web pages (track history, wish list, help, the product web site) come from a
// plug-in that links the web engine; the program itself does not. The engine, its GL context
// and its helper processes then cost nothing until the first page is opened. The plug-in is
// looked for beside the program (installed: "<libdir>/tunora", relative to "bin"), then in the
// build tree. A program that links the pages in registers them with registerInProcess().
class WebPages
{
public:
    // What the window wants to hear from a page. Every callback runs on the GUI thread; context
    // ends the connections when it is destroyed.
    struct Hooks
    {
        QObject *context = nullptr;
        std::function<void(const QUrl &)> linkClicked;
        std::function<void(const QString &)> linkHovered;
        std::function<void(const BASS::Station &)> playStation;
    };

    virtual ~WebPages() = default;

    // The jar that governs the pages' cookies (the engine's store follows it).
    virtual void useCookieJar(CookieJar *jar) = 0;
    // Each page is made with the window's font and connected to the hooks; the two track pages
    // are handed to the lists, which render into them from then on.
    virtual TrackHistoryFrame *createHistoryPage(TrackLists *lists, const Hooks &hooks) = 0;
    virtual TrackWishListFrame *createWishListPage(TrackLists *lists, const Hooks &hooks) = 0;
    virtual HelpView *createHelpView() = 0;
    // The site's view ("wvWebSite"); activate() loads its home page once it is placed.
    virtual TreeBrowser *createSiteView(const Hooks &hooks) = 0;
    virtual void activate(TreeBrowser *view) = 0;
    // The widget of a page, for placing it (the types are complete only in the plug-in).
    virtual QWidget *widget(TrackHistoryFrame *page) = 0;
    virtual QWidget *widget(TrackWishListFrame *page) = 0;
    virtual QWidget *widget(HelpView *page) = 0;
    virtual QWidget *widget(TreeBrowser *page) = 0;

    // The pages, loading the plug-in on the first call (which starts nothing yet: the engine
    // starts with the first page). Null when it cannot be loaded; loadError() says why.
    static WebPages *load();
    static QString loadError();
    // The folders load() looks in, in order.
    static QStringList pluginFolders();
    // Kept and handed to the pages as soon as they are loaded.
    static void setCookieJar(CookieJar *jar);
    // Pages linked into the program (tests, benchmarks) are used instead of the plug-in.
    static void registerInProcess(WebPages *pages);
};

#define TunoraWebPages_iid "local.tunora.TunoraDE.WebPages/1"
Q_DECLARE_INTERFACE(WebPages, TunoraWebPages_iid)
