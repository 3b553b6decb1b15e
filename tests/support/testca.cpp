#include "testca.h"

#include <QFile>
#include <QProcess>

namespace TunoraTest {

TestCa::TestCa(const QString &commonName)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    const QString ext = m_dir.filePath(QStringLiteral("server.ext"));
    QFile extFile(ext);
    if (!extFile.open(QIODevice::WriteOnly) ||
        extFile.write("basicConstraints=CA:FALSE\n"
                      "keyUsage=critical,digitalSignature,keyEncipherment\n"
                      "extendedKeyUsage=serverAuth\n"
                      "subjectAltName=IP:127.0.0.1,DNS:localhost\n") < 0) {
        m_error = extFile.errorString();
        return;
    }
    extFile.close();

    const QString caKey = m_dir.filePath(QStringLiteral("ca.key"));
    const QString csr = m_dir.filePath(QStringLiteral("server.csr"));
    const auto words = [](const char *text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); };
    const QStringList ec = words("-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes");
    if (!run(
            words("req -x509 -days 2") + ec +
            QStringList{QStringLiteral("-keyout"), caKey, QStringLiteral("-out"), caFile(),
                        QStringLiteral("-subj"), QLatin1String("/CN=") + commonName} +
            words(
                "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign")) ||
        !run(words("req -subj /CN=127.0.0.1") + ec +
             QStringList{QStringLiteral("-keyout"), serverKeyFile(), QStringLiteral("-out"), csr}) ||
        !run(words("x509 -req -CAcreateserial -days 2") +
             QStringList{QStringLiteral("-in"), csr, QStringLiteral("-CA"), caFile(),
                         QStringLiteral("-CAkey"), caKey, QStringLiteral("-out"), serverCertificateFile(),
                         QStringLiteral("-extfile"), ext}))
        return;

    const auto cas = QSslCertificate::fromPath(caFile(), QSsl::Pem);
    const auto certs = QSslCertificate::fromPath(serverCertificateFile(), QSsl::Pem);
    QFile keyFile(serverKeyFile());
    if (cas.size() != 1 || certs.size() != 1 || !keyFile.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("the generated files cannot be read");
        return;
    }
    m_ca = cas.first();
    m_cert = certs.first();
    m_key = QSslKey(keyFile.readAll(), QSsl::Ec, QSsl::Pem);
    if (m_key.isNull())
        m_error = QStringLiteral("the generated key cannot be read");
}

bool TestCa::run(const QStringList &arguments)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        m_error = QStringLiteral("openssl %1 failed: %2")
                      .arg(arguments.value(0), QString::fromLocal8Bit(openssl.readAll()));
        return false;
    }
    return true;
}

} // namespace TunoraTest
