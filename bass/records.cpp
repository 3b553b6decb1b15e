#include "records.h"

#include <QLocale>

namespace BASS {

QString FormatText(StreamFormat format, bool emptyFallback)
{
    switch (format) {
    case FormatMP3:
        return QStringLiteral("MP3");
    case FormatWMA:
        return QStringLiteral("WMA");
    case FormatAAC:
        return QStringLiteral("AAC");
    case FormatOGG:
        return QStringLiteral("OGG");
    case FormatRealPlayer:
        return QStringLiteral("RealPlayer");
    case FormatFLAC:
        return QStringLiteral("FLAC");
    case FormatMP3Pro:
        return QStringLiteral("MP3 Pro");
    case FormatMP4:
        return QStringLiteral("MP4");
    case FormatWebsite:
        return QStringLiteral("Website");
    default:
        return emptyFallback ? QString() : QStringLiteral("Unknown");
    }
}

StreamFormat FormatFromText(const QString &text)
{
    static const struct
    {
        const char *name;
        StreamFormat code;
    } order[] = {
        {"MP3 Pro", FormatMP3Pro},
        {"MP3", FormatMP3},
        {"OGG", FormatOGG},
        {"AAC", FormatAAC},
        {"WMA", FormatWMA},
        {"FLAC", FormatFLAC},
        {"RealPlayer", FormatRealPlayer},
        {"MP4", FormatMP4},
        {"Website", FormatWebsite},
    };
    for (const auto &entry : order) {
        if (text.contains(QLatin1String(entry.name), Qt::CaseInsensitive))
            return entry.code;
    }
    return FormatNone;
}

QString PlayerName(int kind)
{
    switch (kind) {
    case 1:
        return QStringLiteral("Windows Player");
    case 2:
        return QStringLiteral("Real Player");
    case 3:
        return QStringLiteral("Flash Player");
    default:
        return QString();
    }
}

// ---------------------------------------------------------------------------------------------
// StationStream

quint32 StationStream::keyHash(const QString &url)
{
    quint32 h = 0;
    const QByteArray ascii = url.toLatin1();
    for (char c : ascii)
        h = h * 101u + static_cast<unsigned char>(c);
    return h;
}

void StationStream::makeKey()
{
    if (url.isEmpty())
        return;
    key = QString::number(keyHash(url), 16).toUpper();
}

QString StationStream::bitrateText() const
{
    if (bitrate == 0)
        return QString();
    const quint32 kbps = bitrate > 1000 ? bitrate / 1000 : bitrate;
    return QString::number(kbps) + QLatin1String(" kbps");
}

QString StationStream::bitrateNumberText() const
{
    // The upper bound is 32787, not 32768: kept as the directory's clients have always had it.
    if (bitrate > 0 && bitrate < 32787)
        return QString::number(bitrate);
    return QString();
}

quint32 StationStream::bitrateFromText(const QString &text)
{
    const qsizetype blank = text.indexOf(QLatin1Char(' '));
    const QString number = blank >= 0 ? text.left(blank) : text;
    return number.toUInt();
}

bool StationStream::isWindowsMediaFile() const
{
    return url.contains(QLatin1String(".wmv"), Qt::CaseInsensitive);
}
bool StationStream::isMmsAddress() const
{
    return url.contains(QLatin1String("mms:"), Qt::CaseInsensitive);
}
bool StationStream::isAsx() const
{
    return url.contains(QLatin1String(".asx"), Qt::CaseInsensitive);
}
bool StationStream::isPls() const
{
    return url.contains(QLatin1String(".pls"), Qt::CaseInsensitive);
}
bool StationStream::isWpl() const
{
    return url.contains(QLatin1String(".wpl"), Qt::CaseInsensitive);
}
bool StationStream::isM3u() const
{
    return url.contains(QLatin1String(".m3u"), Qt::CaseInsensitive);
}

bool StationStream::isRealPlayer() const
{
    if (url.isEmpty())
        return false;
    if (url.contains(QLatin1String("rtsp://"), Qt::CaseInsensitive))
        return true;
    const qsizetype dot = url.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QString ext = url.mid(dot + 1);
    return ext == QLatin1String("ram") || ext == QLatin1String("rm") || ext == QLatin1String("smil");
}

// ---------------------------------------------------------------------------------------------
// Station

Station::Station(QObject *parent)
    : QObject(parent)
{}

Station::Station(const Station &other)
    : QObject(nullptr)
{
    copyFrom(other);
}

Station &Station::operator=(const Station &other)
{
    if (this != &other)
        copyFrom(other);
    return *this;
}

Station::~Station()
{
    clearStreams();
}

void Station::clearStreams()
{
    qDeleteAll(m_streams);
    m_streams.clear();
}

void Station::copyFrom(const Station &other)
{
    clearStreams();
    for (const StationStream *s : other.m_streams)
        m_streams.append(new StationStream(*s));
    m_currentStream = other.m_currentStream;
    m_id = other.m_id;
    m_name = other.m_name;
    m_website = other.m_website;
    m_network = other.m_network;
    m_country = other.m_country;
    m_location = other.m_location;
    m_genres = other.m_genres;
    m_favorite = other.m_favorite;
    m_nowPlaying = other.m_nowPlaying;
    m_dateFormat = other.m_dateFormat;
    for (int i = 0; i < 3; ++i)
        m_times[i] = other.m_times[i];
    m_streamUser = other.m_streamUser;
    m_streamPassword = other.m_streamPassword;
    m_statusText = other.m_statusText;
    m_metaTemplate = other.m_metaTemplate;
    m_quietErrors = other.m_quietErrors;
}

void Station::reset()
{
    clearStreams();
    m_currentStream.reset();
    m_id.clear();
    m_name.clear();
    m_website.clear();
    m_network.clear();
    m_country.clear();
    m_location.clear();
    m_genres.clear();
    m_favorite = false;
    m_nowPlaying.Clear();
    m_dateFormat = QLatin1String(DefaultDateFormat);
    for (auto &t : m_times)
        t = QDateTime();
    m_streamUser.clear();
    m_streamPassword.clear();
    m_statusText.clear();
    m_metaTemplate.clear();
    m_quietErrors = 0;
}

void Station::addStream(const StationStream &stream, bool first)
{
    m_streams.append(new StationStream(stream));
    if (first)
        m_currentStream = stream;
}

StationStream *Station::findStream(const QString &url) const
{
    for (StationStream *s : m_streams) {
        if (s->url == url)
            return s;
    }
    return nullptr;
}

QString Station::firstStreamUrl() const
{
    return m_streams.isEmpty() ? m_currentStream.url : m_streams.first()->url;
}

void Station::setWebsite(const QString &v)
{
    static const QLatin1String scheme("http://");
    const qsizetype at = v.indexOf(scheme);
    m_website = at >= 0 ? v.mid(at + scheme.size()) : v;
}

namespace {
// The value after key ("Username=") up to the next '|' or the end.
QString credentialValue(const QString &location, QLatin1String key)
{
    const qsizetype at = location.indexOf(key);
    if (at < 0)
        return QString();
    const qsizetype from = at + key.size();
    const qsizetype bar = location.indexOf(QLatin1Char('|'), from);
    return location.mid(from, bar < 0 ? -1 : bar - from);
}
} // namespace

void Station::parseLocation() const
{
    if (!m_location.contains(QLatin1Char('|')))
        return;
    m_streamUser = credentialValue(m_location, QLatin1String("Username="));
    m_streamPassword = credentialValue(m_location, QLatin1String("Password="));
}

QString Station::location() const
{
    const qsizetype bar = m_location.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return m_location;
    parseLocation();
    // The place alone: the separator that introduces the credentials is not part of it.
    return m_location.left(bar);
}

void Station::setLocation(const QString &v)
{
    if (m_location.contains(QLatin1Char('|'))) {
        parseLocation();
        return;
    }
    m_location = v;
}

QString Station::streamUserName() const
{
    if (m_streamUser.isEmpty())
        parseLocation();
    return m_streamUser;
}

QString Station::streamPassword() const
{
    if (m_streamUser.isEmpty())
        parseLocation();
    return m_streamPassword;
}

QString Station::timeStampText(TimeStamp which, bool fixedFormat) const
{
    const QDateTime &t = m_times[which];
    if (!t.isValid())
        return QString();
    if (fixedFormat)
        return QLocale::c().toString(t, QLatin1String(FixedDateFormat));
    return QLocale().toString(t, m_dateFormat);
}

// ---------------------------------------------------------------------------------------------
// Genre

Genre::Genre(const QString &name)
    : m_name(name)
    , m_search(SearchTerm(name))
{}

Genre::Genre(const Genre &other)
    : QT_BASS::Object(other)
{
    *this = other;
}

Genre &Genre::operator=(const Genre &other)
{
    if (this == &other)
        return *this;
    // Copy everything before touching our own sub-genres: other may be one of them.
    std::unique_ptr<Map> subgenres;
    if (other.m_subgenres) {
        subgenres = std::make_unique<Map>();
        for (const Genre *sub : std::as_const(*other.m_subgenres))
            subgenres->insert(sub->name(), new Genre(*sub));
    }
    const QString name = other.m_name, search = other.m_search, description = other.m_description;
    Genre *parent = other.m_parent;
    QT_BASS::Object::operator=(other);

    clearSubgenres();
    m_subgenres = std::move(subgenres);
    if (m_subgenres) {
        for (Genre *sub : std::as_const(*m_subgenres))
            sub->m_parent = this;
    }
    m_name = name;
    m_search = search;
    m_description = description;
    m_parent = parent;
    return *this;
}

Genre::~Genre()
{
    clearSubgenres();
}

void Genre::clearSubgenres()
{
    if (m_subgenres)
        qDeleteAll(*m_subgenres);
    m_subgenres.reset();
}

QString Genre::SearchTerm(const QString &name)
{
    return QStringLiteral("%1\"%2\"").arg(QLatin1String("gen:"), name);
}

void Genre::addSubgenre(Genre *genre)
{
    if (!genre)
        return;
    if (!m_subgenres)
        m_subgenres = std::make_unique<Map>();
    Genre *old = m_subgenres->value(genre->name());
    if (old == genre)
        return;
    delete old;
    m_subgenres->insert(genre->name(), genre);
}

bool Genre::operator<(const Genre &other) const
{
    return m_name.compare(other.m_name, Qt::CaseInsensitive) < 0;
}

// ---------------------------------------------------------------------------------------------
// Country, WorldRegion, Network

Country::Country(const Country &other)
    : QT_BASS::Object(other)
{
    copyFrom(other);
}

Country &Country::operator=(const Country &other)
{
    if (this != &other) {
        QT_BASS::Object::operator=(other);
        copyFrom(other);
    }
    return *this;
}

Country::~Country()
{
    qDeleteAll(m_subsections);
}

void Country::copyFrom(const Country &other)
{
    // Copy first: other may be one of our own subsections, which the swap below deletes.
    Country copy;
    for (const Country *c : other.m_subsections)
        copy.m_subsections.append(new Country(*c));
    copy.m_name = other.m_name;
    copy.m_code = other.m_code;
    copy.m_extra = other.m_extra;
    copy.m_search = other.m_search;
    copy.m_menuWords[0] = other.m_menuWords[0];
    copy.m_menuWords[1] = other.m_menuWords[1];
    copy.m_isSubsection = other.m_isSubsection;
    copy.m_flag = other.m_flag;

    m_subsections.swap(copy.m_subsections); // the old list goes with copy
    m_name = copy.m_name;
    m_code = copy.m_code;
    m_extra = copy.m_extra;
    m_search = copy.m_search;
    m_menuWords[0] = copy.m_menuWords[0];
    m_menuWords[1] = copy.m_menuWords[1];
    m_isSubsection = copy.m_isSubsection;
    m_flag = copy.m_flag;
}

void Country::reset()
{
    qDeleteAll(m_subsections);
    m_subsections.clear();
    m_name.clear();
    m_code.clear();
    m_extra.clear();
    m_search.clear();
    m_menuWords[0] = m_menuWords[1] = 0;
    m_isSubsection = false;
    m_flag = QIcon();
}

void Country::addSubsection(const Country &c)
{
    m_subsections.append(new Country(c));
}

WorldRegion::WorldRegion(const WorldRegion &other)
    : QT_BASS::Object(other)
{
    *this = other;
}

WorldRegion &WorldRegion::operator=(const WorldRegion &other)
{
    if (this == &other)
        return *this;
    QT_BASS::Object::operator=(other);
    QList<Country *> countries;
    for (const Country *c : other.m_countries)
        countries.append(new Country(*c));
    const QString name = other.m_name;
    reset();
    m_countries = countries;
    m_name = name;
    return *this;
}

WorldRegion::~WorldRegion()
{
    qDeleteAll(m_countries);
}

void WorldRegion::reset()
{
    qDeleteAll(m_countries);
    m_countries.clear();
    m_name.clear();
}

void WorldRegion::addCountry(const Country &c)
{
    m_countries.append(new Country(c));
}

Network::~Network()
{
    qDeleteAll(m_entries);
}

void Network::reset()
{
    qDeleteAll(m_entries);
    m_entries.clear();
    m_name.clear();
}

void Network::addEntry(const Station &s)
{
    m_entries.append(new Station(s));
}

} // namespace BASS
