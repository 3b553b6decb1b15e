#include "mpris.h"

#include "song.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDebug>
#include <QMetaObject>

namespace BASS {

namespace {

constexpr const char *PropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char *PlayerInterface = "org.mpris.MediaPlayer2.Player";

} // namespace

// org.mpris.MediaPlayer2: who the player is. The program has no window to raise from here and
// is not quit from the desktop.
class MprisRootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
public:
    explicit MprisRootAdaptor(MprisPlayer *player)
        : QDBusAbstractAdaptor(player)
    {}

    bool canQuit() const { return false; }
    bool canRaise() const { return false; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QLatin1String(MprisPlayer::Identity); }
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }

public slots:
    void Raise() {}
    void Quit() {}
};

// org.mpris.MediaPlayer2.Player: what plays, and the controls a live stream has.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ no)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ yes)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanControl READ yes)
public:
    explicit MprisPlayerAdaptor(MprisPlayer *player)
        : QDBusAbstractAdaptor(player)
        , m_player(player)
    {}

    QString playbackStatus() const { return m_player->playbackStatusText(); }
    double rate() const { return 1.0; }
    void setRate(double) {}
    QVariantMap metadata() const { return m_player->metadata(); }
    double volume() const { return m_player->volume() / 100.0; }
    void setVolume(double volume) { m_player->requestVolume(volume); }
    qlonglong position() const { return 0; }
    bool yes() const { return true; }
    bool no() const { return false; }

public slots:
    void Play() { emit m_player->sig_playRequested(); }
    void Pause() { emit m_player->sig_pauseRequested(); }
    void PlayPause() { emit m_player->sig_playPauseRequested(); }
    void Stop() { emit m_player->sig_stopRequested(); }
    // A live stream has no next or previous track and cannot seek.
    void Next() {}
    void Previous() {}
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath &, qlonglong) {}
    void OpenUri(const QString &) {}

signals:
    void Seeked(qlonglong position);

private:
    MprisPlayer *m_player;
};

// ---------------------------------------------------------------------------------------------

NowPlaying NowPlaying::From(const QString &stationName, const Song *song, const QString &url)
{
    NowPlaying n;
    n.station = StationName(stationName);
    if (song && !song->IsEmpty()) {
        n.artist = song->artist();
        n.song = song->title();
        n.track = song->DisplayText();
    }
    n.url = url;
    return n;
}

QString NowPlaying::StationName(const QString &stationName)
{
    const QString name = stationName.isEmpty() ? MprisPlayer::tr("Unknown Station") : stationName;
    return name.left(50).trimmed();
}

QString ExpandNowPlayingTemplate(const QString &nowPlayingTemplate, const NowPlaying &nowPlaying)
{
    // One pass, so that a title that itself contains "%url%" is not expanded again.
    static const struct
    {
        QStringView word;
        QString NowPlaying::*field;
    } words[] = {
        {u"%station%", &NowPlaying::station},
        {u"%track%", &NowPlaying::track},
        {u"%url%", &NowPlaying::url},
    };
    QString out;
    const QStringView text(nowPlayingTemplate);
    for (qsizetype i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto &w : words) {
            if (text.mid(i).startsWith(w.word)) {
                out += nowPlaying.*w.field;
                i += w.word.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += text[i++];
    }
    return out;
}

MprisPlayer::MprisPlayer(QObject *parent)
    : MprisPlayer(QDBusConnection::sessionBus(), QLatin1String(ServiceName), parent)
{}

MprisPlayer::MprisPlayer(const QDBusConnection &bus, const QString &serviceName, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    registerOnBus(serviceName);
}

MprisPlayer::~MprisPlayer()
{
    if (m_objectRegistered)
        m_bus.unregisterObject(QLatin1String(ObjectPath));
    if (!m_registeredName.isEmpty())
        m_bus.unregisterService(m_registeredName);
}

void MprisPlayer::registerOnBus(const QString &serviceName)
{
    if (!m_bus.isConnected()) {
        qDebug().noquote() << "MprisPlayer::registerOnBus no session bus; the desktop is not told what plays";
        return;
    }
    if (!m_bus.registerObject(QLatin1String(ObjectPath), this, QDBusConnection::ExportAdaptors)) {
        qDebug().noquote() << "MprisPlayer::registerOnBus cannot register" << ObjectPath;
        return;
    }
    m_objectRegistered = true;
    const QString names[] = {serviceName, serviceName + QLatin1String(".instance") +
                                              QString::number(QCoreApplication::applicationPid())};
    for (const QString &name : names) {
        if (m_bus.registerService(name)) {
            m_registeredName = name;
            return;
        }
    }
    qDebug().noquote() << "MprisPlayer::registerOnBus cannot take the name" << serviceName
                       << m_bus.lastError().message();
}

QString MprisPlayer::playbackStatusText() const
{
    switch (m_status) {
    case Status::Playing:
        return QStringLiteral("Playing");
    case Status::Paused:
        return QStringLiteral("Paused");
    case Status::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

void MprisPlayer::notifyChanged(const QVariantMap &changed)
{
    if (!m_objectRegistered)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(ObjectPath), QLatin1String(PropertiesInterface), QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(PlayerInterface) << changed << QStringList();
    m_bus.send(signal);
}

void MprisPlayer::setNowPlaying(const QString &nowPlayingTemplate, const NowPlaying &nowPlaying)
{
    QString title =
        ExpandNowPlayingTemplate(
            nowPlayingTemplate.isEmpty() ? QLatin1String(DefaultTemplate) : nowPlayingTemplate, nowPlaying)
            .trimmed();
    if (title.isEmpty())
        title = nowPlaying.station;

    QVariantMap metadata;
    metadata.insert(QStringLiteral("mpris:trackid"),
                    QVariant::fromValue(
                        QDBusObjectPath(QStringLiteral("/org/tunora/Player/Track/%1").arg(++m_trackNumber))));
    metadata.insert(QStringLiteral("xesam:title"), title);
    const QString artist = nowPlaying.artist.isEmpty() ? nowPlaying.station : nowPlaying.artist;
    if (!artist.isEmpty())
        metadata.insert(QStringLiteral("xesam:artist"), QStringList{artist});
    if (!nowPlaying.station.isEmpty())
        metadata.insert(QStringLiteral("xesam:album"), nowPlaying.station);
    if (!nowPlaying.url.isEmpty())
        metadata.insert(QStringLiteral("xesam:url"), nowPlaying.url);
    m_metadata = metadata;

    QVariantMap changed{{QStringLiteral("Metadata"), QVariant::fromValue(m_metadata)}};
    if (m_status == Status::Stopped) {
        m_status = Status::Playing;
        changed.insert(QStringLiteral("PlaybackStatus"), playbackStatusText());
    }
    notifyChanged(changed);
}

void MprisPlayer::clearNowPlaying()
{
    m_metadata.clear();
    QVariantMap changed{{QStringLiteral("Metadata"), QVariant::fromValue(m_metadata)}};
    if (m_status != Status::Stopped) {
        m_status = Status::Stopped;
        changed.insert(QStringLiteral("PlaybackStatus"), playbackStatusText());
    }
    notifyChanged(changed);
}

void MprisPlayer::setPlaybackStatus(Status status)
{
    if (status == m_status)
        return;
    m_status = status;
    notifyChanged({{QStringLiteral("PlaybackStatus"), playbackStatusText()}});
}

void MprisPlayer::setVolume(int percent)
{
    percent = qBound(0, percent, 100);
    if (percent == m_volume)
        return;
    m_volume = percent;
    notifyChanged({{QStringLiteral("Volume"), m_volume / 100.0}});
}

void MprisPlayer::requestVolume(double volume)
{
    // The desktop may ask for anything; the program's volume runs from 0 to 100.
    const int percent = qIsNaN(volume) ? m_volume : qRound(qBound(0.0, volume, 1.0) * 100);
    if (percent == m_volume)
        return;
    setVolume(percent);
    emit sig_volumeRequested(percent);
}

void MprisPlayer::postNowPlaying(const QString &nowPlayingTemplate, const NowPlaying &nowPlaying)
{
    QMetaObject::invokeMethod(
        this, [this, nowPlayingTemplate, nowPlaying] { setNowPlaying(nowPlayingTemplate, nowPlaying); },
        Qt::QueuedConnection);
}

void MprisPlayer::postClear()
{
    QMetaObject::invokeMethod(
        this, [this] { clearNowPlaying(); }, Qt::QueuedConnection);
}

void MprisPlayer::postPlaybackStatus(Status status)
{
    QMetaObject::invokeMethod(
        this, [this, status] { setPlaybackStatus(status); }, Qt::QueuedConnection);
}

void MprisPlayer::postVolume(int percent)
{
    QMetaObject::invokeMethod(
        this, [this, percent] { setVolume(percent); }, Qt::QueuedConnection);
}

} // namespace BASS

#include "mpris.moc"
