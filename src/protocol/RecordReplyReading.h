#pragma once

// The replies in which a recorder lists records over HTTP (record info, the event search and their
// pages): key=value lines with "cnt", "sid" and "allCnt", and per record "recordType<i>",
// "startTime<i>" and "endTime<i>". A search of 100,000 records reads a thousand of them, so they
// have a reader of their own that goes over the bytes once; the general key=value parse stays for
// what that reader leaves alone, and the two agree.

#include "protocol/RecorderRecords.h"

#include <QByteArray>

#include <optional>
#include <string_view>

namespace lydevice
{

// The general reading: the body parsed as key=value text, numbers where a value reads as one.
// Gives the counts, the handle, every member, and records 0 to count - 1.
RecorderReply readRecordReply(const QByteArray &body, RecordKeys keys);

// One pass over the bytes, for the plain replies recorders send. Gives what readRecordReply gives
// (but for the members other than counts and records), or none for a body it leaves to
// readRecordReply: one that is not ASCII, has a line break other than CRLF or LF, a second "=" in a
// line, or a record index written otherwise than in plain decimal where the reading depends on it.
std::optional<RecorderReply> readRecordReplyFast(std::string_view body, RecordKeys keys);

} // namespace lydevice
