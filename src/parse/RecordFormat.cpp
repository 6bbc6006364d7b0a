#include "RecordFormat.h"

namespace lydevice
{

namespace
{

    // No camera file spans more than this; a longer duration is a broken listing, and bounding it
    // keeps the end time far away from the limits of the date arithmetic.
    constexpr int maxRecordFileSeconds = 366 * 24 * 3600;

    int fieldAt(const QString &text, int position, int length)
    {
        return QStringView(text).mid(position, length).toInt(nullptr, 10);
    }

    // Digits at [from, from + count) of a text known to be long enough; -1 unless all are digits.
    int digitsAt(const QString &text, int from, int count)
    {
        int value = 0;
        for (int i = from; i < from + count; ++i) {
            const ushort c = text.at(i).unicode();
            if (c < u'0' || c > u'9')
                return -1;
            value = value * 10 + (c - u'0');
        }
        return value;
    }

} // namespace

QDateTime parseDeviceTime(const QString &text)
{
    // Every record of a search carries two of these, so the common, well-formed text is read by
    // hand: Qt's format parser costs several local-time conversions per text. Anything else goes
    // through the format parser, which decides what it means.
    if (text.size() == 19 && text.at(4) == u'-' && text.at(7) == u'-' && text.at(10) == u' ' && text.at(13) == u':'
        && text.at(16) == u':') {
        const int year = digitsAt(text, 0, 4);
        const QDate date(year, digitsAt(text, 5, 2), digitsAt(text, 8, 2));
        const QTime clock(digitsAt(text, 11, 2), digitsAt(text, 14, 2), digitsAt(text, 17, 2));
        // A year that is no number would read as -1, a valid year of Qt's calendar.
        if (year >= 0 && date.isValid() && clock.isValid())
            return QDateTime(date, clock, Qt::LocalTime);
    }
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QVariantHash videoRecordEntry(int type, const QDateTime &start, const QDateTime &end)
{
    return QVariantHash {
        { QStringLiteral("type"), type },
        { QStringLiteral("start"), start },
        { QStringLiteral("end"), end },
    };
}

QVariantHash parseRecordFile(const QString &recordFileString)
{
    // "TyyyyMMddHHmmss" + one separator + the duration in seconds, read by position.
    const QString &s = recordFileString;
    const int type = fieldAt(s, 0, 1);
    const QDate date(fieldAt(s, 1, 4), fieldAt(s, 5, 2), fieldAt(s, 7, 2));
    const QTime time(fieldAt(s, 9, 2), fieldAt(s, 11, 2), fieldAt(s, 13, 2));
    const int duration = qBound(0, fieldAt(s, 16, s.size()), maxRecordFileSeconds);
    const QDateTime start(date, time);
    return videoRecordEntry(type, start, start.addSecs(duration));
}

} // namespace lydevice
