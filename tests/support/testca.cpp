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
    const QStringList ec = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    if (!run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec +
             QStringList{QStringLiteral("-keyout"), caKey, QStringLiteral("-out"), caFile(),
                         QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                         QLatin1String("/CN=") + commonName, QStringLiteral("-addext"),
                         QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                         QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")}))
        return;
    if (!run(QStringList{QStringLiteral("req")} + ec +
             QStringList{QStringLiteral("-keyout"), serverKeyFile(), QStringLiteral("-out"), csr,
                         QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")}))
        return;
    if (!run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), csr,
              QStringLiteral("-CA"), caFile(), QStringLiteral("-CAkey"), caKey,
              QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), serverCertificateFile(),
              QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"), ext}))
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
