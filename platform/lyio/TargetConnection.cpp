#include "TargetConnection.h"

#include "HttpRequest.h"
#include "TcpScheduler.h"
#include "lyio.h"

#include <QCoreApplication>
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

} // namespace

TargetConnection::TargetConnection(
    TimeoutQueue &timeouts, const QString &host, quint16 port, const QString &user, const QString &password)
    : host_(host)
    , port_(port)
    , hostHeader_(hostHeaderValue(host, port))
    , authorization_(basicAuthorization(user, password))
    , framer_(TcpSchedulerMaxReplySize)
    , timeout_(timeouts, [this]() { failCurrent(); })
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
    if (current_->descriptors.isEmpty()) {
        finishCurrent(false);
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
    connect(socket_, &QTcpSocket::disconnected, this, [this]() { onClosed(true); });
    connect(socket_, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        onClosed(error == QAbstractSocket::RemoteHostClosedError);
    });
    timeout_.start(timeoutMs(currentDescriptor().connectTimeout, TcpScheduler::defaultConnectTimeoutMs()));
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
    timeout_.start(timeoutMs(currentDescriptor().replyTimeout, TcpScheduler::defaultReplyTimeoutMs()));
    // On the wire now rather than when the event loop next serves the socket, which would be after
    // the answers queued before it.
    const qint64 sent = sendDirectly(socket_, request_);
    if (sent == request_.size())
        return;
    const QByteArray rest = request_.mid(static_cast<int>(sent));
    if (socket_->write(rest) != rest.size()) {
        onClosed(false);
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

void TargetConnection::onClosed(bool clean)
{
    if (state_ == State::Idle) {
        dropSocket();
        return;
    }
    if (state_ == State::Connecting) {
        failCurrent(); // refused, unreachable or the host name not found
        return;
    }
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
        status = clean ? framer_.finish() : HttpReplyFramer::Status::Malformed;
    }
    handleFramerStatus(status);
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
    case HttpReplyFramer::Status::TooLarge:
        failCurrent();
        return;
    }
}

void TargetConnection::requestDone()
{
    timeout_.stop();
    // Bytes past the end of the reply would be taken for the next one: such a connection goes.
    socketReusable_ = framer_.keepAlive() && !framer_.hasExcess();
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

void TargetConnection::failCurrent()
{
    // Whatever is half read on the connection must not reach the next command.
    dropSocket();
    if (current_)
        finishCurrent(false);
    state_ = State::Idle;
}

void TargetConnection::finishCurrent(bool ok)
{
    timeout_.stop();
    state_ = State::Idle;
    Command command = std::move(*current_);
    current_.reset();
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
