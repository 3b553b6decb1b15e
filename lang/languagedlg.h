#pragma once

#include "records.h"

#include <QDialog>
#include <QList>

class QComboBox;
class QLabel;
class QPushButton;
class TunoraAPI;

// The first-run question for the interface language. Filled from the language list the
// directory clients already fetched; when there is none yet it asks the directory itself and
// fills in whatever has arrived when the reply comes.
class LanguageDlg : public QDialog
{
    Q_OBJECT
public:
    explicit LanguageDlg(QWidget *parent = nullptr);

    // The language chosen with "Next >>"; empty until the dialog was accepted.
    const BASS::Language &language() const { return m_language; }
    QComboBox *languages() const { return m_cbLanguages; }

public slots:
    void slot_Next();

private slots:
    void slot_languagesChanged();

private:
    void fill(const QList<BASS::Language> &list);
    void retranslate();

    QLabel *m_lblTitle;
    QComboBox *m_cbLanguages;
    QLabel *m_lblHelp;
    QPushButton *m_btNext;
    TunoraAPI *m_api;
    QList<BASS::Language> m_list;
    BASS::Language m_language;
};
