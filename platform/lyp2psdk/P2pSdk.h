#pragma once

// The SDK behind the exported functions: the registered devices and their command links.

#include <transport/p2p_sdk.h>

#include <QLatin1String>
#include <QObject>
#include <QString>

#include <map>
#include <memory>

namespace lyp2psdk
{

class PeerLink;

class P2pSdk : public QObject
{
    Q_OBJECT

public:
    // The SDK of the running application, created on first use as a child of the application
    // object, so that it goes (with its sockets) while the event loop's thread is still there.
    // nullptr without an application or outside the application's thread.
    static P2pSdk *instance();

    ~P2pSdk() override;

    int addPeer(const QString &host, quint16 port);
    void removePeer(int handle);
    // kind is "ipc" or "nvr"; timeout in seconds, zero or less for the default.
    void send(int handle,
        QLatin1String kind,
        int command,
        const QJsonObject &request,
        P2PCommandCallback callback,
        int timeout);

    QString lastError(int handle) const;

    static void setDefaultTimeout(int timeoutMs);

private:
    explicit P2pSdk(QObject *application);

    std::map<int, std::unique_ptr<PeerLink>> peers_;
};

} // namespace lyp2psdk
