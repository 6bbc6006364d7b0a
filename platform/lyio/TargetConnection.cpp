#include "TargetConnection.h"

#include "HttpRequest.h"
#include "TcpScheduler.h"
#include "lyio.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace lyio
{

namespace
{

    Q_LOGGING_CATEGORY(lcTransport, "lyio.transport")

    // Hands `bytes` straight to the socket's descriptor when QTcpSocket holds nothing unsent, and
    // returns how many the kernel took. QTcpSocket::write() would switch the socket's write
    // notifier on and off for every request, and the GLib event dispatcher, Qt's default on
    // Linux, walks the list of every socket of the thread to do so: with 2,000 busy targets that
    // was the largest cost of a request. A request fits the socket's send buffer; what the kernel
    // does not take, and any error, is left to QTcpSocket.
    qint64 sendDirectly(QTcpSocket *socket, const QByteArray &bytes)
    {
#if defined(Q_OS_UNIX) && defined(MSG_NOSIGNAL)
        if (socket->bytesToWrite() > 0)
            return 0;
        const ssize_t sent = ::send(static_cast<int>(socket->socketDescriptor()),
            bytes.constData(),
            static_cast<size_t>(bytes.size()),
            MSG_NOSIGNAL);
        return sent > 0 ? sent : 0;
#else
        Q_UNUSED(socket)
        Q_UNUSED(bytes)
        return 0;
#endif
    }

    // Descriptor timeouts are seconds; zero or less takes the default. A day is more than any
    // device needs and keeps the milliseconds inside int.
    int timeoutMs(qint32 seconds, int defaultMs)
    {
        if (seconds <= 0)
            return defaultMs;
        return std::min(seconds, 24 * 3600) * 1000;
    }

    QString secondsText(int ms)
    {
        return QString::number(ms / 1000.0);
    }

    QString addressText(const QString &host, quint16 port)
    {
        return QStringLiteral("%1:%2")
            .arg(host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host)
            .arg(port);
    }

    // What a complete reply with a status outside 2xx says; empty for 2xx. The reason phrase is
    // the device's, cut to printable ASCII.
    QString statusError(int status, const QByteArray &reason, const QString &address)
    {
        if (status >= 200 && status < 300)
            return {};
        if (status == 401)
            return QStringLiteral("credentials refused (HTTP 401) by %1").arg(address);
        QByteArray phrase = reason.left(60);
        std::replace_if(
            phrase.begin(), phrase.end(), [](char c) { return c < ' ' || c > '~'; }, '?');
        phrase = phrase.trimmed();
        if (phrase.isEmpty())
            return QStringLiteral("HTTP status %1 from %2").arg(status).arg(address);
        return QStringLiteral("HTTP status %1 (%2) from %3").arg(status).arg(QString::fromLatin1(phrase), address);
    }

} // namespace

TargetConnection::TargetConnection(
    TimeoutQueue &timeouts, const QString &host, quint16 port, const QString &user, const QString &password)
    : host_(host)
    , port_(port)
    , address_(addressText(host, port))
    , hostHeader_(hostHeaderValue(host, port))
    , authorization_(basicAuthorization(user, password))
    , framer_(TcpSchedulerMaxReplySize)
    , timeout_(timeouts, [this]() { onTimeout(); })
{
}

TargetConnection::~TargetConnection()
{
    if (socket_)
        socket_->disconnect(this);
    if (current_)
        answerLater(std::move(*current_), false);
    for (Command &command : queue_)
        answerLater(std::move(command), false);
}

void TargetConnection::answerLater(Command command, bool ok, QVector<QByteArray> replies)
{
    // Without an application no event loop will ever run the callback: drop it.
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || !command.callback)
        return;
    QMetaObject::invokeMethod(
        app,
        [callback = std::move(command.callback), id = command.id, ok, replies = std::move(replies)]() {
            callback(ok, id, replies);
        },
        Qt::QueuedConnection);
}

void TargetConnection::enqueue(Command command)
{
    queue_.push_back(std::move(command));
    scheduleNext();
}

QString TargetConnection::lastError() const
{
    return lastError_;
}

// The next command starts from the event loop, never from inside an enqueueing call or after a
// failure: a connection attempt that fails at once then cannot recurse through the queue.
void TargetConnection::scheduleNext()
{
    if (nextScheduled_)
        return;
    nextScheduled_ = true;
    QMetaObject::invokeMethod(
        this,
        [this]() {
            nextScheduled_ = false;
            startNext();
        },
        Qt::QueuedConnection);
}

void TargetConnection::startNext()
{
    if (current_ || queue_.empty())
        return;
    current_ = std::move(queue_.front());
    queue_.pop_front();
    descriptorIndex_ = 0;
    replies_.clear();
    commandError_.clear();
    if (current_->descriptors.isEmpty()) {
        failCurrent(QStringLiteral("command for %1 without a request").arg(address_));
        return;
    }
    sendRequest();
}

const TCPCommandDescriptor &TargetConnection::currentDescriptor() const
{
    return current_->descriptors.at(descriptorIndex_);
}

void TargetConnection::sendRequest()
{
    request_ = buildRequest(currentDescriptor(), hostHeader_, authorization_);
    resent_ = false;
    framer_.reset();
    if (socket_ && socketReusable_ && socket_->state() == QAbstractSocket::ConnectedState) {
        onKeptAliveConnection_ = true;
        state_ = State::AwaitingReply;
        writeRequest();
    } else {
        onKeptAliveConnection_ = false;
        connectSocket();
    }
}

void TargetConnection::connectSocket()
{
    dropSocket();
    state_ = State::Connecting;
    socket_ = new QTcpSocket(this);
    // Devices sit on the local network: an application-wide proxy is not meant for them.
    socket_->setProxy(QNetworkProxy::NoProxy);
    connect(socket_, &QTcpSocket::connected, this, &TargetConnection::onConnected);
    connect(socket_, &QTcpSocket::readyRead, this, &TargetConnection::onReadyRead);
    connect(socket_, &QTcpSocket::disconnected, this, [this]() { onClosed(QAbstractSocket::RemoteHostClosedError); });
    connect(socket_, &QAbstractSocket::errorOccurred, this, &TargetConnection::onClosed);
    timeoutMs_ = timeoutMs(currentDescriptor().connectTimeout, TcpScheduler::defaultConnectTimeoutMs());
    timeout_.start(timeoutMs_);
    // Last statement: connected() or errorOccurred() may be emitted from inside this call.
    socket_->connectToHost(host_, port_);
}

void TargetConnection::onConnected()
{
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    state_ = State::AwaitingReply;
    writeRequest();
}

void TargetConnection::writeRequest()
{
    timeoutMs_ = timeoutMs(currentDescriptor().replyTimeout, TcpScheduler::defaultReplyTimeoutMs());
    timeout_.start(timeoutMs_);
    // On the wire now rather than when the event loop next serves the socket, which would be after
    // the answers queued before it.
    const qint64 sent = sendDirectly(socket_, request_);
    if (sent == request_.size())
        return;
    const QByteArray rest = request_.mid(static_cast<int>(sent));
    if (socket_->write(rest) != rest.size()) {
        onClosed(socket_->error());
        return;
    }
    // Last statement: a failure closes the connection from inside.
    socket_->flush();
}

void TargetConnection::onReadyRead()
{
    const QByteArray bytes = socket_->readAll();
    if (state_ != State::AwaitingReply) {
        // Bytes nobody asked for cannot belong to the next reply: start that one afresh.
        dropSocket();
        return;
    }
    handleFramerStatus(framer_.feed(bytes));
}

void TargetConnection::onClosed(QAbstractSocket::SocketError error)
{
    if (state_ == State::Idle) {
        dropSocket();
        return;
    }
    if (state_ == State::Connecting) {
        if (error == QAbstractSocket::ConnectionRefusedError)
            failCurrent(QStringLiteral("connection refused by %1").arg(address_));
        else if (error == QAbstractSocket::HostNotFoundError)
            failCurrent(QStringLiteral("host %1 not found").arg(host_));
        else
            failCurrent(QStringLiteral("cannot connect to %1 (%2)").arg(address_, socket_->errorString()));
        return;
    }
    const bool clean = error == QAbstractSocket::RemoteHostClosedError;
    const QString reason = socket_->errorString();
    const QByteArray rest = socket_->readAll();
    dropSocket();
    HttpReplyFramer::Status status = rest.isEmpty() ? HttpReplyFramer::Status::Incomplete : framer_.feed(rest);
    if (status == HttpReplyFramer::Status::Incomplete) {
        if (!framer_.hasBytes() && onKeptAliveConnection_ && !resent_) {
            // The device closed the kept-alive connection without a byte of the reply: as a rule it
            // closed it for idleness as the request went out, without reading the request, which
            // therefore goes once more on a new connection. Only once, and never after a reply
            // byte or on a connection opened for the request: there the device may have acted.
            resent_ = true;
            onKeptAliveConnection_ = false;
            connectSocket();
            return;
        }
        if (!clean) {
            failCurrent(QStringLiteral("connection to %1 broken (%2)").arg(address_, reason));
            return;
        }
        status = framer_.finish();
        if (status == HttpReplyFramer::Status::Malformed) {
            failCurrent(framer_.hasBytes()
                    ? QStringLiteral("connection closed by %1 before the reply ended").arg(address_)
                    : QStringLiteral("connection closed by %1 without a reply").arg(address_));
            return;
        }
    }
    handleFramerStatus(status);
}

void TargetConnection::onTimeout()
{
    if (state_ == State::Connecting)
        failCurrent(
            QStringLiteral("no answer within %1 s from %2 while connecting").arg(secondsText(timeoutMs_), address_));
    else if (framer_.hasBytes())
        failCurrent(QStringLiteral("reply from %1 not complete within %2 s").arg(address_, secondsText(timeoutMs_)));
    else
        failCurrent(QStringLiteral("no reply within %1 s from %2").arg(secondsText(timeoutMs_), address_));
}

void TargetConnection::handleFramerStatus(HttpReplyFramer::Status status)
{
    switch (status) {
    case HttpReplyFramer::Status::Incomplete:
        return;
    case HttpReplyFramer::Status::Complete:
        requestDone();
        return;
    case HttpReplyFramer::Status::Malformed:
        failCurrent(QStringLiteral("malformed reply from %1").arg(address_));
        return;
    case HttpReplyFramer::Status::TooLarge:
        failCurrent(QStringLiteral("reply too large from %1 (over %2 MiB, or a head over %3 KiB)")
                        .arg(address_)
                        .arg(TcpSchedulerMaxReplySize >> 20)
                        .arg(HttpReplyFramer::MaxHeadSize >> 10));
        return;
    }
}

void TargetConnection::requestDone()
{
    timeout_.stop();
    // Bytes past the end of the reply would be taken for the next one: such a connection goes.
    socketReusable_ = framer_.keepAlive() && !framer_.hasExcess();
    // The reply goes to the caller, who decides what a status means; the first one outside 2xx
    // is still the reason a command went wrong as far as the transport can tell.
    const QString status = statusError(framer_.statusCode(), framer_.reasonPhrase(), address_);
    if (!status.isEmpty() && commandError_.isEmpty())
        recordError(status);
    replies_.append(framer_.takeReply());
    if (!socketReusable_)
        dropSocket();
    state_ = State::Idle;
    if (++descriptorIndex_ < current_->descriptors.size()) {
        sendRequest();
        return;
    }
    finishCurrent(true);
}

void TargetConnection::failCurrent(const QString &error)
{
    // Whatever is half read on the connection must not reach the next command.
    dropSocket();
    if (current_) {
        recordError(error);
        finishCurrent(false);
    }
    state_ = State::Idle;
}

void TargetConnection::recordError(const QString &error)
{
    commandError_ = error;
    qCWarning(lcTransport).noquote() << error;
}

void TargetConnection::finishCurrent(bool ok)
{
    timeout_.stop();
    state_ = State::Idle;
    Command command = std::move(*current_);
    current_.reset();
    // Before the answer is queued: a caller that asks why from its callback reads this command's.
    lastError_ = std::move(commandError_);
    commandError_.clear();
    // Answered first, so that answers keep the order of the commands even when the next one
    // fails at once.
    answerLater(std::move(command), ok, ok ? std::move(replies_) : QVector<QByteArray>());
    replies_.clear();
    if (!ok) {
        scheduleNext();
        return;
    }
    // The next request goes out now: the device works on it while the client, from the event
    // loop, takes the answer just queued. Should it fail at once, it is answered and its
    // successor scheduled; nothing recurses further.
    startNext();
}

void TargetConnection::dropSocket()
{
    if (!socket_)
        return;
    QTcpSocket *socket = socket_;
    socket_ = nullptr;
    socketReusable_ = false;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

} // namespace lyio
