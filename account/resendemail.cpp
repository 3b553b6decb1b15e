#include "resendemail.h"

#include "accountsession.h"
#include "tunoraapi.h"
#include "ui_resendemail.h"

#include <QLabel>
#include <QTimer>

ResendEmail::ResendEmail(QWidget *parent)
    : QFrame(parent)
    , m_ui(std::make_unique<Ui::ResendEmail>())
    , m_api(new TunoraAPI(this))
{
    m_ui->setupUi(this);
    m_ui->lblResend->setText(QStringLiteral("<a href=\"resend\">%1</a>").arg(tr("Resend activation email")));
    m_ui->lblDiffAccount->setText(
        QStringLiteral("<a href=\"other\">%1</a>").arg(tr("Sign in with a different account")));
    connect(m_ui->lblResend, &QLabel::linkActivated, this, &ResendEmail::slot_resendEmail);
    connect(m_ui->lblDiffAccount, &QLabel::linkActivated, this, &ResendEmail::slot_signInDiffAccount);
}

ResendEmail::~ResendEmail() = default;

void ResendEmail::showNotActivated()
{
    m_ui->lblMessage->setText(
        tr("Account %1 is not activated yet, please follow instructions in your email").arg(m_member));
}

void ResendEmail::setCredentials(const QString &member, const QString &password)
{
    m_member = member;
    m_password = password;
    showNotActivated();
}

void ResendEmail::start()
{
    show();
    m_ui->lblMessage->setText(tr("Your account has been created and we have sent you an e-mail, follow "
                                 "instructions there to activate your account."));
    startChecking();
}

void ResendEmail::startChecking()
{
    if (!m_timer) {
        m_timer = new QTimer(this);
        connect(m_timer, &QTimer::timeout, this, &ResendEmail::slot_checkTimerUpdate);
    }
    m_timer->start(m_interval);
}

void ResendEmail::stop()
{
    if (m_timer)
        m_timer->stop();
}

bool ResendEmail::isChecking() const
{
    return m_timer && m_timer->isActive();
}

void ResendEmail::slot_checkTimerUpdate()
{
    if (m_checking || m_member.isEmpty())
        return;
    m_checking = true;
    m_ui->lblStatus->setText(tr("Authenticating") + QLatin1String("..."));
    const bool replied = AccountSession::authenticate(*m_api, m_member, m_password, QString());
    m_checking = false;
    if (replied && m_api->lastStatus() == AccountSession::SignedIn) {
        stop();
        hide();
        AccountSession::storeSignedIn(m_member, m_password);
        emit signal_checked(true);
        emit signal_signedIn();
        return;
    }
    showNotActivated();
    m_ui->lblStatus->clear();
    emit signal_checked(false);
}

void ResendEmail::slot_resendEmail(const QString &)
{
    if (!m_api->resendValidation(m_member, m_password))
        return;
    const QString message = m_api->lastMessage();
    m_ui->lblMessage->setText(message.isEmpty() ? tr("Email sent") : message);
}

void ResendEmail::slot_signInDiffAccount(const QString &)
{
    stop();
    hide();
    emit signal_closed();
}
