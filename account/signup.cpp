#include "signup.h"

#include "tunoraapi.h"
#include "ui_signup.h"

#include <QLineEdit>
#include <QPushButton>

Signup::Signup(QWidget *parent)
    : QFrame(parent)
    , m_ui(std::make_unique<Ui::Signup>())
    , m_api(new TunoraAPI(this))
{
    m_ui->setupUi(this);
    m_ui->frmHelp->hide();
    for (QLineEdit *edit :
         {m_ui->leUsername, m_ui->lePassword, m_ui->leRetypePassword, m_ui->leEmail, m_ui->leRetypeEmail})
        connect(edit, &QLineEdit::returnPressed, this, &Signup::slot_CheckUser);
    connect(m_ui->btSignUp, &QPushButton::clicked, this, &Signup::slot_CheckUser);
    connect(m_ui->btBack, &QPushButton::clicked, this, &Signup::slot_Back);
    connect(m_ui->btHelp, &QPushButton::clicked, this, &Signup::slot_Help);
    connect(m_ui->btCloseHelp, &QPushButton::clicked, this, &Signup::slot_CloseHelp);
}

Signup::~Signup() = default;

QString Signup::message() const
{
    return m_ui->lblMessage->text();
}

QString Signup::tidyMessage(QString message)
{
    message.replace(QLatin1String("allready"), QLatin1String("already"));
    message.replace(QLatin1String("associated"), QLatin1String("associated\n"));
    return message;
}

void Signup::slot_CheckUser()
{
    QLineEdit *const order[] = {m_ui->leUsername, m_ui->lePassword, m_ui->leEmail, m_ui->leRetypeEmail,
                                m_ui->leRetypePassword};
    for (QLineEdit *edit : order) {
        if (edit->text().isEmpty()) {
            m_ui->lblMessage->setText(tr("All boxes must be filled in"));
            edit->setFocus();
            return;
        }
    }
    if (m_ui->leEmail->text() != m_ui->leRetypeEmail->text()) {
        m_ui->lblMessage->setText(tr("Emails are not the same"));
        m_ui->leEmail->setFocus();
        return;
    }
    if (m_ui->lePassword->text() != m_ui->leRetypePassword->text()) {
        m_ui->lblMessage->setText(tr("Passwords are not the same"));
        m_ui->lePassword->setFocus();
        return;
    }
    m_ui->lblMessage->setText(tr("Verifying") + QLatin1String("..."));
    if (!m_api->createAccount(m_ui->leUsername->text(), m_ui->lePassword->text(),
                              m_ui->leEmail->text().trimmed()))
        return;
    if (m_api->lastStatus() < 1) {
        m_member = m_ui->leUsername->text();
        m_password = m_ui->lePassword->text();
        hide();
        emit signal_Authenticate();
        return;
    }
    m_ui->lblMessage->setText(tidyMessage(m_api->lastMessage()));
}

void Signup::slot_Help()
{
    m_ui->frmHelp->setVisible(!m_ui->frmHelp->isVisible());
}

void Signup::slot_CloseHelp()
{
    m_ui->frmHelp->hide();
}

void Signup::slot_Back()
{
    hide();
    emit signal_Back();
}
