#pragma once

#include "trackinfo.h"

#include <QCoreApplication>
#include <QString>

// Generates the HTML of the track-history and wish-list pages. Every text that came from a
// stream, the directory or a cover service is escaped, links and images are used only when they
// are http/https addresses, and the page's Content-Security-Policy allows no remote script.
class TrackPageBuilder
{
    Q_DECLARE_TR_FUNCTIONS(TrackPageBuilder)
public:
    static constexpr char CommandPrefix[] = "tunora://cmd?";

    explicit TrackPageBuilder(const QString &htmlPath);
    virtual ~TrackPageBuilder() = default;

    QString htmlPath() const { return m_htmlPath; }
    QString emptyPage() const { return m_emptyPageText; }
    void setContentsChanged(bool on) { m_contentsChanged = on; }
    bool contentsChanged() const { return m_contentsChanged; }

    // Newest (last) first; an empty list gives the empty page.
    QString renderHistory(const BASS::TrackList &list);
    // Ordered by track name.
    QString renderWishList(const BASS::TrackMap &map);

    // Text for an element or attribute: markup characters and the braces of placeholders escaped.
    static QString htmlText(const QString &text);
    // The address when it is an absolute http/https URL, otherwise "".
    static QString safeLink(const QString &address);

protected:
    virtual QString rowTooltip(const BASS::TrackInfo &track) const;
    virtual QString rowLinkText(const BASS::TrackInfo &track) const;
    virtual void applyImages(QString &html) const;
    virtual void renderRow(QString &html, const BASS::TrackPtr &track, int row) const;
    virtual void beginPage(QString &html) const;
    virtual void endPage(QString &html) const;
    virtual void applyScripts(QString &html) const;
    virtual void afterRender() {}

    QString renderRows(const BASS::TrackList &ordered);

    QString m_htmlPath;
    QString m_emptyPageText;
    QString m_textAdd;
    QString m_textRemove;
    QString m_removeImageOver = QStringLiteral("add_wishlist_selected.png");
    QString m_removeImageOut = QStringLiteral("add_wishlist_selected.png");
    QString m_addImageOver = QStringLiteral("add_wishlist_mouseover.png");
    QString m_addImageOut = QStringLiteral("add_wishlist.png");
    bool m_contentsChanged = false;
};

// The wish list: wish-listed rows offer removal, and a banner asks for a refresh after changes.
class WishListPageBuilder : public TrackPageBuilder
{
    Q_DECLARE_TR_FUNCTIONS(WishListPageBuilder)
public:
    explicit WishListPageBuilder(const QString &htmlPath);

protected:
    QString rowTooltip(const BASS::TrackInfo &track) const override;
    void beginPage(QString &html) const override;
    void applyScripts(QString &html) const override;

private:
    QString m_tooltipRemove;
};
