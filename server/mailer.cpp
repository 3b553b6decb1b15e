#include "mailer.h"

#include "passwordhash.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSysInfo>

namespace {

// RFC 2047 encoded word for header text that is not plain ASCII.
QByteArray headerText(const QString &text)
{
    QString clean = text;
    clean.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    bool ascii = true;
    for (const QChar c : clean) {
        if (c.unicode() > 0x7e || c.unicode() < 0x20)
            ascii = false;
    }
    if (ascii)
        return clean.toLatin1();
    return "=?UTF-8?B?" + clean.toUtf8().toBase64() + "?=";
}

} // namespace

Mailer::Mailer(const QString &maildir, const QString &sendmailCommand, const QString &from, QObject *parent)
    : QObject(parent)
    , m_maildir(maildir)
    , m_sendmail(sendmailCommand)
    , m_from(from)
{}

bool Mailer::isValidAddress(const QString &address)
{
    if (address.isEmpty() || address.toUtf8().size() > 254)
        return false;
    static const QRegularExpression re(QStringLiteral(
        "^[A-Za-z0-9.!#$%&'*+/=?^_`{|}~-]+@[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?(?:\\.[A-Za-z0-9]"
        "(?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$"));
    return re.match(address).hasMatch();
}

QByteArray Mailer::compose(const QString &to, const QString &subject, const QString &body) const
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QByteArray m;
    m += "From: " + headerText(m_from) + "\r\n";
    m += "To: " + to.toLatin1() + "\r\n";
    m += "Subject: " + headerText(subject) + "\r\n";
    m += "Date: " + QLocale::c().toString(now, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss")).toLatin1() +
         " +0000\r\n";
    m += "Message-ID: <" + Secrets::randomHex(16).toLatin1() + "@tunora-directory>\r\n";
    m += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: "
         "8bit\r\n\r\n";
    QString text = body;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    m += text.toUtf8();
    if (!m.endsWith("\r\n"))
        m += "\r\n";
    return m;
}

bool Mailer::send(const QString &to, const QString &subject, const QString &body)
{
    if (!isValidAddress(to))
        return false;
    const QByteArray message = compose(to, subject, body);
    return m_sendmail.isEmpty() ? toMaildir(message) : toSendmail(message);
}

bool Mailer::toMaildir(const QByteArray &message)
{
    QDir dir(m_maildir);
    for (const char *sub : {"tmp", "new", "cur"}) {
        if (!dir.mkpath(QLatin1String(sub))) {
            qWarning().noquote() << "Mailer: cannot create the mail folder" << m_maildir;
            return false;
        }
    }
    const QString name =
        QStringLiteral("%1.P%2Q%3R%4.%5")
            .arg(QDateTime::currentSecsSinceEpoch())
            .arg(QCoreApplication::applicationPid())
            .arg(++m_counter)
            .arg(Secrets::randomHex(4), QSysInfo::machineHostName().remove(QLatin1Char('/')));
    const QString tmp = dir.filePath(QStringLiteral("tmp/") + name);
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        qWarning().noquote() << "Mailer: cannot write" << tmp << f.errorString();
        return false;
    }
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (f.write(message) != message.size() || !f.flush()) {
        f.close();
        f.remove();
        qWarning().noquote() << "Mailer: short write to" << tmp;
        return false;
    }
    f.close();
    if (!QFile::rename(tmp, dir.filePath(QStringLiteral("new/") + name))) {
        QFile::remove(tmp);
        qWarning().noquote() << "Mailer: cannot move the message into new/";
        return false;
    }
    return true;
}

bool Mailer::toSendmail(const QByteArray &message)
{
    QStringList args = QProcess::splitCommand(m_sendmail);
    if (args.isEmpty())
        return false;
    const QString program = args.takeFirst();
    auto *p = new QProcess(this);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->setStandardOutputFile(QProcess::nullDevice());
    connect(p, &QProcess::finished, p, [p](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0)
            qWarning().noquote() << "Mailer: the sendmail command failed with exit code" << code;
        p->deleteLater();
    });
    connect(p, &QProcess::errorOccurred, p, [p](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            qWarning().noquote() << "Mailer: the sendmail command could not be started";
            p->deleteLater();
        }
    });
    p->start(program, args);
    if (!p->waitForStarted(5000))
        return false;
    p->write(message);
    p->closeWriteChannel();
    return true;
}
