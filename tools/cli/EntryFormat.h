#pragma once

// How the tool shows what the library delivers: times, durations, the kind of a record entry,
// entries as JSON, and the part of the searched span that records cover.

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVector>

namespace entryformat
{

// "yyyy-MM-dd HH:mm:ss"; "-" for an invalid time.
QString dateTimeText(const QDateTime &time);
// "yyyy-MM-ddTHH:mm:ss" (local time, as the device wrote it); null for an invalid time.
QJsonValue dateTimeJson(const QDateTime &time);
// "H:MM:SS", hours not wrapped at a day; "-" for a negative length.
QString durationText(qint64 seconds);
// "0.42 s"
QString elapsedText(qint64 milliseconds);

// Seconds from start to end of a record entry ("start", "end"); -1 when either is invalid.
qint64 entrySeconds(const QVariantHash &entry);
// The names of the record types (video) or the picture types, indexed by their number.
QStringList typeNames(bool video);

// What kind of record an entry is: "type N" for entries that carry the device's type code,
// "anr", "event" or "general" for entries that carry the recorder's flags.
QString recordKindText(const QVariantHash &entry);

// Entries as JSON objects, key by key: times as dateTimeJson, numbers, booleans and text as they are.
QJsonValue jsonValue(const QVariant &value);
QJsonObject jsonEntry(const QVariant &entry);
QJsonArray jsonEntries(const QList<QVariant> &entries);

// A record's time span in milliseconds since the epoch.
struct Interval {
    qint64 start = 0;
    qint64 end = 0;
};
// Valid intervals of the record entries ("start" before or at "end").
void appendIntervals(const QList<QVariant> &entries, QVector<Interval> *intervals);

struct Coverage {
    qint64 coveredSeconds = 0; // of the span, covered by at least one record
    qint64 spanSeconds = 0;
    QDateTime first; // earliest start, latest end, within the span; invalid without records
    QDateTime last;
};
Coverage coverage(QVector<Interval> intervals, const QDateTime &from, const QDateTime &to);
// "they cover 6:44:10 of the 24:00:00 searched (28.1%), from ... to ..."
QString coverageText(const Coverage &coverage);

} // namespace entryformat
