#include "operation/NvrSearchPictureIp.h"

#include "manager/RecordManagerPrivate.h"
#include "manager/RecordSession.h"
#include "operation/PictureEntries.h"
#include "parse/HashAccess.h"
#include "parse/RecordFormat.h"
#include "transport/DeviceCommand.h"
#include "transport/ReplyBinding.h"

#include <QDebug>

namespace lydevice
{

namespace
{

    // The recorder files pictures under an event type and subtype: snapshots, alarm pictures (any
    // subtype) or, for any other picture type, everything.
    struct PictureTypeCodes {
        int majorType;
        int minorType;
    };

    PictureTypeCodes pictureTypeCodes(RecordPictureType type)
    {
        switch (type) {
        case RecordPictureType::Snapshot:
            return { 32, 0 };
        case RecordPictureType::Alarm:
            return { 512, -1 };
        default:
            return { 568, 0 };
        }
    }

} // namespace

NvrSearchPictureIp::~NvrSearchPictureIp() = default;

void NvrSearchPictureIp::run(const QVariantHash &params, Completion done)
{
    this->done = std::move(done);
    const PictureTypeCodes codes = pictureTypeCodes(params.value(QStringLiteral("type")).value<RecordPictureType>());
    const QVector<int> channels = params.value(QStringLiteral("channel")).value<QVector<int>>();
    sendHttpCommand(target.handle,
        QStringLiteral("/sdk.cgi"),
        { { QStringLiteral("action"), QStringLiteral("get.playback.picture_backup_search_open") },
            { QStringLiteral("startTime"), queryTime(hashDateTime(params, QStringLiteral("startTime"))) },
            { QStringLiteral("endTime"), queryTime(hashDateTime(params, QStringLiteral("endTime"))) },
            { QStringLiteral("mask"), channelMask(channels) },
            { QStringLiteral("majorType"), QString::number(codes.majorType) },
            { QStringLiteral("minorType"), QString::number(codes.minorType) } },
        // A reply that comes after the operation is gone may still have opened the search; it is
        // never stored as the device's session, so unless it is closed here the recorder keeps it open.
        bindHttpReply(
            this, &NvrSearchPictureIp::onOpenReply, [target = target](bool ok, const QVector<QByteArray> &replies) {
                if (!httpReplyGood(ok, replies))
                    return;
                const QVariantHash reply = keyValueReply(replies, false);
                if (hashTextInt(reply, QStringLiteral("cnt")) == 0)
                    return;
                const int sid = hashTextInt(reply, QStringLiteral("sid"));
                qWarning() << "close handle opened by a late reply: " << sid;
                closeNvrSessionIp(target, QVariant::fromValue(RecorderSession { sid, int(RecordKind::Picture) }));
            }));
}

void NvrSearchPictureIp::onOpenReply(bool ok, const QVector<QByteArray> &replies)
{
    if (!ok)
        qWarning() << "failure in reading first page";
    if (!httpReplyGood(ok, replies)) {
        complete(done, false);
        return;
    }
    const QVariantHash reply = keyValueReply(replies, false);
    // A search that finds no picture is no search we can page through: it fails. A negative count
    // is a broken reply and fails the same way.
    const int count = hashTextInt(reply, QStringLiteral("cnt"));
    if (count <= 0) {
        complete(done, false);
        return;
    }
    sessionId = hashTextInt(reply, QStringLiteral("sid"));
    const int total = hashTextInt(reply, QStringLiteral("allCnt"));
    owner->setSession(target, QVariant::fromValue(RecorderSession { sessionId, int(RecordKind::Picture) }));
    results.append(recorderPictureEntries(count, reply));
    owner->setPage(target, total, 0, results);
    complete(done, true, { { QStringLiteral("sid"), sessionId }, { QStringLiteral("sum"), total } });
}

} // namespace lydevice
