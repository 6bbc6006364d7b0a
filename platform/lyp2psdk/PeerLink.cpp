#include "PeerLink.h"

#include "P2pFrame.h"
#include "lyp2psdk.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <algorithm>

namespace lyp2psdk
{

namespace
{

    Q_LOGGING_CATEGORY(lcLink, "lyp2psdk.link")

    QString secondsText(int ms)
    {
        return QString::number(ms / 1000.0);
    }

} // namespace

PeerLink::PeerLink(const QString &host, quint16 port)
    : host_(host)
    , port_(port)
    , address_(QStringLiteral("%1:%2")
                   .arg(host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host)
                   .arg(port))
{
    deadlineTimer_.setSingleShot(true);
    connect(&deadlineTimer_, &QTimer::timeout, this, &PeerLink::onDeadline);
}

PeerLink::~PeerLink()
{
    if (socket_)
        socket_->disconnect(this);
    for (auto &entry : outstanding_)
        answerLater(std::move(entry.second.callback), false);
}

void PeerLink::answerLater(P2PCommandCallback callback, bool ok, QJsonObject reply)
{
    // Without an application no event loop will ever run the callback: drop it.
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || !callback)
        return;
    QMetaObject::invokeMethod(
        app,
        [callback = std::move(callback), ok, reply = std::move(reply)]() { callback(ok, reply); },
        Qt::QueuedConnection);
}

void PeerLink::send(quint64 id, QByteArray frame, P2PCommandCallback callback, int timeoutMs)
{
    Outstanding command { std::move(callback), QDeadlineTimer(timeoutMs), timeoutMs, {} };
    if (!connected_)
        command.unsentFrame = frame;
    outstanding_.emplace(id, std::move(command));
    armDeadlineTimer();
    if (connected_) {
        if (socket_->write(frame) != frame.size())
            failAll(QStringLiteral("link to %1 lost (%2)").arg(address_, socket_->errorString()));
    } else if (!socket_) {
        connectSocket();
    }
}

void PeerLink::refuse(P2PCommandCallback callback, const QString &error)
{
    recordError(error);
    answerLater(std::move(callback), false);
}

QString PeerLink::lastError() const
{
    return lastError_;
}

void PeerLink::recordError(const QString &error)
{
    lastError_ = error;
    qCWarning(lcLink).noquote() << error;
}

void PeerLink::connectSocket()
{
    socket_ = new QTcpSocket(this);
    // Devices sit on the local network: an application-wide proxy is not meant for them.
    socket_->setProxy(QNetworkProxy::NoProxy);
    connect(socket_, &QTcpSocket::connected, this, &PeerLink::onConnected);
    connect(socket_, &QTcpSocket::readyRead, this, &PeerLink::onReadyRead);
    connect(socket_, &QTcpSocket::disconnected, this, [this]() { onClosed(QAbstractSocket::RemoteHostClosedError); });
    connect(socket_, &QAbstractSocket::errorOccurred, this, &PeerLink::onClosed);
    // Last statement: connected() or errorOccurred() may be emitted from inside this call.
    socket_->connectToHost(host_, port_);
}

void PeerLink::onConnected()
{
    connected_ = true;
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // Frames go out in the order the commands were sent, which is the order of their ids.
    for (auto &entry : outstanding_) {
        QByteArray &frame = entry.second.unsentFrame;
        if (frame.isEmpty())
            continue;
        if (socket_->write(frame) != frame.size()) {
            failAll(QStringLiteral("link to %1 lost (%2)").arg(address_, socket_->errorString()));
            return;
        }
        frame.clear();
    }
}

void PeerLink::onReadyRead()
{
    buffer_ += socket_->readAll();
    int start = 0;
    for (;;) {
        const int newline = buffer_.indexOf('\n', std::max(start, scanned_));
        if (newline < 0)
            break;
        if (newline - start > LyP2pSdkMaxLineSize) {
            failAll(lineTooLong());
            return;
        }
        const QByteArray line = buffer_.mid(start, newline - start);
        start = newline + 1;
        if (!handleLine(line))
            return; // the link was dropped with everything on it
    }
    buffer_.remove(0, start);
    scanned_ = buffer_.size();
    if (buffer_.size() > LyP2pSdkMaxLineSize)
        failAll(lineTooLong());
}

QString PeerLink::lineTooLong() const
{
    return QStringLiteral("reply line too long from %1 (over %2 MiB)").arg(address_).arg(LyP2pSdkMaxLineSize >> 20);
}

void PeerLink::onClosed(QAbstractSocket::SocketError error)
{
    if (!connected_) {
        if (error == QAbstractSocket::ConnectionRefusedError)
            failAll(QStringLiteral("connection refused by %1").arg(address_));
        else if (error == QAbstractSocket::HostNotFoundError)
            failAll(QStringLiteral("host %1 not found").arg(host_));
        else
            failAll(QStringLiteral("cannot connect to %1 (%2)").arg(address_, socket_->errorString()));
        return;
    }
    // Replies that came with the close still count.
    const QString reason = socket_->errorString();
    if (socket_->bytesAvailable() > 0)
        onReadyRead();
    failAll(error == QAbstractSocket::RemoteHostClosedError
            ? QStringLiteral("link closed by %1").arg(address_)
            : QStringLiteral("link to %1 lost (%2)").arg(address_, reason));
}

bool PeerLink::handleLine(const QByteArray &line)
{
    if (line.trimmed().isEmpty())
        return true;
    const ReplyFrame frame = decodeReplyFrame(line);
    switch (frame.kind) {
    case ReplyFrame::Kind::NotJson:
        // Nothing after this can be trusted to start on a frame boundary.
        failAll(QStringLiteral("malformed reply line from %1").arg(address_));
        return false;
    case ReplyFrame::Kind::RepeatedKey:
        // Refused unread, so it cannot be matched to its command; a device that sends such frames
        // is treated like one that sends garbage rather than left to run every command into its
        // timeout.
        failAll(QStringLiteral("reply line with a repeated key from %1").arg(address_));
        return false;
    case ReplyFrame::Kind::NoId:
        return true;
    case ReplyFrame::Kind::Reply:
    case ReplyFrame::Kind::BadReply:
        break;
    }
    // An unknown id is a reply that came after its command timed out: nobody waits for it.
    const auto it = outstanding_.find(frame.id);
    if (it == outstanding_.end())
        return true;
    P2PCommandCallback callback = std::move(it->second.callback);
    outstanding_.erase(it);
    if (frame.kind == ReplyFrame::Kind::Reply)
        lastError_.clear();
    else
        recordError(QStringLiteral("reply from %1 without a reply object").arg(address_));
    answerLater(std::move(callback), frame.kind == ReplyFrame::Kind::Reply, frame.reply);
    return true;
}

void PeerLink::onDeadline()
{
    for (auto it = outstanding_.begin(); it != outstanding_.end();) {
        if (it->second.deadline.hasExpired()) {
            recordError(connected_
                    ? QStringLiteral("no reply within %1 s from %2").arg(secondsText(it->second.timeoutMs), address_)
                    : QStringLiteral("no answer within %1 s from %2 while connecting")
                          .arg(secondsText(it->second.timeoutMs), address_));
            answerLater(std::move(it->second.callback), false);
            it = outstanding_.erase(it);
        } else {
            ++it;
        }
    }
    // A connection attempt nobody waits for any more is given up; the next command starts anew.
    if (outstanding_.empty() && socket_ && !connected_)
        dropSocket();
    armDeadlineTimer();
}

void PeerLink::armDeadlineTimer()
{
    if (outstanding_.empty()) {
        deadlineTimer_.stop();
        return;
    }
    qint64 soonest = outstanding_.begin()->second.deadline.remainingTime();
    for (const auto &entry : outstanding_)
        soonest = std::min(soonest, entry.second.deadline.remainingTime());
    deadlineTimer_.start(static_cast<int>(std::max<qint64>(soonest, 0)));
}

void PeerLink::failAll(const QString &error)
{
    if (!outstanding_.empty())
        recordError(error);
    dropSocket();
    deadlineTimer_.stop();
    std::map<quint64, Outstanding> failed;
    failed.swap(outstanding_);
    for (auto &entry : failed)
        answerLater(std::move(entry.second.callback), false);
}

void PeerLink::dropSocket()
{
    buffer_.clear();
    scanned_ = 0;
    connected_ = false;
    if (!socket_)
        return;
    QTcpSocket *socket = socket_;
    socket_ = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

} // namespace lyp2psdk
