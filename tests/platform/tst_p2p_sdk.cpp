// The P2P SDK against a small scripted command link on loopback: the frames it sends, replies
// matched by id, timeouts, loss of the link and reply lines it cannot use.

#include "ScriptedServer.h"
#include "Waiting.h"

#include <lyp2psdk/lyp2psdk.h>

#include <QJsonDocument>
#include <QtTest>

namespace
{

QJsonObject parseFrame(const QByteArray &line)
{
    return QJsonDocument::fromJson(line).object();
}

qint64 idOf(const QByteArray &line)
{
    return static_cast<qint64>(parseFrame(line).value(QLatin1String("id")).toDouble());
}

QByteArray replyFrame(qint64 id, const QJsonObject &reply)
{
    const QJsonObject frame { { QStringLiteral("id"), static_cast<double>(id) }, { QStringLiteral("reply"), reply } };
    return QJsonDocument(frame).toJson(QJsonDocument::Compact) + '\n';
}

// Answers a command with its own request: the test can tell which reply went where.
QByteArray echo(const QByteArray &line)
{
    return replyFrame(idOf(line), parseFrame(line).value(QLatin1String("request")).toObject());
}

// A line break inside a string must not break the frame.
QJsonObject tagged(int tag)
{
    return { { QStringLiteral("tag"), tag }, { QStringLiteral("note"), QStringLiteral("two\nlines") } };
}

} // namespace

class TestP2pSdk : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void framesMatchedById();
    void timeoutIgnoresLateReply();
    void linkLossFailsEveryOutstanding();
    void badReplyLines_data();
    void badReplyLines();
    void failures_data();
    void failures();

private:
    struct Answer {
        int tag;
        bool ok;
        QJsonObject reply;
    };

    // Sends `tagged(tag)` and records the answer; counts every answer that comes more than once,
    // inside the call or outside the main thread.
    void send(int peer, int tag, int timeout = 20)
    {
        auto once = std::make_shared<bool>(false);
        insideCall_ = true;
        lyp2psdk_send_command(
            peer,
            NVRCommand::EventSearchPage,
            tagged(tag),
            [this, tag, once](bool ok, QJsonObject reply) {
                broken_ += insideCall_ || *once || QThread::currentThread() != qApp->thread();
                *once = true;
                answers_.append({ tag, ok, reply });
            },
            timeout);
        insideCall_ = false;
    }
    int addPeer(quint16 port)
    {
        peers_.append(lyp2psdk_add_peer(QStringLiteral("127.0.0.1"), port));
        return peers_.last();
    }

    QList<Answer> answers_;
    QList<int> peers_;
    bool insideCall_ = false;
    int broken_ = 0;
};

void TestP2pSdk::init()
{
    answers_.clear();
    peers_.clear();
    broken_ = 0;
    lyp2psdk_set_default_timeout(0);
}

void TestP2pSdk::cleanup()
{
    for (const int peer : qAsConst(peers_))
        lyp2psdk_remove_peer(peer);
    QCOMPARE(broken_, 0);
}

void TestP2pSdk::framesMatchedById()
{
    // Three commands sent before the link is up go out in order, one line each; the device
    // answers them in reverse order, in small pieces, with stray frames in between.
    ScriptedServer device("\n");
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &) {
        if (device.messages.size() < 3)
            return;
        const auto sent = [&](int i) { return device.messages.at(i); };
        const QByteArray replies = echo(sent(2)) + replyFrame(999999, tagged(-1)) // nobody's
            + "{\"reply\":{}}\n\r\n\n" // no id, then empty lines
            + echo(sent(1)) + replyFrame(idOf(sent(1)), tagged(-2)) // a second answer is dropped
            + echo(sent(0));
        ScriptedServer::writeInPieces(connection, replies, 5, false);
    };
    const int peer = addPeer(device.serverPort());
    for (int tag = 1; tag <= 3; ++tag)
        send(peer, tag);
    WAIT_FOR(answers_.size() == 3);

    for (int i = 0; i < 3; ++i) {
        const QJsonObject frame = parseFrame(device.messages.at(i));
        QCOMPARE(frame.value(QLatin1String("kind")).toString(), QStringLiteral("nvr"));
        QCOMPARE(frame.value(QLatin1String("command")).toInt(), int(NVRCommand::EventSearchPage));
        QCOMPARE(frame.value(QLatin1String("request")).toObject(), tagged(i + 1));
        QCOMPARE(answers_.at(i).tag, 3 - i);
        QVERIFY(answers_.at(i).ok);
        QCOMPARE(answers_.at(i).reply, tagged(3 - i));
    }
}

void TestP2pSdk::timeoutIgnoresLateReply()
{
    lyp2psdk_set_default_timeout(200);
    ScriptedServer device("\n");
    const int peer = addPeer(device.serverPort());
    send(peer, 1, 0);
    WAIT_FOR(answers_.size() == 1);
    QVERIFY(!answers_.at(0).ok);
    QCOMPARE(
        lyp2psdk_last_error(peer), QStringLiteral("no reply within 0.2 s from 127.0.0.1:%1").arg(device.serverPort()));

    // The late reply comes in front of the next one on the same link and must be dropped.
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &line) {
        connection->write(echo(device.messages.at(0)) + echo(line));
    };
    send(peer, 2);
    WAIT_FOR(answers_.size() == 2);
    QCOMPARE(answers_.at(1).tag, 2);
    QVERIFY(answers_.at(1).ok);
    QCOMPARE(device.connections.size(), 1);
    QCOMPARE(lyp2psdk_last_error(peer), QString());
}

void TestP2pSdk::linkLossFailsEveryOutstanding()
{
    ScriptedServer device("\n");
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &line) {
        if (device.connections.size() > 1)
            connection->write(echo(line));
        else if (device.messages.size() == 3)
            connection->disconnectFromHost();
    };
    const int peer = addPeer(device.serverPort());
    for (int tag = 1; tag <= 3; ++tag)
        send(peer, tag);
    WAIT_FOR(answers_.size() == 3);
    for (const Answer &answer : qAsConst(answers_))
        QVERIFY(!answer.ok);
    QCOMPARE(lyp2psdk_last_error(peer), QStringLiteral("link closed by 127.0.0.1:%1").arg(device.serverPort()));

    // The next command brings the link up again.
    send(peer, 4);
    WAIT_FOR(answers_.size() == 4);
    QVERIFY(answers_.at(3).ok);
    QCOMPARE(device.connections.size(), 2);
}

void TestP2pSdk::badReplyLines_data()
{
    // The device has two commands outstanding. It sends the row's line (with "%1" the first
    // command's id), then proper replies to both.
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("firstOk");
    QTest::addColumn<bool>("secondOk");

    QTest::newRow("not json breaks the link") << QByteArray("sid=12\n") << false << false;
    QTest::newRow("json that is not an object breaks the link") << QByteArray("[1,2]\n") << false << false;
    QTest::newRow("reply that is not an object fails its command")
        << QByteArray("{\"id\":%1,\"reply\":[]}\n") << false << true;
    QTest::newRow("missing reply fails its command") << QByteArray("{\"id\":%1}\n") << false << true;
    QTest::newRow("fractional id is nobody's") << QByteArray("{\"id\":%1.5,\"reply\":{}}\n") << true << true;
    QTest::newRow("id as a string is nobody's") << QByteArray("{\"id\":\"%1\",\"reply\":{}}\n") << true << true;
    QTest::newRow("huge id is nobody's") << QByteArray("{\"id\":1e300,\"reply\":{}}\n") << true << true;
    const auto line = [](const char *json) { return QByteArray(json) + '\n'; };
    QTest::newRow("empty lines in front are skipped") << QByteArray("\n\r\n") << true << true;
    // Qt 5's parser leaks the object or array a repeated key replaces, at any depth.
    QTest::newRow("repeated key, written with an escape, breaks the link")
        << line(R"({"id":%1,"reply":{"a":{}},"\u0072eply":{}})") << false << false;
    QTest::newRow("repeated key deep down breaks the link")
        << line(R"({"id":%1,"reply":{"a":[{"b":[],"b":1}]}})") << false << false;
    QTest::newRow("same keys in other objects, in values and in strings")
        << line(R"({"id":%1,"reply":{"id":{"reply":"\",\"reply\":\"x"},"b":["a","a","a"],"c":"c"}})") << true << true;
    QTest::newRow("line above the cap breaks the link") << QByteArray(LyP2pSdkMaxLineSize + 1, ' ') + '\n'
                                                        << false << false;
    // A recorder's page of 10,000 records is about 2 MiB; much more is not a reply to take in.
    QTest::newRow("reply of 3 MiB is taken") << "{\"id\":%1,\"reply\":{\"s\":\"" + QByteArray(3 << 20, 'x') + "\"}}\n"
                                             << true << true;
    QTest::newRow("line of 5 MiB breaks the link") << QByteArray(5 << 20, ' ') + '\n' << false << false;
}

void TestP2pSdk::badReplyLines()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, firstOk);
    QFETCH(bool, secondOk);

    ScriptedServer device("\n");
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &) {
        if (device.messages.size() == 2)
            connection->write(QByteArray(line).replace("%1", QByteArray::number(idOf(device.messages.at(0))))
                + echo(device.messages.at(0)) + echo(device.messages.at(1)));
    };
    const int peer = addPeer(device.serverPort());
    send(peer, 1);
    send(peer, 2);
    WAIT_FOR(answers_.size() == 2);

    QCOMPARE(answers_.at(0).tag, 1);
    QCOMPARE(answers_.at(0).ok, firstOk);
    QCOMPARE(answers_.at(1).ok, secondOk);
    if (secondOk)
        QCOMPARE(answers_.at(1).reply, tagged(2));
    // The second command is answered last.
    QCOMPARE(lyp2psdk_last_error(peer).isEmpty(), secondOk);
}

void TestP2pSdk::failures_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("connection refused") << 0;
    QTest::newRow("unknown handle") << 1;
    QTest::newRow("removed handle") << 2;
    QTest::newRow("removed with commands outstanding") << 3;
}

void TestP2pSdk::failures()
{
    QFETCH(int, kind);

    ScriptedServer device("\n");
    const quint16 port = device.serverPort();
    if (kind != 3)
        device.close();
    const int peer = kind == 1 ? 0x7fffffff : addPeer(port);
    if (kind == 2)
        lyp2psdk_remove_peer(peer);
    send(peer, 1);
    send(peer, 2);
    if (kind == 3) {
        WAIT_FOR(device.messages.size() == 2);
        lyp2psdk_remove_peer(peer);
    }
    WAIT_FOR(answers_.size() == 2);
    QVERIFY(!answers_.at(0).ok && !answers_.at(1).ok);
    QVERIFY(lyp2psdk_last_error(peer).startsWith(QLatin1String(kind == 0 ? "connection refused by" : "unknown peer")));
    // Handles are never reused.
    if (kind != 1)
        QVERIFY(addPeer(port) > peer);
}

QTEST_GUILESS_MAIN(TestP2pSdk)
#include "tst_p2p_sdk.moc"
