// ts2lang: turns a Qt Linguist translation file into the player's language-file format
// ("<string><text>English</text><trans>translation</trans></string>" entries), optionally on top of
// existing language files whose entries it keeps unless the translation file has the same source.
//
//     ts2lang OUTPUT TS_FILE [BASE_LANGUAGE_FILE...]
//
// Only finished translations are written. The player decodes entities in a fixed order ("&amp;"
// first), so every entry is checked to read back exactly as written; one that would not stops the
// tool with an error instead of shipping a garbled text.
#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QSaveFile>
#include <QTextStream>
#include <QXmlStreamReader>

#include <cstdio>

namespace {

QString decodeLikeThePlayer(QString text)
{
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    text.replace(QLatin1String("&apos;"), QLatin1String("'"));
    return text;
}

QString encode(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    out.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    out.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return out;
}

bool fail(const QString &message)
{
    std::fprintf(stderr, "ts2lang: %s\n", qPrintable(message));
    return false;
}

// Source -> translation of the finished messages of a .ts file.
bool readTs(const QString &path, QMap<QString, QString> &table)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(path + QLatin1String(": ") + file.errorString());
    QXmlStreamReader xml(&file);
    QString source, translation;
    bool finished = true;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("message")) {
                source.clear();
                translation.clear();
                finished = true;
            } else if (xml.name() == QLatin1String("source")) {
                source = xml.readElementText();
            } else if (xml.name() == QLatin1String("translation")) {
                const QStringView type = xml.attributes().value(QLatin1String("type"));
                finished = type.isEmpty();
                translation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            if (finished && !source.isEmpty() && !translation.isEmpty())
                table.insert(source, translation);
        }
    }
    if (xml.hasError())
        return fail(path + QLatin1String(": ") + xml.errorString());
    return true;
}

// Entries of an existing language file (our own, well-formed XML).
bool readLanguageFile(const QString &path, QMap<QString, QString> &table)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(path + QLatin1String(": ") + file.errorString());
    QXmlStreamReader xml(&file);
    QString text, trans;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("string")) {
                text.clear();
                trans.clear();
            } else if (xml.name() == QLatin1String("text")) {
                text = xml.readElementText();
            } else if (xml.name() == QLatin1String("trans")) {
                trans = xml.readElementText();
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("string")) {
            if (!text.isEmpty() && !trans.isEmpty())
                table.insert(text, trans);
        }
    }
    if (xml.hasError())
        return fail(path + QLatin1String(": ") + xml.errorString());
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: ts2lang OUTPUT TS_FILE [BASE_LANGUAGE_FILE...]\n");
        return 2;
    }
    QMap<QString, QString> table;
    for (const QString &base : args.mid(2))
        if (!readLanguageFile(base, table))
            return 1;
    QMap<QString, QString> translated;
    if (!readTs(args.at(1), translated))
        return 1;
    table.insert(translated);

    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<language>\n";
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        const QString text = encode(it.key());
        const QString trans = encode(it.value());
        if (decodeLikeThePlayer(text) != it.key() || decodeLikeThePlayer(trans) != it.value()) {
            fail(QLatin1String("this entry would not read back as written: ") + it.key());
            return 1;
        }
        out += "<string><text>" + text.toUtf8() + "</text><trans>" + trans.toUtf8() + "</trans></string>\n";
    }
    out += "</language>\n";

    QSaveFile file(args.at(0));
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit()) {
        fail(args.at(0) + QLatin1String(": ") + file.errorString());
        return 1;
    }
    return 0;
}
