#include "tracklists.h"

#include "trackpage.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>
#include <QRegularExpression>

using BASS::TrackInfo;
using BASS::TrackPtr;

TrackLists::TrackLists(QObject *parent)
    : QObject(parent)
{}

void TrackLists::setHistoryView(TrackPageView *view)
{
    m_historyView = view;
    m_historyGuard = view ? view->pageObject() : nullptr;
    renderHistory();
}

void TrackLists::setWishListView(TrackPageView *view)
{
    m_wishListView = view;
    m_wishListGuard = view ? view->pageObject() : nullptr;
    renderWishList();
}

bool TrackLists::loadWishList(const QString &path)
{
    m_path = path;
    m_wishList.clear();
    BASS::WishListLoad outcome;
    const bool opened = BASS::loadWishList(path, m_wishList, &outcome);
    if (outcome.malformed) {
        QString text = tr("The wish list %1 could not be read completely (%2).").arg(path, outcome.errorText);
        if (!outcome.backupPath.isEmpty())
            text += QLatin1Char(' ') + tr("A copy of it was kept as %1.").arg(outcome.backupPath);
        reportError(text);
    }
    renderWishList();
    emit signal_wishListChanged();
    return opened;
}

bool TrackLists::saveWishList()
{
    if (m_path.isEmpty())
        return false;
    QString error;
    if (BASS::saveWishList(m_path, m_wishList, &error))
        return true;
    reportError(m_path + QStringLiteral("\n\n") + error);
    return false;
}

void TrackLists::clear()
{
    m_history.clear();
    m_wishList.clear();
    renderHistory();
    renderWishList();
}

void TrackLists::reportError(const QString &text)
{
    emit signal_error(text);
    if (m_showErrors)
        QMessageBox::critical(QApplication::activeWindow(), tr("Tunora Player"), text);
}

void TrackLists::addToHistory(const TrackInfo &current)
{
    while (m_history.size() >= HistorySize)
        m_history.removeFirst();
    if (!current.isEmpty() && current.hasCover()) {
        auto copy = TrackPtr::create(current);
        if (copy->trackId() == 0)
            copy->assignNewId();
        // Two songs within one second hash to the same id: keep every id unique.
        copy->setTrackId(BASS::uniqueId(copy->trackId(), m_history, m_wishList));
        m_history.append(copy);
    }
    renderHistory();
    emit signal_historyChanged();
}

bool TrackLists::isCommand(const QUrl &url)
{
    return url.toString().startsWith(QLatin1String(TrackPageBuilder::CommandPrefix));
}

bool TrackLists::command(const QUrl &url)
{
    if (!isCommand(url))
        return false;
    const QString text = url.toString().mid(int(qstrlen(TrackPageBuilder::CommandPrefix)));
    if (text == QLatin1String("refresh_wish_list")) {
        refreshWishList();
        return true;
    }
    static const QRegularExpression trackCommand(
        QStringLiteral("^(add_to_wishlist|remove_from_wishlist)_track_([0-9]{1,10})$"));
    const QRegularExpressionMatch m = trackCommand.match(text);
    if (!m.hasMatch())
        return true;
    bool ok = false;
    const quint32 id = m.captured(2).toUInt(&ok);
    if (!ok || id == 0)
        return true; // an id past 32 bits would otherwise wrap onto another track
    if (m.captured(1) == QLatin1String("add_to_wishlist"))
        addToWishList(id);
    else
        removeFromWishList(id);
    return true;
}

void TrackLists::addToWishList(quint32 id)
{
    const TrackPtr inHistory = BASS::findTrack(m_history, id);
    if (inHistory) {
        if (const TrackPtr wished = m_wishList.value(id)) {
            wished->setWishListed(true);
            inHistory->setWishListed(true);
        } else {
            // The copy keeps the history track's id (free in the wish list, or we would not be
            // here), so that removing it from either page reaches both.
            inHistory->setWishListed(true);
            auto copy = TrackPtr::create(*inHistory);
            m_wishList.insert(copy->trackId(), copy);
        }
        saveWishList();
        renderHistory();
        renderWishList();
    } else if (const TrackPtr wished = m_wishList.value(id)) {
        wished->setWishListed(true);
        markWishListChanged();
        saveWishList();
    }
    emit signal_wishListChanged();
}

void TrackLists::removeFromWishList(quint32 id)
{
    if (const TrackPtr inHistory = BASS::findTrack(m_history, id)) {
        inHistory->setWishListed(false);
        renderHistory();
    }
    if (const TrackPtr wished = m_wishList.value(id)) {
        wished->setWishListed(false);
        markWishListChanged();
        saveWishList();
    }
    emit signal_wishListChanged();
}

void TrackLists::refreshWishList()
{
    if (TrackPageView *view = wishListView())
        view->setContentsChanged(false);
    for (auto it = m_wishList.begin(); it != m_wishList.end();) {
        if (!(*it) || !(*it)->isWishListed())
            it = m_wishList.erase(it);
        else
            ++it;
    }
    renderWishList();
    saveWishList();
    emit signal_wishListChanged();
}

void TrackLists::markWishListChanged()
{
    if (TrackPageView *view = wishListView(); view && view->isPageVisible())
        view->setContentsChanged(true);
    renderWishList();
}

void TrackLists::renderHistory()
{
    if (TrackPageView *view = historyView())
        view->renderHistory(m_history);
}

void TrackLists::renderWishList()
{
    if (TrackPageView *view = wishListView())
        view->renderWishList(m_wishList);
}
