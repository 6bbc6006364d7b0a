#pragma once

#include <QByteArray>
#include <QHash>
#include <QTcpSocket>

#include <functional>

// A bare HTTP client for the simulator's tests: writes a request by hand and collects the reply
// bytes as they come, without interpreting more than it must to know when the reply is complete.
// Waiting runs the event loop (the simulator lives in the same thread) with a deadline.
struct RawReply {
    bool complete = false; // a whole reply arrived (Content-Length met, last chunk seen)
    bool closed = false; // the server closed the connection
    QByteArray raw;
    int status = -1;
    QHash<QByteArray, QByteArray> headers; // lower-case names
    QByteArray body; // de-chunked when the reply was chunked and complete
    QVector<int> chunkSizes; // sizes of the chunks of a chunked reply, in order

    QByteArray header(const char *name) const
    {
        return headers.value(QByteArray(name).toLower());
    }
    // The body's "key=value" lines (recorder replies).
    QHash<QString, QString> keyValues() const;
};

class RawHttpClient
{
public:
    explicit RawHttpClient(quint16 port);

    // Sends "GET <target> HTTP/1.1" with a Host header and `extraHeaders` (each ending in "\r\n")
    // and waits for the reply. Connects first when not connected.
    RawReply get(const QByteArray &target, const QByteArray &extraHeaders = QByteArray(), int timeoutMs = 10000);
    // Sends raw bytes and waits for one reply.
    RawReply exchange(const QByteArray &request, int timeoutMs = 10000);
    bool waitForClose(int timeoutMs = 5000);
    bool isConnected() const;

    QTcpSocket socket;

private:
    quint16 port;
};

// Runs the event loop until `done` holds or the deadline passes, checking after every event of
// `socket` (QTest::qWaitFor would sleep 10 ms between checks, which dwarfs a local exchange).
bool waitOnSocket(QTcpSocket &socket, const std::function<bool()> &done, int timeoutMs);

// Parses whatever of a reply is in `raw`.
RawReply parseRawReply(const QByteArray &raw, bool closed);
