#include "lyp2psdk.h"

#include "P2pSdk.h"
#include "PeerLink.h"

#include <QCoreApplication>
#include <QDebug>

using lyp2psdk::P2pSdk;
using lyp2psdk::PeerLink;

namespace
{

void sendCommand(
    int handle, QLatin1String kind, int command, const QJsonObject &request, P2PCommandCallback callback, int timeout)
{
    if (P2pSdk *sdk = P2pSdk::instance()) {
        sdk->send(handle, kind, command, request, std::move(callback), timeout);
        return;
    }
    if (!QCoreApplication::instance())
        return; // no event loop could ever answer
    // Called from another thread against the contract: answer "failed" in the main thread rather
    // than touch sockets that live there.
    qWarning() << "p2p sdk called outside the application's thread, refused command for peer" << handle;
    PeerLink::answerLater(std::move(callback), false);
}

} // namespace

int lyp2psdk_add_peer(const QString &host, quint16 port)
{
    P2pSdk *sdk = P2pSdk::instance();
    if (!sdk) {
        qWarning() << "p2p sdk needs the application's thread, refused peer" << host << port;
        return 0;
    }
    return sdk->addPeer(host, port);
}

void lyp2psdk_remove_peer(int handle)
{
    if (P2pSdk *sdk = P2pSdk::instance())
        sdk->removePeer(handle);
}

QString lyp2psdk_last_error(int handle)
{
    if (P2pSdk *sdk = P2pSdk::instance())
        return sdk->lastError(handle);
    return QStringLiteral("no link state outside the application's thread");
}

void lyp2psdk_set_default_timeout(int timeoutMs)
{
    P2pSdk::setDefaultTimeout(timeoutMs);
}

void lyp2psdk_send_command(
    int handle, IPCCommand command, QJsonObject request, P2PCommandCallback &&callback, int timeout)
{
    sendCommand(handle, QLatin1String("ipc"), static_cast<int>(command), request, std::move(callback), timeout);
}

void lyp2psdk_send_command(
    int handle, NVRCommand command, QJsonObject request, P2PCommandCallback &&callback, int timeout)
{
    sendCommand(handle, QLatin1String("nvr"), static_cast<int>(command), request, std::move(callback), timeout);
}
