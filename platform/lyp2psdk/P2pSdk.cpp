#include "lyp2psdk.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace
{
void answerLater(P2PCommandCallback callback)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || !callback)
        return;
    QMetaObject::invokeMethod(
        app, [callback = std::move(callback)]() { callback(false, {}); }, Qt::QueuedConnection);
}
}

int lyp2psdk_add_peer(const QString &, quint16)
{
    return 0;
}

void lyp2psdk_remove_peer(int)
{
}

void lyp2psdk_send_command(int, IPCCommand, QJsonObject, P2PCommandCallback &&callback, int)
{
    answerLater(std::move(callback));
}

void lyp2psdk_send_command(int, NVRCommand, QJsonObject, P2PCommandCallback &&callback, int)
{
    answerLater(std::move(callback));
}
