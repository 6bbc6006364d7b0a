#include "SimulateCommand.h"

#include "Console.h"
#include "DeviceSimulator.h"

SimulateCommand::SimulateCommand(const ToolOptions &options, Console &console)
    : options(options)
    , console(console)
{
}

SimulateCommand::~SimulateCommand() = default;

bool SimulateCommand::start(QString *error)
{
    device = std::make_unique<lydevice::sim::DeviceSimulator>(options.simulator);
    if (!device->listen(QHostAddress(options.listenAddress), options.port, options.p2pPort)) {
        *error = QStringLiteral("simulate: cannot listen on %1: %2").arg(options.listenAddress, device->errorString());
        return false;
    }
    const bool camera = options.simulator.kind == lydevice::sim::DeviceKind::Camera;
    const QString kind = camera ? QStringLiteral("ipc") : QStringLiteral("nvr");
    QTextStream &out = console.out();
    out << kind << " http " << options.listenAddress << ":" << device->httpPort() << '\n';
    out << kind << " p2p " << options.listenAddress << ":" << device->p2pPort() << '\n';
    out.flush();
    console.errorText(QStringLiteral("Simulating an %1 with content from %2 to %3 (seed %4). Try:\n"
                                     "  lydevice search-video --device %1 --host %5 --port %6\n"
                                     "  lydevice read-video --device %1 --transport p2p --host %5 --port %7\n"
                                     "Ctrl-C stops the simulator.\n")
                          .arg(kind,
                              options.simulator.spanStart.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                              options.simulator.spanStart.addSecs(options.simulator.spanSeconds)
                                  .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                          .arg(options.simulator.seed)
                          .arg(options.listenAddress)
                          .arg(device->httpPort())
                          .arg(device->p2pPort()));
    return true;
}
