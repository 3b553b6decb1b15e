#pragma once

#include "records.h"

#include <QDialog>
#include <QList>

#include <memory>

class QComboBox;
class TunoraAPI;

namespace Ui {
class LanguageDlgClass;
}

// The question for the interface language: on a first run (answered with "Next >>") and from the
// window's "Languages..." (which may also be cancelled). Filled from the language list the
// directory clients already fetched; when there is none yet it asks the directory itself and
// fills in whatever has arrived when the reply comes.
class LanguageDlg : public QDialog
{
    Q_OBJECT
public:
    explicit LanguageDlg(QWidget *parent = nullptr);
    ~LanguageDlg() override;

    // The language chosen with "Next >>"; empty until the dialog was accepted.
    const BASS::Language &language() const { return m_language; }
    QComboBox *languages() const;

    // Pre-selects a language of the list (by code, else by name) instead of English.
    void selectLanguage(const BASS::Language &language);
    void setHelpText(const QString &text);
    // Shows "Cancel" beside "Next >>" (the first-run question has none).
    void setCancelAllowed(bool allowed);

public slots:
    void slot_Next();

private slots:
    void slot_languagesChanged();

private:
    void fill(const QList<BASS::Language> &list);

    std::unique_ptr<Ui::LanguageDlgClass> m_ui;
    TunoraAPI *m_api;
    QList<BASS::Language> m_list;
    BASS::Language m_language;
    BASS::Language m_wanted;
};
