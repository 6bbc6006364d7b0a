#include "RecordFormat.h"

#include <QDebug>
#include <QLocale>

namespace lydevice
{

namespace
{

    constexpr int maskLength = 64;

    // No camera file spans more than this; a longer duration is a broken listing, and bounding it
    // keeps the end time far away from the limits of the date arithmetic.
    constexpr int maxRecordFileSeconds = 366 * 24 * 3600;

    // The devices read only the English (United States) form; the host's locale must not change the
    // digits or the separators.
    QString formatTime(const QDateTime &time, const QString &format)
    {
        return QLocale(QLocale::English, QLocale::UnitedStates).toString(time, format);
    }

    int fieldAt(const QString &text, int position, int length)
    {
        return text.midRef(position, length).toInt(nullptr, 10);
    }

} // namespace

QString channelMask(const QVector<int> &channels)
{
    QString mask(maskLength, u'0');
    for (const int channel : channels) {
        if (channel < 0 || channel >= maskLength) {
            qWarning() << "channel out of range, left out of the mask:" << channel;
            continue;
        }
        mask[channel] = u'1';
    }
    return mask;
}

EventCodes eventCodes(int videoType)
{
    switch (videoType) {
    case 2:
        return { 64, 511 };
    case 3:
        return { 128, 16 };
    case 4:
        return { 128, 2 };
    case 5:
        return { 128, 1 };
    default:
        return { 2, 0 };
    }
}

QString typeMask(int videoType)
{
    switch (videoType) {
    case 0:
        return QStringLiteral("35");
    case 1:
        return QStringLiteral("2");
    case 2:
        return QStringLiteral("32");
    case 3:
        return QStringLiteral("128");
    case 4:
        return QStringLiteral("256");
    case 5:
        return QStringLiteral("64");
    default:
        return QStringLiteral("484");
    }
}

int recordTypeCode(int videoType)
{
    switch (videoType) {
    case 0:
        return 1;
    case 1:
        return 2;
    case 2:
        return 5;
    case 3:
        return 6;
    case 4:
        return 7;
    case 5:
        return 4;
    default:
        return 0;
    }
}

QString streamFlag(int streamType)
{
    return streamType == 1 ? QStringLiteral("1") : QStringLiteral("0");
}

int streamFlagNumber(int streamType)
{
    return streamType == 1 ? 1 : 0;
}

QString queryTime(const QDateTime &time)
{
    return formatTime(time, QStringLiteral("yyyy-MM-dd%20HH:mm:ss"));
}

QString plainTime(const QDateTime &time)
{
    return formatTime(time, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString compactTime(const QDateTime &time)
{
    return formatTime(time, QStringLiteral("yyyyMMddHHmmss"));
}

namespace
{

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
        const QDate date(digitsAt(text, 0, 4), digitsAt(text, 5, 2), digitsAt(text, 8, 2));
        const QTime clock(digitsAt(text, 11, 2), digitsAt(text, 14, 2), digitsAt(text, 17, 2));
        if (date.isValid() && clock.isValid())
            return QDateTime(date, clock, Qt::LocalTime);
    }
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QJsonObject timeObject(const QDateTime &time)
{
    const QDate date = time.date();
    const QTime clock = time.time();
    return QJsonObject {
        { QStringLiteral("year"), date.year() },
        { QStringLiteral("month"), date.month() },
        { QStringLiteral("day"), date.day() },
        { QStringLiteral("hour"), clock.hour() },
        { QStringLiteral("minute"), clock.minute() },
        { QStringLiteral("second"), clock.second() },
    };
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
