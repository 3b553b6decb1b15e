#include "recording.h"

#include "bassinit.h"
#include "cbass.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace BASS {

// ---- CEncoderParams ----------------------------------------------------------------------------

QString CEncoderParams::DefaultEncoder(qint32 format)
{
    switch (format) {
    case RecordStreamData:
        return QString();
    case RecordWma:
        return QStringLiteral("wmav2");
    case RecordAac:
        return QStringLiteral("aac");
    case RecordOgg:
        return QStringLiteral("libvorbis");
    default:
        return QStringLiteral("libmp3lame");
    }
}

QString CEncoderParams::Encoder(qint32 format) const
{
    return encoder.isEmpty() ? DefaultEncoder(format) : encoder;
}

quint32 CEncoderParams::Bitrate(qint32 format) const
{
    if (format == RecordMp3 && bitrateKbps != 0 && (bitrateKbps < 32 || bitrateKbps > 320))
        return 128;
    return bitrateKbps;
}

// ---- OggPages ------------------------------------------------------------------------------------

qint64 OggPages::Feed(const uchar *data, qint64 length)
{
    qint64 firstPage = -1;
    qint64 at = 0;
    while (at < length && m_state != State::Other) {
        if (m_bodyLeft < 0) {
            // Reading a page header: 27 fixed bytes, then the segment table.
            if (m_pageHead.isEmpty()) {
                if (firstPage < 0)
                    firstPage = at;
            }
            const qsizetype need = m_pageHead.size() < 27 ? 27 - m_pageHead.size()
                                                          : 27 + uchar(m_pageHead.at(26)) - m_pageHead.size();
            const qint64 take = qMin<qint64>(need, length - at);
            m_pageHead.append(reinterpret_cast<const char *>(data + at), take);
            at += take;
            if (m_pageHead.size() >= 4 && !m_pageHead.startsWith("OggS")) {
                // Not (or no longer) a page where one must begin: not an Ogg stream to follow.
                m_state = State::Other;
                break;
            }
            m_state = State::Ogg;
            if (m_pageHead.size() < 27 || m_pageHead.size() < 27 + uchar(m_pageHead.at(26)))
                continue;
            qint64 body = 0;
            for (int i = 0; i < uchar(m_pageHead.at(26)); ++i)
                body += uchar(m_pageHead.at(27 + i));
            const bool firstOfStream = uchar(m_pageHead.at(5)) & 0x02;
            if (firstOfStream) {
                m_collecting = true;
                m_headersDone = false;
                m_headers.clear();
            }
            // Header pages carry no audio: a granule position of 0.
            qint64 granule = 0;
            for (int i = 0; i < 8; ++i)
                granule |= qint64(uchar(m_pageHead.at(6 + i))) << (8 * i);
            if (m_collecting && granule != 0) {
                m_collecting = false;
                m_headersDone = !m_headers.isEmpty();
            }
            m_page = m_collecting ? m_pageHead : QByteArray();
            m_bodyLeft = body;
            if (body == 0)
                pageDone();
            continue;
        }
        const qint64 take = qMin(m_bodyLeft, length - at);
        if (m_collecting)
            m_page.append(reinterpret_cast<const char *>(data + at), take);
        at += take;
        m_bodyLeft -= take;
        if (m_bodyLeft == 0)
            pageDone();
    }
    return firstPage;
}

void OggPages::pageDone()
{
    if (m_collecting) {
        m_headers += m_page;
        if (m_headers.size() > MaxHeaderBytes)
            m_state = State::Other;
    }
    m_page.clear();
    m_pageHead.clear();
    m_bodyLeft = -1;
}

// ---- CRecording ---------------------------------------------------------------------------------

CRecording::~CRecording()
{
    Close();
    UnwatchTitles();
}

void CRecording::BeginStream()
{
    m_ogg.Reset();
    m_observed.store(0, std::memory_order_relaxed);
    m_contiguous = 0;
    QMutexLocker lock(&m_titlesLock);
    m_titles.clear();
}

QString CRecording::Extension(qint32 format, DWORD ctype)
{
    switch (format) {
    case RecordStreamData:
        switch (ctype) {
        case BASS_CTYPE_STREAM_OGG:
            return QStringLiteral("ogg");
        case BASS_CTYPE_STREAM_OPUS:
            return QStringLiteral("opus");
        case BASS_CTYPE_STREAM_MP1:
            return QStringLiteral("mp1");
        case BASS_CTYPE_STREAM_MP2:
            return QStringLiteral("mp2");
        case BASS_CTYPE_STREAM_AAC:
            return QStringLiteral("aac");
        case BASS_CTYPE_STREAM_MP4:
            return QStringLiteral("m4a");
        case BASS_CTYPE_STREAM_WMA:
        case BASS_CTYPE_STREAM_WMA_MP3:
            return QStringLiteral("wma");
        case BASS_CTYPE_STREAM_FLAC:
            return QStringLiteral("flac");
        case BASS_CTYPE_STREAM_FLAC_OGG:
            return QStringLiteral("oga");
        case BASS_CTYPE_STREAM_WAV_PCM:
            return QStringLiteral("wav");
        default:
            return QStringLiteral("mp3");
        }
    case RecordWma:
        return QStringLiteral("wma");
    case RecordAac:
        return QStringLiteral("aac");
    case RecordOgg:
        return QStringLiteral("ogg");
    default:
        return QStringLiteral("mp3");
    }
}

qint32 CRecording::OwnFormat(DWORD ctype)
{
    switch (ctype) {
    case BASS_CTYPE_STREAM_MP3:
        return RecordMp3;
    case BASS_CTYPE_STREAM_WMA:
        return RecordWma;
    case BASS_CTYPE_STREAM_AAC:
        return RecordAac;
    case BASS_CTYPE_STREAM_OGG:
        return RecordOgg;
    default:
        return RecordStreamData;
    }
}

QString CRecording::SafeFileName(const QString &name)
{
    // Through UTF-8 and back: unpaired surrogates become replacement characters.
    const QString text = QString::fromUtf8(name.toUtf8());
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const bool control = c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0);
        out += (control || c == QLatin1Char('/') || c == QLatin1Char('\\')) ? QLatin1Char('_') : c;
    }
    qsizetype start = 0;
    while (start < out.size() && (out.at(start) == QLatin1Char('.') || out.at(start).isSpace()))
        ++start;
    out = out.mid(start);
    // Cut at a whole character (a surrogate pair stays together) within the byte budget.
    qsizetype bytes = 0;
    qsizetype keep = 0;
    while (keep < out.size()) {
        const qsizetype step = (out.at(keep).isHighSurrogate() && keep + 1 < out.size()) ? 2 : 1;
        const qsizetype size = out.mid(keep, step).toUtf8().size();
        if (bytes + size > MaxBaseNameBytes)
            break;
        bytes += size;
        keep += step;
    }
    return out.left(keep).trimmed();
}

QString CRecording::UniquePath(const QString &base, const QString &extension)
{
    QString file = base + QLatin1Char('.') + extension;
    // Past ten, unlike a fixed number of tries that would end in overwriting the last one.
    for (int n = 1; QFileInfo::exists(file); ++n) {
        if (n > 100000)
            return QString();
        file = QStringLiteral("%1(%2).%3").arg(base).arg(n).arg(extension);
    }
    return file;
}

bool CRecording::OpenRaw(const QString &file, int *code, bool adts)
{
    m_adts = adts;
    m_frameSearch.clear();
    Close();
    m_raw.setFileName(file);
    // Unbuffered: a failed write is known at once (a full disk), not at a later flush.
    if (!m_raw.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
        *code = 3;
        return false;
    }
    m_fileName = file;
    m_since.start();
    m_contiguous = 0;
    m_waitForPage = m_ogg.IsOgg();
    m_frameSearch = adts ? QByteArray("") : QByteArray();
    return true;
}

void CRecording::Observe(const void *buffer, qint64 length)
{
    m_pageStart = m_ogg.Feed(static_cast<const uchar *>(buffer), length);
    m_observed.fetch_add(length, std::memory_order_relaxed);
}

namespace {

// The length of the ADTS frame whose header begins at `p` (at least 7 bytes there); 0 when none.
int adtsFrameLength(const uchar *p)
{
    if (p[0] != 0xff || (p[1] & 0xf6) != 0xf0) // sync word, layer 0
        return 0;
    const int length = ((p[3] & 0x03) << 11) | (p[4] << 3) | (p[5] >> 5);
    return length >= 7 ? length : 0;
}

// Where the first ADTS frame begins that is followed by another of the same layout; -1 when
// none is found (yet).
qsizetype firstAdtsFrame(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    for (qsizetype at = 0; at + 7 <= bytes.size(); ++at) {
        const int length = adtsFrameLength(p + at);
        if (!length || at + length + 7 > bytes.size())
            continue;
        const uchar *next = p + at + length;
        // Same rate and channel layout in both headers.
        if (adtsFrameLength(next) && (next[2] & 0xfd) == (p[at + 2] & 0xfd) &&
            (next[3] & 0xc0) == (p[at + 3] & 0xc0))
            return at;
    }
    return -1;
}

} // namespace

bool CRecording::WriteRaw(const void *buffer, qint64 length)
{
    if (!m_raw.isOpen())
        return false;
    const char *data = static_cast<const char *>(buffer);
    if (!m_frameSearch.isNull()) {
        // An ADTS file begins at a frame: what comes before belongs to a frame begun earlier.
        m_frameSearch.append(data, length);
        qsizetype start = firstAdtsFrame(m_frameSearch);
        if (start < 0 && m_frameSearch.size() < 64 * 1024)
            return true;
        const QByteArray pending = m_frameSearch.mid(qMax<qsizetype>(start, 0));
        m_frameSearch = QByteArray();
        m_contiguous = pending.size();
        return m_raw.write(pending) == pending.size();
    }
    if (m_waitForPage) {
        if (m_pageStart < 0)
            return true; // still inside the page that was under way when the file began
        m_waitForPage = false;
        const QByteArray headers = m_ogg.Headers();
        if (m_raw.write(headers) != headers.size())
            return false;
        data += m_pageStart;
        length -= m_pageStart;
        m_contiguous = 0;
    }
    m_contiguous += length;
    return m_raw.write(data, length) == length;
}

void CRecording::WatchTitles(HSTREAM channel)
{
    UnwatchTitles();
    // At decode time (MIXTIME): the decoder has just consumed the bytes up to the title.
    m_titleSync =
        BASS_ChannelSetSync(channel, BASS_SYNC_META | BASS_SYNC_MIXTIME, 0, &titleDecodedProc, this);
    m_titleChannel = m_titleSync ? channel : 0;
}

void CRecording::UnwatchTitles()
{
    if (m_titleSync)
        BASS_ChannelRemoveSync(m_titleChannel, m_titleSync);
    m_titleSync = 0;
    m_titleChannel = 0;
}

void CALLBACK CRecording::titleDecodedProc(HSYNC handle, DWORD channel, DWORD data, void *user)
{
    Q_UNUSED(handle);
    Q_UNUSED(data);
    auto *self = static_cast<CRecording *>(user);
    const char *meta = BASS_ChannelGetTags(channel, BASS_TAG_META);
    // What was downloaded but not yet decoded lies between the title and the observed end; read
    // again when a block was observed meanwhile.
    qint64 at = -1;
    for (int attempt = 0; attempt < 3 && at < 0; ++attempt) {
        const qint64 observed = self->ObservedBytes();
        const QWORD downloaded = BASS_StreamGetFilePosition(channel, BASS_FILEPOS_DOWNLOAD);
        const QWORD consumed = BASS_StreamGetFilePosition(channel, BASS_FILEPOS_CURRENT);
        if (downloaded == QWORD(-1) || consumed == QWORD(-1))
            return;
        if (self->ObservedBytes() == observed)
            at = qMax<qint64>(observed - qMax<qint64>(qint64(downloaded) - qint64(consumed), 0), 0);
    }
    if (at < 0)
        return;
    QMutexLocker lock(&self->m_titlesLock);
    self->m_titles.emplace_back(QByteArray(meta ? meta : ""), at);
    while (self->m_titles.size() > 64)
        self->m_titles.pop_front();
}

qint64 CRecording::TakeTitleOffset(const QByteArray &meta)
{
    QMutexLocker lock(&m_titlesLock);
    for (auto it = m_titles.begin(); it != m_titles.end(); ++it) {
        if (it->first == meta) {
            const qint64 at = it->second;
            m_titles.erase(m_titles.begin(), it + 1);
            return at;
        }
    }
    return -1;
}

bool CRecording::cutAt(qint64 at, QByteArray *carry)
{
    if (at < 0 || !m_raw.isOpen() || m_ogg.IsOgg() || !m_frameSearch.isNull())
        return false;
    const qint64 move = ObservedBytes() - at;
    if (move <= 0 || move > m_contiguous || move > MaxCarryBytes)
        return false;
    const qint64 size = m_raw.size();
    QFile reader(m_raw.fileName());
    if (!reader.open(QIODevice::ReadOnly) || !reader.seek(size - move))
        return false;
    *carry = reader.read(move);
    if (carry->size() != move || !m_raw.resize(size - move))
        return false;
    m_contiguous -= move;
    return true;
}

bool CRecording::SwitchFileAt(const QString &file, qint64 at, int *code)
{
    QByteArray carry;
    if (m_encoder || !cutAt(at, &carry))
        return SwitchFile(file, code);
    if (!OpenRaw(file, code, m_adts))
        return false;
    if (!WriteRaw(carry.constData(), carry.size())) {
        *code = 4;
        return false;
    }
    return true;
}

bool CRecording::TruncateAt(qint64 at)
{
    QByteArray carry;
    return !m_encoder && cutAt(at, &carry);
}

bool CRecording::OpenEncoder(HSTREAM channel, const QString &encoder, quint32 kbps, const QString &file,
                             ENCODENOTIFYPROC *notify, void *user, int *code)
{
    Close();
    if (!BASS_Encode_CodecAvailable(encoder.toUtf8().constData())) {
        *code = 2;
        return false;
    }
    m_encoder = BASS_Encode_StartFile(channel, encoder.toUtf8().constData(), kbps,
                                      QFile::encodeName(file).constData(), notify, user);
    if (!m_encoder) {
        const int error = BASS_ErrorGetCode();
        *code = error == BASS_ERROR_CODEC ? 2 : error == BASS_ERROR_CREATE ? 3 : 0;
        return false;
    }
    m_fileName = file;
    m_since.start();
    return true;
}

bool CRecording::SwitchFile(const QString &file, int *code)
{
    if (m_encoder) {
        if (!BASS_Encode_SetFile(m_encoder, QFile::encodeName(file).constData())) {
            *code = BASS_ErrorGetCode() == BASS_ERROR_CREATE ? 3 : 5;
            return false;
        }
        m_fileName = file;
        m_since.start();
        return true;
    }
    return OpenRaw(file, code, m_adts);
}

bool CRecording::Rename(const QString &file)
{
    if (m_fileName.isEmpty() || file == m_fileName)
        return false;
    // rename(2) keeps the open descriptor writing into the renamed file.
    if (!QFile::rename(m_fileName, file))
        return false;
    m_fileName = file;
    return true;
}

HENCODE CRecording::TakeEncoder()
{
    const HENCODE encoder = m_encoder;
    m_encoder = 0;
    return encoder;
}

void CRecording::Close()
{
    if (m_encoder)
        BASS_Encode_Stop(m_encoder);
    m_encoder = 0;
    if (m_raw.isOpen())
        m_raw.close();
    m_fileName.clear();
    m_since.invalidate();
}

// ---- CBass: recording ----------------------------------------------------------------------------

namespace {

// Every recording failure: first the code, for a window that shows it in its own place, then the
// text for the listener.
void reportFailure(CBass &channel, int code, const QString &detail)
{
    channel.Notify(EventRecordingError, uint(code));
    channel.ReportRecordingError(code, detail);
}

// Ends the writer and clears the recording state (with the record lock held). Answers the
// encoder, which the caller stops once the lock is released.
HENCODE closeRecording(CRecording &recording, CRecord &record, quint32 &writeFailures)
{
    const HENCODE encoder = recording.TakeEncoder();
    recording.Close();
    recording.UnwatchTitles();
    record.Clear();
    writeFailures = 0;
    return encoder;
}

} // namespace

bool CBass::IsEncoding() const
{
    QMutexLocker record(&m_recordLock);
    return m_recording.Encoder() && BASS_Encode_IsActive(m_recording.Encoder()) == BASS_ENCODE_ACTIVE_RUNNING;
}

void CBass::SetEncoderParams(const CEncoderParams &params)
{
    QMutexLocker record(&m_recordLock);
    m_encoderParams = params;
}

CEncoderParams CBass::EncoderParams() const
{
    QMutexLocker record(&m_recordLock);
    return m_encoderParams;
}

QString CBass::RecordingFileName() const
{
    QMutexLocker record(&m_recordLock);
    return m_recording.FileName();
}

qint32 CBass::RecordingSeconds() const
{
    QMutexLocker record(&m_recordLock);
    return m_record.recordedSeconds;
}

QStringList CBass::RecordedFiles() const
{
    QMutexLocker record(&m_recordLock);
    return m_recordedFiles;
}

bool CBass::EncoderExists(const QString &encoder) const
{
    return !encoder.isEmpty() && BASS_Encode_CodecAvailable(encoder.toUtf8().constData());
}

QString CBass::FileExtension() const
{
    DWORD ctype;
    {
        QMutexLocker meta(&m_metaLock);
        ctype = m_channelInfo.ctype;
    }
    QMutexLocker record(&m_recordLock);
    const qint32 format = m_record.active ? m_record.format : m_encoderParams.format;
    return CRecording::Extension(format, ctype);
}

QString CBass::RecordingName(bool fromSong) const
{
    QString name = StationNameText(50).simplified();
    if (fromSong) {
        const Song song = CurrentSong();
        if (!song.IsEmpty()) {
            name = song.artist();
            if (!song.title().isEmpty())
                name += QStringLiteral(" - ") + song.title();
        }
    }
    if (name.size() <= 5) {
        const QDateTime now = QDateTime::currentDateTime();
        name = QStringLiteral("%1 - %2_%3")
                   .arg(name, now.date().toString(QStringLiteral("dd.MMM.yyyy")),
                        now.time().toString(QStringLiteral("hh.mm")));
    }
    return name.left(120);
}

bool CBass::StartRecording(const QString &directory, bool split)
{
    if (!HasChannel()) {
        reportFailure(*this, 1, tr("Nothing is playing"));
        return false;
    }
    StopRecording();
    const QDir folder(directory);
    if (directory.isEmpty() || !folder.mkpath(QStringLiteral("."))) {
        reportFailure(*this, 3, directory);
        return false;
    }
    qint32 format;
    {
        QMutexLocker record(&m_recordLock);
        m_recordDirectory = folder.absolutePath();
        format = m_encoderParams.format;
    }
    const QString name = CRecording::SafeFileName(RecordingName(!split));
    return OpenRecording(folder.absoluteFilePath(name), split, format);
}

bool CBass::OpenRecording(const QString &path, bool split, qint32 format)
{
    const QString base = QFileInfo(path).absolutePath() + QLatin1Char('/') +
                         CRecording::SafeFileName(QFileInfo(path).fileName());
    int code = 0;
    QString file;
    bool started = false;
    DWORD ctype;
    {
        QMutexLocker meta(&m_metaLock);
        ctype = m_channelInfo.ctype;
    }
    {
        QMutexLocker record(&m_recordLock);
        if (m_record.active || m_recording.IsOpen())
            code = 0; // one recording at a time: StopRecording first
        else {
            if (format == CRecording::OwnFormat(ctype))
                format = RecordStreamData;
            if (format < RecordStreamData || format > RecordOgg)
                format = RecordMp3;
            m_record.Clear();
            m_record.split = split;
            m_record.format = format;
            m_record.mp3Bitrate = format == RecordMp3 ? m_encoderParams.Bitrate(format) : 0;
            if (m_recordDirectory.isEmpty())
                m_recordDirectory = QFileInfo(path).absolutePath();
            file = CRecording::UniquePath(base, CRecording::Extension(format, ctype));
            if (file.isEmpty()) {
                code = 3;
            } else if (format == RecordStreamData) {
                started = m_recording.OpenRaw(file, &code, ctype == BASS_CTYPE_STREAM_AAC);
            } else {
                started = m_recording.OpenEncoder(Handle(), m_encoderParams.Encoder(format),
                                                  m_encoderParams.Bitrate(format), file, &EncodeNotifyProc,
                                                  this, &code);
            }
            if (started) {
                if (format == RecordStreamData)
                    m_recording.WatchTitles(Handle());
                m_record.active = true;
                m_record.encoder = m_recording.Encoder();
                m_record.fileName = file;
                m_recordedFiles = QStringList{file};
                m_writeFailures = 0;
            }
        }
    }
    if (!started) {
        QString detail = file.isEmpty() ? base : file;
        if (code == 2)
            detail = EncoderParams().Encoder(format);
        else if (code == 0)
            detail = BassErrorText(BASS_ErrorGetCode());
        reportFailure(*this, code, detail);
        StopRecording();
        return false;
    }
    qDebug().noquote() << "CBass::OpenRecording" << file;
    Notify(EventRecordingStarted, 0);
    return true;
}

void CBass::StopRecording()
{
    HENCODE encoder;
    {
        QMutexLocker record(&m_recordLock);
        if (!m_record.active && !m_record.armed)
            return;
        // The encoder is stopped outside the lock: its thread may be reporting a failure and
        // waiting for this lock.
        encoder = closeRecording(m_recording, m_record, m_writeFailures);
    }
    if (encoder)
        BASS_Encode_Stop(encoder); // encodes what it holds, finishes and closes the file
    Notify(EventRecordingStopped, 0);
}

void CBass::OnRecordingTitleChanged()
{
    {
        QMutexLocker record(&m_recordLock);
        if (!m_record.active) {
            if (m_record.armed)
                m_record.waitedSeconds = 0; // the wait for a title begins again
            return;
        }
    }
    {
        // The previous song's file is finished; its copy has done its work.
        QMutexLocker songs(&m_songLock);
        m_previousSong.Clear();
    }
    const QString name = CRecording::SafeFileName(RecordingName(true));
    DWORD ctype;
    {
        QMutexLocker meta(&m_metaLock);
        ctype = m_channelInfo.ctype;
    }
    // The title's ICY block as it is heard now: it finds where the title began in the bytes.
    const char *heard = HasChannel() ? BASS_ChannelGetTags(Handle(), BASS_TAG_META) : nullptr;
    const QByteArray meta(heard ? heard : "");
    bool stop = false;
    bool next = false;
    bool ended = false;
    HENCODE endedEncoder = 0;
    int code = 0;
    QString failedFile;
    {
        QMutexLocker record(&m_recordLock);
        if (!m_record.active)
            return;
        const qint64 titleAt = m_record.format == RecordStreamData ? m_recording.TakeTitleOffset(meta) : -1;
        const QString base = m_recordDirectory + QLatin1Char('/') + name;
        const QString extension = CRecording::Extension(m_record.format, ctype);
        if (m_recording.FileAgeMs() < CRecording::MinFileSeconds * 1000) {
            // A title event right after the file began (a repeated or corrected title): no file
            // of a few seconds; the file goes on under the new name.
            const QString plain = base + QLatin1Char('.') + extension;
            if (plain != m_recording.FileName()) {
                const QString target = CRecording::UniquePath(base, extension);
                if (!target.isEmpty() && m_recording.Rename(target)) {
                    m_record.fileName = target;
                    if (!m_recordedFiles.isEmpty())
                        m_recordedFiles.last() = target;
                    next = true;
                }
            }
        } else if (!m_record.split) {
            // The song that was being recorded has ended: its file ends where the next began,
            // before another block of the next song can reach it.
            m_recording.TruncateAt(titleAt);
            endedEncoder = closeRecording(m_recording, m_record, m_writeFailures);
            ended = true;
        } else {
            const QString target = CRecording::UniquePath(base, extension);
            if (!target.isEmpty() && m_recording.SwitchFileAt(target, titleAt, &code)) {
                m_record.fileName = target;
                m_recordedFiles.append(target);
                next = true;
            } else {
                failedFile = target.isEmpty() ? base : target;
                if (!code)
                    code = 3;
                stop = true;
            }
        }
    }
    if (next)
        Notify(EventRecordingNextFile, 0);
    if (code)
        reportFailure(*this, code, failedFile);
    if (ended) {
        if (endedEncoder)
            BASS_Encode_Stop(endedEncoder);
        Notify(EventRecordingStopped, 0);
    }
    if (stop)
        StopRecording();
}

bool CBass::WriteRecordedData(const void *buffer, DWORD length)
{
    // Called by OnStreamData with m_recordLock held.
    if (m_recording.WriteRaw(buffer, length))
        return true;
    if (m_writeFailures == 2) // the third failure in a row ends the recording
        reportFailure(*this, 4, m_recording.FileName());
    return false;
}

void CBass::OnEncoderNotify(HENCODE handle, DWORD status)
{
    QString file;
    {
        QMutexLocker record(&m_recordLock);
        if (!m_record.active || m_recording.Encoder() != handle)
            return; // a recording that is being stopped, or one before the current
        file = m_recording.FileName();
    }
    const int code = status == BASS_ENCODE_NOTIFY_WRITE ? 4 : status == BASS_ENCODE_NOTIFY_CREATE ? 3 : 5;
    qDebug().noquote() << "CBass::OnEncoderNotify" << status << file;
    Notify(EventRecordingFailed, 0);
    reportFailure(*this, code, file);
    StopRecording();
}

void CALLBACK CBass::EncodeNotifyProc(HENCODE handle, DWORD status, void *user)
{
    if (user)
        static_cast<CBass *>(user)->OnEncoderNotify(handle, status);
}

} // namespace BASS
