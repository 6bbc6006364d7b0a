#include "lyio.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace
{
// Answers later, in the main thread, never inside the enqueueing call.
void answerLater(TCPCommandCallback callback, quint64 commandId)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || !callback)
        return;
    QMetaObject::invokeMethod(
        app, [callback = std::move(callback), commandId]() { callback(false, commandId, {}); }, Qt::QueuedConnection);
}
quint64 lastCommandId = 0;
}

quint64 tcp_scheduler_add_target(const QString &, quint16, const QString &, const QString &)
{
    return 0;
}

void tcp_scheduler_remove_target(quint64)
{
}

quint64 tcp_scheduler_enqueue_command(quint64, QVector<TCPCommandDescriptor>, TCPCommandCallback &&callback)
{
    const quint64 id = ++lastCommandId;
    answerLater(std::move(callback), id);
    return id;
}
