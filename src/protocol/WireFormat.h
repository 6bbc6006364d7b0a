#pragma once

// Values as the devices read them in requests. Pure functions: no state, any thread.

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QVector>

namespace lydevice
{

// 64 characters "0" with a "1" at position c for every channel c. Channels outside 0 to 63 are
// left out with a warning.
QString channelMask(const QVector<int> &channels);

// The stream flag: 1 for the sub stream (StreamType 1), 0 otherwise.
int streamFlag(int streamType);

// Date-times, English (United States) locale, so the host's locale cannot change digits or
// separators:
// "yyyy-MM-dd%20HH:mm:ss" with the three characters %20 literal (recorder HTTP queries, camera
// picture queries, recorder P2P tag search);
QString queryTime(const QDateTime &time);
// "yyyy-MM-dd HH:mm:ss" (recorder P2P commands);
QString plainTime(const QDateTime &time);
// "yyyyMMddHHmmss" (camera record file queries);
QString compactTime(const QDateTime &time);
// {"year", "month", "day", "hour", "minute", "second"} as numbers, as the time holds them, with no
// conversion to another time zone (camera P2P commands).
QJsonObject timeObject(const QDateTime &time);

} // namespace lydevice
