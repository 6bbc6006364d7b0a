#include "BareHttpClient.h"

#include <limits>

namespace
{
// Largest head or chunk-size line accepted; a device reply never comes near it.
constexpr int maxLine = 64 * 1024;

int headerValueStart(const QByteArray &head, const char *name)
{
    // Header names are case-insensitive; the simulator and most devices write them as below.
    const int at = head.indexOf(name);
    return at < 0 ? -1 : at + int(qstrlen(name));
}
} // namespace

BareHttpClient::BareHttpClient(const QString &host, quint16 port)
    : hostHeader(host.toLatin1() + ':' + QByteArray::number(port))
    , host(host)
    , port(port)
{
    connect(&socket, &QTcpSocket::readyRead, this, &BareHttpClient::onReadyRead);
    connect(&socket, &QTcpSocket::connected, this, [this]() { socket.write(pendingRequest); });
    connect(&socket, &QTcpSocket::errorOccurred, this, [this]() { fail(); });
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

void BareHttpClient::get(const QByteArray &target, Done done)
{
    pending = std::move(done);
    buffer.clear();
    pendingRequest = "GET " + target + " HTTP/1.1\r\nHost: " + hostHeader + "\r\nConnection: keep-alive\r\n\r\n";
    if (socket.state() == QAbstractSocket::ConnectedState) {
        socket.write(pendingRequest);
    } else if (socket.state() == QAbstractSocket::UnconnectedState) {
        socket.connectToHost(host, port);
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    }
}

void BareHttpClient::onReadyRead()
{
    const QByteArray bytes = socket.readAll();
    received += bytes.size();
    if (!pending)
        return;
    buffer += bytes;
    bool broken = false;
    if (frameReply(&broken)) {
        Done done = std::move(pending);
        pending = nullptr;
        done(true, body);
    } else if (broken) {
        fail();
    }
}

void BareHttpClient::fail()
{
    if (!pending)
        return;
    Done done = std::move(pending);
    pending = nullptr;
    socket.abort();
    done(false, QByteArray());
}

bool BareHttpClient::frameReply(bool *broken)
{
    const int headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        *broken = buffer.size() > maxLine;
        return false;
    }
    const QByteArray head = buffer.left(headEnd);
    const int bodyStart = headEnd + 4;
    const int lengthAt = headerValueStart(head, "\r\nContent-Length: ");
    if (lengthAt >= 0) {
        bool ok = false;
        const int end = head.indexOf('\r', lengthAt);
        const qint64 length = head.mid(lengthAt, end < 0 ? -1 : end - lengthAt).toLongLong(&ok);
        if (!ok || length < 0 || length > std::numeric_limits<int>::max() - bodyStart) {
            *broken = true;
            return false;
        }
        if (buffer.size() - bodyStart < length)
            return false;
        body = buffer.mid(bodyStart, int(length));
        return true;
    }
    if (headerValueStart(head, "\r\nTransfer-Encoding: chunked") < 0) {
        *broken = true; // the simulator always frames its replies; reading to the close is not needed
        return false;
    }
    // Chunked: walk the chunks already here; complete at the last chunk and its empty trailer.
    body.clear();
    int at = bodyStart;
    for (;;) {
        const int lineEnd = buffer.indexOf("\r\n", at);
        if (lineEnd < 0)
            return false;
        bool ok = false;
        const qint64 size = buffer.mid(at, lineEnd - at).split(';').first().trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0 || size > maxLine * 1024) {
            *broken = true;
            return false;
        }
        at = lineEnd + 2;
        if (size == 0)
            return buffer.indexOf("\r\n\r\n", at - 2) >= 0; // the trailers end with an empty line
        if (buffer.size() - at < size + 2)
            return false;
        body += buffer.mid(at, int(size));
        at += int(size) + 2;
    }
}
