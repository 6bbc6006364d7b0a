#include "Console.h"

#include <QtGlobal>

#include <cstdio>
#include <unistd.h>

Console::Console()
    : output(stdout)
    , errors(stderr)
    , terminal(::isatty(STDERR_FILENO) == 1)
{
    // Qt 6 writes UTF-8 anyway; Qt 5 would write the locale's encoding.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    output.setCodec("UTF-8");
    errors.setCodec("UTF-8");
#endif
}

namespace
{

QtMessageHandler defaultHandler = nullptr;
bool quiet = false;

void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if ((type == QtCriticalMsg || type == QtFatalMsg) && defaultHandler)
        defaultHandler(type, context, message);
}

} // namespace

void Console::showLogMessages(bool shown)
{
    if (shown == !quiet)
        return;
    quiet = !shown;
    if (quiet)
        defaultHandler = qInstallMessageHandler(quietHandler);
    else
        qInstallMessageHandler(defaultHandler);
}

QTextStream &Console::out()
{
    // Standard output and error often share the terminal: results do not write over progress.
    clearProgress();
    return output;
}

void Console::error(const QString &message)
{
    clearProgress();
    // Results written so far come first, so that the message follows them in a shared log.
    output.flush();
    errors << "lydevice: " << message << '\n';
    errors.flush();
}

void Console::errorText(const QString &text)
{
    clearProgress();
    output.flush();
    errors << text;
    errors.flush();
}

bool Console::showsProgress() const
{
    return terminal;
}

void Console::progress(const QString &line)
{
    if (!terminal)
        return;
    // Carriage return, the line, then "erase to the end of the line".
    errors << '\r' << line << "\x1b[K";
    errors.flush();
    progressShown = true;
}

void Console::clearProgress()
{
    if (!progressShown)
        return;
    errors << "\r\x1b[K";
    errors.flush();
    progressShown = false;
}
