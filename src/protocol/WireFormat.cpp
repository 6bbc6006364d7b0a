#include "protocol/WireFormat.h"

#include <QDebug>
#include <QLocale>

namespace lydevice
{

namespace
{

    QString formatTime(const QDateTime &time, const QString &format)
    {
        return QLocale(QLocale::English, QLocale::UnitedStates).toString(time, format);
    }

} // namespace

QString channelMask(const QVector<int> &channels)
{
    constexpr int maskLength = 64;
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

int streamFlag(int streamType)
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

} // namespace lydevice
