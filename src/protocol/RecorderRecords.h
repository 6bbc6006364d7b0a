#pragma once

// What the recorder's two interfaces, HTTP and P2P, have in common: how a reply is summed up, the
// records and tags it lists and the entries made of them, and the event search codes.

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QVariantHash>
#include <QVariantList>
#include <QVector>

#include <optional>

namespace lydevice
{

// The recorder files records under an event and a subtype; plain, general and unknown types are
// searched as event 2, subtype 0.
struct EventCodes {
    int event = 2;
    int subType = 0;
};
EventCodes eventCodes(int videoType);

// How the index after a record key's name is read. search_video reads exactly the keys of records
// 0 to count - 1 ("startTime7"); the incremental reader takes whatever follows the name as a
// decimal number ("startTime07" is record 7, text that is no number is record 0).
enum class RecordKeys {
    Exact,
    Loose,
};

// A record time as the recorder wrote it: the date and time when it had the usual form
// "yyyy-MM-dd HH:mm:ss", otherwise its text. The local date-time, which is what costs, is made only
// when the entry is built.
struct RecordTime {
    bool usual = false; // date and time hold it
    QDate date;
    QTime time;
    QString text;
    QDateTime toDateTime() const;
};

// One record of a reply; a member the reply did not name stays unset.
struct RecorderRecord {
    std::optional<int> type;
    std::optional<RecordTime> start;
    std::optional<RecordTime> end;
};
using RecorderRecords = QVector<RecorderRecord>;

// One recorder reply, as the searches and readers use it.
struct RecorderReply {
    bool good = false; // the transport answered (over HTTP with status 200)
    int count = 0; // records, tags or pictures in this reply, as the recorder reports it
    int handle = 0; // the session or search that an opening reply names
    int total = 0; // what the whole search holds, from an opening reply
    QVariantHash values; // every member of the reply, when it was read whole
    RecorderRecords records; // records 0 to count - 1, of a reply that lists records
};

// Appends search_video entries: "type" (the recorder's code, 0 when missing), "start" and "end"
// (invalid when missing).
void appendVideoEntries(const RecorderRecords &records, QVariantList &entries);
// Reader entries: "start", "end", "isAnr" (the recorder's type is 16), "isEvent" (neither 16 nor 1),
// each only when the reply named it.
QVariantList readerEntries(const RecorderRecords &records);
// Tag entries 0 to count - 1 from "chnid<i>", "id<i>", "index<i>" (numbers in text), "name<i>"
// (percent-encoded UTF-8) and "time<i>".
QVariantList tagEntries(const RecorderReply &reply);

} // namespace lydevice
