#include "DeviceEndpoint.h"

#include "DeviceSimulator.h"

#include <lyio/lyio.h>
#include <lyp2psdk/lyp2psdk.h>

namespace
{

QString kindName(lydevice::DeviceType type)
{
    return type == lydevice::DeviceType::IPC ? QStringLiteral("ipc") : QStringLiteral("nvr");
}

QString transportName(lydevice::TransportType transport)
{
    return transport == lydevice::TransportType::P2p ? QStringLiteral("p2p") : QStringLiteral("ip");
}

} // namespace

DeviceEndpoint::DeviceEndpoint(const ToolOptions &options)
    : options(options)
{
}

DeviceEndpoint::~DeviceEndpoint()
{
    if (ioHandle != 0)
        tcp_scheduler_remove_target(ioHandle);
    if (peerHandle != 0)
        lyp2psdk_remove_peer(peerHandle);
}

bool DeviceEndpoint::open(QString *error)
{
    hostName = options.host;
    portNumber = options.port;
    if (hostName.isEmpty()) {
        device = std::make_unique<lydevice::sim::DeviceSimulator>(options.simulator);
        if (!device->listen(QHostAddress::LocalHost)) {
            *error = QStringLiteral("cannot start the built-in simulator: %1").arg(device->errorString());
            return false;
        }
        hostName = QStringLiteral("127.0.0.1");
        portNumber = options.transport == lydevice::TransportType::P2p ? device->p2pPort() : device->httpPort();
    }

    desc.deviceType = options.deviceType;
    desc.transport = options.transport;
    if (options.transport == lydevice::TransportType::P2p) {
        peerHandle = lyp2psdk_add_peer(hostName, portNumber);
        // The library takes the low 32 bits of the handle as the peer.
        desc.handle = static_cast<quint64>(static_cast<quint32>(peerHandle));
        if (peerHandle <= 0) {
            *error = QStringLiteral("cannot register %1 with the P2P SDK").arg(description());
            return false;
        }
    } else {
        // Process-wide, and this process talks to one device.
        if (options.replyTimeoutMs > 0)
            tcp_scheduler_set_default_timeouts(0, options.replyTimeoutMs);
        ioHandle = tcp_scheduler_add_target(hostName, portNumber, options.user, options.password);
        desc.handle = ioHandle;
        if (ioHandle == 0) {
            *error = QStringLiteral("cannot register %1 with the TCP command scheduler").arg(description());
            return false;
        }
    }
    return true;
}

lydevice::TargetDesc DeviceEndpoint::target() const
{
    return desc;
}

QString DeviceEndpoint::description() const
{
    if (isBuiltIn())
        return QStringLiteral("the built-in %1 simulator (%2:%3, %4)")
            .arg(kindName(options.deviceType), hostName)
            .arg(portNumber)
            .arg(transportName(options.transport));
    return QStringLiteral("the %1 at %2:%3 over %4")
        .arg(kindName(options.deviceType), hostName)
        .arg(portNumber)
        .arg(transportName(options.transport));
}

bool DeviceEndpoint::isBuiltIn() const
{
    return device != nullptr;
}

QString DeviceEndpoint::host() const
{
    return hostName;
}

quint16 DeviceEndpoint::port() const
{
    return portNumber;
}

QString DeviceEndpoint::transportError() const
{
    if (peerHandle != 0)
        return lyp2psdk_last_error(peerHandle);
    if (ioHandle != 0)
        return tcp_scheduler_last_error(ioHandle);
    return {};
}

bool DeviceEndpoint::holdsNothingOpen() const
{
    return !device || device->openHandles().isEmpty();
}

lydevice::sim::DeviceSimulator *DeviceEndpoint::simulator() const
{
    return device.get();
}
