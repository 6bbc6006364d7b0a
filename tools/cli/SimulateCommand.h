#pragma once

#include "ToolOptions.h"

#include <QString>

#include <memory>

class Console;

namespace lydevice::sim
{
class DeviceSimulator;
}

// simulate: plays a recorder or a camera over HTTP and the P2P link until Ctrl-C. Prints its
// ports on standard output, one line each ("nvr http 127.0.0.1:40123", "nvr p2p ..."), so that
// scripts and tests can read them.
class SimulateCommand
{
public:
    SimulateCommand(const ToolOptions &options, Console &console);
    ~SimulateCommand();

    bool start(QString *error);

private:
    const ToolOptions options;
    Console &console;
    std::unique_ptr<lydevice::sim::DeviceSimulator> device;
};
