#pragma once

#include "webbrowser.h"

#include <QTimer>

namespace BASS {
class Station;
}

class WebNewWindow;

// The product web site's view. Its first activation loads the home page; the account page is
// pre-filled with the stored credentials, but only when it comes from the configured site's
// exact https origin. Pages the site opens in a new window go to one hidden WebNewWindow.
class TreeBrowser : public WebBrowser
{
    Q_OBJECT
public:
    explicit TreeBrowser(QWidget *parent = nullptr);

    // The site's root address; empty takes the "endpoints/website" setting.
    void setSiteUrl(const QUrl &url) { m_siteUrl = url; }
    QUrl siteUrl() const;
    WebNewWindow *newWindow();
    QWebEngineView *newWindowView() override;

    // The script that fills the site's sign-in form; both values enter as string literals.
    static QString signInScript(const QString &user, const QString &password);
    // Whether the address is the account page ("/user...") of the site, on its very origin.
    static bool isAccountPage(const QUrl &url, const QUrl &site);

signals:
    // A "/play/" link of the site: the station, valid only during the signal.
    void signal_playStation(const BASS::Station *station);

public slots:
    void activate() override;

protected:
    void onLoadFinished(bool ok) override;
    bool handleLink(const QUrl &url) override;

private:
    WebNewWindow *m_newWindow = nullptr;
    QUrl m_siteUrl;
    bool m_homeLoaded = false;
};

// Receives the pages the site opens in a new window and is never shown: a "/play/<id>" address
// from the site's origin starts that station in the player, once per station in a row.
class WebNewWindow : public WebBrowser
{
    Q_OBJECT
public:
    explicit WebNewWindow(TreeBrowser *opener);

    // The station id of a "/play/" address, "" when there is none or it is not a number.
    static QString playStationId(const QUrl &url);
    // "/stream/listen/<id>?apitid=781" on the site.
    static QString streamAddress(const QUrl &site, const QString &stationId);

signals:
    void signal_playStation(const BASS::Station *station);

public slots:
    void slot_connectStation();

protected:
    bool navigationRequested(const QUrl &url, QWebEnginePage::NavigationType type, bool isMainFrame) override;

private:
    void onUrlChanged(const QUrl &url);

    QPointer<TreeBrowser> m_opener;
    QString m_pendingStream;
    QString m_pendingId;
    QString m_lastId;
    QTimer m_connectTimer;
};
