#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTemporaryDir>

namespace TunoraTest {

// A throw-away certificate authority with one server certificate for 127.0.0.1 and localhost,
// made with the openssl command-line tool when the object is built. Nothing is kept after the
// object goes.
class TestCa
{
public:
    explicit TestCa(const QString &commonName = QStringLiteral("Tunora Test CA"));

    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    // PEM files.
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.crt")); }
    QString serverCertificateFile() const { return m_dir.filePath(QStringLiteral("server.crt")); }
    QString serverKeyFile() const { return m_dir.filePath(QStringLiteral("server.key")); }

    QSslCertificate caCertificate() const { return m_ca; }
    QSslCertificate serverCertificate() const { return m_cert; }
    QSslKey serverKey() const { return m_key; }

private:
    bool run(const QStringList &arguments);

    QTemporaryDir m_dir;
    QString m_error;
    QSslCertificate m_ca;
    QSslCertificate m_cert;
    QSslKey m_key;
};

} // namespace TunoraTest
