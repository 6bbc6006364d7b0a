#pragma once

// Times and record files as devices write them in their replies. Pure functions: no state, any
// thread.

#include <QDateTime>
#include <QString>
#include <QVariantHash>

namespace lydevice
{

// A reply's time text "yyyy-MM-dd HH:mm:ss", local time; invalid when it does not match.
QDateTime parseDeviceTime(const QString &text);

// A video record entry as search_video delivers it: "type", "start", "end".
QVariantHash videoRecordEntry(int type, const QDateTime &start, const QDateTime &end);

// One camera record file description: type digit, yyyyMMddHHmmss, one separator, duration in
// seconds. Gives a video record entry; fields that are missing or no number read as 0.
QVariantHash parseRecordFile(const QString &recordFileString);

} // namespace lydevice
