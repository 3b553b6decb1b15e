#pragma once

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QPixmap>
#include <QSharedPointer>
#include <QString>

class QSaveFile;
class QXmlStreamReader;
class QXmlStreamWriter;

namespace BASS {

// One recognised song: what it is, where it was heard, its shop link and cover. The element of the
// track history and of the wish list; copying copies every field, the cover included.
class TrackInfo : public QObject
{
    Q_OBJECT
public:
    explicit TrackInfo(QObject *parent = nullptr);
    TrackInfo(const TrackInfo &other);
    TrackInfo &operator=(const TrackInfo &other);
    ~TrackInfo() override;

    QPixmap cover() const { return m_cover; }
    void setCover(const QPixmap &cover) { m_cover = cover; }
    bool hasCover() const { return !m_cover.isNull(); }
    void clearCover() { m_cover = QPixmap(); }

    QString trackName() const { return m_trackName; }
    void setTrackName(const QString &v) { m_trackName = v; }
    QString trackStation() const { return m_trackStation; }
    void setTrackStation(const QString &v) { m_trackStation = v; }
    QString trackURL() const { return m_trackURL; }
    void setTrackURL(const QString &v) { m_trackURL = v; }
    QString trackFile() const { return m_trackFile; }
    void setTrackFile(const QString &v) { m_trackFile = v; }
    QString trackGenre() const { return m_trackGenre; }
    void setTrackGenre(const QString &v) { m_trackGenre = v; }
    QString trackPreview() const { return m_trackPreview; }
    void setTrackPreview(const QString &v) { m_trackPreview = v; }
    QDateTime trackDateTime() const { return m_trackDateTime; }
    void setTrackDateTime(const QDateTime &v) { m_trackDateTime = v; }
    quint32 trackId() const { return m_trackId; }
    void setTrackId(quint32 id) { m_trackId = id; }

    bool isWishListed() const { return m_wishListed; }
    void setWishListed(bool on) { m_wishListed = on; }
    bool isEmpty() const { return m_trackName.isEmpty(); }

    // The id is a hash of the current local time as text: two tracks made within one second
    // share it, so the lists make ids unique where they insert (see uniqueId()).
    void assignNewId();
    static quint32 hashId(const QString &text);

    void writeXml(QXmlStreamWriter &writer) const;
    // Positioned after the start of a "track" element; reads up to its end element.
    void readXml(QXmlStreamReader &reader);

private:
    QPixmap m_cover;
    QString m_trackName;
    QString m_trackStation;
    QString m_trackURL;
    QString m_trackFile;
    QString m_trackGenre;
    QString m_trackPreview;
    QDateTime m_trackDateTime;
    quint32 m_trackId = 0;
    bool m_wishListed = false;
};

using TrackPtr = QSharedPointer<TrackInfo>;
using TrackList = QList<TrackPtr>;
using TrackMap = QMap<quint32, TrackPtr>;

// The first record of the list with that id, or null. Id 0 stands for no track.
TrackPtr findTrack(const TrackList &list, quint32 id);
// `wanted` when it is neither 0 nor used by the list or the map, otherwise the next free id
// (wrapping past the top, skipping 0), so that a collision never makes two tracks one.
quint32 uniqueId(quint32 wanted, const TrackList &list, const TrackMap &map);

// Outcome of reading a wish-list file.
struct WishListLoad
{
    bool opened = false; // false: the file could not be opened, the map is unchanged
    bool malformed = false;
    QString backupPath; // where an unreadable file was kept, when it was malformed
    QString errorText;  // the parser's message for a malformed file
};

// Reads the records of a wish-list file into the map (a later record with the same id replaces
// an earlier one). A malformed file keeps what was read before the error and is copied beside
// itself as "<name>.unreadable-<time>" so that the next save does not lose the rest for good.
bool loadWishList(const QString &path, TrackMap &map, WishListLoad *outcome = nullptr);

// Writes every non-empty wish-listed record of the map, in map order. The old file stays whole
// unless the new one was written completely; on failure `errorText` holds the reason.
bool saveWishList(const QString &path, const TrackMap &map, QString *errorText = nullptr);
// The same through a save file the caller made (its name set, not yet open).
bool saveWishList(QSaveFile &file, const TrackMap &map, QString *errorText = nullptr);
// The document as saveWishList writes it.
QByteArray wishListDocument(const TrackMap &map);

} // namespace BASS
