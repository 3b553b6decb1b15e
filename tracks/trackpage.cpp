#include "trackpage.h"

#include <QUrl>

#include <algorithm>

using BASS::TrackInfo;
using BASS::TrackPtr;

namespace {

const char HeadTemplate[] =
    R"html(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">
<html xmlns="http://www.w3.org/1999/xhtml" lang="en" xml:lang="en">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=utf-8" />
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src file: http: https:; form-action 'none'; base-uri 'none'" />
<title>Track History</title>
<style type="text/css">
body { font-family: Arial, sans-serif; font-size: 8pt; background-color: white; }
.clsTable { width: 100%; font-family: Arial, sans-serif; font-size: 9pt; }
table.main { border-spacing: 0; border-collapse: collapse; font-family: Arial, sans-serif; font-size: 8pt; }
table.main tr:nth-child(odd) { background-color: #ffffcc; }
table.main tr:nth-child(even) { background-color: #fdffee; }
.clsRowOdd { background-color: White; }
.clsRowEven { background-color: #E6E6E6; }
.clsCoverArt { width: 60px; height: 60px; padding: 0; border: 1px solid black; }
.linkAddToWishList { color: black; text-decoration: underline; display: none; }
.linkRemoveFromWishList { color: black; text-decoration: underline; display: none; }
</style>
<script type="text/javascript">
function Init() {}
function onPlayHistoryOver(elem) { elem.src = "{HTML_PATH}/play_history_selected.png"; }
function onPlayHistoryOut(elem) { elem.src = "{HTML_PATH}/play_history.png"; }
function onAddToWishListOver(elem) { elem.src = "{HTML_PATH}/{ADD_TO_WISHLIST_IMAGE_OVER}"; }
function onAddToWishListOut(elem) { elem.src = "{HTML_PATH}/{ADD_TO_WISHLIST_IMAGE_OUT}"; }
function onRemoveFromWishListOver(elem) { elem.src = "{HTML_PATH}/{REMOVE_FROM_WISHLIST_IMAGE_OVER}"; }
function onRemoveFromWishListOut(elem) { elem.src = "{HTML_PATH}/{REMOVE_FROM_WISHLIST_IMAGE_OUT}"; }
function onDivAddToWishListOver(elem) { {SHOW_ADD_TO_WISHLIST_TEXT_OVER}; }
function onDivAddToWishListOut(elem) { {SHOW_ADD_TO_WISHLIST_TEXT_OUT}; }
function showRemoveToWishListURL(elem, show) {
  var link = document.getElementById(elem.id.replace("divAddToWishList", "urlAddToWishList"));
  if (link) link.style.display = show ? "inline" : "none";
}
function showAddWishListURL(elem, show) {
  elem.style.color = show ? "black" : "gray";
  elem.style.textDecoration = show ? "underline" : "none";
  if (show) onAddToWishListOver(elem); else onAddToWishListOut(elem);
}
</script>
</head>
<body onload="Init()"><html>{REFRESH})html";

const char RowTemplate[] = R"html(
<tr><td width="60px" rowspan="5"><img class="clsCoverArt" src="{TRACK_COVER_ART}" title="" alt="" /></td></tr>
<tr class="{ROW_CLASS}"><td><b>{TRACK_NAME}</b></td></tr>
<tr class="{ROW_CLASS}"><td>{TRACK_GENRE}</td></tr>
<tr class="{ROW_CLASS}"><td>{TRACK_BUY_LINK}</td></tr>
<tr class="{ROW_CLASS}"><td><div id="{DIV_ADD_TO_WISHLIST}" onmouseout="onDivAddToWishListOut(this)" onmouseover="onDivAddToWishListOver(this)"><a href="{ADD_TO_WISHLIST_URL}"><img src="{HTML_PATH}/{ADD_TO_WISHLIST_IMAGE_OUT}" title="{TOOLTIP_ADD_TO_WISHLIST}" id="{ID_ADD_TO_WISHLIST}" onmouseover="{ON_ADD_TO_WISHLIST_OVER}" onmouseout="{ON_ADD_TO_WISHLIST_OUT}" alt="" /></a> <a href="{ADD_TO_WISHLIST_URL}" id="{ID_ADD_TO_WISHLIST_URL}" class="{CLASS_URL_ADD_TO_WISHLIST}">{TEXT_ADD_TO_WISHLIST}</a></div></td></tr>)html";

} // namespace

TrackPageBuilder::TrackPageBuilder(const QString &htmlPath)
    : m_htmlPath(htmlPath)
    , m_textAdd(tr("Add to wish list"))
    , m_textRemove(tr("Remove from wish list"))
{}

QString TrackPageBuilder::htmlText(const QString &text)
{
    QString s = text.toHtmlEscaped();
    s.replace(QLatin1Char('{'), QLatin1String("&#123;"));
    s.replace(QLatin1Char('}'), QLatin1String("&#125;"));
    s.replace(QLatin1Char('\''), QLatin1String("&#39;"));
    return s;
}

QString TrackPageBuilder::safeLink(const QString &address)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return url.toString(QUrl::FullyEncoded);
}

QString TrackPageBuilder::rowTooltip(const TrackInfo &) const
{
    return m_emptyPageText;
}

QString TrackPageBuilder::rowLinkText(const TrackInfo &track) const
{
    return track.isWishListed() ? m_textRemove : m_textAdd;
}

void TrackPageBuilder::applyImages(QString &html) const
{
    html.replace(QLatin1String("{ADD_TO_WISHLIST_IMAGE_OVER}"), m_addImageOver);
    html.replace(QLatin1String("{ADD_TO_WISHLIST_IMAGE_OUT}"), m_addImageOut);
    html.replace(QLatin1String("{REMOVE_FROM_WISHLIST_IMAGE_OVER}"), m_removeImageOver);
    html.replace(QLatin1String("{REMOVE_FROM_WISHLIST_IMAGE_OUT}"), m_removeImageOut);
}

void TrackPageBuilder::renderRow(QString &html, const TrackPtr &track, int row) const
{
    if (!track || track->isEmpty())
        return;
    const bool wished = track->isWishListed();
    const QString id = QString::number(track->trackId());
    QString r = QString::fromUtf8(RowTemplate);

    const QString buy = htmlText(tr("Buy song/album"));
    const QString link = safeLink(track->trackURL());
    const QString buyLink =
        link.isEmpty() ? buy : QStringLiteral("<a href=\"%1\">%2</a>").arg(htmlText(link), buy);

    // Values the program makes itself first; outside texts last, already escaped.
    r.replace(QLatin1String("{ROW_CLASS}"),
              row % 2 == 0 ? QLatin1String("clsRowEven") : QLatin1String("clsRowOdd"));
    r.replace(QLatin1String("{DIV_ADD_TO_WISHLIST}"), QStringLiteral("divAddToWishList_") + id);
    r.replace(QLatin1String("{ID_ADD_TO_WISHLIST_URL}"), QStringLiteral("urlAddToWishList_") + id);
    r.replace(QLatin1String("{ID_ADD_TO_WISHLIST}"), QStringLiteral("idAddToWishList_") + id);
    r.replace(QLatin1String("{CLASS_URL_ADD_TO_WISHLIST}"),
              wished ? QLatin1String("linkAddToWishList") : QLatin1String("linkRemoveFromWishList"));
    r.replace(QLatin1String("{ADD_TO_WISHLIST_URL}"),
              QLatin1String(CommandPrefix) +
                  (wished ? QStringLiteral("remove_from_wishlist_track_")
                          : QStringLiteral("add_to_wishlist_track_")) +
                  id);
    r.replace(QLatin1String("{ON_ADD_TO_WISHLIST_OVER}"),
              wished ? QLatin1String("onRemoveFromWishListOver(this)")
                     : QLatin1String("onAddToWishListOver(this)"));
    r.replace(QLatin1String("{ON_ADD_TO_WISHLIST_OUT}"), wished
                                                             ? QLatin1String("onRemoveFromWishListOut(this)")
                                                             : QLatin1String("onAddToWishListOut(this)"));
    r.replace(QLatin1String("{ADD_TO_WISHLIST_IMAGE_OUT}"), wished ? m_removeImageOut : m_addImageOut);
    r.replace(QLatin1String("{HTML_PATH}"), htmlText(m_htmlPath));
    r.replace(QLatin1String("{TEXT_ADD_TO_WISHLIST}"), htmlText(rowLinkText(*track)));
    r.replace(QLatin1String("{TOOLTIP_ADD_TO_WISHLIST}"), htmlText(rowTooltip(*track)));
    r.replace(QLatin1String("{TITLE_PLAY}"), htmlText(tr("Play song")));
    r.replace(QLatin1String("{TRACK_BUY_LINK}"), buyLink);
    r.replace(QLatin1String("{TRACK_COVER_ART}"), htmlText(safeLink(track->trackFile())));
    r.replace(QLatin1String("{TRACK_GENRE}"), htmlText(track->trackGenre()));
    r.replace(QLatin1String("{TRACK_NAME}"), htmlText(track->trackName()));
    html += r;
}

void TrackPageBuilder::beginPage(QString &html) const
{
    QString head = QString::fromUtf8(HeadTemplate);
    head.replace(QLatin1String("{HTML_PATH}"), htmlText(m_htmlPath));
    html += head;
    html += QLatin1String("<table class=\"main\" width=\"100%\">");
}

void TrackPageBuilder::endPage(QString &html) const
{
    html += QLatin1String("</table>\n</body></html>");
}

void TrackPageBuilder::applyScripts(QString &html) const
{
    html.replace(QLatin1String("{SHOW_ADD_TO_WISHLIST_TEXT_OVER}"),
                 QLatin1String("showRemoveToWishListURL(elem,true)"));
    html.replace(QLatin1String("{SHOW_ADD_TO_WISHLIST_TEXT_OUT}"),
                 QLatin1String("showRemoveToWishListURL(elem,false)"));
}

QString TrackPageBuilder::renderRows(const BASS::TrackList &ordered)
{
    if (ordered.isEmpty())
        return m_emptyPageText;
    QString html;
    beginPage(html);
    html.replace(QLatin1String("{REFRESH}"), QString());
    int row = 0;
    for (const TrackPtr &track : ordered)
        renderRow(html, track, ++row);
    endPage(html);
    applyImages(html);
    applyScripts(html);
    afterRender();
    return html;
}

QString TrackPageBuilder::renderHistory(const BASS::TrackList &list)
{
    BASS::TrackList newestFirst(list.crbegin(), list.crend());
    return renderRows(newestFirst);
}

QString TrackPageBuilder::renderWishList(const BASS::TrackMap &map)
{
    BASS::TrackList byName = map.values();
    std::stable_sort(byName.begin(), byName.end(), [](const TrackPtr &a, const TrackPtr &b) {
        return (a ? a->trackName() : QString()) < (b ? b->trackName() : QString());
    });
    return renderRows(byName);
}

WishListPageBuilder::WishListPageBuilder(const QString &htmlPath)
    : TrackPageBuilder(htmlPath)
    , m_tooltipRemove(tr("Remove from your wish list"))
{}

QString WishListPageBuilder::rowTooltip(const TrackInfo &track) const
{
    return track.isWishListed() ? m_tooltipRemove : TrackPageBuilder::rowTooltip(track);
}

void WishListPageBuilder::beginPage(QString &html) const
{
    TrackPageBuilder::beginPage(html);
    if (m_contentsChanged)
        html.replace(
            QLatin1String("{REFRESH}"),
            QStringLiteral("<a href=\"%1refresh_wish_list\">%2</a></br>")
                .arg(QLatin1String(CommandPrefix), htmlText(tr("Contents changed, click here to refresh"))));
}

void WishListPageBuilder::applyScripts(QString &html) const
{
    TrackPageBuilder::applyScripts(html);
}
