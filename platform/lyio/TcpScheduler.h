#pragma once

// The scheduler behind the exported functions: the registered devices and their connections.

#include "TimeoutQueue.h"

#include <transport/tcp_scheduler.h>

#include <QObject>
#include <QString>

#include <map>
#include <memory>

namespace lyio
{

class TargetConnection;

class TcpScheduler : public QObject
{
    Q_OBJECT

public:
    // The scheduler of the running application, created on first use as a child of the
    // application object, so that it goes (with its sockets) while the event loop's thread is
    // still there. nullptr without an application or outside the application's thread.
    static TcpScheduler *instance();

    ~TcpScheduler() override;

    quint64 addTarget(const QString &host, quint16 port, const QString &user, const QString &password);
    void removeTarget(quint64 target);
    quint64 enqueue(quint64 target, QVector<TCPCommandDescriptor> commands, TCPCommandCallback callback);
    QString lastError(quint64 target) const;

    // Timeouts for descriptors that leave theirs at zero or below.
    static void setDefaultTimeouts(int connectTimeoutMs, int replyTimeoutMs);
    static int defaultConnectTimeoutMs();
    static int defaultReplyTimeoutMs();

    // Command ids are unique for the life of the process, also for commands refused at once.
    static quint64 nextCommandId();

private:
    explicit TcpScheduler(QObject *application);

    TimeoutQueue timeouts_; // declared first: the connections go before it
    std::map<quint64, std::unique_ptr<TargetConnection>> targets_;
};

} // namespace lyio
