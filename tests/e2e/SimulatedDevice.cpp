#include "SimulatedDevice.h"

#include <lyio/lyio.h>
#include <lyp2psdk/lyp2psdk.h>

namespace lydevice::e2e
{

SimulatedDevice::SimulatedDevice(
    const sim::SimulatorOptions &options, const QString &clientUser, const QString &clientPassword)
    : device(std::make_unique<sim::DeviceSimulator>(options))
{
    if (!device->listen())
        return;
    httpHandle = tcp_scheduler_add_target(QStringLiteral("127.0.0.1"), device->httpPort(), clientUser, clientPassword);
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
    // Both stand-ins count their handles from 1, but the manager keys its per-device state by the
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

QStringList SimulatedDevice::openHandleNames() const
{
    QStringList names;
    for (const sim::HandleRecord &handle : device->openHandles())
        names.append(sim::DeviceBooks::kindName(handle.kind) + QLatin1Char(' ') + QString::number(handle.id));
    return names;
}

QString SimulatedDevice::waitForNothingOpen()
{
    waitUntil([this]() { return device->openHandles().isEmpty(); });
    return openHandleNames().join(QStringLiteral(", "));
}

} // namespace lydevice::e2e
