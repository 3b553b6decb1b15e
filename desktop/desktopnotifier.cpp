#include "desktopnotifier.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

// The "image-data" hint: width, height, row stride, alpha, bits per sample, channels, bytes.
QDBusArgument imageData(const QImage &source)
{
    QImage image = source;
    if (image.width() > DesktopNotifier::MaxCoverSide || image.height() > DesktopNotifier::MaxCoverSide)
        image = image.scaled(DesktopNotifier::MaxCoverSide, DesktopNotifier::MaxCoverSide,
                             Qt::KeepAspectRatio, Qt::SmoothTransformation);
    image = image.convertToFormat(QImage::Format_RGBA8888);
    QDBusArgument argument;
    argument.beginStructure();
    argument << image.width() << image.height() << int(image.bytesPerLine()) << true << 8 << 4
             << QByteArray(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
    argument.endStructure();
    return argument;
}

} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{}

void DesktopNotifier::songAccepted(const QString &artist, const QString &title, const QString &station,
                                   const QImage &cover)
{
    if (!m_enabled || (artist.isEmpty() && title.isEmpty()))
        return;
    const QString key = artist + QLatin1Char('\n') + title + QLatin1Char('\n') + station;
    if (key == m_songKey)
        return;
    m_songKey = key;
    m_summary = title.isEmpty() ? artist : title;
    m_body = title.isEmpty() ? station : (artist.isEmpty() ? station : artist + QLatin1Char('\n') + station);
    m_cover = cover;
    // A new song is a new notification, never an update of the last one.
    m_id = 0;
    send();
}

void DesktopNotifier::coverArrived(const QString &artist, const QString &title, const QImage &cover)
{
    if (!m_enabled || cover.isNull() ||
        !m_songKey.startsWith(artist + QLatin1Char('\n') + title + QLatin1Char('\n')))
        return;
    m_cover = cover;
    send();
}

void DesktopNotifier::send()
{
    if (m_pending) {
        // The id of the current notification is not known yet: update once it is.
        m_resend = true;
        return;
    }
    if (!m_capabilitiesAsked) {
        m_capabilitiesAsked = true;
        const QDBusMessage ask =
            QDBusMessage::createMethodCall(QLatin1String(ServiceName), QLatin1String(ObjectPath),
                                           QLatin1String(ServiceName), QStringLiteral("GetCapabilities"));
        auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ask), this);
        m_pending = true;
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            const QDBusPendingReply<QStringList> reply = *w;
            m_markup = !reply.isError() && reply.value().contains(QStringLiteral("body-markup"));
            m_pending = false;
            send();
        });
        return;
    }
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("local.tunora.TunoraDE"));
    hints.insert(QStringLiteral("category"), QStringLiteral("x-tunora.song"));
    if (!m_cover.isNull())
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(imageData(m_cover)));
    // Titles come from the stream: with markup on they must not be read as markup.
    const QString body = m_markup ? m_body.toHtmlEscaped() : m_body;
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(ServiceName), QLatin1String(ObjectPath),
                                                       QLatin1String(ServiceName), QStringLiteral("Notify"));
    call << QCoreApplication::translate("DesktopNotifier", "Tunora Player") << m_id
         << QStringLiteral("local.tunora.TunoraDE") << m_summary << body << QStringList() << hints << -1;
    m_pending = true;
    m_resend = false;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    const QString key = m_songKey;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, key](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        m_pending = false;
        const uint id = reply.isError() ? 0 : reply.value();
        if (key == m_songKey && id > 0)
            m_id = id;
        emit signal_sent(id);
        if (m_resend && !reply.isError())
            send();
    });
}
