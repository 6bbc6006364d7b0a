#pragma once

// Reply handlers of operations and readers are member functions bound with a guarded pointer to
// their worker (and, for page requests, the page number). A worker may be destroyed while its
// request is outstanding; the guard is checked before anything of the worker is touched, so a
// late reply is dropped (or handed to `whenGone`, which must not touch the worker).

#include <transport/p2p_sdk.h>
#include <transport/tcp_scheduler.h>

#include <QPointer>

#include <functional>

namespace lydevice
{

using HttpGoneHandler = std::function<void(bool ok, const QVector<QByteArray> &replies)>;
using P2pGoneHandler = std::function<void(bool ok, const QJsonObject &reply)>;

template <typename Worker>
TCPCommandCallback bindHttpReply(
    Worker *worker, void (Worker::*handler)(bool, const QVector<QByteArray> &), HttpGoneHandler whenGone = {})
{
    return [guard = QPointer<Worker>(worker), handler, whenGone = std::move(whenGone)](
               bool ok, quint64, QVector<QByteArray> replies) {
        if (!guard) {
            if (whenGone)
                whenGone(ok, replies);
            return;
        }
        (guard.data()->*handler)(ok, replies);
    };
}

template <typename Worker>
TCPCommandCallback bindHttpReply(
    Worker *worker, void (Worker::*handler)(int, bool, const QVector<QByteArray> &), int value)
{
    return [guard = QPointer<Worker>(worker), handler, value](bool ok, quint64, QVector<QByteArray> replies) {
        if (guard)
            (guard.data()->*handler)(value, ok, replies);
    };
}

template <typename Worker>
P2PCommandCallback bindP2pReply(
    Worker *worker, void (Worker::*handler)(bool, const QJsonObject &), P2pGoneHandler whenGone = {})
{
    return [guard = QPointer<Worker>(worker), handler, whenGone = std::move(whenGone)](bool ok, QJsonObject reply) {
        if (!guard) {
            if (whenGone)
                whenGone(ok, reply);
            return;
        }
        (guard.data()->*handler)(ok, reply);
    };
}

template <typename Worker>
P2PCommandCallback bindP2pReply(Worker *worker, void (Worker::*handler)(int, bool, const QJsonObject &), int value)
{
    return [guard = QPointer<Worker>(worker), handler, value](bool ok, QJsonObject reply) {
        if (guard)
            (guard.data()->*handler)(value, ok, reply);
    };
}

} // namespace lydevice
