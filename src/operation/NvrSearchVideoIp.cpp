#include "operation/NvrSearchVideoIp.h"

#include "protocol/ReplyLimits.h"

#include <QDebug>

namespace lydevice
{

NvrSearchVideoIp::~NvrSearchVideoIp()
{
    closeEventHandle();
}

NvrProtocolIp NvrSearchVideoIp::device() const
{
    return NvrProtocolIp(target.handle);
}

void NvrSearchVideoIp::requestRecordInfo(const RecordVideoDesc &search)
{
    device().recordInfo(
        search, false, bindHttpReply(this, &NvrSearchVideoIp::onRecordInfoReply, device().stopOpenedPlayback()));
}

void NvrSearchVideoIp::onRecordInfoReply(bool ok, const QVector<QByteArray> &replies)
{
    const RecorderReply reply = NvrProtocolIp::recordReply(ok, replies, RecordKeys::Exact);
    // The recorder answers a span without records with none; that ends the search as a failure.
    if (!reply.good || reply.count == 0) {
        fail();
        return;
    }
    remainingCount = reply.total;
    sessionOpened(reply.handle);
    nextRecordInfoPage(reply.count, 1);
}

void NvrSearchVideoIp::nextRecordInfoPage(int count, int page)
{
    remainingCount -= count;
    if (remainingCount == 0) {
        startEventSearch();
    } else if (page >= maxSearchPages) {
        qWarning() << "record info page limit reached, going on with the event search";
        startEventSearch();
    } else {
        device().recordInfoPage(
            sessionId, page + 1, bindHttpReply(this, &NvrSearchVideoIp::onRecordInfoPageReply, page + 1));
    }
}

void NvrSearchVideoIp::onRecordInfoPageReply(int page, bool ok, const QVector<QByteArray> &replies)
{
    const RecorderReply reply = NvrProtocolIp::recordReply(ok, replies, RecordKeys::Exact);
    if (!reply.good || reply.count == 0) {
        fail();
        return;
    }
    nextRecordInfoPage(reply.count, page);
}

void NvrSearchVideoIp::requestEventSearch(const RecordVideoDesc &search, EventCodes codes)
{
    device().eventSearch(
        search, codes, bindHttpReply(this, &NvrSearchVideoIp::onEventSearchReply, device().closeOpenedEventSearch()));
}

void NvrSearchVideoIp::onEventSearchReply(bool ok, const QVector<QByteArray> &replies)
{
    const RecorderReply reply = NvrProtocolIp::recordReply(ok, replies, RecordKeys::Exact);
    // No records: the recorder opened no event search, so there is no handle to close.
    if (!reply.good || reply.count == 0) {
        fail();
        return;
    }
    eventHandle = reply.handle;
    eventsReceived(reply, 1);
}

void NvrSearchVideoIp::requestEventPage(int page)
{
    device().eventPage(eventHandle, page, bindHttpReply(this, &NvrSearchVideoIp::onEventPageReply, page));
}

void NvrSearchVideoIp::onEventPageReply(int page, bool ok, const QVector<QByteArray> &replies)
{
    const RecorderReply reply = NvrProtocolIp::recordReply(ok, replies, RecordKeys::Exact);
    if (!reply.good) {
        fail();
        return;
    }
    eventsReceived(reply, page);
}

void NvrSearchVideoIp::sendEventClose(int handle, bool)
{
    device().closeEventSearch(handle);
}

} // namespace lydevice
