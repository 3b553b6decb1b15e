#pragma once

#include <QFrame>

#include <memory>

class QTimer;
class TunoraAPI;

namespace Ui {
class ResendEmail;
}

// The panel that waits for a new account's e-mail activation: it retries the sign-in every
// checkInterval() milliseconds and signs in as soon as the account is active.
class ResendEmail : public QFrame
{
    Q_OBJECT
public:
    explicit ResendEmail(QWidget *parent = nullptr);
    ~ResendEmail() override;

    void setCredentials(const QString &member, const QString &password);
    // Shows the panel with the account-created message and starts checking.
    void start();
    // Starts (or restarts) the periodic sign-in check without touching the message.
    void startChecking();
    void stop();
    bool isChecking() const;

    // 20 s; tests shorten it with setCheckInterval before start().
    int checkInterval() const { return m_interval; }
    void setCheckInterval(int ms) { m_interval = ms; }

    QString member() const { return m_member; }
    QString password() const { return m_password; }

signals:
    void signal_signedIn();
    // A check ended: signedIn is true when the account is now active.
    void signal_checked(bool signedIn);
    // The listener wants to sign in with a different account.
    void signal_closed();

public slots:
    void slot_checkTimerUpdate();
    void slot_signInDiffAccount(const QString &link);
    void slot_resendEmail(const QString &link);

private:
    void showNotActivated();

    std::unique_ptr<Ui::ResendEmail> m_ui;
    QTimer *m_timer = nullptr;
    TunoraAPI *m_api;
    QString m_member;
    QString m_password;
    int m_interval = 20000;
    bool m_checking = false;
};
