#include "threads.h"

#include "bassqt.h"

namespace BASS {

QtBassConnectThread::QtBassConnectThread(BassQt *stream, QObject *parent)
    : QThread(parent)
    , m_stream(stream)
{
    connect(this, &QThread::finished, this, &QtBassConnectThread::slot_Finished);
}

QtBassConnectThread::~QtBassConnectThread()
{
    Abort();
    wait();
}

void QtBassConnectThread::start(Priority priority)
{
    if (isRunning())
        return;
    // Normally already clear (run() clears it at its end); an Abort() that raced the end of the
    // previous run must not abandon this one.
    m_aborted = false;
    QThread::start(priority);
}

void QtBassConnectThread::Abort()
{
    if (!isRunning() || !m_stream)
        return;
    // The mark first: a run that has not yet cleared the channel's flag sees it (run()).
    m_aborted = true;
    m_stream->RequestAbort();
}

void QtBassConnectThread::SetReverse(bool reverse)
{
    m_reverse = reverse;
}

void QtBassConnectThread::run()
{
    if (!m_stream)
        return;
    m_stream->ClearAbort();
    if (m_aborted) {
        // Abandoned before the open began: nothing to stop, but the owner hears of it as of any
        // other abort.
        m_stream->OnConnectAborted();
    } else {
        const QStringList urls = m_stream->Urls();
        if (urls.isEmpty()) {
            const BASS::Station station = m_stream->GetStation();
            QString address = station.currentStream().url;
            if (address.isEmpty())
                address = station.firstStreamUrl();
            m_stream->OpenURL(address, 0);
        } else {
            m_stream->OpenURLList(urls, m_reverse, 0);
        }
    }
    m_reverse = false;
    // The request belongs to this run: the next one starts clear however it is started.
    m_wasAborted = m_aborted.exchange(false);
}

void QtBassConnectThread::slot_Finished()
{
    emit signal_Finished(m_stream);
}

} // namespace BASS
