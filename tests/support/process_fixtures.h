#pragma once

// Fixtures for tests that run the programs as processes and talk to them over TCP.

#include <QtGlobal>

class QProcess;

// A TCP port that nothing listens on now, below 32768 since the stored TCP port is a signed
// 16-bit number. Tests running at once start their search at different places (by process ID);
// 0 when none was found.
quint16 freeTcpPort();
// Any port that loopback does not listen on now, chosen by the system.
quint16 unusedLoopbackPort();
// Asks the process to end (SIGTERM) and waits for it; kills it when it has not ended in waitMs.
void stopProcess(QProcess &process, int waitMs = 5000);
// A field of /proc/<pid>/status in kB ("VmRSS:", "VmHWM:"); -1 when it cannot be read.
long processStatusKb(qint64 pid, const char *field);
