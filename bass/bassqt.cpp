#include "bassqt.h"

#include "httpblocking.h"
#include "metadata.h"
#include "playlist.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <string>
#include <vector>

namespace BASS {

namespace {

using Reader = std::size_t (*)(std::string_view, std::vector<std::string> &);

// Runs one of the engine's playlist readers over a text. Documents are read as UTF-8; a text
// with more characters than the size cap has more bytes than it too and is not converted at all.
int readWith(Reader read, const QString &text, QStringList &urls)
{
    urls.clear();
    if (std::size_t(text.size()) > tunora::audio::MaxPlaylistBytes)
        return 0;
    const QByteArray bytes = text.toUtf8();
    std::vector<std::string> found;
    read(std::string_view(bytes.constData(), std::size_t(bytes.size())), found);
    urls.reserve(qsizetype(found.size()));
    for (const std::string &address : found)
        urls.append(QString::fromUtf8(address.data(), qsizetype(address.size())));
    return int(urls.size());
}

} // namespace

BassQt::BassQt(QObject *parent)
    : QObject(parent)
{
    m_secondsTimer = new QTimer(this);
    connect(m_secondsTimer, &QTimer::timeout, this, &BassQt::slot_secondsTimerUpdate);
    m_secondsTimer->start(SecondsTimerMs);
    m_coverArt = std::make_shared<CoverArt>();
    connect(m_coverArt.get(), &CoverArt::sig_coverArtProcess, this, &BassQt::slot_coverArtProcess);
    connect(m_coverArt.get(), &CoverArt::sig_statusChanged, this, &BassQt::slot_coverArtStatusChanged);
}

BassQt::~BassQt()
{
    Stop(0);
    SetUrls({});
    if (m_coverArt) {
        m_coverArt->disconnect(this);
        m_coverArt->Stop();
    }
    m_coverArt.reset();
}

// ---- cover art ---------------------------------------------------------------------------------

void BassQt::DownloadAlbumInfo()
{
    m_coverArt->DownloadAlbumInfo(CurrentSong());
}

void BassQt::DownloadLyrics()
{
    m_coverArt->DownloadLyrics(CurrentSong());
}

void BassQt::DownloadArtistInfo()
{
    m_coverArt->DownloadArtistInfoFor(CurrentSong());
}

bool BassQt::IsDownloadingAlbumInfo() const
{
    const Song song = CurrentSong();
    return m_coverArt->IsDownloading(DownloadInfo::AlbumSearch, song) ||
           m_coverArt->IsDownloading(DownloadInfo::ImageDownload, song);
}

void BassQt::StopCoverArt()
{
    if (!m_coverArt)
        return;
    if (QThread::currentThread() == m_coverArt->thread())
        m_coverArt->Stop();
    else // the lookup's transfers belong to the GUI thread
        QMetaObject::invokeMethod(m_coverArt.get(), &CoverArt::Stop, Qt::QueuedConnection);
}

void BassQt::slot_coverArtProcess(CoverArt::coverArtType type)
{
    emit sig_coverArtReady(this, type);
}

void BassQt::slot_coverArtStatusChanged(CoverArt::status st)
{
    emit sig_coverArtStatusChanged(this, st);
}

// ---- playlist readers ----------------------------------------------------------------------------

int BassQt::ReadM3U(const QString &text, QStringList &urls) const
{
    return readWith(tunora::audio::ReadM3U, text, urls);
}

QStringList BassQt::ReadM3U(const QString &text) const
{
    QStringList urls;
    ReadM3U(text, urls);
    return urls;
}

int BassQt::ReadASX(const QString &text, QStringList &urls) const
{
    return readWith(tunora::audio::ReadASX, text, urls);
}

QStringList BassQt::ReadASX(const QString &text) const
{
    QStringList urls;
    ReadASX(text, urls);
    return urls;
}

int BassQt::ReadPLS(const QString &text, QStringList &urls) const
{
    return readWith(tunora::audio::ReadPLS, text, urls);
}

QStringList BassQt::ReadPLS(const QString &text) const
{
    QStringList urls;
    ReadPLS(text, urls);
    return urls;
}

int BassQt::ReadMediaSrc(const QString &text, QStringList &urls) const
{
    return readWith(tunora::audio::ReadMediaSrc, text, urls);
}

QStringList BassQt::ReadMediaSrc(const QString &text) const
{
    QStringList urls;
    ReadMediaSrc(text, urls);
    return urls;
}

void BassQt::MatchTitleTemplate(const QString &titleTemplate, const QString &title, QString *artist,
                                QString *song) const
{
    ::BASS::MatchTitleTemplate(titleTemplate, title, artist, song);
}

// ---- addresses -----------------------------------------------------------------------------------

QStringList BassQt::Urls() const
{
    QMutexLocker lock(&m_urlsLock);
    return m_urls;
}

void BassQt::SetUrls(const QStringList &urls)
{
    QMutexLocker lock(&m_urlsLock);
    m_urls = urls;
}

// ---- hooks ---------------------------------------------------------------------------------------

void BassQt::Notify(uint msg, uint param)
{
    emit sig_bassEvent(this, msg, param);
}

void BassQt::PostNotify(uint msg, uint param)
{
    emit sig_bassEvent(this, msg, param);
}

void BassQt::ShowMessage(const QString &text, bool show)
{
    if (!show)
        return;
    auto showBox = [text] {
        QHttpExt::settings().message(
            MessageKind::Warning, QCoreApplication::translate("BassQt", "Tunora Player"), plainToHtml(text));
    };
    if (QThread::currentThread() == thread())
        showBox();
    else
        QMetaObject::invokeMethod(this, showBox, Qt::QueuedConnection);
}

void BassQt::Reset()
{
    CBass::Reset();
    SetUrls({});
}

void BassQt::OnAfterStop()
{
    CBass::OnAfterStop();
    StopRecording();
    StopCoverArt();
}

void BassQt::slot_secondsTimerUpdate()
{
    if (!IsPlaying())
        return;
    {
        QMutexLocker record(&m_recordLock);
        if (m_record.IsActive())
            ++m_record.recordedSeconds;
        else if (m_record.IsArmed())
            ++m_record.waitedSeconds;
    }
    AdvancePlaybackClock();
}

} // namespace BASS
