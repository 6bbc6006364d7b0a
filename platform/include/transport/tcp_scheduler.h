#pragma once

// Interface of the TCP command scheduler of the LyIO library, as LyDevice uses it. The scheduler
// turns each descriptor into one HTTP request to the device behind `target` and hands the raw
// reply back.

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>

#include <functional>

struct TCPCommandDescriptor {
    qint32 priority = 0; // scheduling priority; 0 is normal
    qint32 retries = 3; // resends after a transport failure; LyDevice always asks for none
    QString path; // "/sdk.cgi", "/vb.htm" or "/dataloader.cgi"
    QString method; // empty for GET
    QString contentType; // of `body`, when there is one
    QString fragment; // unused by LyDevice
    QVector<QPair<QString, QString>> query; // in sending order, values in final form
    qint32 connectTimeout = 3; // seconds
    QByteArray body; // request body, empty for GET
    qint32 replyTimeout = -1; // seconds for the whole reply; -1 takes the scheduler's default
    qint32 flags = 0; // reserved
    std::function<void(qint64 received, qint64 total)> progress; // optional, unused by LyDevice
    std::function<void(quint64 commandId)> started; // optional, unused by LyDevice
    QVector<QString> headers; // extra header lines "Name: value"
};

// ok true: replies holds one byte array, the complete reply (status line, headers, empty line,
// body; a chunked body still chunked). ok false: nothing to read. Called once, later, in the
// main thread.
using TCPCommandCallback = std::function<void(bool ok, quint64 commandId, QVector<QByteArray> replies)>;

quint64 tcp_scheduler_enqueue_command(
    quint64 target, QVector<TCPCommandDescriptor> commands, TCPCommandCallback &&callback);
