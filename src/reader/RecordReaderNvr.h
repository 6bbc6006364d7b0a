#pragma once

#include "protocol/RecorderRecords.h"
#include "reader/RecordReader.h"

#include <QVariantList>

namespace lydevice
{

// What the recorder readers of both transports share: the four stages and their deliveries.
//
// 1. General records of the first requested channel, all record-info pages, delivered together as
//    one batch of type 0. The "sid" of this search is the recorder's playback session: it is the
//    code of every later delivery and stays open until the reader is destroyed.
// 2. Tags of all requested channels, one batch of type 6 per reply.
// 3. Event stage 1 (type 1) and 4. event stage 2 (type 2), one batch per reply.
// Then the end: (session, 2, empty list).
//
// A derived class writes the requests of its transport and reads each reply (with its records, for
// general and event replies), which it hands to the matching stage step here. The first reply of a stage counts as its
// page 1. Its destructor calls closeOnDevice(), since the senders are its own and are gone once this destructor runs.
class RecordReaderNvr : public RecordReader
{
public:
    using RecordReader::RecordReader;

protected:
    void start() override;
    // Closes the tag search, the event search and the playback session, in this order.
    void closeOnDevice();

    // The stage steps, one per reply kind, for a reader that still exists.
    void onRecordInfo(const RecorderReply &reply);
    void onRecordInfoPage(int page, const RecorderReply &reply);
    void onTagSearch(const RecorderReply &reply);
    void onTagPage(int page, const RecorderReply &reply);
    void onEventSearch(const RecorderReply &reply);
    void onEventPage(int page, const RecorderReply &reply);
    // Event stage 2 after stage 1, the end after stage 2.
    void nextEventStage();

    // The requests, as the transport writes them; page numbers count from 1.
    virtual void sendRecordInfo() = 0;
    virtual void sendRecordInfoPage(int page) = 0;
    virtual void sendTagSearch() = 0;
    virtual void sendTagPage(int page) = 0;
    virtual void sendEventSearch(EventCodes codes) = 0;
    virtual void sendEventPage(int page) = 0;
    virtual void sendTagClose(int handle) = 0;
    virtual void sendEventClose(int handle) = 0;
    virtual void sendSessionStop(int sid) = 0;

    // Records (or tags) that the current stage holds, from its first reply.
    int allCount = 0;
    // The playback session; -1 until the record-info search opened one.
    int sessionId = -1;
    // Records (or tags) received so far in the current stage.
    int readCount = 0;
    // The open event search and tag search; -1 when none is open.
    int eventHandle = -1;
    int tagHandle = -1;
    // Type of the general stage (0) or of the current event stage; the tag stage keeps it.
    RecordVideoType currentType = RecordVideoType::All;
    // General records of all record-info pages, delivered together.
    QVariantList generalRecords;

private:
    void requestTagSearch();
    void requestEventSearch(RecordVideoType type);
    void closeTagHandle();
    void closeEventHandle();
    void endEmptyGeneralStage();
    void fail();
    // False (after a failure delivery) once a stage asks for more than maxSearchPages pages: a
    // recorder that never reports the last page fails the stage instead of keeping the reader busy.
    bool pageAllowed(int page);
    bool overHttp() const;
};

} // namespace lydevice
