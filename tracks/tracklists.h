#pragma once

#include "trackinfo.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

// A page that shows the track history or the wish list (the web views are the real ones).
class TrackPageView
{
public:
    virtual ~TrackPageView() = default;
    virtual void renderHistory(const BASS::TrackList &list) = 0;
    virtual void renderWishList(const BASS::TrackMap &map) = 0;
    virtual void setContentsChanged(bool on) = 0;
    // Shown to the listener now: a change then asks for a refresh instead of reordering the page.
    virtual bool isPageVisible() const = 0;
    // The object whose destruction ends the page.
    virtual QObject *pageObject() = 0;
};

// The track history (last 20 songs with a cover) and the wish list, with the command links of
// the pages ("tunora://cmd?add_to_wishlist_track_<id>", "...remove_from_wishlist_track_<id>",
// "...refresh_wish_list"). The main window owns one, gives it the views once they exist and the
// wish-list file once the member is known, and connects the views' command links to command().
class TrackLists : public QObject
{
    Q_OBJECT
public:
    static constexpr int HistorySize = 20;

    explicit TrackLists(QObject *parent = nullptr);

    const BASS::TrackList &history() const { return m_history; }
    const BASS::TrackMap &wishList() const { return m_wishList; }

    void setHistoryView(TrackPageView *view);
    void setWishListView(TrackPageView *view);

    // Loads the member's wish list (replacing the one in memory). A malformed file is reported
    // once through signal_error, with where its copy was kept.
    bool loadWishList(const QString &path);
    bool saveWishList();
    QString wishListPath() const { return m_path; }
    void clear();

    // A new song: drops the oldest when the history is full, then appends a copy of a named
    // track that has a cover, under an id no other track uses.
    void addToHistory(const BASS::TrackInfo &current);

    // Whether a link is one of the command links above.
    static bool isCommand(const QUrl &url);

    // Show failures in a message box as well as through signal_error (off in tests).
    void setShowErrors(bool on) { m_showErrors = on; }

signals:
    void signal_historyChanged();
    void signal_wishListChanged();
    // A failure the user must see, e.g. the wish-list file could not be written.
    void signal_error(const QString &text);

public slots:
    // Acts on a command link; anything else is ignored. Returns whether it was a command.
    bool command(const QUrl &url);

private:
    void addToWishList(quint32 id);
    void removeFromWishList(quint32 id);
    void refreshWishList();
    void renderHistory();
    void renderWishList();
    void markWishListChanged();
    void reportError(const QString &text);

    BASS::TrackList m_history;
    BASS::TrackMap m_wishList;
    QString m_path;
    TrackPageView *historyView() const { return m_historyGuard ? m_historyView : nullptr; }
    TrackPageView *wishListView() const { return m_wishListGuard ? m_wishListView : nullptr; }

    TrackPageView *m_historyView = nullptr;
    QPointer<QObject> m_historyGuard;
    TrackPageView *m_wishListView = nullptr;
    QPointer<QObject> m_wishListGuard;
    bool m_showErrors = true;
};
