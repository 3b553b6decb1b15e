// The desktop now-playing entry, read back over a private session bus through a connection of
// its own, the way a desktop shell sees it.

#include "mpris.h"
#include "song.h"
#include "testmain.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

using namespace BASS;

namespace {

const QString Service = QStringLiteral("org.mpris.MediaPlayer2.tunora");
const QString Path = QStringLiteral("/org/mpris/MediaPlayer2");
const QString Properties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString Root = QStringLiteral("org.mpris.MediaPlayer2");
const QString Player = QStringLiteral("org.mpris.MediaPlayer2.Player");

// A variant as it arrives from the bus, with maps unpacked.
QVariant unpack(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
        QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            it.value() = unpack(it.value());
        return map;
    }
    if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        if (argument.currentType() == QDBusArgument::MapType)
            return unpack(qdbus_cast<QVariantMap>(argument));
        if (argument.currentSignature() == QLatin1String("as"))
            return qdbus_cast<QStringList>(argument);
    }
    if (value.metaType() == QMetaType::fromType<QDBusVariant>())
        return unpack(value.value<QDBusVariant>().variant());
    return value;
}

} // namespace

// Records the PropertiesChanged signals of the player.
class ChangeRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QVariantMap> changes;

public slots:
    void changed(const QString &interface, const QVariantMap &changed, const QStringList &)
    {
        if (interface == Player)
            changes.append(unpack(changed).toMap());
    }
};

class TestMpris : public QObject
{
    Q_OBJECT

    QDBusConnection m_probe{QString()};
    MprisPlayer *m_player = nullptr;
    ChangeRecorder *m_recorder = nullptr;

    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &args = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(Service, Path, interface, method);
        message.setArguments(args);
        // Asynchronous, so that this thread keeps serving the player while it waits.
        QDBusPendingCall pending = m_probe.asyncCall(message, 5000);
        QDBusPendingCallWatcher watcher(pending);
        if (!watcher.isFinished()) {
            QSignalSpy finished(&watcher, &QDBusPendingCallWatcher::finished);
            finished.wait(5000);
        }
        return pending.reply();
    }

    QVariant property(const QString &interface, const QString &name)
    {
        const QDBusMessage reply = call(Properties, QStringLiteral("Get"), {interface, name});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return QVariant();
        return unpack(reply.arguments().first());
    }

    bool setProperty(const QString &interface, const QString &name, const QVariant &value)
    {
        const QDBusMessage reply = call(Properties, QStringLiteral("Set"),
                                        {interface, name, QVariant::fromValue(QDBusVariant(value))});
        return reply.type() == QDBusMessage::ReplyMessage;
    }

    QVariantMap published() { return property(Player, QStringLiteral("Metadata")).toMap(); }
    QString status() { return property(Player, QStringLiteral("PlaybackStatus")).toString(); }
    void publish()
    {
        m_player->setNowPlaying(QString(), NowPlaying::From(QStringLiteral("R"), nullptr, QString()));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "runs inside dbus-run-session");
        m_probe = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("probe"));
        QVERIFY(m_probe.isConnected());
    }

    void init()
    {
        m_player = new MprisPlayer;
        QVERIFY(m_player->isRegistered());
        QCOMPARE(m_player->registeredName(), Service);
        m_recorder = new ChangeRecorder;
        QVERIFY(m_probe.connect(Service, Path, Properties, QStringLiteral("PropertiesChanged"), m_recorder,
                                SLOT(changed(QString, QVariantMap, QStringList))));
    }

    void cleanup()
    {
        m_probe.disconnect(Service, Path, Properties, QStringLiteral("PropertiesChanged"), m_recorder,
                           SLOT(changed(QString, QVariantMap, QStringList)));
        delete m_recorder;
        m_recorder = nullptr;
        delete m_player;
        m_player = nullptr;
    }

    void metadata_data()
    {
        // clang-format off
        QTest::addColumn<QString>("nowPlayingTemplate");
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("song");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("publishedArtist");
        QTest::addColumn<QString>("album");

        QTest::newRow("no song yet: the station") << "%track%" << "Radio One" << "" << "" << "Radio One" << "Radio One" << "Radio One";
        QTest::newRow("long station name cut") << "%station%" << QString(80, QLatin1Char('S')) << "A" << "B" << QString(50, QLatin1Char('S')) << "A" << QString(50, QLatin1Char('S'));
        QTest::newRow("words in the title are not expanded again") << "%track%" << "Radio" << "DJ %url%" << "%station%" << "DJ %url% - %station%" << "DJ %url%" << "Radio";
        // clang-format on
    }

    void metadata()
    {
        QFETCH(QString, nowPlayingTemplate);
        QFETCH(QString, station);
        QFETCH(QString, artist);
        QFETCH(QString, song);
        QFETCH(QString, title);
        QFETCH(QString, publishedArtist);
        QFETCH(QString, album);

        const QString url = QStringLiteral("http://u");
        Song current;
        current.setArtist(artist);
        current.setTitle(song);
        m_player->setNowPlaying(nowPlayingTemplate, NowPlaying::From(station, &current, url));

        const QVariantMap metadata = published();
        QCOMPARE(metadata.value(QStringLiteral("xesam:title")).toString(), title);
        // The types the MPRIS interface defines: a list of artists, a track path.
        QCOMPARE(metadata.value(QStringLiteral("xesam:artist")).metaType(),
                 QMetaType::fromType<QStringList>());
        QCOMPARE(metadata.value(QStringLiteral("xesam:artist")).toStringList(), QStringList{publishedArtist});
        QCOMPARE(metadata.value(QStringLiteral("xesam:album")).toString(), album);
        QCOMPARE(metadata.value(QStringLiteral("xesam:url")).toString(), url);
        QVERIFY(metadata.value(QStringLiteral("mpris:trackid"))
                    .value<QDBusObjectPath>()
                    .path()
                    .startsWith(QLatin1String("/org/tunora/")));

        // The shell learns of it without asking.
        QTRY_COMPARE(m_recorder->changes.size(), 1);
        QCOMPARE(m_recorder->changes.first().value(QStringLiteral("Metadata")).toMap(), metadata);
        QCOMPARE(m_recorder->changes.first().value(QStringLiteral("PlaybackStatus")).toString(),
                 QStringLiteral("Playing"));
    }

    // A new title while paused is a new track, and does not claim that the stream plays.
    void pausedNewTitle()
    {
        QCOMPARE(property(Root, QStringLiteral("Identity")).toString(), QStringLiteral("Tunora Player"));
        QCOMPARE(status(), QStringLiteral("Stopped"));
        publish();
        const QString firstTrack =
            published().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
        m_player->setPlaybackStatus(MprisPlayer::Status::Paused);
        publish();
        QVERIFY(published().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path() !=
                firstTrack);
        QCOMPARE(status(), QStringLiteral("Paused"));
        m_player->clearNowPlaying();
        QCOMPARE(published(), QVariantMap());
        QCOMPARE(status(), QStringLiteral("Stopped"));
    }

    void controls_data()
    {
        // clang-format off
        QTest::addColumn<QString>("method");
        QTest::addColumn<QByteArray>("signal");
        QTest::newRow("Play") << "Play" << QByteArray(SIGNAL(sig_playRequested()));
        QTest::newRow("Pause") << "Pause" << QByteArray(SIGNAL(sig_pauseRequested()));
        QTest::newRow("PlayPause") << "PlayPause" << QByteArray(SIGNAL(sig_playPauseRequested()));
        QTest::newRow("Stop") << "Stop" << QByteArray(SIGNAL(sig_stopRequested()));
        // clang-format on
    }

    void controls()
    {
        QFETCH(QString, method);
        QFETCH(QByteArray, signal);
        QSignalSpy wanted(m_player, signal.constData());
        QSignalSpy play(m_player, &MprisPlayer::sig_playRequested);
        QSignalSpy stop(m_player, &MprisPlayer::sig_stopRequested);
        QCOMPARE(call(Player, method).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(wanted.size(), 1);
        // Exactly the one control was raised.
        QCOMPARE(play.size() + stop.size(),
                 (method == QLatin1String("Play") || method == QLatin1String("Stop")) ? 1 : 0);

        // Controls a live stream does not have are accepted and do nothing.
        QCOMPARE(call(Player, QStringLiteral("Next")).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(wanted.size(), 1);
    }

    void volume_data()
    {
        // clang-format off
        QTest::addColumn<double>("requested");
        QTest::addColumn<int>("percent");
        QTest::newRow("rounded") << 0.555 << 56;
        QTest::newRow("above the range") << 1.7 << 100;
        QTest::newRow("below the range") << -0.5 << 0;
        // clang-format on
    }

    void volume()
    {
        QFETCH(double, requested);
        QFETCH(int, percent);
        m_player->setVolume(50);
        QSignalSpy spy(m_player, &MprisPlayer::sig_volumeRequested);
        QVERIFY(setProperty(Player, QStringLiteral("Volume"), requested));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toInt(), percent);
        QCOMPARE(property(Player, QStringLiteral("Volume")).toDouble(), percent / 100.0);

        // Asking for the volume it already has raises nothing.
        QVERIFY(setProperty(Player, QStringLiteral("Volume"), percent / 100.0));
        QCOMPARE(spy.size(), 1);

        // The program's own change is announced, and not echoed back as a request.
        m_player->setVolume(40);
        QTRY_VERIFY(!m_recorder->changes.isEmpty() &&
                    m_recorder->changes.last().value(QStringLiteral("Volume")).toDouble() == 0.4);
        QCOMPARE(spy.size(), 1);
        // The desktop never sees a volume outside 0 to 1, whatever the program passes on.
        m_player->setVolume(140);
        QCOMPARE(property(Player, QStringLiteral("Volume")).toDouble(), 1.0);
    }

    void withoutBusNothingFails()
    {
        const QDBusConnection none = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/tunora-bus"), QStringLiteral("none"));
        MprisPlayer player(none, Service);
        QVERIFY(!player.isRegistered());
        player.setNowPlaying(QStringLiteral("%track%"),
                             NowPlaying::From(QStringLiteral("R"), nullptr, QString()));
        QCOMPARE(player.metadata().value(QStringLiteral("xesam:title")).toString(), QStringLiteral("R"));
        player.clearNowPlaying();
        QVERIFY(player.metadata().isEmpty());
        QDBusConnection::disconnectFromBus(QStringLiteral("none"));
    }
};

TUNORA_TEST_MAIN_CORE(TestMpris)
#include "tst_mpris.moc"
