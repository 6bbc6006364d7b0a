#pragma once

#include <lydevice/lydevice.h>

#include <QDateTime>
#include <QVector>

#include <random>
#include <utility>

// The random arguments of one worker's calls, from its own seed: mostly what a client asks for
// (channels of the devices, spans within the simulators' content day, known types), with a share
// of what it should not ask for (no channel, unknown channels and types, spans that are empty,
// reversed, invalid or without content, pages and pictures that do not exist).
class RandomArguments
{
public:
    explicit RandomArguments(quint64 seed);

    // From 0 to n - 1.
    int below(int n);
    bool percent(int chance);

    QVector<int> channels();
    std::pair<QDateTime, QDateTime> span();
    lydevice::RecordVideoType videoType();
    lydevice::StreamType stream();
    lydevice::RecordPictureType pictureType();
    int pageIndex();
    int pictureIndex();
    // An id no reading was ever given (0 or far beyond the readings a run begins).
    quint64 unknownReadingId();

private:
    QDateTime contentTime(qint64 seconds) const;

    std::mt19937_64 engine;
};
