#include "textnorm.h"

namespace TextNorm {

namespace {

QString stripMarks(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const QChar::Category cat = c.category();
        if (cat == QChar::Mark_NonSpacing || cat == QChar::Mark_SpacingCombining ||
            cat == QChar::Mark_Enclosing)
            continue;
        out += c;
    }
    return out;
}

} // namespace

QString fold(const QString &text)
{
    // Simple case folding keeps the sharp s; searching "strasse" should find "Straße".
    QString base = stripMarks(text).toCaseFolded();
    base.replace(QChar(0x00df), QLatin1String("ss")).replace(QChar(0x1e9e), QLatin1String("ss"));
    QString out;
    out.reserve(base.size());
    bool blank = true;
    for (qsizetype i = 0; i < base.size(); ++i) {
        const QChar c = base.at(i);
        if (c.isHighSurrogate() && i + 1 < base.size() && base.at(i + 1).isLowSurrogate()) {
            const char32_t ucs4 = QChar::surrogateToUcs4(c, base.at(i + 1));
            if (QChar::isLetterOrNumber(ucs4)) {
                out += c;
                out += base.at(++i);
                blank = false;
                continue;
            }
            ++i;
        } else if (c.isLetterOrNumber()) {
            out += c;
            blank = false;
            continue;
        }
        if (!blank) {
            out += QLatin1Char(' ');
            blank = true;
        }
    }
    if (out.endsWith(QLatin1Char(' ')))
        out.chop(1);
    return out;
}

QStringList tokens(const QString &text)
{
    return fold(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QString sortKey(const QString &text)
{
    return stripMarks(text).toCaseFolded().trimmed();
}

QString slug(const QString &text)
{
    const QString base = stripMarks(text).toUpper();
    QString out;
    for (const QChar c : base) {
        const char16_t u = c.unicode();
        if ((u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')) {
            out += c;
        } else if (!out.isEmpty() && !out.endsWith(QLatin1Char('-'))) {
            out += QLatin1Char('-');
        }
    }
    while (out.endsWith(QLatin1Char('-')))
        out.chop(1);
    return out.left(40);
}

bool hasControlCharacters(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t') || u == 0x7f)
            return true;
    }
    return false;
}

} // namespace TextNorm
