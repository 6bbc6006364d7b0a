#include "SimulatedDevice.h"

#include <lyio/lyio.h>
#include <lyp2psdk/lyp2psdk.h>

namespace lydevice::e2e
{

SimulatedDevice::SimulatedDevice(const sim::SimulatorOptions &options)
    : device(std::make_unique<sim::DeviceSimulator>(options))
{
    if (!device->listen())
        return;
    httpHandle = tcp_scheduler_add_target(QStringLiteral("127.0.0.1"), device->httpPort());
    peerHandle = lyp2psdk_add_peer(QStringLiteral("127.0.0.1"), device->p2pPort());
}

SimulatedDevice::~SimulatedDevice()
{
    if (httpHandle != 0)
        tcp_scheduler_remove_target(httpHandle);
    if (peerHandle > 0)
        lyp2psdk_remove_peer(peerHandle);
    device->close();
}

bool SimulatedDevice::isReady() const
{
    return httpHandle != 0 && peerHandle > 0;
}

TargetDesc SimulatedDevice::target(TransportType transport) const
{
    TargetDesc target;
    target.deviceType = device->kind() == sim::DeviceKind::Camera ? DeviceType::IPC : DeviceType::NVR;
    target.transport = transport;
    // Both stand-ins count their handles from 1, but the library keys its per-device state by the
    // handle alone. The link handle travels in the low 32 bits (all the SDK is given); a bit above
    // them keeps it apart from the HTTP handles.
    target.handle = transport == TransportType::P2p ? (quint64(1) << 32) | quint32(peerHandle) : httpHandle;
    return target;
}

sim::DeviceSimulator &SimulatedDevice::simulator()
{
    return *device;
}

const sim::Catalogue &SimulatedDevice::catalogue() const
{
    return device->catalogue();
}

sim::DeviceBooks &SimulatedDevice::books()
{
    return device->books();
}

QString SimulatedDevice::leftOver()
{
    waitUntil([this]() { return device->openHandles().isEmpty(); });
    QStringList names;
    for (const sim::HandleRecord &handle : device->openHandles())
        names.append(QStringLiteral("open %1 %2").arg(sim::DeviceBooks::kindName(handle.kind)).arg(handle.id));
    for (const QString &stray : device->books().strayCloses())
        names.append(QStringLiteral("closed while not open: ") + stray);
    return names.join(QStringLiteral(", "));
}

} // namespace lydevice::e2e
