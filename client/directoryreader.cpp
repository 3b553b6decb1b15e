#include "directoryreader.h"

#include "tagscanner.h"

#include <memory>

using BASS::TagScanner;

namespace {

quint32 readNumber(const QString &text)
{
    return text.trimmed().toUInt();
}

// The station's "whatsplaying" block: the artist and the song it names.
void readNowPlaying(TagScanner &s, BASS::Station &station)
{
    s.rewind();
    TagScanner playing(s.findRaw(u"whatsplaying"));
    station.nowPlaying().setArtist(playing.find(u"artist"));
    station.nowPlaying().setTitle(playing.findFirst(u"song"));
}

} // namespace

BASS::StreamFormat DirectoryReader::streamFormat(const QString &type)
{
    QString text;
    if (type == QLatin1String("mp3"))
        text = QStringLiteral("MP3");
    else if (type == QLatin1String("wm"))
        text = QStringLiteral("WMA");
    else if (type == QLatin1String("real"))
        text = QStringLiteral("RealPlayer");
    else if (type == QLatin1String("mp4"))
        text = QStringLiteral("AAC");
    else if (type == QLatin1String("ogg"))
        text = QStringLiteral("OGG");
    else
        text = QStringLiteral("Unknown");
    return BASS::FormatFromText(text);
}

StationPaging DirectoryReader::readStationList(const QString &text, BASS::Station &station,
                                               const std::function<void()> &announce)
{
    StationListProgress progress;
    return finishStationList(text, progress, station, announce);
}

namespace {

// Where the station scan starts: behind the first "limit" element, or at the start when the text
// has none; -1 while a "limit" may still arrive (only when the text is not complete).
qsizetype stationScanStart(const QString &text, bool last)
{
    TagScanner scanner(text);
    scanner.find(u"limit");
    if (scanner.position() > 0 || last)
        return scanner.position();
    return -1;
}

} // namespace

void DirectoryReader::scanStations(const QString &text, StationListProgress &progress, bool last)
{
    if (progress.ended)
        return;
    if (progress.position < 0) {
        progress.position = stationScanStart(text, last);
        if (progress.position < 0)
            return;
    }
    TagScanner scanner(text);
    scanner.setPosition(progress.position);
    for (;;) {
        const qsizetype before = scanner.position();
        const QString stationText = scanner.findRaw(u"station");
        if (stationText.isEmpty()) {
            // An empty station element ends the list as the end of the text does; a station
            // whose end tag has not arrived yet is read with a later piece.
            if (scanner.position() != before || last)
                progress.ended = true;
            break;
        }
        StationListProgress::Pending pending;
        readStation(stationText, pending.station, pending.network);
        progress.stations.push_back(std::move(pending));
    }
    progress.position = scanner.position();
}

void DirectoryReader::readStationsSoFar(const QString &text, StationListProgress &progress)
{
    scanStations(text, progress, false);
}

StationPaging DirectoryReader::finishStationList(const QString &text, StationListProgress &progress,
                                                 BASS::Station &station,
                                                 const std::function<void()> &announce)
{
    StationPaging paging;
    TagScanner scanner(text);
    paging.total = readNumber(scanner.find(u"results_total"));
    paging.limit = readNumber(scanner.findFirst(u"limit"));
    if (paging.limit > 0) {
        paging.pageCount = paging.total / paging.limit;
        paging.remainder = paging.total % paging.limit;
        if (paging.remainder > 0)
            ++paging.pageCount;
    }
    scanStations(text, progress, true);
    for (StationListProgress::Pending &pending : progress.stations) {
        station.reset();
        station = std::move(pending.station);
        resolveNetwork(pending.network, station);
        announce();
        station.reset();
    }
    progress.stations.clear();
    return paging;
}

void DirectoryReader::readStation(const QString &text, BASS::Station &station, StationNetworkRef &network)
{
    TagScanner s(text);

    const QString streams = s.findRaw(u"streams");
    if (!streams.isEmpty()) {
        TagScanner ss(streams);
        bool first = true;
        for (;;) {
            const QString streamText = ss.findRaw(u"stream");
            if (streamText.isEmpty())
                break;
            TagScanner st(streamText);
            BASS::StationStream stream;
            stream.url = st.find(u"url_listen");
            stream.bitrate = readNumber(st.find(u"bitrate"));
            stream.format = streamFormat(st.find(u"type"));
            station.addStream(stream, first);
            first = false;
        }
    }

    s.rewind();
    const QString genres = s.findRaw(u"genres");
    if (!genres.isEmpty()) {
        TagScanner gs(genres);
        QStringList names;
        for (;;) {
            const QString genre = gs.findRaw(u"genre");
            if (genre.isEmpty())
                break;
            names << TagScanner(genre).find(u"name");
        }
        station.setGenres(names.join(QLatin1String(", ")));
    }

    network.website = s.findFirst(u"url_website");
    station.setId(s.findFirst(u"id"));
    station.setName(s.findFirst(u"name"));
    station.setCountry(s.findFirst(u"country_name"));
    station.setLocation(s.findFirst(u"location"));

    readNowPlaying(s, station);

    network.networkId = s.findFirst(u"network_id");
    s.rewind();
    const QString block = s.findRaw(u"network");
    network.hasBlock = !block.isEmpty();
    if (network.hasBlock) {
        TagScanner ns(block);
        network.blockId = ns.find(u"id");
        network.blockName = ns.findFirst(u"name");
        network.blockWebsite = ns.findFirst(u"url_website");
    }

    station.setFavorite(s.findFirst(u"favorite") == QLatin1String("true"));
}

void DirectoryReader::resolveNetwork(const StationNetworkRef &network, BASS::Station &station)
{
    QString website = network.website;
    // A network given only by its id takes what earlier stations taught about it.
    QString networkName;
    if (!network.networkId.isEmpty()) {
        networkName = m_networkNames.value(network.networkId);
        if (website.isEmpty())
            website = m_networkWebsites.value(network.networkId);
    }
    if (network.hasBlock) {
        networkName = network.blockName;
        QString networkWebsite;
        if (website.isEmpty()) {
            networkWebsite = network.blockWebsite;
            website = networkWebsite;
        }
        if (!network.blockId.isEmpty() && !networkName.isEmpty())
            m_networkNames.insert(network.blockId, networkName);
        if (!network.blockId.isEmpty() && !networkWebsite.isEmpty())
            m_networkWebsites.insert(network.blockId, networkWebsite);
    }
    station.setWebsite(website);
    station.setNetwork(networkName);
}

void DirectoryReader::readPlayingNow(const QString &text, BASS::Station &station,
                                     const std::function<void()> &announce)
{
    TagScanner scanner(text);
    for (;;) {
        const QString stationText = scanner.findRaw(u"station");
        if (stationText.isEmpty())
            break;
        station.reset();
        TagScanner s(stationText);
        station.setId(s.find(u"station_id"));
        readNowPlaying(s, station);
        announce();
        station.reset();
    }
}

namespace {

// Name, code and search come in this order; no rewind between them.
void readCountryFields(TagScanner &s, BASS::Country &country)
{
    country.setName(s.find(u"name"));
    country.setCode(s.find(u"code"));
    country.setSearch(s.find(u"search"));
}

} // namespace

void DirectoryReader::readRegionList(const QString &text,
                                     const std::function<void(const BASS::WorldRegion &)> &found)
{
    TagScanner scanner(text);
    for (;;) {
        const QString regionText = scanner.findRaw(u"region");
        if (regionText.isEmpty())
            break;
        m_region.reset();
        TagScanner rs(regionText);
        m_region.setName(rs.find(u"name"));
        rs.rewind();
        TagScanner cs(rs.findRaw(u"countries"));
        for (;;) {
            const QString countryText = cs.findRaw(u"country");
            if (countryText.isEmpty())
                break;
            m_country.reset();
            TagScanner ks(countryText);
            readCountryFields(ks, m_country);
            if (countryText.contains(QLatin1String("subsections"))) {
                for (;;) {
                    const QString subText = ks.findRaw(u"subsection");
                    if (subText.isEmpty())
                        break;
                    BASS::Country sub;
                    TagScanner subScanner(subText);
                    readCountryFields(subScanner, sub);
                    sub.setSubsection(true);
                    m_country.addSubsection(sub);
                }
            }
            m_region.addCountry(m_country);
        }
        found(m_region);
    }
    m_region.reset();
    m_country.reset();
}

namespace {

// The genre tree is walked tag by tag: "genre" opens a genre (named by the next "name"),
// "description" describes the current one, "genres" holds the sub-genres of the current one.
class GenreWalk
{
public:
    GenreWalk(const QString &text, const std::function<void(const BASS::Genre &)> &found)
        : m_scanner(text)
        , m_found(found)
    {}

    void walk(BASS::Genre *parent, int depth)
    {
        // Top-level genres are owned here; sub-genres by their parent.
        std::unique_ptr<BASS::Genre> topLevel;
        BASS::Genre *current = nullptr;
        for (;;) {
            const QString tag = m_scanner.nextTag();
            if (tag.isEmpty())
                return;
            if (tag == QLatin1String("genres")) {
                if (depth + 1 >= DirectoryReader::MaxGenreDepth)
                    continue;
                walk(current, depth + 1);
                if (current && !parent)
                    m_found(*current);
            } else if (tag == QLatin1String("/genres")) {
                return;
            } else if (tag == QLatin1String("description")) {
                const QString description = TagScanner::decodeXmlEntities(m_scanner.textUntilTag());
                if (current)
                    current->setDescription(description);
            } else if (tag == QLatin1String("genre")) {
                const QString name = m_scanner.find(u"name");
                if (name.isEmpty())
                    continue;
                auto genre = std::make_unique<BASS::Genre>(name);
                current = genre.get();
                if (parent) {
                    genre->setParent(parent);
                    parent->addSubgenre(genre.release());
                } else {
                    topLevel = std::move(genre);
                }
            }
        }
    }

private:
    TagScanner m_scanner;
    const std::function<void(const BASS::Genre &)> &m_found;
};

} // namespace

void DirectoryReader::readGenreList(const QString &text,
                                    const std::function<void(const BASS::Genre &)> &found)
{
    GenreWalk(text, found).walk(nullptr, 0);
}

QList<NewsItem> DirectoryReader::readNews(const QString &text)
{
    QList<NewsItem> items;
    TagScanner scanner(text);
    for (;;) {
        const QString item = scanner.findRaw(u"item");
        if (item.isEmpty())
            break;
        TagScanner is(item);
        NewsItem news;
        news.link = is.find(u"link");
        news.link.remove(QLatin1Char('\r'));
        news.link.remove(QLatin1Char('\n'));
        news.title = is.findFirst(u"title");
        for (const QLatin1String mark : {QLatin1String("."), QLatin1String("!")}) {
            news.title.replace(mark + QLatin1String("\r\n"), mark + QLatin1String(" "));
            news.title.replace(mark + QLatin1String("\n"), mark + QLatin1String(" "));
        }
        items.append(news);
    }
    return items;
}

AccountDetails DirectoryReader::readAccountInfo(const QString &text)
{
    AccountDetails details;
    TagScanner s(text);
    details.username = s.find(u"username");
    details.location_string = s.findFirst(u"location_string");
    details.mail = s.findFirst(u"mail");
    details.country_code = s.findFirst(u"country_code");
    details.country_name = s.findFirst(u"country_name");
    return details;
}
