#pragma once

#include "httpblocking.h"
#include "song.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <map>
#include <memory>

class QTimer;

namespace BASS {

// One cover candidate found by a lookup. Every text is plain text as the service sent it (never
// markup): whoever shows it as HTML escapes it. Addresses are http or https only.
struct AlbumInfo
{
    QString smallImageUrl;
    QString mediumImageUrl;
    QString largeImageUrl;
    QString detailPageUrl; // the shop or service page of the album ("Buy song/album")
    QString previewUrl;
    QString artist;
    QString title; // the album title
    QString releaseDate;
    QString formattedPrice;
    QString genre;
    QMap<int, QMap<int, QString>> tracks; // disc number -> track number -> track title
    QString text;                         // the song's display text, or the service's description
    QImage image;                         // the decoded cover, on the candidate that delivered it

    // The address tried for the cover: the large image, else the medium, else the small one.
    QString imageUrl() const;
    bool hasImage() const { return !image.isNull(); }
};

// One outstanding download of a CoverArt object.
struct DownloadInfo
{
    enum Kind
    {
        AlbumSearch = 1,   // a cover search on one source
        ImageDownload = 2, // a candidate's image
        LyricsPage = 3,
        ArtistInfoPage = 4
    };

    DownloadInfo(const Song &s, int k);
    ~DownloadInfo();
    DownloadInfo(const DownloadInfo &) = delete;
    DownloadInfo &operator=(const DownloadInfo &) = delete;

    Song song; // a copy; for a cover search its cover-art source is the source asked
    int kind = 0;
    int redirects = 0;          // page redirects (meta refresh) followed to reach this page
    QTimer *deadline = nullptr; // ends the download as failed when the service takes too long
};

// Readers of the services' replies. Each takes an untrusted body of at most MaxReplyBytes, stays
// linear in its size and survives any input (truncated, malformed, hostile); the texts they
// return are plain text, the addresses http or https.
namespace CoverReplies {
constexpr qsizetype MaxReplyBytes = 4 * 1024 * 1024;
constexpr int MaxCandidates = 50;
constexpr qsizetype MaxTextChars = 64 * 1024; // lyrics, artist texts and descriptions
constexpr int MaxImageSide = 4096;            // pixels, either side of a cover

// The shop-search proxy's XML: one candidate per "Item" with an image.
QList<AlbumInfo> readAmazonService(const QByteArray &xml);
// An image-search result page: up to four ".jpg" addresses (http or https), each once.
QList<AlbumInfo> readGoogleImages(const QString &html, const QString &songText);
// The web service's track information: one candidate; its placeholder images are not used.
QList<AlbumInfo> readLastFMImages(const QByteArray &xml);
// The song search's JSON ({"results": [...]}), as the directory service answers it.
QList<AlbumInfo> readCustomImages(const QByteArray &json, const QString &songText);

// The lyrics of a lyrics page, from the td element of class "td1" up to "</table>"; "" when
// the page has none.
QString readLyrics(const QString &html);

struct ArtistPage
{
    QString text;     // the artist text, "" when the page has none
    QString redirect; // the address of a meta refresh, as written in the page
};
// An artist page: the div with id "wiki" up to "</div>", or the element with id
// "staticSideBarContents" up to the first element styled "display: none".
ArtistPage readArtistPage(const QString &html);

// The text of an HTML fragment: tags removed (scripts and styles with their content), line and
// paragraph breaks kept as '\n' and "\n\n", entities decoded, blanks collapsed, at most
// MaxTextChars characters.
QString htmlToPlainText(QStringView html);

// Decodes a downloaded cover with a size cap (no side over MaxImageSide, a bounded allocation);
// a null image and the reason when it cannot be used.
QImage decodeImage(const QByteArray &bytes, QString *error = nullptr);
} // namespace CoverReplies

// Looks up an album cover for the song that is playing, downloads and decodes it, and fetches the
// song's lyrics and a text about its artist. All on the GUI thread, through one QHttpExt.
//
// The services are configuration: the owner sets each service root (scheme, host and port, e.g.
// "https://covers.example.org"; this library reads no settings) and the address of the directory
// service's own song search, with "{1}" and "{2}" left open for the artist and the title. The
// channel's owner fills them from the "endpoints/*" settings and from the directory client's song
// search link for the playing station. A source or page whose root is not set is skipped.
//
// A cover lookup tries the sources of sourceOrder() one after the other until one delivers a
// decodable image: each source's reply gives a list of candidates, whose images are tried in
// order. Every download ends after lookupTimeout() at the latest and a refused connection fails
// at once, so an unreachable service only moves the lookup on to the next source.
//
// What the receivers of sig_coverArtProcess see of one cover lookup:
//   LookupStarted (old cover to be cleared), ImageRequested per candidate image tried, then
//   either ImageReady (CurrentAlbumInfo() holds the candidate and its image) or CoverNotFound,
//   and LookupEnded last, once.
// Lyrics: LyricsStarted, then LyricsReady (LyricsFound() tells the outcome). Artist information:
// ArtistInfoStarted, then ArtistInfoReady (ArtistInfoHtml() is always something to show).
//
// Stop() aborts every outstanding download; nothing is reported for them afterwards. Receivers
// may call any operation, Stop() included, from inside a signal.
class CoverArt : public QObject
{
    Q_OBJECT
public:
    // What a lookup delivered (argument of sig_coverArtProcess).
    enum coverArtType
    {
        LookupStarted = 0,
        LookupEnded = 1,
        ImageRequested = 2,
        ImageReady = 3,
        LyricsStarted = 4,
        LyricsReady = 5,
        ArtistInfoStarted = 6,
        ArtistInfoReady = 7,
        CoverNotFound = 8
    };
    Q_ENUM(coverArtType)

    // Where the lookups stand (argument of sig_statusChanged); StatusText() gives the words.
    enum status
    {
        StatusIdle = 0,
        StatusSearchingCover = 1,
        StatusCoverFound = 2,
        StatusCoverNotFound = 3,
        StatusSearchingLyrics = 4,
        StatusLyricsFound = 5,
        StatusLyricsNotFound = 6,
        StatusSearchingArtist = 7,
        StatusArtistFinished = 8
    };
    Q_ENUM(status)

    // Cover-art sources.
    enum Source
    {
        SourceShopUS = 1, // album search through the shop-search proxy, per country
        SourceShopUK = 2,
        SourceShopDE = 3,
        SourceShopFR = 4,
        SourceShopJP = 5,
        SourceShopCA = 6,
        SourceImageSearchSafe = 8, // image search, safe search on
        SourceImageSearch = 9,     // image search, safe search off
        SourceTrackInfo = 10,      // the music web service's track information
        SourceCustom = 11          // the directory service's song search (custom address)
    };

    static constexpr int DefaultLookupTimeoutMs = 8000;
    static constexpr int MaxPageRedirects = 3;

    explicit CoverArt(QObject *parent = nullptr);
    ~CoverArt() override;

    // Service roots ("" switches a service off).
    void setShopSearchRoot(const QString &root) { m_shopRoot = trimRoot(root); }
    void setImageSearchRoot(const QString &root) { m_imageRoot = trimRoot(root); }
    void setTrackInfoRoot(const QString &root) { m_trackInfoRoot = trimRoot(root); }
    void setLyricsRoot(const QString &root) { m_lyricsRoot = trimRoot(root); }
    void setArtistWikiRoot(const QString &root) { m_artistWikiRoot = trimRoot(root); }
    void setArtistInfoRoot(const QString &root) { m_artistInfoRoot = trimRoot(root); }
    void setWebSearchRoot(const QString &root) { m_webSearchRoot = trimRoot(root); }
    QString shopSearchRoot() const { return m_shopRoot; }
    QString imageSearchRoot() const { return m_imageRoot; }
    QString trackInfoRoot() const { return m_trackInfoRoot; }
    QString lyricsRoot() const { return m_lyricsRoot; }
    QString artistWikiRoot() const { return m_artistWikiRoot; }
    QString artistInfoRoot() const { return m_artistInfoRoot; }
    QString webSearchRoot() const { return m_webSearchRoot; }
    // The song search of the directory service (source 11): a full address in which "{1}" stands
    // for the artist and "{2}" for the title.
    void SetCustomSearchAddress(const QString &address) { m_customAddress = address; }
    QString CustomSearchAddress() const { return m_customAddress; }

    // The sources a cover lookup tries, in order. The default: the directory service's own song
    // search, the shop search (US), the web service's track information, the image search with
    // safe search on. Unknown values are dropped.
    void setSourceOrder(const QList<int> &sources);
    QList<int> sourceOrder() const { return m_sourceOrder; }
    static QList<int> defaultSourceOrder();

    // Longest time one download may take (search, image or page).
    void setLookupTimeout(int ms);
    int lookupTimeout() const { return m_lookupTimeoutMs; }
    // Largest reply or image accepted, in bytes (at most CoverReplies::MaxReplyBytes).
    void setMaxDownloadSize(qint64 bytes);

    static QString StatusText(status st);
    // Translation key of a source's display name ("" for sources without one).
    static QString SourceNameKey(int source);

    // Results.
    QImage Image() const { return m_image; }
    QPixmap Pixmap() const; // needs a GUI application
    // The candidate whose image was found by the last lookup (with its image), else empty.
    AlbumInfo CurrentAlbumInfo() const { return m_current; }
    // The candidates of the source tried last, and the one being tried.
    QList<AlbumInfo> Candidates() const { return m_candidates; }
    int CandidateIndex() const { return m_candidateIndex; }
    QString LyricsText() const { return m_lyrics; } // plain text
    bool LyricsFound() const { return !m_lyrics.isEmpty(); }
    QString ArtistText() const { return m_artistText; } // plain text, "" when nothing was found
    bool ArtistInfoFound() const { return !m_artistText.isEmpty(); }
    // The artist text as HTML ready to show (escaped), or the not-found page.
    QString ArtistInfoHtml() const { return m_artistHtml; }
    // True while a cover lookup (search or image) runs.
    bool IsLookingUp() const;

    // Aborts every outstanding download and forgets it; nothing is reported for it afterwards.
    // Results already delivered stay.
    void Stop();

    // Is a download of this kind running for this song (same artist and title)?
    virtual bool IsDownloading(int kind, const Song &song) const;
    // The search address of a source for an artist and a title; "" for an unknown source or one
    // whose root is not set.
    virtual QString BuildLookupUrl(int source, const QString &artist, const QString &title) const;
    // The artist name for the artist pages: blanks collapsed, "&" written "and", a collaboration
    // ("A with B", "A feat. B") reduced to its first artist and "Name, The" turned into "The Name".
    virtual QString NormalizeName(const QString &text) const;

    // Starts a cover lookup for the song (its cover-art source is not read: the lookup follows
    // sourceOrder()). Does nothing for an empty song or while a lookup for the same song runs; a
    // lookup for another song is abandoned.
    virtual void DownloadAlbumInfo(const Song &song);
    // Fetches the song's lyrics page; a running lyrics download for another song is abandoned.
    virtual void DownloadLyrics(const Song &song);
    // Fetches an artist page at this address.
    virtual void DownloadArtistInfo(const Song &song, const QString &address);
    // Fetches the artist wiki page of the song's artist and, when it has no text, the
    // music-information page.
    virtual void DownloadArtistInfoFor(const Song &song);

signals:
    void sig_coverArtProcess(BASS::CoverArt::coverArtType type);
    void sig_statusChanged(BASS::CoverArt::status st);

public slots:
    void slot_coverArtFinished(const BASS::QHttpExt::httpInfo *info);

protected:
    // Starts the image download of the next candidate that has an image address, from
    // CandidateIndex() on; false when none could be started.
    virtual bool DownloadNextImage();
    virtual void ParseAlbumReply(const DownloadInfo &download, const QByteArray &body);
    virtual void ParseLyrics(const DownloadInfo &download, const QByteArray &body);
    virtual void ParseArtistInfo(const DownloadInfo &download, const QByteArray &body, const QUrl &pageUrl);
    virtual void AddCandidate(const AlbumInfo &candidate);
    virtual void RemoveDownload(int id);
    virtual DownloadInfo *FindDownload(int id) const;
    virtual void ParseAmazonService(const QByteArray &body);
    virtual void ParseGoogleImages(const QByteArray &body, const QString &songText);
    virtual void ParseLastFMImages(const QByteArray &body);
    virtual void ParseCustomImages(const QByteArray &body, const QString &songText);

private slots:
    void slot_redirect(int oldId, int newId);

private:
    static QString trimRoot(const QString &root);
    void createClient();
    // GET address for a download of this kind; the request id, or 0.
    int startDownload(const QString &address, int kind, const Song &song, int redirects = 0);
    void downloadEnded(std::unique_ptr<DownloadInfo> download, bool failed, const QByteArray &body,
                       const QUrl &url);
    void deadlineReached(int id);
    // Aborts and forgets the downloads of these kinds.
    void abandon(std::initializer_list<int> kinds);
    void lookupNextSource();
    void finishCover(bool found);
    void beginArtist(const Song &song, const QStringList &pages);
    void startArtistPage();
    void finishArtist();
    QString notFoundPage(const QString &artist) const;
    void emitProcess(coverArtType type);
    void emitStatus(status st);

    QHttpExt *m_http = nullptr;
    std::map<int, std::unique_ptr<DownloadInfo>> m_downloads;
    // Ids of aborted transfers whose reports have not arrived yet.
    QList<int> m_abandoned;

    QString m_shopRoot;
    QString m_imageRoot;
    QString m_trackInfoRoot;
    QString m_lyricsRoot;
    QString m_artistWikiRoot;
    QString m_artistInfoRoot;
    QString m_webSearchRoot;
    QString m_customAddress;
    QList<int> m_sourceOrder;
    int m_lookupTimeoutMs = DefaultLookupTimeoutMs;
    qint64 m_maxDownloadBytes = CoverReplies::MaxReplyBytes;

    // The cover lookup.
    Song m_lookupSong;
    qsizetype m_sourcePos = 0;
    QList<AlbumInfo> m_candidates;
    int m_candidateIndex = 0;
    AlbumInfo m_current;
    QImage m_image;

    QString m_lyrics;

    // The artist lookup: the pages still to try.
    Song m_artistSong;
    QStringList m_artistPages;
    QString m_artistText;
    QString m_artistHtml;

    // Raised when a flow is abandoned or stopped, so that code running on after a signal whose
    // receiver did so leaves the flow alone.
    quint64 m_coverGen = 0;
    quint64 m_lyricsGen = 0;
    quint64 m_artistGen = 0;
};

} // namespace BASS
