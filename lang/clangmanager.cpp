#include "clangmanager.h"

#include "tagscanner.h"
#include "tunoraapi.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

namespace {

// The wait cursor for the length of a load, when there is a GUI to show it.
class WaitCursor
{
public:
    WaitCursor()
        : m_on(qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr)
    {
        if (m_on)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~WaitCursor()
    {
        if (m_on)
            QGuiApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

private:
    bool m_on;
};

} // namespace

CLangManager &CLangManager::instance()
{
    static CLangManager manager;
    return manager;
}

bool CLangManager::isEnglish(const QString &name)
{
    return name.isEmpty() || name.contains(QLatin1String("English.xml"), Qt::CaseInsensitive) ||
           name.compare(QLatin1String("English"), Qt::CaseInsensitive) == 0;
}

bool CLangManager::isSafeFileName(const QString &name)
{
    if (name.trimmed().isEmpty() || name.contains(QLatin1String("..")) || name.size() > 64)
        return false;
    for (const QChar c : name) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char(' ') || c == QLatin1Char('_') ||
              c == QLatin1Char('-') || c == QLatin1Char('.')))
            return false;
    }
    return true;
}

QString CLangManager::languageFilePath(const QString &folder, const QString &name, QString *error)
{
    if (!isSafeFileName(name)) {
        if (error)
            *error = tr("The language name \"%1\" cannot be used as a file name.").arg(name);
        return QString();
    }
    QString file = name;
    if (!file.contains(QLatin1String(".xml"), Qt::CaseInsensitive))
        file += QLatin1String(".xml");
    return folder + QLatin1Char('/') + file;
}

bool CLangManager::load(const QString &filePath, const QString &languageName)
{
    if (isEnglish(languageName))
        return true;
    WaitCursor wait;
    m_lastError.clear();

    QString path = filePath;
    if (!path.contains(QLatin1String(".xml"), Qt::CaseInsensitive))
        path += QLatin1String(".xml");
    if (!QFileInfo::exists(path) && !download(path, languageName))
        return false;

    m_table.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        m_lastError = tr("Failed to open language file.") + QLatin1Char('\n') + path + QLatin1Char('\n') +
                      tr("Reason") + QLatin1String(": ") + file.errorString();
        return false;
    }
    if (file.size() > MaxFileBytes) {
        m_lastError = tr("Failed to open language file.") + QLatin1Char('\n') + path + QLatin1Char('\n') +
                      tr("Reason") + QLatin1String(": ") + tr("the file is too large");
        return false;
    }
    // Read with a cap: a file that grows while it is read still costs no more than the limit.
    const QByteArray bytes = file.read(MaxFileBytes + 1);
    if (bytes.size() > MaxFileBytes) {
        m_lastError = tr("Failed to open language file.") + QLatin1Char('\n') + path + QLatin1Char('\n') +
                      tr("Reason") + QLatin1String(": ") + tr("the file is too large");
        return false;
    }
    m_table = parse(QString::fromUtf8(bytes));
    return true;
}

bool CLangManager::download(const QString &filePath, const QString &languageName)
{
    // The service's name becomes part of a path: refuse anything but a plain file name before
    // anything is sent or written.
    const QString fileName = QFileInfo(filePath).fileName();
    if (!isSafeFileName(languageName) || !isSafeFileName(fileName)) {
        m_lastError = tr("The language name \"%1\" cannot be used as a file name.").arg(languageName);
        qWarning().noquote() << "CLangManager::download refused" << languageName;
        return false;
    }
    TunoraAPI api;
    api.setQuiet(true);
    if (!api.requestTranslation(languageName, languageName, filePath)) {
        m_lastError = tr("The language file could not be downloaded.");
        if (!api.lastMessage().isEmpty())
            m_lastError += QLatin1Char('\n') + api.lastMessage();
        return false;
    }
    return true;
}

QHash<QString, QString> CLangManager::parse(const QString &content)
{
    QHash<QString, QString> table;
    BASS::TagScanner scanner(content);
    for (;;) {
        const QString entry = scanner.findRaw(u"string");
        if (entry.isEmpty())
            break;
        BASS::TagScanner fields(entry);
        const QString text = fields.findFirst(u"text");
        const QString trans = fields.findFirst(u"trans");
        if (!text.isEmpty() && !trans.isEmpty())
            table.insert(text, trans);
    }
    return table;
}

QString CLangManager::translate(const char *sourceText, const char *comment, int encoding) const
{
    Q_UNUSED(comment)
    if (!sourceText || !*sourceText)
        return QString();
    Q_UNUSED(encoding)
    // Source files are UTF-8 throughout, so sources are read as UTF-8 whatever the caller says:
    // reading them as Latin-1 would garble any non-ASCII source text.
    return lookup(QString::fromUtf8(sourceText));
}

QString CLangManager::lookup(const QString &text) const
{
    return m_table.value(text, text);
}

bool CLangManager::contains(const QString &text) const
{
    return m_table.contains(text);
}

void CLangManager::clear()
{
    m_table.clear();
    m_lastError.clear();
}
