#pragma once

#include "DeviceBooks.h"
#include "SimulatorOptions.h"

#include <QDateTime>
#include <QTextStream>
#include <QVector>

#include <functional>
#include <optional>

// One search of the recorder and what it must find.
struct Search {
    quint16 port = 0;
    QVector<int> channels;
    QDateTime start;
    QDateTime end;
    int expected = 0;
};

// What one measured search gave.
struct Run {
    bool ok = false;
    int records = 0;
    qint64 elapsedNs = 0;
    int requests = 0; // floor runs
    qint64 peakKb = -1; // LyDevice runs: the host's peak during the search
};

// Runs the event loop until `done` holds or the deadline passes.
bool runUntil(const std::function<bool()> &done, int timeoutMs);
// Every channel over the whole span of the content, and what that finds.
Search searchOf(const lydevice::sim::SimulatorOptions &options);

Run runFloor(const Search &search);
// search_video through LyDevice, on a target of its own. `collect`: callgrind counts this search.
Run runLibrary(const Search &search, bool collect = false);

// The floor must send what LyDevice sends: compares the two as the device saw them.
void compareRequests(QTextStream &out, lydevice::sim::DeviceBooks &books, const Search &search);

// A run as a child process reports it on a line of its standard output, and reading it back.
QByteArray runLine(const Run &run);
std::optional<Run> parseRunLine(const QByteArray &line);
