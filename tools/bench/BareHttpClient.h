#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>

#include <functional>

// The cheapest client that can talk to a device: one kept-alive connection, GET requests with the
// same headers as LyIO's, and replies framed by Content-Length or chunked coding, nothing parsed.
// The benchmark's floor: what the request sequence costs with no library around it. Event driven,
// so it also works against a simulator in the same thread.
class BareHttpClient : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(bool ok, const QByteArray &body)>;

    BareHttpClient(const QString &host, quint16 port);

    // Sends "GET target"; `done` gets the body (de-chunked) of a complete reply, or ok false when
    // the connection fails or the framing is broken. One request at a time.
    void get(const QByteArray &target, Done done);
    bool isBusy() const
    {
        return bool(pending);
    }
    qint64 bytesReceived() const
    {
        return received;
    }

private:
    void onReadyRead();
    void fail();
    // Advances over the buffer; true once the reply is complete (`body` then holds it).
    bool frameReply(bool *broken);

    QTcpSocket socket;
    QByteArray hostHeader;
    QString host;
    quint16 port;
    QByteArray pendingRequest;
    Done pending;
    QByteArray buffer;
    QByteArray body;
    qint64 received = 0;
};
