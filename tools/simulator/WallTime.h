#pragma once

// Wall-clock time as the devices write it: seconds counted on the civil calendar from
// 1970-01-01 00:00:00, with no time zone. The catalogue keeps every time in this form, so that
// formatting a page of records is plain arithmetic; it becomes a QDateTime (local time, built from
// the same date and time fields) only at the edges.

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace lydevice::sim::walltime
{

qint64 fromCivil(int year, int month, int day, int hour, int minute, int second);
void toCivil(qint64 seconds, int *year, int *month, int *day, int *hour, int *minute, int *second);

// Takes the date and time fields of `dateTime` as they are, with no conversion of zones.
// An invalid date-time gives 0.
qint64 fromDateTime(const QDateTime &dateTime);
QDateTime toDateTime(qint64 seconds);

// Reads "yyyy-MM-dd HH:mm:ss" (the blank may also be written "%20" or "T") and "yyyyMMddHHmmss".
// Fields out of range make the text unreadable.
bool parse(const QString &text, qint64 *seconds);

// "yyyy-MM-dd HH:mm:ss" and "yyyyMMddHHmmss", appended.
void appendDashed(QByteArray &out, qint64 seconds);
void appendCompact(QByteArray &out, qint64 seconds);
QString dashed(qint64 seconds);
QString compact(qint64 seconds);

} // namespace lydevice::sim::walltime
