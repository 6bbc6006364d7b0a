#include "reader/RecordReaderNvr.h"

#include "protocol/ReplyLimits.h"

#include <QDebug>

namespace lydevice
{

namespace
{

    // A reply's count as the stage adds it up: cut like its entries, so that a broken reply cannot
    // overflow the sums.
    int stageCount(const RecorderReply &reply)
    {
        return qBound(0, reply.count, maxEntriesPerReply);
    }

} // namespace

void RecordReaderNvr::start()
{
    // The record-info search names one channel, the first; without one there is nothing to ask.
    // The caller gets the reader id first and the failure afterwards.
    if (desc.channel.isEmpty()) {
        qWarning() << "no channel to search";
        deliverFailureLater(currentType);
        return;
    }
    sendRecordInfo();
}

bool RecordReaderNvr::overHttp() const
{
    return target.transport == TransportType::Ip;
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
    if (page <= maxSearchPages)
        return true;
    qWarning() << "too many pages, reading stopped at page" << page;
    fail();
    return false;
}

void RecordReaderNvr::onRecordInfo(const RecorderReply &reply)
{
    if (reply.good && stageCount(reply) != 0) {
        sessionId = reply.handle;
        allCount = reply.total;
    }
    onRecordInfoPage(1, reply);
}

void RecordReaderNvr::onRecordInfoPage(int page, const RecorderReply &reply)
{
    if (!reply.good) {
        fail();
        return;
    }
    // Without general records there is no playback session, and neither tags nor events are
    // searched; a page without records ends the reading the same way.
    if (stageCount(reply) == 0) {
        endEmptyGeneralStage();
        return;
    }
    readCount += stageCount(reply);
    // The next page is asked for before this page's entries are built, so that the recorder works
    // while we do.
    const bool more = readCount < allCount;
    if (more && !pageAllowed(page + 1))
        return;
    if (more)
        sendRecordInfoPage(page + 1);
    generalRecords += readerEntries(reply.records);
    if (!more && deliver(sessionId, currentType, generalRecords))
        requestTagSearch();
}

void RecordReaderNvr::endEmptyGeneralStage()
{
    // Over HTTP an empty span is a failure; over P2P it ends the reading with code 0, silently.
    if (overHttp())
        qInfo() << "no more records for [" << int(currentType) << "]";
    deliverFailure(currentType, overHttp() ? -1 : 0);
}

void RecordReaderNvr::requestTagSearch()
{
    qInfo() << "start reading tag";
    allCount = 0;
    readCount = 0;
    closeTagHandle();
    sendTagSearch();
}

void RecordReaderNvr::onTagSearch(const RecorderReply &reply)
{
    if (reply.good && stageCount(reply) == 0) {
        qInfo() << "tag not found";
        requestEventSearch(RecordVideoType::General);
        return;
    }
    if (reply.good) {
        tagHandle = reply.handle;
        allCount = reply.total;
    }
    onTagPage(1, reply);
}

void RecordReaderNvr::onTagPage(int page, const RecorderReply &reply)
{
    if (!reply.good) {
        fail();
        return;
    }
    // A tag page may come back empty while more tags are announced; it is delivered as it is and
    // the next page asked for.
    readCount += stageCount(reply);
    if (!deliver(sessionId, RecordVideoType::Tag, tagEntries(reply)))
        return;
    if (readCount < allCount) {
        if (pageAllowed(page + 1))
            sendTagPage(page + 1);
        return;
    }
    // When every tag came with the search's own reply the search is closed now; after pages it
    // stays open until the reader is destroyed.
    if (page == 1)
        closeTagHandle();
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

void RecordReaderNvr::onEventSearch(const RecorderReply &reply)
{
    if (reply.good && stageCount(reply) == 0) {
        qInfo() << "no more records for [" << int(currentType) << "]";
        nextEventStage();
        return;
    }
    if (reply.good) {
        eventHandle = reply.handle;
        allCount = reply.total;
    }
    onEventPage(1, reply);
}

void RecordReaderNvr::onEventPage(int page, const RecorderReply &reply)
{
    if (!reply.good) {
        fail();
        return;
    }
    if (stageCount(reply) == 0) {
        qInfo() << "no more records for [" << int(currentType) << "]";
        fail();
        return;
    }
    readCount += stageCount(reply);
    if (!deliver(sessionId, currentType, readerEntries(reply.records)))
        return;
    if (readCount >= allCount)
        nextEventStage();
    else if (pageAllowed(page + 1))
        sendEventPage(page + 1);
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
    if (overHttp())
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
