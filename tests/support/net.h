#pragma once

#include <QString>
#include <QStringList>

namespace TunoraTest {

// A TCP port on 127.0.0.1 that was free a moment ago (for servers that cannot listen on port 0).
quint16 freeTcpPort();
// Polls until something accepts connections on 127.0.0.1:port, or the time is up.
bool waitForTcpPort(quint16 port, int timeoutMs);
// Full path of a program on PATH or in the sbin folders, "" when not installed.
QString findProgram(const QString &name);

} // namespace TunoraTest
