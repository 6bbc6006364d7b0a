// lydevice-hammer: a load and soak tool. Calls every export of LyDevice from many threads at once
// with random arguments against simulated recorders and cameras, and checks what the public
// header promises about the callbacks: each on the main thread, each call answered once (a
// reading until its last delivery), nothing after an end or a cancel, the failure form where a
// call cannot start, and nothing left open on the devices after the final cancel.

#include "Hammer.h"
#include "HammerOptions.h"
#include "LogTally.h"

#include <lydevice/lydevice.h>

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lydevice-hammer"));
    HammerOptions options;
    options.simulatorProgram = QStringLiteral(LYDEVICE_SIMULATOR_PATH);
    QString error;
    bool help = false;
    if (!parseHammerOptions(QCoreApplication::arguments(), &options, &error, &help)) {
        if (help) {
            QTextStream(stdout) << error;
            return 0;
        }
        QTextStream(stderr) << "lydevice-hammer: " << error << "\n";
        return 2;
    }
    LogTally::install(options.verbose);
    lydevice::init();
    Hammer hammer(options);
    return hammer.run();
}
