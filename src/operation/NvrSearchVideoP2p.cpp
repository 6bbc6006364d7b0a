#include "operation/NvrSearchVideoP2p.h"

#include "manager/RecordManagerPrivate.h"
#include "manager/RecordSession.h"
#include "operation/VideoSearchEntries.h"
#include "parse/HashAccess.h"
#include "parse/RecordFormat.h"
#include "transport/DeviceCommand.h"
#include "transport/ReplyBinding.h"

#include <QDebug>

namespace lydevice
{

namespace
{

    // The recorder refuses an event search with "res" = -1, whatever else the reply holds.
    bool refused(const QVariantHash &values)
    {
        return values.contains(QStringLiteral("res"))
            && hashString(values, QStringLiteral("res")) == QLatin1String("-1");
    }

} // namespace

NvrSearchVideoP2p::NvrSearchVideoP2p(RecordManagerPrivate *owner, const TargetDesc &target, RecordKind kind)
    : RecordOperation(owner, target, kind)
{
}

NvrSearchVideoP2p::~NvrSearchVideoP2p()
{
    // A failure or a cancel may leave the event search open on the recorder.
    closeEventHandle();
}

void NvrSearchVideoP2p::run(const QVariantHash &params, Completion done)
{
    this->done = std::move(done);
    videoType = hashInt(params, QStringLiteral("type"));
    const QVector<int> channels = params.value(QStringLiteral("channel")).value<QVector<int>>();
    if (channels.isEmpty()) {
        // The record-info command names a channel; without one there is nothing to ask.
        qWarning() << "no channel to search";
        failLater(this->done);
        return;
    }
    const QJsonObject request {
        { QStringLiteral("r.chnid"), channels.first() },
        { QStringLiteral("r.stream"), streamFlagNumber(hashInt(params, QStringLiteral("stream"))) },
        { QStringLiteral("r.startTime"), plainTime(hashDateTime(params, QStringLiteral("startTime"))) },
        { QStringLiteral("r.endTime"), plainTime(hashDateTime(params, QStringLiteral("endTime"))) },
    };
    sendP2pCommand(target.handle,
        NVRCommand::OpenRecordSearch,
        request,
        // A reply that comes after the operation is gone may still have opened a playback session;
        // nobody else knows its id, so unless it is stopped here the recorder keeps it open.
        bindP2pReply(this, &NvrSearchVideoP2p::onRecordInfoReply, [target = target](bool ok, const QJsonObject &reply) {
            const QVariantHash values = reply.toVariantHash();
            if (!ok || hashTextInt(values, QStringLiteral("cnt")) == 0)
                return;
            const int sid = hashTextInt(values, QStringLiteral("sid"));
            qWarning() << "close handle opened by a late reply: " << sid;
            closeNvrSessionP2p(target, QVariant::fromValue(RecorderSession { sid, int(RecordKind::Video) }));
        }));
}

void NvrSearchVideoP2p::onRecordInfoReply(bool ok, const QJsonObject &reply)
{
    if (!ok) {
        fail();
        return;
    }
    const QVariantHash values = reply.toVariantHash();
    // No records in the span: the recorder opened no session, and the search fails.
    if (hashTextInt(values, QStringLiteral("cnt")) == 0) {
        fail();
        return;
    }
    // "allCnt" is not needed: over P2P the record-info pages are not walked.
    sessionId = hashTextInt(values, QStringLiteral("sid"));
    qWarning() << "nvr playback session created. session: " << sessionId;
    owner->setSession(target, QVariant::fromValue(RecorderSession { sessionId, int(RecordKind::Video) }));
    requestEventSearch();
}

void NvrSearchVideoP2p::requestEventSearch()
{
    // The manager filled the context from the same search_video call.
    const TargetContext &context = owner->context(target);
    const EventCodes codes = eventCodes(videoType);
    const QJsonObject request {
        { QStringLiteral("r.chnmaskl"), channelMask(context.channel) },
        { QStringLiteral("r.num"), 1 },
        { QStringLiteral("r.event"), codes.event },
        { QStringLiteral("r.subType"), codes.subType },
        { QStringLiteral("r.stream"), streamFlagNumber(context.streamType) },
        { QStringLiteral("r.ahead"), 0 },
        { QStringLiteral("r.delay"), 0 },
        { QStringLiteral("r.startTime"), plainTime(context.start) },
        { QStringLiteral("r.endTime"), plainTime(context.end) },
    };
    sendP2pCommand(target.handle,
        NVRCommand::OpenEventSearch,
        request,
        // Likewise the event search handle, which is open even when the search found nothing.
        bindP2pReply(
            this, &NvrSearchVideoP2p::onEventSearchReply, [device = target.handle](bool ok, const QJsonObject &reply) {
                const QVariantHash values = reply.toVariantHash();
                if (!ok || refused(values) || !values.contains(QStringLiteral("r.sid")))
                    return;
                const int handle = hashTextInt(values, QStringLiteral("r.sid"));
                qWarning() << "close handle opened by a late reply: " << handle;
                sendEventClose(device, handle, HandleForm::Text);
            }));
}

void NvrSearchVideoP2p::onEventSearchReply(bool ok, const QJsonObject &reply)
{
    if (!ok) {
        fail();
        return;
    }
    const QVariantHash values = reply.toVariantHash();
    if (refused(values)) {
        fail();
        return;
    }
    const int count = hashTextInt(values, QStringLiteral("r.cnt"));
    // The handle is open even when the search found nothing; finishing closes it.
    eventHandle = hashTextInt(values, QStringLiteral("r.sid"));
    results.append(recorderP2pEntries(values, count));
    if (wantsNextEventPage(count, 0))
        requestEventPage(1);
    else
        finishEventSearch(HandleForm::Text);
}

void NvrSearchVideoP2p::requestEventPage(int pageIndex)
{
    const QJsonObject request {
        { QStringLiteral("r.sid"), QString::number(eventHandle) },
        { QStringLiteral("r.page"), pageIndex + 1 },
    };
    sendP2pCommand(target.handle,
        NVRCommand::EventSearchPage,
        request,
        bindP2pReply(this, &NvrSearchVideoP2p::onEventPageReply, pageIndex));
}

void NvrSearchVideoP2p::onEventPageReply(int pageIndex, bool ok, const QJsonObject &reply)
{
    if (!ok) {
        fail();
        return;
    }
    const QVariantHash values = reply.toVariantHash();
    // An empty page is the regular end of a result that filled its last page exactly.
    const int count = hashTextInt(values, QStringLiteral("r.cnt"));
    results.append(recorderP2pEntries(values, count));
    if (wantsNextEventPage(count, pageIndex))
        requestEventPage(pageIndex + 1);
    else
        finishEventSearch(HandleForm::Number);
}

void NvrSearchVideoP2p::finishEventSearch(HandleForm form)
{
    sendEventClose(target.handle, eventHandle, form);
    // Closed now: the destructor, which runs inside the completion, must not close it again.
    eventHandle = -1;
    complete(done, true, { { QStringLiteral("sid"), sessionId }, { QStringLiteral("data"), results } });
}

void NvrSearchVideoP2p::closeEventHandle()
{
    if (eventHandle < 0)
        return;
    qWarning() << "close event handle: " << eventHandle;
    sendEventClose(target.handle, eventHandle, HandleForm::Text);
    eventHandle = -1;
}

void NvrSearchVideoP2p::sendEventClose(quint64 device, int searchHandle, HandleForm form)
{
    // Nobody waits for the close; its reply is dropped. The handle goes as a decimal string, except
    // in the close that follows an event page, where the recorder gets it as a number.
    const QJsonValue handle
        = form == HandleForm::Number ? QJsonValue(searchHandle) : QJsonValue(QString::number(searchHandle));
    sendP2pCommand(device, NVRCommand::CloseEventSearch, QJsonObject { { QStringLiteral("r.sid"), handle } });
}

void NvrSearchVideoP2p::fail()
{
    complete(done, false);
}

} // namespace lydevice
