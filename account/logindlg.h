#pragma once

#include <QDialog>

#include <memory>

class ResendEmail;
class Signup;
class TunoraAPI;

namespace Ui {
class login;
}

// The modal sign-in dialog with its password-request mode and the embedded sign-up and
// activation panels. Accepted once the directory has accepted a member name and password; they
// are then stored in the settings.
class LoginDlg : public QDialog
{
    Q_OBJECT
public:
    enum Mode
    {
        SignInMode = 0,
        PasswordRequestMode = 1,
        SignUpMode = 2
    };

    explicit LoginDlg(QWidget *parent = nullptr);
    ~LoginDlg() override;

    void setCredentials(const QString &member, const QString &password);
    QString member() const;
    QString password() const;
    Mode mode() const { return m_mode; }
    QString message() const;
    // Created on first use (nullptr before).
    Signup *signupPanel() const { return m_signup; }
    ResendEmail *activationPanel() const { return m_resend; }
    // The activation panel's check interval, for panels created from now on (tests shorten it).
    void setActivationCheckInterval(int ms) { m_checkInterval = ms; }

    // Opens the dialog the way the main window does: language start-up without asking, centred,
    // the stored credentials filled in, run modally. Returns true when it was accepted (the
    // credentials and the language are then stored). When it was cancelled and the listener had
    // signed out, *endProgram is set: the program must end with exit code 0.
    static bool run(QWidget *parent, bool *endProgram);

public slots:
    void slot_CheckUser();
    void slot_ForgotPassword(const QString &link);
    void slot_NotAMember(const QString &link);
    void slot_Help();
    void slot_CloseHelp();
    void slot_Back();
    void slot_Authenticate();
    void slot_signedIn();

private:
    void showActivation(const QString &member, const QString &password);
    void setSignInTexts();

    Mode m_mode = SignInMode;
    std::unique_ptr<Ui::login> m_ui;
    Signup *m_signup = nullptr;
    ResendEmail *m_resend = nullptr;
    TunoraAPI *m_api;
    int m_checkInterval = 20000;
};
