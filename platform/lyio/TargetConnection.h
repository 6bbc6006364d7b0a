#pragma once

// One device reached over HTTP: its queue of commands and the kept-alive connection to it.

#include "HttpReplyFramer.h"
#include "TimeoutQueue.h"

#include <transport/tcp_scheduler.h>

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>

#include <deque>
#include <optional>

class QTcpSocket;

namespace lyio
{

class TargetConnection : public QObject
{
    Q_OBJECT

public:
    struct Command {
        quint64 id = 0;
        QVector<TCPCommandDescriptor> descriptors;
        TCPCommandCallback callback;
    };

    // The connection's timeouts run on `timeouts`, which must outlive it.
    TargetConnection(
        TimeoutQueue &timeouts, const QString &host, quint16 port, const QString &user, const QString &password);
    // Answers the running and the queued commands with ok false.
    ~TargetConnection() override;

    // Queues a command; it is sent after the commands queued before it.
    void enqueue(Command command);

    // Why the last finished command failed, as tcp_scheduler_last_error() describes it; empty
    // when it succeeded with replies of status 2xx only, or before the first one finished.
    QString lastError() const;

    // Calls the command's callback from the event loop of the application's thread; dropped
    // when there is no application.
    static void answerLater(Command command, bool ok, QVector<QByteArray> replies = {});

private:
    enum class State { Idle, Connecting, AwaitingReply };

    const TCPCommandDescriptor &currentDescriptor() const;
    void scheduleNext();
    void startNext();
    void sendRequest();
    void connectSocket();
    void writeRequest();
    void onConnected();
    void onReadyRead();
    void onClosed(QAbstractSocket::SocketError error);
    void onTimeout();
    void handleFramerStatus(HttpReplyFramer::Status status);
    void requestDone();
    // Ends the current command with ok false; `error` says why and takes the place of an error
    // status one of its replies may have had, since the caller sees none of them.
    void failCurrent(const QString &error);
    void recordError(const QString &error);
    void finishCurrent(bool ok);
    void dropSocket();

    const QString host_;
    const quint16 port_;
    const QString address_; // "host:port", for messages
    const QByteArray hostHeader_;
    const QByteArray authorization_;

    std::deque<Command> queue_;
    std::optional<Command> current_;
    int descriptorIndex_ = 0; // of the current command's request on the wire
    QVector<QByteArray> replies_; // of the current command so far
    QByteArray request_;
    QString commandError_; // of the current command so far
    QString lastError_;
    bool resent_ = false; // the current request already went out a second time
    bool onKeptAliveConnection_ = false; // the current request followed an earlier reply on its connection
    bool nextScheduled_ = false;
    State state_ = State::Idle;

    // Owned through the QObject parent (this): a socket is dropped from inside its own signals,
    // where only deleteLater() is safe.
    QTcpSocket *socket_ = nullptr;
    bool socketReusable_ = false; // the last reply left the connection open for the next request
    HttpReplyFramer framer_;
    TimeoutQueue::Timeout timeout_; // of the connection attempt, then of the reply
    int timeoutMs_ = 0; // the one running
};

} // namespace lyio
