#include "ChildSimulator.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStringList>

ChildSimulator::~ChildSimulator()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool ChildSimulator::start(const QString &program, quint64 seed, int timeoutMs, QString *error)
{
    const QStringList arguments { QStringLiteral("--kind"),
        QStringLiteral("both"),
        QStringLiteral("--seed"),
        QString::number(seed),
        QStringLiteral("--http-port"),
        QStringLiteral("0"),
        QStringLiteral("--p2p-port"),
        QStringLiteral("0"),
        QStringLiteral("--camera-http-port"),
        QStringLiteral("0"),
        QStringLiteral("--camera-p2p-port"),
        QStringLiteral("0") };
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    const QDeadlineTimer deadline(timeoutMs);
    if (!process.waitForStarted(timeoutMs)) {
        *error = QStringLiteral("cannot start %1: %2").arg(program, process.errorString());
        return false;
    }
    while (!complete() && !deadline.hasExpired()) {
        while (process.canReadLine())
            readPortLine(process.readLine().trimmed());
        if (!complete() && !process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
    }
    if (!complete())
        *error = QStringLiteral("%1 did not name its four ports").arg(program);
    return complete();
}

const ChildSimulator::Ports &ChildSimulator::ports() const
{
    return found;
}

qint64 ChildSimulator::residentKb() const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
    if (process.state() != QProcess::Running || !status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.read(64 * 1024).split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).simplified().split(' ').value(0).toLongLong();
    }
    return -1;
}

// "nvr http 127.0.0.1:<port>", "nvr p2p ...", "ipc http ...", "ipc p2p ...".
bool ChildSimulator::readPortLine(const QByteArray &line)
{
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 3)
        return false;
    bool ok = false;
    const uint port = words.at(2).mid(words.at(2).lastIndexOf(':') + 1).toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return false;
    const bool recorder = words.at(0) == "nvr";
    const bool http = words.at(1) == "http";
    quint16 &slot
        = recorder ? (http ? found.recorderHttp : found.recorderLink) : (http ? found.cameraHttp : found.cameraLink);
    slot = quint16(port);
    return true;
}

bool ChildSimulator::complete() const
{
    return found.recorderHttp && found.recorderLink && found.cameraHttp && found.cameraLink;
}
