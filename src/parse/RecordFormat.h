#pragma once

// Formats shared by the device requests and replies of the video and picture searches and of
// the incremental readers. Pure functions: no state, any thread.

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QVariantHash>
#include <QVector>

namespace lydevice
{

// 64 characters "0" with a "1" at position c for every channel c. Channels outside 0 to 63 are
// left out with a warning.
QString channelMask(const QVector<int> &channels);

// Event search codes of a recorder for a record type (0, 1 and unknown types: event 2, subType 0).
struct EventCodes {
    int event = 2;
    int subType = 0;
};
EventCodes eventCodes(int videoType);

// Camera record file search: the type mask sent for a record type, and the record type digit
// that the final filter keeps.
QString typeMask(int videoType);
int recordTypeCode(int videoType);

// "1" for the sub stream (StreamType 1), "0" otherwise; streamFlagNumber is the same as a number.
QString streamFlag(int streamType);
int streamFlagNumber(int streamType);

// Date-times on the wire, English (United States) locale:
// "yyyy-MM-dd%20HH:mm:ss" with the three characters %20 literal (recorder HTTP queries, camera
// picture queries, recorder P2P tag search).
QString queryTime(const QDateTime &time);
// "yyyy-MM-dd HH:mm:ss" (recorder P2P requests).
QString plainTime(const QDateTime &time);
// "yyyyMMddHHmmss" (camera record file queries).
QString compactTime(const QDateTime &time);
// A reply's time text "yyyy-MM-dd HH:mm:ss", local time; invalid when it does not match.
QDateTime parseDeviceTime(const QString &text);
// {"year", "month", "day", "hour", "minute", "second"} as numbers, as the time holds them (no
// conversion to another time zone).
QJsonObject timeObject(const QDateTime &time);

// A video record entry as search_video delivers it: "type", "start", "end".
QVariantHash videoRecordEntry(int type, const QDateTime &start, const QDateTime &end);

// One camera record file description: type digit, yyyyMMddHHmmss, one separator, duration in
// seconds. Gives a video record entry; fields that are missing or no number read as 0.
QVariantHash parseRecordFile(const QString &recordFileString);

} // namespace lydevice
