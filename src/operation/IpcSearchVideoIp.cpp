#include "operation/IpcSearchVideoIp.h"

#include "operation/VideoSearchEntries.h"
#include "parse/CameraFileList.h"
#include "parse/HashAccess.h"
#include "parse/RecordFormat.h"
#include "transport/DeviceCommand.h"
#include "transport/ReplyBinding.h"

namespace lydevice
{

namespace
{

    const QString playbackPath = QStringLiteral("/vb.htm");

} // namespace

IpcSearchVideoIp::IpcSearchVideoIp(RecordManagerPrivate *owner, const TargetDesc &target, RecordKind kind)
    : RecordOperation(owner, target, kind)
{
}

void IpcSearchVideoIp::run(const QVariantHash &params, Completion done)
{
    startTime = hashDateTime(params, QStringLiteral("startTime"));
    endTime = hashDateTime(params, QStringLiteral("endTime"));
    videoType = hashInt(params, QStringLiteral("type"));
    this->done = std::move(done);
    sendHttpCommand(target.handle,
        playbackPath,
        { { QStringLiteral("PBStartTimePos"), compactTime(startTime) },
            { QStringLiteral("PBEndTimePos"), compactTime(endTime) },
            { QStringLiteral("PBFileTotalPage"), typeMask(videoType) } },
        bindHttpReply(this, &IpcSearchVideoIp::onTotalPageReply));
}

void IpcSearchVideoIp::onTotalPageReply(bool ok, const QVector<QByteArray> &replies)
{
    if (!httpReplyGood(ok, replies)) {
        fail();
        return;
    }
    totalPages = hashTruncated(okLinesReply(replies, true), QStringLiteral("pbfiletotalpage"));
    if (totalPages == 0) {
        // Nothing recorded in the span; for a camera over HTTP that is an empty result.
        complete(done, true, { { QStringLiteral("sid"), 0 }, { QStringLiteral("data"), QVariantList() } });
        return;
    }
    requestPage();
}

void IpcSearchVideoIp::requestPage()
{
    sendHttpCommand(target.handle,
        playbackPath,
        { { QStringLiteral("PBStartTimePos"), compactTime(startTime) },
            { QStringLiteral("PBEndTimePos"), compactTime(endTime) },
            { QStringLiteral("PBFilePageIndex"), QString::number(pageIndex + 1) } },
        bindHttpReply(this, &IpcSearchVideoIp::onPageReply));
}

void IpcSearchVideoIp::onPageReply(bool ok, const QVector<QByteArray> &replies)
{
    if (!httpReplyGood(ok, replies)) {
        fail();
        return;
    }
    // A page without a file list adds nothing; the search goes on.
    const QString files = hashString(okLinesReply(replies, true), QStringLiteral("pbfilepageindex"));
    results.append(boundedPage(recordFileEntries(files)));
    if (isLastCameraPage(pageIndex, totalPages)) {
        finishSearch();
        return;
    }
    ++pageIndex;
    requestPage();
}

void IpcSearchVideoIp::finishSearch()
{
    results = cameraEntriesOfType(results, videoType);
    complete(done, true, { { QStringLiteral("sid"), 0 }, { QStringLiteral("data"), results } });
}

void IpcSearchVideoIp::fail()
{
    complete(done, false);
}

} // namespace lydevice
