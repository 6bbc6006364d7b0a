#include "P2pSdk.h"

#include "P2pFrame.h"
#include "PeerLink.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <climits>

namespace lyp2psdk
{

namespace
{

    constexpr int InitialTimeoutMs = 20000;

    // Process-wide, so that handles and ids stay unique even when an application object is replaced.
    int lastHandle = 0;
    quint64 lastCommandId = 0;
    int timeoutDefault = InitialTimeoutMs;

} // namespace

P2pSdk *P2pSdk::instance()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return nullptr;
    static QPointer<P2pSdk> sdk;
    if (!sdk)
        sdk = new P2pSdk(app);
    return sdk;
}

P2pSdk::P2pSdk(QObject *application)
    : QObject(application)
{
}

// The links answer what they still hold; with the application gone those answers are dropped,
// since no event loop would run them.
P2pSdk::~P2pSdk() = default;

int P2pSdk::addPeer(const QString &host, quint16 port)
{
    if (lastHandle == INT_MAX) {
        qWarning() << "p2p peer handles used up, refused peer" << host << port;
        return 0;
    }
    const int handle = ++lastHandle;
    peers_.emplace(handle, std::make_unique<PeerLink>(host, port));
    return handle;
}

void P2pSdk::removePeer(int handle)
{
    const auto it = peers_.find(handle);
    if (it == peers_.end()) {
        qWarning() << "cannot find p2p peer" << handle;
        return;
    }
    peers_.erase(it);
}

void P2pSdk::send(
    int handle, QLatin1String kind, int command, const QJsonObject &request, P2PCommandCallback callback, int timeout)
{
    const auto it = peers_.find(handle);
    if (it == peers_.end()) {
        qWarning() << "cannot find p2p peer" << handle;
        PeerLink::answerLater(std::move(callback), false);
        return;
    }
    if (lastCommandId >= MaxFrameId) {
        it->second->refuse(std::move(callback), QStringLiteral("p2p command ids used up"));
        return;
    }
    const quint64 id = ++lastCommandId;
    // A day is more than any device needs and keeps the milliseconds inside int.
    const int timeoutMs = timeout > 0 ? std::min(timeout, 24 * 3600) * 1000 : timeoutDefault;
    it->second->send(id, encodeRequestFrame(id, kind, command, request), std::move(callback), timeoutMs);
}

QString P2pSdk::lastError(int handle) const
{
    const auto it = peers_.find(handle);
    if (it == peers_.end())
        return QStringLiteral("unknown peer %1").arg(handle);
    return it->second->lastError();
}

void P2pSdk::setDefaultTimeout(int timeoutMs)
{
    timeoutDefault = timeoutMs > 0 ? timeoutMs : InitialTimeoutMs;
}

} // namespace lyp2psdk
