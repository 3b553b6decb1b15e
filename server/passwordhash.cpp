#include "passwordhash.h"

#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QStringList>

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace {

QByteArray derive(const QByteArray &password, const QByteArray &salt, int iterations)
{
    QByteArray key(32, Qt::Uninitialized);
    if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()),
                          reinterpret_cast<const unsigned char *>(salt.constData()), int(salt.size()),
                          iterations, EVP_sha256(), int(key.size()),
                          reinterpret_cast<unsigned char *>(key.data())) != 1)
        return QByteArray();
    return key;
}

QByteArray randomBytes(int n)
{
    QByteArray b(n, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(b.data()), n / 4);
    return b;
}

} // namespace

namespace PasswordHash {

QString make(const QByteArray &password, int iterations)
{
    const QByteArray salt = randomBytes(16);
    const QByteArray key = derive(password, salt, iterations);
    if (key.isEmpty())
        return QString();
    return QStringLiteral("pbkdf2-sha256$%1$%2$%3")
        .arg(iterations)
        .arg(QString::fromLatin1(salt.toBase64()), QString::fromLatin1(key.toBase64()));
}

int iterationsOf(const QString &stored)
{
    const QStringList parts = stored.split(QLatin1Char('$'));
    if (parts.size() != 4 || parts[0] != QLatin1String("pbkdf2-sha256"))
        return 0;
    bool ok = false;
    const int n = parts[1].toInt(&ok);
    return ok && n > 0 ? n : 0;
}

bool verify(const QByteArray &password, const QString &stored)
{
    const QStringList parts = stored.split(QLatin1Char('$'));
    const int iterations = iterationsOf(stored);
    if (!iterations || iterations > 100000000)
        return false;
    const QByteArray salt = QByteArray::fromBase64(parts[2].toLatin1());
    const QByteArray expected = QByteArray::fromBase64(parts[3].toLatin1());
    if (salt.isEmpty() || expected.size() != 32)
        return false;
    return Secrets::equalConstantTime(derive(password, salt, iterations), expected);
}

QString dummy(int iterations)
{
    return make(randomBytes(16), iterations);
}

} // namespace PasswordHash

namespace Secrets {

QString randomHex(int bytes)
{
    return QString::fromLatin1(randomBytes((bytes + 3) / 4 * 4).left(bytes).toHex());
}

QString tokenDigest(const QString &token)
{
    return QString::fromLatin1(QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QByteArray hmacSha256(const QByteArray &key, const QByteArray &data)
{
    return QMessageAuthenticationCode::hash(data, key, QCryptographicHash::Sha256);
}

bool equalConstantTime(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size() || a.isEmpty())
        return false;
    return CRYPTO_memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
}

} // namespace Secrets
