#pragma once

// Memory figures of a process from /proc (Linux).

#include <QString>

namespace procstatus
{

// A "<field>: <n> kB" line of /proc/<pid>/status ("self" for this process), in kB; -1 when it
// cannot be read.
qint64 fieldKb(const QString &pid, const char *field);
// Peak resident set (VmHWM) and current resident set (VmRSS).
qint64 peakKb(const QString &pid = QStringLiteral("self"));
qint64 residentKb(const QString &pid = QStringLiteral("self"));
// Starts this process's peak afresh from its current resident set (writes 5 to
// /proc/self/clear_refs); false where the kernel does not allow it.
bool resetPeak();

} // namespace procstatus
