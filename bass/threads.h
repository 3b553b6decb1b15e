#pragma once

// QtBassConnectThread: opens a channel's stream off the GUI thread, so that the window stays
// responsive while the engine connects, pre-buffers and fades in. One thread belongs to one
// channel for the whole run of the program and is started again for every connection; only one
// run at a time.
//
// A run opens the channel's address list (BassQt::Urls) in forward order, or from the last
// entry when SetReverse(true) was called before it; with an empty list it opens the address of
// the channel's station record. The outcome is read from the channel afterwards (a handle, or
// its error text); an aborted run raised EventConnectAborted and WasAborted() tells.

#include <QThread>

#include <atomic>

namespace BASS {

class BassQt;

class QtBassConnectThread : public QThread
{
    Q_OBJECT

public:
    explicit QtBassConnectThread(BassQt *stream, QObject *parent = nullptr);
    // Aborts a run still going and waits for it.
    ~QtBassConnectThread() override;

    // Starts a run (with the priority of the caller unless told otherwise); nothing while a run
    // goes on. An Abort() that comes after this call and before the run is under way is not
    // lost. Starting through QThread::start (a QThread pointer) behaves the same: every run
    // leaves the abort request cleared when it ends.
    void start(Priority priority = InheritPriority);

    // Abandons the run: the open gives up within one engine call, the channel is stopped and
    // EventConnectAborted raised; the thread then ends normally. Nothing happens while idle.
    // Called from the GUI thread.
    void Abort();
    // Try the list from the last entry to the first on the next run (cleared after every run).
    void SetReverse(bool reverse);
    bool IsReverse() const { return m_reverse; }
    // An abort was requested during the last run that ended.
    bool WasAborted() const { return m_wasAborted; }
    // An abort is requested for the run that is starting or going on.
    bool AbortRequested() const { return m_aborted; }
    BassQt *Stream() const { return m_stream; }

signals:
    // After every run, on the thread the object lives on.
    void signal_Finished(BASS::BassQt *stream);

protected:
    void run() override;

private slots:
    void slot_Finished();

private:
    BassQt *m_stream;                      // not owned
    std::atomic<bool> m_aborted{false};    // requested for the run that is starting or going on
    std::atomic<bool> m_wasAborted{false}; // the outcome of the last run
    std::atomic<bool> m_reverse{false};
};

} // namespace BASS
