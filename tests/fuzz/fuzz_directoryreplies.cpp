// What the directory and the stations' servers send, through every reader of the client: station
// lists, "playing now" (one reader keeps its network maps across inputs, as a client does), region
// and genre trees, news, account information, a station's playlist document. The first byte also
// cuts the replies read element by element (status, languages, version) in two; the first four
// pick the tag names and the order of the tag scanner's operations on the text after them.

#include "baseradioapi.h"
#include "directoryreader.h"
#include "stream.h"
#include "tagscanner.h"

#include <cstddef>
#include <cstdint>

namespace {

int depthOf(const BASS::Genre &g)
{
    int depth = 0;
    if (g.subgenres())
        for (const BASS::Genre *sub : *g.subgenres()) {
            if (sub->parent() != &g)
                __builtin_trap();
            depth = qMax(depth, depthOf(*sub) + 1);
        }
    return depth;
}

qsizetype tagScanner(const std::uint8_t *data, std::size_t size)
{
    static const char16_t *const tags[] = {u"station", u"name", u"genres", u"genre", u"a", u"STATION", u"id"};
    const std::uint8_t ops = data[0];
    const std::uint8_t tagA = data[1] % 7;
    const std::uint8_t tagB = data[2] % 7;
    const std::uint8_t rounds = data[3];
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + 4), qsizetype(size - 4));

    BASS::TagScanner scanner(text);
    qsizetype total = 0;
    for (int i = 0; i < 64 + rounds; ++i) {
        switch (((ops >> (i % 8)) & 3) ^ (i & 1)) {
        case 0: {
            const QString found = scanner.find(tags[tagA]);
            total += found.size();
            // Scanning a found element's content again, as the readers do.
            BASS::TagScanner inner(scanner.findRaw(tags[tagB]));
            total += inner.find(tags[tagA]).size();
            break;
        }
        case 1:
            total += scanner.nextTag().size();
            break;
        case 2:
            total += scanner.textUntilTag().size();
            break;
        default:
            scanner.setPosition(scanner.position() / 2 + i);
            break;
        }
        if (scanner.position() < 0 || scanner.position() > text.size())
            __builtin_trap();
    }
    total += BASS::TagScanner::decodeEntities(text).size() + BASS::TagScanner::decodeXmlEntities(text).size();
    return total;
}

qsizetype streamReaders(const std::uint8_t *data, std::size_t size)
{
    const std::size_t split = 1 + (data[0] * (size - 1)) / 255;
    BASS::BaseRadioXmlParser parser;
    BASS::StatusReply status;
    QList<BASS::Language> languages;
    BASS::SoftwareVersion version;
    auto visit = [&](const BASS::BaseRadioXmlParser &p) {
        BASS::StreamReaders::readStatus(p, status);
        BASS::StreamReaders::readLanguage(p, languages);
        BASS::StreamReaders::readVersion(p, version);
        if (p.depth() > BASS::BaseRadioXmlParser::MaxDepth)
            __builtin_trap();
    };
    const char *bytes = reinterpret_cast<const char *>(data);
    if (parser.addData(QByteArrayView(bytes + 1, qsizetype(split - 1)))) {
        BASS::scanStatus(parser.text(), status);
        if (parser.walk(visit) != BASS::BaseRadioXmlParser::Failed &&
            parser.addData(QByteArrayView(bytes + split, qsizetype(size - split)))) {
            parser.endOfData();
            parser.walk(visit);
        }
    }
    BASS::scanStatus(parser.text(), status);
    return languages.size() + version.name.size();
}

// Every address handed out may be opened (scheme, no control characters, once each), and a
// document that keeps pointing at further playlists ends within the nesting bound.
void playlistResolution(const QString &text)
{
    const QStringList addresses = BASS::PlaylistResolution::streamAddresses(text);
    QSet<QString> keys;
    for (const QString &address : addresses) {
        for (const QChar c : address)
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                __builtin_trap();
        if (address.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) ||
            address.startsWith(QLatin1Char('/')))
            __builtin_trap();
        keys.insert(BASS::PlaylistResolution::visitKey(address));
    }
    if (keys.size() != addresses.size() || addresses.size() > 1000)
        __builtin_trap();

    // The same document answers every download.
    BASS::PlaylistResolution resolution;
    BASS::PlaylistResolution::Step step = resolution.start(QStringLiteral("http://h/station.pls"));
    int downloads = 0;
    while (step.kind == BASS::PlaylistResolution::Step::Download) {
        if (++downloads > BASS::PlaylistResolution::MaxNesting)
            __builtin_trap();
        step = resolution.documentArrived(text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static DirectoryReader reader;
    static BASS::Station working;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    qsizetype seen = 0;
    auto announce = [&] {
        seen += working.name().size() + working.streams().size() + working.nowPlaying().title().size();
        if (working.favorite() && working.id().isNull() && !working.streams().isEmpty())
            seen += working.currentStream().url.size();
    };
    const StationPaging paging = reader.readStationList(text, working, announce);
    if (paging.limit > 0 &&
        (paging.pageCount < paging.total / paging.limit || paging.remainder >= paging.limit))
        __builtin_trap();
    reader.readPlayingNow(text, working, announce);

    reader.readRegionList(text, [&](const BASS::WorldRegion &region) {
        // Copies are what receivers keep; they must be deep and complete.
        const BASS::WorldRegion copy(region);
        for (const BASS::Country *c : copy.countries()) {
            seen += c->name().size();
            for (const BASS::Country *sub : c->subsections())
                if (!sub->isSubsection())
                    __builtin_trap();
        }
    });
    reader.readGenreList(text, [](const BASS::Genre &genre) {
        if (genre.parent() || depthOf(genre) >= DirectoryReader::MaxGenreDepth)
            __builtin_trap();
        if (BASS::Genre(genre).name() != genre.name())
            __builtin_trap();
    });

    for (const NewsItem &item : DirectoryReader::readNews(text)) {
        if (item.link.contains(QLatin1Char('\n')) || item.link.contains(QLatin1Char('\r')))
            __builtin_trap();
        seen += item.title.size();
    }
    const AccountDetails account = DirectoryReader::readAccountInfo(text);
    seen += account.username.size() + account.mail.size();
    playlistResolution(text);
    if (size >= 1)
        seen += streamReaders(data, size);
    if (size >= 4)
        seen += tagScanner(data, size);
    return seen < 0;
}
