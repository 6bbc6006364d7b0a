#include "reader/RecordReaderIpcIp.h"

#include "parse/CameraFileList.h"
#include "parse/HashAccess.h"
#include "parse/RecordFormat.h"
#include "transport/DeviceCommand.h"
#include "transport/ReplyBinding.h"

namespace lydevice
{

namespace
{

    // The camera's file list queries name the span and then either ask for the page count (with the
    // type mask) or for one page.
    Query fileListQuery(const RecordVideoDesc &desc, const QString &key, const QString &value)
    {
        return { { QStringLiteral("PBStartTimePos"), compactTime(desc.start) },
            { QStringLiteral("PBEndTimePos"), compactTime(desc.end) },
            { key, value } };
    }

} // namespace

RecordReaderIpcIp::RecordReaderIpcIp(const TargetDesc &target)
    : RecordReaderIpc(target)
{
}

// A camera holds nothing open for a reading.
RecordReaderIpcIp::~RecordReaderIpcIp() = default;

void RecordReaderIpcIp::requestPageCount()
{
    sendHttpCommand(target.handle,
        QStringLiteral("/vb.htm"),
        fileListQuery(desc, QStringLiteral("PBFileTotalPage"), typeMask(int(desc.videoType))),
        bindHttpReply(this, &RecordReaderIpcIp::onTotalPageReply));
}

void RecordReaderIpcIp::requestPage(int page)
{
    sendHttpCommand(target.handle,
        QStringLiteral("/vb.htm"),
        fileListQuery(desc, QStringLiteral("PBFilePageIndex"), QString::number(page)),
        bindHttpReply(this, &RecordReaderIpcIp::onPageReply, page));
}

void RecordReaderIpcIp::onTotalPageReply(bool ok, const QVector<QByteArray> &replies)
{
    const bool good = httpReplyGood(ok, replies);
    onPageCount(good, good ? hashTruncated(okLinesReply(replies, true), QStringLiteral("pbfiletotalpage")) : 0);
}

void RecordReaderIpcIp::onPageReply(int page, bool ok, const QVector<QByteArray> &replies)
{
    const bool good = httpReplyGood(ok, replies);
    QVariantList entries;
    if (good)
        entries = recordFileEntries(hashString(okLinesReply(replies, true), QStringLiteral("pbfilepageindex")));
    onPage(page, good, entries);
}

} // namespace lydevice
