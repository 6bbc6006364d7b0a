#pragma once

// A scripted device behind the transport functions (a link seam: this library defines
// tcp_scheduler_enqueue_command and lyp2psdk_send_command for the test executables).
//
// It records every request and answers from a script, later, on the main thread, never inside
// the sending call. A test scripts it in a few lines:
//
//     auto &device = FakeDevice::instance();
//     device.reset();
//     device.http("get.playback.recordinfo", HttpAnswer::body(kv({{"cnt", 1}, {"allCnt", 1}, {"sid", 7}})));
//     device.p2p(NVRCommand::OpenEventSearch, P2pAnswer::object({{"r.cnt", "0"}}));
//     ... start the request ...
//     QVERIFY(device.waitIdle());
//     QCOMPARE(device.routes(), QStringList({"get.playback.recordinfo", ...}));
//
// Routes name requests: a "/sdk.cgi" request by its "action"; a "/vb.htm" request by its "page"
// value, else by its last query key ("PBFileTotalPage", "PBFilePageIndex", "closelyfshandle");
// "/dataloader.cgi" as "dataloader"; a P2P command as "ipc:<n>" or "nvr:<n>". An unscripted
// request is answered with ok false.

#include <transport/p2p_sdk.h>
#include <transport/tcp_scheduler.h>

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <initializer_list>
#include <optional>
#include <utility>

namespace lydevice::test
{

struct HttpRequest {
    quint64 target = 0;
    QString path;
    QVector<QPair<QString, QString>> query;

    QString route() const;
    // The value of the first pair with this key ("" when absent).
    QString value(const QString &key) const;
    QStringList keys() const;
};

struct P2pRequest {
    int handle = 0;
    bool recorder = false;
    int command = 0;
    QJsonObject request;
    int timeout = 0;

    QString route() const;
};

struct SentRequest {
    bool isHttp = true;
    HttpRequest http;
    P2pRequest p2p;

    QString route() const;
};

struct HttpAnswer {
    bool ok = true;
    QByteArray raw;
    bool held = false;

    // "HTTP/1.1 200 OK" with a Content-Length and this body.
    static HttpAnswer body(const QByteArray &body);
    // "HTTP/1.1 200 OK" with this body in chunks of `chunkSize` bytes.
    static HttpAnswer chunked(const QByteArray &body, int chunkSize);
    static HttpAnswer status(int code, const QByteArray &body = {});
    static HttpAnswer raw200(const QByteArray &rawReply);
    // ok false from the transport.
    static HttpAnswer failure();
    // Kept back until FakeDevice::releaseHeld().
    HttpAnswer hold() const;
};

struct P2pAnswer {
    bool ok = true;
    QJsonObject reply;
    bool held = false;

    static P2pAnswer object(const QJsonObject &reply);
    static P2pAnswer failure();
    P2pAnswer hold() const;
};

// Recorder key=value reply lines, each ending in "\r\n".
QByteArray kv(std::initializer_list<std::pair<QString, QVariant>> pairs);
QByteArray kv(const QList<QPair<QString, QVariant>> &pairs);
// Camera "OK key=value" reply lines.
QByteArray okLines(std::initializer_list<std::pair<QString, QVariant>> pairs);

class FakeDevice
{
public:
    static FakeDevice &instance();

    // Forgets the script, the recorded requests and the held answers.
    void reset();

    // Answers for the next requests of a route, used in order, once each.
    void http(const QString &route, const HttpAnswer &answer);
    void p2p(const QString &route, const P2pAnswer &answer);
    void p2p(NVRCommand command, const P2pAnswer &answer);
    void p2p(IPCCommand command, const P2pAnswer &answer);
    // Computes answers for requests whose route has no scripted answer left; return nothing to
    // fall back to ok false.
    void setHttpHandler(std::function<std::optional<HttpAnswer>(const HttpRequest &)> handler);
    void setP2pHandler(std::function<std::optional<P2pAnswer>(const P2pRequest &)> handler);

    const QVector<SentRequest> &sent() const;
    QVector<HttpRequest> httpRequests() const;
    QVector<P2pRequest> p2pRequests() const;
    QStringList routes() const;
    // The requests of one route, in order.
    QVector<HttpRequest> httpRequests(const QString &route) const;
    QVector<P2pRequest> p2pRequests(const QString &route) const;

    // Answers scheduled and not yet delivered, and answers held back.
    int pending() const;
    int heldCount() const;
    // Schedules the held answers (still delivered later, from the event loop).
    void releaseHeld();
    // Runs the event loop until no scheduled answer is left (held ones do not count).
    bool waitIdle(int timeoutMs = 5000);

    // Called by the link seam.
    void enqueue(quint64 target, const QVector<TCPCommandDescriptor> &commands, TCPCommandCallback callback);
    void send(
        int handle, bool recorder, int command, const QJsonObject &request, P2PCommandCallback callback, int timeout);

private:
    FakeDevice() = default;
    void schedule(std::function<void()> answer);

    QVector<SentRequest> log;
    QHash<QString, QQueue<HttpAnswer>> httpScript;
    QHash<QString, QQueue<P2pAnswer>> p2pScript;
    std::function<std::optional<HttpAnswer>(const HttpRequest &)> httpHandler;
    std::function<std::optional<P2pAnswer>(const P2pRequest &)> p2pHandler;
    QVector<std::function<void()>> heldAnswers;
    int scheduled = 0;
    quint64 generation = 0;
    quint64 lastCommandId = 0;
};

} // namespace lydevice::test
