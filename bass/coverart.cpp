#include "coverart.h"

#include "covertext.h"

#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>

Q_LOGGING_CATEGORY(lcCover, "tunora.coverart")

namespace BASS {

namespace {

constexpr const char *TrackInfoKey = "7d41c0e9a2b85f63d19e0c4a7b2f58e1";

} // namespace

using namespace CoverText;

// ---------------------------------------------------------------------------------------------
// DownloadInfo

DownloadInfo::DownloadInfo(const Song &s, int k)
    : song(s)
    , kind(k)
{}

DownloadInfo::~DownloadInfo()
{
    if (deadline) {
        deadline->stop();
        deadline->deleteLater();
    }
}

// ---------------------------------------------------------------------------------------------
// CoverArt

CoverArt::CoverArt(QObject *parent)
    : QObject(parent)
    , m_sourceOrder(defaultSourceOrder())
{
    createClient();
}

CoverArt::~CoverArt()
{
    // Nothing may be reported from the destructor: the client goes with its replies unheard.
    if (m_http)
        m_http->disconnect(this);
    m_downloads.clear();
}

QList<int> CoverArt::defaultSourceOrder()
{
    return {SourceCustom, SourceShopUS, SourceTrackInfo, SourceImageSearchSafe};
}

void CoverArt::setSourceOrder(const QList<int> &sources)
{
    m_sourceOrder.clear();
    for (const int s : sources) {
        const bool known =
            (s >= SourceShopUS && s <= SourceShopCA) || (s >= SourceImageSearchSafe && s <= SourceCustom);
        if (known && !m_sourceOrder.contains(s))
            m_sourceOrder.append(s);
    }
}

void CoverArt::setLookupTimeout(int ms)
{
    m_lookupTimeoutMs = qMax(50, ms);
    m_http->setTimeout(m_lookupTimeoutMs);
}

void CoverArt::setMaxDownloadSize(qint64 bytes)
{
    m_maxDownloadBytes = qBound<qint64>(1024, bytes, CoverReplies::MaxReplyBytes);
    m_http->setMaxSize(m_maxDownloadBytes);
}

QString CoverArt::trimRoot(const QString &root)
{
    QString r = root.trimmed();
    while (r.endsWith(QLatin1Char('/')))
        r.chop(1);
    return r;
}

void CoverArt::createClient()
{
    m_http = new QHttpExt(this);
    m_http->setRaw(true);
    m_http->setFollowRedirects(true);
    m_http->setMaxRedirects(5);
    m_http->setMaxSize(m_maxDownloadBytes);
    m_http->setTimeout(m_lookupTimeoutMs);
    connect(m_http, &QHttpExt::sig_Finished, this, &CoverArt::slot_coverArtFinished);
    connect(m_http, &QHttpExt::sig_Redirect, this, &CoverArt::slot_redirect);
}

QString CoverArt::StatusText(status st)
{
    switch (st) {
    case StatusSearchingCover:
        return tr("Searching for cover art...");
    case StatusCoverFound:
        return tr("Cover art found");
    case StatusCoverNotFound:
        return tr("Cover art not found");
    case StatusSearchingLyrics:
        return tr("Searching for lyrics...");
    case StatusLyricsFound:
        return tr("Lyrics Found");
    case StatusLyricsNotFound:
        return tr("Lyrics not found");
    default:
        return QString();
    }
}

QString CoverArt::SourceNameKey(int source)
{
    switch (source) {
    case SourceShopUS:
        return QStringLiteral("L_COUNTRY_USA");
    case SourceShopUK:
        return QStringLiteral("L_COUNTRY_UK");
    case SourceShopDE:
        return QStringLiteral("L_COUNTRY_GERMANY");
    case SourceShopFR:
        return QStringLiteral("L_COUNTRY_FRANCE");
    case SourceShopJP:
        return QStringLiteral("L_COUNTRY_JAPAN");
    case SourceShopCA:
        return QStringLiteral("L_COUNTRY_CANADA");
    case SourceImageSearchSafe:
    case SourceImageSearch:
        return QStringLiteral("Google");
    default:
        return QString();
    }
}

QPixmap CoverArt::Pixmap() const
{
    return QPixmap::fromImage(m_image);
}

bool CoverArt::IsLookingUp() const
{
    for (const auto &entry : m_downloads)
        if (entry.second->kind == DownloadInfo::AlbumSearch ||
            entry.second->kind == DownloadInfo::ImageDownload)
            return true;
    return false;
}

void CoverArt::emitProcess(coverArtType type)
{
    emit sig_coverArtProcess(type);
}

void CoverArt::emitStatus(status st)
{
    emit sig_statusChanged(st);
}

// ---------------------------------------------------------------------------------------------
// Addresses

QString CoverArt::BuildLookupUrl(int source, const QString &artist, const QString &title) const
{
    // "Song (Live) [Remastered]" is searched as "Song".
    QString t = title;
    if (const qsizetype at = t.indexOf(QLatin1Char('[')); at > 0)
        t.truncate(at);
    if (const qsizetype at = t.indexOf(QLatin1Char('(')); at > 0)
        t.truncate(at);
    QString a = artist;
    for (QString *s : {&a, &t}) {
        s->replace(QLatin1Char('`'), QLatin1Char('\''));
        s->remove(QLatin1Char('\''));
        *s = s->trimmed();
    }
    const bool imageSearch = source == SourceImageSearchSafe || source == SourceImageSearch;
    auto clean = [imageSearch](QString s) {
        s.replace(QLatin1Char('_'), QLatin1Char(' '));
        s.remove(QLatin1String("&#"));
        if (!imageSearch)
            s.replace(QLatin1Char('&'), QLatin1String("and"));
        s.remove(QLatin1Char('?'));
        s.remove(QLatin1Char('/'));
        s.remove(QLatin1Char('\''));
        return s.simplified();
    };

    switch (source) {
    case SourceShopUS:
    case SourceShopUK:
    case SourceShopDE:
    case SourceShopFR:
    case SourceShopJP:
    case SourceShopCA: {
        static const char *const countries[] = {"US", "UK", "DE", "FR", "JP", "CA"};
        if (m_shopRoot.isEmpty())
            return QString();
        return m_shopRoot + QLatin1String("/amazonsearch.aspx?artist=") + encode(clean(a)) +
               QLatin1String("&title=") + encode(clean(t)) + QLatin1String("&dest=") +
               QLatin1String(countries[source - SourceShopUS]);
    }
    case SourceImageSearchSafe:
    case SourceImageSearch: {
        if (m_imageRoot.isEmpty())
            return QString();
        QString query = a;
        if (!t.isEmpty()) {
            query += QLatin1Char(' ');
            query += source == SourceImageSearchSafe ? QLatin1Char('"') + t + QLatin1Char('"') : t;
        }
        return m_imageRoot + QLatin1String("/images?q=") + encodePlus(clean(query)) +
               (source == SourceImageSearchSafe
                    ? QLatin1String("&hl=en&lr=&start=&sa=N&safe=on&filter=0&imgw=300&imgh=300")
                    : QLatin1String("&hl=en&lr=&start=&sa=N&safe=off&filter=0"));
    }
    case SourceTrackInfo:
        if (m_trackInfoRoot.isEmpty())
            return QString();
        return m_trackInfoRoot + QLatin1String("/2.0/?method=track.getinfo&api_key=") +
               QLatin1String(TrackInfoKey) + QLatin1String("&artist=") + encode(clean(a)) +
               QLatin1String("&track=") + encode(clean(t));
    case SourceCustom: {
        if (m_customAddress.isEmpty())
            return QString();
        QString address = m_customAddress;
        address.replace(QLatin1String("{1}"), encodePlus(clean(a)));
        address.replace(QLatin1String("{2}"), encodePlus(clean(t)));
        return address;
    }
    default:
        return QString();
    }
}

QString CoverArt::NormalizeName(const QString &text) const
{
    QString s = text.simplified();
    s.replace(QLatin1Char('&'), QLatin1String(" and "));
    s = s.simplified();
    // A page is about the first artist of a collaboration.
    for (const char *marker : {" with ", " feat. ", " featuring ", " ft. "}) {
        const qsizetype at = s.indexOf(QLatin1String(marker), 0, Qt::CaseInsensitive);
        if (at > 0)
            s.truncate(at);
    }
    // Station lists often file "The Name" as "Name, The".
    if (s.size() > 5 && s.endsWith(QLatin1String(", the"), Qt::CaseInsensitive))
        s = QLatin1String("The ") + s.left(s.size() - 5).trimmed();
    return s.trimmed();
}

// ---------------------------------------------------------------------------------------------
// Downloads

bool CoverArt::IsDownloading(int kind, const Song &song) const
{
    for (const auto &entry : m_downloads) {
        const DownloadInfo &d = *entry.second;
        if (d.kind == kind && d.song.artist() == song.artist() && d.song.title() == song.title())
            return true;
    }
    return false;
}

DownloadInfo *CoverArt::FindDownload(int id) const
{
    const auto it = m_downloads.find(id);
    return it == m_downloads.end() ? nullptr : it->second.get();
}

void CoverArt::RemoveDownload(int id)
{
    m_downloads.erase(id);
}

int CoverArt::startDownload(const QString &address, int kind, const Song &song, int redirects)
{
    // Request ids are hashes of the address: one address is fetched once at a time, and never
    // while the report of an abandoned transfer of it is still on its way.
    const int expected = addressHash(address);
    if (m_downloads.count(expected) || m_abandoned.contains(expected)) {
        qCDebug(lcCover).noquote() << "CoverArt::startDownload already fetching" << maskedAddress(address);
        return 0;
    }
    const int id = m_http->get(address);
    if (id == 0) {
        qCDebug(lcCover).noquote() << "CoverArt::startDownload" << m_http->errorText();
        return 0;
    }
    auto download = std::make_unique<DownloadInfo>(song, kind);
    download->redirects = redirects;
    download->deadline = new QTimer(this);
    download->deadline->setSingleShot(true);
    download->deadline->setInterval(m_lookupTimeoutMs);
    DownloadInfo *raw = download.get();
    // The id changes when the transfer is redirected: look the record up when the time is over.
    connect(download->deadline, &QTimer::timeout, this, [this, raw] {
        for (const auto &entry : m_downloads)
            if (entry.second.get() == raw) {
                deadlineReached(entry.first);
                return;
            }
    });
    download->deadline->start();
    m_downloads[id] = std::move(download);
    return id;
}

void CoverArt::abandon(std::initializer_list<int> kinds)
{
    for (auto it = m_downloads.begin(); it != m_downloads.end();) {
        const int kind = it->second->kind;
        if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) {
            ++it;
            continue;
        }
        m_abandoned.append(it->first);
        m_http->abort(it->first);
        it = m_downloads.erase(it);
    }
    for (const int kind : kinds) {
        if (kind == DownloadInfo::AlbumSearch || kind == DownloadInfo::ImageDownload)
            ++m_coverGen;
        else if (kind == DownloadInfo::LyricsPage)
            ++m_lyricsGen;
        else
            ++m_artistGen;
    }
}

void CoverArt::Stop()
{
    qCDebug(lcCover) << "CoverArt::Stop";
    ++m_coverGen;
    ++m_lyricsGen;
    ++m_artistGen;
    m_downloads.clear();
    m_abandoned.clear();
    m_artistPages.clear();
    // A fresh client: whatever the old one still has on its way is never heard of.
    QHttpExt *old = m_http;
    old->disconnect(this);
    old->abortAll();
    old->deleteLater();
    createClient();
}

void CoverArt::slot_redirect(int oldId, int newId)
{
    const auto it = m_downloads.find(oldId);
    if (it == m_downloads.end())
        return;
    std::unique_ptr<DownloadInfo> download = std::move(it->second);
    m_downloads.erase(it);
    if (m_downloads.count(newId)) {
        // Redirected to an address that is already being fetched: that download answers for both.
        qCDebug(lcCover) << "CoverArt::slot_redirect to an address already fetched";
        downloadEnded(std::move(download), true, QByteArray(), QUrl());
        return;
    }
    m_downloads[newId] = std::move(download);
}

void CoverArt::deadlineReached(int id)
{
    const auto it = m_downloads.find(id);
    if (it == m_downloads.end())
        return;
    std::unique_ptr<DownloadInfo> download = std::move(it->second);
    m_downloads.erase(it);
    qCDebug(lcCover) << "CoverArt: no answer within" << m_lookupTimeoutMs << "ms, http id" << id;
    m_abandoned.append(id);
    m_http->abort(id);
    downloadEnded(std::move(download), true, QByteArray(), QUrl());
}

void CoverArt::slot_coverArtFinished(const QHttpExt::httpInfo *info)
{
    qCDebug(lcCover) << "slot_coverArtFinished http id " << info->id;
    const auto it = m_downloads.find(info->id);
    if (it == m_downloads.end()) {
        // The report of a download that was abandoned (another song, a deadline): its lookup has
        // already gone on without it.
        m_abandoned.removeOne(info->id);
        qCDebug(lcCover) << "DownloadInfo not found for http id " << info->id;
        return;
    }
    if (m_abandoned.removeOne(info->id)) {
        // An abandoned transfer of the same address reports before the one now remembered.
        qCDebug(lcCover) << "CoverArt: report of an abandoned transfer, http id" << info->id;
        return;
    }
    std::unique_ptr<DownloadInfo> download = std::move(it->second);
    m_downloads.erase(it);
    if (info->failed)
        qCDebug(lcCover).noquote() << "slot_coverArtFinished Error: " << download->kind << info->error;
    downloadEnded(std::move(download), info->failed, info->failed ? QByteArray() : info->data, info->url);
}

void CoverArt::downloadEnded(std::unique_ptr<DownloadInfo> download, bool failed, const QByteArray &body,
                             const QUrl &url)
{
    if (download->deadline)
        download->deadline->stop();
    switch (download->kind) {
    case DownloadInfo::AlbumSearch: {
        const quint64 gen = m_coverGen;
        m_candidates.clear();
        m_candidateIndex = 0;
        ParseAlbumReply(*download, body);
        if (gen != m_coverGen)
            return;
        if (DownloadNextImage() || gen != m_coverGen)
            return;
        lookupNextSource();
        break;
    }
    case DownloadInfo::ImageDownload: {
        QString error = QStringLiteral("download failed");
        const QImage image = failed ? QImage() : CoverReplies::decodeImage(body, &error);
        if (!image.isNull() && m_candidateIndex < m_candidates.size()) {
            m_candidates[m_candidateIndex].image = image;
            m_current = m_candidates.at(m_candidateIndex);
            m_image = image;
            finishCover(true);
            return;
        }
        qCDebug(lcCover).noquote() << "CoverArt: candidate" << m_candidateIndex << "unusable:" << error;
        const quint64 gen = m_coverGen;
        ++m_candidateIndex;
        if (DownloadNextImage() || gen != m_coverGen)
            return;
        lookupNextSource();
        break;
    }
    case DownloadInfo::LyricsPage:
        ParseLyrics(*download, body);
        break;
    case DownloadInfo::ArtistInfoPage:
        ParseArtistInfo(*download, body, url);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Cover lookup

void CoverArt::DownloadAlbumInfo(const Song &song)
{
    if (!m_http || song.IsEmpty())
        return;
    if (IsDownloading(DownloadInfo::AlbumSearch, song) || IsDownloading(DownloadInfo::ImageDownload, song)) {
        qCDebug(lcCover).noquote() << "CoverArt::DownloadAlbumInfo already looking up" << song.DisplayText();
        return;
    }
    abandon({DownloadInfo::AlbumSearch, DownloadInfo::ImageDownload});
    const quint64 gen = m_coverGen;
    m_lookupSong = song;
    m_sourcePos = 0;
    m_candidates.clear();
    m_candidateIndex = 0;
    m_current = AlbumInfo();
    m_image = QImage();

    emitProcess(LookupStarted);
    if (gen != m_coverGen)
        return;
    qCDebug(lcCover) << "Start DownloadAlbumInfo\n";
    emitStatus(StatusSearchingCover);
    if (gen != m_coverGen)
        return;
    lookupNextSource();
}

void CoverArt::lookupNextSource()
{
    while (m_sourcePos < m_sourceOrder.size()) {
        const int source = m_sourceOrder.at(m_sourcePos++);
        const QString address = BuildLookupUrl(source, m_lookupSong.artist(), m_lookupSong.title());
        if (address.isEmpty())
            continue;
        m_candidates.clear();
        m_candidateIndex = 0;
        Song song(m_lookupSong);
        song.setCoverArtSource(source);
        qCDebug(lcCover).noquote() << "CoverArt::lookupNextSource" << source << maskedAddress(address);
        if (startDownload(address, DownloadInfo::AlbumSearch, song))
            return;
    }
    finishCover(false);
}

void CoverArt::finishCover(bool found)
{
    const quint64 gen = m_coverGen;
    if (!found) {
        m_current = AlbumInfo();
        m_image = QImage();
    }
    emitStatus(found ? StatusCoverFound : StatusCoverNotFound);
    if (gen != m_coverGen)
        return;
    emitProcess(found ? ImageReady : CoverNotFound);
    if (gen != m_coverGen)
        return;
    emitProcess(LookupEnded);
}

bool CoverArt::DownloadNextImage()
{
    const quint64 gen = m_coverGen;
    for (; m_candidateIndex < m_candidates.size(); ++m_candidateIndex) {
        const QString address = m_candidates.at(m_candidateIndex).imageUrl();
        if (address.isEmpty())
            continue;
        emitProcess(ImageRequested);
        if (gen != m_coverGen)
            return false;
        if (startDownload(address, DownloadInfo::ImageDownload, m_lookupSong))
            return true;
    }
    return false;
}

void CoverArt::AddCandidate(const AlbumInfo &candidate)
{
    if (m_candidates.size() < CoverReplies::MaxCandidates)
        m_candidates.append(candidate);
}

void CoverArt::ParseAlbumReply(const DownloadInfo &download, const QByteArray &body)
{
    const QString songText = download.song.DisplayText();
    switch (download.song.coverArtSource()) {
    case SourceShopUS:
    case SourceShopUK:
    case SourceShopDE:
    case SourceShopFR:
    case SourceShopJP:
    case SourceShopCA:
        ParseAmazonService(body);
        break;
    case SourceImageSearchSafe:
    case SourceImageSearch:
        ParseGoogleImages(body, songText);
        break;
    case SourceTrackInfo:
        ParseLastFMImages(body);
        break;
    case SourceCustom:
        ParseCustomImages(body, songText);
        break;
    default:
        break;
    }
}

void CoverArt::ParseAmazonService(const QByteArray &body)
{
    qCDebug(lcCover) << "Start ParseAmazonService\n";
    for (const AlbumInfo &candidate : CoverReplies::readAmazonService(body)) {
        qCDebug(lcCover) << "ParseAmazonService Found!";
        for (auto disc = candidate.tracks.cbegin(); disc != candidate.tracks.cend(); ++disc)
            qCDebug(lcCover) << "Track Found!" << disc.key() << disc.value().size();
        AddCandidate(candidate);
    }
    qCDebug(lcCover) << "End ParseAmazonService";
}

void CoverArt::ParseGoogleImages(const QByteArray &body, const QString &songText)
{
    qCDebug(lcCover) << "Start ParseGoogleImages";
    const QList<AlbumInfo> found = CoverReplies::readGoogleImages(bodyText(body), songText);
    for (const AlbumInfo &candidate : found)
        AddCandidate(candidate);
    qCDebug(lcCover).noquote() << "End ParseGoogleImages URL="
                               << (found.isEmpty() ? QString() : found.constLast().largeImageUrl);
}

void CoverArt::ParseLastFMImages(const QByteArray &body)
{
    qCDebug(lcCover) << "Start ParseLastFMImages";
    const QList<AlbumInfo> found = CoverReplies::readLastFMImages(body);
    if (found.isEmpty())
        qCDebug(lcCover) << "ParseLastFM Failed";
    for (const AlbumInfo &candidate : found)
        AddCandidate(candidate);
}

void CoverArt::ParseCustomImages(const QByteArray &body, const QString &songText)
{
    qCDebug(lcCover) << "Start ParseCustomImages";
    const QList<AlbumInfo> found = CoverReplies::readCustomImages(body, songText);
    if (found.isEmpty())
        qCDebug(lcCover) << "ParseCustomImages Failed";
    for (const AlbumInfo &candidate : found)
        AddCandidate(candidate);
    qCDebug(lcCover) << "End ParseCustomImages";
}

// ---------------------------------------------------------------------------------------------
// Lyrics

void CoverArt::DownloadLyrics(const Song &song)
{
    if (!m_http || song.IsEmpty() || IsDownloading(DownloadInfo::LyricsPage, song))
        return;
    abandon({DownloadInfo::LyricsPage});
    const quint64 gen = m_lyricsGen;
    m_lyrics.clear();

    // "&" is spelled "and" in the site's page names.
    auto part = [](QString s) {
        s.remove(QLatin1String("&#"));
        s.replace(QLatin1Char('&'), QLatin1String("and"));
        return s.simplified();
    };
    const QString artist = part(song.artist());
    const QString title = part(song.title());
    QString address;
    if (!m_lyricsRoot.isEmpty() && !artist.isEmpty() && !title.isEmpty())
        address = m_lyricsRoot + QLatin1Char('/') + encode(artist) + QLatin1Char('/') + encode(title) +
                  QLatin1String("-Lyrics.html");

    emitStatus(StatusSearchingLyrics);
    if (gen != m_lyricsGen)
        return;
    emitProcess(LyricsStarted);
    if (gen != m_lyricsGen)
        return;
    qCDebug(lcCover).noquote() << "Start Download Lyrics " << address;
    if (!address.isEmpty() && startDownload(address, DownloadInfo::LyricsPage, song))
        return;
    emitStatus(StatusLyricsNotFound);
    if (gen != m_lyricsGen)
        return;
    emitProcess(LyricsReady);
}

void CoverArt::ParseLyrics(const DownloadInfo &, const QByteArray &body)
{
    qCDebug(lcCover) << "Start Parse Lyrics";
    const quint64 gen = m_lyricsGen;
    m_lyrics = CoverReplies::readLyrics(bodyText(body));
    if (!m_lyrics.isEmpty())
        qCDebug(lcCover) << "Lyrics Found";
    emitStatus(m_lyrics.isEmpty() ? StatusLyricsNotFound : StatusLyricsFound);
    if (gen != m_lyricsGen)
        return;
    emitProcess(LyricsReady);
    qCDebug(lcCover) << "End Parse Lyrics";
}

// ---------------------------------------------------------------------------------------------
// Artist information

void CoverArt::DownloadArtistInfoFor(const Song &song)
{
    if (!m_http || song.artist().trimmed().isEmpty() || IsDownloading(DownloadInfo::ArtistInfoPage, song))
        return;
    const QString name = NormalizeName(song.artist());
    QStringList pages;
    if (!m_artistWikiRoot.isEmpty())
        pages << m_artistWikiRoot + QLatin1String("/music/") + encodePlus(name) + QLatin1String("/+wiki");
    if (!m_artistInfoRoot.isEmpty())
        pages << m_artistInfoRoot + QLatin1String("/artist/") + encode(name);
    beginArtist(song, pages);
}

void CoverArt::DownloadArtistInfo(const Song &song, const QString &address)
{
    if (!m_http || IsDownloading(DownloadInfo::ArtistInfoPage, song))
        return;
    // Links to artist pages may come from fetched pages: only web addresses are followed; any
    // other ends as "nothing found".
    const QString page = safeUrl(address);
    if (page.isEmpty())
        qCDebug(lcCover).noquote() << "CoverArt::DownloadArtistInfo not a web address:"
                                   << maskedAddress(address);
    beginArtist(song, page.isEmpty() ? QStringList() : QStringList{page});
}

void CoverArt::beginArtist(const Song &song, const QStringList &pages)
{
    abandon({DownloadInfo::ArtistInfoPage});
    const quint64 gen = m_artistGen;
    m_artistSong = song;
    m_artistPages = pages;
    m_artistText.clear();
    m_artistHtml.clear();
    emitStatus(StatusSearchingArtist);
    if (gen != m_artistGen)
        return;
    emitProcess(ArtistInfoStarted);
    if (gen != m_artistGen)
        return;
    startArtistPage();
}

void CoverArt::startArtistPage()
{
    while (!m_artistPages.isEmpty()) {
        const QString address = m_artistPages.takeFirst();
        qCDebug(lcCover).noquote() << "Start Download Artist Info " << maskedAddress(address);
        if (startDownload(address, DownloadInfo::ArtistInfoPage, m_artistSong))
            return;
    }
    finishArtist();
}

void CoverArt::ParseArtistInfo(const DownloadInfo &download, const QByteArray &body, const QUrl &pageUrl)
{
    qCDebug(lcCover) << "Start Parse Artist Info";
    const CoverReplies::ArtistPage page = CoverReplies::readArtistPage(bodyText(body));
    if (!page.redirect.isEmpty()) {
        qCDebug(lcCover) << "Artist Info Redirecting...";
        const QString target = safeUrl(pageUrl.resolved(QUrl(page.redirect, QUrl::TolerantMode)).toString());
        if (!target.isEmpty() && download.redirects < MaxPageRedirects) {
            qCDebug(lcCover).noquote() << "Artist info redirecting to" << maskedAddress(target);
            if (startDownload(target, DownloadInfo::ArtistInfoPage, download.song, download.redirects + 1))
                return;
        }
    }
    if (!page.text.isEmpty()) {
        qCDebug(lcCover) << "Artist Info Found";
        m_artistText = page.text;
        finishArtist();
        return;
    }
    startArtistPage();
}

QString CoverArt::notFoundPage(const QString &artist) const
{
    QString html = QLatin1String("<html><b>") + tr("Nothing found about") + QLatin1Char(' ') +
                   artist.toHtmlEscaped() + QLatin1String("</b><br>");
    if (!m_webSearchRoot.isEmpty()) {
        const QString href = m_webSearchRoot + QLatin1String("/search?q=") + encodePlus(artist);
        html += QLatin1String("<a href=\"") + href.toHtmlEscaped() + QLatin1String("\">") +
                tr("Click here to search Google in your default browser") + QLatin1String("</a>");
    }
    return html + QLatin1String("</html>");
}

void CoverArt::finishArtist()
{
    const quint64 gen = m_artistGen;
    if (m_artistText.isEmpty()) {
        qCDebug(lcCover) << "Artist Info Not Found";
        m_artistHtml = notFoundPage(m_artistSong.artist().simplified());
    } else {
        m_artistHtml = QLatin1String("<html>") + plainToHtml(m_artistText) + QLatin1String("</html>");
    }
    emitStatus(StatusArtistFinished);
    if (gen != m_artistGen)
        return;
    emitProcess(ArtistInfoReady);
    qCDebug(lcCover) << "End Parse Artist Info";
}

} // namespace BASS
