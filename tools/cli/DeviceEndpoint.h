#pragma once

#include "ToolOptions.h"

#include <lydevice/lydevice.h>

#include <QString>

#include <memory>

namespace lydevice::sim
{
class DeviceSimulator;
}

// The device a run talks to: the one named by --host, or a simulated device started in this
// process on free loopback ports. Registers it with the transport library of the chosen
// transport and hands out the TargetDesc for the library's calls.
class DeviceEndpoint
{
public:
    explicit DeviceEndpoint(const ToolOptions &options);
    ~DeviceEndpoint();
    DeviceEndpoint(const DeviceEndpoint &) = delete;
    DeviceEndpoint &operator=(const DeviceEndpoint &) = delete;

    // Starts the simulator if there is no host, and registers the device. Main thread only.
    bool open(QString *error);

    lydevice::TargetDesc target() const;
    // "the nvr at 10.0.0.5:80 over ip", "the built-in nvr simulator (127.0.0.1:40123, ip)"
    QString description() const;
    bool isBuiltIn() const;
    QString host() const;
    quint16 port() const;
    // Why the transport's last command to the device failed, in its own words; empty when it
    // succeeded (or none ran yet).
    QString transportError() const;
    // The built-in simulator holds no handle open any more (true for a device of --host: we cannot know).
    bool holdsNothingOpen() const;
    lydevice::sim::DeviceSimulator *simulator() const;

private:
    ToolOptions options;
    std::unique_ptr<lydevice::sim::DeviceSimulator> device;
    lydevice::TargetDesc desc;
    QString hostName;
    quint16 portNumber = 0;
    quint64 ioHandle = 0;
    int peerHandle = 0;
};
