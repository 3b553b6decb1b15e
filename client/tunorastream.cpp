#include "tunorastream.h"

AppStream::AppStream(QObject *parent)
    : BASS::Stream(parent)
{}

TunoraStream::TunoraStream(QObject *parent)
    : AppStream(parent)
{
    connect(&m_api, &TunoraAPI::signal_requestFinished, this, &TunoraStream::slot_requestFinishedAPI);
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
