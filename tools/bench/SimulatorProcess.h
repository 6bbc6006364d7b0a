#pragma once

#include <QProcess>
#include <QStringList>

// The lydevice-simulator executable as a child process, so that the device's work and memory are
// not counted as the host's.
class SimulatorProcess
{
public:
    ~SimulatorProcess();

    // Starts the program and waits for the line in which it names its recorder's HTTP port.
    bool start(const QString &program, const QStringList &arguments, int timeoutMs, QString *error);
    quint16 httpPort() const
    {
        return port;
    }
    // The child's peak resident set in kB, -1 when it is not running.
    qint64 peakKb() const;

private:
    QProcess process;
    quint16 port = 0;
};
