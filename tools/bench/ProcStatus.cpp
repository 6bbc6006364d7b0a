#include "ProcStatus.h"

#include <QFile>

namespace procstatus
{

qint64 fieldKb(const QString &pid, const char *field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // The kernel reports a size of 0 for the file: read it to its end, not by its size. It is a
    // few dozen short lines; the cap only guards against a surprise.
    const QByteArray text = status.read(64 * 1024);
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : text.split('\n')) {
        if (!line.startsWith(prefix))
            continue;
        bool ok = false;
        const qint64 value = line.mid(prefix.size()).simplified().split(' ').value(0).toLongLong(&ok);
        return ok ? value : -1;
    }
    return -1;
}

qint64 peakKb(const QString &pid)
{
    return fieldKb(pid, "VmHWM");
}

qint64 residentKb(const QString &pid)
{
    return fieldKb(pid, "VmRSS");
}

bool resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

} // namespace procstatus
