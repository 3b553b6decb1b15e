#include "xmlwriter.h"

XmlWriter::XmlWriter()
{
    m_out.reserve(4096);
    m_out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
}

void XmlWriter::start(const char *name)
{
    m_out += '<';
    m_out += name;
    m_out += '>';
    m_open.append(QByteArray(name));
}

void XmlWriter::start(const QString &name)
{
    start(name.toUtf8().constData());
}

void XmlWriter::end()
{
    if (m_open.isEmpty())
        return;
    m_out += "</" + m_open.takeLast() + '>';
}

void XmlWriter::element(const char *name, const QString &text)
{
    m_out += '<';
    m_out += name;
    m_out += '>';
    m_out += escape(text).toUtf8();
    m_out += "</";
    m_out += name;
    m_out += '>';
}

void XmlWriter::element(const char *name, qint64 number)
{
    element(name, QString::number(number));
}

void XmlWriter::element(const QString &name, const QString &text)
{
    element(name.toUtf8().constData(), text);
}

QByteArray XmlWriter::finish()
{
    while (!m_open.isEmpty())
        end();
    return m_out;
}

QString XmlWriter::escape(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate()) {
            if (i + 1 < n && text.at(i + 1).isLowSurrogate()) {
                out += c;
                out += text.at(++i);
            }
            continue;
        }
        if (c.isLowSurrogate())
            continue;
        if ((u < 0x20 && u != 0x09 && u != 0x0a && u != 0x0d) || u == 0xfffe || u == 0xffff)
            continue;
        switch (u) {
        case '&': {
            // Text that already looks like an entity would be decoded twice by the player.
            static const char *const entities[] = {"amp;", "lt;", "gt;", "quot;", "apos;", "nbsp;"};
            bool entityLike = false;
            for (const char *e : entities) {
                if (QStringView(text).mid(i + 1).startsWith(QLatin1String(e), Qt::CaseInsensitive))
                    entityLike = true;
            }
            out += entityLike ? QString(QChar(0xff06)) : QStringLiteral("&amp;");
            break;
        }
        // The player finds elements by searching decoded text for tags, so text never carries
        // angle brackets: they become the single angle quotation marks.
        case '<':
            out += QChar(0x2039);
            break;
        case '>':
            out += QChar(0x203a);
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool XmlWriter::isName(const QString &name)
{
    if (name.isEmpty() || name.size() > 64)
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!(letter || (i > 0 && other)))
            return false;
    }
    // Names beginning with "xml" are reserved.
    return !name.startsWith(QLatin1String("xml"), Qt::CaseInsensitive);
}
