// lydevice: finds and fetches recorded video and pictures on recorders and cameras from the
// command line; by default on a simulated device started in-process.

#include "CommandLine.h"
#include "Console.h"
#include "ToolSession.h"

#include <lydevice/lydevice.h>

#include <QGuiApplication>

int main(int argc, char *argv[])
{
    // Drawing the timeline needs a font database, hence a GUI application; it never shows a
    // window, so it needs no display either.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Quiet until --verbose is known: the platform's start-up notes are no business of the user.
    Console::showLogMessages(false);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lydevice"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LYDEVICE_TOOL_VERSION));

    Console console;
    const CommandLine::Result parsed = CommandLine().parse(QCoreApplication::arguments());
    if (parsed.kind == CommandLine::Result::Help) {
        console.out() << parsed.text;
        return 0;
    }
    if (parsed.kind == CommandLine::Result::Error) {
        console.errorText(parsed.text);
        return 2;
    }
    Console::showLogMessages(parsed.options.verbose);

    // The library's manager belongs to this, the main thread; every callback arrives here.
    lydevice::init();
    ToolSession session(parsed.options, console);
    const int exitCode = session.exec();
    lydevice::cleanup();
    return exitCode;
}
