#pragma once

#include "config.h"
#include "ratelimiter.h"
#include "throttle.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QThreadPool>
#include <QUrl>

#include <functional>

class Database;
class Mailer;

struct Account
{
    qint64 id = 0;
    QString username;
    QString email;
    QString listenToken;
    QString location;
    QString countryCode;
    QString countryName;
    bool activated = false;
};

// Listener accounts: creation with e-mail activation, sign-in, lost passwords and the account
// details. Passwords are kept as slow salted hashes computed on a small worker pool, never on
// the event loop; a successful check is remembered for a few minutes under a keyed digest of
// name and password (the key lives only in this process), so a player that sends its
// credentials with every request costs one hash per session, not one per request. Failed checks
// are limited per account name and per client address, and a name without an account costs the
// same time and gets the same answer as a wrong password.
class Accounts : public QObject
{
    Q_OBJECT
public:
    enum class Auth
    {
        Ok,
        NotActivated,
        Invalid,
        Limited,
        Busy,
        // The database could not be read or written: nothing was decided and nothing counted.
        Failed
    };
    // A status reply: code 0 success, 2 error (1 and 2 have their own meaning for sign-in).
    struct Outcome
    {
        Outcome() = default;
        Outcome(int c, const QString &m, const QString &a = QString())
            : code(c)
            , message(m)
            , arg(a)
        {}
        int code = 2;
        // English text, translated by the caller; "%1" in it stands for arg.
        QString message;
        QString arg;
        // The database failed: nothing was done, and the reply says the service is unavailable.
        bool unavailable = false;

        static Outcome storageError();
    };
    using AuthCallback = std::function<void(Auth, const Account &)>;
    using OutcomeCallback = std::function<void(const Outcome &)>;

    Accounts(Database &db, Mailer &mailer, const ServiceConfig &config, QObject *parent = nullptr);
    ~Accounts() override;

    void setPublicUrl(const QUrl &url) { m_publicUrl = url; }

    // The callback runs before this returns (remembered check, limit, bad input) or later on
    // this object's thread.
    void authenticate(const QString &user, const QString &password, const QHostAddress &from,
                      AuthCallback done);
    void create(const QString &user, const QString &password, const QString &email, const QHostAddress &from,
                OutcomeCallback done);
    void resendValidation(const QString &user, const QString &password, const QHostAddress &from,
                          OutcomeCallback done);
    void lostPassword(const QString &member, const QHostAddress &from, OutcomeCallback done);

    // Activation and password-reset links.
    bool activate(const QString &token);
    bool resetTokenValid(const QString &token);
    void resetPassword(const QString &token, const QString &password, OutcomeCallback done);

    bool accountById(qint64 id, Account *out);
    bool accountByListenToken(const QString &token, Account *out);
    bool setLocation(qint64 accountId, const QString &location, const QString &countryCode,
                     const QString &countryName);

    static bool validUsername(const QString &user);
    static bool validPassword(const QString &password);
    static QString nameKey(const QString &user);

    int hashesInFlight() const { return m_inFlight; }
    qsizetype cachedVerifications() const { return m_cache.size(); }

private:
    struct Stored
    {
        Account account;
        QString hash;
    };
    enum class Found
    {
        Yes,
        No,
        Error
    };
    Found load(const QString &sql, const QVariant &key, Stored *out);
    // Mails a one-time link to account/<purpose>?token=…; text has %1 name, %2 link, %3 validFor.
    bool sendLink(const Account &account, const QString &purpose, qint64 lifetimeSeconds,
                  const QString &subject, const QString &text, int validFor, QString token = QString());
    // With a token, mails that one (already stored) instead of making a new one.
    bool sendActivation(const Account &account, const QString &token = QString());
    bool sendReset(const Account &account);
    QString newToken(qint64 accountId, const QString &purpose, qint64 lifetimeSeconds);
    qint64 tokenAccount(const QString &token, const QString &purpose);
    QByteArray cacheKey(const QString &user, const QString &password) const;
    void remember(const QByteArray &key, qint64 accountId, const QString &hash);
    void forget(qint64 accountId);
    // Runs fn on the hashing pool and then done(result) here; false when the pool is full.
    bool offload(std::function<QString()> fn, std::function<void(const QString &)> done,
                 const QString &addressKey = QString());
    bool hashSlotFree(const QString &addressKey) const;

    Database &m_db;
    Mailer &m_mailer;
    ServiceConfig m_config;
    QUrl m_publicUrl;
    QThreadPool m_pool;
    int m_inFlight = 0;
    QByteArray m_cacheSecret;
    struct CacheEntry
    {
        qint64 accountId;
        qint64 expiresMs;
        // The stored hash the password was checked against: a password changed by another
        // instance sharing the database no longer matches it.
        QString hash;
    };
    QHash<QByteArray, CacheEntry> m_cache;
    QHash<qint64, quint64> m_passwordEpoch;
    QString m_dummyHash;
    QHash<QString, int> m_hashesByAddress;
    Throttle m_throttle;
    Throttle::Rule m_pairRule;
    Throttle::Rule m_accountRule;
    Throttle::Rule m_addressRule;
    Throttle::Rule m_creationRule;
    Throttle::Rule m_nameCheckRule;
    Throttle::Rule m_mailRule;
};
