#pragma once

#include "directoryreader.h"
#include "records.h"

#include <QFrame>
#include <QList>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;
class TunoraAPI;

// The settings page: interface language, bitrate limits of station lists, the start-up action,
// the home location and the account's details. Changes are saved by a timer every saveInterval()
// milliseconds (2 s) once the page has been filled; a language change offers a restart.
class Settings : public QFrame
{
    Q_OBJECT
public:
    explicit Settings(QWidget *parent = nullptr);

    bool isFilled() const { return m_filled; }
    bool isChanged() const { return m_changed; }
    void setAccount(const AccountDetails &account);
    void setLanguages(const QList<BASS::Language> &languages, const QString &currentCode);
    // Saves pending changes (the main window calls it when it closes).
    void saveNow();

    int saveInterval() const;
    void setSaveInterval(int ms);

    // The main window's sign-out (stop playback, clear lists) run before the sign-out restarts.
    void setSignOutHook(std::function<void()> hook) { m_signOutHook = std::move(hook); }

    // "Unlimited" from this maximum on.
    static constexpr int UnlimitedFrom = 768;
    static constexpr int MaxBitrateTop = 784;

protected:
    // Shows the page's texts in a language chosen while it is up.
    void changeEvent(QEvent *event) override;

signals:
    // A save stored new values (station lists may want to reload with the new limits).
    void signal_saved();

public slots:
    void slot_minBitrateChanged(int value);
    void slot_maxBitrateChanged(int value);
    void slot_languagesChanged(int index);
    void slot_startupChanged(int index);
    void slot_homeLocChanged(const QString &text);
    void slot_locationReturnPressed();
    void slot_Save();
    void slot_RefreshLangs();
    void slot_setLocation();
    void slot_signOut();
    void slot_saveTimerUpdate();

private:
    void markChanged();
    void retranslate();
    QString selectedLanguageCode() const;

    QLabel *m_lblLanguages;
    QComboBox *m_cbLanguages;
    QPushButton *m_btRefreshLangs;
    QLabel *m_lblMinBitrate;
    QSlider *m_sldMinBitrate;
    QLabel *m_lblMinBitrateValue;
    QLabel *m_lblMaxBitrate;
    QSlider *m_sldMaxBitrate;
    QLabel *m_lblMaxBitrateValue;
    QLabel *m_lblStartUp;
    QComboBox *m_cbStartUp;
    QLabel *m_lblHomeLocation;
    QLineEdit *m_leHomeLocation;
    QPushButton *m_btSetLocation;
    QLabel *m_lblUserName;
    QLineEdit *m_leUsername;
    QLabel *m_lblEmail;
    QLineEdit *m_leEmail;
    QLabel *m_lblHelp;
    QPushButton *m_btSignOut;
    QPushButton *m_btSave;
    QTimer *m_saveTimer;
    TunoraAPI *m_api;
    QList<BASS::Language> m_languages;
    bool m_filled = false;
    bool m_changed = false;
    QString m_currentLanguage;
    QString m_currentLocation;
    std::function<void()> m_signOutHook;
};
