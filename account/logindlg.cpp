#include "logindlg.h"

#include "accountsession.h"
#include "appsettings.h"
#include "languagesetup.h"
#include "resendemail.h"
#include "signup.h"
#include "tunoraapi.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QString link(const QString &text)
{
    return QStringLiteral("<a href=\"#\">%1</a>").arg(text.toHtmlEscaped());
}

} // namespace

LoginDlg::LoginDlg(QWidget *parent)
    : QDialog(parent)
    , m_lblHeading(new QLabel(this))
    , m_lblUsername(new QLabel(this))
    , m_leUsername(new QLineEdit(this))
    , m_lblPassword(new QLabel(this))
    , m_lePassword(new QLineEdit(this))
    , m_btSignIn(new QPushButton(this))
    , m_lblForgotPassword(new QLabel(this))
    , m_lblNotAMember(new QLabel(this))
    , m_lblMessage(new QLabel(this))
    , m_btHelp(new QPushButton(this))
    , m_frmHelp(new QFrame(this))
    , m_lblHelp(new QLabel(m_frmHelp))
    , m_btCloseHelp(new QPushButton(m_frmHelp))
    , m_btBack(new QPushButton(this))
    , m_frmForm(new QFrame(this))
    , m_api(new TunoraAPI(this))
{
    setObjectName(QStringLiteral("login"));
    setWindowTitle(tr("Sign in"));
    setWindowIcon(QIcon(QStringLiteral(":/TunoraDE/Resources/tn_icon32.png")));
    m_lblHeading->setObjectName(QStringLiteral("lblHeading"));
    m_lblUsername->setObjectName(QStringLiteral("lblUsername"));
    m_leUsername->setObjectName(QStringLiteral("leUsername"));
    m_lblPassword->setObjectName(QStringLiteral("lblPassword"));
    m_lePassword->setObjectName(QStringLiteral("lePassword"));
    m_lePassword->setEchoMode(QLineEdit::Password);
    m_btSignIn->setObjectName(QStringLiteral("btSignIn"));
    m_lblForgotPassword->setObjectName(QStringLiteral("lblForgotPassword"));
    m_lblNotAMember->setObjectName(QStringLiteral("lblNotAMember"));
    m_lblMessage->setObjectName(QStringLiteral("lblMessage"));
    m_lblMessage->setTextFormat(Qt::PlainText);
    m_lblMessage->setWordWrap(true);
    m_btHelp->setObjectName(QStringLiteral("btHelp"));
    m_frmHelp->setObjectName(QStringLiteral("frmHelp"));
    m_lblHelp->setObjectName(QStringLiteral("lblHelp"));
    m_lblHelp->setWordWrap(true);
    m_btCloseHelp->setObjectName(QStringLiteral("btCloseHelp"));
    m_btCloseHelp->setIcon(QIcon(QStringLiteral(":/TunoraDE/Resources/close_x.png")));
    m_btCloseHelp->setAccessibleName(tr("Close help"));
    m_btBack->setObjectName(QStringLiteral("btBack"));
    QFont heading = m_lblHeading->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.2);
    m_lblHeading->setFont(heading);
    m_lblUsername->setBuddy(m_leUsername);
    m_lblPassword->setBuddy(m_lePassword);

    auto *form = new QGridLayout(m_frmForm);
    form->setContentsMargins(0, 0, 0, 0);
    form->addWidget(m_lblHeading, 0, 0, 1, 2);
    form->addWidget(m_lblUsername, 1, 0);
    form->addWidget(m_leUsername, 1, 1);
    form->addWidget(m_lblPassword, 2, 0);
    form->addWidget(m_lePassword, 2, 1);
    form->addWidget(m_lblForgotPassword, 3, 1);
    form->addWidget(m_lblNotAMember, 4, 1);
    form->addWidget(m_lblMessage, 5, 0, 1, 2);

    auto *helpLayout = new QHBoxLayout(m_frmHelp);
    helpLayout->addWidget(m_lblHelp, 1);
    helpLayout->addWidget(m_btCloseHelp, 0, Qt::AlignTop);
    m_frmHelp->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_btHelp);
    buttons->addStretch(1);
    buttons->addWidget(m_btBack);
    buttons->addWidget(m_btSignIn);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_frmForm);
    layout->addWidget(m_frmHelp);
    layout->addLayout(buttons);

    m_btHelp->setText(tr("Help"));
    m_btBack->setText(tr("Back"));
    m_lblForgotPassword->setText(link(tr("Forgot your password?")));
    m_lblNotAMember->setText(link(tr("Not a member? Sign up, it's free!")));
    m_btSignIn->setDefault(true);
    setSignInTexts();
    m_btBack->hide();

    connect(m_btSignIn, &QPushButton::clicked, this, &LoginDlg::slot_CheckUser);
    connect(m_lblForgotPassword, &QLabel::linkActivated, this, &LoginDlg::slot_ForgotPassword);
    connect(m_lblNotAMember, &QLabel::linkActivated, this, &LoginDlg::slot_NotAMember);
    connect(m_btHelp, &QPushButton::clicked, this, &LoginDlg::slot_Help);
    connect(m_btCloseHelp, &QPushButton::clicked, this, &LoginDlg::slot_CloseHelp);
    connect(m_btBack, &QPushButton::clicked, this, &LoginDlg::slot_Back);
    resize(sizeHint().expandedTo(QSize(420, 240)));
}

void LoginDlg::setSignInTexts()
{
    m_lblHeading->setText(tr("Sign in"));
    m_lblUsername->setText(tr("Member name"));
    m_lblPassword->setText(tr("Password"));
    m_btSignIn->setText(tr("Sign in"));
    m_lblHelp->setText(tr("<p>Registration is free. You get to access personal services, like keeping your "
                          "favorites. They will be available from anywhere.</p><p>Email validation is "
                          "required, after registering you will receive further instructions on how to "
                          "access your account.</p>"));
}

void LoginDlg::setCredentials(const QString &member, const QString &password)
{
    m_leUsername->setText(member);
    m_lePassword->setText(password);
}

QString LoginDlg::member() const
{
    return m_leUsername->text();
}

QString LoginDlg::password() const
{
    return m_lePassword->text();
}

QString LoginDlg::message() const
{
    return m_lblMessage->text();
}

void LoginDlg::slot_CheckUser()
{
    if (m_mode == PasswordRequestMode) {
        m_lblMessage->setText(tr("Resending password"));
        if (!m_api->lostPassword(m_leUsername->text().trimmed()))
            return;
        m_lblMessage->setText(m_api->lastStatus() < 1 ? tr("Password sent") : m_api->lastMessage());
        return;
    }
    const QString user = m_leUsername->text().trimmed();
    const QString password = m_lePassword->text();
    if (user.isEmpty()) {
        m_lblMessage->setText(tr("Member name is missing!"));
        m_leUsername->setFocus();
        return;
    }
    if (password.isEmpty()) {
        m_lblMessage->setText(tr("Password is missing!"));
        m_lePassword->setFocus();
        return;
    }
    m_lblMessage->setText(tr("Verifying") + QLatin1String("..."));
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
    m_lblMessage->setText(m_api->lastMessage());
    m_leUsername->setFocus();
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
    m_lblUsername->setText(tr("Member name or e-mail address"));
    m_lblHeading->setText(tr("Request password"));
    m_btSignIn->setText(tr("Send"));
    m_lblPassword->hide();
    m_lePassword->hide();
    m_lblForgotPassword->hide();
    m_lblMessage->clear();
    m_btBack->show();
    m_leUsername->setFocus();
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
    m_frmForm->hide();
    m_btSignIn->hide();
    m_btHelp->hide();
    m_frmHelp->hide();
    m_signup->show();
}

void LoginDlg::slot_Help()
{
    m_frmHelp->setVisible(!m_frmHelp->isVisible());
}

void LoginDlg::slot_CloseHelp()
{
    m_frmHelp->hide();
}

void LoginDlg::slot_Back()
{
    m_mode = SignInMode;
    setSignInTexts();
    m_lblMessage->clear();
    if (m_signup) {
        m_signup->hide();
        if (!m_signup->member().isEmpty())
            setCredentials(m_signup->member(), m_signup->password());
    }
    if (m_resend) {
        m_resend->stop();
        m_resend->hide();
    }
    m_frmForm->show();
    m_lblPassword->show();
    m_lePassword->show();
    m_lblForgotPassword->show();
    m_btSignIn->show();
    m_btHelp->show();
    m_btBack->hide();
    m_leUsername->setFocus();
}

void LoginDlg::slot_Authenticate()
{
    const QString member = m_signup->member();
    const QString password = m_signup->password();
    m_mode = SignInMode;
    m_frmForm->show();
    m_btSignIn->show();
    m_btHelp->show();
    setCredentials(member, password);
    showActivation(member, password);
    m_resend->start();
    m_lblMessage->clear();
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
