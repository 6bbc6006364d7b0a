// Where a reply ends in the bytes a device sends, as they arrive: the framing of every reply the
// scheduler hands on, kept as sent (a chunked body still chunked).

#include "HttpReplyFramer.h"

#include <QtTest>

using lyio::HttpReplyFramer;
using Status = HttpReplyFramer::Status;

Q_DECLARE_METATYPE(HttpReplyFramer::Status)

namespace
{

// A small limit keeps the rows about the limit cheap; it leaves room for the longest chunk line.
constexpr qint64 Limit = 16384;

} // namespace

class TestHttpReplyFramer : public QObject
{
    Q_OBJECT

private slots:
    void framing_data();
    void framing();
};

void TestHttpReplyFramer::framing_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("closed"); // the connection closes after the input
    QTest::addColumn<Status>("status");
    QTest::addColumn<bool>("keepAlive");
    QTest::addColumn<QByteArray>("reply"); // empty: the whole input
    // Malformed: the status line, a header, the chunk framing or a reply cut off. Too large: above
    // the limit, or announcing more.
    const auto row = [](const char *name, QByteArray input, Status status, bool keep, bool closed = false) {
        QTest::newRow(name) << input << closed << status << keep << QByteArray();
    };
    const auto complete = Status::Complete, malformed = Status::Malformed, tooLarge = Status::TooLarge;
    const QByteArray ok = "HTTP/1.1 200 OK\r\n", ok10 = "HTTP/1.0 200 OK\r\n";
    const QByteArray te = "Transfer-Encoding: chunked\r\n\r\n";
    const QByteArray chunked
        = ok + te + "5;name=value\r\nhello\r\n1A\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nX-Sum: 1\r\n\r\n";
    const QByteArray twoBytes = ok + "Content-Length: 2\r\n\r\nok";

    row("content-length body", twoBytes, complete, true);
    row("two lengths that disagree", ok + "Content-Length: 2\r\nContent-Length: 3\r\n\r\nok", malformed, false);
    row("body cut off by the close", ok + "Content-Length: 10\r\n\r\nhello", malformed, false, true);
    QTest::newRow("bytes after the body are not part of the reply")
        << twoBytes + "HTTP/1.1" << false << complete << true << twoBytes;
    row("204 has no body", "HTTP/1.1 204 No Content\r\n\r\n", complete, true);

    row("chunked with extension and trailer kept raw", chunked, complete, true);
    row("chunked over content-length", ok + "Content-Length: 1\r\n" + te + "3\r\nabc\r\n0\r\n\r\n", complete, true);
    row("chunk size with leading zeros", ok + te + "0003\r\nabc\r\n0\r\n\r\n", complete, true);
    row("chunk size that is not hex", ok + te + "zz\r\nabc\r\n0\r\n\r\n", malformed, false);
    row("chunk data longer than its size", ok + te + "2\r\nabc\r\n0\r\n\r\n", malformed, false);
    row("chunked body cut off by the close", chunked.chopped(2), malformed, false, true);
    const QByteArray filler(HttpReplyFramer::MaxChunkLine - 2, 'e'); // with "5;", a size line just at the cap
    row("chunk size line at the cap", ok + te + "5;" + filler + "\r\nhello\r\n0\r\n\r\n", complete, true);
    row("trailer line above the cap", ok + te + "0\r\nX: " + filler + "\r\n\r\n", malformed, false);
    row("chunk size above the limit", ok + te + "FFFFFFFFFFFFFFFFFFFF\r\n", tooLarge, false);
    const QByteArray chunk = "2000\r\n" + QByteArray(0x2000, 'x') + "\r\n";
    row("chunks adding up above the limit", ok + te + chunk + chunk + "0\r\n\r\n", tooLarge, false);

    row("no length: the close ends the body", ok + "Content-Type: text/plain\r\n\r\nline\n", complete, false, true);
    row("no length and still open", ok + "\r\nsome", Status::Incomplete, false);
    row("body up to the close above the limit", ok + "\r\n" + QByteArray(Limit, 'x'), tooLarge, false);
    row("announced length above the limit", ok + "Content-Length: 99999999999999999999\r\n\r\n", tooLarge, false);

    row("http/1.0 closes by default", ok10 + "Content-Length: 2\r\n\r\nok", complete, false);
    row("http/1.0 keep-alive", ok10 + "Connection: Keep-Alive\r\nContent-Length: 2\r\n\r\nok", complete, true);
    row("http/1.1 close", ok + "Connection: upgrade, close\r\nContent-Length: 2\r\n\r\nok", complete, false);
    QTest::newRow("interim 100 continue is dropped")
        << "HTTP/1.1 100 Continue\r\n\r\n" + twoBytes << false << complete << true << twoBytes;

    row("status line without reason", "HTTP/1.1 500\r\nContent-Length: 0\r\n\r\n", complete, true);
    row("other major version", "HTTP/2.0 200 OK\r\n\r\n", malformed, false);
    row("header without colon", ok + "Content-Length 2\r\n\r\nok", malformed, false);
    row("head cut off by the close", ok + "Content-Len", malformed, false, true);
    row("endless head", ok + "X-Long: " + QByteArray(70 * 1024, 'a'), tooLarge, false);
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

QTEST_GUILESS_MAIN(TestHttpReplyFramer)
#include "tst_http_reply_framer.moc"
