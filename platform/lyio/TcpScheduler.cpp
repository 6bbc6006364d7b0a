#include "TcpScheduler.h"

#include "TargetConnection.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>
#include <QThread>

#include <atomic>

namespace lyio
{

namespace
{

    constexpr int InitialConnectTimeoutMs = 3000;
    constexpr int InitialReplyTimeoutMs = 30000;

    // Process-wide, so that handles stay unique even when an application object is replaced.
    quint64 lastHandle = 0;
    // Atomic only because a call from a foreign thread is answered (with a refusal) under an id too.
    std::atomic<quint64> lastCommandId { 0 };
    int connectTimeoutDefault = InitialConnectTimeoutMs;
    int replyTimeoutDefault = InitialReplyTimeoutMs;

} // namespace

TcpScheduler *TcpScheduler::instance()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return nullptr;
    static QPointer<TcpScheduler> scheduler;
    if (!scheduler)
        scheduler = new TcpScheduler(app);
    return scheduler;
}

TcpScheduler::TcpScheduler(QObject *application)
    : QObject(application)
{
}

// The connections answer what they still hold; with the application gone those answers are
// dropped, since no event loop would run them.
TcpScheduler::~TcpScheduler() = default;

quint64 TcpScheduler::addTarget(const QString &host, quint16 port, const QString &user, const QString &password)
{
    const quint64 handle = ++lastHandle;
    targets_.emplace(handle, std::make_unique<TargetConnection>(timeouts_, host, port, user, password));
    return handle;
}

void TcpScheduler::removeTarget(quint64 target)
{
    const auto it = targets_.find(target);
    if (it == targets_.end()) {
        qWarning() << "cannot find tcp scheduler target" << target;
        return;
    }
    targets_.erase(it);
}

quint64 TcpScheduler::enqueue(quint64 target, QVector<TCPCommandDescriptor> commands, TCPCommandCallback callback)
{
    TargetConnection::Command command { nextCommandId(), std::move(commands), std::move(callback) };
    const quint64 id = command.id;
    const auto it = targets_.find(target);
    if (it == targets_.end()) {
        qWarning() << "cannot find tcp scheduler target" << target;
        TargetConnection::answerLater(std::move(command), false);
        return id;
    }
    it->second->enqueue(std::move(command));
    return id;
}

QString TcpScheduler::lastError(quint64 target) const
{
    const auto it = targets_.find(target);
    if (it == targets_.end())
        return QStringLiteral("unknown target %1").arg(target);
    return it->second->lastError();
}

void TcpScheduler::setDefaultTimeouts(int connectTimeoutMs, int replyTimeoutMs)
{
    connectTimeoutDefault = connectTimeoutMs > 0 ? connectTimeoutMs : InitialConnectTimeoutMs;
    replyTimeoutDefault = replyTimeoutMs > 0 ? replyTimeoutMs : InitialReplyTimeoutMs;
}

int TcpScheduler::defaultConnectTimeoutMs()
{
    return connectTimeoutDefault;
}

int TcpScheduler::defaultReplyTimeoutMs()
{
    return replyTimeoutDefault;
}

quint64 TcpScheduler::nextCommandId()
{
    return ++lastCommandId;
}

} // namespace lyio
