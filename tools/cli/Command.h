#pragma once

#include "ToolOptions.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>

class Console;
class DeviceEndpoint;

// One subcommand run against a device: it calls the library's exports in the main thread, prints
// what comes back and reports its exit code once through finished(). Callbacks that come after
// the end are ignored.
class Command : public QObject
{
    Q_OBJECT

public:
    Command(const ToolOptions &options, Console &console, const DeviceEndpoint &endpoint);
    ~Command() override;

    virtual void start() = 0;
    bool isFinished() const;
    // The export whose answer the command waits for, named in the timeout message.
    QString waitingFor() const;

signals:
    void finished(int exitCode);

protected:
    void succeed();
    // "lydevice: <command>: <message>" on standard error; exit code 1.
    void fail(const QString &message);
    // A call of the library failed: fail() with "<failure>: <cause>", the cause being the
    // transport's last error for the device or, when the transport saw none, `answered`, what
    // the device's answer may have meant. A refusal of the credentials adds a hint.
    void failCall(const QString &failure, const QString &answered);
    void setWaitingFor(const QString &call);
    qint64 elapsedMs() const;

    // Describing the run, for the header line and the JSON documents.
    QString requestText() const;
    // "search-video, nvr 127.0.0.1:80 (ip): channels 0, ..."
    QString titleText() const;
    QJsonObject deviceJson() const;
    QJsonObject requestJson() const;
    void writeJson(const QJsonObject &document, bool oneLine);

    const ToolOptions options;
    Console &console;
    const DeviceEndpoint &endpoint;

private:
    void finish(int exitCode);

    QElapsedTimer clock;
    QString waiting;
    bool done = false;
};
