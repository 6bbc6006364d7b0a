#include "lyio.h"

#include "TargetConnection.h"
#include "TcpScheduler.h"

#include <QCoreApplication>
#include <QDebug>
#include <QThread>

using lyio::TargetConnection;
using lyio::TcpScheduler;

quint64 tcp_scheduler_add_target(const QString &host, quint16 port, const QString &user, const QString &password)
{
    TcpScheduler *scheduler = TcpScheduler::instance();
    if (!scheduler) {
        qWarning() << "tcp scheduler needs the application's thread, refused target" << host << port;
        return 0;
    }
    return scheduler->addTarget(host, port, user, password);
}

void tcp_scheduler_remove_target(quint64 target)
{
    if (TcpScheduler *scheduler = TcpScheduler::instance())
        scheduler->removeTarget(target);
}

QString tcp_scheduler_last_error(quint64 target)
{
    if (TcpScheduler *scheduler = TcpScheduler::instance())
        return scheduler->lastError(target);
    return QStringLiteral("no transport state outside the application's thread");
}

void tcp_scheduler_set_default_timeouts(int connectTimeoutMs, int replyTimeoutMs)
{
    TcpScheduler::setDefaultTimeouts(connectTimeoutMs, replyTimeoutMs);
}

quint64 tcp_scheduler_enqueue_command(
    quint64 target, QVector<TCPCommandDescriptor> commands, TCPCommandCallback &&callback)
{
    TcpScheduler *scheduler = TcpScheduler::instance();
    if (scheduler)
        return scheduler->enqueue(target, std::move(commands), std::move(callback));
    if (!QCoreApplication::instance())
        return 0; // no event loop could ever answer
    // Called from another thread against the contract: answer "failed" in the main thread rather
    // than touch sockets that live there.
    qWarning() << "tcp scheduler called outside the application's thread, refused command for target" << target;
    const quint64 id = TcpScheduler::nextCommandId();
    TargetConnection::answerLater({ id, {}, std::move(callback) }, false);
    return id;
}
