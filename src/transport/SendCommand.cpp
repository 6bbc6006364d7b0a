#include "transport/SendCommand.h"

namespace lydevice
{

namespace
{

    // Every P2P command carries this timeout, in seconds.
    constexpr int p2pTimeoutSeconds = 20;

    int p2pHandle(quint64 handle)
    {
        return static_cast<int>(static_cast<quint32>(handle & 0xffffffffu));
    }

} // namespace

void sendHttpCommand(quint64 handle, const QString &path, Query query, TCPCommandCallback &&callback)
{
    TCPCommandDescriptor command;
    // A failed step fails the search and is not tried again. The scheduler itself sends a request a
    // second time in one case only: the kept-alive connection it went out on turned out closed
    // before any byte of the reply, so the device cannot have answered it.
    command.retries = 0;
    command.path = path;
    command.query = std::move(query);
    tcp_scheduler_enqueue_command(handle, { command }, std::move(callback));
}

void sendHttpCommand(quint64 handle, const QString &path, Query query)
{
    sendHttpCommand(handle, path, std::move(query), [](bool, quint64, QVector<QByteArray>) {});
}

void sendP2pCommand(quint64 handle, IPCCommand command, const QJsonObject &request, P2PCommandCallback &&callback)
{
    lyp2psdk_send_command(p2pHandle(handle), command, request, std::move(callback), p2pTimeoutSeconds);
}

void sendP2pCommand(quint64 handle, NVRCommand command, const QJsonObject &request, P2PCommandCallback &&callback)
{
    lyp2psdk_send_command(p2pHandle(handle), command, request, std::move(callback), p2pTimeoutSeconds);
}

void sendP2pCommand(quint64 handle, NVRCommand command, const QJsonObject &request)
{
    sendP2pCommand(handle, command, request, [](bool, QJsonObject) {});
}

} // namespace lydevice
