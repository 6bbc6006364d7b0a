#include "operation/NvrSearchVideoIp.h"

#include "manager/RecordManagerPrivate.h"
#include "manager/RecordSession.h"
#include "operation/VideoSearchEntries.h"
#include "parse/HashAccess.h"
#include "parse/RecordFormat.h"
#include "transport/DeviceCommand.h"
#include "transport/ReplyBinding.h"

#include <QDebug>

#include <optional>

namespace lydevice
{

namespace
{

    const QString sdkPath = QStringLiteral("/sdk.cgi");

    QPair<QString, QString> action(const char *name)
    {
        return { QStringLiteral("action"), QLatin1String(name) };
    }

    // The session or handle that a record-info or first event reply opened: none when the reply is
    // not good or found no records (the recorder then opens nothing).
    std::optional<int> openedBy(bool ok, const QVector<QByteArray> &replies)
    {
        if (!httpReplyGood(ok, replies))
            return std::nullopt;
        const QVariantHash reply = keyValueReply(replies, true);
        if (hashTruncated(reply, QStringLiteral("cnt")) == 0)
            return std::nullopt;
        return hashTruncated(reply, QStringLiteral("sid"));
    }

} // namespace

NvrSearchVideoIp::NvrSearchVideoIp(RecordManagerPrivate *owner, const TargetDesc &target, RecordKind kind)
    : RecordOperation(owner, target, kind)
{
}

NvrSearchVideoIp::~NvrSearchVideoIp()
{
    // A failure or a cancel may leave the event search open on the recorder.
    closeEventHandle();
}

void NvrSearchVideoIp::run(const QVariantHash &params, Completion done)
{
    this->done = std::move(done);
    videoType = hashInt(params, QStringLiteral("type"));
    const QVector<int> channels = params.value(QStringLiteral("channel")).value<QVector<int>>();
    if (channels.isEmpty()) {
        // The record-info request names a channel; without one there is nothing to ask.
        qWarning() << "no channel to search";
        failLater(this->done);
        return;
    }
    sendHttpCommand(target.handle,
        sdkPath,
        { action("get.playback.recordinfo"),
            { QStringLiteral("chnid"), QString::number(channels.first()) },
            { QStringLiteral("stream"), streamFlag(hashInt(params, QStringLiteral("stream"))) },
            { QStringLiteral("startTime"), queryTime(hashDateTime(params, QStringLiteral("startTime"))) },
            { QStringLiteral("endTime"), queryTime(hashDateTime(params, QStringLiteral("endTime"))) } },
        // A reply that comes after the operation is gone may still have opened a playback session;
        // nobody else knows its id, so unless it is stopped here the recorder keeps it open.
        bindHttpReply(
            this, &NvrSearchVideoIp::onRecordInfoReply, [target = target](bool ok, const QVector<QByteArray> &replies) {
                if (const std::optional<int> sid = openedBy(ok, replies)) {
                    qWarning() << "close handle opened by a late reply: " << *sid;
                    closeNvrSessionIp(target, QVariant::fromValue(RecorderSession { *sid, int(RecordKind::Video) }));
                }
            }));
}

void NvrSearchVideoIp::onRecordInfoReply(bool ok, const QVector<QByteArray> &replies)
{
    if (!httpReplyGood(ok, replies)) {
        fail();
        return;
    }
    const QVariantHash reply = keyValueReply(replies, true);
    const int count = hashTruncated(reply, QStringLiteral("cnt"));
    // The recorder answers an empty span with no records; that ends the search as a failure.
    if (count == 0) {
        fail();
        return;
    }
    remainingCount = hashTruncated(reply, QStringLiteral("allCnt"));
    sessionId = hashTruncated(reply, QStringLiteral("sid"));
    qWarning() << "nvr playback session created. session: " << sessionId;
    owner->setSession(target, QVariant::fromValue(RecorderSession { sessionId, int(RecordKind::Video) }));
    remainingCount -= count;
    if (remainingCount != 0)
        requestRecordInfoPage(1);
    else
        requestEventSearch();
}

void NvrSearchVideoIp::requestRecordInfoPage(int pageIndex)
{
    if (pageIndex >= maxSearchPages) {
        qWarning() << "record info page limit reached, going on with the event search";
        requestEventSearch();
        return;
    }
    sendHttpCommand(target.handle,
        sdkPath,
        { action("get.playback.recordinfo_page"),
            { QStringLiteral("sid"), QString::number(sessionId) },
            { QStringLiteral("page"), QString::number(pageIndex + 1) } },
        bindHttpReply(this, &NvrSearchVideoIp::onRecordInfoPageReply, pageIndex));
}

void NvrSearchVideoIp::onRecordInfoPageReply(int pageIndex, bool ok, const QVector<QByteArray> &replies)
{
    if (!httpReplyGood(ok, replies)) {
        fail();
        return;
    }
    const int count = hashTruncated(keyValueReply(replies, true), QStringLiteral("cnt"));
    if (count == 0) {
        fail();
        return;
    }
    remainingCount -= count;
    if (remainingCount != 0)
        requestRecordInfoPage(pageIndex + 1);
    else
        requestEventSearch();
}

void NvrSearchVideoIp::requestEventSearch()
{
    // The manager filled the context from the same search_video call.
    const TargetContext &context = owner->context(target);
    const EventCodes codes = eventCodes(videoType);
    sendHttpCommand(target.handle,
        sdkPath,
        { action("get.playback.evt_backup_search"),
            { QStringLiteral("chnmaskl"), channelMask(context.channel) },
            { QStringLiteral("num"), QStringLiteral("1") },
            { QStringLiteral("event"), QString::number(codes.event) },
            { QStringLiteral("subType"), QString::number(codes.subType) },
            { QStringLiteral("stream"), streamFlag(context.streamType) },
            { QStringLiteral("ahead"), QStringLiteral("0") },
            { QStringLiteral("delay"), QStringLiteral("0") },
            { QStringLiteral("startTime"), queryTime(context.start) },
            { QStringLiteral("endTime"), queryTime(context.end) } },
        // Likewise an event search opened by a late reply would stay open on the recorder.
        bindHttpReply(this,
            &NvrSearchVideoIp::onEventSearchReply,
            [device = target.handle](bool ok, const QVector<QByteArray> &replies) {
                if (const std::optional<int> handle = openedBy(ok, replies)) {
                    qWarning() << "close handle opened by a late reply: " << *handle;
                    sendEventClose(device, *handle);
                }
            }));
}

void NvrSearchVideoIp::onEventSearchReply(bool ok, const QVector<QByteArray> &replies)
{
    if (!httpReplyGood(ok, replies)) {
        fail();
        return;
    }
    const QVariantHash reply = keyValueReply(replies, true);
    const int count = hashTruncated(reply, QStringLiteral("cnt"));
    // No records: the recorder opened no event search, so there is no handle to close.
    if (count == 0) {
        fail();
        return;
    }
    eventHandle = hashTruncated(reply, QStringLiteral("sid"));
    results.append(recorderHttpEntries(reply, count));
    if (wantsNextEventPage(count, 0))
        requestEventPage(1);
    else
        finishEventSearch();
}

void NvrSearchVideoIp::requestEventPage(int pageIndex)
{
    sendHttpCommand(target.handle,
        sdkPath,
        { action("get.playback.evt_backup_search_page"),
            { QStringLiteral("sid"), QString::number(eventHandle) },
            { QStringLiteral("page"), QString::number(pageIndex + 1) } },
        bindHttpReply(this, &NvrSearchVideoIp::onEventPageReply, pageIndex));
}

void NvrSearchVideoIp::onEventPageReply(int pageIndex, bool ok, const QVector<QByteArray> &replies)
{
    if (!httpReplyGood(ok, replies)) {
        fail();
        return;
    }
    const QVariantHash reply = keyValueReply(replies, true);
    // An empty page is the regular end of a result that filled its last page exactly.
    const int count = hashTruncated(reply, QStringLiteral("cnt"));
    results.append(recorderHttpEntries(reply, count));
    if (wantsNextEventPage(count, pageIndex))
        requestEventPage(pageIndex + 1);
    else
        finishEventSearch();
}

void NvrSearchVideoIp::finishEventSearch()
{
    sendEventClose(target.handle, eventHandle);
    // Closed now: the destructor, which runs inside the completion, must not close it again.
    eventHandle = -1;
    complete(done, true, { { QStringLiteral("sid"), sessionId }, { QStringLiteral("data"), results } });
}

void NvrSearchVideoIp::closeEventHandle()
{
    if (eventHandle < 0)
        return;
    qWarning() << "close event handle: " << eventHandle;
    sendEventClose(target.handle, eventHandle);
    eventHandle = -1;
}

void NvrSearchVideoIp::sendEventClose(quint64 device, int searchHandle)
{
    // Nobody waits for the close; its reply is dropped.
    sendHttpCommand(device,
        sdkPath,
        { action("get.playback.evt_backup_search_close"), { QStringLiteral("sid"), QString::number(searchHandle) } });
}

void NvrSearchVideoIp::fail()
{
    complete(done, false);
}

} // namespace lydevice
