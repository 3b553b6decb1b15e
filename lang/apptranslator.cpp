#include "apptranslator.h"

#include "clangmanager.h"

QString AppTranslator::translate(const char *context, const char *sourceText, const char *disambiguation,
                                 int n) const
{
    Q_UNUSED(context)
    Q_UNUSED(disambiguation)
    if (!sourceText || !*sourceText)
        return QString();
    const QString source = QString::fromUtf8(sourceText);
    const CLangManager &manager = CLangManager::instance();
    if (!manager.contains(source))
        return QString();
    QString text = manager.lookup(source);
    // Plural forms are not part of the file format: "%n" is filled like Qt does without a table.
    if (n >= 0)
        text.replace(QLatin1String("%n"), QString::number(n));
    return text;
}

bool AppTranslator::isEmpty() const
{
    return CLangManager::instance().size() == 0;
}
