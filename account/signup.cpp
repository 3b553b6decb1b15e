#include "signup.h"

#include "tunoraapi.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

Signup::Signup(QWidget *parent)
    : QFrame(parent)
    , m_lblMessage(new QLabel(this))
    , m_frmHelp(new QFrame(this))
    , m_btSignUp(new QPushButton(tr("Sign up"), this))
    , m_btBack(new QPushButton(tr("Back"), this))
    , m_btHelp(new QPushButton(tr("Help"), this))
    , m_api(new TunoraAPI(this))
    , m_form(new QFormLayout)
{
    setObjectName(QStringLiteral("Signup"));
    m_leUsername = addField(QStringLiteral("leUsername"), tr("Member name"), false);
    m_lePassword = addField(QStringLiteral("lePassword"), tr("Password"), true);
    m_leRetypePassword = addField(QStringLiteral("leRetypePassword"), tr("Retype Password"), true);
    m_leEmail = addField(QStringLiteral("leEmail"), tr("Email"), false);
    m_leRetypeEmail = addField(QStringLiteral("leRetypeEmail"), tr("Retype Email"), false);
    m_lblMessage->setObjectName(QStringLiteral("lblMessage"));
    m_lblMessage->setTextFormat(Qt::PlainText);
    m_lblMessage->setWordWrap(true);
    m_btSignUp->setObjectName(QStringLiteral("btSignUp"));
    m_btBack->setObjectName(QStringLiteral("btBack"));
    m_btHelp->setObjectName(QStringLiteral("btHelp"));
    m_frmHelp->setObjectName(QStringLiteral("frmHelp"));

    auto *help = new QLabel(m_frmHelp);
    help->setObjectName(QStringLiteral("lblHelp"));
    help->setWordWrap(true);
    help->setText(tr("<p>Choose a member name of 3 to 32 letters or digits and a password of at least "
                     "6 characters.</p><p>We send an e-mail to the address you give; follow the link "
                     "in it to activate your account.</p>"));
    auto *closeHelp = new QPushButton(tr("Close"), m_frmHelp);
    closeHelp->setObjectName(QStringLiteral("btCloseHelp"));
    auto *helpLayout = new QVBoxLayout(m_frmHelp);
    helpLayout->addWidget(help);
    helpLayout->addWidget(closeHelp, 0, Qt::AlignRight);
    m_frmHelp->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_btHelp);
    buttons->addStretch(1);
    buttons->addWidget(m_btBack);
    buttons->addWidget(m_btSignUp);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(m_form);
    layout->addWidget(m_lblMessage);
    layout->addWidget(m_frmHelp);
    layout->addLayout(buttons);

    connect(m_btSignUp, &QPushButton::clicked, this, &Signup::slot_CheckUser);
    connect(m_btBack, &QPushButton::clicked, this, &Signup::slot_Back);
    connect(m_btHelp, &QPushButton::clicked, this, &Signup::slot_Help);
    connect(closeHelp, &QPushButton::clicked, this, &Signup::slot_CloseHelp);
}

QLineEdit *Signup::addField(const QString &objectName, const QString &caption, bool secret)
{
    auto *edit = new QLineEdit(this);
    edit->setObjectName(objectName);
    if (secret)
        edit->setEchoMode(QLineEdit::Password);
    edit->setAccessibleName(caption);
    m_form->addRow(caption, edit);
    connect(edit, &QLineEdit::returnPressed, this, &Signup::slot_CheckUser);
    return edit;
}

QString Signup::message() const
{
    return m_lblMessage->text();
}

QString Signup::tidyMessage(QString message)
{
    message.replace(QLatin1String("allready"), QLatin1String("already"));
    message.replace(QLatin1String("associated"), QLatin1String("associated\n"));
    return message;
}

void Signup::slot_CheckUser()
{
    QLineEdit *const order[] = {m_leUsername, m_lePassword, m_leEmail, m_leRetypeEmail, m_leRetypePassword};
    for (QLineEdit *edit : order) {
        if (edit->text().isEmpty()) {
            m_lblMessage->setText(tr("All boxes must be filled in"));
            edit->setFocus();
            return;
        }
    }
    if (m_leEmail->text() != m_leRetypeEmail->text()) {
        m_lblMessage->setText(tr("Emails are not the same"));
        m_leEmail->setFocus();
        return;
    }
    if (m_lePassword->text() != m_leRetypePassword->text()) {
        m_lblMessage->setText(tr("Passwords are not the same"));
        m_lePassword->setFocus();
        return;
    }
    m_lblMessage->setText(tr("Verifying") + QLatin1String("..."));
    if (!m_api->createAccount(m_leUsername->text(), m_lePassword->text(), m_leEmail->text().trimmed()))
        return;
    if (m_api->lastStatus() < 1) {
        m_member = m_leUsername->text();
        m_password = m_lePassword->text();
        hide();
        emit signal_Authenticate();
        return;
    }
    m_lblMessage->setText(tidyMessage(m_api->lastMessage()));
}

void Signup::slot_Help()
{
    m_frmHelp->setVisible(!m_frmHelp->isVisible());
}

void Signup::slot_CloseHelp()
{
    m_frmHelp->hide();
}

void Signup::slot_Back()
{
    hide();
    emit signal_Back();
}
