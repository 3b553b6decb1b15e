#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QPushButton;
class TunoraAPI;

// The sign-up panel of the sign-in dialog: checks the form locally (every box filled, e-mail and
// password typed twice alike) before it asks the directory to create the account.
class Signup : public QFrame
{
    Q_OBJECT
public:
    explicit Signup(QWidget *parent = nullptr);

    // The credentials of the account just created (empty before).
    QString member() const { return m_member; }
    QString password() const { return m_password; }
    QString message() const;

    // The service's message as shown: "allready" spelt right, a line break after "associated".
    static QString tidyMessage(QString message);

signals:
    void signal_Authenticate();
    void signal_Back();

public slots:
    void slot_CheckUser();
    void slot_Help();
    void slot_Back();
    void slot_CloseHelp();

private:
    QLineEdit *addField(const QString &objectName, const QString &caption, bool secret);

    QLineEdit *m_leUsername;
    QLineEdit *m_lePassword;
    QLineEdit *m_leRetypePassword;
    QLineEdit *m_leEmail;
    QLineEdit *m_leRetypeEmail;
    QLabel *m_lblMessage;
    QFrame *m_frmHelp;
    QPushButton *m_btSignUp;
    QPushButton *m_btBack;
    QPushButton *m_btHelp;
    TunoraAPI *m_api;
    QString m_member;
    QString m_password;
    class QFormLayout *m_form;
};
