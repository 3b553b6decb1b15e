#include "launcharguments.h"

#include "stream.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace LaunchArguments {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("LaunchArguments", text);
}

bool hasControlCharacters(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

// The first title the playlist gives its entries: "Title1=" of a PLS, the text after the comma of
// an M3U "#EXTINF:", or an ASX/XSPF "<title>".
QString playlistTitle(const QString &text)
{
    static const QRegularExpression patterns[] = {
        QRegularExpression(QStringLiteral("^\\s*Title\\d+\\s*=\\s*(.+)$"),
                           QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption),
        QRegularExpression(QStringLiteral("^\\s*#EXTINF:[^,\\n]*,(.+)$"),
                           QRegularExpression::MultilineOption),
        QRegularExpression(QStringLiteral("<title>([^<]+)</title>"),
                           QRegularExpression::CaseInsensitiveOption),
    };
    for (const QRegularExpression &pattern : patterns) {
        const QRegularExpressionMatch match = pattern.match(text);
        if (match.hasMatch()) {
            const QString title = match.captured(1).trimmed().left(200);
            if (!title.isEmpty() && !hasControlCharacters(title))
                return title;
        }
    }
    return QString();
}

bool fromPlaylistFile(const QString &path, BASS::Station &station, QString *reason)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *reason = tr("No such file");
        return false;
    }
    if (!info.isFile()) {
        *reason = tr("Not a playlist file");
        return false;
    }
    if (info.size() > MaxPlaylistBytes) {
        *reason = tr("The file is too large for a playlist");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = file.errorString();
        return false;
    }
    const QByteArray bytes = file.read(MaxPlaylistBytes + 1);
    if (bytes.size() > MaxPlaylistBytes) {
        *reason = tr("The file is too large for a playlist");
        return false;
    }
    const QString text = QString::fromUtf8(bytes);
    const QStringList addresses = BASS::PlaylistResolution::streamAddresses(text);
    QStringList streams;
    for (const QString &address : addresses) {
        if (isStreamAddress(address))
            streams << address;
    }
    if (streams.isEmpty()) {
        *reason = tr("The file lists no stream address");
        return false;
    }
    station.reset();
    QString name = playlistTitle(text);
    station.setName(name.isEmpty() ? info.completeBaseName() : name);
    for (int i = 0; i < streams.size(); ++i) {
        BASS::StationStream entry;
        entry.url = streams[i];
        station.addStream(entry, i == 0);
    }
    return true;
}

} // namespace

bool isStreamAddress(const QString &text)
{
    if (text.isEmpty() || hasControlCharacters(text))
        return false;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    static const QStringList schemes = {QStringLiteral("http"), QStringLiteral("https"),
                                        QStringLiteral("mms"),  QStringLiteral("mmsh"),
                                        QStringLiteral("mmst"), QStringLiteral("rtsp")};
    return schemes.contains(url.scheme().toLower());
}

bool toStation(const QString &argument, BASS::Station &station, QString *reason)
{
    QString dummy;
    if (!reason)
        reason = &dummy;
    const QString text = argument.trimmed();
    if (text.isEmpty()) {
        *reason = tr("Empty argument");
        return false;
    }
    if (isStreamAddress(text)) {
        station.reset();
        station.setName(QUrl(text).host());
        BASS::StationStream entry;
        entry.url = text;
        station.addStream(entry, true);
        return true;
    }
    const QUrl url(text);
    if (url.isLocalFile())
        return fromPlaylistFile(url.toLocalFile(), station, reason);
    // Any other scheme is an address of a kind the engine does not play.
    if (url.isValid() && url.scheme().size() > 1) {
        *reason = tr("Not a stream address (http, https, mms or rtsp)");
        return false;
    }
    return fromPlaylistFile(text, station, reason);
}

QList<BASS::Station> stations(const QStringList &arguments, QList<Refusal> *refused)
{
    QList<BASS::Station> result;
    for (const QString &argument : arguments) {
        BASS::Station station;
        QString reason;
        if (toStation(argument, station, &reason))
            result.append(station);
        else if (refused)
            refused->append({argument, reason});
    }
    return result;
}

QStringList absolute(const QStringList &arguments, const QString &workingFolder)
{
    QStringList result;
    const QDir folder(workingFolder);
    for (const QString &argument : arguments) {
        const QUrl url(argument);
        const bool isPath = !(url.isValid() && url.scheme().size() > 1);
        if (isPath && !argument.isEmpty() && QDir::isRelativePath(argument))
            result << QDir::cleanPath(folder.absoluteFilePath(argument));
        else
            result << argument;
    }
    return result;
}

} // namespace LaunchArguments
