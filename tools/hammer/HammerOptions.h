#pragma once

#include <QString>
#include <QStringList>

// What lydevice-hammer is asked to do; see parseHammerOptions() for the command line.
struct HammerOptions {
    int seconds = 20; // of calling; the drain and the final checks come on top
    int threads = 8;
    quint64 seed = 1;
    int devices = 2; // simulated recorders, and as many cameras
    int cancelEvery = 400; // a worker cancels everything once in this many calls, on average
    int maxOpen = 6; // calls of one worker waiting for their answers at once, readings included
    bool faults = true; // arm one-shot faults on the simulators as the calls run (hammer mode)
    int drainSeconds = 30; // longest wait for the answers still owed once the calling stops
    bool soak = false;
    int sampleSeconds = 5; // soak: between two samples of the process
    int warmupSeconds = 60; // soak: samples before this are not compared
    int rssGrowthLimitMb = 16; // soak: largest growth of the resident set allowed after warm-up
    int fdGrowthLimit = 4; // soak: likewise, of open file descriptors
    bool verbose = false; // print the library's log messages instead of counting them
    QString simulatorProgram; // soak: the lydevice-simulator executable
};

// Reads the command line into `options`. False on bad usage, with `error` set; `error` holds the
// help text and the function returns false with `*help` true for --help.
bool parseHammerOptions(const QStringList &arguments, HammerOptions *options, QString *error, bool *help);
