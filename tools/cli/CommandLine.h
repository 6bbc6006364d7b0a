#pragma once

#include "ToolOptions.h"

#include <QString>
#include <QStringList>

class QCommandLineParser;

// Reads the tool's command line: a subcommand and its options, in the conventions of
// command-line tools (QCommandLineParser, --help for the tool and for each subcommand).
class CommandLine
{
public:
    struct Result {
        enum Kind {
            Run, // `options` holds what to do
            Help, // print `text` on standard output and exit 0
            Error, // print `text` (message and usage) on standard error and exit 2
        };
        Kind kind = Error;
        QString text;
        ToolOptions options;
    };

    // `arguments` as QCoreApplication::arguments() gives them, the program first.
    Result parse(const QStringList &arguments) const;

    // The overview of every subcommand, as `lydevice --help` prints it.
    static QString overview();

private:
    Result parseCommand(const QString &name, const QStringList &arguments) const;
    static bool readDeviceOptions(const QCommandLineParser &parser, ToolOptions *options, QString *error);
    static bool readSearchOptions(const QCommandLineParser &parser, ToolOptions *options, QString *error);
    static bool readReportOptions(const QCommandLineParser &parser, ToolOptions *options, QString *error);
    static bool readSimulateOptions(const QCommandLineParser &parser, ToolOptions *options, QString *error);
};
