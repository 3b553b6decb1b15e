#include "settingspanel.h"

#include "accountsession.h"
#include "appsettings.h"
#include "desktopsettings.h"
#include "httpblocking.h"
#include "languagesetup.h"
#include "recordingsettings.h"
#include "tunoraapi.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

Settings::Settings(QWidget *parent)
    : QFrame(parent)
    , m_lblLanguages(new QLabel(this))
    , m_cbLanguages(new QComboBox(this))
    , m_btRefreshLangs(new QPushButton(this))
    , m_lblMinBitrate(new QLabel(this))
    , m_sldMinBitrate(new QSlider(Qt::Horizontal, this))
    , m_lblMinBitrateValue(new QLabel(this))
    , m_lblMaxBitrate(new QLabel(this))
    , m_sldMaxBitrate(new QSlider(Qt::Horizontal, this))
    , m_lblMaxBitrateValue(new QLabel(this))
    , m_lblStartUp(new QLabel(this))
    , m_cbStartUp(new QComboBox(this))
    , m_lblHomeLocation(new QLabel(this))
    , m_leHomeLocation(new QLineEdit(this))
    , m_btSetLocation(new QPushButton(this))
    , m_lblUserName(new QLabel(this))
    , m_leUsername(new QLineEdit(this))
    , m_lblEmail(new QLabel(this))
    , m_leEmail(new QLineEdit(this))
    , m_lblHelp(new QLabel(this))
    , m_btSignOut(new QPushButton(this))
    , m_btSave(new QPushButton(this))
    , m_saveTimer(new QTimer(this))
    , m_api(new TunoraAPI(this))
{
    setObjectName(QStringLiteral("frmSettings"));
    const std::pair<QObject *, const char *> names[] = {{m_lblLanguages, "lblLanguages"},
                                                        {m_cbLanguages, "cbLanguages"},
                                                        {m_btRefreshLangs, "btRefreshLangs"},
                                                        {m_lblMinBitrate, "lblMinBitrate"},
                                                        {m_sldMinBitrate, "sldMinBitrate"},
                                                        {m_lblMinBitrateValue, "lblMinBitrateValue"},
                                                        {m_lblMaxBitrate, "lblMaxBitrate"},
                                                        {m_sldMaxBitrate, "sldMaxBitrate"},
                                                        {m_lblMaxBitrateValue, "lblMaxBitrateValue"},
                                                        {m_lblStartUp, "lblStartUp"},
                                                        {m_cbStartUp, "cbStartUp"},
                                                        {m_lblHomeLocation, "lblHomeLocation"},
                                                        {m_leHomeLocation, "leHomeLocation"},
                                                        {m_btSetLocation, "btSetLocation"},
                                                        {m_lblUserName, "lblUserName"},
                                                        {m_leUsername, "leUsername"},
                                                        {m_lblEmail, "lblEmail"},
                                                        {m_leEmail, "leEmail"},
                                                        {m_lblHelp, "lblHelp"},
                                                        {m_btSignOut, "btSignOut"},
                                                        {m_btSave, "btSave"}};
    for (const auto &[object, name] : names)
        object->setObjectName(QLatin1String(name));
    m_leUsername->setReadOnly(true);
    m_leEmail->setReadOnly(true);
    m_lblHelp->setWordWrap(true);
    m_lblLanguages->setBuddy(m_cbLanguages);
    m_lblMinBitrate->setBuddy(m_sldMinBitrate);
    m_lblMaxBitrate->setBuddy(m_sldMaxBitrate);
    m_lblStartUp->setBuddy(m_cbStartUp);
    m_lblHomeLocation->setBuddy(m_leHomeLocation);
    m_lblUserName->setBuddy(m_leUsername);
    m_lblEmail->setBuddy(m_leEmail);

    auto *grid = new QGridLayout(this);
    int row = 0;
    grid->addWidget(m_lblLanguages, row, 0);
    grid->addWidget(m_cbLanguages, row, 1);
    grid->addWidget(m_btRefreshLangs, row++, 2);
    grid->addWidget(m_lblMinBitrate, row, 0);
    grid->addWidget(m_sldMinBitrate, row, 1);
    grid->addWidget(m_lblMinBitrateValue, row++, 2);
    grid->addWidget(m_lblMaxBitrate, row, 0);
    grid->addWidget(m_sldMaxBitrate, row, 1);
    grid->addWidget(m_lblMaxBitrateValue, row++, 2);
    grid->addWidget(m_lblStartUp, row, 0);
    grid->addWidget(m_cbStartUp, row++, 1, 1, 2);
    grid->addWidget(m_lblHomeLocation, row, 0);
    grid->addWidget(m_leHomeLocation, row, 1);
    grid->addWidget(m_btSetLocation, row++, 2);
    grid->addWidget(m_lblUserName, row, 0);
    grid->addWidget(m_leUsername, row++, 1, 1, 2);
    grid->addWidget(m_lblEmail, row, 0);
    grid->addWidget(m_leEmail, row++, 1, 1, 2);
    grid->addWidget(new RecordingSettings(this), row++, 0, 1, 3);
    grid->addWidget(new DesktopSettings(this), row++, 0, 1, 3);
    grid->addWidget(m_lblHelp, row++, 0, 1, 3);
    grid->addWidget(m_btSignOut, row, 0);
    grid->addWidget(m_btSave, row++, 2);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);

    retranslate();
    m_cbStartUp->addItem(tr("Do nothing"), 0);
    m_cbStartUp->addItem(tr("Start the last played station"), 1);
    m_sldMinBitrate->setRange(0, 256);
    m_sldMinBitrate->setSingleStep(16);
    m_sldMinBitrate->setPageStep(32);
    m_sldMaxBitrate->setRange(0, MaxBitrateTop);
    m_sldMaxBitrate->setSingleStep(16);
    m_sldMaxBitrate->setPageStep(64);

    connect(m_btSave, &QPushButton::clicked, this, &Settings::slot_Save);
    connect(m_btRefreshLangs, &QPushButton::clicked, this, &Settings::slot_RefreshLangs);
    connect(m_btSetLocation, &QPushButton::clicked, this, &Settings::slot_setLocation);
    connect(m_btSignOut, &QPushButton::clicked, this, &Settings::slot_signOut);
    connect(m_sldMinBitrate, &QSlider::valueChanged, this, &Settings::slot_minBitrateChanged);
    connect(m_sldMaxBitrate, &QSlider::valueChanged, this, &Settings::slot_maxBitrateChanged);
    connect(m_cbLanguages, &QComboBox::currentIndexChanged, this, &Settings::slot_languagesChanged);
    connect(m_cbStartUp, &QComboBox::currentIndexChanged, this, &Settings::slot_startupChanged);
    connect(m_leHomeLocation, &QLineEdit::textChanged, this, &Settings::slot_homeLocChanged);
    connect(m_leHomeLocation, &QLineEdit::returnPressed, this, &Settings::slot_locationReturnPressed);
    connect(m_saveTimer, &QTimer::timeout, this, &Settings::slot_saveTimerUpdate);

    const AppSettings &settings = AppSettings::instance();
    m_sldMinBitrate->setValue(settings.minBitrate());
    const int max = settings.maxBitrate();
    m_sldMaxBitrate->setValue(max == 0 ? MaxBitrateTop : max);
    slot_minBitrateChanged(m_sldMinBitrate->value());
    slot_maxBitrateChanged(m_sldMaxBitrate->value());
    const int startup = m_cbStartUp->findData(settings.startupStationType());
    if (startup >= 0)
        m_cbStartUp->setCurrentIndex(startup);

    m_btSetLocation->setEnabled(false);
    m_changed = false;
    m_btSave->hide();
    m_saveTimer->start(2000);
}

void Settings::retranslate()
{
    m_lblLanguages->setText(tr("Language:"));
    m_btRefreshLangs->setText(tr("Refresh"));
    m_btRefreshLangs->setToolTip(tr("Refresh the available languages"));
    m_lblMinBitrate->setText(tr("Minimum Bitrate:"));
    m_lblMaxBitrate->setText(tr("Maximum Bitrate:"));
    m_lblStartUp->setText(tr("On Startup:"));
    m_lblHomeLocation->setText(tr("Home Location:"));
    m_btSetLocation->setText(tr("Set"));
    m_lblUserName->setText(tr("Username:"));
    m_lblEmail->setText(tr("Email Address:"));
    m_lblHelp->setText(tr("To change your username, email or password - please log in to your account on "
                          "TunoraWeb."));
    m_btSignOut->setText(tr("Sign Out"));
    m_btSave->setText(tr("Save Settings"));
}

int Settings::saveInterval() const
{
    return m_saveTimer->interval();
}

void Settings::setSaveInterval(int ms)
{
    m_saveTimer->start(ms);
}

void Settings::markChanged()
{
    if (!m_filled)
        return;
    m_changed = true;
    m_btSave->setEnabled(true);
}

void Settings::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
        m_cbStartUp->setItemText(0, tr("Do nothing"));
        m_cbStartUp->setItemText(1, tr("Start the last played station"));
        const int max = m_sldMaxBitrate->value();
        m_lblMaxBitrateValue->setText(max < UnlimitedFrom ? QString::number(max) : tr("Unlimited"));
    }
    QFrame::changeEvent(event);
}

void Settings::slot_minBitrateChanged(int value)
{
    m_lblMinBitrateValue->setText(QString::number(value));
    markChanged();
}

void Settings::slot_maxBitrateChanged(int value)
{
    m_lblMaxBitrateValue->setText(value < UnlimitedFrom ? QString::number(value) : tr("Unlimited"));
    markChanged();
}

QString Settings::selectedLanguageCode() const
{
    bool ok = false;
    const int index = m_cbLanguages->currentData().toInt(&ok);
    return ok && index >= 0 && index < m_languages.size() ? m_languages.at(index).code : QString();
}

void Settings::slot_languagesChanged(int)
{
    const QString code = selectedLanguageCode();
    if (!code.isEmpty() && code != m_currentLanguage)
        markChanged();
}

void Settings::slot_startupChanged(int)
{
    markChanged();
}

void Settings::slot_homeLocChanged(const QString &)
{
    m_btSetLocation->setEnabled(true);
}

void Settings::slot_locationReturnPressed()
{
    slot_setLocation();
}

void Settings::setAccount(const AccountDetails &account)
{
    m_currentLocation = account.location_string;
    m_leUsername->setText(account.username);
    m_leEmail->setText(account.mail);
    m_leHomeLocation->setText(account.location_string);
    m_btSetLocation->setEnabled(false);
}

void Settings::setLanguages(const QList<BASS::Language> &languages, const QString &currentCode)
{
    m_filled = false; // refilling the list is no change of the listener's
    m_cbLanguages->clear();
    m_languages.clear();
    for (const BASS::Language &l : languages) {
        if (l.name.isEmpty() ||
            m_cbLanguages->findText(l.name, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
            continue;
        m_languages.append(l);
        m_cbLanguages->addItem(l.name, int(m_languages.size() - 1));
    }
    for (int i = 0; i < m_languages.size(); ++i) {
        if (!currentCode.isEmpty() && m_languages.at(i).code == currentCode) {
            m_cbLanguages->setCurrentIndex(m_cbLanguages->findData(i));
            break;
        }
    }
    m_currentLanguage = currentCode;
    m_filled = true;
}

void Settings::slot_saveTimerUpdate()
{
    if (m_changed)
        slot_Save();
}

void Settings::saveNow()
{
    if (m_changed)
        slot_Save();
}

void Settings::slot_Save()
{
    m_changed = false;
    AppSettings &settings = AppSettings::instance();
    settings.setStartupStationType(m_cbStartUp->currentData().toInt());
    settings.setMinBitrate(m_sldMinBitrate->value());
    settings.setMaxBitrate(m_sldMaxBitrate->value());
    emit signal_saved();

    bool ok = false;
    const int index = m_cbLanguages->currentData().toInt(&ok);
    if (ok && index >= 0 && index < m_languages.size() && m_languages.at(index).code != m_currentLanguage) {
        const BASS::Language &chosen = m_languages.at(index);
        settings.writeLanguage(chosen, settings.memberName());
        m_currentLanguage = chosen.code;
        const int answer = BASS::QHttpExt::settings().message(
            BASS::MessageKind::Question, tr("Tunora Player"),
            tr("Your new settings will be applied when Tunora restarts, restart now?"),
            QMessageBox::Yes | QMessageBox::No);
        if (answer == QMessageBox::Yes)
            AccountSession::restart();
    }
    m_btSave->setEnabled(false);
}

void Settings::slot_RefreshLangs()
{
    // Refreshing is no choice of the listener's: the current language stays current and the
    // selection stays selected, so nothing new is saved (and no restart is offered) by a refresh.
    const QString current = m_currentLanguage;
    const QString selected = selectedLanguageCode();
    m_api->setQuiet(true);
    m_api->requestLanguagesModal();
    setLanguages(TunoraAPI::languages(), current);
    for (int i = 0; i < m_languages.size(); ++i) {
        if (m_languages.at(i).code == selected && i != m_cbLanguages->currentIndex())
            m_cbLanguages->setCurrentIndex(m_cbLanguages->findData(i));
    }
    m_cbLanguages->setFocus();
}

void Settings::slot_setLocation()
{
    const QString text = m_leHomeLocation->text();
    if (text != m_currentLocation && m_api->setHomeLocation(text)) {
        if (m_api->lastStatus() < 1) {
            // The reply's message is a confirmation, not the location: show the location as the
            // directory recorded it (it tidies blanks), read back with the account details.
            QString recorded = text.simplified();
            if (m_api->requestAccountInfoModal() && !TunoraAPI::accountDetails().location_string.isEmpty())
                recorded = TunoraAPI::accountDetails().location_string;
            m_currentLocation = recorded;
            m_leHomeLocation->setText(m_currentLocation);
            m_btSetLocation->setEnabled(false);
        } else {
            BASS::QHttpExt::settings().message(BASS::MessageKind::Information, tr("Tunora Player"),
                                               BASS::plainToHtml(m_api->lastMessage()));
        }
    }
    m_leHomeLocation->setFocus();
}

void Settings::slot_signOut()
{
    AccountSession::signOut(m_signOutHook);
}
