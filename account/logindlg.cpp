#include "logindlg.h"

#include "accountsession.h"
#include "appsettings.h"
#include "languagesetup.h"
#include "resendemail.h"
#include "signup.h"
#include "tunoraapi.h"
#include "ui_logindlg.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace {

QString link(const QString &text)
{
    return QStringLiteral("<a href=\"#\">%1</a>").arg(text.toHtmlEscaped());
}

} // namespace

LoginDlg::LoginDlg(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::login>())
    , m_api(new TunoraAPI(this))
{
    m_ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/TunoraDE/Resources/tn_icon32.png")));
    m_ui->btCloseHelp->setIcon(QIcon(QStringLiteral(":/TunoraDE/Resources/close_x.png")));
    QFont heading = m_ui->lblHeading->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.2);
    m_ui->lblHeading->setFont(heading);
    m_ui->frmHelp->hide();
    m_ui->btBack->hide();
    m_ui->lblForgotPassword->setText(link(tr("Forgot your password?")));
    m_ui->lblNotAMember->setText(link(tr("Not a member? Sign up, it's free!")));
    setSignInTexts();

    connect(m_ui->btSignIn, &QPushButton::clicked, this, &LoginDlg::slot_CheckUser);
    connect(m_ui->lblForgotPassword, &QLabel::linkActivated, this, &LoginDlg::slot_ForgotPassword);
    connect(m_ui->lblNotAMember, &QLabel::linkActivated, this, &LoginDlg::slot_NotAMember);
    connect(m_ui->btHelp, &QPushButton::clicked, this, &LoginDlg::slot_Help);
    connect(m_ui->btCloseHelp, &QPushButton::clicked, this, &LoginDlg::slot_CloseHelp);
    connect(m_ui->btBack, &QPushButton::clicked, this, &LoginDlg::slot_Back);
    resize(sizeHint().expandedTo(QSize(420, 240)));
}

LoginDlg::~LoginDlg() = default;

void LoginDlg::setSignInTexts()
{
    m_ui->lblHeading->setText(tr("Sign in"));
    m_ui->lblUsername->setText(tr("Member name"));
    m_ui->lblPassword->setText(tr("Password"));
    m_ui->btSignIn->setText(tr("Sign in"));
    m_ui->lblHelp->setText(
        tr("<p>Registration is free. You get to access personal services, like keeping your "
           "favorites. They will be available from anywhere.</p><p>Email validation is "
           "required, after registering you will receive further instructions on how to "
           "access your account.</p>"));
}

void LoginDlg::setCredentials(const QString &member, const QString &password)
{
    m_ui->leUsername->setText(member);
    m_ui->lePassword->setText(password);
}

QString LoginDlg::member() const
{
    return m_ui->leUsername->text();
}

QString LoginDlg::password() const
{
    return m_ui->lePassword->text();
}

QString LoginDlg::message() const
{
    return m_ui->lblMessage->text();
}

void LoginDlg::slot_CheckUser()
{
    if (m_mode == PasswordRequestMode) {
        m_ui->lblMessage->setText(tr("Resending password"));
        if (!m_api->lostPassword(m_ui->leUsername->text().trimmed()))
            return;
        m_ui->lblMessage->setText(m_api->lastStatus() < 1 ? tr("Password sent") : m_api->lastMessage());
        return;
    }
    const QString user = m_ui->leUsername->text().trimmed();
    const QString password = m_ui->lePassword->text();
    if (user.isEmpty()) {
        m_ui->lblMessage->setText(tr("Member name is missing!"));
        m_ui->leUsername->setFocus();
        return;
    }
    if (password.isEmpty()) {
        m_ui->lblMessage->setText(tr("Password is missing!"));
        m_ui->lePassword->setFocus();
        return;
    }
    m_ui->lblMessage->setText(tr("Verifying") + QLatin1String("..."));
    if (!AccountSession::authenticate(*m_api, user, password, tr("Verifying") + QLatin1String("...")))
        return;
    const int code = m_api->lastStatus();
    if (code == AccountSession::SignedIn) {
        AccountSession::storeSignedIn(user, password);
        if (m_resend)
            m_resend->stop();
        accept();
        return;
    }
    if (code == AccountSession::NotActivated)
        showActivation(user, password);
    m_ui->lblMessage->setText(m_api->lastMessage());
    m_ui->leUsername->setFocus();
}

void LoginDlg::showActivation(const QString &member, const QString &password)
{
    if (!m_resend) {
        m_resend = new ResendEmail(this);
        m_resend->setCheckInterval(m_checkInterval);
        layout()->addWidget(m_resend);
        connect(m_resend, &ResendEmail::signal_signedIn, this, &LoginDlg::slot_signedIn);
        connect(m_resend, &ResendEmail::signal_closed, this, &LoginDlg::slot_Back);
    }
    m_resend->setCredentials(member, password);
    m_resend->show();
    m_resend->startChecking();
}

void LoginDlg::slot_ForgotPassword(const QString &)
{
    m_mode = PasswordRequestMode;
    m_ui->lblUsername->setText(tr("Member name or e-mail address"));
    m_ui->lblHeading->setText(tr("Request password"));
    m_ui->btSignIn->setText(tr("Send"));
    m_ui->lblPassword->hide();
    m_ui->lePassword->hide();
    m_ui->lblForgotPassword->hide();
    m_ui->lblMessage->clear();
    m_ui->btBack->show();
    m_ui->leUsername->setFocus();
}

void LoginDlg::slot_NotAMember(const QString &)
{
    m_mode = SignUpMode;
    if (!m_signup) {
        m_signup = new Signup(this);
        layout()->addWidget(m_signup);
        connect(m_signup, &Signup::signal_Authenticate, this, &LoginDlg::slot_Authenticate);
        connect(m_signup, &Signup::signal_Back, this, &LoginDlg::slot_Back);
    }
    m_ui->frmForm->hide();
    m_ui->btSignIn->hide();
    m_ui->btHelp->hide();
    m_ui->frmHelp->hide();
    m_signup->show();
}

void LoginDlg::slot_Help()
{
    m_ui->frmHelp->setVisible(!m_ui->frmHelp->isVisible());
}

void LoginDlg::slot_CloseHelp()
{
    m_ui->frmHelp->hide();
}

void LoginDlg::slot_Back()
{
    m_mode = SignInMode;
    setSignInTexts();
    m_ui->lblMessage->clear();
    if (m_signup) {
        m_signup->hide();
        if (!m_signup->member().isEmpty())
            setCredentials(m_signup->member(), m_signup->password());
    }
    if (m_resend) {
        m_resend->stop();
        m_resend->hide();
    }
    m_ui->frmForm->show();
    m_ui->lblPassword->show();
    m_ui->lePassword->show();
    m_ui->lblForgotPassword->show();
    m_ui->btSignIn->show();
    m_ui->btHelp->show();
    m_ui->btBack->hide();
    m_ui->leUsername->setFocus();
}

void LoginDlg::slot_Authenticate()
{
    const QString member = m_signup->member();
    const QString password = m_signup->password();
    m_mode = SignInMode;
    m_ui->frmForm->show();
    m_ui->btSignIn->show();
    m_ui->btHelp->show();
    setCredentials(member, password);
    showActivation(member, password);
    m_resend->start();
    m_ui->lblMessage->clear();
}

void LoginDlg::slot_signedIn()
{
    slot_CheckUser();
}

bool LoginDlg::run(QWidget *parent, bool *endProgram)
{
    if (endProgram)
        *endProgram = false;
    AppSettings &settings = AppSettings::instance();
    LanguageSetup::start(settings.memberName(), false, parent);
    LoginDlg dialog(parent);
    QString member, password;
    settings.credentials(member, password);
    dialog.setCredentials(member, password);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        dialog.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, dialog.size(),
                                               screen->availableGeometry()));
    if (dialog.exec() != QDialog::Accepted) {
        if (endProgram)
            *endProgram = AccountSession::cancelEndsProgram();
        return false;
    }
    AccountSession::storeSignedIn(dialog.member().trimmed(), dialog.password());
    LanguageSetup::storeFor(dialog.member().trimmed());
    return true;
}
