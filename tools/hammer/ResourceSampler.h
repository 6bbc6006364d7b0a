#pragma once

#include <QVector>

// Samples of this process's resident memory and open file descriptors over a soak, and their
// growth from the first minute after warm-up to the last minute.
class ResourceSampler
{
public:
    struct Sample {
        qint64 elapsedMs = 0;
        qint64 residentKb = -1; // VmRSS of /proc/self/status
        int descriptors = -1; // entries of /proc/self/fd
        qint64 calls = 0;
    };
    struct Growth {
        bool valid = false; // both windows hold samples
        qint64 windowMs = 0;
        qint64 firstFromMs = 0; // the first window starts here, the last ends at the last sample
        qint64 firstKb = 0; // medians of each window
        qint64 lastKb = 0;
        int firstDescriptors = 0;
        int lastDescriptors = 0;
    };

    Sample take(qint64 elapsedMs, qint64 calls);
    const QVector<Sample> &samples() const;
    // Compares the samples of the minute after warm-up with those of the last minute (windows
    // shrink to half of what follows the warm-up when the run is shorter).
    Growth growth(qint64 warmupMs) const;

private:
    QVector<Sample> taken;
};
