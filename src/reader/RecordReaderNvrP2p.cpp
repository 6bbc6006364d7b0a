#include "reader/RecordReaderNvrP2p.h"

#include "parse/HashAccess.h"
#include "reader/RecorderEntries.h"
#include "transport/ReplyBinding.h"

#include <QDebug>

#include <optional>

namespace lydevice
{

namespace
{

    // A reply member and how the recorder writes it: a decimal text, or a JSON number (truncated).
    // The recorder is not consistent about this between replies, and not even between a live reader
    // and a gone one, which reads the handle to close as a number.
    struct Field {
        const char *key = nullptr; // none: reads 0
        bool text = false;
    };

    Field text(const char *key)
    {
        return { key, true };
    }

    Field number(const char *key)
    {
        return { key, false };
    }

    int read(const QVariantHash &reply, Field field)
    {
        if (!field.key)
            return 0;
        const QString key = QLatin1String(field.key);
        return field.text ? hashTextInt(reply, key) : hashTruncated(reply, key);
    }

    using EntryBuilder = QVariantList (*)(const QVariantHash &reply, int cnt);

    RecorderStageReply stageReply(
        bool ok, const QJsonObject &json, Field count, Field handle, Field total, EntryBuilder build)
    {
        RecorderStageReply stage;
        stage.good = ok;
        if (!ok)
            return stage;
        const QVariantHash reply = json.toVariantHash();
        stage.count = recorderReplyCount(read(reply, count));
        stage.handle = read(reply, handle);
        stage.total = read(reply, total);
        stage.entries = build(reply, stage.count);
        return stage;
    }

    // The reply of an opening command, for a reader that is gone: the session or handle it opened;
    // none when the command failed or found no records.
    std::optional<int> openedHandle(bool ok, const QJsonObject &json, Field count, Field handle)
    {
        if (!ok)
            return {};
        const QVariantHash reply = json.toVariantHash();
        if (read(reply, count) == 0)
            return {};
        return read(reply, handle);
    }

    QString decimal(int value)
    {
        return QString::number(value);
    }

} // namespace

RecordReaderNvrP2p::RecordReaderNvrP2p(const TargetDesc &target)
    : RecordReaderNvr(target)
{
}

RecordReaderNvrP2p::~RecordReaderNvrP2p()
{
    closeOnDevice();
}

void RecordReaderNvrP2p::stopPlaybackSession(quint64 handle, int sid)
{
    sendP2pCommand(handle,
        NVRCommand::StopPlayback,
        { { QStringLiteral("r.cnt"), 1 }, { QStringLiteral("r.close"), 1 }, { QStringLiteral("r.sid[0]"), sid } });
}

void RecordReaderNvrP2p::closeTagSearch(quint64 handle, int tagHandle)
{
    sendP2pCommand(
        handle, NVRCommand::CloseTagSearch, { { QStringLiteral("cnt"), 1 }, { QStringLiteral("sid0"), tagHandle } });
}

void RecordReaderNvrP2p::closeEventSearch(quint64 handle, int eventHandle)
{
    sendP2pCommand(handle, NVRCommand::CloseEventSearch, { { QStringLiteral("r.sid"), decimal(eventHandle) } });
}

void RecordReaderNvrP2p::send(NVRCommand command, const QJsonObject &request, P2PCommandCallback &&callback) const
{
    sendP2pCommand(target.handle, command, request, std::move(callback));
}

void RecordReaderNvrP2p::sendRecordInfo()
{
    const QJsonObject request { { QStringLiteral("r.chnid"), desc.channel.first() },
        { QStringLiteral("r.stream"), streamFlagNumber(int(desc.streamType)) },
        { QStringLiteral("r.startTime"), plainTime(desc.start) },
        { QStringLiteral("r.endTime"), plainTime(desc.end) } };
    // A reply that comes after the reader is gone may still have opened a playback session.
    send(NVRCommand::OpenRecordSearch,
        request,
        bindP2pReply(
            this, &RecordReaderNvrP2p::onRecordInfoReply, [handle = target.handle](bool ok, const QJsonObject &reply) {
                if (const std::optional<int> sid = openedHandle(ok, reply, text("cnt"), number("sid")))
                    stopPlaybackSession(handle, *sid);
            }));
}

void RecordReaderNvrP2p::sendRecordInfoPage(int page)
{
    send(NVRCommand::RecordSearchPage,
        { { QStringLiteral("r.sid"), sessionId }, { QStringLiteral("r.page"), page } },
        bindP2pReply(this, &RecordReaderNvrP2p::onRecordInfoPageReply, page));
}

void RecordReaderNvrP2p::sendTagSearch()
{
    // The one recorder command that takes its times in the HTTP query form, %20 and all.
    const QJsonObject request { { QStringLiteral("chnMaskl"), channelMask(desc.channel) },
        { QStringLiteral("enType"), streamFlagNumber(int(desc.streamType)) },
        { QStringLiteral("startTime"), queryTime(desc.start) },
        { QStringLiteral("endTime"), queryTime(desc.end) } };
    send(NVRCommand::OpenTagSearch,
        request,
        bindP2pReply(
            this, &RecordReaderNvrP2p::onTagSearchReply, [handle = target.handle](bool ok, const QJsonObject &reply) {
                if (const std::optional<int> opened = openedHandle(ok, reply, text("cnt"), number("sid")))
                    closeTagSearch(handle, *opened);
            }));
}

void RecordReaderNvrP2p::sendTagPage(int page)
{
    send(NVRCommand::TagSearchPage,
        { { QStringLiteral("sid"), tagHandle }, { QStringLiteral("npage"), page } },
        bindP2pReply(this, &RecordReaderNvrP2p::onTagPageReply, page));
}

void RecordReaderNvrP2p::sendTagClose(int handle)
{
    closeTagSearch(target.handle, handle);
}

void RecordReaderNvrP2p::sendEventSearch(EventCodes codes)
{
    const QJsonObject request { { QStringLiteral("r.chnmaskl"), channelMask(desc.channel) },
        { QStringLiteral("r.num"), QStringLiteral("1") },
        { QStringLiteral("r.event"), decimal(codes.event) },
        { QStringLiteral("r.subType"), decimal(codes.subType) },
        { QStringLiteral("r.stream"), streamFlag(int(desc.streamType)) },
        { QStringLiteral("r.ahead"), QStringLiteral("0") },
        { QStringLiteral("r.delay"), QStringLiteral("0") },
        { QStringLiteral("r.startTime"), plainTime(desc.start) },
        { QStringLiteral("r.endTime"), plainTime(desc.end) } };
    // Closed by a reader that is gone whenever records came, whatever "res" says.
    send(NVRCommand::OpenEventSearch,
        request,
        bindP2pReply(
            this, &RecordReaderNvrP2p::onEventSearchReply, [handle = target.handle](bool ok, const QJsonObject &reply) {
                if (const std::optional<int> opened = openedHandle(ok, reply, text("r.cnt"), number("r.sid")))
                    closeEventSearch(handle, *opened);
            }));
}

void RecordReaderNvrP2p::sendEventPage(int page)
{
    send(NVRCommand::EventSearchPage,
        { { QStringLiteral("r.sid"), decimal(eventHandle) }, { QStringLiteral("r.page"), page } },
        bindP2pReply(this, &RecordReaderNvrP2p::onEventPageReply, page));
}

void RecordReaderNvrP2p::sendEventClose(int handle)
{
    closeEventSearch(target.handle, handle);
}

void RecordReaderNvrP2p::sendSessionStop(int sid)
{
    stopPlaybackSession(target.handle, sid);
}

// An empty span is no failure over P2P: it is reported with code 0, and without a log line.
void RecordReaderNvrP2p::endEmptyGeneralStage()
{
    deliverFailure(currentType, 0);
}

bool RecordReaderNvrP2p::warnsOnTagClose() const
{
    return false;
}

void RecordReaderNvrP2p::onRecordInfoReply(bool ok, const QJsonObject &reply)
{
    onRecordInfo(stageReply(ok, reply, text("cnt"), text("sid"), text("allCnt"), buildRecordEntriesP2p));
}

void RecordReaderNvrP2p::onRecordInfoPageReply(int page, bool ok, const QJsonObject &reply)
{
    onRecordInfoPage(page, stageReply(ok, reply, text("cnt"), {}, {}, buildRecordEntriesP2p));
}

void RecordReaderNvrP2p::onTagSearchReply(bool ok, const QJsonObject &reply)
{
    onTagSearch(stageReply(ok, reply, text("cnt"), number("sid"), number("allCnt"), buildTagEntries));
}

void RecordReaderNvrP2p::onTagPageReply(int page, bool ok, const QJsonObject &reply)
{
    onTagPage(page, stageReply(ok, reply, number("cnt"), {}, {}, buildTagEntries));
}

void RecordReaderNvrP2p::onEventSearchReply(bool ok, const QJsonObject &reply)
{
    // The recorder answers some event searches with "res" -1 and nothing we could tell apart: a
    // failed command or an empty stage. Taking it as empty lets the reading go on.
    if (ok && hashString(reply.toVariantHash(), QStringLiteral("res")) == QLatin1String("-1")) {
        qInfo() << "res = -1, but we can't be sure this is a failed command return or there's no video";
        nextEventStage();
        return;
    }
    onEventSearch(stageReply(ok, reply, text("r.cnt"), text("r.sid"), text("r.allCnt"), buildRecordEntriesP2p));
}

void RecordReaderNvrP2p::onEventPageReply(int page, bool ok, const QJsonObject &reply)
{
    onEventPage(page, stageReply(ok, reply, number("r.cnt"), {}, {}, buildRecordEntriesP2p));
}

} // namespace lydevice
