#include "FakeDevice.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QTest>

namespace lydevice::test
{

QString HttpRequest::route() const
{
    if (path == QLatin1String("/sdk.cgi"))
        return value(QStringLiteral("action"));
    if (path == QLatin1String("/dataloader.cgi"))
        return QStringLiteral("dataloader");
    if (!value(QStringLiteral("page")).isEmpty())
        return value(QStringLiteral("page"));
    return query.isEmpty() ? path : query.last().first;
}

QString HttpRequest::value(const QString &key) const
{
    for (const auto &pair : query) {
        if (pair.first == key)
            return pair.second;
    }
    return {};
}

QStringList HttpRequest::keys() const
{
    QStringList result;
    for (const auto &pair : query)
        result << pair.first;
    return result;
}

QString P2pRequest::route() const
{
    return (recorder ? QStringLiteral("nvr:") : QStringLiteral("ipc:")) + QString::number(command);
}

QString SentRequest::route() const
{
    return isHttp ? http.route() : p2p.route();
}

HttpAnswer HttpAnswer::body(const QByteArray &body)
{
    return raw200("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\n\r\n" + body);
}

HttpAnswer HttpAnswer::chunked(const QByteArray &body, int chunkSize)
{
    QByteArray raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
    for (int at = 0; at < body.size(); at += chunkSize) {
        const QByteArray chunk = body.mid(at, chunkSize);
        raw += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
    }
    raw += "0\r\n\r\n";
    return raw200(raw);
}

HttpAnswer HttpAnswer::status(int code, const QByteArray &body)
{
    HttpAnswer answer;
    answer.raw = "HTTP/1.1 " + QByteArray::number(code)
        + " Status\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    return answer;
}

HttpAnswer HttpAnswer::raw200(const QByteArray &rawReply)
{
    HttpAnswer answer;
    answer.raw = rawReply;
    return answer;
}

HttpAnswer HttpAnswer::failure()
{
    HttpAnswer answer;
    answer.ok = false;
    return answer;
}

HttpAnswer HttpAnswer::hold() const
{
    HttpAnswer answer = *this;
    answer.held = true;
    return answer;
}

P2pAnswer P2pAnswer::object(const QJsonObject &reply)
{
    P2pAnswer answer;
    answer.reply = reply;
    return answer;
}

P2pAnswer P2pAnswer::failure()
{
    P2pAnswer answer;
    answer.ok = false;
    return answer;
}

P2pAnswer P2pAnswer::hold() const
{
    P2pAnswer answer = *this;
    answer.held = true;
    return answer;
}

QByteArray kv(const QList<QPair<QString, QVariant>> &pairs)
{
    QByteArray text;
    for (const auto &pair : pairs)
        text += pair.first.toUtf8() + '=' + pair.second.toString().toUtf8() + "\r\n";
    return text;
}

QByteArray kv(std::initializer_list<std::pair<QString, QVariant>> pairs)
{
    QList<QPair<QString, QVariant>> list;
    for (const auto &pair : pairs)
        list.append({ pair.first, pair.second });
    return kv(list);
}

QByteArray okLines(std::initializer_list<std::pair<QString, QVariant>> pairs)
{
    QByteArray text;
    for (const auto &pair : pairs)
        text += "OK " + pair.first.toUtf8() + '=' + pair.second.toString().toUtf8() + "\r\n";
    return text;
}

FakeDevice &FakeDevice::instance()
{
    static FakeDevice device;
    return device;
}

void FakeDevice::reset()
{
    ++generation; // answers still scheduled for the previous test are dropped
    scheduled = 0;
    log.clear();
    httpScript.clear();
    p2pScript.clear();
    httpHandler = nullptr;
    p2pHandler = nullptr;
    heldAnswers.clear();
}

void FakeDevice::http(const QString &route, const HttpAnswer &answer)
{
    httpScript[route].enqueue(answer);
}

void FakeDevice::p2p(const QString &route, const P2pAnswer &answer)
{
    p2pScript[route].enqueue(answer);
}

void FakeDevice::p2p(NVRCommand command, const P2pAnswer &answer)
{
    p2p(QStringLiteral("nvr:") + QString::number(int(command)), answer);
}

void FakeDevice::p2p(IPCCommand command, const P2pAnswer &answer)
{
    p2p(QStringLiteral("ipc:") + QString::number(int(command)), answer);
}

void FakeDevice::setHttpHandler(std::function<std::optional<HttpAnswer>(const HttpRequest &)> handler)
{
    httpHandler = std::move(handler);
}

void FakeDevice::setP2pHandler(std::function<std::optional<P2pAnswer>(const P2pRequest &)> handler)
{
    p2pHandler = std::move(handler);
}

const QVector<SentRequest> &FakeDevice::sent() const
{
    return log;
}

QVector<HttpRequest> FakeDevice::httpRequests() const
{
    QVector<HttpRequest> result;
    for (const SentRequest &request : log) {
        if (request.isHttp)
            result << request.http;
    }
    return result;
}

QVector<P2pRequest> FakeDevice::p2pRequests() const
{
    QVector<P2pRequest> result;
    for (const SentRequest &request : log) {
        if (!request.isHttp)
            result << request.p2p;
    }
    return result;
}

QStringList FakeDevice::routes() const
{
    QStringList result;
    for (const SentRequest &request : log)
        result << request.route();
    return result;
}

QVector<HttpRequest> FakeDevice::httpRequests(const QString &route) const
{
    QVector<HttpRequest> result;
    for (const HttpRequest &request : httpRequests()) {
        if (request.route() == route)
            result << request;
    }
    return result;
}

QVector<P2pRequest> FakeDevice::p2pRequests(const QString &route) const
{
    QVector<P2pRequest> result;
    for (const P2pRequest &request : p2pRequests()) {
        if (request.route() == route)
            result << request;
    }
    return result;
}

int FakeDevice::pending() const
{
    return scheduled;
}

int FakeDevice::heldCount() const
{
    return heldAnswers.size();
}

void FakeDevice::releaseHeld()
{
    const auto held = std::exchange(heldAnswers, {});
    for (const auto &answer : held)
        schedule(answer);
}

bool FakeDevice::waitIdle(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (scheduled > 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // One more turn for work that the last answers queued.
    QCoreApplication::processEvents();
    return scheduled == 0;
}

void FakeDevice::schedule(std::function<void()> answer)
{
    ++scheduled;
    const quint64 scheduledIn = generation;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, answer = std::move(answer), scheduledIn]() {
            if (scheduledIn != generation)
                return;
            --scheduled;
            answer();
        },
        Qt::QueuedConnection);
}

void FakeDevice::enqueue(quint64 target, const QVector<TCPCommandDescriptor> &commands, TCPCommandCallback callback)
{
    SentRequest sentRequest;
    sentRequest.isHttp = true;
    sentRequest.http.target = target;
    if (!commands.isEmpty()) {
        sentRequest.http.path = commands.first().path;
        sentRequest.http.query = commands.first().query;
    }
    log << sentRequest;

    std::optional<HttpAnswer> answer;
    auto &queue = httpScript[sentRequest.http.route()];
    if (!queue.isEmpty())
        answer = queue.dequeue();
    else if (httpHandler)
        answer = httpHandler(sentRequest.http);
    const HttpAnswer reply = answer.value_or(HttpAnswer::failure());
    const quint64 commandId = ++lastCommandId;
    auto deliver = [callback = std::move(callback), reply, commandId]() {
        if (callback)
            callback(reply.ok, commandId, reply.ok ? QVector<QByteArray> { reply.raw } : QVector<QByteArray> {});
    };
    if (reply.held)
        heldAnswers << deliver;
    else
        schedule(deliver);
}

void FakeDevice::send(
    int handle, bool recorder, int command, const QJsonObject &request, P2PCommandCallback callback, int timeout)
{
    SentRequest sentRequest;
    sentRequest.isHttp = false;
    sentRequest.p2p = { handle, recorder, command, request, timeout };
    log << sentRequest;

    std::optional<P2pAnswer> answer;
    auto &queue = p2pScript[sentRequest.p2p.route()];
    if (!queue.isEmpty())
        answer = queue.dequeue();
    else if (p2pHandler)
        answer = p2pHandler(sentRequest.p2p);
    const P2pAnswer reply = answer.value_or(P2pAnswer::failure());
    auto deliver = [callback = std::move(callback), reply]() {
        if (callback)
            callback(reply.ok, reply.ok ? reply.reply : QJsonObject());
    };
    if (reply.held)
        heldAnswers << deliver;
    else
        schedule(deliver);
}

} // namespace lydevice::test

quint64 tcp_scheduler_enqueue_command(
    quint64 target, QVector<TCPCommandDescriptor> commands, TCPCommandCallback &&callback)
{
    lydevice::test::FakeDevice::instance().enqueue(target, commands, std::move(callback));
    return 0;
}

void lyp2psdk_send_command(
    int handle, IPCCommand command, QJsonObject request, P2PCommandCallback &&callback, int timeout)
{
    lydevice::test::FakeDevice::instance().send(handle, false, int(command), request, std::move(callback), timeout);
}

void lyp2psdk_send_command(
    int handle, NVRCommand command, QJsonObject request, P2PCommandCallback &&callback, int timeout)
{
    lydevice::test::FakeDevice::instance().send(handle, true, int(command), request, std::move(callback), timeout);
}
