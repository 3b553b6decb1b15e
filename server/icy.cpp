#include "icy.h"

#include <QList>
#include <QStringDecoder>

namespace Icy {

bool parseHead(const QByteArray &head, ResponseHead *out)
{
    *out = ResponseHead();
    const QList<QByteArray> lines = head.split('\n');
    if (lines.isEmpty())
        return false;
    const QByteArray first = lines.first().trimmed();
    const QList<QByteArray> parts = first.split(' ');
    if (parts.size() < 2 || !(parts[0].startsWith("HTTP/") || parts[0] == "ICY"))
        return false;
    bool ok = false;
    out->status = parts[1].toInt(&ok);
    if (!ok || out->status < 100 || out->status > 999)
        return false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "icy-metaint") {
            const qint64 n = value.toLongLong(&ok);
            out->metaint = ok && n > 0 ? n : 0;
        } else if (name == "content-type") {
            out->contentType = value.toLower();
        } else if (name == "location") {
            out->location = value;
        }
    }
    return true;
}

bool MetadataReader::feed(const char *data, qsizetype size)
{
    qsizetype i = 0;
    while (i < size && !m_done) {
        if (m_audioLeft > 0) {
            const qint64 skip = qMin<qint64>(m_audioLeft, size - i);
            m_audioLeft -= skip;
            i += skip;
            continue;
        }
        if (m_blockLeft < 0) {
            m_blockLeft = static_cast<unsigned char>(data[i++]) * 16;
            m_block.clear();
            if (m_blockLeft == 0) {
                m_blockLeft = -1;
                m_audioLeft = m_metaint;
                if (++m_empty >= MaxEmptyBlocks)
                    m_done = true;
            }
            continue;
        }
        const qsizetype take = qMin<qsizetype>(m_blockLeft, size - i);
        m_block.append(data + i, take);
        m_blockLeft -= int(take);
        i += take;
        if (m_blockLeft == 0) {
            m_blockLeft = -1;
            m_audioLeft = m_metaint;
            m_done = true;
        }
    }
    return m_done;
}

QString streamTitle(const QByteArray &block)
{
    QByteArray b = block;
    while (b.endsWith('\0'))
        b.chop(1);
    const QByteArray marker = "StreamTitle='";
    const qsizetype start = b.indexOf(marker);
    if (start < 0)
        return QString();
    const qsizetype from = start + marker.size();
    // Apostrophes inside titles are not escaped: the value ends at "';" or at the last quote.
    qsizetype end = b.indexOf("';", from);
    if (end < 0)
        end = b.lastIndexOf('\'');
    if (end < from)
        end = b.size();
    QByteArray raw = b.mid(from, end - from);
    raw.replace('\0', ' ');
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(raw);
    if (utf8.hasError()) {
        QStringDecoder cp1252("windows-1252");
        text = cp1252.isValid() ? QString(cp1252(raw)) : QString::fromLatin1(raw);
    }
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : std::as_const(text))
        clean += (c.unicode() < 0x20 || c.unicode() == 0x7f) ? QLatin1Char(' ') : c;
    return clean.simplified().left(500);
}

void splitTitle(const QString &title, QString *artist, QString *song)
{
    const qsizetype sep = title.indexOf(QLatin1String(" - "));
    if (sep < 0) {
        artist->clear();
        *song = title.trimmed();
        return;
    }
    *artist = title.left(sep).trimmed();
    *song = title.mid(sep + 3).trimmed();
}

bool looksLikePlaylist(const QByteArray &contentType, const QByteArray &start)
{
    static const char *const types[] = {"audio/x-scpls", "audio/scpls",         "audio/x-mpegurl",
                                        "audio/mpegurl", "application/pls+xml", "application/x-mpegurl"};
    for (const char *t : types) {
        if (contentType.startsWith(t))
            return true;
    }
    const QByteArray s = start.trimmed().left(16).toLower();
    return s.startsWith("[playlist]") || s.startsWith("#extm3u") || s.startsWith("http://") ||
           s.startsWith("https://");
}

QUrl playlistEntry(const QByteArray &text, const QUrl &base)
{
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &raw : lines) {
        QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith('['))
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq > 0) {
            if (!line.left(eq).trimmed().toLower().startsWith("file"))
                continue;
            line = line.mid(eq + 1).trimmed();
        }
        const QUrl url = base.resolved(QUrl(QString::fromUtf8(line)));
        if (url.isValid() &&
            (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")))
            return url;
    }
    return QUrl();
}

} // namespace Icy
