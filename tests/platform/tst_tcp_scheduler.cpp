// The scheduler against small scripted HTTP devices on loopback.

#include "ScriptedServer.h"

#include <lyio/lyio.h>

#include <QElapsedTimer>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

const QByteArray HttpRequestEnd = QByteArrayLiteral("\r\n\r\n");

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

// The action of a recorded request, "-" when it has none.
QByteArray actionOf(const QByteArray &request)
{
    const int start = request.indexOf("action=");
    if (start < 0)
        return "-";
    const int end = request.indexOf(' ', start);
    return request.mid(start + 7, end - start - 7);
}

// A listening socket whose accept queue is full: further connection attempts hang in the SYN
// stage, which is what a device that does not answer looks like.
class FullListener
{
public:
    FullListener()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0
            || ::listen(fd_, 0) != 0 || ::getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        filler_.connectToHost(QHostAddress::LocalHost, port_);
    }
    ~FullListener()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    quint16 port() const
    {
        return port_;
    }
    bool filled() const
    {
        return filler_.state() == QAbstractSocket::ConnectedState;
    }

private:
    int fd_ = -1;
    quint16 port_ = 0;
    QTcpSocket filler_;
};

} // namespace

class TestTcpScheduler : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void cleanupTestCase();

    void requestOnTheWire_data();
    void requestOnTheWire();
    void replyFraming_data();
    void replyFraming();
    void commandsGoOneAtATimeInOrder();
    void reconnects_data();
    void reconnects();
    void targetsRunInParallel();
    void timeouts_data();
    void timeouts();
    void connectTimeout();
    void failures_data();
    void failures();
    void removeTargetFailsItsCommands();
    void callbacksMayReenter();

private:
    struct Answer {
        int tag;
        bool ok;
        QVector<QByteArray> replies;
    };

    // Enqueues through the library and records the answer under `tag`; checks that the answer
    // comes once, later, in the main thread.
    void enqueue(quint64 target, QVector<TCPCommandDescriptor> commands, int tag, std::function<void()> then = {});
    quint64 addTarget(quint16 port, const QString &user = {}, const QString &password = {});
    void removeTarget(quint64 target)
    {
        targets_.removeAll(target);
        tcp_scheduler_remove_target(target);
    }
    bool answered(int count) const
    {
        return answers_.size() >= count;
    }

    QList<Answer> answers_;
    QList<quint64> targets_;
    bool insideCall_ = false;
    int contractBroken_ = 0;
};

void TestTcpScheduler::enqueue(
    quint64 target, QVector<TCPCommandDescriptor> commands, int tag, std::function<void()> then)
{
    auto once = std::make_shared<bool>(false);
    insideCall_ = true;
    tcp_scheduler_enqueue_command(
        target, std::move(commands), [this, tag, then, once](bool ok, quint64, QVector<QByteArray> replies) {
            if (insideCall_ || *once || QThread::currentThread() != qApp->thread())
                ++contractBroken_;
            *once = true;
            answers_.append({ tag, ok, replies });
            if (then)
                then();
        });
    insideCall_ = false;
}

quint64 TestTcpScheduler::addTarget(quint16 port, const QString &user, const QString &password)
{
    const quint64 target = tcp_scheduler_add_target(QStringLiteral("127.0.0.1"), port, user, password);
    targets_.append(target);
    return target;
}

void TestTcpScheduler::init()
{
    answers_.clear();
    targets_.clear();
    contractBroken_ = 0;
    tcp_scheduler_set_default_timeouts(0, 0);
}

void TestTcpScheduler::cleanup()
{
    for (const quint64 target : qAsConst(targets_))
        tcp_scheduler_remove_target(target);
    QCOMPARE(contractBroken_, 0);
}

void TestTcpScheduler::cleanupTestCase()
{
    // Left running on purpose: the scheduler must go quietly with the application at exit.
    auto *silent = new ScriptedServer(HttpRequestEnd);
    silent->setParent(qApp); // goes with the application, like the scheduler
    const quint64 target = tcp_scheduler_add_target(QStringLiteral("127.0.0.1"), silent->port());
    tcp_scheduler_enqueue_command(
        target, { command(QStringLiteral("one")) }, [](bool, quint64, QVector<QByteArray>) {});
    tcp_scheduler_enqueue_command(
        target, { command(QStringLiteral("two")) }, [](bool, quint64, QVector<QByteArray>) {});
    QTRY_COMPARE(silent->messages.size(), 1);
}

void TestTcpScheduler::requestOnTheWire_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("authorization");

    QTest::newRow("without credentials") << QString() << QString() << QByteArray();
    QTest::newRow("with credentials") << QStringLiteral("admin") << QStringLiteral("pa:ss")
                                      << QByteArray("Authorization: Basic YWRtaW46cGE6c3M=\r\n");
}

void TestTcpScheduler::requestOnTheWire()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QByteArray, authorization);

    ScriptedServer device(HttpRequestEnd);
    device.onMessage = [](QTcpSocket *connection, const QByteArray &) { connection->write(okReply("ok")); };
    const quint64 target = addTarget(device.port(), user, password);

    TCPCommandDescriptor descriptor = command(QStringLiteral("get.playback.recordinfo"));
    descriptor.query.append({ QStringLiteral("startTime"), QStringLiteral("2024-01-02%2003:04:05") });
    descriptor.headers = { QStringLiteral("X-Extra: 1") };
    enqueue(target, { descriptor }, 1);
    QTRY_VERIFY(answered(1));

    QVERIFY(answers_.at(0).ok);
    QCOMPARE(device.messages.size(), 1);
    QCOMPARE(device.messages.at(0).bytes,
        "GET /sdk.cgi?action=get.playback.recordinfo&startTime=2024-01-02%2003:04:05 HTTP/1.1\r\n"
        "Host: 127.0.0.1:"
            + QByteArray::number(device.port()) + "\r\n" + authorization
            + "Connection: keep-alive\r\n"
              "X-Extra: 1\r\n\r\n");
}

void TestTcpScheduler::replyFraming_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("pieceSize"); // 0: one write
    QTest::addColumn<bool>("closeAfter");
    QTest::addColumn<bool>("ok");

    const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                               "7\r\nsid=12\n\r\n"
                               "10\r\ncnt=3\nallCnt=30\n\r\n"
                               "0\r\nX-Trailer: yes\r\n\r\n";
    QTest::newRow("content-length in tiny writes") << okReply("sid=12\ncnt=3\n") << 2 << false << true;
    QTest::newRow("chunked, kept chunked") << chunked << 0 << false << true;
    QTest::newRow("chunked in tiny writes") << chunked << 1 << false << true;
    QTest::newRow("ended by the close") << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nsid=12\n") << 3
                                        << true << true;
    QTest::newRow("error status is still a reply")
        << QByteArray("HTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n") << 0 << false << true;
    QTest::newRow("body cut off by the close")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\r\nsid=12\n") << 0 << true << false;
    QTest::newRow("malformed status line")
        << QByteArray("HTTP/1.1 OK\r\nContent-Length: 0\r\n\r\n") << 0 << false << false;
    QTest::newRow("announced length above the cap") << QByteArray(
        "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(TcpSchedulerMaxReplySize + 1) + "\r\n\r\n")
                                                    << 0 << false << false;
}

void TestTcpScheduler::replyFraming()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, pieceSize);
    QFETCH(bool, closeAfter);
    QFETCH(bool, ok);

    // After each reply the device answers a second command properly: a failed reply must not
    // leave anything behind that spoils the next one.
    ScriptedServer device(HttpRequestEnd);
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &message) {
        if (actionOf(message) == "first")
            ScriptedServer::writeInPieces(connection, reply, pieceSize, closeAfter);
        else
            connection->write(okReply("second"));
    };
    const quint64 target = addTarget(device.port());
    enqueue(target, { command(QStringLiteral("first")) }, 1);
    enqueue(target, { command(QStringLiteral("second")) }, 2);
    QTRY_VERIFY(answered(2));

    QCOMPARE(answers_.at(0).ok, ok);
    if (ok)
        QCOMPARE(answers_.at(0).replies, QVector<QByteArray> { reply });
    QVERIFY(answers_.at(1).ok);
    QCOMPARE(answers_.at(1).replies, QVector<QByteArray> { okReply("second") });
}

void TestTcpScheduler::commandsGoOneAtATimeInOrder()
{
    // The device answers on a later turn of the event loop; a client that did not wait for the
    // reply would have a second request in while the first is unanswered. The last command holds
    // two descriptors and is answered once, with both replies.
    ScriptedServer device(HttpRequestEnd);
    int unanswered = 0;
    int mostUnanswered = 0;
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &message) {
        mostUnanswered = qMax(mostUnanswered, ++unanswered);
        QPointer<QTcpSocket> guard(connection);
        QTimer::singleShot(0, connection, [&, guard, action = actionOf(message)]() {
            --unanswered;
            guard->write(okReply(action));
        });
    };
    const quint64 target = addTarget(device.port());
    for (int i = 0; i < 4; ++i)
        enqueue(target, { command(QString::number(i)) }, i);
    enqueue(target, { command(QStringLiteral("4")), command(QStringLiteral("5")) }, 4);
    QTRY_VERIFY(answered(5));

    QCOMPARE(mostUnanswered, 1);
    QCOMPARE(device.connectionCount(), 1);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(actionOf(device.messages.at(i).bytes), QByteArray::number(i));
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(answers_.at(i).tag, i);
        QVERIFY(answers_.at(i).ok);
    }
    QCOMPARE(answers_.at(3).replies, QVector<QByteArray> { okReply("3") });
    QCOMPARE(answers_.at(4).replies, (QVector<QByteArray> { okReply("4"), okReply("5") }));
}

void TestTcpScheduler::reconnects_data()
{
    QTest::addColumn<QByteArray>("firstReply");
    QTest::addColumn<bool>("closeAfterFirst");
    QTest::addColumn<int>("dropSecond"); // close without a reply: 0 never, 1 on the first connection, 2 always
    QTest::addColumn<int>("connections");
    QTest::addColumn<int>("requests"); // as the device saw them
    QTest::addColumn<bool>("secondOk");

    QTest::newRow("kept alive") << okReply("1") << false << 0 << 1 << 2 << true;
    QTest::newRow("reply says connection close")
        << okReply("1", "Connection: close\r\n") << true << 0 << 2 << 2 << true;
    QTest::newRow("device closes the idle connection") << okReply("1") << true << 0 << 2 << 2 << true;
    QTest::newRow("device closes as the next request arrives") << okReply("1") << false << 1 << 2 << 3 << true;
    QTest::newRow("resent only once") << okReply("1") << false << 2 << 2 << 3 << false;
}

void TestTcpScheduler::reconnects()
{
    QFETCH(QByteArray, firstReply);
    QFETCH(bool, closeAfterFirst);
    QFETCH(int, dropSecond);
    QFETCH(int, connections);
    QFETCH(int, requests);
    QFETCH(bool, secondOk);

    ScriptedServer device(HttpRequestEnd);
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &message) {
        if (actionOf(message) == "first")
            ScriptedServer::writeInPieces(connection, firstReply, 0, closeAfterFirst);
        else if (dropSecond == 2 || (dropSecond == 1 && connection == device.connection(0)))
            connection->disconnectFromHost();
        else
            connection->write(okReply("2"));
    };
    const quint64 target = addTarget(device.port());
    enqueue(target, { command(QStringLiteral("first")) }, 1);
    QTRY_VERIFY(answered(1));
    if (closeAfterFirst)
        QTRY_COMPARE(device.connection(0)->state(), QAbstractSocket::UnconnectedState);
    enqueue(target, { command(QStringLiteral("second")) }, 2);
    QTRY_VERIFY(answered(2));

    QVERIFY(answers_.at(0).ok);
    QCOMPARE(answers_.at(1).ok, secondOk);
    QCOMPARE(answers_.at(1).replies, secondOk ? QVector<QByteArray> { okReply("2") } : QVector<QByteArray>());
    QCOMPARE(device.connectionCount(), connections);
    QCOMPARE(device.messages.size(), requests);
}

void TestTcpScheduler::targetsRunInParallel()
{
    // The slow device holds its reply until the fast one has been asked: with one queue for all
    // targets the fast request would never go out.
    ScriptedServer slow(HttpRequestEnd);
    ScriptedServer fast(HttpRequestEnd);
    QPointer<QTcpSocket> slowConnection;
    slow.onMessage = [&](QTcpSocket *connection, const QByteArray &) { slowConnection = connection; };
    fast.onMessage = [&](QTcpSocket *connection, const QByteArray &) {
        connection->write(okReply("fast"));
        if (slowConnection)
            slowConnection->write(okReply("slow"));
    };
    enqueue(addTarget(slow.port()), { command(QStringLiteral("slow")) }, 1);
    QTRY_COMPARE(slow.messages.size(), 1);
    enqueue(addTarget(fast.port()), { command(QStringLiteral("fast")) }, 2);
    QTRY_VERIFY(answered(2));

    QVERIFY(answers_.at(0).ok && answers_.at(1).ok);
}

void TestTcpScheduler::timeouts_data()
{
    QTest::addColumn<QByteArray>("partialReply"); // what the device sends before going silent
    QTest::addColumn<int>("replyTimeout"); // descriptor seconds; 0 takes the default (set short)
    QTest::addColumn<int>("atLeastMs"); // coarse timers may fire up to 5% early

    QTest::newRow("no reply at all") << QByteArray() << 0 << 250;
    QTest::newRow("reply never finishes") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nsid") << 0 << 250;
    QTest::newRow("descriptor's own timeout") << QByteArray("HTTP/1.1 200 OK\r\n") << 1 << 900;
}

void TestTcpScheduler::timeouts()
{
    QFETCH(QByteArray, partialReply);
    QFETCH(int, replyTimeout);
    QFETCH(int, atLeastMs);

    tcp_scheduler_set_default_timeouts(0, 300);
    ScriptedServer device(HttpRequestEnd);
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &message) {
        if (actionOf(message) == "first")
            connection->write(partialReply);
        else
            connection->write(okReply("2"));
    };
    const quint64 target = addTarget(device.port());
    TCPCommandDescriptor first = command(QStringLiteral("first"));
    first.replyTimeout = replyTimeout;
    QElapsedTimer clock;
    clock.start();
    enqueue(target, { first }, 1);
    QTRY_VERIFY_WITH_TIMEOUT(answered(1), 5000);
    QVERIFY2(clock.elapsed() >= atLeastMs, QByteArray::number(clock.elapsed()).constData());
    QVERIFY(!answers_.at(0).ok);

    // The late rest of the first reply must not be taken for the second one.
    enqueue(target, { command(QStringLiteral("second")) }, 2);
    QTRY_VERIFY(answered(2));
    QCOMPARE(answers_.at(1).replies, QVector<QByteArray> { okReply("2") });
    QCOMPARE(device.connectionCount(), 2);
}

void TestTcpScheduler::connectTimeout()
{
    FullListener listener;
    QVERIFY(listener.port() != 0);
    QTRY_VERIFY(listener.filled());

    tcp_scheduler_set_default_timeouts(300, 0);
    TCPCommandDescriptor descriptor = command(QStringLiteral("x"));
    descriptor.connectTimeout = 0;
    QElapsedTimer clock;
    clock.start();
    enqueue(addTarget(listener.port()), { descriptor }, 1);
    QTRY_VERIFY_WITH_TIMEOUT(answered(1), 5000);
    QVERIFY(!answers_.at(0).ok);
    QVERIFY(clock.elapsed() >= 250);
}

void TestTcpScheduler::failures_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("connection refused") << 0;
    QTest::newRow("unknown handle") << 1;
    QTest::newRow("removed handle") << 2;
    QTest::newRow("no descriptor") << 3;
}

void TestTcpScheduler::failures()
{
    QFETCH(int, kind);

    ScriptedServer device(HttpRequestEnd);
    const quint16 port = device.port();
    device.stopListening();
    quint64 target = addTarget(port);
    if (kind == 1)
        target = 0x7fffffff;
    if (kind == 2)
        removeTarget(target);
    QVector<TCPCommandDescriptor> commands { command(QStringLiteral("x")) };
    if (kind == 3)
        commands.clear();
    enqueue(target, commands, 1);
    QVERIFY(answers_.isEmpty());
    QTRY_VERIFY(answered(1));
    QVERIFY(!answers_.at(0).ok);
    QVERIFY(answers_.at(0).replies.isEmpty());
}

void TestTcpScheduler::removeTargetFailsItsCommands()
{
    ScriptedServer device(HttpRequestEnd);
    QPointer<QTcpSocket> held;
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &) { held = connection; };
    const quint64 target = addTarget(device.port());
    for (int i = 0; i < 3; ++i)
        enqueue(target, { command(QString::number(i)) }, i);
    QTRY_COMPARE(device.messages.size(), 1);

    removeTarget(target);
    QVERIFY(answers_.isEmpty());
    QTRY_VERIFY(answered(3));
    for (const Answer &answer : qAsConst(answers_))
        QVERIFY(!answer.ok);

    // A reply coming after the removal reaches nobody.
    held->write(okReply("late"));
    QTRY_COMPARE(held->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(answers_.size(), 3);
}

void TestTcpScheduler::callbacksMayReenter()
{
    ScriptedServer device(HttpRequestEnd);
    device.onMessage
        = [](QTcpSocket *connection, const QByteArray &message) { connection->write(okReply(actionOf(message))); };
    const quint64 target = addTarget(device.port());
    // The first answer queues another command; that one's answer removes the target while a
    // third command still waits.
    enqueue(target, { command(QStringLiteral("a")) }, 1, [&]() {
        enqueue(target, { command(QStringLiteral("b")) }, 2, [&]() {
            enqueue(target, { command(QStringLiteral("c")) }, 3);
            removeTarget(target);
        });
    });
    QTRY_VERIFY(answered(3));

    QCOMPARE(answers_.at(0).tag, 1);
    QVERIFY(answers_.at(0).ok);
    QCOMPARE(answers_.at(1).tag, 2);
    QVERIFY(answers_.at(1).ok);
    QCOMPARE(answers_.at(2).tag, 3);
    QVERIFY(!answers_.at(2).ok);
}

QTEST_GUILESS_MAIN(TestTcpScheduler)
#include "tst_tcp_scheduler.moc"
