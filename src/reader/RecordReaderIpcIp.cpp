#include "reader/RecordReaderIpcIp.h"

#include "protocol/IpcProtocolIp.h"

namespace lydevice
{

void RecordReaderIpcIp::start()
{
    IpcProtocolIp(target.handle)
        .filePageCount(
            desc.start, desc.end, int(desc.videoType), bindHttpReply(this, &RecordReaderIpcIp::onTotalPageReply));
}

void RecordReaderIpcIp::requestPage(int page)
{
    IpcProtocolIp(target.handle)
        .filePage(desc.start, desc.end, page, bindHttpReply(this, &RecordReaderIpcIp::onPageReply, page));
}

void RecordReaderIpcIp::onTotalPageReply(bool ok, const QVector<QByteArray> &replies)
{
    const std::optional<int> pages = IpcProtocolIp::filePageCount(ok, replies);
    onPageCount(pages.has_value(), pages.value_or(0));
}

void RecordReaderIpcIp::onPageReply(int page, bool ok, const QVector<QByteArray> &replies)
{
    const std::optional<QVariantList> entries = IpcProtocolIp::filePage(ok, replies);
    onPage(page, entries.has_value(), entries.value_or(QVariantList()));
}

} // namespace lydevice
