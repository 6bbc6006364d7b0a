#include "RandomArguments.h"

namespace
{
// The simulators' content day (SimulatorOptions' default span), local time.
const QDate contentDay(2024, 3, 1);
constexpr qint64 daySeconds = 86400;
} // namespace

RandomArguments::RandomArguments(quint64 seed)
    : engine(seed)
{
}

int RandomArguments::below(int n)
{
    return n <= 1 ? 0 : int(std::uniform_int_distribution<int>(0, n - 1)(engine));
}

bool RandomArguments::percent(int chance)
{
    return below(100) < chance;
}

QVector<int> RandomArguments::channels()
{
    if (percent(4))
        return {};
    QVector<int> list;
    for (int channel = 0; channel < 4; ++channel) {
        if (percent(channel == 0 ? 80 : 40))
            list.append(channel);
    }
    if (percent(5))
        list.append(percent(50) ? -1 : 40 + below(100));
    if (list.isEmpty())
        list.append(below(4));
    return list;
}

std::pair<QDateTime, QDateTime> RandomArguments::span()
{
    const int kind = below(100);
    if (kind < 10)
        return { contentTime(0), contentTime(daySeconds) };
    if (kind < 14)
        return { contentTime(daySeconds), contentTime(daySeconds - 3600 - below(7200)) }; // reversed
    if (kind < 17) {
        const QDateTime at = contentTime(below(int(daySeconds)));
        return { at, at }; // empty
    }
    if (kind < 19)
        return { QDateTime(), contentTime(daySeconds) }; // invalid start
    if (kind < 22)
        return { contentTime(-400 * daySeconds), contentTime(-399 * daySeconds) }; // no content
    const qint64 from = below(int(daySeconds));
    return { contentTime(from), contentTime(from + 60 + below(int(daySeconds))) };
}

lydevice::RecordVideoType RandomArguments::videoType()
{
    return lydevice::RecordVideoType(percent(5) ? 7 + below(90) : below(7));
}

lydevice::StreamType RandomArguments::stream()
{
    return lydevice::StreamType(percent(5) ? 5 : below(2));
}

lydevice::RecordPictureType RandomArguments::pictureType()
{
    return lydevice::RecordPictureType(percent(5) ? 3 + below(60) : below(3));
}

int RandomArguments::pageIndex()
{
    return below(10) - 1;
}

int RandomArguments::pictureIndex()
{
    return percent(3) ? 100000 + below(1000) : below(700) - 1;
}

quint64 RandomArguments::unknownReadingId()
{
    return percent(20) ? 0 : (quint64(1) << 40) + quint64(below(1 << 20));
}

QDateTime RandomArguments::contentTime(qint64 seconds) const
{
    return QDateTime(contentDay, QTime(0, 0)).addSecs(seconds);
}
