#include "protocol/NvrProtocolIp.h"

#include "manager/RecordSession.h"
#include "manager/TargetContext.h"
#include "parse/HashAccess.h"
#include "parse/HttpReply.h"
#include "parse/RecordFormat.h"
#include "parse/ReplyParsers.h"
#include "protocol/RecordReplyReading.h"
#include "protocol/ReplyLimits.h"
#include "protocol/WireFormat.h"

#include <QDebug>

namespace lydevice
{

namespace
{

    QPair<QString, QString> pair(const char *key, const QString &value)
    {
        return { QLatin1String(key), value };
    }

    QPair<QString, QString> pair(const char *key, qint64 value)
    {
        return pair(key, QString::number(value));
    }

    QPair<QString, QString> action(const char *name)
    {
        return pair("action", QLatin1String(name));
    }

} // namespace

NvrProtocolIp::NvrProtocolIp(quint64 handle)
    : handle(handle)
{
}

void NvrProtocolIp::sdk(Query query, TCPCommandCallback &&reply) const
{
    sendHttpCommand(handle, QStringLiteral("/sdk.cgi"), std::move(query), std::move(reply));
}

void NvrProtocolIp::sdk(Query query) const
{
    sendHttpCommand(handle, QStringLiteral("/sdk.cgi"), std::move(query));
}

void NvrProtocolIp::recordInfo(const RecordVideoDesc &search, bool all, TCPCommandCallback &&reply) const
{
    Query query { action("get.playback.recordinfo"),
        pair("chnid", search.channel.value(0)),
        pair("stream", streamFlag(int(search.streamType))),
        pair("startTime", queryTime(search.start)),
        pair("endTime", queryTime(search.end)) };
    if (all)
        query.append(pair("all", 1));
    sdk(std::move(query), std::move(reply));
}

void NvrProtocolIp::recordInfoPage(int session, int page, TCPCommandCallback &&reply) const
{
    sdk({ action("get.playback.recordinfo_page"), pair("sid", session), pair("page", page) }, std::move(reply));
}

void NvrProtocolIp::eventSearch(const RecordVideoDesc &search, EventCodes codes, TCPCommandCallback &&reply) const
{
    sdk({ action("get.playback.evt_backup_search"),
            pair("chnmaskl", channelMask(search.channel)),
            pair("num", 1),
            pair("event", codes.event),
            pair("subType", codes.subType),
            pair("stream", streamFlag(int(search.streamType))),
            pair("ahead", 0),
            pair("delay", 0),
            pair("startTime", queryTime(search.start)),
            pair("endTime", queryTime(search.end)) },
        std::move(reply));
}

void NvrProtocolIp::eventPage(int search, int page, TCPCommandCallback &&reply) const
{
    sdk({ action("get.playback.evt_backup_search_page"), pair("sid", search), pair("page", page) }, std::move(reply));
}

void NvrProtocolIp::tagSearch(const RecordVideoDesc &search, TCPCommandCallback &&reply) const
{
    sdk({ action("get.playback.tags_search_open"),
            pair("chnMaskl", channelMask(search.channel)),
            pair("enType", streamFlag(int(search.streamType))),
            pair("startTime", queryTime(search.start)),
            pair("endTime", queryTime(search.end)) },
        std::move(reply));
}

void NvrProtocolIp::tagPage(int search, int page, TCPCommandCallback &&reply) const
{
    sdk({ action("get.playback.tags_search_page"), pair("sid", search), pair("npage", page) }, std::move(reply));
}

void NvrProtocolIp::pictureSearch(RecordPictureType type,
    const QVector<int> &channels,
    const QDateTime &start,
    const QDateTime &end,
    TCPCommandCallback &&reply) const
{
    // Pictures are filed under a major and a minor type: snapshots, alarm pictures of any minor
    // type, or, for any other picture type, everything.
    const QPair<int, int> codes = type == RecordPictureType::Snapshot ? qMakePair(32, 0)
        : type == RecordPictureType::Alarm                            ? qMakePair(512, -1)
                                                                      : qMakePair(568, 0);
    sdk({ action("get.playback.picture_backup_search_open"),
            pair("startTime", queryTime(start)),
            pair("endTime", queryTime(end)),
            pair("mask", channelMask(channels)),
            pair("majorType", codes.first),
            pair("minorType", codes.second) },
        std::move(reply));
}

void NvrProtocolIp::picturePage(const TargetContext &context, int page, TCPCommandCallback &&reply) const
{
    // The recorder numbers its pages from 1.
    sdk({ action("get.playback.picture_backup_search_page"),
            pair("sid", sessionFrom<RecorderSession>(context.session).sid),
            pair("page", qint64(page) + 1) },
        std::move(reply));
}

void NvrProtocolIp::picture(
    const TargetContext &context, const QVariantHash &entry, int, TCPCommandCallback &&reply) const
{
    sdk({ action("get.playback.picture_backup_search_index"),
            pair("chnid", hashInt(entry, QStringLiteral("channel"))),
            pair("sid", sessionFrom<RecorderSession>(context.session).sid),
            pair("pts", hashString(entry, QStringLiteral("name"))),
            pair("base64", 1) },
        std::move(reply));
}

void NvrProtocolIp::closeEventSearch(int search) const
{
    sdk({ action("get.playback.evt_backup_search_close"), pair("sid", search) });
}

void NvrProtocolIp::closeTagSearch(int search) const
{
    sdk({ action("get.playback.tags_search_close"), pair("cnt", 1), pair("sid0", search) });
}

void NvrProtocolIp::stopPlayback(int session) const
{
    sdk({ action("set.playback.stop_batch"), pair("cnt", 1), pair("sid[0]", session), pair("close", 1) });
}

void NvrProtocolIp::closePictureSearch(int session) const
{
    sdk({ action("get.playback.picture_backup_search_close"), pair("sid", session) });
}

HttpGoneHandler NvrProtocolIp::closeWhenGone(ReplyReader read, void (NvrProtocolIp::*close)(int) const) const
{
    // A reply without records opened nothing.
    return [device = *this, read, close](bool ok, const QVector<QByteArray> &replies) {
        const RecorderReply opened = read(ok, replies);
        if (!opened.good || opened.count == 0)
            return;
        qWarning() << "close handle opened by a late reply: " << opened.handle;
        (device.*close)(opened.handle);
    };
}

HttpGoneHandler NvrProtocolIp::stopOpenedPlayback() const
{
    return closeWhenGone(&NvrProtocolIp::numbers, &NvrProtocolIp::stopPlayback);
}

HttpGoneHandler NvrProtocolIp::closeOpenedEventSearch() const
{
    return closeWhenGone(&NvrProtocolIp::numbers, &NvrProtocolIp::closeEventSearch);
}

HttpGoneHandler NvrProtocolIp::closeOpenedTagSearch() const
{
    return closeWhenGone(&NvrProtocolIp::tagSearchReply, &NvrProtocolIp::closeTagSearch);
}

RecorderReply NvrProtocolIp::numbers(bool ok, const QVector<QByteArray> &replies)
{
    return read(ok, replies, true, maxListReplyBytes);
}

RecorderReply NvrProtocolIp::tagSearchReply(bool ok, const QVector<QByteArray> &replies)
{
    return read(ok, replies, false, maxListReplyBytes);
}

RecorderReply NvrProtocolIp::tagPageReply(bool ok, const QVector<QByteArray> &replies)
{
    return numbers(ok, replies);
}

RecorderReply NvrProtocolIp::read(bool ok, const QVector<QByteArray> &replies, bool numeric, int maxBytes)
{
    RecorderReply reply;
    const std::optional<QByteArray> body = boundedReplyBody(ok, replies, maxBytes);
    reply.good = body.has_value();
    if (!reply.good)
        return reply;
    reply.values = parseKeyValueHash(replyText(*body), numeric);
    const auto count = [&](const QString &key) {
        return numeric ? hashTruncated(reply.values, key) : hashTextInt(reply.values, key);
    };
    reply.count = count(QStringLiteral("cnt"));
    reply.handle = count(QStringLiteral("sid"));
    reply.total = count(QStringLiteral("allCnt"));
    return reply;
}

RecorderReply NvrProtocolIp::recordReply(bool ok, const QVector<QByteArray> &replies, RecordKeys keys)
{
    const std::optional<QByteArray> body = boundedReplyBody(ok, replies, maxListReplyBytes);
    if (!body)
        return {};
    std::optional<RecorderReply> reply = readRecordReplyFast(std::string_view(body->constData(), body->size()), keys);
    if (!reply)
        reply = readRecordReply(*body, keys);
    reply->good = true;
    return *reply;
}

QVariantList NvrProtocolIp::pictureEntries(const RecorderReply &reply)
{
    const int count = entryCount(reply.count);
    QVariantList entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString n = QString::number(i);
        entries.append(QVariantHash {
            { QStringLiteral("name"), hashString(reply.values, QLatin1String("pts") + n) },
            { QStringLiteral("time"), parseDeviceTime(hashString(reply.values, QLatin1String("pTime") + n)) },
            { QStringLiteral("channel"), hashTextInt(reply.values, QLatin1String("chnid") + n) },
        });
    }
    return entries;
}

std::optional<OpenedPictureSearch> NvrProtocolIp::openedPictureSearch(bool ok, const QVector<QByteArray> &replies)
{
    const RecorderReply reply = read(ok, replies, false, maxPageReplyBytes);
    // A negative count is a broken reply, as good as none.
    if (!reply.good || reply.count <= 0)
        return std::nullopt;
    return OpenedPictureSearch { QVariant::fromValue(RecorderSession { reply.handle, int(RecordKind::Picture) }),
        reply.total,
        pictureEntries(reply),
        { { QStringLiteral("sid"), reply.handle }, { QStringLiteral("sum"), reply.total } } };
}

std::optional<QVariantList> NvrProtocolIp::pageEntries(bool ok, const QVector<QByteArray> &replies)
{
    const RecorderReply page = read(ok, replies, false, maxPageReplyBytes);
    if (!page.good)
        return std::nullopt;
    return pictureEntries(page);
}

std::optional<QByteArray> NvrProtocolIp::pictureBytes(bool ok, const QVector<QByteArray> &replies)
{
    if (!ok)
        qWarning() << "failure in reading picture";
    if (!httpReplyGood(ok, replies))
        return std::nullopt;
    // The picture is the last value of the reply: everything after the first "data=", base64 text
    // that may end in a line break (the decoder skips what is not base64).
    const QByteArray body = httpReplyBody(firstReply(replies));
    const QByteArray marker = QByteArrayLiteral("data=");
    const int at = body.indexOf(marker);
    if (at < 0) {
        qWarning() << "cannot find picture data in reply";
        return std::nullopt;
    }
    return QByteArray::fromBase64(body.mid(at + marker.size()));
}

} // namespace lydevice
