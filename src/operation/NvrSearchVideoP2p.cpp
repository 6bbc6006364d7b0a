#include "operation/NvrSearchVideoP2p.h"

namespace lydevice
{

NvrSearchVideoP2p::~NvrSearchVideoP2p()
{
    closeEventHandle();
}

NvrProtocolP2p NvrSearchVideoP2p::device() const
{
    return NvrProtocolP2p(target.handle);
}

void NvrSearchVideoP2p::requestRecordInfo(const RecordVideoDesc &search)
{
    device().recordInfo(
        search, bindP2pReply(this, &NvrSearchVideoP2p::onRecordInfoReply, device().stopOpenedPlayback()));
}

void NvrSearchVideoP2p::onRecordInfoReply(bool ok, const QJsonObject &json)
{
    // Counts and ids come as numbers or as decimal text. "allCnt" is not needed: the record-info
    // pages are not walked.
    const RecorderReply reply
        = NvrProtocolP2p::reply(ok, json, NvrProtocolP2p::text("cnt"), NvrProtocolP2p::text("sid"));
    // No records in the span: the recorder opened no session, and the search fails.
    if (!reply.good || reply.count == 0) {
        fail();
        return;
    }
    sessionOpened(reply.handle);
    startEventSearch();
}

void NvrSearchVideoP2p::requestEventSearch(const RecordVideoDesc &search, EventCodes codes)
{
    device().eventSearch(search,
        codes,
        NvrProtocolP2p::Form::Number,
        bindP2pReply(this, &NvrSearchVideoP2p::onEventSearchReply, device().closeOpenedEventSearch(false)));
}

void NvrSearchVideoP2p::onEventSearchReply(bool ok, const QJsonObject &json)
{
    if (!ok || NvrProtocolP2p::refused(json)) {
        fail();
        return;
    }
    const RecorderReply reply
        = NvrProtocolP2p::recordReply(ok, json, NvrProtocolP2p::text("r.cnt"), NvrProtocolP2p::text("r.sid"));
    // The handle is open even when the search found nothing; finishing closes it.
    eventHandle = reply.handle;
    eventsReceived(reply, 1);
}

void NvrSearchVideoP2p::requestEventPage(int page)
{
    device().eventPage(eventHandle, page, bindP2pReply(this, &NvrSearchVideoP2p::onEventPageReply, page));
}

void NvrSearchVideoP2p::onEventPageReply(int page, bool ok, const QJsonObject &json)
{
    const RecorderReply reply = NvrProtocolP2p::recordReply(ok, json, NvrProtocolP2p::text("r.cnt"));
    if (!reply.good) {
        fail();
        return;
    }
    eventsReceived(reply, page);
}

void NvrSearchVideoP2p::sendEventClose(int handle, bool afterPage)
{
    // After reading pages the recorder takes the handle as a number, otherwise as text.
    device().closeEventSearch(handle, afterPage ? NvrProtocolP2p::Form::Number : NvrProtocolP2p::Form::Text);
}

} // namespace lydevice
