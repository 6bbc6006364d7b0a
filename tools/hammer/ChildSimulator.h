#pragma once

#include <QProcess>
#include <QString>

// The lydevice-simulator executable as a child process playing a recorder and a camera, so that
// the devices' work and books are not counted in the host's memory.
class ChildSimulator
{
public:
    struct Ports {
        quint16 recorderHttp = 0;
        quint16 recorderLink = 0;
        quint16 cameraHttp = 0;
        quint16 cameraLink = 0;
    };

    ~ChildSimulator();

    // Starts the program on free loopback ports and waits until it has named all four.
    bool start(const QString &program, quint64 seed, int timeoutMs, QString *error);
    const Ports &ports() const;
    qint64 residentKb() const;

private:
    bool readPortLine(const QByteArray &line);
    bool complete() const;

    QProcess process;
    Ports found;
};
