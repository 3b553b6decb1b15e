#include "codepage.h"

#include <QStringDecoder>

namespace BASS {

namespace {

// Searched in this order. The last rows extend the classic table: Arabic-speaking countries
// (and Iran, whose Persian shares the Arabic script) use Windows-1256, which also carries the
// French letters of the Maghreb; Thailand uses Windows-874.
constexpr CodePageEntry Table[] = {
    {"Bulgaria", "Windows-1251"},
    {"Russia", "Windows-1251"},
    {"Belarus", "Windows-1251"},
    {"Serbia", "Windows-1251"},
    {"Macedonia", "Windows-1251"},
    {"Ukraine", "Windows-1251"},
    {"Albania", "Windows-1250"},
    {"Croatia", "Windows-1250"},
    {"Czech", "Windows-1250"},
    {"Hungary", "Windows-1250"},
    {"Poland", "Windows-1250"},
    {"Romania", "Windows-1250"},
    {"Slovakia", "Windows-1250"},
    {"Slovenia", "Windows-1250"},
    {"Greece", "Windows-1253"},
    {"Turkey", "Windows-1254"},
    {"Vietnam", "Windows-1258"},
    {"Estonia", "Windows-1257"},
    {"Latvia", "Windows-1257"},
    {"Lithuania", "Windows-1257"},
    {"Japan", "Shift-JIS"},
    {"Korea", "EUC-KR"},
    {"China", "big5"},
    {"Hong Kong", "big5"},
    {"Taiwan", "big5"},
    {"Arabia", "Windows-1256"},
    {"Libya", "Windows-1256"},
    {"Egypt", "Windows-1256"},
    {"Iran", "Windows-1256"},
    {"Iraq", "Windows-1256"},
    {"Jordan", "Windows-1256"},
    {"Syria", "Windows-1256"},
    {"Lebanon", "Windows-1256"},
    {"Kuwait", "Windows-1256"},
    {"Emirates", "Windows-1256"},
    {"Qatar", "Windows-1256"},
    {"Bahrain", "Windows-1256"},
    {"Oman", "Windows-1256"},
    {"Yemen", "Windows-1256"},
    {"Sudan", "Windows-1256"},
    {"Palestine", "Windows-1256"},
    {"Tunisia", "Windows-1256"},
    {"Algeria", "Windows-1256"},
    {"Morocco", "Windows-1256"},
    {"Thailand", "Windows-874"},
};

constexpr const char *FallbackCodePage = "windows-1252";

// Decodes bytes as UTF-8; false when they are not well-formed UTF-8.
bool decodeUtf8(QByteArrayView bytes, QString *text)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    *text = utf8.decode(bytes);
    return !utf8.hasError();
}

} // namespace

std::span<const CodePageEntry> CodePageTable()
{
    return Table;
}

const char *CodePageForLocation(const QString &location)
{
    if (location.isEmpty())
        return nullptr;
    for (const CodePageEntry &entry : Table) {
        if (location.contains(QLatin1String(entry.country), Qt::CaseSensitive))
            return entry.codePage;
    }
    return nullptr;
}

QString DecodeTagText(QByteArrayView bytes, const char *codePage)
{
    QString text;
    if (decodeUtf8(bytes, &text))
        return text;
    if (codePage && *codePage) {
        QStringDecoder decoder(codePage, QStringConverter::Flag::Stateless);
        if (decoder.isValid())
            return decoder.decode(bytes);
    }
    QStringDecoder fallback(FallbackCodePage, QStringConverter::Flag::Stateless);
    if (fallback.isValid())
        return fallback.decode(bytes);
    // A Qt built without ICU knows no Windows code pages; Latin-1 at least keeps every byte.
    return QString::fromLatin1(bytes);
}

} // namespace BASS
