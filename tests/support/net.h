#pragma once

#include <QProcess>
#include <QSslServer>
#include <QString>
#include <QStringList>

#include <csignal>

namespace TunoraTest {

// A TCP port on 127.0.0.1 that was free a moment ago (for servers that cannot listen on port 0).
quint16 freeTcpPort();
// Polls until something accepts connections on 127.0.0.1:port, or the time is up.
bool waitForTcpPort(quint16 port, int timeoutMs);
// Full path of a program on PATH, in the sbin folders or among the PostgreSQL programs, "" when
// not installed.
QString findProgram(const QString &name);
// Ends a child by its recorded process id: `signal` (SIGTERM by default), then SIGKILL after
// graceMs. True when it ended on the first signal.
bool endProcess(QProcess &process, int graceMs, int signal = SIGTERM);
// The content of a text file, "" when it cannot be read.
QString readTextFile(const QString &path);
// A TLS server with this certificate and key that asks clients for none.
QSslServer *newTlsServer(const QSslCertificate &certificate, const QSslKey &key, QObject *parent);

} // namespace TunoraTest
