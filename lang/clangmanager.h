#pragma once

#include <QCoreApplication>
#include <QHash>
#include <QString>

// The process-wide translation table: one language file, read into a map from the English source
// text to its translation. English is built in and needs no file; every lookup of a text the
// table lacks gives the text itself, so a missing or broken file leaves the program in English.
//
// A language file is a UTF-8 text of "<string><text>source</text><trans>translation</trans>
// </string>" entries (a root element around them is ignored), read with the directory's plain tag
// scanner, not with an XML parser: hostile files (truncated, deeply nested, binary) cost at most
// one linear pass and never more than MaxFileBytes of memory.
class CLangManager
{
    Q_DECLARE_TR_FUNCTIONS(CLangManager)

public:
    static CLangManager &instance();

    // Fills the table from the file at filePath; languageName is the language's name as the
    // directory gives it. An empty name or one containing "English.xml" (any case) selects English
    // and leaves the table alone. A missing file is first fetched from the directory service.
    // False with lastError() set when nothing could be read.
    bool load(const QString &filePath, const QString &languageName);

    // The source text's translation; without one the source itself (UTF-8, whatever the
    // encoding argument says).
    QString translate(const char *sourceText, const char *comment, int encoding) const;
    QString lookup(const QString &text) const;
    bool contains(const QString &text) const;
    QString lastError() const { return m_lastError; }
    int size() const { return int(m_table.size()); }
    // Back to English.
    void clear();

    // The table of a language file's text: later entries replace earlier ones, the first empty
    // "string" element ends the file, entries with an empty side are skipped.
    static QHash<QString, QString> parse(const QString &content);

    // A language name from the directory may become a file name only when it holds letters,
    // digits, blanks, "_", "-" and "." and neither ".." nor a path separator.
    static bool isSafeFileName(const QString &name);
    // "<folder>/<name>.xml" (".xml" only when the name lacks it); empty, with *error set, when the
    // name is not safe.
    static QString languageFilePath(const QString &folder, const QString &name, QString *error = nullptr);
    // Whether a name stands for the built-in English.
    static bool isEnglish(const QString &name);

    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

private:
    CLangManager() = default;
    bool download(const QString &filePath, const QString &languageName);

    QHash<QString, QString> m_table;
    QString m_lastError;
};
