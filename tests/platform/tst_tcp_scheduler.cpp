// The scheduler against small scripted HTTP devices on loopback: what goes on the wire, where a
// reply ends on a connection, when a connection is used again or a request resent, timeouts and
// failures. Where a reply ends byte by byte is the framer's table; here the connection's part.

#include "ScriptedServer.h"
#include "Waiting.h"

#include <lyio/lyio.h>

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

const QByteArray RequestEnd = QByteArrayLiteral("\r\n\r\n");

QByteArray okReply(const QByteArray &body, const QByteArray &headers = {})
{
    return "HTTP/1.1 200 OK\r\n" + headers + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

TCPCommandDescriptor command(const QString &action)
{
    TCPCommandDescriptor descriptor;
    descriptor.retries = 0;
    descriptor.path = QStringLiteral("/sdk.cgi");
    descriptor.query = { { QStringLiteral("action"), action } };
    return descriptor;
}

QByteArray actionOf(const QByteArray &request)
{
    const int start = request.indexOf("action=") + 7;
    return request.mid(start, request.indexOf(' ', start) - start);
}

// A listening socket whose accept queue is full: further connection attempts hang in the SYN
// stage, which is what a device that does not answer looks like.
struct FullListener {
    FullListener()
    {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0 && ::listen(fd, 0) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        filler.connectToHost(QHostAddress::LocalHost, port);
    }
    ~FullListener()
    {
        ::close(fd);
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    quint16 port = 0;
    QTcpSocket filler;
};

} // namespace

class TestTcpScheduler : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void cleanupTestCase();

    void requestsGoOneAtATimeInOrder();
    void targetsRunInParallel();
    void replies_data();
    void replies();
    void timeouts_data();
    void timeouts();
    void connectTimeout();
    void failures_data();
    void failures();

private:
    struct Answer {
        bool ok;
        QVector<QByteArray> replies;
    };

    // Enqueues through the library and records the answer; counts every answer that comes more
    // than once, inside the call or outside the main thread.
    void enqueue(quint64 target, QVector<TCPCommandDescriptor> commands)
    {
        auto once = std::make_shared<bool>(false);
        insideCall_ = true;
        tcp_scheduler_enqueue_command(
            target, std::move(commands), [this, once](bool ok, quint64, QVector<QByteArray> replies) {
                broken_ += insideCall_ || *once || QThread::currentThread() != qApp->thread();
                *once = true;
                answers_.append({ ok, replies });
            });
        insideCall_ = false;
    }
    quint64 addTarget(quint16 port, const QString &user = {}, const QString &password = {})
    {
        targets_.append(tcp_scheduler_add_target(QStringLiteral("127.0.0.1"), port, user, password));
        return targets_.last();
    }

    QList<Answer> answers_;
    QList<quint64> targets_;
    bool insideCall_ = false;
    int broken_ = 0;
};

void TestTcpScheduler::init()
{
    answers_.clear();
    targets_.clear();
    broken_ = 0;
    tcp_scheduler_set_default_timeouts(0, 0);
}

void TestTcpScheduler::cleanup()
{
    for (const quint64 target : qAsConst(targets_))
        tcp_scheduler_remove_target(target);
    QCOMPARE(broken_, 0);
}

void TestTcpScheduler::cleanupTestCase()
{
    // Left waiting on purpose: the scheduler must go quietly with the application at exit.
    auto *silent = new ScriptedServer(RequestEnd);
    silent->setParent(qApp);
    const quint64 target = tcp_scheduler_add_target(QStringLiteral("127.0.0.1"), silent->serverPort());
    for (const QString &action : { QStringLiteral("one"), QStringLiteral("two") })
        tcp_scheduler_enqueue_command(target, { command(action) }, [](bool, quint64, QVector<QByteArray>) {});
    WAIT_FOR(silent->messages.size() == 1);
}

void TestTcpScheduler::requestsGoOneAtATimeInOrder()
{
    // The device answers on a later turn of the event loop; a client that did not wait for the
    // reply would have a second request in while the first is unanswered. The last command holds
    // two descriptors and is answered once, with both replies.
    ScriptedServer device(RequestEnd);
    int unanswered = 0;
    int mostUnanswered = 0;
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &message) {
        mostUnanswered = qMax(mostUnanswered, ++unanswered);
        QTimer::singleShot(0, connection, [&, connection, action = actionOf(message)]() {
            --unanswered;
            connection->write(okReply(action));
        });
    };
    const quint64 target = addTarget(device.serverPort(), QStringLiteral("admin"), QStringLiteral("pa:ss"));
    // Values come in final form ("%20" stays), but what would end a pair or the target is
    // encoded, and so is what may not stand in a URL, as UTF-8 bytes. A header line carrying a
    // line break would smuggle a header of its own in: it is left out.
    TCPCommandDescriptor first = command(QStringLiteral("0"));
    first.query.append({ QStringLiteral("startTime"), QStringLiteral("2024-01-02%2003:04:05") });
    first.query.append({ QStringLiteral("name"), QString::fromUtf8("a&b=c+d#e \t\xC3\xA9") });
    first.headers = { QStringLiteral("X-Extra: 1"), QStringLiteral("X-Bad: 1\r\nX-Injected: 1") };
    enqueue(target, { first });
    for (int i = 1; i < 4; ++i)
        enqueue(target, { command(QString::number(i)) });
    enqueue(target, { command(QStringLiteral("4")), command(QStringLiteral("5")) });
    WAIT_FOR(answers_.size() == 5);

    QCOMPARE(device.messages.at(0),
        "GET /sdk.cgi?action=0&startTime=2024-01-02%2003:04:05&name=a%26b%3Dc%2Bd%23e%20%09%C3%A9 HTTP/1.1\r\n"
        "Host: 127.0.0.1:"
            + QByteArray::number(device.serverPort())
            + "\r\nAuthorization: Basic YWRtaW46cGE6c3M=\r\nConnection: keep-alive\r\nX-Extra: 1\r\n\r\n");
    QCOMPARE(mostUnanswered, 1);
    QCOMPARE(device.connections.size(), 1);
    for (int i = 1; i < 6; ++i)
        QCOMPARE(actionOf(device.messages.at(i)), QByteArray::number(i));
    for (int i = 1; i < 4; ++i)
        QCOMPARE(answers_.at(i).replies, QVector<QByteArray> { okReply(QByteArray::number(i)) });
    QCOMPARE(answers_.at(4).replies, (QVector<QByteArray> { okReply("4"), okReply("5") }));
}

void TestTcpScheduler::targetsRunInParallel()
{
    // The slow device holds its reply until the fast one has been asked: with one queue for all
    // targets the fast request would never go out.
    ScriptedServer slow(RequestEnd);
    ScriptedServer fast(RequestEnd);
    fast.onMessage = [&](QTcpSocket *connection, const QByteArray &) {
        connection->write(okReply("fast"));
        slow.connections.at(0)->write(okReply("slow"));
    };
    enqueue(addTarget(slow.serverPort()), { command(QStringLiteral("slow")) });
    WAIT_FOR(slow.messages.size() == 1);
    enqueue(addTarget(fast.serverPort()), { command(QStringLiteral("fast")) });
    WAIT_FOR(answers_.size() == 2);
    QVERIFY(answers_.at(0).ok && answers_.at(1).ok);
}

void TestTcpScheduler::replies_data()
{
    // The device answers "first" with the row's bytes, then a second command as `second` says:
    // 0 answers it, 1 closes the first connection without a reply (a new one is answered), 2
    // closes every connection without a reply, 3 sends half a reply on the first connection and
    // closes it.
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<bool>("closeAfterFirst");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("firstOk");
    QTest::addColumn<bool>("secondOk");
    QTest::addColumn<int>("connections");
    QTest::addColumn<int>("requests"); // as the device saw them

    const QByteArray ok = okReply("sid=12\ncnt=3\n");
    QTest::newRow("content-length: connection kept") << ok << false << 0 << true << true << 1 << 2;
    QTest::newRow("ended by the close") << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nsid=12\n") << true
                                        << 0 << true << true << 2 << 2;
    QTest::newRow("http/1.0 without keep-alive: next request on a new connection")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok") << false << 0 << true << true << 2 << 2;
    QTest::newRow("error status is still a reply")
        << QByteArray("HTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n") << false << 0 << true << true << 1 << 2;
    QTest::newRow("body cut off by the close fails")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\r\nsid=12\n") << true << 0 << false << true << 2 << 2;
    QTest::newRow("announced length above the cap fails and drops the connection")
        << "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(TcpSchedulerMaxReplySize + 1) + "\r\n\r\n"
        << false << 0 << false << true << 2 << 2;
    QTest::newRow("bytes after the reply: connection dropped") << ok + "junk" << false << 0 << true << true << 2 << 2;
    QTest::newRow("device closes the idle connection") << ok << true << 0 << true << true << 2 << 2;
    QTest::newRow("closed before any reply byte: resent once") << ok << false << 1 << true << true << 2 << 3;
    QTest::newRow("closed before any reply byte again: no third try") << ok << false << 2 << true << false << 2 << 3;
    QTest::newRow("closed after part of the reply: not resent") << ok << false << 3 << true << false << 1 << 2;
    // The request may have reached the device, which may have acted on it.
    QTest::newRow("new connection closed before any reply byte: not resent")
        << okReply("1", "Connection: close\r\n") << true << 2 << true << false << 2 << 2;
}

void TestTcpScheduler::replies()
{
    QFETCH(QByteArray, first);
    QFETCH(bool, closeAfterFirst);
    QFETCH(int, second);
    QFETCH(bool, firstOk);
    QFETCH(bool, secondOk);
    QFETCH(int, connections);
    QFETCH(int, requests);

    ScriptedServer device(RequestEnd);
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &message) {
        const bool firstConnection = connection == device.connections.at(0);
        if (actionOf(message) == "first")
            ScriptedServer::writeInPieces(connection, first, 16, closeAfterFirst);
        else if (second == 2 || (second == 1 && firstConnection))
            connection->disconnectFromHost();
        else if (second == 3 && firstConnection)
            ScriptedServer::writeInPieces(connection, okReply("second").left(20), 0, true);
        else
            connection->write(okReply("second"));
    };
    const quint64 target = addTarget(device.serverPort());
    enqueue(target, { command(QStringLiteral("first")) });
    WAIT_FOR(answers_.size() == 1);
    if (closeAfterFirst)
        WAIT_FOR(device.connections.at(0)->state() == QAbstractSocket::UnconnectedState);
    enqueue(target, { command(QStringLiteral("second")) });
    WAIT_FOR(answers_.size() == 2);

    QCOMPARE(answers_.at(0).ok, firstOk);
    const QByteArray firstReply = first.endsWith("junk") ? first.chopped(4) : first; // the junk is no part of it
    QCOMPARE(answers_.at(0).replies, firstOk ? QVector<QByteArray> { firstReply } : QVector<QByteArray>());
    QCOMPARE(answers_.at(1).ok, secondOk);
    QCOMPARE(answers_.at(1).replies, secondOk ? QVector<QByteArray> { okReply("second") } : QVector<QByteArray>());
    QCOMPARE(device.connections.size(), connections);
    QCOMPARE(device.messages.size(), requests);
    // Recorded for a failure; cleared by a reply of status 200 (also after one of 500).
    QCOMPARE(tcp_scheduler_last_error(target).isEmpty(), secondOk);
}

void TestTcpScheduler::timeouts_data()
{
    QTest::addColumn<QByteArray>("partialReply"); // what the device sends before going silent
    QTest::addColumn<int>("descriptorSeconds"); // 0 takes the default
    QTest::addColumn<int>("defaultMs");
    QTest::addColumn<QString>("error");

    QTest::newRow("no reply at all") << QByteArray() << 0 << 300 << QStringLiteral("no reply within 0.3 s");
    QTest::newRow("reply never finishes") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nsid") << 0 << 300
                                          << QStringLiteral("not complete within 0.3 s");
    // Were the default taken instead, the answer would come only after the wait has given up.
    QTest::newRow("the descriptor's own timeout")
        << QByteArray("HTTP/1.1 200 OK\r\n") << 1 << 60000 << QStringLiteral("not complete within 1 s");
}

void TestTcpScheduler::timeouts()
{
    QFETCH(QByteArray, partialReply);
    QFETCH(int, descriptorSeconds);
    QFETCH(int, defaultMs);
    QFETCH(QString, error);

    tcp_scheduler_set_default_timeouts(0, defaultMs);
    ScriptedServer device(RequestEnd);
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &message) {
        connection->write(actionOf(message) == "first" ? partialReply : okReply("2"));
    };
    const quint64 target = addTarget(device.serverPort());
    TCPCommandDescriptor first = command(QStringLiteral("first"));
    first.replyTimeout = descriptorSeconds;
    enqueue(target, { first });
    WAIT_FOR(answers_.size() == 1);
    QVERIFY(!answers_.at(0).ok);
    QVERIFY2(tcp_scheduler_last_error(target).contains(error), qPrintable(tcp_scheduler_last_error(target)));

    // The late rest of the first reply must not be taken for the second one.
    enqueue(target, { command(QStringLiteral("second")) });
    WAIT_FOR(answers_.size() == 2);
    QCOMPARE(answers_.at(1).replies, QVector<QByteArray> { okReply("2") });
    QCOMPARE(device.connections.size(), 2);
    QCOMPARE(device.messages.size(), 2); // a request that timed out is not resent
}

void TestTcpScheduler::connectTimeout()
{
    FullListener listener;
    QVERIFY(listener.port != 0);
    WAIT_FOR(listener.filler.state() == QAbstractSocket::ConnectedState);
    tcp_scheduler_set_default_timeouts(300, 0);
    TCPCommandDescriptor descriptor = command(QStringLiteral("x"));
    descriptor.connectTimeout = 0;
    enqueue(addTarget(listener.port), { descriptor });
    WAIT_FOR(answers_.size() == 1);
    QVERIFY(!answers_.at(0).ok);
    QCOMPARE(tcp_scheduler_last_error(targets_.last()),
        QStringLiteral("no answer within 0.3 s from 127.0.0.1:%1 while connecting").arg(listener.port));
}

void TestTcpScheduler::failures_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("error"); // how the last error starts, the second command's
    QTest::newRow("connection refused") << 0 << QStringLiteral("connection refused by 127.0.0.1:");
    QTest::newRow("unknown handle") << 1 << QStringLiteral("unknown target");
    QTest::newRow("removed handle") << 2 << QStringLiteral("unknown target");
    QTest::newRow("no descriptor") << 3 << QStringLiteral("connection refused by 127.0.0.1:"); // of the second
    QTest::newRow("removed while its commands wait") << 4 << QStringLiteral("unknown target");
}

void TestTcpScheduler::failures()
{
    QFETCH(int, kind);
    QFETCH(QString, error);

    ScriptedServer device(RequestEnd);
    const quint16 port = device.serverPort();
    if (kind != 4)
        device.close();
    const quint64 target = kind == 1 ? 0x7fffffff : addTarget(port);
    if (kind == 2)
        tcp_scheduler_remove_target(target);
    const QVector<TCPCommandDescriptor> commands { command(QStringLiteral("x")) };
    enqueue(target, kind == 3 ? QVector<TCPCommandDescriptor>() : commands);
    enqueue(target, commands);
    if (kind == 4) {
        WAIT_FOR(device.messages.size() == 1);
        tcp_scheduler_remove_target(target);
    }
    WAIT_FOR(answers_.size() == 2);
    // A failure does not stall what is queued behind it.
    QVERIFY(!answers_.at(0).ok && !answers_.at(1).ok);
    QVERIFY(answers_.at(0).replies.isEmpty());
    QVERIFY2(tcp_scheduler_last_error(target).startsWith(error), qPrintable(tcp_scheduler_last_error(target)));
}

QTEST_GUILESS_MAIN(TestTcpScheduler)
#include "tst_tcp_scheduler.moc"
