#pragma once

#include <QByteArray>
#include <QString>

// Slow salted password hashes: PBKDF2-HMAC-SHA256 with a random 16-byte salt, stored as
// "pbkdf2-sha256$<iterations>$<salt, base64>$<key, base64>" so that the iteration count can rise
// later without invalidating stored hashes. Thread-safe; meant to run off the event loop.
namespace PasswordHash {

QString make(const QByteArray &password, int iterations);
bool verify(const QByteArray &password, const QString &stored);
// The iteration count a stored hash was made with (0 when the text is not a hash).
int iterationsOf(const QString &stored);
// A hash of a random password, for spending the same time on names that have no account.
QString dummy(int iterations);

} // namespace PasswordHash

// Random tokens and keyed digests for links, listen addresses and the verification cache.
namespace Secrets {

// n random bytes as lower-case hex.
QString randomHex(int bytes);
// SHA-256 of a token, hex: what the database keeps instead of the token.
QString tokenDigest(const QString &token);
QByteArray hmacSha256(const QByteArray &key, const QByteArray &data);
bool equalConstantTime(const QByteArray &a, const QByteArray &b);

} // namespace Secrets
