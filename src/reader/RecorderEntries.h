#pragma once

// The entries a recorder reader delivers, built from one recorder reply. Pure functions: no
// state, any thread.
//
// Record entry (general records and event stages): "start", "end" (QDateTime), "isAnr" (the
// recorder's record type is 16), "isEvent" (the type is neither 16 nor 1).
// Tag entry: "chnid", "id", "index" (int), "name" (string), "time" (QDateTime).

#include <QVariantHash>
#include <QVariantList>

namespace lydevice
{

// Records or tags taken from one reply at most. A recorder reports its counts as it likes; a
// larger count is cut so that one reply cannot make us allocate without bound.
constexpr int maxRecordsPerRecorderReply = 10000;

// The count a recorder reported for one reply, cut to 0 to maxRecordsPerRecorderReply (with a
// warning when it lies outside).
int recorderReplyCount(int count);

// Record entries 0 to cnt - 1 of an HTTP reply whose members are named "startTime<i>",
// "endTime<i>" and "recordType<i>". A key whose index lies outside 0 to cnt - 1 is ignored; an
// entry no key names stays empty.
QVariantList buildRecordEntries(const QVariantHash &reply, int cnt);
// Record entries 0 to cnt - 1 of a P2P reply: "r[<i>].startTime", "r[<i>].endTime",
// "r[<i>].recordType".
QVariantList buildRecordEntriesP2p(const QVariantHash &reply, int cnt);
// Tag entries 0 to cnt - 1: "chnid<i>", "id<i>", "index<i>", "name<i>" (percent-encoded UTF-8),
// "time<i>".
QVariantList buildTagEntries(const QVariantHash &reply, int cnt);

} // namespace lydevice
