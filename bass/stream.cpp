#include "stream.h"

#include "compressor.h"
#include "playlist.h"

#include <QDebug>
#include <QNetworkReply>
#include <QStringDecoder>
#include <QUrl>

#include <cstring>

namespace BASS {

namespace {

std::string_view utf8View(const QByteArray &bytes)
{
    return std::string_view(bytes.constData(), std::size_t(bytes.size()));
}

bool hasControlCharacters(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}

bool isHttpAddress(const QString &address)
{
    return address.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           address.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

// Whether a reply's content type says the address is a stream rather than a document. The
// playlist types that live under "audio/" are documents.
bool isAudioContentType(const QByteArray &contentType)
{
    const QByteArray type = contentType.trimmed().toLower();
    if (type.startsWith("application/ogg"))
        return true;
    if (!type.startsWith("audio/") && !type.startsWith("video/"))
        return false;
    for (const char *document : {"url", "pls", "asx", "wax", "wvx", "asf", "x-ms-asf", "xspf"})
        if (type.contains(document))
            return false;
    return true;
}

// Text of a downloaded document: UTF-8 when it is valid UTF-8, else Latin-1.
QString documentText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

} // namespace

// ---- PlaylistResolution ------------------------------------------------------------------------

QString PlaylistResolution::visitKey(const QString &address)
{
    const QString trimmed = address.trimmed();
    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return trimmed;
    QUrl key = url;
    key.setScheme(url.scheme().toLower());
    key.setHost(url.host().toLower());
    key.setFragment(QString());
    return key.adjusted(QUrl::NormalizePathSegments).toString(QUrl::FullyEncoded);
}

QStringList PlaylistResolution::streamAddresses(const QString &text)
{
    QStringList out;
    if (std::size_t(text.size()) > tunora::audio::MaxPlaylistBytes)
        return out;
    const QByteArray bytes = text.toUtf8();
    using Reader = std::size_t (*)(std::string_view, std::vector<std::string> &);
    QSet<QString> seen;
    for (Reader read : {Reader(tunora::audio::ReadASX), Reader(tunora::audio::ReadPLS),
                        Reader(tunora::audio::ReadM3U), Reader(tunora::audio::ReadMediaSrc)}) {
        std::vector<std::string> found;
        read(utf8View(bytes), found);
        for (const std::string &entry : found) {
            const QString address = QString::fromUtf8(entry.data(), qsizetype(entry.size())).trimmed();
            const QByteArray checked = address.toUtf8();
            if (!tunora::audio::isAcceptableStreamAddress(utf8View(checked)))
                continue;
            const QString key = visitKey(address);
            if (!seen.contains(key)) {
                seen.insert(key);
                out.append(address);
            }
        }
        if (!out.isEmpty())
            return out;
    }
    // A document that is nothing but one address.
    const QString whole = text.trimmed();
    const QByteArray checked = whole.toUtf8();
    if (tunora::audio::isAcceptableStreamAddress(utf8View(checked)))
        out.append(whole);
    return out;
}

PlaylistResolution::Step PlaylistResolution::fail(const QString &error)
{
    Step step;
    step.kind = Step::Fail;
    step.error = error;
    return step;
}

PlaylistResolution::Step PlaylistResolution::download(const QString &address)
{
    if (m_depth >= MaxNesting)
        return fail(QCoreApplication::translate("Stream", "The playlists of this station lead too deep."));
    m_visited.insert(visitKey(address));
    m_pending = address;
    ++m_depth;
    Step step;
    step.kind = Step::Download;
    step.address = address;
    return step;
}

PlaylistResolution::Step PlaylistResolution::start(const QString &address)
{
    m_visited.clear();
    m_pending.clear();
    m_depth = 0;
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty())
        return fail(QCoreApplication::translate("Stream", "The station has no address."));
    if (hasControlCharacters(trimmed))
        return fail(QCoreApplication::translate("Stream", "The station's address is not valid."));
    if (Stream::IsPlaylistAddress(trimmed) && isHttpAddress(trimmed))
        return download(trimmed);
    Step step;
    step.kind = Step::Open;
    step.urls = QStringList{trimmed};
    return step;
}

PlaylistResolution::Step PlaylistResolution::isStream()
{
    Step step;
    if (m_pending.isEmpty())
        return fail(QCoreApplication::translate("Stream", "No playlist is being downloaded."));
    step.kind = Step::Open;
    step.urls = QStringList{m_pending};
    m_pending.clear();
    return step;
}

PlaylistResolution::Step PlaylistResolution::documentArrived(const QString &text)
{
    const QString address = m_pending;
    m_pending.clear();
    // An HLS playlist (live, on demand or a master list) is not a list of stations but the stream
    // itself, whatever its address says: the engine plays it from its own address.
    const QByteArray bytes = text.toUtf8();
    if (!address.isEmpty() && tunora::audio::isLiveStreamPlaylist(utf8View(bytes))) {
        Step step;
        step.kind = Step::Open;
        step.urls = QStringList{address};
        return step;
    }
    QStringList urls;
    for (const QString &address : streamAddresses(text))
        if (!m_visited.contains(visitKey(address)))
            urls.append(address);
    if (urls.isEmpty())
        return fail(QCoreApplication::translate("Stream", "The playlist holds no stream address."));
    if (Stream::IsPlaylistAddress(urls.first()) && isHttpAddress(urls.first()))
        return download(urls.first());
    Step step;
    step.kind = Step::Open;
    step.urls = urls;
    return step;
}

// ---- Stream ------------------------------------------------------------------------------------

Stream::Stream(QObject *parent)
    : BassQt(parent)
{
    m_levelsLeft.reserve(LevelReadings);
    m_levelsRight.reserve(LevelReadings);
    for (QHttpExt *http : {&m_playlistHttp, &m_eventHttp}) {
        http->setRaw(true);
        http->setMaxSize(qint64(tunora::audio::MaxPlaylistBytes));
        connect(http, &QHttpExt::sig_Redirect, this, &Stream::followRedirect);
    }
    connect(&m_playlistHttp, &QHttpExt::sig_Ready, this, &Stream::slot_Ready);
    connect(&m_playlistHttp, &QHttpExt::sig_Started, this, &Stream::replyStarted);
    // A stop event's reply is nobody's playlist: it is only logged.
    connect(&m_eventHttp, &QHttpExt::sig_Ready, this, [](const QHttpExt::httpInfo *info) {
        qDebug().noquote() << "Stream::sendStopEvent finished" << info->id << info->failed;
    });
}

Stream::~Stream()
{
    m_playlistHttp.abortAll();
    m_eventHttp.abortAll();
    Stop(0);
}

int Stream::sendStopEvent(const QString &url)
{
    qDebug().noquote() << "Stream::sendStopEvent" << maskedAddress(url);
    return HttpGet(&m_eventHttp, url);
}

bool Stream::RequestPlaylist(const QString &url)
{
    if (url.isEmpty())
        return false;
    m_playlistUrl = url;
    m_playlistRequestId = GetURLs(url);
    return m_playlistRequestId != 0;
}

bool Stream::RequestURLs(const QString &url, bool flag)
{
    m_nestedRequestId = GetURLs(url);
    m_nestedFlag = flag;
    return m_nestedRequestId != 0;
}

void Stream::dropResolverDownload(int id)
{
    if (m_resolverIds.remove(id))
        ++m_droppedIds[id];
}

void Stream::AbortRequests()
{
    assertOwnerThread("Stream::AbortRequests");
    ++m_resolveGeneration;
    m_resolvePosted = false;
    m_resolveRequestId = 0;
    for (const int id : QList<int>(m_resolverIds.begin(), m_resolverIds.end()))
        dropResolverDownload(id);
    m_playlistHttp.abortAll();
    m_eventHttp.abortAll();
}

bool Stream::IsRequestPending() const
{
    return m_playlistHttp.isRunning();
}

bool Stream::IsBusy() const
{
    return IsRequestPending();
}

int Stream::GetURLs(const QString &url)
{
    qDebug().noquote() << "Stream::GetURLs" << maskedAddress(url);
    return HttpGet(&m_playlistHttp, url);
}

int Stream::HttpGet(QHttpExt *http, const QString &url)
{
    return http ? http->get(url.trimmed()) : 0;
}

bool Stream::IsPlaylistAddress(const QString &url)
{
    const QByteArray bytes = url.toUtf8();
    return tunora::audio::IsPlaylistAddress(utf8View(bytes));
}

QString Stream::StationIdFromUrl(const QString &url)
{
    static const QLatin1String key("station_id=");
    const qsizetype at = url.indexOf(key);
    if (at < 0)
        return QString();
    const qsizetype begin = at + key.size();
    const qsizetype end = url.indexOf(QLatin1Char('&'), begin);
    return url.mid(begin, end < 0 ? -1 : end - begin);
}

void Stream::followRedirect(int oldId, int newId)
{
    for (int *id : {&m_playlistRequestId, &m_nestedRequestId, &m_resolveRequestId})
        if (*id == oldId)
            *id = newId;
    if (m_resolverIds.remove(oldId))
        m_resolverIds.insert(newId);
    if (const int dropped = m_droppedIds.take(oldId); dropped > 0)
        m_droppedIds[newId] += dropped;
}

void Stream::slot_Ready(const QHttpExt::httpInfo *info)
{
    if (!info)
        return;
    qDebug().noquote() << "Stream::requestFinished: " << info->id << info->failed;
    if (const int dropped = m_droppedIds.value(info->id); dropped > 0) {
        if (dropped == 1)
            m_droppedIds.remove(info->id);
        else
            m_droppedIds[info->id] = dropped - 1;
        return; // abandoned by the resolution: nobody waits for it
    }
    if (m_resolverIds.remove(info->id)) {
        m_resolveRequestId = 0;
        if (info->failed)
            resolveFailed(info->id, info->error);
        else
            resolveStep(m_resolution.documentArrived(documentText(info->data)));
        return;
    }
    if (info->failed) {
        emit sig_StreamError(this, info->id,
                             info->error.isEmpty() ? m_playlistHttp.errorText() : info->error);
        return;
    }
    QString text;
    if (!info->data.isEmpty()) {
        if (info->id != m_playlistRequestId) {
            m_nestedRequestId = info->id;
            text = QString::fromLocal8Bit(info->data);
        } else {
            text = QString::fromUtf8(info->data);
        }
    }
    emit sig_StreamReady(this, info->id, text);
}

// ---- resolution --------------------------------------------------------------------------------

bool Stream::ResolveStation(const QString &address)
{
    assertOwnerThread("Stream::ResolveStation");
    if (address.trimmed().isEmpty())
        return false;
    AbortRequests();
    resolveStep(m_resolution.start(address));
    return true;
}

void Stream::replyStarted(const QHttpExt::httpInfo *info)
{
    if (!info || m_resolveRequestId == 0 || info->id != m_resolveRequestId || !info->reply)
        return;
    if (!isAudioContentType(info->reply->header(QNetworkRequest::ContentTypeHeader).toByteArray()))
        return;
    // Audio, not a document: the address is the stream. The transfer is dropped unreported.
    const int id = m_resolveRequestId;
    m_resolveRequestId = 0;
    dropResolverDownload(id);
    m_playlistHttp.abort(id);
    resolveStep(m_resolution.isStream());
}

void Stream::resolveStep(const PlaylistResolution::Step &step)
{
    if (step.kind == PlaylistResolution::Step::Download) {
        const int id = GetURLs(step.address);
        if (id == 0) {
            resolveFailed(0, m_playlistHttp.errorText());
            return;
        }
        m_resolveRequestId = id;
        m_resolverIds.insert(id);
        return;
    }
    // The result is delivered from the event loop, never from inside the caller's own call.
    const quint64 generation = ++m_resolveGeneration;
    m_resolvePosted = true;
    QMetaObject::invokeMethod(
        this,
        [this, step, generation] {
            if (generation != m_resolveGeneration)
                return; // abandoned meanwhile
            m_resolvePosted = false;
            if (step.kind == PlaylistResolution::Step::Open) {
                SetUrls(step.urls);
                emit sig_StreamResolved(this, step.urls);
            } else {
                emit sig_StreamError(this, 0, step.error);
            }
        },
        Qt::QueuedConnection);
}

void Stream::resolveFailed(int id, const QString &error)
{
    m_resolveRequestId = 0;
    m_resolvePosted = false;
    emit sig_StreamError(this, id, error);
}

// ---- levels, boost, mono -----------------------------------------------------------------------

void Stream::ReadLevels(int *left, int *right)
{
    assertOwnerThread("Stream::ReadLevels");
    const DWORD level = HasChannel() ? ChannelGetLevel() : 0;
    // An engine error (all bits set) reads as silence, not as full scale.
    const DWORD value = level == DWORD(-1) ? 0 : level;
    const int l = int(qMin<DWORD>(value & 0xFFFF, 32768) * 100 / 32768);
    const int r = int(qMin<DWORD>(value >> 16, 32768) * 100 / 32768);
    if (left)
        *left = l;
    if (right)
        *right = r;
    if (m_levelIndex > LevelReadings - 1)
        m_levelIndex = 0;
    const std::size_t at = std::size_t(m_levelIndex);
    if (m_levelsLeft.size() <= at) {
        m_levelsLeft.resize(at + 1);
        m_levelsRight.resize(at + 1);
    }
    m_levelsLeft[at] = l;
    m_levelsRight[at] = r;
    ++m_levelIndex;
}

void Stream::AdjustGain()
{
    assertOwnerThread("Stream::AdjustGain");
    if (!HasChannel() || m_levelsLeft.empty() || m_levelsRight.empty() || m_gainSteps >= MaxGainSteps)
        return;
    auto average = [](const std::vector<qint32> &levels) {
        qint64 sum = 0;
        for (const qint32 v : levels)
            sum += v;
        return int(sum / qint64(levels.size()));
    };
    const int avg = (average(m_levelsLeft) + average(m_levelsRight)) / 2;
    if (avg == 0)
        return;
    ++m_gainSteps;
    if (avg < QuietLevelPercent)
        m_gain += GainStepDb;
    m_gain = qBound(0, m_gain, MaxGainDb);
    qDebug().noquote() << "Stream::AdjustGain gain avg " << m_gain << avg;
    ApplyGain(m_gain);
}

void Stream::ApplyGain(int gain)
{
    assertOwnerThread("Stream::ApplyGain");
    if (!HasChannel())
        return;
    CCompressor compressor;
    compressor.SetGain(float(gain));
    SetCompressor(compressor);
}

void Stream::SetMono(bool mono)
{
    assertOwnerThread("Stream::SetMono");
    m_mono = mono;
    if (mono)
        installMonoDsp();
}

void Stream::installMonoDsp()
{
    // The connect thread (OnConnected) and the GUI thread (SetMono) may both get here for the
    // same channel: the check and the install are one step, so only one DSP is installed.
    std::lock_guard<std::recursive_mutex> effects(m_effectLock);
    if (!HasChannel() || m_dspHandle)
        return;
    BASS_CHANNELINFO info{};
    if (!ChannelGetInfo(&info))
        return;
    m_dspChannels = int(info.chans);
    m_dspFloat = BASS_GetConfig(BASS_CONFIG_FLOATDSP) != 0 || (info.flags & BASS_SAMPLE_FLOAT);
    SetDsp(0);
}

void Stream::Reset()
{
    BassQt::Reset();
    m_statusText.clear();
    m_statusCode = 0;
}

void Stream::OnConnected()
{
    if (m_mono)
        installMonoDsp();
    BassQt::OnConnected();
}

void Stream::OnDsp(HDSP handle, DWORD channel, void *buffer, DWORD length)
{
    BassQt::OnDsp(handle, channel, buffer, length);
    // Only a stereo channel has a left and a right to fold together.
    if (!m_mono || !buffer || m_dspChannels != 2)
        return;
    if (m_dspFloat) {
        auto *samples = static_cast<float *>(buffer);
        const std::size_t count = length / sizeof(float);
        for (std::size_t i = 0; i + 1 < count; i += 2)
            samples[i] = samples[i + 1] = (samples[i] + samples[i + 1]) / 2.0f;
    } else {
        auto *samples = static_cast<qint16 *>(buffer);
        const std::size_t count = length / sizeof(qint16);
        for (std::size_t i = 0; i + 1 < count; i += 2)
            samples[i] = samples[i + 1] = qint16((int(samples[i]) + int(samples[i + 1])) / 2);
    }
}

} // namespace BASS
