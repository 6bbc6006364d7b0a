#include "ResourceSampler.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace
{

constexpr qint64 minuteMs = 60000;

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // The kernel gives the file a size of 0: read it to its end.
    for (const QByteArray &line : status.read(64 * 1024).split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).simplified().split(' ').value(0).toLongLong();
    }
    return -1;
}

int openDescriptors()
{
    // The directory's own descriptor is counted in every sample alike.
    const QDir fds(QStringLiteral("/proc/self/fd"));
    return fds.exists() ? fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size() : -1;
}

template <typename Value> Value median(QVector<Value> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? Value() : values.at(values.size() / 2);
}

} // namespace

ResourceSampler::Sample ResourceSampler::take(qint64 elapsedMs, qint64 calls)
{
    const Sample sample { elapsedMs, residentKb(), openDescriptors(), calls };
    taken.append(sample);
    return sample;
}

const QVector<ResourceSampler::Sample> &ResourceSampler::samples() const
{
    return taken;
}

ResourceSampler::Growth ResourceSampler::growth(qint64 warmupMs) const
{
    Growth growth;
    if (taken.isEmpty())
        return growth;
    const qint64 endMs = taken.last().elapsedMs;
    growth.windowMs = std::min(minuteMs, (endMs - warmupMs) / 2);
    growth.firstFromMs = warmupMs;
    QVector<qint64> firstKb, lastKb;
    QVector<int> firstFds, lastFds;
    for (const Sample &sample : taken) {
        if (sample.elapsedMs >= warmupMs && sample.elapsedMs < warmupMs + growth.windowMs) {
            firstKb.append(sample.residentKb);
            firstFds.append(sample.descriptors);
        }
        if (sample.elapsedMs > endMs - growth.windowMs) {
            lastKb.append(sample.residentKb);
            lastFds.append(sample.descriptors);
        }
    }
    growth.valid = growth.windowMs > 0 && !firstKb.isEmpty() && !lastKb.isEmpty();
    growth.firstKb = median(firstKb);
    growth.lastKb = median(lastKb);
    growth.firstDescriptors = median(firstFds);
    growth.lastDescriptors = median(lastFds);
    return growth;
}
