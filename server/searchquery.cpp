#include "searchquery.h"

#include "textnorm.h"

#include <QRegularExpression>

SearchQuery SearchQuery::parse(const QString &text)
{
    SearchQuery q;
    const QString t = text.trimmed();
    static const QRegularExpression code(QStringLiteral("^[A-Z]{2}(-[A-Z0-9]+(-[A-Z0-9]+)*)?$"));
    if (code.match(t).hasMatch())
        q.bareCode = t;

    QString free;
    qsizetype i = 0;
    const qsizetype n = t.size();
    while (i < n) {
        while (i < n && t.at(i).isSpace())
            ++i;
        if (i >= n)
            break;
        // A selector key runs up to ':'; anything else is a free word.
        qsizetype j = i;
        while (j < n && (t.at(j).isLetter()) && j - i < 8)
            ++j;
        const QString key = t.mid(i, j - i).toLower();
        const bool selector = j < n && t.at(j) == QLatin1Char(':') &&
                              (key == QLatin1String("gen") || key == QLatin1String("genre") ||
                               key == QLatin1String("country") || key == QLatin1String("state"));
        if (!selector) {
            // A free word, possibly quoted.
            if (t.at(i) == QLatin1Char('"')) {
                const qsizetype end = t.indexOf(QLatin1Char('"'), i + 1);
                free += QLatin1Char(' ') + t.mid(i + 1, end < 0 ? -1 : end - i - 1);
                i = end < 0 ? n : end + 1;
            } else {
                qsizetype end = i;
                while (end < n && !t.at(end).isSpace())
                    ++end;
                free += QLatin1Char(' ') + t.mid(i, end - i);
                i = end;
            }
            continue;
        }
        i = j + 1;
        QString value;
        if (i < n && t.at(i) == QLatin1Char('"')) {
            const qsizetype end = t.indexOf(QLatin1Char('"'), i + 1);
            value = t.mid(i + 1, end < 0 ? -1 : end - i - 1);
            i = end < 0 ? n : end + 1;
        } else {
            qsizetype end = i;
            while (end < n && !t.at(end).isSpace())
                ++end;
            value = t.mid(i, end - i);
            i = end;
        }
        value = value.simplified();
        if (value.isEmpty())
            continue;
        QStringList *target = key == QLatin1String("country") ? &q.countries
                              : key == QLatin1String("state") ? &q.states
                                                              : &q.genres;
        if (target->size() < MaxSelectors && !target->contains(value))
            target->append(value.left(100));
    }
    const QStringList tokens = TextNorm::tokens(free);
    for (const QString &tok : tokens) {
        if (q.words.size() >= MaxWords)
            break;
        QString word = tok.left(64);
        if (!word.isEmpty() && word.back().isHighSurrogate())
            word.chop(1); // never cut a character in half
        if (!word.isEmpty() && !q.words.contains(word))
            q.words << word;
    }
    return q;
}
