#include "protocol/NvrProtocolP2p.h"

#include "parse/HashAccess.h"
#include "protocol/ReplyLimits.h"
#include "protocol/WireFormat.h"
#include "transport/SendCommand.h"

#include <QDebug>

namespace lydevice
{

namespace
{

    QJsonValue written(int value, NvrProtocolP2p::Form form)
    {
        return form == NvrProtocolP2p::Form::Number ? QJsonValue(value) : QJsonValue(QString::number(value));
    }

    int read(const QVariantHash &values, NvrProtocolP2p::Field field)
    {
        if (!field.key)
            return 0;
        const QString key = QLatin1String(field.key);
        return field.form == NvrProtocolP2p::Form::Text ? hashTextInt(values, key) : hashTruncated(values, key);
    }

} // namespace

NvrProtocolP2p::Field NvrProtocolP2p::text(const char *key)
{
    return { key, Form::Text };
}

NvrProtocolP2p::Field NvrProtocolP2p::number(const char *key)
{
    return { key, Form::Number };
}

NvrProtocolP2p::NvrProtocolP2p(quint64 handle)
    : handle(handle)
{
}

void NvrProtocolP2p::send(NVRCommand command, const QJsonObject &request, P2PCommandCallback &&reply) const
{
    sendP2pCommand(handle, command, request, std::move(reply));
}

void NvrProtocolP2p::send(NVRCommand command, const QJsonObject &request) const
{
    sendP2pCommand(handle, command, request);
}

void NvrProtocolP2p::recordInfo(const RecordVideoDesc &search, P2PCommandCallback &&reply) const
{
    send(NVRCommand::OpenRecordSearch,
        { { QStringLiteral("r.chnid"), search.channel.value(0) },
            { QStringLiteral("r.stream"), streamFlag(int(search.streamType)) },
            { QStringLiteral("r.startTime"), plainTime(search.start) },
            { QStringLiteral("r.endTime"), plainTime(search.end) } },
        std::move(reply));
}

void NvrProtocolP2p::recordInfoPage(int session, int page, P2PCommandCallback &&reply) const
{
    send(NVRCommand::RecordSearchPage,
        { { QStringLiteral("r.sid"), session }, { QStringLiteral("r.page"), page } },
        std::move(reply));
}

void NvrProtocolP2p::eventSearch(
    const RecordVideoDesc &search, EventCodes codes, Form values, P2PCommandCallback &&reply) const
{
    send(NVRCommand::OpenEventSearch,
        { { QStringLiteral("r.chnmaskl"), channelMask(search.channel) },
            { QStringLiteral("r.num"), written(1, values) },
            { QStringLiteral("r.event"), written(codes.event, values) },
            { QStringLiteral("r.subType"), written(codes.subType, values) },
            { QStringLiteral("r.stream"), written(streamFlag(int(search.streamType)), values) },
            { QStringLiteral("r.ahead"), written(0, values) },
            { QStringLiteral("r.delay"), written(0, values) },
            { QStringLiteral("r.startTime"), plainTime(search.start) },
            { QStringLiteral("r.endTime"), plainTime(search.end) } },
        std::move(reply));
}

void NvrProtocolP2p::eventPage(int search, int page, P2PCommandCallback &&reply) const
{
    send(NVRCommand::EventSearchPage,
        { { QStringLiteral("r.sid"), QString::number(search) }, { QStringLiteral("r.page"), page } },
        std::move(reply));
}

void NvrProtocolP2p::tagSearch(const RecordVideoDesc &search, P2PCommandCallback &&reply) const
{
    // The one recorder command that takes its times in the HTTP query form, %20 and all.
    send(NVRCommand::OpenTagSearch,
        { { QStringLiteral("chnMaskl"), channelMask(search.channel) },
            { QStringLiteral("enType"), streamFlag(int(search.streamType)) },
            { QStringLiteral("startTime"), queryTime(search.start) },
            { QStringLiteral("endTime"), queryTime(search.end) } },
        std::move(reply));
}

void NvrProtocolP2p::tagPage(int search, int page, P2PCommandCallback &&reply) const
{
    send(NVRCommand::TagSearchPage,
        { { QStringLiteral("sid"), search }, { QStringLiteral("npage"), page } },
        std::move(reply));
}

void NvrProtocolP2p::closeEventSearch(int search, Form form) const
{
    send(NVRCommand::CloseEventSearch, { { QStringLiteral("r.sid"), written(search, form) } });
}

void NvrProtocolP2p::closeTagSearch(int search) const
{
    send(NVRCommand::CloseTagSearch, { { QStringLiteral("cnt"), 1 }, { QStringLiteral("sid0"), search } });
}

void NvrProtocolP2p::stopPlayback(int session) const
{
    send(NVRCommand::StopPlayback,
        { { QStringLiteral("r.cnt"), 1 }, { QStringLiteral("r.close"), 1 }, { QStringLiteral("r.sid[0]"), session } });
}

P2pGoneHandler NvrProtocolP2p::stopOpenedPlayback() const
{
    return [device = *this](bool ok, const QJsonObject &json) {
        const RecorderReply opened = reply(ok, json, text("cnt"), number("sid"));
        if (!opened.good || opened.count == 0)
            return;
        qWarning() << "close handle opened by a late reply: " << opened.handle;
        device.stopPlayback(opened.handle);
    };
}

P2pGoneHandler NvrProtocolP2p::closeOpenedTagSearch() const
{
    return [device = *this](bool ok, const QJsonObject &json) {
        const RecorderReply opened = reply(ok, json, text("cnt"), number("sid"));
        if (!opened.good || opened.count == 0)
            return;
        qWarning() << "close handle opened by a late reply: " << opened.handle;
        device.closeTagSearch(opened.handle);
    };
}

P2pGoneHandler NvrProtocolP2p::closeOpenedEventSearch(bool onlyWithRecords) const
{
    return [device = *this, onlyWithRecords](bool ok, const QJsonObject &json) {
        const RecorderReply opened = reply(ok, json, text("r.cnt"), number("r.sid"));
        if (!opened.good)
            return;
        if (onlyWithRecords ? opened.count == 0 : refused(json) || !json.contains(QStringLiteral("r.sid")))
            return;
        qWarning() << "close handle opened by a late reply: " << opened.handle;
        device.closeEventSearch(opened.handle);
    };
}

RecorderReply NvrProtocolP2p::reply(bool ok, const QJsonObject &json, Field count, Field handle, Field total)
{
    RecorderReply reply;
    reply.good = ok;
    if (!ok)
        return reply;
    reply.values = json.toVariantHash();
    reply.count = read(reply.values, count);
    reply.handle = read(reply.values, handle);
    reply.total = read(reply.values, total);
    return reply;
}

RecorderReply NvrProtocolP2p::recordReply(bool ok, const QJsonObject &json, Field count, Field handle, Field total)
{
    RecorderReply reply = NvrProtocolP2p::reply(ok, json, count, handle, total);
    reply.records.resize(entryCount(reply.count));
    for (int i = 0; i < reply.records.size(); ++i) {
        const QString prefix = QLatin1String("r[") + QString::number(i) + QLatin1String("].");
        const auto text = [&](const char *name) { return hashString(reply.values, prefix + QLatin1String(name)); };
        RecorderRecord &record = reply.records[i];
        record.type = text("recordType").toInt();
        record.start = RecordTime { false, {}, {}, text("startTime") };
        record.end = RecordTime { false, {}, {}, text("endTime") };
    }
    return reply;
}

bool NvrProtocolP2p::refused(const QJsonObject &json)
{
    return json.value(QStringLiteral("res")).toVariant().toString() == QLatin1String("-1");
}

} // namespace lydevice
