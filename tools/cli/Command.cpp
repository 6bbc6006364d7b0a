#include "Command.h"

#include "Console.h"
#include "DeviceEndpoint.h"
#include "EntryFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

namespace
{

QString typeText(ToolCommand command, int type)
{
    const QStringList names
        = entryformat::typeNames(command == ToolCommand::SearchVideo || command == ToolCommand::ReadVideo);
    if (type >= 0 && type < names.size())
        return QStringLiteral("%1 (%2)").arg(names.at(type)).arg(type);
    return QString::number(type);
}

} // namespace

Command::Command(const ToolOptions &options, Console &console, const DeviceEndpoint &endpoint)
    : options(options)
    , console(console)
    , endpoint(endpoint)
{
    clock.start();
}

Command::~Command() = default;

bool Command::isFinished() const
{
    return done;
}

QString Command::waitingFor() const
{
    return waiting;
}

void Command::succeed()
{
    finish(0);
}

void Command::fail(const QString &message)
{
    if (done)
        return;
    console.error(QStringLiteral("%1: %2").arg(options.commandName, message));
    finish(1);
}

void Command::failCall(const QString &failure, const QString &answered)
{
    if (done)
        return;
    const QString cause = endpoint.transportError();
    fail(QStringLiteral("%1: %2").arg(failure, cause.isEmpty() ? answered : cause));
    // How the HTTP scheduler words a 401 (lyio.h).
    if (!cause.startsWith(QLatin1String("credentials refused")))
        return;
    console.error(options.user.isEmpty()
            ? QStringLiteral("the device wants credentials; give --user and --password")
            : QStringLiteral("the device refused the credentials; check --user and --password"));
}

void Command::finish(int exitCode)
{
    if (done)
        return;
    done = true;
    console.out().flush();
    emit finished(exitCode);
}

void Command::setWaitingFor(const QString &call)
{
    waiting = call;
}

qint64 Command::elapsedMs() const
{
    return clock.elapsed();
}

QString Command::requestText() const
{
    QStringList channels;
    for (int channel : options.channels)
        channels.append(QString::number(channel));
    QString text = QStringLiteral("channels %1, type %2")
                       .arg(channels.join(QLatin1Char(',')), typeText(options.command, options.recordType));
    if (options.command == ToolCommand::SearchVideo || options.command == ToolCommand::ReadVideo)
        text += options.stream == 1 ? QStringLiteral(", sub stream") : QStringLiteral(", main stream");
    return text
        + QStringLiteral(", %1 to %2")
              .arg(entryformat::dateTimeText(options.from), entryformat::dateTimeText(options.to));
}

QString Command::titleText() const
{
    return QStringLiteral("%1, %2 %3:%4 (%5): %6")
        .arg(options.commandName,
            options.deviceType == lydevice::DeviceType::IPC ? QStringLiteral("ipc") : QStringLiteral("nvr"),
            endpoint.host())
        .arg(endpoint.port())
        .arg(options.transport == lydevice::TransportType::P2p ? QStringLiteral("p2p") : QStringLiteral("ip"),
            requestText());
}

QJsonObject Command::deviceJson() const
{
    return QJsonObject {
        { QStringLiteral("kind"),
            options.deviceType == lydevice::DeviceType::IPC ? QStringLiteral("ipc") : QStringLiteral("nvr") },
        { QStringLiteral("transport"),
            options.transport == lydevice::TransportType::P2p ? QStringLiteral("p2p") : QStringLiteral("ip") },
        { QStringLiteral("host"), endpoint.host() },
        { QStringLiteral("port"), endpoint.port() },
        { QStringLiteral("builtInSimulator"), endpoint.isBuiltIn() },
    };
}

QJsonObject Command::requestJson() const
{
    QJsonArray channels;
    for (int channel : options.channels)
        channels.append(channel);
    QJsonObject request {
        { QStringLiteral("channels"), channels },
        { QStringLiteral("type"), options.recordType },
        { QStringLiteral("from"), entryformat::dateTimeJson(options.from) },
        { QStringLiteral("to"), entryformat::dateTimeJson(options.to) },
    };
    if (options.command == ToolCommand::SearchVideo || options.command == ToolCommand::ReadVideo)
        request.insert(QStringLiteral("stream"), options.stream);
    return request;
}

void Command::writeJson(const QJsonObject &document, bool oneLine)
{
    QTextStream &out = console.out();
    out << QString::fromUtf8(
        QJsonDocument(document).toJson(oneLine ? QJsonDocument::Compact : QJsonDocument::Indented));
    if (oneLine)
        out << '\n';
    out.flush();
}
