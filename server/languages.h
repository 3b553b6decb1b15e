#pragma once

#include <QByteArray>
#include <QDir>
#include <QHash>
#include <QList>
#include <QString>

// The languages the directory offers and their language files, kept in a folder of the data
// folder ("languages.ini" plus one file per language), filled from the built-in set on first
// start. Also translates the service's own reply messages with the same files.
class LanguageCatalog
{
public:
    struct Language
    {
        QString code;
        QString name;
        // The language's name in English ("German"), also accepted by find().
        QString englishName;
        QString file;
        QByteArray content;
        QHash<QString, QString> table;
    };

    // Copies the built-in files into an empty folder, then reads the folder.
    bool load(const QString &folder, QString *error);

    const QList<Language> &languages() const { return m_languages; }
    // By code, display name, English name or file name (".xml" optional), any letter case.
    const Language *find(const QString &nameOrCode) const;
    QString translate(const QString &code, const QString &text) const;

    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

private:
    static QHash<QString, QString> parse(const QByteArray &content);
    // Adds the languages of an index whose codes are not known yet, their files read from dir.
    void readIndex(const QString &indexFile, const QDir &dir);
    QList<Language> m_languages;
};
