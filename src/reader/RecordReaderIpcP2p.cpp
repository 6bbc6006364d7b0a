#include "reader/RecordReaderIpcP2p.h"

#include "parse/CameraFileList.h"
#include "parse/HashAccess.h"
#include "parse/RecordFormat.h"
#include "transport/DeviceCommand.h"
#include "transport/ReplyBinding.h"

#include <QJsonArray>

namespace lydevice
{

RecordReaderIpcP2p::RecordReaderIpcP2p(const TargetDesc &target)
    : RecordReaderIpc(target)
{
}

// A camera holds nothing open for a reading.
RecordReaderIpcP2p::~RecordReaderIpcP2p() = default;

// Over P2P the camera is asked for every record type; the requested type plays no part.
void RecordReaderIpcP2p::requestPageCount()
{
    const QJsonObject request { { QStringLiteral("start_time"), timeObject(desc.start) },
        { QStringLiteral("end_time"), timeObject(desc.end) } };
    sendP2pCommand(target.handle,
        IPCCommand::SearchRecordFirstPage,
        request,
        bindP2pReply(this, &RecordReaderIpcP2p::onTotalPageReply));
}

void RecordReaderIpcP2p::requestPage(int page)
{
    const QJsonObject request { { QStringLiteral("start_time"), timeObject(desc.start) },
        { QStringLiteral("end_time"), timeObject(desc.end) },
        { QStringLiteral("page"), page },
        { QStringLiteral("type"), 0 } };
    sendP2pCommand(target.handle,
        IPCCommand::SearchRecordPage,
        request,
        bindP2pReply(this, &RecordReaderIpcP2p::onPageReply, page));
}

void RecordReaderIpcP2p::onTotalPageReply(bool ok, const QJsonObject &reply)
{
    // A fractional page count is truncated: 1.5 reads one page.
    onPageCount(ok, ok ? hashTruncated(reply.toVariantHash(), QStringLiteral("total_page")) : 0);
}

void RecordReaderIpcP2p::onPageReply(int page, bool ok, const QJsonObject &reply)
{
    onPage(page, ok, ok ? recordFileEntries(reply.value(QStringLiteral("file_list")).toArray()) : QVariantList());
}

} // namespace lydevice
