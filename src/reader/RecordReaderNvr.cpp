#include "reader/RecordReaderNvr.h"

#include <QDebug>

namespace lydevice
{

RecordReaderNvr::RecordReaderNvr(const TargetDesc &target)
    : RecordReader(target)
{
}

void RecordReaderNvr::startReading(RecordVideoDesc desc, SearchVideoCallbackV2 callback)
{
    qInfo() << "begin search video in nvr";
    this->callback = std::move(callback);
    this->desc = std::move(desc);
    // The record-info search names one channel, the first; without one there is nothing to ask.
    // The caller gets the reader id first and the failure afterwards.
    if (this->desc.channel.isEmpty()) {
        qWarning() << "no channel to search";
        deliverFailureLater(currentType);
        return;
    }
    sendRecordInfo();
}

void RecordReaderNvr::closeOnDevice()
{
    closeTagHandle();
    closeEventHandle();
    if (sessionId >= 0) {
        qWarning() << "delete session id: " << sessionId;
        sendSessionStop(sessionId);
    }
}

void RecordReaderNvr::fail()
{
    deliverFailure(currentType);
}

bool RecordReaderNvr::pageAllowed(int page)
{
    if (page <= maxPages)
        return true;
    qWarning() << "too many pages, reading stopped at page" << page;
    fail();
    return false;
}

void RecordReaderNvr::onRecordInfo(const RecorderStageReply &reply)
{
    if (!reply.good) {
        fail();
        return;
    }
    // Without general records there is no playback session, and neither tags nor events are
    // searched.
    if (reply.count == 0) {
        endEmptyGeneralStage();
        return;
    }
    readCount = reply.count;
    allCount = reply.total;
    sessionId = reply.handle;
    generalRecords += reply.entries;
    if (readCount < allCount)
        requestRecordInfoPage(2);
    else
        deliverGeneralRecords();
}

void RecordReaderNvr::requestRecordInfoPage(int page)
{
    if (pageAllowed(page))
        sendRecordInfoPage(page);
}

void RecordReaderNvr::onRecordInfoPage(int page, const RecorderStageReply &reply)
{
    if (!reply.good) {
        fail();
        return;
    }
    if (reply.count == 0) {
        endEmptyGeneralStage();
        return;
    }
    readCount += reply.count;
    generalRecords += reply.entries;
    if (readCount < allCount)
        requestRecordInfoPage(page + 1);
    else
        deliverGeneralRecords();
}

void RecordReaderNvr::deliverGeneralRecords()
{
    if (!deliver(sessionId, currentType, generalRecords))
        return;
    requestTagSearch();
}

void RecordReaderNvr::requestTagSearch()
{
    qInfo() << "start reading tag";
    allCount = 0;
    readCount = 0;
    closeTagHandle();
    sendTagSearch();
}

void RecordReaderNvr::onTagSearch(const RecorderStageReply &reply)
{
    if (!reply.good) {
        fail();
        return;
    }
    if (reply.count == 0) {
        qInfo() << "tag not found";
        requestEventSearch(RecordVideoType::General);
        return;
    }
    tagHandle = reply.handle;
    allCount = reply.total;
    readCount = reply.count;
    if (!deliver(sessionId, RecordVideoType::Tag, reply.entries))
        return;
    if (readCount < allCount) {
        requestTagPage(2);
    } else {
        closeTagHandle();
        requestEventSearch(RecordVideoType::General);
    }
}

void RecordReaderNvr::requestTagPage(int page)
{
    if (pageAllowed(page))
        sendTagPage(page);
}

void RecordReaderNvr::onTagPage(int page, const RecorderStageReply &reply)
{
    if (!reply.good) {
        fail();
        return;
    }
    // A tag page may come back empty while more tags are announced; it is delivered as it is and
    // the next page asked for. The tag search stays open until the reader is destroyed.
    readCount += reply.count;
    if (!deliver(sessionId, RecordVideoType::Tag, reply.entries))
        return;
    if (readCount < allCount)
        requestTagPage(page + 1);
    else
        requestEventSearch(RecordVideoType::General);
}

void RecordReaderNvr::requestEventSearch(RecordVideoType type)
{
    qInfo() << "general video searching finished, search event [" << int(type) << "]";
    currentType = type;
    allCount = 0;
    readCount = 0;
    closeEventHandle();
    sendEventSearch(eventCodes(int(type)));
}

void RecordReaderNvr::onEventSearch(const RecorderStageReply &reply)
{
    if (!reply.good) {
        fail();
        return;
    }
    if (reply.count == 0) {
        qInfo() << "no more records for [" << int(currentType) << "]";
        nextEventStage();
        return;
    }
    eventHandle = reply.handle;
    allCount = reply.total;
    readCount = reply.count;
    if (!deliver(sessionId, currentType, reply.entries))
        return;
    if (allCount <= readCount)
        nextEventStage();
    else
        requestEventPage(2);
}

void RecordReaderNvr::requestEventPage(int page)
{
    if (pageAllowed(page))
        sendEventPage(page);
}

void RecordReaderNvr::onEventPage(int page, const RecorderStageReply &reply)
{
    if (!reply.good) {
        fail();
        return;
    }
    if (reply.count == 0) {
        qInfo() << "no more records for [" << int(currentType) << "]";
        fail();
        return;
    }
    readCount += reply.count;
    if (!deliver(sessionId, currentType, reply.entries))
        return;
    if (readCount < allCount)
        requestEventPage(page + 1);
    else
        nextEventStage();
}

void RecordReaderNvr::nextEventStage()
{
    if (currentType != RecordVideoType::Alarm)
        requestEventSearch(RecordVideoType::Alarm);
    else
        deliverEnd(sessionId);
}

void RecordReaderNvr::closeTagHandle()
{
    if (tagHandle < 0)
        return;
    if (warnsOnTagClose())
        qWarning() << "close tag handle: " << tagHandle;
    sendTagClose(tagHandle);
    tagHandle = -1;
}

void RecordReaderNvr::closeEventHandle()
{
    if (eventHandle < 0)
        return;
    qWarning() << "close event handle: " << eventHandle;
    sendEventClose(eventHandle);
    eventHandle = -1;
}

} // namespace lydevice
