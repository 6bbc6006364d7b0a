#include "reader/RecordReaderNvrIp.h"

#include "parse/HashAccess.h"
#include "reader/RecorderEntries.h"
#include "transport/ReplyBinding.h"

#include <QDebug>

#include <optional>

namespace lydevice
{

namespace
{

    QPair<QString, QString> pair(const char *key, const QString &value)
    {
        return { QLatin1String(key), value };
    }

    QPair<QString, QString> pair(const char *key, int value)
    {
        return { QLatin1String(key), QString::number(value) };
    }

    QPair<QString, QString> action(const char *name)
    {
        return pair("action", QLatin1String(name));
    }

    void sendSdk(quint64 handle, Query query, TCPCommandCallback &&callback)
    {
        sendHttpCommand(handle, QStringLiteral("/sdk.cgi"), std::move(query), std::move(callback));
    }

    // Counts and handles of a reply read as numbers, as the recorder writes them in every reply but
    // the tag search reply.
    int number(const QVariantHash &reply, const char *key)
    {
        return hashTruncated(reply, QLatin1String(key));
    }

    // The reply of an opening request, for a reader that is gone: the session or handle it opened;
    // none when the reply is not good or found no records.
    std::optional<int> openedHandle(bool ok, const QVector<QByteArray> &replies, bool numeric)
    {
        if (!httpReplyGood(ok, replies))
            return {};
        const QVariantHash reply = keyValueReply(replies, numeric);
        const auto read
            = [&](const char *key) { return numeric ? number(reply, key) : hashTextInt(reply, QLatin1String(key)); };
        if (read("cnt") == 0)
            return {};
        return read("sid");
    }

    // A general or event reply: "cnt" records named startTime<i>, endTime<i>, recordType<i>, and for
    // the first reply of a stage "sid" and "allCnt".
    RecorderStageReply recordReply(bool ok, const QVector<QByteArray> &replies)
    {
        RecorderStageReply stage;
        stage.good = httpReplyGood(ok, replies);
        if (!stage.good)
            return stage;
        const QVariantHash reply = keyValueReply(replies, true);
        stage.count = recorderReplyCount(number(reply, "cnt"));
        stage.handle = number(reply, "sid");
        stage.total = number(reply, "allCnt");
        stage.entries = buildRecordEntries(reply, stage.count);
        return stage;
    }

    // A tag reply. The tag search reply is read as text throughout (tag names may look like numbers);
    // the tag pages as numbers like every other reply.
    RecorderStageReply tagReply(bool ok, const QVector<QByteArray> &replies, bool searchReply)
    {
        RecorderStageReply stage;
        stage.good = httpReplyGood(ok, replies);
        if (!stage.good)
            return stage;
        const QVariantHash reply = keyValueReply(replies, !searchReply);
        const auto read = [&](const char *key) {
            return searchReply ? hashTextInt(reply, QLatin1String(key)) : number(reply, key);
        };
        stage.count = recorderReplyCount(read("cnt"));
        stage.handle = read("sid");
        stage.total = read("allCnt");
        stage.entries = buildTagEntries(reply, stage.count);
        return stage;
    }

} // namespace

RecordReaderNvrIp::RecordReaderNvrIp(const TargetDesc &target)
    : RecordReaderNvr(target)
{
}

RecordReaderNvrIp::~RecordReaderNvrIp()
{
    closeOnDevice();
}

void RecordReaderNvrIp::stopPlaybackSession(quint64 handle, int sid)
{
    sendSdk(handle,
        { action("set.playback.stop_batch"), pair("cnt", 1), pair("sid[0]", sid), pair("close", 1) },
        [](bool, quint64, QVector<QByteArray>) {});
}

void RecordReaderNvrIp::closeTagSearch(quint64 handle, int tagHandle)
{
    sendSdk(handle,
        { action("get.playback.tags_search_close"), pair("cnt", 1), pair("sid0", tagHandle) },
        [](bool, quint64, QVector<QByteArray>) {});
}

void RecordReaderNvrIp::closeEventSearch(quint64 handle, int eventHandle)
{
    sendSdk(handle,
        { action("get.playback.evt_backup_search_close"), pair("sid", eventHandle) },
        [](bool, quint64, QVector<QByteArray>) {});
}

void RecordReaderNvrIp::send(Query query, TCPCommandCallback &&callback) const
{
    sendSdk(target.handle, std::move(query), std::move(callback));
}

void RecordReaderNvrIp::sendRecordInfo()
{
    const Query query { action("get.playback.recordinfo"),
        pair("chnid", desc.channel.first()),
        pair("stream", streamFlag(int(desc.streamType))),
        pair("startTime", queryTime(desc.start)),
        pair("endTime", queryTime(desc.end)),
        pair("all", 1) };
    // A reply that comes after the reader is gone may still have opened a playback session.
    send(query,
        bindHttpReply(this,
            &RecordReaderNvrIp::onRecordInfoReply,
            [handle = target.handle](bool ok, const QVector<QByteArray> &replies) {
                if (const std::optional<int> sid = openedHandle(ok, replies, true))
                    stopPlaybackSession(handle, *sid);
            }));
}

void RecordReaderNvrIp::sendRecordInfoPage(int page)
{
    send({ action("get.playback.recordinfo_page"), pair("sid", sessionId), pair("page", page) },
        bindHttpReply(this, &RecordReaderNvrIp::onRecordInfoPageReply, page));
}

void RecordReaderNvrIp::sendTagSearch()
{
    const Query query { action("get.playback.tags_search_open"),
        pair("chnMaskl", channelMask(desc.channel)),
        pair("enType", streamFlag(int(desc.streamType))),
        pair("startTime", queryTime(desc.start)),
        pair("endTime", queryTime(desc.end)) };
    send(query,
        bindHttpReply(this,
            &RecordReaderNvrIp::onTagSearchReply,
            [handle = target.handle](bool ok, const QVector<QByteArray> &replies) {
                if (const std::optional<int> opened = openedHandle(ok, replies, false))
                    closeTagSearch(handle, *opened);
            }));
}

void RecordReaderNvrIp::sendTagPage(int page)
{
    send({ action("get.playback.tags_search_page"), pair("sid", tagHandle), pair("npage", page) },
        bindHttpReply(this, &RecordReaderNvrIp::onTagPageReply, page));
}

void RecordReaderNvrIp::sendTagClose(int handle)
{
    closeTagSearch(target.handle, handle);
}

void RecordReaderNvrIp::sendEventSearch(EventCodes codes)
{
    const Query query { action("get.playback.evt_backup_search"),
        pair("chnmaskl", channelMask(desc.channel)),
        pair("num", 1),
        pair("event", codes.event),
        pair("subType", codes.subType),
        pair("stream", streamFlag(int(desc.streamType))),
        pair("ahead", 0),
        pair("delay", 0),
        pair("startTime", queryTime(desc.start)),
        pair("endTime", queryTime(desc.end)) };
    send(query,
        bindHttpReply(this,
            &RecordReaderNvrIp::onEventSearchReply,
            [handle = target.handle](bool ok, const QVector<QByteArray> &replies) {
                if (const std::optional<int> opened = openedHandle(ok, replies, true))
                    closeEventSearch(handle, *opened);
            }));
}

void RecordReaderNvrIp::sendEventPage(int page)
{
    send({ action("get.playback.evt_backup_search_page"), pair("sid", eventHandle), pair("page", page) },
        bindHttpReply(this, &RecordReaderNvrIp::onEventPageReply, page));
}

void RecordReaderNvrIp::sendEventClose(int handle)
{
    closeEventSearch(target.handle, handle);
}

void RecordReaderNvrIp::sendSessionStop(int sid)
{
    stopPlaybackSession(target.handle, sid);
}

void RecordReaderNvrIp::endEmptyGeneralStage()
{
    qInfo() << "no more records for [" << int(currentType) << "]";
    deliverFailure(currentType);
}

bool RecordReaderNvrIp::warnsOnTagClose() const
{
    return true;
}

void RecordReaderNvrIp::onRecordInfoReply(bool ok, const QVector<QByteArray> &replies)
{
    onRecordInfo(recordReply(ok, replies));
}

void RecordReaderNvrIp::onRecordInfoPageReply(int page, bool ok, const QVector<QByteArray> &replies)
{
    onRecordInfoPage(page, recordReply(ok, replies));
}

void RecordReaderNvrIp::onTagSearchReply(bool ok, const QVector<QByteArray> &replies)
{
    onTagSearch(tagReply(ok, replies, true));
}

void RecordReaderNvrIp::onTagPageReply(int page, bool ok, const QVector<QByteArray> &replies)
{
    onTagPage(page, tagReply(ok, replies, false));
}

void RecordReaderNvrIp::onEventSearchReply(bool ok, const QVector<QByteArray> &replies)
{
    onEventSearch(recordReply(ok, replies));
}

void RecordReaderNvrIp::onEventPageReply(int page, bool ok, const QVector<QByteArray> &replies)
{
    onEventPage(page, recordReply(ok, replies));
}

} // namespace lydevice
