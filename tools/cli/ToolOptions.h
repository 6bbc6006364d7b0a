#pragma once

// Everything one run of the lydevice tool was asked to do, as the command line gave it.

#include <lydevice/lydevice.h>

#include "SimulatorOptions.h"

#include <QDateTime>
#include <QSize>
#include <QString>
#include <QVector>

enum class ToolCommand {
    SearchVideo,
    ReadVideo,
    SearchPicture,
    ReadPicturePage,
    ReadPicture,
    Simulate,
};

struct ToolOptions {
    ToolCommand command = ToolCommand::SearchVideo;
    QString commandName; // as typed: "search-video", ...

    // The device. An empty host means the built-in simulator, started in this process.
    lydevice::DeviceType deviceType = lydevice::DeviceType::NVR;
    lydevice::TransportType transport = lydevice::TransportType::Ip;
    QString host;
    quint16 port = 0; // 0: the transport's default (HTTP 80; required for p2p)
    QString user;
    QString password;

    // The search.
    QVector<int> channels { 0 };
    int recordType = 0; // a RecordVideoType or RecordPictureType value, by command
    int stream = 0; // a StreamType value
    QDateTime from;
    QDateTime to;
    int page = 0;
    int index = 0;
    QString output; // read-picture: the image file

    // The report.
    bool json = false;
    bool verbose = false; // show the library's log messages
    int timeoutMs = 30000; // 0: wait for ever
    int replyTimeoutMs = 0; // of each HTTP reply; 0: the scheduler's own
    QString timelinePath;
    QSize timelineSize { 1200, 400 };

    // simulate, and the content of the built-in simulator.
    lydevice::sim::SimulatorOptions simulator;
    QString listenAddress { QStringLiteral("127.0.0.1") };
    quint16 p2pPort = 0;
};
