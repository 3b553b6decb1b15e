// The record control of the window: a toggle beside Play that records the playing station into
// the recordings folder (in the format and split mode of the settings), a clock of the recorded
// time, and the recording's news in the status line. A recording ends when playback stops or
// another station is chosen; the toggle can be pressed only while a station plays.

#include "tunorade.h"

#include "recording.h"
#include "recordingsettings.h"
#include "stream.h"
#include "tunorastream.h"

#include <QAction>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString ResourceRoot = QStringLiteral(":/TunoraDE/Resources/");

class RecordControl : public QObject
{
    Q_OBJECT
public:
    explicit RecordControl(TunoraDE *window);

    // Recorded time as the clock shows it: "mm:ss", with hours in front from the first hour on.
    static QString clockText(qint32 seconds);

private:
    TunoraStream *channel() const { return m_window->channel(); }
    void toggled(bool on);
    void stateChanged(int state);
    void bassEvent(BASS::BassQt *stream, uint msg, uint param);
    // The button and the clock follow the channel.
    void sync();
    void showClock();

    TunoraDE *m_window;
    QToolButton *m_button;
    QLabel *m_clock;
    QAction *m_split;
    QTimer *m_clockTimer;
    // The recording under way has reported a failure: its end keeps the failure in view.
    bool m_failed = false;
};

RecordControl::RecordControl(TunoraDE *window)
    : QObject(window)
    , m_window(window)
    , m_button(new QToolButton(window->frmDashboard))
    , m_clock(new QLabel(window->frmDashboard))
    , m_split(new QAction(tr("Split by song"), m_button))
    , m_clockTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("recordControl"));
    m_button->setObjectName(QStringLiteral("btRecord"));
    m_button->setCheckable(true);
    m_button->setAutoRaise(true);
    m_button->setCursor(Qt::PointingHandCursor);
    QIcon icon;
    icon.addFile(ResourceRoot + QStringLiteral("record.png"), QSize(), QIcon::Normal, QIcon::Off);
    icon.addFile(ResourceRoot + QStringLiteral("record_on.png"), QSize(), QIcon::Normal, QIcon::On);
    m_button->setIcon(icon);
    m_button->setIconSize(QSize(32, 32));
    m_button->setAccessibleName(tr("Record"));
    m_button->setAccessibleDescription(tr("Records the playing station into the recordings folder"));

    // The split choice is the settings' one, also offered here where a recording is begun.
    m_split->setObjectName(QStringLiteral("actionRecordSplit"));
    m_split->setCheckable(true);
    m_split->setChecked(RecordingSettings::split());
    connect(m_split, &QAction::toggled, this, [](bool on) { RecordingSettings::setSplit(on); });
    auto *menu = new QMenu(m_button);
    menu->addAction(m_split);
    connect(menu, &QMenu::aboutToShow, this, [this] {
        const QSignalBlocker block(m_split);
        m_split->setChecked(RecordingSettings::split());
    });
    m_button->setMenu(menu);
    m_button->setPopupMode(QToolButton::MenuButtonPopup);

    m_clock->setObjectName(QStringLiteral("lblRecordTime"));
    m_clock->setTextFormat(Qt::PlainText);
    m_clock->setAlignment(Qt::AlignCenter);
    m_clock->setAccessibleName(tr("Recorded time"));
    m_clock->setStyleSheet(QStringLiteral("color: #D64545; font-weight: bold;"));
    // Room for the clock also while it is empty, so that nothing moves when a recording begins.
    QFont bold = m_clock->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    m_clock->setMinimumSize(metrics.horizontalAdvance(QStringLiteral("0:00:00")) + 4, metrics.height());

    // Beside Play, the clock under the toggle.
    QVBoxLayout *controls = window->layoutControls;
    const int at = controls->indexOf(window->btPlay);
    controls->removeWidget(window->btPlay);
    auto *row = new QHBoxLayout;
    row->setSpacing(6);
    row->addWidget(window->btPlay);
    auto *column = new QVBoxLayout;
    column->setSpacing(0);
    column->addWidget(m_button, 0, Qt::AlignHCenter);
    column->addWidget(m_clock, 0, Qt::AlignHCenter);
    row->addLayout(column);
    row->setAlignment(column, Qt::AlignVCenter);
    controls->insertLayout(qMax(at, 0), row);
    QWidget::setTabOrder(window->btPlay, m_button);

    m_clockTimer->setInterval(250);
    connect(m_clockTimer, &QTimer::timeout, this, &RecordControl::showClock);
    connect(m_button, &QToolButton::clicked, this, &RecordControl::toggled);
    connect(window, &TunoraDE::signal_stateChanged, this, &RecordControl::stateChanged);
    connect(channel(), &BASS::BassQt::sig_bassEvent, this, &RecordControl::bassEvent);
    stateChanged(channel()->State());
    sync();
}

QString RecordControl::clockText(qint32 seconds)
{
    seconds = qMax(seconds, 0);
    const QString minutesSeconds = QStringLiteral("%1:%2")
                                       .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                                       .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return seconds < 3600 ? minutesSeconds : QStringLiteral("%1:%2").arg(seconds / 3600).arg(minutesSeconds);
}

void RecordControl::toggled(bool on)
{
    if (!on) {
        channel()->StopRecording();
        sync();
        return;
    }
    if (!channel()->HasChannel()) {
        sync();
        return;
    }
    BASS::CEncoderParams params = channel()->EncoderParams();
    params.format = RecordingSettings::format();
    channel()->SetEncoderParams(params);
    m_failed = false;
    // A failure is reported through EventRecordingError (the status line) and the message box.
    channel()->StartRecording(RecordingSettings::folder(), RecordingSettings::split());
    sync();
}

void RecordControl::stateChanged(int state)
{
    const bool playing = state == BASS::Stream::StatePlaying;
    // Whatever ends playback or begins another station ends the recording.
    if (!playing && (channel()->IsRecording() || channel()->IsRecordingArmed()))
        channel()->StopRecording();
    m_button->setEnabled(playing);
    sync();
}

void RecordControl::bassEvent(BASS::BassQt *stream, uint msg, uint param)
{
    if (stream != channel())
        return;
    switch (msg) {
    case BASS::EventRecordingStarted:
    case BASS::EventRecordingNextFile:
        m_window->showStatus(tr("Recording: %1").arg(QFileInfo(channel()->RecordingFileName()).fileName()));
        break;
    case BASS::EventRecordingStopped:
        if (!m_failed && !channel()->IsRecording()) {
            const QStringList files = channel()->RecordedFiles();
            if (!files.isEmpty())
                m_window->showStatus(tr("Recording saved: %1").arg(QFileInfo(files.last()).fileName()));
        }
        break;
    case BASS::EventRecordingFailed:
        m_failed = true;
        m_window->showStatus(channel()->RecordingErrorText(4));
        break;
    case BASS::EventRecordingError:
        m_failed = true;
        m_window->showStatus(channel()->RecordingErrorText(int(param)));
        break;
    default:
        return;
    }
    sync();
}

void RecordControl::sync()
{
    const bool recording = channel()->IsRecording();
    m_button->setChecked(recording);
    m_button->setToolTip(recording ? tr("Stop recording") : tr("Record the playing station"));
    if (recording && !m_clockTimer->isActive())
        m_clockTimer->start();
    else if (!recording)
        m_clockTimer->stop();
    showClock();
}

void RecordControl::showClock()
{
    m_clock->setText(channel()->IsRecording() ? clockText(channel()->RecordingSeconds()) : QString());
}

} // namespace

void TunoraDE::setupRecording()
{
    new RecordControl(this);
}

#include "tunorade_record.moc"
