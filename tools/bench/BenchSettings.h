#pragma once

#include "SimulatorOptions.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QVector>

// What lydevice-bench is asked to do, from its command line.
struct BenchSettings {
    int records = 100000;
    int channels = 50;
    int runs = 5;
    bool inProcess = false;
    bool chunked = false;
    QString simulatorProgram;
    // The whole comparison by default; or one of these modes.
    bool callgrind = false;
    QVector<int> devices;
    // In a child process: run one client ("floor" or "lydevice") against the device at `port`;
    // `collect` tells callgrind to count only the measured searches.
    QString client;
    quint16 port = 0;
    bool collect = false;
};

bool readSettings(const QCoreApplication &app, BenchSettings *settings, QString *error);
// The arguments a child process gets to run `client` as these settings say.
QStringList clientArguments(const BenchSettings &settings, const QString &client, quint16 port);

// The simulated recorder: every record is a motion record, so that the event search for record
// type "all" finds them all; `records` of them spread over the channels.
lydevice::sim::SimulatorOptions simulatorOptions(const BenchSettings &settings);
QStringList simulatorArguments(const lydevice::sim::SimulatorOptions &options);
