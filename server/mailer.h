#pragma once

#include <QObject>
#include <QString>

// Sends the service's mails (account activation, password reset): into a Maildir folder
// ("tmp/" then renamed into "new/", so readers never see half a message), or through a
// sendmail-compatible command that reads the message on its standard input.
class Mailer : public QObject
{
    Q_OBJECT
public:
    Mailer(const QString &maildir, const QString &sendmailCommand, const QString &from,
           QObject *parent = nullptr);

    // Returns false when the message could not be handed over; the reason goes to the log.
    bool send(const QString &to, const QString &subject, const QString &body);

    // The complete message text (headers and body), as it is handed over.
    QByteArray compose(const QString &to, const QString &subject, const QString &body) const;
    // A plain address without blanks, control characters or header syntax, at most 254 bytes.
    static bool isValidAddress(const QString &address);

private:
    bool toMaildir(const QByteArray &message);
    bool toSendmail(const QByteArray &message);

    QString m_maildir;
    QString m_sendmail;
    QString m_from;
    int m_counter = 0;
};
