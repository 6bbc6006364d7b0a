#include "SimulatorProcess.h"

#include "ProcStatus.h"

#include <QDeadlineTimer>

SimulatorProcess::~SimulatorProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool SimulatorProcess::start(const QString &program, const QStringList &arguments, int timeoutMs, QString *error)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs)) {
        *error = QStringLiteral("cannot start %1: %2").arg(program, process.errorString());
        return false;
    }
    // "nvr http 127.0.0.1:<port>" comes first, then the link's line.
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        while (process.canReadLine()) {
            const QByteArray line = process.readLine().trimmed();
            if (!line.startsWith("nvr http "))
                continue;
            bool ok = false;
            const uint number = line.mid(line.lastIndexOf(':') + 1).toUInt(&ok);
            if (ok && number > 0 && number <= 65535) {
                port = quint16(number);
                return true;
            }
        }
        if (process.state() == QProcess::NotRunning || !process.waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    *error = QStringLiteral("%1 did not say which port it listens on").arg(program);
    return false;
}

qint64 SimulatorProcess::peakKb() const
{
    return process.state() == QProcess::Running ? procstatus::peakKb(QString::number(process.processId())) : -1;
}
