// The pieces of the scheduler that need no network: finding the end of a reply, and building
// the request a descriptor stands for.

#include "HttpReplyFramer.h"
#include "HttpRequest.h"

#include <QtTest>

using lyio::HttpReplyFramer;
using Status = HttpReplyFramer::Status;

Q_DECLARE_METATYPE(HttpReplyFramer::Status)

namespace
{

// A small limit keeps the rows about the limit cheap.
constexpr qint64 Limit = 4096;

} // namespace

class TestHttpReplyFramer : public QObject
{
    Q_OBJECT

private slots:
    void framing_data();
    void framing();
    void nextReplyAfterReset();
    void requestTarget_data();
    void requestTarget();
    void requestHead();
};

void TestHttpReplyFramer::framing_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("closed"); // the connection closes after the input
    QTest::addColumn<Status>("status");
    QTest::addColumn<QByteArray>("reply"); // empty: the whole input
    QTest::addColumn<bool>("keepAlive");

    const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                               "5;name=value\r\nhello\r\n"
                               "1A\r\nabcdefghijklmnopqrstuvwxyz\r\n"
                               "0\r\nX-Checksum: 1\r\n\r\n";

    // Content-Length
    QTest::newRow("content-length body") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello") << false
                                         << Status::Complete << QByteArray() << true;
    QTest::newRow("list of equal lengths") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2, 2\r\n\r\nok") << false
                                           << Status::Complete << QByteArray() << true;
    QTest::newRow("lengths that disagree are malformed")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nok") << false
        << Status::Malformed << QByteArray() << false;
    QTest::newRow("length with a sign is malformed") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: -2\r\n\r\nok")
                                                     << false << Status::Malformed << QByteArray() << false;
    QTest::newRow("body cut off by the close is malformed")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello") << true << Status::Malformed << QByteArray()
        << false;
    QTest::newRow("bytes after the body are not part of the reply")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokHTTP/1.1") << false << Status::Complete
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok") << true;
    QTest::newRow("204 has no body") << QByteArray("HTTP/1.1 204 No Content\r\n\r\n") << false << Status::Complete
                                     << QByteArray() << true;

    // Chunked
    QTest::newRow("chunked with extension and trailer kept raw")
        << chunked << false << Status::Complete << QByteArray() << true;
    QTest::newRow("chunked with bare line feeds")
        << QByteArray("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n3\nabc\n0\n\n") << false << Status::Complete
        << QByteArray() << true;
    QTest::newRow("chunked wins over content-length")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n")
        << false << Status::Complete << QByteArray() << true;
    QTest::newRow("chunk size with leading zeros")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0003\r\nabc\r\n0\r\n\r\n") << false
        << Status::Complete << QByteArray() << true;
    QTest::newRow("chunk size that is not hex is malformed")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n") << false
        << Status::Malformed << QByteArray() << false;
    QTest::newRow("chunk data longer than its size is malformed")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n0\r\n\r\n") << false
        << Status::Malformed << QByteArray() << false;
    QTest::newRow("chunked body cut off by the close is malformed")
        << chunked.left(chunked.size() - 2) << true << Status::Malformed << QByteArray() << false;
    QTest::newRow("chunk size above the limit is too large")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFF\r\n") << false
        << Status::TooLarge << QByteArray() << false;
    QTest::newRow("chunks adding up above the limit are too large")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n") + QByteArray("800\r\n")
            + QByteArray(0x800, 'x') + QByteArray("\r\n800\r\n") + QByteArray(0x800, 'x') + QByteArray("\r\n0\r\n\r\n")
        << false << Status::TooLarge << QByteArray() << false;

    // Ended by the close
    QTest::newRow("no length: the close ends the body")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\nline one\nline two\n") << true
        << Status::Complete << QByteArray() << false;
    QTest::newRow("no length and still open: incomplete")
        << QByteArray("HTTP/1.1 200 OK\r\n\r\nsome") << false << Status::Incomplete << QByteArray() << false;
    QTest::newRow("coding other than chunked: the close ends the body")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nxyz") << true << Status::Complete
        << QByteArray() << false;
    QTest::newRow("body up to the close above the limit is too large")
        << QByteArray("HTTP/1.1 200 OK\r\n\r\n") + QByteArray(Limit, 'x') << false << Status::TooLarge << QByteArray()
        << false;
    QTest::newRow("announced length above the limit is too large")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n") << false << Status::TooLarge
        << QByteArray() << false;

    // Versions and the connection
    QTest::newRow("http/1.0 closes by default") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok") << false
                                                << Status::Complete << QByteArray() << false;
    QTest::newRow("http/1.0 with keep-alive stays")
        << QByteArray("HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 2\r\n\r\nok") << false
        << Status::Complete << QByteArray() << true;
    QTest::newRow("http/1.1 with connection close")
        << QByteArray("HTTP/1.1 200 OK\r\nConnection: upgrade, close\r\nContent-Length: 2\r\n\r\nok") << false
        << Status::Complete << QByteArray() << false;
    QTest::newRow("interim 100 continue is dropped")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok") << false
        << Status::Complete << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok") << true;

    // Status line and headers
    QTest::newRow("status line without reason")
        << QByteArray("HTTP/1.1 500\r\nContent-Length: 0\r\n\r\n") << false << Status::Complete << QByteArray() << true;
    QTest::newRow("other major version is malformed")
        << QByteArray("HTTP/2.0 200 OK\r\n\r\n") << false << Status::Malformed << QByteArray() << false;
    QTest::newRow("status code not three digits is malformed")
        << QByteArray("HTTP/1.1 20 OK\r\n\r\n") << false << Status::Malformed << QByteArray() << false;
    QTest::newRow("header without colon is malformed") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length 2\r\n\r\nok")
                                                       << false << Status::Malformed << QByteArray() << false;
    QTest::newRow("folded header line is malformed")
        << QByteArray("HTTP/1.1 200 OK\r\nX-A: 1\r\n folded\r\nContent-Length: 2\r\n\r\nok") << false
        << Status::Malformed << QByteArray() << false;
    QTest::newRow("head cut off by the close is malformed")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Len") << true << Status::Malformed << QByteArray() << false;
    QTest::newRow("endless head is too large") << QByteArray("HTTP/1.1 200 OK\r\nX-Long: ") + QByteArray(70 * 1024, 'a')
                                               << false << Status::TooLarge << QByteArray() << false;
}

void TestHttpReplyFramer::framing()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, closed);
    QFETCH(Status, status);
    QFETCH(QByteArray, reply);
    QFETCH(bool, keepAlive);

    const QByteArray expected = reply.isEmpty() ? input : reply;
    // Whole, byte by byte, and in pieces that cut lines and line breaks anywhere.
    for (const int piece : { 0, 1, 3, 7 }) {
        HttpReplyFramer framer(Limit);
        Status result = Status::Incomplete;
        const int step = piece > 0 ? piece : qMax(1, input.size());
        for (int at = 0; at < input.size() && result == Status::Incomplete; at += step)
            result = framer.feed(input.mid(at, step));
        if (closed && result == Status::Incomplete)
            result = framer.finish();
        QCOMPARE(result, status);
        if (status != Status::Complete)
            continue;
        QCOMPARE(framer.keepAlive(), keepAlive);
        // Excess shows only when it comes with the end of the reply; fed later it is not taken.
        if (piece == 0)
            QCOMPARE(framer.hasExcess(), input.startsWith(expected) && expected.size() < input.size());
        QCOMPARE(framer.takeReply(), expected);
    }
}

void TestHttpReplyFramer::nextReplyAfterReset()
{
    // One framer serves every request on a connection; nothing of a failed reply may stay.
    HttpReplyFramer framer(Limit);
    QCOMPARE(framer.feed("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhalf"), Status::Incomplete);
    QVERIFY(framer.hasBytes());
    QCOMPARE(framer.finish(), Status::Malformed);
    framer.reset();
    QVERIFY(!framer.hasBytes());
    const QByteArray reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n";
    QCOMPARE(framer.feed(reply), Status::Complete);
    QCOMPARE(framer.takeReply(), reply);
}

void TestHttpReplyFramer::requestTarget_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("pairs"); // "key|value|key|value..."
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("path alone has no question mark") << QStringLiteral("/vb.htm") << QString() << QByteArray("/vb.htm");
    QTest::newRow("missing leading slash added") << QStringLiteral("sdk.cgi") << QString() << QByteArray("/sdk.cgi");
    QTest::newRow("pairs in their order")
        << QStringLiteral("/sdk.cgi") << QStringLiteral("action|get.playback.recordinfo|z|1|a|")
        << QByteArray("/sdk.cgi?action=get.playback.recordinfo&z=1&a=");
    QTest::newRow("pre-encoded %20 stays as it is")
        << QStringLiteral("/sdk.cgi") << QStringLiteral("startTime|2024-01-02%2003:04:05")
        << QByteArray("/sdk.cgi?startTime=2024-01-02%2003:04:05");
    QTest::newRow("separators inside a value are encoded") << QStringLiteral(
        "/vb.htm") << QStringLiteral("name|a&b=c+d#e") << QByteArray("/vb.htm?name=a%26b%3Dc%2Bd%23e");
    QTest::newRow("query characters that may stand stay")
        << QStringLiteral("/vb.htm") << QStringLiteral("q|a/b?c:d@e!$'()*,;~")
        << QByteArray("/vb.htm?q=a/b?c:d@e!$'()*,;~");
    QTest::newRow("space, control and DEL bytes are encoded")
        << QStringLiteral("/vb.htm") << QStringLiteral("q|a b\t\r\n\x7f") << QByteArray("/vb.htm?q=a%20b%09%0D%0A%7F");
    QTest::newRow("non-ascii as utf-8 bytes")
        << QStringLiteral("/vb.htm") << QString::fromUtf8("q|\xC3\xA9\xE5\x90\x8D")
        << QByteArray("/vb.htm?q=%C3%A9%E5%90%8D");
    QTest::newRow("keys encoded like values")
        << QStringLiteral("/vb.htm") << QStringLiteral("a b&c|1") << QByteArray("/vb.htm?a%20b%26c=1");
    QTest::newRow("question mark and hash in the path are encoded")
        << QStringLiteral("/a b?#.cgi") << QString() << QByteArray("/a%20b%3F%23.cgi");
}

void TestHttpReplyFramer::requestTarget()
{
    QFETCH(QString, path);
    QFETCH(QString, pairs);
    QFETCH(QByteArray, target);

    TCPCommandDescriptor command;
    command.path = path;
    const QStringList parts = pairs.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2)
        command.query.append({ parts.at(i), parts.at(i + 1) });
    QCOMPARE(lyio::requestTarget(command), target);
}

void TestHttpReplyFramer::requestHead()
{
    TCPCommandDescriptor command;
    command.path = QStringLiteral("/sdk.cgi");
    command.query = { { QStringLiteral("action"), QStringLiteral("x") } };
    command.headers
        = { QStringLiteral("X-One: 1"), QStringLiteral("X-Bad: 1\r\nX-Injected: 1"), QStringLiteral("X-Two: 2") };
    const QByteArray request = lyio::buildRequest(command,
        lyio::hostHeaderValue(QStringLiteral("10.0.0.5"), 8080),
        lyio::basicAuthorization(QStringLiteral("admin"), QStringLiteral("pa:ss")));
    QCOMPARE(request,
        QByteArray("GET /sdk.cgi?action=x HTTP/1.1\r\n"
                   "Host: 10.0.0.5:8080\r\n"
                   "Authorization: Basic YWRtaW46cGE6c3M=\r\n"
                   "Connection: keep-alive\r\n"
                   "X-One: 1\r\n"
                   "X-Two: 2\r\n"
                   "\r\n"));
    QCOMPARE(lyio::hostHeaderValue(QStringLiteral("fe80::1"), 80), QByteArray("[fe80::1]"));
    QVERIFY(lyio::basicAuthorization(QString(), QStringLiteral("secret")).isEmpty());
}

QTEST_GUILESS_MAIN(TestHttpReplyFramer)
#include "tst_http_reply_framer.moc"
