#include "languages.h"

#include "xmlwriter.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QXmlStreamReader>

bool LanguageCatalog::load(const QString &folder, QString *error)
{
    QDir dir(folder);
    if (!dir.exists(QStringLiteral("languages.ini"))) {
        if (!dir.mkpath(QStringLiteral("."))) {
            if (error)
                *error = QStringLiteral("cannot create the languages folder %1").arg(folder);
            return false;
        }
        const QDir builtIn(QStringLiteral(":/tunora-directory/languages"));
        for (const QString &name : builtIn.entryList(QDir::Files)) {
            const QString target = dir.filePath(name);
            if (!QFile::exists(target) && QFile::copy(builtIn.filePath(name), target))
                QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ReadGroup | QFileDevice::ReadOther);
        }
    }
    m_languages.clear();
    // The folder's index first; languages built into this version that the folder does not define
    // (a folder made by an older version) come from the built-in set.
    readIndex(dir.filePath(QStringLiteral("languages.ini")), dir);
    readIndex(QStringLiteral(":/tunora-directory/languages/languages.ini"),
              QDir(QStringLiteral(":/tunora-directory/languages")));
    // English first, the rest in the order of their names.
    std::sort(m_languages.begin(), m_languages.end(), [](const Language &a, const Language &b) {
        if ((a.code == QLatin1String("en")) != (b.code == QLatin1String("en")))
            return a.code == QLatin1String("en");
        return a.name.localeAwareCompare(b.name) < 0;
    });
    if (m_languages.isEmpty()) {
        if (error)
            *error = QStringLiteral("no usable language in %1").arg(folder);
        return false;
    }
    return true;
}

void LanguageCatalog::readIndex(const QString &indexFile, const QDir &dir)
{
    QSettings index(indexFile, QSettings::IniFormat);
    const QStringList codes = index.childGroups();
    for (const QString &code : codes) {
        if (!XmlWriter::isName(code)) {
            qWarning().noquote() << "LanguageCatalog: skipping the language code" << code
                                 << "(not usable as a tag)";
            continue;
        }
        const bool known = std::any_of(m_languages.cbegin(), m_languages.cend(),
                                       [&](const Language &l) { return l.code == code; });
        if (known)
            continue;
        Language l;
        l.code = code;
        l.name = index.value(code + QLatin1String("/name")).toString().trimmed();
        l.file = index.value(code + QLatin1String("/file")).toString().trimmed();
        l.englishName = index.value(code + QLatin1String("/english")).toString().trimmed();
        if (l.name.isEmpty() || l.file.isEmpty() || l.file.contains(QLatin1Char('/')) ||
            l.file.contains(QLatin1String(".."))) {
            qWarning().noquote() << "LanguageCatalog: skipping" << code << "(no name or no plain file name)";
            continue;
        }
        QFile f(dir.filePath(l.file));
        if (!f.open(QIODevice::ReadOnly) || f.size() > MaxFileBytes) {
            qWarning().noquote() << "LanguageCatalog: cannot read" << f.fileName();
            continue;
        }
        l.content = f.readAll();
        l.table = parse(l.content);
        m_languages.append(l);
    }
}

QHash<QString, QString> LanguageCatalog::parse(const QByteArray &content)
{
    QHash<QString, QString> table;
    QXmlStreamReader r(content);
    QString text, trans, current;
    int depth = 0;
    while (!r.atEnd() && depth < 16) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            current = r.name().toString();
            if (current == QLatin1String("string")) {
                text.clear();
                trans.clear();
            }
            break;
        case QXmlStreamReader::Characters:
            if (current == QLatin1String("text"))
                text += r.text();
            else if (current == QLatin1String("trans"))
                trans += r.text();
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            if (r.name() == QLatin1String("string") && !text.isEmpty() && !trans.isEmpty())
                table.insert(text, trans);
            current.clear();
            break;
        default:
            break;
        }
    }
    return table;
}

const LanguageCatalog::Language *LanguageCatalog::find(const QString &nameOrCode) const
{
    QString key = nameOrCode.trimmed();
    if (key.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive))
        key.chop(4);
    if (key.isEmpty())
        return nullptr;
    for (const Language &l : m_languages) {
        QString file = l.file;
        if (file.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive))
            file.chop(4);
        if (l.code.compare(key, Qt::CaseInsensitive) == 0 || l.name.compare(key, Qt::CaseInsensitive) == 0 ||
            (!l.englishName.isEmpty() && l.englishName.compare(key, Qt::CaseInsensitive) == 0) ||
            file.compare(key, Qt::CaseInsensitive) == 0)
            return &l;
    }
    return nullptr;
}

QString LanguageCatalog::translate(const QString &code, const QString &text) const
{
    if (code.isEmpty())
        return text;
    for (const Language &l : m_languages) {
        if (l.code.compare(code, Qt::CaseInsensitive) == 0)
            return l.table.value(text, text);
    }
    return text;
}
