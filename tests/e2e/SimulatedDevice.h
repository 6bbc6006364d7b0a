#pragma once

// A simulated device on loopback, reachable through the real transport stand-ins: its HTTP side
// registered with LyIO, its link with LyP2PSDKv2. Each instance is a new device with handles of
// its own, so tests never share the library's per-device state.

#include "DeviceSimulator.h"
#include "Waiting.h"

#include <lydevice/lydevice.h>

#include <memory>

namespace lydevice::e2e
{

class SimulatedDevice
{
public:
    // Listens on free loopback ports.
    explicit SimulatedDevice(const sim::SimulatorOptions &options);
    // Forgets the device in both stand-ins (their waiting commands fail), then stops it.
    ~SimulatedDevice();
    SimulatedDevice(const SimulatedDevice &) = delete;
    SimulatedDevice &operator=(const SimulatedDevice &) = delete;

    // False when the simulator could not listen or a stand-in refused the registration.
    bool isReady() const;
    TargetDesc target(TransportType transport) const;
    sim::DeviceSimulator &simulator();
    const sim::Catalogue &catalogue() const;
    sim::DeviceBooks &books();
    // Waits until the device holds nothing open; returns what it still holds and every close of a
    // handle that was not open, "" when there is none of either.
    QString leftOver();

private:
    std::unique_ptr<sim::DeviceSimulator> device;
    quint64 httpHandle = 0;
    int peerHandle = 0;
};

} // namespace lydevice::e2e

Q_DECLARE_METATYPE(lydevice::TransportType)
Q_DECLARE_METATYPE(lydevice::sim::DeviceKind)
Q_DECLARE_METATYPE(lydevice::sim::FaultKind)
