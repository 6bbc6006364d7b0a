#include "RawHttpClient.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

bool waitOnSocket(QTcpSocket &socket, const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QObject::connect(&socket, &QTcpSocket::readyRead, &loop, &QEventLoop::quit);
        QObject::connect(&socket, &QTcpSocket::stateChanged, &loop, &QEventLoop::quit);
        QObject::connect(&socket, &QTcpSocket::bytesWritten, &loop, &QEventLoop::quit);
        QTimer::singleShot(qMax<qint64>(1, qMin<qint64>(deadline.remainingTime(), 50)), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

QHash<QString, QString> RawReply::keyValues() const
{
    QHash<QString, QString> pairs;
    for (const QByteArray &line : body.split('\n')) {
        const QByteArray trimmed = line.endsWith('\r') ? line.left(line.size() - 1) : line;
        const int equals = trimmed.indexOf('=');
        if (equals > 0)
            pairs.insert(QString::fromUtf8(trimmed.left(equals)), QString::fromUtf8(trimmed.mid(equals + 1)));
    }
    return pairs;
}

RawReply parseRawReply(const QByteArray &raw, bool closed)
{
    RawReply reply;
    reply.raw = raw;
    reply.closed = closed;
    const int headEnd = raw.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return reply;
    const QList<QByteArray> lines = raw.left(headEnd).split('\n');
    const QList<QByteArray> status = lines.value(0).trimmed().split(' ');
    reply.status = status.value(1).toInt();
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines.at(i).indexOf(':');
        if (colon > 0)
            reply.headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
    }
    const QByteArray rest = raw.mid(headEnd + 4);
    if (reply.header("transfer-encoding") == "chunked") {
        int at = 0;
        QByteArray body;
        while (true) {
            const int lineEnd = rest.indexOf("\r\n", at);
            if (lineEnd < 0)
                return reply;
            bool ok = false;
            const int size = rest.mid(at, lineEnd - at).toInt(&ok, 16);
            if (!ok || size < 0)
                return reply;
            if (size == 0) {
                if (rest.indexOf("\r\n", lineEnd + 2) < 0)
                    return reply;
                break;
            }
            if (lineEnd + 2 + size + 2 > rest.size())
                return reply;
            reply.chunkSizes.append(size);
            body += rest.mid(lineEnd + 2, size);
            at = lineEnd + 2 + size + 2;
        }
        reply.body = body;
        reply.complete = true;
        return reply;
    }
    const QByteArray length = reply.header("content-length");
    if (!length.isEmpty()) {
        if (rest.size() >= length.toInt()) {
            reply.body = rest.left(length.toInt());
            reply.complete = true;
        }
        return reply;
    }
    reply.body = rest;
    reply.complete = closed;
    return reply;
}

RawHttpClient::RawHttpClient(quint16 port)
    : port(port)
{
}

bool RawHttpClient::isConnected() const
{
    return socket.state() == QAbstractSocket::ConnectedState;
}

RawReply RawHttpClient::get(const QByteArray &target, const QByteArray &extraHeaders, int timeoutMs)
{
    return exchange("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n", timeoutMs);
}

RawReply RawHttpClient::exchange(const QByteArray &request, int timeoutMs)
{
    if (!isConnected()) {
        socket.abort();
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!waitOnSocket(
                socket, [this]() { return isConnected(); }, timeoutMs))
            return RawReply();
    }
    socket.write(request);
    QByteArray raw;
    RawReply reply;
    waitOnSocket(
        socket,
        [&]() {
            raw += socket.readAll();
            const bool closed = socket.state() != QAbstractSocket::ConnectedState;
            reply = parseRawReply(raw, closed);
            return reply.complete || closed;
        },
        timeoutMs);
    return reply;
}

bool RawHttpClient::waitForClose(int timeoutMs)
{
    return waitOnSocket(
        socket,
        [this]() {
            socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        timeoutMs);
}
