#pragma once

// A device on 127.0.0.1 (port 0, read back with serverPort()) that a test scripts in a few lines:
// it splits what each connection sends into messages ending with a terminator ("\r\n\r\n" for
// HTTP requests without a body, "\n" for link frames), records them and hands each to onMessage,
// which answers through the connection it is given, now or later.

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

class ScriptedServer : public QTcpServer
{
public:
    explicit ScriptedServer(QByteArray terminator);

    // Writes `bytes` in pieces of `pieceSize` bytes (all at once when 0), one piece per turn of
    // the event loop, so that they reach the peer in separate TCP segments; then closes the
    // connection when `close` is set.
    static void writeInPieces(QTcpSocket *connection, const QByteArray &bytes, int pieceSize, bool close);

    QList<QPointer<QTcpSocket>> connections; // in order of acceptance
    QList<QByteArray> messages; // terminator included
    std::function<void(QTcpSocket *connection, const QByteArray &message)> onMessage;

private:
    QByteArray terminator_;
};
