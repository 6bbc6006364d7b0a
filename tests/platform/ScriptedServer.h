#pragma once

// A device on 127.0.0.1 (port 0, read back with port()) that a test scripts in a few lines: it
// splits what each connection sends into messages ending with a terminator ("\r\n\r\n" for HTTP
// requests without a body, "\n" for link frames), records them and hands each to onMessage,
// which answers through the connection it is given, now or later.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

class ScriptedServer : public QObject
{
public:
    explicit ScriptedServer(QByteArray terminator);

    quint16 port() const;
    int connectionCount() const;
    QTcpSocket *connection(int index) const;
    // Stops accepting: later connection attempts are refused.
    void stopListening();

    // Writes `bytes` in pieces of `pieceSize` bytes (all at once when 0), one piece per turn of
    // the event loop, so that they reach the peer in separate TCP segments; then closes the
    // connection when `close` is set.
    static void writeInPieces(QTcpSocket *connection, const QByteArray &bytes, int pieceSize, bool close);

    struct Message {
        int connection; // index, in order of acceptance
        QByteArray bytes; // terminator included
    };
    QList<Message> messages;
    std::function<void(QTcpSocket *connection, const QByteArray &message)> onMessage;

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *connection, int index);

    QByteArray terminator_;
    QTcpServer server_;
    QList<QPointer<QTcpSocket>> connections_;
    QList<QByteArray> pending_; // per connection, bytes after the last complete message
};
