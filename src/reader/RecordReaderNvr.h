#pragma once

#include "parse/RecordFormat.h"
#include "reader/RecordReader.h"

#include <QVariantList>

namespace lydevice
{

// What a recorder reader's stage step needs from one reply, whatever the transport.
struct RecorderStageReply {
    bool good = false; // the transport answered (and over HTTP with status 200)
    int count = 0; // records or tags in this reply, cut by recorderReplyCount
    int handle = 0; // the session or search handle that an opening reply names
    int total = 0; // records or tags that the stage holds, from an opening reply
    QVariantList entries; // the `count` entries of the reply
};

// What the recorder readers of both transports share: the four stages and their deliveries.
//
// 1. General records of the first requested channel, all record-info pages, delivered together as
//    one batch of type 0. The "sid" of this search is the recorder's playback session: it is the
//    code of every later delivery and stays open until the reader is destroyed.
// 2. Tags of all requested channels, one batch of type 6 per reply.
// 3. Event stage 1 (type 1) and 4. event stage 2 (type 2), one batch per reply.
// Then the end: (session, 2, empty list).
//
// The transports differ in how requests are written and replies read, and in two points of
// behaviour (endEmptyGeneralStage, warnsOnTagClose). A derived class sends, reads each reply into
// a RecorderStageReply and hands it to the matching stage step here. Its destructor calls closeOnDevice(),
// since the senders are its own and are gone once the base destructor runs.
class RecordReaderNvr : public RecordReader
{
public:
    explicit RecordReaderNvr(const TargetDesc &target);

    void startReading(RecordVideoDesc desc, SearchVideoCallbackV2 callback) override;

    // Page requests of one stage at most; a recorder that never reports the last page fails the
    // stage there instead of keeping the reader busy forever.
    static constexpr int maxPages = 100000;

protected:
    // Closes the tag search, the event search and the playback session, in this order.
    void closeOnDevice();

    // The stage steps, one per reply kind, for a reader that still exists.
    void onRecordInfo(const RecorderStageReply &reply);
    void onRecordInfoPage(int page, const RecorderStageReply &reply);
    void onTagSearch(const RecorderStageReply &reply);
    void onTagPage(int page, const RecorderStageReply &reply);
    void onEventSearch(const RecorderStageReply &reply);
    void onEventPage(int page, const RecorderStageReply &reply);
    // Event stage 2 after stage 1, the end after stage 2.
    void nextEventStage();

    virtual void sendRecordInfo() = 0;
    virtual void sendRecordInfoPage(int page) = 0;
    virtual void sendTagSearch() = 0;
    virtual void sendTagPage(int page) = 0;
    virtual void sendTagClose(int handle) = 0;
    virtual void sendEventSearch(EventCodes codes) = 0;
    virtual void sendEventPage(int page) = 0;
    virtual void sendEventClose(int handle) = 0;
    virtual void sendSessionStop(int sid) = 0;

    // A general stage without records (first reply or a page with count 0) ends the reading.
    virtual void endEmptyGeneralStage() = 0;
    // Whether closing a tag search is logged.
    virtual bool warnsOnTagClose() const = 0;

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
    void requestRecordInfoPage(int page);
    void requestTagSearch();
    void requestTagPage(int page);
    void requestEventSearch(RecordVideoType type);
    void requestEventPage(int page);
    void closeTagHandle();
    void closeEventHandle();
    void deliverGeneralRecords();
    void fail();
    // False (after a failure delivery) once a stage asks for more than maxPages pages.
    bool pageAllowed(int page);
};

} // namespace lydevice
