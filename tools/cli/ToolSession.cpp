#include "ToolSession.h"

#include "Command.h"
#include "Console.h"
#include "DeviceSimulator.h"
#include "ReadPictureCommand.h"
#include "ReadPicturePageCommand.h"
#include "ReadVideoCommand.h"
#include "SearchPictureCommand.h"
#include "SearchVideoCommand.h"
#include "SimulateCommand.h"

#include <lydevice/lydevice.h>

#include <QCoreApplication>

namespace
{

// How long the closing requests get after the end of a run. The built-in simulator tells us when
// it holds nothing open any more; a real device cannot, so it gets a short grace period.
constexpr int kBuiltInDrainLimitMs = 2000;
constexpr int kDeviceDrainMs = 500;

} // namespace

ToolSession::ToolSession(const ToolOptions &options, Console &console)
    : options(options)
    , console(console)
    , endpoint(options)
{
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, this, &ToolSession::onTimeout);
    drainLimit.setSingleShot(true);
    connect(&drainLimit, &QTimer::timeout, this, &ToolSession::quit);
    connect(&interrupts, &InterruptWatcher::interrupted, this, &ToolSession::onInterrupted);
}

ToolSession::~ToolSession() = default;

int ToolSession::exec()
{
    QTimer::singleShot(0, this, &ToolSession::start);
    return QCoreApplication::exec();
}

void ToolSession::start()
{
    // Without the handler Ctrl-C still ends the process, only without the cancel.
    interrupts.install();

    QString error;
    if (options.command == ToolCommand::Simulate) {
        simulation = std::make_unique<SimulateCommand>(options, console);
        if (!simulation->start(&error)) {
            console.error(error);
            QCoreApplication::exit(kFailure);
        }
        return;
    }
    if (!endpoint.open(&error)) {
        console.error(QStringLiteral("%1: %2").arg(options.commandName, error));
        QCoreApplication::exit(kFailure);
        return;
    }
    command = makeCommand();
    // Queued: a command may finish inside its start (the library answers some requests at once).
    connect(command.get(), &Command::finished, this, &ToolSession::onFinished, Qt::QueuedConnection);
    if (options.timeoutMs > 0)
        timeout.start(options.timeoutMs);
    command->start();
}

std::unique_ptr<Command> ToolSession::makeCommand()
{
    switch (options.command) {
    case ToolCommand::ReadVideo:
        return std::make_unique<ReadVideoCommand>(options, console, endpoint);
    case ToolCommand::SearchPicture:
        return std::make_unique<SearchPictureCommand>(options, console, endpoint);
    case ToolCommand::ReadPicturePage:
        return std::make_unique<ReadPicturePageCommand>(options, console, endpoint);
    case ToolCommand::ReadPicture:
        return std::make_unique<ReadPictureCommand>(options, console, endpoint);
    case ToolCommand::SearchVideo:
    case ToolCommand::Simulate:
        break;
    }
    return std::make_unique<SearchVideoCommand>(options, console, endpoint);
}

void ToolSession::onFinished(int code)
{
    leave(code);
}

void ToolSession::onTimeout()
{
    if (leaving)
        return;
    const double seconds = options.timeoutMs / 1000.0;
    console.error(QStringLiteral("%1: timed out after %2 s waiting for %3 from %4")
                      .arg(options.commandName)
                      .arg(seconds)
                      .arg(command ? command->waitingFor() : QStringLiteral("the device"), endpoint.description()));
    leave(kFailure);
}

void ToolSession::onInterrupted()
{
    if (leaving) {
        // A second Ctrl-C does not wait for the closing requests.
        exitCode = kInterrupted;
        quit();
        return;
    }
    console.error(QStringLiteral("interrupted"));
    leave(kInterrupted);
}

void ToolSession::leave(int code)
{
    if (leaving)
        return;
    leaving = true;
    exitCode = code;
    timeout.stop();
    if (!command) {
        quit();
        return;
    }
    // Ends every search and reading (their callbacks are not called any more) and closes the
    // playback sessions and picture searches that this run left open on the device.
    lydevice::cancel_all_record_searching();
    if (lydevice::sim::DeviceSimulator *device = endpoint.simulator()) {
        connect(device, &lydevice::sim::DeviceSimulator::requestServed, this, &ToolSession::quitIfDrained);
        drainLimit.start(kBuiltInDrainLimitMs);
        quitIfDrained();
    } else {
        drainLimit.start(kDeviceDrainMs);
    }
}

void ToolSession::quitIfDrained()
{
    if (endpoint.holdsNothingOpen())
        quit();
}

void ToolSession::quit()
{
    if (quitting)
        return;
    quitting = true;
    drainLimit.stop();
    QCoreApplication::exit(exitCode);
}
