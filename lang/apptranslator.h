#pragma once

#include <QTranslator>

// Routes Qt's translation calls to the process-wide CLangManager table. Context and
// disambiguation take no part in the lookup: the English text is the key. A text the table lacks
// gives an empty string, so Qt falls back to the source text (or to another installed
// translator) itself.
class AppTranslator : public QTranslator
{
    Q_OBJECT
public:
    using QTranslator::QTranslator;

    QString translate(const char *context, const char *sourceText, const char *disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override;
};
