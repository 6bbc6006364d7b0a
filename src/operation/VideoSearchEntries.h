#pragma once

// What the four video search operations share beyond the wire formats: reading the records of a
// recorder's event reply, the camera's final type filter, and the bounds that keep a broken or
// hostile device from making a search endless or huge.

#include <QJsonValue>
#include <QVariantHash>
#include <QVariantList>

namespace lydevice
{

// Records taken from one reply at most; a larger count is cut with a warning.
constexpr int maxRecordsPerReply = 10000;
// Page requests of one search phase at most; a device that never reports its last page is left
// as if that page had been the last one.
constexpr int maxSearchPages = 100000;

// The count a device reports for one reply, cut to 0 to maxRecordsPerReply.
int boundedRecordCount(int count);

// The records 0 to count - 1 of a recorder's event reply over HTTP: keys "recordType<i>",
// "startTime<i>", "endTime<i>". A missing or unreadable key still gives an entry (type 0 or an
// invalid time).
QVariantList recorderHttpEntries(const QVariantHash &reply, int count);
// The same over P2P: keys "r[<i>].recordType", "r[<i>].startTime", "r[<i>].endTime"; the type may
// come as a number or as a decimal string.
QVariantList recorderP2pEntries(const QVariantHash &reply, int count);

// A recorder's event search goes on to the page after pageIndex (0 for the first reply) when the
// reply was full (100 records or more) and the page bound is not reached.
bool wantsNextEventPage(int count, int pageIndex);

// A camera page's entries, cut to maxRecordsPerReply with a warning.
QVariantList boundedPage(QVariantList entries);

// After the camera page with 0-based index pageIndex: true when it was the last one to read.
// A negative page count reads page 1 only; a count beyond the page bound stops there.
bool isLastCameraPage(int pageIndex, int totalPages);

// The entries of the camera's requested record type (recordTypeCode), in their order. Cameras
// are asked with a wider mask, or for every type, so the filter runs once over the whole result.
QVariantList cameraEntriesOfType(const QVariantList &entries, int videoType);

// A JSON member read as a whole 32-bit number: 0 when it is missing, no number, has a fraction
// or does not fit.
int jsonWholeNumber(const QJsonValue &value);

} // namespace lydevice
