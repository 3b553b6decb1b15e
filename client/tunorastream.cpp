#include "tunorastream.h"

#include "appsettings.h"

AppStream::AppStream(QObject *parent)
    : BASS::Stream(parent)
{}

TunoraStream::TunoraStream(QObject *parent)
    : AppStream(parent)
{
    connect(&m_api, &TunoraAPI::signal_requestFinished, this, &TunoraStream::slot_requestFinishedAPI);
    ConfigureCoverArt();
}

void TunoraStream::ConfigureCoverArt()
{
    const AppSettings &settings = AppSettings::instance();
    BASS::CoverArt &cover = *m_coverArt;
    cover.setShopSearchRoot(settings.endpoint(AppSettings::CoverShop));
    cover.setImageSearchRoot(settings.endpoint(AppSettings::ImageSearch));
    cover.setTrackInfoRoot(settings.endpoint(AppSettings::TrackInfo));
    cover.setLyricsRoot(settings.endpoint(AppSettings::Lyrics));
    cover.setArtistWikiRoot(settings.endpoint(AppSettings::ArtistWiki));
    cover.setArtistInfoRoot(settings.endpoint(AppSettings::ArtistInfo));
    cover.setWebSearchRoot(settings.endpoint(AppSettings::WebSearch));
}

void TunoraStream::ConfigureEngine()
{
    // Streams handed out by the directory (its https listen addresses) are signed by the same
    // CA as the directory itself: the engine trusts it beside the system store.
    const QByteArray caFile = AppSettings::instance().caFile().toLocal8Bit();
    BASS_SetConfigPtr(BASS_CONFIG_NET_CA_EXTRA, caFile.isEmpty() ? nullptr : caFile.constData());
}

void TunoraStream::SetStation(const BASS::Station &station)
{
    AppStream::SetStation(station);
    m_coverArt->SetCustomSearchAddress(station.id().isEmpty() ? QString()
                                                              : m_api.songSearchLink(station.id()));
}

TunoraStream::~TunoraStream()
{
    Stop(0);
}

namespace {

QString withoutLineBreaks(const QString &address)
{
    QString cleaned = address;
    cleaned.remove(QLatin1Char('\n'));
    cleaned.remove(QLatin1Char('\r'));
    return cleaned;
}

} // namespace

int TunoraStream::GetURLs(const QString &url)
{
    m_lastRequestedUrl = url;
    return Stream::GetURLs(withoutLineBreaks(url));
}

bool TunoraStream::ResolveStation(const QString &address)
{
    return Stream::ResolveStation(withoutLineBreaks(address));
}

void TunoraStream::ReportNowPlaying()
{
    m_api.reportNowPlaying(GetStation().id(), CurrentSong().DisplayText());
}

void TunoraStream::slot_requestFinishedAPI(int id, bool error)
{
    Q_UNUSED(id)
    Q_UNUSED(error)
}
