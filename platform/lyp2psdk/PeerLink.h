#pragma once

// The command link to one device: a TCP connection carrying JSON frames, with the commands
// waiting for their replies.

#include <transport/p2p_sdk.h>

#include <QAbstractSocket>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <map>

class QTcpSocket;

namespace lyp2psdk
{

class PeerLink : public QObject
{
    Q_OBJECT

public:
    PeerLink(const QString &host, quint16 port);
    // Answers every outstanding command with ok false.
    ~PeerLink() override;

    // Sends a frame (connecting first when there is no link) and waits up to timeoutMs for the
    // reply with the same id.
    void send(quint64 id, QByteArray frame, P2PCommandCallback callback, int timeoutMs);
    // Answers a command that cannot be sent with ok false, `error` saying why.
    void refuse(P2PCommandCallback callback, const QString &error);

    // Why the command answered last failed, as lyp2psdk_last_error() describes it; empty when it
    // succeeded or before the first answer.
    QString lastError() const;

    // Calls the callback from the event loop of the application's thread; dropped when there is
    // no application.
    static void answerLater(P2PCommandCallback callback, bool ok, QJsonObject reply = {});

private:
    struct Outstanding {
        P2PCommandCallback callback;
        QDeadlineTimer deadline;
        int timeoutMs = 0;
        QByteArray unsentFrame; // until the link is up
    };

    void connectSocket();
    void onConnected();
    void onReadyRead();
    void onClosed(QAbstractSocket::SocketError error);
    bool handleLine(const QByteArray &line);
    void onDeadline();
    void armDeadlineTimer();
    // Answers every outstanding command with ok false; `error` is their last error when there
    // is any.
    void failAll(const QString &error);
    QString lineTooLong() const;
    void recordError(const QString &error);
    void dropSocket();

    const QString host_;
    const quint16 port_;
    const QString address_; // "host:port", for messages
    QString lastError_;
    // Ordered by id, which is the sending order.
    std::map<quint64, Outstanding> outstanding_;
    // Owned through the QObject parent (this): a socket is dropped from inside its own signals,
    // where only deleteLater() is safe.
    QTcpSocket *socket_ = nullptr;
    bool connected_ = false;
    QByteArray buffer_; // received bytes not yet taken as lines
    int scanned_ = 0; // bytes of buffer_ known to hold no line break
    QTimer deadlineTimer_;
};

} // namespace lyp2psdk
