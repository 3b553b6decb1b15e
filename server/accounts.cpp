#include "accounts.h"

#include "database.h"
#include "mailer.h"
#include "passwordhash.h"

#include <QDateTime>
#include <QFuture>
#include <QSqlQuery>
#include <QUrlQuery>
#include <QtConcurrent>

#include <openssl/crypto.h>

namespace {

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

const char *const InvalidCredentials = "Invalid member name or password";
const char *const TooManyAttempts = "Too many failed attempts, please try again in a few minutes";
const char *const Busy = "The service is busy, please try again in a moment";
const char *const Unavailable = "The service is unavailable, please try again later";

constexpr qint64 FailureDelayMs = 30000;

} // namespace

Accounts::Outcome Accounts::Outcome::storageError()
{
    Outcome o(2, QLatin1String(Unavailable));
    o.unavailable = true;
    return o;
}

Accounts::Accounts(Database &db, Mailer &mailer, const ServiceConfig &config, QObject *parent)
    : QObject(parent)
    , m_db(db)
    , m_mailer(mailer)
    , m_config(config)
    , m_cacheSecret(QByteArray::fromHex(Secrets::randomHex(32).toLatin1()))
    , m_dummyHash(PasswordHash::dummy(config.passwordIterations))
    , m_throttle(db)
{
    const qint64 window = qint64(config.failureWindowSeconds) * 1000;
    m_pairRule = {config.accountFailureLimit, window, FailureDelayMs};
    m_accountRule = {config.accountFailureCeiling, window, 0};
    m_addressRule = {config.addressFailureLimit, window, 0};
    m_creationRule = {config.creationLimit, 3600 * 1000LL, 0};
    m_nameCheckRule = {config.nameCheckLimit, window, 0};
    m_mailRule = {config.mailLimit, 3600 * 1000LL, 0};
    m_pool.setMaxThreadCount(config.hashThreads);
}

Accounts::~Accounts()
{
    m_pool.waitForDone();
}

QString Accounts::nameKey(const QString &user)
{
    return user.trimmed().toCaseFolded();
}

bool Accounts::validUsername(const QString &user)
{
    if (user.size() < 3 || user.size() > 32)
        return false;
    for (qsizetype i = 0; i < user.size(); ++i) {
        const QChar c = user.at(i);
        if (c.isLetterOrNumber())
            continue;
        if (i > 0 && (c == QLatin1Char('.') || c == QLatin1Char('-') || c == QLatin1Char('_')))
            continue;
        return false;
    }
    return true;
}

bool Accounts::validPassword(const QString &password)
{
    if (password.size() < 6 || password.toUtf8().size() > 1024)
        return false;
    for (const QChar c : password) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

QByteArray Accounts::cacheKey(const QString &user, const QString &password) const
{
    return Secrets::hmacSha256(m_cacheSecret, nameKey(user).toUtf8() + '\0' + password.toUtf8());
}

void Accounts::remember(const QByteArray &key, qint64 accountId, const QString &hash)
{
    if (m_config.verifyCacheSeconds <= 0 || m_config.verifyCacheEntries <= 0)
        return;
    const qint64 now = nowMs();
    if (m_cache.size() >= m_config.verifyCacheEntries) {
        for (auto it = m_cache.begin(); it != m_cache.end();)
            it = it->expiresMs <= now ? m_cache.erase(it) : std::next(it);
        if (m_cache.size() >= m_config.verifyCacheEntries)
            m_cache.clear();
    }
    m_cache.insert(key, {accountId, now + qint64(m_config.verifyCacheSeconds) * 1000, hash});
}

void Accounts::forget(qint64 accountId)
{
    ++m_passwordEpoch[accountId];
    for (auto it = m_cache.begin(); it != m_cache.end();)
        it = it->accountId == accountId ? m_cache.erase(it) : std::next(it);
}

bool Accounts::hashSlotFree(const QString &addressKey) const
{
    return m_inFlight < m_config.hashQueueLimit &&
           (addressKey.isEmpty() || m_hashesByAddress.value(addressKey) < m_config.hashesPerAddress);
}

bool Accounts::offload(std::function<QString()> fn, std::function<void(const QString &)> done,
                       const QString &addressKey)
{
    if (!hashSlotFree(addressKey))
        return false;
    ++m_inFlight;
    if (!addressKey.isEmpty())
        ++m_hashesByAddress[addressKey];
    // Hashing leaves OpenSSL's per-thread state (its error queue) on the pool thread, freed only
    // as the thread ends; at the service's exit that can come after the leak check of a sanitizer
    // build, which then fails the exit. The task frees it itself.
    QtConcurrent::run(&m_pool, [fn = std::move(fn)] {
        const QString result = fn();
        OPENSSL_thread_stop();
        return result;
    }).then(this, [this, addressKey, done = std::move(done)](const QString &result) {
        --m_inFlight;
        if (!addressKey.isEmpty()) {
            auto it = m_hashesByAddress.find(addressKey);
            if (it != m_hashesByAddress.end() && --*it <= 0)
                m_hashesByAddress.erase(it);
        }
        done(result);
    });
    return true;
}

Accounts::Found Accounts::load(const QString &sql, const QVariant &key, Stored *out)
{
    QSqlQuery &q = m_db.prepare(sql);
    q.addBindValue(key);
    if (!m_db.exec(q))
        return Found::Error;
    if (!q.next())
        return Found::No;
    out->account.id = q.value(0).toLongLong();
    out->account.username = q.value(1).toString();
    out->account.email = q.value(2).toString();
    out->account.listenToken = q.value(3).toString();
    out->account.location = q.value(4).toString();
    out->account.countryCode = q.value(5).toString();
    out->account.countryName = q.value(6).toString();
    out->account.activated = q.value(7).toInt() != 0;
    out->hash = q.value(8).toString();
    q.finish();
    return Found::Yes;
}

#define ACCOUNT_COLUMNS                                                                                      \
    "SELECT id, username, email, listen_token, location, country_code, country_name, activated, "            \
    "password_hash "                                                                                         \
    "FROM accounts "

bool Accounts::accountById(qint64 id, Account *out)
{
    Stored s;
    if (load(QStringLiteral(ACCOUNT_COLUMNS "WHERE id = ?"), id, &s) != Found::Yes)
        return false;
    *out = s.account;
    return true;
}

bool Accounts::accountByListenToken(const QString &token, Account *out)
{
    if (token.size() != 32)
        return false;
    Stored s;
    if (load(QStringLiteral(ACCOUNT_COLUMNS "WHERE listen_token = ?"), token, &s) != Found::Yes)
        return false;
    *out = s.account;
    return true;
}

void Accounts::authenticate(const QString &user, const QString &password, const QHostAddress &from,
                            AuthCallback done)
{
    if (user.isEmpty() || password.isEmpty() || user.size() > 64 || password.toUtf8().size() > 1024) {
        done(Auth::Invalid, Account());
        return;
    }
    const QByteArray key = cacheKey(user, password);
    const auto hit = m_cache.constFind(key);
    if (hit != m_cache.constEnd() && hit->expiresMs > nowMs()) {
        Stored s;
        const Found found = load(QStringLiteral(ACCOUNT_COLUMNS "WHERE id = ?"), hit->accountId, &s);
        if (found == Found::Error) {
            done(Auth::Failed, Account());
            return;
        }
        if (found == Found::Yes && s.hash == hit->hash && nameKey(s.account.username) == nameKey(user)) {
            done(s.account.activated ? Auth::Ok : Auth::NotActivated, s.account);
            return;
        }
        m_cache.remove(key);
    }
    // Every attempt is counted before its password is hashed, so a burst is limited like a
    // sequence; a correct password gives its attempt back. Guesses at one account from one
    // address wait growing delays; the much higher ceiling per account does not stop an address
    // that has not failed on it, so nobody can lock an account by guessing.
    const qint64 now = nowMs();
    const QString name = nameKey(user);
    const QString address = RateLimiter::addressKey(from);
    const QString addressKey = QStringLiteral("a:") + address;
    const QString pairKey = QStringLiteral("p:") + name + QLatin1Char('|') + address;
    const QString accountKey = QStringLiteral("u:") + name;
    QStringList taken;
    auto giveBack = [this, &taken] {
        for (const QString &k : std::as_const(taken))
            m_throttle.give(k);
    };
    if (!hashSlotFree(address)) {
        done(Auth::Busy, Account());
        return;
    }
    const Throttle::Take byAddress = m_throttle.take(addressKey, m_addressRule, now);
    if (byAddress.result != Throttle::Result::Allowed) {
        done(byAddress.result == Throttle::Result::Failed ? Auth::Failed : Auth::Limited, Account());
        return;
    }
    taken << addressKey;
    const Throttle::Take byPair = m_throttle.take(pairKey, m_pairRule, now);
    if (byPair.result != Throttle::Result::Allowed) {
        giveBack();
        done(byPair.result == Throttle::Result::Failed ? Auth::Failed : Auth::Limited, Account());
        return;
    }
    taken << pairKey;
    const Throttle::Take byAccount = m_throttle.take(accountKey, m_accountRule, now);
    if (byAccount.result == Throttle::Result::Failed ||
        (byAccount.result == Throttle::Result::Limited && byPair.hits > 1)) {
        giveBack();
        done(byAccount.result == Throttle::Result::Failed ? Auth::Failed : Auth::Limited, Account());
        return;
    }
    if (byAccount.result == Throttle::Result::Allowed)
        taken << accountKey;

    Stored stored;
    const Found found = load(QStringLiteral(ACCOUNT_COLUMNS "WHERE username_key = ?"), name, &stored);
    if (found == Found::Error) {
        giveBack();
        done(Auth::Failed, Account());
        return;
    }
    const bool exists = found == Found::Yes;
    const QString hash = exists ? stored.hash : m_dummyHash;
    const quint64 epoch = exists ? m_passwordEpoch.value(stored.account.id) : 0;
    const QByteArray pw = password.toUtf8();
    const bool queued =
        offload([pw, hash] { return PasswordHash::verify(pw, hash) ? QStringLiteral("1") : QString(); },
                [this, exists, stored, epoch, key, taken, pairKey, done](const QString &result) {
                    if (!exists || result.isEmpty()) {
                        done(Auth::Invalid, Account());
                        return;
                    }
                    // Re-read: the account may have changed while the hash was computed.
                    Stored now;
                    const Found again =
                        load(QStringLiteral(ACCOUNT_COLUMNS "WHERE id = ?"), stored.account.id, &now);
                    if (again == Found::Error) {
                        done(Auth::Failed, Account());
                        return;
                    }
                    if (again == Found::No || now.hash != stored.hash) {
                        done(Auth::Invalid, Account());
                        return;
                    }
                    for (const QString &k : taken)
                        k == pairKey ? m_throttle.clear(k) : m_throttle.give(k);
                    if (m_passwordEpoch.value(now.account.id) == epoch)
                        remember(key, now.account.id, now.hash);
                    done(now.account.activated ? Auth::Ok : Auth::NotActivated, now.account);
                },
                address);
    if (!queued) {
        giveBack();
        done(Auth::Busy, Account());
    }
}

QString Accounts::newToken(qint64 accountId, const QString &purpose, qint64 lifetimeSeconds)
{
    const QString token = Secrets::randomHex(32);
    QSqlQuery &q = m_db.prepare(QStringLiteral(
        "INSERT INTO account_tokens (token_hash, account_id, purpose, expires_at) VALUES (?, ?, ?, ?)"));
    q.addBindValue(Secrets::tokenDigest(token));
    q.addBindValue(accountId);
    q.addBindValue(purpose);
    q.addBindValue(QDateTime::currentSecsSinceEpoch() + lifetimeSeconds);
    return m_db.exec(q) ? token : QString();
}

qint64 Accounts::tokenAccount(const QString &token, const QString &purpose)
{
    if (token.size() != 64)
        return 0;
    QSqlQuery &q = m_db.prepare(QStringLiteral(
        "SELECT account_id FROM account_tokens WHERE token_hash = ? AND purpose = ? AND expires_at > ?"));
    q.addBindValue(Secrets::tokenDigest(token));
    q.addBindValue(purpose);
    q.addBindValue(QDateTime::currentSecsSinceEpoch());
    if (!m_db.exec(q) || !q.next())
        return 0;
    const qint64 id = q.value(0).toLongLong();
    q.finish();
    return id;
}

bool Accounts::sendLink(const Account &account, const QString &purpose, qint64 lifetimeSeconds,
                        const QString &subject, const QString &text, int validFor, QString token)
{
    if (token.isEmpty())
        token = newToken(account.id, purpose, lifetimeSeconds);
    if (token.isEmpty())
        return false;
    QUrl link = m_publicUrl.resolved(QUrl(QStringLiteral("account/") + purpose));
    link.setQuery(QUrlQuery({{QStringLiteral("token"), token}}));
    return m_mailer.send(account.email, subject,
                         text.arg(account.username, link.toString(QUrl::FullyEncoded)).arg(validFor));
}

bool Accounts::sendActivation(const Account &account, const QString &token)
{
    return sendLink(
        account, QStringLiteral("activate"), qint64(m_config.activationHours) * 3600,
        QStringLiteral("Activate your Tunora account"),
        QStringLiteral("Hello %1,\n\nthank you for signing up for Tunora. Please open this link to activate "
                       "your account:\n\n%2\n\nThe link is valid for %3 hours. If you did not sign up, "
                       "ignore this message.\n"),
        m_config.activationHours, token);
}

bool Accounts::sendReset(const Account &account)
{
    return sendLink(
        account, QStringLiteral("reset"), qint64(m_config.resetMinutes) * 60,
        QStringLiteral("Your Tunora password"),
        QStringLiteral("Hello %1,\n\nsomeone asked for a new password for your Tunora account. Open this "
                       "link to choose one:\n\n%2\n\nThe link is valid for %3 minutes. If you did not "
                       "ask for it, ignore this message; your password stays as it is.\n"),
        m_config.resetMinutes);
}

void Accounts::create(const QString &user, const QString &password, const QString &email,
                      const QHostAddress &from, OutcomeCallback done)
{
    if (!validUsername(user)) {
        done({2, QStringLiteral("Member names have 3 to 32 letters or digits, and may also contain . - _")});
        return;
    }
    if (!validPassword(password)) {
        done({2, QStringLiteral("Passwords have at least 6 characters")});
        return;
    }
    if (!Mailer::isValidAddress(email)) {
        done({2, QStringLiteral("The e-mail address is not valid")});
        return;
    }
    // Both limits are counted before the hash: parallel sign-ups get the answers of a sequence.
    // Every sign-up tells whether its name is taken, so checks are limited per address too.
    const QString address = RateLimiter::addressKey(from);
    const QString creationKey = QStringLiteral("c:") + address;
    const QString checkKey = QStringLiteral("n:") + address;
    const qint64 now = nowMs();
    const Throttle::Take check = m_throttle.take(checkKey, m_nameCheckRule, now);
    if (check.result != Throttle::Result::Allowed) {
        done(check.result == Throttle::Result::Failed ? Outcome::storageError()
                                                      : Outcome{2, QLatin1String(TooManyAttempts)});
        return;
    }
    Stored existing;
    const Found found =
        load(QStringLiteral(ACCOUNT_COLUMNS "WHERE username_key = ?"), nameKey(user), &existing);
    if (found == Found::Error) {
        done(Outcome::storageError());
        return;
    }
    if (found == Found::Yes) {
        done({2, QStringLiteral("The member name %1 is already taken"), user});
        return;
    }
    if (!hashSlotFree(address)) {
        done({2, QLatin1String(Busy)});
        return;
    }
    const Throttle::Take creation = m_throttle.take(creationKey, m_creationRule, now);
    if (creation.result != Throttle::Result::Allowed) {
        done(creation.result == Throttle::Result::Failed ? Outcome::storageError()
                                                         : Outcome{2, QLatin1String(TooManyAttempts)});
        return;
    }
    const QByteArray pw = password.toUtf8();
    const int iterations = m_config.passwordIterations;
    const bool queued =
        offload([pw, iterations] { return PasswordHash::make(pw, iterations); },
                [this, user, email, creationKey, done](const QString &hash) {
                    if (hash.isEmpty()) {
                        m_throttle.give(creationKey);
                        done({2, QLatin1String(Busy)});
                        return;
                    }
                    // The account and its activation token are stored together or not at all: the reply
                    // says an account exists exactly when it does.
                    Transaction tx(m_db);
                    QSqlQuery &q = m_db.prepare(QStringLiteral(
                        "INSERT INTO accounts (username, username_key, email, email_key, "
                        "password_hash, activated, created_at, listen_token) VALUES (?, ?, ?, ?, "
                        "?, 0, ?, ?) ON CONFLICT (username_key) DO NOTHING RETURNING id"));
                    q.addBindValue(user);
                    q.addBindValue(nameKey(user));
                    q.addBindValue(email);
                    q.addBindValue(email.toCaseFolded());
                    q.addBindValue(hash);
                    q.addBindValue(QDateTime::currentSecsSinceEpoch());
                    q.addBindValue(Secrets::randomHex(16));
                    if (!tx.active() || !m_db.exec(q)) {
                        m_throttle.give(creationKey);
                        done(Outcome::storageError());
                        return;
                    }
                    if (!q.next()) {
                        q.finish();
                        m_throttle.give(creationKey);
                        done({2, QStringLiteral("The member name %1 is already taken"), user});
                        return;
                    }
                    Account a;
                    a.id = q.value(0).toLongLong();
                    q.finish();
                    a.username = user;
                    a.email = email;
                    const QString token =
                        newToken(a.id, QStringLiteral("activate"), qint64(m_config.activationHours) * 3600);
                    if (token.isEmpty() || !tx.commit()) {
                        m_throttle.give(creationKey);
                        done(Outcome::storageError());
                        return;
                    }
                    if (!sendActivation(a, token)) {
                        done({0, QStringLiteral("Your account has been created, but the activation "
                                                "e-mail could not be sent; please ask for it "
                                                "again later.")});
                        return;
                    }
                    done({0, QStringLiteral("Your account has been created and we have sent you an "
                                            "e-mail, follow instructions there to activate your "
                                            "account.")});
                },
                address);
    if (!queued) {
        m_throttle.give(creationKey);
        done({2, QLatin1String(Busy)});
    }
}

void Accounts::resendValidation(const QString &user, const QString &password, const QHostAddress &from,
                                OutcomeCallback done)
{
    authenticate(user, password, from, [this, done](Auth result, const Account &a) {
        switch (result) {
        case Auth::Ok:
            done({2, QStringLiteral("The account %1 is already activated"), a.username});
            return;
        case Auth::NotActivated: {
            const Throttle::Take mail =
                m_throttle.take(QStringLiteral("m:%1").arg(a.id), m_mailRule, nowMs());
            if (mail.result != Throttle::Result::Allowed) {
                done(mail.result == Throttle::Result::Failed ? Outcome::storageError()
                                                             : Outcome{2, QLatin1String(TooManyAttempts)});
                return;
            }
            if (!sendActivation(a)) {
                done({2, QStringLiteral("The e-mail could not be sent, please try again later")});
                return;
            }
            done({0, QStringLiteral("Email sent")});
            return;
        }
        case Auth::Limited:
            done({2, QLatin1String(TooManyAttempts)});
            return;
        case Auth::Busy:
            done({2, QLatin1String(Busy)});
            return;
        case Auth::Failed:
            done(Outcome::storageError());
            return;
        case Auth::Invalid:
            done({2, QLatin1String(InvalidCredentials)});
            return;
        }
    });
}

void Accounts::lostPassword(const QString &member, const QHostAddress &from, OutcomeCallback done)
{
    const Outcome same{
        0, QStringLiteral("If an account matches, we have sent an e-mail with a link to choose a new "
                          "password.")};
    const QString m = member.trimmed();
    if (m.isEmpty() || m.size() > 254) {
        done({2, QStringLiteral("Please enter your member name or e-mail address")});
        return;
    }
    const qint64 now = nowMs();
    const QString memberKey = QStringLiteral("l:") + m.toCaseFolded();
    const QString addressKey = QStringLiteral("l:") + RateLimiter::addressKey(from);
    // Limited requests get the same answer: the reply never tells whether a mail went out.
    const Throttle::Take byMember = m_throttle.take(memberKey, m_mailRule, now);
    if (byMember.result != Throttle::Result::Allowed) {
        done(same);
        return;
    }
    if (m_throttle.take(addressKey, m_mailRule, now).result != Throttle::Result::Allowed) {
        m_throttle.give(memberKey);
        done(same);
        return;
    }
    QList<qint64> ids;
    const bool byMail = m.contains(QLatin1Char('@'));
    QSqlQuery &q = m_db.prepare(byMail ? QStringLiteral("SELECT id FROM accounts WHERE email_key = ? LIMIT 5")
                                       : QStringLiteral("SELECT id FROM accounts WHERE username_key = ?"));
    q.addBindValue(byMail ? m.toCaseFolded() : nameKey(m));
    if (m_db.exec(q)) {
        while (q.next())
            ids << q.value(0).toLongLong();
    }
    q.finish();
    for (qint64 id : std::as_const(ids)) {
        Account a;
        if (accountById(id, &a))
            sendReset(a);
    }
    done(same);
}

bool Accounts::activate(const QString &token)
{
    const qint64 id = tokenAccount(token, QStringLiteral("activate"));
    if (!id)
        return false;
    Transaction tx(m_db);
    QSqlQuery &q = m_db.prepare(QStringLiteral("UPDATE accounts SET activated = 1 WHERE id = ?"));
    q.addBindValue(id);
    if (!m_db.exec(q))
        return false;
    QSqlQuery &d =
        m_db.prepare(QStringLiteral("DELETE FROM account_tokens WHERE account_id = ? AND purpose = ?"));
    d.addBindValue(id);
    d.addBindValue(QStringLiteral("activate"));
    if (!m_db.exec(d))
        return false;
    return tx.commit();
}

bool Accounts::resetTokenValid(const QString &token)
{
    return tokenAccount(token, QStringLiteral("reset")) != 0;
}

void Accounts::resetPassword(const QString &token, const QString &password, OutcomeCallback done)
{
    const qint64 id = tokenAccount(token, QStringLiteral("reset"));
    if (!id) {
        done({2, QStringLiteral("This link is no longer valid; please ask for a new one")});
        return;
    }
    if (!validPassword(password)) {
        done({2, QStringLiteral("Passwords have at least 6 characters")});
        return;
    }
    const QByteArray pw = password.toUtf8();
    const int iterations = m_config.passwordIterations;
    const bool queued = offload(
        [pw, iterations] { return PasswordHash::make(pw, iterations); },
        [this, id, token, done](const QString &hash) {
            // The token may have been used while the hash was computed.
            if (hash.isEmpty() || tokenAccount(token, QStringLiteral("reset")) != id) {
                done({2, QStringLiteral("This link is no longer valid; please ask for a "
                                        "new one")});
                return;
            }
            Transaction tx(m_db);
            // A new password also gets a new listen token: listen addresses handed out
            // before the reset stop recording into this account's history.
            QSqlQuery &q = m_db.prepare(QStringLiteral(
                "UPDATE accounts SET password_hash = ?, activated = 1, listen_token = ? WHERE id = ?"));
            q.addBindValue(hash);
            q.addBindValue(Secrets::randomHex(16));
            q.addBindValue(id);
            bool ok = m_db.exec(q);
            QSqlQuery &d = m_db.prepare(
                QStringLiteral("DELETE FROM account_tokens WHERE account_id = ? AND purpose = ?"));
            d.addBindValue(id);
            d.addBindValue(QStringLiteral("reset"));
            ok = ok && m_db.exec(d) && tx.commit();
            if (!ok) {
                done({2, QLatin1String(Busy)});
                return;
            }
            forget(id);
            done({0, QStringLiteral("Your password has been changed")});
        });
    if (!queued)
        done({2, QLatin1String(Busy)});
}

bool Accounts::setLocation(qint64 accountId, const QString &location, const QString &countryCode,
                           const QString &countryName)
{
    QSqlQuery &q = m_db.prepare(
        QStringLiteral("UPDATE accounts SET location = ?, country_code = ?, country_name = ? WHERE id = ?"));
    q.addBindValue(location);
    q.addBindValue(countryCode);
    q.addBindValue(countryName);
    q.addBindValue(accountId);
    return m_db.exec(q);
}
