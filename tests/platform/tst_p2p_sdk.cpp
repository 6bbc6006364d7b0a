// The P2P SDK against a small scripted command link on loopback.

#include "ScriptedServer.h"

#include <lyp2psdk/lyp2psdk.h>

#include <QJsonDocument>
#include <QtTest>

namespace
{

const QByteArray LineEnd = QByteArrayLiteral("\n");

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

// Answers every command with its own request: the test can tell which reply went where.
QByteArray echo(const QByteArray &line)
{
    return replyFrame(idOf(line), parseFrame(line).value(QLatin1String("request")).toObject());
}

QJsonObject tagged(int tag)
{
    return { { QStringLiteral("tag"), tag } };
}

} // namespace

class TestP2pSdk : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void requestFrames_data();
    void requestFrames();
    void repliesMatchedById();
    void timeoutIgnoresLateReply();
    void linkLossFailsEveryOutstanding();
    void badReplyLines_data();
    void badReplyLines();
    void failures_data();
    void failures();
    void removePeerFailsOutstanding();

private:
    struct Answer {
        int tag;
        bool ok;
        QJsonObject reply;
    };

    void send(int peer, int tag, int timeout = 20);
    int addPeer(quint16 port);
    void removePeer(int peer)
    {
        peers_.removeAll(peer);
        lyp2psdk_remove_peer(peer);
    }
    bool answered(int count) const
    {
        return answers_.size() >= count;
    }
    const Answer *answerFor(int tag) const
    {
        for (const Answer &answer : answers_) {
            if (answer.tag == tag)
                return &answer;
        }
        return nullptr;
    }

    QList<Answer> answers_;
    QList<int> peers_;
    bool insideCall_ = false;
    int contractBroken_ = 0;
};

void TestP2pSdk::send(int peer, int tag, int timeout)
{
    auto once = std::make_shared<bool>(false);
    insideCall_ = true;
    lyp2psdk_send_command(
        peer,
        NVRCommand::EventSearchPage,
        tagged(tag),
        [this, tag, once](bool ok, QJsonObject reply) {
            if (insideCall_ || *once || QThread::currentThread() != qApp->thread())
                ++contractBroken_;
            *once = true;
            answers_.append({ tag, ok, reply });
        },
        timeout);
    insideCall_ = false;
}

int TestP2pSdk::addPeer(quint16 port)
{
    const int peer = lyp2psdk_add_peer(QStringLiteral("127.0.0.1"), port);
    peers_.append(peer);
    return peer;
}

void TestP2pSdk::init()
{
    answers_.clear();
    peers_.clear();
    contractBroken_ = 0;
    lyp2psdk_set_default_timeout(0);
}

void TestP2pSdk::cleanup()
{
    for (const int peer : qAsConst(peers_))
        lyp2psdk_remove_peer(peer);
    QCOMPARE(contractBroken_, 0);
}

void TestP2pSdk::requestFrames_data()
{
    QTest::addColumn<bool>("camera");
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("kind");

    QTest::newRow("camera command") << true << int(IPCCommand::SearchRecordPage) << QStringLiteral("ipc");
    QTest::newRow("recorder command") << false << int(NVRCommand::OpenEventSearch) << QStringLiteral("nvr");
}

void TestP2pSdk::requestFrames()
{
    QFETCH(bool, camera);
    QFETCH(int, command);
    QFETCH(QString, kind);

    ScriptedServer device(LineEnd);
    device.onMessage = [](QTcpSocket *connection, const QByteArray &line) { connection->write(echo(line)); };
    const int peer = addPeer(device.port());
    // A line break inside a string must not break the frame.
    const QJsonObject request { { QStringLiteral("r.startTime"), QStringLiteral("2024-01-02 03:04:05") },
        { QStringLiteral("note"), QStringLiteral("two\nlines") },
        { QStringLiteral("r.num"), 1 } };
    auto callback = [this](bool ok, QJsonObject reply) { answers_.append({ 0, ok, reply }); };
    if (camera)
        lyp2psdk_send_command(peer, static_cast<IPCCommand>(command), request, callback, 20);
    else
        lyp2psdk_send_command(peer, static_cast<NVRCommand>(command), request, callback, 20);
    QTRY_VERIFY(answered(1));

    QCOMPARE(device.messages.size(), 1);
    const QByteArray line = device.messages.at(0).bytes;
    QCOMPARE(line.count('\n'), 1);
    const QJsonObject frame = parseFrame(line);
    QCOMPARE(frame.keys(),
        (QStringList {
            QStringLiteral("command"), QStringLiteral("id"), QStringLiteral("kind"), QStringLiteral("request") }));
    QVERIFY(frame.value(QLatin1String("id")).toDouble() >= 1);
    QCOMPARE(frame.value(QLatin1String("kind")).toString(), kind);
    QCOMPARE(frame.value(QLatin1String("command")).toInt(), command);
    QCOMPARE(frame.value(QLatin1String("request")).toObject(), request);
    QVERIFY(answers_.at(0).ok);
    QCOMPARE(answers_.at(0).reply, request);
}

void TestP2pSdk::repliesMatchedById()
{
    // Three commands sent before the link is up go out in order; the device answers them in
    // reverse order, with stray frames in between.
    ScriptedServer device(LineEnd);
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &) {
        if (device.messages.size() < 3)
            return;
        QByteArray replies;
        replies += echo(device.messages.at(2).bytes);
        replies += replyFrame(999999, tagged(-1)); // nobody's
        replies += "{\"reply\":{}}\n\r\n\n"; // no id, then empty lines
        replies += echo(device.messages.at(1).bytes);
        replies += replyFrame(idOf(device.messages.at(1).bytes), tagged(-2)); // second answer: dropped
        replies += echo(device.messages.at(0).bytes);
        ScriptedServer::writeInPieces(connection, replies, 5, false);
    };
    const int peer = addPeer(device.port());
    for (int tag = 1; tag <= 3; ++tag)
        send(peer, tag);
    QTRY_VERIFY(answered(3));

    for (int i = 0; i < 3; ++i)
        QCOMPARE(parseFrame(device.messages.at(i).bytes).value(QLatin1String("request")).toObject(), tagged(i + 1));
    QVERIFY(idOf(device.messages.at(0).bytes) < idOf(device.messages.at(1).bytes));
    QCOMPARE(answers_.at(0).tag, 3);
    QCOMPARE(answers_.at(1).tag, 2);
    QCOMPARE(answers_.at(2).tag, 1);
    for (const Answer &answer : qAsConst(answers_)) {
        QVERIFY(answer.ok);
        QCOMPARE(answer.reply, tagged(answer.tag));
    }
}

void TestP2pSdk::timeoutIgnoresLateReply()
{
    lyp2psdk_set_default_timeout(200);
    ScriptedServer device(LineEnd);
    const int peer = addPeer(device.port());
    send(peer, 1, 0);
    QTRY_VERIFY_WITH_TIMEOUT(answered(1), 5000);
    QVERIFY(!answers_.at(0).ok);

    // The late reply comes in front of the next one on the same link and must be dropped.
    QCOMPARE(device.messages.size(), 1);
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &line) {
        connection->write(echo(device.messages.at(0).bytes) + echo(line));
    };
    send(peer, 2);
    QTRY_VERIFY(answered(2));
    QCOMPARE(answers_.at(1).tag, 2);
    QVERIFY(answers_.at(1).ok);
    QCOMPARE(device.connectionCount(), 1);
    QCOMPARE(answers_.size(), 2);
}

void TestP2pSdk::linkLossFailsEveryOutstanding()
{
    ScriptedServer device(LineEnd);
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &line) {
        if (device.connectionCount() == 1) {
            if (device.messages.size() == 3)
                connection->disconnectFromHost();
        } else {
            connection->write(echo(line));
        }
    };
    const int peer = addPeer(device.port());
    for (int tag = 1; tag <= 3; ++tag)
        send(peer, tag);
    QTRY_VERIFY(answered(3));
    for (const Answer &answer : qAsConst(answers_))
        QVERIFY(!answer.ok);

    // The next command brings the link up again.
    send(peer, 4);
    QTRY_VERIFY(answered(4));
    QVERIFY(answers_.at(3).ok);
    QCOMPARE(device.connectionCount(), 2);
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
    QTest::newRow("line above the cap breaks the link") << QByteArray(LyP2pSdkMaxLineSize + 1, ' ') + '\n'
                                                        << false << false;
}

void TestP2pSdk::badReplyLines()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, firstOk);
    QFETCH(bool, secondOk);

    ScriptedServer device(LineEnd);
    device.onMessage = [&](QTcpSocket *connection, const QByteArray &) {
        if (device.messages.size() < 2)
            return;
        const QByteArray first = device.messages.at(0).bytes;
        QByteArray bad = line;
        bad.replace("%1", QByteArray::number(idOf(first)));
        connection->write(bad + echo(first) + echo(device.messages.at(1).bytes));
    };
    const int peer = addPeer(device.port());
    send(peer, 1);
    send(peer, 2);
    QTRY_VERIFY(answered(2));

    QCOMPARE(answerFor(1)->ok, firstOk);
    QCOMPARE(answerFor(2)->ok, secondOk);
    if (secondOk)
        QCOMPARE(answerFor(2)->reply, tagged(2));
}

void TestP2pSdk::failures_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("connection refused") << 0;
    QTest::newRow("unknown handle") << 1;
    QTest::newRow("removed handle") << 2;
}

void TestP2pSdk::failures()
{
    QFETCH(int, kind);

    ScriptedServer device(LineEnd);
    const quint16 port = device.port();
    device.stopListening();
    int peer = addPeer(port);
    QVERIFY(peer > 0);
    if (kind == 1)
        peer = 0x7fffffff;
    if (kind == 2)
        removePeer(peer);
    send(peer, 1);
    QVERIFY(answers_.isEmpty());
    QTRY_VERIFY(answered(1));
    QVERIFY(!answers_.at(0).ok);
}

void TestP2pSdk::removePeerFailsOutstanding()
{
    ScriptedServer device(LineEnd);
    const int peer = addPeer(device.port());
    send(peer, 1);
    send(peer, 2);
    QTRY_COMPARE(device.messages.size(), 2);

    removePeer(peer);
    QVERIFY(answers_.isEmpty());
    QTRY_VERIFY(answered(2));
    QVERIFY(!answers_.at(0).ok && !answers_.at(1).ok);

    const int next = addPeer(device.port());
    QVERIFY(next > peer);
}

QTEST_GUILESS_MAIN(TestP2pSdk)
#include "tst_p2p_sdk.moc"
