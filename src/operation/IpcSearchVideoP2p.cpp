#include "operation/IpcSearchVideoP2p.h"

#include "operation/VideoSearchEntries.h"
#include "parse/CameraFileList.h"
#include "parse/HashAccess.h"
#include "parse/RecordFormat.h"
#include "transport/DeviceCommand.h"
#include "transport/ReplyBinding.h"

#include <QJsonArray>

namespace lydevice
{

IpcSearchVideoP2p::IpcSearchVideoP2p(RecordManagerPrivate *owner, const TargetDesc &target, RecordKind kind)
    : RecordOperation(owner, target, kind)
{
}

void IpcSearchVideoP2p::run(const QVariantHash &params, Completion done)
{
    startTime = hashDateTime(params, QStringLiteral("startTime"));
    endTime = hashDateTime(params, QStringLiteral("endTime"));
    videoType = hashInt(params, QStringLiteral("type"));
    this->done = std::move(done);
    const QJsonObject request {
        { QStringLiteral("start_time"), timeObject(startTime) },
        { QStringLiteral("end_time"), timeObject(endTime) },
    };
    sendP2pCommand(target.handle,
        IPCCommand::SearchRecordFirstPage,
        request,
        bindP2pReply(this, &IpcSearchVideoP2p::onTotalPageReply));
}

void IpcSearchVideoP2p::onTotalPageReply(bool ok, const QJsonObject &reply)
{
    if (!ok) {
        fail();
        return;
    }
    // Over P2P the camera reports an empty span, or a broken count, as 0 pages: a failure.
    totalPages = jsonWholeNumber(reply.value(QStringLiteral("total_page")));
    if (totalPages == 0) {
        fail();
        return;
    }
    pageIndex = 0;
    requestPage();
}

void IpcSearchVideoP2p::requestPage()
{
    // Type 0 lists every file; the requested type is applied by the final filter.
    const QJsonObject request {
        { QStringLiteral("start_time"), timeObject(startTime) },
        { QStringLiteral("end_time"), timeObject(endTime) },
        { QStringLiteral("page"), pageIndex + 1 },
        { QStringLiteral("type"), 0 },
    };
    sendP2pCommand(
        target.handle, IPCCommand::SearchRecordPage, request, bindP2pReply(this, &IpcSearchVideoP2p::onPageReply));
}

void IpcSearchVideoP2p::onPageReply(bool ok, const QJsonObject &reply)
{
    if (!ok) {
        fail();
        return;
    }
    // A page without a file list adds nothing; the search goes on.
    results.append(boundedPage(recordFileEntries(reply.value(QStringLiteral("file_list")).toArray())));
    if (isLastCameraPage(pageIndex, totalPages)) {
        finishSearch();
        return;
    }
    ++pageIndex;
    requestPage();
}

void IpcSearchVideoP2p::finishSearch()
{
    results = cameraEntriesOfType(results, videoType);
    complete(done, true, { { QStringLiteral("sid"), 0 }, { QStringLiteral("data"), results } });
}

void IpcSearchVideoP2p::fail()
{
    complete(done, false);
}

} // namespace lydevice
