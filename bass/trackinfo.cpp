#include "trackinfo.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace BASS {

namespace {
// A wish list of thousands of songs is well under a megabyte; anything far larger is not ours.
constexpr qint64 MaxWishListBytes = 16 * 1024 * 1024;
} // namespace

TrackInfo::TrackInfo(QObject *parent)
    : QObject(parent)
{
    qDebug() << "TrackInfo::TrackInfo";
}

TrackInfo::TrackInfo(const TrackInfo &other)
    : QObject(nullptr)
{
    qDebug() << "TrackInfo::TrackInfo";
    *this = other;
}

TrackInfo &TrackInfo::operator=(const TrackInfo &other)
{
    if (this == &other)
        return *this;
    m_cover = other.m_cover;
    m_trackName = other.m_trackName;
    m_trackStation = other.m_trackStation;
    m_trackURL = other.m_trackURL;
    m_trackFile = other.m_trackFile;
    m_trackGenre = other.m_trackGenre;
    m_trackPreview = other.m_trackPreview;
    m_trackDateTime = other.m_trackDateTime;
    m_trackId = other.m_trackId;
    m_wishListed = other.m_wishListed;
    return *this;
}

TrackInfo::~TrackInfo()
{
    qDebug() << "TrackInfo::~TrackInfo";
}

quint32 TrackInfo::hashId(const QString &text)
{
    quint32 hash = 0;
    for (const QChar c : text)
        hash = hash * 101u + quint32(qint32(qint8(quint8(c.unicode() & 0xff))));
    return hash;
}

void TrackInfo::assignNewId()
{
    m_trackId = hashId(QDateTime::currentDateTime().toString(Qt::TextDate));
}

void TrackInfo::writeXml(QXmlStreamWriter &writer) const
{
    writer.writeStartElement(QStringLiteral("track"));
    writer.writeTextElement(QStringLiteral("trackId"), QString::number(m_trackId));
    writer.writeTextElement(QStringLiteral("trackName"), m_trackName);
    writer.writeTextElement(QStringLiteral("trackURL"), m_trackURL);
    writer.writeTextElement(QStringLiteral("trackStation"), m_trackStation);
    writer.writeTextElement(QStringLiteral("trackFile"), m_trackFile);
    writer.writeTextElement(QStringLiteral("trackGenre"), m_trackGenre);
    writer.writeTextElement(QStringLiteral("trackDateTime"), m_trackDateTime.toString(Qt::TextDate));
    writer.writeTextElement(QStringLiteral("trackPreview"), m_trackPreview);
    writer.writeTextElement(QStringLiteral("WishList"),
                            m_wishListed ? QStringLiteral("yes") : QStringLiteral("no"));
    writer.writeEndElement();
}

void TrackInfo::readXml(QXmlStreamReader &reader)
{
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement() && reader.name() == QLatin1String("track"))
            return;
        if (!reader.isStartElement())
            continue;
        const QString name = reader.name().toString();
        // Nested elements inside a field make the document malformed rather than being merged.
        const QString text = reader.readElementText();
        if (reader.hasError())
            return;
        if (name == QLatin1String("trackId")) {
            bool ok = false;
            const quint32 id = text.trimmed().toUInt(&ok);
            m_trackId = ok ? id : 0; // an unreadable or overflowing id is no id
        } else if (name == QLatin1String("trackName")) {
            m_trackName = text;
        } else if (name == QLatin1String("trackURL")) {
            m_trackURL = text;
        } else if (name == QLatin1String("trackStation")) {
            m_trackStation = text;
        } else if (name == QLatin1String("trackFile")) {
            m_trackFile = text;
        } else if (name == QLatin1String("trackGenre")) {
            m_trackGenre = text;
        } else if (name == QLatin1String("trackPreview")) {
            m_trackPreview = text;
        } else if (name == QLatin1String("trackDateTime")) {
            m_trackDateTime = QDateTime::fromString(text, Qt::TextDate);
        } else if (name == QLatin1String("WishList")) {
            m_wishListed = text == QLatin1String("yes");
        }
    }
}

TrackPtr findTrack(const TrackList &list, quint32 id)
{
    if (id == 0)
        return {};
    for (const TrackPtr &track : list)
        if (track && track->trackId() == id)
            return track;
    return {};
}

quint32 uniqueId(quint32 wanted, const TrackList &list, const TrackMap &map)
{
    quint32 id = wanted;
    // At most list + map + 1 probes: each taken id can block only one candidate.
    for (qsizetype i = 0; i <= list.size() + map.size() + 1; ++i) {
        if (id != 0 && !map.contains(id) && !findTrack(list, id))
            return id;
        ++id;
    }
    return id;
}

bool loadWishList(const QString &path, TrackMap &map, WishListLoad *outcome)
{
    WishListLoad result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        if (outcome)
            *outcome = result;
        return false;
    }
    result.opened = true;

    QXmlStreamReader reader;
    if (file.size() > MaxWishListBytes) {
        reader.raiseError(QStringLiteral("file too large"));
    } else {
        reader.setDevice(&file);
        while (!reader.atEnd() && !reader.hasError()) {
            reader.readNext();
            if (reader.isStartElement() && reader.name() == QLatin1String("track")) {
                auto track = TrackPtr::create();
                track->readXml(reader);
                if (reader.hasError())
                    break; // a record cut short is not kept half-read
                if (track->trackId() == 0)
                    track->setTrackId(uniqueId(TrackInfo::hashId(track->trackName()), {}, map));
                map.insert(track->trackId(), track);
            }
        }
    }
    if (reader.hasError()) {
        result.malformed = true;
        result.errorText = reader.errorString();
        file.close();
        const QString backup = path + QStringLiteral(".unreadable-") +
                               QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
        if (QFile::copy(path, backup))
            result.backupPath = backup;
        qWarning() << "loadWishList: malformed wish list" << path << result.errorText << "kept as" << backup;
    }
    if (outcome)
        *outcome = result;
    return true;
}

QByteArray wishListDocument(const TrackMap &map)
{
    QByteArray bytes;
    QXmlStreamWriter writer(&bytes);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("tracks"));
    for (const TrackPtr &track : map)
        if (track && !track->isEmpty() && track->isWishListed())
            track->writeXml(writer);
    writer.writeEndElement();
    writer.writeEndDocument();
    return bytes;
}

bool saveWishList(QSaveFile &file, const TrackMap &map, QString *errorText)
{
    const QByteArray bytes = wishListDocument(map);
    auto fail = [&](const QString &why) {
        file.cancelWriting();
        if (errorText)
            *errorText = why;
        qWarning() << "saveWishList:" << file.fileName() << why;
        return false;
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return fail(file.errorString());
    // A full disk can accept part of a write without an error: anything short is a failure.
    const qint64 written = file.write(bytes);
    if (written != bytes.size())
        return fail(written < 0 ? file.errorString()
                                : QStringLiteral("Only %1 of %2 bytes could be written (disk full?)")
                                      .arg(written)
                                      .arg(bytes.size()));
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

bool saveWishList(const QString &path, const TrackMap &map, QString *errorText)
{
    QSaveFile file(path);
    return saveWishList(file, map, errorText);
}

} // namespace BASS
