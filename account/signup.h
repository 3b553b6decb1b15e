#pragma once

#include <QFrame>

#include <memory>

class TunoraAPI;

namespace Ui {
class Signup;
}

// The sign-up panel of the sign-in dialog: checks the form locally (every box filled, e-mail and
// password typed twice alike) before it asks the directory to create the account.
class Signup : public QFrame
{
    Q_OBJECT
public:
    explicit Signup(QWidget *parent = nullptr);
    ~Signup() override;

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
    std::unique_ptr<Ui::Signup> m_ui;
    TunoraAPI *m_api;
    QString m_member;
    QString m_password;
};
