#pragma once

#include "DeviceEndpoint.h"
#include "InterruptWatcher.h"
#include "ToolOptions.h"

#include <QObject>
#include <QTimer>

#include <memory>

class Command;
class Console;
class SimulateCommand;

// One run of the tool: opens the device, runs the command, and ends the run exactly once, when
// the command is done, when the timeout expires or on Ctrl-C. Ending cancels everything the
// library still runs and gives the requests that close sessions on the device a moment to go out
// before the process exits.
class ToolSession : public QObject
{
    Q_OBJECT

public:
    ToolSession(const ToolOptions &options, Console &console);
    ~ToolSession() override;

    // Runs the event loop until the run has ended; returns the exit code.
    int exec();

    // Exit codes.
    static constexpr int kSuccess = 0;
    static constexpr int kFailure = 1; // the device failed, or the timeout expired
    static constexpr int kInterrupted = 130; // 128 + SIGINT, as shells report it

private:
    void start();
    std::unique_ptr<Command> makeCommand();
    void onFinished(int exitCode);
    void onTimeout();
    void onInterrupted();
    void leave(int exitCode);
    void quitIfDrained();
    void quit();

    const ToolOptions options;
    Console &console;
    InterruptWatcher interrupts;
    DeviceEndpoint endpoint;
    std::unique_ptr<Command> command;
    std::unique_ptr<SimulateCommand> simulation;
    QTimer timeout;
    QTimer drainLimit;
    bool leaving = false;
    bool quitting = false;
    int exitCode = kSuccess;
};
